// Tests of the Boolean operations on regions: a structural table of square layouts, area
// identities on random rectangles and polygons, point membership against a winding-number oracle,
// the heights of the results, the scaled retries, invalid input and allocation failures.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cell_shapes.h"
#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"
#include "kont_shapes.h"

namespace {

using qdtest::kontFromPoints;
using qdtest::square;

struct KontDeleter {
  void operator()(Kont2D* k) const { kontFree(k); }
};
using KontPtr = std::unique_ptr<Kont2D, KontDeleter>;

// A region: outer contour and islands as point lists (outer counter-clockwise, islands
// clockwise).
struct Shape {
  std::vector<Point2D> outer;
  std::vector<std::vector<Point2D>> islands;
};

Kont2D* makeRegion(const Shape& s, double z) {
  Kont2D* outer = kontFromPoints(s.outer, z);
  std::vector<Kont2D*> isl;
  for (const auto& p : s.islands) isl.push_back(kontFromPoints(p, z));
  qdtest::kontHangIslands(outer, isl);
  return outer;
}

// A region list of the shapes, chained by next.
Kont2D* makeList(const std::vector<Shape>& shapes, double z = 0.0) {
  Kont2D* head = nullptr;
  Kont2D* last = nullptr;
  for (const Shape& s : shapes) {
    Kont2D* r = makeRegion(s, z);
    if (last == nullptr)
      head = r;
    else {
      last->next = r;
      r->prev = last;
    }
    last = r;
  }
  return head;
}

double listArea(const Kont2D* list) {
  double a = 0.0;
  for (const Kont2D* r = list; r != nullptr; r = r->next) a += kontArea(r);
  return a;
}

std::vector<const Kont2D*> allContours(const Kont2D* list) {
  std::vector<const Kont2D*> out;
  for (const Kont2D* r = list; r != nullptr; r = r->next)
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) out.push_back(k);
  return out;
}

// Runs one attempt on fresh copies of the shapes.
int runBoolean(const std::vector<Shape>& a, const std::vector<Shape>& b, int mode, KontPtr* out,
               double z = 0.0) {
  KontPtr ka(a.empty() ? nullptr : makeList(a, z));
  KontPtr kb(b.empty() ? nullptr : makeList(b, z));
  Kont2D* res = nullptr;
  const int r = kontBoolean(ka.get(), kb.get(), mode, &res);
  out->reset(res);
  return r;
}

struct TableCase {
  const char* name;
  std::vector<Shape> a, b;
  int mode;
  int result;
  double area;
  int contours;   // all contours of the result
  int islands;    // contours at depth 1
  int firstSegs;  // segments of the first contour, 0 for any
};
// Test listings name a case by its name, not by its bytes.
void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

const Shape kUnit{square(0, 0, 1), {}};

std::vector<TableCase> tableCases() {
  const Shape overlap{square(1, 1, 1), {}};
  const Shape right{square(2, 0, 1), {}};
  const Shape big{square(0, 0, 3), {}};
  const Shape far{square(5, 0, 1), {}};
  const Shape holed{square(0, 0, 4), {square(0, 0, 2, true)}};
  return {
      {"OverlapUnion", {kUnit}, {overlap}, kKontUnion, 1, 7.0, 1, 0, 8},
      {"OverlapIntersection", {kUnit}, {overlap}, kKontIntersection, 1, 1.0, 1, 0, 4},
      {"OverlapDifference", {kUnit}, {overlap}, kKontDifference, 1, 3.0, 1, 0, 6},
      {"SharedEdgeUnion", {kUnit}, {right}, kKontUnion, 1, 8.0, 1, 0, 6},
      {"SharedEdgeIntersection", {kUnit}, {right}, kKontIntersection, 0, 0.0, 0, 0, 0},
      {"SharedEdgeDifference", {kUnit}, {right}, kKontDifference, 1, 4.0, 1, 0, 4},
      {"EqualUnion", {kUnit}, {kUnit}, kKontUnion, 1, 4.0, 1, 0, 4},
      {"EqualIntersection", {kUnit}, {kUnit}, kKontIntersection, 1, 4.0, 1, 0, 4},
      {"EqualDifference", {kUnit}, {kUnit}, kKontDifference, 0, 0.0, 0, 0, 0},
      {"InsideUnion", {big}, {kUnit}, kKontUnion, 1, 36.0, 1, 0, 4},
      {"InsideIntersection", {big}, {kUnit}, kKontIntersection, 1, 4.0, 1, 0, 4},
      {"InsideDifference", {big}, {kUnit}, kKontDifference, 1, 32.0, 2, 1, 4},
      {"DisjointUnion", {kUnit}, {far}, kKontUnion, 1, 8.0, 2, 0, 4},
      {"DisjointIntersection", {kUnit}, {far}, kKontIntersection, 0, 0.0, 0, 0, 0},
      {"DisjointDifference", {kUnit}, {far}, kKontDifference, 1, 4.0, 1, 0, 4},
      {"IslandUnion", {holed}, {big}, kKontUnion, 1, 64.0, 1, 0, 0},
      {"IslandIntersection", {holed}, {big}, kKontIntersection, 1, 20.0, 2, 1, 0},
      {"IslandDifference", {holed}, {big}, kKontDifference, 1, 28.0, 2, 1, 0},
      {"NullAUnion", {}, {kUnit}, kKontUnion, 1, 4.0, 1, 0, 4},
      {"NullAIntersection", {}, {kUnit}, kKontIntersection, 0, 0.0, 0, 0, 0},
      {"NullADifference", {}, {kUnit}, kKontDifference, 0, 0.0, 0, 0, 0},
      {"NullBUnion", {kUnit}, {}, kKontUnion, 1, 4.0, 1, 0, 4},
      {"NullBIntersection", {kUnit}, {}, kKontIntersection, 0, 0.0, 0, 0, 0},
      {"NullBDifference", {holed}, {}, kKontDifference, 1, 48.0, 2, 1, 4},
  };
}

class KontBooleanTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(KontBooleanTable, StructureAndArea) {
  const TableCase& t = GetParam();
  KontPtr res;
  ASSERT_EQ(runBoolean(t.a, t.b, t.mode, &res), t.result);
  if (t.result != 1) {
    EXPECT_EQ(res, nullptr);
    return;
  }
  ASSERT_NE(res, nullptr);
  EXPECT_NEAR(listArea(res.get()), t.area, 1e-9);
  const auto all = allContours(res.get());
  EXPECT_EQ(static_cast<int>(all.size()), t.contours);
  int islands = 0;
  for (const Kont2D* k : all) {
    EXPECT_EQ(k->closed, 1);
    islands += k->depth == 1;
    // Islands run against their outer contour.
    EXPECT_EQ(kontOrientation(k), k->depth == 1 ? -1 : 1);
    const Seg2D& last = k->segments[k->count - 1];
    EXPECT_EQ(last.x2, k->segments[0].x1);
    EXPECT_EQ(last.y2, k->segments[0].y1);
  }
  EXPECT_EQ(islands, t.islands);
  if (t.firstSegs > 0) {
    EXPECT_EQ(res->count, t.firstSegs);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, KontBooleanTable, ::testing::ValuesIn(tableCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Chained results lose the operands' height; copies made for a null operand keep it.
TEST(KontBoolean, ChainedResultsHaveHeightZeroCopiesKeepTheirs) {
  const Shape other{square(1, 1, 1), {}};
  KontPtr res;
  ASSERT_EQ(runBoolean({kUnit}, {other}, kKontUnion, &res, 5.0), 1);
  for (const Kont2D* k : allContours(res.get())) EXPECT_EQ(k->z, 0.0);
  ASSERT_EQ(runBoolean({}, {kUnit}, kKontUnion, &res, 5.0), 1);
  for (const Kont2D* k : allContours(res.get())) EXPECT_EQ(k->z, 5.0);
}

// Random axis-parallel rectangles: the intersection area is known in closed form.
TEST(KontBoolean, RectangleAreaIdentities) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> pos(-10.0, 10.0), size(0.5, 8.0);
  for (int trial = 0; trial < 200; ++trial) {
    const double ax = pos(rng), ay = pos(rng), aw = size(rng), ah = size(rng);
    const double bx = pos(rng) * 0.5, by = pos(rng) * 0.5, bw = size(rng), bh = size(rng);
    const Shape a{{{ax, ay}, {ax + aw, ay}, {ax + aw, ay + ah}, {ax, ay + ah}}, {}};
    const Shape b{{{bx, by}, {bx + bw, by}, {bx + bw, by + bh}, {bx, by + bh}}, {}};
    const double ow = std::fmax(0.0, std::fmin(ax + aw, bx + bw) - std::fmax(ax, bx));
    const double oh = std::fmax(0.0, std::fmin(ay + ah, by + bh) - std::fmax(ay, by));
    const double inter = ow * oh;
    KontPtr u, i, d;
    ASSERT_GE(runBoolean({a}, {b}, kKontUnion, &u), 0) << trial;
    ASSERT_GE(runBoolean({a}, {b}, kKontIntersection, &i), 0) << trial;
    ASSERT_GE(runBoolean({a}, {b}, kKontDifference, &d), 0) << trial;
    const double tol = 1e-9 * 100.0;
    EXPECT_NEAR(listArea(i.get()), inter, tol) << trial;
    EXPECT_NEAR(listArea(u.get()), aw * ah + bw * bh - inter, tol) << trial;
    EXPECT_NEAR(listArea(d.get()), aw * ah - inter, tol) << trial;
  }
}

// Crossing parity over all result contours, and the region test through the nesting.
bool inByContours(const Kont2D* list, const Point2D& q) {
  int n = 0;
  std::vector<Point2D> points;
  for (const Kont2D* r = list; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      points.clear();
      for (int i = 0; i < k->count; ++i) points.push_back({k->segments[i].x1, k->segments[i].y1});
      n += qdtest::windingNumber(points, q) != 0;
    }
  }
  return (n & 1) != 0;
}

bool inByRegions(const Kont2D* list, const Point2D& q) {
  for (const Kont2D* r = list; r != nullptr; r = r->next)
    if (kontClassifyPoint(r, q) == 2) return true;
  return false;
}

struct RandomCase {
  std::vector<Shape> a, b;
  std::vector<std::vector<Point2D>> polys;  // every contour, for the edge distance
};

RandomCase randomCase(std::mt19937& rng, int n, bool island) {
  std::uniform_real_distribution<double> shift(-3.0, 3.0);
  RandomCase c;
  Shape a{qdtest::star(rng, {0, 0}, n, 4.0, 10.0, false), {}};
  if (island) a.islands.push_back(qdtest::star(rng, {0.5, 0}, n / 2 + 3, 1.0, 3.5, true));
  Shape b{qdtest::star(rng, {shift(rng), shift(rng)}, n, 3.0, 9.0, false), {}};
  c.polys.push_back(a.outer);
  for (auto& p : a.islands) c.polys.push_back(p);
  c.polys.push_back(b.outer);
  c.a = {a};
  c.b = {b};
  return c;
}

bool inShape(const Shape& s, const Point2D& q) {
  if (qdtest::windingNumber(s.outer, q) == 0) return false;
  for (const auto& isl : s.islands)
    if (qdtest::windingNumber(isl, q) != 0) return false;
  return true;
}

TEST(KontBoolean, RandomPolygonsAreaAndMembership) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> coord(-12.0, 12.0);
  for (int trial = 0; trial < 40; ++trial) {
    const RandomCase c = randomCase(rng, 8 + trial, trial % 2 == 1);
    KontPtr res[3];
    for (int mode = 0; mode < 3; ++mode)
      ASSERT_GE(runBoolean(c.a, c.b, mode, &res[mode]), 0) << trial << " mode " << mode;
    KontPtr ka(makeList(c.a)), kb(makeList(c.b));
    const double areaA = listArea(ka.get()), areaB = listArea(kb.get());
    const double inter = listArea(res[1].get());
    EXPECT_NEAR(listArea(res[0].get()), areaA + areaB - inter, 1e-7) << trial;
    EXPECT_NEAR(listArea(res[2].get()), areaA - inter, 1e-7) << trial;
    for (int p = 0; p < 300; ++p) {
      const Point2D q{coord(rng), coord(rng)};
      bool nearEdge = false;
      for (const auto& poly : c.polys) nearEdge = nearEdge || qdtest::polyDistance(poly, q) < 1e-4;
      if (nearEdge) continue;
      const bool inA = inShape(c.a[0], q), inB = inShape(c.b[0], q);
      const bool want[3] = {inA || inB, inA && inB, inA && !inB};
      for (int mode = 0; mode < 3; ++mode) {
        EXPECT_EQ(inByContours(res[mode].get(), q), want[mode]) << trial << " mode " << mode;
        EXPECT_EQ(inByRegions(res[mode].get(), q), want[mode]) << trial << " mode " << mode;
      }
    }
  }
}

