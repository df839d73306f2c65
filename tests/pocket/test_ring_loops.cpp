// Loops of crossing contours (areas in closed form), the checks of offset loops and ring starts,
// and the per-position lists of merged island rings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/ring_loops.h"

namespace {
using pocktest::contourArea;
using pocktest::polygon;

class RingLoopsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    layerResetState();
    ringLoopsResetState();
    ctreeResetState();
    pockGeometryResetState();
  }
  void TearDown() override {
    ctreeResetState();
    ringLoopsResetState();
    layerResetState();
    pockRunReset();
    pockGeometryResetState();
  }
};

// An axis-parallel rectangle, counter-clockwise or clockwise, starting at its lower left corner.
std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw,
                                 int tag = 0) {
  if (ccw) return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, tag);
  return polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}, tag);
}

ContourHeader header(const std::vector<ContourElement>& e, int ccw, int leftSide) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.ccw = static_cast<std::uint8_t>(ccw);
  h.leftSide = static_cast<std::uint8_t>(leftSide);
  return h;
}

struct Split {
  int result = 0;
  std::vector<double> areas;
  std::vector<std::vector<ContourElement>> loops;
};

// The ring builder's preparation: the crossings of a and b, preceded by a's start point.
Split split(std::vector<ContourElement> a, ContourHeader ha, const std::vector<ContourElement>& b,
            const ContourHeader& hb) {
  std::vector<IntersectionRecord> rec(kIsectRecordMax);
  const int h =
      isectContours(a.data(), ha.count, b.data(), hb.count, rec.data() + 1, kIsectRecordMax - 1);
  EXPECT_GE(h, 2);
  const Point2D s = contElemStart(a[0]);
  rec[0] = IntersectionRecord{s.x, s.y, 0.0, 1, 0, 1, 0};
  std::vector<ContourElement> out(kSplitMaxElements + 16);
  std::vector<ContourElement*> loops(static_cast<std::size_t>(h + 2));
  std::vector<int> counts(static_cast<std::size_t>(h + 2));
  Split r;
  r.result = offsetSplitAtIsects(a.data(), &ha, b.data(), &hb, rec.data(), h + 1, out.data(),
                                 loops.data(), counts.data());
  for (int k = 0; k < r.result; ++k) {
    r.loops.emplace_back(loops[k], loops[k] + counts[k]);
    r.areas.push_back(contourArea(loops[k], counts[k]));
    EXPECT_EQ(contIsClosed(loops[k], counts[k]), 1);
  }
  return r;
}

// The kinds of the two contours decide which loop is kept: an outer boundary crossed by an island
// keeps the boundary minus the island, two islands their union, two outer boundaries their common
// part; the area is the oracle.
TEST_F(RingLoopsTest, CrossingContoursGiveTheLoopOfTheirKinds) {
  struct Case {
    const char* name;
    std::vector<ContourElement> a;
    int ccwA, leftA;
    std::vector<ContourElement> b;
    int ccwB, leftB;
    double area;  // signed: counter-clockwise positive
  };
  const std::vector<Case> cases = {
      {"outer minus island", rect(0, 0, 20, 10, true), 1, 1, rect(15, 3, 25, 7, false), 0, 1,
       200.0 - 20.0},
      {"island union", rect(0, 0, 10, 10, false), 0, 1, rect(5, 5, 15, 15, false), 0, 1,
       -(100.0 + 100.0 - 25.0)},
      {"two outer boundaries", rect(0, 0, 10, 10, true), 1, 1, rect(5, 5, 15, 15, true), 1, 1,
       25.0},
      {"island crossing the outer boundary", rect(15, 3, 25, 7, false), 0, 1,
       rect(0, 0, 20, 10, true), 1, 1, -(200.0 - 20.0)},
  };
  for (const Case& c : cases) {
    const Split s = split(c.a, header(c.a, c.ccwA, c.leftA), c.b, header(c.b, c.ccwB, c.leftB));
    ASSERT_EQ(s.result, 1) << c.name;
    EXPECT_NEAR(std::fabs(s.areas[0]), std::fabs(c.area), 1e-9) << c.name;
    EXPECT_EQ(pockEngine().offsetFollowFailed, 0) << c.name;
  }
}

