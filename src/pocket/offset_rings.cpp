// offset_rings.cpp - the ring builders of a pocketing level: island contours, first rings, merges
// of rings with island rings, successive rings and the seeding and regrouping of the island side.
// Every ring becomes a tree node related to the rings its elements came from, which is what the
// linkers walk; a wrong ring gouges and a missing one leaves material, so every failure is passed
// up and every loop is bounded.
#include "pocket/offset_rings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/geo_error.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_reduce.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/edge_corners.h"
#include "pocket/engine_state.h"
#include "pocket/link_search.h"
#include "pocket/rest_file.h"
#include "pocket/ring_loops.h"

namespace {
RingSettings settings;

// Silent codes: the island side changed size while rings were merged.
constexpr int kCodeGktChangedSpans = 3211;
constexpr int kCodeGktChangedIslands = 3212;
constexpr int kCodeCutLeft = 3298;

// Room of an offset's output: every loop of the offset fits.
constexpr int kOffsetRoom = 2 * kContMaxElements + 2;

// The results of one offset: loops in one buffer.
struct Loops {
  std::vector<ContourElement> out;
  std::vector<ContourElement*> loops;
  std::vector<int> counts;
  int k = 0;
  Loops() : out(kOffsetRoom), loops(kOffsetMaxLoops + 1), counts(kOffsetMaxLoops + 1) {}
};

int ringFail(int code = -1) { return geoFail(code, "offset_rings"); }

int sideOf(const ContourHeader& h) { return h.leftSide != 0 ? 1 : -1; }

void sourceMode() {
  pockEngine().offsetStrict = 1;
  pockEngine().offsetRingMode = 0;
}

void ringMode() {
  pockEngine().offsetStrict = 0;
  pockEngine().offsetRingMode = 1;
}

// Reads contour i of a layer. Returns its count; -1 when unreadable.
int readContour(const char* layer, int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) < 0) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1) + 8);
  if (layerGetContour(layer, buf->data(), static_cast<int>(buf->size()), h, i) < 0) return -1;
  return h->count;
}

// A new header for a loop built from a source contour: the source's values, its leftSide, ccw from
// the loop's orientation, the given group.
ContourHeader loopHeader(const ContourHeader& src, const ContourElement* loop, int m, int group) {
  ContourHeader h = src;
  h.count = m;
  h.elements = nullptr;
  h.ccw = contOrientation(loop, m) == 1 ? 1 : 0;
  h.group = static_cast<std::int16_t>(group);
  return h;
}

int offsetInto(const ContourElement* e, int n, int side, double d, Loops* l) {
  ContourElement* end = nullptr;
  l->k = contOffset(e, n, side, d, l->out.data(), kOffsetRoom, &end, l->loops.data(),
                    l->counts.data());
  return l->k;
}

// Relates node to each ring named by an element tag that is not yet its child; -2 stands for
// own, -1 relates nothing.
void relateTags(int node, const ContourElement* e, int n, int own) {
  for (int i = 0; i < n; ++i) {
    int t = e[i].tag;
    if (t == kContTagOpenBnd) t = own;
    if (t < 0 || ctreeHasChild(node, t) != 0) continue;
    ctreeRelate(node, t);
  }
}

int depthOf(int node) {
  const ContourTreeNode* nd = ctreeNodeAt(node);
  return nd == nullptr ? 0 : nd->depth;
}

int setGroup(const char* layer, int i, int group) {
  return layerSetLevel(layer, group, i) < 0 ? ringFail() : 1;
}

// The first ring's corner rounding when asked for; a failed rounding keeps the ring.
void roundFirstRing(std::vector<ContourElement>* buf, int* n, bool inner) {
  const PockEngine& eng = pockEngine();
  if (settings.filletCorners == 0 || settings.filletRadius == 0.0) return;
  if (!inner && eng.pockStrategyOpenPocket != 0) return;
  buf->resize(static_cast<std::size_t>(*n) * 4 + 16);
  const int r = contRoundCornersByOffset(buf->data(), *n, static_cast<int>(buf->size()),
                                         settings.filletRadius, inner ? 1 : 0);
  if (r > 0) *n = r;
}
}  // namespace

RingSettings& ringSettings() { return settings; }

void ringSettingsResetState() { settings = RingSettings{}; }

