// Tests of the polygon triangulation, judged by oracles that do not share its code: the shoelace
// area, crossing parity for random points, a count of how often each polygon edge and each
// diagonal occurs, and brute-force crossing tests of the bad inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/seidel.h"
#include "support/temp_dir.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

// A polygon as the triangulation takes it: contour sizes and 1-based points.
struct Poly {
  std::vector<int> counts;
  std::vector<Point2D> pts{Point2D{0, 0}};  // entry 0 is never read
  void add(const std::vector<Point2D>& contour) {
    counts.push_back(static_cast<int>(contour.size()));
    pts.insert(pts.end(), contour.begin(), contour.end());
  }
  int n() const { return static_cast<int>(pts.size()) - 1; }
  int holes() const { return static_cast<int>(counts.size()) - 1; }
  // The contours as lists of 1-based indices.
  std::vector<std::vector<int>> contours() const {
    std::vector<std::vector<int>> c;
    int base = 1;
    for (int m : counts) {
      c.emplace_back();
      for (int j = 0; j < m; ++j) c.back().push_back(base + j);
      base += m;
    }
    return c;
  }
};

std::vector<Point2D> reversed(std::vector<Point2D> v) { return {v.rbegin(), v.rend()}; }

double cross(const Point2D& a, const Point2D& b, const Point2D& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Signed shoelace area of all contours (holes run clockwise and subtract).
double shoelace(const Poly& p) {
  double a = 0;
  for (const auto& c : p.contours()) {
    for (std::size_t j = 0; j < c.size(); ++j) {
      const Point2D& u = p.pts[c[j]];
      const Point2D& v = p.pts[c[(j + 1) % c.size()]];
      a += u.x * v.y - v.x * u.y;
    }
  }
  return a / 2;
}

// Crossing parity over every contour: inside the region (outer minus holes).
bool insideByParity(const Poly& p, const Point2D& q) {
  bool in = false;
  for (const auto& c : p.contours()) {
    for (std::size_t j = 0; j < c.size(); ++j) {
      const Point2D& a = p.pts[c[j]];
      const Point2D& b = p.pts[c[(j + 1) % c.size()]];
      if ((a.y > q.y) != (b.y > q.y) && q.x < a.x + (q.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
        in = !in;
      }
    }
  }
  return in;
}

struct Result {
  int code = 0;
  std::vector<std::array<int, 3>> tris;
};

Result triangulate(const Poly& p, std::uint64_t seed, int capacity = -1, int limit = -1) {
  triSeidelResetState();
  EXPECT_EQ(triSeidelPrepare(capacity < 0 ? 2 * p.n() + 3 : capacity), 1);
  const int room = limit < 0 ? p.n() + 2 * p.holes() + 2 : limit;
  triSeidelSetTriangleLimit(room);
  triSeidelSetSeed(seed);
  std::unique_ptr<int[][3]> out(new int[static_cast<std::size_t>(room) + 1][3]);
  Result r;
  r.code = triangulate_polygonm_seidel(static_cast<int>(p.counts.size()), p.counts.data(),
                                       p.pts.data(), out.get());
  if (r.code == 1) {
    const int count = p.n() + 2 * p.holes() - 2;
    for (int i = 0; i < count; ++i) r.tris.push_back({out[i][0], out[i][1], out[i][2]});
  }
  triSeidelRelease();
  return r;
}

// Checks a triangulation against the oracles; `probes` random points are classified.
void expectTriangulates(const Poly& p, const Result& r, std::mt19937_64& rng, int probes) {
  ASSERT_EQ(r.code, 1) << "fail code " << triSeidelFailCode();
  const int n = p.n();
  ASSERT_EQ(static_cast<int>(r.tris.size()), n + 2 * p.holes() - 2);
  double area = 0;
  // every polygon edge once, in its own direction; every other edge once each way
  std::map<std::pair<int, int>, int> edges;
  for (const auto& t : r.tris) {
    for (int k = 0; k < 3; ++k) {
      ASSERT_GE(t[k], 1);
      ASSERT_LE(t[k], n);
      edges[{t[k], t[(k + 1) % 3]}]++;
    }
    const double a = cross(p.pts[t[0]], p.pts[t[1]], p.pts[t[2]]);
    ASSERT_GT(a, 0.0) << "triangle not counter-clockwise";
    area += a / 2;
  }
  const double expected = shoelace(p);
  EXPECT_NEAR(area, expected, 1e-9 * std::fabs(expected));
  for (const auto& c : p.contours()) {
    for (std::size_t j = 0; j < c.size(); ++j) {
      const int a = c[j], b = c[(j + 1) % c.size()];
      EXPECT_EQ(edges[std::make_pair(a, b)], 1) << "edge " << a << "-" << b;
      EXPECT_EQ(edges.count(std::make_pair(b, a)), 0u)
          << "edge " << a << "-" << b << " used from outside";
      edges.erase(std::make_pair(a, b));
    }
  }
  for (const auto& [e, count] : edges) {
    EXPECT_EQ(count, 1);
    EXPECT_EQ(edges.count(std::make_pair(e.second, e.first)), 1u)
        << "diagonal " << e.first << "-" << e.second;
  }
  // random points of the box: inside the region in exactly one triangle, elsewhere in none
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (int i = 1; i <= n; ++i) {
    x0 = std::fmin(x0, p.pts[i].x);
    x1 = std::fmax(x1, p.pts[i].x);
    y0 = std::fmin(y0, p.pts[i].y);
    y1 = std::fmax(y1, p.pts[i].y);
  }
  std::uniform_real_distribution<double> ux(x0, x1), uy(y0, y1);
  for (int i = 0; i < probes; ++i) {
    const Point2D q{ux(rng), uy(rng)};
    int hits = 0;
    for (const auto& t : r.tris) {
      if (cross(p.pts[t[0]], p.pts[t[1]], q) > 0 && cross(p.pts[t[1]], p.pts[t[2]], q) > 0 &&
          cross(p.pts[t[2]], p.pts[t[0]], q) > 0) {
        ++hits;
      }
    }
    ASSERT_EQ(hits, insideByParity(p, q) ? 1 : 0) << "point " << q.x << " " << q.y;
  }
}

// Star-shaped contour about c: k points at jittered even angles, radii between rMin and rMax,
// counter-clockwise.
std::vector<Point2D> star(std::mt19937_64& rng, Point2D c, int k, double rMin, double rMax) {
  std::uniform_real_distribution<double> jitter(0.0, 0.8), radius(rMin, rMax);
  std::vector<Point2D> v;
  for (int i = 0; i < k; ++i) {
    const double a = 2 * kPi * (i + jitter(rng)) / k;
    const double r = radius(rng);
    v.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return v;
}

// A star-shaped outer contour of radius 70..100 about the origin (it holds the disc of radius 50
// for 8 or more points) with up to `holes` small star holes on a grid of cells inside radius 45.
Poly randomRegion(std::mt19937_64& rng, int outerPoints, int holes) {
  Poly p;
  p.add(star(rng, {0, 0}, outerPoints, 70, 100));
  const double cell = 10;
  std::vector<Point2D> centres;
  for (double x = -40; x <= 40; x += cell) {
    for (double y = -40; y <= 40; y += cell) {
      if (std::hypot(x, y) + cell / 2 < 45) centres.push_back({x, y});
    }
  }
  std::shuffle(centres.begin(), centres.end(), rng);
  std::uniform_int_distribution<int> holeSize(3, 12);
  std::uniform_real_distribution<double> shift(-1.0, 1.0);
  for (int h = 0; h < holes && h < static_cast<int>(centres.size()); ++h) {
    const Point2D c{centres[h].x + shift(rng), centres[h].y + shift(rng)};
    p.add(reversed(star(rng, c, holeSize(rng), 1.0, 3.5)));
  }
  return p;
}

Poly fromContours(const std::vector<std::vector<Point2D>>& contours) {
  Poly p;
  for (const auto& c : contours) p.add(c);
  return p;
}

const std::vector<Point2D> kSquare{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const std::vector<Point2D> kHole{{3, 3}, {3, 7}, {7, 7}, {7, 3}};  // clockwise

TEST(Seidel, SmallPolygonsGiveTheirTriangles) {
  // A rectilinear comb: many points share a height, which the point order must break.
  std::vector<Point2D> comb{{0, 0}, {20, 0}};
  for (int i = 10; i >= 1; --i) {
    comb.push_back({2.0 * i, 5});
    comb.push_back({2.0 * i - 1, 5});
    comb.push_back({2.0 * i - 1, 1});
    comb.push_back({2.0 * i - 2, 1});
  }
  comb.back() = {0, 5};
  comb.pop_back();
  comb.push_back({0, 5});
  struct Case {
    const char* name;
    Poly poly;
  } cases[] = {
      {"triangle", fromContours({{{0, 0}, {4, 0}, {1, 3}}})},
      {"square", fromContours({kSquare})},
      {"square with square hole", fromContours({kSquare, kHole})},
      {"square with points on its edges",
       fromContours({{{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {5, 10}, {0, 10}, {0, 5}}})},
      {"two holes side by side", fromContours({{{0, 0}, {20, 0}, {20, 10}, {0, 10}},
                                               {{2, 2}, {2, 8}, {8, 8}, {8, 2}},
                                               {{12, 2}, {12, 8}, {18, 8}, {18, 2}}})},
      {"comb", fromContours({comb})},
      {"spiral-free zigzag",
       fromContours({{{0, 0}, {6, 0}, {6, 1}, {1, 1}, {1, 2}, {6, 2}, {6, 3}, {0, 3}}})},
  };
  std::mt19937_64 rng(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
      expectTriangulates(c.poly, triangulate(c.poly, seed), rng, 200);
    }
  }
}

TEST(Seidel, RandomRegionsWithHolesOverManySeeds) {
  std::mt19937_64 rng(2024);
  std::uniform_int_distribution<int> outer(8, 200), holes(0, 12);
  for (int round = 0; round < 300; ++round) {
    const Poly p = randomRegion(rng, outer(rng), holes(rng));
    SCOPED_TRACE("round " + std::to_string(round));
    expectTriangulates(p, triangulate(p, 1000 + round), rng, 100);
  }
}

// Heights that tie exactly or within 1e-12: a regular polygon (mirror points whose y differ by
// rounding only) with axis-parallel square holes on whole coordinates.
TEST(Seidel, TiedHeightsOverManySeeds) {
  std::mt19937_64 rng(17);
  for (int k : {8, 12, 50, 333, 1000}) {
    Poly p;
    std::vector<Point2D> outer;
    for (int i = 0; i < k; ++i) {
      outer.push_back({100 * std::cos(2 * kPi * i / k), 100 * std::sin(2 * kPi * i / k)});
    }
    p.add(outer);
    for (int x = -40; x <= 40; x += 10) {
      for (int y = -40; y <= 40; y += 10) {
        if (std::hypot(x, y) > 50 || (x + y) % 20 == 0) continue;
        p.add({{x - 2.0, y - 2.0}, {x - 2.0, y + 2.0}, {x + 2.0, y + 2.0}, {x + 2.0, y - 2.0}});
      }
    }
    SCOPED_TRACE(k);
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
      expectTriangulates(p, triangulate(p, seed), rng, 100);
    }
  }
}

TEST(Seidel, LargeRegionWithManyHoles) {
  std::mt19937_64 rng(99);
  const Poly p = randomRegion(rng, 5000, 40);
  for (std::uint64_t seed : {1u, 2u, 3u}) expectTriangulates(p, triangulate(p, seed), rng, 300);
}

TEST(Seidel, SameSeedRepeatsTheTriangulation) {
  std::mt19937_64 rng(5);
  const Poly p = randomRegion(rng, 60, 5);
  const Result a = triangulate(p, 42);
  const Result b = triangulate(p, 42);
  ASSERT_EQ(a.code, 1);
  EXPECT_EQ(a.tris, b.tris);
}

// Successive calls on prepared tables (the generator runs on) each give a valid result, with or
// without clearing in between.
TEST(Seidel, SuccessiveCallsOnOneSetOfTables) {
  std::mt19937_64 rng(11);
  ASSERT_EQ(triSeidelPrepare(1000), 1);
  triSeidelSetTriangleLimit(1000);
  std::unique_ptr<int[][3]> out(new int[1000][3]);
  for (int i = 0; i < 30; ++i) {
    const Poly p = randomRegion(rng, 30 + i, i % 6);
    if (i % 2 == 0) triSeidelClear();
    ASSERT_EQ(triangulate_polygonm_seidel(static_cast<int>(p.counts.size()), p.counts.data(),
                                          p.pts.data(), out.get()),
              1);
    Result r;
    r.code = 1;
    for (int k = 0; k < p.n() + 2 * p.holes() - 2; ++k)
      r.tris.push_back({out[k][0], out[k][1], out[k][2]});
    expectTriangulates(p, r, rng, 50);
  }
  triSeidelRelease();
}

void expectFailure(const Poly& p, int expectedCode, std::uint64_t seed = 1) {
  const Result r = triangulate(p, seed);
  EXPECT_EQ(r.code, -1);
  if (expectedCode != 0) {
    EXPECT_EQ(triSeidelFailCode(), expectedCode);
  } else {
    EXPECT_LT(triSeidelFailCode(), 0);
  }
  EXPECT_EQ(geoErrCode(), -1);
  EXPECT_STREQ(geoErrRecord()->file, "tripoly2");
}

TEST(Seidel, BadPolygonsFail) {
  struct Case {
    const char* name;
    Poly poly;
    int code;  // 0: any failure code
  } cases[] = {
      {"outer clockwise", fromContours({reversed(kSquare)}), -47},
      {"hole counter-clockwise", fromContours({kSquare, reversed(kHole)}), -47},
      {"all points on a line", fromContours({{{0, 0}, {1, 0}, {2, 0}}}), -47},
      {"repeated point", fromContours({{{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}}}), -41},
      {"points within 1e-12",
       fromContours({{{0, 0}, {10, 0}, {10 + 5e-13, 5e-13}, {10, 10}, {0, 10}}}), -41},
      {"closing point repeated", fromContours({{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}}), -41},
      {"touching itself at a vertex",
       fromContours({{{0, 0}, {10, 0}, {5, 5}, {10, 10}, {0, 10}, {5, 5}}}), -41},
      {"hole touching the outer contour at a vertex",
       fromContours({kSquare, {{0, 0}, {3, 7}, {7, 3}}}), -41},
      {"bowtie", fromContours({{{0, 0}, {10, 10}, {10, 0}, {0, 10}}}), 0},
      {"vertex on another edge", fromContours({{{0, 0}, {10, 0}, {10, 10}, {5, 0}, {0, 10}}}), 0},
      {"hole outside the outer contour",
       fromContours({kSquare, {{20, 3}, {20, 7}, {24, 7}, {24, 3}}}), 0},
      {"hole crossing the outer contour",
       fromContours({kSquare, {{8, 3}, {8, 7}, {12, 7}, {12, 3}}}), 0},
      {"overlapping holes", fromContours({kSquare, kHole, {{4, 4}, {4, 8}, {8, 8}, {8, 4}}}), 0},
      {"hole inside a hole", fromContours({kSquare, {{1, 1}, {1, 9}, {9, 9}, {9, 1}}, kHole}), 0},
      {"hole around the outer contour",
       fromContours({kSquare, {{-1, -1}, {-1, 11}, {11, 11}, {11, -1}}}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::uint64_t seed = 1; seed <= 30; ++seed) expectFailure(c.poly, c.code, seed);
  }
}

// Contours that cross themselves (points in random angular order) must never pass as a
// triangulation, whatever the insertion order.
TEST(Seidel, SelfCrossingContoursFailOverManySeeds) {
  std::mt19937_64 rng(31);
  std::uniform_int_distribution<int> size(5, 40);
  int tried = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<Point2D> v = star(rng, {0, 0}, size(rng), 10, 100);
    std::shuffle(v.begin(), v.end(), rng);
    // keep only contours that really cross (brute force) and run counter-clockwise overall
    bool crosses = false;
    const std::size_t m = v.size();
    for (std::size_t i = 0; i < m && !crosses; ++i) {
      for (std::size_t j = i + 2; j < m && !crosses; ++j) {
        if (i == 0 && j == m - 1) continue;
        const Point2D &a = v[i], &b = v[(i + 1) % m], &c = v[j], &d = v[(j + 1) % m];
        crosses = (cross(a, b, c) > 0) != (cross(a, b, d) > 0) &&
                  (cross(c, d, a) > 0) != (cross(c, d, b) > 0);
      }
    }
    if (!crosses) continue;
    Poly p;
    p.add(v);
    if (shoelace(p) < 0) {
      p = Poly{};
      p.add(reversed(v));
    }
    ++tried;
    SCOPED_TRACE("round " + std::to_string(round));
    expectFailure(p, 0, 500 + round);
  }
  EXPECT_GT(tried, 300);
}

TEST(Seidel, ArgumentsAndCapacities) {
  const Poly p = fromContours({kSquare, kHole});
  // tables too small for the points
  Result r = triangulate(p, 1, 7);
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(triSeidelFailCode(), -27);
  // output room below n + 2h - 2
  r = triangulate(p, 1, -1, 7);
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(triSeidelFailCode(), -20);
  // tables not prepared, null arrays, short contours
  triSeidelResetState();
  triSeidelSetTriangleLimit(100);
  int out[100][3];
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), p.pts.data(), out), -1);
  EXPECT_EQ(triSeidelFailCode(), -1);
  ASSERT_EQ(triSeidelPrepare(100), 1);
  EXPECT_EQ(triangulate_polygonm_seidel(2, nullptr, p.pts.data(), out), -1);
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), nullptr, out), -1);
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), p.pts.data(), nullptr), -1);
  EXPECT_EQ(triangulate_polygonm_seidel(0, p.counts.data(), p.pts.data(), out), -1);
  const int shortCounts[] = {2};
  EXPECT_EQ(triangulate_polygonm_seidel(1, shortCounts, p.pts.data(), out), -1);
  EXPECT_EQ(triSeidelFailCode(), -20);
  const Point2D bad[] = {{0, 0}, {0, 0}, {1, 0}, {0, NAN}};
  const int three[] = {3};
  EXPECT_EQ(triangulate_polygonm_seidel(1, three, bad, out), -1);
  // the tables still work after all that, and a stale failure left in the error record by some
  // earlier operation does not fail a sound polygon
  geoErrSet(-41, "elsewhere", 1);
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), p.pts.data(), out), 1);
  EXPECT_EQ(triSeidelFailCode(), 0);
  EXPECT_EQ(triSeidelPrepare(2), -20);
  EXPECT_EQ(triSeidelCapacity(), 0);
  EXPECT_EQ(triSeidelClear(), 0);
  triSeidelRelease();
}

