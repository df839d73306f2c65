// rough_control.cpp - the roughing controller: regions, drop grid and levels per region, the level
// loop with its retry rule, the Z-path file round trip, the per-region step, the end of the run
// with its report; the drop tool of the gouge check and the facet filter of the model loading.
#include "cycles/rough_control.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <source_location>
#include <string_view>
#include <vector>

#include "cycles/cycle_result.h"
#include "cycles/emit_region.h"
#include "cycles/level_out.h"
#include "cycles/rough_grid.h"
#include "cycles/rough_setup.h"
#include "cycles/rough_standins.h"
#include "cycles/zfin_main.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/path_join.h"
#include "framework/platform.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/offset2d.h"
#include "geometry/pko_list.h"
#include "geometry/tri_mesh.h"
#include "model/coll_candidates.h"
#include "model/holder_model.h"
#include "model/mesh_load.h"
#include "model/model_load.h"
#include "model/path_collision.h"
#include "model/polyhedron.h"
#include "model/tool_assembly.h"
#include "zlevel/coll_cull.h"
#include "zlevel/drop_net.h"
#include "zlevel/gouge_check.h"
#include "zlevel/level_slice.h"
#include "zlevel/model_reduce.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_flat.h"
#include "zlevel/zlevel_list.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"
#include "zlevel/zpath_grouping.h"
#include "zlevel/zpath_pko.h"

namespace {

constexpr int kNameCount = 8;
constexpr const char* kTempLeaves[kNameCount] = {
    "tmp.zpa",        "sopttmp.bnd",     "zrestmp.zpa",   "zrestmp2.zpa",
    "zrestmpbnd.bnd", "zrestmpbnd2.bnd", "stocktmp2.zpa", "stocktmpbnd2.bnd"};
// The boundary dump among them, and its name while the names are not built.
constexpr int kBoundaryDumpName = 4;
static_assert(std::string_view(kTempLeaves[kBoundaryDumpName]) == "zrestmpbnd.bnd");
constexpr char kBoundaryDumpDefault[] = ".bnd";
// The flat-plane outline file among them.
constexpr int kFlatPlaneName = 1;
static_assert(std::string_view(kTempLeaves[kFlatPlaneName]) == kStepOptPlaneFileName);
// A grid node on or outside the region's outer contour (kontClassifyPoint).
constexpr int kClassOutside = 1;
// Heights of the clearance checks within this of each other count as equal (the drop grid holds
// floats).
constexpr double kClearanceTol = 0.001;
// The roughing model's drop range and profile-drop values, for a model that reaches the
// flat-area finder without them (a closed range drops nothing).
constexpr double kDropRangeOpen = 1e300;
constexpr double kDropStep = 1.0;
constexpr double kDropTolerance = 0.005;
constexpr double kDropCandidateLength = 20.0;

struct ControlState {
  char names[kNameCount][kParTextSize] = {};
  char aptStem[kParTextSize] = {};
  double lastLevel = DBL_MAX;
  double top = 0, bottom = 0;
  double stepDepth = 0;
  int retries = 0;
  // Resources of the current run, freed by roughFreeAll.
  Kont2D* box = nullptr;
  ZLevelList* levels = nullptr;
  CellList* cells = nullptr;
  FloatDropNet* grid = nullptr;
  Raster* raster = nullptr;
  SurfaceModel* dropModel = nullptr;
  // Facet filter.
  const Kont2D* filterRegions = nullptr;
  double filterMargin = -1;
  // The plane-pass marker of the roughing main: set from its first flat-plane pass on.
  int planePass = 0;
  // The last controller run found no model (it did not load).
  int modelMissing = 0;
  // The part reaches above the rapids' height somewhere (outside the regions: a warning).
  int partAbovePlane = 0;
  // Pockets too small for the tool that the run's levels left uncut, and the lowest tool tip
  // height among them, until roughReportSmallPockets names them.
  int smallCount = 0;
  double smallLowest = DBL_MAX;
};
ControlState st;

// Seams of the tests; they outlive runs.
RoughRegionFn regionFn = nullptr;
RoughSliceFn sliceFn = nullptr;
RoughFinishFn finishFn = nullptr;
// The dormant boundary-dump switch; outlives runs like the seams.
int boundaryDump = 0;

int ctlFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "rough_control", static_cast<int>(at.line()));
  return code;
}

void freeRegionResources() {
  gridRasterFree(st.raster);
  st.raster = nullptr;
  fDropNetFree(st.grid);
  st.grid = nullptr;
  gridCellListFree(st.cells);
  st.cells = nullptr;
  zlevFree(st.levels);
  st.levels = nullptr;
}

// Step 2: the temporary names and the output name's stem. An output name without '.' keeps
// the whole name as its stem.
int buildNames(const GlobalParams& g) {
  for (int i = 0; i < kNameCount; ++i) {
    if (pathJoinDirName(st.names[i], kParTextSize, g.tmpDir, kTempLeaves[i]) != 1) {
      msgSendText(9, kRoughMsgBadOutputName, "*", g.tmpDir);
      return ctlFail(kRoughStopFailed);
    }
  }
  const char* dot = std::strrchr(g.apt, '.');
  const int stemLength = static_cast<int>(dot != nullptr ? dot - g.apt : std::strlen(g.apt));
  if (g.singlepofMode == 0) {
    std::snprintf(st.aptStem, sizeof st.aptStem, "%.*s_%d", stemLength, g.apt,
                  static_cast<int>(g.jobid));
  } else {
    std::snprintf(st.aptStem, sizeof st.aptStem, "%.*s", stemLength, g.apt);
  }
  return 0;
}

// Every contour of the chain: outer contours by next, islands by child and next.
template <typename Fn>
void forEachContour(const Kont2D* regions, Fn fn) {
  for (const Kont2D* r = regions; r != nullptr; r = r->next) {
    fn(r);
    for (const Kont2D* i = r->child; i != nullptr; i = i->next) fn(i);
  }
}

// The box of a chain of regions, false when it has no segment.
bool chainBox(const Kont2D* regions, double box[4]) {
  box[0] = box[1] = DBL_MAX;
  box[2] = box[3] = -DBL_MAX;
  bool any = false;
  for (const Kont2D* r = regions; r != nullptr; r = r->next) {
    if (r->count <= 0) continue;
    any = true;
    box[0] = std::min(box[0], r->xmin);
    box[1] = std::min(box[1], r->ymin);
    box[2] = std::max(box[2], r->xmax);
    box[3] = std::max(box[3], r->ymax);
  }
  return any;
}

