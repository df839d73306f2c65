// Mean path tests: the exact meander of a rectangle with its wall pass, region, pass-line, wall
// and half-width coverage properties on random polygons with holes against brute-force clipping
// and distances, and the unchanged lists on failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "geometry/lists.h"
#include "pocket/mean_path.h"
#include "support/temp_dir.h"

namespace {

using Loops = std::vector<std::vector<Point2D>>;

// The lists of the loops (each closed by its first index).
struct Lists {
  IntList* idx = lstIntNew(16);
  Pt2List* pts = lstPt2New(16);
  explicit Lists(const Loops& loops) {
    for (const auto& loop : loops) {
      const int first = pts->count;
      for (const Point2D& p : loop) {
        lstPt2Append(pts, p);
        lstIntAppend(idx, pts->count - 1);
      }
      lstIntAppend(idx, first);
    }
  }
  ~Lists() {
    lstIntFree(idx);
    lstBox2Free(pts);
  }
  Lists(const Lists&) = delete;
  Lists& operator=(const Lists&) = delete;
  std::vector<int> indices() const { return {idx->items, idx->items + idx->count}; }
  std::vector<Point2D> points() const { return {pts->items, pts->items + pts->count}; }
};

class MeanPathTest : public qdtest::TempDirTest {
 protected:
  void TearDown() override { meanPathResetState(); }
  // No file is left in the work directory.
  static bool folderEmpty() { return std::filesystem::is_empty(std::filesystem::current_path()); }
};

bool same(const Point2D& a, const Point2D& b) {
  return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9;
}

// The rectangle's meander: the chain of its ten cells split at the start, and at the chain's end
// the wall pass once round the rectangle back to that end.
TEST_F(MeanPathTest, RectangleGivesTheStatedChainStartAndWallPass) {
  Lists l({{{0.5, 0}, {9.5, 0}, {9.5, 4}, {0.5, 4}}});
  ASSERT_EQ(meanPath(l.idx, l.pts, nullptr, 1.0), 1);
  EXPECT_TRUE(folderEmpty());
  // The chain of the ten cells, left to right.
  std::vector<Point2D> chain{{0.5, 4}, {1, 4}, {1, 0}};
  for (int x = 2; x <= 9; ++x) {
    const bool up = x % 2 == 0;
    chain.push_back({static_cast<double>(x), up ? 0.0 : 4.0});
    chain.push_back({static_cast<double>(x), up ? 4.0 : 0.0});
  }
  chain.push_back({9.5, 0});
  chain.push_back({9.5, 4});
  // The wall pass from (9.5, 4): the top through every pass line to the left, the bottom back.
  std::vector<Point2D> round;
  for (int x = 9; x >= 1; --x) round.push_back({static_cast<double>(x), 4});
  round.push_back({0.5, 4});
  for (int x = 0; x <= 9; ++x) round.push_back({x == 0 ? 0.5 : static_cast<double>(x), 0});
  round.push_back({9.5, 0});
  round.push_back({9.5, 4});
  const std::vector<int> path = l.indices();
  const std::vector<Point2D> pts = l.points();
  ASSERT_GE(path.size(), 6u);
  EXPECT_EQ(path.front(), -1);
  EXPECT_EQ(path.back(), -1);
  const Point2D s = pts[static_cast<std::size_t>(path[1])];
  EXPECT_DOUBLE_EQ(s.y, 2.0);
  EXPECT_TRUE(s.x >= 3 && s.x <= 7 && s.x == std::floor(s.x)) << s.x;
  // -1, s, chain back to its beginning, -1, s, chain on to its end, -1.
  const auto second = std::find(path.begin() + 2, path.end(), -1);
  ASSERT_NE(second, path.end());
  std::vector<Point2D> back, on;
  for (auto it = path.begin() + 2; it != second; ++it) back.push_back(pts[*it]);
  ASSERT_EQ(*(second + 1), path[1]);
  for (auto it = second + 2; it + 1 != path.end(); ++it) on.push_back(pts[*it]);
  // The two halves together are the chain, split at the start's pass, and the round.
  std::vector<Point2D> joined(back.rbegin(), back.rend());
  joined.insert(joined.end(), on.begin(), on.end());
  chain.insert(chain.end(), round.begin(), round.end());
  ASSERT_EQ(joined.size(), chain.size());
  for (std::size_t i = 0; i < chain.size(); ++i) {
    EXPECT_TRUE(same(joined[i], chain[i])) << i << ": " << joined[i].x << "," << joined[i].y;
  }
  EXPECT_DOUBLE_EQ(back.front().x, s.x);
  EXPECT_TRUE(same(back.back(), {0.5, 4}));
  EXPECT_TRUE(same(on.back(), {9.5, 4}));
}

TEST_F(MeanPathTest, NothingComputedLeavesTheListsAsTheyWere) {
  struct Case {
    const char* name;
    Point2D start;
    double width;
  };
  for (const Case& c : {Case{"start at xmin", {0.5, 2}, 1.0}, Case{"start at xmax", {9.5, 2}, 1.0},
                        Case{"width 0", {5, 2}, 0.0}}) {
    Lists l({{{0.5, 0}, {9.5, 0}, {9.5, 4}, {0.5, 4}}});
    const auto idx = l.indices();
    const auto pts = l.points();
    EXPECT_EQ(meanPath(l.idx, l.pts, &c.start, c.width), 0) << c.name;
    EXPECT_EQ(l.indices(), idx) << c.name;
    ASSERT_EQ(l.points().size(), pts.size()) << c.name;
    EXPECT_TRUE(folderEmpty()) << c.name;
  }
}

TEST_F(MeanPathTest, FailureAtEveryWidthLeavesTheListsAndNoFile) {
  // A start on a pass above the region: no chain segment holds it at any width.
  Lists l({{{0.5, 0}, {9.5, 0}, {9.5, 4}, {0.5, 4}}});
  const auto idx = l.indices();
  const auto pts = l.points();
  const Point2D start{5, 50};
  EXPECT_EQ(meanPath(l.idx, l.pts, &start, 1.0), kMeanPathNoJoin);
  EXPECT_EQ(l.indices(), idx);
  EXPECT_EQ(l.points().size(), pts.size());
  EXPECT_TRUE(folderEmpty());
}

TEST_F(MeanPathTest, GivenStartBeginsThePath) {
  Lists l({{{0, 0}, {20, 0}, {20, 10}, {0, 10}}});
  const Point2D start{7.3, 4};
  ASSERT_EQ(meanPath(l.idx, l.pts, &start, 2.0), 1);
  const auto path = l.indices();
  EXPECT_TRUE(same(l.points()[static_cast<std::size_t>(path[1])], start));
}

TEST(MeanPathSlabs, StripeRangeCountsLinesByDirection) {
  const double xs[] = {1, 2, 3};
  int a = 0, b = 0;
  meanPathStripeRange(xs, 3, {0.5, 0}, {2.5, 1}, &a, &b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 2);
  meanPathStripeRange(xs, 3, {2, 0}, {2.5, 1}, &a, &b);  // from a line to the right: right slab
  EXPECT_EQ(a, 2);
  meanPathStripeRange(xs, 3, {2.5, 0}, {2, 1}, &a, &b);  // to a line from the right
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 2);
  meanPathStripeRange(xs, 3, {2, 0}, {2, 1}, &a, &b);  // on a line
  EXPECT_EQ(a, -1);
  meanPathStripeRange(xs, 3, {3.5, 0}, {3.5, 1}, &a, &b);
  EXPECT_EQ(a, 3);
}

