// Spline NC blocks: the "#D_SPLINE" block of a straight run and of several segments, the "POLY"
// block, and a segment of another degree that stops either block.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/messages.h"
#include "geometry/spline_capture.h"
#include "output/spline_nc.h"

using namespace qdtest;

namespace {
const SplineSegment& seg(const CubicSpline* s, int i) { return s->segments[i]; }
}  // namespace

TEST_F(SplineOut, DSplineBlockOfAStraightRun) {
  const Point3D p[] = {{0, 0, 0}, {10, 0, 0}};
  SplinePtr s(splFitPoints(p, 2, kSplChordLength));
  SplineArcMap* map = splBuildArcMap(s.get());
  ASSERT_EQ(splWriteDSpline(s.get(), map, 1200), 1);
  ASSERT_EQ(nc().size(), 15u);
  const std::vector<std::string> head(nc().begin(), nc().begin() + 9);
  EXPECT_EQ(head, (std::vector<std::string>{"#D_SPLINE[0,1]", "(------ DATA -----)", "0", "t0.0000",
                                            "0.0000 0.0000 15.0000 -5.0000",
                                            "0.0000 0.0000 0.0000 0.0000",
                                            "0.0000 0.0000 0.0000 0.0000", "t1.0000", "10.0000"}));
  EXPECT_EQ(nc()[9].substr(0, 7), "0.0000 ") << "t(s) has no constant term";
  const std::vector<std::string> tail(nc().begin() + 10, nc().end());
  EXPECT_EQ(tail, (std::vector<std::string>{"F1200.0000", "1", "0.0000 0.0000 0.0000 0.0000",
                                            "0.0000 0.0000 0.0000 0.0000",
                                            "1.0000 0.0000 0.0000 0.0000"}));
  splArcMapFree(map);
}

TEST_F(SplineOut, ThreeSegmentsWriteThreeHeadersBeforeTheData) {
  SplinePtr s(splFitPoints(kWavy.data(), 4, kSplChordLength));
  SplineArcMap* map = splBuildArcMap(s.get());
  ASSERT_EQ(splWriteDSpline(s.get(), map, 1000), 3);
  EXPECT_EQ(std::vector<std::string>(nc().begin(), nc().begin() + 4),
            (std::vector<std::string>{"#D_SPLINE[0,1]", "#D_SPLINE[2,3]", "#D_SPLINE[4,5]",
                                      "(------ DATA -----)"}));
  EXPECT_EQ(nc().size(), 4u + 3 * 13);
  splArcMapFree(map);
}

TEST_F(SplineOut, PolyBlockOfAStraightRun) {
  const Point3D p[] = {{0, 0, 0}, {10, 0, 0}, {10, -20, 0}};
  SplinePtr s(splFitPoints(p, 3, kSplChordLength));
  ASSERT_EQ(splWritePoly(s.get(), 1000), 2);
  ASSERT_EQ(nc().size(), 3u);
  EXPECT_EQ(nc()[0], "G1 X0.000 Y0.000 Z0.000");
  const SplineSegment& g = seg(s.get(), 0);
  char x[100];
  std::snprintf(
      x, sizeof x,
      "POLY PO[X]=(%7.4f,%7.4f,%7.4f)PO[Y]=(%7.4f,%7.4f,%7.4f)PO[Z]=( 0.0000, 0.0000, 0.0000)",
      10.0, g.cx[2], g.cx[3], 0.0, g.cy[2], g.cy[3]);
  EXPECT_EQ(nc()[1], x);
  EXPECT_EQ(nc()[2].substr(0, 15), "PO[X]=(10.0000,") << "the end of the second segment";
}

TEST_F(SplineOut, SegmentOfAnotherDegreeStopsTheBlock) {
  out3dSetMsgLevel(nullptr, 9);
  SplinePtr s(splFitPoints(kWavy.data(), 4, kSplChordLength));
  s->segments[1].degree = 3;
  SplineArcMap* map = splBuildArcMap(s.get());
  EXPECT_EQ(splWriteDSpline(s.get(), map, 1000), 1);
  EXPECT_EQ(nc().back(), "9999,Spline ist nicht kubisch : 3");
  nc().clear();
  EXPECT_EQ(splWritePoly(s.get(), 1000), 1);
  EXPECT_EQ(nc().size(), 3u);
  splArcMapFree(map);
  msgResetState();
}
