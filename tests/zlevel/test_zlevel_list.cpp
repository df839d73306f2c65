// Tests of the Z-level list: insertion and absorption on both sides of the tolerance switch, the
// stepdown ladder on random plane sets against a reference built from the ladder's rule, the
// refusal of ladders that never end, growth, the small operations and the level file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/cycle_state.h"
#include "model/le_decode.h"
#include "support/temp_dir.h"
#include "zlevel/zlevel_list.h"

namespace {

// Sets unit factor and unscaled precision so that the level tolerance is the one asked for.
void useTolerance(double tol) {
  parResetState();
  parGlobalBlock()->precision = 0.01;
  parScaleUnits(1.0);  // keeps 0.01 as the unscaled precision
  unitFactor = tol == kZlevTolCoarse ? 2.0 : 1.99;
  ASSERT_EQ(zlevTolerance(), tol);
}

class ZLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    parResetState();
    cycleStateResetState();
    memResetState();
  }
  void TearDown() override {
    memResetState();
    parResetState();
    cycleStateResetState();
  }
};

struct Owned {
  explicit Owned(ZLevelList* p) : l(p) {}
  ~Owned() { zlevFree(l); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ZLevelList* l;
};

std::vector<double> heights(const ZLevelList* l) { return {l->z, l->z + l->count}; }
std::vector<int> kinds(const ZLevelList* l) { return {l->flag, l->flag + l->count}; }

// ---- reference of the ladder, from its rule alone --------------------------------------------

struct RefList {
  double zmax, zmin;
  std::vector<double> z;
  std::vector<int> kind;
};

int refInsert(RefList* l, double z, double gap, int kind, double tol) {
  if (z > l->zmax || z < l->zmin) return 0;
  std::size_t at = l->z.size();
  for (std::size_t i = 0; i < l->z.size(); ++i) {
    if (std::fabs(l->z[i] - z) < gap + tol) {
      if (l->z[i] < z) l->z[i] = z + tol;
      return 0;
    }
    if (l->z[i] < z) {
      at = i;
      break;
    }
  }
  l->z.insert(l->z.begin() + static_cast<std::ptrdiff_t>(at), z + tol);
  l->kind.insert(l->kind.begin() + static_cast<std::ptrdiff_t>(at), kind);
  return 1;
}

// The ladder: the lowest existing level above h is found by looking at every level.
void refLadder(RefList* l, double step, double tol, bool skipLast) {
  double h = l->zmax - step;
  for (;;) {
    if (h < l->zmin) h = l->zmin;
    if (std::fabs(h - l->zmin) < 0.001) {
      refInsert(l, h, 0.001, 0, tol);
      break;
    }
    double above = std::numeric_limits<double>::infinity();
    for (double v : l->z) {
      if (v > h && v < above) above = v;
    }
    if (std::isfinite(above) && above - h <= step - 0.001) {
      h = above - step;
      continue;
    }
    refInsert(l, h, 0.001, 0, tol);
    h -= step;
  }
  if (skipLast && !l->z.empty()) {
    l->z.pop_back();
    l->kind.pop_back();
  }
}

}  // namespace

