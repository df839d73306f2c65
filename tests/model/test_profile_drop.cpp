// Tests of the profile sample and the drop along a profile: sample parameters on a flat model
// against the closed form of the walk, every output height against an independent point drop at
// its plan position, refinement at a vertical wall down to the tolerance, the sample's
// restrictions (boundary, range, curve heights, footprint) by hand-computed heights.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/memory.h"
#include "geometry/boundary.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/point_drop.h"
#include "model/profile_drop.h"
#include "model/profile_sample.h"
#include "model_fixture.h"

using qdtest::makeCutter;
using qdtest::QuadModel;
using qdtest::TriModel;

namespace {

// A level square [x0, x1] x [y0, y1] at height z, two triangles.
void addLevel(std::vector<Tri3D>* t, double x0, double y0, double x1, double y1, double z) {
  t->push_back(Tri3D{{{x0, y0, z}, {x1, y0, z}, {x1, y1, z}}});
  t->push_back(Tri3D{{{x0, y0, z}, {x1, y1, z}, {x0, y1, z}}});
}

// A floor at 0 for x < 5 and a block of height 10 for x > 5 with its vertical wall at x = 5.
std::vector<Tri3D> wallMesh() {
  std::vector<Tri3D> t;
  addLevel(&t, -20, -20, 5, 20, 0);
  addLevel(&t, 5, -20, 30, 20, 10);
  t.push_back(Tri3D{{{5, -20, 0}, {5, 20, 0}, {5, 20, 10}}});
  t.push_back(Tri3D{{{5, -20, 0}, {5, 20, 10}, {5, -20, 10}}});
  return t;
}

class ProfileDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dropPointResetState();
    dropProfileResetState();
    dropProfileSampleResetState();
    pathListResetState();
  }
  void TearDown() override {
    guideFree(curve_);
    pathListFree(out_);
  }
  // Prepares model m for a drop along the straight curve a -> b (with heights when given).
  void prepare(SurfaceModel* m, Point3D a, Point3D b, bool heights, double step, double tol) {
    guideFree(curve_);
    curve_ = guideFromTwoPoints(a, b);
    if (!heights) {
      memFree(curve_->z);
      curve_->z = nullptr;
    }
    m->profile = curve_;
    m->step = step;
    m->tolerance = tol;
    m->candidateLength = 5;
    m->floorZ = -1000;
    m->ceilingZ = 1000;
    if (out_ == nullptr) out_ = pathListNew(100, 1);
  }
  // The height of an independent point drop at (x, y) onto all facets.
  static double pointDrop(const SurfaceModel& m, double x, double y) {
    dropSetTriModel(m.triangles, m.facetMin, m.facetMax, m.floorZ, m.ceilingZ, 0);
    Point3D p{x, y, m.floorZ};
    Point3D contact;
    int kind = 0;
    dropPointTris(&p, m.boxMax.z + m.cutter->radius, m.cutter, nullptr, 0, &contact, &kind);
    return p.z;
  }
  GuideCurve* curve_ = nullptr;
  PathList* out_ = nullptr;
};

}  // namespace

// On a flat model the samples lie at 0, tol, tol + step, ..., end - tol - 1e-5 and end - 1e-5,
// nothing is refined, and every height is the ball's centre height above the floor.
TEST_F(ProfileDropTest, FlatModelSampleParametersAreExact) {
  std::vector<Tri3D> t;
  addLevel(&t, -50, -50, 50, 50, 2);
  for (const bool grid : {false, true}) {
    TriModel tm(t, makeCutter(kCutterBall, 3, 3));
    if (grid) {
      ASSERT_EQ(modelBuildIndex(&tm.m), 1);
    }
    prepare(&tm.m, {0, 0, 0}, {6, 8, 0}, false, 1.0, 0.005);
    ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
    std::vector<double> want = {0, 0.005};
    for (int k = 1; k <= 9; ++k) want.push_back(0.005 + k);
    want.push_back(10 - 0.005 - 1e-5);
    want.push_back(10 - 1e-5);
    ASSERT_EQ(out_->count, static_cast<int>(want.size()));
    for (int i = 0; i < out_->count; ++i) {
      EXPECT_NEAR(out_->params[i], want[i], 1e-9) << i;
      EXPECT_DOUBLE_EQ(out_->positions[i].z, 5.0);
      EXPECT_EQ(out_->codes[i], 1 | (kSampleFacet << 8));
      EXPECT_EQ(out_->axisSet[i], 1);
    }
    EXPECT_NEAR(out_->positions[2].x, 1.005 * 0.6, 1e-12);
  }
}

