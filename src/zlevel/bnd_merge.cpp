// bnd_merge.cpp - boundary merge into simple loops by a sweep over vertical strips.
#include "zlevel/bnd_merge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"

namespace {

constexpr double kJoinTol = 0.00001;
constexpr double kTurnTol = 1e-8;
constexpr std::size_t kLineMax = 1024;

using Loop = std::vector<Seg2D>;

// x cut to the 1e-6 grid: the integer part plus the fraction truncated to six decimals.
double truncMicro(double x) {
  const double ip = std::trunc(x);
  return ip + std::trunc((x - ip) * 1e6) / 1e6;
}

double loopArea(const Loop& loop) {
  double a = 0.0;
  for (const Seg2D& s : loop) a += s.x1 * s.y2 - s.x2 * s.y1;
  return 0.5 * a;
}

// Crossing parity of p against the polygon of the loop's segment start points.
bool loopContains(const Loop& loop, const Point2D& p) {
  bool in = false;
  const std::size_t n = loop.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = loop[i].x1, yi = loop[i].y1, xj = loop[j].x1, yj = loop[j].y1;
    if ((yi > p.y) != (yj > p.y) && p.x < (xj - xi) * (p.y - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}

void reverseLoop(Loop& loop) {
  std::reverse(loop.begin(), loop.end());
  for (Seg2D& s : loop) {
    std::swap(s.x1, s.x2);
    std::swap(s.y1, s.y2);
  }
}

// Outer contours counter-clockwise, islands clockwise, by the nesting parity of each first point.
void orientByNesting(std::vector<Loop>& loops) {
  std::vector<int> inside(loops.size(), 0);
  for (std::size_t i = 0; i < loops.size(); ++i) {
    if (loops[i].empty()) continue;
    const Point2D p{loops[i][0].x1, loops[i][0].y1};
    for (std::size_t j = 0; j < loops.size(); ++j)
      if (j != i && loops[j].size() >= 3 && loopContains(loops[j], p)) ++inside[i];
  }
  for (std::size_t i = 0; i < loops.size(); ++i) {
    const bool ccw = loopArea(loops[i]) > 0.0;
    if (ccw != (inside[i] % 2 == 0)) reverseLoop(loops[i]);
  }
}

double yAt(const Seg2D& s, double x) {
  if (s.x2 == s.x1) return s.y1;
  return s.y1 + (s.y2 - s.y1) * (x - s.x1) / (s.x2 - s.x1);
}

int indexOfX(const std::vector<double>& xs, double x) {
  const auto it = std::lower_bound(xs.begin(), xs.end(), x);
  if (it == xs.end() || *it != x) return -1;
  return static_cast<int>(it - xs.begin());
}

// Joins ends, cuts x to the grid and splits every segment at the sorted distinct start x values
// strictly between its ends. Returns 1, or -202 when an end x is not among the values.
int splitAtX(std::vector<Loop>& loops, std::vector<Seg2D>* pieces) {
  std::vector<double> xs;
  for (Loop& loop : loops) {
    for (std::size_t i = 0; i < loop.size(); ++i) {
      Seg2D& s = loop[i];
      Seg2D& t = loop[(i + 1) % loop.size()];
      if (std::fabs(s.x2 - t.x1) < kJoinTol && std::fabs(s.y2 - t.y1) < kJoinTol) {
        t.x1 = s.x2;
        t.y1 = s.y2;
      }
    }
    for (Seg2D& s : loop) {
      s.x1 = truncMicro(s.x1);
      s.x2 = truncMicro(s.x2);
      xs.push_back(s.x1);
    }
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  for (const Loop& loop : loops) {
    for (const Seg2D& s : loop) {
      const int a = indexOfX(xs, s.x1), b = indexOfX(xs, s.x2);
      if (a < 0 || b < 0) return kBndMergeNoSplit;
      const int step = b >= a ? 1 : -1;
      Point2D from{s.x1, s.y1};
      if (a == b) {  // vertical: one piece
        pieces->push_back(s);
        continue;
      }
      for (int k = a + step; k != b; k += step) {
        const Point2D at{xs[static_cast<std::size_t>(k)], yAt(s, xs[static_cast<std::size_t>(k)])};
        pieces->push_back({from.x, from.y, at.x, at.y});
        from = at;
      }
      pieces->push_back({from.x, from.y, s.x2, s.y2});
    }
  }
  return 1;
}

bool isVertical(const Seg2D& s) { return s.x1 == s.x2; }

// A piece as left and right point.
struct Span {
  double xa, ya, xb, yb;
};

Span spanOf(const Seg2D& s) {
  if (s.x1 <= s.x2) return {s.x1, s.y1, s.x2, s.y2};
  return {s.x2, s.y2, s.x1, s.y1};
}

void pushPoint(std::vector<Point2D>& pts, double x, double y) {
  if (!pts.empty() && std::fabs(pts.back().x - x) < kJoinTol &&
      std::fabs(pts.back().y - y) < kJoinTol)
    return;
  pts.push_back({x, y});
}

// Merges equal neighbours and drops points where the polygon does not turn.
std::vector<Point2D> cleanLoop(std::vector<Point2D> pts) {
  while (pts.size() > 1 && std::fabs(pts.front().x - pts.back().x) < kJoinTol &&
         std::fabs(pts.front().y - pts.back().y) < kJoinTol)
    pts.pop_back();
  bool changed = true;
  while (changed && pts.size() >= 3) {
    changed = false;
    std::vector<Point2D> kept;
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D& a = kept.empty() ? pts[(i + n - 1) % n] : kept.back();
      const Point2D& b = pts[i];
      const Point2D& c = pts[(i + 1) % n];
      const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
      if (std::fabs(cross) > kTurnTol)
        kept.push_back(b);
      else
        changed = true;
    }
    pts.swap(kept);
  }
  return pts;
}

// Pairs the sorted pieces strip by strip and chains the pairs to the right into loops.
int trace(const std::vector<Seg2D>& sorted, std::vector<std::vector<Point2D>>* out) {
  std::size_t n = sorted.size();
  while (n > 0 && isVertical(sorted[n - 1])) --n;
  if (n < 2) return 0;
  if (n % 2 != 0) return kBndMergeOddPieces;
  std::vector<Span> sp(n);
  for (std::size_t i = 0; i < n; ++i) sp[i] = spanOf(sorted[i]);
  const std::size_t pairs = n / 2;
  std::vector<char> used(pairs, 0);
  for (std::size_t start = 0; start < pairs; ++start) {
    if (used[start]) continue;
    std::vector<Point2D> pts;
    std::vector<std::size_t> uppers;
    std::size_t cur = start;
    for (;;) {
      used[cur] = 1;
      const Span& lo = sp[2 * cur];
      pushPoint(pts, lo.xa, lo.ya);
      pushPoint(pts, lo.xb, lo.yb);
      uppers.push_back(cur);
      // first piece of the next strip by binary search on the smallest x
      const auto first = std::lower_bound(sp.begin(), sp.end(), lo.xb,
                                          [](const Span& s, double x) { return s.xa < x; });
      std::size_t k = static_cast<std::size_t>(first - sp.begin());
      if (k % 2 != 0) ++k;
      std::size_t next = pairs;
      for (; k + 1 < n && sp[k].xa == lo.xb; k += 2) {
        const std::size_t q = k / 2;
        if (used[q]) continue;
        if (bndMergeSpansOverlap(sorted[2 * cur], sorted[2 * cur + 1], sorted[k], sorted[k + 1])) {
          next = q;
          break;
        }
      }
      if (next == pairs) break;
      cur = next;
    }
    for (auto it = uppers.rbegin(); it != uppers.rend(); ++it) {
      const Span& up = sp[2 * *it + 1];
      pushPoint(pts, up.xb, up.yb);
      pushPoint(pts, up.xa, up.ya);
    }
    std::vector<Point2D> loop = cleanLoop(std::move(pts));
    if (loop.size() >= 3) out->push_back(std::move(loop));
  }
  return 1;
}

void debugTrace(std::vector<Seg2D>& sorted) {
  if (!geoDebugOn() || sorted.empty()) return;
  Kont2D* k = kontNew(sorted.data(), static_cast<int>(sorted.size()));
  if (k == nullptr) return;
  k->count = static_cast<int>(sorted.size());
  const std::string name = std::string(geoWorkDir()) + "/Kont.kf";
  kontWriteSegs(k, name.c_str());
  kontFree(k);
}

// Orientation, split, sort and trace of the loops; result codes as bndMergeSegments.
int mergeLoops(std::vector<Loop>& loops, int swapXY, std::vector<std::vector<Point2D>>* out) {
  if (swapXY == 1)
    for (Loop& loop : loops)
      for (Seg2D& s : loop) {
        std::swap(s.x1, s.y1);
        std::swap(s.x2, s.y2);
      }
  std::size_t segments = 0;
  for (const Loop& loop : loops) segments += loop.size();
  if (segments < 2) return 0;  // nothing to pair
  orientByNesting(loops);
  std::vector<Seg2D> pieces;
  const int rc = splitAtX(loops, &pieces);
  if (rc < 0) return rc;
  std::sort(pieces.begin(), pieces.end(),
            [](const Seg2D& a, const Seg2D& b) { return bndMergeComparePieces(a, b) < 0; });
  debugTrace(pieces);
  const int tr = trace(pieces, out);
  if (tr <= 0) return tr;
  if (swapXY == 1)
    for (auto& loop : *out)
      for (Point2D& p : loop) std::swap(p.x, p.y);
  return 1;
}

}  // namespace

int bndMergeSpansOverlap(const Seg2D& curLower, const Seg2D& curUpper, const Seg2D& nextLower,
                         const Seg2D& nextUpper) {
  const Span cl = spanOf(curLower), cu = spanOf(curUpper);
  const Span nl = spanOf(nextLower), nu = spanOf(nextUpper);
  return (nl.ya <= cu.yb && nu.ya >= cl.yb) ? 1 : 0;
}

int bndMergeComparePieces(const Seg2D& a, const Seg2D& b) {
  const bool va = isVertical(a), vb = isVertical(b);
  if (va != vb) return va ? 1 : -1;
  if (va) return 0;
  const double ax = std::min(a.x1, a.x2), bx = std::min(b.x1, b.x2);
  if (ax != bx) return ax < bx ? -1 : 1;
  const double ay = std::min(a.y1, a.y2), by = std::min(b.y1, b.y2);
  if (ay != by) return ay < by ? -1 : 1;
  const double aY = std::max(a.y1, a.y2), bY = std::max(b.y1, b.y2);
  if (aY != bY) return aY < bY ? -1 : 1;
  const bool la = a.x2 < a.x1, lb = b.x2 < b.x1;
  if (la != lb) return la ? -1 : 1;
  return 0;
}

int bndParseValue(const char* line, char letter, double* value) {
  const char* at = std::strchr(line, letter);
  if (at == nullptr) return 0;
  const char c = at[1];
  if (!((c >= '0' && c <= '9') || c == '-' || c == ' ')) return 0;
  char* end = nullptr;
  const double v = std::strtod(at + 1, &end);
  if (end == at + 1) return 0;
  *value = v;
  return 1;
}

void bndParseXYZ(const char* line, Point3D* p) {
  bndParseValue(line, 'X', &p->x);
  bndParseValue(line, 'Y', &p->y);
  bndParseValue(line, 'Z', &p->z);
}

int bndMergeNoop(Kont2D* /*contour*/, double /*a*/, double /*b*/) { return 0; }

int bndMergeSegments(Seg2List* list, int swapXY) {
  if (list == nullptr) return geoFail(kGeoFailed, "bndmerge");
  try {
    std::vector<Loop> loops;
    Loop cur;
    for (int i = 0; i < list->count; ++i) {
      const Seg2D& s = list->items[i];
      cur.push_back(s);
      if (std::fabs(s.x2 - cur[0].x1) < kJoinTol && std::fabs(s.y2 - cur[0].y1) < kJoinTol) {
        loops.push_back(std::move(cur));
        cur.clear();
      }
    }
    if (!cur.empty()) loops.push_back(std::move(cur));
    std::vector<std::vector<Point2D>> out;
    const int rc = mergeLoops(loops, swapXY, &out);
    if (rc < 0) return rc;
    lstSeg2Reset(list);
    for (const auto& loop : out)
      for (std::size_t i = 0; i < loop.size(); ++i) {
        const Point2D& a = loop[i];
        const Point2D& b = loop[(i + 1) % loop.size()];
        if (lstSeg2Append(list, {a.x, a.y, b.x, b.y}) < 0) return geoFail(kGeoFailed, "bndmerge");
      }
    return rc;
  } catch (const std::bad_alloc&) {
    std::fputs("Speichermangel\n", stderr);
    return geoFail(kGeoFailed, "bndmerge");
  }
}

int bndMergeFile(const char* fileName, int swapXY, const char* outName) {
  std::FILE* in = fileName != nullptr ? std::fopen(fileName, "r") : nullptr;
  if (in == nullptr) {
    std::fprintf(stderr, "File nicht gefunden %s\n", fileName != nullptr ? fileName : "");
    return 0;
  }
  std::vector<std::vector<Point2D>> out;
  int rc = 1;
  try {
    std::vector<Loop> loops;
    std::vector<Point3D> block;
    bool inBlock = false;
    bool tooMany = false;
    int blocks = 0;
    Point3D p{0.0, 0.0, 0.0};
    const auto closeBlock = [&]() {
      if (block.size() >= 2) {
        Loop loop;
        for (std::size_t i = 1; i < block.size(); ++i)
          loop.push_back({block[i - 1].x, block[i - 1].y, block[i].x, block[i].y});
        const Point3D& a = block.back();
        const Point3D& f = block.front();
        if (std::fabs(a.x - f.x) >= kJoinTol || std::fabs(a.y - f.y) >= kJoinTol)
          loop.push_back({a.x, a.y, f.x, f.y});
        loops.push_back(std::move(loop));
      }
      block.clear();
      inBlock = false;
    };
    char line[kLineMax + 2];
    while (std::fgets(line, sizeof line, in) != nullptr) {
      if (std::strstr(line, "**BND") != nullptr) {
        closeBlock();
        if (++blocks > kBndMergeMaxBlocks) {
          std::fputs("Kann nicht alle Boundaries verarbeiten, MAXANZ erhoehen\n", stderr);
          std::fprintf(stderr, "Bearbeite %d Boundaries\n", kBndMergeMaxBlocks);
          tooMany = true;
          break;
        }
        inBlock = true;
        continue;
      }
      if (std::strstr(line, "**") != nullptr) {
        if (std::strstr(line, "**END") != nullptr) closeBlock();
        continue;
      }
      if (!inBlock) continue;
      bndParseXYZ(line, &p);
      block.push_back(swapXY == 1 ? Point3D{p.y, p.x, p.z} : p);
    }
    std::fclose(in);
    in = nullptr;
    if (tooMany) return geoFail(kGeoFailed, "bndmerge");
    closeBlock();
    // the points were read swapped already; the sweep exchanges them back only in the result
    rc = mergeLoops(loops, 0, &out);
    if (rc < 0) return rc;
    if (swapXY == 1)
      for (auto& loop : out)
        for (Point2D& q : loop) std::swap(q.x, q.y);
  } catch (const std::bad_alloc&) {
    if (in != nullptr) std::fclose(in);
    std::fputs("Speichermangel\n", stderr);
    return geoFail(kGeoFailed, "bndmerge");
  }
  const char* name = (outName != nullptr && outName[0] != '\0') ? outName : "tmp.bnd";
  std::FILE* f = std::fopen(name, "w");
  if (f == nullptr) return geoFail(kGeoFailed, "bndmerge");
  int number = 0;
  for (const auto& loop : out) {
    std::fprintf(f, "**BND %d\n", ++number);
    for (const Point2D& q : loop) std::fprintf(f, "X%lf Y%lf Z%lf\n", q.x, q.y, 0.0);
    std::fprintf(f, "X%lf Y%lf Z%lf\n", loop[0].x, loop[0].y, 0.0);
    std::fputs("**END\n\n", f);
  }
  const bool bad = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || bad) return geoFail(kGeoFailed, "bndmerge");
  return rc;
}
