// zpath.h - the tool-centre path of one Z level (ZPath) and the list of the paths of one region:
// building a path point by point under the collinear merge rule, its measures (area,
// orientation, containment, size, distance), the contour constructors and the list operations.
// The records are in geometry/zlevel_records.h, where the geometry code that converts region
// contours into paths and back reaches them; the Z-level slicing builds on the same records.
//
// Run state: the merge length (initially kZpathMergeLengthDefault), reset by zpathResetState at
// the start of every top-level run.
#pragma once

#include "geometry/vec.h"
#include "geometry/zlevel_records.h"

struct Kont2D;

// The merge length at load and after a reset: longer than any path, so every collinear run of
// equal contacts merges.
constexpr double kZpathMergeLengthDefault = 1e10;
// Result of zpathInsertPoint for an index outside 0 .. count, and of the functions that need a
// path for a null one.
constexpr int kZpathBadIndex = -20;

// ---- one path ---------------------------------------------------------------------------------

// New empty path with four arrays of max(n, 3) entries: box +DBL_MAX / -DBL_MAX, group starts and
// z DBL_MAX, area 0, the six state words INT_MAX, reserved and flags 0. Null when memory runs out
// (nothing left allocated).
ZPath* zpathNew(int n);
// Frees the arrays and the record. Accepts null; returns 1.
int zpathFree(ZPath* path);
// Frees the four arrays of a record held inside a list and leaves it empty (count and capacity
// 0, arrays null). Accepts null; returns 1.
int zpathFreeArrays(ZPath* path);
// Back to the creation values except capacity, the arrays and reserved. Accepts null; returns 1.
int zpathReset(ZPath* path);

// Appends point (x, y) with contact (x, y, z; null gives 0, 0, 0), element id and contact kind.
// When the path has two points A, B and the new one P continues A-B on one line (|cross| below
// 0.0001 in extended precision with dx rounded to single precision), the span A-P is shorter
// than the merge length, kind(B) x kind > 0, id(B) x id >= 0 and, on a level whose candidate
// fill met an additional sub-model, id(B) = id, B is dropped first (the box keeps it). A full
// path grows to max(floor(1.5 x capacity), capacity + 1, 3) entries. Returns 1; -1 for a null
// path or point, or when the arrays cannot grow (the path as it was).
int zpathAppendPoint(ZPath* path, const float* point, const float* contact, int id, int kind);
// Inserts a point at index 0 .. count (the later points move up; count appends), growing the
// arrays as an append does and widening the box; no point is dropped. Returns 1;
// kZpathBadIndex for a null path or point or an index outside 0 .. count; -1 when the arrays
// cannot grow (the path as it was).
int zpathInsertPoint(ZPath* path, int index, const float* point, const float* contact, int id,
                     int kind);
// With bit value 1 of mode: keeps the first point and each following point that differs from the
// last kept one by more than 1e-6 in x or y (the last is not compared with the first); returns
// the former count. Without the bit, or for a null path: nothing, 0.
int zpathRemoveDuplicatePoints(ZPath* path, int mode);

// The process-wide merge length of the append rule; 0 switches merging off.
void zpathSetMergeLength(double length);
double zpathGetMergeLength();

// ORs bits into the flag word. Returns the path (null for null).
ZPath* zpathSetFlags(ZPath* path, std::uint32_t bits);
// 1 when any of the bits is set, else 0 (also for null).
int zpathHasFlag(const ZPath* path, std::uint32_t bits);