// Absorption and insertion around a level stored at s = 10 + tol, with gap 0.001: a height within
// gap + tol below s changes nothing, one within gap + tol above raises s to it + tol, farther ones
// are inserted. The distance 0.003 is absorbed only under the coarse tolerance.
TEST_F(ZLevel, InsertAndAbsorbOnBothSidesOfTheSwitch) {
  struct Case {
    double offset;  // from the stored level
    int fineResult, coarseResult;
  };
  const Case cases[] = {{-0.0015, 0, 0}, {0.0015, 0, 0}, {-0.003, 1, 0}, {0.003, 1, 0},
                        {-0.0065, 1, 1}, {0.0065, 1, 1}, {0.0, 0, 0}};
  for (double tol : {kZlevTolFine, kZlevTolCoarse}) {
    for (const Case& c : cases) {
      useTolerance(tol);
      Owned o(zlevNew(10, 100, -100));
      ASSERT_EQ(zlevInsert(o.l, 10.0, 0.001, kZlevPlane), 1);
      const double s = 10.0 + tol;
      ASSERT_EQ(o.l->z[0], s);
      const double z = s + c.offset;
      const int want = tol == kZlevTolFine ? c.fineResult : c.coarseResult;
      SCOPED_TRACE("tol " + std::to_string(tol) + " offset " + std::to_string(c.offset));
      EXPECT_EQ(zlevInsert(o.l, z, 0.001, kZlevStepdown), want);
      if (want == 1) {
        ASSERT_EQ(o.l->count, 2);
        EXPECT_EQ(o.l->z[c.offset > 0 ? 0 : 1], z + tol);
        EXPECT_EQ(o.l->flag[c.offset > 0 ? 0 : 1], kZlevStepdown);
      } else {
        ASSERT_EQ(o.l->count, 1);
        EXPECT_EQ(o.l->z[0], c.offset > 0 ? z + tol : s) << "raised only from below";
        EXPECT_EQ(o.l->flag[0], kZlevPlane) << "an absorbing level keeps its kind";
      }
    }
  }
}

TEST_F(ZLevel, RangeBoundsAreInclusiveAndNotANumberIsOutside) {
  Owned o(zlevNew(4, 5.0, -5.0));
  EXPECT_EQ(zlevInsert(o.l, 5.0, 0.001, 0), 1);
  EXPECT_EQ(zlevInsert(o.l, -5.0, 0.001, 0), 1);
  EXPECT_EQ(zlevInsert(o.l, 5.0001, 0.001, 0), 0);
  EXPECT_EQ(zlevInsert(o.l, -5.0001, 0.001, 0), 0);
  EXPECT_EQ(zlevInsert(o.l, std::nan(""), 0.001, 0), 0);
  EXPECT_EQ(zlevInsert(o.l, 1.0, std::nan(""), 0), 0);
  EXPECT_EQ(o.l->count, 2);
  EXPECT_EQ(o.l->z[0], 5.001);
  EXPECT_EQ(o.l->z[1], -5.0 + 0.001);
  EXPECT_EQ(zlevInsert(nullptr, 1.0, 0.001, 0), -1);
  EXPECT_EQ(zlevInsertExact(o.l, 2.0, 0.001, 1), 1);
  EXPECT_EQ(o.l->z[1], 2.0) << "the exact insertion stores the height itself";
}

// 101 insertions into a list of capacity 1: the list grows and keeps the order and every kind.
TEST_F(ZLevel, GrowsPastItsCapacityKeepingOrderAndKinds) {
  Owned o(zlevNew(1, 1000, -1000));
  std::mt19937 rng(7);
  std::vector<std::pair<double, int>> want;
  for (int i = 0; i < 101; ++i) {
    const double z = std::uniform_int_distribution<int>(-9000, 9000)(rng) * 0.1 + 0.01 * i;
    const int kind = i % 3 == 0 ? kZlevPlane : kZlevStepdown;
    const int r = zlevInsertExact(o.l, z, 0.0, kind);
    if (r == 1) want.emplace_back(z, kind);
  }
  ASSERT_GT(want.size(), 95u);
  std::sort(want.begin(), want.end(), [](auto& a, auto& b) { return a.first > b.first; });
  ASSERT_EQ(o.l->count, static_cast<int>(want.size()));
  EXPECT_GE(o.l->capacity, o.l->count);
  for (int i = 0; i < o.l->count; ++i) {
    EXPECT_EQ(o.l->z[i], want[static_cast<std::size_t>(i)].first);
    EXPECT_EQ(o.l->flag[i], want[static_cast<std::size_t>(i)].second);
  }
}

