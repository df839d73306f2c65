// arc_fit.cpp - arcs and straight stretches in chains of short steps: a centre search that makes
// the distances of a run's points from the centre as equal as it can, shape checks that keep
// corners and wiggles out of arcs, and a greedy chord cover that drops points on straight runs.
#include "geometry/arc_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/geo_error.h"

namespace {

constexpr double kArcMinRadiusFloor = 1e-6;
constexpr int kArcSearchIterations = 750;
constexpr double kArcStarStep = 10.0;
constexpr double kArcStarLegX = 8.6602540378444;
constexpr double kArcStarLegY = 5.0;
constexpr double kArcStarShrink = 0.8;
constexpr double kArcChordStep = 10.0;
constexpr double kArcChordStepMin = 1e-6;
constexpr double kArcTurnCos = 0.866;   // neighbouring steps turn by at most 30 degrees
constexpr double kArcBendSinMax = 0.1;  // a steady arc bends by at most this sine a step
constexpr double kArcStrictSagitta = 10.0;
constexpr double kArcLengthPerRadius = 3.2;
constexpr double kArcNoSagitta = 9.9e30;
constexpr double kArcSpreadStart = 9.9e30;
constexpr int kArcSpreadStrides = 16;  // points of the first pass of a bounded spread
constexpr double kArcShortChord = 1e-7;
constexpr double kArcChordSinMax = 0.1;

struct ArcFitState {
  double minRadius = 0.01;
  double maxRadius = 999999.99;
  int earlyStop = 1;
};
ArcFitState arcState;

bool arcRadiusInWindow(double r) { return r >= arcState.minRadius && r <= arcState.maxRadius; }

// The spread of the points first..last around (cx, cy), as arcRadiusSpread. With the early stop
// on, the scan ends once the spread reached so far is bound or more: the spread of the whole run
// can only be larger, so a candidate that must stay below bound is refused either way. The
// value returned is then that partial spread (at least bound) and the radius is not written.
double arcSpreadBelow(double cx, double cy, const ArcPoint* list, int first, int last, double bound,
                      double* radius) {
  if (arcState.earlyStop == 0 || !(bound < std::numeric_limits<double>::infinity())) {
    return arcRadiusSpread(cx, cy, list, first, last, radius);
  }
  // The largest and smallest distance do not depend on the order of the points, so they are
  // visited in strides over the whole run first: a poor centre shows its spread after a few.
  const int stride = std::max(1, (last - first + 1) / kArcSpreadStrides);
  double largest = -kArcSpreadStart, smallest = kArcSpreadStart;
  for (int offset = 0; offset < stride; ++offset) {
    for (int i = first + offset; i <= last; i += stride) {
      const double d = std::hypot(list[i].x - cx, list[i].y - cy);
      if (d > largest) largest = d;
      if (d < smallest) smallest = d;
      if ((largest - smallest) / 2.0 >= bound) return (largest - smallest) / 2.0;
    }
  }
  *radius = (largest + smallest) / 2.0;
  return (largest - smallest) / 2.0;
}

// One trial centre of a search and what it gave.
struct ArcCandidate {
  double x, y, spread, radius;
};

// Evaluates the candidates in order; the first one with the smallest spread, when that spread
// lies strictly below the current one, becomes the centre with its spread and radius. Returns
// true when the centre moved.
bool arcMoveToBest(ArcCandidate* cands, int count, const ArcPoint* list, int first, int last,
                   ArcCandidate* centre) {
  int best = -1;
  double bestSpread = centre->spread;
  for (int k = 0; k < count; ++k) {
    cands[k].spread =
        arcSpreadBelow(cands[k].x, cands[k].y, list, first, last, bestSpread, &cands[k].radius);
    if (cands[k].spread < bestSpread) {
      bestSpread = cands[k].spread;
      best = k;
    }
  }
  if (best < 0) return false;
  *centre = cands[best];
  return true;
}

// Marks the arc s..t around (cx, cy): its sense and start mark on s, the centre in s + 1, the
// end mark on t.
void arcMarkArc(ArcPoint* list, int s, int t, double cx, double cy) {
  list[s].mark = arcDirChar(cx, cy, list, s, t);
  list[s].startMark = kArcYes;
  list[s + 1].x = cx;
  list[s + 1].y = cy;
  list[t].endMark = kArcYes;
}

bool arcPlain(const ArcPoint& p) { return p.mark == kArcFresh && p.startMark == kArcNo; }

}  // namespace