struct WorkLists {
  PkoList* traced = pkoListNew(1000);
  PkoList* work = pkoListNew(100);
  IntList* starts = lstIntNew(10);
  ZPath* path = zpathNew(100);
  std::vector<double> levelsDone;
  std::vector<std::int8_t> allFree;
  bool ok() const { return traced != nullptr && work != nullptr && starts != nullptr && path; }
  WorkLists() = default;
  WorkLists(const WorkLists&) = delete;
  WorkLists& operator=(const WorkLists&) = delete;
  ~WorkLists() {
    pkoListFree(traced);
    pkoListFree(work);
    lstIntFree(starts);
    zpathFree(path);
  }
};

// Sends a failure's message (level 9) and records the code at the caller's line.
int ctlFailMsg(int code, int message, const char* text,
               std::source_location at = std::source_location::current()) {
  msgSendInt(9, message, text, 0);
  return ctlFail(code, at);
}
int ctlNoMemory(int code = kRoughStopFailed,
                std::source_location at = std::source_location::current()) {
  return ctlFailMsg(code, kRoughMsgNoMemory, "* Kein Speicher frei", at);
}

// What one controller run carries from step to step; the regions, the outside box, the candidate
// context and the APT list are released on every exit.
struct ControlRun {
  GlobalParams& g;
  MachiningParams* params;
  SurfaceModel* model;
  double gridFactor;  // "*GRID_FACTOR" as the run found it
  WorkLists w;
  CollCtx ctx{};
  Kont2D* regions = nullptr;
  Kont2D* outsideBox = nullptr;
  PathList* apt = nullptr;
  int sense = 1;
  int regionCount = 0;
  int regionsReported = 0;

  ControlRun(GlobalParams& gp, MachiningParams* p, SurfaceModel* m)
      : g(gp), params(p), model(m), gridFactor(gp.gridFactor) {}
  ControlRun(const ControlRun&) = delete;
  ControlRun& operator=(const ControlRun&) = delete;
  ~ControlRun() { release(); }
  void release() {
    freeRegionResources();
    for (Kont2D* r = regions; r != nullptr; r = r->next) {
      triMeshFree(r->mesh);
      r->mesh = nullptr;
    }
    kontFree(regions);
    regions = nullptr;
    kontFree(outsideBox);
    outsideBox = nullptr;
    collCtxFree(&ctx);
    pathListFree(apt);
    apt = nullptr;
    g.gridFactor = gridFactor;
  }
};

// One region of the run: its grid geometry, the slicing tool and what its levels found.
struct RegionRun {
  ControlRun& run;
  Kont2D* region;
  int index;
  int rows = 0, cols = 0;
  double colStep = 0, rowStep = 0;
  WalkTool tool{};
  bool materialSeen = false;
  double emptyDepth = DBL_MAX;
  int breakValue = 0;       // the break check's answer that ended the level loop (0: none)
  bool levelEmpty = false;  // the last level's slice ran and found no piece inside the region
};

// ---- the levels of a region ---------------------------------------------------------------------

// Step 6: the candidates of the region's slicing (the model's triangles near it).
int regionCandidates(RegionRun& rr) {
  CollCtx* ctx = &rr.run.ctx;
  SurfaceModel* model = rr.run.model;
  ctx->triangles = model->triangles;
  ctx->region = rr.region;
  WalkParams wp{};
  wp.mode = 1;
  wp.model = model;
  CutterShape largest = *model->cutter;
  if (collCtxFill(ctx, &wp, &largest) < 0) return ctlNoMemory();
  return 0;
}

// Steps 7 and 8: the drop grid over the region and its levels. 0 go on; 1 the region is skipped
// (its own height lies above the top); negative stop.
int regionGridAndLevels(RegionRun& rr) {
  GlobalParams& g = rr.run.g;
  const CutterShape& cutter = *rr.run.model->cutter;
  double x0 = 0, y0 = 0;
  const int net =
      roughNetParams(g, rr.region, &x0, &y0, &rr.rows, &rr.cols, &rr.colStep, &rr.rowStep);
  if (net < 0) return net;
  st.grid = fDropNetNew(x0, y0, rr.rows, rr.cols, rr.rowStep, rr.colStep);
  if (st.grid == nullptr) {
    return ctlFailMsg(kRoughStopGrid, kRoughMsgNoDropNet,
                      "* Fehler: DropNet kann nicht generiert werden");
  }
  if (fDropNetFill(st.grid, rr.run.model, nullptr, cutter.radius, cutter.cornerRadius) < 0) {
    return ctlFailMsg(kRoughStopGrid, kRoughMsgDrillPoints,
                      "* Fehler bei Berechnen der Bohrpunkte");
  }
  const double levelTop = st.top - g.aufmass + cutter.cornerRadius;
  st.levels = zlevNew(100, levelTop, st.bottom + cutter.cornerRadius);
  if (st.levels == nullptr) return ctlNoMemory();
  int lv = 1;
  if (g.usebndzval == 1) {
    if (g.outsideIn >= 2 && rr.region->z > levelTop) return 1;
    st.levels->zmax = DBL_MAX;
    st.levels->zmin = -DBL_MAX;
    lv = zlevInsert(st.levels, rr.region->z, 1.0, kZlevPlane);
  } else {
    if (g.stepMode == 2) {
      lv = g.outsideIn == 1 ? roughLevelsFromNetInside(st.levels, st.grid, rr.region, cutter.radius,
                                                       cutter.cornerRadius)
                            : roughLevelsFromNet2(st.levels, st.grid, cutter.cornerRadius);
    }
    if (lv >= 0) lv = zlevFillStepdown(st.levels, g.vertzustel);
  }
  if (lv < 0) return ctlNoMemory(kRoughStopLevelMemory);
  return 0;
}

// The highest tool tip over the grid nodes inside the region (or on its contour); -DBL_MAX when
// no node there holds a height.
double regionHighestTip(const RegionRun& rr) {
  const FloatDropNet* net = st.grid;
  double top = -DBL_MAX;
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      if (net->valid[r][c] == 0) continue;
      const Point2D p{net->x0 + c * net->colStep, net->y0 + r * net->rowStep};
      if (kontClassifyPoint(rr.region, p) == kClassOutside) continue;
      top = std::max(top, static_cast<double>(net->height[r][c]));
    }
  }
  return top;
}

// The rapids of the region travel at the clearance plane with the tool tip a corner radius below
// it: where the part inside the region reaches above that, they would run through the part, so
// the run stops with message 316 before the region writes anything.
int regionClearanceCheck(RegionRun& rr) {
  const double rapidTip = rr.run.g.sichebene - rr.run.model->cutter->cornerRadius;
  if (rapidTip + kClearanceTol >= regionHighestTip(rr)) return 0;
  return ctlFailMsg(kRoughStopFailed, kRoughMsgClearancePlane,
                    "* Warnung: Kollisionsgefahr, da Sicherheitsebene unterhalb der Teilgrenze");
}

