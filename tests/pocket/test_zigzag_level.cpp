// The axis-parallel strategy of the contour-parallel cycle: runs of wall elements against brute
// force, the principal direction against rotating calipers, the stripes of a rectangle, clipping
// against brute-force segment clipping, wall passes at their distance, and checked runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "framework/memory.h"
#include "pock_output_support.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/zigzag_stripes.h"
#include "pocket/zigzag_walls.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace ccptest;
using pocktest::polygon;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

// ---- runs -----------------------------------------------------------------------------------

// The runs of unmarked elements as brute force sees them: maximal cyclic sequences, each as
// (first, last); a contour without marked elements is the one run 0 .. n - 1.
std::vector<std::pair<int, int>> bruteRuns(const std::vector<int>& tags) {
  const int n = static_cast<int>(tags.size());
  std::vector<std::pair<int, int>> runs;
  bool anyMarked = false;
  for (int t : tags) anyMarked = anyMarked || t < 0;
  if (!anyMarked) return {{0, n - 1}};
  for (int i = 0; i < n; ++i) {
    const int prev = (i - 1 + n) % n;
    if (tags[i] < 0 || tags[prev] >= 0) continue;
    int last = i;
    while (tags[(last + 1) % n] >= 0) last = (last + 1) % n;
    runs.push_back({i, last});
  }
  return runs;
}

TEST(ZigzagRuns, BoundsMatchBruteForceOnRandomTagsWithWrap) {
  std::mt19937 rng(17);
  for (int round = 0; round < 500; ++round) {
    const int n = 1 + static_cast<int>(rng() % 12);
    std::vector<ContourElement> e;
    std::vector<int> tags;
    for (int i = 0; i < n; ++i) {
      const int tag = rng() % 3 == 0 ? -1 : 0;
      tags.push_back(tag);
      e.push_back(contMakeLine(i, 0, i + 1, 0, tag));
    }
    auto expected = bruteRuns(tags);
    std::vector<std::pair<int, int>> got;
    int first = 0, last = 0;
    for (int guard = 0; guard < 20 && zigzagRunBounds(e.data(), n, &first, &last) == 1; ++guard) {
      got.push_back({first, last});
      zigzagMarkRun(e.data(), n, first, last);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << "round " << round;
  }
}

TEST(ZigzagRuns, ThereAndBackCopyEndsWhereItStarts) {
  const auto sq = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  std::vector<ContourElement> dst(8);
  // The wrapped run 3 .. 0: the left and the bottom edge.
  const int m = zigzagCopyRun(dst.data(), sq.data(), 4, 3, 0);
  ASSERT_EQ(m, 4);
  EXPECT_EQ(contIsClosed(dst.data(), m), 1);
  EXPECT_EQ(contElemStart(dst[0]).y, 10);
  EXPECT_EQ(contElemEnd(dst[1]).x, 10);
  EXPECT_EQ(contElemEnd(dst[3]).y, 10);
}

// ---- principal direction --------------------------------------------------------------------

// Width by rotating calipers' brute force: the smallest, over hull edges, of the largest distance
// of a point from the edge's line.
double bruteWidth(const std::vector<Point2D>& p) {
  double best = 1e300;
  const std::size_t n = p.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (i == j) continue;
      const double dx = p[j].x - p[i].x, dy = p[j].y - p[i].y;
      const double len = std::hypot(dx, dy);
      if (len < 1e-9) continue;
      double lo = 0, hi = 0;
      for (const Point2D& q : p) {
        const double d = (dx * (q.y - p[i].y) - dy * (q.x - p[i].x)) / len;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
      }
      if (lo > -1e-9 || hi < 1e-9) best = std::min(best, hi - lo);  // a supporting line
    }
  }
  return best;
}

TEST(ZigzagDirection, WidthMatchesRotatingCalipersOnRandomPolygons) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  for (int round = 0; round < 100; ++round) {
    std::vector<Point2D> pts;
    const int n = 3 + static_cast<int>(u(rng) * 10);
    for (int i = 0; i < n; ++i) {
      const double a = 2 * M_PI * (i + 0.8 * u(rng)) / n;
      const double r = 10 + 40 * u(rng);
      pts.push_back({r * std::cos(a) * (1 + u(rng)), r * std::sin(a)});
    }
    const auto e = polygon(pts);
    Seg2D line{};
    double w = 0;
    ASSERT_EQ(zigzagPrincipalDir(e.data(), n, &line, &w), 1);
    EXPECT_NEAR(w, bruteWidth(pts), 1e-6) << "round " << round;
    // Every point lies on the left of the base line within the width.
    const double len = std::hypot(line.x2 - line.x1, line.y2 - line.y1);
    for (const Point2D& q : pts) {
      const double d =
          ((line.x2 - line.x1) * (q.y - line.y1) - (line.y2 - line.y1) * (q.x - line.x1)) / len;
      EXPECT_GT(d, -1e-6);
      EXPECT_LT(d, w + 1e-6);
    }
  }
}

