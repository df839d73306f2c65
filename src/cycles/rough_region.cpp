// rough_region.cpp - the per-region toolpath step: pocket groups and whole-region levels written,
// pocketed by the nested pocket cycle and emitted; the outside-in start points and retries.
#include "cycles/rough_region.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <source_location>

#include "cycles/emit_region.h"
#include "cycles/level_pocket.h"
#include "cycles/level_pocket_xchg.h"
#include "cycles/rough_emit.h"
#include "cycles/rough_grid.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/platform.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "model/path_collision.h"
#include "zlevel/stock_rest.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"
#include "zlevel/zpath_fillet.h"

namespace {

struct StartSlot {
  int flag = 0;
  Point3D p = {0, 0, 0};
};

struct RegionState {
  StartSlot slots[4];
  const Kont2D* stockRegion = nullptr;
  const ZPathList* fullcutList = nullptr;
  int fullcutFirst = 0;
  int fullcutEnd = 0;
};
RegionState rs;

int libWritePocket(const char* file, Kont2D* region, ZPath* paths, int count) {
  return zcontWritePocket(file, region, paths, count, 0);
}
int libWriteAxisPocket(const char* file, Kont2D* region, ZPath* paths, int count) {
  return zcontWriteAxisPocket(file, region, paths, count, 0);
}

constexpr RoughPocketOps kLibraryOps{libWritePocket, libWriteAxisPocket, levelPocketContour,
                                     levelPocketAxis, roughEmitRegion};
RoughPocketOps ops = kLibraryOps;  // a test seam: kept across runs

int regionFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "rough_region", static_cast<int>(at.line()));
  return code;
}

// A file name in "*TMP_DIR", held in place: nothing of this step allocates a text, so nothing
// here can throw.
struct TmpPath {
  char text[1100] = "";
  bool empty() const { return text[0] == '\0'; }
  const char* c_str() const { return text; }
};

// The file name in "*TMP_DIR"; empty when it does not fit.
TmpPath tmpFile(const char* name) {
  TmpPath out;
  if (roughJoinDirFile(out.text, sizeof out.text, parGlobalBlock()->tmpDir, name) != 1) {
    out.text[0] = '\0';
  }
  return out;
}

// Runs one pocketing step and maps its result: negative ends the call, a break stops it.
int stepResult(int r) {
  if (r < 0) return regionFail(r);
  if (out3dCheckBreak() == 1) return regionFail(kRoughStopBreak);
  return 1;
}

// A whole-region pocket at height h.
int wholeRegionLevel(Kont2D* region, double h, PathList* apt, MachiningParams* params,
                     SurfaceModel* model, const TmpPath& file) {
  const GlobalParams& g = *parGlobalBlock();
  const double z = region->z;
  region->z = h;
  int r = g.axisPocket != 0 ? ops.writeAxisPocket(file.c_str(), region, nullptr, 0)
                            : ops.writePocket(file.c_str(), region, nullptr, 0);
  region->z = z;
  if (r < 0) return r;
  apt->count = 0;
  if (g.axisPocket != 0) {
    r = ops.pocketAxis(g.frradius, h, apt);
    if (r < 0) return r;
    return ops.emit(apt, params, model);
  }
  r = ops.pocketContour(g.frradius, h, apt, g.stockMode);
  if (r < 0) return r;
  if (g.stockMode != 0) roughSetStockRegion(region);
  r = ops.emit(apt, params, model);
  roughSetStockRegion(nullptr);
  return r;
}

// One pocket group [first, end) of the list at height z (an empty group pockets the region).
int pocketGroup(Kont2D* region, ZPathList* list, int first, int end, double z, PathList* apt,
                MachiningParams* params, SurfaceModel* model, const TmpPath& file) {
  const GlobalParams& g = *parGlobalBlock();
  for (int i = first; i < end; ++i) {
    if ((list->items[i].flags & kZPathFlagTooSmall) != 0) list->items[i].count = 0;
  }
  const int n = end - first;
  if (g.axisPocket != 0) {
    int r = ops.writeAxisPocket(file.c_str(), region, list->items + first, n);
    if (r < 0) return r;
    apt->count = 0;
    r = ops.pocketAxis(g.frradius, z, apt);
    if (r < 0) return r;
    return ops.emit(apt, params, model);
  }
  const int r = ops.writePocket(file.c_str(), region, list->items + first, n);
  if (r < 0) return r;
  if (g.fullcutStrategy == 2) roughSetFullcutRange(list, first, end);
  if (g.stockMode != 0) roughSetStockRegion(region);
  const int done = roughPocketOutsideIn(z, region, apt, params, model);
  roughSetStockRegion(nullptr);
  return done;
}

