// arc_shapes.h - plane shapes and distances of the arc-fit, rewrite and contour-reader tests,
// written apart from the product's geometry so that they can serve as its oracle.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/arc_fit.h"

namespace arctest {

struct P {
  double x, y;
};

inline double dist(P a, P b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Distance from p to the segment a-b.
inline double segDist(P p, P a, P b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return dist(p, P{a.x + t * dx, a.y + t * dy});
}

// Distance from p to the open polyline.
inline double polyDist(P p, const std::vector<P>& poly) {
  if (poly.size() == 1) return dist(p, poly[0]);
  double best = 1e300;
  for (std::size_t i = 0; i + 1 < poly.size(); ++i)
    best = std::min(best, segDist(p, poly[i], poly[i + 1]));
  return best;
}

// Directed distance of a from b, measured at a's vertices and edge midpoints, then symmetric.
inline double hausdorff(const std::vector<P>& a, const std::vector<P>& b) {
  auto directed = [](const std::vector<P>& u, const std::vector<P>& v) {
    double worst = 0;
    for (std::size_t i = 0; i < u.size(); ++i) {
      worst = std::max(worst, polyDist(u[i], v));
      if (i + 1 < u.size()) {
        worst =
            std::max(worst, polyDist(P{(u[i].x + u[i + 1].x) / 2, (u[i].y + u[i + 1].y) / 2}, v));
      }
    }
    return worst;
  };
  return std::max(directed(a, b), directed(b, a));
}

// n points from angle a0 over the signed sweep, both ends included.
inline std::vector<P> arcSamples(P c, double r, double a0, double sweep, int n) {
  std::vector<P> out;
  for (int i = 0; i < n; ++i) {
    const double a = a0 + sweep * i / (n - 1);
    out.push_back(P{c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return out;
}

inline std::vector<ArcPoint> toArcPoints(const std::vector<P>& pts) {
  std::vector<ArcPoint> out;
  for (const P& p : pts) out.push_back(ArcPoint{p.x, p.y, 0.0, kArcFresh, kArcNo, kArcNo});
  return out;
}

// Counter-clockwise angle from direction u to direction v, in [0, 2 pi).
inline double ccwAngle(P u, P v) {
  double a = std::atan2(u.x * v.y - u.y * v.x, u.x * v.x + u.y * v.y);
  if (a < 0) a += 2 * std::numbers::pi;
  return a;
}

// Distance from p to the arc from s to e around c (radius |s - c|) in the given sense.
inline double arcDist(P p, P s, P e, P c, bool clockwise) {
  const double r = dist(s, c);
  P us{s.x - c.x, s.y - c.y}, ue{e.x - c.x, e.y - c.y}, up{p.x - c.x, p.y - c.y};
  if (clockwise) {
    us.y = -us.y;
    ue.y = -ue.y;
    up.y = -up.y;
  }
  double sweep = ccwAngle(us, ue);
  if (sweep == 0.0) sweep = 2 * std::numbers::pi;
  if (ccwAngle(us, up) <= sweep) return std::fabs(dist(p, c) - r);
  return std::min(dist(p, s), dist(p, e));
}

// The elements that arcPtsNext walks in a marked list.
struct Elem {
  int kind;
  P start, end, centre;
  int endIndex;
};

inline std::vector<Elem> walk(const std::vector<ArcPoint>& list) {
  std::vector<Elem> out;
  const int n = static_cast<int>(list.size());
  double x = 0, y = 0, z = 0;
  if (arcPtsFirst(list.data(), n, &x, &y, &z) != 0) return out;
  P at{x, y};
  int kind = 0;
  double cx = 0, cy = 0;
  for (int i = 0; (i = arcPtsNext(i, list.data(), n, &kind, &x, &y, &z, &cx, &cy)) >= 0;) {
    out.push_back(Elem{kind, at, P{x, y}, P{cx, cy}, i});
    at = P{x, y};
  }
  return out;
}

// Distance from p to the walked path.
inline double pathDist(P p, const std::vector<Elem>& path) {
  double best = 1e300;
  for (const Elem& e : path) {
    const double d = e.kind == kArcElemLine
                         ? segDist(p, e.start, e.end)
                         : arcDist(p, e.start, e.end, e.centre, e.kind == kArcElemCw);
    best = std::min(best, d);
  }
  return best;
}

}  // namespace arctest