// ---- island contours and first rings
// ----------------------------------------------------------------

int ringOffsetIslands(double r, const double* allowances, int /*side*/) {
  PockEngine& eng = pockEngine();
  eng.offsetRetry = 0;
  eng.offsetFollowFailed = 0;
  eng.offsetNarrowCheck = 0;
  if (layerCreate("GKT") == 0) return ringFail();
  ringInitReach();
  sourceMode();
  std::vector<ContourElement> buf;
  Loops l;
  const int count = layerCount("MAIN");
  for (int i = 1; i < count; ++i) {
    ContourHeader h{};
    const int n = readContour("MAIN", i, &buf, &h);
    if (n < 0) return ringFail();
    const double a = allowances != nullptr ? allowances[i] : ringAllowance(i);
    const int k = offsetInto(buf.data(), n, sideOf(h), r + a, &l);
    if (k < 0) return ringFail();
    for (int j = 0; j < k; ++j) {
      std::vector<ContourElement> loop(l.loops[j], l.loops[j] + l.counts[j]);
      int m = l.counts[j];
      if (eng.pockStrategyOpenPocket != 0 && settings.filletCorners != 0 &&
          settings.filletRadius != 0.0) {
        roundFirstRing(&loop, &m, true);
      }
      const ContourHeader lh = loopHeader(h, loop.data(), m, i);
      if (layerInsertContour("GKT", loop.data(), &lh, -1) == 0) return ringFail();
    }
  }
  return 1;
}

