// rough_region.h - the per-region toolpath step of the roughing: the region's Z paths grouped
// into pockets level by level, each group (or the whole region at a level above the part) written
// as the pocket contour file, pocketed by the nested pocket cycle and handed to the region emitter;
// the start points of the outside-in strategy with the retries of a level whose start collides.
//
// Lengths are scaled (tool radius 10). Run state (roughRegionResetState): the start-point slots,
// the stock region and the full-cut range.
#pragma once

#include "cycles/machining_params.h"
#include "cycles/rough_control.h"
#include "geometry/kont2d.h"
#include "geometry/path_list.h"
#include "geometry/vec.h"
#include "geometry/zlevel_records.h"
#include "model/surface_model.h"

// Flags of a Z path read here: too small to pocket (emptied) and to be rounded.
inline constexpr unsigned kZPathFlagTooSmall = 0x200;
inline constexpr unsigned kZPathFlagRound = 0x800;
// Heights within this distance belong to one pocket group.
inline constexpr double kRoughGroupTol = 0.00001;
// Messages of the step (level 9).
inline constexpr int kRoughMsgGenerating = 36;
// The pocket contour file and the boundary dump of the axis-parallel writer, in "*TMP_DIR".
inline constexpr char kRoughPocketFile[] = "tmp.qdx";
inline constexpr char kRoughFinishBoundaryFile[] = "finpa3bnd.bnd";

// The steps the per-region step calls: writing the pocket contour file (file, region, the
// group's paths or none, their count), pocketing one level into the APT list (tool radius,
// height, list, stock mode) and emitting the list. Tests replace them; the library's own are the
// level pocketing's writers and cycles and roughEmitRegion.
struct RoughPocketOps {
  int (*writePocket)(const char* file, Kont2D* region, ZPath* paths, int count);
  int (*writeAxisPocket)(const char* file, Kont2D* region, ZPath* paths, int count);
  int (*pocketContour)(double radius, double z, PathList* apt, int stockMode);
  int (*pocketAxis)(double radius, double z, PathList* apt);
  int (*emit)(PathList* apt, MachiningParams* params, SurfaceModel* model);
};
// Null restores the library's own steps. Not reset by a run (a test seam, like roughSetRegionFn).
void roughSetPocketOps(const RoughPocketOps* ops);
const RoughPocketOps& roughPocketOps();

// roughRegionToolpaths (declared with the controller that calls it): whole-region pockets are
// made only at the levels done that lie strictly above every Z path of the region (all of them
// when there is none) and whose input flag says the region is free there (every cell free and
// the level's own slice without a piece); the levels with Z paths are pocketed group by group.
// "finpa3bnd.bnd" is removed in every case.

// 1 when the level done at height h (allFree: the region is free there, RoughRegionInput) gets a
// whole-region pocket, given the largest Z-path height d (-DBL_MAX when the region has none):
// h > d + 0.00001 and allFree set.
int roughWholeRegionLevel(double h, double d, int allFree);
// The end (one past the last) of the pocket group that begins at path first: the run of
// consecutive paths at the same height (within 0.00001) and, with stepStrategy 1, the same group
// number. first itself when it is not a path of the list.
int roughPocketGroupEnd(const ZPathList* list, int first, int stepStrategy);

// One level pocketed and emitted with the outside-in start points: up to four attempts over the
// stored candidates while the emitter reports a start collision (-3), then a last attempt with
// 90 % of the stepover ("*HORIZUSTEL" and "*COMPLETE_POCKET" come back exactly). Returns the
// emitter's result or a negative pocketing result; -1 with message 3506 when no start point is
// found.
int roughPocketOutsideIn(double z, Kont2D* region, PathList* apt, MachiningParams* params,
                         SurfaceModel* model);

// Stores every candidate whose level move to its side's middle is free (cutter radius +
// "*MACRO_SRAD" out, height z + a + "*AUFMASS"). Returns 1 at least one stored; -1 none free; 0
// when "*OUTSIDE_IN" is not 1 or there is no region; 1 without change while "*ZUSTELL_OK" is set.
int roughFindStartPoints(const SurfaceModel* model, const Kont2D* region, double a, double z);
// Takes the first stored candidate: out, the plunge point and "*ZUSTELL_OK" set. Returns 1; -1
// none left; 1 without change while "*ZUSTELL_OK" is set.
int roughNextStartPoint(Point3D* out);
// The same, also while "*ZUSTELL_OK" is set: the retries of a level walk the stored candidates.
int roughTakeStartPoint(Point3D* out);

// The stock outline of the stock-mode pocketing while one level is pocketed (null: none).
void roughSetStockRegion(const Kont2D* region);
const Kont2D* roughStockRegion();
// The range [first, end) of list kept for the full-cut rebuilding.
void roughSetFullcutRange(const ZPathList* list, int first, int end);
// The closed paths of the stored range as one Seg2D list (each with its closing segment), its
// length in *count. Null (count 0) when no range is stored, it holds no closed path or memory is
// short. The caller frees it with memFree.
Seg2D* roughFullcutContours(int* count);

// Copies (kontCopy, islands included) of every region of the list whose outer contour has a
// segment start inside region or within 1e-6 of it, chained by next in list order into *out.
// Returns the number copied (*out null for 0); -20 for a null out; -1 when memory runs out
// (nothing left allocated).
int roughSelectContoursInside(const Kont2D* list, const Kont2D* region, Kont2D** out);

// The stock-rest pass: the Z paths of zpathFile, the stock outlines of boundaryFile (one region
// per level at its own height) and the machining regions of the controller's boundary dump
// (roughBoundaryDumpFile, written by roughWriteBoundary).
// For each machining region the outlines inside it become rest pockets (stockRestPockets with
// "*STEP_STRATEGY"); each pocket is filleted like a group of the per-region step (paths flagged
// too small dropped first under "*SKIP_SMALL_POCKETS"), written with its outline as the pocket
// file, pocketed and emitted (message 36 per pocket); emitFinish closes the output. Returns 1,
// also when the Z-path file is missing or holds no path (then nothing else is read); -2 on a
// break; -20 for a null argument; the reader's code (-29 missing) when a boundary file cannot be
// read; otherwise the first negative result of a step.
int roughStockPockets(MachiningParams* params, SurfaceModel* model, const char* zpathFile,
                      const char* boundaryFile);

void roughRegionResetState();
