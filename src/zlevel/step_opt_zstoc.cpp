// step_opt_zstoc.cpp - descending comparators and per-triangle boxes for the older flat-level
// variants, and those variants: the exact finder over flat faces or over given heights with
// per-level copies, radius retries and a file-size test; the driver of the variant over given
// heights, which builds its candidate context, tool and slice lists from a roughing region.
#include "zlevel/step_opt_zstoc.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/dbl_list_ops.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "model/coll_candidates.h"
#include "model/surface_model.h"
#include "zlevel/level_slice.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_mark.h"
#include "zlevel/zlevel_list.h"
#include "zlevel/zpath.h"

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

// ---- the older finders --------------------------------------------------------------------------

namespace {

struct ZstocOwned {
  Kont2D* rect = nullptr;
  Kont2D* region = nullptr;
  ZPathList* paths = zpathListNew(10);
  ZPath* work = zpathNew(100);
  ~ZstocOwned() {
    kontFree(rect);
    kontFree(region);
    zpathListFree(paths);
    zpathFree(work);
  }
};

struct ZstocBox {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  void add(const Point3D& lo, const Point3D& hi) {
    x0 = std::min(x0, lo.x);
    y0 = std::min(y0, lo.y);
    x1 = std::max(x1, hi.x);
    y1 = std::max(y1, hi.y);
  }
  ZstocBox grown(double d) const { return ZstocBox{x0 - d, y0 - d, x1 + d, y1 + d}; }
};

ZstocBox windowBox(const CollCtx* ctx) {
  ZstocBox b;
  const int n = collSetCount(ctx);
  for (int k = 0; k < n; ++k) {
    Point3D lo{};
    Point3D hi{};
    if (collSetItemBox(ctx, k, &lo, &hi) == 1) b.add(lo, hi);
  }
  return b;
}

// One level of the older finders: fresh copies of tool and walk, a raster over the box, marking,
// slicing and writing with their retries. *keep becomes 0 when the height is to be dropped.
// Returns 1, or the call's failure code.
int zstocLevel(CollCtx* wctx, const WalkTool* tool, const WalkParams* walk, SliceContext* slice,
               double f, const ZstocBox& box, double cell, double walkZ, double z,
               const Kont2D* region, const char* planeFile, ZstocOwned* own, const char* logText,
               int* keep) {
  *keep = 1;
  WalkTool t = *tool;
  t.type = 2;
  t.radius = tool->radius * f;
  t.cornerRadius = 0.0;
  WalkParams w = *walk;
  w.tolerance = 0.01 * t.radius;
  w.direction = 1;
  w.noAllowance = 1;
  w.z = walkZ;
  w.triGrid = nullptr;
  w.wallGrid = nullptr;
  w.triBoxes = nullptr;
  w.wallBoxes = nullptr;
  if (!(cell > 0)) return geoFail(-20, kStepOptSource);
  FloatDropNet header{};
  header.x0 = box.x0;
  header.y0 = box.y0;
  const int rows = static_cast<int>((box.y1 - box.y0) / cell) + 1;
  const int cols = static_cast<int>((box.x1 - box.x0) / cell) + 1;
  std::unique_ptr<Raster, int (*)(Raster*)> raster(gridRasterNew(&header, rows, cols, cell, cell),
                                                   gridRasterFree);
  if (!raster) return geoFail(-1, kStepOptSource);
  SliceContext s = *slice;
  s.raster = raster.get();
  for (int k = 0;; ++k) {
    gridRasterClear(raster.get());
    if (stepOptMarkByGrid(wctx, &t, &w, &s) < 0 && stepOptMarkByTrees(wctx, &t, &w, &s) < 0) {
      stepOptMarkBrute(wctx, &t, &w, &s);
    }
    pkoListReset(s.traced);
    lstIntReset(s.pathStarts);
    const int r = arczLevelPaths(wctx, &t, &w, &s);
    if (r < 0) {
      if (k >= kStepOptMaxRetries) return geoFail(kStepOptOutlineFailed, kStepOptSource);
      geoErrLog(logText);
      t.radius *= 0.95;
      continue;
    }
    if (s.pathStarts == nullptr || s.pathStarts->count == 0) {
      *keep = 0;
      return 1;
    }
    const std::int64_t before = geoFileSize(planeFile);
    const int wr = stepOptWriteLevelBounds(&s, region, z, planeFile, own->paths, own->work);
    stepOptSetPlaneFileWritten(1);
    if (wr == kStepOptClipRetry) {
      if (k >= kStepOptMaxRetries) return geoFail(kStepOptOutlineFailed, kStepOptSource);
      geoErrLog(logText);
      w.tolerance *= 0.5;
      continue;
    }
    if (wr < 0) return geoFail(-1, kStepOptSource);
    if (geoFileSize(planeFile) <= before) *keep = 0;
    return 1;
  }
}

int insertRemaining(ZLevelList* levels, const std::vector<double>& heights, double c) {
  for (const double h : heights) {
    if (zlevInsertExact(levels, h + c, 0.0, kZlevPlane) < 0) return geoFail(-1, kStepOptSource);
  }
  return 1;
}

void snapLevels(ZLevelList* levels, std::vector<double>* heights, double c, double p) {
  std::erase_if(*heights, [&](double h) {
    for (int k = 0; k < levels->count; ++k) {
      if (std::fabs(h + c - levels->z[k]) < p) {
        levels->z[k] = h + c;
        return true;
      }
    }
    return false;
  });
}

}  // namespace

