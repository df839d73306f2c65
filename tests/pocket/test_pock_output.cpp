// The pocket toolpath output: the record sequence of a rectangular level, the new-start, level-end
// and "start" decisions, approach and leaving elements, collected output, part numbers, and the
// toolpaths checked by the independent checker.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "pock_output_support.h"
#include "pocket/pock_scale.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace pocktest;

namespace {

const std::vector<Point2D> kRect = {{0, 0}, {40, 0}, {40, 30}, {0, 30}};

// Runs of the checker over the POF text of a pocket: the rectangle (or the given pocket) as a 2D
// pocket for a flat end mill of radius 5.
tpc::Path readPath(const std::string& pof) {
  tpc::Path path;
  EXPECT_TRUE(tpc::passes(tpc::readPofText(path, pof, tpc::Tool::flat(5), "pocket")));
  return path;
}

class PockOutputTest : public OutputTest {
 protected:
  void SetUp() override {
    OutputTest::SetUp();
    trace.attach(cycle);
  }
  // Emits the elements of a cut after marking a new start.
  void cut(const std::vector<ContourElement>& elements) {
    pockOutput().pockNewStart = 1;
    for (const auto& e : elements) pockEmitElement(e);
  }
  Trace trace;
};

// The record sequence of one level cleared by the ring 5 inside the 40 x 30 rectangle.
std::vector<std::string> goldenLevel(const std::vector<ContourElement>& ring) {
  std::vector<std::string> g = {
      "aliasDef(FX,FX,1000,1)",
      "aliasDef(FZ,FZ,300,1)",
      "aliasDef(reducedFeedrate,FX,0,1)",
      "aliasUse(FX)",
      "tr(FX)",
      "tr(S)",
      "tr(SR)",
      "cycleFct(pocketMilling)",
      "arg(F:\"clearancePlane\":=50)",
      "CPLANE(50)",
      "arg(F:\"clearanceDistance\":=2)",
      "CDIST(2)",
      "arg(F:\"retractPlane\":=50)",
      "RPLANE(50)",
  };
  const Point2D s = contElemStart(ring[0]);
  g.push_back(rapidTo(s.x, s.y));  // positioning at an unknown height, then the first start
  g.push_back("G0 z50");
  g.push_back("G0 z2");  // surface 0 + clearance distance 2
  g.push_back("aliasUse(FZ)");
  g.push_back("tr(FZ)");
  g.push_back("G1 z-5");
  g.push_back("aliasUse(FX)");
  g.push_back("tr(FX)");
  g.push_back("loc start=drill");
  g.push_back("loc surface=0");
  g.push_back("loc depth=5");
  g.push_back("begin");
  for (const auto& e : ring) {
    const Point2D p = contElemEnd(e);
    g.push_back(feedTo(p.x, p.y));
  }
  g.push_back("end");
  g.push_back("G0 z50");  // the last level retracts to the retract plane
  return g;
}

}  // namespace

// One rectangular level through the output: header, first start, positioning, plunge, "start",
// the ring's moves and the retract of the last level; a second run gives the same sequence (the
// header and the first-start rapid belong to every run, not only to the first after loading).
TEST_F(PockOutputTest, GoldenRectangleLevel) {
  putContour("INPUT", polygon(kRect), 0, -5);
  const auto r = ring(polygon(kRect), 5);
  ASSERT_EQ(r.size(), 4u);
  // The ring is the rectangle 5 inside: its corners are those of [5, 35] x [5, 25].
  for (const auto& e : r) {
    const Point2D p = contElemEnd(e);
    EXPECT_TRUE((p.x == 5 || p.x == 35) && (p.y == 5 || p.y == 25)) << p.x << " " << p.y;
  }
  for (int run = 0; run < 2; ++run) {
    trace.lines.clear();
    pockOutputRunReset();
    pockWriteHeader();
    for (const auto& e : r) pockEmitElement(e);
    pockWriteLevelEnd();
    EXPECT_EQ(trace.lines, goldenLevel(r)) << "run " << run;
  }
  closeRun();
  // The checker: no gouge against the rectangle, the level at -5, no rapid below the top.
  const tpc::Path path = readPath(text());
  tpc::Pocket pocket{tpc::rectangle(0, 0, 40, 30, 0, 0), {}, false};
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
}

