// drop_cutter.cpp - ball, flat end mill, torus and cone band dropped onto one triangle.
// Every test works on a local best height and keeps the contact of the test that set it; the
// record's best height is replaced only at the end, by the tie rule of the shape.
#include "model/drop_cutter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct DropState {
  int flatOnly = 0;
  TaperRing ring{};
};
DropState dropState;

constexpr double kNoHeight = -100000.0;
// Tolerances of the tests, fixed because the tie rules depend on them. A contact this close to the
// rim of a radius is out of reach, a facet normal this close to horizontal makes a vertical facet,
// and a barycentric coordinate may lie this far outside [0, 1] (0.9999999 and 1.0000001 below).
constexpr double kDropRimTol = 1e-7;
// An edge whose ends differ less than this in height counts as level for the ball and flat end
// mill.
constexpr double kDropLevelTol = 1e-6;
// Torus and cone band: level edges, degenerate lengths and denominators, and the band's rims.
constexpr double kDropSmall = 1e-5;
constexpr Point3D kDown{0.0, 0.0, -1.0};  // the tool axis, pointing down
constexpr Point3D kUp{0.0, 0.0, 1.0};

inline double rootClamped(double x) { return x > 0.0 ? std::sqrt(x) : 0.0; }

// Horizontal distance of q from the tool axis through p.
inline double planDistance(const Point3D& q, const Point3D& p) {
  const double dx = q.x - p.x, dy = q.y - p.y;
  return std::sqrt(dx * dx + dy * dy);
}

// The local best of one facet routine: height, contact and kind of the test that set it.
struct LocalBest {
  double height = kNoHeight;
  Point3D contact{};
  int kind = 0;
  bool found = false;

  // Takes a candidate only when strictly higher.
  void offer(double h, const Point3D& c, int k) {
    if (h > height) {
      height = h;
      contact = c;
      kind = k;
      found = true;
    }
  }
};

// The triangle's plane: unit normal n pointing down, offset d (n.X + d = 0 on the plane), the
// cosine of n with the tool axis and the facet class (0 vertical or degenerate, 1 inclined,
// 2 horizontal).
struct FacetPlane {
  Point3D n{};
  double cosine = 0.0;
  double d = 0.0;
  int cls = 0;
};

FacetPlane dropFacetPlane(const TriangleDropRecord& rec) {
  FacetPlane f;
  const Point3D e1 = vecSub(rec.v[1], rec.v[0]);
  const Point3D e2 = vecSub(rec.v[2], rec.v[0]);
  if (vecCrossUnit(e1, e2, &f.n) != 0) return f;  // degenerate: treated as vertical
  double c = vecDot(f.n, kDown);
  if (c < 0.0) {
    f.n = vecScale(-1.0, f.n);
    c = -c;
  }
  f.cosine = c;
  f.d = -vecDot(f.n, rec.v[0]);
  f.cls = c < kDropRimTol ? 0 : (c > 0.9999999 ? 2 : 1);
  return f;
}

// Barycentric coefficients (u along V1 - V0, v along V2 - V0) of a point of the plane.
void dropBarycentric(const TriangleDropRecord& rec, const Point3D& x, double* u, double* v) {
  const Point3D e1 = vecSub(rec.v[1], rec.v[0]);
  const Point3D e2 = vecSub(rec.v[2], rec.v[0]);
  const Point3D w = vecSub(x, rec.v[0]);
  const double g11 = vecDot(e1, e1), g12 = vecDot(e1, e2), g22 = vecDot(e2, e2);
  const double det = g11 * g22 - g12 * g12;
  const double p1 = vecDot(e1, w), p2 = vecDot(e2, w);
  *u = (g22 * p1 - g12 * p2) / det;
  *v = (g11 * p2 - g12 * p1) / det;
}

bool dropInsideExact(const TriangleDropRecord& rec, const Point3D& x) {
  double u = 0.0, v = 0.0;
  dropBarycentric(rec, x, &u, &v);
  return u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0 && u + v <= 1.0;
}