// Along curved terrain every output point rests where an independent point drop at its plan
// position rests, parameters rise, and refinement added points between the coarse ones.
TEST_F(ProfileDropTest, EveryHeightEqualsAPointDrop) {
  const std::vector<Tri3D> t = qdtest::terrainMesh(30, 100);
  for (const CutterShape& cutter : {makeCutter(kCutterBall, 4, 4), makeCutter(kCutterFlat, 4, 0),
                                    makeCutter(kCutterTorus, 4, 1)}) {
    TriModel tm(t, cutter);
    ASSERT_EQ(modelBuildIndex(&tm.m), 1);
    prepare(&tm.m, {5, 10, 0}, {95, 80, 0}, false, 2.0, 0.01);
    ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
    const int coarse = static_cast<int>(std::ceil(std::hypot(90, 70) / 2.0)) + 2;
    EXPECT_GT(out_->count, coarse);
    for (int i = 0; i < out_->count; ++i) {
      if (i > 0) {
        EXPECT_GT(out_->params[i], out_->params[i - 1]);
      }
      const Point3D& p = out_->positions[i];
      ASSERT_DOUBLE_EQ(p.z, pointDrop(tm.m, p.x, p.y)) << cutter.type << " at " << i;
    }
  }
}

// At a vertical wall the heights jump; refinement splits the interval of the jump until its
// parameter gap is below the tolerance (plus 1e-5), whatever the cutter.
TEST_F(ProfileDropTest, RefinementClosesTheGapAtAWall) {
  for (const CutterShape& cutter : {makeCutter(kCutterFlat, 2, 0), makeCutter(kCutterBall, 2, 2)}) {
    for (const double tol : {0.01, 0.001}) {
      TriModel tm(wallMesh(), cutter);
      prepare(&tm.m, {0, 0, 0}, {10, 0, 0}, false, 1.0, tol);
      ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
      int jumps = 0;
      for (int i = 1; i < out_->count; ++i) {
        const double dz = std::fabs(out_->positions[i].z - out_->positions[i - 1].z);
        if (dz > 1.0) {
          ++jumps;
          EXPECT_LT(out_->params[i] - out_->params[i - 1], tol + 1e-5);
          // The wall is met where the cutter's edge reaches x = 5.
          EXPECT_NEAR(out_->positions[i].x, 5.0 - cutter.radius, tol + 1e-5);
        }
      }
      EXPECT_EQ(jumps,
                1);  // the ball too: its centre jumps from R to 10 when its rim meets the edge
      EXPECT_DOUBLE_EQ(out_->positions[out_->count - 1].z,
                       cutter.type == kCutterFlat ? 10.0 : 12.0);
    }
  }
}

// A tolerance of 0 stalled the walk at the end of the curve (the last step became 0) and let
// refinement split one interval forever; the walk now ends with the smallest step of 2e-5.
TEST_F(ProfileDropTest, ZeroToleranceEnds) {
  TriModel tm(wallMesh(), makeCutter(kCutterFlat, 2, 0));
  prepare(&tm.m, {0, 0, 0}, {10, 0, 0}, false, 1.0, 0.0);
  ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
  EXPECT_GT(out_->count, 11);
  EXPECT_LT(out_->count, 200);
}

