// bench_walker_step.cpp - step searches of the contour walker per second, on step circles taken
// along real contours: a level slab of the real sphere-on-plate part and generated spheres of
// 10^3 to 10^5 triangles, for the ball and the torus. The grids are capped at 30 x 30 cells, so a
// finer mesh puts more triangles into each cell; the counters give the triangles that a step's
// cell lists and the time per listed triangle.
//
// The circles come from a plain walk: from the first contact found on a ray into the part, each
// circle is centred one radius ahead of the last position, and the position found becomes the
// next one, until the walk comes back to its start.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../tests/model/model_fixture.h"
#include "geometry/lists.h"
#include "geometry/triangle_grid.h"
#include "model/cutter_shape.h"
#include "model/stl_file.h"
#include "support/real_meshes.h"
#include "zlevel/walker.h"

namespace {

enum MeshKind { kRealSlab = 0, kSphere1e3 = 1, kSphere1e4 = 2, kSphere1e5 = 3 };

struct Mesh {
  std::vector<Tri3D> tris;
  double z = 0;       // the level
  double radius = 0;  // tool radius
  double xStart = 0;  // the ray into the part runs from here towards -x at y = yStart
  double yStart = 0;
};

const Mesh* meshOf(int kind) {
  static std::map<int, std::unique_ptr<Mesh>> cache;
  std::unique_ptr<Mesh>& slot = cache[kind];
  if (slot) return slot.get();
  auto mesh = std::make_unique<Mesh>();
  if (kind == kRealSlab) {
    if (!qdtest::realMeshFolderPresent()) return nullptr;
    Tri3List* list = stlRead(qdtest::dataPath("sphere_on_plate.stl").c_str());
    if (list == nullptr) return nullptr;
    mesh->z = 20.0;  // through the sphere, above the plate
    mesh->radius = 3.0;
    // The level's slab: triangles within the tool radius (and one more) of the level.
    double xmax = -1e300, ysum = 0;
    int ycount = 0;
    for (int i = 0; i < list->count; ++i) {
      const Tri3D& t = list->items[i];
      const double lo = std::min({t.v[0].z, t.v[1].z, t.v[2].z});
      const double hi = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
      if (hi < mesh->z - mesh->radius - 1 || lo > mesh->z + mesh->radius + 1) continue;
      mesh->tris.push_back(t);
      for (const Point3D& v : t.v) {
        xmax = std::max(xmax, v.x);
        ysum += v.y;
        ++ycount;
      }
    }
    lstBox3Free(list);
    mesh->xStart = xmax + 2 * mesh->radius;
    mesh->yStart = ysum / ycount;
  } else {
    const int stacks = kind == kSphere1e3 ? 16 : (kind == kSphere1e4 ? 50 : 158);
    mesh->tris = qdtest::sphereMesh(stacks, 2 * stacks, 60, 0, 0);
    mesh->z = 20.0;
    mesh->radius = 10.0;
    mesh->xStart = 60 + 3 * mesh->radius;
    mesh->yStart = 0.3;
  }
  slot = std::move(mesh);
  return slot.get();
}

struct Walk {
  Tri3List* list = nullptr;
  CollCtx ctx{};
  WalkTool tool{};
  WalkParams params{};
  std::vector<StepCircle> circles;
  double cellTriangles = 0;  // mean count of the triangle cell of a circle

