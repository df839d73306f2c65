// Moves per second through the 3D output layer into POF text: 3-axis and 5-axis moves, written as
// G-code lines (NC mode 0) or with feed runs collected in the NC point buffer and written as
// spline blocks (NC mode 1). Runs of 200 feed moves along a wave, each ended by two rapids.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/pof_writer.h"
#include "output/out3d_moves.h"
#include "output/out3d_state.h"

namespace {
constexpr int kRunLength = 200;
constexpr int kMovesPerIteration = 10 * (kRunLength + 2);

// A cycle whose layers write POF text into a temporary file; the file is rewound every iteration
// so that it stays small.
struct PofSink {
  PofSink() {
    rec.parent = &cycKernel;
    rec.title = "bench";
    out = std::tmpfile();
    pofResetState();
    pofSetOutput(out);
    for (std::uint16_t layer : {0, 10, 12, 31, 32}) {
      cycRegisterLayer(&rec, layer, pofTextWriterFor(layer), nullptr, 1);
    }
    cycSendTextRecord(&rec, 0, 103, "cycle", rec.title);
    out3dSetCycle(&rec);
  }
  ~PofSink() {
    out3dResetState();
    out3dSetCycle(nullptr);
    cycFreeLayers(&rec);
    pofResetState();
    if (out != nullptr) std::fclose(out);
  }
  CycleRecord rec;
  std::FILE* out = nullptr;
};

void start(int ncMode) {
  out3dSetNcMode(ncMode);
  out3dResetState();
  TechnologyRecord t;
  t.feed = 1000;
  t.plungeFeed = 200;
  t.reducedFeed = 500;
  t.spindleSpeed = 8000;
  out3dWriteTechnology(&t);
  out3dStartLiteral();
}

// Ten runs: a rapid down to the run's start, the feed run along a wave, a rapid up.
template <bool FiveAxis>
void emitRuns(double shift) {
  for (int r = 0; r < 10; ++r) {
    const double y = shift + r * 2.0;
    if (FiveAxis)
      out3dSetToolAxis(
          {0, std::sin(y * 0.01) * 0.3, std::sqrt(1 - 0.09 * std::pow(std::sin(y * 0.01), 2))});
    auto move = FiveAxis ? out3dMove5Axis : out3dMove3Axis;
    move({0, y, 1}, kOut3dRapid);
    for (int i = 0; i < kRunLength; ++i) {
      const double x = i * 0.5;
      move({x, y + 0.3 * std::sin(x * 0.2), -1 + 0.2 * std::cos(x * 0.1)}, kOut3dFeed);
    }
    move({kRunLength * 0.5, y, 20}, kOut3dRapid);
  }
}

template <bool FiveAxis>
void BM_Out3dMoves(benchmark::State& state) {
  PofSink sink;
  start(static_cast<int>(state.range(0)));
  double shift = 0;
  for (auto _ : state) {
    std::rewind(sink.out);
    emitRuns<FiveAxis>(shift);
    shift += 0.001;  // no run repeats the last one exactly
  }
  out3dFlushLiteral();
  state.SetItemsProcessed(state.iterations() * kMovesPerIteration);
  state.SetLabel(state.range(0) == 0 ? "G-code lines" : "spline blocks");
}
BENCHMARK(BM_Out3dMoves<false>)->Name("Move3Axis")->Arg(0)->Arg(1);
BENCHMARK(BM_Out3dMoves<true>)->Name("Move5Axis")->Arg(0)->Arg(1);
}  // namespace
