// cycle_job.h - runs the library's 3D cycle records in the test process as a host would: a job
// file in a fresh folder, the options parsed and the phases run, the POF text collected in one
// file, and the global parameter block dumped with parCfgWriteAll and read back by a parser of
// its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/phase_runner.h"
#include "framework/pof_writer.h"
#include "support/temp_dir.h"

namespace qdtest {

// The block as parCfgWriteAll writes it into path, read back: key -> value text.
inline std::map<std::string, std::string> blockDump(const std::string& path) {
  EXPECT_EQ(parCfgWriteAll(path.c_str()), 1);
  std::map<std::string, std::string> keys;
  std::istringstream in(readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t end = line.find(' ');
    const std::string key = line.substr(0, end);
    std::string value = end == std::string::npos ? "" : line.substr(end);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(' ') + 1);
    keys[key] = value;
  }
  return keys;
}

class CycleJobTest : public TempDirTest {
 protected:
  void SetUp() override {
    pofResetState();
    pofTestFixClock(1709647629250);
    pofTestFixUuid("0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9");
    static const std::time_t kDumpTime = 1709647629;
    parTestSetTime(&kDumpTime);
    ASSERT_EQ(::mkdir("tmpd", 0755), 0);
    ASSERT_EQ(::mkdir("dumps", 0755), 0);
    out_ = std::fopen("out.pof", "w");
    ASSERT_NE(out_, nullptr);
    ASSERT_EQ(pofSetOutput(out_), 1);
  }
  void TearDown() override {
    pofResetState();
    parTestSetTime(nullptr);
    if (out_ != nullptr) std::fclose(out_);
  }

  // Runs cycle with "-S<source>" and the further arguments; returns the run code.
  static int run(CycleRecord* cycle, const std::string& source,
                 std::vector<std::string> more = {}) {
    std::vector<std::string> args{"-S" + source};
    args.insert(args.end(), more.begin(), more.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    if (cycParseOptions(cycle, argv.data(), static_cast<int>(argv.size()), 0) != 1) return -1;
    return cycRun(cycle);
  }

  // The POF text written since the last call.
  std::string pof() {
    std::fflush(out_);
    const std::string all = readFile("out.pof");
    std::string s = all.substr(seen_);
    seen_ = all.size();
    return s;
  }

  // The global parameter block as parCfgWriteAll writes it, read back: key -> value text.
  static std::map<std::string, std::string> dump(const std::string& name) {
    return blockDump("dumps/" + name);
  }

  std::FILE* out_ = nullptr;
  std::size_t seen_ = 0;
};

}  // namespace qdtest
