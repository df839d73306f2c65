// open_entry.cpp - open-side entry: pockets whose boundary is partly open are entered from the open
// side by a straight line, narrow ones cleared by one straight cut, the closed runs of an open node
// cut as paths of their own. An entry line that crossed a closed wall would gouge, so every entry
// is tested against the closed elements before it is used.
#include "pocket/open_entry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pocket/ccp_fields.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_tree.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"
#include "pocket/link_search.h"
#include "pocket/offset_rings.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"
#include "pocket/pocket_grouping.h"
#include "pocket/ring_linker.h"
#include "pocket/zigzag_stripes.h"
#include "pocket/zigzag_walls.h"

namespace {
struct OpenEntryState {
  int orderedOpen = 0;        // 1 while the ordered strategy runs pockLevelFromStart
  ContourHeader savedMain{};  // the first MAIN header: header of the closed runs
  double stockShift = 0.0;    // minus "stockOffset" while a "stockOutin" level runs
};
OpenEntryState entryState;

// The search slack of the entry (300 contTol) and of the start on INPUT (100 contTol).
// Silent: rings left uncut because plunging is forbidden.
constexpr int kCodeCutLeft = 3298;
constexpr double kEntrySlack = 300.0;
constexpr double kInputSlack = 100.0;

// Reads a node's ring. Returns its count; -1.
int readNode(int node, std::vector<ContourElement>* e) {
  const ContourTreeNode* t = ctreeNodeAt(node);
  if (t == nullptr || t->count < 0) return -1;
  e->resize(static_cast<std::size_t>(t->count > 0 ? t->count : 1));
  if (t->count > 0 && ctreeGetElems(e->data(), t->count, t->block) != 1) return -1;
  return t->count;
}

int readLayer(const char* layer, int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) < 0) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1) * 2 + 8);
  if (layerGetContour(layer, buf->data(), static_cast<int>(buf->size()), h, i) < 0) return -1;
  return h->count;
}

void reverseNode(int node) {
  std::vector<ContourElement> e;
  const int n = readNode(node, &e);
  if (n <= 0) return;
  contReverse(e.data(), n);
  ctreeSetElems(e.data(), n, ctreeNodeAt(node)->block);
}

// The failure of a level after its tree was started.
int entryFailed() {
  pockMessage(kPockCodeNoMemory);
  ctreeFree();
  return -1;
}

void freeLevelLayers() {
  for (const char* layer : {"SPAN", "GKT", "MAIN", "INSEL"}) layerFree(layer);
}

Point2D unitLeftNormal(const Seg2D& s) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double l = std::hypot(dx, dy);
  if (!(l > 0.0)) return Point2D{0.0, 0.0};
  return Point2D{-dy / l, dx / l};
}

// The single cut S-E: the base line moved by w / 2 along its left normal.
void singleCutLine(const Seg2D& base, double w, Point2D* s, Point2D* e) {
  const Point2D n = unitLeftNormal(base);
  *s = Point2D{base.x1 + n.x * w / 2.0, base.y1 + n.y * w / 2.0};
  *e = Point2D{base.x2 + n.x * w / 2.0, base.y2 + n.y * w / 2.0};
}

// Links ring B after its entry: the spiral from the entry point ("openInsideOut") or the entry
// line and the direct linker.
int linkFromEntry(int b, int k, const Point2D& q, const Point2D& p, double step, bool lineOnly) {
  PockEngine& eng = pockEngine();
  if (k < 0 || pockRotateNodeAt(b, k, p) < 0) return 0;
  pockOutput().pockNewStart = 1;
  if (!lineOnly && eng.paramOpenInsideOut != 0) {
    eng.pockStartPoint = q;
    eng.ctreeStartMatch.node = b;
    eng.ctreeStartMatch.element = 1;
    eng.ctreeStartMatch.foot = p;
    eng.ctreeStartMatch.found = 1;
    eng.pockDirectLinking = 0;
    eng.pockStrategyStockOutin = 0;
    pockReverseOtherNodes(b);
    const int r = linkRingsSpiral(b, step, 0);
    eng.pockDirectLinking = 1;
    eng.ctreeStartMatch.found = 0;
    return r;
  }
  pockEmitEntryLine(p, q);
  return linkRingsDirect(b, step, 1);
}
}  // namespace

double pockStockShift() { return entryState.stockShift; }

