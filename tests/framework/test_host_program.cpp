// The command-line host qdmill run as a program in a temporary folder: exit codes, records on
// standard error, the user break; and the library's exported symbols.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

namespace {
// A row of the host tables: the exit code and the beginning of the first line on standard output
// (onOutput) or standard error.
struct FirstLineCase {
  std::string args;
  int exitCode;
  bool onOutput;
  std::string first;
};

void expectFirstLines(const std::vector<FirstLineCase>& cases) {
  for (const FirstLineCase& c : cases) {
    const Outcome o = runHost(c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << c.args << "\n" << o.err;
    const std::string text = c.onOutput ? o.out : o.err;
    const std::string line = text.substr(0, text.find('\n'));
    EXPECT_EQ(line.rfind(c.first, 0), 0u) << c.args << ": " << line;
    if (c.exitCode == 2) {
      EXPECT_TRUE(o.out.empty()) << c.args << ": nothing ran";
    }
  }
}
}  // namespace

// The information options print their texts; options after the job arguments are the host's.
TEST_F(TempDirTest, HostTalksAndTakesItsOptionsAnywhere) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  const std::string version = "3D 5-Axis Z-Level Roughing Cycle (qdRpx5) release 1135-";
  expectFirstLines({
      {"", 0, true, version},
      {"-V", 0, true, version},
      {"-P", 0, true, " text"},  // the parameters section of q.lng
      {"-A", 0, false, "qdmill: no algorithm text: the cycle's definition file"},
      {"-Sdemo --records", 0, false, "qdmill: record pair"},
      {"-Sdemo --bogus", 2, false, "qdmill: unknown option --bogus (see qdmill --help)"},
      {"-Sdemo -- --records", 0, true, ""},  // after "--" it is the cycle's, which ignores it
  });
}

// A job source that cannot be read is refused before the run, never replaced by defaults.
TEST_F(TempDirTest, HostRefusesAJobSourceItCannotRead) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  ASSERT_EQ(mkdir("folder.pcf", 0755), 0);
  ASSERT_EQ(mkfifo("fifo.pcf", 0644), 0);
  ASSERT_EQ(symlink("loop.pcf", "loop.pcf"), 0);
  qdtest::writeFile("locked.pcf", "jobName := locked\n");
  ASSERT_EQ(chmod("locked.pcf", 0), 0);
  const bool root = geteuid() == 0;  // reads any file whatever its mode
  auto cannot = [](const std::string& file, const std::string& why) {
    return "qdmill: cannot read job source " + file + ": " + why;
  };
  expectFirstLines({
      {"-Smissing", 2, false, cannot("missing.pcf", std::strerror(ENOENT))},
      {"-Sdemo.CFG", 2, false, cannot("demo.CFG", std::strerror(ENOENT))},
      {"-Sfolder", 2, false, cannot("folder.pcf", "is a folder")},
      {"-Sfifo", 2, false, cannot("fifo.pcf", "not a regular file")},  // never opened: no hang
      {"-Sloop", 2, false, cannot("loop.pcf", std::strerror(ELOOP))},
      {"-Slocked", root ? 0 : 2, !root, root ? "" : cannot("locked.pcf", std::strerror(EACCES))},
      {"'-S| stdin' <demo.pcf", 0, true, ""},
  });
  chmod("locked.pcf", 0644);
}

// A failed run names the "error" messages the host received, in order, before its summary; a
// run that succeeds keeps its messages to --records.
TEST_F(TempDirTest, HostReportsTheErrorsOfAFailedRun) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  const std::string lib = std::string("--lib '") + QDMILL_FAKE_CYCLE_PATH + "' ";
  const Outcome failed = runHost(lib + "'error:1107,part.stl,bad facet' error:77 status:1");
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.err,
            "qdmill: error 1107: part.stl,bad facet\n"
            "qdmill: error 77\n"
            "qdmill: the cycle reported a failure (status 1)\n");
  const Outcome silent = runHost(lib + "status:1");
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_EQ(silent.err,
            "qdmill: the cycle reported a failure (status 1) and sent no error message\n");
  const Outcome fine = runHost(lib + "error:5,note");
  EXPECT_EQ(fine.exitCode, 0);
  EXPECT_EQ(fine.err, "");
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
