// kont_boolean.cpp - union, intersection and difference of region lists.
// Every segment of one operand is cut at its crossings with the other, each piece classified as
// inside or outside the other operand, the pieces the mode asks for kept, doubled boundary pieces
// removed and the rest chained into closed contours, which are nested into a new region list.
#include "geometry/kont_boolean.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "geometry/bucket_grid.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/kont_snapshot.h"
#include "geometry/plane_geo.h"

namespace {

constexpr double kCloseTol = 1e-8;   // contour closure, equal pieces, chaining, collinear overlap
constexpr double kSnapTol = 1e-6;    // a cut point this close to a segment end becomes that end
constexpr double kPieceTol = 1e-12;  // shorter pieces are dropped
constexpr int kContourRoom = 100;

// Piece classes.
enum : int {
  kAInB = 1,
  kBInA = 2,
  kAOutB = 3,
  kBOutA = 4,
  kASame = 5,  // A piece with an equal piece running the same way
  kBSame = 6,
  kAOpposite = 7,  // A piece with an equal piece running the other way
  kBOpposite = 8,
  kDropped = -1,
};

struct BoolPiece {
  double x1, y1, x2, y2;
  int cls;
};

struct BoolCut {
  int a;      // segment index in A
  int b;      // segment index in B
  int point;  // index into the cut points
};

// The working lists of one operation.
struct BoolContext {
  Kont2D* a = nullptr;
  Kont2D* b = nullptr;
  int mode = 0;
  std::vector<BoolPiece> pieces;
  std::vector<BoolCut> cuts;
  std::vector<Point2D> points;
  std::vector<Seg2D> segsA, segsB;
  std::vector<Kont2D*> results;  // in creation order, which also orders the nesting
};

bool boolNear(double x1, double y1, double x2, double y2) {
  return std::fabs(x1 - x2) < kCloseTol && std::fabs(y1 - y2) < kCloseTol;
}

double* boolPieceBox(double* out, const void* item) {
  const auto* p = static_cast<const BoolPiece*>(item);
  out[0] = std::fmin(p->x1, p->x2);
  out[1] = std::fmin(p->y1, p->y2);
  out[2] = std::fmax(p->x1, p->x2);
  out[3] = std::fmax(p->y1, p->y2);
  return out;
}

// Closes every contour of the list onto itself and appends its segments to out. Returns 1; -20
// when the first contour has fewer than 3 segments or a contour does not close within 1e-8.
int boolCollect(Kont2D* list, std::vector<Seg2D>& out) {
  if (list->segments == nullptr || list->count < 3) return geoFail(kGeoBadArgument, "kont2d");
  for (Kont2D* region = list; region != nullptr; region = region->next) {
    for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->count <= 0 || k->segments == nullptr) continue;
      Seg2D* s = k->segments;
      for (int i = 1; i < k->count; ++i) {
        s[i].x1 = s[i - 1].x2;
        s[i].y1 = s[i - 1].y2;
      }
      Seg2D& last = s[k->count - 1];
      if (std::fabs(last.x2 - s[0].x1) > kCloseTol || std::fabs(last.y2 - s[0].y1) > kCloseTol)
        return geoFail(kGeoBadArgument, "kont2d");
      last.x2 = s[0].x1;
      last.y2 = s[0].y1;
      out.insert(out.end(), s, s + k->count);
    }
  }
  return 1;
}

void boolAddCut(BoolContext& c, int ia, int ib, const Point2D& p) {
  c.cuts.push_back({ia, ib, static_cast<int>(c.points.size())});
  c.points.push_back(p);
}

