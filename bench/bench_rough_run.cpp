// bench_rough_run.cpp - the whole roughing of every real part through the host entry: model
// loading, levels, slicing, per-level pocketing through the nested pocket cycle, emission and the
// POF output. Tool radius R = max(box x, box y) / 16, step-down R, stepover 1.2 R, allowance R /
// 20, contour-parallel pocketing.
//
// Counters: pockets (message 36), moves and path length (layer 31 of the POF), and the shares of
// the per-level file round trip: writing the pocket contour file, and the whole nested pocket
// step (parameter file, nested run and read-back).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "cycles/level_pocket.h"
#include "cycles/level_pocket_xchg.h"
#include "cycles/rough_emit.h"
#include "cycles/rough_region.h"
#include "qdmill/qdmill.h"
#include "support/real_meshes.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Part {
  const char* file;
  double xmin, ymin, zmin, xmax, ymax, zmax;
};
constexpr Part kParts[] = {
    {"sphere_on_plate.stl", 0, 0, -1, 76.4923, 76.4923, 30.8718},
    {"wheel_in_box.stl", -100, -100, 0, 100, 100, 50},
    {"ktoolcav.stl", -2, 0, -1.5, 2, 1.625, 1.8125},
    {"ktoolcor.stl", -2, -0.75, -1.5, 2, 1, 1.8125},
    {"pycam-textbox.stl", 0, 0, -10, 130, 50, 0},
    {"cone_on_side.stl", 0, -9.9987, -10, 20, 9.9987, 9.995},
};

struct Shares {
  double write = 0;
  double pocket = 0;
};
Shares shares;

int timedWrite(const char* file, Kont2D* region, ZPath* paths, int count) {
  const auto t0 = Clock::now();
  const int r = zcontWritePocket(file, region, paths, count, 0);
  shares.write += std::chrono::duration<double>(Clock::now() - t0).count();
  return r;
}
int timedWriteAxis(const char* file, Kont2D* region, ZPath* paths, int count) {
  return zcontWriteAxisPocket(file, region, paths, count, 0);
}
int timedPocket(double r, double z, PathList* apt, int stockMode) {
  const auto t0 = Clock::now();
  const int res = levelPocketContour(r, z, apt, stockMode);
  shares.pocket += std::chrono::duration<double>(Clock::now() - t0).count();
  return res;
}

std::string folder() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/bench_rough_run_XXXXXX";
    const char* made = mkdtemp(tmpl);
    dir = made != nullptr ? made : ".";
  }
  return dir;
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Moves and path length of the layer-31 records (modal x, y, z).
void countMoves(const std::string& pof, int* moves, double* length, int* pockets) {
  std::ifstream in(pof);
  std::string line;
  double p[3] = {0, 0, 0};
  bool have = false;
  while (std::getline(in, line)) {
    if (line.rfind("0: error(36,", 0) == 0) ++*pockets;
    if (line.rfind("31: o", 0) != 0) continue;
    double q[3] = {p[0], p[1], p[2]};
    const char axes[3] = {'x', 'y', 'z'};
    for (int a = 0; a < 3; ++a) {
      const std::string key = std::string(" ") + axes[a] + "[/";
      const std::size_t at = line.find(key);
      if (at != std::string::npos) q[a] = std::strtod(line.c_str() + at + key.size(), nullptr);
    }
    if (have)
      *length += std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) +
                           (q[2] - p[2]) * (q[2] - p[2]));
    for (int a = 0; a < 3; ++a) p[a] = q[a];
    have = true;
    ++*moves;
  }
}

void BM_RoughRun(benchmark::State& state) {
  const Part& part = kParts[state.range(0)];
  const std::string model = qdtest::realMeshFolder() + "/" + part.file;
  if (!std::ifstream(model).good()) {
    state.SkipWithError("no real mesh folder beside the project");
    return;
  }
  state.SetLabel(part.file);
  const std::string dir = folder();
  if (chdir(dir.c_str()) != 0) {
    state.SkipWithError("no work folder");
    return;
  }
  const double r = std::fmax(part.xmax - part.xmin, part.ymax - part.ymin) / 16;
  std::ostringstream job;
  job << "polySource := " << model << "\ntoolType := endMill\ntoolDiameter := " << 2 * r
      << "\nallowance := " << r / 20 << "\nsurface := " << part.zmax
      << "\ndepth := " << part.zmax - part.zmin << "\ninfeedDepth := " << r
      << "\ninfeedLength := " << 1.2 * r << "\nclearancePlane := " << part.zmax + 2 * r
      << "\nstrategy := contourParallel\npofFilename := bench.pof\n";
  writeText("qdRpx5.def", "SystemLanguage := english\n");
  writeText("job.pcf", job.str());
  const RoughPocketOps ops{timedWrite, timedWriteAxis, timedPocket, levelPocketAxis,
                           roughEmitRegion};
  roughSetPocketOps(&ops);
  shares = Shares{};
  double seconds = 0;
  int runs = 0;
  for (auto _ : state) {
    std::remove("bench.pof");
    char a0[] = "-Sjob";
    char* argv[] = {a0};
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(qdCSexecCycle(nullptr, 1, argv, nullptr));
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    ++runs;
  }
  roughSetPocketOps(nullptr);
  int moves = 0, pockets = 0;
  double length = 0;
  countMoves("bench.pof", &moves, &length, &pockets);
  state.counters["pockets"] = pockets;
  state.counters["moves"] = moves;
  state.counters["length"] = length;
  state.counters["qdx_write_%"] = seconds > 0 ? 100 * shares.write / seconds : 0;
  state.counters["nested_pocket_%"] = seconds > 0 ? 100 * shares.pocket / seconds : 0;
  state.counters["s_per_run"] = runs > 0 ? seconds / runs : 0;
}
BENCHMARK(BM_RoughRun)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
