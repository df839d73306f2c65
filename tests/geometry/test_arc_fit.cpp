// Tests of the arc and line fit: generated polylines whose circles are known (arcs found at their
// generating indices, centres and radii within the tolerance), the line thinning against its own
// table of cases and a brute-force greedy cover, and the early stop of the centre search against
// the plain evaluation.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "arc_shapes.h"
#include "geometry/arc_fit.h"

using arctest::P;

namespace {

class ArcFitTest : public ::testing::Test {
 protected:
  void SetUp() override { arcFitResetState(); }
  void TearDown() override { arcFitResetState(); }
};

// The pocketing's call.
int fitLikePocket(std::vector<ArcPoint>& list, double tol) {
  return arcFitPoints(list.data(), static_cast<int>(list.size()), tol, 0.1, 9999.9, 9999.9);
}

std::vector<int> indicesWith(const std::vector<ArcPoint>& list, char ArcPoint::*field, char value) {
  std::vector<int> out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].*field == value) out.push_back(static_cast<int>(i));
  }
  return out;
}

struct ArcCase {
  const char* name;
  double radius, sweepDeg;
  int points;
  double tol;
};

void PrintTo(const ArcCase& c, std::ostream* os) { *os << c.name; }

class ArcFitSampled : public ArcFitTest, public ::testing::WithParamInterface<ArcCase> {};

}  // namespace

