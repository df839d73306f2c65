// contour_element.h - the line-and-arc element of the pocketing engine's contours and the
// operations on one element: its points, tangents and normals, angles and turns, sweep, length,
// order of points along it, and the point and closure tests with the engine's fixed tolerances.
// A contour is a plain array of elements in machining order, each starting where the previous one
// ends; every operation here reads the start and end of an element through contElemPoint.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/cont_points.h"
#include "geometry/vec.h"

// Element types.
inline constexpr std::int32_t kContLine = 1;
inline constexpr std::int32_t kContArc = 2;
// Tags: 0 and above are ordinary elements (a source number in offsets and rings); these mark the
// open edges of a pocket.
inline constexpr std::int32_t kContTagOpen = -1;     // open edge, or an element marked for linking
inline constexpr std::int32_t kContTagOpenBnd = -2;  // open edge on the machining boundary

// Most elements a contour may have: the engine's element work buffers hold this many.
inline constexpr int kContMaxElements = 50000;

// One line or circular arc.
struct ContourElement {
  std::int32_t type;  // kContLine or kContArc
  std::int32_t tag;   // see the kContTag constants
  double p0, p1;      // line: start x, y; arc: centre x, y
  double p2, p3;      // line: end x, y; arc: start x, y
  double p4, p5;      // arc: end x, y (unused by a line)
  double radius;      // arc radius (unused by a line)
  std::int32_t dir;   // arc direction: +1 counter-clockwise, -1 clockwise (unused by a line)
};
static_assert(sizeof(ContourElement) == 72);
static_assert(offsetof(ContourElement, tag) == 4 && offsetof(ContourElement, p0) == 8 &&
              offsetof(ContourElement, p4) == 40 && offsetof(ContourElement, radius) == 56 &&
              offsetof(ContourElement, dir) == 64);

// A line from (x0, y0) to (x1, y1), zero-filled apart from its fields (padding included).
ContourElement contMakeLine(double x0, double y0, double x1, double y1, int tag);
// An arc about (cx, cy) from (sx, sy) to (ex, ey) with the given radius and direction,
// zero-filled apart from its fields.
ContourElement contMakeArc(double cx, double cy, double sx, double sy, double ex, double ey,
                           double radius, int dir, int tag);
// The four coordinates of a line element as a segment (start, end).
inline Seg2D contElemSeg(const ContourElement& e) { return Seg2D{e.p0, e.p1, e.p2, e.p3}; }
// An arc's centre, start and end.
inline Point2D contArcCentre(const ContourElement& a) { return Point2D{a.p0, a.p1}; }
inline Point2D contArcStart(const ContourElement& a) { return Point2D{a.p2, a.p3}; }
inline Point2D contArcEnd(const ContourElement& a) { return Point2D{a.p4, a.p5}; }
// Copies element into slot i of elements.
void contPutElem(ContourElement* elements, int i, const ContourElement& element);

// ---- points and directions --------------------------------------------------------------------

// Writes the start (which 1), end (2) or middle (3) of e. A line's middle is the mean of its
// ends; an arc's is the point at the mean of its start and end angles after the window wrap.
// Returns 1; 0 for another which or a type other than line or arc (out untouched).
int contElemPoint(const ContourElement& e, Point2D* out, int which);
// The start and the end of a line or arc (contElemPoint 1 and 2); (0, 0) for another type.
inline Point2D contElemStart(const ContourElement& e) {
  Point2D p{0.0, 0.0};
  contElemPoint(e, &p, 1);
  return p;
}
inline Point2D contElemEnd(const ContourElement& e) {
  Point2D p{0.0, 0.0};
  contElemPoint(e, &p, 2);
  return p;
}
// Sets the start of e to p (which 1) or its end (any other which); an arc's radius becomes the
// distance from its centre to p. Returns 1; 0 for a type other than line or arc.
int contElemSetEndpoint(ContourElement* e, const Point2D& p, int which);
// Unit tangent in the direction of travel at the start (which 1) or the end (any other which):
// a line's end minus its start; for an arc the radius vector turned by +90 degrees, negated for
// dir -1. Returns 1; 0 when the unnormalised vector is shorter than 1e-7 or the type is neither
// line nor arc (out untouched).
int contElemDirection(const ContourElement& e, Point2D* out, int which);
// Unit normal at the start (which 1) or end: a line's tangent turned left for side 1, right for
// any other side; for an arc the unit vector from the point toward the centre, negated when
// side x dir < 0. Returns 1; 0 when degenerate as contElemDirection (out untouched).
int contElemNormal(const ContourElement& e, Point2D* out, int which, int side);

