// Engine state: the settings text (keys found anywhere, defaults, the refused tool radius and the
// partial state it leaves, the stepover out of range, the start point), the reset of the
// tolerances and of the whole engine, and the map of internal codes to message ids with the
// last-code rule.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "framework/output.h"
#include "pocket/engine_state.h"

namespace {
std::vector<std::string>& sentTexts() {
  static std::vector<std::string> s;
  return s;
}
int captureLayer0(CycleRecord*, OutputRecord* r) {
  EXPECT_EQ(r->type, 101);
  EXPECT_STREQ(r->text.name, "error");
  sentTexts().push_back(r->text.text);
  return 1;
}

// An engine reset to its load values with a running pocket record whose layer 0 collects the
// error records.
class EngineStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    sentTexts().clear();
    cycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle_, 0, captureLayer0, captureLayer0, 1), 1);
    ccpSetCurrent(&cycle_);
  }
  void TearDown() override {
    pockRunReset();
    cycFreeLayers(&cycle_);
  }
  CycleRecord cycle_;
};

struct SettingsCase {
  const char* name;
  const char* text;
  int result;
  double radius, stepFactor, si, ti, am;
  int startSet;
  Point2D start;
  double reach;
  std::vector<std::string> sent;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

// Every case starts from an engine that has applied "SI7 TI7 AM7 R3 ZM0.2XA9 YA9" before.
class SettingsText : public EngineStateTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsText, AppliesTheKeysInOrder) {
  const SettingsCase& c = GetParam();
  ASSERT_EQ(pockApplySettings("SI7 TI7 AM7 R3 ZM0.2XA9 YA9"), 0);
  sentTexts().clear();
  pockEngine().contTol = 0.5;  // the cycle's epsilon; every application resets it
  pockEngine().ctreeStartMatch = CtreeStartMatch{3.0, 4, 5, {1, 1}, 1};
  pockEngine().ccpOuterOrientation = -1;

  EXPECT_EQ(pockApplySettings(c.text), c.result);
  const PockEngine& e = pockEngine();
  EXPECT_EQ(e.contTol, 0.0001);
  EXPECT_EQ(e.isectTol, 0.0001);
  EXPECT_EQ(e.contAngleGuard, 1e-14);
  EXPECT_DOUBLE_EQ(e.pockToolRadius, c.radius);
  EXPECT_DOUBLE_EQ(e.pockStepFactor, c.stepFactor);
  EXPECT_DOUBLE_EQ(e.pockSettingSI, c.si);
  EXPECT_DOUBLE_EQ(e.pockSettingTI, c.ti);
  EXPECT_DOUBLE_EQ(e.pockSettingAM, c.am);
  EXPECT_EQ(e.pockStartSet, c.startSet);
  EXPECT_DOUBLE_EQ(e.pockStartPoint.x, c.start.x);
  EXPECT_DOUBLE_EQ(e.pockStartPoint.y, c.start.y);
  EXPECT_DOUBLE_EQ(e.pockStartReach, c.reach);
  EXPECT_EQ(sentTexts(), c.sent);
  // Cleared by every application, whatever follows.
  EXPECT_EQ(e.ccpOuterOrientation, 0);
  EXPECT_EQ(e.ctreeStartMatch.found, 0);
  EXPECT_EQ(e.ctreeStartMatch.element, 0);
  EXPECT_EQ(e.ctreeStartMatch.node, -1);
  EXPECT_EQ(e.ctreeStartMatch.bestDistance, 3.0);
}

