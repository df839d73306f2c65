// The roughing controller: the retry rule against its closed form (alone and through the level
// loop with a fake slice), the output name, the end of the run when the output cannot be closed,
// the drop grid refusal, the dormant boundary dump, the facet filter, the drop tool of the gouge
// check, and on the real parts the level list and the path count of each level against
// brute-force drops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "cycles/cycle_result.h"
#include "cycles/rough_control.h"
#include "cycles/rough_grid.h"
#include "cycles/rough_setup.h"
#include "cycles/run_reset.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "geometry/csys.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "model/model_fixture.h"
#include "rough_job.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"
#include "toolpath_check.h"
#include "zlevel/gouge_check.h"
#include "zlevel/level_fixture.h"
#include "zlevel/level_slice.h"
#include "zlevel/step_opt.h"

namespace {

// ---- the retry rule alone ---------------------------------------------------------------------

// The height offset of attempt n (0 the first) in closed form: 0, -1, +1, -2, +2, ... x 0.001.
double attemptOffset(int n) {
  if (n == 0) return 0;
  const int k = (n + 1) / 2;
  return (n % 2 == 1 ? -1.0 : 1.0) * k * 0.001;
}

TEST(RoughRetryRule, ClosedFormAndGiveUpCodes) {
  cyc3dResetRunState(nullptr);
  struct Case {
    int slice;
    int giveUp;
  };
  for (const Case c : {Case{-5, -5}, Case{-43, -43}, Case{-45, -1000}, Case{-7, -1000}}) {
    RegionTry r = roughRegionTry(20.0, 0.08, 0);
    roughRetryReset();
    int attempts = 0;
    for (;;) {
      ++attempts;
      EXPECT_NEAR(r.z, 20.0 + attemptOffset(attempts - 1), 1e-12) << attempts;
      EXPECT_DOUBLE_EQ(r.tolerance, 0.08 / std::pow(2.0, attempts - 1)) << attempts;
      EXPECT_EQ(r.retries, attempts - 1);
      r.sliceResult = c.slice;
      const int rule = roughRetryRule(&r);
      if (rule != kRoughRetry) {
        EXPECT_EQ(rule, c.giveUp) << c.slice;
        break;
      }
      EXPECT_EQ(r.sliceResult, 1);
      EXPECT_EQ(r.secondResult, 1);
      ASSERT_LT(attempts, 100);
    }
    EXPECT_EQ(attempts, 15) << c.slice;
  }
  // -1 and -2 end at once; success resets the counter; a failed second result gives up.
  roughRetryReset();
  RegionTry r = roughRegionTry(1, 1, 0);
  r.sliceResult = -1;
  EXPECT_EQ(roughRetryRule(&r), -1);
  r = roughRegionTry(1, 1, 0);
  r.secondResult = -2;
  EXPECT_EQ(roughRetryRule(&r), -2);
  r = roughRegionTry(1, 1, 0);
  r.sliceResult = -9;
  EXPECT_EQ(roughRetryRule(&r), kRoughRetry);
  r.sliceResult = 3;
  EXPECT_EQ(roughRetryRule(&r), 1);
  r.sliceResult = 0;
  r.secondResult = -4;
  EXPECT_EQ(roughRetryRule(&r), -1000);
}

// ---- the controller on a part file --------------------------------------------------------------

struct SliceCall {
  double z, tolerance;
  int seed;
};
struct Recorder {
  std::vector<SliceCall> slices;
  std::vector<int> script;  // slice results to return before slicing for real; 0: real
  std::vector<std::vector<double>> regionLevels;
  std::vector<std::vector<double>> regionPathZ;
  std::vector<int> regionOrientation;        // of each region's outer contour
  std::vector<std::vector<int>> regionFree;  // per region the whole-region flag of each level
  int extraPieces = 0;  // the first slices that add a traced square of their own to the real ones
  int regionResult = 0;
  int finishResult = 0;
  int breakAtSlice = -1;  // the host's break answer from this slice on
  int breakValue = 0;
};
Recorder rec;

int recordSlice(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice) {
  rec.slices.push_back({params->z, params->tolerance, params->shuffleSeed});
  const std::size_t n = rec.slices.size();
  if (n <= rec.script.size() && rec.script[n - 1] != 0) return rec.script[n - 1];
  const int r = arczLevelPaths(ctx, tool, params, slice);
  if (r < 0 || static_cast<int>(n) > rec.extraPieces) return r;
  // A closed square of side 4 on the middle of the box, traced as one piece.
  const double x[5] = {18, 22, 22, 18, 18}, y[5] = {18, 18, 22, 22, 18};
  lstIntAppend(slice->pathStarts, slice->traced->count);
  for (int k = 0; k < 4; ++k) {
    const Seg3D seg{{x[k], y[k], params->z}, {x[k + 1], y[k + 1], params->z}};
    pkoListAppend(slice->traced, seg, Point3D{0, 0, 0}, -1, 0);
  }
  return r + 1;
}
int recordRegion(const RoughRegionInput* in, MachiningParams*, SurfaceModel*) {
  rec.regionLevels.emplace_back(in->levelsDone, in->levelsDone + in->levelsDoneCount);
  std::vector<double> z;
  for (int i = 0; i < in->paths->count; ++i) z.push_back(in->paths->items[i].z);
  rec.regionPathZ.push_back(z);
  rec.regionOrientation.push_back(kontOrientation(in->region));
  rec.regionFree.emplace_back(in->allFree, in->allFree + in->levelsDoneCount);
  return rec.regionResult;
}
int recordFinish(const MachiningParams*, const SurfaceModel*) { return rec.finishResult; }
int breakAnswer() {
  return rec.breakAtSlice >= 0 && static_cast<int>(rec.slices.size()) > rec.breakAtSlice
             ? rec.breakValue
             : 0;
}

class RoughControlRun : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    rec = Recorder{};
    roughSetSliceFn(recordSlice);
    roughSetRegionFn(recordRegion);
    roughSetFinishFn(recordFinish);
    out3dSetBreakCheck(breakAnswer);
    modelInit(&model_, 3);
    model_.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    setTool(5.0);
    GlobalParams& g = *parGlobalBlock();
    std::snprintf(g.apt, sizeof g.apt, "%s", "out.pof");
    std::snprintf(g.tmpDir, sizeof g.tmpDir, "%s", ".");
    g.boundary[0] = '\0';
    g.gridFactor = 0.5;
    g.aufmass = 0;
    g.aufmassHori = 0;
    g.precision = 0.01;
    g.vertzustel = 5;
    g.stepMode = 0;
    g.stepStrategy = 0;
    g.zustellOk = 0;
    g.outsideIn = 0;
    g.outinOpt = 0;
    g.usebndzval = 0;
    g.grdraw = 1;
    g.sichebene = 1000;
  }
  void TearDown() override {
    roughSetBoundaryDump(0);
    roughSetSliceFn(nullptr);
    roughSetRegionFn(nullptr);
    roughSetFinishFn(nullptr);
    out3dSetBreakCheck(nullptr);
    cyc3dResetRunState(nullptr);
    modelFreeContents(&model_);
    memFree(model_.cutter);
  }
  void setTool(double r) {
    *model_.cutter = qdtest::makeCutter(1, r, r);
    model_.cutter->zOffset = 0;
    parGlobalBlock()->frradius = r;
  }
  // A box part: 40 x 40 x 20 on the origin.
  void writeBoxPart() {
    qdtest::gen::Mesh m;
    m.name = "box";
    qdtest::gen::detail::box(m, {0, 0, 0}, {40, 40, 20});
    ASSERT_TRUE(qdtest::gen::writeStl("part.stl", m, qdtest::gen::Encoding::kBinary));
    usePart("part.stl", 0, 20);
  }
  void usePart(const std::string& file, double bottom, double top) {
    GlobalParams& g = *parGlobalBlock();
    std::snprintf(g.approx, sizeof g.approx, "%s", file.c_str());
    g.tief = bottom;
    g.oberfl = top;
  }
  int run() { return roughControl(roughMachiningParams(), &model_); }
  void expectFlatOutlines(int exact);
  SurfaceModel model_{};
};