// The loop of the island's part outside the boundary lies inside the island and is rejected; the
// boundary minus the island is kept.
TEST_F(RingLoopsTest, LoopInsideTheIslandIsRejected) {
  const auto a = rect(0, 0, 20, 10, true);
  const auto b = rect(15, 3, 25, 7, false);
  const auto outside = polygon({{20, 3}, {20, 7}, {25, 7}, {25, 3}});
  EXPECT_EQ(loopTestNearestPoint(outside.data(), 4, a.data(), 4, b.data(), 4), 0);
  const auto kept =
      polygon({{0, 0}, {20, 0}, {20, 3}, {15, 3}, {15, 7}, {20, 7}, {20, 10}, {0, 10}});
  EXPECT_EQ(loopTestNearestPoint(kept.data(), 8, a.data(), 4, b.data(), 4), 1);
  // Without points nearer the island the test passes.
  EXPECT_EQ(loopTestNearestPoint(a.data(), 4, a.data(), 4, b.data(), 4), 1);
  // The farther-contour test: the middle of (0,0)-(20,0) is outside the island, the farther one.
  EXPECT_EQ(loopTestFartherContour(a.data(), 4, a.data(), 4, b.data(), 4), 1);
  const auto inIsland = rect(21, 4, 24, 6, true);
  EXPECT_EQ(loopTestFartherContour(inIsland.data(), 4, b.data(), 4, a.data(), 4), 1);
  EXPECT_EQ(
      loopTestFartherContour(inIsland.data(), 4, a.data(), 4, rect(0, 0, 30, 30, true).data(), 4),
      0);
}

// Loops of a contour with a piece that cannot be followed: the flag for the offset retries.
TEST_F(RingLoopsTest, UnfollowablePieceSetsTheFlag) {
  auto a = rect(0, 0, 20, 10, true);
  ContourHeader ha = header(a, 1, 1);
  const auto b = rect(15, 3, 25, 7, false);
  const ContourHeader hb = header(b, 0, 1);
  IntersectionRecord rec[2] = {{20, 3, 0, 2, 1, 1, 0}, {7, 7, 0, 0, 0, 1, 0}};
  std::vector<ContourElement> out(64);
  ContourElement* loops[4];
  int counts[4];
  EXPECT_EQ(offsetSplitAtIsects(a.data(), &ha, b.data(), &hb, rec, 2, out.data(), loops, counts),
            0);
  EXPECT_EQ(pockEngine().offsetFollowFailed, 1);
}

// A first record on both contours lying past A's first element: A is cut to begin with that
// element, or with the next one when the record lies at the element's end, and the later records'
// elements follow. A first record on A only (the merge's start point), or on A's first element,
// cuts nothing.
TEST_F(RingLoopsTest, FirstRecordInsideAStartsA) {
  const auto hexagon = polygon({{0, 0}, {10, 0}, {20, 0}, {20, 10}, {10, 10}, {0, 10}});
  struct Case {
    const char* name;
    IntersectionRecord first;
    int count;         // A's count after the cut
    int firstElement;  // the old index of A's new first element
  };
  const Case cases[] = {
      {"inside element 3", {20, 4, 0, 3, 1, 1, 0}, 4, 2},
      {"at element 3's end", {20, 10, 0, 3, 1, 1, 0}, 3, 3},
      {"start point only", {20, 4, 0, 3, 0, 1, 0}, 6, 0},
      {"on element 1", {4, 0, 0, 1, 1, 1, 0}, 6, 0},
  };
  const auto b = rect(18, 2, 25, 8, false);
  const ContourHeader hb = header(b, 0, 1);
  for (const Case& c : cases) {
    auto a = hexagon;
    ContourHeader ha = header(a, 1, 1);
    IntersectionRecord rec[2] = {c.first, {5, 10, 0, 5, 2, 1, 0}};
    std::vector<ContourElement> out(256);
    ContourElement* loops[4];
    int counts[4];
    offsetSplitAtIsects(a.data(), &ha, b.data(), &hb, rec, 2, out.data(), loops, counts);
    EXPECT_EQ(ha.count, c.count) << c.name;
    const int dropped = 6 - c.count;
    EXPECT_EQ(rec[1].elemA, 5 - dropped) << c.name;
    EXPECT_TRUE(contSamePoint(contElemStart(a[0]),
                              contElemStart(hexagon[static_cast<std::size_t>(c.firstElement)])))
        << c.name;
    EXPECT_TRUE(contSamePoint(contElemEnd(a[static_cast<std::size_t>(c.count - 1)]),
                              contElemEnd(hexagon[5])))
        << c.name;
  }
}

