// mesh_load.h - loaders of polyhedron meshes from exchange files: every polyhedron of
// a file gathered into one mesh, mapped by the mesh frame and scale (and into the tool system on
// request), highest corner first, sorted by descending height, with per-facet boxes. The frame,
// scale and z-snap are the ones the 3D cycles' parameters set. The surface
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
// per-facet minimum and maximum corners, when asked for the per-facet bounds in the plan axes
// turned by 45 degrees, name, tag and link.
struct QuadMeshListNode {
  std::int32_t quadCount;
  QuadFacet* quads;
  Point3D boxMin;
  Point3D boxMax;
  Point3D* facetMin;
  Point3D* facetMax;
  // Two doubles per facet (u, v), null unless asked for: the minimum and maximum over the four
  // corners of u = (x - y) * kMeshRotatedAxis and v = (x + y) * kMeshRotatedAxis.
  double* rotatedMin;
  double* rotatedMax;
  char name[128];
  std::int32_t tag;
  QuadMeshListNode* next;
};

// Factor of the 45-degree plan axes of the rotated bounds.
inline constexpr double kMeshRotatedAxis = 0.70710678;
// The z-snap of the triangle loader is on while its threshold is above this; snapping then makes
// corner heights within this distance of each other equal, and heights within it of 0 zero.
inline constexpr double kMeshSnapTolerance = 0.01;
// The z-snap threshold at load (snapping off).
inline constexpr double kMeshSnapOff = 0.001;
// Message sent when a mesh frame (or a cycle's NC or tool frame) cannot be inverted; its
// argument names the frame's parameters.
inline constexpr int kCyc3dMsgSingularFrame = 333;

// How the loaders map a corner read from the file, in this order: by the inverse of the mesh
// frame (cyc3dTransformPoint), by the mesh scale (cyc3dScalePoint), and, while the tool-system
// mode is on, into the tool system (csysWorldToTool). At load: identity frame, scale 1, 1, 1,
// tool-system mode off, z-snap threshold kMeshSnapOff.

// Sets the mesh frame: the forward transform maps p to origin + p.x x + p.y y + p.z z (the axes
// taken as given); its inverse is what cyc3dTransformPoint applies, so loaded corners come out in
// the frame's own coordinates. Returns 0; -1 when the axes are linearly dependent: message
// kCyc3dMsgSingularFrame (level 9, argument "polyCs") is sent and the previous frame stays.
int cyc3dSetMeshFrame(const Point3D& origin, const Point3D& x, const Point3D& y, const Point3D& z);
// The forward transform and its inverse in force (either may be null).
void cyc3dMeshFrame(Matrix4* forward, Matrix4* inverse);
// Maps p in place by the inverse mesh frame. Null is ignored.
void cyc3dTransformPoint(Point3D* p);
// Stores the three factors of the mesh scale. Null is ignored.
void cyc3dSetMeshScale(const Point3D* factors);
// Multiplies x, y and z of p by the scale factors; returns p (null is returned unchanged).
Point3D* cyc3dScalePoint(Point3D* p);
// Stores the z-snap threshold of the triangle loader (snapping is on above kMeshSnapTolerance).
void cyc3dSetZSnap(double threshold);
// Switches the tool-system mode; returns the previous setting (1 on, 0 off).
int cyc3dSetMeshToolSystem(int on);
// Widens the box boxMin..boxMax by p, coordinate by coordinate. Null boxes are ignored.
void cyc3dMeshBox(Point3D* boxMin, Point3D* boxMax, const Point3D& p);

// Reads the exchange file with the triangle polyhedron reader and gathers the triangles of all
// its polyhedrons into one mesh named name (cut to 127 characters) with the tag: corners mapped,
// z-snapped when on (for the corner pairs (0, 1), (0, 2), (1, 2) in turn two heights closer
// than kMeshSnapTolerance both take the larger, then heights closer than it to 0 become 0), the
// highest corner first with the orientation kept, triangles sorted by cyc3dCompareTriangles
// (lstSort), per-triangle boxes in sorted order. Null when the reader reports an error or finds
// no polyhedron, a mapped corner is not a finite number, or memory runs out (nothing stays
// allocated). A file whose polyhedrons hold no face gives a mesh without triangles.
MeshListNode* cyc3dLoadTriMeshes(const char* path, const char* name, int tag);
// The same with the four-corner reader; corners are mapped but not snapped, facets keep their
// corner order and are sorted by cyc3dSortQuadFacets. A non-zero rotated flag fills rotatedMin
// and rotatedMax; otherwise they stay null.
QuadMeshListNode* cyc3dLoadQuadMeshes(const char* path, const char* name, int tag, int rotated);

// Orders of the sorts (descending height): 0 when the highest corner z of the two facets differ
// by less than 0.00001, 1 when a is lower, -1 when a is higher.
int cyc3dCompareTriangles(const void* a, const void* b);
int cyc3dCompareQuadFacets(const void* a, const void* b);
// Sorts count packed facets in place by cyc3dCompareQuadFacets (lstSort: facets of equal height
// keep no particular order). Returns 1 (also for fewer than two facets); -20 for a null array
// with count above 1.
int cyc3dSortQuadFacets(int count, QuadFacet* facets);

// Free a chain of meshes with everything they hold. Null is ignored.
void cyc3dFreeTriMeshes(MeshListNode* meshes);
void cyc3dFreeQuadMeshes(QuadMeshListNode* meshes);

// Frame, scale, z-snap threshold and tool-system mode back to their values at load (the cycles'
// run-start reset calls it: a job's frame and scale never reach the next job).
void cyc3dMeshResetState();
