// seg_offset.cpp - offset of segment chains with corner joins, loop removal through the crossing
// module, a distance check against the input and retries on a cleaned copy with a slightly
// larger distance.
#include "geometry/seg_offset.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <source_location>

#include "geometry/geo_error.h"
#include "geometry/seg_cross.h"

namespace {
constexpr double kEps = 1e-5;
constexpr double kNear = 0.0001;
constexpr double kTouch = 0.06;    // inside-corner offsets this close are joined as they are
constexpr double kShortGap = 0.4;  // gaps shorter than this are closed by moving an end
constexpr double kStartMatch = 0.005;
constexpr int kRetries = 20;
constexpr double kRetryGrow = 0.0006;
constexpr double kDistanceShare = 0.9;

struct SegOffsetState {
  int retry = 0;
  double parallelTol = 0.02;
};
SegOffsetState offState;

int offFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "seg_offset", static_cast<int>(at.line()));
  return code;
}

bool offSame(double ax, double ay, double bx, double by, double tol) {
  return std::fabs(ax - bx) < tol && std::fabs(ay - by) < tol;
}
bool offJoined(const Seg2D& prev, const Seg2D& next) {
  return offSame(prev.x2, prev.y2, next.x1, next.y1, kEps);
}
double offLength(const Seg2D& s) { return std::hypot(s.x2 - s.x1, s.y2 - s.y1); }

Seg2D offShift(const Seg2D& s, double d, const Point2D& n) {
  return Seg2D{s.x1 + d * n.x, s.y1 + d * n.y, s.x2 + d * n.x, s.y2 + d * n.y};
}

// Cell grid over the input segments answering whether any lies closer than a distance to a point
// with the same distance function as a scan over all of them.
class OffNearGrid {
 public:
  OffNearGrid(const Seg2D* segs, int n, double reach) : segs_(segs), n_(n), reach_(reach) {
    if (n <= 0) return;
    minX_ = maxX_ = segs[0].x1;
    minY_ = maxY_ = segs[0].y1;
    double total = 0.0;
    for (int i = 0; i < n; ++i) {
      minX_ = std::fmin(minX_, std::fmin(segs[i].x1, segs[i].x2));
      maxX_ = std::fmax(maxX_, std::fmax(segs[i].x1, segs[i].x2));
      minY_ = std::fmin(minY_, std::fmin(segs[i].y1, segs[i].y2));
      maxY_ = std::fmax(maxY_, std::fmax(segs[i].y1, segs[i].y2));
      total += offLength(segs[i]);
    }
    cell_ = std::fmax(std::fmax(reach, total / n), 1e-6);
    nx_ = std::min<long long>(static_cast<long long>((maxX_ - minX_) / cell_) + 1, 4096);
    ny_ = std::min<long long>(static_cast<long long>((maxY_ - minY_) / cell_) + 1, 4096);
    cellX_ = (maxX_ - minX_) / nx_ + 1e-9;
    cellY_ = (maxY_ - minY_) / ny_ + 1e-9;
    start_.assign(nx_ * ny_ + 1, 0);
    forEachCell(0, [&](long long c, int) { ++start_[c + 1]; });
    for (long long c = 0; c < nx_ * ny_; ++c) start_[c + 1] += start_[c];
    items_.resize(start_[nx_ * ny_]);
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    forEachCell(0, [&](long long c, int i) { items_[fill[c]++] = i; });
  }
  // True when some segment lies closer than reach to p.
  bool near(const Point2D& p) const {
    if (n_ <= 0) return false;
    const long long x0 = clampX(p.x - reach_), x1 = clampX(p.x + reach_);
    const long long y0 = clampY(p.y - reach_), y1 = clampY(p.y + reach_);
    for (long long cy = y0; cy <= y1; ++cy) {
      for (long long cx = x0; cx <= x1; ++cx) {
        const long long c = cy * nx_ + cx;
        for (int e = start_[c]; e < start_[c + 1]; ++e) {
          if (g2dPointSegDist(p, segs_[items_[e]]) < reach_) return true;
        }
      }
    }
    return false;
  }

