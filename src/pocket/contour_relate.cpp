// contour_relate.cpp - intersections, inside tests, tool-circle tests, pieces and loop traces of
// two whole contours of the pocketing engine.
#include "pocket/contour_relate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <numbers>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/self_isect.h"

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Points whose x and y differ by less than this are one point.
constexpr double kSamePoint = 0.0001;
// Distance of a point from an element's carrier that still counts as on it.
constexpr double kOnElemTol = 0.0001;
// Tangent points this near (x and y) to an arc's end count as at the end.
constexpr double kTangentEndTol = 0.05;
// Gaps above this between copied elements are closed.
constexpr double kPieceGap = 0.001;
// A first piece that returns to its own start must be at least this long.
constexpr double kMinLoopPiece = 0.001;
// The scale factor at which the segment slack of isectPointOnSegment is not doubled.
constexpr double kUndoubledScale = 5.0;
// Circles and arcs above these radii have their coincidence tests scaled down.
constexpr double kBigCircle = 100.0;
constexpr double kBigArc = 30.0;
// Pair lists of the box filter: at most this many pairs per element plus a fixed allowance.
constexpr std::size_t kPairsPerElement = 16;
constexpr std::size_t kPairAllowance = std::size_t{1} << 22;
// Margins of the circle test's comparisons.
constexpr double kCurvatureMargin = 0.001;
constexpr double kInsideMargin = 0.001;

double angleOf(const Point2D& v) { return contVectorAngle(v.y, v.x); }

Point2D dirAt(const ContourElement& e, int which) {
  Point2D d{0.0, 0.0};
  contElemDirection(e, &d, which);
  return d;
}

// The record's point.
Point2D at(const IntersectionRecord& r) { return Point2D{r.x, r.y}; }

// Parameter of P on element e for isectContours: a line's fraction along x (along y for a line
// whose end x agree within 0.0001; 0 without length), an arc's angle from its lower window end.
double contourParam(const ContourElement& e, const Point2D& p) {
  if (e.type == kContLine) {
    if (std::fabs(e.p2 - e.p0) >= kSamePoint) return (p.x - e.p0) / (e.p2 - e.p0);
    if (e.p3 != e.p1) return (p.y - e.p1) / (e.p3 - e.p1);
    return 0.0;
  }
  const Point2D ref = e.dir > 0 ? contArcStart(e) : contArcEnd(e);
  const double r = angleOf(Point2D{ref.x - e.p0, ref.y - e.p1});
  double t = angleOf(Point2D{p.x - e.p0, p.y - e.p1});
  if (t < r) t += kTwoPi;
  return t;
}

// Backward direction along element e at P: toward a line's start, the reversed tangent of an arc.
double backwardAt(const ContourElement& e, const Point2D& p) {
  if (e.type == kContLine) return angleOf(Point2D{e.p0 - p.x, e.p1 - p.y});
  Point2D t{-(p.y - e.p1), p.x - e.p0};
  if (e.dir < 0) t = Point2D{-t.x, -t.y};
  return angleOf(Point2D{-t.x, -t.y});
}

// The intersection points of a's element with b's element as isectContours counts them. Sets
// *overlap for a collinear or same-circle overlap. Returns the number of points (0, 1, 2).
int contourPairPoints(const ContourElement& ea, const ContourElement& eb, Point2D pts[2],
                      bool* overlap) {
  *overlap = false;
  int v = 0;
  if (ea.type == kContLine && eb.type == kContLine) {
    v = isectSegments(contElemSeg(ea), contElemSeg(eb), pts);
    if (v == -1) {
      *overlap = true;
      // The overlap gives b's end when it lies within a.
      const Point2D e = contElemEnd(eb);
      if (isectPointOnSegment(e, contElemSeg(ea)) == 0) return 0;
      pts[0] = e;
      return 1;
    }
  } else if (ea.type == kContLine && eb.type == kContArc) {
    v = isectLineArc(contElemSeg(ea), eb, pts);
  } else if (ea.type == kContArc && eb.type == kContLine) {
    v = isectLineArc(contElemSeg(eb), ea, pts);
  } else if (ea.type == kContArc && eb.type == kContArc) {
    v = isectArcArc(ea, eb, pts);
    if (v < -1) {
      *overlap = true;
      return 0;
    }
  } else {
    return 0;
  }
  if (v == -1) return contSamePoint(pts[0], contElemEnd(eb)) == 1 ? 1 : 0;
  return v > 0 ? v : 0;
}