// True when the three corners have exactly the same height: only then is a horizontal facet
// flat to the bit, and its height the same everywhere under the tool.
bool dropExactlyLevel(const TriangleDropRecord& rec) {
  return rec.v[0].z == rec.v[1].z && rec.v[0].z == rec.v[2].z;
}

// Writes the local best into the record when it wins under the shape's tie rule (equal heights
// replace when orEqual). Returns the code for the caller: code when replaced, else 0.
int dropCommit(TriangleDropRecord* rec, const LocalBest& best, int code, bool orEqual) {
  if (!best.found) return 0;
  const bool wins = orEqual ? best.height >= rec->bestHeight : best.height > rec->bestHeight;
  if (!wins) return 0;
  rec->bestHeight = best.height;
  rec->contact = best.contact;
  rec->contactKind = best.kind;
  return code;
}

// ---- ball end mill ----------------------------------------------------------------------------

void dropBallEdge(const TriangleDropRecord& rec, const Point3D& a, const Point3D& b, double r,
                  LocalBest* best) {
  const Point3D e = vecSub(b, a);
  const double l = vecLength(e);
  Point3D np{};
  if (vecCrossUnit(kDown, e, &np) != 0) return;  // parallel to the axis
  const Point3D pa = vecSub(rec.axis, a);
  const double delta = std::fabs(vecDot(np, pa));
  if (delta > r - kDropRimTol) return;
  const double w = std::sqrt(r * r - delta * delta);  // radius of the ball's section
  Point3D m{};
  if (vecCrossUnit(np, kDown, &m) != 0) return;
  // Cosine and sine of the edge with the axis; the sine is taken from the edge's plan length,
  // not from 1 - cos^2, which loses all its digits on a nearly vertical edge and moves the
  // contact far along it.
  const double ce = vecDot(kDown, e) / l;
  const double se = std::hypot(e.x, e.y) / l;
  const double lambdaC = vecDot(m, pa) / vecDot(m, e);
  const double lambda = lambdaC - (ce / se) * (w / l);
  if (lambda < 0.0 || lambda > 1.0) return;
  const Point3D c = vecAdd(a, vecScale(lambda, e));
  best->offer(a.z + lambda * e.z + w * se, c, 1);
}

void dropBallVertex(const TriangleDropRecord& rec, const Point3D& v, double r, LocalBest* best) {
  const double rho = planDistance(v, rec.axis);
  if (rho > r - kDropRimTol) return;
  best->offer(v.z + std::sqrt(r * r - rho * rho), v, 1);
}

int dropBallByClass(const TriangleDropRecord& rec, const FacetPlane& f, LocalBest* best) {
  const double r = rec.radius;
  const Point3D& p = rec.axis;
  if (f.cls != 0) {
    const double t = -(vecDot(f.n, p) + f.d + r) / f.cosine;
    const Point3D x{p.x + r * f.n.x, p.y + r * f.n.y, p.z + r * f.n.z - t};
    if (dropInsideExact(rec, x)) {
      best->offer(p.z - t, x, 1);
      return 2;
    }
  }
  dropBallEdge(rec, rec.v[0], rec.v[1], r, best);
  dropBallEdge(rec, rec.v[0], rec.v[2], r, best);
  dropBallEdge(rec, rec.v[1], rec.v[2], r, best);
  for (const Point3D& v : rec.v) dropBallVertex(rec, v, r, best);
  return best->found ? 1 : 0;
}

// ---- flat end mill ----------------------------------------------------------------------------

