// seg_cross.cpp - crossings of segment contours for the contour offset and the boundary code:
// the candidate index, self-crossings, contour-contour and circle crossings, the classification
// of the crossings of a raw offset and the loop walk that keeps the runs between them.
#include "geometry/seg_cross.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <unordered_set>

#include "geometry/cont_points.h"
#include "geometry/geo_error.h"

namespace {
// The retry flag shared with the segment-contour offset.
struct SegCrossState {
  int retry = 0;
};
SegCrossState crossState;

constexpr double kEps = 1e-5;
constexpr double kNear = 0.0001;
constexpr double kTwoPi = 6.28318530717958647692;
constexpr double kPi = 3.14159265358979323846;
// The loop walk gives up beyond this many segments, or twice the raw contour's count when that is
// more: a walk that traces a contour more than twice over is lost, a long contour is not.
constexpr int kMaxTraced = 5000;

bool crossSame(double ax, double ay, double bx, double by, double tol) {
  return std::fabs(ax - bx) < tol && std::fabs(ay - by) < tol;
}
bool crossAtStart(const Point2D& p, const Seg2D& s) {
  return crossSame(p.x, p.y, s.x1, s.y1, kNear);
}
bool crossAtEnd(const Point2D& p, const Seg2D& s) { return crossSame(p.x, p.y, s.x2, s.y2, kNear); }

double crossParam(const Seg2D& s, const Point2D& p) {
  if (std::fabs(s.x2 - s.x1) >= kNear) return (p.x - s.x1) / (s.x2 - s.x1);
  if (s.y2 != s.y1) return (p.y - s.y1) / (s.y2 - s.y1);
  return 0.0;
}

double crossDir(const Seg2D& s) { return std::atan2(s.y2 - s.y1, s.x2 - s.x1); }

// Whether the second contour really crosses the first at P, a joint of segment b: the two
// directions of the second contour at P (back along b, on along next) against those of the first
// (back to a's start, r0, and on along aNext when P is a's end, else straight on).
struct JointAngles {
  bool bothBeyond, bothBetween, coincide;
};
JointAngles crossJoint(const Point2D& p, const Seg2D& a, const Seg2D* aNext, bool pIsAStart,
                       const Seg2D& b, const Seg2D& bNext) {
  const double r0 = pIsAStart ? 0.0 : std::atan2(a.y1 - p.y, a.x1 - p.x);
  double r1;
  if (aNext != nullptr && crossAtEnd(p, a)) {
    r1 = crossDir(*aNext);
    if (r1 < r0) r1 += kTwoPi;
  } else {
    r1 = r0 + kPi;
  }
  double bIn = std::atan2(b.y1 - p.y, b.x1 - p.x);
  double bOut = crossDir(bNext);
  if (bIn < r0 - kNear) bIn += kTwoPi;
  if (bOut < r0 - kNear) bOut += kTwoPi;
  JointAngles j;
  j.bothBeyond = bIn > r1 && bOut > r1 - kNear;
  j.bothBetween = bIn < r1 && r0 - kNear < bOut && bOut < r1 + kNear;
  j.coincide = std::fabs(bOut - r0) < kNear || std::fabs(bOut - r1) < kNear;
  return j;
}

void crossSortFrom(SegCrossing* table, int from, int to) {
  std::sort(table + from, table + to,
            [](const SegCrossing& a, const SegCrossing& b) { return segCmpCrossing(b, a) == 1; });
}

bool crossClosed(const Seg2D* s, int n) {
  return n > 0 && crossSame(s[0].x1, s[0].y1, s[n - 1].x2, s[n - 1].y2, kEps);
}

Point2D crossPoint(const SegCrossing& r) { return Point2D{r.x, r.y}; }
}  // namespace

// ---- candidate index ---------------------------------------------------------------------------