// A level that fails three times is sliced at z - 0.001, z + 0.001 and z - 0.002 with halved
// tolerances and the retry count as seed; then the run goes on.
TEST_F(RoughControlRun, RetriedLevelThroughTheLoop) {
  writeBoxPart();
  rec.script = {-7, -45, -7};
  ASSERT_GE(run(), 0);
  ASSERT_GE(rec.slices.size(), 5u);
  const double z = rec.slices[0].z;
  for (int n = 0; n < 4; ++n) {
    EXPECT_NEAR(rec.slices[n].z, z + attemptOffset(n), 1e-12) << n;
    EXPECT_DOUBLE_EQ(rec.slices[n].tolerance, 0.01 / std::pow(2.0, n)) << n;
    EXPECT_EQ(rec.slices[n].seed, n);
  }
  EXPECT_LT(rec.slices[4].z, z - 1.0) << "the next level";
  EXPECT_EQ(rec.slices[4].seed, 0);
  ASSERT_EQ(rec.regionLevels.size(), 1u);
}

// A level that fails 15 times with -43 stops the run with -43; no later level is reached, the
// report gets the stop code and nothing is handed on.
TEST_F(RoughControlRun, LevelGivenUpStopsTheRun) {
  writeBoxPart();
  for (const int code : {-43, -5, -9}) {
    rec = Recorder{};
    rec.script.assign(40, code);
    const int expected = code == -9 ? -1000 : code;
    EXPECT_EQ(run(), expected);
    ASSERT_EQ(rec.slices.size(), 15u);
    for (int n = 0; n < 15; ++n)
      EXPECT_NEAR(rec.slices[n].z, rec.slices[0].z + attemptOffset(n), 1e-12);
    EXPECT_TRUE(rec.regionLevels.empty());
    EXPECT_EQ(cyc3dSetResult(nullptr, expected), 1);
  }
  const std::string report = qdtest::readFile("rep.txt");
  EXPECT_NE(report.find("stopcode: -43\ngeszeit: "), std::string::npos) << report;
  EXPECT_NE(report.find("stopcode: -1000\n"), std::string::npos) << report;
}