// ---- properties on random regions ---------------------------------------------------------------

struct Seg {
  Point2D a, b;
};

std::vector<Seg> edgesOf(const Loops& loops) {
  std::vector<Seg> e;
  for (const auto& l : loops) {
    for (std::size_t i = 0; i < l.size(); ++i) e.push_back({l[i], l[(i + 1) % l.size()]});
  }
  return e;
}

double segDistance(const Point2D& p, const Seg& s) {
  const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
  const double len = dx * dx + dy * dy;
  double t = len > 0 ? ((p.x - s.a.x) * dx + (p.y - s.a.y) * dy) / len : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - s.a.x - t * dx, p.y - s.a.y - t * dy);
}

bool insideEvenOdd(const Point2D& p, const std::vector<Seg>& edges) {
  bool in = false;
  for (const Seg& s : edges) {
    if ((s.a.y > p.y) != (s.b.y > p.y)) {
      const double x = s.a.x + (p.y - s.a.y) * (s.b.x - s.a.x) / (s.b.y - s.a.y);
      if (x > p.x) in = !in;
    }
  }
  return in;
}

// The region on the vertical line x = t, as sorted intervals of y (brute-force clipping).
std::vector<std::pair<double, double>> clipLine(double t, const std::vector<Seg>& edges) {
  std::vector<double> ys;
  for (const Seg& s : edges) {
    if ((s.a.x > t) != (s.b.x > t))
      ys.push_back(s.a.y + (t - s.a.x) * (s.b.y - s.a.y) / (s.b.x - s.a.x));
  }
  std::sort(ys.begin(), ys.end());
  std::vector<std::pair<double, double>> out;
  for (std::size_t i = 0; i + 1 < ys.size(); i += 2) out.push_back({ys[i], ys[i + 1]});
  return out;
}

