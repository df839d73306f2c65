// The command-line host qdmill run as a program in a temporary folder: exit codes, records on
// standard error, the user break after a number of moves on a roughing job (a box on a plate);
// and the library's exported symbols.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_limit.h"
#include "support/mesh_gen.h"
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
  qdtest::writeFile("demo.pcf",
                    "jobName := \"demo job\"\npolySource := part.stl\ntoolDiameter := 6\n");
  qdtest::writeFile("bad.pcf", "polySource := part.stl\ntoolDiameter := none\n");
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
      {"", 0},        // version and help only
      {"-Sdemo", 1},  // the part file is missing
      {"-P", 0},
      {"-A", 0},     // a failed information phase is a run code only, not a status word
      {"-Sbad", 1},  // a tool diameter that is no number: status word 1
      {"--break-after 2 -Sdemo", 1},  // no move to count: the run ends as without the option
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
// A box of 20 x 20 x 15 on a plate of 60 x 50 x 5, roughed with a flat end mill of diameter 10.
void writeRoughJob() {
  qdtest::gen::Mesh m;
  m.name = "box on plate";
  qdtest::gen::detail::box(m, {0, 0, 0}, {60, 50, 5});
  qdtest::gen::detail::box(m, {20, 15, 5}, {40, 35, 20});
  ASSERT_TRUE(qdtest::gen::writeStl("part.stl", m, qdtest::gen::Encoding::kBinary));
  qdtest::writeFile("qdRpx5.def", "SystemLanguage := english\nparameters := q.lng\n");
  qdtest::writeFile("q.lng", "default english\nstart english\n: text\nend\n");
  qdtest::writeFile("rough.pcf",
                    "polySource := part.stl\ntoolType := endMill\ntoolDiameter := 10\n"
                    "allowance := 0.5\nsurface := 21\ndepth := 16\ninfeedDepth := 5\n"
                    "clearancePlane := 40\nstrategy := contourParallel\n");
}
}  // namespace

// A roughing job runs to its end (exit code 0, moves on standard output); a break after n moves
// stops it with status 100 (exit code 3) once n moves were sent, for n = 1 and a later move.
TEST_F(TempDirTest, HostBreaksARoughingJobAfterNMoves) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeRoughJob();
  const Outcome full = runHost("-Srough");
  ASSERT_EQ(full.exitCode, 0) << full.err;
  const int moves = countOf(full.out, "\n31: oL[");
  ASSERT_GT(moves, 20);
  EXPECT_NE(full.out.find("sigstat(0,0)"), std::string::npos);
  for (const int n : {1, moves / 2}) {
    const Outcome o = runHost("--break-after " + std::to_string(n) + " -Srough");
    EXPECT_EQ(o.exitCode, 3) << n << "\n" << o.err;
    EXPECT_LT(countOf(o.out, "\n31: oL["), moves) << n;
    EXPECT_NE(o.out.find("sigstat(100,"), std::string::npos) << n;
  }
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
      {"-Sdemo --records", 1, false, "qdmill: record pair"},
      {"-Sdemo --bogus", 2, false, "qdmill: unknown option --bogus (see qdmill --help)"},
      {"-Sdemo -- --records", 1, true, ""},  // after "--" it is the cycle's, which ignores it
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
      // root reads it: a job of no model and no tool fails (status 1)
      {"-Slocked", root ? 1 : 2, false,
       root ? "qdmill: error 1: a mandatory parameter is missing: (polySource)"
            : cannot("locked.pcf", std::strerror(EACCES))},
      {"'-S| stdin' <demo.pcf", 1, true, ""},
  });
  chmod("locked.pcf", 0644);
}

// A failed run names the messages the host received, in order, before its summary, with their
// severity and text; a run that succeeds shows them as what they were for it.
TEST_F(TempDirTest, HostReportsTheErrorsOfAFailedRun) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  const std::string lib = std::string("--lib '") + QDMILL_FAKE_CYCLE_PATH + "' ";
  const Outcome failed = runHost(lib + "'error:1107,part.stl,bad facet' error:77 status:1");
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.err,
            "qdmill: error 1107: geometry cannot be read: part.stl,bad facet\n"
            "qdmill: error 77\n"
            "qdmill: the cycle reported a failure (status 1)\n");
  const Outcome silent = runHost(lib + "status:1");
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_EQ(silent.err,
            "qdmill: the cycle reported a failure (status 1) and sent no error message\n");
  // In a run that succeeded nothing was an error: the run went on past it.
  const Outcome fine = runHost(lib + "error:5,note");
  EXPECT_EQ(fine.exitCode, 0);
  EXPECT_EQ(fine.err, "qdmill: warning 5: note\n");
}

