// Cubic splines: interpolation with continuous first and second derivatives (open and closed),
// the end conditions, knot evaluation, the 16-bit segment limit, memory failures, the arc-length
// map and the sums of the cubic window fit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "geometry/geo_error.h"
#include "geometry/spline.h"
#include "geometry/spline_capture.h"

using namespace qdtest;

namespace {
const SplineSegment& seg(const CubicSpline* s, int i) { return s->segments[i]; }
Point3D at(const SplineSegment& g, double t) {
  auto h = [t](const double* c) { return ((c[3] * t + c[2]) * t + c[1]) * t + c[0]; };
  return {h(g.cx), h(g.cy), h(g.cz)};
}
// First and second derivative with respect to the global parameter, at local t of segment i.
Point3D d1(const CubicSpline* s, int i, double t) {
  const double h = s->knots[i + 1] - s->knots[i];
  auto f = [t, h](const double* c) { return ((3 * c[3] * t + 2 * c[2]) * t + c[1]) / h; };
  return {f(s->segments[i].cx), f(s->segments[i].cy), f(s->segments[i].cz)};
}
Point3D d2(const CubicSpline* s, int i, double t) {
  const double h = s->knots[i + 1] - s->knots[i];
  auto f = [t, h](const double* c) { return (6 * c[3] * t + 2 * c[2]) / (h * h); };
  return {f(s->segments[i].cx), f(s->segments[i].cy), f(s->segments[i].cz)};
}
double dist(const Point3D& a, const Point3D& b) { return vecDistance(a, b); }

}  // namespace

TEST(Spline, TwoPointsGiveTheChordWithTangentZeroThenOneAndAHalfSlopes) {
  const Point3D p[] = {{1, 2, 3}, {7, 10, 3}};
  SplinePtr s(splFitPoints(p, 2, kSplChordLength));
  ASSERT_TRUE(s);
  ASSERT_EQ(s->count, 1);
  EXPECT_DOUBLE_EQ(s->knots[1], 10);
  Point3D q, dq;
  ASSERT_EQ(splEvalAt(s.get(), 0, &q, &dq), 1);
  EXPECT_NEAR(dist(dq, {0, 0, 0}), 0, 1e-12);
  ASSERT_EQ(splEvalAt(s.get(), 10, &q, &dq), 1);
  EXPECT_NEAR(dist(q, p[1]), 0, 1e-12);
  EXPECT_NEAR(dist(dq, {9, 12, 0}), 0, 1e-12) << "1.5 times the chord";
  ASSERT_EQ(splEvalAt(s.get(), 4, &q, nullptr), 1);
  const Point3D chord{6, 8, 0};
  const Point3D rel{q.x - 1, q.y - 2, q.z - 3};
  EXPECT_NEAR(rel.x * chord.y - rel.y * chord.x, 0, 1e-12) << "on the chord";
}

// Every parameterisation interpolates the points with continuous first and second derivatives
// at the interior knots; the open ends follow their end rows.
TEST(Spline, OpenSplineInterpolatesWithContinuousSecondDerivative) {
  for (int kind : {kSplUniform, kSplChordLength, kSplCentripetal}) {
    SplinePtr s(splFitPoints(kWavy.data(), static_cast<int>(kWavy.size()), kind));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->count, 6);
    for (int i = 0; i < s->count; ++i) {
      EXPECT_NEAR(dist(at(seg(s.get(), i), 0), kWavy[i]), 0, 1e-12) << kind << " " << i;
      EXPECT_NEAR(dist(at(seg(s.get(), i), 1), kWavy[i + 1]), 0, 1e-12) << kind << " " << i;
      if (i > 0) {
        EXPECT_NEAR(dist(d1(s.get(), i - 1, 1), d1(s.get(), i, 0)), 0, 1e-9) << kind << " " << i;
        EXPECT_NEAR(dist(d2(s.get(), i - 1, 1), d2(s.get(), i, 0)), 0, 1e-9) << kind << " " << i;
      }
    }
    // End rows: 2 m0 + m1 = 1.5 delta0 and m(n-2) + 2 m(n-1) = 3 delta(n-2).
    const double h0 = s->knots[1];
    const Point3D m0 = d1(s.get(), 0, 0), m1 = d1(s.get(), 0, 1);
    EXPECT_NEAR(2 * m0.x + m1.x, 1.5 * (kWavy[1].x - kWavy[0].x) / h0, 1e-9) << kind;
    const int last = s->count - 1;
    const double hl = s->knots[last + 1] - s->knots[last];
    const Point3D ma = d1(s.get(), last, 0), mb = d1(s.get(), last, 1);
    EXPECT_NEAR(ma.y + 2 * mb.y, 3 * (kWavy[last + 1].y - kWavy[last].y) / hl, 1e-9) << kind;
  }
}

