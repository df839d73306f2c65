// ring_linker.cpp - depth-first linking of the rings of one pocket level into continuous cuts: the
// walks that choose the next ring, the emission of ring pieces and the connecting moves.
#include "pocket/ring_linker.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "framework/cycle.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/pock_output.h"
#include "pocket/tangent_link.h"

namespace {

struct LinkerState {
  int settled = 0;              // the stack was found settled (linkStackDone)
  ContourElement rest[2] = {};  // the rest store's two slots
};
LinkerState linkerState;

constexpr double kSamePoint = 0.0001;
constexpr double kBestStart = 100000.0;

struct Candidate {
  int node;
  LinkRef exit;
  LinkRef entry;
};

LinkRef startRef() { return LinkRef{0, {0.0, 0.0}}; }

// Reads the node's ring into buf. Returns its element count; -1 when it cannot be read.
int readRing(int node, std::vector<ContourElement>* buf) {
  const ContourTreeNode* t = ctreeNodeAt(node);
  if (t == nullptr || t->count < 0) return -1;
  try {
    buf->resize(static_cast<std::size_t>(std::max(t->count, 1)));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (t->count > 0 && ctreeGetElems(buf->data(), t->count, t->block) != 1) return -1;
  return t->count;
}

int childCount(int node) {
  const ContourTreeNode* t = ctreeNodeAt(node);
  return t != nullptr ? t->childCount : 0;
}
int parentCount(int node) {
  const ContourTreeNode* t = ctreeNodeAt(node);
  return t != nullptr ? t->parentCount : 0;
}

bool startMatched() { return pockEngine().ctreeStartMatch.found != 0; }

// Completes a pending ramp plunge.
void finishPending() { pockFinishPending(); }

// The new-start flag of the output: the next element begins a new cut.
void liftTool() {
  pockOutput().pockNewStart = 1;
  finishPending();
}

bool samePos(const LinkRef& p, const LinkRef& q) {
  return p.element == q.element && contSamePoint(p.point, q.point) != 0;
}

// A resolved position at the end of its element moved to the start of the next one (the last
// element's end to element 1).
LinkRef normalise(const LinkRef& ref, const ContourElement* ring, int n) {
  LinkRef r = ref;
  if (r.element < 1 || r.element > n) return r;
  const Point2D end = contElemEnd(ring[r.element - 1]);
  if (contSamePoint(r.point, end) != 0) {
    r.element = r.element == n ? 1 : r.element + 1;
    r.point = contElemStart(ring[r.element - 1]);
  }
  return r;
}

// The position moved exactly onto its element (an arc's circle, a line's carrier): the searches
// give points within their tolerance of an element, and an arc cut from a point off its circle
// would end off the circle it is written with.
LinkRef snapToRing(const LinkRef& ref, const ContourElement* ring, int n) {
  LinkRef r = ref;
  if (r.element < 1 || r.element > n) return r;
  const ContourElement& e = ring[r.element - 1];
  if (e.type == kContArc) {
    const double dx = r.point.x - e.p0;
    const double dy = r.point.y - e.p1;
    const double d = std::hypot(dx, dy);
    if (d > 0.0) r.point = Point2D{e.p0 + e.radius * dx / d, e.p1 + e.radius * dy / d};
  } else if (e.type == kContLine) {
    const double ux = e.p2 - e.p0;
    const double uy = e.p3 - e.p1;
    const double l2 = ux * ux + uy * uy;
    if (l2 > 0.0) {
      const double t = ((r.point.x - e.p0) * ux + (r.point.y - e.p1) * uy) / l2;
      r.point = Point2D{e.p0 + t * ux, e.p1 + t * uy};
    }
  }
  return r;
}

bool ringIsOpen(const ContourElement* ring, int n) {
  if (n <= 0) return false;
  return contDistance(contElemStart(ring[0]), contElemEnd(ring[n - 1])) > kSamePoint;
}

// The unit direction of the ring at the position: arriving there (incoming 1) or leaving it.
Point2D ringDirectionAt(const ContourElement* ring, int n, const LinkRef& ref, int incoming) {
  LinkRef r{};
  linkResolveEndpoint(ref, ring, n, &r);
  Point2D dir{1.0, 0.0};
  if (r.element < 1 || r.element > n) return dir;
  IntersectionRecord rec{};
  rec.x = r.point.x;
  rec.y = r.point.y;
  rec.elemA = r.element;
  rec.elemB = r.element;
  rec.state = 1;
  isectElemTangentAt(ring, n, rec, incoming, &dir);
  return dir;
}

// Adds a candidate unless the search failed.
void addCandidate(std::vector<Candidate>* c, int node, const LinkRef& exit, const LinkRef& entry) {
  c->push_back(Candidate{node, exit, entry});
}

// Index of the candidate (among those from index first on) whose exit comes first along ring A.
int pickAmong(const std::vector<Candidate>& c, std::size_t first, const LinkWalkState& w,
              const LinkRef& origin) {
  std::vector<LinkRef> exits;
  for (std::size_t i = first; i < c.size(); ++i) exits.push_back(c[i].exit);
  return static_cast<int>(first) +
         linkPickFirst(w.ringA.data(), w.na, origin, exits.data(), static_cast<int>(exits.size()));
}

// Takes candidate k: next node, exit, entry, and the node's ring in ring B. Returns 0; -2 when the
// ring cannot be read.
int takeCandidate(const Candidate& k, LinkWalkState* w) {
  w->nextNode = k.node;
  w->exitA = k.exit;
  w->entryB = k.entry;
  w->nb = readRing(k.node, &w->ringB);
  return w->nb < 0 ? -2 : 0;
}

// The move back to the entry on top of the stack.
int goBack(const LinkStackEntry& e, const LinkStackEntry& top, LinkWalkState* w) {
  w->exitA = e.to;
  w->nextNode = top.node;
  w->entryB = top.from;
  w->nb = readRing(top.node, &w->ringB);
  return w->nb < 0 ? -2 : kLinkMoveBack;
}

// The connection from ring A to the reserved class-1 child t: forward from the entry's from when a
// is done, else from its to, within x and then 2x.
int reachReserved(const LinkStackEntry& e, int t, double x, LinkWalkState* w) {
  w->nb = readRing(t, &w->ringB);
  if (w->nb < 0) return -2;
  const LinkRef from = ctreeState(e.node) == kCtreeDone ? e.from : e.to;
  // Beyond twice the step the enclosing ring is still entered where it is nearest (the connecting
  // move then lifts): giving up here would leave every ring of the tree uncut.
  const double nearest =
      linkContoursMinDistance(w->ringA.data(), w->na, w->ringB.data(), w->nb) + kLinkMargin;
  for (double reach : {x, 2.0 * x, nearest}) {
    if (linkSearchForward(w->ringA.data(), w->na, w->ringB.data(), w->nb, from, startRef(), reach,
                          &w->exitA, &w->entryB) == 1) {
      w->nextNode = t;
      return kLinkMoveOutward;
    }
  }
  return -2;
}

using WalkFn = int (*)(const LinkStackEntry&, double, LinkWalkState*);

// Whether the host asked to stop at once.
bool stopRequested() {
  const CycleRecord* c = ccpCurrent();
  return c != nullptr && c->signal == kCycSignalStopNow;
}

// The linking loop shared by both linkers.
int linkRun(int startNode, double step, int flag, WalkFn walk, bool allowWhole) {
  pockStackClear();
  if (linkTablesCreate() != 1) {
    linkTablesFree();
    return -1;
  }
  const int nodes = ctreeNodeCount();
  if (startNode < 0 || startNode >= nodes) {
    linkTablesFree();
    pockMessage(kLinkCodeBadStart);
    return -1;
  }
  PockEngine& eng = pockEngine();
  PockOutputState& out = pockOutput();
  LinkStackEntry first{startNode, startRef(), LinkRef{-1, {0.0, 0.0}}};
  const CtreeStartMatch& m = eng.ctreeStartMatch;
  if (m.found != 0 && m.node >= 0 && m.node < nodes) {
    first.node = m.node;
    first.from = LinkRef{m.element, m.foot};
    first.to = first.from;
    // The line from the start point is not part of the collected (reversed) output.
    out.linkSkip = out.pockCollecting != 0 ? 1 : 0;
    pockEmitLine(eng.pockStartPoint, m.foot);
    out.linkSkip = 0;
  }
  pockStackPush(&first);
  linkerState.settled = 0;
  int move = kLinkMoveOutward;
  LinkWalkState w;
  // Every node is entered as a whole loop once and re-entered for each piece left behind; this
  // bounds the steps of any walk that ends.
  const long guard = 4L * nodes + 400;
  long steps = 0;
  LinkStackEntry e{};
  while (pockStackPop(&e) == 1) {
    if (++steps > guard || stopRequested()) {
      if (steps > guard) pockMessage(kLinkCodeWalkFailed);
      break;
    }
    if (move == kLinkMoveFinish) {
      finishPending();
      out.pockNewStart = 1;
    }
    move = walk(e, step, &w);
    if (move < 0) {
      pockMessage(kLinkCodeWalkFailed);
      break;
    }
    if (allowWhole && flag != 0 && move == kLinkMoveInward) move = kLinkMoveWhole;
    linkEmitStep(e, move, &w, step);
  }
  pockStackClear();
  linkTablesFree();
  return 1;
}

}  // namespace

// ---- positions ----------------------------------------------------------------------------------

int linkRefCompare(int, const LinkRef& p0, const LinkRef& q0, const ContourElement* ring, int n,
                   const LinkRef& origin) {
  if (p0.element == q0.element && (p0.element <= 0 || contSamePoint(p0.point, q0.point) != 0)) {
    return 0;
  }
  LinkRef p{};
  LinkRef q{};
  LinkRef o{};
  linkResolveEndpoint(p0, ring, n, &p);
  linkResolveEndpoint(q0, ring, n, &q);
  linkResolveEndpoint(origin, ring, n, &o);
  if (pockEngine().pockStrategyStockOutin == 0 || !ringIsOpen(ring, n)) {
    p = normalise(p, ring, n);
    q = normalise(q, ring, n);
    o = normalise(o, ring, n);
  }
  if (samePos(p, q)) return 0;
  if (samePos(p, o)) return -1;
  if (samePos(q, o)) return 1;
  if (p.element < 1 || p.element > n || q.element < 1 || q.element > n) return 1;
  const ContourElement& oe = ring[(o.element >= 1 && o.element <= n ? o.element : 1) - 1];
  // A position on the origin's element counts as on it only at or after the origin.
  const bool pOn = p.element == o.element && linkElemOrder(oe, o.point, p.point) >= 0;
  const bool qOn = q.element == o.element && linkElemOrder(oe, o.point, q.point) >= 0;
  if (pOn && !qOn) return 1;
  if (qOn && !pOn) return -1;
  if (p.element == q.element) {
    return linkElemOrder(ring[p.element - 1], p.point, q.point) >= 0 ? 1 : -1;
  }
  const int up = p.element <= o.element ? p.element + n : p.element;
  const int uq = q.element <= o.element ? q.element + n : q.element;
  return up < uq ? 1 : -1;
}

int linkPickFirst(const ContourElement* ring, int n, const LinkRef& origin, const LinkRef* refs,
                  int count) {
  if (count <= 1) return 0;
  int choice = 0;
  for (int i = 0; i < count; ++i) {
    if (refs[i].element != -2) {
      choice = i;
      break;
    }
  }
  for (int i = choice + 1; i < count; ++i) {
    if (refs[i].element == -2) continue;
    if (linkRefCompare(2, refs[choice], refs[i], ring, n, origin) < 0) choice = i;
  }
  return choice;
}

LinkRef linkRefReversed(const LinkRef& ref, int n) {
  LinkRef r = ref;
  if (ref.element == 0) {
    r.element = -1;
  } else if (ref.element == -1) {
    r.element = 0;
  } else if (ref.element >= 1 && ref.element <= n) {
    r.element = n - ref.element + 1;
  }
  return r;
}

// ---- tree tests ---------------------------------------------------------------------------------

int linkRingFinished(const LinkStackEntry& e, const LinkRef& exitA, const ContourElement* ring,
                     int n) {
  if (ctreeState(e.node) == kCtreeDone) return 1;
  return linkRefCompare(2, exitA, e.to, ring, n, e.from) != 1 ? 1 : 0;
}

int linkParentsDone(int node, int except) {
  if (except >= 0 && !startMatched()) return 1;
  const int n = parentCount(node);
  for (int k = 1; k <= n; ++k) {
    const int q = ctreeParentAt(node, k);
    if (q != except && ctreeState(q) == kCtreeOpen) return 0;
  }
  return 1;
}

namespace {
// A node, all its parents and all its children done.
bool neighbourhoodDone(int node) {
  if (ctreeState(node) != kCtreeDone) return false;
  for (int k = 1; k <= parentCount(node); ++k) {
    if (ctreeState(ctreeParentAt(node, k)) != kCtreeDone) return false;
  }
  for (int k = 1; k <= childCount(node); ++k) {
    if (ctreeState(ctreeChildAt(node, k)) != kCtreeDone) return false;
  }
  return true;
}
}  // namespace

int linkStackDone(int next) {
  if (linkerState.settled != 0) return 1;
  const int top = pockStackTop();
  if (top < 0) return 0;
  if (!neighbourhoodDone(next)) return 0;
  for (int i = top; i >= 0; --i) {
    LinkStackEntry s{};
    if (pockStackAt(i, &s) != 1 || !neighbourhoodDone(s.node)) return 0;
  }
  linkerState.settled = 1;
  return 1;
}

int linkChildReachable(int c, int a, int flag) {
  const int t = ctreeChildOfClass1(a);
  if (flag == 0 && c == t) return 0;
  for (int k = 1; k <= parentCount(c); ++k) {
    const int q = ctreeParentAt(c, k);
    if (q == a || childCount(q) == 1) continue;
    bool leadsOut = false;
    for (int j = 1; j <= childCount(q) && !leadsOut; ++j) {
      const int s = ctreeChildAt(q, j);
      leadsOut = (t >= 0 && s == t) || childCount(s) > 0;
    }
    if (leadsOut && ctreeState(q) == kCtreeOpen) return 0;
  }
  return 1;
}

int linkChildPending(const int* candidates, int count, int a) {
  const int t = ctreeChildOfClass1(a);
  for (int i = 0; i < count; ++i) {
    const int c = candidates[i];
    if (c == t) continue;
    if (parentCount(c) == 0) return 1;
    bool allDone = true;
    for (int k = 1; k <= parentCount(c); ++k) {
      const int q = ctreeParentAt(c, k);
      if (q == a || childCount(q) == 1) continue;
      if (ctreeChildOfClass1(q) < 0 && ctreeState(q) == kCtreeOpen) return 1;
      if (ctreeState(q) != kCtreeDone) allDone = false;
    }
    if (allDone) return 1;
  }
  return 0;
}

int linkNodeAllMarked(int node) {
  std::vector<ContourElement> ring;
  const int n = readRing(node, &ring);
  if (n <= 0) return 0;
  for (int i = 0; i < n; ++i) {
    if (ring[static_cast<std::size_t>(i)].tag != kContTagOpen) return 0;
  }
  return 1;
}

int linkCircleClear(double radius, const Point2D& centre, const char* layer) {
  const ContourElement circle = contMakeArc(centre.x, centre.y, centre.x + radius, centre.y,
                                            centre.x + radius, centre.y, radius, 1, 0);
  std::vector<ContourElement> buf;
  const int n = layerCount(layer);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(layer, &h, i) != i || h.count <= 0) continue;
    buf.resize(static_cast<std::size_t>(h.count));
    if (layerGetContour(layer, buf.data(), h.count, &h, i) != i) continue;
    if (isectCircleHitsContour(circle, buf.data(), h.count) > 0) return 0;
  }
  return 1;
}

