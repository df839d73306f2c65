// contour_tree.cpp - the nesting tree of one pocketing level: node table, relation lists in one
// pool of {node, next} pairs, element blocks and the node selections of the linkers.
// The pool grows instead of refusing a pair: a dropped relation would split the rings into
// separate trees and leave extra lifts or rings never cut.
#include "pocket/contour_tree.h"

#include <cstring>
#include <limits>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"

namespace {
struct TreeState {
  ContourTreeNode* nodes = nullptr;  // kCtreeMaxNodes nodes
  std::int32_t* pool = nullptr;      // relation pairs
  int poolCapacity = 0;              // words of pool
  int poolFill = 0;                  // words in use
  int nodeCount = 0;
  ElementBlock* blocks = nullptr;  // newest first
};
TreeState tree;

bool validNode(int i) { return tree.nodes != nullptr && i >= 0 && i < tree.nodeCount; }

// Makes room for words more pool words. Returns 1; 0 when memory runs out (pool unchanged).
int poolReserve(int words) {
  if (tree.pool == nullptr) return 0;
  if (tree.poolFill + words <= tree.poolCapacity) return 1;
  if (tree.poolCapacity > std::numeric_limits<int>::max() / 4) return 0;
  const int grown = 2 * tree.poolCapacity;
  void* block = memRealloc(tree.pool, static_cast<std::size_t>(grown) * sizeof(std::int32_t));
  if (block == nullptr) return 0;
  tree.pool = static_cast<std::int32_t*>(block);
  tree.poolCapacity = grown;
  return 1;
}

// A new pair {value, 0} at the pool's fill (room reserved by the caller); its pool index.
int poolNewPair(int value) {
  const int p = tree.poolFill;
  tree.pool[p] = value;
  tree.pool[p + 1] = 0;
  tree.poolFill += 2;
  return p;
}

// Pool index of the k-th pair (from 0) of a list of two or more entries.
int listPair(int head, int k) {
  int p = head;
  for (int i = 0; i < k; ++i) p = tree.pool[p + 1];
  return p;
}

// The k-th entry (from 0) of a list.
int listValue(int head, int count, int k) {
  if (count == 1) return head;
  return tree.pool[listPair(head, k)];
}

// Appends value to the list (head, count). Returns the new count; -1 when the pool cannot grow
// (the list unchanged).
int listAppend(std::int32_t* head, std::int32_t* count, int value) {
  if (*count <= 0) {
    *head = value;
    *count = 1;
    return 1;
  }
  if (*count == 1) {
    if (poolReserve(4) == 0) return geoFail(-1, "contour_tree");
    const int first = poolNewPair(*head);
    const int second = poolNewPair(value);
    tree.pool[first + 1] = second;
    *head = first;
    *count = 2;
    return 2;
  }
  if (poolReserve(2) == 0) return geoFail(-1, "contour_tree");
  const int last = listPair(*head, *count - 1);
  tree.pool[last + 1] = poolNewPair(value);
  return ++*count;
}

int listFind(int head, int count, int value) {
  for (int k = 0; k < count; ++k) {
    if (listValue(head, count, k) == value) return k;
  }
  return -1;
}

int listAt(int head, int count, int n) {
  if (n < 1 || n > count) return -1;
  return listValue(head, count, n - 1);
}
}  // namespace

// ---- lifetime
// ---------------------------------------------------------------------------------------

int ctreeInit(int mode) {
  if (mode != 1) return 0;
  ctreeFree();  // a second start must not leak the earlier tree
  void* nodes = memAllocZero(sizeof(ContourTreeNode) * kCtreeMaxNodes);
  void* pool = memAllocZero(sizeof(std::int32_t) * kCtreePoolInitial);
  if (nodes == nullptr || pool == nullptr) {
    memFree(nodes);
    memFree(pool);
    return 0;
  }
  tree.nodes = static_cast<ContourTreeNode*>(nodes);
  tree.pool = static_cast<std::int32_t*>(pool);
  tree.poolCapacity = kCtreePoolInitial;
  tree.poolFill = 0;
  tree.nodeCount = 0;
  pockEngine().ctreeStartMatch.bestDistance = 100000.0;
  return 1;
}

int ctreeFree() {
  ctreeBlocksFree();
  memFree(tree.nodes);
  memFree(tree.pool);
  tree = TreeState{};
  return 1;
}

int ctreeNodeCount() { return tree.nodeCount; }

ContourTreeNode* ctreeNodeAt(int i) { return validNode(i) ? &tree.nodes[i] : nullptr; }

int ctreePoolFill() { return tree.poolFill; }

// ---- nodes
// ------------------------------------------------------------------------------------------

