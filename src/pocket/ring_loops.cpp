// ring_loops.cpp - loops of two crossing contours, the checks of offset loops and ring starts, and
// the per-position lists of island rings merged into a ring. The lists grow per position, so every
// position of a layer has one and no list is cut short.
#include "pocket/ring_loops.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/geo_error.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/pock_geometry.h"
#include "pocket/rest_regions.h"

namespace {
struct LoopsState {
  RingReach reach{{0.0, 0.0}, 0.0};
  std::vector<std::vector<int>> relations;  // merged-island list per layer position
};
LoopsState loops;

bool isOuter(const ContourHeader& h) { return h.ccw == h.leftSide; }

Point2D recordPoint(const IntersectionRecord& r) { return Point2D{r.x, r.y}; }

// A full circle about c of radius r, as the circle tests take it.
ContourElement circleAt(const Point2D& c, double r) {
  return contMakeArc(c.x, c.y, c.x + r, c.y, c.x + r, c.y, r, 1, 0);
}

// Reads contour i of a layer into buffer (resized to fit). Returns its count; -1 when unreadable.
int readContour(const char* layer, int i, std::vector<ContourElement>* buffer,
                ContourHeader* header) {
  if (layerGetHeader(layer, header, i) < 0) return -1;
  buffer->resize(static_cast<std::size_t>(header->count > 0 ? header->count : 1));
  if (layerGetContour(layer, buffer->data(), header->count, header, i) < 0) return -1;
  return header->count;
}

std::vector<int>* relationList(int position, bool create) {
  if (position < 0) return nullptr;
  const auto p = static_cast<std::size_t>(position);
  if (p >= loops.relations.size()) {
    if (!create) return nullptr;
    loops.relations.resize(p + 1);
  }
  return &loops.relations[p];
}
}  // namespace

// ---- allowances and reach
// ---------------------------------------------------------------------------

double ringAllowance(int i) {
  if (i < 0 || i >= pockAllowanceCount() || i >= kPockAllowanceRoom) return 0.0;
  return pockAllowances()[i];
}

RingReach& ringReach() { return loops.reach; }

int ringInitReach() {
  std::vector<ContourElement> main;
  ContourHeader h{};
  if (layerCount("MAIN") <= 0 || readContour("MAIN", 0, &main, &h) <= 0) return -1;
  Point2D lo{0.0, 0.0}, hi{0.0, 0.0};
  contBox(main.data(), h.count, &lo, &hi);
  loops.reach.centre = Point2D{(lo.x + hi.x) / 2.0, (lo.y + hi.y) / 2.0};
  loops.reach.limit = contDistance(hi, loops.reach.centre) + 4.0 * pockEngine().pockToolRadius +
                      ringAllowance(0) + 0.1;
  return 1;
}

// ---- loops of two crossing contours
// -----------------------------------------------------------------

int loopTestFartherContour(const ContourElement* loop, int m, const ContourElement* x, int nx,
                           const ContourElement* y, int ny) {
  if (loop == nullptr || m <= 0) return 0;
  Point2D p{0.0, 0.0};
  contElemPoint(loop[0], &p, 3);
  const bool yFarther = contMinDistance(p, y, ny) > contMinDistance(p, x, nx);
  const int w = yFarther ? contWinding(y, ny, p) : contWinding(x, nx, p);
  return w == 0 ? 1 : 0;
}

int loopTestNearestPoint(const ContourElement* loop, int m, const ContourElement* x, int nx,
                         const ContourElement* y, int ny) {
  bool found = false;
  double bestGap = 0.0;
  Point2D best{0.0, 0.0};
  for (int i = 0; i < m; ++i) {
    Point2D p{0.0, 0.0};
    if (contElemPoint(loop[i], &p, 3) == 0) continue;
    const double dx = contMinDistance(p, x, nx), dy = contMinDistance(p, y, ny);
    if (!(dy < dx)) continue;
    if (!found || dx - dy > bestGap) {
      found = true;
      bestGap = dx - dy;
      best = p;
    }
  }
  if (!found) return 1;
  return contWinding(x, nx, best) != 0 ? 1 : 0;
}

