// Tests of the nesting depths of Z paths: nested squares on several levels against a
// brute-force count of the squares that strictly enclose each first point.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "zlevel/zpath.h"
#include "zlevel/zpath_order.h"
#include "zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

struct Square {
  double cx, cy, half, z;
};

ZPath* squarePath(const Square& s) {
  return zpathOf({{s.cx - s.half, s.cy - s.half},
                  {s.cx + s.half, s.cy - s.half},
                  {s.cx + s.half, s.cy + s.half},
                  {s.cx - s.half, s.cy + s.half}},
                 s.z);
}

// Squares of a level with distinct sizes: the first point (lower-left corner) of a lies inside b
// exactly when it is strictly inside b's square.
int bruteDepth(const std::vector<Square>& sq, std::size_t i) {
  const double x = sq[i].cx - sq[i].half, y = sq[i].cy - sq[i].half;
  int depth = 0;
  for (std::size_t j = 0; j < sq.size(); ++j) {
    if (j == i || !(std::abs(sq[j].z - sq[i].z) < 1e-5)) continue;
    const Square& b = sq[j];
    if (x > b.cx - b.half && x < b.cx + b.half && y > b.cy - b.half && y < b.cy + b.half) ++depth;
  }
  return depth;
}

ZPathList* listOf(const std::vector<Square>& sq) {
  ZPathList* list = zpathListNew(0);
  for (const Square& s : sq) {
    ZPath* p = squarePath(s);
    zpathListAdd(list, p);
    zpathFree(p);
  }
  return list;
}

TEST(ZpathNestingDepths, NestedSquaresOnThreeLevels) {
  // Level 10: three concentric squares plus a lone one; level 10 + 0.5e-5 counts as the same
  // level; level 9 repeats the nest shifted, so nothing crosses levels.
  const std::vector<Square> sq = {{0, 0, 9.5, 10.0},      {0, 0, 5.5, 10.0},   {30, 0, 2.25, 10.0},
                                  {0, 0, 3.25, 10.0},     {0, 0, 1.5, 9.0},    {0, 0, 7.75, 9.0},
                                  {0, 0, 1.0, 10.000005}, {0.2, 0.1, 4.5, 9.0}};
  ZPathList* list = listOf(sq);
  ASSERT_EQ(zpathListNestingDepths(list), 1);
  for (std::size_t i = 0; i < sq.size(); ++i)
    EXPECT_EQ(list->items[i].nestingDepth, bruteDepth(sq, i)) << "square " << i;
  EXPECT_EQ(list->items[0].nestingDepth, 0);
  EXPECT_EQ(list->items[6].nestingDepth, 3);  // inside the three squares of level 10
  zpathListFree(list);
}

TEST(ZpathNestingDepths, RandomNestsMatchBruteForce) {
  std::mt19937 rng(27);
  std::uniform_real_distribution<double> centre(-20.0, 20.0);
  std::uniform_real_distribution<double> half(0.5, 15.0);
  std::uniform_int_distribution<int> level(0, 3);
  for (int round = 0; round < 20; ++round) {
    std::vector<Square> sq;
    for (int k = 0; k < 40; ++k)
      sq.push_back({centre(rng), centre(rng), half(rng), 5.0 + 1e-6 * level(rng) * 3.0});
    ZPathList* list = listOf(sq);
    zpathListNestingDepths(list);
    for (std::size_t i = 0; i < sq.size(); ++i)
      ASSERT_EQ(list->items[i].nestingDepth, bruteDepth(sq, i)) << "round " << round << " " << i;
    zpathListFree(list);
  }
}

TEST(ZpathNestingDepths, EmptyPathsNaNLevelsAndNullList) {
  EXPECT_EQ(zpathListNestingDepths(nullptr), 1);
  ZPathList* list = listOf({{0, 0, 10, 1.0}, {0, 0, 1, 1.0}});
  ZPath* empty = zpathNew(3);
  empty->z = 1.0;
  empty->nestingDepth = 7;
  zpathListAdd(list, empty);
  zpathFree(empty);
  ZPath* lost = squarePath({0, 0, 2, std::numeric_limits<double>::quiet_NaN()});
  zpathListAdd(list, lost);
  zpathFree(lost);
  list->items[0].nestingDepth = 5;
  ASSERT_EQ(zpathListNestingDepths(list), 1);
  EXPECT_EQ(list->items[0].nestingDepth, 0);
  EXPECT_EQ(list->items[1].nestingDepth, 1);
  EXPECT_EQ(list->items[2].nestingDepth, 0);  // no points
  EXPECT_EQ(list->items[3].nestingDepth, 0);  // a NaN height belongs to no level
  zpathListFree(list);
}

}  // namespace
