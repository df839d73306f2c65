// bench_toolpath_check.cpp - speed of the independent toolpath checker: the gouge check of a
// 10^4-move drop path over sphere_on_plate.stl, and one drop through the plan-box buckets
// against the plain scan of every triangle that stays its oracle.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "toolpath_check.h"

namespace {

struct SpherePlate {
  bool ok = false;
  tpc::Mesh part;
  tpc::Path path;
};

// The part and a path of rows 2 mm apart with points every 0.25 mm at the drop of a radius-3
// ball (no gouge by construction at the points; the check samples between them too).
const SpherePlate& spherePlate() {
  static SpherePlate s = [] {
    SpherePlate r;
    const std::filesystem::path file =
        std::filesystem::path(QDMILL_DATA_DIR) / "sphere_on_plate.stl";
    if (!std::filesystem::exists(file) || !tpc::readStl(file.string(), r.part).ok) return r;
    const tpc::Tool ball = tpc::Tool::ball(3);
    const tpc::MeshIndex index(r.part);
    r.path.passes.push_back(tpc::Pass{"bench", ball, {}, true, {}, {}});
    for (double y = r.part.lo.y; y <= r.part.hi.y; y += 2) {
      tpc::Vec3 prev{r.part.lo.x, y, index.drop(ball, 0, r.part.lo.x, y)};
      for (double x = r.part.lo.x + 0.25; x <= r.part.hi.x; x += 0.25) {
        const tpc::Vec3 p{x, y, index.drop(ball, 0, x, y)};
        tpc::Move m;
        m.from = prev;
        m.to = p;
        r.path.moves.push_back(m);
        prev = p;
      }
    }
    r.ok = true;
    return r;
  }();
  return s;
}

void BM_Gouge3DSpherePlate(benchmark::State& state) {
  const SpherePlate& s = spherePlate();
  if (!s.ok) {
    state.SkipWithError("no sphere_on_plate.stl in the data folder");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(tpc::checkNoGouge3D(s.path, s.part, {.tol = 1e3}).worst);
  state.counters["moves"] = static_cast<double>(s.path.moves.size());
}
BENCHMARK(BM_Gouge3DSpherePlate)->Unit(benchmark::kMillisecond);

void dropBench(benchmark::State& state, bool plain) {
  const SpherePlate& s = spherePlate();
  if (!s.ok) {
    state.SkipWithError("no sphere_on_plate.stl in the data folder");
    return;
  }
  const tpc::MeshIndex index(s.part);
  const tpc::Tool ball = tpc::Tool::ball(3);
  std::size_t i = 0;
  for (auto _ : state) {
    const tpc::Vec3& p = s.path.moves[i++ % s.path.moves.size()].to;
    benchmark::DoNotOptimize(plain ? tpc::dropPlain(s.part, ball, 0, p.x, p.y)
                                   : index.drop(ball, 0, p.x, p.y));
  }
}
void BM_DropBuckets(benchmark::State& state) { dropBench(state, false); }
void BM_DropPlainScan(benchmark::State& state) { dropBench(state, true); }
BENCHMARK(BM_DropBuckets);
BENCHMARK(BM_DropPlainScan);

}  // namespace