// New starts around 1.8 z' r + t and 2 z' r + t (r 5, z' 0.396, t 0.0001): a gap below the first
// is linked at the floor, one between them is cut directly, one beyond the second lifts the tool;
// in stock mode and in the axis-parallel cycle every gap beyond t lifts it.
TEST_F(PockOutputTest, NewStartDecisions) {
  const double zr = 0.4 * 0.99 * 5;  // z' r
  struct Case {
    const char* name;
    double gap;
    int stockMode;
    int code;
    int forceNewStart;
    const char* expect;  // "link" feed to the start, "direct" the cut itself, "lift" retract
  };
  const Case cases[] = {
      {"below 1.8", 1.8 * zr - 0.01, 0, 1100, 0, "direct"},
      {"flagged below 1.8", 1.8 * zr - 0.01, 0, 1100, 1, "link"},
      {"flagged between", 1.9 * zr, 0, 1100, 1, "lift"},
      {"between", 1.9 * zr, 0, 1100, 0, "direct"},
      {"beyond 2", 2 * zr + 0.01, 0, 1100, 0, "lift"},
      {"flagged, no gap", 0.0, 0, 1100, 1, "lift"},
      {"stock mode", 1.0, 1, 1100, 0, "lift"},
      {"axis-parallel", 1.0, 0, 1001, 0, "lift"},
  };
  for (const Case& c : cases) {
    pockOutputRunReset();
    trace.lines.clear();
    pockEngine().pockStockMode = c.stockMode;
    cycle->code = c.code;
    pockWriteHeader();
    pockEmitElement(contMakeLine(5, 5, 20, 5, 0));
    pockOutput().pockNewStart = c.forceNewStart;
    pockEmitElement(contMakeLine(20 + c.gap, 5, 20 + c.gap, 15, 0));
    const int begins = trace.count("begin");
    const int retracts = trace.count("G0 z50");
    if (std::string(c.expect) == "lift") {
      EXPECT_EQ(begins, 2) << c.name;
      EXPECT_EQ(retracts, 2) << c.name;  // the first start and the lift
    } else {
      EXPECT_EQ(begins, 1) << c.name;
      EXPECT_EQ(retracts, 1) << c.name;
      EXPECT_EQ(trace.count(feedTo(20 + c.gap, 5)), std::string(c.expect) == "link" ? 1 : 0)
          << c.name;
      EXPECT_EQ(trace.lines.back(), feedTo(20 + c.gap, 15)) << c.name;
    }
  }
  cycle->code = 1100;
}

// An arc starting within reach of the last position but off it was sent from the last position,
// so its record started off its own circle: it now gets a feed line to its start first.
TEST_F(PockOutputTest, ArcStartingOffTheLastPositionRunsOnItsCircle) {
  putContour("INPUT", polygon(kRect), 0, -5);
  pockWriteHeader();
  pockEmitElement(contMakeLine(10, 10, 20, 10, 0));
  // Quarter arc about (20.5, 15) from (20.5, 10) to (25.5, 15): 0.5 from the last position.
  pockEmitElement(contMakeArc(20.5, 15, 20.5, 10, 25.5, 15, 5, 1, 0));
  pockWriteLevelEnd();
  closeRun();
  const auto moves = trace.lines;
  ASSERT_GE(moves.size(), 3u);
  EXPECT_EQ(trace.count(feedTo(20.5, 10)), 1);
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(readPath(text()))));
}

