// Tests of the holder and head collision model: sector counts and revolved bodies against the
// surface they approximate, facet bodies that hold every facet once in grid order, the simple and
// the full build (profile and mesh files, tool check data, failures that keep nothing), and the
// state that must not outlive a model or a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/test_xchg_support.h"
#include "geometry/cont_file.h"
#include "geometry/geo_error.h"
#include "geometry/msg_capture.h"
#include "model/holder_model.h"
#include "model_fixture.h"
#include "support/temp_dir.h"
#include "test_stl_writers.h"

namespace {

using FTri = std::array<float, 9>;

FTri ftri(const Tri3D& t) {
  FTri f;
  for (int k = 0; k < 3; ++k) {
    f[3 * k] = static_cast<float>(t.v[k].x);
    f[3 * k + 1] = static_cast<float>(t.v[k].y);
    f[3 * k + 2] = static_cast<float>(t.v[k].z);
  }
  return f;
}

std::vector<FTri> trisOf(const TriFList* l) {
  std::vector<FTri> out;
  for (int i = 0; i < l->count; ++i) {
    FTri f;
    std::copy(l->items[i].v, l->items[i].v + 9, f.begin());
    out.push_back(f);
  }
  return out;
}

std::vector<FTri> sorted(std::vector<FTri> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Distance from (r, z) to the segment.
double distToSeg(double r, double z, const ProfileSegment& s) {
  const double dr = s.r2 - s.r1, dz = s.z2 - s.z1, l2 = dr * dr + dz * dz;
  double t = l2 > 0 ? ((r - s.r1) * dr + (z - s.z1) * dz) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(r - (s.r1 + t * dr), z - (s.z1 + t * dz));
}

using Prof = qdtest::Owned<ToolProfile, profileFree>;
using Body = qdtest::Owned<TriFList, lstTriFFree>;

// A ball of R 5 on a shank: free length 40, neck 12, shank band 20 from 50 to 80, holder 30 to
// 90 and 40 wide up to 120.
ToolAssembly knownTool() {
  const CutterShape ball = qdtest::makeCutter(kCutterBall, 5, 5);
  ToolAssembly a;
  toolAssemblySetNoClearance(1);
  toolAssemblyInit(&a, &ball, 0.0, 30, 10, 45, 20, 12);
  toolAssemblySetHolder(&a, 0.0, 30, 10, 40, 30);
  toolAssemblyResetState();
  return a;
}

// A small terrain part with its grid, under a ball of radius 5.
struct Part {
  qdtest::TriModel model;
  Part() : model(qdtest::terrainMesh(12, 60), qdtest::makeCutter(kCutterBall, 5, 5)) {
    model.m.tolerance = 0.02;
    modelBuildIndex(&model.m);
  }
};

bool modelIsEmptied() {
  const HolderCollisionModel* m = holderModel();
  return m->partBody == nullptr && m->holderBody == nullptr && m->headBody == nullptr &&
         m->extensionBody == nullptr && m->holderMeshBody == nullptr &&
         m->headMeshBody == nullptr && m->extensionObstacleBody == nullptr &&
         m->partObject == nullptr && m->holderObject == nullptr && m->headObject == nullptr &&
         m->extensionObject == nullptr && m->holderMeshObject == nullptr &&
         m->headMeshObject == nullptr && m->extensionObstacleObject == nullptr &&
         m->pairs == nullptr && m->modelCopy == nullptr && m->holderGrid == nullptr;
}

std::string profileFile(const std::string& holderBody, const std::string& headBody) {
  std::string s = xchgtest::header();
  if (!holderBody.empty()) s += "oContour[Holder]( )\n{\n" + holderBody + "}\n";
  if (!headBody.empty()) s += "oContour[Head]( )\n{\n" + headBody + "}\n";
  return s;
}

class HolderModelTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    holderResetState();
    toolAssemblyResetState();
    contFileResetState();
    geoResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    holderResetState();
  }
};

}  // namespace

