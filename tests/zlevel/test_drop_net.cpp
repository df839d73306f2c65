// Tests of the drop nets: every node against a brute-force drop onto all facets (real part and
// generated surfaces, three cutters, both kinds), the slope flag at its tolerance and where the
// tool touched nothing, clip boundaries, refills, breaks, memory failures, interpolation, nearest
// node, raster marking, the net files and dump, the profile drop onto a stock grid, and the plane
// levels taken from a net.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "geometry/raster.h"
#include "geometry/stock_grid.h"
#include "model/le_decode.h"
#include "model/model_fixture.h"
#include "model/point_drop.h"
#include "model/profile_drop.h"
#include "model/stl_file.h"
#include "model/tool_profile.h"
#include "support/real_meshes.h"
#include "support/temp_dir.h"
#include "zlevel/drop_net.h"
#include "zlevel/rough_net_levels.h"
#include "zlevel/zlevel_list.h"

namespace {

using NetPtr = std::unique_ptr<DropNet, decltype(&dropNetFree)>;
using FNetPtr = std::unique_ptr<FloatDropNet, decltype(&fDropNetFree)>;
NetPtr makeNet(double x0, double y0, int rows, int cols, double rs, double cs) {
  return NetPtr(dropNetNew(x0, y0, rows, cols, rs, cs), dropNetFree);
}
FNetPtr makeFNet(double x0, double y0, int rows, int cols, double rs, double cs) {
  return FNetPtr(fDropNetNew(x0, y0, rows, cols, rs, cs), fDropNetFree);
}

void resetAll() {
  dropNetResetState();
  dropResetState();
  dropPointResetState();
  dropProfileResetState();
  memResetState();
  geoErrReset();
  csysResetState();
  hgridResetState();
  parResetState();
  out3dSetBreakCheck(nullptr);
}

class DropNetTest : public ::testing::Test {
 protected:
  void SetUp() override { resetAll(); }
  void TearDown() override { resetAll(); }
};

// The model as the roughing hands it over: drop range wide open, index built, the roughing's own
// interval switch on (the fill must not let it put contacts under untouched nodes).
void prepare(SurfaceModel* m) {
  m->floorZ = -100.0;
  m->ceilingZ = 1000.0;
  m->step = 1.0;
  m->tolerance = 0.005;
  m->candidateLength = 20;
  m->restrictToBoundary = 1;
  ASSERT_EQ(modelBuildIndex(m), 1);
}

// Brute force: the tool dropped at (x, y) onto every facet of the model from the fill's floor,
// as tip height (reference height less the corner radius). Also the contact and whether
// anything was touched.
struct Drop {
  double tip;
  Point3D contact;
  bool touched;
};
Drop bruteDrop(const SurfaceModel& m, const CutterShape& cutter, double x, double y) {
  const double floorZ = std::min(m.floorZ, m.boxMin.z);
  dropSetTriModel(m.triangles, m.facetMin, m.facetMax, m.floorZ, m.ceilingZ, 0);
  Point3D pos{x, y, floorZ};
  Point3D contact{};
  int kind = 0;
  const int r =
      dropPointTris(&pos, m.boxMax.z + cutter.radius, &cutter, nullptr, 0, &contact, &kind);
  return Drop{std::max(pos.z, m.floorZ) - cutter.cornerRadius, contact, r > 0};
}

CutterShape cutterOf(int type, double r) {
  if (type == kCutterBall) return qdtest::makeCutter(kCutterBall, r, r);
  if (type == kCutterFlat) return qdtest::makeCutter(kCutterFlat, r, 0);
  return qdtest::makeCutter(kCutterTorus, r, r / 3);
}

template <class Net>
double nodeX(const Net* n, int c) {
  return n->x0 + c * n->colStep;
}
template <class Net>
double nodeY(const Net* n, int r) {
  return n->y0 + r * n->rowStep;
}

// Every node of both kinds of net equals the brute-force drop: exactly for double heights (up
// to the rounding of the column's parameter), to float rounding for float heights. Every node is
// reached, and the slope flag follows the brute-force contact.
void checkNetsAgainstBruteForce(const SurfaceModel& m, int type, double R, int rows, int cols) {
  const CutterShape cut = cutterOf(type, R);
  const double x0 = m.boxMin.x + 0.37, y0 = m.boxMin.y + 0.23;
  const double cs = (m.boxMax.x - m.boxMin.x - 0.8) / (cols - 1);
  const double rs = (m.boxMax.y - m.boxMin.y - 0.6) / (rows - 1);
  NetPtr net = makeNet(x0, y0, rows, cols, rs, cs);
  FNetPtr fnet = makeFNet(x0, y0, rows, cols, rs, cs);
  ASSERT_EQ(dropNetBuild(net.get(), &m, nullptr, R, cut.cornerRadius), 0);
  ASSERT_EQ(fDropNetFill(fnet.get(), &m, nullptr, R, cut.cornerRadius), 0);
  int flat = 0, sloped = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const Drop d = bruteDrop(m, cut, nodeX(net.get(), c), nodeY(net.get(), r));
      SCOPED_TRACE("node " + std::to_string(r) + ", " + std::to_string(c));
      ASSERT_EQ(net->valid[r][c], 1);
      ASSERT_EQ(fnet->valid[r][c], 1);
      ASSERT_NEAR(net->height[r][c], d.tip, 1e-9);
      ASSERT_NEAR(fnet->height[r][c], d.tip, 1e-6 * std::max(1.0, std::fabs(d.tip)));
      const bool off = !d.touched || std::fabs(nodeX(net.get(), c) - d.contact.x) >= 0.0101 ||
                       std::fabs(nodeY(net.get(), r) - d.contact.y) >= 0.0101;
      const bool on = d.touched && std::fabs(nodeX(net.get(), c) - d.contact.x) < 0.0099 &&
                      std::fabs(nodeY(net.get(), r) - d.contact.y) < 0.0099;
      if (off) {
        EXPECT_EQ(net->slope[r][c], 1);
      }
      if (on) {
        EXPECT_EQ(net->slope[r][c], 0);
      }
      EXPECT_EQ(fnet->slope[r][c], net->slope[r][c]);
      flat += net->slope[r][c] == 0;
      sloped += net->slope[r][c] == 1;
    }
  }
  EXPECT_GT(sloped, 0);
  if (type != kCutterFlat) {
    EXPECT_GT(flat, 0);
  }
}

