#include "Vec3.h"

#include <algorithm>
#include <utility>

namespace tovarine::geo {

SymmetricEigen symmetricEigen(const Mat3& input)
{
    Mat3 a = input;
    Mat3 v;
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a(0, 1) * a(0, 1) + a(0, 2) * a(0, 2) + a(1, 2) * a(1, 2);
        if (off < 1e-30) {
            break;
        }
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (std::abs(a(p, q)) < 1e-300) {
                    continue;
                }
                const double theta = (a(q, q) - a(p, p)) / (2.0 * a(p, q));
                const double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                Mat3 j;
                j(p, p) = c;
                j(q, q) = c;
                j(p, q) = s;
                j(q, p) = -s;
                a = j.transposed() * a * j;
                v = v * j;
            }
        }
    }
    std::array<int, 3> order{0, 1, 2};
    std::sort(order.begin(), order.end(), [&](int l, int r) { return a(l, l) < a(r, r); });
    SymmetricEigen result;
    for (int i = 0; i < 3; ++i) {
        const int k = order[i];
        result.eigenvalues[i] = a(k, k);
        result.eigenvectors[i] = normalized(Vec3{v(0, k), v(1, k), v(2, k)});
    }
    return result;
}

bool solve3(const Mat3& a, const Vec3& b, Vec3& x)
{
    const Vec3 r0{a(0, 0), a(0, 1), a(0, 2)};
    const Vec3 r1{a(1, 0), a(1, 1), a(1, 2)};
    const Vec3 r2{a(2, 0), a(2, 1), a(2, 2)};
    const double det = dot(r0, cross(r1, r2));
    const double scale = std::max({norm(r0), norm(r1), norm(r2), 1e-300});
    if (std::abs(det) < 1e-12 * scale * scale * scale) {
        return false;
    }
    // Cramer's rule with the columns replaced by b.
    const Vec3 c0{a(0, 0), a(1, 0), a(2, 0)};
    const Vec3 c1{a(0, 1), a(1, 1), a(2, 1)};
    const Vec3 c2{a(0, 2), a(1, 2), a(2, 2)};
    x = Vec3{dot(b, cross(c1, c2)), dot(c0, cross(b, c2)), dot(c0, cross(c1, b))} / det;
    return true;
}

} // namespace tovarine::geo
