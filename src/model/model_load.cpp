// model_load.cpp - the surface model's file loaders: STL, binary facet files (plain, structured
// into group sub-models, or as one sub-model) and exchange polyhedrons, and the merging of a
// second model's facets or sub-models. Every loader maps corners into the tool system and leaves
// the facets sorted by descending height with their box arrays; a failure leaves nothing behind.
#include "model/model_load.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/lst_sort.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"
#include "model/facet_file.h"
#include "model/mesh_load.h"
#include "model/polyhedron.h"
#include "model/stl_file.h"

namespace {

constexpr double kLoadZSnap = 0.0001;
constexpr int kSubModelGridCells = 30;
constexpr int kMsgGeometryRead = 1107;  // "* Fehler beim Lesen der Geometrien"

struct LoadState {
  ModelProgressHook hook = nullptr;
  ModelLoadReportFn report = nullptr;
  int ignoreGroupAllowance = 0;
  ModelLoadStats stats{};
};
LoadState loadState;

// Sends the load report: the reason and the file.
// A facet whose cross product is below this ratio of its longest edge squared has no area: the
// rounding of corners on one line stays far below it.
constexpr double kLoadAreaRatio = 1e-9;

void loadReport(const char* path, const char* why) {
  char argument[512];
  std::snprintf(argument, sizeof argument, "%s: %s", why != nullptr ? why : "unreadable",
                path != nullptr ? path : "");
  if (loadState.report != nullptr) {
    loadState.report(kMsgGeometryRead, argument);
    return;
  }
  msgSendText(9, kMsgGeometryRead, "* Fehler beim Lesen der Geometrien", argument);
}

// A failed load: everything the model holds is released, the reason reported.
int loadFail(SurfaceModel* model, const char* path, int code, const char* why) {
  modelFreeContents(model);
  loadReport(path, why);
  return code;
}

// Whether the triangle a b c has an area: its cross product is not negligible against the square
// of its longest edge (corners on one line, or two corners equal, have none).
bool loadTriangleHasArea(const Point3D& a, const Point3D& b, const Point3D& c) {
  const Point3D u = vecSub(b, a);
  const Point3D v = vecSub(c, a);
  const Point3D w = vecSub(c, b);
  const Point3D n = vecCross(u, v);
  const double edge2 = std::max({vecDot(u, u), vecDot(v, v), vecDot(w, w)});
  return edge2 > 0.0 && vecDot(n, n) > kLoadAreaRatio * kLoadAreaRatio * edge2 * edge2;
}

bool loadFacetsHaveArea(std::int32_t facetType, const QuadFacet* quads, std::int32_t quadCount,
                        const Tri3List* triangles) {
  if (facetType == 3 && triangles != nullptr) {
    for (std::int32_t i = 0; i < triangles->count; ++i) {
      const Tri3D& t = triangles->items[i];
      if (loadTriangleHasArea(t.v[0], t.v[1], t.v[2])) return true;
    }
  }
  if (quads != nullptr) {
    for (std::int32_t i = 0; i < quadCount; ++i) {
      const Point3D c[4] = {modelQuadCorner(quads[i], 0), modelQuadCorner(quads[i], 1),
                            modelQuadCorner(quads[i], 2), modelQuadCorner(quads[i], 3)};
      if (loadTriangleHasArea(c[0], c[1], c[2]) || loadTriangleHasArea(c[0], c[2], c[3])) {
        return true;
      }
    }
  }
  return false;
}

// Whether any facet of the model or its sub-models has an area.
bool loadModelHasArea(const SurfaceModel* model) {
  if (loadFacetsHaveArea(model->facetType, model->quads, model->quadCount, model->triangles)) {
    return true;
  }
  for (const SubModel* s = model->subModels; s != nullptr; s = s->next) {
    if (loadFacetsHaveArea(s->facetType, s->quads, s->quadCount, s->triangles)) return true;
  }
  return false;
}

// A load that left the model without facets is reported too: the caller gets an empty model. So
// is a model whose every facet has zero area: it has no surface to rough, and is emptied.
void loadReportIfEmpty(SurfaceModel* model, const char* path) {
  if (modelIsEmpty(model) == 1) {
    loadReport(path, "no facet in the file, the model is empty");
  } else if (!loadModelHasArea(model)) {
    modelFreeContents(model);
    model->boxMin = Point3D{1e10, 1e10, 1e10};  // the empty box of a file without facets
    model->boxMax = Point3D{-1e10, -1e10, -1e10};
    loadReport(path, "every facet has zero area, the model is empty");
  }
}

void loadProgress(long long done, int total) {
  if (loadState.hook != nullptr) loadState.hook(static_cast<int>(done), total);
}

bool loadKeep(const Tri3D& t) {
  const PolyhedronFaceFilter filter = polyhedronGetFaceFilter();
  if (filter == nullptr) return true;
  const double x[3] = {t.v[0].x, t.v[1].x, t.v[2].x};
  const double y[3] = {t.v[0].y, t.v[1].y, t.v[2].y};
  const double z[3] = {t.v[0].z, t.v[1].z, t.v[2].z};
  return filter(3, x, y, z) != 0;
}

// Maps the corners into the tool system, then (snapRotate) snaps near-equal heights and puts the
// highest corner first.
void loadPrepareTri(Tri3D* t, bool snapRotate) {
  for (Point3D& p : t->v) csysWorldToTool(&p);
  if (snapRotate) {
    modelSnapTriHeights(t, kLoadZSnap);
    modelTriHighestFirst(t);
  }
}

Tri3D loadTriOf(const QuadFacet& q, int a, int b, int c) {
  return Tri3D{{modelQuadCorner(q, a), modelQuadCorner(q, b), modelQuadCorner(q, c)}};
}

// A record that holds a triangle repeats its third corner: its second triangle would be empty.
bool loadIsTriangleRecord(const QuadFacet& q) {
  const Point3D c2 = modelQuadCorner(q, 2), c3 = modelQuadCorner(q, 3);
  return c2.x == c3.x && c2.y == c3.y && c2.z == c3.z;
}

void loadMapQuad(QuadFacet* q) {
  for (int k = 0; k < 4; ++k) {
    Point3D p = modelQuadCorner(*q, k);
    csysWorldToTool(&p);
    modelSetQuadCorner(q, k, p);
  }
}

// Appends the triangles of a facet-file record: (c0, c1, c2) and, unless the record holds a
// triangle, (c0, c2, c3). Returns false when memory runs out.
bool loadAppendRecordTris(Tri3List* list, const QuadFacet& q, bool filter, bool snapRotate) {
  for (int half = 0; half < 2; ++half) {
    if (half == 1 && loadIsTriangleRecord(q)) {
      ++loadState.stats.passedOver;
      continue;
    }
    Tri3D t = half == 0 ? loadTriOf(q, 0, 1, 2) : loadTriOf(q, 0, 2, 3);
    if (filter && !loadKeep(t)) {
      ++loadState.stats.filtered;
      continue;
    }
    loadPrepareTri(&t, snapRotate);
    if (lstTri3Append(list, t) < 0) return false;
    ++loadState.stats.stored;
  }
  return true;
}

// Recomputes the list's box from its (mapped) corners, starting from the first corner (an empty
// list keeps the empty box): appending widens the list's box from its empty +-1e10 box, which
// cut a model lying beyond 1e10 at 1e10. Hands the box out as boxMin..boxMax.
void loadListBox(Tri3List* list, Point3D* boxMin, Point3D* boxMax) {
  Point3D lo{1e10, 1e10, 1e10}, hi{-1e10, -1e10, -1e10};
  for (int i = 0; i < list->count; ++i) {
    for (const Point3D& p : list->items[i].v) modelGrowBox(p, &lo, &hi);
  }
  list->xmin = lo.x, list->ymin = lo.y, list->zmin = lo.z;
  list->xmax = hi.x, list->ymax = hi.y, list->zmax = hi.z;
  *boxMin = lo;
  *boxMax = hi;
}

// (Re)allocates box arrays for count facets; false when memory runs out (arrays as they were).
bool loadBoxArrays(int count, Point3D** facetMin, Point3D** facetMax) {
  const std::size_t bytes = static_cast<std::size_t>(std::max(count, 1)) * sizeof(Point3D);
  auto* lo = static_cast<Point3D*>(memRealloc(*facetMin, bytes));
  if (lo == nullptr) return false;
  *facetMin = lo;
  auto* hi = static_cast<Point3D*>(memRealloc(*facetMax, bytes));
  if (hi == nullptr) return false;
  *facetMax = hi;
  return true;
}

// Sorts triangles by descending highest z and fills their box arrays.
bool loadFinishTris(Tri3List* list, Point3D** facetMin, Point3D** facetMax) {
  if (modelSortTris(list) != 1 || !loadBoxArrays(list->count, facetMin, facetMax)) return false;
  for (int i = 0; i < list->count; ++i) {
    const Tri3D& t = list->items[i];
    (*facetMin)[i] = (*facetMax)[i] = t.v[0];
    for (int k = 1; k < 3; ++k) modelGrowBox(t.v[k], &(*facetMin)[i], &(*facetMax)[i]);
  }
  return true;
}

// Sorts four-corner facets (heights within 0.00001 equal), fills their box arrays and, when box
// arrays are given, grows boxMin..boxMax facet by facet.
bool loadFinishQuads(int count, QuadFacet* quads, Point3D** facetMin, Point3D** facetMax,
                     Point3D* boxMin, Point3D* boxMax) {
  if (lstSort(quads, count, sizeof(QuadFacet), cyc3dCompareQuadFacets) != 1 ||
      !loadBoxArrays(count, facetMin, facetMax)) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    (*facetMin)[i] = (*facetMax)[i] = modelQuadCorner(quads[i], 0);
    for (int k = 1; k < 4; ++k) {
      modelGrowBox(modelQuadCorner(quads[i], k), &(*facetMin)[i], &(*facetMax)[i]);
    }
    if (boxMin != nullptr) {
      modelGrowBox((*facetMin)[i], boxMin, boxMax);
      modelGrowBox((*facetMax)[i], boxMin, boxMax);
    }
  }
  return true;
}

