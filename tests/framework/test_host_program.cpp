// The command-line host qdmill run as a program in a temporary folder: exit codes, records on
// standard error, the user break after a number of moves on a roughing job (a box on a plate);
// and the library's exported symbols.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_limit.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "toolpath_check_gtest.h"

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
// The lines of the box-on-plate job, one changed: the line that begins with
// the key of `line` replaced by it (appended when no line has that key; removed for "-key").
std::string roughJobWith(const std::string& line) {
  const std::vector<std::string> base = {
      "polySource := part.stl", "toolType := endMill",  "toolDiameter := 10",
      "allowance := 0.5",       "surface := 21",        "depth := 16",
      "infeedDepth := 5",       "clearancePlane := 40", "strategy := contourParallel"};
  if (line.empty()) {
    std::string text;
    for (const std::string& b : base) text += b + "\n";
    return text;
  }
  const bool remove = line[0] == '-';
  const std::string key = (remove ? line.substr(1) : line).substr(0, line.find_first_of(" =:"));
  std::string text;
  bool replaced = false;
  for (const std::string& b : base) {
    if (!key.empty() && b.compare(0, key.size() + 1, key + " ") == 0) {
      if (!remove) text += line + "\n";
      replaced = true;
    } else {
      text += b + "\n";
    }
  }
  if (!replaced && !remove) text += line + "\n";
  return text;
}

// A box of 20 x 20 x 15 on a plate of 60 x 50 x 5, roughed with a flat end mill of diameter 10.
void writeRoughJob() {
  qdtest::gen::Mesh m;
  m.name = "box on plate";
  qdtest::gen::detail::box(m, {0, 0, 0}, {60, 50, 5});
  qdtest::gen::detail::box(m, {20, 15, 5}, {40, 35, 20});
  ASSERT_TRUE(qdtest::gen::writeStl("part.stl", m, qdtest::gen::Encoding::kBinary));
  qdtest::writeFile("qdRpx5.def", "SystemLanguage := english\nparameters := q.lng\n");
  qdtest::writeFile("q.lng", "default english\nstart english\n: text\nend\n");
  qdtest::writeFile("rough.pcf", roughJobWith(""));
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

// ---- a job means what it says: the host's report of faulty jobs
// ----------------------------------

namespace {
// The feed length of a POF text by the independent checker: straight feeds and arcs (with their
// helix rise), from the first position where x, y and z are known.
double checkerFeedLength(const std::string& pof, std::size_t* moves) {
  tpc::Path path;
  EXPECT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5))));
  double length = 0;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed) continue;
    if (m.turn == 0) {
      length += std::hypot(m.to.x - m.from.x, m.to.y - m.from.y, m.to.z - m.from.z);
      continue;
    }
    const double r = std::hypot(m.from.x - m.cx, m.from.y - m.cy);
    double sweep = m.turn * (std::atan2(m.to.y - m.cy, m.to.x - m.cx) -
                             std::atan2(m.from.y - m.cy, m.from.x - m.cx));
    while (sweep <= 1e-12) sweep += 2 * std::acos(-1.0);
    length += std::hypot(r * sweep, m.to.z - m.from.z);
  }
  *moves = path.moves.size();
  return length;
}

// Standard error without the controller's own report lines ("geszeit", "Stopcode", which belong to
// its report file) and with the run's time as "<t>".
std::string stableErr(const std::string& err) {
  std::istringstream in(err);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("geszeit", 0) == 0 || line.rfind("Stopcode", 0) == 0) continue;
    const std::size_t s = line.rfind(" s");
    const std::size_t comma = line.rfind(", ");
    if (line.rfind("qdmill: done:", 0) == 0 && s != std::string::npos &&
        comma != std::string::npos && s == line.size() - 2) {
      line = line.substr(0, comma + 2) + "<t> s";
    }
    out += line + "\n";
  }
  return out;
}

