// open_rings.cpp - the rings of an open pocket: passes of outward rings around the part, each
// clipped to the widened stock, and the layer operations of the stock strategies. A ring that
// leaves the stock unclipped would send the tool through air on a cutting feed or, worse, past a
// part contour it was never checked against, so every clipping failure is passed up.
#include "pocket/open_rings.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_reduce.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/offset_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/rest_file.h"

namespace {
struct OpenRingState {
  int reduced = 0;      // the SPAN rings of the level were reduced once
  int clipTrouble = 0;  // the start search of the clipping kept failing
};
OpenRingState openState;

constexpr double kSamePoint = 0.0001;
constexpr double kRecordPoint = 0.0002;
constexpr int kCodeCutLeft = 3298;

// Reads contour i of a layer into buf (with spare room). Returns its count; -1.
int readInto(const char* layer, int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) < 0) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1) * 4 + 16);
  if (layerGetContour(layer, buf->data(), static_cast<int>(buf->size()), h, i) < 0) return -1;
  return h->count;
}

// The loops of one offset.
struct OffsetLoops {
  std::vector<ContourElement> out;
  std::vector<ContourElement*> loops;
  std::vector<int> counts;
  int k = 0;
  OffsetLoops()
      : out(2 * kContMaxElements + 2), loops(kOffsetMaxLoops + 1), counts(kOffsetMaxLoops + 1) {}
  int run(const ContourElement* e, int n, int side, double d) {
    ContourElement* end = nullptr;
    k = contOffset(e, n, side, d, out.data(), static_cast<int>(out.size()), &end, loops.data(),
                   counts.data());
    return k;
  }
};

bool samePoint(const Point2D& a, const Point2D& b) {
  return std::fabs(a.x - b.x) < kSamePoint && std::fabs(a.y - b.y) < kSamePoint;
}

ContourHeader withCount(ContourHeader h, int n, int group) {
  h.count = n;
  h.elements = nullptr;
  h.group = static_cast<std::int16_t>(group);
  return h;
}
}  // namespace

int ringOpenClipTrouble() { return openState.clipTrouble; }

void ringOpenResetState() { openState = OpenRingState{}; }

// ---- records ------------------------------------------------------------------------------------

int isectFindAtPoint(const IntersectionRecord* records, int count, const Point2D& point) {
  for (int i = 0; i < count; ++i) {
    if (std::fabs(records[i].x - point.x) < kRecordPoint &&
        std::fabs(records[i].y - point.y) < kRecordPoint) {
      return i;
    }
  }
  return -1;
}

int isectDropConsecutive(IntersectionRecord* records, int count) {
  int m = 0;
  for (int i = 0; i < count; ++i) {
    if (m > 0) {
      const IntersectionRecord& p = records[m - 1];
      const IntersectionRecord& q = records[i];
      if (q.elemB == p.elemB && q.elemA == p.elemA + 1 && std::fabs(q.x - p.x) < kSamePoint &&
          std::fabs(q.y - p.y) < kSamePoint) {
        continue;
      }
    }
    records[m++] = records[i];
  }
  return m;
}

// ---- clipping -----------------------------------------------------------------------------------

int ringOpenStockPiece(const ContourElement* boundary, int nb, const IntersectionRecord& recFrom,
                       const IntersectionRecord& recTo, ContourElement* out, int outCapacity) {
  const Point2D from{recFrom.x, recFrom.y};
  const Point2D to{recTo.x, recTo.y};
  if (samePoint(from, to)) return 0;
  // The boundary from `to` forward to `from`, then reversed: from `from` against the boundary's
  // direction to `to`.
  const int a = recTo.elemB - 1;
  const int b = recFrom.elemB - 1;
  if (a < 0 || a >= nb || b < 0 || b >= nb) return -1;
  std::vector<ContourElement> e;
  if (a == b && contElemPointOrder(boundary[a], from, to) == 1) {
    ContourElement x = boundary[a];
    contElemSetEndpoint(&x, to, 1);
    contElemSetEndpoint(&x, from, 2);
    e.push_back(x);
  } else {
    ContourElement first = boundary[a];
    contElemSetEndpoint(&first, to, 1);
    e.push_back(first);
    for (int i = (a + 1) % nb; i != b; i = (i + 1) % nb) e.push_back(boundary[i]);
    ContourElement last = boundary[b];
    contElemSetEndpoint(&last, from, 2);
    e.push_back(last);
  }
  int m = static_cast<int>(e.size());
  contReverse(e.data(), m);
  contSetTags(e.data(), m, kContTagOpen);
  m = contCleanup(e.data(), m);
  if (m > outCapacity) return -1;
  for (int i = 0; i < m; ++i) out[i] = e[static_cast<std::size_t>(i)];
  return m;
}

