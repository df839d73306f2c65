// coll_candidates.cpp - filling the candidate lists of a collision candidate context, the
// sub-model questions of the level code, and the candidate set view over the context.
// The contact searches test candidates in list order and the level code stops early on height,
// so the pairs are sorted by the height of each triangle's first corner, which is made its
// highest.
#include "model/coll_candidates.h"

#include <algorithm>
#include <climits>

#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"
#include "geometry/pko_list.h"
#include "model/pko_map.h"

namespace {

constexpr const char* kModule = "coll_candidates";

struct CollState {
  int additional = 0;  // a sub-model in play at the last fill is an additional set
};
CollState collState;

int triCount(const Tri3List* list) {
  return list != nullptr && list->items != nullptr ? list->count : 0;
}

PtrValPair* pairsOf(const RecList* list) { return static_cast<PtrValPair*>(list->items); }

bool indexMode(const CollCtx* ctx) { return ctx != nullptr && ctx->candidates != nullptr; }
bool addressMode(const CollCtx* ctx) {
  return ctx != nullptr && ctx->candidates == nullptr && ctx->pairs != nullptr;
}

void triBox(const Tri3D& t, Point3D* lo, Point3D* hi) {
  *lo = t.v[0];
  *hi = t.v[0];
  for (int k = 1; k < 3; ++k) modelGrowBox(t.v[k], lo, hi);
}

// Appends (address of every triangle of the list, value) to the pairs. 1, or -1 on failure.
int appendTriangles(RecList* pairs, Tri3List* list, float value) {
  for (int i = 0; i < triCount(list); ++i) {
    if (lstPairAppend(pairs, PtrValPair{&list->items[i], value}) != 1) return -1;
  }
  return 1;
}

}  // namespace

int collCtxAlloc(CollCtx* ctx, const WalkParams* params) {
  if (ctx == nullptr || params == nullptr) return geoFail(-20, kModule);
  if (params->mode != 0) {
    lstRecFree(ctx->pairs);
    lstRecFree(ctx->wallAllowances);
    lstRecFree(ctx->triAllowances);
    ctx->pairs = lstPairNew(kCollPairCapacity);
    ctx->wallAllowances = lstPairNew(kCollPairCapacity);
    ctx->triAllowances = lstPairNew(kCollPairCapacity);
    if (ctx->pairs == nullptr || ctx->wallAllowances == nullptr || ctx->triAllowances == nullptr) {
      return geoFail(-1, kModule);
    }
    return 1;
  }
  lstIntFree(ctx->candidates);
  const int count = params->model != nullptr ? triCount(params->model->triangles) : 0;
  ctx->candidates = lstIntNew(count);
  return ctx->candidates != nullptr ? 1 : geoFail(-1, kModule);
}

void collCtxFree(CollCtx* ctx) {
  if (ctx == nullptr) return;
  lstIntFree(ctx->candidates);
  lstRecFree(ctx->pairs);
  lstRecFree(ctx->wallAllowances);
  lstRecFree(ctx->triAllowances);
  ctx->candidates = nullptr;
  ctx->pairs = nullptr;
  ctx->wallAllowances = nullptr;
  ctx->triAllowances = nullptr;
}

