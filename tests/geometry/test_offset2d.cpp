// Region offsets traced by the contour walker, and the rounding of regions through the Z-path
// fillet: exact squares, the Steiner area of an outward offset, islands, the in-place variant,
// the argument checks and a membership oracle against brute-force distances.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_nest.h"
#include "geometry/kont_region.h"
#include "geometry/offset2d.h"
#include "geometry/walker_hooks.h"
#include "kont_shapes.h"
#include "support/temp_dir.h"
#include "zlevel/zlevel_hooks.h"

using qdtest::kontFromPoints;
using qdtest::kontHangIslands;
using qdtest::polyDistance;
using qdtest::square;
using qdtest::windingNumber;

namespace {

constexpr double kPi = std::numbers::pi;

class Offset2dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zlevelInstallHooks();
    kontResetState();
    geoErrReset();
  }
  void TearDown() override {
    zlevelInstallHooks();
    kontResetState();
  }
};

// The contours of a region list: (region, contour) pairs in walk order.
std::vector<const Kont2D*> contoursOf(const Kont2D* list) {
  std::vector<const Kont2D*> all;
  for (const Kont2D* r = list; r != nullptr; r = r->next)
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) all.push_back(k);
  return all;
}

int regionCount(const Kont2D* list) {
  int n = 0;
  for (const Kont2D* r = list; r != nullptr; r = r->next) ++n;
  return n;
}

int islandCount(const Kont2D* region) {
  int n = 0;
  for (const Kont2D* k = region->child; k != nullptr; k = k->next) ++n;
  return n;
}

// Largest distance from a segment end of the contour to the polygon.
double farthestFrom(const Kont2D* k, const std::vector<Point2D>& poly) {
  double worst = 0.0;
  for (int i = 0; i < k->count; ++i)
    worst = std::fmax(worst, polyDistance(poly, Point2D{k->segments[i].x1, k->segments[i].y1}));
  return worst;
}

// A square with a square island of half side h about the centre.
Kont2D* squareWithIsland(double outer, double h) {
  Kont2D* r = kontFromPoints(square(0, 0, outer));
  kontHangIslands(r, {kontFromPoints(square(0, 0, h, true))});
  return r;
}

// ---- offsets with known results --------------------------------------------------------------