// The box job checked by the independent checker: no gouge beyond the allowance, sane.
void expectGoodToolpath(const std::string& pof, const std::string& what, double allowance = 0.5) {
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), what)));
  ASSERT_FALSE(path.moves.empty()) << what;
  tpc::Mesh part;
  ASSERT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path))) << what;
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = allowance, .tol = 0.02})))
      << what;
}
}  // namespace

// Golden standard error of a successful and of a failing run. The summary's levels, moves and feed
// length are those of the POF text as the independent checker reads it.
TEST_F(TempDirTest, HostStandardErrorOfASuccessfulAndAFailingRun) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeRoughJob();
  const Outcome ok = runHost("-Srough");
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  expectGoodToolpath(ok.out, "rough");
  std::size_t moves = 0;
  const double feed = checkerFeedLength(ok.out, &moves);
  char done[160];
  std::snprintf(done, sizeof done, "qdmill: done: %d levels, %d moves, feed length %.3f, <t> s\n",
                countOf(ok.out, "0: error(3009,"), countOf(ok.out, "\n31: o"), feed);
  EXPECT_EQ(stableErr(ok.err),
            "qdmill: warning 1104: not built: rough5xHolderFree\n" + std::string(done));
  EXPECT_GT(moves, 20u);
  EXPECT_EQ(ok.err.find("error"), std::string::npos) << "a successful run says no error";

  qdtest::writeFile("misspelled.pcf", roughJobWith("-toolDiameter") + "toolDiamter := 10\n");
  const Outcome bad = runHost("-Smisspelled");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(stableErr(bad.err),
            "qdmill: warning 1100: toolDiamter: not a parameter; did you mean toolDiameter?\n"
            "qdmill: error 1: a mandatory parameter is missing: (toolDiameter)\n"
            "qdmill: the cycle reported a failure (status 1)\n");
  EXPECT_NE(bad.out.find("0: sigstat(0,1)"), std::string::npos) << "status word 1";
}

