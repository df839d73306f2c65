// offset_regions.h - the outline families of offset_shapes.h as regions of the contour module:
// the first polygon the outer contour, the others its islands.
#pragma once

#include <vector>

#include "geometry/kont2d.h"
#include "kont_shapes.h"
#include "offset_shapes.h"

namespace offtest {

inline Kont2D* regionOf(const std::vector<Poly>& polys) {
  std::vector<Kont2D*> contours;
  for (const Poly& p : polys) {
    std::vector<Point2D> pts;
    for (const Pt& q : p) pts.push_back({q.x, q.y});
    contours.push_back(qdtest::kontFromPoints(pts));
  }
  Kont2D* outer = contours.front();
  qdtest::kontHangIslands(outer, std::vector<Kont2D*>(contours.begin() + 1, contours.end()));
  return outer;
}

}  // namespace offtest
