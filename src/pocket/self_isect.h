// self_isect.h - where one closed chain of lines and arcs crosses itself, as intersection records
// in the order of travel, and the sort orders of records along an element. The offset cuts its raw
// chain into loops at these crossings, so which points are recorded (crossings, not touches;
// a vertex once) and their order are part of the engine's behaviour.
// The search visits the element pairs whose boxes meet, found by a sweep over x-sorted boxes; the
// search over all pairs gives the identical records in the identical order and is kept as the
// oracle of the sweep.
#pragma once

#include <cstdint>
#include <vector>

#include "pocket/contour_element.h"
#include "pocket/isect.h"

// Most records one self-intersection search stores; one more fails the search.
inline constexpr int kSelfIsectMax = 4999;

// Status of a raw offset whose joints may have gaps (contOffsetRaw -1): the search then flags the
// elements whose end does not meet the next start.
inline constexpr int kSelfIsectGapStatus = -1;

// The crossings of the chain of n elements with itself, written into records (room for
// kSelfIsectMax records) with x, y, param (a line's fraction from its start along x, or along y
// when its ends' x agree within 0.0001; an arc's atan2 angle about its centre, raised by 2 pi
// below the angle of its counter-clockwise-most end), elemA < elemB (numbers from 1), state and
// reserved 0. Records of one element follow its direction of travel. A touching point is not a
// crossing; a crossing at a vertex is recorded once; the joint of the last and the first element
// is not recorded. status kSelfIsectGapStatus switches on the gap flags. Returns the number of
// records; -1 when more than kSelfIsectMax would be written (records written so far stay) or
// memory runs out; 0 for n < 2 or null arguments.
int contFindSelfIsects(const ContourElement* elements, int n, IntersectionRecord* records,
                       int status);
// Result of contFindSelfIsectsInto when the chain crosses itself more often than its table holds.
inline constexpr int kSelfIsectFull = -2;
// The same search into a table of room records (the caller's). With withPinches not 0 it also
// records where the chain only touches itself at two of its joints (the end of element k on the
// start of k + 1, and likewise later, not neighbours): a pinch, which the plain search leaves out
// as a touching point, as record (k + 1, l + 1) at the first joint's element. A loop hanging on
// the chain by such a point can then be cut off. Returns the number of records; -1 when memory
// runs out; kSelfIsectFull when more than room would be written (the records written so far stay);
// 0 for n < 2 or null arguments.
int contFindSelfIsectsInto(const ContourElement* elements, int n, IntersectionRecord* records,
                           int room, int status, int withPinches = 0);
// The same search over all element pairs: identical results, quadratic time.
int contFindSelfIsectsAllPairs(const ContourElement* elements, int n, IntersectionRecord* records,
                               int status);

// A box of an element grown by a margin beyond every tolerance of the intersection routines: two
// elements whose search boxes do not meet give no intersection point, no overlap and no tangent.
struct IsectBox {
  double x0, y0, x1, y1;
};
// The search box of e. Returns 1; 0 for a type other than line or arc (out untouched).
int isectSearchBox(const ContourElement& e, IsectBox* out);
// The margin of a search box whose coordinates reach reach (the largest absolute coordinate).
double isectSearchMargin(double reach);
// 1 when the two boxes meet.
inline int isectBoxesMeet(const IsectBox& a, const IsectBox& b) {
  return (a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1) ? 1 : 0;
}

// The element pairs whose search boxes meet, by a sweep over the x-sorted boxes: with b null the
// pairs i < j of contour a, else every pair (i of a, j of b). Each pair is stored as
// (i << 32) | j, the list sorted ascending (by i, then j). Returns 1; 0 when there would be more
// than cap pairs (the list emptied); -1 when memory runs out.
int isectBoxPairs(const ContourElement* a, int na, const ContourElement* b, int nb, std::size_t cap,
                  std::vector<std::uint64_t>* pairs);

// Sort order of the records of one clockwise arc, for lstSort: -1 when a's elemA is greater than
// b's, 1 when smaller; for equal elemA 1 when a's param is smaller, else -1 (descending, never 0).
int isectCompareByParam(const void* a, const void* b);
// The ascending twin for lines and counter-clockwise arcs: segCmpCrossing on the two records.
int isectCompareAlong(const void* a, const void* b);
// Sorts count records with lstSort along element a: isectCompareByParam for a clockwise arc,
// isectCompareAlong otherwise.
void isectSortAlong(IntersectionRecord* records, int count, const ContourElement& a);
