// spline.cpp - cubic splines with tangents from a (cyclic) tridiagonal system, solved in linear
// time per coordinate, and the arc-length map. The NC control moves along a "#D_SPLINE" segment
// by arc length, so each segment carries t(s) as a cubic fitted to samples.
#include "geometry/spline.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "geometry/geo_error.h"

namespace {
// Points closer than this to the last kept point are dropped before fitting.
constexpr double kSplDupEps = 1e-5;
// First and last point closer than this make a closed spline.
constexpr double kSplClosedEps = 1e-6;
// Smallest pivot of the tangent systems.
constexpr double kSplPivotMin = 1e-12;
// Samples per segment of the arc-length map.
constexpr int kSplArcSamples = 21;

void splNoMemory() {
  geoFail(kGeoFailed, "spline");
  out3dTraceText(9, "*** ERROR : NO MEMORY", 0);
}

// A row of a tangent system: a m(prev) + b m(i) + c m(next) = d, for the three coordinates.
struct SplRow {
  double a;
  double b;
  double c;
  Point3D d;
};

// Solves a tridiagonal system by elimination without pivoting (rows[0].a and rows[n-1].c are not
// used). Returns false when a pivot falls below kSplPivotMin: x is then left as it was.
bool splSolveTridiag(const std::vector<SplRow>& rows, std::vector<Point3D>* x) {
  const std::size_t n = rows.size();
  std::vector<double> cp(n);
  std::vector<Point3D> dp(n);
  double pivot = rows[0].b;
  if (std::fabs(pivot) < kSplPivotMin) return false;
  cp[0] = rows[0].c / pivot;
  dp[0] = vecScale(1.0 / pivot, rows[0].d);
  for (std::size_t i = 1; i < n; ++i) {
    pivot = rows[i].b - rows[i].a * cp[i - 1];
    if (std::fabs(pivot) < kSplPivotMin) return false;
    cp[i] = rows[i].c / pivot;
    dp[i] = vecScale(1.0 / pivot, vecSub(rows[i].d, vecScale(rows[i].a, dp[i - 1])));
  }
  (*x)[n - 1] = dp[n - 1];
  for (std::size_t i = n - 1; i-- > 0;) (*x)[i] = vecSub(dp[i], vecScale(cp[i], (*x)[i + 1]));
  return true;
}

// Solves a cyclic tridiagonal system: rows[0].a couples to the last unknown and rows[n-1].c to
// the first. Uses the tridiagonal solve twice with the corner terms folded in (Sherman-Morrison).
bool splSolveCyclic(std::vector<SplRow> rows, std::vector<Point3D>* x) {
  const std::size_t n = rows.size();
  if (n == 2) {
    // Both neighbours of each unknown are the other one.
    rows[0].c += rows[0].a;
    rows[1].a += rows[1].c;
    return splSolveTridiag(rows, x);
  }
  const double alpha = rows[n - 1].c;  // bottom-left corner
  const double beta = rows[0].a;       // top-right corner
  const double gamma = -rows[0].b;
  rows[0].b -= gamma;
  rows[n - 1].b -= alpha * beta / gamma;
  std::vector<Point3D> y(n, Point3D{0, 0, 0});
  if (!splSolveTridiag(rows, &y)) return false;
  std::vector<SplRow> unitRows = rows;
  for (auto& r : unitRows) r.d = {0, 0, 0};
  unitRows[0].d = {gamma, gamma, gamma};
  unitRows[n - 1].d = {alpha, alpha, alpha};
  std::vector<Point3D> z(n, Point3D{0, 0, 0});
  if (!splSolveTridiag(unitRows, &z)) return false;
  const double denom = 1.0 + z[0].x + beta * z[n - 1].x / gamma;
  if (std::fabs(denom) < kSplPivotMin) return false;
  const Point3D f = vecScale(1.0 / denom, vecAdd(y[0], vecScale(beta / gamma, y[n - 1])));
  for (std::size_t i = 0; i < n; ++i) {
    (*x)[i] = {y[i].x - f.x * z[i].x, y[i].y - f.y * z[i].y, y[i].z - f.z * z[i].z};
  }
  return true;
}

// Kept points and their parameter steps (step[i] from point i-1 to i; step[0] unused).
struct SplKept {
  std::vector<Point3D> p;
  std::vector<double> step;
};

void splKeepPoints(const Point3D* points, int n, int kind, SplKept* k) {
  k->p.push_back(points[0]);
  k->step.push_back(0);
  for (int i = 1; i < n; ++i) {
    const double d = vecDistance(points[i], k->p.back());
    if (!(d > kSplDupEps)) continue;
    k->p.push_back(points[i]);
    k->step.push_back(kind == kSplUniform ? 1.0 : (kind == kSplChordLength ? d : std::sqrt(d)));
  }
}

// The interior row of point i with the steps before (hp) and after (hn) it.
SplRow splInteriorRow(const Point3D& prev, const Point3D& p, const Point3D& next, double hp,
                      double hn) {
  double mu = 0;
  double lambda = 0;
  if (hp + hn >= 1e-7) {
    mu = hn / (hp + hn);
    lambda = hp / (hp + hn);
  }
  Point3D d;
  if (hp > kSplDupEps && hn > kSplDupEps) {
    d = vecScale(3.0, vecAdd(vecScale(mu, vecScale(1.0 / hp, vecSub(p, prev))),
                             vecScale(lambda, vecScale(1.0 / hn, vecSub(next, p)))));
  } else {
    d = vecScale(3.0, vecSub(next, prev));
  }
  return SplRow{mu, 2.0, lambda, d};
}

// Tangents of the kept points (dP/ds); left 0 where the system is singular.
std::vector<Point3D> splTangents(const SplKept& k, bool closed) {
  const std::size_t m = k.p.size();
  std::vector<Point3D> tangent(m, Point3D{0, 0, 0});
  if (closed && m >= 3) {
    const std::size_t n = m - 1;  // the last point is the first
    std::vector<SplRow> rows(n);
    for (std::size_t i = 0; i < n; ++i) {
      const Point3D& prev = i == 0 ? k.p[m - 2] : k.p[i - 1];
      const double hp = i == 0 ? k.step[m - 1] : k.step[i];
      rows[i] = splInteriorRow(prev, k.p[i], k.p[i + 1], hp, k.step[i + 1]);
    }
    std::vector<Point3D> x(n, Point3D{0, 0, 0});
    if (splSolveCyclic(rows, &x)) {
      for (std::size_t i = 0; i < n; ++i) tangent[i] = x[i];
    }
    tangent[m - 1] = tangent[0];
    return tangent;
  }
  std::vector<SplRow> rows(m);
  const double h1 = k.step[1];
  rows[0] = SplRow{0, 2.0, 1.0,
                   h1 > kSplDupEps ? vecScale(1.5, vecScale(1.0 / h1, vecSub(k.p[1], k.p[0])))
                                   : Point3D{1.5, 1.5, 1.5}};
  for (std::size_t i = 1; i + 1 < m; ++i) {
    rows[i] = splInteriorRow(k.p[i - 1], k.p[i], k.p[i + 1], k.step[i], k.step[i + 1]);
  }
  rows[m - 1] = SplRow{
      1.0, 2.0, 0, vecScale(3.0, vecScale(1.0 / k.step[m - 1], vecSub(k.p[m - 1], k.p[m - 2])))};
  splSolveTridiag(rows, &tangent);
  return tangent;
}

void splSetCoefficients(double* c, double p0, double p1, double m0, double m1, double h) {
  c[0] = p0;
  c[1] = h * m0;
  c[2] = 3.0 * (p1 - p0) - h * (2.0 * m0 + m1);
  c[3] = 2.0 * (p0 - p1) + h * (m0 + m1);
}

double splHorner(const double* c, double t) { return ((c[3] * t + c[2]) * t + c[1]) * t + c[0]; }
double splHornerDt(const double* c, double t) { return (3.0 * c[3] * t + 2.0 * c[2]) * t + c[1]; }

Point3D splSegmentPoint(const SplineSegment& g, double t) {
  return {splHorner(g.cx, t), splHorner(g.cy, t), splHorner(g.cz, t)};
}

// Fits t(s) = c1 s + c2 s^2 + c3 s^3 through the samples with t(L) = 1: the end condition and
// the normal equations of s^2 and s^3, solved by Gauss-Jordan elimination in s / L (the same
// solution, better scaled).
void splFitArcPiece(const double* s, const double* t, double length, double coef[4]) {
  coef[0] = coef[1] = coef[2] = coef[3] = 0;
  if (!(length > 1e-12)) return;
  double sum[7] = {};
  double mom[4] = {};
  for (int k = 0; k < kSplArcSamples; ++k) {
    const double u = s[k] / length;
    double pw = 1;
    for (int j = 0; j <= 6; ++j) {
      sum[j] += pw;
      if (j <= 3) mom[j] += t[k] * pw;
      pw *= u;
    }
  }
  double a[3][4] = {
      {1, 1, 1, 1}, {sum[3], sum[4], sum[5], mom[2]}, {sum[4], sum[5], sum[6], mom[3]}};
  for (int col = 0; col < 3; ++col) {
    int best = col;
    for (int r = col + 1; r < 3; ++r) {
      if (std::fabs(a[r][col]) > std::fabs(a[best][col])) best = r;
    }
    if (std::fabs(a[best][col]) < 1e-300) {
      coef[1] = 1.0 / length;  // degenerate samples: a uniform map
      return;
    }
    for (int j = 0; j < 4; ++j) std::swap(a[col][j], a[best][j]);
    const double p = a[col][col];
    for (int j = 0; j < 4; ++j) a[col][j] /= p;
    for (int r = 0; r < 3; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      for (int j = 0; j < 4; ++j) a[r][j] -= f * a[col][j];
    }
  }
  coef[1] = a[0][3] / length;
  coef[2] = a[1][3] / (length * length);
  coef[3] = a[2][3] / (length * length * length);
}

// True when a trace of this level would be sent, so that its text is built only then.
bool splTraceOn(int level) {
  const int msgLevel = out3dMsgLevel();
  return (level & ~kMsgTraceBit) <= (msgLevel & ~kMsgTraceBit) &&
         ((level | msgLevel) & kMsgTraceBit) != 0;
}

// Traces one point of a window fit as "Q <index>: <x> <y> <z>" ("%5d", "%7.3lf", "C" locale).
void splTraceWindowPoint(int index, const Point3D& p) {
  char text[4 * kNumFixedTextSize + 8];
  std::size_t n = 0;
  const auto put = [&](const char* s) {
    const std::size_t len = std::strlen(s);
    std::memcpy(text + n, s, len);
    n += len;
  };
  char num[kNumFixedTextSize];
  put("Q ");
  numFormatFixedWidth(num, sizeof num, index, 0, 5);
  put(num);
  put(":");
  for (const double v : {p.x, p.y, p.z}) {
    put(" ");
    numFormatFixedWidth(num, sizeof num, v, 3, 7);
    put(num);
  }
  text[n] = '\0';
  out3dTraceText(3, text, 0);
}

// Parameters of a window: -1 when it does not lie within the array or has no length.
int splWindowParams(const double* dist, int count, int start, int n, std::vector<double>* t) {
  if (dist == nullptr || n < 1 || start < 0 || start > count - n) return -1;
  const double length = dist[start + n - 1] - dist[start];
  if (n > 1 && !(std::fabs(length) > 0)) return -1;
  t->assign(n, 0.0);
  for (int i = 1; i < n; ++i) (*t)[i] = (dist[start + i] - dist[start]) / length;
  return 0;
}
}  // namespace