ChainIndex* chainIndexNew(const Seg2D* segs, int count, int method, int axis) {
  if ((method != 1 && method != 2) || (axis != 0 && axis != 1) || count < 0 ||
      (segs == nullptr && count > 0)) {
    geoFail(-20, "seg_cross");
    return nullptr;
  }
  try {
    auto* idx = new ChainIndex{};
    idx->segCount = count;
    idx->axis = axis;
    idx->lo.resize(count);
    idx->hi.resize(count);
    idx->stamp.assign(count, 0);
    double lo = 0.0, hi = 0.0, extent = 0.0;
    for (int i = 0; i < count; ++i) {
      const double a = axis == 0 ? segs[i].x1 : segs[i].y1;
      const double b = axis == 0 ? segs[i].x2 : segs[i].y2;
      idx->lo[i] = std::fmin(a, b);
      idx->hi[i] = std::fmax(a, b);
      lo = i == 0 ? idx->lo[i] : std::fmin(lo, idx->lo[i]);
      hi = i == 0 ? idx->hi[i] : std::fmax(hi, idx->hi[i]);
      extent += idx->hi[i] - idx->lo[i];
    }
    // Buckets at least as wide as the mean segment extent: each segment lands in few buckets.
    const double range = hi - lo;
    double width = count > 0 ? std::fmax(range / count, extent / count) : 1.0;
    if (!(width > 1e-9)) width = 1.0;
    long long buckets = static_cast<long long>(range / width) + 1;
    if (buckets > count + 1) buckets = count + 1;
    idx->origin = lo;
    idx->width = width;
    const int nb = static_cast<int>(buckets);
    auto bucketOf = [&](double v) {
      long long k = static_cast<long long>(std::floor((v - lo) / width));
      return static_cast<int>(std::clamp<long long>(k, 0, nb - 1));
    };
    idx->bucketStart.assign(nb + 1, 0);
    for (int i = 0; i < count; ++i) {
      for (int k = bucketOf(idx->lo[i]); k <= bucketOf(idx->hi[i]); ++k) ++idx->bucketStart[k + 1];
    }
    for (int k = 0; k < nb; ++k) idx->bucketStart[k + 1] += idx->bucketStart[k];
    idx->items.resize(idx->bucketStart[nb]);
    std::vector<int> fill(idx->bucketStart.begin(), idx->bucketStart.end() - 1);
    for (int i = 0; i < count; ++i) {
      for (int k = bucketOf(idx->lo[i]); k <= bucketOf(idx->hi[i]); ++k) idx->items[fill[k]++] = i;
    }
    return idx;
  } catch (const std::bad_alloc&) {
    geoFail(-1, "seg_cross");
    return nullptr;
  }
}

void chainIndexFree(ChainIndex* index) { delete index; }

int chainIndexFirst(ChainIndex* idx, const Seg2D& q, int lowest) {
  idx->found.clear();
  idx->cursor = 0;
  if (idx->segCount == 0) return -1;
  if (++idx->query == 0) {  // the stamps wrapped: start them afresh
    std::fill(idx->stamp.begin(), idx->stamp.end(), 0);
    idx->query = 1;
  }
  const double a = idx->axis == 0 ? q.x1 : q.y1, b = idx->axis == 0 ? q.x2 : q.y2;
  const double qlo = std::fmin(a, b) - kEps, qhi = std::fmax(a, b) + kEps;
  const int nb = static_cast<int>(idx->bucketStart.size()) - 1;
  // Bucket positions are clamped as doubles before the conversion: a query far outside the index
  // (or not finite) must not overflow the integer type.
  const double f0 = std::floor((qlo - idx->origin) / idx->width);
  const double f1 = std::floor((qhi - idx->origin) / idx->width);
  if (std::isnan(f0) || std::isnan(f1)) return -1;
  const long long k0 = static_cast<long long>(std::clamp(f0, -1.0, static_cast<double>(nb)));
  const long long k1 = static_cast<long long>(std::clamp(f1, -1.0, static_cast<double>(nb)));
  if (k1 < 0 || k0 > nb - 1) return -1;
  for (long long k = std::max<long long>(k0, 0); k <= std::min<long long>(k1, nb - 1); ++k) {
    for (int e = idx->bucketStart[k]; e < idx->bucketStart[k + 1]; ++e) {
      const int i = idx->items[e];
      if (i < lowest || idx->stamp[i] == idx->query) continue;
      idx->stamp[i] = idx->query;
      if (idx->lo[i] <= qhi && idx->hi[i] >= qlo) idx->found.push_back(i);
    }
  }
  std::sort(idx->found.begin(), idx->found.end());
  return idx->found.empty() ? -1 : idx->found[0];
}

