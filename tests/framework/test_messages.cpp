// Messages: the level filter, the argument texts of every sender, the cut of long texts, traces,
// the level taken from the configuration, the interrupt check and the record on layer 0.
#include <gtest/gtest.h>
#include <locale.h>

#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "support/temp_dir.h"

using qdtest::TempDirTest;

namespace {
struct Sent {
  int type;
  std::string name;
  std::string text;
};
std::vector<Sent>& sent() {
  static std::vector<Sent> s;
  return s;
}
int captureLayer0(CycleRecord*, OutputRecord* r) {
  sent().push_back({r->type, r->text.name, r->text.text});
  return 1;
}

// A cycle whose layer 0 collects every record, installed as the current output cycle.
class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    msgResetState();
    sent().clear();
    cycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle_, 0, captureLayer0, captureLayer0, 1), 1);
    out3dSetCycle(&cycle_);
  }
  void TearDown() override {
    msgResetState();
    cycFreeLayers(&cycle_);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> t;
    for (const Sent& s : sent()) t.push_back(s.text);
    return t;
  }
  CycleRecord cycle_;
};
}  // namespace

TEST_F(MessageTest, LevelFilterIgnoresTheTraceBit) {
  struct Case {
    int messageLevel;
    int level;
    int result;
  };
  const Case cases[] = {
      {3, 3, 1},  {3, 4, 2},  {3, 0, 1},  // level 3 at load
      {1, 1, 1},  {1, 2, 2},  {1, 3, 2},  // "*REPORT_CLASS" default
      {1, 9, 1},                          // level 1 with the trace bit
      {1, 10, 2},                         // level 2 with the trace bit
      {9, 1, 1},  {9, 2, 2},              // the message level's trace bit is no level either
      {11, 3, 1}, {11, 4, 2},
  };
  for (const Case& c : cases) {
    sent().clear();
    out3dSetMsgLevel("rep", c.messageLevel);
    EXPECT_EQ(msgSendInt(c.level, 5, "* documented %ld", 1), c.result)
        << "level " << c.level << " at message level " << c.messageLevel;
    EXPECT_EQ(sent().size(), c.result == 1 ? 1u : 0u);
  }
}

TEST_F(MessageTest, ArgumentTextsOfEverySender) {
  EXPECT_EQ(out3dMsgLevel(), 3);
  EXPECT_EQ(msgSendInt(1, 12, "", -7), 1);
  EXPECT_EQ(msgSendInt2(1, 13, "", 3, -4), 1);
  EXPECT_EQ(msgSendReal(1, 14, "", 0.5), 1);
  EXPECT_EQ(msgSendReal(1, 15, "", 4e-6), 1);     // below 1e-5: "0"
  EXPECT_EQ(msgSendReal(1, 16, "", -9.9e-6), 1);  // also for negative values
  EXPECT_EQ(msgSendReal(1, 17, "", 1e-5), 1);     // not below: written
  EXPECT_EQ(msgSendReal(1, 18, "", -1234.5678906), 1);
  EXPECT_EQ(msgSendReal2(1, 19, "", 4e-6, 2), 1);  // no "0" rule for two values
  EXPECT_EQ(msgSendText(1, 20, "", "file.stl"), 1);
  EXPECT_EQ(msgSendText(1, 21, "", nullptr), 1);
  EXPECT_EQ(msgSendText(1, 22, "", ""), 1);
  const std::vector<std::string> expected = {
      "12,-7",       "13,3,-4",         "14,0.500000",          "15,0",        "16,0",
      "17,0.000010", "18,-1234.567891", "19,0.000004,2.000000", "20,file.stl", "21",
      "22,"};
  EXPECT_EQ(texts(), expected);
  for (const Sent& s : sent()) {
    EXPECT_EQ(s.type, 101);
    EXPECT_EQ(s.name, "error");
  }
}

TEST_F(MessageTest, RealFilteredAtLevelOneSentAtLevelThree) {
  out3dSetMsgLevel(nullptr, 1);
  EXPECT_EQ(msgSendReal(3, 700, "* Step %lf", 0.5), 2);
  EXPECT_TRUE(sent().empty());
  out3dSetMsgLevel(nullptr, 3);
  EXPECT_EQ(msgSendReal(3, 700, "* Step %lf", 0.5), 1);
  EXPECT_EQ(texts(), std::vector<std::string>{"700,0.500000"});
}

TEST_F(MessageTest, TextsLongerThan128AreCutTo127) {
  struct Case {
    std::size_t argumentLength;  // the code "7," adds two characters
    std::size_t sentLength;
  };
  const Case cases[] = {{300, 127}, {126, 128}, {127, 127}, {0, 2}};
  for (const Case& c : cases) {
    sent().clear();
    const std::string argument(c.argumentLength, 'a');
    EXPECT_EQ(msgSendCode(7, argument.c_str()), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].text.size(), c.sentLength) << c.argumentLength;
    EXPECT_EQ(sent()[0].text.substr(0, 2), "7,");
  }
}

