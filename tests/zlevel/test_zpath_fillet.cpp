// Corner rounding of Z paths: pockets and islands against the exact rounded shape (area and
// Hausdorff distance), dropped paths, the boundary rule, independence of earlier calls, the cut
// and order steps on small fixtures, and allocation failure at every step.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_shapes.h"
#include "geometry/msg_capture.h"
#include "geometry/walker_hooks.h"
#include "support/temp_dir.h"
#include "zlevel/zlevel_hooks.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_fillet.h"
#include "zpath_fixture.h"

using qdtest::polyDistance;
using qdtest::zpathOf;
using qdtest::ZPoint;

namespace {

constexpr double kPi = std::numbers::pi;

class ZPathFilletTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zlevelInstallHooks();
    zpathResetState();
    zpathFilletResetState();
    kontResetState();
    geoErrReset();
  }
  void TearDown() override { memTestFailAt(0); }
};

std::vector<Point2D> pointsOf(const ZPath* p) {
  std::vector<Point2D> v;
  for (int i = 0; i < p->count; ++i) v.push_back({p->points[2 * i], p->points[2 * i + 1]});
  return v;
}

// A closed path of the corners with boundary ids (-2, kind -1), material inside as given.
ZPath* cornerPath(const std::vector<Point2D>& corners, int materialInside, int id = -2,
                  int kind = -1) {
  std::vector<ZPoint> pts;
  for (const Point2D& c : corners) pts.push_back({c.x, c.y, id, kind});
  ZPath* p = zpathOf(pts, 4.0);
  p->materialInside = materialInside;
  return p;
}

ZPathList* listOf(const std::vector<ZPath*>& paths) {
  ZPathList* list = zpathListNew(3);
  for (ZPath* p : paths) {
    zpathListAdd(list, p);
    zpathFree(p);
  }
  return list;
}

double polyArea(const std::vector<Point2D>& p) {
  double a = 0.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& u = p[i];
    const Point2D& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2.0;
}

// The exact rounded shape: every corner of the polygon that turns towards the free side (left
// turns of a counter-clockwise pocket, right turns of an island) is replaced by the circle arc of
// radius r tangent to both sides; sampled densely. The corners replaced are returned in rounded,
// the area each cuts off, r^2 (cot(theta / 2) - (pi - theta) / 2), summed in cutArea, and the
// smallest corner angle theta in minAngle.
std::vector<Point2D> exactRounded(const std::vector<Point2D>& poly, double r, bool island,
                                  std::vector<Point2D>* rounded, double* cutArea,
                                  double* minAngle) {
  *cutArea = 0.0;
  *minAngle = kPi;
  const double sense = polyArea(poly) > 0 ? 1.0 : -1.0;
  std::vector<Point2D> out;
  const std::size_t n = poly.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D& a = poly[(i + n - 1) % n];
    const Point2D& v = poly[i];
    const Point2D& b = poly[(i + 1) % n];
    double ux = v.x - a.x, uy = v.y - a.y, wx = b.x - v.x, wy = b.y - v.y;
    const double lu = std::hypot(ux, uy), lw = std::hypot(wx, wy);
    ux /= lu, uy /= lu, wx /= lw, wy /= lw;
    const double turn = (ux * wy - uy * wx) * sense;  // > 0: convex corner of the inside
    if ((turn > 1e-9) != !island || std::fabs(turn) < 1e-9) {
      out.push_back(v);
      continue;
    }
    rounded->push_back(v);
    const double theta = std::acos(std::fmax(-1.0, std::fmin(1.0, -(ux * wx + uy * wy))));
    const double t = r / std::tan(theta / 2.0);
    *cutArea += r * t - r * r * (kPi - theta) / 2.0;
    *minAngle = std::fmin(*minAngle, theta);
    const Point2D p0{v.x - t * ux, v.y - t * uy}, p1{v.x + t * wx, v.y + t * wy};
    const double bx = wx - ux, by = wy - uy, bl = std::hypot(bx, by);
    const double h = r / std::sin(theta / 2.0);
    const Point2D c{v.x + h * bx / bl, v.y + h * by / bl};
    const double a0 = std::atan2(p0.y - c.y, p0.x - c.x);
    double a1 = std::atan2(p1.y - c.y, p1.x - c.x);
    double sweep = a1 - a0;
    while (sweep > kPi) sweep -= 2 * kPi;
    while (sweep < -kPi) sweep += 2 * kPi;
    for (int k = 0; k <= 400; ++k) {
      const double ang = a0 + sweep * k / 400.0;
      out.push_back({c.x + r * std::cos(ang), c.y + r * std::sin(ang)});
    }
  }
  return out;
}

