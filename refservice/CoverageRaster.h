#pragma once

#include <cstdint>
#include <vector>

// Anti-aliased filling for the map: outlines are added as edges, each pixel gets the share of
// its area they cover (exact signed area per cell, summed along the row), and Paint blends a
// colour by that share into 32-bit BGRA pixels. A pixel covered twice by shapes wound the same
// way stays covered once, and a hole wound the other way stays empty. Edges outside the
// picture are clipped; to the left or right they still count for the pixels beside them.
class CoverageRaster {
public:
    struct Vertex {
        double x, y;
    };

    CoverageRaster(int width, int height);

    void AddEdge(double x0, double y0, double x1, double y1);
    // A closed polygon; n vertices.
    void AddPolygon(const Vertex* vertices, size_t n);
    void AddCircle(double cx, double cy, double radius);
    // A line of the given width through n points, as one quad per segment (wound alike, so
    // their overlaps at the joints do not cancel).
    void AddPolyline(const Vertex* vertices, size_t n, double width);

    // Blends colour (0xRRGGBB) with opacity 0..1 by the coverage into pixels (width x height,
    // top-down BGRA), then clears the coverage.
    void Paint(uint32_t* pixels, uint32_t colour, double opacity);

private:
    void AddClippedEdge(double x0, double y0, double x1, double y1);

    int width, height, stride;
    std::vector<float> area;
    int top, bottom;            // rows touched since the last Paint
    int firstColumn, endColumn; // and the columns
};
