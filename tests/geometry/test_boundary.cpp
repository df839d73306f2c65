// Tests of machining boundaries: the boundary text reader judged by segment counts, areas and
// round trips; nesting and the contact offset by area; guide intervals against the analytic
// entry and exit parameters of straight guides; allocation failures walked step by step.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fiveaxis/fiveaxis_hooks.h"
#include "framework/memory.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "msg_capture.h"
#include "support/temp_dir.h"

using qdtest::MessageCapture;
using qdtest::writeFile;

namespace {

double area(const Boundary* b) {
  double a = 0;
  for (int i = 0; i < b->segCount; ++i)
    a += b->segs[i].x1 * b->segs[i].y2 - b->segs[i].x2 * b->segs[i].y1;
  return a / 2;
}

bool closedChain(const Boundary* b) {
  for (int i = 0; i < b->segCount; ++i) {
    const Seg2D& s = b->segs[i];
    const Seg2D& t = b->segs[(i + 1) % b->segCount];
    if (std::fabs(s.x2 - t.x1) > 1e-9 || std::fabs(s.y2 - t.y1) > 1e-9) return false;
  }
  return true;
}

int listLength(const Boundary* b) {
  int n = 0;
  for (; b != nullptr; b = b->next) ++n;
  return n;
}

// One "**BND" item through the given points.
std::string item(const std::vector<Point3D>& pts, const char* header = "**BND 1") {
  std::string s = std::string(header) + "\n";
  char line[128];
  for (const Point3D& p : pts) {
    std::snprintf(line, sizeof line, "X%f Y%f Z%f\n", p.x, p.y, p.z);
    s += line;
  }
  return s + "**END\n";
}

std::vector<Point3D> square(double x0, double y0, double side, bool ccw = true) {
  std::vector<Point3D> p = {
      {x0, y0, 0}, {x0 + side, y0, 0}, {x0 + side, y0 + side, 0}, {x0, y0 + side, 0}};
  if (!ccw) std::swap(p[1], p[3]);
  return p;
}

class BoundaryTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    csysResetState();
    bndClearState();
    geoResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    bndClearState();
  }
  MessageCapture messages_;
};

}  // namespace

// Four corners give four segments whether or not the file repeats the first point; a repeated
// point and a line without a letter count once; "**NEXT" lines are skipped.
TEST_F(BoundaryTest, FourPointsGiveFourSegments) {
  struct Case {
    const char* text;
    int segs;
  };
  const Case cases[] = {
      {"**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX0 Y10 Z0\n**END\n", 4},
      {"**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y10 Z0\nX0 Y10 Z0\nX0 Y0 Z0\n**END\n", 4},
      {"**BND 1\nX0 Y0 Z0\nX10 Y0 Z0\nX10 Y0 Z0\n**NEXT\nX10 Y10 Z0\nnote\nX0 Y10 Z0\n**END\n", 4},
      {"**BND 1 **WZ\r\nX0 Y0 Z0\r\nX10 Y0 Z0\r\nX10 Y10 Z0\r\nX0 Y10 Z0\r\nX0 Y0 Z0\r\n**END\r\n",
       4},
  };
  for (const Case& c : cases) {
    writeFile("b.bnd", c.text);
    Boundary* b = bndRead("b.bnd", 0, 0);
    ASSERT_NE(b, nullptr) << c.text;
    EXPECT_EQ(b->segCount, c.segs) << c.text;
    EXPECT_NEAR(area(b), 100.0, 1e-9);
    EXPECT_TRUE(closedChain(b));
    EXPECT_EQ(b->origin, 2);
    EXPECT_EQ(b->outer, 1);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_DOUBLE_EQ(b->xmax, 10.0);
    EXPECT_DOUBLE_EQ(b->ymax, 10.0);
    bndFree(b);
  }
}