int chainIndexNext(const Seg2D& /*query*/, ChainIndex* idx, int current) {
  while (idx->cursor < static_cast<int>(idx->found.size()) && idx->found[idx->cursor] < current) {
    ++idx->cursor;
  }
  return idx->cursor < static_cast<int>(idx->found.size()) ? idx->found[idx->cursor] : -1;
}

// ---- self-crossings ----------------------------------------------------------------------------

namespace {
constexpr int kTableFull = -2;  // the search found more crossings than the table holds

// The self-crossing search; kTableFull when the table is too small, -1 when memory runs out.
int crossSelf(const Seg2D* segs, int n, SegCrossing* table, int cap, int m) {
  const bool closed = crossClosed(segs, n);
  ChainIndex* idx = chainIndexNew(segs, n, 1, 0);
  if (idx == nullptr) return -1;
  std::vector<char> broken;
  try {
    broken.assign(n, 0);
  } catch (const std::bad_alloc&) {
    chainIndexFree(idx);
    return -1;
  }
  if (m == -1) {
    for (int j = 0; j < n; ++j) {
      const Seg2D& nx = segs[(j + 1) % n];
      broken[j] =
          (std::fabs(segs[j].x2 - nx.x1) >= kNear || std::fabs(segs[j].y2 - nx.y1) >= kNear);
    }
  }
  int count = 0;
  // Judges and records a crossing of segment ia with segment ib at P.
  auto record = [&](int ia, int ib, const Point2D& p) -> int {
    if (crossAtEnd(p, segs[ib])) {
      if (ib == n - 1) return 0;
      if (m == -1 && broken[ib]) return 0;
      bool brokenBetween = false;
      if (m == -1) {
        for (int j = ia; j < ib && !brokenBetween; ++j) brokenBetween = broken[j] != 0;
      }
      const JointAngles ja = crossJoint(p, segs[ia], ia + 1 < n ? &segs[ia + 1] : nullptr, false,
                                        segs[ib], segs[ib + 1]);
      if (ja.bothBeyond || ja.bothBetween) return 0;
      if (!brokenBetween && ja.coincide) return 0;
    }
    if (count >= cap) return kTableFull;
    table[count++] = SegCrossing{p.x, p.y, crossParam(segs[ia], p), ia + 1, ib + 1, 0};
    return 0;
  };
  int result = 0;
  for (int a = 0; a + 2 < n && result == 0; ++a) {
    const int first = count;
    int prevCand = -1;
    for (int b = chainIndexFirst(idx, segs[a], a + 2); b >= 0 && result == 0;
         b = chainIndexNext(segs[a], idx, b + 1)) {
      Point2D p;
      const int hit = g2dSegIsect(segs[a], segs[b], &p);
      const int cand = prevCand;
      prevCand = b;
      if (hit != 1) continue;
      if (closed && a == 0 && b == n - 1) continue;  // their shared joint
      if (crossAtStart(p, segs[b])) {
        // The joint with b - 1: judged there as the end of b - 1, unless that test missed it.
        if (cand != b - 1 || b - 1 <= a + 1) continue;
        const bool done = count > first && table[count - 1].segB == b &&
                          crossSame(table[count - 1].x, table[count - 1].y, p.x, p.y, kNear);
        if (!done) result = record(a, b - 1, p);
        continue;
      }
      // A joint at a's start was met as the end of a - 1 already.
      if (a > 0 && crossAtStart(p, segs[a])) continue;
      result = record(a, b, p);
    }
    crossSortFrom(table, first, count);
  }
  chainIndexFree(idx);
  return result < 0 ? result : count;
}
}  // namespace