// The path filleting of a pocket's paths against its region: with "*FILLET_CORNERS" on and neither
// "*FILLET_POCKET" nor "*AXIS_POCKET", every path is marked to be rounded (not in stock mode) and
// the list filleted with "*FILLET_RADIUS" above 0.01. 1 or the filleting's negative result.
int filletPaths(ZPathList* list, Kont2D* region) {
  const GlobalParams& g = *parGlobalBlock();
  const int count = list != nullptr ? list->count : 0;
  if (g.filletPocket != 0 || g.filletCorners == 0 || g.axisPocket != 0) return 1;
  if (g.stockMode == 0) {
    for (int i = 0; i < count; ++i) list->items[i].flags |= kZPathFlagRound;
  }
  if (count > 0 && g.filletRadius > 0.01) {
    const int r = zpathListFillet(list, region, g.filletRadius);
    if (r < 0) return r;
  }
  return 1;
}

int regionSteps(const RoughRegionInput* in, MachiningParams* params, SurfaceModel* model) {
  GlobalParams& g = *parGlobalBlock();
  Kont2D* region = in->region;
  ZPathList* list = in->paths;
  PathList* apt = in->apt;
  const int count = list != nullptr ? list->count : 0;
  const bool planeMark = roughControlPlanePass() != 0 && count > 0;

  if (const int r = filletPaths(list, region); r < 0) return regionFail(r);

  double d = -DBL_MAX;
  for (int i = 0; i < count; ++i) d = std::fmax(d, list->items[i].z);

  const TmpPath file = tmpFile(kRoughPocketFile);
  if (file.empty()) return regionFail(-1);
  int number = 0;
  if (!planeMark) {
    for (int i = 0; i < in->levelsDoneCount; ++i) {
      const double h = in->levelsDone[i];
      const int allFree = in->allFree != nullptr ? in->allFree[i] : 0;
      if (roughWholeRegionLevel(h, d, allFree) == 0) continue;
      msgSendInt(9, kRoughMsgGenerating, "* Generating toolpath %d", ++number);
      const int r = stepResult(wholeRegionLevel(region, h, apt, params, model, file));
      if (r < 0) return r;
    }
  }
  for (int first = 0; first < count;) {
    const int end = roughPocketGroupEnd(list, first, g.stepStrategy);
    msgSendInt(9, kRoughMsgGenerating, "* Generating toolpath %d", ++number);
    const int r = stepResult(
        pocketGroup(region, list, first, end, list->items[first].z, apt, params, model, file));
    if (r < 0) return r;
    first = end;
  }
  return 1;
}

// The work list of one rest pocket: copies of its paths, those flagged too small left out under
// "*SKIP_SMALL_POCKETS". Null when memory runs out.
ZPathList* stockPocketPaths(const StockRestPocket& pocket) {
  ZPathList* work = zpathListNew(4);
  if (work == nullptr) return nullptr;
  const bool skipSmall = parGlobalBlock()->skipSmallPockets != 0;
  for (const StockRestPathNode* n = pocket.paths; n != nullptr; n = n->next) {
    if (skipSmall && (n->path->flags & kZPathFlagTooSmall) != 0) continue;
    if (zpathListAdd(work, n->path) < 0) {
      zpathListFree(work);
      return nullptr;
    }
  }
  return work;
}

// Pockets and emits the rest pockets of one array; number counts the pockets of the pass.
int stockPocketArray(StockRestPocket* pockets, int n, PathList* apt, MachiningParams* params,
                     SurfaceModel* model, const TmpPath& file, int* number) {
  for (int i = 0; i < n; ++i) {
    StockRestPocket& pk = pockets[i];
    if (pk.stockContour.count == 0 && pk.stockContour.segments == nullptr) continue;
    ZPathList* work = stockPocketPaths(pk);
    if (work == nullptr) return regionFail(-1);
    if (pk.paths != nullptr && work->count == 0) {
      // Every path of the pocket was too small: nothing is left to machine here.
      zpathListFree(work);
      pk.done = 1;
      continue;
    }
    int r = filletPaths(work, &pk.stockContour);
    if (r >= 0) {
      msgSendInt(9, kRoughMsgGenerating, "* Generating toolpath %d", ++*number);
      r = stepResult(
          pocketGroup(&pk.stockContour, work, 0, work->count, pk.z, apt, params, model, file));
    }
    // The full-cut range must not outlive the work list it points into.
    roughSetFullcutRange(nullptr, 0, 0);
    zpathListFree(work);
    if (r < 0) return regionFail(r);
  }
  return 1;
}

// Reads a boundary file of regions at their own heights; null with the code in *code.
Kont2D* readRegions(const char* file, int* code) {
  geoErrReset();
  Kont2D* k = kontReadBnd(file, 1, 1);
  *code = geoErrCode() < 0 ? geoErrCode() : -1;
  return k;
}

