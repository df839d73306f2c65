// Closed walks on an integer grid and their exact crossings, for the intersection tests: exact
// orientation tests on integers, crossing points in rational arithmetic rounded once, and passes
// through a shared vertex that cross when their directions alternate around it.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "offset_oracles.h"

namespace pocktest {

struct IPt {
  long long x, y;
  bool operator==(const IPt& o) const { return x == o.x && y == o.y; }
  bool operator<(const IPt& o) const { return x < o.x || (x == o.x && y < o.y); }
};

inline long long orient(const IPt& a, const IPt& b, const IPt& c) {
  const long long v = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  return (v > 0) - (v < 0);
}

// p lies on the segment ab, not at an end.
inline bool inInterior(const IPt& p, const IPt& a, const IPt& b) {
  if (orient(a, b, p) != 0 || p == a || p == b) return false;
  return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
         p.y <= std::max(a.y, b.y);
}

// The segments ab and cd share a stretch.
inline bool overlapping(const IPt& a, const IPt& b, const IPt& c, const IPt& d) {
  if (orient(a, b, c) != 0 || orient(a, b, d) != 0) return false;
  return inInterior(c, a, b) || inInterior(d, a, b) || inInterior(a, c, d) || inInterior(b, c, d) ||
         (a == c && b == d) || (a == d && b == c);
}

// The crossing of ab and cd when they cross properly (each separates the other's ends).
inline bool properCrossing(const IPt& a, const IPt& b, const IPt& c, const IPt& d, Point2D* out) {
  if (orient(a, b, c) * orient(a, b, d) >= 0 || orient(c, d, a) * orient(c, d, b) >= 0)
    return false;
  const long long den = (b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x);
  const long long num = (c.x - a.x) * (d.y - c.y) - (c.y - a.y) * (d.x - c.x);
  const double t = static_cast<double>(num) / static_cast<double>(den);
  *out = Point2D{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
  return true;
}

// Two passes through vertex v (one from inA to outA, the other from inB to outB) cross when the
// directions of the second lie on both sides of the sector of the first.
inline bool passesCross(const IPt& v, const IPt& inA, const IPt& outA, const IPt& inB,
                        const IPt& outB) {
  auto ang = [&](const IPt& q) {
    return std::atan2(static_cast<double>(q.y - v.y), static_cast<double>(q.x - v.x));
  };
  const double a1 = ang(inA), b1 = ang(outA);
  auto between = [&](double x) {
    double s = b1 - a1, t = x - a1;
    while (s < 0) s += 2 * std::numbers::pi;
    while (t < 0) t += 2 * std::numbers::pi;
    return t > 0 && t < s;
  };
  return between(ang(inB)) != between(ang(outB));
}

inline std::vector<ContourElement> chainOf(const std::vector<IPt>& p) {
  std::vector<Point2D> q;
  for (const IPt& v : p) q.push_back({double(v.x), double(v.y)});
  return polygon(q);
}

// The two point sets agree within 1e-9, counted with multiplicity.
inline bool samePoints(std::vector<Point2D> a, std::vector<Point2D> b) {
  auto less = [](const Point2D& u, const Point2D& v) {
    return u.x < v.x - 1e-9 || (std::fabs(u.x - v.x) <= 1e-9 && u.y < v.y - 1e-9);
  };
  std::sort(a.begin(), a.end(), less);
  std::sort(b.begin(), b.end(), less);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i].x - b[i].x) > 1e-9 || std::fabs(a[i].y - b[i].y) > 1e-9) return false;
  }
  return true;
}

}  // namespace pocktest