TEST_F(RingLoopsTest, DuplicateRecordsAreDropped) {
  IntersectionRecord rec[4] = {{0, 0, 0, 1, 1, 1, 0},
                               {0.0005, 0, 0, 1, 2, 1, 0},
                               {0.002, 0, 0, 1, 3, 1, 0},
                               {0.0001, 0, 0, 2, 4, 2, 0}};
  isectDropDuplicates(rec, 4);
  EXPECT_EQ(rec[0].state, 1);
  EXPECT_EQ(rec[1].state, 2);
  EXPECT_EQ(rec[2].state, 1);
  EXPECT_EQ(rec[3].state, 2);
}

// Offset loops of a 20 x 10 rectangle by 2: the inset rectangle is kept, a loop outside the source
// is removed and the kept loop moves down; a loop beyond the reach limit is rejected with 3029,
// and an unset limit rejects nothing.
TEST_F(RingLoopsTest, OffsetLoopsAreSelectedAndCompacted) {
  const auto src = rect(0, 0, 20, 10, true);
  const auto inset = rect(2, 2, 18, 8, true);
  const auto stray = rect(-9, -9, -5, -5, true);
  for (const double limit : {0.0, 100.0, 5.0}) {
    ringReach() = RingReach{{10, 5}, limit};
    std::vector<ContourElement> out(stray);
    out.insert(out.end(), inset.begin(), inset.end());
    ContourElement* loops[2] = {out.data(), out.data() + 4};
    int counts[2] = {4, 4};
    ContourElement* end = nullptr;
    pockRunReset();
    const int kept = offsetSelectLoops(src.data(), 4, 2, 2.0, &end, loops, counts, 1, 1, 1);
    if (limit == 5.0) {
      EXPECT_EQ(kept, 0);
      EXPECT_EQ(pockLastCode(), kPockCodeTooManyElements);
      EXPECT_EQ(end, out.data());
      continue;
    }
    ASSERT_EQ(kept, 1) << limit;
    EXPECT_EQ(loops[0], out.data());
    EXPECT_EQ(counts[0], 4);
    EXPECT_EQ(end, out.data() + 4);
    EXPECT_NEAR(contourArea(loops[0], 4), 16.0 * 6.0, 1e-12);
    EXPECT_EQ(pockLastCode(), 0);
  }
  // A loop too near the source's start: the tool circle about it cuts the loop.
  ringReach() = RingReach{{0, 0}, 0.0};
  auto near = rect(1, 1, 18, 8, true);
  ContourElement* loops[1] = {near.data()};
  int counts[1] = {4};
  EXPECT_EQ(offsetSelectLoops(src.data(), 4, 1, 2.0, nullptr, loops, counts, 1, 1, 0), 0);
}

void addMain(const std::vector<ContourElement>& e, int ccw, int leftSide, int stockMark = 0,
             double allowance = 0.0, int sequence = 0, const char* layer = "MAIN") {
  ContourHeader h = header(e, ccw, leftSide);
  h.stockMark = static_cast<std::int16_t>(stockMark);
  h.allowance = allowance;
  h.sequence = static_cast<std::int16_t>(sequence);
  ASSERT_EQ(layerInsertContour(layer, e.data(), &h, -1), 1);
}

