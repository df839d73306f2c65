// level_fixture.h - one part sliced level by level for the slicing tests and the benchmark: the
// part's triangles scaled so that the tool radius is 10, its model with box arrays and grid, a
// level net filled by per-node point drops of the model, the level raster classified from it,
// a rectangular region around the part, the candidate context in index mode (or list mode), and
// the component counts of a classified grid (8-connected blocked, 4-connected free nodes). The
// independent oracle of the tests is level_oracle.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/raster.h"
#include "geometry/tri_mesh.h"
#include "geometry/zlevel_records.h"
#include "mesh_distance.h"
#include "model/coll_candidates.h"
#include "model/model_fixture.h"
#include "model/point_drop.h"
#include "model/stl_file.h"
#include "zlevel/level_slice.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_pko.h"

namespace qdtest {

// The triangles of an STL file, or an empty vector when it does not read.
inline std::vector<Tri3D> readTriangles(const std::string& path) {
  std::vector<Tri3D> out;
  Tri3List* l = stlRead(path.c_str());
  if (l == nullptr) return out;
  out.assign(l->items, l->items + l->count);
  lstBox3Free(l);
  return out;
}

// Scale so that a ball of diameter max(box x, box y) / 20 gets the radius 10; returns the factor.
inline double scaleToTool(std::vector<Tri3D>& tris) {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Tri3D& t : tris)
    for (const Point3D& v : t.v) {
      x0 = std::min(x0, v.x), y0 = std::min(y0, v.y);
      x1 = std::max(x1, v.x), y1 = std::max(y1, v.y);
    }
  const double s = 10.0 / (std::max(x1 - x0, y1 - y0) / 40.0);
  for (Tri3D& t : tris)
    for (Point3D& v : t.v) v = Point3D{v.x * s, v.y * s, v.z * s};
  return s;
}

// Component counts of a classified grid and the loops they imply.
struct LevelCounts {
  int blocked8 = 0;  // 8-connected components of blocked nodes
  int free4 = 0;     // 4-connected components of free nodes
  int paths() const { return blocked8 + free4 - 1 < 0 ? 0 : blocked8 + free4 - 1; }
};

// Components of the nodes with mask value `which`, 4- or 8-connected.
inline int countComponents(const std::vector<std::uint8_t>& mask, int rows, int cols,
                           std::uint8_t which, bool eight) {
  std::vector<std::uint8_t> seen(mask.size(), 0);
  std::vector<int> stack;
  int n = 0;
  for (int s = 0; s < rows * cols; ++s) {
    if (mask[s] != which || seen[s]) continue;
    ++n;
    seen[s] = 1;
    stack.push_back(s);
    while (!stack.empty()) {
      const int k = stack.back();
      stack.pop_back();
      const int r = k / cols, c = k % cols;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          if ((dr == 0 && dc == 0) || (!eight && dr != 0 && dc != 0)) continue;
          const int rr = r + dr, cc = c + dc;
          if (rr < 0 || rr >= rows || cc < 0 || cc >= cols) continue;
          const int q = rr * cols + cc;
          if (mask[q] == which && !seen[q]) {
            seen[q] = 1;
            stack.push_back(q);
          }
        }
    }
  }
  return n;
}

// The part, its tool, net, raster, region and candidate context. Z values passed to slice() are
// level heights: the centre of the corner radius.
class LevelPart {
 public:
  LevelPart(std::vector<Tri3D> tris, int type, double corner, double nodeStep, double margin = 25)
      : model_(tris, makeCutter(static_cast<std::int16_t>(type), 10.0, corner)) {
    SurfaceModel& m = model_.m;
    modelBuildIndex(&m);
    tool_ = WalkTool{10.0, corner, type};
    buildBuckets();
    tris_ = tris;

    // Region: the part's box grown by the margin; nodes half a step inside it.
    const double x0 = m.boxMin.x - margin, y0 = m.boxMin.y - margin;
    const double x1 = m.boxMax.x + margin, y1 = m.boxMax.y + margin;
    region_ = kontNewRect(Point2D{x0, y0}, Point2D{x1, y1});
    region_->closed = 1;
    region_->mesh = triPolyTriangulate(region_);
    cols_ = static_cast<int>(std::floor((x1 - x0) / nodeStep));
    rows_ = static_cast<int>(std::floor((y1 - y0) / nodeStep));
    net_.x0 = x0 + 0.5 * nodeStep;
    net_.y0 = y0 + 0.5 * nodeStep;
    net_.rows = rows_;
    net_.cols = cols_;
    net_.rowStep = nodeStep;
    net_.colStep = nodeStep;
    heights_.assign(static_cast<std::size_t>(rows_) * cols_, 0.0f);
    valid_.assign(static_cast<std::size_t>(rows_) * cols_, 1);
    for (int r = 0; r < rows_; ++r) {
      heightRows_.push_back(&heights_[static_cast<std::size_t>(r) * cols_]);
      validRows_.push_back(&valid_[static_cast<std::size_t>(r) * cols_]);
    }
    net_.height = heightRows_.data();
    net_.valid = validRows_.data();
    fillNet();
    raster_ = gridRasterNew(&net_, rows_, cols_, nodeStep, nodeStep);

    ctx_.triangles = m.triangles;
    ctx_.region = region_;
    ctx_.candidates = lstIntNew(m.triangles->count);
    for (int i = 0; i < m.triangles->count; ++i) lstIntAppend(ctx_.candidates, i);
    ctx_.boxMin = m.facetMin;
    ctx_.boxMax = m.facetMax;
    traced_ = pkoListNew(1000);
    work_ = pkoListNew(1000);
    starts_ = lstIntNew(16);
  }
  ~LevelPart() {
    gridRasterFree(raster_);
    triMeshFree(region_->mesh);
    kontFree(region_);
    collCtxFree(&ctx_);
    pkoListFree(traced_);
    pkoListFree(work_);
    lstIntFree(starts_);
  }
  LevelPart(const LevelPart&) = delete;
  LevelPart& operator=(const LevelPart&) = delete;