CubicSpline* splFitPoints(const Point3D* points, int n, int kind) {
  if (points == nullptr || n < 2) return nullptr;
  if (kind != kSplUniform && kind != kSplChordLength && kind != kSplCentripetal) {
    geoFail(kGeoBadArgument, "spline");
    return nullptr;
  }
  CubicSpline* spline = nullptr;
  try {
    SplKept k;
    splKeepPoints(points, n, kind, &k);
    const std::size_t m = k.p.size();
    if (m < 2) return nullptr;
    if (m - 1 > static_cast<std::size_t>(kSplMaxSegments)) {
      geoFail(kGeoBadArgument, "spline");  // the segment count is 16 bits wide
      return nullptr;
    }
    const bool closed = vecDistance(points[0], points[n - 1]) < kSplClosedEps;
    const std::vector<Point3D> tangent = splTangents(k, closed);

    spline = static_cast<CubicSpline*>(memAllocZero(sizeof(CubicSpline)));
    if (spline == nullptr) throw std::bad_alloc();
    spline->knots = static_cast<double*>(memAllocZero(m * sizeof(double)));
    spline->segments = static_cast<SplineSegment*>(memAllocZero((m - 1) * sizeof(SplineSegment)));
    if (spline->knots == nullptr || spline->segments == nullptr) throw std::bad_alloc();
    spline->count = static_cast<std::int16_t>(m - 1);
    for (std::size_t i = 1; i < m; ++i) {
      spline->knots[i] = spline->knots[i - 1] + k.step[i];
      SplineSegment& g = spline->segments[i - 1];
      const double h = k.step[i];
      const Point3D& p0 = k.p[i - 1];
      const Point3D& p1 = k.p[i];
      const Point3D& m0 = tangent[i - 1];
      const Point3D& m1 = tangent[i];
      g.degree = 4;
      splSetCoefficients(g.cx, p0.x, p1.x, m0.x, m1.x, h);
      splSetCoefficients(g.cy, p0.y, p1.y, m0.y, m1.y, h);
      splSetCoefficients(g.cz, p0.z, p1.z, m0.z, m1.z, h);
    }
    return spline;
  } catch (const std::bad_alloc&) {
    splFree(spline);
    splNoMemory();
    return nullptr;
  }
}