int contoursSearch(const ContourElement* a, int na, const ContourElement* b, int nb,
                   IntersectionRecord* records, int capacity, bool boxFilter) {
  if (a == nullptr || b == nullptr || records == nullptr || na <= 0 || nb <= 0 || capacity < 0) {
    return 0;
  }
  std::vector<std::uint64_t> pairs;
  std::vector<char> rows[2];  // overlap flags of elements i - 1 and i of a against b
  try {
    rows[0].assign(static_cast<std::size_t>(nb), 0);
    rows[1].assign(static_cast<std::size_t>(nb), 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (boxFilter) {
    // A pair list beyond this size would cost more than it saves: all pairs are visited instead.
    const std::size_t cap = kPairsPerElement * (static_cast<std::size_t>(na) + nb) + kPairAllowance;
    const int built = isectBoxPairs(a, na, b, nb, cap, &pairs);
    if (built < 0) return -1;
    if (built == 0) boxFilter = false;
  }
  std::size_t at = 0;
  int count = 0;
  for (int i = 0; i < na; ++i) {
    std::vector<char>& prevRow = rows[(i + 1) % 2];
    std::vector<char>& row = rows[i % 2];
    std::fill(row.begin(), row.end(), 0);
    const ContourElement& ea = a[i];
    const int first = count;
    const Point2D aStart = contElemStart(ea);
    int j = -1;
    for (;;) {
      if (boxFilter) {
        if (at >= pairs.size() || (pairs[at] >> 32) != static_cast<std::uint64_t>(i)) break;
        j = static_cast<int>(pairs[at++] & 0xffffffffu);
      } else if (++j >= nb) {
        break;
      }
      const ContourElement& eb = b[j];
      Point2D pts[2] = {};
      bool overlap = false;
      const int np = contourPairPoints(ea, eb, pts, &overlap);
      if (overlap) row[static_cast<std::size_t>(j)] = 1;
      const Point2D bStart = contElemStart(eb);
      for (int k = 0; k < np; ++k) {
        const Point2D p = pts[k];
        int ia = i, jb = j;
        if (contSamePoint(p, aStart) == 1) {
          if (i == 0 || prevRow[static_cast<std::size_t>(j)] == 0) continue;
          ia = i - 1;  // the previous element overlapped b's element: its end is this point
        }
        if (contSamePoint(p, bStart) == 1) {
          if (j == 0 || row[static_cast<std::size_t>(j - 1)] == 0) continue;
          jb = j - 1;
        }
        IntersectionRecord r{p.x, p.y, 0.0, ia + 1, jb + 1, 1, 0};
        if (isectCrossesAtVertex(a, na, b, nb, r) == 0) continue;
        r.param = contourParam(a[ia], p);
        if (count >= capacity) return capacity + 1;
        records[count++] = r;
        if (ia != i) isectSortAlong(records + first, count - first, ea);
      }
    }
    isectSortAlong(records + first, count - first, ea);
  }
  return count;
}

// Scaled coincidence of two points for the circle test.
bool sameScaled(const Point2D& p, const Point2D& q, double k) {
  return std::fabs(k * p.x - k * q.x) < kSamePoint && std::fabs(k * p.y - k * q.y) < kSamePoint;
}
bool nearEnd(const Point2D& p, const Point2D& q) {
  return std::fabs(p.x - q.x) < kTangentEndTol && std::fabs(p.y - q.y) < kTangentEndTol;
}

// The arc's middle for the circle test: the mean of its start and end angles, the end raised by
// 2 pi for a counter-clockwise arc whose start angle exceeds it by more than tol, the start raised
// for a clockwise arc in the mirrored case.
Point2D arcMiddle(const ContourElement& arc, double tol) {
  double s = angleOf(Point2D{arc.p2 - arc.p0, arc.p3 - arc.p1});
  double e = angleOf(Point2D{arc.p4 - arc.p0, arc.p5 - arc.p1});
  if (arc.dir > 0 && s - e > tol) e += kTwoPi;
  if (arc.dir < 0 && e - s > tol) s += kTwoPi;
  const double m = (s + e) / 2.0;
  return Point2D{arc.p0 + arc.radius * std::cos(m), arc.p1 + arc.radius * std::sin(m)};
}

double dist2(const Point2D& p, const Point2D& q) {
  return (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y);
}

// 1 when element e lies so far outside or inside the circle of radius r about c that no
// intersection routine can find a point of the two: its box (an arc's whole circle) is farther than
// r plus the search margin from c, or lies within r minus that margin.
bool clearOfCircle(const ContourElement& e, const Point2D& c, double r) {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  if (e.type == kContLine) {
    x0 = std::fmin(e.p0, e.p2);
    x1 = std::fmax(e.p0, e.p2);
    y0 = std::fmin(e.p1, e.p3);
    y1 = std::fmax(e.p1, e.p3);
  } else if (e.type == kContArc) {
    const double rr = std::fabs(e.radius);
    x0 = e.p0 - rr;
    x1 = e.p0 + rr;
    y0 = e.p1 - rr;
    y1 = e.p1 + rr;
  } else {
    return false;
  }
  if (!(x0 <= x1 && y0 <= y1)) return false;  // not finite: let the routines decide
  const double reach = std::fmax(std::fmax(std::fabs(x0), std::fabs(x1)),
                                 std::fmax(std::fmax(std::fabs(y0), std::fabs(y1)),
                                           std::fmax(std::fabs(c.x), std::fabs(c.y)) + r));
  const double margin = isectSearchMargin(reach);
  const double nx = std::fmax(std::fmax(x0 - c.x, c.x - x1), 0.0);
  const double ny = std::fmax(std::fmax(y0 - c.y, c.y - y1), 0.0);
  if (std::sqrt(nx * nx + ny * ny) > r + margin) return true;
  const double fx = std::fmax(std::fabs(c.x - x0), std::fabs(c.x - x1));
  const double fy = std::fmax(std::fabs(c.y - y0), std::fabs(c.y - y1));
  return std::sqrt(fx * fx + fy * fy) < r - margin;
}
// The circle test over the elements order[0 .. count - 1] (rising indexes; all n in turn for a
// null order). An element left out answers as one that gives no point: the touch flag clears.
int circleHits(const ContourElement& circle, const ContourElement* elements, int n,
               const int* order, int count, bool filter) {
  if (elements == nullptr || n <= 0) return 0;
  PockEngine& eng = pockEngine();
  const double tol = eng.contTol;
  const double bigR = circle.radius;
  const Point2D c = contArcCentre(circle);
  const double k0 = bigR > kBigCircle ? 1.0 / bigR : 1.0;
  bool touchAtEnd = false;  // the previous element ended in a tangent touch
  for (int at = 0; at < count; ++at) {
    const int i = order != nullptr ? order[at] : at;
    if (order != nullptr && i != (at == 0 ? 0 : order[at - 1] + 1)) touchAtEnd = false;
    const ContourElement& e = elements[i];
    const ContourElement* prev = i > 0 ? &elements[i - 1] : nullptr;
    Point2D pts[2] = {};
    if (filter && clearOfCircle(e, c, bigR)) {
      touchAtEnd = false;  // as the routines' "no point" answer would
      continue;
    }
    if (e.type == kContLine) {
      const double keep = eng.scaleFactor;
      eng.scaleFactor = kUndoubledScale;
      const int v = isectSegmentCircle(contElemSeg(e), circle, pts);
      eng.scaleFactor = keep;
      const Point2D s = contElemStart(e), en = contElemEnd(e);
      if (v == 2) return 1;
      if (v == 1) {
        if (contSamePoint(pts[0], s) == 0 && contSamePoint(pts[0], en) == 0) return 1;
        touchAtEnd = false;
      } else if (v == -1 && contSamePoint(pts[0], en) == 1) {
        touchAtEnd = true;
      } else if (v == -1 && contSamePoint(pts[0], s) == 1 && touchAtEnd && prev != nullptr &&
                 prev->type == kContArc && prev->radius < bigR) {
        // The circle runs inside the previous arc, touching it, and touches this line.
        const double gap = bigR - prev->radius;
        if (std::fabs(dist2(c, contArcCentre(*prev)) - gap * gap) < kSamePoint) return 1;
        touchAtEnd = false;
      } else {
        touchAtEnd = false;
      }
      continue;
    }
    if (e.type != kContArc) return -1;
    const int v = isectArcArcPoints(e, circle, pts);
    const Point2D s = contArcStart(e), en = contArcEnd(e);
    if (v == -1 && nearEnd(pts[0], en)) {
      touchAtEnd = true;
      continue;
    }
    if (v == -1 && nearEnd(pts[0], s) && touchAtEnd) {
      double c0 = 0.0;
      if (prev != nullptr && prev->type == kContArc) {
        c0 = (prev->dir == e.dir ? 1.0 : -1.0) / prev->radius;
      }
      const double gap = bigR - e.radius;
      const double cc =
          (std::fabs(dist2(c, contArcCentre(e)) - gap * gap) < kSamePoint ? 1.0 : -1.0) / bigR;
      const double c1 = 1.0 / e.radius;
      touchAtEnd = false;
      if ((cc - c0 > kCurvatureMargin && c1 - cc > kCurvatureMargin) ||
          (cc - c1 > kCurvatureMargin && c0 - cc > kCurvatureMargin)) {
        return 1;
      }
      continue;
    }
    if (v <= 0) {
      touchAtEnd = false;
      continue;
    }
    // Coordinates of a big arc are compared at a smaller scale; each arc scales for itself.
    const double k = e.radius > kBigArc ? k0 / e.radius : k0;
    const Point2D centre = contArcCentre(e);
    auto atEnd = [&](const Point2D& p) { return sameScaled(p, s, k) || sameScaled(p, en, k); };
    if (!atEnd(pts[0]) && contDistance(pts[0], centre) <= e.radius + kOnElemTol) return 1;
    if (v == 1 || atEnd(pts[1])) {
      const Point2D mid = arcMiddle(e, tol);
      if (bigR * bigR - dist2(mid, c) > kInsideMargin) return 1;
      const double ds = contDistance(s, c), de = contDistance(en, c);
      if ((ds > bigR + tol && de < bigR - tol) || (de > bigR + tol && ds < bigR - tol)) return 1;
      touchAtEnd = false;
    } else if (contDistance(pts[1], centre) <= e.radius + kOnElemTol) {
      return 1;
    }
  }
  return 0;
}

// Element boxes for the circle test: a line's box, an arc's whole circle. False for another type
// or a box that is not finite.
bool circleTestBox(const ContourElement& e, double box[4]) {
  if (e.type == kContLine) {
    box[0] = e.p0 < e.p2 ? e.p0 : e.p2;
    box[2] = e.p0 < e.p2 ? e.p2 : e.p0;
    box[1] = e.p1 < e.p3 ? e.p1 : e.p3;
    box[3] = e.p1 < e.p3 ? e.p3 : e.p1;
  } else if (e.type == kContArc) {
    const double r = std::fabs(e.radius);
    box[0] = e.p0 - r;
    box[1] = e.p1 - r;
    box[2] = e.p0 + r;
    box[3] = e.p1 + r;
  } else {
    return false;
  }
  return std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) &&
         std::isfinite(box[3]);
}

struct CircleFilterState {
  bool on = true;
};
CircleFilterState circleFilter;
}  // namespace

