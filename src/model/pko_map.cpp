// pko_map.cpp - contact ids of traced segments to running triangle indices of the model and its
// sub-models, by the triangle addresses of the candidate context's allowance pairs.
#include "model/pko_map.h"

#include <cstdint>
#include <cstdlib>

#include "geometry/lists.h"
#include "model/cutter_shape.h"
#include "model/surface_model.h"

namespace {

// Position of the triangle at address within the list, or -1 when it is not one of its items.
long long pkoPositionIn(const Tri3List* list, std::uintptr_t address) {
  if (list == nullptr || list->items == nullptr || list->count <= 0) return -1;
  const auto base = reinterpret_cast<std::uintptr_t>(list->items);
  if (address < base) return -1;
  const std::uintptr_t offset = address - base;
  if (offset % sizeof(Tri3D) != 0) return -1;
  const std::uintptr_t position = offset / sizeof(Tri3D);
  return position < static_cast<std::uintptr_t>(list->count) ? static_cast<long long>(position)
                                                             : -1;
}

int pkoCount(const Tri3List* list) {
  return list != nullptr && list->items != nullptr ? list->count : 0;
}

}  // namespace

int pkoMapTriangleIndex(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                        const SliceContext*, int index, int kind) {
  if (walk == nullptr || walk->mode != 1) return 0;
  if (index < 0 || ctx == nullptr || walk->model == nullptr) return -1;
  const bool wall = (tool != nullptr && tool->type == kCutterFlat) || std::abs(kind) == 4;
  const RecList* pairs = wall ? ctx->wallAllowances : ctx->triAllowances;
  if (pairs == nullptr || pairs->items == nullptr || index >= pairs->count) return -1;
  const auto address =
      reinterpret_cast<std::uintptr_t>(static_cast<const PtrValPair*>(pairs->items)[index].ptr);
  const SurfaceModel* model = walk->model;
  long long running = 0;
  long long at = pkoPositionIn(model->triangles, address);
  if (at >= 0) return static_cast<int>(at);
  running += pkoCount(model->triangles);
  for (const SubModel* sub = model->subModels; sub != nullptr; sub = sub->next) {
    at = pkoPositionIn(sub->triangles, address);
    if (at >= 0) {
      const long long result = running + at;
      return result <= INT32_MAX ? static_cast<int>(result) : -1;
    }
    running += pkoCount(sub->triangles);
  }
  return -1;
}

int pkoMapTriangleIndices(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                          SliceContext* slice, int from) {
  if (walk == nullptr || walk->mode != 1 || slice == nullptr || slice->traced == nullptr) return 0;
  PkoList* traced = slice->traced;
  if (traced->ids == nullptr || traced->kinds == nullptr) return 0;
  int replaced = 0;
  for (int i = from < 0 ? 0 : from; i < traced->count; ++i) {
    if (traced->ids[i] < 0) continue;
    traced->ids[i] = pkoMapTriangleIndex(ctx, tool, walk, slice, traced->ids[i], traced->kinds[i]);
    ++replaced;
  }
  return replaced;
}
