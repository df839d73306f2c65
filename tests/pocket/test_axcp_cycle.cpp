// The axis-parallel pocket cycle: its record, forced parameters and the parent link, the arc
// division, the "*AXIS_POCKET" states, the tool-centre rule, and checked runs on a rectangle, a
// rectangle with islands and an L.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "framework/global_params.h"
#include "framework/output.h"
#include "framework/pof_writer.h"
#include "geometry/lists.h"
#include "pocket/axcp_record.h"
#include "pocket/ccp_record.h"
#include "pocket/mean_path.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace ccptest;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

class AxcpTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    resetPocketRun();
    axcpRecordReset();
    pockSetSourceLoader(ccpCycleRecord());
    ccpCycleRecord()->status = 0;
    axcpCycleRecord()->status = 0;
    parGlobalBlock()->axisPocket = 1;
  }
  void TearDown() override {
    parGlobalBlock()->axisPocket = 0;
    axcpRecordReset();
    meanPathResetState();
    resetPocketRun();
  }
  // Runs qdAxCp on the job and returns the POF text.
  std::string run(const std::vector<std::pair<std::string, std::string>>& keys, int* code) {
    writeFile("job.pcf", pcf(keys));
    std::remove("out.pof");
    std::string id = "qdAxCp";
    std::string s = "-sjob";
    std::string pofOption = "-POF";
    char* argv[] = {id.data(), s.data(), pofOption.data()};
    CycleRecord* c = axcpCycleRecord();
    *code = cycParseOptions(c, argv, 3, 0) == 1 ? cycRun(c) : -1;
    return readFile("out.pof");
  }
};

bool has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

int countOf(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++n;
  }
  return n;
}

// A tool-centre job: tool radius 5 with plane allowance -5, as the nested roughing runs give it.
std::vector<std::pair<std::string, std::string>> centreJob(double width) {
  return {{"geoSource", "pocket.qdx"}, {"toolDiameter", "10"},
          {"planeAllowance", "-5"},    {"infeedLength", std::to_string(width)},
          {"oriAutomatic", "none"},    {"depth", "5"},
          {"pofFilename", "out.pof"}};
}

TEST_F(AxcpTest, RecordStartsAsAChildOfTheContourParallelCycle) {
  CycleRecord* c = axcpCycleRecord();
  const auto* a = reinterpret_cast<const AxcpRecord*>(c);
  EXPECT_EQ(c->parent, ccpCycleRecord());
  EXPECT_EQ(c->code, 1001);
  EXPECT_STREQ(c->id, "qdAxCp");
  EXPECT_STREQ(c->title, "Brevonix 2D Axisparallel Pocket Cycle");
  EXPECT_EQ(c->version[2], 1997);
  EXPECT_EQ(c->slots.phaseReadParams, axcpReadParameters);
  EXPECT_EQ(c->slots.phaseCompute, axcpRun);
  EXPECT_EQ(c->slots.phaseInit, nullptr);  // taken from qdCCP
  EXPECT_STREQ(a->ccp.messageFile, "rsaxcphc.loc");
  EXPECT_EQ(a->ccp.depth, 10.0);
  EXPECT_EQ(a->ccp.completePocket, 0);
  EXPECT_EQ(a->ccp.plungeAtLastPosition, 0);
  EXPECT_EQ(a->ccp.singleCutOverlapFactor, 0.0);
  EXPECT_EQ(a->ccp.orientation, 1);  // the rest as the contour-parallel record
  EXPECT_EQ(a->clearAngle, 0.0);
  EXPECT_EQ(a->offsetFactor, 0.1);
}

