// contour_tree.h - the nesting tree of one pocketing level: every ring the ring builders create
// becomes a node with its own copy of the ring, its depth, a machining state and two lists of
// related nodes. The linkers walk it to cut the rings depth-first with as few lifts as possible.
// The relation is directed: ctreeRelate(a, b) puts b into a's child list and a into b's parent
// list. Builders relate a newly offset (deeper) ring a to each ring b it was built from, so here a
// node's "parent" is the deeper ring and its children lie one step further out; walking child lists
// from the deepest node moves outward. (This is the reverse of ContourHeader.parent, which names
// the enclosing contour of a layer.)
// One tree at a time lives in module state; it is built once per level and freed after linking.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/vec.h"
#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// Nodes the table holds; ctreeAdd refuses one more.
inline constexpr int kCtreeMaxNodes = 4000;
// Words of the relation pool when a tree starts (pairs of {node, next pool index}); the pool grows
// by doubling when a pair does not fit, so no relation is ever dropped.
inline constexpr int kCtreePoolInitial = 4000;

// Node states.
inline constexpr std::uint8_t kCtreeOpen = 0;  // not yet machined
inline constexpr std::uint8_t kCtreeDone = 1;  // cut; final

// Heap copy of a ring's elements. All blocks of the tree sit in one list, newest first, and are
// freed together.
struct ElementBlock {
  void* data;          // the copied bytes
  std::size_t size;    // bytes held (the capacity given at creation)
  ElementBlock* next;  // the block created before this one
};

// One ring of the tree.
struct ContourTreeNode {
  std::int32_t count;       // elements of the ring
  ElementBlock* block;      // the node's own copy of the elements (capacity = count at creation)
  std::int32_t depth;       // offset steps from the ring it was first derived from
  std::int32_t childHead;   // child list: the node itself (1 entry) or the first pair's pool index
  std::int32_t parentHead;  // parent list, the same way
  std::int32_t childCount;
  std::int32_t parentCount;
  std::uint8_t state;             // kCtreeOpen, kCtreeDone, or the linkers' marks 2 and 3
  std::uint8_t orientationClass;  // 1 orientation agrees with the header's leftSide, else 2
  std::uint8_t hasMarked;         // 1 in stock mode when an element carries a negative tag
};

// ---- lifetime
// ---------------------------------------------------------------------------------------

// Mode 1 starts a new tree: any earlier tree (nodes, pool, element blocks) is released first, then
// a node table and a relation pool are allocated, node count and pool fill set to 0 and the start
// match's best distance to 100000.0. Returns 1; 0 when an allocation fails (no tree then). Any
// other mode returns 0 and changes nothing.
int ctreeInit(int mode);
// Frees node table, pool and all element blocks; node count 0. Returns 1.
int ctreeFree();
// Number of nodes of the current tree.
int ctreeNodeCount();
// Node i for reading and for the linkers' updates of count and elements; null outside
// 0..count-1.
ContourTreeNode* ctreeNodeAt(int i);
// Words of the relation pool in use (two per pair).
int ctreePoolFill();

// ---- nodes
// ------------------------------------------------------------------------------------------

// Adds the ring (header->count elements; header->leftSide used) as the next node with depth and
// childHead (stored; meaningless while the child count is 0), state open and empty relation lists.
// orientationClass 1 when contOrientation is +1 with leftSide set or -1 with it clear, else 2;
// hasMarked 1 only in stock mode when an element has a negative tag. With an explicit start
// point the ring nearest to it (earliest on ties) becomes the start match. Returns the node
// number; -1 when kCtreeMaxNodes nodes exist, there is no tree, the arguments are null or the
// count negative, or the block cannot be allocated.
int ctreeAdd(const ContourElement* elements, const ContourHeader* header, int childHead, int depth);
// 1 when any element's tag is negative, else 0.
int contHasMarkedElem(const ContourElement* elements, int n);
// A new block (in the tree's list) holding a copy of n elements; null when n < 0, elements are
// null with n > 0, or memory runs out.
ElementBlock* ctreeNewBlock(const ContourElement* elements, int n);
// Copies n elements out of block into buffer. Returns 1; 0 for a null block, or n negative or
// beyond the block's capacity (nothing copied).
int ctreeGetElems(ContourElement* buffer, int n, const ElementBlock* block);
// Copies n elements into block. Returns 1; 0 for a null block, or n negative or beyond the block's
// capacity (nothing copied).
int ctreeSetElems(const ContourElement* elements, int n, ElementBlock* block);

// ---- relations
// --------------------------------------------------------------------------------------

// Appends child to parent's child list, then parent to child's parent list (a failure there is
// not reported). Duplicates are not checked. Returns the new child count; 0 when child < 0,
// parent == child, or either number is not a node; -1 when memory for the pool runs out.
int ctreeRelate(int parent, int child);
// Appends parent to node's parent list. Returns the new parent count; -1 when node is not a node
// or memory for the pool runs out.
int ctreeAddParent(int node, int parent);
// The n-th entry (n from 1) of node's child or parent list; -1 for a node number outside the tree,
// n < 1 or n beyond the count.
int ctreeChildAt(int node, int n);
int ctreeParentAt(int node, int n);
// 1 when child is in node's child list, else 0 (also for a node outside the tree).
int ctreeHasChild(int node, int child);
// Removes child from node's child list (the child's parent list stays) and returns the remaining
// count: one entry empties the list, of two the other moves back into the head, of more the later
// values move up along the existing pairs. A child not in a list of two or more changes nothing
// and the count is returned. -1 (nothing changed) for a node outside the tree or a child not in a
// list of 0 or 1 entries.
int ctreeUnrelate(int node, int child);

// ---- states and selection
// ---------------------------------------------------------------------------

// Sets the state unless the node is done (final); numbers outside the tree are ignored.
void ctreeSetState(int node, int state);
// The state; 0 outside the tree.
int ctreeState(int node);
// The open node of largest depth, lowest number on ties; in stock mode, once the choice has marked
// elements only a deeper node with marked elements replaces it. -1 when none is open.
int ctreePickDeepest();
// The open node of smallest depth, lowest number on ties; -1 when none is open.
int ctreePickShallowest();
// The first child of node whose orientationClass is 1; -1 when none.
int ctreeChildOfClass1(int node);
// The smallest node number among the leaves (nodes without children) reachable from node through
// child lists, node itself not counted; -1 when node has no children or lies outside the tree.
// Each node is visited once, so a relation cycle cannot hang the search.
int ctreeMinLeaf(int node);
// contNearestElem with the arguments in this order: the smallest distance from point to the
// contour with the foot and the element index, the first element winning ties; 0 for n <= 0
// (outputs untouched).
double ctreeNearestElem(const ContourElement* elements, int n, const Point2D& point,
                        Point2D* footOut, int* indexOut);

// ---- element blocks
// ---------------------------------------------------------------------------------

// A block with a copy of size bytes, pushed at the head of the block list; null (nothing kept)
// when memory runs out or bytes is null with size above 0.
ElementBlock* ctreeBlockAlloc(const void* bytes, std::size_t size);
// Copy size bytes out of or into block. Returns 0; -1 for a null block or a size beyond its
// capacity.
int ctreeBlockRead(const ElementBlock* block, void* dst, std::size_t size);
int ctreeBlockWrite(ElementBlock* block, const void* src, std::size_t size);
// Frees every block and empties the list.
void ctreeBlocksFree();

// Test seam: the tree freed, as at load.
void ctreeResetState();
