// rpx5_record.h - the library's own cycle record "qdRpx5" (5-axis Z-level roughing): the child of
// the three-axis roughing record, whose reader chain fills it; the record that qdCSgetCycle
// returns and the exports use when the host passes none. Also the library's attach entry.
#pragma once

#include "cycles/rupp_record.h"
#include "framework/cycle.h"

// The qdRpx5 record. Never null.
CycleRecord* rpx5CycleRecord();
// qdRpx5 back to its load values.
void rpx5RecordReset();

// The library's attach and detach entry, called by the load-time start-up: forwards module and
// reason to cycDllAttach (reserved is ignored). Returns its result.
int rpx5DllMain(void* module, int reason, void* reserved);

// The interrupt check of the roughing: reads the signal word of the library's own record (not of
// the record being run). Returns 1 for 100 (stop now), 2 for 104 (stop after the levels already
// computed for the current region have been emitted), 0 otherwise.
int rpx5BreakCheck();

// Copies the record into the global parameter block: the three-axis roughing's copy with the
// five-axis rules ("outsideIn" leaves "*STOCK_MOVEMENT" 0, "*LIMIT_HEIGHT" is not written); the
// reverse stock strategy sets "*OUTSIDE_IN" 1. Returns as ruppCopyWith.
int rpx5CopyParams(CycleRecord* cycle);

// Phases (slot functions; 1 success).
// ReadParams: the parent's reader chain on this record (3D, Z-level, roughing keys); 1, or 0 when
// a reader of the chain failed.
int rpx5ReadParams(CycleRecord* cycle);
// ".CFG" source: every entry into the global parameter block, "*TOOL_TIP" 1 when the tool
// reference is found, the remove-temporary-files flag from "*DEL_PRFBDY".
int rpx5PrepareCfg(CycleRecord* cycle);
// The retract plane becomes the clearance plane unless "retractPlane" is given below it.
int rpx5CheckRetractPlane(CycleRecord* cycle);
// The run: output to the library's own record with rpx5BreakCheck, frames, dumps and the copy
// for a ".pcf" source, the roughing, the status word (100 user break, 1 failure, 0 success), the
// frame records, the temporary files. Returns 1 whatever the roughing's result.
int rpx5Run(CycleRecord* cycle);
// The rise to the clearance plane when the retract plane lies below it.
int rpx5Finish(CycleRecord* cycle);
int rpx5AlgorithmText(CycleRecord* cycle);
int rpx5LayersText(CycleRecord* cycle);
