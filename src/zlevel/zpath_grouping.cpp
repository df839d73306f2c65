// zpath_grouping.cpp - nearest-corner chains, pocket groups through the levels with their start
// points, island sub-groups, the order of groups and the region order of a region's Z paths.
#include "zlevel/zpath_grouping.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <source_location>
#include <utility>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "geometry/plane_geo.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_order.h"

namespace {

constexpr const char* kErrFile = "Zpath";
constexpr double kLevelTol = 1e-5;  // paths of one level
constexpr double kRunTol = 0.001;   // runs of the nearest-corner chain
constexpr double kStartStep = 0.1;  // start points beside a vertical leftmost edge or an island
constexpr double kInsideCollapse = 0.0001;
constexpr double kIslandCollapse = 0.01;
constexpr double kFrameMargin = 10.0;
constexpr int kStartPoints = 30;  // first room of the start-point lists

int zpathGroupFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kErrFile, static_cast<int>(at.line()));
  return code;
}

// The shell sort with diminishing gaps (1, or 4, 13, 40, ... up to n / 9) for any n: every element
// x from position gap on moves back in steps of gap past each y for which after(y, x) holds.
template <class T, class After>
void zpathShellSort(T* a, int n, After after) {
  int gap = 1;
  if (n / 9 >= 2) {
    gap = 4;
    while (gap < n / 9) gap = 3 * gap + 1;
  }
  for (; gap > 0; gap /= 3) {
    for (int i = gap; i < n; ++i) {
      T x = a[i];
      int j = i;
      while (j >= gap && after(a[j - gap], x)) {
        a[j] = a[j - gap];
        j -= gap;
      }
      a[j] = x;
    }
  }
}

bool sameLevel(double a, double b) { return std::fabs(a - b) < kLevelTol; }

Point2D corner(const ZPath& p) { return Point2D{p.xmin, p.ymin}; }

double dist2(const Point2D& a, const Point2D& b) {
  const double dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}

Point2D firstPoint(const ZPath& p) {
  return Point2D{static_cast<double>(p.points[0]), static_cast<double>(p.points[1])};
}

bool hasPoints(const ZPath& p) { return p.count > 0 && p.points != nullptr; }

// q is p's direct parent: q closed, both with points and depths of at least 0, depth(p) =
// depth(q) + 1, and q holds p's first point.
bool directParent(const ZPath& p, const ZPath& q) {
  return q.closed != 0 && hasPoints(p) && hasPoints(q) && p.nestingDepth >= 0 &&
         q.nestingDepth >= 0 && p.nestingDepth == q.nestingDepth + 1 &&
         zpathContainsPoint(firstPoint(p), &q) == 1;
}

// Two different paths are siblings: equal depths, and both at depth 0 or a third path of the
// list the direct parent of both.
bool siblings(const ZPathList* list, int a, int b) {
  const ZPath& p = list->items[a];
  const ZPath& q = list->items[b];
  if (a == b || p.nestingDepth != q.nestingDepth) return false;
  if (p.nestingDepth == 0) return true;
  for (int k = 0; k < list->count; ++k) {
    if (k == a || k == b) continue;
    const ZPath& r = list->items[k];
    if (directParent(p, r) && directParent(q, r)) return true;
  }
  return false;
}

// The free area of a path: inside it without material inside, outside it with material inside.
bool inFreeArea(const Point2D& pt, const ZPath& p) {
  const bool inside = zpathContainsPoint(pt, &p) == 1;
  return p.materialInside == 1 ? !inside : inside;
}