TEST_F(ZLevel, FailedGrowthReturnsMinusOne) {
  Owned o(zlevNew(1, 100, 0));
  ASSERT_EQ(zlevInsert(o.l, 50, 0.001, 0), 1);
  memTestFailAt(1);
  EXPECT_EQ(zlevInsert(o.l, 40, 0.001, 0), -1);
  memTestFailAt(0);
  EXPECT_EQ(zlevInsert(o.l, 40, 0.001, 0), 1) << "the list still holds its levels and grows";
  EXPECT_EQ(heights(o.l), (std::vector<double>{50.001, 40.001}));
  memTestFailAt(1);
  EXPECT_EQ(zlevNew(5, 1, 0), nullptr);
  memTestFailAt(2);
  EXPECT_EQ(zlevNew(5, 1, 0), nullptr);
  memTestFailAt(3);
  EXPECT_EQ(zlevNew(5, 1, 0), nullptr);
  memTestFailAt(0);
  EXPECT_EQ(zlevNew(-1, 1, 0), nullptr);
  ZLevelList* empty = zlevNew(0, 1, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(zlevInsert(empty, 0.5, 0.001, 0), 1) << "capacity 0 grows on the first insertion";
  zlevFree(empty);
  EXPECT_EQ(zlevFree(nullptr), 0);
}

// Random plane sets, both tolerances, with and without the dropped last level: the fill equals
// the reference, and the ladder has its properties.
TEST_F(ZLevel, LadderOnRandomPlaneSetsEqualsTheReference) {
  std::mt19937 rng(2024);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  int endsExactly = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const double tol = trial % 2 == 0 ? kZlevTolFine : kZlevTolCoarse;
    useTolerance(tol);
    const bool skip = trial % 5 == 0;
    if (skip) {
      parGlobalBlock()->finishPass = 2;
      parGlobalBlock()->skipLastPlane = 1;
    }
    // Fine steps over short spans only: every insertion scans the list.
    const bool fine = trial % 7 == 0;
    const double zmax = uni(-20, 40), zmin = zmax - (fine ? uni(0, 2) : uni(0, 60));
    const double step = fine ? uni(0.001, 0.01) : uni(0.3, 8);
    Owned o(zlevNew(3, zmax, zmin));
    RefList ref{zmax, zmin, {}, {}};
    const int planes = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int p = 0; p < planes; ++p) {
      const double q = uni(zmin - 1, zmax + 1);
      const double gap = uni(0.001, 0.5);
      ASSERT_EQ(zlevInsert(o.l, q, gap, kZlevPlane), refInsert(&ref, q, gap, 1, tol));
    }
    const int planesKept = static_cast<int>(ref.z.size());
    ASSERT_EQ(zlevFillStepdown(o.l, step), 1);
    refLadder(&ref, step, tol, skip);
    SCOPED_TRACE("trial " + std::to_string(trial));
    ASSERT_EQ(heights(o.l), ref.z);
    ASSERT_EQ(kinds(o.l), ref.kind);

    const int n = o.l->count;
    ASSERT_GE(n, skip ? 0 : 1);
    int planeKinds = 0;
    for (int i = 0; i < n; ++i) {
      if (i > 0) {
        EXPECT_GT(o.l->z[i - 1], o.l->z[i]) << "falling order";
        // A rung that an existing level absorbs is lost: the gap then exceeds the step by at
        // most the absorption distance.
        EXPECT_LE(o.l->z[i - 1] - o.l->z[i], step + 0.001 + tol + 1e-9) << "no gap wider";
      }
      EXPECT_LE(o.l->z[i], zmax + tol + 0.002);
      EXPECT_GE(o.l->z[i], zmin + tol);
      planeKinds += o.l->flag[i] == kZlevPlane;
    }
    if (!skip) {
      // zmin + tol, unless a level within the absorption distance took zmin in.
      EXPECT_LT(o.l->z[n - 1], zmin + 0.001 + tol + 1e-9) << "the ladder ends at zmin";
      endsExactly += o.l->z[n - 1] == zmin + tol;
      EXPECT_EQ(planeKinds, planesKept) << "plane levels are kept";
      EXPECT_LE(zmax + tol - o.l->z[0], step + 1e-9);
    }
  }
  EXPECT_GT(endsExactly, 150);
}