void pockOpenEntryResetState() {
  entryState = OpenEntryState{};
  ringSettings().firstStepCorrection = 0.0;
}

// ---- layers and nodes ---------------------------------------------------------------------------

int contAllMarked(const ContourElement* elements, int n) {
  for (int i = 0; i < n; ++i) {
    if (elements[i].tag != kContTagOpen) return 0;
  }
  return 1;
}

int pockLayerHasOpenEdge(const char* name) {
  const int n = std::min(layerCount(name), layerCount("MAIN"));
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    const int m = readLayer(name, i, &e, &h);
    for (int j = 0; j < m; ++j) {
      if (e[static_cast<std::size_t>(j)].tag == kContTagOpen) return 1;
    }
  }
  return 0;
}

int pockMainHasOpenEdge() { return pockLayerHasOpenEdge("MAIN"); }

int pockFirstOpenMarkedNode() {
  std::vector<ContourElement> e;
  for (int v = 0; v < ctreeNodeCount(); ++v) {
    if (ctreeState(v) != kCtreeOpen) continue;
    const int n = readNode(v, &e);
    for (int j = 0; j < n; ++j) {
      if (e[static_cast<std::size_t>(j)].tag == kContTagOpen) return v;
    }
  }
  return -1;
}

int pockRetagOpenContours(const char* name, std::vector<int>* listOut) {
  listOut->clear();
  std::vector<ContourElement> e;
  for (int i = 0; i < layerCount(name); ++i) {
    ContourHeader h{};
    const int n = readLayer(name, i, &e, &h);
    if (n < 0) return -1;
    if (n == 0 || contAllMarked(e.data(), n) == 0) continue;
    for (int j = 0; j < n; ++j) e[static_cast<std::size_t>(j)].tag = i;
    h.elements = nullptr;
    if (layerReplaceContour(name, e.data(), &h, i) != 1) return -1;
    listOut->push_back(i);
  }
  return static_cast<int>(listOut->size());
}

void pockRemarkOpenNodes(int count, const int* list, int m) {
  std::vector<ContourElement> e;
  for (int i = 0; i < count; ++i) {
    const int k = list[i];
    const int node = k == 0 ? 0 : m - k;
    const int n = readNode(node, &e);
    if (n <= 0) continue;
    for (int j = 0; j < n; ++j) e[static_cast<std::size_t>(j)].tag = kContTagOpen;
    ctreeSetElems(e.data(), n, ctreeNodeAt(node)->block);
  }
}

int pockAddMainAsNode() {
  std::vector<ContourElement> e;
  ContourHeader h{};
  const int n = readLayer("MAIN", 0, &e, &h);
  if (n < 0) return -1;
  return ctreeAdd(e.data(), &h, 0, 0);
}

int pockStartsOnInput(int n, const ContourElement* elements) {
  if (n <= 0) return 0;
  const PockEngine& eng = pockEngine();
  Point2D s = contElemStart(elements[0]);
  if (eng.pockFilletCorners != 0 && n > 1) {
    for (int i = 0; i < n; ++i) {
      if (elements[i].type == kContLine) {
        s = contElemStart(elements[1]);
        break;
      }
    }
  }
  std::vector<ContourElement> e;
  for (int c = 0; c < layerCount("INPUT"); ++c) {
    ContourHeader h{};
    const int m = readLayer("INPUT", c, &e, &h);
    if (m > 0 && contMinDistance(s, e.data(), m) <= kInputSlack * eng.contTol) return 1;
  }
  return 0;
}

void pockOrientNodes(int all) {
  std::vector<ContourElement> e;
  for (int v = 0; v < ctreeNodeCount(); ++v) {
    const int n = readNode(v, &e);
    if (n <= 0) continue;
    if (all == 1 || pockStartsOnInput(n, e.data()) == 1) reverseNode(v);
  }
}

void pockReverseOtherNodes(int keep) {
  for (int v = 0; v < ctreeNodeCount(); ++v) {
    if (v != keep) reverseNode(v);
  }
}

int pockClaimRuns(int v) {
  std::vector<ContourElement> e;
  const int n = readNode(v, &e);
  bool changed = false;
  for (int j = 0; j < n; ++j) {
    if (e[static_cast<std::size_t>(j)].tag == kContTagOpenBnd) {
      e[static_cast<std::size_t>(j)].tag = v;
      changed = true;
    }
  }
  if (changed) ctreeSetElems(e.data(), n, ctreeNodeAt(v)->block);
  return changed ? 1 : 0;
}

