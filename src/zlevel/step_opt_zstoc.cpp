// step_opt_zstoc.cpp - descending comparators and per-triangle boxes for the older flat-level
// variants that build their own candidate context.
#include "zlevel/step_opt_zstoc.h"

#include <algorithm>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/lists.h"
#include "zlevel/step_opt_mark.h"

int stepOptCompareDesc(const void* a, const void* b) {
  return *static_cast<const double*>(a) > *static_cast<const double*>(b) ? -1 : 1;
}

int stepOptCompareTriZ(const void* a, const void* b) {
  return static_cast<const Tri3D*>(a)->v[0].z > static_cast<const Tri3D*>(b)->v[0].z ? -1 : 1;
}

int stepOptTriBoxes(CollCtx* ctx) {
  if (ctx == nullptr || ctx->triangles == nullptr) return geoFail(-1, kStepOptSource);
  const int n = ctx->triangles->count;
  const std::size_t bytes = static_cast<std::size_t>(std::max(n, 1)) * sizeof(Point3D);
  ctx->boxMax = static_cast<Point3D*>(memAllocZero(bytes));
  ctx->boxMin = ctx->boxMax != nullptr ? static_cast<Point3D*>(memAllocZero(bytes)) : nullptr;
  if (ctx->boxMin == nullptr) {
    stepOptTriBoxesFree(ctx);
    return geoFail(-1, kStepOptSource);
  }
  for (int i = 0; i < n; ++i) {
    const Tri3D& t = ctx->triangles->items[i];
    Point3D lo = t.v[0];
    Point3D hi = t.v[0];
    for (const Point3D& v : t.v) {
      lo = Point3D{std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = Point3D{std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    ctx->boxMin[i] = lo;
    ctx->boxMax[i] = hi;
  }
  return 1;
}

void stepOptTriBoxesFree(CollCtx* ctx) {
  if (ctx == nullptr) return;
  memFree(ctx->boxMax);
  memFree(ctx->boxMin);
  ctx->boxMax = nullptr;
  ctx->boxMin = nullptr;
}