// Both kinds of net over one grid, filled with the same tool and no clip.
struct BothNets {
  FNetPtr f;
  NetPtr d;
};
BothNets fillBoth(const SurfaceModel& m, double x0, double y0, int rows, int cols, double rs,
                  double cs, double radius, double corner) {
  BothNets b{makeFNet(x0, y0, rows, cols, rs, cs), makeNet(x0, y0, rows, cols, rs, cs)};
  EXPECT_EQ(fDropNetFill(b.f.get(), &m, nullptr, radius, corner), 0);
  EXPECT_EQ(dropNetBuild(b.d.get(), &m, nullptr, radius, corner), 0);
  return b;
}

std::vector<Tri3D> loadStl(const std::string& name) {
  Tri3List* l = stlRead(qdtest::dataPath(name).c_str());
  std::vector<Tri3D> tris;
  if (l != nullptr) tris.assign(l->items, l->items + l->count);
  lstBox3Free(l);
  return tris;
}

// Two triangles covering [x0, x1] x [y0, y1] on the plane z = z0 + ax x + ay y.
void addPlane(std::vector<Tri3D>* t, double x0, double y0, double x1, double y1, double z0,
              double ax, double ay) {
  auto p = [&](double x, double y) { return Point3D{x, y, z0 + ax * x + ay * y}; };
  t->push_back(Tri3D{{p(x0, y0), p(x1, y0), p(x1, y1)}});
  t->push_back(Tri3D{{p(x0, y0), p(x1, y1), p(x0, y1)}});
}

// A narrow four-sided spike with its apex at (x, y, h) on a base 0.5 wide at height 0.
void addSpike(std::vector<Tri3D>* t, double x, double y, double h) {
  const Point3D apex{x, y, h};
  const Point3D b[4] = {{x - 0.25, y - 0.25, 0},
                        {x + 0.25, y - 0.25, 0},
                        {x + 0.25, y + 0.25, 0},
                        {x - 0.25, y + 0.25, 0}};
  for (int k = 0; k < 4; ++k) t->push_back(Tri3D{{b[k], b[(k + 1) % 4], apex}});
}

}  // namespace

// ---- fill against the brute force --------------------------------------------------------------

class RealPartNets : public DropNetTest, public ::testing::WithParamInterface<int> {};

TEST_P(RealPartNets, SphereOnPlateNodesEqualBruteForceDrops) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  qdtest::TriModel tm(loadStl("sphere_on_plate.stl"), qdtest::makeCutter(kCutterBall, 10, 10));
  ASSERT_GT(tm.m.triangles->count, 7000);
  prepare(&tm.m);
  checkNetsAgainstBruteForce(tm.m, GetParam(), 3.0, 23, 19);
}

INSTANTIATE_TEST_SUITE_P(Cutters, RealPartNets,
                         ::testing::Values(kCutterBall, kCutterTorus, kCutterFlat),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == kCutterBall    ? "ball"
                                              : info.param == kCutterTorus ? "torus"
                                                                           : "flat");
                         });

// The same on a generated terrain, so the oracle runs without the real-part folder too, with a
// model cutter unlike the requested one (the fill changes the copy's cutter, not the model's).
TEST_F(DropNetTest, TerrainNodesEqualBruteForceDrops) {
  qdtest::TriModel tm(qdtest::terrainMesh(30, 60), qdtest::makeCutter(kCutterFlat, 7, 0));
  prepare(&tm.m);
  for (int type : {kCutterBall, kCutterTorus, kCutterFlat}) {
    SCOPED_TRACE(type);
    checkNetsAgainstBruteForce(tm.m, type, 2.5, 17, 13);
  }
  EXPECT_EQ(tm.m.cutter->type, kCutterFlat);
  EXPECT_EQ(tm.m.cutter->radius, 7);
  EXPECT_EQ(tm.m.step, 1.0);
}

// A DropNet over a four-corner facet model uses the four-corner drop and gives the heights of the
// triangle model; a FloatDropNet always uses the triangle drop, which finds no triangles there.
TEST_F(DropNetTest, FourCornerModels) {
  const std::vector<Tri3D> tris = qdtest::terrainMesh(16, 40);
  std::vector<QuadFacet> quads;
  for (const Tri3D& t : tris) quads.push_back(qdtest::quadOf(t.v[0], t.v[1], t.v[2], t.v[2]));
  qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 2, 2));
  qdtest::QuadModel qm(quads, qdtest::makeCutter(kCutterBall, 2, 2));
  prepare(&tm.m);
  prepare(&qm.m);
  NetPtr a = makeNet(1, 1.5, 9, 8, 4.5, 5.0);
  NetPtr b = makeNet(1, 1.5, 9, 8, 4.5, 5.0);
  ASSERT_EQ(dropNetBuild(a.get(), &tm.m, nullptr, 2, 2), 0);
  ASSERT_EQ(dropNetBuild(b.get(), &qm.m, nullptr, 2, 2), 0);
  FNetPtr f = makeFNet(1, 1.5, 9, 8, 4.5, 5.0);
  ASSERT_EQ(fDropNetFill(f.get(), &qm.m, nullptr, 2, 2), 0);
  for (int r = 0; r < 9; ++r) {
    for (int c = 0; c < 8; ++c) {
      EXPECT_NEAR(a->height[r][c], b->height[r][c], 1e-9) << r << ", " << c;
      EXPECT_EQ(b->valid[r][c], 1);
      EXPECT_EQ(f->height[r][c], -102.0f) << "the floor less the corner radius";
      EXPECT_EQ(f->slope[r][c], 1);
    }
  }
  EXPECT_EQ(qm.m.step, 1.0) << "the four-corner drop rewrote the copy's step";
}

