// Tests of the point drop: the grid bucket scan gives bit for bit the answer of the scan over all
// facets, for every cutter and both facet kinds; the result codes, the miss report, the early
// stop, the sub-model switch and unusable candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/point_drop.h"
#include "model_fixture.h"

namespace {

using qdtest::makeConeBand;
using qdtest::makeCutter;
using qdtest::QuadModel;
using qdtest::TriModel;

struct Query {
  int result = 0;
  Point3D position{};
  Point3D contact{};
  int kind = -1;
};

class PointDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dropPointResetState();
    dropResetState();
  }
  void TearDown() override {
    dropPointResetState();
    dropResetState();
  }
};

using PointDropFn = int (*)(Point3D*, double, const CutterShape*, const std::int32_t*, int,
                            Point3D*, int*);

Query dropWith(PointDropFn fn, double x, double y, double start, double ref, const CutterShape& cut,
               const std::int32_t* list, int count) {
  Query q;
  q.position = Point3D{x, y, start};
  q.result = fn(&q.position, ref, &cut, list, count, &q.contact, &q.kind);
  return q;
}

Query dropTris(double x, double y, double start, double ref, const CutterShape& cut,
               const std::int32_t* list, int count) {
  return dropWith(dropPointTris, x, y, start, ref, cut, list, count);
}

Query dropQuads(double x, double y, double start, double ref, const CutterShape& cut,
                const std::int32_t* list, int count) {
  return dropWith(dropPointQuads, x, y, start, ref, cut, list, count);
}

void expectSame(const Query& grid, const Query& all, int i) {
  ASSERT_EQ(grid.result, all.result) << i;
  ASSERT_EQ(grid.position.z, all.position.z) << i;
  ASSERT_EQ(grid.kind, all.kind) << i;
  if (all.kind != 0) {
    ASSERT_EQ(grid.contact.x, all.contact.x) << i;
    ASSERT_EQ(grid.contact.y, all.contact.y) << i;
    ASSERT_EQ(grid.contact.z, all.contact.z) << i;
  }
}

std::vector<Tri3D> mixedMesh() {
  std::vector<Tri3D> tris = qdtest::terrainMesh(20, 200);
  const std::vector<Tri3D> soup = qdtest::randomSoup(700, 200, 99);
  tris.insert(tris.end(), soup.begin(), soup.end());
  return tris;
}

std::vector<CutterShape> everyCutter() {
  return {makeCutter(kCutterBall, 10, 10), makeCutter(kCutterFlat, 10, 0),
          makeCutter(kCutterTorus, 10, 3), makeConeBand(6, 14, 4, 12)};
}

// The early stop of the bucket scan relies on ascending indices in every bucket and the margin of
// the grid on the reach of the cutter: the bucket must give exactly the all-facets answer.
TEST_F(PointDropTest, GridDropEqualsAllFacetsDropForEveryCutter) {
  const std::vector<Tri3D> tris = mixedMesh();
  std::mt19937_64 rng(2024);
  std::uniform_real_distribution<double> pos(-30, 230);
  const int queriesPerCutter = 25000;
  int hits = 0, facetHits = 0;
  for (const CutterShape& cut : everyCutter()) {
    CutterShape gridCutter = cut;
    if (cut.type == kCutterConeBand) gridCutter.type = kCutterFlat;  // margin: half the shank
    TriModel tm(tris, gridCutter);
    ASSERT_EQ(modelBuildIndex(&tm.m), 1);
    dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -10000, 10000, 0);
    const double start = tm.m.boxMin.z - 50, ref = tm.m.boxMax.z + 20;
    for (int i = 0; i < queriesPerCutter; ++i) {
      const double x = pos(rng), y = pos(rng);
      const TriangleGridCell* cell = triGridCell(tm.m.grid, x, y);
      const Query g = dropTris(x, y, start, ref, cut, cell->indices, cell->count);
      const Query a = dropTris(x, y, start, ref, cut, nullptr, 0);
      expectSame(g, a, i);
      hits += a.result != 0;
      facetHits += a.result == 2;
    }
  }
  // The queries meet facets, edges and corners alike.
  EXPECT_GT(hits, 70000);
  EXPECT_GT(facetHits, 3000);
  EXPECT_LT(facetHits, hits - 5000);
}

