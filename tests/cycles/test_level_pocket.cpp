// Level pocketing through the nested pocket cycles: the parameter file, the read-back hooks, the
// arc stepping, the retries of the contour-parallel variant and the single attempt of the
// axis-parallel one, and real nested runs of both checked on an independent raster and by the
// toolpath checker.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "../framework/test_record.h"
#include "../geometry/msg_capture.h"
#include "cycles/rough_grid.h"
#include "framework/output_records.h"
#include "framework/pof_writer.h"
#include "level_pocket_support.h"
#include "pocket/ccp_record.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace {

using lptest::LevelPocketTest;

std::vector<std::string> fileLines(const std::string& path) {
  std::istringstream in(qdtest::readFile(path));
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

const std::string kDash = "; " + std::string(70, '-');

// The parameter file's lines after the time line, for the rows given between geoSource and
// NCOutp.
std::vector<std::string> pcfBody(const std::vector<std::string>& rows) {
  std::vector<std::string> out{kDash, "", "  geoSource         :=  \"./tmp.qdx\""};
  out.insert(out.end(), rows.begin(), rows.end());
  out.insert(out.end(), {"  NCOutp            :=  false", "", kDash});
  return out;
}

struct PcfCase {
  const char* name;
  void (*setup)(GlobalParams*);
  int stockMode;
  std::vector<std::string> rows;
};

// The rows every case shares up to the tool diameter (R 10, no allowance) ...
const std::vector<std::string> kHead{
    "  completePocket    :=  true", "  clearancePlane    :=  10.0000",
    "  clearanceDistance :=  1.0000", "  toolDiameter      :=  20.0000"};
// ... and from the surface (level -5) to the epsilon.
const std::vector<std::string> kMiddle{
    "  surface           :=  -4.0000", "  infeedDepth       :=  1.0000",
    "  depth             :=  1.0000", "  epsilon           :=  0.0010000"};
const std::vector<std::string> kTail{
    "  orientation       :=  counterClockwise", "  oriAutomatic      :=  full",
    "  planeAllowance    :=  -10.0000", "  generateRif       :=  false"};

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<std::string> kNoStock{"  stock             :=  false",
                                        "  stockMovement     :=  contour"};

}  // namespace

