// cut_regions.cpp - band edges of the rings, their combination into the regions the rings leave
// uncut, and the regions as extra rings of the nesting tree.
#include "pocket/cut_regions.h"

#include <cmath>
#include <new>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"
#include "pocket/link_search.h"
#include "pocket/pock_geometry.h"
#include "pocket/ring_loops.h"

namespace {
struct CutState {
  int mode = 0;   // 1 while the three cut layers exist for the level
  int state = 0;  // 0 normal pass, 1 after an island ring took over, 2 final resolution
};
CutState cutState;

constexpr const char* kCutLayers[3] = {"CUT_GKT", "CUT_SPAN", "CUT_BACK"};
// Guard of the self-merge restarts.
constexpr long kMergeMaxRounds = 100000;

struct Loops {
  std::vector<ContourElement> out;
  std::vector<ContourElement*> loops;
  std::vector<int> counts;
  int k = 0;
};

bool allocLoops(Loops* l) {
  try {
    l->out.resize(kContMaxElements + 16);
    l->loops.assign(kOffsetMaxLoops + 1, nullptr);
    l->counts.assign(kOffsetMaxLoops + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int readContour(const char* layer, int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) < 0) return -1;
  buf->resize(static_cast<std::size_t>(h->count) + 1);
  if (layerGetContour(layer, buf->data(), h->count + 1, h, i) < 0) return -1;
  return h->count;
}

int markIndex(const char* layer, int i, int mark) {
  ContourHeader h{};
  if (layerGetHeader(layer, &h, i) < 0) return -1;
  h.index = static_cast<std::int16_t>(mark);
  return layerSetHeader(layer, &h, i) < 0 ? -1 : 0;
}

int markOf(const char* layer, int i) {
  ContourHeader h{};
  return layerGetHeader(layer, &h, i) < 0 ? 0 : h.index;
}

ContourHeader loopHeader(const ContourHeader& base, const ContourElement* loop, int m) {
  ContourHeader h = base;
  h.ccw = contOrientation(loop, m) > 0 ? 1 : 0;
  h.count = m;
  h.elements = nullptr;
  return h;
}

double ratio() {
  const double r = pockEngine().pockDiameterRatio;
  return r > 0.0 ? r : 1.0;
}

// The crossings of a and b in the shared record table: -1 (code 3030) beyond 4999 or on failure.
int crossings(const ContourElement* a, int na, const ContourElement* b, int nb) {
  const int h = isectContours(a, na, b, nb, isectRecords(), kIsectRecordMax - 1);
  if (h < 0 || h > kIsectRecordMax - 1) {
    pockMessage(kPockCodeTooManyIsects);
    return -1;
  }
  return h;
}

// The loops of a and b from their h crossings, record 0 moved in at a's start.
int splitPair(std::vector<ContourElement>* a, ContourHeader* ha,
              const std::vector<ContourElement>& b, const ContourHeader& hb, int h, Loops* l) {
  IntersectionRecord* rec = isectRecords();
  for (int i = h; i > 0; --i) rec[i] = rec[i - 1];
  const Point2D s = contElemStart((*a)[0]);
  rec[0] = IntersectionRecord{s.x, s.y, 0.0, 1, 0, 1, 0};
  ContourHeader hbc = hb;
  l->k = offsetSplitAtIsects(a->data(), ha, b.data(), &hbc, rec, h + 1, l->out.data(),
                             l->loops.data(), l->counts.data());
  return l->k;
}

int insideOf(const std::vector<ContourElement>& a, int na, const std::vector<ContourElement>& b,
             int nb) {
  return isectContourInsideOf(a.data(), na, b.data(), nb);
}

int depthOf(int node) {
  const ContourTreeNode* nd = ctreeNodeAt(node);
  return nd == nullptr ? 0 : nd->depth;
}
}  // namespace

int ringCutLayersEnable(int flag) {
  cutState.mode = 0;
  if (flag == 0) return 0;
  for (const char* name : kCutLayers) {
    if (layerCreate(name) == 0) {
      for (const char* f : kCutLayers) layerFree(f);
      return -1;
    }
  }
  cutState.mode = 1;
  return 0;
}

void ringCutLayersFree() {
  if (cutState.mode == 0) return;
  for (const char* name : kCutLayers) layerFree(name);
  cutState.mode = 0;
}

int ringCutMode() { return cutState.mode; }

int ringCutLayerClear(const char* name) {
  if (cutState.mode == 0 || layerCount(name) == 0) return 0;
  return layerCreate(name) == 0 ? -1 : 0;
}

int ringCutSetState(int state) {
  cutState.state = state;
  return 0;
}

int ringCutState() { return cutState.state; }

int ringCutStartFree(const ContourElement* ring, int n, const ContourElement* loop, int m,
                     double d) {
  if (n <= 0 || m <= 0) return 0;
  double rho = d - 0.05;
  if (rho < 0.0) rho = d / 2.0;
  const Point2D p = contElemStart(ring[0]);
  const ContourElement circle = contMakeArc(p.x, p.y, p.x + rho, p.y, p.x + rho, p.y, rho, 1, 0);
  if (isectCircleHitsContour(circle, loop, m) > 0) return 0;
  if (contDistance(contElemStart(loop[0]), p) < rho) return 0;
  return 1;
}

int ringCutBand(const ContourElement* ring, int n, const ContourHeader& header, const char* layer,
                double radius, int dir) {
  if (cutState.mode == 0) return 0;
  PockEngine& eng = pockEngine();
  const int strict = eng.offsetStrict, narrow = eng.offsetNarrowCheck;
  eng.offsetStrict = 0;
  if (dir < 0) eng.offsetNarrowCheck = 0;
  Loops l;
  if (!allocLoops(&l)) {
    eng.offsetStrict = strict;
    eng.offsetNarrowCheck = narrow;
    return -1;
  }
  const int side = (header.leftSide != 0 ? 1 : -1) * (dir < 0 ? -1 : 1);
  ContourElement* end = nullptr;
  l.k = contOffset(ring, n, side, ratio() * radius, l.out.data(), static_cast<int>(l.out.size()),
                   &end, l.loops.data(), l.counts.data());
  eng.offsetStrict = strict;
  eng.offsetNarrowCheck = narrow;
  if (l.k < 0) return -1;
  const double used = eng.offsetLastDistance;
  int kept = 0;
  for (int j = 0; j < l.k; ++j) {
    ContourElement* loop = l.loops[static_cast<std::size_t>(j)];
    const int m = l.counts[static_cast<std::size_t>(j)];
    if (dir < 0) contReverse(loop, m);
    if (ringCutStartFree(ring, n, loop, m, used) == 0) continue;
    if (eng.pockStockMode == 0) {
      for (int i = 0; i < m; ++i) loop[i].tag = dir <= 0 ? -1 : header.group;
    }
    const ContourHeader h = loopHeader(header, loop, m);
    if (layerInsertContour(layer, loop, &h, -1) == 0) return -1;
    ++kept;
  }
  return kept;
}

int ringCutIslands(const char* layer, const char* target, double radius) {
  if (cutState.mode == 0) return 0;
  PockEngine& eng = pockEngine();
  Loops l;
  if (!allocLoops(&l)) return -1;
  std::vector<ContourElement> buf;
  int total = 0;
  for (int i = 0; i < layerCount(layer); ++i) {
    ContourHeader h{};
    const int n = readContour(layer, i, &buf, &h);
    if (n < 0) return -1;
    const int strict = eng.offsetStrict;
    eng.offsetStrict = 0;
    const int side = h.leftSide != 0 ? 1 : -1;
    ContourElement* end = nullptr;
    l.k = contOffset(buf.data(), n, side, ratio() * radius, l.out.data(),
                     static_cast<int>(l.out.size()), &end, l.loops.data(), l.counts.data());
    eng.offsetStrict = strict;
    if (l.k < 0) return -1;
    if (l.k == 0) continue;
    const int k = offsetSelectLoops(buf.data(), n, l.k, eng.offsetLastDistance, &end,
                                    l.loops.data(), l.counts.data(), side, h.ccw, 1);
    for (int j = 0; j < k; ++j) {
      ContourElement* loop = l.loops[static_cast<std::size_t>(j)];
      const int m = l.counts[static_cast<std::size_t>(j)];
      for (int e = 0; e < m; ++e) loop[e].tag = h.group;
      const ContourHeader lh = loopHeader(h, loop, m);
      if (layerInsertContour(target, loop, &lh, -1) == 0) return -1;
      ++total;
    }
  }
  return total;
}

int ringCutCombine(const char* name, const char* other, double /*radius*/, int mode) {
  if (cutState.mode == 0) return 0;
  Loops l;
  if (!allocLoops(&l)) return -1;
  for (int i = 0; i < layerCount(name); ++i) {
    if (markIndex(name, i, 0) < 0) return -1;
  }
  for (int i = 0; i < layerCount(other); ++i) {
    if (markIndex(other, i, 0) < 0) return -1;
  }
  std::vector<ContourElement> s, k;
  for (int si = 0; si < layerCount(other); ++si) {
    ContourHeader hs{};
    const int ns = readContour(other, si, &s, &hs);
    if (ns < 0) return -1;
    for (int ki = 0; ki < layerCount(name);) {
      ContourHeader hk{};
      const int nk = readContour(name, ki, &k, &hk);
      if (nk < 0) return -1;
      const int h = crossings(k.data(), nk, s.data(), ns);
      if (h < 0) return -1;
      if (h <= 1) {
        const bool kInS = insideOf(k, nk, s, ns) != 0;
        const bool sInK = !kInS && insideOf(s, ns, k, nk) != 0;
        if (kInS && hs.leftSide != hs.ccw) {
          if (markIndex(name, ki, -1) < 0) return -1;
        } else if (sInK && hk.leftSide != hk.ccw) {
          if (markIndex(name, ki, -1) < 0 || markIndex(other, si, -1) < 0) return -1;
        } else if (sInK && hk.ccw == hk.leftSide && hs.ccw == hs.leftSide) {
          if (markIndex(other, si, 1) < 0) return -1;
        }
        ++ki;
        continue;
      }
      hk.index = 0;
      const int nl = splitPair(&k, &hk, s, hs, h, &l);
      if (nl < 0) return -1;
      if (layerDeleteContour(name, ki) == 0) return -1;
      for (int j = 0; j < nl; ++j) {
        ContourElement* loop = l.loops[static_cast<std::size_t>(j)];
        const int m = l.counts[static_cast<std::size_t>(j)];
        contArcsRecentre(loop, m);
        ContourHeader lh = loopHeader(hk, loop, m);
        lh.index = 0;
        if (layerInsertContour(name, loop, &lh, ki + j) == 0) return -1;
      }
      if (markIndex(other, si, -1) < 0) return -1;
      ki += nl;
    }
  }
  for (int i = layerCount(name) - 1; i >= 0; --i) {
    if (markOf(name, i) == -1 && layerDeleteContour(name, i) == 0) return -1;
  }
  const bool all = cutState.state == 2 || (cutState.state == 1 && mode == 1);
  for (int i = 0; i < layerCount(other); ++i) {
    ContourHeader h{};
    const int n = readContour(other, i, &s, &h);
    if (n < 0) return -1;
    if ((h.index == 1 || all) && h.ccw == h.leftSide) {
      h.elements = nullptr;
      h.index = 0;
      if (layerInsertContour(name, s.data(), &h, -1) == 0) return -1;
    }
  }
  for (int i = layerCount(other) - 1; i >= 0; --i) {
    if (markOf(other, i) == -1 && layerDeleteContour(other, i) == 0) return -1;
  }
  return layerCount(name);
}

int ringCutMergeSelf(const char* name) {
  Loops l;
  if (!allocLoops(&l)) return -1;
  std::vector<ContourElement> a, b;
  long rounds = 0;
  bool restart = true;
  while (restart) {
    restart = false;
    if (++rounds > kMergeMaxRounds) {
      pockMessage(kPockCodeNoMemory);
      return -1;
    }
    const int count = layerCount(name);
    for (int i = 0; i < count && !restart; ++i) {
      for (int j = i + 1; j < count && !restart; ++j) {
        ContourHeader hi{}, hj{};
        const int ni = readContour(name, i, &b, &hi);
        const int nj = readContour(name, j, &a, &hj);
        if (ni < 0 || nj < 0) return -1;
        const int h = crossings(a.data(), nj, b.data(), ni);
        if (h < 0) return -1;
        if (h < 2) continue;
        const int nl = splitPair(&a, &hj, b, hi, h, &l);
        if (nl < 0) return -1;
        if (nl == 0) continue;
        if (layerDeleteContour(name, j) == 0 || layerDeleteContour(name, i) == 0) return -1;
        for (int p = 0; p < nl; ++p) {
          ContourElement* loop = l.loops[static_cast<std::size_t>(p)];
          const int m = l.counts[static_cast<std::size_t>(p)];
          contArcsRecentre(loop, m);
          const ContourHeader lh = loopHeader(hj, loop, m);
          if (layerInsertContour(name, loop, &lh, p) == 0) return -1;
        }
        restart = true;
      }
    }
  }
  return layerCount(name);
}

int ringCutInteracts(const char* back, const char* span) {
  std::vector<ContourElement> s, b;
  for (int si = 0; si < layerCount(span); ++si) {
    ContourHeader hs{};
    const int ns = readContour(span, si, &s, &hs);
    if (ns < 0) return -1;
    for (int bi = 0; bi < layerCount(back); ++bi) {
      ContourHeader hb{};
      const int nb = readContour(back, bi, &b, &hb);
      if (nb < 0) return -1;
      const int h = crossings(s.data(), ns, b.data(), nb);
      if (h < 0) return -1;
      if (h >= 2) return 1;
      const int w = insideOf(s, ns, b, nb);
      const int o = contOrientation(b.data(), nb);
      if ((w == 1 && o == -1) || (w == -1 && o == 1)) return 1;
      const int w2 = insideOf(b, nb, s, ns);
      const int o2 = contOrientation(s.data(), ns);
      if ((w2 == 1 && o2 == -1) || (w2 == -1 && o2 == 1)) return 1;
    }
  }
  return 0;
}

int ringCutRegionValid(const char* name, double minDist, int n, const ContourElement* region) {
  const PockEngine& eng = pockEngine();
  const double R = eng.pockToolRadius;
  std::vector<ContourElement> c;
  for (int i = 0; i < layerCount(name); ++i) {
    ContourHeader h{};
    const int nc = readContour(name, i, &c, &h);
    if (nc < 0) return 0;
    const int x = isectContours(region, n, c.data(), nc, isectRecords(), kIsectRecordMax - 1);
    if (x != 0) return 0;
    const bool inside = isectContourInsideOf(region, n, c.data(), nc) != 0;
    if (inside != (i == 0)) return 0;
    if (minDist > eng.contTol) {
      const double d = linkContoursMinDistance(region, n, c.data(), nc);
      if (d < minDist || d < 0.1 * R) return 0;
    }
  }
  if (eng.pockStepFactor < 0.5 && contLength(region, n) > 25.0 * R) return 0;
  return 1;
}

void contMarkShortArcs(ContourElement* elements, int n, double length) {
  if (n <= 0) return;
  std::vector<int> tags(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) tags[static_cast<std::size_t>(i)] = elements[i].tag;
  for (int i = 0; i < n; ++i) {
    ContourElement& e = elements[i];
    if (e.type != kContArc || e.tag < 0) continue;
    const int prev = tags[static_cast<std::size_t>((i + n - 1) % n)];
    const int next = tags[static_cast<std::size_t>((i + 1) % n)];
    if (prev >= 0 || next >= 0) continue;
    if (contDistance(contArcStart(e), contArcEnd(e)) < length) e.tag = kContTagOpen;
  }
}

int ringCutRegions() {
  if (cutState.mode == 0) return 0;
  const PockEngine& eng = pockEngine();
  const double R = eng.pockToolRadius;
  if (eng.pockStockMode != 0) {
    if (ringCutMergeSelf("CUT_SPAN") < 0) return -1;
    if (layerCount("CUT_BACK") == 0) return 0;
    const int x = ringCutInteracts("CUT_BACK", "CUT_SPAN");
    if (x < 0) return -1;
    if (x == 0) return 0;
  }
  const int b = ringCutCombine("CUT_SPAN", "CUT_BACK", R, 1);
  if (b < 0) return -1;
  if ((b == 0 && cutState.state == 0) || (cutState.state == 2 && layerCount("CUT_GKT") == 0)) {
    return 0;
  }
  const int g = ringCutCombine("CUT_SPAN", "CUT_GKT", R, 2);
  if (g < 0) return -1;
  if (g == 0) return 0;
  const double fillet = eng.pockFilletRadius;
  const double minDist = pockAllowances()[0] + R > 0.1 ? R : R * eng.pockStepFactor * 0.8;
  std::vector<ContourElement> buf;
  for (int i = 0; i < layerCount("CUT_SPAN"); ++i) {
    ContourHeader h{};
    int n = readContour("CUT_SPAN", i, &buf, &h);
    if (n < 0) return -1;
    if (std::fabs(0.1 * fillet) > 0.0001) {
      buf.resize(static_cast<std::size_t>(n) * 4 + 16);
      const int r = contRoundCorners(buf.data(), n, static_cast<int>(buf.size()), fillet);
      if (r > 0) n = r;
    }
    if (ringCutRegionValid("MAIN", minDist, n, buf.data()) != 1) continue;
    contMarkShortArcs(buf.data(), n, R / 2.0);
    h.count = n;
    h.elements = nullptr;
    const int node = ctreeAdd(buf.data(), &h, h.group, depthOf(h.group) + 1);
    if (node < 0) return -1;
    for (int e = 0; e < n; ++e) {
      const int t = buf[static_cast<std::size_t>(e)].tag;
      if (t < 0 || ctreeHasChild(node, t) != 0) continue;
      ctreeRelate(node, t);
    }
  }
  if (layerCount("CUT_SPAN") > 0 && layerCreate("CUT_SPAN") == 0) return -1;
  return 1;
}

void ringCutResetState() { cutState = CutState{}; }