// The cut points of one segment of A with one of B that touch or cross.
void boolCutPair(BoolContext& c, int ia, int ib) {
  const Seg2D& sa = c.segsA[ia];
  const Seg2D& sb = c.segsB[ib];
  Point2D p{};
  if (geoLineLineCutTol(sa, sb, kCloseTol, &p) == 1) {
    const Point2D ends[4] = {{sa.x1, sa.y1}, {sa.x2, sa.y2}, {sb.x1, sb.y1}, {sb.x2, sb.y2}};
    for (const Point2D& e : ends) {
      if (geoPtsClose(p, e, kSnapTol) == 1) {
        p = e;
        break;
      }
    }
    boolAddCut(c, ia, ib, p);
    return;
  }
  // Collinear overlap: the four ends ordered along the axis of the larger extent.
  struct Param {
    double s;
    Point2D p;
  };
  Param q[4] = {{0, {sa.x1, sa.y1}}, {0, {sa.x2, sa.y2}}, {0, {sb.x1, sb.y1}}, {0, {sb.x2, sb.y2}}};
  double xmin = DBL_MAX, xmax = -DBL_MAX, ymin = DBL_MAX, ymax = -DBL_MAX;
  for (const Param& e : q) {
    xmin = std::fmin(xmin, e.p.x);
    xmax = std::fmax(xmax, e.p.x);
    ymin = std::fmin(ymin, e.p.y);
    ymax = std::fmax(ymax, e.p.y);
  }
  const bool alongX = xmax - xmin > ymax - ymin;
  for (Param& e : q) e.s = alongX ? e.p.x - sa.x1 : e.p.y - sa.y1;
  std::stable_sort(q, q + 4, [](const Param& l, const Param& r) { return l.s < r.s; });
  const bool lowEqual = std::fabs(q[0].s - q[1].s) < kCloseTol;
  const bool highEqual = std::fabs(q[2].s - q[3].s) < kCloseTol;
  if ((lowEqual && highEqual) || std::fabs(q[1].s - q[2].s) < kCloseTol) return;
  if (highEqual) {
    boolAddCut(c, ia, ib, q[1].p);
  } else if (!lowEqual) {
    boolAddCut(c, ia, ib, q[1].p);
    boolAddCut(c, ia, ib, q[2].p);
  } else {
    boolAddCut(c, ia, ib, q[2].p);
  }
}

// Every pair of an A and a B segment is tested; boxes, made once per B segment, reject most
// pairs cheaply.
void boolFindCuts(BoolContext& c) {
  struct Box {
    double xmin, ymin, xmax, ymax;
  };
  auto boxOf = [](const Seg2D& s) {
    return Box{std::min(s.x1, s.x2), std::min(s.y1, s.y2), std::max(s.x1, s.x2),
               std::max(s.y1, s.y2)};
  };
  std::vector<Box> boxesB(c.segsB.size());
  for (std::size_t ib = 0; ib < c.segsB.size(); ++ib) boxesB[ib] = boxOf(c.segsB[ib]);
  for (int ia = 0; ia < static_cast<int>(c.segsA.size()); ++ia) {
    const Box ba = boxOf(c.segsA[ia]);
    for (int ib = 0; ib < static_cast<int>(c.segsB.size()); ++ib) {
      const Box& bb = boxesB[ib];
      if (bb.xmax < ba.xmin || bb.xmin > ba.xmax || bb.ymax < ba.ymin || bb.ymin > ba.ymax)
        continue;
      if (geoSegsCross(c.segsA[ia], c.segsB[ib]) == 1) boolCutPair(c, ia, ib);
    }
  }
}

// 1 when p lies inside some region of the list.
bool boolInside(const Kont2D* list, const Point2D& p) {
  for (const Kont2D* region = list; region != nullptr; region = region->next)
    if (kontClassifyPoint(region, p) == 2) return true;
  return false;
}