int findStartPoint(const ZPath* path, Point2D* out, bool materialRule, double collapse,
                   int failCode) {
  if (path == nullptr || out == nullptr) return -1;
  if (path->count < 3 || path->points == nullptr) return 0;
  const int n = path->count;
  int ia = 0;
  for (int i = 1; i < n; ++i) {
    if (path->points[2 * i] < path->points[2 * ia]) ia = i;
  }
  auto pt = [path](int i) {
    return Point2D{static_cast<double>(path->points[2 * i]),
                   static_cast<double>(path->points[2 * i + 1])};
  };
  const Point2D a = pt(ia);
  const Point2D prev = pt((ia + n - 1) % n);
  const Point2D next = pt((ia + 1) % n);
  if (materialRule && path->materialInside == 1) {
    *out = Point2D{a.x - kStartStep, a.y};
    return 1;
  }
  if (std::fabs(a.x - prev.x) < kLevelTol && std::fabs(next.x - a.x) < kLevelTol) {
    *out = Point2D{a.x + kStartStep, a.y};
    return 1;
  }
  const double u = std::hypot(a.x - prev.x, a.y - prev.y);
  const double w = std::hypot(next.x - a.x, next.y - a.y);
  const double v = std::hypot(next.x - prev.x, next.y - prev.y);
  const double sum = u + v + w;
  const Point2D centre{(u * next.x + v * a.x + w * prev.x) / sum,
                       (u * next.y + v * a.y + w * prev.y) / sum};
  const double len = std::hypot(centre.x - a.x, centre.y - a.y);
  // A corner without an inscribed circle has no bisector: nothing to walk along.
  if (!(len > 0.0) || !std::isfinite(len)) return failCode;
  Point2D p{a.x + (centre.x - a.x) / len, a.y + (centre.y - a.y) / len};
  while (zpathContainsPoint(p, path) != 1) {
    p = Point2D{0.5 * (p.x + a.x), 0.5 * (p.y + a.y)};
    if (std::hypot(p.x - a.x, p.y - a.y) < collapse) return failCode;
  }
  *out = p;
  return 1;
}

// Owns the start-point lists and marks of one grouping.
struct GroupScratch {
  Pt2List* points = nullptr;
  Pt2List* subPoints = nullptr;
  IntList* marks = nullptr;
  ~GroupScratch() {
    lstBox2Free(points);
    lstBox2Free(subPoints);
    lstIntFree(marks);
  }
};

// Level groups (step 2 of the grouping): a pocket with its direct islands, or sibling islands.
void groupLevels(ZPathList* list) {
  int g = 0;
  const int n = list->count;
  for (int s = 0; s < n;) {
    int e = s + 1;
    while (e < n && sameLevel(list->items[e].z, list->items[s].z)) ++e;
    for (int b = s; b < e; ++b) {
      ZPath& head = list->items[b];
      if (head.groupId != INT_MAX) continue;
      head.groupId = g;
      for (int k = s; k < e; ++k) {
        if (k == b) continue;
        const bool member =
            head.materialInside == 1 ? siblings(list, b, k) : directParent(list->items[k], head);
        if (member) list->items[k].groupId = g;
      }
      ++g;
    }
    s = e;
  }
}

// Cross-level groups (step 4), from the bottom of the list up. Returns 1, 0 when a run's first
// path had fewer than 3 points, or a failure code.
int groupAcrossLevels(ZPathList* list, Pt2List* points) {
  int result = 1;
  bool planeMark = false;
  for (int last = list->count - 1; last >= 0;) {
    const int id = list->items[last].groupId;
    int first = last;
    while (first > 0 && list->items[first - 1].groupId == id) --first;
    int joined = -1;
    if (!zpathHasFlag(&list->items[first], ZP_PLANE_LEVEL) && !planeMark) {
      for (int k = points->count - 1; k >= 0 && joined < 0; --k) {
        bool free = true;
        for (int i = first; i <= last && free; ++i)
          free = inFreeArea(points->items[k], list->items[i]);
        if (free) joined = k;
      }
    }
    if (joined < 0) {
      Point2D start{};
      const int r = zpathFindInsidePoint(&list->items[first], &start);
      if (r < 0) return r;
      if (r == 0) {
        start = corner(list->items[first]);
        result = 0;
      }
      if (lstPt2Append(points, start) < 0) return -1;
      joined = points->count - 1;
      planeMark = false;
    }
    const Point2D at = points->items[joined];
    for (int i = first; i <= last; ++i) {
      ZPath& p = list->items[i];
      p.groupId = joined;
      p.groupStartX = at.x;
      p.groupStartY = at.y;
      if (zpathHasFlag(&p, ZP_PLANE_LEVEL)) planeMark = true;
    }
    last = first - 1;
  }
  return result;
}