// Level ends: after the last level and with retractEachPlane to the retract plane; with
// plungeAtLastPosition no move and the next start at the last position; otherwise up by the
// clearance distance (pockZ 7, distance 2: to 9).
TEST_F(PockOutputTest, LevelEndRetract) {
  struct Case {
    const char* name;
    int levelsLeft, retractEachPlane, plungeAtLast;
    const char* lastMove;
    int startGiven;
  };
  const Case cases[] = {
      {"last level", 0, 0, 1, "G0 z50", 0},
      {"retract each plane", 3, 1, 1, "G0 z50", 0},
      {"plunge at last position", 3, 0, 1, "end", 1},
      {"clearance distance", 3, 0, 0, "G0 z9", 0},
  };
  for (const Case& c : cases) {
    pockOutputRunReset();
    trace.lines.clear();
    pockEngine().pockStartSet = 0;
    record->retractEachPlane = c.retractEachPlane;
    record->plungeAtLastPosition = c.plungeAtLast;
    pockOutput().levelsLeft = c.levelsLeft;
    pockWriteHeader();
    pockEmitElement(contMakeLine(5, 5, 20, 5, 0));
    pockOutput().pockZ = 7;
    pockWriteLevelEnd();
    EXPECT_EQ(trace.lines.back(), c.lastMove) << c.name;
    EXPECT_EQ(pockEngine().pockStartSet, c.startGiven) << c.name;
    if (c.startGiven != 0) {
      EXPECT_EQ(pockEngine().pockStartPoint.x, 20) << c.name;
      EXPECT_EQ(pockEngine().pockStartPoint.y, 5) << c.name;
    }
    EXPECT_EQ(pockOutput().pockRetracted, 1) << c.name;
  }
}

// The "start" word of a new cut.
TEST_F(PockOutputTest, StartWord) {
  struct Case {
    const char* name;
    int stock, orientation, evaluateRif, code;
    std::vector<std::string> words;  // of two cuts
  };
  const Case cases[] = {
      {"stock, counter-clockwise", 1, 1, 0, 1100, {"left", "left"}},
      {"stock, clockwise", 1, -1, 0, 1100, {"right", "right"}},
      {"rest evaluation", 0, 1, 1, 1100, {"plunge", "plunge"}},
      {"axis-parallel", 0, 1, 0, 1001, {"drill", "plunge"}},
      {"cycle 1002", 0, 1, 0, 1002, {"plunge", "plunge"}},
      {"plain", 0, 1, 0, 1100, {"drill", "drill"}},
  };
  for (const Case& c : cases) {
    pockOutputRunReset();
    trace.lines.clear();
    pockEngine().pockStockMode = c.stock;
    record->orientation = c.orientation;
    record->evaluateRif = c.evaluateRif;
    cycle->code = c.code;
    pockWriteHeader();
    cut({contMakeLine(5, 5, 20, 5, 0)});
    cut({contMakeLine(5, 20, 20, 20, 0)});
    EXPECT_EQ(trace.with("loc start="),
              (std::vector<std::string>{"loc start=" + c.words[0], "loc start=" + c.words[1]}))
        << c.name;
  }
  cycle->code = 1100;
}

// Approach elements in closed form at the start (0, 0) with the tangent (1, 0), length 3.
TEST(PockApproach, ClosedForms) {
  const ContourElement e = contMakeLine(0, 0, 10, 0, 7);
  struct Case {
    int type, side;
    int elemType;
    Point2D start, centre;
    int dir;
  };
  const Case cases[] = {
      {1, 1, kContLine, {0, 3}, {0, 0}, 0},  {1, -1, kContLine, {0, -3}, {0, 0}, 0},
      {2, 1, kContLine, {-3, 0}, {0, 0}, 0}, {3, 1, kContArc, {-3, 3}, {0, 3}, 1},
      {4, 1, kContArc, {0, 6}, {0, 3}, 1},   {4, -1, kContArc, {0, -6}, {0, -3}, -1},
  };
  for (const Case& c : cases) {
    ContourElement out{};
    ASSERT_EQ(pockApproachElement(e, c.side, c.type, 3, &out), 1) << c.type;
    EXPECT_EQ(out.type, c.elemType);
    EXPECT_EQ(out.tag, 1);
    const Point2D s = contElemStart(out);
    const Point2D end = contElemEnd(out);
    EXPECT_NEAR(s.x, c.start.x, 1e-12) << c.type << " " << c.side;
    EXPECT_NEAR(s.y, c.start.y, 1e-12) << c.type << " " << c.side;
    EXPECT_NEAR(end.x, 0, 1e-12);
    EXPECT_NEAR(end.y, 0, 1e-12);
    if (out.type == kContArc) {
      EXPECT_NEAR(out.p0, c.centre.x, 1e-12);
      EXPECT_NEAR(out.p1, c.centre.y, 1e-12);
      EXPECT_EQ(out.radius, 3);
      EXPECT_EQ(out.dir, c.dir);
    }
  }
  ContourElement out{};
  EXPECT_EQ(pockApproachElement(e, 1, 5, 3, &out), 0);
  EXPECT_EQ(pockApproachElement(contMakeLine(1, 1, 1, 1, 0), 1, 1, 3, &out), -1);
}

