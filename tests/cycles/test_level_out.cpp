// The same-Z collector writes planar feed runs as fitted lines and arcs and everything else at
// once; the contour drawing writes traced chains as auxiliary curves.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "../output/test_out3d_capture.h"
#include "cycles/level_out.h"
#include "cycles/zmil_fit.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/pko_list.h"

namespace {

std::vector<OutputRecord>& rawRecords() {
  static std::vector<OutputRecord> records;
  return records;
}

template <int Layer>
int keepRaw(CycleRecord*, OutputRecord* r) {
  if (Layer == 31 || Layer == 41) rawRecords().push_back(*r);
  return 1;
}

class LevelOutTest : public qdtest::Out3dTest {
 protected:
  void SetUp() override {
    qdtest::Out3dTest::SetUp();
    cycRegisterLayer(&rec_, 31, keepRaw<31>, keepRaw<31>, 1);
    cycRegisterLayer(&rec_, 41, keepRaw<41>, keepRaw<41>, 1);
    rawRecords().clear();
    parResetState();
    levelOutResetState();
    zmilResetState();
  }
  void TearDown() override {
    levelOutResetState();
    memResetState();
    parResetState();
    qdtest::Out3dTest::TearDown();
  }
  static int count(int type) {
    int n = 0;
    for (const OutputRecord& r : rawRecords()) n += r.type == type ? 1 : 0;
    return n;
  }
};

struct Step {
  Point3D p;
  int code;
  std::function<void()> before;  // a change of the output state before the point
};

struct SplitCase {
  const char* name;
  std::vector<Step> steps;
  int fittedLines;  // feed-line records (3111) of the fitted runs
};

}  // namespace

// What ends a run: a rapid, a change of z by 2e-5, a change of the reduced-feed request, a special
// feed. Each straight run of feed points becomes one fitted line.
TEST_F(LevelOutTest, RunSplitting) {
  const SplitCase cases[] = {
      {"one straight run", {{{0, 0, 0}, 1, {}}, {{1, 0, 0}, 1, {}}, {{2, 0, 0}, 1, {}}}, 1},
      {"a rapid ends the run",
       {{{0, 0, 0}, 1, {}}, {{1, 0, 0}, 1, {}}, {{2, 0, 0}, 0, {}}, {{3, 0, 0}, 1, {}}},
       2},
      {"z 2e-5 apart",
       {{{0, 0, 0}, 1, {}}, {{1, 0, 0}, 1, {}}, {{2, 0, 0.00002}, 1, {}}, {{3, 0, 0.00002}, 1, {}}},
       2},
      {"reduced feed switched on",
       {{{0, 0, 0}, 1, {}},
        {{1, 0, 0}, 1, {}},
        {{2, 0, 0}, 1, [] { out3dSetReducedFeed(1); }},
        {{3, 0, 0}, 1, {}}},
       2},
      {"special feed",
       {{{0, 0, 0}, 1, {}},
        {{1, 0, 0}, 1, {}},
        {{2, 0, 0},
         1,
         [] {
           out3dSetSpecialFeeds(100, 100, 100);
           out3dApproachFeed(1);
         }},
        {{3, 0, 0}, 1, {}}},
       1},
      {"a single feed point at a new z", {{{0, 0, 0}, 1, {}}, {{0, 0, -1}, 1, {}}}, 0},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    out3dResetState();
    rawRecords().clear();
    ASSERT_EQ(levelOutBegin(), 0);
    EXPECT_EQ(levelOutActive(), 1);
    for (const Step& s : c.steps) {
      if (s.before) s.before();
      EXPECT_GE(levelOutSameZPoint(s.p, s.code), 0);
    }
    EXPECT_EQ(levelOutEnd(), 0);
    EXPECT_EQ(levelOutActive(), 0);
    EXPECT_EQ(count(3111), c.fittedLines);
    EXPECT_EQ(count(3121), 0);
  }
}

// A collected quarter circle becomes one arc record whose centre lies exactly at the radius from
// both ends, written after a full 3D feed move to the run's start.
TEST_F(LevelOutTest, QuarterCircleBecomesOneArcRecord) {
  ASSERT_EQ(levelOutBegin(), 0);
  for (int i = 0; i <= 40; ++i) {
    const double a = std::numbers::pi / 2 * i / 40;
    EXPECT_EQ(levelOutSameZPoint({5 + 20 * std::cos(a), 7 + 20 * std::sin(a), -2}, 1), 0);
  }
  rawRecords().clear();
  EXPECT_EQ(levelOutEnd(), 0);
  ASSERT_EQ(rawRecords().size(), 2u);
  const OutputRecord& start = rawRecords()[0];
  EXPECT_EQ(start.type, 3114);
  EXPECT_EQ(start.modal.setX + start.modal.setY + start.modal.setZ, 3);
  EXPECT_DOUBLE_EQ(start.modal.x, 25);
  EXPECT_DOUBLE_EQ(start.modal.z, -2);
  const OutputRecord& arc = rawRecords()[1];
  ASSERT_EQ(arc.type, 3121);
  EXPECT_EQ(arc.arc.direction, 0) << "counter-clockwise";
  EXPECT_NEAR(arc.arc.x, 5, 1e-9);
  EXPECT_NEAR(arc.arc.y, 27, 1e-9);
  const double r0 = std::hypot(25 - arc.arc.cx, 7 - arc.arc.cy);
  const double r1 = std::hypot(arc.arc.x - arc.arc.cx, arc.arc.y - arc.arc.cy);
  EXPECT_NEAR(r0, 20, 1e-6);
  EXPECT_NEAR(r0, r1, 1e-12);
}

