// ccp_rest.cpp - rest machining in the pocket cycle: reference rings, the rest pass over the rest
// regions, collected pockets per sequence and the cycle's two rest modes.
#include "pocket/ccp_rest.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "framework/output_records.h"
#include "pocket/ccp_fields.h"
#include "pocket/ccp_layers.h"
#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/offset_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_levels.h"
#include "pocket/pock_output.h"
#include "pocket/pock_scale.h"
#include "pocket/rest_file.h"
#include "pocket/rest_regions.h"

namespace {

struct CcpRestState {
  int pocketSequence = 0;
};
CcpRestState ccpRest;

using Elems = std::vector<ContourElement>;

// One contour of a layer with its elements.
struct Stored {
  ContourHeader header;
  Elems elements;
};

bool readContour(const char* layer, int i, Elems* buf, ContourHeader* h) {
  if (layerGetHeader(layer, h, i) != i || h->count < 0) return false;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  return layerGetContour(layer, buf->data(), h->count, h, i) == i;
}

// Every contour of a layer, in order; false when one cannot be read.
bool readLayer(const char* layer, std::vector<Stored>* out) {
  out->clear();
  const int n = layerCount(layer);
  for (int i = 0; i < n; ++i) {
    Stored s{};
    if (!readContour(layer, i, &s.elements, &s.header)) return false;
    out->push_back(std::move(s));
  }
  return true;
}

// Appends the contours to the layer; false when it refuses one.
bool appendAll(const char* layer, const std::vector<Stored>& contours) {
  for (const Stored& s : contours) {
    ContourHeader h = s.header;
    h.elements = nullptr;
    if (layerInsertContour(layer, s.elements.data(), &h, -1) != 1) return false;
  }
  return true;
}

// Creates the layer afresh with a copy of every contour of from; false when that fails.
bool copyLayer(const char* from, const char* to) {
  std::vector<Stored> all;
  return readLayer(from, &all) && layerCreate(to) == 1 && appendAll(to, all);
}

// Whether the host asked to stop at once.
bool stopNow(CycleRecord* cycle) {
  if (cycle == nullptr || cycle->signal != kCycSignalStopNow) return false;
  cycle->status = kCycStatusUserBreak;
  return true;
}

// The start settings a rest pass or a sequence changes, put back when it ends.
struct StartKeeper {
  StartKeeper()
      : set(pockEngine().pockStartSet),
        point(pockEngine().pockStartPoint),
        reach(pockEngine().pockStartReach),
        match(pockEngine().ctreeStartMatch),
        restPass(pockEngine().pockRestPass),
        allowance0(pockAllowances()[0]) {}
  ~StartKeeper() {
    PockEngine& e = pockEngine();
    e.pockStartSet = set;
    e.pockStartPoint = point;
    e.pockStartReach = reach;
    e.ctreeStartMatch = match;
    e.pockRestPass = restPass;
    pockAllowances()[0] = allowance0;
  }
  StartKeeper(const StartKeeper&) = delete;
  StartKeeper& operator=(const StartKeeper&) = delete;
  int set;
  Point2D point;
  double reach;
  CtreeStartMatch match;
  int restPass;
  double allowance0;
};

// The rest file settings, put back when a rest mode ends: the reference rings switch them.
struct RifKeeper {
  RifKeeper() : cfg(pockCfg()) {}
  ~RifKeeper() {
    PocketCfgRecord& now = pockCfg();
    std::memcpy(now.rifName, cfg.rifName, sizeof now.rifName);
    now.genRif = cfg.genRif;
    now.evalRif = cfg.evalRif;
  }
  RifKeeper(const RifKeeper&) = delete;
  RifKeeper& operator=(const RifKeeper&) = delete;
  PocketCfgRecord cfg;
};

// The start near a region's reference arc: a tenth of the way from the arc's middle chord point
// through its centre and beyond; the arc becomes the reference circle and the start match is
// taken as found, so that the linkers begin at the ring nearest to that point.
void startAtReference(const ContourElement& arc) {
  PockEngine& e = pockEngine();
  const Point2D m{(arc.p2 + arc.p4) / 2.0, (arc.p3 + arc.p5) / 2.0};
  restSetReference(arc);
  e.pockStartSet = 1;
  e.pockStartPoint = Point2D{1.1 * arc.p0 - 0.1 * m.x, 1.1 * arc.p1 - 0.1 * m.y};
  e.pockStartReach = arc.radius;
  e.ctreeStartMatch = CtreeStartMatch{100000.0, -1, 0, {0.0, 0.0}, 1};
}

// Pockets MAIN: the ring strategies with a stepover, the plain rings without one.
int pocketMain() {
  if (pockEngine().pockStepFactor > 1e-7) return pockLevel();
  pockResetSettings();
  return pockLevelSimple();
}

int codeFailed(int code) {
  pockMessage(code);
  return -1;
}

// Pockets one rest region: INPUT becomes the region with the ORIG islands inside it, then it is
// pocketed or collected. Returns 1; 0 when the region is too short (code 3255); -1 on failure.
int restPocketRegion(Elems* region, ContourHeader h, double minLength) {
  const int n = static_cast<int>(region->size());
  PockEngine& e = pockEngine();
  const double wallLength = contLength(region->data() + 1, n - 1);
  if (n < 2 || wallLength < minLength - e.contTol) {
    pockMessage(kRestCodeRegionShort);
    return 0;
  }
  startAtReference((*region)[0]);
  const int outer = e.ccpOuterOrientation;
  if (contOrientation(region->data(), n) != outer) contReverse(region->data(), n);
  const std::uint8_t ccw = outer == 1 ? 1 : 0;
  h.ccw = ccw;
  h.leftSide = ccw;
  contArcsRecentre(region->data(), n);
  h.group = 1;
  h.count = n;
  h.elements = nullptr;
  if (layerCreate("INPUT") != 1 || layerInsertContour("INPUT", region->data(), &h, -1) != 1 ||
      restAddIslands("INPUT", region->data(), n, outer) < 0) {
    return -1;
  }
  if (e.paramStepStrategyPocket != 0) return ccpCollectPocket("INPUT") == 1 ? 1 : -1;
  return ccpPocketLevels(outer) == 1 ? 1 : -1;
}

}  // namespace

