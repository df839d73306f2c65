// contour_repair.cpp - in-place repairs of the pocketing engine's contours: arc centres and radii,
// flat arcs, degenerate and short kink elements, and the clean-up of every produced contour.
#include "pocket/contour_repair.h"

#include <cmath>
#include <numbers>

#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"

namespace {
// A radius that differs from the mean end distance by less than this becomes that mean.
constexpr double kRadiusSnap = 0.001;
// A recomputed centre farther than this share of the radius from the old one makes a line.
constexpr double kCentreShiftShare = 0.9;
// Chords shorter than this have no direction.
constexpr double kMinChord = 1e-6;
// Element length of the short kinks the clean-up merges.
constexpr double kCleanupKinkLength = 0.01;
// Arcs of a radius within isectNear of 0 are lines.
constexpr double kZeroRadius = 0.0;

}  // namespace

int contArcCentreFromEnds(ContourElement* e) {
  if (e == nullptr || e->type != kContArc) return 0;
  const Point2D s = contArcStart(*e), en = contArcEnd(*e);
  const double cx = en.x - s.x, cy = en.y - s.y;
  const double c = std::sqrt(cx * cx + cy * cy);
  if (c < kMinChord) return 0;
  const double h = e->radius * e->radius - (c / 2.0) * (c / 2.0);
  if (h < 0.0) return 0;
  Point2D normal{-cy / c, cx / c};  // left of the chord
  if (e->dir < 0) normal = Point2D{-normal.x, -normal.y};
  const double f = std::sqrt(h);
  e->p0 = (s.x + en.x) / 2.0 + f * normal.x;
  e->p1 = (s.y + en.y) / 2.0 + f * normal.y;
  return 1;
}

int contMoveEndRecentre(ContourElement* e, const Point2D& p, int which) {
  if (e == nullptr) return 0;
  if (e->type == kContLine) return contElemSetEndpoint(e, p, which);
  if (e->type != kContArc) return 0;
  const double radius = e->radius;
  contElemSetEndpoint(e, p, which);
  e->radius = radius;
  contArcCentreFromEnds(e);
  return 1;
}

int contArcFitEnds(ContourElement* e) {
  if (e == nullptr || e->type != kContArc) return 0;
  const Point2D m0 = contArcCentre(*e), s = contArcStart(*e), en = contArcEnd(*e);
  const double mean = (contDistance(s, m0) + contDistance(en, m0)) / 2.0;
  if (std::fabs(e->radius - mean) < kRadiusSnap) e->radius = mean;
  const double r = e->radius;
  const Point2D mid{(s.x + en.x) / 2.0, (s.y + en.y) / 2.0};
  const double h = contDistance(mid, s);
  // The chord's unit normal turned toward the old centre; a full circle has no chord, and the
  // direction toward the centre is then the limit of that normal.
  Point2D normal{0.0, 0.0};
  if (h > 0.0) {
    normal = Point2D{-(en.y - s.y) / (2.0 * h), (en.x - s.x) / (2.0 * h)};
    if (normal.x * (m0.x - mid.x) + normal.y * (m0.y - mid.y) < 0.0) {
      normal = Point2D{-normal.x, -normal.y};
    }
  } else {
    const double l = contDistance(m0, mid);
    if (l > 0.0) normal = Point2D{(m0.x - mid.x) / l, (m0.y - mid.y) / l};
  }
  const double ff = r * r - h * h;
  const double f = ff > 0.0 ? std::sqrt(ff) : 0.0;
  const Point2D m1{mid.x + f * normal.x, mid.y + f * normal.y};
  if (contDistance(m1, m0) > kCentreShiftShare * r) {
    *e = contMakeLine(s.x, s.y, en.x, en.y, e->tag);
  }
  return 0;
}

int contArcEndMoveFlips(const ContourElement& arc, const Point2D& p, int which) {
  const Point2D s0 = contElemStart(arc), e0 = contElemEnd(arc);
  ContourElement moved = arc;
  contElemSetEndpoint(&moved, p, which == 1 ? 1 : 2);
  contArcFitEnds(&moved);
  const Point2D s1 = contElemStart(moved), e1 = contElemEnd(moved);
  const double c0 = contDistance(s0, e0), c1 = contDistance(s1, e1);
  if (c0 < kMinChord || c1 < kMinChord) return 1;
  const double dot = ((e0.x - s0.x) * (e1.x - s1.x) + (e0.y - s0.y) * (e1.y - s1.y)) / (c0 * c1);
  return dot < 0.0 ? 1 : 0;
}