int pockDetachParents(int v, std::vector<int>* listOut) {
  listOut->clear();
  const ContourTreeNode* t = ctreeNodeAt(v);
  if (t == nullptr) return 0;
  for (int i = 1; i <= t->parentCount; ++i) listOut->push_back(ctreeParentAt(v, i));
  for (const int p : *listOut) ctreeUnrelate(p, v);
  return static_cast<int>(listOut->size());
}

int pockShiftAway(double distance, Point2D* q, const Point2D& p) {
  const double l = contDistance(*q, p);
  if (l < pockEngine().contTol) return 0;
  q->x += (q->x - p.x) / l * distance;
  q->y += (q->y - p.y) / l * distance;
  return 1;
}

int pockRotateNodeAt(int b, int k, const Point2D& p) {
  std::vector<ContourElement> e;
  const int n = readNode(b, &e);
  if (n <= 0 || k < 0 || k >= n) return -1;
  std::vector<ContourElement> out;
  out.reserve(static_cast<std::size_t>(n) + 1);
  ContourElement head = e[static_cast<std::size_t>(k)];
  ContourElement tail = head;
  contElemSetEndpoint(&head, p, 1);
  contElemSetEndpoint(&tail, p, 2);
  // A piece of no length (p at an end of element k) is left out.
  if (contPointsClose(contElemStart(head), contElemEnd(head)) == 0) out.push_back(head);
  for (int i = k + 1; i < n; ++i) out.push_back(e[static_cast<std::size_t>(i)]);
  for (int i = 0; i < k; ++i) out.push_back(e[static_cast<std::size_t>(i)]);
  if (contPointsClose(contElemStart(tail), contElemEnd(tail)) == 0) out.push_back(tail);
  ElementBlock* block = ctreeNewBlock(out.data(), static_cast<int>(out.size()));
  if (block == nullptr) return -1;
  ContourTreeNode* t = ctreeNodeAt(b);
  t->block = block;
  t->count = static_cast<int>(out.size());
  return 1;
}

int pockEmitEntryLine(const Point2D& p, const Point2D& q) {
  return linkEmitElement(contMakeLine(q.x, q.y, p.x, p.y, kContTagOpen));
}

int pockEntryLineFree(const Point2D& p, const Point2D& q) {
  const PockEngine& eng = pockEngine();
  const char* layer = eng.pockStrategyOpenPocket != 0 ? "MAIN" : "INPUT";
  const Seg2D line{q.x, q.y, p.x, p.y};
  std::vector<ContourElement> e;
  for (int c = 0; c < layerCount(layer); ++c) {
    ContourHeader h{};
    const int n = readLayer(layer, c, &e, &h);
    for (int i = 0; i < n; ++i) {
      const ContourElement& x = e[static_cast<std::size_t>(i)];
      if (x.tag < 0) continue;
      Point2D pts[2]{};
      int k = 0;
      if (x.type == kContLine) {
        k = isectSegments(line, contElemSeg(x), &pts[0]);
      } else if (x.type == kContArc) {
        k = isectLineArc(line, x, pts);
      }
      if (k == 2) return 0;
      if (k == 1 && contDistance(pts[0], p) > eng.contTol) return 0;
    }
  }
  return 1;
}

