// link_search.cpp - distances between elements and rings and the searches of the ring linkers
// for the place to leave one ring for the next. The rules are the linkers' own (end-point
// candidates, a fixed margin, the earliest of equally near places), so that the same pocket gives
// the same links on every machine.
#include "pocket/link_search.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"

namespace {
struct LinkTables {
  bool active = false;
  std::vector<Point2D> points;
  std::vector<LinkRef> refs;
  std::vector<double> distances;
};
LinkTables tables;

struct Candidate {
  double d;
  Point2D a, b;
};

bool isLineOrArc(const ContourElement& e) { return e.type == kContLine || e.type == kContArc; }

// The candidates of a line (first) and an arc from the arc centre's perpendicular onto the line.
void lineArcCandidates(const ContourElement& line, const ContourElement& arc,
                       std::vector<Candidate>* out) {
  const Seg2D seg = contElemSeg(line);
  const Point2D c = contArcCentre(arc);
  Point2D f{0.0, 0.0};
  isectFootOnLine(seg, c.x, c.y, &f.x, &f.y);
  const bool centreOff = contDistance(f, c) > pockEngine().contTol;
  // The perpendicular from the centre counts only when its foot lies on the segment.
  if (!centreOff || isectPointOnSegment(f, seg) == 0) return;
  Point2D cut[2];
  const int r = isectLineArc(Seg2D{f.x, f.y, c.x, c.y}, arc, cut);
  const int k = r < 0 ? 1 : r;
  for (int i = 0; i < k; ++i) out->push_back({contDistance(f, cut[i]), f, cut[i]});
}

// The candidates of two arcs on the line through their centres.
void arcArcCandidates(const ContourElement& a, const ContourElement& b,
                      std::vector<Candidate>* out) {
  const Point2D ca = contArcCentre(a), cb = contArcCentre(b);
  if (contSamePoint(ca, cb) != 0) return;
  const Seg2D line{ca.x, ca.y, cb.x, cb.y};
  Point2D pa[2], pb[2];
  const int na = std::abs(isectLineCircle(line, a, pa));
  const int nb = std::abs(isectLineCircle(line, b, pb));
  std::vector<Point2D> onA, onB;
  for (int i = 0; i < na; ++i) {
    if (isectPointOnArc(pa[i], a) != 0) onA.push_back(pa[i]);
  }
  for (int i = 0; i < nb; ++i) {
    if (isectPointOnArc(pb[i], b) != 0) onB.push_back(pb[i]);
  }
  for (const Point2D& p : onA) {
    for (const Point2D& q : onB) out->push_back({contDistance(p, q), p, q});
  }
}

// Distance from point p to the end of element e nearest point; both as in contNearestOnElem.
Candidate pointCandidate(const Point2D& p, const ContourElement& other, bool pOnA) {
  Point2D foot{0.0, 0.0};
  const double d = contNearestOnElem(p, other, &foot);
  return pOnA ? Candidate{d, p, foot} : Candidate{d, foot, p};
}

// The part of element e from p on (which 1) or up to p (which 2).
ContourElement partOf(const ContourElement& e, const Point2D& p, int which) {
  ContourElement part = e;
  contElemSetEndpoint(&part, p, which);
  return part;
}

// Resolves a ring position to the 0-based element c that holds its point, moved to the next
// element (wrapping) when the point is the end of its element.
int resolveElement(const ContourElement* a, int na, const LinkRef& from, Point2D* p) {
  LinkRef r{};
  linkResolveEndpoint(from, a, na, &r);
  int c = r.element - 1;
  if (c < 0) c = 0;
  if (c >= na) c = na - 1;
  *p = r.point;
  if (contSamePoint(*p, contElemEnd(a[c])) != 0) c = (c + 1 == na) ? 0 : c + 1;
  return c;
}

// linkFindNearFrom's rule for a part of an element: within reach, with the nearest point.
bool nearOnElem(const ContourElement& e, const Point2D& p, double x, Point2D* foot) {
  return linkWithinReach(contNearestOnElem(p, e, foot), x) != 0;
}
}  // namespace

int linkWithinReach(double d, double x) { return (x - d > -kLinkMargin) ? 1 : 0; }

// ---- link tables
// ------------------------------------------------------------------------------------

int linkTablesCreate() {
  try {
    tables.points.reserve(kLinkTableSize);
    tables.refs.reserve(kLinkTableSize);
    tables.distances.reserve(kLinkTableSize);
  } catch (...) {
    linkTablesFree();
    return -1;
  }
  tables.points.clear();
  tables.refs.clear();
  tables.distances.clear();
  tables.active = true;
  return 1;
}

void linkTablesFree() { tables = LinkTables{}; }

