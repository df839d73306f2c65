// Tests of the contour record: construction and growth, release, switches, point tests against a
// winding number oracle, and the boundary text file writers.
#include <gtest/gtest.h>

#include <cfloat>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "kont_shapes.h"
#include "support/temp_dir.h"

namespace {

using qdtest::kontFromPoints;
using qdtest::square;

TEST(KontNew, SmallCapacityAndInvertedBox) {
  Kont2D* k = kontNew(nullptr, 0);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->capacity, 3);
  EXPECT_EQ(k->ownsSegments, 1);
  EXPECT_EQ(k->xmin, 1e10);
  EXPECT_EQ(k->xmax, -1e10);
  EXPECT_EQ(k->z, DBL_MAX);
  EXPECT_EQ(kontUpdateBox(k), 0);  // empty
  kontFree(k);
}

TEST(KontAppendSeg, GrowsByHalfAndWidensTheBox) {
  Kont2D* k = kontNew(nullptr, 3);
  const int expectedCap[] = {3, 3, 3, 4, 6, 6, 9};
  for (int i = 0; i < 7; ++i) {
    const Seg2D s{1.0 * i, -1.0 * i, i + 1.0, 2.0 * i};
    ASSERT_EQ(kontAppendSeg(k, &s), 1);
    EXPECT_EQ(k->capacity, expectedCap[i]) << i;
  }
  EXPECT_EQ(k->count, 7);
  EXPECT_EQ(k->xmin, 0.0);
  EXPECT_EQ(k->xmax, 7.0);
  EXPECT_EQ(k->ymin, -6.0);
  EXPECT_EQ(k->ymax, 12.0);
  EXPECT_EQ(k->segments[6].x1, 6.0);
  EXPECT_EQ(kontAppendSeg(nullptr, &k->segments[0]), -1);
  EXPECT_EQ(geoErrCode(), -1);
  kontFree(k);
}

// Appending beyond a caller's array reallocated memory the contour did not own.
TEST(KontAppendSeg, CallersArrayIsNeverReallocated) {
  Seg2D mine[3] = {};
  Kont2D* k = kontNew(mine, 3);
  ASSERT_EQ(k->ownsSegments, 0);
  for (int i = 0; i < 5; ++i) {
    const Seg2D s{1.0 * i, 0, i + 1.0, 0};
    ASSERT_EQ(kontAppendSeg(k, &s), 1);
  }
  EXPECT_NE(k->segments, mine);
  EXPECT_EQ(k->ownsSegments, 1);
  EXPECT_EQ(k->capacity, 6);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(k->segments[i].x1, 1.0 * i);
  EXPECT_EQ(mine[2].x1, 2.0);  // the caller's array keeps what was written while it was used
  kontFree(k);                 // frees the new array, never the caller's
}

TEST(KontAppendSeg, FailedGrowthKeepsTheContour) {
  Kont2D* k = kontFromPoints(square(0, 0, 1));  // four segments, capacity 4
  Seg2D mine[3] = {};
  Kont2D* borrowed = kontNew(mine, 3);
  for (int i = 0; i < 3; ++i) kontAppendSeg(borrowed, &k->segments[i]);
  memTestFailAt(1);
  EXPECT_EQ(kontAppendSeg(k, &k->segments[0]), -1);
  memTestFailAt(1);
  EXPECT_EQ(kontAppendSeg(borrowed, &k->segments[0]), -1);
  memTestFailAt(0);
  EXPECT_EQ(k->count, 4);
  EXPECT_EQ(borrowed->segments, mine);
  EXPECT_EQ(borrowed->ownsSegments, 0);
  // An element of the contour's own array may be appended while the array moves.
  ASSERT_EQ(kontAppendSeg(k, &k->segments[1]), 1);
  EXPECT_EQ(k->segments[4].x1, k->segments[1].x1);
  kontFree(k);
  kontFree(borrowed);
}

TEST(KontReset, KeepsZLinksAndArray) {
  Kont2D* k = kontFromPoints(square(0, 0, 1), 4.0);
  k->flags = 3;
  Seg2D* array = k->segments;
  EXPECT_EQ(kontReset(k), 1);
  EXPECT_EQ(k->count, 0);
  EXPECT_EQ(k->xmin, DBL_MAX);
  EXPECT_EQ(k->xmax, -DBL_MAX);
  EXPECT_EQ(k->flags, 0);
  EXPECT_EQ(k->z, 4.0);
  EXPECT_EQ(k->segments, array);
  EXPECT_EQ(kontReset(nullptr), 1);
  kontFree(k);
}

