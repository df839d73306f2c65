// coll_cull.cpp - removal of candidate triangles enclosed in the material of a sliced level.
#include "zlevel/coll_cull.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <source_location>

#include "geometry/geo_error.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "model/coll_candidates.h"
#include "model/wcoll_boxtree.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_order.h"

namespace {

constexpr const char* kModule = "Zpath";
constexpr int kCullPairRoom = 1000;

int cullFail(int code, std::source_location at = std::source_location::current()) {
  return geoFail(code, kModule, at);
}

// One path edge: its box, the path (record of the working copy) and the index of its end point.
struct CullEdge {
  float xmin, ymin, xmax, ymax;
  std::int32_t path;
  std::int32_t end;
};

// One examined triangle: its plan box widened by r and its position in the candidate set.
struct CullTri {
  float xmin, ymin, xmax, ymax;
  std::int32_t index;
};

// What the pair handler of one culling reads.
struct CullPass {
  const CollCtx* ctx = nullptr;
  const std::vector<const ZPath*>* records = nullptr;
  const CullTri* tris = nullptr;
  const CullEdge* edges = nullptr;
  double r = 0.0;
};
// The culling in progress (one at a time, on the caller's thread); null outside a call.
const CullPass* cullPass = nullptr;

template <typename Entry>
void cullEntryBox(double box[4], const BoxTree2D* tree, int element) {
  const Entry& e = static_cast<const Entry*>(tree->elements)[element];
  box[0] = e.xmin;
  box[1] = e.ymin;
  box[2] = e.xmax;
  box[3] = e.ymax;
}

Seg2D cullEdgeSeg(const ZPath* p, int end) {
  const int start = end == 0 ? p->count - 1 : end - 1;
  return Seg2D{p->points[2 * start], p->points[2 * start + 1], p->points[2 * end],
               p->points[2 * end + 1]};
}

// The meeting test of a triangle entry (tree A) and an edge entry (tree B).
int cullMeet(const BoxTree2D*, int a, const BoxTree2D*, int b, void*) {
  const CullPass& pass = *cullPass;
  const CullTri& t = pass.tris[a];
  const CullEdge& e = pass.edges[b];
  if (t.xmin > e.xmax || e.xmin > t.xmax || t.ymin > e.ymax || e.ymin > t.ymax) return 0;
  const Seg2D seg = cullEdgeSeg((*pass.records)[static_cast<std::size_t>(e.path)], e.end);
  double la = 0, lb = 0, lc = 0;
  if (geoLineEq(seg, &la, &lb, &lc) == 0) return 1;  // a degenerate edge meets
  const Tri3D* tri = collSetItem(pass.ctx, t.index);
  if (tri == nullptr) return 0;
  int above = 0, below = 0;
  for (const Point3D& v : tri->v) {
    const double d = la * v.x + lb * v.y + lc;
    above += d > pass.r;
    below += d < -pass.r;
  }
  return above == 3 || below == 3 ? 0 : 1;
}

int cullCompareDepth(const void* a, const void* b) {
  const int da = static_cast<const ZPath*>(a)->nestingDepth;
  const int db = static_cast<const ZPath*>(b)->nestingDepth;
  return da < db ? -1 : (da > db ? 1 : 0);
}

// Frees the box trees and clears the pass on every way out.
struct CullScope {
  BoxTree2D* triTree = nullptr;
  BoxTree2D* edgeTree = nullptr;
  RecList* pairs = nullptr;
  CullScope() = default;
  CullScope(const CullScope&) = delete;
  CullScope& operator=(const CullScope&) = delete;
  ~CullScope() {
    wcoll2dTreeFree(triTree);
    wcoll2dTreeFree(edgeTree);
    lstRecFree(pairs);
    cullPass = nullptr;
  }
};

int cullLevel(ZPathList* list, CollCtx* ctx, const WalkTool* tool) {
  const double R = tool->radius;
  const float rf = static_cast<float>(kCullReach * R);
  const double r = rf;
  zpathListNestingDepths(list);
  const double Z = list->items[0].z;

  // The leading triangles that rise at least 0.1 above the level (the set is ordered by falling
  // top).
  const int setCount = collSetCount(ctx);
  std::vector<CullTri> tris;
  for (int i = 0; i < setCount; ++i) {
    Point3D lo{}, hi{};
    if (collSetItemBox(ctx, i, &lo, &hi) != 1) continue;
    if (hi.z < Z + kCullAbove) break;
    tris.push_back(CullTri{static_cast<float>(lo.x) - rf, static_cast<float>(lo.y) - rf,
                           static_cast<float>(hi.x) + rf, static_cast<float>(hi.y) + rf, i});
  }
  if (tris.empty()) return 0;

  // Working copy sorted by rising depth; a frame in front when the outermost has no material
  // inside, so that a point outside every pocket counts once.
  std::vector<ZPath> copy(list->items, list->items + list->count);
  if (lstSort(copy.data(), static_cast<int>(copy.size()), sizeof(ZPath), cullCompareDepth) < 0)
    return cullFail(-1);
  ZPath frame{};
  float framePoints[8];
  std::vector<const ZPath*> records;
  if (copy[0].materialInside != 1) {
    Point3D lo{}, hi{};
    if (collSetBox(ctx, &lo, &hi) != 1) return 0;
    const double x0 = lo.x - kCullFrame * R, y0 = lo.y - kCullFrame * R;
    const double x1 = hi.x + kCullFrame * R, y1 = hi.y + kCullFrame * R;
    const bool clockwise = copy[0].orientation == 1;
    const double pts[2][8] = {{x0, y0, x1, y0, x1, y1, x0, y1}, {x0, y0, x0, y1, x1, y1, x1, y0}};
    for (int k = 0; k < 8; ++k) framePoints[k] = static_cast<float>(pts[clockwise ? 1 : 0][k]);
    frame.count = frame.capacity = 4;
    frame.points = framePoints;
    frame.xmin = framePoints[0];
    frame.ymin = framePoints[1];
    frame.xmax = framePoints[4];
    frame.ymax = framePoints[5];
    frame.closed = 1;
    frame.materialInside = 1;
    frame.nestingDepth = 0;
    frame.orientation = clockwise ? -1 : 1;
    records.push_back(&frame);
  }
  for (const ZPath& p : copy) records.push_back(&p);

  // Edge entries, sorted by min x.
  std::vector<CullEdge> edges;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const ZPath* p = records[k];
    if (p->points == nullptr) continue;
    for (int i = 0; i < p->count; ++i) {
      const Seg2D s = cullEdgeSeg(p, i);
      edges.push_back(CullEdge{static_cast<float>(std::min(s.x1, s.x2)),
                               static_cast<float>(std::min(s.y1, s.y2)),
                               static_cast<float>(std::max(s.x1, s.x2)),
                               static_cast<float>(std::max(s.y1, s.y2)), static_cast<int>(k), i});
    }
  }
  lstSort(edges.data(), static_cast<int>(edges.size()), sizeof(CullEdge), zpathCompareBoxMinX);
  lstSort(tris.data(), static_cast<int>(tris.size()), sizeof(CullTri), zpathCompareBoxMinX);