// A result repeats from run to run: it never depends on where the contours lie in memory.
TEST(KontBoolean, RepeatsSegmentForSegment) {
  std::mt19937 rng(9);
  const RandomCase c = randomCase(rng, 30, true);
  std::vector<double> first;
  for (int run = 0; run < 3; ++run) {
    std::vector<KontPtr> noise;  // shifts the addresses of the next run's contours
    for (int k = 0; k < run * 7; ++k) noise.emplace_back(kontFromPoints(square(0, 0, 1)));
    KontPtr res;
    ASSERT_EQ(runBoolean(c.a, c.b, kKontUnion, &res), 1);
    std::vector<double> flat;
    for (const Kont2D* k : allContours(res.get()))
      for (int i = 0; i < k->count; ++i)
        flat.insert(flat.end(), {k->segments[i].x1, k->segments[i].y1, double(k->depth)});
    if (run == 0)
      first = flat;
    else
      EXPECT_EQ(flat, first);
  }
}

// Two contours of A that each start inside the other were both hung under the other: a cycle
// of islands that the release walked twice.
TEST(KontBoolean, EveryResultContourIsLinkedOnce) {
  // [0,2]^2 starting at (2,2), inside [1,3]^2, which starts at (1,1), inside the first.
  const Shape s1{{{2, 2}, {0, 2}, {0, 0}, {2, 0}}, {}};
  const Shape s2{{{1, 1}, {3, 1}, {3, 3}, {1, 3}}, {}};
  KontPtr res;
  ASSERT_EQ(runBoolean({s1, s2}, {Shape{square(20, 0, 1), {}}}, kKontUnion, &res), 1);
  const auto all = allContours(res.get());
  ASSERT_EQ(all.size(), 3u);
  EXPECT_NE(all[0], all[1]);
  EXPECT_NE(all[1], all[2]);
  EXPECT_NE(all[0], all[2]);
}

// Two squares meeting at one corner: the second contour starts at that corner, which the
// crossing parity counts inside the first square, so the union hung it there as an island and the
// second square was outside the result.
TEST(KontBoolean, SquaresTouchingAtACornerStayTwoRegions) {
  const Point2D corners[] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
  for (const Point2D& d : corners) {
    for (int swap = 0; swap < 2; ++swap) {
      const Shape first{square(0, 0, 1), {}};
      const Shape second{square(2 * d.x, 2 * d.y, 1), {}};
      KontPtr res;
      ASSERT_EQ(runBoolean({swap ? second : first}, {swap ? first : second}, kKontUnion, &res), 1)
          << d.x << " " << d.y << " " << swap;
      EXPECT_NEAR(listArea(res.get()), 8.0, 1e-9) << d.x << " " << d.y << " " << swap;
      for (const Kont2D* k : allContours(res.get())) EXPECT_EQ(k->depth, 0);
      const Point2D probes[] = {
          {0, 0}, {2 * d.x, 2 * d.y}, {0.5 * d.x, 0.9 * d.y}, {1.9 * d.x, 1.1 * d.y}};
      for (const Point2D& q : probes) EXPECT_TRUE(inByRegions(res.get(), q)) << q.x << " " << q.y;
      const Point2D outside[] = {{2 * d.x, 0}, {0, 2 * d.y}, {-2 * d.x, -2 * d.y}};
      for (const Point2D& q : outside) EXPECT_FALSE(inByRegions(res.get(), q)) << q.x << " " << q.y;
    }
  }
}