// a.x b.y - a.y b.x.
double contCross2d(const Point2D& a, const Point2D& b);
// Euclidean distance.
double contDistance(const Point2D& a, const Point2D& b);
// Widens the box [min, max] to contain p.
void contBoxAddPoint(const Point2D& p, Point2D* min, Point2D* max);

// Angle of the vector (x, y) in [0, 2 pi) from the arc tangent of y / x; note the argument order
// y, x. When |x| is below contAngleGuard: 0 when |y| is below it too, pi/2 for y at least the
// guard, 3 pi/2 otherwise.
double contVectorAngle(double y, double x);
// Signed angle from the vector P1 - P0 to the vector P2 - P1: exactly 0 when their cross product
// is within 0.0001 of 0; otherwise the difference of their contVectorAngle values brought into
// (-pi, pi) with the sign of the cross product.
double contTurnAngle(double x0, double y0, double x1, double y1, double x2, double y2);
// The same rule for the angle from vector a to vector b.
double contTurnBetween(const Point2D& a, const Point2D& b);

// ---- arcs
// -----------------------------------------------------------------------------------------

// The point of arc at the angle (1 - t) start + t end of its wrapped window (for dir +1 the end
// angle is raised by 2 pi when below the start angle; for dir -1 the start angle when below the
// end angle). Returns 1; 0 when e is not an arc (out untouched).
int contArcPointAt(const ContourElement& arc, double t, Point2D* out);
// The point of arc at 0.9 angle(p) + 0.1 angle(q), the two angles wrapped like a window from p to
// q in the arc's direction. Returns 1; 0 when e is not an arc (out untouched).
int contArcInnerPoint(const ContourElement& arc, const Point2D& p, const Point2D& q, Point2D* out);
// Signed sweep of an arc (0 for a line or another type): the turn from its start tangent to its
// end tangent (contTurnBetween); a negative turn of a counter-clockwise arc gains 2 pi and a
// positive turn of a clockwise arc loses 2 pi. When that turn is 0 the sweep is 0 when the two
// tangents point the same way and dir x pi otherwise. 0 when a tangent cannot be formed.
double contArcSweep(const ContourElement& e);

// ---- lengths and order --------------------------------------------------------------------------

// 0 when start and end agree within 0.0001 in x and y (a full circle included); the chord when it
// is shorter than 0.01; a line's chord; an arc's |sweep x radius|. 0 for another type.
double contElemLength(const ContourElement& e);
// Length from the start of e to the point p on it (e with its end moved to p, an arc's radius
// following p); rest (may be null) receives the length of e minus that.
double contElemLengthTo(const ContourElement& e, const Point2D& p, double* rest);
// 1 when p lies beyond q in the direction of travel on e, 2 otherwise (equal included). A line
// compares the positions of p and q along x, or along y when its start and end x agree within
// 0.0001. An arc measures both angles from the angle of its counter-clockwise-most end: p's angle
// gains 2 pi when below it, q's when below it by more than 0.00001. 0 for another type.
int contElemPointOrder(const ContourElement& e, const Point2D& p, const Point2D& q);
// 1 when the end of a meets the start of b and the end of b the start of c, each coordinate
// within 0.0001; else 0.
int contElemsChained(const ContourElement& a, const ContourElement& b, const ContourElement& c);

// ---- point and closure tests
// ----------------------------------------------------------------------

// 1 when the x and the y of p and q each differ by less than 0.0001: the engine's point equality,
// the same function as contPointsEqual.
inline constexpr int (&contSamePoint)(const Point2D&, const Point2D&) = contPointsEqual;
// 1 when the x and the y of p and q each differ by less than 0.0002.
int contPointsClose(const Point2D& p, const Point2D& q);
// 1 when the start and end of e agree within 0.0001 in x and y (a full circle or a null line);
// 0 otherwise and for another type.
int contElemClosed(const ContourElement& e);
// 1 when the start of element 0 and the end of element n - 1 agree within 0.01 in x and y; 0
// otherwise and for n <= 0 or null elements.
int contIsClosed(const ContourElement* elements, int n);