void loadEmptyBox(Point3D* boxMin, Point3D* boxMax) {
  *boxMin = Point3D{1e10, 1e10, 1e10};
  *boxMax = Point3D{-1e10, -1e10, -1e10};
}

// Frees sub-model records not (or no longer) linked to a model, with their contents.
void loadFreeSubs(SubModel* chain) {
  SurfaceModel holder;
  modelInit(&holder, 3);
  holder.subModels = chain;
  modelFreeContents(&holder);
}

void loadAppendSub(SurfaceModel* model, SubModel* sub) {
  SubModel** tail = &model->subModels;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = sub;
  sub->next = nullptr;
}

int loadSubCount(const SubModel& s) { return s.facetType == 3 ? s.triangles->count : s.quadCount; }

// Sorts a sub-model's facets, fills its box arrays, grows its box and builds its own grid of
// about 30 cells with the cutter radius as margin (left null when the box cannot carry one).
bool loadFinishSubModel(SubModel* sub) {
  loadEmptyBox(&sub->boxMin, &sub->boxMax);
  bool ok = false;
  if (sub->facetType == 3) {
    ok = loadFinishTris(sub->triangles, &sub->facetMin, &sub->facetMax);
    for (int i = 0; ok && i < sub->triangles->count; ++i) {
      modelGrowBox(sub->facetMin[i], &sub->boxMin, &sub->boxMax);
      modelGrowBox(sub->facetMax[i], &sub->boxMin, &sub->boxMax);
    }
  } else {
    ok = loadFinishQuads(sub->quadCount, sub->quads, &sub->facetMin, &sub->facetMax, &sub->boxMin,
                         &sub->boxMax);
  }
  const int count = loadSubCount(*sub);
  if (ok && count > 0) {
    sub->grid = modelGridOverFacets(kSubModelGridCells, count, sub->boxMin, sub->boxMax,
                                    sub->facetMin, sub->facetMax, sub->cutter.radius);
  }
  return ok;
}

