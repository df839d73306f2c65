// phase_runner.h - running a cycle: the argument vector's options, loading the parameter sources,
// the phases with their framework messages, and the clean-up. The host entry and the nested
// pocket runs of the roughing both run a cycle through cycParseOptions and then cycRun.
#pragma once

#include "framework/cycle.h"

// Run codes of cycRun.
enum CycRunCode : int {
  kRunOk = 0,
  kRunVersionFailed = 11,
  kRunHelpFailed = 12,
  kRunParametersFailed = 13,
  kRunAlgorithmFailed = 14,
  kRunLayersFailed = 15,
  kRunOptionDFailed = 16,
  kRunReadParamsFailed = 21,
  kRunPrepareFailed = 22,
  kRunComputeFailed = 23,
  kRunFinishFailed = 24,
  kRunEndFailed = 31,  // all computing phases succeeded but the end phase failed
};

// Completes the record from its parents and, unless inheritOnly is 1, parses argv (argc entries;
// a null argv counts as none, null entries are skipped) and loads the parameter sources.
// Options: -S<name> source, -M<n>, -PCF / -POF output mode, -IPC<n>, and the single letters
// -V -? -P -A -Y -D; a bare "?" makes a help-only run; anything else is a positional argument.
// Without an information option and without -S the run shows version and help.
// Returns 1 ready to run; 0 when a framework version differs along the parent chain (nothing
// changed) or loading the source failed (the record is cleaned up).
int cycParseOptions(CycleRecord* cycle, char** argv, int argc, int inheritOnly);

// Runs the phases of a parsed record and cleans up. Returns a CycRunCode.
int cycRun(CycleRecord* cycle);

// Frees what a run owns: positional arguments, source name, parameter list and ".CFG" entries,
// between framework messages 411 and 419. The layer list is the end phase's.
void cycCleanup(CycleRecord* cycle);

// The number given with -IPC in the last parse (kept, no further effect).
int cycIpcValue();

// Test seam: the -IPC value back to 0, as at load.
void runnerResetState();
