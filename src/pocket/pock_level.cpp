// pock_level.cpp - per-level pocketing: MAIN prepared and handed to the level strategy, collected
// output written reversed; the wall-angle allowances, the marking near the outer boundary, the
// full-circle test, and the contour-parallel level strategies (rings built and linked).
#include "pocket/pock_level.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "pocket/ccp_fields.h"
#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/offset_rings.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_output.h"
#include "pocket/pocket_grouping.h"
#include "pocket/ring_linker.h"
#include "pocket/zigzag_stripes.h"

namespace {
struct LevelState {
  PockLevelObserver observer = nullptr;
  int cutRegionsOn = 0;
};
LevelState levelState;

// Tolerances of the full-circle test and of the marking near the first contour.
constexpr double kCircleTol = 0.0001;
constexpr double kNearFirst = 0.07;
}  // namespace

int pockCutRegionsOn() { return levelState.cutRegionsOn; }

int pockLevel() {
  if (levelState.observer != nullptr) levelState.observer();
  PockEngine& eng = pockEngine();
  PockOutputState& out = pockOutput();
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return -1;
  CcpRecord* r = ccpRecordOf(cycle);
  eng.offsetStrict = 1;
  if (eng.paramPocketContour != 0) {
    pockRunListFree(out.pockPocketRuns);
    out.pockPocketRuns = pockRunsOfLayer("MAIN");
  }
  if (eng.pockStockMode != 0 && eng.pockStockOnly == 0 && r->stockMode != kCcpStockForce) {
    r->approachType = 0;
  }
  if (eng.pockDirectLinking == 0 && eng.pockStartSet == 0) {
    Point2D centre{};
    if (layerIsCircle("MAIN", &centre) == 1) {
      eng.pockStartPoint = centre;
      eng.pockStartSet = 1;
    }
  }
  pockResetSettings();
  const bool wide = r->infeedLength > r->toolDiameter / 2.0 || r->filletRadius > eng.contTol;
  const bool regions = (r->completePocket != 0 && wide) ||
                       (r->considerToolType != 0 && r->infeedLength > 0.3 * r->toolDiameter);
  levelState.cutRegionsOn =
      regions && (eng.pockStockMode == 0 || r->infeedLength >= 0.2 * r->toolDiameter) ? 1 : 0;
  if (ringCutLayersEnable(levelState.cutRegionsOn) < 0) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  out.pockStartCount = 0;
  // Collection runs per level: every level of a run is written reversed.
  if (eng.pockCollectOutput != 0) {
    pockCollectStart();
  } else if (eng.pockStrategyStockOutin != 0) {
    pockListFree(out.pockCollected);
    out.pockCollected = pockListNew(kPockCollectCapacity);
  }
  int result = 0;
  switch (r->strategy) {
    case kCcpStrategyAxisParallel: result = zigzagLevel(); break;
    case kCcpStrategyStockOutin:
      if (r->allowSingleCut != 0) {
        eng.paramAllowSingleCut = r->allowSingleCut;
        eng.paramSingleCutOverlap = r->singleCutOverlapFactor;
      }
      result = pockLevelFromStart();
      break;
    case kCcpStrategyOpenPocket: result = pockLevelOrdered(); break;
    default: result = pockLevelFull(); break;
  }
  ringCutLayersFree();
  if (out.pockCollecting != 0) pockFlushList();
  pockListFree(out.pockCollected);
  out.pockCollected = nullptr;
  out.pockCollecting = 0;
  if (eng.paramPocketContour != 0) {
    pockRunListFree(out.pockPocketRuns);
    out.pockPocketRuns = nullptr;
    if (out.pockOnPocket != 0) pockMarkPocketRun(0);
  }
  return result;
}

int pockWallAngleAllowance(const char* name) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return 0;
  const CcpRecord* r = ccpRecordOf(cycle);
  if (std::fabs(r->wallAngle) < kCcpWallAngleMin) return 0;
  const double w = r->wallAngle * 2.0 * std::numbers::pi / 360.0;
  const double f = pockEngine().scaleFactor;
  const double factor = std::fabs(f - 1.0) < 0.00001 || !(f > 0.0) ? 1.0 : f;
  double c = 0.0;
  if (r->toolType == kCcpToolBall) c = r->toolDiameter / factor / 2.0;
  if (r->toolType == kCcpToolRadius) c = r->cornerRadius / factor;
  const double bottom = r->surface - r->depth;
  const int n = layerCount(name);
  double* allowances = pockAllowances();
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i || h.zTop < bottom) continue;
    const double add =
        (std::tan(w) * (h.zTop - bottom - (1.0 - std::sin(w)) * c) - (1.0 - std::cos(w)) * c) *
        factor;
    h.allowance += add;
    if (i < kPockAllowanceRoom) allowances[i] = h.allowance;
    layerSetHeader(name, &h, i);
  }
  return 1;
}