TEST_F(TempDirTest, HostRecordsShowTheEchoOnTheCallbacks) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  const Outcome o = runHost("--records -Sdemo");
  ASSERT_EQ(o.exitCode, 1) << o.err;
  EXPECT_EQ(countOf(o.err, "pair 1 layer 1 type 201 name call"), 3) << o.err;
  EXPECT_EQ(countOf(o.err, "pair 1 layer 1 type 202 name def"), 2) << o.err;
  EXPECT_EQ(countOf(o.err, "layer 0 type 112 name cfgSource text demo"), 2) << "pairs 0 and 1";
  EXPECT_EQ(countOf(o.err, "layer 31 type 31"), 0) << "no move until the controller exists";
  EXPECT_NE(o.err.find("qdmill: the cycle reported a failure (status 1)"), std::string::npos)
      << o.err;
  EXPECT_NE(o.out.find("0: cycle(3D 5-Axis Z-Level Roughing Cycle)\n"), std::string::npos)
      << "standard output holds the POF text";
  EXPECT_EQ(o.out.find("qdmill:"), std::string::npos)
      << "the host's own lines go to standard error";

  const Outcome pcf = runHost("--records -Sdemo -PCF");
  EXPECT_EQ(pcf.exitCode, 1);
  EXPECT_EQ(countOf(pcf.err, "record"), 0) << "exchange mode hands the host no record";
}

namespace {
// The lines of text that carry a number the run wrote as "inf" or "nan": everything but the echo
// of the sources (layer 1), which repeats the source's own text.
std::vector<std::string> nonFiniteLines(const std::string& text) {
  std::vector<std::string> bad;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("1: ", 0) == 0) continue;
    std::string lower = line;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("inf") != std::string::npos || lower.find("nan") != std::string::npos)
      bad.push_back(line);
  }
  return bad;
}
}  // namespace

// Non-finite numbers reached the output with exit 0 ("G1 Xinf Y0", "T(nan)",
// "vplaneFeedrate(inf)"). A value that must be a number but is not finite fails the run with a
// message naming it, and no line of the POF text or the exchange file carries it.
TEST_F(TempDirTest, HostNonFiniteValuesFailTheRun) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  const std::string cfgHead = "*APT out.pof\n*WKZNUMMER 7\n";
  struct Case {
    const char* what;
    const char* file;
    std::string text;
    const char* args;
    const char* message;  // expected on standard error
  };
  const Case cases[] = {
      {"pcf tool diameter 1e400", "side.pcf", "polySource := p.stl\ntoolDiameter := 1e400\n",
       "-Sside", "1001: toolDiameter := 1e400: not a number"},
      {"pcf tool diameter 1e400, exchange", "sidex.pcf",
       "polySource := p.stl\ntoolDiameter := 1e400\ngeoOut := out.qdx\n", "-Ssidex -PCF", nullptr},
      {"cfg tool number nan", "a.CFG", cfgHead + "*WKZNUMMER nan\n", "-Sa.CFG",
       "1001: *WKZNUMMER: not a finite number"},
      {"cfg feed inf", "b.CFG", cfgHead + "*XVORSCHUB inf\n", "-Sb.CFG",
       "1001: *XVORSCHUB: not a finite number"},
      {"cfg radius 1e400", "c.CFG", cfgHead + "*FRRADIUS 1e400\n", "-Sc.CFG",
       "1001: *FRRADIUS: not a finite number"},
      {"cfg speed -nan", "d.CFG", cfgHead + "*DREHZAHL -nan\n", "-Sd.CFG",
       "1001: *DREHZAHL: not a finite number"},
      {"cfg tool origin 1e999", "e.CFG", cfgHead + "*TREF_tip 0 1e999\n", "-Se.CFG",
       "1001: *TREF_tip:"},
  };
  for (const Case& c : cases) {
    qdtest::writeFile(c.file, c.text);
    std::remove("out.pof");
    std::remove("out.qdx");
    const Outcome o = runHost(c.args);
    EXPECT_EQ(o.exitCode, 1) << c.what << "\n" << o.err;
    if (c.message != nullptr) {
      EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << "\n" << o.err;
    }
    for (const std::string& text :
         {o.out, qdtest::readFile("out.pof"), qdtest::readFile("out.qdx")}) {
      EXPECT_EQ(nonFiniteLines(text), std::vector<std::string>{}) << c.what;
    }
  }
}

