// matrix4.h - 4x4 homogeneous transforms applied to row vectors: a point p maps to [x y z 1] * M,
// so rows 0 to 2 hold the images of the unit axes and row 3 the translation.
// Never mixed with the output frame's column-vector matrix.
#pragma once

#include "geometry/vec.h"

// 16 doubles, row-major m[row][column]. The fourth column is never read by the transforms.
struct Matrix4 {
  double m[4][4];
};
static_assert(sizeof(Matrix4) == 128);

// Sets m to the identity.
void matIdentity(Matrix4* m);
// 1 when all 16 entries agree within 1e-5, else 0.
int matEqual(const Matrix4& a, const Matrix4& b);
// Identity with rows 0, 1, 2 replaced by the axis vectors x, y, z (no translation).
void matFromAxes(const Point3D& x, const Point3D& y, const Point3D& z, Matrix4* m);
// Identity with row 3 = (v.x, v.y, v.z, 1).
void matTranslation(const Point3D& v, Matrix4* m);
// Rotation by angle (radians) on an identity: kind 0 about z (x onto y), kind 1 about x, kind 2
// with m[0][2] = sin; any other kind leaves the identity.
void matRotation(int kind, double angle, Matrix4* m);
// out = [p.x p.y p.z 1] * m (first three components). out may be p itself.
void matTransformPoint(const Point3D& p, const Matrix4& m, Point3D* out);
// Copies 16 entries.
void matCopy(Matrix4* dst, const Matrix4& src);
// c = a * b: applies a first, then b. c may be a or b.
void matMultiply(const Matrix4& a, const Matrix4& b, Matrix4* c);
// Inverse by Gauss-Jordan elimination; a zero pivot (below 1e-5) is mended by adding the first
// later row with a usable entry. Returns 0; -1 when a is singular (inv then holds no inverse).
// inv may be a itself.
int matInvert(const Matrix4& a, Matrix4* inv);
