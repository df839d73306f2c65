// bench_rough_run.cpp - the whole roughing of every real part through the host entry: model
// loading, levels, slicing, per-level pocketing through the nested pocket cycle, emission and the
// POF output. Tool radius R = max(box x, box y) / 16, step-down R, stepover 1.2 R, allowance R /
// 20, contour-parallel pocketing.
//
// Counters: levels pocketed (nested pocket steps at distinct heights), pockets (message 36),
// moves and path length (layer 31 of the POF), seconds per run, and where the nested pocket steps
// spend it, in % of the run:
//   round_trip_% - the per-level file round trip: writing "tmp.qdx" and "tmp.pcf", the nested
//                  cycle's loading of its parameter file and its read phase (parameters and the
//                  contour file), its POF writers, and the read-back of "tmp.pof";
//   pocketing_%  - the nested cycle's prepare, compute and finish phases without its POF writers;
//   reduce_%     - the contour reduction of "tmp.qdx" before the nested run (with opening the POF);
//   nested_%     - the whole nested step (the three above, the nested run's framework steps).
// The nested cycle's phases are told apart by its framework messages (the record's message
// callback, unset outside a host run) and its writers by wrapping the writers of the layers it
// registers; the parameter file is timed on a copy written with the same values beside the run
// (its time is taken off the run's). Each part also prints one line with the milliseconds of
// every piece and the number of nested runs (attempts).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "cycles/level_pocket.h"
#include "cycles/level_pocket_xchg.h"
#include "cycles/rough_emit.h"
#include "cycles/rough_region.h"
#include "framework/cycle.h"
#include "framework/output.h"
#include "model/stl_file.h"
#include "model/test_stl_writers.h"
#include "pocket/ccp_record.h"
#include "qdmill/qdmill.h"
#include "support/real_meshes.h"

