// rest_regions.cpp - the search for the rest regions a reference tool left at the corners of a
// pocket, the walk along wall contours it needs, and the reference circle the ring offsets test.
#include "pocket/rest_regions.h"

#include <cmath>
#include <new>
#include <numbers>
#include <vector>

#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"

namespace {

RestState rest;

// Tolerances of the search.
constexpr double kSameCentre = 0.0001;
constexpr double kZeroLength = 0.0001;
constexpr double kTurnTol = 0.05;
constexpr double kTurnTolLineArc = 9.0 * 0.005;

using Elems = std::vector<ContourElement>;

// Reads contour i of a layer into buf. Its count; -1 when it cannot be read.
int readContour(const char* layer, int i, Elems* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) != i || h->count < 0) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  if (layerGetContour(layer, buf->data(), h->count, h, i) != i) return -1;
  return h->count;
}

double lengthTo(const ContourElement& e, const Point2D& p) {
  if (contSamePoint(contElemStart(e), p) != 0) return 0.0;
  return contElemLengthTo(e, p, nullptr);
}

// The part of e from p to q.
ContourElement subElement(const ContourElement& e, const Point2D& p, const Point2D& q) {
  ContourElement s = e;
  contElemSetEndpoint(&s, p, 1);
  contElemSetEndpoint(&s, q, 2);
  return s;
}

bool validPosition(const RestPosition& p, int n) { return p.element >= 0 && p.element < n; }

// 1 when to lies before from along the contour.
bool lies_before(const ContourElement* e, const RestPosition& from, const RestPosition& to) {
  if (to.element != from.element) return to.element < from.element;
  if (contSamePoint(to.point, from.point) != 0) return false;
  return contElemPointOrder(e[from.element], from.point, to.point) == 1;
}

RestPosition positionOf(const RestContact& c) { return RestPosition{c.element, c.foot}; }

// Contacts being traced go back to free.
int releaseTracing(RestContact* table, int count) {
  for (int i = 0; i < count; ++i) {
    if (table[i].state == kRestTracing) table[i].state = kRestFree;
  }
  return 1;
}

// The corner checks of an arc between the element before it and the element after it: a reversal
// turns the arc round; an arc shorter than half its circle then goes the other way round.
void fixArcCorners(ContourElement* arc, const ContourElement* before, const ContourElement* after) {
  int cls = 0;
  if (before != nullptr && contCornerType(*before, *arc, &cls) == 1 && cls == kCornerReversal) {
    arc->dir = -arc->dir;
  }
  if (after != nullptr && contCornerType(*arc, *after, &cls) == 1 && cls == kCornerReversal) {
    arc->dir = -arc->dir;
  }
  if (contElemLength(*arc) < std::numbers::pi * arc->radius) arc->dir = -arc->dir;
}

ContourElement referenceArc(const Point2D& centre, const Point2D& at, double radius) {
  return contMakeArc(centre.x, centre.y, at.x, at.y, at.x, at.y, radius, 1, 1);
}

}  // namespace

RestState& restState() { return rest; }

void restResetState() { rest = RestState{}; }

// ---- positions along a contour -----------------------------------------------------------------

int contPointAtFraction(const ContourElement* elements, int n, double t, Point2D* pointOut) {
  if (elements == nullptr || n <= 0) return -1;
  if (!(t >= 0.0)) t = 0.0;
  if (t > 1.0) t = 1.0;
  const double total = contLength(elements, n);
  if (!(total > 0.0)) return -1;
  double remaining = t * total;
  int last = -1;
  for (int i = 0; i < n; ++i) {
    const ContourElement& e = elements[i];
    const double len = contElemLength(e);
    if (len < kZeroLength) continue;
    last = i;
    if (remaining > len) {
      remaining -= len;
      continue;
    }
    Point2D p{};
    if (e.type == kContArc) {
      const double a = remaining / e.radius * e.dir;
      const double dx = e.p2 - e.p0;
      const double dy = e.p3 - e.p1;
      p = Point2D{e.p0 + dx * std::cos(a) - dy * std::sin(a),
                  e.p1 + dx * std::sin(a) + dy * std::cos(a)};
    } else {
      const double f = remaining / len;
      p = Point2D{e.p0 + (e.p2 - e.p0) * f, e.p1 + (e.p3 - e.p1) * f};
    }
    if (pointOut != nullptr) *pointOut = p;
    return i;
  }
  if (last < 0) return -1;
  // Rounding left a little beyond the last element: its end.
  if (pointOut != nullptr) *pointOut = contElemEnd(elements[last]);
  return last;
}

