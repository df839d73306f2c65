// model_reduce.cpp - candidate triangles dropped outside the region or inside its islands.
#include "zlevel/model_reduce.h"

#include <algorithm>
#include <cmath>

#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "model/coll_candidates.h"

namespace {

constexpr const char* kModule = "Arczpath";

int reduceNothing() {
  geoErrSet(1, kModule, 0);
  return 1;
}

bool regionHasSegments(const Kont2D* region) {
  return region != nullptr && region->count > 0 && region->segments != nullptr;
}

// The contour is worth the test when its box exceeds 2R in x and in y.
bool contourWide(const Kont2D* k, double R) {
  return k->xmax - k->xmin > 2.0 * R && k->ymax - k->ymin > 2.0 * R;
}

// Removes from the candidate set every triangle whose box lies beyond the contour, then
// compacts. The set's order is kept.
void reduceByContour(CollCtx* ctx, const Kont2D* contour, double w, int inside) {
  const int n = collSetCount(ctx);
  bool removed = false;
  for (int i = 0; i < n; ++i) {
    Point3D lo{}, hi{};
    if (collSetItemBox(ctx, i, &lo, &hi) != 1) continue;
    const double box[4] = {lo.x, lo.y, hi.x, hi.y};
    if (arczBoxBeyondContour(box, w, contour, inside) == 1) {
      collSetRemove(ctx, i);
      removed = true;
    }
  }
  if (removed) collSetCompact(ctx);
}

void reduceIslands(CollCtx* ctx, const Kont2D* region, double R) {
  for (const Kont2D* k = region->child; k != nullptr; k = k->next) {
    if (contourWide(k, R)) reduceByContour(ctx, k, R + kReduceMargin, 1);
  }
}

}  // namespace

int arczBoxBeyondContour(const double box[4], double w, const Kont2D* contour, int inside) {
  if (contour == nullptr || contour->count <= 0 || contour->segments == nullptr) return 0;
  const double x0 = box[0] - w, y0 = box[1] - w, x1 = box[2] + w, y1 = box[3] + w;
  if (geoPointInKont(Point2D{x0, y0}, contour) != (inside != 0 ? 1 : 0)) return 0;
  for (int i = 0; i < contour->count; ++i) {
    const Seg2D& s = contour->segments[i];
    // Touching boxes meet.
    if (std::min(s.x1, s.x2) <= x1 && std::max(s.x1, s.x2) >= x0 && std::min(s.y1, s.y2) <= y1 &&
        std::max(s.y1, s.y2) >= y0) {
      return 0;
    }
  }
  return 1;
}

int arczReduceElements(CollCtx* ctx, const double* radius, const WalkParams* params) {
  if (ctx == nullptr || radius == nullptr || params == nullptr) return 1;
  if (params->mode == 0) return arczReduceByIndex(ctx, radius);
  const Kont2D* region = ctx->region;
  if (!regionHasSegments(region) || ctx->pairs == nullptr || ctx->pairs->count <= kReduceMinPairs)
    return reduceNothing();
  // The pairs are the set only without an index list.
  CollCtx pairs = *ctx;
  pairs.candidates = nullptr;
  const double R = *radius;
  if (contourWide(region, R)) reduceByContour(&pairs, region, R + kReduceMargin, 0);
  reduceIslands(&pairs, region, R);
  return 0;
}

int arczReduceByIndex(CollCtx* ctx, const double* radius) {
  if (ctx == nullptr || radius == nullptr) return 1;
  const Kont2D* region = ctx->region;
  const Tri3List* tris = ctx->triangles;
  if (!regionHasSegments(region) || tris == nullptr || ctx->candidates == nullptr)
    return reduceNothing();
  const double R = *radius;
  const double boxArea = (tris->xmax - tris->xmin) * (tris->ymax - tris->ymin);
  if (std::fabs(kontArea(region)) < boxArea) reduceByContour(ctx, region, R + kReduceMargin, 0);
  reduceIslands(ctx, region, R);
  return 0;
}

int arczReduceByBox(CollCtx* ctx, const double* radius, const WalkParams* params) {
  if (params != nullptr && params->mode > 0) return 1;
  if (ctx == nullptr || radius == nullptr) return 1;
  if (!regionHasSegments(ctx->region) || ctx->triangles == nullptr || ctx->candidates == nullptr)
    return reduceNothing();
  for (const Kont2D* region = ctx->region; region != nullptr; region = region->next)
    reduceIslands(ctx, region, *radius);
  return 0;
}
