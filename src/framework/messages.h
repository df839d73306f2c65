// messages.h - numbered messages of the computation: a message number with an argument text, sent
// as an "error" record (type 101) on layer 0 of the current output cycle; the host looks the
// number up in the cycle's message file. A message level filters them, a trace bit lets debug
// lines through as message 9999. Also the current output cycle and the interrupt check that long
// loops poll. Level, cycle and check are process-wide and stay until set again.
#pragma once

#include "framework/cycle.h"

// Bit of a level that marks a trace; the other bits form the level number.
inline constexpr int kMsgTraceBit = 8;
// Message level at load, until the configuration is read.
inline constexpr int kMsgLevelAtLoad = 3;
// Message number of the traces.
inline constexpr int kMsgTraceCode = 9999;
// Longest formatted trace text.
inline constexpr int kMsgTraceTextMax = 259;

// The senders. level: the message's level (the trace bit may be set); code: the message number;
// text: the message's descriptive text, which only documents it (the host has the real texts)
// and is not sent. A message is sent when its level, trace bit cleared, is not greater than the
// message level, trace bit cleared. Numbers are written as in the "C" locale.
// Each returns 2 filtered out; 1 sent (also when there is no current output cycle: dropped).
int msgSendInt(int level, int code, const char* text, long v);           // "%ld"
int msgSendInt2(int level, int code, const char* text, long a, long b);  // "%ld,%ld"
// "%.6lf" of x, or "0" when |x| is below 1e-5.
int msgSendReal(int level, int code, const char* text, double x);
int msgSendReal2(int level, int code, const char* text, double a, double b);   // "%.6lf,%.6lf"
int msgSendText(int level, int code, const char* text, const char* argument);  // unchanged

// Sends "<code>,<argument>" ("<code>" alone for a null argument), unfiltered, as record 101
// "error" on layer 0 of the current output cycle. A text longer than 128 characters is cut to
// 127. Returns the dispatch result (1 written; 0 not written), 0 when there is no current cycle.
int msgSendCode(int code, const char* argument);

// Traces: the value formatted with format (a printf format with one placeholder of the value's
// type, or none; in the "C" locale; cut to kMsgTraceTextMax characters) is sent as message 9999
// when level passes the filter and level or the message level has the trace bit.
// Return 2 filtered out; else 1 (whether or not a trace was sent).
int out3dTraceText(int level, const char* format, int v);
int out3dTraceReal(int level, const char* format, double x);

// Sets the message level; the report file name is not used.
void out3dSetMsgLevel(const char* report, int level);
// The current message level.
int out3dMsgLevel();
// Notes that a message file was named; the path itself is not used. Returns 0.
int out3dSetMsgFile(const char* path);
// 1 once out3dSetMsgFile was called.
int out3dMsgFileNamed();

// The interrupt check that long loops poll: 1 stop now, 2 stop after the current region, 0 go on.
using MsgBreakCheckFn = int (*)();
// Installs the interrupt check (null removes it).
void out3dSetBreakCheck(MsgBreakCheckFn check);
// The installed check's answer; 0 when none is installed.
int out3dCheckBreak();

// Sets the cycle that receives messages and 3D output records (null: none).
void out3dSetCycle(CycleRecord* cycle);
// The current output cycle, or null.
CycleRecord* out3dCycle();

// A source that is no regular file (a FIFO would block the open for ever; a folder or a device is
// no source) is skipped as a missing one is, with this warning: "1100,<path>: not a regular
// file, skipped" ("* Syntaxfehler, Voreinstellungen wurden gewählt": the run goes on without it).
inline constexpr int kMsgSourceSkipped = 1100;
// Sends the warning to the current output cycle at once, unfiltered; without one (sources are
// read before any output exists) it is kept for msgSendPendingWarnings (at most 16 are kept).
void msgWarnSkippedSource(const char* path);
// Sends the kept warnings as records 101 "error" on layer 0 of cycle and forgets them; a null
// cycle only forgets them.
void msgSendPendingWarnings(CycleRecord* cycle);

// What is wrong with a job: the text names the file and line, or the key and its value, and what
// is wrong with it. A fault fails the run ("* Pflichtparameter fehlt": a value the run needs is
// missing or unusable; the number a non-finite value of the output already fails with); a
// warning lets it go on with the value's default meaning or without the key ("* Syntaxfehler,
// Voreinstellungen wurden gewählt").
inline constexpr int kMsgJobFault = 1001;
inline constexpr int kMsgJobWarning = kMsgSourceSkipped;
// Send "<code>,<text>" as the record 101 "error" to cycle, unfiltered (the text is cut to the
// record's text field): msgSendJobFault with kMsgJobFault, msgSendJobWarning with kMsgJobWarning,
// msgSendJobMessage with a number of the caller's. Return the dispatch result; 0 for a null
// cycle.
int msgSendJobMessage(CycleRecord* cycle, int code, const char* text);
int msgSendJobFault(CycleRecord* cycle, const char* text);
int msgSendJobWarning(CycleRecord* cycle, const char* text);

// Test seam: level 3, no cycle, no interrupt check, no message file named, no kept warning.
void msgResetState();
// Run-start reset: as msgResetState, but the warnings held for this run's first output stay
// (sources skipped while the run loaded them, sent right after its init phase).
void msgRunReset();
