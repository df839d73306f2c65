// The per-region toolpath step with recording pocket steps: the grouping table, which levels get a
// whole-region pocket, the order of writes, pockets and emissions, the outside-in start points
// walking their candidates and the last attempt with 90 % of the stepover, values restored bit for
// bit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "box_part.h"
#include "cycles/rough_control.h"
#include "cycles/rough_grid.h"
#include "cycles/rough_region.h"
#include "cycles/run_reset.h"
#include "framework/cycle.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "geometry/geo_files.h"
#include "geometry/kont_region.h"
#include "model/model_fixture.h"
#include "model/path_collision.h"
#include "output/out3d_state.h"
#include "support/temp_dir.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"

namespace {

// ---- recording pocket steps -----------------------------------------------------------------

struct Step {
  std::string what;  // "write", "pocket", "emit"; "axis write", "axis pocket"
  double z = 0;
  int paths = 0;
  int emptied = 0;      // paths of a write whose point count is 0
  double stepover = 0;  // "*HORIZUSTEL" while pocketing
  int complete = 0;     // "*COMPLETE_POCKET" while pocketing
  bool stockRegion = false;
  bool markersOn = true;
  Point2D plunge{0, 0};
};
struct Script {
  std::vector<Step> steps;
  std::vector<int> emitResults;  // one per emission; the last repeats; empty: 0
  int pocketResult = 1;
  int breakAfterEmit = -1;  // the break check answers 1 after this many emissions
};
Script script;

int emits() {
  int n = 0;
  for (const Step& s : script.steps) n += s.what == "emit" ? 1 : 0;
  return n;
}

int fakeWrite(const char*, Kont2D* region, ZPath* paths, int count) {
  Step s{"write", region->z, count};
  for (int i = 0; i < count; ++i) s.emptied += paths[i].count == 0 ? 1 : 0;
  if (count > 0) s.z = paths[0].z;
  script.steps.push_back(s);
  return 1;
}
int fakePocket(double, double z, PathList*, int) {
  const GlobalParams& g = *parGlobalBlock();
  Step s{"pocket", z};
  s.stepover = g.horizustel;
  s.complete = g.completePocket;
  script.steps.push_back(s);
  return script.pocketResult;
}
int fakeWriteAxis(const char* file, Kont2D* region, ZPath* paths, int count) {
  const int r = fakeWrite(file, region, paths, count);
  script.steps.back().what = "axis write";
  return r;
}
int fakePocketAxis(double r, double z, PathList* apt) {
  const int result = fakePocket(r, z, apt, 0);
  script.steps.back().what = "axis pocket";
  return result;
}
int fakeEmit(PathList*, MachiningParams*, SurfaceModel*) {
  const int n = emits();
  Step s{"emit"};
  s.stockRegion = roughStockRegion() != nullptr;
  s.markersOn = collMarkersOn() != 0;
  s.plunge = roughPlungeState().point;
  script.steps.push_back(s);
  if (script.emitResults.empty()) return 0;
  return script.emitResults[std::min<std::size_t>(n, script.emitResults.size() - 1)];
}
int breakAnswer() { return script.breakAfterEmit >= 0 && emits() >= script.breakAfterEmit; }

std::vector<std::string>& messages() {
  static std::vector<std::string> m;
  return m;
}
int keepMessage(CycleRecord*, OutputRecord* r) {
  messages().push_back(r->text.text);
  return 1;
}

// A closed square path of side 2 at height z, group id group, with flags.
ZPath squarePath(double z, int group, unsigned flags = 0) {
  ZPath p{};
  const float pts[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  for (const auto& q : pts) zpathAppendPoint(&p, q, nullptr, -1, 0);
  p.z = z;
  p.closed = 1;
  p.groupId = group;
  p.flags = flags;
  return p;
}

class RoughRegionTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    script = Script{};
    messages().clear();
    const RoughPocketOps ops{fakeWrite, fakeWriteAxis, fakePocket, fakePocketAxis, fakeEmit};
    roughSetPocketOps(&ops);
    out3dSetBreakCheck(breakAnswer);
    out3dSetMsgLevel("", 9);
    cycle_.firstOutputPending = 0;
    ASSERT_EQ(cycRegisterLayer(&cycle_, 0, keepMessage, keepMessage, 1), 1);
    out3dSetCycle(&cycle_);
    region_ = kontNewRect(Point2D{0, 0}, Point2D{40, 30});
    region_->z = 7;
    paths_ = zpathListNew(4);
    apt_ = pathListNew(100, 1);
    GlobalParams& g = *parGlobalBlock();
    std::snprintf(g.tmpDir, sizeof g.tmpDir, "%s", ".");
    g.frradius = 10;
    g.horizustel = 7.3;
    g.completePocket = 1;
  }
  void TearDown() override {
    roughSetPocketOps(nullptr);
    out3dSetBreakCheck(nullptr);
    out3dSetCycle(nullptr);
    cycFreeLayers(&cycle_);
    kontFree(region_);
    zpathListFree(paths_);
    pathListFree(apt_);
    cyc3dResetRunState(nullptr);
  }
  void add(const ZPath& p) {
    ZPath copy = p;
    ASSERT_EQ(zpathListAdd(paths_, &copy), 1);
    zpathFreeArrays(&copy);
  }
  int run(const std::vector<double>& levels, const std::vector<std::int8_t>& allFree) {
    const RoughRegionInput in{
        region_, paths_, levels.data(), allFree.data(), static_cast<int>(levels.size()),
        DBL_MAX, apt_};
    return roughRegionToolpaths(&in, &params_, &model_);
  }
  // The steps as one line: w<z>/<paths>, p<z>, e (W and P for the axis-parallel steps).
  static std::string trace() {
    std::string out;
    char buf[64];
    for (const Step& s : script.steps) {
      if (s.what == "write") std::snprintf(buf, sizeof buf, "w%g/%d ", s.z, s.paths);
      if (s.what == "pocket") std::snprintf(buf, sizeof buf, "p%g ", s.z);
      if (s.what == "axis write") std::snprintf(buf, sizeof buf, "W%g/%d ", s.z, s.paths);
      if (s.what == "axis pocket") std::snprintf(buf, sizeof buf, "P%g ", s.z);
      if (s.what == "emit") std::snprintf(buf, sizeof buf, "e ");
      out += buf;
    }
    return out;
  }