// ---- point lists ------------------------------------------------------------------------------

ArcPoint* arcPtsAlloc(int n) {
  if (n < 0) {
    geoFail(-20, "arc_fit");
    return nullptr;
  }
  auto* list =
      static_cast<ArcPoint*>(memAllocZero((static_cast<std::size_t>(n) + 1) * sizeof(ArcPoint)));
  if (list == nullptr) {
    geoFail(-1, "arc_fit");
    return nullptr;
  }
  for (int i = 0; i < n; ++i) {
    list[i].mark = kArcFresh;
    list[i].startMark = kArcNo;
    list[i].endMark = kArcNo;
  }
  return list;
}

void arcPtsCopy(ArcPoint* destination, const ArcPoint* source, int n) {
  if (destination == nullptr || source == nullptr || n <= 0) return;
  std::copy(source, source + n, destination);
}

void arcPtsFree(ArcPoint* list) { memFree(list); }

ArcPoint* arcPtsFrom2D(const Point2D* points, int n) {
  if (points == nullptr) {
    geoFail(-20, "arc_fit");
    return nullptr;
  }
  ArcPoint* list = arcPtsAlloc(n);
  if (list == nullptr) return nullptr;
  for (int i = 0; i < n; ++i) {
    list[i].x = points[i].x;
    list[i].y = points[i].y;
  }
  return list;
}

int arcPtsFirst(const ArcPoint* list, int n, double* x, double* y, double* z) {
  if (list == nullptr || n <= 0) return -1;
  *x = list[0].x;
  *y = list[0].y;
  *z = list[0].z;
  return 0;
}

int arcPtsNext(int index, const ArcPoint* list, int n, int* kind, double* x, double* y, double* z,
               double* cx, double* cy) {
  if (list == nullptr || index < 0 || index >= n - 1) return -1;
  const ArcPoint& at = list[index];
  int end = -1;
  if (at.startMark == kArcYes) {
    for (int k = index + 2; k < n; ++k) {
      if (list[k].endMark == kArcYes) {
        end = k;
        break;
      }
    }
    if (end < 0) return -1;
    *kind = at.mark == kArcCw ? kArcElemCw : kArcElemCcw;
    *cx = list[index + 1].x;
    *cy = list[index + 1].y;
  } else {
    for (int k = index + 1; k < n; ++k) {
      if (list[k].mark != kArcDropped) {
        end = k;
        break;
      }
    }
    if (end < 0) return -1;
    *kind = kArcElemLine;
  }
  *x = list[end].x;
  *y = list[end].y;
  *z = list[end].z;
  return end;
}

// ---- circle fits ------------------------------------------------------------------------------

void arcSetTolerances(double minRadius, double maxRadius) {
  const double lo = minRadius >= kArcMinRadiusFloor ? minRadius : kArcMinRadiusFloor;
  arcState.minRadius = lo;
  arcState.maxRadius = maxRadius > lo ? maxRadius : 2.0 * lo;
}

void arcGetTolerances(double* minRadius, double* maxRadius) {
  if (minRadius != nullptr) *minRadius = arcState.minRadius;
  if (maxRadius != nullptr) *maxRadius = arcState.maxRadius;
}

double arcRadiusSpread(double cx, double cy, const ArcPoint* list, int first, int last,
                       double* radius) {
  double largest = -kArcSpreadStart, smallest = kArcSpreadStart;
  for (int i = first; i <= last; ++i) {
    const double d = std::hypot(list[i].x - cx, list[i].y - cy);
    if (d > largest) largest = d;
    if (d < smallest) smallest = d;
  }
  *radius = (largest + smallest) / 2.0;
  return (largest - smallest) / 2.0;
}

