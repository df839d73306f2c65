// mean_path.cpp - the meander of passes parallel to y that clears a region of polygon loops: pass
// lines, boundary pieces split at them, closed cells between two pass lines, chains of cells in
// meander order, a start on a pass and the joining of the remaining chains to the path.
#include "pocket/mean_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <source_location>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"

namespace {

struct MeanPathState {
  Kont2D* region = nullptr;  // the boundary region list while meanPath runs
};
MeanPathState mpState;

int mpFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "Meanpath", static_cast<int>(at.line()));
  return code;
}

// Two x closer than this are one x; a point this close to a pass line lies on it.
constexpr double kSnapTol = 1e-6;
// The pass lines step left by this while a point lies on one of them, at most so many times; a
// point still on a line after that moves right by the same step.
constexpr double kLineShift = 0.001;
constexpr int kLineShiftTries = 20;
// Most pass lines one computation makes.
constexpr double kMaxLines = 1e6;
// Attempts of the linking, each from a further start candidate.
constexpr int kLinkAttempts = 10;

// A loop of the index list: positions from .. to, the last repeating the first.
struct Loop {
  int from;
  int to;
};

// The loops of the index list; false when an index is out of range or a loop is not closed.
bool mpLoops(const IntList* idx, int pointCount, std::vector<Loop>* loops) {
  const int n = idx->count;
  for (int i = 0; i < n; ++i) {
    if (idx->items[i] < 0 || idx->items[i] >= pointCount) return false;
  }
  int i = 0;
  while (i < n) {
    int j = i + 1;
    while (j < n && idx->items[j] != idx->items[i]) ++j;
    if (j >= n) return false;
    loops->push_back(Loop{i, j});
    i = j + 1;
  }
  return true;
}

// Writes "X.. Y.. Z0.0" with six decimals in the "C" locale.
void mpWritePoint(std::FILE* f, const Point2D& p) {
  char line[800];
  char* at = line;
  char* const end = line + sizeof line - 16;
  *at++ = 'X';
  auto r = std::to_chars(at, end, p.x, std::chars_format::fixed, 6);
  at = r.ec == std::errc{} ? r.ptr : at;
  *at++ = ' ';
  *at++ = 'Y';
  r = std::to_chars(at, end, p.y, std::chars_format::fixed, 6);
  at = r.ec == std::errc{} ? r.ptr : at;
  for (const char c : {' ', 'Z', '0', '.', '0', '\n'}) *at++ = c;
  std::fwrite(line, 1, static_cast<std::size_t>(at - line), f);
}

// Signed distance of p to the boundary region list: the largest over its regions (0 without one).
double mpScore(const Point2D& p) {
  double best = -std::numeric_limits<double>::infinity();
  for (const Kont2D* k = mpState.region; k != nullptr; k = k->next) {
    best = std::max(best, kontSignedDistance(p, k));
  }
  return std::isfinite(best) ? best : 0.0;
}

// The whole computation's working data.
struct Work {
  IntList* idx;
  Pt2List* pts;
  std::vector<double> lines;
  std::vector<MeanPathEdge> boundary;  // every piece as split, for the link checks
  // Every loop the passes cross, as the point indices of its pieces in loop order (the crossings
  // with the pass lines included), closed by its first index again: the wall pass follows them.
  std::vector<std::vector<int>> loopPoints;
  std::vector<int> cellIdx;
  std::vector<MeanPathCell> cells;
  Point2D at(int i) const { return pts->items[i]; }
};

// Appends a point; its index, or -1 when the list cannot grow.
int mpAppendPoint(Pt2List* pts, const Point2D& p) {
  return lstPt2Append(pts, p) == 1 ? pts->count - 1 : -1;
}

// Snaps nearly equal x to one value.
void mpSnap(Work& w) {
  const int n = w.pts->count;
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  Point2D* p = w.pts->items;
  std::stable_sort(order.begin(), order.end(), [p](int a, int b) { return p[a].x < p[b].x; });
  for (std::size_t k = 1; k < order.size(); ++k) {
    const double prev = p[order[k - 1]].x;
    if (std::fabs(p[order[k]].x - prev) < kSnapTol) p[order[k]].x = prev;
  }
}

// True when a point lies on one of the lines (within kSnapTol).
bool mpPointOnLine(const Work& w, const std::vector<double>& lines) {
  for (int i = 0; i < w.pts->count; ++i) {
    const double x = w.pts->items[i].x;
    const auto it = std::lower_bound(lines.begin(), lines.end(), x - kSnapTol);
    if (it != lines.end() && std::fabs(*it - x) < kSnapTol) return true;
  }
  return false;
}