TEST_F(LevelPocketTest, ParameterFileGolden) {
  const PcfCase cases[] = {
      {"defaults", [](GlobalParams*) {}, 0,
       join({kHead, {"  infeedLength      :=  10.000"}, kMiddle, kTail, kNoStock})},
      {"no complete pocket", [](GlobalParams* g) { g->completePocket = 0; }, 0,
       join({{"  edgeMovement      :=  true", "  completePocket    :=  false"},
             {kHead.begin() + 1, kHead.end()},
             {"  infeedLength      :=  10.000"},
             kMiddle,
             kTail,
             kNoStock})},
      {"stock mode caps the infeed at R",
       [](GlobalParams* g) {
         g->horizustel = 12;
         g->resolution = 0.5;
       },
       1,
       join({kHead,
             {"  infeedLength      :=  10.000"},
             kMiddle,
             kTail,
             {"  stock             :=  true ", "  stockTolerance    := 0.500",
              "  stockMovement     :=  contour"}})},
      {"stock mode with big steps",
       [](GlobalParams* g) {
         g->horizustel = 12;
         g->bigStepfactorOutin = 1;
         g->stockMovement = 1;
       },
       1,
       join({kHead,
             {"  infeedLength      :=  12.000"},
             kMiddle,
             kTail,
             {"  stock             :=  true ", "  stockTolerance    := 0.500",
              "  stockMovement     :=  rapid"}})},
      {"torus considered: a second infeed line",
       [](GlobalParams* g) {
         g->considerTooltype = 1;
         g->frtyp = 3;
         g->frradius = 10;
         g->frbogen = 2.5;
         g->horizustel = 8;
         g->bearbeitricht = 1;
       },
       0,
       join({kHead,
             {"  infeedLength      :=  8.000"},
             kMiddle,
             {"  toolType          :=  radiusMill", "  cornerRadius      :=  2.500000",
              "  infeedLength      :=  6.000"},
             kTail,
             kNoStock})},
      {"outside-in strategy and a start point",
       [](GlobalParams* g) {
         g->outsideIn = 1;
         g->zustellOk = 1;
         roughSetPlungePoint({12.5, -7.25});
       },
       0,
       join({kHead,
             {"  strategy          :=  outsideIn", "  infeedLength      :=  10.000"},
             kMiddle,
             kTail,
             kNoStock,
             {"", "  startExplicit     :=  true", "  startX            :=  12.5000",
              "  startY            :=  -7.2500", ""}})},
      {"stock out-in with fillets",
       [](GlobalParams* g) {
         g->outsideIn = 2;
         g->macroTmode = 3;
         g->rampInside = 1;
         g->stockXyoffset = 1.25;
         g->bearbeitricht = 3;
         g->filletRadius = 0.5;
         g->seite = 2;
       },
       0,
       join({kHead,
             {"  strategy          :=  stockOutin", "  forceInside       :=  true",
              "  stockOffset       :=  1.2500", "  infeedLength      :=  10.000"},
             kMiddle,
             {"  filletRadius      :=  0.500", "  orientation       :=  clockwise"},
             {kTail.begin() + 1, kTail.end()},
             kNoStock})},
  };
  for (const PcfCase& c : cases) {
    SCOPED_TRACE(c.name);
    parResetState();
    roughGridResetState();
    c.setup(parGlobalBlock());
    ASSERT_EQ(levelPocketWritePcf("tmp.pcf", 10, -5, c.stockMode), 1);
    std::vector<std::string> lines = fileLines("tmp.pcf");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], kDash);
    EXPECT_EQ(lines[1].rfind("; PCF rspockhc - ", 0), 0u);
    EXPECT_EQ(lines[1].size(), std::string("; PCF rspockhc - ").size() + 24) << lines[1];
    lines.erase(lines.begin(), lines.begin() + 2);
    EXPECT_EQ(lines, pcfBody(c.rows));
  }
}

// ---- read-back ----------------------------------------------------------------------------------

namespace {

class ReadBackTest : public LevelPocketTest {
 protected:
  void SetUp() override {
    LevelPocketTest::SetUp();
    path_ = pathListNew(100, 1);
    levelPocketSetPath(path_);
    pofReadSetHooks(nullptr);
  }
  void TearDown() override {
    pofReadClearEndHook();
    pofReadClearPocketHook();
    pathListFree(path_);
    LevelPocketTest::TearDown();
  }
  void read(const std::string& text) {
    qdtest::writeFile("in.pof", text);
    ASSERT_EQ(pofReadBack("in.pof"), 0);
  }
  std::string describe(int i) const {
    char t[96];
    std::snprintf(t, sizeof t, "(%g,%g) %d/%d", path_->positions[i].x, path_->positions[i].y,
                  path_->codes[i] >> 8, path_->codes[i] & 0xFF);
    return t;
  }
  std::vector<std::string> all() const {
    std::vector<std::string> out;
    for (int i = 0; i < path_->count; ++i) out.push_back(describe(i));
    return out;
  }
  PathList* path_ = nullptr;
};

}  // namespace

// The first planar move after a plunge gives the separator at the move's end, the plunge's end
// and the move's end; a "full" start mark goes to the first point only; the kind of the "start"
// record to the others; an "end" record with the ramp hook gives the next point the low byte 11.
TEST_F(ReadBackTest, SeparatorsMarksKindsAndRamp) {
  pofReadSetEndHook(levelPocketSetRampSeen);
  pofReadSetPocketHook(levelPocketSetLayerHook);
  read(
      "31: oM( x[/2] y[/3] )\n"
      "31: oM( z[/1] )\n"
      "31: oL( z[/-5] )\n"
      "31: vstart(plunge)\n"
      "31: vpocket(start)\n"
      "31: vfull(start)\n"
      "31: oL( x[/10] y[/3] )\n"
      "31: oL( x[/10] y[/8] )\n"
      "31: oL( x[/2] y[/8] )\n"
      "31: vend(x)\n"
      "31: oL( x[/2] y[/3] )\n");
  EXPECT_EQ(all(), (std::vector<std::string>{"(10,3) 2/0", "(2,3) 120/1", "(10,3) 101/1",
                                             "(10,8) 101/1", "(2,8) 101/1", "(2,3) 101/11"}));
  for (int i = 0; i < path_->count; ++i) {
    EXPECT_EQ(path_->positions[i].z, -5);
    EXPECT_EQ(path_->axisSet[i], 1) << "the pocket hook's value";
  }
}

