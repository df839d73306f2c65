// rpx5_record.h - the library's own cycle record "qdRpx5" (5-axis Z-level roughing), the record
// that qdCSgetCycle returns and the exports use when the host passes none.
#pragma once

#include "framework/cycle.h"

// The qdRpx5 record. Never null.
CycleRecord* rpx5CycleRecord();

// The interrupt check of the roughing: reads the signal word of the library's own record (not of
// the record being run). Returns 1 for 100 (stop now), 2 for 104 (stop after the levels already
// computed for the current region have been emitted), 0 otherwise.
int rpx5BreakCheck();
