// zigzag_walls.cpp - preparation of the MAIN contours for the stripes: wall passes along the runs
// of wall elements of open contours, island copies and offsets for the island tours, and the
// contours moved half a pass inside.
#include "pocket/zigzag_walls.h"

#include <cmath>

#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"

namespace {

struct WallState {
  int lastDepth = -1;  // depth of the last node recorded in this level
  int failed = 0;      // a node was refused
};
WallState wallState;

// Offsets into a single result. Returns its count; -1 unless exactly one loop with elements.
int wallOffset(const ContourElement* elements, int n, int side, double d, ZigzagElems* out) {
  if (n <= 0) return -1;
  std::vector<ContourElement> buf(static_cast<std::size_t>(8 * n + 256));
  std::vector<ContourElement*> loops(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  const int m = contOffset(elements, n, side, d, buf.data(), static_cast<int>(buf.size()), nullptr,
                           loops.data(), counts.data());
  if (m != 1 || counts[0] <= 0) return -1;
  out->assign(loops[0], loops[0] + counts[0]);
  return counts[0];
}

// The crossings of a with b; -1 when there are more than the table holds or memory runs out.
int wallCrossings(const ZigzagElems& a, const ContourElement* b, int nb,
                  std::vector<IntersectionRecord>* records) {
  records->assign(kIsectRecordMax, IntersectionRecord{});
  const int h =
      isectContours(a.data(), static_cast<int>(a.size()), b, nb, records->data(), kIsectRecordMax);
  if (h < 0 || h > kIsectRecordMax) return -1;
  records->resize(static_cast<std::size_t>(h));
  return h;
}

Point2D recPoint(const IntersectionRecord& r) { return Point2D{r.x, r.y}; }

}  // namespace

void zigzagNodesStart() { wallState = WallState{}; }

int zigzagRecordNode(const ContourElement* elements, int n, const ContourHeader& header) {
  ContourHeader h = header;
  h.count = n;
  const int node = ctreeAdd(elements, &h, 0, wallState.lastDepth + 1);
  if (node < 0) {
    if (wallState.failed == 0) pockMessage(kPockCodeTooManyContours);
    wallState.failed = 1;
    return -1;
  }
  wallState.lastDepth += 1;
  return node;
}

int zigzagNodesFailed() { return wallState.failed; }

int zigzagRunBounds(const ContourElement* elements, int n, int* firstOut, int* lastOut) {
  if (elements == nullptr || n <= 0) return -1;
  auto open = [elements](int i) { return elements[i].tag >= 0; };
  int first = 0;
  int last = 0;
  if (!open(0)) {
    first = 0;
    while (first < n && !open(first)) ++first;
    if (first >= n) return -1;
    last = first;
    while (last + 1 < n && open(last + 1)) ++last;
  } else {
    int tail = n - 1;
    while (tail > 0 && open(tail - 1)) --tail;
    last = 0;
    while (last + 1 < n && open(last + 1)) ++last;
    first = open(n - 1) && tail > 0 && tail > last ? tail : 0;
  }
  *firstOut = first;
  *lastOut = last;
  return 1;
}

int zigzagCopyRun(ContourElement* dst, const ContourElement* elements, int n, int first, int last) {
  int m = 0;
  for (int i = first;; i = (i + 1) % n) {
    dst[m++] = elements[i];
    if (i == last || m >= n) break;
  }
  const int len = m;
  for (int k = len - 1; k >= 0; --k) {
    dst[m] = dst[k];
    contReverse(&dst[m], 1);
    ++m;
  }
  return m;
}

void zigzagMarkRun(ContourElement* elements, int n, int first, int last) {
  for (int i = first, k = 0; k < n; i = (i + 1) % n, ++k) {
    elements[i].tag = -2;
    if (i == last) break;
  }
}

int zigzagOffsetSingle(const ContourElement* elements, int n, double distance, ZigzagElems* out,
                       int side) {
  return wallOffset(elements, n, side, distance, out);
}

int zigzagOffsetRun(const ContourElement* elements, int n, int first, int last, double distance,
                    int side, ZigzagElems* out) {
  if (n <= 0) return -1;
  ZigzagElems run(static_cast<std::size_t>(2 * n));
  const int m = zigzagCopyRun(run.data(), elements, n, first, last);
  // The there-and-back contour encloses nothing: its offset loop around the run has an
  // orientation of its own, which the offset must accept.
  PockEngine& eng = pockEngine();
  const int keep = eng.offsetKeepOpen;
  eng.offsetKeepOpen = 1;
  const int k = wallOffset(run.data(), m, side, distance, out);
  eng.offsetKeepOpen = keep;
  return k > 0 ? 1 : -1;
}

int zigzagPieceBetween(int useB, int n, ZigzagElems* out, const ContourElement* elements,
                       const IntersectionRecord& r1, const IntersectionRecord& r2) {
  out->clear();
  if (n <= 0) return 0;
  const int a = (useB != 0 ? r1.elemB : r1.elemA) - 1;
  const int b = (useB != 0 ? r2.elemB : r2.elemA) - 1;
  if (a < 0 || a >= n || b < 0 || b >= n) return 0;
  for (int i = a, k = 0; k <= n; i = (i + 1) % n, ++k) {
    out->push_back(elements[i]);
    if (i == b) break;
  }
  contElemSetEndpoint(&out->front(), recPoint(r1), 1);
  contElemSetEndpoint(&out->back(), recPoint(r2), 2);
  return static_cast<int>(out->size());
}

int zigzagMarkedRunAfter(ZigzagElems* out, const ContourElement* contour, int n,
                         const IntersectionRecord& r) {
  out->clear();
  const int c = r.elemB - 1;
  if (c < 0 || c >= n) return 0;
  for (int i = c, k = 0; k < n && contour[i].tag < 0; i = (i + 1) % n, ++k) {
    out->push_back(contour[i]);
  }
  if (!out->empty()) contElemSetEndpoint(&out->front(), recPoint(r), 1);
  return static_cast<int>(out->size());
}

int zigzagAddRunPass(ZigzagElems offset, const ContourElement* contour, int n,
                     const ContourHeader& header) {
  contReverse(offset.data(), static_cast<int>(offset.size()));
  std::vector<IntersectionRecord> rec;
  if (wallCrossings(offset, contour, n, &rec) != 2) return -1;
  const int m = static_cast<int>(offset.size());
  for (int order = 0; order < 2; ++order) {
    const IntersectionRecord& r1 = rec[order == 0 ? 0 : 1];
    const IntersectionRecord& r2 = rec[order == 0 ? 1 : 0];
    ZigzagElems piece;
    if (zigzagPieceBetween(0, m, &piece, offset.data(), r1, r2) <= 0) continue;
    Point2D mid{};
    contElemPoint(piece[piece.size() / 2], &mid, 3);
    if (contWinding(contour, n, mid) == 0) continue;
    zigzagRecordNode(piece.data(), static_cast<int>(piece.size()), header);
    ZigzagElems after;
    if (zigzagMarkedRunAfter(&after, contour, n, r2) > 0) {
      zigzagRecordNode(after.data(), static_cast<int>(after.size()), header);
    }
    return 1;
  }
  return -1;
}

int zigzagAddRunNode(int first, int last, const ContourElement* elements, int n,
                     const ContourHeader& header) {
  ZigzagElems run;
  for (int i = first, k = 0; k < n; i = (i + 1) % n, ++k) {
    run.push_back(elements[i]);
    if (i == last) break;
  }
  return zigzagRecordNode(run.data(), static_cast<int>(run.size()), header) < 0 ? -1 : 1;
}

int zigzagReplaceByOffset(ZigzagElems* elements, int last, double distance, int side, int first) {
  const double h = distance / 2.0;
  if (std::fabs(h) < 0.0001) return 0;
  const int n = static_cast<int>(elements->size());
  ZigzagElems off;
  if (first < 0) {
    if (zigzagOffsetSingle(elements->data(), n, h, &off, side) < 0) return -1;
    *elements = off;
    return 1;
  }
  if (zigzagOffsetRun(elements->data(), n, first, last, h, side, &off) != 1) return -1;
  contReverse(off.data(), static_cast<int>(off.size()));
  std::vector<IntersectionRecord> rec;
  if (wallCrossings(off, elements->data(), n, &rec) != 2) return -1;
  for (int order = 0; order < 2; ++order) {
    const IntersectionRecord& r1 = rec[order == 0 ? 0 : 1];
    const IntersectionRecord& r2 = rec[order == 0 ? 1 : 0];
    ZigzagElems piece;
    if (zigzagPieceBetween(0, static_cast<int>(off.size()), &piece, off.data(), r1, r2) <= 0) {
      continue;
    }
    Point2D mid{};
    contElemPoint(piece[piece.size() / 2], &mid, 3);
    if (contWinding(elements->data(), n, mid) == 0) continue;
    contReverse(piece.data(), static_cast<int>(piece.size()));
    ZigzagElems rest;
    zigzagPieceBetween(1, n, &rest, elements->data(), r1, r2);
    piece.insert(piece.end(), rest.begin(), rest.end());
    *elements = piece;
    return 1;
  }
  return -1;
}

int zigzagPrepare(double step, int /*outerSide*/, double* outDistance) {
  PockEngine& eng = pockEngine();
  const int strict = eng.offsetStrict;
  eng.offsetStrict = 0;
  eng.offsetRetry = 0;
  eng.offsetLost = 0;
  eng.offsetRotate = 0;
  double smallest = step;
  const int count = layerCount("MAIN");
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    if (layerGetHeader("MAIN", &h, i) != i) break;
    ZigzagElems e(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour("MAIN", e.data(), h.count, &h, i) != i) break;
    e.resize(static_cast<std::size_t>(h.count));
    // Each contour is offset toward the side its tool works on (left of its direction when
    // leftSide is set): into the pocket for an outer contour, away from an island.
    const int side = h.leftSide != 0 ? 1 : -1;
    if (contHasMarkedElem(e.data(), h.count) == 1) {
      int first = 0;
      int last = 0;
      int guard = static_cast<int>(e.size()) + 1;
      while (guard-- > 0 &&
             zigzagRunBounds(e.data(), static_cast<int>(e.size()), &first, &last) == 1) {
        double r = step;
        for (int k = 10; k >= 1; --k) {
          r = k * 0.1 * step;
          ZigzagElems off;
          if (zigzagOffsetRun(e.data(), static_cast<int>(e.size()), first, last, r, side, &off) ==
              1) {
            zigzagAddRunPass(off, e.data(), static_cast<int>(e.size()), h);
            break;
          }
        }
        smallest = std::fmin(smallest, r);
        zigzagAddRunNode(first, last, e.data(), static_cast<int>(e.size()), h);
        zigzagMarkRun(e.data(), static_cast<int>(e.size()), first, last);
        zigzagReplaceByOffset(&e, last, r, side, first);
      }
      for (ContourElement& x : e) {
        if (x.tag == -2) x.tag = i;
      }
    } else {
      const ZigzagElems original = e;
      for (int k = 10; k >= 1; --k) {
        const double r = k * 0.1 * step;
        ZigzagElems off;
        if (wallOffset(e.data(), static_cast<int>(e.size()), side, r, &off) <= 0) continue;
        ContourHeader g = h;
        g.count = static_cast<int>(off.size());
        layerInsertContour("GKT", off.data(), &g, -1);
        zigzagReplaceByOffset(&e, 0, r, side, -1);
        smallest = std::fmin(smallest, r);
        break;
      }
      // The wall itself, once: the island tour deletes one copy per tour.
      ContourHeader g = h;
      g.count = static_cast<int>(original.size());
      layerInsertContour("INSEL", original.data(), &g, -1);
    }
    h.count = static_cast<int>(e.size());
    layerReplaceContour("MAIN", e.data(), &h, i);
  }
  eng.offsetStrict = strict;
  if (outDistance != nullptr) *outDistance = smallest;
  return 1;
}
