// Tests of the exact flat-face finder on the wheel in a box: the heights outlined, levels snapped
// onto faces, outlines read back as the tool-centre contour around a face, the height grouping,
// parts without flat faces, the retries, and the run-start reset of the plane-boundary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/lst_sort.h"
#include "level_fixture.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"
#include "zlevel/gouge_check.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_mark.h"
#include "zlevel/step_opt_zstoc.h"
#include "zlevel/zlevel_list.h"

namespace {

std::vector<Tri3D> wheel() {
  std::vector<Tri3D> out;
  for (const auto& t : qdtest::gen::wheelInBox().tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    out.push_back(q);
  }
  return out;
}

const SurfaceModel* gSortModel = nullptr;
int byTopDesc(const void* a, const void* b) {
  const double za = gSortModel->facetMax[*static_cast<const int*>(a)].z;
  const double zb = gSortModel->facetMax[*static_cast<const int*>(b)].z;
  return za > zb ? -1 : 1;
}

// The part scaled to a tool of radius 10 (factor 2 for the 200-wide wheel), a ball of corner
// radius 10, its candidates sorted by descending top.
class StepOptFinder : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    stepOptResetState();
    geoErrReset();
    *parGlobalBlock() = GlobalParams{};
  }
  void TearDown() override {
    stepOptSetSliceFn(nullptr);
    stepOptSetWriteFn(nullptr);
    stepOptResetState();
  }

  void load(std::vector<Tri3D> tris) {
    scale_ = qdtest::scaleToTool(tris);
    part_ = std::make_unique<qdtest::LevelPart>(std::move(tris), 1, 10.0, 5.0);
    gSortModel = &part_->model();
    IntList* c = part_->ctx().candidates;
    lstSort(c->items, c->count, sizeof(int), byTopDesc);
    walk_ = WalkParams{};
    walk_.tolerance = 0.01;
    walk_.direction = 1;
    walk_.model = &part_->model();
    if (slice_.work != nullptr) pkoListFree(slice_.work);
    slice_ = SliceContext{nullptr, nullptr, part_->traced(), pkoListNew(100), part_->pieceStarts()};
  }
  ~StepOptFinder() override {
    if (slice_.work != nullptr) pkoListFree(slice_.work);
  }

  int run(ZLevelList* levels, double factor = 0.9) {
    return zrupp2genOptiStepBnds(&part_->ctx(), &part_->tool(), &walk_, &slice_, factor,
                                 &part_->net(), levels, "sopttmp.bnd");
  }

  std::unique_ptr<qdtest::LevelPart> part_;
  WalkParams walk_{};
  SliceContext slice_{};
  double scale_ = 1.0;
};

struct LevelsDel {
  void operator()(ZLevelList* l) const { zlevFree(l); }
};
using LevelsPtr = std::unique_ptr<ZLevelList, LevelsDel>;

struct ReadBack {
  Kont2D* list = nullptr;
  explicit ReadBack(const char* f) : list(kontReadBnd(f, 1, 1)) {}
  ~ReadBack() { kontFree(list); }
  std::set<long> heights() const {
    std::set<long> out;
    for (const Kont2D* k = list; k != nullptr; k = k->next) out.insert(std::lround(k->z * 1000));
    return out;
  }
};

