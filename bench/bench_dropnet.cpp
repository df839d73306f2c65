// bench_dropnet.cpp - nodes per second of the float drop net's fill: a ball of diameter
// max(box x, box y) / 20 dropped on a 316 x 316 net over the model box, on the real parts of
// ../shared/data when present (sphere_on_plate, ktoolcav, pycam-textbox) and on a generated
// sphere on a plate. The figures compare with a single-thread batch drop of another library on
// the same cutter and point count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../tests/model/model_fixture.h"
#include "model/stl_file.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"
#include "zlevel/drop_net.h"

namespace {

constexpr int kNodes = 316;

std::vector<Tri3D> realMesh(const std::string& name) {
  std::vector<Tri3D> tris;
  Tri3List* l = stlRead(qdtest::dataPath(name).c_str());
  if (l != nullptr) tris.assign(l->items, l->items + l->count);
  lstBox3Free(l);
  return tris;
}

std::vector<Tri3D> generatedMesh() {
  std::vector<Tri3D> tris;
  for (const qdtest::gen::Tri& t : qdtest::gen::sphereOnPlate().tris) {
    Tri3D d{};
    for (int k = 0; k < 3; ++k) d.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    tris.push_back(d);
  }
  return tris;
}

void fillBench(benchmark::State& state, const std::vector<Tri3D>& tris) {
  if (tris.empty()) {
    state.SkipWithError("mesh not available (real-mesh folder missing)");
    return;
  }
  qdtest::TriModel tm(tris, qdtest::makeCutter(kCutterBall, 1, 1));
  SurfaceModel& m = tm.m;
  const double dx = m.boxMax.x - m.boxMin.x, dy = m.boxMax.y - m.boxMin.y;
  const double radius = std::max(dx, dy) / 40.0;
  *m.cutter = qdtest::makeCutter(kCutterBall, radius, radius);
  m.floorZ = m.boxMin.z - 10.0;
  m.ceilingZ = m.boxMax.z + 100.0;
  m.restrictToBoundary = 1;
  modelBuildIndex(&m);
  FloatDropNet* net =
      fDropNetNew(m.boxMin.x, m.boxMin.y, kNodes, kNodes, dy / (kNodes - 1), dx / (kNodes - 1));
  std::int64_t nodes = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fDropNetFill(net, &m, nullptr, radius, radius));
    nodes += static_cast<std::int64_t>(kNodes) * kNodes;
  }
  state.counters["nodes/s"] =
      benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
  state.counters["triangles"] = static_cast<double>(m.triangles->count);
  fDropNetFree(net);
}

void BM_DropNetSphereOnPlate(benchmark::State& s) { fillBench(s, realMesh("sphere_on_plate.stl")); }
void BM_DropNetKtoolcav(benchmark::State& s) { fillBench(s, realMesh("ktoolcav.stl")); }
void BM_DropNetTextbox(benchmark::State& s) { fillBench(s, realMesh("pycam-textbox.stl")); }
void BM_DropNetGeneratedSphereOnPlate(benchmark::State& s) { fillBench(s, generatedMesh()); }

BENCHMARK(BM_DropNetSphereOnPlate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropNetKtoolcav)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropNetTextbox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropNetGeneratedSphereOnPlate)->Unit(benchmark::kMillisecond);

}  // namespace