// The pass lines x = anchor + k width for integer k from -trunc((anchor - xmin) / width) while
// x <= xmax. A vertex on a pass line would make the slabs of its pieces ambiguous. Moving the
// vertex off the line would move the wall with it, and the wall pass follows the wall, so the
// lines step left instead (all together, kLineShift at a time) until none holds a point. Only
// when that fails do the points on a line move right by kLineShift.
void mpPlaceLines(Work& w, double anchor, double xmin, double xmax, double width) {
  for (int shift = 0; shift <= kLineShiftTries; ++shift) {
    w.lines.clear();
    const double a = anchor - shift * kLineShift;
    for (double k = -std::trunc((anchor - xmin) / width);; k += 1.0) {
      const double x = a + k * width;
      if (x > xmax) break;
      w.lines.push_back(x);
    }
    if (!mpPointOnLine(w, w.lines)) return;
  }
  for (const double t : w.lines) {
    for (int i = 0; i < w.pts->count; ++i) {
      if (std::fabs(w.pts->items[i].x - t) < kSnapTol) w.pts->items[i].x += kLineShift;
    }
  }
}

// Removes the loops no wider than the width that lie strictly between two pass lines.
void mpDropNarrowLoops(Work& w, double width, std::vector<Loop>* loops) {
  std::vector<Loop> kept;
  for (const Loop& l : *loops) {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int i = l.from; i <= l.to; ++i) {
      lo = std::min(lo, w.at(w.idx->items[i]).x);
      hi = std::max(hi, w.at(w.idx->items[i]).x);
    }
    bool narrow = false;
    if (hi - lo <= width) {
      const auto it = std::upper_bound(w.lines.begin(), w.lines.end(), lo);
      narrow = it != w.lines.begin() && it != w.lines.end() && hi < *it && *(it - 1) < lo;
    }
    if (!narrow) kept.push_back(l);
  }
  *loops = kept;
}

}  // namespace

void meanPathStripeRange(const double* xs, int n, const Point2D& p, const Point2D& q, int* slabP,
                         int* slabQ) {
  const double* end = xs + n;
  auto below = [&](double x) { return static_cast<int>(std::lower_bound(xs, end, x) - xs); };
  auto atOrBelow = [&](double x) { return static_cast<int>(std::upper_bound(xs, end, x) - xs); };
  if (p.x == q.x) {
    const int b = below(p.x);
    const int s = b < n && xs[b] == p.x ? -1 : b;
    *slabP = s;
    *slabQ = s;
  } else if (p.x < q.x) {
    *slabP = atOrBelow(p.x);
    *slabQ = below(q.x);
  } else {
    *slabP = below(p.x);
    *slabQ = atOrBelow(q.x);
  }
}

namespace {

// Pieces of every loop edge within the slabs (meanPathSplitEdge for edges across pass lines).
int mpEdges(Work& w, const std::vector<Loop>& loops, std::vector<MeanPathEdge>* edges) {
  const int nl = static_cast<int>(w.lines.size());
  for (const Loop& l : loops) {
    const std::size_t firstPiece = edges->size();
    for (int i = l.from; i < l.to; ++i) {
      const int a = w.idx->items[i];
      const int b = w.idx->items[i + 1];
      const Point2D p = w.at(a);
      const Point2D q = w.at(b);
      if (p.x == q.x && p.y == q.y) continue;
      int sp = 0;
      int sq = 0;
      meanPathStripeRange(w.lines.data(), nl, p, q, &sp, &sq);
      if (sp == sq) {
        edges->push_back(MeanPathEdge{a, b, sp});
        continue;
      }
      // Split at every pass line between the two ends, in the edge's direction.
      const int stepDir = sp < sq ? 1 : -1;
      int from = a;
      int slab = sp;
      while (slab != sq) {
        const double t = w.lines[static_cast<std::size_t>(stepDir > 0 ? slab : slab - 1)];
        const Point2D c{t, p.y + (t - p.x) * (q.y - p.y) / (q.x - p.x)};
        const int ci = mpAppendPoint(w.pts, c);
        if (ci < 0) return mpFail(kMeanPathNoMemory);
        edges->push_back(MeanPathEdge{from, ci, slab});
        from = ci;
        slab += stepDir;
      }
      edges->push_back(MeanPathEdge{from, b, sq});
    }
    if (edges->size() - firstPiece < 2) continue;
    std::vector<int> seq{(*edges)[firstPiece].start};
    for (std::size_t k = firstPiece; k < edges->size(); ++k) seq.push_back((*edges)[k].end);
    w.loopPoints.push_back(std::move(seq));
  }
  return 1;
}

// Corner update of a cell by the point at position pos.
void meanPathCellExtremes(const Work& w, MeanPathCell& c, int pos) {
  const Point2D p = w.at(w.cellIdx[static_cast<std::size_t>(pos)]);
  auto pt = [&](int k) { return w.at(w.cellIdx[static_cast<std::size_t>(k)]); };
  const Point2D lt = pt(c.leftTop), rt = pt(c.rightTop), rb = pt(c.rightBottom),
                lb = pt(c.leftBottom);
  if (p.x < lt.x || (p.x == lt.x && p.y > lt.y)) c.leftTop = pos;
  if (p.x > rt.x || (p.x == rt.x && p.y > rt.y)) c.rightTop = pos;
  if (p.x > rb.x || (p.x == rb.x && p.y < rb.y)) c.rightBottom = pos;
  if (p.x < lb.x || (p.x == lb.x && p.y < lb.y)) c.leftBottom = pos;
}

void mpPush(Work& w, MeanPathCell& c, int point) {
  w.cellIdx.push_back(point);
  meanPathCellExtremes(w, c, static_cast<int>(w.cellIdx.size()) - 1);
}

// Orientation of a closed cell at its leftTop corner.
int mpCellOrientation(const Work& w, const MeanPathCell& c) {
  if (c.end - c.first < 4) return 0;
  const int lt = c.leftTop;
  const int prev = lt == c.first ? c.end - 2 : lt - 1;
  const int next = lt == c.end - 1 ? c.first + 1 : lt + 1;
  auto pt = [&](int k) { return w.at(w.cellIdx[static_cast<std::size_t>(k)]); };
  const Point2D l = pt(lt), p = pt(prev), n = pt(next);
  const double v = (p.x - n.x) * (l.y - n.y) - (l.x - n.x) * (p.y - n.y);
  return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0);
}

