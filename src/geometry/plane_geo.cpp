// plane_geo.cpp - plane analytic geometry with the fixed tolerances the region, offset and
// collision code rely on: line equations, cuts, root solvers, angles and on-segment tests.
#include "geometry/plane_geo.h"

#include <cmath>

namespace {
constexpr double kMinLength = 1e-12;  // shorter segments have no line equation
constexpr double kMinRadial = 1e-10;  // shortest direction for an angle at a vertex
constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwoPiShort = 6.28318530718;  // moves atan2 angles into [0, 2 pi)

double geoSegLength(const Seg2D& s) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  return std::sqrt(dx * dx + dy * dy);
}

// 1 when u lies within [min(u1, u2), max(u1, u2)].
bool geoWithin(double u, double u1, double u2) {
  const double lo = u1 < u2 ? u1 : u2, hi = u1 < u2 ? u2 : u1;
  return u >= lo && u <= hi;
}

// The coordinate of the extent tests: x when the line is closer to horizontal (|a| < |b|), else y.
bool geoWithinExtent(const Point2D& p, const Seg2D& seg, double a, double b) {
  if (std::fabs(a) < std::fabs(b)) return geoWithin(p.x, seg.x1, seg.x2);
  return geoWithin(p.y, seg.y1, seg.y2);
}

// Solves the quadratic of a line u' = A u + B on a circle, with (u, u') = (x, y) or (y, x) and
// the circle centre (cu, cv) in the same order. Writes the points back in (x, y) order.
int geoCutLineForm(double A, double B, double cu, double cv, double r, bool uIsX, Point2D* out1,
                   Point2D* out2) {
  const double k = B - cv;
  double u1 = 0.0, u2 = 0.0;
  const int n =
      geoSolveQuadratic(1.0 + A * A, 2.0 * (A * k - cu), cu * cu + k * k - r * r, &u1, &u2);
  if (n != 2) return 0;
  const double v1 = A * u1 + B, v2 = A * u2 + B;
  *out1 = uIsX ? Point2D{u1, v1} : Point2D{v1, u1};
  *out2 = uIsX ? Point2D{u2, v2} : Point2D{v2, u2};
  return 2;
}
}  // namespace

// ---- measures and orientation -----------------------------------------------------------------

double geoDist2D(const Point2D& p, const Point2D& q) { return std::sqrt(geoDist2DSq(p, q)); }

double geoDist2DSq(const Point2D& p, const Point2D& q) {
  const double dx = p.x - q.x, dy = p.y - q.y;
  return dx * dx + dy * dy;
}

int geoPtsClose(const Point2D& p, const Point2D& q, double tol) {
  return (std::fabs(p.x - q.x) <= tol && std::fabs(p.y - q.y) <= tol) ? 1 : 0;
}

double geoTriArea2D(const Point2D& p0, const Point2D& p1, const Point2D& p2) {
  return ((p1.y - p2.y) * (p0.x - p2.x) - (p0.y - p2.y) * (p1.x - p2.x)) / 2.0;
}

int geoPointInTri2D(const Point2D& p, const Tri3D& tri) {
  constexpr double kBaryTol = 1e-8;
  const Point3D& a = tri.v[0];
  const Point3D& b = tri.v[1];
  const Point3D& c = tri.v[2];
  const double det = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
  if (det == 0.0 || !std::isfinite(det)) return 0;
  const double l0 = ((b.y - c.y) * (p.x - c.x) + (c.x - b.x) * (p.y - c.y)) / det;
  const double l1 = ((c.y - a.y) * (p.x - c.x) + (a.x - c.x) * (p.y - c.y)) / det;
  const double l2 = 1.0 - l0 - l1;
  return l0 >= -kBaryTol && l1 >= -kBaryTol && l2 >= -kBaryTol ? 1 : 0;
}

int geoCcw(const Point2D& p0, const Point2D& p1, const Point2D& p2) {
  const double d1x = p1.x - p0.x, d1y = p1.y - p0.y;
  const double d2x = p2.x - p0.x, d2y = p2.y - p0.y;
  if (d1x * d2y > d1y * d2x) return 1;
  if (d1x * d2y < d1y * d2x) return -1;
  if (d1x * d2x < 0.0 || d1y * d2y < 0.0) return -1;
  if (d2x * d2x + d2y * d2y > d1x * d1x + d1y * d1y) return 1;
  return 0;
}

double geoPseudoAngle(double dx, double dy, double ref, int dir) {
  double g = 0.0;
  if (dx == 0.0 && dy == 0.0) {
    g = 0.0;
  } else if (std::fabs(dy) < std::fabs(dx)) {
    g = dy / dx;
    if (dx < 0.0) {
      g += 4.0;
    } else if (dy < 0.0) {
      g += 8.0;
    }
  } else {
    g = 2.0 - dx / dy;
    if (dy < 0.0) g += 4.0;
  }
  const double h = dir == -1 ? (8.0 - g) - ref : g - ref;
  if (std::fabs(h) < 1e-5) return h < 0.0 ? 0.0 : h;
  return h < 0.0 ? h + 8.0 : h;
}

