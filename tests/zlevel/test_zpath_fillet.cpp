// Corner rounding of Z paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_fillet.h"
#include "zpath_fixture.h"

using qdtest::ZPoint;
using qdtest::zpathOf;

namespace {

TEST(ZPathFillet, Probe) {
  ZPathList* list = zpathListNew(3);
  ZPath* p = zpathOf({{-10, -10, -2, -1}, {10, -10, -2, -1}, {10, 10, -2, -1}, {-10, 10, -2, -1}});
  p->materialInside = 0;
  zpathListAdd(list, p);
  const int r = zpathListFillet(list, nullptr, 2.0);
  std::printf("r %d err %d count %d\n", r, geoErrCode(), list->count);
  if (list->count) {
    ZPath& q = list->items[0];
    std::printf("n %d area %f\n", q.count, zpathArea(&q));
    for (int i = 0; i < q.count; ++i) std::printf(" %f %f %d\n", q.points[2*i], q.points[2*i+1], q.elementIds[i]);
  }
  zpathFree(p);
  zpathListFree(list);
}

}  // namespace
