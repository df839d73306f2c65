// rough_control.h - the roughing controller: for each region of the boundary (or the model box)
// it builds the drop grid and the Z levels, slices the model level by level from the top down
// into tool-centre Z paths (retrying a failed level with a finer walk and a slightly shifted
// height), appends them to the region's Z-path file, reads them back in machining order and hands
// them to the per-region toolpath step; at the end it closes the output and reports the stop code
// and the run time. Also here: the drop tool of the gouge check and the facet filter used while
// the model loads.
//
// Lengths are scaled (tool radius 10). Run state (roughControlResetState): the last level height,
// the temporary names, the facet filter and the drop model.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cycles/machining_params.h"
#include "framework/global_params.h"
#include "geometry/kont2d.h"
#include "geometry/path_list.h"
#include "geometry/raster.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"
#include "model/surface_model.h"

// Stop codes of the controller (besides a step's own negative code).
inline constexpr int kRoughStopFailed = -1;
inline constexpr int kRoughStopBreak = -2;  // a user break, and nothing else
inline constexpr int kRoughStopLevelMemory = -3;
inline constexpr int kRoughStopFinishPath = -5;
inline constexpr int kRoughStopRoughPath = -43;
inline constexpr int kRoughStopLevelGivenUp = -1000;
inline constexpr int kRoughStopOutsideBox = -34;
inline constexpr int kRoughStopTriangulation = -35;
// A collision stopped the run (a start collision of the region step, later the emitter's): its
// own code, so that the status word says failure and not user break.
inline constexpr int kRoughStopCollision = -44;
// The stop code that the end of the run turns into 0.
inline constexpr int kRoughStopQuiet = -10;

// Result of roughRetryRule asking for another attempt.
inline constexpr int kRoughRetry = INT32_MIN;
// Attempts of one level: the first and 14 retries.
inline constexpr int kRoughMaxRetries = 14;
// The height shift per retry step and the report file.
inline constexpr double kRoughRetryShift = 0.001;
inline constexpr char kRoughReportFile[] = "rep.txt";

// Messages of the controller (level 9).
inline constexpr int kRoughMsgBadOutputName = 7;
inline constexpr int kRoughMsgRegion = 37;
inline constexpr int kRoughMsgCantOffset = 885;
inline constexpr int kRoughMsgBoundaryCorrupt = 705;
inline constexpr int kRoughMsgLevel = 3009;
inline constexpr int kRoughMsgUserBreak = 3002;
inline constexpr int kRoughMsgFinishPath = 2006;
inline constexpr int kRoughMsgRoughPath = 3507;
inline constexpr int kRoughMsgComputation = 3003;
inline constexpr int kRoughMsgNoMemory = 2001;
inline constexpr int kRoughMsgDrillPoints = 2000;
inline constexpr int kRoughMsgStartCollides = 3506;
inline constexpr int kRoughMsgOrder = 852;
inline constexpr int kRoughMsgDiskFull = 325;
inline constexpr int kRoughMsgSlopeMode = 1180;
inline constexpr int kRoughMsgBigModel = 767;
inline constexpr int kRoughMsgClearancePlane = 316;
inline constexpr int kRoughMsgNoIndex = 305;
inline constexpr int kRoughMsgNoAptMemory = 311;
// A pocket too small for the tool was left uncut ("* Skip small pocket"): the emitter's per run,
// the controller's once per run with how many and the lowest level (roughReportSmallPockets).
inline constexpr int kRoughMsgSkipSmall = 1181;

// One level attempt carried into the retry rule. Fields in order.
struct RegionTry {
  std::int32_t sliceResult;   // result of the level slice; 1 before the first attempt
  std::int32_t unused[6];     // set to 1, read by nothing
  std::int32_t secondResult;  // 1; tested like the slice result
  double z;                   // the level height, shifted by the retries
  double tolerance;           // walk tolerance: "*PRECISION" at the level's start, halved per retry
  std::int32_t stepStrategy;  // "*STEP_STRATEGY"
  std::int32_t one;           // 1
  std::int32_t zero;          // 0
  std::int32_t retries;       // retries of this level; also the slice's shuffle seed
};
static_assert(offsetof(RegionTry, z) == 32 && offsetof(RegionTry, retries) == 60);

// A fresh attempt record for level z.
RegionTry roughRegionTry(double z, double tolerance, int stepStrategy);