void dropFlatEdge(const TriangleDropRecord& rec, const Point3D& a, const Point3D& b, double r,
                  LocalBest* best) {
  const Point3D e = vecSub(b, a);
  Point3D np{};
  if (vecCrossUnit(kDown, e, &np) != 0) return;
  const Point3D& p = rec.axis;
  const double h = vecDot(np, vecSub(p, a));
  if (std::fabs(h) > r - kDropRimTol) return;
  const double ea = vecDot(kDown, e);  // positive when the edge descends from a to b
  Point3D m{};
  if (vecCrossUnit(np, kDown, &m) != 0) return;
  // Plan foot of the axis on the edge's line, in edge parameters.
  const double lambdaC = ((p.x - a.x) * e.x + (p.y - a.y) * e.y) / (e.x * e.x + e.y * e.y);
  const double q = std::sqrt(r * r - h * h) / std::fabs(vecDot(m, e));
  if (ea != 0.0) {
    // The crossing of the disc's rim on the high side of the edge. An edge within 1e-6 of level
    // counts as level (kind 2) but still rests the tool on its high side: taking its first
    // end's height would leave the tool up to 1e-6 low.
    const int kind = std::fabs(ea) >= kDropLevelTol ? 1 : 2;
    const double lambda = ea > 0.0 ? lambdaC - q : lambdaC + q;
    if (lambda >= 0.0 && lambda <= 1.0) {
      const Point3D c = vecAdd(a, vecScale(lambda, e));
      best->offer(c.z, c, kind);
    } else if (ea > 0.0 && lambda < 0.0) {
      if (planDistance(a, p) < r) best->offer(a.z, a, kind);
    } else if (ea < 0.0 && lambda > 1.0) {
      if (planDistance(b, p) < r) best->offer(b.z, b, kind);
    }
    return;
  }
  if (lambdaC - q > 1.0 || lambdaC + q < 0.0) return;  // the chord misses the segment
  Point2D nearest{};
  g2dPointSegNearest(Point2D{p.x, p.y}, Seg2D{a.x, a.y, b.x, b.y}, &nearest);
  best->offer(a.z, Point3D{nearest.x, nearest.y, a.z}, 2);
}

// The rim point of the flat bottom on the uphill side of an inclined plane, at the plane's
// height: X = P + (R / s) n + t a, s the horizontal length of the unit normal.
Point3D dropFlatRimPoint(const Point3D& p, const FacetPlane& f, double r, double sine) {
  const double t = -(vecDot(f.n, p) + f.d) / f.cosine - r / (sine * f.cosine);
  const double g = r / sine;
  return Point3D{p.x + g * f.n.x, p.y + g * f.n.y, p.z + g * f.n.z - t};
}

// The point of the plane at plan distance reach from the axis on the uphill side, for a plane
// within the horizontal tolerance. Taken in plan and then lifted onto the plane, because the
// form above cancels two terms of size reach / s when s is tiny.
Point3D dropUphillPoint(const Point3D& p, const FacetPlane& f, double reach) {
  const double sine = std::hypot(f.n.x, f.n.y);
  const double g = sine > 0.0 ? reach / sine : 0.0;
  const double x = p.x + g * f.n.x, y = p.y + g * f.n.y;
  return Point3D{x, y, (f.n.x * x + f.n.y * y + f.d) / f.cosine};
}

int dropFlatByClass(const TriangleDropRecord& rec, const FacetPlane& f, LocalBest* best) {
  const double r = rec.radius;
  const Point3D& p = rec.axis;
  if (f.cls != 0) {
    Point3D x{};
    if (f.cls == 2 && dropExactlyLevel(rec)) {
      // The mean of three equal heights is that height; summing them can round it an ulp low.
      x = Point3D{p.x, p.y, rec.v[0].z};
    } else if (f.cls == 2) {
      // A facet within the horizontal tolerance but not level: its rim point still lies uphill.
      x = dropUphillPoint(p, f, r);
    } else {
      x = dropFlatRimPoint(p, f, r, std::sqrt(1.0 - f.cosine * f.cosine));
    }
    double u = 0.0, v = 0.0;
    dropBarycentric(rec, x, &u, &v);
    if (u >= 0.0 && u <= 1.0 && v >= -kDropRimTol && v <= 1.0000001 && u + v <= 1.0000001) {
      best->offer(x.z, x, 1);
      return 2;
    }
  }
  dropFlatEdge(rec, rec.v[0], rec.v[1], r, best);
  dropFlatEdge(rec, rec.v[1], rec.v[2], r, best);
  dropFlatEdge(rec, rec.v[2], rec.v[0], r, best);
  return best->found ? 1 : 0;
}

