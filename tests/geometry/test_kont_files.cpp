// Tests of the boundary text reader, segment dumps and snapshot copies: round trips through the
// module's own writers, hand-written files with known contours, and the failure codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/kont_snapshot.h"
#include "kont_shapes.h"
#include "support/temp_dir.h"

namespace {
using qdtest::kontFromPoints;
using qdtest::readFile;
using qdtest::writeFile;

class KontFilesTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    qdtest::TempDirTest::SetUp();
    geoResetState();
    kontResetState();
    kontFilesResetState();
  }
};

struct List {
  Kont2D* k = nullptr;
  explicit List(Kont2D* p) : k(p) {}
  ~List() { kontFree(k); }
};

// Outer star with star islands at a height.
Kont2D* starRegion(std::uint32_t seed, int islands, double z) {
  std::mt19937 rng(seed);
  Kont2D* outer = kontFromPoints(qdtest::star(rng, {0, 0}, 25, 70, 100, false), z);
  std::vector<Kont2D*> isl;
  for (int i = 0; i < islands; ++i)
    isl.push_back(kontFromPoints(qdtest::star(rng, {-30.0 + 20.0 * i, 10.0}, 7, 3, 6, true), z));
  qdtest::kontHangIslands(outer, isl);
  return outer;
}

int islandCount(const Kont2D* r) {
  int n = 0;
  for (const Kont2D* i = r->child; i != nullptr; i = i->next) ++n;
  return n;
}

void expectSameRegion(const Kont2D* a, const Kont2D* b, double tol) {
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(islandCount(a), islandCount(b));
  const Kont2D* kb = b;
  for (const Kont2D* ka = a; ka != nullptr; ka = kontWalkNext(a, ka), kb = kontWalkNext(b, kb)) {
    ASSERT_NE(kb, nullptr);
    ASSERT_EQ(ka->count, kb->count);
    EXPECT_EQ(kontOrientation(ka), kontOrientation(kb));
    for (int i = 0; i < ka->count; ++i) {
      const Seg2D &s = ka->segments[i], &t = kb->segments[i];
      EXPECT_NEAR(s.x1, t.x1, tol);
      EXPECT_NEAR(s.y1, t.y1, tol);
      EXPECT_NEAR(s.x2, t.x2, tol);
      EXPECT_NEAR(s.y2, t.y2, tol);
    }
  }
}

TEST_F(KontFilesTest, RegionWithIslandsRoundTripsThroughTheFile) {
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    List src(starRegion(seed, 3, 5.0));
    const std::string name = "rt" + std::to_string(seed) + ".bnd";
    ASSERT_EQ(kontAppendBndWz(src.k, name.c_str()), 1);
    List back(kontReadBnd(name.c_str(), 1, 1));
    expectSameRegion(src.k, back.k, 1e-6);
    EXPECT_EQ(back.k->next, nullptr);
    EXPECT_EQ(back.k->depth, 0);
    EXPECT_EQ(back.k->child->depth, 1);
    EXPECT_DOUBLE_EQ(back.k->z, 5.0);
    // Asking for clockwise outer contours turns every contour.
    List cw(kontReadBnd(name.c_str(), -1, 0));
    ASSERT_NE(cw.k, nullptr);
    EXPECT_EQ(kontOrientation(cw.k), -1);
    EXPECT_EQ(kontOrientation(cw.k->child), 1);
    EXPECT_DOUBLE_EQ(cw.k->z, 0.0);
  }
}

TEST_F(KontFilesTest, WorldCoordinatesAreTruncatedToTheGrid) {
  writeFile("t.bnd", "**BND 1\nX1.23456 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX1.23456 Y0 Z0\n**END\n");
  List k(kontReadBndFlat("t.bnd"));
  ASSERT_NE(k.k, nullptr);
  EXPECT_DOUBLE_EQ(k.k->segments[0].x1, 1.234);
  kontSetNoRound(1);
  List exact(kontReadBndFlat("t.bnd"));
  ASSERT_NE(exact.k, nullptr);
  EXPECT_DOUBLE_EQ(exact.k->segments[0].x1, 1.23456);
}

