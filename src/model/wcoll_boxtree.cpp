// wcoll_boxtree.cpp - box trees over 2D elements with the tree-against-tree overlap walk, the
// bucket grid of wall segments and the double-key comparator.
// Node boxes are kept in the elements' own coordinates; the walk places them with each tree's
// current placement, so a caller may move a tree between queries without rebuilding it.
#include "model/wcoll_boxtree.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/plane_geo.h"

namespace {

constexpr const char* kModule = "wcoll2ddetect";

bool identityRotation(const BoxTree2D* t) {
  return t->rotation[0][0] == 1.0 && t->rotation[1][1] == 1.0;
}

Point2D placePoint(const BoxTree2D* t, double x, double y) {
  if (identityRotation(t)) return Point2D{x + t->dx, y + t->dy};
  return Point2D{t->rotation[0][0] * x + t->rotation[0][1] * y + t->dx,
                 t->rotation[1][0] * x + t->rotation[1][1] * y + t->dy};
}

Seg2D placedSegment(const BoxTree2D* t, int element) {
  const Seg2D& s = static_cast<const Seg2D*>(t->elements)[element];
  const Point2D a = placePoint(t, s.x1, s.y1), b = placePoint(t, s.x2, s.y2);
  return Seg2D{a.x, a.y, b.x, b.y};
}

struct Box {
  double xmin, ymin, xmax, ymax;
};

// The node's box placed by its tree: shifted, or for a rotation the box of the four rotated
// corners, which contains every placed element below the node.
Box placedBox(const BoxTree2D* t, const BoxTree2DNode* n) {
  if (identityRotation(t)) {
    return Box{n->xmin + t->dx, n->ymin + t->dy, n->xmax + t->dx, n->ymax + t->dy};
  }
  const Point2D c[4] = {placePoint(t, n->xmin, n->ymin), placePoint(t, n->xmax, n->ymin),
                        placePoint(t, n->xmax, n->ymax), placePoint(t, n->xmin, n->ymax)};
  Box b{c[0].x, c[0].y, c[0].x, c[0].y};
  for (const Point2D& p : c) {
    b.xmin = std::min(b.xmin, p.x);
    b.ymin = std::min(b.ymin, p.y);
    b.xmax = std::max(b.xmax, p.x);
    b.ymax = std::max(b.ymax, p.y);
  }
  return b;
}

bool apart(const Box& a, const Box& b) {
  return a.xmin > b.xmax || b.xmin > a.xmax || a.ymin > b.ymax || b.ymin > a.ymax;
}

bool isLeaf(const BoxTree2DNode* n) { return n->first == nullptr; }

struct Walk {
  const BoxTree2D* a;
  const BoxTree2D* b;
  int mode;
  Wcoll2dPairFn handler;
  RecList* pairs;
  bool stop = false;
  bool appendFailed = false;

  void step(const BoxTree2DNode* na, const BoxTree2DNode* nb) {
    if (stop || na == nullptr || nb == nullptr) return;
    if (apart(placedBox(a, na), placedBox(b, nb))) return;
    const bool leafA = isLeaf(na), leafB = isLeaf(nb);
    if (leafA && leafB) {
      if (handler(a, na->element, b, nb->element, pairs) == 0) return;
      if (mode == 0) {
        stop = true;
      } else if (mode == 1 && pairs != nullptr) {
        if (lstRec8Append(pairs, Rec8{{na->element, nb->element}}) < 0) {
          appendFailed = true;
          stop = true;
        }
      }
    } else if (leafA) {
      step(na, nb->second);
      step(na, nb->first);
    } else if (leafB) {
      step(na->second, nb);
      step(na->first, nb);
    } else {
      step(na->second, nb->second);
      step(na->second, nb->first);
      step(na->first, nb->second);
      step(na->first, nb->first);
    }
  }
};

void unionBox(BoxTree2DNode* parent) {
  const BoxTree2DNode* f = parent->first;
  const BoxTree2DNode* s = parent->second;
  parent->xmin = f->xmin;
  parent->ymin = f->ymin;
  parent->xmax = f->xmax;
  parent->ymax = f->ymax;
  if (s == nullptr) return;
  parent->xmin = std::min(parent->xmin, s->xmin);
  parent->ymin = std::min(parent->ymin, s->ymin);
  parent->xmax = std::max(parent->xmax, s->xmax);
  parent->ymax = std::max(parent->ymax, s->ymax);
}

}  // namespace