// Union of intervals.
std::vector<std::pair<double, double>> unite(std::vector<std::pair<double, double>> v) {
  std::sort(v.begin(), v.end());
  std::vector<std::pair<double, double>> out;
  for (const auto& iv : v) {
    if (!out.empty() && iv.first <= out.back().second + 1e-7) {
      out.back().second = std::max(out.back().second, iv.second);
    } else {
      out.push_back(iv);
    }
  }
  return out;
}

// A star-shaped outer loop (counter-clockwise) and round holes (clockwise) that keep apart.
Loops randomRegion(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Loops loops;
  std::vector<Point2D> outer;
  const int n = 6 + static_cast<int>(u(rng) * 14);
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * (i + 0.3 * u(rng)) / n;
    const double r = 30 + 20 * u(rng);
    outer.push_back({50 + r * std::cos(a), 50 + r * std::sin(a)});
  }
  loops.push_back(outer);
  std::vector<std::pair<Point2D, double>> holes;
  for (int tries = 0; tries < 40 && holes.size() < 4; ++tries) {
    const Point2D c{50 + 40 * (u(rng) - 0.5), 50 + 40 * (u(rng) - 0.5)};
    const double r = 1 + 6 * u(rng);
    bool ok = true;
    for (const Seg& s : edgesOf({outer})) ok = ok && segDistance(c, s) > r + 2;
    for (const auto& h : holes)
      ok = ok && std::hypot(c.x - h.first.x, c.y - h.first.y) > r + h.second + 2;
    if (!ok || !insideEvenOdd(c, edgesOf({outer}))) continue;
    holes.push_back({c, r});
    std::vector<Point2D> hole;
    const int m = 5 + static_cast<int>(u(rng) * 8);
    for (int i = m; i-- > 0;) {
      const double a = 2 * M_PI * i / m + u(rng) * 0.2;
      hole.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    loops.push_back(hole);
  }
  return loops;
}

// The path's segments between consecutive entries (sub-path breaks left out).
std::vector<Seg> pathSegments(const std::vector<int>& path, const std::vector<Point2D>& pts) {
  std::vector<Seg> out;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    if (path[i] < 0 || path[i + 1] < 0) continue;
    out.push_back(
        {pts[static_cast<std::size_t>(path[i])], pts[static_cast<std::size_t>(path[i + 1])]});
  }
  return out;
}

double distanceTo(const Point2D& p, const std::vector<Seg>& segs) {
  double d = 1e300;
  for (const Seg& s : segs) d = std::min(d, segDistance(p, s));
  return d;
}