// A grid of element boxes over one contour, so that a circle test visits only the elements near
// the circle's box.
struct CircleIndex {
  const ContourElement* elements = nullptr;
  int n = 0;
  double x0 = 0.0, y0 = 0.0, cell = 1.0;
  int cols = 1, rows = 1;
  double reach = 0.0;          // largest absolute coordinate of the boxes
  std::vector<int> cellStart;  // cell k holds items[cellStart[k] .. cellStart[k + 1])
  std::vector<int> items;
  std::vector<int> always;         // elements without a finite box: visited by every test
  mutable std::vector<int> stamp;  // per element: the query that last collected it
  mutable std::vector<int> found;
  mutable int query = 0;
};

int isectCircleHitsContour(const ContourElement& circle, const ContourElement* elements, int n) {
  return circleHits(circle, elements, n, nullptr, n, circleFilter.on);
}

void isectRelateResetState() { circleFilter = CircleFilterState{}; }

int isectCircleSetFilter(int on) {
  const int previous = circleFilter.on ? 1 : 0;
  circleFilter.on = on != 0;
  return previous;
}

CircleIndex* isectCircleIndexNew(const ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return nullptr;
  try {
    auto* idx = new CircleIndex{};
    idx->elements = elements;
    idx->n = n;
    std::vector<double> boxes(static_cast<std::size_t>(n) * 4);
    std::vector<char> has(static_cast<std::size_t>(n), 0);
    double lo[2] = {0.0, 0.0}, hi[2] = {0.0, 0.0}, extent = 0.0;
    bool any = false;
    for (int i = 0; i < n; ++i) {
      double* b = &boxes[static_cast<std::size_t>(i) * 4];
      if (!circleTestBox(elements[i], b)) {
        idx->always.push_back(i);
        continue;
      }
      has[static_cast<std::size_t>(i)] = 1;
      if (!any) {
        lo[0] = b[0];
        lo[1] = b[1];
        hi[0] = b[2];
        hi[1] = b[3];
        any = true;
      }
      lo[0] = std::fmin(lo[0], b[0]);
      lo[1] = std::fmin(lo[1], b[1]);
      hi[0] = std::fmax(hi[0], b[2]);
      hi[1] = std::fmax(hi[1], b[3]);
      extent += (b[2] - b[0]) + (b[3] - b[1]);
    }
    idx->reach = std::fmax(std::fmax(std::fabs(lo[0]), std::fabs(hi[0])),
                           std::fmax(std::fabs(lo[1]), std::fabs(hi[1])));
    // Cells about as wide as the mean box, at most about 4 n of them.
    const double w = hi[0] - lo[0], h = hi[1] - lo[1];
    double cell = std::fmax(extent / (2.0 * n), std::sqrt(w * h / (4.0 * n)));
    if (!(cell > 1e-9)) cell = std::fmax(std::fmax(w, h), 1.0);
    idx->cols = static_cast<int>(std::fmin(std::floor(w / cell) + 1.0, 4.0 * n + 1.0));
    idx->rows = static_cast<int>(std::fmin(std::floor(h / cell) + 1.0, 4.0 * n + 1.0));
    idx->x0 = lo[0];
    idx->y0 = lo[1];
    idx->cell = cell;
    const std::size_t cells = static_cast<std::size_t>(idx->cols) * idx->rows;
    idx->cellStart.assign(cells + 1, 0);
    auto span = [&](const double* b, int* c0, int* c1, int* r0, int* r1) {
      *c0 = std::clamp(static_cast<int>((b[0] - idx->x0) / cell), 0, idx->cols - 1);
      *c1 = std::clamp(static_cast<int>((b[2] - idx->x0) / cell), 0, idx->cols - 1);
      *r0 = std::clamp(static_cast<int>((b[1] - idx->y0) / cell), 0, idx->rows - 1);
      *r1 = std::clamp(static_cast<int>((b[3] - idx->y0) / cell), 0, idx->rows - 1);
    };
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<int> fill;
      if (pass == 1) {
        for (std::size_t k = 0; k < cells; ++k) idx->cellStart[k + 1] += idx->cellStart[k];
        idx->items.resize(static_cast<std::size_t>(idx->cellStart[cells]));
        fill.assign(idx->cellStart.begin(), idx->cellStart.end() - 1);
      }
      for (int i = 0; i < n; ++i) {
        if (has[static_cast<std::size_t>(i)] == 0) continue;
        int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
        span(&boxes[static_cast<std::size_t>(i) * 4], &c0, &c1, &r0, &r1);
        for (int r = r0; r <= r1; ++r) {
          for (int c = c0; c <= c1; ++c) {
            const std::size_t k = static_cast<std::size_t>(r) * idx->cols + c;
            if (pass == 0) {
              ++idx->cellStart[k + 1];
            } else {
              idx->items[static_cast<std::size_t>(fill[k]++)] = i;
            }
          }
        }
      }
    }
    idx->stamp.assign(static_cast<std::size_t>(n), 0);
    return idx;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void isectCircleIndexFree(CircleIndex* index) { delete index; }

int isectCircleHitsIndexed(const ContourElement& circle, const CircleIndex* idx) {
  if (idx == nullptr) return 0;
  if (!circleFilter.on) return circleHits(circle, idx->elements, idx->n, nullptr, idx->n, false);
  const Point2D c = contArcCentre(circle);
  const double r = circle.radius;
  const double reach = std::fmax(idx->reach, std::fmax(std::fabs(c.x), std::fabs(c.y)) + r);
  const double m = r + isectSearchMargin(reach);
  if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(m)) {
    return circleHits(circle, idx->elements, idx->n, nullptr, idx->n, true);
  }
  try {
    if (++idx->query == 0) {
      std::fill(idx->stamp.begin(), idx->stamp.end(), 0);
      idx->query = 1;
    }
    idx->found.clear();
    auto cellOf = [&](double v, double origin, int count) {
      const double f = std::floor((v - origin) / idx->cell);
      return static_cast<int>(std::clamp(f, -1.0, static_cast<double>(count)));
    };
    const int c0 = cellOf(c.x - m, idx->x0, idx->cols), c1 = cellOf(c.x + m, idx->x0, idx->cols);
    const int r0 = cellOf(c.y - m, idx->y0, idx->rows), r1 = cellOf(c.y + m, idx->y0, idx->rows);
    for (int row = std::max(r0, 0); row <= std::min(r1, idx->rows - 1); ++row) {
      for (int col = std::max(c0, 0); col <= std::min(c1, idx->cols - 1); ++col) {
        const std::size_t k = static_cast<std::size_t>(row) * idx->cols + col;
        for (int e = idx->cellStart[k]; e < idx->cellStart[k + 1]; ++e) {
          const int i = idx->items[static_cast<std::size_t>(e)];
          if (idx->stamp[static_cast<std::size_t>(i)] == idx->query) continue;
          idx->stamp[static_cast<std::size_t>(i)] = idx->query;
          idx->found.push_back(i);
        }
      }
    }
    idx->found.insert(idx->found.end(), idx->always.begin(), idx->always.end());
    std::sort(idx->found.begin(), idx->found.end());
  } catch (const std::bad_alloc&) {
    return circleHits(circle, idx->elements, idx->n, nullptr, idx->n, true);
  }
  return circleHits(circle, idx->elements, idx->n, idx->found.data(),
                    static_cast<int>(idx->found.size()), true);
}