// ---- torus ------------------------------------------------------------------------------------

// Offset x along an inclined edge's plan, from the foot of the common perpendicular of the edge
// and the axis, at which the torus (tube radius c, tube centres at radius rf) standing at
// lateral distance delta has the edge's slope k: the maximum of k x - depth(x) over the outer
// half of the tube, where that function is concave. Solved to full precision by Newton steps
// kept inside a shrinking bracket, so the resting height is exact rather than a bisection step
// low; the bracket always exists for a tube the line passes through.
double dropTorusEdgeOffset(double c, double rf, double delta, double k) {
  const double d2 = delta * delta;
  double lo = std::sqrt(std::max(0.0, rf * rf - d2));              // tube bottom circle (or 0)
  double hi = std::sqrt(std::max(0.0, (rf + c) * (rf + c) - d2));  // outer rim
  if (!(hi > lo)) return lo;
  // Start from the exact answer of a line through the axis.
  const double sinPhi = k / std::sqrt(1.0 + k * k);
  const double rhoStart = rf + c * sinPhi;
  double x = std::sqrt(std::max(0.0, rhoStart * rhoStart - d2));
  if (!(x > lo && x < hi)) x = 0.5 * (lo + hi);
  for (int iter = 0; iter < 200; ++iter) {
    const double rho = std::sqrt(d2 + x * x);
    const double u = rho - rf;
    const double w2 = c * c - u * u;
    if (!(w2 > 0.0)) {  // at or beyond the outer rim: the slope there is unbounded
      hi = x;
      x = 0.5 * (lo + hi);
    } else {
      const double w = std::sqrt(w2);
      const double f = (u / w) * (x / rho) - k;
      if (f == 0.0) return x;
      if (f < 0.0) {
        lo = x;
      } else {
        hi = x;
      }
      const double fPrime =
          c * c / (w2 * w) * (x / rho) * (x / rho) + (u / w) * d2 / (rho * rho * rho);
      double next = fPrime > 0.0 ? x - f / fPrime : 0.5 * (lo + hi);
      if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
      const double step = std::fabs(next - x);
      x = next;
      if (step <= 4e-16 * std::max(1.0, x)) return x;
    }
    if (hi - lo <= 4e-16 * std::max(1.0, hi)) return x;
  }
  return x;
}

void dropTorusVertex(const TriangleDropRecord& rec, const Point3D& v, LocalBest* best) {
  const double rf = rec.flatRadius, c = rec.cornerRadius;
  const double rho = planDistance(v, rec.axis);
  if (rho > rf + c - kDropRimTol) return;
  if (rho <= rf) {
    best->offer(v.z + c, v, 2);
  } else {
    const double u = rho - rf;
    best->offer(v.z + rootClamped(c * c - u * u), v, 1);
  }
}