const SettingsCase kSettingsCases[] = {
    {"CycleFormat", "TI0.0 R5.0000 ZM0.400000", 0, 5, 0.4 * 0.99, 2, 0, 0, 0, {9, 9}, 0, {}},
    {"CycleFormatWithStart",
     "TI0.0 R5.0000 ZM0.400000XA1.5000 YA-2.2500",
     0,
     5,
     0.4 * 0.99,
     2,
     0,
     0,
     1,
     {1.5, -2.25},
     0.4 * 5 * 2.01,
     {}},
    {"StepoverOne", "R5 ZM1.0", 0, 5, 0.5 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {"1502"}},
    {"StepoverNegative", "R5 ZM-0.1", 0, 5, 0.5 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {"1502"}},
    {"StepoverNotANumber", "R5 ZMnan", 0, 5, 0.5 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {"1502"}},
    {"StepoverAbsent", "R5 SI1 AM0.25", 0, 5, 0.5 * 0.99, 1, -2, 0.25, 0, {9, 9}, 0, {}},
    {"StepoverZero", "R5 ZM0", 0, 5, 0.0, 2, -2, 0, 0, {9, 9}, 0, {}},
    // SI and TI are stored before the radius is checked; AM, ZM and the start point keep the
    // values of the earlier application, and no start point is set.
    {"RadiusTooSmall",
     "SI1 TI1 AM1 ZM0.3 R0.00005XA1 YA1",
     -1,
     0.00005,
     0.2 * 0.99,
     1,
     1,
     7,
     0,
     {9, 9},
     0,
     {"1511"}},
    {"RadiusInfinite", "R inf", -1, HUGE_VAL, 0.2 * 0.99, 2, -2, 7, 0, {9, 9}, 0, {"1511"}},
    {"RadiusAbsentKeepsTheEarlierOne", "ZM0.6", 0, 3, 0.6 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {}},
    {"OnlyXA", "R5 XA3", 0, 5, 0.5 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {}},
    {"LeadingBlanksAndAnywhere",
     "ZM 0.25 junk YA 4 R 2 XA-1",
     0,
     2,
     0.25 * 0.99,
     2,
     -2,
     0,
     1,
     {-1, 4},
     0.25 * 2 * 2.01,
     {}},
    {"FirstOccurrenceWins", "R2 R9 ZM0.1 ZM0.9", 0, 2, 0.1 * 0.99, 2, -2, 0, 0, {9, 9}, 0, {}},
    {"NoNumberReadsAsZero", "R4 TI SIx", 0, 4, 0.5 * 0.99, 0, 0, 0, 0, {9, 9}, 0, {}},
};
INSTANTIATE_TEST_SUITE_P(Table, SettingsText, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineStateTest, RadiusRequiredAtLoad) {
  EXPECT_EQ(pockApplySettings(nullptr), -1);
  EXPECT_EQ(pockApplySettings("ZM0.5"), -1);
  EXPECT_EQ(pockApplySettings("R nan"), -1);  // a radius that is not a number is refused too
  EXPECT_EQ(pockLastCode(), kPockCodeToolRadius);
  EXPECT_EQ(sentTexts(), (std::vector<std::string>{"1511", "1511", "1511"}));
}

// Numbers of the settings text are read as in the "C" locale, whatever the host chose.
TEST_F(EngineStateTest, SettingsIgnoreTheHostLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"};
  const char* found = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  const int r = pockApplySettings("TI0.0 R2.5000 ZM0.400000");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(pockEngine().pockToolRadius, 2.5);
  EXPECT_DOUBLE_EQ(pockEngine().pockStepFactor, 0.4 * 0.99);
}

