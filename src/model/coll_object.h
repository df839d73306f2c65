// coll_object.h - whether two triangle sets meet: each set is wrapped once in a binary tree of
// single-precision boxes over its float triangles, and moved rigidly by a rotation (placement)
// and a translation (position) without rebuilding the tree. The holder collision model keeps one
// object per body and moves the tool-side objects to every tool position it is asked about.
//
// Failures are recorded in the geometry error record under the source name "wcolldetect".
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/lists.h"
#include "geometry/matrix4.h"
#include "geometry/vec.h"

// One tree node. A node without children is a leaf and holds one triangle; an inner node has a
// first child and, unless it parents the last node of an odd level, a second child. The box
// (min x, min y, min z, max x, max y, max z) is narrowed to f32 outward, so it always holds what
// it bounds.
struct CollisionNode {
  CollisionNode* second;  // second child or null
  CollisionNode* first;   // first child or null
  float box[6];
  std::int32_t triangle;  // triangle index of a leaf; -1 in an inner node
};
static_assert(sizeof(CollisionNode) == 48);
static_assert(offsetof(CollisionNode, second) == 0 && offsetof(CollisionNode, first) == 8);
static_assert(offsetof(CollisionNode, box) == 16 && offsetof(CollisionNode, triangle) == 40);

// What the node boxes were last fitted under (the object's refit flag).
constexpr std::int32_t kCollFitBody = 0;     // the identity: boxes in the body's own frame
constexpr std::int32_t kCollFitCurrent = 1;  // the current placement
constexpr std::int32_t kCollFitStale = 2;    // an earlier placement other than the identity

// A box tree over a float triangle list, placed by row-vector transform (placement) and then
// shifted by position.
struct CollisionObject {
  TriFList* triangles;  // borrowed unless ownsTriangles is set
  CollisionNode* nodes;
  CollisionNode* root;
  std::int32_t nodeCount;
  Matrix4 placement;  // the identity at creation
  float position[3];
  std::int32_t ownsTriangles;  // set: collObjectFree also frees the list (never set here)
  std::int32_t refit;          // kCollFitCurrent, kCollFitBody or kCollFitStale
};
static_assert(offsetof(CollisionObject, triangles) == 0 && offsetof(CollisionObject, nodes) == 8);
static_assert(offsetof(CollisionObject, root) == 16 && offsetof(CollisionObject, nodeCount) == 24);
static_assert(offsetof(CollisionObject, placement) == 32);
static_assert(offsetof(CollisionObject, position) == 160);
static_assert(offsetof(CollisionObject, ownsTriangles) == 172);
static_assert(offsetof(CollisionObject, refit) == 176 && sizeof(CollisionObject) == 184);

// Two points of a triangle coincide when all three coordinates differ by less than this.
inline constexpr double kCollSamePoint = 0.00001;

// Builds the tree over the list in list order, in linear time: leaf i holds triangle i; each
// level's nodes are paired two by two in order under a new parent until one node, the root,
// remains (a lone triangle is its own root). The node array has n + ceil(n/2) + ... + 1 entries
// (two for one triangle). Clears the error record first. Returns the object (placement identity,
// position 0, boxes fitted); null for a null list or one without triangles, and when memory runs
// out or the node count does not fit in 32 bits (error record -1, "wcolldetect"; nothing leaked).
// The list must outlive the object and keep its triangles while the object is used.
CollisionObject* collObjectNew(TriFList* triangles);
// Frees the node array, the list when owned, and the object. Null is ignored.
void collObjectFree(CollisionObject* object);

// Copies the placement; the boxes now belong to an earlier placement until collObjectUpdate.
// Null is ignored.
void collObjectSetPlacement(CollisionObject* object, const Matrix4& placement);
// Refits every node box under the current placement and marks the boxes current. Null is
// ignored.
void collObjectUpdate(CollisionObject* object);
// Sets the translation added after the placement; never needs a refit. Null is ignored.
void collObjectSetPosition(CollisionObject* object, float x, float y, float z);

// 1 when a triangle of a meets a triangle of b (touching counts), else 0 (also when either is
// null). With all = 0 the walk stops at the first meeting pair; with all non-zero and a pair list
// every meeting pair is appended (first object's triangle, second object's triangle). A pair list
// given with all = 0 receives the first pair. A pair that cannot be appended (no list, or the
// list cannot grow) ends the walk as a found collision. Stored boxes are used as they are when
// they were fitted under the current placement, or in the body frame under a placement whose
// rotation and translation are the identity; body-frame boxes under another placement are
// widened through their transformed corners; an object whose boxes belong to an earlier
// non-identity placement is refitted first.
int collObjectsIntersect(CollisionObject* a, CollisionObject* b, int all, RecList* pairs);

// Triangle i of the object as the tests see it: every corner transformed by the placement, then
// shifted by the position, in double. Writes nothing for a null object or i out of range.
void collObjectPlacedTriangle(const CollisionObject* object, int i, Tri3D* out);

// The exact triangle test on placed triangles: 1 when p and q meet (touching counts), else 0.
// A triangle whose three corners coincide (kCollSamePoint) meets nothing, and two triangles that
// each have a coinciding pair of corners do not meet. Otherwise the triangles are apart exactly
// when one of the 17 axes n, m, ei x fj, ei x n, fi x m (n, m the normals, ei, fi the edges)
// separates their projections strictly.
int collTriTriIntersect(const Tri3D& p, const Tri3D& q);

// Work counters of the walks since the last reset, for benchmarks: box pairs compared and
// triangle pairs tested.
struct CollStats {
  std::uint64_t boxTests;
  std::uint64_t triTests;
};
CollStats collObjectGetStats();
// Test seam and run-start reset: the counters back to 0.
void collObjectResetState();