int ringOpenJoinPieces(const ContourElement* pieces, const int* counts, int k,
                       const IntersectionRecord* records, int m, const ContourElement* boundary,
                       int nb, ContourElement* out, int outCapacity) {
  int total = 0;
  const ContourElement* p = pieces;
  std::vector<const ContourElement*> starts(static_cast<std::size_t>(k));
  for (int j = 0; j < k; ++j) {
    starts[static_cast<std::size_t>(j)] = p;
    p += counts[j];
  }
  for (int j = 0; j < k; ++j) {
    const ContourElement* piece = starts[static_cast<std::size_t>(j)];
    const int c = counts[j];
    if (c <= 0) continue;
    if (total + c > outCapacity) return -1;
    for (int i = 0; i < c; ++i) out[total + i] = piece[i];
    total += c;
    const ContourElement* next = starts[static_cast<std::size_t>((j + 1) % k)];
    const int endRec = isectFindAtPoint(records, m, contElemEnd(piece[c - 1]));
    const int startRec = isectFindAtPoint(records, m, contElemStart(next[0]));
    if (endRec < 0 || startRec < 0) return -2;
    const int s = ringOpenStockPiece(boundary, nb, records[endRec], records[startRec], out + total,
                                     outCapacity - total);
    if (s < 0) return -1;
    total += s;
  }
  return total;
}

int ringOpenTracePieces(const ContourElement* ring, int n, IntersectionRecord* records, int count,
                        const ContourElement* boundary, int nb, ContourElement* out,
                        int outCapacity, int* counts) {
  const PockEngine& eng = pockEngine();
  std::vector<char> resetBefore(static_cast<std::size_t>(count), 0);
  int rejected = -1;
  int pieces = 0;
  int used = 0;
  for (int attempt = 0; attempt < count + 5; ++attempt) {
    int start = -1;
    for (int i = 0; i < count; ++i) {
      if (records[i].state != 2 && records[i].state != 3 && i != rejected) {
        start = i;
        break;
      }
    }
    if (start < 0) return pieces;
    if (outCapacity - used < n + 1) return -1;
    int c = 0;
    const int next = isectContourPiece(ring, n, 1, records, count, start, out + used, &c);
    if (next < 0) return pieces;
    records[next].state = 2;
    c = contCleanup(out + used, c);
    if (pieces == 0 && eng.pockMovedToFront == 0 &&
        isectContourInsideOf(out + used, c, boundary, nb) == 0) {
      for (int i = 0; i < count; ++i) {
        if (records[i].state != 2) continue;
        if (resetBefore[static_cast<std::size_t>(i)] != 0) {
          ++openState.clipTrouble;
          continue;
        }
        records[i].state = 1;
        resetBefore[static_cast<std::size_t>(i)] = 1;
      }
      if (rejected < 0) rejected = start;
      continue;
    }
    counts[pieces++] = c;
    used += c;
    if (used > kOpenClipMaxPieceElements) {
      pockMessage(kPockCodeTooManyElements);
      return -1;
    }
    records[start].state = 3;
  }
  return pieces;
}

