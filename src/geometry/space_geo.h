// space_geo.h - planes, triangles and segments in space, and the contact solvers of the Z-level
// walker: an inclined cylinder about an edge cut by a horizontal plane, nearest point and
// osculating circle of an ellipse, a segment against an offset ellipse, a torus cutter touching
// an edge, a point against an offset face and the part of a triangle below a height.
// Stateless and allocation-free; the one-dimensional root searches share one bracketing method.
#pragma once

#include "geometry/plane_geo.h"
#include "geometry/vec.h"

// An ellipse in the plane: centre, semi-axis a along the direction theta (radians, against the x
// axis) and semi-axis b across it. A point p has the local coordinates
// u = (px - cx) cos theta + (py - cy) sin theta, v = -(px - cx) sin theta + (py - cy) cos theta.
struct Ellipse2D {
  double cx;
  double cy;
  double a;
  double b;
  double theta;
};
static_assert(sizeof(Ellipse2D) == 40);

// The most steps a root search takes. A root of multiplicity m takes about 50 m steps down to
// neighbouring doubles, and the functions searched here (quartics, their derivatives, the offset
// ellipse along a line) have roots of multiplicity 4 at most; a search that has not ended by
// then does not converge and is reported as failed.
constexpr int kGeoRootMaxSteps = 500;

// A function of one variable for geoRegulaFalsi, with the caller's data.
using GeoRootFn = double (*)(double t, const void* data);

// Root of f on [lo, hi] by the Illinois variant of regula falsi: the estimate is the chord's
// zero, and an end that stays twice in a row has the other end's value halved. The search ends
// when the estimate no longer falls strictly inside the bracket; the estimate, clamped into
// [lo, hi], is written to out. Returns 1; 0 when f(lo) and f(hi) are both positive or both
// negative; -1 when f gives a value that is not finite or the search has not ended after
// kGeoRootMaxSteps steps; -20 for a null function or output. out is written only on 1.
int geoRegulaFalsi(GeoRootFn f, const void* data, double lo, double hi, double* out);

// ---- planes, triangles, distances -------------------------------------------------------------
// A plane is a x + b y + c z + d = 0 with (a, b, c) of unit length. Null outputs give -20 (error
// record set) wherever a function has an integer result.

// Plane of the triangle: normal (v1 - v0) x (v2 - v0) normalised, d = -(normal . v0). Returns 1;
// 0 when the cross product is shorter than 1e-12 (a, b, c, d then hold the unnormalised values).
int geoTriPlane(const Tri3D& tri, double* a, double* b, double* c, double* d);
// 1, 0 or -1 by the sign of a x + b y + c z + d (exact).
int geoPlaneSide(const Point3D& p, double a, double b, double c, double d);
// Where the line through the segment meets the plane (not limited to the segment). Returns 1;
// 0 when the line's direction is exactly parallel to the plane (out unchanged).
int geoLinePlaneCut(double a, double b, double c, double d, const Seg3D& seg, Point3D* out);
// Distance of p and q.
double geoDist3D(const Point3D& p, const Point3D& q);
// Distance from p to the line through the segment; to the nearer end when the segment's squared
// length is below 1e-6.
double geoDistPointLine3D(const Point3D& p, const Seg3D& seg);
// Foot of p on the line through the segment in out. Returns 1 when it lies within the segment,
// else 0. A segment whose squared length is below 1e-12 gives the end nearer to p (the end on a
// tie) and 1.
int geoFootOnSeg3D(const Point3D& p, const Seg3D& seg, Point3D* out);
// Projects p perpendicularly onto the triangle's plane into out. Returns 1 when the projection
// lies inside the triangle or on its boundary, else 0 (also for a triangle without a plane).
int geoPointInTri3D(const Point3D& p, const Tri3D& tri, Point3D* out);
// out = the triangle with its corners in descending z (equal z keep their order). Returns 1.
int geoTriSortZ(const Tri3D& tri, Tri3D* out);

