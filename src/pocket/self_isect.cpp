// self_isect.cpp - the self-crossings of a chain of lines and arcs, by a sweep over x-sorted
// element boxes or by all pairs, and the sort orders of records along an element.
// Both searches walk each element A with its later elements B in rising order through one pair
// step, so the sweep only leaves out pairs whose boxes are apart, which give nothing.
#include "pocket/self_isect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>
#include <vector>

#include "geometry/lst_sort.h"
#include "geometry/seg_cross.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kHalfPi = std::numbers::pi / 2.0;
// Points whose x and y differ by less than this are one point; lines whose end x agree within it
// are measured along y.
constexpr double kSamePoint = 0.0001;
// Directions that agree within this (radians) run along each other.
constexpr double kAlongTol = 0.0001;
// Fixed part of the search-box margin, well beyond the slack of the point-in-element tests.
constexpr double kBoxMargin = 0.1;
// Pair lists larger than this many entries per element (plus a fixed allowance) are not built:
// the search then visits all pairs, with the same result.
constexpr std::size_t kPairsPerElement = 16;
constexpr std::size_t kPairAllowance = std::size_t{1} << 22;

// Result of one pair step.
enum class PairResult { kNone, kOverlap, kFull };

struct SelfSearch {
  const ContourElement* e;
  int n;
  IntersectionRecord* records;
  int room;  // records the table holds
  int count;
  double tol;                 // contTol
  std::vector<int> gapsUpTo;  // gapsUpTo[k] = number of gap flags among elements 0 .. k - 1
  bool gaps;
  // With pinches: the joints (end of element k meeting the start of k + 1) by the x of their
  // point, to find the joints that lie on another one.
  // With pinches: per element, whether its end meets the next start (a joint).
  bool pinches = false;
  std::vector<char> joint;
  std::vector<int> pinchWith;  // the later joints met at the current element's joint
};

bool gapAt(const SelfSearch& s, int k) { return s.gaps && s.gapsUpTo[k + 1] - s.gapsUpTo[k] > 0; }
// Any gap flag among the elements from..to - 1.
bool gapsFrom(const SelfSearch& s, int from, int to) {
  return s.gaps && to > from && s.gapsUpTo[to] - s.gapsUpTo[from] > 0;
}

double angleOf(const Point2D& v) { return contVectorAngle(v.y, v.x); }

Point2D dirAt(const ContourElement& e, int which) {
  Point2D d{0.0, 0.0};
  contElemDirection(e, &d, which);
  return d;
}

// Backward direction along A at P: toward a line's start (vertical within 0.0001 as +-pi/2), the
// reversed tangent of an arc at P.
double backwardAlong(const ContourElement& a, const Point2D& p) {
  if (a.type == kContLine) {
    const double dx = a.p0 - p.x, dy = a.p1 - p.y;
    if (std::fabs(dx) < kSamePoint) return dy >= 0.0 ? kHalfPi : 3.0 * kHalfPi;
    return angleOf(Point2D{dx, dy});
  }
  Point2D t{-(p.y - a.p1), p.x - a.p0};
  if (a.dir < 0) t = Point2D{-t.x, -t.y};
  return angleOf(Point2D{-t.x, -t.y});
}

// Position of P on element A: a line's fraction from its start, an arc's angle from its
// counter-clockwise-most end.
double paramOn(const ContourElement& a, const Point2D& p) {
  if (a.type == kContLine) {
    if (std::fabs(a.p2 - a.p0) < kSamePoint) {
      return a.p3 != a.p1 ? (p.y - a.p1) / (a.p3 - a.p1) : 0.0;
    }
    return (p.x - a.p0) / (a.p2 - a.p0);
  }
  const Point2D ref = a.dir > 0 ? contArcStart(a) : contArcEnd(a);
  const double r = std::atan2(ref.y - a.p1, ref.x - a.p0);
  double t = std::atan2(p.y - a.p1, p.x - a.p0);
  if (t < r) t += kTwoPi;
  return t;
}

