// contour_relate.h - two whole contours of the pocketing engine against each other: every
// intersection as records in the order of the first contour, whether one lies inside the other,
// whether a tool circle cuts into a contour, and the copying and tracing of contour pieces between
// intersection records. The ring builders, cut regions, open pockets, the offset's loop removal,
// the linkers and rest machining decide with these.
// Element numbers in records count from 1, element indexes in arguments from 0. Contours are
// closed unless stated.
#pragma once

#include "geometry/cont_points.h"
#include "pocket/contour_element.h"
#include "pocket/isect.h"

// Most elements one traced loop may have.
inline constexpr int kTraceMaxElements = 50000;

// ---- intersections of two contours -----------------------------------------------------------

// Writes the intersections of contour a with contour b into records (room for capacity records):
// x, y, t (a line's fraction from its start along x, along y when its ends' x agree within
// 0.0001, 0 for a line without length; an arc's polar angle about its centre, raised by 2 pi below
// the angle of its counter-clockwise-most end), elemA, elemB, state 1. Records of one element of a
// follow its direction of travel. A point where b only touches a at one of b's vertices is left
// out; a crossing at a vertex is recorded once; where elements overlap, only the end of b's
// overlapping element can give a record. Element pairs whose search boxes are apart are not
// intersected (they give nothing). Returns the number of records; capacity + 1 when there are more
// (capacity records stored); -1 when memory runs out; 0 for an empty contour.
int isectContours(const ContourElement* a, int na, const ContourElement* b, int nb,
                  IntersectionRecord* records, int capacity);
// The same over all element pairs: identical results, the oracle of the box filter.
int isectContoursAllPairs(const ContourElement* a, int na, const ContourElement* b, int nb,
                          IntersectionRecord* records, int capacity);
// 0 when contours a and b only touch at the record's point, which is the end of b's element
// elemB; 1 when they cross there, or when the point is not that end.
int isectCrossesAtVertex(const ContourElement* a, int na, const ContourElement* b, int nb,
                         const IntersectionRecord& record);

// ---- relations ----------------------------------------------------------------------------------

// The winding number of contour b about the first usable test point of contour a (the middles of
// a's elements from index na / 2 on that lie at least the working tolerance from b and on none of
// its elements): non-zero means a lies inside b, with the sign of b's orientation (contWinding).
// The working tolerance is t x 0.2 while pockToolRadius is below 1; otherwise t, or a tenth of a's
// length when that length is below 10 t. decidedOut (may be null) is 1 when a test point was
// found; else 0 and the result 0.
int isectContourInside(const ContourElement* a, int na, const ContourElement* b, int nb, double t,
                       int* decidedOut);
// isectContourInside with t = 0.2, and again with t = 0.02 when undecided: the last result.
int isectContourInsideOf(const ContourElement* a, int na, const ContourElement* b, int nb);
// 1 when point lies on a line within 0.0001 of its carrier, or within 0.0001 of an arc's circle,
// and contPointOnElem places it within the element's extent; 0 otherwise and for other types.
int isectPointOnElemExact(const Point2D& point, const ContourElement& element);
// The tool-circle free test. circle is an arc element giving the centre and radius R. Returns 1
// when the circle cuts into the contour beyond the tolerated contacts (a tangent touch, a touch of
// a joint, a circle running inside an arc that it touches), 0 when it is free, -1 when an element
// of another type than line and arc is met before any cut.
int isectCircleHitsContour(const ContourElement& circle, const ContourElement* elements, int n);
// The elements of one contour on a grid, for many circle tests against it. The contour must stay
// in place and unchanged while the index is used.
struct CircleIndex;
// Null for an empty contour or when memory runs out.
CircleIndex* isectCircleIndexNew(const ContourElement* elements, int n);
void isectCircleIndexFree(CircleIndex* index);
// isectCircleHitsContour against the indexed contour, visiting only the elements near the circle;
// the same answer. 0 for a null index.
int isectCircleHitsIndexed(const ContourElement& circle, const CircleIndex* index);
// 1 when an element of the indexed contour comes nearer to p than reach, by exact distances (a
// line by its segment, an arc by its window: its circle where p lies in the window, else the
// nearer end); 0 when none does or the index is null. Free of the slack of the intersection
// routines: it tells whether a circle that the circle tests find cutting the contour reaches it
// at all.
int isectNearerThanIndexed(const Point2D& p, double reach, const CircleIndex* index);
// 1 when p lies inside the indexed contour by crossing parity (a ray from p to the right, each
// element counted where it crosses the ray's height half-open from below, an arc split at its
// highest and lowest points), 0 outside; -1 for a null index or an element of another type than
// line and arc. Meant for points well clear of the contour.
int isectInsideIndexed(const Point2D& p, const CircleIndex* index);
// Test seam: switches off (0) or on (1, the default) the skipping of elements clear of the circle
// in the circle tests and returns the previous setting; off gives the plain test over every element
// that the tests compare with.
int isectCircleSetFilter(int on);
// Test seam: the circle filter back on, as at load.
void isectRelateResetState();