namespace {
// 1 when the element comes nearer to p than reach (exact distances); an element of another type
// is not near.
bool elemNearerThan(const Point2D& p, const ContourElement& e, double reach) {
  const double r2 = reach * reach;
  if (e.type == kContLine) {
    const double dx = e.p2 - e.p0, dy = e.p3 - e.p1;
    const double l2 = dx * dx + dy * dy;
    double t = l2 > 0.0 ? ((p.x - e.p0) * dx + (p.y - e.p1) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = e.p0 + t * dx - p.x, ey = e.p1 + t * dy - p.y;
    return ex * ex + ey * ey < r2;
  }
  if (e.type != kContArc) return false;
  const Point2D c = contArcCentre(e), s = contArcStart(e), en = contArcEnd(e);
  auto d2 = [&](const Point2D& q) { return (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y); };
  if (d2(s) < r2 || d2(en) < r2) return true;
  const double toCentre = std::sqrt(d2(c));
  if (!(std::fabs(toCentre - e.radius) < reach)) return false;
  // The window runs counter-clockwise from lo to hi.
  const Point2D lo = e.dir > 0 ? s : en, hi = e.dir > 0 ? en : s;
  const double a0 = std::atan2(lo.y - c.y, lo.x - c.x);
  double span = std::atan2(hi.y - c.y, hi.x - c.x) - a0;
  if (span <= 0.0) span += 2.0 * std::numbers::pi;
  double at = std::atan2(p.y - c.y, p.x - c.x) - a0;
  if (at < 0.0) at += 2.0 * std::numbers::pi;
  return at <= span;
}
}  // namespace

namespace {
// Crossings of the ray from p to the right with the stretch of a line or arc from a to b that
// rises or falls monotonically, at height p.y taken half-open (a stretch ending exactly at that
// height counts for the side above). x(y) gives the stretch's x at a height between theirs.
template <typename X>
int rayCrossing(const Point2D& p, const Point2D& a, const Point2D& b, X xAt) {
  if ((a.y > p.y) == (b.y > p.y)) return 0;
  return xAt(p.y) > p.x ? 1 : 0;
}

// Parity contribution of one element to the ray from p. -1 for another type.
int elemRayCrossings(const Point2D& p, const ContourElement& e) {
  if (e.type == kContLine) {
    const Point2D a{e.p0, e.p1}, b{e.p2, e.p3};
    return rayCrossing(p, a, b,
                       [&](double y) { return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y); });
  }
  if (e.type != kContArc) return -1;
  const Point2D c = contArcCentre(e);
  const double r = e.radius;
  // The window counter-clockwise from lo to hi, split at the top (pi/2) and bottom (3 pi/2).
  const Point2D lo = e.dir > 0 ? contArcStart(e) : contArcEnd(e);
  const Point2D hi = e.dir > 0 ? contArcEnd(e) : contArcStart(e);
  const double twoPi = 2.0 * std::numbers::pi;
  const double a0 = std::atan2(lo.y - c.y, lo.x - c.x);
  double span = std::atan2(hi.y - c.y, hi.x - c.x) - a0;
  if (span <= 0.0) span += twoPi;
  std::vector<std::pair<double, Point2D>> cuts{{0.0, lo}};
  for (double t : {std::numbers::pi / 2.0, 3.0 * std::numbers::pi / 2.0}) {
    double rel = t - a0;
    while (rel < 0.0) rel += twoPi;
    while (rel >= twoPi) rel -= twoPi;
    if (rel > 0.0 && rel < span)
      cuts.push_back({rel, Point2D{c.x, c.y + (t < std::numbers::pi ? r : -r)}});
  }
  cuts.push_back({span, hi});
  std::sort(cuts.begin(), cuts.end(),
            [](const auto& u, const auto& v) { return u.first < v.first; });
  int count = 0;
  for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
    const Point2D a = cuts[k].second, b = cuts[k + 1].second;
    const double mid = a0 + 0.5 * (cuts[k].first + cuts[k + 1].first);
    const double sideX = std::cos(mid) >= 0.0 ? 1.0 : -1.0;  // the half of the circle it lies on
    count += rayCrossing(p, a, b, [&](double y) {
      const double dy = y - c.y;
      return c.x + sideX * std::sqrt(std::fmax(r * r - dy * dy, 0.0));
    });
  }
  return count;
}
}  // namespace