double contLengthBetween(const ContourElement* elements, int n, const RestPosition& from,
                         const RestPosition& to) {
  if (elements == nullptr || !validPosition(from, n) || !validPosition(to, n)) return -1.0;
  if (lies_before(elements, from, to)) {
    if (contIsClosed(elements, n) == 0) return -1.0;
    if (lies_before(elements, to, from)) return -1.0;  // no order between them
    const double back = contLengthBetween(elements, n, to, from);
    if (back < 0.0) return -1.0;
    return std::max(0.0, contLength(elements, n) - back);
  }
  const ContourElement& a = elements[from.element];
  if (from.element == to.element) {
    return std::max(0.0, lengthTo(a, to.point) - lengthTo(a, from.point));
  }
  double sum = std::max(0.0, contElemLength(a) - lengthTo(a, from.point));
  for (int i = from.element + 1; i < to.element; ++i) sum += contElemLength(elements[i]);
  return sum + lengthTo(elements[to.element], to.point);
}

// ---- the search
// ----------------------------------------------------------------------------------

int restCornerTurn(const ContourElement& a, const ContourElement& b, int* turnOut) {
  const double tol = a.type == kContLine && b.type == kContArc ? kTurnTolLineArc : kTurnTol;
  Point2D ta{};
  Point2D tb{};
  if (contElemDirection(a, &ta, 2) == 0 || contElemDirection(b, &tb, 1) == 0) return 0;
  const double t = contCross2d(ta, tb);
  int turn = 0;
  if (std::fabs(t) >= tol) {
    turn = t > 0.0 ? 1 : -1;
  } else if (ta.x * tb.x + ta.y * tb.y < 0.0) {
    turn = -2;
    if (b.type == kContArc) {
      // The arc cut at nine tenths of its angle range decides which way it turns back.
      Point2D cut{};
      Point2D tc{};
      if (contArcPointAt(b, 0.9, &cut) == 1) {
        const ContourElement part = subElement(b, contArcStart(b), cut);
        if (contElemDirection(part, &tc, 2) == 1) {
          const double c = contCross2d(ta, tc);
          if (std::fabs(c) >= tol) turn = c > 0.0 ? 1 : -1;
        }
      }
    }
  }
  if (turnOut != nullptr) *turnOut = turn;
  return 1;
}

int restCornerCandidates(const ContourElement* wall, int n, int position, double refRadius,
                         RestContact* table, int base) {
  if (wall == nullptr || table == nullptr || n <= 0) return 0;
  const double tol = rest.restTol;
  const double reach = refRadius + rest.restAllowance;
  const double contTol = pockEngine().contTol;
  int count = base;
  Elems ring;
  const int rings = layerCount("SPAN");
  for (int s = 0; s < rings; ++s) {
    ContourHeader h{};
    const int m = readContour("SPAN", s, &ring, &h);
    if (m <= 0) continue;
    const bool closed = contIsClosed(ring.data(), m) != 0;
    const int corners = closed ? m : m - 1;
    for (int k = 0; k < corners; ++k) {
      const ContourElement& a = ring[static_cast<std::size_t>(k)];
      const ContourElement& b = ring[static_cast<std::size_t>((k + 1) % m)];
      int turn = 0;
      if (restCornerTurn(a, b, &turn) != 1 || turn == 0) continue;
      const Point2D q = contElemEnd(a);
      Point2D ta{};
      Point2D tb{};
      contElemDirection(a, &ta, 2);
      contElemDirection(b, &tb, 1);
      const Point2D bisector{(ta.x + tb.x) / 2.0, (ta.y + tb.y) / 2.0};
      for (int j = 0; j < n; ++j) {
        if (wall[j].tag < 0) continue;
        Point2D f{};
        const double d = contNearestOnElem(q, wall[j], &f);
        if (std::fabs(d - reach) > tol) continue;
        bool known = false;
        for (int i = 0; i < count && !known; ++i) {
          known = contDistance(table[i].centre, q) <= tol &&
                  contDistance(table[i].foot, f) <= 10.0 * tol;
        }
        if (known) continue;
        if (count >= kRestMaxContacts) return -1;
        const double dot = bisector.x * (f.x - q.x) + bisector.y * (f.y - q.y);
        table[count] = RestContact{kRestFree, dot < contTol ? -1 : 1, position, q, j, f};
        ++count;
      }
    }
  }
  return count - base;
}

