// matrix4.cpp - 4x4 homogeneous row-vector transforms: building, applying, chaining, inverting.
// The coordinate systems keep all their transforms in this form.
#include "geometry/matrix4.h"

#include <cmath>

namespace {
constexpr double kEps = 1e-5;  // matEqual agreement and the smallest usable pivot
}  // namespace

void matIdentity(Matrix4* m) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m->m[r][c] = r == c ? 1.0 : 0.0;
}

int matEqual(const Matrix4& a, const Matrix4& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (!(std::fabs(a.m[r][c] - b.m[r][c]) < kEps)) return 0;
  return 1;
}

void matFromAxes(const Point3D& x, const Point3D& y, const Point3D& z, Matrix4* m) {
  matIdentity(m);
  const Point3D* axes[3] = {&x, &y, &z};
  for (int r = 0; r < 3; ++r) {
    m->m[r][0] = axes[r]->x;
    m->m[r][1] = axes[r]->y;
    m->m[r][2] = axes[r]->z;
  }
}

void matTranslation(const Point3D& v, Matrix4* m) {
  matIdentity(m);
  m->m[3][0] = v.x;
  m->m[3][1] = v.y;
  m->m[3][2] = v.z;
  m->m[3][3] = 1.0;
}

void matRotation(int kind, double angle, Matrix4* m) {
  matIdentity(m);
  const double c = std::cos(angle), s = std::sin(angle);
  switch (kind) {
    case 0:
      m->m[0][0] = c;
      m->m[0][1] = s;
      m->m[1][0] = -s;
      m->m[1][1] = c;
      break;
    case 1:
      m->m[1][1] = c;
      m->m[1][2] = s;
      m->m[2][1] = -s;
      m->m[2][2] = c;
      break;
    case 2:
      m->m[0][0] = c;
      m->m[0][2] = s;
      m->m[2][0] = -s;
      m->m[2][2] = c;
      break;
    default: break;
  }
}

void matTransformPoint(const Point3D& p, const Matrix4& m, Point3D* out) {
  const double x = p.x, y = p.y, z = p.z;  // copies, so out may alias p
  Point3D r;
  r.x = x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0];
  r.y = x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1];
  r.z = x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2];
  *out = r;
}

void matCopy(Matrix4* dst, const Matrix4& src) { *dst = src; }

void matMultiply(const Matrix4& a, const Matrix4& b, Matrix4* c) {
  Matrix4 r;  // built aside, so c may alias a or b
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
      r.m[i][j] = sum;
    }
  *c = r;
}

int matInvert(const Matrix4& a, Matrix4* inv) {
  Matrix4 w = a;
  Matrix4 id;
  matIdentity(&id);
  for (int k = 0; k < 4; ++k) {
    if (std::fabs(w.m[k][k]) < kEps) {
      // Mend the pivot by adding the first later row with a usable entry in this column.
      int j = k + 1;
      while (j < 4 && !(std::fabs(w.m[j][k]) >= kEps)) ++j;
      if (j == 4) {
        *inv = id;
        return -1;
      }
      for (int c = 0; c < 4; ++c) {
        w.m[k][c] += w.m[j][c];
        id.m[k][c] += id.m[j][c];
      }
    }
    const double f = 1.0 / w.m[k][k];
    for (int c = 0; c < 4; ++c) {
      w.m[k][c] *= f;
      id.m[k][c] *= f;
    }
    for (int i = 0; i < 4; ++i) {
      if (i == k) continue;
      const double g = w.m[i][k];
      for (int c = 0; c < 4; ++c) {
        w.m[i][c] -= g * w.m[k][c];
        id.m[i][c] -= g * id.m[k][c];
      }
    }
  }
  *inv = id;
  return 0;
}
