// test_pof_support.h - a cycle record whose layers are served by the POF text writers, writing into
// a file of a temporary folder with a fixed job id and clock, so whole outputs compare exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <string>
#include <utility>

#include "framework/cfg_reader.h"
#include "framework/kernel.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "framework/pof_writer.h"
#include "framework/tool_desc.h"
#include "support/temp_dir.h"

namespace qdtest {

// 2024-03-05 14:07:09.250 UTC, a Tuesday.
inline constexpr std::int64_t kPofClock = 1709647629250;
inline constexpr char kPofUuid[] = "0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9";

// Runs with the time zone UTC, so the fixed clock gives the same texts everywhere.
inline void pofFixTimeZone() {
  setenv("TZ", "UTC", 1);
  tzset();
}

class PofTest : public TempDirTest {
 protected:
  void SetUp() override {
    pofResetState();
    pofFixTimeZone();
    pofTestFixClock(kPofClock);
    pofTestFixUuid(kPofUuid);
    rec_.parent = &cycKernel;
    rec_.code = 77;
    rec_.version[0] = 2;
    rec_.title = "test cycle";
    out_ = std::fopen("out.pof", "w");
    ASSERT_NE(out_, nullptr);
    ASSERT_EQ(pofSetOutput(out_), 1);
  }
  void TearDown() override {
    for (CycleRecord* c : {&rec_, &nested_}) {
      cycFreeLayers(c);
      parListFree(c->params);
      c->params = nullptr;
      parListFree(c->cfgEntries);
      c->cfgEntries = nullptr;
      toolDescRelease(c);
    }
    pofResetState();
    if (out_ != nullptr) std::fclose(out_);
  }

  // Registers the layers on a record with their POF writers.
  static void serve(CycleRecord* c, std::initializer_list<std::uint16_t> layers) {
    for (std::uint16_t l : layers) cycRegisterLayer(c, l, pofTextWriterFor(l), nullptr, 1);
  }
  void serve(std::initializer_list<std::uint16_t> layers) { serve(&rec_, layers); }

  void param(const char* name, const char* value, CycleRecord* c = nullptr) {
    CycleRecord* r = c != nullptr ? c : &rec_;
    r->params = parListSet(r->params, name, value, kParKindSource);
  }
  void cfg(const char* key, const char* value) {
    rec_.cfgEntries = cfgListAppend(rec_.cfgEntries, key, value, kParKindSource);
    rec_.sourceIsCfg = 1;
  }

  // Everything written to the output so far.
  std::string text() {
    std::fflush(out_);
    return readFile("out.pof");
  }
  // What was written since the last call of fresh().
  std::string fresh() {
    const std::string all = text();
    std::string s = all.substr(seen_);
    seen_ = all.size();
    return s;
  }

  int begin(CycleRecord* c = nullptr) {
    return cycSendTextRecord(c != nullptr ? c : &rec_, 0, 103, "cycle",
                             (c != nullptr ? c : &rec_)->title);
  }
  int end(CycleRecord* c = nullptr, int type = 104) {
    return cycSendTextRecord(c != nullptr ? c : &rec_, 0, type, type == 104 ? "cycleEnd" : "fatal",
                             (c != nullptr ? c : &rec_)->title);
  }

  CycleRecord rec_;
  CycleRecord nested_;
  std::FILE* out_ = nullptr;
  std::size_t seen_ = 0;
};

}  // namespace qdtest