// The caller's model has the slope stop and step jitter on; the fill's copy has both off, so
// every column reaches its last row. The columns are longer than the most points a new point list
// makes room for (40000): the samples fill the list, which grows.
TEST_F(DropNetTest, ColumnsAreNeverCutShort) {
  auto wave = [](double x, double y) { return 3.0 * std::sin(x * 0.4) * std::cos(y * 0.3); };
  qdtest::TriModel tm(qdtest::heightFieldMesh(30, 42, wave), qdtest::makeCutter(kCutterBall, 1, 1));
  prepare(&tm.m);
  tm.m.slopeMode = 2;
  tm.m.minSlope = 2.0;  // any slope below it would stop a column
  tm.m.stepJitter = 1;
  const int rows = kPathListMaxInitial + 150;
  FNetPtr net = makeFNet(20.25, 0.5, rows, 2, 0.001, 1.5);
  ASSERT_EQ(fDropNetFill(net.get(), &tm.m, nullptr, 1.0, 1.0), 0);
  const CutterShape ball = cutterOf(kCutterBall, 1.0);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      ASSERT_EQ(net->valid[r][c], 1) << r << ", " << c;
      if (r % 97 != 0 && r < rows - 3) continue;
      const Drop d = bruteDrop(tm.m, ball, nodeX(net.get(), c), nodeY(net.get(), r));
      EXPECT_NEAR(net->height[r][c], d.tip, 1e-5) << r << ", " << c;
    }
  }
}

// Island strips of a clip cut each column into two dozen intervals: nodes on a strip are in the
// clip's gap, the others are dropped.
TEST_F(DropNetTest, ClipIslandsLeaveGaps) {
  auto wave = [](double x, double y) { return 3.0 * std::sin(x * 0.4) * std::cos(y * 0.3); };
  qdtest::TriModel tm(qdtest::heightFieldMesh(30, 40, wave), qdtest::makeCutter(kCutterBall, 1, 1));
  prepare(&tm.m);
  std::unique_ptr<Boundary, decltype(&bndFree)> owner(bndNewRect(-1.0, 41.0, -1.0, 31.0), bndFree);
  Boundary* clip = owner.get();
  Boundary* last = clip;
  for (int k = 0; k <= 22; ++k) {  // strips 0.5 wide from y = 0.5 to 28.75
    Boundary* strip = bndNewRect(-2.0, 42.0, 0.5 + 1.25 * k, 1.0 + 1.25 * k);
    ASSERT_NE(strip, nullptr);
    strip->outer = 0;
    last->next = strip;
    last = strip;
    ASSERT_EQ(bndAddIsland(clip, strip), 1);
  }
  // Rows at y = 0.75 + 0.625 j: even j on a strip's centre line, odd j half-way between strips.
  NetPtr net = makeNet(0.5, 0.75, 46, 5, 0.625, 2.0);
  ASSERT_EQ(dropNetBuild(net.get(), &tm.m, clip, 1.0, 1.0), 0);
  const CutterShape ball = cutterOf(kCutterBall, 1.0);
  for (int r = 0; r < net->rows; ++r) {
    const double y = nodeY(net.get(), r);
    const bool onStrip = r % 2 == 0;
    for (int c = 0; c < net->cols; ++c) {
      ASSERT_EQ(net->valid[r][c], onStrip ? 0 : 1) << r << ", " << c;
      if (onStrip) continue;
      const Drop d = bruteDrop(tm.m, ball, nodeX(net.get(), c), y);
      EXPECT_NEAR(net->height[r][c], d.tip, 1e-9) << r << ", " << c;
    }
  }
}

// ---- the slope flag -----------------------------------------------------------------------------

// A tilted plane gives slope 1 at every node, a level plate slope 0 (nodes far from the edges).
TEST_F(DropNetTest, TiltedPlaneAndLevelPlate) {
  for (double tilt : {0.0, 0.2, -0.05}) {
    std::vector<Tri3D> t;
    addPlane(&t, -30, -30, 60, 60, 2.0, tilt, tilt / 2);
    qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 3, 3));
    prepare(&tm.m);
    BothNets both = fillBoth(tm.m, 0, 0, 8, 9, 3.5, 3.0, 3, 3);
    const FloatDropNet* net = both.f.get();
    const DropNet* dnet = both.d.get();
    for (int r = 0; r < net->rows; ++r) {
      for (int c = 0; c < net->cols; ++c) {
        EXPECT_EQ(net->slope[r][c], tilt == 0.0 ? 0 : 1) << tilt;
        EXPECT_EQ(dnet->slope[r][c], tilt == 0.0 ? 0 : 1) << tilt;
        if (tilt == 0.0) {
          EXPECT_NEAR(dnet->height[r][c], 2.0, 1e-12);
        }
      }
    }
  }
}