void isectDropDuplicates(IntersectionRecord* records, int h) {
  const double tol = 10.0 * pockEngine().contTol;
  for (int i = 0; i < h; ++i) {
    if (records[i].state == 2) continue;
    for (int j = 0; j < h; ++j) {
      if (j == i || records[j].state == 2) continue;
      if (contDistance(recordPoint(records[i]), recordPoint(records[j])) < tol) {
        records[j].state = 2;
      }
    }
  }
}

int offsetSplitAtIsects(ContourElement* a, ContourHeader* headerA, const ContourElement* b,
                        const ContourHeader* headerB, IntersectionRecord* records, int h,
                        ContourElement* out, ContourElement** contours, int* counts) {
  if (a == nullptr || headerA == nullptr || b == nullptr || headerB == nullptr ||
      records == nullptr || out == nullptr || contours == nullptr || h <= 0) {
    return 0;
  }
  PockEngine& eng = pockEngine();
  int na = headerA->count;
  const int nb = headerB->count;
  // A first record on both contours lying inside a: a begins with its element.
  if (records[0].elemB != 0 && records[0].elemA > 1 && records[0].elemA <= na) {
    int e = records[0].elemA;
    if (contSamePoint(recordPoint(records[0]), contElemEnd(a[e - 1])) != 0 && e < na) ++e;
    const int drop = e - 1;
    std::memmove(a, a + drop, sizeof(ContourElement) * static_cast<std::size_t>(na - drop));
    na -= drop;
    headerA->count = na;
    for (int i = 0; i < h; ++i) records[i].elemA -= drop;
  }
  const bool keepOnFailure = eng.paramPocketContour != 0;
  const bool outerA = isOuter(*headerA), outerB = isOuter(*headerB);
  std::vector<ContourElement> piece(static_cast<std::size_t>((na > nb ? na : nb) + 2));
  std::vector<int> used;
  int k = 0, total = 0;
  for (;;) {
    int start = -1;
    for (int i = 0; i < h && start < 0; ++i) {
      if (records[i].state != 2 && records[i].state != 3) start = i;
    }
    if (start < 0) return k;
    ContourElement* loop = out + total;
    int m = 0, dir = 1, cur = start;
    used.clear();
    bool closed = false;
    // Each turn passes a record, so a loop never takes more pieces than there are records.
    for (int turn = 0; turn <= h && !closed; ++turn) {
      const ContourElement* src = dir == 1 ? a : b;
      const int n = dir == 1 ? na : nb;
      int got = 0;
      const int next = isectContourPiece(src, n, dir, records, h, cur, piece.data(), &got);
      if (next < 0) {
        for (const int r : used) records[r].state = 1;
        if (keepOnFailure && turn == 0) return k;
        eng.offsetFollowFailed = 1;
        return 0;
      }
      if (total + m + got > kSplitMaxElements) {
        pockMessage(kPockCodeTooManyElements);
        return -1;
      }
      std::memcpy(loop + m, piece.data(), sizeof(ContourElement) * static_cast<std::size_t>(got));
      m += got;
      if (records[next].state != 2) used.push_back(next);
      records[next].state = 2;
      closed = contSamePoint(recordPoint(records[next]), recordPoint(records[start])) != 0;
      cur = next;
      dir = isectOtherWay(dir);
    }
    if (!closed) {
      for (const int r : used) records[r].state = 1;
      eng.offsetFollowFailed = 1;
      return 0;
    }
    if (m > 3) m = contCleanup(loop, m);
    int accept = 0;
    if (outerA && outerB) {
      accept = loopTestFartherContour(loop, m, a, na, b, nb) == 0;
    } else if (!outerA && !outerB) {
      accept = loopTestFartherContour(loop, m, a, na, b, nb) == 1;
    } else if (!outerA) {
      accept = loopTestNearestPoint(loop, m, b, nb, a, na) == 1;
    } else {
      accept = loopTestNearestPoint(loop, m, a, na, b, nb) == 1;
    }
    if (accept == 0 || m <= 0) {
      // Only the records this loop used go back: those of kept loops stay used, or a later loop
      // could trace a kept loop a second time.
      for (const int r : used) records[r].state = 1;
      records[start].state = 3;
      if (keepOnFailure) {
        k = 0;
        total = 0;
      }
      continue;
    }
    contours[k] = loop;
    if (counts != nullptr) counts[k] = m;
    ++k;
    total += m;
  }
}

