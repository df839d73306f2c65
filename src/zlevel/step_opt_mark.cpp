// step_opt_mark.cpp - flat faces, the marking of a flat level's raster and the writing of the
// level's outlines for the optimised step levels. The three markings give the same cells; they
// differ in cost only, so the cheap bucket grid runs first and the plain scan is the last resort.
#include "zlevel/step_opt_mark.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <source_location>
#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "geometry/space_geo.h"
#include "model/coll_candidates.h"
#include "model/wcoll_boxtree.h"
#include "zlevel/walker_step.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"
#include "zlevel/zpath_grouping.h"
#include "zlevel/zpath_order.h"
#include "zlevel/zpath_pko.h"

namespace {

int stepOptFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kStepOptSource, static_cast<int>(at.line()));
  return code;
}

// One raster cell of the tree strategy.
struct StepOptCell {
  std::int32_t row;
  std::int32_t col;
  float x;
  float y;
  float radius;
};
static_assert(sizeof(StepOptCell) == 20);

// The candidate context the tree strategy's triangle boxes are read from, for one call.
struct StepOptMarkState {
  const CollCtx* ctx = nullptr;
  const Raster* raster = nullptr;  // the cell centres, exact, for the pair handler
};
StepOptMarkState gMark;

Point2D cellCentre(const Raster* r, int i, int j) {
  return Point2D{r->x0 + j * r->colStep, r->y0 + i * r->rowStep};
}

bool rasterUsable(const SliceContext* slice) {
  return slice != nullptr && slice->raster != nullptr && slice->raster->cells != nullptr;
}

int compareDepth(const void* a, const void* b) {
  return static_cast<const ZPath*>(a)->nestingDepth - static_cast<const ZPath*>(b)->nestingDepth;
}

}  // namespace

int stepOptIsPlaneTriangle(const Tri3D& tri, double minNz) {
  double a = 0;
  double b = 0;
  double c = 0;
  double d = 0;
  if (geoTriPlane(tri, &a, &b, &c, &d) != 1) return 0;
  if (!(std::fabs(c) >= minNz)) return 0;
  const double z0 = tri.v[0].z;
  const double z1 = tri.v[1].z;
  const double z2 = tri.v[2].z;
  if (std::fabs(z0 - z1) > kStepOptFlatDz || std::fabs(z0 - z2) > kStepOptFlatDz ||
      std::fabs(z1 - z2) > kStepOptFlatDz) {
    return 0;
  }
  return 1;
}

namespace {

// The candidates in plan buckets, each triangle in every bucket its plan box meets.
class CoverBuckets {
 public:
  static constexpr int kMaxSide = 64;
  explicit CoverBuckets(const CollCtx* ctx) : ctx_(ctx) {
    const int n = collSetCount(ctx);
    for (int i = 0; i < n; ++i) {
      const Tri3D* t = collSetItem(ctx, i);
      if (t == nullptr) continue;
      for (const Point3D& v : t->v) {
        x0_ = std::min(x0_, v.x);
        y0_ = std::min(y0_, v.y);
        x1_ = std::max(x1_, v.x);
        y1_ = std::max(y1_, v.y);
      }
    }
    if (!(x1_ >= x0_) || !(y1_ >= y0_)) return;
    const int side = std::clamp(static_cast<int>(std::sqrt(static_cast<double>(n))), 1, kMaxSide);
    cols_ = rows_ = side;
    cw_ = std::max((x1_ - x0_) / cols_, 1e-9);
    ch_ = std::max((y1_ - y0_) / rows_, 1e-9);
    cells_.resize(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_));
    for (int i = 0; i < n; ++i) {
      const Tri3D* t = collSetItem(ctx, i);
      if (t == nullptr) continue;
      double lx = t->v[0].x, hx = lx, ly = t->v[0].y, hy = ly;
      for (const Point3D& v : t->v) {
        lx = std::min(lx, v.x);
        hx = std::max(hx, v.x);
        ly = std::min(ly, v.y);
        hy = std::max(hy, v.y);
      }
      for (int r = row(ly); r <= row(hy); ++r) {
        for (int c = col(lx); c <= col(hx); ++c) cells_[cell(r, c)].push_back(i);
      }
    }
  }

  // 1 when a candidate triangle lies over (x, y) higher than z.
  bool coveredAt(double x, double y, double z) const {
    if (cells_.empty() || x < x0_ || x > x1_ || y < y0_ || y > y1_) return false;
    for (const int i : cells_[cell(row(y), col(x))]) {
      const Tri3D* t = collSetItem(ctx_, i);
      double h = 0;
      if (t != nullptr && heightOver(*t, x, y, &h) && h > z) return true;
    }
    return false;
  }

