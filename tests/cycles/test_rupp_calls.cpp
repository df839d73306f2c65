// The roughing's error table with the errors-only and mute switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycles/rupp_calls.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "pocket/engine_state.h"

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

TEST_F(RuppTest, ErrorTableResultsAndMessages) {
  struct Case {
    const char* code;
    int result;
    const char* message;  // what the host receives
  };
  const Case cases[] = {
      {"1", -1, "1001,0"},      {"8", -1, "1008,0"},           {"100", 0, "1100,0"},
      {"1102", -1, "1102,0"},   {"1109", -1, "1109,0"},        {"1114", -1, "1114,0"},
      {"1500", -1, "1500,0"},   {"1504", 0, "1504,0"},         {"1509", -1, "1509,0"},
      {"1518", 0, "1518,0"},    {"1521", 0, "1521,0"},         {"1522", -1, "1522,0"},
      {"1191", -1, "1191,0"},   {" 1102,extra", -1, "1102,0"}, {"9", 0, "1301,9"},
      {"1512", 0, "1301,1512"}, {"abc", 0, "1301,abc"},
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
  ruppMuteErrors(1);
  EXPECT_EQ(ruppReportError("1102"), -1) << "muted reports still give the result";
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(ruppReportError("9999"), 0);
  // An unknown code is reported even while muted: muting hides the table's rows only.
  EXPECT_EQ(sent(), (std::vector<std::string>{"1301,9999"}));

  sent().clear();
  ruppMuteErrors(0);
  ruppSetErrorsOnly(0);
  EXPECT_EQ(ruppReportError("1505"), 0);
  EXPECT_EQ(sent(), (std::vector<std::string>{"1505,0"}));
}

// Every code a pocket cycle sends resolves to a row: the engine's message ids (a failure code of
// the engine, 3000 to 3199, must read back as an error) and the cycles' own "103" and "207",
// which were missing, so a failed level read back as a warning and was left uncut.
TEST_F(RuppTest, EveryPocketCodeHasARowOfTheRightSeverity) {
  int ids = 0;
  for (int code = 3000; code < 3300; ++code) {
    const char* id = pockMessageId(code);
    if (id == nullptr) continue;
    ++ids;
    sent().clear();
    const int result = ruppReportError(id);
    ASSERT_EQ(sent().size(), 1u) << code;
    EXPECT_NE(sent()[0].rfind("1301,", 0), 0u) << code << " -> " << id << " has no row";
    if (code < 3200) {
      EXPECT_EQ(result, -1) << code << " -> " << id;
    }
  }
  EXPECT_GT(ids, 20);
  for (const char* code : {"103", "207"}) {
    sent().clear();
    EXPECT_EQ(ruppReportError(code), -1) << code;
    EXPECT_EQ(sent(), (std::vector<std::string>{code[0] == '1' ? "1103,0" : "1115,0"}));
  }
  sent().clear();
  EXPECT_EQ(ruppReportError("1514"), 0) << "the rest-information write failure is a warning";
  EXPECT_EQ(sent(), (std::vector<std::string>{"1514,0"}));
}
