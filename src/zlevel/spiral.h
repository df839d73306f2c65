// spiral.h - spiral transitions: two closed contour paths at successive Z levels joined by one
// descending spiral that starts on the upper contour near a given point and sinks smoothly to the
// lower contour's height while it runs once around, so the levels are joined without a plunge.
// The finishing set-up only sets the tool-check switch; the transition has no caller yet.
#pragma once

#include "geometry/vec.h"

struct PathList;
struct SurfaceModel;
struct Tri3List;
struct QuadFacet;

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
// some heights were unreachable, reported by message 6056 at level 9); 0 when either contour is
// not closed (ends 0.01 or more apart); -1 for null arguments, a model without cutter, no
// memory, a user break, or a tool check whose tilt of the axes fails. With the tool check the
// upper path's sideways side is its machining sense (+1 when it has none).
int spiralTransition(SurfaceModel* model, const PathList* lower, const PathList* upper,
                     PathList* out, const Point3D& start, double blend);

// ---- inner steps, exposed for tests ----------------------------------------------------------
// Paths are PathLists with parameters by 3D length; class 2 marks a gap, class 3 a point to
// delete. Results: 1 done, 0 nothing (or unreachable), -1 on failure, unless said otherwise.

// 1 when the first and last point lie closer than 0.01.
int spiralIsClosed(const PathList* path);
// to = from without its class-3 points, parameters by length. Returns spiralIsClosed(to), or -1.
int spiralCopyPath(const PathList* from, PathList* to);
// Rotates a closed path to start at its point nearest in XY to point, inserting that point when
// it lies 0.00001 or more from every vertex; parameters by length afterwards. 0 for a path that
// is not closed (unchanged).
int spiralRotateToNearest(PathList* path, const Point3D& point);
// Both paths rotated to their nearest points to point.
int spiralAlignStarts(PathList* lower, PathList* upper, const Point3D& point);
// Inserts the interpolated point at parameter x (class 2 when gap is set). Returns its index, or
// -1 (also for x outside the parameters).
int spiralInsertAt(PathList* path, double x, int gap);
// Inserts points at the parameters step, 2 step, ... below length (one within 0.00001 of the
// length moves onto it) unless a vertex lies within 0.2 step of it (0.05 step for the one on the
// length). A point inside a gap piece is a gap too. Returns the number inserted, or -1.
int spiralInsertSteps(PathList* path, double length, double step);
// Nearest XY point of lower to the point i of upper, with its parameter; in the first quarter of
// upper only the lower path up to its quarter from the end is searched, in the last quarter only
// from its quarter from the start. Returns 1; 0 when nothing was searched.
int spiralNearestOnLower(const PathList* upper, int i, const PathList* lower, Point3D* out,
                         double* param);
// Target height at the upper parameter a and lower parameter b: h = ((a + b) / 2) over the mean
// length of the paths (with a blend length above 0.00001 both capped at it and h eased);
// z = (1 - h) upper z + h lower z, the z of the first points.
double spiralBlendZ(const PathList* upper, const PathList* lower, double a, double b, double blend);
// Drop height of the model's cutter at the point's XY over the model and its sub-models, not
// below the model's lowest z.
double spiralDropAt(SurfaceModel* model, const Point3D& p);
// The point at height z between upper and lower (XY bisection until the two ends lie closer than
// 0.001) where the drop height reaches z; the lower point when its z is z (within 0.00001); the
// upper point at height z when z is not below its drop height. Returns 0 (out: the lower point at
// its drop height) when even the lower point's drop height lies more than the tolerance (model's,
// at least 0.008) above z.
int spiralDropToHeight(SurfaceModel* model, const Point3D& upper, const Point3D& lower, double z,
                       Point3D* out);

