// Layer operations of the pocket cycle's run on small fixtures: the level list by group, the
// nearest group, the islands of other groups nested under a group, the clamps that touch a
// level's outer contour, the depth test, the first contour's flags and the runs of a sequence.
#include <gtest/gtest.h>

#include <vector>

#include "pocket/ccp_layers.h"
#include "pocket/ccp_record.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"

namespace {
class LayersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    layerResetState();
    pockRunReset();
    ccpRecordReset();
  }
  void TearDown() override {
    layerResetState();
    pockRunReset();
  }
  // Appends a square with its lower left corner at (x, y) and side a.
  static void square(const char* layer, double x, double y, double a, int group, bool outer,
                     double top = 0, double bottom = -5, int parent = -1, int sequence = 0) {
    const ContourElement e[4] = {
        contMakeLine(x, y, x + a, y, 0), contMakeLine(x + a, y, x + a, y + a, 0),
        contMakeLine(x + a, y + a, x, y + a, 0), contMakeLine(x, y + a, x, y, 0)};
    ContourHeader h{};
    h.ccw = 1;
    h.leftSide = static_cast<std::uint8_t>(outer ? 1 : 0);
    h.group = static_cast<std::int16_t>(group);
    h.count = 4;
    h.zTop = top;
    h.zBottom = bottom;
    h.parent = static_cast<std::int16_t>(parent);
    h.sequence = static_cast<std::int16_t>(sequence);
    ASSERT_EQ(layerInsertContour(layer, e, &h, -1), 1);
  }
};
}  // namespace

TEST_F(LayersTest, LevelListByGroup) {
  layerCreate("INPUT");
  square("INPUT", 0, 0, 10, 1, true, 0, -5);
  square("INPUT", 20, 0, 10, 2, true, -1, -7);
  square("INPUT", 2, 2, 2, 1, false, -2, -5);
  CcpRecord* r = ccpRecordOf(ccpCycleRecord());
  PocketLevelList* l = pockLevelListNew(4);
  r->oriAutomatic = 2;
  EXPECT_EQ(ccpFillLevelList(r, l, "INPUT", 1), 2);
  EXPECT_EQ(l->entries[1].index, 2);
  EXPECT_EQ(l->entries[1].top, -2);
  r->oriAutomatic = 0;
  EXPECT_EQ(ccpFillLevelList(r, l, "INPUT", 1), 3);
  EXPECT_EQ(l->entries[1].bottom, -7);
  PocketLevelList* small = pockLevelListNew(2);
  EXPECT_EQ(ccpFillLevelList(r, small, "INPUT", 1), -1);
  pockLevelListFree(small);
  pockLevelListFree(l);

  EXPECT_EQ(ccpGroupNearest("INPUT", Point2D{29, 5}), 2);
  EXPECT_EQ(ccpGroupNearest("INPUT", Point2D{3, 3}), 1);
  EXPECT_EQ(ccpGroupNearest("MAIN", Point2D{3, 3}), 0);
  EXPECT_EQ(layerSameDepths("INPUT"), 0);
  EXPECT_EQ(layerSameDepths("MAIN"), 1);
  EXPECT_EQ(layerFirstFlagsEqual("INPUT"), 1);
  EXPECT_EQ(layerFirstFlagsEqual("MAIN"), -1);
}

// Islands of other groups whose parent chain reaches the group and whose top lies above the level
// join it; a group that starts with its outer contour takes none.
TEST_F(LayersTest, NestedIslandsOfAGroup) {
  layerCreate("INPUT");
  layerCreate("MAIN");
  square("INPUT", 0, 0, 50, 1, false, 0, -10);       // 0: group 1 begins with an island
  square("INPUT", 5, 5, 10, 2, false, -1, -10, 0);   // 1: island under 0, top above -3
  square("INPUT", 20, 5, 10, 3, false, -5, -10, 1);  // 2: island under 1, top below -3
  square("INPUT", 35, 5, 10, 4, false, 0, -10, -1);  // 3: no parent
  square("INPUT", 5, 30, 10, 5, true, 0, -10, 0);    // 4: an outer contour
  EXPECT_EQ(layerCopyNestedOfGroup("INPUT", "MAIN", 1, -3), 1);
  ContourHeader h{};
  ASSERT_EQ(layerGetHeader("MAIN", &h, 0), 0);
  EXPECT_EQ(h.group, 2);
  EXPECT_EQ(layerCopyNestedOfGroup("INPUT", "MAIN", 1, -6), 2);
  EXPECT_EQ(layerCopyNestedOfGroup("INPUT", "MAIN", 5, -6), 0);  // starts with its outer contour
}

