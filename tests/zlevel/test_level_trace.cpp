// Tests of the level slicing's entry, the tracing and the gouge check on small made parts: the
// argument and early-exit table, the step length, a flat end mill on walls alone, two pieces in
// a channel just wider than the tool, undercuts under a cap, the start-list cases of the tracing,
// the sphere's circle, and the drop test of start points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/messages.h"
#include "gen_triangles.h"
#include "geometry/geo_error.h"
#include "geometry/stel_list.h"
#include "level_fixture.h"
#include "model/wcoll_boxtree.h"
#include "support/mesh_gen.h"
#include "zlevel/gouge_check.h"
#include "zlevel/level_slice.h"
#include "zlevel/level_trace.h"

namespace {

using qdtest::LevelPart;

// The 12 triangles of an axis-parallel box, outward facing.
void addBox(std::vector<Tri3D>* out, double x0, double y0, double z0, double x1, double y1,
            double z1) {
  const Point3D p[8] = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                        {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
  const int f[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                       {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  for (const auto& q : f) {
    out->push_back(Tri3D{{p[q[0]], p[q[1]], p[q[2]]}});
    out->push_back(Tri3D{{p[q[0]], p[q[2]], p[q[3]]}});
  }
}

// A post 20 x 20 up to 50 under a cap 2 half x 2 half from 50 to 60, centred on the origin.
std::vector<Tri3D> mushroom(double half = 50) {
  std::vector<Tri3D> t;
  addBox(&t, -10, -10, 0, 10, 10, 50);
  addBox(&t, -half, -half, 50, half, half, 60);
  return t;
}

// The triangles turned by 45 degrees about the z axis.
void turn45(std::vector<Tri3D>* tris) {
  const double c = std::sqrt(0.5);
  for (Tri3D& t : *tris)
    for (Point3D& v : t.v) v = Point3D{c * (v.x - v.y), c * (v.x + v.y), v.z};
}

// Box of every traced segment that is not on the region's boundary.
struct Box2 {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
};
Box2 tracedBox(const PkoList* l) {
  Box2 b;
  for (int i = 0; i < l->count; ++i) {
    if (l->ids[i] == -2) continue;
    const Seg3D& s = l->segments[i];
    b.x0 = std::min({b.x0, s.start.x, s.end.x});
    b.y0 = std::min({b.y0, s.start.y, s.end.y});
    b.x1 = std::max({b.x1, s.start.x, s.end.x});
    b.y1 = std::max({b.y1, s.start.y, s.end.y});
  }
  return b;
}

class GlobalsGuard {
 public:
  GlobalsGuard() : saved_(*parGlobalBlock()) {}
  ~GlobalsGuard() {
    *parGlobalBlock() = saved_;
    out3dSetBreakCheck(nullptr);
    roughGougeResetState();
  }
  GlobalsGuard(const GlobalsGuard&) = delete;
  GlobalsGuard& operator=(const GlobalsGuard&) = delete;

 private:
  GlobalParams saved_;
};

TEST(ArczStepLength, ChordOfTheToleranceTwiceForRoundCutters) {
  const double R = 10, tol = 0.01;
  const double chord = 2 * std::sqrt(2 * R * tol - tol * tol);
  EXPECT_NEAR(arczStepLength(R, tol, 2, 10.0), chord, 1e-12);
  EXPECT_NEAR(arczStepLength(R, tol, 1, 10.0), 2 * chord, 1e-12);
  EXPECT_NEAR(arczStepLength(R, tol, 3, 10.0), 2 * chord, 1e-12);
  EXPECT_EQ(arczStepLength(R, 1e-9, 2, 10.0), 0.05);  // the lower bound
  EXPECT_EQ(arczStepLength(R, tol, 1, 0.01), 0.01);   // "*STEP_MAX" below 0.05 wins
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bad : {0.0, -1.0, nan}) EXPECT_EQ(arczStepLength(bad, tol, 1, 10.0), -20) << bad;
  for (double bad : {0.0, 2 * R, 3 * R, -tol, nan})
    EXPECT_EQ(arczStepLength(R, bad, 1, 10.0), -20) << bad;
}

// Bad tool or tolerance: -20 before any candidate is read or any list changed (list mode keeps
// its allowance pairs, which the selection would empty first); R = 0 with tolerance 0 made a NaN
// step that passed.
TEST(ArczLevelPaths, BadRadiusOrToleranceGivesMinus20WithNothingTouched) {
  std::vector<Tri3D> tris;
  addBox(&tris, 0, 0, 0, 40, 40, 30);
  LevelPart part(tris, 1, 10.0, 5.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double R, tol;
  };
  for (const Case& c : {Case{10, 0}, Case{10, 20}, Case{0, 0}, Case{0, 0.01}, Case{nan, 0.01},
                        Case{10, nan}, Case{-10, 0.01}, Case{10, -0.01}}) {
    SCOPED_TRACE(std::to_string(c.R) + " " + std::to_string(c.tol));
    CollCtx ctx = part.ctx();
    WalkParams w{};
    w.mode = 1;
    ctx.pairs = lstPairNew(4);
    ctx.triAllowances = lstPairNew(4);
    ctx.wallAllowances = lstPairNew(4);
    lstPairAppend(ctx.pairs, PtrValPair{nullptr, 0});
    lstPairAppend(ctx.triAllowances, PtrValPair{nullptr, 1});
    lstPairAppend(ctx.wallAllowances, PtrValPair{nullptr, 1});
    WalkTool tool{c.R, c.R, 1};
    w.tolerance = c.tol;
    w.z = 20;
    PkoList* traced = part.traced();
    pkoListReset(traced);
    SliceContext slice{part.raster(), nullptr, traced, nullptr, part.pieceStarts()};
    EXPECT_EQ(arczLevelPaths(&ctx, &tool, &w, &slice), -20);
    EXPECT_EQ(ctx.triAllowances->count, 1);
    EXPECT_EQ(ctx.wallAllowances->count, 1);
    EXPECT_EQ(traced->count, 0);
    lstRecFree(ctx.pairs);
    lstRecFree(ctx.triAllowances);
    lstRecFree(ctx.wallAllowances);
  }
}

TEST(ArczLevelPaths, EarlyExitsAndInterrupt) {
  GlobalsGuard guard;
  std::vector<Tri3D> tris;
  addBox(&tris, 0, 0, 0, 40, 40, 30);
  LevelPart part(tris, 1, 10.0, 5.0);
  ASSERT_EQ(part.slice(20), 1);
  ASSERT_EQ(part.pieceStarts()->count, 1);

  // No raster cells, or no traced list: nothing to do, nothing touched.
  Raster empty{};
  const int before = part.traced()->count;
  SliceContext slice = part.sliceContext();
  slice.raster = &empty;
  EXPECT_EQ(arczLevelPaths(&part.ctx(), &part.tool(), &part.params(), &slice), 0);
  slice.raster = nullptr;
  EXPECT_EQ(arczLevelPaths(&part.ctx(), &part.tool(), &part.params(), &slice), 0);
  EXPECT_EQ(part.traced()->count, before);

  // No candidate list for the mode.
  CollCtx noCandidates = part.ctx();
  noCandidates.candidates = nullptr;
  slice = part.sliceContext();
  EXPECT_EQ(arczLevelPaths(&noCandidates, &part.tool(), &part.params(), &slice), -20);

  // The host's interrupt.
  out3dSetBreakCheck([] { return 1; });
  EXPECT_EQ(part.slice(20), -2);
  out3dSetBreakCheck(nullptr);

  // A level above the part: every node free, no start, no path.
  EXPECT_EQ(part.slice(80), 0);
  EXPECT_EQ(part.traced()->count, 0);
  EXPECT_EQ(part.pieceStarts()->count, 0);
}

// The tracing on a caller's start list: starts of 0.001 or less are never searched and a pass
// that removes none fails with -30; an empty list gives 1 and no piece.
TEST(ArczTraceLevel, StartListCases) {
  std::vector<Tri3D> tris;
  addBox(&tris, 0, 0, 0, 40, 40, 30);
  LevelPart part(tris, 1, 10.0, 5.0);
  part.slice(20);  // fills the records
  CollCtx ctx = part.ctx();
  Tri3List* level = lstTri3New(16);
  for (const Tri3D& t : tris) lstTri3Append(level, t);
  ctx.triangles = level;
  WalkParams w = part.params();
  w.step = arczStepLength(10, 0.01, 1, 10);
  StelList* starts = stelListNew(4);
  SliceContext slice = part.sliceContext();
  slice.starts = starts;
  pkoListReset(slice.traced);
  lstIntReset(slice.pathStarts);
  EXPECT_EQ(arczTraceLevel(&ctx, &part.tool(), &w, &slice), 1);
  EXPECT_EQ(slice.traced->count, 0);
  EXPECT_EQ(slice.pathStarts->count, 0);

  stelListAppend(starts, Seg2D{70, 20, 70.0005, 20});
  stelListAppend(starts, Seg2D{80, 20, 80, 20.0009});
  EXPECT_EQ(arczTraceLevel(&ctx, &part.tool(), &w, &slice), kTraceNoProgress);
  EXPECT_EQ(starts->count, 2);

  // A real start next to them traces the box once; the short starts stay with the caller.
  stelListAppend(starts, Seg2D{60, 20, 45, 20});
  EXPECT_EQ(arczTraceLevel(&ctx, &part.tool(), &w, &slice), kTraceNoProgress);
  EXPECT_EQ(slice.pathStarts->count, 1);
  stelListFree(starts);
  lstBox3Free(level);
}

// A flat end mill takes no triangles: its contour comes from the walls of the slab alone, even
// with the undercut height 0, and every contact is a wall contact.
TEST(ArczLevelPaths, FlatEndMillWalksTheWallsAlone) {
  GlobalsGuard guard;
  for (double u : {10000.0, 0.0}) {
    parGlobalBlock()->undercutHeight = u;
    std::vector<Tri3D> tris;
    addBox(&tris, 0, 0, 0, 40, 30, 30);
    LevelPart part(tris, 2, 0.0, 5.0);
    ASSERT_EQ(part.slice(20), 1) << u;
    ASSERT_EQ(part.pieceStarts()->count, 1);
    for (int i = 0; i < part.traced()->count; ++i) EXPECT_EQ(std::abs(part.traced()->kinds[i]), 4);
    // The walls' offset by R, walked one tolerance outside it.
    const double tol = part.params().tolerance;
    const Box2 b = tracedBox(part.traced());
    EXPECT_NEAR(b.x0, -10 - tol, 1e-6);
    EXPECT_NEAR(b.x1, 50 + tol, 1e-6);
    EXPECT_NEAR(b.y1, 40 + tol, 1e-6);
  }
}

// A block in the mouth of a U, with a channel 0.2 wider than the tool on three sides, all turned
// by 45 degrees: the two contours run within 0.2 of each other along diagonal walls, where boxes
// of their segments overlap, yet no segments cross, so the level stands (the box rule failed
// it).
TEST(ArczLevelPaths, ChannelJustWiderThanTheToolKeepsBothContours) {
  std::vector<Tri3D> tris;
  const double gap = 20.2, w = 30;
  addBox(&tris, 0, 0, 0, w, w, 40);                          // the block
  addBox(&tris, -gap - 20, -gap - 20, 0, -gap, w + 30, 40);  // left arm
  addBox(&tris, w + gap, -gap - 20, 0, w + gap + 20, w + 30, 40);
  addBox(&tris, -gap, -gap - 20, 0, w + gap, -gap, 40);  // bottom
  turn45(&tris);
  LevelPart part(tris, 1, 10.0, 2.5);
  ASSERT_EQ(part.slice(20), 1) << geoErrRecord()->file << " " << geoErrRecord()->line;
  ASSERT_EQ(part.pieceStarts()->count, 2);
  EXPECT_EQ(arczCheckContourCollisions(&part.sliceContext()), 0);

  // The boxes of the pieces' segments do overlap: a pair handler that accepts every box pair
  // finds a pair.
  std::vector<std::vector<Seg2D>> pieces(2);
  const PkoList* l = part.traced();
  for (int k = 0; k < 2; ++k) {
    const int from = part.pieceStarts()->items[k];
    const int to = k == 0 ? part.pieceStarts()->items[1] : l->count;
    for (int i = from; i < to; ++i)
      pieces[k].push_back(Seg2D{l->segments[i].start.x, l->segments[i].start.y,
                                l->segments[i].end.x, l->segments[i].end.y});
  }
  BoxTree2D* a =
      wcoll2dTreeNew(pieces[0].data(), static_cast<int>(pieces[0].size()), 0, arczWallBox);
  BoxTree2D* b =
      wcoll2dTreeNew(pieces[1].data(), static_cast<int>(pieces[1].size()), 0, arczWallBox);
  EXPECT_EQ(
      wcoll2dTreesOverlap(
          a, b, 0, [](const BoxTree2D*, int, const BoxTree2D*, int, void*) { return 1; }, nullptr),
      1);
  wcoll2dTreeFree(a);
  wcoll2dTreeFree(b);

  // Pieces whose segments do cross are refused.
  PkoList* traced = part.traced();
  IntList* starts = part.pieceStarts();
  pkoListReset(traced);
  lstIntReset(starts);
  lstIntAppend(starts, 0);
  pkoListAppend(traced, Seg3D{{0, 0, 0}, {10, 10, 0}}, Point3D{}, 1, 1);
  lstIntAppend(starts, 1);
  pkoListAppend(traced, Seg3D{{0, 10, 0}, {10, 0, 0}}, Point3D{}, 1, 1);
  EXPECT_EQ(arczCheckContourCollisions(&part.sliceContext()), kTracePiecesMeet);
}

// Under a cap: with the default undercut height the contour keeps R off the cap's outline (the
// walls of the slab above the level); with "*ACCEPT_UNDERCUT" it goes round the post.
TEST(ArczLevelPaths, UndercutUnderACap) {
  GlobalsGuard guard;
  LevelPart part(mushroom(), 1, 10.0, 5.0);
  ASSERT_EQ(part.slice(30), 1);
  Box2 b = tracedBox(part.traced());
  EXPECT_NEAR(b.x0, -60, 0.02);
  EXPECT_NEAR(b.y1, 60, 0.02);
  parGlobalBlock()->acceptUndercut = 1;
  ASSERT_EQ(part.slice(30), 1);
  b = tracedBox(part.traced());
  EXPECT_NEAR(b.x0, -20, 0.02);
  EXPECT_NEAR(b.y1, 20, 0.02);
}

// The gouge check of start contacts: without walls (undercut height 0) the start search from a
// free node beside a cap overhanging by 2 meets the post under the cap; with the drop model
// installed the level fails with -60, without one the check is off, and accepted undercuts skip
// it.
TEST(ArczLevelPaths, StartUnderTheCapGougesOnTheDropModel) {
  GlobalsGuard guard;
  parGlobalBlock()->undercutHeight = 0;
  LevelPart part(mushroom(12), 1, 10.0, 5.0);
  ASSERT_EQ(part.slice(30), 1);
  SurfaceModel* drop = modelCopy(&part.model());
  ASSERT_NE(drop, nullptr);
  modelAddAllowance(drop, -kGougeMargin);
  roughGougeSetModel(drop);
  EXPECT_EQ(part.slice(30), kTraceBadStart);
  EXPECT_EQ(geoErrCode(), kTraceBadStart);
  roughSetGougeCheck(0);
  EXPECT_EQ(part.slice(30), 1);
  roughSetGougeCheck(1);
  parGlobalBlock()->acceptUndercut = 1;
  EXPECT_EQ(part.slice(30), 1);
  roughGougeSetModel(nullptr);
  modelFree(drop);
}

TEST(RoughCheckGouge, DropOnTheInstalledModel) {
  GlobalsGuard guard;
  std::vector<Tri3D> tris;
  addBox(&tris, 0, 0, 0, 40, 40, 30);
  LevelPart part(tris, 1, 10.0, 5.0);
  const Point3D inside{20, 20, 35}, above{20, 20, 40.005}, beside{60, 20, 5};
  EXPECT_EQ(roughCheckGouge(inside), 0);  // no model: off
  SurfaceModel* drop = modelCopy(&part.model());
  modelAddAllowance(drop, -kGougeMargin);
  roughGougeSetModel(drop);
  EXPECT_EQ(roughPointGouges(&inside), 1);  // the ball centre rests at 40
  EXPECT_EQ(roughPointGouges(&above), 0);   // within the margin
  EXPECT_EQ(roughPointGouges(&beside), 0);
  EXPECT_EQ(roughPointGouges(nullptr), -1);
  const Point3D lost{std::numeric_limits<double>::quiet_NaN(), 0, 0};
  EXPECT_EQ(roughPointGouges(&lost), 1);
  EXPECT_EQ(roughCheckGouge(inside), 1);
  roughSetGougeCheck(2);  // ignored
  EXPECT_EQ(roughGetGougeCheck(), 1);
  roughSetGougeCheck(0);
  EXPECT_EQ(roughCheckGouge(inside), 0);
  roughGougeResetState();
  EXPECT_EQ(roughGetGougeCheck(), 1);
  EXPECT_EQ(roughGougeModel(), nullptr);
  modelFree(drop);
}

// At mid-height of a finely faceted sphere the loop is the circle of radius
// sqrt((S + R)^2 - (Z - zs)^2) about its axis.
TEST(ArczLevelPaths, SphereLoopIsTheOffsetCircle) {
  std::vector<Tri3D> tris = qdtest::trianglesOf(qdtest::gen::sphereOnPlate(48, 96));
  const double s = qdtest::scaleToTool(tris);
  const double S = 15 * s, cx = 38 * s, zs = 15 * s;
  LevelPart part(tris, 1, 10.0, 5.0);
  for (double h : {0.1, 0.45, 0.8}) {
    const double Z = zs + h * S;
    ASSERT_EQ(part.slice(Z), 1);
    ASSERT_EQ(part.pieceStarts()->count, 1);
    const double want = std::sqrt((S + 10) * (S + 10) - (Z - zs) * (Z - zs));
    // The facets lie inside the sphere by at most S (1 - cos^2(pi / 96)), half a step in
    // latitude and in longitude.
    const double facets = S * (1 - std::pow(std::cos(std::numbers::pi / 96), 2));
    for (int i = 0; i < part.traced()->count; ++i) {
      const Point3D& p = part.traced()->segments[i].end;
      const double rho = std::hypot(p.x - cx, p.y - cx);
      EXPECT_LE(rho, want + 0.011) << i;
      EXPECT_GE(rho, want - facets - 0.011) << i;
    }
  }
}

// Chords around convex corners: the traced segments of a vertical-walled prism, sampled along
// their length, against the plain distance in plan to the prism's outline less the tool radius
// (the walls reach far above and below the level, so every cutter reaches R sideways). A flat end
// mill's or torus's chords never come nearer the part than the offset and lie at most a tolerance
// outside it; a ball's lie within a tolerance of the offset on either side. Chords of twice the
// tolerance's chord cut up to three tolerances into the offset at the corners of the box and
// across the edges of the many-sided prism.
struct ChordCase {
  const char* name;
  int sides;      // 4: a box 40 x 30 (turned by `turn` degrees); more: a regular prism of radius 20
  double turn;    // degrees
  int type;       // cutter type
  double corner;  // corner radius
};

void PrintTo(const ChordCase& c, std::ostream* os) { *os << c.name; }

class ArczLevelChords : public ::testing::TestWithParam<ChordCase> {};

TEST_P(ArczLevelChords, StayOutsideTheOffset) {
  const ChordCase& c = GetParam();
  std::vector<Point2D> outline;
  if (c.sides == 4) {
    outline = {{0, 0}, {40, 0}, {40, 30}, {0, 30}};
  } else {
    for (const auto& v : qdtest::gen::detail::ngon(c.sides, 20, 20, 15, 0.5))
      outline.push_back(Point2D{v.x, v.y});
  }
  const double a = c.turn * std::numbers::pi / 180;
  for (Point2D& p : outline)
    p = Point2D{std::cos(a) * p.x - std::sin(a) * p.y, std::sin(a) * p.x + std::cos(a) * p.y};
  std::vector<Tri3D> tris;
  const std::size_t n = outline.size();
  for (std::size_t j = 0; j < n; ++j) {
    const Point2D& p = outline[j];
    const Point2D& q = outline[(j + 1) % n];
    const Point3D p0{p.x, p.y, 0}, q0{q.x, q.y, 0}, p1{p.x, p.y, 60}, q1{q.x, q.y, 60};
    tris.push_back(Tri3D{{p0, q0, q1}});
    tris.push_back(Tri3D{{p0, q1, p1}});
    tris.push_back(Tri3D{{p1, q1, Point3D{20, 15, 60}}});
    tris.push_back(Tri3D{{q0, p0, Point3D{20, 15, 0}}});
  }
  // Plain distance in plan from p to the outline.
  auto outlineDistance = [&outline, n](double x, double y) {
    double best = 1e300;
    for (std::size_t j = 0; j < n; ++j) {
      const Point2D& p = outline[j];
      const Point2D& q = outline[(j + 1) % n];
      const double dx = q.x - p.x, dy = q.y - p.y;
      const double t =
          std::clamp(((x - p.x) * dx + (y - p.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
      best = std::min(best, std::hypot(x - p.x - t * dx, y - p.y - t * dy));
    }
    return best;
  };
  LevelPart part(tris, c.type, c.corner, 5.0);
  const double tol = 0.01;
  ASSERT_EQ(part.slice(30, tol), 1);
  ASSERT_EQ(part.pieceStarts()->count, 1);
  const PkoList* l = part.traced();
  ASSERT_GT(l->count, 20);
  double nearest = 1e300, farthest = -1e300;
  for (int i = 0; i < l->count; ++i) {
    const Seg3D& s = l->segments[i];
    for (int k = 0; k <= 16; ++k) {
      const double f = k / 16.0;
      const double d = outlineDistance(s.start.x + f * (s.end.x - s.start.x),
                                       s.start.y + f * (s.end.y - s.start.y)) -
                       10.0;
      nearest = std::min(nearest, d);
      farthest = std::max(farthest, d);
    }
  }
  const bool ball = c.type == 1;
  EXPECT_GE(nearest, (ball ? -tol : 0.0) - 1e-6);
  EXPECT_LE(farthest, (ball ? 0.0 : tol) + 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, ArczLevelChords,
    ::testing::Values(ChordCase{"TorusBox", 4, 0, 3, 2}, ChordCase{"FlatBoxTurned", 4, 30, 2, 0},
                      ChordCase{"TorusBoxTurned", 4, 30, 3, 2}, ChordCase{"BallBox", 4, 0, 1, 10},
                      ChordCase{"TorusPrism24", 24, 0, 3, 2}, ChordCase{"FlatPrism24", 24, 7, 2, 0},
                      ChordCase{"BallPrism24", 24, 0, 1, 10}),
    [](const ::testing::TestParamInfo<ChordCase>& info) { return std::string(info.param.name); });

}  // namespace
