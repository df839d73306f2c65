// zigzag_stripes.h - the axis-parallel level strategy of the contour-parallel cycle: parallel
// straight passes (stripes) across the narrowest width of the level's outer contour, one step
// apart, clipped against the contours, cut row by row in alternating directions, joined along the
// contour where the next stripe starts near the previous one's end, and taken once around an
// island the first time a stripe ends on it. Every piece becomes a node of the nesting tree in
// cutting order; the nodes are then written in that order, lifting wherever a piece does not start
// where the previous one ended.
// Like the axis-parallel cycle, the strategy takes the level's contours as the tool centre's
// limits (it never offsets by the tool radius): a level whose R + plane allowance is not 0 is
// refused.
#pragma once

#include <cstdint>

#include "geometry/vec.h"
#include "pocket/contour_element.h"
#include "pocket/isect.h"

// One stripe or stripe piece.
struct ZigzagStripe {
  Seg2D segment;              // start x, y and end x, y
  std::int32_t row;           // stripe line, from 1 at the base line
  std::int32_t startContour;  // MAIN contour the stripe starts on; -1 at the line's own start
  std::int32_t endContour;    // MAIN contour it ends on; -1 at the line's own end
  IntersectionRecord startCross;
  IntersectionRecord endCross;
  std::int32_t used;  // 1 once placed in the cutting order
};

// A growable list of stripes.
struct StripeList {
  std::int32_t capacity;
  std::int32_t count;
  std::int32_t minRow;  // 10000 when empty
  std::int32_t maxRow;  // -10000 when empty
  ZigzagStripe* stripes;
};

// A list with room for capacity stripes (at least 1); null when out of memory.
StripeList* zigzagListNew(int capacity);
void zigzagListFree(StripeList* list);
// Appends a stripe (growing by half when full) and widens the row range. Returns 1; -1 when the
// list cannot grow (the list unchanged and valid).
int zigzagListAppend(StripeList* list, const ZigzagStripe& stripe);
// Inserts a stripe at position pos, the later ones moving up; the row range is not touched.
// Returns 1; -1 when the list cannot grow or pos is out of range (the list unchanged).
int zigzagListInsert(StripeList* list, int pos, const ZigzagStripe& stripe);
// Removes the stripe at pos. Returns 1; -1 for pos out of range.
int zigzagListRemove(StripeList* list, int pos);

// The stripe as a line element (tag 0).
ContourElement zigzagStripeElem(const ZigzagStripe& stripe);

// The axis-parallel level (declared with the other level strategies in pock_level.h). Returns 1;
// -1 after code 3020 (no tree), 3021 (not a tool-centre level, sent once per run; nothing
// written), or when the nodes could not all be recorded (3033; nothing written but the level's
// header and end).
int zigzagLevel();
// Generates, clips, orders and records the stripes of the level. Returns 1; -1 when MAIN contour 0
// cannot be read or has no principal direction, or memory runs out (code 3020).
int zigzagStripes(double radius, double step);
// The base line (one unit beyond the hull at both ends) and the width of a contour: the hull edge
// with the smallest largest distance of a hull point from its line. Returns 1; 0 when the contour
// has no hull edge.
int zigzagPrincipalDir(const ContourElement* elements, int n, Seg2D* lineOut, double* widthOut);
// The stripes of a base line: k = trunc((w - step - R) / step), f = k + 2 stripes, stripe m the
// base line moved m steps along its left normal. Null when out of memory.
StripeList* zigzagMakeStripes(const Seg2D& line, double width, double radius, double step);
// Clips every stripe against one contour (outside 0: keep the pieces inside, 1: outside); a
// piece that runs along a contour edge (its middle within contTol of the contour) is dropped.
// Returns 1; -1 when the list cannot grow (the stripes not yet clipped stay as they were).
int zigzagClipStripes(StripeList* list, const ContourElement* contour, int n, int index,
                      int outside);
// Orders the stripes and records them, their joins and the island tours as tree nodes; the list
// is emptied. Returns 1.
int zigzagOrderStripes(StripeList* list, double join);
// Chooses the starting row and direction. Returns 1.
int zigzagChooseStart(StripeList* list);
// 1 when the open stretch at end endB of stripe b is longer than at end endA of stripe a.
int zigzagEndMoreOpen(int endA, const ZigzagStripe& a, const ZigzagStripe& b, int endB);
// Length of the run of marked elements (tag below 0) next to the crossing, forward (direction >
// 0) or backward along the contour; 0 when the crossing's element is unmarked.
double zigzagMarkedLength(const IntersectionRecord& cross, const ContourElement* ring, int n,
                          int direction);
// The join along the contour from previous's end to current's start into out (room elements): the
// shorter way round the contour both meet. Its element count; 0 when none (other contours,
// current is the list's first record, both ways longer than limit, more than room elements).
int zigzagLinkAlongContour(const ZigzagStripe& current, const StripeList* list,
                           const ZigzagStripe& previous, ContourElement* out, int room,
                           double limit);
// Position among the candidates of the stripe nearest to previous's end (the first wins ties);
// 0 without previous.
int zigzagPickNearest(const ZigzagStripe* previous, const StripeList* list, const int* candidates,
                      int count);
// Swaps start and end: points, contour indices and crossing records.
void zigzagStripeReverse(ZigzagStripe* stripe);
// Distance between two stripes as line elements; 0 when a is absent.
double zigzagStripeDistance(const ZigzagStripe* a, const ZigzagStripe& b);
// Smallest zigzagStripeDistance from the stripe to the listed stripes; 100000 for none.
double zigzagMinDistance(const ZigzagStripe& stripe, int count, const StripeList* list,
                         const int* indices);
// 1 when "INSEL" holds a contour whose group is index.
int zigzagHasIsland(int index);
// Cuts the element back to its first crossing with the "GKT" contour of group index. Returns 1
// when cut, 0 otherwise.
int zigzagTrimAtIsland(int index, ContourElement* element);
// The island tour at the stripe's end. Returns 1; -1 when "INSEL" has no contour of that index.
int zigzagAroundIsland(const ContourElement& element, const ZigzagStripe& stripe);
// The ring rotated to start and end at its point nearest to point, into out (room n + 1). Returns
// its element count.
int zigzagRotateToNearest(const Point2D& point, ContourElement* out, const ContourElement* ring,
                          int n);
// Writes every tree node in order. Returns 1.
int zigzagEmitNodes();
// Signed distance (cross product with the unit direction) of the point farthest from the line
// through origin; the largest magnitude wins, the first on ties.
double zigzagFarthestFromLine(const Point2D& direction, int count, const Point2D& origin,
                              const Point2D* points);
// Smallest and largest projection of the points onto the direction, measured from origin.
void zigzagProjectRange(const Point2D& direction, const Point2D* points, const Point2D& origin,
                        int count, double* minOut, double* maxOut);

// The run's report flag back to the state at load (each pocket run starts with it).
void zigzagResetState();