// With a tolerance at or below the output list's same-place distance of 1e-5, the walk's last
// step of 1e-5 filed the end sample before its neighbour, and a split of a 2e-5 gap filed its
// middle before the lower end, so the interval never shrank and refinement inserted the same
// middle until memory ran out. Parameters must rise by more than 1e-5 and the drop must end.
TEST_F(ProfileDropTest, TinyToleranceKeepsParameterOrderAndEnds) {
  std::vector<Tri3D> t = wallMesh();
  int cases = 0;
  for (const double tol : {0.0, 1e-6, 1e-5, 1.5e-5}) {
    for (const double step : {1.0, 0.65536, 0.3, 0.04096}) {
      for (int e = 0; e < 12; ++e) {
        const double edge = 0.3 + e * 0.0123457;  // where the boundary interval ends
        TriModel tm(t, makeCutter(kCutterFlat, 2, 0));
        ASSERT_EQ(modelBuildIndex(&tm.m), 1);  // no candidate list: growing the list is the only
                                               // allocation of the drop
        pathListFree(out_);
        out_ = pathListNew(20000, 1);
        prepare(&tm.m, {0, 0, 0}, {4, 0, 0}, false, step, tol);
        Boundary* b = bndNewRect(0, 1, 0, 1);
        b->intervals = static_cast<BndInterval*>(memAllocZero(sizeof(BndInterval)));
        b->intervals[0] = {0, edge};
        b->intervalCount = 1;
        tm.m.boundary = b;
        tm.m.restrictToBoundary = 1;
        memTestFailAt(1);  // a run-away refinement fails its first growth instead of hanging
        const int r = dropAlongProfile(&tm.m, out_);
        memTestFailAt(0);
        tm.m.boundary = nullptr;
        bndFree(b);
        ASSERT_EQ(r, 1) << tol << " " << step << " " << edge;
        for (int i = 1; i < out_->count; ++i) {
          ASSERT_GT(out_->params[i] - out_->params[i - 1], 1e-5)
              << tol << " " << step << " " << edge << " at " << i;
        }
        for (int i = 0; i < out_->count; ++i) {
          if (pathListClass(out_, i) == kSampleGap) continue;
          const Point3D& p = out_->positions[i];
          ASSERT_DOUBLE_EQ(p.z, pointDrop(tm.m, p.x, p.y)) << i;
        }
        ++cases;
      }
    }
  }
  EXPECT_EQ(cases, 4 * 4 * 12);
}

// Probe mode: a curve whose heights lie above the model everywhere can be followed; one below
// it is blocked at the first sample.
TEST_F(ProfileDropTest, ProbeMode) {
  TriModel tm(wallMesh(), makeCutter(kCutterFlat, 2, 0));
  prepare(&tm.m, {0, 0, 20}, {10, 0, 20}, true, 1.0, 0.01);
  EXPECT_EQ(dropAlongProfile(&tm.m, nullptr), 1);
  prepare(&tm.m, {0, 0, 5}, {10, 0, 5}, true, 1.0, 0.01);
  EXPECT_EQ(dropAlongProfile(&tm.m, nullptr), 0);
  // With an output list, points below the curve's heights become gaps at the curve's height.
  prepare(&tm.m, {0, 0, 5}, {10, 0, 5}, true, 1.0, 0.01);
  ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
  EXPECT_DOUBLE_EQ(out_->positions[0].z, 5.0);
  EXPECT_EQ(pathListClass(out_, 0), kSampleGap);
  EXPECT_DOUBLE_EQ(out_->positions[out_->count - 1].z, 10.0);
  EXPECT_EQ(pathListClass(out_, out_->count - 1), kSampleFacet);
}

TEST_F(ProfileDropTest, RefinementAngleByTolerance) {
  const struct {
    double tol, tri, quad;
  } cases[] = {{0.02, 5, 5}, {0.002, 1, 1}, {0.0001, 0.5, 1}, {0.006, 3, 5}};
  std::vector<Tri3D> t;
  addLevel(&t, 0, 0, 10, 10, 0);
  std::vector<QuadFacet> q = {qdtest::quadOf({0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0})};
  for (const auto& c : cases) {
    TriModel tm(t, makeCutter(kCutterBall, 1, 1));
    prepare(&tm.m, {1, 1, 0}, {2, 1, 0}, false, 1.0, c.tol);
    dropAlongProfile(&tm.m, nullptr);
    EXPECT_NEAR(dropRefineAngleTris(), c.tri, 1e-12) << c.tol;
    QuadModel qm(q, makeCutter(kCutterBall, 1, 1));
    prepare(&qm.m, {1, 1, 0}, {2, 1, 0}, false, 1.0, c.tol);
    dropAlongProfileQuads(&qm.m, nullptr);
    EXPECT_NEAR(dropRefineAngleQuads(), c.quad, 1e-12) << c.tol;
  }
}