TEST(Spline, ClosedPolygonHasEqualEndTangentsAndIsSmoothAtTheClosure) {
  const std::vector<Point3D> loop = {{0, 0, 0}, {10, 0, 1}, {12, 7, 2},
                                     {4, 9, 1}, {-2, 5, 0}, {0, 0, 0}};
  SplinePtr s(splFitPoints(loop.data(), static_cast<int>(loop.size()), kSplChordLength));
  ASSERT_TRUE(s);
  const int last = s->count - 1;
  EXPECT_NEAR(dist(d1(s.get(), 0, 0), d1(s.get(), last, 1)), 0, 1e-9);
  EXPECT_NEAR(dist(d2(s.get(), 0, 0), d2(s.get(), last, 1)), 0, 1e-9);
  for (int i = 1; i <= last; ++i) {
    EXPECT_NEAR(dist(d2(s.get(), i - 1, 1), d2(s.get(), i, 0)), 0, 1e-9) << i;
  }
  // Three distinct points closing onto the first: the smallest cyclic system.
  const Point3D tri[] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 0}};
  SplinePtr t(splFitPoints(tri, 4, kSplUniform));
  ASSERT_TRUE(t);
  EXPECT_NEAR(dist(d1(t.get(), 0, 0), d1(t.get(), 2, 1)), 0, 1e-9);
}

TEST(Spline, DuplicatePointsAreDroppedAndTooFewPointsGiveNoSpline) {
  const Point3D p[] = {{0, 0, 0}, {0, 0, 0.000001}, {5, 0, 0}, {5.000009, 0, 0}, {5, 5, 0}};
  SplinePtr s(splFitPoints(p, 5, kSplChordLength));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->count, 2);
  EXPECT_EQ(splFitPoints(p, 2, kSplChordLength), nullptr) << "one usable point";
  EXPECT_EQ(splFitPoints(p, 1, kSplChordLength), nullptr);
  EXPECT_EQ(splFitPoints(nullptr, 5, kSplChordLength), nullptr);
  geoErrReset();
  EXPECT_EQ(splFitPoints(p, 5, 3), nullptr);
  EXPECT_EQ(geoErrCode(), -20);
}

TEST(Spline, EvaluationAtAKnotUsesTheSegmentThatEndsThere) {
  SplinePtr s(splFitPoints(kWavy.data(), static_cast<int>(kWavy.size()), kSplChordLength));
  ASSERT_TRUE(s);
  Point3D q, dq;
  ASSERT_EQ(splEvalAt(s.get(), s->knots[2], &q, &dq), 1);
  const SplineSegment& g = seg(s.get(), 1);
  const Point3D endDerivative{g.cx[1] + 2 * g.cx[2] + 3 * g.cx[3],
                              g.cy[1] + 2 * g.cy[2] + 3 * g.cy[3],
                              g.cz[1] + 2 * g.cz[2] + 3 * g.cz[3]};
  EXPECT_NEAR(dist(q, kWavy[2]), 0, 1e-12);
  EXPECT_NEAR(dist(dq, endDerivative), 0, 1e-12);
  EXPECT_EQ(splEvalAt(s.get(), -0.00002, &q, &dq), -1);
  EXPECT_EQ(splEvalAt(s.get(), -0.000005, &q, &dq), 1);
  EXPECT_EQ(splEvalAt(nullptr, 0, &q, &dq), -1);
}

// The segment count is 16 bits wide: one segment more would wrap it.
TEST(Spline, AtMost32767Segments) {
  std::vector<Point3D> p(kSplMaxSegments + 2);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = {0.01 * i, std::sin(0.001 * i), 0};
  geoErrReset();
  EXPECT_EQ(splFitPoints(p.data(), static_cast<int>(p.size()), kSplChordLength), nullptr);
  EXPECT_EQ(geoErrCode(), -20);
  SplinePtr s(splFitPoints(p.data(), static_cast<int>(p.size()) - 1, kSplChordLength));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->count, kSplMaxSegments);
}

