// mesh_load.cpp - gathering the polyhedron blocks of an exchange file into one sorted mesh with
// per-facet boxes, for the surface model and the cycles' collision meshes.
#include "model/mesh_load.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/lst_sort.h"
#include "model/polyhedron.h"

namespace {

constexpr double kMeshHeightEps = 0.00001;
constexpr double kMeshSnap = 0.01;

struct MeshState {
  Cyc3dMeshMapping mapping;
  MeshState() {
    matIdentity(&mapping.frame);
    mapping.scale = 1.0;
    mapping.toToolSystem = 0;
    mapping.zSnap = 0;
  }
};
MeshState meshState;

Point3D meshMap(const Point3D& p) {
  const Cyc3dMeshMapping& m = meshState.mapping;
  Point3D q;
  matTransformPoint(p, m.frame, &q);
  q = Point3D{q.x * m.scale, q.y * m.scale, q.z * m.scale};
  if (m.toToolSystem != 0) csysWorldToTool(&q);
  return q;
}

// A corner that is not a finite number (a coordinate such as "nan" or one too large for a
// double, or one the frame and scale carry out of range) has no place in the mesh: its box and
// height would break the descending order that the drops rely on.
bool meshFinite(const Point3D& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

double meshTriTop(const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); }

double meshQuadTop(const QuadFacet& q) {
  double top = modelQuadCorner(q, 0).z;
  for (int k = 1; k < 4; ++k) top = std::max(top, modelQuadCorner(q, k).z);
  return top;
}

int meshCompareTris(const void* a, const void* b) {
  const double za = meshTriTop(*static_cast<const Tri3D*>(a));
  const double zb = meshTriTop(*static_cast<const Tri3D*>(b));
  if (std::fabs(za - zb) < kMeshHeightEps) return 0;
  return za < zb ? 1 : -1;
}

// Total room of the blocks; -1 when it does not fit an int.
long long meshRoom(const PolyhedronBlock* blocks) {
  long long room = 0;
  for (const PolyhedronBlock* b = blocks; b != nullptr; b = b->next) {
    room += std::max(b->capacity, b->storedCount);
    if (room > 0x3fffffff) return -1;
  }
  return room;
}

bool meshBoxArrays(int count, Point3D** facetMin, Point3D** facetMax) {
  const std::size_t n = static_cast<std::size_t>(std::max(count, 1));
  *facetMin = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
  *facetMax = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
  return *facetMin != nullptr && *facetMax != nullptr;
}

void meshName(char (&out)[128], const char* name) {
  std::memset(out, 0, sizeof out);
  if (name != nullptr) std::strncpy(out, name, sizeof out - 1);
}

}  // namespace

void cyc3dSetMeshMapping(const Cyc3dMeshMapping& mapping) { meshState.mapping = mapping; }

Cyc3dMeshMapping cyc3dGetMeshMapping() { return meshState.mapping; }

int cyc3dCompareQuadFacets(const void* a, const void* b) {
  const double za = meshQuadTop(*static_cast<const QuadFacet*>(a));
  const double zb = meshQuadTop(*static_cast<const QuadFacet*>(b));
  if (std::fabs(za - zb) < kMeshHeightEps) return 0;
  return za < zb ? 1 : -1;
}