// 1 when P, the end of B, is only a touching point of A and B: the directions at P leave B and
// its successor on one side of A, or the successor runs along A.
bool touchAtEndOfB(const SelfSearch& s, int i, int j, const Point2D& p) {
  const ContourElement& a = s.e[i];
  const ContourElement& b = s.e[j];
  const double thetaA = backwardAlong(a, p);
  const Point2D bEnd = dirAt(b, 2);
  double thetaB = angleOf(Point2D{-bEnd.x, -bEnd.y});
  double thetaN = angleOf(dirAt(s.e[j + 1], 1));
  double thetaC = contSamePoint(p, contElemEnd(a)) == 1 ? angleOf(dirAt(s.e[i + 1], 1))
                                                        : thetaA + std::numbers::pi;
  if (thetaB < thetaA - s.tol) thetaB += kTwoPi;
  if (thetaN < thetaA - s.tol) thetaN += kTwoPi;
  if (thetaC < thetaA) thetaC += kTwoPi;
  if (thetaC < thetaB && thetaC + s.tol < thetaN) return true;
  if (thetaB < thetaC && thetaA + s.tol < thetaN && thetaN < thetaC - s.tol) return true;
  return !gapsFrom(s, i, j) &&
         (std::fabs(thetaN - thetaA) < kAlongTol || std::fabs(thetaN - thetaC) < kAlongTol);
}

// Intersects element i with the later element j and records the crossings. overlapped is the
// element that last overlapped element i (-1 for none). Returns kFull when the table is full.
PairResult pairStep(SelfSearch& s, int i, int j, int overlapped) {
  const ContourElement& a = s.e[i];
  const ContourElement& b = s.e[j];
  Point2D pts[2] = {};
  const int v = isectElements(a, b, pts);
  const bool lines = a.type == kContLine && b.type == kContLine;
  const bool arcs = a.type == kContArc && b.type == kContArc;
  if ((lines && v == -1) || (arcs && v < -1)) return PairResult::kOverlap;
  if (v <= 0) return PairResult::kNone;
  const bool neighbour = j == i + 1 || (i == 0 && j == s.n - 1);
  if (neighbour && v != 2 && !gapAt(s, i) && contSamePoint(contElemEnd(a), contElemStart(b)) == 1) {
    return PairResult::kNone;
  }
  const Point2D aStart = contElemStart(a), bStart = contElemStart(b), bEnd = contElemEnd(b);
  for (int k = 0; k < v; ++k) {
    const Point2D& p = pts[k];
    int elemB = j + 1;
    if (contSamePoint(p, bStart) == 1) {
      // The start of B belongs to the element before it, unless that one overlapped A.
      if (overlapped != j - 1) continue;
      elemB = j;
    } else {
      if (i != 0 && contSamePoint(p, aStart) == 1) continue;
      if (contSamePoint(p, bEnd) == 1) {
        if (j == s.n - 1) continue;
        if (gapsFrom(s, i, j) && gapAt(s, j)) continue;
        if (touchAtEndOfB(s, i, j, p)) continue;
      }
    }
    if (s.count >= s.room) return PairResult::kFull;
    s.records[s.count++] = IntersectionRecord{p.x, p.y, paramOn(a, p), i + 1, elemB, 0, 0};
  }
  return PairResult::kNone;
}