double arcFitCentre(double floor, const ArcPoint* list, int first, int last, double tolerance,
                    double* cx, double* cy, double* radius) {
  ArcCandidate at{list[first].x, list[first].y, 0.0, 0.0};
  at.spread = arcRadiusSpread(at.x, at.y, list, first, last, &at.radius);
  double a = kArcStarStep, b = kArcStarLegX, c = kArcStarLegY;
  for (int it = 0; it < kArcSearchIterations; ++it) {
    ArcCandidate cands[3] = {
        {at.x, at.y + a, 0, 0}, {at.x - b, at.y - c, 0, 0}, {at.x + b, at.y - c, 0, 0}};
    const bool moved = arcMoveToBest(cands, 3, list, first, last, &at);
    a = -a;
    c = -c;
    if (moved) continue;
    a *= kArcStarShrink;
    b *= kArcStarShrink;
    c *= kArcStarShrink;
    if (std::fabs(a) < floor) break;
  }
  *cx = at.x;
  *cy = at.y;
  *radius = at.radius;
  const double spread = at.spread, r = at.radius;
  if (spread <= tolerance) {
    if (!arcRadiusInWindow(r)) return kArcRadiusRefused;
    if (arcCheckRun(r, tolerance, 1, list, first, last) != 1) return kArcShapeRefused;
  }
  return spread;
}

double arcFitCentreChord(const ArcPoint* list, int first, int last, double tolerance, double* cx,
                         double* cy, double* radius) {
  const double dx = list[last].x - list[first].x, dy = list[last].y - list[first].y;
  const double x = (list[first].x + list[last].x) / 2.0, y = (list[first].y + list[last].y) / 2.0;
  const double chord = std::hypot(dx, dy);
  *cx = x;
  *cy = y;
  *radius = 0.0;
  // A closed or degenerate run has no bisector to search along.
  if (!(chord > kArcShortChord)) return kArcSpreadTooLarge;
  double sx = -dy / chord * kArcChordStep, sy = dx / chord * kArcChordStep;
  ArcCandidate at{x, y, 0.0, 0.0};
  at.spread = arcRadiusSpread(x, y, list, first, last, &at.radius);
  for (int it = 0; it < kArcSearchIterations; ++it) {
    ArcCandidate cands[2] = {{at.x + sx, at.y + sy, 0, 0}, {at.x - sx, at.y - sy, 0, 0}};
    if (arcMoveToBest(cands, 2, list, first, last, &at)) continue;
    sx /= 2.0;
    sy /= 2.0;
    if (std::hypot(sx, sy) <= kArcChordStepMin) break;
  }
  *cx = at.x;
  *cy = at.y;
  *radius = at.radius;
  const double spread = at.spread, r = at.radius;
  if (!(spread <= tolerance)) return kArcSpreadTooLarge;
  if (!arcRadiusInWindow(r)) return kArcRadiusRefused;
  if (arcCheckRun(r, tolerance, 0, list, first, last) != 1) return kArcShapeRefused;
  return spread;
}

int arcCheckRun(double r, double tolerance, int strict, const ArcPoint* list, int first, int last) {
  if (last - first < 2) return 1;
  double minCross = std::numeric_limits<double>::max();
  double maxCross = -std::numeric_limits<double>::max();
  double shortest = std::numeric_limits<double>::max();
  double total = 0.0, sagitta = 0.0;
  double px = 0.0, py = 0.0;  // unit direction of the previous step
  for (int i = first; i < last; ++i) {
    const double sx = list[i + 1].x - list[i].x, sy = list[i + 1].y - list[i].y;
    const double len = std::hypot(sx, sy);
    if (!(len > 0.0)) return 0;
    const double ux = sx / len, uy = sy / len;
    if (i > first) {
      if (!(px * ux + py * uy >= kArcTurnCos)) return 0;
      const double cross = px * uy - py * ux;
      minCross = std::min(minCross, cross);
      maxCross = std::max(maxCross, cross);
    }
    px = ux;
    py = uy;
    shortest = std::min(shortest, len);
    total += len;
    const double half = len / (2.0 * r);
    sagitta = std::max(sagitta, half >= 1.0 ? 1.0 : 1.0 - std::sqrt(1.0 - half * half));
  }
  if (strict != 0) return r * sagitta > kArcStrictSagitta * tolerance ? 0 : 1;
  const double m = 0.2 * (total / r) / static_cast<double>(last - first);
  const double g = std::atan2(2.0 * tolerance, shortest);
  const double t = std::sin(m - std::min(g, m));
  if (std::fabs(minCross) <= t || std::fabs(maxCross) <= t) return 0;
  if (std::max(std::fabs(minCross), std::fabs(maxCross)) > kArcBendSinMax) return 0;
  if (r * sagitta > tolerance) return 0;
  if (total > kArcLengthPerRadius * r) return 0;
  return 1;
}