// Symmetric Hausdorff distance between two closed polygons (vertices against edges).
double hausdorff(const std::vector<Point2D>& a, const std::vector<Point2D>& b) {
  double h = 0.0;
  for (const Point2D& p : a) h = std::fmax(h, polyDistance(b, p));
  for (const Point2D& p : b) h = std::fmax(h, polyDistance(a, p));
  return h;
}

// ---- rounded pockets and islands ---------------------------------------------------------------

struct ShapeCase {
  const char* name;
  std::vector<Point2D> corners;
  int materialInside;
  double r;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class FilletShapes : public ZPathFilletTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(FilletShapes, MatchesExactRoundedShape) {
  const ShapeCase& c = GetParam();
  ZPathList* list = listOf({cornerPath(c.corners, c.materialInside)});
  const int orientation = list->items[0].orientation;
  ASSERT_EQ(zpathListFillet(list, nullptr, c.r), 1) << geoErrCode();
  ASSERT_EQ(list->count, 1);
  const ZPath& q = list->items[0];
  std::vector<Point2D> corners;
  double cut = 0.0, minAngle = 0.0;
  const std::vector<Point2D> exact =
      exactRounded(c.corners, c.r, c.materialInside != 0, &corners, &cut, &minAngle);
  const std::vector<Point2D> got = pointsOf(&q);
  // Chord height of the traced arcs (0.01 r) plus the first offset's 0.99, which moves each arc
  // by 0.01 r / sin(theta / 2) along its corner's bisector, and the single precision of the
  // path's points.
  const double tol = 0.01 * c.r + 0.01 * c.r / std::sin(minAngle / 2.0) + 1e-4;
  EXPECT_LE(hausdorff(got, exact), tol);
  // Each rounded corner trades (1 - pi/4) r^2; the band of width tol along the arcs bounds the
  // difference.
  const double arcs = corners.size() * (kPi / 2.0) * c.r;
  EXPECT_NEAR(std::fabs(zpathArea(&q)), std::fabs(polyArea(exact)), arcs * tol);
  const double expected = std::fabs(polyArea(c.corners)) + (c.materialInside ? cut : -cut);
  EXPECT_NEAR(std::fabs(zpathArea(&q)), expected, arcs * tol);
  for (const Point2D& v : corners) {
    for (const Point2D& p : got) EXPECT_GT(std::hypot(p.x - v.x, p.y - v.y), 0.1 * c.r);
  }
  EXPECT_EQ(q.closed, 1);
  EXPECT_EQ(q.materialInside, c.materialInside);
  EXPECT_EQ(q.orientation, orientation);
  EXPECT_DOUBLE_EQ(q.z, 4.0);
  EXPECT_EQ(zpathOrientation(&q), orientation);
  zpathListFree(list);
}

const std::vector<Point2D> kL{{0, 0}, {30, 0}, {30, 12}, {12, 12}, {12, 30}, {0, 30}};

INSTANTIATE_TEST_SUITE_P(
    Pockets, FilletShapes,
    ::testing::Values(
        ShapeCase{"SquarePocket", {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}}, 0, 2.0},
        ShapeCase{"SquarePocketClockwise", {{-10, -10}, {-10, 10}, {10, 10}, {10, -10}}, 0, 2.0},
        ShapeCase{"LPocket", kL, 0, 2.0}, ShapeCase{"LPocketLargeRadius", kL, 0, 4.5},
        ShapeCase{"LIsland", kL, 1, 2.0},
        ShapeCase{"TrianglePocket", {{0, 0}, {40, 0}, {10, 25}}, 0, 1.5}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST_F(ZPathFilletTest, SmoothPathIsCopiedUnchanged) {
  // A square island seen from outside has no corner towards the free side.
  ZPathList* list = listOf({cornerPath({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, 7, 2)});
  ASSERT_EQ(zpathListFillet(list, nullptr, 2.0), 1);
  ASSERT_EQ(list->count, 1);
  const ZPath& q = list->items[0];
  ASSERT_EQ(q.count, 4);
  EXPECT_EQ(q.points[2], 10.0f);
  EXPECT_EQ(q.elementIds[1], 7);
  EXPECT_EQ(q.contactKinds[1], 2);
  zpathListFree(list);
}

TEST_F(ZPathFilletTest, RadiusTooLargeDropsPathWithMessage) {
  qdtest::MessageCapture messages;
  ZPathList* list = listOf({cornerPath({{0, 0}, {20, 0}, {20, 3}, {0, 3}}, 0),
                            cornerPath({{50, 0}, {70, 0}, {70, 20}, {50, 20}}, 0)});
  ASSERT_EQ(zpathListFillet(list, nullptr, 2.0), 1);
  ASSERT_EQ(list->count, 1) << "the 3 wide pocket cannot take the radius";
  EXPECT_EQ(list->items[0].xmin, 50.0);
  EXPECT_TRUE(qdtest::MessageCapture::sent(kZpFilletMsgSkipped));
  EXPECT_TRUE(qdtest::MessageCapture::sent(kZpFilletMsgProgress));
  zpathListFree(list);
}

TEST_F(ZPathFilletTest, RadiusWithoutEffectLeavesList) {
  const std::vector<Point2D> sq{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  for (const double r : {0.0, -1.0, 1e-7}) {
    SCOPED_TRACE(r);
    ZPathList* list = listOf({cornerPath(sq, 0)});
    kontSetSkipCheck(1);
    EXPECT_EQ(zpathListFillet(list, nullptr, r), r > 0.0 ? 1 : 0);
    ASSERT_EQ(list->count, 1);
    EXPECT_EQ(pointsOf(&list->items[0]).size(), 4u);
    EXPECT_EQ(list->items[0].points[4], 10.0f);
    EXPECT_EQ(kontGetSkipCheck(), r > 0.0 ? 0 : 1) << "only a run clears the switches";
    zpathListFree(list);
  }
  EXPECT_EQ(zpathListFillet(nullptr, nullptr, 2.0), 0);
  ZPathList* empty = zpathListNew(3);
  EXPECT_EQ(zpathListFillet(empty, nullptr, 2.0), 0);
  zpathListFree(empty);
}

// ---- the boundary rule and boundary marks ------------------------------------------------------

TEST_F(ZPathFilletTest, PiecesOnBoundarySkippedUnlessFlagged) {
  const std::vector<Point2D> sq{{0, 0}, {20, 0}, {20, 20}, {0, 20}};
  Kont2D* boundary = qdtest::kontFromPoints(sq);
  Kont2D* other = qdtest::kontFromPoints(qdtest::square(100, 100, 5));
  boundary->next = other;
  struct Case {
    const char* name;
    Kont2D* boundary;
    bool flag;
    bool rounded;
  };
  for (const Case& c : {Case{"on boundary", boundary, false, false},
                        Case{"on boundary, flagged", boundary, true, true},
                        Case{"no boundary", nullptr, false, true}}) {
    SCOPED_TRACE(c.name);
    ZPath* p = cornerPath(sq, 0);
    if (c.flag) zpathSetFlags(p, ZP_FILLET_AT_BOUNDARY);
    ZPathList* list = listOf({p});
    ASSERT_EQ(zpathListFillet(list, c.boundary, 2.0), 1);
    ASSERT_EQ(list->count, 1);
    const ZPath& q = list->items[0];
    EXPECT_EQ(q.count > 4, c.rounded);
    EXPECT_EQ(boundary->next, other) << "the boundary's link is restored";
    if (c.rounded) {
      // Every piece starts on a boundary stretch and ends before a boundary point: all its
      // points become boundary points.
      for (int i = 0; i < q.count; ++i) EXPECT_EQ(q.elementIds[i], -2) << i;
      EXPECT_EQ(zpathHasFlag(&q, ZP_FILLET_AT_BOUNDARY), c.flag ? 1 : 0);
    }
    zpathListFree(list);
  }
  kontFree(boundary);
}

TEST_F(ZPathFilletTest, PieceEndsOnModelStretchStayUnmarked) {
  // Model contact points (id 5, kind 1): the pieces keep id -1 and kind 0.
  ZPathList* list = listOf({cornerPath({{0, 0}, {20, 0}, {20, 20}, {0, 20}}, 0, 5, 1)});
  ASSERT_EQ(zpathListFillet(list, nullptr, 2.0), 1);
  const ZPath& q = list->items[0];
  int fresh = 0;
  for (int i = 0; i < q.count; ++i) {
    EXPECT_TRUE(q.elementIds[i] == -1 || q.elementIds[i] == 5) << i;
    if (q.elementIds[i] == -1) {
      EXPECT_EQ(q.contactKinds[i], 0);
      ++fresh;
    }
  }
  EXPECT_GT(fresh, 8);
  zpathListFree(list);
}

// ---- independence of earlier calls -------------------------------------------------------------

// The search cursors carried over from an earlier fillet (even of an earlier run) made a result
// depend on what was filleted before.
TEST_F(ZPathFilletTest, ResultDoesNotDependOnEarlierFillets) {
  std::mt19937 rng(7);
  auto makeList = [&](unsigned seed) {
    std::mt19937 g(seed);
    std::vector<ZPoint> pts = qdtest::randomStar(g, 24, 0, 0, 30);
    for (ZPoint& p : pts) p.id = -2, p.kind = -1;
    ZPath* p = zpathOf(pts, 1.0);
    p->materialInside = 0;
    return listOf({p});
  };
  ZPathList* first = makeList(11);
  ASSERT_EQ(zpathListFillet(first, nullptr, 1.5), 1);
  // Unrelated searches and fillets move every cursor.
  ZPathList* other = makeList(12);
  ASSERT_EQ(zpathListFillet(other, nullptr, 2.5), 1);
  Point2D x{};
  zpathSegCrossing(Seg2D{-100, 3, 100, 3}, &other->items[0], &x);
  zpathEdgeStartAt(Point2D{other->items[0].points[10], other->items[0].points[11]},
                   &other->items[0]);
  zpathEdgeEndAt(Point2D{other->items[0].points[14], other->items[0].points[15]}, &other->items[0]);
  ZPathList* again = makeList(11);
  ASSERT_EQ(zpathListFillet(again, nullptr, 1.5), 1);
  ASSERT_EQ(again->count, first->count);
  const ZPath& a = first->items[0];
  const ZPath& b = again->items[0];
  ASSERT_EQ(a.count, b.count);
  for (int i = 0; i < a.count; ++i) {
    EXPECT_EQ(a.points[2 * i], b.points[2 * i]) << i;
    EXPECT_EQ(a.points[2 * i + 1], b.points[2 * i + 1]) << i;
    EXPECT_EQ(a.elementIds[i], b.elementIds[i]) << i;
  }
  zpathListFree(first);
  zpathListFree(other);
  zpathListFree(again);
}

TEST_F(ZPathFilletTest, CrossingSearchContinuesFromCursor) {
  ZPath* sq = cornerPath({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0);
  const Seg2D across{-5, 4, 15, 4};
  Point2D a{}, b{}, c{};
  ASSERT_EQ(zpathSegCrossing(across, sq, &a), 1);
  ASSERT_EQ(zpathSegCrossing(across, sq, &b), 1);
  ASSERT_EQ(zpathSegCrossing(across, sq, &c), 1);
  EXPECT_DOUBLE_EQ(a.x, 10.0);  // edge 1 -> 2 comes first from point 0
  EXPECT_DOUBLE_EQ(b.x, 0.0);
  EXPECT_DOUBLE_EQ(c.x, 10.0);
  EXPECT_EQ(zpathSegCrossing(Seg2D{20, 20, 30, 30}, sq, &a), 0);
  // The point-on-edge searches: the index of the edge's first and of its second point.
  zpathFilletResetState();
  EXPECT_EQ(zpathEdgeStartAt(Point2D{10, 5}, sq), 1);
  EXPECT_EQ(zpathEdgeEndAt(Point2D{10, 5}, sq), 2);
  EXPECT_EQ(zpathEdgeEndAt(Point2D{5, 0.005}, sq), 1);
  EXPECT_EQ(zpathEdgeStartAt(Point2D{5, 5}, sq), -1);
  EXPECT_EQ(zpathPointOnPath(sq, Point2D{0, 5}), 1);
  EXPECT_EQ(zpathPointOnPath(sq, Point2D{0.002, 5}), 0);
  EXPECT_DOUBLE_EQ(zpathPathPosition(sq, Point2D{10, 2.5}), 1.25);
  EXPECT_DOUBLE_EQ(zpathPathPosition(sq, Point2D{0, 2.5}), 3.75);
  zpathFree(sq);
}

// ---- cutting and ordering on fixtures ----------------------------------------------------------

// A side-changing segment that only touches the path (here: it runs along an edge) has no
// crossing: the piece end would be undefined, so nothing is cut and the path is kept.
TEST_F(ZPathFilletTest, SideChangeWithoutCrossingCutsNothing) {
  ZPath* sq = cornerPath({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0);
  Kont2D* c = qdtest::kontFromPoints({{2, 0}, {8, 0}, {8, 5}, {2, 5}});
  IntList* sides = lstIntNew(4);
  lstIntAppend(sides, 0);
  lstIntAppend(sides, 2);
  Kont2D* pieces = kontNew(nullptr, 10);
  IntList* starts = lstIntNew(4);
  EXPECT_EQ(zpathFilletPieces(sq, nullptr, c, sides, pieces, starts), 0);
  EXPECT_EQ(pieces->count, 0);
  EXPECT_EQ(starts->count, 0);
  lstIntAppend(sides, 3);
  EXPECT_EQ(zpathFilletPieces(sq, nullptr, c, sides, pieces, starts), kZpFilletOddSides);
  EXPECT_EQ(zpathFilletPieces(sq, nullptr, c, sides, nullptr, starts), -1);
  zpathFree(sq);
  kontFree(c);
  kontFree(pieces);
  lstIntFree(sides);
  lstIntFree(starts);
}

TEST_F(ZPathFilletTest, SideChangesAndPiecesOfACrossingContour) {
  // Pocket 0..10; a contour sticking out of its right side twice.
  ZPath* sq = cornerPath({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0);
  Kont2D* c = qdtest::kontFromPoints(
      {{12, 1}, {12, 3}, {8, 3}, {8, 4}, {12, 4}, {12, 6}, {8, 6}, {8, 8}, {12, 8}, {12, 9}});
  ASSERT_EQ(zpathFilletRotateStart(c, sq), 1);
  EXPECT_EQ(c->segments[0].x1, 12.0) << "starts on the material side already";
  IntList* sides = lstIntNew(4);
  ASSERT_EQ(zpathFilletSideChanges(c, sq, sides), 1);
  ASSERT_EQ(sides->count, 4);
  EXPECT_EQ(sides->items[0], 1);
  EXPECT_EQ(sides->items[1], 3);
  EXPECT_EQ(sides->items[2], 5);
  EXPECT_EQ(sides->items[3], 7);
  Kont2D* pieces = kontNew(nullptr, 10);
  IntList* starts = lstIntNew(4);
  ASSERT_EQ(zpathFilletPieces(sq, nullptr, c, sides, pieces, starts), 1);
  ASSERT_EQ(starts->count, 3);
  EXPECT_EQ(pieces->count, 6);
  EXPECT_DOUBLE_EQ(pieces->segments[0].x1, 10.0);
  EXPECT_DOUBLE_EQ(pieces->segments[0].y1, 3.0);
  EXPECT_DOUBLE_EQ(pieces->segments[2].x2, 10.0);
  EXPECT_DOUBLE_EQ(pieces->segments[2].y2, 4.0);

  // Rotating a contour that starts on the free side.
  Kont2D* d = qdtest::kontFromPoints({{8, 3}, {8, 4}, {12, 4}, {12, 3}});
  ASSERT_EQ(zpathFilletRotateStart(d, sq), 1);
  EXPECT_EQ(d->segments[0].x1, 12.0);
  EXPECT_EQ(d->segments[0].y1, 4.0);
  EXPECT_EQ(zpathRotateContour(d, 4), -20);
  zpathFree(sq);
  kontFree(c);
  kontFree(d);
  kontFree(pieces);
  lstIntFree(sides);
  lstIntFree(starts);
}

TEST_F(ZPathFilletTest, OverlapTableAndIntervals) {
  struct Case {
    const char* name;
    std::vector<ZpFilletPiece> pieces;
    int kept;
  };
  const Case cases[] = {
      {"disjoint", {{0, 0, 1.5, 1.2}, {0, 0, 3.5, 3.1}}, 2},
      {"same stretch twice", {{0, 0, 1.5, 1.2}, {0, 0, 1.5, 1.2}, {0, 0, 3.5, 3.1}}, 1},
      {"nested", {{0, 0, 2.5, 1.0}, {0, 0, 2.0, 1.5}}, 2},
      {"across the start", {{0, 0, 0.5, 3.5}, {0, 0, 2.5, 2.0}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ZpFilletPiece> p = c.pieces;
    int n = static_cast<int>(p.size());
    EXPECT_EQ(zpathFilletDropOverlaps(p.data(), &n), 1);
    EXPECT_EQ(n, c.kept);
  }
  const ZpFilletPiece two[] = {{0, 0, 1.5, 1.2}, {0, 0, 3.5, 3.1}};
  EXPECT_EQ(zpathFilletIntervalFree(1.6, 3.0, two, 2), 1);
  EXPECT_EQ(zpathFilletIntervalFree(1.0, 3.2, two, 2), 0);
  EXPECT_EQ(zpathFilletIntervalFree(3.6, 1.3, two, 2), 0);
  EXPECT_EQ(zpathFilletIntervalFree(3.6, 1.0, two, 2), 1);
  EXPECT_EQ(zpathFilletIntervalFree(3.6, 1.1, two, 2), 1);
}

// ---- failure ----------------------------------------------------------------------------------

TEST_F(ZPathFilletTest, FailureLeavesInputPaths) {
  qdtest::ScopedTempDir dir;  // the failed offsets write their problem file
  const std::vector<Point2D> sq{{0, 0}, {20, 0}, {20, 20}, {0, 20}};
  walkSetHooks(nullptr);  // the offsets cannot trace
  ZPathList* list = listOf({cornerPath(sq, 0), cornerPath(sq, 1)});
  kontSetSkipCheck(1);
  EXPECT_EQ(zpathListFillet(list, nullptr, 2.0), -1);
  EXPECT_EQ(list->count, 2);
  EXPECT_EQ(list->items[0].count, 4);
  EXPECT_STREQ(geoErrRecord()->file, "Zpath");
  EXPECT_EQ(kontGetSkipCheck(), 0);
  EXPECT_EQ(kontGetNoRound(), 0);
  zlevelInstallHooks();
  zpathListFree(list);
}

// Every allocation fails in turn: a failure code with the input paths as they were, or, where a
// later try of an offset recovers, a rounded result; nothing leaked either way.
TEST_F(ZPathFilletTest, AllocationFailureKeepsInput) {
  qdtest::ScopedTempDir dir;  // an offset whose tries all fail writes its problem file
  const std::vector<Point2D> l{{0, 0}, {30, 0}, {30, 12}, {12, 12}, {12, 30}, {0, 30}};
  int failures = 0;
  for (long n = 1, successesInARow = 0; successesInARow < 30; ++n) {
    ZPathList* list = listOf({cornerPath(l, 0), cornerPath(l, 1)});
    memTestFailAt(n);
    const int r = zpathListFillet(list, nullptr, 2.0);
    memTestFailAt(0);
    if (r == 1) {
      ++successesInARow;
      EXPECT_EQ(list->count, 2) << n;
      EXPECT_GT(list->items[0].count, 6) << n;
    } else {
      successesInARow = 0;
      ++failures;
      EXPECT_LT(r, 0) << n;
      EXPECT_EQ(list->count, 2) << n;
      EXPECT_EQ(list->items[0].count, 6) << n;
      EXPECT_EQ(list->items[1].count, 6) << n;
    }
    zpathListFree(list);
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