// A quad drop with tolerance 0.005 and R = 10 lowers the model's step to sqrt(0.8) for its rules
// and for later drops; the walk of the call keeps the step it started with.
TEST_F(ProfileDropTest, QuadDropLowersTheStep) {
  std::vector<QuadFacet> q = {
      qdtest::quadOf({-50, -50, 0}, {50, -50, 0}, {50, 50, 0}, {-50, 50, 0})};
  QuadModel qm(q, makeCutter(kCutterBall, 10, 3));
  prepare(&qm.m, {0, 0, 0}, {10, 0, 0}, false, 1.0, 0.005);
  ASSERT_EQ(dropAlongProfileQuads(&qm.m, out_), 1);
  EXPECT_NEAR(qm.m.step, std::sqrt(0.8), 1e-12);
  EXPECT_DOUBLE_EQ(qm.m.cutter->cornerRadius, 10.0);
  EXPECT_EQ(out_->count, 13);
  EXPECT_NEAR(out_->params[2], 1.005, 1e-12);
  for (int i = 0; i < out_->count; ++i) EXPECT_DOUBLE_EQ(out_->positions[i].z, 10.0);
}

// Short boundary intervals get a middle sample; the sample parameters outside every interval
// are gaps when the drop is restricted to the boundary.
TEST_F(ProfileDropTest, BoundaryIntervals) {
  std::vector<Tri3D> t;
  addLevel(&t, -50, -50, 50, 50, 0);
  TriModel tm(t, makeCutter(kCutterBall, 1, 1));
  prepare(&tm.m, {0, 0, 0}, {10, 0, 0}, false, 2.0, 0.01);
  Boundary* b = bndNewRect(0, 1, 0, 1);
  b->intervals = static_cast<BndInterval*>(memAllocZero(2 * sizeof(BndInterval)));
  b->intervals[0] = {0, 4.5};
  b->intervals[1] = {6.2, 6.6};
  b->intervalCount = 2;
  tm.m.boundary = b;
  tm.m.restrictToBoundary = 1;
  ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
  EXPECT_GE(dropFindParam(out_, 6.4, 1e-9), 0);
  for (int i = 0; i < out_->count; ++i) {
    const bool inside = bndParamInside(b, out_->params[i]) == 1;
    EXPECT_EQ(pathListClass(out_, i) == kSampleGap, !inside) << out_->params[i];
  }
  // The gap borders were refined down to the tolerance.
  for (int i = 1; i < out_->count; ++i) {
    if (pathListClassDiffers(out_, i - 1, i) == 1) {
      EXPECT_LT(out_->params[i] - out_->params[i - 1], 0.01 + 1e-5);
    }
  }
  bndFree(b);
}

