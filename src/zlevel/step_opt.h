// step_opt.h - optimised step levels: every horizontal flat face of the part is cut at exactly its
// height. A level of the region's list near a face height is moved onto it; the outlines of the
// other flat areas are written, clipped to the region, into the plane-boundary file, which a
// second roughing pass machines one flat area at a time. Also the run state shared with the
// flat-area finder on the drop net (step_opt_flat.h).
#pragma once

#include <string>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"
#include "zlevel/zlevel_list.h"

// Name of the plane-boundary file in the work directory.
inline constexpr const char* kStepOptPlaneFileName = "sopttmp.bnd";
// An outline that still fails after the retries of a level.
inline constexpr int kStepOptOutlineFailed = -28;
// Slicing failure of two traced pieces that meet; it and every other slicing failure but memory
// (-1) and a break (-2) are retried with a halved tolerance.
inline constexpr int kStepOptSliceRetry = -45;
// Clip failure retried with a halved tolerance (self-intersecting outline).
inline constexpr int kStepOptClipRetry = -41;
// Retries of one level before giving up.
inline constexpr int kStepOptMaxRetries = 5;
// A level at height h outlines the faces in (h - p, h + kStepOptFaceAbove p], p = "*PRECISION".
inline constexpr double kStepOptFaceAbove = 0.5;

// The live finder: flat faces among the context's candidates that the part does not cover from
// above (stepOptCoveredFaces), grouped by height (differences
// above *PRECISION start a new height); heights outside the list's range are dropped; without
// "*PLANES_ONLY" a level within *PRECISION of h + c is moved to exactly h + c; the other heights
// are sliced with a flat end mill of radius R f and the outlines written to planeFile; a level's
// outline holds only the faces within (h - p, h + p / 2] of its height (the faces of a height that
// was dropped or moved onto a level belong to no outline). A level
// whose slicing or outline fails is retried up to six times with the walk tolerance halved (the
// halving stays for the lower levels); memory and a break end the call at once. The four
// records are not changed; the level list, the file and the slice context's lists are.
// Returns 1 done; 0 no flat face; -1 memory or contour failures; -28 an outline that still fails
// after the retries; the slicing's code when it still fails after the retries; -20 null records.
int zrupp2genOptiStepBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                          double factor, const FloatDropNet* net, ZLevelList* levels,
                          const char* planeFile);
// Forwards to zrupp2genOptiStepBnds.
int stepOptGenBnds(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                   double factor, const FloatDropNet* net, ZLevelList* levels,
                   const char* planeFile);
// zrupp2genOptiStepBnds that also inserts the outlined heights into the level list.
int stepOptGenBndsAddLevels(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                            double factor, const FloatDropNet* net, ZLevelList* levels,
                            const char* planeFile);
int stepOptGenBndsAddLevels2(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice,
                             double factor, const FloatDropNet* net, ZLevelList* levels,
                             const char* planeFile);

// Switches the gouge check off and the boundary reader's no-rounding on for a finder's call and
// gives both their values back when it ends, on every return.
class StepOptSwitchGuard {
 public:
  StepOptSwitchGuard();
  ~StepOptSwitchGuard();
  StepOptSwitchGuard(const StepOptSwitchGuard&) = delete;
  StepOptSwitchGuard& operator=(const StepOptSwitchGuard&) = delete;

 private:
  int gouge_;
  int noRound_;
};

// The factor as the finder uses it: below 0.1 becomes 0.1, (0.95, 1.05) becomes 0.95.
double stepOptAdjustFactor(double factor);

// Test seams: the slicing and the outline writing of a level (null restores the real ones).
using StepOptSliceFn = int (*)(CollCtx*, WalkTool*, WalkParams*, SliceContext*);
using StepOptWriteFn = int (*)(SliceContext*, const Kont2D*, double, const char*, ZPathList*,
                               ZPath*);
void stepOptSetSliceFn(StepOptSliceFn fn);
void stepOptSetWriteFn(StepOptWriteFn fn);

// ---- run state shared by both finders ---------------------------------------------------------

// 1 when outlines were written to the plane-boundary file during this run.
int stepOptPlaneFileWritten();
void stepOptSetPlaneFileWritten(int flag);
// The plane-boundary file of this run: the work directory joined with "sopttmp.bnd".
std::string stepOptPlaneFilePath();
// Sets the path the flat-area finder writes to (the run-start reset deletes it).
void stepOptSetPlaneFile(const char* path);
const char* stepOptPlaneFile();
// First-call handling of the exact finder: returns 1 once per run (and clears the flag).
int stepOptTakeFirstCall();

// Records the plane-boundary file a finder writes to, for the run-start reset.
void stepOptNoteOwnedFile(const char* path);
// Start of a roughing run: both first-call flags set, the written flag and the drop-net finder's
// block counter cleared, the plane-boundary file a finder wrote in an earlier run deleted (a file
// of that name that no finder of this process wrote stays).
void stepOptRunReset();
// Test seam: the state of a fresh process.
void stepOptResetState();
// First-call handling of the drop-net finder: returns 1 once per run (and clears the flag).
int stepOptTakeFlatFirstCall();
// The drop-net finder's block counter: incremented, then returned (the first block is 1).
int stepOptNextFlatBlock();
