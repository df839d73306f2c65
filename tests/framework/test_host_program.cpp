// The command-line host qdmill run as a program in a temporary folder: exit codes, records on
// standard error, the user break; and the library's exported symbols.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

using qdtest::TempDirTest;

namespace {
struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

Outcome runHost(const std::string& args) {
  const std::string cmd = std::string("'") + QDMILL_HOST_PATH + "' " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  Outcome o{-1, qdtest::readFile("out.txt"), qdtest::readFile("err.txt")};
  if (status != -1 && WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
  return o;
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void writeDemo() {
  qdtest::writeFile("qdRpx5.def", "SystemLanguage := english\nparameters := q.lng\n");
  qdtest::writeFile("demo.pcf", "jobName := \"demo job\"\ndemoSquareSide := 25\n");
  qdtest::writeFile("bad.pcf", "demoSquareSide := none\n");
  qdtest::writeFile("q.lng", "default english\nstart english\n: text\nend\n");
}
}  // namespace

TEST_F(TempDirTest, HostExitCodes) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  struct Case {
    const char* args;
    int exitCode;
  };
  const Case cases[] = {
      {"", 0},  // version and help only
      {"-Sdemo", 0},
      {"-P", 0},
      {"-A", 0},     // a failed information phase is a run code only, not a status word
      {"-Sbad", 1},  // the computation failed: status word 1
      {"--break-after 2 -Sdemo", 3},
      {"--break-after 0 -Sdemo", 3},
      {"--lib ./no-such-lib.so", 2},
      {"--bogus", 2},
      {"--break-after x -Sdemo", 2},
      {"--help", 0},
  };
  for (const Case& c : cases) {
    const Outcome o = runHost(c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << c.args << "\n" << o.err;
  }
  const Outcome help = runHost("--help");
  EXPECT_NE(help.out.find("exit codes"), std::string::npos);
}

TEST_F(TempDirTest, HostRecordsShowTheEchoOnTheCallbacks) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  const Outcome o = runHost("--records -Sdemo");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(countOf(o.err, "pair 1 layer 1 type 201 name call"), 2) << o.err;
  EXPECT_EQ(countOf(o.err, "pair 1 layer 1 type 202 name def"), 2) << o.err;
  EXPECT_EQ(countOf(o.err, "layer 0 type 112 name cfgSource text demo"), 2) << "pairs 0 and 1";
  EXPECT_EQ(countOf(o.err, "layer 31 type 31"), 6);
  EXPECT_NE(o.out.find("0: cycle(3D 5-Axis Z-Level Roughing Cycle)\n"), std::string::npos)
      << "standard output holds the POF text";
  EXPECT_EQ(o.out.find("qdmill:"), std::string::npos)
      << "the host's own lines go to standard error";

  const Outcome stopped = runHost("--records --break-after 2 -Sdemo");
  EXPECT_EQ(stopped.exitCode, 3);
  EXPECT_EQ(countOf(stopped.err, "layer 31 type 31"), 2) << stopped.err;

  const Outcome pcf = runHost("--records -Sdemo -PCF");
  EXPECT_EQ(pcf.exitCode, 0);
  EXPECT_EQ(countOf(pcf.err, "record"), 0) << "exchange mode hands the host no record";
}

TEST(LibrarySymbols, ExactlyTheFourExportsAmongTheLibrarysOwn) {
  const std::string cmd =
      std::string("nm -D --defined-only '") + QDMILL_LIBRARY_PATH + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> own;
  char line[1024];
  int lines = 0;
  while (std::fgets(line, sizeof line, p) != nullptr) {
    ++lines;
    std::istringstream in(line);
    std::string address, type, name;
    if (!(in >> address >> type >> name)) continue;
    // names beginning with '_' belong to the tool chain and run-time start-up, not to the library
    if (name[0] == '_') continue;
    own.insert(name);
  }
  const int status = pclose(p);
  if (lines == 0 && status != 0) GTEST_SKIP() << "nm not available";
  const std::set<std::string> expected = {"qdCSexecCycle", "qdCSgetCycle", "qdCSgetSignal",
                                          "qdCSsetSignal"};
  EXPECT_EQ(own, expected);
}