// The contact of a ball resting on a spike's apex is the apex: 0.01 away in x from the node at
// the origin gives slope 1, 0.0099 away in x and y gives 0. Nodes where the tool touched nothing
// give 1, the one 0.001 from the origin as well (the drop reports no contact as the origin).
TEST_F(DropNetTest, SlopeToleranceAndNodesThatTouchNothing) {
  struct Case {
    double ax, ay;
    int slope;
  };
  for (const Case k : {Case{0.01, 0.0, 1}, Case{0.0, -0.01, 1}, Case{0.0099, 0.0099, 0},
                       Case{-0.0099, 0.0099, 0}}) {
    std::vector<Tri3D> t;
    addSpike(&t, k.ax, k.ay, 5.0);
    addPlane(&t, 100, 100, 101, 101, 0, 0, 0);  // far away
    qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 3, 3));
    prepare(&tm.m);
    BothNets both = fillBoth(tm.m, 0, 0, 2, 2, 50, 50, 3, 3);
    const FloatDropNet* net = both.f.get();
    const DropNet* dnet = both.d.get();
    const Drop d = bruteDrop(tm.m, cutterOf(kCutterBall, 3), 0, 0);
    ASSERT_TRUE(d.touched);
    ASSERT_EQ(d.contact.x, k.ax) << "the fixture rests the ball on the apex";
    ASSERT_EQ(d.contact.y, k.ay);
    EXPECT_EQ(net->slope[0][0], k.slope) << k.ax << " " << k.ay;
    EXPECT_EQ(dnet->slope[0][0], k.slope) << k.ax << " " << k.ay;
    EXPECT_EQ(net->slope[1][1], 1) << "nothing touched at (50, 50)";
  }
  dropNetSetSlopeTol(0.02);
  EXPECT_EQ(dropNetSlopeTol(), 0.02);
  EXPECT_EQ(fDropNetSlopeTol(), 0.01) << "the float nets keep their own tolerance";
  {
    std::vector<Tri3D> t;
    addSpike(&t, 0.015, 0, 5.0);
    qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 3, 3));
    prepare(&tm.m);
    NetPtr dnet = makeNet(0, 0, 2, 2, 50, 50);
    ASSERT_EQ(dropNetBuild(dnet.get(), &tm.m, nullptr, 3, 3), 0);
    EXPECT_EQ(dnet->slope[0][0], 0) << "0.015 lies within the raised tolerance";
  }
  dropNetResetState();
  EXPECT_EQ(dropNetSlopeTol(), 0.01);

  // Nothing under (0.001, 0), (5, 0), (0.001, 5), (5, 5).
  std::vector<Tri3D> t;
  addPlane(&t, 100, 100, 101, 101, 0, 0, 0);
  qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 3, 3));
  prepare(&tm.m);
  BothNets both = fillBoth(tm.m, 0.001, 0, 2, 2, 5.0, 4.999, 3, 3);
  const FloatDropNet* net = both.f.get();
  const DropNet* dnet = both.d.get();
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(net->valid[r][c], 1);
      EXPECT_EQ(net->slope[r][c], 1) << r << ", " << c;
      EXPECT_EQ(dnet->slope[r][c], 1) << r << ", " << c;
      EXPECT_EQ(net->height[r][c], -103.0f) << "the floor less the corner radius";
    }
  }
}

// ---- clip, refill, break, failures --------------------------------------------------------------

// Nodes outside the clip rectangle stay invalid in a DropNet; a second fill with another clip
// over a raised model changes only the nodes it reaches.
TEST_F(DropNetTest, ClipBoundaryAndRefill) {
  std::vector<Tri3D> low, high;
  addPlane(&low, -20, -20, 40, 40, 1.0, 0, 0);
  addPlane(&high, -20, -20, 40, 40, 4.0, 0, 0);
  qdtest::TriModel lowModel(low, qdtest::makeCutter(kCutterBall, 2, 2));
  qdtest::TriModel highModel(high, qdtest::makeCutter(kCutterBall, 2, 2));
  prepare(&lowModel.m);
  prepare(&highModel.m);
  NetPtr net = makeNet(0, 0, 6, 7, 2.0, 2.0);
  Boundary* left = bndNewRect(-1.0, 7.0, -1.0, 11.0);  // columns 0..3
  ASSERT_NE(left, nullptr);
  ASSERT_EQ(dropNetBuild(net.get(), &lowModel.m, left, 2, 2), 0);
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 7; ++c) {
      EXPECT_EQ(net->valid[r][c], c <= 3 ? 1 : 0) << r << ", " << c;
      EXPECT_NEAR(net->height[r][c], c <= 3 ? 1.0 : 0.0, 1e-12);
    }
  }
  Boundary* right = bndNewRect(5.0, 13.0, 3.0, 11.0);  // columns 3..6, rows 2..5
  ASSERT_EQ(dropNetBuild(net.get(), &highModel.m, right, 2, 2), 0);
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 7; ++c) {
      const bool second = c >= 3 && r >= 2;
      EXPECT_EQ(net->valid[r][c], second || c <= 3 ? 1 : 0) << r << ", " << c;
      EXPECT_NEAR(net->height[r][c], second ? 4.0 : c <= 3 ? 1.0 : 0.0, 1e-12) << r << ", " << c;
    }
  }
  bndFree(left);
  bndFree(right);
}

namespace {
int breakCalls = 0;
int breakAfterThree() { return ++breakCalls > 3 ? 1 : 0; }
}  // namespace

