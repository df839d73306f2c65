// spiral.h - spiral transitions: two closed contour paths at successive Z levels joined by one
// descending spiral that starts on the upper contour near a given point and sinks smoothly to the
// lower contour's height while it runs once around, so the levels are joined without a plunge.
// The finishing set-up only sets the tool-check switch; the transition has no caller yet.
#pragma once

#include "geometry/vec.h"

struct PathList;
struct SurfaceModel;

// Turns the tool axes of the path by angle (degrees) toward one side (+1 or -1) of the
// horizontal path normal; the five-axis control installs it. Returns 1, or a negative value.
using SpiralTiltFn = int (*)(PathList* path, double toolRadius, int side, double angle);
// Installs the tilt (null removes it: the tool-check transition then fails with -1).
void spiralSetTiltHook(SpiralTiltFn fn);

// Message of a transition where the tool cannot reach the blended height.
inline constexpr int kSpiralNoSpiralMsg = 6056;

// Stores the tool-check switch (when set, positions are found by a clearance search against the
// facets between the two heights instead of by drops). Nothing outside this module reads it.
void spiralSetToolCheck(int flag);
int spiralGetToolCheck();

// Joins the upper contour to the lower one in out (emptied first), starting near start; blend is
// the length along which the height is eased (0: over the whole turn). Returns 1 done (also when
// some heights were unreachable, reported by message 6056); 0 when either contour is not closed
// (ends 0.01 or more apart); -1 for null arguments, a model without cutter, no memory, or a tool
// check whose tilt of the axes fails.
int spiralTransition(SurfaceModel* model, const PathList* lower, const PathList* upper,
                     PathList* out, const Point3D& start, double blend);

// ---- inner steps, exposed for tests ----------------------------------------------------------

// 1 when the first and last point lie closer than 0.01.
int spiralIsClosed(const PathList* path);
// Drop height of the model's cutter at the point's XY over the model and its sub-models, not
// below the model's lowest z.
double spiralDropAt(SurfaceModel* model, const Point3D& p);
// Target height at the upper parameter a and lower parameter b (see the module source).
double spiralBlendZ(const PathList* upper, const PathList* lower, double a, double b, double blend);

// Run-start reset: tool check off.
void spiralResetState();
