#include "UsdaTransform.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace tovarine::UsdaTransform {

Matrix identity()
{
    Matrix m{};
    for (int i = 0; i < 4; ++i) {
        m[i][i] = 1.0;
    }
    return m;
}

Matrix translation(double x, double y, double z)
{
    Matrix m = identity();
    m[3][0] = x;
    m[3][1] = y;
    m[3][2] = z;
    return m;
}

Matrix scaling(double x, double y, double z)
{
    Matrix m = identity();
    m[0][0] = x;
    m[1][1] = y;
    m[2][2] = z;
    return m;
}

Matrix rotation(int axis, double degrees)
{
    const double radians = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const int u = (axis + 1) % 3;
    const int v = (axis + 2) % 3;
    // Row-vector form: u' = u·c − v·s, v' = u·s + v·c.
    Matrix m = identity();
    m[u][u] = c;
    m[u][v] = s;
    m[v][u] = -s;
    m[v][v] = c;
    return m;
}

Matrix orientation(double w, double x, double y, double z)
{
    const double length = std::sqrt(w * w + x * x + y * y + z * z);
    if (length > 0) {
        w /= length;
        x /= length;
        y /= length;
        z /= length;
    }
    // The column-vector rotation matrix, transposed into row-vector form.
    Matrix m = identity();
    m[0][0] = 1 - 2 * (y * y + z * z);
    m[1][0] = 2 * (x * y - z * w);
    m[2][0] = 2 * (x * z + y * w);
    m[0][1] = 2 * (x * y + z * w);
    m[1][1] = 1 - 2 * (x * x + z * z);
    m[2][1] = 2 * (y * z - x * w);
    m[0][2] = 2 * (x * z - y * w);
    m[1][2] = 2 * (y * z + x * w);
    m[2][2] = 1 - 2 * (x * x + y * y);
    return m;
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix m{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a[r][k] * b[k][c];
            }
            m[r][c] = sum;
        }
    }
    return m;
}

std::optional<Matrix> inverse(const Matrix& m)
{
    Matrix a = m;
    Matrix inv = identity();
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r) {
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) {
                pivot = r;
            }
        }
        if (!(std::abs(a[pivot][col]) > 1e-300)) {
            return std::nullopt;
        }
        std::swap(a[pivot], a[col]);
        std::swap(inv[pivot], inv[col]);
        const double scale = 1.0 / a[col][col];
        for (int c = 0; c < 4; ++c) {
            a[col][c] *= scale;
            inv[col][c] *= scale;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0) {
                continue;
            }
            const double factor = a[r][col];
            for (int c = 0; c < 4; ++c) {
                a[r][c] -= factor * a[col][c];
                inv[r][c] -= factor * inv[col][c];
            }
        }
    }
    return inv;
}

bool isIdentity(const Matrix& m)
{
    return m == identity();
}

double linearDeterminant(const Matrix& m)
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

} // namespace tovarine::UsdaTransform
