// offset_raw.cpp - the raw offset of a closed contour: offset elements joined at the corners.
#include "pocket/offset_raw.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pocket/contour_geom.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"
#include "pocket/pock_runtime.h"

namespace {
// Points whose x and y differ by less than this are one point.
constexpr double kSamePoint = 0.0001;
// A gap of a trimmed corner up to this (x and y) is closed by moving the next start.
constexpr double kTrimGap = 0.001;
// An arc offset onto its centre keeps a radius within this of 0.
constexpr double kVanishedRadius = 0.0001;
// A closing start that lengthens the first element more than this many times is put back.
constexpr double kClosingStretch = 10.0;
// A tangent continuation into an arc starts on the arc when the running point lies farther away.
constexpr double kArcStartJump = 0.5;

struct RawOffset {
  double d;
  int side;
  const ContourElement* src;
  int n;
  ContourElement* out;
  int limit;  // slots out may use
  int count;
  int result;
};

// p moved by d along e's normal at its start (which 1) or end (2). False without a tangent.
bool movedPoint(const RawOffset& r, const ContourElement& e, int which, Point2D* out) {
  Point2D nv{};
  if (contElemNormal(e, &nv, which, r.side) == 0) return false;
  const Point2D p = which == 1 ? contElemStart(e) : contElemEnd(e);
  *out = Point2D{p.x + r.d * nv.x, p.y + r.d * nv.y};
  return true;
}

// The offset copy of e from start to end (an arc's radius follows the end).
ContourElement copyBetween(const ContourElement& e, const Point2D& start, const Point2D& end) {
  ContourElement c = e;
  contElemSetEndpoint(&c, start, 1);
  contElemSetEndpoint(&c, end, 2);
  return c;
}

bool vanishedArc(const RawOffset& r, const ContourElement& e) {
  return e.type == kContArc && e.dir == r.side && std::fabs(e.radius) < kVanishedRadius;
}

// Claims the next free slot. False (code 3029 at the element limit) when out is full.
bool claimSlot(RawOffset& r) {
  if (r.count < r.limit) return true;
  if (r.count >= kContMaxElements) pockMessage(kPockCodeTooManyElements);
  r.result = kRawOffsetFailed;
  return false;
}

bool samePoint(const Point2D& p, const Point2D& q) {
  return std::fabs(p.x - q.x) < kSamePoint && std::fabs(p.y - q.y) < kSamePoint;
}

// Position of P along a line for choosing between two cut points: along x, or along y when the
// line's end x agree within 0.0001.
double alongLine(const ContourElement& l, const Point2D& p) {
  if (std::fabs(l.p2 - l.p0) < kSamePoint) return l.p3 != l.p1 ? (p.y - l.p1) / (l.p3 - l.p1) : 0.0;
  return (p.x - l.p0) / (l.p2 - l.p0);
}

// The cut of o and p at an overlapping corner. Returns the routine's code with the chosen point
// in *cut; -9 for a type pair other than lines and arcs.
int trimCut(const ContourElement& o, const ContourElement& p, Point2D* cut) {
  Point2D pts[2] = {};
  int v = 0;
  if (o.type == kContLine && p.type == kContLine) {
    v = isectSegments(contElemSeg(o), contElemSeg(p), pts);
  } else if (o.type == kContArc && p.type == kContLine) {
    v = isectLineArc(contElemSeg(p), o, pts);
    if (v == 2 && alongLine(p, pts[1]) < alongLine(p, pts[0])) pts[0] = pts[1];
  } else if (o.type == kContLine && p.type == kContArc) {
    v = isectLineArc(contElemSeg(o), p, pts);
    if (v == 2 && alongLine(o, pts[1]) > alongLine(o, pts[0])) pts[0] = pts[1];
  } else if (o.type == kContArc && p.type == kContArc) {
    v = isectArcArc(o, p, pts);
    if (v == 2) {
      const Point2D ref = p.dir > 0 ? contArcStart(p) : contArcEnd(p);
      const double r0 = contVectorAngle(ref.y - p.p1, ref.x - p.p0);
      double a[2];
      for (int k = 0; k < 2; ++k) {
        a[k] = contVectorAngle(pts[k].y - p.p1, pts[k].x - p.p0);
        if (isectGreater(a[k], r0) == 1) a[k] += 2.0 * std::numbers::pi;
      }
      if ((p.dir > 0 && a[1] < a[0]) || (p.dir < 0 && a[1] > a[0])) pts[0] = pts[1];
    }
  } else {
    return -9;
  }
  *cut = pts[0];
  return v;
}

// Removes out[i], the later elements moving down.
void removeSlot(RawOffset& r, int i) {
  pockMemMove(&r.out[i], &r.out[i + 1],
              sizeof(ContourElement) * static_cast<size_t>(r.count - i - 1));
  --r.count;
}

// A corner the offset leaves (k = -1): an arc of radius d about the corner from q to s's moved
// start; outside the closing pass followed by the offset of s.
bool outerCorner(RawOffset& r, const ContourElement& a, const ContourElement& s, bool closing,
                 Point2D* q) {
  Point2D sStart{}, sEnd{};
  if (!movedPoint(r, s, 1, &sStart) || !movedPoint(r, s, 2, &sEnd)) {
    r.result = kRawOffsetFailed;
    return false;
  }
  if (!claimSlot(r)) return false;
  const Point2D corner = contElemStart(s);
  const int tag = std::max(r.out[r.count - 1].tag, s.tag);
  ContourElement& arc = r.out[r.count];
  arc = contMakeArc(corner.x, corner.y, q->x, q->y, sStart.x, sStart.y, r.d, -r.side, tag);
  ++r.count;
  if (closing) {
    if (pockEngine().pockStrategyAxisParallel == 0) {
      Point2D pts[2] = {};
      const int v = isectElements(a, s, pts);
      if ((a.type == kContLine && s.type == kContLine && v == -1) ||
          (a.type == kContArc && s.type == kContArc && v < -1)) {
        r.result = kRawOffsetDoublesBack;
      }
    }
    contArcFitEnds(&r.out[r.count - 1]);
    return true;
  }
  contArcFitEnds(&r.out[r.count - 1]);
  const ContourElement p = copyBetween(s, sStart, sEnd);
  *q = sEnd;
  if (vanishedArc(r, p)) return true;
  if (!claimSlot(r)) return false;
  r.out[r.count++] = p;
  contArcFitEnds(&r.out[r.count - 1]);
  return true;
}

// Index of the first output element for the closing pass: 0, or 1 when element 0 has shrunk to a
// point.
int firstIndex(const RawOffset& r) { return r.count > 1 && contElemClosed(r.out[0]) == 1 ? 1 : 0; }

// A tangent continuation (k = 0).
bool tangentCorner(RawOffset& r, const ContourElement& s, bool closing, Point2D* q) {
  if (closing) {
    const int f = firstIndex(r);
    const ContourElement saved = r.out[f];
    const double before = contElemLength(saved);
    contElemSetEndpoint(&r.out[f], *q, 1);
    if (contElemLength(r.out[f]) > kClosingStretch * before) {
      r.out[f] = saved;
      r.result = kRawOffsetBadCorner;
    }
    return true;
  }
  Point2D q1{}, q2{};
  if (!movedPoint(r, s, 1, &q1) || !movedPoint(r, s, 2, &q2)) {
    r.result = kRawOffsetFailed;
    return false;
  }
  if (s.type == kContArc && r.d < s.radius) {
    const double e = contDistance(*q, q1);
    if (e > kArcStartJump && e > (s.radius - r.d) / 2.0) {
      *q = q1;
    } else if (contDistance(q2, *q) < e) {
      *q = q2;
    }
  }
  const ContourElement p = copyBetween(s, *q, q2);
  if (vanishedArc(r, p)) {
    *q = contElemStart(p);
    return true;
  }
  *q = q2;
  if (!claimSlot(r)) return false;
  r.out[r.count++] = p;
  contArcFitEnds(&r.out[r.count - 1]);
  return true;
}

// A corner where the offsets overlap (k = +1): the previous output o and the offset p of s are
// trimmed at their cut.
bool innerCorner(RawOffset& r, const ContourElement& s, bool closing, Point2D* q) {
  int pi = 0;
  ContourElement p{};
  if (closing) {
    pi = firstIndex(r);
    p = r.out[pi];
  } else {
    Point2D sStart{}, sEnd{};
    if (!movedPoint(r, s, 1, &sStart) || !movedPoint(r, s, 2, &sEnd)) {
      r.result = kRawOffsetFailed;
      return false;
    }
    p = copyBetween(s, sStart, sEnd);
    pi = r.count;
    if (!claimSlot(r)) return false;
  }
  const int oi = r.count - 1;
  if (closing && oi == pi) return true;  // one element closes on itself: nothing to trim
  ContourElement o = r.out[oi];
  Point2D cut{};
  const int v = trimCut(o, p, &cut);
  if (v == -9) {
    r.result = kRawOffsetFailed;
    return false;
  }
  const bool lines = o.type == kContLine && p.type == kContLine;
  if (v > 0 || (v == -1 && !lines)) {
    if (closing && v == -1 && r.count == 2) r.result = kRawOffsetBadCorner;
    contElemSetEndpoint(&o, cut, 2);
    contElemSetEndpoint(&p, cut, 1);
  } else {
    const Point2D oe = contElemEnd(o), ps = contElemStart(p);
    if (std::fabs(oe.x - ps.x) < kTrimGap && std::fabs(oe.y - ps.y) < kTrimGap) {
      contElemSetEndpoint(&p, oe, 1);
    } else {
      r.result = kRawOffsetBadCorner;
    }
  }
  *q = contElemEnd(p);
  r.out[oi] = o;
  const bool pGone = samePoint(contElemStart(p), contElemEnd(p));
  const bool oGone = samePoint(contElemStart(o), contElemEnd(o));
  if (closing) {
    r.out[pi] = p;
    if (pGone) removeSlot(r, pi);
    if (oGone) --r.count;  // o is the last element
    return true;
  }
  if (oGone) {
    if (pGone) {
      --r.count;
      return true;
    }
    r.out[oi] = p;  // p moves into o's slot
    contArcFitEnds(&r.out[oi]);
    return true;
  }
  if (pGone) return true;
  r.out[r.count++] = p;
  contArcFitEnds(&r.out[r.count - 1]);
  return true;
}
}  // namespace