// ---- contact solvers --------------------------------------------------------------------------

// Contact of the point p with the triangle's face moved by offset towards p: the moved plane is
// cut with the horizontal plane z = p.z, the foot of p on that line (within halfLength of p along
// x or y) is tested against the unmoved triangle. Returns the result of geoPointInTri3D with its
// projected point in out; 0 when p lies exactly on the plane or the face is horizontal (the
// moved plane then never meets z = p.z in a line); -11 when the triangle has no plane.
int geoOffsetFaceCut(const Point3D& p, double halfLength, double offset, const Tri3D& tri,
                     Point3D* out);
// Cuts the infinite cylinder of radius r about the segment's line with the plane z = h.
// Returns 3 with the ellipse (inclined axis: sine of the elevation at least 1e-5); for a
// horizontal axis at vertical distance e from h: 2 with the two lines at sqrt(r^2 - e^2) either
// side of the projected axis (line1 to the left of the direction from the lower to the higher
// end, line2 to the right), 1 with line1 the projected axis when the plane only grazes the
// cylinder (e + 0.001 > r), 0 when it misses it (e + 1e-6 > r); 0 for a segment shorter than
// 1e-12; -20 for a null output.
int geoCylinderCutZ(const Seg3D& seg, double r, double h, Seg2D* line1, Seg2D* line2,
                    Ellipse2D* ellipse);
// The point of the ellipse nearest to p. Returns 1; 0 when p is within 1e-5 of the centre (no
// unique nearest point; out unchanged), when both semi-axes are below 1e-10 (out = the centre)
// or when the root search fails (out unchanged); -20 for a null output.
int geoEllipseNearest(const Point2D& p, const Ellipse2D& ellipse, Point2D* out);
// Osculating circle at the point of the ellipse nearest to p, its radius grown by offset. The
// ellipse is taken centred at the origin with angle 0 (p given in its frame; its centre and
// angle are ignored). Writes centre, radius and direction 1 of out. Returns 1; -12 when no
// nearest point is found; -20 when a semi-axis is below 1e-10 (no finite curvature) or out is
// null. out is not meaningful unless 1 is returned.
int geoEllipseOscCircle(const Ellipse2D& ellipse, double offset, const Point2D& p, Arc2D* out);
// The points of the segment on the curve at distance dist outside the ellipse (each ellipse
// point moved by dist along its outward normal), accepted within 0.001 of the segment. Returns 2
// (out1 first), 1 (in out1) or 0; 0 when a semi-axis is exactly 0; -10 when the segment has no
// line equation; -20 for a null output.
int geoSegEllipseCut(const Seg2D& seg, const Ellipse2D& ellipse, double dist, Point2D* out1,
                     Point2D* out2);
// The point of the edge that comes nearest the torus with vertical axis through c, centre circle
// of radius a in the plane z = c.z and tube radius b (a torus cutter: a = R - r, b = r). Returns
// 1 with out, or 0. Where the torus function along the edge is convex, its minimum within the
// edge is taken and the error record gets code 1 on success, code 0 on each way of finding
// nothing (also a root search that fails); elsewhere the contact comes from the cylinder of
// radius b about the edge cut at z = c.z. -20 for a null output.
int geoTorusEdgeContact(const Point3D& c, double a, double b, const Seg3D& seg, Point3D* out);
// The part of the triangle below the plane z = h, for a triangle that reaches down to at least
// h - depth: 0 nothing (all above h, or all below h - depth); 1 with out1 (the whole triangle
// when its top is within 0.0001 of h, or a single triangle, degenerate when only a corner or an
// edge touches h); 2 with out1 and out2 (a quadrilateral split along its shorter diagonal);
// -1 when the heights cannot be ordered (not-a-number input; error record set); -20 for a null
// output.
int geoTriClipZSlab(const Tri3D& tri, double h, double depth, Tri3D* out1, Tri3D* out2);
