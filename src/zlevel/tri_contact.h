// tri_contact.h - where a ball or a torus whose centre is confined to a small horizontal circle
// (the walker's step circle) just touches one element of the model: a triangle's face, an edge or
// a vertex. The walker's step search keeps the best of these positions over all elements, so the
// solvers decide how closely a Z-level contour hugs the part.
//
// Every position is written at the level height z: the ball centre, or for a torus the plane of
// its tube centres (tip + corner radius). A torus is given by rc = R - c (the radius of its
// tube-centre circle) and c (the corner radius). The step circle is the centre (cx, cy) and the
// radius of an Arc2D; nothing else of it is read.
//
// Results: the number of positions written (0, 1 or 2; up to 4 for the ball edge). A result of 1
// marks a tangent case, which the walker ignores. kTriconGouge (-60, recorded under "Tricont")
// means the ball already lies deeper in the element than the step circle can leave.
#pragma once

#include <array>
#include <numbers>

#include "geometry/plane_geo.h"
#include "geometry/vec.h"

inline constexpr int kTriconGouge = -60;    // the ball already gouges the element
inline constexpr int kTriconNoPlane = -11;  // the torus face solver's triangle has no plane
inline constexpr double kTriconTangentTol = 0.00001;  // tangent cases (h = R, |D| = R, ...)

// The 33 unit vectors (cos, sin) of k x 360/32 degrees, k = 0 .. 32 (the last equals the first);
// the ball edge solver samples the first 32.
extern const std::array<Point2D, 33> TriconDirections;

// ---- ball (radius R, centre at z) ----------------------------------------------------------

// Face: the triangle's plane moved by R towards the centre, cut at height z, cut with the step
// circle. 0 when the centre lies on the plane, farther than R + r from it, or the plane is
// horizontal (then 1 when the centre lies R from it within kTriconTangentTol); kTriconGouge when
// the centre is nearer than R - r to the plane and its foot lies inside the triangle; 0 also for
// a triangle without a plane.
int triconBallFace(const Tri3D& tri, double R, const Arc2D& circle, double z, Point3D* out1,
                   Point3D* out2);
// Vertex: the circle about the vertex of radius sqrt(R^2 - h^2), h = |z - vz|, cut with the step
// circle. kTriconGouge when the centre lies nearer than R - r to the vertex; 0 for h > R or a
// circle equal to the step circle; 1 for h = R.
int triconBallVertex(const Point3D& v, double R, const Arc2D& circle, double z, Point3D* out1,
                     Point3D* out2);
// Edge P0 P1: 0 when the edge lies wholly more than R below z or is shorter than 1e-6.
// A horizontal edge is moved sideways in both directions by sqrt(R^2 - (z - P0z)^2) and each moved
// line cut with the step circle (up to four positions; 0 when the edge lies R below the centre
// within kTriconTangentTol or more than R above or below it). An inclined edge: the squared
// distance of the step circle's points from the edge's line minus R^2 is sampled at the 32
// TriconDirections; each sample of exactly 0 is a root at its own angle and each sign change
// between neighbouring samples (31 and 0 included) is refined by triconRegulaFalsi; roots in
// ascending angle, at most four written. Every sample negative: kTriconGouge when the foot of the
// nearest sample point lies within the edge, else 0. Every sample positive: 0.
int triconBallEdge(const Seg3D& edge, double R, const Arc2D& circle, double z, Point3D* out1,
                   Point3D* out2, Point3D* out3, Point3D* out4);

// A bracket of the ball edge solver: the angles t1 < t2 (radians, at most pi/16 apart) and the
// exactly computed values of the contact function there.
struct TriconBracket {
  double t1;
  double t2;
  double f1;
  double f2;
};

// The root of the ball edge's contact function within the bracket by false position with the
// Illinois rule. Inside the bracket cos and sin are their second-order Taylor polynomials about
// the bracket's middle, so one bracket costs one sine and one cosine. Writes the root, clamped to
// the bracket, to out and returns 1. Returns 0 when the end values do not have opposite signs
// (a zero end value included: a sample of exactly 0 is a root of its own). The search ends when
// the contact function is exactly 0 at the estimate, when the estimate leaves the open bracket,
// when the bracket is narrower than kTriconBracketMin, or after kTriconMaxSteps steps.
//
// The Taylor step bounds the error: the approximated circle point differs from the true one by at
// most r |t - m|^3 / 6 <= r (pi/32)^3 / 6 (m the bracket's middle), and the distance from a line
// changes by no more than the point moves, so the returned position's distance from the edge's
// line is R within about 1.577e-4 r (kTriconEdgeErrorPerRadius x r).
int triconRegulaFalsi(const Seg3D& edge, const TriconBracket& bracket, double R,
                      const Arc2D& circle, double z, double* out);
