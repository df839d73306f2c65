// Tests of the closing of traced pieces: open pieces over a square region with one island joined
// into closed paths whose areas are known, with and without the region's mesh; the failures of
// the end check, the contour search and the box test; the extension of cut-off corners with and
// without a triangle in a probe's way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "framework/global_params.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/lists.h"
#include "geometry/pko_list.h"
#include "geometry/tri_mesh.h"
#include "model/wcoll_contact.h"
#include "zlevel/closed_paths.h"

namespace {

using Polyline = std::vector<std::pair<double, double>>;

// The square 0..100 with the island 40..60 (clockwise), with or without mesh; the traced list,
// work list and piece starts of a level.
struct Closing {
  Kont2D* region = nullptr;
  PkoList* traced = pkoListNew(16);
  PkoList* work = pkoListNew(16);
  IntList* starts = lstIntNew(4);
  CollCtx ctx{};
  SliceContext slice{};

  explicit Closing(bool mesh) {
    region = kontNewRect(Point2D{0, 0}, Point2D{100, 100});
    region->closed = 1;
    Kont2D* island = kontNew(nullptr, 4);
    const double p[][2] = {{40, 40}, {40, 60}, {60, 60}, {60, 40}};
    for (int i = 0; i < 4; ++i) {
      const Seg2D s{p[i][0], p[i][1], p[(i + 1) % 4][0], p[(i + 1) % 4][1]};
      kontAppendSeg(island, &s);
    }
    island->closed = 1;
    island->depth = 1;
    island->prev = region;
    region->child = island;
    if (mesh) region->mesh = triPolyTriangulate(region);
    ctx.region = region;
    slice.traced = traced;
    slice.work = work;
    slice.pathStarts = starts;
  }
  Closing(const Closing&) = delete;
  Closing& operator=(const Closing&) = delete;
  ~Closing() {
    if (region != nullptr) triMeshFree(region->mesh);
    kontFree(region);
    pkoListFree(traced);
    pkoListFree(work);
    lstIntFree(starts);
  }

  void piece(const Polyline& pts) {
    lstIntAppend(starts, traced->count);
    for (std::size_t i = 0; i + 1 < pts.size(); ++i)
      pkoListAppend(
          traced, Seg3D{{pts[i].first, pts[i].second, 5}, {pts[i + 1].first, pts[i + 1].second, 5}},
          Point3D{1, 1, 1}, 3, 1);
  }

  int close() { return gen_closedpaths(&ctx, nullptr, nullptr, &slice); }

