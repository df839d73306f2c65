// retrace.cpp - offset contours of existing Z paths traced by the walker.
#include "zlevel/retrace.h"

#include <algorithm>
#include <cmath>
#include <source_location>

#include "framework/global_params.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/pko_list.h"
#include "geometry/pko_pieces.h"
#include "geometry/stel_zpath.h"
#include "geometry/tri_mesh.h"
#include "model/cutter_shape.h"
#include "zlevel/closed_paths.h"
#include "zlevel/level_trace.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_order.h"
#include "zlevel/zpath_pko.h"

namespace {

constexpr const char* kModule = "Arczpath";
constexpr double kRetraceScale = 10.0;
constexpr double kRetraceTolerance = 0.1;
constexpr double kRetraceStep = 1.0;
constexpr double kRetraceFrame = 3.0;
constexpr int kRetraceRoom = 1000;

int retraceFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

// The lists of one re-tracing and the region copy; everything freed on destruction.
struct RetraceLists {
  PkoList* traced = pkoListNew(kRetraceRoom);
  PkoList* work = pkoListNew(kRetraceRoom);
  IntList* starts = lstIntNew(16);
  Kont2D* walls = kontNew(nullptr, kRetraceRoom);
  Kont2D* region = nullptr;
  RetraceLists() = default;
  RetraceLists(const RetraceLists&) = delete;
  RetraceLists& operator=(const RetraceLists&) = delete;
  ~RetraceLists() {
    pkoListFree(traced);
    pkoListFree(work);
    lstIntFree(starts);
    kontFree(walls);
    if (region != nullptr) triMeshFree(region->mesh);
    kontFree(region);
  }
  bool made() const {
    return traced != nullptr && work != nullptr && starts != nullptr && walls != nullptr;
  }
};

// Puts back the global parameter block on every way out.
class GlobalsSaved {
 public:
  GlobalsSaved() : saved_(*parGlobalBlock()) {}
  ~GlobalsSaved() { *parGlobalBlock() = saved_; }
  GlobalsSaved(const GlobalsSaved&) = delete;
  GlobalsSaved& operator=(const GlobalsSaved&) = delete;

 private:
  GlobalParams saved_;
};

void scaleAll(ZPathList* list, double factor, int from = 0) {
  for (int i = from; i < list->count; ++i) zpathScale(&list->items[i], factor);
}

int compareZDesc(const void* a, const void* b) {
  const double za = static_cast<const ZPath*>(a)->z, zb = static_cast<const ZPath*>(b)->z;
  return za > zb ? -1 : (za < zb ? 1 : 0);
}

// The edges of the paths as the level's walls.
int wallsOf(const ZPath* group, int n, Kont2D* walls) {
  kontReset(walls);
  for (int k = 0; k < n; ++k) {
    const ZPath& p = group[k];
    for (int i = 0; i < p.count && p.points != nullptr; ++i) {
      const int j = (i + 1) % p.count;
      const Seg2D s{p.points[2 * i], p.points[2 * i + 1], p.points[2 * j], p.points[2 * j + 1]};
      if (kontAppendSeg(walls, &s) < 0) return -1;
    }
  }
  return 1;
}

// Traces one level from the given starts and appends its pieces to out.
int retraceTrace(const ZPath* group, int n, double offset, RetraceWork* w, StelList* starts,
                 ZPathList* out) {
  GlobalsSaved saved;
  parGlobalBlock()->acceptUndercut = 1;
  if (wallsOf(group, n, w->ctx.walls) < 0) return retraceFail(-1);
  w->tool = WalkTool{offset, 0.0, kCutterFlat};
  w->slice.starts = starts;
  pkoListReset(w->slice.traced);
  pkoListReset(w->slice.work);
  lstIntReset(w->slice.pathStarts);
  int r = arczTraceLevel(&w->ctx, &w->tool, &w->params, &w->slice);
  w->slice.starts = nullptr;
  if (r < 0) return r;
  pkoListMergeCollinear(w->slice.traced);
  if (pkoListPieceStarts(w->slice.traced, w->slice.pathStarts) < 0) return retraceFail(-1);
  r = gen_closedpaths(&w->ctx, &w->tool, &w->params, &w->slice);
  if (r < 0) return r;
  const PkoList* traced = w->slice.traced;
  const IntList* ps = w->slice.pathStarts;
  for (int k = 0; k < ps->count; ++k) {
    const int from = ps->items[k];
    const int to = k + 1 < ps->count ? ps->items[k + 1] : traced->count;
    ZPath* path = zpathNew(to - from + 3);
    if (path == nullptr) return retraceFail(-1);
    path->z = group[0].z;
    const int made = zpathFromPko(path, traced, from, to);
    path->flags = group[0].flags;
    const int added = made == 1 ? zpathListAdd(out, path) : made;
    zpathFree(path);
    if (added < 0) return retraceFail(-1);
  }
  return 1;
}

// Sets up the work records around the (scaled) list and runs each level or path through `level`.
template <typename Level>
int retraceAll(ZPathList* list, double offset, const Kont2D* region, ZPathList* out, Level level) {
  if (out == nullptr) return -1;
  if (list == nullptr || list->count <= 0 || list->items == nullptr) return 0;
  if (!std::isfinite(offset) || offset < 0.0) return kGeoBadArgument;
  if (offset < kRetraceLevelTol) {
    for (int i = 0; i < list->count; ++i)
      if (zpathListAdd(out, &list->items[i]) < 0) return retraceFail(-1);
    return 1;
  }
  const int outAtEntry = out->count;
  RetraceLists lists;
  if (!lists.made()) return retraceFail(-1);
  if (region != nullptr) {
    lists.region = kontCopy(region);
  } else {
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int i = 0; i < list->count; ++i) {
      const ZPath& p = list->items[i];
      if (p.count <= 0) continue;
      x0 = std::min(x0, p.xmin), y0 = std::min(y0, p.ymin);
      x1 = std::max(x1, p.xmax), y1 = std::max(y1, p.ymax);
    }
    if (x0 > x1) return 0;
    const double g = kRetraceFrame * offset;
    lists.region = kontNewRect(Point2D{x0 - g, y0 - g}, Point2D{x1 + g, y1 + g});
  }
  if (lists.region == nullptr) return retraceFail(-1);
  lists.region->closed = 1;
  const double factor = kRetraceScale / offset;
  kontScale(lists.region, factor);
  scaleAll(list, factor);