// A point line missing a coordinate letter keeps the previous line's value for it.
TEST_F(BoundaryTest, MissingLetterKeepsPreviousValue) {
  writeFile("b.bnd", "**BND 1\nX0 Y0 Z2\nX10\nY10\nX0\n**END\n");
  Boundary* b = bndRead("b.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->segCount, 4);
  EXPECT_NEAR(area(b), 100.0, 1e-9);
  bndFree(b);
}

// zLow is the lowest mapped z divided by the unit factor; the header numbering and "**WZ" do not
// matter to this reader, but "**BND" glued to its number is no header.
TEST_F(BoundaryTest, LowestZAndHeaders) {
  unitFactor = 2.0;  // the run's length factor: 10 / tool radius
  writeFile("b.bnd", item({{0, 0, 3}, {10, 0, -2}, {10, 10, 5}}, "**BND 7 **WZ") +
                         item({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, "**BND2"));
  Boundary* b = bndRead("b.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_DOUBLE_EQ(b->zLow, -1.0);
  EXPECT_EQ(b->segCount, 3);
  EXPECT_EQ(listLength(b), 1);
  double lo = 0, hi = 0;
  bndLastZRange(&lo, &hi);
  EXPECT_DOUBLE_EQ(lo, -2.0);
  EXPECT_DOUBLE_EQ(hi, 5.0);
  bndFree(b);
}

// Points are mapped into the tool system: a tool system moved by (100, 0, 0) moves the contour.
TEST_F(BoundaryTest, PointsAreMappedIntoTheToolSystem) {
  csysSetTool({100, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  writeFile("b.bnd", item(square(100, 0, 10)));
  Boundary* b = bndRead("b.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_NEAR(b->xmin, 0.0, 1e-9);
  EXPECT_NEAR(b->xmax, 10.0, 1e-9);
  bndFree(b);
}

// Contours of fewer than two distinct points are dropped, the rest kept; a file without any
// contour, or one that does not exist, gives null.
TEST_F(BoundaryTest, UnusableContoursAreDropped) {
  writeFile("b.bnd",
            item({{5, 5, 0}, {5, 5, 0}}) + "**CLN\nX1 Y1 Z1\n**END\n" + item(square(0, 0, 4)));
  Boundary* b = bndRead("b.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(listLength(b), 1);
  EXPECT_NEAR(area(b), 16.0, 1e-9);
  EXPECT_EQ(b->curveCount, 0);  // the curve of the dropped contour is skipped
  bndFree(b);

  writeFile("empty.bnd", "**BND 1\n**END\n");
  EXPECT_EQ(bndRead("empty.bnd", 0, 0), nullptr);
  EXPECT_EQ(bndRead("missing.bnd", 0, 0), nullptr);
  EXPECT_EQ(bndRead("", 0, 0), nullptr);
  EXPECT_EQ(bndRead(nullptr, 0, 0), nullptr);
}

// An outer square with an island read with offset +1: the outer contour shrinks by 1 (inside
// corners are trimmed: an exact square), the island grows by 1 (its corners are joined, so its
// area lies between the rounded and the sharp offset). Offset -1 does the opposite.
TEST_F(BoundaryTest, OuterAndIslandOffsetByArea) {
  const double kPi = 3.14159265358979323846;
  writeFile("b.bnd", item(square(0, 0, 20)) + item(square(5, 5, 10, false), "**BND 2"));
  for (const double off : {1.0, -1.0}) {
    Boundary* b = bndRead("b.bnd", 0, off);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(listLength(b), 2);
    Boundary* outer = b;
    Boundary* island = b->next;
    EXPECT_EQ(outer->outer, 1);
    EXPECT_EQ(island->outer, 0);
    ASSERT_NE(outer->islands, nullptr);
    EXPECT_EQ(outer->islands->island, island);
    EXPECT_EQ(outer->islands->next, nullptr);
    const double grownLow = [&](double s) { return s * s + 4 * s + kPi; }(off > 0 ? 10 : 20);
    const double grownHigh = std::pow((off > 0 ? 10 : 20) + 2, 2);
    if (off > 0) {
      EXPECT_NEAR(area(outer), 18.0 * 18.0, 1e-9);
      EXPECT_GT(-area(island), grownLow);
      EXPECT_LE(-area(island), grownHigh + 1e-9);
      EXPECT_NEAR(outer->xmin, 1.0, 1e-9);
      EXPECT_NEAR(island->xmin, 4.0, 1e-9);
    } else {
      EXPECT_NEAR(-area(island), 8.0 * 8.0, 1e-9);
      EXPECT_GT(area(outer), grownLow);
      EXPECT_LE(area(outer), grownHigh + 1e-9);
      EXPECT_NEAR(outer->xmin, -1.0, 1e-9);
    }
    EXPECT_TRUE(closedChain(outer));
    EXPECT_TRUE(closedChain(island));
    EXPECT_DOUBLE_EQ(b->offset, off);
    bndFree(b);
  }
}

// An offset that cannot be made (the contour would vanish) falls back to the polyline offset of
// the five-axis code, which has none either: message 700, the contour is kept.
TEST_F(BoundaryTest, OffsetWithoutResultKeepsTheContour) {
  writeFile("b.bnd", item(square(0, 0, 10)));
  Boundary* b = bndRead("b.bnd", 0, 6.0);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(MessageCapture::sent(700));
  EXPECT_EQ(b->segCount, 4);
  EXPECT_NEAR(area(b), 100.0, 1e-9);
  EXPECT_EQ(bndOffset(b, -6.0), -1);
  EXPECT_NEAR(area(b), 100.0, 1e-9);
  bndFree(b);
  // A contour of no area has no orientation.
  Boundary* flat = bndNewRect(0, 10, 0, 0);
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(bndOffset(flat, 1.0), -1);
  bndFree(flat);
}

namespace {
// A polyline offset that hands the chain back unchanged, to see that the installed one is called.
int copyingTiltOffset(const Seg2D* segs, int count, double, Seg2D* out, int) {
  for (int i = 0; i < count; ++i) out[i] = segs[i];
  return count;
}
}  // namespace

// The polyline offset behind bndOffset belongs to the five-axis subsystem, which installs it: with
// none installed the fallback fails and the contour is kept; an installed one is called.
TEST_F(BoundaryTest, PolylineOffsetFallbackIsTheInstalledHook) {
  Boundary* b = bndNewRect(0, 10, 0, 10);
  ASSERT_NE(b, nullptr);
  bndSetTiltOffset(nullptr);
  EXPECT_EQ(bndOffset(b, -6.0), -1) << "not installed: the offset fails";
  EXPECT_NEAR(area(b), 100.0, 1e-9);
  bndSetTiltOffset(copyingTiltOffset);
  EXPECT_EQ(bndOffset(b, -6.0), 1);
  EXPECT_EQ(b->segCount, 4);
  fiveaxisInstallHooks();  // the library's own, a stand-in without result
  EXPECT_EQ(bndOffset(b, -6.0), -1);
  bndFree(b);
}

// bndOffset grows the box by d outward; a rectangle is counter-clockwise with origin 1.
TEST_F(BoundaryTest, RectangleAndOutwardOffset) {
  Boundary* b = bndNewRect(0, 10, 0, 5);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->segCount, 4);
  EXPECT_EQ(b->origin, 1);
  EXPECT_NEAR(area(b), 50.0, 1e-12);
  EXPECT_NE(bndPointInside(b, {5, 2.5}), 0);
  EXPECT_EQ(bndPointInside(b, {11, 2.5}), 0);
  EXPECT_EQ(bndPointInside(nullptr, {11, 2.5}), 1);
  ASSERT_EQ(bndOffset(b, 2.0), 1);
  EXPECT_DOUBLE_EQ(b->xmin, -2.0);
  EXPECT_DOUBLE_EQ(b->ymax, 7.0);
  EXPECT_GT(area(b), 10 * 5 + 2 * 2 * 15 + 4 * 3.14);
  EXPECT_TRUE(closedChain(b));
  bndFree(b);
}

// A curve holds at most 1999 points: 2000 make the reader send message 706 and give null.
TEST_F(BoundaryTest, CurvePointLimit) {
  for (const int n : {1999, 2000}) {
    std::string text = item(square(0, 0, 10)) + "**CLN 1\n";
    for (int i = 0; i < n; ++i) text += "X" + std::to_string(i) + " Y1 Z2\n";
    text += "**END\n";
    writeFile("c.bnd", text);
    qdtest::capturedMessages().clear();
    Boundary* b = bndRead("c.bnd", 0, 0);
    if (n == 1999) {
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->curveCount, 1999);
      EXPECT_DOUBLE_EQ(b->curve[1998].x, 1998.0);
      EXPECT_DOUBLE_EQ(b->curve[1998].z, 2.0);
      EXPECT_FALSE(MessageCapture::sent(706));
    } else {
      EXPECT_EQ(b, nullptr);
      ASSERT_EQ(qdtest::capturedMessages().size(), 1u);
      EXPECT_EQ(qdtest::capturedMessages()[0], "706,1");
    }
    bndFree(b);
  }
}

// The curve is kept as read (not mapped), missing letters keep their values, and a curve before
// the first boundary is skipped.
TEST_F(BoundaryTest, CurveAsRead) {
  csysSetTool({100, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  writeFile("c.bnd",
            "**CLN\nX9 Y9 Z9\n**END\n" + item(square(0, 0, 10)) + "**CLN\nX1 Y2 Z3\nX4\n**END\n");
  Boundary* b = bndRead("c.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->curveCount, 2);
  EXPECT_DOUBLE_EQ(b->curve[0].x, 1.0);
  EXPECT_DOUBLE_EQ(b->curve[1].x, 4.0);
  EXPECT_DOUBLE_EQ(b->curve[1].y, 2.0);
  EXPECT_DOUBLE_EQ(b->curve[1].z, 3.0);
  bndFree(b);
}

// More than 2000 boundaries: those after the counted ones are sized from the remaining lines.
TEST_F(BoundaryTest, MoreItemsThanTheCountTable) {
  std::string text;
  for (int i = 0; i < 2003; ++i) text += item(square(3.0 * i, 0, 1));
  writeFile("many.bnd", text);
  Boundary* b = bndRead("many.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(listLength(b), 2003);
  const Boundary* last = b;
  while (last->next != nullptr) last = last->next;
  EXPECT_NEAR(area(last), 1.0, 1e-9);
  bndFree(b);
}

// A FIFO named as boundary source blocked the open for ever. A source that is no regular file
// reads as a missing one (no boundary), with warning 1100 naming it.
TEST_F(BoundaryTest, SourceThatIsNoRegularFileIsSkipped) {
  ASSERT_EQ(mkfifo("fifo.bnd", 0644), 0);
  ASSERT_EQ(mkdir("folder.bnd", 0755), 0);
  for (const char* path : {"fifo.bnd", "folder.bnd", "missing.bnd"}) {
    qdtest::capturedMessages().clear();
    EXPECT_EQ(bndRead(path, 0, 0), nullptr) << path;  // a hang here is the fault
    const bool warned =
        std::find(qdtest::capturedMessages().begin(), qdtest::capturedMessages().end(),
                  std::string("1100,") + path + ": not a regular file, skipped") !=
        qdtest::capturedMessages().end();
    EXPECT_EQ(warned, std::string(path) != "missing.bnd") << path;
  }
  struct stat st {};
  ASSERT_EQ(stat("fifo.bnd", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(BoundaryTest, ParamInsideAndListParamInside) {
  Boundary* b = bndNewRect(0, 1, 0, 1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(bndParamInside(b, 0.5), 0);  // no intervals
  b->intervals = static_cast<BndInterval*>(memAllocZero(2 * sizeof(BndInterval)));
  b->intervals[0] = {0, 1};
  b->intervals[1] = {2, 3};
  b->intervalCount = 2;
  const struct {
    double x;
    int inside;
  } cases[] = {{1.000005, 1}, {1.5, 0}, {-0.00002, 0}, {2.5, 1}, {3.00001, 1}, {3.0001, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(bndParamInside(b, c.x), c.inside) << c.x;
    EXPECT_EQ(bndListParamInside(b, c.x), c.inside) << c.x;
  }
  EXPECT_EQ(bndParamInside(nullptr, 99), 1);
  EXPECT_EQ(bndListParamInside(nullptr, 99), 1);
  b->outer = 0;  // islands do not count
  EXPECT_EQ(bndListParamInside(b, 1.5), 1);
  bndFree(b);
}

TEST_F(BoundaryTest, SubtractIslandIntervals) {
  struct Case {
    std::vector<BndInterval> a, b, want;
  };
  const Case cases[] = {
      {{{0, 10}}, {{2, 3}, {5, 6}}, {{0, 2}, {3, 5}, {6, 10}}},
      {{{0, 10}}, {{-1, 11}}, {}},
      {{{0, 10}}, {{-1, 2}, {8, 12}}, {{2, 8}}},
      {{{0, 4}, {6, 10}}, {{3, 7}}, {{0, 3}, {7, 10}}},
      {{{0, 10}}, {{-5, -1}, {11, 12}}, {{0, 10}}},
      {{{0, 10}}, {}, {{0, 10}}},
  };
  for (const Case& c : cases) {
    BndInterval* out = nullptr;
    const int n = bndSubtractIntervals(c.a.data(), static_cast<int>(c.a.size()), c.b.data(),
                                       static_cast<int>(c.b.size()), &out);
    ASSERT_EQ(n, static_cast<int>(c.want.size()));
    for (int i = 0; i < n; ++i) {
      EXPECT_DOUBLE_EQ(out[i].low, c.want[i].low);
      EXPECT_DOUBLE_EQ(out[i].high, c.want[i].high);
    }
    memFree(out);
  }
}

// A straight guide across a square with a square island: the intervals are the analytic entry
// and exit parameters, less the island's. The contact point may reach the boundary while the tool
// centre on the guide lies beyond it: a contact offset grows the outer contour and shrinks the
// island first.
TEST_F(BoundaryTest, GuideIntervalsAcrossSquareWithIsland) {
  writeFile("b.bnd", item(square(0, 0, 10)) + item(square(4, 4, 2, false), "**BND 2"));
  // The guide runs from (-5, 5) to (15, 5) at an angle: its parameter at x is (x + 5) / cos a.
  const double slope = 0.1;
  const double len = std::hypot(1.0, slope);
  const Point2D pts[2] = {{-5, 5 - 10 * slope}, {15, 5 + 10 * slope}};
  GuideCurve* g = guideNew(pts, 2, 'p');
  ASSERT_NE(g, nullptr);
  const auto param = [&](double x) { return (x + 5) * len; };
  for (const double contact : {0.0, 0.5}) {
    Boundary* b = bndRead("b.bnd", contact, 0);
    ASSERT_NE(b, nullptr);
    Boundary* island = b->next;
    ASSERT_NE(island, nullptr);
    ASSERT_EQ(bndUpdateIntervals(island, g), 1);
    EXPECT_NEAR(island->intervals[0].low, param(4 + contact), 1e-9);
    EXPECT_NEAR(island->intervals[0].high, param(6 - contact), 1e-9);
    ASSERT_EQ(bndUpdateIntervals(b, g), 2);
    EXPECT_NEAR(b->intervals[0].low, param(0 - contact), 1e-9);
    EXPECT_NEAR(b->intervals[0].high, param(4 + contact), 1e-9);
    EXPECT_NEAR(b->intervals[1].low, param(6 - contact), 1e-9);
    EXPECT_NEAR(b->intervals[1].high, param(10 + contact), 1e-9);
    EXPECT_EQ(bndListParamInside(b, param(5)), 0);
    EXPECT_EQ(bndListParamInside(b, param(2)), 1);
    bndFree(b);
  }
  guideFree(g);
}

// A guide wholly inside gives its whole range; one along the contour (the same points, or a
// two-point guide on a segment, also backward on the segment before the first, i.e. the last)
// gives the whole range as well; one wholly outside gives none.
TEST_F(BoundaryTest, GuideIntervalsWithoutCrossings) {
  Boundary* b = bndNewRect(0, 10, 0, 10);
  ASSERT_NE(b, nullptr);
  const struct {
    std::vector<Point2D> pts;
    int count;
  } cases[] = {
      {{{2, 2}, {8, 3}, {5, 7}}, 1},
      {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 1},
      {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, 1},
      {{{0, 0}, {0, 10}}, 1},
      {{{10, 0}, {0, 0}}, 1},
      {{{20, 0}, {30, 0}}, 0},
  };
  for (const auto& c : cases) {
    GuideCurve* g = guideNew(c.pts.data(), static_cast<int>(c.pts.size()), 'p');
    ASSERT_NE(g, nullptr);
    BndInterval* out = nullptr;
    ASSERT_EQ(bndGuideIntervals(b, g, &out), c.count) << c.pts[1].x << "," << c.pts[1].y;
    if (c.count == 1) {
      EXPECT_DOUBLE_EQ(out[0].low, g->start);
      EXPECT_DOUBLE_EQ(out[0].high, g->end);
    }
    memFree(out);
    guideFree(g);
  }
  BndInterval* out = nullptr;
  EXPECT_EQ(bndGuideIntervals(nullptr, nullptr, &out), 0);
  EXPECT_EQ(bndUpdateIntervals(nullptr, nullptr), 0);
  bndFree(b);
}

// Every allocation of the reader may fail in turn: a failed one gives null (a failed offset keeps
// its contour and the list) and nothing leaks.
TEST_F(BoundaryTest, AllocationFailuresLeakNothing) {
  writeFile("b.bnd", item(square(0, 0, 20)) + "**CLN\nX1 Y1 Z1\n**END\n" +
                         item(square(5, 5, 10, false), "**BND 2"));
  int failures = 0;
  for (long n = 1; n < 200; ++n) {
    memTestFailAt(n);
    Boundary* b = bndRead("b.bnd", 0, 1.0);
    memTestFailAt(0);
    if (b == nullptr) {
      ++failures;
      continue;
    }
    bndFree(b);
    if (n > 40) break;
  }
  EXPECT_GT(failures, 3);
}

TEST_F(BoundaryTest, ApproachCheckAndResetState) {
  EXPECT_EQ(bndApproachCheck(), nullptr);
  const ApproachCheckHook hook = [](const Point3D*, const Point3D*, const void*,
                                    const SurfaceModel*, const void*) { return 1; };
  bndSetApproachCheck(hook);
  EXPECT_EQ(bndApproachCheck(), hook);
  EXPECT_EQ(bndResetState(), 0);
  csysSetTool({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
  ASSERT_EQ(csysPrepare(), 1);
  EXPECT_EQ(bndResetState(), 1);
}

// A sliver triangle offset inward came back from the segment offset as an open piece of two
// segments and was kept as the boundary. The triangle holds a disk of radius 1.26, so its inward
// offset by 0.5 exists: the boundary is the triangle shrunk about its incentre, closed, and no
// message 700 (boundary cannot be shrunk) is sent.
TEST_F(BoundaryTest, SliverOffsetStaysClosed) {
  writeFile("b.bnd", "**BND 2\nX100 Z1\nX600 Z1\nX6 Y3 Z1\n**END\n");
  Boundary* b = bndRead("b.bnd", 0, 0.5);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(closedChain(b));
  EXPECT_EQ(b->segCount, 3);
  EXPECT_FALSE(MessageCapture::sent(700));
  const double a = 750.0;  // of the triangle (100, 0), (600, 0), (6, 3)
  const double perimeter = 500.0 + std::hypot(594.0, 3.0) + std::hypot(94.0, 3.0);
  const double r = 2.0 * a / perimeter;  // the inradius
  EXPECT_NEAR(std::fabs(area(b)), a * (r - 0.5) * (r - 0.5) / (r * r), 1e-6);
  bndFree(b);
}

// Lines whose coordinates are not finite or lie far beyond any machine's travel give no point.
TEST_F(BoundaryTest, UnusableCoordinatesArePassedOver) {
  writeFile("b.bnd",
            "**BND 1\nX0 Y0 Z0\nX inf Y0 Z0\nX10 Y0 Z0\nX10 Y1e30 Z0\nX10 Y10 Z0\nX nan\nX0 Y10 "
            "Z0\n**END\n");
  Boundary* b = bndRead("b.bnd", 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->segCount, 4);
  EXPECT_NEAR(area(b), 100.0, 1e-9);
  bndFree(b);
}