// ---- walking along records -------------------------------------------------------------------

// The unit tangent of the contour at the record's point on element elemA: with incoming 1 the
// direction in which the piece arriving there ends (the previous element, wrapping to the last,
// when the point is the start of elemA), with incoming 0 the direction in which the piece leaving
// it starts (the next element, wrapping, when the point is the end of elemA); the element is cut
// at the point first. Returns 1; 0 when no tangent can be formed or the record names no element.
int isectElemTangentAt(const ContourElement* elements, int n, const IntersectionRecord& record,
                       int incoming, Point2D* dirOut);
// 3 - dir: walking direction 1 (along elemA) and 2 (along elemB) swap.
int isectOtherWay(int dir);
// The index of the first other record at record i's point (x and y within 0.0001) whose elemA or
// elemB equals record i's element number in direction dir (elemA for dir 1, else elemB); -1 when
// none.
int isectFindPartner(const IntersectionRecord* records, int count, int i, int dir);
// The next record in state 1 after records[current] along the contour, element numbers read from
// elemA (dir 1) or elemB (dir 2): on the smallest element number at or after current's, on
// current's own element only after it, the first along the element. Returns 1 with the index;
// -1 with the index found after wrapping past the end of a closed contour (contIsClosed); 0 when
// none (indexOut untouched).
int isectNextAlong(const ContourElement* elements, int n, int dir,
                   const IntersectionRecord* records, int count, int current, int* indexOut);
// Copies the piece of the contour from records[from] to the next record along dir (isectNextAlong)
// into out (room for n + 1 elements): from the element of from (the following element when from's
// point does not lie on it) to the next record's element, wrapping past the end when needed, the
// first start and the last end moved onto the two points. Returns the next record's index with the
// element count in countOut; -1 when there is no next record.
int isectContourPiece(const ContourElement* elements, int n, int dir,
                      const IntersectionRecord* records, int count, int from, ContourElement* out,
                      int* countOut);
// Closes the gap between the end of a and the start of the following element b: a line a whose
// end tangent agrees with b's start tangent (dot product 1 within 0.0001) moves its end to b's
// start; else a line b that agrees moves its start to a's end; else a's end moves to b's start and
// an arc a gets its centre recomputed (contArcCentreFromEnds). Returns 1; -1 when a tangent is
// undefined (nothing changed).
int isectCloseGap(ContourElement* a, ContourElement* b);

// ---- loop tracing
// ---------------------------------------------------------------------------------

// The steps of isectTraceLoop, for its tests.
// The next record for the trace from records[current] in walking direction dir: records not used
// (state 2), in direction 1 not in state 1, not current and not at its point; each at its elemB
// when in state 1, else at its elemA; the smallest element number at or after current's position
// (elemA for dir 1, elemB for dir 2), on that element only after current's point, the first along
// the element. Returns its index, -1 when none.
int isectNextOnTrace(const IntersectionRecord* records, int count, int current, int dir,
                     const ContourElement* elements, int n);
// Copies the raw elements from index fromElem to toElem (wrapping past the end when toElem is
// below fromElem) into out, the first start moved to from and the last end to to, closing gaps
// above 0.001 between consecutive elements (isectCloseGap), then cleans the copy (contCleanup).
// Returns its count; -1 when a gap cannot be closed; -2 when more than room elements are needed.
int isectCopyPiece(const ContourElement* elements, int n, int fromElem, const Point2D& from,
                   int toElem, const Point2D& to, ContourElement* out, int room);
// One piece of the trace from records[current] in direction dir, written at out (room elements):
// to the record isectNextOnTrace finds, or, when there is none, around to record 0 at its elemB.
// A piece that passes through its own first point again (from its third element on) is cut where
// it meets record 0's point, which closes the loop (closedOut 1). Returns the piece's count with
// the reached record in nextOut; -1 when no record can be reached or a gap cannot be closed; -2
// when the piece does not fit.
int isectTracePiece(IntersectionRecord* records, int count, int current, int dir,
                    const ContourElement* elements, int n, ContourElement* out, int room,
                    int* nextOut, int* closedOut);
// Traces one closed loop through the records of a raw contour, starting at record 0 (walking along
// elemA when its state is 1, else along elemB), appending its elements at out (up to limit). Each
// reached record is marked used (state 2) and the walk turns by its previous state (1: along
// elemA, otherwise along elemB), until it reaches record 0's point. Returns the new end of the
// buffer; out itself when the loop cannot be closed (record 0 marked used, offsetRetry set); null
// when the loop needs more than kTraceMaxElements elements or more room than up to limit (code
// 3029 sent). closedOut (may be null) is 1 when the loop was closed, which tells a closed loop that
// its clean-up left empty from a failed trace.
ContourElement* isectTraceLoop(IntersectionRecord* records, int count,
                               const ContourElement* elements, int n, ContourElement* out,
                               const ContourElement* limit, int* closedOut = nullptr);