// The early stop is checked against a scan without it: every facet dropped onto on its own from
// the start height; the highest of those is the resting height.
TEST_F(PointDropTest, EarlyStopGivesTheHighestSingleFacetDrop) {
  const std::vector<Tri3D> tris = mixedMesh();
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> pos(-30, 230);
  int raised = 0;
  for (const CutterShape& cut : everyCutter()) {
    TriModel tm(tris, cut);
    dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -10000, 10000, 0);
    const double start = tm.m.boxMin.z - 50, ref = tm.m.boxMax.z + 20;
    for (int i = 0; i < 400; ++i) {
      const double x = pos(rng), y = pos(rng);
      double highest = start;
      for (int f = 0; f < tm.m.triangles->count; ++f) {
        double h = start;
        Point3D c{};
        int kind = 0;
        if (dropToolOnTri(tm.m.triangles->items[f], Point3D{x, y, ref}, cut, &h, &c, &kind) != 0) {
          highest = std::max(highest, h);
        }
      }
      const Query q = dropTris(x, y, start, ref, cut, nullptr, 0);
      ASSERT_EQ(q.position.z, highest) << "type " << cut.type << " query " << i;
      ASSERT_EQ(q.result != 0, highest > start) << "type " << cut.type << " query " << i;
      raised += highest > start;
    }
  }
  EXPECT_GT(raised, 1200);
}

TEST_F(PointDropTest, QuadGridDropEqualsAllFacetsDrop) {
  const std::vector<Tri3D> tris = mixedMesh();
  std::vector<QuadFacet> quads;
  for (std::size_t i = 0; i + 1 < tris.size(); i += 2) {
    // Terrain squares (pairs of triangles) become true four-corner facets, the rest triangles.
    const Tri3D& a = tris[i];
    const Tri3D& b = tris[i + 1];
    if (i < 800) {
      quads.push_back(qdtest::quadOf(a.v[0], a.v[1], a.v[2], b.v[2]));
    } else {
      quads.push_back(qdtest::quadOf(a.v[0], a.v[1], a.v[2], a.v[2]));
      quads.push_back(qdtest::quadOf(b.v[0], b.v[1], b.v[2], b.v[2]));
    }
  }
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> pos(-30, 230);
  for (const CutterShape& cut : everyCutter()) {
    CutterShape gridCutter = cut;
    if (cut.type == kCutterConeBand) gridCutter.type = kCutterFlat;
    QuadModel qm(quads, gridCutter);
    ASSERT_EQ(modelBuildIndex(&qm.m), 1);
    dropSetQuadModel(qm.m.quads, qm.m.quadCount, qm.m.facetMin, qm.m.facetMax, qm.m.boxMin.z,
                     qm.m.boxMax.z, 0);
    for (int i = 0; i < 4000; ++i) {
      const double x = pos(rng), y = pos(rng);
      const TriangleGridCell* cell = triGridCell(qm.m.grid, x, y);
      const Query g = dropQuads(x, y, -100, 100, cut, cell->indices, cell->count);
      const Query a = dropQuads(x, y, -100, 100, cut, nullptr, 0);
      expectSame(g, a, i);
    }
  }
}