// Tables for exactly the point count hold the segments but not the decomposition of a large
// polygon (it needs about 4.7 trapezoids per segment): the trapezoid table reports itself full.
// Twice the point count plus 3, as the mesh builder prepares, suffices.
TEST(Seidel, FullTrapezoidTableFailsCleanly) {
  std::mt19937_64 rng(123);
  for (int round = 0; round < 5; ++round) {
    const Poly p = randomRegion(rng, 3000, round * 5);
    const Result r = triangulate(p, 77 + round, p.n());
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(triSeidelFailCode(), -27);
    expectTriangulates(p, triangulate(p, 77 + round, 2 * p.n() + 3), rng, 20);
  }
}

// A failed allocation anywhere (tables or scratch) ends in the failure result and leaks nothing;
// the module works again afterwards.
TEST(Seidel, AllocationFailureAtEveryStep) {
  std::mt19937_64 rng(3);
  const Poly p = randomRegion(rng, 40, 3);
  std::unique_ptr<int[][3]> out(new int[200][3]);
  bool reachedEnd = false;
  for (int n = 1; n < 40 && !reachedEnd; ++n) {
    triSeidelResetState();
    triSeidelSetTriangleLimit(200);
    triSeidelFailAllocationAt(n);
    if (triSeidelPrepare(2 * p.n() + 3) != 1) {
      EXPECT_EQ(triSeidelCapacity(), 0);
      EXPECT_EQ(geoErrCode(), -1);
      continue;
    }
    const int code = triangulate_polygonm_seidel(static_cast<int>(p.counts.size()), p.counts.data(),
                                                 p.pts.data(), out.get());
    if (code == 1) {
      reachedEnd = true;
    } else {
      EXPECT_EQ(code, -1);
      EXPECT_EQ(triSeidelFailCode(), -1);
      EXPECT_EQ(geoErrCode(), -1);
    }
  }
  EXPECT_TRUE(reachedEnd);
  triSeidelResetState();
}

