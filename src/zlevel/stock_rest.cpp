// stock_rest.cpp - rest-stock pockets: stock outlines paired with the paths lying in them, merged
// per outline and optionally ordered down through stacks of overlapping pockets.
#include "zlevel/stock_rest.h"

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"
#include "geometry/lst_sort.h"
#include "geometry/tri_mesh.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_grouping.h"
#include "zlevel/zpath_order.h"

namespace {

constexpr char kModule[] = "stockrespocket";
constexpr int kArrayStep = 100;
constexpr std::uint8_t kUnknown = 127;

// Fixed shell sort with diminishing gaps: each element moves back past every element that must
// come after it.
template <typename After>
void shellSort(StockRestPocket* a, int n, After after) {
  int gap = 1;
  if (n / 9 >= 2)
    while (gap < n / 9) gap = 3 * gap + 1;
  for (; gap > 0; gap /= 3) {
    for (int i = gap; i < n; ++i) {
      StockRestPocket x = a[i];
      int j = i;
      while (j >= gap && after(a[j - gap], x)) {
        a[j] = a[j - gap];
        j -= gap;
      }
      a[j] = x;
    }
  }
}

bool isEmpty(const StockRestPocket& p) {
  static const Kont2D zero{};
  return std::memcmp(&p.stockContour, &zero, sizeof(Kont2D)) == 0;
}

void freeNodes(StockRestPathNode* n) {
  while (n != nullptr) {
    StockRestPathNode* next = n->next;
    memFree(n);
    n = next;
  }
}

void freeWorkRegion(StockRestPocket& p) {
  if (p.pocketContour == nullptr) return;
  if (p.pocketContour->mesh != nullptr) triMeshFree(p.pocketContour->mesh);
  p.pocketContour->mesh = nullptr;
  kontFree(p.pocketContour);
  p.pocketContour = nullptr;
}

// Growable pocket array: room grows by 100, the new room zeroed.
struct PocketArray {
  StockRestPocket* items = nullptr;
  int count = 0;
  int capacity = 0;

