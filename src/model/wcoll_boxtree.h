// wcoll_boxtree.h - flat structures over 2D elements at one Z level: a box tree with a pairwise
// tree-against-tree overlap walk (crossings between two contour sets without testing all
// pairs), a bucket grid over the grown boxes of wall segments, and the comparator of records
// keyed by their first double.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/slice_records.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"

// One node of a box tree. The first `count` nodes are the leaves, leaf i for element i; a leaf
// has no children; an inner node has a first child and, unless it is the parent of an odd node
// left over, a second child.
struct BoxTree2DNode {
  BoxTree2DNode* second;  // second child or null
  BoxTree2DNode* first;   // first child; null for a leaf
  double xmin, ymin, xmax, ymax;
  std::int32_t element;  // element index (leaves)
};

struct BoxTree2D;

// Writes the box (xmin, ymin, xmax, ymax) of element `element` of the tree's elements.
using Wcoll2dBoxFn = void (*)(double box[4], const BoxTree2D* tree, int element);

// A box tree over `count` elements that it does not own, with a placement (rotation, then
// offset) that the caller may set between queries. The rotation is the identity when both
// diagonal entries are exactly 1.0 (the off-diagonal entries are then not looked at).
struct BoxTree2D {
  const void* elements;  // element array (Seg2D for the default callbacks); not owned
  std::int32_t count;    // n
  BoxTree2DNode* root;
  std::int32_t nodeCount;
  BoxTree2DNode* nodes;   // nodeCount nodes
  double rotation[2][2];  // x' = r00 x + r01 y + dx, y' = r10 x + r11 y + dy
  double dx, dy;
  double margin;       // added on every side of each leaf box
  Wcoll2dBoxFn boxFn;  // element box; default wcoll2dSegmentBox
};

// Decides whether leaf elements a (of tree A) and b (of tree B) meet: non-zero when they do.
// `user` is the pair list handed to wcoll2dTreesOverlap.
using Wcoll2dPairFn = int (*)(const BoxTree2D* treeA, int a, const BoxTree2D* treeB, int b,
                              void* user);

// Builds the tree: nodeCount = n + ceil(n/2) + ceil(n/4) + ... + 1 nodes; the leaves in element
// order, then each level's nodes paired two by two in index order under a new parent (an odd
// node left over gets a parent with only a first child) until one node, the root, remains.
// Leaf boxes come from the box callback (the elements' own coordinates: the placement is the
// identity at creation) grown by margin; a parent's box is the union of its children's.
// Clears the error record first. Returns the tree; null for null elements or n <= 0, or when
// memory runs out (error record -1, source "wcoll2ddetect"; nothing leaked).
BoxTree2D* wcoll2dTreeNew(const void* elements, int n, double margin, Wcoll2dBoxFn boxFn);
// Frees the node array and the tree. Null is ignored.
void wcoll2dTreeFree(BoxTree2D* tree);

// Walks both trees from their roots, pruning where the placed node boxes are apart (touching
// boxes are not apart), and asks the pair handler (null: wcoll2dDefaultPairTest) for every two
// leaves whose boxes meet. Child order: second before first, in both trees.
// Mode 0: stops at the first meeting pair; 1 when there is one, else 0.
// Mode 1: appends every meeting pair (element of A, element of B) as a Rec8 to pairs (a list of
// lstRec8New); 1 when the list grew, else 0. When an append fails the walk stops, the list is
// put back to its count on entry and the result is -1 (error record -1).
// Other modes, or mode 1 without a list: 0. Null trees give 0.
int wcoll2dTreesOverlap(const BoxTree2D* treeA, const BoxTree2D* treeB, int mode,
                        Wcoll2dPairFn handler, RecList* pairs);

// The default pair handler: both elements are Seg2D, each placed by its tree (rotation when not
// the identity, then offset); geoSegsCross of the two.
int wcoll2dDefaultPairTest(const BoxTree2D* treeA, int a, const BoxTree2D* treeB, int b,
                           void* user);
// The default box callback: the box of the placed segment `element` (Seg2D elements).
void wcoll2dSegmentBox(double box[4], const BoxTree2D* tree, int element);

// Fills a bucket grid (made by the caller with triGridNew and its row and column counts) with
// the wall segments: the grid's rectangle becomes the walls' box, cell height = max(y extent,
// 1e-6) / rows and width likewise; segment i enters every cell from the truncated, clamped cell
// of (xmin - m, ymin - m) of its box record to that of (xmax + m, ymax + m). Each non-empty
// cell's index array is then shrunk to its count (a cell whose shrinking fails keeps its array)
// and its capacity set to the count. Returns 1; -1 when boxes is null or a cell cannot grow
// (the cells filled so far stay; error record set); -20 for a null grid or walls.
int wcoll2dGridSegments(TriangleGrid* grid, const Kont2D* walls, const WallBox* boxes, double m);

// Comparator for lstSort of records whose first field is a double: -1, 0, 1, ascending.
int wcollCompareDouble(const void* a, const void* b);
