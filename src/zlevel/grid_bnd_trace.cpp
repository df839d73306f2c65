// grid_bnd_trace.cpp - outlines of marked matrix cells as closed, rounded loops in model
// coordinates. Cell sides are found in doubled coordinates (cell centres at even, corners at odd
// values), chained into loops, converted and smoothed.
#include "zlevel/grid_bnd_trace.h"

#include <cmath>
#include <new>
#include <source_location>
#include <unordered_map>

#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "geometry/plane_geo.h"

namespace {

struct GridBndState {
  const Kont2D* region = nullptr;  // snapping target of gridBndTrace; null: no snapping
  int plainChain = 0;              // 1: gridTraceCells chains with the plain scan
};
GridBndState gGridBnd;

int gridBndFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "gridbnd", static_cast<int>(at.line()));
  return code;
}

bool samePoint(double ax, double ay, double bx, double by) {
  return std::fabs(ax - bx) <= kGridBndSame && std::fabs(ay - by) <= kGridBndSame;
}

std::uint64_t pointKey(GridEdgePoint p) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.r)) << 32) |
         static_cast<std::uint32_t>(p.c);
}

// Of two edges that both start at the current edge's end, the one turning left.
std::int32_t pickLeft(const std::vector<GridEdgePoint>& pts, std::int32_t cur, std::int32_t a,
                      std::int32_t b) {
  const GridEdgePoint P = pts[2 * static_cast<std::size_t>(cur)];
  const GridEdgePoint Q = pts[2 * static_cast<std::size_t>(cur) + 1];
  const GridEdgePoint K = pts[2 * static_cast<std::size_t>(a) + 1];
  const long long cross = static_cast<long long>(Q.c - K.c) * (P.r - K.r) -
                          static_cast<long long>(Q.r - K.r) * (P.c - K.c);
  return cross < 0 ? a : b;
}

// Midpoint cut of the loops of list from position `from` on; stops at a loop that does not close.
void smoothFrom(Seg2List* list, int from) {
  int first = from;
  while (first < list->count) {
    const int last = gridBndLoopEnd(list, first);
    if (last < 0) return;
    Seg2D* s = list->items;
    const double fx = 0.5 * (s[first].x1 + s[first].x2);
    const double fy = 0.5 * (s[first].y1 + s[first].y2);
    for (int k = first; k <= last; ++k) {
      const double mx = 0.5 * (s[k].x1 + s[k].x2);
      const double my = 0.5 * (s[k].y1 + s[k].y2);
      double nx = fx;
      double ny = fy;
      if (k < last) {
        nx = 0.5 * (s[k + 1].x1 + s[k + 1].x2);
        ny = 0.5 * (s[k + 1].y1 + s[k + 1].y2);
      }
      s[k] = Seg2D{mx, my, nx, ny};
    }
    first = last + 1;
  }
}

void snapFrom(Seg2List* list, int from, const Kont2D* region) {
  int first = from;
  while (first < list->count) {
    const int last = gridBndLoopEnd(list, first);
    if (last < 0) return;
    Seg2D* s = list->items;
    for (int k = first; k <= last; ++k) {
      const Point2D p{s[k].x2, s[k].y2};
      const int cls = kontClassifyPoint(region, p);
      Point2D q = p;
      if ((cls & 1) != 0) {
        q = gridBndNearestOnRegion(region, p, 0);
      } else if ((cls & 4) != 0) {
        q = gridBndNearestOnRegion(region, p, 1);
      } else {
        continue;
      }
      s[k].x2 = q.x;
      s[k].y2 = q.y;
      Seg2D& next = k < last ? s[k + 1] : s[first];
      next.x1 = q.x;
      next.y1 = q.y;
    }
    first = last + 1;
  }
}

int mergeFrom(Seg2List* list, int from) {
  const int n = list->count - from;
  if (n <= 3) return 0;
  Seg2D* s = list->items + from;
  int out = 0;
  Seg2D cur = s[0];
  for (int k = 1; k < n; ++k) {
    const Seg2D& nx = s[k];
    const double cross = (cur.x1 - nx.x2) * (cur.y2 - nx.y2) - (cur.y1 - nx.y2) * (cur.x2 - nx.x2);
    if (k < n - 1 && std::fabs(cross) <= 1e-6 && samePoint(nx.x1, nx.y1, cur.x2, cur.y2)) {
      cur.x2 = nx.x2;
      cur.y2 = nx.y2;
      continue;
    }
    s[out++] = cur;
    cur = nx;
  }
  s[out++] = cur;
  list->count = from + out;
  return 1;
}

}  // namespace