// Appends a four-corner facet to a sub-model, growing its array by half when full.
bool loadSubAppendQuad(SubModel* sub, int* capacity, const QuadFacet& q) {
  if (sub->quadCount == *capacity) {
    if (*capacity > INT_MAX / 3) return false;
    const int cap = *capacity + *capacity / 2 + 1;
    auto* grown = static_cast<QuadFacet*>(
        memRealloc(sub->quads, static_cast<std::size_t>(cap) * sizeof(QuadFacet)));
    if (grown == nullptr) return false;
    sub->quads = grown;
    *capacity = cap;
  }
  sub->quads[sub->quadCount++] = q;
  return true;
}

// A capacity from a hint of the file, bounded by what the file holds.
int loadBoundedCapacity(long long hint, long long bound) {
  return static_cast<int>(std::clamp<long long>(std::min(hint, bound), 1, INT_MAX / 2));
}

void loadBeginStats() { loadState.stats = ModelLoadStats{}; }

// ---- plain loaders ------------------------------------------------------------------------

int loadStl(SurfaceModel* model, const char* path) {
  Tri3List* raw = nullptr;
  const char* why = nullptr;
  const int read = stlReadFile(path, &raw, &why);
  if (read != 1) return loadFail(model, path, read == -1 ? -1 : -2, why);
  loadState.stats.read = raw->count;
  // Filtered, mapped and rotated in place: the file's list becomes the model's.
  int kept = 0;
  for (int i = 0; i < raw->count; ++i) {
    Tri3D t = raw->items[i];
    if (!loadKeep(t)) {
      ++loadState.stats.filtered;
      continue;
    }
    // Triangles get the z snap; four-corner facets keep their heights as read.
    loadPrepareTri(&t, model->facetType == 3);
    if (model->facetType != 3) modelTriHighestFirst(&t);
    raw->items[kept++] = t;
  }
  raw->count = kept;
  loadState.stats.stored = kept;
  if (model->facetType == 3) {
    loadListBox(raw, &model->boxMin, &model->boxMax);
    model->triangles = raw;
    if (!loadFinishTris(raw, &model->facetMin, &model->facetMax)) {
      return loadFail(model, path, -1, "no memory for the facets");
    }
    return 0;
  }
  model->quads = static_cast<QuadFacet*>(
      memAllocZero(static_cast<std::size_t>(std::max(kept, 1)) * sizeof(QuadFacet)));
  if (model->quads == nullptr) {
    lstBox3Free(raw);
    return loadFail(model, path, -1, "no memory for the facets");
  }
  for (int i = 0; i < kept; ++i) {
    QuadFacet q{};
    for (int k = 0; k < 4; ++k) modelSetQuadCorner(&q, k, raw->items[i].v[std::min(k, 2)]);
    model->quads[i] = q;
  }
  model->quadCount = kept;
  lstBox3Free(raw);
  loadEmptyBox(&model->boxMin, &model->boxMax);
  if (!loadFinishQuads(kept, model->quads, &model->facetMin, &model->facetMax, &model->boxMin,
                       &model->boxMax)) {
    return loadFail(model, path, -1, "no memory for the facets");
  }
  return 0;
}

