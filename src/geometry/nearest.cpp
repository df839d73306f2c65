// nearest.cpp - nearest points of segments and polylines in 3D, XY and 2D, closest approach of
// two 3D segments, and the value-carrying polyline. Stateless apart from the error record.
#include "geometry/nearest.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/matrix4.h"

namespace {
constexpr double kEps = 1e-5;

double plineXYDist(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}

// Polyline walk shared by the three measures: seg(a, b, p, out) gives one segment's distance.
template <typename Pt, typename SegFn>
double plineWalk(const Pt* points, int count, const Pt& p, Pt* out, int* outIndex, SegFn seg) {
  double best = 0.0;
  Pt bestPt = p;
  int bestIndex = 0;
  for (int i = 1; i < count; ++i) {
    Pt q{};
    const double d = seg(points[i - 1], points[i], p, &q);
    if (bestIndex == 0 || d < best) {
      best = d;
      bestPt = q;
      bestIndex = i;
    }
  }
  if (out != nullptr) *out = bestPt;
  if (outIndex != nullptr) *outIndex = bestIndex;
  return best;
}

// What the polyline queries report when there is no segment: nothing found.
template <typename Pt>
double plineNothing(const Pt& p, Pt* out, int* outIndex) {
  if (out != nullptr) *out = p;
  if (outIndex != nullptr) *outIndex = 0;
  return 0.0;
}

bool ppolyUsable(const ParamPolyline* poly) {
  return poly != nullptr && poly->points != nullptr && poly->values != nullptr &&
         poly->count >= 2 && poly->count <= poly->capacity;
}

// The shared body of the two value queries; xy selects the XY measure.
double ppolyNearest(const ParamPolyline* poly, const Point3D& p, double* outValue,
                    Point3D* outPoint, bool xy) {
  if (outValue != nullptr) *outValue = 0.0;
  if (outPoint != nullptr) *outPoint = p;
  if (!ppolyUsable(poly)) return geoFail(kGeoBadArgument, "nearest");
  Point3D q{};
  int index = 0;
  const double d = xy ? plineNearestXY(poly->points, poly->count, p, &q, &index)
                      : plineNearest3(poly->points, poly->count, p, &q, &index);
  const Point3D& s = poly->points[index - 1];
  const Point3D& e = poly->points[index];
  const double len = xy ? plineXYDist(s, e) : vecDistance(s, e);
  const double along = xy ? plineXYDist(q, s) : vecDistance(q, s);
  const double frac = len < kEps ? 0.0 : along / len;
  const double v0 = poly->values[index - 1], v1 = poly->values[index];
  if (outValue != nullptr) *outValue = v0 + frac * (v1 - v0);
  if (outPoint != nullptr) *outPoint = q;
  return d;
}
}  // namespace

