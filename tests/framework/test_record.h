// test_record.h - a cycle record for the framework tests: its slots log their calls next to the
// framework messages and fail on demand, so phase order and run codes can be read off one list.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "framework/cycle.h"
#include "framework/kernel.h"

namespace qdtest {

// A slot call is logged as kSlotMark + the slot's index (0 phaseArguments ... 15 phaseEnd).
inline constexpr int kSlotMark = 1000;
enum TestSlot : int {
  kArguments,
  kInit,
  kLoadParams,
  kLoadCfg,
  kVersion,
  kHelp,
  kParameters,
  kAlgorithm,
  kLayers,
  kOptionD,
  kReadParams,
  kReadCfgParams,
  kPrepare,
  kCompute,
  kFinish,
  kEnd
};

struct TestLog {
  std::vector<int> events;  // framework messages and slot marks, in order
  std::set<int> failing;    // slots that return 0
};
inline TestLog& testLog() {
  static TestLog log;
  return log;
}

inline void testMessage(CycleRecord*, int code, void*) { testLog().events.push_back(code); }

template <int Slot>
int testSlot(CycleRecord*) {
  testLog().events.push_back(kSlotMark + Slot);
  return testLog().failing.count(Slot) != 0 ? 0 : 1;
}

// A record with every slot logging, its parent the kernel and messages going to the log.
inline CycleRecord testRecord() {
  CycleRecord r;
  r.parent = &cycKernel;
  r.code = 77;
  r.version[0] = 2;
  r.version[1] = 3;
  r.version[2] = 2024;
  r.version[3] = 5;
  r.version[4] = 9;
  r.title = "test cycle";
  r.slots =
      CycleSlots{testSlot<0>,  testSlot<1>,  testSlot<2>,  testSlot<3>, testSlot<4>,  testSlot<5>,
                 testSlot<6>,  testSlot<7>,  testSlot<8>,  testSlot<9>, testSlot<10>, testSlot<11>,
                 testSlot<12>, testSlot<13>, testSlot<14>, testSlot<15>};
  r.messageFn = testMessage;
  return r;
}

// Copies of the arguments as a mutable argv.
struct TestArgs {
  explicit TestArgs(std::vector<std::string> a) : texts(std::move(a)) {
    for (auto& t : texts) ptrs.push_back(t.data());
    ptrs.push_back(nullptr);
  }
  char** argv() { return ptrs.data(); }
  int argc() const { return static_cast<int>(texts.size()); }
  std::vector<std::string> texts;
  std::vector<char*> ptrs;
};

}  // namespace qdtest
