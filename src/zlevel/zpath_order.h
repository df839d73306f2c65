// zpath_order.h - nesting of the Z paths of a region: how many paths of the same level enclose
// each path. The culling of the collision set and the ordering of a region's paths read it.
#pragma once

#include "geometry/zlevel_records.h"

// Paths belong to one level when their z values differ by less than this.
constexpr double kZpathLevelTol = 1e-5;

// Sets every path's nestingDepth to the number of other paths whose z differs from its own by
// less than kZpathLevelTol and that contain its first point (zpathContainsPoint). A path without
// points gets depth 0. Quadratic in the paths of one level. Accepts null; returns 1.
int zpathListNestingDepths(ZPathList* list);