// Flats of the wheel (scaled by 2): 0, 8, 36, 44, 70, 100; level heights add the corner radius
// 10. The range holds 18 .. 81; the stepdown level 46.005 lies within p of the spoke tops.
TEST_F(StepOptFinder, WheelHeightsSnapsAndOutlines) {
  load(wheel());
  LevelsPtr levels(zlevNew(20, 81.0, 17.0));
  zlevInsertExact(levels.get(), 46.005, 0.0, kZlevStepdown);
  zlevInsertExact(levels.get(), 30.0, 0.0, kZlevStepdown);
  const int gouge = roughGetGougeCheck();
  const int noRound = kontGetNoRound();
  ASSERT_EQ(run(levels.get()), 1) << geoErrRecord()->file << " " << geoErrRecord()->line;
  EXPECT_EQ(roughGetGougeCheck(), gouge);
  EXPECT_EQ(kontGetNoRound(), noRound);
  // The snapped level is exact; its height is not outlined.
  std::vector<double> z(levels->z, levels->z + levels->count);
  EXPECT_NE(std::find(z.begin(), z.end(), 46.0), z.end());
  EXPECT_NE(std::find(z.begin(), z.end(), 30.0), z.end());
  EXPECT_EQ(stepOptPlaneFileWritten(), 1);
  ReadBack r("sopttmp.bnd");
  ASSERT_NE(r.list, nullptr) << geoErrCode();
  EXPECT_EQ(r.heights(), (std::set<long>{18000, 54000, 80000}));

  // The hub top (an octagon of circumradius 30 at 70): the contour R' = 9 outside it.
  const double R = 9.0;
  const double A = 0.5 * 8 * 900 * std::sin(std::numbers::pi / 4);
  const double P = 2 * 8 * 30 * std::sin(std::numbers::pi / 8);
  const double want = A + P * R + std::numbers::pi * R * R;
  int hubs = 0;
  for (const Kont2D* k = r.list; k != nullptr; k = k->next) {
    if (std::lround(k->z) != 80 || k->xmax > 50 || k->xmin < -50) continue;
    ++hubs;
    EXPECT_NEAR(kontArea(k), want, (P + 2 * std::numbers::pi * R) * 0.2);
    EXPECT_EQ(k->child, nullptr);
  }
  EXPECT_EQ(hubs, 1);
}

TEST_F(StepOptFinder, PlanesOnlyWritesInsteadOfSnapping) {
  load(wheel());
  parGlobalBlock()->planesOnly = 1;
  LevelsPtr levels(zlevNew(20, 60.0, 40.0));
  zlevInsertExact(levels.get(), 46.005, 0.0, kZlevStepdown);
  ASSERT_EQ(run(levels.get()), 1);
  EXPECT_DOUBLE_EQ(levels->z[0], 46.005);
  ReadBack r("sopttmp.bnd");
  ASSERT_NE(r.list, nullptr);
  EXPECT_EQ(r.heights(), (std::set<long>{46000, 54000}));
}

// Faces 0.5 p and exactly p apart form one height, that of the higher face.
TEST_F(StepOptFinder, FacesWithinPrecisionFormOneHeight) {
  const double p = parGlobalBlock()->precision;
  for (const double gap : {0.5 * p, p}) {
    SCOPED_TRACE(gap);
    stepOptResetState();
    std::remove("sopttmp.bnd");
    std::vector<Tri3D> tris;
    auto square = [&](double x0, double z) {
      tris.push_back(Tri3D{{{x0, 0, z}, {x0 + 20, 0, z}, {x0 + 20, 20, z}}});
      tris.push_back(Tri3D{{{x0, 0, z}, {x0 + 20, 20, z}, {x0, 20, z}}});
    };
    square(0, 10.0);
    square(60, 10.0 - gap);
    square(-200, 0);  // a far face that sets the scale without taking part
    square(180, 0);
    load(tris);
    LevelsPtr levels(zlevNew(20, 40.0 * scale_, 5.0 * scale_ + 10.0));  // the far faces lie below
    ASSERT_EQ(run(levels.get()), 1);
    ReadBack r("sopttmp.bnd");
    ASSERT_NE(r.list, nullptr);
    EXPECT_EQ(r.heights(), (std::set<long>{std::lround((10.0 * scale_ + 10.0) * 1000)}));
  }
}

// Closed boxes as triangles, corners counter-clockwise seen from outside; `reversed` turns every
// triangle's corners the other way, as some real meshes have them.
std::vector<Tri3D> boxes(const std::vector<std::pair<qdtest::gen::Vec, qdtest::gen::Vec>>& spans,
                         bool reversed) {
  qdtest::gen::Mesh m;
  for (const auto& [lo, hi] : spans) qdtest::gen::detail::box(m, lo, hi);
  std::vector<Tri3D> out;
  for (const auto& t : m.tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    if (reversed) std::swap(q.v[1], q.v[2]);
    out.push_back(q);
  }
  return out;
}