int stockPass(ZPathList* list, Kont2D* outlines, Kont2D* regions, MachiningParams* params,
              SurfaceModel* model) {
  const TmpPath file = tmpFile(kRoughPocketFile);
  if (file.empty()) return regionFail(-1);
  PathList* apt = pathListNew(1000, 1);
  if (apt == nullptr) return regionFail(-1);
  int number = 0;
  int r = 1;
  for (const Kont2D* region = regions; region != nullptr && r >= 0; region = region->next) {
    Kont2D* chain = nullptr;
    const int selected = roughSelectContoursInside(outlines, region, &chain);
    if (selected < 0) {
      r = regionFail(selected);
      break;
    }
    if (selected == 0) continue;
    int n = 0;
    StockRestPocket* pockets = stockRestPockets(chain, list, parGlobalBlock()->stepStrategy, &n);
    r = pockets != nullptr ? stockPocketArray(pockets, n, apt, params, model, file, &number)
                           : regionFail(-1);
    stockRestFree(pockets, n);
    kontFree(chain);
  }
  roughSetStockRegion(nullptr);
  pathListFree(apt);
  return r;
}

}  // namespace

int roughSelectContoursInside(const Kont2D* list, const Kont2D* region, Kont2D** out) {
  if (out == nullptr) return regionFail(-20);
  *out = nullptr;
  if (region == nullptr) return 0;
  Kont2D* last = nullptr;
  int n = 0;
  for (const Kont2D* k = list; k != nullptr; k = k->next) {
    bool inside = false;
    for (int j = 0; j < k->count && !inside; ++j) {
      const Point2D p{k->segments[j].x1, k->segments[j].y1};
      inside = geoPointInKontBand(p, region, 1e-6) == 1;
    }
    if (!inside) continue;
    Kont2D* copy = kontCopy(k);
    if (copy == nullptr) {
      kontFree(*out);
      *out = nullptr;
      return regionFail(-1);
    }
    copy->z = k->z;
    (last != nullptr ? last->next : *out) = copy;
    if (last != nullptr) copy->prev = last;
    last = copy;
    ++n;
  }
  return n;
}

int roughStockPockets(MachiningParams* params, SurfaceModel* model, const char* zpathFile,
                      const char* boundaryFile) {
  if (params == nullptr || model == nullptr || zpathFile == nullptr || boundaryFile == nullptr) {
    return regionFail(-20);
  }
  if (geoFileExists(zpathFile) != 1) return 1;
  ZPathList* list = zpathListRead(zpathFile);
  if (list == nullptr) return regionFail(-1);
  if (list->count == 0) {
    zpathListFree(list);
    return 1;
  }
  int code = -1;
  int r = 1;
  Kont2D* outlines = readRegions(boundaryFile, &code);
  Kont2D* regions = nullptr;
  if (outlines == nullptr) {
    r = regionFail(code);
  } else {
    regions = readRegions(roughBoundaryDumpFile(), &code);
    r = regions != nullptr ? stockPass(list, outlines, regions, params, model) : regionFail(code);
  }
  kontFree(regions);
  kontFree(outlines);
  zpathListFree(list);
  if (r < 0) return r;
  const int f = emitFinish(params, model);
  return f < 0 ? regionFail(f) : 1;
}

void roughSetPocketOps(const RoughPocketOps* o) { ops = o != nullptr ? *o : kLibraryOps; }
const RoughPocketOps& roughPocketOps() { return ops; }

int roughWholeRegionLevel(double h, double d, int allFree) {
  return allFree != 0 && h > d + kRoughGroupTol ? 1 : 0;
}

int roughPocketGroupEnd(const ZPathList* list, int first, int stepStrategy) {
  if (list == nullptr || first < 0 || first >= list->count) return first;
  const ZPath& a = list->items[first];
  int end = first + 1;
  while (end < list->count) {
    const ZPath& b = list->items[end];
    if (std::fabs(b.z - a.z) >= kRoughGroupTol) break;
    if (stepStrategy == 1 && b.groupId != a.groupId) break;
    ++end;
  }
  return end;
}

int roughRegionToolpaths(const RoughRegionInput* input, MachiningParams* params,
                         SurfaceModel* model) {
  int r = 1;
  if (input == nullptr || input->region == nullptr || input->apt == nullptr || params == nullptr ||
      model == nullptr) {
    r = regionFail(-20);
  } else {
    r = regionSteps(input, params, model);
  }
  roughSetStockRegion(nullptr);
  const TmpPath dump = tmpFile(kRoughFinishBoundaryFile);
  if (!dump.empty() && geoFileExists(dump.c_str()) == 1) platRemoveFile(dump.c_str());
  return r;
}