// Sets up the gap flags. Returns false when memory runs out.
bool prepare(SelfSearch& s, const ContourElement* e, int n, IntersectionRecord* records, int room,
             int status) {
  s.e = e;
  s.n = n;
  s.records = records;
  s.room = room;
  s.count = 0;
  s.tol = pockEngine().contTol;
  s.gaps = status == kSelfIsectGapStatus;
  if (!s.gaps) return true;
  try {
    s.gapsUpTo.assign(static_cast<std::size_t>(n) + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int k = 0; k < n; ++k) {
    const int gap = contSamePoint(contElemEnd(e[k]), contElemStart(e[(k + 1) % n])) == 1 ? 0 : 1;
    s.gapsUpTo[k + 1] = s.gapsUpTo[k] + gap;
  }
  return true;
}

// Marks the joints for the pinch search.
void preparePinches(SelfSearch& s) {
  s.joint.assign(static_cast<std::size_t>(s.n), 0);
  for (int k = 0; k < s.n; ++k) {
    const ContourElement& a = s.e[k];
    const ContourElement& b = s.e[(k + 1) % s.n];
    // The end of a (a line's p2, p3; an arc's p4, p5) against the start of b.
    const double ex = a.type == kContArc ? a.p4 : a.p2, ey = a.type == kContArc ? a.p5 : a.p3;
    const double sx = b.type == kContArc ? b.p2 : b.p0, sy = b.type == kContArc ? b.p3 : b.p1;
    s.joint[static_cast<std::size_t>(k)] =
        std::fabs(ex - sx) < kSamePoint && std::fabs(ey - sy) < kSamePoint ? 1 : 0;
  }
}

// Notes element j, visited with element i, when both end in joints at one point and j is no
// neighbour of i: the chain passes that point twice.
void notePinch(SelfSearch& s, int i, int j) {
  if (j <= i + 1 || j == s.n - 1 || s.joint[static_cast<std::size_t>(i)] == 0 ||
      s.joint[static_cast<std::size_t>(j)] == 0)
    return;
  if (contSamePoint(contElemEnd(s.e[i]), contElemEnd(s.e[j])) == 1) s.pinchWith.push_back(j);
}

// Records where the joint at the end of element i lies on a later joint (of element l, not a
// neighbour) without a crossing there: the chain passes the point twice and only touches itself,
// as the raw offset does at the foot of a needle of zero width, where a lobe of the needle's
// offset hangs on the loop by that one point. A record already written for the pair at the
// point (a crossing) stands alone. Returns false when the table is full.
bool addPinches(SelfSearch& s, int i, int first) {
  const Point2D p = contElemEnd(s.e[i]);
  for (int l : s.pinchWith) {
    bool recorded = false;
    for (int k = first; k < s.count && !recorded; ++k) {
      const IntersectionRecord& r = s.records[k];
      recorded = (r.elemB == l + 1 || r.elemB == l + 2) && contSamePoint(p, Point2D{r.x, r.y}) == 1;
    }
    if (recorded) continue;
    if (s.count >= s.room) return false;
    s.records[s.count++] = IntersectionRecord{p.x, p.y, paramOn(s.e[i], p), i + 1, l + 1, 0, 0};
  }
  return true;
}

// Runs element i against the later elements that next() yields in rising order (-1 ends), then
// sorts i's records. The element after one that overlaps i is judged with the overlap: the start
// of that element, where the chain leaves the shared stretch, counts as the overlap's end.
// Returns false when full.
template <typename Next>
bool searchElement(SelfSearch& s, int i, Next next) {
  const int first = s.count;
  int overlapped = -1;
  if (s.pinches) s.pinchWith.clear();
  for (int j = next(); j >= 0; j = next()) {
    if (s.pinches) notePinch(s, i, j);
    const PairResult r = pairStep(s, i, j, overlapped);
    if (r == PairResult::kFull) return false;
    if (r == PairResult::kOverlap) overlapped = j;
  }
  if (s.pinches && !s.pinchWith.empty() && !addPinches(s, i, first)) return false;
  isectSortAlong(s.records + first, s.count - first, s.e[i]);
  return true;
}

// A box that holds every point of the arc: its ends, and each of the four axis extremes of its
// circle that lies in its window or near either end of it (by cross products with a slack; an arc
// whose ends nearly meet takes its whole circle).
void arcSearchExtent(const ContourElement& a, Point2D* lo, Point2D* hi) {
  const double r = std::fabs(a.radius);
  Point2D s{a.p2 - a.p0, a.p3 - a.p1}, e{a.p4 - a.p0, a.p5 - a.p1};
  if (a.dir < 0) std::swap(s, e);  // the window runs counter-clockwise from s to e
  *lo = Point2D{a.p2 < a.p4 ? a.p2 : a.p4, a.p3 < a.p5 ? a.p3 : a.p5};
  *hi = Point2D{a.p2 < a.p4 ? a.p4 : a.p2, a.p3 < a.p5 ? a.p5 : a.p3};
  const double slack = 1e-6 * (r * r + 1.0);
  const double cse = s.x * e.y - s.y * e.x;
  const bool whole = std::fabs(s.x - e.x) + std::fabs(s.y - e.y) < 1e-6 * (r + 1.0);
  const Point2D dirs[4] = {{r, 0.0}, {-r, 0.0}, {0.0, r}, {0.0, -r}};
  for (const Point2D& d : dirs) {
    const double csd = s.x * d.y - s.y * d.x, cde = d.x * e.y - d.y * e.x;
    const bool in =
        cse >= 0.0 ? (csd >= -slack && cde >= -slack) : (csd >= -slack || cde >= -slack);
    if (whole || in) {
      const Point2D q{a.p0 + d.x, a.p1 + d.y};
      lo->x = q.x < lo->x ? q.x : lo->x;
      lo->y = q.y < lo->y ? q.y : lo->y;
      hi->x = q.x > hi->x ? q.x : hi->x;
      hi->y = q.y > hi->y ? q.y : hi->y;
    }
  }
}

// The widest absolute coordinate of a box.
double boxReach(const Point2D& lo, const Point2D& hi) {
  const double a = std::fabs(lo.x), b = std::fabs(hi.x), c = std::fabs(lo.y), d = std::fabs(hi.y);
  const double ab = a > b ? a : b, cd = c > d ? c : d;
  return ab > cd ? ab : cd;
}
}  // namespace