// An output name without '.' is a valid job: the whole name is the stem.
TEST_F(RoughControlRun, OutputNameStem) {
  writeBoxPart();
  struct Case {
    const char* apt;
    int single;
    const char* stem;
  };
  GlobalParams& g = *parGlobalBlock();
  g.jobid = 7;
  for (const Case c : {Case{"job", 0, "job_7"}, Case{"a.b/out.pof", 0, "a.b/out_7"},
                       Case{"job", 1, "job"}, Case{"x.y.pof", 1, "x.y"}}) {
    std::snprintf(g.apt, sizeof g.apt, "%s", c.apt);
    g.singlepofMode = static_cast<std::int16_t>(c.single);
    EXPECT_GE(run(), 0) << c.apt;
    EXPECT_STREQ(roughAptStem(), c.stem);
  }
  EXPECT_STREQ(roughZpathFile(), "./tmp.zpa");
}

// When the output cannot be closed the run still releases its model and drop model (it leaked),
// sends no report and fails with -1.
TEST_F(RoughControlRun, FailedFinishStillFreesEverything) {
  writeBoxPart();
  rec.finishResult = -3;
  EXPECT_EQ(run(), -1);
  EXPECT_EQ(model_.triangles, nullptr);
  EXPECT_EQ(roughGougeModel(), nullptr);
  EXPECT_FALSE(qdtest::fileExists("rep.txt"));
}

// A cell size of about zero gave NaN grid steps; it stops the run with -32.
TEST_F(RoughControlRun, ZeroCellSizeStops) {
  writeBoxPart();
  parGlobalBlock()->aufmassHori = parGlobalBlock()->frradius;
  EXPECT_EQ(run(), kRoughStopGrid);
  EXPECT_TRUE(rec.slices.empty());
}

// The host's signals: 104 ends the level loop and hands on the levels computed so far, 100 hands
// on nothing; both stop with -2 (status 100). A start collision of the region step is a
// collision stop, status 1.
TEST_F(RoughControlRun, SignalsAndCollisionStop) {
  writeBoxPart();
  rec.breakAtSlice = 2;
  rec.breakValue = 2;  // signal 104
  EXPECT_EQ(run(), kRoughStopBreak);
  ASSERT_EQ(rec.regionLevels.size(), 1u);
  EXPECT_EQ(rec.regionLevels[0].size(), 3u);
  EXPECT_EQ(rec.slices.size(), 3u);
  for (double z : rec.regionPathZ[0]) EXPECT_GE(z, rec.slices[2].z - 1e-9);

  rec = Recorder{};
  rec.breakAtSlice = 2;
  rec.breakValue = 1;  // signal 100
  EXPECT_EQ(run(), kRoughStopBreak);
  EXPECT_TRUE(rec.regionLevels.empty());
  EXPECT_EQ(cyc3dSetResult(nullptr, kRoughStopBreak), 100);

  rec = Recorder{};
  rec.regionResult = kRoughStartCollides;
  const int stop = run();
  EXPECT_EQ(stop, kRoughStopCollision);
  EXPECT_EQ(cyc3dSetResult(nullptr, stop), 1);
}