TEST_F(PointDropTest, StartAboveEverythingAndTheMissReport) {
  const std::vector<Tri3D> tris = qdtest::terrainMesh(4, 40);
  TriModel tm(tris, makeCutter(kCutterBall, 5, 5));
  std::vector<QuadFacet> quads;
  for (const Tri3D& t : tris) quads.push_back(qdtest::quadOf(t.v[0], t.v[1], t.v[2], t.v[2]));
  QuadModel qm(quads, makeCutter(kCutterBall, 5, 5));
  const double z0 = 100;
  const struct {
    CutterShape cut;
    double contactZ;
    int trisResult, quadsResult;
  } cases[] = {{makeCutter(kCutterBall, 5, 5), z0 - 5, 1, 1},
               {makeCutter(kCutterFlat, 5, 0), z0, 1, 1},
               {makeCutter(kCutterTorus, 5, 2), z0 - 2, 1, 1},
               {makeConeBand(5, 8, 3, 6), z0 + 3, 0, 1}};
  for (int miss = 0; miss < 2; ++miss) {
    dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -10000, 10000, miss);
    dropSetQuadModel(qm.m.quads, qm.m.quadCount, qm.m.facetMin, qm.m.facetMax, -10000, 10000, miss);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "type " << c.cut.type << " miss " << miss);
      const Query t = dropTris(20, 20, z0, 200, c.cut, nullptr, 0);
      const Query q = dropQuads(20, 20, z0, 200, c.cut, nullptr, 0);
      EXPECT_EQ(t.position.z, z0);
      EXPECT_EQ(t.kind, 0);
      EXPECT_EQ(q.kind, 0);
      EXPECT_EQ(t.result, miss ? c.trisResult : 0);
      EXPECT_EQ(q.result, miss ? c.quadsResult : 0);
      if (miss) {
        EXPECT_EQ(t.contact.x, 20);
        EXPECT_EQ(t.contact.z, c.contactZ);
        EXPECT_EQ(q.contact.z, c.contactZ);
      }
    }
  }
}

TEST_F(PointDropTest, ResultCodesByContactAndHeightRange) {
  // Facet 0: a level square at z 2 around (0, 0); facet 1: a wall whose top edge at z 9 runs at
  // y = 6, reachable by a ball of radius 10 at (0, 0) but not by one at (0, -20).
  const std::vector<Tri3D> tris = {Tri3D{{{-30, -30, 2}, {30, -30, 2}, {0, 4, 2}}},
                                   Tri3D{{{-30, 6, 9}, {30, 6, 9}, {0, 6, -40}}}};
  const CutterShape ball = makeCutter(kCutterBall, 10, 10);
  TriModel tm(tris, ball);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -100, 100, 0);
  // Only the level facet in reach: a facet contact inside the range.
  Query q = dropTris(0, -20, -50, 100, ball, nullptr, 0);
  EXPECT_EQ(q.result, 2);
  EXPECT_EQ(q.position.z, 12);
  // The same outside the height range: 1.
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -100, 11.5, 0);
  EXPECT_EQ(dropTris(0, -20, -50, 100, ball, nullptr, 0).result, 1);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -100, 100, 0);
  // At (0, 0) the edge of the wall (scanned first: it is higher) holds the ball at
  // 9 + sqrt(100 - 36) = 17 and the level facet stays below: 1, kind 1.
  q = dropTris(0, 0, -50, 100, ball, nullptr, 0);
  EXPECT_EQ(q.result, 1);
  EXPECT_EQ(q.position.z, 17);
  EXPECT_EQ(q.contact.y, 6);
  // Scanning the level facet first (a candidate list in that order) raises by a facet contact,
  // then the edge raises higher: 2, with the edge's contact.
  const std::int32_t reversed[] = {1, 0};
  q = dropTris(0, 0, -50, 100, ball, reversed, 2);
  EXPECT_EQ(q.result, 2);
  EXPECT_EQ(q.position.z, 17);
  EXPECT_EQ(q.contact.y, 6);
  EXPECT_EQ(q.kind, 1);
  // Candidates wholly outside the tool's plan box, or not facets of the set at all: nothing.
  const std::int32_t bogus[] = {-1, 2, 1000000};
  EXPECT_EQ(dropTris(100, 100, -50, 100, ball, nullptr, 0).result, 0);
  EXPECT_EQ(dropTris(0, 0, -50, 100, ball, bogus, 3).result, 0);
  // Unusable queries return 0 and write nothing.
  Point3D contact{};
  int kind = 0;
  EXPECT_EQ(dropPointTris(nullptr, 100, &ball, nullptr, 0, &contact, &kind), 0);
  Point3D nanPos{std::nan(""), 0, -50};
  EXPECT_EQ(dropPointTris(&nanPos, 100, &ball, nullptr, 0, &contact, &kind), 0);
  dropPointResetState();
  EXPECT_EQ(dropTris(0, 0, -50, 100, ball, nullptr, 0).result, 0);
}