int collCtxFill(CollCtx* ctx, const WalkParams* params, CutterShape* cutterOut) {
  if (ctx == nullptr || params == nullptr || params->model == nullptr || cutterOut == nullptr) {
    return geoFail(-20, kModule);
  }
  // Every fill starts a new answer: a flag left from an earlier region or run would make the
  // level code treat sub-models that are no longer in play as additional sets.
  collState.additional = 0;
  SurfaceModel* model = params->model;
  if (params->mode == 0) {
    lstIntReset(ctx->candidates);
    for (int i = 0; i < triCount(model->triangles); ++i) {
      if (lstIntAppend(ctx->candidates, i) < 0) return geoFail(-1, kModule);
    }
    if (model->cutter != nullptr) *cutterOut = *model->cutter;
    return 1;
  }
  if (model->cutter == nullptr) return geoFail(-20, kModule);
  if (ctx->pairs == nullptr) return geoFail(-1, kModule);
  lstPairClear(ctx->pairs);
  const double modelRadius = model->cutter->radius;
  if (model->triangles != nullptr) {
    if (appendTriangles(ctx->pairs, model->triangles, 0.0f) != 1) return geoFail(-1, kModule);
    if (modelRadius > cutterOut->radius) *cutterOut = *model->cutter;
  }
  for (SubModel* sub = model->subModels; sub != nullptr; sub = sub->next) {
    const auto diff = static_cast<float>(sub->cutter.radius - modelRadius);
    if (appendTriangles(ctx->pairs, sub->triangles, diff) != 1) return geoFail(-1, kModule);
    if (cutterOut->radius < sub->cutter.radius) *cutterOut = sub->cutter;
    if (sub->additional != 0) collState.additional = 1;
  }
  const auto shift = static_cast<float>(cutterOut->radius - modelRadius);
  PtrValPair* pairs = pairsOf(ctx->pairs);
  for (int i = 0; i < ctx->pairs->count; ++i) pairs[i].value -= shift;
  collCtxTriHighestFirst(ctx);
  const int sorted =
      lstSort(ctx->pairs->items, ctx->pairs->count, sizeof(PtrValPair), collCtxCompareZDesc);
  return sorted == 1 ? 1 : geoFail(sorted, kModule);
}

int collCtxFlagged() { return collState.additional; }

int collLevelFlagAt(const WalkParams* params, int n) {
  if (n <= 0 || params == nullptr || params->model == nullptr) return 0;
  const SubModel* sub = params->model->subModels;
  for (int k = 1; sub != nullptr && k < n; ++k) sub = sub->next;
  return sub != nullptr ? sub->additional : 0;
}

void collCtxTriHighestFirst(CollCtx* ctx) {
  if (ctx == nullptr || ctx->pairs == nullptr || ctx->pairs->items == nullptr) return;
  PtrValPair* pairs = pairsOf(ctx->pairs);
  for (int i = 0; i < ctx->pairs->count; ++i) {
    auto* tri = static_cast<Tri3D*>(pairs[i].ptr);
    if (tri == nullptr) continue;
    const Point3D v0 = tri->v[0], v1 = tri->v[1], v2 = tri->v[2];
    if (v1.z >= v0.z && v1.z >= v2.z) {
      *tri = Tri3D{{v1, v2, v0}};
    } else if (v2.z >= v1.z && v2.z >= v0.z) {
      *tri = Tri3D{{v2, v0, v1}};
    }
  }
}

int collCtxCompareZDesc(const void* a, const void* b) {
  const auto* ta = static_cast<const Tri3D*>(static_cast<const PtrValPair*>(a)->ptr);
  const auto* tb = static_cast<const Tri3D*>(static_cast<const PtrValPair*>(b)->ptr);
  if (ta == nullptr || tb == nullptr) return (ta == nullptr) - (tb == nullptr);  // removed last
  const double za = ta->v[0].z, zb = tb->v[0].z;
  if (za < zb) return 1;
  if (za > zb) return -1;
  return 0;
}

int collSubModelOfTriangle(const SurfaceModel* model, int index) {
  if (index < 0) return index;
  if (model == nullptr) return -1;
  long long end = triCount(model->triangles);
  if (index < end) return 0;
  int k = 1;
  for (const SubModel* sub = model->subModels; sub != nullptr; sub = sub->next, ++k) {
    end += triCount(sub->triangles);
    if (index < end) return k;
  }
  return -1;
}

int collContactChangesSubModel(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                               const SliceContext* slice, int id, int kind) {
  if (walk == nullptr || walk->mode == 0 || collCtxFlagged() == 0 || id < 0) return 0;
  if (slice == nullptr || slice->traced == nullptr || slice->traced->count <= 0 ||
      slice->traced->ids == nullptr || slice->traced->kinds == nullptr) {
    return 0;
  }
  const PkoList* traced = slice->traced;
  const int lastId = traced->ids[traced->count - 1];
  if (lastId < 0) return 0;
  const int last =
      pkoMapTriangleIndex(ctx, tool, walk, slice, lastId, traced->kinds[traced->count - 1]);
  const int next = pkoMapTriangleIndex(ctx, tool, walk, slice, id, kind);
  if (last < 0 || next < 0) return 0;
  const int lastPart = collSubModelOfTriangle(walk->model, last);
  const int nextPart = collSubModelOfTriangle(walk->model, next);
  return lastPart >= 0 && nextPart >= 0 && lastPart != nextPart ? 1 : 0;
}

