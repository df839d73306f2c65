// pocket_grouping.cpp - containment of the job's contours, their orientation and pocket numbers,
// and the layer reordered pocket by pocket; the input check and the islands sorted by distance.
#include "pocket/pocket_grouping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"

namespace {

struct GroupingState {
  double innerTol = 0.02;
  double outerTol = 2.0;
  int groupCount = 0;
  int openFlag = 0;
};
GroupingState groupingState;

constexpr double kDepthTol = 0.00001;

// A contour of a layer read into a vector. count -1 when it cannot be read.
struct Contour {
  ContourHeader h{};
  std::vector<ContourElement> e;
  int count = -1;
};
Contour readContour(const char* name, int i) {
  Contour c;
  if (layerGetHeader(name, &c.h, i) != i) return c;
  c.e.resize(static_cast<std::size_t>(std::max(c.h.count, 1)));
  if (layerGetContour(name, c.e.data(), c.h.count, &c.h, i) != i) return c;
  c.count = c.h.count;
  return c;
}

enum class Near { On, Near, Clear };

// How contour a lies against contour b: every test point (an element's middle, then its start)
// within the inner tolerance (On), some beyond it (Near, with the farthest such point), or one
// beyond the outer tolerance (Clear, with that point).
Near testPoints(const Contour& a, const Contour& b, Point2D* point) {
  Near state = Near::On;
  double farthest = -1.0;
  for (int k = 0; k < a.count; ++k) {
    for (int which : {3, 1}) {
      Point2D p{};
      if (contElemPoint(a.e[static_cast<std::size_t>(k)], &p, which) != 1) continue;
      const double d = contMinDistance(p, b.e.data(), b.count);
      if (d > groupingState.outerTol) {
        *point = p;
        return Near::Clear;
      }
      if (d > groupingState.innerTol) {
        state = Near::Near;
        if (d > farthest) {
          farthest = d;
          *point = p;
        }
      }
    }
  }
  return state;
}

}  // namespace

int pockContainMatrix(const char* name, PockContainMatrix* out) {
  const int n = layerCount(name);
  std::vector<Contour> all;
  try {
    out->n = n;
    out->cells.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i) all.push_back(readContour(name, i));
  } catch (const std::bad_alloc&) {
    out->cells.clear();
    out->n = 0;
    return -1;
  }
  for (const Contour& c : all) {
    if (c.count <= 0) return 0;
  }
  const bool direct = pockEngine().pockDirectLinking != 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      Point2D p{};
      const Near state =
          testPoints(all[static_cast<std::size_t>(i)], all[static_cast<std::size_t>(j)], &p);
      if (direct && state != Near::Clear) {
        out->at(i, j) = all[static_cast<std::size_t>(j)].h.sequence != 0 ? 1 : -1;
        out->at(j, i) = -out->at(i, j);
        continue;
      }
      if (state != Near::On) {
        const Contour& b = all[static_cast<std::size_t>(j)];
        if (contWinding(b.e.data(), b.count, p) != 0) {
          out->at(i, j) = 1;
          out->at(j, i) = -1;
        }
      } else if (out->at(i, j) == 0) {
        // Every point of i lies on j and the pair is undecided from j's side: they coincide.
        return 0;
      }
    }
  }
  return 1;
}

int pockDirectParent(const PockContainMatrix& m, int i) {
  if (i < 0 || i >= m.n) return -1;
  auto depth = [&](int k) {
    int d = 0;
    for (int j = 0; j < m.n; ++j) d += m.at(k, j) == 1 ? 1 : 0;
    return d;
  };
  const int di = depth(i);
  if (di == 0) return -1;
  for (int j = 0; j < m.n; ++j) {
    if (m.at(i, j) == 1 && depth(j) == di - 1) return j;
  }
  return -1;
}

int pockParentInfo(const PockContainMatrix& m, const char* name, int i, double* zTopOut,
                   double* zBottomOut, int* groupOut, int* orientOut) {
  const int p = pockDirectParent(m, i);
  if (p < 0) return -1;
  ContourHeader h{};
  if (layerGetHeader(name, &h, p) != p) return -1;
  *zTopOut = h.zTop;
  *zBottomOut = h.zBottom;
  *groupOut = h.group;
  *orientOut = h.ccw != 0 ? 1 : -1;
  return p;
}