double arcMaxSagitta(double r, const ArcPoint* list, int first, int last) {
  double longest = 0.0;
  for (int i = first; i < last; ++i) {
    longest = std::max(longest, std::hypot(list[i + 1].x - list[i].x, list[i + 1].y - list[i].y));
  }
  const double b = longest / (2.0 * r);
  if (!(b < 1.0)) return kArcNoSagitta;
  return r * (1.0 - std::sqrt((1.0 - b) * (1.0 + b)));
}

char arcDirChar(double cx, double cy, const ArcPoint* list, int s, int t) {
  const int k = std::min(t, s + std::max(2, (t - s) / 4));
  const double ax = list[s].x - cx, ay = list[s].y - cy;
  const double bx = list[k].x - cx, by = list[k].y - cy;
  return ax * by - ay * bx < 0.0 ? kArcCw : kArcCcw;
}

int arcRunFits(double tolerance, const ArcPoint* list, int first, int last, double* cx, double* cy,
               double* radius) {
  const double spread =
      arcFitCentre(kArcMinRadiusFloor, list, first, last, tolerance, cx, cy, radius);
  if (!(spread <= tolerance)) return 0;
  return arcMaxSagitta(*radius, list, first, last) <= tolerance ? 1 : 0;
}

int arcRunFitsChord(double tolerance, const ArcPoint* list, int first, int last, double* cx,
                    double* cy, double* radius) {
  return arcFitCentreChord(list, first, last, tolerance, cx, cy, radius) <= tolerance ? 1 : 0;
}

int arcFindArcs(double tolerance, double minRadius, double maxRadius, int n, ArcPoint* list) {
  if (list == nullptr || n < 4) return 0;
  arcSetTolerances(minRadius, maxRadius);
  const int last = n - 1;
  int s = 0, e = 3, found = 0;
  bool growing = false;
  double keptX = 0.0, keptY = 0.0;
  for (;;) {
    // Each trial costs a whole centre search: a long chain takes a while, so a break is honoured.
    if (out3dCheckBreak() == 1) return found;
    double cx = 0.0, cy = 0.0, r = 0.0;
    const bool fits = arcRunFitsChord(tolerance, list, s, e, &cx, &cy, &r) == 1;
    if (fits && e >= last) {
      arcMarkArc(list, s, e, cx, cy);
      return 1;
    }
    if (fits) {
      keptX = cx;
      keptY = cy;
      growing = true;
      ++e;
    } else if (growing) {
      arcMarkArc(list, s, e - 1, keptX, keptY);
      found = 1;
      growing = false;
      s = e - 1;
      e += 2;
      if (e > last) return 1;
    } else {
      if (e >= last) return found;
      ++s;
      ++e;
    }
  }
}

// ---- straight stretches -----------------------------------------------------------------------

int arcFindLineRun(const ArcPoint* list, int n, int from, int* outLength) {
  if (outLength != nullptr) *outLength = 0;
  if (list == nullptr || n < 1) return -1;
  int s = from < 0 || from >= n ? 0 : from;
  while (s < n) {
    int k;
    if (list[s].startMark == kArcYes) {
      k = n;
      for (int i = s + 2; i < n; ++i) {
        if (list[i].endMark == kArcYes) {
          k = i;
          break;
        }
      }
    } else {
      k = list[s].mark == kArcFresh ? s : s + 1;
    }
    if (k >= n) return -1;
    if (list[k].mark != kArcFresh) {
      s = k;
      continue;
    }
    int count = 0;
    while (k + count < n && arcPlain(list[k + count])) ++count;
    if (count > 2) {
      if (outLength != nullptr) *outLength = count;
      return k;
    }
    // A fresh point that starts an arc counts nothing: the next round steps over its arc.
    s = k + count;
  }
  return -1;
}