int segSelfCrossings(const Seg2D* segs, int n, SegCrossing* table, int cap, int m) {
  if (n < 0 || (n > 0 && (segs == nullptr || table == nullptr)) || cap < 0)
    return geoFail(-20, "seg_cross");
  if (n == 0) return 0;
  const int r = crossSelf(segs, n, table, cap, m);
  return r < 0 ? geoFail(-1, "seg_cross") : r;
}

int segSelfCrossingsGrow(const Seg2D* segs, int n, std::vector<SegCrossing>* table, int m) {
  if (n < 0 || (n > 0 && segs == nullptr) || table == nullptr) return geoFail(-20, "seg_cross");
  if (n == 0) return 0;
  try {
    // kSegCrossMax records at first, fewer for a short contour (the table is filled with zeros).
    std::size_t cap = std::max<std::size_t>(
        table->size(), std::min<std::size_t>(kSegCrossMax, 2 * static_cast<std::size_t>(n) + 16));
    for (;;) {
      table->resize(cap + 1);  // one spare record for a start record put in front
      const int r = crossSelf(segs, n, table->data(), static_cast<int>(cap), m);
      if (r >= 0) return r;
      if (r != kTableFull || cap > static_cast<std::size_t>(INT_MAX / 4))
        return geoFail(-1, "seg_cross");
      cap *= 2;
    }
  } catch (const std::bad_alloc&) {
    return geoFail(-1, "seg_cross");
  }
}

// ---- crossings of two contours -----------------------------------------------------------------

