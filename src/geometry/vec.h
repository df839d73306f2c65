// vec.h - the small value types every geometric module passes around (points, segments, circles,
// triangles) and the stateless 3D vector and 2D segment maths on them.
// The fixed absolute tolerances below are part of the behaviour: callers rely on exactly these
// thresholds, with lengths scaled so that the tool radius is 10.
#pragma once

#include <cstddef>

// A point or a direction in space.
struct Point3D {
  double x;
  double y;
  double z;
};

// A point or a vector in the plane.
struct Point2D {
  double x;
  double y;
};

// A directed 2D segment: start (x1, y1), then end (x2, y2). A 2D contour is an array of Seg2D in
// which each segment's end equals the next segment's start.
struct Seg2D {
  double x1;
  double y1;
  double x2;
  double y2;
};

// A circle in the plane: centre and radius.
struct Circle2D {
  Point2D centre;
  double radius;
};

// A 3D segment: start, then end.
struct Seg3D {
  Point3D start;
  Point3D end;
};

// A 3D triangle: three corners.
struct Tri3D {
  Point3D v[3];
};

// A single-precision triangle: x, y, z of the first, second and third corner.
struct TriF {
  float v[9];
};

static_assert(sizeof(Point3D) == 24 && sizeof(Point2D) == 16 && sizeof(Seg2D) == 32);
static_assert(sizeof(Circle2D) == 24 && sizeof(Seg3D) == 48 && sizeof(Tri3D) == 72);
static_assert(sizeof(TriF) == 36);

// The start and the end of a segment as points (an operation that takes a point takes a segment's
// start this way).
inline Point2D g2dSegStart(const Seg2D& s) { return Point2D{s.x1, s.y1}; }
inline Point2D g2dSegEnd(const Seg2D& s) { return Point2D{s.x2, s.y2}; }

// ---- 3D vectors -------------------------------------------------------------------------------

