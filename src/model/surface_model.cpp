// surface_model.cpp - lifetime, copies, cutter allowances, sorting and bucket grids of the
// surface model. The model owns its cutter and sub-model records; the facet arrays, box arrays
// and grids belong to the model that loaded them and are shared by its copies.
#include "model/surface_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"

namespace {

struct ModelState {
  ModelMessageFn message = nullptr;
};
ModelState modelState;

constexpr double kLengthEps = 0.00001;
constexpr int kModelGridCells = 400;
constexpr int kHolderGridMax = 30;
// A grid side beyond this many cells means a box too elongated (or too large) to index.
constexpr double kGridSideLimit = 1e7;
constexpr double kGridCellLimit = 16777216.0;
// modelGridOverFacets builds at most this many times the cells it was asked for.
constexpr double kGridElongationLimit = 64.0;

// Sends a computation message through the framework's message sending, or to the receiver a
// test installed in its place.
void modelMessage(int number, int level, const char* text, double value) {
  if (modelState.message != nullptr) {
    modelState.message(number, level, value);
    return;
  }
  msgSendReal(level, number, text, value);
}

int modelTriCount(const Tri3List* list) { return list != nullptr ? list->count : 0; }

int modelFacetCount(int facetType, const Tri3List* triangles, const QuadFacet* quads,
                    int quadCount) {
  if (facetType == 3) return modelTriCount(triangles);
  return quads != nullptr && quadCount > 0 ? quadCount : 0;
}

int modelOwnFacets(const SurfaceModel& m) {
  return modelFacetCount(m.facetType, m.triangles, m.quads, m.quadCount);
}

int modelSubFacets(const SubModel& s) {
  return modelFacetCount(s.facetType, s.triangles, s.quads, s.quadCount);
}

// Applies fn to the model's cutter (when it has one) and to every sub-model's cutter.
template <typename Fn>
void modelForEachCutter(SurfaceModel* model, Fn fn) {
  if (model == nullptr) return;
  if (model->cutter != nullptr) fn(*model->cutter);
  for (SubModel* s = model->subModels; s != nullptr; s = s->next) fn(s->cutter);
}

// Grid margin of a cutter: its radius, plus the reach of a tapered cutter's ring, and at least
// half the shank diameter.
double modelGridMargin(const CutterShape& cutter) {
  double margin = cutter.radius;
  if (cutter.tapered != 0) margin += cutterTaperRing(cutter).reach;
  return std::max(margin, cutter.shankDiameter / 2.0);
}

// Rows and columns of the model grid over a box: about kModelGridCells cells of the box's
// aspect ratio, q = (x extent + 1) / (y extent + 1), rows = trunc(sqrt(cells / q)) + 1,
// columns = trunc(q rows) + 1. False for a box that is not finite or too elongated.
bool modelGridDims(const Point3D& boxMin, const Point3D& boxMax, int cells, int* rows,
                   int* columns) {
  const double q = (boxMax.x + 1.0 - boxMin.x) / (boxMax.y + 1.0 - boxMin.y);
  if (!std::isfinite(q) || !(q > 0.0)) return false;
  const double r = std::trunc(std::sqrt(cells / q)) + 1.0;
  if (!(r < kGridSideLimit)) return false;
  const double c = std::trunc(q * r) + 1.0;
  if (!(c < kGridSideLimit) || r * c > kGridCellLimit) return false;
  *rows = static_cast<int>(r);
  *columns = static_cast<int>(c);
  return true;
}

// A new grid over count facets with their box arrays; null when it cannot be built.
TriangleGrid* modelMakeGrid(int rows, int columns, int count, const Point3D& boxMin,
                            const Point3D& boxMax, const Point3D* facetMin, const Point3D* facetMax,
                            double margin) {
  TriangleGrid* grid = triGridNew(rows, columns, 100);
  if (grid == nullptr) return nullptr;
  if (triGridFill(grid, count, boxMin, boxMax, facetMin, facetMax, margin) != 1) {
    triGridFree(grid);
    return nullptr;
  }
  return grid;
}

// Replaces *slot by a grid over the facets; false when the grid could not be built (slot null).
bool modelIndexFacets(TriangleGrid** slot, int count, const Point3D& boxMin, const Point3D& boxMax,
                      const Point3D* facetMin, const Point3D* facetMax, const CutterShape& cutter) {
  triGridFree(*slot);
  *slot = nullptr;
  if (facetMin == nullptr || facetMax == nullptr)
    return geoFail(kGeoBadArgument, "surface_model"), false;
  int rows = 0, columns = 0;
  if (!modelGridDims(boxMin, boxMax, kModelGridCells, &rows, &columns)) {
    return geoFail(kGeoBadArgument, "surface_model"), false;
  }
  *slot = modelMakeGrid(rows, columns, count, boxMin, boxMax, facetMin, facetMax,
                        modelGridMargin(cutter));
  return *slot != nullptr;
}

void modelFreeFacets(Tri3List** triangles, QuadFacet** quads, std::int32_t* quadCount,
                     Point3D** facetMin, Point3D** facetMax, TriangleGrid** grid) {
  lstBox3Free(*triangles);
  *triangles = nullptr;
  memFree(*quads);
  *quads = nullptr;
  *quadCount = 0;
  memFree(*facetMin);
  *facetMin = nullptr;
  memFree(*facetMax);
  *facetMax = nullptr;
  triGridFree(*grid);
  *grid = nullptr;
}

double modelTriTop(const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); }

