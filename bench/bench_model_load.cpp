// bench_model_load.cpp - load speed of surface files (triangles per second) for binary and text
// STL of a generated terrain and for the real parts, and point drops per second on the real parts
// and on the generated shapes of the test mesh generator: a ball of diameter 1/20 of the part's
// width dropped over a 316 x 316 grid covering the part's box. The real parts are skipped when
// the data folder is absent.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "../tests/model/model_fixture.h"
#include "../tests/model/test_stl_writers.h"
#include "geometry/csys.h"
#include "model/model_load.h"
#include "model/point_drop.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"

namespace {

const char* const kRealParts[] = {"cone_on_side.stl",  "ktoolcav.stl",        "ktoolcor.stl",
                                  "pycam-textbox.stl", "sphere_on_plate.stl", "wheel_in_box.stl"};

std::string realPath(int i) { return qdtest::dataPath(kRealParts[i]); }

// Temporary files of the run, removed at exit.
std::vector<std::string>& scratchFiles() {
  static std::vector<std::string> files;
  return files;
}

// A fresh temporary file name ending in ".stl".
std::string scratchStl() {
  const char* dir = std::getenv("TMPDIR");
  std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/bench_load_XXXXXX.stl";
  const int fd = ::mkstemps(p.data(), 4);
  if (fd < 0) std::abort();
  ::close(fd);
  if (scratchFiles().empty()) {
    std::atexit([] {
      for (const std::string& q : scratchFiles()) ::unlink(q.c_str());
    });
  }
  scratchFiles().push_back(p);
  return p;
}

// A generated terrain of about 200,000 triangles written once per encoding to a temporary file.
const std::string& terrainFile(bool binary) {
  static std::string paths[2];
  std::string& p = paths[binary ? 1 : 0];
  if (p.empty()) {
    p = scratchStl();
    const std::vector<Tri3D> mesh = qdtest::terrainMesh(316, 1000);
    std::ofstream(p, std::ios::binary)
        << (binary ? qdtest::binaryStl(mesh, false) : qdtest::asciiStl(mesh));
  }
  return p;
}

// The generator's shapes (sphere on plate, wheel in box, box with holes, terrain), each written
// once as binary STL.
constexpr int kGeneratedShapes = 4;
const std::string& generatedFile(int shape) {
  static std::string paths[kGeneratedShapes];
  std::string& p = paths[shape];
  if (p.empty()) {
    p = scratchStl();
    if (!qdtest::gen::writeStl(p, qdtest::gen::allShapes()[shape], qdtest::gen::Encoding::kBinary))
      std::abort();
  }
  return p;
}

void loadBench(benchmark::State& state, const std::string& path) {
  csysPrepare();
  long long triangles = 0;
  for (auto _ : state) {
    SurfaceModel m;
    modelInit(&m, 3);
    if (modelLoadFile(&m, path.c_str()) != 0) state.SkipWithError("load failed");
    triangles = m.triangles != nullptr ? m.triangles->count : 0;
    modelFreeContents(&m);
  }
  state.SetItemsProcessed(state.iterations() * triangles);
  state.counters["triangles"] = static_cast<double>(triangles);
}

void BM_LoadTerrainStl(benchmark::State& state) {
  loadBench(state, terrainFile(state.range(0) == 1));
}
BENCHMARK(BM_LoadTerrainStl)->Arg(0)->Arg(1)->ArgName("binary")->Unit(benchmark::kMillisecond);

void BM_LoadRealPart(benchmark::State& state) {
  state.SetLabel(kRealParts[state.range(0)]);
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  loadBench(state, realPath(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LoadRealPart)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Drops of a ball of diameter width / 20 over a 316 x 316 grid across the part's box.
void dropBench(benchmark::State& state, const std::string& path) {
  csysPrepare();
  SurfaceModel m;
  modelInit(&m, 3);
  CutterShape cutter{};
  m.cutter = &cutter;
  if (modelLoadFile(&m, path.c_str()) != 0) {
    state.SkipWithError("load failed");
    return;
  }
  const double width = std::max(m.boxMax.x - m.boxMin.x, m.boxMax.y - m.boxMin.y);
  cutter = qdtest::makeCutter(kCutterBall, width / 40, width / 40);
  modelBuildIndex(&m);
  dropSetTriModel(m.triangles, m.facetMin, m.facetMax, m.boxMin.z, m.boxMax.z, 0);
  constexpr int kSide = 316;
  const double ref = m.boxMax.z + cutter.radius, start = m.boxMin.z - 2 * cutter.radius;
  const double dx = (m.boxMax.x - m.boxMin.x) / (kSide - 1),
               dy = (m.boxMax.y - m.boxMin.y) / (kSide - 1);
  double sum = 0;
  for (auto _ : state) {
    for (int r = 0; r < kSide; ++r) {
      for (int c = 0; c < kSide; ++c) {
        Point3D p{m.boxMin.x + c * dx, m.boxMin.y + r * dy, start};
        const TriangleGridCell* cell = triGridCell(m.grid, p.x, p.y);
        Point3D contact{};
        int kind = 0;
        dropPointTris(&p, ref, &cutter, cell->indices, cell->count, &contact, &kind);
        sum += p.z;
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
  state.counters["triangles"] = m.triangles->count;
  modelFreeContents(&m);
}

void BM_PointDropRealPart(benchmark::State& state) {
  const int part = static_cast<int>(state.range(0));
  state.SetLabel(kRealParts[part]);
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  dropBench(state, realPath(part));
}
BENCHMARK(BM_PointDropRealPart)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void BM_PointDropGeneratedShape(benchmark::State& state) {
  const int shape = static_cast<int>(state.range(0));
  state.SetLabel(qdtest::gen::allShapes()[shape].name);
  dropBench(state, generatedFile(shape));
}
BENCHMARK(BM_PointDropGeneratedShape)
    ->DenseRange(0, kGeneratedShapes - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