int roughPocketOutsideIn(double z, Kont2D* region, PathList* apt, MachiningParams* params,
                         SurfaceModel* model) {
  GlobalParams& g = *parGlobalBlock();
  if (apt == nullptr) return regionFail(-20);
  const int complete = g.completePocket;
  const double stepover = g.horizustel;
  const bool outsideIn = g.outsideIn == 1;
  Point3D start{};
  if (outsideIn &&
      (roughFindStartPoints(model, region, 0.1, z) < 0 || roughNextStartPoint(&start) < 0)) {
    msgSendInt(9, kRoughMsgStartCollides, "* Error startpoint collides", 0);
    return regionFail(-1);
  }
  for (int attempt = 0; attempt < (outsideIn ? 4 : 1); ++attempt) {
    if (attempt > 0 && roughTakeStartPoint(&start) < 0) {
      msgSendInt(9, kRoughMsgStartCollides, "* Error startpoint collides", 0);
      return regionFail(-1);
    }
    apt->count = 0;
    int r = ops.pocketContour(g.frradius, z, apt, g.stockMode);
    if (r < 0) return regionFail(r);
    const int markers = collMarkersOn();
    collSetMarkers(0);
    r = ops.emit(apt, params, model);
    collSetMarkers(markers);
    if (r != kRoughStartCollides) return r;
  }
  // The last attempt: a tenth less stepover, the complete-pocket switch off below the radius.
  g.horizustel = stepover * 0.9;
  if (g.horizustel < g.frradius) g.completePocket = 0;
  apt->count = 0;
  int r = ops.pocketContour(g.frradius, z, apt, g.stockMode);
  g.completePocket = complete;
  g.horizustel = stepover;
  if (r < 0) return regionFail(r);
  r = ops.emit(apt, params, model);
  return r;
}

int roughFindStartPoints(const SurfaceModel* model, const Kont2D* region, double a, double z) {
  const GlobalParams& g = *parGlobalBlock();
  if (g.outsideIn != 1 || region == nullptr) return 0;
  if (g.zustellOk != 0) return 1;
  if (model == nullptr || model->cutter == nullptr) return regionFail(-1);
  Point3D cand[4][2];
  roughStartCandidates(region, model->cutter->radius + g.macroSrad, z + a + g.aufmass, cand);
  int stored = 0;
  for (int k = 0; k < 4; ++k) {
    rs.slots[k].flag = collCheckMove(cand[k][0], cand[k][1], model, a) == 1 ? 1 : 0;
    rs.slots[k].p = cand[k][0];
    stored += rs.slots[k].flag;
  }
  return stored > 0 ? 1 : -1;
}

int roughNextStartPoint(Point3D* out) {
  if (parGlobalBlock()->zustellOk != 0) return 1;
  return roughTakeStartPoint(out);
}

int roughTakeStartPoint(Point3D* out) {
  for (StartSlot& s : rs.slots) {
    if (s.flag == 0) continue;
    s.flag = 0;
    parGlobalBlock()->zustellOk = 1;
    roughSetPlungePoint(Point2D{s.p.x, s.p.y});
    if (out != nullptr) *out = s.p;
    return 1;
  }
  return -1;
}

void roughSetStockRegion(const Kont2D* region) { rs.stockRegion = region; }
const Kont2D* roughStockRegion() { return rs.stockRegion; }

void roughSetFullcutRange(const ZPathList* list, int first, int end) {
  rs.fullcutList = list;
  rs.fullcutFirst = first;
  rs.fullcutEnd = end;
}

Seg2D* roughFullcutContours(int* count) {
  if (count != nullptr) *count = 0;
  const ZPathList* list = rs.fullcutList;
  if (list == nullptr || count == nullptr) return nullptr;
  const int first = std::max(0, rs.fullcutFirst), end = std::min(list->count, rs.fullcutEnd);
  int n = 0;
  for (int i = first; i < end; ++i) {
    if (list->items[i].closed != 0 && list->items[i].count > 1) n += list->items[i].count;
  }
  if (n == 0) return nullptr;
  auto* segs = static_cast<Seg2D*>(memAllocZero(sizeof(Seg2D) * static_cast<std::size_t>(n)));
  if (segs == nullptr) return nullptr;
  int k = 0;
  for (int i = first; i < end; ++i) {
    const ZPath& p = list->items[i];
    if (p.closed == 0 || p.count < 2) continue;
    for (int j = 0; j < p.count; ++j) {
      const int nx = (j + 1) % p.count;
      segs[k++] =
          Seg2D{p.points[2 * j], p.points[2 * j + 1], p.points[2 * nx], p.points[2 * nx + 1]};
    }
  }
  *count = k;
  return segs;
}

void roughRegionResetState() { rs = RegionState{}; }
