// space_geo.cpp - planes, triangles and segments in space and the contact solvers of the Z-level
// walker (cylinder, ellipse, offset ellipse, torus, offset face, slab clipping).
// Every one-dimensional root search goes through geoRegulaFalsi, so all share one step limit.
#include "geometry/space_geo.h"

#include <algorithm>
#include <cmath>
#include <source_location>

#include "geometry/geo_error.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

// Marks where the torus contact ended (codes 0 and 1 are not failures).
void spaceMark(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "space_geo", static_cast<int>(at.line()));
}

bool spaceSameSign(double x, double y) { return (x > 0.0 && y > 0.0) || (x < 0.0 && y < 0.0); }

// ---- nearest point of an ellipse --------------------------------------------------------------
// In the first quadrant of the ellipse frame, with the half-angle parameter t in [0, 1]
// (x = A (1 - t^2) / (1 + t^2), y = 2 B t / (1 + t^2)), the feet of the normals from (u, v) are
// the roots of f(t) = B v t^4 + 2 M t^3 + 2 N t - B v.
struct EllipseQuartic {
  double bv;
  double m;
  double n;
};
double ellipseF(double t, const void* data) {
  const auto* q = static_cast<const EllipseQuartic*>(data);
  return q->bv * t * t * t * t + 2.0 * q->m * t * t * t + 2.0 * q->n * t - q->bv;
}
double ellipseDF(double t, const void* data) {
  const auto* q = static_cast<const EllipseQuartic*>(data);
  return 4.0 * q->bv * t * t * t + 6.0 * q->m * t * t + 2.0 * q->n;
}
Point2D ellipseAt(double a, double b, double t) {
  const double s = 1.0 + t * t;
  return Point2D{a * (1.0 - t * t) / s, 2.0 * b * t / s};
}

// The root of f where it is the only foot in the quadrant: the first narrow bracket about t = 0.5
// with a sign change, else [0, 1].
bool ellipseSingleRoot(const EllipseQuartic& q, double* t) {
  static constexpr double kBrackets[3][2] = {{0.499, 0.501}, {0.49, 0.51}, {0.4, 0.6}};
  for (const auto& br : kBrackets) {
    if (ellipseF(br[0], &q) * ellipseF(br[1], &q) < 0.0) {
      return geoRegulaFalsi(ellipseF, &q, br[0], br[1], t) == 1;
    }
  }
  return geoRegulaFalsi(ellipseF, &q, 0.0, 1.0, t) == 1;
}

// Nearest point of the ellipse (semi-axes a, b >= 0) to (u, v) with u, v > 1e-10, in the first
// quadrant. Inside the evolute f has up to three roots in [0, 1]; the pieces on which f is
// monotone (split at the zeros of f', which is itself monotone on either side of the zero of
// f'' = 12 t (B v t + M)) hold one root each, and the nearest foot wins.
bool ellipseQuadrantNearest(double a, double b, double u, double v, Point2D* out) {
  const EllipseQuartic q{b * v, a * u + (a * a - b * b), a * u - (a * a - b * b)};
  double bounds[5] = {0.0, 1.0, 0.0, 0.0, 0.0};
  int nb = 1;
  double dfCuts[3] = {0.0, 1.0, 1.0};
  int ndf = 1;
  if (q.bv != 0.0) {
    const double t1 = -q.m / q.bv;
    if (t1 > 0.0 && t1 < 1.0) {
      dfCuts[1] = t1;
      ndf = 2;
    }
  }
  for (int i = 0; i < ndf; ++i) {
    const double lo = dfCuts[i], hi = i + 1 < ndf ? dfCuts[i + 1] : 1.0;
    double c = 0.0;
    if (ellipseDF(lo, &q) * ellipseDF(hi, &q) < 0.0 &&
        geoRegulaFalsi(ellipseDF, &q, lo, hi, &c) == 1 && c > bounds[nb - 1] && c < 1.0) {
      bounds[nb++] = c;
    }
  }
  bounds[nb] = 1.0;
  int pieces = 0;
  for (int i = 0; i < nb; ++i) {
    if (!spaceSameSign(ellipseF(bounds[i], &q), ellipseF(bounds[i + 1], &q))) ++pieces;
  }
  double t = 0.0;
  if (pieces <= 1) {
    if (!ellipseSingleRoot(q, &t)) return false;
    *out = ellipseAt(a, b, t);
    return true;
  }
  double best = 0.0;
  bool found = false;
  for (int i = 0; i < nb; ++i) {
    if (spaceSameSign(ellipseF(bounds[i], &q), ellipseF(bounds[i + 1], &q))) continue;
    if (geoRegulaFalsi(ellipseF, &q, bounds[i], bounds[i + 1], &t) != 1) return false;
    const Point2D c = ellipseAt(a, b, t);
    const double d = (c.x - u) * (c.x - u) + (c.y - v) * (c.y - v);
    if (!found || d < best) {
      best = d;
      *out = c;
      found = true;
    }
  }
  return found;
}