 private:
  // The height of the triangle's plane over (x, y) when the point lies in its plan (edges
  // included); false for a triangle standing on edge.
  static bool heightOver(const Tri3D& t, double x, double y, double* h) {
    const Point3D* v = t.v;
    const double e = (v[0].x - v[2].x) * (v[1].y - v[2].y) - (v[0].y - v[2].y) * (v[1].x - v[2].x);
    if (std::fabs(e) < 1e-12) return false;
    const double u = ((x - v[2].x) * (v[1].y - v[2].y) - (y - v[2].y) * (v[1].x - v[2].x)) / e;
    const double w = ((v[0].x - v[2].x) * (y - v[2].y) - (v[0].y - v[2].y) * (x - v[2].x)) / e;
    const double s = 1.0 - u - w;
    if (u < 0 || w < 0 || s < 0) return false;
    *h = u * v[0].z + w * v[1].z + s * v[2].z;
    return true;
  }
  int col(double x) const { return std::clamp(static_cast<int>((x - x0_) / cw_), 0, cols_ - 1); }
  int row(double y) const { return std::clamp(static_cast<int>((y - y0_) / ch_), 0, rows_ - 1); }
  std::size_t cell(int r, int c) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) +
           static_cast<std::size_t>(c);
  }

  const CollCtx* ctx_;
  double x0_ = 1e300, y0_ = 1e300, x1_ = -1e300, y1_ = -1e300;
  double cw_ = 1, ch_ = 1;
  int rows_ = 0, cols_ = 0;
  std::vector<std::vector<int>> cells_;
};

}  // namespace

int stepOptCoveredFaces(const CollCtx* ctx, const int* faces, int count, std::int8_t* covered) {
  if (ctx == nullptr || count < 0 || (count > 0 && (faces == nullptr || covered == nullptr))) {
    return stepOptFail(-20);
  }
  try {
    const CoverBuckets buckets(ctx);
    for (int k = 0; k < count; ++k) {
      covered[k] = 0;
      const Tri3D* t = collSetItem(ctx, faces[k]);
      if (t == nullptr) continue;
      const Point3D* v = t->v;
      const double cx = (v[0].x + v[1].x + v[2].x) / 3;
      const double cy = (v[0].y + v[1].y + v[2].y) / 3;
      const double top = std::max({v[0].z, v[1].z, v[2].z}) + kStepOptFlatDz;
      bool all = buckets.coveredAt(cx, cy, top);
      for (int j = 0; j < 3 && all; ++j) {
        all = buckets.coveredAt(cx + (v[j].x - cx) / 3, cy + (v[j].y - cy) / 3, top);
      }
      covered[k] = all ? 1 : 0;
    }
  } catch (const std::bad_alloc&) {
    return stepOptFail(-1);
  }
  return 1;
}

int stepOptDiskTouchesTriangle(const Tri3D& tri, Point2D p, double r) {
  const Point3D* v = tri.v;
  if (geoDist2D(p, Point2D{v[0].x, v[0].y}) < r) return 1;
  const double e = (v[0].x - v[2].x) * (v[1].y - v[2].y) - (v[0].y - v[2].y) * (v[1].x - v[2].x);
  if (std::fabs(e) > 0.001) {
    const double u = ((p.x - v[2].x) * (v[1].y - v[2].y) - (p.y - v[2].y) * (v[1].x - v[2].x)) / e;
    const double w = ((v[0].x - v[2].x) * (p.y - v[2].y) - (v[0].y - v[2].y) * (p.x - v[2].x)) / e;
    const double t = 1.0 - u - w;
    if (u >= 0 && u <= 1 && w >= 0 && w <= 1 && t >= 0 && t <= 1) return 1;
  }
  for (int k = 0; k < 3; ++k) {
    const Point3D& A = v[k];
    const Point3D& B = v[(k + 1) % 3];
    const double dx = B.x - A.x;
    const double dy = B.y - A.y;
    const double ax = A.x - p.x;
    const double ay = A.y - p.y;
    double t1 = 0;
    double t2 = 0;
    const int n = geoSolveQuadratic(dx * dx + dy * dy, 2.0 * (dx * ax + dy * ay),
                                    ax * ax + ay * ay - r * r, &t1, &t2);
    if (n >= 1 && t1 >= 0 && t1 <= 1) return 1;
    if (n >= 2 && t2 >= 0 && t2 <= 1) return 1;
  }
  return 0;
}

