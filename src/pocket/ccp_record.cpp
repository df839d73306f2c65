// ccp_record.cpp - the contour-parallel pocket cycle: its record and phases, the run over depth
// levels and the scaling of a run's lengths.
#include "pocket/ccp_record.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/kernel.h"
#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_options.h"
#include "framework/pof_writer.h"
#include "framework/xchg_writers.h"
#include "geometry/csys.h"
#include "pocket/ccp_layers.h"
#include "pocket/ccp_params.h"
#include "pocket/ccp_rest.h"
#include "pocket/contour_geom.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/open_entry.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"
#include "pocket/pock_runtime.h"
#include "pocket/pock_scale.h"
#include "pocket/pocket_grouping.h"
#include "pocket/rest_file.h"
#include "pocket/ring_linker.h"
#include "pocket/tangent_link.h"

namespace {

constexpr char kStdinSource[] = "| stdin";
// Room of a run's level list: one entry per contour a layer holds.
constexpr int kCcpLevelRoom = kLayerMaxContours;

// Read-parameters slot: ccpReadParameters with its failure noted.
int ccpReadSlot(CycleRecord* cycle);

constexpr CcpRecord ccpLoadImage() {
  CcpRecord r{};
  CycleRecord& c = r.base;
  c.parent = &cycKernel;
  c.code = 1100;
  c.version[0] = 6;
  c.version[1] = 0;
  c.version[2] = 2001;
  c.version[3] = 6;
  c.version[4] = 8;
  c.title = "Brevonix 2D Contour Parallel Pocket Cycle";
  c.id = "qdCCP";
  c.firstOutputPending = 1;
  CycleSlots& s = c.slots;
  s.phaseArguments = [](CycleRecord*) { return 0; };
  s.phaseInit = ccpInit;
  s.phaseOptionD = cycPhaseNoop;
  s.phaseReadParams = ccpReadSlot;
  s.phaseReadCfgParams = ccpLegacyParameters;
  s.phasePrepare = ccpPrepare;
  s.phaseCompute = ccpRun;
  s.phaseFinish = ccpCleanup;
  s.phaseEnd = ccpEnd;
  r.epsilon = 0.0001;
  r.depth = 1.0;
  r.oriAutomatic = 2;
  r.orientation = 1;
  r.referenceRadius = 10.0;
  r.plungeType = 2;
  r.helixRadius = 5.0;
  r.helixPlungeAngle = 20.0;
  r.helixAngleResolution = 10.0;
  r.retractEachPlane = 1;
  r.toolType = kCcpToolFlat;
  r.completePocket = 1;
  r.stockTolerance = 0.5;
  r.messageFile = "rspockhc.loc";
  r.plungeAtLastPosition = 1;
  r.singleCutOverlapFactor = 0.9;
  return r;
}

constinit CcpRecord ccpRecord = ccpLoadImage();

// The engine's lengths that the scaling of a run changes, as the run read them.
struct EngineLengths {
  double stockTolerance, filletRadius, infeedRadius, contTol, toolRadius, settingAM;
  Point2D startPoint;
  double startReach;
};

struct CcpState {
  CcpRunState run;
  int nested = 0;
  int precisionAtInit = 6;
  int clampsRead = 0;
  int failed = 0;  // 1 once a phase of the run failed
  // The record and the engine lengths as read, put back at the end of the run: the prepare phase
  // and the scaling change them for the run only, so that the next run of the same process does
  // not negate, cap or scale them a second time.
  int asReadKept = 0;
  CcpRecord asRead{};
  EngineLengths engineAsRead{};
};
CcpState ccpState;

void ccpFreeLists() {
  pockLevelListFree(ccpState.run.levels);
  pockLevelHeightsFree(ccpState.run.heights);
  pockLevelListFree(ccpState.run.lastSequence);
  ccpState.run.levels = nullptr;
  ccpState.run.heights = nullptr;
  ccpState.run.lastSequence = nullptr;
}

void ccpFreeTexts(CcpRecord* r) {
  for (char** field : {&r->geoSource, &r->clampsSource, &r->frameText}) {
    memFree(*field);
    *field = nullptr;
  }
}

// A parameter copy for the time of a phase.
struct CcpOption {
  explicit CcpOption(const CycleRecord* cycle, const char* key)
      : text(parListGet(cycle->params, key, nullptr)) {}
  ~CcpOption() { memFree(text); }
  CcpOption(const CcpOption&) = delete;
  CcpOption& operator=(const CcpOption&) = delete;
  bool isTrue() const { return text != nullptr && std::strcmp(text, "true") == 0; }
  char* text;
};

int ccpRegister(CycleRecord* cycle, std::uint16_t layer) {
  return cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), pofXchgWriterFor(layer), 1);
}