BoxTree2D* wcoll2dTreeNew(const void* elements, int n, double margin, Wcoll2dBoxFn boxFn) {
  geoErrReset();
  if (elements == nullptr || n <= 0) return nullptr;
  long long total = n;
  for (long long c = n; c > 1;) {
    c = (c + 1) / 2;
    total += c;
  }
  if (total > INT_MAX) {
    geoFail(-1, kModule);
    return nullptr;
  }
  auto* tree = static_cast<BoxTree2D*>(memAllocZero(sizeof(BoxTree2D)));
  if (tree == nullptr) {
    geoFail(-1, kModule);
    return nullptr;
  }
  tree->nodes = static_cast<BoxTree2DNode*>(
      memAllocZero(static_cast<std::size_t>(total) * sizeof(BoxTree2DNode)));
  if (tree->nodes == nullptr) {
    memFree(tree);
    geoFail(-1, kModule);
    return nullptr;
  }
  tree->elements = elements;
  tree->count = n;
  tree->nodeCount = static_cast<std::int32_t>(total);
  tree->rotation[0][0] = 1.0;
  tree->rotation[1][1] = 1.0;
  tree->margin = margin;
  tree->boxFn = boxFn != nullptr ? boxFn : wcoll2dSegmentBox;
  BoxTree2DNode* nodes = tree->nodes;
  for (int i = 0; i < n; ++i) {
    BoxTree2DNode& leaf = nodes[i];
    leaf.element = i;
    double box[4] = {};
    tree->boxFn(box, tree, i);
    leaf.xmin = box[0] - margin;
    leaf.ymin = box[1] - margin;
    leaf.xmax = box[2] + margin;
    leaf.ymax = box[3] + margin;
  }
  // Levels bottom-up: the current level's nodes, in index order, two by two under new parents.
  long long levelStart = 0, levelCount = n, next = n;
  while (levelCount > 1) {
    const long long parentStart = next;
    for (long long k = 0; k < levelCount; k += 2) {
      BoxTree2DNode& parent = nodes[next++];
      parent.first = &nodes[levelStart + k];
      parent.second = k + 1 < levelCount ? &nodes[levelStart + k + 1] : nullptr;
      unionBox(&parent);
    }
    levelStart = parentStart;
    levelCount = next - parentStart;
  }
  tree->root = &nodes[levelStart];
  return tree;
}

void wcoll2dTreeFree(BoxTree2D* tree) {
  if (tree == nullptr) return;
  memFree(tree->nodes);
  memFree(tree);
}

int wcoll2dTreesOverlap(const BoxTree2D* treeA, const BoxTree2D* treeB, int mode,
                        Wcoll2dPairFn handler, RecList* pairs) {
  if (treeA == nullptr || treeB == nullptr) return 0;
  const int countOnEntry = pairs != nullptr ? pairs->count : 0;
  Walk walk{treeA, treeB, mode, handler != nullptr ? handler : wcoll2dDefaultPairTest, pairs};
  walk.step(treeA->root, treeB->root);
  if (walk.appendFailed) {
    // A partial pair list would read as a complete answer: give the list back as it came.
    pairs->count = countOnEntry;
    return geoFail(-1, kModule);
  }
  if (walk.stop) return 1;
  return mode != 0 && pairs != nullptr && pairs->count > countOnEntry ? 1 : 0;
}

int wcoll2dDefaultPairTest(const BoxTree2D* treeA, int a, const BoxTree2D* treeB, int b, void*) {
  return geoSegsCross(placedSegment(treeA, a), placedSegment(treeB, b));
}

void wcoll2dSegmentBox(double box[4], const BoxTree2D* tree, int element) {
  const Seg2D s = placedSegment(tree, element);
  box[0] = std::min(s.x1, s.x2);
  box[1] = std::min(s.y1, s.y2);
  box[2] = std::max(s.x1, s.x2);
  box[3] = std::max(s.y1, s.y2);
}

int wcoll2dGridSegments(TriangleGrid* grid, const Kont2D* walls, const WallBox* boxes, double m) {
  if (grid == nullptr || grid->cells == nullptr || walls == nullptr) return geoFail(-20, kModule);
  if (boxes == nullptr) return geoFail(-1, kModule);
  grid->x0 = walls->xmin;
  grid->y0 = walls->ymin;
  grid->x1 = walls->xmax;
  grid->y1 = walls->ymax;
  grid->cellHeight = std::max(grid->y1 - grid->y0, 1e-6) / grid->rows;
  grid->cellWidth = std::max(grid->x1 - grid->x0, 1e-6) / grid->columns;
  for (int i = 0; i < walls->count; ++i) {
    const WallBox& b = boxes[i];
    const int row0 = triGridIndex(b.ymin - m, grid->y0, grid->cellHeight, grid->rows, true);
    const int row1 = triGridIndex(b.ymax + m, grid->y0, grid->cellHeight, grid->rows, false);
    const int col0 = triGridIndex(b.xmin - m, grid->x0, grid->cellWidth, grid->columns, true);
    const int col1 = triGridIndex(b.xmax + m, grid->x0, grid->cellWidth, grid->columns, false);
    for (int row = row0; row <= row1; ++row) {
      for (int col = col0; col <= col1; ++col) {
        if (triGridAdd(grid, row, col, i) != 1) return geoFail(-1, kModule);
      }
    }
  }
  triGridShrinkCells(grid);
  return 1;
}

int wcollCompareDouble(const void* a, const void* b) {
  const double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  if (x < y) return -1;
  if (x > y) return 1;
  return 0;
}