// a + b, a - b, f a, the dot product and the cross product a x b. Inline: the drop and contact
// solvers call them in their innermost loops.
inline Point3D vecAdd(const Point3D& a, const Point3D& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3D vecSub(const Point3D& a, const Point3D& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3D vecScale(double f, const Point3D& a) { return {f * a.x, f * a.y, f * a.z}; }
inline double vecDot(const Point3D& a, const Point3D& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Point3D vecCross(const Point3D& a, const Point3D& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Length of v.
double vecLength(const Point3D& v);
// Distance of a and b.
double vecDistance(const Point3D& a, const Point3D& b);
// Length of the cross product a x b.
double vecCrossLength(const Point3D& a, const Point3D& b);
// Writes a x b normalised to out. Returns 0; -1 when the cross product is shorter than 1e-5 (out
// then holds the unnormalised product).
int vecCrossUnit(const Point3D& a, const Point3D& b, Point3D* out);
// Arc cosine of x clamped to [-1, 1].
double vecAcosClamped(double x);
// Square root of x; 0 for negative x.
double vecSqrtClamped(double x);

// ---- 2D basics --------------------------------------------------------------------------------

double g2dDistance(const Point2D& a, const Point2D& b);
double g2dLength(const Point2D& v);
double g2dDot(const Point2D& a, const Point2D& b);
// out = f * v.
void g2dScaleVector(double f, const Point2D& v, Point2D* out);
// out = p + v for sign 1, p - v for sign -1; returns 1. Any other sign returns 0, out unchanged.
int g2dAddVector(const Point2D& p, const Point2D& v, Point2D* out, int sign);
// 1 when a and b differ by less than 0.0001, else 0.
int g2dNearlyEqual(double a, double b);
// Angle of the vector (x, y) in [0, 2 pi). Note the argument order y, x. A vector whose x is
// below 1e-13 in magnitude counts as vertical (or zero, giving 0).
double g2dAngle(double y, double x);
// Signed turning angle at (x1, y1) from the direction (x0, y0)->(x1, y1) to (x1, y1)->(x2, y2):
// positive for a left turn, negative for a right turn, 0 when the cross product is exactly 0.
double g2dTurnAngle(double x0, double y0, double x1, double y1, double x2, double y2);
// Unit direction of seg. Returns 1; 0 when the segment is shorter than 1e-7 (out unchanged).
int g2dSegDirection(const Seg2D& seg, Point2D* out);
// Unit normal of seg: side 1 the left normal, any other side the right normal. Returns 1; 0 when
// the segment has no direction (out unchanged).
int g2dSegNormal(const Seg2D& seg, Point2D* out, int side);
// Sets the start of seg to p (which = 1), else its end.
void g2dSetSegEnd(Seg2D* seg, const Point2D& p, int which);
// Writes the start (sel 1), end (2) or midpoint (3) of seg. Returns 1; 0 for other selectors.
int g2dSegPoint(const Seg2D& seg, Point2D* out, int sel);

// ---- 2D point against segment -----------------------------------------------------------------

// Foot of the perpendicular from (px, py) onto the line through seg. Returns 1; 0 when the
// segment's squared length is below 1e-5 (outputs unchanged).
int g2dSegFoot(const Seg2D& seg, double px, double py, double* outX, double* outY);
// 1 when p lies in the segment's box: for a degenerate segment within 1e-5 of its start; else at
// an end within 1e-5, or both coordinate products (x1-px)(x2-px), (y1-py)(y2-py) below 1e-5.
int g2dPointInSegBox(const Point2D& p, const Seg2D& seg);
// Distance from p to the segment.
double g2dPointSegDist(const Point2D& p, const Seg2D& seg);
// The same distance; the nearest point of the segment in out (on a tie of the ends, the end).
double g2dPointSegNearest(const Point2D& p, const Seg2D& seg, Point2D* out);
// Distance from (px, py) to the infinite line through seg (to its start when the foot fails).
double g2dPointLineDist(double px, double py, const Seg2D& seg);
// Smallest g2dPointSegDist over n segments, with the index of the first reaching it; 1e10 and
// index 0 when n <= 0 or segs is null.
double g2dNearestSeg(const Point2D& p, const Seg2D* segs, int n, int* outIndex);
// As g2dNearestSeg, also giving the nearest point (unchanged when n <= 0).
double g2dNearestSegPoint(const Point2D& p, const Seg2D* segs, int n, int* outIndex,
                          Point2D* outPoint);

// ---- 2D intersections -------------------------------------------------------------------------

// Intersection of the infinite lines through a and b: 1 with the point, 0 parallel, -1 the same
// line. A degenerate segment gives the result of g2dSegIsectDegenerate.
int g2dLineIsect(const Seg2D& a, const Seg2D& b, Point2D* out);
// a or b is a single point: 1 with that point when it lies on the other within 1e-5, else 0.
int g2dSegIsectDegenerate(const Seg2D& a, const Seg2D& b, Point2D* out);
// Intersection of two segments: 1 with the point (for collinear segments that touch end to end,
// the touching end), 0 none, -1 collinear overlap. out is (0, 0) unless 1 is returned.
int g2dSegIsect(const Seg2D& a, const Seg2D& b, Point2D* out);
// Intersections of the line through seg with a circle: 0, 1 (tangent point in p1), or 2 (p1 the
// point of smaller x, then p2). 0 for a degenerate segment.
int g2dLineCircleIsect(const Seg2D& seg, const Circle2D& circle, Point2D* p1, Point2D* p2);
// Intersections within the segment: 0 none; -1 the line touches the circle at a point of the
// segment; 1 one crossing in out2[0]; 2 two crossings in out2[0], out2[1]. out2 holds 2 points.
int g2dSegCircleIsect(const Seg2D& seg, const Circle2D& circle, Point2D out2[2]);

// ---- closed segment chains --------------------------------------------------------------------

// Orientation by the shoelace sum of the start points: 1 counter-clockwise, -1 clockwise, 0
// undecided (|sum| < 1e-5, n <= 1 or segs null).
int g2dSegChainOrientation(const Seg2D* segs, int n);
// 1 when the chain winds counter-clockwise around p, -1 clockwise, 0 when p is outside (the sum of
// subtended angles within 0.01 of 0); 0 for n <= 0 or segs null.
int g2dWinding(const Seg2D* segs, int n, const Point2D& p);
// 1 when the first start equals the last end within 1e-5 in x and y; 0 otherwise or for n <= 0.
int g2dChainClosed(const Seg2D* segs, int n);
// Turn from a into b: *outTurn 1 left, -1 right, 0 straight on, -2 reversal (cross product of
// the unit directions below 0.005). Returns 1; 0 when either segment has no direction.
int g2dTurnDirection(const Seg2D& a, const Seg2D& b, int* outTurn);

// ---- text functions of the file readers -------------------------------------------------------

// Number of lines of a text file, counted as pieces of at most 128 characters (a longer line
// counts once per piece). -1 for a null or empty name, a name beginning with a blank, or a file
// that does not open.
int g2dFileLineCount(const char* name);
// Finds the first occurrence of letter in line; when the character after it is a digit, '-' or a
// blank, stores the number that follows (as the C library reads a double, "C" locale; 0 when no
// number follows) and returns 1. Otherwise (or for a null line or out) returns 0.
int g2dReadLetterValue(char letter, const char* line, double* out);

// ---- torus functions of the drop-cutter and contact code --------------------------------------
// r is the corner (tube) radius, R the radius of the circle of tube centres.

// Depth of the torus surface below its centre plane at the radial distance sqrt(a^2 + d^2):
// -sqrt(r^2 - (R - rho)^2), 0 when the radicand is negative.
double vecTorusHeight(double a, double r, double R, double d);
// Position x along a line at lateral distance h from the axis where the slope of the torus
// surface along the line equals s, found by bisection to 0.001. Returns 0 with x in out; -1 when
// no such position is bracketed (also when the line misses the torus or r is not positive).
int vecTorusContact(double* out, double r, double R, double h, double s);