 private:
  long long clampX(double x) const {
    return std::clamp<long long>(static_cast<long long>(std::floor((x - minX_) / cellX_)), 0,
                                 nx_ - 1);
  }
  long long clampY(double y) const {
    return std::clamp<long long>(static_cast<long long>(std::floor((y - minY_) / cellY_)), 0,
                                 ny_ - 1);
  }
  template <typename F>
  void forEachCell(int, F f) const {
    for (int i = 0; i < n_; ++i) {
      const Seg2D& s = segs_[i];
      const long long x0 = clampX(std::fmin(s.x1, s.x2)), x1 = clampX(std::fmax(s.x1, s.x2));
      const long long y0 = clampY(std::fmin(s.y1, s.y2)), y1 = clampY(std::fmax(s.y1, s.y2));
      for (long long cy = y0; cy <= y1; ++cy) {
        for (long long cx = x0; cx <= x1; ++cx) f(cy * nx_ + cx, i);
      }
    }
  }
  const Seg2D* segs_;
  int n_;
  double reach_;
  double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0, cell_ = 1, cellX_ = 1, cellY_ = 1;
  long long nx_ = 1, ny_ = 1;
  std::vector<int> start_, items_;
};
}  // namespace

void segOffsetResetState() { offState = SegOffsetState{}; }
int segOffsetRetryFlag() { return offState.retry; }
void segOffsetSetRetryFlag(int on) { offState.retry = on; }
void pathSetParallelTol(int mode) { offState.parallelTol = mode == 1 ? 1.02 : 0.02; }

// ---- corner join and raw offset ----------------------------------------------------------------

int pathCornerFillet(Seg2D* a, Seg2D* b, double d, Seg2D* join, int side) {
  Point2D ua, ub, na, nb;
  if (g2dSegDirection(*a, &ua) == 0 || g2dSegDirection(*b, &ub) == 0 ||
      g2dSegNormal(*a, &na, side) == 0 || g2dSegNormal(*b, &nb, side) == 0) {
    return -1;
  }
  Seg2D ao = offShift(*a, d, na), bo = offShift(*b, d, nb);
  Point2D q{na.x + nb.x, na.y + nb.y};
  const double ql = g2dLength(q);
  if (ql < kEps) return -1;
  q = Point2D{q.x / ql, q.y / ql};
  const Point2D k = g2dSegEnd(*a);
  Point2D pa, pb;
  int result;
  if (g2dDot(ua, ub) > 1.0 - offState.parallelTol) {
    // Miter: both offsets end on the bisector through the corner.
    const Seg2D bis{k.x, k.y, k.x + q.x, k.y + q.y};
    if (g2dLineIsect(ao, bis, &pa) != 1 || g2dLineIsect(bo, bis, &pb) != 1) return -1;
    result = 2;
  } else {
    // Chamfer: cut by the line through the corner pushed out by d, square to the bisector.
    const Point2D c{k.x + d * q.x, k.y + d * q.y};
    const Seg2D cut{c.x, c.y, c.x - q.y, c.y + q.x};
    if (g2dLineIsect(ao, cut, &pa) != 1 || g2dLineIsect(bo, cut, &pb) != 1) return -1;
    result = 1;
  }
  ao.x2 = pa.x;
  ao.y2 = pa.y;
  bo.x1 = pb.x;
  bo.y1 = pb.y;
  *join = Seg2D{pa.x, pa.y, pb.x, pb.y};
  *a = ao;
  *b = bo;
  return result;
}