void gridBndSetRegion(const Kont2D* region) { gGridBnd.region = region; }
const Kont2D* gridBndGetRegion() { return gGridBnd.region; }
void gridBndUsePlainChain(int flag) { gGridBnd.plainChain = flag != 0 ? 1 : 0; }
void gridBndResetState() { gGridBnd = GridBndState{}; }

int gridBndLoopEnd(const Seg2List* list, int first) {
  if (list == nullptr || first < 0 || first >= list->count) return -1;
  const Seg2D& f = list->items[first];
  for (int k = first; k < list->count; ++k) {
    if (samePoint(list->items[k].x2, list->items[k].y2, f.x1, f.y1)) return k;
  }
  return -1;
}

int gridBndEdges(const IntMatrix* matrix, int row0, int row1, int col0, int col1,
                 std::vector<GridEdgePoint>* points) {
  points->clear();
  auto marked = [&](int i, int j) {
    return i >= row0 && i < row1 && j >= col0 && j < col1 &&
           matrix->cells[static_cast<std::size_t>(i) * matrix->cols + j] != 0;
  };
  auto pair = [&](int i1, int j1, int i2, int j2) {
    points->push_back(GridEdgePoint{i1 + i2 + j1 - j2, j1 + j2 + i2 - i1});
    points->push_back(GridEdgePoint{i1 + i2 + j2 - j1, j1 + j2 + i1 - i2});
  };
  try {
    for (int i = row0; i < row1; ++i) {
      bool prev = false;  // the column left of the window counts as unmarked
      for (int j = col0; j <= col1; ++j) {
        const bool m = marked(i, j);
        if (m && !prev) pair(i, j, i, j - 1);
        if (!m && prev) pair(i, j - 1, i, j);
        prev = m;
      }
    }
    for (int j = col0; j < col1; ++j) {
      bool prev = false;
      for (int i = row0; i <= row1; ++i) {
        const bool m = marked(i, j);
        if (m && !prev) pair(i, j, i - 1, j);
        if (!m && prev) pair(i - 1, j, i, j);
        prev = m;
      }
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 1;
}

int gridBndChainPlain(const std::vector<GridEdgePoint>& pts, std::vector<std::int32_t>* order) {
  const auto n = static_cast<std::int32_t>(pts.size() / 2);
  try {
    order->assign(0, 0);
    order->reserve(static_cast<std::size_t>(n));
    std::vector<char> used(static_cast<std::size_t>(n), 0);
    std::int32_t cur = -1;
    for (std::int32_t placed = 0; placed < n; ++placed) {
      std::int32_t next = -1;
      if (cur >= 0) {
        const GridEdgePoint end = pts[2 * static_cast<std::size_t>(cur) + 1];
        std::int32_t a = -1;
        std::int32_t b = -1;
        for (std::int32_t j = 0; j < n && b < 0; ++j) {
          if (used[static_cast<std::size_t>(j)] != 0) continue;
          const GridEdgePoint s = pts[2 * static_cast<std::size_t>(j)];
          if (s.r != end.r || s.c != end.c) continue;
          (a < 0 ? a : b) = j;
        }
        next = b < 0 ? a : pickLeft(pts, cur, a, b);
      }
      if (next < 0) {  // a new loop begins with the first edge not yet placed
        for (std::int32_t j = 0; j < n; ++j) {
          if (used[static_cast<std::size_t>(j)] == 0) {
            next = j;
            break;
          }
        }
      }
      used[static_cast<std::size_t>(next)] = 1;
      order->push_back(next);
      cur = next;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 1;
}

int gridBndChain(const std::vector<GridEdgePoint>& pts, std::vector<std::int32_t>* order) {
  const auto n = static_cast<std::int32_t>(pts.size() / 2);
  try {
    order->assign(0, 0);
    order->reserve(static_cast<std::size_t>(n));
    // Edges by start point, in list order; at most two edges start at one corner.
    std::unordered_map<std::uint64_t, std::vector<std::int32_t>> byStart;
    byStart.reserve(static_cast<std::size_t>(n));
    for (std::int32_t j = 0; j < n; ++j)
      byStart[pointKey(pts[2 * static_cast<std::size_t>(j)])].push_back(j);
    std::vector<char> used(static_cast<std::size_t>(n), 0);
    std::int32_t firstFree = 0;
    std::int32_t cur = -1;
    for (std::int32_t placed = 0; placed < n; ++placed) {
      std::int32_t next = -1;
      if (cur >= 0) {
        const auto it = byStart.find(pointKey(pts[2 * static_cast<std::size_t>(cur) + 1]));
        if (it != byStart.end()) {
          std::int32_t a = -1;
          std::int32_t b = -1;
          for (const std::int32_t j : it->second) {
            if (used[static_cast<std::size_t>(j)] != 0) continue;
            (a < 0 ? a : b) = j;
            if (b >= 0) break;
          }
          next = b < 0 ? a : pickLeft(pts, cur, a, b);
        }
      }
      if (next < 0) {
        while (used[static_cast<std::size_t>(firstFree)] != 0) ++firstFree;
        next = firstFree;
      }
      used[static_cast<std::size_t>(next)] = 1;
      order->push_back(next);
      cur = next;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 1;
}

int gridTraceCells(const IntMatrix* matrix, int row0, int row1, int col0, int col1, Point2D origin,
                   Point2D steps, Seg2List* list) {
  if (list == nullptr || list->capacity < 3) return gridBndFail(-1);
  if (matrix == nullptr || matrix->rows <= 0 || matrix->cols <= 0) return 1;
  if (row0 < 0 || col0 < 0 || row1 > matrix->rows || col1 > matrix->cols) return gridBndFail(-1);
  std::vector<GridEdgePoint> pts;
  std::vector<std::int32_t> order;
  if (gridBndEdges(matrix, row0, row1, col0, col1, &pts) < 0) return gridBndFail(-1);
  const int chained =
      gGridBnd.plainChain != 0 ? gridBndChainPlain(pts, &order) : gridBndChain(pts, &order);
  if (chained < 0) return gridBndFail(-1);
  const int from = list->count;
  for (const std::int32_t e : order) {
    const GridEdgePoint a = pts[2 * static_cast<std::size_t>(e)];
    const GridEdgePoint b = pts[2 * static_cast<std::size_t>(e) + 1];
    const Seg2D seg{origin.x + a.c * steps.x / 2, origin.y + a.r * steps.y / 2,
                    origin.x + b.c * steps.x / 2, origin.y + b.r * steps.y / 2};
    if (lstSeg2Append(list, seg) < 0) return gridBndFail(-1);
  }
  smoothFrom(list, from);
  return 1;
}

void gridBndSmooth(Seg2List* list) {
  if (list == nullptr || list->count < 5) return;
  smoothFrom(list, 0);
}

Point2D gridBndNearestOnRegion(const Kont2D* region, Point2D p, int islands) {
  Point2D best = p;
  double bestD = -1.0;
  auto consider = [&](Point2D q) {
    const double d = geoDist2D(p, q);
    if (bestD < 0.0 || d < bestD) {
      bestD = d;
      best = q;
    }
  };
  auto scan = [&](const Kont2D* k) {
    for (int s = 0; s < k->count; ++s) {
      const Seg2D& seg = k->segments[s];
      Point2D foot{};
      if (geoFootOnSeg(p, seg, &foot) == 1) consider(foot);
      consider(Point2D{seg.x1, seg.y1});
    }
  };
  if (region == nullptr) return p;
  if (islands == 0) {
    scan(region);
  } else {
    for (const Kont2D* k = region->child; k != nullptr; k = k->next) scan(k);
  }
  return best;
}

void gridBndSnapToRegion(Seg2List* list, const Kont2D* region) {
  if (list == nullptr || region == nullptr) return;
  snapFrom(list, 0, region);
}

int gridBndMergeCollinear(Seg2List* list) {
  if (list == nullptr) return 0;
  return mergeFrom(list, 0);
}

int gridBndTrace(const IntMatrix* matrix, Point2D origin, Point2D steps, Seg2List* list) {
  if (list == nullptr || list->capacity < 3) return gridBndFail(-1);
  if (matrix == nullptr || matrix->rows <= 0 || matrix->cols <= 0) return 1;
  const int from = list->count;
  const int r = gridTraceCells(matrix, 0, matrix->rows, 0, matrix->cols, origin, steps, list);
  if (r < 0) return r;
  for (int pass = 0; pass < 2; ++pass) {
    if (list->count - from >= 5) smoothFrom(list, from);
  }
  if (gGridBnd.region != nullptr) snapFrom(list, from, gGridBnd.region);
  mergeFrom(list, from);
  return 1;
}
