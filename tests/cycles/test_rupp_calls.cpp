// The roughing's error table with the errors-only and mute switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