// ---- candidate set ----------------------------------------------------------------------------

int collSetCount(const CollCtx* ctx) {
  if (indexMode(ctx)) return ctx->candidates->count;
  if (addressMode(ctx)) return ctx->pairs->count;
  return 0;
}

Tri3D* collSetItem(const CollCtx* ctx, int i) {
  if (i < 0 || i >= collSetCount(ctx)) return nullptr;
  if (indexMode(ctx)) {
    const int index = ctx->candidates->items[i];
    if (index < 0 || index >= triCount(ctx->triangles)) return nullptr;
    return &ctx->triangles->items[index];
  }
  return static_cast<Tri3D*>(pairsOf(ctx->pairs)[i].ptr);
}

int collSetItemBox(const CollCtx* ctx, int i, Point3D* outMin, Point3D* outMax) {
  const Tri3D* tri = collSetItem(ctx, i);
  if (tri == nullptr || outMin == nullptr || outMax == nullptr) return 0;
  if (indexMode(ctx) && ctx->boxMin != nullptr && ctx->boxMax != nullptr) {
    const int index = ctx->candidates->items[i];
    *outMin = ctx->boxMin[index];
    *outMax = ctx->boxMax[index];
    return 1;
  }
  triBox(*tri, outMin, outMax);
  return 1;
}

int collSetBox(const CollCtx* ctx, Point3D* outMin, Point3D* outMax) {
  const int count = collSetCount(ctx);
  if (count == 0 || outMin == nullptr || outMax == nullptr) return 0;
  if (indexMode(ctx)) {
    if (ctx->triangles == nullptr) return 0;
    *outMin = Point3D{ctx->triangles->xmin, ctx->triangles->ymin, ctx->triangles->zmin};
    *outMax = Point3D{ctx->triangles->xmax, ctx->triangles->ymax, ctx->triangles->zmax};
    return 1;
  }
  bool any = false;
  Point3D lo{}, hi{};
  for (int i = 0; i < count; ++i) {
    Point3D a{}, b{};
    if (collSetItemBox(ctx, i, &a, &b) != 1) continue;
    if (!any) {
      lo = a;
      hi = b;
      any = true;
    }
    modelGrowBox(a, &lo, &hi);
    modelGrowBox(b, &lo, &hi);
  }
  if (!any) return 0;
  *outMin = lo;
  *outMax = hi;
  return 1;
}

int collSetRemove(CollCtx* ctx, int i) {
  if (i < 0 || i >= collSetCount(ctx)) return 0;
  if (indexMode(ctx)) {
    ctx->candidates->items[i] = -1;
  } else {
    pairsOf(ctx->pairs)[i].ptr = nullptr;
  }
  return 1;
}

void* collSetCompact(CollCtx* ctx) {
  if (indexMode(ctx)) {
    IntList* list = ctx->candidates;
    int kept = 0;
    int lo = INT_MAX, hi = INT_MIN;
    for (int i = 0; i < list->count; ++i) {
      const int index = list->items[i];
      if (index == -1) continue;
      list->items[kept++] = index;
      lo = std::min(lo, index);
      hi = std::max(hi, index);
    }
    list->count = kept;
    list->min = lo;
    list->max = hi;
    return list;
  }
  if (addressMode(ctx)) {
    RecList* list = ctx->pairs;
    PtrValPair* pairs = pairsOf(list);
    int kept = 0;
    for (int i = 0; i < list->count; ++i) {
      if (pairs[i].ptr != nullptr) pairs[kept++] = pairs[i];
    }
    list->count = kept;
    return list;
  }
  return nullptr;
}

void collCtxResetState() { collState = CollState{}; }