// Closes the pieces of each slab into cells: a cell follows the pieces that continue at its
// current point and steps along a pass line where none does.
int meanPathBuildCells(Work& w, std::vector<MeanPathEdge>& edges) {
  std::stable_sort(edges.begin(), edges.end(), [](const MeanPathEdge& a, const MeanPathEdge& b) {
    return a.slab != b.slab ? a.slab < b.slab : a.start < b.start;
  });
  w.cellIdx.clear();
  w.cells.clear();
  std::size_t g = 0;
  while (g < edges.size() && edges[g].slab < 0) ++g;
  while (g < edges.size()) {
    const int slab = edges[g].slab;
    std::size_t ge = g;
    while (ge < edges.size() && edges[ge].slab == slab) ++ge;
    const int a = static_cast<int>(g);
    const int b = static_cast<int>(ge);
    std::vector<char> used(static_cast<std::size_t>(b - a), 0);
    // Pieces whose start lies on a pass line: the candidates of the vertical steps.
    std::vector<int> onLine;
    for (int i = a; i < b; ++i) {
      const double x = w.at(edges[static_cast<std::size_t>(i)].start).x;
      const bool left = slab > 0 && w.lines[static_cast<std::size_t>(slab - 1)] == x;
      const bool right =
          slab < static_cast<int>(w.lines.size()) && w.lines[static_cast<std::size_t>(slab)] == x;
      if (left || right) onLine.push_back(i);
    }
    auto piece = [&](int i) -> const MeanPathEdge& { return edges[static_cast<std::size_t>(i)]; };
    auto isUsed = [&](int i) -> char& { return used[static_cast<std::size_t>(i - a)]; };
    const int bound = 2 * (b - a) + 2;
    for (int i = a; i < b; ++i) {
      if (isUsed(i) != 0) continue;
      MeanPathCell c{};
      c.first = static_cast<int>(w.cellIdx.size());
      c.slab = slab;
      c.leftTop = c.rightTop = c.rightBottom = c.leftBottom = c.first;
      w.cellIdx.push_back(piece(i).start);
      isUsed(i) = 1;
      const int firstPt = piece(i).start;
      int cur = piece(i).end;
      int last = i;
      int steps = 0;
      for (;;) {
        if (++steps > bound) return mpFail(kMeanPathOpenCell);
        // The piece that continues at the current point: the first after the last one taken,
        // else the first of the slab.
        const auto lo = std::lower_bound(edges.begin() + a, edges.begin() + b, cur,
                                         [](const MeanPathEdge& e, int v) { return e.start < v; });
        int next = -1;
        for (auto it = lo; it != edges.begin() + b && it->start == cur; ++it) {
          const int k = static_cast<int>(it - edges.begin());
          if (next < 0) next = k;
          if (k > last) {
            next = k;
            break;
          }
        }
        if (next >= 0 && isUsed(next) == 0) {
          mpPush(w, c, cur);
          isUsed(next) = 1;
          last = next;
          cur = piece(next).end;
        } else {
          // Along the pass line to the nearest piece start above (a piece running right) or
          // below (left).
          const Point2D p = w.at(cur);
          const bool up = w.at(piece(last).start).x < w.at(piece(last).end).x;
          int best = -1;
          double bestY = 0.0;
          for (const int k : onLine) {
            const Point2D s = w.at(piece(k).start);
            if (s.x != p.x) continue;
            if (up ? (s.y > p.y && (best < 0 || s.y < bestY))
                   : (s.y < p.y && (best < 0 || s.y > bestY))) {
              best = k;
              bestY = s.y;
            }
          }
          if (best < 0) return mpFail(kMeanPathOpenCell);
          mpPush(w, c, cur);
          mpPush(w, c, piece(best).start);
          const bool closing = best == i;
          isUsed(best) = 1;
          last = best;
          cur = piece(best).end;
          if (closing) break;
        }
        if (cur == firstPt) {
          mpPush(w, c, cur);
          break;
        }
      }
      c.end = static_cast<int>(w.cellIdx.size());
      c.orientation = mpCellOrientation(w, c);
      w.cells.push_back(c);
    }
    g = ge;
  }
  return 1;
}