TEST_F(AxcpTest, ForcedParametersAndTheParentLink) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  auto keys = centreJob(4);
  keys.push_back({"infeedRadius", "1"});
  keys.push_back({"filletRadius", "1"});
  keys.push_back({"completePocket", "true"});
  keys.push_back({"offsetFactor", "0.7"});
  int code = 0;
  run(keys, &code);
  EXPECT_EQ(code, kRunOk);
  const auto* a = reinterpret_cast<const AxcpRecord*>(axcpCycleRecord());
  EXPECT_EQ(a->ccp.infeedRadius, 0.0);
  EXPECT_EQ(a->ccp.filletRadius, 0.0);
  EXPECT_EQ(a->ccp.completePocket, 0);
  EXPECT_EQ(a->offsetFactor, 0.7);
  EXPECT_EQ(a->clearAngle, 0.0);
  EXPECT_EQ(axcpCycleRecord()->parent, ccpCycleRecord());
  // A failing parent reading (no tool) restores the link as well.
  run({{"geoSource", "pocket.qdx"}, {"pofFilename", "out.pof"}}, &code);
  EXPECT_EQ(code, kRunReadParamsFailed);
  EXPECT_EQ(axcpCycleRecord()->parent, ccpCycleRecord());
}

TEST(AxcpArcs, PointsAtOneDegreeWithTheExactEndLast) {
  struct Case {
    const char* name;
    double sweepDeg;
    int dir;
  };
  for (const Case& c : {Case{"ccw 37.5", 37.5, 1}, Case{"cw 200.3", 200.3, -1},
                        Case{"ccw 0.4", 0.4, 1}, Case{"cw 359.5", 359.5, -1}}) {
    const double r = 7, a0 = 0.3;
    const double a1 = a0 + c.dir * c.sweepDeg * kAxcpArcStep;
    const ContourElement arc = contMakeArc(1, 2, 1 + r * std::cos(a0), 2 + r * std::sin(a0),
                                           1 + r * std::cos(a1), 2 + r * std::sin(a1), r, c.dir, 0);
    IntList* idx = lstIntNew(10);
    Pt2List* pts = lstPt2New(10);
    ASSERT_EQ(axcpArcToPoints(idx, pts, arc), 1);
    ASSERT_EQ(pts->count, static_cast<int>(std::floor(c.sweepDeg)) + 1) << c.name;
    for (int k = 0; k + 1 < pts->count; ++k) {
      const double a = a0 + c.dir * (k + 1) * kAxcpArcStep;
      EXPECT_NEAR(pts->items[k].x, 1 + r * std::cos(a), 1e-9) << c.name;
      EXPECT_NEAR(pts->items[k].y, 2 + r * std::sin(a), 1e-9) << c.name;
    }
    EXPECT_EQ(pts->items[pts->count - 1].x, arc.p4) << c.name;
    EXPECT_EQ(pts->items[pts->count - 1].y, arc.p5) << c.name;
    EXPECT_EQ(idx->count, pts->count);
    lstIntFree(idx);
    lstBox2Free(pts);
  }
}

// A last arc of a contour was its chord: the loop left the region at an island's arc. A full
// circle was half a circle.
TEST(AxcpArcs, LastArcAndFullCircleKeepTheirPoints) {
  // A half disc: the bottom line, then the upper half circle as the last element.
  const ContourElement half[] = {contMakeLine(-5, 0, 5, 0, 0),
                                 contMakeArc(0, 0, 5, 0, -5, 0, 5, 1, 0)};
  const ContourElement circle[] = {contMakeArc(0, 0, 5, 0, 5, 0, 5, 1, 0)};
  struct Case {
    const char* name;
    const ContourElement* e;
    int n;
    int points;
  };
  for (const Case& c : {Case{"half disc", half, 2, 1 + 1 + 179}, Case{"circle", circle, 1, 360}}) {
    IntList* idx = lstIntNew(10);
    Pt2List* pts = lstPt2New(10);
    ASSERT_EQ(axcpElemsToPoints(c.e, c.n, idx, pts), 0);
    EXPECT_EQ(pts->count, c.points) << c.name;
    EXPECT_EQ(idx->count, pts->count + 1) << c.name;
    EXPECT_EQ(idx->items[idx->count - 1], idx->items[0]) << c.name;
    // Every point lies on the contour: y 0 or radius 5.
    for (int k = 0; k < pts->count; ++k) {
      const Point2D p = pts->items[k];
      EXPECT_TRUE(std::fabs(p.y) < 1e-12 || std::fabs(std::hypot(p.x, p.y) - 5) < 1e-9) << c.name;
    }
    lstIntFree(idx);
    lstBox2Free(pts);
  }
}