// Each attempt starts from clean marks: a mark left pending by one level does not reach the next.
TEST_F(ReadBackTest, MarksDoNotLeakIntoTheNextLevel) {
  levelPocketStartEndHook("start");
  levelPocketMoveKindHook("left");
  levelPocketSetRampSeen();
  // What the start of an attempt does, seen through a run whose cycle fails at once.
  parGlobalBlock()->tmpDir[0] = '"';
  parGlobalBlock()->tmpDir[1] = '\0';
  EXPECT_EQ(levelPocketRun(10, 0, path_, 0), -1);
  read("31: oM( x[/0] y[/0] z[/0] )\n31: oL( x[/1] y[/0] )\n");
  EXPECT_EQ(all(), (std::vector<std::string>{"(1,0) 2/0", "(0,0) 0/1", "(1,0) 0/1"}));
}

namespace {

struct ArcCase {
  const char* name;
  double stepMin;
  double radius;
  double bulge;        // tan(sweep / 4), positive counter-clockwise
  int expectedPoints;  // after the separator; -1: from the closed form
};

}  // namespace

// The arc from (r, 0) around the origin, stepped at 2 acos(1 - s / r): the closed form gives the
// point count; no chord leaves the arc by more than s; every point lies on the circle.
TEST_F(ReadBackTest, ArcSteppingAgainstTheClosedForm) {
  const ArcCase cases[] = {
      {"half circle counter-clockwise", 0.01, 10, 1.0, -1},
      {"quarter circle clockwise", 0.05, 7, -std::tan(std::numbers::pi / 8), -1},
      {"radius 10, 0.01", 0.01, 10, std::tan(std::numbers::pi / 12), -1},
      {"2r not above the step", 0.01, 0.005, 1.0, 1},
      {"step 0", 0.0, 10, 1.0, 1},
      {"negative step", -1.0, 10, 1.0, 1},
      {"step not a number", std::nan(""), 10, 1.0, 1},
      {"step far below the arc", 1e-300, 10, 1.0, kLevelArcMaxPoints + 1},
  };
  for (const ArcCase& c : cases) {
    SCOPED_TRACE(c.name);
    levelPocketResetState();
    path_->count = 0;
    levelPocketSetPath(path_);
    parGlobalBlock()->stepMin = c.stepMin;
    const double sweep = 4 * std::atan(c.bulge);
    const Point3D start{c.radius, 0, -2};
    const Point3D end{c.radius * std::cos(sweep), c.radius * std::sin(sweep), -2};
    levelPocketRunStartHook(nullptr, 2, &start);
    levelPocketArcHook(nullptr, 2, &end, c.bulge);
    int expected = c.expectedPoints;
    if (expected < 0) {
      const double step = 2 * std::acos(1 - c.stepMin / c.radius);
      EXPECT_NEAR(step, c.radius == 10 && c.stepMin == 0.01 ? 0.0894 : step, 1e-4);
      expected = static_cast<int>(std::ceil(std::fabs(sweep) / step));  // inner points + end
    }
    // The capped case may end on a point within 1e-3 of the end, which the end then follows.
    ASSERT_NEAR(path_->count - 1, expected, c.stepMin < 1e-200 ? 1 : 0);
    for (int i = 1; i < path_->count; ++i) {
      const Point3D& a = path_->positions[i - 1];
      const Point3D& b = path_->positions[i];
      EXPECT_NEAR(std::hypot(b.x, b.y), c.radius, 1e-9);
      EXPECT_EQ(b.z, -2);
      if (c.stepMin > 1e-200 && expected > 1) {  // the capped case steps coarser
        const double half = std::hypot(b.x - a.x, b.y - a.y) / 2;
        const double sagitta = c.radius - std::sqrt(c.radius * c.radius - half * half);
        EXPECT_LE(sagitta, std::fmax(c.stepMin, 0) + 1e-9) << i;
      }
      // The points run in the arc's direction.
      const double turn = a.x * b.y - a.y * b.x;
      if (std::hypot(b.x - a.x, b.y - a.y) > 1e-6) {
        EXPECT_GT(turn * c.bulge, 0) << i;
      }
    }
    EXPECT_NEAR(path_->positions[path_->count - 1].x, end.x, 1e-9);
    EXPECT_NEAR(path_->positions[path_->count - 1].y, end.y, 1e-9);
  }
  // An arc that ends where it starts adds nothing.
  const int before = path_->count;
  const Point3D same = path_->positions[before - 1];
  levelPocketArcHook(nullptr, 2, &same, 0.5);
  EXPECT_EQ(path_->count, before);
}