int linkRelateTree(double radius, double maxDist) {
  const int nodes = ctreeNodeCount();
  if (nodes <= 1) return 1;
  std::vector<ContourElement> a;
  std::vector<ContourElement> b;
  for (int i = 1; i < nodes; ++i) {
    if (childCount(i) != 0 || parentCount(i) != 0) continue;
    const int na = readRing(i, &a);
    if (na <= 0) continue;
    for (int j = 0; j < nodes; ++j) {
      if (j == i || parentCount(j) == 0) continue;
      const int nb = readRing(j, &b);
      if (nb <= 0) continue;
      Point2D pa{};
      Point2D pb{};
      const double d = linkContoursNearest(a.data(), na, b.data(), nb, &pa, &pb);
      const Point2D mid{(pa.x + pb.x) / 2.0, (pa.y + pb.y) / 2.0};
      if (d < maxDist && linkCircleClear(radius, mid, "INPUT") == 1) ctreeRelate(i, j);
    }
  }
  return 1;
}

// ---- searches -----------------------------------------------------------------------------------

int linkSearchBackward(const ContourElement* ringA, int nA, const ContourElement* ringB, int nB,
                       const LinkStackEntry& entry, const LinkRef& entryRef, double reach,
                       LinkRef* exitOut, LinkRef* entryOut) {
  if (nA <= 0) return 0;
  std::vector<ContourElement> rev;
  try {
    rev.assign(ringA, ringA + nA);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  contReverse(rev.data(), nA);
  // Walking backward from the entry's to position is walking forward on the reversed copy from it.
  const LinkRef from = linkRefReversed(entry.to, nA);
  LinkRef exit{};
  if (linkSearchForward(rev.data(), nA, ringB, nB, from, entryRef, reach, &exit, entryOut) != 1) {
    return 0;
  }
  *exitOut = linkRefReversed(exit, nA);
  return 1;
}

// ---- walks --------------------------------------------------------------------------------------

int linkWalkSpiral(const LinkStackEntry& e, double x, LinkWalkState* w) {
  const int a = e.node;
  w->na = readRing(a, &w->ringA);
  if (w->na < 0) return -2;
  std::vector<Candidate> cands;
  std::vector<ContourElement> b;
  // Inward first: a later parent must be reachable with a shorter walk along A.
  double best = kBestStart;
  double reach = x;
  for (int k = 1; k <= parentCount(a); ++k) {
    const int p = ctreeParentAt(a, k);
    if (ctreeState(p) != kCtreeOpen) continue;
    const int nb = readRing(p, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    int r = linkSearchBounded(w->ringA.data(), w->na, b.data(), nb, e.from, startRef(), reach,
                              &best, &exit, &entry);
    if (r <= 0) {
      reach = linkContoursMinDistance(w->ringA.data(), w->na, b.data(), nb);
      r = linkSearchBounded(w->ringA.data(), w->na, b.data(), nb, e.from, startRef(), reach, &best,
                            &exit, &entry);
    }
    if (r == 1) addCandidate(&cands, p, exit, entry);
  }
  if (!cands.empty()) {
    const int k = pickAmong(cands, 0, *w, e.from);
    return takeCandidate(cands[static_cast<std::size_t>(k)], w) < 0 ? -2 : kLinkMoveInward;
  }
  // Outward: the class-1 child is reserved without a computed connection.
  const int t = ctreeChildOfClass1(a);
  const bool reserved = t >= 0 && ctreeState(t) == kCtreeOpen;
  const bool stock = pockEngine().pockStockMode != 0;
  for (int k = 1; k <= childCount(a); ++k) {
    const int c = ctreeChildAt(a, k);
    if (c == t) continue;
    if (!stock && linkChildReachable(c, a, 1) == 0) continue;
    if (ctreeState(c) != kCtreeOpen) continue;
    const int nb = readRing(c, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    int r =
        linkSearchBranch(w->ringA.data(), w->na, b.data(), nb, c, e, startRef(), x, &exit, &entry);
    if (r != 1) {
      const double m = linkContoursMinDistance(w->ringA.data(), w->na, b.data(), nb);
      r = linkSearchBranch(w->ringA.data(), w->na, b.data(), nb, c, e, startRef(), m, &exit,
                           &entry);
    }
    if (r == 1) addCandidate(&cands, c, exit, entry);
  }
  const std::size_t count = cands.size() + (reserved ? 1 : 0);
  LinkStackEntry top{};
  if (pockStackPeek(&top) == 1) {
    std::vector<int> nodes;
    if (reserved) nodes.push_back(t);
    for (const Candidate& c : cands) nodes.push_back(c.node);
    const bool tFits = t < 0 || t == top.node || ctreeMinLeaf(a) == 0;
    const bool noMatch = !startMatched() || count == 0 || t < 0 || linkChildReachable(t, a, 1) == 0;
    if (linkChildPending(nodes.data(), static_cast<int>(nodes.size()), a) == 0 && tFits &&
        noMatch) {
      return goBack(e, top, w);
    }
  }
  if (count == 0) return kLinkMoveFinish;
  if (cands.empty()) return reachReserved(e, t, x, w);
  const int k = pickAmong(cands, 0, *w, e.from);
  return takeCandidate(cands[static_cast<std::size_t>(k)], w) < 0 ? -2 : kLinkMoveOutward;
}

int linkWalkDirect(const LinkStackEntry& e, double x, LinkWalkState* w) {
  const int a = e.node;
  w->na = readRing(a, &w->ringA);
  if (w->na < 0) return -2;
  std::vector<Candidate> cands;
  std::vector<ContourElement> b;
  double reach = x;
  for (int k = 1; k <= parentCount(a); ++k) {
    const int p = ctreeParentAt(a, k);
    if (ctreeState(p) != kCtreeOpen) continue;
    const int nb = readRing(p, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    int r = linkSearchBackward(w->ringA.data(), w->na, b.data(), nb, e, startRef(), reach, &exit,
                               &entry);
    if (r != 1) {
      reach = linkContoursMinDistance(w->ringA.data(), w->na, b.data(), nb);
      r = linkSearchBackward(w->ringA.data(), w->na, b.data(), nb, e, startRef(), reach, &exit,
                             &entry);
    }
    if (r == 1) addCandidate(&cands, p, exit, entry);
  }
  if (!cands.empty()) {
    const int k = pickAmong(cands, 0, *w, e.from);
    return takeCandidate(cands[static_cast<std::size_t>(k)], w) < 0 ? -2 : kLinkMoveInward;
  }
  const int t = ctreeChildOfClass1(a);
  const bool reserved = t >= 0 && ctreeState(t) == kCtreeOpen;
  const bool stock = pockEngine().pockStockMode != 0;
  int blocked = 0;
  for (int k = 1; k <= childCount(a); ++k) {
    const int c = ctreeChildAt(a, k);
    if (c == t) continue;
    if (!stock && linkChildReachable(c, a, 0) == 0) continue;
    if (ctreeState(c) != kCtreeDone) blocked = stock ? 0 : 1;
    if (ctreeState(c) != kCtreeOpen) continue;
    const int nb = readRing(c, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    if (linkSearchForward(w->ringA.data(), w->na, b.data(), nb, e.from, startRef(), x, &exit,
                          &entry) == 1) {
      addCandidate(&cands, c, exit, entry);
    }
  }
  LinkStackEntry top{};
  if (pockStackPeek(&top) == 1 && blocked == 0) {
    std::vector<int> nodes;
    if (reserved) nodes.push_back(t);
    for (const Candidate& c : cands) nodes.push_back(c.node);
    const bool stays = t >= 0 && t != top.node && ctreeMinLeaf(a) != 0;
    if (linkChildPending(nodes.data(), static_cast<int>(nodes.size()), a) == 0 && !stays) {
      return goBack(e, top, w);
    }
  }
  if (cands.empty() && !reserved) return kLinkMoveFinish;
  if (cands.empty()) return reachReserved(e, t, x, w);
  const int k = pickAmong(cands, 0, *w, e.from);
  return takeCandidate(cands[static_cast<std::size_t>(k)], w) < 0 ? -2 : kLinkMoveOutward;
}

int linkWalkOutsideIn(const LinkStackEntry& e, double x, LinkWalkState* w) {
  const int a = e.node;
  w->na = readRing(a, &w->ringA);
  if (w->na < 0) return -2;
  std::vector<Candidate> cands;
  std::vector<ContourElement> b;
  const bool stock = pockEngine().pockStockMode != 0;
  int deferred = -1;
  for (int k = 1; k <= childCount(a); ++k) {
    const int c = ctreeChildAt(a, k);
    if (linkNodeAllMarked(c) != 0) continue;
    if (!stock && linkChildReachable(c, a, 1) == 0) {
      deferred = c;
      continue;
    }
    if (ctreeState(c) != kCtreeOpen) continue;
    const int nb = readRing(c, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    for (double reach : {x, 1.2 * x}) {
      if (linkSearchBranch(w->ringA.data(), w->na, b.data(), nb, c, e, startRef(), reach, &exit,
                           &entry) == 1) {
        addCandidate(&cands, c, exit, entry);
        break;
      }
    }
  }
  const std::size_t children = cands.size();
  for (int k = 1; k <= parentCount(a); ++k) {
    const int p = ctreeParentAt(a, k);
    if (ctreeState(p) != kCtreeOpen) continue;
    const int nb = readRing(p, &b);
    if (nb < 0) return -2;
    LinkRef exit{};
    LinkRef entry{};
    int r =
        linkSearchBackward(w->ringA.data(), w->na, b.data(), nb, e, startRef(), x, &exit, &entry);
    if (r != 1) {
      const double m = linkContoursMinDistance(w->ringA.data(), w->na, b.data(), nb);
      const double limit = a == 0 ? 1.5 * x : 2.0 * x;
      if (m < limit) {
        r = linkSearchBackward(w->ringA.data(), w->na, b.data(), nb, e, startRef(), m + 0.1, &exit,
                               &entry);
      }
    }
    if (r == 1) addCandidate(&cands, p, exit, entry);
  }
  if (cands.empty()) {
    const int t = ctreeChildOfClass1(a);
    LinkStackEntry top{};
    const bool stacked = pockStackPeek(&top) == 1;
    if (stacked && !(t >= 0 && t != top.node && ctreeMinLeaf(a) != 0)) return goBack(e, top, w);
    // The deferred child is taken once nothing else is left; it must still be open.
    if (deferred >= 0 && !stacked && ctreeState(deferred) == kCtreeOpen) {
      w->nb = readRing(deferred, &w->ringB);
      if (w->nb < 0) return -2;
      if (linkSearchBranch(w->ringA.data(), w->na, w->ringB.data(), w->nb, deferred, e, startRef(),
                           x, &w->exitA, &w->entryB) == 1) {
        w->nextNode = deferred;
        return kLinkMoveOutward;
      }
    }
    return kLinkMoveFinish;
  }
  const int k = pickAmong(cands, 0, *w, e.from);
  if (takeCandidate(cands[static_cast<std::size_t>(k)], w) < 0) return -2;
  return static_cast<std::size_t>(k) < children ? kLinkMoveOutward : kLinkMoveInward;
}

// ---- emission -----------------------------------------------------------------------------------

int linkEmitElement(const ContourElement& element) {
  const PockEngine& eng = pockEngine();
  if (element.tag < 0 && eng.pockStockMovement != 0 &&
      (eng.pockStockMode != 0 || eng.paramPocketContour != 0)) {
    liftTool();
    return 0;
  }
  if (element.type == kContArc) {
    // An arc is written by its end and centre from the position before it. The output drops an
    // arc too short to write, which would leave the next arc starting off its circle: a short
    // arc that turns little goes out as the line between its ends.
    ContourElement shortArc = element;
    isectShortArcsToLines(&shortArc, 1);
    if (shortArc.type == kContLine) {
      pockEmitElement(shortArc);
      return 1;
    }
    // Both ends must lie on its circle. Rings merged from several offsets can carry arcs whose
    // ends lie at slightly different distances from the centre; such an arc is re-centred on its
    // chord.
    const double rs = contDistance(contArcCentre(element), contArcStart(element));
    const double re = contDistance(contArcCentre(element), contArcEnd(element));
    if (std::fabs(rs - re) > 1e-7) {
      ContourElement fixed = element;
      fixed.radius = (rs + re) / 2.0;
      contArcCentreFromEnds(&fixed);
      pockEmitElement(fixed);
      return 1;
    }
  }
  pockEmitElement(element);
  return 1;
}

int linkEmitPiece(const LinkStackEntry& e, const ContourElement* ring, int n) {
  if (n <= 0) return 0;
  LinkRef a{};
  LinkRef b{};
  linkResolveEndpoint(e.from, ring, n, &a);
  linkResolveEndpoint(e.to, ring, n, &b);
  if (a.element < 1 || a.element > n || b.element < 1 || b.element > n) return 0;
  a = snapToRing(a, ring, n);
  b = snapToRing(b, ring, n);
  const bool whole = contSamePoint(a.point, b.point) != 0 &&
                     (a.element == b.element ||
                      contSamePoint(normalise(a, ring, n).point, normalise(b, ring, n).point) != 0);
  if (whole && ctreeState(e.node) == kCtreeDone) return 0;
  if (whole && pockEngine().pockStrategyStockOutin != 0) {
    bool all = true;
    for (int i = 0; i < n && all; ++i) all = ring[i].tag == kContTagOpen;
    if (all) {
      ctreeSetState(e.node, kCtreeDone);
      return 0;
    }
  }
  int f = a.element - 1;
  if (contSamePoint(a.point, contElemEnd(ring[f])) != 0) f = f + 1 == n ? 0 : f + 1;
  int l = b.element - 1;
  if (contSamePoint(b.point, contElemStart(ring[l])) != 0) l = l == 0 ? n - 1 : l - 1;
  pockPositionAt(a.point);
  int sent = 0;
  ContourElement first = ring[f];
  contElemSetEndpoint(&first, a.point, 1);
  if (!whole && f == l && contPointOnElem(b.point, first) != 0 &&
      linkElemOrder(ring[f], a.point, b.point) >= 0) {
    contElemSetEndpoint(&first, b.point, 2);
    restStoreLinkElem(first, 1);
    return linkEmitElement(first);
  }
  restStoreLinkElem(first, 1);
  sent += linkEmitElement(first);
  auto middle = [&](int i) {
    restStoreLinkElem(ring[i], 0);
    sent += linkEmitElement(ring[i]);
  };
  auto last = [&](int i) {
    ContourElement tail = ring[i];
    contElemSetEndpoint(&tail, b.point, 2);
    sent += linkEmitElement(tail);
  };
  if (f < l) {
    for (int i = f + 1; i < l; ++i) middle(i);
    last(l);
  } else {
    for (int i = f + 1; i < n; ++i) middle(i);
    if (contIsClosed(ring, n) != 0) {
      for (int i = 0; i < l; ++i) middle(i);
      last(l);
    }
  }
  return sent;
}

int linkConnectLine(const Point2D& a, const Point2D& b, double x) {
  PockOutputState& out = pockOutput();
  if (out.pockNewStart != 0) return 0;
  const double d = contDistance(a, b);
  const ContourElement line = contMakeLine(a.x, a.y, b.x, b.y, 0);
  if (d > 2.0 * x + pockEngine().contTol || (d > 0.5 * x && linkLineClear(line) == 0)) {
    liftTool();
    return 0;
  }
  pockEmitElement(line);
  return 1;
}

int linkConnectArc(const Point2D& a, const Point2D& dirA, const Point2D& b, const Point2D& dirB,
                   double r, double x) {
  if (pockOutput().pockNewStart != 0) return 0;
  if (contDistance(a, b) > 2.0 * x + pockEngine().contTol) {
    liftTool();
    return 0;
  }
  ContourElement link[3];
  const int n = isectTangentLink(a, dirA, b, dirB, r, link);
  // A link that is one straight line gets the clearance test of every straight link.
  if (n <= 1) return linkConnectLine(a, b, x);
  for (int i = 0; i < n; ++i) pockEmitElement(link[i]);
  return 1;
}

int linkLineClear(const ContourElement& line) {
  std::vector<ContourElement> buf;
  IntersectionRecord records[4];
  const int n = layerCount("INPUT");
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) != i || h.count <= 0) continue;
    buf.resize(static_cast<std::size_t>(h.count));
    if (layerGetContour("INPUT", buf.data(), h.count, &h, i) != i) continue;
    if (isectContours(&line, 1, buf.data(), h.count, records, 3) > 1) return 0;
  }
  return 1;
}

int linkEmitStep(const LinkStackEntry& e, int move, LinkWalkState* w, double x) {
  const ContourElement* ringA = w->ringA.data();
  const int na = w->na;
  const int a = e.node;
  const PockEngine& eng = pockEngine();
  if (move == kLinkMoveFinish) {
    linkEmitPiece(e, ringA, na);
    ctreeSetState(a, kCtreeDone);
    return 1;
  }
  const LinkRef xa = snapToRing(w->exitA, ringA, na);
  w->entryB = snapToRing(w->entryB, w->ringB.data(), w->nb);
  const int b = w->nextNode;
  const LinkStackEntry s{a, e.from, xa};
  int g = linkRefCompare(2, s.from, xa, ringA, na, e.from);
  if (g == 0 && eng.pockDirectLinking != 0) g = 1;
  int cut = 0;
  bool pushBack = true;
  if (!(move == kLinkMoveInward && g == 0)) {
    if (move == kLinkMoveWhole && g != 0) cut += linkEmitPiece(e, ringA, na);
    cut += linkEmitPiece(s, ringA, na);
    if (eng.paramForceInside != 0 && a == 0) pockWriteEnd(0);
    int h = linkRingFinished(e, xa, ringA, na);
    if (eng.pockStrategyStockOutin != 0) {
      LinkRef to{};
      linkResolveEndpoint(e.to, ringA, na, &to);
      if (contSamePoint(to.point, xa.point) != 0) h = 1;
    }
    if (h == 0) {
      if (b == ctreeChildOfClass1(a) && linkParentsDone(a, -1) != 0) {
        cut += linkEmitPiece(LinkStackEntry{a, xa, xa}, ringA, na);
        pushBack = false;
      }
    } else {
      ctreeSetState(a, kCtreeDone);
      if (childCount(a) > 0) {
        if (b == ctreeChildOfClass1(a) || move == kLinkMoveBack) pushBack = false;
      } else if (linkParentsDone(a, b) != 0) {
        pushBack = false;
      }
    }
  }
  if (move == kLinkMoveWhole) {
    ctreeSetState(a, kCtreeDone);
    pushBack = false;
  }
  if (pushBack && !(cut == 0 && ctreeState(a) == kCtreeDone)) {
    const LinkStackEntry rest{a, xa, e.to};
    pockStackPush(&rest);
    linkerState.settled = 0;
  }
  // The connecting move from the exit on A to the entry on B.
  const bool quiet =
      eng.pockStockMode != 0 ||
      (move == kLinkMoveBack && (eng.pockStrategyStockOutin != 0 || eng.pockDirectLinking != 0));
  if (!(quiet && linkStackDone(b) == 1)) {
    LinkRef p{};
    LinkRef q{};
    linkResolveEndpoint(xa, ringA, na, &p);
    linkResolveEndpoint(w->entryB, w->ringB.data(), w->nb, &q);
    pockWriteInfeed(1);
    const double radius = eng.pockInfeedRadius;
    if (contDistance(p.point, q.point) < kSamePoint || std::fabs(radius) <= kSamePoint) {
      linkConnectLine(p.point, q.point, x);
    } else {
      const Point2D dp = ringDirectionAt(ringA, na, p, 1);
      const Point2D dq = ringDirectionAt(w->ringB.data(), w->nb, q, move == kLinkMoveBack ? 1 : 0);
      linkConnectArc(p.point, dp, q.point, dq, radius, x);
    }
    pockWriteInfeed(0);
  }
  if (move != kLinkMoveBack) {
    const LinkStackEntry next{b, w->entryB, w->entryB};
    pockStackPush(&next);
    linkerState.settled = 0;
  }
  return 1;
}

// ---- linkers ------------------------------------------------------------------------------------

int linkRingsSpiral(int startNode, double step, int flag) {
  return linkRun(startNode, step, flag, linkWalkSpiral, true);
}

int linkRingsDirect(int startNode, double step, int flag) {
  return linkRun(startNode, step, flag, flag != 0 ? linkWalkOutsideIn : linkWalkDirect, false);
}

// ---- rest store ---------------------------------------------------------------------------------

void restStoreLinkElem(const ContourElement& element, int both) {
  linkerState.rest[0] = element;
  if (both == 1) linkerState.rest[1] = element;
}

ContourElement restLinkElem(int slot) { return linkerState.rest[slot == 1 ? 1 : 0]; }

void ringLinkerResetState() { linkerState = LinkerState{}; }