// Splits the segments of one operand at their cut points and classifies each piece against the
// other operand. side 0 splits A (cut field a), side 1 splits B.
void boolSplit(BoolContext& c, int side) {
  const std::vector<Seg2D>& segs = side == 0 ? c.segsA : c.segsB;
  const Kont2D* other = side == 0 ? c.b : c.a;
  const int inside = side == 0 ? kAInB : kBInA;
  const int outside = side == 0 ? kAOutB : kBOutA;
  auto segOf = [side](const BoolCut& cut) { return side == 0 ? cut.a : cut.b; };
  // Cut order: segment, then distance from the segment's start, then creation.
  std::vector<double> dist(c.cuts.size());
  std::vector<int> order(c.cuts.size());
  for (std::size_t i = 0; i < c.cuts.size(); ++i) {
    const Seg2D& s = segs[segOf(c.cuts[i])];
    const Point2D& p = c.points[c.cuts[i].point];
    dist[i] = std::hypot(p.x - s.x1, p.y - s.y1);
    order[i] = static_cast<int>(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](int l, int r) {
    if (segOf(c.cuts[l]) != segOf(c.cuts[r])) return segOf(c.cuts[l]) < segOf(c.cuts[r]);
    return dist[l] < dist[r];
  });
  auto addPiece = [&](double x1, double y1, double x2, double y2) {
    if (std::fabs(x1 - x2) <= kPieceTol && std::fabs(y1 - y2) <= kPieceTol) return;
    const Point2D mid{0.5 * (x1 + x2), 0.5 * (y1 + y2)};
    c.pieces.push_back({x1, y1, x2, y2, boolInside(other, mid) ? inside : outside});
  };
  std::size_t next = 0;
  for (int i = 0; i < static_cast<int>(segs.size()); ++i) {
    const Seg2D& s = segs[i];
    double x = s.x1, y = s.y1;
    for (; next < order.size() && segOf(c.cuts[order[next]]) == i; ++next) {
      const Point2D& p = c.points[c.cuts[order[next]].point];
      addPiece(x, y, p.x, p.y);
      x = p.x;
      y = p.y;
    }
    addPiece(x, y, s.x2, s.y2);
  }
}

bool boolClassIsEqual(int cls) { return cls >= kASame && cls <= kBOpposite; }

// Marks pieces that run along an equal piece: 5/6 the same way, 7/8 the other way.
int boolMarkDoubled(BoolContext& c) {
  const int n = static_cast<int>(c.pieces.size());
  BucketGrid* grid = gridBucketBuild(c.pieces.data(), sizeof(BoolPiece), n, 0.0, boolPieceBox);
  if (grid == nullptr) return geoFail(kGeoFailed, "kont2d");
  for (int i = 0; i < n; ++i) {
    BoolPiece& pi = c.pieces[i];
    if (boolClassIsEqual(pi.cls)) continue;
    const IntList* cell = gridBucketCell(grid, pi.x1, pi.y1);
    for (int k = 0; cell != nullptr && k < cell->count && !boolClassIsEqual(pi.cls); ++k) {
      const int j = cell->items[k];
      if (j <= i) continue;
      BoolPiece& pj = c.pieces[j];
      if (boolClassIsEqual(pj.cls)) continue;
      const bool isA = pi.cls == kAInB || pi.cls == kAOutB;
      const bool jsA = pj.cls == kAInB || pj.cls == kAOutB;
      if (boolNear(pi.x1, pi.y1, pj.x1, pj.y1) && boolNear(pi.x2, pi.y2, pj.x2, pj.y2)) {
        pi.cls = isA ? kASame : kBSame;
        pj.cls = jsA ? kASame : kBSame;
      } else if (boolNear(pi.x2, pi.y2, pj.x1, pj.y1) && boolNear(pi.x1, pi.y1, pj.x2, pj.y2)) {
        pi.cls = isA ? kAOpposite : kBOpposite;
        pj.cls = jsA ? kAOpposite : kBOpposite;
      }
    }
  }
  gridBucketFree(grid);
  return 1;
}

void boolCompact(std::vector<BoolPiece>& pieces) {
  pieces.erase(std::remove_if(pieces.begin(), pieces.end(),
                              [](const BoolPiece& p) { return p.cls == kDropped; }),
               pieces.end());
}