int ringBuildSpans(double r, double allowance0, double zm, int side) {
  PockEngine& eng = pockEngine();
  eng.offsetNarrowCheck = eng.pockDirectLinking != 0 ? 1 : 0;
  const double d0 = r + allowance0;
  const double step = 2.0 * r * zm;
  const int zero = std::fabs(d0) < 0.0001 ? 1 : 0;
  rifWriteRadius(r);
  if (layerCreate("SPAN") == 0) return ringFail();
  if (eng.paramPocketContour != 0 && ringRotateToUnmarked(0) < 0) return ringFail();

  std::vector<ContourElement> buf;
  ContourHeader h0{};
  const int n0 = readContour("MAIN", 0, &buf, &h0);
  if (n0 <= 0) return ringFail();
  sourceMode();
  Loops l;
  int k = offsetInto(buf.data(), n0, side, d0, &l);
  if (k < 0) return ringFail();
  if (k == 0) return 0;
  if (d0 > 2.0 * eng.contTol) {
    k = offsetSelectLoops(buf.data(), n0, k, d0, nullptr, l.loops.data(), l.counts.data(), side,
                          h0.ccw, 0);
  }
  for (int j = 0; j < k; ++j) {
    const ContourHeader lh = loopHeader(h0, l.loops[j], l.counts[j], 0);
    if (layerInsertContour("SPAN", l.loops[j], &lh, -1) == 0) return ringFail();
  }
  int merged = k;
  if (ringNeedsOffset("MAIN", r) != 0) {
    const int gktBefore = layerCount("GKT");
    merged = ringMergeIslandContours("SPAN", d0, k, h0.group, 1);
    if (merged < 0) return -1;
    if (layerCount("GKT") != gktBefore) pockMessage(kCodeGktChangedSpans);
  }
  const int spanCount = layerCount("SPAN");
  for (int i = spanCount - merged; i < spanCount; ++i) {
    ContourHeader h{};
    int n = readContour("SPAN", i, &buf, &h);
    if (n < 0) return ringFail();
    if (n == 0) continue;
    roundFirstRing(&buf, &n, false);
    h.count = n;
    const int node = ctreeAdd(buf.data(), &h, 0, 0);
    if (node < 0) return ringFail();
    if (setGroup("SPAN", i, node) < 0) return -1;
    if (eng.paramPocketContour != 0) ctreeRelate(node, 0);
    rifWriteContour(buf.data(), n, &h);
  }
  if (settings.reduceContours != 0) layerReduceContours("SPAN", 0.01 * r, zero);

  if (layerCreate("INSEL") == 0) return ringFail();
  for (int guard = 0; layerCount("GKT") > 0; ++guard) {
    if (guard > kRingMaxIterations) {
      pockMessage(kPockCodeNoMemory);
      return ringFail();
    }
    ContourHeader h{};
    const int n = readContour("GKT", -1, &buf, &h);
    if (n < 0) return ringFail();
    if (layerInsertContour("INSEL", buf.data(), &h, -1) == 0 ||
        layerDeleteContour("GKT", -1) == 0) {
      return ringFail();
    }
    const int gktBefore = layerCount("GKT");
    if (ringMergeIslandContours("INSEL", r, 1, h.group, 0) < 0) return -1;
    if (layerCount("GKT") != gktBefore) pockMessage(kCodeGktChangedIslands);
  }
  for (int i = 0; i < layerCount("INSEL");) {
    ContourHeader h{};
    int n = readContour("INSEL", i, &buf, &h);
    if (n < 0) return ringFail();
    if (ringStartFree(buf.data(), n, r, &h) == 0) {
      if (layerDeleteContour("INSEL", i) == 0) return ringFail();
      continue;
    }
    roundFirstRing(&buf, &n, true);
    h.count = n;
    if (settings.forceInside != 0) contReverse(buf.data(), n);
    const int node = ctreeAdd(buf.data(), &h, 0, 0);
    if (settings.forceInside != 0) contReverse(buf.data(), n);
    if (node < 0) return ringFail();
    if (setGroup("INSEL", i, node) < 0) return -1;
    rifWriteContour(buf.data(), n, &h);
    ++i;
  }
  if (ringCutIslands("INSEL", "CUT_GKT", r) < 0) return ringFail();

  layerClear("GKT");
  const int inselCount = layerCount("INSEL");
  std::vector<ContourElement> reduced;
  for (int i = 0; i < inselCount; ++i) {
    ContourHeader h{};
    const int n = readContour("INSEL", i, &buf, &h);
    if (n < 0) return ringFail();
    reduced.assign(buf.begin(), buf.begin() + n);
    int m = contReduceShort(reduced.data(), n, 0.01 * r, zero);
    if (m <= 0) {
      reduced.assign(buf.begin(), buf.begin() + n);
      m = n;
    }
    ringMode();
    eng.offsetNarrowCheck = 0;
    k = offsetInto(reduced.data(), m, sideOf(h), step, &l);
    if (k >= 0 && eng.offsetRetry != 0) k = offsetInto(buf.data(), n, sideOf(h), step, &l);
    eng.offsetNarrowCheck = eng.pockDirectLinking != 0 ? 1 : 0;
    if (k < 0) return ringFail();
    if (k > 0 && eng.offsetLastDistance > 0.0) {
      k = offsetSelectLoops(buf.data(), n, k, step, nullptr, l.loops.data(), l.counts.data(),
                            sideOf(h), h.ccw, 1);
    }
    for (int j = 0; j < k; ++j) {
      ContourElement* loop = l.loops[j];
      const int lm = l.counts[j];
      const int ccw = contOrientation(loop, lm) == 1 ? 1 : 0;
      if (ccw == h.leftSide && ringClearOfMain(lm, loop) != 0) continue;
      contSetTags(loop, lm, h.group);
      const ContourHeader lh = loopHeader(h, loop, lm, h.group);
      if (layerInsertContour("GKT", loop, &lh, -1) == 0) return ringFail();
    }
  }
  return 1;
}

// ---- merging rings with island contours
// -------------------------------------------------------------

int ringRetryGkt(int position) {
  PockEngine& eng = pockEngine();
  if (eng.offsetFollowFailed == 0) return 0;
  std::vector<ContourElement> buf;
  ContourHeader h{};
  const int n = readContour("GKT", position, &buf, &h);
  if (n <= 0) return n < 0 ? ringFail() : 0;
  Loops l;
  const int k = offsetInto(buf.data(), n, h.leftSide != 0 ? -1 : 1, -0.0006, &l);
  if (k < 0) return ringFail();
  if (k != 1) return 0;
  ContourHeader nh = h;
  nh.count = l.counts[0];
  nh.elements = nullptr;
  nh.group = -1;
  if (layerReplaceContour("GKT", l.loops[0], &nh, position) == 0) return ringFail();
  return 1;
}