TEST_F(HolderModelTest, SectorCounts) {
  struct Case {
    double r, tol;
    int sectors;
  };
  const Case cases[] = {
      {1, 1, 3},         // (r - tol) / r = 0: a quarter turn per half sector
      {1, 2, 2},         // clamped to -1
      {1, 5, 2},         // far beyond the radius
      {1, 0.4, 4},       // pi / acos(0.6) = 3.39
      {10, 0.01, 71},    // pi / acos(0.999) = 70.24
      {0, 0.01, 2},      // on the axis
      {1e-13, 0, 2},     // on the axis, tolerance 0
      {-3, 0.01, 2},     // behind the axis
      {5, 0, 720},       // tolerance 0: the finest division, not a division by zero
      {5, 1e-300, 720},  // as fine as 0
      {5, -1, 720},      // a negative tolerance too
      {1e300, 1e-300, 720},
  };
  for (const Case& c : cases)
    EXPECT_EQ(holderSectorCount(c.r, c.tol), c.sectors) << c.r << " " << c.tol;
  // Below the cap the count is the least whose chord sag r (1 - cos(pi / m)) stays within tol.
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 20000; ++trial) {
    const double r = std::pow(10.0, 6 * u(rng) - 3), tol = r * std::pow(10.0, -6 * u(rng));
    const int m = holderSectorCount(r, tol);
    ASSERT_GE(m, 2);
    ASSERT_LE(m, 720);
    if (m == 720 || m == 2) continue;
    EXPECT_LE(r * (1 - std::cos(std::numbers::pi / m)), tol * (1 + 1e-12)) << r << " " << tol;
    EXPECT_GE(r * (1 - std::cos(std::numbers::pi / (m - 1))), tol * (1 - 1e-12)) << r << " " << tol;
  }
}

// Every vertex lies on the surface of revolution of its segment (to the f32 rounding of the
// stored corners), every edge midpoint within the segment's chord tolerance of it, and each
// segment's last sector closes exactly on its first.
TEST_F(HolderModelTest, RevolvedBodyLiesOnItsSurface) {
  holderSetExtension(0, 0, 0.004);
  const ToolAssembly a = knownTool();
  Prof p(profileFromShank(&a));
  ASSERT_EQ(profileAppendSegment(p.p, ProfileSegment{10, 80, 3, 95}, kProfileExtension), 1);
  ASSERT_EQ(profileAppendSegment(p.p, ProfileSegment{3, 95, 0, 95}, kProfileShank), 1);
  const double tol = 0.05;
  Body body(holderRevolveProfile(p.p, tol));
  ASSERT_NE(body.p, nullptr);
  int at = 0;
  for (int i = 0; i < p.p->count; ++i) {
    const ProfileSegment& s = p.p->segments[i];
    const double t = p.p->types[i] == kProfileExtension ? 0.004 : tol;
    const int m = holderSectorCount(std::max(s.r1, s.r2), t);
    ASSERT_LE(at + 2 * m, body.p->count);
    const double slack =
        4 * FLT_EPSILON *
        (std::max(std::fabs(s.r1), std::fabs(s.r2)) + std::max(std::fabs(s.z1), std::fabs(s.z2)));
    for (int k = 0; k < 2 * m; ++k) {
      const TriF& f = body.p->items[at + k];
      double v[3][3];
      for (int c = 0; c < 9; ++c) v[c / 3][c % 3] = f.v[c];
      for (int c = 0; c < 3; ++c) {
        ASSERT_LE(distToSeg(std::hypot(v[c][0], v[c][1]), v[c][2], s), slack) << i << " " << k;
        const double* w = v[(c + 1) % 3];
        const double mid[3] = {(v[c][0] + w[0]) / 2, (v[c][1] + w[1]) / 2, (v[c][2] + w[2]) / 2};
        ASSERT_LE(distToSeg(std::hypot(mid[0], mid[1]), mid[2], s), t + slack) << i << " " << k;
      }
    }
    // (P, Q, P') of the first sector and (P', Q, Q') of the last: P' of the last is P.
    const TriF& first = body.p->items[at];
    const TriF& last = body.p->items[at + 2 * m - 1];
    EXPECT_TRUE(std::equal(first.v, first.v + 3, last.v)) << i;
    EXPECT_EQ(first.v[1], 0.0f) << i;
    at += 2 * m;
  }
  EXPECT_EQ(at, body.p->count);

  // A profile whose heights span less than 0.00001 gives an empty body.
  Prof flat(profileNew(3));
  profileAppendSegment(flat.p, ProfileSegment{0, 10, 5, 10.000001}, 1);
  Body none(holderRevolveProfile(flat.p, 0.1));
  ASSERT_NE(none.p, nullptr);
  EXPECT_EQ(none.p->count, 0);
  EXPECT_EQ(holderRevolveProfile(nullptr, 0.1), nullptr);
}

