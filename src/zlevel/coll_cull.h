// coll_cull.h - culling of the collision candidates by the paths of a sliced level: a triangle
// that rises at least 0.1 above the level, keeps more than 1.01 R from every path edge and lies
// in the level's material region cannot be touched by the tool on any lower level of the region
// (the material around it stays), so it leaves the candidate set and lower levels test fewer
// triangles.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"

// Only triangles whose top rises this far above the level are examined.
inline constexpr double kCullAbove = 0.1;
// Triangles keep this many tool radii from the path edges.
inline constexpr double kCullReach = 1.01;
// The frame around a level whose outermost path has no material inside: the candidates' box
// widened by this many tool radii.
inline constexpr double kCullFrame = 5.0;

// Culls the context by the level's paths (one z; nesting depths are set here). Removed
// triangles are compacted out; the others keep their order. Returns 1 culled (possibly nothing);
// 0 for a null or empty list, an empty context or no triangle reaching 0.1 above the level; -1
// no memory (context unchanged, recorded under "Zpath"); the negative code of a failing box-tree
// search (context unchanged, recorded likewise); -20 for a null context or tool.
int zpathListCullCollisionSet(ZPathList* list, CollCtx* ctx, const WalkTool* tool);

// lstSort comparator of edge or triangle entries (four f32 box values first): by min x.
int zpathCompareBoxMinX(const void* a, const void* b);

// Crossing parity of a point against a set of paths, indexed by y: the edges of every path in
// buckets of their y range. parity() equals the parity of the number of paths that contain the
// point (zpathContainsPoint: each path's box first, then the same crossing predicate per edge).
class ZpathParityIndex {
 public:
  // The paths stay the caller's and must outlive the index. Throws std::bad_alloc.
  ZpathParityIndex(const ZPath* const* paths, int n);
  int parity(double x, double y) const;

 private:
  struct Edge {
    float xi, yi, xj, yj;
    std::int32_t path;
  };
  const ZPath* const* paths_;
  double y0_ = 0, height_ = 1;
  int buckets_ = 1;
  std::vector<std::int32_t> start_;
  std::vector<Edge> edges_;
};

// The plain count: the parity of the number of paths that contain (x, y).
int zpathParityPlain(const ZPath* const* paths, int n, double x, double y);
