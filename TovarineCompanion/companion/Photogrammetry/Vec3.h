#pragma once

#include <array>
#include <cmath>

// Small fixed-size linear algebra for the reconstruction's geometry steps (double precision). Any thread.
namespace tovarine::geo {

struct Vec3
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3 operator/(double s) const { return {x / s, y / s, z / s}; }
    Vec3 operator-() const { return {-x, -y, -z}; }
    Vec3& operator+=(const Vec3& o)
    {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline double dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double norm(const Vec3& a)
{
    return std::sqrt(dot(a, a));
}
// Unit vector along `a`; the zero vector stays zero.
inline Vec3 normalized(const Vec3& a)
{
    const double n = norm(a);
    return n > 0.0 ? a / n : a;
}

// Row-major 3x3 matrix.
struct Mat3
{
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

    double& operator()(int r, int c) { return m[r * 3 + c]; }
    double operator()(int r, int c) const { return m[r * 3 + c]; }
    Vec3 operator*(const Vec3& v) const
    {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    Mat3 operator*(const Mat3& o) const
    {
        Mat3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r(i, j) = (*this)(i, 0) * o(0, j) + (*this)(i, 1) * o(1, j) + (*this)(i, 2) * o(2, j);
            }
        }
        return r;
    }
    Mat3 transposed() const
    {
        Mat3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r(i, j) = (*this)(j, i);
            }
        }
        return r;
    }
    static Mat3 fromRows(const Vec3& a, const Vec3& b, const Vec3& c)
    {
        return Mat3{{a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z}};
    }
    // Rotation of the unit quaternion (w, x, y, z).
    static Mat3 fromQuaternion(double w, double x, double y, double z)
    {
        const double n = std::sqrt(w * w + x * x + y * y + z * z);
        w /= n;
        x /= n;
        y /= n;
        z /= n;
        return Mat3{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), 2 * (x * y + w * z),
                     1 - 2 * (x * x + z * z), 2 * (y * z - w * x), 2 * (x * z - w * y), 2 * (y * z + w * x),
                     1 - 2 * (x * x + y * y)}};
    }
};

// Eigen decomposition of a symmetric matrix (Jacobi rotations): eigenvalues ascending, eigenvectors[i]
// belongs to eigenvalues[i] and has unit length.
struct SymmetricEigen
{
    std::array<double, 3> eigenvalues{};
    std::array<Vec3, 3> eigenvectors{};
};
SymmetricEigen symmetricEigen(const Mat3& a);

// Solves a * x = b; false when `a` is (nearly) singular.
bool solve3(const Mat3& a, const Vec3& b, Vec3& x);

} // namespace tovarine::geo