// ---- segment against the offset ellipse -------------------------------------------------------
struct OffsetEllipseLine {
  double a, b;  // semi-axes
  double dist;
  double la, lb, lc;  // line equation
};
Point2D offsetEllipseAt(const OffsetEllipseLine& o, double angle) {
  const double cu = std::cos(angle), su = std::sin(angle);
  const double e = o.dist / std::sqrt((o.b * cu) * (o.b * cu) + (o.a * su) * (o.a * su));
  return Point2D{(o.a + o.b * e) * cu, (o.b + o.a * e) * su};
}
double offsetEllipseF(double angle, const void* data) {
  const auto* o = static_cast<const OffsetEllipseLine*>(data);
  const Point2D p = offsetEllipseAt(*o, angle);
  return o->la * p.x + o->lb * p.y + o->lc;
}

// ---- torus along an edge ----------------------------------------------------------------------
// Q'(s) = 4 h^2 s^3 + 6 h g s^2 + 2 f s + k of the torus function along the edge.
struct TorusSlope {
  double h, g, f, k;
};
double torusDQ(double s, const void* data) {
  const auto* q = static_cast<const TorusSlope*>(data);
  return 4.0 * q->h * q->h * s * s * s + 6.0 * q->h * q->g * s * s + 2.0 * q->f * s + q->k;
}

// ---- triangle below a height ------------------------------------------------------------------
// Point at z = h on the edge p-q, weighted by the vertical distances to h, both divided by the
// larger one; z is exactly h.
Point3D slabCut(const Point3D& p, const Point3D& q, double h) {
  const double wp = std::fabs(p.z - h), wq = std::fabs(q.z - h);
  const double m = std::max(wp, wq);
  const double fp = wp / m, fq = wq / m;
  const double s = fp + fq;
  return Point3D{(fq * p.x + fp * q.x) / s, (fq * p.y + fp * q.y) / s, h};
}
}  // namespace