int restPartner(const RestContact* table, int count, int current, const ContourElement* wall, int n,
                int freeOnly, double refRadius) {
  if (table == nullptr || current < 0 || current >= count) return -1;
  const RestContact& cur = table[current];
  const bool open = contIsClosed(wall, n) == 0;
  const double contTol = pockEngine().contTol;
  int best = -1;
  double bestLength = 0.0;
  for (int i = 0; i < count; ++i) {
    const RestContact& c = table[i];
    if (i == current || c.position != cur.position || c.side == cur.side) continue;
    if (freeOnly != 0 && c.state != kRestFree) continue;
    const bool sameFoot = contSamePoint(c.foot, cur.foot) != 0;
    double length = contLengthBetween(wall, n, positionOf(cur), positionOf(c));
    if (length < 0.0) {
      if (!(open && sameFoot)) continue;
      length = 0.0;
    }
    if (open && !sameFoot && lies_before(wall, positionOf(cur), positionOf(c))) continue;
    if (length < contTol && contDistance(c.centre, cur.centre) < 0.6 * refRadius) continue;
    if (best < 0) {
      best = i;
      bestLength = length;
      continue;
    }
    if (length < kZeroLength && bestLength < kZeroLength) {
      // Both at the foot: the nearer centre, the later one on equal distances.
      if (contDistance(c.centre, cur.centre) <= contDistance(table[best].centre, cur.centre)) {
        best = i;
        bestLength = length;
      }
    } else if (length < bestLength) {
      best = i;
      bestLength = length;
    }
  }
  return best;
}

int restNextCorner(const RestContact* table, int count, int current) {
  if (table == nullptr || current < 0 || current >= count) return -1;
  const RestContact& cur = table[current];
  int best = -1;
  double far = -1.0;
  for (int i = 0; i < count; ++i) {
    const RestContact& c = table[i];
    if (c.state != kRestFree || std::fabs(c.centre.x - cur.centre.x) >= kSameCentre ||
        std::fabs(c.centre.y - cur.centre.y) >= kSameCentre) {
      continue;
    }
    const double d = contDistance(c.foot, cur.foot);
    if (d > far) {
      far = d;
      best = i;
    }
  }
  return best;
}

int restPointClear(const Point2D& point, double refRadius) {
  const double limit = refRadius + rest.restTol + rest.restAllowance;
  Elems ring;
  const int rings = layerCount("SPAN");
  for (int s = 0; s < rings; ++s) {
    ContourHeader h{};
    const int m = readContour("SPAN", s, &ring, &h);
    if (m <= 0) continue;
    if (contMinDistance(point, ring.data(), m) < limit) return 0;
  }
  return 1;
}

int restCopyPiece(Elems* out, const ContourElement* wall, int n, const RestPosition& from,
                  const RestPosition& to) {
  out->clear();
  if (wall == nullptr || !validPosition(from, n) || !validPosition(to, n)) return 0;
  const int a = from.element;
  const int b = to.element;
  const ContourElement& ea = wall[a];
  if (a == b && contSamePoint(from.point, to.point) != 0) return 0;
  if (a == b && contElemPointOrder(ea, to.point, from.point) == 1) {
    out->push_back(subElement(ea, from.point, to.point));
  } else {
    out->push_back(subElement(ea, from.point, contElemEnd(ea)));
    for (int i = (a + 1) % n; i != b; i = (i + 1) % n) out->push_back(wall[i]);
    out->push_back(subElement(wall[b], contElemStart(wall[b]), to.point));
  }
  const int m = contCleanup(out->data(), static_cast<int>(out->size()));
  out->resize(static_cast<std::size_t>(m > 0 ? m : 0));
  return m > 0 ? m : 0;
}

