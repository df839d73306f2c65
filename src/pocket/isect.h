// isect.h - intersections of the pocketing engine's elements: line with line, segment with
// segment, line or segment with an arc's circle, circle with circle and arc with arc, the tests of
// a point within a segment and within an arc's window, and the engine's table of intersection
// records. The offset, the loop removal and the contour relations branch on the result codes
// below, so the codes and tolerances are part of the engine's behaviour.
// A segment is a Seg2D (start x1, y1; end x2, y2), usually contElemSeg of a line element; an arc
// is an arc element (centre, start, end, radius, dir). Routines that can find two points write
// them into a Point2D[2]; a single point always goes into the first place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/seg_cross.h"
#include "geometry/vec.h"
#include "pocket/contour_element.h"

// One intersection found by a contour-level search.
struct IntersectionRecord {
  double x, y;         // the point
  double param;        // position on element elemA, in the form its search chose; sort key
  std::int32_t elemA;  // element number (from 1) in contour A
  std::int32_t elemB;  // element number (from 1) in contour B
  std::int32_t state;  // processing mark of the users; 2 always means used or dropped
  std::int32_t reserved;
};
// Laid out like the crossing record of the segment contours, so that one sort order
// (segCmpCrossing on isectAsCrossing) serves both.
static_assert(sizeof(IntersectionRecord) == 40 && sizeof(SegCrossing) == 40);
static_assert(offsetof(IntersectionRecord, x) == offsetof(SegCrossing, x) &&
              offsetof(IntersectionRecord, y) == offsetof(SegCrossing, y) &&
              offsetof(IntersectionRecord, param) == offsetof(SegCrossing, t) &&
              offsetof(IntersectionRecord, elemA) == offsetof(SegCrossing, segA) &&
              offsetof(IntersectionRecord, elemB) == offsetof(SegCrossing, segB) &&
              offsetof(IntersectionRecord, state) == offsetof(SegCrossing, state));
static_assert(offsetof(IntersectionRecord, x) == 0 && offsetof(IntersectionRecord, y) == 8 &&
              offsetof(IntersectionRecord, param) == 16 &&
              offsetof(IntersectionRecord, elemA) == 24 &&
              offsetof(IntersectionRecord, elemB) == 28 &&
              offsetof(IntersectionRecord, state) == 32);

// The record as a crossing record, field by field.
inline SegCrossing isectAsCrossing(const IntersectionRecord& r) {
  return SegCrossing{r.x, r.y, r.param, r.elemA, r.elemB, r.state};
}

// Room of the engine's intersection table; no search may store more records.
inline constexpr int kIsectRecordMax = 5000;
// The engine's one table of kIsectRecordMax records, shared by the self-intersection search, the
// offset and the contour-level intersections.
IntersectionRecord* isectRecords();

// ---- comparisons of two numbers
// --------------------------------------------------------------------

// 1 when |a - b| < 0.005.
int isectNear(double a, double b);
// 1 when b - a > 0.0001.
int isectGreater(double a, double b);
// 1 when b - a > 0.001.
int isectGreaterCoarse(double a, double b);
// 1 when b - a > -0.0001.
int isectNotLess(double a, double b);

// ---- lines and segments -------------------------------------------------------------------------

