// plane_geo.h - plane analytic geometry: normalised line equations, intersections, root solvers,
// angles and pseudo-angles, on-segment tests at fixed tolerances, circles and arcs. Stateless and
// allocation-free; 1 means success or true, 0 false or nothing found, negative invalid input.
#pragma once

#include "geometry/vec.h"

// A 2D arc. The circle functions use only the centre and the radius.
struct Arc2D {
  double sx, sy;      // start
  double ex, ey;      // end
  double cx, cy;      // centre
  double aux1, aux2;  // carried for callers; never read or written here
  double radius;
  int dir;  // +1 counter-clockwise, -1 clockwise (the arc length treats any value but 1 as -1)
};
static_assert(sizeof(Arc2D) == 80);

// ---- measures and orientation -----------------------------------------------------------------

double geoDist2D(const Point2D& p, const Point2D& q);
double geoDist2DSq(const Point2D& p, const Point2D& q);
// 1 when |px - qx| <= tol and |py - qy| <= tol, else 0.
int geoPtsClose(const Point2D& p, const Point2D& q, double tol);
// Signed area of the triangle, positive when p0, p1, p2 turn counter-clockwise.
double geoTriArea2D(const Point2D& p0, const Point2D& p1, const Point2D& p2);
// 1 when (p.x, p.y) lies in the plan triangle of tri's corners: every barycentric value at least
// -1e-8. 0 outside, and for a triangle whose plan area is 0 or not finite.
int geoPointInTri2D(const Point2D& p, const Tri3D& tri);
// 1 counter-clockwise, -1 clockwise. Collinear: -1 when p0 lies between p1 and p2, 1 when p2 lies
// beyond p1, else 0.
int geoCcw(const Point2D& p0, const Point2D& p1, const Point2D& p2);
// A monotone substitute for the angle of (dx, dy), in [0, 8), measured from ref, clockwise for
// dir -1; a result within 1e-5 below ref counts as 0.
double geoPseudoAngle(double dx, double dy, double ref, int dir);
// Angle at c from c->p to c->q in [0, 2 pi), counter-clockwise, clockwise for dir -1. Returns 1;
// 0 with *out = 0 when p or q is closer than 1e-10 to c.
int geoAngleBetween(const Point2D& p, const Point2D& c, const Point2D& q, int dir, double* out);
// geoAngleBetween on copies of the points; always returns 0.
int geoAngleAtVertex(const Point2D& p, const Point2D& c, const Point2D& q, int dir, double* out);
// Keeps the integer part and the fraction truncated toward zero to thousandths. Returns 1.
int geoTruncMilli(double* value);

// ---- lines and segments -----------------------------------------------------------------------

// Line equation a x + b y + c = 0 with (a, b) of unit length; points to the right of the
// direction give positive values. Returns 1; 0 with a = b = c = 0 when seg is shorter than 1e-12.
int geoLineEq(const Seg2D& seg, double* a, double* b, double* c);
// Sign of a px + b py + c: 1, 0 or -1 (exact comparison).
int geoLineSide(const Point2D& p, double a, double b, double c);
// Distance from p to the line of seg; to the start for a segment shorter than 1e-12.
double geoDistToLine(const Point2D& p, const Seg2D& seg);
// Writes the foot of the perpendicular from p onto the line of seg. Returns 1 when it lies within
// the segment (ends included), else 0; 0 with foot unchanged for a segment shorter than 1e-12.
int geoFootOnSeg(const Point2D& p, const Seg2D& seg, Point2D* foot);
// Intersection of the two lines. Returns 1; 0 when a segment is degenerate or the determinant is
// exactly 0 (out unchanged).
int geoLineLineCut(const Seg2D& s1, const Seg2D& s2, Point2D* out);
// As geoLineLineCut, but 0 when |det| <= tol.
int geoLineLineCutTol(const Seg2D& s1, const Seg2D& s2, double tol, Point2D* out);
// 1 when the closed segments intersect or touch, else 0.
int geoSegsCross(const Seg2D& s1, const Seg2D& s2);

