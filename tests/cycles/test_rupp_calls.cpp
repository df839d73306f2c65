// The roughing's "name(value)" parser (with its bounded outputs), its error table with the
// errors-only and mute switches, and the names of the temporary geometry files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "output/cyc3d_files.h"
#include "cycles/rupp_calls.h"
#include "framework/messages.h"
#include "framework/output.h"

namespace {
std::vector<std::string>& sent() {
  static std::vector<std::string> s;
  return s;
}
int captureLayer0(CycleRecord*, OutputRecord* r) {
  sent().push_back(r->text.text);
  return 1;
}

// Messages of level 9 reach a layer-0 collector.
class RuppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    msgResetState();
    ruppResetState();
    sent().clear();
    cycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle_, 0, captureLayer0, captureLayer0, 1), 1);
    out3dSetCycle(&cycle_);
    out3dSetMsgLevel(nullptr, 9);
  }
  void TearDown() override {
    msgResetState();
    ruppResetState();
    cycFreeLayers(&cycle_);
  }
  CycleRecord cycle_;
};
}  // namespace

TEST(RuppParseCall, NamesAndValues) {
  struct Case {
    const char* text;
    int result;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {" cycle(3D 5-Axis Z-Level Roughing Cycle)", 1, "cycle", "3D 5-Axis Z-Level Roughing Cycle"},
      {"include(part.pof)", 1, "include", "part.pof"},
      {"\tsome words  error (1102) rest", 1, "error", "1102"},  // the last word before '('
      {"open(no end", 1, "open", "no end"},
      {"empty()", 1, "empty", ""},
      {"(value)", 0, "", ""},
      {"  \t (value)", 0, "", ""},
      {"name) (x)", 0, "", ""},
      {"no parenthesis", 0, "", ""},
      {"", 0, "", ""},
  };
  for (const Case& c : cases) {
    char name[256] = "stale";
    char value[256] = "stale";
    EXPECT_EQ(ruppParseCall(c.text, name, sizeof name, value, sizeof value), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_STREQ(name, c.name) << c.text;
      EXPECT_STREQ(value, c.value) << c.text;
    }
  }
}

// Lines of the read-back hold 512 characters and its buffers 255: a long name or value was
// written past the caller's buffer.
TEST(RuppParseCall, LongNamesAndValuesAreCutToTheBuffers) {
  const std::string longName(600, 'n');
  const std::string longValue(600, 'v');
  const std::string text = longName + "(" + longValue + ")";
  char name[kRuppCallTextMax + 1];
  char value[kRuppCallTextMax + 1];
  ASSERT_EQ(ruppParseCall(text.c_str(), name, sizeof name, value, sizeof value), 1);
  EXPECT_EQ(std::string(name), longName.substr(0, kRuppCallTextMax));
  EXPECT_EQ(std::string(value), longValue.substr(0, kRuppCallTextMax));
  char tiny[4];
  ASSERT_EQ(ruppParseCall("abcdef(123456)", tiny, sizeof tiny, value, sizeof value), 1);
  EXPECT_STREQ(tiny, "abc");
  EXPECT_EQ(ruppParseCall("a(b)", nullptr, 0, value, sizeof value), 0);
}

TEST_F(RuppTest, ErrorTableResultsAndMessages) {
  struct Case {
    const char* code;
    int result;
    const char* message;  // what the host receives
  };
  const Case cases[] = {
      {"1", -1, "1001,0"},      {"8", -1, "1008,0"},     {"100", 0, "1100,0"},
      {"1102", -1, "1102,0"},   {"1109", -1, "1109,0"},  {"1114", -1, "1114,0"},
      {"1500", -1, "1500,0"},   {"1504", 0, "1504,0"},   {"1509", -1, "1509,0"},
      {"1518", 0, "1518,0"},    {"1521", 0, "1521,0"},   {"1522", -1, "1522,0"},
      {"1191", -1, "1191,0"},   {" 1102,extra", -1, "1102,0"},
      {"9", 0, "1301,9"},       {"1512", 0, "1301,1512"}, {"abc", 0, "1301,abc"},
  };
  for (const Case& c : cases) {
    sent().clear();
    EXPECT_EQ(ruppReportError(c.code), c.result) << c.code;
    ASSERT_EQ(sent().size(), 1u) << c.code;
    EXPECT_EQ(sent()[0], c.message) << c.code;
  }
}

TEST_F(RuppTest, ErrorsOnlyDropsWarningsAndMuteDropsEverything) {
  ruppSetErrorsOnly(1);
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(ruppReportError("1102"), -1);
  EXPECT_EQ(ruppReportError("77"), 0);
  EXPECT_EQ(sent(), (std::vector<std::string>{"1102,0", "1301,77"}));

  sent().clear();
  ruppMuteReports(1);
  EXPECT_EQ(ruppReportError("1102"), -1) << "muted reports still give the result";
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(ruppReportError("77"), 0);
  EXPECT_TRUE(sent().empty());

  ruppMuteReports(0);
  ruppSetErrorsOnly(0);
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(sent(), (std::vector<std::string>{"1505,0"}));
}

TEST(Cyc3dTempFileName, FolderSeparatorProcessIdAndExtension) {
  const std::string pid = std::to_string(static_cast<long>(getpid()));
  struct Case {
    const char* folder;
    const char* ext;
    std::string name;
  };
  const Case cases[] = {
      {"/tmp/run", "bnd", "/tmp/run/" + pid + ".bnd"},
      {"/tmp/run/", "prf", "/tmp/run/" + pid + ".prf"},
      {"C:\\work\\", "snc", "C:\\work\\" + pid + ".snc"},
      {"", "trc", pid + ".trc"},
  };
  for (const Case& c : cases) {
    char out[kCyc3dTempNameSize];
    ASSERT_EQ(cyc3dTempFileName(out, sizeof out, c.folder, c.ext), 1) << c.folder;
    EXPECT_EQ(std::string(out), c.name);
  }
  // A name that does not fit is refused, never cut into the name of another file.
  char small[8] = "stale";
  EXPECT_EQ(cyc3dTempFileName(small, sizeof small, "/a/long/folder", "bnd"), 0);
  EXPECT_STREQ(small, "");
  const std::string huge(500, 'f');
  char out[kCyc3dTempNameSize * 2];
  EXPECT_EQ(cyc3dTempFileName(out, sizeof out, huge.c_str(), "bnd"), 0);
}