int layerIsCircle(const char* name, Point2D* centre) {
  if (layerCount(name) != 1) return 0;
  ContourHeader h{};
  if (layerGetHeader(name, &h, 0) != 0 || h.count <= 0) return 0;
  std::vector<ContourElement> e(static_cast<std::size_t>(h.count));
  if (layerGetContour(name, e.data(), h.count, &h, 0) != 0) return 0;
  const ContourElement& a = e[0];
  for (const ContourElement& x : e) {
    if (x.type != kContArc || x.dir != a.dir || std::fabs(x.p0 - a.p0) > kCircleTol ||
        std::fabs(x.p1 - a.p1) > kCircleTol || std::fabs(x.radius - a.radius) > kCircleTol) {
      return 0;
    }
  }
  if (centre != nullptr) *centre = Point2D{a.p0, a.p1};
  return 1;
}

int layerMarkNearFirst(const char* name) {
  const int n = layerCount(name);
  if (n < 2) return 0;
  ContourHeader fh{};
  if (layerGetHeader(name, &fh, 0) != 0) return -1;
  std::vector<ContourElement> first(static_cast<std::size_t>(fh.count > 0 ? fh.count : 1));
  if (layerGetContour(name, first.data(), fh.count, &fh, 0) != 0) return -1;
  for (int i = 1; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) return -1;
    std::vector<ContourElement> e(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour(name, e.data(), h.count, &h, i) != i) return -1;
    for (int k = 0; k < h.count; ++k) {
      Point2D mid{};
      if (contElemPoint(e[static_cast<std::size_t>(k)], &mid, 3) != 1) continue;
      if (contMinDistance(mid, first.data(), fh.count) < kNearFirst ||
          contWinding(first.data(), fh.count, mid) == 0) {
        e[static_cast<std::size_t>(k)].tag = kContTagOpen;
      }
    }
    if (layerReplaceContour(name, e.data(), &h, i) != 1) return -1;
  }
  return 1;
}

void pockLevelSetObserver(PockLevelObserver observer) { levelState.observer = observer; }

void pockLevelRunReset() {
  const PockLevelObserver keep = levelState.observer;
  levelState = LevelState{};
  levelState.observer = keep;
  ringOpenResetState();
  pockEdgeMovementReset();
  zigzagResetState();
}

void pockLevelResetState() {
  levelState = LevelState{};
  ringOpenResetState();
  pockEdgeMovementReset();
  zigzagResetState();
}

// ---- contour-parallel levels -------------------------------------------------------------------

namespace {

// Frees the ring layers after a failed ring pass.
void freeRingLayers() {
  for (const char* layer : {"SPAN", "GKT", "MAIN", "INSEL"}) layerFree(layer);
}

// The level's failure: code 3020, the tree freed, -1.
int levelFailed() {
  pockMessage(kPockCodeNoMemory);
  ctreeFree();
  return -1;
}

// Keeps the run's stepover factor while a level fits its own: every level starts from the factor
// the settings gave.
struct StepFactorKeeper {
  StepFactorKeeper() : factor(pockEngine().pockStepFactor) {}
  ~StepFactorKeeper() { pockEngine().pockStepFactor = factor; }
  StepFactorKeeper(const StepFactorKeeper&) = delete;
  StepFactorKeeper& operator=(const StepFactorKeeper&) = delete;
  double factor;
};

// The next open node to link: the shallowest with direct linking, else the deepest.
int nextOpenNode() {
  return pockEngine().pockDirectLinking != 0 ? ctreePickShallowest() : ctreePickDeepest();
}

int linkTree(int start, double step, int flag) {
  return pockEngine().pockDirectLinking != 0 ? linkRingsDirect(start, step, 0)
                                             : linkRingsSpiral(start, step, flag);
}

}  // namespace

int pockKeepFirstTreeOnly() {
  const PockEngine& eng = pockEngine();
  return eng.ctreeStartMatch.found != 0 && eng.pockDirectLinking == 0 && eng.pockStockMode == 0 &&
                 eng.pockRetractEachPlane == 1
             ? 1
             : 0;
}

int pockDirectStepCount(double gap, double step) {
  if (!(step > 0.0) || !std::isfinite(gap)) return 1;
  const double q = std::floor(gap / step);
  if (!(q >= 0.0) || q > 1e9) return 1;
  return static_cast<int>(q) + 1;
}