// Brute-force distance from a point to the rectangle's sides.
double distanceToRect(const Point2D& p) {
  double best = HUGE_VAL;
  for (std::size_t i = 0; i < kRect.size(); ++i) {
    const Point2D a = kRect[i];
    const Point2D b = kRect[(i + 1) % kRect.size()];
    for (int k = 0; k <= 100000; ++k) {
      const double t = k / 100000.0;
      best = std::min(best, std::hypot(a.x + t * (b.x - a.x) - p.x, a.y + t * (b.y - a.y) - p.y));
    }
  }
  return best;
}

// A leaving element keeps the tool clear of INPUT: a perpendicular line of 20 toward a wall 10
// away is halved until its end lies a tool radius from the wall; one that can never clear is
// halved until the rounds run out and used as it stands.
TEST_F(PockOutputTest, LeavingElementClearOfInput) {
  putContour("INPUT", polygon(kRect), 0, -5);
  const ContourElement last = contMakeLine(10, 20, 30, 20, 0);
  ContourElement lead{};
  ASSERT_EQ(pockLeadOut(last, 1, &lead, 1, 20), 1);
  const Point2D end = contElemEnd(lead);
  EXPECT_EQ(contElemStart(lead).x, 30);
  EXPECT_EQ(contElemStart(lead).y, 20);
  EXPECT_GE(distanceToRect(end), 5 - 1e-4 - 1e-9);
  EXPECT_GT(contElemLength(lead), 2.4);  // the longest clear one of 20, 10, 5, 2.5
  // A short one that is clear stays whole.
  ASSERT_EQ(pockLeadOut(contMakeLine(10, 12, 20, 12, 0), 1, &lead, 1, 2), 1);
  EXPECT_DOUBLE_EQ(contElemLength(lead), 2);
  // Along a wall: never clear; ten rounds, then used as it stands.
  ASSERT_EQ(pockLeadOut(contMakeLine(10, 28, 30, 28, 0), 1, &lead, 1, 1), 1);
  EXPECT_LE(contElemLength(lead), 1.0 / 512 + 1e-12);
  EXPECT_GE(contElemLength(lead), 1.0 / 1024 - 1e-12);
  // The quarter arc: radius 3 on the left of a line ending at (20, 10).
  ASSERT_EQ(pockLeadElement(3, 3, 1, &lead, contMakeLine(10, 10, 20, 10, 4)), 1);
  EXPECT_EQ(lead.type, kContArc);
  EXPECT_EQ(lead.tag, 4);
  EXPECT_NEAR(lead.p0, 20, 1e-12);
  EXPECT_NEAR(lead.p1, 13, 1e-12);
  EXPECT_NEAR(contElemEnd(lead).x, 23, 1e-12);
  EXPECT_NEAR(contElemEnd(lead).y, 13, 1e-12);
  EXPECT_EQ(pockLeadOut(last, 1, &lead, 2, 3), 0);  // contour-parallel: none
}

// An INPUT contour of more elements than a fixed work buffer of 44000 held.
TEST_F(PockOutputTest, LeavingElementBesideALargeContour) {
  std::vector<Point2D> pts;
  const int n = 46000;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * i / n;
    pts.push_back({50 + 40 * std::cos(a), 50 + 40 * std::sin(a)});
  }
  putContour("INPUT", polygon(pts), 0, -5);
  ContourElement lead{};
  ASSERT_EQ(pockLeadOut(contMakeLine(40, 50, 50, 50, 0), 1, &lead, 1, 2), 1);
  EXPECT_DOUBLE_EQ(contElemLength(lead), 2);
}

