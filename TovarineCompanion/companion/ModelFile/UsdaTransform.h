#pragma once

#include <array>
#include <optional>

// 4×4 transforms as USD writes them: row vectors, so a point p becomes p · M and the translation is the last row.
// Any thread; stateless.
namespace tovarine::UsdaTransform {

using Matrix = std::array<std::array<double, 4>, 4>;

Matrix identity();
Matrix translation(double x, double y, double z);
Matrix scaling(double x, double y, double z);
// A turn of `degrees` about axis 0 (X), 1 (Y) or 2 (Z), counter-clockwise looking down the axis.
Matrix rotation(int axis, double degrees);
// The unit quaternion (w, x, y, z) as a turn; a non-unit quaternion is normalised first.
Matrix orientation(double w, double x, double y, double z);

// a · b: applying a first, then b (row vectors).
Matrix multiply(const Matrix& a, const Matrix& b);
// Nothing for a singular matrix.
std::optional<Matrix> inverse(const Matrix& m);
bool isIdentity(const Matrix& m);

// The 3×3 part's determinant: negative for a mirroring transform.
double linearDeterminant(const Matrix& m);

} // namespace tovarine::UsdaTransform
