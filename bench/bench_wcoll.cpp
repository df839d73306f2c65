// bench_wcoll.cpp - one-Z contact searches per second of the ball and the torus against K
// candidate triangles (K = 10^2 .. 10^5): slabs of the real sphere-on-plate part and of a
// generated fine sphere, the K triangles nearest the level in height. The search has no grid of
// its own, so its cost grows linearly in K; the counters give the time per candidate triangle
// and the shares of candidates that the height test and the plan-distance test reject.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../tests/model/model_fixture.h"
#include "geometry/plane_geo.h"
#include "model/stl_file.h"
#include "model/wcoll_contact.h"
#include "support/real_meshes.h"

namespace {

enum MeshKind { kRealPart = 0, kFineSphere = 1 };

// A level through the middle of the mesh, with the tool radius and the step length of the
// walker scaled to the part.
struct Level {
  std::vector<Tri3D> tris;  // the whole mesh
  double z = 0, radius = 0, step = 0;
};

const Level* levelOf(int kind) {
  static std::map<int, std::unique_ptr<Level>> cache;
  std::unique_ptr<Level>& slot = cache[kind];
  if (slot) return slot.get();
  auto level = std::make_unique<Level>();
  if (kind == kRealPart) {
    if (!qdtest::realMeshFolderPresent()) return nullptr;
    const std::string path = qdtest::dataPath("sphere_on_plate.stl");
    Tri3List* list = stlRead(path.c_str());
    if (list == nullptr) return nullptr;
    level->tris.assign(list->items, list->items + list->count);
    lstBox3Free(list);
    level->z = 12.0;  // through the sphere, above the plate: part width 76
    level->radius = 3.0;
  } else {
    level->tris = qdtest::sphereMesh(250, 500, 500, 0, 0);  // 250000 triangles
    level->z = 150.0;
    level->radius = 10.0;
  }
  level->step = level->radius / 10;
  slot = std::move(level);
  return slot.get();
}

// Gap between the triangle's height range and z (0 when the range holds z).
double heightGap(const Tri3D& t, double z) {
  const double lo = std::min({t.v[0].z, t.v[1].z, t.v[2].z});
  const double hi = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
  return z < lo ? lo - z : (z > hi ? z - hi : 0.0);
}

// The K triangles of the mesh nearest the level in height, highest corner first order as the
// candidate lists keep them.
std::vector<Tri3D> slabOf(const Level& level, int k) {
  std::vector<Tri3D> tris = level.tris;
  const std::size_t n = std::min<std::size_t>(k, tris.size());
  std::nth_element(tris.begin(), tris.begin() + static_cast<std::ptrdiff_t>(n), tris.end(),
                   [&](const Tri3D& a, const Tri3D& b) {
                     return heightGap(a, level.z) < heightGap(b, level.z);
                   });
  tris.resize(n);
  auto top = [](const Tri3D& t) { return std::max({t.v[0].z, t.v[1].z, t.v[2].z}); };
  std::sort(tris.begin(), tris.end(),
            [&](const Tri3D& a, const Tri3D& b) { return top(a) > top(b); });
  return tris;
}

// Walker-like moves: one step long, random direction, starting anywhere in the slab's plan box.
std::vector<Seg2D> movesOver(const std::vector<Tri3D>& slab, double step) {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Tri3D& t : slab) {
    for (const Point3D& v : t.v) {
      x0 = std::min(x0, v.x);
      y0 = std::min(y0, v.y);
      x1 = std::max(x1, v.x);
      y1 = std::max(y1, v.y);
    }
  }
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> px(x0, x1), py(y0, y1), angle(0, 2 * 3.141592653589793);
  std::vector<Seg2D> moves(1024);
  for (Seg2D& m : moves) {
    const double x = px(rng), y = py(rng), a = angle(rng);
    m = Seg2D{x, y, x + step * std::cos(a), y + step * std::sin(a)};
  }
  return moves;
}

// Shares of candidate tests that the height test and the plan test reject, with the rules of
// the search (height: every corner below z - depth; plan: every corner farther than the radius
// on one side of the move's line).
std::pair<double, double> rejectShares(const std::vector<Tri3D>& slab,
                                       const std::vector<Seg2D>& moves, double z, double depth,
                                       double radius) {
  long long height = 0, plan = 0, total = 0;
  for (const Seg2D& m : moves) {
    double a = 0, b = 0, c = 0;
    geoLineEq(m, &a, &b, &c);
    for (const Tri3D& t : slab) {
      ++total;
      if (t.v[0].z < z - depth && t.v[1].z < z - depth && t.v[2].z < z - depth) {
        ++height;
        continue;
      }
      const double d[3] = {a * t.v[0].x + b * t.v[0].y + c, a * t.v[1].x + b * t.v[1].y + c,
                           a * t.v[2].x + b * t.v[2].y + c};
      if ((d[0] > radius && d[1] > radius && d[2] > radius) ||
          (d[0] < -radius && d[1] < -radius && d[2] < -radius)) {
        ++plan;
      }
    }
  }
  return {static_cast<double>(height) / total, static_cast<double>(plan) / total};
}

void BM_ToolContact(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  const auto type = static_cast<std::int32_t>(state.range(2));
  const Level* level = levelOf(kind);
  if (level == nullptr) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  if (static_cast<std::size_t>(k) > level->tris.size()) {
    state.SkipWithError("the mesh has fewer triangles than K");
    return;
  }
  const std::vector<Tri3D> slab = slabOf(*level, k);
  const std::vector<Seg2D> moves = movesOver(slab, level->step);
  Tri3List* list = lstTri3New(k);
  for (const Tri3D& t : slab) lstTri3Append(list, t);
  CollCtx ctx{};
  ctx.triangles = list;
  const double corner = type == kCutterBall ? level->radius : level->radius / 3;
  const WalkTool tool{level->radius, corner, type};
  long long contacts = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    WcollContact out{};
    contacts += wcollToolContact(&ctx, &tool, level->z, moves[i++ & 1023], &out) > 0;
    benchmark::DoNotOptimize(out);
  }
  lstBox3Free(list);
  const auto [heightShare, planShare] = rejectShares(slab, moves, level->z, corner, level->radius);
  state.SetItemsProcessed(state.iterations());
  state.counters["ns_per_tri"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * k,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["height_reject"] = heightShare;
  state.counters["plan_reject"] = planShare;
  state.counters["contact_share"] = static_cast<double>(contacts) / state.iterations();
}

void contactArgs(benchmark::internal::Benchmark* b) {
  for (int type : {kCutterBall, kCutterTorus}) {
    for (int k : {100, 1000, 7570}) b->Args({kRealPart, k, type});
    for (int k : {100, 1000, 10000, 100000}) b->Args({kFineSphere, k, type});
  }
  b->ArgNames({"mesh", "K", "cutter"});
}

BENCHMARK(BM_ToolContact)->Apply(contactArgs)->MinTime(0.3);

}  // namespace