int ringOpenClip(const ContourElement* ring, int n, const ContourElement* boundary, int m,
                 ContourElement* out, int outCapacity) {
  const PockEngine& eng = pockEngine();
  std::vector<IntersectionRecord> recs(kOpenClipMaxRecords + 1);
  int h = isectContours(ring, n, boundary, m, recs.data(), kOpenClipMaxRecords);
  if (h < 0 || h > kOpenClipMaxRecords) {
    pockMessage(kPockCodeTooManyIsects);
    return -1;
  }
  h = isectDropConsecutive(recs.data(), h);
  if (h == 0) {
    const bool front = eng.pockMovedToFront != 0;
    const Point2D p = front ? contElemStart(ring[0]) : contElemStart(boundary[0]);
    const ContourElement* tested = front ? boundary : ring;
    const int nt = front ? m : n;
    if (contMinDistance(p, tested, nt) > eng.contTol && contWinding(tested, nt, p) != 0) return 0;
    // A ring that only touches the boundary (along overlapping stretches or at its corners) gives
    // no crossing, yet may bulge out of it: that is trouble, which a shrunk boundary resolves.
    for (int i = 0; i < n; ++i) {
      Point2D mid{};
      if (contElemPoint(ring[i], &mid, 3) == 1 && contMinDistance(mid, boundary, m) > eng.contTol &&
          contWinding(boundary, m, mid) == 0) {
        openState.clipTrouble = 1;
        break;
      }
    }
    if (n > outCapacity) return -1;
    for (int i = 0; i < n; ++i) out[i] = ring[i];
    return n;
  }
  std::vector<ContourElement> work(static_cast<std::size_t>(n + h + m + 10) * 2 + 16);
  std::vector<int> counts(static_cast<std::size_t>(h + 5));
  const int k = ringOpenTracePieces(ring, n, recs.data(), h, boundary, m, work.data(),
                                    static_cast<int>(work.size()), counts.data());
  if (k < 0) return -1;
  if (k == 0) {
    if (h == 1) openState.clipTrouble = 1;
    return 0;
  }
  return ringOpenJoinPieces(work.data(), counts.data(), k, recs.data(), h, boundary, m, out,
                            outCapacity);
}

int ringOpenClipToStock(const ContourElement* ring, int n, const ContourElement* boundary, int nb,
                        ContourElement* out, int outCapacity) {
  // The shrunk boundary is this ring's own copy: the next ring starts from the caller's boundary.
  std::vector<ContourElement> local(boundary, boundary + nb);
  int m = nb;
  int r = -1;
  OffsetLoops l;
  for (int attempt = 0; attempt < kOpenClipAttempts; ++attempt) {
    openState.clipTrouble = 0;
    r = ringOpenClip(ring, n, local.data(), m, out, outCapacity);
    if (openState.clipTrouble == 0 && r >= 0) return r;
    if (attempt + 1 == kOpenClipAttempts) break;
    // Inward whatever the boundary's orientation: the copy shrinks.
    const int inward = contOrientation(local.data(), m) == -1 ? -1 : 1;
    if (l.run(local.data(), m, inward, kOpenClipShrink) != 1) return -1;
    local.assign(l.loops[0], l.loops[0] + l.counts[0]);
    m = l.counts[0];
  }
  return r;
}

// ---- passes -------------------------------------------------------------------------------------

int ringOffsetMainOpen(double r, const double* allowances, int side) {
  PockEngine& eng = pockEngine();
  openState.reduced = 0;
  const double a0 = allowances != nullptr ? allowances[0] : 0.0;
  const bool zero = std::fabs(r + a0) < kSamePoint;
  if (layerCreate("SPAN") == 0 || layerCreate("INSEL") == 0) return -1;
  std::vector<ContourElement> buf;
  ContourHeader h0{};
  const int n0 = readInto("MAIN", 0, &buf, &h0);
  if (n0 < 0) return -1;
  eng.offsetStrict = 1;
  OffsetLoops l;
  const int k = l.run(buf.data(), n0, -side, r + a0);
  if (k < 0) return -1;
  for (int j = 0; j < k; ++j) {
    const ContourHeader lh = withCount(h0, l.counts[j], 0);
    if (layerInsertContour("INSEL", l.loops[j], &lh, -1) == 0) return -1;
  }
  if (layerCreate("GKT") == 0) return -1;
  const int count = layerCount("MAIN");
  for (int i = 1; i < count; ++i) {
    ContourHeader h{};
    const int n = readInto("MAIN", i, &buf, &h);
    if (n < 0) return -1;
    const ContourHeader sh = withCount(h, n, h.group - 1);
    if (layerInsertContour("SPAN", buf.data(), &sh, -1) == 0) return -1;
  }
  layerReduceContours("INSEL", 0.02 * r, zero ? 1 : 0);
  return 1;
}