int contOffsetRaw(double d, const ContourElement* src, int n, ContourElement* out, int capacity,
                  int* count, int side) {
  if (count != nullptr) *count = 0;
  if (src == nullptr || out == nullptr || count == nullptr || n <= 0 || capacity <= 0) {
    return kRawOffsetFailed;
  }
  RawOffset r{d, side, src, n, out, std::min(capacity, kContMaxElements), 0, kRawOffsetOk};
  Point2D s0{}, e0{};
  if (!movedPoint(r, src[0], 1, &s0) || !movedPoint(r, src[0], 2, &e0)) return kRawOffsetFailed;
  out[0] = copyBetween(src[0], s0, e0);
  r.count = 1;
  Point2D q = e0;
  for (int pass = 1; pass <= n; ++pass) {
    const bool closing = pass == n;
    const ContourElement& a = src[pass - 1];
    const ContourElement& s = src[pass % n];
    int cls = 0;
    if (contCornerType(a, s, &cls) == 0) return kRawOffsetFailed;
    const int k = cls == kCornerReversal ? -1 : cls * side;
    bool ok = true;
    if (k == -1) {
      ok = outerCorner(r, a, s, closing, &q);
    } else if (k == 0) {
      ok = tangentCorner(r, s, closing, &q);
    } else {
      ok = innerCorner(r, s, closing, &q);
    }
    if (!ok) {
      *count = r.count;
      return kRawOffsetFailed;
    }
  }
  *count = contCleanup(out, r.count);
  return r.result;
}