TEST_F(PointDropTest, EarlyStopUsesTheCutterReach) {
  // A level facet at z 0 and, under it in the scan order, one at z -3 reaching farther out.
  const std::vector<Tri3D> tris = {Tri3D{{{-5, -5, 0}, {5, -5, 0}, {0, 5, 0}}},
                                   Tri3D{{{-50, -50, -3}, {50, -50, -3}, {0, 50, -3}}}};
  TriModel tm(tris, makeCutter(kCutterFlat, 4, 0));
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -100, 100, 0);
  // The cone band over both: it stands on the upper facet's corner at radius 5, at
  // 0 - h(5); the lower facet's top then lies below best + taper length, so it is not tried.
  const CutterShape band = makeConeBand(4, 30, 1, 2);
  const double k = 1.0 / 26;
  Query q = dropTris(0, 0, -50, 100, band, nullptr, 0);
  EXPECT_EQ(q.result, 1);
  EXPECT_NEAR(q.position.z, -(1 + k), 1e-12);
  // A candidate list of only the lower facet: the band rests on its nearest edges, at the
  // distance 2500 / sqrt(12500) from the axis.
  const std::int32_t lower[] = {1};
  q = dropTris(0, 0, -50, 100, band, lower, 1);
  EXPECT_NEAR(q.position.z, -3 - (1 + k * (2500 / std::sqrt(12500.0) - 4)), 1e-12);
  // The band's plan box is half the shank: a facet 20 away is seen by it, not by the cutter.
  const std::vector<Tri3D> side = {Tri3D{{{20, -1, 7}, {22, -1, 7}, {21, 1, 7}}}};
  TriModel sm(side, makeCutter(kCutterFlat, 4, 0));
  dropSetTriModel(sm.m.triangles, sm.m.facetMin, sm.m.facetMax, -100, 100, 0);
  EXPECT_EQ(dropTris(0, 0, -50, 100, makeCutter(kCutterFlat, 4, 0), nullptr, 0).result, 0);
  q = dropTris(0, 0, -50, 100, band, nullptr, 0);
  EXPECT_EQ(q.result, 1);
  EXPECT_NEAR(q.position.z, 7 - (1 + k * (std::sqrt(401.0) - 4)), 1e-12);
}

TEST_F(PointDropTest, SubModelPushAndPop) {
  const std::vector<Tri3D> main = {Tri3D{{{-30, -30, 2}, {30, -30, 2}, {0, 30, 2}}}};
  TriModel tm(main, makeCutter(kCutterFlat, 5, 0));
  SubModel* sub = modelNewSubModel(&tm.m, 1.0, 0, 3, 1, 2);
  ASSERT_NE(sub, nullptr);
  tm.m.subModels = sub;
  lstTri3Append(sub->triangles, Tri3D{{{-30, -30, 7}, {30, -30, 7}, {0, 30, 7}}});
  qdtest::boxOfPoints(sub->triangles->items[0].v, 3, &sub->facetMin[0], &sub->facetMax[0]);
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, -100, 5, 0);
  EXPECT_EQ(dropTris(0, 0, -50, 100, *tm.m.cutter, nullptr, 0).position.z, 2);
  dropPushTriSubModel(sub);
  const Query q = dropTris(0, 0, -50, 100, sub->cutter, nullptr, 0);
  EXPECT_EQ(q.position.z, 8);  // the sub-model's torus (allowance 1) on its level facet
  EXPECT_EQ(q.result, 1);      // the main model's range 5 still applies
  dropPopTriSubModel();
  EXPECT_EQ(dropTris(0, 0, -50, 100, *tm.m.cutter, nullptr, 0).position.z, 2);
  EXPECT_EQ(dropTris(0, 0, -50, 100, *tm.m.cutter, nullptr, 0).result, 2);
}

}  // namespace
