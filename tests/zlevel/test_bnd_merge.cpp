// Tests of the boundary merge into simple loops: a square with a square island, random nested
// rectangles against even-odd membership of random points, the swap flag, the block limit and
// the small and failing inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/lists.h"
#include "support/temp_dir.h"
#include "zlevel/bnd_merge.h"

namespace {

using qdtest::readFile;
using qdtest::TempDirTest;
using qdtest::writeFile;

struct Rect {
  double x0, y0, x1, y1;
};

std::string blockText(const std::vector<Rect>& rects, bool swapXY) {
  std::ostringstream os;
  int n = 0;
  for (const Rect& r : rects) {
    os << "**BND " << ++n << "\n";
    const double pts[5][2] = {{r.x0, r.y0}, {r.x1, r.y0}, {r.x1, r.y1}, {r.x0, r.y1}, {r.x0, r.y0}};
    for (const auto& p : pts) {
      if (swapXY)
        os << "X" << p[1] << " Y" << p[0] << " Z0\n";
      else
        os << "X" << p[0] << " Y" << p[1] << " Z0\n";
    }
    os << "**END\n";
  }
  return os.str();
}

using Poly = std::vector<std::pair<double, double>>;

// Loops of an output file, each without its closing repeat of the first point.
std::vector<Poly> readLoops(const std::string& text, std::vector<int>* numbers = nullptr) {
  std::vector<Poly> loops;
  std::istringstream is(text);
  std::string line;
  while (std::getline(is, line)) {
    if (line.rfind("**BND", 0) == 0) {
      loops.emplace_back();
      if (numbers != nullptr) numbers->push_back(std::stoi(line.substr(6)));
      continue;
    }
    double x = 0, y = 0, z = 0;
    if (std::sscanf(line.c_str(), "X%lf Y%lf Z%lf", &x, &y, &z) == 3) {
      EXPECT_EQ(z, 0.0);
      loops.back().push_back({x, y});
    }
  }
  for (Poly& p : loops) {
    EXPECT_GE(p.size(), 4u);
    EXPECT_EQ(p.front(), p.back());  // every block ends on its first point
    p.pop_back();
  }
  return loops;
}

double area(const Poly& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto& u = p[i];
    const auto& v = p[(i + 1) % p.size()];
    a += u.first * v.second - v.first * u.second;
  }
  return a / 2;
}

bool inside(const Poly& p, double x, double y) {
  bool in = false;
  for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    const double xi = p[i].first, yi = p[i].second, xj = p[j].first, yj = p[j].second;
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}

bool insideRect(const Rect& r, double x, double y) {
  return x > r.x0 && x < r.x1 && y > r.y0 && y < r.y1;
}

class BndMerge : public TempDirTest {};

TEST_F(BndMerge, SquareWithIslandGivesULoopAndRectangleAbove) {
  for (int swap = 0; swap <= 1; ++swap) {
    SCOPED_TRACE(swap);
    writeFile("in.bnd", blockText({{0, 0, 10, 10}, {4, 4, 6, 6}}, swap == 1));
    ASSERT_EQ(bndMergeFile("in.bnd", swap, "out.bnd"), 1);
    std::vector<int> numbers;
    std::vector<Poly> loops = readLoops(readFile("out.bnd"), &numbers);
    ASSERT_EQ(loops.size(), 2u);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2}));
    if (swap == 1)  // written back in the file's own (Y, X) meaning
      for (Poly& p : loops)
        for (auto& q : p) std::swap(q.first, q.second);
    double sum = 0;
    for (const Poly& p : loops) sum += std::fabs(area(p));
    EXPECT_NEAR(sum, 96.0, 1e-9);
    if (swap == 0) {
      EXPECT_NEAR(area(loops[0]), 88.0, 1e-9);  // the U loop, counter-clockwise
      EXPECT_NEAR(area(loops[1]), 8.0, 1e-9);   // [4, 6] x [6, 10]
      EXPECT_TRUE(inside(loops[1], 5, 8));
      EXPECT_FALSE(inside(loops[0], 5, 8));
      EXPECT_FALSE(inside(loops[0], 5, 5));
    }
  }
}

TEST_F(BndMerge, RandomNestedRectanglesKeepEvenOddMembership) {
  std::mt19937 rng(46);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    // a chain of strictly nested rectangles plus disjoint siblings inside the outermost
    std::vector<Rect> rects{{0, 0, 100, 100}};
    const int depth = 1 + trial % 4;
    Rect cur = rects[0];
    for (int d = 0; d < depth; ++d) {
      const double w = cur.x1 - cur.x0, h = cur.y1 - cur.y0;
      const Rect in{cur.x0 + w * (0.05 + 0.2 * u(rng)), cur.y0 + h * (0.05 + 0.2 * u(rng)),
                    cur.x1 - w * (0.05 + 0.2 * u(rng)), cur.y1 - h * (0.05 + 0.2 * u(rng))};
      rects.push_back(in);
      cur = in;
    }
    writeFile("in.bnd", blockText(rects, false));
    ASSERT_EQ(bndMergeFile("in.bnd", 0, "out.bnd"), 1);
    const std::vector<Poly> loops = readLoops(readFile("out.bnd"));
    for (int k = 0; k < 400; ++k) {
      const double x = 100 * u(rng), y = 100 * u(rng);
      int parity = 0;
      for (const Rect& r : rects) parity ^= insideRect(r, x, y) ? 1 : 0;
      int covered = 0;
      for (const Poly& p : loops) covered += inside(p, x, y) ? 1 : 0;
      EXPECT_EQ(covered, parity) << x << " " << y;  // covered once when in the region, else never
    }
  }
}

