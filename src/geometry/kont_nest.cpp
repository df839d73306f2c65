// kont_nest.cpp - nesting of loose contours into regions and region validation.
// Contours read from files, made by offsets or converted from other records arrive as a flat
// array; the Boolean operations, offsets and triangulation need valid regions.
#include "geometry/kont_nest.h"

#include <cstdlib>
#include <new>
#include <vector>

#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/lst_sort.h"

namespace {
constexpr double kSameHeight = 1e-6;  // contours this much below a group's first stay in it
constexpr double kCrossTol = 0.00001;

// A contour with its position in the input array, which breaks every tie so that the nesting
// repeats from run to run.
struct NestItem {
  Kont2D* k;
  int index;
};

int nestByIndex(const NestItem* a, const NestItem* b) {
  return a->index < b->index ? -1 : (a->index > b->index ? 1 : 0);
}

int nestCmpHeight(const void* pa, const void* pb) {
  const auto* a = static_cast<const NestItem*>(pa);
  const auto* b = static_cast<const NestItem*>(pb);
  if (a->k->z > b->k->z) return -1;
  if (a->k->z < b->k->z) return 1;
  return nestByIndex(a, b);
}

// Even depths first, then ascending depth, then ascending xmin.
int nestCmpDepth(const void* pa, const void* pb) {
  const auto* a = static_cast<const NestItem*>(pa);
  const auto* b = static_cast<const NestItem*>(pb);
  const int oddA = a->k->depth & 1, oddB = b->k->depth & 1;
  if (oddA != oddB) return oddA - oddB;
  if (a->k->depth != b->k->depth) return a->k->depth < b->k->depth ? -1 : 1;
  if (a->k->xmin < b->k->xmin) return -1;
  if (a->k->xmin > b->k->xmin) return 1;
  return nestByIndex(a, b);
}

bool nestHasStart(const Kont2D* k) { return k->count > 0 && k->segments != nullptr; }

Point2D nestStart(const Kont2D* k) { return g2dSegStart(k->segments[0]); }

// Appends island q to r's island chain.
void nestAttachIsland(Kont2D* r, Kont2D* q) {
  if (r->child == nullptr) {
    r->child = q;
    q->prev = r;
    return;
  }
  Kont2D* last = r->child;
  while (last->next != nullptr) last = last->next;
  last->next = q;
  q->prev = last;
}

// Nests one height group in place; appends the group's region chain (in order) to chain and the
// attached islands to islands.
void nestGroup(NestItem* g, int n, std::vector<Kont2D*>& chain, std::vector<Kont2D*>& islands) {
  for (int i = 0; i < n; ++i) {
    Kont2D* k = g[i].k;
    k->depth = 0;
    if (!nestHasStart(k)) continue;
    const Point2D p = nestStart(k);
    for (int j = 0; j < n; ++j)
      if (j != i && geoPointInKont(p, g[j].k) != 0) ++k->depth;
  }
  lstSort(g, n, sizeof(NestItem), nestCmpDepth);
  std::vector<Kont2D*> orphans;
  for (int i = 0; i < n; ++i) {
    Kont2D* q = g[i].k;
    if ((q->depth & 1) == 0) {
      chain.push_back(q);
      continue;
    }
    // Each island hangs under exactly one container: the first in the group's order.
    Kont2D* container = nullptr;
    for (int j = 0; j < n && container == nullptr; ++j) {
      Kont2D* r = g[j].k;
      if ((r->depth & 1) == 0 && r->depth + 1 == q->depth && nestHasStart(q) &&
          geoPointInKont(nestStart(q), r) != 0)
        container = r;
    }
    if (container != nullptr) {
      nestAttachIsland(container, q);
      islands.push_back(q);
    } else {
      orphans.push_back(q);
    }
  }
  chain.insert(chain.end(), orphans.begin(), orphans.end());
}
}  // namespace

int kontNestArray(Kont2D** contours, int count) {
  if (contours == nullptr || count < 1) return 1;
  try {
    std::vector<NestItem> items;
    items.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
      if (contours[i] != nullptr) items.push_back(NestItem{contours[i], i});
    const int n = static_cast<int>(items.size());
    std::vector<Kont2D*> chain, islands;
    chain.reserve(items.size());
    islands.reserve(items.size());
    for (NestItem& it : items) it.k->prev = it.k->next = it.k->child = nullptr;
    lstSort(items.data(), n, sizeof(NestItem), nestCmpHeight);
    for (int start = 0; start < n;) {
      int end = start + 1;
      while (end < n && items[end].k->z > items[start].k->z - kSameHeight) ++end;
      nestGroup(&items[start], end - start, chain, islands);
      start = end;
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
      chain[i - 1]->next = chain[i];
      chain[i]->prev = chain[i - 1];
    }
    int w = 0;
    for (Kont2D* k : chain) contours[w++] = k;
    for (Kont2D* k : islands) contours[w++] = k;
    for (; w < count; ++w) contours[w] = nullptr;
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, "kont2d");
  }
  return 1;
}

int kontValidate(Kont2D* region, int flags) {
  if (kontGetSkipCheck() != 0) return 1;
  if (region == nullptr || region->count <= 0 || region->segments == nullptr) return 0;
  if ((flags & kKontCheckIslands) != 0 && region->child != nullptr) {
    const int o = kontOrientation(region);
    int islandCount = 0, sum = 0;
    for (const Kont2D* isl = region->child; isl != nullptr; isl = isl->next) {
      ++islandCount;
      if (isl->closed == 1) sum += kontOrientation(isl);
    }
    if (std::abs(sum) != islandCount || o * sum > 0) return geoFail(kKontBadIslands, "kont2d");
  }
  if ((flags & kKontCheckCrossing) != 0) {
    const int crossed = kontSelfIntersects(region, nullptr, 0, kCrossTol);
    if (crossed < 0) return crossed;
    if (crossed == 1) {
      if (geoDebugOn() == 1) {
        Kont2D* next = region->next;
        region->next = nullptr;
        kontAppendBndWz(region, "problem.bnd");
        region->next = next;
      }
      return geoFail(kKontSelfCrossing, "kont2d");
    }
  }
  return 1;
}

int kontSelfIntersects(const Kont2D* region, Pt2List* points, int all, double tol) {
  if (region == nullptr) return 0;
  int total = 0;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k))
    if (k->segments != nullptr && k->count > 0) total += k->count;
  if (total < 3) return 0;
  Seg2List* segs = lstSeg2New(total);
  if (segs == nullptr) return geoFail(kGeoFailed, "kont2d");
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      if (lstSeg2Append(segs, k->segments[i]) < 0) {
        lstBox2Free(segs);
        return geoFail(kGeoFailed, "kont2d");
      }
    }
  }
  const int result = lstSegSelfCross(segs, points, all, tol);
  lstBox2Free(segs);
  return result;
}