// ---- loops of an offset
// -----------------------------------------------------------------------------

int offsetSelectLoops(const ContourElement* src, int n, int k, double d, ContourElement** outEnd,
                      ContourElement** loopsOut, int* counts, int side, int ccw, int restCheck) {
  if (src == nullptr || n <= 0 || loopsOut == nullptr || counts == nullptr || k <= 0) return 0;
  const bool inward = (side == 1 && ccw != 0) || (side == -1 && ccw == 0);
  const Point2D s = contElemStart(src[0]);
  double r = d - 0.1;
  if (r < 0.0) r = d / 2.0;
  const ContourElement circle = circleAt(s, r);
  const RingReach& reach = loops.reach;
  const double tol = pockEngine().contTol;
  IntersectionRecord probe[2];
  ContourElement* write = loopsOut[0];
  int kept = 0;
  for (int j = 0; j < k; ++j) {
    ContourElement* loop = loopsOut[j];
    const int m = counts[j];
    bool reject = contIsClosed(loop, m) == 0 || isectContours(loop, m, src, n, probe, 1) > 0 ||
                  (inward && isectContourInsideOf(src, n, loop, m) != 0);
    if (!reject && d > 0.5 && inward && isectContourInsideOf(loop, m, src, n) == 0) reject = true;
    if (!reject && m > 0) {
      reject = isectCircleHitsContour(circle, loop, m) > 0 ||
               contDistance(contElemEnd(loop[0]), s) < d - 0.006 ||
               (restCheck != 0 && restCheckReference(loop, m) == 0);
    }
    if (!reject && m > 0 && reach.limit >= tol &&
        contDistance(contElemStart(loop[0]), reach.centre) > reach.limit) {
      pockMessage(kPockCodeTooManyElements);
      reject = true;
    }
    if (reject) continue;
    if (write != loop) {
      std::memmove(write, loop, sizeof(ContourElement) * static_cast<std::size_t>(m));
    }
    loopsOut[kept] = write;
    counts[kept] = m;
    write += m;
    ++kept;
  }
  if (outEnd != nullptr) *outEnd = write;
  return kept;
}

// ---- checks on rings
// --------------------------------------------------------------------------------

int ringStartFree(const ContourElement* ring, int m, double d, const ContourHeader* header) {
  if (ring == nullptr || m <= 0 || header == nullptr) return 0;
  const Point2D start = contElemStart(ring[0]);
  std::vector<ContourElement> buf;
  ContourHeader h{};
  if (ringAllowance(0) + d - 0.01 > 0.001) {
    const int count = layerCount("MAIN");
    for (int i = 0; i < count; ++i) {
      if (readContour("MAIN", i, &buf, &h) <= 0) continue;
      const ContourElement circle = circleAt(start, d + h.allowance - 0.01);
      if (isectCircleHitsContour(circle, buf.data(), h.count) == 1) return 0;
    }
  }
  if (pockEngine().pockStrategyOpenPocket == 0) return 1;
  const int count = layerCount("INPUT");
  if (count <= 0) return 0;
  const double tol = pockEngine().contTol;
  for (int i = 0; i < count; ++i) {
    if (readContour("INPUT", i, &buf, &h) <= 0 || h.ccw != header->ccw) continue;
    Point2D p = contElemStart(ring[m - 1]);
    for (int j = 0; j < m; ++j) {
      const Point2D q = contElemStart(ring[j]);
      if (contMinDistance(q, buf.data(), h.count) > tol) {
        p = q;
        break;
      }
    }
    if (contWinding(buf.data(), h.count, p) != 0) return 1;
  }
  return 0;
}

int ringNeedsOffset(const char* layer, double d) {
  if (pockEngine().pockStockMode != 0) return 1;
  const int count = layerCount(layer);
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader(layer, &h, i) < 0) continue;
    if (std::fabs(d + ringAllowance(i)) >= 0.0001 || h.stockMark != 0) return 1;
  }
  return 0;
}