TEST_F(EngineStateTest, ResetsRestoreLoadValues) {
  PockEngine& e = pockEngine();
  ASSERT_EQ(pockApplySettings("R5 ZM0.4XA1 YA2"), 0);
  e.contTol = 0.3;
  e.isectTol = 0.3;
  e.contAngleGuard = 0.3;
  e.contCornerFactor = 10;
  e.offsetStrict = 0;
  e.pockDirectLinking = 1;
  e.scaleFactor = 25;
  // The per-level reset touches only the three tolerances.
  EXPECT_EQ(pockResetSettings(), 0);
  EXPECT_EQ(e.contTol, 0.0001);
  EXPECT_EQ(e.isectTol, 0.0001);
  EXPECT_EQ(e.contAngleGuard, 1e-14);
  EXPECT_EQ(e.contCornerFactor, 10);
  EXPECT_EQ(e.pockToolRadius, 5);
  EXPECT_EQ(e.scaleFactor, 25);
  // The run reset restores everything.
  pockMessage(3022);
  pockRunReset();
  const PockEngine fresh;
  EXPECT_EQ(e.pockToolRadius, 0.0);
  EXPECT_EQ(e.contCornerFactor, 1.0);
  EXPECT_EQ(e.offsetStrict, 1);
  EXPECT_EQ(e.pockDirectLinking, 0);
  EXPECT_EQ(e.scaleFactor, 1.0);
  EXPECT_EQ(e.pockStartSet, 0);
  EXPECT_EQ(e.ctreeStartMatch.bestDistance, fresh.ctreeStartMatch.bestDistance);
  EXPECT_EQ(e.ctreeStartMatch.node, -1);
  EXPECT_EQ(pockLastCode(), 0);
  EXPECT_EQ(ccpCurrent(), nullptr);
}

// Every row of the message map, the silent codes and codes without a row.
TEST_F(EngineStateTest, MessageMapSendsTheIdOfEachCode) {
  struct Row {
    int code;
    const char* id;  // null: nothing is sent
  };
  const Row rows[] = {
      {3001, "1101"},
      {3002, "1101"},
      {3003, "1101"},
      {3011, "1102"},
      {3020, "1103"},
      {3021, "1104"},
      {3022, "1105"},
      {3023, "1106"},
      {3024, "1106"},
      {3025, "1107"},
      {3026, "1108"},
      {3027, "1109"},
      {3028, "1109"},
      {3029, "1500"},
      {3030, "1522"},
      {3123, "1522"},
      {3033, "1501"},
      {3042, "1115"},
      {3119, "1114"},
      {3120, "1116"},
      {3201, "1502"},
      {3213, "1507"},
      {3214, "1508"},
      {3241, "1509"},
      {3250, "1510"},
      {3251, "1515"},
      {3252, "1516"},
      {3253, "1517"},
      {3255, "1518"},
      // codes without a row
      {3122, "1511"},
      {3040, "1511"},
      {3000, "1511"},
      {3199, "1511"},
      {3299, "1511"},
      {-5, "1511"},
      {1, "1511"},
      {2999, "1511"},
      // silent codes and 0
      {0, nullptr},
      {3210, nullptr},
      {3211, nullptr},
      {3212, nullptr},
      {3256, nullptr},
      {3298, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    sentTexts().clear();
    const int r = pockMessage(row.code);
    if (row.id == nullptr) {
      EXPECT_EQ(pockMessageId(row.code), nullptr);
      EXPECT_TRUE(sentTexts().empty());
      EXPECT_EQ(r, 0);
    } else {
      EXPECT_STREQ(pockMessageId(row.code), row.id);
      EXPECT_EQ(sentTexts(), std::vector<std::string>{row.id});
      EXPECT_EQ(r, 1);
    }
  }
}

// Only codes from 3000 to 3199 become the last code, silent or sent, with or without a record.
TEST_F(EngineStateTest, LastCodeKeepsFailuresFrom3000To3199) {
  struct Step {
    int code;
    int last;
  };
  const Step steps[] = {{3122, 3122}, {3123, 3123}, {3256, 3123}, {3201, 3123}, {0, 3123},
                        {3000, 3000}, {3199, 3199}, {3200, 3199}, {2999, 3199}, {3030, 3030}};
  for (const Step& s : steps) {
    pockMessage(s.code);
    EXPECT_EQ(pockLastCode(), s.last) << s.code;
  }
  // Without a running record the code is still kept, and nothing is sent.
  ccpSetCurrent(nullptr);
  sentTexts().clear();
  EXPECT_EQ(pockMessage(3022), 0);
  EXPECT_EQ(pockLastCode(), 3022);
  EXPECT_TRUE(sentTexts().empty());
}
}  // namespace
