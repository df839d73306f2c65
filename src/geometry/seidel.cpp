// seidel.cpp - Seidel's randomized triangulation of a simple polygon with holes: the segments go
// in random order into a trapezoidal decomposition with its point-location structure, every
// trapezoid inside gets the diagonal between its top and bottom vertex when they do not share a
// side, the faces of edges and diagonals are monotone pieces, and each piece is cut into triangles
// along its two chains.
//
// Every table is bounds-checked and the entry catches whatever goes wrong inside, so a bad polygon
// ends as the ordinary failure result and never as a stray write, a crash or a hang.
#include "geometry/seidel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <source_location>
#include <utility>
#include <vector>

#include "geometry/geo_error.h"

namespace {
constexpr double kEps = 1e-12;  // points closer than this in x and in y are one point
constexpr const char* kSource = "tripoly2";
constexpr int kSeiTableFull = -27;  // a table of the decomposition is full
constexpr int kSeiCrossing = -41;   // two contours cross or touch
constexpr int kTopInf = -1;     // the point above everything: the top of the unbounded trapezoid
constexpr int kBottomInf = -2;  // the point below everything
constexpr unsigned int kAccessFault = 0xC0000005u;

enum : int { kNodeX = 1, kNodeY = 2, kNodeSink = 3 };
enum : int { kTrapValid = 1, kTrapMerged = 2 };

// A table access outside its room; the entry logs it as an access fault.
struct SeiRangeFault {
  const void* table;
};
// A failure found by a check; its code is already in the error record.
struct SeiFailure {
  int code;
};

// A table whose every access is checked against its room.
template <typename T>
class SeiTable {
 public:
  void allocate(std::size_t n) { data_.assign(n, T{}); }
  void release() { std::vector<T>().swap(data_); }
  void clear() { std::fill(data_.begin(), data_.end(), T{}); }
  int size() const { return static_cast<int>(data_.size()); }
  T& operator[](int i) {
    if (i < 0 || static_cast<std::size_t>(i) >= data_.size()) throw SeiRangeFault{data_.data()};
    return data_[static_cast<std::size_t>(i)];
  }

 private:
  std::vector<T> data_;
};

// Query node: an x-node tests the side of segment `key`, a y-node compares with point `key`
// (left = below, right = above), a sink stands for trapezoid `trap`.
struct SeiNode {
  int kind;
  int key;
  int trap;
  int left;
  int right;
  int parent;
};

// Trapezoid between segments lseg and rseg (0 = unbounded side), from point hi down to point lo,
// with up to two neighbours above (u0 left of u1) and below (d0 left of d1).
struct SeiTrap {
  int lseg;
  int rseg;
  int hi;
  int lo;
  int u0, u1;
  int d0, d1;
  int sink;
  int state;
};

// Polygon edge from point v0 to point v1 (the contour's direction); up and dn are the same two
// points in the point order; root0 and root1 are where the location of v0 and v1 starts.
struct SeiSeg {
  int v0, v1;
  int up, dn;
  int next, prev;
  int root0, root1;
  int inserted;
};

struct SeiDiag {
  int a, b;
};

struct SeidelState {
  int capacity = 0;
  int triangleLimit = 0;
  std::uint64_t random = 1;
  int failCode = 0;
  int failAllocAt = 0;
  int allocCount = 0;
  SeiTable<SeiNode> nodes;   // 8 S
  SeiTable<SeiTrap> traps;   // 4 S
  SeiTable<SeiSeg> segs;     // S
  SeiTable<Point2D> points;  // S
  SeiTable<int> order;       // S, the random insertion order
  SeiTable<SeiDiag> diags;   // 4 S, one per trapezoid at most
  SeiTable<int> heFrom;      // 6 S half-edges: the edges both ways, diagonals both ways
  SeiTable<int> heTo;
  SeiTable<int> heRing;             // half-edges grouped by their start, counter-clockwise
  SeiTable<int> hePos;              // position of each half-edge in heRing
  SeiTable<int> ringStart;          // S + 2
  SeiTable<unsigned char> visited;  // 6 S
  int nodeCount = 0;
  int trapCount = 0;
  int pointCount = 0;
};
SeidelState seiState;

[[noreturn]] void seiFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, kSource, static_cast<int>(at.line()));
  throw SeiFailure{code};
}

// Every allocation passes here, so a test can make the n-th one fail.
void seiCountAllocation() {
  if (seiState.failAllocAt > 0 && ++seiState.allocCount == seiState.failAllocAt) {
    throw std::bad_alloc();
  }
}
template <typename V>
void seiScratch(V& v, std::size_t n) {
  seiCountAllocation();
  v.assign(n, typename V::value_type{});
}

