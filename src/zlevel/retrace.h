// retrace.h - re-tracing existing Z paths: the walker, with a flat end mill whose radius is the
// offset and the paths' edges as walls, traces the contours that keep the offset from the paths
// on their free side. Lengths are scaled so that the offset becomes 10, as in the slicing.
#pragma once

#include "geometry/kont2d.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"

// Result of the re-tracing when no start list could be made.
inline constexpr int kRetraceNoStarts = -48;
// Paths within this of each other in z form one level.
inline constexpr double kRetraceLevelTol = 0.00001;
// The offset below which arczRetraceContacts does nothing.
inline constexpr double kRetraceContactMin = 0.1;

// The work records of one re-tracing: context, tool, walk parameters, slice context and their
// lists; made and freed by the callers below.
struct RetraceWork {
  CollCtx ctx;
  WalkTool tool;
  WalkParams params;
  SliceContext slice;
};

// Re-traces the list by offset into out. |offset| < 0.00001 copies every path. Otherwise the
// paths are scaled by 10 / offset, the region (or, without one, the common box of the paths grown
// by 3 offset) copied, scaled, turned to the walking sense and triangulated; each run of paths
// at one z goes to arczRetracePathsLevel; the paths (in and out) are scaled back and out gets
// its nesting depths and is sorted by falling z. Returns 1; 0 for an empty list; -1 for a null
// out or when memory runs out; -20 for an offset that is negative or not finite; a level's
// negative code (the paths scaled back).
int arczRetracePaths(ZPathList* list, double offset, const Kont2D* region, ZPathList* out);

// One level (group of n paths at one z, scaled): "*ACCEPT_UNDERCUT" set for the call, the
// paths' edges as walls, starts from stelFromZpaths, a flat end mill of radius offset;
// arczTraceLevel, collinear merge, piece starts, gen_closedpaths; every piece becomes a path at
// the group's z with the first path's flags, appended to out. Returns 1; -48 no starts; -1 no
// memory; the tracing's and closing's negative codes.
int arczRetracePathsLevel(const ZPath* group, int n, double offset, RetraceWork* work,
                          ZPathList* out);

// arczRetracePaths path by path with start segments from each path's contact points; an offset
// below 0.1 does nothing (0).
int arczRetraceContacts(ZPathList* list, double offset, const Kont2D* region, ZPathList* out);
// One path of arczRetraceContacts (as arczRetracePathsLevel).
int arczRetraceContactsLevel(const ZPath* path, double offset, RetraceWork* work, ZPathList* out);