void dropTorusEdge(const TriangleDropRecord& rec, const Point3D& a, const Point3D& b,
                   LocalBest* best) {
  const double rf = rec.flatRadius, c = rec.cornerRadius;
  const Point3D e = vecSub(b, a);
  Point3D np{};
  if (vecCrossUnit(kDown, e, &np) != 0) return;
  const Point3D& p = rec.axis;
  const double delta = std::fabs(vecDot(np, vecSub(p, a)));
  if (delta > rf + c - kDropRimTol) return;
  const double ea = vecDot(kDown, e);
  const double lengthE = vecLength(e);
  const double lambdaC = ((p.x - a.x) * e.x + (p.y - a.y) * e.y) / (e.x * e.x + e.y * e.y);
  if (ea == 0.0) {
    // Level edge: under the corner when delta >= R', else under the flat bottom.
    if (delta >= rf) {
      if (lambdaC > 1.0 || lambdaC < 0.0) return;
      const double u = delta - rf;
      best->offer(a.z + rootClamped(c * c - u * u), vecAdd(a, vecScale(lambdaC, e)), 2);
    } else {
      const double q = std::sqrt(rf * rf - delta * delta) / lengthE;
      if (lambdaC - q > 1.0 || lambdaC + q < 0.0) return;
      best->offer(a.z + c, Point3D{p.x, p.y, a.z}, 2);
    }
    return;
  }
  // An edge within 1e-5 of level counts as level (kind 2) but rests the tool where it is high:
  // taking its first end's height would leave the tool up to 1e-5 low.
  const int kind = std::fabs(ea) < kDropSmall ? 2 : 1;
  const double cPhi = ea / lengthE;
  const double sPhi = std::hypot(e.x, e.y) / lengthE;  // from the plan length, as for the ball
  const double k = std::fabs(cPhi) / sPhi;
  double lambda = 0.0;
  double height = 0.0;
  if (delta >= kDropSmall) {
    const double x = dropTorusEdgeOffset(c, rf, delta, k);
    const double depth = vecTorusHeight(x, c, rf, delta);
    const double shift = x / (lengthE * sPhi);
    lambda = cPhi > 0.0 ? lambdaC - shift : lambdaC + shift;
    if (lambda < 0.0 || lambda > 1.0) return;
    height = a.z + lambda * e.z - depth;
  } else {
    const double shift = (rf / sPhi + k * c) / lengthE;
    lambda = cPhi > 0.0 ? lambdaC - shift : lambdaC + shift;
    if (lambda < 0.0 || lambda > 1.0) return;
    height = a.z + lambda * e.z + c * sPhi;
  }
  best->offer(height, vecAdd(a, vecScale(lambda, e)), kind);
}

// The touching point of the torus on an inclined plane and the height of its tube centres.
// sine is the horizontal length of the unit normal.
void dropTorusOnPlane(const Point3D& p, const FacetPlane& f, double rf, double c, double sine,
                      Point3D* x, double* height) {
  const double t = -(vecDot(f.n, p) + f.d) / f.cosine - c / f.cosine - rf / (sine * f.cosine);
  const double g = rf / sine;
  const Point3D centre{p.x + g * f.n.x, p.y + g * f.n.y, p.z + g * f.n.z - t};
  *x = vecAdd(centre, vecScale(c, f.n));
  *height = centre.z;
}

int dropTorusByClass(const TriangleDropRecord& rec, const FacetPlane& f, LocalBest* best) {
  const double rf = rec.flatRadius, c = rec.cornerRadius;
  const Point3D& p = rec.axis;
  if (f.cls != 0) {
    Point3D x{};
    double height = 0.0;
    if (f.cls == 2 && dropExactlyLevel(rec)) {
      // The plane's height on the axis is the corners' height; going through the axis point's
      // reference height would round it by that height's ulp, possibly low.
      height = rec.v[0].z + c;
      x = Point3D{p.x, p.y, rec.v[0].z};
    } else if (f.cls == 2) {
      // Within the horizontal tolerance but not level: the corner touches uphill, c n beyond
      // its tube centre, which stands R' from the axis.
      x = dropUphillPoint(p, f, rf + c * std::hypot(f.n.x, f.n.y));
      height = x.z + c * f.cosine;
    } else {
      dropTorusOnPlane(p, f, rf, c, std::sqrt(1.0 - f.cosine * f.cosine), &x, &height);
    }
    if (dropInsideExact(rec, x)) {
      best->offer(height, x, 1);
      return 2;
    }
  }
  dropTorusEdge(rec, rec.v[0], rec.v[1], best);
  dropTorusEdge(rec, rec.v[0], rec.v[2], best);
  dropTorusEdge(rec, rec.v[1], rec.v[2], best);
  for (const Point3D& v : rec.v) dropTorusVertex(rec, v, best);
  return best->found ? 1 : 0;
}

// ---- cone band --------------------------------------------------------------------------------

struct ConeBand {
  double r1, r2, h1, h2, k;
  double lift(double rho) const { return h1 + k * (rho - r1); }  // band height above the tip
};