// Reads a frame from the options into m: keys[0..2] as unit vectors into the axis columns,
// keys[3] as a point into the origin column (first entry of each name; a key without a usable
// value keeps its column).
void ccpReadFrame(AffineMatrix* m, const ParamNode* list, const char* const keys[4]) {
  for (int c = 0; c < 4; ++c) {
    double v[3] = {m->m[c], m->m[4 + c], m->m[8 + c]};
    if (c < 3) {
      parOptionUnitVector(list, keys[c], 1, &v[0], &v[1], &v[2]);
    } else {
      cycReadPointParam(list, keys[c], 1, &v[0], &v[1], &v[2]);
    }
    for (int row = 0; row < 3; ++row) m->m[row * 4 + c] = v[row];
  }
}
constexpr const char* kFrameKeys[4] = {"frameCs_x", "frameCs_y", "frameCs_z", "frameCs_o"};
constexpr const char* kToolKeys[4] = {"toolCs_x", "toolCs_y", "toolCs_z", "toolCs_o"};

// Sends an engine code and fails.
int ccpFailed(int code) {
  pockMessage(code);
  return 0;
}

// The result of a phase; a failure is remembered for the status word of the run's end.
int ccpNote(int result) {
  if (result == 0) ccpState.failed = 1;
  return result;
}

// A wall angle is cut by this cycle's levels only: the axis-parallel cycle, which takes this
// prepare phase, reads its contours as the tool centre's limits and has no wall-angle pass, so it
// refuses one rather than cut vertical walls.
// Returns 1 when the running cycle can cut what is asked; 0 after code 3021.
int ccpFeaturesAvailable(const CycleRecord* cycle, const CcpRecord* r) {
  if (cycle != &ccpRecord.base && std::fabs(r->wallAngle) >= kCcpWallAngleMin) {
    return ccpFailed(kPockCodeNotRealised);
  }
  return 1;
}

// Keeps the record and the engine lengths as read (see CcpState).
void ccpKeepAsRead(const CcpRecord* r) {
  const PockEngine& e = pockEngine();
  ccpState.asRead = *r;
  ccpState.engineAsRead =
      EngineLengths{e.pockStockTolerance, e.pockFilletRadius, e.pockInfeedRadius, e.contTol,
                    e.pockToolRadius,     e.pockSettingAM,    e.pockStartPoint,   e.pockStartReach};
  ccpState.asReadKept = 1;
}

// Puts back what ccpKeepAsRead kept; the record's framework part and texts stay as they are.
void ccpRestoreAsRead(CcpRecord* r) {
  if (ccpState.asReadKept == 0) return;
  const CcpRecord now = *r;
  *r = ccpState.asRead;
  r->base = now.base;
  r->geoSource = now.geoSource;
  r->clampsSource = now.clampsSource;
  r->frameText = now.frameText;
  r->rifSource = now.rifSource;
  PockEngine& e = pockEngine();
  const EngineLengths& k = ccpState.engineAsRead;
  e.pockStockTolerance = k.stockTolerance;
  e.pockFilletRadius = k.filletRadius;
  e.pockInfeedRadius = k.infeedRadius;
  e.contTol = k.contTol;
  e.pockToolRadius = k.toolRadius;
  e.pockSettingAM = k.settingAM;
  e.pockStartPoint = k.startPoint;
  e.pockStartReach = k.startReach;
  ccpState.asReadKept = 0;
}

// Whether the host asked to stop at once.
bool ccpStopRequested(CycleRecord* cycle) {
  if (cycle->signal != kCycSignalStopNow) return false;
  cycle->status = kCycStatusUserBreak;
  return true;
}

// Builds MAIN for a level of mode 4: every INPUT contour spanning the level's bottom, those of the
// outer orientation in front. Results as ccpMainFromList.
int ccpBuildMain(CycleRecord* cycle, double bottom) {
  return ccpMainFromList(cycle, ccpState.run.levels, "INPUT", bottom,
                         pockEngine().ccpOuterOrientation);
}