// Reads the records of an opened facet file into the model's own facets (groups ignored).
int loadFacetPlain(SurfaceModel* model, const char* path, FacetFileInfo* info) {
  const int count = info->count;
  loadState.stats.read = count;
  const bool tris = model->facetType == 3;
  if (tris) {
    model->triangles = lstTri3New(loadBoundedCapacity(2LL * count, 2LL * count));
  } else {
    model->quads =
        static_cast<QuadFacet*>(memAllocZero(static_cast<std::size_t>(count) * sizeof(QuadFacet)));
  }
  if (model->triangles == nullptr && model->quads == nullptr) {
    facetFileEnd(info);
    return loadFail(model, path, -1, "no memory for the facets");
  }
  for (int i = 0; i < count; ++i) {
    QuadFacet q;
    if (facetFileNext(info, &q) != 1) {
      facetFileEnd(info);
      return loadFail(model, path, -4, info->why);
    }
    if (tris) {
      if (!loadAppendRecordTris(model->triangles, q, true, true)) {
        facetFileEnd(info);
        return loadFail(model, path, -1, "no memory for the facets");
      }
    } else {
      loadMapQuad(&q);
      model->quads[model->quadCount++] = q;
      ++loadState.stats.stored;
    }
    loadProgress(i + 1, count);
  }
  facetFileEnd(info);
  bool ok;
  if (tris) {
    ok = loadFinishTris(model->triangles, &model->facetMin, &model->facetMax);
    loadListBox(model->triangles, &model->boxMin, &model->boxMax);
  } else {
    loadEmptyBox(&model->boxMin, &model->boxMax);
    ok = loadFinishQuads(model->quadCount, model->quads, &model->facetMin, &model->facetMax,
                         &model->boxMin, &model->boxMax);
  }
  return ok ? 0 : loadFail(model, path, -1, "no memory for the facets");
}