void ccpRestResetState() {
  ccpRest = CcpRestState{};
  restResetState();
}

// ---- the rest pass
// -------------------------------------------------------------------------------

int restMachining(const char* name, double refRadius) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return -1;
  const CcpRecord* r = ccpRecordOf(cycle);
  PockEngine& e = pockEngine();
  RestState& rs = restState();
  const StartKeeper keep;
  rs.restTol = kRestTolBase;
  e.pockRestPass = 1;
  const auto dropLayers = [] {
    for (const char* layer : {"SPAN", "REST", "ORIG"}) layerFree(layer);
  };
  if (layerCreate("SPAN") != 1) return -1;
  double radius = refRadius;
  if (name != nullptr) {
    std::vector<Stored> rings;
    if (!readLayer(name, &rings) || !appendAll("SPAN", rings)) {
      dropLayers();
      return codeFailed(kPockCodeNoMemory);
    }
    layerFree(name);
  } else {
    radius = 0.0;
    if (rifRead("SPAN", &radius) < 0) {
      dropLayers();
      return codeFailed(kRifCodeBadLine);
    }
  }
  if (layerCreate("REST") != 1) {
    dropLayers();
    return codeFailed(kPockCodeNoMemory);
  }
  if (radius < 1.0) rs.restTol *= 0.04;
  if (radius - rs.restTol < e.pockToolRadius) {
    pockMessage(kRestCodeToolNotSmaller);
    dropLayers();
    return 0;
  }
  if (restFindRegions(radius) < 0) {
    // A failed search must not pass for a finished rest pass.
    dropLayers();
    return codeFailed(kPockCodeNoMemory);
  }
  layerFree("SPAN");
  layerFree("MAIN");
  if (!copyLayer("INPUT", "ORIG")) {
    dropLayers();
    return codeFailed(kPockCodeNoMemory);
  }
  PocketCfgRecord& cfg = pockCfg();
  if (cfg.evalRif == 0) pockWriteHeader();
  cfg.evalRif = 1;
  pockAllowances()[0] = rs.restAllowance;
  if (layerCount("REST") == 0) pockMessage(kRestCodeNoRegion);

  int result = 1;
  Elems region;
  while (result == 1 && layerCount("REST") > 0) {
    if (stopNow(cycle)) break;
    ContourHeader h{};
    const int last = layerCount("REST") - 1;
    if (!readContour("REST", last, &region, &h) || layerDeleteContour("REST", last) != 1) {
      result = -1;
      break;
    }
    region.resize(static_cast<std::size_t>(h.count));
    if (restPocketRegion(&region, h, r->rifMinLength) < 0) result = -1;
  }
  // INPUT back as it was, on every way out.
  std::vector<Stored> orig;
  if (!readLayer("ORIG", &orig) || layerCreate("INPUT") != 1 || !appendAll("INPUT", orig)) {
    result = -1;
  }
  dropLayers();
  if (result < 0) pockMessage(kPockCodeNoMemory);
  return result;
}