inline constexpr double kTriconBracketMin = 1e-15;
inline constexpr int kTriconMaxSteps = 100;
// (pi/32)^3 / 6: the ball edge solver's bound on |distance - R| per unit of step radius.
inline constexpr double kTriconEdgeErrorPerRadius =
    (std::numbers::pi / 32) * (std::numbers::pi / 32) * (std::numbers::pi / 32) / 6;

// ---- torus (tube-centre circle rc = R - c, corner radius c, tube centres at z) ---------------

// Face: kTriconNoPlane for a triangle without a plane; 0 when the centre lies on the plane or
// farther than rc + c + r from it; a horizontal face (|nz| > 0.999999) gives 1 when the plane lies
// c from the centre within kTriconTangentTol, else 0. Otherwise the plane moved by c to the
// centre's side is cut at height z, that line moved by rc further to that side in plan and cut
// with the step circle (also when the centre lies nearer than c to the plane).
int triconTorusFace(const Tri3D& tri, double rc, double c, const Arc2D& circle, double z,
                    Point3D* out1, Point3D* out2);
// Vertex: h = |z - vz|; 0 for h > c, 1 for h within kTriconTangentTol below c (the vertex touches
// the tube's top or bottom within the tolerance that the horizontal face keeps: the vertices of a
// flat face a hair inside the tool are no obstacles); else the circle about the vertex of radius
// sqrt((c - h)(c + h)) + rc cut with the step circle (0 when it equals the step circle).
int triconTorusVertex(const Point3D& v, double rc, double c, const Arc2D& circle, double z,
                      Point3D* out1, Point3D* out2);
// Edge: 0 for an edge whose ends agree within kTriconTangentTol in x, y and z. Without a corner
// radius (|c| < kTriconTangentTol) the edge's point at height z (triconEdgeAtZ with radius rc).
// A horizontal edge that lies c from the centre's height within kTriconTangentTol touches the tube
// tangentially (as the vertex above): 1.
// Otherwise the cylinder of radius c about the edge is cut at z: an ellipse gives the osculating
// circle at its point nearest the centre grown by rc; two lines (a horizontal edge) the nearer
// one moved by rc towards the centre; a grazing single line likewise moved by rc. The curve is
// cut with the step circle. 0 when the plane misses the cylinder or the centre lies on the line.
int triconTorusEdge(const Seg3D& edge, double rc, double c, const Arc2D& circle, double z,
                    Point3D* out1, Point3D* out2);
// The circle of the given radius about the edge's point at height z cut with the step circle;
// 0 for a horizontal edge or when z lies outside the edge's height range.
int triconEdgeAtZ(double radius, const Arc2D& circle, double z, const Seg3D& edge, Point3D* out1,
                  Point3D* out2);

// ---- cuts with the step circle -----------------------------------------------------------
// Made about the step circle's centre, where its equation has no large terms to cancel: the
// positions lie on the step circle to rounding of its radius, also for near-tangent cuts far from
// the origin. Both return 2 with the positions (at z), or 0.

// The circle of the given radius about (x, y) cut with the step circle (0 also for a circle equal
// to the step circle).
int triconCircleCut(double x, double y, double radius, const Arc2D& step, double z, Point3D* out1,
                    Point3D* out2);
// The line a x + b y + e = 0 cut with the step circle.
int triconLineCut(double a, double b, double e, const Arc2D& step, double z, Point3D* out1,
                  Point3D* out2);

// ---- the solver sets ----------------------------------------------------------------------

// Tool values of one element: radius = R for the ball or R - c for the torus; corner = c.
struct TriconTool {
  double radius;
  double corner;
};

// The five slots through which the step search calls a cutter's solvers. Solvers write up to
// four positions to out and return as above; checks compute the touching point on the model for
// a position and return 1 when it lies on the element (inside the face, within the edge).
struct TriconSet {
  int (*faceSolver)(const Tri3D& tri, const TriconTool& tool, const Arc2D& circle, double z,
                    Point3D out[4]);
  int (*faceCheck)(const Point3D& pos, const TriconTool& tool, const Tri3D& tri, Point3D* contact);
  int (*edgeSolver)(const Seg3D& edge, const TriconTool& tool, const Arc2D& circle, double z,
                    Point3D out[4]);
  int (*edgeCheck)(const Point3D& pos, const TriconTool& tool, const Seg3D& edge, Point3D* contact);
  int (*vertexSolver)(const Point3D& v, const TriconTool& tool, const Arc2D& circle, double z,
                      Point3D out[4]);
};

// The set of a cutter type: 1 ball, 3 torus. Null for the flat end mill (2), which meets only the
// wall segments, and for any other type.
const TriconSet* triconSetFor(int cutterType);

// Ascending comparison of the doubles at a and b (the first field of a record) for lstSort:
// -1, 0 or 1.
int triconCompareDouble(const void* a, const void* b);
