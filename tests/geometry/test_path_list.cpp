// Tests of the toolpath point list: ordered inserts against a reference model of the tie rule,
// all-or-nothing growth, lookups, splits, densification, thinning and the z filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/geo_random.h"
#include "geometry/path_list.h"

namespace {
const Point3D kUp{0, 0, 1};

struct ListPtr {
  PathList* l;
  explicit ListPtr(PathList* p) : l(p) {}
  ~ListPtr() { pathListFree(l); }
  PathList* operator->() const { return l; }
  operator PathList*() const { return l; }
};

// A list of points (x, 0, z) with parameters 0, 1, 2, ...
PathList* lineList(const std::vector<Point3D>& pts, bool axes = false) {
  PathList* l = pathListNew(static_cast<int>(pts.size()) + 1, axes ? 1 : 0);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    EXPECT_GE(pathListInsert(l, static_cast<double>(i), pts[i], 0, &kUp, 1), 0);
  }
  return l;
}

double distToSegment(const Point3D& p, const Point3D& a, const Point3D& b) {
  const Point3D ab{b.x - a.x, b.y - a.y, b.z - a.z}, ap{p.x - a.x, p.y - a.y, p.z - a.z};
  const double l2 = ab.x * ab.x + ab.y * ab.y + ab.z * ab.z;
  double t = l2 > 0 ? (ap.x * ab.x + ap.y * ab.y + ap.z * ab.z) / l2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return vecDistance(p, {a.x + t * ab.x, a.y + t * ab.y, a.z + t * ab.z});
}

class PathListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pathListResetState();
    geoResetState();
    memTestFailAt(0);
  }
  void TearDown() override { memTestFailAt(0); }
};
}  // namespace

// Random inserts with many equal parameters against a model: a rising list sorts by parameter
// with the later insert first among equals; a falling list sorts the other way, later last.
TEST_F(PathListTest, RandomInsertsFollowTheTieRule) {
  std::mt19937 rng(3);
  for (int falling = 0; falling < 2; ++falling) {
    for (int round = 0; round < 20; ++round) {
      ListPtr l(pathListNew(2, 0));
      struct Item {
        double param;
        int seq;
      };
      std::vector<Item> model;
      if (falling) {  // a falling start: distinct parameters 40, 30, 20, 10, 0
        for (int k = 0; k < 5; ++k) {
          pathListInsert(l, 10.0 * k, {0, 0, -1.0 - k}, 0, nullptr, 0);
          model.push_back({10.0 * k, -1 - k});
        }
        pathListReverse(l);
      }
      std::uniform_int_distribution<int> pick(0, 40);
      for (int seq = 0; seq < 60; ++seq) {
        const double x = pick(rng) + (seq % 3 == 0 ? 4e-6 : 0.0);  // equal within 1e-5
        ASSERT_GE(pathListInsert(l, x, {0, 0, static_cast<double>(seq)}, 0, nullptr, 0), 0);
        model.push_back({std::round(x), seq});
      }
      std::stable_sort(model.begin(), model.end(), [falling](const Item& a, const Item& b) {
        if (a.param != b.param) return falling ? a.param > b.param : a.param < b.param;
        return falling ? a.seq < b.seq : a.seq > b.seq;
      });
      ASSERT_EQ(l->count, static_cast<int>(model.size()));
      for (int i = 0; i < l->count; ++i) {
        ASSERT_EQ(l->positions[i].z, model[i].seq) << "falling " << falling << " at " << i;
      }
    }
  }
}

TEST_F(PathListTest, InsertEdgeCases) {
  ListPtr l(pathListNew(2, 0));
  ASSERT_EQ(l->capacity, 2);
  for (int i = 0; i < 3; ++i) pathListInsert(l, i, {double(i), 0, 0}, 0, nullptr, 0);
  EXPECT_EQ(pathListInsert(l, 1.0, {9, 0, 0}, 0x0205, nullptr, 0), 1);
  EXPECT_EQ(l->codes[1], 0x0200);  // a gap loses its kind
  EXPECT_EQ(l->positions[2].x, 1.0);
  // Capacity 2 grows to 3, 4, 6.
  ListPtr g(pathListNew(2, 0));
  std::vector<int> caps;
  for (int i = 0; i < 5; ++i) {
    pathListInsert(g, i, {0, 0, 0}, 0, nullptr, 0);
    caps.push_back(g->capacity);
  }
  EXPECT_EQ(caps, (std::vector<int>{2, 2, 3, 4, 6}));
  // 2 then 1 into an empty list: fewer than two points count as rising.
  ListPtr r(pathListNew(4, 0));
  pathListInsert(r, 2, {0, 0, 0}, 0, nullptr, 0);
  pathListInsert(r, 1, {0, 0, 0}, 0, nullptr, 0);
  EXPECT_EQ(r->params[0], 1.0);
  EXPECT_EQ(pathListInsert(nullptr, 0, {0, 0, 0}, 0, nullptr, 0), -1);
  ListPtr ax(pathListNew(4, 1));
  EXPECT_EQ(pathListInsert(ax, 0, {0, 0, 0}, 0, nullptr, 0), -20);  // an axis list needs axes
  EXPECT_EQ(ax->count, 0);
}

