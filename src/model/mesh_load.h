// mesh_load.h - loaders of polyhedron meshes from exchange files: every polyhedron of
// a file gathered into one mesh, mapped by the mesh frame and scale (and into the tool system on
// request), highest corner first, sorted by descending height, with per-facet boxes. The surface
// model's exchange loaders and the cycles' holder and head meshes are built on them.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/matrix4.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

// A triangle mesh: the list (its header box covers every corner), per-triangle minimum and
// maximum corners (framework heap), the mesh name and tag, and a link for chaining meshes.
struct MeshListNode {
  Tri3List* triangles;
  Point3D* facetMin;
  Point3D* facetMax;
  char name[128];
  std::int32_t tag;
  MeshListNode* next;
};

// A four-corner mesh: the facets (count and array on the framework heap) with their box, the
// per-facet minimum and maximum corners, name, tag and link.
struct QuadMeshListNode {
  std::int32_t quadCount;
  QuadFacet* quads;
  Point3D boxMin;
  Point3D boxMax;
  Point3D* facetMin;
  Point3D* facetMax;
  char name[128];
  std::int32_t tag;
  QuadMeshListNode* next;
};

// How the mesh loaders map a corner read from the file: p * frame, times scale, then into the
// tool system (csysWorldToTool) when toToolSystem is set; zSnap: corner heights of a triangle
// within 0.01 of each other are made equal (the larger). At load: identity, 1, off, off.
struct Cyc3dMeshMapping {
  Matrix4 frame;
  double scale;
  std::int32_t toToolSystem;
  std::int32_t zSnap;
};
void cyc3dSetMeshMapping(const Cyc3dMeshMapping& mapping);
Cyc3dMeshMapping cyc3dGetMeshMapping();

// Reads the exchange file with the triangle polyhedron reader and gathers the triangles of all
// its polyhedrons into one mesh named name (cut to 127 characters) with the tag. Null when the
// reader reports an error or finds no polyhedron, a mapped corner is not a finite number, or
// memory runs out (nothing stays allocated).
// A file whose polyhedrons hold no face gives a mesh without triangles.
MeshListNode* cyc3dLoadTriMeshes(const char* path, const char* name, int tag);
// The same with the four-corner reader; corners are mapped, facets keep their corner order. The
// flag asks for two further per-facet arrays that no caller uses; it is accepted and ignored.
QuadMeshListNode* cyc3dLoadQuadMeshes(const char* path, const char* name, int tag, int flag);

// Order of the four-corner sort (descending height): 0 when the highest corner z of the two
// facets differ by less than 0.00001, 1 when a is lower, -1 when a is higher.
int cyc3dCompareQuadFacets(const void* a, const void* b);

// Free a chain of meshes with everything they hold. Null is ignored.
void cyc3dFreeTriMeshes(MeshListNode* meshes);
void cyc3dFreeQuadMeshes(QuadMeshListNode* meshes);

// Test seam: the mapping at load.
void cyc3dMeshResetState();