// Pockets MAIN: the ring strategies with a stepover, the plain rings without one.
int ccpPocketLevel() {
  if (pockEngine().pockStepFactor > 1e-7) return pockLevel();
  pockResetSettings();
  return pockLevelSimple();
}

// Builds MAIN for a level of group g (mode 3) from INPUT. Results as ccpGroupMainFromList.
int ccpBuildGroupMain(CycleRecord* cycle, int g, double bottom) {
  return ccpGroupMainFromList(cycle, ccpState.run.levels, "INPUT", g, bottom, ccpState.clampsRead);
}

// With "stockOnly": tags the elements of MAIN's later contours that lie near or outside its first
// contour, takes the record's stock movement and sets the stock-only flag. Returns 0 for the other
// stock modes; 1 after marking; -1 when MAIN cannot be read or stored back.
int ccpMarkStockOnly(const CcpRecord* r) {
  if (r->stockMode != kCcpStockOnly) return 0;
  if (layerMarkNearFirst("MAIN") < 0) return -1;
  PockEngine& e = pockEngine();
  e.pockStockMovement = r->stockMovement;
  e.pockStockOnly = 1;
  return 1;
}

// Pockets the level in MAIN: the allowances by MAIN's positions (the ring offsets read them so),
// raised for a wall angle, the stock-only marking, the cuts numbered from the run's part number
// again, the levels and groups left for the output. Returns 1; 0 when the pocketing failed; -1
// when MAIN cannot be marked.
int ccpPocketMain(const CcpRecord* r, int partNumber) {
  pockAllowancesFromLayer("MAIN");
  pockWallAngleAllowance("MAIN");
  if (ccpMarkStockOnly(r) < 0) return -1;
  pockDrillSet(partNumber);
  pockOutput().levelsLeft = ccpState.run.levelsLeft;
  pockOutput().groupsLeft = ccpState.run.groupsLeft;
  return ccpPocketLevel() < 0 ? 0 : 1;
}

// The stock mode of a group's level from MAIN: "force" and "stockOnly" always, "true" when the
// first contour is the stock, "multi" when layerReverseMarked finds a stock contour (it turns them
// and brings the first to the front). Returns 1 on, 0 off, -1 when MAIN cannot be rewritten.
int ccpLevelStock(const CcpRecord* r) {
  switch (r->stockMode) {
    case kCcpStockForce:
    case kCcpStockOnly: return 1;
    case kCcpStockOn: {
      ContourHeader first{};
      return layerGetHeader("MAIN", &first, 0) == 0 && first.stockMark != 0 ? 1 : 0;
    }
    case kCcpStockMulti: pockEngine().pockMovedToFront = 0; return layerReverseMarked("MAIN");
    default: return 0;
  }
}

// 1 when a contour of the layer belongs to an open pocket (negative sequence).
bool layerHasOpenContour(const char* name) {
  for (int i = 0; i < layerCount(name); ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) == i && h.sequence < 0) return true;
  }
  return false;
}

// Mode 4: one pocket over all INPUT contours, level by level. Returns 1; 0 on a failure.
int ccpRunOnePocket(CycleRecord* cycle, CcpRecord* r) {
  CcpRunState& run = ccpState.run;
  pockLevelListFree(run.levels);
  pockLevelHeightsFree(run.heights);
  run.heights = nullptr;
  run.levels = pockLevelListNew(kCcpLevelRoom);
  if (run.levels == nullptr) {
    cycSendError(cycle, "103");
    return 0;
  }
  if (ccpFillLevelList(r, run.levels, "INPUT", 0) < 0) {
    cycSendError(cycle, "103");
    return 0;
  }
  run.heights = ccpLevelHeights(run.levels, r->infeedDepth);
  if (run.heights == nullptr) return 0;
  run.groupsLeft = 0;
  const int partNumber = pockDrillNext();
  int result = 1;
  const int count = run.heights->count;
  for (int k = 0; k + 1 < count; ++k) {
    if (ccpStopRequested(cycle)) return 0;
    const double top = run.heights->heights[k];
    const double bottom = run.heights->heights[k + 1];
    run.levelsLeft = count - k - 2;
    run.levelTop = r->surface = top;
    run.levelDepth = r->depth = top - bottom;
    const int built = ccpBuildMain(cycle, bottom);
    if (built <= 0) {
      if (built < 0) pockMessage(kPockCodeNoMemory);
      layerFree("MAIN");
      return 0;
    }
    const int pocketed = ccpPocketMain(r, partNumber);
    layerFree("MAIN");
    if (pocketed < 0) return ccpFailed(kPockCodeNoMemory);
    if (pocketed == 0) result = 0;
  }
  return result;
}