TEST_F(LayersTest, TouchingClamps) {
  layerCreate("CLAMPS");
  layerCreate("MAIN");
  EXPECT_EQ(layerCopyTouching("CLAMPS", "MAIN"), 0);  // no contour in MAIN
  square("MAIN", 0, 0, 10, 1, true);
  square("CLAMPS", 2, 2, 2, 0, false);    // inside
  square("CLAMPS", 8, 8, 4, 0, false);    // crossing
  square("CLAMPS", 20, 20, 2, 0, false);  // apart
  EXPECT_EQ(layerCopyTouching("CLAMPS", "MAIN"), 2);
  EXPECT_EQ(layerCount("MAIN"), 3);
}

TEST_F(LayersTest, RunsOfASequence) {
  layerCreate("POCKET");
  for (int s : {1, 1, 2, 2, 2, 3}) square("POCKET", 0, 0, 1, 1, true, 0, -1, -1, s);
  EXPECT_EQ(layerNextSequence(-1, "POCKET"), 0);
  EXPECT_EQ(layerNextSequence(0, "POCKET"), 2);
  EXPECT_EQ(layerNextSequence(2, "POCKET"), 5);
  EXPECT_EQ(layerNextSequence(5, "POCKET"), -1);
}

// The stock contours are turned against the pocket: a marked first contour stays, a later first
// marked contour comes to the front. Each contour is known by its top; the stored direction is
// checked against the geometry, not only the flags.
TEST_F(LayersTest, ReverseMarkedStock) {
  struct Case {
    const char* label;
    int contours;
    std::vector<int> marked;  // by position before the call
    int result;
    std::vector<double> order;   // the tops after the call
    std::vector<bool> reversed;  // by position after the call
    int movedToFront;
  };
  const Case cases[] = {
      {"first marked", 3, {0, 2}, 1, {0, -1, -2}, {false, false, true}, 0},
      {"later marked", 3, {1, 2}, 1, {-1, 0, -2}, {true, false, true}, 1},
      {"last marked", 3, {2}, 1, {-2, 0, -1}, {true, false, false}, 1},
      {"none marked", 2, {}, 0, {0, -1}, {false, false}, 0},
      {"empty", 0, {}, 0, {}, {}, 0},
  };
  for (const Case& c : cases) {
    layerResetState();
    layerCreate("MAIN");
    for (int i = 0; i < c.contours; ++i) {
      square("MAIN", 20.0 * i, 0, 10, 1, i == 0, -i, -5);
    }
    for (int i : c.marked) {
      ContourHeader h{};
      ASSERT_EQ(layerGetHeader("MAIN", &h, i), i);
      h.stockMark = 1;
      ASSERT_EQ(layerSetHeader("MAIN", &h, i), i);
    }
    pockEngine().pockMovedToFront = 0;
    EXPECT_EQ(layerReverseMarked("MAIN"), c.result) << c.label;
    EXPECT_EQ(pockEngine().pockMovedToFront, c.movedToFront) << c.label;
    ASSERT_EQ(layerCount("MAIN"), static_cast<int>(c.order.size())) << c.label;
    for (int i = 0; i < layerCount("MAIN"); ++i) {
      ContourHeader h{};
      std::vector<ContourElement> e(4);
      ASSERT_EQ(layerGetContour("MAIN", e.data(), 4, &h, i), i);
      EXPECT_EQ(h.zTop, c.order[static_cast<std::size_t>(i)]) << c.label << " " << i;
      const bool rev = c.reversed[static_cast<std::size_t>(i)];
      EXPECT_EQ(contOrientation(e.data(), h.count), rev ? -1 : 1) << c.label << " " << i;
      EXPECT_EQ(h.ccw, rev ? 0 : 1) << c.label << " " << i;
      // The side flips with the direction: the first square went in as an outer boundary.
      const bool outer = h.zTop == 0;
      EXPECT_EQ(h.leftSide, (outer != rev) ? 1 : 0) << c.label << " " << i;
      // The square stays where it was: the reversal keeps the geometry.
      double xmin = 1e9;
      for (const ContourElement& x : e) xmin = std::min(xmin, std::min(x.p0, x.p2));
      EXPECT_NEAR(xmin, -20.0 * h.zTop, 1e-12) << c.label << " " << i;
    }
  }
}