// A table on a floor plate: the plate top (0) and the table top (10) lie open to the tool. The
// table top's underside (8), the leg's top beneath it (8, facing up), the leg's foot (0) and the
// plate's bottom (-3) lie under the part: outlined, they made flat areas whose level cut through
// the part above them. The same with every triangle's corners turned the other way.
TEST_F(StepOptFinder, FacesUnderThePartAreNoFlatAreas) {
  for (const bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "corners reversed" : "corners counter-clockwise");
    stepOptResetState();
    std::remove("sopttmp.bnd");
    load(boxes(
        {{{0, 0, 8}, {40, 40, 10}}, {{15, 15, 0}, {25, 25, 8}}, {{-20, -20, -3}, {60, 60, 0}}},
        reversed));
    const double c = part_->tool().cornerRadius;
    LevelsPtr levels(zlevNew(20, 20 * scale_ + c, -10 * scale_ + c));
    ASSERT_EQ(run(levels.get()), 1);
    ReadBack r("sopttmp.bnd");
    ASSERT_NE(r.list, nullptr);
    EXPECT_EQ(r.heights(),
              (std::set<long>{std::lround(c * 1000), std::lround((10 * scale_ + c) * 1000)}));
  }
  std::int8_t covered = 7;
  const int face = 0;
  EXPECT_EQ(stepOptCoveredFaces(nullptr, &face, 1, &covered), -20);
  EXPECT_EQ(stepOptCoveredFaces(&part_->ctx(), &face, -1, &covered), -20);
  EXPECT_EQ(stepOptCoveredFaces(&part_->ctx(), nullptr, 1, &covered), -20);
  EXPECT_EQ(stepOptCoveredFaces(&part_->ctx(), nullptr, 0, nullptr), 1);
  EXPECT_EQ(covered, 7);
}

// A low block (top 4) beside a tall one (top 10) whose height has no outline of its own, because
// a level was moved onto it or because it lies above the level range: the tall block's top is no
// flat area at the low block's height (its outline there gave a level that cut through the tall
// block). Every outline at the low height lies round the low block.
TEST_F(StepOptFinder, AHigherFaceIsInNoOutlineOfALowerHeight) {
  struct Case {
    const char* name;
    bool snapped;  // a level at the tall top, else the range ends below it
  };
  for (const Case k : {Case{"snapped", true}, Case{"above the range", false}}) {
    SCOPED_TRACE(k.name);
    stepOptResetState();
    std::remove("sopttmp.bnd");
    load(boxes({{{0, 0, 0}, {10, 20, 4}}, {{30, 0, 0}, {40, 20, 10}}}, false));
    const double c = part_->tool().cornerRadius;
    const double low = 4 * scale_ + c, tall = 10 * scale_ + c;
    LevelsPtr levels(zlevNew(20, k.snapped ? tall + 5 : tall - 5, c + 1));
    if (k.snapped) zlevInsertExact(levels.get(), tall + 0.001, 0.0, kZlevStepdown);
    ASSERT_EQ(run(levels.get()), 1);
    ReadBack r("sopttmp.bnd");
    ASSERT_NE(r.list, nullptr);
    EXPECT_EQ(r.heights(), (std::set<long>{std::lround(low * 1000)}));
    const double reach = 10 * scale_ + part_->tool().radius;  // the low block grown by R'
    for (const Kont2D* o = r.list; o != nullptr; o = o->next) EXPECT_LT(o->xmax, reach) << o->z;
  }
}

TEST_F(StepOptFinder, NoFlatFaceGivesZeroAndNoFile) {
  std::vector<Tri3D> tris = {Tri3D{{{0, 0, 0}, {40, 0, 5}, {0, 40, 9}}}};
  load(tris);
  roughSetGougeCheck(1);
  kontSetNoRound(0);
  stepOptSetPlaneFileWritten(1);
  LevelsPtr levels(zlevNew(20, 100.0, -100.0));
  EXPECT_EQ(run(levels.get()), 0);
  EXPECT_FALSE(qdtest::fileExists("sopttmp.bnd"));
  EXPECT_EQ(stepOptPlaneFileWritten(), 0);
  EXPECT_EQ(roughGetGougeCheck(), 1);
  EXPECT_EQ(kontGetNoRound(), 0);
  EXPECT_DOUBLE_EQ(stepOptAdjustFactor(1.0), 0.95);
  EXPECT_DOUBLE_EQ(stepOptAdjustFactor(0.05), 0.1);
  EXPECT_DOUBLE_EQ(stepOptAdjustFactor(1.2), 1.2);
}

// ---- retries --------------------------------------------------------------------------------