  // Areas of the output paths, each checked to close and to join end to start.
  std::vector<double> areas() const {
    std::vector<double> out;
    for (int k = 0; k < starts->count; ++k) {
      const int from = starts->items[k];
      const int to = k + 1 < starts->count ? starts->items[k + 1] : traced->count;
      double a = 0;
      for (int i = from; i < to; ++i) {
        const Seg3D& s = traced->segments[i];
        const Seg3D& next = traced->segments[i + 1 < to ? i + 1 : from];
        EXPECT_NEAR(s.end.x, next.start.x, 0.01);
        EXPECT_NEAR(s.end.y, next.start.y, 0.01);
        EXPECT_EQ(s.start.z, 5.0);
        a += s.start.x * s.end.y - s.end.x * s.start.y;
      }
      out.push_back(a / 2);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  std::vector<double> flat() const {
    std::vector<double> v;
    for (int i = 0; i < traced->count; ++i) {
      const Seg3D& s = traced->segments[i];
      for (double x : {s.start.x, s.start.y, s.end.x, s.end.y}) v.push_back(x);
    }
    return v;
  }
};

struct AreaCase {
  const char* name;
  std::vector<Polyline> pieces;
  std::vector<double> areas;  // ascending
};

TEST(GenClosedPaths, OpenPiecesCloseAlongTheContoursWithAndWithoutMesh) {
  const std::vector<AreaCase> cases = {
      {"outer and island pieces",
       {{{0, 20}, {100, 20}}, {{60, 45}, {80, 45}, {80, 55}, {60, 55}}},
       {200, 8000}},
      {"two pieces, one band", {{{0, 20}, {100, 20}}, {{100, 80}, {0, 80}}}, {6000}},
      {"rotated pairing", {{{100, 20}, {0, 20}}, {{0, 80}, {100, 80}}}, {2000, 2000}},
      {"closed piece alone", {{{10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}}}, {400}},
      {"ends off the contour by less than 0.01", {{{0.005, 20}, {99.995, 20}}}, {8000}},
  };
  for (const AreaCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> paths[2];
    for (const bool mesh : {true, false}) {
      Closing cl(mesh);
      if (mesh) {
        ASSERT_NE(cl.region->mesh, nullptr);
      }
      for (const Polyline& p : c.pieces) cl.piece(p);
      ASSERT_EQ(cl.close(), 1);
      const std::vector<double> a = cl.areas();
      ASSERT_EQ(a.size(), c.areas.size());
      for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], c.areas[i], 1e-6);
      paths[mesh ? 0 : 1] = cl.flat();
      // Bridges carry no contact: id -2 and the contour as kind.
      for (int i = 0; i < cl.traced->count; ++i)
        if (cl.traced->ids[i] == -2) {
          EXPECT_TRUE(cl.traced->kinds[i] == -1 || cl.traced->kinds[i] == 0);
          EXPECT_EQ(cl.traced->vectors[i].x, 0.0);
        }
    }
    ASSERT_EQ(paths[0].size(), paths[1].size());
    for (std::size_t i = 0; i < paths[0].size(); ++i) EXPECT_NEAR(paths[0][i], paths[1][i], 1e-9);
  }
}

TEST(GenClosedPaths, EndsOnOneSegmentWithTheStartAfterTheEndNeedOneBridge) {
  Closing cl(true);
  cl.piece({{60, 45}, {80, 45}, {80, 55}, {60, 55}});
  ASSERT_EQ(cl.close(), 1);
  EXPECT_EQ(cl.traced->count, 4);
  EXPECT_EQ(cl.starts->count, 1);
}

TEST(GenClosedPaths, FailuresOfTheEndsAndTheBox) {
  struct Case {
    const char* name;
    std::vector<Polyline> pieces;
    int want;
  };
  const std::vector<Case> cases = {
      {"two starts within 0.03", {{{0, 20}, {100, 20}}, {{0, 20.02}, {50, 30}, {100, 30}}}, -28},
      {"two ends within 0.03", {{{0, 20}, {100, 20}}, {{0, 30}, {50, 30}, {100, 20.02}}}, -28},
      {"ends and starts do not alternate", {{{0, 20}, {100, 20}}, {{0, 30}, {100, 30}}}, -41},
      {"an end 0.02 off every contour", {{{0, 20}, {99.98, 20}}}, -202},
      {"a path 2.0 beyond the region box", {{{0, 20}, {50, -2}, {100, 20}}}, -4},
  };
  for (const Case& c : cases) {
    for (const bool mesh : {true, false}) {
      SCOPED_TRACE(::testing::Message() << c.name << (mesh ? " with mesh" : " without mesh"));
      Closing cl(mesh);
      for (const Polyline& p : c.pieces) cl.piece(p);
      geoErrReset();
      EXPECT_EQ(cl.close(), c.want);
      EXPECT_EQ(geoErrCode(), c.want);
      if (c.want == -4) {
        EXPECT_GT(cl.traced->count, 0);  // the paths stay
      } else {
        EXPECT_EQ(cl.traced->count, 0);
        EXPECT_GE(cl.work->count, 1);  // the input stays in the work list
      }
    }
  }
}

TEST(GenClosedPaths, NothingToDo) {
  Closing cl(false);
  EXPECT_EQ(cl.close(), 0);  // empty list
  cl.piece({{0, 20}, {100, 20}});
  cl.ctx.region = nullptr;
  EXPECT_EQ(cl.close(), 0);
  EXPECT_EQ(cl.traced->count, 1);
  EXPECT_EQ(gen_closedpaths(nullptr, nullptr, nullptr, &cl.slice), -20);
}

TEST(ArczCheckPieceEnds, StartFirstOrderPasses) {
  // Ends 1.8, 3.8 and starts 1.2, 3.2 alternate only when read start first.
  const PieceEnd ends[] = {{100, 80, 1.8, -1}, {0, 20, 3.8, -1}};
  const PieceEnd starts[] = {{100, 20, 1.2, -1}, {0, 80, 3.2, -1}};
  EXPECT_EQ(arczCheckPieceEnds(ends, starts, 2), 1);
  const PieceEnd bad[] = {{100, 20, 1.2, -1}, {100, 30, 1.3, -1}};
  EXPECT_EQ(arczCheckPieceEnds(ends, bad, 2), -41);
}

// ---- corner extension ---------------------------------------------------------------------------

struct Corner {
  PkoList* list = pkoListNew(8);
  Tri3List* tris = nullptr;
  CollCtx ctx{};
  WalkTool tool{10, 10, 1};
  SliceContext slice{};
  std::int16_t seite = parGlobalBlock()->seite;