void contArcsRecentre(ContourElement* elements, int n) {
  const double tol = pockEngine().contTol;
  for (int i = 0; elements != nullptr && i < n; ++i) {
    ContourElement& e = elements[i];
    if (e.type != kContArc) continue;
    const Point2D s = contArcStart(e), en = contArcEnd(e), old = contArcCentre(e);
    const double g = contDistance(s, en);
    if (g < tol) continue;
    const Point2D mid{(s.x + en.x) / 2.0, (s.y + en.y) / 2.0};
    Point2D normal{-(en.y - s.y) / g, (en.x - s.x) / g};
    double u = normal.x * (old.x - mid.x) + normal.y * (old.y - mid.y);
    if (u < 0.0) {
      normal = Point2D{-normal.x, -normal.y};
      u = -u;
    }
    if (u < tol) {
      e.p0 = mid.x;
      e.p1 = mid.y;
      continue;
    }
    const double hh = e.radius * e.radius - g * g / 4.0;
    if (hh < 0.0) continue;
    const double f = std::sqrt(hh);
    e.p0 = mid.x + f * normal.x;
    e.p1 = mid.y + f * normal.y;
  }
}

int contSplitLargeArcs(ContourElement* elements, int n, int capacity) {
  if (elements == nullptr || n <= 0) return n < 0 ? 0 : n;
  // The arcs to split, from the last to the first while there is room; then one pass from the
  // back moves every element to its place and splits on the way.
  auto large = [](const ContourElement& e) {
    return e.type == kContArc && contElemLength(e) >= e.radius * std::numbers::pi / 2.0;
  };
  int splits = 0;
  int firstSplit = n;  // arcs before this index are not split (no room left)
  for (int i = n - 1; i >= 0 && n + splits < capacity; --i) {
    if (large(elements[i])) ++splits;
    firstSplit = i;
  }
  int w = n + splits;
  for (int i = n - 1; i >= 0; --i) {
    const ContourElement e = elements[i];
    if (i >= firstSplit && large(e)) {
      Point2D mid{};
      contElemPoint(e, &mid, 3);
      elements[--w] = e;
      contElemSetEndpoint(&elements[w], mid, 1);
      elements[--w] = e;
      contElemSetEndpoint(&elements[w], mid, 2);
    } else {
      elements[--w] = e;
    }
  }
  return n + splits;
}

int contArcsToLines(ContourElement* elements, int n) {
  int changed = 0;
  for (int i = 0; elements != nullptr && i < n - 1; ++i) {
    ContourElement& e = elements[i];
    if (e.type == kContArc && e.radius > kContFlatArcRadius) {
      e = contMakeLine(e.p2, e.p3, e.p4, e.p5, e.tag);
      changed = 1;
    }
  }
  return changed;
}

int contMergeShortElems(ContourElement* elements, int n, double maxLen) {
  if (elements == nullptr || n < 3) return n;
  // One left-to-right pass: elements[0 .. w - 1] are kept, elements[r] is examined with the last
  // kept element before it and the next unexamined one (element 0 after the last) after it.
  int w = 1;
  for (int r = 1; r < n; ++r) {
    ContourElement& cur = elements[r];
    ContourElement& prev = elements[w - 1];
    ContourElement& next = r + 1 < n ? elements[r + 1] : elements[0];
    const int count = w + (n - r);
    int t1 = 0, t2 = 0;
    bool merge = count >= 3 && contElemsChained(prev, cur, next) == 1 &&
                 contElemLength(cur) <= maxLen && contCornerType(prev, cur, &t1) == 1 &&
                 contCornerType(cur, next, &t2) == 1 && t1 != 0 && t2 != 0 &&
                 (t1 != t2 || t1 == kCornerReversal);
    Point2D mid{};
    if (merge) {
      contElemPoint(cur, &mid, 3);
      merge = !((prev.type == kContArc && contArcEndMoveFlips(prev, mid, 2) == 1) ||
                (next.type == kContArc && contArcEndMoveFlips(next, mid, 1) == 1));
    }
    if (!merge) {
      if (w != r) elements[w] = cur;
      ++w;
      continue;
    }
    contElemSetEndpoint(&prev, mid, 2);
    contElemSetEndpoint(&next, mid, 1);
    contArcFitEnds(&prev);
    contArcFitEnds(&next);
  }
  return w;
}

int contReduce(ContourElement* elements, int* count, double maxLen) {
  if (elements == nullptr || count == nullptr || *count <= kContReduceMinCount) return 0;
  const int before = *count;
  contArcsToLines(elements, before);
  int n = before;
  for (;;) {
    const int m = contMergeShortElems(elements, n, maxLen);
    if (m >= n) break;
    n = m;
  }
  if (n >= before) return 0;
  *count = n;
  return 1;
}

int contCleanup(ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return 0;
  // One pass with a write index. A removed element hands its start to a following line, which is
  // then examined with that start.
  int w = 0;
  bool handStart = false;
  Point2D start{};
  for (int r = 0; r < n; ++r) {
    ContourElement e = elements[r];
    if (handStart && e.type == kContLine) contElemSetEndpoint(&e, start, 1);
    handStart = false;
    const bool known = e.type == kContLine || e.type == kContArc;
    if (!known) continue;
    if (contPointsClose(contElemStart(e), contElemEnd(e)) == 1) {
      handStart = true;
      start = contElemStart(e);
      continue;
    }
    if (e.type == kContArc && isectNear(e.radius, kZeroRadius) == 1) {
      e = contMakeLine(e.p2, e.p3, e.p4, e.p5, e.tag);
    }
    elements[w++] = e;
  }
  return contMergeShortElems(elements, w, kCleanupKinkLength);
}