std::vector<double> gTolerances;
int gFailCalls = 0;
int gFailCode = kStepOptSliceRetry;
int failFirstSlice(CollCtx* c, WalkTool* t, WalkParams* w, SliceContext* s) {
  gTolerances.push_back(w->tolerance);
  if (gFailCalls-- > 0) return gFailCode;
  return arczLevelPaths(c, t, w, s);
}
int alwaysClipFails(SliceContext*, const Kont2D*, double, const char*, ZPathList*, ZPath*) {
  return kStepOptClipRetry;
}

// A failed slice is retried with the halved tolerance, which then serves every lower level too,
// whatever the failure (-45 pieces that meet, -5 contacts traced without a segment, -30): the
// level is outlined as without the failure (a -5 once gave the level up and left its face
// uncut). Memory and a break end the call at once.
TEST_F(StepOptFinder, SliceRetryHalvesToleranceForLowerLevels) {
  load(wheel());
  LevelsPtr first(zlevNew(20, 81.0, 40.0));
  ASSERT_EQ(run(first.get()), 1);
  const std::set<long> outlined = ReadBack("sopttmp.bnd").heights();
  stepOptSetSliceFn(failFirstSlice);
  for (const int code : {kStepOptSliceRetry, -5, -30}) {
    SCOPED_TRACE(code);
    stepOptRunReset();
    gTolerances.clear();
    gFailCalls = 1;
    gFailCode = code;
    LevelsPtr levels(zlevNew(20, 81.0, 40.0));
    ASSERT_EQ(run(levels.get()), 1);
    ASSERT_GE(gTolerances.size(), 3U);
    EXPECT_DOUBLE_EQ(gTolerances[1], 0.5 * gTolerances[0]);
    for (std::size_t k = 1; k < gTolerances.size(); ++k) {
      EXPECT_DOUBLE_EQ(gTolerances[k], gTolerances[1]);  // also every lower level
    }
    EXPECT_EQ(ReadBack("sopttmp.bnd").heights(), outlined);
  }
  for (const int code : {-1, -2}) {
    stepOptRunReset();
    gTolerances.clear();
    gFailCalls = 1;
    gFailCode = code;
    LevelsPtr levels(zlevNew(20, 81.0, 40.0));
    EXPECT_EQ(run(levels.get()), code);
    EXPECT_EQ(gTolerances.size(), 1U) << code;
  }
  gFailCode = kStepOptSliceRetry;
}

TEST_F(StepOptFinder, RepeatedClipFailureEndsWithOutlineCode) {
  load(wheel());
  stepOptSetWriteFn(alwaysClipFails);
  gTolerances.clear();
  gFailCalls = 0;
  stepOptSetSliceFn(failFirstSlice);
  LevelsPtr levels(zlevNew(20, 81.0, 40.0));
  EXPECT_EQ(run(levels.get()), kStepOptOutlineFailed);
  EXPECT_EQ(gTolerances.size(), 6U);  // the first try and five halvings

  gTolerances.clear();
  gFailCalls = 100;
  stepOptSetWriteFn(nullptr);
  EXPECT_EQ(run(levels.get()), kStepOptSliceRetry);
  EXPECT_EQ(gTolerances.size(), 7U);
}

// A second run in one process started from the first run's file and written flag.
TEST_F(StepOptFinder, RunResetStartsEachRunWithoutFileAndFlag) {
  load(wheel());
  LevelsPtr levels(zlevNew(20, 81.0, 40.0));
  ASSERT_EQ(run(levels.get()), 1);
  ASSERT_TRUE(qdtest::fileExists("sopttmp.bnd"));
  ASSERT_EQ(stepOptPlaneFileWritten(), 1);
  stepOptRunReset();
  EXPECT_FALSE(qdtest::fileExists("sopttmp.bnd"));
  EXPECT_EQ(stepOptPlaneFileWritten(), 0);
  EXPECT_EQ(stepOptTakeFirstCall(), 1);
  EXPECT_EQ(stepOptTakeFlatFirstCall(), 1);
  EXPECT_EQ(stepOptNextFlatBlock(), 1);
}

// A file of that name that no finder wrote belongs to the user and stays.
TEST_F(StepOptFinder, RunResetKeepsAFileNoFinderWrote) {
  qdtest::writeFile("sopttmp.bnd", "the user's");
  stepOptRunReset();
  EXPECT_EQ(qdtest::readFile("sopttmp.bnd"), "the user's");
}