MeshListNode* cyc3dLoadTriMeshes(const char* path, const char* name, int tag) {
  PolyhedronBlock* blocks = nullptr;
  const int read = polyhedronReadTriangles(path, &blocks);
  const long long room = meshRoom(blocks);
  if (read != 0 || blocks == nullptr || room < 0) {
    polyhedronFreeBlocks(blocks);
    return nullptr;
  }
  auto* node = static_cast<MeshListNode*>(memAllocZero(sizeof(MeshListNode)));
  bool ok = node != nullptr && (node->triangles = lstTri3New(static_cast<int>(room))) != nullptr;
  for (const PolyhedronBlock* b = blocks; ok && b != nullptr; b = b->next) {
    const Tri3D* tris = polyhedronTris(b);
    for (int i = 0; ok && i < b->storedCount; ++i) {
      Tri3D t;
      for (int k = 0; k < 3; ++k) {
        t.v[k] = meshMap(tris[i].v[k]);
        ok = ok && meshFinite(t.v[k]);
      }
      if (!ok) break;
      if (meshState.mapping.zSnap != 0) modelSnapTriHeights(&t, kMeshSnap);
      modelTriHighestFirst(&t);
      ok = lstTri3Append(node->triangles, t) >= 0;
    }
  }
  polyhedronFreeBlocks(blocks);
  if (ok) {
    Tri3List* list = node->triangles;
    ok = lstSort(list->items, list->count, sizeof(Tri3D), meshCompareTris) == 1 &&
         meshBoxArrays(list->count, &node->facetMin, &node->facetMax);
    for (int i = 0; ok && i < list->count; ++i) {
      const Tri3D& t = list->items[i];
      node->facetMin[i] = node->facetMax[i] = t.v[0];
      for (int k = 1; k < 3; ++k) modelGrowBox(t.v[k], &node->facetMin[i], &node->facetMax[i]);
    }
  }
  if (!ok) {
    cyc3dFreeTriMeshes(node);
    return nullptr;
  }
  meshName(node->name, name);
  node->tag = tag;
  return node;
}

QuadMeshListNode* cyc3dLoadQuadMeshes(const char* path, const char* name, int tag, int /*flag*/) {
  PolyhedronBlock* blocks = nullptr;
  const int read = polyhedronReadQuads(path, &blocks);
  const long long room = meshRoom(blocks);
  if (read != 0 || blocks == nullptr || room < 0) {
    polyhedronFreeBlocks(blocks);
    return nullptr;
  }
  QuadFacetList* list = polyhedronNewQuadList(static_cast<int>(room));
  bool ok = list != nullptr;
  for (const PolyhedronBlock* b = blocks; ok && b != nullptr; b = b->next) {
    const QuadFacet* quads = polyhedronQuads(b);
    for (int i = 0; ok && i < b->storedCount; ++i) {
      QuadFacet q = quads[i];
      for (int k = 0; k < 4; ++k) {
        const Point3D p = meshMap(modelQuadCorner(q, k));
        ok = ok && meshFinite(p);
        modelSetQuadCorner(&q, k, p);
      }
      if (!ok) break;
      ok = polyhedronQuadListAppend(list, q) >= 0;
    }
  }
  polyhedronFreeBlocks(blocks);
  auto* node =
      ok ? static_cast<QuadMeshListNode*>(memAllocZero(sizeof(QuadMeshListNode))) : nullptr;
  ok = node != nullptr &&
       lstSort(list->items, list->count, sizeof(QuadFacet), cyc3dCompareQuadFacets) == 1 &&
       meshBoxArrays(list->count, &node->facetMin, &node->facetMax);
  if (node != nullptr && list != nullptr) {
    // The node takes the facets over; the list record goes.
    node->quads = list->items;
    node->quadCount = list->count;
    node->boxMin = list->boxMin;
    node->boxMax = list->boxMax;
    list->items = nullptr;
  }
  polyhedronFreeQuadList(list);
  for (int i = 0; ok && i < node->quadCount; ++i) {
    node->facetMin[i] = node->facetMax[i] = modelQuadCorner(node->quads[i], 0);
    for (int k = 1; k < 4; ++k) {
      modelGrowBox(modelQuadCorner(node->quads[i], k), &node->facetMin[i], &node->facetMax[i]);
    }
  }
  if (!ok) {
    cyc3dFreeQuadMeshes(node);
    return nullptr;
  }
  meshName(node->name, name);
  node->tag = tag;
  return node;
}

void cyc3dFreeTriMeshes(MeshListNode* meshes) {
  while (meshes != nullptr) {
    MeshListNode* next = meshes->next;
    lstBox3Free(meshes->triangles);
    memFree(meshes->facetMin);
    memFree(meshes->facetMax);
    memFree(meshes);
    meshes = next;
  }
}

void cyc3dFreeQuadMeshes(QuadMeshListNode* meshes) {
  while (meshes != nullptr) {
    QuadMeshListNode* next = meshes->next;
    memFree(meshes->quads);
    memFree(meshes->facetMin);
    memFree(meshes->facetMax);
    memFree(meshes);
    meshes = next;
  }
}

void cyc3dMeshResetState() { meshState = MeshState{}; }
