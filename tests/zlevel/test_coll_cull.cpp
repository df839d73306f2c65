// Tests of the culling of the collision set by level paths and of the reduction to the region:
// the cases of a pocket level and an island level, the indexed parity against the plain count,
// allocation failures that leave the context as it was, and whole parts sliced from the top
// down with and without culling and reduction, which must give the same pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "level_fixture.h"
#include "mesh_distance.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "zlevel/coll_cull.h"
#include "zlevel/model_reduce.h"
#include "zlevel/zpath_fixture.h"

namespace {

using qdtest::zpathOf;
using qdtest::ZPoint;

Tri3D flatTri(double x, double y, double z, double size = 1) {
  return Tri3D{{{x, y, z}, {x + size, y, z}, {x, y + size, z}}};
}

// A context in index mode over the triangles (sorted highest first by their first corner's z,
// which the cases give as their top).
struct SmallCtx {
  Tri3List* tris = lstTri3New(8);
  std::vector<Point3D> lo, hi;
  CollCtx ctx{};
  explicit SmallCtx(std::vector<Tri3D> t) {
    std::stable_sort(t.begin(), t.end(),
                     [](const Tri3D& a, const Tri3D& b) { return a.v[0].z > b.v[0].z; });
    ctx.candidates = lstIntNew(static_cast<int>(t.size()));
    for (std::size_t i = 0; i < t.size(); ++i) {
      lstTri3Append(tris, t[i]);
      lstIntAppend(ctx.candidates, static_cast<int>(i));
      Point3D a = t[i].v[0], b = t[i].v[0];
      for (const Point3D& v : t[i].v) {
        a = Point3D{std::min(a.x, v.x), std::min(a.y, v.y), std::min(a.z, v.z)};
        b = Point3D{std::max(b.x, v.x), std::max(b.y, v.y), std::max(b.z, v.z)};
      }
      lo.push_back(a);
      hi.push_back(b);
    }
    ctx.triangles = tris;
    ctx.boxMin = lo.data();
    ctx.boxMax = hi.data();
  }
  ~SmallCtx() {
    lstBox3Free(tris);
    lstIntFree(ctx.candidates);
  }
  SmallCtx(const SmallCtx&) = delete;
  SmallCtx& operator=(const SmallCtx&) = delete;
  // The x of the first corner of every remaining candidate, in set order.
  std::vector<double> left() const {
    std::vector<double> out;
    for (int i = 0; i < ctx.candidates->count; ++i)
      out.push_back(tris->items[ctx.candidates->items[i]].v[0].x);
    return out;
  }
};

ZPath* square(double x0, double y0, double x1, double y1, double z, int material, bool cw) {
  std::vector<ZPoint> p = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  if (cw) std::reverse(p.begin(), p.end());
  ZPath* path = zpathOf(p, z);
  path->materialInside = material;
  return path;
}

ZPathList* listOf(std::initializer_list<ZPath*> paths) {
  ZPathList* list = zpathListNew(4);
  for (ZPath* p : paths) {
    zpathListAdd(list, p);
    zpathFree(p);
  }
  return list;
}

// The cases of a pocket level (a pocket path 0..100 at z 10, no material inside) and of an
// island level (the same square with material inside, no frame): far outside the pocket the
// triangle lies in material and goes; inside the pocket it stays; near an edge and straddling
// its line it stays; a top only 0.05 above the level is not examined.
TEST(ZpathCull, PocketAndIslandLevels) {
  const WalkTool tool{10, 10, 1};
  struct Case {
    const char* name;
    Tri3D tri;
    bool pocketKeeps, islandKeeps;
  };
  const std::vector<Case> cases = {
      {"far outside", flatTri(200, 50, 11), false, true},
      {"inside, far from the edges", flatTri(50, 50, 11), true, false},
      {"straddles an edge's line", Tri3D{{{95, 50, 11}, {105, 50, 11}, {95, 52, 11}}}, true, true},
      {"within 1.01 R of an edge, wholly outside", flatTri(110.05, 50, 11), true, true},
      {"only 0.05 above", flatTri(200, 50, 10.05), true, true},
  };
  for (int island = 0; island < 2; ++island) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (island ? " (island)" : " (pocket)"));
      // A far triangle spans the candidate box for the frame.
      SmallCtx sc({c.tri, flatTri(-300, -300, 12), flatTri(400, 400, 12)});
      ZPathList* list = listOf({square(0, 0, 100, 100, 10, island, island == 0)});
      ASSERT_EQ(zpathListCullCollisionSet(list, &sc.ctx, &tool), 1);
      const std::vector<double> left = sc.left();
      const bool kept = std::find(left.begin(), left.end(), c.tri.v[0].x) != left.end();
      EXPECT_EQ(kept, island ? c.islandKeeps : c.pocketKeeps);
      // The far corner triangles lie in the material of the pocket level only.
      EXPECT_EQ(left.size(), (kept ? 1u : 0u) + (island ? 2u : 0u));
      zpathListFree(list);
    }
  }
}