// Without a grid every sample drops onto a candidate list built along the curve. The list was
// built along the span of the boundary's intervals even when the drop is not restricted to them,
// so samples beyond that span missed the block there and rested on the floor, inside the block.
TEST_F(ProfileDropTest, CandidatesCoverEverySampleOutsideTheIntervals) {
  std::vector<Tri3D> t;
  addLevel(&t, -20, -20, 30, 20, 0);
  addLevel(&t, 6, -20, 8, 20, 5);  // a block top; the tool rests on it wherever it reaches it
  std::vector<QuadFacet> q;
  for (const Tri3D& f : t) q.push_back(qdtest::quadOf(f.v[0], f.v[1], f.v[2], f.v[2]));
  // An independent drop of a quad model's cutter at (x, y) onto all its facets.
  const auto quadDrop = [](const SurfaceModel& m, double x, double y) {
    dropSetQuadModel(m.quads, m.quadCount, m.facetMin, m.facetMax, m.floorZ, m.ceilingZ, 0);
    Point3D p{x, y, m.floorZ};
    Point3D contact;
    int kind = 0;
    dropPointQuads(&p, m.boxMax.z + m.cutter->radius, m.cutter, nullptr, 0, &contact, &kind);
    return p.z;
  };
  for (const bool quads : {false, true}) {
    for (const int restrict : {0, 1}) {
      TriModel tm(t, makeCutter(kCutterFlat, 1, 0));
      QuadModel qm(q, makeCutter(kCutterFlat, 1, 0));
      SurfaceModel* m = quads ? &qm.m : &tm.m;
      prepare(m, {0, 0, 0}, {10, 0, 0}, false, 1.0, 0.01);
      Boundary* b = bndNewRect(0, 1, 0, 1);
      b->intervals = static_cast<BndInterval*>(memAllocZero(sizeof(BndInterval)));
      b->intervals[0] = {0, 2};
      b->intervalCount = 1;
      m->boundary = b;
      m->restrictToBoundary = restrict;
      ASSERT_EQ(quads ? dropAlongProfileQuads(m, out_) : dropAlongProfile(m, out_), 1);
      m->boundary = nullptr;
      bndFree(b);
      int onBlock = 0;
      for (int i = 0; i < out_->count; ++i) {
        if (pathListClass(out_, i) == kSampleGap) continue;
        const Point3D& p = out_->positions[i];
        ASSERT_DOUBLE_EQ(p.z, quads ? quadDrop(*m, p.x, p.y) : pointDrop(*m, p.x, p.y))
            << quads << restrict << " at x " << p.x;
        if (p.z == 5.0) ++onBlock;
      }
      EXPECT_EQ(onBlock > 0, restrict == 0) << quads;
    }
  }
}

// A ball resting on a plane that falls across the curve touches it along the plane's normal, so
// the slope value is the cosine of the plane's tilt. Slope mode 2 stops the drop at the first
// sample below the limit; mode 1 runs to the end and stores 0.9 times the smallest value.
TEST_F(ProfileDropTest, SlopeStopAndRecord) {
  const double c = 0.3;                       // cosine of the tilt
  const double k = std::sqrt(1 - c * c) / c;  // dz / dy of the plane
  std::vector<Tri3D> t;
  t.push_back(Tri3D{{{-20, -5, -5 * k}, {20, -5, -5 * k}, {20, 5, 5 * k}}});
  t.push_back(Tri3D{{{-20, -5, -5 * k}, {20, 5, 5 * k}, {-20, 5, 5 * k}}});
  const struct {
    int mode;
    double minSlope;
    int result;
    double storedMinSlope;
  } cases[] = {{2, 0.5, 0, 0.5}, {2, 0.2, 1, 0.9 * c}, {1, 0.5, 1, 0.9 * c}, {0, 0.5, 1, 0.5}};
  for (const auto& cs : cases) {
    TriModel tm(t, makeCutter(kCutterBall, 1, 1));
    prepare(&tm.m, {0, 0, 0}, {10, 0, 0}, false, 1.0, 0.01);
    tm.m.slopeMode = cs.mode;
    tm.m.minSlope = cs.minSlope;
    EXPECT_EQ(dropAlongProfile(&tm.m, out_), cs.result) << cs.mode << " " << cs.minSlope;
    EXPECT_NEAR(tm.m.minSlope, cs.storedMinSlope, 1e-9) << cs.mode << " " << cs.minSlope;
    if (cs.result == 0) {
      EXPECT_EQ(out_->count, 1);  // stopped at the first sample, after inserting it
    }
  }
}

// ---- the sample ----------------------------------------------------------------------------