  // Triangles near an edge.
  std::vector<std::uint8_t> near(tris.size(), 0);
  if (!edges.empty()) {
    CullScope scope;
    CullPass pass{ctx, &records, tris.data(), edges.data(), r};
    cullPass = &pass;
    scope.triTree =
        wcoll2dTreeNew(tris.data(), static_cast<int>(tris.size()), 0.0, cullEntryBox<CullTri>);
    scope.edgeTree =
        wcoll2dTreeNew(edges.data(), static_cast<int>(edges.size()), 0.0, cullEntryBox<CullEdge>);
    scope.pairs = lstRec8New(kCullPairRoom);
    if (scope.triTree == nullptr || scope.edgeTree == nullptr || scope.pairs == nullptr)
      return cullFail(-1);
    const int found = wcoll2dTreesOverlap(scope.triTree, scope.edgeTree, 1, cullMeet, scope.pairs);
    if (found < 0) return cullFail(found);
    const Rec8* pr = static_cast<const Rec8*>(scope.pairs->items);
    for (int i = 0; i < scope.pairs->count; ++i) near[static_cast<std::size_t>(pr[i].w[0])] = 1;
  }

  // The others go when their first corner lies in the material: inside an odd number of records.
  const ZpathParityIndex parity(records.data(), static_cast<int>(records.size()));
  std::vector<int> drop;
  for (std::size_t k = 0; k < tris.size(); ++k) {
    if (near[k] != 0) continue;
    const Tri3D* tri = collSetItem(ctx, tris[k].index);
    if (tri == nullptr) continue;
    if (parity.parity(tri->v[0].x, tri->v[0].y) == 1) drop.push_back(tris[k].index);
  }
  // Every allocation is behind: only now does the context change.
  for (int i : drop) collSetRemove(ctx, i);
  if (!drop.empty()) collSetCompact(ctx);
  return 1;
}

}  // namespace