// Freeing recursed along the chains, so a long list overflowed the stack.
TEST(KontFree, LongChainsAndIslandsAreFreedIteratively) {
  static Seg2D shared[3];
  Kont2D* head = kontNew(shared, 3);
  Kont2D* last = head;
  for (int i = 0; i < 300000; ++i) {
    Kont2D* k = kontNew(shared, 3);
    if (i % 1000 == 0) {  // every thousandth region gets a chain of islands with owned data
      Kont2D* isl = kontNew(nullptr, 5);
      isl->extra = lstIntNew(4);
      isl->flags = kKontOwnsExtra;
      isl->next = kontNew(nullptr, 3);
      k->child = isl;
    }
    last->next = k;
    last = k;
  }
  kontFree(head);  // LeakSanitizer checks that every record and array went
  kontFree(nullptr);
}

TEST(KontSwitches, StoredAsZeroOrOne) {
  EXPECT_EQ(kontGetNoRound(), 0);
  EXPECT_EQ(kontGetSkipCheck(), 0);
  kontSetNoRound(7);
  kontSetSkipCheck(-1);
  EXPECT_EQ(kontGetNoRound(), 1);
  EXPECT_EQ(kontGetSkipCheck(), 1);
  kontSetNoRound(0);
  EXPECT_EQ(kontGetNoRound(), 0);
  kontResetState();
  EXPECT_EQ(kontGetSkipCheck(), 0);
}

TEST(GeoPointInKont, DegenerateAndStaleBox) {
  Kont2D* k = kontFromPoints(square(0, 0, 1));
  EXPECT_EQ(geoPointInKont({0, 0}, k), 1);
  EXPECT_EQ(geoPointInKont({0, 0}, nullptr), 0);
  k->count = 2;
  EXPECT_EQ(geoPointInKont({0, 0}, k), 0);
  k->count = 4;
  k->xmax = -0.5;  // stale box: the point lies outside it, the segments are not looked at
  EXPECT_EQ(geoPointInKont({0, 0}, k), 0);
  kontFree(k);
}

// Random star-shaped regions with islands against the winding number; points off the edges.
TEST(GeoPointInKont, MatchesWindingNumberOnRandomRegions) {
  std::mt19937 rng(4711);
  std::uniform_real_distribution<double> coord(-110.0, 110.0);
  for (int round = 0; round < 20; ++round) {
    const auto outerPts = qdtest::star(rng, {0, 0}, 8 + round * 3, 60.0, 100.0, false);
    std::vector<std::vector<Point2D>> islandPts;
    const Point2D centres[] = {{-30, 0}, {30, 0}, {0, 30}, {0, -30}};
    for (int i = 0; i < 1 + round % 4; ++i)
      islandPts.push_back(qdtest::star(rng, centres[i], 5 + i, 4.0, 12.0, true));
    Kont2D* region = kontFromPoints(outerPts);
    std::vector<Kont2D*> islands;
    for (const auto& p : islandPts) islands.push_back(kontFromPoints(p));
    qdtest::kontHangIslands(region, islands);
    for (int t = 0; t < 400; ++t) {
      const Point2D q{coord(rng), coord(rng)};
      bool nearEdge = qdtest::polyDistance(outerPts, q) < 1e-6;
      for (const auto& p : islandPts) nearEdge = nearEdge || qdtest::polyDistance(p, q) < 1e-6;
      if (nearEdge) continue;
      const bool inOuter = qdtest::windingNumber(outerPts, q) != 0;
      bool inIsland = false;
      for (const auto& p : islandPts) inIsland = inIsland || qdtest::windingNumber(p, q) != 0;
      EXPECT_EQ(geoPointInKont(q, region), inOuter ? 1 : 0) << q.x << " " << q.y;
      const int expected = !inOuter ? 1 : (inIsland ? 4 : 2);
      EXPECT_EQ(kontClassifyPoint(region, q), expected) << q.x << " " << q.y;
    }
    kontFree(region);
  }
}

