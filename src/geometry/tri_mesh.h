// tri_mesh.h - the triangle mesh of a region: a frame ring around the outer contour, the region
// and the inside of every island, each triangle tagged with its class. Points are classified and
// located by walking from triangle to triangle instead of crossing tests against all segments.
#pragma once

#include <cstdint>

#include "geometry/lists.h"
#include "geometry/vec.h"

struct Kont2D;

// Classes of a mesh triangle.
constexpr std::int32_t kTriFrame = 0;   // ring between the enlarged box and the outer contour
constexpr std::int32_t kTriInside = 1;  // inside the region (outer contour less its islands)
constexpr std::int32_t kTriIsland = 2;  // inside an island

// Class bits of triClassifyPoint.
constexpr int kTriBitOutside = 1;
constexpr int kTriBitInside = 2;
constexpr int kTriBitIsland = 4;

// One triangle: vertex indices counter-clockwise, the neighbour across the edge opposite vertex k
// in nbk (-1 none), the class, and 1/(2 area) (positive; 0 for a triangle of no area).
struct TriMeshTri {
  std::int32_t i0, i1, i2;
  std::int32_t nb0, nb1, nb2;
  std::int32_t cls;
  double inv2Area;
};

// The two triangles on either side of one contour segment (lower index first), the contour (-1
// outer, k the island of index k in the island chain) and the segment index.
struct TriBoundaryEdge {
  std::int32_t lower, higher;
  std::int32_t contour;
  std::int32_t segment;
};

// Growable array of boundary-edge records, sorted by (lower, higher) once marked.
struct TriEdgeList {
  std::int32_t count;
  std::int32_t capacity;
  TriBoundaryEdge* items;
};

// Mesh of one region (allocated zeroed). Vertices of a built mesh: 0..3 the corners of the
// enlarged box (lower left, lower right, upper right, upper left), then the segment start points
// of every contour of the region in walk order.
struct TriMesh {
  std::int32_t count;     // triangles in use
  std::int32_t capacity;  // room of the triangle array (at least 3; grows by half)
  double z;               // 0 when built; moved and scaled with the region
  TriMeshTri* triangles;
  Pt2List* vertices;           // room for capacity + 2 at creation
  TriEdgeList* boundaryEdges;  // one record per contour segment; room for capacity + 2
  TriMesh* next;               // next mesh of a chain
};

// Largest number of mesh vertices (the four frame corners included) a region may need.
constexpr int kTriMeshPointLimit = 200000;

// Builds the mesh of a region that passes kontValidate with both checks. Returns the new mesh,
// which the caller stores in the region's mesh and frees with triMeshFree; null with -34 in the
// error record for a region that is not valid, null with "Triangulierung gescheitert" logged when
// the mesh cannot be built.
TriMesh* triPolyTriangulate(Kont2D* region);
// The builder behind triPolyTriangulate, without the validation. Null (error record -1) for fewer
// than 3 outer segments, more than kTriMeshPointLimit points, no memory or a failed triangulation.
TriMesh* triSeidelMesh(const Kont2D* region);

// Empty mesh with room for max(n, 3) triangles; null when memory runs out (error record -1).
TriMesh* triMeshNew(int n);
// Frees every mesh of the chain with its lists. Returns 1 (also for null).
int triMeshFree(TriMesh* chain);
// Appends a triangle, turned counter-clockwise when given clockwise (first and third vertex
// swapped), with its 1/(2 area); neighbours and class as given. Vertex indices must name vertices
// of the mesh. Returns 1; -1 no mesh, no array, a vertex index outside the vertex list, or no
// memory to grow (error record -1).
int triMeshAddTri(TriMesh* mesh, const TriMeshTri& tri);
// Links every pair of triangles sharing an edge as neighbours; an edge without partner gets -1.
// Returns 1 (a mesh of fewer than 2 triangles is left alone); -1 when scratch memory runs out.
int triMeshLinkNeighbours(TriMesh* mesh);
// Move or scale every vertex and z of every mesh of the chain; scaling also multiplies each
// stored 1/(2 area) by 1/factor^2 (a factor 0 leaves triangles of no area: 0 stored).
void triMeshTranslate(TriMesh* chain, double dx, double dy, double dz);
void triMeshScale(TriMesh* chain, double factor);

// Barycentric coordinates of p in triangle k: l0 towards vertex i0, l1 towards i1 (l2 = 1 - l0 -
// l1); each is 0 when its raw product lies within 1e-8 of 0. A triangle of no area contains no
// point: both are -1. Returns 1; 0 (outputs -1) for a null mesh or an index outside the mesh.
int triBarycentric(int k, const TriMesh* mesh, const Point2D& p, double* l0, double* l1);
// The triangle containing p (l0 >= 0, l1 >= 0, l2 > -1e-8), found by walking from triangle 0
// and, when the walk fails, by a scan of all triangles; -1 when none contains it. The coordinates
// of the last triangle tested are written to the outputs that are not null.
int triLocate(const TriMesh* mesh, const Point2D& p, double* l0, double* l1, double* l2);
// 1 when triangle k contains p; 0 otherwise (also for k < 0 or a null mesh).
int triContains(const Point2D& p, const TriMesh* mesh, int k);
// Class bits of p: 1 outside the mesh or in the frame ring, 2 inside the region, 4 inside an
// island; a point on an edge (a coordinate within 1e-8 of 0) also gets the bit of the triangle
// across that edge (1 when there is none). -1 for a null mesh.
int triClassifyPoint(const TriMesh* mesh, const Point2D& p);
// 1 when triangles a and b are neighbours; -1 stands for outside the mesh: both -1 give 1, one -1
// gives 1 when the other lies on the mesh border. Otherwise 0.
int triAdjacent(int a, int b, const TriMesh* mesh);
// Records the two triangles on either side of every segment of every contour of the region, then
// sorts the records by (lower, higher). Returns 1; 0 for a null mesh or region; -1 without
// boundary list or when memory runs out (error record -1).
int triMarkBoundary(TriMesh* mesh, const Kont2D* region);
// Index of the boundary-edge record of the triangle pair (a, b) in either order, -1 when none.
int triFindBoundaryEdge(const TriMesh* mesh, int a, int b);
// Where the segment leaves or enters the region: the triangle on the start side (*from), on the
// end side (*to) and the two vertices of the crossed edge. Returns 1 found; 0 when both ends
// classify alike; -46 when the bisection does not converge (error record set); -1 null argument.
int triWalkSegment(const TriMesh* mesh, const Seg2D& seg, int* from, int* to, int edge[2]);

// Area of the triangles of a class (kTriFrame, kTriInside, kTriIsland); 0 for a null mesh.
double triMeshClassArea(const TriMesh* mesh, int cls);