TEST_F(MessageTest, TracesNeedTheTraceBitInTheLevelOrTheMessageLevel) {
  struct Case {
    int messageLevel;
    int level;
    int result;
    bool traced;
  };
  const Case cases[] = {
      {1, 9, 1, true},    // level 1 and trace bit
      {1, 1, 1, false},   // no trace bit anywhere: passes, but is no trace
      {1, 3, 2, false},   // filtered
      {9, 1, 1, true},    // trace bit in the message level
      {9, 10, 2, false},  // level 2 does not pass level 1
  };
  for (const Case& c : cases) {
    sent().clear();
    out3dSetMsgLevel(nullptr, c.messageLevel);
    EXPECT_EQ(out3dTraceReal(c.level, "* chord too short : %lf", 0.25), c.result);
    EXPECT_EQ(out3dTraceText(c.level, "* count %d", 42), c.result);
    if (c.traced) {
      EXPECT_EQ(texts(),
                (std::vector<std::string>{"9999,* chord too short : 0.250000", "9999,* count 42"}));
    } else {
      EXPECT_TRUE(sent().empty()) << c.level << " at " << c.messageLevel;
    }
  }
  // A format without a placeholder is sent as it is.
  sent().clear();
  out3dSetMsgLevel(nullptr, 9);
  EXPECT_EQ(out3dTraceReal(1, "* error: Iv stack overflow", 0), 1);
  EXPECT_EQ(texts(), std::vector<std::string>{"9999,* error: Iv stack overflow"});
}

TEST_F(MessageTest, LongTraceIsBoundedThenCutAsEveryMessage) {
  out3dSetMsgLevel(nullptr, 9);
  const std::string format = std::string(400, 'x') + "%d";
  EXPECT_EQ(out3dTraceText(1, format.c_str(), 5), 1);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].text, "9999," + std::string(122, 'x'));
}

// A host that set a decimal-comma locale still gets decimal points in message arguments.
TEST_F(MessageTest, NumbersIgnoreTheHostLocale) {
  locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  if (comma == static_cast<locale_t>(nullptr)) GTEST_SKIP() << "no locale with a decimal comma";
  locale_t old = uselocale(comma);
  out3dSetMsgLevel(nullptr, 9);
  msgSendReal(1, 1, "", 2.5);
  msgSendReal2(1, 2, "", 0.25, -0.125);
  out3dTraceReal(1, "%.2f", 1.5);
  uselocale(old);
  freelocale(comma);
  EXPECT_EQ(texts(), (std::vector<std::string>{"1,2.500000", "2,0.250000,-0.125000", "9999,1.50"}));
}

TEST(Messages, WithoutCurrentCycleMessagesAreDropped) {
  msgResetState();
  EXPECT_EQ(out3dCycle(), nullptr);
  EXPECT_EQ(msgSendCode(5, "x"), 0);
  EXPECT_EQ(msgSendText(1, 5, "", "x"), 1);
  EXPECT_EQ(msgSendReal(1, 5, "", 1.0), 1);
  EXPECT_EQ(msgSendInt(4, 5, "", 1), 2);
  out3dSetMsgLevel(nullptr, 9);
  EXPECT_EQ(out3dTraceText(1, "%d", 1), 1);
}

// The record goes through the output dispatch: a cycle whose first record is still pending sends
// framework message 312 before it, and a cycle without layer 0 writes nothing.
TEST(Messages, RecordGoesThroughTheOutputDispatch) {
  msgResetState();
  static std::vector<int> codes;
  CycleRecord c;
  c.messageFn = [](CycleRecord*, int code, void*) { codes.push_back(code); };
  out3dSetCycle(&c);
  EXPECT_EQ(msgSendCode(3, "no layer"), 0);
  EXPECT_EQ(codes, std::vector<int>{312});
  cycRegisterLayer(
      &c, 0, [](CycleRecord*, OutputRecord*) { return 1; }, nullptr, 1);
  EXPECT_EQ(msgSendCode(3, "layer"), 1);
  cycFreeLayers(&c);
  msgResetState();
}

TEST_F(TempDirTest, MessageLevelIsReportClassOnceTheConfigurationIsRead) {
  msgResetState();
  parResetState();
  EXPECT_EQ(out3dMsgLevel(), 3);
  EXPECT_EQ(parCfgRead("missing.cfg"), 0);
  EXPECT_EQ(out3dMsgLevel(), 3) << "nothing was read";
  qdtest::writeFile("a.cfg", "*FRRADIUS 5\n");
  EXPECT_EQ(parCfgRead("a.cfg"), 1);
  EXPECT_EQ(out3dMsgLevel(), 1) << "the default of \"*REPORT_CLASS\"";
  qdtest::writeFile("b.cfg", "*REPORT_CLASS 9\n");
  EXPECT_EQ(parCfgRead("b.cfg"), 1);
  EXPECT_EQ(out3dMsgLevel(), 9);
  ParamNode entry{const_cast<char*>("*report_class"), const_cast<char*>("4"), 21, nullptr};
  EXPECT_EQ(parSetFromList(&entry), 1);
  EXPECT_EQ(out3dMsgLevel(), 4);
  parResetState();
  msgResetState();
}

TEST(Messages, InterruptCheckAnswersOrZero) {
  msgResetState();
  EXPECT_EQ(out3dCheckBreak(), 0);
  out3dSetBreakCheck([] { return 2; });
  EXPECT_EQ(out3dCheckBreak(), 2);
  out3dSetBreakCheck(nullptr);
  EXPECT_EQ(out3dCheckBreak(), 0);
  EXPECT_EQ(out3dMsgFileNamed(), 0);
  EXPECT_EQ(out3dSetMsgFile("rsrupphc.loc"), 0);
  EXPECT_EQ(out3dMsgFileNamed(), 1);
}