// A size limit cut the POF text mid-line and the host still exited 0; a "*APT" file that could
// not be opened sent the text to standard output instead. Every output failure is exit code 1
// with the path and the reason on standard error, and a named file never falls back.
TEST_F(TempDirTest, HostOutputFailuresExitOne) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeDemo();
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  struct Case {
    const char* what;
    const char* args;
    long limit;           // file-size limit of the run; 0 none
    const char* message;  // on standard error
  };
  qdtest::writeFile("big.pcf", "polySource := p.stl\ntoolDiameter := 6\nlastComment := 400\n");
  qdtest::writeFile("tofolder.CFG", "*APT folder\n");
  qdtest::writeFile("tofifo.CFG", "*APT fifo\n");
  qdtest::writeFile("tomissing.CFG", "*APT none/out.pof\n");
  qdtest::writeFile("tofile.CFG", "*APT limited.pof\n");
  qdtest::writeFile("xfolder.pcf", "geoOut := folder\n");
  const Case cases[] = {
      {"standard output over the limit", "-Sdemo", 600, "standard output: File too large"},
      {"named file over the limit", "-Stofile.CFG", 600, "1108: limited.pof: File too large"},
      {"a folder as the POF file", "-Stofolder.CFG", 0, "1108: folder: not a regular file"},
      {"a FIFO as the POF file", "-Stofifo.CFG", 0, "1108: fifo: not a regular file"},
      {"a missing folder", "-Stomissing.CFG", 0, "1108: none/out.pof: No such file or directory"},
      {"a folder as the exchange file", "-Sxfolder -PCF", 0, nullptr},
  };
  for (const Case& c : cases) {
    const std::string cmd =
        std::string("'") + QDMILL_HOST_PATH + "' " + c.args + " >out.txt 2>err.txt";
    int exitCode = -1;
    if (c.limit > 0) {
      exitCode = qdtest::inChildWithFileLimit(c.limit, [&cmd] {
        const int status = std::system(cmd.c_str());
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : 99;
      });
    } else {
      exitCode = runHost(c.args).exitCode;
    }
    const std::string err = qdtest::readFile("err.txt");
    EXPECT_EQ(exitCode, 1) << c.what << "\n" << err;
    if (c.message != nullptr) {
      EXPECT_NE(err.find(c.message), std::string::npos) << c.what << "\n" << err;
    }
    if (c.limit == 0 && c.message != nullptr) {
      EXPECT_EQ(qdtest::readFile("out.txt"), "") << c.what << ": no fall-back to standard output";
    }
  }
  struct stat st {};
  ASSERT_EQ(stat("fifo", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(stat("folder", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// A FIFO named as the parameter source, the definition file or the bypass file made the run
// hang in its open. It is skipped as a missing file is, with a warning, and the run goes on.
TEST_F(TempDirTest, HostSkipsSourcesThatAreNoRegularFiles) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  ASSERT_EQ(mkfifo("job.pcf", 0644), 0);
  ASSERT_EQ(mkfifo("qdRpx5.def", 0644), 0);
  ASSERT_EQ(mkfifo("job.CFG", 0644), 0);
  ASSERT_EQ(mkdir("dir.pcf", 0755), 0);
  qdtest::writeFile("bypass.pcf", "POFbypass := job.pcf\n");
  // The host refuses a job source that is no regular file before the run (exit code 2).
  for (const char* args : {"-Sjob", "-Sjob.CFG", "-Sdir"}) {
    const Outcome o = runHost(args);  // a hang here is the fault
    EXPECT_EQ(o.exitCode, 2) << args << "\n" << o.err;
    EXPECT_NE(o.err.find("qdmill: cannot read job source"), std::string::npos) << args << o.err;
  }
  // The library itself skips the FIFO named as definition file and as bypass file (the job has
  // no model and no tool, so it fails at its parameters).
  const Outcome o = runHost("-Sbypass");  // a hang here is the fault
  EXPECT_EQ(o.exitCode, 1) << o.err;
  EXPECT_NE(o.err.find("qdmill: warning 1100: qdRpx5.def: not a regular file, skipped\n"),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.out.find("0: error(1100,"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("qdRpx5.def: not a regular file, skipped)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("job.pcf: not a regular file, skipped)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("0: cycleEnd("), std::string::npos) << o.out;
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
