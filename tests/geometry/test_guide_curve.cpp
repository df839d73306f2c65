// Tests of guide curves: evaluation, tangents and reversal against hand-computed points, step
// boxes by count and cover, profile files read back through the reader (multi-item files through
// a temporary file that does not survive), and the offset fit into a boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "msg_capture.h"
#include "support/temp_dir.h"

using qdtest::MessageCapture;
using qdtest::writeFile;

namespace {

class GuideCurveTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    csysResetState();
    geoResetState();
    bndClearState();
  }
  void TearDown() override { memTestFailAt(0); }
  MessageCapture messages_;
};

GuideCurve* line(double x0, double y0, double x1, double y1) {
  static Point2D pts[2];
  pts[0] = {x0, y0};
  pts[1] = {x1, y1};
  return guideNew(pts, 2, 'p');
}

int filesIn(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++n;
  }
  return n;
}

}  // namespace

TEST_F(GuideCurveTest, EvalAndTangentOnAStraightCurve) {
  GuideCurve* c = line(0, 0, 10, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_DOUBLE_EQ(c->end, 10.0);
  Point2D p;
  EXPECT_EQ(guideEvalAt(c, 2.5, &p, nullptr), 0);
  EXPECT_DOUBLE_EQ(p.x, 2.5);
  EXPECT_EQ(guideEvalAt(c, 10, &p, nullptr), 0);
  EXPECT_DOUBLE_EQ(p.x, 10.0);
  EXPECT_EQ(guideEvalAt(c, 10.00002, &p, nullptr), -1);
  EXPECT_EQ(guideEvalAt(c, -0.00002, &p, nullptr), -1);
  Point2D t;
  EXPECT_EQ(guideTangentAt(c, 10, &t), 1);
  EXPECT_DOUBLE_EQ(t.x, 1.0);
  EXPECT_DOUBLE_EQ(t.y, 0.0);
  EXPECT_EQ(guideTangentAt(c, 50, &t), 1);  // clamped to the end
  guideReverse(c);
  EXPECT_DOUBLE_EQ(c->params[0], 0.0);
  EXPECT_DOUBLE_EQ(c->params[1], 10.0);
  EXPECT_DOUBLE_EQ(c->points[0].x, 10.0);
  EXPECT_EQ(guideTangentAt(c, 0, &t), 1);
  EXPECT_DOUBLE_EQ(t.x, -1.0);
  guideFree(c);
}

// At a vertex the tangent is that of the following segment, past repeated points; heights are
// interpolated and the 3D length counts them.
TEST_F(GuideCurveTest, VerticesRepeatedPointsAndHeights) {
  const Point3D pts[4] = {{0, 0, 0}, {3, 0, 4}, {3, 0, 4}, {3, 4, 4}};
  const GuideMove move{2, 4, pts};
  GuideCurve* c = guideFromMove(&move);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->ownsPoints, 1);
  EXPECT_DOUBLE_EQ(guideLength(c), 5.0 + 4.0);
  Point2D p, t;
  double z = -1;
  EXPECT_EQ(guideEvalAt(c, 1.5, &p, &z), 0);
  EXPECT_DOUBLE_EQ(z, 2.0);
  ASSERT_EQ(guideTangentAt(c, 3.0, &t), 1);
  EXPECT_DOUBLE_EQ(t.x, 0.0);
  EXPECT_DOUBLE_EQ(t.y, 1.0);
  ASSERT_EQ(guideTangentAt(c, 1.0, &t), 1);
  EXPECT_DOUBLE_EQ(t.x, 1.0);
  guideFree(c);
  // Direction 1 takes the points from last to first; any other direction is refused.
  const GuideMove back{1, 4, pts};
  c = guideFromMove(&back);
  ASSERT_NE(c, nullptr);
  EXPECT_DOUBLE_EQ(c->points[0].y, 4.0);
  EXPECT_DOUBLE_EQ(c->z[3], 0.0);
  guideFree(c);
  for (const int dir : {0, 3, -1}) {
    const GuideMove bad{dir, 4, pts};
    EXPECT_EQ(guideFromMove(&bad), nullptr);
    EXPECT_EQ(geoErrCode(), -20);
  }
  c = guideFromTwoPoints({1, 1, 5}, {1, 1, 7});
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(guideEvalAt(c, 0, &p, &z), 1);  // a range of no length: the last point
  EXPECT_DOUBLE_EQ(z, 7.0);
  EXPECT_EQ(guideTangentAt(c, 0, &t), -1);
  guideFree(c);
}