// Keeps the pieces of the mode, then drops doubles among them: both of an opposite pair, the
// later one of a same-direction pair.
int boolSelect(BoolContext& c) {
  for (BoolPiece& p : c.pieces) {
    const int k = p.cls;
    bool keep = false;
    if (c.mode == kKontUnion) {
      keep = k == kAOutB || k == kASame || k == kBOutA || k == kBSame;
    } else if (c.mode == kKontIntersection) {
      keep = k == kAInB || k == kASame || k == kAOpposite || k == kBInA || k == kBSame ||
             k == kBOpposite;
    } else {
      keep = k == kAOutB || k == kAOpposite || k == kBInA || k == kBOpposite;
      if (k == kBInA || k == kBOpposite) {
        std::swap(p.x1, p.x2);
        std::swap(p.y1, p.y2);
      }
    }
    if (!keep) p.cls = kDropped;
  }
  boolCompact(c.pieces);
  const int n = static_cast<int>(c.pieces.size());
  BucketGrid* grid = gridBucketBuild(c.pieces.data(), sizeof(BoolPiece), n, 0.0, boolPieceBox);
  if (grid == nullptr) return geoFail(kGeoFailed, "kont2d");
  for (int i = 0; i < n; ++i) {
    BoolPiece& pi = c.pieces[i];
    const IntList* cell = gridBucketCell(grid, pi.x1, pi.y1);
    for (int k = 0; cell != nullptr && k < cell->count && pi.cls != kDropped; ++k) {
      const int j = cell->items[k];
      BoolPiece& pj = c.pieces[j];
      if (j <= i || pj.cls == kDropped) continue;
      if (boolNear(pi.x2, pi.y2, pj.x1, pj.y1) && boolNear(pi.x1, pi.y1, pj.x2, pj.y2)) {
        pi.cls = kDropped;
        pj.cls = kDropped;
      } else if (boolNear(pi.x1, pi.y1, pj.x1, pj.y1) && boolNear(pi.x2, pi.y2, pj.x2, pj.y2)) {
        pj.cls = kDropped;
      }
    }
  }
  gridBucketFree(grid);
  boolCompact(c.pieces);
  return 1;
}

// Writes both operands for inspection when the debug switch is on.
void boolDumpProblem(const BoolContext& c) {
  if (geoDebugOn() == 0) return;
  std::remove("problem1.bnd");
  std::remove("problem2.bnd");
  kontAppendBndWz(c.a, "problem1.bnd");
  kontAppendBndWz(c.b, "problem2.bnd");
}

// Chains the pieces into closed contours, lowest free index first.
int boolChain(BoolContext& c) {
  const int n = static_cast<int>(c.pieces.size());
  if (n == 0) return 1;
  BucketGrid* grid = gridBucketBuild(c.pieces.data(), sizeof(BoolPiece), n, 0.0, boolPieceBox);
  if (grid == nullptr) return geoFail(kGeoFailed, "kont2d");
  std::vector<char> used(n, 0);
  int freeLeft = n;
  int lowest = 0;
  int result = 1;
  while (freeLeft > 0 && result == 1) {
    while (used[lowest] != 0) ++lowest;
    Kont2D* k = kontNew(nullptr, std::min(n, kContourRoom));
    if (k == nullptr) {
      result = -1;
      break;
    }
    c.results.push_back(k);
    auto take = [&](int i) {
      const BoolPiece& p = c.pieces[i];
      const Seg2D s{p.x1, p.y1, p.x2, p.y2};
      used[i] = 1;
      --freeLeft;
      return kontAppendSeg(k, &s) == 1 ? 1 : -1;
    };
    result = take(lowest);
    while (result == 1 && freeLeft > 0) {
      const Seg2D& first = k->segments[0];
      const Seg2D& last = k->segments[k->count - 1];
      if (boolNear(first.x1, first.y1, last.x2, last.y2)) break;
      const IntList* cell = gridBucketCell(grid, last.x2, last.y2);
      int found = -1;
      if (cell != nullptr) {
        for (int m = 0; m < cell->count && found < 0; ++m) {
          const int j = cell->items[m];
          if (used[j] == 0 && boolNear(c.pieces[j].x1, c.pieces[j].y1, last.x2, last.y2)) found = j;
        }
      } else {
        for (int j = 0; j < n && found < 0; ++j)
          if (used[j] == 0 && boolNear(c.pieces[j].x1, c.pieces[j].y1, last.x2, last.y2)) found = j;
      }
      if (found < 0) {
        boolDumpProblem(c);
        result = kKontChainBroken;
        break;
      }
      result = take(found);
    }
    if (result != 1) break;
    k->z = 0.0;
    Seg2D& last = k->segments[k->count - 1];
    last.x2 = k->segments[0].x1;
    last.y2 = k->segments[0].y1;
    k->closed = 1;
  }
  gridBucketFree(grid);
  if (result == -1) return geoFail(kGeoFailed, "kont2d");
  if (result < 0) return geoFail(result, "kont2d");
  return 1;
}