// ---- stripes ---------------------------------------------------------------------------------

TEST(ZigzagStripes, RectangleGivesFourStripesAfterClipping) {
  pockRunReset();
  const auto rect = polygon({{0, 0}, {100, 0}, {100, 40}, {0, 40}});
  Seg2D line{};
  double w = 0;
  ASSERT_EQ(zigzagPrincipalDir(rect.data(), 4, &line, &w), 1);
  EXPECT_DOUBLE_EQ(w, 40);
  EXPECT_DOUBLE_EQ(std::fabs(line.y2 - line.y1), 0);    // along the long side
  EXPECT_DOUBLE_EQ(std::fabs(line.x2 - line.x1), 102);  // one unit beyond at both ends
  StripeList* list = zigzagMakeStripes(line, w, 5, 8);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 5);
  const double base = line.y1;
  for (int m = 1; m <= 5; ++m) {
    const ZigzagStripe& s = list->stripes[m - 1];
    EXPECT_EQ(s.row, m);
    EXPECT_NEAR(std::fabs(s.segment.y1 - base), 8.0 * m, 1e-12);
    EXPECT_NEAR(std::fabs(s.segment.x2 - s.segment.x1), 102, 1e-12);
  }
  // The fifth lies on the far edge: dropped, not clipped to a degenerate piece.
  ASSERT_EQ(zigzagClipStripes(list, rect.data(), 4, 0, 0), 1);
  ASSERT_EQ(list->count, 4);
  for (int i = 0; i < 4; ++i) {
    const ZigzagStripe& s = list->stripes[i];
    EXPECT_NEAR(std::fabs(s.segment.x2 - s.segment.x1), 100, 1e-9);
    EXPECT_EQ(s.startContour, 0);
    EXPECT_EQ(s.endContour, 0);
  }
  zigzagListFree(list);
}

TEST(ZigzagStripes, ListGrowsAllOrNothing) {
  StripeList* list = zigzagListNew(1);
  ZigzagStripe s{};
  for (int i = 0; i < 50; ++i) {
    s.row = i;
    ASSERT_EQ(zigzagListAppend(list, s), 1);
  }
  EXPECT_EQ(list->minRow, 0);
  EXPECT_EQ(list->maxRow, 49);
  s.row = 99;
  ASSERT_EQ(zigzagListInsert(list, 0, s), 1);
  EXPECT_EQ(list->stripes[0].row, 99);
  EXPECT_EQ(list->stripes[1].row, 0);
  EXPECT_EQ(list->maxRow, 49);  // an insertion leaves the row range
  EXPECT_EQ(zigzagListInsert(list, 100, s), -1);
  zigzagListFree(list);
  // A growth that fails leaves the list as it was, still usable.
  list = zigzagListNew(1);
  s.row = 7;
  ASSERT_EQ(zigzagListAppend(list, s), 1);
  const ZigzagStripe* before = list->stripes;
  memTestFailAt(1);
  EXPECT_EQ(zigzagListAppend(list, s), -1);
  EXPECT_EQ(zigzagListInsert(list, 0, s), 1);  // the failure was spent: this one grows
  memResetState();
  EXPECT_NE(list->stripes, before);
  EXPECT_EQ(list->count, 2);
  EXPECT_EQ(list->stripes[1].row, 7);
  zigzagListFree(list);
}