TEST_F(GuideCurveTest, SameAsBoundary) {
  Boundary* b = bndNewRect(0, 10, 0, 10);
  const struct {
    std::vector<Point2D> pts;
    int same;
  } cases[] = {
      {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1},
      {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 1},
      {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, -1},
      {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}, 0},  // backward needs the closing point
      {{{0, 0}, {10, 0}, {10, 10}}, 0},
      {{{0, 0}, {10, 0}, {10, 11}, {0, 10}}, 0},
  };
  for (const auto& c : cases) {
    GuideCurve* g = guideNew(c.pts.data(), static_cast<int>(c.pts.size()), 'p');
    EXPECT_EQ(guideSameAsBoundary(g, b), c.same);
    guideFree(g);
  }
  bndFree(b);
}

// Step boxes: a straight curve of length 10 with step 3 gives 4 boxes, the last ending at 10;
// every box covers its stretch grown by the margin; a boundary's intervals narrow the range.
TEST_F(GuideCurveTest, StepBoxes) {
  const Point2D pts[3] = {{0, 0}, {5, 0}, {5, 5}};
  GuideCurve* c = guideNew(pts, 3, 'p');
  StepBoxes* boxes = guideStepBoxes(c, 1.0, nullptr, 3.0);
  ASSERT_NE(boxes, nullptr);
  ASSERT_EQ(boxes->count, 4);
  EXPECT_DOUBLE_EQ(boxes->boxes[0].xmin, -1.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[0].xmax, 4.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[1].xmax, 6.0);  // the corner (5, 0) lies inside stretch 3..6
  EXPECT_DOUBLE_EQ(boxes->boxes[1].ymax, 2.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[3].ymax, 6.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[3].ymin, 3.0);
  guideFreeStepBoxes(boxes);
  Boundary* b = bndNewRect(0, 1, 0, 1);
  b->intervals = static_cast<BndInterval*>(memAllocZero(sizeof(BndInterval)));
  b->intervals[0] = {6, 6};
  b->intervalCount = 1;
  boxes = guideStepBoxes(c, 0, b, 2.0);  // a range of no length: one box about its place
  ASSERT_NE(boxes, nullptr);
  EXPECT_EQ(boxes->count, 1);
  EXPECT_DOUBLE_EQ(boxes->boxes[0].ymin, 0.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[0].ymax, 1.0);
  guideFreeStepBoxes(boxes);
  boxes = guideStepBoxes(c, -2.0, nullptr, 0.0);  // step 0 counts as 1, a negative margin as 0
  ASSERT_NE(boxes, nullptr);
  EXPECT_EQ(boxes->count, 10);
  EXPECT_DOUBLE_EQ(boxes->boxes[9].ymax, 5.0);
  EXPECT_DOUBLE_EQ(boxes->boxes[9].xmin, 5.0);
  guideFreeStepBoxes(boxes);
  bndFree(b);
  guideFree(c);
}

// The path's points are lowered to the curve's height, never raised.
TEST_F(GuideCurveTest, CapPathZ) {
  GuideCurve* c = guideFromTwoPoints({0, 0, 0}, {10, 0, 10});
  PathList* l = pathListNew(10, 0);
  for (int i = 0; i <= 10; i += 2) pathListInsert(l, i, Point3D{double(i), 0, 5}, 1, nullptr, 0);
  EXPECT_EQ(guideCapPathZ(l, c), 6);
  for (int i = 0; i < l->count; ++i)
    EXPECT_DOUBLE_EQ(l->positions[i].z, std::min(5.0, l->params[i]));
  pathListFree(l);
  guideFree(c);
}