int pockFindEntry(Point2D* q, Point2D* p, double reach, int crossTest, int b, int v) {
  const PockEngine& eng = pockEngine();
  std::vector<ContourElement> ev;
  std::vector<ContourElement> eb;
  const int nv = readNode(v, &ev);
  const int nb = readNode(b, &eb);
  if (nv <= 0 || nb <= 0) return -1;
  const double limit = kEntrySlack * eng.contTol + reach;
  int found = -1;
  for (int pass = 0; pass < 2 && found < 0; ++pass) {
    auto usable = [&](const ContourElement& x) {
      return x.tag < 0 && (pass == 1 || x.tag != kContTagOpenBnd);
    };
    double longest = -1.0;
    for (int i = 0; i < nv; ++i) {
      const ContourElement& x = ev[static_cast<std::size_t>(i)];
      if (!usable(x)) continue;
      Point2D m{};
      contElemPoint(x, &m, 3);
      Point2D f{};
      int idx = -1;
      const double d = contNearestElem(m, eb.data(), nb, &f, &idx);
      const double len = contElemLength(x);
      if (idx >= 0 && d <= limit && len > longest) {
        longest = len;
        *q = m;
        *p = f;
        found = idx;
      }
    }
    if (found >= 0) break;
    for (int i = 0; i < nv; ++i) {
      const ContourElement& x = ev[static_cast<std::size_t>(i)];
      if (!usable(x)) continue;
      Point2D on{};
      LinkRef ref{};
      const double d = linkContourDistance(x, eb.data(), nb, &on, &ref);
      const double len = contElemLength(x);
      if (ref.element >= 1 && d <= limit && len > longest) {
        longest = len;
        *q = on;
        *p = ref.point;
        found = ref.element - 1;
      }
    }
  }
  if (found < 0) return -1;
  if (crossTest != 0 && pockEntryLineFree(*p, *q) == 0) return -1;
  return found;
}

// ---- single cuts --------------------------------------------------------------------------------

int pockSingleCutMain() {
  const PockEngine& eng = pockEngine();
  std::vector<ContourElement> e;
  ContourHeader h{};
  const int n = readLayer("MAIN", 0, &e, &h);
  if (n <= 0 || contAllMarked(e.data(), n) == 0) return 0;
  Seg2D base{};
  double w = 0.0;
  if (zigzagPrincipalDir(e.data(), n, &base, &w) != 1) return -1;
  const double r = eng.pockToolRadius;
  if (w > (eng.paramSingleCutOverlap + 1.0) * eng.pockDiameterRatio * r * 2.0) return 0;
  Point2D s{};
  Point2D t{};
  singleCutLine(base, w, &s, &t);
  if (eng.paramOptimizeSingleCut != 0) {
    const double l = contDistance(s, t);
    if (l > r) {
      t.x -= (t.x - s.x) / l * r;
      t.y -= (t.y - s.y) / l * r;
    }
  }
  pockPositionAt(s);
  linkEmitElement(contMakeLine(s.x, s.y, t.x, t.y, kContTagOpen));
  pockWriteLevelEnd();
  ctreeFree();
  return 1;
}

int pockSingleCutNode(int b, int v, double reach) {
  const PockEngine& eng = pockEngine();
  const int nodes = ctreeNodeCount();
  const ContourTreeNode* tb = ctreeNodeAt(b);
  if (tb == nullptr || nodes <= 1 || (nodes == 3 && tb->parentCount == 0)) return 0;
  std::vector<ContourElement> eb;
  std::vector<ContourElement> ev;
  const int nb = readNode(b, &eb);
  const int nv = readNode(v, &ev);
  if (nb <= 0 || nv <= 0) return -1;
  Seg2D base{};
  double w = 0.0;
  if (zigzagPrincipalDir(eb.data(), nb, &base, &w) != 1) return -1;
  if (w > eng.paramSingleCutOverlap * eng.pockDiameterRatio * eng.pockToolRadius * 2.0) return 0;
  Point2D s{};
  Point2D t{};
  singleCutLine(base, w, &s, &t);
  Point2D f{};
  int idx = -1;
  double d = contNearestElem(s, ev.data(), nv, &f, &idx);
  if (!(idx >= 0 && d < reach && ev[static_cast<std::size_t>(idx)].tag == kContTagOpen)) {
    d = contNearestElem(t, ev.data(), nv, &f, &idx);
    if (!(idx >= 0 && d < reach && ev[static_cast<std::size_t>(idx)].tag == kContTagOpen)) return 0;
    std::swap(s, t);
  }
  pockPositionAt(f);
  linkEmitElement(contMakeLine(f.x, f.y, s.x, s.y, kContTagOpen));
  linkEmitElement(contMakeLine(s.x, s.y, t.x, t.y, kContTagOpen));
  ctreeSetState(b, kCtreeDone);
  if (nodes == 3) ctreeSetState(2, kCtreeDone);
  return 1;
}

// ---- closed runs --------------------------------------------------------------------------------