namespace {
// The three measures of the nearest-point rule: distance, position along the unit direction of
// a->b (w), the point at w, and the distance from p to that point.
struct PlineSpace3 {
  static double dist(const Point3D& a, const Point3D& b) { return vecDistance(a, b); }
  static double along(const Point3D& a, const Point3D& b, const Point3D& p, double len) {
    const Point3D ab = vecSub(b, a);
    return vecDot(vecSub(p, a), Point3D{ab.x / len, ab.y / len, ab.z / len});
  }
  static Point3D at(const Point3D& a, const Point3D& b, double w, double len) {
    const Point3D ab = vecSub(b, a);
    const Point3D u{ab.x / len, ab.y / len, ab.z / len};
    return Point3D{a.x + w * u.x, a.y + w * u.y, a.z + w * u.z};
  }
  static double footDist(const Point3D&, const Point3D&, double dA, double w) {
    return std::sqrt(std::fmax(0.0, dA * dA - w * w));
  }
};

// Position of p along the unit plan direction of a->b (len the plan length of a->b).
template <typename Pt>
double plineAlongPlan(const Pt& a, const Pt& b, const Pt& p, double len) {
  const double ux = (b.x - a.x) / len, uy = (b.y - a.y) / len;
  return (p.x - a.x) * ux + (p.y - a.y) * uy;
}

// In plan: the z of the point is interpolated along the segment.
struct PlineSpaceXY {
  static double dist(const Point3D& a, const Point3D& b) { return plineXYDist(a, b); }
  static double along(const Point3D& a, const Point3D& b, const Point3D& p, double len) {
    return plineAlongPlan(a, b, p, len);
  }
  static Point3D at(const Point3D& a, const Point3D& b, double w, double len) {
    const double ux = (b.x - a.x) / len, uy = (b.y - a.y) / len;
    const double f = w / len;
    return Point3D{a.x + w * ux, a.y + w * uy, a.z + f * (b.z - a.z)};
  }
  static double footDist(const Point3D& p, const Point3D& q, double, double) {
    return plineXYDist(p, q);
  }
};

struct PlineSpace2 {
  static double dist(const Point2D& a, const Point2D& b) { return g2dDistance(a, b); }
  static double along(const Point2D& a, const Point2D& b, const Point2D& p, double len) {
    return plineAlongPlan(a, b, p, len);
  }
  static Point2D at(const Point2D& a, const Point2D& b, double w, double len) {
    const double ux = (b.x - a.x) / len, uy = (b.y - a.y) / len;
    return Point2D{a.x + w * ux, a.y + w * uy};
  }
  static double footDist(const Point2D&, const Point2D&, double dA, double w) {
    return std::sqrt(std::fmax(0.0, dA * dA - w * w));
  }
};

// The one nearest-point rule on a segment: the foot of p when it lies within the segment (a
// segment shorter than 1e-5 has none), else the nearer end (b on a tie).
template <typename Space, typename Pt>
double plineNearestOnSeg(const Pt& a, const Pt& b, const Pt& p, Pt* out) {
  const double dA = Space::dist(p, a), dB = Space::dist(p, b);
  const double len = Space::dist(a, b);
  if (len >= kEps) {
    const double w = Space::along(a, b, p, len);
    if (w >= 0.0 && w <= len) {
      const Pt q = Space::at(a, b, w, len);
      if (out != nullptr) *out = q;
      return Space::footDist(p, q, dA, w);
    }
  }
  if (out != nullptr) *out = dA < dB ? a : b;
  return std::fmin(dA, dB);
}
}  // namespace

double plineNearestOnSeg3(const Point3D& a, const Point3D& b, const Point3D& p, Point3D* out) {
  return plineNearestOnSeg<PlineSpace3>(a, b, p, out);
}

double plineNearestOnSegXY(const Point3D& a, const Point3D& b, const Point3D& p, Point3D* out) {
  return plineNearestOnSeg<PlineSpaceXY>(a, b, p, out);
}

double plineNearestOnSeg2(const Point2D& a, const Point2D& b, const Point2D& p, Point2D* out) {
  return plineNearestOnSeg<PlineSpace2>(a, b, p, out);
}

double plineNearest3(const Point3D* points, int count, const Point3D& p, Point3D* out,
                     int* outIndex) {
  if (points == nullptr || count < 2) return plineNothing(p, out, outIndex);
  return plineWalk(points, count, p, out, outIndex, plineNearestOnSeg3);
}

double plineNearestXY(const Point3D* points, int count, const Point3D& p, Point3D* out,
                      int* outIndex) {
  if (points == nullptr || count < 1) return plineNothing(p, out, outIndex);
  if (count == 1) {
    if (out != nullptr) *out = points[0];
    if (outIndex != nullptr) *outIndex = 1;
    return plineXYDist(p, points[0]);
  }
  return plineWalk(points, count, p, out, outIndex, plineNearestOnSegXY);
}

double plineNearest2(const Point2D* points, int count, const Point2D& p, Point2D* out,
                     int* outIndex) {
  if (points == nullptr || count < 2) return plineNothing(p, out, outIndex);
  return plineWalk(points, count, p, out, outIndex, plineNearestOnSeg2);
}

