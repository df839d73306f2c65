// spline.h - interpolating C1 cubic splines through 3D points, their evaluation and arc-length
// map, and the sums of the least-squares cubic window fit of the axis smoothing. The NC text
// blocks written from a spline are in output/spline_nc.h.
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// Segments of a spline are counted in 16 bits: a spline holds at most this many.
inline constexpr int kSplMaxSegments = 32767;

// One cubic piece: c0 + c1 t + c2 t^2 + c3 t^3 per coordinate over t in [0, 1].
struct SplineSegment {
  std::int16_t degree;  // number of coefficients, always 4
  double cx[4];
  double cy[4];
  double cz[4];
};

// count segments over count + 1 knots (knots[0] = 0, the cumulative parameter of each point).
struct CubicSpline {
  std::int16_t count;
  double* knots;
  SplineSegment* segments;
};

// Per segment: the local spline parameter t as a cubic of the arc length s along the segment
// (constant term 0) and the segment's length.
struct SplineArcPiece {
  std::int16_t degree;  // 4
  double coef[4];
  double length;
};

// Knots 0, 1, ..., count and one piece per segment.
struct SplineArcMap {
  std::int16_t count;
  double* knots;
  SplineArcPiece* pieces;
};

// Parameterisations of splFitPoints.
inline constexpr int kSplUniform = 0;
inline constexpr int kSplChordLength = 1;
inline constexpr int kSplCentripetal = 2;

// Fits a spline through n points. Points within 1e-5 of the last kept point are dropped; the
// spline is closed (equal tangents at both ends) when the first and last points lie within
// 1e-6. Null when fewer than two points remain, when more than kSplMaxSegments segments would
// be needed (error record -20), for an unknown kind (-20) or when memory runs out (trace
// "*** ERROR : NO MEMORY" at level 9). The caller frees it with splFree.
CubicSpline* splFitPoints(const Point3D* points, int n, int kind);

// The point and its derivative with respect to the local t at parameter s, in the first segment
// whose end knot + 1e-5 is not below s (the last segment beyond the end). Returns 1; -1 when s
// lies before the first knot by more than 1e-5 or the spline is null or empty.
int splEvalAt(const CubicSpline* spline, double s, Point3D* point, Point3D* derivative);

// Release a spline or map and its arrays; accept null.
void splFree(CubicSpline* spline);
void splArcMapFree(SplineArcMap* map);

// The arc-length map of a spline (21 samples per segment). Null for a null or empty spline or
// when memory runs out.
SplineArcMap* splBuildArcMap(const CubicSpline* spline);

// Euclidean distance of two points given as three doubles each.
double splPointDist(const double* a, const double* b);

// Window-fit sums over the n points from index start of an array of count points with their
// cumulative distances dist; t_i = (dist[i] - dist[start]) / (window length). Each returns 0;
// -1 for n < 1, start < 0, start + n > count, null arrays, or a window of zero length with n > 1.
// out[0] = n, out[j] = sum of t_i^j (j = 1..6).
int splParamPowerSums(const double* dist, int count, int start, int n, double out[7]);
// out[j] = sum of P_i t_i^j (j = 0..3; the first point counts with t^0 = 1).
int splPointMoments(const Point3D* points, const double* dist, int count, int start, int n,
                    Point3D out[4]);
// out[i] = c0 + c1 t_i + c2 t_i^2 + c3 t_i^3 at the window's indices, each traced as
// "Q %5d: %7.3lf %7.3lf %7.3lf" at level 3.
int splEvalFitWindow(const double* dist, int count, int start, int n, const Point3D c[4],
                     Point3D* out);
// Copies the window's points unchanged into out at the same indices.
int splCopyWindow(const Point3D* points, int count, int start, int n, Point3D* out);
