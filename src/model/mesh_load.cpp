// mesh_load.cpp - gathering the polyhedron blocks of an exchange file into one sorted mesh with
// per-facet boxes, for the surface model and the cycles' collision meshes.
#include "model/mesh_load.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"
#include "model/polyhedron.h"

namespace {

constexpr double kMeshHeightEps = 0.00001;

struct MeshState {
  Matrix4 forward;  // the mesh frame
  Matrix4 inverse;  // what the corners are mapped by
  Point3D scale{1.0, 1.0, 1.0};
  double zSnap = kMeshSnapOff;
  int toToolSystem = 0;
  MeshState() {
    matIdentity(&forward);
    matIdentity(&inverse);
  }
};
MeshState meshState;

Point3D meshMap(const Point3D& p) {
  Point3D q = p;
  cyc3dTransformPoint(&q);
  cyc3dScalePoint(&q);
  if (meshState.toToolSystem != 0) csysWorldToTool(&q);
  return q;
}

// A corner that is not a finite number (a coordinate such as "nan" or one too large for a
// double, or one the frame and scale carry out of range) has no place in the mesh: its box and
// height would break the descending order that the drops rely on.
bool meshFinite(const Point3D& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Nearly level corners become level, and heights next to 0 become 0, so that the flat areas of
// a model that went through a lossy export are found flat.
void meshSnapHeights(Tri3D* t) {
  modelSnapTriHeights(t, kMeshSnapTolerance);
  for (Point3D& v : t->v) {
    if (std::fabs(v.z) < kMeshSnapTolerance) v.z = 0.0;
  }
}

double meshTriTop(const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); }

double meshQuadTop(const QuadFacet& q) {
  double top = modelQuadCorner(q, 0).z;
  for (int k = 1; k < 4; ++k) top = std::max(top, modelQuadCorner(q, k).z);
  return top;
}

int meshCompareTops(double za, double zb) {
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

template <typename T>
bool meshArrays(int count, int perFacet, T** a, T** b) {
  const std::size_t n = static_cast<std::size_t>(std::max(count, 1)) * perFacet;
  *a = static_cast<T*>(memAllocZero(n * sizeof(T)));
  *b = static_cast<T*>(memAllocZero(n * sizeof(T)));
  return *a != nullptr && *b != nullptr;
}

// The rotated bounds of every facet: minimum and maximum of u and v over its corners.
void meshRotatedBounds(const QuadMeshListNode* node) {
  for (int i = 0; i < node->quadCount; ++i) {
    double lo[2] = {0, 0}, hi[2] = {0, 0};
    for (int k = 0; k < 4; ++k) {
      const Point3D c = modelQuadCorner(node->quads[i], k);
      const double uv[2] = {(c.x - c.y) * kMeshRotatedAxis, (c.x + c.y) * kMeshRotatedAxis};
      for (int j = 0; j < 2; ++j) {
        lo[j] = k == 0 ? uv[j] : std::min(lo[j], uv[j]);
        hi[j] = k == 0 ? uv[j] : std::max(hi[j], uv[j]);
      }
    }
    for (int j = 0; j < 2; ++j) {
      node->rotatedMin[2 * i + j] = lo[j];
      node->rotatedMax[2 * i + j] = hi[j];
    }
  }
}

void meshName(char (&out)[128], const char* name) {
  std::memset(out, 0, sizeof out);
  if (name != nullptr) std::strncpy(out, name, sizeof out - 1);
}

}  // namespace

int cyc3dSetMeshFrame(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z) {
  Matrix4 axes, shift, forward, inverse;
  matFromAxes(x, y, z, &axes);
  matTranslation(origin, &shift);
  matMultiply(axes, shift, &forward);
  bool usable = matInvert(forward, &inverse) == 0;
  for (const auto& row : inverse.m) {
    for (double v : row) usable = usable && std::isfinite(v);
  }
  if (!usable) {
    msgSendText(9, kCyc3dMsgSingularFrame, "* Error: coordinate system %s cannot be inverted",
                "polyCs");
    return geoFail(kGeoFailed, "mesh_load");
  }
  meshState.forward = forward;
  meshState.inverse = inverse;
  return 0;
}

void cyc3dMeshFrame(Matrix4* forward, Matrix4* inverse) {
  if (forward != nullptr) *forward = meshState.forward;
  if (inverse != nullptr) *inverse = meshState.inverse;
}

void cyc3dTransformPoint(Point3D* p) {
  if (p != nullptr) matTransformPoint(*p, meshState.inverse, p);
}

void cyc3dSetMeshScale(const Point3D* factors) {
  if (factors != nullptr) meshState.scale = *factors;
}

Point3D* cyc3dScalePoint(Point3D* p) {
  if (p != nullptr) {
    p->x *= meshState.scale.x;
    p->y *= meshState.scale.y;
    p->z *= meshState.scale.z;
  }
  return p;
}

void cyc3dSetZSnap(double threshold) { meshState.zSnap = threshold; }

int cyc3dSetMeshToolSystem(int on) {
  const int previous = meshState.toToolSystem;
  meshState.toToolSystem = on != 0 ? 1 : 0;
  return previous;
}

void cyc3dMeshBox(Point3D* boxMin, Point3D* boxMax, const Point3D& p) {
  modelGrowBox(p, boxMin, boxMax);
}

int cyc3dCompareTriangles(const void* a, const void* b) {
  return meshCompareTops(meshTriTop(*static_cast<const Tri3D*>(a)),
                         meshTriTop(*static_cast<const Tri3D*>(b)));
}

int cyc3dCompareQuadFacets(const void* a, const void* b) {
  return meshCompareTops(meshQuadTop(*static_cast<const QuadFacet*>(a)),
                         meshQuadTop(*static_cast<const QuadFacet*>(b)));
}

int cyc3dSortQuadFacets(int count, QuadFacet* facets) {
  if (count < 2) return 1;
  if (facets == nullptr) return kGeoBadArgument;
  return lstSort(facets, count, sizeof(QuadFacet), cyc3dCompareQuadFacets);
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
      if (meshState.zSnap > kMeshSnapTolerance) meshSnapHeights(&t);
      modelTriHighestFirst(&t);
      ok = lstTri3Append(node->triangles, t) >= 0;
    }
  }
  polyhedronFreeBlocks(blocks);
  if (ok) {
    Tri3List* list = node->triangles;
    ok = lstSort(list->items, list->count, sizeof(Tri3D), cyc3dCompareTriangles) == 1 &&
         meshArrays(list->count, 1, &node->facetMin, &node->facetMax);
    for (int i = 0; ok && i < list->count; ++i) {
      const Tri3D& t = list->items[i];
      node->facetMin[i] = node->facetMax[i] = t.v[0];
      for (int k = 1; k < 3; ++k) cyc3dMeshBox(&node->facetMin[i], &node->facetMax[i], t.v[k]);
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

QuadMeshListNode* cyc3dLoadQuadMeshes(const char* path, const char* name, int tag, int rotated) {
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
  ok = node != nullptr && cyc3dSortQuadFacets(list->count, list->items) == 1 &&
       meshArrays(list->count, 1, &node->facetMin, &node->facetMax) &&
       (rotated == 0 || meshArrays(list->count, 2, &node->rotatedMin, &node->rotatedMax));
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
      cyc3dMeshBox(&node->facetMin[i], &node->facetMax[i], modelQuadCorner(node->quads[i], k));
    }
  }
  if (ok && rotated != 0) meshRotatedBounds(node);
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
    memFree(meshes->rotatedMin);
    memFree(meshes->rotatedMax);
    memFree(meshes);
    meshes = next;
  }
}

void cyc3dMeshResetState() { meshState = MeshState{}; }