// ---- attempts and retries -----------------------------------------------------------------------

namespace {

// A pocket cycle that fails the attempts asked for: with an error record "103" in its POF, or
// with a failing compute phase. It notes what each attempt saw.
struct FakeRun {
  double infeed;
  double fillet;
  bool reduceOff;
  std::string pcf;
};
struct FakeCycle {
  std::vector<int> failing;  // attempts (from 1) that fail
  bool failPhase = false;
  std::vector<FakeRun> runs;
};
FakeCycle& fake() {
  static FakeCycle f;
  return f;
}

int fakeInit(CycleRecord* cycle) {
  for (std::uint16_t layer : {0, 1, 31}) {
    cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), nullptr, 1);
  }
  return 1;
}

int fakeCompute(CycleRecord* cycle) {
  const GlobalParams* g = parGlobalBlock();
  const std::string pcf = qdtest::readFile("tmp.pcf");
  fake().runs.push_back({g->horizustel, g->filletRadius,
                         pcf.find("reduceContours    :=  false") != std::string::npos, pcf});
  const int attempt = static_cast<int>(fake().runs.size());
  bool fails = false;
  for (int a : fake().failing) fails = fails || a == attempt;
  if (!fails) return 1;
  if (fake().failPhase) return 0;
  cycSendError(cycle, "103");
  return 1;
}

class RetryTest : public LevelPocketTest {
 protected:
  void SetUp() override {
    LevelPocketTest::SetUp();
    fake() = FakeCycle{};
    record_ = qdtest::testRecord();
    record_.messageFn = nullptr;
    record_.slots.phaseInit = fakeInit;
    record_.slots.phaseCompute = fakeCompute;
    qdtest::testLog() = qdtest::TestLog{};
    levelPocketSetCycleRecord(&record_);
    path_ = pathListNew(10, 1);
    // An infeed whose product with 0.95 and 0.9 does not divide back to itself.
    double h = 7.3;
    while (h * 0.95 / 0.95 == h && h * 0.9 / 0.9 == h) h += 0.01;
    infeed_ = h;
    parGlobalBlock()->horizustel = infeed_;
    parGlobalBlock()->filletRadius = 0.7;
  }
  void TearDown() override {
    levelPocketSetCycleRecord(nullptr);
    cycFreeLayers(&record_);
    pathListFree(path_);
    LevelPocketTest::TearDown();
  }
  CycleRecord record_;
  PathList* path_ = nullptr;
  double infeed_ = 0;
};

}  // namespace