// The rules of the ladder on small lists, against hand-worked values (tol 0.001).
TEST_F(ZLevel, LadderCases) {
  {  // zmax - step below zmin: only zmin
    Owned o(zlevNew(5, 1.0, 0.5));
    ASSERT_EQ(zlevFillStepdown(o.l, 2.0), 1);
    EXPECT_EQ(heights(o.l), (std::vector<double>{0.501}));
  }
  {  // a plane level q = 6.5 + tol: the rung 6 lies within a step below it, so the ladder restarts
     // at q - 2 (stored + tol) and goes on from there
    Owned o(zlevNew(5, 10.0, 0.0));
    ASSERT_EQ(zlevInsert(o.l, 6.5, 0.5, kZlevPlane), 1);
    ASSERT_EQ(zlevFillStepdown(o.l, 2.0), 1);
    const std::vector<double> want{8.001, 6.501, 4.502, 2.502, 0.502, 0.001};
    ASSERT_EQ(o.l->count, static_cast<int>(want.size()));
    for (int i = 0; i < o.l->count; ++i) EXPECT_NEAR(o.l->z[i], want[i], 1e-12) << i;
    EXPECT_EQ(kinds(o.l), (std::vector<int>{0, 1, 0, 0, 0, 0}));
  }
  {  // the exact twin stores the rungs themselves
    Owned o(zlevNew(5, 4.0, 0.0));
    ASSERT_EQ(zlevFillStepdownExact(o.l, 1.5), 1);
    EXPECT_EQ(heights(o.l), (std::vector<double>{2.5, 1.0, 0.0}));
  }
  {  // the lowest level goes with *FINISH_PASS 2 and *SKIP_LAST_PLANE 1 only
    for (int finish : {1, 2}) {
      parGlobalBlock()->finishPass = static_cast<std::int16_t>(finish);
      parGlobalBlock()->skipLastPlane = 1;
      Owned o(zlevNew(5, 4.0, 0.0));
      ASSERT_EQ(zlevFillStepdownExact(o.l, 1.5), 1);
      EXPECT_EQ(o.l->count, finish == 2 ? 2 : 3);
    }
  }
}

// Steps, tops and bottoms that would never move the ladder, or move it for ever, are refused
// with the list unchanged.
TEST_F(ZLevel, LaddersThatNeverEndAreRefused) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::nan("");
  struct Case {
    const char* what;
    double zmax, zmin, step;
  };
  const Case cases[] = {
      {"step 0", 10, 0, 0.0},
      {"step 0.0005", 10, 0, 0.0005},
      {"negative step", 10, 0, -1},
      {"NaN step", 10, 0, nan},
      {"infinite step", 10, 0, inf},
      {"NaN top", nan, 0, 1},
      {"infinite top", inf, 0, 1},
      {"NaN bottom", 10, nan, 1},
      {"infinite bottom", 10, -inf, 1},
      {"10^7 rungs", 1e4, 0, 0.001},
      {"just over 10^6 rungs", 1000.002, 0, 0.001},
      {"huge span", 1e300, -1e300, 1},
  };
  for (const Case& c : cases) {
    Owned o(zlevNew(5, c.zmax, c.zmin));
    zlevInsertExact(o.l, 5.0, 0.001, kZlevPlane);
    const int before = o.l->count;
    EXPECT_EQ(zlevFillStepdown(o.l, c.step), -1) << c.what;
    EXPECT_EQ(o.l->count, before) << c.what;
  }
  EXPECT_EQ(zlevFillStepdown(nullptr, 1.0), -1);
}

TEST_F(ZLevel, IndexAboveHasNearAndRemoveAt) {
  Owned o(zlevNew(5, 100, -100));
  for (double z : {10.0, 5.0, 0.0}) zlevInsertExact(o.l, z, 0.001, 0);
  EXPECT_EQ(zlevIndexAbove(o.l, 20), -1);
  EXPECT_EQ(zlevIndexAbove(o.l, 10), -1) << "the first level at z is not above it";
  EXPECT_EQ(zlevIndexAbove(o.l, 9.99), 0);
  EXPECT_EQ(zlevIndexAbove(o.l, 5), 0);
  EXPECT_EQ(zlevIndexAbove(o.l, -1), 2);
  EXPECT_EQ(zlevIndexAbove(nullptr, 0), -1);
  EXPECT_EQ(zlevHasNear(o.l, 5.0015, 0.001), 1);
  EXPECT_EQ(zlevHasNear(o.l, 5.0025, 0.001), 0);
  EXPECT_EQ(zlevHasNear(nullptr, 5, 1), 0);
  EXPECT_EQ(zlevRemoveAt(o.l, 3), 3);
  EXPECT_EQ(zlevRemoveAt(o.l, -1), 3);
  EXPECT_EQ(zlevRemoveAt(o.l, 1), 2);
  EXPECT_EQ(heights(o.l), (std::vector<double>{10.0, 0.0}));
  EXPECT_EQ(zlevRemoveAt(nullptr, 0), -1);
}