namespace {
// Step 6 of a pass: each SPAN ring checked against the part, rounded, made a tree node.
int passRingsToNodes(double lastDist, int pass) {
  const PockEngine& eng = pockEngine();
  std::vector<ContourElement> buf;
  for (int i = 0; i < layerCount("SPAN");) {
    ContourHeader h{};
    int n = readInto("SPAN", i, &buf, &h);
    if (n < 0) return -1;
    if (lastDist > 0.1 && contCrossesLayer(buf.data(), n, "MAIN") != 0) {
      if (layerDeleteContour("SPAN", i) == 0) return -1;
      continue;
    }
    if (std::fabs(eng.pockFilletRadius) >= kSamePoint &&
        (pass >= 1 || eng.pockFilletCorners != 0)) {
      std::vector<ContourElement> rounded(buf.begin(), buf.begin() + n);
      rounded.resize(static_cast<std::size_t>(n) * 4 + 16);
      const int r = contRoundCorners(rounded.data(), n, static_cast<int>(rounded.size()),
                                     eng.pockFilletRadius, h.ccw != h.leftSide ? 1 : 0);
      if (r > 0) {
        buf.assign(rounded.begin(), rounded.begin() + r);
        buf.resize(static_cast<std::size_t>(r) * 4 + 16);
        n = r;
      }
    }
    contMarkShortArcs(buf.data(), n, eng.pockToolRadius / 2.0);
    h.count = n;
    const int node = ctreeAdd(buf.data(), &h, 0, pass);
    if (node < 0) return -1;
    if (pass >= 1) {
      for (int j = 0; j < n; ++j) {
        const int t = buf[static_cast<std::size_t>(j)].tag;
        if (t >= 0 && t != node && ctreeHasChild(node, t) == 0 && ctreeRelate(node, t) < 0) {
          return -1;
        }
      }
      if (ringCutBand(buf.data(), n, h, "CUT_BACK", eng.pockToolRadius, -1) < 0) return -1;
    }
    // The stored ring carries its rounded elements and its node.
    ContourHeader sh = withCount(h, n, node);
    if (layerReplaceContour("SPAN", buf.data(), &sh, i) != 1) return -1;
    rifWriteContour(buf.data(), n, &sh);
    ++i;
  }
  return 1;
}

// Step 5 of a pass: every SPAN ring clipped to INSEL's first contour.
int clipPassRings() {
  std::vector<ContourElement> boundary;
  ContourHeader bh{};
  const int nb = readInto("INSEL", 0, &boundary, &bh);
  if (nb <= 0) return -1;
  std::vector<ContourElement> buf;
  std::vector<ContourElement> out;
  for (int i = 0; i < layerCount("SPAN");) {
    ContourHeader h{};
    const int n = readInto("SPAN", i, &buf, &h);
    if (n < 0) return -1;
    out.resize(static_cast<std::size_t>(n + 2 * nb + 10) * 2 + 16);
    const int c = ringOpenClipToStock(buf.data(), n, boundary.data(), nb, out.data(),
                                      static_cast<int>(out.size()));
    if (c < 0) return c;
    if (c == 0) {
      if (layerDeleteContour("SPAN", i) == 0) return -1;
      continue;
    }
    ContourHeader ch = withCount(h, c, h.group);
    ch.ccw = contOrientation(out.data(), c) == 1 ? 1 : 0;
    if (layerReplaceContour("SPAN", out.data(), &ch, i) != 1) return -1;
    ++i;
  }
  return 1;
}
}  // namespace

int ringOpenPass(double dist, int first, int pass) {
  PockEngine& eng = pockEngine();
  const double* allowances = pockAllowances();
  eng.offsetNarrowCheck = 0;
  ringCutLayerClear("CUT_SPAN");
  ringCutLayerClear("CUT_BACK");
  std::vector<ContourElement> buf;
  OffsetLoops l;
  for (int p = layerCount("SPAN") - 1; p >= 0; p = layerCount("SPAN") - 1) {
    ContourHeader h{};
    const int n = readInto("SPAN", p, &buf, &h);
    if (n < 0) return -1;
    if (pass >= 1 && ringCutBand(buf.data(), n, h, "CUT_SPAN", eng.pockToolRadius, 1) < 0) {
      return -1;
    }
    // The part contour's own allowance: SPAN position p is MAIN position p + 1 in the first pass.
    const double d =
        first == 1 ? dist + (p + 1 < kPockAllowanceRoom ? allowances[p + 1] : allowances[0]) : dist;
    const int k = l.run(buf.data(), n, h.leftSide != 0 ? 1 : -1, d);
    if (k < 0) return -1;
    if (layerDeleteContour("SPAN", p) == 0) return -1;
    for (int j = 0; j < k; ++j) {
      contSetTags(l.loops[j], l.counts[j], h.group);
      ContourHeader lh = withCount(h, l.counts[j], 0);
      lh.ccw = contOrientation(l.loops[j], l.counts[j]) == 1 ? 1 : 0;
      if (layerInsertContour("GKT", l.loops[j], &lh, -1) == 0) return -1;
    }
  }
  if (pass == 0 && eng.pockStockOnly != 0 && layerTagInsideFirst("GKT", "MAIN") < 0) return -1;
  const double lastDist = dist + (first == 1 ? allowances[0] : 0.0);
  const bool merge = std::fabs(dist + allowances[0]) >= kSamePoint;
  for (int g = layerCount("GKT") - 1; g >= 0; g = layerCount("GKT") - 1) {
    ContourHeader h{};
    const int n = readInto("GKT", g, &buf, &h);
    if (n < 0) return -1;
    if (layerInsertContour("SPAN", buf.data(), &h, -1) == 0) return -1;
    if (layerDeleteContour("GKT", g) == 0) return -1;
    if (merge && ringMergeIslandContours("SPAN", dist, 1, h.group, 0) < 0) return -1;
  }
  if (layerCount("INSEL") <= 0) return -1;
  if (pass >= 1) {
    const int c = clipPassRings();
    if (c < 0) return c;
  }
  if (passRingsToNodes(lastDist, pass) < 0) return -1;
  eng.offsetStrict = 0;
  if (openState.reduced == 0) {
    layerReduceContours("SPAN", 0.02 * dist, std::fabs(lastDist) < kSamePoint ? 1 : 0);
    openState.reduced = 1;
  }
  if (pass >= 1) {
    const int cr = ringCutRegions();
    if (cr < 0) return -1;
    if (cr > 0) pockMessage(kCodeCutLeft);
  }
  return 1;
}