double modelQuadTop(const QuadFacet& q) {
  return std::max({modelQuadCorner(q, 0).z, modelQuadCorner(q, 1).z, modelQuadCorner(q, 2).z,
                   modelQuadCorner(q, 3).z});
}

int modelCompareTris(const void* a, const void* b) {
  const double za = modelTriTop(*static_cast<const Tri3D*>(a));
  const double zb = modelTriTop(*static_cast<const Tri3D*>(b));
  return za > zb ? -1 : (za < zb ? 1 : 0);
}

int modelCompareQuads(const void* a, const void* b) {
  const double za = modelQuadTop(*static_cast<const QuadFacet*>(a));
  const double zb = modelQuadTop(*static_cast<const QuadFacet*>(b));
  return za > zb ? -1 : (za < zb ? 1 : 0);
}

}  // namespace

void modelSetMessageFn(ModelMessageFn fn) { modelState.message = fn; }

void modelResetState() { modelState = ModelState{}; }

// ---- creation, copy and release ---------------------------------------------------------------

void modelInit(SurfaceModel* model, int facetType) {
  if (model == nullptr) return;
  std::memset(static_cast<void*>(model), 0, sizeof(SurfaceModel));
  model->facetType = facetType;
}

SurfaceModel* modelCopy(const SurfaceModel* model) {
  if (model == nullptr) {
    geoFail(kGeoBadArgument, "surface_model");
    return nullptr;
  }
  auto* copy = static_cast<SurfaceModel*>(memAllocZero(sizeof(SurfaceModel)));
  if (copy == nullptr) {
    geoFail(kGeoFailed, "surface_model");
    return nullptr;
  }
  *copy = *model;
  copy->cutter = nullptr;
  copy->subModels = nullptr;
  if (model->cutter != nullptr) {
    copy->cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    if (copy->cutter == nullptr) {
      modelFree(copy);
      geoFail(kGeoFailed, "surface_model");
      return nullptr;
    }
    *copy->cutter = *model->cutter;
  }
  SubModel** tail = &copy->subModels;
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    auto* dup = static_cast<SubModel*>(memAllocZero(sizeof(SubModel)));
    if (dup == nullptr) {
      modelFree(copy);
      geoFail(kGeoFailed, "surface_model");
      return nullptr;
    }
    *dup = *s;
    dup->next = nullptr;
    *tail = dup;
    tail = &dup->next;
  }
  return copy;
}

void modelFree(SurfaceModel* model) {
  if (model == nullptr) return;
  modelFreeSubModels(model);
  memFree(model->cutter);
  memFree(model);
}

void modelFreeContents(SurfaceModel* model) {
  if (model == nullptr) return;
  modelFreeFacets(&model->triangles, &model->quads, &model->quadCount, &model->facetMin,
                  &model->facetMax, &model->grid);
  for (SubModel* s = model->subModels; s != nullptr; s = s->next) {
    modelFreeFacets(&s->triangles, &s->quads, &s->quadCount, &s->facetMin, &s->facetMax, &s->grid);
  }
  // The records go too: once the chain is emptied nothing else could reach them.
  modelFreeSubModels(model);
}