int segContoursIntersect(const Seg2D* a, int na, const Seg2D* b, int nb, SegCrossing* out,
                         int cap) {
  if (na < 0 || nb < 0 || cap < 0 || (na > 0 && a == nullptr) || (nb > 0 && b == nullptr) ||
      (na > 0 && nb > 0 && out == nullptr)) {
    return geoFail(-20, "seg_cross");
  }
  if (nb == 0 || na == 0) return 0;
  if (na == nb) {
    bool same = true;
    for (int i = 0; i < na && same; ++i) {
      same = std::fabs(a[i].x1 - b[i].x1) < kEps && std::fabs(a[i].y1 - b[i].y1) < kEps &&
             std::fabs(a[i].x2 - b[i].x2) < kEps && std::fabs(a[i].y2 - b[i].y2) < kEps;
    }
    if (same) return 0;
  }
  ChainIndex* idx = chainIndexNew(b, nb, 1, 0);
  if (idx == nullptr) return geoFail(-1, "seg_cross");
  int count = 0;
  int result = 0;
  try {
    // Segment pairs that overlap collinearly (a sparse set rather than a table of na x nb bits).
    std::unordered_set<long long> overlaps;
    auto key = [nb](int i, int j) { return static_cast<long long>(i) * nb + j; };
    for (int i = 0; i < na && result == 0; ++i) {
      const int first = count;
      for (int j = chainIndexFirst(idx, a[i], 0); j >= 0; j = chainIndexNext(a[i], idx, j + 1)) {
        Point2D p;
        const int hit = g2dSegIsect(a[i], b[j], &p);
        if (hit == -1) {
          overlaps.insert(key(i, j));
          continue;
        }
        if (hit != 1) continue;
        int sa = i + 1, sb = j + 1;
        const bool fresh = count == 0;
        const bool differsFromLast =
            !fresh && !crossSame(p.x, p.y, out[count - 1].x, out[count - 1].y, kNear);
        if (i > 0 && crossAtStart(p, a[i]) &&
            (overlaps.count(key(i - 1, j)) != 0 || differsFromLast)) {
          sa = i;
        }
        if (j > 0 && crossAtStart(p, b[j]) &&
            (overlaps.count(key(i, j - 1)) != 0 || differsFromLast)) {
          sb = j;
        }
        if (crossAtEnd(p, b[j])) {
          const JointAngles ja = crossJoint(p, a[i], i + 1 < na ? &a[i + 1] : nullptr,
                                            crossAtStart(p, a[i]), b[j], b[(j + 1) % nb]);
          if (ja.bothBeyond || ja.bothBetween) {  // the contours only touch there
            sa = i + 1;
            sb = j + 1;
          }
        }
        if (count >= cap) {
          result = -1;
          break;
        }
        out[count++] = SegCrossing{p.x, p.y, crossParam(a[i], p), sa, sb, 1};
      }
      crossSortFrom(out, first, count);
    }
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  chainIndexFree(idx);
  if (result < 0) return geoFail(-1, "seg_cross");
  return count;
}

// ---- circles -----------------------------------------------------------------------------------

int segCircleCrossings(int n, const Seg2D* segs, const Circle2D& circle, SegCrossing* out,
                       int cap) {
  if (segs == nullptr || n <= 0) return 0;
  int count = 0;
  for (int j = 0; j < n; ++j) {
    Point2D p[2];
    const int k = g2dSegCircleIsect(segs[j], circle, p);
    int take = 0;
    if (k == 2) take = 2;
    if (k == 1 && !crossAtStart(p[0], segs[j]) && !crossAtEnd(p[0], segs[j])) take = 1;
    for (int e = 0; e < take; ++e) {
      if (count >= cap) return geoFail(-1, "seg_cross");
      out[count++] = SegCrossing{p[e].x, p[e].y, crossParam(segs[j], p[e]), j + 1, 0, 0};
    }
  }
  return count;
}

int segCircleHits(const Circle2D& circle, const Seg2D* segs, int n) {
  if (segs == nullptr) return 0;
  // A crossing lies on the circle and, by the segment intersection's tolerance, within 0.0032 of
  // the segment's box: segments whose box stays 0.01 away from the circle's box are passed over.
  constexpr double kReach = 0.01;
  const double r = std::fabs(circle.radius) + kReach;
  const double cx = circle.centre.x, cy = circle.centre.y;
  for (int j = 0; j < n; ++j) {
    const Seg2D& s = segs[j];
    if (std::min(s.x1, s.x2) > cx + r || std::max(s.x1, s.x2) < cx - r ||
        std::min(s.y1, s.y2) > cy + r || std::max(s.y1, s.y2) < cy - r)
      continue;
    Point2D p[2];
    const int k = g2dSegCircleIsect(segs[j], circle, p);
    if (k == 2) return 1;
    if (k == 1 && !crossAtStart(p[0], segs[j]) && !crossAtEnd(p[0], segs[j])) return 1;
  }
  return 0;
}

int segCmpCrossing(const SegCrossing& a, const SegCrossing& b) {
  if (a.segA > b.segA || (a.segA == b.segA && a.t > b.t)) return 1;
  return -1;
}

// ---- classification ----------------------------------------------------------------------------

namespace {
// Direction in which the raw contour leaves X along segment k: along the following segment when
// X is k's end, else from X to k's end.
double crossLeaving(const Seg2D* raw, int rawCount, int k, const Point2D& x) {
  const Seg2D& s = raw[k];
  if (crossSame(x.x, x.y, s.x2, s.y2, kEps)) {
    if (k + 1 < rawCount) return crossDir(raw[k + 1]);
    return crossDir(s);
  }
  return std::atan2(s.y2 - x.y, s.x2 - x.x);
}
}  // namespace

int segCrossingSide(const SegCrossing& rec, const Seg2D* raw, int rawCount, int side) {
  const Point2D x = crossPoint(rec);
  const int ia = std::clamp(rec.segA - 1, 0, rawCount - 1);
  const int ib = std::clamp(rec.segB - 1, 0, rawCount - 1);
  const double alpha = crossLeaving(raw, rawCount, ia, x);
  const double beta = crossLeaving(raw, rawCount, ib, x);
  const double delta = alpha - beta;
  const bool left = (delta >= 0.0 && delta < kPi) || delta < -kPi;
  return ((side == 1 && left) || (side != 1 && !left)) ? 1 : 2;
}

void segClassifyCrossing(SegCrossing* table, int count, int i, const Seg2D* raw, int rawCount,
                         const Seg2D* in, int inCount, double d, int side) {
  SegCrossing& rec = table[i];
  const double r = d - std::fmin(0.01 * d, 0.001);
  const Point2D x = crossPoint(rec);
  rec.state = 1;
  if (segCircleHits(Circle2D{x, r}, in, inCount) == 1) {
    rec.state = 0;
    return;
  }
  if (rawCount <= 0) return;
  if (!crossSame(x.x, x.y, raw[0].x1, raw[0].y1, kEps)) {
    rec.state = segCrossingSide(rec, raw, rawCount, side) == 1 ? 1 : 0;
    return;
  }
  // The crossing at the raw contour's own start: probe a little way on along the contour.
  const int k = std::clamp(rec.segA - 1, 0, rawCount - 1);
  Point2D target = g2dSegEnd(raw[k]);
  if (crossSame(x.x, x.y, raw[k].x2, raw[k].y2, kEps) && k + 1 < rawCount) {
    target = g2dSegEnd(raw[k + 1]);
  } else if (i + 1 < count && table[i + 1].segA == rec.segA) {
    target = crossPoint(table[i + 1]);
  }
  const Point2D probe{x.x + 0.1 * (target.x - x.x), x.y + 0.1 * (target.y - x.y)};
  if (segCircleHits(Circle2D{probe, r}, in, inCount) == 1) rec.state = 0;
}

void segClassifyCrossings(SegCrossing* table, int count, const Seg2D* raw, int rawCount,
                          const Seg2D* in, int inCount, double d, int side) {
  for (int i = count - 1; i >= 0; --i) {
    segClassifyCrossing(table, count, i, raw, rawCount, in, inCount, d, side);
  }
}

// ---- loop walk ---------------------------------------------------------------------------------

int segCrossingOrder(const Seg2D& seg, const Point2D& p, const Point2D& q) {
  bool after;
  if (std::fabs(seg.x2 - seg.x1) >= kNear) {
    after = seg.x2 > seg.x1 ? p.x > q.x : p.x < q.x;
  } else {
    after = seg.y2 > seg.y1 ? p.y > q.y : p.y < q.y;
  }
  return after ? 1 : 2;
}

int segNextCrossing(const SegCrossing* table, int count, int r, int k, const Seg2D* raw,
                    int rawCount) {
  const SegCrossing& rr = table[r];
  const int a = k == 1 ? rr.segA : rr.segB;
  const Point2D pr = crossPoint(rr);
  int best = -1, bestG = 0;
  for (int j = 0; j < count; ++j) {
    if (j == r) continue;
    const int st = table[j].state;
    if (st == 2 || st == k) continue;
    const int g = st == 1 ? table[j].segB : table[j].segA;
    if (g < a || g < 1 || g > rawCount) continue;
    const Point2D pj = crossPoint(table[j]);
    if (g == a && contPointsEqual(pj, pr) == 0 && segCrossingOrder(raw[a - 1], pj, pr) != 1) {
      continue;
    }
    if (best < 0 || g < bestG) {
      best = j;
      bestG = g;
    } else if (g == bestG && segCrossingOrder(raw[g - 1], crossPoint(table[best]), pj) == 1 &&
               (g != a || segCrossingOrder(raw[a - 1], pj, pr) == 1)) {
      best = j;
    }
  }
  return best;
}

int segTraceRun(SegCrossing* table, int count, int r, int k, const Seg2D* raw, int rawCount,
                bool closed, std::vector<Seg2D>* out) {
  const SegCrossing& rr = table[r];
  const int a = k == 1 ? rr.segA : rr.segB;
  const int found = segNextCrossing(table, count, r, k, raw, rawCount);
  const int nIdx = found >= 0 ? found : 0;
  const SegCrossing& nn = table[nIdx];
  const int b = (nn.state != 0 || found < 0) ? nn.segB : nn.segA;
  if (b < a || a < 1 || b > rawCount) return -1;
  const Point2D np = crossPoint(nn);
  const bool openStart = nIdx == 0 && !closed && crossSame(np.x, np.y, raw[0].x1, raw[0].y1, kEps);
  const std::size_t first = out->size();
  for (int s = a; s <= b; ++s) {
    Seg2D seg = raw[s - 1];
    if (s == a) {
      seg.x1 = rr.x;
      seg.y1 = rr.y;
    }
    if (s == b && !openStart && g2dPointSegDist(np, seg) < 0.01) {
      seg.x2 = np.x;
      seg.y2 = np.y;
    }
    if (out->size() > first && nIdx != 0) {
      const Seg2D& prev = out->back();
      if (!crossSame(prev.x2, prev.y2, seg.x1, seg.y1, kEps)) return -1;
    }
    out->push_back(seg);
  }
  return nIdx;
}

namespace {
// A failed trace: record 0 is given up; with the retry flag already set the walk gives an empty
// result, otherwise it sets the flag and fails.
int crossTraceFailed(SegCrossing* table, std::vector<Seg2D>* work, std::size_t start, bool keepLong,
                     int rawCount) {
  table[0].state = 2;
  if (segOffsetRetryFlag() != 0) {
    work->resize(start);
    return 0;
  }
  segOffsetSetRetryFlag(1);
  const std::size_t traced = work->size() - start;
  if (keepLong && 3 * traced > 2 * static_cast<std::size_t>(rawCount)) {
    return static_cast<int>(traced);
  }
  return -1;
}

// The first run: from record 0, marked so that the walk can come back to it.
int segKeepOuterRun(SegCrossing* table, int count, const Seg2D* raw, int rawCount, bool closed,
                    std::vector<Seg2D>* work, std::size_t start, int* next) {
  const int key = table[0].state == 1 ? 1 : 2;
  table[0].state = 3;
  *next = segTraceRun(table, count, 0, key, raw, rawCount, closed, work);
  if (*next < 0) return crossTraceFailed(table, work, start, false, rawCount);
  return 1;
}
}  // namespace

int segRemoveLoops(SegCrossing* table, int count, const Seg2D* raw, int rawCount,
                   std::vector<Seg2D>* work) {
  if (table == nullptr || raw == nullptr || work == nullptr || count <= 0 || rawCount <= 0) {
    return -1;
  }
  int f = 0;
  while (f < count && table[f].state != 1) ++f;
  if (f >= count) return -1;
  std::swap(table[0], table[f]);
  const bool closed = crossClosed(raw, rawCount);
  const std::size_t start = work->size();
  const std::size_t maxTraced =
      std::max<std::size_t>(kMaxTraced, 2 * static_cast<std::size_t>(rawCount));
  int result = -2;
  try {
    int n = 0;
    const int kept = segKeepOuterRun(table, count, raw, rawCount, closed, work, start, &n);
    if (kept != 1) {
      result = kept;
    } else {
      while (n != 0) {
        if (work->size() - start > maxTraced) {
          result = -1;
          break;
        }
        const int key = table[n].state == 1 ? 1 : 2;
        table[n].state = 2;
        const int next = segTraceRun(table, count, n, key, raw, rawCount, closed, work);
        if (next < 0) {
          result = crossTraceFailed(table, work, start, true, rawCount);
          break;
        }
        n = next;
      }
      if (result == -2) {
        table[0].state = 2;
        result = work->size() - start > maxTraced ? -1 : static_cast<int>(work->size() - start);
      }
    }
  } catch (const std::bad_alloc&) {
    result = -1;
  }
  for (int i = 0; i < count; ++i) {
    if (table[i].state == 3) table[i].state = 2;
  }
  return result;
}

int segOffsetRetryFlag() { return crossState.retry; }
void segOffsetSetRetryFlag(int on) { crossState.retry = on; }
namespace {
struct CrossTableState {
  std::unique_ptr<SegCrossing[]> kept;  // the table lent out by SegCrossTable
  bool lent = false;
};
CrossTableState crossTableState;
}  // namespace

SegCrossTable::SegCrossTable() : table_(nullptr), own_(crossTableState.lent) {
  // new[] of a plain record leaves it uninitialised: nothing is cleared.
  if (own_) {
    table_ = new SegCrossing[kSegCrossMax + 1];
    return;
  }
  if (crossTableState.kept == nullptr)
    crossTableState.kept.reset(new SegCrossing[kSegCrossMax + 1]);
  table_ = crossTableState.kept.get();
  crossTableState.lent = true;
}

SegCrossTable::~SegCrossTable() {
  if (own_) {
    delete[] table_;
  } else {
    crossTableState.lent = false;
  }
}