// Island sub-groups (step 6) of every run of equal groupId, from the top down.
int groupIslands(ZPathList* list, Pt2List* q, IntList* marks) {
  const int n = list->count;
  for (int s = 0; s < n;) {
    int e = s + 1;
    while (e < n && list->items[e].groupId == list->items[s].groupId) ++e;
    lstPt2Reset(q);
    lstIntReset(marks);
    for (int i = s; i < e; ++i) {
      ZPath& p = list->items[i];
      if (zpathHasFlag(&p, ZP_PLANE_LEVEL)) {
        for (int j = 0; j < marks->count; ++j) marks->items[j] = 0;
      }
      if (p.materialInside != 1) continue;
      int found = -1;
      for (int j = 0; j < q->count && found < 0; ++j) {
        if (marks->items[j] != 0 && zpathContainsPoint(q->items[j], &p) == 1) found = j;
      }
      if (found < 0) {
        Point2D pt{};
        const int r = zpathFindIslandPoint(&p, &pt);
        if (r < 0) return r;
        if (r == 0) pt = corner(p);
        if (lstPt2Append(q, pt) < 0 || lstIntAppend(marks, 1) < 0) return -1;
        found = q->count - 1;
      }
      p.subGroupId = found;
      p.subGroupStartX = q->items[found].x;
      p.subGroupStartY = q->items[found].y;
    }
    s = e;
  }
  return 1;
}

// A run of records of one group or sub-group.
struct RunRecord {
  int first;
  int end;  // one past the last
  double top;
  double bottom;
};

// Runs of consecutive records with equal key.
template <class Key>
std::vector<RunRecord> runsOf(const ZPath* items, int from, int to, Key key) {
  std::vector<RunRecord> runs;
  for (int s = from; s < to;) {
    int e = s + 1;
    while (e < to && key(items[e]) == key(items[s])) ++e;
    runs.push_back(RunRecord{s, e, items[s].z, items[e - 1].z});
    s = e;
  }
  return runs;
}

// Runs with equal top and bottom (within 1e-5 of a stretch's first) are chained from the anchor
// by their start points; the anchor moves along.
template <class StartOf>
void chainTies(std::vector<RunRecord>& runs, Point2D* anchor, StartOf startOf) {
  const std::size_t n = runs.size();
  for (std::size_t s = 0; s < n;) {
    std::size_t e = s + 1;
    while (e < n && sameLevel(runs[e].top, runs[s].top) &&
           sameLevel(runs[e].bottom, runs[s].bottom)) {
      ++e;
    }
    if (e - s > 1) {
      for (std::size_t i = s; i < e; ++i) {
        std::size_t best = i;
        double bestD = dist2(*anchor, startOf(runs[i]));
        for (std::size_t j = i + 1; j < e; ++j) {
          const double d = dist2(*anchor, startOf(runs[j]));
          if (d < bestD) {
            best = j;
            bestD = d;
          }
        }
        std::swap(runs[i], runs[best]);
        *anchor = startOf(runs[i]);
      }
    }
    s = e;
  }
}

// Steps 1 to 5 of the bit-2 order after a successful grouping.
int orderGroups(ZPathList* list, int flags, Point2D anchor) {
  try {
    std::vector<ZPath> snap(list->items, list->items + list->count);
    std::vector<RunRecord> runs =
        runsOf(snap.data(), 0, list->count, [](const ZPath& p) { return p.groupId; });
    zpathShellSort(runs.data(), static_cast<int>(runs.size()),
                   [](const RunRecord& y, const RunRecord& x) {
                     return y.top < x.top || (sameLevel(y.top, x.top) && y.bottom < x.bottom);
                   });
    auto groupStart = [&snap](const RunRecord& r) {
      return Point2D{snap[r.first].groupStartX, snap[r.first].groupStartY};
    };
    chainTies(runs, &anchor, groupStart);
    // The new order is gathered first and written only when complete: a list left half written
    // would hold some paths twice and others not at all.
    std::vector<ZPath> out;
    out.reserve(snap.size());
    for (const RunRecord& run : runs) {
      if ((flags & kZpathOrderSubGroups) == 0) {
        out.insert(out.end(), snap.begin() + run.first, snap.begin() + run.end);
        continue;
      }
      zpathShellSort(
          snap.data() + run.first, run.end - run.first, [](const ZPath& y, const ZPath& x) {
            return y.subGroupId > x.subGroupId || (y.subGroupId == x.subGroupId && y.z < x.z);
          });
      std::vector<RunRecord> subs =
          runsOf(snap.data(), run.first, run.end, [](const ZPath& p) { return p.subGroupId; });
      zpathShellSort(
          subs.data(), static_cast<int>(subs.size()), [](const RunRecord& y, const RunRecord& x) {
            return y.bottom < x.bottom || (sameLevel(y.bottom, x.bottom) && y.top < x.top);
          });
      auto subStart = [&snap](const RunRecord& r) {
        return Point2D{snap[r.first].subGroupStartX, snap[r.first].subGroupStartY};
      };
      chainTies(subs, &anchor, subStart);
      for (const RunRecord& sub : subs) {
        out.insert(out.end(), snap.begin() + sub.first, snap.begin() + sub.end);
      }
    }
    std::copy(out.begin(), out.end(), list->items);
  } catch (const std::bad_alloc&) {
    return zpathGroupFail(-1);
  }
  return 1;
}

