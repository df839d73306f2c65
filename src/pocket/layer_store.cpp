// layer_store.cpp - the thirteen named contour layers of the pocketing engine. A layer's table is
// allocated by layerCreate; every stored contour owns a zero-filled element block of its own.
#include "pocket/layer_store.h"

#include <cstring>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "pocket/pock_runtime.h"

namespace {
constexpr const char* kLayerNames[kLayerCount] = {
    "MAIN", "GKT",    "SPAN",    "INSEL",    "REST",     "INPUT",  "ORIG",
    "TEMP", "CLAMPS", "CUT_GKT", "CUT_SPAN", "CUT_BACK", "POCKET",
};

struct Layer {
  ContourHeader* table = nullptr;  // room for kLayerMaxContours headers, or null
  int count = 0;
};
struct LayerState {
  Layer layers[kLayerCount];
};
LayerState layerState;

Layer* layerOf(const char* name) {
  const int slot = layerIndexOfName(name);
  return slot < 0 ? nullptr : &layerState.layers[slot];
}

// The index that i names for the read and header operations (negative: the last), or -1.
int layerResolve(const Layer* l, int i) {
  if (l == nullptr) return -1;
  if (i < 0) i = l->count - 1;
  return (i >= 0 && i < l->count) ? i : -1;
}

// A new block holding a copy of count elements, or null (no memory; also for count 0, which
// needs no block). *ok tells a failure from an empty contour.
ContourElement* layerCopyElements(const ContourElement* elements, int count, bool* ok) {
  *ok = true;
  if (count == 0) return nullptr;
  auto* block = static_cast<ContourElement*>(
      pockCalloc(static_cast<std::size_t>(count), sizeof(ContourElement)));
  if (block == nullptr) {
    *ok = false;
    geoFail(-1, "layer_store");
    return nullptr;
  }
  std::memcpy(block, elements, static_cast<std::size_t>(count) * sizeof(ContourElement));
  return block;
}

bool layerCountValid(const ContourElement* elements, const ContourHeader* header) {
  return header != nullptr && header->count >= 0 && header->count <= kContMaxElements &&
         (header->count == 0 || elements != nullptr);
}

void layerReleaseAll(Layer* l) {
  for (int k = l->count - 1; k >= 0; --k) {
    memFree(l->table[k].elements);
    l->table[k].elements = nullptr;
  }
  l->count = 0;
}
}  // namespace

int layerIndexOfName(const char* name) {
  if (name == nullptr) return -1;
  for (int k = 0; k < kLayerCount; ++k) {
    if (pockStrCmp(name, kLayerNames[k]) == 0) return k;
  }
  return -1;
}

int layerCreate(const char* name) {
  Layer* l = layerOf(name);
  if (l == nullptr) return 0;
  if (l->table != nullptr) {
    layerReleaseAll(l);
    return 1;
  }
  l->table = static_cast<ContourHeader*>(pockCalloc(kLayerMaxContours, sizeof(ContourHeader)));
  l->count = 0;
  if (l->table == nullptr) {
    geoFail(-1, "layer_store");
    return 0;
  }
  return 1;
}

int layerFree(const char* name) {
  Layer* l = layerOf(name);
  if (l == nullptr) return 0;
  if (l->table != nullptr) layerReleaseAll(l);
  memFree(l->table);
  l->table = nullptr;
  l->count = 0;
  return 1;
}

int layerClear(const char* name) {
  Layer* l = layerOf(name);
  if (l == nullptr) return 1;
  while (l->count > 0) layerDeleteContour(name, -1);
  return 1;
}

int layerCount(const char* name) {
  const Layer* l = layerOf(name);
  return l == nullptr ? 0 : l->count;
}

int layerGetContour(const char* name, ContourElement* buffer, int capacity, ContourHeader* header,
                    int i) {
  const Layer* l = layerOf(name);
  const int k = layerResolve(l, i);
  if (k < 0 || header == nullptr) return -1;
  const ContourHeader& h = l->table[k];
  if (h.count > capacity || (h.count > 0 && buffer == nullptr)) return -1;
  *header = h;
  if (h.count > 0) {
    std::memcpy(buffer, h.elements, static_cast<std::size_t>(h.count) * sizeof(ContourElement));
  }
  return k;
}

int layerGetHeader(const char* name, ContourHeader* header, int i) {
  const Layer* l = layerOf(name);
  const int k = layerResolve(l, i);
  if (k < 0 || header == nullptr) return -1;
  *header = l->table[k];
  return k;
}

int layerSetHeader(const char* name, const ContourHeader* header, int i) {
  Layer* l = layerOf(name);
  const int k = layerResolve(l, i);
  if (k < 0 || header == nullptr) return -1;
  ContourHeader& h = l->table[k];
  if (header->elements != h.elements || header->count != h.count) return -1;
  h = *header;
  return k;
}

int layerSetLevel(const char* name, int level, int i) {
  Layer* l = layerOf(name);
  const int k = layerResolve(l, i);
  if (k < 0) return -1;
  l->table[k].group = static_cast<std::int16_t>(level);
  return k;
}

int layerMaxLevel(const char* name) {
  const Layer* l = layerOf(name);
  if (l == nullptr) return -1;
  int level = 0;
  for (int k = 0; k < l->count; ++k) {
    if (l->table[k].group > level) level = l->table[k].group;
  }
  return level;
}

int layerInsertContour(const char* name, const ContourElement* elements,
                       const ContourHeader* header, int i) {
  Layer* l = layerOf(name);
  if (l == nullptr || l->table == nullptr || !layerCountValid(elements, header)) return 0;
  if (i > l->count || l->count >= kLayerMaxContours) return 0;
  if (i < 0) i = l->count;
  bool ok = true;
  ContourElement* block = layerCopyElements(elements, header->count, &ok);
  if (!ok) return 0;
  // Later contours move up by one; their order is kept.
  std::memmove(&l->table[i + 1], &l->table[i],
               static_cast<std::size_t>(l->count - i) * sizeof(ContourHeader));
  l->table[i] = *header;
  l->table[i].elements = block;
  ++l->count;
  return 1;
}

int layerReplaceContour(const char* name, const ContourElement* elements,
                        const ContourHeader* header, int i) {
  Layer* l = layerOf(name);
  if (l == nullptr || i < 0 || i >= l->count || !layerCountValid(elements, header)) return 0;
  bool ok = true;
  // The copy is made before the old block goes: elements may point into it.
  ContourElement* block = layerCopyElements(elements, header->count, &ok);
  if (!ok) return 0;
  memFree(l->table[i].elements);
  l->table[i] = *header;
  l->table[i].elements = block;
  return 1;
}

int layerDeleteContour(const char* name, int i) {
  Layer* l = layerOf(name);
  if (l == nullptr || l->count == 0 || i < -1 || i > l->count - 1) return 0;
  if (i == -1) i = l->count - 1;
  memFree(l->table[i].elements);
  std::memmove(&l->table[i], &l->table[i + 1],
               static_cast<std::size_t>(l->count - 1 - i) * sizeof(ContourHeader));
  --l->count;
  return 1;
}

void layerResetState() {
  for (const char* name : kLayerNames) layerFree(name);
}
