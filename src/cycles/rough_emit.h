// rough_emit.h - the region emitter: the pocket cycle's tool points of one level (the APT point
// list, cut runs separated by gap points, the move kind in each point's class byte) cut into runs,
// each given its approach, dropped when it is a small pocket, checked for collisions, kept
// vertical or tilted, thinned and sent through the region path emission.
//
// Lengths are scaled (tool radius 10). Run state (roughEmitResetState): the skipped-pocket memory
// and the once-per-run holder warning.
#pragma once

#include "cycles/machining_params.h"
#include "geometry/path_list.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

// Move kinds of the pocket cycle that decide a run's approach.
inline constexpr int kRoughRunPlunge = 101;
inline constexpr int kRoughRunLeft = 103;
inline constexpr int kRoughRunRight = 104;
// Approach kinds the emitter chooses: straight, helical, ramp.
inline constexpr int kRoughApproachStraight = 7;
inline constexpr int kRoughApproachHelix = 6;
inline constexpr int kRoughApproachRamp = 8;
// Messages (level 9; the skipped small pocket, 1181, is rough_control.h's).
inline constexpr int kRoughMsgCollisionModel = 6005;
inline constexpr int kRoughMsgToolCollision = 6007;

// Emits the runs of apt. Returns 0 all runs emitted; -1 memory, holder model or emission failure
// (also a five-axis step that is not available); kRoughStopCollision (message 6007 or 2003) when a
// collision stopped the output; -3 a start collision ("*ZUSTELL_OK" and a colliding first move)
// or a path collision with "*XCOLL_STOP". The point callbacks installed before the call are
// installed again when it returns.
int roughEmitRegion(PathList* apt, MachiningParams* params, SurfaceModel* model);

// The approach of a run by its move kind: 101 a straight plunge without retract; 103 and 104 the
// run's sense +1 and -1; any other kind a plunge by "*MACRO_TMODE" (2 helix, 3 ramp, other
// straight) with no retract and an approach length of at least the step depth.
void roughRunApproach(int moveKind, int macroTmode, double stepDepth, ApproachParams* a,
                      int* sense);

// 1 when a x b is at least 0.00001 and no two points of path lie farther apart than a x b (3D
// distance); else 0 (also for a null or empty path).
int roughSkipSmallPocket(const PathList* path, double a, double b);

// Test seam, not reset by a run: the emission of one finished run (null: emitRegionPath).
using RoughRunEmitFn = int (*)(PathList* run, const MachiningParams* params,
                               const SurfaceModel* model);
void roughSetRunEmitFn(RoughRunEmitFn fn);

void roughEmitResetState();
