// kont_nest.h - nesting of loose closed contours into region lists, validation of a region
// (islands closed and oriented against their outer contour, no self-intersection) and the
// self-intersection test itself.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/lists.h"

// Codes of the validation.
constexpr int kKontBadIslands = -47;    // an island is open or runs like its outer contour
constexpr int kKontSelfCrossing = -41;  // the region's contours cross

// Check flags of kontValidate.
constexpr int kKontCheckIslands = 1;
constexpr int kKontCheckCrossing = 2;

// Nests the contours in place: groups them by height (highest first; heights within 1e-6 form
// one group), counts for each contour the others of its group that contain its first point
// (depth), chains even-depth contours as regions by next/prev and hangs each odd-depth contour as
// an island under exactly one even-depth contour one level up that contains it. An odd-depth
// contour that no such contour contains is chained as a region of its own, so every contour is
// reachable from the head. Afterwards the array is reordered and its first element heads the
// region list; ties are broken by the contours' positions in the array, never by address. Null
// entries are moved to the end and left alone. Returns 1 (also for a count below 1 or a null
// array); -1 when scratch memory runs out (error record -1, the links not yet touched).
int kontNestArray(Kont2D** contours, int count);

// Validates a region: check flag 1 islands (each closed, all running against the outer contour),
// flag 2 self-intersection (tolerance 0.00001; with the debug switch on, the region alone is
// appended to "problem.bnd"). Returns 1 valid (at once when the skip-check switch is set); 0 for a
// null region or one without segments; -47 islands wrong; -41 self-intersection; -1 when memory
// runs out. Failures set the error record. The region is left as it was.
int kontValidate(Kont2D* region, int flags);

// Searches the segments of all contours of the region for crossings (see lstSegSelfCross), with
// crossing points appended to points when given. Returns 1 crossing found, 0 none (also for fewer
// than 3 segments), -1 when memory runs out.
int kontSelfIntersects(const Kont2D* region, Pt2List* points, int all, double tol);