// The real wheel's spokes stand on the box's bottom at z 4 (scaled 8) with faces there that face
// down: covered by the spokes, they are no flat area (an outline at 18 would have the second pass
// cut through the spokes). The flats outlined are the spoke, rim and hub tops.
TEST_F(StepOptFinder, RealWheelHeights) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath("wheel_in_box.stl"));
  ASSERT_FALSE(tris.empty());
  load(tris);
  LevelsPtr levels(zlevNew(20, 81.0, 17.0));
  ASSERT_EQ(run(levels.get()), 1);
  ReadBack r("sopttmp.bnd");
  ASSERT_NE(r.list, nullptr);
  EXPECT_EQ(r.heights(), (std::set<long>{46000, 54000, 80000}));
}

// ---- the older variants ----------------------------------------------------------------------

std::set<long> planeLevels(const ZLevelList* l) {
  std::set<long> out;
  for (int k = 0; k < l->count; ++k) {
    if (l->flag[k] == kZlevPlane) out.insert(std::lround(l->z[k] * 1000));
  }
  return out;
}

TEST_F(StepOptFinder, OlderFinderOverFlatFacesInsertsOutlinedHeights) {
  load(wheel());
  LevelsPtr levels(zlevNew(20, 81.0, 40.0));
  ASSERT_EQ(zstoc3genOptiStepBnds(&part_->ctx(), &part_->tool(), &walk_, &slice_, 0.9, levels.get(),
                                  "sopttmp.bnd", nullptr),
            1)
      << geoErrRecord()->file << " " << geoErrRecord()->line;
  EXPECT_EQ(planeLevels(levels.get()), (std::set<long>{46000, 54000, 80000}));
  ReadBack r("sopttmp.bnd");
  ASSERT_NE(r.list, nullptr);
  EXPECT_EQ(r.heights(), (std::set<long>{46000, 54000, 80000}));

  // Only the wanted hub height.
  std::remove("sopttmp.bnd");
  LevelsPtr only(zlevNew(20, 81.0, 40.0));
  DblList* wanted = lstDblNew(3);
  lstDblPush(wanted, 70.00005);
  ASSERT_EQ(zstoc3genOptiStepBnds(&part_->ctx(), &part_->tool(), &walk_, &slice_, 0.9, only.get(),
                                  "sopttmp.bnd", wanted),
            1);
  EXPECT_EQ(planeLevels(only.get()), (std::set<long>{80000}));
  lstDblFree(wanted);
}

TEST_F(StepOptFinder, OlderFinderOverGivenHeightsThinsAndSkipsEmptyLevels) {
  load(wheel());
  LevelsPtr levels(zlevNew(20, 81.0, 40.0));
  DblList* heights = lstDblNew(4);
  for (double h : {36.0, 70.0, 70.004, 55.0}) lstDblPush(heights, h);
  ASSERT_EQ(zstoc4genOptiStepBnds(&part_->ctx(), &part_->tool(), &walk_, &slice_, 0.9, levels.get(),
                                  "sopttmp.bnd", heights),
            1)
      << geoErrRecord()->file << " " << geoErrRecord()->line;
  ASSERT_EQ(heights->count, 3);  // 70.004 was within p of 70 and went
  EXPECT_DOUBLE_EQ(heights->items[0], 70.004);
  EXPECT_EQ(planeLevels(levels.get()), (std::set<long>{46000, 80004}));
  ReadBack r("sopttmp.bnd");
  ASSERT_NE(r.list, nullptr);
  EXPECT_EQ(r.heights().count(80004), 1U);
  lstDblFree(heights);
}

