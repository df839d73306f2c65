// seg_shapes.h - closed segment contours for the offset and crossing tests.
#pragma once

#include <vector>

#include "geometry/vec.h"

namespace qdtest {
// The closed contour through the points, the last segment back to the first point.
inline std::vector<Seg2D> polygon(const std::vector<Point2D>& p) {
  std::vector<Seg2D> s;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    s.push_back({a.x, a.y, b.x, b.y});
  }
  return s;
}
}  // namespace qdtest
