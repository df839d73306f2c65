// rupp_record.cpp - the three-axis roughing record "qdRupp": its reader of the roughing keys, its
// ".CFG", prepare, compute and finish phases, and its copy of every cycle parameter into the
// global parameter block.
#include "cycles/rupp_record.h"

#include <cstdio>
#include <cstring>

#include "cycles/cycle_result.h"
#include "cycles/job_check.h"
#include "cycles/rough_main.h"
#include "framework/global_params.h"
#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/output_records.h"
#include "framework/param_file.h"

namespace {

struct RuppModuleState {
  int reverseStock = 0;  // "stockStrategy" "reverse" was read
};
constinit RuppModuleState ruppModule;

}  // namespace

RuppRecord ruppLoadImage() {
  RuppRecord r{};
  cyc3dDescendantDefaults(&r.base.base, 2, "rsrupphc.loc");
  r.base.gougeDetection = 0;
  CycleRecord& c = r.base.base.base;
  c.parent = zfinCycleRecord();
  c.code = 1002;
  c.version[0] = 6;
  c.version[1] = 0;
  c.version[2] = 2001;
  c.version[3] = 6;
  c.version[4] = 8;
  c.title = "Brevonix 3D Z-Level Roughing Cycle";
  c.id = "qdRupp";
  c.slots.phaseAlgorithm = ruppAlgorithmText;
  c.slots.phaseLayers = ruppLayersText;
  c.slots.phaseReadParams = ruppReadParams;
  c.slots.phaseReadCfgParams = ruppPrepareCfg;
  c.slots.phasePrepare = ruppCheckRetractPlane;
  c.slots.phaseCompute = ruppRun;
  c.slots.phaseFinish = ruppFinish;
  return r;
}

namespace {

RuppRecord ruppRecord = ruppLoadImage();

std::int16_t ruppShort(std::int32_t v) { return static_cast<std::int16_t>(v); }

}  // namespace

CycleRecord* ruppCycleRecord() { return &ruppRecord.base.base.base; }

void ruppRecordReset() { cyc3dRestoreRecord(&ruppRecord, ruppLoadImage()); }

void ruppRecordResetState() { ruppModule = RuppModuleState{}; }

int ruppReverseStock() { return ruppModule.reverseStock; }

int ruppReadParams(CycleRecord* cycle) {
  if (zfinParentRead(cycle) == 0) return 0;
  RuppRecord* u = ruppRecordOf(cycle);
  Cycle3dRecord* r = &u->base.base;
  GlobalParams& g = *parGlobalBlock();
  using W = Cyc3dParam::Word;
  if (const Cyc3dParam p(cycle, "strategy"); p.given()) {
    u->strategy = p.decode({W{"standardX", 1}, W{"standardY", 2}}, 3, {"contourParallel"});
  }
  if (const Cyc3dParam p(cycle, "finishPath"); p.given()) u->finishPath = p.flag();
  if (const Cyc3dParam p(cycle, "autoStepDown"); p.given()) {
    // "planesOnly" is the Z-level reader's word of the same key.
    u->autoStepDown =
        p.decode({W{"true", 2}, W{"auto", 2}, W{"optimized", 3}}, 0, {"false", "planesOnly"});
  }
  if (const Cyc3dParam p(cycle, "plungeType"); p.given()) {
    u->plungeType = p.decode({W{"helical", 2}, W{"ramp", 3}}, 1, {"straight"});
  }
  if (const Cyc3dParam p(cycle, "helixRadius"); p.given()) u->helixRadius = p.abs();
  if (const Cyc3dParam p(cycle, "rampAngle"); p.given()) u->rampAngle = p.abs();
  if (const Cyc3dParam p(cycle, "rampAngleResolution"); p.given()) {
    u->rampAngleResolution = p.abs();
  }
  if (const Cyc3dParam p(cycle, "stockStrategy"); p.given()) {
    u->stockStrategy =
        p.decode({W{"continuous", 1}, W{"rapid", 2}, W{"outsideIn", 4}}, 0, {"none", "reverse"});
    if (p.is("reverse")) ruppModule.reverseStock = 1;
  }
  // "gridFactor" is the Z-level reader's.
  if (const Cyc3dParam p(cycle, "minimalStepdown"); p.given()) u->minimalStepdown = p.abs();
  double infeedFactor = 0.0;
  double infeedLength = 0.0;
  if (const Cyc3dParam p(cycle, "infeedFactor"); p.given()) infeedFactor = p.abs();
  if (const Cyc3dParam p(cycle, "infeedLength"); p.given()) infeedLength = p.abs();
  if (const Cyc3dParam p(cycle, "planesOnly"); p.given()) u->planesOnly = p.flag();
  if (const Cyc3dParam p(cycle, "helixRampAngle"); p.given()) u->rampAngle = p.abs();
  if (const Cyc3dParam p(cycle, "infeedRadius"); p.given()) u->infeedRadius = p.number();
  if (const Cyc3dParam p(cycle, "considerToolType"); p.given()) u->considerToolType = p.flag();
  if (const Cyc3dParam p(cycle, "completePocket"); p.given()) u->completePocket = p.flag();
  if (const Cyc3dParam p(cycle, "skipSmallPockets"); p.given()) {
    g.skipSmallPockets = ruppShort(p.flag());
  }
  if (const Cyc3dParam p(cycle, "skipFactor"); p.given()) g.skipFactor = p.abs();
  if (const Cyc3dParam p(cycle, "skipPockets"); p.given()) g.skipSmallPockets = ruppShort(p.flag());
  if (const Cyc3dParam p(cycle, "noReduceBoundary"); p.given()) g.bndNoreduce = ruppShort(p.flag());
  if (const Cyc3dParam p(cycle, "planeFactor"); p.given()) g.planeFactor = p.abs();
  if (infeedFactor > kRuppFactorMin) {
    r->infeedLength = infeedFactor * r->toolDiameter;
  } else if (infeedLength > kRuppLengthMin) {
    r->infeedLength = infeedLength;
  } else {
    r->infeedLength = r->toolDiameter * 0.5;
  }
  return jobReportSend(cycle) > 0 ? 0 : 1;
}