// Triangle selection of a height slab: one node per surface part (the model, then each
// sub-model in chain order) with the indices of its facets that touch the slab.
struct SpiralIntList {
  int* items;
  int count;
  int capacity;
};
struct SpiralSlab {
  const Tri3List* triangles;  // facets of a triangle part, or null
  const QuadFacet* quads;     // facets of a four-corner part, or null
  int facetCount;
  double reach;  // the part's cutter radius (corner radius for a torus) + 0.00001
  SpiralIntList* selected;
  SpiralSlab* next;
};
// A list with room for n (at least 1) entries; null without memory.
SpiralIntList* spiralIntListNew(int n);
// Appends v, doubling the room when full. Returns 1, or -1 (list unchanged).
int spiralIntListAppend(SpiralIntList* list, int v);
void spiralIntListFree(SpiralIntList* list);
// Signed distance of p above the horizontal plane at height z.
double spiralPlaneDistance(const Point3D& p, double z);
// 1 when a corner lies within reach of either plane, the corners lie on both sides of a plane,
// or a corner lies between the planes.
int spiralSlabSelectPlanes(const Point3D* corners, int n, double z1, double z2, double reach);
// Fills node's selection with its facets that touch the slab between z1 and z2.
int spiralSlabSelect(SpiralSlab* node, double z1, double z2);
// Fills every node of the chain.
int spiralSlabFill(SpiralSlab* slab, double z1, double z2);
// The chain of nodes of the model's parts, filled for the slab between z1 and z2; null for a
// null model or without memory.
SpiralSlab* spiralSlabNew(SurfaceModel* model, double z1, double z2);
void spiralSlabFree(SpiralSlab* slab);
// Distance from p to the nearest selected facet of the chain (1e300 when none is selected).
double spiralSlabDistance(const SpiralSlab* slab, const Point3D& p);
// Moves a ball of radius from start horizontally toward target until its first contact with the
// selected facets. Returns 1 with out at the contact, 0 with out at the target when there is
// none on the way.
int spiralContactOnSlab(const SpiralSlab* slab, const Point3D& start, const Point3D& target,
                        double radius, Point3D* out);
// Start of a ball's approach: the first of the distances 2e + r, e + r + 1, e + r and the mean of
// the last two from p along axis whose point has no selected facet within clearance. Returns 1
// with out there; 0 (out at the last one) when none is clear.
int spiralClearanceSearch(const SpiralSlab* slab, const Point3D& p, const Point3D& axis, double e,
                          double r, double clearance, Point3D* out);
// Tool-check position: the point at height z on the line from upper to lower moved by r along
// the side axis (r the cutter radius, for a torus its corner radius but at least 1). A ball
// starts further out (spiralClearanceSearch, e = the step from upper to lower projected on the
// axis, at least 0.1, clearance = radius - 1.3 x tolerance) and moves toward that point until its
// first contact. Returns 1; 0 when the ball's position has a facet within the clearance; -1 for
// null arguments.
int spiralSafePosition(SurfaceModel* model, const Point3D& upper, const Point3D& lower,
                       const Point3D& axis, double z, const SpiralSlab* slab, Point3D* out);

// The step angle (degrees) and its cosines of the last transition.
double spiralStepAngle();
// 1 when the turn at point b between the unit directions a -> b and b -> c has a cosine not above
// cos(2 x step angle) (piece a -> b shorter than step) or cos(step angle).
int spiralTurnTooSharp(const PathList* path, int a, int b, int c, double step);
// Joins the path to point: when the path point nearest to it is one of the first four, the points
// before it are dropped and the first point becomes point (unless point lies 0.5 or more away),
// a second point closer than 0.01 to the first being deleted; otherwise the first point becomes
// point only when it lies within 0.5.
int spiralJoinStart(PathList* path, const Point3D& point);
// Deletes the points whose parameter or position repeats the previous one within 0.00001.
// Returns the number deleted.
int spiralRemoveDuplicates(PathList* path);
// 1 when the ends of a lie within 0.1 of each other, b lies higher than a by more than 0.00001
// and every point of each path lies within 15 x tolerance (in XY) of the other path.
int spiralContoursClose(const PathList* a, const PathList* b, double tolerance);
// Removes the first n points (all when n >= count).
void pathListDropHead(PathList* path, int n);
// 1 when a point has class 2.
int pathListHasGap(const PathList* path);
// Indices of the points whose parameters lie strictly between a and b. Returns their number.
int spiralParamRange(const PathList* path, double a, double b, int* first, int* last);
// Index of the first point at least a quarter of the length from the start, and of the last
// point at least a quarter of the length before the end.
int spiralQuarterFromStart(const PathList* path);
int spiralQuarterFromEnd(const PathList* path);
double spiralMeanLength(const PathList* a, const PathList* b);
double spiralMeanParam(double a, double b);
// (1 - cos(pi x)) / 2.
double spiralEase(double x);
// Position and axis at parameter x ((0, 0, 1) on a path without axes). Returns 1, or -1.
int spiralAxisAt(const PathList* path, double x, Point3D* pos, Point3D* axis);
int spiralNoop();

// Run-start reset: tool check off.
void spiralResetState();