TEST_F(ProfileDropTest, SampleRestrictions) {
  std::vector<Tri3D> t;
  addLevel(&t, 0, 0, 10, 10, 3);
  TriModel tm(t, makeCutter(kCutterFlat, 1, 0));
  prepare(&tm.m, {2, 5, 5}, {8, 5, 5}, true, 1.0, 0.01);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -1000, 1000, 0);
  ProfileSample sp{};
  const auto sample = [&](double x, double y, double g) {
    sp = ProfileSample{};
    sp.x = x;
    sp.y = y;
    sp.curveZ = g;
    sp.s = x - 2;
    return dropProfilePoint(&sp, &tm.m);
  };
  // Resting at 3 below a curve height of 5: lifted to 5 as a gap.
  EXPECT_EQ(sample(5, 5, 5), 0);
  EXPECT_DOUBLE_EQ(sp.position.z, 5.0);
  EXPECT_EQ(sp.state, kSampleGap);
  EXPECT_EQ(sp.valid, 0);
  // Resting at 3 above a curve height of 1: kept.
  EXPECT_EQ(sample(5, 5, 1), 1);
  EXPECT_DOUBLE_EQ(sp.position.z, 3.0);
  EXPECT_EQ(sp.state, kSampleFacet);
  // No facet under the point, miss report off then on.
  curve_->z[0] = curve_->z[1] = -1000;
  EXPECT_EQ(sample(50, 50, -1000), 1);
  EXPECT_EQ(sp.hit, 0);
  EXPECT_EQ(sp.valid, 0);
  EXPECT_DOUBLE_EQ(sp.position.z, -1000.0);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -1000, 1000, 1);
  EXPECT_EQ(sample(50, 50, -1000), 1);
  EXPECT_EQ(sp.hit, 1);
  EXPECT_EQ(sp.valid, 1);
  // Above the ceiling: a gap, result 1.
  tm.m.ceilingZ = 2;
  EXPECT_EQ(sample(5, 5, -1000), 1);
  EXPECT_EQ(sp.state, kSampleGap);
  EXPECT_EQ(sp.valid, 0);
  tm.m.ceilingZ = 1000;
  // Outside every boundary interval when restricted: excluded without a drop.
  Boundary* b = bndNewRect(0, 10, 0, 10);
  tm.m.boundary = b;
  tm.m.restrictToBoundary = 1;
  EXPECT_EQ(sample(5, 5, -1000), 0);
  EXPECT_EQ(sp.state, kSampleGap);
  tm.m.restrictToBoundary = 0;
  // Footprint: the flat end mill's contact equals its position on a level facet, so the curve
  // points at s +- R and the side points must lie inside the boundary.
  tm.m.boundaryCheck = 1;
  EXPECT_EQ(sample(5, 5, -1000), 1);
  EXPECT_EQ(sample(5, 9.5, -1000), 3);
  EXPECT_EQ(sp.state, kSampleOutside);
  bndFree(b);
}

// The tool override drops another cutter than the model's.
TEST_F(ProfileDropTest, ToolOverride) {
  std::vector<Tri3D> t;
  addLevel(&t, 0, 0, 10, 10, 0);
  TriModel tm(t, makeCutter(kCutterBall, 1, 1));
  prepare(&tm.m, {2, 5, 0}, {8, 5, 0}, false, 1.0, 0.01);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -1000, 1000, 0);
  const CutterShape big = makeCutter(kCutterBall, 4, 4);
  dropSetToolOverride(1, &big);
  ProfileSample sp{};
  sp.x = 5;
  sp.y = 5;
  EXPECT_EQ(dropProfilePoint(&sp, &tm.m), 1);
  EXPECT_DOUBLE_EQ(sp.position.z, 4.0);
  CutterShape got{};
  EXPECT_EQ(dropGetToolOverride(&got), 1);
  EXPECT_DOUBLE_EQ(got.radius, 4.0);
  dropSetToolOverride(0, nullptr);
  EXPECT_EQ(dropProfilePoint(&sp, &tm.m), 1);
  EXPECT_DOUBLE_EQ(sp.position.z, 1.0);
}