// Intersection of the two infinite lines through a and b (tolerance isectTol on the determinant of
// their unit normals and on the collinearity test). Returns 1 with the point; 0 parallel, or a
// segment of length 0 (it has no line); -1 collinear. out is written only for 1.
int isectLineLine(const Seg2D& a, const Seg2D& b, Point2D* out);
// Intersection of two segments. Returns 1 with the point when the lines cross at a point that
// isectPointOnSegment accepts for both; for collinear segments 1 with the end they share (within
// 0.0001 along the longer axis of a), -1 when they overlap (out untouched), 0 when apart; 0 when
// the lines cross outside a segment, are parallel, or a segment has length 0.
int isectSegments(const Seg2D& a, const Seg2D& b, Point2D* out);
// Foot of the perpendicular from (x, y) on the infinite line through seg. Returns 1; when the
// segment's squared length is below isectTol, the segment's end point and 0.
int isectFootOnLine(const Seg2D& seg, double x, double y, double* outX, double* outY);
// Distance from (x, y) to its foot on the line through seg; to the segment's start when the
// segment is degenerate (isectFootOnLine gives 0).
double isectPointSegDistance(double x, double y, const Seg2D& seg);
// 1 when p's position along the segment's longer axis lies within the segment, with the slack
// b = contTol (twice that while the scale factor is below 5): with L = 1 + the integer part of
// 0.1 x the segment's extent along the axis, p is accepted when its fraction times L lies in
// [-b, L + b]. A segment along x whose |dy| is below 0.001 x contTol also rejects p beyond both
// ends by more than b in x. The distance from the line is not tested: callers pass points on it.
// A segment of length 0 accepts p within b of it in x and y. Returns 1 or 0.
int isectPointOnSegment(const Point2D& p, const Seg2D& seg);

// ---- arcs and circles
// -------------------------------------------------------------------------------

// 1 when p's angle about the centre lies in the arc's window: radius x the angle past the start
// and radius x the angle before the end both above -0.0001 (angles from atan2, wrapped with
// 0.0001 slack). 0 for |radius| below 0.001. The distance from the circle is not tested.
int isectPointOnArc(const Point2D& p, const ContourElement& arc);
// 1 when p's angle c about the arc's centre lies in [a, b]: c from atan2 gains 2 pi when below
// -0.0001 and again when a - c > 0.0001; then 1 when c - a > -0.0001 and b - c > -0.0001.
int isectAngleInWindow(const Point2D& p, const ContourElement& arc, double a, double b);
// Intersections of the full circles of two arcs. Returns 0 none, -1 the same circle (centres and
// radii within isectTol), 1 one point (tangent; in out[0]), 2 two points (delivered with
// increasing x, or increasing y when the radical line is vertical).
int isectCircleCircle(const ContourElement& a, const ContourElement& b, Point2D out[2]);
// Intersections of the infinite line through seg with the arc's full circle. Returns 0 none; 1
// tangent (the perpendicular foot of the centre, or a single root); 2 two points, the smaller x
// first (on a vertical line the smaller y).
int isectLineCircle(const Seg2D& seg, const ContourElement& arc, Point2D out[2]);
// The points of isectLineCircle that isectPointOnSegment accepts. Returns 0 none; -1 the tangent
// point, on the segment; 1 or 2 points.
int isectSegmentCircle(const Seg2D& seg, const ContourElement& arc, Point2D out[2]);
// The points of isectLineCircle that lie on the segment and on the arc (isectPointOnArc). Returns
// 0 none; -1 the tangent point, on both; 1 or 2 points.
int isectLineArc(const Seg2D& seg, const ContourElement& arc, Point2D out[2]);
// Intersections of two arcs. On different circles: 0 none, 1 or 2 points on both arcs, -1 the
// tangent point on both. On the same circle, with the windows [aS, aE] of a and [bS, bE] of b:
// 2 the arcs meet at both ends and together close the circle (both ends delivered); 1 they meet
// at one end and only touch (that end delivered); -3 they meet at one end and overlap; -4 b covers
// both ends of a; -2 one overlap; 0 apart.
int isectArcArc(const ContourElement& a, const ContourElement& b, Point2D out[2]);
// The circle intersections that lie in a's window (b's window is not tested). Returns 0 none; -2
// the same circle; -1 a tangent point in a's window or within 0.05 in x and y of an end of a, or
// two points in the window of circles that touch from outside within 0.0001 (their middle
// delivered); 1 or 2 points.
int isectArcArcPoints(const ContourElement& a, const ContourElement& b, Point2D out[2]);
// Dispatch by type: two lines isectSegments; a line and an arc (either order) isectLineArc; two
// arcs isectArcArc; 0 for another type. Results as those routines.
int isectElements(const ContourElement& a, const ContourElement& b, Point2D out[2]);