TEST_F(RetryTest, AttemptsAreMutedUntilTheThirdAndValuesComeBackExactly) {
  struct Case {
    const char* name;
    std::vector<int> failing;
    bool failPhase;
    int result;
    int attempts;
    int message;  // sent once when the level fails, else nothing
  };
  const Case cases[] = {
      {"first succeeds", {}, false, 1, 1, 0},
      {"second succeeds", {1}, false, 1, 2, 0},
      {"third succeeds", {1, 2}, false, 1, 3, 0},
      {"all fail with an error record", {1, 2, 3}, false, -1, 3, 1103},
      {"all fail in a phase", {1, 2, 3}, true, -1, 3, kLevelMsgNestedRun},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qdtest::MessageCapture capture;
    fake() = FakeCycle{c.failing, c.failPhase, {}};
    EXPECT_EQ(levelPocketContour(10, -1, path_, 0), c.result);
    ASSERT_EQ(static_cast<int>(fake().runs.size()), c.attempts);
    const double want[] = {infeed_, infeed_ * 0.95, infeed_ * 0.9};
    const double fillet[] = {0.7, 0.0, 0.7};
    for (int i = 0; i < c.attempts; ++i) {
      EXPECT_EQ(fake().runs[static_cast<std::size_t>(i)].infeed, want[i]) << i;
      EXPECT_EQ(fake().runs[static_cast<std::size_t>(i)].fillet, fillet[i]) << i;
      EXPECT_EQ(fake().runs[static_cast<std::size_t>(i)].reduceOff, i == 2) << i;
    }
    EXPECT_EQ(parGlobalBlock()->horizustel, infeed_) << "bit for bit";
    EXPECT_EQ(parGlobalBlock()->filletRadius, 0.7);
    int sent = 0;
    for (const std::string& m : qdtest::capturedMessages()) {
      if (m.rfind("1103", 0) == 0 || m.rfind(std::to_string(kLevelMsgNestedRun), 0) == 0) ++sent;
    }
    EXPECT_EQ(sent, c.message != 0 ? 1 : 0);
    if (c.message != 0) {
      EXPECT_TRUE(qdtest::MessageCapture::sent(c.message));
    }
  }
}

// The axis-parallel variant is one attempt: no retry, nothing muted (the error table's message or
// 3003 for a failed run is sent), the parameter file written with stock mode 0 whatever
// "*STOCK_MODE" says, and the level's contours read as they were written (no reduction: a full
// circle that the contour-parallel variant rewrites as an arc stays a polygon).
TEST_F(RetryTest, AxisVariantRunsOnceUnmutedWithoutStockOrReduction) {
  std::string circle = ccptest::xchgHeader();
  std::vector<Point2D> ring;
  for (int k = 0; k < 72; ++k) {
    const double a = k * std::numbers::pi / 36;
    ring.push_back({30 + 20 * std::cos(a), 20 + 20 * std::sin(a)});
  }
  circle += ccptest::lineContour(ring);
  struct Case {
    const char* name;
    std::vector<int> failing;
    bool failPhase;
    int result;
    int message;
  };
  const Case cases[] = {
      {"succeeds", {}, false, 1, 0},
      {"error record", {1}, false, -1, 1103},
      {"failing phase", {1}, true, -1, kLevelMsgNestedRun},
  };
  parGlobalBlock()->stockMode = 1;
  parGlobalBlock()->horizustel = 12;       // stock mode 1 would cap it at R
  parGlobalBlock()->pockTolIntern = 0.05;  // above the 72-gon's sagitta (0.019)
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qdtest::MessageCapture capture;
    fake() = FakeCycle{c.failing, c.failPhase, {}};
    qdtest::writeFile("tmp.qdx", circle);
    EXPECT_EQ(levelPocketAxis(10, -1, path_), c.result);
    ASSERT_EQ(fake().runs.size(), 1u);
    const std::string& pcf = fake().runs[0].pcf;
    EXPECT_NE(pcf.find("  stock             :=  false\n"), std::string::npos) << pcf;
    EXPECT_NE(pcf.find("  infeedLength      :=  12.000\n"), std::string::npos) << pcf;
    EXPECT_FALSE(fake().runs[0].reduceOff);
    EXPECT_EQ(qdtest::readFile("tmp.qdx"), circle);
    EXPECT_FALSE(qdtest::fileExists("tmp_red.qdx"));
    if (c.message != 0) {
      EXPECT_TRUE(qdtest::MessageCapture::sent(c.message));
    } else {
      EXPECT_TRUE(qdtest::capturedMessages().empty());
    }
  }
  // The contour-parallel variant reduces the same file: the control of the reduction above.
  fake() = FakeCycle{};
  qdtest::writeFile("tmp.qdx", circle);
  EXPECT_EQ(levelPocketContour(10, -1, path_, 0), 1);
  EXPECT_NE(qdtest::readFile("tmp.qdx"), circle);
}