// Hand-written blocks and the contour each must give (points of the counter-clockwise result,
// starting at the first point of the block).
TEST_F(KontFilesTest, BlocksGiveTheirContours) {
  struct Case {
    const char* what;
    const char* text;
    std::vector<Point2D> expect;
  };
  const std::vector<Case> cases = {
      {"closed triangle",
       "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX10 Y10 Z5\nX0 Y0 Z5\n**END\n",
       {{0, 0}, {10, 0}, {10, 10}}},
      // A square without the closing repeat lost its last point and became a triangle.
      {"no closing repeat",
       "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX10 Y10 Z5\nX0 Y10 Z5\n**END\n",
       {{0, 0}, {10, 0}, {10, 10}, {0, 10}}},
      {"repeated point counts once",
       "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX10 Y0 Z5\nX10 Y10 Z5\nX0 Y10 Z5\nX0 Y0 Z5\n**END\n",
       {{0, 0}, {10, 0}, {10, 10}, {0, 10}}},
      {"line without Z ignored",
       "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX1.5 Y2\nX10 Y10 Z5\nX0 Y0 Z5\n**END\n",
       {{0, 0}, {10, 0}, {10, 10}}},
      {"no end line",
       "junk **BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX10 Y10 Z5",
       {{0, 0}, {10, 0}, {10, 10}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile("b.bnd", c.text);
    for (int constZ : {1, 0}) {
      List k(kontReadBnd("b.bnd", 1, constZ));
      ASSERT_NE(k.k, nullptr) << geoErrCode();
      EXPECT_EQ(k.k->closed, 1);
      EXPECT_DOUBLE_EQ(k.k->z, constZ != 0 ? 5.0 : 0.0);
      EXPECT_DOUBLE_EQ(k.k->zmin, 5.0);
      EXPECT_DOUBLE_EQ(k.k->zmax, 5.0);
      ASSERT_EQ(k.k->count, static_cast<int>(c.expect.size()));
      for (std::size_t i = 0; i < c.expect.size(); ++i) {
        const Seg2D& s = k.k->segments[i];
        const Point2D& e = c.expect[(i + 1) % c.expect.size()];
        EXPECT_DOUBLE_EQ(s.x1, c.expect[i].x);
        EXPECT_DOUBLE_EQ(s.y1, c.expect[i].y);
        EXPECT_DOUBLE_EQ(s.x2, e.x);
        EXPECT_DOUBLE_EQ(s.y2, e.y);
      }
    }
  }
}

// A block whose heights vary within the constant-z tolerance: with constZ its points lie at the
// reference height, so zmin and zmax stayed off it at 4.996 and 5.004; without, they follow the
// file.
TEST_F(KontFilesTest, ZRangeFollowsTheReferenceInConstantZMode) {
  writeFile("z.bnd",
            "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5.004\nX10 Y10 Z4.996\nX0 Y10 Z5\nX0 Y0 Z5\n**END\n");
  const struct {
    int constZ;
    double z, zmin, zmax;
  } cases[] = {{1, 5.0, 5.0, 5.0}, {0, 0.0, 4.996, 5.004}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.constZ);
    List k(kontReadBnd("z.bnd", 1, c.constZ));
    ASSERT_NE(k.k, nullptr) << geoErrCode();
    EXPECT_DOUBLE_EQ(k.k->z, c.z);
    EXPECT_DOUBLE_EQ(k.k->zmin, c.zmin);
    EXPECT_DOUBLE_EQ(k.k->zmax, c.zmax);
  }
}

TEST_F(KontFilesTest, FailuresGiveNullAndTheirCodes) {
  struct Case {
    const char* what;
    const char* text;  // null: no file
    int code;
  };
  const std::vector<Case> cases = {
      {"missing file", nullptr, -29},
      {"empty file", "", -1},
      {"no header", "X0 Y0 Z0\nX1 Y0 Z0\n", -1},
      {"only short blocks", "**BND 1\nX0 Y0 Z0\nX1 Y0 Z0\n**END\n**BND 2\n**END\n", 0},
      // Three points on one line merged into a two-segment contour that enclosed nothing.
      {"collinear block", "**BND 1 **WZ\nX20 Y0 Z5\nX30 Y0 Z5\nX25 Y0 Z5\n**END\n", 0},
      {"z off the constant height",
       "**BND 1 **WZ\nX0 Y0 Z5\nX10 Y0 Z5\nX10 Y10 Z5.5\nX0 Y0 Z5\n**END\n", -20},
      {"bow tie", "**BND 1 **WZ\nX0 Y0 Z0\nX10 Y10 Z0\nX10 Y0 Z0\nX0 Y10 Z0\n**END\n", -41},
      {"crossing contours",
       "**BND 1 **WZ\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX0 Y10 Z0\n**END\n"
       "**BND 2 **WZ\nX5 Y5 Z0\nX15 Y5 Z0\nX15 Y15 Z0\nX5 Y15 Z0\n**END\n",
       -41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.text != nullptr) writeFile("f.bnd", c.text);
    EXPECT_EQ(kontReadBnd(c.text != nullptr ? "f.bnd" : "nothing.bnd", 1, 1), nullptr);
    EXPECT_EQ(geoErrCode(), c.code);
  }
  EXPECT_EQ(kontReadBnd(nullptr, 1, 0), nullptr);
  EXPECT_EQ(geoErrCode(), -1);
}

// A region file with an island outside its outer contour reads as two regions.
TEST_F(KontFilesTest, ContourOutsideAnotherIsARegionOfItsOwn) {
  writeFile("two.bnd",
            "**BND 1 **WZ\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX0 Y10 Z0\n**END\n"
            "**BND 2 **WZ\nX20 Y0 Z0\nX20 Y5 Z0\nX25 Y5 Z0\nX25 Y0 Z0\n**END\n");
  List k(kontReadBnd("two.bnd", 1, 1));
  ASSERT_NE(k.k, nullptr);
  ASSERT_NE(k.k->next, nullptr);
  EXPECT_EQ(k.k->child, nullptr);
  EXPECT_EQ(kontOrientation(k.k->next), 1);
}

TEST_F(KontFilesTest, SegmentDumpsAreNumbered) {
  List sq(kontFromPoints(qdtest::square(0.5, 0.5, 0.5)));
  EXPECT_EQ(kontDumpNumbered(sq.k), 1);
  EXPECT_EQ(kontDumpNumbered(sq.k), 1);
  EXPECT_EQ(readFile("00000000.kf"),
            "0.000000 0.000000 1.000000 0.000000\n1.000000 0.000000 1.000000 1.000000\n"
            "1.000000 1.000000 0.000000 1.000000\n0.000000 1.000000 0.000000 0.000000\n");
  EXPECT_TRUE(qdtest::fileExists("00000001.kf"));
  EXPECT_EQ(kontDumpNumbered(nullptr), -1);
  EXPECT_EQ(kontDumpNumbered(sq.k), 1);
  EXPECT_TRUE(qdtest::fileExists("00000002.kf"));
  EXPECT_EQ(kontWriteSegs(sq.k, "no/such/dir/x.kf"), -1);
}

TEST_F(KontFilesTest, SnapshotCopyRoundsAndOrients) {
  List sq(kontFromPoints({{0.1234567, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.23456789));
  KontSnapshot* snap = kontSnapInit(sq.k);
  ASSERT_NE(snap, nullptr);
  EXPECT_EQ(snap->lines[1], "X0.123457 Y0.000000 Z1.23457");
  EXPECT_EQ(snap->lines.back(), "**END");
  EXPECT_EQ(snap->lines[0].rfind("**BND ", 0), 0u);
  List back(kontSnapToRegions(snap, 1, 1));
  ASSERT_NE(back.k, nullptr);
  EXPECT_DOUBLE_EQ(back.k->segments[0].x1, 0.123457);
  EXPECT_DOUBLE_EQ(back.k->z, 1.23457);
  EXPECT_EQ(kontSnapAddContour(snap, nullptr), 0);
  EXPECT_EQ(kontSnapAddRegions(snap, nullptr), 0);
  kontSnapFree(snap);

  // A clockwise region with a counter-clockwise island comes back the other way round.
  List rev(starRegion(4, 2, 0.0));
  kontReverse(rev.k);
  KontHolder* h = kontHolderInit(rev.k);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(h->list, nullptr);
  EXPECT_EQ(kontOrientation(h->list), 1);
  EXPECT_EQ(islandCount(h->list), 2);
  EXPECT_EQ(kontOrientation(h->list->child), -1);
  EXPECT_NEAR(kontArea(h->list), -kontArea(rev.k), 1e-3);
  kontHolderFree(h);

  KontHolder* empty = kontHolderInit(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->list, nullptr);
  kontHolderFree(empty);
}

// A contour with a 0.5 gap between two of its segments: two squares of area 1 and 4 joined in
// one segment array. The snapshot writes it as two blocks and reads it back as two regions.
TEST_F(KontFilesTest, ContourWithAGapCopiesAsTwoContours) {
  Kont2D* k = kontNew(nullptr, 8);
  ASSERT_NE(k, nullptr);
  List own(k);
  const std::vector<Point2D> a = qdtest::square(0.5, 0.5, 0.5), b = qdtest::square(1.5, 3.5, 1.0);
  for (const auto* pts : {&a, &b})
    for (std::size_t i = 0; i < pts->size(); ++i) {
      const Point2D p = (*pts)[i], q = (*pts)[(i + 1) % pts->size()];
      const Seg2D s{p.x, p.y, q.x, q.y};
      ASSERT_EQ(kontAppendSeg(k, &s), 1);
    }
  k->z = 2.0;
  KontSnapshot* snap = kontSnapInit(k);
  ASSERT_NE(snap, nullptr);
  int headers = 0, ends = 0;
  for (const std::string& line : snap->lines) {
    headers += line.rfind("**BND ", 0) == 0 ? 1 : 0;
    ends += line == "**END" ? 1 : 0;
  }
  EXPECT_EQ(headers, 2);
  EXPECT_EQ(ends, 2);
  List back(kontSnapToRegions(snap, 1, 1));
  kontSnapFree(snap);
  ASSERT_NE(back.k, nullptr) << geoErrCode();
  ASSERT_NE(back.k->next, nullptr);
  EXPECT_EQ(back.k->next->next, nullptr);
  std::vector<double> areas = {kontArea(back.k), kontArea(back.k->next)};
  std::sort(areas.begin(), areas.end());
  EXPECT_NEAR(areas[0], 1.0, 1e-12);
  EXPECT_NEAR(areas[1], 4.0, 1e-12);
}

TEST_F(KontFilesTest, HolderOfAnInvalidRegionFailsAndLogs) {
  List bow(kontFromPoints({{0, 0}, {10, 10}, {10, 0}, {0, 10}}));
  EXPECT_EQ(kontHolderInit(bow.k), nullptr);
  EXPECT_EQ(geoErrCode(), -1);
  Kont2DError e(-7, "Meldung", 12);
  EXPECT_STREQ(geoErrRecord()->file, "-7 Meldung 12");
  EXPECT_EQ(e.code(), -7);
}
}  // namespace