// Random rectangles on an integer grid share edges, parts of edges and corners in every way; the
// cell centres are never on a boundary, so the rectangles themselves decide membership.
TEST(KontBoolean, GridRectanglesMembership) {
  struct Rect {
    int x0, y0, x1, y1;
    bool contains(double x, double y) const { return x > x0 && x < x1 && y > y0 && y < y1; }
    std::vector<Point2D> points(bool cw) const {
      std::vector<Point2D> p{{double(x0), double(y0)},
                             {double(x1), double(y0)},
                             {double(x1), double(y1)},
                             {double(x0), double(y1)}};
      if (cw) p = {p[0], p[3], p[2], p[1]};
      return p;
    }
  };
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(0, 6);
  auto randomRect = [&] {
    int a = coord(rng), b = coord(rng), c = coord(rng), e = coord(rng);
    while (b == a) b = coord(rng);
    while (e == c) e = coord(rng);
    return Rect{std::min(a, b), std::min(c, e), std::max(a, b), std::max(c, e)};
  };
  for (int trial = 0; trial < 400; ++trial) {
    const Rect ra = randomRect(), rb = randomRect();
    const bool holed = trial % 3 == 0 && ra.x1 - ra.x0 >= 3 && ra.y1 - ra.y0 >= 3;
    const Rect ia{ra.x0 + 1, ra.y0 + 1, ra.x1 - 1, ra.y1 - 1};
    Shape a{ra.points(false), {}};
    if (holed) a.islands.push_back(ia.points(true));
    const Shape b{rb.points(false), {}};
    for (int mode = 0; mode < 3; ++mode) {
      KontPtr res;
      ASSERT_GE(runBoolean({a}, {b}, mode, &res), 0) << trial << " mode " << mode;
      for (double x = 0.5; x < 6; x += 1.0) {
        for (double y = 0.5; y < 6; y += 1.0) {
          const bool inA = ra.contains(x, y) && !(holed && ia.contains(x, y));
          const bool inB = rb.contains(x, y);
          const bool want = mode == 0 ? inA || inB : mode == 1 ? inA && inB : inA && !inB;
          ASSERT_EQ(inByRegions(res.get(), {x, y}), want)
              << trial << " mode " << mode << " at " << x << " " << y;
        }
      }
    }
  }
}

TEST(KontBoolean, InvalidInput) {
  KontPtr a(kontFromPoints(square(0, 0, 1)));
  KontPtr b(kontFromPoints(square(1, 0, 1)));
  Kont2D* out = reinterpret_cast<Kont2D*>(&out);
  EXPECT_EQ(kontBoolean(a.get(), b.get(), 3, &out), -20);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(kontBoolean(a.get(), b.get(), -1, &out), -20);
  EXPECT_EQ(kontBoolean(a.get(), b.get(), 0, nullptr), -20);
  // A first contour of two segments.
  KontPtr thin(kontFromPoints({{0, 0}, {1, 0}}));
  EXPECT_EQ(kontBoolean(thin.get(), b.get(), 0, &out), -20);
  EXPECT_EQ(geoErrCode(), -20);
  EXPECT_EQ(out, nullptr);
}

Kont2D* squareWithGap(double gap) {
  Kont2D* k = kontFromPoints(square(0, 0, 5));
  k->segments[3].x2 += gap;  // the last end misses the first start
  return k;
}

TEST(KontBoolean, OpenContourFailsOnceAndSucceedsScaled) {
  KontPtr b(kontFromPoints(square(3, 3, 5)));
  KontPtr a(squareWithGap(2e-8));
  Kont2D* out = nullptr;
  EXPECT_EQ(kontBoolean(a.get(), b.get(), kKontUnion, &out), -20);
  EXPECT_EQ(out, nullptr);
  KontPtr a2(squareWithGap(2e-8));
  KontPtr b2(kontFromPoints(square(3, 3, 5)));
  geoErrReset();
  ASSERT_EQ(kontBooleanScaled(a2.get(), b2.get(), kKontUnion, &out), 1);
  KontPtr res(out);
  EXPECT_NEAR(listArea(res.get()), 100.0 + 100.0 - 49.0, 1e-6);
  EXPECT_NEAR(res->xmin, -5.0, 1e-9);
  EXPECT_NEAR(res->ymax, 8.0, 1e-9);
  EXPECT_EQ(std::string(geoErrRecord()->file).rfind("Erfolg mit Skalierung 0.100000", 0), 0u);
  // The copies are back where they were.
  EXPECT_NEAR(b2->xmin, -2.0, 1e-9);
  EXPECT_NEAR(a2->segments[0].x1, -5.0, 1e-9);
  // A gap that no scale closes fails at every scale.
  KontPtr a3(squareWithGap(1e-3));
  KontPtr b3(kontFromPoints(square(3, 3, 5)));
  EXPECT_EQ(kontBooleanScaled(a3.get(), b3.get(), kKontUnion, &out), -20);
  EXPECT_EQ(out, nullptr);
}