TEST_F(LevelPocketTest, RefusedFolders) {
  qdtest::MessageCapture capture;
  PathList* out = pathListNew(10, 1);
  for (const char* dir : {"a\"b", "a\nb", "a\rb"}) {
    std::snprintf(parGlobalBlock()->tmpDir, kParTextSize, "%s", dir);
    EXPECT_EQ(levelPocketRun(10, 0, out, 0), -1);
    EXPECT_EQ(levelPocketWritePcf("x.pcf", 10, 0, 0), 0);
    EXPECT_FALSE(qdtest::fileExists("x.pcf"));
  }
  EXPECT_TRUE(qdtest::MessageCapture::sent(kLevelMsgPcf));
  std::snprintf(parGlobalBlock()->tmpDir, kParTextSize, "no/such/folder");
  qdtest::capturedMessages().clear();
  EXPECT_EQ(levelPocketRun(10, 0, out, 0), -1);
  EXPECT_TRUE(qdtest::MessageCapture::sent(kLevelMsgPcf));
  qdtest::capturedMessages().clear();
  EXPECT_EQ(levelPocketAxis(10, 0, out), -1);
  EXPECT_TRUE(qdtest::MessageCapture::sent(kLevelMsgPcf));
  char joined[16];
  EXPECT_EQ(levelPocketJoinPath(joined, sizeof joined, "a\\", "b"), 1);
  EXPECT_STREQ(joined, "a\\b");
  levelPocketSlashPath(joined);
  EXPECT_STREQ(joined, "a/b");
  pathListFree(out);
}

// ---- real nested runs ---------------------------------------------------------------------------

namespace {

const std::vector<Point2D> kRect{{0, 0}, {60, 0}, {60, 40}, {0, 40}};
const std::vector<Point2D> kIsland{{25, 15}, {25, 25}, {35, 25}, {35, 15}};

// Writes the level's exchange file (tool-centre contours of a rectangle with one island) into
// folder and pockets it with the contour-parallel cycle, or with axis the axis-parallel one.
int pocketRectangle(const char* folder, double z, PathList* out, bool axis = false) {
  std::snprintf(parGlobalBlock()->tmpDir, kParTextSize, "%s", folder);
  Kont2D* region = lptest::regionFromPoints(kRect, {kIsland}, z);
  ZPath* outer = lptest::pathFromPoints(kRect, z, 0, 0);
  ZPath* island = lptest::pathFromPoints(kIsland, z, 1, 1);
  ZPath paths[2] = {*outer, *island};
  const std::string qdx = std::string(folder) + "/tmp.qdx";
  int r = axis ? zcontWriteAxisPocket(qdx.c_str(), region, paths, 2, 0)
               : zcontWritePocket(qdx.c_str(), region, paths, 2, 0);
  if (r == 1) r = axis ? levelPocketAxis(10, z, out) : levelPocketContour(10, z, out, 0);
  zpathFree(outer);
  zpathFree(island);
  kontFree(region);
  return r;
}

double distToPolyline(const Point2D& p, const PathList* path) {
  double best = 1e300;
  for (int i = 0; i < path->count; ++i) {
    const Point3D& b = path->positions[i];
    const Point3D& a = path->positions[i > 0 ? i - 1 : 0];
    const bool separator = (path->codes[i] >> 8) == kPathClassGap;
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double u = l2 > 0 && !separator ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 1;
    u = std::fmin(1, std::fmax(0, u));
    best = std::fmin(best, std::hypot(p.x - a.x - u * dx, p.y - a.y - u * dy));
  }
  return best;
}

bool insidePolygon(const std::vector<Point2D>& poly, const Point2D& p) {
  return qdtest::windingNumber(poly, p) != 0;
}

}  // namespace