  CycleRecord cycle_{};
  Kont2D* region_ = nullptr;
  ZPathList* paths_ = nullptr;
  PathList* apt_ = nullptr;
  MachiningParams params_;
  SurfaceModel model_{};
};

}  // namespace

// Groups of consecutive paths: equal heights (within 0.00001) join; with "*STEP_STRATEGY" 1 the
// group numbers must match too, so two pockets at one height stay apart, in list order.
TEST(RoughPocketGroups, Table) {
  ZPathList* list = zpathListNew(6);
  const double z[] = {10, 10 + 5e-6, 10, 10 - 2e-5, 5, 5};
  const int group[] = {1, 1, 2, 2, 3, 3};
  for (int i = 0; i < 6; ++i) {
    ZPath p = squarePath(z[i], group[i]);
    zpathListAdd(list, &p);
    zpathFreeArrays(&p);
  }
  struct Case {
    int strategy;
    std::vector<int> ends;
  };
  for (const Case& c : {Case{0, {3, 4, 6}}, Case{1, {2, 3, 4, 6}}, Case{2, {3, 4, 6}}}) {
    std::vector<int> ends;
    for (int first = 0; first < list->count;) {
      first = roughPocketGroupEnd(list, first, c.strategy);
      ends.push_back(first);
    }
    EXPECT_EQ(ends, c.ends) << "strategy " << c.strategy;
  }
  EXPECT_EQ(roughPocketGroupEnd(list, 6, 0), 6);
  EXPECT_EQ(roughPocketGroupEnd(nullptr, 0, 0), 0);
  zpathListFree(list);
}