TEST_F(Offset2dTest, SquareShrinksToSquareAndGrowsBySteinerArea) {
  struct Case {
    double d;
    bool cw;
  };
  for (const Case c : {Case{-2.0, false}, Case{-2.0, true}, Case{2.0, false}, Case{2.0, true}}) {
    SCOPED_TRACE(testing::Message() << "d " << c.d << " cw " << c.cw);
    Kont2D* sq = kontFromPoints(square(0, 0, 10, c.cw), 3.5);
    Kont2D* out = nullptr;
    ASSERT_EQ(off2dOffset(sq, c.d, &out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(regionCount(out), 1);
    EXPECT_EQ(out->child, nullptr);
    EXPECT_EQ(kontOrientation(out), c.cw ? -1 : 1) << "the outer contour keeps its sense";
    EXPECT_DOUBLE_EQ(out->z, 3.5);
    const double area = std::fabs(kontArea(out));
    // The walker's chords lie within 0.01 |d| of the exact circle arcs.
    const double chord = 0.01 * std::fabs(c.d);
    if (c.d < 0) {
      EXPECT_NEAR(area, 256.0, 64.0 * chord);
      EXPECT_NEAR(out->xmin, -8.0, 1e-6);
      EXPECT_NEAR(out->xmax, 8.0, 1e-6);
      EXPECT_NEAR(out->ymin, -8.0, 1e-6);
      EXPECT_NEAR(out->ymax, 8.0, 1e-6);
      EXPECT_LT(farthestFrom(out, square(0, 0, 8)), 1e-6);
    } else {
      // Steiner: area + perimeter d + pi d^2.
      EXPECT_NEAR(area, 400.0 + 160.0 + 4.0 * kPi, 2.0 * kPi * 2.0 * chord);
      EXPECT_NEAR(out->xmax, 12.0, 1e-6);
      // Every point lies at the distance d from the square, up to the chord height.
      for (int i = 0; i < out->count; ++i) {
        const Point2D p{out->segments[i].x1, out->segments[i].y1};
        EXPECT_NEAR(polyDistance(square(0, 0, 10), p), 2.0, chord) << i;
      }
    }
    EXPECT_EQ(kontValidate(out, kKontCheckIslands | kKontCheckCrossing), 1);
    kontFree(out);
    kontFree(sq);
  }
}

TEST_F(Offset2dTest, IslandGrowsInwardAndVanishesOutward) {
  Kont2D* r = squareWithIsland(10, 3);
  Kont2D* out = nullptr;
  ASSERT_EQ(off2dOffset(r, -1.0, &out), 1);
  ASSERT_EQ(regionCount(out), 1);
  ASSERT_EQ(islandCount(out), 1) << "the island stays an island of the result";
  const Kont2D* isl = out->child;
  EXPECT_EQ(kontOrientation(out), 1);
  EXPECT_EQ(kontOrientation(isl), -1);
  EXPECT_NEAR(out->xmax, 9.0, 1e-6);
  EXPECT_NEAR(isl->xmax, 4.0, 1e-6) << "the island grows by the distance";
  // Island grown by 1: 36 + 24 + pi; outer 18 x 18.
  EXPECT_NEAR(kontArea(out), 324.0 - (36.0 + 24.0 + kPi), 0.1);
  kontFree(out);

  ASSERT_EQ(off2dOffset(r, 1.0, &out), 1);
  EXPECT_EQ(regionCount(out), 1);
  EXPECT_EQ(out->child, nullptr) << "every island candidate lies inside the outer contour";
  EXPECT_NEAR(out->xmax, 11.0, 1e-6);
  kontFree(out);
  kontFree(r);
}

TEST_F(Offset2dTest, InwardOffsetThatVanishesGivesZero) {
  Kont2D* sq = kontFromPoints(square(0, 0, 1));
  Kont2D* out = reinterpret_cast<Kont2D*>(&sq);  // must be cleared
  EXPECT_EQ(off2dOffset(sq, -2.0, &out), 0);
  EXPECT_EQ(out, nullptr);
  kontFree(sq);
}

// Two 10 x 10 squares joined by a 2 wide corridor, offset by -1.5: two 7 x 7 squares, each with a
// bulge towards the corridor between the circles of radius 1.5 about the corridor's corners:
// 2 x (1.5 - integral over [0, 1] of sqrt(2.25 - t^2)) per square.
const double kWaistBulges = 4.0 * (1.5 - (std::sqrt(1.25) + 2.25 * std::asin(1.0 / 1.5)) / 2.0);

TEST_F(Offset2dTest, InwardOffsetSplitsNarrowWaist) {
  Kont2D* r = kontFromPoints({{0, 0},
                              {10, 0},
                              {10, 4},
                              {14, 4},
                              {14, 0},
                              {24, 0},
                              {24, 10},
                              {14, 10},
                              {14, 6},
                              {10, 6},
                              {10, 10},
                              {0, 10}});
  Kont2D* out = nullptr;
  ASSERT_EQ(off2dOffset(r, -1.5, &out), 1);
  EXPECT_EQ(regionCount(out), 2);
  double area = 0.0;
  for (const Kont2D* k : contoursOf(out)) area += kontArea(k);
  EXPECT_NEAR(area, 2.0 * 7.0 * 7.0 + kWaistBulges, 0.02);
  kontFree(out);
  kontFree(r);
}

TEST_F(Offset2dTest, LoneOpenPolylineIsOffsetOnOneSide) {
  Kont2D* line = kontNew(nullptr, 4);
  const Seg2D a{0, 0, 10, 0}, b{10, 0, 10, 10};
  kontAppendSeg(line, &a);
  kontAppendSeg(line, &b);
  line->z = 0.0;
  Kont2D* out = nullptr;
  const int r = off2dOffset(line, 1.0, &out);
  ASSERT_EQ(r, 1) << geoErrCode();
  EXPECT_EQ(line->closed, 0);
  // The traced path runs at distance 1 beside the polyline.
  for (const Kont2D* k : contoursOf(out)) {
    for (int i = 0; i < k->count; ++i) {
      const Point2D p{k->segments[i].x1, k->segments[i].y1};
      const double dist =
          std::fmin(polyDistance({{0, 0}, {10, 0}}, p), polyDistance({{10, 0}, {10, 10}}, p));
      EXPECT_NEAR(dist, 1.0, 0.011) << i;
    }
  }
  EXPECT_EQ(kontGetSkipCheck(), 0) << "switches restored";
  EXPECT_EQ(kontGetNoRound(), 0);
  kontFree(out);
  kontFree(line);
}

// ---- argument checks and switches -------------------------------------------------------------

TEST_F(Offset2dTest, RefusalsRestoreTheSwitches) {
  Kont2D* sq = kontFromPoints(square(0, 0, 10));
  Kont2D* open = kontFromPoints({{0, 0}, {10, 0}, {10, 10}}, 0.0, 0);
  open->count = 2;  // the closing segment removed: a gap of 14
  kontHangIslands(open, {kontFromPoints(square(5, 2, 1, true))});
  Kont2D* bowTie = kontFromPoints({{0, 0}, {10, 10}, {10, 0}, {0, 10}});
  Kont2D* sameSense = squareWithIsland(10, 3);
  sameSense->child->next = nullptr;
  kontReverse(sameSense->child);  // island running like its outer contour
  struct Case {
    const char* name;
    Kont2D* region;
    double d;
    int expected;
  };
  const Case cases[] = {
      {"tiny distance", sq, 0.000005, 0},
      {"negative tiny distance", sq, -0.000009, 0},
      {"null region", nullptr, 1.0, 0},
      {"open contour with island", open, 1.0, kOff2dOpenWithIslands},
      {"self-crossing region", bowTie, 1.0, kOff2dInvalid},
      {"island like its outer", sameSense, -1.0, kOff2dInvalid},
  };
  for (const int noRound : {0, 1}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      kontSetNoRound(noRound);
      kontSetSkipCheck(0);
      Kont2D* out = reinterpret_cast<Kont2D*>(&sq);
      EXPECT_EQ(off2dOffset(c.region, c.d, &out), c.expected);
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(kontGetNoRound(), noRound);
      EXPECT_EQ(kontGetSkipCheck(), 0);
      if (c.expected < 0) {
        EXPECT_EQ(geoErrCode(), c.expected);
        EXPECT_STREQ(geoErrRecord()->file, "offset2d");
      }
    }
  }
  EXPECT_EQ(off2dOffset(sq, 1.0, nullptr), -20);
  kontFree(sq);
  kontFree(open);
  kontFree(bowTie);
  kontFree(sameSense);
}

TEST_F(Offset2dTest, SuccessRestoresSetSwitches) {
  Kont2D* sq = kontFromPoints(square(0, 0, 10));
  kontSetNoRound(1);
  kontSetSkipCheck(1);
  Kont2D* out = nullptr;
  EXPECT_EQ(off2dOffset(sq, -1.0, &out), 1);
  EXPECT_EQ(kontGetNoRound(), 1);
  EXPECT_EQ(kontGetSkipCheck(), 1);
  kontFree(out);
  kontFree(sq);
}

// Without the walker every try fails: the region goes to the problem file in the work directory
// (not the current one), and the failure code comes back.
TEST_F(Offset2dTest, TenFailedTriesWriteProblemFileInWorkDirectory) {
  qdtest::ScopedTempDir dir;
  ASSERT_EQ(mkdir("work", 0755), 0);
  geoSetWorkDir("work");
  walkSetHooks(nullptr);
  Kont2D* sq = kontFromPoints(square(0, 0, 10));
  Kont2D* out = nullptr;
  EXPECT_EQ(off2dOffset(sq, -1.0, &out), -1);
  EXPECT_EQ(out, nullptr);
  zlevelInstallHooks();
  geoResetState();
  std::ifstream in("work/offset_problem.bnd");
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("**BND"), std::string::npos);
  EXPECT_FALSE(std::ifstream("offset_problem.bnd").good());
  kontFree(sq);
}