// Each fault of a job source through the host: the exit code, the status word at the end of the
// POF text, and the message that names the fault. A job that still runs (a warning) gives a
// toolpath that the independent checker passes.
TEST_F(TempDirTest, HostReportsEveryFaultOfAJobSource) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeRoughJob();
  {
    // a model of zero-area triangles only: three corners on a line, three equal corners
    std::FILE* f = std::fopen("flat.stl", "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "solid z\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 10 0 0\n"
        "vertex 20 0 0\nendloop\nendfacet\nfacet normal 0 0 1\nouter loop\nvertex 1 1 5\n"
        "vertex 1 1 5\nvertex 1 1 5\nendloop\nendfacet\nendsolid z\n",
        f);
    std::fclose(f);
  }
  struct Case {
    const char* what;
    std::string text;
    int exitCode;
    const char* message;  // a line of standard error
  };
  const std::string big(1 << 20, '7');
  const Case cases[] = {
      {"an equals sign", roughJobWith("allowance = 0.5"), 1,
       "qdmill: error 1001: job.pcf:4: not a name := value line: allowance = 0.5"},
      {"a misspelled optional key", roughJobWith("-allowance") + "alowance := 0.5\n", 0,
       "qdmill: warning 1100: alowance: not a parameter; did you mean allowance?"},
      {"a decimal comma", roughJobWith("allowance := 0,5"), 1,
       "qdmill: error 1001: allowance := 0,5: not a number"},
      {"a unit", roughJobWith("infeedDepth := 5mm"), 1,
       "qdmill: error 1001: infeedDepth := 5mm: not a number"},
      {"nan", roughJobWith("surface := nan"), 1,
       "qdmill: error 1001: surface := nan: not a number"},
      {"a flag of 1", roughJobWith("NCOutp := 1"), 1,
       "qdmill: error 1001: NCOutp := 1: not true or false"},
      {"an unknown strategy", roughJobWith("strategy := contourParalel"), 0,
       "qdmill: warning 1100: strategy := contourParalel: not one of standardX, standardY, "
       "contourParallel; read as contourParallel; did you mean contourParallel?"},
      {"an empty source", "", 1,
       "qdmill: error 1001: job.pcf: no name := value line (an empty job source)"},
      {"a source that is not text",
       std::string("\x7f"
                   "ELF\x02\x01\x01",
                   7) +
           big.substr(0, 64),
       1, "qdmill: error 1001: job.pcf: not a text file (byte 0x02)"},
      {"a 1 MB line", roughJobWith("jobName := \"" + big + "\""), 1,
       "qdmill: error 1001: job.pcf:10: a name or value longer than 4095 characters"},
      {"the source as its own model", roughJobWith("polySource := job.pcf"), 1,
       "qdmill: error 1001: polySource := job.pcf: the job source itself, not a surface model"},
      {"a model of zero-area facets", roughJobWith("polySource := flat.stl"), 1,
       "qdmill: error 1107: geometry cannot be read: every facet has zero area, the model is "
       "empty: flat.stl"},
      {"a step depth of 0", roughJobWith("infeedDepth := 0"), 1,
       "qdmill: error 1008: infeedDepth := 0: the depth of a step must be greater than 0"},
      {"a folder that does not exist", roughJobWith("tempDirectory := nowhere"), 1,
       "qdmill: error 1108: tempDirectory := nowhere: no temporary file can be written there: "
       "No such file or directory"},
      {"a tolerance the output cannot hold", roughJobWith("machiningTolerance := 1e-9"), 1,
       "qdmill: error 1001: machiningTolerance := 1e-09: finer than the output's 8 decimals can "
       "hold"},
      {"a tolerance that raises the decimals",
       roughJobWith("machiningTolerance := 0.005") + "precision := 2\n", 0,
       "qdmill: warning 1100: machiningTolerance := 0.005: finer than the output's 2 decimals; "
       "the output is written with 3"},
  };
  for (const Case& c : cases) {
    qdtest::writeFile("job.pcf", c.text);
    const Outcome o = runHost("-Sjob");
    EXPECT_EQ(o.exitCode, c.exitCode) << c.what << "\n" << o.err;
    EXPECT_NE(o.err.find(std::string(c.message) + "\n"), std::string::npos) << c.what << "\n"
                                                                            << o.err;
    const char* status = c.exitCode == 0 ? "0: sigstat(0,0)" : "0: sigstat(0,1)";
    EXPECT_NE(o.out.find(status), std::string::npos) << c.what;
    if (c.exitCode == 0) {
      // a misspelled allowance leaves none: the warning is what tells the user
      const bool noAllowance = std::string(c.what) == "a misspelled optional key";
      expectGoodToolpath(o.out, c.what, noAllowance ? 0.0 : 0.5);
      EXPECT_EQ(o.err.find("error"), std::string::npos) << c.what << "\n" << o.err;
    } else {
      EXPECT_EQ(countOf(o.out, "\n31: o"), 0) << c.what << ": no move of a failed job";
    }
  }
}

// More messages than the host prints: the errors are kept first, then warnings, then notes, in
// the order they came, and the rest is counted; progress and information come only with
// --verbose, which prints everything.
TEST_F(TempDirTest, HostLineCapKeepsTheErrorsFirst) {
  const std::string lib = std::string("--lib '") + QDMILL_FAKE_CYCLE_PATH + "' ";
  std::string args;
  for (int i = 0; i < 60; ++i) args += " 'error:1100,warning " + std::to_string(i) + "'";
  args += " error:3009,1,2 error:7102,5 'error:1001,the fault' error:1181 status:1";
  const Outcome o = runHost(lib + args);
  EXPECT_EQ(o.exitCode, 1);
  std::vector<std::string> lines;
  std::istringstream in(o.err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 50u + 2u) << o.err;  // 50 messages, the count, the failure
  EXPECT_EQ(lines[0], "qdmill: warning 1100: warning 0");
  EXPECT_EQ(lines[48], "qdmill: warning 1100: warning 48");
  EXPECT_EQ(lines[49], "qdmill: error 1001: the fault");
  EXPECT_EQ(lines[50], "qdmill: ... and 12 more messages");  // 11 warnings and the note
  EXPECT_EQ(lines[51], "qdmill: the cycle reported a failure (status 1)");
  EXPECT_EQ(o.err.find("3009"), std::string::npos);
  EXPECT_EQ(o.err.find("7102"), std::string::npos);

  const Outcome all = runHost(lib + "--verbose" + args);
  EXPECT_EQ(countOf(all.err, "\n"), 64 + 1);
  EXPECT_NE(all.err.find("qdmill: note 3009: level 1,2\n"), std::string::npos) << all.err;
  EXPECT_NE(all.err.find("qdmill: note 7102: tilt angle changed to 5\n"), std::string::npos);
  EXPECT_NE(all.err.find("qdmill: note 1181: small pocket skipped\n"), std::string::npos);
}