// The drop range and profile-drop values that the flat-area finder's drop nets read from the
// model, where the model has none.
void roughDropDefaults(SurfaceModel* m) {
  if (m->ceilingZ > m->floorZ && m->step > 0 && m->tolerance > 0 && m->candidateLength > 0) return;
  m->floorZ = -kDropRangeOpen;
  m->ceilingZ = kDropRangeOpen;
  m->step = kDropStep;
  m->tolerance = kDropTolerance;
  m->candidateLength = kDropCandidateLength;
}

// Step 9: the flat areas of step mode 3, written to the flat-plane outline file for the second
// pass; with "*PLANES_EXACT" the exact finder over the flat faces (which also moves levels onto
// face heights), else the finder on the drop net. 0 go on; 1 the region ends here ("*PLANES_ONLY");
// negative stop.
int regionFlatAreas(RegionRun& rr) {
  GlobalParams& g = rr.run.g;
  if (g.stepMode != 3) return 0;
  SurfaceModel* model = rr.run.model;
  int r = 0;
  if (g.planesExact != 0) {
    WalkTool tool{model->cutter->radius, model->cutter->cornerRadius, model->cutter->type};
    WalkParams wp{};
    wp.tolerance = g.precision;
    wp.direction = 1;
    wp.mode = 1;
    wp.model = model;
    WorkLists& w = rr.run.w;
    SliceContext slice{nullptr, nullptr, w.traced, w.work, w.starts};
    r = zrupp2genOptiStepBnds(&rr.run.ctx, &tool, &wp, &slice, g.planeFactor, st.grid, st.levels,
                              st.names[kFlatPlaneName]);
    rr.run.ctx.region = rr.region;
  } else {
    roughDropDefaults(model);
    r = stepOptFlatAreaBounds(model, rr.region, st.levels);
  }
  if (r == kRoughStopBreak) {
    rr.breakValue = 1;  // a break polled by the finder's slicing stops at once
    return kRoughStopBreak;
  }
  if (r < 0) return ctlFailMsg(r, kRoughMsgComputation, "* Error in computation");
  return g.planesOnly != 0 ? 1 : 0;
}

// Steps 10 and 11: the raster of the levels, the plunge cells and the model reduced to the
// region. 0 or a negative stop.
int regionPlungeCells(RegionRun& rr) {
  GlobalParams& g = rr.run.g;
  st.raster = gridRasterNew(st.grid, rr.rows, rr.cols, rr.rowStep, rr.colStep);
  st.cells = gridCellListNew(100);
  if (st.raster == nullptr || st.cells == nullptr) return ctlNoMemory();
  if (g.zustellOk != 0) {
    RasterCell cell{};
    Point2D p{};
    const Point3D start{g.zustellPtTcs[0], g.zustellPtTcs[1], g.zustellPtTcs[2]};
    const int found = roughPlungePoints(st.grid, &cell, &p, start, rr.region);
    if (found < 0) {
      return ctlFailMsg(found == kRoughNoNodeInside ? -24 : found, kRoughMsgDrillPoints,
                        "* Fehler bei Berechnen der Bohrpunkte");
    }
    if (gridCellListAdd(st.cells, st.raster, cell.row, cell.col, cell.value) < 0) {
      return ctlNoMemory();
    }
  } else if (g.outsideIn == 1 && st.levels->count > 0) {
    if (roughStartPointsFromBox(0.1, rr.region, rr.run.model, st.levels->z[st.levels->count - 1]) <
        0) {
      return ctlFailMsg(kRoughStopFailed, kRoughMsgStartCollides, "* Error startpoint collides");
    }
  }
  roughSortCellsByDistance(st.cells);
  WalkParams wp{};
  wp.mode = 1;
  wp.model = rr.run.model;
  const double radius = rr.run.model->cutter->radius;
  arczReduceElements(&rr.run.ctx, &radius, &wp);
  return 0;
}

// Recording a level (step 13.9): each piece of the slice becomes a Z path at height z, flagged
// (too small to pocket, plane level, outside-in pass) and appended to the Z-path file; unless the
// region's own height is the level, the level's paths cull the candidates. The traced contours are
// drawn. 0, or a negative stop when the file cannot be written.
int levelRecord(RegionRun& rr, double z, int plane) {
  GlobalParams& g = rr.run.g;
  WorkLists& w = rr.run.w;
  const SurfaceModel* model = rr.run.model;
  ZPathList* level = g.usebndzval == 0 ? zpathListNew(8) : nullptr;
  bool keep = level != nullptr;
  for (int k = 0; k < w.starts->count; ++k) {
    const int from = w.starts->items[k];
    const int to = k + 1 < w.starts->count ? w.starts->items[k + 1] : w.traced->count;
    zpathReset(w.path);
    w.path->z = z;
    if (zpathFromPko(w.path, w.traced, from, to) != 1) continue;
    if (g.skipSmallPockets == 1 && w.path->materialInside == 0 &&
        zpathExceedsSize(w.path, g.skipFactor * model->cutter->radius) == 0) {
      zpathSetFlags(w.path, ZP_TOO_SMALL);
      ++st.smallCount;
      st.smallLowest = std::min(st.smallLowest, z - roughTipLength(g));
    }
    if (plane != 0) zpathSetFlags(w.path, ZP_PLANE_LEVEL);
    if (g.outinOpt == 1) {
      zpathFileAppendContours(st.names[0], rr.region, z, plane);
      zpathSetFlags(w.path, ZP_OUTIN_PASS | ZP_HAS_BOUNDARY_COPY);
    }
    if (zpathFileAppend(st.names[0], w.path) != 1) {
      zpathListFree(level);
      return ctlFailMsg(kRoughStopFailed, kRoughMsgDiskFull,
                        "* Fehler: Kein Plattenplatz mehr verfuegbar");
    }
    if (keep && (zpathListAdd(level, w.path) != 1 || std::fabs(w.path->area) < 1.0)) keep = false;
  }
  if (keep && level->count > 0) zpathListCullCollisionSet(level, &rr.run.ctx, &rr.tool);
  zpathListFree(level);
  if (levelOutDrawContours(w.traced, nullptr) < 0) return ctlNoMemory();
  return 0;
}