// ---- in place -----------------------------------------------------------------------------------

TEST_F(Offset2dTest, InPlaceKeepsPlaceInList) {
  Kont2D* first = kontFromPoints(square(-100, 0, 5));
  Kont2D* mid = kontFromPoints({{0, 0},
                                {10, 0},
                                {10, 4},
                                {14, 4},
                                {14, 0},
                                {24, 0},
                                {24, 10},
                                {14, 10},
                                {14, 6},
                                {10, 6},
                                {10, 10},
                                {0, 10}});
  kontHangIslands(mid, {kontFromPoints(square(5, 5, 1, true))});
  Kont2D* last = kontFromPoints(square(100, 0, 5));
  first->next = mid;
  mid->prev = first;
  mid->next = last;
  last->prev = mid;

  ASSERT_EQ(kontOffsetInPlace(mid, -1.5), 1);
  EXPECT_EQ(first->next, mid) << "the predecessor still points to the record";
  EXPECT_EQ(mid->prev, first);
  ASSERT_NE(mid->next, nullptr);
  Kont2D* second = mid->next;
  EXPECT_NE(second, last) << "the second result region follows the record";
  EXPECT_EQ(second->prev, mid);
  EXPECT_EQ(second->next, last) << "the old successors follow the result regions";
  EXPECT_EQ(last->prev, second);
  // The left square with its grown island, and the right square.
  ASSERT_NE(mid->child, nullptr);
  EXPECT_EQ(mid->child->prev, mid);
  EXPECT_NEAR(mid->child->xmax, 7.5, 1e-6);
  // The two squares of the waist, less the island grown by 1.5 (2 x 2 + 4 x 2 x 1.5 + pi 1.5^2).
  EXPECT_NEAR(kontArea(mid) + kontArea(second), 98.0 + kWaistBulges - (16.0 + 2.25 * kPi), 0.05);

  EXPECT_EQ(kontOffsetInPlace(mid, 0.000001), 0);
  EXPECT_EQ(kontOffsetInPlace(nullptr, 1.0), 0);
  Kont2D* small = kontFromPoints(square(0, 0, 1));
  EXPECT_EQ(kontOffsetInPlace(small, -5.0), 0);
  EXPECT_EQ(small->count, 4) << "a vanished offset leaves the region as it was";
  Kont2D* island = kontFromPoints(square(0, 0, 0.5, true));
  small->count = 3;  // open: the closing segment gone
  kontHangIslands(small, {island});
  geoErrReset();
  EXPECT_EQ(kontOffsetInPlace(small, 1.0), kOff2dOpenWithIslands);
  EXPECT_EQ(small->count, 3);
  EXPECT_EQ(small->child, island);
  EXPECT_EQ(geoErrCode(), kOff2dOpenWithIslands);
  EXPECT_STREQ(geoErrRecord()->file, "kont2d");
  kontFree(small);
  kontFree(first);
}