int ccpRestReference(double refRadius) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return -1;
  PockEngine& e = pockEngine();
  pockResetSettings();
  if (layerCreate("REST") != 1) return -1;
  PocketCfgRecord& cfg = pockCfg();
  const double toolRadius = e.pockToolRadius;
  char name[sizeof cfg.rifName];
  std::memcpy(name, cfg.rifName, sizeof name);
  std::memset(cfg.rifName, 0, sizeof cfg.rifName);
  std::memcpy(cfg.rifName, "REST", 5);
  cfg.genRif = 1;
  cfg.evalRif = 0;
  int result = 1;
  e.pockToolRadius = refRadius;
  const int side = e.ccpOuterOrientation;
  if (ctreeInit(1) != 1 || ringOffsetIslands(refRadius, pockAllowances(), side) < 0) {
    result = -1;
  } else if (ccpRecordOf(cycle)->stockMode == kCcpStockOff &&
             ringBuildSpans(refRadius, pockAllowances()[0], e.pockStepFactor, side) < 0) {
    result = -1;
  }
  ctreeFree();
  for (const char* layer : {"SPAN", "GKT", "INSEL"}) layerFree(layer);
  e.pockToolRadius = toolRadius;
  std::memcpy(cfg.rifName, name, sizeof name);
  cfg.evalRif = 1;
  cfg.genRif = 0;
  if (result < 0) pockMessage(kPockCodeNoMemory);
  return result;
}

// ---- levels and sequences
// ------------------------------------------------------------------------

int ccpPocketLevels(int orient) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  PockEngine& e = pockEngine();
  r->startExplicit = e.pockStartSet;
  const double top = r->surface;
  const double depth = r->depth;
  PocketLevelList* list = pockLevelListNew(kLayerMaxContours);
  if (list == nullptr) {
    cycSendError(cycle, "103");
    return 0;
  }
  const int n = layerCount("INPUT");
  for (int i = 0, k = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) != i) continue;
    pockLevelListSet(list, k++, top, top - std::fabs(depth), h.group == 0 ? 1 : 0, i);
  }
  PocketLevelHeights* heights = ccpLevelHeights(list, r->infeedDepth);
  if (heights == nullptr) {
    pockLevelListFree(list);
    return 0;
  }
  const int partNumber = pockDrillNext();
  const int count = heights->count;
  int result = 1;
  for (int k = 0; k + 1 < count && result == 1; ++k) {
    if (stopNow(cycle)) break;
    const double levelTop = heights->heights[k];
    const double levelBottom = heights->heights[k + 1];
    r->surface = levelTop;
    r->depth = levelTop - levelBottom;
    const int built = ccpMainFromList(cycle, list, "INPUT", levelBottom, orient);
    if (built <= 0) {
      if (built < 0) pockMessage(kPockCodeNoMemory);
      result = 0;
    } else {
      pockAllowancesFromLayer("MAIN");
      const double outerAsBuilt = pockAllowances()[0];
      pockWallAngleAllowance("MAIN");
      // A rest pass keeps the wall's allowance for its region's outline, raised as the wall angle
      // raised the outline's own.
      if (e.pockRestPass != 0) {
        pockAllowances()[0] = restState().restAllowance + (pockAllowances()[0] - outerAsBuilt);
      }
      pockDrillSet(partNumber);
      pockOutput().levelsLeft = count - k - 2;
      if (pocketMain() < 0) result = 0;
    }
    layerFree("MAIN");
  }
  pockLevelHeightsFree(heights);
  pockLevelListFree(list);
  // Each region and sequence starts from the level it was given.
  r->surface = top;
  r->depth = depth;
  return result;
}