int isectInsideIndexed(const Point2D& p, const CircleIndex* idx) {
  if (idx == nullptr) return -1;
  int parity = 0;
  auto add = [&](int i) {
    const int k = elemRayCrossings(p, idx->elements[i]);
    if (k < 0) return false;
    parity ^= k & 1;
    return true;
  };
  for (int i : idx->always)
    if (!add(i)) return -1;
  const double fr = std::floor((p.y - idx->y0) / idx->cell);
  if (!(fr >= 0.0 && fr < idx->rows)) return parity;  // no boxed element reaches p's height
  const int row = static_cast<int>(fr);
  const double fc = std::floor((p.x - idx->x0) / idx->cell);
  const int c0 = static_cast<int>(std::clamp(fc, 0.0, static_cast<double>(idx->cols)));
  if (++idx->query == 0) {
    std::fill(idx->stamp.begin(), idx->stamp.end(), 0);
    idx->query = 1;
  }
  for (int col = c0; col < idx->cols; ++col) {
    const std::size_t k = static_cast<std::size_t>(row) * idx->cols + col;
    for (int e = idx->cellStart[k]; e < idx->cellStart[k + 1]; ++e) {
      const int i = idx->items[static_cast<std::size_t>(e)];
      if (idx->stamp[static_cast<std::size_t>(i)] == idx->query) continue;
      idx->stamp[static_cast<std::size_t>(i)] = idx->query;
      if (!add(i)) return -1;
    }
  }
  return parity;
}