// Facet bodies hold every facet once, a four-corner facet as (a, b, c) and (a, c, d), the
// model's own facets first in the order of its grid cells, then each sub-model's.
TEST_F(HolderModelTest, FacetBodiesInGridOrder) {
  Part part;
  const SurfaceModel& m = part.model.m;
  ASSERT_NE(m.grid, nullptr);
  Body body(holderModelBody(&m));
  ASSERT_NE(body.p, nullptr);
  std::vector<FTri> want;
  for (int i = 0; i < m.triangles->count; ++i) want.push_back(ftri(m.triangles->items[i]));
  EXPECT_EQ(sorted(trisOf(body.p)), sorted(want));
  // The first cell that lists a facet gives the first triangle.
  int first = -1;
  for (int c = 0; c < m.grid->rows * m.grid->columns && first < 0; ++c) {
    if (m.grid->cells[c].count > 0) first = m.grid->cells[c].indices[0];
  }
  ASSERT_GE(first, 0);
  EXPECT_EQ(trisOf(body.p)[0], ftri(m.triangles->items[first]));

  // Four-corner facets without a grid, in list order.
  const Point3D a{0, 0, 0}, b{1, 0, 0}, c{1, 1, 1}, d{0, 1, 0};
  std::vector<QuadFacet> quads = {qdtest::quadOf(a, b, c, d), qdtest::quadOf(d, c, b, a)};
  Body qb(lstTriFNew(4));
  ASSERT_EQ(holderQuadsToBody(qb.p, quads.data(), 2, nullptr), 1);
  const std::vector<FTri> got = trisOf(qb.p);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], ftri(Tri3D{{a, b, c}}));
  EXPECT_EQ(got[1], ftri(Tri3D{{a, c, d}}));
  EXPECT_EQ(got[3], ftri(Tri3D{{d, b, a}}));
}

TEST_F(HolderModelTest, SimpleBuild) {
  Part part;
  const ToolAssembly a = knownTool();
  ASSERT_EQ(holderBuildFromTool(&part.model.m, &a, 0.1, 0.5), 1);
  const HolderCollisionModel* m = holderModel();
  EXPECT_EQ(m->partBody->count, part.model.m.triangles->count);
  ASSERT_NE(m->partObject, nullptr);
  ASSERT_NE(m->holderObject, nullptr);
  ASSERT_NE(m->headObject, nullptr);
  ASSERT_NE(m->pairs, nullptr);
  EXPECT_EQ(m->extensionBody, nullptr);
  EXPECT_EQ(holderUseCollisionModel(), 1);
  EXPECT_EQ(m->maxTilt, 0.5);
  EXPECT_EQ(m->clearanceAngle, a.clearanceAngle);
  double length = 0, radius = 0;
  holderGetEnvelopeSize(&length, &radius);
  EXPECT_EQ(radius, 20);
  EXPECT_EQ(length, 120);
  // The shank body starts at the free length.
  float lowest = FLT_MAX;
  for (const FTri& t : trisOf(m->holderBody)) lowest = std::min({lowest, t[2], t[5], t[8]});
  EXPECT_EQ(lowest, static_cast<float>(a.freeLength));

  // With the extension the holder body reaches down to the cutter's top, z = R.
  holderSetExtension(1, 8, 0.01);
  ASSERT_EQ(holderBuildFromTool(&part.model.m, &a, 0.1, 0.5), 1);
  Prof folded(profileAddExtension(profileFromShank(&a), &a, 8));
  Body expected(holderRevolveProfile(folded.p, 0.1));
  EXPECT_EQ(sorted(trisOf(holderModel()->holderBody)), sorted(trisOf(expected.p)));
  EXPECT_EQ(holderModel()->extensionBody, nullptr);

  holderFreeCollisionModel();
  EXPECT_TRUE(modelIsEmptied());
  EXPECT_EQ(holderUseCollisionModel(), 0);
  EXPECT_EQ(holderBuildFromTool(nullptr, &a, 0.1, 0.5), -1);
}