// A level is handed on as free for a whole-region pocket only when every grid cell of the region
// is free there and its own slice found no piece in the region. The two levels above the box are
// free; a piece in their slices (here: a square added to what the slice traced) makes them not
// free, though every cell of the grid is.
TEST_F(RoughControlRun, WholeRegionFlagFollowsTheLevelsOwnSlice) {
  writeBoxPart();
  usePart("part.stl", 0, 30);  // the stock reaches 10 above the box
  ASSERT_EQ(run(), 0);
  ASSERT_EQ(rec.regionFree.size(), 1u);
  const std::vector<double> levels = rec.regionLevels[0];
  ASSERT_GE(levels.size(), 2u);
  const double corner = model_.cutter->cornerRadius;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(rec.regionFree[0][i], levels[i] - corner >= 20 ? 1 : 0) << levels[i];
  }
  ASSERT_EQ(rec.regionFree[0][0], 1);
  ASSERT_EQ(rec.regionFree[0][1], 1);

  rec = Recorder{};
  rec.extraPieces = 2;
  ASSERT_EQ(run(), 0);
  ASSERT_EQ(rec.regionFree.size(), 1u);
  ASSERT_GE(rec.regionLevels[0].size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_DOUBLE_EQ(rec.regionLevels[0][i], levels[i]);
    EXPECT_EQ(rec.regionFree[0][i], 0) << levels[i];
  }
}

// The dormant boundary dump: off (as no key can set it) nothing is dumped. On, a run replaces a
// stale dump of an earlier job with its one region, which reads back as the model's box grown by
// 3.111 radii; a second run does not pile up regions.
TEST_F(RoughControlRun, BoundaryDumpSwitch) {
  writeBoxPart();
  ASSERT_EQ(roughBoundaryDumpOn(), 0);
  ASSERT_EQ(run(), 0);
  EXPECT_STREQ(roughBoundaryDumpFile(), "./zrestmpbnd.bnd");
  EXPECT_FALSE(qdtest::fileExists("zrestmpbnd.bnd"));

  roughSetBoundaryDump(1);
  qdtest::writeFile("zrestmpbnd.bnd",
                    "**BND 1\nX500 Y500 Z0\nX600 Y500 Z0\nX600 Y600 Z0\nX500 Y600 Z0\n**END\n");
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(run(), 0) << pass;
    Kont2D* read = kontReadBnd("zrestmpbnd.bnd", 1, 0);
    ASSERT_NE(read, nullptr) << pass;
    EXPECT_EQ(read->next, nullptr) << pass;
    EXPECT_EQ(read->child, nullptr) << pass;
    const double grow = 3.111 * 5;
    EXPECT_NEAR(read->xmin, -grow, 0.0011) << pass;
    EXPECT_NEAR(read->ymin, -grow, 0.0011) << pass;
    EXPECT_NEAR(read->xmax, 40 + grow, 0.0011) << pass;
    EXPECT_NEAR(read->ymax, 40 + grow, 0.0011) << pass;
    kontFree(read);
  }
}

// The machining side sets the regions' sense: "*SEITE" 1 turns the outer contours
// counter-clockwise, any other side clockwise, for the model's box and for a boundary file alike
// (the file's square is written clockwise and its islands stay opposite to the outline).
TEST_F(RoughControlRun, MachiningSideOrientsTheRegions) {
  writeBoxPart();
  qdtest::writeFile("square.bnd",
                    "**BND 1\nX-5 Y-5 Z0\nX-5 Y45 Z0\nX45 Y45 Z0\nX45 Y-5 Z0\n**END\n");
  GlobalParams& g = *parGlobalBlock();
  const std::int16_t saved = g.seite;
  struct Case {
    int side;
    const char* boundary;
    int want;
  };
  const Case cases[] = {{1, "", 1}, {2, "", -1}, {1, "square.bnd", 1}, {2, "square.bnd", -1}};
  for (const Case& k : cases) {
    rec = Recorder{};
    g.seite = static_cast<std::int16_t>(k.side);
    std::snprintf(g.boundary, sizeof g.boundary, "%s", k.boundary);
    ASSERT_EQ(run(), 0) << k.side << " " << k.boundary;
    ASSERT_EQ(rec.regionOrientation.size(), 1u) << k.side << " " << k.boundary;
    EXPECT_EQ(rec.regionOrientation[0], k.want) << k.side << " " << k.boundary;
  }
  g.seite = saved;
  g.boundary[0] = '\0';
}

