// Depth-range lists and level heights: the closed form of a small list, random lists against a
// plain reference that walks the heights downward, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "pocket/pock_levels.h"

namespace {
struct Range {
  double top, bottom;
  int flag;
};

PocketLevelList* makeList(const std::vector<Range>& ranges) {
  PocketLevelList* l = pockLevelListNew(static_cast<int>(ranges.size()) + 1);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    pockLevelListSet(l, static_cast<int>(i), ranges[i].top, ranges[i].bottom, ranges[i].flag,
                     static_cast<int>(i));
  }
  return l;
}

std::vector<double> heightsOf(const PocketLevelHeights* h) {
  return h == nullptr ? std::vector<double>{}
                      : std::vector<double>(h->heights, h->heights + h->count);
}

// The reference: every distinct top and bottom of the unflagged entries (and entry 0's) between
// the overall top and bottom is a stop; between two stops the heights fall by the step.
std::vector<double> referenceHeights(const std::vector<Range>& ranges, double step) {
  double top = ranges[0].top, bottom = ranges[0].bottom;
  std::vector<double> stops;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (i > 0 && ranges[i].flag != 0) continue;
    top = std::max(top, ranges[i].top);
    bottom = std::min(bottom, ranges[i].bottom);
  }
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    if (ranges[i].flag != 0) continue;
    stops.push_back(ranges[i].top);
    stops.push_back(ranges[i].bottom);
  }
  std::sort(stops.begin(), stops.end(), std::greater<>());
  double s = std::fabs(step) < kLevelTol ? top - bottom : std::fabs(step);
  s = std::min(s, top - bottom);
  std::vector<double> out{top};
  double h = top;
  for (double stop : stops) {
    if (!(stop < h - kLevelTol)) continue;
    for (int k = 1; h - k * s > stop + kLevelTol; ++k) out.push_back(h - k * s);
    out.push_back(stop);
    h = stop;
    if (!(stop > bottom + kLevelTol)) break;
  }
  return out;
}
}  // namespace

// A pocket from 0 to -10 with an island whose top is at -3, step 4: the island's top is a level.
TEST(PockLevels, StepsStopAtEveryTop) {
  PocketLevelList* l = makeList({{0, -10, 0}, {-3, -10, 0}});
  PocketLevelHeights* h = pockLevelSteps(l, 4.0);
  EXPECT_EQ(heightsOf(h), (std::vector<double>{0, -3, -7, -10}));
  pockLevelHeightsFree(h);
  // A zero step cuts each range in one level; a negative step is its magnitude.
  h = pockLevelSteps(l, 0.0);
  EXPECT_EQ(heightsOf(h), (std::vector<double>{0, -3, -10}));
  pockLevelHeightsFree(h);
  h = pockLevelSteps(l, -4.0);
  EXPECT_EQ(heightsOf(h), (std::vector<double>{0, -3, -7, -10}));
  pockLevelHeightsFree(h);
  pockLevelListFree(l);
}

TEST(PockLevels, RandomListsMatchTheReference) {
  std::mt19937 rng(34);
  std::uniform_real_distribution<double> z(-20.0, 5.0);
  std::uniform_real_distribution<double> st(0.3, 6.0);
  for (int round = 0; round < 300; ++round) {
    std::vector<Range> ranges;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
      double a = z(rng), b = z(rng);
      if (a < b) std::swap(a, b);
      ranges.push_back({a, b, (i > 0 && rng() % 5 == 0) ? 1 : 0});
    }
    const double step = round % 7 == 0 ? 0.0 : st(rng);
    PocketLevelList* l = makeList(ranges);
    PocketLevelHeights* h = pockLevelSteps(l, step);
    const std::vector<double> ref = referenceHeights(ranges, step);
    const std::vector<double> got = heightsOf(h);
    ASSERT_EQ(got.size(), ref.size()) << "round " << round;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i], ref[i], 1e-9) << "round " << round << " height " << i;
      if (i > 0) {
        EXPECT_LT(got[i], got[i - 1]);
        EXPECT_LE(got[i - 1] - got[i], (step < kLevelTol ? 1e9 : step) + 1e-9);
      }
    }
    pockLevelHeightsFree(h);
    pockLevelListFree(l);
  }
}

TEST(PockLevels, RangeSpansAndNextBelow) {
  // Entry 0 counts even when flagged; later flagged entries neither widen the range nor stop.
  PocketLevelList* l = makeList({{2, -1, 1}, {0, -5, 0}, {7, -50, 1}});
  double top = 0, bottom = 0;
  ASSERT_EQ(pockLevelRange(l, &top, &bottom), 1);
  EXPECT_EQ(top, 2);
  EXPECT_EQ(bottom, -5);
  double stop = 99;
  EXPECT_EQ(pockLevelNextBelow(l, 2, &stop), 1);
  EXPECT_EQ(stop, 0);
  EXPECT_EQ(pockLevelNextBelow(l, 0.000005, &stop), 1);  // within the tolerance of 0: not below
  EXPECT_EQ(stop, -5);
  stop = 99;
  EXPECT_EQ(pockLevelNextBelow(l, -5, &stop), -1);
  EXPECT_EQ(stop, 99);
  // A flagged entry spans everything below its top.
  EXPECT_EQ(pockLevelSpans(l->entries[2], -1000), 1);
  EXPECT_EQ(pockLevelSpans(l->entries[2], 7.00002), 0);
  EXPECT_EQ(pockLevelSpans(l->entries[1], -5.000005), 1);
  EXPECT_EQ(pockLevelSpans(l->entries[1], -5.0001), 0);
  pockLevelListFree(l);
}

TEST(PockLevels, Refusals) {
  EXPECT_EQ(pockLevelListNew(0), nullptr);
  PocketLevelList* l = pockLevelListNew(2);
  EXPECT_EQ(l->entries[1].index, -1);
  EXPECT_EQ(pockLevelListSet(l, 2, 0, 0, 0, 0), -1);
  EXPECT_EQ(pockLevelListSet(nullptr, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(pockLevelRange(l, nullptr, nullptr), -1);  // empty
  EXPECT_EQ(pockLevelSteps(l, 1.0), nullptr);
  // A list whose top and bottom agree gives one height and no level.
  pockLevelListSet(l, 0, 3, 3, 0, 0);
  PocketLevelHeights* h = pockLevelSteps(l, 1.0);
  EXPECT_EQ(heightsOf(h), (std::vector<double>{3}));
  pockLevelHeightsFree(h);
  // Heights that are not numbers, and more steps than a list can count, are refused.
  pockLevelListSet(l, 1, std::numeric_limits<double>::infinity(), 0, 0, 1);
  EXPECT_EQ(pockLevelSteps(l, 1.0), nullptr);
  pockLevelListSet(l, 1, 1e12, 0, 0, 1);
  EXPECT_EQ(pockLevelSteps(l, 0.001), nullptr);
  pockLevelListFree(l);
  pockLevelListFree(nullptr);
  pockLevelHeightsFree(nullptr);
}