TEST_F(RingLoopsTest, NeedsOffsetTable) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  addMain(rect(0, 0, 20, 10, true), 1, 1);
  addMain(rect(5, 3, 8, 6, false), 0, 1);
  struct Case {
    const char* name;
    double d;
    std::vector<double> allowances;
    int stockMark, stockMode, expect;
  };
  const std::vector<Case> cases = {
      {"all zero", 0.0, {0.0, 0.0}, 0, 0, 0},
      {"distance", 10.0, {0.0, 0.0}, 0, 0, 1},
      {"distance cancelled by allowances", 1.0, {-1.0, -1.0}, 0, 0, 0},
      {"island allowance", 0.0, {0.0, 0.5}, 0, 0, 1},
      {"stock mark", 0.0, {0.0, 0.0}, 1, 0, 1},
      {"stock mode", 0.0, {0.0, 0.0}, 0, 1, 1},
  };
  for (const Case& c : cases) {
    // The allowance table is filled from MAIN's headers, as before each level.
    for (int i = 0; i < 2; ++i) {
      ContourHeader h{};
      layerGetHeader("MAIN", &h, i);
      h.allowance = c.allowances[static_cast<std::size_t>(i)];
      if (i == 1) h.stockMark = static_cast<std::int16_t>(c.stockMark);
      layerSetHeader("MAIN", &h, i);
    }
    ASSERT_EQ(pockAllowancesFromLayer("MAIN"), 2);
    pockEngine().pockStockMode = c.stockMode;
    EXPECT_EQ(ringNeedsOffset("MAIN", c.d), c.expect) << c.name;
  }
}

// The start of a ring is free unless the tool circle cuts a MAIN contour; an open pocket also needs
// the start inside one of the INPUT contours of the ring's orientation.
TEST_F(RingLoopsTest, StartFreeTable) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  ASSERT_EQ(layerCreate("INPUT"), 1);
  addMain(rect(0, 0, 20, 10, true), 1, 1);
  addMain(rect(12, 3, 14, 6, false), 0, 1);
  addMain(rect(0, 0, 8, 10, true), 1, 1, 0, 0.0, 0, "INPUT");
  addMain(rect(30, 0, 40, 10, true), 1, 1, 0, 0.0, 0, "INPUT");
  addMain(rect(10, 0, 20, 10, false), 0, 1, 0, 0.0, 0, "INPUT");  // other orientation
  struct Case {
    const char* name;
    Point2D start;
    int openPocket, expect;
  };
  const std::vector<Case> cases = {
      {"free", {5, 5}, 0, 1},
      {"near the wall", {1, 5}, 0, 0},
      {"near the island", {11, 5}, 0, 0},
      {"open, in the first input", {5, 5}, 1, 1},
      {"open, in the second input", {35, 5}, 1, 1},
      {"open, in the other orientation", {16, 8}, 1, 0},
  };
  for (const Case& c : cases) {
    pockEngine().pockStrategyOpenPocket = c.openPocket;
    const auto ring = rect(c.start.x, c.start.y, c.start.x + 0.5, c.start.y + 0.5, true);
    const ContourHeader h = header(ring, 1, 1);
    EXPECT_EQ(ringStartFree(ring.data(), 4, 2.0, &h), c.expect) << c.name;
  }
  layerClear("INPUT");
  pockEngine().pockStrategyOpenPocket = 1;
  const auto ring = rect(5, 5, 6, 6, true);
  const ContourHeader h = header(ring, 1, 1);
  EXPECT_EQ(ringStartFree(ring.data(), 4, 2.0, &h), 0);
}

TEST_F(RingLoopsTest, ReachAndClearOfMain) {
  EXPECT_EQ(ringInitReach(), -1);
  ASSERT_EQ(layerCreate("MAIN"), 1);
  EXPECT_EQ(ringClearOfMain(4, rect(1, 1, 2, 2, true).data()), 1);  // MAIN empty
  addMain(rect(0, 0, 20, 10, true), 1, 1, 0, 0.5);
  pockEngine().pockToolRadius = 10.0;
  ASSERT_EQ(pockAllowancesFromLayer("MAIN"), 1);
  ASSERT_EQ(ringInitReach(), 1);
  EXPECT_DOUBLE_EQ(ringReach().centre.x, 10.0);
  EXPECT_DOUBLE_EQ(ringReach().centre.y, 5.0);
  EXPECT_DOUBLE_EQ(ringReach().limit, std::hypot(10.0, 5.0) + 40.0 + 0.5 + 0.1);
  EXPECT_EQ(ringClearOfMain(4, rect(1, 1, 2, 2, true).data()), 0);    // inside
  EXPECT_EQ(ringClearOfMain(4, rect(15, 5, 25, 8, true).data()), 0);  // crossing
  EXPECT_EQ(ringClearOfMain(4, rect(30, 1, 32, 2, true).data()), 1);  // apart
}