int zstoc3genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, ZLevelList* levels, const char* planeFile,
                          const DblList* wanted) {
  if (ctx == nullptr || tool == nullptr || walk == nullptr || slice == nullptr ||
      levels == nullptr || planeFile == nullptr) {
    return geoFail(-20, kStepOptSource);
  }
  const GlobalParams* gp = parGlobalBlock();
  const double p = gp->precision;
  const double f = stepOptAdjustFactor(factor);
  const double c = tool->cornerRadius;
  StepOptSwitchGuard switches;
  stepOptNoteOwnedFile(planeFile);
  ZstocOwned own;
  if (own.paths == nullptr || own.work == nullptr) return geoFail(-1, kStepOptSource);

  // Flat faces in candidate order (their candidate positions), heights grouped as the live finder.
  std::vector<int> faces;
  std::vector<double> faceZ;
  std::vector<double> heights;
  ZstocBox all;
  const int n = collSetCount(ctx);
  for (int i = 0; i < n; ++i) {
    const Tri3D* t = collSetItem(ctx, i);
    if (t == nullptr || stepOptIsPlaneTriangle(*t, kStepOptFlatNz) == 0) continue;
    faces.push_back(i);
    faceZ.push_back(t->v[0].z);
    for (const Point3D& v : t->v) all.add(v, v);
    if (heights.empty() || std::fabs(t->v[0].z - heights.back()) > p) heights.push_back(t->v[0].z);
  }
  if (faces.empty()) return 0;
  if (wanted != nullptr && wanted->count > 0) {
    std::erase_if(heights, [&](double h) { return lstDblFind(wanted, h, 0.0001) < 0; });
  }
  std::erase_if(heights, [&](double h) { return h + c < levels->zmin || h + c > levels->zmax; });
  snapLevels(levels, &heights, c, p);

  const bool listMode = walk->mode == 1;
  std::vector<std::int32_t> idx;
  std::vector<PtrValPair> pairs;
  for (const int i : faces) {
    if (listMode) {
      pairs.push_back(static_cast<const PtrValPair*>(ctx->pairs->items)[i]);
    } else {
      idx.push_back(ctx->candidates->items[i]);
    }
  }
  CollCtx wctx = *ctx;
  IntList windowIdx{};
  RecList windowPairs{};
  wctx.candidates = listMode ? nullptr : &windowIdx;
  wctx.pairs = listMode ? &windowPairs : nullptr;
  const double Rp = tool->radius * f;
  const ZstocBox rb = all.grown(3 * Rp);
  own.rect = kontNewRect(Point2D{rb.x0, rb.y0}, Point2D{rb.x1, rb.y1});
  if (own.rect == nullptr) return geoFail(-1, kStepOptSource);
  own.region = ctx->region != nullptr ? kontCopyViaText(ctx->region) : kontCopy(own.rect);
  if (own.region == nullptr) return geoFail(-1, kStepOptSource);
  wctx.region = own.rect;
  const double cell = tool->radius * gp->gridFactor * f;

  std::vector<double> kept;
  const int count = static_cast<int>(faces.size());
  int j = 0;
  for (const double h : heights) {
    if (j >= count) {
      kept.push_back(h);
      continue;
    }
    const double walkZ = h - p;
    int start = j;
    while (j < count && faceZ[static_cast<std::size_t>(j)] > walkZ) ++j;
    while (start < j && faceZ[static_cast<std::size_t>(start)] > walkZ + 1.5 * p) ++start;
    if (listMode) {
      windowPairs.items = pairs.data() + start;
      windowPairs.count = windowPairs.capacity = j - start;
    } else {
      windowIdx.items = idx.data() + start;
      windowIdx.count = windowIdx.capacity = j - start;
    }
    int keep = 1;
    const int r =
        zstocLevel(&wctx, tool, walk, slice, f, windowBox(&wctx).grown(3 * Rp), cell, walkZ, h + c,
                   own.region, planeFile, &own, "zstoc3genOptiStepBnds retry", &keep);
    if (r < 0) return r;
    if (keep == 1) kept.push_back(h);
  }
  return insertRemaining(levels, kept, c);
}