std::uint64_t seiRandNext() {
  std::uint64_t z = (seiState.random += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// ---- point order ------------------------------------------------------------------------------

const Point2D& seiPt(int i) { return seiState.points[i]; }

bool seiSame(const Point2D& a, const Point2D& b) {
  return std::fabs(a.x - b.x) <= kEps && std::fabs(a.y - b.y) <= kEps;
}
// a above b: larger y by more than the tolerance, or y within it and larger x.
bool seiAbove(const Point2D& a, const Point2D& b) {
  if (a.y > b.y + kEps) return true;
  if (a.y < b.y - kEps) return false;
  return a.x > b.x;
}
// The higher of two points, by index: on equal y, x decides only beyond the tolerance.
int seiHigher(int a, int b) {
  const Point2D& p = seiPt(a);
  const Point2D& q = seiPt(b);
  if (p.y > q.y + kEps) return a;
  if (std::fabs(p.y - q.y) <= kEps) return p.x > q.x + kEps ? a : b;
  return b;
}
// p lies left of segment s, seen from its lower end towards its upper end.
bool seiLeftOf(int s, const Point2D& p) {
  SeiSeg& g = seiState.segs[s];
  const Point2D& lo = seiPt(g.dn);
  const Point2D& hi = seiPt(g.up);
  return (hi.x - lo.x) * (p.y - lo.y) - (hi.y - lo.y) * (p.x - lo.x) > 0.0;
}
bool seiSegHas(int s, int point) {
  if (s == 0) return false;
  SeiSeg& g = seiState.segs[s];
  return g.v0 == point || g.v1 == point;
}
bool seiSegUp(int s) {
  SeiSeg& g = seiState.segs[s];
  return g.up == g.v1;
}

// ---- tables of the decomposition ---------------------------------------------------------------

int seiNewNode() {
  if (seiState.nodeCount + 1 >= seiState.nodes.size()) seiFail(kSeiTableFull);
  const int i = ++seiState.nodeCount;
  seiState.nodes[i] = SeiNode{};
  return i;
}
int seiNewTrap() {
  if (seiState.trapCount + 1 >= seiState.traps.size()) seiFail(kSeiTableFull);
  const int i = ++seiState.trapCount;
  seiState.traps[i] = SeiTrap{};
  seiState.traps[i].state = kTrapValid;
  return i;
}
void seiSetSink(int node, int trap, int parent) {
  seiState.nodes[node] = SeiNode{kNodeSink, 0, trap, 0, 0, parent};
  seiState.traps[trap].sink = node;
}
// In the lower neighbours of trapezoid t, `from` becomes `to`.
void seiRelinkDown(int t, int from, int to) {
  SeiTrap& r = seiState.traps[t];
  if (r.d0 == from)
    r.d0 = to;
  else if (r.d1 == from)
    r.d1 = to;
}
void seiRelinkUp(int t, int from, int to) {
  SeiTrap& r = seiState.traps[t];
  if (r.u0 == from)
    r.u0 = to;
  else if (r.u1 == from)
    r.u1 = to;
}

// Descends the query structure from `node` to the trapezoid that holds point v; when v is a point
// of the structure already, the trapezoid beside v towards `other` (the other end of the segment
// being inserted) is meant.
int seiLocate(int v, int other, int node) {
  const Point2D& p = seiPt(v);
  const Point2D& o = seiPt(other);
  for (int steps = 0;; ++steps) {
    if (steps > seiState.nodeCount) seiFail(kGeoInconsistent);
    SeiNode& q = seiState.nodes[node];
    if (q.kind == kNodeSink) return q.trap;
    if (q.kind == kNodeY) {
      const Point2D& y = seiPt(q.key);
      const bool above = seiSame(p, y) ? seiAbove(o, y) : seiAbove(p, y);
      node = above ? q.right : q.left;
    } else if (q.kind == kNodeX) {
      SeiSeg& g = seiState.segs[q.key];
      bool left;
      if (seiSame(p, seiPt(g.v0)) || seiSame(p, seiPt(g.v1))) {
        // v is an end of this segment: the segment from v to other decides the side
        left = std::fabs(p.y - o.y) <= kEps ? o.x < p.x : seiLeftOf(q.key, o);
      } else {
        left = seiLeftOf(q.key, p);
      }
      node = left ? q.left : q.right;
    } else {
      seiFail(kGeoInconsistent);
    }
  }
}

// Cuts trapezoid t by the horizontal line through point v: t keeps the part below, the new
// trapezoid above is returned. Its sink becomes a y-node of v.
int seiSplitAt(int t, int v) {
  const int tu = seiNewTrap();
  SeiTrap& lower = seiState.traps[t];
  SeiTrap& upper = seiState.traps[tu];
  upper = lower;
  upper.lo = v;
  upper.d0 = t;
  upper.d1 = 0;
  lower.hi = v;
  lower.u0 = tu;
  lower.u1 = 0;
  if (upper.u0 != 0) seiRelinkDown(upper.u0, t, tu);
  if (upper.u1 != 0) seiRelinkDown(upper.u1, t, tu);
  const int node = lower.sink;
  const int above = seiNewNode();
  const int below = seiNewNode();
  const int parent = seiState.nodes[node].parent;
  seiState.nodes[node] = SeiNode{kNodeY, v, 0, below, above, parent};
  seiSetSink(above, tu, node);
  seiSetSink(below, t, node);
  return tu;
}

// Lower trapezoid b joins upper trapezoid a (same sides, the line between them was cut off by the
// segment just inserted). The query structure's path to b now ends in a's sink. The lower
// neighbours of b are relinked only when they are final (`relink`).
void seiMerge(int a, int b, bool relink) {
  SeiTrap& ta = seiState.traps[a];
  SeiTrap& tb = seiState.traps[b];
  ta.lo = tb.lo;
  ta.d0 = tb.d0;
  ta.d1 = tb.d1;
  if (relink) {
    if (tb.d0 != 0) seiRelinkUp(tb.d0, b, a);
    if (tb.d1 != 0) seiRelinkUp(tb.d1, b, a);
  }
  tb.state = kTrapMerged;
  const int sink = tb.sink;
  SeiNode& parent = seiState.nodes[seiState.nodes[sink].parent];
  if (parent.left == sink)
    parent.left = ta.sink;
  else if (parent.right == sink)
    parent.right = ta.sink;
  else
    seiFail(kGeoInconsistent);
}

void seiSetUp(int t, int u0, int u1) {
  seiState.traps[t].u0 = u0;
  seiState.traps[t].u1 = u1;
}
void seiSetDown(int t, int d0, int d1) {
  seiState.traps[t].d0 = d0;
  seiState.traps[t].d1 = d1;
}

// The structure of the first segment: a y-node at each end, an x-node between, four trapezoids.
void seiInitFirst(int s) {
  SeiSeg& g = seiState.segs[s];
  const int top = seiNewTrap(), bottom = seiNewTrap(), left = seiNewTrap(), right = seiNewTrap();
  const int nUp = seiNewNode(), nTop = seiNewNode(), nDn = seiNewNode(), nBottom = seiNewNode();
  const int nSeg = seiNewNode(), nLeft = seiNewNode(), nRight = seiNewNode();
  seiState.nodes[nUp] = SeiNode{kNodeY, g.up, 0, nDn, nTop, 0};
  seiState.nodes[nDn] = SeiNode{kNodeY, g.dn, 0, nBottom, nSeg, nUp};
  seiState.nodes[nSeg] = SeiNode{kNodeX, s, 0, nLeft, nRight, nDn};
  seiSetSink(nTop, top, nUp);
  seiSetSink(nBottom, bottom, nDn);
  seiSetSink(nLeft, left, nSeg);
  seiSetSink(nRight, right, nSeg);
  SeiTrap& tTop = seiState.traps[top];
  tTop.hi = kTopInf;
  tTop.lo = g.up;
  seiSetDown(top, left, right);
  SeiTrap& tBottom = seiState.traps[bottom];
  tBottom.hi = g.dn;
  tBottom.lo = kBottomInf;
  seiSetUp(bottom, left, right);
  for (int t : {left, right}) {
    SeiTrap& r = seiState.traps[t];
    r.hi = g.up;
    r.lo = g.dn;
    r.u0 = top;
    r.d0 = bottom;
  }
  seiState.traps[left].rseg = s;
  seiState.traps[right].lseg = s;
  g.inserted = 1;
}

// An end of segment s is in the structure when the contour neighbour sharing it is inserted.
bool seiEndInserted(int s, int point) {
  SeiSeg& g = seiState.segs[s];
  return point == g.v0 ? seiState.segs[g.prev].inserted != 0 : seiState.segs[g.next].inserted != 0;
}

// Inserts segment s: its ends cut their trapezoids horizontally (when new), the trapezoids it
// passes are split into a left and a right part, and parts whose dividing line the segment cut
// off from its point are merged with the part above.
void seiInsert(int s) {
  SeiSeg& g = seiState.segs[s];
  const int up = g.up;
  const int dn = g.dn;
  const int rootUp = up == g.v0 ? g.root0 : g.root1;
  const int rootDn = up == g.v0 ? g.root1 : g.root0;
  int tfirst;
  int tlast;
  if (!seiEndInserted(s, up)) {
    tfirst = seiLocate(up, dn, rootUp);
    seiSplitAt(tfirst, up);
  } else {
    tfirst = seiLocate(up, dn, rootUp);
  }
  if (!seiEndInserted(s, dn)) {
    const int t = seiLocate(dn, up, rootDn);
    tlast = seiSplitAt(t, dn);
    if (t == tfirst) tfirst = tlast;
  } else {
    tlast = seiLocate(dn, up, rootDn);
  }

  int t = tfirst;
  int prevOrig = 0, prevL = 0, prevR = 0, origD0 = 0, origD1 = 0;
  for (int steps = 0;; ++steps) {
    if (steps > seiState.trapCount) seiFail(kGeoInconsistent);
    if (seiState.traps[t].state != kTrapValid) seiFail(kGeoInconsistent);
    const bool first = t == tfirst;
    const bool last = t == tlast;
    const SeiTrap orig = seiState.traps[t];
    int next = 0;
    if (!last) {
      if (orig.d0 != 0 && orig.d1 != 0) {
        next = seiLeftOf(s, seiPt(orig.lo)) ? orig.d1 : orig.d0;
      } else {
        next = orig.d0 != 0 ? orig.d0 : orig.d1;
      }
      if (next == 0) seiFail(kGeoInconsistent);
    }

    // t becomes the part left of s, r the part right of it
    const int r = seiNewTrap();
    seiState.traps[r] = orig;
    seiState.traps[t].rseg = s;
    seiState.traps[r].lseg = s;
    const int L = t;
    const int R = r;

    // neighbours above
    if (first) {
      if (orig.u0 != 0 && orig.u1 != 0) {
        // a segment ends at the top point from above: each part keeps its side
        seiSetUp(L, orig.u0, 0);
        seiSetUp(R, orig.u1, 0);
        seiRelinkDown(orig.u1, t, R);
      } else if (orig.u0 != 0 || orig.u1 != 0) {
        const int U = orig.u0 != 0 ? orig.u0 : orig.u1;
        if (seiSegHas(orig.lseg, up)) {  // the top point is the upper left corner
          seiSetUp(L, 0, 0);
          seiSetUp(R, U, 0);
          seiRelinkDown(U, t, R);
        } else if (seiSegHas(orig.rseg, up)) {  // the upper right corner
          seiSetUp(L, U, 0);
          seiSetUp(R, 0, 0);
        } else {  // inside the top edge: U now has both parts below it
          SeiTrap& u = seiState.traps[U];
          if (!((u.d0 == t && u.d1 == 0) || (u.d1 == t && u.d0 == 0))) seiFail(kGeoInconsistent);
          seiSetDown(U, L, R);
          seiSetUp(L, U, 0);
          seiSetUp(R, U, 0);
        }
      } else {
        seiSetUp(L, 0, 0);
        seiSetUp(R, 0, 0);
      }
    } else if (orig.u0 != 0 && orig.u1 != 0) {
      // a segment ends on the top edge from above; the trapezoid above that s came through is one
      // of the two
      if (orig.u0 == prevOrig) {
        const int Q = orig.u1;
        seiSetUp(L, prevL, 0);
        seiSetUp(R, prevR, Q);
        seiRelinkDown(Q, t, R);
      } else if (orig.u1 == prevOrig) {
        const int Q = orig.u0;
        seiSetUp(L, Q, prevL);
        seiSetUp(R, prevR, 0);
      } else {
        seiFail(kGeoInconsistent);
      }
      seiSetDown(prevL, L, 0);
      seiSetDown(prevR, R, 0);
    } else {
      const int U = orig.u0 != 0 ? orig.u0 : orig.u1;
      if (U != prevOrig) seiFail(kGeoInconsistent);
      seiSetUp(L, prevL, 0);
      seiSetUp(R, prevR, 0);
      if (origD0 != 0 && origD1 != 0) {
        // the trapezoid above had two below it, divided at a point beside s
        if (origD0 == t) {
          seiSetDown(prevL, L, 0);
          seiSetDown(prevR, R, origD1);
          seiRelinkUp(origD1, prevOrig, prevR);
        } else if (origD1 == t) {
          seiSetDown(prevL, origD0, L);
          seiSetDown(prevR, R, 0);
          seiRelinkUp(origD0, prevOrig, prevL);
        } else {
          seiFail(kGeoInconsistent);
        }
      } else {
        seiSetDown(prevL, L, 0);
        seiSetDown(prevR, R, 0);
      }
    }

    // neighbours below, at the lower end of s
    if (last) {
      if (orig.d0 != 0 && orig.d1 != 0) {
        seiSetDown(L, orig.d0, 0);
        seiSetDown(R, orig.d1, 0);
        seiRelinkUp(orig.d1, t, R);
      } else if (orig.d0 != 0 || orig.d1 != 0) {
        const int D = orig.d0 != 0 ? orig.d0 : orig.d1;
        if (seiSegHas(orig.lseg, dn)) {
          seiSetDown(L, 0, 0);
          seiSetDown(R, D, 0);
          seiRelinkUp(D, t, R);
        } else if (seiSegHas(orig.rseg, dn)) {
          seiSetDown(L, D, 0);
          seiSetDown(R, 0, 0);
        } else {
          SeiTrap& d = seiState.traps[D];
          if (!((d.u0 == t && d.u1 == 0) || (d.u1 == t && d.u0 == 0))) seiFail(kGeoInconsistent);
          seiSetUp(D, L, R);
          seiSetDown(L, D, 0);
          seiSetDown(R, D, 0);
        }
      } else {
        seiSetDown(L, 0, 0);
        seiSetDown(R, 0, 0);
      }
    }

    // the sink of t becomes an x-node of s over the two parts
    const int node = orig.sink;
    const int nl = seiNewNode();
    const int nr = seiNewNode();
    const int parent = seiState.nodes[node].parent;
    seiState.nodes[node] = SeiNode{kNodeX, s, 0, nl, nr, parent};
    seiSetSink(nl, L, node);
    seiSetSink(nr, R, node);

    // the top edge of t came from a point on one side of s; beyond s that edge is gone
    int curL = L;
    int curR = R;
    if (!first) {
      if (seiLeftOf(s, seiPt(orig.hi))) {
        if (seiState.traps[prevR].lseg == s && seiState.traps[prevR].rseg == orig.rseg) {
          seiMerge(prevR, R, last);
          curR = prevR;
        }
      } else if (seiState.traps[prevL].rseg == s && seiState.traps[prevL].lseg == orig.lseg) {
        seiMerge(prevL, L, last);
        curL = prevL;
      }
    }
    prevOrig = t;
    prevL = curL;
    prevR = curR;
    origD0 = orig.d0;
    origD1 = orig.d1;
    if (last) break;
    t = next;
  }
  g.inserted = 1;
}

// Locates both ends of a segment not yet inserted and keeps the sinks as their new start nodes.
void seiRelocate(int s) {
  SeiSeg& g = seiState.segs[s];
  if (g.inserted) return;
  g.root0 = seiState.traps[seiLocate(g.v0, g.v1, g.root0)].sink;
  g.root1 = seiState.traps[seiLocate(g.v1, g.v0, g.root1)].sink;
}

// log* n: how often log2 applies to n before the value drops below 1, minus 1.
int seiLogStar(int n) {
  int i = 0;
  for (double v = n; v >= 1.0; ++i) v = std::log2(v);
  return i - 1;
}
// Insertions done after phase h: ceil(n / log2 applied h times to n).
int seiPhaseEnd(int n, int h) {
  double v = n;
  for (int i = 0; i < h; ++i) v = std::log2(v);
  if (!(v >= 1.0)) return n;
  const double e = std::ceil(n / v);
  return e >= n ? n : static_cast<int>(e);
}

// x of segment s at height y (its end's x at its end's height).
double seiXAt(int s, double y) {
  SeiSeg& g = seiState.segs[s];
  const Point2D& lo = seiPt(g.dn);
  const Point2D& hi = seiPt(g.up);
  if (y == lo.y) return lo.x;
  if (y == hi.y) return hi.x;
  return lo.x + (y - lo.y) * (hi.x - lo.x) / (hi.y - lo.y);
}

// Every trapezoid must lie between its sides, and inside and outside must agree from both sides:
// an inside trapezoid has its right side running up and its left side running down. Crossing,
// touching or wrongly nested contours break one of these.
void seiCheckTrapezoids(double extent) {
  const double tol = 1e-10 * extent;
  for (int t = 1; t <= seiState.trapCount; ++t) {
    SeiTrap& r = seiState.traps[t];
    if (r.state != kTrapValid) continue;
    const bool insideByRight = r.rseg != 0 && seiSegUp(r.rseg);
    const bool insideByLeft = r.lseg != 0 && !seiSegUp(r.lseg);
    if (insideByRight != insideByLeft) seiFail(kGeoInconsistent);
    if (insideByRight && (r.hi <= 0 || r.lo <= 0)) seiFail(kGeoInconsistent);
    if (r.lseg == 0 || r.rseg == 0 || r.hi <= 0 || r.lo <= 0) continue;
    const double yHi = seiPt(r.hi).y;
    const double yLo = seiPt(r.lo).y;
    if (yHi - yLo <= kEps) continue;
    bool flat = false;
    for (int s : {r.lseg, r.rseg}) {
      SeiSeg& g = seiState.segs[s];
      if (seiPt(g.up).y - seiPt(g.dn).y <= kEps) flat = true;
    }
    if (flat) continue;
    for (double y : {yHi, yLo}) {
      if (seiXAt(r.lseg, y) > seiXAt(r.rseg, y) + tol) seiFail(kGeoInconsistent);
    }
  }
}

// ---- monotone pieces and their triangles ------------------------------------------------------

struct SeiOutput {
  int (*triangles)[3];
  int count;
};

double seiOrient(int a, int b, int c) {
  const Point2D& p = seiPt(a);
  const Point2D& q = seiPt(b);
  const Point2D& r = seiPt(c);
  return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
}

// Writes one triangle counter-clockwise; a triangle without area means the piece was not sound.
void seiEmit(SeiOutput& out, int a, int b, int c) {
  const double o = seiOrient(a, b, c);
  if (!(o != 0.0)) seiFail(kGeoNoBoundary);
  if (o < 0) std::swap(b, c);
  if (out.count >= seiState.triangleLimit) seiFail(kGeoNoBoundary);
  out.triangles[out.count][0] = a;
  out.triangles[out.count][1] = b;
  out.triangles[out.count][2] = c;
  ++out.count;
}

struct SeiScratch {
  std::vector<double> angle;
  std::vector<int> face;
  std::vector<int> sorted;
  std::vector<unsigned char> onLeft;
  std::vector<int> stack;
};

// Triangulates one piece given counter-clockwise; it must be monotone in the point order: one
// highest and one lowest vertex, the chain between them falling on the left and rising on the
// right. A vertex closes a triangle with the reflex chain while the turn is counter-clockwise.
void seiTriangulatePiece(const std::vector<int>& face, SeiScratch& sc, SeiOutput& out) {
  const int m = static_cast<int>(face.size());
  if (m < 3) seiFail(kGeoNoBoundary);
  if (m == 3) {
    seiEmit(out, face[0], face[1], face[2]);
    return;
  }
  int top = 0;
  int bottom = 0;
  for (int i = 1; i < m; ++i) {
    if (seiAbove(seiPt(face[i]), seiPt(face[top]))) top = i;
    if (seiAbove(seiPt(face[bottom]), seiPt(face[i]))) bottom = i;
  }
  for (int i = top; i != bottom; i = (i + 1) % m) {
    if (!seiAbove(seiPt(face[i]), seiPt(face[(i + 1) % m]))) seiFail(kGeoNoBoundary);
  }
  for (int i = bottom; i != top; i = (i + 1) % m) {
    if (!seiAbove(seiPt(face[(i + 1) % m]), seiPt(face[i]))) seiFail(kGeoNoBoundary);
  }
  // merge the two chains from the top down; onLeft marks the chain that falls counter-clockwise
  sc.sorted.clear();
  sc.onLeft.clear();
  sc.sorted.push_back(face[top]);
  sc.onLeft.push_back(1);
  int l = (top + 1) % m;
  int r = (top - 1 + m) % m;
  while (l != bottom || r != bottom) {
    const bool takeLeft = r == bottom || (l != bottom && seiAbove(seiPt(face[l]), seiPt(face[r])));
    if (takeLeft) {
      sc.sorted.push_back(face[l]);
      sc.onLeft.push_back(1);
      l = (l + 1) % m;
    } else {
      sc.sorted.push_back(face[r]);
      sc.onLeft.push_back(0);
      r = (r - 1 + m) % m;
    }
  }
  sc.sorted.push_back(face[bottom]);
  sc.onLeft.push_back(0);

  std::vector<int>& st = sc.stack;
  st.clear();
  st.push_back(0);
  st.push_back(1);
  for (int j = 2; j < m - 1; ++j) {
    const int uj = sc.sorted[static_cast<std::size_t>(j)];
    const bool left = sc.onLeft[static_cast<std::size_t>(j)] != 0;
    const int topIdx = st.back();
    if (left != (sc.onLeft[static_cast<std::size_t>(topIdx)] != 0)) {
      // opposite chain: fan to the whole reflex chain
      for (std::size_t k = 0; k + 1 < st.size(); ++k) {
        seiEmit(out, uj, sc.sorted[static_cast<std::size_t>(st[k])],
                sc.sorted[static_cast<std::size_t>(st[k + 1])]);
      }
      st.clear();
      st.push_back(topIdx);
      st.push_back(j);
    } else {
      int lastIdx = st.back();
      st.pop_back();
      while (!st.empty()) {
        const int a = sc.sorted[static_cast<std::size_t>(st.back())];
        const int b = sc.sorted[static_cast<std::size_t>(lastIdx)];
        const double turn = left ? seiOrient(a, b, uj) : seiOrient(uj, b, a);
        if (!(turn > 0.0)) break;
        seiEmit(out, a, b, uj);
        lastIdx = st.back();
        st.pop_back();
      }
      st.push_back(lastIdx);
      st.push_back(j);
    }
  }
  const int un = sc.sorted[static_cast<std::size_t>(m - 1)];
  for (std::size_t k = 0; k + 1 < st.size(); ++k) {
    seiEmit(out, un, sc.sorted[static_cast<std::size_t>(st[k])],
            sc.sorted[static_cast<std::size_t>(st[k + 1])]);
  }
}

// Diagonals between the top and bottom vertex of every inside trapezoid whose sides do not join
// them; the faces of edges and diagonals are then monotone pieces, walked with the region on the
// left, and triangulated one by one.
void seiMonotoneTriangulate(int n, SeiOutput& out, SeiScratch& sc) {
  SeidelState& S = seiState;
  int nd = 0;
  for (int t = 1; t <= S.trapCount; ++t) {
    SeiTrap& r = S.traps[t];
    if (r.state != kTrapValid || r.lseg == 0 || r.rseg == 0 || !seiSegUp(r.rseg)) continue;
    const int a = r.hi;
    const int b = r.lo;
    const auto joins = [&](int s) {
      SeiSeg& g = S.segs[s];
      return (g.v0 == a && g.v1 == b) || (g.v0 == b && g.v1 == a);
    };
    if (joins(r.lseg) || joins(r.rseg)) continue;
    if (S.segs[a].next == b || S.segs[a].prev == b) continue;  // an edge of the contour
    S.diags[nd++] = SeiDiag{std::min(a, b), std::max(a, b)};
  }
  // the same diagonal may come from two trapezoids: keep one
  {
    std::vector<SeiDiag> sortedDiags;
    seiScratch(sortedDiags, static_cast<std::size_t>(nd));
    for (int i = 0; i < nd; ++i) sortedDiags[static_cast<std::size_t>(i)] = S.diags[i];
    std::sort(sortedDiags.begin(), sortedDiags.end(), [](const SeiDiag& x, const SeiDiag& y) {
      return x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    int k = 0;
    for (int i = 0; i < nd; ++i) {
      const SeiDiag& d = sortedDiags[static_cast<std::size_t>(i)];
      if (k > 0 && S.diags[k - 1].a == d.a && S.diags[k - 1].b == d.b) continue;
      S.diags[k++] = d;
    }
    nd = k;
  }
  const long long halfEdges = 2LL * (n + nd);
  if (halfEdges > S.heFrom.size()) seiFail(kGeoNoBoundary);
  const int he = static_cast<int>(halfEdges);
  for (int k = 1; k <= n; ++k) {
    SeiSeg& g = S.segs[k];
    S.heFrom[2 * (k - 1)] = g.v0;
    S.heTo[2 * (k - 1)] = g.v1;
    S.heFrom[2 * (k - 1) + 1] = g.v1;
    S.heTo[2 * (k - 1) + 1] = g.v0;
  }
  for (int j = 0; j < nd; ++j) {
    S.heFrom[2 * (n + j)] = S.diags[j].a;
    S.heTo[2 * (n + j)] = S.diags[j].b;
    S.heFrom[2 * (n + j) + 1] = S.diags[j].b;
    S.heTo[2 * (n + j) + 1] = S.diags[j].a;
  }
  // half-edges grouped by start vertex, each group sorted counter-clockwise by direction
  for (int v = 0; v <= n + 1; ++v) S.ringStart[v] = 0;
  for (int e = 0; e < he; ++e) ++S.ringStart[S.heFrom[e] + 1];
  for (int v = 1; v <= n + 1; ++v) S.ringStart[v] += S.ringStart[v - 1];
  seiScratch(sc.angle, static_cast<std::size_t>(he));
  {
    std::vector<int> fill;
    seiScratch(fill, static_cast<std::size_t>(n + 1));
    for (int v = 0; v <= n; ++v) fill[static_cast<std::size_t>(v)] = S.ringStart[v];
    for (int e = 0; e < he; ++e) {
      const Point2D& p = seiPt(S.heFrom[e]);
      const Point2D& q = seiPt(S.heTo[e]);
      sc.angle[static_cast<std::size_t>(e)] = std::atan2(q.y - p.y, q.x - p.x);
      S.heRing[fill[static_cast<std::size_t>(S.heFrom[e])]++] = e;
    }
  }
  for (int v = 1; v <= n; ++v) {
    const int b = S.ringStart[v];
    const int e = S.ringStart[v + 1];
    if (e - b < 2) seiFail(kGeoNoBoundary);
    int* first = &S.heRing[b];
    int* end = &S.heRing[e - 1] + 1;
    std::sort(first, end, [&](int x, int y) {
      return sc.angle[static_cast<std::size_t>(x)] < sc.angle[static_cast<std::size_t>(y)];
    });
    for (int i = b; i < e; ++i) {
      S.hePos[S.heRing[i]] = i;
      // two edges leaving a point in one direction overlap
      if (i > b && sc.angle[static_cast<std::size_t>(S.heRing[i])] ==
                       sc.angle[static_cast<std::size_t>(S.heRing[i - 1])]) {
        seiFail(kGeoNoBoundary);
      }
    }
  }
  for (int e = 0; e < he; ++e) S.visited[e] = 0;
  for (int start = 0; start < he; ++start) {
    const bool inner = start >= 2 * n || (start % 2) == 0;
    if (!inner || S.visited[start] != 0) continue;
    sc.face.clear();
    int e = start;
    for (int steps = 0;; ++steps) {
      if (steps > he) seiFail(kGeoNoBoundary);
      if (e < 2 * n && (e % 2) == 1) seiFail(kGeoNoBoundary);  // the walk left the region
      if (S.visited[e] != 0) seiFail(kGeoNoBoundary);
      S.visited[e] = 1;
      sc.face.push_back(S.heFrom[e]);
      // the next edge of the face: at the end point, the one clockwise next to the way back
      const int v = S.heTo[e];
      const int back = S.hePos[e ^ 1];
      const int b = S.ringStart[v];
      const int deg = S.ringStart[v + 1] - b;
      e = S.heRing[b + (back - b - 1 + deg) % deg];
      if (e == start) break;
    }
    seiTriangulatePiece(sc.face, sc, out);
  }
}

// Every point must be finite and no two may coincide within the tolerance.
void seiCheckPoints(int n) {
  std::vector<int> idx;
  seiScratch(idx, static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const Point2D& p = seiPt(i + 1);
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) seiFail(kGeoBadArgument);
    idx[static_cast<std::size_t>(i)] = i + 1;
  }
  std::sort(idx.begin(), idx.end(), [](int a, int b) {
    const Point2D& p = seiPt(a);
    const Point2D& q = seiPt(b);
    return p.y != q.y ? p.y < q.y : p.x < q.x;
  });
  // group by equal y; within a group the nearest in x follows directly, groups whose y lie within
  // the tolerance are searched by x
  std::size_t g = 0;
  while (g < idx.size()) {
    const double y = seiPt(idx[g]).y;
    std::size_t ge = g;
    while (ge < idx.size() && seiPt(idx[ge]).y == y) ++ge;
    for (std::size_t i = g; i + 1 < ge; ++i) {
      if (seiPt(idx[i + 1]).x - seiPt(idx[i]).x <= kEps) seiFail(kSeiCrossing);
    }
    std::size_t h = ge;
    while (h < idx.size() && seiPt(idx[h]).y - y <= kEps) {
      const double yh = seiPt(idx[h]).y;
      std::size_t he = h;
      while (he < idx.size() && seiPt(idx[he]).y == yh) ++he;
      for (std::size_t i = g; i < ge; ++i) {
        const double x = seiPt(idx[i]).x;
        const auto it = std::lower_bound(idx.begin() + static_cast<std::ptrdiff_t>(h),
                                         idx.begin() + static_cast<std::ptrdiff_t>(he), x - kEps,
                                         [](int a, double v) { return seiPt(a).x < v; });
        if (it != idx.begin() + static_cast<std::ptrdiff_t>(he) && seiPt(*it).x - x <= kEps) {
          seiFail(kSeiCrossing);
        }
      }
      h = he;
    }
    g = ge;
  }
}

void seiRun(int contourCount, const int* pointCounts, const Point2D* vertices,
            int (*triangles)[3]) {
  SeidelState& S = seiState;
  if (S.capacity <= 0) seiFail(kGeoFailed);
  if (contourCount < 1 || pointCounts == nullptr || vertices == nullptr || triangles == nullptr) {
    seiFail(kGeoBadArgument);
  }
  long long total = 0;
  for (int k = 0; k < contourCount; ++k) {
    if (pointCounts[k] < 3) seiFail(kGeoBadArgument);
    total += pointCounts[k];
    if (total > S.capacity) seiFail(kSeiTableFull);
  }
  const int n = static_cast<int>(total);
  const int holes = contourCount - 1;
  if (S.triangleLimit < n + 2 * holes - 2) seiFail(kGeoBadArgument);

  // points, segments along each contour, orientation of each contour
  S.nodeCount = 0;
  S.trapCount = 0;
  S.pointCount = n;
  double minX = vertices[1].x, maxX = minX, minY = vertices[1].y, maxY = minY;
  int base = 0;
  for (int k = 0; k < contourCount; ++k) {
    const int m = pointCounts[k];
    double area2 = 0.0;
    for (int j = 0; j < m; ++j) {
      const int i = base + j + 1;
      const int nx = base + (j + 1) % m + 1;
      const int pv = base + (j + m - 1) % m + 1;
      S.points[i] = vertices[i];
      S.segs[i] = SeiSeg{i, nx, 0, 0, nx, pv, 1, 1, 0};
      const Point2D& p = vertices[i];
      const Point2D& q = vertices[nx];
      area2 += p.x * q.y - q.x * p.y;
      minX = std::fmin(minX, p.x);
      maxX = std::fmax(maxX, p.x);
      minY = std::fmin(minY, p.y);
      maxY = std::fmax(maxY, p.y);
    }
    if (k == 0 ? !(area2 > 0.0) : !(area2 < 0.0)) seiFail(-47);
    base += m;
  }
  seiCheckPoints(n);
  for (int i = 1; i <= n; ++i) {
    SeiSeg& g = S.segs[i];
    g.up = seiHigher(g.v0, g.v1);
    g.dn = g.up == g.v0 ? g.v1 : g.v0;
  }

  // random insertion order: each step takes one of the segments left
  for (int i = 1; i <= n; ++i) S.order[i] = i;
  for (int i = 1; i <= n; ++i) {
    const int left = n - i + 1;
    const int pick = i + static_cast<int>(seiRandNext() % static_cast<std::uint64_t>(left));
    std::swap(S.order[i], S.order[pick]);
  }

  // trapezoidation in log* n phases; after each, the segments still out locate their ends again
  seiInitFirst(S.order[1]);
  int done = 1;
  const int phases = seiLogStar(n);
  for (int h = 1; h <= phases; ++h) {
    const int end = seiPhaseEnd(n, h);
    for (int i = done + 1; i <= end; ++i) seiInsert(S.order[i]);
    if (end > done) done = end;
    for (int k = 1; k <= n; ++k) seiRelocate(k);
  }
  for (int i = done + 1; i <= n; ++i) seiInsert(S.order[i]);
  seiCheckTrapezoids(std::fmax(std::fmax(maxX - minX, maxY - minY), 1e-300));

  SeiOutput out{triangles, 0};
  SeiScratch sc;
  seiMonotoneTriangulate(n, out, sc);
  // a sound polygon of n points and h holes always gives n + 2h - 2 triangles
  if (out.count != n + 2 * holes - 2) seiFail(kGeoNoBoundary);
}

void seiLogFault(unsigned int code, const char* name, const void* at) {
  char text[160];
  std::snprintf(text, sizeof text, "\n ********** Problem %x = %s at %p ************\n\n", code,
                name, at);
  geoErrLog(text);
  geoErrLog("Problem in triangulate_polygonm_seidel");
}

}  // namespace

int triSeidelPrepare(int capacity) {
  triSeidelRelease();
  if (capacity < 3 || capacity > std::numeric_limits<int>::max() / 8 - 2) {
    return geoFail(kGeoBadArgument, kSource);
  }
  SeidelState& S = seiState;
  const std::size_t c = static_cast<std::size_t>(capacity);
  try {
    seiCountAllocation();
    S.nodes.allocate(8 * c + 1);
    seiCountAllocation();
    S.traps.allocate(4 * c + 1);
    seiCountAllocation();
    S.segs.allocate(c + 1);
    seiCountAllocation();
    S.points.allocate(c + 1);
    seiCountAllocation();
    S.order.allocate(c + 1);
    seiCountAllocation();
    S.diags.allocate(4 * c + 1);
    seiCountAllocation();
    S.heFrom.allocate(6 * c);
    seiCountAllocation();
    S.heTo.allocate(6 * c);
    seiCountAllocation();
    S.heRing.allocate(6 * c);
    seiCountAllocation();
    S.hePos.allocate(6 * c);
    seiCountAllocation();
    S.ringStart.allocate(c + 2);
    seiCountAllocation();
    S.visited.allocate(6 * c);
  } catch (...) {
    triSeidelRelease();
    return geoFail(kGeoFailed, kSource);
  }
  S.capacity = capacity;
  return 1;
}

int triSeidelClear() {
  SeidelState& S = seiState;
  if (S.capacity <= 0) return 0;
  S.nodes.clear();
  S.traps.clear();
  S.segs.clear();
  S.points.clear();
  S.order.clear();
  S.diags.clear();
  S.heFrom.clear();
  S.heTo.clear();
  S.heRing.clear();
  S.hePos.clear();
  S.ringStart.clear();
  S.visited.clear();
  S.nodeCount = 0;
  S.trapCount = 0;
  S.pointCount = 0;
  return 1;
}

void triSeidelRelease() {
  SeidelState& S = seiState;
  S.nodes.release();
  S.traps.release();
  S.segs.release();
  S.points.release();
  S.order.release();
  S.diags.release();
  S.heFrom.release();
  S.heTo.release();
  S.heRing.release();
  S.hePos.release();
  S.ringStart.release();
  S.visited.release();
  S.capacity = 0;
  S.nodeCount = 0;
  S.trapCount = 0;
  S.pointCount = 0;
}

int triSeidelCapacity() { return seiState.capacity; }

void triSeidelSetTriangleLimit(int limit) { seiState.triangleLimit = limit < 0 ? 0 : limit; }

void triSeidelSetSeed(std::uint64_t seed) { seiState.random = seed; }

int triSeidelFailCode() { return seiState.failCode; }

int triangulate_polygonm_seidel(int contourCount, const int* pointCounts, const Point2D* vertices,
                                int (*triangles)[3]) {
  seiState.failCode = 0;
  try {
    seiRun(contourCount, pointCounts, vertices, triangles);
    return 1;
  } catch (const SeiFailure& f) {
    seiState.failCode = f.code;
  } catch (const SeiRangeFault& f) {
    seiLogFault(kAccessFault, "ACCESS_VIOLATION", f.table);
    seiState.failCode = -1;
  } catch (...) {
    seiLogFault(0, "UNKNOWN", nullptr);
    seiState.failCode = -1;
  }
  return geoFail(kGeoFailed, kSource);
}

void triSeidelFailAllocationAt(int n) {
  seiState.failAllocAt = n < 0 ? 0 : n;
  seiState.allocCount = 0;
}

void triSeidelResetState() {
  triSeidelRelease();
  seiState.triangleLimit = 0;
  seiState.random = 1;
  seiState.failCode = 0;
  seiState.failAllocAt = 0;
  seiState.allocCount = 0;
}