int ringOpenFinal(double dist, int /*side*/) {
  const int r = ringOpenPass(dist, 1, 0);
  if (r < 0) return r;
  rifWriteRadius(dist);
  return 1;
}

int ringOpenSpanPasses(double step, int /*side*/) {
  for (int pass = 1; layerCount("SPAN") > 0; ++pass) {
    if (pass > kRingMaxIterations) {
      pockMessage(kPockCodeNoMemory);
      return -1;
    }
    const int r = ringOpenPass(step, 0, pass);
    if (r < 0) return r;
  }
  return 1;
}

// ---- layer operations ---------------------------------------------------------------------------

int contCrossesLayer(const ContourElement* elements, int n, const char* name) {
  std::vector<ContourElement> buf;
  std::vector<IntersectionRecord> recs(kOpenClipMaxRecords + 1);
  const int count = layerCount(name);
  for (int c = 1; c < count; ++c) {
    ContourHeader h{};
    const int m = readInto(name, c, &buf, &h);
    if (m <= 0) continue;
    for (int i = 0; i < n; ++i) {
      if (elements[i].tag < 0) continue;
      if (isectContours(&elements[i], 1, buf.data(), m, recs.data(), kOpenClipMaxRecords) > 0) {
        return 1;
      }
    }
  }
  return 0;
}

int layerTagInsideFirst(const char* name, const char* ref) {
  std::vector<ContourElement> first;
  ContourHeader fh{};
  if (layerCount(ref) <= 0) return -1;
  const int nf = readInto(ref, 0, &first, &fh);
  if (nf <= 0) return -1;
  std::vector<IntersectionRecord> recs(kOpenClipMaxRecords + 1);
  std::vector<ContourElement> buf;
  auto inside = [&](const ContourElement& e) {
    Point2D mid{};
    contElemPoint(e, &mid, 3);
    return contWinding(first.data(), nf, mid) != 0;
  };
  for (int c = 0; c < layerCount(name); ++c) {
    ContourHeader h{};
    const int n = readInto(name, c, &buf, &h);
    if (n < 0) return -1;
    std::vector<ContourElement> out;
    for (int i = 0; i < n; ++i) {
      ContourElement e = buf[static_cast<std::size_t>(i)];
      const int k = isectContours(&e, 1, first.data(), nf, recs.data(), kOpenClipMaxRecords);
      if (k >= 2) {
        e.tag = 0;
        out.push_back(e);
        continue;
      }
      const Point2D p{k == 1 ? recs[0].x : 0.0, k == 1 ? recs[0].y : 0.0};
      if (k == 1 && !samePoint(p, contElemStart(e)) && !samePoint(p, contElemEnd(e))) {
        ContourElement a = e;
        ContourElement b = e;
        contElemSetEndpoint(&a, p, 2);
        contElemSetEndpoint(&b, p, 1);
        a.tag = inside(a) ? 0 : kContTagOpen;
        b.tag = inside(b) ? 0 : kContTagOpen;
        out.push_back(a);
        out.push_back(b);
        continue;
      }
      e.tag = inside(e) ? 0 : kContTagOpen;
      out.push_back(e);
    }
    const ContourHeader oh = withCount(h, static_cast<int>(out.size()), h.group);
    if (layerReplaceContour(name, out.data(), &oh, c) != 1) return -1;
  }
  return 1;
}