// ---- region order
// --------------------------------------------------------------------------------

// A region of the region order: its head (a pocket of the list, or a frame) and its paths.
struct Region {
  const ZPath* head;
  bool frame;
  std::vector<int> members;  // list indices, the head first unless it is a frame
};

struct Box2 {
  double xmin, ymin, xmax, ymax;
};

Box2 boxOf(const ZPath& p) { return Box2{p.xmin, p.ymin, p.xmax, p.ymax}; }

// The box lies inside the path and no edge of the path crosses the box's edges.
bool boxInsidePath(const Box2& b, const ZPath& p) {
  if (!hasPoints(p) || p.count < 3) return false;
  const Point2D c[4] = {{b.xmin, b.ymin}, {b.xmax, b.ymin}, {b.xmax, b.ymax}, {b.xmin, b.ymax}};
  for (const Point2D& q : c) {
    if (zpathContainsPoint(q, &p) != 1) return false;
  }
  for (int i = 0; i < p.count; ++i) {
    const int j = (i + 1) % p.count;
    const Seg2D e{p.points[2 * i], p.points[2 * i + 1], p.points[2 * j], p.points[2 * j + 1]};
    for (int k = 0; k < 4; ++k) {
      const Seg2D side{c[k].x, c[k].y, c[(k + 1) % 4].x, c[(k + 1) % 4].y};
      if (geoSegsCross(e, side) == 1) return false;
    }
  }
  return true;
}

bool boxInsideRegion(const Box2& b, const ZPathList* list, const Region& r) {
  if (r.frame && boxInsidePath(b, *r.head)) return true;
  for (int m : r.members) {
    if (boxInsidePath(b, list->items[m])) return true;
  }
  return false;
}

// Two regions overlap when their boxes are not apart and neither box lies wholly inside a path of
// the other region.
bool regionsOverlap(const ZPathList* list, const Region& a, const Region& b) {
  const Box2 ba = boxOf(*a.head), bb = boxOf(*b.head);
  if (ba.xmax < bb.xmin || bb.xmax < ba.xmin || ba.ymax < bb.ymin || bb.ymax < ba.ymin) {
    return false;
  }
  return !boxInsideRegion(ba, list, b) && !boxInsideRegion(bb, list, a);
}

// Index of the first point off the boundary (element id other than -2), or -1.
int firstOffBoundary(const ZPath& p) {
  for (int i = 0; i < p.count && p.points != nullptr; ++i) {
    if (p.elementIds == nullptr || p.elementIds[i] != -2) return i;
  }
  return -1;
}

Point2D pointAt(const ZPath& p, int i) {
  return Point2D{static_cast<double>(p.points[2 * i]), static_cast<double>(p.points[2 * i + 1])};
}

