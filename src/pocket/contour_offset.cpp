// contour_offset.cpp - the offset of a closed contour into its valid loops: one attempt (raw
// offset, self-crossings, their classification, loop tracing and selection) and the two retry
// stages around it.
#include "pocket/contour_offset.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/contour_reduce.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/offset_raw.h"
#include "pocket/self_isect.h"

namespace {
constexpr double kPi = std::numbers::pi;
// Points whose x and y differ by less than this are one point.
constexpr double kSamePoint = 0.0001;
// Distances below this copy the source as its own offset.
constexpr double kCopyDistance = 0.0005;
// Distances within this of 0 need no self-crossing search.
constexpr double kNoSearchDistance = 0.0001;
// Length tolerance of the loop reduction.
constexpr double kLoopReduceTol = 0.1;
// Ends of element 0 that repeat within this count as a repeated loop.
constexpr double kEndRepeatTol = 0.00001;
// A second record this near to a start record in state 1 asks for another start.
constexpr double kStartCornerNear = 0.15;
// Arcs this flat and short far from the source make a loop doubtful.
constexpr double kFlatArcRadius = 5000.0;
constexpr double kFlatArcChord = 1.0;
// Arcs longer than this share of a full circle count as nearly full.
constexpr double kNearFullSweep = 1.8;
// Gap below which the ring mode moves a line end instead of adding a line.
constexpr double kRingGap = 0.05;
// A single gap of at most this many scale factors is closed in the middle.
constexpr double kSingleGapPerScale = 0.02;
// Loop tolerances of the distance stage.
constexpr double kLoopTolStart = 0.005;
constexpr double kLoopTolLate = 0.01;
constexpr int kLateAttempt = 10;
// Classification tolerance of a lenient offset.
constexpr double kLenientLoopTol = 0.04;
// Distance steps of the distance stage.
constexpr double kStrictStep = 0.0006;
constexpr double kLenientFactor = 0.9;
// Corner factor of the distance stage's attempts.
constexpr double kRetryCornerFactor = 10.0;
// Narrow-check limits.
constexpr double kNarrowDirectDistance = 4.0;
constexpr double kNarrowDistance = 1.0;
constexpr int kNarrowMaxCount = 50;
// A lone short loop of a long raw chain is doubtful.
constexpr int kShortLoop = 4;
constexpr int kLongRaw = 100;

struct OffsetState {
  ContourElement raw[kOffsetRawCapacity] = {};
  // The crossings of a raw offset that does not fit the engine's table (one more record than the
  // search may write: the extraction adds a start record).
  std::vector<IntersectionRecord> records;
  std::vector<ContourElement> source;  // the working copy of contOffset, kept for the next call
  ContOffsetObserver observer = nullptr;
  int plainMarking = 0;  // 1: every marking of near records compares all records
};
OffsetState offsetState;

Point2D at(const IntersectionRecord& r) { return Point2D{r.x, r.y}; }

// A cut found by the circle test counts only when the source comes this near to the circle: the
// slack that the intersection routines give a segment's ends (up to contTol times a tenth of its
// length) lets a circle that stops short of a long segment's end cut it, which made the probe at a
// convex corner's offset find the corner's own sides.
constexpr double kProbeReachSlack = 1e-9;

// Where the offset's loops lie: inside the source (an offset into it), outside, or either (the
// source's orientation is undecided, or no grid of it could be made).
enum class OffsetSide { kInside, kOutside, kEither };

// 1 when the tool circle of radius r about p cuts into the source (isectCircleHitsContour), through
// the source's grid when there is one; a cut where the source stays farther than r from p is none.
// A free point on the other side of the source than the loops counts as a cut as well: around a
// needle of zero width the raw offset runs the full distance from the source on the needle's far
// side, inside the source (for an offset outward) or outside it (inward).
int probe(const Point2D& p, double r, const ContourElement* src, int n, const CircleIndex* index,
          OffsetSide want = OffsetSide::kEither) {
  const ContourElement circle = contMakeArc(p.x, p.y, p.x + r, p.y, p.x + r, p.y, r, 1, 0);
  if (index == nullptr) return isectCircleHitsContour(circle, src, n);
  int hit = isectCircleHitsIndexed(circle, index);
  const double reach = r + kProbeReachSlack * (1.0 + r);
  if (hit > 0 && isectNearerThanIndexed(p, reach, index) == 0) hit = 0;
  if (hit == 0 && want != OffsetSide::kEither) {
    const int inside = isectInsideIndexed(p, index);
    if (inside >= 0 && (inside == 1) != (want == OffsetSide::kInside)) hit = 1;
  }
  return hit;
}

// offsetStartRecordHit with the source's grid (null: none).
int startRecordHit(const IntersectionRecord* records, int h, const ContourElement* raw, int m,
                   const ContourElement* src, int n, double dp, double tau,
                   const CircleIndex* index, OffsetSide want = OffsetSide::kEither) {
  const Point2D p0 = at(records[0]);
  for (int j = 1; j < h; ++j) {
    if (contDistance(at(records[j]), p0) < 3.0 * tau) return 1;
  }
  const int e = records[0].elemA;
  for (int j = 1; j < h; ++j) {
    if (records[j].elemA == e || records[j].elemB == e) return 0;
  }
  if (e < 1 || e > m) return 0;
  ContourElement c = raw[e - 1];
  contElemSetEndpoint(&c, p0, 1);
  Point2D mid{};
  contElemPoint(c, &mid, 3);
  return probe(mid, dp, src, n, index, want);
}

// Marks records near used ones as used (isectMarkNearUsed) over many calls of one extraction at
// the cost of the newly used records only. Records only ever become used during an extraction, so
// the records near those used before were marked by an earlier call already. Each record carries
// its number in the reserved field, so that the exchanges of the extraction do not lose it.
class NearMarker {
 public:
  // Numbers the records and finds the pairs closer than tol. False when memory runs out.
  bool init(IntersectionRecord* rec, int h, double tol) {
    try {
      near_.assign(static_cast<std::size_t>(h), {});
      seen_.assign(static_cast<std::size_t>(h), 0);
      pos_.assign(static_cast<std::size_t>(h), 0);
      std::vector<int> order(static_cast<std::size_t>(h));
      for (int i = 0; i < h; ++i) {
        rec[i].reserved = i;
        order[static_cast<std::size_t>(i)] = i;
      }
      std::sort(order.begin(), order.end(), [&](int a, int b) {
        return rec[a].x < rec[b].x || (rec[a].x == rec[b].x && a < b);
      });
      for (std::size_t u = 0; u < order.size(); ++u) {
        const IntersectionRecord& a = rec[order[u]];
        for (std::size_t v = u + 1; v < order.size(); ++v) {
          const IntersectionRecord& b = rec[order[v]];
          if (b.x - a.x >= tol) break;
          if (contDistance(at(a), at(b)) < tol) {
            near_[static_cast<std::size_t>(a.reserved)].push_back(b.reserved);
            near_[static_cast<std::size_t>(b.reserved)].push_back(a.reserved);
          }
        }
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  void mark(IntersectionRecord* rec, int h) {
    for (int i = 0; i < h; ++i) pos_[static_cast<std::size_t>(rec[i].reserved)] = i;
    std::vector<int>& fresh = fresh_;
    fresh.clear();
    for (int i = 0; i < h; ++i) {
      const auto id = static_cast<std::size_t>(rec[i].reserved);
      if (rec[i].state == 2 && seen_[id] == 0) {
        seen_[id] = 1;
        fresh.push_back(rec[i].reserved);
      }
    }
    for (int id : fresh) {
      for (int other : near_[static_cast<std::size_t>(id)]) {
        rec[pos_[static_cast<std::size_t>(other)]].state = 2;  // seen as used at the next call
      }
    }
  }

 private:
  std::vector<std::vector<int>> near_;  // by record number: the records closer than tol
  std::vector<char> seen_;              // by record number: already counted as used
  std::vector<int> pos_;                // by record number: its index now
  std::vector<int> fresh_;
};

// The loops of the raw chain (step 8 of an attempt). Returns the number of loops, -1 beyond the
// loop limit.
int extractLoops(IntersectionRecord* rec, int h, ContourElement* raw, int m,
                 const ContourElement* src, int n, double dist, int side, int orient,
                 ContourElement* out, int outCapacity, ContourElement** outEnd,
                 ContourElement** contours, int* counts) {
  PockEngine& eng = pockEngine();
  const Point2D rawStart = contElemStart(raw[0]);
  // A start record at the raw start, unless the first crossing already lies there.
  if (!(eng.paramPocketContour != 0 && isectNear(rec[0].x, rawStart.x) == 1 &&
        std::fabs(rec[0].y - rawStart.y) < kSamePoint)) {
    for (int i = h; i > 0; --i) rec[i] = rec[i - 1];
    rec[0] = IntersectionRecord{rawStart.x, rawStart.y, 0.0, 1, m, 1, 0};
    ++h;
  }
  const double dp = eng.offsetRetry != 0 ? dist - 0.001 : dist;
  offsetClassifyIsects(rec, h, raw, m, src, n, dp, side);
  if (h > 1) eng.offsetRotate = offsetStartCornerClose(rec, h);
  if (contHasNearFullArc(m, raw, 1) == 1) eng.offsetRotate = 1;
  bool anyOpen = false;
  for (int i = 1; i < h; ++i) anyOpen = anyOpen || rec[i].state == 1 || rec[i].state == 0;
  int k = 0;
  ContourElement* pos = out;
  if (out != nullptr) {
    const ContourElement* limit = out + outCapacity;
    NearMarker marker;
    const bool fast = offsetState.plainMarking == 0 && marker.init(rec, h, eng.contTol);
    for (;;) {
      contours[k] = pos;
      if (fast) {
        marker.mark(rec, h);
      } else {
        isectMarkNearUsed(rec, h);
      }
      int overflow = 0;
      ContourElement* end = offsetNextLoop(rec, h, raw, m, pos, limit, src, n, dist, &overflow);
      if (overflow != 0) return -1;
      if (end == nullptr) break;
      const int cnt = static_cast<int>(end - pos);
      if (cnt == 0) {
        if (h == 2 && contSamePoint(at(rec[0]), at(rec[1])) == 1) eng.offsetRetry = 1;
        continue;
      }
      counts[k] = cnt;
      if (++k > kOffsetMaxLoops) return -1;
      ContourElement* loop = contours[k - 1];
      int lc = cnt;
      if (contHasRepeatedElem(loop, lc) == 1) {
        --k;
        continue;
      }
      contReduce(loop, &lc, kLoopReduceTol);
      counts[k - 1] = lc;
      if (orient * side > 0 && eng.offsetKeepOpen == 0 && contOrientation(loop, lc) != orient) {
        --k;
        continue;
      }
      pos = loop + lc;
      if (k >= 2 && contLoopRepeats(contours[k - 2], loop, lc) == 1) {
        --k;
        pos = loop;
      }
    }
    if (k == 1 && h == 2 && counts[0] < kShortLoop && m > kLongRaw) eng.offsetRetry = 1;
    for (int i = 0; i < k; ++i) {
      contArcsRecentre(contours[i], counts[i]);
      if (contHasNearFullArc(counts[i], contours[i], 0) == 1 ||
          contEndRepeats(contours[i], counts[i]) == 1) {
        eng.offsetRetry = 1;
      }
    }
    contours[k] = pos;
  }
  if (k == 0 && (anyOpen || (eng.paramPocketContour != 0 && eng.offsetStrict == 1))) {
    eng.offsetRetry = 1;
  }
  if (outEnd != nullptr) *outEnd = pos;
  return k;
}

// The raw chain as the one result (step 9 of an attempt).
int singleResult(ContourElement* raw, int m, const ContourElement* src, int n, ContourElement* out,
                 int outCapacity, ContourElement** outEnd, ContourElement** contours, int* counts) {
  PockEngine& eng = pockEngine();
  if (contIsClosed(raw, m) == 0) m = contCloseGap(raw, m);
  ContourElement* res = raw;
  if (out != nullptr) {
    if (m > outCapacity) {
      pockMessage(kPockCodeTooManyElements);
      return -1;
    }
    std::copy(raw, raw + m, out);
    res = out;
    contours[0] = out;
    contours[1] = out + m;
  }
  if (outEnd != nullptr) *outEnd = res + m;
  int count = m;
  contReduce(res, &count, kLoopReduceTol);
  contArcsRecentre(res, count);
  if (counts != nullptr && out != nullptr) counts[0] = count;
  if (eng.pockStrategyAxisParallel == 0 && eng.offsetKeepOpen == 0 &&
      offsetOrientationKept(src, n, res, count) == 0) {
    return 0;
  }
  return 1;
}

// The self-crossings of the raw chain: in the engine's table while they fit, else in the offset's
// own table of kOffsetIsectMax records. A dense outline (a star of thousands of spikes) crosses its
// raw offset about once per spike that the offset cuts off, far beyond the engine's table.
// *records points at the table that holds them. Returns their number; -1 when there are more than
// kOffsetIsectMax (code 3029 sent) or memory runs out (code 3020 sent): no other start or slightly
// changed distance would bring the count within reach.
int crossingsOfRaw(const ContourElement* raw, int m, int status, IntersectionRecord** records) {
  int h = contFindSelfIsectsInto(raw, m, *records, kSelfIsectMax, status, 1);
  if (h == kSelfIsectFull) {
    std::vector<IntersectionRecord>& own = offsetState.records;
    try {
      own.resize(static_cast<std::size_t>(kOffsetIsectMax) + 1);
      *records = own.data();
      h = contFindSelfIsectsInto(raw, m, *records, kOffsetIsectMax, status, 1);
    } catch (const std::bad_alloc&) {
      h = -1;
    }
  }
  if (h == kSelfIsectFull) {
    pockMessage(kPockCodeTooManyElements);
    return -1;
  }
  if (h < 0) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  return h;
}

// Samples of a raw offset element per distance: a valid stretch of the offset this short or
// shorter may be missed, which leaves a loop of that size out, within the offset's tolerance.
constexpr double kVanishSamplesPerDistance = 8.0;
constexpr int kVanishMaxSamples = 1 << 18;
// A sample this near the offset distance (relative) lies on the offset.
constexpr double kVanishSlack = 1e-6;

}  // namespace

int contOffsetVanishes(const ContourElement* src, int n, int side, double d) {
  const double dist = std::fabs(d);
  const int effSide = d < 0.0 ? -side : side;
  const int orient = contOrientation(src, n);
  if (src == nullptr || n <= 0 || dist < kCopyDistance || orient == 0) return 1;
  const bool inward = effSide * orient > 0;
  std::vector<ContourElement> raw;
  int m = 0;
  try {
    raw.resize(kOffsetRawCapacity);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  if (contOffsetRaw(dist, src, n, raw.data(), kContMaxElements, &m, effSide) == kRawOffsetFailed)
    return 1;
  std::unique_ptr<CircleIndex, void (*)(CircleIndex*)> index(isectCircleIndexNew(src, n),
                                                             isectCircleIndexFree);
  if (index == nullptr) return 1;
  double length = 0.0;
  for (int i = 0; i < m; ++i) length += contElemLength(raw[i]);
  const double step = std::fmax(dist / kVanishSamplesPerDistance, length / kVanishMaxSamples);
  const double want = dist * (1.0 - kVanishSlack);
  for (int i = 0; i < m; ++i) {
    const ContourElement& e = raw[i];
    const double len = contElemLength(e);
    const int k = std::max(1, static_cast<int>(std::ceil(len / step)));
    const Point2D a = contElemStart(e), b = contElemEnd(e);
    for (int j = 0; j <= k; ++j) {
      const double f = static_cast<double>(j) / k;
      Point2D p{a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
      if (e.type == kContArc) contArcPointAt(e, f, &p);
      if (isectNearerThanIndexed(p, want, index.get()) == 1) continue;
      if ((contWinding(src, n, p) != 0) == inward) return 0;
    }
  }
  return 1;
}

namespace {

// First x of an element for the equality search: a line's start x, an arc's centre x.
double equalKey(const ContourElement& e) { return e.p0; }
}  // namespace

ContourElement* offsetRawElems() { return offsetState.raw; }

void contOffsetSetObserver(ContOffsetObserver observer) { offsetState.observer = observer; }

int contOffsetSetPlainMarking(int on) {
  const int previous = offsetState.plainMarking;
  offsetState.plainMarking = on != 0 ? 1 : 0;
  return previous;
}

void contOffsetResetState() {
  offsetState.observer = nullptr;
  offsetState.plainMarking = 0;
  std::vector<ContourElement>().swap(offsetState.source);
  std::vector<IntersectionRecord>().swap(offsetState.records);
}

void contSetKeepOpen(int value) { pockEngine().offsetKeepOpen = value; }

int contCloseGap(ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return 0;
  const Point2D e = contElemEnd(elements[n - 1]), s = contElemStart(elements[0]);
  if (pockEngine().offsetRingMode == 1 && contDistance(e, s) < kRingGap) {
    if (elements[n - 1].type == kContLine) {
      contElemSetEndpoint(&elements[n - 1], s, 2);
      return n;
    }
    if (elements[0].type == kContLine) {
      contElemSetEndpoint(&elements[0], e, 1);
      return n;
    }
  }
  elements[n] = contMakeLine(e.x, e.y, s.x, s.y, elements[n - 1].tag);
  return n + 1;
}

int contCloseSingleGap(ContourElement* elements, int n) {
  const double scale = pockEngine().scaleFactor;
  if (elements == nullptr || scale < 2.0 || n <= 1) return 0;
  int gap = -1;
  for (int i = 0; i + 1 < n; ++i) {
    if (contSamePoint(contElemEnd(elements[i]), contElemStart(elements[i + 1])) == 0) {
      if (gap >= 0) return 0;
      gap = i;
    }
  }
  if (gap < 0) return 0;
  const Point2D e = contElemEnd(elements[gap]), s = contElemStart(elements[gap + 1]);
  if (contDistance(e, s) > kSingleGapPerScale * scale) return 0;
  const Point2D mid{(e.x + s.x) / 2.0, (e.y + s.y) / 2.0};
  contMoveEndRecentre(&elements[gap], mid, 2);
  contMoveEndRecentre(&elements[gap + 1], mid, 1);
  return 1;
}

int contAllChained(int n, const ContourElement* elements) {
  if (elements == nullptr || n <= 0) return 0;
  for (int i = 0; i < n; ++i) {
    if (contSamePoint(contElemEnd(elements[(i + n - 1) % n]), contElemStart(elements[i])) == 0) {
      return 0;
    }
  }
  return 1;
}

int contHasNearFullArc(int n, const ContourElement* elements, int firstOnly) {
  if (elements == nullptr || n <= 4) return 0;
  const int last = firstOnly != 0 ? 1 : n;
  for (int i = 0; i < last; ++i) {
    const ContourElement& e = elements[i];
    if (e.type == kContArc && contElemLength(e) > kNearFullSweep * kPi * e.radius) return 1;
  }
  return 0;
}

int contEndRepeats(const ContourElement* elements, int n) {
  if (elements == nullptr || n <= 1) return 0;
  const Point2D e0 = contElemEnd(elements[0]);
  for (int i = 1; i < n; ++i) {
    const Point2D e = contElemEnd(elements[i]);
    if (std::fabs(e.x - e0.x) < kEndRepeatTol && std::fabs(e.y - e0.y) < kEndRepeatTol) return 1;
  }
  return 0;
}

int contElemsEqual(const ContourElement& a, const ContourElement& b) {
  if (a.type != b.type) return 0;
  auto same = [](double u, double v) { return std::fabs(u - v) < kSamePoint; };
  if (!same(a.p0, b.p0) || !same(a.p1, b.p1) || !same(a.p2, b.p2) || !same(a.p3, b.p3)) return 0;
  if (a.type == kContLine) return 1;
  if (a.type != kContArc) return 0;
  return (same(a.p4, b.p4) && same(a.p5, b.p5) && a.dir == b.dir) ? 1 : 0;
}

int contHasRepeatedElem(const ContourElement* elements, int n) {
  if (elements == nullptr || n < 3) return 0;
  // Equal elements agree in their first x within 0.0001: only neighbours in that order are tried.
  std::vector<int> order;
  try {
    order.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    for (int i = 0; i < n; ++i) {
      for (int j = i + 2; j < n; ++j) {
        if (contElemsEqual(elements[i], elements[j]) == 1) return 1;
      }
    }
    return 0;
  }
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const double ka = equalKey(elements[a]), kb = equalKey(elements[b]);
    return ka < kb || (ka == kb && a < b);
  });
  for (std::size_t u = 0; u < order.size(); ++u) {
    const ContourElement& a = elements[order[u]];
    for (std::size_t v = u + 1; v < order.size(); ++v) {
      const ContourElement& b = elements[order[v]];
      if (equalKey(b) - equalKey(a) >= kSamePoint) break;
      if (std::abs(order[u] - order[v]) >= 2 && contElemsEqual(a, b) == 1) return 1;
    }
  }
  return 0;
}

int contLoopRepeats(const ContourElement* a, const ContourElement* b, int nb) {
  if (a == nullptr || b == nullptr || nb <= 0) return 0;
  return contMinDistance(contElemEnd(a[0]), b, nb) < pockEngine().contTol ? 1 : 0;
}

int offsetOrientationKept(const ContourElement* src, int n, const ContourElement* res, int m) {
  const int a = contOrientation(src, n), b = contOrientation(res, m);
  if (a == b) return 1;
  return (b == 0 && pockEngine().pockStockMode != 0) ? 1 : 0;
}

int offsetStartCornerClose(const IntersectionRecord* records, int h) {
  if (records == nullptr || h <= 1 || records[0].state != 1) return 0;
  return contDistance(at(records[0]), at(records[1])) < kStartCornerNear ? 1 : 0;
}

int offsetFarFlatArc(const ContourElement* loop, int m, const ContourElement* src, int n,
                     double d) {
  for (int i = 0; loop != nullptr && i < m; ++i) {
    const ContourElement& e = loop[i];
    if (e.type != kContArc || e.radius < kFlatArcRadius) continue;
    if (contDistance(contArcStart(e), contArcEnd(e)) > kFlatArcChord) continue;
    Point2D mid{};
    contElemPoint(e, &mid, 3);
    if (contMinDistance(mid, src, n) > 2.0 * d) return 1;
  }
  return 0;
}

void isectMarkNearUsed(IntersectionRecord* records, int h) {
  if (records == nullptr || h <= 0) return;
  const double tol = pockEngine().contTol;
  std::vector<Point2D> used;
  try {
    for (int i = 0; i < h; ++i) {
      if (records[i].state == 2) used.push_back(at(records[i]));
    }
  } catch (const std::bad_alloc&) {
    return;
  }
  for (int i = 0; i < h && !used.empty(); ++i) {
    if (records[i].state == 2) continue;
    for (const Point2D& u : used) {
      if (contDistance(u, at(records[i])) < tol) {
        records[i].state = 2;
        break;
      }
    }
  }
}

int offsetCrossingTurn(const ContourElement* raw, int m, const IntersectionRecord& record,
                       int side) {
  if (raw == nullptr || record.elemA < 1 || record.elemA > m || record.elemB < 1 ||
      record.elemB > m) {
    return 0;
  }
  const Point2D p = at(record);
  ContourElement a = raw[record.elemA - 1];
  if (contSamePoint(p, contElemEnd(a)) == 1) return 0;
  contElemSetEndpoint(&a, p, 1);
  int bi = record.elemB - 1;
  if (contSamePoint(p, contElemEnd(raw[bi])) == 1) bi = (bi + 1) % m;
  ContourElement b = raw[bi];
  contElemSetEndpoint(&b, p, 1);
  Point2D ta{}, tb{};
  if (contElemDirection(a, &ta, 1) == 0 || contElemDirection(b, &tb, 1) == 0) return 0;
  const double e = std::atan2(ta.y, ta.x) - std::atan2(tb.y, tb.x);
  const bool leftOfB = (e >= 0.0 && e <= kPi) || e < -kPi;
  if (leftOfB) return side == 1 ? 1 : 2;
  return side == 1 ? 2 : 1;
}

int offsetStartRecordHit(const IntersectionRecord* records, int h, const ContourElement* raw, int m,
                         const ContourElement* src, int n, double dp, double tau) {
  if (records == nullptr || raw == nullptr || h <= 0) return 0;
  return startRecordHit(records, h, raw, m, src, n, dp, tau, nullptr);
}

void offsetClassifyIsects(IntersectionRecord* rec, int h, const ContourElement* raw, int m,
                          const ContourElement* src, int n, double d, int side) {
  if (rec == nullptr || raw == nullptr || h <= 0 || m <= 0) return;
  const PockEngine& eng = pockEngine();
  double tau = eng.offsetStrict == 1 ? eng.offsetLoopTol : kLenientLoopTol;
  if (d <= 0.5) {
    tau *= 0.1;
  } else if (d < 1.0) {
    tau *= 0.2;
  } else if (d < 4.8) {
    tau *= 0.5;
  } else if (d > 50.0) {
    tau *= 2.0;
  }
  const double dp = tau < d ? d - tau : d;
  const Point2D rawStart = contElemStart(raw[0]);
  // Every probe tests a circle against the source: its grid makes each test visit the elements
  // near the circle only (same answers; without memory for it, every element).
  std::unique_ptr<CircleIndex, void (*)(CircleIndex*)> index(isectCircleIndexNew(src, n),
                                                             isectCircleIndexFree);
  const int orient = contOrientation(src, n);
  const OffsetSide want = orient == 0         ? OffsetSide::kEither
                          : orient * side > 0 ? OffsetSide::kInside
                                              : OffsetSide::kOutside;
  for (int i = h - 1; i >= 0; --i) {
    IntersectionRecord& r = rec[i];
    const Point2D p = at(r);
    r.state = 1;
    if (i == 0 && r.elemA == 1 && h > 1 && rec[1].state != 0 && contSamePoint(p, rawStart) == 1) {
      r.state = 0;
      return;
    }
    const int hit = probe(p, dp, src, n, index.get(), want);
    if (i == 0) {
      if (hit > 0) {
        r.state = 2;
      } else if (hit == 0) {
        const int start = startRecordHit(rec, h, raw, m, src, n, dp, tau, index.get(), want);
        if (start > 0 && (h < 2 || rec[1].state == 1)) r.state = 2;
      }
      continue;
    }
    if (hit > 0) {
      r.state = 2;
      continue;
    }
    if (contSamePoint(p, rawStart) == 0) {
      const int turn = offsetCrossingTurn(raw, m, r, side);
      if (turn != 0) {
        r.state = turn == 1 ? 1 : 0;
        continue;
      }
    }
    // One step along the raw chain decides.
    const bool partner = isectFindPartner(rec, h, i, 1) >= 0;
    if (partner && hit < 0) {
      r.state = 0;
      continue;
    }
    int idx = (partner ? r.elemB : r.elemA) - 1;
    if (idx < 0 || idx >= m) continue;
    if (contSamePoint(p, contElemEnd(raw[idx])) == 1) idx = (idx + 1) % m;
    ContourElement c = raw[idx];
    contElemSetEndpoint(&c, p, 1);
    if (!partner) {
      const IntersectionRecord* nb = nullptr;
      if (i + 1 < h && rec[i + 1].elemA == idx + 1) {
        nb = &rec[i + 1];
      } else if (rec[i - 1].elemB == idx + 1) {
        nb = &rec[i - 1];
      }
      if (nb != nullptr && isectPointOnElemExact(at(*nb), c) == 1) {
        contElemSetEndpoint(&c, at(*nb), 2);
      }
    }
    const Point2D ce = contElemEnd(c);
    Point2D q{0.9 * p.x + 0.1 * ce.x, 0.9 * p.y + 0.1 * ce.y};
    if (c.type == kContArc) contArcInnerPoint(c, p, ce, &q);
    const int next = probe(q, dp, src, n, index.get(), want);
    if (partner) {
      r.state = next != 0 ? 1 : 0;
    } else if (next > 0) {
      r.state = 0;
    }
  }
}

ContourElement* offsetNextLoop(IntersectionRecord* records, int h, const ContourElement* raw, int m,
                               ContourElement* out, const ContourElement* limit,
                               const ContourElement* src, int n, double d, int* overflow) {
  if (overflow != nullptr) *overflow = 0;
  int first = -1;
  for (int i = 0; i < h && first < 0; ++i) {
    if (records[i].state == 1) first = i;
  }
  if (first < 0) return nullptr;
  std::swap(records[0], records[first]);
  int closed = 0;
  ContourElement* end = isectTraceLoop(records, h, raw, m, out, limit, &closed);
  if (end == nullptr && overflow != nullptr) *overflow = 1;
  if (end == nullptr || closed == 0) return nullptr;
  for (int i = 0; i < h; ++i) {
    if (records[i].state == 3) records[i].state = 2;
  }
  const int cnt = contCleanup(out, static_cast<int>(end - out));
  if (offsetFarFlatArc(out, cnt, src, n, d) == 1) pockEngine().offsetRetry = 1;
  return out + cnt;
}

int contOffsetOnce(const ContourElement* src, int n, int side, double d, ContourElement* out,
                   int outCapacity, ContourElement** outEnd, ContourElement** contours,
                   int* counts) {
  PockEngine& eng = pockEngine();
  if (outEnd != nullptr) *outEnd = out;
  if (src == nullptr || n <= 0) return 0;
  if (out != nullptr && (contours == nullptr || counts == nullptr)) return 0;
  if (eng.paramPocketContour != 0) eng.offsetKeepOpen = 1;
  const int orient = contOrientation(src, n);
  const double dist = std::fabs(d);
  const int effSide = d < 0.0 ? -side : side;
  ContourElement* raw = offsetState.raw;
  int m = 0;
  int status = kRawOffsetOk;
  if (dist < kCopyDistance) {
    if (n > kContMaxElements) {
      pockMessage(kPockCodeTooManyElements);
      return -1;
    }
    std::copy(src, src + n, raw);
    m = n;
  } else {
    status = contOffsetRaw(dist, src, n, raw, kContMaxElements, &m, effSide);
    if (status == kRawOffsetFailed) return m >= kContMaxElements ? -1 : 0;
  }
  if (m > kContMaxElements) {
    pockMessage(kPockCodeTooManyElements);
    return -1;
  }
  if (m == 0) return 0;
  IntersectionRecord* rec = isectRecords();
  int h = 0;
  if (m > 1 && dist >= kNoSearchDistance) {
    h = crossingsOfRaw(raw, m, status, &rec);
    if (h < 0) return -1;
  }
  if (status == kRawOffsetDoublesBack && eng.offsetKeepOpen != 0) status = 0;
  if (h == 0 && (status < 0 || m == 1)) {
    if (contCloseSingleGap(raw, m) == 0 && contAllChained(m, raw) == 0) {
      if (eng.pockStrategyAxisParallel == 0 && eng.pockStrategyOpenPocket == 0) {
        eng.offsetLost = 1;
      }
      return 0;
    }
  } else {
    eng.offsetLost = 0;
    if (h > 0) {
      return extractLoops(rec, h, raw, m, src, n, dist, effSide, orient, out, outCapacity, outEnd,
                          contours, counts);
    }
  }
  return singleResult(raw, m, src, n, out, outCapacity, outEnd, contours, counts);
}

int contOffset(const ContourElement* elements, int n, int side, double d, ContourElement* out,
               int outCapacity, ContourElement** outEnd, ContourElement** contours, int* counts) {
  if (outEnd != nullptr) *outEnd = out;
  if (elements == nullptr || n <= 0) return 0;
  PockEngine& eng = pockEngine();
  std::vector<ContourElement>& copy = offsetState.source;
  try {
    copy.assign(elements, elements + n);
  } catch (const std::bad_alloc&) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  ContourElement* src = copy.data();
  const int entryStrict = eng.offsetStrict;
  const double d0 = d;
  int narrow = 0;
  if (eng.offsetNarrowCheck != 0 && d > eng.contTol &&
      ((eng.pockDirectLinking != 0 && d < kNarrowDirectDistance) || d < kNarrowDistance ||
       n <= kNarrowMaxCount)) {
    narrow = contIsNarrow(src, n, d);
  }
  auto attempt = [&]() {
    const int r = contOffsetOnce(src, n, side, d, out, outCapacity, outEnd, contours, counts);
    if (offsetState.observer != nullptr) offsetState.observer(src, n, d, r);
    return r;
  };
  auto finish = [&](int result) {
    eng.offsetStrict = entryStrict;
    eng.contCornerFactor = 1.0;
    return result;
  };
  eng.offsetLoopTol = kLoopTolStart;
  eng.offsetLastDistance = d;
  eng.offsetLost = 0;
  eng.offsetRotate = 0;
  eng.offsetRetry = 0;
  int result = attempt();
  if (result < 0) return finish(result);

  // Rotation stage: the contour starts at its next corner.
  const bool pocketContour = eng.paramPocketContour != 0;
  bool rotate = eng.offsetRotate != 0;
  if (pocketContour && (eng.offsetRetry != 0 || eng.offsetLost != 0)) {
    eng.offsetRetry = 0;
    eng.offsetLost = 0;
    rotate = true;
  }
  for (int round = 0; rotate && round < kOffsetRetryRounds; ++round) {
    eng.offsetRotate = 0;
    contRotateFirstToEnd(n, src);
    n = contCleanup(src, n);
    result = attempt();
    if (result < 0) return finish(result);
    if (round < 2 && pocketContour && (eng.offsetRetry != 0 || eng.offsetLost != 0)) {
      eng.offsetRetry = 0;
      eng.offsetLost = 0;
      eng.offsetRotate = 1;
    }
    rotate = eng.offsetRotate != 0;
  }

  // Distance stage: a slightly changed distance.
  const bool distanceStage = eng.offsetRetry != 0 || eng.offsetLost != 0;
  if (distanceStage) {
    bool strictTried = false;
    for (int i = 0; i < kOffsetRetryRounds; ++i) {
      if (i >= kLateAttempt) eng.offsetLoopTol = kLoopTolLate;
      double reduceTol = kLoopReduceTol;
      if (eng.offsetStrict == 1) {
        if (eng.offsetFollowFailed == 0) d += kStrictStep;
      } else {
        if (eng.offsetFollowFailed == 0) d *= kLenientFactor;
        reduceTol = kLoopReduceTol * d;
      }
      contReduce(src, &n, reduceTol);
      eng.offsetStrict = entryStrict;
      bool restart = false;
      if (eng.offsetStrict == 0 && !strictTried) {
        // A lenient caller gets one strict attempt, and the count starts again.
        eng.offsetStrict = 1;
        strictTried = true;
        restart = true;
      }
      eng.offsetLastDistance = d;
      eng.offsetRetry = 0;
      eng.contCornerFactor = kRetryCornerFactor;
      result = attempt();
      eng.contCornerFactor = 1.0;
      if (result < 0) return finish(result);
      if (eng.offsetRotate != 0 && n > 0) contRotateFirstToEnd(n, src);
      if (eng.offsetRetry == 0) break;
      if (restart) i = -1;
    }
    if (eng.offsetRetry != 0) {
      eng.offsetStrict = entryStrict;
      const int reduced = contReduceShort(src, n, eng.contTol * 100.0, 1);
      if (reduced > 0) n = reduced;
      eng.offsetRetry = 0;
      result = attempt();
      if (result < 0) return finish(result);
    }
  }
  // Every attempt found its loops doubtful or could not close the raw offset: an empty answer is
  // the offset only where the offset truly vanishes; elsewhere the offset failed and says so.
  if (result == 0 && distanceStage && (eng.offsetRetry != 0 || eng.offsetLost != 0) &&
      contOffsetVanishes(elements, static_cast<int>(copy.size()), side, d0) == 0) {
    pockMessage(kOffsetCodeFailed);
    return finish(-1);
  }

  // A narrow source keeps its one result only when that lies inside it.
  if (narrow == 1 && result == 1 && out != nullptr) {
    const Point2D srcStart = contElemStart(src[0]);
    const Point2D resStart = contElemStart(contours[0][0]);
    if (contWinding(contours[0], counts[0], srcStart) != 0 || contWinding(src, n, resStart) == 0) {
      result = 0;
    }
  }
  return finish(result);
}

// ---- open offsets -------------------------------------------------------------------------------

int offsetTrimOpenEnd(ContourElement* res, int m, const Point2D& centre, double d, int atStart) {
  if (res == nullptr || m <= 0) return m;
  const ContourElement circle[2] = {
      contMakeArc(centre.x, centre.y, centre.x + d, centre.y, centre.x - d, centre.y, d, 1, 0),
      contMakeArc(centre.x, centre.y, centre.x - d, centre.y, centre.x + d, centre.y, d, 1, 0)};
  std::vector<IntersectionRecord> rec;
  try {
    rec.resize(kIsectRecordMax);
  } catch (const std::bad_alloc&) {
    return m;
  }
  const int h = isectContours(res, m, circle, 2, rec.data(), kIsectRecordMax);
  if (h <= 0 || h > kIsectRecordMax) return m;
  if (atStart != 0) {
    const IntersectionRecord& r = rec[static_cast<std::size_t>(h - 1)];
    const int e = r.elemA - 1;
    std::copy(res + e, res + m, res);
    m -= e;
    contElemSetEndpoint(&res[0], at(r), 1);
    return m;
  }
  const IntersectionRecord& r = rec[0];
  const int e = r.elemA - 1;
  contElemSetEndpoint(&res[e], at(r), 2);
  return e + 1;
}

int offsetTrimOpen(const ContourElement* src, double d, int m, ContourElement* res, int n) {
  if (src == nullptr || res == nullptr || n <= 0 || m <= 0) return m;
  if (contIsClosed(src, n) == 1) return m;
  const double near = d - pockEngine().offsetLoopTol;
  const Point2D s = contElemStart(src[0]), e = contElemEnd(src[n - 1]);
  if (contDistance(contElemStart(res[0]), s) < near) m = offsetTrimOpenEnd(res, m, s, d, 1);
  if (contDistance(contElemEnd(res[m - 1]), e) < near) m = offsetTrimOpenEnd(res, m, e, d, 0);
  if (contMinDistance(contElemStart(res[0]), src, n) < near ||
      contMinDistance(contElemEnd(res[m - 1]), src, n) < near) {
    return 0;
  }
  return m;
}

// ---- narrow contours --------------------------------------------------------------------------

int contIsNarrow(const ContourElement* elements, int n, double d) {
  if (elements == nullptr || n <= 0) return 1;
  const double reach = 1.5 * d;
  for (int i = 0; i < n; ++i) {
    const ContourElement& e = elements[i];
    const double kd = std::floor(contElemLength(e) / (3.0 * d));
    if (!(kd >= 0.0 && kd <= static_cast<double>(INT_MAX - 2))) continue;
    const int k = static_cast<int>(kd);
    const Point2D s = contElemStart(e), en = contElemEnd(e);
    bool farFromEnds = true;
    for (int j = 1; j <= k + 1; ++j) {
      const double f = static_cast<double>(j) / (k + 2);
      Point2D p{s.x + f * (en.x - s.x), s.y + f * (en.y - s.y)};
      if (e.type == kContArc) contArcPointAt(e, f, &p);
      const double ds = contDistance(p, s), de = contDistance(p, en);
      if (ds < d || de < d) farFromEnds = false;
      const double nearEnd = std::fmin(ds, de);
      if (n <= 3 && i == 1 && !farFromEnds) continue;
      double best = reach + 1.0;
      for (int jj = 0; jj < n; ++jj) {
        if (jj == i) continue;
        Point2D foot{};
        const double dist = contNearestOnElem(p, elements[jj], &foot);
        if (farFromEnds && (jj == i - 1 || jj == i + 1) && !(dist < 0.3 * nearEnd)) continue;
        best = std::fmin(best, dist);
      }
      if (best > reach) return 0;
    }
  }
  return 1;
}