  Corner() {
    // A left turn from +x to +y whose corner at the origin is cut off by a chamfer.
    const double p[][2] = {{-2, 0}, {-1, 0}, {-0.1, 0}, {0, 0.1}, {0, 1}, {0, 2}};
    for (int i = 0; i < 5; ++i)
      pkoListAppend(list, Seg3D{{p[i][0], p[i][1], 3}, {p[i + 1][0], p[i + 1][1], 3}}, Point3D{}, i,
                    1);
    slice.traced = list;
  }
  Corner(const Corner&) = delete;
  Corner& operator=(const Corner&) = delete;
  ~Corner() {
    parGlobalBlock()->seite = seite;
    pkoListFree(list);
    if (tris != nullptr) lstBox3Free(tris);
  }
};

TEST(ArczRefineCorners, CornerExtendsOnlyWhereTheProbesAreFree) {
  struct Case {
    const char* name;
    int seite;
    bool obstacle;
    bool extended;
  };
  for (const Case& c : {Case{"free", 1, false, true}, Case{"triangle in the way", 1, true, false},
                        Case{"other machining sense", 0, false, false}}) {
    SCOPED_TRACE(c.name);
    Corner k;
    parGlobalBlock()->seite = static_cast<std::int16_t>(c.seite);
    if (c.obstacle) {
      // A wall 9.85 below the corner: the probe of radius 9.9 meets it near the corner only.
      k.tris = lstTri3New(2);
      lstTri3Append(k.tris, Tri3D{{{0.3, -9.85, -50}, {3, -9.85, -50}, {0.3, -9.85, 50}}});
      k.ctx.triangles = k.tris;
    }
    arczResetState();
    arczRefineCorners(&k.ctx, &k.tool, nullptr, &k.slice, 0, 5);
    const Seg3D& B = k.list->segments[2];
    const Seg3D& D = k.list->segments[3];
    if (c.extended) {
      EXPECT_EQ(B.end.x, 0.0);
      EXPECT_EQ(B.end.y, 0.0);
      EXPECT_EQ(D.start.x, 0.0);
      EXPECT_EQ(D.start.y, 0.0);
      EXPECT_EQ(B.end.z, 3.0);
      EXPECT_EQ(arczRefinedCount(), 1);
    } else {
      EXPECT_EQ(B.end.x, 0.0);
      EXPECT_EQ(B.end.y, 0.1);
      EXPECT_EQ(D.start.y, 0.1);
      EXPECT_EQ(arczRefinedCount(), 0);
    }
    // The neighbouring segments never move.
    EXPECT_EQ(k.list->segments[1].end.x, -0.1);
    EXPECT_EQ(k.list->segments[4].start.y, 1.0);
  }
}

TEST(ArczRefineCorners, ShortPiecesStay) {
  Corner k;
  parGlobalBlock()->seite = 1;
  arczResetState();
  arczRefineCorners(&k.ctx, &k.tool, nullptr, &k.slice, 1, 5);  // four segments
  EXPECT_EQ(k.list->segments[2].end.y, 0.1);
  EXPECT_EQ(arczRefinedCount(), 0);
}

}  // namespace
