// Independent geometry for the offset and repair tests: an element's sweep and distance, a
// contour's distance, samples and sampled polygon, crossings of polylines by exact orientation
// tests, and the checks every offset loop must pass. Nothing here calls the engine's geometry.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "contour_fixtures.h"
#include "pocket/contour_element.h"

namespace pocktest {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The signed sweep of an arc from its start to its end in its direction, in (0, 2 pi] for a
// counter-clockwise arc and [-2 pi, 0) for a clockwise one; 0 for a line.
inline double sweepOf(const ContourElement& e) {
  if (e.type != kContArc) return 0.0;
  const double a0 = std::atan2(e.p3 - e.p1, e.p2 - e.p0);
  const double a1 = std::atan2(e.p5 - e.p1, e.p4 - e.p0);
  double s = a1 - a0;
  if (e.dir > 0) {
    while (s <= 0) s += kTwoPi;
    while (s > kTwoPi) s -= kTwoPi;
  } else {
    while (s >= 0) s -= kTwoPi;
    while (s < -kTwoPi) s += kTwoPi;
  }
  return s;
}

inline double segDist(const Point2D& p, const Point2D& a, const Point2D& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Distance from p to the element (an arc by its centre, radius and sweep).
inline double elemDist(const Point2D& p, const ContourElement& e) {
  if (e.type == kContLine) return segDist(p, {e.p0, e.p1}, {e.p2, e.p3});
  const double sweep = sweepOf(e);
  const double a0 = std::atan2(e.p3 - e.p1, e.p2 - e.p0);
  double rel = std::atan2(p.y - e.p1, p.x - e.p0) - a0;
  bool inside = false;
  if (sweep > 0) {
    while (rel < 0) rel += kTwoPi;
    while (rel >= kTwoPi) rel -= kTwoPi;
    inside = rel <= sweep;
  } else {
    while (rel > 0) rel -= kTwoPi;
    while (rel <= -kTwoPi) rel += kTwoPi;
    inside = rel >= sweep;
  }
  if (inside) return std::fabs(std::hypot(p.x - e.p0, p.y - e.p1) - e.radius);
  return std::min(std::hypot(p.x - e.p2, p.y - e.p3), std::hypot(p.x - e.p4, p.y - e.p5));
}

inline double contourDist(const Point2D& p, const ContourElement* c, int n) {
  double best = 1e300;
  for (int i = 0; i < n; ++i) best = std::min(best, elemDist(p, c[i]));
  return best;
}

// Samples of every element (at most `step` apart), each element's end left out.
inline std::vector<Point2D> contourSamples(const ContourElement* c, int n, double step = 0.3) {
  std::vector<Point2D> v;
  for (int i = 0; i < n; ++i) {
    const auto s = sampleElement(c[i], sweepOf(c[i]), step);
    v.insert(v.end(), s.begin(), s.end() - 1);
  }
  return v;
}

// The polygon of the contour: a line as its start, an arc by its samples.
inline std::vector<Point2D> contourPolygon(const ContourElement* c, int n) {
  std::vector<Point2D> v;
  for (int i = 0; i < n; ++i) {
    if (c[i].type == kContLine) {
      v.push_back({c[i].p0, c[i].p1});
      continue;
    }
    const auto s = sampleElement(c[i], sweepOf(c[i]), 0.3);
    v.insert(v.end(), s.begin(), s.end() - 1);
  }
  return v;
}

// 1 when the closed polygon has two non-neighbouring edges that cross or touch. Edges are taken
// in the order of their smallest x, and only edges whose x ranges meet are compared.
inline bool polygonSelfCrosses(const std::vector<Point2D>& poly) {
  const size_t m = poly.size();
  std::vector<size_t> order(m);
  for (size_t i = 0; i < m; ++i) order[i] = i;
  auto lo = [&](size_t i) { return std::min(poly[i].x, poly[(i + 1) % m].x); };
  auto hi = [&](size_t i) { return std::max(poly[i].x, poly[(i + 1) % m].x); };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lo(a) < lo(b); });
  for (size_t u = 0; u < m; ++u) {
    const size_t i = order[u];
    for (size_t v = u + 1; v < m && lo(order[v]) <= hi(i); ++v) {
      const size_t j = order[v];
      const size_t a = std::min(i, j), b = std::max(i, j);
      if (b == a + 1 || (a == 0 && b == m - 1)) continue;
      if (segmentsMeet(poly[a], poly[(a + 1) % m], poly[b], poly[(b + 1) % m])) return true;
    }
  }
  return false;
}

// The checks of one offset loop of the source at distance d: closed and chained within chainTol,
// free of self-crossings, every sample within tol of the distance d from the source.
inline ::testing::AssertionResult loopIsOffset(const ContourElement* loop, int m,
                                               const ContourElement* src, int n, double d,
                                               double tol, double chainTol = 1e-4,
                                               double* worstOut = nullptr) {
  if (m <= 0) return ::testing::AssertionFailure() << "empty loop";
  for (int i = 0; i < m; ++i) {
    const ContourElement& a = loop[i];
    const ContourElement& b = loop[(i + 1) % m];
    const Point2D ae = a.type == kContLine ? Point2D{a.p2, a.p3} : Point2D{a.p4, a.p5};
    const Point2D bs = b.type == kContLine ? Point2D{b.p0, b.p1} : Point2D{b.p2, b.p3};
    const double gap = std::hypot(ae.x - bs.x, ae.y - bs.y);
    if (gap > chainTol) return ::testing::AssertionFailure() << "gap " << gap << " after " << i;
  }
  if (polygonSelfCrosses(contourPolygon(loop, m))) {
    return ::testing::AssertionFailure() << "the loop crosses itself";
  }
  double worst = 0.0;
  for (const Point2D& p : contourSamples(loop, m)) {
    worst = std::max(worst, std::fabs(contourDist(p, src, n) - d));
  }
  if (worstOut != nullptr) *worstOut = worst;
  if (worst > tol) return ::testing::AssertionFailure() << "sample off the distance by " << worst;
  return ::testing::AssertionSuccess();
}

// Exact signed area of a closed contour of lines and arcs.
inline double contourArea(const ContourElement* c, int n) {
  double a = 0.0;
  for (int i = 0; i < n; ++i) a += elementArea(c[i], sweepOf(c[i]));
  return a;
}

// A closed polygon of lines through the points.
inline std::vector<ContourElement> polygon(const std::vector<Point2D>& p, int tag = 0) {
  std::vector<ContourElement> v;
  for (size_t i = 0; i < p.size(); ++i) {
    const Point2D a = p[i], b = p[(i + 1) % p.size()];
    v.push_back(contMakeLine(a.x, a.y, b.x, b.y, tag));
  }
  return v;
}

}  // namespace pocktest