  StockRestPocket* add() {
    if (count == capacity) {
      const int grown = capacity + kArrayStep;
      auto* p = static_cast<StockRestPocket*>(
          memRealloc(items, sizeof(StockRestPocket) * static_cast<std::size_t>(grown)));
      if (p == nullptr) return nullptr;
      std::memset(p + capacity, 0, sizeof(StockRestPocket) * kArrayStep);
      items = p;
      capacity = grown;
    }
    return &items[count++];
  }
};

void setBox(StockRestPocket* p, double x0, double y0, double x1, double y1) {
  p->xmin = x0;
  p->ymin = y0;
  p->xmax = x1;
  p->ymax = y1;
  p->centreX = (x0 + x1) / 2;
  p->centreY = (y0 + y1) / 2;
}

bool boxesOverlap(const StockRestPocket& a, const StockRestPocket& b) {
  return a.xmin <= b.xmax && b.xmin <= a.xmax && a.ymin <= b.ymax && b.ymin <= a.ymax;
}

StockRestPathNode* lastNode(StockRestPathNode* n) {
  while (n != nullptr && n->next != nullptr) n = n->next;
  return n;
}

void appendNodes(StockRestPocket& to, StockRestPocket& from) {
  StockRestPathNode* tail = lastNode(to.paths);
  if (tail == nullptr)
    to.paths = from.paths;
  else
    tail->next = from.paths;
  from.paths = nullptr;
  std::memset(&from.stockContour, 0, sizeof(Kont2D));
}

const ZPath* firstPath(const StockRestPocket& p) {
  return p.paths != nullptr ? p.paths->path : nullptr;
}

// Merges the pockets of one outline: depth-0 islands into the first of them, and each pocket
// path's direct islands into it.
void mergeRun(StockRestPocket* a, int from, int to) {
  int collector = -1;
  for (int i = from; i < to; ++i) {
    const ZPath* f = firstPath(a[i]);
    if (isEmpty(a[i]) || f == nullptr || f->nestingDepth != 0 || f->materialInside != 1) continue;
    if (collector < 0)
      collector = i;
    else
      appendNodes(a[collector], a[i]);
  }
  for (int i = from; i < to; ++i) {
    const ZPath* pocket = firstPath(a[i]);
    if (isEmpty(a[i]) || pocket == nullptr || pocket->materialInside == 1) continue;
    for (int j = from; j < to; ++j) {
      const ZPath* other = firstPath(a[j]);
      if (j == i || isEmpty(a[j]) || other == nullptr || other->count < 1) continue;
      if (other->nestingDepth != pocket->nestingDepth + 1) continue;
      const Point2D p{other->points[0], other->points[1]};
      if (zpathContainsPoint(p, pocket)) appendNodes(a[i], a[j]);
    }
  }
}

bool sameOutline(const StockRestPocket& a, const StockRestPocket& b) {
  return std::fabs(a.z - b.z) < 1e-5 &&
         std::memcmp(&a.stockContour, &b.stockContour, sizeof(Kont2D)) == 0;
}

int findRoot(std::vector<int>& parent, int i) {
  while (parent[static_cast<std::size_t>(i)] != i) {
    parent[static_cast<std::size_t>(i)] =
        parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
    i = parent[static_cast<std::size_t>(i)];
  }
  return i;
}

StockRestPocket* failAll(PocketArray& arr, int code) {
  stockRestFree(arr.items, arr.count);
  geoFail(code, kModule);
  return nullptr;
}

// Takes the pockets down through their groups: each pass takes the first remaining pocket and
// then, within its group, every lower pocket within the step limit that no untaken earlier pocket
// of the group overlaps.
int orderByGroups(StockRestPocket* work, int n, double gap, std::uint8_t* matrix,
                  StockRestPocket* result) {
  std::vector<char> taken(static_cast<std::size_t>(n), 0);
  std::vector<int> remaining(static_cast<std::size_t>(n));
  std::iota(remaining.begin(), remaining.end(), 0);
  int out = 0;
  while (!remaining.empty()) {
    const int first = remaining[0];
    taken[static_cast<std::size_t>(first)] = 1;
    result[out++] = work[first];
    const StockRestPocket* last = &work[first];
    std::size_t end = 1;
    while (end < remaining.size() && work[remaining[end]].groupId == work[first].groupId) ++end;
    for (std::size_t q = 1; q < end; ++q) {
      const int qi = remaining[q];
      const StockRestPocket& Q = work[qi];
      if (last->z - Q.z > gap) break;
      if (taken[static_cast<std::size_t>(qi)] || !(Q.z < last->z - 1e-5)) continue;
      bool blocked = false;
      for (std::size_t e = 1; e < q && !blocked; ++e) {
        const int ei = remaining[e];
        if (taken[static_cast<std::size_t>(ei)]) continue;
        blocked = stockRestContoursApart(work[ei].pocketContour, Q.pocketContour, matrix, n) == 0;
      }
      if (blocked) continue;
      taken[static_cast<std::size_t>(qi)] = 1;
      result[out++] = Q;
      last = &work[qi];
    }
    std::vector<int> left;
    for (int r : remaining)
      if (!taken[static_cast<std::size_t>(r)]) left.push_back(r);
    remaining.swap(left);
  }
  return out;
}

}  // namespace

void stockRestFree(StockRestPocket* pockets, int count) {
  if (pockets == nullptr) return;
  for (int i = 0; i < count; ++i) {
    freeNodes(pockets[i].paths);
    freeWorkRegion(pockets[i]);
  }
  memFree(pockets);
}

int zpathListFindInContour(const ZPathList* list, const Kont2D* contour, int* index) {
  if (list == nullptr || contour == nullptr || index == nullptr) {
    if (index != nullptr) *index = -1;
    return 0;
  }
  for (int i = *index < 0 ? 0 : *index; i < list->count; ++i) {
    const ZPath& p = list->items[i];
    if (p.z < contour->z - 0.01) return 0;
    if (std::fabs(p.z - contour->z) > 0.01) continue;
    for (int k = 0; k < p.count; ++k) {
      const Point2D q{p.points[2 * k], p.points[2 * k + 1]};
      if (geoPointInKontBand(q, contour, 0.001)) {
        *index = i;
        return 1;
      }
    }
  }
  return 0;
}

int stockRestCompare(const void* a, const void* b) {
  const auto* x = static_cast<const StockRestPocket*>(a);
  const auto* y = static_cast<const StockRestPocket*>(b);
  if (x->groupId != y->groupId) return x->groupId < y->groupId ? -1 : 1;
  if (std::fabs(x->z - y->z) <= 0.001) return 0;
  return x->z > y->z ? -1 : 1;
}