int isectNearerThanIndexed(const Point2D& p, double reach, const CircleIndex* idx) {
  if (idx == nullptr) return 0;
  for (int i : idx->always)
    if (elemNearerThan(p, idx->elements[i], reach)) return 1;
  const double m = reach + isectSearchMargin(std::fmax(
                               idx->reach, std::fmax(std::fabs(p.x), std::fabs(p.y)) + reach));
  if (!std::isfinite(m) || !std::isfinite(p.x) || !std::isfinite(p.y)) {
    for (int i = 0; i < idx->n; ++i)
      if (elemNearerThan(p, idx->elements[i], reach)) return 1;
    return 0;
  }
  auto cellOf = [&](double v, double origin, int count) {
    const double f = std::floor((v - origin) / idx->cell);
    return static_cast<int>(std::clamp(f, -1.0, static_cast<double>(count)));
  };
  const int c0 = cellOf(p.x - m, idx->x0, idx->cols), c1 = cellOf(p.x + m, idx->x0, idx->cols);
  const int r0 = cellOf(p.y - m, idx->y0, idx->rows), r1 = cellOf(p.y + m, idx->y0, idx->rows);
  for (int row = std::max(r0, 0); row <= std::min(r1, idx->rows - 1); ++row) {
    for (int col = std::max(c0, 0); col <= std::min(c1, idx->cols - 1); ++col) {
      const std::size_t k = static_cast<std::size_t>(row) * idx->cols + col;
      for (int e = idx->cellStart[k]; e < idx->cellStart[k + 1]; ++e)
        if (elemNearerThan(p, idx->elements[idx->items[static_cast<std::size_t>(e)]], reach))
          return 1;
    }
  }
  return 0;
}

int isectContours(const ContourElement* a, int na, const ContourElement* b, int nb,
                  IntersectionRecord* records, int capacity) {
  return contoursSearch(a, na, b, nb, records, capacity, true);
}

int isectContoursAllPairs(const ContourElement* a, int na, const ContourElement* b, int nb,
                          IntersectionRecord* records, int capacity) {
  return contoursSearch(a, na, b, nb, records, capacity, false);
}

int isectCrossesAtVertex(const ContourElement* a, int na, const ContourElement* b, int nb,
                         const IntersectionRecord& record) {
  if (record.elemA < 1 || record.elemA > na || record.elemB < 1 || record.elemB > nb) return 1;
  const ContourElement& ea = a[record.elemA - 1];
  const ContourElement& eb = b[record.elemB - 1];
  const ContourElement& ebNext = b[record.elemB % nb];
  const Point2D p = at(record);
  if (contSamePoint(p, contElemEnd(eb)) == 0) return 1;
  const double v = backwardAt(ea, p);
  const Point2D bEnd = dirAt(eb, 2);
  double s = angleOf(Point2D{-bEnd.x, -bEnd.y});
  double z = angleOf(dirAt(ebNext, 1));
  if (eb.type == kContArc && ebNext.type == kContArc && eb.dir != ebNext.dir) {
    if (ea.type == kContLine || (ea.radius > eb.radius && ea.radius > ebNext.radius)) return 1;
  }
  double f = 0.0;
  if (contSamePoint(p, contElemEnd(ea)) == 1) {
    f = angleOf(dirAt(a[record.elemA % na], 1));
    if (v > f) f += kTwoPi;
  } else {
    f = v + std::numbers::pi;
  }
  const double tol = pockEngine().contTol;
  if (s < v - tol) s += kTwoPi;
  if (z < v - tol) z += kTwoPi;
  if ((s > f - tol && z > f - tol) || (s < f + tol && z < f + tol)) return 0;
  return 1;
}

int isectPointOnElemExact(const Point2D& point, const ContourElement& e) {
  if (e.type == kContLine) {
    const Seg2D seg = contElemSeg(e);
    if (isectPointSegDistance(point.x, point.y, seg) > kOnElemTol) return 0;
    return contPointOnElem(point, e);
  }
  if (e.type == kContArc) {
    if (std::fabs(contDistance(point, contArcCentre(e)) - e.radius) > kOnElemTol) return 0;
    return contPointOnElem(point, e);
  }
  return 0;
}

int isectContourInside(const ContourElement* a, int na, const ContourElement* b, int nb, double t,
                       int* decidedOut) {
  if (decidedOut != nullptr) *decidedOut = 0;
  if (a == nullptr || b == nullptr || na <= 0 || nb <= 0) return 0;
  double w = t;
  if (pockEngine().pockToolRadius < 1.0) {
    w = t * 0.2;
  } else {
    const double len = contLength(a, na);
    if (len < 10.0 * t) w = len / 10.0;
  }
  for (int i = na / 2; i < na; ++i) {
    Point2D mid{};
    if (contElemPoint(a[i], &mid, 3) == 0) continue;
    if (contMinDistance(mid, b, nb) < w) continue;
    bool onB = false;
    for (int k = 0; k < nb && !onB; ++k) onB = isectPointOnElemExact(mid, b[k]) == 1;
    if (onB) continue;
    if (decidedOut != nullptr) *decidedOut = 1;
    return contWinding(b, nb, mid);
  }
  return 0;
}