TEST_F(HolderModelTest, FullBuildFromTheAssembly) {
  Part part;
  ToolAssembly a = knownTool();
  holderSetMaxTilt(0.3);
  ASSERT_EQ(holderBuildModel(&part.model.m, &a, 0.0, "", nullptr, "", nullptr, 1.0, 2.0), 1);
  const HolderCollisionModel* m = holderModel();
  EXPECT_EQ(m->partBody, nullptr);
  EXPECT_EQ(m->holderMeshBody, nullptr);
  ASSERT_NE(m->holderObject, nullptr);
  ASSERT_NE(m->headObject, nullptr);
  // Tool check data: the copy's cutter is smaller by the model's tolerance.
  ASSERT_NE(m->modelCopy, nullptr);
  EXPECT_DOUBLE_EQ(m->modelCopy->cutter->radius, 5 - 0.02);
  EXPECT_EQ(part.model.m.cutter->radius, 5);
  ASSERT_NE(m->holderGrid, nullptr);
  EXPECT_EQ(m->reach, a.freeLength);
  // The holder body is the shank grown by clearance + 1.2 e (e = clearance / 2): its widest
  // vertex lies at 10 + 1.6 beside the shank band, at most.
  float widest = 0;
  for (const FTri& t : trisOf(m->holderBody)) {
    for (int k = 0; k < 3; ++k) widest = std::max(widest, std::hypot(t[3 * k], t[3 * k + 1]));
  }
  EXPECT_NEAR(widest, 10 + 1.0 + 1.2 * 0.5, 1e-4);
  double length = 0, radius = 0;
  holderGetEnvelopeSize(&length, &radius);
  EXPECT_NEAR(radius, 20 + 2.0 + 1.2 * 1.0, 1e-9);  // the head: holder + its clearance
  EXPECT_GE(m->clearanceAngle, a.clearanceAngle);

  // A tapered cutter gets its taper cone.
  part.model.m.cutter->tapered = 1;
  part.model.m.cutter->taperAngle = 10;
  part.model.m.cutter->taperLength = 12;
  ASSERT_EQ(holderBuildModel(&part.model.m, &a, 0.0, "", "", "", "", 1.0, 2.0), 1);
  const double alpha = 10 * std::numbers::pi / 180, k = 5 - 0.02;
  EXPECT_DOUBLE_EQ(m->taperH0, -k * std::sin(alpha));
  EXPECT_DOUBLE_EQ(m->taperR0, k * std::cos(alpha) + (5 - k));
  EXPECT_DOUBLE_EQ(m->taperH1, 12);
  EXPECT_DOUBLE_EQ(m->taperR1, std::tan(alpha) * (12 - m->taperH0) + m->taperR0);

  // With the extension: its own body and the part as its obstacle, no tool check data.
  holderSetExtension(1, 0, 0.01);
  part.model.m.cutter->tapered = 0;
  ASSERT_EQ(holderBuildModel(&part.model.m, &a, 0.0, "", "", "", "", 1.0, 2.0), 1);
  ASSERT_NE(m->extensionObject, nullptr);
  ASSERT_NE(m->extensionObstacleObject, nullptr);
  EXPECT_EQ(m->extensionObstacleBody->count, part.model.m.triangles->count);
  EXPECT_EQ(m->modelCopy, nullptr);
  EXPECT_EQ(m->holderGrid, nullptr);
}