// A candidate start: point and score.
struct Candidate {
  Point2D p;
  double score;
};

// Shell sort by score, largest first (gaps 3h + 1).
void mpSortCandidates(std::vector<Candidate>& c) {
  const std::size_t n = c.size();
  std::size_t h = 1;
  while (h < n / 9) h = 3 * h + 1;
  for (; h > 0; h /= 3) {
    for (std::size_t i = h; i < n; ++i) {
      const Candidate v = c[i];
      std::size_t j = i;
      while (j >= h && c[j - h].score < v.score) {
        c[j] = c[j - h];
        j -= h;
      }
      c[j] = v;
    }
  }
}

// The middles of consecutive cell entries by depth inside the region. The middle of a boundary
// piece lies on the boundary: it scores 0 without a distance query; only steps along a pass line
// are measured.
std::vector<Candidate> meanPathStartCandidates(const Work& w) {
  std::vector<Candidate> out;
  for (const MeanPathCell& c : w.cells) {
    for (int k = c.first; k + 1 < c.end; ++k) {
      const Point2D a = w.at(w.cellIdx[static_cast<std::size_t>(k)]);
      const Point2D b = w.at(w.cellIdx[static_cast<std::size_t>(k + 1)]);
      const Point2D m{(a.x + b.x) / 2.0, (a.y + b.y) / 2.0};
      const bool onPass =
          a.x == b.x && std::binary_search(w.lines.begin(), w.lines.end(), a.x) && a.y != b.y;
      out.push_back(Candidate{m, onPass ? mpScore(m) : 0.0});
    }
  }
  mpSortCandidates(out);
  return out;
}

// ---- linking ------------------------------------------------------------------------------------

using Chain = std::vector<int>;

struct Linker {
  Work& w;
  std::vector<int>& path;
  std::vector<Chain> chains;
  std::vector<char> onPath;

  bool isOn(int p) const {
    return p >= 0 && static_cast<std::size_t>(p) < onPath.size() && onPath[p] != 0;
  }
  void add(int p) {
    path.push_back(p);
    if (p < 0) return;
    if (static_cast<std::size_t>(p) >= onPath.size())
      onPath.resize(static_cast<std::size_t>(p) + 1);
    onPath[static_cast<std::size_t>(p)] = 1;
  }
  Point2D at(int i) const { return w.at(i); }

