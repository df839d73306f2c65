// The level's exchange file, read back by the project's exchange contour reader: contours to
// 1e-8 with their areas, clip marks on the region's boundary, the stock-mode rebuilding along the
// outline and the axis-parallel writer's orientation.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/cont_file.h"
#include "geometry/kont_region.h"
#include "level_pocket_support.h"

namespace {

using lptest::pathFromPoints;
using lptest::regionFromPoints;

struct ReadContour {
  std::string name;
  std::vector<Point2D> points;
};

// The contours as the exchange reader gives them, named by the ids of the file's objects.
std::vector<ReadContour> readBack(const char* path) {
  std::vector<std::string> ids;
  std::istringstream in(qdtest::readFile(path));
  std::string line;
  const std::string open = "oContour(id[";
  while (std::getline(in, line)) {
    if (line.rfind(open, 0) == 0)
      ids.push_back(line.substr(open.size(), line.find(']') - open.size()));
  }
  std::vector<ReadContour> out;
  GuideCurve* list = contFileRead(path, 0.001);
  for (GuideCurve* c = list; c != nullptr; c = c->next) {
    ReadContour r{out.size() < ids.size() ? ids[out.size()] : "?", {}};
    for (int i = 0; i < c->count; ++i) r.points.push_back(c->points[i]);
    out.push_back(r);
  }
  guideFree(list);
  EXPECT_EQ(out.size(), ids.size()) << "every object read back";
  return out;
}

double shoelace(const std::vector<Point2D>& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& u = p[i];
    const Point2D& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

// The lines of the file from the first line starting with prefix (inclusive) to the next "}".
std::vector<std::string> objectLines(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> out;
  bool on = false;
  while (std::getline(in, line)) {
    if (!on && line.rfind(prefix, 0) == 0) on = true;
    if (!on) continue;
    out.push_back(line);
    if (line == "}") break;
  }
  return out;
}

// "C" for a clip mark on, "c" off, "L" for a line.
std::string clipPattern(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) {
    if (l == "vclip(true)") s += 'C';
    if (l == "vclip(false)") s += 'c';
    if (l.rfind("  oL", 0) == 0) s += 'L';
  }
  return s;
}

class ZcontTest : public lptest::LevelPocketTest {
 protected:
  void SetUp() override {
    lptest::LevelPocketTest::SetUp();
    zcontResetState();
  }
};

const std::vector<Point2D> kOuter{{0, 0}, {100, 0}, {100, 50}, {0, 50}};

}  // namespace

// Without paths: the outline as "stock", the islands with counter ids n and n + 1; every vertex
// comes back through the reader to 1e-8 and each contour's area equals the region contour's.
TEST_F(ZcontTest, RegionWithoutPathsRoundTrip) {
  const std::vector<Point2D> i1{{10, 10}, {10, 20}, {20, 20}, {20, 10}};
  const std::vector<Point2D> i2{{60.123456789, 10}, {70, 30.5}, {80, 10}};
  Kont2D* region = regionFromPoints(kOuter, {i1, i2}, -3.5);
  ASSERT_EQ(zcontWritePocket("tmp.qdx", region, nullptr, 0, 0), 1);
  const std::string text = qdtest::readFile("tmp.qdx");
  EXPECT_EQ(text.rfind(std::string(xchgBanner) + "\nqDX-Version: 1.0\nGeometry\nruzmilhc\n\n", 0),
            0u);
  const std::vector<ReadContour> back = readBack("tmp.qdx");
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].name, "stock");
  EXPECT_EQ(back[1].name, "0");
  EXPECT_EQ(back[2].name, "1");
  EXPECT_EQ(zcontPocketCounter(), 2);
  const Kont2D* k = region;
  for (const ReadContour& c : back) {
    ASSERT_EQ(static_cast<int>(c.points.size()), k->count + 1) << c.name;
    for (int i = 0; i < k->count; ++i) {
      EXPECT_NEAR(c.points[static_cast<std::size_t>(i)].x, k->segments[i].x1, 1e-8);
      EXPECT_NEAR(c.points[static_cast<std::size_t>(i)].y, k->segments[i].y1, 1e-8);
    }
    Kont2D single = *k;
    single.child = single.next = nullptr;
    EXPECT_NEAR(shoelace(c.points), kontArea(&single), 1e-6) << c.name;
    k = kontWalkNext(region, k);
  }
  EXPECT_DOUBLE_EQ(region->z, -3.5);
  kontFree(region);
}