TEST(KontBooleanSafe, ArgumentsAndNullOperands) {
  KontPtr a(kontFromPoints(square(0, 0, 1)));
  Kont2D* out = nullptr;
  EXPECT_EQ(kontBooleanSafe(nullptr, nullptr, kKontUnion, &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(kontBooleanSafe(a.get(), nullptr, 7, &out), -20);
  EXPECT_EQ(kontBooleanSafe(a.get(), nullptr, kKontUnion, nullptr), -20);
}

// The safe form copies both operands through a region snapshot first: the copy closes a contour
// whose last end misses its first start by 2e-8, so the operation runs and gives the exact areas.
TEST(KontBooleanSafe, CopiesTheOperandsAndGivesExactAreas) {
  struct Case {
    int mode;
    double area;
  };
  // A is [-5, 5]², B is [-2, 8]²: they share [-2, 5]², 49.
  const Case cases[] = {
      {kKontUnion, 100 + 100 - 49}, {kKontIntersection, 49}, {kKontDifference, 100 - 49}};
  for (const Case& c : cases) {
    KontPtr a(squareWithGap(2e-8));
    KontPtr b(kontFromPoints(square(3, 3, 5)));
    Kont2D* out = nullptr;
    EXPECT_EQ(kontBooleanSafe(a.get(), b.get(), c.mode, &out), 1) << "mode " << c.mode;
    KontPtr res(out);
    EXPECT_NEAR(listArea(res.get()), c.area, 1e-6) << "mode " << c.mode;
  }
}

// An operand that cannot be copied (a figure eight does not validate) fails the whole call.
TEST(KontBooleanSafe, AnInvalidOperandFailsTheCall) {
  KontPtr eight(kontFromPoints({{0, 0}, {2, 2}, {2, 0}, {0, 2}}));
  KontPtr b(kontFromPoints(square(0, 0, 1)));
  Kont2D* out = nullptr;
  EXPECT_EQ(kontBooleanSafe(eight.get(), b.get(), kKontUnion, &out), -1);
  EXPECT_EQ(out, nullptr);
}

// An operand record without segments copies to an empty list and stands for a null operand; the
// safe form reported -1 as if the copy had failed.
TEST(KontBooleanSafe, AnOperandWithoutSegmentsActsAsNull) {
  struct Case {
    bool emptyFirst;  // the empty record is A (else B)
    int mode;
    int result;
  };
  const Case cases[] = {
      {true, kKontUnion, 1},  {true, kKontIntersection, 0},  {true, kKontDifference, 0},
      {false, kKontUnion, 1}, {false, kKontIntersection, 0}, {false, kKontDifference, 1},
  };
  for (const Case& c : cases) {
    KontPtr empty(kontNew(nullptr, 4));
    KontPtr solid(kontFromPoints(square(0, 0, 1), 5.0));
    Kont2D* out = reinterpret_cast<Kont2D*>(&out);
    const int r = c.emptyFirst ? kontBooleanSafe(empty.get(), solid.get(), c.mode, &out)
                               : kontBooleanSafe(solid.get(), empty.get(), c.mode, &out);
    KontPtr res(c.result == 1 ? out : nullptr);
    ASSERT_EQ(r, c.result) << c.emptyFirst << " mode " << c.mode;
    if (c.result != 1) {
      EXPECT_EQ(out, nullptr);
      continue;
    }
    // The copy of the square: its area, its height and its points.
    EXPECT_NEAR(listArea(res.get()), 4.0, 1e-9);
    EXPECT_EQ(res->next, nullptr);
    EXPECT_EQ(res->z, 5.0);
    EXPECT_EQ(kontClassifyPoint(res.get(), Point2D{0.5, -0.5}), 2);
    EXPECT_EQ(kontClassifyPoint(res.get(), Point2D{1.5, 0.0}), 1);
  }
}

TEST(KontBoolean, AllocationFailuresLeakNothing) {
  const Shape other{square(1, 1, 1), {}};
  int failures = 0;
  for (long n = 1; n < 60; ++n) {
    KontPtr a(makeList({kUnit})), b(makeList({other}));
    Kont2D* out = reinterpret_cast<Kont2D*>(&out);
    memTestFailAt(n);
    const int r = kontBoolean(a.get(), b.get(), kKontUnion, &out);
    memTestFailAt(0);
    KontPtr res(out);
    if (r == 1) {
      EXPECT_NEAR(listArea(res.get()), 7.0, 1e-9);
    } else {
      ++failures;
      EXPECT_EQ(r, -1) << n;
      EXPECT_EQ(out, nullptr);
    }
  }
  EXPECT_GT(failures, 0);
}

// ---- cell regions under rotation ---------------------------------------------------------------

// The region of a cell set drawn under a motion: its one outer loop with the holes as islands.
// With jitter, every vertex moves by up to that much in x and y (drawn from rng).
Kont2D* cellRegion(const qdtest::CellSet& cells, const qdtest::Motion& m, bool merge,
                   double jitter = 0.0, std::mt19937* rng = nullptr) {
  std::uniform_real_distribution<double> wobble(-jitter, jitter);
  Shape shape;
  for (const auto& loop : qdtest::cellLoops(cells, merge)) {
    std::vector<Point2D> moved;
    for (const Point2D& p : loop) {
      Point2D q = m.apply(p);
      if (rng != nullptr) q = {q.x + wobble(*rng), q.y + wobble(*rng)};
      moved.push_back(q);
    }
    if (qdtest::loopArea(loop) > 0)
      shape.outer = moved;
    else
      shape.islands.push_back(moved);
  }
  return makeRegion(shape, 0.0);
}

// A fault text: the words, then the values.
template <typename... V>
std::string describe(const char* what, V... values) {
  std::ostringstream text;
  text << what;
  ((text << ' ' << values), ...);
  return text.str();
}

// What every result must be: closed contours of at least three distinct points whose segments
// join end to start exactly. Returns an empty text or the first fault found.
std::string resultFault(const Kont2D* list) {
  for (const Kont2D* k : allContours(list)) {
    if (k->closed != 1) return "open contour";
    std::vector<Point2D> distinct;
    for (int i = 0; i < k->count; ++i) {
      const Seg2D& s = k->segments[i];
      const Seg2D& t = k->segments[(i + 1) % k->count];
      if (s.x2 != t.x1 || s.y2 != t.y1) return describe("gap after segment", i);
      bool seen = false;
      for (const Point2D& p : distinct) seen = seen || (p.x == s.x1 && p.y == s.y1);
      if (!seen && distinct.size() < 3) distinct.push_back({s.x1, s.y1});
    }
    if (distinct.size() < 3) return "contour of fewer than three points";
  }
  return "";
}

// Checks one result against the cells of the answer: area (within areaTol), membership at cell
// centres and at random points away from the cell sides, and the form of the contours. Returns
// the failure or "".
std::string cellFault(int r, const Kont2D* res, const qdtest::CellSet& want,
                      const qdtest::Motion& m, double areaTol, std::mt19937& rng) {
  if (r < 0) return describe("code", r);
  const int cells = want.count();
  if (r == 0) return cells == 0 ? "" : describe("empty result for cells:", cells);
  const std::string form = resultFault(res);
  if (!form.empty()) return form;
  const double area = listArea(res);
  if (std::fabs(area - cells) > areaTol) return describe("area", area);
  std::uniform_real_distribution<double> u(0.01, 0.99);
  std::uniform_int_distribution<int> cell(-1, want.side);
  for (int i = 0; i < 32; ++i) {
    const int cx = cell(rng), cy = cell(rng);
    const double fx = i < 16 ? 0.5 : u(rng), fy = i < 16 ? 0.5 : u(rng);
    const Point2D q = m.apply({cx + fx, cy + fy});
    if (inByRegions(res, q) != want.at(cx, cy) || inByContours(res, q) != want.at(cx, cy))
      return describe("membership at cell", cx, cy);
  }
  return "";
}

// Runs the four operations (3 is b minus a) on random pairs of cell regions and counts the
// results that differ from the cells' answer, reporting the first few.
int cellFamilyFaults(int pairs, int side, int maxCells, double jitter, std::mt19937& rng) {
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI), shift(-3.0, 3.0);
  int faults = 0;
  for (int trial = 0; trial < pairs; ++trial) {
    const qdtest::CellSet a = qdtest::randomCellSet(rng, side, maxCells);
    const qdtest::CellSet b = qdtest::randomCellSet(rng, side, maxCells);
    const qdtest::Motion m = trial % 10 == 0
                                 ? qdtest::Motion{}
                                 : qdtest::Motion::make(angle(rng), shift(rng), shift(rng));
    const bool merge = trial % 3 != 0;
    const KontPtr ra(cellRegion(a, m, merge, jitter, jitter > 0 ? &rng : nullptr));
    const KontPtr rb(cellRegion(b, m, merge, jitter, jitter > 0 ? &rng : nullptr));
    for (int mode = 0; mode < 4; ++mode) {
      const bool swap = mode == 3;
      KontPtr ka(kontCopy(swap ? rb.get() : ra.get())), kb(kontCopy(swap ? ra.get() : rb.get()));
      Kont2D* out = nullptr;
      const int r = kontBoolean(ka.get(), kb.get(), swap ? kKontDifference : mode, &out);
      KontPtr res(out);
      const qdtest::CellSet want = qdtest::cellBoolean(swap ? b : a, swap ? a : b, swap ? 2 : mode);
      // A vertex moved by the jitter changes the area by up to jitter times the perimeter.
      const double areaTol = 1e-9 + 4.0 * jitter * 4.0 * side * side;
      const std::string fault = cellFault(r, res.get(), want, m, areaTol, rng);
      if (!fault.empty() && ++faults <= 10)
        ADD_FAILURE() << "pair " << trial << " mode " << mode << ": " << fault;
    }
  }
  return faults;
}

// Cell regions (with holes, with and without collinear vertices) under a random rotation in
// doubles: vertices lie a rounding error off the other operand's edges and shared edges become
// near-collinear overlaps. Every operation succeeds in one attempt and gives the cells' answer.
TEST(KontBoolean, RotatedCellRegionsMatchTheCellAnswer) {
  std::mt19937 rng(22);
  EXPECT_EQ(cellFamilyFaults(1000, 6, 14, 0.0, rng), 0);
}

// The same with every vertex of both operands moved independently by up to 4e-7: corners that
// nearly meet, vertices off the other edge on either side. The answer stays the cells' answer.
TEST(KontBoolean, CellRegionsWithVerticesMovedWithinTheSnapDistance) {
  std::mt19937 rng(23);
  EXPECT_EQ(cellFamilyFaults(300, 8, 30, 4e-7, rng), 0);
}

struct ReducedCase {
  const char* what;
  std::vector<Point2D> a, b;
  double angle;  // the rotation in doubles that exposed the fault
  int mode;
  int result;
  double area;
};

// Reduced cases of the rotated family, each a fault of the former cut search.
const ReducedCase kReducedCases[] = {
    {"two dominoes sharing half an edge: the union failed with -42",
     {{0, 1}, {2, 1}, {2, 2}, {0, 2}},
     {{1, 0}, {3, 0}, {3, 1}, {1, 1}},
     1.3814606945138175,
     kKontUnion,
     1,
     4.0},
    {"two dominoes overlapping in one cell: the union was 2 where 3 is right",
     {{0, 1}, {1, 1}, {1, 3}, {0, 3}},
     {{0, 0}, {1, 0}, {1, 2}, {0, 2}},
     1.7134175184824594,
     kKontUnion,
     1,
     3.0},
    {"two L-trominoes sharing one cell: the difference was 1.5 where 2 is right",
     {{1, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 2}, {1, 2}},
     {{0, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 3}, {0, 3}},
     0.075893418794024517,
     kKontDifference,
     1,
     2.0},
    {"the same L-trominoes: the intersection failed with -42",
     {{1, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 2}, {1, 2}},
     {{0, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 3}, {0, 3}},
     0.075893418794024517,
     kKontIntersection,
     1,
     1.0},
    {"dominoes sharing half an edge: the intersection was a zero-area contour, not empty",
     {{1, 0}, {3, 0}, {3, 1}, {1, 1}},
     {{0, 1}, {2, 1}, {2, 2}, {0, 2}},
     5.551330493313567,
     kKontIntersection,
     0,
     0.0},
};

TEST(KontBoolean, ReducedRotatedCases) {
  for (const ReducedCase& c : kReducedCases) {
    const qdtest::Motion m = qdtest::Motion::make(c.angle, 0.0, 0.0);
    auto moved = [&](const std::vector<Point2D>& p) {
      std::vector<Point2D> q;
      for (const Point2D& v : p) q.push_back(m.apply(v));
      return q;
    };
    KontPtr res;
    EXPECT_EQ(runBoolean({Shape{moved(c.a), {}}}, {Shape{moved(c.b), {}}}, c.mode, &res), c.result)
        << c.what;
    EXPECT_NEAR(listArea(res.get()), c.area, 1e-9) << c.what;
    EXPECT_EQ(resultFault(res.get()), "") << c.what;
  }
}

// An operand that doubles back on itself leaves pieces that do not chain into closed contours: the
// union closed its last chain by moving the last end onto the first start, an invented edge along
// the square's diagonal, and reported success. Now the attempt fails with -42.
TEST(KontBoolean, ChainThatDoesNotCloseIsAFailure) {
  KontPtr res;
  const Shape doubledBack{{{0, 0}, {2, 1}, {2, 1}, {2, 3}, {2, 0}}, {}};
  geoErrReset();
  EXPECT_EQ(runBoolean({Shape{square(1, 1, 1), {}}}, {doubledBack}, kKontUnion, &res),
            kKontChainBroken);
  EXPECT_EQ(res, nullptr);
  EXPECT_EQ(geoErrCode(), kKontChainBroken);
}

// A coordinate that is not finite gave a one-segment contour, or was dropped by the copy of the
// safe form: both forms now refuse it with -20 and the error record set.
TEST(KontBoolean, CoordinatesThatAreNotFiniteAreRefused) {
  for (const double bad : {NAN, INFINITY, -INFINITY}) {
    for (int which = 0; which < 2; ++which) {
      KontPtr a(kontFromPoints(square(0, 0, 1))), b(kontFromPoints(square(1, 0, 1)));
      Kont2D* k = which == 0 ? a.get() : b.get();
      k->segments[2].x2 = bad;
      k->segments[3].x1 = bad;
      Kont2D* out = reinterpret_cast<Kont2D*>(&out);
      geoErrReset();
      EXPECT_EQ(kontBoolean(a.get(), b.get(), kKontUnion, &out), -20) << bad << " " << which;
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(geoErrCode(), -20);
      geoErrReset();
      EXPECT_EQ(kontBooleanSafe(a.get(), b.get(), kKontIntersection, &out), -20);
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(geoErrCode(), -20);
    }
  }
}

// Two overlapping squares of side 4e-9: the copy of the safe form rounded them away and the union
// was "empty". One attempt cannot resolve them (-20); the safe form scales them up and answers.
TEST(KontBooleanSafe, RegionsBelowTheToleranceAreScaledUp) {
  const double t = 4e-9;
  const std::vector<Point2D> pa{{0, 0}, {t, 0}, {t, t}, {0, t}};
  const std::vector<Point2D> pb{
      {t / 2, t / 2}, {1.5 * t, t / 2}, {1.5 * t, 1.5 * t}, {t / 2, 1.5 * t}};
  const double cases[3] = {1.75 * t * t, 0.25 * t * t, 0.75 * t * t};
  for (int mode = 0; mode < 3; ++mode) {
    KontPtr a(kontFromPoints(pa)), b(kontFromPoints(pb));
    Kont2D* out = nullptr;
    EXPECT_EQ(kontBoolean(a.get(), b.get(), mode, &out), -20) << mode;
    KontPtr a2(kontFromPoints(pa)), b2(kontFromPoints(pb));
    ASSERT_EQ(kontBooleanSafe(a2.get(), b2.get(), mode, &out), 1) << mode;
    KontPtr res(out);
    EXPECT_NEAR(listArea(res.get()), cases[mode], 1e-6 * t * t) << mode;
    EXPECT_EQ(resultFault(res.get()), "") << mode;
  }
}

// A rectangle 1e-12 high against a square: the union left a one-segment contour and gaps of
// 5e-13. A contour thinner than the closure tolerance encloses nothing the operation can resolve:
// the results are the square's, closed and clean.
TEST(KontBoolean, SliversThinnerThanTheToleranceEncloseNothing) {
  const double h = 1e-12;
  const std::vector<std::vector<Point2D>> slivers = {
      {{2, 10}, {8, 10}, {8, 10 + h}, {2, 10 + h}},              // on the top edge, outside
      {{2, 10 - h}, {8, 10 - h}, {8, 10}, {2, 10}},              // on the top edge, inside
      {{-2, 10 - h}, {12, 10 - h}, {12, 10 + h}, {-2, 10 + h}},  // along the top edge
      {{-2, 5}, {12, 5}, {12, 5 + h}, {-2, 5 + h}},              // across the square
  };
  for (std::size_t i = 0; i < slivers.size(); ++i) {
    for (int mode = 0; mode < 3; ++mode) {
      KontPtr res;
      const int r = runBoolean({Shape{square(5, 5, 5), {}}}, {Shape{slivers[i], {}}}, mode, &res);
      ASSERT_EQ(r, mode == kKontIntersection ? 0 : 1) << i << " mode " << mode;
      EXPECT_NEAR(listArea(res.get()), mode == kKontIntersection ? 0.0 : 100.0, 1e-9);
      EXPECT_EQ(resultFault(res.get()), "") << i << " mode " << mode;
      EXPECT_EQ(allContours(res.get()).size(), mode == kKontIntersection ? 0u : 1u);
    }
  }
}

// ---- fast paths against the slow ones ----------------------------------------------------------

// Every coordinate and depth of a result, in list order.
std::vector<double> flatten(const Kont2D* list) {
  std::vector<double> flat;
  for (const Kont2D* k : allContours(list)) {
    flat.push_back(k->depth);
    for (int i = 0; i < k->count; ++i)
      flat.insert(flat.end(),
                  {k->segments[i].x1, k->segments[i].y1, k->segments[i].x2, k->segments[i].y2});
  }
  return flat;
}

// Runs the operation on copies of a and b, with the fast paths or the slow ones.
std::pair<int, std::vector<double>> runPath(const Kont2D* a, const Kont2D* b, int mode, int slow) {
  auto copyList = [](const Kont2D* list) {
    Kont2D* head = nullptr;
    Kont2D* last = nullptr;
    for (const Kont2D* r = list; r != nullptr; r = r->next) {
      Kont2D* c = kontCopy(r);
      if (last == nullptr) {
        head = c;
      } else {
        last->next = c;
        c->prev = last;
      }
      last = c;
    }
    return head;
  };
  KontPtr ka(copyList(a)), kb(copyList(b));
  kontBooleanSetOracle(slow);
  Kont2D* out = nullptr;
  const int r = kontBoolean(ka.get(), kb.get(), mode, &out);
  kontBooleanResetState();
  KontPtr res(out);
  return {r, flatten(res.get())};
}

// The cut search through the grid, the point tests through the segment grid and the classes
// carried along the contours give, segment for segment, what the all-pairs search with a region
// point test for every piece gives: on random stars with many crossings, on the table's shapes
// with shared and touching edges, and on rotated cell regions whose vertices were moved by up to
// a few times the snap distance (where a class carried from a piece that runs along the other
// boundary once went wrong).
TEST(KontBoolean, FastPathsMatchTheSlowOnes) {
  std::mt19937 rng(31);
  std::vector<std::pair<KontPtr, KontPtr>> cases;
  for (int trial = 0; trial < 20; ++trial) {
    const RandomCase c = randomCase(rng, 20 + 15 * trial, trial % 2 == 1);
    cases.emplace_back(makeList(c.a), makeList(c.b));
  }
  for (const TableCase& t : tableCases())
    if (!t.a.empty() && !t.b.empty()) cases.emplace_back(makeList(t.a), makeList(t.b));
  std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI), shift(-3.0, 3.0);
  const double jitters[] = {0.0, 1e-6, 3e-6, 1e-5};
  for (int trial = 0; trial < 120; ++trial) {
    const qdtest::CellSet a = qdtest::randomCellSet(rng, 8, 30);
    const qdtest::CellSet b = qdtest::randomCellSet(rng, 8, 30);
    const qdtest::Motion m = qdtest::Motion::make(angle(rng), shift(rng), shift(rng));
    const double jitter = jitters[trial % 4];
    cases.emplace_back(cellRegion(a, m, trial % 2 == 0, jitter, &rng),
                       cellRegion(b, m, trial % 3 == 0, jitter, &rng));
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (int mode = 0; mode < 3; ++mode) {
      const auto fast = runPath(cases[i].first.get(), cases[i].second.get(), mode, 0);
      const auto slow = runPath(cases[i].first.get(), cases[i].second.get(), mode, 1);
      EXPECT_EQ(fast.first, slow.first) << "case " << i << " mode " << mode;
      EXPECT_TRUE(fast.second == slow.second) << "case " << i << " mode " << mode;
    }
  }
}

}  // namespace
