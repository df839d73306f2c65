// affine.cpp - the frame matrix operations: copy, identity, point transform and inverse through
// cofactors (the frames are affine, so the 4x4 determinant is that of the rotation block).
#include "framework/affine.h"

#include <cmath>

void affCopy(AffineMatrix* out, const AffineMatrix* in) {
  if (out != nullptr && in != nullptr) *out = *in;
}

void affIdentity(AffineMatrix* out) {
  if (out != nullptr) *out = kAffIdentity;
}

void affTransformPoint(double* out, const AffineMatrix* m, const double* point) {
  const double p[4] = {point[0], point[1], point[2], 1.0};
  double r[3];
  for (int i = 0; i < 3; ++i) {
    r[i] = m->m[i * 4] * p[0] + m->m[i * 4 + 1] * p[1] + m->m[i * 4 + 2] * p[2] + m->m[i * 4 + 3];
  }
  out[0] = r[0];
  out[1] = r[1];
  out[2] = r[2];
  out[3] = 1.0;
}

double affCofactor(const AffineMatrix* m, int row, int column) {
  double a[9];
  int k = 0;
  for (int i = 0; i < 4; ++i) {
    if (i == row) continue;
    for (int j = 0; j < 4; ++j) {
      if (j == column) continue;
      a[k++] = m->m[i * 4 + j];
    }
  }
  const double minor = a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
                       a[2] * (a[3] * a[7] - a[4] * a[6]);
  return (row + column) % 2 != 0 ? -minor : minor;
}

void affInvert(AffineMatrix* out, const AffineMatrix* m) {
  const double* a = m->m;
  const double det = a[0] * (a[5] * a[10] - a[6] * a[9]) - a[1] * (a[4] * a[10] - a[6] * a[8]) +
                     a[2] * (a[4] * a[9] - a[5] * a[8]);
  if (!(std::fabs(det) > 1e-12)) {
    *out = kAffIdentity;
    return;
  }
  AffineMatrix r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r.m[j * 4 + i] = affCofactor(m, i, j) / det;
  }
  *out = r;
}