// The region order once the depths are those of the paths off the boundary.
int orderRegions(ZPathList* list, std::vector<ZPath*>* frames) {
  const int n = list->count;
  std::vector<int> off(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) off[i] = firstOffBoundary(list->items[i]);
  for (int i = 0; i < n; ++i) {
    ZPath& p = list->items[i];
    p.nestingDepth = 0;
    if (off[i] < 0) continue;
    for (int j = 0; j < n; ++j) {
      if (j != i && off[j] >= 0 && sameLevel(list->items[j].z, p.z) &&
          zpathContainsPoint(pointAt(p, off[i]), &list->items[j]) == 1) {
        ++p.nestingDepth;
      }
    }
  }
  Point2D lo{list->items[0].xmin, list->items[0].ymin};
  Point2D hi{list->items[0].xmax, list->items[0].ymax};
  for (int i = 1; i < n; ++i) {
    lo = Point2D{std::fmin(lo.x, list->items[i].xmin), std::fmin(lo.y, list->items[i].ymin)};
    hi = Point2D{std::fmax(hi.x, list->items[i].xmax), std::fmax(hi.y, list->items[i].ymax)};
  }
  const Point2D frameLo{lo.x - kFrameMargin, lo.y - kFrameMargin};
  const Point2D frameHi{hi.x + kFrameMargin, hi.y + kFrameMargin};

  std::vector<Region> regions;
  for (int s = 0; s < n;) {
    int e = s + 1;
    while (e < n && sameLevel(list->items[e].z, list->items[s].z)) ++e;
    std::vector<int> left;
    for (int i = s; i < e; ++i) left.push_back(i);
    std::stable_sort(left.begin(), left.end(),
                     [list](int a, int b) { return list->items[a].xmin < list->items[b].xmin; });
    while (!left.empty()) {
      const int h = left.front();
      if (off[h] < 0) return zpathGroupFail(kGeoNoBoundary);
      Region r{};
      int depth = 0;
      if (list->items[h].materialInside != 1) {
        r.head = &list->items[h];
        r.members.push_back(h);
        left.erase(left.begin());
        depth = list->items[h].nestingDepth + 1;
      } else {
        ZPath* frame = zpathFromBox(&frameLo, &frameHi);
        if (frame == nullptr) return 0;
        frames->push_back(frame);
        zpathSetFlags(frame, ZP_ORDER_FRAME);
        frame->z = list->items[h].z;
        r.head = frame;
        r.frame = true;
        r.members.push_back(h);  // the island that called for the frame, whatever its depth
        left.erase(left.begin());
      }
      std::vector<int> rest;
      for (int q : left) {
        if (off[q] < 0) return zpathGroupFail(kGeoNoBoundary);
        const ZPath& path = list->items[q];
        const bool in = path.nestingDepth == depth &&
                        (r.frame || zpathContainsPoint(pointAt(path, off[q]), r.head) == 1);
        (in ? r.members : rest).push_back(q);
      }
      left.swap(rest);
      regions.push_back(std::move(r));
    }
    s = e;
  }
  std::stable_sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
    if (!sameLevel(a.head->z, b.head->z)) return a.head->z > b.head->z;
    if (!sameLevel(a.head->xmin, b.head->xmin)) return a.head->xmin < b.head->xmin;
    if (!sameLevel(a.head->ymin, b.head->ymin)) return a.head->ymin < b.head->ymin;
    return false;
  });

  std::vector<ZPath> out;
  out.reserve(static_cast<std::size_t>(n));
  std::vector<bool> taken(regions.size(), false);
  int group = -1;
  const Region* last = nullptr;
  auto take = [&](std::size_t k) {
    taken[k] = true;
    for (int m : regions[k].members) {
      ZPath p = list->items[m];
      p.groupId = group;
      out.push_back(p);
    }
    last = &regions[k];
  };
  for (std::size_t done = 0; done < regions.size(); ++done) {
    std::size_t pick = regions.size();
    if (last != nullptr) {
      double best = 0.0;
      for (std::size_t k = 0; k < regions.size(); ++k) {
        if (taken[k] || !(regions[k].head->z < last->head->z - kLevelTol)) continue;
        bool blocked = false;
        for (std::size_t j = 0; j < k && !blocked; ++j) {
          blocked = !taken[j] && regionsOverlap(list, regions[j], regions[k]);
        }
        if (blocked) continue;
        const double d = dist2(corner(*regions[k].head), corner(*last->head));
        if (pick == regions.size() || d < best) {
          pick = k;
          best = d;
        }
      }
    }
    if (pick == regions.size()) {
      ++group;
      pick = static_cast<std::size_t>(std::find(taken.begin(), taken.end(), false) - taken.begin());
    }
    take(pick);
  }
  if (out.size() != static_cast<std::size_t>(n)) return 0;
  std::copy(out.begin(), out.end(), list->items);
  return 1;
}

void sortFallingZ(ZPathList* list) {
  lstSort(list->items, list->count, sizeof(ZPath), zpathCompareZDesc);
}

}  // namespace

int zpathCompareZDesc(const void* a, const void* b) {
  const double za = static_cast<const ZPath*>(a)->z;
  const double zb = static_cast<const ZPath*>(b)->z;
  if (za > zb) return -1;
  if (za < zb) return 1;
  return 0;
}

int zpathOrderNearest(ZPath* records, int n, Point2D start) {
  if (records == nullptr || n < 1) return 0;
  for (int i = 0; i < n; ++i) {
    const Point2D ref = i == 0 ? start : corner(records[i - 1]);
    for (int j = i + 1; j < n; ++j) {
      if (dist2(ref, corner(records[j])) < dist2(ref, corner(records[i]))) {
        std::swap(records[i], records[j]);
      }
    }
  }
  return n;
}

