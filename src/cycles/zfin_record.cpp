// zfin_record.cpp - the Z-level finishing record "qdZfin": its reader of the Z-level keys, its
// ".CFG", prepare, compute and finish phases, and its copy into the global parameter block.
#include "cycles/zfin_record.h"

#include <strings.h>

#include <cstring>

#include "cycles/cycle_result.h"
#include "cycles/job_check.h"
#include "cycles/zfin_main.h"
#include "framework/global_params.h"
#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/output_records.h"
#include "output/geo_source.h"

namespace {

// The record as at load. Its parent is reached through its accessor, so the record is
// initialised when the library loads, before anything can run it.
ZfinRecord zfinLoadImage() {
  ZfinRecord r{};
  cyc3dDescendantDefaults(&r.base, 1, "rszfinhc.loc");
  CycleRecord& c = r.base.base;
  c.parent = cyc3dCycleRecord();
  c.code = kZfinCode;
  c.version[0] = 6;
  c.version[1] = 0;
  c.version[2] = 2001;
  c.version[3] = 6;
  c.version[4] = 8;
  c.title = "Brevonix 3D Z-Level Finishing Cycle";
  c.id = "qdZfin";
  c.slots.phaseAlgorithm = zfinAlgorithmText;
  c.slots.phaseLayers = zfinLayersText;
  c.slots.phaseReadParams = zfinReadParams;
  c.slots.phaseReadCfgParams = zfinPrepareCfg;
  c.slots.phasePrepare = zfinCheckRetractPlane;
  c.slots.phaseCompute = zfinRun;
  c.slots.phaseFinish = zfinFinish;
  return r;
}

ZfinRecord zfinRecord = zfinLoadImage();

// The tilt strategy of a ".CFG" source: the last entry of either of its two names (keys of a
// ".CFG" source match without regard to case).
bool zfinCfgTiltIs6(const ParamNode* list) {
  const char* value = nullptr;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name == nullptr) continue;
    if (strcasecmp(n->name, "*TILT_STRATEGY") == 0 || strcasecmp(n->name, "*TILT_MODE") == 0) {
      value = n->value;
    }
  }
  return value != nullptr && static_cast<std::int16_t>(cyc3dTextNumber(value)) == 6;
}

}  // namespace

CycleRecord* zfinCycleRecord() { return &zfinRecord.base.base; }

void zfinRecordReset() { cyc3dRestoreRecord(&zfinRecord, zfinLoadImage()); }

int zfinParentRead(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  CycleRecord* parent = cycle->parent;
  if (parent == nullptr || parent->slots.phaseReadParams == nullptr) return 0;
  cycle->parent = parent->parent;
  const int result = parent->slots.phaseReadParams(cycle);
  cycle->parent = parent;
  return result;
}

void zfinRetractRule(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  const Cyc3dParam given(cycle, "retractPlane");
  if (!given.given() || !(r->retractPlane < r->clearancePlane)) r->retractPlane = r->clearancePlane;
}

void zfinRiseToClearance(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  const Cycle3dRecord* r = cyc3dRecordOf(cycle);
  if (r->clearancePlane > r->retractPlane) cycRapidZ(cycle, r->clearancePlane);
}