int stockRestGroupOverlaps(StockRestPocket* pockets, int n) {
  if (pockets == nullptr || n <= 0) return 1;
  // Union-find over box overlaps: every pocket that overlaps another, directly or through a
  // chain, lands in its group, whatever the order they are met in.
  std::vector<int> parent(static_cast<std::size_t>(n));
  std::iota(parent.begin(), parent.end(), 0);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (boxesOverlap(pockets[i], pockets[j])) {
        const int a = findRoot(parent, i), b = findRoot(parent, j);
        if (a != b) parent[static_cast<std::size_t>(b > a ? b : a)] = a < b ? a : b;
      }
  std::vector<int> number(static_cast<std::size_t>(n), 0);
  int counter = 0;
  for (int i = 0; i < n; ++i) {
    const int r = findRoot(parent, i);
    if (number[static_cast<std::size_t>(r)] == 0) number[static_cast<std::size_t>(r)] = ++counter;
    pockets[i].groupId = number[static_cast<std::size_t>(r)];
  }
  return lstSort(pockets, n, sizeof(StockRestPocket), stockRestCompare);
}

int stockRestPocketContour(StockRestPocket* pockets, int i) {
  if (pockets == nullptr || i < 0) return geoFail(kGeoBadArgument, kModule);
  StockRestPocket& p = pockets[i];
  const Kont2D* stock = &p.stockContour;
  Kont2D* region = nullptr;
  StockRestPathNode* islands = nullptr;
  const ZPath* first = firstPath(p);
  if (first == nullptr) {
    region = kontCopy(stock);
  } else if (first->materialInside != 1) {
    region = kontFromZPath(first);
    islands = p.paths->next;
  } else {
    Kont2D outer = *stock;
    outer.child = nullptr;
    region = kontCopy(&outer);
    islands = p.paths;
  }
  if (region == nullptr) return geoFail(kGeoFailed, kModule);
  Kont2D* tail = region->child;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  const auto link = [&](Kont2D* k) {
    if (tail == nullptr) {
      region->child = k;
      k->prev = region;
    } else {
      tail->next = k;
      k->prev = tail;
    }
    tail = k;
  };
  for (StockRestPathNode* n = islands; n != nullptr; n = n->next) {
    Kont2D* k = kontFromZPath(n->path);
    if (k == nullptr) {
      kontFree(region);
      return geoFail(kGeoFailed, kModule);
    }
    link(k);
  }
  if (first != nullptr) {
    for (const Kont2D* s = stock->child; s != nullptr; s = s->next) {
      if (s->count < 1) continue;
      if (kontClassifyPoint(region, g2dSegStart(s->segments[0])) != 2) continue;
      Kont2D one = *s;
      one.next = nullptr;
      Kont2D* k = kontCopy(&one);
      if (k == nullptr) {
        kontFree(region);
        return geoFail(kGeoFailed, kModule);
      }
      link(k);
    }
  }
  kontSetZ(region, stock->z);
  Kont2D* kids = region->child;
  region->child = nullptr;
  if (kontOrientation(region) < 0) kontReverse(region);
  region->child = kids;
  for (Kont2D* k = kids; k != nullptr; k = k->next)
    if (kontOrientation(k) > 0) kontReverse(k);
  region->mesh = triPolyTriangulate(region);
  if (region->mesh == nullptr) {
    kontFree(region);
    return geoFail(kGeoFailed, kModule);
  }
  region->flags = i;
  p.pocketContour = region;
  return 1;
}

int stockRestContoursApart(const Kont2D* a, const Kont2D* b, std::uint8_t* matrix, int n) {
  if (a == nullptr || b == nullptr || matrix == nullptr) return 1;
  const int ia = a->flags, ib = b->flags;
  if (ia < 0 || ib < 0 || ia >= n || ib >= n) return 1;
  const std::size_t ab =
      static_cast<std::size_t>(ia) * static_cast<std::size_t>(n) + static_cast<std::size_t>(ib);
  const std::size_t ba =
      static_cast<std::size_t>(ib) * static_cast<std::size_t>(n) + static_cast<std::size_t>(ia);
  if (matrix[ab] != kUnknown) return matrix[ab];
  int apart = 1;
  if (a->xmin <= b->xmax && b->xmin <= a->xmax && a->ymin <= b->ymax && b->ymin <= a->ymax) {
    Kont2D* cut = nullptr;
    if (kontBooleanSafe(a, b, kKontIntersection, &cut) > 0 && cut != nullptr) apart = 0;
    kontFree(cut);
  }
  matrix[ab] = matrix[ba] = static_cast<std::uint8_t>(apart);
  return apart;
}