// Growth is all or nothing: whichever allocation fails, the list keeps its points and room, and
// the next insert works.
TEST_F(PathListTest, FailedGrowthLeavesTheListIntact) {
  for (int failAt = 1; failAt <= 5; ++failAt) {
    ListPtr l(pathListNew(2, 1));
    const Point3D ax{0, 1, 0};
    pathListInsert(l, 0, {1, 2, 3}, 7, &ax, 1);
    pathListInsert(l, 1, {4, 5, 6}, 8, &ax, 0);
    memTestFailAt(failAt);
    const int r = pathListInsert(l, 2, {7, 8, 9}, 9, &ax, 1);
    memTestFailAt(0);
    if (r == -1) {
      EXPECT_EQ(l->count, 2);
      EXPECT_EQ(l->capacity, 2);
    } else {
      EXPECT_EQ(r, 2);
    }
    EXPECT_EQ(l->positions[1].z, 6.0);
    EXPECT_EQ(l->codes[0], 7);
    EXPECT_GE(pathListInsert(l, 3, {0, 0, 0}, 0, &ax, 1), 0);
    EXPECT_EQ(l->axes[1].y, 1.0);
  }
}

// A list asked to carry axes never comes back without them.
TEST_F(PathListTest, NewWithAxesHasAxesOrFails) {
  bool sawNull = false, sawSmall = false;
  for (int failAt = 1; failAt <= 12; ++failAt) {
    memTestFailAt(failAt);
    PathList* l = pathListNew(1000, 1);
    memTestFailAt(0);
    if (l == nullptr) {
      sawNull = true;
      continue;
    }
    EXPECT_NE(l->axes, nullptr);
    EXPECT_NE(l->axisSet, nullptr);
    if (l->capacity == 100) sawSmall = true;  // the second try with a tenth
    pathListFree(l);
  }
  EXPECT_TRUE(sawNull);
  EXPECT_TRUE(sawSmall);
  PathList* big = pathListNew(1000000, 0);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->capacity, kPathListMaxInitial);
  pathListFree(big);
  EXPECT_EQ(pathListNew(0, 0), nullptr);
}