int zfinReadParams(CycleRecord* cycle) {
  if (zfinParentRead(cycle) == 0) return 0;
  ZfinRecord* z = zfinRecordOf(cycle);
  GlobalParams& g = *parGlobalBlock();
  using W = Cyc3dParam::Word;
  if (const Cyc3dParam p(cycle, "cuttingSide"); p.given()) {
    z->cuttingSide =
        p.decode({W{"rightOfContour", 2}, W{"conventional", 2}}, 1, {"leftOfContour", "climb"});
  }
  if (const Cyc3dParam p(cycle, "gougeDetection"); p.given()) z->gougeDetection = p.flag();
  if (const Cyc3dParam p(cycle, "stepStrategy"); p.given()) {
    z->stepStrategy = p.decode({W{"pocket", 1}, W{"helical", 2}}, 0, {"zlevel"});
  }
  if (const Cyc3dParam p(cycle, "collisionCheck"); p.given()) z->collisionCheck = p.flag();
  if (const Cyc3dParam p(cycle, "collisionTolerance"); p.given()) {
    z->collisionTolerance = p.abs();
  }
  if (const Cyc3dParam p(cycle, "collisionStop"); p.given()) z->collisionStop = p.flag();
  if (const Cyc3dParam p(cycle, "outputArcs"); p.given()) z->outputArcs = p.flag();
  if (const Cyc3dParam p(cycle, "cuttingLine"); p.given()) {
    z->cuttingLine = p.decode({W{"zigZag", 1}}, 0, {"oneWay"});
  }
  if (const Cyc3dParam p(cycle, "filletRadius"); p.given()) z->filletRadius = p.number();
  if (const Cyc3dParam p(cycle, "filletCorners"); p.given()) z->filletCorners = p.flag();
  if (const Cyc3dParam p(cycle, "acceptUndercut"); p.given()) z->acceptUndercut = p.flag();
  if (const Cyc3dParam p(cycle, "gridFactor"); p.given()) z->gridFactor = p.abs();
  if (const Cyc3dParam p(cycle, "planeAllowance"); p.given()) z->planeAllowance = p.number();
  if (const Cyc3dParam p(cycle, "infeedStrategy"); p.given()) {
    z->infeedStrategy = p.decode({W{"scallopHeight", 2}}, 1, {"fixed"});
  }
  if (const Cyc3dParam p(cycle, "minScallopHeight"); p.given()) {
    z->minScallopHeight = p.number();
  }
  if (const Cyc3dParam p(cycle, "minInfeed"); p.given()) z->minInfeed = p.number();
  if (const Cyc3dParam p(cycle, "plungeOnlyOnce"); p.given()) z->plungeOnlyOnce = p.flag();
  if (const Cyc3dParam p(cycle, "autoStepDown"); p.given()) {
    // "true" and "optimized" are the roughing reader's words of the same key.
    z->autoStepDown =
        p.decode({W{"auto", 2}, W{"planesOnly", 3}}, 0, {"false", "true", "optimized"});
  }
  if (const Cyc3dParam p(cycle, "connectRapid"); p.given()) {
    z->connectRapid = p.boolean(1, 0);
  }
  if (const Cyc3dParam p(cycle, "connectFactor"); p.given()) z->connectFactor = p.number();
  if (const Cyc3dParam p(cycle, "cutterCompensation"); p.given() && p.isTrue()) g.cutcomp = 1;
  if (const Cyc3dParam p(cycle, "collisionHeight"); p.given()) z->collisionHeight = p.number();
  if (const Cyc3dParam p(cycle, "pocketOptimisation"); p.given()) {
    g.zoptMode = static_cast<std::int16_t>(p.boolean(1, 0));
  }
  if (const Cyc3dParam p(cycle, "boundaryOffset"); p.given()) g.boundOffset = p.number();
  if (const Cyc3dParam p(cycle, "startPointMovement"); p.given()) {
    g.startRapid = static_cast<std::int16_t>(p.decode({W{"rapid", 1}}, 0, {"feed"}));
  }
  return jobReportSend(cycle) > 0 ? 0 : 1;
}

int zfinPrepareCfg(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  parSetFromList(cycle->cfgEntries);
  if (cyc3dReadToolReference(cycle) == 1) parGlobalBlock()->toolTip = 1;
  if (zfinCfgTiltIs6(cycle->cfgEntries)) cycle->code = kZfinCodeTilt;
  return jobCheckCfgRun(cycle) > 0 ? 0 : 1;
}

int zfinCheckRetractPlane(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  zfinRetractRule(cycle);
  if (parGlobalBlock()->slopeMode != 0) cycle->code = kZfinCodeSlope;
  return 1;
}

int zfinBreakCheck() { return cycBreakAnswer(zfinCycleRecord()); }

int zfinRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  out3dSetCycle(cycle);
  out3dSetBreakCheck(zfinBreakCheck);
  const bool pcf = cycle->sourceIsCfg != 1;
  int result = 0;
  if (pcf) {
    bndSetPlungeOutput(1);
    if (cyc3dBeginRun(cycle) != 1 || zfinCopyParams(cycle) != 1) result = -1;
  }
  if (result == 0) result = zfinMain(nullptr);
  cyc3dSetResult(cycle, result);
  if (pcf) cyc3dEndRun(cycle);
  cyc3dRemoveTempFiles(cycle);
  return 1;
}

int zfinFinish(CycleRecord* cycle) {
  zfinRiseToClearance(cycle);
  return 1;
}

int zfinShowMsgSection(CycleRecord* cycle, const char* item) {
  return cycShowMsgSection(cycle, item);
}
int zfinAlgorithmText(CycleRecord* cycle) { return zfinShowMsgSection(cycle, "algorithm"); }
int zfinLayersText(CycleRecord* cycle) { return zfinShowMsgSection(cycle, "layers"); }

void zfinCopyLevelKeys(const ZfinRecord* z) {
  if (z == nullptr) return;
  GlobalParams& g = *parGlobalBlock();
  g.seite = static_cast<std::int16_t>(z->cuttingSide);
  g.gougeFree = g.gaugeFree = 0;
  g.xshaftControl = static_cast<std::int16_t>(z->gougeDetection);
  g.xcollCheck = static_cast<std::int16_t>(z->collisionCheck);
  g.xcollStop = static_cast<std::int16_t>(z->collisionStop);
  g.collTolerance = z->collisionTolerance;
  g.generateArcs = static_cast<std::int16_t>(z->outputArcs);
  g.filletRadius = z->filletRadius;
  g.filletCorners = static_cast<std::int16_t>(z->filletCorners);
  g.acceptUndercut = static_cast<std::int16_t>(z->acceptUndercut);
  g.gridFactor = z->gridFactor;
  g.aufmassHori = g.horiAufmass = z->planeAllowance;
  g.limitHeight = z->collisionHeight;
}

int zfinCopyParams(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  const ZfinRecord* z = zfinRecordOf(cycle);
  const Cycle3dRecord* r = &z->base;
  GlobalParams& g = *parGlobalBlock();
  const int ok = cyc3dCopyBlockParams(cycle, 0);
  g.slopeMode = r->slopeCondition > 0 ? 1 : 0;
  g.slopeAngle = r->slopeAngle;
  zfinCopyLevelKeys(z);
  if (z->stepStrategy == 2) {
    g.stepStrategy = 1;
    g.spiral = 1;
  } else {
    g.stepStrategy = static_cast<std::int16_t>(z->stepStrategy);
    g.spiral = 0;
  }
  g.finishPass = 2;
  g.lauf = z->cuttingLine == 1 ? 2 : 1;
  g.connectSmooth = static_cast<std::int16_t>(r->smoothStepover);
  char apt[kParTextSize];
  if (cyc3dJoinPath(apt, sizeof apt, g.tmpDir, "tmp.pof") == 1) {
    std::memcpy(g.apt, apt, sizeof apt);
  }
  g.zustellArt = static_cast<std::int16_t>(z->infeedStrategy);
  g.zustMin = z->minInfeed;
  g.scalHeight = z->minScallopHeight;
  g.plungeOnce = static_cast<std::int16_t>(z->plungeOnlyOnce);
  if (z->autoStepDown == 0) {
    g.stepMode = 0;
  } else {
    g.zplanes = 1;
    g.stepMode = static_cast<std::int16_t>(z->autoStepDown);
    if (z->autoStepDown == 3) g.planesOnly = 1;
  }
  g.connectRapid = static_cast<std::int16_t>(z->connectRapid);
  g.connectFactor = g.steepConnectFactor = z->connectFactor;
  if (z->acceptUndercut != 0) g.backdraft = 1;
  // The run's configuration file is its sixth temporary name, removed with the others.
  if (r->tempNames[kCyc3dTempConfig][0] != '\0') parCfgWriteAll(r->tempNames[kCyc3dTempConfig]);
  return ok;
}