// Small-tool scaling: the approach and leaving lengths were divided by the factor in place at
// every element; each cut now gets the same approach of the length as read.
TEST_F(PockOutputTest, ScaledApproachKeepsItsLength) {
  pockEngine().scaleFactor = 25;
  pockApplySettings("TI0.0 R125 ZM0.4");
  record->approachType = 1;
  record->approachLength = 3 * 25;
  pockWriteHeader();
  cut({contMakeLine(5 * 25, 5 * 25, 20 * 25, 5 * 25, 0)});
  cut({contMakeLine(5 * 25, 20 * 25, 20 * 25, 20 * 25, 0)});
  cut({contMakeLine(5 * 25, 10 * 25, 20 * 25, 10 * 25, 0)});
  const auto rapids = trace.with("G0 5");
  EXPECT_EQ(rapids, (std::vector<std::string>{rapidTo(5, 8), rapidTo(5, 23), rapidTo(5, 13)}));
  EXPECT_EQ(record->approachLength, 75);
  pockEngine().scaleFactor = 1;
}

namespace {
// The cutting moves of a trace: after each "begin" the moves up to the next "end" or lift.
std::vector<std::vector<std::string>> cuts(const Trace& t) {
  std::vector<std::vector<std::string>> out;
  bool in = false;
  for (const auto& l : t.lines) {
    if (l == "begin") {
      out.emplace_back();
      in = true;
    } else if (l == "end") {
      in = false;
    } else if (in && (l.rfind("G1 ", 0) == 0 || l.rfind("arc ", 0) == 0) &&
               l.rfind("G1 z", 0) != 0) {
      out.back().push_back(l);
    }
  }
  return out;
}
}  // namespace

// Collection: nothing is written until the flush; the flushed output is the forward output
// reversed element by element, the new starts moved to the following element.
TEST_F(PockOutputTest, CollectedOutputIsTheForwardOutputReversed) {
  putContour("INPUT", polygon({{0, 0}, {80, 0}, {80, 30}, {0, 30}}), 0, -5);
  const std::vector<ContourElement> a = {contMakeLine(5, 5, 35, 5, 0),
                                         contMakeArc(35, 15, 35, 5, 35, 25, 10, 1, 0)};
  const std::vector<ContourElement> b = {contMakeLine(45, 5, 75, 5, 0),
                                         contMakeLine(75, 5, 75, 25, 0)};
  // Forward, reversed by hand: the cuts in the opposite order, each reversed.
  std::vector<ContourElement> ra(a.rbegin(), a.rend());
  std::vector<ContourElement> rb(b.rbegin(), b.rend());
  contReverse(ra.data(), 2);
  std::reverse(ra.begin(), ra.end());
  contReverse(rb.data(), 2);
  std::reverse(rb.begin(), rb.end());
  pockWriteHeader();
  cut(rb);
  cut(ra);
  pockWriteLevelEnd();
  const auto expected = cuts(trace);
  ASSERT_EQ(expected.size(), 2u);

  pockOutputRunReset();
  trace.lines.clear();
  ASSERT_EQ(pockCollectStart(), 1);
  pockWriteHeader();
  cut(a);
  cut(b);
  pockWriteLevelEnd();
  EXPECT_TRUE(trace.lines.empty());
  pockFlushList();
  EXPECT_EQ(cuts(trace), expected);
  EXPECT_EQ(pockOutput().pockCollecting, 0);
  EXPECT_EQ(pockOutput().pockCollected, nullptr);
}

