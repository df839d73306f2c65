// bench_arc_fit.cpp - growth of the arc and line fit with the length of a chain (circles sampled
// with 10^2 to 10^4 points, and a mixed chain of lines and arcs), with and without the early stop
// of the centre search, and the rewrite of a level file of 10^4 points.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "geometry/arc_fit.h"
#include "geometry/arc_rewrite.h"

namespace {

constexpr double kRadius = 20.0;
constexpr double kTol = 0.01;

// n points once around a circle of radius 20 (the last short of the first).
std::vector<ArcPoint> benchCircle(int n) {
  std::vector<ArcPoint> pts;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    pts.push_back(
        ArcPoint{kRadius * std::cos(a), kRadius * std::sin(a), 0, kArcFresh, kArcNo, kArcNo});
  }
  return pts;
}

// Lines of 20 steps and quarter arcs of radius 20 in turn, about n points in all.
std::vector<ArcPoint> benchMixed(int n) {
  std::vector<ArcPoint> pts{{0, 0, 0, kArcFresh, kArcNo, kArcNo}};
  double heading = 0.0;
  const double arcStep = 2 * std::acos(1 - 0.5 * kTol / kRadius);  // chords within the tolerance
  while (static_cast<int>(pts.size()) < n) {
    for (int i = 0; i < 20; ++i) {
      pts.push_back(ArcPoint{pts.back().x + std::cos(heading), pts.back().y + std::sin(heading), 0,
                             kArcFresh, kArcNo, kArcNo});
    }
    const int steps = static_cast<int>(M_PI / 2 / arcStep);
    for (int i = 0; i < steps; ++i) {
      heading += arcStep;
      const double len = 2 * kRadius * std::sin(arcStep / 2);
      pts.push_back(ArcPoint{pts.back().x + len * std::cos(heading - arcStep / 2),
                             pts.back().y + len * std::sin(heading - arcStep / 2), 0, kArcFresh,
                             kArcNo, kArcNo});
    }
  }
  return pts;
}

void runFit(benchmark::State& state, const std::vector<ArcPoint>& base, int earlyStop) {
  arcSetEarlyStop(earlyStop);
  for (auto _ : state) {
    std::vector<ArcPoint> pts = base;
    benchmark::DoNotOptimize(
        arcFitPoints(pts.data(), static_cast<int>(pts.size()), kTol, 0.1, 9999.9, 9999.9));
  }
  arcSetEarlyStop(1);
  state.counters["points"] = static_cast<double>(base.size());
}

void BM_ArcFitCircle(benchmark::State& state) {
  runFit(state, benchCircle(static_cast<int>(state.range(0))), 1);
}
void BM_ArcFitCirclePlain(benchmark::State& state) {
  runFit(state, benchCircle(static_cast<int>(state.range(0))), 0);
}
void BM_ArcFitMixed(benchmark::State& state) {
  runFit(state, benchMixed(static_cast<int>(state.range(0))), 1);
}
void BM_ArcFitMixedPlain(benchmark::State& state) {
  runFit(state, benchMixed(static_cast<int>(state.range(0))), 0);
}

BENCHMARK(BM_ArcFitCircle)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArcFitCirclePlain)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArcFitMixed)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArcFitMixedPlain)->Arg(1000)->Unit(benchmark::kMillisecond);

// A level file with one contour of n lines closing on a circle.
std::string benchLevelFile(int n) {
  const std::string name = "/tmp/bench_arc_fit_" + std::to_string(::getpid()) + ".qdx";
  std::FILE* f = std::fopen(name.c_str(), "w");
  if (f == nullptr) return "";
  std::fprintf(f, "%s\nqDX-Version: 1.0\nGeometry\nbench\n\noContour[1]( )\n{\n", xchgBanner);
  for (int i = 1; i <= n; ++i) {
    const double a0 = 2 * M_PI * (i - 1) / n, a1 = 2 * M_PI * (i % n) / n;
    if (i == 1) {
      std::fprintf(f, "  oL( x[%.9f/%.9f] y[%.9f/%.9f] )\n", kRadius * std::cos(a0),
                   kRadius * std::cos(a1), kRadius * std::sin(a0), kRadius * std::sin(a1));
    } else {
      std::fprintf(f, "  oL( x[/%.9f] y[/%.9f] )\n", kRadius * std::cos(a1),
                   kRadius * std::sin(a1));
    }
  }
  std::fprintf(f, "}\n");
  std::fclose(f);
  return name;
}

void rewrite(benchmark::State& state, int earlyStop) {
  const std::string in = benchLevelFile(static_cast<int>(state.range(0)));
  const std::string out = in + ".out";
  arcSetEarlyStop(earlyStop);
  for (auto _ : state) {
    if (arcRecognizeFile(out.c_str(), in.c_str(), kTol) != 1)
      state.SkipWithError("no circle found");
  }
  arcSetEarlyStop(1);
  std::remove(in.c_str());
  std::remove(out.c_str());
}

void BM_ArcRecognizeFile(benchmark::State& state) { rewrite(state, 1); }
void BM_ArcRecognizeFilePlain(benchmark::State& state) { rewrite(state, 0); }

BENCHMARK(BM_ArcRecognizeFile)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArcRecognizeFilePlain)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