int ringMarkOutsideInsel(int node, int side, double dist) {
  PockEngine& eng = pockEngine();
  if (layerCount("INSEL") <= 0) return 0;
  std::vector<ContourElement> boundary;
  ContourHeader bh{};
  const int nb = readInto("INSEL", 0, &boundary, &bh);
  if (nb <= 0) return -1;
  const int strict = eng.offsetStrict;
  const int ringMode = eng.offsetRingMode;
  eng.offsetStrict = 0;
  eng.offsetRingMode = 1;
  OffsetLoops l;
  const int k = l.run(boundary.data(), nb, side, dist);
  eng.offsetStrict = strict;
  eng.offsetRingMode = ringMode;
  if (k <= 0) return -1;
  int best = 0;
  for (int j = 1; j < k; ++j) {
    if (l.counts[j] > l.counts[best]) best = j;
  }
  const ContourElement* loop = l.loops[best];
  const int nl = l.counts[best];
  ContourTreeNode* t = ctreeNodeAt(node);
  if (t == nullptr || t->count <= 0) return -1;
  const int n = t->count;
  std::vector<ContourElement> e(static_cast<std::size_t>(n));
  if (ctreeGetElems(e.data(), n, t->block) != 1) return -1;
  std::vector<IntersectionRecord> recs(kOpenClipMaxRecords + 1);
  // The runs start after a marked element; a ring without one is a single run.
  int startAt = 0;
  for (int i = 0; i < n; ++i) {
    if (e[static_cast<std::size_t>(i)].tag < 0) {
      startAt = (i + 1) % n;
      break;
    }
  }
  bool changed = false;
  int i = 0;
  while (i < n) {
    const int a = (startAt + i) % n;
    if (e[static_cast<std::size_t>(a)].tag < 0) {
      ++i;
      continue;
    }
    std::vector<int> run;
    while (i < n && e[static_cast<std::size_t>((startAt + i) % n)].tag >= 0) {
      run.push_back((startAt + i) % n);
      ++i;
    }
    bool crosses = false;
    for (const int j : run) {
      if (isectContours(&e[static_cast<std::size_t>(j)], 1, loop, nl, recs.data(),
                        kOpenClipMaxRecords) > 0) {
        crosses = true;
        break;
      }
    }
    Point2D mid{};
    contElemPoint(e[static_cast<std::size_t>(run.front())], &mid, 3);
    if (!crosses && contWinding(loop, nl, mid) == 0) {
      for (const int j : run) e[static_cast<std::size_t>(j)].tag = kContTagOpen;
      changed = true;
    }
  }
  if (changed && ctreeSetElems(e.data(), n, t->block) != 1) return -1;
  return 1;
}

int layerReverseAll(const char* name) {
  std::vector<ContourElement> buf;
  for (int c = 0; c < layerCount(name); ++c) {
    ContourHeader h{};
    const int n = readInto(name, c, &buf, &h);
    if (n < 0) return -1;
    contReverse(buf.data(), n);
    for (int i = 0; i < n; ++i) {
      if (buf[static_cast<std::size_t>(i)].tag >= 0) buf[static_cast<std::size_t>(i)].tag = c;
    }
    ContourHeader rh = withCount(h, n, h.group);
    rh.ccw = h.ccw == 0 ? 1 : 0;
    rh.leftSide = h.leftSide == 0 ? 1 : 0;
    if (layerReplaceContour(name, buf.data(), &rh, c) != 1) return -1;
  }
  return 0;
}

int layerRetagByIndex(const char* name) {
  std::vector<ContourElement> buf;
  for (int c = 0; c < layerCount(name); ++c) {
    ContourHeader h{};
    const int n = readInto(name, c, &buf, &h);
    if (n < 0) return -1;
    for (int i = 0; i < n; ++i) buf[static_cast<std::size_t>(i)].tag = c;
    const ContourHeader rh = withCount(h, n, h.group);
    if (layerReplaceContour(name, buf.data(), &rh, c) != 1) return -1;
  }
  return 0;
}