// Checks a run's POF as tool-centre pocket at -5 cleared by a meander of width w: no gouge, and
// every cell the tool fits is cut (C2 with no inset: the wall pass takes the walls between the
// passes).
void checkRun(const std::string& pof, const tpc::Pocket& pocket, double w) {
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "axcp")));
  ASSERT_FALSE(path.moves.empty());
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
  tpc::CoverOptions c1;
  c1.floorZ = -5;
  c1.step = w;
  EXPECT_TRUE(tpc::passes(tpc::checkCoverStep(path, pocket, c1)));
  tpc::CoverOptions c2;
  c2.floorZ = -5;
  EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, c2)));
}

std::vector<std::pair<double, double>> pairs(const std::vector<Point2D>& p) {
  std::vector<std::pair<double, double>> out;
  for (const Point2D& q : p) out.push_back({q.x, q.y});
  return out;
}

TEST_F(AxcpTest, CheckedRuns) {
  struct Case {
    const char* name;
    std::vector<Point2D> outer;
    std::vector<std::vector<Point2D>> islands;
    double width;
  };
  const std::vector<Point2D> ell{{0, 0}, {60, 0}, {60, 20}, {20, 20}, {20, 50}, {0, 50}};
  const Case cases[] = {
      {"rectangle", rectangle(0, 0, 40, 30), {}, 4},
      {"rectangle with islands",
       rectangle(0, 0, 80, 50),
       {rectangle(15, 10, 30, 25, false), rectangle(50, 20, 62, 40, false)},
       6},
      {"L", ell, {}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string xchg = xchgHeader() + lineContour(c.outer);
    tpc::Pocket pocket{tpc::polygon(pairs(c.outer), 0, 0), {}, true};
    for (const auto& island : c.islands) {
      xchg += lineContour(island, "  vsideOfCompensation( leftOfContour )\n");
      pocket.islands.push_back(tpc::polygon(pairs(island), 0, 0));
    }
    writeFile("pocket.qdx", xchg);
    int code = 0;
    const std::string pof = run(centreJob(c.width), &code);
    EXPECT_EQ(code, kRunOk) << pof;
    EXPECT_FALSE(has(pof, "error(")) << pof;
    checkRun(pof, pocket, c.width);
  }
}

// A 10 x 10 island across a pass line pushed a notch into the cell beside it, whose left pass line
// it interrupts; the meander followed only the top or the bottom of each cell and left the notch
// and the walls between the passes uncut (129 mm2 beside one island). The islands stand at several
// places against the pass lines (anchor 30, width 6: lines at 0, 6, ..., 60 shifted by less than
// 0.1 where a vertex would lie on one).
TEST_F(AxcpTest, IslandNotchesAreCut) {
  for (const double x : {21.0, 25.5, 27.0, 28.9, 31.5, 33.2}) {
    for (const double y : {8.0, 17.0}) {
      SCOPED_TRACE(testing::Message() << "island at " << x << "," << y);
      const auto island = rectangle(x, y, x + 10, y + 10, false);
      writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 60, 40)) +
                                  lineContour(island, "  vsideOfCompensation( leftOfContour )\n"));
      int code = 0;
      const std::string pof = run(centreJob(6), &code);
      EXPECT_EQ(code, kRunOk) << pof;
      EXPECT_FALSE(has(pof, "error(")) << pof;
      checkRun(pof, {tpc::rectangle(0, 0, 60, 40, 0, 0), {tpc::polygon(pairs(island), 0, 0)}, true},
               6);
    }
  }
}