// The give-up messages of the retry rule.
int retryStop(int rule) {
  switch (rule) {
    case -2: msgSendInt(9, kRoughMsgUserBreak, "* User-Break", 0); return kRoughStopBreak;
    case -5:
      return ctlFailMsg(kRoughStopFinishPath, kRoughMsgFinishPath,
                        "* Cannot calculate finishpath ");
    case -43:
      return ctlFailMsg(kRoughStopRoughPath, kRoughMsgRoughPath,
                        "* Cannot calculate roughingpath completely");
    case -1000:
      return ctlFailMsg(kRoughStopLevelGivenUp, kRoughMsgComputation, "* Error in computation");
    default: return ctlFailMsg(kRoughStopFailed, kRoughMsgComputation, "* Error in computation");
  }
}

// Step 13.6: one slice of the level at the attempt's height and tolerance into the work lists;
// the result becomes the attempt's slice result (0 without slicing under bit 8 of "*GRDRAW").
void levelSlice(RegionRun& rr, RegionTry* attempt) {
  GlobalParams& g = rr.run.g;
  WorkLists& w = rr.run.w;
  const CutterShape& cutter = *rr.run.model->cutter;
  st.stepDepth = std::max(
      g.vertzustel, std::min(st.lastLevel - attempt->z, st.top + cutter.zOffset - attempt->z));
  if (st.stepDepth < 0) st.stepDepth = 0.1;
  pkoListReset(w.traced);
  pkoListReset(w.work);
  lstIntReset(w.starts);
  if ((g.grdraw & 0x100) != 0) {
    attempt->sliceResult = 0;
    return;
  }
  WalkParams wp{};
  wp.tolerance = attempt->tolerance;
  wp.z = attempt->z;
  wp.direction = g.seite == 1 ? -1 : 1;
  wp.model = rr.run.model;
  wp.mode = 1;
  wp.shuffleSeed = attempt->retries;
  CollCtx* ctx = &rr.run.ctx;
  if (g.outinOpt == 1 && rr.run.outsideBox != nullptr) {
    rr.run.outsideBox->z = attempt->z;
    ctx->region = rr.run.outsideBox;
  }
  SliceContext slice{st.raster, nullptr, w.traced, w.work, w.starts};
  attempt->sliceResult = sliceFn != nullptr ? sliceFn(ctx, &rr.tool, &wp, &slice)
                                            : arczLevelPaths(ctx, &rr.tool, &wp, &slice);
  ctx->region = rr.region;
}

// One level with its retries (steps 13.5 to 13.10). 0 the next level; 1 the region's levels end
// here (material was seen above and this level has none); negative stop.
int levelAttempts(RegionRun& rr, double z, int plane) {
  GlobalParams& g = rr.run.g;
  RegionTry attempt = roughRegionTry(z, g.precision, g.stepStrategy);
  roughRetryReset();
  bool endRegion = false;
  for (;;) {
    levelSlice(rr, &attempt);
    const int brk = out3dCheckBreak();
    if (brk != 0) {
      rr.breakValue = brk;
      return kRoughStopBreak;
    }
    rr.levelEmpty = false;
    if (attempt.sliceResult >= 0) {
      const bool pieces = attempt.sliceResult > 0 && rr.run.w.starts->count > 0;
      rr.levelEmpty = !pieces;
      if (pieces) {
        rr.materialSeen = true;
      } else if (rr.materialSeen) {
        endRegion = true;
      } else {
        rr.emptyDepth = std::min(rr.emptyDepth, z - rr.run.model->cutter->zOffset - 0.01);
      }
    }
    if (attempt.sliceResult > 0) {
      const int made = levelRecord(rr, attempt.z, plane);
      if (made < 0) return made;
    }
    const int rule = roughRetryRule(&attempt);
    if (rule == 1) {
      st.lastLevel = attempt.z;
      return endRegion ? 1 : 0;
    }
    if (rule == kRoughRetry) continue;
    // A cancelled slice is a break that stops at once.
    if (rule == -2) rr.breakValue = 1;
    return retryStop(rule);
  }
}

// Step 13: the levels of the region from the top down. 0 or a negative stop.
int regionLevelLoop(RegionRun& rr) {
  GlobalParams& g = rr.run.g;
  WorkLists& w = rr.run.w;
  const double corner = rr.run.model->cutter->cornerRadius;
  for (int i = 0; i < st.levels->count; ++i) {
    const double z = st.levels->z[i];
    gridRasterClassify(st.grid, g.zustellOk != 0 ? st.cells : nullptr, z - corner, st.raster);
    st.lastLevel = std::min(st.lastLevel, st.top);
    if (g.usebndzval != 0) {
      for (; rr.run.regionsReported <= rr.index; ++rr.run.regionsReported) {
        msgSendInt2(9, kRoughMsgRegion, "* Region %d / %d", rr.run.regionsReported + 1,
                    rr.run.regionCount);
      }
    } else {
      msgSendInt2(9, kRoughMsgLevel, "* Level %d / %d", i + 1, st.levels->count);
    }
    if (roughLevelNoFreeCell(st.raster, rr.region) != 0) continue;
    try {
      w.levelsDone.push_back(z);
      w.allFree.push_back(static_cast<std::int8_t>(roughLevelAllCellsFree(st.raster, rr.region)));
    } catch (...) {
      return ctlNoMemory();
    }
    const int done = levelAttempts(rr, z, st.levels->flag[i]);
    if (done < 0) return done;
    // A level is cleared whole only where its own slice found the region free: grid nodes that
    // are all free do not prove it (the slice sees the part between them), and neither does a
    // region step that finds no Z path at or above the level.
    if (!rr.levelEmpty) w.allFree.back() = 0;
    if (done == 1) break;
  }
  return 0;
}

// Steps 10.6 to 10.13 for one region (offset, rounding and triangulation done): candidates, grid
// and levels, the clearance check, flat areas, plunge cells and the level loop. 0 go on to the
// pocketing; 1 the region ends before it; negative stop.
int regionLevels(RegionRun& rr) {
  const CutterShape& cutter = *rr.run.model->cutter;
  rr.tool = WalkTool{cutter.radius, cutter.cornerRadius, cutter.type};
  int r = regionCandidates(rr);
  if (r == 0) r = regionGridAndLevels(rr);
  if (r == 0) r = regionClearanceCheck(rr);
  if (r == 0) r = regionFlatAreas(rr);
  if (r == 0) r = regionPlungeCells(rr);
  if (r == 0) r = regionLevelLoop(rr);
  return r;
}