// Mode 3: the pockets one group after the other (the last first with "invertSequence"), each
// level by level. Returns 1; 0 on a failure.
int ccpRunGroups(CycleRecord* cycle, CcpRecord* r) {
  CcpRunState& run = ccpState.run;
  PockEngine& eng = pockEngine();
  const double savedInfeed = r->infeedDepth;
  const int savedOrientation = r->orientation;
  const int savedOuter = eng.ccpOuterOrientation;
  const bool invert = eng.paramInvertSequence != 0;
  int result = 1;
  for (int i = run.firstGroup; i <= run.lastGroup; ++i) {
    const int g = invert ? run.lastGroup - (i - run.firstGroup) : i;
    r->infeedDepth = savedInfeed;
    run.groupsLeft = run.lastGroup - i;
    pockLevelListFree(run.levels);
    pockLevelHeightsFree(run.heights);
    run.heights = nullptr;
    run.levels = pockLevelListNew(kCcpLevelRoom);
    if (run.levels == nullptr || ccpFillLevelList(r, run.levels, "INPUT", g) < 0) {
      cycSendError(cycle, "103");
      return 0;
    }
    if (run.levels->count == 0) continue;
    eng.pockSameDepths = layerSameDepths("INPUT");
    double top = 0.0;
    double bottom = 0.0;
    if (pockLevelRange(run.levels, &top, &bottom) == 1 && top - bottom < r->infeedDepth &&
        top - bottom > 0.0) {
      r->infeedDepth = top - bottom;
    }
    run.heights = ccpLevelHeights(run.levels, r->infeedDepth);
    if (run.heights == nullptr) return 0;
    const int partNumber = pockDrillNext();
    const int count = run.heights->count;
    for (int k = 0; k + 1 < count; ++k) {
      if (ccpStopRequested(cycle)) return 0;
      const double levelTop = run.heights->heights[k];
      const double levelBottom = run.heights->heights[k + 1];
      run.levelsLeft = count - k - 2;
      run.levelTop = r->surface = levelTop;
      run.levelDepth = r->depth = levelTop - levelBottom;
      r->orientation = savedOrientation;
      eng.ccpOuterOrientation = savedOuter;
      const int built = ccpBuildGroupMain(cycle, g, levelBottom);
      if (built <= 0) {
        if (built < 0) pockMessage(kPockCodeNoMemory);
        layerFree("MAIN");
        return 0;
      }
      // An open pocket's contours were turned by the grouping: MAIN and the directions turn back.
      if (eng.pockDirectLinking != 0 && run.openGroups != 0 && layerHasOpenContour("MAIN")) {
        if (layerReverseAll("MAIN") < 0) {
          layerFree("MAIN");
          return ccpFailed(kPockCodeNoMemory);
        }
        r->orientation = -r->orientation;
        eng.ccpOuterOrientation = -eng.ccpOuterOrientation;
      }
      eng.pockStockMode = 0;
      const int stockOn = layerCount("MAIN") > 0 ? ccpLevelStock(r) : 0;
      if (stockOn < 0) {
        layerFree("MAIN");
        return ccpFailed(kPockCodeNoMemory);
      }
      const bool stock = stockOn == 1;
      eng.pockStockMode = stock ? r->stockMode : 0;
      if (stock) r->plungeType = 2;
      ContourHeader first{};
      const bool island = layerGetHeader("MAIN", &first, 0) == 0 && first.ccw != first.leftSide;
      if (layerCount("MAIN") > 0 && (stock || !island)) {
        eng.pockStockMovement = layerCount("MAIN") == 1 ? 0 : r->stockMovement;
        const int pocketed = ccpPocketMain(r, partNumber);
        if (pocketed < 0) {
          layerFree("MAIN");
          return ccpFailed(kPockCodeNoMemory);
        }
        if (pocketed == 0) result = 0;
      }
      layerFree("MAIN");
    }
  }
  r->infeedDepth = savedInfeed;
  return result;
}