TEST(Spline, MemoryFailureAtEachStepGivesNoSplineAndNoMap) {
  for (long n = 1; n <= 3; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(splFitPoints(kWavy.data(), static_cast<int>(kWavy.size()), kSplChordLength), nullptr)
        << n;
    memTestFailAt(0);
  }
  SplinePtr s(splFitPoints(kWavy.data(), static_cast<int>(kWavy.size()), kSplChordLength));
  for (long n = 1; n <= 3; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(splBuildArcMap(s.get()), nullptr) << n;
    memTestFailAt(0);
  }
}

TEST_F(SplineOut, NoMemoryIsTracedAtLevel9) {
  out3dSetMsgLevel(nullptr, 9);
  memTestFailAt(1);
  EXPECT_EQ(splFitPoints(kWavy.data(), 3, kSplChordLength), nullptr);
  memTestFailAt(0);
  EXPECT_EQ(nc(), (std::vector<std::string>{"9999,*** ERROR : NO MEMORY"}));
  msgResetState();
}

TEST(SplineArcMap, UniformSegmentMapsArcLengthLinearly) {
  SplineSegment g{4, {0, 6, 0, 0}, {0, 8, 0, 0}, {1, 0, 0, 0}};
  double knots[] = {0, 1};
  CubicSpline s{1, knots, &g};
  SplineArcMap* map = splBuildArcMap(&s);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->count, 1);
  EXPECT_NEAR(map->pieces[0].length, 10, 1e-12);
  EXPECT_NEAR(map->pieces[0].coef[0], 0, 1e-15);
  EXPECT_NEAR(map->pieces[0].coef[1], 0.1, 1e-12);
  EXPECT_NEAR(map->pieces[0].coef[2], 0, 1e-12);
  EXPECT_NEAR(map->pieces[0].coef[3], 0, 1e-12);
  splArcMapFree(map);
}

TEST(SplineArcMap, CurvedSegmentsEndAtOneAndFollowTheSamples) {
  SplinePtr s(splFitPoints(kWavy.data(), static_cast<int>(kWavy.size()), kSplChordLength));
  SplineArcMap* map = splBuildArcMap(s.get());
  ASSERT_NE(map, nullptr);
  for (int i = 0; i < s->count; ++i) {
    const SplineArcPiece& p = map->pieces[i];
    const double L = p.length;
    EXPECT_NEAR(p.coef[1] * L + p.coef[2] * L * L + p.coef[3] * L * L * L, 1, 1e-9) << i;
    EXPECT_GE(L, dist(kWavy[i], kWavy[i + 1]) - 1e-12) << "no shorter than the chord";
    // Walking the segment by a fifth of its length lands near where t(s) says. The first segment
    // starts at rest (tangent 0), where t grows like a square root that no cubic follows.
    if (i == 0) continue;
    double walked = 0;
    Point3D last = at(seg(s.get(), i), 0);
    for (int k = 1; k <= 1000; ++k) {
      const Point3D q = at(seg(s.get(), i), k / 1000.0);
      walked += dist(last, q);
      last = q;
      if (walked >= L / 5) {
        const double sw = walked;
        EXPECT_NEAR(p.coef[1] * sw + p.coef[2] * sw * sw + p.coef[3] * sw * sw * sw, k / 1000.0,
                    0.02)
            << i;
        break;
      }
    }
  }
  splArcMapFree(map);
}

