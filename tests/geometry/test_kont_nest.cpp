// Tests of region nesting and validation: a table of nestings, one contour per container, the
// repeatable order, and the validation codes.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont_nest.h"
#include "geometry/kont_region.h"
#include "kont_shapes.h"
#include "support/temp_dir.h"

namespace {

using qdtest::kontFromPoints;
using qdtest::square;

// How often k hangs in some island chain of the list.
int islandLinks(const Kont2D* head, const Kont2D* k) {
  int n = 0;
  for (const Kont2D* r = head; r != nullptr; r = r->next)
    for (const Kont2D* isl = r->child; isl != nullptr; isl = isl->next) n += isl == k;
  return n;
}

TEST(KontNestArray, EqualSquaresAtTwoHeights) {
  Kont2D* low = kontFromPoints(square(0, 0, 5), 0.0);
  Kont2D* high = kontFromPoints(square(0, 0, 5), 5.0);
  Kont2D* a[2] = {low, high};
  ASSERT_EQ(kontNestArray(a, 2), 1);
  EXPECT_EQ(a[0], high);
  EXPECT_EQ(high->next, low);
  EXPECT_EQ(low->prev, high);
  EXPECT_EQ(high->child, nullptr);
  EXPECT_EQ(low->child, nullptr);
  EXPECT_EQ(high->depth, 0);
  EXPECT_EQ(low->depth, 0);
  kontFree(a[0]);
}

TEST(KontNestArray, ThreeNestedSquares) {
  Kont2D* inner = kontFromPoints(square(0, 0, 1));
  Kont2D* middle = kontFromPoints(square(0, 0, 5, true));
  Kont2D* outer = kontFromPoints(square(0, 0, 9));
  Kont2D* a[3] = {inner, outer, middle};
  ASSERT_EQ(kontNestArray(a, 3), 1);
  EXPECT_EQ(outer->depth, 0);
  EXPECT_EQ(middle->depth, 1);
  EXPECT_EQ(inner->depth, 2);
  EXPECT_EQ(a[0], outer);
  EXPECT_EQ(outer->child, middle);
  EXPECT_EQ(middle->prev, outer);
  EXPECT_EQ(middle->next, nullptr);
  EXPECT_EQ(outer->next, inner);  // the innermost is an outer contour again
  EXPECT_EQ(inner->prev, outer);
  EXPECT_EQ(kontValidate(outer, 3), 1);
  EXPECT_EQ(kontValidate(inner, 3), 1);
  kontFree(a[0]);
}

TEST(KontNestArray, HeightsWithinAMillionthNestTogether) {
  Kont2D* outer = kontFromPoints(square(0, 0, 9), 2.0);
  Kont2D* island = kontFromPoints(square(0, 0, 1, true), 2.0 - 5e-7);
  Kont2D* a[2] = {island, outer};
  ASSERT_EQ(kontNestArray(a, 2), 1);
  EXPECT_EQ(a[0], outer);
  EXPECT_EQ(outer->child, island);
  kontFree(a[0]);
}

// With crossing contours an island was hung under every container one level up: freed twice.
TEST(KontNestArray, IslandHangsUnderExactlyOneContainer) {
  // A and B overlap, each starting at a corner inside the other (depth 1 + the frame = 2); q lies
  // in their overlap, inside A, B and the frame: depth 3, with two containers of depth 2.
  Kont2D* frame = kontFromPoints(square(7.5, 7.5, 20));
  Kont2D* a = kontFromPoints({{10, 10}, {0, 10}, {0, 0}, {10, 0}});
  Kont2D* b = kontFromPoints({{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  Kont2D* q = kontFromPoints(square(7.5, 7.5, 1, true));
  Kont2D* arr[4] = {q, b, a, frame};
  ASSERT_EQ(kontNestArray(arr, 4), 1);
  EXPECT_EQ(a->depth, 2);
  EXPECT_EQ(b->depth, 2);
  EXPECT_EQ(q->depth, 3);
  EXPECT_EQ(islandLinks(arr[0], q), 1);
  EXPECT_EQ(a->child, q);  // the first container in order (smaller xmin)
  EXPECT_EQ(b->child, nullptr);
  kontFree(arr[0]);  // every contour once: AddressSanitizer and LeakSanitizer check it
}

// An odd-depth contour without a container one level up stays reachable from the head.
TEST(KontNestArray, ContainerlessIslandBecomesARegion) {
  // Two contours each starting inside the other: both depth 1, no container of depth 0.
  Kont2D* a = kontFromPoints({{10, 10}, {0, 10}, {0, 0}, {10, 0}});
  Kont2D* b = kontFromPoints({{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  Kont2D* arr[2] = {b, a};
  ASSERT_EQ(kontNestArray(arr, 2), 1);
  EXPECT_EQ(a->depth, 1);
  EXPECT_EQ(arr[0], a);
  EXPECT_EQ(a->next, b);
  kontFree(arr[0]);
}

// Ties are broken by the positions in the array, so both input orders give their own order.
TEST(KontNestArray, TiesFollowTheArrayOrder) {
  for (int flip = 0; flip < 2; ++flip) {
    Kont2D* first = kontFromPoints(square(0, 0, 1));
    Kont2D* second = kontFromPoints(square(0, 5, 1));  // same xmin, same depth, same z
    Kont2D* arr[2] = {flip ? second : first, flip ? first : second};
    Kont2D* const expectedHead = arr[0];
    ASSERT_EQ(kontNestArray(arr, 2), 1);
    EXPECT_EQ(arr[0], expectedHead);
    kontFree(arr[0]);
  }
}

TEST(KontNestArray, EmptyAndNullEntries) {
  EXPECT_EQ(kontNestArray(nullptr, 3), 1);
  Kont2D* k = kontFromPoints(square(0, 0, 1));
  Kont2D* arr[3] = {nullptr, k, nullptr};
  EXPECT_EQ(kontNestArray(arr, 0), 1);
  ASSERT_EQ(kontNestArray(arr, 3), 1);
  EXPECT_EQ(arr[0], k);
  EXPECT_EQ(arr[1], nullptr);
  kontFree(k);
}

// Nest loose contours at one height, then validate the head region.
TEST(KontValidate, Table) {
  struct Case {
    const char* name;
    std::vector<std::vector<Point2D>> contours;
    int openIsland;  // index of a contour marked open, -1 none
    int expected;
  };
  const std::vector<Case> cases = {
      {"square with clockwise island", {square(0, 0, 9), square(0, 0, 2, true)}, -1, 1},
      {"same-orientation island", {square(0, 0, 9), square(0, 0, 2)}, -1, kKontBadIslands},
      {"unclosed island", {square(0, 0, 9), square(0, 0, 2, true)}, 1, kKontBadIslands},
      {"islands disagree",
       {square(0, 0, 9), square(-4, 0, 2, true), square(4, 0, 2)},
       -1,
       kKontBadIslands},
      {"figure eight", {{{0, 0}, {4, 4}, {4, 0}, {0, 4}}}, -1, kKontSelfCrossing},
      {"island crosses outer",
       {square(0, 0, 9), {{7, 0}, {7, 2}, {12, 2}, {12, 0}}},
       -1,
       kKontSelfCrossing},
  };
  for (const Case& c : cases) {
    std::vector<Kont2D*> ks;
    for (std::size_t i = 0; i < c.contours.size(); ++i)
      ks.push_back(kontFromPoints(c.contours[i], 0.0, static_cast<int>(i) == c.openIsland ? 0 : 1));
    ASSERT_EQ(kontNestArray(ks.data(), static_cast<int>(ks.size())), 1) << c.name;
    geoErrReset();
    const double areaBefore = kontArea(ks[0]);
    EXPECT_EQ(kontValidate(ks[0], 3), c.expected) << c.name;
    if (c.expected < 0) {
      EXPECT_EQ(geoErrCode(), c.expected) << c.name;
    }
    EXPECT_EQ(kontArea(ks[0]), areaBefore) << c.name;  // the region is never changed
    kontFree(ks[0]);
  }
}

TEST(KontValidate, FlagsSelectTheChecks) {
  Kont2D* eight = kontFromPoints({{0, 0}, {4, 4}, {4, 0}, {0, 4}});
  EXPECT_EQ(kontValidate(eight, 1), 1);
  EXPECT_EQ(kontValidate(eight, 2), kKontSelfCrossing);
  // Two triangles touching at one vertex: segments that only share end points are no crossing.
  Kont2D* bow = kontFromPoints({{0, 0}, {2, 0}, {1, 1}, {2, 2}, {0, 2}, {1, 1}});
  EXPECT_EQ(kontValidate(bow, 2), 1);
  EXPECT_EQ(kontValidate(nullptr, 3), 0);
  Kont2D* empty = kontNew(nullptr, 3);
  EXPECT_EQ(kontValidate(empty, 3), 0);
  kontSetSkipCheck(1);
  EXPECT_EQ(kontValidate(nullptr, 3), 1);
  EXPECT_EQ(kontValidate(eight, 3), 1);
  kontSetSkipCheck(0);
  kontFree(eight);
  kontFree(bow);
  kontFree(empty);
}

class KontValidateDebug : public qdtest::TempDirTest {};

TEST_F(KontValidateDebug, SelfCrossingRegionIsDumpedAlone) {
  qdtest::writeFile("wogdebug.info", "DEBUG 1\n");
  ASSERT_EQ(geoDebugOn(), 1);
  Kont2D* eight = kontFromPoints({{0, 0}, {4, 4}, {4, 0}, {0, 4}}, 1.0);
  eight->next = kontFromPoints(square(20, 0, 1));
  EXPECT_EQ(kontValidate(eight, 2), kKontSelfCrossing);
  const std::string dump = qdtest::readFile("problem.bnd");
  EXPECT_EQ(dump.rfind("**BND 1 **WZ\nX0.000000 Y0.000000 Z1.000000\n", 0), 0u);
  EXPECT_EQ(dump.find("**BND 2"), std::string::npos);  // the next region is not written
  EXPECT_NE(eight->next, nullptr);                     // and its link is back
  kontFree(eight);
}

}  // namespace
