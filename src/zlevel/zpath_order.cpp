// zpath_order.cpp - nesting depths of the Z paths of a region.
#include "zlevel/zpath_order.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "geometry/vec.h"
#include "zlevel/zpath.h"

namespace {

// Paths of one level against each other: the indices sorted by z put every level in one window,
// so a path is compared only with the paths of its own level.
void zpathDepthsByLevel(ZPathList* list, std::vector<int>& order) {
  const int n = list->count;
  order.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  // A NaN height belongs to no level; such paths sort last so the order stays strict.
  std::stable_sort(order.begin(), order.end(), [list](int a, int b) {
    const double za = list->items[a].z, zb = list->items[b].z;
    return !std::isnan(za) && (std::isnan(zb) || za < zb);
  });
  for (int k = 0; k < n; ++k) {
    ZPath& path = list->items[order[static_cast<std::size_t>(k)]];
    path.nestingDepth = 0;
    if (path.count < 1 || path.points == nullptr) continue;
    const Point2D first{static_cast<double>(path.points[0]), static_cast<double>(path.points[1])};
    int depth = 0;
    for (int d = -1; d <= 1; d += 2) {
      for (int m = k + d; m >= 0 && m < n; m += d) {
        const ZPath& other = list->items[order[static_cast<std::size_t>(m)]];
        if (!(std::abs(other.z - path.z) < kZpathLevelTol)) {
          // The window ends at the first path out of tolerance; a NaN height ends it too.
          break;
        }
        if (zpathContainsPoint(first, &other) == 1) ++depth;
      }
    }
    path.nestingDepth = depth;
  }
}

// The plain pairwise count, used when the work array cannot be had.
void zpathDepthsAllPairs(ZPathList* list) {
  for (int i = 0; i < list->count; ++i) {
    ZPath& path = list->items[i];
    path.nestingDepth = 0;
    if (path.count < 1 || path.points == nullptr) continue;
    const Point2D first{static_cast<double>(path.points[0]), static_cast<double>(path.points[1])};
    for (int j = 0; j < list->count; ++j) {
      if (j == i || !(std::abs(list->items[j].z - path.z) < kZpathLevelTol)) continue;
      if (zpathContainsPoint(first, &list->items[j]) == 1) ++path.nestingDepth;
    }
  }
}

}  // namespace

int zpathListNestingDepths(ZPathList* list) {
  if (list == nullptr || list->count <= 0 || list->items == nullptr) return 1;
  try {
    std::vector<int> order;
    zpathDepthsByLevel(list, order);
  } catch (const std::bad_alloc&) {
    zpathDepthsAllPairs(list);
  }
  return 1;
}