int splEvalAt(const CubicSpline* spline, double s, Point3D* point, Point3D* derivative) {
  if (spline == nullptr || spline->count < 1) return -1;
  if (s < spline->knots[0] - 1e-5) return -1;
  int i = 0;
  while (i < spline->count - 1 && spline->knots[i + 1] + 1e-5 < s) ++i;
  const double span = spline->knots[i + 1] - spline->knots[i];
  const double t = span != 0 ? (s - spline->knots[i]) / span : 0.0;
  const SplineSegment& g = spline->segments[i];
  if (point != nullptr) *point = splSegmentPoint(g, t);
  if (derivative != nullptr)
    *derivative = {splHornerDt(g.cx, t), splHornerDt(g.cy, t), splHornerDt(g.cz, t)};
  return 1;
}

void splFree(CubicSpline* spline) {
  if (spline == nullptr) return;
  memFree(spline->knots);
  memFree(spline->segments);
  memFree(spline);
}

void splArcMapFree(SplineArcMap* map) {
  if (map == nullptr) return;
  memFree(map->knots);
  memFree(map->pieces);
  memFree(map);
}

SplineArcMap* splBuildArcMap(const CubicSpline* spline) {
  if (spline == nullptr || spline->count < 1) return nullptr;
  const int n = spline->count;
  auto* map = static_cast<SplineArcMap*>(memAllocZero(sizeof(SplineArcMap)));
  if (map != nullptr) {
    map->knots = static_cast<double*>(memAllocZero((n + 1) * sizeof(double)));
    map->pieces = static_cast<SplineArcPiece*>(memAllocZero(n * sizeof(SplineArcPiece)));
  }
  if (map == nullptr || map->knots == nullptr || map->pieces == nullptr) {
    splArcMapFree(map);
    splNoMemory();
    return nullptr;
  }
  map->count = static_cast<std::int16_t>(n);
  for (int i = 0; i <= n; ++i) map->knots[i] = i;
  for (int i = 0; i < n; ++i) {
    double s[kSplArcSamples];
    double t[kSplArcSamples];
    Point3D last = splSegmentPoint(spline->segments[i], 0.0);
    s[0] = 0;
    t[0] = 0;
    for (int k = 1; k < kSplArcSamples; ++k) {
      t[k] = k * 0.05;
      const Point3D p = splSegmentPoint(spline->segments[i], t[k]);
      s[k] = s[k - 1] + vecDistance(last, p);
      last = p;
    }
    SplineArcPiece& piece = map->pieces[i];
    piece.degree = 4;
    piece.length = s[kSplArcSamples - 1];
    out3dTraceReal(3, "* sl = %lf", piece.length);
    splFitArcPiece(s, t, piece.length, piece.coef);
  }
  return map;
}

