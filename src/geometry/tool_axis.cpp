// tool_axis.cpp - vector maths of the tilted tool axis used by the five-axis code and the path
// list: turning, azimuth-and-tilt interpolation, tilt limits and rotations about lines.
#include "geometry/tool_axis.h"

#include <cmath>

#include "geometry/csys.h"
#include "geometry/geo_error.h"

namespace {
constexpr double kEps = 1e-5;

struct AxisState {
  int refTilt = 0;  // 1: the tilt limit is measured in the reference system
};
AxisState axisState;

// Angle between two axes: arc cosine of their clamped dot product.
double axisAngle(const Point3D& a, const Point3D& b) { return vecAcosClamped(vecDot(a, b)); }
// fa a + fb b.
Point3D axisComb(double fa, const Point3D& a, double fb, const Point3D& b) {
  return vecAdd(vecScale(fa, a), vecScale(fb, b));
}
}  // namespace

void axisResetState() { axisState = AxisState{}; }

int axisTurnToward(Point3D* out, const Point3D& a, const Point3D& b, double phi) {
  const Point3D c = vecCross(a, b);
  if (vecLength(c) < kEps) {
    *out = a;
    return -1;
  }
  Point3D n;
  if (vecCrossUnit(c, a, &n) != 0) {
    *out = a;
    return -1;
  }
  *out = axisComb(std::cos(phi), a, std::sin(phi), n);
  return 0;
}

int axisTurnSideways(Point3D* out, const Point3D& a, const Point3D& b, double phi) {
  Point3D n;
  if (vecCrossUnit(b, a, &n) != 0) {
    *out = a;
    return -1;
  }
  *out = axisComb(std::cos(phi), a, std::sin(phi), n);
  return 0;
}

int axisHorizontalDir(const Point3D& v, Point3D* out) {
  const double h = std::sqrt(v.x * v.x + v.y * v.y);
  if (h < kEps) {
    *out = v;
    return 0;
  }
  *out = Point3D{v.x / h, v.y / h, 0.0};
  return 1;
}

int axisTurnAzimuthTilt(Point3D* out, const Point3D& a, const Point3D& b, double phi) {
  const double alpha = axisAngle(a, b);
  if (phi >= alpha - kEps || alpha < kEps) {
    *out = b;
    return 1;
  }
  Point3D ha, hb;
  if (axisHorizontalDir(a, &ha) == 0 || axisHorizontalDir(b, &hb) == 0) return -1;
  const double f = phi / alpha;
  Point3D h;
  holderRotateToward(ha, hb, f * axisAngle(ha, hb), &h);
  const double tilt = (1.0 - f) * vecAcosClamped(a.z) + f * vecAcosClamped(b.z);
  *out = Point3D{std::sin(tilt) * h.x, std::sin(tilt) * h.y, std::cos(tilt)};
  return 0;
}

int axisLimitTilt(Point3D* axis, double maxAngle) {
  if (axis->z > 1.0) axis->z = 1.0;
  if (vecAcosClamped(axis->z) < maxAngle) return 0;
  const double h = std::sqrt(axis->x * axis->x + axis->y * axis->y);
  axis->z = std::cos(maxAngle);
  if (h < kEps) {
    axis->x = 0.0;
    axis->y = 0.0;
  } else {
    const double f = std::sin(maxAngle) / h;
    axis->x *= f;
    axis->y *= f;
  }
  return 1;
}

int axisClampTilt(Point3D* axis, double maxAngle) {
  if (axisState.refTilt == 1) return axisClampTiltRef(maxAngle, axis);
  return axisLimitTilt(axis, maxAngle);
}

int axisClampTiltRef(double maxAngle, Point3D* axis) {
  Point3D v = *axis;
  csysToolDirToOrig(&v);
  if (axisLimitTilt(&v, maxAngle) == 0) return 0;
  csysOrigDirToTool(&v);
  *axis = v;
  return 1;
}

void axisSetFrameTiltLimit(int flag) { axisState.refTilt = flag; }

Point3D holderAxisFromTilt(const Point3D& d, double t) {
  return Point3D{std::sin(t) * d.x, std::sin(t) * d.y, std::cos(t)};
}

int holderRotateToward(const Point3D& a, const Point3D& b, double t, Point3D* out) {
  if (t > axisAngle(a, b)) {
    *out = b;
    return 1;
  }
  if (axisTurnToward(out, a, b, t) != 0) {
    *out = a;
    return -1;
  }
  return 0;
}

int axisRotateAbout(Point3D* v, const Point3D& a, double phi) {
  const double la = vecLength(a);
  if (la < kEps) return 0;
  const Point3D z{a.x / la, a.y / la, a.z / la};
  Point3D y, x;
  if (vecCrossUnit(z, *v, &y) != 0) return 0;
  vecCrossUnit(y, z, &x);
  const double vx = vecDot(*v, x);  // v has no y component in this frame
  const double vz = vecDot(*v, z);
  const double c = std::cos(phi), s = std::sin(phi);
  const Point3D r = axisComb(vx * c, x, vx * s, y);
  *v = Point3D{r.x + vz * z.x, r.y + vz * z.y, r.z + vz * z.z};
  return 1;
}

int axisFrameAlong(const Point3D& o, const Point3D& zIn, Matrix4* m, Matrix4* inv) {
  const double lz = vecLength(zIn);
  if (lz < kEps) return geoFail(kGeoFailed, "tool_axis");
  const Point3D z{zIn.x / lz, zIn.y / lz, zIn.z / lz};
  if (vecLength(o) < kEps && std::fabs(z.x) < kEps && std::fabs(z.y) < kEps &&
      std::fabs(z.z - 1.0) < kEps) {
    matIdentity(m);
    matIdentity(inv);
    return 1;
  }
  Point3D y, x;
  if (vecCrossUnit(z, Point3D{0.0, 0.0, 1.0}, &y) != 0) vecCrossUnit(z, Point3D{0.0, 1.0, 0.0}, &y);
  vecCrossUnit(y, z, &x);
  Matrix4 axes, shift;
  matFromAxes(x, y, z, &axes);
  matTranslation(o, &shift);
  matMultiply(axes, shift, m);
  if (matInvert(*m, inv) != 0) return geoFail(kGeoFailed, "tool_axis");
  return 1;
}

int axisRotatePointAboutLine(Point3D* p, const Point3D& o, const Point3D& z, double phi) {
  Matrix4 m, inv, rot;
  if (axisFrameAlong(o, z, &m, &inv) != 1) return -1;
  Point3D local;
  matTransformPoint(*p, inv, &local);
  matRotation(0, phi, &rot);
  matTransformPoint(local, rot, &local);
  matTransformPoint(local, m, p);
  return 1;
}