// The retry rule (the retry counter is module state, 0 at the start of every level):
// -1 when either result is -1; -2 when either is -2; a slice result of 0 or more resets the
// counter and gives 1 (second result 0 or more) or -1000; a failed slice raises the counter and,
// when it was 14 or more before, gives up with -5, -43 (those slice results) or -1000; otherwise
// the tolerance is halved, the height moves by n x 0.001 (n the new counter; down for odd n, up
// for even n), both results become 1, retries is raised and the result is kRoughRetry.
int roughRetryRule(RegionTry* r);
// Sets the retry counter to 0 (start of a level).
void roughRetryReset();

// The controller. Returns the stop code: 0 or more success; -1 failure or missing model; -2 user
// break; -3 level list memory; -5, -43, -1000 a level given up; -24, -32, -34, -35 grid, region
// and triangulation failures; kRoughStopCollision a collision stop; other negative values a
// step's own code. Every failure but a missing model sends its own message (level 9); every exit
// closes the output and appends the stop code and the run time to "rep.txt".
// The clearance plane: rapids travel there with the tool tip a corner radius below it. Below the
// stock top ("*OBERFL"), or below the part's top inside a region (the highest drop-grid height of
// the region's nodes), the run stops with message 316 before that region writes a toolpath; a
// part that reaches above it only outside the regions is allowed, with 316 as a warning at the end.
// Step mode 3 writes each region's flat-area outlines to the flat-plane outline file
// ("*PLANES_EXACT": zrupp2genOptiStepBnds, which also moves levels onto face heights; else
// stepOptFlatAreaBounds). Each level's traced contours are drawn (levelOutDrawContours). Pockets
// too small for the tool ("*SKIP_SMALL_POCKETS") are flagged, counted and left to the pocketing,
// which skips them.
int roughControl(MachiningParams* params, SurfaceModel* model);
// How far the tool tip lies below a level's (and a path point's) height, scaled: the ball radius,
// the torus corner radius, 0 for a flat end mill (the tool's own, without the allowance). The
// output moves a point back by it along the tool axis when the tool tip is output.
double roughTipLength(const GlobalParams& g);
// 1 when the last controller run found no model (the model file did not load, or none was
// given), else 0: the roughing main then sends message 509.
int roughControlModelMissing();
// Sends, when the run's levels left pockets too small for the tool uncut, one warning (message
// 1181, level 9) naming how many and the lowest of their levels (tool tip height in the user's
// length), as "<n> small pocket(s) left uncut, the lowest at level <z>", and forgets them.
void roughReportSmallPockets();

// Loads the model file, keeping only facets near the regions (the facet filter with margin) while
// loading: with two or more regions one rectangle around all of them, with one that region, with
// none every facet. "*EXTRA_COUNT" above 0 loads through modelLoadWithExtra with "*EXTRA_3DF".
// Returns the loader's result (negative on failure); -1 for a null model or name.
int roughReadModel(SurfaceModel* model, const char* file, const Kont2D* regions, double margin);

// A rectangle around the model's box and every region and island, grown by twice margin on each
// side; null for an empty list or no memory. The caller frees it (kontFree).
Kont2D* roughBoundaryBox(double margin, const SurfaceModel* model, const Kont2D* regions);

// out = directory and name joined (pathJoinDirName). Returns 1, or 0 when it does not fit.
int roughJoinDirFile(char* out, std::size_t size, const char* directory, const char* name);

// 1 when no raster cell whose node lies inside the region (kontClassifyPoint 2) is free (value
// 0), else 0; 1 for a missing raster or region.
int roughLevelNoFreeCell(const Raster* raster, const Kont2D* region);
// 1 when every cell whose node lies inside the region is free; 0 as soon as one is not, or for a
// missing raster or region.
int roughLevelAllCellsFree(const Raster* raster, const Kont2D* region);

// The boundary dump: the controller's temporary name "zrestmpbnd.bnd" in "*TMP_DIR" once a run
// has built its names, ".bnd" (the current folder) while the name is empty. The stock-rest pass
// reads its machining regions from it.
const char* roughBoundaryDumpFile();
// Appends the region (the outer contour and its islands, never its successors) to the boundary
// dump as "**BND" blocks in world coordinates (kontAppendBnd), which kontReadBnd reads back into
// the tool system. Returns 1; 0 for a null region or one without segments (nothing written); -1
// when the file cannot be opened (error record -1).
int roughWriteBoundary(const Kont2D* region);
// A dormant switch (no key sets it; off at load and kept across runs, like the test seams): when
// on, the controller removes a boundary dump left by an earlier run once it has built its names,
// and appends every region that passed its offset, rounding and triangulation (roughWriteBoundary)
// before slicing it; a dump that cannot be written stops the run with -1.
void roughSetBoundaryDump(int on);
int roughBoundaryDumpOn();

