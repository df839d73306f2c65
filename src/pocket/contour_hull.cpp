// contour_hull.cpp - gift-wrapping convex hull on the pseudo-angle of directions.
#include "pocket/contour_hull.h"

#include <cmath>
#include <utility>

namespace {
// Coordinates within this count as equal.
constexpr double kHullTol = 0.00001;
}  // namespace

double contPseudoAngle(const Point2D& a, const Point2D& b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  double t = 0.0;
  if (!(std::fabs(dx) < kHullTol && std::fabs(dy) < kHullTol))
    t = dy / (std::fabs(dx) + std::fabs(dy));
  if (dx < -kHullTol) return (2.0 - t) * 90.0;
  if (dy < -kHullTol) return (4.0 + t) * 90.0;
  return t * 90.0;
}

int contConvexHull(const Point2D* points, int n, Point2D* work) {
  if (points == nullptr || work == nullptr || n <= 0) return 0;
  int start = 0;
  for (int i = 0; i < n; ++i) {
    work[i] = points[i];
    const double dy = points[i].y - points[start].y;
    if (dy < -kHullTol || (std::fabs(dy) < kHullTol && points[i].x > points[start].x)) start = i;
  }
  work[n] = work[start];  // sentinel: the wrap is complete when it comes back to the start
  std::swap(work[0], work[start]);
  double last = 0.0;
  int h = 0;
  for (;;) {
    int chosen = -1;
    double best = 360.0;
    for (int j = h + 1; j <= n; ++j) {
      const double a = contPseudoAngle(work[j], work[h]);
      const bool notBelow = a > last || (a == last && last > 0.0);
      if (notBelow && a < best) {
        best = a;
        chosen = j;
      }
    }
    // A copy of the start point closes the hull like the sentinel, so the start is never listed
    // twice.
    if (chosen < 0 || chosen == n || (work[chosen].x == work[n].x && work[chosen].y == work[n].y)) {
      break;
    }
    ++h;
    std::swap(work[h], work[chosen]);
    last = best;
  }
  return h + 1;
}