int stepOptDiskHitsCell(const CollCtx* ctx, const WalkTool* tool, const WalkParams* /*walk*/,
                        Point2D p, const TriangleGridCell* bucket) {
  if (bucket == nullptr) return 0;
  for (int k = 0; k < bucket->count; ++k) {
    const Tri3D* t = collSetItem(ctx, bucket->indices[k]);
    if (t != nullptr && stepOptDiskTouchesTriangle(*t, p, tool->radius) != 0) return 1;
  }
  return 0;
}

int stepOptDiskHitsAny(const CollCtx* ctx, const WalkTool* tool, const WalkParams* /*walk*/,
                       Point2D p) {
  const int n = collSetCount(ctx);
  for (int k = 0; k < n; ++k) {
    const Tri3D* t = collSetItem(ctx, k);
    if (t != nullptr && stepOptDiskTouchesTriangle(*t, p, tool->radius) != 0) return 1;
  }
  return 0;
}

int stepOptFillTriGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, const Point3D& boxMin,
                       const Point3D& boxMax) {
  TriangleGrid* g = walk->triGrid;
  g->x0 = boxMin.x;
  g->y0 = boxMin.y;
  g->x1 = boxMax.x;
  g->y1 = boxMax.y;
  g->cellHeight = (boxMax.y - boxMin.y) / g->rows;
  g->cellWidth = (boxMax.x - boxMin.x) / g->columns;
  const double r = tool->radius;
  const int n = collSetCount(ctx);
  for (int i = 0; i < n; ++i) {
    Point3D lo{};
    Point3D hi{};
    if (collSetItemBox(ctx, i, &lo, &hi) != 1) continue;
    const int c0 = triGridIndex(lo.x - r, g->x0, g->cellWidth, g->columns, true);
    const int c1 = triGridIndex(hi.x + r, g->x0, g->cellWidth, g->columns, false);
    const int r0 = triGridIndex(lo.y - r, g->y0, g->cellHeight, g->rows, true);
    const int r1 = triGridIndex(hi.y + r, g->y0, g->cellHeight, g->rows, false);
    for (int row = r0; row <= r1; ++row) {
      for (int col = c0; col <= c1; ++col) {
        if (triGridAdd(g, row, col, i) != 1) return -1;
      }
    }
  }
  triGridShrinkCells(g);
  return 1;
}

int stepOptBuildTriGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* /*slice*/) {
  const int n = collSetCount(ctx);
  if (n <= 0) return 0;
  Point3D lo{1e300, 1e300, 1e300};
  Point3D hi{-1e300, -1e300, -1e300};
  for (int i = 0; i < n; ++i) {
    Point3D a{};
    Point3D b{};
    if (collSetItemBox(ctx, i, &a, &b) != 1) continue;
    lo.x = std::min(lo.x, a.x);
    lo.y = std::min(lo.y, a.y);
    hi.x = std::max(hi.x, b.x);
    hi.y = std::max(hi.y, b.y);
  }
  if (lo.x > hi.x) return 0;
  for (int size = 32; size >= 1; size /= 2) {
    walk->triGrid = triGridNew(size, size, 100);
    if (walk->triGrid == nullptr) continue;
    if (stepOptFillTriGrid(ctx, tool, walk, lo, hi) == 1) return 1;
    triGridFree(walk->triGrid);
    walk->triGrid = nullptr;
  }
  return stepOptFail(-1);
}

int stepOptMarkByGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice) {
  if (!rasterUsable(slice)) return 0;
  const int built = stepOptBuildTriGrid(ctx, tool, walk, slice);
  if (built < 0) {
    offs3dRelease(ctx, tool, walk);
    return stepOptFail(built);
  }
  if (built == 0) {
    offs3dRelease(ctx, tool, walk);
    return 0;
  }
  Raster* r = slice->raster;
  r->freeCount = 0;
  for (int i = 0; i < r->rows; ++i) {
    for (int j = 0; j < r->cols; ++j) {
      const Point2D p = cellCentre(r, i, j);
      const TriangleGridCell* bucket = triGridCell(walk->triGrid, p.x, p.y);
      if (stepOptDiskHitsCell(ctx, tool, walk, p, bucket) != 0) {
        r->cells[i][j] = kRasterBlocked;
      } else {
        r->cells[i][j] = kRasterFree;
        ++r->freeCount;
      }
    }
  }
  offs3dRelease(ctx, tool, walk);
  return 1;
}

void stepOptCellBox(double box[4], const BoxTree2D* tree, int element) {
  const auto* c = static_cast<const StepOptCell*>(tree->elements) + element;
  box[0] = static_cast<double>(c->x) - c->radius;
  box[1] = static_cast<double>(c->y) - c->radius;
  box[2] = static_cast<double>(c->x) + c->radius;
  box[3] = static_cast<double>(c->y) + c->radius;
}