// The building blocks of the window fit solve the normal equations of a cubic in t: points taken
// from a cubic come back from the fit unchanged.
TEST_F(SplineOut, WindowFitSumsRecoverACubic) {
  const Point3D a[4] = {{1, 2, 3}, {4, -1, 0}, {-2, 3, 1}, {0.5, 0, 2}};
  const std::vector<double> distances = {0, 0.3, 1, 1.4, 2.5, 3, 4.2, 5};
  const int start = 2, n = 5;
  std::vector<Point3D> pts(distances.size());
  const double len = distances[start + n - 1] - distances[start];
  for (int i = 0; i < static_cast<int>(pts.size()); ++i) {
    const double t = (distances[i] - distances[start]) / len;
    pts[i] = {a[0].x + t * (a[1].x + t * (a[2].x + t * a[3].x)),
              a[0].y + t * (a[1].y + t * (a[2].y + t * a[3].y)),
              a[0].z + t * (a[1].z + t * (a[2].z + t * a[3].z))};
  }
  const int count = static_cast<int>(pts.size());
  double sums[7];
  Point3D mom[4];
  ASSERT_EQ(splParamPowerSums(distances.data(), count, start, n, sums), 0);
  ASSERT_EQ(splPointMoments(pts.data(), distances.data(), count, start, n, mom), 0);
  EXPECT_EQ(sums[0], n);
  // Normal equations sum_k S(j+k) c_k = M(j), solved per coordinate by Gaussian elimination.
  Point3D c[4];
  for (int axis = 0; axis < 3; ++axis) {
    double m[4][5];
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 4; ++k) m[j][k] = sums[j + k];
      m[j][4] = axis == 0 ? mom[j].x : axis == 1 ? mom[j].y : mom[j].z;
    }
    for (int col = 0; col < 4; ++col) {
      for (int r = col + 1; r < 4; ++r) {
        const double f = m[r][col] / m[col][col];
        for (int k = col; k < 5; ++k) m[r][k] -= f * m[col][k];
      }
    }
    double x[4];
    for (int r = 3; r >= 0; --r) {
      double v = m[r][4];
      for (int k = r + 1; k < 4; ++k) v -= m[r][k] * x[k];
      x[r] = v / m[r][r];
    }
    for (int k = 0; k < 4; ++k) (axis == 0 ? c[k].x : axis == 1 ? c[k].y : c[k].z) = x[k];
  }
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(dist(c[k], a[k]), 0, 1e-8) << k;
  std::vector<Point3D> out(pts.size(), Point3D{-1, -1, -1});
  out3dSetMsgLevel(nullptr, 11);
  ASSERT_EQ(splEvalFitWindow(distances.data(), count, start, n, c, out.data()), 0);
  msgResetState();
  for (int i = 0; i < count; ++i) {
    if (i < start || i >= start + n) {
      EXPECT_EQ(out[i].x, -1) << "outside the window untouched";
    } else {
      EXPECT_NEAR(dist(out[i], pts[i]), 0, 1e-8) << i;
    }
  }
  ASSERT_EQ(nc().size(), static_cast<std::size_t>(n));
  char first[80];
  std::snprintf(first, sizeof first, "9999,Q %5d: %7.3f %7.3f %7.3f", start, pts[start].x,
                pts[start].y, pts[start].z);
  EXPECT_EQ(nc()[0], first);
  std::vector<Point3D> copy(pts.size(), Point3D{0, 0, 0});
  ASSERT_EQ(splCopyWindow(pts.data(), count, start, n, copy.data()), 0);
  EXPECT_EQ(copy[start + n - 1].x, pts[start + n - 1].x);
  EXPECT_EQ(copy[start - 1].x, 0);
}

TEST(SplineWindow, WindowsOutsideTheArrayFail) {
  const double distances[] = {0, 1, 2, 2};
  const Point3D pts[4] = {};
  double sums[7];
  Point3D four[4];
  Point3D out[4];
  const struct {
    int start, n;
  } bad[] = {{2, 3}, {-1, 2}, {0, 0}, {2, 2}};  // past the end, negative, empty, zero length
  for (const auto& b : bad) {
    EXPECT_EQ(splParamPowerSums(distances, 4, b.start, b.n, sums), -1) << b.start << " " << b.n;
    EXPECT_EQ(splPointMoments(pts, distances, 4, b.start, b.n, four), -1);
    EXPECT_EQ(splEvalFitWindow(distances, 4, b.start, b.n, four, out), -1);
  }
  EXPECT_EQ(splCopyWindow(pts, 4, 3, 2, out), -1);
  EXPECT_EQ(splParamPowerSums(distances, 4, 3, 1, sums), 0) << "a single point";
  const double a[3] = {1, 2, 3}, b[3] = {4, 6, 3};
  EXPECT_DOUBLE_EQ(splPointDist(a, b), 5);
}