int ccpReadSlot(CycleRecord* cycle) { return ccpNote(ccpReadParameters(cycle)); }

}  // namespace

CycleRecord* ccpCycleRecord() { return &ccpRecord.base; }

CcpRecord ccpRecordAtLoad() { return ccpLoadImage(); }

void ccpRecordReset() {
  ccpFreeTexts(&ccpRecord);
  const CycleRecord keep = ccpRecord.base;
  ccpRecord = ccpLoadImage();
  const std::int32_t code = ccpRecord.base.code;
  ccpRecord.base = keep;
  ccpRecord.base.code = code;
  ccpParamsResetState();
  ccpState.asReadKept = 0;
}

const CcpRunState& ccpRunState() { return ccpState.run; }

void ccpSetNested(int nested) { ccpState.nested = nested != 0 ? 1 : 0; }

void ccpResetState() {
  ccpFreeLists();
  ccpState = CcpState{};
}

CycleRecord* pockSetSourceLoader(CycleRecord* cycle) {
  if (cycle != nullptr) cycle->slots.phaseLoadParams = ccpLoadSources;
  return cycle;
}

int ccpLoadSources(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  try {
    if (cycle->source != nullptr) {
      std::string path = cycle->source;
      if (path != kStdinSource &&
          (path.size() < 4 || strcasecmp(path.c_str() + path.size() - 4, ".pcf") != 0)) {
        path += ".pcf";
      }
      cycle->params = parLoadFile(cycle->params, path.c_str(), kParKindSource);
    }
  } catch (...) {
    // no memory for the file name: the list stays as it was
  }
  affIdentity(&cycle->frame);
  ccpReadFrame(&cycle->frame, cycle->params, kFrameKeys);
  affCopy(&cycle->tool, &cycle->frame);
  parToolCsFromFrameCs(cycle);
  ccpReadFrame(&cycle->tool, cycle->params, kToolKeys);
  return 1;
}

char* ccpOptionValue(const ParamNode* list, const char* key, std::int16_t* kind) {
  const ParamNode* n = parListLast(list, key);
  if (n == nullptr) return nullptr;
  if (kind != nullptr) *kind = n->kind;
  return memStrDup(n->value);
}

// ---- init ---------------------------------------------------------------------------------------