// Merged-island lists exist for every position, also beyond 2000, and grow beyond 11999 entries.
TEST_F(RingLoopsTest, RelationListsForEveryPosition) {
  ASSERT_EQ(ringRelationAdd(2001, 5), 1);
  for (int i = 0; i < 12500; ++i) ASSERT_EQ(ringRelationAdd(3, i), i + 1);
  EXPECT_EQ(ringRelationCount(3), 12500);
  EXPECT_EQ(ringRelationAt(3, 12499), 12499);
  EXPECT_EQ(ringCopyRelations(2001, 4000), 1);
  EXPECT_EQ(ringRelationHas(4000, 5), 1);
  EXPECT_EQ(ringRelationAt(4000, 1), -1);
  EXPECT_EQ(ringCopyRelations(7, 2001), 1);  // a position never used: an empty list
  EXPECT_EQ(ringRelationCount(2001), 0);
  EXPECT_EQ(ringRelationAdd(-1, 5), -1);
  ASSERT_EQ(layerCreate("GKT"), 1);
  for (int i = 0; i < 5; ++i)
    addMain(rect(i * 10.0, 0, i * 10.0 + 5, 5, true), 1, 1, 0, 0, 0, "GKT");
  EXPECT_EQ(layerNumberContours("GKT"), 5);
  EXPECT_EQ(ringRelationCount(3), 0);
  EXPECT_EQ(ringRelationCount(4000), 1);
  for (int i = 0; i < 5; ++i) {
    ContourHeader h{};
    layerGetHeader("GKT", &h, i);
    EXPECT_EQ(h.index, i);
  }
  EXPECT_EQ(layerNumberContours("INSEL"), 0);
}

// Contours with marked elements enter the tree rotated to an unmarked run; contours with sequence
// 0 stay out; MAIN keeps its order with every tag set to the first unmarked tag.
TEST_F(RingLoopsTest, RotateToUnmarked) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  ASSERT_EQ(ctreeInit(1), 1);
  struct Case {
    std::vector<int> tags;
    int firstTag;  // tag of the tree copy's first element
  };
  const std::vector<Case> cases = {
      {{-1, -1, 3, 4}, 3},  // element 0 marked: the first unmarked
      {{5, -1, 6, 7}, 6},   // first and last unmarked: behind the first marked run
      {{5, 6, -1, -1}, 5},  // last marked: no rotation
      {{5, -1, -1, 7}, 7},
  };
  for (const Case& c : cases) {
    auto e = rect(0, 0, 4, 4, true);
    for (int i = 0; i < 4; ++i) e[i].tag = c.tags[i];
    addMain(e, 1, 1, 0, 0.0, 1);
  }
  addMain(rect(0, 0, 1, 1, true), 1, 1, 0, 0.0, 0);
  ASSERT_EQ(ringRotateToUnmarked(0), 1);
  ASSERT_EQ(ctreeNodeCount(), 4);
  for (int i = 0; i < 4; ++i) {
    std::vector<ContourElement> got(4);
    ASSERT_EQ(ctreeGetElems(got.data(), 4, ctreeNodeAt(i)->block), 1);
    EXPECT_EQ(got[0].tag, cases[i].firstTag) << i;
    std::vector<ContourElement> main(4);
    ContourHeader h{};
    layerGetContour("MAIN", main.data(), 4, &h, i);
    EXPECT_EQ(main[0].p0, 0.0);  // MAIN unrotated
    int firstUnmarked = -1;
    for (int t : cases[i].tags) {
      if (firstUnmarked < 0 && t >= 0) firstUnmarked = t;
    }
    for (const ContourElement& m : main) EXPECT_EQ(m.tag, firstUnmarked);
  }
  // single = 1 takes the first contour only.
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(ringRotateToUnmarked(1), 1);
  EXPECT_EQ(ctreeNodeCount(), 1);
}
}  // namespace