int contHasMarkedElem(const ContourElement* elements, int n) {
  if (elements == nullptr) return 0;
  for (int i = 0; i < n; ++i) {
    if (elements[i].tag < 0) return 1;
  }
  return 0;
}

int ctreeAdd(const ContourElement* elements, const ContourHeader* header, int childHead,
             int depth) {
  if (tree.nodes == nullptr || header == nullptr) return geoFail(-1, "contour_tree");
  const int n = header->count;
  if (n < 0 || (elements == nullptr && n > 0)) return geoFail(-1, "contour_tree");
  if (tree.nodeCount >= kCtreeMaxNodes) return geoFail(-1, "contour_tree");
  ElementBlock* block = ctreeNewBlock(elements, n);
  if (block == nullptr) return geoFail(-1, "contour_tree");
  const int id = tree.nodeCount;
  ContourTreeNode& node = tree.nodes[id];
  PockEngine& eng = pockEngine();
  node.count = n;
  node.block = block;
  node.depth = depth;
  node.childHead = childHead;
  node.parentHead = 0;
  node.childCount = 0;
  node.parentCount = 0;
  node.state = kCtreeOpen;
  node.hasMarked =
      (eng.pockStockMode != 0 && contHasMarkedElem(elements, n) != 0) ? std::uint8_t{1} : 0;
  const int orientation = n > 0 ? contOrientation(elements, n) : 0;
  const bool agrees =
      (orientation == 1 && header->leftSide != 0) || (orientation == -1 && header->leftSide == 0);
  node.orientationClass = agrees ? 1 : 2;
  tree.nodeCount = id + 1;

  if (eng.pockStartSet != 0 && n > 0) {
    Point2D foot{0.0, 0.0};
    int index = 0;
    const double d = ctreeNearestElem(elements, n, eng.pockStartPoint, &foot, &index);
    CtreeStartMatch& match = eng.ctreeStartMatch;
    if (d < match.bestDistance) {  // strictly nearer: the earliest ring wins ties
      match.bestDistance = d;
      match.node = id;
      match.element = index + 1;
      match.foot = foot;
      match.found = 1;
    }
  }
  return id;
}

ElementBlock* ctreeNewBlock(const ContourElement* elements, int n) {
  if (n < 0 || (elements == nullptr && n > 0)) return nullptr;
  return ctreeBlockAlloc(elements, sizeof(ContourElement) * static_cast<std::size_t>(n));
}

int ctreeGetElems(ContourElement* buffer, int n, const ElementBlock* block) {
  if (block == nullptr || n < 0 || (buffer == nullptr && n > 0)) return 0;
  return ctreeBlockRead(block, buffer, sizeof(ContourElement) * static_cast<std::size_t>(n)) == 0
             ? 1
             : 0;
}

int ctreeSetElems(const ContourElement* elements, int n, ElementBlock* block) {
  if (block == nullptr || n < 0 || (elements == nullptr && n > 0)) return 0;
  return ctreeBlockWrite(block, elements, sizeof(ContourElement) * static_cast<std::size_t>(n)) == 0
             ? 1
             : 0;
}

// ---- relations
// --------------------------------------------------------------------------------------

int ctreeRelate(int parent, int child) {
  if (child < 0 || parent == child || !validNode(parent) || !validNode(child)) return 0;
  ContourTreeNode& p = tree.nodes[parent];
  const int count = listAppend(&p.childHead, &p.childCount, child);
  if (count < 0) return -1;
  ctreeAddParent(child, parent);  // the parent list only helps the linkers' backward walk
  return count;
}

int ctreeAddParent(int node, int parent) {
  if (!validNode(node)) return geoFail(-1, "contour_tree");
  ContourTreeNode& c = tree.nodes[node];
  return listAppend(&c.parentHead, &c.parentCount, parent);
}

int ctreeChildAt(int node, int n) {
  if (!validNode(node)) return -1;
  return listAt(tree.nodes[node].childHead, tree.nodes[node].childCount, n);
}

int ctreeParentAt(int node, int n) {
  if (!validNode(node)) return -1;
  return listAt(tree.nodes[node].parentHead, tree.nodes[node].parentCount, n);
}

int ctreeHasChild(int node, int child) {
  if (!validNode(node)) return 0;
  return listFind(tree.nodes[node].childHead, tree.nodes[node].childCount, child) >= 0 ? 1 : 0;
}

int ctreeUnrelate(int node, int child) {
  if (!validNode(node)) return -1;
  ContourTreeNode& nd = tree.nodes[node];
  const int at = listFind(nd.childHead, nd.childCount, child);
  if (nd.childCount <= 1) {
    if (at < 0) return -1;  // emptying the list for a non-member would lose a relation
    nd.childCount = 0;
    return 0;
  }
  if (at < 0) return nd.childCount;
  if (nd.childCount == 2) {
    nd.childHead = listValue(nd.childHead, 2, at == 0 ? 1 : 0);
    nd.childCount = 1;
    return 1;
  }
  int p = listPair(nd.childHead, at);
  for (int k = at; k + 1 < nd.childCount; ++k) {
    const int next = tree.pool[p + 1];
    tree.pool[p] = tree.pool[next];
    p = next;
  }
  return --nd.childCount;
}