TEST_F(PathListTest, FindParamAlsoInFullListsAndSequentially) {
  ListPtr l(pathListNew(4, 1));
  const Point3D ax{1, 0, 0};
  for (int i = 0; i < 4; ++i) pathListInsert(l, i * 0.5, {double(i), 0, 0}, 0, &ax, 1);
  ASSERT_EQ(l->count, l->capacity);  // full
  for (int i = 0; i < 4; ++i) {
    Point3D p, a;
    int has = 0;
    EXPECT_EQ(pathListFindParam(l, i * 0.5 + 5e-6, &p, &a, &has), i);
    EXPECT_EQ(p.x, i);
    EXPECT_EQ(has, 1);
    EXPECT_EQ(a.x, 1.0);
  }
  EXPECT_EQ(pathListFindParam(l, 0.25, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(pathListFindParam(l, 0.0, nullptr, nullptr, nullptr), 0);  // after a miss
  ListPtr e(pathListNew(4, 0));
  EXPECT_EQ(pathListFindParam(e, 0.0, nullptr, nullptr, nullptr), -1);
}

TEST_F(PathListTest, InterpolatedLookups) {
  ListPtr l(lineList({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}));
  struct Case {
    double x;
    int interp, fwd, back;
    Point3D pos;  // expected from the backward search when it answers
  };
  const Case cases[] = {
      {0.5, 0, 0, 0, {5, 0, 0}},   {1.0, 0, 0, 1, {10, 0, 0}}, {1.5, 1, 1, 1, {10, 5, 0}},
      {2.0, 1, 1, 1, {10, 10, 0}}, {-0.5, -1, 0, -1, {}},      {2.5, -1, -1, 1, {10, 15, 0}},
  };
  for (const Case& c : cases) {
    Point3D p{};
    EXPECT_EQ(pathListInterpAt(l, c.x, &p), c.interp) << c.x;
    EXPECT_EQ(pathListPosFwd(c.x, l, &p), c.fwd) << c.x;
    const int b = pathListPosBack(c.x, l, &p);
    EXPECT_EQ(b, c.back) << c.x;
    if (b >= 0) {
      EXPECT_NEAR(p.x, c.pos.x, 1e-12);
      EXPECT_NEAR(p.y, c.pos.y, 1e-12);
    }
  }
  Point3D p;
  EXPECT_EQ(pathListPosFwd(-0.5, l, &p), 0);
  EXPECT_NEAR(p.x, -5.0, 1e-12);  // extrapolated along the first move
  EXPECT_EQ(pathListPosAt(l, 1.9, &p), 1);
  EXPECT_NEAR(p.y, 9.0, 1e-12);
  ListPtr one(lineList({{1, 2, 3}}));
  EXPECT_EQ(pathListInterpAt(one, 0.0, &p), 0);
  EXPECT_EQ(pathListInterpAt(one, 0.1, &p), -1);
}

TEST_F(PathListTest, AxisAtTurnsBetweenTheAxes) {
  ListPtr l(pathListNew(4, 1));
  const Point3D a{0, 0, 1}, b{1, 0, 0};
  pathListInsert(l, 0, {0, 0, 0}, 0, &a, 1);
  pathListInsert(l, 1, {1, 0, 0}, 0, &b, 1);
  Point3D p, ax;
  ASSERT_EQ(pathListAxisAt(l, 0.5, &p, &ax), 1);
  EXPECT_NEAR(ax.x, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(ax.z, std::sqrt(0.5), 1e-12);
  ListPtr noAxes(lineList({{0, 0, 0}, {1, 0, 0}}));
  EXPECT_EQ(pathListAxisAt(noAxes, 0.5, &p, &ax), -1);
}

TEST_F(PathListTest, SplitAt) {
  ListPtr l(lineList({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}));
  EXPECT_EQ(pathListSplitAt(l, 1.05, 0.1), 0);
  EXPECT_EQ(pathListLastSplit(), 1);
  EXPECT_EQ(pathListSplitAt(l, 0.3, 0.1), 1);
  EXPECT_EQ(pathListLastSplit(), 1);
  EXPECT_EQ(l->count, 4);
  EXPECT_NEAR(l->positions[1].x, 3.0, 1e-12);
  EXPECT_EQ(l->codes[1], 1);
  EXPECT_EQ(pathListSplitAt(l, 5.0, 0.1), -1);
  EXPECT_EQ(pathListLastSplit(), -1);
  // A falling list splits too.
  pathListReverse(l);
  EXPECT_EQ(pathListSplitAt(l, 1.5, 0.01), 1);
  EXPECT_NEAR(l->positions[pathListLastSplit()].x, 15.0, 1e-12);
  EXPECT_GT(l->params[pathListLastSplit() - 1], l->params[pathListLastSplit()]);
}

TEST_F(PathListTest, CopiesKeepOrderSenseAndAxes) {
  ListPtr src(lineList({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, true));
  src->sense = 1;
  pathListReverse(src);  // params 3, 2, 1, 0; sense -1
  EXPECT_EQ(src->sense, -1);
  ListPtr dst(pathListNew(2, 1));
  ASSERT_EQ(pathListCopyRange(dst, src, 1, 3), 1);
  ASSERT_EQ(dst->count, 3);
  EXPECT_EQ(dst->params[0], 2.0);
  EXPECT_EQ(dst->params[2], 0.0);
  EXPECT_EQ(dst->sense, -1);
  EXPECT_EQ(pathListCopyRange(dst, src, 2, 1), 1);
  EXPECT_EQ(dst->count, 0);
  EXPECT_EQ(pathListCopyRange(dst, src, 0, 4), -20);
  ListPtr plain(lineList({{0, 0, 0}, {1, 0, 0}}));
  ASSERT_EQ(pathListCopy(dst, plain), 1);
  EXPECT_EQ(dst->axes[1].z, 1.0);
  EXPECT_EQ(dst->axisSet[1], 0);
  // Unmarked copy.
  pathListSetClass(src, 1, kPathClassMarked);
  ASSERT_EQ(pathListCopyUnmarked(src, dst), 1);
  EXPECT_EQ(dst->count, 3);
  EXPECT_EQ(dst->capacity, 4);
  EXPECT_EQ(dst->params[1], 1.0);
  EXPECT_EQ(pathListCopyUnmarked(src, nullptr), -1);
}

TEST_F(PathListTest, ShiftStartOpenAndClosed) {
  ListPtr closed(lineList({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}}));
  pathListShiftStart(closed, 2);
  ASSERT_EQ(closed->count, 5);
  const double xs[] = {1, 0, 0, 1, 1}, ys[] = {1, 1, 0, 0, 1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(closed->positions[i].x, xs[i]) << i;
    EXPECT_EQ(closed->positions[i].y, ys[i]) << i;
  }
  ListPtr open(lineList({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
  pathListShiftStart(open, 3);
  ASSERT_EQ(open->count, 1);
  EXPECT_EQ(open->positions[0].x, 3.0);
  pathListShiftStart(open, 1);  // n >= count: nothing
  EXPECT_EQ(open->count, 1);
}

TEST_F(PathListTest, IndexArgumentsAreChecked) {
  ListPtr l(lineList({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
  int p = -1, q = -1;
  EXPECT_EQ(pathListNeighbours(l, 4, &p, &q), -20);
  EXPECT_EQ(pathListNeighbours(l, -1, &p, &q), -20);
  EXPECT_EQ(pathListNeighbours(l, 0, &p, &q), -1);
  pathListSetClass(l, 2, kPathClassThinMark);
  EXPECT_EQ(pathListNeighbours(l, 1, &p, &q), 0);
  EXPECT_EQ(q, 3);
  EXPECT_EQ(pathListCutRange(l, 2, 4), -20);
  EXPECT_EQ(pathListCutRange(l, -1, 1), -20);
  EXPECT_EQ(l->count, 4);
  EXPECT_EQ(pathListCutRange(l, 2, 1), 0);
  EXPECT_EQ(pathListCutRange(l, 1, 2), 1);
  ASSERT_EQ(l->count, 2);
  EXPECT_EQ(l->positions[1].x, 3.0);
  pathListDeleteRange(l, -5, 0);  // clamped
  ASSERT_EQ(l->count, 1);
  EXPECT_EQ(l->positions[0].x, 3.0);
}

TEST_F(PathListTest, ClassTestsAndLength) {
  ListPtr l(lineList({{0, 0, 0}, {3, 4, 0}, {3, 4, 10}, {3, 4, 12}}));
  pathListSetClass(l, 2, kPathClassGap);
  EXPECT_EQ(pathListLength(l), 5.0);  // no move into or out of the gap point counts
  EXPECT_EQ(pathListClassDiffers(l, 1, 2), 1);
  EXPECT_EQ(pathListClassDiffers(l, 0, 1), 0);
  EXPECT_EQ(pathListClassDiffers(l, 0, 9), 0);
  EXPECT_EQ(pathListIsRunEnd(l, 1), 1);
  EXPECT_EQ(pathListIsRunEnd(l, 0), 0);
  EXPECT_EQ(pathListIsRunEnd(l, 3), 1);
}

TEST_F(PathListTest, DensifyPutsPointsOnTheirMoves) {
  ListPtr l(lineList({{0, 0, 0}, {2.5, 0, 0}}));
  ASSERT_EQ(pathListDensify(l, 1.0), 1);
  ASSERT_EQ(l->count, 4);
  EXPECT_NEAR(l->positions[1].x, 2.5 / 3, 1e-12);
  EXPECT_NEAR(l->positions[2].x, 5.0 / 3, 1e-12);
  EXPECT_EQ(l->codes[1], kPathKindMade);
  EXPECT_EQ(pathListDensify(l, 1e-6), 0);

  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-20, 20);
  std::vector<Point3D> pts;
  for (int i = 0; i < 30; ++i) pts.push_back({u(rng), u(rng), u(rng)});
  ListPtr r(lineList(pts, true));
  pathListSetClass(r, 10, kPathClassGap);
  pathListSetClass(r, 20, kPathClassHolder);
  const double step = 1.7;
  ASSERT_EQ(pathListDensifyAxes(r, step), 1);
  std::size_t orig = 0;
  for (int i = 0; i < r->count; ++i) {
    const bool isOrig = orig < pts.size() && vecDistance(r->positions[i], pts[orig]) == 0.0;
    if (isOrig) {
      ++orig;
    } else {
      ASSERT_GT(orig, 0u);
      EXPECT_LT(distToSegment(r->positions[i], pts[orig - 1], pts[orig]), 1e-9);
      EXPECT_EQ(r->axisSet[i], 1);
      const int cls = pathListClass(r, i);
      EXPECT_EQ(cls, (orig == 20 || orig == 21) ? kPathClassHolder : 0);
    }
    if (i > 0) {
      EXPECT_GE(r->params[i], r->params[i - 1]);
      if (pathListClass(r, i) != kPathClassGap && pathListClass(r, i - 1) != kPathClassGap) {
        EXPECT_LE(vecDistance(r->positions[i - 1], r->positions[i]), step + 1e-5);
      }
    }
  }
  EXPECT_EQ(orig, pts.size());
  // The move into the gap point stays whole.
}

TEST_F(PathListTest, DensifyFailureLeavesTheList) {
  ListPtr l(lineList({{0, 0, 0}, {10, 0, 0}}, true));
  memTestFailAt(1);
  EXPECT_EQ(pathListDensifyAxes(l, 1.0), -1);
  memTestFailAt(0);
  EXPECT_EQ(l->count, 2);
  EXPECT_EQ(l->positions[1].x, 10.0);
}

TEST_F(PathListTest, ThinKeepsOnlyTheEndsOfAStraightLine) {
  std::vector<Point3D> pts;
  for (int i = 0; i <= 20; ++i) pts.push_back({0.5 * i, 0.25 * i, 0});
  ListPtr l(lineList(pts, true));
  pathListThin(l, 100.0, 0.01);
  for (int i = 0; i <= 20; ++i) {
    EXPECT_EQ(pathListClass(l, i), (i == 0 || i == 20) ? 0 : kPathClassMarked) << i;
  }
  EXPECT_EQ(l->axisSet[5], 0);
  // A chord limit keeps points every so often.
  ListPtr c(lineList(pts));
  pathListThin(c, 3.0, 0.01);
  pathListDeleteMarked(c);
  EXPECT_GT(c->count, 2);
  for (int i = 1; i < c->count; ++i)
    EXPECT_LE(vecDistance(c->positions[i - 1], c->positions[i]), 3.0);
}

// Every removed point of a noisy polyline lies within maxDev of the chord of the kept points
// around it (the geometric promise of the marking), and reduced-feed points are kept apart.
TEST_F(PathListTest, CollinearMarkingStaysWithinTheDeviation) {
  std::mt19937 rng(9);
  std::normal_distribution<double> noise(0.0, 0.004);
  std::vector<Point3D> pts;
  for (int i = 0; i < 200; ++i) {
    const double t = i * 0.1;
    pts.push_back({t, std::sin(t * 0.3) * 2 + noise(rng), noise(rng)});
  }
  ListPtr l(lineList(pts));
  l->codes[100] = kPathKindReducedFeed;
  const double maxDev = 0.02;
  pathListMarkCollinear(l, 5.0, maxDev);
  EXPECT_NE(pathListClass(l, 100), kPathClassMarked);
  int prev = 0, marked = 0;
  for (int i = 1; i < l->count; ++i) {
    if (pathListClass(l, i) == kPathClassMarked) {
      ++marked;
      continue;
    }
    for (int k = prev + 1; k < i; ++k) {
      EXPECT_LE(distToSegment(l->positions[k], l->positions[prev], l->positions[i]),
                maxDev + 1e-12);
    }
    prev = i;
  }
  EXPECT_GT(marked, 50);
}

// The random keep draws from the library's seeded generator, not the C library's.
TEST_F(PathListTest, RandomKeepIsSeededAndReproducible) {
  std::vector<Point3D> pts;
  for (int i = 0; i <= 400; ++i) pts.push_back({0.1 * i, 0, 0});
  auto marks = [&pts](unsigned seed, unsigned crandSeed) {
    ListPtr l(lineList(pts));
    geoRandSeed(seed);
    std::srand(crandSeed);
    pathListSetRandomKeep(1);
    EXPECT_EQ(pathListRandomKeep(), 1);
    pathListMarkCollinear(l, 1e9, 0.01);
    pathListSetRandomKeep(0);
    EXPECT_EQ(pathListRandomKeep(), 0);
    std::vector<int> kept;
    for (int i = 1; i < l->count - 1; ++i) {
      if (pathListClass(l, i) != kPathClassMarked) kept.push_back(i);
    }
    return kept;
  };
  const std::vector<int> a = marks(17, 1), b = marks(17, 99), c = marks(18, 1);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_GT(a.size(), 10u);
  EXPECT_LT(a.size(), 100u);
}

TEST_F(PathListTest, FilterZRisingHeightsAndFirstRunOnly) {
  ListPtr l(lineList({{0, 0, 1}, {1, 0, 0}, {2, 0, 2}, {3, 0, 5}, {4, 0, 0}}));
  pathListSetClass(l, 3, kPathClassGap);
  pathListFilterZ(l, 2);
  const double zs[] = {1, 1, 2, 5, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(l->positions[i].z, zs[i]) << i;
  EXPECT_EQ(pathListClass(l, 4), kPathClassGap);
  EXPECT_EQ(pathListClass(l, 2), 0);
}

TEST_F(PathListTest, FilterZNoClimbingCutsNoShortRuns) {
  // A long falling run, a climb of 3, then a flat run of length 5.
  ListPtr l(lineList({{0, 0, 9}, {5, 0, 8}, {10, 0, 7}, {10, 0, 10}, {15, 0, 10}}));
  pathListFilterZ(l, 3);
  // Point 2 starts the climb and becomes a gap; the single point before the climb end too.
  EXPECT_EQ(pathListClass(l, 0), 0);
  EXPECT_EQ(pathListClass(l, 1), 0);
  EXPECT_EQ(pathListClass(l, 2), kPathClassGap);
  EXPECT_EQ(pathListClass(l, 3), 0);
  EXPECT_EQ(pathListClass(l, 4), 0);
  // A short run alone becomes gaps.
  ListPtr s(lineList({{0, 0, 0}, {0.5, 0, 0}}));
  pathListFilterZ(s, 3);
  EXPECT_EQ(pathListClass(s, 0), kPathClassGap);
  EXPECT_EQ(pathListClass(s, 1), kPathClassGap);
}

// A climb out of the first point was judged from its second point on, kept as a cut when that
// tail rose less than 1, instead of staying a gap.
TEST_F(PathListTest, FilterZClimbFromTheFirstPointStaysAGap) {
  struct Case {
    std::vector<double> z;  // points (5 i, 0, z_i)
    std::vector<int> cls;   // expected classes after the filter
  };
  const Case cases[] = {
      {{0, 0.2, 0.4, 0.4, 0.4}, {kPathClassGap, kPathClassGap, 0, 0, 0}},
      // The same climb after a flat first point rises less than 1 and is kept.
      {{0, 0, 0.2, 0.4, 0.4, 0.4}, {0, 0, 0, 0, 0, 0}},
      // A climb of 2 after the first point is not kept; the lone point before it is a short run.
      {{0, 0, 1, 2, 2, 2}, {kPathClassGap, kPathClassGap, kPathClassGap, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<Point3D> pts;
    for (std::size_t i = 0; i < c.z.size(); ++i) pts.push_back({5.0 * i, 0, c.z[i]});
    ListPtr l(lineList(pts));
    pathListFilterZ(l, 3);
    for (std::size_t i = 0; i < c.cls.size(); ++i) {
      EXPECT_EQ(pathListClass(l, static_cast<int>(i)), c.cls[i]) << c.z.size() << " point " << i;
    }
  }
}

// A list whose first two parameters are equal extrapolated below them by dividing by zero.
TEST_F(PathListTest, ForwardLookupBelowARepeatedFirstParameterIsNoNumber) {
  ListPtr l(pathListNew(4, 0));
  ASSERT_EQ(pathListInsert(l, 1.0, {0, 0, 0}, 0, nullptr, 0), 0);
  ASSERT_EQ(pathListInsert(l, 1.0, {1, 0, 0}, 0, nullptr, 0), 0);
  ASSERT_EQ(pathListInsert(l, 2.0, {2, 0, 0}, 0, nullptr, 0), 2);
  Point3D p{7, 7, 7};
  EXPECT_EQ(pathListPosFwd(0.5, l, &p), -1);
  EXPECT_EQ(p.x, 7.0);  // the output is left as it was, never set to a non-number
  EXPECT_EQ(pathListPosAt(l, 0.5, &p), -1);
  // At and above the repeated parameter the lookup answers as before.
  EXPECT_EQ(pathListPosFwd(1.5, l, &p), 1);
  EXPECT_NEAR(p.x, 1.0, 1e-12);  // halfway from the later-inserted point (0, 0, 0) to (2, 0, 0)
}
