// gouge_check.cpp - the gouge check of Z-level contour points on the installed drop model.
#include "zlevel/gouge_check.h"

#include <cmath>
#include <cstdint>

#include "geometry/triangle_grid.h"
#include "model/drop_cutter.h"

namespace {

struct GougeState {
  int check = 1;
  const SurfaceModel* model = nullptr;
};
GougeState gougeState;

// Drops the cutter at axis onto the facets of one set (the grid cell's facets, or every facet
// without a grid), raising *best. True when some facet raised it.
bool gougeDropSet(int facetType, const Tri3List* tris, const QuadFacet* quads, int quadCount,
                  const Point3D* boxMin, const Point3D* boxMax, const TriangleGrid* grid,
                  const CutterShape& cutter, const Point3D& axis, double* best) {
  const int n = facetType == 4 ? quadCount : (tris != nullptr ? tris->count : 0);
  if (n <= 0 || (facetType == 4 ? quads == nullptr : tris->items == nullptr)) return false;
  const std::int32_t* cand = nullptr;
  int count = n;
  if (grid != nullptr) {
    const TriangleGridCell* cell = triGridCell(grid, axis.x, axis.y);
    if (cell == nullptr || cell->indices == nullptr) return false;
    cand = cell->indices;
    count = cell->count;
  }
  const double reach = cutter.radius;
  bool raised = false;
  for (int k = 0; k < count; ++k) {
    const int i = cand != nullptr ? cand[k] : k;
    if (i < 0 || i >= n) continue;
    if (boxMin != nullptr && boxMax != nullptr &&
        (axis.x < boxMin[i].x - reach || axis.x > boxMax[i].x + reach ||
         axis.y < boxMin[i].y - reach || axis.y > boxMax[i].y + reach)) {
      continue;
    }
    Point3D contact{};
    int kind = 0;
    const int r = facetType == 4
                      ? dropToolOnQuad(quads[i], axis, cutter, best, &contact, &kind)
                      : dropToolOnTri(tris->items[i], axis, cutter, best, &contact, &kind);
    if (r > 0) raised = true;
  }
  return raised;
}

}  // namespace

void roughSetGougeCheck(int value) {
  if (value == 0 || value == 1) gougeState.check = value;
}

int roughGetGougeCheck() { return gougeState.check; }

void roughGougeSetModel(const SurfaceModel* dropModel) { gougeState.model = dropModel; }

const SurfaceModel* roughGougeModel() { return gougeState.model; }

int roughPointGouges(const Point3D* point) {
  if (point == nullptr) return -1;
  const SurfaceModel* m = gougeState.model;
  if (m == nullptr || m->cutter == nullptr) return 0;
  if (!std::isfinite(point->x) || !std::isfinite(point->y) || !std::isfinite(point->z)) return 1;
  const double start = point->z - 10.0;
  double best = start;
  const Point3D axis{point->x, point->y, m->boxMax.z + m->cutter->radius + 1.0};
  bool hit = gougeDropSet(m->facetType, m->triangles, m->quads, m->quadCount, m->facetMin,
                          m->facetMax, m->grid, *m->cutter, axis, &best);
  for (const SubModel* s = m->subModels; s != nullptr; s = s->next) {
    // Each set is dropped from the same start; the highest resting position counts.
    double subBest = start;
    const Point3D subAxis{point->x, point->y, s->boxMax.z + s->cutter.radius + 1.0};
    if (gougeDropSet(s->facetType, s->triangles, s->quads, s->quadCount, s->facetMin, s->facetMax,
                     s->grid, s->cutter, subAxis, &subBest)) {
      hit = true;
      if (subBest > best) best = subBest;
    }
  }
  return hit && best > point->z + kGougeMargin ? 1 : 0;
}

int roughCheckGouge(const Point3D& point) {
  if (gougeState.check == 0) return 0;
  return roughPointGouges(&point) == 1 ? 1 : 0;
}

void roughGougeResetState() { gougeState = GougeState{}; }
