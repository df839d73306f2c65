// contour_reduce.cpp - refitting runs of short lines with lines and arcs, for single contours and
// for whole layers.
#include "pocket/contour_reduce.h"

#include <new>
#include <vector>

#include "geometry/arc_fit.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/self_isect.h"

namespace {
// Contours of at most this many elements are reduced only when forced.
constexpr int kReduceShortMinCount = 64;
// The second try narrows the tolerance by this factor.
constexpr double kRetryTolShare = 0.2;
// Elements of the work buffer per source element.
constexpr int kWorkPerElement = 5;

// 1 when the contour crosses itself (or the search could not tell).
bool crossesItself(const ContourElement* elements, int n, std::vector<IntersectionRecord>* recs) {
  return contFindSelfIsects(elements, n, recs->data(), 1) != 0;
}
}  // namespace

int contFitShortLines(int m, const ContourElement* elements, ContourElement* out, double tol) {
  if (m <= 0 || elements == nullptr || out == nullptr) return -1;
  std::vector<Point2D> pts;
  try {
    pts.reserve(static_cast<std::size_t>(m) + 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (int k = 0; k < m; ++k) pts.push_back(contElemStart(elements[k]));
  pts.push_back(contElemEnd(elements[m - 1]));
  const int np = m + 1;
  ArcPoint* list = arcPtsFrom2D(pts.data(), np);
  if (list == nullptr) return -1;
  int written = -1;
  if (arcFitPoints(list, np, tol, kReduceMinRadius, kReduceMaxRadius, kReduceMaxRadius) != 0) {
    const int tag = elements[0].tag;
    double x = 0.0, y = 0.0, z = 0.0;
    arcPtsFirst(list, np, &x, &y, &z);
    int index = 0, count = 0;
    while (index >= 0 && index < np - 1 && count < m) {
      int kind = 0;
      double ex = 0.0, ey = 0.0, ez = 0.0, cx = 0.0, cy = 0.0;
      const int next = arcPtsNext(index, list, np, &kind, &ex, &ey, &ez, &cx, &cy);
      if (next < 0) break;
      if (kind == kArcElemLine) {
        out[count++] = contMakeLine(x, y, ex, ey, tag);
      } else {
        const double r = contDistance(Point2D{x, y}, Point2D{cx, cy});
        out[count++] = contMakeArc(cx, cy, x, y, ex, ey, r, kind == kArcElemCw ? -1 : 1, tag);
      }
      x = ex;
      y = ey;
      index = next;
    }
    if (index == np - 1) written = count;
  }
  arcPtsFree(list);
  return written;
}

int contReduceChains(const ContourElement* elements, int n, double tol, ContourElement* out) {
  if (elements == nullptr || out == nullptr || n <= 0) return 0;
  int count = 0;
  int i = 0;
  while (i < n) {
    if (elements[i].type != kContLine) {
      out[count++] = elements[i++];
      continue;
    }
    int run = 1;
    while (i + run < n && elements[i + run].type == kContLine &&
           elements[i + run].tag == elements[i].tag) {
      ++run;
    }
    int fitted = -1;
    if (run >= kReduceMinRun) fitted = contFitShortLines(run, elements + i, out + count, tol);
    if (fitted < 0) {
      for (int k = 0; k < run; ++k) out[count++] = elements[i + k];
    } else {
      count += fitted;
    }
    i += run;
  }
  return count;
}

int contReduceShort(ContourElement* elements, int n, double tol, int force) {
  if (pockEngine().paramSuppressReduction != 0 || elements == nullptr) return n;
  if (n <= kReduceShortMinCount && force == 0) return n;
  if (n <= 0) return n;
  std::vector<ContourElement> work;
  std::vector<IntersectionRecord> records;
  try {
    work.resize(static_cast<std::size_t>(n) * kWorkPerElement);
    records.resize(kSelfIsectMax);
  } catch (const std::bad_alloc&) {
    return n;
  }
  int m = contReduceChains(elements, n, tol, work.data());
  if (crossesItself(work.data(), m, &records)) {
    m = contReduceChains(elements, n, kRetryTolShare * tol, work.data());
    if (crossesItself(work.data(), m, &records)) return 0;
  }
  m = contCleanup(work.data(), m);
  m = contSplitLargeArcs(work.data(), m, static_cast<int>(work.size()));
  if (m <= 0) return 0;
  if (m > n) return n;  // no smaller than the source: keep the source
  for (int k = 0; k < m; ++k) elements[k] = work[static_cast<std::size_t>(k)];
  return m;
}

int layerReduceContours(const char* name, double tol, int force) {
  if (pockEngine().paramSuppressReduction != 0) return 1;
  const int count = layerCount(name);
  std::vector<ContourElement> buffer;
  for (int i = 0; i < count; ++i) {
    ContourHeader header{};
    if (layerGetHeader(name, &header, i) < 0 || header.count <= 0) continue;
    try {
      buffer.resize(static_cast<std::size_t>(header.count));
    } catch (const std::bad_alloc&) {
      continue;
    }
    if (layerGetContour(name, buffer.data(), header.count, &header, i) < 0) continue;
    const int m = contReduceShort(buffer.data(), header.count, tol, force);
    if (m <= 0) continue;
    header.count = m;
    layerReplaceContour(name, buffer.data(), &header, i);
  }
  return 1;
}