// A sampled arc with radial noise below the tolerance is one arc: marks on its ends, its sense,
// the centre and radius within the tolerance, every point within the tolerance of the circle.
TEST_P(ArcFitSampled, NoisyArcIsOneArc) {
  const ArcCase& c = GetParam();
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> noise(-0.1 * c.tol, 0.1 * c.tol);
  const P centre{3.0, -2.0};
  for (const double sense : {1.0, -1.0}) {
    std::vector<P> pts =
        arctest::arcSamples(centre, c.radius, 0.4, sense * c.sweepDeg * M_PI / 180, c.points);
    for (P& p : pts) {
      const double a = std::atan2(p.y - centre.y, p.x - centre.x);
      const double r = c.radius + noise(rng);
      p = P{centre.x + r * std::cos(a), centre.y + r * std::sin(a)};
    }
    std::vector<ArcPoint> list = arctest::toArcPoints(pts);
    ASSERT_EQ(fitLikePocket(list, c.tol), 1);
    EXPECT_EQ(indicesWith(list, &ArcPoint::startMark, kArcYes), std::vector<int>{0});
    EXPECT_EQ(indicesWith(list, &ArcPoint::endMark, kArcYes), std::vector<int>{c.points - 1});
    EXPECT_EQ(list[0].mark, sense > 0 ? kArcCcw : kArcCw);
    const P fitted{list[1].x, list[1].y};
    EXPECT_LE(arctest::dist(fitted, centre), c.tol);
    double lo = 1e300, hi = 0;
    for (const P& p : pts) {
      lo = std::min(lo, arctest::dist(p, fitted));
      hi = std::max(hi, arctest::dist(p, fitted));
    }
    EXPECT_LE((hi - lo) / 2, c.tol);
    EXPECT_NEAR((hi + lo) / 2, c.radius, c.tol);
    EXPECT_TRUE(indicesWith(list, &ArcPoint::mark, kArcDropped).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Arcs, ArcFitSampled,
                         ::testing::Values(ArcCase{"r20_120deg", 20.0, 120.0, 60, 0.01},
                                           ArcCase{"r5_90deg", 5.0, 90.0, 40, 0.005},
                                           ArcCase{"r300_100deg", 300.0, 100.0, 80, 0.05},
                                           ArcCase{"r1_170deg", 1.0, 170.0, 50, 0.002}),
                         [](const auto& info) { return std::string(info.param.name); });

// Line, tangent quarter circle, line: the arc is marked from the tangent point to the point where
// the second line leaves it, the lines are thinned to their ends, and every input point lies
// within the tolerance of the walked result.
TEST_F(ArcFitTest, LineArcLineMarksTheArcAtItsGeneratingIndices) {
  // Steps of 1 along the lines leave the circle by 0.25 at the first line point, far beyond the
  // tolerance, so no circle takes a line point in.
  const double r = 2.0, tol = 0.005;
  std::vector<P> pts;
  for (int i = 0; i < 8; ++i) pts.push_back(P{-7.0 + i, -r});  // ends at (0, -2)
  const int arcStart = static_cast<int>(pts.size()) - 1;
  const std::vector<P> arc = arctest::arcSamples(P{0, 0}, r, -M_PI / 2, M_PI / 2, 19);
  pts.insert(pts.end(), arc.begin() + 1, arc.end());  // 5 degrees a step up to (2, 0)
  const int arcEnd = static_cast<int>(pts.size()) - 1;
  for (int i = 1; i <= 6; ++i) pts.push_back(P{r, 1.0 * i});
  std::vector<ArcPoint> list = arctest::toArcPoints(pts);
  ASSERT_EQ(fitLikePocket(list, tol), 1);
  EXPECT_EQ(indicesWith(list, &ArcPoint::startMark, kArcYes), std::vector<int>{arcStart});
  EXPECT_EQ(indicesWith(list, &ArcPoint::endMark, kArcYes), std::vector<int>{arcEnd});
  EXPECT_EQ(list[arcStart].mark, kArcCcw);
  EXPECT_NEAR(list[arcStart + 1].x, 0.0, tol);
  EXPECT_NEAR(list[arcStart + 1].y, 0.0, tol);
  // The straight stretches keep only their ends.
  std::vector<int> dropped;
  for (int i = 1; i < arcStart - 1; ++i) dropped.push_back(i);
  for (int i = arcEnd + 1; i < static_cast<int>(pts.size()) - 1; ++i) dropped.push_back(i);
  EXPECT_EQ(indicesWith(list, &ArcPoint::mark, kArcDropped), dropped);
  const std::vector<arctest::Elem> path = arctest::walk(list);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back().endIndex, static_cast<int>(pts.size()) - 1);
  for (const P& p : pts) EXPECT_LE(arctest::pathDist(p, path), tol + 1e-9);
}

// Points exactly on a circle, but 35 degrees apart: no run bends that sharply and stays an arc.
TEST_F(ArcFitTest, ABendOverThirtyDegreesIsNeverAnArc) {
  const std::vector<P> pts = arctest::arcSamples(P{0, 0}, 10.0, 0.0, 35.0 * 9 * M_PI / 180, 10);
  std::vector<ArcPoint> list = arctest::toArcPoints(pts);
  const std::vector<ArcPoint> before = list;
  EXPECT_EQ(arcFindArcs(0.01, 0.1, 9999.9, static_cast<int>(list.size()), list.data()), 0);
  EXPECT_EQ(std::memcmp(list.data(), before.data(), list.size() * sizeof(ArcPoint)), 0);
  for (const int strict : {0, 1}) {
    EXPECT_EQ(arcCheckRun(10.0, 0.01, strict, list.data(), 0, 9), 0);
    EXPECT_EQ(arcCheckRun(10.0, 0.01, strict, list.data(), 0, 1), 1);  // two points always pass
  }
  double cx, cy, r;
  EXPECT_EQ(arcRunFits(0.01, list.data(), 0, 9, &cx, &cy, &r), 0);
}

TEST_F(ArcFitTest, FewerThanFourPointsChangeNothing) {
  for (int n = 0; n < 4; ++n) {
    std::vector<ArcPoint> list =
        arctest::toArcPoints(arctest::arcSamples(P{0, 0}, 5.0, 0.0, 0.3, 4));
    const std::vector<ArcPoint> before = list;
    EXPECT_EQ(arcFindArcs(0.01, 0.1, 9999.9, n, list.data()), 0);
    EXPECT_EQ(std::memcmp(list.data(), before.data(), list.size() * sizeof(ArcPoint)), 0);
  }
}

// The pocket's window lasts for its own fit only; arcSetTolerances still sets it for good.
TEST_F(ArcFitTest, RadiusWindowIsRestoredAfterAFit) {
  double lo, hi;
  arcGetTolerances(&lo, &hi);
  EXPECT_DOUBLE_EQ(lo, 0.01);
  EXPECT_DOUBLE_EQ(hi, 999999.99);
  std::vector<ArcPoint> list =
      arctest::toArcPoints(arctest::arcSamples(P{0, 0}, 5.0, 0.0, 1.0, 20));
  EXPECT_EQ(fitLikePocket(list, 0.01), 1);
  arcGetTolerances(&lo, &hi);
  EXPECT_DOUBLE_EQ(lo, 0.01);
  EXPECT_DOUBLE_EQ(hi, 999999.99);
  struct {
    double minR, maxR, lo, hi;
  } cases[] = {{0.1, 9999.9, 0.1, 9999.9},
               {0.0, 5.0, 1e-6, 5.0},
               {3.0, 2.0, 3.0, 6.0},
               {-1, -1, 1e-6, 2e-6}};
  for (const auto& c : cases) {
    arcSetTolerances(c.minR, c.maxR);
    arcGetTolerances(&lo, &hi);
    EXPECT_DOUBLE_EQ(lo, c.lo);
    EXPECT_DOUBLE_EQ(hi, c.hi);
  }
}

// An arc whose radius lies outside the window is refused with its own value.
TEST_F(ArcFitTest, CentreSearchesReportTheRadiusWindow) {
  const std::vector<ArcPoint> list =
      arctest::toArcPoints(arctest::arcSamples(P{1, 1}, 5.0, 0.0, 1.2, 30));
  double cx, cy, r;
  EXPECT_LE(arcFitCentreChord(list.data(), 0, 29, 0.01, &cx, &cy, &r), 0.01);
  EXPECT_NEAR(r, 5.0, 1e-5);
  // The star search works on whole circles (the rewrite's closed runs).
  const std::vector<ArcPoint> circle =
      arctest::toArcPoints(arctest::arcSamples(P{1, 1}, 5.0, 0.3, 2 * M_PI, 41));
  EXPECT_LE(arcFitCentre(1e-6, circle.data(), 0, 40, 0.01, &cx, &cy, &r), 0.01);
  EXPECT_NEAR(cx, 1.0, 1e-5);
  EXPECT_NEAR(cy, 1.0, 1e-5);
  EXPECT_NEAR(r, 5.0, 1e-5);
  arcSetTolerances(6.0, 100.0);
  EXPECT_EQ(arcFitCentreChord(list.data(), 0, 29, 0.01, &cx, &cy, &r), kArcRadiusRefused);
  EXPECT_EQ(arcFitCentre(1e-6, circle.data(), 0, 40, 0.01, &cx, &cy, &r), kArcRadiusRefused);
  // A closed run has no chord to search along.
  std::vector<ArcPoint> closed =
      arctest::toArcPoints(arctest::arcSamples(P{0, 0}, 5.0, 0.0, 2 * M_PI, 30));
  closed.back() = closed.front();
  EXPECT_EQ(arcFitCentreChord(closed.data(), 0, 29, 0.01, &cx, &cy, &r), kArcSpreadTooLarge);
}

// Walking a marked list: an arc from its start to the next end mark with the centre from the
// record after the start, lines over dropped points, the end after the last point.
TEST_F(ArcFitTest, WalkFollowsTheMarks) {
  std::vector<ArcPoint> list(7, ArcPoint{0, 0, 0, kArcFresh, kArcNo, kArcNo});
  for (int i = 0; i < 7; ++i) list[i].x = i;
  list[1].mark = kArcDropped;
  list[2].mark = kArcCw;
  list[2].startMark = kArcYes;
  list[3].y = 5;  // the centre
  list[5].endMark = kArcYes;
  list[6].mark = kArcDropped;
  const std::vector<arctest::Elem> path = arctest::walk(list);
  ASSERT_EQ(path.size(), 2u);
  EXPECT_EQ(path[0].kind, kArcElemLine);
  EXPECT_EQ(path[0].endIndex, 2);
  EXPECT_EQ(path[1].kind, kArcElemCw);
  EXPECT_EQ(path[1].endIndex, 5);
  EXPECT_DOUBLE_EQ(path[1].centre.y, 5.0);
  int kind;
  double x, y, z, cx, cy;
  EXPECT_EQ(arcPtsNext(6, list.data(), 7, &kind, &x, &y, &z, &cx, &cy), -1);
  EXPECT_EQ(arcPtsNext(-1, list.data(), 7, &kind, &x, &y, &z, &cx, &cy), -1);
  EXPECT_EQ(arcPtsFirst(list.data(), 0, &x, &y, &z), -1);
  // An arc without an end mark ends the walk instead of reading past the list.
  list[5].endMark = kArcNo;
  EXPECT_EQ(arcPtsNext(2, list.data(), 7, &kind, &x, &y, &z, &cx, &cy), -1);
}

TEST_F(ArcFitTest, PointListsAreMarkedFresh) {
  const Point2D pts[3] = {{1, 2}, {3, 4}, {5, 6}};
  ArcPoint* list = arcPtsFrom2D(pts, 3);
  ASSERT_NE(list, nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list[i].x, pts[i].x);
    EXPECT_EQ(list[i].z, 0.0);
    EXPECT_EQ(std::string() + list[i].mark + list[i].startMark + list[i].endMark, "gnn");
  }
  EXPECT_EQ(list[3].mark, '\0');  // the spare record stays zero
  ArcPoint copy[3];
  arcPtsCopy(copy, list, 3);
  EXPECT_EQ(std::memcmp(copy, list, sizeof copy), 0);
  arcPtsFree(list);
  arcPtsFree(nullptr);
  EXPECT_EQ(arcPtsAlloc(-1), nullptr);
}

