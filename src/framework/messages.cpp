// messages.cpp - the message senders, traces, message level, current output cycle and interrupt
// check. Numbers are written with std::to_chars or under a "C" locale so that a host's
// decimal-comma locale never changes a message's argument text.
#include "framework/messages.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/output_records.h"
#include "framework/platform.h"

namespace {
// Longest message text that is sent whole; a longer one is cut to kMsgCutLength.
constexpr std::size_t kMsgKeepLength = 128;
constexpr std::size_t kMsgCutLength = 127;
// Values of smaller magnitude are sent as "0" by msgSendReal.
constexpr double kMsgRealZero = 1e-5;
// Warnings kept while no output exists; further ones are dropped.
constexpr std::size_t kMsgPendingMax = 16;

struct MsgState {
  int level = kMsgLevelAtLoad;
  CycleRecord* cycle = nullptr;
  MsgBreakCheckFn breakCheck = nullptr;
  int msgFileNamed = 0;
  std::vector<std::string> pending;  // warnings waiting for an output (msgWarnSkippedSource)
};
MsgState msgState;

// True when a message of this level passes the message level (trace bits left out).
bool msgPasses(int level) { return (level & ~kMsgTraceBit) <= (msgState.level & ~kMsgTraceBit); }

// "%.6lf" of x in the "C" locale.
std::string msgFixed6(double x) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 6);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

// Switches the calling thread to the "C" locale while it lives, for printf formats of callers.
class MsgCLocale {
 public:
  MsgCLocale() {
    locale_t c = platCLocale();
    if (c != static_cast<locale_t>(nullptr)) previous_ = uselocale(c);
  }
  ~MsgCLocale() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  MsgCLocale(const MsgCLocale&) = delete;
  MsgCLocale& operator=(const MsgCLocale&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(nullptr);
};

// Formats value with the caller's format in the "C" locale, cut to kMsgTraceTextMax characters,
// and sends it as message 9999 when the level passes and level or message level has the trace bit.
template <typename Value>
int msgTrace(int level, const char* format, Value value) {
  if (!msgPasses(level)) return 2;
  if (((level | msgState.level) & kMsgTraceBit) == 0) return 1;
  char text[kMsgTraceTextMax + 1] = "";
  if (format != nullptr) {
    MsgCLocale c;
    std::snprintf(text, sizeof text, format, value);
  }
  msgSendCode(kMsgTraceCode, text);
  return 1;
}

// Sends a message whose argument text build() makes, when its level passes; the text is built
// only then. No memory for the text drops the message.
template <typename Build>
int msgSendBuilt(int level, int code, Build build) {
  if (!msgPasses(level)) return 2;
  try {
    const std::string argument = build();
    msgSendCode(code, argument.c_str());
  } catch (...) {
  }
  return 1;
}
}  // namespace

int msgSendCode(int code, const char* argument) {
  if (msgState.cycle == nullptr) return 0;
  try {
    std::string text = std::to_string(code);
    if (argument != nullptr) {
      text += ',';
      text += argument;
    }
    if (text.size() > kMsgKeepLength) text.resize(kMsgCutLength);
    return cycSendError(msgState.cycle, text.c_str());
  } catch (...) {
    return 0;  // no memory for the text: the message is dropped
  }
}

int msgSendInt(int level, int code, const char*, long v) {
  return msgSendBuilt(level, code, [&] { return std::to_string(v); });
}

int msgSendInt2(int level, int code, const char*, long a, long b) {
  return msgSendBuilt(level, code, [&] { return std::to_string(a) + "," + std::to_string(b); });
}

int msgSendReal(int level, int code, const char*, double x) {
  return msgSendBuilt(
      level, code, [&] { return std::fabs(x) < kMsgRealZero ? std::string("0") : msgFixed6(x); });
}

int msgSendReal2(int level, int code, const char*, double a, double b) {
  return msgSendBuilt(level, code, [&] { return msgFixed6(a) + "," + msgFixed6(b); });
}

int msgSendText(int level, int code, const char*, const char* argument) {
  if (!msgPasses(level)) return 2;
  msgSendCode(code, argument);
  return 1;
}

int out3dTraceText(int level, const char* format, int v) { return msgTrace(level, format, v); }
int out3dTraceReal(int level, const char* format, double x) { return msgTrace(level, format, x); }

void out3dSetMsgLevel(const char*, int level) { msgState.level = level; }
int out3dMsgLevel() { return msgState.level; }

int out3dSetMsgFile(const char*) {
  msgState.msgFileNamed = 1;
  return 0;
}
int out3dMsgFileNamed() { return msgState.msgFileNamed; }

void out3dSetBreakCheck(MsgBreakCheckFn check) { msgState.breakCheck = check; }
int out3dCheckBreak() { return msgState.breakCheck != nullptr ? msgState.breakCheck() : 0; }

void out3dSetCycle(CycleRecord* cycle) { msgState.cycle = cycle; }
CycleRecord* out3dCycle() { return msgState.cycle; }

void msgWarnSkippedSource(const char* path) {
  try {
    const std::string text = std::to_string(kMsgSourceSkipped) + "," +
                             (path != nullptr ? path : "") + ": not a regular file, skipped";
    if (msgState.cycle != nullptr) {
      cycSendError(msgState.cycle, text.c_str());
    } else if (msgState.pending.size() < kMsgPendingMax) {
      msgState.pending.push_back(text);
    }
  } catch (...) {
    // no memory for the text: the warning is lost, the source is skipped all the same
  }
}

int msgSendJobMessage(CycleRecord* cycle, int code, const char* text) {
  if (cycle == nullptr) return 0;
  try {
    const std::string line = std::to_string(code) + "," + (text != nullptr ? text : "");
    return cycSendTextRecord(cycle, 0, 101, "error", line.c_str());
  } catch (...) {
    return 0;  // no memory for the text: the message is lost (a fault still fails the run)
  }
}

int msgSendJobFault(CycleRecord* cycle, const char* text) {
  return msgSendJobMessage(cycle, kMsgJobFault, text);
}
int msgSendJobWarning(CycleRecord* cycle, const char* text) {
  return msgSendJobMessage(cycle, kMsgJobWarning, text);
}

void msgSendPendingWarnings(CycleRecord* cycle) {
  std::vector<std::string> pending;
  pending.swap(msgState.pending);
  if (cycle == nullptr) return;
  for (const std::string& text : pending) cycSendError(cycle, text.c_str());
}

void msgResetState() { msgState = MsgState{}; }

void msgRunReset() {
  std::vector<std::string> pending;
  pending.swap(msgState.pending);
  msgState = MsgState{};
  msgState.pending.swap(pending);
}