  // Even-odd inside test of p against the boundary pieces.
  bool inside(const Point2D& p) const {
    bool in = false;
    for (const MeanPathEdge& e : w.boundary) {
      const Point2D a = at(e.start), b = at(e.end);
      if ((a.y > p.y) != (b.y > p.y)) {
        const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x > p.x) in = !in;
      }
    }
    return in;
  }
  // The horizontal link from a to b stays inside: no boundary piece meets it between its ends,
  // and its middle is inside the region.
  bool linkInside(const Point2D& a, const Point2D& b) const {
    const double x0 = std::min(a.x, b.x) + 1e-9;
    const double x1 = std::max(a.x, b.x) - 1e-9;
    const double y = a.y;
    for (const MeanPathEdge& e : w.boundary) {
      const Point2D p = at(e.start), q = at(e.end);
      if ((p.y - y) * (q.y - y) > 0.0) continue;
      if (p.y == q.y) {
        if (p.y == y && std::max(p.x, q.x) > x0 && std::min(p.x, q.x) < x1) return false;
        continue;
      }
      const double x = p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y);
      if (x > x0 && x < x1) return false;
    }
    return inside(Point2D{(a.x + b.x) / 2.0, y});
  }

  // The walk of a cell in meander order.
  void walkCell(const MeanPathCell& c, Chain* out) const {
    const int len = c.end - 1 - c.first;
    if (len <= 0) return;
    const bool even = c.slab % 2 == 0;
    int p = even ? c.leftTop : c.leftBottom;
    const int to = even ? c.rightBottom : c.rightTop;
    for (int k = 0; k <= len; ++k) {
      out->push_back(w.cellIdx[static_cast<std::size_t>(p)]);
      if (p == to) break;
      if (even) {
        p = p - 1 < c.first ? c.end - 2 : p - 1;
      } else {
        p = p + 1 >= c.end - 1 ? c.first : p + 1;
      }
    }
  }

  void makeChains() {
    std::vector<char> visited(w.cells.size(), 0);
    for (std::size_t i = 0; i < w.cells.size(); ++i) {
      if (visited[i] != 0 || w.cells[i].orientation == -1) continue;
      Chain chain;
      std::size_t cur = i;
      for (;;) {
        visited[cur] = 1;
        walkCell(w.cells[cur], &chain);
        if (chain.empty()) break;
        const int lastPt = chain.back();
        const bool even = w.cells[cur].slab % 2 == 0;
        std::size_t next = w.cells.size();
        for (std::size_t k = cur + 1; k < w.cells.size(); ++k) {
          const MeanPathCell& c = w.cells[k];
          if (visited[k] != 0 || c.orientation == -1) continue;
          const int begin = w.cellIdx[static_cast<std::size_t>(even ? c.leftBottom : c.leftTop)];
          if (begin == lastPt) {
            next = k;
            break;
          }
        }
        if (next == w.cells.size()) break;
        cur = next;
      }
      Chain merged;
      for (const int v : chain) {
        if (merged.empty() || merged.back() != v) merged.push_back(v);
      }
      if (!merged.empty()) chains.push_back(merged);
    }
  }

  std::size_t chainEntries() const {
    std::size_t n = 1;
    for (const Chain& c : chains) n += c.size() + 1;
    return n;
  }

  // Start: the first candidate that lies on a chain segment.
  int start(std::vector<Candidate>& cand) {
    for (std::size_t ci = 0; ci < cand.size(); ++ci) {
      const Point2D c = cand[ci].p;
      for (std::size_t h = 0; h < chains.size(); ++h) {
        const Chain& ch = chains[h];
        for (std::size_t k = 0; k + 1 < ch.size(); ++k) {
          const Point2D v = at(ch[k]), u = at(ch[k + 1]);
          if (!(std::fabs(v.x - c.x) < 0.1 && std::fabs(u.x - c.x) < 0.1)) continue;
          if (!((v.y - c.y < 0.01 && u.y - c.y > -0.1) || (v.y - c.y > -0.01 && u.y - c.y < 0.1))) {
            continue;
          }
          cand[ci] = cand.back();
          cand.pop_back();
          const int s = mpAppendPoint(w.pts, c);
          if (s < 0) return mpFail(kMeanPathNoMemory);
          path.clear();
          add(-1);
          add(s);
          for (std::size_t j = k + 1; j-- > 0;) add(ch[j]);
          add(-1);
          add(s);
          for (std::size_t j = k + 1; j < ch.size(); ++j) add(ch[j]);
          add(-1);
          chains.erase(chains.begin() + static_cast<std::ptrdiff_t>(h));
          return 1;
        }
      }
    }
    return mpFail(kMeanPathNoJoin);
  }

  void appendForward(const Chain& ch, std::size_t from) {
    for (std::size_t j = from; j < ch.size(); ++j) add(ch[j]);
  }
  void appendBackward(const Chain& ch, std::size_t from) {
    for (std::size_t j = from + 1; j-- > 0;) add(ch[j]);
  }

  // Way 1: a chain whose first or last point is on the path.
  bool sharedPoint() {
    for (std::size_t h = 0; h < chains.size(); ++h) {
      const Chain& ch = chains[h];
      for (const int p : path) {
        if (p == ch.front()) {
          appendForward(ch, 0);
        } else if (p == ch.back()) {
          appendBackward(ch, ch.size() - 1);
        } else {
          continue;
        }
        add(-1);
        chains.erase(chains.begin() + static_cast<std::ptrdiff_t>(h));
        return true;
      }
    }
    return false;
  }

  // Way 2: a sub-path end met inside a chain continues along the chain's rest.
  bool continueSubPath() {
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      if (path[i] < 0 || path[i + 1] != -1) continue;
      const int e = path[i];
      for (Chain& ch : chains) {
        for (std::size_t k = 0; k + 1 < ch.size(); ++k) {
          if (ch[k] != e) continue;
          appendForward(ch, k);
          add(-1);
          ch.resize(k + 1);
          pruneChains();
          return true;
        }
      }
    }
    return false;
  }

  void pruneChains() {
    chains.erase(
        std::remove_if(chains.begin(), chains.end(), [](const Chain& c) { return c.size() < 2; }),
        chains.end());
  }

  // The x of the cell's other pass side when q.x is one of them.
  bool otherSide(const MeanPathCell& c, double x, double* other) const {
    const double l = at(w.cellIdx[static_cast<std::size_t>(c.leftTop)]).x;
    const double r = at(w.cellIdx[static_cast<std::size_t>(c.rightTop)]).x;
    if (l == r) return false;
    if (l == x) {
      *other = r;
    } else if (r == x) {
      *other = l;
    } else {
      return false;
    }
    return true;
  }

  // Way 3: a link across a slab from a chain end to a pass segment of the path.
  int chainToPath() {
    for (std::size_t h = 0; h < chains.size(); ++h) {
      const Chain& ch = chains[h];
      for (int which = 0; which < 2; ++which) {
        const int q = which == 0 ? ch.back() : ch.front();
        const Point2D qp = at(q);
        for (std::size_t ci = w.cells.size(); ci-- > 0;) {
          double ox = 0.0;
          if (!otherSide(w.cells[ci], qp.x, &ox)) continue;
          for (std::size_t k = 0; k + 1 < path.size(); ++k) {
            if (path[k] < 0 || path[k + 1] < 0) continue;
            const Point2D a = at(path[k]), b = at(path[k + 1]);
            if (a.x != ox || b.x != ox || qp.y < std::min(a.y, b.y) || qp.y > std::max(a.y, b.y)) {
              continue;
            }
            const Point2D link{ox, qp.y};
            if (!linkInside(link, qp)) continue;
            const int li = mpAppendPoint(w.pts, link);
            if (li < 0) return mpFail(kMeanPathNoMemory);
            add(li);
            if (which == 0) {
              appendBackward(ch, ch.size() - 1);
            } else {
              appendForward(ch, 0);
            }
            add(-1);
            chains.erase(chains.begin() + static_cast<std::ptrdiff_t>(h));
            return 1;
          }
        }
      }
    }
    return 0;
  }

  // Way 4: a link across a slab from a sub-path end to a pass segment of a chain.
  int pathToChain() {
    std::vector<int> ends;
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] < 0) continue;
      const bool first = i == 0 || path[i - 1] < 0;
      const bool last = i + 1 == path.size() || path[i + 1] < 0;
      if (last) ends.push_back(path[i]);
      if (first) ends.push_back(path[i]);
    }
    for (const int p : ends) {
      const Point2D pp = at(p);
      for (std::size_t ci = w.cells.size(); ci-- > 0;) {
        double ox = 0.0;
        if (!otherSide(w.cells[ci], pp.x, &ox)) continue;
        for (Chain& ch : chains) {
          for (std::size_t k = 0; k + 1 < ch.size(); ++k) {
            const Point2D a = at(ch[k]), b = at(ch[k + 1]);
            if (a.x != ox || b.x != ox || pp.y < std::min(a.y, b.y) || pp.y > std::max(a.y, b.y)) {
              continue;
            }
            const Point2D link{ox, pp.y};
            if (!linkInside(pp, link)) continue;
            const int li = mpAppendPoint(w.pts, link);
            if (li < 0) return mpFail(kMeanPathNoMemory);
            add(p);
            add(li);
            appendForward(ch, k + 1);
            add(-1);
            // The chain keeps its part up to the link point, which now lies on the path.
            ch.resize(k + 1);
            ch.push_back(li);
            pruneChains();
            return 1;
          }
        }
      }
    }
    return 0;
  }

  // Way 5: around a cell from the path to a chain end.
  bool cellDetour() {
    for (std::size_t h = 0; h < chains.size(); ++h) {
      const Chain& ch = chains[h];
      for (int which = 0; which < 2; ++which) {
        const int q = which == 0 ? ch.front() : ch.back();
        const Point2D qp = at(q);
        for (const MeanPathCell& c : w.cells) {
          double ox = 0.0;
          if (!otherSide(c, qp.x, &ox)) continue;
          int pos = -1;
          for (int k = c.first; k < c.end - 1; ++k) {
            if (w.cellIdx[static_cast<std::size_t>(k)] == q) {
              pos = k;
              break;
            }
          }
          if (pos < 0) continue;
          const int len = c.end - 1 - c.first;
          std::vector<int> routes[2];
          double lengths[2] = {0.0, 0.0};
          bool found[2] = {false, false};
          for (int dir = 0; dir < 2; ++dir) {
            int k = pos;
            routes[dir].push_back(q);
            for (int s = 0; s < len; ++s) {
              k = dir == 0 ? (k + 1 >= c.end - 1 ? c.first : k + 1)
                           : (k - 1 < c.first ? c.end - 2 : k - 1);
              const int v = w.cellIdx[static_cast<std::size_t>(k)];
              const Point2D a = at(routes[dir].back()), b = at(v);
              lengths[dir] += std::hypot(b.x - a.x, b.y - a.y);
              routes[dir].push_back(v);
              if (isOn(v)) {
                found[dir] = true;
                break;
              }
            }
          }
          int pick = -1;
          if (found[1] && (!found[0] || lengths[1] <= lengths[0])) pick = 1;
          if (pick < 0 && found[0]) pick = 0;
          if (pick < 0) continue;
          const std::vector<int>& r = routes[pick];
          for (std::size_t j = r.size(); j-- > 1;) add(r[j]);
          if (which == 0) {
            appendForward(ch, 0);
          } else {
            appendBackward(ch, ch.size() - 1);
          }
          add(-1);
          chains.erase(chains.begin() + static_cast<std::ptrdiff_t>(h));
          return true;
        }
      }
    }
    return false;
  }

  // Merges "e, -1, e" into one run.
  void mergeRuns() {
    std::vector<int> out;
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (path[i] == -1 && !out.empty() && out.back() >= 0 && i + 1 < path.size() &&
          path[i + 1] == out.back()) {
        ++i;
        continue;
      }
      out.push_back(path[i]);
    }
    path = out;
  }

  int run(std::vector<Candidate>& cand) {
    makeChains();
    const int s = start(cand);
    if (s < 0) return s;
    pruneChains();
    std::size_t previous = std::numeric_limits<std::size_t>::max();
    std::size_t steps = 0;
    const std::size_t maxSteps = 4 * chainEntries() + 16;
    while (!chains.empty()) {
      const std::size_t now = chainEntries();
      if (now > previous || ++steps > maxSteps) return mpFail(kMeanPathChainsGrew);
      previous = now;
      if (sharedPoint() || continueSubPath()) continue;
      int r = chainToPath();
      if (r < 0) return r;
      if (r > 0) continue;
      r = pathToChain();
      if (r < 0) return r;
      if (r > 0) continue;
      if (cellDetour()) continue;
      return mpFail(kMeanPathNoJoin);
    }
    mergeRuns();
    return 1;
  }
};