int plineSegSegCross3(const Point3D& a, const Point3D& b, const Point3D& e, const Point3D& f,
                      Point3D* outP, Point3D* outQ) {
  if (outP == nullptr || outQ == nullptr) return geoFail(kGeoBadArgument, "nearest");
  const double lab = vecDistance(a, b), lef = vecDistance(e, f);
  if (lab < kEps || lef < kEps) return 0;
  const Point3D ab = vecSub(b, a), ef = vecSub(f, e);
  const Point3D u{ab.x / lab, ab.y / lab, ab.z / lab};
  const Point3D w{ef.x / lef, ef.y / lef, ef.z / lef};
  Point3D n{};
  if (vecCrossUnit(u, w, &n) != 0) return 0;  // parallel
  Point3D y{};
  vecCrossUnit(n, u, &y);  // n and u are unit and perpendicular: never short
  // Frame with x along ab and z along the common normal, origin a; looking along z, the two
  // segments cross exactly when they pass each other.
  Matrix4 toWorld{}, toFrame{};
  matFromAxes(u, y, n, &toWorld);
  toWorld.m[3][0] = a.x;
  toWorld.m[3][1] = a.y;
  toWorld.m[3][2] = a.z;
  if (matInvert(toWorld, &toFrame) != 0) return geoFail(kGeoFailed, "nearest");
  Point3D fa{}, fb{}, fe{}, ff{};
  matTransformPoint(a, toFrame, &fa);
  matTransformPoint(b, toFrame, &fb);
  matTransformPoint(e, toFrame, &fe);
  matTransformPoint(f, toFrame, &ff);
  Point2D x{};
  if (g2dSegIsect(Seg2D{fa.x, fa.y, fb.x, fb.y}, Seg2D{fe.x, fe.y, ff.x, ff.y}, &x) != 1) return 0;
  Point3D pw{};
  matTransformPoint(Point3D{x.x, x.y, 0.0}, toWorld, &pw);
  Point3D qw{};
  plineNearestOnSeg3(e, f, pw, &qw);
  *outP = pw;
  *outQ = qw;
  return 1;
}

double plineSegSegDist3(const Point3D& a, const Point3D& b, const Point3D& e, const Point3D& f,
                        Point3D* outP, Point3D* outQ) {
  Point3D p{}, q{};
  if (plineSegSegCross3(a, b, e, f, &p, &q) == 1) {
    if (outP != nullptr) *outP = p;
    if (outQ != nullptr) *outQ = q;
    return vecDistance(p, q);
  }
  Point3D c{};
  double best = plineNearestOnSeg3(a, b, e, &c);
  p = c;
  q = e;
  double d = plineNearestOnSeg3(a, b, f, &c);
  if (d < best) {
    best = d;
    p = c;
    q = f;
  }
  d = plineNearestOnSeg3(e, f, a, &c);
  if (d < best) {
    best = d;
    p = a;
    q = c;
  }
  d = plineNearestOnSeg3(e, f, b, &c);
  if (d < best) {
    best = d;
    p = b;
    q = c;
  }
  if (outP != nullptr) *outP = p;
  if (outQ != nullptr) *outQ = q;
  return best;
}

ParamPolyline* ppolyNew(int n) {
  const int cap = n < 1 ? 1 : n;
  auto* poly = static_cast<ParamPolyline*>(memAllocZero(sizeof(ParamPolyline)));
  if (poly == nullptr) {
    geoFail(kGeoFailed, "nearest");
    return nullptr;
  }
  poly->capacity = cap;
  poly->points =
      static_cast<Point3D*>(memAllocZero(static_cast<std::size_t>(cap) * sizeof(Point3D)));
  poly->values = static_cast<double*>(memAllocZero(static_cast<std::size_t>(cap) * sizeof(double)));
  if (poly->points == nullptr || poly->values == nullptr) {
    ppolyFree(poly);
    geoFail(kGeoFailed, "nearest");
    return nullptr;
  }
  return poly;
}

ParamPolyline* ppolyCopy(const ParamPolyline* poly) {
  if (poly == nullptr) return nullptr;
  if (poly->capacity < 1 || poly->count < 0 || poly->count > poly->capacity ||
      poly->points == nullptr || poly->values == nullptr) {
    geoFail(kGeoBadArgument, "nearest");
    return nullptr;
  }
  ParamPolyline* copy = ppolyNew(poly->capacity);
  if (copy == nullptr) return nullptr;
  copy->count = poly->count;
  const auto n = static_cast<std::size_t>(copy->capacity);
  std::memcpy(copy->points, poly->points, n * sizeof(Point3D));
  std::memcpy(copy->values, poly->values, n * sizeof(double));
  return copy;
}

void ppolyFree(ParamPolyline* poly) {
  if (poly == nullptr) return;
  memFree(poly->points);
  memFree(poly->values);
  memFree(poly);
}

double ppolyNearest3(const ParamPolyline* poly, const Point3D& p, double* outValue,
                     Point3D* outPoint) {
  return ppolyNearest(poly, p, outValue, outPoint, false);
}

double ppolyNearestXY(const ParamPolyline* poly, const Point3D& p, double* outValue,
                      Point3D* outPoint) {
  return ppolyNearest(poly, p, outValue, outPoint, true);
}