  // Tip heights of the product's point drop at every node (the level net).
  void fillNet() {
    SurfaceModel& m = model_.m;
    dropSetTriModel(m.triangles, m.facetMin, m.facetMax, m.boxMin.z, m.boxMax.z, 0);
    const double floor = m.boxMin.z - 100.0;
    for (int r = 0; r < rows_; ++r)
      for (int c = 0; c < cols_; ++c) {
        Point3D p = node(r, c);
        p.z = floor;
        int count = 0;
        const std::int32_t* cand = nullptr;
        if (m.grid != nullptr) {
          const TriangleGridCell* cell = triGridCell(m.grid, p.x, p.y);
          static const std::int32_t kNone = 0;
          cand = cell != nullptr && cell->indices != nullptr ? cell->indices : &kNone;
          count = cell != nullptr && cell->indices != nullptr ? cell->count : 0;
        }
        Point3D contact{};
        int kind = 0;
        dropPointTris(&p, m.boxMax.z + 20.0, m.cutter, cand, count, &contact, &kind);
        heights_[static_cast<std::size_t>(r) * cols_ + c] =
            static_cast<float>(p.z - tool_.cornerRadius);
      }
  }

  // Buckets of kBucket x kBucket over the part's box, each listing the triangles whose box grown
  // by R + 1 meets it.
  void buildBuckets() {
    const SurfaceModel& m = model_.m;
    const double grow = tool_.radius + 1.0;
    bucketX0_ = m.boxMin.x - grow;
    bucketY0_ = m.boxMin.y - grow;
    bucketCols_ = static_cast<int>((m.boxMax.x + grow - bucketX0_) / kBucket) + 1;
    bucketRows_ = static_cast<int>((m.boxMax.y + grow - bucketY0_) / kBucket) + 1;
    buckets_.assign(static_cast<std::size_t>(bucketRows_) * bucketCols_, {});
    for (int i = 0; i < m.triangles->count; ++i) {
      const int c0 = static_cast<int>((m.facetMin[i].x - grow - bucketX0_) / kBucket);
      const int c1 = static_cast<int>((m.facetMax[i].x + grow - bucketX0_) / kBucket);
      const int r0 = static_cast<int>((m.facetMin[i].y - grow - bucketY0_) / kBucket);
      const int r1 = static_cast<int>((m.facetMax[i].y + grow - bucketY0_) / kBucket);
      for (int r = std::max(r0, 0); r <= std::min(r1, bucketRows_ - 1); ++r)
        for (int c = std::max(c0, 0); c <= std::min(c1, bucketCols_ - 1); ++c)
          buckets_[static_cast<std::size_t>(r) * bucketCols_ + c].push_back(i);
    }
  }

  Point3D node(int r, int c) const {
    return Point3D{net_.x0 + c * net_.colStep, net_.y0 + r * net_.rowStep, 0.0};
  }