TEST_F(HolderModelTest, FullBuildFromFiles) {
  Part part;
  const ToolAssembly a = knownTool();
  // A wide holder and a narrow head above it.
  qdtest::writeFile("tool.qdx", profileFile("  oL( x[6/30] y[0/0] )\n  oL( x[/30] y[/20] )\n",
                                            "  oL( x[4/10] y[0/0] )\n  oL( x[/10] y[/50] )\n"));
  qdtest::writeFile("headonly.qdx",
                    profileFile("", "  oL( x[4/10] y[0/0] )\n  oL( x[/10] y[/50] )\n"));
  const std::vector<Tri3D> meshTris = qdtest::terrainMesh(4, 12);
  qdtest::writeFile("mesh.stl", qdtest::asciiStl(meshTris));

  ASSERT_EQ(holderBuildModel(&part.model.m, &a, 0.0, "mesh.stl", "mesh.stl", "tool.qdx", "tool.qdx",
                             1.0, 1.0),
            1);
  const HolderCollisionModel* m = holderModel();
  ASSERT_NE(m->holderMeshBody, nullptr);
  EXPECT_EQ(m->holderMeshBody->count, static_cast<int>(meshTris.size()));
  EXPECT_EQ(m->holderMeshBody->xmax, 12.0f);
  EXPECT_EQ(m->holderMeshBody->ymin, 0.0f);
  ASSERT_NE(m->holderMeshObject, nullptr);
  ASSERT_NE(m->headMeshObject, nullptr);
  // The holder profile starts at the free length; the head at the holder profile's top.
  float holderLow = FLT_MAX, headLow = FLT_MAX;
  for (const FTri& t : trisOf(m->holderBody)) holderLow = std::min({holderLow, t[2], t[5], t[8]});
  for (const FTri& t : trisOf(m->headBody)) headLow = std::min({headLow, t[2], t[5], t[8]});
  EXPECT_NEAR(holderLow, a.freeLength - 1.6, 1e-4);  // offset down by 1 + 1.2 x 0.5
  EXPECT_NEAR(headLow, a.freeLength + 20 - 1.6, 1e-4);
  // The envelope keeps the wide holder although the narrower head is built after it.
  double length = 0, radius = 0;
  holderGetEnvelopeSize(&length, &radius);
  EXPECT_NEAR(radius, 30 + 1.6, 1e-9);
  EXPECT_NEAR(length, a.freeLength + 70 + 1.6, 1e-9);

  // A readable file without "Holder": no holder body, no message, the rest is built.
  {
    qdtest::MessageCapture capture;
    ASSERT_EQ(
        holderBuildModel(&part.model.m, &a, 0.0, "", "", "headonly.qdx", "headonly.qdx", 1.0, 1.0),
        1);
    EXPECT_EQ(m->holderBody, nullptr);
    EXPECT_EQ(m->holderObject, nullptr);
    ASSERT_NE(m->headObject, nullptr);
    EXPECT_TRUE(qdtest::capturedMessages().empty());
  }
}

// A misspelt profile or mesh file name switched the holder check off without a word: the build
// now fails with a message that names the file, and keeps nothing.
TEST_F(HolderModelTest, UnreadableFilesFailTheBuild) {
  Part part;
  const ToolAssembly a = knownTool();
  qdtest::writeFile("tool.qdx", profileFile("  oL( x[6/30] y[0/0] )\n", ""));
  struct Case {
    const char *holderMesh, *headMesh, *holderProfile, *headProfile, *named;
  };
  const Case cases[] = {
      {"", "", "Tool.qdx", "", "Tool.qdx"},
      {"", "", "tool.qdx", "nohead.qdx", "nohead.qdx"},
      {"nomesh.stl", "", "", "", "nomesh.stl"},
      {"", "nohead.3df", "", "", "nohead.3df"},
  };
  for (const Case& c : cases) {
    qdtest::MessageCapture capture;
    EXPECT_EQ(holderBuildModel(&part.model.m, &a, 0.0, c.holderMesh, c.headMesh, c.holderProfile,
                               c.headProfile, 1.0, 1.0),
              -1)
        << c.named;
    EXPECT_TRUE(modelIsEmptied()) << c.named;
    EXPECT_EQ(holderUseCollisionModel(), 0) << c.named;
    bool named = false;
    for (const std::string& t : qdtest::capturedMessages()) {
      if (t.rfind("1107,", 0) == 0 && t.find(c.named) != std::string::npos) named = true;
    }
    EXPECT_TRUE(named) << c.named;
  }
}

