// Number text, the three-number parser, character replacement and frame matrices.
#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "framework/affine.h"
#include "framework/numtext.h"

namespace {
std::string fmt(double x) {
  char out[kNumTextSize];
  std::memset(out, 'X', sizeof out);
  numFormat(out, x);
  EXPECT_LT(std::strlen(out), kNumTextSize);
  return out;
}
}  // namespace

TEST(NumFormat, Table) {
  struct Case {
    int precision;
    double x;
    const char* text;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {6, 1.5, "1.5"},
      {6, 2, "2"},
      {6, -0.25, "-0.25"},
      {6, 0.0000004, "0"},
      {6, -0.0000004, "0"},
      {6, -0.0000006, "-0.000001"},
      {6, 10, "10"},
      {6, 3.1234567, "3.123457"},
      {6, 2.9999999, "3"},
      {6, -2.9999999, "-3"},
      {6, -0.0, "0"},
      {6, -12.5, "-12.5"},
      {6, 100.000001, "100.000001"},
      {0, 2.26, "2.3"},                 // precision 0 behaves as 1
      {12, 1.123456789, "1.12345679"},  // precision above 8 behaves as 8
      {3, 0.0005, "0.001"},
      {6, 4294967296.5, "4294967296.5"},  // beyond a 32-bit long
      {6, -123456789012.25, "-123456789012.25"},
      {6, 1e17, "100000000000000000"},
      {6, 1e18, "1e+18"},  // out of the fixed range: still visible
      {6, -2.5e30, "-2.5e+30"},
      {6, inf, "inf"},
      {6, -inf, "-inf"},
      {6, std::nan(""), "nan"},
  };
  for (const Case& c : cases) {
    numSetPrecision(c.precision);
    EXPECT_EQ(fmt(c.x), c.text) << "precision " << c.precision << " value " << c.x;
  }
  numResetState();
}

TEST(NumFormat, EqualValuesGiveEqualTextsAndRoundTripWithinHalfAStep) {
  numResetState();
  for (int i = -20000; i <= 20000; ++i) {
    const double x = i * 0.0137 + 1e-9 * (i % 7);
    const std::string t = fmt(x);
    EXPECT_EQ(t, fmt(x));
    double back = 0;
    ASSERT_EQ(numParse3(t.c_str(), &back, nullptr, nullptr), 1);
    EXPECT_LE(std::fabs(back - x), 0.5e-6 + 1e-12) << t;
  }
}