// Frees the model's contents, the controller's boundary box, grids, lists and level list, the drop
// model and the holder collision model. Null model: everything but the model.
void roughFreeAll(SurfaceModel* model);

// The drop model of the gouge check: a copy of model whose cutter is the model's cutter less 0.01
// in radius (not below 0), passed through zfinToolAddAllowance with allowance 0 and mode 1; it is
// installed into the level slicing's gouge check (roughGougeSetModel), which roughPointGouges
// answers from. Null removes it. An earlier drop model is freed.
void roughSetDropTool(const SurfaceModel* model);

// The facet filter of the model loading: the vertices mapped as the loader maps them; 1 keeps
// the facet (no region list set, a negative margin, or the facet's plan box grown by the margin
// overlaps, touching counts, the box of a region of the list); 0 drops it.
int roughModelBoxFilter(int count, const double* x, const double* y, const double* z);
// The region list (borrowed; null: none) and margin that the filter reads.
void roughSetModelFilter(const Kont2D* regions, double margin);

// The four start candidates around a region's box (below, above, left, right), each pushed out
// from its side's middle by c, at height h: cand[k][0] the candidate, cand[k][1] the side's middle.
void roughStartCandidates(const Kont2D* region, double c, double h, Point3D cand[4][2]);
// The outside-in strategy's start point from the region box: the candidates below, above, left
// and right of the box (cutter radius + "*MACRO_SRAD" out from each side's middle) at height
// "*AUFMASS" + lowest level + a; the first whose straight move to the side's middle is free sets
// "*ZUSTELL_OK" and the plunge point. Returns 1; -1 none free; 0 when "*OUTSIDE_IN" is not 1,
// there is no region, or no level; 1 without change while "*ZUSTELL_OK" is set.
int roughStartPointsFromBox(double a, const Kont2D* region, const SurfaceModel* model,
                            double lowestLevel);

// What the controller hands to the per-region toolpath step.
struct RoughRegionInput {
  Kont2D* region;            // its height is set per whole-region pocket and restored
  ZPathList* paths;          // the region's Z paths in machining order
  const double* levelsDone;  // heights of the levels with a free cell, top down
  // Per level done: 1 when every cell of the region was free there and the level's own slice
  // found no piece inside the region (the region is free at that height), else 0.
  const std::int8_t* allFree;
  int levelsDoneCount;
  double emptyDepth;  // the depth at which the model was found empty inside the region
  PathList* apt;      // the controller's APT point list: every pocket result goes through it
};
using RoughRegionFn = int (*)(const RoughRegionInput* input, MachiningParams* params,
                              SurfaceModel* model);
// The per-region toolpath step (rough_region.cpp): the region's Z paths grouped into pockets level
// by level, pocketed and emitted. Returns 1; -2 after a user break; the first negative result of
// a step otherwise.
int roughRegionToolpaths(const RoughRegionInput* input, MachiningParams* params,
                         SurfaceModel* model);
// Test seams, not reset by a run: the per-region step (null: roughRegionToolpaths), the level
// slice (null: arczLevelPaths) and the closing of the output (null: emitFinish).
void roughSetRegionFn(RoughRegionFn fn);
using RoughSliceFn = int (*)(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice);
void roughSetSliceFn(RoughSliceFn fn);
using RoughFinishFn = int (*)(const MachiningParams* params, const SurfaceModel* model);
void roughSetFinishFn(RoughFinishFn fn);

// The roughing main's plane-pass marker (regions are ordered by level while it is set).
void roughControlSetPlanePass(int flag);
int roughControlPlanePass();

// Read by the region emitter and the tests.
double roughStepDepth();
double roughLastLevelHeight();
// The output name's stem ("*APT" without its extension, with "_<jobid>" unless single-POF).
const char* roughAptStem();
// The Z-path file of the current region and the flat-plane outline file.
const char* roughZpathFile();
const char* roughFlatPlaneFile();

// Run-start reset: last level height the largest double, no names, no filter, no drop model
// (uninstalled from the gouge check).
void roughControlResetState();