// The structured loader of a version-2 file: each group becomes a sub-model.
int loadFacetGroups(SurfaceModel* model, const char* path, FacetFileInfo* info, int mode) {
  SubModel* groups[kFacetGroupCount] = {};
  int quadCapacity[kFacetGroupCount] = {};
  const bool tris = model->facetType == 3;
  const int count = info->count;
  loadState.stats.read = count;
  loadEmptyBox(&model->boxMin, &model->boxMax);
  auto fail = [&](int code, const char* why) {
    facetFileEnd(info);
    SubModel* chain = nullptr;
    for (SubModel* g : groups) {
      if (g != nullptr) {
        g->next = chain;
        chain = g;
      }
    }
    loadFreeSubs(chain);
    return loadFail(model, path, code, why);
  };
  for (int i = 0; i < count; ++i) {
    QuadFacet q;
    if (facetFileNext(info, &q) != 1) return fail(-4, info->why);
    const int g = facetFile2Group(q.flags);
    if (g < 0) {
      ++loadState.stats.passedOver;
      continue;
    }
    if (groups[g] == nullptr) {
      const FacetGroup& group = info->groups[g];
      const double allowance =
          loadState.ignoreGroupAllowance != 0 ? 0.0 : group.allowance * unitFactor;
      if (!std::isfinite(allowance)) return fail(-4, "group allowance is not a finite number");
      const long long hint = tris ? 2LL * group.count + 2 : static_cast<long long>(group.count) + 1;
      const int capacity = loadBoundedCapacity(hint, tris ? 2LL * count + 2 : count + 1LL);
      groups[g] = modelNewSubModel(model, allowance, mode, model->facetType,
                                   group.name[0] == '%' ? 1 : 0, capacity);
      if (groups[g] == nullptr) return fail(-1, "no memory for a surface group");
      quadCapacity[g] = capacity;
    }
    SubModel* sub = groups[g];
    if (tris) {
      if (!loadAppendRecordTris(sub->triangles, q, false, true)) {
        return fail(-1, "no memory for the facets");
      }
    } else {
      loadMapQuad(&q);
      if (!loadSubAppendQuad(sub, &quadCapacity[g], q)) return fail(-1, "no memory for the facets");
      ++loadState.stats.stored;
      for (int k = 0; k < 4; ++k) {
        modelGrowBox(modelQuadCorner(q, k), &model->boxMin, &model->boxMax);
      }
    }
    loadProgress(i + 1, count);
  }
  facetFileEnd(info);
  info->version = 0;  // closed: a failure below must not close it again
  for (SubModel* sub : groups) {
    if (sub == nullptr) continue;
    if (tris) {
      if (!loadFinishTris(sub->triangles, &sub->facetMin, &sub->facetMax)) {
        return fail(-1, "no memory for the facets");
      }
      loadListBox(sub->triangles, &sub->boxMin, &sub->boxMax);
    } else if (!loadFinishQuads(sub->quadCount, sub->quads, &sub->facetMin, &sub->facetMax,
                                &sub->boxMin, &sub->boxMax)) {
      return fail(-1, "no memory for the facets");
    }
  }
  // Link in group order; four-corner groups not marked additional come first.
  SubModel* order[kFacetGroupCount];
  int n = 0;
  for (SubModel* sub : groups) {
    if (sub != nullptr) order[n++] = sub;
  }
  if (!tris) {
    for (;;) {
      int first = 0;
      while (first < n && order[first]->additional == 0) ++first;
      int last = n - 1;
      while (last >= 0 && order[last]->additional != 0) --last;
      if (first >= n || last < 0 || first >= last) break;
      std::swap(order[first], order[last]);
    }
  }
  for (int i = 0; i < n; ++i) loadAppendSub(model, order[i]);
  if (tris) modelGrowBoxBySubModels(model);
  return 0;
}

int loadFacetFile(SurfaceModel* model, const char* path, bool structured, int mode) {
  FacetFileInfo info;
  const int begun = facetFileBegin(path, &info);
  if (begun != 0) return loadFail(model, path, begun, info.why);
  if (structured && info.version == 2) return loadFacetGroups(model, path, &info, mode);
  return loadFacetPlain(model, path, &info);
}

int loadExchange(SurfaceModel* model, const char* path) {
  const int r =
      model->facetType == 3 ? modelReadQdxTris(path, model) : modelReadQdxQuads(model, path);
  if (r != 0)
    return loadFail(
        model, path, r,
        "no polyhedron read from the exchange file, or a coordinate is not a finite number");
  loadState.stats.stored = modelIsEmpty(model) == 1 ? 0
                           : model->facetType == 3  ? model->triangles->count
                                                    : model->quadCount;
  loadState.stats.read = loadState.stats.stored;
  return 0;
}

