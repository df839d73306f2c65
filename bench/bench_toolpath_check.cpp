// bench_toolpath_check.cpp - speed of the independent toolpath checker: the gouge check of a
// 10^4-move drop path over a sphere on a plate (argument 0: the real sphere_on_plate.stl, skipped
// without the data folder; 1: the generated one), and one drop through the plan-box buckets
// against the plain scan of every triangle that stays its oracle.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "toolpath_check.h"

namespace {

struct SpherePlate {
  bool ok = false;
  tpc::Mesh part;
  tpc::Path path;
};

// The part (real or generated; ok false when the real one is missing) and a path of rows 2 mm
// apart with points every 0.25 mm at the drop of a radius-3 ball (no gouge by construction at the
// points; the check samples between them too).
SpherePlate makeSpherePlate(bool generated) {
  SpherePlate r;
  if (generated) {
    std::vector<tpc::Triangle> tris;
    for (const qdtest::gen::Tri& t : qdtest::gen::sphereOnPlate(48, 96).tris) {
      tpc::Triangle c;
      for (int k = 0; k < 3; ++k) c.v[k] = tpc::Vec3{t.v[k].x, t.v[k].y, t.v[k].z};
      tris.push_back(c);
    }
    r.part = tpc::makeMesh(std::move(tris));
  } else if (!qdtest::realMeshFolderPresent() ||
             !tpc::readStl(qdtest::dataPath("sphere_on_plate.stl"), r.part).ok) {
    return r;
  }
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
}

// The part of the benchmark's first argument (0 real, 1 generated), made once; null (and the
// benchmark skipped) when the real one is missing.
const SpherePlate* spherePlate(benchmark::State& state) {
  static const SpherePlate parts[2] = {makeSpherePlate(false), makeSpherePlate(true)};
  const bool generated = state.range(0) == 1;
  state.SetLabel(generated ? "generated sphere on plate" : "sphere_on_plate.stl");
  if (!parts[generated ? 1 : 0].ok) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return nullptr;
  }
  return &parts[generated ? 1 : 0];
}

void BM_Gouge3DSpherePlate(benchmark::State& state) {
  const SpherePlate* s = spherePlate(state);
  if (s == nullptr) return;
  for (auto _ : state)
    benchmark::DoNotOptimize(tpc::checkNoGouge3D(s->path, s->part, {.tol = 1e3}).worst);
  state.counters["moves"] = static_cast<double>(s->path.moves.size());
  state.counters["triangles"] = static_cast<double>(s->part.triangles.size());
}
BENCHMARK(BM_Gouge3DSpherePlate)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("generated")
    ->Unit(benchmark::kMillisecond);

void dropBench(benchmark::State& state, bool plain) {
  const SpherePlate* s = spherePlate(state);
  if (s == nullptr) return;
  const tpc::MeshIndex index(s->part);
  const tpc::Tool ball = tpc::Tool::ball(3);
  std::size_t i = 0;
  for (auto _ : state) {
    const tpc::Vec3& p = s->path.moves[i++ % s->path.moves.size()].to;
    benchmark::DoNotOptimize(plain ? tpc::dropPlain(s->part, ball, 0, p.x, p.y)
                                   : index.drop(ball, 0, p.x, p.y));
  }
}
void BM_DropBuckets(benchmark::State& state) { dropBench(state, false); }
void BM_DropPlainScan(benchmark::State& state) { dropBench(state, true); }
BENCHMARK(BM_DropBuckets)->Arg(0)->Arg(1)->ArgName("generated");
BENCHMARK(BM_DropPlainScan)->Arg(0)->Arg(1)->ArgName("generated");

}  // namespace