// Step 11: close the output, free everything, report. The stop code is returned.
int finishRun(int stop, MachiningParams* params, SurfaceModel* model, const CutterShape& cutter,
              std::int64_t startMs) {
  SurfaceModel* copy = model != nullptr ? modelCopy(model) : nullptr;
  if (copy != nullptr && copy->cutter != nullptr) {
    *copy->cutter = cutter;
    copy->cutter->radius = std::max(0.0, cutter.radius - roughRunModel()->minStep);
  }
  const int finished = finishFn != nullptr ? finishFn(params, copy != nullptr ? copy : model)
                                           : emitFinish(params, copy != nullptr ? copy : model);
  modelFree(copy);
  // The run's memory is released whether or not the output could be closed.
  roughFreeAll(model);
  if (finished < 0) {
    msgSendInt(9, kRoughMsgDiskFull, "* Fehler: Kein Plattenplatz mehr verfuegbar", 0);
    return ctlFail(kRoughStopFailed);
  }
  if (stop == kRoughStopQuiet) stop = 0;
  const long seconds = static_cast<long>((platSteadyMillis() - startMs) / 1000);
  if (std::FILE* f = std::fopen(kRoughReportFile, "a+")) {
    std::fprintf(f, "stopcode: %d\n", stop);
    std::fprintf(f, "geszeit: %ld\n", seconds);
    std::fclose(f);
  }
  return stop;
}

// Steps 10.1 to 10.3: offset, rounding and triangulation of one region. 0 go on, 1 skip the
// region, negative stop.
int prepareRegion(const GlobalParams& g, Kont2D* region) {
  if (g.usebndzval == 0) {
    const double r0 = g.bndNoreduce != 0 ? 0.0 : 0.1;
    double offset =
        g.boundMode == 2 ? -(g.frradius - r0) : (g.boundMode == 3 ? g.frradius - r0 : 0);
    if (std::fabs(g.boundOffset) >= 0.00001) offset += g.boundOffset;
    if (std::fabs(offset) >= 0.00001) {
      const int off = kontOffsetInPlace(region, offset);
      if (off <= 0) msgSendInt(9, kRoughMsgCantOffset, "* can't offset boundary", 0);
      if (off == 0) return 1;
      if (off < 0) return ctlFail(off);
    }
  }
  if (g.filletPocket == 0 && g.filletCorners != 0 && g.filletRadius > 0.01) {
    const int f = kontFillet(region, g.filletRadius);
    if (f == 0) return 1;
    if (f < 0) return ctlFailMsg(f, kRoughMsgCantOffset, "* can't offset boundary");
  }
  triMeshFree(region->mesh);
  region->mesh = triPolyTriangulate(region);
  if (region->mesh == nullptr) {
    if (geoErrCode() == -34) {
      msgSendInt(9, kRoughMsgBoundaryCorrupt, "* Error reading boundary", 0);
      return ctlFail(-34);
    }
    ctlFail(kRoughStopTriangulation);
  }
  return 0;
}

// Step 8: the regions of the run and the loaded model; null with *stop set on failure.
Kont2D* loadRegions(GlobalParams& g, SurfaceModel* model, double boundOffset, int sense,
                    int* stop) {
  Kont2D* regions = nullptr;
  const CutterShape& cutter = *model->cutter;
  if (g.boundary[0] != '\0' && g.boundary[0] != ' ') {
    regions = kontReadBnd(g.boundary, sense, g.usebndzval);
    if (regions == nullptr) {
      msgSendInt(9, kRoughMsgBoundaryCorrupt, "* Boundary corrupt", 0);
      *stop = ctlFail(geoErrCode() < 0 ? geoErrCode() : kRoughStopFailed);
      return nullptr;
    }
    if (st.planePass != 0 && g.zsort != 0) roughStandInOrderByLevel(&regions);
    double box[4];
    if (chainBox(regions, box)) {
      st.box = kontNewRect(Point2D{box[0] - boundOffset, box[1] - boundOffset},
                           Point2D{box[2] + boundOffset, box[3] + boundOffset});
    }
    double m = std::max(g.macroSrad, g.macroErad);
    if (g.macroTmode == 2) m = std::max(m, g.macroTrad);
    m += 2 * cutter.radius;
    if (g.outsideIn == 1) m += cutter.radius;
    if (g.holdcheck != 0) m += toolAssemblyMaxDiameter(&roughMachiningParams()->tool);
    // A model that does not load is a missing model (-1), whatever the loader's code: -2 would
    // read as a user break.
    if (roughReadModel(model, g.approx, regions, m) < 0) {
      kontFree(regions);
      st.modelMissing = 1;
      *stop = ctlFail(kRoughStopFailed);
      return nullptr;
    }
    return regions;
  }
  if (roughReadModel(model, g.approx, nullptr, 0) < 0) {
    st.modelMissing = 1;
    *stop = ctlFail(kRoughStopFailed);
    return nullptr;
  }
  const double grow = 3.111 * cutter.radius;
  Point3D lo = model->boxMin, hi = model->boxMax;
  // Each sub-model's box is grown by its own cutter's 3.111 radii.
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    const double sg = 3.111 * s->cutter.radius;
    lo.x = std::min(lo.x, s->boxMin.x - sg + grow);
    lo.y = std::min(lo.y, s->boxMin.y - sg + grow);
    hi.x = std::max(hi.x, s->boxMax.x + sg - grow);
    hi.y = std::max(hi.y, s->boxMax.y + sg - grow);
  }
  const double ext[3] = {hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
  if (ext[0] > 1000000 || ext[1] > 1000000 || ext[2] > 1000000) {
    char text[128];
    std::snprintf(text, sizeof text, "%lg, %lg, %lg", model->boxMax.x - model->boxMin.x,
                  model->boxMax.y - model->boxMin.y, model->boxMax.z - model->boxMin.z);
    msgSendText(9, kRoughMsgBigModel, "* Modelfile probably damaged, extension is %s", text);
  }
  Boundary* rect = bndNewRect(lo.x - grow, hi.x + grow, lo.y - grow, hi.y + grow);
  if (rect == nullptr) {
    *stop = ctlNoMemory();
    return nullptr;
  }
  regions = kontFromRingList(rect, sense, g.usebndzval);
  bndFree(rect);
  if (regions == nullptr) {
    msgSendInt(9, kRoughMsgBoundaryCorrupt, "* Boundary corrupt", 0);
    *stop = ctlFail(kRoughStopFailed);
    return nullptr;
  }
  st.box = kontCopy(regions);
  return regions;
}

// ---- the run ------------------------------------------------------------------------------------

