// contour_geom.h - the pocketing engine's operations on a point against an element or a contour
// (membership, nearest point, winding) and on contours (corner classes, length, box, orientation,
// reversal, rotation, tags). Every pocket decision about sides, nesting and corners is made here,
// with the engine's settings (contTol, pockToolRadius, contCornerFactor, offsetStrict and the
// strategy switch "openPocket") read from pockEngine(). Nothing here allocates or reports.
// A contour is an array of n elements; an n of 0 or less is an empty contour.
#pragma once

#include "geometry/vec.h"
#include "pocket/contour_element.h"

// Corner classes of contCornerType.
inline constexpr int kCornerTangent = 0;
inline constexpr int kCornerLeft = 1;
inline constexpr int kCornerRight = -1;
inline constexpr int kCornerReversal = -2;

// ---- a point against an element or contour
// --------------------------------------------------------

// The box of e's start and end; an arc's box also takes each of the four points centre +-
// (radius, 0), centre +- (0, radius) that isectPointOnArc accepts. Returns 1; 0 for a type other
// than line or arc (outputs untouched).
int contElemBox(const ContourElement& e, Point2D* min, Point2D* max);
// isectPointOnSegment for a line, isectPointOnArc for an arc, 0 for another type. The distance
// from the line or circle is not measured: p is expected to lie on it.
int contPointOnElem(const Point2D& p, const ContourElement& e);
// Distance from p to the nearest point of e, that point in foot. A line whose ends agree within
// 0.0001 answers its start; otherwise the perpendicular foot when the segment test accepts it,
// else the nearer end (the start on a tie). An arc answers its start for p at its centre (within
// 0.0001 in x and y); otherwise the best of its two circle points on the line through p and the
// centre (a point outside the window counts 100 further than the end), its end and its start,
// later candidates winning ties. 0 for another type (foot untouched).
double contNearestOnElem(const Point2D& p, const ContourElement& e, Point2D* foot);
// The smallest contNearestOnElem distance over the contour; 0 for n <= 0.
double contMinDistance(const Point2D& p, const ContourElement* elements, int n);
// As contMinDistance, with the foot and the 0-based index of the first element reaching the
// minimum; 0 for n <= 0 (outputs untouched).
double contNearestElem(const Point2D& p, const ContourElement* elements, int n, Point2D* foot,
                       int* index);
// +1 when p lies inside a counter-clockwise contour, -1 inside a clockwise one, 0 outside (the
// sum of the angles its elements subtend at p, below -1 or above +1); 0 for n <= 1. A point on
// a line element adds 0 for that element.
int contWinding(const ContourElement* elements, int n, const Point2D& p);

// ---- corners
// ----------------------------------------------------------------------------------------

// Class of the corner from the end of prev to the start of next: kCornerTangent, kCornerLeft,
// kCornerRight or kCornerReversal, with the tolerance 0.005 x contCornerFactor on the cross product
// of the unit tangents (x 9 instead for a line into an arc while offsetStrict is 0, x 10 for an arc
// into a line longer than 100). A reversal into an arc is decided by the tangent one tenth into the
// arc, except under the strategy "openPocket" when the cross product is below 1e-7.
// Returns 1 with the class in cls; 0 (cls untouched) when a tangent cannot be formed.
int contCornerType(const ContourElement& prev, const ContourElement& next, int* cls);
// 1 when contCornerType(a, b) fails or gives a class other than cls, or when the chords (end minus
// start) of a and b point against each other (negative dot product); else 0.
int contCornerAgrees(const ContourElement& a, const ContourElement& b, int cls);
// The turn of +-pi counted for a reversal from prev into next: line into line +pi; a line and an
// arc -pi for a counter-clockwise arc, +pi for a clockwise one; two arcs -pi both
// counter-clockwise, +pi both clockwise, and for mixed directions +pi unless the counter-clockwise
// arc's radius is smaller than the clockwise arc's by more than 0.0001 (then -pi); +pi for another
// type.
double contHalfTurn(const ContourElement& prev, const ContourElement& next);

// ---- whole contours
// -------------------------------------------------------------------------------

// Sum of contElemLength.
double contLength(const ContourElement* elements, int n);
// Union of contElemBox over the contour. Returns 1; 0 for n <= 0 (outputs untouched).
int contBox(const ContourElement* elements, int n, Point2D* min, Point2D* max);
// Sign of the shoelace sum x_i (y_{i+1} - y_{i-1}) over the start points (indices cyclic): +1,
// -1, or 0 when within 0.0001 of 0, for n = 1 and for n <= 0.
int contShoelaceSign(const ContourElement* elements, int n);
// 1 for a three-element contour without arcs longer than their radius / 50 of which one start point
// lies closer than contTol to the segment joining the other two; else 0 (always 0 unless n = 3).
int contTriangleThin(int n, const ContourElement* elements);
// +1 counter-clockwise, -1 clockwise, 0 undecided: a single element answers an arc's dir (0 for a
// line); a thin triangle and two elements whose middles are closer than 0.02 x pockToolRadius
// answer 0; otherwise the total turning of the tangents (arc sweeps and corner turns, a reversal
// counting +-pi by contHalfTurn where an arc is involved) decides by its sign, and the shoelace
// sign of the start points decides when that total is below 0.03 or above 2 pi + 1 in magnitude.
// 0 when a tangent cannot be formed.
int contOrientation(const ContourElement* elements, int n);
// Reverses the contour in place: the element order, each element's start and end and each arc's
// dir. Applied twice it restores the contour bit for bit.
void contReverse(ContourElement* elements, int n);
// Moves element 0 to the end (the others move down by one); nothing for n <= 1.
void contRotateFirstToEnd(int n, ContourElement* elements);
// Sets the tag of every element whose tag is 0 or more to value; negative tags stay.
void contSetTags(ContourElement* elements, int n, int value);