TEST_F(BndMerge, MoreThanTheBlockLimitWritesNothing) {
  std::vector<Rect> rects;
  for (int i = 0; i < kBndMergeMaxBlocks + 1; ++i) rects.push_back({3.0 * i, 0, 3.0 * i + 1, 1});
  writeFile("in.bnd", blockText(rects, false));
  EXPECT_EQ(bndMergeFile("in.bnd", 0, "out.bnd"), -1);
  EXPECT_FALSE(qdtest::fileExists("out.bnd"));
  rects.pop_back();
  writeFile("in.bnd", blockText(rects, false));
  EXPECT_EQ(bndMergeFile("in.bnd", 0, "out.bnd"), 1);
  EXPECT_EQ(readLoops(readFile("out.bnd")).size(), static_cast<std::size_t>(kBndMergeMaxBlocks));
}

TEST_F(BndMerge, MissingInputSmallInputAndDefaultName) {
  EXPECT_EQ(bndMergeFile("absent.bnd", 0, "out.bnd"), 0);
  EXPECT_FALSE(qdtest::fileExists("out.bnd"));
  writeFile("empty.bnd", "");
  EXPECT_EQ(bndMergeFile("empty.bnd", 0, "out.bnd"), 0);
  EXPECT_EQ(readFile("out.bnd"), "");
  writeFile("in.bnd", blockText({{0, 0, 2, 1}}, false));
  EXPECT_EQ(bndMergeFile("in.bnd", 0, ""), 1);
  EXPECT_EQ(readLoops(readFile("tmp.bnd")).size(), 1u);
  EXPECT_EQ(bndMergeNoop(nullptr, 1.0, 2.0), 0);
}

TEST(BndMergeSegments, ReplacesTheListByLoopsAndHandlesSmallInput) {
  Seg2List* list = lstSeg2New(16);
  ASSERT_NE(list, nullptr);
  const auto addRect = [&](const Rect& r, bool cw) {
    std::vector<std::pair<double, double>> p{
        {r.x0, r.y0}, {r.x1, r.y0}, {r.x1, r.y1}, {r.x0, r.y1}};
    if (cw) std::reverse(p.begin(), p.end());
    for (std::size_t i = 0; i < 4; ++i)
      lstSeg2Append(list, {p[i].first, p[i].second, p[(i + 1) % 4].first, p[(i + 1) % 4].second});
  };
  addRect({0, 0, 10, 10}, true);  // orientation is decided by nesting, not by the input
  addRect({4, 4, 6, 6}, false);
  ASSERT_EQ(bndMergeSegments(list, 0), 1);
  // consecutive loops, each chained and closed
  double total = 0;
  int start = 0;
  for (int i = 0; i < list->count; ++i) {
    const Seg2D& s = list->items[i];
    total += s.x1 * s.y2 - s.x2 * s.y1;
    if (i + 1 < list->count && (s.x2 != list->items[i + 1].x1 || s.y2 != list->items[i + 1].y1)) {
      EXPECT_EQ(s.x2, list->items[start].x1);
      EXPECT_EQ(s.y2, list->items[start].y1);
      start = i + 1;
    }
  }
  EXPECT_NEAR(total / 2, 96.0, 1e-9);
  lstSeg2Reset(list);
  lstSeg2Append(list, {0, 0, 1, 0});
  EXPECT_EQ(bndMergeSegments(list, 0), 0);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(bndMergeSegments(nullptr, 0), -1);
  lstBox2Free(list);
}

TEST(BndMergeSegments, ParseAndPieceOrder) {
  Point3D p{1, 2, 3};
  bndParseXYZ("X-1.5 Y Z7", &p);  // 'Y' followed by a blank but no number keeps the value
  EXPECT_EQ(p.x, -1.5);
  EXPECT_EQ(p.y, 2.0);
  EXPECT_EQ(p.z, 7.0);
  bndParseXYZ("XA Y4", &p);
  EXPECT_EQ(p.x, -1.5);
  EXPECT_EQ(p.y, 4.0);
  // vertical pieces last; then smallest x, smallest y, largest y, leftward first
  EXPECT_GT(bndMergeComparePieces({0, 0, 0, 1}, {5, 5, 6, 6}), 0);
  EXPECT_LT(bndMergeComparePieces({0, 5, 1, 5}, {1, 0, 2, 0}), 0);
  EXPECT_LT(bndMergeComparePieces({0, 0, 1, 1}, {0, 0, 1, 2}), 0);
  EXPECT_LT(bndMergeComparePieces({1, 0, 0, 0}, {0, 0, 1, 0}), 0);
}

}  // namespace