// Brute-force clipping of a segment against a polygon: the pieces whose middle is inside.
std::vector<std::pair<double, double>> bruteClip(const Seg2D& s, const std::vector<Point2D>& poly,
                                                 bool inside) {
  std::vector<double> ts{0, 1};
  const std::size_t n = poly.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Point2D a = poly[i], b = poly[(i + 1) % n];
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1, ex = b.x - a.x, ey = b.y - a.y;
    const double den = dx * ey - dy * ex;
    if (std::fabs(den) < 1e-12) continue;
    const double t = ((a.x - s.x1) * ey - (a.y - s.y1) * ex) / den;
    const double v = ((a.x - s.x1) * dy - (a.y - s.y1) * dx) / den;
    if (t > 0 && t < 1 && v >= 0 && v <= 1) ts.push_back(t);
  }
  std::sort(ts.begin(), ts.end());
  std::vector<std::pair<double, double>> out;
  for (std::size_t k = 0; k + 1 < ts.size(); ++k) {
    const double tm = (ts[k] + ts[k + 1]) / 2;
    const Point2D m{s.x1 + tm * (s.x2 - s.x1), s.y1 + tm * (s.y2 - s.y1)};
    bool in = false;
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D a = poly[i], b = poly[(i + 1) % n];
      if ((a.y > m.y) != (b.y > m.y) && a.x + (m.y - a.y) * (b.x - a.x) / (b.y - a.y) > m.x)
        in = !in;
    }
    if (in == inside && ts[k + 1] - ts[k] > 1e-9) out.push_back({ts[k], ts[k + 1]});
  }
  return out;
}

TEST(ZigzagStripes, ClippingMatchesBruteForce) {
  pockRunReset();
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> u(0, 1);
  for (int round = 0; round < 60; ++round) {
    std::vector<Point2D> pts;
    const int n = 4 + static_cast<int>(u(rng) * 10);
    for (int i = 0; i < n; ++i) {
      const double a = 2 * M_PI * (i + 0.5 * u(rng)) / n;
      const double r = 10 + 30 * u(rng);
      pts.push_back({r * std::cos(a), r * std::sin(a)});
    }
    const auto e = polygon(pts);
    const bool outside = round % 2 == 1;
    StripeList* list = zigzagListNew(4);
    ZigzagStripe s{};
    s.row = 1;
    s.startContour = s.endContour = -1;
    const double y = -35 + 70 * u(rng);
    s.segment = Seg2D{-60, y, 60, y + 10 * (u(rng) - 0.5)};
    zigzagListAppend(list, s);
    ASSERT_EQ(zigzagClipStripes(list, e.data(), n, 3, outside ? 1 : 0), 1);
    const auto want = bruteClip(s.segment, pts, !outside);
    ASSERT_EQ(list->count, static_cast<int>(want.size())) << "round " << round;
    for (int k = 0; k < list->count; ++k) {
      const Seg2D& g = list->stripes[k].segment;
      const double t0 = (g.x1 - s.segment.x1) / (s.segment.x2 - s.segment.x1);
      const double t1 = (g.x2 - s.segment.x1) / (s.segment.x2 - s.segment.x1);
      EXPECT_NEAR(t0, want[k].first, 1e-7) << "round " << round;
      EXPECT_NEAR(t1, want[k].second, 1e-7) << "round " << round;
      EXPECT_EQ(list->stripes[k].startContour, want[k].first > 0 ? 3 : -1);
      EXPECT_EQ(list->stripes[k].endContour, want[k].second < 1 ? 3 : -1);
    }
    zigzagListFree(list);
  }
}

// ---- wall passes -----------------------------------------------------------------------------

// Smallest distance from p to the run's segments.
double distToRun(const Point2D& p, const std::vector<ContourElement>& run) {
  double d = 1e300;
  for (const ContourElement& e : run) d = std::min(d, contMinDistance(p, &e, 1));
  return d;
}

class ZigzagWallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPocketModules();
    pockApplySettings("TI0.0 R5.0000 ZM0.4");
    ASSERT_EQ(ctreeInit(1), 1);
    zigzagNodesStart();
  }
  void TearDown() override {
    ctreeFree();
    resetPocketModules();
  }
};