// Tip height at which the band's cone touches the edge's line, when the tangent point lies on
// the segment and within the band. Returns false when there is no such contact.
bool dropConeEdge(const TriangleDropRecord& rec, const ConeBand& band, const Point3D& a,
                  const Point3D& b, double* tip, Point3D* contact) {
  const Point3D e = vecSub(b, a);
  const double lengthE = vecLength(e);
  if (lengthE < kDropSmall) return false;
  const Point3D pb{rec.axis.x, rec.axis.y, band.h1};
  Point3D n{};
  if (vecCrossUnit(kUp, vecScale(1.0 / lengthE, e), &n) != 0) return false;
  double hd = vecDot(n, vecSub(a, pb));
  if (hd < 0.0) {
    hd = -hd;
    n = vecScale(-1.0, n);
  }
  // A line farther than r2 misses the band. A line nearer than r1 may still touch it: the
  // tangent point lies farther out than the line's distance, so the band's bounds are applied
  // to the tangent point below.
  if (hd > band.r2 - kDropSmall) return false;
  Point3D m{};
  if (vecCrossUnit(kUp, n, &m) != 0) return false;
  const double em = vecDot(m, e), ez = e.z, sA = vecDot(m, vecSub(a, pb));
  const double q = band.k * hd;
  const double disc = em * em * q * q - ez * ez * hd * hd;
  if (disc < 0.0) return false;  // the edge is steeper than the cone
  const double root = std::sqrt(disc);
  const double t = std::max((sA * ez + root) / em, (sA * ez - root) / em);
  const double den = em * t - sA * ez;
  if (std::fabs(den) < kDropSmall) return false;
  const double s = ez * hd * hd / den;  // plan offset of the tangent point along m
  const Point3D c =
      vecAdd(vecAdd(pb, vecScale(hd, n)),
             vecAdd(vecScale(s, m), vecScale(em * q * q / den + (a.z - band.h1) - t, kUp)));
  if (vecDistance(c, a) > lengthE || vecDistance(c, b) > lengthE) return false;
  // Only the band between r1 and r2 is part of the tool: beyond r2 the top disc takes over,
  // inside r1 the cutter itself.
  const double rho = std::sqrt(hd * hd + s * s);
  if (rho < band.r1 + kDropSmall || rho > band.r2) return false;
  *tip = band.k * band.r1 + (a.z - band.h1) - t;
  *contact = c;
  return true;
}

}  // namespace

int dropBallTriangle(TriangleDropRecord* rec) {
  const FacetPlane f = dropFacetPlane(*rec);
  LocalBest best;
  const int code = dropBallByClass(*rec, f, &best);
  return dropCommit(rec, best, code, false);
}

int dropFlatTriangle(TriangleDropRecord* rec) {
  const FacetPlane f = dropFacetPlane(*rec);
  LocalBest best;
  const int code = dropFlatByClass(*rec, f, &best);
  return dropCommit(rec, best, code, true);
}

int dropTorusTriangle(TriangleDropRecord* rec) {
  const FacetPlane f = dropFacetPlane(*rec);
  LocalBest best;
  const int code = dropTorusByClass(*rec, f, &best);
  return dropCommit(rec, best, code, true);
}

int dropConeTriangle(TriangleDropRecord* rec, double r1, double r2, double h1, double h2) {
  rec->contactKind = 0;
  if (r2 - kDropSmall < r1 || h2 + kDropSmall < h1) return 0;
  const ConeBand band{r1, r2, h1, h2, (h2 - h1) / (r2 - r1)};
  const double entryBest = rec->bestHeight;
  int result = 0;
  auto offer = [&](double tip, const Point3D& c) {
    if (tip > rec->bestHeight) {
      rec->bestHeight = tip;
      rec->contact = c;
      rec->contactKind = 1;
      result = 1;
    }
  };
  for (const Point3D& v : rec->v) {
    const double rho = planDistance(v, rec->axis);
    if (rho >= r1 + kDropSmall && rho <= r2 - kDropSmall) offer(v.z - band.lift(rho), v);
  }
  const int edges[3][2] = {{0, 1}, {1, 2}, {2, 0}};
  for (const auto& ed : edges) {
    double tip = 0.0;
    Point3D c{};
    if (dropConeEdge(*rec, band, rec->v[ed[0]], rec->v[ed[1]], &tip, &c)) offer(tip, c);
  }
  const double top = std::max({rec->v[0].z, rec->v[1].z, rec->v[2].z});
  if (top - rec->bestHeight >= h2) {
    TriangleDropRecord disc = *rec;
    disc.bestHeight = entryBest;
    disc.radius = r2;
    disc.flatRadius = r2;
    disc.cornerRadius = 0.0;
    if (dropFlatTriangle(&disc) != 0) offer(disc.bestHeight - h2, disc.contact);
  }
  return result;
}