int ringMergeIslandContours(const char* name, double dist, int first, int parentNode, int mode) {
  PockEngine& eng = pockEngine();
  int retries = 0;
  layerNumberContours(name);
  int largest = layerMaxLevel(name);
  int nextFree = layerCount(name);
  int count = first;
  int p0 = layerCount(name) - first;
  if (p0 < 0 || first < 0) return ringFail();
  // The island side merged among itself: A and B come from one layer, so a contour is never
  // compared with itself and deleting B moves the positions behind it down by one.
  const bool sameLayer = std::strcmp(name, "GKT") == 0;
  IntersectionRecord* rec = isectRecords();
  std::vector<ContourElement> a, b, out(kSplitMaxElements + 16);
  std::vector<ContourElement*> pieces(kIsectRecordMax + 1);
  std::vector<int> counts(kIsectRecordMax + 1);
  long iterations = 0;
  int p = p0;
  const auto deleteB = [&](int q) {
    if (layerDeleteContour("GKT", q) == 0) return false;
    if (sameLayer) {
      if (q < p0) {
        --p0;
        --p;
      } else {
        if (q < p) --p;
        --count;
      }
    }
    return true;
  };
  while (p < p0 + count) {
    if (++iterations > kRingMaxIterations) {
      pockMessage(kPockCodeNoMemory);
      return ringFail();
    }
    ContourHeader ha{};
    const int na = readContour(name, p, &a, &ha);
    if (na < 0) return ringFail();
    const bool wasZero = ha.group == 0;
    if (wasZero) {
      ha.group = static_cast<std::int16_t>(++largest);
      if (setGroup(name, p, ha.group) < 0) return -1;
    }
    bool advance = true;
    bool restart = false;
    for (int q = 0; q < layerCount("GKT"); ++q) {
      if (++iterations > kRingMaxIterations) {
        pockMessage(kPockCodeNoMemory);
        return ringFail();
      }
      if (sameLayer && q == p) continue;
      ContourHeader hb{};
      const int nb = readContour("GKT", q, &b, &hb);
      if (nb < 0) return ringFail();
      const int gb = std::abs(static_cast<int>(hb.group));
      if (mode == 1 && ringRelationHas(ha.index, gb) != 0) continue;
      const int h = isectContours(a.data(), na, b.data(), nb, rec, kIsectRecordMax);
      if (eng.paramPocketContour != 0 && h > 100) eng.offsetFollowFailed = 1;
      if (h < 0 || h > kIsectRecordMax) {
        pockMessage(kPockCodeTooManyIsects);
        return ringFail();
      }
      if (h <= 1) {
        if (mode == 1) {
          if (isectContourInsideOf(a.data(), na, b.data(), nb) != 0) {
            if (parentNode >= 0) {
              ctreeRelate(gb, parentNode);
              for (int k = 0; k < ringRelationCount(ha.index); ++k) {
                ctreeRelate(ringRelationAt(ha.index, k), parentNode);
              }
            }
            if (hb.group > 0 && setGroup("GKT", q, -hb.group) < 0) return -1;
            if (wasZero) {
              if (layerDeleteContour(name, p) == 0) return ringFail();
              --count;
              advance = false;
              break;
            }
            ha.group = static_cast<std::int16_t>(-std::abs(static_cast<int>(ha.group)));
            if (setGroup(name, p, ha.group) < 0) return -1;
          } else if (isectContourInsideOf(b.data(), nb, a.data(), na) != 0) {
            continue;
          } else if (ha.group < 0 && ha.ccw == ha.leftSide && hb.ccw == hb.leftSide) {
            if (hb.group > 0 && setGroup("GKT", q, -hb.group) < 0) return -1;
          }
          continue;
        }
        if (eng.pockStockMode == 0) continue;
        if (isectContourInsideOf(a.data(), na, b.data(), nb) != 0 &&
            (ha.ccw != hb.ccw || ha.leftSide != hb.leftSide) &&
            linkContoursMinDistance(a.data(), na, b.data(), nb) <= dist) {
          if (!deleteB(q) || layerDeleteContour(name, p) == 0) return ringFail();
          --count;
          advance = false;
          break;
        }
        if (isectContourInsideOf(b.data(), nb, a.data(), na) != 0) {
          const bool inMarked = layerContourInsideMarked(b.data(), nb, "MAIN") != 0;
          if (inMarked || (ha.ccw != ha.leftSide && hb.ccw == hb.leftSide &&
                           linkContoursMinDistance(a.data(), na, b.data(), nb) < dist)) {
            if (!deleteB(q)) return ringFail();
          }
          break;
        }
        continue;
      }
      // Two or more crossings: the loops of A and B, starting from A's start point. The record
      // table must hold the extra record before anything moves.
      if (h + 1 > kIsectRecordMax) {
        pockMessage(kPockCodeTooManyIsects);
        return ringFail();
      }
      for (int i = h; i > 0; --i) rec[i] = rec[i - 1];
      const Point2D s = contElemStart(a[0]);
      rec[0] = IntersectionRecord{s.x, s.y, 0.0, 1, 0, 1, 0};
      if (eng.paramPocketContour != 0) isectDropDuplicates(rec, h + 1);
      std::vector<ContourElement> aw(a.begin(), a.begin() + na);
      ContourHeader haw = ha;
      const int k = offsetSplitAtIsects(aw.data(), &haw, b.data(), &hb, rec, h + 1, out.data(),
                                        pieces.data(), counts.data());
      if (k < 0) return -1;
      if (eng.offsetFollowFailed != 0 && retries < kRingMaxRetries && eng.paramPocketContour == 0) {
        ++retries;
        const int rr = ringRetryGkt(q);
        eng.offsetFollowFailed = 0;
        if (rr < 0) return -1;
        if (rr == 1) --q;  // the same pair again with the re-offset island contour
        continue;
      }
      if (mode == 0) {
        if (!deleteB(q)) return ringFail();
      } else if (setGroup("GKT", q, -gb) < 0) {
        return -1;
      }
      if (layerDeleteContour(name, p) == 0) return ringFail();
      for (int j = 0; j < k; ++j) {
        contArcsRecentre(pieces[j], counts[j]);
        ContourHeader ph = loopHeader(ha, pieces[j], counts[j], ha.group);
        const int pos = nextFree++;
        if (pos > INT16_MAX) return ringFail();
        ph.index = static_cast<std::int16_t>(pos);
        if (ringCopyRelations(ha.index, pos) < 0 || ringRelationAdd(pos, gb) < 0) return -1;
        if (layerInsertContour(name, pieces[j], &ph, p + j) == 0) return ringFail();
      }
      count += k - 1;
      restart = true;
      break;
    }
    if (restart) {
      p = p0;
    } else if (advance) {
      ++p;
    }
  }
  if (mode == 1) {
    for (int q = layerCount("GKT") - 1; q >= 0; --q) {
      ContourHeader hb{};
      if (layerGetHeader("GKT", &hb, q) >= 0 && hb.group < 0 && layerDeleteContour("GKT", q) == 0) {
        return ringFail();
      }
    }
    for (int i = layerCount(name) - 1; i >= 0; --i) {
      ContourHeader h{};
      if (layerGetHeader(name, &h, i) < 0 || h.group >= 0) continue;
      if (layerDeleteContour(name, i) == 0) return ringFail();
      --count;
    }
  }
  return count;
}