// A boundary dump that cannot be written (a folder stands in its place) stops the run with -1
// before any level is sliced; without the switch the same run succeeds.
TEST_F(RoughControlRun, UnwritableBoundaryDumpStopsTheRun) {
  writeBoxPart();
  ASSERT_EQ(mkdir("zrestmpbnd.bnd", 0755), 0);
  roughSetBoundaryDump(1);
  EXPECT_EQ(run(), kRoughStopFailed);
  EXPECT_TRUE(rec.slices.empty());
  roughSetBoundaryDump(0);
  EXPECT_EQ(run(), 0);
}

// Step mode 3: the region's flat faces go to the flat-plane outline file, each block at its face's
// height in level terms (plus the corner radius). Each face has a block holding a point of it,
// and no block lies at another height.
void RoughControlRun::expectFlatOutlines(int exact) {
  qdtest::writeBoxOnPlate("plate.stl");
  const double c = parGlobalBlock()->frradius;  // the ball's corner radius
  GlobalParams& g = *parGlobalBlock();
  std::snprintf(g.approx, sizeof g.approx, "%s", "plate.stl");
  g.tief = 0;
  g.oberfl = 12;
  g.stepMode = 3;
  g.planesExact = static_cast<std::int16_t>(exact);
  ASSERT_GE(run(), 0);
  EXPECT_EQ(stepOptPlaneFileWritten(), 1);
  Kont2D* read = kontReadBnd(roughFlatPlaneFile(), 1, 1);
  ASSERT_NE(read, nullptr);
  struct Face {
    double z;
    Point2D inside;
  };
  for (const Face f : {Face{qdtest::kPlateTop, {5, 5}}, Face{qdtest::kBoxTop, {30, 20}}}) {
    bool found = false;
    for (const Kont2D* k = read; k != nullptr; k = k->next) {
      found =
          found || (std::fabs(k->z - (f.z + c)) <= 0.002 && kontClassifyPoint(k, f.inside) == 2);
    }
    EXPECT_TRUE(found) << "face at " << f.z;
  }
  for (const Kont2D* k = read; k != nullptr; k = k->next) {
    EXPECT_TRUE(std::fabs(k->z - (qdtest::kPlateTop + c)) <= 0.002 ||
                std::fabs(k->z - (qdtest::kBoxTop + c)) <= 0.002)
        << k->z;
  }
  kontFree(read);
}
// The exact finder over the flat faces and the finder on the drop net.
TEST_F(RoughControlRun, StepModeThreeOutlinesEachFlatFaceExactly) { expectFlatOutlines(1); }
TEST_F(RoughControlRun, StepModeThreeOutlinesEachFlatFaceOnTheDropNet) { expectFlatOutlines(0); }

std::vector<OutputRecord>& drawn() {
  static std::vector<OutputRecord> records;
  return records;
}
int keepDrawn(CycleRecord*, OutputRecord* r) {
  drawn().push_back(*r);
  return 1;
}

// Each sliced level's traced contours are drawn on layer 41 as auxiliary curves at the level's
// height ("*GRDRAW" at its default 1); with 0 nothing is drawn.
TEST_F(RoughControlRun, LevelContoursAreDrawn) {
  writeBoxPart();
  CycleRecord cycle{};
  cycle.firstOutputPending = 0;
  cycRegisterLayer(&cycle, 41, keepDrawn, keepDrawn, 1);
  out3dSetCycle(&cycle);
  for (const int draw : {1, 0}) {
    SCOPED_TRACE(draw);
    rec = Recorder{};
    drawn().clear();
    parGlobalBlock()->grdraw = static_cast<std::int16_t>(draw);
    ASSERT_GE(run(), 0);
    ASSERT_EQ(rec.regionPathZ.size(), 1u);
    std::set<long> pathLevels, drawnLevels;
    for (double z : rec.regionPathZ[0]) pathLevels.insert(std::lround(z * 1000));
    int curves = 0;
    for (const OutputRecord& r : drawn()) {
      if (r.type == 3103) ++curves;
      if (r.type == 3103 || r.type == 3113) drawnLevels.insert(std::lround(r.move.z * 1000));
    }
    if (draw == 0) {
      EXPECT_TRUE(drawn().empty());
    } else {
      EXPECT_EQ(curves, static_cast<int>(rec.regionPathZ[0].size()));
      EXPECT_EQ(drawnLevels, pathLevels);
    }
  }
  out3dSetCycle(nullptr);
  cycFreeLayers(&cycle);
}