TEST_F(MeanPathTest, RandomRegionsPathStaysInsideAndCoversEveryPassLine) {
  std::mt19937 rng(4711);
  for (int round = 0; round < 40; ++round) {
    const Loops loops = randomRegion(rng);
    const std::vector<Seg> edges = edgesOf(loops);
    const double width = 2.0 + (round % 5);
    Lists l(loops);
    ASSERT_EQ(meanPath(l.idx, l.pts, nullptr, width), 1) << "round " << round;
    ASSERT_TRUE(folderEmpty());
    const auto path = l.indices();
    const auto pts = l.points();
    double xmin = 1e300, xmax = -1e300;
    for (const auto& lp : loops) {
      for (const Point2D& p : lp) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
      }
    }
    // Every segment lies in the region (samples inside or on the boundary).
    std::vector<std::pair<double, std::pair<double, double>>> vertical;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      if (path[i] < 0 || path[i + 1] < 0) continue;
      const Point2D a = pts[static_cast<std::size_t>(path[i])];
      const Point2D b = pts[static_cast<std::size_t>(path[i + 1])];
      for (int k = 0; k <= 16; ++k) {
        const Point2D p{a.x + (b.x - a.x) * k / 16.0, a.y + (b.y - a.y) * k / 16.0};
        double d = 1e300;
        for (const Seg& s : edges) d = std::min(d, segDistance(p, s));
        ASSERT_TRUE(insideEvenOdd(p, edges) || d < 0.002)
            << "round " << round << " segment " << i << " leaves at " << p.x << "," << p.y;
      }
      if (a.x == b.x) vertical.push_back({a.x, {std::min(a.y, b.y), std::max(a.y, b.y)}});
    }
    // The pass lines of the width that worked: the first of the tried widths on whose grid every
    // vertical segment lies.
    const double tried[] = {0, 0.001, 0.002, 0.003, 0.004, 0.005, -0.001, -0.002, -0.003, -0.004};
    std::vector<double> lines;
    for (const double d : tried) {
      const double w = width + d;
      const double anchor = (xmin + xmax) / 2;
      std::vector<double> xs;
      for (double k = -std::trunc((anchor - xmin) / w);; k += 1) {
        if (anchor + k * w > xmax) break;
        xs.push_back(anchor + k * w);
      }
      bool all = true;
      for (const auto& v : vertical)
        all = all && std::find(xs.begin(), xs.end(), v.first) != xs.end();
      if (all) {
        lines = xs;
        break;
      }
    }
    ASSERT_FALSE(lines.empty()) << "round " << round;
    // Coverage, on its own terms: the whole wall of every loop the passes cross lies on the path
    // (a loop no wider than the width may lie between two passes and be ignored), and every
    // point of the region lies within half a width (of the widths tried) of the path.
    const std::vector<Seg> segs = pathSegments(path, pts);
    for (const auto& lp : loops) {
      double lo = 1e300, hi = -1e300;
      for (const Point2D& p : lp) {
        lo = std::min(lo, p.x);
        hi = std::max(hi, p.x);
      }
      if (hi - lo <= width + 0.005) continue;
      for (const Seg& e : edgesOf({lp})) {
        for (int k = 0; k < 4; ++k) {
          const Point2D p{e.a.x + (e.b.x - e.a.x) * (k + 0.5) / 4,
                          e.a.y + (e.b.y - e.a.y) * (k + 0.5) / 4};
          ASSERT_LT(distanceTo(p, segs), 1e-6)
              << "round " << round << " wall at " << p.x << "," << p.y;
        }
      }
    }
    for (double x = std::floor(xmin); x <= xmax; x += 1.5) {
      for (double y = 0; y <= 100; y += 1.5) {
        if (!insideEvenOdd({x, y}, edges)) continue;
        ASSERT_LE(distanceTo({x, y}, segs), (width + 0.005) / 2 + 1e-6)
            << "round " << round << " at " << x << "," << y;
      }
    }
    for (const double t : lines) {
      std::vector<std::pair<double, double>> cut;
      for (const auto& v : vertical) {
        if (v.first == t) cut.push_back(v.second);
      }
      const auto got = unite(cut);
      const auto want = clipLine(t, edges);
      ASSERT_EQ(got.size(), want.size()) << "round " << round << " line " << t;
      for (std::size_t k = 0; k < want.size(); ++k) {
        EXPECT_NEAR(got[k].first, want[k].first, 1e-6) << "round " << round << " line " << t;
        EXPECT_NEAR(got[k].second, want[k].second, 1e-6) << "round " << round << " line " << t;
      }
    }
  }
}