TEST(GeoPointInKontBand, UnitSquareTable) {
  Kont2D* k = kontFromPoints({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  struct Case {
    Point2D p;
    double band;
    int expected;
  } cases[] = {
      {{0.5, -0.3}, 0.5, 1}, {{0.5, -0.3}, 0.0, 0}, {{0.5, 0.3}, -0.2, 1},
      {{0.5, 0.3}, -0.5, 0}, {{0.5, 0.3}, -0.3, 0},  // exactly on the band edge
      {{1.2, 1.2}, 0.5, 1},  // near a corner: in the band of the segment ends
      {{1.5, 1.5}, 0.5, 0},  {{0.5, 0.5}, 0.0, 1},  {{0.5, 0.5}, -0.4, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(geoPointInKontBand(c.p, k, c.band), c.expected)
        << c.p.x << " " << c.p.y << " band " << c.band;
  EXPECT_EQ(geoPointInKontBand({0, 0}, nullptr, 1.0), 0);
  kontFree(k);
}

TEST(GeoOnKont, FineCoarseAndTolWalkTheIslands) {
  Kont2D* region = kontFromPoints(square(0, 0, 10));
  qdtest::kontHangIslands(region, {kontFromPoints(square(0, 0, 2, true))});
  EXPECT_EQ(geoOnKontFine({10.0005, 3}, region), 1);
  EXPECT_EQ(geoOnKontFine({2.0005, 1}, region), 1);  // on the island
  EXPECT_EQ(geoOnKontFine({2.005, 1}, region), 0);
  EXPECT_EQ(geoOnKontCoarse({2.005, 1}, region), 1);
  EXPECT_EQ(geoOnKontTol({2.3, 1}, region, 0.5), 1);
  EXPECT_EQ(geoOnKontTol({5, 5}, region, 0.5), 0);
  EXPECT_EQ(geoOnKontFine({0, 0}, nullptr), 0);
  kontFree(region);
}

class KontWriters : public qdtest::TempDirTest {};

TEST_F(KontWriters, WzBlocksInWalkOrderAndGapsOpenBlocks) {
  Kont2D* region = kontFromPoints({{0, 0}, {4, 0}, {4, 4}}, 2.5);
  qdtest::kontHangIslands(region, {kontFromPoints({{1, 1}, {1, 2}, {2, 1}}, 2.5)});
  // A second region whose contour has a gap after its first segment.
  Kont2D* second = kontNew(nullptr, 3);
  const Seg2D a{10, 0, 11, 0}, b{12, 0, 12, 1}, c{12, 1, 10, 0};
  kontAppendSeg(second, &a);
  kontAppendSeg(second, &b);
  kontAppendSeg(second, &c);
  second->z = -1;
  region->next = second;
  ASSERT_EQ(kontAppendBndWz(region, "out.bnd"), 1);
  ASSERT_EQ(kontAppendBndWz(second, "out.bnd"), 1);  // appends, numbering goes on
  const std::string expected =
      "**BND 1 **WZ\nX0.000000 Y0.000000 Z2.500000\nX4.000000 Y0.000000 Z2.500000\n"
      "X4.000000 Y4.000000 Z2.500000\nX0.000000 Y0.000000 Z2.500000\n**END\n"
      "**BND 2 **WZ\nX1.000000 Y1.000000 Z2.500000\nX1.000000 Y2.000000 Z2.500000\n"
      "X2.000000 Y1.000000 Z2.500000\nX1.000000 Y1.000000 Z2.500000\n**END\n"
      "**BND 3 **WZ\nX10.000000 Y0.000000 Z-1.000000\nX11.000000 Y0.000000 Z-1.000000\n**END\n"
      "**BND 4 **WZ\nX12.000000 Y0.000000 Z-1.000000\nX12.000000 Y1.000000 Z-1.000000\n"
      "X10.000000 Y0.000000 Z-1.000000\n**END\n";
  const std::string secondAgain = expected.substr(expected.find("**BND 3"));
  std::string renumbered = secondAgain;
  renumbered.replace(renumbered.find("**BND 3"), 7, "**BND 5");
  renumbered.replace(renumbered.find("**BND 4"), 7, "**BND 6");
  EXPECT_EQ(qdtest::readFile("out.bnd"), expected + renumbered);
  kontFree(region);
}

TEST_F(KontWriters, WorldBlocksAreMappedBackAndCountedApart) {
  csysSetTool({100, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  Kont2D* k = kontFromPoints({{0, 0}, {1, 0}, {0, 1}}, 3.0);
  ASSERT_EQ(kontAppendBndWz(k, "wz.bnd"), 1);
  ASSERT_EQ(kontAppendBnd(k, "w.bnd"), 1);
  EXPECT_EQ(qdtest::readFile("w.bnd"),
            "**BND 1\nX100.000000 Y0.000000 Z3.000000\nX101.000000 Y0.000000 Z3.000000\n"
            "X100.000000 Y1.000000 Z3.000000\nX100.000000 Y0.000000 Z3.000000\n**END\n");
  EXPECT_EQ(kontAppendBnd(nullptr, "w.bnd"), 0);
  Kont2D* empty = kontNew(nullptr, 3);
  EXPECT_EQ(kontAppendBnd(empty, "w.bnd"), 0);
  EXPECT_EQ(kontAppendBnd(k, "no/such/folder/w.bnd"), -1);
  EXPECT_EQ(geoErrCode(), -1);
  kontFree(k);
  kontFree(empty);
  csysResetState();
}

}  // namespace
