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

// The answer of an interrupt check to the signal word of own: 1 for 100 (stop now), 2 for 104
// (stop after the levels already computed for the current region), 0 otherwise (also for null).
int cycBreakAnswer(const CycleRecord* own);

// The status word of a computation result: 1 when the run failed as a whole (cycRunFailed), else
// 100 for -2 (user break), 1 for any other negative result, 0 otherwise. Stores it in cycle's
// status word when cycle is not null. Returns it.
int cyc3dSetResult(CycleRecord* cycle, int result);

// Message of a computation step that the library does not hold yet (documenting text "* Funktion
// noch nicht realisiert"); its argument names the step.
inline constexpr int kCycMsgNotRealised = 1104;
