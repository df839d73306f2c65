// tangent_link.h - smooth connecting moves of the pocketing engine: from a point leaving in one
// direction to a point arriving in another, an arc, an optional line and an arc of one radius. The
// ring linkers and the toolpath output join the end of one cut to the start of the next with it;
// the radius halves while an arc would bring the tool nearer than its radius plus allowance to an
// INPUT contour, and below 0.01 the link is a straight line.
#pragma once

#include "geometry/vec.h"
#include "pocket/contour_element.h"

// Below this radius a link is one straight line.
inline constexpr double kTangentMinRadius = 0.01;

// The link from p0 (leaving in unit direction d0) to p1 (arriving in unit direction d1) with
// radius r, halved while an arc or its middle line is blocked (isectLinkArcBlocked,
// isectLinkLineBlocked). out needs room for three elements. Returns the number of elements
// written: 1 (a line p0-p1, also for r at or below 0.01 or once halving reaches it), 2 (arc, arc)
// or 3 (arc, line, arc); -1 when no tangent-arc radius exists for the two directions.
int isectTangentLink(const Point2D& p0, const Point2D& d0, const Point2D& p1, const Point2D& d1,
                     double r, ContourElement* out);
// One construction at radius r without clearance tests: 1 (a line, for r below 0.01), 2 or 3
// elements; -1 when it cannot be built. The arcs are tangent to d0 at p0, to each other or to the
// line, and to d1 at p1.
int isectTangentLinkOnce(const Point2D& p0, const Point2D& d0, const Point2D& p1, const Point2D& d1,
                         double r, ContourElement* out);
// An arc whose start and end are point, centre point + r x normal, radius r, direction dir.
void isectMakeArc(ContourElement* out, const Point2D& normal, const Point2D& point, double r,
                  int dir);
// The unit direction from a point to where a tangent from it touches the arc's circle, on the side
// that the arc's direction continues smoothly (centre to the left of the direction for a
// counter-clockwise arc). Returns 1; -1 when the point is at the centre (0.0001) or inside the
// circle (dirOut untouched).
int isectTangentPoint(const Point2D& from, const ContourElement& arc, Point2D* dirOut);
// Real roots of a x^2 + b x + c: |a| < 0.00001 gives -c/b (none when also |b| < 0.00001);
// otherwise none below a discriminant of -0.00001, else (-b - sqrt D) / 2a and (sqrt D - b) / 2a
// with a negative D raised to 0, one root when they differ by less than 0.00001. Returns the count.
int isectSolveQuadratic(double a, double b, double c, double rootsOut[2]);
// The radius t of two equal circles, centres p1 + t k1 and p0 + t k0, that touch each other: the
// larger root of (|k1 - k0|^2 - 4) t^2 + 2 ((p1 - p0).(k1 - k0)) t + |p1 - p0|^2. Returns 0 with t;
// -1 when there is no root or the root is negative.
int isectCircleFitParam(const Point2D& k1, const Point2D& p1, const Point2D& k0, double* tOut,
                        const Point2D& p0);
// 1 when the arc cannot be used: for some INPUT contour i the circle about the arc's centre with
// radius allowance[i] + arc radius + tool radius - 0.01 cuts into it, or the arc's middle lies
// behind p0 (dot of p1 - p0 and middle - p0 below 0); else 0. 1 as well when the work buffer
// cannot be had (code 3020 sent): an untested link is never taken as clear.
int isectLinkArcBlocked(const ContourElement& arc, const Point2D& p0, const Point2D& p1);
// 1 when the line crosses some INPUT contour (isectSegmentCrossesContour); 1 as well without a
// work buffer (code 3020 sent).
int isectLinkLineBlocked(const ContourElement& line);
// 1 when the segment crosses or overlaps the contour anywhere but at its own two end points (a
// collinear overlap counts, a line-arc contact of two points counts, a single contact point counts
// unless it equals the segment's start or end within 0.0001 per coordinate; tangent contacts do
// not count); -1 on an element that is neither line nor arc; else 0.
int isectSegmentCrossesContour(const ContourElement& segment, const ContourElement* elements,
                               int n);
// Turns every arc whose start and end lie closer than 0.01 and that turns less than half a circle
// into a line between them (a nearly full arc stays an arc). Returns n.
int isectShortArcsToLines(ContourElement* elements, int n);

// Test seam: the work buffer released, as at load.
void tangentLinkResetState();
