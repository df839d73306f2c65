// link_search.h - where the ring linkers leave one ring for the next: smallest distances between
// elements and contours with their nearest points, the forward searches along the current ring
// for the first place within reach of the next ring, and the order of two points on an element.
// The "distance" here is the linkers' own measure, not the true distance: two crossing lines
// never give 0 (only their end points are compared), and a fixed margin of 0.05 widens every
// reach and decides between nearly equal candidates, the earlier one winning.
#pragma once

#include "geometry/vec.h"
#include "pocket/contour_element.h"
#include "pocket/link_stack.h"

// The margin added to every reach and used for every decision between equally near candidates.
inline constexpr double kLinkMargin = 0.05;
// Entries of each link table.
inline constexpr int kLinkTableSize = 4000;
// Codes sent by the searches.
inline constexpr int kLinkCodeTablesFull = 3241;

// 1 when the distance d is within reach x: x - d > -kLinkMargin.
int linkWithinReach(double d, double x);

// ---- link tables
// ------------------------------------------------------------------------------------

// The linkers' tables of equally near candidates (kLinkTableSize points, positions and distances).
// While they exist linkContourDistance collects every candidate in them and picks the one that
// comes first along the element; without them it keeps the last candidate. Returns 1; -1 when
// memory runs out (no tables then).
int linkTablesCreate();
// Frees the tables; the searches keep the last candidate again.
void linkTablesFree();
// 1 while the tables exist.
int linkTablesActive();
// Entries left in the tables by the last linkContourDistance.
int linkTableCount();

// ---- distances
// --------------------------------------------------------------------------------------

// Smallest distance between elements a and b with the nearest point on each. A closed element (a
// full circle or null line) answers the distance from its start to the other. Otherwise the
// candidates, in this order, are: a's start to b, b's start to a, b's end to a, a's end to b; for
// a line and an arc the cut points of the perpendicular from the arc's centre to the line (when
// the centre lies off the line and its foot on the segment) with the arc; for two arcs the points
// of both arcs on the line through their centres. The choice is linkArgMin over them (a line's
// points first when one is an arc). Two crossing lines therefore give their smallest end-to-segment
// distance, never 0. 0 (points untouched) for another element type.
double linkElemDistance(const ContourElement& a, const ContourElement& b, Point2D* pointA,
                        Point2D* pointB);
// Index of the smallest value: the first value is the choice, a later one replaces it only when it
// is smaller by at least kLinkMargin, so the earliest of nearly equal values wins. 0 for count <=
// 0.
int linkArgMin(const double* values, int count);
// Order of p and q along e (a line by the distances from its start, an arc by the angles from its
// start in its direction, 0 .. 2 pi): 0 when they coincide within 0.0001, -1 when q lies before p
// by at least kLinkMargin, else 1; 0 for another type.
int linkElemOrder(const ContourElement& e, const Point2D& p, const Point2D& q);
// Distance from element e to contour b: b's elements are candidates in order (element 0 always, a
// later one when it is below the last candidate's distance + kLinkMargin); the last candidate's
// distance is the result. pointOut receives the point on e, refOut the position on b (element
// from 1 and point). With link tables, of the candidates below the result + kLinkMargin the one
// whose point on e comes first along e is chosen. 0 (outputs untouched) for an empty contour.
double linkContourDistance(const ContourElement& e, const ContourElement* b, int n,
                           Point2D* pointOut, LinkRef* refOut);
// Smallest linkContourDistance over a's elements; 0 for na <= 0 or nb <= 0.
double linkContoursMinDistance(const ContourElement* a, int na, const ContourElement* b, int nb);
// The same with the nearest point on a and on b (untouched for an empty contour).
double linkContoursNearest(const ContourElement* a, int na, const ContourElement* b, int nb,
                           Point2D* pointA, Point2D* pointB);

// ---- searches along a ring
// --------------------------------------------------------------------------

// From the position from on ring A, the first place within reach x of ring B: the rest of from's
// element, then the following elements (wrapping to the start only when none of them is within
// reach); once there is a hit, a later element replaces it only below 0.9 times its distance, and
// at most 20 further elements are examined; at last the part of from's element before from.
// entry must come with element 0 (else code 3021 and 0). Returns 1 with the exit on A and the
// entry on B; 0 when nothing is within reach.
int linkSearchForward(const ContourElement* a, int na, const ContourElement* b, int nb,
                      const LinkRef& from, const LinkRef& entry, double x, LinkRef* exitOut,
                      LinkRef* entryOut);
// As linkSearchForward, taking the nearest of the following elements (a later one while it is
// nearer by at least kLinkMargin) and measuring the length walked along A to the exit. Returns 1
// with *best set to that length; -1 as soon as the walk exceeds *best; 0 when nothing is within
// reach.
int linkSearchBounded(const ContourElement* a, int na, const ContourElement* b, int nb,
                      const LinkRef& from, const LinkRef& entry, double x, double* best,
                      LinkRef* exitOut, LinkRef* entryOut);
// The exit into the ring of node child: walking A backward from the stack entry's end to its
// start, the first element tagged child exits at its end, entering B at the first place within
// reach of that point (linkFindNearFrom). Without such an element, linkSearchForward from the
// entry's end. Returns 1 found, else the forward search's result.
int linkSearchBranch(const ContourElement* a, int na, const ContourElement* b, int nb, int child,
                     const LinkStackEntry& stackEntry, const LinkRef& entry, double x,
                     LinkRef* exitOut, LinkRef* entryOut);
// The first position of contour k within reach x of point p, searching forward from ref (the rest
// of ref's element, the following elements, then, on a closed contour with ref's point not at p,
// the elements from the start, and at last the part of ref's element before ref). Returns 1 with
// the position (element from 1, the nearest point); 0 when none.
int linkFindNearFrom(const ContourElement* k, int n, const LinkRef& ref, const Point2D& p, double x,
                     LinkRef* refOut);

// Test seam: the tables freed, as at load.
void linkSearchResetState();