TEST_F(DropNetTest, BreakKeepsTheColumnsDone) {
  std::vector<Tri3D> t;
  addPlane(&t, -20, -20, 40, 40, 1.0, 0, 0);
  qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 2, 2));
  prepare(&tm.m);
  NetPtr net = makeNet(0, 0, 5, 8, 2.0, 2.0);
  breakCalls = 0;
  out3dSetBreakCheck(breakAfterThree);
  EXPECT_EQ(dropNetBuild(net.get(), &tm.m, nullptr, 2, 2), -2);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 8; ++c) EXPECT_EQ(net->valid[r][c], c < 3 ? 1 : 0) << r << ", " << c;
  }
  breakCalls = 0;
  FNetPtr fnet = makeFNet(0, 0, 5, 8, 2.0, 2.0);
  EXPECT_EQ(fDropNetFill(fnet.get(), &tm.m, nullptr, 2, 2), 0) << "float nets run to the end";
  EXPECT_EQ(fnet->valid[4][7], 1);
}

TEST_F(DropNetTest, BadArgumentsAndMemoryFailures) {
  std::vector<Tri3D> t;
  addPlane(&t, -20, -20, 40, 40, 1.0, 0.1, 0);
  qdtest::TriModel tm(t, qdtest::makeCutter(kCutterBall, 2, 2));
  prepare(&tm.m);
  FNetPtr net = makeFNet(0, 0, 5, 6, 2.0, 2.0);
  EXPECT_EQ(fDropNetFill(nullptr, &tm.m, nullptr, 2, 2), -1);
  EXPECT_EQ(fDropNetFill(net.get(), nullptr, nullptr, 2, 2), -1);
  EXPECT_EQ(dropNetBuild(nullptr, &tm.m, nullptr, 2, 2), -1);
  FloatDropNet header{};
  fDropNetCopyHeader(net.get(), &header);
  EXPECT_EQ(header.rows, 5);
  EXPECT_EQ(header.colStep, 2.0);
  EXPECT_EQ(header.height, nullptr);
  EXPECT_EQ(fDropNetFill(&header, &tm.m, nullptr, 2, 2), -1) << "a header-only net";
  for (double bad : {0.0, -1.0, std::nan("")}) {
    FNetPtr b = makeFNet(0, 0, 3, 3, bad, 1.0);
    EXPECT_EQ(fDropNetFill(b.get(), &tm.m, nullptr, 2, 2), -1) << bad;
  }
  EXPECT_EQ(fDropNetNew(0, 0, 0, 3, 1, 1), nullptr);
  EXPECT_EQ(dropNetNew(0, 0, 3, -1, 1, 1), nullptr);
  // Record, three tables, three arrays per row.
  for (int n = 1; n <= 11; ++n) {
    memTestFailAt(n);
    DropNet* d = dropNetNew(0, 0, 2, 2, 1, 1);
    memTestFailAt(0);
    EXPECT_EQ(d == nullptr, n <= 10) << n;
    dropNetFree(d);
  }
  // Every allocation of a fill fails in turn: -1, nothing leaked, the net left usable.
  // (Some failures are absorbed: a point list retries with less room.)
  int failures = 0;
  for (int n = 1; n <= 60; ++n) {
    memTestFailAt(n);
    const int r = fDropNetFill(net.get(), &tm.m, nullptr, 2, 2);
    memTestFailAt(0);
    ASSERT_TRUE(r == 0 || r == -1) << n;
    failures += r == -1;
  }
  EXPECT_GE(failures, 3);
  ASSERT_EQ(fDropNetFill(net.get(), &tm.m, nullptr, 2, 2), 0);
  EXPECT_EQ(fDropNetFree(nullptr), 0);
  EXPECT_EQ(dropNetFree(nullptr), 0);
}

// ---- interpolation and nearest node -------------------------------------------------------------

TEST_F(DropNetTest, InterpolationReproducesAPlane) {
  FNetPtr net = makeFNet(-3.0, 2.0, 6, 7, 1.5, 2.0);
  auto plane = [](double x, double y) { return 2.0 + 0.5 * x - 0.25 * y; };
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      net->height[r][c] = static_cast<float>(plane(nodeX(net.get(), c), nodeY(net.get(), r)));
    }
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> ux(-3.0, -3.0 + 6 * 2.0), uy(2.0, 2.0 + 5 * 1.5);
  for (int i = 0; i < 500; ++i) {
    const Point2D p{ux(rng), uy(rng)};
    double h = 0;
    ASSERT_EQ(fDropNetipol(net.get(), p, &h), 1) << p.x << " " << p.y;
    EXPECT_NEAR(h, plane(p.x, p.y), 1e-5);
  }
  double h = 0;
  ASSERT_EQ(fDropNetipol(net.get(), {nodeX(net.get(), 2), nodeY(net.get(), 3)}, &h), 1);
  EXPECT_NEAR(h, net->height[3][2], 1e-12) << "a node gives its own height";
  // One full step beyond the last column, and half a step before the origin.
  geoErrReset();
  EXPECT_EQ(fDropNetipol(net.get(), {nodeX(net.get(), 7), 3.0}, &h), kDropNetOutside);
  EXPECT_STREQ(geoErrRecord()->file, kDropNetIpolLog);
  EXPECT_EQ(fDropNetipol(net.get(), {-3.0 - 1.0, 2.0 + 0.4}, &h), 0);
  EXPECT_EQ(fDropNetipol(net.get(), {-3.0 + 0.4, 2.0 - 0.75}, &h), 0);
  EXPECT_EQ(fDropNetipol(net.get(), {-3.0 - 2.0, 2.5}, &h), kDropNetOutside);
  EXPECT_EQ(fDropNetipol(net.get(), {std::nan(""), 2.5}, &h), kDropNetOutside);
  EXPECT_EQ(fDropNetipol(nullptr, {0, 0}, &h), -20);
  // A step of 0 divided by zero before the cell test.
  for (int which = 0; which < 2; ++which) {
    FNetPtr flat = makeFNet(0, 0, 3, 3, which == 0 ? 0.0 : 1.0, which == 0 ? 1.0 : 0.0);
    EXPECT_EQ(fDropNetipol(flat.get(), {0.5, 0.5}, &h), kDropNetOutside) << which;
    EXPECT_EQ(fDropNetipol(flat.get(), {0.0, 0.0}, &h), kDropNetOutside) << which;
  }
}