// Copies every contour of the list into the results, each with z and closed of its region's
// outer contour.
int boolCopyAll(BoolContext& c, const Kont2D* list) {
  for (const Kont2D* region = list; region != nullptr; region = region->next) {
    for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
      if (k->count <= 0 || k->segments == nullptr) continue;
      Kont2D* copy = kontNew(nullptr, k->count);
      if (copy == nullptr) return geoFail(kGeoFailed, "kont2d");
      c.results.push_back(copy);
      for (int i = 0; i < k->count; ++i)
        if (kontAppendSeg(copy, &k->segments[i]) != 1) return geoFail(kGeoFailed, "kont2d");
      copy->z = region->z;
      copy->closed = region->closed;
    }
  }
  return 1;
}

// A result contour with its creation index, depth and container (creation index, -1 for none).
struct BoolNestItem {
  Kont2D* k;
  int index;
  int depth;
  int container;
};

void boolAppendIsland(Kont2D* outer, Kont2D* island) {
  island->next = nullptr;
  if (outer->child == nullptr) {
    outer->child = island;
    island->prev = outer;
    return;
  }
  Kont2D* last = outer->child;
  while (last->next != nullptr) last = last->next;
  last->next = island;
  island->prev = last;
}

// The share of k's segment start points inside e exceeds half of k's segments.
bool boolMostlyInside(const Kont2D* k, const Kont2D* e) {
  int in = 0;
  for (int i = 0; i < k->count; ++i)
    in += geoPointInKont(Point2D{k->segments[i].x1, k->segments[i].y1}, e) != 0;
  return in > k->count / 2;
}

// The point of k that decides whether k lies inside e: its first point, unless that is also a
// corner of e (two results touching there, where the crossing parity says nothing about k), then
// the first of k's corners that e does not share. Result contours do not cross, so any point of k
// off e answers for all of k.
Point2D boolProbePoint(const Kont2D* k, const Kont2D* e) {
  for (int i = 0; i < k->count; ++i) {
    const Point2D p{k->segments[i].x1, k->segments[i].y1};
    bool shared = false;
    for (int m = 0; m < e->count && !shared; ++m)
      shared = boolNear(p.x, p.y, e->segments[m].x1, e->segments[m].y1);
    if (!shared) return p;
  }
  return Point2D{k->segments[0].x1, k->segments[0].y1};
}

// Nests the results into a region list headed by the returned contour. Every contour is linked
// exactly once: a contour that finds no usable container becomes a region of its own.
Kont2D* boolNest(std::vector<Kont2D*>& res) {
  const int n = static_cast<int>(res.size());
  std::vector<BoolNestItem> items(n);
  int maxDepth = 0;
  for (int i = 0; i < n; ++i) {
    items[i] = {res[i], i, 0, -1};
    for (int j = 0; j < n; ++j) {
      if (j == i || geoPointInKont(boolProbePoint(res[i], res[j]), res[j]) == 0) continue;
      ++items[i].depth;
      items[i].container = j;
    }
    maxDepth = std::max(maxDepth, items[i].depth);
  }
  std::vector<Kont2D*> chain;
  chain.reserve(n);
  for (Kont2D* k : res) {
    k->prev = k->next = k->child = nullptr;
  }
  for (const BoolNestItem& it : items) it.k->depth = it.depth;
  if (maxDepth <= 1) {
    std::stable_sort(items.begin(), items.end(), [](const BoolNestItem& l, const BoolNestItem& r) {
      if (l.depth != r.depth) return l.depth < r.depth;
      if (l.container != r.container) return l.container < r.container;
      return l.index < r.index;
    });
    for (const BoolNestItem& it : items) {
      const bool island = it.depth == 1 && it.container >= 0 && res[it.container]->depth == 0;
      if (island)
        boolAppendIsland(res[it.container], it.k);
      else
        chain.push_back(it.k);
    }
  } else {
    std::stable_sort(items.begin(), items.end(), [](const BoolNestItem& l, const BoolNestItem& r) {
      const int oddL = l.depth & 1, oddR = r.depth & 1;
      if (oddL != oddR) return oddL < oddR;
      if (l.depth != r.depth) return l.depth < r.depth;
      if (l.k->xmin != r.k->xmin) return l.k->xmin < r.k->xmin;
      return l.index < r.index;
    });
    std::vector<Kont2D*> evens;
    for (const BoolNestItem& it : items)
      if ((it.depth & 1) == 0) evens.push_back(it.k);
    chain = evens;
    for (const BoolNestItem& it : items) {
      if ((it.depth & 1) == 0) continue;
      Kont2D* holder = nullptr;
      for (Kont2D* e : evens) {
        if (e->depth + 1 == it.depth && boolMostlyInside(it.k, e)) {
          holder = e;
          break;
        }
      }
      if (holder != nullptr)
        boolAppendIsland(holder, it.k);
      else
        chain.push_back(it.k);
    }
  }
  for (std::size_t i = 0; i < chain.size(); ++i) {
    chain[i]->prev = i > 0 ? chain[i - 1] : nullptr;
    chain[i]->next = i + 1 < chain.size() ? chain[i + 1] : nullptr;
  }
  return chain.empty() ? nullptr : chain[0];
}