// ---- successive rings
// -------------------------------------------------------------------------------

namespace {
// Makes the last count SPAN contours tree nodes of the given depth below parent (element tags and
// the strategies' extra relation), each with its node as group. Rings offset from parent
// (extraRelation) get their fillets and edge-movement corner spurs first.
int spanRingsToNodes(int count, int parent, int depth, bool extraRelation) {
  const PockEngine& eng = pockEngine();
  std::vector<ContourElement> buf;
  const int total = layerCount("SPAN");
  for (int i = total - count; i < total; ++i) {
    if (i < 0) continue;
    ContourHeader h{};
    int n = readContour("SPAN", i, &buf, &h);
    if (n < 0) return ringFail();
    if (extraRelation && settings.filletRadius != 0.0) {
      buf.resize(static_cast<std::size_t>(n) * 4 + 16);
      n = contSplitLargeArcs(buf.data(), n, static_cast<int>(buf.size()));
      const int r =
          contRoundCorners(buf.data(), n, static_cast<int>(buf.size()), settings.filletRadius);
      if (r > 0) n = r;
    }
    if (extraRelation) {
      // Room for the two lines of a spur at every corner.
      buf.resize(static_cast<std::size_t>(n) * 3 + 16);
      n = pockEdgeCorners(parent, buf.data(), n, static_cast<int>(buf.size()));
    }
    if (ringCutBand(buf.data(), n, h, "CUT_BACK", eng.pockToolRadius, -1) < 0) return ringFail();
    h.count = n;
    const int node = ctreeAdd(buf.data(), &h, parent, depth);
    if (node < 0) return ringFail();
    relateTags(node, buf.data(), n, parent);
    if (extraRelation && (eng.pockStrategyStockOutin != 0 || eng.pockStrategyOpenPocket != 0)) {
      if (ctreeHasChild(node, parent) == 0) ctreeRelate(node, parent);
      for (int j = 0; j < n; ++j) {
        if (buf[j].tag == kContTagOpen) buf[j].tag = parent;
      }
      ctreeSetElems(buf.data(), n, ctreeNodeAt(node)->block);
    }
    if (setGroup("SPAN", i, node) < 0) return -1;
  }
  return 1;
}

void freeRingLayers() {
  layerFree("SPAN");
  layerFree("GKT");
  if (pockEngine().pockDirectLinking == 0) layerFree("MAIN");
  if (settings.collecting == 0) layerFree("INSEL");
}
}  // namespace

