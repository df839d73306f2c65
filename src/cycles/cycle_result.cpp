// cycle_result.cpp - status word of the machining cycles.
#include "cycles/cycle_result.h"

int cyc3dSetResult(CycleRecord* cycle, int result) {
  int status = kStatusOk;
  if (cycRunFailed(cycle) == 1) {
    status = kStatusFailed;  // the run failed as a whole (its output, a value): no result clears it
  } else if (result == -2) {
    status = kStatusUserBreak;
  } else if (result < 0) {
    status = kStatusFailed;
  }
  if (cycle != nullptr) cycle->status = status;
  return status;
}

int cycBreakAnswer(const CycleRecord* own) {
  if (own == nullptr) return 0;
  if (own->signal == kSignalStopNow) return 1;
  if (own->signal == kSignalStopAfterRegion) return 2;
  return 0;
}