void modelFreeSubModels(SurfaceModel* model) {
  if (model == nullptr) return;
  SubModel* s = model->subModels;
  while (s != nullptr) {
    SubModel* next = s->next;
    memFree(s);
    s = next;
  }
  model->subModels = nullptr;
}

int modelIsEmpty(const SurfaceModel* model) {
  if (model == nullptr) return 1;
  if (modelOwnFacets(*model) > 0) return 0;
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    if (modelSubFacets(*s) > 0) return 0;
  }
  return 1;
}

// ---- allowance and cutter changes -------------------------------------------------------------

void cutterApplyAllowance(CutterShape* cutter, double allowance, int mode) {
  if (cutter == nullptr) return;
  const double a = allowance;
  const double r = cutter->radius, c = cutter->cornerRadius;
  switch (cutter->type) {
    case kCutterBall:
      cutter->radius = r + a;
      cutter->cornerRadius = r + a;
      cutter->zOffset = mode == 1 ? r : 0.0;
      break;
    case kCutterFlat:
      cutter->radius = r + a;
      if (a > kLengthEps) {
        cutter->type = kCutterTorus;
        cutter->cornerRadius = a;
        cutter->zOffset = 0.0;
      } else {
        cutter->cornerRadius = 0.0;
        cutter->zOffset = -a;
      }
      break;
    case kCutterTorus:
      cutter->radius = r + a;
      if (c + a > kLengthEps) {
        cutter->cornerRadius = c + a;
        cutter->zOffset = mode == 1 ? c : 0.0;
      } else {
        cutter->type = kCutterFlat;
        cutter->cornerRadius = 0.0;
        cutter->zOffset = -(c + a);
      }
      break;
    default: break;
  }
  cutter->shankDiameter += 2.0 * a;
  if (cutter->taperLength < 0.0) cutter->taperLength = 0.0;
  if (cutter->type == kCutterTorus && cutter->radius < cutter->cornerRadius - kLengthEps) {
    cutter->radius = cutter->cornerRadius;
  }
  if (cutter->radius < -kLengthEps) {
    modelMessage(330, 9, "* WARNING: ALlowance wrong", 0.0);
    cutter->radius = 0.0;
  }
}

void modelAddAllowance(SurfaceModel* model, double a) {
  modelForEachCutter(model, [a](CutterShape& c) {
    if (c.radius + a > kLengthEps) c.radius += a;
    if (a < 0.0) c.shankDiameter += 2.0 * a;
  });
}

void modelAddCornerRadius(SurfaceModel* model, double a) {
  modelForEachCutter(model, [a](CutterShape& c) {
    c.cornerRadius = std::max(0.0, c.cornerRadius + a);
    if (std::fabs(c.radius) >= kLengthEps && std::fabs(c.cornerRadius - c.radius) < kLengthEps) {
      c.type = kCutterBall;
    } else if (std::fabs(c.cornerRadius) < kLengthEps) {
      c.type = kCutterFlat;
    } else {
      c.type = kCutterTorus;
    }
  });
}

void modelSetToolZOffset(SurfaceModel* model, double z) {
  modelForEachCutter(model, [z](CutterShape& c) { c.zOffset = z; });
}

void modelClearTaper(SurfaceModel* model) {
  modelForEachCutter(model, [](CutterShape& c) {
    c.taperLength = 0.0;
    c.shankDiameter = 0.0;
    c.bandLength = 0.0;
    c.taperAngle = 0.0;
    c.tapered = 0;
  });
}