int zstoc4genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, ZLevelList* levels, const char* planeFile,
                          DblList* heights) {
  if (ctx == nullptr || tool == nullptr || walk == nullptr || slice == nullptr ||
      levels == nullptr || planeFile == nullptr || heights == nullptr) {
    return geoFail(-20, kStepOptSource);
  }
  const GlobalParams* gp = parGlobalBlock();
  const double p = gp->precision;
  const double f = stepOptAdjustFactor(factor);
  const double c = tool->cornerRadius;
  StepOptSwitchGuard switches;
  stepOptNoteOwnedFile(planeFile);
  ZstocOwned own;
  if (own.paths == nullptr || own.work == nullptr) return geoFail(-1, kStepOptSource);

  lstSort(heights->items, heights->count, sizeof(double), stepOptCompareDesc);
  for (int k = 1; k < heights->count;) {
    if (std::fabs(heights->items[k - 1] - heights->items[k]) < p) {
      lstDblRemove(heights, k);
    } else {
      ++k;
    }
  }
  std::vector<double> hs;
  for (int k = 0; k < heights->count; ++k) {
    const double h = heights->items[k];
    if (h + c >= levels->zmin && h + c <= levels->zmax - 0.001) hs.push_back(h);
  }
  if (hs.empty()) return 0;
  snapLevels(levels, &hs, c, p);
  if (ctx->region != nullptr) {
    own.region = kontCopyViaText(ctx->region);
    if (own.region == nullptr) return geoFail(-1, kStepOptSource);
    if (kontOrientation(own.region) != 1) kontReverse(own.region);
  }

  // The candidates in index order: a level's window holds those with vertex-0 height within
  // 0.5 p of it.
  const int n = collSetCount(ctx);
  const bool listMode = walk->mode == 1;
  const double Rp = tool->radius * f;
  const double cell = tool->radius * gp->gridFactor * f;
  std::vector<double> kept;
  for (const double h : hs) {
    std::vector<std::int32_t> idx;
    std::vector<PtrValPair> pairs;
    for (int i = 0; i < n; ++i) {
      const Tri3D* t = collSetItem(ctx, i);
      if (t == nullptr || t->v[0].z < h - 0.5 * p || t->v[0].z > h + 0.5 * p) continue;
      if (listMode) {
        pairs.push_back(static_cast<const PtrValPair*>(ctx->pairs->items)[i]);
      } else {
        idx.push_back(ctx->candidates->items[i]);
      }
    }
    CollCtx wctx = *ctx;
    IntList windowIdx{static_cast<std::int32_t>(idx.size()), static_cast<std::int32_t>(idx.size()),
                      0, 0, idx.data()};
    RecList windowPairs{static_cast<std::int32_t>(pairs.size()),
                        static_cast<std::int32_t>(pairs.size()), pairs.data()};
    wctx.candidates = listMode ? nullptr : &windowIdx;
    wctx.pairs = listMode ? &windowPairs : nullptr;
    if (collSetCount(&wctx) == 0) continue;  // no face at this height: nothing to outline
    const ZstocBox box = windowBox(&wctx).grown(3 * Rp);
    if (ctx->region != nullptr && (box.x1 < ctx->region->xmin || box.x0 > ctx->region->xmax ||
                                   box.y1 < ctx->region->ymin || box.y0 > ctx->region->ymax)) {
      continue;  // the level misses the region: its height is dropped
    }
    kontFree(own.rect);
    own.rect = kontNewRect(Point2D{box.x0, box.y0}, Point2D{box.x1, box.y1});
    if (own.rect == nullptr) return geoFail(-1, kStepOptSource);
    wctx.region = own.rect;
    int keep = 1;
    const int r = zstocLevel(&wctx, tool, walk, slice, f, box, cell, h - 0.5 * p, h + c,
                             own.region != nullptr ? own.region : own.rect, planeFile, &own,
                             "zstoc4genOptiStepBnds retry", &keep);
    if (r < 0) return r;
    if (keep == 1) kept.push_back(h);
  }
  return insertRemaining(levels, kept, c);
}

