// rpx5_record.h - the library's own cycle record "qdRpx5" (5-axis Z-level roughing), the record
// that qdCSgetCycle returns and the exports use when the host passes none.
#pragma once

#include "framework/cycle.h"

// The qdRpx5 record. Never null.
CycleRecord* rpx5CycleRecord();