TEST_F(DropNetTest, NearestNode) {
  FNetPtr net = makeFNet(10.0, -5.0, 4, 5, 2.0, 1.0);
  struct Case {
    double x, y;
    int row, col;
  };
  const Case cases[] = {{10.0, -5.0, 0, 0},      {9.0, -9.0, 0, 0},  {100, 100, 3, 4},
                        {11.5, -4.0, 0, 1},      {11.6, -3.9, 1, 2}, {12.4, -1.1, 2, 2},
                        {std::nan(""), -5, 0, 0}};
  for (const Case& k : cases) {
    int r = -1, c = -1;
    ASSERT_EQ(fDropNetNearestNode({k.x, k.y}, net.get(), &r, &c), 1);
    EXPECT_EQ(r, k.row) << k.x << " " << k.y;
    EXPECT_EQ(c, k.col) << k.x << " " << k.y;
  }
  int r = 0, c = 0;
  EXPECT_EQ(fDropNetNearestNode({0, 0}, nullptr, &r, &c), -20);
}

// ---- raster marking ----------------------------------------------------------------------------

// Both kinds mark as the raster classification of the level code does without seeds.
TEST_F(DropNetTest, RasterMarkingEqualsTheClassification) {
  FNetPtr fnet = makeFNet(0, 0, 5, 6, 1, 1);
  NetPtr dnet = makeNet(0, 0, 5, 6, 1, 1);
  std::mt19937 rng(11);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 6; ++c) {
      const int k = static_cast<int>(rng() % 4);
      const double h = k == 0 ? 3.0 : k == 1 ? 3.0 + 0.00001 : k == 2 ? 3.00002 : 1.0;
      fnet->height[r][c] = static_cast<float>(h);
      dnet->height[r][c] = static_cast<float>(h);
      fnet->valid[r][c] = dnet->valid[r][c] = (r + c) % 5 != 0;
    }
  }
  auto raster = [&] { return gridRasterNew(fnet.get(), 5, 6, 1, 1); };
  Raster* a = raster();
  Raster* b = raster();
  Raster* want = raster();
  ASSERT_EQ(fDropNetToRaster(fnet.get(), 3.0, a), 0);
  ASSERT_EQ(dropNetToRaster(dnet.get(), 3.0, b), 0);
  gridRasterClassify(fnet.get(), nullptr, 3.0, want);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(a->cells[r][c], want->cells[r][c]) << r << ", " << c;
      EXPECT_EQ(b->cells[r][c], want->cells[r][c]) << r << ", " << c;
    }
  }
  EXPECT_EQ(a->freeCount, want->freeCount);
  EXPECT_EQ(b->freeCount, want->freeCount);
  Raster* small = gridRasterNew(fnet.get(), 4, 6, 1, 1);
  EXPECT_EQ(fDropNetToRaster(fnet.get(), 3.0, small), -20);
  EXPECT_EQ(fDropNetToRaster(fnet.get(), 3.0, nullptr), -20);
  for (Raster* r : {a, b, want, small}) gridRasterFree(r);
}

// ---- files --------------------------------------------------------------------------------------

class DropNetFile : public qdtest::TempDirTest {
 protected:
  void SetUp() override { resetAll(); }
  void TearDown() override { resetAll(); }
};

template <class Net>
void fillPattern(Net* n) {
  for (int r = 0; r < n->rows; ++r) {
    for (int c = 0; c < n->cols; ++c) {
      n->height[r][c] = static_cast<float>(r * 10.25 - c * 0.5);
      n->valid[r][c] = (r + c) % 2 != 0 ? 1 : 0;
      n->slope[r][c] = static_cast<std::uint8_t>((r * c) % 3 == 0);
    }
  }
}

template <class Net>
void expectSameNets(const Net* a, const Net* b) {
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->x0, b->x0);
  EXPECT_EQ(a->y0, b->y0);
  ASSERT_EQ(a->rows, b->rows);
  ASSERT_EQ(a->cols, b->cols);
  EXPECT_EQ(a->rowStep, b->rowStep);
  EXPECT_EQ(a->colStep, b->colStep);
  for (int r = 0; r < a->rows; ++r) {
    for (int c = 0; c < a->cols; ++c) {
      EXPECT_EQ(a->height[r][c], b->height[r][c]);
      EXPECT_EQ(a->valid[r][c], b->valid[r][c]);
      EXPECT_EQ(a->slope[r][c], b->slope[r][c]);
    }
  }
}

