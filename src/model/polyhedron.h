// polyhedron.h - the polyhedron readers of exchange files: named polyhedrons whose faces refer to
// numbered points of numbered point sets (points one by one or as compact number lists). The
// triangle reader turns each face into triangles, the four-corner reader into QuadFacet records;
// both deliver one block per polyhedron, newest first.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/vec.h"
#include "model/surface_model.h"

// The facets of one polyhedron. facets holds Tri3D records (triangle reader) or QuadFacet
// records (four-corner reader) on the framework heap; addedCount and storedCount differ only
// after a failed growth, which empties the block.
struct PolyhedronBlock {
  char* name;  // owned copy of the polyhedron's id; null when it had none
  std::int32_t addedCount;
  void* facets;
  std::int32_t capacity;
  std::int32_t storedCount;
  PolyhedronBlock* next;
};

inline Tri3D* polyhedronTris(const PolyhedronBlock* block) {
  return static_cast<Tri3D*>(block->facets);
}
inline QuadFacet* polyhedronQuads(const PolyhedronBlock* block) {
  return static_cast<QuadFacet*>(block->facets);
}

// A face filter: the vertex count and the corner coordinates as read; non-zero keeps the face.
using PolyhedronFaceFilter = int (*)(int count, const double* x, const double* y, const double* z);

// Read every polyhedron of the exchange file. *blocks gets the block list in every case (null
// when none was read); it belongs to the caller (polyhedronFreeBlocks). Return 0 read; 1 memory
// ran out; 2 the file could not be read, ended in a lexical error (a damaged or cut file), or a
// handler stopped the run (a face referring to a point not in the table, a face outside any
// polyhedron, a face of five or more distinct vertices, a vertex reference without '/', a buffer
// that cannot grow).
int polyhedronReadTriangles(const char* path, PolyhedronBlock** blocks);
int polyhedronReadQuads(const char* path, PolyhedronBlock** blocks);

// The triangle reader's face filter slot (also used by the STL and facet-file loaders of the
// surface model), and the four-corner reader's. Null clears.
void polyhedronSetFaceFilter(PolyhedronFaceFilter filter);
void polyhedronClearFaceFilter();
PolyhedronFaceFilter polyhedronGetFaceFilter();
void polyhedronSetQuadFilter(PolyhedronFaceFilter filter);
void polyhedronClearQuadFilter();

// An empty block named by a copy of name (none for null or empty). Null when memory runs out.
PolyhedronBlock* polyhedronNewBlock(const char* name);
// A block with room for n triangles or n four-corner facets (no buffer for n <= 0). Null when
// memory runs out.
PolyhedronBlock* polyhedronNewTriBlock(const char* name, int n);
PolyhedronBlock* polyhedronNewQuadBlock(const char* name, int n);
// Stores a face of 3 or 4 vertices: a triangle (P0, P1, P2), four vertices as (P0, P1, P2) and
// (P2, P3, P0). A full buffer grows by 65536 triangles; when that fails the block is emptied.
// Returns 1 stored; 0 refused (null block or arrays, vertex count outside 3..4, no memory).
int polyhedronAddFace(PolyhedronBlock* block, int count, const double* x, const double* y,
                      const double* z);
// The same for a four-corner block: one QuadFacet per face, corners in order, a triangle
// repeating P2 as its fourth corner, flags 0; the buffer grows by 128 facets.
int polyhedronAddQuad(PolyhedronBlock* block, int count, const double* x, const double* y,
                      const double* z);
// Triangle buffer: n >= 0 gives an empty block a buffer of exactly n triangles; n < 0 shrinks the
// buffer to the stored count. Returns 1; 0 for a null block, a block that is not empty (n >= 0)
// or no memory (the block unchanged).
int polyhedronFaceBuffer(PolyhedronBlock* block, int n);
// Frees every block of the list with its name and facets. Null is ignored.
void polyhedronFreeBlocks(PolyhedronBlock* blocks);

// The four-corner list of the mesh loader: facets on the framework heap, and the box of every
// facet appended.
struct QuadFacetList {
  std::int32_t count;
  std::int32_t capacity;
  Point3D boxMin;  // 1e10 in every coordinate when empty
  Point3D boxMax;  // -1e10 when empty
  QuadFacet* items;
};
// A new list with capacity max(n, 2), count 0 and the empty box. Null when memory runs out.
QuadFacetList* polyhedronNewQuadList(int n);
// Appends a facet (growing by half when full) and widens the box by its four corners. Returns
// the new count; -1 for a null list or when memory runs out (the list unchanged).
int polyhedronQuadListAppend(QuadFacetList* list, const QuadFacet& facet);
// Frees the list and its facets. Null is ignored.
void polyhedronFreeQuadList(QuadFacetList* list);

// Test seam: both filters cleared, both readers' state reset.
void polyhedronResetState();
