#pragma once

#include <algorithm>
#include <cmath>

namespace tovarine {

// Calls fn(x, y, w0, w1, w2) for every pixel of a width × height grid whose centre lies in the triangle
// (ax, ay), (bx, by), (cx, cy) (either winding; pixel (x, y) covers [x, x + 1) × [y, y + 1)), with the
// centre's barycentric weights. A triangle without area covers nothing.
template <typename Fn>
void rasteriseTriangle(double ax, double ay, double bx, double by, double cx, double cy, int width,
                       int height, Fn&& fn)
{
    const double area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    if (std::abs(area) < 1e-12) {
        return;
    }
    const int x0 = std::max(0, int(std::floor(std::min({ax, bx, cx}))));
    const int x1 = std::min(width - 1, int(std::ceil(std::max({ax, bx, cx}))));
    const int y0 = std::max(0, int(std::floor(std::min({ay, by, cy}))));
    const int y1 = std::min(height - 1, int(std::ceil(std::max({ay, by, cy}))));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            const double w0 = ((bx - px) * (cy - py) - (by - py) * (cx - px)) / area;
            const double w1 = ((cx - px) * (ay - py) - (cy - py) * (ax - px)) / area;
            const double w2 = 1.0 - w0 - w1;
            if (w0 >= -1e-9 && w1 >= -1e-9 && w2 >= -1e-9) {
                fn(x, y, w0, w1, w2);
            }
        }
    }
}

} // namespace tovarine