double splPointDist(const double* a, const double* b) {
  return vecDistance(Point3D{a[0], a[1], a[2]}, Point3D{b[0], b[1], b[2]});
}

int splParamPowerSums(const double* dist, int count, int start, int n, double out[7]) {
  std::vector<double> t;
  if (out == nullptr || splWindowParams(dist, count, start, n, &t) != 0) return -1;
  out[0] = n;
  for (int j = 1; j <= 6; ++j) out[j] = 0;
  for (int i = 1; i < n; ++i) {
    double pw = 1;
    for (int j = 1; j <= 6; ++j) {
      pw *= t[i];
      out[j] += pw;
    }
  }
  return 0;
}

int splPointMoments(const Point3D* points, const double* dist, int count, int start, int n,
                    Point3D out[4]) {
  std::vector<double> t;
  if (points == nullptr || out == nullptr || splWindowParams(dist, count, start, n, &t) != 0) {
    return -1;
  }
  for (int j = 0; j < 4; ++j) out[j] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    double pw = 1;
    for (int j = 0; j < 4; ++j) {
      out[j] = vecAdd(out[j], vecScale(pw, points[start + i]));
      pw *= t[i];
    }
  }
  return 0;
}

int splEvalFitWindow(const double* dist, int count, int start, int n, const Point3D c[4],
                     Point3D* out) {
  std::vector<double> t;
  if (c == nullptr || out == nullptr || splWindowParams(dist, count, start, n, &t) != 0) return -1;
  for (int i = 0; i < n; ++i) {
    const double u = t[i];
    const Point3D p =
        vecAdd(c[0], vecScale(u, vecAdd(c[1], vecScale(u, vecAdd(c[2], vecScale(u, c[3]))))));
    out[start + i] = p;
    if (splTraceOn(3)) {
      splTraceWindowPoint(start + i, p);
    }
  }
  return 0;
}

int splCopyWindow(const Point3D* points, int count, int start, int n, Point3D* out) {
  if (points == nullptr || out == nullptr || n < 1 || start < 0 || start > count - n) return -1;
  for (int i = 0; i < n; ++i) out[start + i] = points[start + i];
  return 0;
}