// ---- root solvers -----------------------------------------------------------------------------

// Root of a x + b = 0: 1 with the root; 0 (out 0) when a = 0 and b != 0; -1 (out 0) when both
// are 0 (every value is a root).
int geoSolveLinear(double a, double b, double* out);
// Roots of a x^2 + b x + c = 0. a = 0: the result of geoSolveLinear(b, c, out1), out2 = 0.
// Otherwise 2 with both roots (also two equal ones), or 0 with both 0 when there is no real root.
int geoSolveQuadratic(double a, double b, double c, double* out1, double* out2);

// ---- circles and arcs -------------------------------------------------------------------------

// Points of the line a x + b y + c = 0 on the circle: 2 (a tangent gives two equal points), 0
// none, -10 when a = b = 0.
int geoLineCircleCut(double a, double b, double c, const Arc2D& circle, Point2D* out1,
                     Point2D* out2);
// Points of two circles: 2, or 0 (also for concentric circles).
int geoCircleCircleCut(const Arc2D& c1, const Arc2D& c2, Point2D* out1, Point2D* out2);
// Points where the line of seg meets the circle (not necessarily within the segment): 2, or 0
// (also when the boxes of segment and circle do not overlap, or for a single-point segment).
int geoSegCircleCut(const Seg2D& seg, const Arc2D& circle, Point2D* out1, Point2D* out2);
// Circle through three points: writes only centre and radius of out. Returns 1; 0 when a chord
// is shorter than 1e-12 or the points are collinear (bisector determinant below 1e-10).
int geoCircleThrough3(const Point2D& p0, const Point2D& p1, const Point2D& p2, Arc2D* out);
// The point of the circle in the direction from the centre to p. Returns 1; 0 (out unchanged)
// when p is closer than 1e-12 to the centre, where no direction exists.
int geoPointToCircle(const Point2D& p, const Arc2D& circle, Point2D* out);
// Radius times the swept angle; a zero sweep is 0 counter-clockwise and a full circle clockwise.
double geoArcLength(const Arc2D& arc);
// 1 when the direction of p from the centre lies within the sweep measured from the start in the
// arc's direction (the start direction counts, the end direction does not), else 0.
int geoArcSweepHas(const Point2D& p, const Arc2D& arc);

// ---- proximity of a point to a segment --------------------------------------------------------

// On the segment within 0.001: near the line and within the extent, or near an end.
int geoOnSegFine(const Point2D& p, const Seg2D& seg);
// Within 0.01 of the line and within the extent (ends included); no end test except for a
// degenerate segment.
int geoOnSegCoarse(const Point2D& p, const Seg2D& seg);
// geoOnSegCoarse with the tolerance tol.
int geoOnSegTol(const Point2D& p, const Seg2D& seg, double tol);
// 1 when p is closer than tol to the segment (an end, or a foot within it), else 0.
int geoPointNearSeg(const Point2D& p, const Seg2D& seg, double tol);
// 1 when the projection of p lies within the segment, else 0; -3 for a degenerate segment (|dx|
// and |dy| below 1e-5, or length below 0.001).
int geoProjInSeg(const Seg2D& seg, const Point2D& p);

// ---- conversions (output first, returned) -----------------------------------------------------

Seg2D* geoSeg2From3D(Seg2D* out, const Seg3D& seg3);
Point2D* geoPt2From3D(Point2D* out, const Point3D& p3);
Seg3D* geoSeg3From2D(Seg3D* out, const Seg2D& seg, double z1, double z2);
Point3D* geoPt3From2D(Point3D* out, const Point2D& p, double z);
Tri3D* geoTriFromFloat(Tri3D* out, const TriF& tri);
// Applies the 2x2 matrix m (m00, m01, m10, m11) to both ends as column vectors.
Seg2D* geoSegMul2x2(Seg2D* out, const double m[4], const Seg2D& seg);