// Frees results that are not linked to each other yet.
void boolFreeLoose(std::vector<Kont2D*>& res) {
  for (Kont2D* k : res) {
    k->prev = k->next = k->child = nullptr;
    kontFree(k);
  }
  res.clear();
}

int boolRun(BoolContext& c, Kont2D** out) {
  if (c.a == nullptr || c.b == nullptr) {
    const Kont2D* present = c.a != nullptr ? c.a : c.b;
    const bool copy =
        present != nullptr && (c.a == nullptr ? c.mode == kKontUnion : c.mode != kKontIntersection);
    if (!copy) return 0;
    const int r = boolCopyAll(c, present);
    if (r < 0) return r;
  } else {
    int r = boolCollect(c.a, c.segsA);
    if (r == 1) r = boolCollect(c.b, c.segsB);
    if (r < 0) return r;
    boolFindCuts(c);
    boolSplit(c, 0);
    boolSplit(c, 1);
    if ((r = boolMarkDoubled(c)) < 0 || (r = boolSelect(c)) < 0 || (r = boolChain(c)) < 0) return r;
  }
  if (c.results.empty()) return 0;
  *out = boolNest(c.results);
  c.results.clear();  // owned by the list now
  return 1;
}

// ---- scaled retries ---------------------------------------------------------------------------

// Applies f to every region of the list.
template <typename F>
void boolEachRegion(Kont2D* list, F f) {
  for (Kont2D* region = list; region != nullptr; region = region->next) f(region);
}

void boolScaleList(Kont2D* list, double s) {
  boolEachRegion(list, [s](Kont2D* r) { kontScale(r, s); });
}

void boolMoveList(Kont2D* list, double dx, double dy) {
  boolEachRegion(list, [dx, dy](Kont2D* r) { kontTranslate(r, dx, dy, 0.0); });
}

struct BoolScales {
  double s[10];
  double cx, cy;  // centre of the common box
};

// Smallest and largest extent and the common box of the outer contours of both lists; the first
// scale brings the smallest extent to 1, the last the largest to 1e8.
BoolScales boolScaleSteps(const Kont2D* a, const Kont2D* b) {
  double emin = DBL_MAX, emax = -DBL_MAX;
  double xmin = DBL_MAX, ymin = DBL_MAX, xmax = -DBL_MAX, ymax = -DBL_MAX;
  for (const Kont2D* list : {a, b}) {
    for (const Kont2D* r = list; r != nullptr; r = r->next) {
      const double w = r->xmax - r->xmin, h = r->ymax - r->ymin;
      emin = std::fmin(emin, std::fmin(w, h));
      emax = std::fmax(emax, std::fmax(w, h));
      xmin = std::fmin(xmin, r->xmin);
      ymin = std::fmin(ymin, r->ymin);
      xmax = std::fmax(xmax, r->xmax);
      ymax = std::fmax(ymax, r->ymax);
    }
  }
  BoolScales sc{};
  sc.s[0] = emin > 1e-8 ? 1.0 / emin : 1e8;
  sc.s[9] = emax > 1.0 ? 1e8 / emax : 1e8;
  for (int k = 1; k <= 8; ++k) sc.s[k] = sc.s[0] + (sc.s[9] - sc.s[0]) * k / 9.0;
  sc.cx = 0.5 * (xmin + xmax);
  sc.cy = 0.5 * (ymin + ymax);
  return sc;
}