int isectContourInsideOf(const ContourElement* a, int na, const ContourElement* b, int nb) {
  int decided = 0;
  const int r = isectContourInside(a, na, b, nb, 0.2, &decided);
  if (decided == 1) return r;
  return isectContourInside(a, na, b, nb, 0.02, &decided);
}

int isectElemTangentAt(const ContourElement* elements, int n, const IntersectionRecord& record,
                       int incoming, Point2D* dirOut) {
  if (elements == nullptr || record.elemA < 1 || record.elemA > n) return 0;
  const int i = record.elemA - 1;
  const Point2D p = at(record);
  if (incoming == 1) {
    if (contSamePoint(p, contElemStart(elements[i])) == 1) {
      return contElemDirection(elements[(i + n - 1) % n], dirOut, 2);
    }
    ContourElement part = elements[i];
    contElemSetEndpoint(&part, p, 2);
    return contElemDirection(part, dirOut, 2);
  }
  if (contSamePoint(p, contElemEnd(elements[i])) == 1) {
    return contElemDirection(elements[(i + 1) % n], dirOut, 1);
  }
  ContourElement part = elements[i];
  contElemSetEndpoint(&part, p, 1);
  return contElemDirection(part, dirOut, 1);
}

int isectOtherWay(int dir) { return 3 - dir; }

int isectFindPartner(const IntersectionRecord* records, int count, int i, int dir) {
  if (records == nullptr || i < 0 || i >= count) return -1;
  const IntersectionRecord& r = records[i];
  const int elem = dir == 1 ? r.elemA : r.elemB;
  for (int j = 0; j < count; ++j) {
    if (j == i) continue;
    const IntersectionRecord& q = records[j];
    if (contSamePoint(at(q), at(r)) == 1 && (q.elemA == elem || q.elemB == elem)) return j;
  }
  return -1;
}

int isectNextAlong(const ContourElement* elements, int n, int dir,
                   const IntersectionRecord* records, int count, int current, int* indexOut) {
  if (elements == nullptr || records == nullptr || current < 0 || current >= count) return 0;
  auto elemOf = [dir](const IntersectionRecord& r) { return dir == 1 ? r.elemA : r.elemB; };
  const int d = elemOf(records[current]);
  const Point2D pc = at(records[current]);
  // One pass: the first record on the smallest element number within [lo, hi]; on element d only
  // records after (after = true) or before the current one.
  auto search = [&](int lo, int hi, bool after) {
    int best = -1, bestH = 0;
    for (int j = 0; j < count; ++j) {
      const IntersectionRecord& r = records[j];
      const int h = elemOf(r);
      if (j == current || r.state != 1 || h == 0 || h < lo || h > hi || h > n) continue;
      const Point2D pj = at(r);
      if (h == d && d >= 1) {
        const int order = contElemPointOrder(elements[d - 1], pj, pc);
        if (after ? order != 1 : order == 1) continue;
      }
      if (best < 0 || h < bestH ||
          (h == bestH && contElemPointOrder(elements[h - 1], at(records[best]), pj) == 1)) {
        best = j;
        bestH = h;
      }
    }
    return best;
  };
  int found = search(d, n, true);
  if (found >= 0) {
    *indexOut = found;
    return 1;
  }
  if (contIsClosed(elements, n) == 0) return 0;
  found = search(1, d, false);
  if (found < 0) return 0;
  *indexOut = found;
  return -1;
}

int isectContourPiece(const ContourElement* elements, int n, int dir,
                      const IntersectionRecord* records, int count, int from, ContourElement* out,
                      int* countOut) {
  int next = 0;
  const int found = isectNextAlong(elements, n, dir, records, count, from, &next);
  if (found == 0) return -1;
  const IntersectionRecord& rf = records[from];
  const IntersectionRecord& rn = records[next];
  const int d = dir == 1 ? rf.elemA : rf.elemB;
  const int h = dir == 1 ? rn.elemA : rn.elemB;
  if (d < 1 || d > n || h < 1 || h > n) return -1;
  int startElem = d - 1;
  if (isectPointOnElemExact(at(rf), elements[startElem]) == 0) startElem = (startElem + 1) % n;
  const int endElem = h - 1;
  const bool wrapped = found == -1 || endElem < startElem;
  const int m = wrapped ? n - startElem + endElem + 1 : endElem - startElem + 1;
  for (int k = 0; k < m; ++k) out[k] = elements[(startElem + k) % n];
  contElemSetEndpoint(&out[0], at(rf), 1);
  contElemSetEndpoint(&out[m - 1], at(rn), 2);
  *countOut = wrapped && m > 1 && contElemClosed(out[m - 1]) == 1 ? m - 1 : m;
  return next;
}

int isectCloseGap(ContourElement* a, ContourElement* b) {
  Point2D ta{}, tb{};
  if (contElemDirection(*a, &ta, 2) == 0 || contElemDirection(*b, &tb, 1) == 0) return -1;
  const bool agree = std::fabs(ta.x * tb.x + ta.y * tb.y - 1.0) < kSamePoint;
  const Point2D aEnd = contElemEnd(*a), bStart = contElemStart(*b);
  if (a->type == kContLine && agree) {
    contElemSetEndpoint(a, bStart, 2);
  } else if (b->type == kContLine && agree) {
    contElemSetEndpoint(b, aEnd, 1);
  } else {
    contMoveEndRecentre(a, bStart, 2);  // an arc keeps its radius, its centre follows
  }
  return 1;
}