int segOffsetRaw(double d, const Seg2D* in, int n, std::vector<Seg2D>* out, int side) {
  out->clear();
  if (in == nullptr || n <= 0) return 0;
  Point2D nrm;
  if (g2dSegNormal(in[0], &nrm, side) == 0) return 0;
  out->push_back(offShift(in[0], d, nrm));
  const bool closed = offSame(in[0].x1, in[0].y1, in[n - 1].x2, in[n - 1].y2, kNear);
  int code = 1;
  bool reversal = false;
  const int steps = closed ? n : n - 1;
  for (int i = 1; i <= steps; ++i) {
    const bool closing = i == n;
    const Seg2D& prevIn = in[i - 1];
    const Seg2D& curIn = in[closing ? 0 : i];
    int t = 0;
    if (g2dTurnDirection(prevIn, curIn, &t) == 0) return 0;
    if (t == -2) {
      reversal = true;
      t = -1;
    } else {
      t *= side;
    }
    if (t == -1) {
      Seg2D a = prevIn, b = curIn, join;
      const int r = pathCornerFillet(&a, &b, d, &join, side);
      if (r == -1) return 0;
      const std::size_t last = out->size() - 1;
      (*out)[last].x2 = join.x1;
      (*out)[last].y2 = join.y1;
      if (!closing && out->size() >= 2) {
        Point2D p;
        if (g2dSegIsect((*out)[last], (*out)[last - 1], &p) == 1) {
          (*out)[last - 1].x2 = p.x;
          (*out)[last - 1].y2 = p.y;
          (*out)[last].x1 = p.x;
          (*out)[last].y1 = p.y;
        }
      }
      if (r == 1) out->push_back(join);
      if (closing) {
        (*out)[0].x1 = join.x2;
        (*out)[0].y1 = join.y2;
        Point2D p;
        if (g2dSegIsect(in[n - 1], in[0], &p) == -1) code = -2;
      } else {
        out->push_back(b);  // b already starts at the join's end
      }
    } else if (t == 1) {
      Seg2D cur;
      if (closing) {
        cur = (*out)[0];
      } else {
        if (g2dSegNormal(curIn, &nrm, side) == 0) return 0;
        cur = offShift(curIn, d, nrm);
      }
      Seg2D& prev = out->back();
      Point2D p;
      const int hit = g2dSegIsect(prev, cur, &p);
      if (hit == 1) {
        prev.x2 = p.x;
        prev.y2 = p.y;
        cur.x1 = p.x;
        cur.y1 = p.y;
      } else if (hit == 0) {
        if (offSame(prev.x2, prev.y2, cur.x1, cur.y1, kTouch)) {
          cur.x1 = prev.x2;
          cur.y1 = prev.y2;
        } else {
          code = -1;
        }
      }
      if (closing) {
        (*out)[0] = cur;
      } else {
        out->push_back(cur);
      }
    } else if (!closing) {
      if (g2dSegNormal(curIn, &nrm, side) == 0) return 0;
      Seg2D cur = offShift(curIn, d, nrm);
      cur.x1 = out->back().x2;
      cur.y1 = out->back().y2;
      out->push_back(cur);
    }
  }
  out->resize(
      static_cast<std::size_t>(segDropNullSegments(out->data(), static_cast<int>(out->size()))));
  if (code == 1 && reversal) code = -3;
  return code;
}

// ---- clean-up steps ----------------------------------------------------------------------------

int segTrimAtCircle(const Seg2D* in, std::vector<Seg2D>* raw, double d) {
  const int count = static_cast<int>(raw->size());
  if (in == nullptr || count <= 0) return count;
  std::vector<SegCrossing> hits(2 * static_cast<std::size_t>(count));
  const int k = segCircleCrossings(count, raw->data(), Circle2D{g2dSegStart(in[0]), d}, hits.data(),
                                   2 * count);
  if (k <= 0) return count;
  const SegCrossing& last = hits[k - 1];
  raw->erase(raw->begin(), raw->begin() + (last.segA - 1));
  (*raw)[0].x1 = last.x;
  (*raw)[0].y1 = last.y;
  return static_cast<int>(raw->size());
}

int segOffsetCornerCheck(const Seg2D& a, const Seg2D& b, int expectedTurn) {
  int t = 0;
  Point2D ua, ub;
  if (g2dTurnDirection(a, b, &t) == 0 || g2dSegDirection(a, &ua) == 0 ||
      g2dSegDirection(b, &ub) == 0) {
    return 1;
  }
  return (t == expectedTurn && g2dDot(ua, ub) >= 0.0) ? 0 : 1;
}