int geoAngleBetween(const Point2D& p, const Point2D& c, const Point2D& q, int dir, double* out) {
  const double lp = geoDist2D(p, c), lq = geoDist2D(q, c);
  if (lp < kMinRadial || lq < kMinRadial) {
    *out = 0.0;
    return 0;
  }
  const double ux = (p.x - c.x) / lp, uy = (p.y - c.y) / lp;
  const double vx = (q.x - c.x) / lq, vy = (q.y - c.y) / lq;
  double s = ux * vy - uy * vx;
  if (std::fabs(s) < 1e-13) s = 0.0;
  const double k = ux * vx + uy * vy;
  const double o = std::acos(std::fabs(std::fabs(k) - 1e-15));  // angle between the lines
  double angle;
  if (k > -1e-7 && s > -1e-7) {
    angle = o;
  } else if (k > 0.0) {
    angle = kTwoPi - o;
  } else if (s >= 0.0) {
    angle = M_PI - o;
  } else {
    angle = M_PI + o;
  }
  if (dir == -1 && angle >= 1e-5) angle = kTwoPi - angle;
  *out = angle;
  return 1;
}

int geoAngleAtVertex(const Point2D& p, const Point2D& c, const Point2D& q, int dir, double* out) {
  const Point2D pc = p, cc = c, qc = q;
  geoAngleBetween(pc, cc, qc, dir, out);
  return 0;
}

int geoTruncMilli(double* value) {
  const double whole = std::trunc(*value);
  const double frac = std::trunc((*value - whole) * 1000.0) / 1000.0;
  *value = whole + frac;
  return 1;
}

// ---- lines and segments -----------------------------------------------------------------------

int geoLineEq(const Seg2D& seg, double* a, double* b, double* c) {
  const double len = geoSegLength(seg);
  if (len < kMinLength) {
    *a = *b = *c = 0.0;
    return 0;
  }
  *a = (seg.y2 - seg.y1) / len;
  *b = (seg.x1 - seg.x2) / len;
  *c = -(*a * seg.x1 + *b * seg.y1);
  return 1;
}

int geoLineSide(const Point2D& p, double a, double b, double c) {
  const double v = a * p.x + b * p.y + c;
  if (v > 0.0) return 1;
  if (v < 0.0) return -1;
  return 0;
}

double geoDistToLine(const Point2D& p, const Seg2D& seg) {
  double a, b, c;
  if (geoLineEq(seg, &a, &b, &c) == 0) return geoDist2D(p, g2dSegStart(seg));
  return std::fabs(a * p.x + b * p.y + c);
}

int geoFootOnSeg(const Point2D& p, const Seg2D& seg, Point2D* foot) {
  double a, b, c;
  if (geoLineEq(seg, &a, &b, &c) == 0) return 0;
  const double d = a * p.x + b * p.y + c;
  *foot = Point2D{p.x - d * a, p.y - d * b};
  return geoWithinExtent(*foot, seg, a, b) ? 1 : 0;
}

int geoLineLineCutTol(const Seg2D& s1, const Seg2D& s2, double tol, Point2D* out) {
  double a1, b1, c1, a2, b2, c2;
  if (geoLineEq(s1, &a1, &b1, &c1) == 0 || geoLineEq(s2, &a2, &b2, &c2) == 0) return 0;
  const double det = a1 * b2 - a2 * b1;
  if (std::fabs(det) <= tol) return 0;
  *out = Point2D{(b1 * c2 - b2 * c1) / det, (a2 * c1 - a1 * c2) / det};
  return 1;
}

int geoLineLineCut(const Seg2D& s1, const Seg2D& s2, Point2D* out) {
  return geoLineLineCutTol(s1, s2, 0.0, out);
}

int geoSegsCross(const Seg2D& s1, const Seg2D& s2) {
  if (std::fmin(s1.x1, s1.x2) > std::fmax(s2.x1, s2.x2)) return 0;
  if (std::fmin(s2.x1, s2.x2) > std::fmax(s1.x1, s1.x2)) return 0;
  if (std::fmin(s1.y1, s1.y2) > std::fmax(s2.y1, s2.y2)) return 0;
  if (std::fmin(s2.y1, s2.y2) > std::fmax(s1.y1, s1.y2)) return 0;
  const Point2D a1 = g2dSegStart(s1), a2 = g2dSegEnd(s1);
  const Point2D b1 = g2dSegStart(s2), b2 = g2dSegEnd(s2);
  if (geoCcw(a1, a2, b1) * geoCcw(a1, a2, b2) <= 0 && geoCcw(b1, b2, a1) * geoCcw(b1, b2, a2) <= 0)
    return 1;
  return 0;
}