void stepOptTriBox(double box[4], const BoxTree2D* /*tree*/, int element) {
  Point3D lo{};
  Point3D hi{};
  if (collSetItemBox(gMark.ctx, element, &lo, &hi) != 1) {
    box[0] = box[1] = 1e300;  // an empty box meets nothing
    box[2] = box[3] = -1e300;
    return;
  }
  box[0] = lo.x;
  box[1] = lo.y;
  box[2] = hi.x;
  box[3] = hi.y;
}

int stepOptDiskTouchesTri(const BoxTree2D* cells, int a, const BoxTree2D* /*tris*/, int b,
                          void* /*user*/) {
  const auto* c = static_cast<const StepOptCell*>(cells->elements) + a;
  const Tri3D* t = collSetItem(gMark.ctx, b);
  if (t == nullptr) return 0;
  const Point2D p =
      gMark.raster != nullptr ? cellCentre(gMark.raster, c->row, c->col) : Point2D{c->x, c->y};
  return stepOptDiskTouchesTriangle(*t, p, c->radius);
}

int stepOptMarkByTrees(CollCtx* ctx, WalkTool* tool, WalkParams* /*walk*/, SliceContext* slice) {
  if (!rasterUsable(slice)) return 0;
  Raster* r = slice->raster;
  const int n = collSetCount(ctx);
  const long long cellCount = static_cast<long long>(r->rows) * r->cols;
  if (n <= 0 || cellCount <= 0) return 0;
  std::unique_ptr<StepOptCell[]> cells(new (std::nothrow) StepOptCell[cellCount]);
  if (!cells) return stepOptFail(-1);
  // The cell records hold their centres in single precision for the boxes; the handler tests
  // the exact centre from the raster, so all strategies mark the same cells.
  for (int i = 0; i < r->rows; ++i) {
    for (int j = 0; j < r->cols; ++j) {
      const Point2D p = cellCentre(r, i, j);
      cells[static_cast<std::size_t>(i) * r->cols + j] = StepOptCell{
          i, j, static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(tool->radius)};
    }
  }
  gMark.ctx = ctx;
  gMark.raster = r;
  struct TreeDel {
    void operator()(BoxTree2D* t) const { wcoll2dTreeFree(t); }
  };
  struct ListDel {
    void operator()(RecList* l) const { lstRecFree(l); }
  };
  std::unique_ptr<BoxTree2D, TreeDel> cellTree(
      wcoll2dTreeNew(cells.get(), static_cast<int>(cellCount), 0.0, stepOptCellBox));
  std::unique_ptr<BoxTree2D, TreeDel> triTree(
      cellTree ? wcoll2dTreeNew(cells.get(), n, 0.0, stepOptTriBox) : nullptr);
  std::unique_ptr<RecList, ListDel> pairs(lstRec8New(1000));
  if (!cellTree || !triTree || !pairs) {
    gMark = StepOptMarkState{};
    return stepOptFail(-1);
  }
  const int found =
      wcoll2dTreesOverlap(cellTree.get(), triTree.get(), 1, stepOptDiskTouchesTri, pairs.get());
  int marked = 0;
  if (found > 0) {
    const auto* recs = static_cast<const Rec8*>(pairs->items);
    for (int k = 0; k < pairs->count; ++k) {
      const StepOptCell& c = cells[static_cast<std::size_t>(recs[k].w[0])];
      if (r->cells[c.row][c.col] != kRasterFree) continue;
      r->cells[c.row][c.col] = kRasterBlocked;
      --r->freeCount;
      ++marked;
    }
  }
  gMark = StepOptMarkState{};
  if (found < 0) return stepOptFail(found);
  return marked > 0 ? 1 : 0;
}

void stepOptMarkBrute(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice) {
  if (!rasterUsable(slice)) return;
  Raster* r = slice->raster;
  r->freeCount = 0;
  for (int i = 0; i < r->rows; ++i) {
    for (int j = 0; j < r->cols; ++j) {
      if (stepOptDiskHitsAny(ctx, tool, walk, cellCentre(r, i, j)) != 0) {
        r->cells[i][j] = kRasterBlocked;
      } else {
        r->cells[i][j] = kRasterFree;
        ++r->freeCount;
      }
    }
  }
}