int pockLevelFull() {
  PockEngine& eng = pockEngine();
  const StepFactorKeeper keeper;
  const bool stock = eng.pockStockMode != 0;
  const bool single = layerCount("MAIN") == 1;
  // Several contours in stock mode: the stock and the part, rings grown outward from the part.
  const bool open = stock && !single;
  const double r = eng.pockToolRadius;
  const double allow = pockAllowances()[0];
  const int side = eng.ccpOuterOrientation;
  const bool keepFirstTreeOnly = pockKeepFirstTreeOnly() == 1;
  if (ctreeInit(1) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  pockWriteHeader();
  if (layerCount("MAIN") > 40) pockSortIslandsByDistance("MAIN");
  int islands = 0;
  if (open) {
    islands = ringOffsetMainOpen(r, pockAllowances(), side);
  } else {
    if (stock && (layerReverseAll("MAIN") < 0 || layerRetagByIndex("MAIN") < 0)) {
      return levelFailed();
    }
    islands = ringOffsetIslands(r, pockAllowances(), side);
  }
  if (islands < 0) return levelFailed();
  const int spans =
      open ? ringOpenFinal(r, side) : ringBuildSpans(r, allow, eng.pockStepFactor, side);
  if (spans < 0) {
    freeRingLayers();
    ringCutLayersFree();
    return levelFailed();
  }
  double step = 2.0 * eng.pockStepFactor * r;
  if (eng.pockSplitPath != 0) {
    if (ringBuildSuccessive(step, side, 1) < 0 || ringRegroupGkt(step, side) < 0) {
      freeRingLayers();
      return levelFailed();
    }
  }
  if (eng.pockDirectLinking != 0) {
    // n equal steps fill the narrowest gap between the boundary rings and the island rings.
    const double g = pockSpanIslandGap() - 0.05;
    const int n = pockDirectStepCount(g, step);
    if (n > 1) {
      eng.pockStepFactor = g / (r * n * 2.0);
      step = 2.0 * eng.pockStepFactor * r;
    }
  }
  pockSetEdgeMovement(r, step, side);
  const int rings = open ? ringOpenSpanPasses(step, side) : ringBuildSuccessive(step, side, 0);
  if (rings < 0) {
    freeRingLayers();
    return levelFailed();
  }
  linkRelateTree(r + allow, step);
  if (eng.pockSplitPath != 0) {
    // The outermost rings and the rings just inside them are separate finishing passes; the rest
    // is collected and written tree by tree.
    if (pockOutputFullPass() < 0 || pockOutputLeaves() < 0) {
      ctreeFree();
      return -1;
    }
    pockCollectStart();
  }

  int start = -1;
  if (eng.ctreeStartMatch.found != 0) {
    start = eng.ctreeStartMatch.node;
  } else if (eng.pockDirectLinking != 0) {
    start = ctreePickShallowest();
  } else {
    start = ctreePickDeepest();
    if (start < 0) {
      pockMessage(kPockCodeToolTooBig);
      ctreeFree();
      pockWriteLevelEnd();
      return rings;
    }
    if (!stock) pockRotateToLongestLine(start);
  }
  int result = rings;
  // In stock mode the stock alone is cut from its own ring, which runs open where it leaves the
  // stock.
  const int flag = stock && single ? 1 : 0;
  if (start >= 0 && stock) {
    eng.ctreeStartMatch.found = 0;
    if (single) start = 0;
    if (ringMarkOutsideInsel(start, side, eng.pockStockTolerance) < 0) return levelFailed();
  }
  if (start < 0) {
    pockMessage(kPockCodeToolTooBig);
  } else {
    result = linkTree(start, step, flag);
    if (result < 0) return levelFailed();
    if (eng.pockSplitPath != 0) pockFlushList();
    // The further trees, unless the level is entered at its start ring only; a rest pass links
    // every tree.
    const bool further = eng.pockRestPass != 0 || !keepFirstTreeOnly;
    for (int node = further ? nextOpenNode() : -1; node >= 0; node = nextOpenNode()) {
      pockMessage(kPockCodeNextTree);
      if (eng.pockSplitPath != 0) pockCollectStart();
      if (eng.pockDirectLinking == 0 && !stock) pockRotateToLongestLine(node);
      eng.ctreeStartMatch.found = 0;
      pockOutput().pockNewStart = 1;
      result = linkTree(node, step, flag);
      if (result < 0) return levelFailed();
      if (eng.pockSplitPath != 0) pockFlushList();
    }
  }
  ctreeFree();
  pockWriteLevelEnd();
  return result;
}

int pockLevelSimple() {
  if (levelState.observer != nullptr) levelState.observer();
  PockEngine& eng = pockEngine();
  const bool stock = eng.pockStockMode != 0;
  const int m = layerCount("MAIN");
  const double r = eng.pockToolRadius;
  const int side = eng.ccpOuterOrientation;
  const double step = 2.0 * eng.pockStepFactor * r;
  if (ctreeInit(1) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  pockWriteHeader();
  if (ringOffsetIslands(r, pockAllowances(), side) < 0) return levelFailed();
  const int spans = ringBuildSpans(r, pockAllowances()[0], eng.pockStepFactor, side);
  if (spans < 0) {
    freeRingLayers();
    return levelFailed();
  }
  ctreeFree();
  // The island rings join the boundary rings; every ring becomes a node of its own.
  std::vector<ContourElement> e;
  for (int k = layerCount("INSEL") - 1; k >= 0; k = layerCount("INSEL") - 1) {
    ContourHeader h{};
    if (layerGetHeader("INSEL", &h, k) != k) break;
    e.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour("INSEL", e.data(), h.count, &h, k) != k ||
        layerInsertContour("SPAN", e.data(), &h, -1) != 1) {
      return levelFailed();
    }
    layerDeleteContour("INSEL", k);
  }
  if (ctreeInit(1) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  for (int k = 0; k < layerCount("SPAN"); ++k) {
    ContourHeader h{};
    if (layerGetHeader("SPAN", &h, k) != k) continue;
    e.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour("SPAN", e.data(), h.count, &h, k) != k) continue;
    if (ctreeAdd(e.data(), &h, 0, 0) < 0) return levelFailed();
  }
  int start = eng.ctreeStartMatch.found != 0 ? eng.ctreeStartMatch.node : ctreePickDeepest();
  int flag = 0;
  if (start >= 0 && stock) {
    eng.ctreeStartMatch.found = 0;
    if (m == 1) {
      start = 0;
      flag = 1;
    }
  }
  if (start < 0) {
    pockMessage(kPockCodeToolTooBig);
  } else {
    if (linkRingsSpiral(start, step, flag) < 0) return levelFailed();
    for (int node = ctreePickDeepest(); node >= 0; node = ctreePickDeepest()) {
      eng.ctreeStartMatch.found = 0;
      pockOutput().pockNewStart = 1;
      if (linkRingsSpiral(node, step, flag) < 0) break;
    }
  }
  ctreeFree();
  pockWriteLevelEnd();
  return spans;
}

int pockRotateToLongestLine(int node) {
  ContourTreeNode* t = ctreeNodeAt(node);
  if (t == nullptr || t->count <= 0) return -1;
  const int n = t->count;
  std::vector<ContourElement> e(static_cast<std::size_t>(n));
  if (ctreeGetElems(e.data(), n, t->block) != 1) return -1;
  int best = -1;
  double longest = 0.0;
  for (int i = 0; i < n; ++i) {
    if (e[static_cast<std::size_t>(i)].type != kContLine) continue;
    const double len = contElemLength(e[static_cast<std::size_t>(i)]);
    if (best < 0 || len > longest) {
      best = i;
      longest = len;
    }
  }
  if (best < 0 || longest < pockEngine().pockToolRadius) return 0;
  const ContourElement& line = e[static_cast<std::size_t>(best)];
  const Point2D mid{(line.p0 + line.p2) / 2.0, (line.p1 + line.p3) / 2.0};
  std::vector<ContourElement> rotated;
  rotated.reserve(static_cast<std::size_t>(n) + 1);
  rotated.push_back(contMakeLine(mid.x, mid.y, line.p2, line.p3, line.tag));
  for (int i = best + 1; i < n; ++i) rotated.push_back(e[static_cast<std::size_t>(i)]);
  for (int i = 0; i < best; ++i) rotated.push_back(e[static_cast<std::size_t>(i)]);
  rotated.push_back(contMakeLine(line.p0, line.p1, mid.x, mid.y, line.tag));
  ElementBlock* block = ctreeNewBlock(rotated.data(), n + 1);
  if (block == nullptr) return -1;
  t->block = block;
  t->count = n + 1;
  return 1;
}

double pockSpanIslandGap() {
  const int ns = layerCount("SPAN");
  const int ng = layerCount("GKT");
  if (ns <= 0 || ng <= 0) return 0.0;
  double best = HUGE_VAL;
  std::vector<ContourElement> a;
  std::vector<ContourElement> b;
  for (int i = 0; i < ns; ++i) {
    ContourHeader ha{};
    if (layerGetHeader("SPAN", &ha, i) != i || ha.count <= 0) continue;
    a.resize(static_cast<std::size_t>(ha.count));
    if (layerGetContour("SPAN", a.data(), ha.count, &ha, i) != i) continue;
    for (int j = 0; j < ng; ++j) {
      ContourHeader hb{};
      if (layerGetHeader("GKT", &hb, j) != j || hb.count <= 0) continue;
      b.resize(static_cast<std::size_t>(hb.count));
      if (layerGetContour("GKT", b.data(), hb.count, &hb, j) != j) continue;
      for (const ContourElement& x : a) {
        for (const ContourElement& y : b) {
          Point2D pa{};
          Point2D pb{};
          best = std::min(best, linkElemDistance(x, y, &pa, &pb));
        }
      }
    }
  }
  return best == HUGE_VAL ? 0.0 : best;
}