// Inside an island inside a pocket the count is 3: the triangle goes; between them (count 2) it
// stays. Nothing above 0.1 of the level gives 0; an empty list or context gives 0.
TEST(ZpathCull, IslandInAPocketAndEmptyCases) {
  const WalkTool tool{10, 10, 1};
  SmallCtx sc(
      {flatTri(50, 50, 20), flatTri(15, 50, 20), flatTri(-300, -300, 12), flatTri(400, 400, 12)});
  ZPathList* list =
      listOf({square(0, 0, 100, 100, 10, 0, true), square(30, 30, 70, 70, 10, 1, false)});
  ASSERT_EQ(zpathListCullCollisionSet(list, &sc.ctx, &tool), 1);
  EXPECT_EQ(sc.left(), std::vector<double>{15});
  EXPECT_EQ(list->items[1].nestingDepth, 1);

  SmallCtx low({flatTri(200, 50, 10.05)});
  EXPECT_EQ(zpathListCullCollisionSet(list, &low.ctx, &tool), 0);
  ZPathList* empty = zpathListNew(1);
  EXPECT_EQ(zpathListCullCollisionSet(empty, &low.ctx, &tool), 0);
  EXPECT_EQ(zpathListCullCollisionSet(nullptr, &low.ctx, &tool), 0);
  CollCtx none{};
  EXPECT_EQ(zpathListCullCollisionSet(list, &none, &tool), 0);
  EXPECT_EQ(zpathListCullCollisionSet(list, nullptr, &tool), -20);
  zpathListFree(empty);
  zpathListFree(list);
}

// Every allocation that fails leaves the context as it was and gives -1.
TEST(ZpathCull, AllocationFailureLeavesTheContext) {
  const WalkTool tool{10, 10, 1};
  bool passed = false;
  int failures = 0;
  for (int n = 1; n < 40 && !passed; ++n) {
    SmallCtx sc({flatTri(200, 50, 11), flatTri(50, 50, 11), flatTri(-300, -300, 12)});
    ZPathList* list = listOf({square(0, 0, 100, 100, 10, 0, true)});
    memTestFailAt(n);
    const int r = zpathListCullCollisionSet(list, &sc.ctx, &tool);
    memTestFailAt(0);
    if (r == 1) {
      passed = true;
      EXPECT_EQ(sc.left().size(), 1u);
    } else {
      ++failures;
      EXPECT_EQ(r, -1) << n;
      EXPECT_EQ(sc.left().size(), 3u) << n;
    }
    zpathListFree(list);
  }
  EXPECT_TRUE(passed);
  EXPECT_GT(failures, 0);
}

// The y-indexed parity equals the plain count over nested random polygons and a frame.
TEST(ZpathParityIndex, EqualsThePlainCount) {
  std::mt19937 rng(107);
  std::uniform_real_distribution<double> u(-60, 60);
  for (int round = 0; round < 10; ++round) {
    std::vector<ZPath*> owned;
    owned.push_back(zpathOf(qdtest::randomStar(rng, 40, 0, 0, 50)));
    owned.push_back(zpathOf(qdtest::randomStar(rng, 30, 0, 0, 20, true)));
    owned.push_back(zpathOf(qdtest::randomStar(rng, 12, 5, 5, 6)));
    owned.push_back(zpathOf(qdtest::randomStar(rng, 25, 30, -30, 25)));
    owned.push_back(square(-70, -70, 70, 70, 0, 1, false));
    const ZpathParityIndex index(owned.data(), static_cast<int>(owned.size()));
    for (int k = 0; k < 2000; ++k) {
      double x = u(rng), y = u(rng);
      if (k % 4 == 0) {  // on a vertex's height and abscissa
        const ZPath* p = owned[static_cast<std::size_t>(k / 4) % owned.size()];
        x = p->points[2 * (k % p->count)];
        y = p->points[2 * (k % p->count) + 1];
      }
      ASSERT_EQ(index.parity(x, y),
                zpathParityPlain(owned.data(), static_cast<int>(owned.size()), x, y))
          << x << " " << y;
    }
    for (ZPath* p : owned) zpathFree(p);
  }
}

}  // namespace