int dropToolOnTri(const Tri3D& tri, const Point3D& axis, const CutterShape& cutter,
                  double* bestHeight, Point3D* contact, int* contactKind) {
  if (dropState.flatOnly != 0 && (std::fabs(tri.v[1].z - tri.v[0].z) >= 0.001 ||
                                  std::fabs(tri.v[2].z - tri.v[0].z) >= 0.001)) {
    return 0;
  }
  TriangleDropRecord rec;
  rec.v[0] = tri.v[0];
  rec.v[1] = tri.v[1];
  rec.v[2] = tri.v[2];
  rec.axis = axis;
  rec.bestHeight = *bestHeight;
  rec.contact = Point3D{};
  rec.contactKind = 0;
  rec.cornerRadius = cutter.type == kCutterTorus  ? cutter.cornerRadius
                     : cutter.type == kCutterBall ? cutter.radius
                                                  : 0.0;
  rec.radius = cutter.type == kCutterTorus ? cutter.radius - cutter.cornerRadius : cutter.radius;
  rec.flatRadius = rec.radius;
  int result = 0;
  switch (cutter.type) {
    case kCutterBall:
      result = dropBallTriangle(&rec);
      rec.contactKind = 1;
      break;
    case kCutterFlat: result = dropFlatTriangle(&rec); break;
    case kCutterTorus: result = dropTorusTriangle(&rec); break;
    case kCutterConeBand:
      result = dropConeTriangle(&rec, cutter.radius, cutter.shankDiameter / 2.0, cutter.taperLength,
                                cutter.taperLength + cutter.bandLength);
      break;
    default: return 0;
  }
  if (result != 0) {
    *bestHeight = rec.bestHeight;
    *contact = rec.contact;
    *contactKind = rec.contactKind;
  }
  return result;
}

int dropToolOnQuad(const QuadFacet& quad, const Point3D& axis, const CutterShape& cutter,
                   double* bestHeight, Point3D* contact, int* contactKind) {
  const int saved = dropState.flatOnly;
  dropState.flatOnly = 0;
  const Point3D c0 = modelQuadCorner(quad, 0), c2 = modelQuadCorner(quad, 2);
  const Tri3D halves[2] = {Tri3D{{c0, modelQuadCorner(quad, 1), c2}},
                           Tri3D{{c0, c2, modelQuadCorner(quad, 3)}}};
  int result = 0;
  for (const Tri3D& tri : halves) {
    const int r = dropToolOnTri(tri, axis, cutter, bestHeight, contact, contactKind);
    if (r == 0) continue;
    if (cutter.type == kCutterTorus &&
        std::fabs(*bestHeight - contact->z - cutter.cornerRadius) < kDropSmall) {
      contact->x = axis.x;  // resting flat: the contact is reported under the axis
      contact->y = axis.y;
    }
    result = (r == 2 || result == 2) ? 2 : 1;
  }
  dropState.flatOnly = saved;
  return result;
}

void dropDeriveTaperRing(const CutterShape& cutter) { dropState.ring = cutterTaperRing(cutter); }

const TaperRing* dropGetTaperRing() { return &dropState.ring; }

void dropSetFlatOnly(int on) { dropState.flatOnly = on; }

void dropResetState() { dropState = DropState{}; }