  // The walking sense from the first path: 1 for a clockwise path with material inside or a
  // counter-clockwise one without.
  const ZPath& first = list->items[0];
  const int sense = (first.materialInside == 1 && first.orientation == -1) ||
                            (first.materialInside != 1 && first.orientation == 1)
                        ? 1
                        : 2;
  const int own = kontOrientation(lists.region);
  if ((sense == 1 && own == 1) || (sense == 2 && own == -1)) kontReverse(lists.region);
  lists.region->mesh = triPolyTriangulate(lists.region);
  int result = 1;
  if (lists.region->mesh == nullptr) {
    result = retraceFail(-1);
  } else {
    RetraceWork w{};
    w.ctx.walls = lists.walls;
    w.ctx.region = lists.region;
    w.params.tolerance = kRetraceTolerance;
    w.params.z = 0.0;
    w.params.direction = sense == 1 ? 1 : -1;
    w.params.step = kRetraceStep;
    w.slice.traced = lists.traced;
    w.slice.work = lists.work;
    w.slice.pathStarts = lists.starts;
    result = level(list, &w);
  }
  scaleAll(list, 1.0 / factor);
  scaleAll(out, 1.0 / factor, outAtEntry);
  if (result < 0) return result;
  zpathListNestingDepths(out);
  lstSort(out->items, out->count, sizeof(ZPath), compareZDesc);
  return 1;
}

}  // namespace

int arczRetracePathsLevel(const ZPath* group, int n, double offset, RetraceWork* work,
                          ZPathList* out) {
  if (group == nullptr || n < 1 || work == nullptr || out == nullptr) return kGeoBadArgument;
  StelList* starts = stelFromZpaths(group, n, offset, work->ctx.region);
  if (starts == nullptr) return retraceFail(kRetraceNoStarts);
  const int r = retraceTrace(group, n, offset, work, starts, out);
  stelListFree(starts);
  return r;
}

int arczRetraceContactsLevel(const ZPath* path, double offset, RetraceWork* work, ZPathList* out) {
  if (path == nullptr || work == nullptr || out == nullptr) return kGeoBadArgument;
  StelList* starts = stelFromZpathContacts(path, offset, work->ctx.region);
  if (starts == nullptr) return retraceFail(kRetraceNoStarts);
  const int r = retraceTrace(path, 1, offset, work, starts, out);
  stelListFree(starts);
  return r;
}

int arczRetracePaths(ZPathList* list, double offset, const Kont2D* region, ZPathList* out) {
  return retraceAll(list, offset, region, out, [out](ZPathList* l, RetraceWork* w) {
    for (int i = 0; i < l->count;) {
      int j = i + 1;
      while (j < l->count && std::fabs(l->items[j].z - l->items[i].z) < kRetraceLevelTol) ++j;
      const int r = arczRetracePathsLevel(&l->items[i], j - i, kRetraceScale, w, out);
      if (r < 0) return r;
      i = j;
    }
    return 1;
  });
}

int arczRetraceContacts(ZPathList* list, double offset, const Kont2D* region, ZPathList* out) {
  if (out != nullptr && std::isfinite(offset) && offset < kRetraceContactMin) return 0;
  return retraceAll(list, offset, region, out, [out](ZPathList* l, RetraceWork* w) {
    for (int i = 0; i < l->count; ++i) {
      const int r = arczRetraceContactsLevel(&l->items[i], kRetraceScale, w, out);
      if (r < 0) return r;
    }
    return 1;
  });
}