TEST(NumFormat, IndependentOfTheHostLocale) {
  locale_t comma = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  if (comma == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  locale_t old = uselocale(comma);
  EXPECT_EQ(fmt(1.5), "1.5");
  double x = 0;
  EXPECT_EQ(numParse3("2.5", &x, nullptr, nullptr), 1);
  EXPECT_EQ(x, 2.5);
  char fixed[64];
  numFormatFixed8(fixed, sizeof fixed, 0.25);
  EXPECT_STREQ(fixed, "0.25000000");
  uselocale(old);
  freelocale(comma);
}

TEST(NumParse3, Table) {
  struct Case {
    const char* text;
    int count;
    double x, y, z;
  };
  const Case cases[] = {
      {"1,2,3", 3, 1, 2, 3},
      {"x 5", 1, 5, -9, -9},
      {"-1.5e2 .5", 2, -150, 0.5, -9},
      {"1 2 3 4", 3, 1, 2, 3},
      {"", 0, -9, -9, -9},
      {"abc", 0, -9, -9, -9},
      {"+2.5;-1e-1", 2, 2.5, -0.1, -9},
      {"(10.0, 20, 30)", 3, 10, 20, 30},
      {"-", 1, 0, -9, -9},  // a run with no number in it reads as 0
  };
  for (const Case& c : cases) {
    double x = -9, y = -9, z = -9;
    EXPECT_EQ(numParse3(c.text, &x, &y, &z), c.count) << c.text;
    EXPECT_EQ(x, c.x) << c.text;
    EXPECT_EQ(y, c.y) << c.text;
    EXPECT_EQ(z, c.z) << c.text;
  }
  EXPECT_EQ(numParse3(nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(NumFormatFixed8, EightDecimalsCutToTheBuffer) {
  char out[16];
  numFormatFixed8(out, sizeof out, -0.123456789);
  EXPECT_STREQ(out, "-0.12345679");
  numFormatFixed8(out, 6, 1234.5);
  EXPECT_STREQ(out, "1234.");
}

TEST(NumReplaceChar, CopyOrInPlace) {
  char out[16];
  EXPECT_EQ(numReplaceChar(out, "a.b.c", '.', ','), 2);
  EXPECT_STREQ(out, "a,b,c");
  char inPlace[] = "x-y";
  EXPECT_EQ(numReplaceChar(inPlace, inPlace, '-', '+'), 1);
  EXPECT_STREQ(inPlace, "x+y");
  EXPECT_EQ(numReplaceChar(inPlace, inPlace, '+', '+'), 0);
  EXPECT_STREQ(inPlace, "x+y");
  EXPECT_EQ(numReplaceChar(out, "", 'a', 'b'), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(numReplaceChar(out, nullptr, 'a', 'b'), 0);
  EXPECT_STREQ(out, "");
}

namespace {
AffineMatrix frameOf(const double x[3], const double y[3], const double z[3], const double o[3]) {
  AffineMatrix m = kAffIdentity;
  for (int r = 0; r < 3; ++r) {
    m.m[r * 4 + 0] = x[r];
    m.m[r * 4 + 1] = y[r];
    m.m[r * 4 + 2] = z[r];
    m.m[r * 4 + 3] = o[r];
  }
  return m;
}
}  // namespace

TEST(Affine, InverseOfARotatedFrameMapsBack) {
  const double x[] = {0, 1, 0}, y[] = {-1, 0, 0}, z[] = {0, 0, 1}, o[] = {10, 0, 0};
  const AffineMatrix m = frameOf(x, y, z, o);
  AffineMatrix inv;
  affInvert(&inv, &m);
  const double p[] = {10, 1, 0};
  double out[4];
  affTransformPoint(out, &inv, p);
  EXPECT_NEAR(out[0], 1, 1e-12);
  EXPECT_NEAR(out[1], 0, 1e-12);
  EXPECT_NEAR(out[2], 0, 1e-12);
  EXPECT_EQ(out[3], 1);
}

TEST(Affine, InverseTimesMatrixIsIdentityForASkewFrame) {
  const double x[] = {2, 0.5, 0}, y[] = {0.1, 3, 0.2}, z[] = {0, -0.4, 1.5}, o[] = {7, -3, 2};
  const AffineMatrix m = frameOf(x, y, z, o);
  AffineMatrix inv;
  affInvert(&inv, &m);
  const double pts[][3] = {{0, 0, 0}, {1, 2, 3}, {-5, 0.5, 9}};
  for (const auto& p : pts) {
    double a[4], b[4];
    affTransformPoint(a, &m, p);
    affTransformPoint(b, &inv, a);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(b[i], p[i], 1e-12);
  }
  affInvert(&inv, &inv);  // in place
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(inv.m[i], m.m[i], 1e-12);
}

TEST(Affine, ZeroAxisGivesIdentityAndCofactorSigns) {
  const double x[] = {0, 0, 0}, y[] = {0, 1, 0}, z[] = {0, 0, 1}, o[] = {3, 4, 5};
  const AffineMatrix m = frameOf(x, y, z, o);
  AffineMatrix inv;
  affInvert(&inv, &m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(inv.m[i], kAffIdentity.m[i]);
  AffineMatrix id;
  affIdentity(&id);
  EXPECT_EQ(affCofactor(&id, 0, 0), 1);
  EXPECT_EQ(affCofactor(&id, 0, 1), 0);
  AffineMatrix s = kAffIdentity;
  s.m[1] = 2;  // row 0, column 1
  EXPECT_EQ(affCofactor(&s, 1, 0), -2);
  AffineMatrix c;
  affCopy(&c, &s);
  EXPECT_EQ(c.m[1], 2);
}