int linkTablesActive() { return tables.active ? 1 : 0; }

int linkTableCount() { return static_cast<int>(tables.points.size()); }

// ---- distances
// --------------------------------------------------------------------------------------

int linkArgMin(const double* values, int count) {
  int choice = 0;
  for (int i = 1; i < count; ++i) {
    if (values[i] <= values[choice] - kLinkMargin) choice = i;
  }
  return choice;
}

double linkElemDistance(const ContourElement& a, const ContourElement& b, Point2D* pointA,
                        Point2D* pointB) {
  if (!isLineOrArc(a) || !isLineOrArc(b)) return 0.0;
  if (contElemClosed(a) != 0) {
    const Candidate c = pointCandidate(contElemStart(a), b, true);
    *pointA = c.a;
    *pointB = c.b;
    return c.d;
  }
  if (contElemClosed(b) != 0) {
    const Candidate c = pointCandidate(contElemStart(b), a, false);
    *pointA = c.a;
    *pointB = c.b;
    return c.d;
  }
  // A line and an arc are measured with the line first, so its points lead the candidates.
  const bool swap = a.type == kContArc && b.type == kContLine;
  const ContourElement& u = swap ? b : a;
  const ContourElement& v = swap ? a : b;
  std::vector<Candidate> cands;
  cands.push_back(pointCandidate(contElemStart(u), v, true));
  cands.push_back(pointCandidate(contElemStart(v), u, false));
  cands.push_back(pointCandidate(contElemEnd(v), u, false));
  cands.push_back(pointCandidate(contElemEnd(u), v, true));
  if (u.type == kContLine && v.type == kContArc) lineArcCandidates(u, v, &cands);
  if (u.type == kContArc && v.type == kContArc) arcArcCandidates(u, v, &cands);
  std::vector<double> ds;
  for (const Candidate& c : cands) ds.push_back(c.d);
  const Candidate& best = cands[static_cast<std::size_t>(linkArgMin(ds.data(), int(ds.size())))];
  *pointA = swap ? best.b : best.a;
  *pointB = swap ? best.a : best.b;
  return best.d;
}

int linkElemOrder(const ContourElement& e, const Point2D& p, const Point2D& q) {
  double vp = 0.0, vq = 0.0;
  if (e.type == kContLine) {
    const Point2D s = contElemStart(e);
    vp = contDistance(s, p);
    vq = contDistance(s, q);
  } else if (e.type == kContArc) {
    const double twoPi = 2.0 * std::numbers::pi;
    const Point2D c = contArcCentre(e), s = contArcStart(e);
    const double a0 = std::atan2(s.y - c.y, s.x - c.x);
    auto along = [&](const Point2D& r) {
      double t = (std::atan2(r.y - c.y, r.x - c.x) - a0) * (e.dir < 0 ? -1.0 : 1.0);
      t = std::fmod(t, twoPi);
      if (t < 0.0) t += twoPi;
      return t;
    };
    vp = along(p);
    vq = along(q);
  } else {
    return 0;
  }
  if (std::fabs(vq - vp) < 0.0001) return 0;
  return (vq - vp <= -kLinkMargin) ? -1 : 1;
}

double linkContourDistance(const ContourElement& e, const ContourElement* b, int n,
                           Point2D* pointOut, LinkRef* refOut) {
  if (b == nullptr || n <= 0) return 0.0;
  const bool collect = tables.active;
  if (collect) {
    tables.points.clear();
    tables.refs.clear();
    tables.distances.clear();
  }
  double ref = 0.0;
  Point2D lastA{0.0, 0.0};
  LinkRef lastRef{1, {0.0, 0.0}};
  for (int j = 0; j < n; ++j) {
    Point2D pa{0.0, 0.0}, pb{0.0, 0.0};
    const double d = linkElemDistance(e, b[j], &pa, &pb);
    if (j > 0 && !(d < ref + kLinkMargin)) continue;
    ref = d;
    lastA = pa;
    lastRef = LinkRef{j + 1, pb};
    if (!collect) continue;
    if (static_cast<int>(tables.points.size()) >= kLinkTableSize) {
      pockMessage(kLinkCodeTablesFull);
      tables.points.back() = pa;
      tables.refs.back() = lastRef;
      tables.distances.back() = d;
    } else {
      tables.points.push_back(pa);
      tables.refs.push_back(lastRef);
      tables.distances.push_back(d);
    }
  }
  if (collect) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < tables.points.size(); ++i) {
      if (tables.distances[i] >= ref + kLinkMargin) continue;
      tables.points[kept] = tables.points[i];
      tables.refs[kept] = tables.refs[i];
      tables.distances[kept] = tables.distances[i];
      ++kept;
    }
    tables.points.resize(kept);
    tables.refs.resize(kept);
    tables.distances.resize(kept);
    std::size_t choice = 0;
    for (std::size_t i = 1; i < kept; ++i) {
      if (linkElemOrder(e, tables.points[choice], tables.points[i]) == -1) choice = i;
    }
    if (kept > 0) {
      lastA = tables.points[choice];
      lastRef = tables.refs[choice];
    }
  }
  if (pointOut != nullptr) *pointOut = lastA;
  if (refOut != nullptr) *refOut = lastRef;
  return ref;
}