double arcChordDeviation(const ArcPoint* list, int i, int j, double* outDeviation) {
  const double dx = list[j].x - list[i].x, dy = list[j].y - list[i].y;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (len <= kArcShortChord) {
    *outDeviation = kArcChordTooShort;
    return len;
  }
  const double ux = dx / len, uy = dy / len;
  double deviation = 0.0;
  for (int k = i + 1; k <= j; ++k) {
    const double d = std::fabs((list[k].x - list[i].x) * uy - (list[k].y - list[i].y) * ux);
    if (d > deviation) deviation = d;
    const double sx = list[k].x - list[k - 1].x, sy = list[k].y - list[k - 1].y;
    const double step = std::sqrt(sx * sx + sy * sy);
    if (step > kArcShortChord && std::fabs(sx * uy - sy * ux) / step > kArcChordSinMax) {
      deviation = kArcChordTurns;
      break;
    }
  }
  *outDeviation = deviation;
  return len;
}

int arcMarkLineRun(double tolerance, double maxLength, ArcPoint* list, int n,
                   double* outMaxDeviation) {
  double maxDeviation = 0.0;
  int result = 1;
  if (list != nullptr && n >= 3) {
    int i = 0, j = 2;
    bool pending = false;
    double pendingDeviation = 0.0;
    while (j < n) {
      double deviation = 0.0;
      const double len = arcChordDeviation(list, i, j, &deviation);
      const bool accepted = len <= maxLength && deviation <= tolerance;
      if (accepted && j < n - 1) {
        pendingDeviation = deviation;
        pending = true;
        ++j;
      } else if (accepted) {
        for (int k = i + 1; k < j; ++k) list[k].mark = kArcDropped;
        maxDeviation = std::max(maxDeviation, deviation);
        result = 0;
        break;
      } else if (pending) {
        for (int k = i + 1; k < j - 1; ++k) list[k].mark = kArcDropped;
        maxDeviation = std::max(maxDeviation, pendingDeviation);
        pending = false;
        result = 0;
        i = j - 1;
        j = i + 2;
      } else {
        ++i;
        j = i + 2;
      }
    }
  }
  if (outMaxDeviation != nullptr) *outMaxDeviation = maxDeviation;
  return result;
}

int arcFitRefine(double tolerance, double maxLineLength, ArcPoint* list, int n) {
  if (list == nullptr || n < 3) return 0;
  int marked = 0, from = 0;
  // A run that ends at the last point leaves no start behind it: the search ends there instead
  // of starting over from the first point.
  while (from < n) {
    int length = 0;
    const int k = arcFindLineRun(list, n, from, &length);
    if (k < 0) break;
    if (arcMarkLineRun(tolerance, maxLineLength, list + k, length, nullptr) == 0) marked = 1;
    from = k + length;
  }
  return marked;
}

int arcFitPoints(ArcPoint* list, int n, double tolerance, double minRadius, double maxRadius,
                 double maxLineLength) {
  if (list == nullptr || n < 1) return 0;
  const ArcFitState before = arcState;
  const int arcs = arcFindArcs(tolerance, minRadius, maxRadius, n, list);
  // The window is the caller's for this fit only; later fits (the level rewrite) keep theirs.
  arcState.minRadius = before.minRadius;
  arcState.maxRadius = before.maxRadius;
  if (out3dCheckBreak() == 1) return 0;
  const int lines = arcFitRefine(tolerance, maxLineLength, list, n);
  return arcs == 1 || lines == 1 ? 1 : 0;
}

int arcSetEarlyStop(int on) {
  const int previous = arcState.earlyStop;
  arcState.earlyStop = on != 0 ? 1 : 0;
  return previous;
}

void arcFitResetState() { arcState = ArcFitState{}; }