// A single-item file keeps its name; two items give two curves named "tmp.prf", and the temporary
// file is gone afterwards. Points are mapped into the tool system, repeated points collapse and
// the reverse flag reverses.
TEST_F(GuideCurveTest, ReadProfiles) {
  writeFile("one.prf", "* profile\nX0 Y0 Z1\nX0 Y0 Z1\nX10 Y0 Z2\n**END\n");
  GuideCurve* c = guideReadProfiles("one.prf", nullptr, 0.01, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "one.prf");
  EXPECT_EQ(c->count, 2);
  EXPECT_EQ(c->next, nullptr);
  ASSERT_NE(c->z, nullptr);
  EXPECT_DOUBLE_EQ(c->z[1], 2.0);
  guideFree(c);

  csysSetTool({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  ASSERT_EQ(csysMulScale(2.0), 1);
  writeFile("two.prf",
            "**PRF 1\nX0 Y0 Z0\nX10 Y0 Z0\n**END\n**PRF 2\nX0 Y5 Z0\nX0 Y15 Z3\n**END\n");
  const int before = filesIn(".");
  c = guideReadProfiles("two.prf", nullptr, 0.01, 1, 1);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->next, nullptr);
  EXPECT_EQ(c->next->next, nullptr);
  EXPECT_STREQ(c->name, "tmp.prf");
  EXPECT_STREQ(c->next->name, "tmp.prf");
  EXPECT_DOUBLE_EQ(c->points[0].x, 20.0);  // scaled by 2 and reversed
  EXPECT_DOUBLE_EQ(c->end, 20.0);
  EXPECT_DOUBLE_EQ(c->next->points[0].y, 30.0);
  EXPECT_DOUBLE_EQ(c->next->z[0], 6.0);
  EXPECT_EQ(c->reverseFlag, 1);
  EXPECT_EQ(filesIn("."), before);
  EXPECT_FALSE(qdtest::fileExists("tmp.prf"));
  guideFree(c);

  EXPECT_EQ(guideReadProfiles("missing.prf", nullptr, 0.01, 0, 0), nullptr);
  writeFile("empty.prf", "**END\n");
  EXPECT_EQ(guideReadProfiles("empty.prf", nullptr, 0.01, 0, 0), nullptr);
}

// Fit of a straight profile into a square: its lateral shifts that still meet the square, found
// to the tolerance; a profile equal to the contour gives 0 .. half the larger side.
TEST_F(GuideCurveTest, FitIntoBoundary) {
  Boundary* b = bndNewRect(0, 10, 0, 6);
  GuideCurve* c = line(2, 1, 8, 1);  // y = 1: shifts left (+) up to 5, right (-) down to -1
  double lo = 0, hi = 0;
  ASSERT_EQ(guideFitIntoBoundary(c, b, 0.001, &lo, &hi), 0);
  EXPECT_NEAR(lo, -1.0, 0.002);
  EXPECT_NEAR(hi, 5.0, 0.002);
  EXPECT_EQ(guideFitIntoBoundary(c, b, 0.0, &lo, &hi), 0);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 0.0);
  guideFree(c);
  // A profile outside the square that a shift by the distance to the centre brings in.
  c = line(2, 9, 8, 9);
  ASSERT_EQ(guideFitIntoBoundary(c, b, 0.001, &lo, &hi), 0);
  EXPECT_NEAR(lo, -9.0, 0.002);
  EXPECT_NEAR(hi, -3.0, 0.002);
  guideFree(c);

  const struct {
    std::vector<Point2D> pts;
    double high;
    int flag;
  } cases[] = {
      {{{0, 0}, {10, 0}, {10, 6}, {0, 6}, {0, 0}}, 5.0, 0},
      {{{0, 0}, {0, 6}, {10, 6}, {10, 0}, {0, 0}}, -5.0, 1},
  };
  for (const auto& k : cases) {
    GuideCurve* g = guideNew(k.pts.data(), static_cast<int>(k.pts.size()), 'p');
    ASSERT_EQ(guideFitIntoBoundary(g, b, 0.001, &lo, &hi), 0);
    EXPECT_EQ(lo, 0.0);
    EXPECT_DOUBLE_EQ(hi, k.high);
    EXPECT_EQ(g->orientFlag, k.flag);
    guideFree(g);
  }
  bndFree(b);
}

// A profile file read into a boundary that it cannot meet: message 601, the profile is dropped.
TEST_F(GuideCurveTest, ProfileThatCannotBeFittedIsDropped) {
  Boundary* b = bndNewRect(0, 1, 0, 1);
  writeFile("far.prf",
            "**PRF\nX100 Y100 Z0\nX300 Y100 Z0\n**END\n**PRF\nX0.2 Y0.5 Z0\nX0.8 Y0.5 Z0\n**END\n");
  GuideCurve* c = guideReadProfiles("far.prf", b, 0.001, 0, 0);
  EXPECT_TRUE(MessageCapture::sent(601));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->next, nullptr);
  EXPECT_DOUBLE_EQ(c->points[0].x, 0.2);
  EXPECT_NEAR(c->offLow, -0.5, 0.002);
  EXPECT_NEAR(c->offHigh, 0.5, 0.002);
  guideFree(c);
  bndFree(b);
}

TEST_F(GuideCurveTest, AllocationFailuresLeakNothing) {
  writeFile("two.prf",
            "**PRF 1\nX0 Y0 Z0\nX10 Y0 Z0\n**END\n**PRF 2\nX0 Y5 Z0\nX0 Y15 Z3\n**END\n");
  Boundary* b = bndNewRect(-1, 11, -1, 20);
  for (long n = 1; n < 40; ++n) {
    memTestFailAt(n);
    GuideCurve* c = guideReadProfiles("two.prf", b, 0.01, 0, 0);
    memTestFailAt(0);
    guideFree(c);
  }
  bndFree(b);
}