namespace {
// Runs the host with standard error on a terminal (a pseudo-terminal), standard output into
// out.txt; returns what the terminal showed.
std::string runHostOnATerminal(const std::string& args) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return "";
  if (pid == 0) {
    const int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    close(out);
    const std::string cmd = std::string("exec '") + QDMILL_HOST_PATH + "' " + args;
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the child closed the terminal
    shown.append(buf, static_cast<std::size_t>(n));
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  return shown;
}
}  // namespace

// On a terminal a live line shows the region and the level in work and is cleared before the
// report; off a terminal no such line is written.
TEST_F(TempDirTest, HostShowsItsProgressOnATerminalOnly) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  writeRoughJob();
  const std::string shown = runHostOnATerminal("-Srough");
  // one region: the line shows the level alone
  const std::size_t live = shown.find("\rqdmill: level 1 of 4\033[K");
  EXPECT_NE(live, std::string::npos) << shown;
  const std::size_t cleared = shown.find("\r\033[K", live + 1);
  EXPECT_LT(cleared, shown.find("qdmill: warning 1104")) << "cleared before the report";
  EXPECT_NE(shown.find("qdmill: done: "), std::string::npos) << shown;
  const Outcome off = runHost("-Srough");
  EXPECT_EQ(off.err.find("level 1 of"), std::string::npos);
  EXPECT_EQ(off.err.find('\r'), std::string::npos);
}

// The installed host finds the definition file and the language files in the data folder of
// its prefix when the current folder has none: -P lists the job parameters anywhere.
TEST_F(TempDirTest, HostInstalledFindsItsParametersText) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  const std::string demo = std::string(QDMILL_SOURCE_DIR) + "/examples/demo/";
  ASSERT_EQ(mkdir("prefix", 0755), 0);
  ASSERT_EQ(mkdir("prefix/bin", 0755), 0);
  ASSERT_EQ(mkdir("prefix/share", 0755), 0);
  ASSERT_EQ(mkdir("prefix/share/qdmill", 0755), 0);
  ASSERT_EQ(mkdir("work", 0755), 0);
  qdtest::writeFile("prefix/bin/qdmill", qdtest::readFile(QDMILL_HOST_PATH));
  qdtest::writeFile("prefix/bin/libqdmill.so", qdtest::readFile(QDMILL_LIBRARY_PATH));
  ASSERT_EQ(chmod("prefix/bin/qdmill", 0755), 0);
  for (const char* f : {"qdRpx5.def", "qdRpx5.lng", "qdRpx5_parameters.lng", "qdRpx5_layers.lng"})
    qdtest::writeFile(std::string("prefix/share/qdmill/") + f, qdtest::readFile(demo + f));
  const int status = std::system("cd work && ../prefix/bin/qdmill -P >../out.txt 2>../err.txt");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << qdtest::readFile("err.txt");
  const std::string out = qdtest::readFile("out.txt");
  for (const char* entry : {" toolDiameter ", " allowance ", " infeedDepth ", " comment_<n> "}) {
    EXPECT_NE(out.find(entry), std::string::npos) << entry;
  }
  EXPECT_EQ(qdtest::readFile("err.txt"), "");
}