double linkContoursNearest(const ContourElement* a, int na, const ContourElement* b, int nb,
                           Point2D* pointA, Point2D* pointB) {
  if (a == nullptr || b == nullptr || na <= 0 || nb <= 0) return 0.0;
  double best = 0.0;
  for (int i = 0; i < na; ++i) {
    Point2D p{0.0, 0.0};
    LinkRef r{};
    const double d = linkContourDistance(a[i], b, nb, &p, &r);
    if (i == 0 || d < best) {
      best = d;
      if (pointA != nullptr) *pointA = p;
      if (pointB != nullptr) *pointB = r.point;
    }
  }
  return best;
}

double linkContoursMinDistance(const ContourElement* a, int na, const ContourElement* b, int nb) {
  return linkContoursNearest(a, na, b, nb, nullptr, nullptr);
}

// ---- searches along a ring
// --------------------------------------------------------------------------

int linkSearchForward(const ContourElement* a, int na, const ContourElement* b, int nb,
                      const LinkRef& from, const LinkRef& entry, double x, LinkRef* exitOut,
                      LinkRef* entryOut) {
  if (entry.element != 0) {
    pockMessage(kPockCodeNotRealised);
    return 0;
  }
  if (a == nullptr || b == nullptr || na <= 0 || nb <= 0) return 0;
  Point2D p{0.0, 0.0};
  const int c = resolveElement(a, na, from, &p);
  Point2D pt{0.0, 0.0};
  LinkRef ref{};
  double d = linkContourDistance(partOf(a[c], p, 1), b, nb, &pt, &ref);
  if (linkWithinReach(d, x) != 0) {
    *exitOut = LinkRef{c + 1, pt};
    *entryOut = ref;
    return 1;
  }
  bool hit = false;
  double bestD = 0.0;
  int examined = 0;
  auto scan = [&](int lo, int hi) {
    for (int i = lo; i < hi; ++i) {
      if (hit && ++examined > 20) return;
      d = linkContourDistance(a[i], b, nb, &pt, &ref);
      if (linkWithinReach(d, x) == 0) continue;
      if (!hit || d < 0.9 * bestD) {
        hit = true;
        bestD = d;
        *exitOut = LinkRef{i + 1, pt};
        *entryOut = ref;
      }
    }
  };
  scan(c + 1, na);
  if (!hit) scan(0, c);
  if (hit) return 1;
  if (contSamePoint(p, contElemStart(a[c])) != 0) return 0;
  d = linkContourDistance(partOf(a[c], p, 2), b, nb, &pt, &ref);
  if (linkWithinReach(d, x) == 0) return 0;
  *exitOut = LinkRef{c + 1, pt};
  *entryOut = ref;
  return 1;
}

int linkSearchBounded(const ContourElement* a, int na, const ContourElement* b, int nb,
                      const LinkRef& from, const LinkRef& entry, double x, double* best,
                      LinkRef* exitOut, LinkRef* entryOut) {
  if (entry.element != 0) {
    pockMessage(kPockCodeNotRealised);
    return 0;
  }
  if (a == nullptr || b == nullptr || best == nullptr || na <= 0 || nb <= 0) return 0;
  Point2D p{0.0, 0.0};
  const int c = resolveElement(a, na, from, &p);
  Point2D pt{0.0, 0.0};
  LinkRef ref{};
  const ContourElement first = partOf(a[c], p, 1);
  const double d0 = linkContourDistance(first, b, nb, &pt, &ref);
  bool hit = false;
  double walked = 0.0, walkedAtHit = 0.0, rest = 0.0;
  if (linkWithinReach(d0, x) != 0) {
    hit = true;
    *exitOut = LinkRef{c + 1, pt};
    *entryOut = ref;
  }
  double m = d0;
  walked = contElemLengthTo(first, pt, &rest);
  if (walked > *best) return -1;
  walkedAtHit = walked;
  std::vector<int> order;
  for (int i = c + 1; i < na; ++i) order.push_back(i);
  for (int i = 0; i < c; ++i) order.push_back(i);
  for (const int i : order) {
    const double d = linkContourDistance(a[i], b, nb, &pt, &ref);
    if (hit && d - m > -kLinkMargin) break;
    double restHere = 0.0;
    walked += rest + contElemLengthTo(a[i], pt, &restHere);
    rest = restHere;
    if (d < m) m = d;
    if (walked > *best) return -1;
    if (linkWithinReach(d, x) != 0) {
      hit = true;
      walkedAtHit = walked;
      *exitOut = LinkRef{i + 1, pt};
      *entryOut = ref;
    }
  }
  if (!hit && contSamePoint(p, contElemStart(a[c])) == 0) {
    const ContourElement before = partOf(a[c], p, 2);
    const double d = linkContourDistance(before, b, nb, &pt, &ref);
    walked += rest + contElemLengthTo(before, pt, nullptr);
    if (walked > *best) return -1;
    if (linkWithinReach(d, x) != 0) {
      hit = true;
      walkedAtHit = walked;
      *exitOut = LinkRef{c + 1, pt};
      *entryOut = ref;
    }
  }
  if (!hit) return 0;
  *best = walkedAtHit;
  return 1;
}