// A collected list grows node by node past its capacity and keeps every element in order.
TEST(PockElemLists, GrowAndReverse) {
  PockElemList* list = pockListNew(3);
  ASSERT_NE(list, nullptr);
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(pockListAppend(list, contMakeLine(i, 0, i + 1, 0, 0), i % 2), 1);
  std::vector<double> starts;
  int nodes = 0;
  for (const PockElemNode* n = list->first; n != nullptr; n = n->next) {
    ++nodes;
    for (int i = n->count - 1; i >= 0; --i) starts.push_back(n->elements[i].p0);
  }
  EXPECT_EQ(nodes, 3);
  EXPECT_EQ(starts, (std::vector<double>{7, 6, 5, 4, 3, 2, 1, 0}));  // newest first
  EXPECT_EQ(pockListHasEndpoint(list, {8, 0}), 1);
  EXPECT_EQ(pockListHasEndpoint(list, {8.001, 0}), 0);
  pockListReverseAll(list);
  std::vector<double> walk;
  for (const PockElemNode* n = list->first; n != nullptr; n = n->next) {
    for (int i = 0; i < n->count; ++i) walk.push_back(contElemStart(n->elements[i]).x);
  }
  EXPECT_EQ(walk, (std::vector<double>{8, 7, 6, 5, 4, 3, 2, 1}));
  pockListFree(list);
  EXPECT_EQ(pockListAppend(nullptr, contMakeLine(0, 0, 1, 0, 0), 0), -1);
}

namespace {
// Three levels of two cuts each: the left and the right half of an 80 x 30 pocket.
void threeLevels(CcpRecord* record, const std::vector<ContourElement>& left,
                 const std::vector<ContourElement>& right) {
  for (int k = 0; k < 3; ++k) {
    record->surface = -5.0 * k;
    record->depth = 5;
    pockOutput().levelsLeft = 2 - k;
    pockDrillSet(1);
    pockWriteHeader();
    pockOutput().pockNewStart = 1;
    for (const auto& e : left) pockEmitElement(e);
    pockOutput().pockNewStart = 1;
    for (const auto& e : right) pockEmitElement(e);
    pockWriteLevelEnd();
  }
}
const std::vector<Point2D> kWide = {{0, 0}, {80, 0}, {80, 30}, {0, 30}};
}  // namespace

// Part numbers over three levels of two cuts: every level numbers its cuts 1 and 2 again, and the
// run finally clears both numbers.
TEST_F(PockOutputTest, PartNumbersOverThreeLevels) {
  putContour("INPUT", polygon(kWide), 0, -15);
  record->retractEachPlane = 1;
  ASSERT_EQ(pockDrillPointsInit(), 0);
  ASSERT_EQ(pockDrillNext(), 1);
  threeLevels(record, ring(polygon({{0, 0}, {40, 0}, {40, 30}, {0, 30}}), 5),
              ring(polygon({{40, 0}, {80, 0}, {80, 30}, {40, 30}}), 5));
  pockDrillFlush();
  std::vector<std::string> expected;
  for (int k = 0; k < 3; ++k) {
    for (const char* s : {"beg part 1", "end part 1", "beg part 2", "end part 2"}) {
      expected.push_back(s);
    }
  }
  expected.push_back("clr part 1");
  expected.push_back("clr part 2");
  std::vector<std::string> parts;
  for (const auto& l : trace.lines) {
    if (l.find(" part ") != std::string::npos) parts.push_back(l);
  }
  EXPECT_EQ(parts, expected);
  // Part records are off without retractEachPlane, and for contours of different depths.
  record->retractEachPlane = 0;
  EXPECT_EQ(pockDrillPointsInit(), -1);
  record->retractEachPlane = 1;
  putContour("INPUT", polygon({{10, 10}, {20, 10}, {20, 20}, {10, 20}}), 0, -10, false);
  EXPECT_EQ(pockDrillPointsInit(), -1);
}

