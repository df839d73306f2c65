// The example job of examples/demo: its ".pcf" run writes the POF text to standard output, its
// ".CFG" run to the file "*APT" names, with the tool description between the "BTC" and "ATC"
// blocks. Both outputs equal the committed expected files byte for byte (with the job id and the
// clock fixed), in process and through the qdmill host program. The job keeps the default
// axis-parallel pocketing: both runs rough the block and end with status 0 (exit code 0).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "qdmill/qdmill.h"
#include "test_pof_support.h"

using namespace qdtest;

namespace {
const std::string kDemoDir = std::string(QDMILL_SOURCE_DIR) + "/examples/demo/";

void copyDemoJob() {
  for (const char* name : {"qdRpx5.def", "qdRpx5.lng", "demo.pcf", "demo.CFG", "part.stl"}) {
    writeFile(name, readFile(kDemoDir + name));
  }
}

std::string expected(const char* name) { return readFile(kDemoDir + "expected/" + name); }

int runInProcess(const char* source) {
  std::string arg = std::string("-S") + source;
  char* argv[] = {arg.data(), nullptr};
  return qdCSexecCycle(nullptr, 1, argv, nullptr);
}

// Every field "<prefix><value>)\n" of the text, the value holding neither ')' nor a line end:
// where each one starts and its value, leftmost first, none overlapping.
std::vector<std::pair<std::size_t, std::string>> fields(const std::string& text,
                                                        const std::string& prefix) {
  std::vector<std::pair<std::size_t, std::string>> found;
  std::size_t at = text.find(prefix);
  while (at != std::string::npos) {
    const std::size_t from = at + prefix.size();
    const std::size_t end = text.find_first_of(")\n", from);
    if (end != std::string::npos && text[end] == ')' && end + 1 < text.size() &&
        text[end + 1] == '\n') {
      found.emplace_back(at, text.substr(from, end - from));
      at = text.find(prefix, end + 2);
    } else {
      at = text.find(prefix, at + 1);
    }
  }
  return found;
}

// The text with the value of every such field replaced.
std::string withField(const std::string& text, const std::string& prefix,
                      const std::string& value) {
  std::string s;
  std::size_t copied = 0;
  for (const auto& [at, old] : fields(text, prefix)) {
    s.append(text, copied, at - copied).append(prefix).append(value).append(")\n");
    copied = at + prefix.size() + old.size() + 2;
  }
  return s.append(text, copied);
}

// The host's output with the job id, time and elapsed-time texts of the fixed run, after checking
// that every job id has the random id's form. No other line is touched. The fields are found by
// a plain scan and only the short job ids go through a regular expression: a regular expression
// over the whole text took more than a minute in a sanitizer build.
std::string withFixedRunTexts(const std::string& text) {
  const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  const auto ids = fields(text, "0: ucid(");
  EXPECT_FALSE(ids.empty()) << text;
  for (const auto& [at, id] : ids) EXPECT_TRUE(std::regex_match(id, uuid)) << id;
  std::string s = withField(text, "0: ucid(", kPofUuid);
  s = withField(s, "0: time(", "03/05/24 14:07:09 Tue Mar");
  return withField(s, "0: elapsed(", "0:00:00,000");
}

int runHost(const std::string& args) {
  const std::string cmd =
      std::string("TZ=UTC '") + QDMILL_HOST_PATH + "' " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

TEST_F(PofTest, ExamplePcfJobInProcessMatchesTheExpectedFile) {
  copyDemoJob();
  ASSERT_EQ(runInProcess("demo"), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 0);
  const std::string pcf = text();
  EXPECT_EQ(pcf, expected("demo.pof"));
  EXPECT_NE(pcf.find("\n31: oL"), std::string::npos) << "the block is roughed";
}

// A run of its own: the move counter lives for the process, so a second run in the same process
// numbers its moves on from the first.
TEST_F(PofTest, ExampleCfgJobInProcessMatchesTheExpectedFile) {
  copyDemoJob();
  ASSERT_EQ(runInProcess("demo.CFG"), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 0);
  EXPECT_EQ(text(), "") << "the .CFG run writes to its own file only";
  const std::string cfgRun = readFile("demo_out.pof");
  EXPECT_EQ(cfgRun, expected("demo_out.pof"));
  // The tool description sits between the literal lines of "BTC" and "ATC".
  const std::size_t btc = cfgRun.find("10: nctx(BTC)\n10: Gcode(M5)\n10: nctx(0)\n");
  const std::size_t tool = cfgRun.find("11: oTool[7]( type[ballMill]");
  const std::size_t atc = cfgRun.find("10: nctx(ATC)\n");
  ASSERT_NE(btc, std::string::npos);
  EXPECT_LT(btc, tool);
  EXPECT_LT(tool, atc);
  EXPECT_LT(atc, cfgRun.find("0: cycle("));
}

TEST_F(TempDirTest, ExampleJobThroughTheHostProgram) {
  if (std::string(QDMILL_HOST_PATH).empty()) GTEST_SKIP() << "host not built";
  copyDemoJob();
  ASSERT_EQ(runHost("-Sdemo"), 0) << readFile("err.txt");
  EXPECT_EQ(readFile("err.txt").find("qdmill: the cycle reported a failure"), std::string::npos);
  EXPECT_EQ(withFixedRunTexts(readFile("out.txt")), expected("demo.pof"));

  // The run appends to the file "*APT" names: it already holds what an earlier run left (the
  // expected output, with the fixed texts), so one run shows both its own output and the append.
  writeFile("demo_out.pof", expected("demo_out.pof"));
  ASSERT_EQ(runHost("-Sdemo.CFG"), 0) << readFile("err.txt");
  EXPECT_EQ(readFile("out.txt"), "");
  EXPECT_EQ(withFixedRunTexts(readFile("demo_out.pof")),
            expected("demo_out.pof") + expected("demo_out.pof"));
}