void pockSetSideFlags(ContourHeader* header, int dir, int orient) {
  header->leftSide = static_cast<std::uint8_t>((dir + 1) / 2);
  header->ccw = orient == dir ? header->leftSide : static_cast<std::uint8_t>(1 - header->leftSide);
}

namespace {

// Orients and groups one contour whose direct parent, if any, is grouped already.
int groupSingle(const PockContainMatrix& m, int i, int dir, const char* name, int multi) {
  Contour c = readContour(name, i);
  if (c.count < 0) return -1;
  if (c.h.group < kGroupPending) return 1;
  int orient = contOrientation(c.e.data(), c.count);
  auto reverse = [&]() {
    contReverse(c.e.data(), c.count);
    orient = -orient;
    if (c.h.sequence != 0) {
      c.h.sequence = static_cast<std::int16_t>(-c.h.sequence);
      groupingState.openFlag = 1;
    }
  };
  double ptop = 0.0;
  double pbottom = 0.0;
  int pgroup = 0;
  int porient = 0;
  const int p = pockParentInfo(m, name, i, &ptop, &pbottom, &pgroup, &porient);
  int group = 0;
  if (p < 0) {
    if (orient != dir) reverse();
    group = ++groupingState.groupCount;
  } else if (porient == dir) {
    if (c.h.zTop > pbottom + kDepthTol) {
      // An island of the parent's pocket.
      if (orient == dir && multi == 0) reverse();
      c.h.zBottom = pbottom;
      group = pgroup;
    } else {
      // The outer contour of a deeper pocket below the parent's floor.
      if (orient != dir) reverse();
      c.h.zTop = pbottom;
      group = ++groupingState.groupCount;
    }
  } else if (ptop + kDepthTol < c.h.zTop) {
    // It rises above the island: an island of the island's pocket.
    if (orient == dir && multi == 0) reverse();
    c.h.zBottom = ptop;
    group = pgroup;
  } else {
    // A pocket standing on the island.
    if (orient != dir) reverse();
    c.h.zTop = ptop;
    group = ++groupingState.groupCount;
  }
  c.h.group = static_cast<std::int16_t>(group);
  pockSetSideFlags(&c.h, dir, orient);
  return layerReplaceContour(name, c.e.data(), &c.h, i) == 1 ? 1 : -1;
}

}  // namespace

int pockGroupOne(const PockContainMatrix& m, int i, int dir, const char* name, int multi) {
  // The ancestors first, outermost first; the chain is walked without recursion.
  std::vector<int> chain;
  for (int k = i; k >= 0 && static_cast<int>(chain.size()) <= m.n; k = pockDirectParent(m, k)) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, k) != k) return -1;
    if (h.group < kGroupPending) break;
    chain.push_back(k);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (groupSingle(m, *it, dir, name, multi) < 0) return -1;
  }
  return 1;
}

std::vector<PockGroupEntry> pockGroupList(const char* name) {
  std::vector<PockGroupEntry> list;
  const int n = layerCount(name);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) continue;
    list.push_back(PockGroupEntry{h.ccw == h.leftSide ? 1 : 0, h.group});
  }
  return list;
}

int layerFindByParent(int value, const char* name) {
  if (value < 0) return -1;
  const int n = layerCount(name);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) == i && h.parent == value) return i;
  }
  return -1;
}

int layerHasUnsequenced(const char* name) {
  const int n = layerCount(name);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) == i && h.sequence < 0) return 1;
  }
  return 0;
}