int ccpInit(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  CcpRecord* r = ccpRecordOf(cycle);
  // A run that is not nested starts from the values at load; every run starts from the load
  // values of the run state, so that no earlier run's groups, switches, scale or failure leak in.
  if (ccpState.nested == 0) {
    pockRunReset();
    ccpRecordReset();
  }
  ccpFreeLists();
  ccpState.run = CcpRunState{};
  ccpState.clampsRead = 0;
  ccpState.asReadKept = 0;
  ccpState.failed = 0;
  cycle->status = 0;
  PockEngine& e = pockEngine();
  e.pockDirectLinking = 0;
  e.pockStockOnly = 0;
  e.pockDiameterRatio = 1.0;
  e.offsetKeepOpen = 0;
  e.pockCollectOutput = 0;
  scaleReset();
  pockLastCodeReset();
  // The output starts every run afresh: header, first start, part records, collection.
  pockOutputRunReset();
  pockLevelRunReset();
  // Switched-off ring features report once per run: cut mode starts off, corner rounding unsent.
  ringCutResetState();
  ringCornerResetState();
  pockOpenEntryResetState();
  // The linkers, the grouping and the start match begin every run afresh, nested runs included.
  ringLinkerResetState();
  pockGroupingResetState();
  ccpRestResetState();
  e.ctreeStartMatch = CtreeStartMatch{100000.0, -1, 0, {0.0, 0.0}, 0};
  r->scaleLengths = 0;
  ccpSetCurrent(cycle);
  ccpState.precisionAtInit = numPrecision();

  if (cycle->sourceIsCfg == 1) {
    cycle->params = parListSet(cycle->params, "NCOutp", "false", kParKindProgram);
  }
  const bool nc = CcpOption(cycle, "NCOutp").isTrue();
  const bool drill = CcpOption(cycle, "drillPointsOutp").isTrue();
  const bool original = CcpOption(cycle, "originalOutp").isTrue();
  {
    const CcpOption precision(cycle, "precision");
    if (precision.text != nullptr) numSetPrecision(pockAtoi(precision.text));
  }
  {
    const CcpOption geo(cycle, "geoSource");
    if (geo.text != nullptr) {
      cycle->params = parListSet(cycle->params, "sourceGeometry", geo.text, kParKindProgram);
    }
    if (cycle->outputMode == kCycOutputExchange) {
      if (geo.text != nullptr) {
        char* copy = memStrDup(geo.text);
        memFree(r->geoSource);
        r->geoSource = copy;
      }
      const CcpOption out(cycle, "geoOut");
      if (out.text != nullptr) {
        cycle->params = parListSet(cycle->params, "geoSource", out.text, kParKindProgram);
      }
    }
  }

  char* messageFile = nullptr;
  if (char* language = parListGet(cycle->params, "SystemLanguage", nullptr)) {
    messageFile = parListGet(cycle->params, language, nullptr);
    memFree(language);
  }
  if (messageFile == nullptr) messageFile = parListGet(cycle->params, "MessageFile", nullptr);
  if (messageFile == nullptr && r->messageFile != nullptr) messageFile = memStrDup(r->messageFile);

  for (std::uint16_t layer : {0, 1, 2}) ccpRegister(cycle, layer);
  if (nc) ccpRegister(cycle, 3);
  for (std::uint16_t layer = 4; layer <= 6; ++layer) {
    if (cycle->mValue >= layer - 3) ccpRegister(cycle, layer);
  }
  for (std::uint16_t layer : {10, 11, 12}) ccpRegister(cycle, layer);
  if (drill) ccpRegister(cycle, 30);
  ccpRegister(cycle, 31);
  if (nc) ccpRegister(cycle, 32);
  if (original) ccpRegister(cycle, 33);
  if (cycle->sourceIsCfg == 1) cycle->toolChangeBlocks = 1;

  cycSendTextRecord(cycle, 0, 103, "cycle", cycle->title);
  if (messageFile != nullptr) {
    cycSendTextRecord(cycle, 0, 109, "msgFile", messageFile);
    memFree(messageFile);
  }
  std::string layers;
  auto list = [&layers](bool on, const char* layer) {
    if (!on) return;
    if (!layers.empty()) layers += ',';
    layers += layer;
  };
  list(nc, "3");
  list(true, "12");
  list(drill, "30");
  list(nc, "32");
  list(original, "33");
  cycSendTextRecord(cycle, 0, 110, "layers", layers.c_str());
  // The options themselves are echoed on layer 1 by the phase runner after this phase.

  cycSendComments(cycle);
  cycSendFrameToolAxis(cycle, 0.0, 0.0, 1.0);
  {
    const CcpOption job(cycle, "ppJobID");
    const int number = job.text != nullptr ? pockAtoi(job.text) : 0;
    if (number > 0) cycBeginPart(cycle, number, nullptr, nullptr);
  }
  return 1;
}

// ---- ".CFG" parameters ----------------------------------------------------------------------

int ccpLegacyParameters(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  pockLegacyFromOptions(cycle->cfgEntries);
  const PocketCfgRecord& cfg = pockCfg();
  auto point = [](const double(&v)[3]) { return Point3D{v[0], v[1], v[2]}; };
  csysSetFrame(point(cfg.nckoO), point(cfg.nckoX), point(cfg.nckoY), point(cfg.nckoZ));
  csysSetTool(point(cfg.nckoO), point(cfg.nckoX), point(cfg.nckoY), point(cfg.nckoZ));
  csysPrepare();
  // The tool reference: "*TOOL_REFERENCE" names the entry "*TREF_<name>" whose number is the
  // reference length.
  const char* ref = parListLastValue(cycle->cfgEntries, "*TOOL_REFERENCE");
  if (ref != nullptr && ref[0] != '\0') {
    const std::string key = std::string("*TREF_") + ref;
    const char* length = parListLastValue(cycle->cfgEntries, key.c_str());
    const std::string text = std::string(length != nullptr ? "771," : "770,") + ref;
    if (length != nullptr) {
      pockEngine().pockToolRefOffset = pockAtof(length);
      pockCfg().toolTip = 1;
    }
    cycSendError(cycle, text.c_str());
  }
  return ccpNote(ccpReadParameters(cycle));
}

// ---- prepare --------------------------------------------------------------------------------