// Whole-region pockets only strictly above the highest Z path and where every cell was free.
TEST(RoughWholeRegion, SelectionTable) {
  struct Case {
    double h, d;
    int allFree, expected;
  };
  const Case cases[] = {
      {30, 20, 1, 1}, {20, 20, 1, 0}, {20 + 2e-5, 20, 1, 1}, {20 + 5e-6, 20, 1, 0},
      {15, 20, 1, 0}, {30, 20, 0, 0}, {-50, -DBL_MAX, 1, 1}, {-50, -DBL_MAX, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(roughWholeRegionLevel(c.h, c.d, c.allFree), c.expected) << c.h << " over " << c.d;
  }
}

// Levels 30 and 25 lie above the paths and are free: whole-region pockets (the region written at
// their height, its own height restored). 20 carries paths, 15 lies below them: only groups. The
// too-small path is emptied before its group is written; message 36 counts every pocket.
TEST_F(RoughRegionTest, WholeRegionLevelsThenGroups) {
  add(squarePath(20, 1));
  add(squarePath(20, 1, kZPathFlagTooSmall));
  add(squarePath(15, 1));
  qdtest::writeFile(kRoughFinishBoundaryFile, "x");
  ASSERT_EQ(run({30, 25, 22, 20, 15}, {1, 1, 0, 1, 1}), 1);
  EXPECT_EQ(trace(), "w30/0 p30 e w25/0 p25 e w20/2 p20 e w15/1 p15 e ");
  EXPECT_EQ(script.steps[6].emptied, 1);
  EXPECT_DOUBLE_EQ(region_->z, 7);
  EXPECT_EQ(paths_->items[1].count, 0);
  EXPECT_EQ(messages(), (std::vector<std::string>{"36,1", "36,2", "36,3", "36,4"}));
  EXPECT_EQ(geoFileExists(kRoughFinishBoundaryFile), 0);
}

// A region without Z paths is pocketed whole at every free level; the flat-plane pass marker with
// paths suppresses the whole-region pockets.
TEST_F(RoughRegionTest, NoPathsAndPlanePass) {
  ASSERT_EQ(run({12, 8}, {1, 1}), 1);
  EXPECT_EQ(trace(), "w12/0 p12 e w8/0 p8 e ");
  script = Script{};
  add(squarePath(4, 1));
  roughControlSetPlanePass(1);
  ASSERT_EQ(run({12, 8, 4}, {1, 1, 1}), 1);
  roughControlSetPlanePass(0);
  EXPECT_EQ(trace(), "w4/1 p4 e ");
}

// Stock mode: the region is the stock region during each emission and none afterwards.
TEST_F(RoughRegionTest, StockRegionOnlyDuringEmission) {
  parGlobalBlock()->stockMode = 1;
  add(squarePath(4, 1));
  ASSERT_EQ(run({12, 4}, {1, 1}), 1);
  ASSERT_EQ(emits(), 2);
  for (const Step& s : script.steps) {
    if (s.what == "emit") {
      EXPECT_TRUE(s.stockRegion);
    }
  }
  EXPECT_EQ(roughStockRegion(), nullptr);
}

// "*AXIS_POCKET": every level and group goes through the axis-parallel writer and pocketing, once
// (no outside-in retries, even with a start collision), with no stock region, and the paths are
// not marked for rounding; a failing axis-parallel pocket ends the call with its code.
TEST_F(RoughRegionTest, AxisPocketBranch) {
  GlobalParams& g = *parGlobalBlock();
  g.axisPocket = 1;
  g.stockMode = 1;
  g.filletCorners = 1;
  g.outsideIn = 1;
  add(squarePath(20, 1));
  add(squarePath(20, 1, kZPathFlagTooSmall));
  add(squarePath(15, 1));
  script.emitResults = {kRoughStartCollides};
  ASSERT_EQ(run({30, 20, 15}, {1, 1, 1}), kRoughStartCollides);
  EXPECT_EQ(trace(), "W30/0 P30 e ");
  script = Script{};
  ASSERT_EQ(run({30, 20, 15}, {1, 1, 1}), 1);
  EXPECT_EQ(trace(), "W30/0 P30 e W20/2 P20 e W15/1 P15 e ");
  EXPECT_EQ(script.steps[3].emptied, 1);
  for (const Step& s : script.steps) EXPECT_FALSE(s.stockRegion) << s.what;
  for (int i = 0; i < paths_->count; ++i) {
    EXPECT_EQ(paths_->items[i].flags & kZPathFlagRound, 0u) << i;
  }
  script = Script{};
  script.pocketResult = -7;
  EXPECT_EQ(run({30, 20, 15}, {1, 1, 1}), -7);
  EXPECT_EQ(trace(), "W30/0 P30 ");
}

// A failing pocket step ends the call with its code; a break after the first emission with -2;
// both remove the boundary dump.
TEST_F(RoughRegionTest, FailureAndBreakEndTheCall) {
  add(squarePath(4, 1));
  add(squarePath(2, 1));
  script.pocketResult = -7;
  qdtest::writeFile(kRoughFinishBoundaryFile, "x");
  EXPECT_EQ(run({4, 2}, {0, 0}), -7);
  EXPECT_EQ(trace(), "w4/1 p4 ");
  EXPECT_EQ(geoFileExists(kRoughFinishBoundaryFile), 0);
  script = Script{};
  script.breakAfterEmit = 1;
  EXPECT_EQ(run({4, 2}, {0, 0}), kRoughStopBreak);
  EXPECT_EQ(trace(), "w4/1 p4 e ");
  EXPECT_EQ(roughRegionToolpaths(nullptr, &params_, &model_), -20);
}

namespace {

// A flat end mill of radius 10 over a box part.
class OutsideInTest : public RoughRegionTest {
 protected:
  void useBox(double x0, double y0, double x1, double y1, double top) {
    part_ = qdtest::boxPart(x0, y0, x1, y1, top);
    GlobalParams& g = *parGlobalBlock();
    g.outsideIn = 1;
    g.macroSrad = 3;
    g.aufmass = 0;
    g.zustellOk = 0;
  }
  int level(double z) { return roughPocketOutsideIn(z, region_, apt_, &params_, &part_->m); }
  std::vector<Point2D> emitPlunges() const {
    std::vector<Point2D> out;
    for (const Step& s : script.steps) {
      if (s.what == "emit") out.push_back(s.plunge);
    }
    return out;
  }
  std::unique_ptr<qdtest::TriModel> part_;
};

bool samePlan(const Point2D& a, const Point2D& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

// A start collision (-3) leads to the next stored candidate (below, above, left, right of the
// region box, 13 out), each attempt with the collision markers off; success ends the level.
TEST_F(OutsideInTest, AttemptsWalkTheStoredCandidates) {
  useBox(15, 12, 25, 18, 5);
  script.emitResults = {-3, -3, 0};
  EXPECT_EQ(level(3), 0);
  EXPECT_EQ(trace(), "p3 e p3 e p3 e ");
  const std::vector<Point2D> plunges = emitPlunges();
  const Point2D expected[] = {{20, -13}, {20, 43}, {-13, 15}};
  ASSERT_EQ(plunges.size(), 3u);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(samePlan(plunges[k], expected[k])) << k;
  for (const Step& s : script.steps) {
    if (s.what == "emit") {
      EXPECT_FALSE(s.markersOn);
    }
  }
  EXPECT_TRUE(collMarkersOn());
  EXPECT_EQ(parGlobalBlock()->zustellOk, 1);
}

// Four colliding attempts, then the last one with 90 % of the stepover; below the tool radius
// the complete-pocket switch is off for it. Both values come back exactly, whatever the result.
// Without the outside-in strategy a start collision goes straight to the last attempt.
TEST_F(OutsideInTest, LastAttemptWithLessStepover) {
  useBox(15, 12, 25, 18, 5);
  GlobalParams& g = *parGlobalBlock();
  for (const int outsideIn : {1, 0}) {
    script = Script{};
    g.outsideIn = outsideIn;
    g.zustellOk = 0;
    g.horizustel = 7.3;
    script.emitResults = {-3};
    EXPECT_EQ(level(3), -3);
    EXPECT_EQ(trace(), outsideIn == 1 ? "p3 e p3 e p3 e p3 e p3 e " : "p3 e p3 e ");
    const Step& last = script.steps[script.steps.size() - 2];
    EXPECT_EQ(last.stepover, 7.3 * 0.9);
    EXPECT_EQ(last.complete, 0);
    EXPECT_EQ(script.steps[0].complete, 1);
    EXPECT_EQ(g.horizustel, 7.3);
    EXPECT_EQ(g.completePocket, 1);
  }
  // Above the tool radius the switch stays on; a failed pocketing still restores the values.
  script = Script{};
  g.outsideIn = 0;
  g.horizustel = 12.345678901;
  script.emitResults = {-3};
  script.pocketResult = 1;
  EXPECT_EQ(level(3), -3);
  EXPECT_EQ(script.steps[script.steps.size() - 2].complete, 1);
  EXPECT_EQ(g.horizustel, 12.345678901);
}

// When every candidate collides the level ends with -1 and message 3506, before any pocketing.
TEST_F(OutsideInTest, NoFreeStartPoint) {
  useBox(-20, -20, 60, 50, 10);
  EXPECT_EQ(level(3), -1);
  EXPECT_EQ(trace(), "");
  EXPECT_EQ(messages(), (std::vector<std::string>{"3506,0"}));
  // The search itself: none free gives -1; "*ZUSTELL_OK" makes both calls answer 1 unchanged.
  EXPECT_EQ(roughFindStartPoints(&part_->m, region_, 0.1, 3), -1);
  parGlobalBlock()->zustellOk = 1;
  EXPECT_EQ(roughFindStartPoints(&part_->m, region_, 0.1, 3), 1);
  Point3D p{1, 2, 3};
  EXPECT_EQ(roughNextStartPoint(&p), 1);
  EXPECT_EQ(p.x, 1);
  parGlobalBlock()->outsideIn = 0;
  EXPECT_EQ(roughFindStartPoints(&part_->m, region_, 0.1, 3), 0);
}

// ---- the stock-rest pass ----------------------------------------------------------------------

namespace {

// A "**BND" block of the rectangle (x0, y0) - (x1, y1) at height z.
std::string rectBlock(double x0, double y0, double x1, double y1, double z) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "**BND 1\nX%g Y%g Z%g\nX%g Y%g Z%g\nX%g Y%g Z%g\nX%g Y%g Z%g\n**END\n", x0, y0, z,
                x1, y0, z, x1, y1, z, x0, y1, z);
  return buf;
}

// A closed square path of side 2 with its lower left corner at (x, y).
ZPath squareAt(float x, float y, double z, unsigned flags = 0) {
  ZPath p{};
  const float pts[4][2] = {{x, y}, {x + 2, y}, {x + 2, y + 2}, {x, y + 2}};
  for (const auto& q : pts) zpathAppendPoint(&p, q, nullptr, -1, 0);
  p.z = z;
  p.closed = 1;
  p.flags = flags;
  return p;
}

// Stock outlines per level in "stock.bnd", the machining regions in the controller's dump and the
// Z paths in "rest.zpa" written with the Z-path file writer.
class StockPocketTest : public RoughRegionTest {
 protected:
  void SetUp() override {
    RoughRegionTest::SetUp();
    part_ = qdtest::boxPart(0, 0, 1, 1, -50);
  }
  void writePaths(const std::vector<ZPath>& paths) {
    ASSERT_EQ(zpathFileTruncate("rest.zpa"), 1);
    for (ZPath p : paths) {
      ASSERT_EQ(zpathFileAppend("rest.zpa", &p), 1);
      zpathFreeArrays(&p);
    }
  }
  // The machining region (-1, -1) - (30, 30) appended to the controller's boundary dump.
  static void dumpRegion() {
    Kont2D* region = kontNewRect(Point2D{-1, -1}, Point2D{30, 30});
    region->z = 0;
    ASSERT_EQ(roughWriteBoundary(region), 1);
    kontFree(region);
  }
  int run() { return roughStockPockets(&params_, &part_->m, "rest.zpa", "stock.bnd"); }
  std::unique_ptr<qdtest::TriModel> part_;
};

}  // namespace

// Contours with a point inside the region or on its edge are copied in list order; the copies
// are chained and own their segments.
TEST(RoughSelectContours, InsideOrOnTheEdge) {
  Kont2D* region = kontNewRect(Point2D{0, 0}, Point2D{10, 10});
  Kont2D* inside = kontNewRect(Point2D{2, 2}, Point2D{4, 4});
  Kont2D* outside = kontNewRect(Point2D{20, 20}, Point2D{24, 24});
  Kont2D* onEdge = kontNewRect(Point2D{10, 3}, Point2D{14, 5});
  inside->z = 5;
  onEdge->z = 3;
  inside->next = outside;
  outside->next = onEdge;
  Kont2D* out = nullptr;
  ASSERT_EQ(roughSelectContoursInside(inside, region, &out), 2);
  ASSERT_NE(out, nullptr);
  EXPECT_NE(out, inside);
  EXPECT_EQ(out->z, 5);
  EXPECT_EQ(out->xmin, 2);
  ASSERT_NE(out->next, nullptr);
  EXPECT_EQ(out->next->xmin, 10);
  EXPECT_EQ(out->next->z, 3);
  EXPECT_EQ(out->next->next, nullptr);
  kontFree(out);
  outside->next = nullptr;
  EXPECT_EQ(roughSelectContoursInside(outside, region, &out), 0);
  EXPECT_EQ(out, nullptr);
  outside->next = onEdge;
  EXPECT_EQ(roughSelectContoursInside(inside, region, nullptr), -20);
  kontFree(inside);
  kontFree(region);
}

// Two stock levels over one region, one path each: the pockets come top down, each written with
// its outline and its path, message 36 once per pocket with a running number; the too-small path
// is left out under "*SKIP_SMALL_POCKETS" and its pocket with it. An outline in no machining region
// is not pocketed.
TEST_F(StockPocketTest, PocketsTopDownOncePerPocket) {
  writePaths({squareAt(5, 5, 8), squareAt(5, 5, 4), squareAt(12, 5, 4, kZPathFlagTooSmall)});
  qdtest::writeFile("stock.bnd", rectBlock(0, 0, 20, 20, 8) + rectBlock(0, 0, 20, 20, 4) +
                                     rectBlock(100, 100, 120, 120, 4));
  dumpRegion();
  parGlobalBlock()->skipSmallPockets = 1;
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(trace(), "w8/1 p8 e w4/1 p4 e ");
  EXPECT_EQ(messages(), (std::vector<std::string>{"36,1", "36,2"}));
  EXPECT_EQ(roughStockRegion(), nullptr);
  int count = 0;
  EXPECT_EQ(roughFullcutContours(&count), nullptr);

  // Without the switch the small path makes a pocket of its own, its path emptied before the
  // write like a group's; pockets of one level come by falling centre x.
  script = Script{};
  messages().clear();
  parGlobalBlock()->skipSmallPockets = 0;
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(trace(), "w8/1 p8 e w4/1 p4 e w4/1 p4 e ");
  ASSERT_EQ(script.steps.size(), 9u);
  EXPECT_EQ(script.steps[3].emptied, 1);
  EXPECT_EQ(script.steps[6].emptied, 0);
  EXPECT_EQ(messages(), (std::vector<std::string>{"36,1", "36,2", "36,3"}));
}

// No Z paths (no file, an empty file) ends at once with 1; a missing boundary file or region dump
// fails with the reader's code and nothing pocketed; a break after the first pocket gives -2.
TEST_F(StockPocketTest, NothingToDoFailuresAndBreak) {
  EXPECT_EQ(run(), 1);
  writePaths({});
  EXPECT_EQ(run(), 1);
  EXPECT_TRUE(script.steps.empty());

  writePaths({squareAt(5, 5, 8), squareAt(5, 5, 4)});
  EXPECT_EQ(run(), -29);
  qdtest::writeFile("stock.bnd", rectBlock(0, 0, 20, 20, 8) + rectBlock(0, 0, 20, 20, 4));
  EXPECT_EQ(run(), -29);
  EXPECT_TRUE(script.steps.empty());
  EXPECT_TRUE(messages().empty());

  dumpRegion();
  script.breakAfterEmit = 1;
  EXPECT_EQ(run(), kRoughStopBreak);
  EXPECT_EQ(trace(), "w8/1 p8 e ");
  EXPECT_EQ(roughStockPockets(nullptr, &part_->m, "rest.zpa", "stock.bnd"), -20);
}