int ringBuildSuccessive(double step, int /*side*/, int once) {
  PockEngine& eng = pockEngine();
  eng.offsetNarrowCheck = 1;
  std::vector<ContourElement> buf;
  Loops l;
  bool firstPass = true;
  for (long pass = 0;; ++pass) {
    if (pass > kRingMaxIterations) {
      pockMessage(kPockCodeNoMemory);
      return ringFail();
    }
    if (layerCount("SPAN") <= 0) break;
    ContourHeader hl{};
    const int n = readContour("SPAN", -1, &buf, &hl);
    if (n < 0) return ringFail();
    layerClear("CUT_SPAN");
    layerClear("CUT_BACK");
    double bandR = eng.pockToolRadius;
    if (firstPass && hl.stockMark != 0 && settings.diameterRatio != 0.0) {
      bandR /= settings.diameterRatio;
    }
    if (ringCutBand(buf.data(), n, hl, "CUT_SPAN", bandR, 1) < 0) return ringFail();
    firstPass = false;
    const int side = sideOf(hl);
    int k = 0;
    if (!(n <= 4 && contLength(buf.data(), n) < step)) {
      double d = step + settings.firstStepCorrection;
      if (settings.firstStepCorrection < -0.1 && d < 0.0) d = 0.1;
      ringMode();
      k = offsetInto(buf.data(), n, side, d, &l);
      if (k < 0) return ringFail();
      if (k == 0 && eng.offsetRetry != 0) pockMessage(eng.offsetRetry);
      if (k > 0 && d > 0.0) {
        k = offsetSelectLoops(buf.data(), n, k, d, nullptr, l.loops.data(), l.counts.data(), side,
                              hl.ccw, 1);
      }
    }
    if (layerDeleteContour("SPAN", -1) == 0) return ringFail();
    if (k > 0) {
      for (int j = 0; j < k; ++j) {
        contSetTags(l.loops[j], l.counts[j], hl.group);
        const ContourHeader lh = loopHeader(hl, l.loops[j], l.counts[j], 0);
        if (layerInsertContour("SPAN", l.loops[j], &lh, -1) == 0) return ringFail();
      }
      settings.firstStepCorrection = 0.0;
      const int merged = ringMergeIslandContours("SPAN", step, k, hl.group, 1);
      if (merged < 0) return -1;
      if (spanRingsToNodes(merged, hl.group, depthOf(hl.group) + 1, true) < 0) return -1;
      if (const int cr = ringCutRegions(); cr < 0) {
        return ringFail();
      } else if (cr == 1) {
        pockMessage(kCodeCutLeft);
      }
      if (layerCount("SPAN") == 0 && layerCount("GKT") > 0) {
        const int r = ringSeedFromIsland(step);
        if (r != 0) return r;
      }
      if (once == 1) return 1;
    } else {
      if (layerCount("SPAN") == 0 && layerCount("GKT") > 0) {
        const int r = ringSeedFromIsland(step);
        if (r != 0) return r;
        ringCutSetState(1);
      }
      if (const int cr = ringCutRegions(); cr < 0) {
        return ringFail();
      } else if (cr == 1) {
        pockMessage(kCodeCutLeft);
      }
    }
  }
  ringCutSetState(2);
  const int finalCut = ringCutRegions();
  ringCutSetState(0);
  if (finalCut < 0) return ringFail();
  freeRingLayers();
  return 1;
}