// ---- root solvers -----------------------------------------------------------------------------

int geoSolveLinear(double a, double b, double* out) {
  if (a != 0.0) {
    *out = -b / a;
    return 1;
  }
  *out = 0.0;
  return b != 0.0 ? 0 : -1;
}

int geoSolveQuadratic(double a, double b, double c, double* out1, double* out2) {
  if (a == 0.0) {
    const int n = geoSolveLinear(b, c, out1);
    *out2 = 0.0;
    return n;
  }
  const double disc = b * b - 4.0 * a * c;
  if (disc < 0.0) {
    *out1 = *out2 = 0.0;
    return 0;
  }
  const double s = std::sqrt(disc);
  if (b != 0.0) {
    // The root of the larger magnitude first, the other from the product of the roots: no
    // cancellation between b and the square root.
    const double q = -0.5 * (b + (b > 0.0 ? s : -s));
    *out1 = q / a;
    *out2 = c / q;
  } else {
    *out1 = s / (2.0 * a);
    *out2 = -s / (2.0 * a);
  }
  return 2;
}

// ---- circles and arcs -------------------------------------------------------------------------

int geoLineCircleCut(double a, double b, double c, const Arc2D& circle, Point2D* out1,
                     Point2D* out2) {
  if (a == 0.0 && b == 0.0) return -10;
  if (std::fabs(b) >= std::fabs(a)) {  // y = -(a x + c) / b
    return geoCutLineForm(-a / b, -c / b, circle.cx, circle.cy, circle.radius, true, out1, out2);
  }
  return geoCutLineForm(-b / a, -c / a, circle.cy, circle.cx, circle.radius, false, out1, out2);
}

int geoCircleCircleCut(const Arc2D& c1, const Arc2D& c2, Point2D* out1, Point2D* out2) {
  // The radical line of the two circles, cut with the second.
  const double a = 2.0 * (c2.cx - c1.cx);
  const double b = 2.0 * (c2.cy - c1.cy);
  const double c = c2.radius * c2.radius + c1.cx * c1.cx + c1.cy * c1.cy - c2.cx * c2.cx -
                   c2.cy * c2.cy - c1.radius * c1.radius;
  return geoLineCircleCut(a, b, c, c2, out1, out2) == 2 ? 2 : 0;
}

int geoSegCircleCut(const Seg2D& seg, const Arc2D& circle, Point2D* out1, Point2D* out2) {
  const double r = circle.radius;
  if (std::fmax(seg.x1, seg.x2) < circle.cx - r || std::fmin(seg.x1, seg.x2) > circle.cx + r ||
      std::fmax(seg.y1, seg.y2) < circle.cy - r || std::fmin(seg.y1, seg.y2) > circle.cy + r)
    return 0;
  const double dx = seg.x2 - seg.x1, dy = seg.y2 - seg.y1;
  if (dx == 0.0 && dy == 0.0) return 0;
  if (std::fabs(dx) > std::fabs(dy)) {  // y = A x + B
    const double A = dy / dx;
    return geoCutLineForm(A, seg.y1 - A * seg.x1, circle.cx, circle.cy, r, true, out1, out2);
  }
  const double A = dx / dy;  // x = A y + B
  return geoCutLineForm(A, seg.x1 - A * seg.y1, circle.cy, circle.cx, r, false, out1, out2);
}

int geoCircleThrough3(const Point2D& p0, const Point2D& p1, const Point2D& p2, Arc2D* out) {
  // Each perpendicular bisector as the segment from the chord's midpoint along the chord turned
  // by +90 degrees.
  auto bisector = [](const Point2D& a, const Point2D& b) {
    const double mx = (a.x + b.x) / 2.0, my = (a.y + b.y) / 2.0;
    const double dx = b.x - a.x, dy = b.y - a.y;
    return Seg2D{mx, my, mx - dy, my + dx};
  };
  double a1, b1, c1, a2, b2, c2;
  if (geoLineEq(bisector(p0, p1), &a1, &b1, &c1) == 0) return 0;
  if (geoLineEq(bisector(p1, p2), &a2, &b2, &c2) == 0) return 0;
  const double det = a1 * b2 - a2 * b1;
  if (std::fabs(det) < 1e-10) return 0;
  out->cx = (b1 * c2 - b2 * c1) / det;
  out->cy = (a2 * c1 - a1 * c2) / det;
  out->radius = geoDist2D(p1, Point2D{out->cx, out->cy});
  return 1;
}

int geoPointToCircle(const Point2D& p, const Arc2D& circle, Point2D* out) {
  const double dx = p.x - circle.cx, dy = p.y - circle.cy;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (len < kMinLength) return 0;
  *out = Point2D{circle.cx + circle.radius * dx / len, circle.cy + circle.radius * dy / len};
  return 1;
}

