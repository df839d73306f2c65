// job_check.h - the checks that make a job mean what it says, run by the 3D cycles' reading
// phases: keys of the source that no phase reads (with the key they were probably meant to be),
// numbers of a ".CFG" source that are no numbers, and values the run cannot work with (a step
// depth of 0, a folder of temporary files that cannot be written, a machining tolerance finer
// than the output's decimals, a model file that is the job source itself). Each finding goes to
// the job report of the reading (jobFault, jobWarning), which the reader sends.
#pragma once

#include "framework/cycle.h"

// Whether text is one whole number in the "C" locale (blanks around it allowed, a sign, decimals
// and an exponent; no unit, no decimal comma, nothing after it) with a finite value; stores it in
// *out when out is not null.
bool jobWholeNumber(const char* text, double* out);

// The report of reading a job: values the run cannot take and keys of the source that no phase
// reads. Faults fail the reading phase that finds them; warnings let the run go on (an unknown
// word is read with its decoding's default meaning, an unknown key is not read). Kept from the
// start of the run (jobReportReset) until a reader sends them.
// jobFault: a fault with its message number (kMsgJobFault unless another number says it
// better) and the text "<key> := <value>: <what is wrong>". jobWarning: a warning
// (kMsgJobWarning).
void jobFault(int code, const char* text);
void jobWarning(const char* text);
// Sends what was found, in the order found, as records 101 (msgSendJobMessage) to cycle, and
// forgets it. Returns the number of faults (0: the reading may go on).
int jobReportSend(CycleRecord* cycle);
// Forgets what was found (the run-start reset of the 3D cycles).
void jobReportReset();

// Most levels a step depth may make over the job's depth; a smaller step is no roughing but a
// mistyped value that would exhaust the memory.
inline constexpr double kJobLevelsMax = 100000.0;
// Finest output: the number text holds at most this many decimals.
inline constexpr int kJobDecimalsMax = 8;

// Warns of every entry of the record's parameter list that came from the job source or the
// definition file and that neither a 3D cycle's phase (kCyc3dKeys) nor the framework
// (parFrameworkKeys) reads: "<key>: not a parameter" and, when one is near,
// "; did you mean <key>?". The entry named by the value of "SystemLanguage" (the message file
// of that language) is known.
void jobCheckSourceKeys(const CycleRecord* cycle);

// The same for the entries of a ".CFG" source against the keyword table of the global parameter
// block (without regard to case) and parFrameworkCfgKeys; and a fault for every value of a
// keyword that reads a number (or three) whose text is not one whole number (three numbers
// separated by blanks): "<key> <value>: not a number".
void jobCheckCfgEntries(const CycleRecord* cycle);

// The values the run cannot work with, in the user's units:
// - infeedDepth (the step depth): 0 is a fault (message 1008), and so is a step that makes more
//   than kJobLevelsMax levels over depth;
// - folder: the folder of the temporary files must be a folder a file can be created in (message
//   1108 "<key> := <folder>: <reason>"); an empty folder is the current one;
// - tolerance: a machining tolerance finer than the output's decimals can hold raises the
//   decimals (numSetPrecision) up to kJobDecimalsMax with a warning, and is a fault beyond that;
// - model: a model file that is the job source itself is a fault.
// keys names the keys of the values in the messages (the cycle parameters or the ".CFG" keys).
struct JobValues {
  double infeedDepth;
  double depth;
  const char* folder;
  double tolerance;
  const char* model;
};
struct JobKeys {
  const char* infeedDepth;
  const char* folder;
  const char* tolerance;
  const char* model;
};
void jobCheckValues(const JobValues& values, const JobKeys& keys);

// The checks of a ".CFG" run, after its entries were applied to the global parameter block:
// jobCheckCfgEntries, then jobCheckValues with "*VERTZUSTEL", the depth "*OBERFL" less "*TIEF",
// "*TMP_DIR", "*PRECISION" and "*APPROX"; then the job report is sent (jobReportSend).
// Returns the number of faults (0: the run may go on).
int jobCheckCfgRun(CycleRecord* cycle);