TEST(LevelOutArcCentre, CentreOnTheBisectorAtTheRadius) {
  LineArcElem e{};
  e.kind = 2;
  e.arc = Arc2D{0, 0, 10, 0, 5.3, 4.1, 0, 0, 6, 1};  // centre a little off
  levelOutArcCentre(&e);
  EXPECT_DOUBLE_EQ(e.arc.cx, 5);
  EXPECT_NEAR(e.arc.cy, std::sqrt(11.0), 1e-12);
  e.arc.cy = -0.1 * e.arc.cy;  // the old centre's side decides
  levelOutArcCentre(&e);
  EXPECT_NEAR(e.arc.cy, -std::sqrt(11.0), 1e-12);
  e.arc.radius = 4;  // shorter than half the chord: left alone
  const Arc2D kept = e.arc;
  levelOutArcCentre(&e);
  EXPECT_EQ(e.arc.cy, kept.cy);
  e.arc = Arc2D{0, 0, 10, 0, 5, 0.000001, 0, 0, 5, 1};  // half circle: the midpoint
  levelOutArcCentre(&e);
  EXPECT_EQ(e.arc.cy, 0);
}

// Writing the run fails: levelOutEnd reports it instead of success (the moves were lost).
TEST_F(LevelOutTest, EmissionFailureReachesTheCaller) {
  ASSERT_EQ(levelOutBegin(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(levelOutSameZPoint({1.0 * i, 0, 0}, 1), 0);
  out3dSetCycle(nullptr);
  EXPECT_EQ(levelOutEnd(), -2);
  out3dSetCycle(&rec_);
  // The same through the point callback: the point that ends the run passes the failure on.
  ASSERT_EQ(levelOutBegin(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(levelOutSameZPoint({1.0 * i, 0, 0}, 1), 0);
  out3dSetCycle(nullptr);
  EXPECT_LT(levelOutSameZPoint({9, 9, 0}, 0), 0);
  out3dSetCycle(&rec_);
  EXPECT_EQ(levelOutEnd(), 0);
}

// A fit that fails (memory) still writes every collected point, as plain feed moves, in order.
TEST_F(LevelOutTest, FailedFitWritesThePlainPoints) {
  std::vector<Point2D> zigzag;
  for (int i = 0; i < 24; ++i) zigzag.push_back({1.0 * ((i + 1) / 2), 1.0 * (i / 2)});
  bool sawFailedFit = false;
  for (long n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(levelOutBegin(), 0);
    for (const Point2D& p : zigzag) ASSERT_EQ(levelOutSameZPoint({p.x, p.y, 0}, 1), 0);
    rawRecords().clear();
    memTestFailAt(n);
    const int r = levelOutFlush();
    memTestFailAt(0);
    EXPECT_NE(r, -2);
    if (r == -1) sawFailedFit = true;
    std::vector<Point2D> written;
    for (const OutputRecord& rec : rawRecords()) {
      if (rec.type == 3111) written.push_back({rec.move.x, rec.move.y});
    }
    if (r == -1) {
      ASSERT_EQ(written.size(), zigzag.size() - 1);
      for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_DOUBLE_EQ(written[i].x, zigzag[i + 1].x);
        EXPECT_DOUBLE_EQ(written[i].y, zigzag[i + 1].y);
      }
    }
    EXPECT_EQ(levelOutEnd(), 0);
  }
  EXPECT_TRUE(sawFailedFit);
}

TEST_F(LevelOutTest, DrawnContours) {
  PkoList* set = pkoListNew(8);
  const Point3D v{0, 0, 0};
  // One chain of four segments (two collinear), a hidden segment, then a separate segment.
  pkoListAppend(set, {{0, 0, 5}, {1, 0, 5}}, v, 1, 0);
  pkoListAppend(set, {{1, 0, 5}, {2, 0, 5}}, v, 1, 0);
  pkoListAppend(set, {{2, 0, 5}, {2, 3, 5}}, v, 1, 0);
  pkoListAppend(set, {{2, 3, 5}, {0, 3, 5}}, v, -2, 0);
  pkoListAppend(set, {{7, 7, 5}, {9, 7, 5}}, v, 1, 0);
  GlobalParams* g = parGlobalBlock();
  g->grdraw = 0;
  EXPECT_EQ(levelOutDrawContours(set, nullptr), 1);
  EXPECT_TRUE(rawRecords().empty()) << "*GRDRAW 0 draws nothing";
  g->grdraw = 1;
  g->toolTip = 1;
  g->frtyp = 1;
  g->frradius = 4;
  EXPECT_EQ(levelOutDrawContours(set, nullptr), 1);
  std::vector<std::string> lines;
  for (const OutputRecord& r : rawRecords()) {
    if (r.type == 3103) lines.push_back("new curve");
    if (r.type == 3113) {
      char t[96];
      std::snprintf(t, sizeof t, "%d %g %g %g", r.type, r.move.x, r.move.y, r.move.z);
      lines.push_back(t);
    }
  }
  // The collinear point (1, 0) is merged away, the hidden segment ends the first chain, z is
  // lowered by the ball radius to the tip.
  EXPECT_EQ(lines, (std::vector<std::string>{"new curve", "3113 0 0 1", "3113 2 0 1", "3113 2 3 1",
                                             "new curve", "3113 7 7 1", "3113 9 7 1"}));
  pkoListFree(set);
}