namespace {

// One level's result: the traced segments with ids, kinds and touching points, and the piece
// starts.
struct LevelResult {
  int code = 0;
  std::vector<double> coords;
  std::vector<Point3D> touch;
  std::vector<int> ids, kinds, starts;
};

// Two results are the same level when codes, piece starts, points (to 1e-9) and kinds agree and
// each
// contact names the same element: a face contact the same triangle; an edge or vertex contact a
// triangle that has the touching point on it (triangles sharing the edge or vertex are equal
// answers, and which one the search meets first depends on the order of the boxes it sorts);
// a wall contact some triangle (the wall deduplication keeps one of the triangles that gave an
// equal segment).
std::string sameLevel(const LevelResult& a, const LevelResult& b, const Tri3List* model) {
  if (a.code != b.code || a.starts != b.starts || a.coords.size() != b.coords.size())
    return "codes, pieces or counts differ";
  for (std::size_t i = 0; i < a.coords.size(); ++i) {
    // An edge met through the other triangle that shares it runs the other way: the rounding
    // of its contact may differ in the last bits.
    if (std::fabs(a.coords[i] - b.coords[i]) > 1e-9) {
      const std::size_t k = i / 4;
      return "segment " + std::to_string(k) + " of " + std::to_string(a.ids.size()) + " ends " +
             std::to_string(a.coords[4 * k + 2]) + " " + std::to_string(a.coords[4 * k + 3]) +
             " against " + std::to_string(b.coords[4 * k + 2]) + " " +
             std::to_string(b.coords[4 * k + 3]) + ", id/kind " + std::to_string(a.ids[k]) + "/" +
             std::to_string(a.kinds[k]) + " against " + std::to_string(b.ids[k]) + "/" +
             std::to_string(b.kinds[k]);
    }
  }
  for (std::size_t i = 0; i < a.ids.size(); ++i) {
    const int kind = std::abs(a.kinds[i]);
    bool same = a.ids[i] == b.ids[i] && a.kinds[i] == b.kinds[i];
    if (!same && kind == 4) same = a.ids[i] >= 0 && b.ids[i] >= 0;
    if (!same && (kind == 2 || kind == 3) && a.ids[i] >= 0 && b.ids[i] >= 0) {
      same = qdtest::pointTriangle(a.touch[i], model->items[a.ids[i]]) < 1e-6 &&
             qdtest::pointTriangle(b.touch[i], model->items[b.ids[i]]) < 1e-6;
    }
    if (!same) {
      return "segment " + std::to_string(i) + ": id/kind " + std::to_string(a.ids[i]) + "/" +
             std::to_string(a.kinds[i]) + " against " + std::to_string(b.ids[i]) + "/" +
             std::to_string(b.kinds[i]) + " touching " + std::to_string(a.touch[i].x) + " " +
             std::to_string(a.touch[i].y) + " " + std::to_string(a.touch[i].z);
    }
  }
  return "";
}

LevelResult resultOf(const qdtest::LevelPart& part, int code) {
  LevelResult r;
  r.code = code;
  const PkoList* l = part.traced();
  for (int i = 0; i < l->count; ++i) {
    const Seg3D& s = l->segments[i];
    for (double v : {s.start.x, s.start.y, s.end.x, s.end.y}) r.coords.push_back(v);
    r.ids.push_back(l->ids[i]);
    r.touch.push_back(l->vectors[i]);
    r.kinds.push_back(l->kinds[i]);
  }
  r.starts.assign(part.pieceStarts()->items, part.pieceStarts()->items + part.pieceStarts()->count);
  return r;
}

// Slices the levels from the top down; with `cull` the level's paths cull the context after
// each level (when every path has an area of at least 1). Returns the results and the candidate
// count after each level.
std::vector<LevelResult> sliceDown(qdtest::LevelPart& part, const std::vector<double>& levels,
                                   bool cull, std::vector<int>* counts) {
  std::vector<LevelResult> out;
  for (double Z : levels) {
    const int code = part.slice(Z);
    out.push_back(resultOf(part, code));
    if (cull && code >= 0) {
      ZPathList* list = zpathListNew(4);
      part.pathsInto(list, Z);
      bool large = list->count > 0;
      for (int i = 0; i < list->count; ++i) large = large && std::fabs(list->items[i].area) >= 1;
      if (large) {
        EXPECT_GE(zpathListCullCollisionSet(list, &part.ctx(), &part.tool()), 0);
      }
      zpathListFree(list);
    }
    if (counts != nullptr) counts->push_back(collSetCount(&part.ctx()));
  }
  return out;
}

std::vector<double> levelsOf(const qdtest::LevelPart& part, int n, double lowest) {
  std::vector<double> z;
  const double top = const_cast<qdtest::LevelPart&>(part).model().boxMax.z;
  for (int k = 1; k <= n; ++k) z.push_back(top + 10.0 - (top - lowest) * k / (n + 0.37));
  return z;
}

std::vector<Tri3D> fromGen(const qdtest::gen::Mesh& m) {
  std::vector<Tri3D> out;
  for (const auto& t : m.tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    out.push_back(q);
  }
  return out;
}

// Culling removes triangles and changes no piece, no point and no id (list mode 1: ids are the
// model's triangle indices).
void expectCullingKeepsTheLevels(std::vector<Tri3D> tris, int levels) {
  qdtest::scaleToTool(tris);
  qdtest::LevelPart plain(tris, 1, 10.0, 5.0);
  qdtest::LevelPart culled(tris, 1, 10.0, 5.0);
  plain.useListMode();
  culled.useListMode();
  const std::vector<double> z = levelsOf(plain, levels, plain.model().boxMin.z);
  std::vector<int> counts;
  const std::vector<LevelResult> a = sliceDown(plain, z, false, nullptr);
  const std::vector<LevelResult> b = sliceDown(culled, z, true, &counts);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_GE(a[k].code, 0) << "level " << z[k];
    EXPECT_EQ(sameLevel(a[k], b[k], plain.model().triangles), "") << "level " << z[k];
  }
  EXPECT_LT(counts.back(), plain.model().triangles->count) << "culling removed nothing";
}