int ccpCollectPocket(const char* name) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return -1;
  const CcpRecord* r = ccpRecordOf(cycle);
  ++ccpRest.pocketSequence;
  std::vector<Stored> all;
  if (!readLayer(name, &all)) return -1;
  for (Stored& s : all) {
    s.header.zTop = r->surface;
    s.header.zBottom = r->surface - r->depth;
    s.header.sequence = static_cast<std::int16_t>(ccpRest.pocketSequence);
  }
  return appendAll("POCKET", all) ? 1 : -1;
}

int ccpJoinRunsAtSameStart(const char* name) {
  std::vector<Stored> all;
  try {
    if (!readLayer(name, &all)) return -1;
    const auto runEnd = [&all](std::size_t i) {
      std::size_t j = i + 1;
      while (j < all.size() && all[j].header.sequence == all[i].header.sequence) ++j;
      return j;
    };
    const auto startOf = [&all](std::size_t i) {
      return all[i].header.count > 0 ? contElemStart(all[i].elements[0]) : Point2D{0.0, 0.0};
    };
    for (std::size_t i = 0; i < all.size();) {
      const std::size_t end = runEnd(i);
      const Point2D s = startOf(i);
      for (std::size_t j = end; j < all.size(); j = runEnd(j)) {
        if (all[j].header.count <= 0 || std::fabs(startOf(j).x - s.x) >= 0.0001 ||
            std::fabs(startOf(j).y - s.y) >= 0.0001) {
          continue;
        }
        if (j > end) {
          const std::size_t jEnd = runEnd(j);
          std::vector<Stored> moved(std::make_move_iterator(all.begin() + static_cast<long>(j)),
                                    std::make_move_iterator(all.begin() + static_cast<long>(jEnd)));
          all.erase(all.begin() + static_cast<long>(j), all.begin() + static_cast<long>(jEnd));
          all.insert(all.begin() + static_cast<long>(end), std::make_move_iterator(moved.begin()),
                     std::make_move_iterator(moved.end()));
        }
        break;
      }
      i = end;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return layerCreate(name) == 1 && appendAll(name, all) ? 1 : -1;
}

int ccpRunSequences(const char* name) {
  CycleRecord* cycle = ccpCurrent();
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  const StartKeeper keep;
  const double top = r->surface;
  const double depth = r->depth;
  std::vector<Stored> input;
  std::vector<Stored> all;
  if (!readLayer("INPUT", &input) || !readLayer(name, &all)) return 0;
  int result = 1;
  for (std::size_t i = 0; i < all.size() && result == 1;) {
    if (stopNow(cycle)) break;
    std::size_t end = i + 1;
    while (end < all.size() && all[end].header.sequence == all[i].header.sequence) ++end;
    const std::vector<Stored> run(all.begin() + static_cast<long>(i),
                                  all.begin() + static_cast<long>(end));
    if (layerCreate("INPUT") != 1 || !appendAll("INPUT", run)) {
      result = 0;
      break;
    }
    r->surface = run[0].header.zTop;
    r->depth = run[0].header.zTop - run[0].header.zBottom;
    if (run[0].header.count > 0) {
      startAtReference(run[0].elements[0]);
      if (ccpPocketLevels(pockEngine().ccpOuterOrientation) != 1) result = 0;
    }
    i = end;
  }
  r->surface = top;
  r->depth = depth;
  if (layerCreate("INPUT") != 1 || !appendAll("INPUT", input)) result = 0;
  return result;
}

// ---- the cycle's rest modes
// ----------------------------------------------------------------------

int ccpRunRestGroups(CycleRecord* cycle, int firstGroup, int lastGroup, int clamps) {
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  PockEngine& e = pockEngine();
  const RifKeeper keepRif;
  double radius = r->referenceRadius;
  if (r->useReference == 0) {
    if (rifRead(nullptr, &radius) <= 0) {
      pockMessage(kRifCodeBadLine);
      return 0;
    }
    // The file holds output units; the run works in engine units.
    scaleValue(&radius);
  }
  if (!copyLayer("INPUT", "TEMP")) {
    cycSendError(cycle, "103");
    layerFree("TEMP");
    return 0;
  }
  const double savedTop = r->surface;
  const double savedDepth = r->depth;
  int result = 1;
  for (int g = firstGroup; g <= lastGroup && result == 1; ++g) {
    PocketLevelList* list = pockLevelListNew(kLayerMaxContours);
    if (list == nullptr || ccpFillLevelList(r, list, "TEMP", g) < 0) {
      pockLevelListFree(list);
      cycSendError(cycle, "103");
      result = 0;
      break;
    }
    double step = r->infeedDepth;
    double top = 0.0;
    double bottom = 0.0;
    if (list->count == 0 || pockLevelRange(list, &top, &bottom) != 1) {
      pockLevelListFree(list);
      continue;
    }
    if (step < 0.00001) step = top - bottom;
    PocketLevelHeights* heights = ccpLevelHeights(list, step);
    if (heights == nullptr) {
      pockLevelListFree(list);
      result = 0;
      break;
    }
    const int partNumber = pockDrillNext();
    const bool collect = e.paramStepStrategyPocket != 0;
    if (collect && layerCreate("POCKET") != 1) result = 0;
    for (int k = 0; k + 1 < heights->count && result == 1; ++k) {
      if (stopNow(cycle)) {
        result = 0;
        break;
      }
      const double levelTop = heights->heights[k];
      const double levelBottom = heights->heights[k + 1];
      r->surface = levelTop;
      r->depth = levelTop - levelBottom;
      const int built = ccpGroupMainFromList(cycle, list, "TEMP", g, levelBottom, clamps);
      if (built <= 0) {
        if (built < 0) pockMessage(kPockCodeNoMemory);
        result = 0;
      } else if (layerCount("MAIN") == 0) {
        layerFree("MAIN");
        break;  // the group's lower levels hold nothing either
      } else {
        pockDrillSet(partNumber);
        pockAllowancesFromLayer("MAIN");
        // A failed reference leaves what REST holds for the rest pass (code 3020 sent).
        ccpRestReference(radius);
        if (restMachining("REST", radius) < 0) result = 0;
      }
      layerFree("MAIN");
    }
    if (collect) {
      if (result == 1 &&
          (ccpJoinRunsAtSameStart("POCKET") != 1 || ccpRunSequences("POCKET") != 1)) {
        result = 0;
      }
      layerFree("POCKET");
    }
    pockLevelHeightsFree(heights);
    pockLevelListFree(list);
  }
  r->surface = savedTop;
  r->depth = savedDepth;
  layerFree("TEMP");
  layerFree("REST");
  return result;
}

int ccpRunRestSingle(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  const RifKeeper keepRif;
  if (!copyLayer("INPUT", "MAIN")) {
    cycSendError(cycle, "103");
    layerFree("MAIN");
    return 0;
  }
  pockAllowancesFromLayer("MAIN");
  // Collected pockets are cut once the pass has collected them all.
  const bool collect = pockEngine().paramStepStrategyPocket != 0;
  if (collect && layerCreate("POCKET") != 1) {
    layerFree("MAIN");
    return 0;
  }
  int pass = 0;
  if (r->useReference != 0) {
    ccpRestReference(r->referenceRadius);
    pass = restMachining("REST", r->referenceRadius);
  } else {
    pass = restMachining(nullptr, 0.0);
  }
  layerFree("MAIN");
  layerFree("REST");
  int result = pass < 0 ? 0 : 1;
  if (collect) {
    if (result == 1 && (ccpJoinRunsAtSameStart("POCKET") != 1 || ccpRunSequences("POCKET") != 1)) {
      result = 0;
    }
    layerFree("POCKET");
  }
  return result;
}
