// zpath_grouping.h - machining order of the Z paths of a region: levels from the top down, each
// level chained by nearest lower-left corners (flags 0x11), or pockets grouped through all the
// levels they span and the groups put in order (flag 2), with the start point of every group and
// island sub-group. The roughing reads a region's Z-path file back and orders it here before it
// pockets the paths level by level or group by group.
//
// Inside a level (z within 1e-5) the order hinges on exact tie rules, so the sorts here are one
// fixed shell sort with diminishing gaps, whatever the count.
#pragma once

#include "geometry/vec.h"
#include "geometry/zlevel_records.h"

// Bits of zpathListOrder's flags.
constexpr int kZpathOrderLevels = 0x1;     // levels from the top down
constexpr int kZpathOrderGroups = 0x2;     // pocket groups through the levels
constexpr int kZpathOrderSubGroups = 0x4;  // with bit 2: island sub-groups ordered too
constexpr int kZpathOrderRegions = 0x8;    // the region order (the whole flag word is 8)
constexpr int kZpathOrderChain = 0x10;     // with bit 1: each level chained by nearest corners
// Results of the start-point searches that collapse onto the leftmost point.
constexpr int kZpathNoInsidePoint = -70;
constexpr int kZpathNoIslandPoint = -71;

// Nesting depths, then the z sort (falling z, when some path lies lower than the path after it),
// then the order the flags ask for:
// - bit 1: with 0x10 each run of paths within 0.001 of its first path's z is chained by
//   zpathOrderNearest from (0, 0), the next run from the last path's lower-left corner; result 1;
// - else bit 2: zpathListGroupPockets, then the groups in order (highest top first, then highest
//   bottom; groups with equal top and bottom chained from the lower-left corner of all paths by
//   their start points); with bit 4 also the island sub-groups of each group; result the
//   grouping's (1, or 0 when a level group's first path had fewer than 3 points); a failed
//   grouping leaves the list sorted by falling z, records its code (file "Zpath") and returns it;
//   no memory for the order itself gives -1 with the list in the grouping's order;
// - flags exactly 8: zpathListOrderRegions and its result;
// - otherwise 0.
// A null or empty list gives 0; a single path 1, untouched.
int zpathListOrder(ZPathList* list, int flags);

// Groups the paths (nesting depths set): level groups of a pocket with its direct islands, or of
// sibling islands; cross-level groups from the bottom up, a level group joining the group whose
// start point lies in the free area of all its paths unless a plane level intervenes; island
// sub-groups inside each group. Sets groupId, groupStartX/Y, subGroupId, subGroupStartX/Y and
// leaves the list sorted by group, z falling inside a group. A level group whose first path has
// fewer than 3 points starts at its box's lower-left corner.
// Returns 1; 0 when such a path started a group; -1 no memory; kZpathNoInsidePoint or
// kZpathNoIslandPoint when a start-point search collapsed; -20 for a null list.
int zpathListGroupPockets(ZPathList* list);

// Chains the n records by nearest lower-left corners (xmin, ymin): record i is the nearest of
// records i .. n-1 to the reference (start for i = 0, else record i-1's corner); a record is
// exchanged into place only when strictly nearer. Returns n (0 for a null array or n < 1).
int zpathOrderNearest(ZPath* records, int n, Point2D start);

// A point in the free area next to the path's leftmost point (the first of equal x): 0.1 left of
// it for a path with material inside; 0.1 right of it when both neighbours lie within 1e-5 in x;
// else one unit along the corner's bisector, halved toward the point until it lies inside the
// path. Returns 1; 0 for fewer than 3 points (out unchanged); -1 for a null out or path;
// kZpathNoInsidePoint when the point comes within 0.0001 of the leftmost point.
int zpathFindInsidePoint(const ZPath* path, Point2D* out);
// A point inside the path next to its leftmost point: as zpathFindInsidePoint without the
// material rule, collapsing at 0.01 with kZpathNoIslandPoint.
int zpathFindIslandPoint(const ZPath* path, Point2D* out);

// Comparator for lstSort on ZPath records: -1 when a has the larger z, 1 the smaller, else 0.
int zpathCompareZDesc(const void* a, const void* b);

// The region order (flags 8): the bit-1 order with depths counted only for paths with a point off
// the boundary; each level's paths gathered into regions headed by a pocket (or by a frame
// rectangle around the whole list for outer islands), regions taken from the top down by nearest
// head corners where no earlier region overlaps, each region's paths written with a group id
// counted from 0; the frames are removed at the end. Returns 1; 0 no memory; -202 for a path
// without any point off the boundary (recorded, file "Zpath"); 0 for a null or empty list.
int zpathListOrderRegions(ZPathList* list);