// The real pocket cycles on a rectangle with one island (tool-centre contours, R 10), run nested:
// on an independent raster every cell between the contours lies within R of the read-back path,
// and no path point leaves that region; the nested run's own POF passes the toolpath checker, the
// axis-parallel meander with its wall pass cutting every cell the tool fits. The drawing of the
// read-back lands in the work folder, not the current one.
TEST_F(LevelPocketTest, RectangleWithIslandOnARaster) {
  for (const bool axis : {false, true}) {
    SCOPED_TRACE(axis ? "axis-parallel" : "contour-parallel");
    const std::string work = axis ? "axis" : "contour";
    ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
    parGlobalBlock()->axisPocket = axis ? 1 : 0;
    PathList* out = pathListNew(1000, 1);
    ASSERT_EQ(pocketRectangle(work.c_str(), -5, out, axis), 1);
    ASSERT_GT(out->count, 10);
    EXPECT_TRUE(qdtest::fileExists(work + "/tmp.dxf"));
    EXPECT_FALSE(qdtest::fileExists("tmp.dxf"));
    EXPECT_EQ((out->codes[0] >> 8), kPathClassGap) << "the path starts with a run separator";
    const double tol = 1e-3;
    std::vector<Point2D> islandCcw(kIsland.rbegin(), kIsland.rend());
    for (int i = 0; i < out->count; ++i) {
      const Point2D p{out->positions[i].x, out->positions[i].y};
      EXPECT_EQ(out->positions[i].z, -5);
      EXPECT_TRUE(p.x >= -tol && p.x <= 60 + tol && p.y >= -tol && p.y <= 40 + tol) << i;
      EXPECT_FALSE(p.x > 25 + tol && p.x < 35 - tol && p.y > 15 + tol && p.y < 25 - tol)
          << "inside the island " << i;
    }
    double worst = 0;
    for (double x = 0.25; x < 60; x += 0.5) {
      for (double y = 0.25; y < 40; y += 0.5) {
        const Point2D c{x, y};
        if (!insidePolygon(kRect, c) || insidePolygon(islandCcw, c)) continue;
        worst = std::fmax(worst, distToPolyline(c, out));
      }
    }
    EXPECT_LE(worst, 10.0) << "a cell farther than R from the path stays uncut";

    tpc::Path checked;
    ASSERT_TRUE(tpc::passes(tpc::readPof(checked, work + "/tmp.pof", tpc::Tool::flat(10))));
    tpc::Pocket pocket;
    pocket.outer = tpc::rectangle(0, 0, 60, 40, 0, 0);
    pocket.islands.push_back(tpc::rectangle(25, 15, 35, 25, 0, 0));
    pocket.centreContours = true;
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(checked, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(checked, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(checked, pocket, {.floorZ = -5, .step = 10})));
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(checked)));
    pathListFree(out);
  }
}

// Levels in a row: every nested run starts from the pocket cycle's reset state, so one level
// pocketed again after another gives the same path, point for point.
TEST_F(LevelPocketTest, LevelsInARowStartAfresh) {
  ASSERT_EQ(::mkdir("w", 0755), 0);
  PathList* first = pathListNew(1000, 1);
  PathList* other = pathListNew(1000, 1);
  PathList* again = pathListNew(1000, 1);
  ASSERT_EQ(pocketRectangle("w", -5, first), 1);
  const CcpRunState afterFirst = ccpRunState();
  parGlobalBlock()->horizustel = 6;  // a different level in between
  ASSERT_EQ(pocketRectangle("w", -9, other), 1);
  parGlobalBlock()->horizustel = 10;
  ASSERT_EQ(pocketRectangle("w", -5, again), 1);
  EXPECT_EQ(ccpRunState().firstGroup, afterFirst.firstGroup);
  EXPECT_EQ(ccpRunState().lastGroup, afterFirst.lastGroup);
  EXPECT_EQ(ccpRunState().pocketSequence, afterFirst.pocketSequence);
  ASSERT_EQ(again->count, first->count);
  for (int i = 0; i < first->count; ++i) {
    EXPECT_EQ(again->positions[i].x, first->positions[i].x) << i;
    EXPECT_EQ(again->positions[i].y, first->positions[i].y) << i;
    EXPECT_EQ(again->codes[i], first->codes[i]) << i;
  }
  EXPECT_NE(other->count, first->count) << "the smaller infeed gave more rings";
  pathListFree(first);
  pathListFree(other);
  pathListFree(again);
}