// Copies an operand for the Boolean operations through a region holder: a text snapshot parsed
// back with outer orientation +1 and constant z, which rounds x and y to six decimals, re-nests,
// orients and validates the copy. The copy is handed over to the caller; a copy that cannot be
// made (an invalid operand, no memory) fails the operation with -1. An operand without a contour
// of three points copies to an empty list and counts as a null operand.
int kontBoolCopyViaSnapshot(const Kont2D* list, Kont2D** copy) {
  *copy = nullptr;
  if (list == nullptr) return 1;  // a null operand gives an empty copy
  KontHolder* holder = kontHolderInit(list);
  if (holder == nullptr) return geoFail(kGeoFailed, "kont2d");
  *copy = holder->list;
  holder->list = nullptr;
  kontHolderFree(holder);
  return 1;
}

}  // namespace

int kontBoolean(Kont2D* a, Kont2D* b, int mode, Kont2D** out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "kont2d");
  *out = nullptr;
  if (mode < kKontUnion || mode > kKontDifference) return geoFail(kGeoBadArgument, "kont2d");
  BoolContext c;
  c.a = a;
  c.b = b;
  c.mode = mode;
  int r = 0;
  try {
    r = boolRun(c, out);
  } catch (const std::bad_alloc&) {
    r = geoFail(kGeoFailed, "kont2d");
  }
  if (r != 1) boolFreeLoose(c.results);
  return r;
}

int kontBooleanScaled(Kont2D* copyA, Kont2D* copyB, int mode, Kont2D** out) {
  if (out == nullptr) return geoFail(kGeoBadArgument, "kont2d");
  *out = nullptr;
  if (mode < kKontUnion || mode > kKontDifference) return geoFail(kGeoBadArgument, "kont2d");
  int r = kontBoolean(copyA, copyB, mode, out);
  if (r >= 0) return r;
  const BoolScales sc = boolScaleSteps(copyA, copyB);
  const double dx = -sc.cx, dy = -sc.cy;
  boolMoveList(copyA, dx, dy);
  boolMoveList(copyB, dx, dy);
  for (int i = 0; i < 10 && r < 0; ++i) {
    boolScaleList(copyA, sc.s[i]);
    boolScaleList(copyB, sc.s[i]);
    r = kontBoolean(copyA, copyB, mode, out);
    if (r == 1) {
      boolScaleList(*out, 1.0 / sc.s[i]);
      boolMoveList(*out, -dx, -dy);
      boolEachRegion(*out, [](Kont2D* region) {
        for (Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) kontUpdateBox(k);
      });
      char text[96];
      std::snprintf(text, sizeof text, "Erfolg mit Skalierung %lf \n", sc.s[i]);
      geoErrLog(text);
    }
    boolScaleList(copyA, 1.0 / sc.s[i]);
    boolScaleList(copyB, 1.0 / sc.s[i]);
  }
  boolMoveList(copyA, -dx, -dy);
  boolMoveList(copyB, -dx, -dy);
  return r;
}

int kontBooleanSafe(const Kont2D* a, const Kont2D* b, int mode, Kont2D** out) {
  if (out == nullptr) return -20;
  *out = nullptr;
  if (a == nullptr && b == nullptr) return 0;
  if (mode < kKontUnion || mode > kKontDifference) return -20;
  Kont2D* copyA = nullptr;
  Kont2D* copyB = nullptr;
  if (kontBoolCopyViaSnapshot(a, &copyA) < 0 || kontBoolCopyViaSnapshot(b, &copyB) < 0) {
    kontFree(copyA);
    kontFree(copyB);
    return geoFail(kGeoFailed, "kont2d");
  }
  const int r = kontBooleanScaled(copyA, copyB, mode, out);
  kontFree(copyA);
  kontFree(copyB);
  return r;
}