int ruppPrepareCfg(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  parSetFromList(cycle->cfgEntries);
  GlobalParams& g = *parGlobalBlock();
  if (cyc3dReadToolReference(cycle) == 1) g.toolTip = 1;
  cyc3dRecordOf(cycle)->removeTempFiles = g.delPrfbdy;
  return jobCheckCfgRun(cycle) > 0 ? 0 : 1;
}

int ruppCheckRetractPlane(CycleRecord* cycle) {
  zfinRetractRule(cycle);
  return 1;
}

int ruppBreakCheck() { return cycBreakAnswer(ruppCycleRecord()); }

int ruppComputeWith(CycleRecord* cycle, CycleRecord* output, MsgBreakCheckFn check,
                    int (*copy)(CycleRecord*)) {
  if (cycle == nullptr) return 1;
  out3dSetCycle(output);
  out3dSetBreakCheck(check);
  const bool pcf = cycle->sourceIsCfg != 1;
  int result = 0;
  if (pcf && (cyc3dBeginRun(cycle) != 1 || copy(cycle) != 1)) result = -1;
  if (result == 0) result = roughMain(nullptr);
  cyc3dSetResult(cycle, result);
  if (pcf) cyc3dEndRun(cycle);
  cyc3dRemoveTempFiles(cycle);
  char flat[kParPathMax + 1];
  if (cyc3dJoinPath(flat, sizeof flat, cyc3dRunTempFolder(cycle), kRoughFlatPlaneFile) == 1) {
    std::remove(flat);
  }
  return 1;
}

int ruppRun(CycleRecord* cycle) {
  return ruppComputeWith(cycle, cycle, ruppBreakCheck, ruppCopyParams);
}

int ruppFinish(CycleRecord* cycle) {
  zfinRiseToClearance(cycle);
  return 1;
}

int ruppShowMsgSection(CycleRecord* cycle, const char* item) {
  return cycShowMsgSection(cycle, item);
}
int ruppAlgorithmText(CycleRecord* cycle) { return ruppShowMsgSection(cycle, "algorithm"); }
int ruppLayersText(CycleRecord* cycle) { return ruppShowMsgSection(cycle, "layers"); }

int ruppCopyParams(CycleRecord* cycle) { return ruppCopyWith(cycle, kRuppCopyThreeAxis); }

int ruppCopyWith(CycleRecord* cycle, const RuppCopyRules& rules) {
  if (cycle == nullptr) return 0;
  const RuppRecord* u = ruppRecordOf(cycle);
  const ZfinRecord* z = &u->base;
  GlobalParams& g = *parGlobalBlock();
  int ok = cyc3dCopyBlockParams(cycle, 1);
  const double limitHeight = g.limitHeight;
  zfinCopyLevelKeys(z);
  if (!rules.limitHeight) g.limitHeight = limitHeight;
  g.stepStrategy = ruppShort(z->stepStrategy);
  g.bearbeitricht = ruppShort(u->strategy);
  g.finishPass = ruppShort(u->finishPath);
  g.stepMode = ruppShort(u->autoStepDown);
  g.macroTmode = ruppShort(u->plungeType);
  g.macroTrad = u->helixRadius;
  g.macroTswin = u->rampAngle;
  g.planesOnly = ruppShort(u->planesOnly);
  if (u->rampAngleResolution < g.macroIwin) g.macroIwin = u->rampAngleResolution;
  g.minStepdown = u->minimalStepdown;
  g.stockMode = 0;
  g.stockMovement = 0;
  if (u->stockStrategy != 0) g.stockMode = 1;
  if (u->stockStrategy == 2) g.stockMovement = 1;
  if (u->stockStrategy == 4 && rules.outsideInMovement) g.stockMovement = 2;
  if (ruppModule.reverseStock != 0) g.outsideIn = 1;
  if (const Cyc3dParam p(cycle, "pofFilename"); p.given() && cyc3dKeyText(g.apt, p.text()) != 1) {
    ok = 0;
  }
  g.genZresinfo = g.genZresino = 1;
  g.singlepofMode = 0;
  g.refJobid = 0;
  g.infeedRadius = u->infeedRadius;
  g.considerTooltype = ruppShort(u->considerToolType);
  g.completePocket = ruppShort(u->completePocket);
  if (g.bearbeitricht == 1 || g.bearbeitricht == 2) g.axisPocket = 1;
  if (g.skipSmallPockets != 0 && g.axisPocket != 0 && g.finishPass != 0 && g.stepStrategy == 0) {
    g.skipSmallPockets = 0;
    cycSendError(cycle, "1192");
  }
  return ok;
}