SubModel* modelNewSubModel(const SurfaceModel* model, double allowance, int mode, int facetType,
                           int additional, int capacity) {
  if (model == nullptr || (facetType != 3 && facetType != 4)) {
    geoFail(kGeoBadArgument, "surface_model");
    return nullptr;
  }
  const int room = std::max(capacity, 1);
  auto* sub = static_cast<SubModel*>(memAllocZero(sizeof(SubModel)));
  if (sub == nullptr) {
    geoFail(kGeoFailed, "surface_model");
    return nullptr;
  }
  sub->facetType = facetType;
  sub->additional = additional;
  sub->boxMin = Point3D{1e10, 1e10, 1e10};
  sub->boxMax = Point3D{-1e10, -1e10, -1e10};
  if (model->cutter != nullptr) sub->cutter = *model->cutter;
  cutterApplyAllowance(&sub->cutter, allowance, mode);
  const auto boxBytes = static_cast<std::size_t>(room) * sizeof(Point3D);
  bool ok = true;
  if (facetType == 3) {
    sub->triangles = lstTri3New(room);
    ok = sub->triangles != nullptr;
  } else {
    sub->quads =
        static_cast<QuadFacet*>(memAllocZero(static_cast<std::size_t>(room) * sizeof(QuadFacet)));
    ok = sub->quads != nullptr;
  }
  if (ok) {
    sub->facetMin = static_cast<Point3D*>(memAllocZero(boxBytes));
    sub->facetMax = static_cast<Point3D*>(memAllocZero(boxBytes));
    ok = sub->facetMin != nullptr && sub->facetMax != nullptr;
  }
  if (!ok) {
    modelFreeFacets(&sub->triangles, &sub->quads, &sub->quadCount, &sub->facetMin, &sub->facetMax,
                    &sub->grid);
    memFree(sub);
    geoFail(kGeoFailed, "surface_model");
    return nullptr;
  }
  return sub;
}

// ---- indexes ----------------------------------------------------------------------------------

TriangleGrid* modelGridOverFacets(int cells, int count, const Point3D& boxMin,
                                  const Point3D& boxMax, const Point3D* facetMin,
                                  const Point3D* facetMax, double margin) {
  int rows = 0, columns = 0;
  // A box so elongated that the one column (row) must be cut into far more cells than asked
  // for gets no grid: its cells, each with room for 100 indices, could exhaust memory.
  if (!modelGridDims(boxMin, boxMax, cells, &rows, &columns) ||
      static_cast<double>(rows) * columns > kGridElongationLimit * cells) {
    geoFail(kGeoBadArgument, "surface_model");
    return nullptr;
  }
  return modelMakeGrid(rows, columns, count, boxMin, boxMax, facetMin, facetMax, margin);
}

int modelBuildIndex(SurfaceModel* model) {
  if (model == nullptr) {
    geoFail(kGeoBadArgument, "surface_model");
    return -1;
  }
  bool allBuilt = true;
  const int count = modelOwnFacets(*model);
  if (count > 0) {
    if (model->cutter == nullptr) {
      triGridFree(model->grid);
      model->grid = nullptr;
      geoFail(kGeoBadArgument, "surface_model");
      allBuilt = false;
    } else if (!modelIndexFacets(&model->grid, count, model->boxMin, model->boxMax, model->facetMin,
                                 model->facetMax, *model->cutter)) {
      allBuilt = false;
    }
  }
  for (SubModel* s = model->subModels; s != nullptr; s = s->next) {
    const int subCount = modelSubFacets(*s);
    if (subCount <= 0) continue;
    if (!modelIndexFacets(&s->grid, subCount, s->boxMin, s->boxMax, s->facetMin, s->facetMax,
                          s->cutter)) {
      allBuilt = false;
    }
  }
  return allBuilt ? 1 : -1;
}

TriangleGrid* modelBuildHolderGrid(const SurfaceModel* model, double length, double tilt) {
  if (model == nullptr || model->cutter == nullptr) return nullptr;
  const int count = modelOwnFacets(*model);
  if (count <= 0 || model->facetMin == nullptr || model->facetMax == nullptr) return nullptr;
  const CutterShape& cutter = *model->cutter;
  double angle = std::fabs(tilt) < kLengthEps ? 0.001 : tilt;
  if (cutter.tapered != 0) angle += cutter.taperAngle * std::numbers::pi / 180.0;
  angle = std::min(angle, std::numbers::pi / 2.0);
  const double d = cutter.radius + length * std::sin(angle);
  Point3D lo = model->boxMin, hi = model->boxMax;
  if (model->facetType == 3) {
    lo = Point3D{model->triangles->xmin, model->triangles->ymin, model->triangles->zmin};
    hi = Point3D{model->triangles->xmax, model->triangles->ymax, model->triangles->zmax};
  }
  // min(30, trunc(|extent| / 2d) + 1), clamped before the conversion: a cell width of zero or a
  // non-finite extent gives the largest count.
  auto side = [d](double extent) {
    const double v = std::fabs(extent) / (2.0 * d);
    if (std::isnan(v)) return kHolderGridMax;
    return v >= kHolderGridMax - 1 ? kHolderGridMax : static_cast<int>(v) + 1;
  };
  return modelMakeGrid(side(hi.y - lo.y), side(hi.x - lo.x), count, lo, hi, model->facetMin,
                       model->facetMax, d);
}