// The driver builds the candidates, the tool and the slice lists from the region's model: over
// the given heights it inserts the levels that the variant gives on the fixture's own context,
// outlines the hub top as the octagon grown by R' = 9 (area in closed form), and hands the
// triangle list back sorted by descending vertex-0 height.
TEST_F(StepOptFinder, DriverOverGivenHeightsMatchesTheVariant) {
  load(wheel());
  const double given[] = {36.0, 70.0, 70.004, 55.0};
  auto heightList = [&] {
    DblList* h = lstDblNew(4);
    for (double v : given) lstDblPush(h, v);
    return h;
  };
  LevelsPtr direct(zlevNew(20, 81.0, 40.0));
  DblList* h1 = heightList();
  ASSERT_EQ(zstoc4genOptiStepBnds(&part_->ctx(), &part_->tool(), &walk_, &slice_, 0.9, direct.get(),
                                  "direct.bnd", h1),
            1);
  lstDblFree(h1);

  const Tri3List* own = part_->model().triangles;
  Tri3List* tris = lstTri3New(own->count);
  for (int i = own->count - 1; i >= 0; --i) lstTri3Append(tris, own->items[i]);
  LevelsPtr levels(zlevNew(20, 81.0, 40.0));
  DblList* h2 = heightList();
  parGlobalBlock()->planeFactor = 0.9;
  const StepOptCycleContext cycle{&part_->model(), part_->ctx().region, levels.get()};
  ASSERT_EQ(stepOptZstoc4Driver(&cycle, tris, h2, "driver.bnd"), 1)
      << geoErrRecord()->file << " " << geoErrRecord()->line;
  EXPECT_EQ(planeLevels(levels.get()), planeLevels(direct.get()));
  EXPECT_EQ(planeLevels(levels.get()), (std::set<long>{46000, 80004}));
  for (int i = 1; i < tris->count; ++i) {
    EXPECT_GE(tris->items[i - 1].v[0].z, tris->items[i].v[0].z) << i;
  }
  ReadBack r("driver.bnd");
  ASSERT_NE(r.list, nullptr);
  EXPECT_EQ(r.heights(), ReadBack("direct.bnd").heights());
  const double R = 9.0;
  const double A = 0.5 * 8 * 900 * std::sin(std::numbers::pi / 4);
  const double P = 2 * 8 * 30 * std::sin(std::numbers::pi / 8);
  int hubs = 0;
  for (const Kont2D* k = r.list; k != nullptr; k = k->next) {
    if (std::lround(k->z) != 80 || k->xmax > 50 || k->xmin < -50) continue;
    ++hubs;
    EXPECT_NEAR(kontArea(k), A + P * R + std::numbers::pi * R * R,
                (P + 2 * std::numbers::pi * R) * 0.2);
  }
  EXPECT_EQ(hubs, 1);

  // Missing pieces are refused before anything changes.
  const StepOptCycleContext noLevels{&part_->model(), nullptr, nullptr};
  EXPECT_EQ(stepOptZstoc4Driver(nullptr, tris, h2, "x.bnd"), -20);
  EXPECT_EQ(stepOptZstoc4Driver(&noLevels, tris, h2, "x.bnd"), -20);
  EXPECT_EQ(stepOptZstoc4Driver(&cycle, nullptr, h2, "x.bnd"), -20);
  EXPECT_EQ(stepOptZstoc4Driver(&cycle, tris, nullptr, "x.bnd"), -20);
  EXPECT_EQ(stepOptZstoc4Driver(&cycle, tris, h2, nullptr), -20);
  EXPECT_FALSE(qdtest::fileExists("x.bnd"));
  lstDblFree(h2);
  lstBox3Free(tris);
}

// Memory running out at each allocation of the driver in turn gives a failure or the full
// result, never a crash; what the driver built is freed either way (the sanitizer build's leak
// check sees to that).
TEST_F(StepOptFinder, DriverWhenMemoryRunsOut) {
  load(wheel());
  parGlobalBlock()->planeFactor = 0.9;
  bool completed = false;
  for (long n = 1; n < 400 && !completed; ++n) {
    const Tri3List* own = part_->model().triangles;
    Tri3List* tris = lstTri3New(own->count);
    for (int i = 0; i < own->count; ++i) lstTri3Append(tris, own->items[i]);
    LevelsPtr levels(zlevNew(20, 81.0, 40.0));
    DblList* heights = lstDblNew(2);
    lstDblPush(heights, 70.0);
    const StepOptCycleContext cycle{&part_->model(), part_->ctx().region, levels.get()};
    std::remove("driver.bnd");
    memTestFailAt(n);
    const int r = stepOptZstoc4Driver(&cycle, tris, heights, "driver.bnd");
    memTestFailAt(0);
    EXPECT_TRUE(r == 1 || r < 0) << n << ": " << r;
    completed = r == 1 && planeLevels(levels.get()) == std::set<long>{80000};
    lstDblFree(heights);
    lstBox3Free(tris);
  }
  EXPECT_TRUE(completed);
}

}  // namespace