TEST_F(MeanPathTest, NarrowIslandBetweenTwoPassesIsIgnored) {
  // Passes at 1 .. 9; the island lies between 4 and 5 and no wider than the width.
  Lists l({{{0.5, 0}, {9.5, 0}, {9.5, 4}, {0.5, 4}}, {{4.2, 1}, {4.2, 3}, {4.8, 3}, {4.8, 1}}});
  const int inputPoints = l.pts->count;
  ASSERT_EQ(meanPath(l.idx, l.pts, nullptr, 1.0), 1);
  for (const int i : l.indices()) {
    EXPECT_TRUE(i < 4 || i >= inputPoints) << "the island's point " << i << " is on the path";
  }
}

// A vertex on a pass line moved 0.001 to the right, and with it the wall: at a corner of the
// region that pushes the path into material. The vertex stays; the pass lines step aside.
TEST_F(MeanPathTest, VertexOnAPassLineMovesTheLinesNotTheWall) {
  struct Case {
    const char* name;
    Loops loops;
  };
  // An L whose inner corner (20, 20) lies on the pass x = 20 (anchor 30, width 5), and a
  // rectangle with a vertex (5, -1) on the pass x = 5 (anchor 5, width 1).
  const Case cases[] = {
      {"L", {{{0, 0}, {60, 0}, {60, 20}, {20, 20}, {20, 50}, {0, 50}}}},
      {"dip", {{{0, 0}, {5, -1}, {10, 0}, {10, 4}, {0, 4}}}},
  };
  for (const Case& c : cases) {
    Lists l(c.loops);
    const auto input = l.points();
    ASSERT_EQ(meanPath(l.idx, l.pts, nullptr, c.name[0] == 'L' ? 5.0 : 1.0), 1) << c.name;
    const auto pts = l.points();
    for (std::size_t i = 0; i < input.size(); ++i) {
      EXPECT_TRUE(same(pts[i], input[i])) << c.name << " vertex " << i;
    }
    // No vertex lies on a pass (a vertical segment of the path off the walls), and every segment
    // stays in the region.
    const std::vector<Seg> edges = edgesOf(c.loops);
    auto wallDistance = [&edges](const Point2D& p) {
      double d = 1e300;
      for (const Seg& e : edges) d = std::min(d, segDistance(p, e));
      return d;
    };
    const auto path = l.indices();
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
      if (path[i] < 0 || path[i + 1] < 0) continue;
      const Point2D a = pts[static_cast<std::size_t>(path[i])];
      const Point2D b = pts[static_cast<std::size_t>(path[i + 1])];
      if (a.x == b.x && wallDistance({a.x, (a.y + b.y) / 2}) > 1e-9) {
        for (const Point2D& v : input) EXPECT_NE(v.x, a.x) << c.name;
      }
      for (int k = 0; k <= 8; ++k) {
        const Point2D p{a.x + (b.x - a.x) * k / 8.0, a.y + (b.y - a.y) * k / 8.0};
        EXPECT_TRUE(insideEvenOdd(p, edges) || wallDistance(p) < 1e-9)
            << c.name << " " << p.x << "," << p.y;
      }
    }
  }
}

}  // namespace

namespace {
// Loops that touch at a vertex could send the cell walk around forever; every width now ends.
TEST_F(MeanPathTest, TouchingIslandsEnd) {
  Lists l({{{0, 0}, {20, 0}, {20, 10}, {0, 10}},
           {{5, 2}, {5, 5}, {8, 5}, {8, 2}},
           {{8, 5}, {8, 8}, {11, 8}, {11, 5}}});
  const int r = meanPath(l.idx, l.pts, nullptr, 1.0);
  EXPECT_TRUE(r == 1 || r == kMeanPathOpenCell || r == kMeanPathNoJoin || r == kMeanPathChainsGrew)
      << r;
  EXPECT_TRUE(folderEmpty());
}
}  // namespace