double isectSearchMargin(double reach) {
  const PockEngine& eng = pockEngine();
  // Beyond the slack of the point tests (at most 20 contTol along a segment), of the tangent tests
  // (0.05 at an arc's ends) and beyond the spread of two lines that the parallel test takes as
  // collinear (at most isectTol times their distance from the origin).
  return kBoxMargin + 100.0 * (eng.contTol + eng.isectTol) + 2.0 * eng.isectTol * (reach + 2.0);
}

int isectSearchBox(const ContourElement& e, IsectBox* out) {
  Point2D lo{}, hi{};
  if (e.type == kContLine) {
    lo = Point2D{e.p0 < e.p2 ? e.p0 : e.p2, e.p1 < e.p3 ? e.p1 : e.p3};
    hi = Point2D{e.p0 < e.p2 ? e.p2 : e.p0, e.p1 < e.p3 ? e.p3 : e.p1};
  } else if (e.type == kContArc) {
    arcSearchExtent(e, &lo, &hi);
  } else {
    return 0;
  }
  const double margin = isectSearchMargin(boxReach(lo, hi));
  *out = IsectBox{lo.x - margin, lo.y - margin, hi.x + margin, hi.y + margin};
  return 1;
}

int isectBoxPairs(const ContourElement* a, int na, const ContourElement* b, int nb, std::size_t cap,
                  std::vector<std::uint64_t>* pairs) {
  pairs->clear();
  const bool self = b == nullptr;
  if (a == nullptr || na <= 0 || (!self && nb <= 0)) return 1;
  try {
    // One entry per element: its box, the set (0 a, 1 b) and its index.
    struct Entry {
      IsectBox box;
      int set;
      int index;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(na) + static_cast<std::size_t>(self ? 0 : nb));
    for (int k = 0; k < na; ++k) {
      IsectBox bx{};
      if (isectSearchBox(a[k], &bx) == 1) entries.push_back(Entry{bx, 0, k});
    }
    for (int k = 0; !self && k < nb; ++k) {
      IsectBox bx{};
      if (isectSearchBox(b[k], &bx) == 1) entries.push_back(Entry{bx, 1, k});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& p, const Entry& q) {
      if (p.box.x0 != q.box.x0) return p.box.x0 < q.box.x0;
      if (p.set != q.set) return p.set < q.set;
      return p.index < q.index;
    });
    // Boxes the sweep line still crosses, per set, kept in bands of y of about twice the mean box
    // height (a box in the band of its lower edge; taller boxes in one list of their own). A box
    // enters the bands of its own set and is tested against the bands of the other set that can
    // hold a box meeting it (the only set in the self search). Boxes that end before the sweep
    // line leave a band when it is scanned.
    double ylo = entries.empty() ? 0.0 : entries[0].box.y0, yhi = ylo, heights = 0.0;
    for (const Entry& en : entries) {
      ylo = en.box.y0 < ylo ? en.box.y0 : ylo;
      yhi = en.box.y1 > yhi ? en.box.y1 : yhi;
      heights += en.box.y1 - en.box.y0;
    }
    double band = entries.empty() ? 1.0 : 2.0 * heights / static_cast<double>(entries.size());
    const double maxBands = static_cast<double>(entries.size()) + 1.0;
    if (!(band > 0.0) || !std::isfinite(band) || (yhi - ylo) / band > maxBands) {
      band = (yhi - ylo) / maxBands;
    }
    const int bands = (band > 0.0 && std::isfinite(yhi - ylo))
                          ? static_cast<int>(std::floor((yhi - ylo) / band)) + 1
                          : 1;
    auto bandOf = [&](double y) {
      if (bands == 1) return 0;
      const double f = std::floor((y - ylo) / band);
      return static_cast<int>(std::clamp(f, 0.0, static_cast<double>(bands - 1)));
    };
    std::vector<std::vector<int>> active[2];
    std::vector<int> tall[2];
    active[0].resize(static_cast<std::size_t>(bands));
    if (!self) active[1].resize(static_cast<std::size_t>(bands));
    auto scan = [&](std::vector<int>& list, const Entry& en) {
      std::size_t kept = 0;
      for (int o : list) {
        const Entry& oe = entries[static_cast<std::size_t>(o)];
        if (oe.box.x1 < en.box.x0) continue;  // ends before the sweep line: leaves the list
        list[kept++] = o;
        if (oe.box.y0 <= en.box.y1 && en.box.y0 <= oe.box.y1) {
          int i = en.set == 0 ? en.index : oe.index;
          int j = en.set == 0 ? oe.index : en.index;
          if (self && i > j) std::swap(i, j);
          pairs->push_back((static_cast<std::uint64_t>(i) << 32) | static_cast<std::uint64_t>(j));
        }
      }
      list.resize(kept);
    };
    for (std::size_t e = 0; e < entries.size(); ++e) {
      const Entry& en = entries[e];
      const int other = self ? 0 : 1 - en.set;
      const int own = self ? 0 : en.set;
      for (int k = bandOf(en.box.y0 - band); k <= bandOf(en.box.y1); ++k) {
        scan(active[other][static_cast<std::size_t>(k)], en);
      }
      scan(tall[other], en);
      if (en.box.y1 - en.box.y0 > band) {
        tall[own].push_back(static_cast<int>(e));
      } else {
        active[own][static_cast<std::size_t>(bandOf(en.box.y0))].push_back(static_cast<int>(e));
      }
      if (pairs->size() > cap) {
        std::vector<std::uint64_t>().swap(*pairs);
        return 0;
      }
    }
    // Sorted by i with a count per element, then by j within each element's short run.
    const int na0 = na;
    std::vector<int> first(static_cast<std::size_t>(na0) + 1, 0);
    for (std::uint64_t p : *pairs) ++first[static_cast<std::size_t>(p >> 32) + 1];
    for (int i = 0; i < na0; ++i)
      first[static_cast<std::size_t>(i) + 1] += first[static_cast<std::size_t>(i)];
    std::vector<std::uint64_t> sorted(pairs->size());
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (std::uint64_t p : *pairs)
      sorted[static_cast<std::size_t>(fill[static_cast<std::size_t>(p >> 32)]++)] = p;
    for (int i = 0; i < na0; ++i) {
      std::sort(sorted.begin() + first[static_cast<std::size_t>(i)],
                sorted.begin() + first[static_cast<std::size_t>(i) + 1]);
    }
    pairs->swap(sorted);
  } catch (const std::bad_alloc&) {
    std::vector<std::uint64_t>().swap(*pairs);
    return -1;
  }
  return 1;
}