// Grouped mode ("oriAutomatic" "full", as the roughing writes it): two pockets, one with an
// island, each a group of its own, both cleared.
TEST_F(AxcpTest, GroupedRunClearsEveryPocket) {
  const auto island = rectangle(15, 10, 30, 25, false);
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 80, 50)) +
                              lineContour(island, "  vsideOfCompensation( leftOfContour )\n") +
                              lineContour(rectangle(100, 0, 130, 25)));
  auto keys = centreJob(4);
  keys.erase(keys.begin() + 4);  // "oriAutomatic" at its default "full"
  int code = 0;
  const std::string pof = run(keys, &code);
  EXPECT_EQ(code, kRunOk) << pof;
  EXPECT_FALSE(has(pof, "error(")) << pof;
  for (const auto& [outer, islands] :
       {std::pair{tpc::rectangle(0, 0, 80, 50, 0, 0),
                  std::vector<tpc::Contour>{tpc::polygon(pairs(island), 0, 0)}},
        std::pair{tpc::rectangle(100, 0, 130, 25, 0, 0), std::vector<tpc::Contour>{}}}) {
    tpc::Pocket pocket{outer, islands, true};
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "axcp")));
    tpc::CoverOptions c2;
    c2.floorZ = -5;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, c2)));
  }
  // No feed move at the floor lies between the pockets (a vertex on a pass line moves 0.001).
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "axcp")));
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || m.to.z > -4.99) continue;
    const bool left = m.to.x <= 80.002, right = m.to.x >= 100 - 1e-6;
    EXPECT_TRUE(left || right) << m.to.x << "," << m.to.y;
  }
}

// The contours are taken as the tool centre's limits: a run whose R + plane allowance is not 0
// would put the passes along the walls into them.
TEST_F(AxcpTest, RunWithWallOffsetIsRefused) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  auto keys = centreJob(4);
  keys[2] = {"planeAllowance", "0"};
  int code = 0;
  const std::string pof = run(keys, &code);
  EXPECT_EQ(code, kRunComputeFailed);
  EXPECT_TRUE(has(pof, "0: error(1104)")) << pof;
  EXPECT_FALSE(has(pof, "31: oL")) << pof;
}

// "*AXIS_POCKET" other than 1 gave no moves and a successful run without a word.
TEST_F(AxcpTest, AxisPocketStates) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  struct Case {
    short state;
    bool moves;
  };
  for (const Case& c : {Case{1, true}, Case{0, false}, Case{2, false}, Case{3, false}}) {
    parGlobalBlock()->axisPocket = c.state;
    auto keys = centreJob(4);
    keys.push_back({"infeedDepth", "2"});  // three levels: the report comes once
    int code = 0;
    const std::string pof = run(keys, &code);
    EXPECT_EQ(code, kRunOk) << c.state;
    EXPECT_EQ(has(pof, "31: oL"), c.moves) << c.state;
    EXPECT_EQ(countOf(pof, "0: error(1104)"), c.moves ? 0 : 1) << c.state;
  }
}

// A mean path with nothing to compute wrote the raw loops as one path joined by unchecked feed
// moves; now the level has no toolpath and says so.
TEST_F(AxcpTest, NothingComputedWritesNoPath) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  int code = 0;
  const std::string pof = run(centreJob(0), &code);  // width 0: nothing to compute
  EXPECT_TRUE(has(pof, "0: error(1507)")) << pof;
  EXPECT_FALSE(has(pof, "31: oL")) << pof;
}

// The plain plunge after a level's first entry belongs to the run.
TEST_F(AxcpTest, PlungeTypeIsRestoredAfterTheRun) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  auto keys = centreJob(4);
  keys.push_back({"plungeType", "helical"});
  int code = 0;
  run(keys, &code);
  EXPECT_EQ(code, kRunOk);
  EXPECT_EQ(ccpRecordOf(axcpCycleRecord())->plungeType, 1);
}

// A group of more than 401 contours: every island takes part in the level.
TEST_F(AxcpTest, MoreThan401ContoursAllTakePart) {
  std::string xchg = xchgHeader() + lineContour(rectangle(0, 0, 1230, 50));
  tpc::Pocket pocket{tpc::rectangle(0, 0, 1230, 50, 0, 0), {}, true};
  for (int i = 0; i < 405; ++i) {
    const double x = 5.3 + 3 * i;  // no vertex on a pass line (odd x)
    const double y = i % 2 == 0 ? 10 : 30;
    xchg += lineContour(rectangle(x, y, x + 2.5, y + 8, false));
    pocket.islands.push_back(tpc::rectangle(x, y, x + 2.5, y + 8, 0, 0));
  }
  writeFile("pocket.qdx", xchg);
  int code = 0;
  const std::string pof = run(centreJob(2), &code);
  EXPECT_EQ(code, kRunOk);
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "axcp")));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
}

}  // namespace