int isectNextOnTrace(const IntersectionRecord* records, int count, int current, int dir,
                     const ContourElement* elements, int n) {
  if (records == nullptr || current < 0 || current >= count) return -1;
  const IntersectionRecord& rc = records[current];
  const int a = dir == 1 ? rc.elemA : rc.elemB;
  const Point2D pc = at(rc);
  int best = -1, bestG = 0;
  for (int j = 0; j < count; ++j) {
    const IntersectionRecord& r = records[j];
    if (j == current || r.state == 2 || (dir == 1 && r.state == 1)) continue;
    const Point2D pj = at(r);
    if (contSamePoint(pj, pc) == 1) continue;
    const int g = r.state == 1 ? r.elemB : r.elemA;
    if (g < a || g < 1 || g > n) continue;
    if (g == a && contElemPointOrder(elements[g - 1], pj, pc) != 1) continue;
    if (best < 0 || g < bestG ||
        (g == bestG && contElemPointOrder(elements[g - 1], at(records[best]), pj) == 1)) {
      best = j;
      bestG = g;
    }
  }
  return best;
}

int isectCopyPiece(const ContourElement* elements, int n, int fromElem, const Point2D& from,
                   int toElem, const Point2D& to, ContourElement* out, int room) {
  if (elements == nullptr || out == nullptr || n <= 0 || fromElem < 0 || fromElem >= n ||
      toElem < 0 || toElem >= n) {
    return -1;
  }
  const int m = toElem >= fromElem ? toElem - fromElem + 1 : n - fromElem + toElem + 1;
  if (m > room) return -2;
  for (int k = 0; k < m; ++k) out[k] = elements[(fromElem + k) % n];
  contElemSetEndpoint(&out[0], from, 1);
  contElemSetEndpoint(&out[m - 1], to, 2);
  for (int k = 0; k + 1 < m; ++k) {
    if (contDistance(contElemEnd(out[k]), contElemStart(out[k + 1])) > kPieceGap &&
        isectCloseGap(&out[k], &out[k + 1]) != 1) {
      return -1;
    }
  }
  return contCleanup(out, m);
}

int isectTracePiece(IntersectionRecord* records, int count, int current, int dir,
                    const ContourElement* elements, int n, ContourElement* out, int room,
                    int* nextOut, int* closedOut) {
  *closedOut = 0;
  const IntersectionRecord& rc = records[current];
  const int a = dir == 1 ? rc.elemA : rc.elemB;
  int next = isectNextOnTrace(records, count, current, dir, elements, n);
  int g = 0;
  if (next >= 0) {
    g = records[next].state == 1 ? records[next].elemB : records[next].elemA;
  } else {
    // No crossing ahead: the walk runs on to the start record, met on its second element.
    next = 0;
    g = records[0].elemB;
    if (records[0].state == 2 || g < a || g > n ||
        (g == a && current != 0 &&
         contElemPointOrder(elements[g - 1], at(records[0]), at(rc)) != 1)) {
      return -1;
    }
  }
  if (a < 1 || a > n) return -1;
  int m = isectCopyPiece(elements, n, a - 1, at(rc), g - 1, at(records[next]), out, room);
  if (m < 0) return m;
  // A piece that comes back to its own start closes the loop at the start record.
  const double tol = pockEngine().contTol;
  if (m >= 3 && contMinDistance(at(rc), out + 2, m - 2) < tol) {
    const Point2D p0 = at(records[0]);
    for (int k = 2; k < m; ++k) {
      Point2D foot{};
      if (contNearestOnElem(p0, out[k], &foot) < tol) {
        contElemSetEndpoint(&out[k], p0, 2);
        m = contCleanup(out, k + 1);
        next = 0;
        *closedOut = 1;
        break;
      }
    }
  }
  *nextOut = next;
  return m;
}

ContourElement* isectTraceLoop(IntersectionRecord* records, int count,
                               const ContourElement* elements, int n, ContourElement* out,
                               const ContourElement* limit, int* closedOut) {
  int closedLoop = 0;
  if (closedOut == nullptr) closedOut = &closedLoop;
  *closedOut = 0;
  if (records == nullptr || elements == nullptr || out == nullptr || count <= 0 || n <= 0) {
    return out;
  }
  auto fail = [&]() {
    records[0].state = 2;
    pockEngine().offsetRetry = 1;
    return out;
  };
  int dir = records[0].state == 1 ? 1 : 2;
  int current = 0;
  ContourElement* w = out;
  for (int step = 0;; ++step) {
    const std::ptrdiff_t left = std::min<std::ptrdiff_t>(limit - w, kTraceMaxElements - (w - out));
    const int room = static_cast<int>(std::max<std::ptrdiff_t>(left, 0));
    int next = -1, closed = 0;
    const int m =
        isectTracePiece(records, count, current, dir, elements, n, w, room, &next, &closed);
    if (m == -2) {
      pockMessage(kPockCodeTooManyElements);
      return nullptr;
    }
    if (m < 0) return fail();
    if (step == 0 && next == 0 && contLength(w, m) < kMinLoopPiece) return fail();
    w += m;
    if (closed == 1 || next == 0) {
      records[0].state = 2;
      *closedOut = 1;
      return w;
    }
    const int previous = records[next].state;
    records[next].state = 2;
    if (contSamePoint(at(records[next]), at(records[0])) == 1) {
      records[0].state = 2;
      *closedOut = 1;
      return w;
    }
    dir = previous == 1 ? 1 : 2;
    current = next;
    if (step > count) return fail();
  }
}