// Links the cells into one path from the first candidate that lies on a chain: the chains in
// meander order, the start, then every further chain joined to the path. Returns 1 with the path;
// -1 out of memory, kMeanPathNoJoin or kMeanPathChainsGrew. A candidate taken is removed.
int meanPathLink(std::vector<Candidate>& cand, Work& w, std::vector<int>* path) {
  Linker linker{w, *path, {}, {}};
  return linker.run(cand);
}

// The wall pass: the meander follows each boundary piece of a cell on one side only (the top of
// an even slab, the bottom of an odd one and the bumps of its right pass line), so the material
// along the other pieces, and in a notch that an island or wall pushes into a cell from its left
// pass line, would stay. Each loop is therefore followed once all the way round, from the last
// place where the path meets it and back there, before the path goes on; a loop the path never
// meets becomes a sub-path of its own.
void meanPathWallPass(const Work& w, std::vector<int>* path) {
  std::vector<int> loopOf(static_cast<std::size_t>(w.pts->count), -1);
  std::vector<int> posInLoop(static_cast<std::size_t>(w.pts->count), -1);
  for (std::size_t l = 0; l < w.loopPoints.size(); ++l) {
    const std::vector<int>& seq = w.loopPoints[l];
    for (std::size_t k = 0; k + 1 < seq.size(); ++k) {
      loopOf[static_cast<std::size_t>(seq[k])] = static_cast<int>(l);
      posInLoop[static_cast<std::size_t>(seq[k])] = static_cast<int>(k);
    }
  }
  std::vector<std::ptrdiff_t> last(w.loopPoints.size(), -1);
  for (std::size_t k = 0; k < path->size(); ++k) {
    const int v = (*path)[k];
    if (v < 0 || v >= w.pts->count || loopOf[static_cast<std::size_t>(v)] < 0) continue;
    last[static_cast<std::size_t>(loopOf[static_cast<std::size_t>(v)])] =
        static_cast<std::ptrdiff_t>(k);
  }
  // Splices from the back, so that the positions found stay valid.
  std::vector<std::size_t> order(w.loopPoints.size());
  for (std::size_t l = 0; l < order.size(); ++l) order[l] = l;
  std::stable_sort(order.begin(), order.end(),
                   [&last](std::size_t a, std::size_t b) { return last[a] > last[b]; });
  for (const std::size_t l : order) {
    const std::vector<int>& seq = w.loopPoints[l];
    const std::size_t m = seq.size() - 1;  // the loop's entries without its closing repeat
    std::vector<int> round;
    if (last[l] < 0) {
      round.assign(seq.begin(), seq.end());
      round.push_back(-1);
      path->insert(path->end(), round.begin(), round.end());
      continue;
    }
    const std::size_t at = static_cast<std::size_t>(last[l]);
    const std::size_t j =
        static_cast<std::size_t>(posInLoop[static_cast<std::size_t>((*path)[at])]);
    for (std::size_t t = 1; t <= m; ++t) round.push_back(seq[(j + t) % m]);
    path->insert(path->begin() + static_cast<std::ptrdiff_t>(at) + 1, round.begin(), round.end());
  }
}

