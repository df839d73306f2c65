// affine.h - AffineMatrix, the 4x4 transform of a cycle's NC frame and tool frame. It works on
// column vectors (x, y, z, 1): columns 0, 1, 2 hold the frame's axes and column 3 its origin.
// It is never mixed with the row-vector matrices of the geometry code.
#pragma once

// 16 doubles, row-major: m[row * 4 + column]. The last row is (0, 0, 0, 1).
struct AffineMatrix {
  double m[16];
};

inline constexpr AffineMatrix kAffIdentity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

void affCopy(AffineMatrix* out, const AffineMatrix* in);
void affIdentity(AffineMatrix* out);

// out (4 doubles) = M (x, y, z, 1); out[3] is 1.
void affTransformPoint(double* out, const AffineMatrix* m, const double* point);

// The signed 3x3 minor of m without that row and column (0 to 3); negative sign when row + column
// is odd.
double affCofactor(const AffineMatrix* m, int row, int column);

// out = the inverse of m: the adjugate divided by the determinant of the rotation block; the
// identity when that determinant is 1e-12 or less in magnitude. out may be m.
void affInvert(AffineMatrix* out, const AffineMatrix* m);
