// ring_loops.h - loops of two crossing contours and the checks the ring builders make on rings.
// Where an offset ring meets an island ring, the loops of their union or difference are traced
// through the intersection records, alternating between the two contours at each crossing, and each
// loop is kept or rejected by where it lies. The same builders check the loops an offset returns
// against their source, test whether a ring's start is free for a plunge, and keep per layer
// position the list of island rings merged into a ring.
// A contour's kind comes from its header: ccw equal to leftSide marks an outer boundary (the tool
// works inside it), a difference an island.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/isect.h"
#include "pocket/layer_store.h"

// Most elements the loops of one split may have together.
inline constexpr int kSplitMaxElements = 50000;

// ---- allowances and reach
// ---------------------------------------------------------------------------

// The allowance of MAIN position i from the pocket's allowance table (pockAllowances, refilled by
// MAIN's positions before each level is pocketed); 0 for a position beyond the table's count.
double ringAllowance(int i);

// The centre of the pocket and the reach beyond which a ring start is rejected (below contTol:
// no reach test).
struct RingReach {
  Point2D centre;
  double limit;
};
// The reach in use, for reading and setting.
RingReach& ringReach();
// From MAIN's first contour: the centre of its box, and the limit |box corner - centre| +
// 4 pockToolRadius + its allowance + 0.1. Returns 1; -1 when MAIN is empty.
int ringInitReach();

// ---- loops of two crossing contours
// -----------------------------------------------------------------

// Builds the loops of contours a and b from their h intersection records (elemA on a, elemB on b,
// states 1 usable, 2 used, 3 start of a rejected loop). When record 0 lies on b and on element
// e > 1 of a, a is first cut to begin there (headerA->count and the records' elemA lowered). Each
// loop starts at the first usable record, runs along a to the next record, then alternates between
// the contours at each reached record until it returns to its start; a loop of more than 3 elements
// is cleaned. The loop is kept when it lies as the kinds of a and b require (two outer boundaries:
// loopTestFartherContour 0; two islands: 1; an outer boundary and an island: loopTestNearestPoint
// with the outer one first is 1). A rejected loop frees the records it used and marks its start
// state 3; with "pocketContour" on it also discards the loops kept so far. Kept loops are written
// to out one after the other (room for kSplitMaxElements elements), contours[k] pointing at loop k
// and counts[k] (counts may be null) holding its count; both have room for h entries.
// Returns the number of loops; 0 when a piece cannot be followed (offsetFollowFailed set), except
// that with "pocketContour" on a failure at a loop's start returns the loops built so far; -1 when
// the loops together exceed kSplitMaxElements (code 3029) or memory runs out.
int offsetSplitAtIsects(ContourElement* a, ContourHeader* headerA, const ContourElement* b,
                        const ContourHeader* headerB, IntersectionRecord* records, int h,
                        ContourElement* out, ContourElement** contours, int* counts);
// 1 when the middle of the loop's first element lies outside the one of x and y farther from it
// (x on a tie); else 0.
int loopTestFartherContour(const ContourElement* loop, int m, const ContourElement* x, int nx,
                           const ContourElement* y, int ny);
// Of the middles of the loop's elements nearer to y than to x, the one nearer by most: 1 when
// there is none or it lies inside x, else 0.
int loopTestNearestPoint(const ContourElement* loop, int m, const ContourElement* x, int nx,
                         const ContourElement* y, int ny);
// Every record not in state 2 that lies closer than 10 contTol to another record not in state 2
// (taken in order) goes to state 2.
void isectDropDuplicates(IntersectionRecord* records, int h);

// ---- loops of an offset
// -----------------------------------------------------------------------------

// Checks the k loops of an offset of src (n elements) by d to side; ccw is the source header's
// ccw, restCheck switches on the reference-tool test of rest machining. A loop is rejected when it
// is open, crosses the source, or (offset into the source) contains the source; when d > 0.5, the
// offset goes inward and the loop does not lie inside the source; when a circle about the
// source's start of radius d - 0.1 (d / 2 when that is negative) cuts it, or the end of its first
// element lies closer than d - 0.006 to the source's start, or the reference-tool test fails; or
// when the reach limit is set and the loop starts farther from the pocket centre (code 3029).
// Rejected loops are removed: the elements of later loops move down, loops and counts are
// compacted and *outEnd (may be null) points behind the last kept loop. Returns the number kept.
int offsetSelectLoops(const ContourElement* src, int n, int k, double d, ContourElement** outEnd,
                      ContourElement** loops, int* counts, int side, int ccw, int restCheck);

// ---- checks on rings
// --------------------------------------------------------------------------------

// 1 when a tool at the ring's start may plunge: no MAIN contour is cut by the circle of radius
// d + its allowance - 0.01 there (tested only when the first allowance + d - 0.01 exceeds 0.001);
// for an open pocket the start must also lie inside an INPUT contour of the ring's orientation
// (the first ring start farther than contTol from that contour is taken). Else 0.
int ringStartFree(const ContourElement* ring, int m, double d, const ContourHeader* header);
// 1 in stock mode, or when some MAIN position i has d + its allowance not within 0.0001 of 0 or
// carries the stock mark; else 0. layer names the contours to walk.
int ringNeedsOffset(const char* layer, double d);
// 1 when MAIN is empty, or the contour neither crosses MAIN's first contour nor lies inside it.
int ringClearOfMain(int n, const ContourElement* elements);
// For each MAIN contour with a non-zero sequence (only the first with single 1): a contour with
// marked elements is rotated to begin with an unmarked run; the contour is added to the tree with
// depth 0. Then each such MAIN contour with a tag of 0 or more gets all its tags set to the first
// of them (MAIN keeps its unrotated contours). Returns 1; -1 when a node cannot be added.
int ringRotateToUnmarked(int single);

// ---- merged-island lists
// ----------------------------------------------------------------------------

// Sets each contour's header index to its position and empties the lists of those positions.
// Returns the count (a count of 0 or less at once).
int layerNumberContours(const char* layer);
// The list of position to := the list of position from. Returns 1; -1 for a negative position or
// when memory runs out.
int ringCopyRelations(int from, int to);
// Appends node to the list of position. Returns the new count; -1 for a negative position or when
// memory runs out.
int ringRelationAdd(int position, int node);
// Entries of the list of position (0 for a position without list).
int ringRelationCount(int position);
// Entry k (from 0) of the list of position; -1 when there is none.
int ringRelationAt(int position, int k);
// 1 when node is in the list of position, else 0.
int ringRelationHas(int position, int node);

// Test seam: allowances, reach and lists cleared, as at load.
void ringLoopsResetState();