  // Distance from p to the part less the ball radius, capped at 1: the triangles of p's bucket.
  double clearance(const Point3D& p) const {
    double best = tool_.radius + 1.0;
    const int bx = std::clamp(static_cast<int>((p.x - bucketX0_) / kBucket), 0, bucketCols_ - 1);
    const int by = std::clamp(static_cast<int>((p.y - bucketY0_) / kBucket), 0, bucketRows_ - 1);
    const Tri3List* l = model_.m.triangles;
    for (int i : buckets_[static_cast<std::size_t>(by) * bucketCols_ + bx]) {
      const Point3D& lo = model_.m.facetMin[i];
      const Point3D& hi = model_.m.facetMax[i];
      const double dx = std::max({lo.x - p.x, 0.0, p.x - hi.x});
      const double dy = std::max({lo.y - p.y, 0.0, p.y - hi.y});
      const double dz = std::max({lo.z - p.z, 0.0, p.z - hi.z});
      if (dx * dx + dy * dy + dz * dz >= best * best) continue;
      best = std::min(best, pointTriangle(p, l->items[i]));
    }
    return best - tool_.radius;
  }

  // Counts of the level's raster as last classified (blocked: -1).
  LevelCounts rasterCounts() const {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(rows_) * cols_);
    for (int r = 0; r < rows_; ++r)
      for (int c = 0; c < cols_; ++c)
        mask[static_cast<std::size_t>(r) * cols_ + c] = raster_->cells[r][c] == kRasterBlocked;
    LevelCounts k;
    k.blocked8 = countComponents(mask, rows_, cols_, 1, true);
    k.free4 = countComponents(mask, rows_, cols_, 0, false);
    return k;
  }

  // Replaces the region by the given one (taken over; its mesh is made here).
  void useRegion(Kont2D* region) {
    triMeshFree(region_->mesh);
    kontFree(region_);
    region_ = region;
    region_->closed = 1;
    region_->mesh = triPolyTriangulate(region_);
    ctx_.region = region_;
  }

  // Switches the context to list mode (mode 1: the traced ids become model triangle indices):
  // candidate pairs of every triangle, highest first, with allowance lists.
  void useListMode() {
    collCtxFree(&ctx_);
    WalkParams p{};
    p.mode = 1;
    p.model = &model_.m;
    CutterShape cutter = *model_.m.cutter;
    collCtxAlloc(&ctx_, &p);
    collCtxFill(&ctx_, &p, &cutter);
    mode_ = 1;
  }

  // Classifies the raster at level Z and slices it. Returns arczLevelPaths' result.
  int slice(double Z, double tolerance = 0.01) {
    pkoListReset(traced_);
    pkoListReset(work_);
    lstIntReset(starts_);
    gridRasterClassify(&net_, nullptr, Z - tool_.cornerRadius, raster_);
    params_ = WalkParams{};
    params_.tolerance = tolerance;
    params_.z = Z;
    params_.direction = 1;
    params_.model = &model_.m;
    params_.mode = mode_;
    slice_ = SliceContext{raster_, nullptr, traced_, work_, starts_};
    return arczLevelPaths(&ctx_, &tool_, &params_, &slice_);
  }

  // The level's pieces as Z paths (appended to list).
  void pathsInto(ZPathList* list, double Z) const {
    for (int k = 0; k < starts_->count; ++k) {
      const int from = starts_->items[k];
      const int to = k + 1 < starts_->count ? starts_->items[k + 1] : traced_->count;
      ZPath* p = zpathNew(to - from + 3);
      p->z = Z;
      if (zpathFromPko(p, traced_, from, to) == 1) zpathListAdd(list, p);
      zpathFree(p);
    }
  }

  SurfaceModel& model() { return model_.m; }
  CollCtx& ctx() { return ctx_; }
  WalkTool& tool() { return tool_; }
  const WalkTool& tool() const { return tool_; }
  WalkParams& params() { return params_; }
  SliceContext& sliceContext() { return slice_; }
  PkoList* traced() const { return traced_; }
  IntList* pieceStarts() const { return starts_; }
  Raster* raster() const { return raster_; }
  Kont2D* region() const { return region_; }
  const std::vector<Tri3D>& triangles() const { return tris_; }
  const FloatDropNet& net() const { return net_; }

 private:
  static constexpr double kBucket = 10.0;
  TriModel model_;
  WalkTool tool_{};
  double bucketX0_ = 0, bucketY0_ = 0;
  int bucketCols_ = 1, bucketRows_ = 1;
  std::vector<std::vector<int>> buckets_;
  std::vector<Tri3D> tris_;
  Kont2D* region_ = nullptr;
  int rows_ = 0, cols_ = 0;
  FloatDropNet net_{};
  std::vector<float> heights_;
  std::vector<std::uint8_t> valid_;
  std::vector<float*> heightRows_;
  std::vector<std::uint8_t*> validRows_;
  Raster* raster_ = nullptr;
  CollCtx ctx_{};
  WalkParams params_{};
  SliceContext slice_{};
  PkoList* traced_ = nullptr;
  PkoList* work_ = nullptr;
  IntList* starts_ = nullptr;
  int mode_ = 0;
};

}  // namespace qdtest
