// level_paths.h - tool-centre paths of one level built from point lists, and the nesting depth and
// material flag that the slicing gives them, for the level pocketing tests and benchmarks.
#pragma once

#include <vector>

#include "geometry/vec.h"
#include "zlevel/zpath.h"

namespace lptest {

// A closed tool-centre path through the points at z, every point without contact (id -1).
inline ZPath* pathFromPoints(const std::vector<Point2D>& p, double z, int depth, int material) {
  ZPath* zp = zpathNew(static_cast<int>(p.size()));
  for (const Point2D& q : p) {
    const float xy[2] = {static_cast<float>(q.x), static_cast<float>(q.y)};
    zpathAppendPoint(zp, xy, nullptr, -1, 0);
  }
  zp->z = z;
  zp->closed = 1;
  zp->nestingDepth = depth;
  zp->materialInside = material;
  zp->flags = 0;
  return zp;
}

// Sets each path's material flag from its contacts and its nesting depth to the number of other
// paths that contain its first point.
inline void markNesting(ZPathList* list) {
  for (int i = 0; i < list->count; ++i) {
    ZPath& p = list->items[i];
    p.materialInside = zpathContactInside(&p);
    p.nestingDepth = 0;
    for (int j = 0; j < list->count; ++j) {
      const Point2D first{p.points[0], p.points[1]};
      if (j != i && zpathContainsPoint(first, &list->items[j]) == 1) ++p.nestingDepth;
    }
  }
}

}  // namespace lptest