// Steps 4 to 6: the parameter fixes of the run, top and bottom, the regions' sense. Returns the
// amount by which the boundary box grows.
double controlFixParameters(ControlRun& run) {
  GlobalParams& g = run.g;
  if (g.bearbeitricht != 3) g.axisPocket = 1;
  if (g.slopeMode == 1 && g.finishPass != 2) {
    msgSendInt(9, kRoughMsgSlopeMode, "* Warning: Slope mode only with Z-finishing possible", 0);
    g.slopeMode = 0;
  }
  if (g.aufmass > 0.001) g.collTolerance += g.aufmass / 4;
  const int boundMode = roughRunModel()->boundaryMode;
  double boundOffset = boundMode == 2 ? g.frradius : (boundMode == 3 ? -g.frradius : 0.0);
  if (std::fabs(g.boundOffset) >= 0.00001) boundOffset -= g.boundOffset;
  if (g.planesOnly != 0 && g.stepMode == 3) g.vertzustel = st.top - st.bottom;
  st.top = g.oberfl;
  st.bottom = g.tief - g.aufmass;
  g.vertzustel = std::min(g.vertzustel, st.top - st.bottom);
  // The regions' outer contours run counter-clockwise for machining side 1, clockwise otherwise;
  // the walk's own sense is set per level (the opposite sign).
  run.sense = g.seite == 1 ? 1 : -1;
  return boundOffset;
}

// Steps 2 to 9: names, parameter fixes, work lists, regions and model, the clearance plane
// against the stock, the model's index, the candidate context and the APT list. 0 or a negative
// stop.
int controlSetUp(ControlRun& run) {
  GlobalParams& g = run.g;
  int stop = buildNames(g);
  if (stop < 0) return stop;
  geoSetWorkDir(g.tmpDir);
  stepOptSetPlaneFile(st.names[kFlatPlaneName]);
  // A fresh dump per run: the appending writer never truncates, and a stale region of an earlier
  // job would be pocketed again by the stock-rest pass.
  if (boundaryDump != 0 && geoFileExists(roughBoundaryDumpFile()) == 1) {
    platRemoveFile(roughBoundaryDumpFile());
  }

  const double boundOffset = controlFixParameters(run);
  if (!run.w.ok()) return ctlNoMemory();
  run.regions = loadRegions(g, run.model, boundOffset, run.sense, &stop);
  if (stop < 0) return stop;
  if (run.regions == nullptr || st.box == nullptr) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgBoundaryCorrupt, "* Boundary corrupt");
  }
  // Rapids travel at the clearance plane with the tool tip a corner radius below it: below the
  // stock top they would run through the stock.
  const double rapidTip = g.sichebene - run.model->cutter->cornerRadius;
  if (rapidTip + kClearanceTol < st.top) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgClearancePlane,
                      "* Warnung: Kollisionsgefahr, da Sicherheitsebene unterhalb der Teilgrenze");
  }
  st.partAbovePlane = rapidTip + kClearanceTol < run.model->boxMax.z ? 1 : 0;
  WalkParams wp{};
  wp.mode = 1;
  wp.model = run.model;
  if (modelBuildIndex(run.model) < 0) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgNoIndex,
                      "* Fehler: Optimierungsliste kann nicht generiert werden");
  }
  if (collCtxAlloc(&run.ctx, &wp) < 0) return ctlNoMemory();
  run.apt = pathListNew(1000, 1);
  if (run.apt == nullptr) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgNoAptMemory,
                      "* Fehler: Kein Speicher fuer APT-Punkte");
  }
  roughSetDropTool(run.model);
  bndResetState();
  for (const Kont2D* r = run.regions; r != nullptr; r = r->next) ++run.regionCount;
  if (g.outinOpt == 1) {
    run.outsideBox = roughBoundaryBox(g.frradius, run.model, run.regions);
    if (run.outsideBox == nullptr) return ctlNoMemory(kRoughStopOutsideBox);
  }
  return 0;
}

// Steps 14 to 16: the region's Z paths read back, ordered and handed to the per-region step.
// 0 or a negative stop.
int regionPocketing(RegionRun& rr) {
  GlobalParams& g = rr.run.g;
  WorkLists& w = rr.run.w;
  gridRasterFree(st.raster);
  st.raster = nullptr;
  fDropNetFree(st.grid);
  st.grid = nullptr;
  ZPathList* list = zpathListRead(st.names[0]);
  if (list == nullptr) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgComputation, "* Error in computation");
  }
  if (zpathListOrder(list, g.stepStrategy == 1 ? 2 : 0x11) < 0) {
    msgSendInt(9, kRoughMsgOrder, "* Problem: Taschen koennen nicht generiert werden", 0);
  }
  int stop = 0;
  if ((g.stepStrategy == 0 || g.stepStrategy == 1) && g.suppressNc == 0) {
    const RoughRegionInput input{rr.region,
                                 list,
                                 w.levelsDone.data(),
                                 w.allFree.data(),
                                 static_cast<int>(w.levelsDone.size()),
                                 rr.emptyDepth,
                                 rr.run.apt};
    int done = regionFn != nullptr ? regionFn(&input, rr.run.params, rr.run.model)
                                   : roughRegionToolpaths(&input, rr.run.params, rr.run.model);
    // A start or path collision of the region step stops the run as a collision.
    if (done == kRoughStartCollides) {
      msgSendInt(9, kRoughMsgStartCollides, "* Error startpoint collides", 0);
      done = kRoughStopCollision;
    }
    if (done < 0) stop = ctlFail(done);
  }
  zpathListFree(list);
  if (stop >= 0 && (rr.breakValue != 0 || out3dCheckBreak() != 0)) stop = ctlFail(kRoughStopBreak);
  return stop;
}

// Step 10 for one region: offset, rounding, triangulation, the lowered grid factor, the levels
// and the pocketing; the region's resources are freed on every exit. 0 or a negative stop.
int controlRegion(ControlRun& run, Kont2D* region, int index) {
  GlobalParams& g = run.g;
  const int prepared = prepareRegion(g, region);
  if (prepared != 0) return prepared < 0 ? prepared : 0;
  if (boundaryDump != 0 && roughWriteBoundary(region) < 0) {
    return ctlFailMsg(kRoughStopFailed, kRoughMsgDiskFull,
                      "* Fehler: Kein Plattenplatz mehr verfuegbar");
  }
  if (region->count > 4 || region->child != nullptr) {
    if (g.gridFactor > 0.3) {
      g.gridFactor = 0.3;
    } else if (g.gridFactor > 0.1) {
      g.gridFactor = 0.1;
    }
  }
  if ((g.grdraw & 0x100) == 0) zpathFileTruncate(st.names[0]);
  run.w.levelsDone.clear();
  run.w.allFree.clear();
  RegionRun rr{run, region, index};
  int stop = regionLevels(rr);
  if (stop == kRoughStopBreak && rr.breakValue == 1) {
    stop = ctlFail(kRoughStopBreak);
  } else if (stop < 0 && stop != kRoughStopBreak) {
    // the step's own stop
  } else if (stop == 1) {
    stop = 0;  // the region ends before its pocketing (planes only, or above the top)
  } else {
    stop = regionPocketing(rr);
  }
  freeRegionResources();
  triMeshFree(region->mesh);
  region->mesh = nullptr;
  g.gridFactor = run.gridFactor;
  return stop;
}