namespace {
int ccpPrepareSteps(CycleRecord* cycle);
}  // namespace

int ccpPrepare(CycleRecord* cycle) {
  return cycle != nullptr ? ccpNote(ccpPrepareSteps(cycle)) : 0;
}

namespace {
int ccpPrepareSteps(CycleRecord* cycle) {
  CcpRecord* r = ccpRecordOf(cycle);
  PockEngine& e = pockEngine();
  ccpKeepAsRead(r);
  if (ccpFeaturesAvailable(cycle, r) == 0) return 0;

  e.pockFilletCorners = r->filletCorners;
  if (r->strategy == kCcpStrategyOutsideIn) {
    e.pockStockMode = 0;
    e.pockCollectOutput = 1;
  } else if (r->strategy == kCcpStrategyOutsideInDirect || r->strategy == kCcpStrategyStockOutin ||
             r->strategy == kCcpStrategyOpenPocket) {
    e.pockStockMode = 0;
    e.pockDirectLinking = 1;
    r->orientation = -r->orientation;
    if (r->strategy == kCcpStrategyOpenPocket) r->plungeAtLastPosition = 0;
  }

  if (r->considerToolType != 0 && r->toolDiameter > 0.0) {
    double effective = r->toolDiameter;
    if (r->toolType == kCcpToolBall) {
      effective = 0.1;
      pockMessage(3256);
    } else if (r->toolType == kCcpToolRadius) {
      effective = r->toolDiameter - 2.0 * r->cornerRadius;
    }
    if (effective < 0.1) {
      effective = 0.1;
      pockMessage(3256);
    }
    e.pockDiameterRatio = effective / r->toolDiameter;
    r->infeedLength *= e.pockDiameterRatio;
    if (r->infeedLength > 0.99 * r->toolDiameter) r->infeedLength = 0.99 * r->toolDiameter;
    char settings[256];
    if (ccpSettingsText(r, r->startExplicit, settings, sizeof settings) == 1) {
      pockApplySettings(settings);
    }
    const double cap = 0.25 * r->infeedLength;
    if (r->infeedRadius > cap) r->infeedRadius = cap;
    if (r->filletRadius > cap) r->filletRadius = cap;
  }

  {
    char* given = parListGet(cycle->params, "retractPlane", nullptr);
    if (given == nullptr || !(r->retractPlane < r->clearancePlane)) {
      r->retractPlane = r->clearancePlane;
    }
    memFree(given);
  }
  if (r->scaleLengths != 0 || e.pockToolRadius < 1.001) ccpScaleAll(cycle);
  // "stockOnly" takes the directions of the contours as they come.
  if (r->stockMode == kCcpStockOnly) r->oriAutomatic = 1;
  // A rest of the second kind comes with its own orientation: no grouping, no preparation.
  if (r->evaluateRif != 0 && r->useReference == 0 && rifRead(nullptr, nullptr) == 2) {
    r->oriAutomatic = 0;
    e.ccpOuterOrientation = r->orientation;
    return 1;
  }
  if (r->infeedDepth < r->epsilon) r->infeedDepth = 10000.0;

  int groups = 1;
  if (r->oriAutomatic == 2) {
    const int multi = r->stockMode == kCcpStockMulti ? 1 : 0;
    int open = 0;
    groups = pockGroupPockets("INPUT", r->orientation, multi, &open);
    if (groups >= 0 && e.pockDirectLinking != 0 && r->strategy == kCcpStrategyOutsideInDirect &&
        ccpDropNarrowDuplicate("INPUT") == 1) {
      groups = pockGroupPockets("INPUT", r->orientation, multi, &open);
    }
    if (groups < 0) {
      if (r->stockMode != kCcpStockOff) {
        pockMessage(kPockCodeToolTooBig);
        return 1;
      }
      return ccpFailed(kPockCodeOutsidePocket);
    }
    ccpState.run.openGroups = open;
  }

  if (r->clampsSource != nullptr) {
    if (layerCreate("CLAMPS") != 1) {
      cycSendError(cycle, "103");
      return 0;
    }
    if (pockReadGeometry(r, 1) != 1) return 0;
    ccpState.clampsRead = 1;
    // The clamps join a pocket already scaled: they are scaled alike.
    if (scaleLayer("CLAMPS") != 1) return ccpFailed(kPockCodeNoMemory);
  }
  if (pockPrepareContours(r, ccpState.clampsRead) != 1) return 0;
  if (r->oriAutomatic == 1 && ringCheckInput("INPUT") <= 0) return 0;

  e.pockStockMode = r->stockMode;
  e.pockStartSet = r->startExplicit;
  e.pockStartPoint = Point2D{r->startX, r->startY};
  e.pockNewStartPending = 1;
  ccpState.run.firstGroup = 1;
  ccpState.run.lastGroup = groups;
  if (r->oriAutomatic == 2 && r->startExplicit != 0) {
    // Only the pocket nearest to the start point is cut.
    const int g = ccpGroupNearest("INPUT", e.pockStartPoint);
    ccpState.run.firstGroup = g;
    ccpState.run.lastGroup = g;
  }
  return 1;
}
}  // namespace