TEST_F(DropNetFile, RoundTripsFieldByField) {
  NetPtr d = makeNet(1.5, -2.25, 3, 4, 0.5, 0.75);
  FNetPtr f = makeFNet(1.5, -2.25, 3, 4, 0.5, 0.75);
  fillPattern(d.get());
  fillPattern(f.get());
  d->valid[2][3] = -7;  // any int16 travels
  ASSERT_EQ(dropNetSave(d.get(), "d.net"), 1);
  ASSERT_EQ(fDropNetSave(f.get(), "f.net"), 1);
  const std::string db = qdtest::readFile("d.net"), fb = qdtest::readFile("f.net");
  ASSERT_EQ(db.size(), 40u + 11u * 12u);
  ASSERT_EQ(fb.size(), 40u + 6u * 12u);
  const auto* p = reinterpret_cast<const unsigned char*>(db.data());
  EXPECT_EQ(leF64(p + 8), -2.25);
  EXPECT_EQ(leI32(p + 16), 3);
  EXPECT_EQ(leI32(p + 20), 4);
  EXPECT_EQ(leF64(p + 32), 0.75);
  EXPECT_EQ(leF64(p + 40 + 11 * 5), d->height[1][1]);
  EXPECT_EQ(leI16(p + 40 + 11 * 11 + 8), -7);
  const auto* q = reinterpret_cast<const unsigned char*>(fb.data());
  EXPECT_EQ(leF32(q + 40 + 6 * 6), f->height[1][2]);
  EXPECT_EQ(q[40 + 6 * 6 + 4], f->valid[1][2]);
  EXPECT_EQ(q[40 + 6 * 6 + 5], f->slope[1][2]);
  NetPtr d2(dropNetLoad("d.net"), dropNetFree);
  FNetPtr f2(fDropNetLoad("f.net"), fDropNetFree);
  expectSameNets(d.get(), d2.get());
  expectSameNets(f.get(), f2.get());
}

TEST_F(DropNetFile, BadFiles) {
  EXPECT_EQ(fDropNetSave(nullptr, "empty.net"), 1);
  EXPECT_EQ(qdtest::readFile("empty.net"), "");
  EXPECT_EQ(fDropNetLoad("empty.net"), nullptr);
  EXPECT_EQ(dropNetSave(nullptr, nullptr), -1);
  EXPECT_EQ(fDropNetSave(nullptr, "no/such/dir/x.net"), -1);
  EXPECT_EQ(dropNetLoad(nullptr), nullptr);
  EXPECT_EQ(dropNetLoad("missing.net"), nullptr);
  FNetPtr f = makeFNet(0, 0, 2, 3, 1, 1);
  fillPattern(f.get());
  ASSERT_EQ(fDropNetSave(f.get(), "f.net"), 1);
  const std::string full = qdtest::readFile("f.net");
  qdtest::writeFile("short.net", full.substr(0, full.size() - 1));
  EXPECT_EQ(fDropNetLoad("short.net"), nullptr);
  struct Case {
    std::int32_t rows, cols;
  };
  for (const Case k :
       {Case{0, 3}, Case{2, 0}, Case{-1, 3}, Case{3, 3}, Case{65536, 65536}, Case{2147483647, 2}}) {
    std::string b = full;
    lePutI32(reinterpret_cast<unsigned char*>(b.data()) + 16, k.rows);
    lePutI32(reinterpret_cast<unsigned char*>(b.data()) + 20, k.cols);
    qdtest::writeFile("bad.net", b);
    EXPECT_EQ(fDropNetLoad("bad.net"), nullptr) << k.rows << " x " << k.cols;
    EXPECT_EQ(dropNetLoad("bad.net"), nullptr) << k.rows << " x " << k.cols;
  }
  for (int n = 1; n <= 10; ++n) {
    memTestFailAt(n);
    FloatDropNet* g = fDropNetLoad("f.net");
    memTestFailAt(0);
    EXPECT_EQ(g, nullptr) << n;
    fDropNetFree(g);
  }
}

TEST_F(DropNetFile, DumpLines) {
  FNetPtr f = makeFNet(0.5, -1, 2, 2, 0.25, 2);
  NetPtr d = makeNet(0.5, -1, 1, 2, 0.25, 2);
  f->height[0][1] = 1.5f;
  f->valid[0][1] = 1;
  f->slope[1][0] = 1;
  d->height[0][0] = -1.0 / 3.0;
  d->valid[0][0] = 1;
  ASSERT_EQ(fDropNetDump(f.get(), "f.txt"), 1);
  ASSERT_EQ(dropNetDump(d.get(), "d.txt"), 1);
  EXPECT_EQ(qdtest::readFile("f.txt"),
            "0.500000 -1.000000 0.000000 0 0\n2.500000 -1.000000 1.500000 1 0\n"
            "0.500000 -0.750000 0.000000 0 1\n2.500000 -0.750000 0.000000 0 0\n");
  EXPECT_EQ(qdtest::readFile("d.txt"),
            "0.500000 -1.000000 -0.333333 1 0\n2.500000 -1.000000 0.000000 0 0\n");
  EXPECT_EQ(fDropNetDump(f.get(), "no/such/dir/f.txt"), -1);
  EXPECT_EQ(dropNetDump(nullptr, "x.txt"), -1);
}

// ---- profile drop onto a stock grid -------------------------------------------------------------

namespace {

struct StockFixture {
  std::vector<std::uint16_t> cells;
  std::vector<std::uint16_t*> rowPtrs;
  StockGrid grid{};
  StockFixture(int columns, int rows, double cell, std::uint32_t seed) {
    cells.resize(static_cast<std::size_t>(columns) * rows);
    std::mt19937 rng(seed);
    for (auto& v : cells) v = static_cast<std::uint16_t>(rng() % 50);
    for (int r = 0; r < rows; ++r) rowPtrs.push_back(cells.data() + r * columns);
    grid = StockGrid{-1.0, -2.0, 0.5, cell, 0.1, columns, rows, rowPtrs.data()};
  }
};

ToolProfile* profileOf(std::initializer_list<ProfileSegment> segs) {
  ToolProfile* p = profileNew(4);
  for (const ProfileSegment& s : segs) profileAppendSegment(p, s, kProfileShank);
  return p;
}

}  // namespace