int controlRun(ControlRun& run) {
  int stop = controlSetUp(run);
  int index = 0;
  for (Kont2D* region = run.regions; stop >= 0 && region != nullptr;
       region = region->next, ++index) {
    stop = controlRegion(run, region, index);
  }
  if (stop >= 0 && st.partAbovePlane != 0) {
    // The part rises above the clearance plane outside the machining regions only: allowed.
    msgSendInt(9, kRoughMsgClearancePlane,
               "* Warnung: Kollisionsgefahr, da Sicherheitsebene unterhalb der Teilgrenze", 0);
  }
  return stop;
}

}  // namespace

RegionTry roughRegionTry(double z, double tolerance, int stepStrategy) {
  RegionTry r{};
  r.sliceResult = 1;
  for (std::int32_t& u : r.unused) u = 1;
  r.secondResult = 1;
  r.z = z;
  r.tolerance = tolerance;
  r.stepStrategy = stepStrategy;
  r.one = 1;
  r.zero = 0;
  r.retries = 0;
  return r;
}

void roughRetryReset() { st.retries = 0; }

int roughRetryRule(RegionTry* r) {
  if (r == nullptr) return -1;
  if (r->sliceResult == -1 || r->secondResult == -1) return -1;
  if (r->sliceResult == -2 || r->secondResult == -2) return -2;
  if (r->sliceResult >= 0) {
    st.retries = 0;
    return r->secondResult >= 0 ? 1 : -1000;
  }
  const int before = st.retries++;
  if (before >= kRoughMaxRetries) {
    if (r->sliceResult == -5) return -5;
    if (r->sliceResult == -43) return -43;
    return -1000;
  }
  const int n = st.retries;
  r->tolerance *= 0.5;
  r->z += (n % 2 == 1 ? -1.0 : 1.0) * n * kRoughRetryShift;
  r->sliceResult = 1;
  r->secondResult = 1;
  ++r->retries;
  return kRoughRetry;
}

int roughControl(MachiningParams* params, SurfaceModel* model) {
  const std::int64_t startMs = platSteadyMillis();
  st.modelMissing = 0;
  if (params == nullptr)
    return ctlFailMsg(kRoughStopFailed, kRoughMsgComputation, "* Error in computation");
  if (model == nullptr || model->cutter == nullptr) {
    st.modelMissing = 1;
    return ctlFail(kRoughStopFailed);
  }
  const CutterShape cutter = *model->cutter;
  int stop = kRoughStopFailed;
  try {
    ControlRun run(*parGlobalBlock(), params, model);
    stop = controlRun(run);
  } catch (...) {
    // Texts and level records that found no memory: the run's lists are freed on the way out.
    stop = ctlNoMemory();
  }
  return finishRun(stop, params, model, cutter, startMs);
}

int roughControlModelMissing() { return st.modelMissing; }

double roughTipLength(const GlobalParams& g) {
  // The controller's points lie where the cutter's corner centres are: the ball centre, the
  // torus corner circle, the flat end mill's own tip. Shifting a flat end mill by its radius
  // would put every cut one radius too low, into the part.
  if (g.frtyp == 2) return 0.0;
  if (g.frtyp == 3) return g.frbogen;
  return g.frradius;
}

void roughReportSmallPockets() {
  if (st.smallCount <= 0) return;
  char level[kNumTextSize];
  numFormat(level, st.smallLowest / unitFactor);
  char text[160];
  std::snprintf(text, sizeof text, "%d small pocket%s left uncut, the lowest at level %s",
                st.smallCount, st.smallCount == 1 ? "" : "s", level);
  msgSendText(9, kRoughMsgSkipSmall, "* Skip small pocket", text);
  st.smallCount = 0;
  st.smallLowest = DBL_MAX;
}

int roughReadModel(SurfaceModel* model, const char* file, const Kont2D* regions, double margin) {
  if (model == nullptr || file == nullptr) return ctlFail(kRoughStopFailed);
  Kont2D* around = nullptr;
  const Kont2D* filter = regions;
  if (regions != nullptr && regions->next != nullptr) {
    double box[4];
    if (chainBox(regions, box)) {
      around = kontNewRect(Point2D{box[0], box[1]}, Point2D{box[2], box[3]});
      if (around == nullptr) return ctlFail(kRoughStopFailed);
    }
    filter = around;
  }
  roughSetModelFilter(filter, filter != nullptr ? margin : -1.0);
  polyhedronSetFaceFilter(roughModelBoxFilter);
  const GlobalParams& g = *parGlobalBlock();
  const int result =
      g.extraCount > 0 ? modelLoadWithExtra(model, file, g.extra3df) : modelLoadFile(model, file);
  polyhedronClearFaceFilter();
  roughSetModelFilter(nullptr, -1.0);
  kontFree(around);
  return result;
}

Kont2D* roughBoundaryBox(double margin, const SurfaceModel* model, const Kont2D* regions) {
  double box[4];
  if (regions == nullptr || !chainBox(regions, box)) return nullptr;
  forEachContour(regions, [&](const Kont2D* k) {
    if (k->count <= 0) return;
    box[0] = std::min(box[0], k->xmin);
    box[1] = std::min(box[1], k->ymin);
    box[2] = std::max(box[2], k->xmax);
    box[3] = std::max(box[3], k->ymax);
  });
  if (model != nullptr && model->boxMin.x <= model->boxMax.x) {
    box[0] = std::min(box[0], model->boxMin.x);
    box[1] = std::min(box[1], model->boxMin.y);
    box[2] = std::max(box[2], model->boxMax.x);
    box[3] = std::max(box[3], model->boxMax.y);
  }
  const double m = 2 * margin;
  Kont2D* rect = kontNewRect(Point2D{box[0] - m, box[1] - m}, Point2D{box[2] + m, box[3] + m});
  if (rect != nullptr) rect->closed = 1;
  return rect;
}

int roughJoinDirFile(char* out, std::size_t size, const char* directory, const char* name) {
  return pathJoinDirName(out, size, directory, name);
}