int geoRegulaFalsi(GeoRootFn f, const void* data, double lo, double hi, double* out) {
  if (f == nullptr || out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  double flo = f(lo, data), fhi = f(hi, data);
  if (!std::isfinite(flo) || !std::isfinite(fhi)) return -1;
  if (spaceSameSign(flo, fhi)) return 0;
  if (flo == 0.0 && fhi == 0.0) {
    *out = lo;
    return 1;
  }
  double t = lo + (hi - lo) * flo / (flo - fhi);
  int side = 0;
  int steps = 0;
  while (lo < t && t < hi) {
    if (++steps > kGeoRootMaxSteps) return -1;
    const double ft = f(t, data);
    if (!std::isfinite(ft)) return -1;
    if (spaceSameSign(ft, flo)) {
      lo = t;
      flo = ft;
      if (side < 1) {
        side = 1;
      } else {
        fhi *= 0.5;
      }
    } else {
      hi = t;
      fhi = ft;
      if (side < 0) {
        flo *= 0.5;
      } else {
        side = -1;
      }
    }
    t = lo + (hi - lo) * flo / (flo - fhi);
  }
  if (std::isnan(t)) return -1;
  *out = std::clamp(t, lo, hi);
  return 1;
}

int geoTriPlane(const Tri3D& tri, double* a, double* b, double* c, double* d) {
  if (a == nullptr || b == nullptr || c == nullptr || d == nullptr)
    return geoFail(kGeoBadArgument, "space_geo");
  Point3D n = vecCross(vecSub(tri.v[1], tri.v[0]), vecSub(tri.v[2], tri.v[0]));
  const double len = vecLength(n);
  const bool valid = len >= 1e-12;
  if (valid) n = Point3D{n.x / len, n.y / len, n.z / len};
  *a = n.x;
  *b = n.y;
  *c = n.z;
  *d = -vecDot(n, tri.v[0]);
  return valid ? 1 : 0;
}

int geoPlaneSide(const Point3D& p, double a, double b, double c, double d) {
  const double s = a * p.x + b * p.y + c * p.z + d;
  return s > 0.0 ? 1 : (s < 0.0 ? -1 : 0);
}

int geoLinePlaneCut(double a, double b, double c, double d, const Seg3D& seg, Point3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  const Point3D n{a, b, c};
  const Point3D dir = vecSub(seg.end, seg.start);
  const double nd = vecDot(n, dir);
  if (nd == 0.0) return 0;
  const double t = -(vecDot(n, seg.start) + d) / nd;
  *out = Point3D{seg.start.x + t * dir.x, seg.start.y + t * dir.y, seg.start.z + t * dir.z};
  return 1;
}

double geoDist3D(const Point3D& p, const Point3D& q) { return vecDistance(p, q); }

double geoDistPointLine3D(const Point3D& p, const Seg3D& seg) {
  const Point3D dir = vecSub(seg.end, seg.start);
  const double dd = vecDot(dir, dir);
  if (dd < 1e-6) return std::min(vecDistance(p, seg.start), vecDistance(p, seg.end));
  return vecLength(vecCross(dir, vecSub(p, seg.start))) / std::sqrt(dd);
}

int geoFootOnSeg3D(const Point3D& p, const Seg3D& seg, Point3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  const Point3D dir = vecSub(seg.end, seg.start);
  const double dd = vecDot(dir, dir);
  if (dd < 1e-12) {
    *out = vecDistance(p, seg.start) < vecDistance(p, seg.end) ? seg.start : seg.end;
    return 1;
  }
  const double t = vecDot(dir, vecSub(p, seg.start)) / dd;
  *out = Point3D{seg.start.x + t * dir.x, seg.start.y + t * dir.y, seg.start.z + t * dir.z};
  return t >= 0.0 && t <= 1.0 ? 1 : 0;
}

int geoPointInTri3D(const Point3D& p, const Tri3D& tri, Point3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
  geoTriPlane(tri, &a, &b, &c, &d);
  const double s = a * p.x + b * p.y + c * p.z + d;
  *out = Point3D{p.x - s * a, p.y - s * b, p.z - s * c};
  // Only a triangle without a usable plane leaves the projection off its plane.
  if (std::fabs(a * out->x + b * out->y + c * out->z + d) > 1e-6) return 0;
  // The 2D test drops the coordinate along which the normal is largest.
  const double fa = std::fabs(a), fb = std::fabs(b), fc = std::fabs(c);
  const int drop = (fa >= fb && fa >= fc) ? 0 : ((fb > fa && fb >= fc) ? 1 : 2);
  const auto flat = [drop](const Point3D& q) {
    return drop == 0 ? Point2D{q.y, q.z} : (drop == 1 ? Point2D{q.x, q.z} : Point2D{q.x, q.y});
  };
  static constexpr int kEdges[3][3] = {{1, 2, 0}, {0, 2, 1}, {0, 1, 2}};
  const Point2D q = flat(*out);
  for (const auto& e : kEdges) {
    const Point2D v1 = flat(tri.v[e[0]]), v2 = flat(tri.v[e[1]]), opp = flat(tri.v[e[2]]);
    double la = 0.0, lb = 0.0, lc = 0.0;
    geoLineEq(Seg2D{v1.x, v1.y, v2.x, v2.y}, &la, &lb, &lc);
    const int so = geoLineSide(opp, la, lb, lc);
    if (so == 0) return 0;
    if (geoLineSide(q, la, lb, lc) == -so) return 0;
  }
  return 1;
}

int geoTriSortZ(const Tri3D& tri, Tri3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  Tri3D t = tri;
  if (t.v[0].z < t.v[1].z) std::swap(t.v[0], t.v[1]);
  if (t.v[0].z < t.v[2].z) std::swap(t.v[0], t.v[2]);
  if (t.v[1].z < t.v[2].z) std::swap(t.v[1], t.v[2]);
  *out = t;
  return 1;
}

int geoOffsetFaceCut(const Point3D& p, double halfLength, double offset, const Tri3D& tri,
                     Point3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
  if (geoTriPlane(tri, &a, &b, &c, &d) != 1) return geoFail(-11, "space_geo");
  const int side = geoPlaneSide(p, a, b, c, d);
  if (side == 0) return 0;
  // A horizontal face moved along its normal stays horizontal: it meets z = p.z in no line, and
  // solving for x or y would divide by zero.
  if (std::fabs(a) < 1e-12 && std::fabs(b) < 1e-12) return 0;
  const double dm = d - side * offset;
  Seg3D line{};
  if (std::fabs(a) <= std::fabs(b)) {
    const double x1 = p.x - halfLength, x2 = p.x + halfLength;
    line.start = Point3D{x1, -(a * x1 + c * p.z + dm) / b, p.z};
    line.end = Point3D{x2, -(a * x2 + c * p.z + dm) / b, p.z};
  } else {
    const double y1 = p.y - halfLength, y2 = p.y + halfLength;
    line.start = Point3D{-(b * y1 + c * p.z + dm) / a, y1, p.z};
    line.end = Point3D{-(b * y2 + c * p.z + dm) / a, y2, p.z};
  }
  Point3D foot{};
  geoFootOnSeg3D(p, line, &foot);  // the line piece is only a carrier: its range does not matter
  return geoPointInTri3D(foot, tri, out);
}

int geoCylinderCutZ(const Seg3D& seg, double r, double h, Seg2D* line1, Seg2D* line2,
                    Ellipse2D* ellipse) {
  if (line1 == nullptr || line2 == nullptr || ellipse == nullptr)
    return geoFail(kGeoBadArgument, "space_geo");
  Point3D lo = seg.start, hi = seg.end;
  if (lo.z > hi.z) std::swap(lo, hi);
  const double len = vecDistance(lo, hi);
  if (len < 1e-12) return 0;
  const double dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  const double sine = dz / len;
  if (sine >= 1e-5) {
    const double t = (h - lo.z) / dz;
    *ellipse = Ellipse2D{lo.x + t * dx, lo.y + t * dy, r / sine, r,
                         dx == 0.0 ? kPi / 2.0 : std::atan2(dy, dx)};
    return 3;
  }
  const double e = std::fabs(h - hi.z);
  if (e + 1e-6 > r) return 0;
  const Seg2D axis{lo.x, lo.y, hi.x, hi.y};
  if (e + 0.001 > r) {
    *line1 = axis;
    return 1;
  }
  const double w = std::sqrt(r * r - e * e);
  const double lxy = std::sqrt(dx * dx + dy * dy);  // about len: the axis is horizontal
  const double nx = -dy / lxy * w, ny = dx / lxy * w;
  *line1 = Seg2D{axis.x1 + nx, axis.y1 + ny, axis.x2 + nx, axis.y2 + ny};
  *line2 = Seg2D{axis.x1 - nx, axis.y1 - ny, axis.x2 - nx, axis.y2 - ny};
  return 2;
}

int geoEllipseNearest(const Point2D& p, const Ellipse2D& ellipse, Point2D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  const bool framed = ellipse.cx != 0.0 || ellipse.cy != 0.0 || ellipse.theta != 0.0;
  const double ct = framed ? std::cos(ellipse.theta) : 1.0;
  const double st = framed ? std::sin(ellipse.theta) : 0.0;
  double u = p.x, v = p.y;
  if (framed) {
    const double px = p.x - ellipse.cx, py = p.y - ellipse.cy;
    u = px * ct + py * st;
    v = -px * st + py * ct;
  }
  if (std::fabs(u) < 1e-5 && std::fabs(v) < 1e-5) return 0;
  const double au = std::fabs(u), av = std::fabs(v);
  // A negative semi-axis describes the same ellipse.
  const double a = std::fabs(ellipse.a), b = std::fabs(ellipse.b);
  Point2D q{};
  int result = 1;
  if (au <= 1e-10) {
    // On the b axis. Closer to the centre than the evolute's cusp of a long b axis, the two
    // symmetric feet off the axis are nearer than the axis end.
    if (b > a && av * b < b * b - a * a) {
      const double s = b * av / (b * b - a * a);
      q = Point2D{a * std::sqrt(std::fmax(0.0, 1.0 - s * s)), b * s};
    } else {
      q = Point2D{au, b};
    }
  } else if (av <= 1e-10) {
    // On the a axis, likewise.
    if (a > b && au * a < a * a - b * b) {
      const double c = a * au / (a * a - b * b);
      q = Point2D{a * c, b * std::sqrt(std::fmax(0.0, 1.0 - c * c))};
    } else {
      q = Point2D{a, av};
    }
  } else if (a <= 1e-10 && b <= 1e-10) {
    result = 0;
  } else if (!ellipseQuadrantNearest(a, b, au, av, &q)) {
    return 0;
  }
  if (u < 0.0) q.x = -q.x;
  if (v < 0.0) q.y = -q.y;
  if (framed) {
    q = Point2D{ellipse.cx + q.x * ct - q.y * st, ellipse.cy + q.x * st + q.y * ct};
  }
  *out = q;
  return result;
}

int geoEllipseOscCircle(const Ellipse2D& ellipse, double offset, const Point2D& p, Arc2D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  const double a = ellipse.a, b = ellipse.b;
  if (std::fabs(a) < 1e-10 || std::fabs(b) < 1e-10) return geoFail(kGeoBadArgument, "space_geo");
  Point2D q{};
  if (geoEllipseNearest(p, Ellipse2D{0.0, 0.0, a, b, 0.0}, &q) != 1)
    return geoFail(-12, "space_geo");
  const double xa = q.x / a, yb = q.y / b;
  out->cx = q.x * (1.0 - (b * b) / (a * a)) * xa * xa;
  out->cy = q.y * (1.0 - (a * a) / (b * b)) * yb * yb;
  out->radius =
      std::sqrt((q.x - out->cx) * (q.x - out->cx) + (q.y - out->cy) * (q.y - out->cy)) + offset;
  out->dir = 1;
  return 1;
}

int geoSegEllipseCut(const Seg2D& seg, const Ellipse2D& ellipse, double dist, Point2D* out1,
                     Point2D* out2) {
  if (out1 == nullptr || out2 == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  if (ellipse.a == 0.0 || ellipse.b == 0.0) return 0;
  // Into the ellipse frame; small offsets and angles are left alone, the same on the way back.
  const bool shiftX = std::fabs(ellipse.cx) > 1e-6, shiftY = std::fabs(ellipse.cy) > 1e-6;
  const bool turn = std::fabs(ellipse.theta) > 1e-8;
  const double ct = std::cos(ellipse.theta), st = std::sin(ellipse.theta);
  const auto toFrame = [&](double x, double y) {
    if (shiftX) x -= ellipse.cx;
    if (shiftY) y -= ellipse.cy;
    if (turn) return Point2D{x * ct + y * st, -x * st + y * ct};
    return Point2D{x, y};
  };
  const auto toWorld = [&](Point2D q) {
    if (turn) q = Point2D{q.x * ct - q.y * st, q.x * st + q.y * ct};
    if (shiftX) q.x += ellipse.cx;
    if (shiftY) q.y += ellipse.cy;
    return q;
  };
  const Point2D s1 = toFrame(seg.x1, seg.y1), s2 = toFrame(seg.x2, seg.y2);
  const Seg2D s{s1.x, s1.y, s2.x, s2.y};
  OffsetEllipseLine o{ellipse.a, ellipse.b, dist, 0.0, 0.0, 0.0};
  if (geoLineEq(s, &o.la, &o.lb, &o.lc) != 1) return geoFail(-10, "space_geo");
  const double ra = ellipse.a + dist, rb = ellipse.b + dist;
  if (std::min(s.x1, s.x2) > ra || std::min(s.y1, s.y2) > rb || std::max(s.x1, s.x2) < -ra ||
      std::max(s.y1, s.y2) < -rb) {
    return 0;
  }
  // F runs between its extremes at u0 and u0 + pi, where the curve's normal is the line's.
  const double u0 = std::atan2(o.lb * ellipse.b, o.la * ellipse.a);
  const double f0 = offsetEllipseF(u0, &o), fpi = offsetEllipseF(u0 + kPi, &o);
  const auto single = [&](double angle) {
    const Point2D q = offsetEllipseAt(o, angle);
    if (geoOnSegFine(q, s) != 1) return 0;
    *out1 = toWorld(q);
    return 1;
  };
  if (std::fabs(f0) < 1e-5) return single(u0);
  if (std::fabs(fpi) < 1e-5) return single(u0 + kPi);
  if (f0 * fpi > 0.0) return 0;
  int found = 0;
  const double brackets[2][2] = {{u0, u0 + kPi}, {u0 - kPi, u0}};
  for (const auto& br : brackets) {
    double angle = 0.0;
    if (geoRegulaFalsi(offsetEllipseF, &o, br[0], br[1], &angle) != 1) continue;
    const Point2D q = offsetEllipseAt(o, angle);
    if (geoOnSegFine(q, s) != 1) continue;
    *(found == 0 ? out1 : out2) = toWorld(q);
    ++found;
  }
  return found;
}

int geoTorusEdgeContact(const Point3D& c, double a, double b, const Seg3D& seg, Point3D* out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  const Point3D w = vecSub(seg.start, c);
  const Point3D dir = vecSub(seg.end, seg.start);
  const double h = vecDot(dir, dir);
  const double g = 2.0 * vecDot(dir, w);
  const double o = vecDot(w, w) + a * a - b * b;
  const double dxy = dir.x * dir.x + dir.y * dir.y;
  const double f = g * g + 2.0 * h * o - 4.0 * a * a * dxy;
  const double k = 2.0 * g * o - 8.0 * a * a * (dir.x * w.x + dir.y * w.y);
  double r1 = 0.0, r2 = 0.0;
  if (geoSolveQuadratic(12.0 * h * h, 12.0 * h * g, 2.0 * f, &r1, &r2) != 0) {
    // The torus function is not convex along the edge: contact from the cylinder of radius b
    // about the edge, cut in the plane of the centre circle.
    Seg2D l1{}, l2{};
    Ellipse2D el{};
    const int cut = geoCylinderCutZ(seg, b, c.z, &l1, &l2, &el);
    if (cut == 1 || cut == 2) return geoFootOnSeg3D(c, seg, out);
    if (cut != 3) return 0;
    Point2D q{};
    if (geoEllipseNearest(Point2D{c.x, c.y}, el, &q) != 1) return 0;
    return geoFootOnSeg3D(Point3D{q.x, q.y, c.z}, seg, out);
  }
  // Convex along the edge: its minimum within the edge, where Q' changes sign.
  const TorusSlope q{h, g, f, k};
  const double d0 = k;
  const double d1 = 4.0 * h * h + 6.0 * h * g + 2.0 * f + k;
  if (d0 > 0.01) {
    spaceMark(0);
    return 0;
  }
  if (d1 < -0.01) {
    spaceMark(0);
    return 0;
  }
  if (!(d0 * d1 < 0.0)) {
    spaceMark(0);
    return 0;
  }
  double s = 0.0;
  if (geoRegulaFalsi(torusDQ, &q, 0.0, 1.0, &s) != 1) {
    spaceMark(0);
    return 0;
  }
  *out = Point3D{seg.start.x + s * dir.x, seg.start.y + s * dir.y, seg.start.z + s * dir.z};
  spaceMark(1);
  return 1;
}

int geoTriClipZSlab(const Tri3D& tri, double h, double depth, Tri3D* out1, Tri3D* out2) {
  if (out1 == nullptr || out2 == nullptr) return geoFail(kGeoBadArgument, "space_geo");
  Tri3D t{};
  geoTriSortZ(tri, &t);
  const Point3D &v0 = t.v[0], &v1 = t.v[1], &v2 = t.v[2];
  if (!(v0.z >= v1.z && v1.z >= v2.z)) return geoFail(kGeoFailed, "space_geo");
  if (v2.z > h || v0.z < h - depth) return 0;
  if (v0.z <= h + 0.0001) {
    *out1 = t;
    return 1;
  }
  if (h < v1.z) {
    *out1 = v2.z == h ? Tri3D{{v2, v2, v2}} : Tri3D{{slabCut(v0, v2, h), slabCut(v1, v2, h), v2}};
    return 1;
  }
  if (h == v1.z) {
    *out1 = v2.z == h ? Tri3D{{v1, v1, v2}} : Tri3D{{slabCut(v0, v2, h), v1, v2}};
    return 1;
  }
  if (h > v1.z) {
    const Point3D p = slabCut(v0, v2, h), q = slabCut(v0, v1, h);
    if (vecDistance(p, v1) < vecDistance(q, v2)) {
      *out1 = Tri3D{{p, q, v1}};
      *out2 = Tri3D{{p, v1, v2}};
    } else {
      *out1 = Tri3D{{p, q, v2}};
      *out2 = Tri3D{{q, v1, v2}};
    }
    return 2;
  }
  return geoFail(kGeoFailed, "space_geo");
}