TEST_F(DropNetTest, ProfileLiftTable) {
  ToolProfile* p = profileOf({{0.5, 0, 2, 0}, {2, 0, 4, 2}, {5, 3, 6, 3}});
  struct Case {
    double d;
    int result;
    double height;  // point z 10 less the profile height, when lifted
  };
  const Case cases[] = {{0.0, 1, 10.0},  // before the first segment: its z1
                        {1.0, 1, 10.0}, {3.0, 1, 9.0},
                        {4.0, 1, 8.0},  {4.5, 1, 8.0},  // in the gap: z2 of the segment before it
                        {5.5, 1, 7.0},  {6.5, 0, -50.0}};
  for (const Case& k : cases) {
    double h = -50.0;
    EXPECT_EQ(fDropNetProfileLift(p, {1, 1, 0}, {1 + k.d, 1, 10}, &h), k.result) << k.d;
    EXPECT_DOUBLE_EQ(h, k.height) << k.d;
  }
  double h = 100;
  EXPECT_EQ(fDropNetProfileLift(p, {0, 0, 0}, {1, 0, 10}, &h), 0) << "never lowers";
  EXPECT_EQ(h, 100);
  EXPECT_EQ(fDropNetProfileLift(nullptr, {0, 0, 0}, {1, 0, 10}, &h), -1);
  profileFree(p);
}

// A flat disc of radius 2 lowered onto the grid: every node rests on the highest cell point
// within 2 of it, or on the floor.
TEST_F(DropNetTest, ProfileDropOntoAStockGrid) {
  StockFixture s(17, 13, 0.7, 5);
  ToolProfile* disc = profileOf({{0, 0, 2, 0}});
  FNetPtr net = makeFNet(-2.0, -3.0, 9, 11, 1.1, 1.3);
  net->slope[2][2] = 1;
  ASSERT_EQ(fDropNetDropProfile(net.get(), &s.grid, disc, 0.25), 0);
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      double want = 0.25;
      for (int gr = 0; gr < s.grid.rows; ++gr) {
        for (int gc = 0; gc < s.grid.columns; ++gc) {
          const double px = s.grid.x0 + gc * s.grid.cell, py = s.grid.y0 + gr * s.grid.cell;
          const double pz = s.grid.z0 + s.rowPtrs[gr][gc] * s.grid.zStep;
          if (std::hypot(px - nodeX(net.get(), c), py - nodeY(net.get(), r)) <= 2.0)
            want = std::max(want, pz);
        }
      }
      EXPECT_FLOAT_EQ(net->height[r][c], static_cast<float>(want)) << r << ", " << c;
      EXPECT_EQ(net->valid[r][c], 1);
    }
  }
  EXPECT_EQ(net->slope[2][2], 1) << "slope flags are left alone";
  // An open floor has no float value: nodes that touch nothing keep the lowest float height.
  FNetPtr far = makeFNet(500.0, 500.0, 3, 3, 1.0, 1.0);
  ASSERT_EQ(fDropNetDropProfile(far.get(), &s.grid, disc, -1e300), 0);
  for (int r = 0; r < far->rows; ++r) {
    for (int c = 0; c < far->cols; ++c) EXPECT_EQ(far->height[r][c], -FLT_MAX) << r << ", " << c;
  }
  ToolProfile* empty = profileNew(3);
  EXPECT_EQ(fDropNetDropProfile(net.get(), &s.grid, empty, 0), -1);
  EXPECT_EQ(fDropNetDropProfile(net.get(), &s.grid, nullptr, 0), -1);
  EXPECT_EQ(fDropNetDropProfile(net.get(), nullptr, disc, 0), -1);
  profileFree(empty);
  profileFree(disc);
}

// ---- plane levels from a net --------------------------------------------------------------------

TEST_F(DropNetTest, LevelsFromNetInsertExactlyTheFlatValidNodes) {
  parGlobalBlock()->minStepdown = 0.01;
  NetPtr net = makeNet(0, 0, 3, 4, 1, 1);
  std::vector<double> want;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) {
      const int k = r * 4 + c;
      net->height[r][c] = 1.0 + 0.5 * k;
      net->valid[r][c] = k % 3 != 0;
      net->slope[r][c] = k % 4 == 1;
      if (net->valid[r][c] != 0 && net->slope[r][c] == 0) want.push_back(1.0 + 0.5 * k + 2.0);
    }
  }
  std::sort(want.rbegin(), want.rend());
  ZLevelList* list = zlevNew(2, 100, -100);
  ASSERT_EQ(roughLevelsFromNet(list, net.get(), 2.0), 1);
  ASSERT_EQ(list->count, static_cast<int>(want.size()));
  for (int i = 0; i < list->count; ++i) {
    EXPECT_DOUBLE_EQ(list->z[i], want[static_cast<std::size_t>(i)] + zlevTolerance());
    EXPECT_EQ(list->flag[i], kZlevPlane);
  }
  // Heights closer than *MIN_STEPDOWN + tol merge into one level.
  ZLevelList* merged = zlevNew(2, 100, -100);
  NetPtr close = makeNet(0, 0, 1, 3, 1, 1);
  for (int c = 0; c < 3; ++c) {
    close->height[0][c] = 5.0 + 0.004 * c;
    close->valid[0][c] = 1;
  }
  ASSERT_EQ(roughLevelsFromNet(merged, close.get(), 0.0), 1);
  EXPECT_EQ(merged->count, 1);
  zlevFree(merged);
  EXPECT_EQ(roughLevelsFromNet(nullptr, net.get(), 0), -1);
  EXPECT_EQ(roughLevelsFromNet(list, nullptr, 0), -1);
  ZLevelList* tight = zlevNew(0, 100, -100);
  memTestFailAt(1);
  EXPECT_EQ(roughLevelsFromNet(tight, net.get(), 0), -1) << "a failed insertion";
  memTestFailAt(0);
  zlevFree(tight);
  zlevFree(list);
}
