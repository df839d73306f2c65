// ccp_record.h - the contour-parallel pocket cycle "qdCCP": its static record, the phases the
// framework runs (init, source loading, ".CFG" parameters, prepare, the run over depth levels,
// cleanup and end) and the cycle's run state. The Z-level cycles run it nested once per pocket
// job; a host may run it by itself.
#pragma once

#include <cstdint>

#include "framework/cycle.h"
#include "framework/param_list.h"
#include "pocket/ccp_fields.h"
#include "pocket/pock_levels.h"

// The qdCCP record. Never null.
CycleRecord* ccpCycleRecord();
// The values of the qdCCP record at load; the axis-parallel cycle starts from them.
CcpRecord ccpRecordAtLoad();
// The record's own fields back to their values at load (texts freed); the framework's part of the
// record (parent, slots, the run's parameters, layers, signal and status words) is kept. The
// configuration record and the degrees of the plunge angles go back to theirs too.
void ccpRecordReset();

// Stores ccpLoadSources in the record's source-loading slot and returns the record (null stays
// null). The change stays for the rest of the process.
CycleRecord* pockSetSourceLoader(CycleRecord* cycle);
// Source-loading slot: the "-S" source (".pcf" appended unless the name ends in it in any case or
// is "| stdin"; no definition file is read) into the parameter list, then the NC frame from the
// "frameCs_*" options and the tool frame from the "toolCs_*" options, completed from the frame
// options. Returns 1.
int ccpLoadSources(CycleRecord* cycle);
// A copy of the value of the last entry named key (memFree it) and its kind; null when absent.
char* ccpOptionValue(const ParamNode* list, const char* key, std::int16_t* kind);

// Marks the runs that follow as nested inside another cycle's run (1) or not (0). A run that is
// not nested starts from the record's and the engine's values at load; a nested run keeps what
// earlier runs of the enclosing run read (a key that is absent keeps its value).
void ccpSetNested(int nested);

// Phases.
int ccpInit(CycleRecord* cycle);
int ccpLegacyParameters(CycleRecord* cycle);
int ccpPrepare(CycleRecord* cycle);
int ccpRun(CycleRecord* cycle);
int ccpCleanup(CycleRecord* cycle);
int ccpEnd(CycleRecord* cycle);

// Chooses the scale factor (scaleChooseFactor) and multiplies every length of the run by it: the
// engine's stock tolerance, fillet and infeed radius and tolerance, the contours of INPUT (and of
// CLAMPS once read) with their allowances, the tool diameter and radius, the plane allowance, the
// infeed length, the settings "AM", the start point (record and engine) and its reach, the rest
// minimum length, the reference radius, the corner radius, the approach and leaving lengths and
// the allowance table. Heights are not scaled. The run's end puts the values as read back.
void ccpScaleAll(CycleRecord* cycle);

// The cycle's run state, read by the output and the tests.
struct CcpRunState {
  int firstGroup = 1;
  int lastGroup = 1;
  double levelTop = 0.0;
  double levelDepth = 0.0;
  int groupsLeft = 0;
  int levelsLeft = 0;
  int pocketSequence = 0;
  int openGroups = 0;
  PocketLevelList* levels = nullptr;        // the level list of the current group
  PocketLevelHeights* heights = nullptr;    // its level heights
  PocketLevelList* lastSequence = nullptr;  // the list a rest pass of an earlier run left
};
const CcpRunState& ccpRunState();

// Test seam: run state, nesting mark and kept values back to the state at load (lists freed).
void ccpResetState();