// The model's exchange loaders map into the tool system like every other loader: the mesh
// mapping asks for it while they run and is put back afterwards.
struct LoadIntoToolSystem {
  int saved = cyc3dSetMeshToolSystem(1);
  LoadIntoToolSystem() = default;
  ~LoadIntoToolSystem() { cyc3dSetMeshToolSystem(saved); }
  LoadIntoToolSystem(const LoadIntoToolSystem&) = delete;
  LoadIntoToolSystem& operator=(const LoadIntoToolSystem&) = delete;
};

bool loadNamed(const char* path) { return path != nullptr && path[0] != '\0'; }

int loadEndsIn(const char* name, const char* ext) {
  if (name == nullptr) return 0;
  const char* dot = std::strrchr(name, '.');
  if (dot == nullptr || std::strlen(dot + 1) != 3) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::tolower(static_cast<unsigned char>(dot[1 + i])) != ext[i]) return 0;
  }
  return 1;
}

// A fresh model of the same type and cutter, to load a second file into.
bool loadScratchModel(const SurfaceModel* model, SurfaceModel* scratch) {
  modelInit(scratch, model->facetType);
  if (model->cutter == nullptr) return true;
  scratch->cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
  if (scratch->cutter == nullptr) return false;
  *scratch->cutter = *model->cutter;
  return true;
}

void loadDropScratch(SurfaceModel* scratch) {
  modelFreeContents(scratch);
  memFree(scratch->cutter);
  scratch->cutter = nullptr;
}

int loadWithExtra(SurfaceModel* model, const char* path, const char* extraPath, bool ex, int mode) {
  modelClearProgressHook();
  const int first = ex ? modelLoadFileEx(model, path, mode) : modelLoadFile(model, path);
  if (first != 0) return first;
  SurfaceModel extra;
  if (!loadScratchModel(model, &extra)) return loadFail(model, extraPath, -1, "no memory");
  int result = 0;
  if (modelLoadFile(&extra, extraPath) == 0 && modelAppendFacets(model, &extra) != 0) {
    result = loadFail(model, extraPath, -1, "no memory to merge the extra facets");
  }
  loadDropScratch(&extra);
  return result;
}

}  // namespace

int modelLoadFile(SurfaceModel* model, const char* path) {
  if (model == nullptr) return -2;
  modelFreeContents(model);
  loadBeginStats();
  if (!loadNamed(path)) return loadFail(model, path, -2, "no file name");
  int r;
  if (isQdxFileName(path) == 1) {
    r = loadExchange(model, path);
  } else if (isStlFileName(path) == 1) {
    r = loadStl(model, path);
  } else {
    r = loadFacetFile(model, path, false, 0);
  }
  if (r == 0) loadReportIfEmpty(model, path);
  return r;
}

int modelLoadFileEx(SurfaceModel* model, const char* path, int allowanceMode) {
  if (model == nullptr) return -2;
  if (isStlFileName(path) == 1 || isQdxFileName(path) == 1) return modelLoadFile(model, path);
  modelFreeContents(model);
  loadBeginStats();
  if (!loadNamed(path)) return loadFail(model, path, -2, "no file name");
  const int r = loadFacetFile(model, path, true, allowanceMode);
  if (r == 0) loadReportIfEmpty(model, path);
  return r;
}

int modelLoadWithExtra(SurfaceModel* model, const char* path, const char* extraPath) {
  return loadWithExtra(model, path, extraPath, false, 0);
}

int modelLoadMerged(SurfaceModel* model, const char* path, const char* extraPath,
                    int allowanceMode) {
  return loadWithExtra(model, path, extraPath, true, allowanceMode);
}

int modelAddSubModels(SurfaceModel* model, const char* path, const char* secondPath,
                      const char* thirdPath, int allowanceMode, double allowance) {
  if (model == nullptr) return -2;
  modelFreeContents(model);
  const int first = modelAddSubModelFile(model, path, 0.0, allowanceMode, model->facetType, 0);
  if (first != 1) return first;
  for (const char* further : {secondPath, thirdPath}) {
    if (loadNamed(further)) {
      modelAddSubModelFile(model, further, allowance, allowanceMode, model->facetType, 1);
    }
  }
  loadEmptyBox(&model->boxMin, &model->boxMax);
  modelGrowBoxBySubModels(model);
  return 0;
}