int segThinContour(Seg2D* segs, int count, double limit) {
  if (segs == nullptr || count < 3) return count;
  int i = 1;
  while (i <= count - 2) {
    const Seg2D& s = segs[i];
    int t1 = 0, t2 = 0;
    if (offLength(s) > limit || g2dTurnDirection(segs[i - 1], s, &t1) == 0 ||
        g2dTurnDirection(s, segs[i + 1], &t2) == 0 || t1 == 0 || t2 == 0) {
      ++i;
      continue;
    }
    const Point2D m{(s.x1 + s.x2) / 2.0, (s.y1 + s.y2) / 2.0};
    Seg2D before = segs[i - 1], after = segs[i + 1];
    before.x2 = m.x;
    before.y2 = m.y;
    after.x1 = m.x;
    after.y1 = m.y;
    if (t1 != t2 || t1 == -2 || segOffsetCornerCheck(before, after, t1) == 1) {
      segs[i - 1] = before;
      segs[i + 1] = after;
      std::copy(segs + i + 1, segs + count, segs + i);
      --count;
    } else {
      ++i;
    }
  }
  return count;
}

int segDropShort(Seg2D* segs, int count, double len) {
  if (segs == nullptr) return 0;
  const Seg2D* end =
      std::remove_if(segs, segs + count, [len](const Seg2D& s) { return offLength(s) < len; });
  return static_cast<int>(end - segs);
}

int segDropNullSegments(Seg2D* segs, int count) {
  if (segs == nullptr) return 0;
  const Seg2D* end = std::remove_if(
      segs, segs + count, [](const Seg2D& s) { return offSame(s.x1, s.y1, s.x2, s.y2, kNear); });
  return static_cast<int>(end - segs);
}

int segOffsetTailDominates(const Seg2D* segs, int total, int j) {
  double before = 0.0, after = 0.0;
  for (int i = 0; i < j; ++i) before += offLength(segs[i]);
  for (int i = j + 1; i < total; ++i) after += offLength(segs[i]);
  return after > 0.4 * before ? 1 : 0;
}

int segOffsetKeepsDistance(const Seg2D* in, int n, double d, const Seg2D* out, int count) {
  if (out == nullptr || count <= 0) return 1;
  const OffNearGrid grid(in, n, kDistanceShare * d);
  for (int i = 0; i < count; ++i) {
    if (grid.near(g2dSegEnd(out[i]))) return 0;
  }
  return 1;
}

// ---- one attempt and the entry -----------------------------------------------------------------