int roughLevelNoFreeCell(const Raster* raster, const Kont2D* region) {
  if (raster == nullptr || region == nullptr) return 1;
  for (int r = 0; r < raster->rows; ++r) {
    for (int c = 0; c < raster->cols; ++c) {
      if (raster->cells[r][c] != kRasterFree) continue;
      const Point2D p{raster->x0 + c * raster->colStep, raster->y0 + r * raster->rowStep};
      if (kontClassifyPoint(region, p) == 2) return 0;
    }
  }
  return 1;
}

int roughLevelAllCellsFree(const Raster* raster, const Kont2D* region) {
  if (raster == nullptr || region == nullptr) return 0;
  for (int r = 0; r < raster->rows; ++r) {
    for (int c = 0; c < raster->cols; ++c) {
      if (raster->cells[r][c] == kRasterFree) continue;
      const Point2D p{raster->x0 + c * raster->colStep, raster->y0 + r * raster->rowStep};
      if (kontClassifyPoint(region, p) == 2) return 0;
    }
  }
  return 1;
}

const char* roughBoundaryDumpFile() {
  const char* name = st.names[kBoundaryDumpName];
  return name[0] != '\0' ? name : kBoundaryDumpDefault;
}

int roughWriteBoundary(const Kont2D* region) {
  if (region == nullptr || region->count <= 0) return 0;
  // The writer follows next: a shallow copy without it writes this region alone.
  Kont2D alone = *region;
  alone.next = nullptr;
  return kontAppendBnd(&alone, roughBoundaryDumpFile());
}

void roughSetBoundaryDump(int on) { boundaryDump = on != 0 ? 1 : 0; }
int roughBoundaryDumpOn() { return boundaryDump; }

void roughFreeAll(SurfaceModel* model) {
  roughSetDropTool(nullptr);
  if (model != nullptr) modelFreeContents(model);
  kontFree(st.box);
  st.box = nullptr;
  freeRegionResources();
  holderFreeCollisionModel();
}

void roughSetDropTool(const SurfaceModel* model) {
  roughGougeSetModel(nullptr);
  modelFree(st.dropModel);
  st.dropModel = nullptr;
  if (model == nullptr || model->cutter == nullptr) return;
  SurfaceModel* copy = modelCopy(model);
  if (copy == nullptr) return;
  copy->cutter->radius = std::max(0.0, copy->cutter->radius - 0.01);
  zfinToolAddAllowance(copy->cutter, 0.0, 1);
  st.dropModel = copy;
  roughGougeSetModel(copy);
}

void roughSetModelFilter(const Kont2D* regions, double margin) {
  st.filterRegions = regions;
  st.filterMargin = margin;
}

int roughModelBoxFilter(int count, const double* x, const double* y, const double* z) {
  if (st.filterRegions == nullptr || st.filterMargin < 0) return 1;
  if (x == nullptr || y == nullptr || z == nullptr || count < 1) return 1;
  // The exchange-file reader hands over the corners as the file holds them and maps them through
  // the mesh frame and scale into the tool system (the mesh mapping is on while it reads); the
  // STL and facet-file loaders map the file's corners into the tool system alone. The regions lie
  // in the tool system, so the corners must be mapped the same way before they are compared.
  const int meshMapping = cyc3dSetMeshToolSystem(0);
  cyc3dSetMeshToolSystem(meshMapping);
  double box[4] = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (int i = 0; i < std::min(count, 4); ++i) {
    Point3D p{x[i], y[i], z[i]};
    if (meshMapping != 0) {
      cyc3dTransformPoint(&p);
      cyc3dScalePoint(&p);
    }
    csysWorldToTool(&p);
    box[0] = std::min(box[0], p.x);
    box[1] = std::min(box[1], p.y);
    box[2] = std::max(box[2], p.x);
    box[3] = std::max(box[3], p.y);
  }
  const double m = st.filterMargin;
  for (const Kont2D* r = st.filterRegions; r != nullptr; r = r->next) {
    if (box[0] - m <= r->xmax && box[2] + m >= r->xmin && box[1] - m <= r->ymax &&
        box[3] + m >= r->ymin) {
      return 1;
    }
  }
  return 0;
}

void roughStartCandidates(const Kont2D* region, double c, double h, Point3D cand[4][2]) {
  const double mx = 0.5 * (region->xmin + region->xmax), my = 0.5 * (region->ymin + region->ymax);
  const Point3D sides[4][2] = {
      {{mx, region->ymin - c, h}, {mx, region->ymin, h}},
      {{mx, region->ymax + c, h}, {mx, region->ymax, h}},
      {{region->xmin - c, my, h}, {region->xmin, my, h}},
      {{region->xmax + c, my, h}, {region->xmax, my, h}},
  };
  for (int k = 0; k < 4; ++k) {
    cand[k][0] = sides[k][0];
    cand[k][1] = sides[k][1];
  }
}

int roughStartPointsFromBox(double a, const Kont2D* region, const SurfaceModel* model,
                            double lowestLevel) {
  GlobalParams& g = *parGlobalBlock();
  if (g.outsideIn != 1 || region == nullptr || model == nullptr || model->cutter == nullptr) {
    return 0;
  }
  if (g.zustellOk != 0) return 1;
  Point3D sides[4][2];
  roughStartCandidates(region, model->cutter->radius + g.macroSrad, g.aufmass + lowestLevel + a,
                       sides);
  for (const auto& s : sides) {
    if (collCheckMove(s[0], s[1], model, a) == 1) {
      g.zustellOk = 1;
      roughSetPlungePoint(Point2D{s[0].x, s[0].y});
      return 1;
    }
  }
  return -1;
}

void roughControlSetPlanePass(int flag) { st.planePass = flag != 0 ? 1 : 0; }
int roughControlPlanePass() { return st.planePass; }
void roughSetRegionFn(RoughRegionFn fn) { regionFn = fn; }
void roughSetSliceFn(RoughSliceFn fn) { sliceFn = fn; }
void roughSetFinishFn(RoughFinishFn fn) { finishFn = fn; }
double roughStepDepth() { return st.stepDepth; }
double roughLastLevelHeight() { return st.lastLevel; }
const char* roughAptStem() { return st.aptStem; }
const char* roughZpathFile() { return st.names[0]; }
const char* roughFlatPlaneFile() { return st.names[1]; }

void roughControlResetState() {
  roughGougeSetModel(nullptr);
  modelFree(st.dropModel);
  kontFree(st.box);
  st.box = nullptr;
  freeRegionResources();
  st = ControlState{};
}
