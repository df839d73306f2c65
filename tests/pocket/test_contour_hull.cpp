// Convex hull by gift wrapping against a brute-force hull on random integer points with
// duplicates and collinear runs, and the pseudo-angle's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "pocket/contour_hull.h"

namespace {
long cross(const Point2D& o, const Point2D& a, const Point2D& b) {
  return std::lround((a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x));
}

// The strict corners of the hull, brute force: a point is a corner when some line through it has
// every other distinct point strictly on one side... found in O(n^3) as the points that are an end
// of an edge pq with every point on the left of or on pq, and not inside such an edge.
std::set<std::pair<long, long>> bruteCorners(const std::vector<Point2D>& pts) {
  std::set<std::pair<long, long>> corners;
  std::vector<Point2D> u;
  for (const Point2D& p : pts) {
    if (std::none_of(u.begin(), u.end(),
                     [&](const Point2D& q) { return q.x == p.x && q.y == p.y; })) {
      u.push_back(p);
    }
  }
  for (const Point2D& p : u) {
    for (const Point2D& q : u) {
      if (p.x == q.x && p.y == q.y) continue;
      bool edge = true;
      for (const Point2D& r : u) {
        const long c = cross(p, q, r);
        if (c < 0) {
          edge = false;
          break;
        }
        if (c == 0) {  // r must lie within pq for p and q to be the edge's ends
          const double t = (r.x - p.x) * (q.x - p.x) + (r.y - p.y) * (q.y - p.y);
          const double l2 = (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
          if (t < 0 || t > l2) {
            edge = false;
            break;
          }
        }
      }
      if (edge) {
        corners.insert({std::lround(p.x), std::lround(p.y)});
        corners.insert({std::lround(q.x), std::lround(q.y)});
      }
    }
  }
  return corners;
}

TEST(ContourHull, PseudoAngleIsMonotonic) {
  const Point2D o{0, 0};
  double last = -1;
  for (int k = 0; k < 360; ++k) {
    const double a = k * 3.14159265358979323846 / 180;
    const double v = contPseudoAngle(Point2D{std::cos(a), std::sin(a)}, o);
    EXPECT_GT(v, last) << k;
    EXPECT_LT(v, 360);
    last = v;
  }
  EXPECT_EQ(contPseudoAngle(Point2D{1, 0}, o), 0);
  EXPECT_EQ(contPseudoAngle(Point2D{0, 1}, o), 90);
  EXPECT_EQ(contPseudoAngle(Point2D{-1, 0}, o), 180);
  EXPECT_EQ(contPseudoAngle(Point2D{0, -1}, o), 270);
  EXPECT_EQ(contPseudoAngle(Point2D{0.000001, -0.000001}, o), 0);
}

TEST(ContourHull, MatchesABruteForceHull) {
  std::mt19937 rng(41);
  for (int k = 0; k < 300; ++k) {
    const int range = 3 + k % 8;
    std::uniform_int_distribution<int> u(-range, range);
    std::vector<Point2D> pts;
    const int n = 1 + k % 40;
    for (int i = 0; i < n; ++i) pts.push_back({double(u(rng)), double(u(rng))});
    if (k % 3 == 0 && n > 2) pts.push_back(pts[1]);  // a duplicate
    if (k % 5 == 0) {                                // a collinear run along the bottom
      for (int i = -range; i <= range; ++i) pts.push_back({double(i), double(-range)});
    }
    std::vector<Point2D> work(pts.size() + 1);
    const int h = contConvexHull(pts.data(), static_cast<int>(pts.size()), work.data());
    ASSERT_GE(h, 1);
    // The result is a permutation of the input plus the sentinel.
    std::vector<Point2D> sorted(work.begin(), work.begin() + pts.size());
    auto less = [](const Point2D& a, const Point2D& b) {
      return a.x < b.x || (a.x == b.x && a.y < b.y);
    };
    std::vector<Point2D> in = pts;
    std::sort(sorted.begin(), sorted.end(), less);
    std::sort(in.begin(), in.end(), less);
    for (size_t i = 0; i < in.size(); ++i)
      ASSERT_TRUE(sorted[i].x == in[i].x && sorted[i].y == in[i].y);
    // Starts at the lowest point, the larger x on ties.
    for (const Point2D& p : pts) {
      ASSERT_TRUE(p.y > work[0].y || (p.y == work[0].y && p.x <= work[0].x));
    }
    // Counter-clockwise without right turns, no point twice, every input point inside or on it.
    std::set<std::pair<long, long>> seen;
    for (int i = 0; i < h; ++i) {
      ASSERT_TRUE(seen.insert({std::lround(work[i].x), std::lround(work[i].y)}).second) << k;
      if (h >= 3) {
        ASSERT_GE(cross(work[i], work[(i + 1) % h], work[(i + 2) % h]), 0) << k;
      }
    }
    for (const Point2D& p : pts) {
      for (int i = 0; h >= 3 && i < h; ++i) ASSERT_GE(cross(work[i], work[(i + 1) % h], p), 0) << k;
    }
    // Its corners are exactly the brute-force corners (extra points only on edges).
    std::set<std::pair<long, long>> corners;
    for (int i = 0; i < h; ++i) {
      if (h < 3 || cross(work[(i + h - 1) % h], work[i], work[(i + 1) % h]) != 0) {
        corners.insert({std::lround(work[i].x), std::lround(work[i].y)});
      }
    }
    ASSERT_EQ(corners, bruteCorners(pts)) << k;
  }
}

// A second copy of the start point was wrapped onto the hull as its last point, listing the start
// twice.
TEST(ContourHull, ACopyOfTheStartClosesTheHull) {
  const Point2D pts[5] = {{1, -7}, {5, 0}, {1, -7}, {0, 3}, {-4, 0}};
  Point2D work[6];
  ASSERT_EQ(contConvexHull(pts, 5, work), 4);
  EXPECT_EQ(work[0].x, 1);
  EXPECT_EQ(work[1].x, 5);
  EXPECT_EQ(work[2].x, 0);
  EXPECT_EQ(work[3].x, -4);
}

TEST(ContourHull, SmallAndEmptyInputs) {
  Point2D work[3];
  EXPECT_EQ(contConvexHull(nullptr, 2, work), 0);
  const Point2D one[1] = {{3, 4}};
  EXPECT_EQ(contConvexHull(one, 1, work), 1);
  EXPECT_EQ(work[0].x, 3);
  const Point2D same[2] = {{3, 4}, {3, 4}};
  EXPECT_EQ(contConvexHull(same, 2, work), 1);
  const Point2D two[2] = {{0, 0}, {5, 5}};
  EXPECT_EQ(contConvexHull(two, 2, work), 2);
  EXPECT_EQ(work[0].x, 0);
  EXPECT_EQ(work[1].x, 5);
}
}  // namespace