// ---- facet filter and drop tool -----------------------------------------------------------------

TEST(RoughModelBoxFilter, Table) {
  cyc3dResetRunState(nullptr);
  Kont2D* a = kontNewRect(Point2D{0, 0}, Point2D{10, 10});
  Kont2D* b = kontNewRect(Point2D{100, 0}, Point2D{110, 10});
  a->next = b;
  struct Case {
    const char* name;
    double x0, x1, y0, y1, margin;
    int keep;
  };
  const Case cases[] = {
      {"inside", 2, 3, 2, 3, 0, 1},
      {"far away", 50, 60, 50, 60, 0, 0},
      {"touching the first box", 10, 12, 5, 6, 0, 1},
      {"reached by the margin", 12, 13, 5, 6, 2, 1},
      {"just beyond the margin", 12.001, 13, 5, 6, 2, 0},
      {"overlapping the second region only", 108, 120, 5, 6, 0, 1},
      {"negative margin keeps everything", 50, 60, 50, 60, -1, 1},
  };
  for (const Case& c : cases) {
    roughSetModelFilter(a, c.margin);
    const double x[3] = {c.x0, c.x1, c.x0}, y[3] = {c.y0, c.y0, c.y1}, z[3] = {0, 0, 0};
    EXPECT_EQ(roughModelBoxFilter(3, x, y, z), c.keep) << c.name;
    const double x4[4] = {c.x0, c.x1, c.x1, c.x0}, y4[4] = {c.y0, c.y0, c.y1, c.y1};
    const double z4[4] = {0, 0, 0, 0};
    EXPECT_EQ(roughModelBoxFilter(4, x4, y4, z4), c.keep) << c.name << " (four corners)";
  }
  roughSetModelFilter(nullptr, 5);
  const double x[3] = {500, 501, 500}, y[3] = {0, 0, 1}, z[3] = {0, 0, 0};
  EXPECT_EQ(roughModelBoxFilter(3, x, y, z), 1) << "no region list";
  kontFree(a);
}

