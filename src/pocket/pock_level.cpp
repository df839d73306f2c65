// pock_level.cpp - per-level pocketing: MAIN prepared and handed to the level strategy, collected
// output written reversed; the wall-angle allowances, the marking near the outer boundary, the
// full-circle test and the edge-movement settings the strategies read.
#include "pocket/pock_level.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "pocket/ccp_fields.h"
#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_output.h"
#include "pocket/zigzag_stripes.h"

namespace {
struct LevelState {
  PockLevelObserver observer = nullptr;
  int cutRegionsOn = 0;
  PockEdgeMovement edge = {0.0, 0.0, 0, 0};
  // Strategies already reported as not realised in this run.
  int reportedFull = 0, reportedSimple = 0, reportedFromStart = 0, reportedOrdered = 0;
};
LevelState levelState;

int notRealised(int* reported) {
  if (*reported == 0) {
    *reported = 1;
    pockMessage(kPockCodeNotRealised);
  }
  return -1;
}

// Tolerances of the full-circle test and of the marking near the first contour.
constexpr double kCircleTol = 0.0001;
constexpr double kNearFirst = 0.07;
}  // namespace

int pockLevelFull() { return notRealised(&levelState.reportedFull); }
int pockLevelFromStart() { return notRealised(&levelState.reportedFromStart); }
int pockLevelOrdered() { return notRealised(&levelState.reportedOrdered); }

int pockLevelSimple() {
  if (levelState.observer != nullptr) levelState.observer();
  return notRealised(&levelState.reportedSimple);
}

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
  if (std::fabs(r->wallAngle) < 0.00001) return 0;
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

void pockSetEdgeMovement(double step, double limit, int side) {
  const bool forced = pockCfg().edgeMovement == 2;
  levelState.edge =
      PockEdgeMovement{step, limit, side, limit >= step + pockEngine().contTol || forced ? 1 : 0};
}

PockEdgeMovement pockEdgeMovement() { return levelState.edge; }

void pockLevelSetObserver(PockLevelObserver observer) { levelState.observer = observer; }

void pockLevelRunReset() {
  const PockLevelObserver keep = levelState.observer;
  levelState = LevelState{};
  levelState.observer = keep;
  zigzagResetState();
}

void pockLevelResetState() {
  levelState = LevelState{};
  zigzagResetState();
}