// With bit value 4 of "*GRDRAW" each written file is copied to "<n>.qdx" in the work folder; the
// copies hold the whole file (the writer's file is still open when it is copied), whether it has
// paths or not.
TEST_F(ZcontTest, DebugCopiesHoldTheWholeFile) {
  std::snprintf(parGlobalBlock()->tmpDir, kParTextSize, "%s", ".");
  parGlobalBlock()->grdraw = 4;
  Kont2D* region = regionFromPoints(kOuter, {{{10, 10}, {10, 20}, {20, 20}, {20, 10}}}, 1);
  ASSERT_EQ(zcontWritePocket("tmp.qdx", region, nullptr, 0, 0), 1);
  const std::string first = qdtest::readFile("tmp.qdx");
  ZPath* path = pathFromPoints({{30, 10}, {30, 40}, {90, 40}, {90, 10}}, 1, 0, 0);
  ASSERT_EQ(zcontWritePocket("tmp.qdx", region, path, 1, 0), 1);
  EXPECT_EQ(qdtest::readFile("0.qdx"), first);
  EXPECT_EQ(qdtest::readFile("1.qdx"), qdtest::readFile("tmp.qdx"));
  EXPECT_NE(first.find("}\n"), std::string::npos);
  zpathFree(path);
  kontFree(region);
}

// Clip marks enclose exactly the runs of segments on the region's boundary; a path entirely on
// the outline is enclosed as a whole. The island it touches is not written as stock.
TEST_F(ZcontTest, ClipMarksOnBoundaryRuns) {
  Kont2D* region = regionFromPoints(kOuter, {{{40, 20}, {40, 30}, {50, 30}, {50, 20}}}, 0);
  ZPath* partly = pathFromPoints({{0, 0}, {30, 0}, {30, 20}, {40, 20}, {40, 30}, {0, 30}}, 0, 0, 0);
  ZPath* whole = pathFromPoints(kOuter, 0, 0, 0);
  ZPath paths[2] = {*partly, *whole};
  ASSERT_EQ(zcontWritePocket("tmp.qdx", region, paths, 2, 0), 1);
  const std::string text = qdtest::readFile("tmp.qdx");
  EXPECT_EQ(clipPattern(objectLines(text, "oContour(id[1])")), "CLcLLCLcLCLc");
  EXPECT_EQ(clipPattern(objectLines(text, "oContour(id[2])")), "CLLLLc");
  // The boundary points got marked: outline points kind -1, island points kind 0.
  EXPECT_EQ(paths[0].elementIds[0], -2);
  EXPECT_EQ(paths[0].contactKinds[0], -1);
  EXPECT_EQ(paths[0].elementIds[3], -2);
  EXPECT_EQ(paths[0].contactKinds[3], 0);
  EXPECT_EQ(text.find("oContour(id[stock])"), std::string::npos)
      << "no stock: the island is touched and the paths hold no material";
  // Both pocket contours come back point for point, with the paths' shoelace areas.
  const std::vector<ReadContour> back = readBack("tmp.qdx");
  ASSERT_EQ(back.size(), 2u);
  for (int k = 0; k < 2; ++k) {
    const ZPath& zp = paths[k];
    const ReadContour& c = back[static_cast<std::size_t>(k)];
    ASSERT_EQ(static_cast<int>(c.points.size()), zp.count + 1);
    for (int i = 0; i < zp.count; ++i) {
      EXPECT_NEAR(c.points[static_cast<std::size_t>(i)].x, zp.points[2 * i], 1e-8);
      EXPECT_NEAR(c.points[static_cast<std::size_t>(i)].y, zp.points[2 * i + 1], 1e-8);
    }
    EXPECT_NEAR(shoelace(c.points), zpathArea(&zp), 1e-6);
  }
  zpathFree(partly);
  zpathFree(whole);
  kontFree(region);
}

// Stock mode with a pocket crossing the region from the bottom edge to the top edge: the outline
// parts are rebuilt into two closed contours, one on each side, that follow the outline; their
// areas and the pocket's add up to the region's.
TEST_F(ZcontTest, StockModeRebuildsAlongTheOutline) {
  parGlobalBlock()->stockMode = 1;
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  const std::vector<Point2D> pocket{{40, 0},  {60, 0},  {60, 20}, {55, 25}, {60, 30},
                                    {60, 50}, {40, 50}, {40, 30}, {45, 25}, {40, 20}};
  ZPath* p = pathFromPoints(pocket, 0, 0, 0);
  const std::vector<float> before(p->points, p->points + 2 * p->count);
  EXPECT_EQ(zcontWritePocket("tmp.qdx", region, p, 1, 0), 1);
  EXPECT_EQ(std::vector<float>(p->points, p->points + 2 * p->count), before)
      << "the caller's path keeps its points";
  std::vector<ReadContour> back = readBack("tmp.qdx");
  std::vector<ReadContour> rebuilt;
  for (const ReadContour& c : back) {
    if (c.name != "stock") rebuilt.push_back(c);
  }
  ASSERT_EQ(rebuilt.size(), 2u);
  EXPECT_EQ(back.size(), 3u) << "the outline is written as stock too";
  double sum = 0;
  for (const ReadContour& c : rebuilt) {
    std::vector<Point2D> pts = c.points;
    pts.pop_back();  // the reader repeats the first point at the end
    sum += std::fabs(shoelace(pts));
    for (const Point2D& q : pts) EXPECT_TRUE(q.x <= 45 + 1e-6 || q.x >= 55 - 1e-6) << q.x;
  }
  EXPECT_NEAR(sum + std::fabs(shoelace(pocket)), 100.0 * 50.0, 1e-3);
  kontFree(region);
  zpathFree(p);
}