int isectCompareByParam(const void* a, const void* b) {
  const auto* ra = static_cast<const IntersectionRecord*>(a);
  const auto* rb = static_cast<const IntersectionRecord*>(b);
  if (ra->elemA > rb->elemA) return -1;
  if (ra->elemA < rb->elemA) return 1;
  return ra->param < rb->param ? 1 : -1;
}

int isectCompareAlong(const void* a, const void* b) {
  return segCmpCrossing(isectAsCrossing(*static_cast<const IntersectionRecord*>(a)),
                        isectAsCrossing(*static_cast<const IntersectionRecord*>(b)));
}

void isectSortAlong(IntersectionRecord* records, int count, const ContourElement& a) {
  if (records == nullptr || count < 2) return;
  const LstCompare cmp =
      (a.type == kContArc && a.dir < 0) ? isectCompareByParam : isectCompareAlong;
  lstSort(records, count, sizeof(IntersectionRecord), cmp);
}

namespace {
// The search over all pairs into a table of room records: the count, kSelfIsectFull when more
// would be written, -1 when memory runs out.
int searchAllPairs(const ContourElement* elements, int n, IntersectionRecord* records, int room,
                   int status, bool pinches = false) {
  SelfSearch s{};
  if (!prepare(s, elements, n, records, room, status)) return -1;
  s.pinches = pinches;
  if (pinches) preparePinches(s);
  for (int i = 0; i < n; ++i) {
    int j = i;
    if (!searchElement(s, i, [&] { return ++j < n ? j : -1; })) return kSelfIsectFull;
  }
  return s.count;
}

// The same pairs through the sweep over the boxes.
int searchSweep(const ContourElement* elements, int n, IntersectionRecord* records, int room,
                int status, bool pinches = false) {
  SelfSearch s{};
  if (!prepare(s, elements, n, records, room, status)) return -1;
  s.pinches = pinches;
  if (pinches) preparePinches(s);
  std::vector<std::uint64_t> pairs;  // (i << 32) | j with i < j, boxes meeting
  const std::size_t cap = kPairsPerElement * static_cast<std::size_t>(n) + kPairAllowance;
  const int built = isectBoxPairs(elements, n, nullptr, 0, cap, &pairs);
  if (built < 0) return -1;
  if (built == 0) return searchAllPairs(elements, n, records, room, status, pinches);
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) {
    const auto key = static_cast<std::uint64_t>(i);
    if (!searchElement(s, i, [&]() -> int {
          if (at < pairs.size() && (pairs[at] >> 32) == key) {
            return static_cast<int>(pairs[at++] & 0xffffffffu);
          }
          return -1;
        })) {
      return kSelfIsectFull;
    }
  }
  return s.count;
}

int withinTable(int r) { return r == kSelfIsectFull ? -1 : r; }
}  // namespace

int contFindSelfIsectsAllPairs(const ContourElement* elements, int n, IntersectionRecord* records,
                               int status) {
  if (elements == nullptr || records == nullptr || n < 2) return 0;
  return withinTable(searchAllPairs(elements, n, records, kSelfIsectMax, status));
}

int contFindSelfIsects(const ContourElement* elements, int n, IntersectionRecord* records,
                       int status) {
  if (elements == nullptr || records == nullptr || n < 2) return 0;
  return withinTable(searchSweep(elements, n, records, kSelfIsectMax, status));
}

int contFindSelfIsectsInto(const ContourElement* elements, int n, IntersectionRecord* records,
                           int room, int status, int withPinches) {
  if (elements == nullptr || records == nullptr || n < 2 || room < 0) return 0;
  return searchSweep(elements, n, records, room, status, withPinches != 0);
}
