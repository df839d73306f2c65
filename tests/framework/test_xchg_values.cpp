// Exchange values: coordinate parts, point tables against a brute-force map, the compact number
// codec and the escape rule.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "framework/memory.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"

namespace {
// Lexes one element from a text (the test's own input, always well formed).
XchgElement lexOne(const std::string& text) {
  const char* cursor = text.c_str();
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  EXPECT_EQ(xchgLexFromText(&cursor, &e), 1) << text;
  return e;
}

std::string parts(const XchgCoord& c, int axis) {
  return std::string(c.first[axis]) + "|" + c.second[axis] + "|" + c.third[axis];
}
}  // namespace

TEST(XchgCoord, PartsFromPresetAndAttributes) {
  struct Case {
    const char* element;
    int flags;
    const char* x;
    const char* y;
    const char* z;
    const char* name;
  };
  const Case cases[] = {
      {"oL( x[/5/7] )", 1, "3|5|7", "4|4|4", "||", ""},
      {"oL( x[1/2] y[3/4] z[5] )", 7, "1|2|3", "3|4|4", "5||", ""},
      {"oA( x[/5/6] y[//9] o[pt] )", 3, "3|5|6", "4|4|9", "||", "pt"},
      {"oL( x[] zz[1] X[2] y[1/2/3/4] )", 3, "3|3|3", "1|2|3", "||", ""},
      {"oL( o[abcdefghijklmnopqrstuvwxyz] x[123456789012345678901234567890] )", 1,
       "12345678901234567890123|3|3", "4|4|4", "||", "abcdefghijklmnopqrstuvw"},
  };
  for (const Case& c : cases) {
    XchgCoord coord;
    xchgCoordPreset(&coord, "3", "4", nullptr);
    XchgElement e = lexOne(c.element);
    EXPECT_EQ(xchgCoordParse(&coord, &e), c.flags) << c.element;
    EXPECT_EQ(parts(coord, 0), c.x) << c.element;
    EXPECT_EQ(parts(coord, 1), c.y) << c.element;
    EXPECT_EQ(parts(coord, 2), c.z) << c.element;
    EXPECT_STREQ(coord.name, c.name) << c.element;
    xchgElementClear(&e);
  }
  EXPECT_EQ(xchgCoordParse(nullptr, nullptr), 0);
}

// Random stores into a table against a map of the same stores.
TEST(XchgPointTable, AgreesWithABruteForceMap) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> rowOf(0, 40);
  std::uniform_int_distribution<int> colOf(0, 3000);
  std::map<std::pair<int, int>, std::tuple<double, double, double>> truth;
  XchgPointTable* t = xchgPointTableGrow(nullptr, 0);
  ASSERT_NE(t, nullptr);
  for (int i = 0; i < 2000; ++i) {
    const int r = rowOf(rng);
    const int c = colOf(rng);
    const double v = i;
    ASSERT_EQ(xchgPointTableSet(t, r, c, v, -v, v / 2), 1);
    truth[{r, c}] = {v, -v, v / 2};
  }
  std::map<int, int> lastCol;
  int lastRow = 0;
  for (const auto& [key, value] : truth) {
    lastCol[key.first] = std::max(lastCol[key.first], key.second);
    lastRow = std::max(lastRow, key.first);
  }
  EXPECT_EQ(t->lastRow, lastRow);
  for (int r = -1; r <= 42; ++r) {
    for (int c = -1; c <= 3001; c += 1) {
      double x = 99, y = 99, z = 99;
      const int got = xchgPointTableGet(t, r, c, &x, &y, &z);
      const auto it = truth.find({r, c});
      const bool inRange = r >= 0 && c >= 0 && lastCol.count(r) != 0 && c <= lastCol[r];
      ASSERT_EQ(got, inRange ? 1 : 0) << r << "," << c;
      if (it != truth.end()) {
        EXPECT_EQ(std::make_tuple(x, y, z), it->second);
      } else if (inRange) {
        EXPECT_EQ(std::make_tuple(x, y, z), std::make_tuple(0.0, 0.0, 0.0)) << "new points are 0";
      }
    }
  }
  xchgPointTableFree(t);
}