int mpCore(Work& w, const Point2D* start, double width) {
  IntList* idx = w.idx;
  Pt2List* pts = w.pts;
  if (idx->count < 3 || pts->count < 3 || !(width > 0.0) || !std::isfinite(width)) return 0;
  std::vector<Loop> loops;
  if (!mpLoops(idx, pts->count, &loops)) return mpFail(-20);
  double xmin = std::numeric_limits<double>::infinity();
  double xmax = -xmin;
  for (int i = 0; i < pts->count; ++i) {
    if (!std::isfinite(pts->items[i].x) || !std::isfinite(pts->items[i].y)) return mpFail(-20);
    xmin = std::min(xmin, pts->items[i].x);
    xmax = std::max(xmax, pts->items[i].x);
  }
  double anchor = (xmin + xmax) / 2.0;
  if (start != nullptr) {
    if (!(start->x > xmin && start->x < xmax)) return 0;
    anchor = start->x;
  }
  if ((xmax - xmin) / width > kMaxLines) return mpFail(kMeanPathNoMemory);
  mpSnap(w);
  mpPlaceLines(w, anchor, xmin, xmax, width);
  mpDropNarrowLoops(w, width, &loops);
  std::vector<MeanPathEdge> edges;
  edges.reserve(static_cast<std::size_t>(pts->count) * 2);
  const int er = mpEdges(w, loops, &edges);
  if (er < 0) return er;
  w.boundary = edges;
  const int cr = meanPathBuildCells(w, edges);
  if (cr < 0) return cr;

  std::vector<Candidate> cand;
  if (start != nullptr) {
    cand.push_back(Candidate{*start, 0.0});
  } else {
    cand = meanPathStartCandidates(w);
  }
  if (idx->count < 4 || pts->count < 4 || w.cells.empty()) return 0;
  const int pointCount = pts->count;
  int result = kMeanPathNoJoin;
  for (int attempt = 0; attempt < kLinkAttempts; ++attempt) {
    pts->count = pointCount;  // points of a failed attempt are dropped again
    std::vector<int> path;
    result = meanPathLink(cand, w, &path);
    if (result >= 0) {
      meanPathWallPass(w, &path);
      if (lstIntReset(idx) != 1) return mpFail(kMeanPathNoMemory);
      for (const int v : path) {
        if (lstIntAppend(idx, v) < 0) return mpFail(kMeanPathNoMemory);
      }
      return result;
    }
    if (result == kMeanPathNoMemory) return result;
  }
  return result;
}