int modelLoadWithSubModels(SurfaceModel* model, const char* path, const char* nearPath,
                           const char* extraPath, int allowanceMode, double allowance) {
  const int first = modelLoadFileEx(model, path, allowanceMode);
  if (first != 0) return first;
  if (loadNamed(nearPath)) {
    SurfaceModel nearModel;
    if (loadScratchModel(model, &nearModel) &&
        modelLoadFileEx(&nearModel, nearPath, allowanceMode) == 0) {
      modelMergeSubModels(model, &nearModel, allowanceMode, allowance);
    }
    loadDropScratch(&nearModel);
  }
  if (loadNamed(extraPath)) {
    modelAddSubModelFile(model, extraPath, allowance, allowanceMode, model->facetType, 1);
  }
  modelGrowBoxBySubModels(model);
  return 0;
}

int modelAddSubModelFile(SurfaceModel* model, const char* path, double allowance, int allowanceMode,
                         int facetType, int additional) {
  if (model == nullptr) return -2;
  if (facetType != 3 && facetType != 4) {
    loadReport(path, "facet type other than 3 or 4");
    return -3;
  }
  loadBeginStats();
  FacetFileInfo info;
  const int begun = facetFileBegin(path, &info);
  if (begun != 0) {
    loadReport(path, info.why);
    return begun;
  }
  const int count = info.count;
  loadState.stats.read = count;
  const bool tris = facetType == 3;
  int capacity = tris ? loadBoundedCapacity(2LL * count, 2LL * count) : count;
  SubModel* sub =
      modelNewSubModel(model, allowance, allowanceMode, facetType, additional, capacity);
  auto fail = [&](int code, const char* why) {
    facetFileEnd(&info);
    if (sub != nullptr) loadFreeSubs(sub);
    loadReport(path, why);
    return code;
  };
  if (sub == nullptr) return fail(-1, "no memory for the sub-model");
  for (int i = 0; i < count; ++i) {
    QuadFacet q;
    if (facetFileNext(&info, &q) != 1) return fail(-4, info.why);
    if (tris) {
      if (!loadAppendRecordTris(sub->triangles, q, false, false)) {
        return fail(-1, "no memory for the facets");
      }
    } else {
      loadMapQuad(&q);
      if (!loadSubAppendQuad(sub, &capacity, q)) return fail(-1, "no memory for the facets");
      ++loadState.stats.stored;
    }
    loadProgress(i + 1, count);
  }
  facetFileEnd(&info);
  info.version = 0;
  if (!loadFinishSubModel(sub)) return fail(-1, "no memory for the facets");
  loadAppendSub(model, sub);
  return 1;
}

int modelAppendFacets(SurfaceModel* model, SurfaceModel* other) {
  if (model == nullptr || other == nullptr || model->facetType != other->facetType) return -1;
  if (model->facetType == 3) {
    const int a = model->triangles != nullptr ? model->triangles->count : 0;
    const int b = other->triangles != nullptr ? other->triangles->count : 0;
    if (a > INT_MAX / 2 - b) return -1;
    Tri3List* merged = lstTri3New(a + b);
    Point3D* lo = nullptr;
    Point3D* hi = nullptr;
    bool ok = merged != nullptr;
    for (int i = 0; ok && i < a; ++i) ok = lstTri3Append(merged, model->triangles->items[i]) >= 0;
    for (int i = 0; ok && i < b; ++i) ok = lstTri3Append(merged, other->triangles->items[i]) >= 0;
    ok = ok && loadFinishTris(merged, &lo, &hi);
    if (!ok) {
      lstBox3Free(merged);
      memFree(lo);
      memFree(hi);
      return -1;
    }
    lstBox3Free(model->triangles);
    memFree(model->facetMin);
    memFree(model->facetMax);
    model->triangles = merged;
    model->facetMin = lo;
    model->facetMax = hi;
    loadListBox(merged, &model->boxMin, &model->boxMax);
  } else {
    const int a = model->quads != nullptr ? model->quadCount : 0;
    const int b = other->quads != nullptr ? other->quadCount : 0;
    if (a > INT_MAX / 2 - b) return -1;
    auto* merged = static_cast<QuadFacet*>(
        memAllocZero(static_cast<std::size_t>(std::max(a + b, 1)) * sizeof(QuadFacet)));
    Point3D* lo = nullptr;
    Point3D* hi = nullptr;
    bool ok = merged != nullptr;
    if (ok) {
      if (a > 0) std::memcpy(merged, model->quads, static_cast<std::size_t>(a) * sizeof(QuadFacet));
      if (b > 0) {
        std::memcpy(merged + a, other->quads, static_cast<std::size_t>(b) * sizeof(QuadFacet));
      }
      ok = loadFinishQuads(a + b, merged, &lo, &hi, nullptr, nullptr);
    }
    if (!ok) {
      memFree(merged);
      memFree(lo);
      memFree(hi);
      return -1;
    }
    memFree(model->quads);
    memFree(model->facetMin);
    memFree(model->facetMax);
    model->quads = merged;
    model->quadCount = a + b;
    model->facetMin = lo;
    model->facetMax = hi;
    if (b > 0) {
      modelGrowBox(other->boxMin, &model->boxMin, &model->boxMax);
      modelGrowBox(other->boxMax, &model->boxMin, &model->boxMax);
    }
  }
  // The box keeps covering the sub-models a structured load gave the model.
  modelGrowBoxBySubModels(model);
  triGridFree(model->grid);
  model->grid = nullptr;
  return 0;
}

