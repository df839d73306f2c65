// walker_trace.h - the walk of the tool-centre contour walker at one Z: from one contact it steps
// along the line on which the tool just touches the model (the step search is walker_step.h),
// controls the search radius, recovers from failed searches, closes the contour or ends on the
// region's boundary, and joins a forward and a reverse half walk into one piece.
//
// What the walk reads and writes of the records:
// - WalkParams: reads z, direction (the reverse half negates it and puts it back), step,
//   tolerance, start, startSegment, the grids and boxes of offs3dPrepare, mode and model; writes
//   the start contacts (startContactPoints/Vectors/Kinds/Ids/Count), the first contacts of each
//   half walk keyed by the found position.
// - SliceContext: appends to traced. Its joinState is 1 while a boundary piece, a join or a step
//   onto another sub-model is appended (no merging of short steps); offs3dTrace hands joinState
//   to prevJoinState and clears it on every exit.
// Each traced segment carries the contact data of its end point: contact vector, element id
// (triangle index in the context's list or sorted wall index; -2 on the region boundary with the
// boundary contour as kind) and kind times direction (1 face, 2 edge, 3 vertex, 4 wall).
#pragma once

#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/slice_records.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"

// Results of a walk and of offs3dTrace besides the codes of the step search.
inline constexpr int kWalkClosed = 1;      // the contour closed
inline constexpr int kWalkOnBoundary = 2;  // the walk (trace: the piece) ends on the boundary
inline constexpr int kWalkNoMemory = -1;
inline constexpr int kWalkUserBreak = -2;
inline constexpr int kWalkStuck = -3;          // failed searches or spinning after every rollback
inline constexpr int kWalkStartOutside = -4;   // start point outside the region
inline constexpr int kWalkNoContact = -5;      // nothing at the first search
inline constexpr int kWalkNoDirection = -8;    // last two positions coincide
inline constexpr int kWalkRollbacksOut = -28;  // offs3dRollback: no rollback left
inline constexpr int kWalkNoBoundary = -31;    // a step leaves the region, no boundary point
inline constexpr int kWalkSelfCross = -41;
inline constexpr int kWalkRunsBack = -42;  // runs back along itself, or never comes back

// The step search a walk calls: offs3dNextPoint unless a test installed another.
using Offs3dSearchFn = int (*)(const CollCtx*, const WalkTool*, const WalkParams*,
                               const TriangleGridCell*, const TriangleGridCell*, const StepCircle*,
                               Point3D*, Point3D*, int*, int*);
// Test seam: the search every walk uses (null puts offs3dNextPoint back).
void offs3dSetSearch(Offs3dSearchFn search);

// Traces one contour from params->start and params->startSegment into context->traced:
// the walk in the walking sense; when it does not close, the reverse walk from the same start,
// and the two halves joined into one piece that starts and ends on the region's boundary
// (reverse half reversed, a joining segment with the start contact data, forward half). In mode
// 1 the ids of the new segments become the model's triangle indices. Segments before the count
// at entry are never changed.
// Returns 1 one closed contour appended, 2 an open piece appended, negative on failure (the
// failure codes above or the step search's; every failure recorded under "Offs3d"); -20 for null
// records or no traced list.
int offs3dTrace(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context);

// One walk in the current direction, appended to context->traced. A step whose chord would let
// the tool at its middle reach more than params->tolerance into the material touched at either
// end is searched again with half the radius (down to the smallest radius); a tolerance of 0 sets
// no such bound. Returns 1 closed, 2 ended on the region's boundary, 0 no second contact,
// negative on failure.
int offs3dWalk(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* context);

// Appends the step, or, when it moves less than 0.00001 (|dx| + |dy|) and the list is neither
// empty nor in its join state, gives the last segment its end point and contact data. Returns 1;
// -1 when the append fails.
int offs3dAppendStep(PkoList* list, const Seg3D& seg, const Point3D& vector, int id, int kind);
// Centre of the next step circle: Q moved by r x f along the direction from U to Q, at z.
// Returns 1; -8 when U and Q lie closer than 0.00001 in XY (out unchanged).
int offs3dCircleCentre(double z, const Point2D& U, const Point2D& Q, double r, double f,
                       Point3D* out);
// The turn angle above which a turn is a real one at search radius r, with s the walk's largest
// radius: 0.2 + (r - 0.05) x 0.1 / (0.05 - s) clamped to [0.1, 0.2]; 0.2 when s is 0.05.
double offs3dAngleLimit(double s, double r);
// Sum of the turn angles (in the given sense) at the last three joints of the list; 0 when
// fewer than six segments follow i0.
double offs3dTurnSum(const PkoList* list, int i0, int sense);
// Tests each segment i from `from` up to the third-to-last against the segments i + 2 to i + 6
// (never the last) whose boxes overlap: a crossing in XY counts unless the segments meet end to
// start within 0.001. Returns 1 none; -41 on a crossing ("neuer Versuch " logged); 1 for a null
// context or list.
int offs3dCheckSelfCross(int from, const SliceContext* context);
// The first stored start contact whose point lies within 1e-6 of p: its vector, id and kind.
// None: zero vector, id -1, kind 0. Returns 1 found, 0 none.
int offs3dStartContact(const WalkParams* params, const Point3D& p, Point3D* vector, int* id,
                       int* kind);

// Test seam and run-start reset: the step search back to offs3dNextPoint.
void offs3dWalkResetState();