// Copies src into dst (dst reset first). Returns 1; -1 when dst cannot grow.
int mpCopyInts(IntList* dst, const IntList* src) {
  lstIntReset(dst);
  for (int i = 0; i < src->count; ++i) {
    if (lstIntAppend(dst, src->items[i]) < 0) return -1;
  }
  return 1;
}
int mpCopyPoints(Pt2List* dst, const Pt2List* src) {
  lstPt2Reset(dst);
  for (int i = 0; i < src->count; ++i) {
    if (lstPt2Append(dst, src->items[i]) < 0) return -1;
  }
  return 1;
}

}  // namespace

Kont2D* meanPathBoundaryRoundTrip(const IntList* indices, const Pt2List* points, int* code) {
  if (code != nullptr) *code = 0;
  if (indices == nullptr || points == nullptr || indices->count == 0 || points->count == 0) {
    return nullptr;
  }
  auto failWith = [code](int c, int line) -> Kont2D* {
    geoErrSet(c, "Meanpath", line);
    if (code != nullptr) *code = c;
    return nullptr;
  };
  std::vector<Loop> loops;
  try {
    if (!mpLoops(indices, points->count, &loops)) {
      return failWith(-20, static_cast<int>(std::source_location::current().line()));
    }
  } catch (const std::bad_alloc&) {
    return failWith(-1, static_cast<int>(std::source_location::current().line()));
  }
  char name[1100];
  if (geoTempFileName(name, sizeof name, ".bnd") != 1) {
    return failWith(-1, static_cast<int>(std::source_location::current().line()));
  }
  std::FILE* f = std::fopen(name, "w");
  if (f == nullptr) {
    std::remove(name);
    return failWith(-1, static_cast<int>(std::source_location::current().line()));
  }
  for (const Loop& l : loops) {
    std::fprintf(f, "**BND %d **WZ\n", l.from);
    for (int i = l.from; i <= l.to; ++i) mpWritePoint(f, points->items[indices->items[i]]);
    std::fputs("**END\n", f);
  }
  const bool written = std::ferror(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(name);
    return failWith(-1, static_cast<int>(std::source_location::current().line()));
  }
  Kont2D* region = kontReadBnd(name, 1, 0);
  std::remove(name);
  if (region == nullptr) {
    return failWith(kMeanPathBadBoundary, static_cast<int>(std::source_location::current().line()));
  }
  return region;
}

int meanPathCore(IntList* indices, Pt2List* points, const Point2D* start, double width) {
  if (indices == nullptr || points == nullptr) return 0;
  try {
    Work w{indices, points, {}, {}, {}, {}, {}};
    return mpCore(w, start, width);
  } catch (const std::bad_alloc&) {
    return mpFail(kMeanPathNoMemory);
  }
}

int meanPath(IntList* indices, Pt2List* points, const Point2D* start, double width) {
  if (indices == nullptr || points == nullptr || indices->count < 3 || points->count < 3) return 0;
  IntList* idx = lstIntNew(indices->count);
  Pt2List* pts = lstPt2New(points->count * 2);
  auto freeAll = [&]() {
    lstIntFree(idx);
    lstBox2Free(pts);
    kontFree(mpState.region);
    mpState.region = nullptr;
  };
  if (idx == nullptr || pts == nullptr) {
    freeAll();
    return mpFail(kMeanPathNoMemory);
  }
  kontFree(mpState.region);
  int code = 0;
  mpState.region = meanPathBoundaryRoundTrip(indices, points, &code);
  if (mpState.region == nullptr) {
    freeAll();
    return code < 0 ? code : mpFail(kMeanPathNoMemory);
  }
  static constexpr double kOffsets[] = {0.0,   0.001,  0.002,  0.003,  0.004,
                                        0.005, -0.001, -0.002, -0.003, -0.004};
  int result = 0;
  for (const double d : kOffsets) {
    if (mpCopyInts(idx, indices) != 1 || mpCopyPoints(pts, points) != 1) {
      result = mpFail(kMeanPathNoMemory);
      break;
    }
    result = meanPathCore(idx, pts, start, width + d);
    if (result >= 0 || result == kMeanPathNoMemory) break;
  }
  if (result > 0) {
    std::swap(*idx, *indices);
    std::swap(*pts, *points);
  }
  freeAll();
  return result;
}

void meanPathResetState() {
  kontFree(mpState.region);
  mpState = MeanPathState{};
}