// ---- states and selection
// ---------------------------------------------------------------------------

void ctreeSetState(int node, int state) {
  if (!validNode(node) || tree.nodes[node].state == kCtreeDone) return;
  tree.nodes[node].state = static_cast<std::uint8_t>(state);
}

int ctreeState(int node) { return validNode(node) ? tree.nodes[node].state : 0; }

int ctreePickDeepest() {
  const bool stock = pockEngine().pockStockMode != 0;
  int choice = -1;
  for (int i = 0; i < tree.nodeCount; ++i) {
    const ContourTreeNode& nd = tree.nodes[i];
    if (nd.state != kCtreeOpen) continue;
    if (choice < 0) {
      choice = i;
      continue;
    }
    const ContourTreeNode& c = tree.nodes[choice];
    if (nd.depth <= c.depth) continue;
    if (stock && c.hasMarked != 0 && nd.hasMarked == 0) continue;
    choice = i;
  }
  return choice;
}

int ctreePickShallowest() {
  int choice = -1;
  for (int i = 0; i < tree.nodeCount; ++i) {
    const ContourTreeNode& nd = tree.nodes[i];
    if (nd.state != kCtreeOpen) continue;
    if (choice < 0 || nd.depth < tree.nodes[choice].depth) choice = i;
  }
  return choice;
}

int ctreeChildOfClass1(int node) {
  if (!validNode(node)) return -1;
  const ContourTreeNode& nd = tree.nodes[node];
  for (int k = 0; k < nd.childCount; ++k) {
    const int c = listValue(nd.childHead, nd.childCount, k);
    if (validNode(c) && tree.nodes[c].orientationClass == 1) return c;
  }
  return -1;
}

int ctreeMinLeaf(int node) {
  if (!validNode(node) || tree.nodes[node].childCount <= 0) return -1;
  std::vector<char> seen(static_cast<std::size_t>(tree.nodeCount), 0);
  std::vector<int> todo{node};
  seen[static_cast<std::size_t>(node)] = 1;
  int best = -1;
  while (!todo.empty() && best != 0) {
    const ContourTreeNode& nd = tree.nodes[todo.back()];
    todo.pop_back();
    for (int k = 0; k < nd.childCount && best != 0; ++k) {
      const int c = listValue(nd.childHead, nd.childCount, k);
      if (!validNode(c) || seen[static_cast<std::size_t>(c)] != 0) continue;
      seen[static_cast<std::size_t>(c)] = 1;
      if (tree.nodes[c].childCount <= 0) {
        if (best < 0 || c < best) best = c;
      } else {
        todo.push_back(c);
      }
    }
  }
  return best;
}

double ctreeNearestElem(const ContourElement* elements, int n, const Point2D& point,
                        Point2D* footOut, int* indexOut) {
  if (n <= 0 || elements == nullptr) return 0.0;
  return contNearestElem(point, elements, n, footOut, indexOut);
}

// ---- element blocks
// ---------------------------------------------------------------------------------

ElementBlock* ctreeBlockAlloc(const void* bytes, std::size_t size) {
  if (bytes == nullptr && size > 0) return nullptr;
  auto* block = static_cast<ElementBlock*>(memAllocZero(sizeof(ElementBlock)));
  if (block == nullptr) return nullptr;
  // A ring of no elements still gets a block, so that every node owns one.
  void* data = memAllocZero(size > 0 ? size : 1);
  if (data == nullptr) {
    memFree(block);
    return nullptr;
  }
  if (size > 0) std::memcpy(data, bytes, size);
  block->data = data;
  block->size = size;
  block->next = tree.blocks;
  tree.blocks = block;
  return block;
}

int ctreeBlockRead(const ElementBlock* block, void* dst, std::size_t size) {
  if (block == nullptr || size > block->size) return -1;
  if (size > 0) std::memcpy(dst, block->data, size);
  return 0;
}

int ctreeBlockWrite(ElementBlock* block, const void* src, std::size_t size) {
  if (block == nullptr || size > block->size) return -1;
  if (size > 0) std::memcpy(block->data, src, size);
  return 0;
}

void ctreeBlocksFree() {
  ElementBlock* b = tree.blocks;
  while (b != nullptr) {
    ElementBlock* next = b->next;
    memFree(b->data);
    memFree(b);
    b = next;
  }
  tree.blocks = nullptr;
}

void ctreeResetState() { ctreeFree(); }