// A holder profile whose offset fails: message 6054, the build completes and answers -1.
TEST_F(HolderModelTest, FailedHolderOffsetCompletesWithFailure) {
  Part part;
  const ToolAssembly a = knownTool();
  qdtest::MessageCapture capture;
  EXPECT_EQ(holderBuildModel(&part.model.m, &a, 0.0, "", "", "", "", -100.0, 1.0), -1);
  EXPECT_TRUE(qdtest::MessageCapture::sent(kHolderMsgOffset));
  ASSERT_NE(holderModel()->holderObject, nullptr);
  ASSERT_NE(holderModel()->headObject, nullptr);
  EXPECT_EQ(holderUseCollisionModel(), 1);
}

// Memory running out at any step of either build gives -1 and keeps nothing (LeakSanitizer
// checks that nothing is lost).
TEST_F(HolderModelTest, AllocationFailuresKeepNothing) {
  qdtest::TriModel small(qdtest::terrainMesh(3, 30), qdtest::makeCutter(kCutterBall, 5, 5));
  modelBuildIndex(&small.m);
  const ToolAssembly a = knownTool();
  qdtest::writeFile("tool.qdx", profileFile("  oL( x[6/30] y[0/0] )\n  oL( x[/30] y[/20] )\n",
                                            "  oL( x[4/10] y[0/0] )\n  oL( x[/10] y[/50] )\n"));
  qdtest::writeFile("mesh.stl", qdtest::asciiStl(qdtest::terrainMesh(2, 6)));
  for (int build = 0; build < 3; ++build) {
    holderSetExtension(build == 2 ? 1 : 0, 0, 0.5);
    int failures = 0;
    for (long n = 1;; ++n) {
      ASSERT_LT(n, 2000);
      memTestFailAt(n);
      const int r = build == 0 ? holderBuildFromTool(&small.m, &a, 1.0, 0.2)
                               : holderBuildModel(&small.m, &a, 0.0, "mesh.stl", "", "tool.qdx",
                                                  "tool.qdx", 2.0, 2.0);
      memTestFailAt(0);
      if (r == 1) break;
      ++failures;
      ASSERT_EQ(r, -1) << build << " " << n;
      ASSERT_TRUE(modelIsEmptied()) << build << " " << n;
    }
    EXPECT_GT(failures, 5) << build;
    holderFreeCollisionModel();
  }
}

// The settings and flags of one run do not reach the next.
TEST_F(HolderModelTest, RunResetRestoresTheSettings) {
  Part part;
  const ToolAssembly a = knownTool();
  holderSetExtension(1, 3, 0.5);
  holderSetMaxTilt(1);
  holderSetFacetTolerances(0.3, 0.4);
  EXPECT_EQ(holderSetToolCheck(0), 1);
  holderSetForceTaper(1);
  holderSetCollisionPoint(Point3D{1, 2, 3});
  ASSERT_EQ(holderBuildFromTool(&part.model.m, &a, 0.1, 0.5), 1);
  holderResetState();
  const HolderCollisionModel* m = holderModel();
  EXPECT_TRUE(modelIsEmptied());
  EXPECT_EQ(m->extension, 0);
  EXPECT_EQ(m->extensionTolerance, kHolderExtensionTolDefault);
  EXPECT_EQ(m->holderTolerance, 0);
  EXPECT_EQ(m->toolCheck, 1);
  EXPECT_EQ(m->forceTaper, 0);
  EXPECT_EQ(m->maxTilt, 0);
  EXPECT_EQ(holderUseCollisionModel(), 0);
  Point3D p{9, 9, 9};
  EXPECT_EQ(holderGetCollisionPoint(&p), 0);
  EXPECT_EQ(p.x, 0);
}