// An open pocket: the bottom edge is open (marked), the other three are walls. The pass runs at r
// from the walls inside the pocket, then along the open edge.
TEST_F(ZigzagWallTest, PassOfARunLiesAtItsDistance) {
  auto c = polygon({{0, 0}, {60, 0}, {60, 40}, {0, 40}});
  c[0].tag = kContTagOpen;
  int first = 0, last = 0;
  ASSERT_EQ(zigzagRunBounds(c.data(), 4, &first, &last), 1);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 3);
  pockEngine().offsetStrict = 0;
  ZigzagElems off;
  ASSERT_EQ(zigzagOffsetRun(c.data(), 4, first, last, 8, 1, &off), 1);
  ContourHeader h{};
  h.ccw = h.leftSide = 1;
  ASSERT_EQ(zigzagAddRunPass(off, c.data(), 4, h), 1);
  ASSERT_GE(ctreeNodeCount(), 1);
  const std::vector<ContourElement> run(c.begin() + 1, c.end());
  const ContourTreeNode* pass = ctreeNodeAt(0);
  std::vector<ContourElement> e(static_cast<std::size_t>(pass->count));
  ASSERT_EQ(ctreeGetElems(e.data(), pass->count, pass->block), 1);
  for (const ContourElement& x : e) {
    for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
      Point2D p{};
      if (x.type == kContLine) {
        p = {x.p0 + t * (x.p2 - x.p0), x.p1 + t * (x.p3 - x.p1)};
      } else {
        contArcPointAt(x, t, &p);
      }
      if (p.y < 1e-6) continue;  // the pass's ends meet the open edge
      EXPECT_NEAR(distToRun(p, run), 8, 1e-6) << p.x << "," << p.y;
      EXPECT_EQ(contWinding(c.data(), 4, p) != 0 || p.y <= 1e-6, true);
    }
  }
}

// A pocket 5.6 wide: the offsets by the full step down to 0.8 step vanish, 0.7 step works; the
// contour itself moves in by 0.35 step and goes to INSEL once.
TEST_F(ZigzagWallTest, NarrowPocketFallsBackToASmallerStep) {
  layerCreate("MAIN");
  layerCreate("GKT");
  layerCreate("INSEL");
  pocktest::putContour("MAIN", polygon({{0, 0}, {5.6, 0}, {5.6, 40}, {0, 40}}), 0, -5);
  layerSetLevel("MAIN", 0, 0);
  const double step = 2 * pockEngine().pockStepFactor * 5;
  ASSERT_NEAR(step, 3.96, 1e-12);
  double used = 0;
  ASSERT_EQ(zigzagPrepare(step, 1, &used), 1);
  EXPECT_NEAR(used, 0.7 * step, 1e-12);
  ASSERT_EQ(layerCount("INSEL"), 1);
  ASSERT_EQ(layerCount("GKT"), 1);
  ContourHeader h{};
  Point2D lo{}, hi{};
  ASSERT_EQ(layerGetHeader("GKT", &h, 0), 0);
  contBox(h.elements, h.count, &lo, &hi);
  EXPECT_NEAR(lo.x, 0.7 * step, 1e-6);
  EXPECT_NEAR(hi.x, 5.6 - 0.7 * step, 1e-6);
  ASSERT_EQ(layerGetHeader("MAIN", &h, 0), 0);
  contBox(h.elements, h.count, &lo, &hi);
  EXPECT_NEAR(lo.x, 0.35 * step, 1e-6);
  EXPECT_NEAR(lo.y, 0.35 * step, 1e-6);
}

// An open pocket: the walls get a pass at one step and a node of their own, and the contour's
// walls move in by half a step while the open edge stays.
TEST_F(ZigzagWallTest, OpenContourGetsWallPassesAndMovesItsWalls) {
  layerCreate("MAIN");
  layerCreate("GKT");
  layerCreate("INSEL");
  auto c = polygon({{0, 0}, {60, 0}, {60, 40}, {0, 40}});
  c[0].tag = kContTagOpen;
  pocktest::putContour("MAIN", c, 0, -5);
  layerSetLevel("MAIN", 0, 0);
  const double step = 2 * pockEngine().pockStepFactor * 5;
  ASSERT_EQ(zigzagPrepare(step, 1, nullptr), 1);
  EXPECT_EQ(layerCount("INSEL"), 0);
  EXPECT_EQ(layerCount("GKT"), 0);
  // The pass, the open stretch after it, the walls.
  ASSERT_EQ(ctreeNodeCount(), 3);
  const ContourTreeNode* walls = ctreeNodeAt(2);
  EXPECT_EQ(walls->count, 3);
  ContourHeader h{};
  ASSERT_EQ(layerGetHeader("MAIN", &h, 0), 0);
  Point2D lo{}, hi{};
  contBox(h.elements, h.count, &lo, &hi);
  EXPECT_NEAR(lo.x, step / 2, 1e-6);
  EXPECT_NEAR(hi.x, 60 - step / 2, 1e-6);
  EXPECT_NEAR(hi.y, 40 - step / 2, 1e-6);
  EXPECT_NEAR(lo.y, 0, 1e-6);
  int open = 0;
  for (int k = 0; k < h.count; ++k) {
    if (h.elements[k].tag < 0) {
      ++open;
      EXPECT_NEAR(h.elements[k].p1, 0, 1e-9);  // the open edge keeps its place
    } else {
      EXPECT_EQ(h.elements[k].tag, 0);  // the moved walls carry the contour's index
    }
  }
  EXPECT_EQ(open, 1);
}