// ---- membership oracle ------------------------------------------------------------------------

// Random star regions with star islands: a point clearly inside the result is one within d of the
// outer polygon (d > 0; the islands are filled) or inside the region and farther than |d| from
// every contour (d < 0).
TEST_F(Offset2dTest, MembershipMatchesBruteForceDistance) {
  std::mt19937 rng(20261211);
  for (int trial = 0; trial < 6; ++trial) {
    std::vector<Point2D> outer = qdtest::star(rng, {0, 0}, 40, 30, 50, false);
    std::vector<std::vector<Point2D>> islands;
    Kont2D* region = kontFromPoints(outer);
    if (trial % 2 == 0) {
      islands.push_back(qdtest::star(rng, {-10, 0}, 12, 4, 7, true));
      islands.push_back(qdtest::star(rng, {12, 5}, 12, 3, 6, true));
      std::vector<Kont2D*> isl;
      for (const auto& p : islands) isl.push_back(kontFromPoints(p));
      kontHangIslands(region, isl);
    }
    for (const double d : {-2.5, 1.5}) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << " d " << d);
      Kont2D* out = nullptr;
      ASSERT_EQ(off2dOffset(region, d, &out), 1) << geoErrCode();
      std::uniform_real_distribution<double> coord(-55, 55);
      int checked = 0;
      for (int s = 0; s < 3000; ++s) {
        const Point2D p{coord(rng), coord(rng)};
        const bool inOuter = windingNumber(outer, p) != 0;
        double dist = polyDistance(outer, p);
        bool inRegion = inOuter;
        for (const auto& isl : islands) {
          dist = std::fmin(dist, polyDistance(isl, p));
          if (windingNumber(isl, p) != 0) inRegion = false;
        }
        bool expected;
        double margin;
        if (d > 0) {
          const double outerDist = inOuter ? 0.0 : polyDistance(outer, p);
          expected = outerDist <= d;
          margin = std::fabs(outerDist - d);
        } else {
          expected = inRegion && dist >= -d;
          margin = inRegion ? std::fabs(dist + d) : 1.0;
        }
        if (margin < 0.02 * std::fabs(d)) continue;  // within the chord height of the boundary
        ++checked;
        bool inside = false;
        for (const Kont2D* r = out; r != nullptr; r = r->next)
          inside = inside || kontClassifyPoint(r, p) == 2;
        EXPECT_EQ(inside, expected) << p.x << " " << p.y;
      }
      EXPECT_GT(checked, 2500);
      kontFree(out);
    }
    kontFree(region);
  }
}