int ringClearOfMain(int n, const ContourElement* elements) {
  std::vector<ContourElement> main;
  ContourHeader h{};
  if (layerCount("MAIN") <= 0 || readContour("MAIN", 0, &main, &h) <= 0) return 1;
  IntersectionRecord probe[2];
  if (isectContours(elements, n, main.data(), h.count, probe, 1) > 0) return 0;
  return isectContourInsideOf(elements, n, main.data(), h.count) != 0 ? 0 : 1;
}

int ringRotateToUnmarked(int single) {
  const int count = single == 1 ? (layerCount("MAIN") > 0 ? 1 : 0) : layerCount("MAIN");
  std::vector<ContourElement> buf;
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader("MAIN", &h, i) < 0 || h.sequence == 0) continue;
    const int n = readContour("MAIN", i, &buf, &h);
    if (n < 0) return -1;
    if (n > 0 && contHasMarkedElem(buf.data(), n) != 0) {
      int target = -1;  // index of the element to begin with
      const bool firstMarked = buf[0].tag < 0, lastMarked = buf[n - 1].tag < 0;
      if (firstMarked) {
        for (int j = 0; j < n && target < 0; ++j) {
          if (buf[j].tag >= 0) target = j;
        }
      } else if (!lastMarked) {
        int run = -1;
        for (int j = 0; j < n && run < 0; ++j) {
          if (buf[j].tag < 0) run = j;
        }
        target = run;  // when no unmarked element follows, the run's start
        for (int j = run; j < n; ++j) {
          if (buf[j].tag >= 0) {
            target = j;
            break;
          }
        }
      }
      for (int r = 0; target > 0 && r < target; ++r) contRotateFirstToEnd(n, buf.data());
    }
    h.count = n;
    if (ctreeAdd(buf.data(), &h, 0, 0) < 0) return -1;
  }
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader("MAIN", &h, i) < 0 || h.sequence == 0) continue;
    const int n = readContour("MAIN", i, &buf, &h);
    int tag = -1;
    for (int j = 0; j < n && tag < 0; ++j) {
      if (buf[j].tag >= 0) tag = buf[j].tag;
    }
    if (tag < 0) continue;
    for (int j = 0; j < n; ++j) buf[j].tag = tag;
    if (layerReplaceContour("MAIN", buf.data(), &h, i) == 0) return -1;
  }
  return 1;
}

// ---- merged-island lists
// ----------------------------------------------------------------------------

int layerNumberContours(const char* layer) {
  const int count = layerCount(layer);
  if (count <= 0) return count;
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader(layer, &h, i) < 0) continue;
    h.index = static_cast<std::int16_t>(i);
    layerSetHeader(layer, &h, i);
    if (std::vector<int>* list = relationList(i, false)) list->clear();
  }
  return count;
}

int ringCopyRelations(int from, int to) {
  if (from < 0 || to < 0) return geoFail(-1, "ring_loops");
  try {
    std::vector<int>* dst = relationList(to, true);
    const std::vector<int>* src = relationList(from, false);
    if (src == nullptr) {
      dst->clear();
    } else if (src != dst) {
      *dst = *src;
    }
  } catch (...) {
    return geoFail(-1, "ring_loops");
  }
  return 1;
}

int ringRelationAdd(int position, int node) {
  if (position < 0) return geoFail(-1, "ring_loops");
  try {
    std::vector<int>* list = relationList(position, true);
    list->push_back(node);
    return static_cast<int>(list->size());
  } catch (...) {
    return geoFail(-1, "ring_loops");
  }
}

int ringRelationCount(int position) {
  const std::vector<int>* list = relationList(position, false);
  return list == nullptr ? 0 : static_cast<int>(list->size());
}

int ringRelationAt(int position, int k) {
  const std::vector<int>* list = relationList(position, false);
  if (list == nullptr || k < 0 || static_cast<std::size_t>(k) >= list->size()) return -1;
  return (*list)[static_cast<std::size_t>(k)];
}

int ringRelationHas(int position, int node) {
  const std::vector<int>* list = relationList(position, false);
  if (list == nullptr) return 0;
  for (const int v : *list) {
    if (v == node) return 1;
  }
  return 0;
}

void ringLoopsResetState() { loops = LoopsState{}; }