TEST(XchgPointTable, GrowthStepsAndRefusedIndices) {
  XchgPointTable* t = xchgPointTableGrow(nullptr, 17);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->rowCapacity, 32);
  EXPECT_EQ(xchgPointTableGet(t, 0, 0, nullptr, nullptr, nullptr), 0) << "no points yet";
  const std::pair<int, int> steps[] = {{0, 16},      {16, 32},     {63, 64},
                                       {64, 128},    {255, 256},   {256, 512},
                                       {2047, 2048}, {2048, 4096}, {10000, 10240}};
  for (const auto& [col, capacity] : steps) {
    ASSERT_EQ(xchgPointTableSet(t, 1, col, 1, 2, 3), 1);
    EXPECT_EQ(t->rows[1].capacity, capacity) << col;
  }
  EXPECT_EQ(xchgPointTableSet(t, -1, 0, 0, 0, 0), 0);
  EXPECT_EQ(xchgPointTableSet(t, 0, -1, 0, 0, 0), 0);
  EXPECT_EQ(xchgPointTableSet(t, 0x7fffffff, 0, 0, 0, 0), 0);
  EXPECT_EQ(xchgPointTableSet(nullptr, 0, 0, 0, 0, 0), 0);
  memTestFailAt(1);
  EXPECT_EQ(xchgPointTableSet(t, 2, 5, 1, 1, 1), 0) << "no memory for the row";
  memTestFailAt(1);
  EXPECT_EQ(xchgPointTableSet(t, 100, 0, 1, 1, 1), 0) << "no memory for the rows";
  memTestFailAt(1);
  EXPECT_EQ(xchgPointTableGrow(nullptr, 3), nullptr);
  memTestFailAt(0);
  EXPECT_EQ(t->rowCapacity, 32) << "a failed growth leaves the table as it was";
  xchgPointTableFree(t);
  double p[4];
  cycHomPoint(p, 1, 2, 3);
  EXPECT_EQ(p[3], 1.0);
}

TEST(XchgNumber, CompactNumbers) {
  xchgNumResetState();
  EXPECT_EQ(xchgNumDecode("+123"), 123.0) << "default: base 10, divisor 1";
  EXPECT_EQ(xchgNumDecode("9"), 0.0) << "the first character is the sign";
  xchgNumSetAlphabet(xchgNumDefaultAlphabet);
  xchgNumSetScaleBase(1000.0, 72);
  EXPECT_DOUBLE_EQ(xchgNumDecode("+1A"), 0.082);
  EXPECT_DOUBLE_EQ(xchgNumDecode("-1A"), -0.082);
  EXPECT_DOUBLE_EQ(xchgNumDecode("x1A"), 0.082);
  EXPECT_EQ(xchgNumDecode("*"), 0.0);
  EXPECT_EQ(xchgNumDecode("*1A"), 0.0);
  EXPECT_EQ(xchgNumDecode(""), 0.0);
  EXPECT_EQ(xchgNumDecode(nullptr), 0.0);
  EXPECT_EQ(xchgNumDecodeInt("10"), 72);
  EXPECT_EQ(xchgNumDecodeInt("~"), 71);
  EXPECT_EQ(xchgNumDecodeInt("\xe4\x01 "), 0) << "characters outside the alphabet are 0";
  EXPECT_EQ(xchgNumDecodeInt(""), 0);
  xchgNumSetScaleBase(1e-11, 73);  // both out of bounds: unchanged
  EXPECT_DOUBLE_EQ(xchgNumDecode("+1A"), 0.082);
  xchgNumSetScaleBase(0.5, 2);
  EXPECT_EQ(xchgNumDecode("+101"), 10.0);
  xchgNumSetAlphabet("abcb");  // 'b' takes its later position
  EXPECT_EQ(xchgNumDecodeInt("bc"), 3 * 4 + 2);
  xchgNumSetAlphabet(std::string(300, 'q').c_str());
  EXPECT_EQ(xchgNumDecodeInt("q"), 126) << "the alphabet holds at most 127 characters";
  xchgNumResetState();
}

TEST(XchgNumber, EscapeRule) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"", ""},
      {"aZ9 @$%&#~|-+*/=<>!?^,;.:_'\"{}", "aZ9 @$%&#~|-+*/=<>!?^,;.:_'\"{}"},
      {"(", "\\040"},
      {")[]`\t", "\\041\\091\\093\\096\\009"},
      {"\\", "\\\\"},
      {"\xe4\x01\x7f", "\\228\\001\\127"},
      {"c:\\tmp (1)", "c:\\\\tmp \\0401\\041"},
  };
  for (const Case& c : cases) {
    char out[64];
    EXPECT_EQ(xchgEscapeText(out, sizeof out, c.in), static_cast<int>(std::strlen(c.out)));
    EXPECT_STREQ(out, c.out);
  }
  char small[6];
  EXPECT_EQ(xchgEscapeText(small, sizeof small, "ab((("), -1);
  EXPECT_STREQ(small, "ab") << "only whole escapes are written";
  EXPECT_EQ(xchgEscapeText(nullptr, 4, "a"), -20);
  EXPECT_EQ(xchgEscapeText(small, 0, "a"), -20);
  EXPECT_EQ(xchgEscapeText(small, sizeof small, nullptr), -20);
}