// The second roughing pass loads its model through the facet filter around the flat-area
// outlines, which lie in the tool system. The filter compared an STL's corners unmapped, so with
// the default strategy's tool system (a quarter turn) and a tool of radius 5 (scale 2) it kept
// the wrong facets and half the part went missing. Each of two boxes is loaded alone through a
// region round its image in the tool system, mapped as the loader maps its corners.
TEST_F(RoughControlRun, FacetFilterMapsTheCornersAsTheLoaderDoes) {
  qdtest::gen::Mesh m;
  qdtest::gen::detail::box(m, {0, 0, 0}, {10, 10, 5});
  qdtest::gen::detail::box(m, {100, 0, 0}, {110, 10, 5});
  ASSERT_TRUE(qdtest::gen::writeStl("two.stl", m, qdtest::gen::Encoding::kBinary));
  csysResetState();
  csysSetTool({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  csysRotateTool90();
  ASSERT_EQ(csysPrepare(), 1);
  ASSERT_EQ(csysMulScale(2.0), 1);
  for (const double x0 : {0.0, 100.0}) {
    SCOPED_TRACE(x0);
    Point3D lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (int k = 0; k < 8; ++k) {
      Point3D p{x0 + 10.0 * (k & 1), 10.0 * ((k >> 1) & 1), 5.0 * (k >> 2)};
      csysWorldToTool(&p);
      lo = Point3D{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = Point3D{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    Kont2D* region = kontNewRect(Point2D{lo.x, lo.y}, Point2D{hi.x, hi.y});
    ASSERT_GE(roughReadModel(&model_, "two.stl", region, 1.0), 0);
    ASSERT_NE(model_.triangles, nullptr);
    EXPECT_EQ(model_.triangles->count, 12);
    EXPECT_NEAR(model_.boxMin.x, lo.x, 1e-4);
    EXPECT_NEAR(model_.boxMin.y, lo.y, 1e-4);
    EXPECT_NEAR(model_.boxMax.x, hi.x, 1e-4);
    EXPECT_NEAR(model_.boxMax.y, hi.y, 1e-4);
    modelFreeContents(&model_);
    kontFree(region);
  }
  csysResetState();
}

// The gouge check of the slicing answers from the drop model installed here: the cutter less
// 0.01, resting on a plate; removed, the check never gouges.
TEST(RoughDropTool, InstalledIntoTheGougeCheck) {
  cyc3dResetRunState(nullptr);
  std::vector<Tri3D> plate = {{{{-50, -50, 0}, {50, -50, 0}, {50, 50, 0}}},
                              {{{-50, -50, 0}, {50, 50, 0}, {-50, 50, 0}}}};
  qdtest::TriModel part(plate, qdtest::makeCutter(1, 5.0, 5.0));
  modelBuildIndex(&part.m);
  roughSetDropTool(&part.m);
  ASSERT_NE(roughGougeModel(), nullptr);
  EXPECT_NEAR(roughGougeModel()->cutter->radius, 4.99, 1e-12);
  EXPECT_EQ(part.m.cutter->radius, 5.0) << "the run's model keeps its cutter";
  // The drop of the reduced ball rests with its reference height at some h; points clearly above
  // it are free, clearly below it gouge.
  Point3D above{3, 4, 20}, below{3, 4, -20};
  EXPECT_EQ(roughPointGouges(&above), 0);
  EXPECT_EQ(roughPointGouges(&below), 1);
  // Find the resting height by bisection: the margin of 0.01 lies between free and gouging.
  double lo = -20, hi = 20;
  for (int i = 0; i < 60; ++i) {
    Point3D p{3, 4, 0.5 * (lo + hi)};
    (roughPointGouges(&p) == 1 ? lo : hi) = p.z;
  }
  Point3D atRest{3, 4, hi + 0.02};
  EXPECT_EQ(roughPointGouges(&atRest), 0);
  roughSetDropTool(nullptr);
  EXPECT_EQ(roughGougeModel(), nullptr);
  EXPECT_EQ(roughPointGouges(&below), 0);
}

// ---- real parts ---------------------------------------------------------------------------------

struct RealPart {
  const char* file;
  double bottom, top;
  double radius;
  std::vector<double> floors;  // flat faces seen from above (tip heights)
  std::vector<double> hidden;  // flat faces facing down: never a plane level
};

// The wheel's faces at 4 and 0 face down (under the wheel and the box's bottom); the sphere's
// face at 2.1872 too.
const RealPart kWheel{"wheel_in_box.stl", 0, 50, 2.5, {50, 35, 22, 18}, {4}};
const RealPart kSphere{"sphere_on_plate.stl", -1, 30.8718, 2.5, {14.9359}, {2.1872}};

class RoughRealPart : public RoughControlRun {
 protected:
  bool load(const RealPart& p) {
    if (!qdtest::realMeshFolderPresent()) return false;
    setTool(p.radius);
    usePart(qdtest::dataPath(p.file), p.bottom, p.top);
    return true;
  }
  // The distinct sliced heights, top down.
  static std::vector<double> slicedLevels() {
    std::vector<double> z;
    for (const SliceCall& s : rec.slices) {
      if (z.empty() || std::fabs(z.back() - s.z) > 1e-9) z.push_back(s.z);
    }
    return z;
  }
};

// Step-down levels: top - k step (plus the level tolerance 0.001), the lowest at the bottom;
// levels without a free cell inside the region are not sliced. With "*STEP_MODE" 2 every floor
// seen from above adds a level, and no two levels lie farther apart than the step.
TEST_F(RoughRealPart, LevelLists) {
  for (const RealPart* p : {&kWheel, &kSphere}) {
    if (!load(*p)) GTEST_SKIP() << qdtest::realMeshFolderMissing();
    const double c = p->radius, step = 5.0;
    rec = Recorder{};
    parGlobalBlock()->stepMode = 0;
    ASSERT_GE(run(), 0) << p->file;
    std::vector<double> expected;
    const double zmax = p->top + c, zmin = p->bottom + c;
    for (double z = zmax - step; z > zmin + 0.001; z -= step) expected.push_back(z + 0.001);
    expected.push_back(zmin + 0.001);
    std::vector<double> sliced = slicedLevels();
    ASSERT_LE(sliced.size(), expected.size()) << p->file;
    for (std::size_t i = 0; i < sliced.size(); ++i) EXPECT_NEAR(sliced[i], expected[i], 1e-9);
    // Only levels at or below the part's bottom can lack a free cell.
    for (std::size_t i = sliced.size(); i < expected.size(); ++i) {
      EXPECT_LE(expected[i] - c, p->bottom + 0.01) << p->file << " level " << expected[i];
    }

    rec = Recorder{};
    parGlobalBlock()->stepMode = 2;
    ASSERT_GE(run(), 0) << p->file;
    sliced = slicedLevels();
    for (double f : p->floors) {
      bool found = false;
      for (double z : sliced) found = found || std::fabs(z - (f + c)) < 0.02;
      EXPECT_TRUE(found) << p->file << " floor " << f;
    }
    for (double f : p->hidden) {
      for (double z : sliced) EXPECT_GT(std::fabs(z - (f + c)), 0.02) << p->file << " face " << f;
    }
    for (std::size_t i = 1; i < sliced.size(); ++i) {
      EXPECT_LE(sliced[i - 1] - sliced[i], step + 1e-6) << p->file;
      EXPECT_GT(sliced[i - 1] - sliced[i], 0.001) << p->file;
    }
    // The first level is the top face's plane level or the first step down.
    EXPECT_TRUE(std::fabs(sliced.front() - (zmax + 0.001)) < 1e-9 ||
                std::fabs(sliced.front() - (zmax - step + 0.001)) < 1e-9)
        << p->file << " " << sliced.front();
  }
}

// At levels away from vertex and flat heights the number of Z paths equals the loop count of a
// raster of brute-force drops of the independent checker: blocked components (8-connected) plus
// free components (4-connected) less one.
TEST_F(RoughRealPart, PathCountsAgainstBruteForceDrops) {
  for (const RealPart* p : {&kWheel, &kSphere}) {
    if (!load(*p)) GTEST_SKIP() << qdtest::realMeshFolderMissing();
    rec = Recorder{};
    ASSERT_GE(run(), 0) << p->file;
    ASSERT_EQ(rec.regionPathZ.size(), 1u);
    std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(p->file));
    std::vector<tpc::Triangle> tt;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    std::set<double> vertexZ;
    for (const Tri3D& t : tris) {
      tpc::Triangle q;
      for (int k = 0; k < 3; ++k) {
        q.v[k] = tpc::Vec3{t.v[k].x, t.v[k].y, t.v[k].z};
        x0 = std::min(x0, t.v[k].x), y0 = std::min(y0, t.v[k].y);
        x1 = std::max(x1, t.v[k].x), y1 = std::max(y1, t.v[k].y);
        vertexZ.insert(t.v[k].z);
      }
      tt.push_back(q);
    }
    const tpc::Mesh mesh = tpc::makeMesh(std::move(tt));
    const tpc::MeshIndex index(mesh);
    const tpc::Tool tool{p->radius, p->radius, 0.0};
    const double margin = 2 * p->radius, h = p->radius / 4;
    const int cols = static_cast<int>((x1 - x0 + 2 * margin) / h) + 1;
    const int rows = static_cast<int>((y1 - y0 + 2 * margin) / h) + 1;
    int judged = 0;
    for (double z : slicedLevels()) {
      const double tip = z - p->radius;
      bool nearVertex = false;
      for (double v : vertexZ) nearVertex = nearVertex || std::fabs(v - tip) < 0.05;
      if (nearVertex) continue;
      std::vector<std::uint8_t> mask(static_cast<std::size_t>(rows) * cols);
      for (int r = 0; r < rows; ++r)
        for (int k = 0; k < cols; ++k)
          mask[static_cast<std::size_t>(r) * cols + k] =
              index.drop(tool, 0.0, x0 - margin + k * h, y0 - margin + r * h) > tip + 1e-5;
      const int loops = qdtest::countComponents(mask, rows, cols, 1, true) +
                        qdtest::countComponents(mask, rows, cols, 0, false) - 1;
      int paths = 0;
      for (double pz : rec.regionPathZ[0]) paths += std::fabs(pz - z) < 1e-6;
      EXPECT_EQ(paths, loops) << p->file << " level " << z;
      ++judged;
    }
    EXPECT_GE(judged, 2) << p->file;
  }
}

}  // namespace