// The axis-parallel writer turns a counter-clockwise region clockwise for "*SEITE" 2 and gives
// the caller's region back as it was.
TEST_F(ZcontTest, AxisWriterOrientation) {
  parGlobalBlock()->seite = 2;
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  const std::vector<Seg2D> before(region->segments, region->segments + region->count);
  ASSERT_EQ(zcontWriteAxisPocket("tmp.qdx", region, nullptr, 0, 0), 1);
  const std::vector<ReadContour> back = readBack("tmp.qdx");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_NEAR(shoelace(back[0].points), -5000, 1e-6) << "written clockwise";
  ASSERT_EQ(region->count, static_cast<int>(before.size()));
  for (int i = 0; i < region->count; ++i) {
    EXPECT_EQ(region->segments[i].x1, before[static_cast<std::size_t>(i)].x1);
    EXPECT_EQ(region->segments[i].y1, before[static_cast<std::size_t>(i)].y1);
  }
  EXPECT_EQ(zcontAxisCounter(), 0);
  EXPECT_EQ(zcontPocketCounter(), 0);
  kontFree(region);
}

TEST_F(ZcontTest, RefusedInputs) {
  Kont2D* region = regionFromPoints(kOuter, {}, 0);
  EXPECT_EQ(zcontWritePocket(nullptr, region, nullptr, 0, 0), 0);
  EXPECT_EQ(zcontWritePocket("tmp.qdx", nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(zcontWritePocket("no/such/folder/tmp.qdx", region, nullptr, 0, 0), -1);
  // A stock contour of fewer than 3 segments is skipped.
  Kont2D* two = kontNew(nullptr, 3);
  const Seg2D a{0, 0, 1, 0}, b{1, 0, 0, 0};
  kontAppendSeg(two, &a);
  kontAppendSeg(two, &b);
  std::FILE* f = std::fopen("s.qdx", "w");
  EXPECT_EQ(zcontWriteStockContour(f, "stock", two, nullptr), 0);
  std::fclose(f);
  EXPECT_EQ(qdtest::readFile("s.qdx"), "");
  // The arc variant writes nothing for an empty path or without a file.
  ZPath* empty = zpathNew(4);
  ZPath* p = pathFromPoints(kOuter, 0, 0, 0);
  f = std::fopen("a.qdx", "w");
  EXPECT_EQ(zcontWritePocketContour("1", f, empty, 1, 0.01, region), 0);
  EXPECT_EQ(zcontWritePocketContour("1", nullptr, p, 1, 0.01, region), 0);
  std::fclose(f);
  EXPECT_EQ(qdtest::readFile("a.qdx"), "");
  zpathFree(empty);
  zpathFree(p);
  kontFree(two);
  kontFree(region);
}

// The grid answers exactly as the plain scan, on random regions (chained by next, with islands)
// and random segments, many of them with their midpoint near a boundary.
TEST(ZcontPointInRegions, GridEqualsPlainScan) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 10; ++trial) {
    Kont2D* first = nullptr;
    Kont2D* last = nullptr;
    std::vector<Seg2D> edges;
    for (int r = 0; r < 3; ++r) {
      const Point2D c{100.0 * r, 20.0 * trial};
      Kont2D* region = regionFromPoints(qdtest::star(rng, c, 40, 20, 40, false),
                                        {qdtest::star(rng, c, 12, 5, 10, true)}, 0);
      for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
        edges.insert(edges.end(), k->segments, k->segments + k->count);
      }
      if (first == nullptr) {
        first = region;
      } else {
        last->next = region;
      }
      last = region;
    }
    ZcontRegionIndex* index = zcontRegionIndexBuild(first);
    ASSERT_NE(index, nullptr);
    std::uniform_real_distribution<double> u(0, 1), off(-0.002, 0.002), pos(-50, 300);
    int near = 0;
    for (int i = 0; i < 4000; ++i) {
      double mx = 0, my = 0;
      if (i % 2 == 0) {
        const Seg2D& e = edges[static_cast<std::size_t>(i / 2) % edges.size()];
        const double t = u(rng);
        mx = e.x1 + t * (e.x2 - e.x1) + off(rng);
        my = e.y1 + t * (e.y2 - e.y1) + off(rng);
      } else {
        mx = pos(rng);
        my = pos(rng) / 2 + 20.0 * trial;
      }
      const double dx = u(rng), dy = u(rng);
      const int plain = zcontPointInRegions(first, mx - dx, my - dy, mx + dx, my + dy);
      near += plain;
      ASSERT_EQ(zcontPointInRegionsIndexed(index, mx - dx, my - dy, mx + dx, my + dy), plain)
          << trial << " " << i;
    }
    EXPECT_GT(near, 500);
    zcontRegionIndexFree(index);
    kontFree(first);
  }
}
