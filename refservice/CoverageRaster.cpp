#include "CoverageRaster.h"

#include <algorithm>
#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

} // namespace

CoverageRaster::CoverageRaster(int width, int height)
    : width(width), height(height), stride(width + 2), area(size_t(stride) * height, 0.0f),
      top(height), bottom(0), firstColumn(stride), endColumn(0) {}

void CoverageRaster::AddEdge(double x0, double y0, double x1, double y1) {
    if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) {
        return;
    }
    // Cut at the left and right borders; the parts outside become vertical edges on them,
    // which cover everything to their right as the original edge did.
    double cuts[4] = {0.0, 1.0, 1.0, 1.0};
    int n = 1;
    for (double bound : {0.0, double(width)}) {
        if ((x0 < bound) != (x1 < bound)) {
            cuts[n++] = (bound - x0) / (x1 - x0);
        }
    }
    if (n == 3 && cuts[2] < cuts[1]) {
        std::swap(cuts[1], cuts[2]);
    }
    cuts[n] = 1.0;
    auto clampX = [this](double x) { return std::min(std::max(x, 0.0), double(width)); };
    for (int i = 0; i < n; ++i) {
        const double ta = cuts[i], tb = cuts[i + 1];
        AddClippedEdge(clampX(x0 + (x1 - x0) * ta), y0 + (y1 - y0) * ta,
                       clampX(x0 + (x1 - x0) * tb), y0 + (y1 - y0) * tb);
    }
}

void CoverageRaster::AddClippedEdge(double x0, double y0, double x1, double y1) {
    if (y0 == y1) {
        return;
    }
    double direction = 1.0;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        direction = -1.0;
    }
    if (y1 <= 0.0 || y0 >= height) {
        return;
    }
    const double dxdy = (x1 - x0) / (y1 - y0);
    double x = x0;
    if (y0 < 0.0) {
        x = std::min(std::max(x - y0 * dxdy, 0.0), double(width));
    }
    const int firstRow = int(std::max(0.0, y0));
    const int endRow = int(std::min(double(height), std::ceil(y1)));
    top = std::min(top, firstRow);
    bottom = std::max(bottom, endRow);
    for (int y = firstRow; y < endRow; ++y) {
        float* row = &area[size_t(y) * stride];
        const double dy = std::min(double(y + 1), y1) - std::max(double(y), y0);
        // Rounding must not carry x past the borders the edge was clipped to.
        const double xNext = std::min(std::max(x + dxdy * dy, 0.0), double(width));
        const double d = dy * direction;
        const double left = std::min(x, xNext), right = std::max(x, xNext);
        const double leftFloor = std::floor(left);
        const int leftCell = int(leftFloor);
        const int rightCell = int(std::ceil(right));
        firstColumn = std::min(firstColumn, leftCell);
        endColumn = std::max(endColumn, std::max(rightCell, leftCell + 1) + 1);
        if (rightCell <= leftCell + 1) {
            // Within one pixel column: split by the mean x.
            const double share = 0.5 * (x + xNext) - leftFloor;
            row[leftCell] += float(d - d * share);
            row[leftCell + 1] += float(d * share);
        } else {
            const double s = 1.0 / (right - left);
            const double leftPart = left - leftFloor;
            const double a0 = 0.5 * s * (1.0 - leftPart) * (1.0 - leftPart);
            const double rightPart = right - rightCell + 1.0;
            const double am = 0.5 * s * rightPart * rightPart;
            row[leftCell] += float(d * a0);
            if (rightCell == leftCell + 2) {
                row[leftCell + 1] += float(d * (1.0 - a0 - am));
            } else {
                const double a1 = s * (1.5 - leftPart);
                row[leftCell + 1] += float(d * (a1 - a0));
                for (int cell = leftCell + 2; cell < rightCell - 1; ++cell) {
                    row[cell] += float(d * s);
                }
                const double a2 = a1 + (rightCell - leftCell - 3) * s;
                row[rightCell - 1] += float(d * (1.0 - a2 - am));
            }
            row[rightCell] += float(d * am);
        }
        x = xNext;
    }
}

void CoverageRaster::AddPolygon(const Vertex* vertices, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Vertex& a = vertices[i];
        const Vertex& b = vertices[(i + 1) % n];
        AddEdge(a.x, a.y, b.x, b.y);
    }
}

void CoverageRaster::AddCircle(double cx, double cy, double radius) {
    // Segments of about two pixels, at least 12.
    const int n = std::min(256, std::max(12, int(radius * kPi)));
    std::vector<Vertex> ring(n);
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * kPi * i / n;
        ring[i] = {cx + radius * std::cos(angle), cy + radius * std::sin(angle)};
    }
    AddPolygon(ring.data(), ring.size());
}

void CoverageRaster::AddPolyline(const Vertex* vertices, size_t n, double width) {
    const double half = width / 2;
    for (size_t i = 0; i + 1 < n; ++i) {
        const Vertex& a = vertices[i];
        const Vertex& b = vertices[i + 1];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (length == 0.0) {
            continue;
        }
        // The left normal of the segment's own direction: every quad is wound the same way.
        const double nx = -dy / length * half, ny = dx / length * half;
        const Vertex quad[4] = {
            {a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
        AddPolygon(quad, 4);
    }
}

void CoverageRaster::Paint(uint32_t* pixels, uint32_t colour, double opacity) {
    const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    const float alpha = float(std::min(std::max(opacity, 0.0), 1.0));
    // Left of the leftmost edge nothing is covered; right of the rightmost every row's sum is
    // back at zero.
    const int end = std::min(width, endColumn);
    for (int y = top; y < bottom; ++y) {
        float* row = &area[size_t(y) * stride];
        uint32_t* out = pixels + size_t(y) * width;
        float sum = 0.0f;
        for (int x = firstColumn; x < end; ++x) {
            sum += row[x];
            row[x] = 0.0f;
            const float cover = std::min(1.0f, std::fabs(sum)) * alpha;
            if (cover < 1.0f / 512) {
                continue;
            }
            const uint32_t p = out[x];
            const int pr = (p >> 16) & 0xFF, pg = (p >> 8) & 0xFF, pb = p & 0xFF;
            out[x] = uint32_t(pr + (r - pr) * cover + 0.5f) << 16 |
                     uint32_t(pg + (g - pg) * cover + 0.5f) << 8 |
                     uint32_t(pb + (b - pb) * cover + 0.5f);
        }
        for (int x = std::max(end, firstColumn); x < std::min(stride, endColumn); ++x) {
            row[x] = 0.0f;
        }
    }
    top = height;
    bottom = 0;
    firstColumn = stride;
    endColumn = 0;
}