int ringSeedFromIsland(double step) {
  if (layerCount("GKT") <= 0) return ringFail();
  for (int q = layerCount("GKT") - 1; q >= 0; --q) {
    ContourHeader h{};
    if (layerGetHeader("GKT", &h, q) >= 0 && h.group < 0 && layerDeleteContour("GKT", q) == 0) {
      return ringFail();
    }
  }
  std::vector<ContourElement> buf;
  const int count = layerCount("GKT");
  for (int q = 0; q < count; ++q) {
    ContourHeader h{};
    const int n = readContour("GKT", q, &buf, &h);
    if (n < 0) return ringFail();
    const int o = contOrientation(buf.data(), n);
    if (o != 0) h.ccw = o == 1 ? 1 : 0;
    if (!((o == 1 && h.leftSide != 0) || (o == -1 && h.leftSide == 0))) continue;
    if (layerInsertContour("SPAN", buf.data(), &h, -1) == 0 || layerDeleteContour("GKT", q) == 0) {
      return ringFail();
    }
    const int island = h.group;
    const int merged = ringMergeIslandContours("SPAN", step, 1, island, 1);
    if (merged < 0) return -1;
    return spanRingsToNodes(merged, island, 1, false) < 0 ? -1 : 0;
  }
  return 0;
}

int ringRegroupGkt(double step, int /*side*/) {
  PockEngine& eng = pockEngine();
  eng.offsetLastDistance = step;
  eng.offsetRetry = 0;
  eng.offsetFollowFailed = 0;
  ringMode();
  if (layerCreate("TEMP") == 0) return ringFail();
  std::vector<ContourElement> buf;
  while (layerCount("GKT") > 0) {
    ContourHeader h{};
    if (readContour("GKT", 0, &buf, &h) < 0) return ringFail();
    if (layerInsertContour("TEMP", buf.data(), &h, -1) == 0 || layerDeleteContour("GKT", 0) == 0) {
      return ringFail();
    }
  }
  const int temps = layerCount("TEMP");
  for (int i = 0; i < temps; ++i) {
    ContourHeader h{};
    if (readContour("TEMP", i, &buf, &h) < 0) return ringFail();
    if (layerInsertContour("GKT", buf.data(), &h, -1) == 0) return ringFail();
    if (ringMergeIslandContours("GKT", step, layerCount("GKT"), h.group, 0) < 0) return -1;
  }
  layerClear("TEMP");
  while (layerCount("GKT") > 0) {
    ContourHeader h{};
    const int n = readContour("GKT", 0, &buf, &h);
    if (n < 0) return ringFail();
    const int node = ctreeAdd(buf.data(), &h, h.group, depthOf(h.group) + 1);
    if (node < 0) return ringFail();
    relateTags(node, buf.data(), n, h.group);
    for (int j = 0; j < n; ++j) buf[j].tag = node;
    h.group = static_cast<std::int16_t>(node);
    if (layerInsertContour("TEMP", buf.data(), &h, -1) == 0 || layerDeleteContour("GKT", 0) == 0) {
      return ringFail();
    }
  }
  sourceMode();
  Loops l;
  for (int i = 0; i < layerCount("TEMP"); ++i) {
    ContourHeader h{};
    const int n = readContour("TEMP", i, &buf, &h);
    if (n < 0) return ringFail();
    const int k = offsetInto(buf.data(), n, sideOf(h), step, &l);
    if (k < 0) return ringFail();
    for (int j = 0; j < k; ++j) {
      const ContourHeader lh = loopHeader(h, l.loops[j], l.counts[j], i);
      if (layerInsertContour("GKT", l.loops[j], &lh, -1) == 0) return ringFail();
    }
  }
  return 1;
}

int layerContourInsideMarked(const ContourElement* elements, int n, const char* name) {
  if (pockEngine().pockStockMode == 0) return 0;
  std::vector<ContourElement> buf;
  const int count = layerCount(name);
  for (int i = 0; i < count; ++i) {
    ContourHeader h{};
    const int m = readContour(name, i, &buf, &h);
    if (m <= 0 || h.stockMark == 0 || h.ccw == h.leftSide) continue;
    if (isectContourInsideOf(elements, n, buf.data(), m) != 0) return 1;
  }
  return 0;
}
