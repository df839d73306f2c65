// cycle_result.h - how a machining computation reports to the host: its result becomes the
// record's status word; the signal words its long loops poll (through rpx5BreakCheck).
#pragma once

#include "framework/cycle.h"

// Status words.
inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailed = kCycStatusFailed;
inline constexpr int kStatusUserBreak = kCycStatusUserBreak;

// Signal words the computation understands.
inline constexpr int kSignalStopNow = kCycSignalStopNow;
inline constexpr int kSignalStopAfterRegion = 104;

// The status word of a computation result: 1 when the run failed as a whole (cycRunFailed), else
// 100 for -2 (user break), 1 for any other negative result, 0 otherwise. Stores it in cycle's
// status word when cycle is not null. Returns it.
int cyc3dSetResult(CycleRecord* cycle, int result);