// ---- rounding of regions ----------------------------------------------------------------------

TEST_F(Offset2dTest, FilletRoundsSquareAndKeepsIsland) {
  Kont2D* r = squareWithIsland(10, 3);
  ASSERT_EQ(kontFillet(r, 2.0), 1);
  // The outer contour: four quarter circles of radius 2 (0.99 offset: the arcs may lie 0.02
  // outside); the square island has no corner the free side sees, so it keeps its area.
  const double outerArea = std::fabs(kontArea(r)) + std::fabs(kontArea(r->child));
  EXPECT_NEAR(outerArea, 400.0 - (4.0 - kPi) * 4.0, 0.5);
  EXPECT_NEAR(std::fabs(kontArea(r->child)), 36.0, 1e-3);
  EXPECT_EQ(kontOrientation(r), 1);
  EXPECT_EQ(kontOrientation(r->child), -1);
  for (int i = 0; i < r->count; ++i) {
    const Point2D p{r->segments[i].x1, r->segments[i].y1};
    EXPECT_GT(std::hypot(std::fabs(p.x) - 10.0, std::fabs(p.y) - 10.0), 0.5) << "corner left";
  }
  EXPECT_EQ(kontValidate(r, kKontCheckIslands | kKontCheckCrossing), 1);
  kontFree(r);

  Kont2D* sq = kontFromPoints(square(0, 0, 10));
  EXPECT_EQ(kontFillet(sq, 0.0), 0);
  EXPECT_EQ(kontFillet(sq, -1.0), 0);
  EXPECT_EQ(sq->count, 4);
  EXPECT_EQ(kontFillet(nullptr, 1.0), 0);
  // A radius the square cannot take: the contour stays as it was.
  EXPECT_EQ(kontFillet(sq, 11.0), 0);
  EXPECT_EQ(sq->count, 4);
  EXPECT_DOUBLE_EQ(kontArea(sq), 400.0);
  kontFree(sq);
}

}  // namespace