  Walk(const Mesh& mesh, int type) {
    list = lstTri3New(static_cast<int>(mesh.tris.size()));
    for (const Tri3D& t : mesh.tris) lstTri3Append(list, t);
    ctx.triangles = list;
    tool = WalkTool{mesh.radius, type == kCutterBall ? mesh.radius : mesh.radius / 3, type};
    params.z = mesh.z;
    params.step = 1.0;
    if (offs3dPrepare(&ctx, &tool, &params) != 1) return;
    trace(mesh);
  }
  ~Walk() {
    offs3dRelease(&ctx, &tool, &params);
    lstBox3Free(list);
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  int search(const StepCircle& sc, Point3D* found) {
    Point3D contact{};
    int id = 0, kind = 0;
    return offs3dNextPoint(&ctx, &tool, &params,
                           triGridCell(params.triGrid, sc.centreX, sc.centreY), nullptr, &sc, found,
                           &contact, &id, &kind);
  }

  void trace(const Mesh& mesh) {
    constexpr double r = 0.25;
    // The first contact on the ray towards -x; the previous point lies behind, outside.
    Point3D q{}, u{};
    bool started = false;
    for (double x = mesh.xStart; x > mesh.xStart - 200 && !started; x -= 0.1) {
      const StepCircle sc{x + r, mesh.yStart, x, mesh.yStart, r, 1};
      Point3D found{};
      if (search(sc, &found) == 1) {
        q = found;
        u = Point3D{found.x, found.y - 0.1, mesh.z};  // walking towards +y, the part on the left
        started = true;
      }
    }
    if (!started) return;
    const Point3D start = q;
    for (int step = 0; step < 20000; ++step) {
      const double dx = q.x - u.x, dy = q.y - u.y, len = std::hypot(dx, dy);
      if (len < 1e-9) break;
      const StepCircle sc{q.x, q.y, q.x + r * dx / len, q.y + r * dy / len, r, 1};
      circles.push_back(sc);
      Point3D f{};
      if (search(sc, &f) != 1) break;
      u = q;
      q = f;
      if (step > 20 && std::hypot(q.x - start.x, q.y - start.y) < 2 * r) break;
    }
    double sum = 0;
    for (const StepCircle& sc : circles) {
      sum += triGridCell(params.triGrid, sc.centreX, sc.centreY)->count;
    }
    cellTriangles = circles.empty() ? 0 : sum / static_cast<double>(circles.size());
  }
};

void BM_WalkerStep(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const auto type = static_cast<int>(state.range(1));
  const Mesh* mesh = meshOf(kind);
  if (mesh == nullptr) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  Walk walk(*mesh, type);
  if (walk.circles.size() < 50) {
    state.SkipWithError("the walk found no contour");
    return;
  }
  std::size_t i = 0;
  long long found = 0;
  for (auto _ : state) {
    Point3D p{};
    found += walk.search(walk.circles[i], &p) == 1;
    benchmark::DoNotOptimize(p);
    if (++i == walk.circles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["triangles"] = static_cast<double>(mesh->tris.size());
  state.counters["grid"] = walk.params.triGrid->rows * walk.params.triGrid->columns;
  state.counters["tris_per_cell"] = walk.cellTriangles;
  state.counters["ns_per_cell_tri"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * walk.cellTriangles,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["circles"] = static_cast<double>(walk.circles.size());
  state.counters["found_share"] = static_cast<double>(found) / state.iterations();
}

void stepArgs(benchmark::internal::Benchmark* b) {
  for (int type : {kCutterBall, kCutterTorus}) {
    for (int kind : {kRealSlab, kSphere1e3, kSphere1e4, kSphere1e5}) b->Args({kind, type});
  }
  b->ArgNames({"mesh", "cutter"});
}

BENCHMARK(BM_WalkerStep)->Apply(stepArgs)->MinTime(0.3);

}  // namespace

// ---- closed walks
// ---------------------------------------------------------------------------------

#include "geometry/pko_list.h"
#include "model/wcoll_contact.h"

namespace {

long long gSearches = 0;
int countedSearch(const CollCtx* ctx, const WalkTool* tool, const WalkParams* params,
                  const TriangleGridCell* triCell, const TriangleGridCell* wallCell,
                  const StepCircle* circle, Point3D* point, Point3D* contact, int* id, int* kind) {
  ++gSearches;
  return offs3dNextPoint(ctx, tool, params, triCell, wallCell, circle, point, contact, id, kind);
}

// One closed walk of the ball around the sphere of the real slab at a tolerance: steps (traced
// segments) per second of the whole trace, the search included.
void BM_ClosedWalk(benchmark::State& state) {
  const double tolerance = state.range(0) == 0 ? 0.1 : (state.range(0) == 1 ? 0.01 : 0.001);
  const Mesh* mesh = meshOf(kRealSlab);
  if (mesh == nullptr) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  Tri3List* list = lstTri3New(static_cast<int>(mesh->tris.size()));
  for (const Tri3D& t : mesh->tris) lstTri3Append(list, t);
  CollCtx ctx{};
  ctx.triangles = list;
  WalkTool tool{mesh->radius, mesh->radius, kCutterBall};
  WalkParams params{};
  params.z = mesh->z;
  params.direction = 1;
  params.tolerance = tolerance;
  // The step length of the level slicing for a ball: twice the chord of the tolerance.
  const double d = tolerance / mesh->radius;
  params.step = std::max(0.05, mesh->radius / (0.25 / std::sqrt(1 - (1 - d) * (1 - d))));
  PkoList* traced = pkoListNew(1024);
  SliceContext slice{};
  slice.traced = traced;
  const Seg2D ray{mesh->xStart, mesh->yStart, mesh->xStart - 200, mesh->yStart};
  WcollContact hit{};
  if (offs3dPrepare(&ctx, &tool, &params) != 1 ||
      wcollToolContact(&ctx, &tool, mesh->z, ray, &hit) != kWcollHit) {
    state.SkipWithError("no start contact");
  } else {
    params.start = hit.segment.end;
    params.startSegment = Seg2D{ray.x1, ray.y1, hit.segment.end.x, hit.segment.end.y};
    long long steps = 0;
    int result = 0;
    gSearches = 0;
    offs3dSetSearch(countedSearch);
    for (auto _ : state) {
      pkoListReset(traced);
      result = offs3dTrace(&ctx, &tool, &params, &slice);
      steps += traced->count;
    }
    offs3dSetSearch(nullptr);
    if (result != 1) state.SkipWithError("the walk did not close");
    state.counters["searches_per_step"] =
        static_cast<double>(gSearches) / static_cast<double>(steps);
    state.SetItemsProcessed(steps);
    state.counters["segments"] = static_cast<double>(traced->count);
    state.counters["step_length"] = params.step;
  }
  offs3dRelease(&ctx, &tool, &params);
  pkoListFree(traced);
  lstBox3Free(list);
}

BENCHMARK(BM_ClosedWalk)->DenseRange(0, 2)->ArgName("tolerance_0.1_0.01_0.001")->MinTime(0.3);

}  // namespace