void ccpScaleAll(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  CcpRecord* r = ccpRecordOf(cycle);
  PockEngine& e = pockEngine();
  scaleChooseFactor();
  for (double* v : {&e.pockStockTolerance, &e.pockFilletRadius, &e.pockInfeedRadius, &e.contTol}) {
    scaleValue(v);
  }
  scaleLayer("INPUT");
  if (ccpState.clampsRead != 0) scaleLayer("CLAMPS");
  for (double* v : {&r->toolDiameter, &e.pockToolRadius, &r->planeAllowance, &r->infeedLength,
                    &e.pockSettingAM, &r->startX, &r->startY, &e.pockStartPoint.x,
                    &e.pockStartPoint.y, &e.pockStartReach, &r->rifMinLength, &r->referenceRadius,
                    &r->cornerRadius, &r->approachLength, &r->leavingLength}) {
    scaleValue(v);
  }
  const int n = layerCount("INPUT");
  double* allowances = pockAllowances();
  for (int i = 0; i < n && i < kPockAllowanceRoom; ++i) scaleValue(&allowances[i]);
}

// ---- run ----------------------------------------------------------------------------------------

int ccpRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  CcpRunState& run = ccpState.run;
  run.levelTop = r->surface;
  run.levelDepth = r->depth;
  run.pocketSequence = 0;
  pockDrillPointsInit();
  int result = 1;
  if (r->evaluateRif != 0 && r->oriAutomatic == 2) {
    result = ccpRunRestGroups(cycle, run.firstGroup, run.lastGroup, ccpState.clampsRead);
  } else if (r->useReference != 0 || r->evaluateRif != 0) {
    result = ccpRunRestSingle(cycle);
  } else if (r->oriAutomatic == 2) {
    result = ccpRunGroups(cycle, r);
  } else {
    result = ccpRunOnePocket(cycle, r);
  }
  pockDrillFlush();
  if (ccpState.clampsRead != 0) {
    layerFree("CLAMPS");
    ccpState.clampsRead = 0;
  }
  return ccpNote(result);
}

int ccpCleanup(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  layerFree("INPUT");
  layerFree("SPAN");
  const CcpRecord* r = ccpRecordOf(cycle);
  if (r->retractPlane < r->clearancePlane) cycRapidZ(cycle, r->clearancePlane);
  return 1;
}

int ccpEnd(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  CcpRecord* r = ccpRecordOf(cycle);
  {
    const CcpOption job(cycle, "ppJobID");
    const int number = job.text != nullptr ? pockAtoi(job.text) : 0;
    if (number > 0) cycEndPart(cycle, number, nullptr, nullptr);
  }
  cycEndDefault(cycle);
  // A failed run, and an engine failure of the run, reach the host through the status word: the
  // run's own record and the pocket record.
  const int last = pockLastCode();
  if (ccpState.failed != 0 && cycle->status == 0) cycle->status = kCycStatusFailed;
  if (last >= 3000 && last <= 3199) ccpCycleRecord()->status = kCycStatusFailed;
  ccpRestoreAsRead(r);
  scaleReset();
  ccpFreeLists();
  // A run that failed before its finish phase leaves no contour behind either.
  for (const char* layer : {"INPUT", "SPAN", "MAIN", "CLAMPS", "TEMP", "REST", "ORIG", "POCKET"}) {
    layerFree(layer);
  }
  ccpState.clampsRead = 0;
  numSetPrecision(ccpState.precisionAtInit);
  ccpSetCurrent(nullptr);
  return 1;
}