int modelMergeSubModels(SurfaceModel* model, SurfaceModel* other, int allowanceMode,
                        double allowance) {
  if (model == nullptr || other == nullptr) return -1;
  for (SubModel* s = other->subModels; s != nullptr; s = s->next) {
    cutterApplyAllowance(&s->cutter, allowance, allowanceMode);
    s->additional = 1;
  }
  if (other->subModels != nullptr) {
    SubModel** tail = &model->subModels;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = other->subModels;
    other->subModels = nullptr;
  }
  if (other->facetType != model->facetType || modelIsEmpty(other) == 1) return 0;
  const bool tris = other->facetType == 3;
  const int count = tris ? (other->triangles != nullptr ? other->triangles->count : 0)
                         : (other->quads != nullptr ? other->quadCount : 0);
  if (count <= 0) return 0;
  SubModel* sub = modelNewSubModel(other, 0.0, 0, other->facetType, 1, count);
  if (sub == nullptr) return -1;
  if (other->cutter != nullptr) sub->cutter = *other->cutter;  // the other's cutter unchanged
  bool ok = true;
  if (tris) {
    for (int i = 0; ok && i < count; ++i) {
      ok = lstTri3Append(sub->triangles, other->triangles->items[i]) >= 0;
    }
  } else {
    std::memcpy(sub->quads, other->quads, static_cast<std::size_t>(count) * sizeof(QuadFacet));
    sub->quadCount = count;
  }
  if (!ok || !loadFinishSubModel(sub)) {
    loadFreeSubs(sub);
    return -1;
  }
  loadAppendSub(model, sub);
  return 0;
}

void modelSetIgnoreGroupAllowance(int flag) { loadState.ignoreGroupAllowance = flag; }

void modelSetProgressHook(ModelProgressHook hook) { loadState.hook = hook; }
void modelClearProgressHook() { loadState.hook = nullptr; }
ModelProgressHook modelGetProgressHook() { return loadState.hook; }

int isStlFileName(const char* name) { return loadEndsIn(name, "stl"); }
int isQdxFileName(const char* name) { return loadEndsIn(name, "qdx"); }

int modelReadQdxTris(const char* path, SurfaceModel* model) {
  if (model == nullptr) return -2;
  MeshListNode* mesh = nullptr;
  {
    const LoadIntoToolSystem mapping;
    mesh = cyc3dLoadTriMeshes(path, "", 0);
  }
  if (mesh == nullptr) return -2;
  lstBox3Free(model->triangles);
  memFree(model->facetMin);
  memFree(model->facetMax);
  model->triangles = mesh->triangles;
  model->facetMin = mesh->facetMin;
  model->facetMax = mesh->facetMax;
  loadListBox(mesh->triangles, &model->boxMin, &model->boxMax);
  memFree(mesh);
  return 0;
}

int modelReadQdxQuads(SurfaceModel* model, const char* path) {
  if (model == nullptr) return -2;
  QuadMeshListNode* mesh = nullptr;
  {
    const LoadIntoToolSystem mapping;
    mesh = cyc3dLoadQuadMeshes(path, "", 0, 0);
  }
  if (mesh == nullptr) return -2;
  memFree(model->quads);
  memFree(model->facetMin);
  memFree(model->facetMax);
  model->quads = mesh->quads;
  model->quadCount = mesh->quadCount;
  model->facetMin = mesh->facetMin;
  model->facetMax = mesh->facetMax;
  model->boxMin = mesh->boxMin;
  model->boxMax = mesh->boxMax;
  memFree(mesh);
  return 0;
}

ModelLoadStats modelLastLoadStats() { return loadState.stats; }

void modelLoadSetReportFn(ModelLoadReportFn fn) { loadState.report = fn; }

void modelLoadResetState() { loadState = LoadState{}; }