int zpathCompareBoxMinX(const void* a, const void* b) {
  const float xa = *static_cast<const float*>(a), xb = *static_cast<const float*>(b);
  return xa < xb ? -1 : (xa > xb ? 1 : 0);
}

ZpathParityIndex::ZpathParityIndex(const ZPath* const* paths, int n) : paths_(paths) {
  double lo = 1e300, hi = -1e300;
  std::size_t total = 0;
  for (int k = 0; k < n; ++k) {
    const ZPath* p = paths[k];
    if (p == nullptr || p->count < 3 || p->points == nullptr) continue;
    total += static_cast<std::size_t>(p->count);
    for (int i = 0; i < p->count; ++i) {
      lo = std::min(lo, static_cast<double>(p->points[2 * i + 1]));
      hi = std::max(hi, static_cast<double>(p->points[2 * i + 1]));
    }
  }
  if (total == 0) {
    start_.assign(2, 0);
    return;
  }
  buckets_ = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(total))));
  y0_ = lo;
  height_ = hi > lo ? (hi - lo) / buckets_ : 1.0;
  auto bucketOf = [this](double y) {
    return std::clamp(static_cast<int>(std::floor((y - y0_) / height_)), 0, buckets_ - 1);
  };
  // Two passes: count the entries of each bucket, then place them.
  std::vector<std::int32_t> fill(static_cast<std::size_t>(buckets_) + 1, 0);
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 0; k < n; ++k) {
      const ZPath* p = paths[k];
      if (p == nullptr || p->count < 3 || p->points == nullptr) continue;
      for (int i = 0, j = p->count - 1; i < p->count; j = i++) {
        const Edge e{p->points[2 * i], p->points[2 * i + 1], p->points[2 * j], p->points[2 * j + 1],
                     k};
        const int b0 = bucketOf(std::min(e.yi, e.yj)), b1 = bucketOf(std::max(e.yi, e.yj));
        for (int b = b0; b <= b1; ++b) {
          if (pass == 0) {
            ++fill[static_cast<std::size_t>(b) + 1];
          } else {
            edges_[static_cast<std::size_t>(fill[static_cast<std::size_t>(b)]++)] = e;
          }
        }
      }
    }
    if (pass == 0) {
      for (int b = 0; b < buckets_; ++b)
        fill[static_cast<std::size_t>(b) + 1] += fill[static_cast<std::size_t>(b)];
      start_ = fill;
      edges_.resize(static_cast<std::size_t>(fill[static_cast<std::size_t>(buckets_)]));
    }
  }
}

int ZpathParityIndex::parity(double x, double y) const {
  if (edges_.empty()) return 0;
  const int b = std::clamp(static_cast<int>(std::floor((y - y0_) / height_)), 0, buckets_ - 1);
  int crossings = 0;
  for (std::int32_t k = start_[static_cast<std::size_t>(b)];
       k < start_[static_cast<std::size_t>(b) + 1]; ++k) {
    const Edge& e = edges_[static_cast<std::size_t>(k)];
    const ZPath* p = paths_[e.path];
    // The same box reject and crossing predicate as zpathContainsPoint.
    if (x < p->xmin || x > p->xmax || y < p->ymin || y > p->ymax) continue;
    const double xi = e.xi, yi = e.yi, xj = e.xj, yj = e.yj;
    const bool aj = yj >= y, ai = yi >= y;
    if (aj != ai && ai == ((xi - x) * (yj - yi) <= (xj - xi) * (yi - y))) ++crossings;
  }
  return crossings & 1;
}

int zpathParityPlain(const ZPath* const* paths, int n, double x, double y) {
  int count = 0;
  for (int k = 0; k < n; ++k) count += zpathContainsPoint(Point2D{x, y}, paths[k]);
  return count & 1;
}

int zpathListCullCollisionSet(ZPathList* list, CollCtx* ctx, const WalkTool* tool) {
  if (ctx == nullptr || tool == nullptr) return kGeoBadArgument;
  if (list == nullptr || list->count <= 0 || list->items == nullptr) return 0;
  if (collSetCount(ctx) <= 0) return 0;
  try {
    return cullLevel(list, ctx, tool);
  } catch (const std::bad_alloc&) {
    cullPass = nullptr;
    return cullFail(-1);
  }
}