int stepOptClipToRegion(const char* tempFile, const Kont2D* region, const char* planeFile) {
  if (tempFile == nullptr || region == nullptr || planeFile == nullptr) return 0;
  geoErrReset();
  Kont2D* read = kontReadBnd(tempFile, 1, 1);
  if (read == nullptr) {
    const int code = geoErrCode();
    if (code == 0) return 0;
    return stepOptFail(code);
  }
  Kont2D* cut = nullptr;
  const int b = kontBooleanSafe(read, region, 1, &cut);
  int result = 1;
  if (b < 0) {
    result = stepOptFail(b);
  } else if (b > 0 && cut != nullptr) {
    for (Kont2D* k = cut; k != nullptr; k = k->next) kontSetZ(k, read->z);
    const int w = kontAppendBndWz(cut, planeFile);
    if (w < 0) result = stepOptFail(w);
  }
  kontFree(cut);
  kontFree(read);
  return result;
}

int stepOptWriteLevelBounds(SliceContext* slice, const Kont2D* region, double z,
                            const char* planeFile, ZPathList* list, ZPath* work) {
  if (slice == nullptr || slice->pathStarts == nullptr || slice->pathStarts->count <= 0 ||
      planeFile == nullptr) {
    return 0;
  }
  if (list == nullptr || work == nullptr || slice->traced == nullptr) return stepOptFail(-1);
  char temp[4096];
  if (geoTempFileName(temp, sizeof temp, ".bnd") != 1) return stepOptFail(-1);
  zpathListClear(list);
  const IntList* starts = slice->pathStarts;
  const int segCount = slice->traced->count;
  for (int k = 0; k < starts->count; ++k) {
    const int first = starts->items[k];
    const int end = k + 1 < starts->count ? starts->items[k + 1] : segCount;
    zpathReset(work);
    work->z = z;
    if (zpathFromPko(work, slice->traced, first, end) < 0 || zpathListAdd(list, work) < 0) {
      std::remove(temp);
      return stepOptFail(-1);
    }
    list->items[list->count - 1].z = z;
  }
  zpathListNestingDepths(list);
  lstSort(list->items, list->count, sizeof(ZPath), compareDepth);
  int result = 1;
  while (list->count > 0) {
    std::remove(temp);
    // The group: the first remaining path and every path it directly contains.
    const ZPath head = list->items[0];
    for (int k = list->count - 1; k >= 1; --k) {
      if (!zpathIsDirectParent(list->items[k], head)) continue;
      if (zpathAppendBnd(&list->items[k], temp) < 0) {
        std::remove(temp);
        return stepOptFail(-1);
      }
      zpathListRemove(list, k);
    }
    if (zpathAppendBnd(&list->items[0], temp) < 0) {
      std::remove(temp);
      return stepOptFail(-1);
    }
    zpathListRemove(list, 0);
    const int c = stepOptClipToRegion(temp, region, planeFile);
    if (c < 0) {
      result = stepOptFail(c);
      break;
    }
  }
  std::remove(temp);
  return result;
}

int stepOptDumpPairs(const RecList* pairs) {
  const std::string name = std::string(geoWorkDir()) + "/xy.3dt";
  std::FILE* f = std::fopen(name.c_str(), "w");
  if (f == nullptr) return stepOptFail(-1);
  const int n = pairs != nullptr ? pairs->count : 0;
  for (int k = 0; k < n; ++k) {
    const auto* t = static_cast<const Tri3D*>(static_cast<const PtrValPair*>(pairs->items)[k].ptr);
    if (t == nullptr) continue;
    std::fprintf(f, "%lf %lf %lf %lf %lf %lf %lf %lf %lf\n", t->v[0].x, t->v[0].y, t->v[0].z,
                 t->v[1].x, t->v[1].y, t->v[1].z, t->v[2].x, t->v[2].y, t->v[2].z);
  }
  std::fclose(f);
  return 1;
}

int stepOptDumpIndexed(const IntList* indices, const Tri3List* triangles) {
  const std::string name = std::string(geoWorkDir()) + "/xy.3dt";
  std::FILE* f = std::fopen(name.c_str(), "w");
  if (f == nullptr) return stepOptFail(-1);
  const int n = indices != nullptr && triangles != nullptr ? indices->count : 0;
  for (int k = 0; k < n; ++k) {
    const int i = indices->items[k];
    if (i < 0 || i >= triangles->count) continue;
    const Tri3D* t = &triangles->items[i];
    std::fprintf(f, "%lf %lf %lf %lf %lf %lf %lf %lf %lf\n", t->v[0].x, t->v[0].y, t->v[0].z,
                 t->v[1].x, t->v[1].y, t->v[1].z, t->v[2].x, t->v[2].y, t->v[2].z);
  }
  std::fclose(f);
  return 1;
}