TEST_F(ProfileDropTest, CornersSlopeAndFindParam) {
  const Point2D pts[4] = {{0, 0}, {10, 0}, {20, 1}, {20, 10}};
  GuideCurve* c = guideNew(pts, 4, 'p');
  EXPECT_EQ(dropProfileIsCorner(0, c), 1);
  EXPECT_EQ(dropProfileIsCorner(1, c), 0);  // turns by less than acos(0.985)
  EXPECT_EQ(dropProfileIsCorner(2, c), 1);
  EXPECT_EQ(dropProfileIsCorner(3, c), 1);
  double slope = 0;
  // Contact straight below: 1; at 45 degrees across the curve: sqrt(1/2).
  ASSERT_EQ(dropProfileSlope(c, 5, {5, 0, 5}, {5, 0, 2}, &slope), 1);
  EXPECT_DOUBLE_EQ(slope, 1.0);
  ASSERT_EQ(dropProfileSlope(c, 5, {5, 0, 5}, {5, 2, 3}, &slope), 1);
  EXPECT_NEAR(slope, std::sqrt(0.5), 1e-12);
  EXPECT_EQ(dropProfileSlope(c, 5, {5, 0, 5}, {6, 0, 5}, &slope), 0);
  guideFree(c);
  PathList* l = pathListNew(10, 0);
  for (const double x : {0.0, 1.0, 2.0, 3.0}) pathListInsert(l, x, Point3D{x, 0, 0}, 1, nullptr, 0);
  EXPECT_EQ(dropFindParam(l, 2.004, 0.005), 2);
  EXPECT_EQ(dropFindParam(l, 1.5, 0.1), -1);
  EXPECT_EQ(dropFindParam(l, 9, 0.1), -1);
  // A break lies between points of different classes.
  pathListSetClass(l, 2, kPathClassGap);
  EXPECT_EQ(dropIsBreakBefore(l, 1), 0);
  EXPECT_EQ(dropIsBreakBefore(l, 2), 1);
  EXPECT_EQ(dropIsBreakBefore(l, 3), 1);
  pathListFree(l);
}

// The vertex samples put a point at every corner of the curve; switched off, the corner of a
// polyline whose corner lies between two regular samples gets none.
TEST_F(ProfileDropTest, VertexSamplesAtCurveCorners) {
  std::vector<Tri3D> t;
  addLevel(&t, -50, -50, 50, 50, 2);
  TriModel tm(t, makeCutter(kCutterBall, 3, 3));
  const Point2D pts[3] = {{0, 0}, {10.5, 0}, {10.5, 10}};
  for (const int on : {1, 0}) {
    dropSetProfileVertices(on);
    guideFree(curve_);
    curve_ = guideNew(pts, 3, 'p');
    tm.m.profile = curve_;
    tm.m.step = 1.0;
    tm.m.tolerance = 0.005;
    tm.m.candidateLength = 5;
    tm.m.floorZ = -1000;
    tm.m.ceilingZ = 1000;
    pathListFree(out_);
    out_ = pathListNew(100, 1);
    ASSERT_EQ(dropAlongProfile(&tm.m, out_), 1);
    EXPECT_EQ(dropFindParam(out_, 10.5, 1e-9) >= 0, on == 1) << "vertex samples " << on;
  }
  dropSetProfileVertices(1);
}

// The reduced-allowance check re-drops with the allowance reduced by r. Off, it never acts. On, a
// ball over a floor rests lower by r only (less than 2r): kept; beside the model it touches
// nothing and takes the start height of the re-drop.
TEST_F(ProfileDropTest, ReducedAllowanceCheck) {
  std::vector<Tri3D> t;
  addLevel(&t, -50, -50, 50, 50, 2);
  TriModel tm(t, makeCutter(kCutterBall, 3, 3));
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -1000, 1000, 0);
  Point3D over{0, 0, 5};
  EXPECT_EQ(dropReducedAllowanceCheck(&over, &tm.m, 100, -1000, 100, nullptr, 0), 0) << "off";
  dropSetReducedAllowance(0.5);
  EXPECT_EQ(dropReducedAllowanceCheck(&over, &tm.m, 100, -1000, 100, nullptr, 0), 0);
  EXPECT_EQ(over.z, 5.0);
  Point3D beside{200, 0, 5};
  EXPECT_EQ(dropReducedAllowanceCheck(&beside, &tm.m, 100, -1000, 100, nullptr, 0), 1);
  EXPECT_EQ(beside.z, -1000.0);
  dropSetReducedAllowance(0.0);
  EXPECT_EQ(dropReducedAllowanceCheck(&beside, &tm.m, 100, -2000, 100, nullptr, 0), 0)
      << "off again";
}