namespace {

using Clock = std::chrono::steady_clock;

// A part and its box in the frame the run loads it in. The mesh frame (polyCs_o, _x, _y, _z)
// applies to exchange polyhedrons only (an STL file is mapped into the tool system alone): a
// part with a frame is handed over as an exchange polyhedron of its STL triangles. The loaded
// corners are the file's corners expressed in that frame, so its z axis is the file direction
// that points up.
struct Part {
  const char* file;
  const char* frame;  // job lines of the mesh frame, empty for the file's own
  double xmin, ymin, zmin, xmax, ymax, zmax;
};
// ktoolcav.stl: the cavity's parting face is the plane y = 0 of the file (its largest face with
// openings, outward normal -y); the cavity runs into +y from it, with floors at y = 0.05 and
// 1.05. The frame turns file -y up: x stays, file z becomes y, so the parting face lies at z 0
// and the cavity goes down to z -1.625.
constexpr const char* kKtoolcavUp =
    "polyCs_o := 0,0,0\npolyCs_x := 1,0,0\npolyCs_y := 0,0,1\npolyCs_z := 0,-1,0\n";
constexpr Part kParts[] = {
    {"sphere_on_plate.stl", "", 0, 0, -1, 76.4923, 76.4923, 30.8718},
    {"wheel_in_box.stl", "", -100, -100, 0, 100, 100, 50},
    {"ktoolcav.stl", kKtoolcavUp, -2, -1.5, -1.625, 2, 1.8125, 0},
    {"ktoolcor.stl", "", -2, -0.75, -1.5, 2, 1, 1.8125},
    {"pycam-textbox.stl", "", 0, 0, -10, 130, 50, 0},
    {"cone_on_side.stl", "", 0, -9.9987, -10, 20, 9.9987, 9.995},
};

// Buckets of the nested step's time, switched by the nested cycle's framework messages.
enum Bucket {
  kNone,
  kBefore,
  kArguments,
  kLoad,
  kInit,
  kRead,
  kPrepare,
  kCompute,
  kFinish,
  kEnd,
  kCleanup,
  kGap,
  kAfter,
  kBucketCount
};

struct Shares {
  double qdx = 0;     // zcontWritePocket
  double pcf = 0;     // the parameter file, timed on a copy (times the attempts)
  double replay = 0;  // time spent on the copies, taken off the run's time
  double nested = 0;  // levelPocketContour as a whole
  double pof = 0;     // inside the nested cycle's text writers
  std::array<double, kBucketCount> pofIn{};  // the same by the bucket they ran in
  std::array<double, kBucketCount> bucket{};
  int steps = 0;
  int attempts = 0;
  std::set<long long> heights;
};
Shares shares;

struct StepClock {
  Bucket current = kNone;
  Clock::time_point mark;
  void to(Bucket next) {
    const auto now = Clock::now();
    if (current != kNone)
      shares.bucket[current] += std::chrono::duration<double>(now - mark).count();
    mark = now;
    current = next;
  }
};
StepClock clock;

// The nested cycle's writers, each wrapped by a timed forwarder (one per distinct writer).
constexpr int kWrapRoom = 64;
OutputWriterFn wrapped[kWrapRoom];
int wrappedCount = 0;
template <int I>
int timedWriter(CycleRecord* cycle, OutputRecord* record) {
  const auto t0 = Clock::now();
  const int r = wrapped[I](cycle, record);
  const double d = std::chrono::duration<double>(Clock::now() - t0).count();
  shares.pof += d;
  shares.pofIn[clock.current] += d;
  return r;
}
template <int... I>
constexpr std::array<OutputWriterFn, sizeof...(I)> makeForwarders(
    std::integer_sequence<int, I...>) {
  return {timedWriter<I>...};
}
constexpr auto kForwarders = makeForwarders(std::make_integer_sequence<int, kWrapRoom>());

void wrapWriters(CycleRecord* cycle) {
  for (OutputLayer* l = cycle->layers; l != nullptr; l = l->next) {
    OutputWriterFn w = l->textWriter;
    if (w == nullptr) continue;
    bool done = false;
    for (int i = 0; i < kWrapRoom && !done; ++i) done = kForwarders[i] == w;
    for (int i = 0; i < wrappedCount && !done; ++i) {
      if (wrapped[i] == w) {
        l->textWriter = kForwarders[i];
        done = true;
      }
    }
    if (!done && wrappedCount < kWrapRoom) {
      wrapped[wrappedCount] = w;
      l->textWriter = kForwarders[wrappedCount++];
    }
  }
}

void nestedMessage(CycleRecord* cycle, int code, void*) {
  switch (code) {
    case kMsgLayerEnd: wrapWriters(cycle); return;
    case kMsgArgumentsBegin:
      ++shares.attempts;
      clock.to(kArguments);
      return;
    case kMsgLoadBegin: clock.to(kLoad); return;
    case kMsgInitBegin: clock.to(kInit); return;
    case kMsgReadBegin: clock.to(kRead); return;
    case kMsgPrepareBegin: clock.to(kPrepare); return;
    case kMsgComputeBegin: clock.to(kCompute); return;
    case kMsgFinishBegin: clock.to(kFinish); return;
    case kMsgEndBegin: clock.to(kEnd); return;
    case kMsgCleanupBegin: clock.to(kCleanup); return;
    case kMsgCleanupEnd: clock.to(kAfter); return;
    case kMsgArgumentsEnd:
    case kMsgLoadEnd:
    case kMsgInitEnd:
    case kMsgReadEnd:
    case kMsgPrepareEnd:
    case kMsgComputeEnd:
    case kMsgFinishEnd:
    case kMsgEndEnd: clock.to(kGap); return;
    default: return;
  }
}

int timedWrite(const char* file, Kont2D* region, ZPath* paths, int count) {
  const auto t0 = Clock::now();
  const int r = zcontWritePocket(file, region, paths, count, 0);
  shares.qdx += std::chrono::duration<double>(Clock::now() - t0).count();
  return r;
}
int timedWriteAxis(const char* file, Kont2D* region, ZPath* paths, int count) {
  return zcontWriteAxisPocket(file, region, paths, count, 0);
}
int timedPocket(double r, double z, PathList* apt, int stockMode) {
  const auto c0 = Clock::now();
  const int written = levelPocketWritePcf("bench_copy.pcf", r, z, stockMode);
  const double pcf = std::chrono::duration<double>(Clock::now() - c0).count();
  shares.replay += pcf;
  const int attempts = shares.attempts;
  const auto t0 = Clock::now();
  clock.to(kBefore);
  const int res = levelPocketContour(r, z, apt, stockMode);
  clock.to(kNone);
  shares.nested += std::chrono::duration<double>(Clock::now() - t0).count();
  if (written == 1) shares.pcf += pcf * (shares.attempts - attempts);
  ++shares.steps;
  shares.heights.insert(std::llround(z * 1e6));
  return res;
}

// The work folder of the runs, made once and removed with everything in it when the program
// ends (kept, and its name printed, when QDMILL_BENCH_KEEP is set).
struct WorkFolder {
  std::string dir;
  bool made = false;
  ~WorkFolder() {
    std::error_code ec;
    if (std::getenv("QDMILL_BENCH_KEEP") != nullptr) {
      std::printf("work folder kept: %s\n", dir.c_str());
    } else if (made) {
      std::filesystem::remove_all(dir, ec);
    }
  }
};
std::string folder() {
  static WorkFolder work;
  if (work.dir.empty()) {
    char tmpl[] = "/tmp/bench_rough_run_XXXXXX";
    const char* made = mkdtemp(tmpl);
    work.made = made != nullptr;
    work.dir = made != nullptr ? made : ".";
  }
  return work.dir;
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

// The STL file's triangles as an exchange polyhedron in the work folder; its path, or empty.
std::string exchangeCopy(const std::string& stl, const char* name) {
  Tri3List* tris = stlRead(stl.c_str());
  if (tris == nullptr) return "";
  const std::vector<Tri3D> list(tris->items, tris->items + tris->count);
  lstBox3Free(tris);
  const std::string path = folder() + "/" + name + ".qdx";
  writeText(path, qdtest::exchangePolyhedron(list, name));
  return path;
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
  const std::string source = part.frame[0] != '\0' ? exchangeCopy(model, "part") : model;
  if (source.empty()) {
    state.SkipWithError("the part cannot be read");
    return;
  }
  job << "polySource := " << source << "\n"
      << part.frame << "toolType := endMill\ntoolDiameter := " << 2 * r
      << "\nallowance := " << r / 20 << "\nsurface := " << part.zmax
      << "\ndepth := " << part.zmax - part.zmin << "\ninfeedDepth := " << r
      << "\ninfeedLength := " << 1.2 * r << "\nclearancePlane := " << part.zmax + 2 * r
      << "\nstrategy := contourParallel\npofFilename := bench.pof\n";
  writeText("qdRpx5.def", "SystemLanguage := english\n");
  writeText("job.pcf", job.str());
  const RoughPocketOps ops{timedWrite, timedWriteAxis, timedPocket, levelPocketAxis,
                           roughEmitRegion};
  roughSetPocketOps(&ops);
  CycleRecord* nested = ccpCycleRecord();
  nested->messageFn = nestedMessage;
  nested->messageUser = nullptr;
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
  nested->messageFn = nullptr;
  seconds -= shares.replay;
  int moves = 0, pockets = 0;
  double length = 0;
  countMoves("bench.pof", &moves, &length, &pockets);
  state.counters["pockets"] = pockets;
  state.counters["moves"] = moves;
  state.counters["length"] = length;
  const auto& b = shares.bucket;
  const auto& w = shares.pofIn;
  const double pocketing =
      b[kPrepare] + b[kCompute] + b[kFinish] - w[kPrepare] - w[kCompute] - w[kFinish];
  const double roundTrip = shares.qdx + shares.pcf + b[kLoad] + b[kRead] + shares.pof + b[kAfter];
  const double share = seconds > 0 ? 100 / seconds : 0;
  state.counters["levels"] = static_cast<double>(shares.heights.size());
  state.counters["steps"] = static_cast<double>(shares.steps) / std::max(runs, 1);
  state.counters["round_trip_%"] = share * roundTrip;
  state.counters["pocketing_%"] = share * pocketing;
  state.counters["reduce_%"] = share * (b[kBefore] - shares.pcf);
  state.counters["nested_%"] = share * shares.nested;
  {
    std::printf(
        "%s: qdx %.1f ms, pcf %.1f ms, load %.1f ms, read %.1f ms, pof writers %.1f ms, "
        "read-back %.1f ms | before %.1f, args %.1f, init %.1f, prepare %.1f, compute "
        "%.1f, finish %.1f, end %.1f, cleanup %.1f, gaps %.1f ms; attempts %d\n",
        part.file, 1e3 * shares.qdx, 1e3 * shares.pcf, 1e3 * b[kLoad], 1e3 * b[kRead],
        1e3 * shares.pof, 1e3 * b[kAfter], 1e3 * b[kBefore], 1e3 * b[kArguments], 1e3 * b[kInit],
        1e3 * b[kPrepare], 1e3 * b[kCompute], 1e3 * b[kFinish], 1e3 * b[kEnd], 1e3 * b[kCleanup],
        1e3 * b[kGap], shares.attempts);
  }
  state.counters["s_per_run"] = runs > 0 ? seconds / runs : 0;
}
BENCHMARK(BM_RoughRun)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