// ---- small operations -------------------------------------------------------------------------

void modelGrowBox(const Point3D& p, Point3D* boxMin, Point3D* boxMax) {
  if (boxMin == nullptr || boxMax == nullptr) return;
  // An empty box (minimum above maximum, such as the +-1e10 box of a new model) becomes the
  // point: widening the sentinel would clamp a part that lies beyond it.
  if (boxMin->x > boxMax->x || boxMin->y > boxMax->y || boxMin->z > boxMax->z) {
    *boxMin = p;
    *boxMax = p;
    return;
  }
  boxMin->x = std::min(boxMin->x, p.x);
  boxMin->y = std::min(boxMin->y, p.y);
  boxMin->z = std::min(boxMin->z, p.z);
  boxMax->x = std::max(boxMax->x, p.x);
  boxMax->y = std::max(boxMax->y, p.y);
  boxMax->z = std::max(boxMax->z, p.z);
}

void modelGrowBoxBySubModels(SurfaceModel* model) {
  if (model == nullptr) return;
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    if (modelSubFacets(*s) <= 0) continue;
    modelGrowBox(s->boxMin, &model->boxMin, &model->boxMax);
    modelGrowBox(s->boxMax, &model->boxMin, &model->boxMax);
  }
}

int modelSortTris(Tri3List* list) {
  if (list == nullptr || (list->items == nullptr && list->count > 0))
    return geoFail(kGeoBadArgument, "surface_model");
  const int r = lstSort(list->items, list->count, sizeof(Tri3D), modelCompareTris);
  return r == 1 ? 1 : geoFail(r, "surface_model");
}

int modelSortQuads(int count, QuadFacet* quads) {
  if (quads == nullptr && count > 0) return geoFail(kGeoBadArgument, "surface_model");
  const int r = lstSort(quads, count, sizeof(QuadFacet), modelCompareQuads);
  return r == 1 ? 1 : geoFail(r, "surface_model");
}

void modelTriHighestFirst(Tri3D* tri) {
  if (tri == nullptr) return;
  const Tri3D t = *tri;
  if (t.v[1].z > t.v[0].z && t.v[1].z >= t.v[2].z) {
    *tri = Tri3D{{t.v[1], t.v[2], t.v[0]}};
  } else if (t.v[2].z > std::max(t.v[0].z, t.v[1].z)) {
    *tri = Tri3D{{t.v[2], t.v[0], t.v[1]}};
  }
}

void modelSnapTriHeights(Tri3D* tri, double tolerance) {
  if (tri == nullptr) return;
  static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& pair : kPairs) {
    double& a = tri->v[pair[0]].z;
    double& b = tri->v[pair[1]].z;
    if (std::fabs(a - b) < tolerance) a = b = std::max(a, b);
  }
}

void modelOrientQuadUp(QuadFacet* quad) {
  if (quad == nullptr) return;
  Point3D c[4];
  std::memcpy(c, quad->corners, sizeof(c));
  auto planCross = [](const Point3D& p0, const Point3D& p1, const Point3D& p2) {
    return (p1.x - p0.x) * (p2.y - p1.y) - (p1.y - p0.y) * (p2.x - p1.x);
  };
  const double turns[3] = {planCross(c[0], c[1], c[2]), planCross(c[1], c[2], c[3]),
                           planCross(c[2], c[3], c[0])};
  for (double turn : turns) {
    if (std::fabs(turn) < kLengthEps) continue;
    if (turn < 0.0) {
      std::swap(c[1], c[3]);
      std::memcpy(quad->corners, c, sizeof(c));
    }
    return;
  }
}