int pockTrimReversal(int first, int* last, ContourElement* ring, int n) {
  if (n <= 0 || *last == first) return 0;
  const int l = *last;
  const int prev = (l + n - 1) % n;
  Point2D a{};
  Point2D b{};
  if (contElemDirection(ring[prev], &a, 2) != 1 || contElemDirection(ring[l], &b, 1) != 1) return 0;
  if (a.x * b.x + a.y * b.y >= -0.5) return 0;
  ring[l].tag = kContTagOpen;
  *last = prev;
  return 1;
}

int pockCutClosedRuns(int v, double step, const int* parents, int count) {
  if (layerCreate("TEMP") == 0) return -1;
  std::vector<ContourElement> e;
  const int n = readNode(v, &e);
  if (n < 0) return -1;
  std::vector<ContourElement> run;
  for (int guard = 0; guard <= n; ++guard) {
    int first = -1;
    int last = -1;
    if (zigzagRunBounds(e.data(), n, &first, &last) != 1) break;
    pockTrimReversal(first, &last, e.data(), n);
    run.clear();
    for (int i = first;; i = (i + 1) % n) {
      run.push_back(e[static_cast<std::size_t>(i)]);
      e[static_cast<std::size_t>(i)].tag = kContTagOpen;
      if (i == last) break;
    }
    ContourHeader h = entryState.savedMain;
    h.count = static_cast<int>(run.size());
    h.elements = nullptr;
    if (layerInsertContour("TEMP", run.data(), &h, -1) != 1) break;
  }
  ContourTreeNode* t = ctreeNodeAt(v);
  const int capacity = t != nullptr && t->block != nullptr
                           ? static_cast<int>(t->block->size / sizeof(ContourElement))
                           : 0;
  for (int c = 0; c < layerCount("TEMP"); ++c) {
    ContourHeader h{};
    const int m = readLayer("TEMP", c, &run, &h);
    if (m <= 0 || m > capacity) continue;
    pockOutput().pockNewStart = 1;
    t = ctreeNodeAt(v);
    t->state = kCtreeOpen;
    t->parentCount = 0;
    for (int i = 0; i < count; ++i) ctreeRelate(parents[i], v);
    ctreeSetElems(run.data(), m, t->block);
    t->count = m;
    linkRingsDirect(v, step, 1);
    for (int i = 0; i < count; ++i) ctreeUnrelate(parents[i], v);
  }
  layerFree("TEMP");
  return 1;
}

// ---- the ordered strategy's MAIN ----------------------------------------------------------------

int layerCopyAll(const char* from, const char* to) {
  std::vector<ContourElement> e;
  for (int i = 0; i < layerCount(from); ++i) {
    ContourHeader h{};
    if (readLayer(from, i, &e, &h) < 0) return -1;
    h.elements = nullptr;
    if (layerInsertContour(to, e.data(), &h, -1) != 1) return -1;
  }
  return 0;
}