int segOffsetOnce(const Seg2D* in, int n, double d, std::vector<Seg2D>* out, int side) {
  try {
    out->clear();
    if (in == nullptr || n <= 0) {
      offState.retry = 1;
      return 0;
    }
    const bool closed = g2dChainClosed(in, n) == 1;
    if (std::fabs(d) < kEps) {
      out->assign(in, in + n);
      return n;
    }
    std::vector<Seg2D> work;
    work.reserve(static_cast<std::size_t>(std::max(3 * n, 1000)));
    const int m = segOffsetRaw(d, in, n, out, side);
    if (m == 0) {
      offState.retry = 1;
      return 0;
    }
    SegCrossTable table;
    bool trimmed = false;
    int c = static_cast<int>(out->size());
    int records = 0, g = 0;
    for (;;) {
      records = segSelfCrossings(out->data(), c, table.data(), kSegCrossMax, m);
      if (records < 0) return offFail(-1);
      g = 0;
      for (int j = 1; j < c && g == 0; ++j) {
        if (!offJoined((*out)[j - 1], (*out)[j])) g = j;
      }
      const Seg2D& s0 = (*out)[0];
      if (!(records > 0 && offSame(table[0].x, table[0].y, s0.x1, s0.y1, kStartMatch))) {
        std::copy_backward(table.data(), table.data() + records, table.data() + records + 1);
        table[0] = SegCrossing{s0.x1, s0.y1, 0.0, 1, c, 1};
        ++records;
      }
      segClassifyCrossing(table.data(), records, 0, out->data(), c, in, n, d, side);
      int from = 0;
      if (records >= 2 && g > 0 && table[0].state == 0 && g <= table[1].segA - 1) {
        const Seg2D& sg = (*out)[g];
        table[0] = SegCrossing{sg.x1, sg.y1, 0.0, g + 1, c, 1};
        from = 1;  // the moved start keeps its state
      }
      for (int i = records - 1; i >= from; --i) {
        segClassifyCrossing(table.data(), records, i, out->data(), c, in, n, d, side);
      }
      bool usable = false;
      for (int i = 0; i < records && !usable; ++i) usable = table[i].state != 0;
      if (usable || trimmed) break;
      c = segTrimAtCircle(in, out, d);
      trimmed = true;
      if (c <= 0) {
        offState.retry = 1;
        return 0;
      }
    }
    if (records >= 2 || g > 0) {
      work.clear();
      const int r = segRemoveLoops(table.data(), records, out->data(), c, &work);
      if (r < 0) {
        out->clear();
      } else {
        out->assign(work.begin(), work.begin() + r);
      }
      c = static_cast<int>(out->size());
    }
    // Gaps: short ones are closed, a long one ends the contour.
    for (int j = 1; j < c; ++j) {
      Seg2D& prev = (*out)[j - 1];
      const Seg2D& cur = (*out)[j];
      if (offJoined(prev, cur)) continue;
      if (std::hypot(cur.x1 - prev.x2, cur.y1 - prev.y2) < kShortGap) {
        prev.x2 = cur.x1;
        prev.y2 = cur.y1;
      } else {
        c = segOffsetTailDominates(out->data(), c, j) == 1 ? 0 : j;
        break;
      }
    }
    out->resize(static_cast<std::size_t>(c));
    if (closed && c > 0) {
      Seg2D& last = out->back();
      const Seg2D& first = out->front();
      if (!offSame(last.x2, last.y2, first.x1, first.y1, kEps)) {
        if (std::hypot(first.x1 - last.x2, first.y1 - last.y2) >= d) {
          out->push_back(Seg2D{last.x2, last.y2, first.x1, first.y1});
        } else {
          last.x2 = first.x1;
          last.y2 = first.y1;
        }
      }
    }
    c = static_cast<int>(out->size());
    if (c > 1) {
      Point2D u, v;
      if (g2dSegDirection((*out)[c - 2], &u) == 1 && g2dSegDirection((*out)[c - 1], &v) == 1 &&
          g2dDot(u, v) < -0.999) {
        out->pop_back();
        --c;
      }
    }
    if (offState.retry == 0 && segOffsetKeepsDistance(in, n, d, out->data(), c) == 0) {
      offState.retry = 1;
    }
    return c;
  } catch (const std::bad_alloc&) {
    out->clear();
    return offFail(-1);
  }
}

int segOffsetContour(const Seg2D* in, int n, double d, Seg2D* out, int outCap, int side) {
  if (n < 0 || outCap < 0 || (n > 0 && (in == nullptr || out == nullptr)) ||
      (side != 1 && side != -1) || !(d >= 0.0) || !std::isfinite(d)) {
    return offFail(-20);
  }
  if (n == 0) return 0;
  try {
    std::vector<Seg2D> result;
    offState.retry = 0;
    int r = segOffsetOnce(in, n, d, &result, side);
    if (r < 0) return r;
    if (r == 0 || offState.retry != 0) {
      // Retries on a cleaned working copy with a slightly larger distance.
      std::vector<Seg2D> copy(in, in + n);
      double dd = d;
      for (int k = 1; k <= kRetries; ++k) {
        dd += kRetryGrow;
        double shortest = dd > 15.0 ? 0.02 : 0.01;
        if (k >= 12 && dd > 10.0) shortest = 0.02;
        int wc = segDropShort(copy.data(), static_cast<int>(copy.size()), shortest);
        if (wc >= 50) {
          for (;;) {
            const int thinned = segThinContour(copy.data(), wc, 1.0);
            if (thinned >= wc) break;
            wc = thinned;
          }
        }
        copy.resize(static_cast<std::size_t>(wc));
        offState.retry = 0;
        r = segOffsetOnce(copy.data(), wc, dd, &result, side);
        if (r < 0) return r;
        if (offState.retry == 0) break;
      }
      // Every caller takes a positive count as a good offset: a last attempt that still failed
      // the checks is no result.
      if (offState.retry != 0) return 0;
    }
    if (r > outCap) return offFail(-1);
    std::copy(result.begin(), result.begin() + r, out);
    return r;
  } catch (const std::bad_alloc&) {
    return offFail(-1);
  }
}