int linkSearchBranch(const ContourElement* a, int na, const ContourElement* b, int nb, int child,
                     const LinkStackEntry& stackEntry, const LinkRef& entry, double x,
                     LinkRef* exitOut, LinkRef* entryOut) {
  if (entry.element != 0) {
    pockMessage(kPockCodeNotRealised);
    return 0;
  }
  if (a == nullptr || b == nullptr || na <= 0 || nb <= 0) return 0;
  LinkRef f{}, t{};
  linkResolveEndpoint(stackEntry.from, a, na, &f);
  linkResolveEndpoint(stackEntry.to, a, na, &t);
  if (f.element < 1 || f.element > na || t.element < 1 || t.element > na) {
    return linkSearchForward(a, na, b, nb, stackEntry.to, entry, x, exitOut, entryOut);
  }
  // A point at an element's start belongs to the end of the one before; one at an element's end
  // to the start of the one after.
  if (contSamePoint(f.point, contElemStart(a[f.element - 1])) != 0) {
    f.element = f.element == 1 ? na : f.element - 1;
  }
  if (contSamePoint(t.point, contElemEnd(a[t.element - 1])) != 0) {
    t.element = t.element == na ? 1 : t.element + 1;
  }
  // A complete loop (start and end at one point) is walked a full turn; otherwise the walk ends
  // with the element of the start.
  const bool complete = contSamePoint(f.point, t.point) != 0;
  int k = t.element;
  for (int walkedElems = 0; walkedElems < na; ++walkedElems) {
    ContourElement e = a[k - 1];
    const bool last = !complete && k == f.element;
    if (e.tag == child) {
      if (walkedElems == 0) e = partOf(e, t.point, 2);
      if (last) e = partOf(e, f.point, 1);
      const Point2D end = contElemEnd(e);
      LinkRef near{};
      if (linkFindNearFrom(b, nb, LinkRef{0, {0.0, 0.0}}, end, x, &near) == 1) {
        *exitOut = LinkRef{k, end};
        *entryOut = near;
        return 1;
      }
    }
    if (last) break;
    k = k == 1 ? na : k - 1;
  }
  return linkSearchForward(a, na, b, nb, stackEntry.to, entry, x, exitOut, entryOut);
}

int linkFindNearFrom(const ContourElement* k, int n, const LinkRef& ref, const Point2D& p, double x,
                     LinkRef* refOut) {
  if (k == nullptr || n <= 0) return 0;
  LinkRef r{};
  linkResolveEndpoint(ref, k, n, &r);
  int e = r.element;  // element number from 1 holding r's point
  if (e < 1) e = 1;
  if (e > n) e = n;
  Point2D foot{0.0, 0.0};
  if (nearOnElem(partOf(k[e - 1], r.point, 1), p, x, &foot)) {
    *refOut = LinkRef{e, foot};
    return 1;
  }
  for (int i = e; i < n; ++i) {
    if (nearOnElem(k[i], p, x, &foot)) {
      *refOut = LinkRef{i + 1, foot};
      return 1;
    }
  }
  if (contIsClosed(k, n) != 0 && contSamePoint(r.point, p) == 0) {
    for (int i = 0; i < e - 1; ++i) {
      if (nearOnElem(k[i], p, x, &foot)) {
        *refOut = LinkRef{i + 1, foot};
        return 1;
      }
    }
  }
  if (contSamePoint(r.point, contElemStart(k[e - 1])) == 0 &&
      nearOnElem(partOf(k[e - 1], r.point, 2), p, x, &foot)) {
    *refOut = LinkRef{e, foot};
    return 1;
  }
  return 0;
}

void linkSearchResetState() { linkTablesFree(); }