int pockSplitOpenMain(double distance, double* allowances, int /*side*/) {
  if (layerCreate("TEMP") == 0) return -1;
  std::vector<ContourElement> e;
  ContourHeader h0{};
  const int n0 = readLayer("MAIN", 0, &e, &h0);
  if (n0 <= 0) return -1;
  std::vector<ContourElement> out(2 * kContMaxElements + 2);
  std::vector<ContourElement*> loops(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  ContourElement* end = nullptr;
  const int k = contOffset(e.data(), n0, h0.leftSide != 0 ? -1 : 1, distance, out.data(),
                           static_cast<int>(out.size()), &end, loops.data(), counts.data());
  if (k < 0) {
    layerFree("TEMP");
    return -1;
  }
  int group = 0;
  for (int j = 0; j < k; ++j) {
    ContourHeader h = h0;
    h.count = counts[j];
    h.elements = nullptr;
    h.ccw = contOrientation(loops[j], counts[j]) > 0 ? 1 : 0;
    h.group = static_cast<std::int16_t>(group++);
    if (layerInsertContour("TEMP", loops[j], &h, -1) != 1) return -1;
  }
  std::vector<ContourElement> pair;
  for (int c = 0; c < layerCount("MAIN"); ++c) {
    ContourHeader h{};
    const int n = readLayer("MAIN", c, &e, &h);
    if (n < 0) return -1;
    h.elements = nullptr;
    bool marked = false;
    for (int i = 0; i < n; ++i) marked = marked || e[static_cast<std::size_t>(i)].tag < 0;
    if (!marked) {
      if (layerInsertContour("TEMP", e.data(), &h, -1) != 1) return -1;
      continue;
    }
    for (int guard = 0; guard <= n; ++guard) {
      int first = -1;
      int last = -1;
      if (zigzagRunBounds(e.data(), n, &first, &last) != 1) break;
      pair.resize(static_cast<std::size_t>(2 * n + 2));
      const int m = zigzagCopyRun(pair.data(), e.data(), n, first, last);
      ContourHeader rh = h;
      rh.count = m;
      rh.group = static_cast<std::int16_t>(group++);
      if (layerInsertContour("TEMP", pair.data(), &rh, -1) != 1) return -1;
      zigzagMarkRun(e.data(), n, first, last);
    }
  }
  layerClear("MAIN");
  if (layerCopyAll("TEMP", "MAIN") < 0) return -1;
  const int count = layerCount("MAIN");
  for (int i = 1; i < count && i < kPockAllowanceRoom; ++i) allowances[i] = allowances[0];
  layerFree("TEMP");
  return 0;
}

// ---- strategies ---------------------------------------------------------------------------------

int pockLevelFromStart() {
  PockEngine& eng = pockEngine();
  const double r = eng.pockToolRadius;
  const double zm = eng.pockStepFactor;
  const double step = 2.0 * zm * r;
  double* allowances = pockAllowances();
  double allow = allowances[0];
  const int side = eng.ccpOuterOrientation;
  entryState.stockShift = 0.0;
  if (pockLayerHasOpenEdge("MAIN") == 0) {
    if (eng.paramNoPlunge != 0) {
      pockMessage(kPockCodeToolTooBig);
      return 1;
    }
    // Switch values that stay for the rest of the run.
    eng.pockStrategyStockOutin = 0;
    eng.pockDirectLinking = eng.paramForceInside != 0 ? 1 : 0;
    if (eng.paramForceInside != 0) return pockLevelFull();
    // The reversed contours are offset to the other side: the level's orientation follows them
    // for this level (without that the rings grew out of the pocket).
    if (layerReverseAll("MAIN") < 0) return entryFailed();
    eng.ccpOuterOrientation = -eng.ccpOuterOrientation;
    const int result = pockLevelFull();
    eng.ccpOuterOrientation = -eng.ccpOuterOrientation;
    return result;
  }
  if (ctreeInit(1) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  pockWriteHeader();
  entryState.stockShift = -eng.paramStockOffset;
  ringSettings().firstStepCorrection = entryState.stockShift;
  if (layerCount("MAIN") == 1 && eng.paramAllowSingleCut != 0) {
    const int single = pockSingleCutMain();
    if (single > 0) return single;
  }
  layerGetHeader("MAIN", &entryState.savedMain, 0);
  entryState.savedMain.elements = nullptr;
  if (layerCount("MAIN") > 40) pockSortIslandsByDistance("MAIN");
  std::vector<int> openList;
  const int listed = pockRetagOpenContours("MAIN", &openList);
  const int mainCount = layerCount("MAIN");
  if (entryState.orderedOpen != 0) {
    if (pockAddMainAsNode() < 0) return entryFailed();
    contSetKeepOpen(1);
  }
  const int islands = ringOffsetIslands(r, allowances, side);
  if (entryState.orderedOpen != 0) {
    contSetKeepOpen(0);
    allow = 0.0;
  }
  if (islands < 0) return entryFailed();
  const int spans = ringBuildSpans(r, allow, zm, side);
  if (spans < 0) {
    freeLevelLayers();
    ringCutLayersFree();
    return entryFailed();
  }
  const int rings = ringBuildSuccessive(step, side, 0);
  ringCutLayersFree();
  if (rings < 0) {
    freeLevelLayers();
    return entryFailed();
  }
  linkRelateTree(r + allowances[0], step);
  eng.pockDirectLinking = 1;
  if (listed > 0 && ctreeNodeCount() > 0) {
    pockRemarkOpenNodes(listed, openList.data(), mainCount);
  }
  pockOrientNodes(pockFirstOpenMarkedNode() > 0 ? 1 : 0);
  if (entryState.orderedOpen != 0 && ctreeNodeCount() > 1) ctreeRelate(1, 0);

  int result = rings;
  const double wide = (2.0 * zm + 1.0) * r + allowances[0];
  const double wider = (4.0 * zm + 1.0) * r + allowances[0];
  std::vector<int> parents;
  for (int v = pockFirstOpenMarkedNode(), guard = 0; v >= 0 && guard <= kCtreeMaxNodes;
       v = pockFirstOpenMarkedNode(), ++guard) {
    pockClaimRuns(v);
    const int count = pockDetachParents(v, &parents);
    for (const int b : parents) {
      if (ctreeState(b) == kCtreeDone) continue;
      if (eng.paramAllowSingleCut != 0 && pockSingleCutNode(b, v, wide) == 1) break;
      Point2D q{};
      Point2D p{};
      int k = pockFindEntry(&q, &p, wide, 1, b, v);
      if (k < 0) k = pockFindEntry(&q, &p, wider, 1, b, v);
      if (entryState.orderedOpen != 0 && k >= 0) pockShiftAway(0.1 * r, &q, p);
      if (k < 0) continue;
      const int linked = linkFromEntry(b, k, q, p, step, false);
      if (linked < 0) {
        pockMessage(kPockCodeNoMemory);
        break;
      }
      result = linked;
    }
    const ContourTreeNode* tv = ctreeNodeAt(v);
    if (count == 0 && tv != nullptr && tv->childCount > 0) {
      std::vector<int> children;
      for (int i = 1; i <= tv->childCount; ++i) children.push_back(ctreeChildAt(v, i));
      for (const int b : children) {
        if (ctreeState(b) == kCtreeDone) continue;
        Point2D q{};
        Point2D p{};
        int k = pockFindEntry(&q, &p, 2.0 * zm * r, 0, b, v);
        if (k < 0) k = pockFindEntry(&q, &p, 4.0 * zm * r, 0, b, v);
        if (k < 0) continue;
        const int linked = linkFromEntry(b, k, q, p, step, true);
        if (linked < 0) {
          pockMessage(kPockCodeNoMemory);
          break;
        }
        result = linked;
      }
    }
    if (entryState.orderedOpen == 0) {
      pockCutClosedRuns(v, step, parents.data(), count);
    }
    ctreeNodeAt(v)->state = kCtreeDone;
  }
  eng.pockDirectLinking = 0;
  if (eng.paramNoPlunge != 0) {
    if (ctreePickDeepest() >= 0) pockMessage(kCodeCutLeft);
  } else {
    for (int node = ctreePickDeepest(); node >= 0; node = ctreePickDeepest()) {
      pockRotateToLongestLine(node);
      eng.ctreeStartMatch.found = 0;
      pockOutput().pockNewStart = 1;
      const int linked = linkRingsSpiral(node, step, 0);
      if (linked < 0) {
        pockMessage(kPockCodeNoMemory);
        break;
      }
      result = linked;
      ctreeSetState(node, kCtreeDone);
    }
  }
  layerFree("MAIN");
  layerFree("INSEL");
  ctreeFree();
  pockWriteLevelEnd();
  return result;
}

int pockLevelOrdered() {
  PockEngine& eng = pockEngine();
  const int keptStockOutin = eng.pockStrategyStockOutin;
  const int keptOpenPocket = eng.pockStrategyOpenPocket;
  const int keptDirect = eng.pockDirectLinking;
  entryState.orderedOpen = 1;
  eng.ctreeStartMatch.found = 0;
  eng.pockStartSet = 0;
  if (pockMainHasOpenEdge() != 0) {
    if (pockSplitOpenMain(eng.pockToolRadius + eng.paramOverlap, pockAllowances(),
                          eng.ccpOuterOrientation) < 0) {
      entryState.orderedOpen = 0;
      pockMessage(kPockCodeNoMemory);
      return -1;
    }
    const int r = pockLevelFromStart();
    entryState.orderedOpen = 0;
    return r;
  }
  entryState.orderedOpen = 0;
  eng.pockStrategyOpenPocket = 0;
  eng.pockStrategyStockOutin = 0;
  eng.pockDirectLinking = 0;
  if (layerReverseAll("MAIN") < 0) return entryFailed();
  eng.ccpOuterOrientation = -eng.ccpOuterOrientation;
  const int r = pockLevelFull();
  eng.pockStrategyStockOutin = keptStockOutin;
  eng.pockStrategyOpenPocket = keptOpenPocket;
  eng.pockDirectLinking = keptDirect;
  return r;
}