StockRestPocket* stockRestPockets(Kont2D* chain, ZPathList* paths, int grouping, int* count) {
  if (count != nullptr) *count = 0;
  if (chain == nullptr || count == nullptr) {
    geoFail(kGeoBadArgument, kModule);
    return nullptr;
  }
  if (paths != nullptr && paths->count > 0) {
    zpathListOrder(paths, kZpathOrderLevels);
    zpathListNestingDepths(paths);
  }
  double gap = 0.1;
  PocketArray arr;
  for (Kont2D* s = chain; s != nullptr; s = s->next) {
    if (s->next != nullptr && s->z - s->next->z > gap) gap = s->z - s->next->z;
    int index = 0;
    int found = 0;
    while (zpathListFindInContour(paths, s, &index) == 1) {
      ZPath* path = &paths->items[index];
      StockRestPocket* p = arr.add();
      if (p == nullptr) return failAll(arr, kGeoFailed);
      p->z = s->z;
      p->stockContour = *s;
      p->stockContour.next = nullptr;
      p->paths = static_cast<StockRestPathNode*>(memAllocZero(sizeof(StockRestPathNode)));
      if (p->paths == nullptr) return failAll(arr, kGeoFailed);
      p->paths->path = path;
      if (path->materialInside != 1)
        setBox(p, path->xmin, path->ymin, path->xmax, path->ymax);
      else
        setBox(p, s->xmin, s->ymin, s->xmax, s->ymax);
      ++found;
      ++index;
    }
    if (found == 0) {
      StockRestPocket* p = arr.add();
      if (p == nullptr) return failAll(arr, kGeoFailed);
      p->z = s->z;
      p->stockContour = *s;
      p->stockContour.next = nullptr;
      setBox(p, s->xmin, s->ymin, s->xmax, s->ymax);
    }
  }
  StockRestPocket* a = arr.items;
  int n = arr.count;
  shellSort(a, n, [](const StockRestPocket& y, const StockRestPocket& x) {
    const double dz = y.z - x.z, dx = y.centreX - x.centreX;
    if (dz < 0 && std::fabs(dz) >= 1e-5) return true;
    if (std::fabs(dz) < 1e-5 && dx < 0 && std::fabs(dx) >= 1e-5) return true;
    return std::fabs(dz) < 1e-5 && std::fabs(dx) < 1e-5 && y.centreY < x.centreY;
  });
  for (int i = 0; i < n;) {
    int j = i + 1;
    while (j < n && sameOutline(a[i], a[j])) ++j;
    if (j - i > 1) mergeRun(a, i, j);
    i = j;
  }
  int kept = 0;
  for (int i = 0; i < n; ++i)
    if (!isEmpty(a[i])) a[kept++] = a[i];
  n = kept;
  arr.count = n;
  if (grouping == 0 || n == 0) {
    *count = n;
    return a;
  }
  auto* result = static_cast<StockRestPocket*>(
      memAllocZero(sizeof(StockRestPocket) * static_cast<std::size_t>(n)));
  auto* matrix = static_cast<std::uint8_t*>(
      memAllocZero(static_cast<std::size_t>(n) * static_cast<std::size_t>(n)));
  if (result == nullptr || matrix == nullptr) {
    memFree(result);
    memFree(matrix);
    return failAll(arr, kGeoFailed);
  }
  std::memset(matrix, kUnknown, static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  gap *= 1.5;
  stockRestGroupOverlaps(a, n);
  for (int i = 0; i < n; ++i)
    if (stockRestPocketContour(a, i) < 0) {
      memFree(result);
      memFree(matrix);
      return failAll(arr, kGeoFailed);
    }
  const int out = orderByGroups(a, n, gap, matrix, result);
  for (int i = 0; i < out; ++i) result[i].pocketContour = nullptr;
  for (int i = 0; i < n; ++i) freeWorkRegion(a[i]);
  memFree(a);
  memFree(matrix);
  *count = out;
  return result;
}