class ZLevelFile : public qdtest::TempDirTest {
 protected:
  void SetUp() override { memResetState(); }
  void TearDown() override { memResetState(); }
};

TEST_F(ZLevelFile, RoundTripFieldByField) {
  Owned o(zlevNew(2, 12.5, -3.25));
  zlevInsertExact(o.l, 7.0, 0.001, kZlevPlane);
  zlevInsertExact(o.l, 1.0, 0.001, kZlevStepdown);
  zlevInsertExact(o.l, -3.0, 0.001, -2);
  ASSERT_EQ(zlevSave(o.l, "levels.zl"), 1);
  const std::string bytes = qdtest::readFile("levels.zl");
  ASSERT_EQ(bytes.size(), 20u + 10u * 3u);
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_EQ(leI32(b), 3);
  EXPECT_EQ(leF64(b + 4), 12.5);
  EXPECT_EQ(leF64(b + 12), -3.25);
  EXPECT_EQ(leF64(b + 28), 1.0);
  EXPECT_EQ(leI16(b + 48), -2);
  Owned back(zlevLoad("levels.zl"));
  ASSERT_NE(back.l, nullptr);
  EXPECT_EQ(back.l->capacity, 3);
  EXPECT_EQ(back.l->zmax, 12.5);
  EXPECT_EQ(back.l->zmin, -3.25);
  EXPECT_EQ(heights(back.l), heights(o.l));
  EXPECT_EQ(kinds(back.l), kinds(o.l));
  EXPECT_EQ(zlevInsert(back.l, 0.0, 0.001, 0), 1) << "a loaded list grows";
}

TEST_F(ZLevelFile, BadFilesAndArguments) {
  EXPECT_EQ(zlevSave(nullptr, "empty.zl"), 1);
  EXPECT_EQ(qdtest::readFile("empty.zl"), "");
  EXPECT_EQ(zlevLoad("empty.zl"), nullptr);
  EXPECT_EQ(zlevSave(nullptr, nullptr), -1);
  EXPECT_EQ(zlevSave(nullptr, "no/such/folder/x.zl"), -1);
  EXPECT_EQ(zlevLoad(nullptr), nullptr);
  EXPECT_EQ(zlevLoad("missing.zl"), nullptr);
  Owned o(zlevNew(2, 1, 0));
  zlevInsertExact(o.l, 0.5, 0.001, 0);
  zlevInsertExact(o.l, 0.25, 0.001, 0);
  ASSERT_EQ(zlevSave(o.l, "two.zl"), 1);
  const std::string full = qdtest::readFile("two.zl");
  qdtest::writeFile("short.zl", full.substr(0, full.size() - 1));
  EXPECT_EQ(zlevLoad("short.zl"), nullptr) << "a cut kind";
  std::string big = full;
  big[0] = '\xff';
  big[1] = '\xff';
  big[2] = '\xff';
  big[3] = '\x7f';
  qdtest::writeFile("big.zl", big);
  EXPECT_EQ(zlevLoad("big.zl"), nullptr) << "a count the file cannot hold";
  big[3] = '\xff';
  qdtest::writeFile("negative.zl", big);
  EXPECT_EQ(zlevLoad("negative.zl"), nullptr);
  qdtest::writeFile("longer.zl", full + "xyz");
  Owned longer(zlevLoad("longer.zl"));
  ASSERT_NE(longer.l, nullptr) << "bytes after the levels are ignored";
  EXPECT_EQ(longer.l->count, 2);
  for (int n = 1; n <= 3; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(zlevLoad("two.zl"), nullptr) << n;
  }
  memTestFailAt(0);
}