double geoArcLength(const Arc2D& arc) {
  double as = std::atan2(arc.sy - arc.cy, arc.sx - arc.cx);
  double ae = std::atan2(arc.ey - arc.cy, arc.ex - arc.cx);
  if (as < 0.0) as += kTwoPiShort;
  if (ae < 0.0) ae += kTwoPiShort;
  if (as > ae) ae += kTwoPi;
  if (arc.dir == 1) return arc.radius * (ae - as);
  return arc.radius * (as + kTwoPi - ae);
}

int geoArcSweepHas(const Point2D& p, const Arc2D& arc) {
  const Point2D s{arc.sx, arc.sy}, c{arc.cx, arc.cy}, e{arc.ex, arc.ey};
  double sweep = 0.0, at = 0.0;
  geoAngleBetween(s, c, e, arc.dir, &sweep);
  geoAngleBetween(s, c, p, arc.dir, &at);
  return sweep > at ? 1 : 0;
}

// ---- proximity of a point to a segment --------------------------------------------------------

int geoOnSegFine(const Point2D& p, const Seg2D& seg) {
  constexpr double kTol = 0.001;
  double a, b, c;
  if (geoLineEq(seg, &a, &b, &c) == 1 && std::fabs(a * p.x + b * p.y + c) <= kTol &&
      geoWithinExtent(p, seg, a, b))
    return 1;
  if (geoDist2D(p, g2dSegStart(seg)) < kTol || geoDist2D(p, g2dSegEnd(seg)) < kTol) return 1;
  return 0;
}

int geoOnSegTol(const Point2D& p, const Seg2D& seg, double tol) {
  double a, b, c;
  if (geoLineEq(seg, &a, &b, &c) == 1) {
    if (std::fabs(a * p.x + b * p.y + c) > tol) return 0;
    return geoWithinExtent(p, seg, a, b) ? 1 : 0;
  }
  return (geoDist2D(p, g2dSegStart(seg)) < tol || geoDist2D(p, g2dSegEnd(seg)) < tol) ? 1 : 0;
}

int geoOnSegCoarse(const Point2D& p, const Seg2D& seg) { return geoOnSegTol(p, seg, 0.01); }

int geoPointNearSeg(const Point2D& p, const Seg2D& seg, double tol) {
  if (geoDistToLine(p, seg) >= tol) return 0;
  if (geoDist2D(p, g2dSegStart(seg)) < tol || geoDist2D(p, g2dSegEnd(seg)) < tol) return 1;
  Point2D foot{0.0, 0.0};
  if (geoFootOnSeg(p, seg, &foot) == 1 && geoDist2D(p, foot) < tol) return 1;
  return 0;
}

int geoProjInSeg(const Seg2D& seg, const Point2D& p) {
  const double dx = seg.x2 - seg.x1, dy = seg.y2 - seg.y1;
  const double len = std::sqrt(dx * dx + dy * dy);
  if ((std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5) || len < 0.001) return -3;
  const double t = ((p.x - seg.x1) * dx + (p.y - seg.y1) * dy) / len;
  return (t >= 0.0 && t <= len) ? 1 : 0;
}

// ---- conversions ------------------------------------------------------------------------------

Seg2D* geoSeg2From3D(Seg2D* out, const Seg3D& seg3) {
  *out = Seg2D{seg3.start.x, seg3.start.y, seg3.end.x, seg3.end.y};
  return out;
}

Point2D* geoPt2From3D(Point2D* out, const Point3D& p3) {
  *out = Point2D{p3.x, p3.y};
  return out;
}

Seg3D* geoSeg3From2D(Seg3D* out, const Seg2D& seg, double z1, double z2) {
  *out = Seg3D{Point3D{seg.x1, seg.y1, z1}, Point3D{seg.x2, seg.y2, z2}};
  return out;
}

Point3D* geoPt3From2D(Point3D* out, const Point2D& p, double z) {
  *out = Point3D{p.x, p.y, z};
  return out;
}

Tri3D* geoTriFromFloat(Tri3D* out, const TriF& tri) {
  for (int i = 0; i < 3; ++i) {
    out->v[i] = Point3D{tri.v[3 * i], tri.v[3 * i + 1], tri.v[3 * i + 2]};
  }
  return out;
}

Seg2D* geoSegMul2x2(Seg2D* out, const double m[4], const Seg2D& seg) {
  const Seg2D s = seg;  // a copy, so out may be the input
  *out = Seg2D{m[0] * s.x1 + m[1] * s.y1, m[2] * s.x1 + m[3] * s.y1, m[0] * s.x2 + m[1] * s.y2,
               m[2] * s.x2 + m[3] * s.y2};
  return out;
}