int restMiddleBetween(const ContourElement* wall, int n, const RestPosition& from,
                      const RestPosition& to, RestPosition* out) {
  const double between = contLengthBetween(wall, n, from, to);
  if (between < 0.0) return 0;
  const double total = contLength(wall, n);
  if (!(total > 0.0)) return 0;
  const RestPosition origin{0, contElemStart(wall[0])};
  double s = from.element == 0 && contSamePoint(from.point, origin.point) != 0
                 ? 0.0
                 : contLengthBetween(wall, n, origin, from);
  if (s < 0.0) return 0;
  s += between / 2.0;
  if (s > total) s -= total;
  Point2D p{};
  const int element = contPointAtFraction(wall, n, s / total, &p);
  if (element < 0) return 0;
  if (out != nullptr) *out = RestPosition{element, p};
  return 1;
}

int restArcFixDirection(ContourElement* arc, const ContourElement& previous) {
  if (arc == nullptr) return 0;
  Point2D a{};
  Point2D p{};
  if (contElemDirection(*arc, &a, 1) == 0 || contElemDirection(previous, &p, 2) == 0) return 0;
  if (a.x * p.x + a.y * p.y >= 0.0) return 0;
  arc->dir = -arc->dir;
  return 1;
}

int restTraceRegion(double refRadius, RestContact* table, int count) {
  if (table == nullptr) return -1;
  int start = -1;
  for (int i = 0; i < count && start < 0; ++i) {
    if (table[i].side == -1 && table[i].state == kRestFree) start = i;
  }
  if (start < 0) return 0;
  try {
    table[start].state = kRestUsed;
    const double radius = refRadius + rest.restAllowance;
    const Point2D startCentre = table[start].centre;
    Elems region;
    region.push_back(referenceArc(table[start].centre, table[start].foot, radius));
    int arcAt = 0;  // the arc the next wall piece follows
    int pieces = 0;
    int cur = start;
    RestPosition from = positionOf(table[cur]);
    Elems wall;
    Elems piece;
    ContourHeader wallHeader{};
    int n = readContour("MAIN", table[cur].position, &wall, &wallHeader);
    if (n <= 0) return -1;
    for (int guard = 0; guard <= count; ++guard) {
      const int p = restPartner(table, count, cur, wall.data(), n, 1, refRadius);
      const int q = restPartner(table, count, cur, wall.data(), n, 0, refRadius);
      bool accept = p >= 0 && p == q;
      if (accept && contDistance(table[p].foot, table[cur].foot) >= 0.03 * refRadius) {
        RestPosition middle{};
        accept = restMiddleBetween(wall.data(), n, positionOf(table[cur]), positionOf(table[p]),
                                   &middle) == 1 &&
                 restPointClear(middle.point, refRadius) == 1;
      }
      if (!accept) return releaseTracing(table, count);
      if (table[cur].side == -1) from = positionOf(table[cur]);
      table[p].state = kRestTracing;
      const int m = restCopyPiece(&piece, wall.data(), n, from, positionOf(table[p]));
      for (int i = 0; i < m; ++i) piece[static_cast<std::size_t>(i)].tag = 0;
      const std::size_t pieceAt = region.size();
      region.insert(region.end(), piece.begin(), piece.begin() + m);
      if (pieces > 0) {
        ContourElement& arc = region[static_cast<std::size_t>(arcAt)];
        const Point2D end = m > 0 ? contElemStart(region[pieceAt]) : table[p].foot;
        contElemSetEndpoint(&arc, end, 2);
        const ContourElement* before =
            arcAt > 0 ? &region[static_cast<std::size_t>(arcAt - 1)] : nullptr;
        const ContourElement* after = m > 0 ? &region[pieceAt] : nullptr;
        fixArcCorners(&arc, before, after);
      }
      ++pieces;
      const RestContact& partner = table[p];
      if (std::fabs(partner.centre.x - startCentre.x) < kSameCentre &&
          std::fabs(partner.centre.y - startCentre.y) < kSameCentre) {
        const int total = static_cast<int>(region.size());
        if (total <= 1) return releaseTracing(table, count);
        ContourElement& first = region[0];
        contElemSetEndpoint(&first, contElemEnd(region.back()), 1);
        contElemSetEndpoint(&first, contElemStart(region[1]), 2);
        fixArcCorners(&first, &region.back(), &region[1]);
        for (ContourElement& e : region) {
          if (e.type != kContArc || e.tag != 1 || std::fabs(e.radius - refRadius) >= kSameCentre) {
            continue;
          }
          if (contWinding(region.data(), total, contArcCentre(e)) == 0) e.dir = -e.dir;
        }
        ContourHeader h = wallHeader;
        h.count = total;
        h.elements = nullptr;
        if (layerInsertContour("REST", region.data(), &h, -1) != 1) return -1;
        for (int i = 0; i < count; ++i) {
          if (table[i].state == kRestTracing) table[i].state = kRestUsed;
        }
        return 1;
      }
      const int next = restNextCorner(table, count, p);
      if (next < 0) return releaseTracing(table, count);
      table[next].state = kRestTracing;
      const Point2D at = m > 0 ? contElemEnd(region.back()) : partner.foot;
      ContourElement arc = referenceArc(table[next].centre, at, radius);
      restArcFixDirection(&arc, region.back());
      region.push_back(arc);
      arcAt = static_cast<int>(region.size()) - 1;
      from = positionOf(partner);
      cur = next;
      n = readContour("MAIN", table[cur].position, &wall, &wallHeader);
      if (n <= 0) return -1;
    }
    // Every contact was visited without closing the region.
    return releaseTracing(table, count);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int restFindRegions(double refRadius) {
  if (refRadius > 20.0) rest.restTol *= 2.0;
  PockEngine& eng = pockEngine();
  rest.restAllowance = layerCount("MAIN") < 2 ? pockAllowances()[0] : pockAllowances()[1];
  std::vector<RestContact> table;
  try {
    table.resize(kRestMaxContacts);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  int count = 0;
  Elems wall;
  const int walls = layerCount("MAIN");
  for (int i = eng.pockStockMode == 2 ? 1 : 0; i < walls; ++i) {
    ContourHeader h{};
    const int n = readContour("MAIN", i, &wall, &h);
    if (n < 0) return -1;
    if (eng.pockStockMode == 1 && h.stockMark != 0) continue;
    const int added = restCornerCandidates(wall.data(), n, i, refRadius, table.data(), count);
    if (added < 0) return -1;
    count += added;
  }
  int result = 0;
  for (int guard = 0; guard <= count; ++guard) {
    result = restTraceRegion(refRadius, table.data(), count);
    if (result <= 0) break;
  }
  return result < 0 ? -1 : 1;
}

// ---- the pass
// ------------------------------------------------------------------------------------

int restAddIslands(const char* name, const ContourElement* region, int n, int side) {
  if (region == nullptr || n <= 0) return 0;
  const double contTol = pockEngine().contTol;
  int added = 0;
  Elems e;
  const int count = layerCount("ORIG");
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    const int m = readContour("ORIG", i, &e, &h);
    if (m <= 0) continue;
    const Point2D s = contElemStart(e[0]);
    if (contWinding(region, n, s) == 0 || contMinDistance(s, region, n) < contTol) continue;
    if (contOrientation(e.data(), m) == side) contReverse(e.data(), m);
    h.group = 1;
    h.elements = nullptr;
    if (layerInsertContour(name, e.data(), &h, -1) != 1) return -1;
    ++added;
  }
  return added;
}

int restCheckReference(const ContourElement* elements, int n) {
  if (pockCfg().evalRif == 0 || elements == nullptr || n <= 0) return 1;
  const ContourElement& r = rest.reference;
  const ContourElement circle =
      contMakeArc(r.p0, r.p1, r.p0 + r.radius, r.p1, r.p0 + r.radius, r.p1, r.radius, 1, 0);
  if (isectCircleHitsContour(circle, elements, n) != 0) return 1;
  return contDistance(contElemStart(elements[0]), contArcCentre(r)) < r.radius ? 0 : 1;
}

void restSetReference(const ContourElement& element) {
  rest.reference = element;
  rest.reference.type = kContArc;
  rest.reference.tag = 0;
}