// ---- line thinning ----------------------------------------------------------------------------

namespace {

struct ThinCase {
  const char* name;
  std::vector<P> pts;
  double tol, maxLen;
  int result;
  std::string marks;  // expected mark of each point
};

void PrintTo(const ThinCase& c, std::ostream* os) { *os << c.name; }

class LineThinCases : public ArcFitTest, public ::testing::WithParamInterface<ThinCase> {};

std::string marksOf(const std::vector<ArcPoint>& list) {
  std::string s;
  for (const ArcPoint& p : list) s += p.mark;
  return s;
}

}  // namespace

TEST_P(LineThinCases, Marks) {
  const ThinCase& c = GetParam();
  std::vector<ArcPoint> list = arctest::toArcPoints(c.pts);
  double dev = -1;
  EXPECT_EQ(arcMarkLineRun(c.tol, c.maxLen, list.data(), static_cast<int>(list.size()), &dev),
            c.result);
  EXPECT_EQ(marksOf(list), c.marks);
  EXPECT_GE(dev, 0.0);
  EXPECT_LE(dev, c.tol);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineThinCases,
    ::testing::Values(
        ThinCase{"ThreeCollinear", {{0, 0}, {1, 0}, {2, 0}}, 0.01, 5.0, 0, "gug"},
        // The chord may span only three points: points 1 and 3 go, point 2 ends one chord and
        // starts the next.
        ThinCase{
            "FiveWithShortChords", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}, 0.01, 2.5, 0, "gugug"},
        ThinCase{
            "ZigZagStepTurnsAway", {{0, 0}, {1, 0}, {1.01, 0.004}, {2, 0}}, 0.01, 5.0, 1, "gggg"},
        ThinCase{"BendOutsideTolerance", {{0, 0}, {1, 0}, {2, 0.5}}, 0.01, 5.0, 1, "ggg"},
        ThinCase{"TwoPoints", {{0, 0}, {1, 0}}, 0.01, 5.0, 1, "gg"},
        ThinCase{"LongStraightRun",
                 {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
                 0.01,
                 100,
                 0,
                 "guuuug"},
        ThinCase{
            "CornerInTheMiddle", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}, 0.01, 100, 0, "gugug"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArcFitTest, ChordEndsCloserThanTheirFloorAreRefused) {
  const std::vector<ArcPoint> list = arctest::toArcPoints({{0, 0}, {5, 1}, {0, 5e-8}});
  double dev = 0;
  EXPECT_NEAR(arcChordDeviation(list.data(), 0, 2, &dev), 5e-8, 1e-20);
  EXPECT_EQ(dev, kArcChordTooShort);
  const std::vector<ArcPoint> turn = arctest::toArcPoints({{0, 0}, {1, 0}, {1.01, 0.004}, {2, 0}});
  EXPECT_DOUBLE_EQ(arcChordDeviation(turn.data(), 1, 3, &dev), 1.0);
  EXPECT_EQ(dev, kArcChordTurns);
}

TEST_F(ArcFitTest, FindLineRunSkipsArcsAndShortStretches) {
  auto chain = [](const std::string& marks, const std::string& starts, const std::string& ends) {
    std::vector<ArcPoint> list;
    for (std::size_t i = 0; i < marks.size(); ++i) {
      list.push_back(ArcPoint{static_cast<double>(i), 0, 0, marks[i], starts[i], ends[i]});
    }
    return list;
  };
  struct {
    std::string marks, starts, ends;
    int from, first, length;
  } cases[] = {
      {"gguggugg", "nnnnnnnn", "nnnnnnnn", 0, -1, 0},  // only stretches of two
      {"ggggg", "nnnnn", "nnnnn", -1, 0, 5},           // a start of -1 counts as 0
      {"ggggg", "nnnnn", "nnnnn", 5, 0, 5},            // and so does n
      {"ggggg", "nnnnn", "nnnnn", 2, 2, 3},
      {"+gggggg", "jnnnnnn", "nnnjnnn", 0, 3, 4},        // the arc's last point begins the run
      {"gg+gggg", "nnjnnnn", "nnnnnnj", 0, -1, 0},       // the arc ends at the last point
      {"+gg+ggggg", "jnnjnnnnn", "nnnjnnjnn", 0, 6, 3},  // an end that starts the next arc
      {"gggugggg", "nnnnnnnn", "nnnnnnnn", 1, 4, 4},     // from 1 the stretch 1..2 is too short
  };
  for (const auto& c : cases) {
    const std::vector<ArcPoint> list = chain(c.marks, c.starts, c.ends);
    int length = -1;
    EXPECT_EQ(arcFindLineRun(list.data(), static_cast<int>(list.size()), c.from, &length), c.first)
        << c.marks << " from " << c.from;
    if (c.first >= 0) {
      EXPECT_EQ(length, c.length) << c.marks;
    }
  }
}

// A run that reaches the last point of the chain ends the thinning (it used to start over from
// the first point and never stop).
TEST_F(ArcFitTest, RefineStopsAfterARunAtTheEnd) {
  std::vector<ArcPoint> list = arctest::toArcPoints({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
  EXPECT_EQ(arcFitRefine(0.01, 100.0, list.data(), 5), 1);
  EXPECT_EQ(marksOf(list), "guuug");
  EXPECT_EQ(arcFitRefine(0.01, 100.0, list.data(), 5), 0);  // nothing fresh is left to thin
  EXPECT_EQ(arcFitRefine(0.01, 100.0, list.data(), 2), 0);
}

namespace {

// Brute-force greedy cover: from each start the longest chord all of whose shorter trials were
// acceptable; its inner points are dropped and its end starts the next chord.
bool chordOk(const std::vector<P>& p, int i, int j, double tol, double maxLen) {
  const double len = arctest::dist(p[i], p[j]);
  if (!(len > 1e-7) || len > maxLen) return false;
  const double cx = p[j].x - p[i].x, cy = p[j].y - p[i].y;
  for (int k = i + 1; k <= j; ++k) {
    const double off = std::fabs(cx * (p[k].y - p[i].y) - cy * (p[k].x - p[i].x)) / len;
    if (off > tol) return false;
    const double sx = p[k].x - p[k - 1].x, sy = p[k].y - p[k - 1].y;
    const double step = std::hypot(sx, sy);
    if (step > 1e-7 && std::fabs(sx * cy - sy * cx) / (step * len) > 0.1) return false;
  }
  return true;
}

std::string greedyMarks(const std::vector<P>& p, double tol, double maxLen) {
  const int n = static_cast<int>(p.size());
  std::string marks(n, 'g');
  int i = 0;
  while (i + 2 < n) {
    int j = i + 1;
    while (j + 1 < n && chordOk(p, i, j + 1, tol, maxLen)) ++j;
    if (j == i + 1) {
      ++i;
      continue;
    }
    for (int k = i + 1; k < j; ++k) marks[k] = 'u';
    if (j == n - 1) break;
    i = j;
  }
  return marks;
}

}  // namespace

// Random near-straight runs: the ends stay, every dropped point lies within the tolerance of the
// chord between the points kept around it, and the marks equal those of the brute-force cover.
TEST_F(ArcFitTest, ThinningMatchesBruteForceGreedyCover) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> stepLen(0.3, 1.5), wobble(-0.04, 0.04), pick(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 3 + trial % 40;
    const double tol = 0.01 + 0.1 * pick(rng), maxLen = 2.0 + 20.0 * pick(rng);
    std::vector<P> pts{{0, 0}};
    double heading = 0.0;
    for (int i = 1; i < n; ++i) {
      heading += 0.3 * wobble(rng);
      const double len = stepLen(rng);
      pts.push_back(P{pts.back().x + len * std::cos(heading),
                      pts.back().y + len * std::sin(heading) + wobble(rng)});
    }
    std::vector<ArcPoint> list = arctest::toArcPoints(pts);
    double dev = 0;
    const int result = arcMarkLineRun(tol, maxLen, list.data(), n, &dev);
    const std::string marks = marksOf(list);
    ASSERT_EQ(marks, greedyMarks(pts, tol, maxLen)) << "trial " << trial;
    EXPECT_EQ(result == 0, marks.find('u') != std::string::npos);
    EXPECT_EQ(marks.front(), 'g');
    EXPECT_EQ(marks.back(), 'g');
    int prev = 0;
    for (int k = 1; k < n; ++k) {
      if (marks[k] == 'u') continue;
      for (int m = prev + 1; m < k; ++m) {
        const double off = std::fabs((pts[k].x - pts[prev].x) * (pts[m].y - pts[prev].y) -
                                     (pts[k].y - pts[prev].y) * (pts[m].x - pts[prev].x)) /
                           arctest::dist(pts[k], pts[prev]);
        EXPECT_LE(off, tol + 1e-12);
        EXPECT_LE(off, dev + 1e-12);
      }
      prev = k;
    }
  }
}

// ---- early stop -------------------------------------------------------------------------------

namespace {

// A chain of random lines and arcs with a little noise.
std::vector<P> randomChain(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<P> pts{{0, 0}};
  double heading = 2 * M_PI * u(rng);
  const int pieces = 2 + static_cast<int>(4 * u(rng));
  for (int k = 0; k < pieces; ++k) {
    const int count = 4 + static_cast<int>(20 * u(rng));
    const double step = 0.3 + 0.7 * u(rng);
    const bool arc = u(rng) < 0.6;
    const double turn = arc ? (u(rng) < 0.5 ? -1 : 1) * (0.02 + 0.08 * u(rng)) : 0.0;
    for (int i = 0; i < count; ++i) {
      heading += turn;
      pts.push_back(P{pts.back().x + step * std::cos(heading) + 0.002 * (u(rng) - 0.5),
                      pts.back().y + step * std::sin(heading) + 0.002 * (u(rng) - 0.5)});
    }
    heading += (u(rng) - 0.5) * 0.8;  // a corner between pieces
  }
  return pts;
}

}  // namespace

TEST_F(ArcFitTest, EarlyStopGivesTheSameMarksAsThePlainEvaluation) {
  std::mt19937 rng(5);
  int arcsSeen = 0;
  for (int trial = 0; trial < 12; ++trial) {
    const std::vector<P> pts = randomChain(rng);
    std::vector<ArcPoint> fast = arctest::toArcPoints(pts), plain = fast;
    const double tol = trial % 2 == 0 ? 0.01 : 0.05;
    ASSERT_EQ(arcSetEarlyStop(1), 1);
    const int a = fitLikePocket(fast, tol);
    arcSetEarlyStop(0);
    const int b = fitLikePocket(plain, tol);
    arcSetEarlyStop(1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(ArcPoint)), 0)
        << "trial " << trial;
    arcsSeen += static_cast<int>(indicesWith(fast, &ArcPoint::startMark, kArcYes).size());
    // The star search too, bit for bit, on the closed-circle test of the rewrite.
    const int last = static_cast<int>(pts.size()) - 1;
    double f[3], p[3];
    const double sf = arcFitCentre(1e-6, fast.data(), 0, last, tol, &f[0], &f[1], &f[2]);
    arcSetEarlyStop(0);
    const double sp = arcFitCentre(1e-6, fast.data(), 0, last, tol, &p[0], &p[1], &p[2]);
    arcSetEarlyStop(1);
    EXPECT_EQ(std::memcmp(&sf, &sp, sizeof sf), 0);
    EXPECT_EQ(std::memcmp(f, p, sizeof f), 0);
  }
  EXPECT_GT(arcsSeen, 5);  // the chains did exercise the arc marks
}