// With the debug switch on, a fault inside is logged with the two problem lines before the entry's
// failure, and a full table leaves its -27 in the log.
TEST(Seidel, FaultsAndFullTablesAreLogged) {
  qdtest::ScopedTempDir dir;
  geoResetState();
  qdtest::writeFile("wogdebug.info", "DEBUG 1\n");
  ASSERT_EQ(geoDebugOn(), 1);
  const Poly p = fromContours({kSquare, kHole});
  triSeidelResetState();
  ASSERT_EQ(triSeidelPrepare(100), 1);
  triSeidelSetTriangleLimit(100);
  int out[100][3];
  triSeidelFailAllocationAt(1);  // the first scratch allocation of the call
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), p.pts.data(), out), -1);
  const std::string log = qdtest::readFile("wogerrno.txt");
  EXPECT_NE(log.find("code = -1, line = 0, file = \n ********** Problem 0 = UNKNOWN at "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("code = -1, line = 0, file = Problem in triangulate_polygonm_seidel\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.rfind("file = tripoly2\n"), std::string::npos);
  triSeidelFailAllocationAt(0);
  EXPECT_EQ(triangulate_polygonm_seidel(2, p.counts.data(), p.pts.data(), out), 1);
  triSeidelRelease();
  std::mt19937_64 rng(4);
  const Poly big = randomRegion(rng, 3000, 0);
  const Result r = triangulate(big, 1, big.n());
  EXPECT_EQ(r.code, -1);
  EXPECT_NE(qdtest::readFile("wogerrno.txt").find("code = -27, line = "), std::string::npos);
  triSeidelResetState();
}
}  // namespace
