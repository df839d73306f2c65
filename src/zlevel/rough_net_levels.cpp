// rough_net_levels.cpp - plane levels from the flat nodes of a drop net.
#include "zlevel/rough_net_levels.h"

#include "framework/global_params.h"
#include "geometry/geo_error.h"

int roughLevelsFromNet(ZLevelList* list, const DropNet* net, double offset) {
  if (list == nullptr || net == nullptr || net->height == nullptr || net->valid == nullptr ||
      net->slope == nullptr) {
    return geoFail(kGeoFailed, "rough_net_levels");
  }
  const double gap = parGlobalBlock()->minStepdown;
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      if (net->valid[r][c] == 0 || net->slope[r][c] != 0) continue;
      if (zlevInsert(list, net->height[r][c] + offset, gap, kZlevPlane) < 0) return -1;
    }
  }
  return 1;
}
