// rpx5_record.cpp - the "qdRpx5" record as it stands until the roughing cycles exist: a record of
// its own whose parent is the framework kernel (the real one descends through the 3-axis
// roughing, Z-level finishing and common 3D records). Its init registers the layers it writes;
// a ".CFG" source is read into the global parameter block as the roughing reads it;
// its compute phase is a stand-in that the real roughing replaces: it emits a small square on
// layer 31, polling the break check between moves, so that a host sees the record flow, the
// signal word and the status word working end to end.
#include "cycles/rpx5_record.h"

#include <cmath>
#include <cstdlib>

#include "cycles/cycle_result.h"
#include "cycles/run_reset.h"
#include "framework/global_params.h"
#include "framework/kernel.h"
#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/pof_writer.h"
#include "framework/xchg_writers.h"

namespace {
// The layers the stand-in writes: header and messages, parameter echo, comments, NC control
// values, tool description, moves and their G-code twins.
constexpr std::uint16_t kRpx5Layers[] = {0, 1, 2, 10, 11, 31, 32};

int rpx5StandInInit(CycleRecord* cycle) {
  cyc3dResetRunState(cycle);  // every run starts from the state at load
  int ok = 1;
  for (std::uint16_t layer : kRpx5Layers) {
    if (cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), pofXchgWriterFor(layer), 1) == 0)
      ok = 0;
  }
  // A ".CFG" job frames its tool description by the "BTC" and "ATC" literal blocks.
  cycle->toolChangeBlocks = cycle->sourceIsCfg == 1 ? 1 : 0;
  cycSendTextRecord(cycle, 0, 103, "cycle", cycle->title);
  cycSendComments(cycle);
  return ok;
}

// Side of the stand-in's square, from its own parameter "demoSquareSide" (default 10). A value
// that is not a positive finite number ("1e400" reads as infinity) fails the computation with
// a message naming the parameter (status word 1).
int rpx5StandInSide(CycleRecord* cycle, double* side) {
  *side = 10.0;
  char* text = parListGet(cycle->params, "demoSquareSide", nullptr);
  if (text == nullptr) return 1;
  double v = 0;
  const int n = numParse3(text, &v, nullptr, nullptr);
  memFree(text);
  if (n < 1 || !(v > 0) || !std::isfinite(v)) {
    cycFailWithMessage(cycle, kCycMsgBadValue, "demoSquareSide: not a positive finite number");
    return -20;
  }
  *side = v;
  return 1;
}

// The square's moves, polling the break check before each; -2 on a user break.
int rpx5StandInSquare(CycleRecord* cycle, double side) {
  const double corners[][2] = {{0, 0}, {side, 0}, {side, side}, {0, side}, {0, 0}};
  if (rpx5BreakCheck() == 1) return -2;
  cycRapidXY(cycle, corners[0][0], corners[0][1]);
  if (rpx5BreakCheck() == 1) return -2;
  cycFeedZ(cycle, 0.0);
  for (int i = 1; i < 5; ++i) {
    if (rpx5BreakCheck() == 1) return -2;
    cycFeedXY(cycle, corners[i][0], corners[i][1]);
  }
  return 1;
}

// A ".CFG" source: its entries go into the global parameter block (which also sets the message
// level from "*REPORT_CLASS").
int rpx5StandInReadCfg(CycleRecord* cycle) { return parSetFromList(cycle->cfgEntries); }

int rpx5StandInCompute(CycleRecord* cycle) {
  double side = 0;
  int result = rpx5StandInSide(cycle, &side);
  if (result == 1) result = rpx5StandInSquare(cycle, side);
  cyc3dSetResult(cycle, result);
  return 1;  // the compute phase reports success; the outcome is the status word
}

CycleRecord rpx5Record = {
    .parent = &cycKernel,
    .code = 1135,
    .version = {6, 0, 2001, 6, 8},
    .title = "3D 5-Axis Z-Level Roughing Cycle",
    .id = "qdRpx5",
    .slots = {.phaseInit = rpx5StandInInit,
              .phaseReadCfgParams = rpx5StandInReadCfg,
              .phaseCompute = rpx5StandInCompute},
};
}  // namespace

CycleRecord* rpx5CycleRecord() { return &rpx5Record; }

int rpx5BreakCheck() { return cycBreakAnswer(rpx5CycleRecord()); }