// Three levels with neither retractEachPlane nor plungeAtLastPosition: a level end lifts only by
// the clearance distance, and the next level's positioning rapid crossed the pocket below its top;
// it now rises to the retract plane first. The checker: no gouge, every level, no rapid below a
// contour top.
TEST_F(PockOutputTest, ThreeLevelRunKeepsRapidsAboveTheTops) {
  putContour("INPUT", polygon(kWide), 0, -15);
  record->retractEachPlane = 0;
  record->plungeAtLastPosition = 0;
  threeLevels(record, ring(polygon({{0, 0}, {40, 0}, {40, 30}, {0, 30}}), 5),
              ring(polygon({{40, 0}, {80, 0}, {80, 30}, {40, 30}}), 5));
  closeRun();
  const tpc::Path path = readPath(text());
  tpc::Pocket pocket{tpc::rectangle(0, 0, 80, 30, 0, 0), {}, false};
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
  EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
  // Between the two cuts of a level the tool is positioned by a feed move at the retract plane.
  EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5, -10, -15, 50})));
}

// The header belongs to each run once; in collection mode it waits for the flush.
TEST_F(PockOutputTest, HeaderOncePerRun) {
  pockWriteHeader();
  pockWriteHeader();
  EXPECT_EQ(trace.count("cycleFct(pocketMilling)"), 1);
  pockOutputRunReset();
  ASSERT_EQ(pockCollectStart(), 1);
  pockWriteHeader();
  EXPECT_EQ(trace.count("cycleFct(pocketMilling)"), 1);
  pockEmitElement(contMakeLine(5, 5, 20, 5, 0));
  pockFlushList();
  EXPECT_EQ(trace.count("cycleFct(pocketMilling)"), 2);
}

// Forward calls not in the library yet report code 3021 once per run: the helical plunge (the
// straight plunge stands in). The linked new starts take the tangent link, without a report.
TEST_F(PockOutputTest, ForwardCallsReportOncePerRun) {
  record->plungeType = 1;
  pockEngine().pockInfeedRadius = 1;
  pockWriteHeader();
  cut({contMakeLine(5, 5, 20, 5, 0)});
  cut({contMakeLine(21, 5, 30, 5, 0)});  // a linked new start
  cut({contMakeLine(5, 20, 20, 20, 0)});
  cut({contMakeLine(21, 20, 30, 20, 0)});
  EXPECT_GE(trace.count("G1 21,5"), 1);
  EXPECT_GE(trace.count("G1 21,20"), 1);
  EXPECT_EQ(trace.count("G1 z-5"), 2);
  const std::string pof = text();
  std::size_t n = 0;
  for (std::size_t at = pof.find("error(1104)"); at != std::string::npos;
       at = pof.find("error(1104)", at + 1)) {
    ++n;
  }
  // The helical plunge is built (here without a radius: a straight plunge), nothing is forwarded.
  EXPECT_EQ(n, 0u);
  EXPECT_NE(pockLastCode(), kPockCodeNotRealised);
}

// The open-edge test looks at the open elements of INPUT only, within 1000 x contTol (0.1), and
// keeps answering the same over many calls (one work buffer).
TEST(PockNearOpenEdgeTest, OpenElementsOfInputOnly) {
  layerResetState();
  pockRunReset();
  EXPECT_EQ(pockNearOpenEdge(Point2D{5.0, 0.0}), 0);  // no INPUT layer
  ASSERT_EQ(layerCreate("INPUT"), 1);
  const std::vector<ContourElement> c = {
      contMakeLine(0, 0, 10, 0, kContTagOpen), contMakeLine(10, 0, 10, 10, 0),
      contMakeLine(10, 10, 0, 10, kContTagOpen), contMakeLine(0, 10, 0, 0, 3)};
  ContourHeader h{};
  h.count = 4;
  ASSERT_EQ(layerInsertContour("INPUT", c.data(), &h, -1), 1);
  for (int round = 0; round < 200; ++round) {
    EXPECT_EQ(pockNearOpenEdge(Point2D{5.0, 0.05}), 1);
    EXPECT_EQ(pockNearOpenEdge(Point2D{5.0, 9.92}), 1);
    EXPECT_EQ(pockNearOpenEdge(Point2D{5.0, 0.2}), 0);
    EXPECT_EQ(pockNearOpenEdge(Point2D{10.05, 5.0}), 0);  // a closed element
    EXPECT_EQ(pockNearOpenEdge(Point2D{-0.05, 5.0}), 0);
  }
  layerResetState();
}