// Signed area (positive counter-clockwise) from the stored points in extended precision; 0 for
// null, fewer than 3 points, or closed or orientation 0.
double zpathArea(const ZPath* path);
// +1 counter-clockwise, -1 clockwise: the turn at the lowest point (the rightmost of the lowest,
// the first of exact ties) with its neighbours, or the sign of the area when that turn is
// collinear. 0 for null, fewer than 3 points or a zero area.
int zpathOrientation(const ZPath* path);
// 1 when p lies inside the polygon of the points (box test first, then crossing parity over every
// edge, the closing edge included), else 0; 0 for null or fewer than 3 points.
int zpathContainsPoint(const Point2D& p, const ZPath* path);
// 1 when the path is closed (exactly 1), has at least 3 points and the contact point of one of
// its model contacts (id >= 0, |kind| 1 to 4) lies inside it: the material lies inside. Else 0.
int zpathContactInside(const ZPath* path);
// 1 when the path does not fit into a size x size box or two of its points are farther apart
// than size; 0 otherwise and for a null or empty path. Box test, then the diameter of the
// points' convex hull.
int zpathExceedsSize(const ZPath* path, double size);
// zpathExceedsSize by comparing all pairs of points: the reference of the hull method.
int zpathExceedsSizePlain(const ZPath* path, double size);
// Distance from p to the polygon of the points (vertices, then edges whose foot of the
// perpendicular lies on them, the closing edge when closed is non-zero); DBL_MAX for a null or
// empty path.
double zpathPointDistance(const Point2D& p, const ZPath* path);
// Scales the box, the group starts, z (set values only), the points and contacts by factor and
// the area by factor^2 (a negative factor keeps the box's min below its max). Returns 1; 0 for a
// factor within 0.00001 of 1, a null or empty path.
int zpathScale(ZPath* path, double factor);

// ---- contour constructors ---------------------------------------------------------------------
// Points are the contour's segment starts appended under the merge rule as boundary points
// (id -2, kind -1) without contact.

// New closed path of one contour (islands ignored): its z, material inside 0, depth -1,
// ZP_FROM_CONTOUR, area then orientation. Null for a null contour, fewer than 3 segments, or when
// memory runs out (error record -1).
ZPath* zpathFromContour(const Kont2D* contour);
// New closed rectangle (a.x, a.y), (b.x, a.y), (b.x, b.y), (a.x, b.y): z -DBL_MAX, material
// inside 0, depth -1, ZP_FRAME_BOX, area and orientation. Null for a null corner or when memory
// runs out.
ZPath* zpathFromBox(const Point2D* a, const Point2D* b);

// ---- list ---------------------------------------------------------------------------------------

// New empty list with room for max(n, 3) paths; null when memory runs out (error record -1).
ZPathList* zpathListNew(int n);
// Frees every path's arrays, the path array and the list. Accepts null; returns 1.
int zpathListFree(ZPathList* list);
// Makes room for capacity paths (a list without room gets its first array). Returns 1 (also when
// the list has that room); -1 for a null list, a capacity beyond INT_MAX / 2 or when memory runs
// out (the list as it was).
int zpathListGrowTo(ZPathList* list, int capacity);
// Appends a deep copy: room for max(count, 3) points, the source's box, group starts, z, area,
// orientation, closed, depth, material inside, group ids and flags (reserved 0), and every point
// through the append rule. A full list grows to max(floor(1.5 x capacity), capacity + 1) paths.
// Returns 1; 0 for a null path; -1 for a null list or when memory runs out (the list as it was).
int zpathListAdd(ZPathList* list, const ZPath* path);
// Frees the arrays of the path at index and moves the later paths down. Returns 1; 0 for a null
// or empty list or an index outside 0 .. count-1.
int zpathListRemove(ZPathList* list, int index);
// Removes every path, the last first; the list keeps its room. Returns 1; 0 for null.
int zpathListClear(ZPathList* list);
// Appends every contour of the region (outer contour, then its islands) as a closed boundary path
// built in one work path and added with zpathListAdd: the contour's z, orientation and area,
// flag word ZP_FROM_CONTOUR; the outer contour with kind -1, material inside 1 and depth 0, the
// islands with kind 0, material inside 0 and depth 1. Contours without segments are passed over.
// Returns 1; 0 for a null list, a null region or an outer contour without segments; -1 when
// memory runs out, after removing the paths it had added (error record -1).
int zpathListFromContours(ZPathList* list, const Kont2D* region);

// Test seam and run-start reset: the merge length back to kZpathMergeLengthDefault.
void zpathResetState();