TEST(ZpathCullParts, GeneratedSphereOnPlateSameLevels) {
  expectCullingKeepsTheLevels(fromGen(qdtest::gen::sphereOnPlate()), 12);
}

TEST(ZpathCullParts, GeneratedWheelInBoxSameLevels) {
  expectCullingKeepsTheLevels(fromGen(qdtest::gen::wheelInBox()), 12);
}

TEST(ZpathCullParts, RealPartsSameLevels) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  for (const char* file : {"sphere_on_plate.stl", "wheel_in_box.stl"}) {
    SCOPED_TRACE(file);
    expectCullingKeepsTheLevels(qdtest::readTriangles(qdtest::dataPath(file)), 10);
  }
}

// With "*ACCEPT_UNDERCUT" the lower levels reach under what the upper levels enclose: culling
// must change no level there either.
TEST(ZpathCullParts, AcceptedUndercutsSameLevels) {
  const GlobalParams saved = *parGlobalBlock();
  parGlobalBlock()->acceptUndercut = 1;
  expectCullingKeepsTheLevels(fromGen(qdtest::gen::sphereOnPlate()), 12);
  *parGlobalBlock() = saved;
}

}  // namespace

namespace {

Kont2D* rectContour(double x0, double y0, double x1, double y1, bool cw) {
  Kont2D* k = kontNewRect(Point2D{x0, y0}, Point2D{x1, y1});
  k->closed = 1;
  if (cw) {
    for (int i = 0; i < k->count; ++i) {
      std::swap(k->segments[i].x1, k->segments[i].x2);
      std::swap(k->segments[i].y1, k->segments[i].y2);
    }
    std::reverse(k->segments, k->segments + k->count);
  }
  return k;
}

// The region 0..100 with the island 40..60.
Kont2D* regionWithIsland() {
  Kont2D* outer = rectContour(0, 0, 100, 100, false);
  Kont2D* island = rectContour(40, 40, 60, 60, true);
  island->depth = 1;
  island->prev = outer;
  outer->child = island;
  return outer;
}

// Triangles of side 1 at the given x (y 50 unless given), in index mode and list mode.
struct ReduceCase {
  const char* name;
  Tri3D tri;
  bool kept;
};

TEST(ArczReduce, TheTestOfOneTriangle) {
  const double R = 10;
  const std::vector<ReduceCase> cases = {
      {"far outside", flatTri(200, 50, 1), false},
      {"outside, grown box touches a segment's box", flatTri(110.1, 50, 1), true},
      {"outside, grown box just clear", flatTri(110.11, 50, 1), false},
      {"inside the region", flatTri(25, 25, 1), true},
      {"inside the island, far from its edges", Tri3D{{{49, 49, 1}, {51, 49, 1}, {50, 51, 1}}},
       true},  // the island is not wider than 2R + the grown box: it meets the island's edges
      {"partly over the island", flatTri(59.5, 50, 1, 3), true},
  };
  Kont2D* region = regionWithIsland();
  for (const ReduceCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Tri3D> tris(10, flatTri(20, 20, 2));  // ten kept pairs: above the 9 limit
    tris.push_back(c.tri);
    // Index mode: the triangle box's area exceeds the region's.
    std::vector<Tri3D> withFar = tris;
    withFar.push_back(flatTri(-500, -500, 3));
    SmallCtx sc(withFar);
    sc.ctx.region = region;
    ASSERT_EQ(arczReduceByIndex(&sc.ctx, &R), 0);
    const std::vector<double> left = sc.left();
    EXPECT_EQ(std::count(left.begin(), left.end(), c.tri.v[0].x), c.kept ? 1 : 0);
    // List mode.
    CollCtx ctx{};
    ctx.region = region;
    ctx.pairs = lstPairNew(16);
    for (Tri3D& t : tris) lstPairAppend(ctx.pairs, PtrValPair{&t, 0});
    WalkParams w{};
    w.mode = 1;
    ASSERT_EQ(arczReduceElements(&ctx, &R, &w), 0);
    EXPECT_EQ(ctx.pairs->count, c.kept ? 11 : 10);
    lstRecFree(ctx.pairs);
  }
  kontFree(region);
}

TEST(ArczReduce, IslandsWiderThan2RAndNothingToDo) {
  const double R = 10;
  Kont2D* outer = rectContour(0, 0, 100, 100, false);
  Kont2D* island = rectContour(20, 20, 80, 80, true);
  island->depth = 1;
  island->prev = outer;
  outer->child = island;
  std::vector<Tri3D> tris(10, flatTri(10, 10, 2));
  tris.push_back(flatTri(50, 50, 1));   // deep in the island: goes
  tris.push_back(flatTri(120, 20, 1));  // outside: goes only when the outer is processed
  SmallCtx sc(tris);
  sc.ctx.region = outer;
  ASSERT_EQ(arczReduceByIndex(&sc.ctx, &R), 0);
  // The triangles' box (10..121 x 10..51) is smaller than the region's area: the outer contour
  // is not processed.
  const std::vector<double> left = sc.left();
  EXPECT_EQ(left.size(), 11u);
  EXPECT_EQ(std::count(left.begin(), left.end(), 120.0), 1);
  // The box variant: islands of every region, nothing for a positive mode.
  SmallCtx again(tris);
  again.ctx.region = outer;
  WalkParams w{};
  w.mode = 1;
  EXPECT_EQ(arczReduceByBox(&again.ctx, &R, &w), 1);
  EXPECT_EQ(again.left().size(), 12u);
  w.mode = 0;
  EXPECT_EQ(arczReduceByBox(&again.ctx, &R, &w), 0);
  EXPECT_EQ(again.left().size(), 11u);

  // A pair list of exactly 9 pairs is left alone (code 1 recorded); no region likewise.
  CollCtx ctx{};
  ctx.region = outer;
  ctx.pairs = lstPairNew(16);
  for (int i = 0; i < 9; ++i) lstPairAppend(ctx.pairs, PtrValPair{&tris[11], 0});
  geoErrReset();
  EXPECT_EQ(arczReduceElements(&ctx, &R, &w), 1);
  w.mode = 1;
  EXPECT_EQ(arczReduceElements(&ctx, &R, &w), 1);
  EXPECT_EQ(geoErrCode(), 1);
  EXPECT_EQ(ctx.pairs->count, 9);
  ctx.region = nullptr;
  lstPairAppend(ctx.pairs, PtrValPair{&tris[11], 0});
  EXPECT_EQ(arczReduceElements(&ctx, &R, &w), 1);
  lstRecFree(ctx.pairs);
  kontFree(outer);
}

// A part reduced to a region that covers part of it, with an island: no removed triangle's box
// grown by R + 0.1 meets the region (the rectangles decide exactly), and every level sliced on
// the reduced candidates is the level sliced on all of them.
TEST(ArczReduce, RemovedTrianglesStayClearAndLevelsStay) {
  std::vector<Tri3D> tris = fromGen(qdtest::gen::wheelInBox());
  qdtest::scaleToTool(tris);
  qdtest::LevelPart plain(tris, 1, 10.0, 5.0);
  qdtest::LevelPart reduced(tris, 1, 10.0, 5.0);
  const double x0 = -150, y0 = -250, x1 = 300, y1 = 250, i0 = 0, i1 = 120;
  for (qdtest::LevelPart* p : {&plain, &reduced}) {
    Kont2D* outer = rectContour(x0, y0, x1, y1, false);
    Kont2D* island = rectContour(i0, -60, i1, 60, true);
    island->depth = 1;
    island->prev = outer;
    outer->child = island;
    p->useRegion(outer);
    p->useListMode();
  }
  const double R = 10;
  std::vector<const Tri3D*> before;
  const PtrValPair* pairs = static_cast<const PtrValPair*>(reduced.ctx().pairs->items);
  for (int i = 0; i < reduced.ctx().pairs->count; ++i)
    before.push_back(static_cast<const Tri3D*>(pairs[i].ptr));
  WalkParams w{};
  w.mode = 1;
  ASSERT_EQ(arczReduceElements(&reduced.ctx(), &R, &w), 0);
  pairs = static_cast<const PtrValPair*>(reduced.ctx().pairs->items);
  std::vector<const Tri3D*> after;
  for (int i = 0; i < reduced.ctx().pairs->count; ++i)
    after.push_back(static_cast<const Tri3D*>(pairs[i].ptr));
  ASSERT_LT(after.size(), before.size());
  int removed = 0;
  for (const Tri3D* t : before) {
    if (std::find(after.begin(), after.end(), t) != after.end()) continue;
    ++removed;
    double bx0 = 1e300, by0 = 1e300, bx1 = -1e300, by1 = -1e300;
    for (const Point3D& v : t->v) {
      bx0 = std::min(bx0, v.x - R - 0.1), by0 = std::min(by0, v.y - R - 0.1);
      bx1 = std::max(bx1, v.x + R + 0.1), by1 = std::max(by1, v.y + R + 0.1);
    }
    const bool outside = bx1 < x0 || bx0 > x1 || by1 < y0 || by0 > y1;
    const bool inIsland = bx0 > i0 && bx1 < i1 && by0 > -60 && by1 < 60;
    EXPECT_TRUE(outside || inIsland) << bx0 << " " << by0 << " " << bx1 << " " << by1;
  }
  EXPECT_GT(removed, 0);
  const std::vector<double> z = levelsOf(plain, 8, plain.model().boxMin.z);
  const std::vector<LevelResult> a = sliceDown(plain, z, false, nullptr);
  const std::vector<LevelResult> b = sliceDown(reduced, z, false, nullptr);
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_GE(a[k].code, 0) << "level " << z[k];
    EXPECT_EQ(sameLevel(a[k], b[k], plain.model().triangles), "") << "level " << z[k];
  }
}

}  // namespace