namespace {

// The driver's own records, freed on every return.
struct DriverOwned {
  CollCtx ctx{};
  PkoList* traced = pkoListNew(1000);
  PkoList* work = pkoListNew(100);
  IntList* starts = lstIntNew(10);
  DriverOwned() = default;
  DriverOwned(const DriverOwned&) = delete;
  DriverOwned& operator=(const DriverOwned&) = delete;
  ~DriverOwned() {
    stepOptTriBoxesFree(&ctx);
    collCtxFree(&ctx);
    pkoListFree(traced);
    pkoListFree(work);
    lstIntFree(starts);
  }
};

}  // namespace

int stepOptZstoc4Driver(const StepOptCycleContext* cycle, Tri3List* triangles, DblList* heights,
                        const char* planeFile) {
  if (cycle == nullptr || cycle->model == nullptr || cycle->model->cutter == nullptr ||
      cycle->levels == nullptr || triangles == nullptr || heights == nullptr ||
      planeFile == nullptr) {
    return geoFail(-20, kStepOptSource);
  }
  const int sorted = lstSort(triangles->items, triangles->count, sizeof(Tri3D), stepOptCompareTriZ);
  if (sorted != 1) return geoFail(-1, kStepOptSource);
  // The candidates index the given list: the model's own facets give way to it for the call.
  SurfaceModel view = *cycle->model;
  view.triangles = triangles;
  WalkParams walk{};
  walk.model = &view;
  DriverOwned own;
  if (own.traced == nullptr || own.work == nullptr || own.starts == nullptr) {
    return geoFail(-1, kStepOptSource);
  }
  own.ctx.triangles = triangles;
  own.ctx.region = cycle->region;
  CutterShape largest = *view.cutter;
  if (collCtxAlloc(&own.ctx, &walk) < 0 || collCtxFill(&own.ctx, &walk, &largest) < 0) {
    return geoFail(-1, kStepOptSource);
  }
  if (stepOptTriBoxes(&own.ctx) < 0) return -1;  // recorded there
  const CutterShape& cutter = *view.cutter;
  WalkTool tool{cutter.radius, cutter.cornerRadius, cutter.type};
  SliceContext slice{nullptr, nullptr, own.traced, own.work, own.starts};
  return zstoc4genOptiStepBnds(&own.ctx, &tool, &walk, &slice, parGlobalBlock()->planeFactor,
                               cycle->levels, planeFile, heights);
}