int zpathFindInsidePoint(const ZPath* path, Point2D* out) {
  return findStartPoint(path, out, true, kInsideCollapse, kZpathNoInsidePoint);
}

int zpathFindIslandPoint(const ZPath* path, Point2D* out) {
  return findStartPoint(path, out, false, kIslandCollapse, kZpathNoIslandPoint);
}

int zpathListGroupPockets(ZPathList* list) {
  if (list == nullptr) return zpathGroupFail(kGeoBadArgument);
  const int n = list->count;
  if (n < 1 || list->items == nullptr) return 1;
  for (int i = 0; i < n; ++i) {
    list->items[i].groupId = INT_MAX;
    list->items[i].subGroupId = INT_MAX;
  }
  GroupScratch s;
  s.points = lstPt2New(kStartPoints);
  s.subPoints = lstPt2New(kStartPoints);
  s.marks = lstIntNew(kStartPoints);
  if (s.points == nullptr || s.subPoints == nullptr || s.marks == nullptr) return -1;
  ZPath* items = list->items;
  zpathShellSort(items, n, [](const ZPath& y, const ZPath& x) {
    return y.z - x.z < 0 || (sameLevel(y.z, x.z) && y.materialInside > x.materialInside);
  });
  groupLevels(list);
  zpathShellSort(items, n, [](const ZPath& y, const ZPath& x) {
    return y.z - x.z < 0 || (sameLevel(y.z, x.z) &&
                             (y.groupId > x.groupId ||
                              (y.groupId == x.groupId && y.materialInside > x.materialInside)));
  });
  const int result = groupAcrossLevels(list, s.points);
  if (result < 0) return result;
  zpathShellSort(items, n, [](const ZPath& y, const ZPath& x) {
    return y.groupId > x.groupId || (y.groupId == x.groupId && y.z < x.z);
  });
  const int islands = groupIslands(list, s.subPoints, s.marks);
  if (islands < 0) return islands;
  return result;
}

int zpathListOrder(ZPathList* list, int flags) {
  if (list == nullptr || list->count < 1 || list->items == nullptr) return 0;
  if (list->count == 1) return 1;
  if (flags == kZpathOrderRegions) return zpathListOrderRegions(list);
  const int n = list->count;
  Point2D anchor{list->items[0].xmin, list->items[0].ymin};
  for (int i = 1; i < n; ++i) {
    anchor.x = std::fmin(anchor.x, list->items[i].xmin);
    anchor.y = std::fmin(anchor.y, list->items[i].ymin);
  }
  zpathListNestingDepths(list);
  for (int i = 0; i + 1 < n; ++i) {
    if (list->items[i].z < list->items[i + 1].z) {
      sortFallingZ(list);
      break;
    }
  }
  if ((flags & kZpathOrderLevels) != 0) {
    if ((flags & kZpathOrderChain) != 0) {
      anchor = Point2D{0.0, 0.0};
      for (int s = 0; s < n;) {
        int e = s + 1;
        while (e < n && std::fabs(list->items[e].z - list->items[s].z) < kRunTol) ++e;
        zpathOrderNearest(list->items + s, e - s, anchor);
        anchor = corner(list->items[e - 1]);
        s = e;
      }
    }
    return 1;
  }
  if ((flags & kZpathOrderGroups) != 0) {
    const int grouped = zpathListGroupPockets(list);
    if (grouped < 0) {
      sortFallingZ(list);
      return zpathGroupFail(grouped);
    }
    const int ordered = orderGroups(list, flags, anchor);
    return ordered < 0 ? ordered : grouped;
  }
  return 0;
}

int zpathListOrderRegions(ZPathList* list) {
  if (list == nullptr || list->count < 1 || list->items == nullptr) return 0;
  zpathListNestingDepths(list);
  for (int i = 0; i + 1 < list->count; ++i) {
    if (list->items[i].z < list->items[i + 1].z) {
      sortFallingZ(list);
      break;
    }
  }
  std::vector<ZPath*> frames;
  int result = 0;
  try {
    result = orderRegions(list, &frames);
  } catch (const std::bad_alloc&) {
    result = 0;
  }
  for (ZPath* f : frames) zpathFree(f);
  return result;
}