// ---- checked runs ----------------------------------------------------------------------------

class ZigzagRunTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    resetPocketRun();
    pockSetSourceLoader(ccpCycleRecord());
    ccpCycleRecord()->status = 0;
  }
  void TearDown() override { resetPocketRun(); }
};

std::vector<std::pair<double, double>> pairs(const std::vector<Point2D>& p) {
  std::vector<std::pair<double, double>> out;
  for (const Point2D& q : p) out.push_back({q.x, q.y});
  return out;
}

// Every cell the tool fits is cut, the walls between the stripes and around islands included (C2
// with no inset), also beside islands that stand where the meander of the axis-parallel cycle
// left a notch.
TEST_F(ZigzagRunTest, CheckedRuns) {
  struct Case {
    const char* name;
    std::vector<Point2D> outer;
    std::vector<std::vector<Point2D>> islands;
  };
  const std::vector<Point2D> ell{{0, 0}, {60, 0}, {60, 20}, {20, 20}, {20, 50}, {0, 50}};
  const Case cases[] = {
      {"rectangle", rectangle(0, 0, 40, 30), {}},
      {"rectangle with islands",
       rectangle(0, 0, 80, 50),
       {rectangle(15, 10, 30, 25, false), rectangle(50, 20, 62, 40, false)}},
      {"L", ell, {}},
      {"island 21,8", rectangle(0, 0, 60, 40), {rectangle(21, 8, 31, 18, false)}},
      {"island 28.9,8", rectangle(0, 0, 60, 40), {rectangle(28.9, 8, 38.9, 18, false)}},
  };
  const double stepover = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string xchg = xchgHeader() + lineContour(c.outer);
    tpc::Pocket pocket{tpc::polygon(pairs(c.outer), 0, 0), {}, true};
    for (const auto& island : c.islands) {
      xchg += lineContour(island, "  vsideOfCompensation( leftOfContour )\n");
      pocket.islands.push_back(tpc::polygon(pairs(island), 0, 0));
    }
    writeFile("pocket.qdx", xchg);
    writeFile("job.pcf", pcf({{"geoSource", "pocket.qdx"},
                              {"toolDiameter", "10"},
                              {"planeAllowance", "-5"},
                              {"infeedLength", "4"},
                              {"strategy", "axisParallel"},
                              {"oriAutomatic", "none"},
                              {"depth", "5"},
                              {"pofFilename", "out.pof"}}));
    std::remove("out.pof");
    EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunOk);
    const std::string pof = readFile("out.pof");
    EXPECT_EQ(pof.find("error("), std::string::npos) << pof;
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "zigzag")));
    ASSERT_FALSE(path.moves.empty());
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
    tpc::CoverOptions c1;
    c1.floorZ = -5;
    c1.step = stepover;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverStep(path, pocket, c1)));
    tpc::CoverOptions c2;
    c2.floorZ = -5;
    c2.inset = 0;
    EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, c2)));
  }
}

// The level's contours are the tool centre's limits: a run with a wall offset is refused.
TEST_F(ZigzagRunTest, LevelWithWallOffsetIsRefused) {
  writeFile("pocket.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  writeFile("job.pcf", pcf({{"geoSource", "pocket.qdx"},
                            {"toolDiameter", "10"},
                            {"infeedLength", "4"},
                            {"strategy", "axisParallel"},
                            {"oriAutomatic", "none"},
                            {"depth", "5"},
                            {"pofFilename", "out.pof"}}));
  EXPECT_EQ(runCycle(ccpCycleRecord(), "job"), kRunComputeFailed);
  const std::string pof = readFile("out.pof");
  EXPECT_NE(pof.find("0: error(1104)"), std::string::npos) << pof;
  EXPECT_EQ(pof.find("31: oL"), std::string::npos) << pof;
}

}  // namespace
