// rpx5_record.cpp - the library's own cycle record "qdRpx5": the five-axis Z-level roughing, child
// of the three-axis roughing record. Its reader runs the chain of the 3D, Z-level and roughing
// readers on this record; its compute phase copies the record into the global parameter block
// and runs the roughing main. Also the library's attach entry, run when the library loads.
#include "cycles/rpx5_record.h"

#include "cycles/cycle_result.h"
#include "cycles/zfin_record.h"
#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/platform.h"

namespace {

RuppRecord rpx5LoadImage() {
  RuppRecord r = ruppLoadImage();
  CycleRecord& c = r.base.base.base;
  c.parent = ruppCycleRecord();
  c.code = 1135;
  c.version[0] = 6;
  c.version[1] = 0;
  c.version[2] = 2001;
  c.version[3] = 6;
  c.version[4] = 8;
  c.title = "3D 5-Axis Z-Level Roughing Cycle";
  c.id = "qdRpx5";
  c.firstOutputPending = 1;
  c.slots = CycleSlots{};
  c.slots.phaseAlgorithm = rpx5AlgorithmText;
  c.slots.phaseLayers = rpx5LayersText;
  c.slots.phaseReadParams = rpx5ReadParams;
  c.slots.phaseReadCfgParams = rpx5PrepareCfg;
  c.slots.phasePrepare = rpx5CheckRetractPlane;
  c.slots.phaseCompute = rpx5Run;
  c.slots.phaseFinish = rpx5Finish;
  return r;
}

RuppRecord rpx5Record = rpx5LoadImage();

// The library's start-up: keeps the module handle and file name from the moment it is loaded.
__attribute__((constructor)) void rpx5OnLoad() { rpx5DllMain(platModuleHandle(), 1, nullptr); }

}  // namespace

CycleRecord* rpx5CycleRecord() { return &rpx5Record.base.base.base; }

void rpx5RecordReset() { cyc3dRestoreRecord(&rpx5Record, rpx5LoadImage()); }

int rpx5DllMain(void* module, int reason, void* /*reserved*/) {
  return cycDllAttach(module, reason);
}

int rpx5BreakCheck() { return cycBreakAnswer(rpx5CycleRecord()); }

int rpx5CopyParams(CycleRecord* cycle) { return ruppCopyWith(cycle, kRuppCopyFiveAxis); }

int rpx5ReadParams(CycleRecord* cycle) { return zfinParentRead(cycle) != 0 ? 1 : 0; }

int rpx5PrepareCfg(CycleRecord* cycle) { return ruppPrepareCfg(cycle); }

int rpx5CheckRetractPlane(CycleRecord* cycle) {
  zfinRetractRule(cycle);
  return 1;
}

int rpx5Run(CycleRecord* cycle) {
  return ruppComputeWith(cycle, rpx5CycleRecord(), rpx5BreakCheck, rpx5CopyParams);
}

int rpx5Finish(CycleRecord* cycle) {
  zfinRiseToClearance(cycle);
  return 1;
}

int rpx5AlgorithmText(CycleRecord* cycle) { return cycShowMsgSection(cycle, "algorithm"); }
int rpx5LayersText(CycleRecord* cycle) { return cycShowMsgSection(cycle, "layers"); }
