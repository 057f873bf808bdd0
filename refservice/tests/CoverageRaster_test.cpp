// Coverage: what a pixel gets from shapes inside, beside and across the picture's borders.

#include <gtest/gtest.h>

#include <vector>

#include "CoverageRaster.h"

namespace {

using Vertex = CoverageRaster::Vertex;

// The green channel a 20x10 white picture keeps after painting black over the shapes: 255
// uncovered, 0 fully covered.
std::vector<uint32_t> Painted(CoverageRaster& raster) {
    std::vector<uint32_t> pixels(20 * 10, 0xFFFFFF);
    raster.Paint(pixels.data(), 0x000000, 1.0);
    for (uint32_t& p : pixels) {
        p = (p >> 8) & 0xFF;
    }
    return pixels;
}

} // namespace

TEST(CoverageRaster, ShapesAcrossTheBordersHolesAndOverlaps) {
    CoverageRaster raster(20, 10);
    // From far left of the picture to x 5.5, and past the bottom.
    const Vertex wide[4] = {{-1e6, 2}, {5.5, 2}, {5.5, 1e6}, {-1e6, 1e6}};
    raster.AddPolygon(wide, 4);
    std::vector<uint32_t> p = Painted(raster);
    EXPECT_EQ(0u, p[5 * 20 + 0]);
    EXPECT_EQ(0u, p[9 * 20 + 4]);
    EXPECT_NEAR(128, int(p[5 * 20 + 5]), 2); // half the pixel column
    EXPECT_EQ(255u, p[5 * 20 + 6]);
    EXPECT_EQ(255u, p[1 * 20 + 2]);

    // A square with a hole wound the other way, and a second square over the first.
    const Vertex outer[4] = {{10, 1}, {19, 1}, {19, 9}, {10, 9}};
    const Vertex hole[4] = {{12, 3}, {12, 7}, {17, 7}, {17, 3}};
    const Vertex again[4] = {{10, 1}, {14, 1}, {14, 5}, {10, 5}};
    raster.AddPolygon(outer, 4);
    raster.AddPolygon(hole, 4);
    raster.AddPolygon(again, 4);
    p = Painted(raster);
    EXPECT_EQ(0u, p[8 * 20 + 11]);
    EXPECT_EQ(255u, p[5 * 20 + 14]); // in the hole
    EXPECT_EQ(0u, p[2 * 20 + 11]);   // covered twice stays covered once
    EXPECT_EQ(255u, p[5 * 20 + 2]);  // the first shape is gone once painted

    // A line back and forth over itself does not cancel out.
    const Vertex zigzag[3] = {{1, 5}, {9, 5}, {2, 5.2}};
    raster.AddPolyline(zigzag, 3, 2.0);
    p = Painted(raster);
    EXPECT_EQ(0u, p[5 * 20 + 5]);
}