int pockGroupPockets(const char* name, int dir, int multi, int* openFlagOut) {
  const bool direct = pockEngine().pockDirectLinking != 0;
  groupingState.innerTol = direct ? 0.005 : 0.02;
  groupingState.outerTol = direct ? 0.2 : 2.0;
  groupingState.openFlag = 0;
  groupingState.groupCount = 0;
  if (openFlagOut != nullptr) *openFlagOut = 0;
  const int n = layerCount(name);
  if (n <= 0) return 0;
  try {
    PockContainMatrix m;
    if (pockContainMatrix(name, &m) != 1) return -1;
    for (int i = 0; i < n; ++i) {
      ContourHeader h{};
      if (layerGetHeader(name, &h, i) != i) return -1;
      h.group = static_cast<std::int16_t>(kGroupPending);
      h.parent = static_cast<std::int16_t>(i);
      layerSetHeader(name, &h, i);
    }
    for (int i = 0; i < n; ++i) {
      if (pockGroupOne(m, i, dir, name, multi) < 0) return -1;
    }
    std::vector<Contour> all;
    for (int i = 0; i < n; ++i) all.push_back(readContour(name, i));
    const std::vector<PockGroupEntry> list = pockGroupList(name);
    layerClear(name);
    // The old position of each contour stays in its parent field until every contour is placed.
    for (int g = 1; g <= groupingState.groupCount; ++g) {
      for (int outer = 1; outer >= 0; --outer) {
        for (int i = 0; i < n; ++i) {
          const PockGroupEntry& e = list[static_cast<std::size_t>(i)];
          if (e.group != g || e.isOuter != outer) continue;
          Contour& c = all[static_cast<std::size_t>(i)];
          c.h.group = static_cast<std::int16_t>(g);
          if (layerInsertContour(name, c.e.data(), &c.h, -1) != 1) return -1;
        }
      }
    }
    // Each contour's parent becomes the new position of its direct parent; the new positions are
    // looked up before any parent field is overwritten.
    const int placed = layerCount(name);
    std::vector<int> parents(static_cast<std::size_t>(placed), -1);
    for (int k = 0; k < placed; ++k) {
      ContourHeader h{};
      if (layerGetHeader(name, &h, k) != k) continue;
      parents[static_cast<std::size_t>(k)] = layerFindByParent(pockDirectParent(m, h.parent), name);
    }
    for (int k = 0; k < placed; ++k) {
      ContourHeader h{};
      if (layerGetHeader(name, &h, k) != k) continue;
      h.parent = static_cast<std::int16_t>(parents[static_cast<std::size_t>(k)]);
      layerSetHeader(name, &h, k);
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (direct && openFlagOut != nullptr) *openFlagOut = groupingState.openFlag;
  return groupingState.groupCount;
}

int ringCheckInput(const char* name) {
  const Contour first = readContour(name, 0);
  if (first.count <= 0) {
    pockMessage(3024);
    return -1;
  }
  const int n = layerCount(name);
  std::vector<IntersectionRecord> records(8);
  for (int i = 1; i < n; ++i) {
    const Contour c = readContour(name, i);
    if (c.count <= 0) continue;
    const int hits = isectContours(c.e.data(), c.count, first.e.data(), first.count, records.data(),
                                   static_cast<int>(records.size()));
    if (hits > 0) continue;
    if (isectContourInsideOf(c.e.data(), c.count, first.e.data(), first.count) != 0) continue;
    pockMessage(kPockCodeOutsidePocket);
    return 0;
  }
  return 1;
}

int pockCompareDistance(const void* a, const void* b) {
  const auto* p = static_cast<const PockDistancePair*>(a);
  const auto* q = static_cast<const PockDistancePair*>(b);
  if (p->distance < q->distance) return -1;
  if (p->distance > q->distance) return 1;
  return p->position < q->position ? -1 : (p->position > q->position ? 1 : 0);
}

int pockSortIslandsByDistance(const char* name) {
  const int n = layerCount(name);
  if (n <= 2) return 0;
  try {
    const Contour second = readContour(name, 1);
    if (second.count < 0) return -1;
    std::vector<PockDistancePair> pairs{{1, 0.0}};
    std::vector<Contour> all(static_cast<std::size_t>(n));
    all[1] = second;
    for (int i = 2; i < n; ++i) {
      all[static_cast<std::size_t>(i)] = readContour(name, i);
      const Contour& c = all[static_cast<std::size_t>(i)];
      if (c.count < 0) return -1;
      pairs.push_back(PockDistancePair{
          i, linkContoursMinDistance(second.e.data(), second.count, c.e.data(), c.count)});
    }
    std::qsort(pairs.data(), pairs.size(), sizeof(PockDistancePair), pockCompareDistance);
    std::reverse(pairs.begin(), pairs.end());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      const Contour& c = all[static_cast<std::size_t>(pairs[k].position)];
      if (layerReplaceContour(name, c.e.data(), &c.h, static_cast<int>(k) + 1) != 1) return -1;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 1;
}

int pockGroupCount() { return groupingState.groupCount; }

void pockGroupingResetState() { groupingState = GroupingState{}; }
