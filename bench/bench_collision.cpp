// bench_collision.cpp - holder collision queries per second: a revolved holder body of about
// 2,000 triangles, tilted up to 30 degrees and placed near the surface of a part (the real
// ktoolcav and sphere-on-plate meshes, generated terrains of 10^5 and 10^6 triangles), asked
// whether it meets the part. The box tree against testing every triangle pair (with a box check
// per pair); the part body in grid-cell order, in the loader's height order and shuffled, to
// show how much the tree's quality rests on the order of the list.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "../tests/model/model_fixture.h"
#include "geometry/lists.h"
#include "geometry/matrix4.h"
#include "model/coll_object.h"
#include "model/holder_model.h"
#include "model/stl_file.h"
#include "model/tool_profile.h"
#include "support/real_meshes.h"

namespace {

enum PartKind { kKtoolcav = 0, kSphereOnPlate = 1, kTerrain1e5 = 2, kTerrain1e6 = 3 };
enum BodyOrder { kGridOrder = 0, kHeightOrder = 1, kShuffled = 2 };
constexpr int kQueries = 256;

struct Query {
  Matrix4 placement;
  float position[3];
};

// One part with its three bodies, the holder body sized to the part, and random queries.
struct Scene {
  std::unique_ptr<qdtest::TriModel> model;
  TriFList* bodies[3] = {nullptr, nullptr, nullptr};
  CollisionObject* objects[3] = {nullptr, nullptr, nullptr};
  TriFList* holder = nullptr;
  CollisionObject* holderObject = nullptr;
  std::vector<Query> queries;
  ~Scene() {
    for (int i = 0; i < 3; ++i) {
      collObjectFree(objects[i]);
      lstTriFFree(bodies[i]);
    }
    collObjectFree(holderObject);
    lstTriFFree(holder);
  }
};

std::vector<Tri3D> partTriangles(int kind) {
  if (kind == kTerrain1e5) return qdtest::terrainMesh(224, 500);
  if (kind == kTerrain1e6) return qdtest::terrainMesh(707, 500);
  const char* name = kind == kKtoolcav ? "ktoolcav.stl" : "sphere_on_plate.stl";
  const std::string path = qdtest::dataPath(name);
  Tri3List* list = stlRead(path.c_str());
  if (list == nullptr) return {};
  std::vector<Tri3D> tris(list->items, list->items + list->count);
  lstBox3Free(list);
  return tris;
}

// A holder of scale s: a shank of radius 0.02 s from 0.05 s, a cone out to 0.06 s and a body up
// to 0.5 s, revolved into about 2,000 triangles.
TriFList* holderBody(double s) {
  ToolProfile* p = profileNew(4);
  profileAppendSegment(p, ProfileSegment{0, 0.05 * s, 0.02 * s, 0.05 * s}, kProfileHolder);
  profileAppendSegment(p, ProfileSegment{0.02 * s, 0.05 * s, 0.02 * s, 0.2 * s}, kProfileHolder);
  profileAppendSegment(p, ProfileSegment{0.02 * s, 0.2 * s, 0.06 * s, 0.3 * s}, kProfileHolder);
  profileAppendSegment(p, ProfileSegment{0.06 * s, 0.3 * s, 0.06 * s, 0.5 * s}, kProfileHolder);
  // 320 sectors at the largest radius, 185 at the shank.
  TriFList* body = holderRevolveProfile(p, 0.06 * s * (1 - std::cos(std::numbers::pi / 319.5)));
  profileFree(p);
  return body;
}

// The placement whose rows are the frame of the axis a (z along a).
Matrix4 frameOf(const Point3D& a) {
  Matrix4 m;
  matIdentity(&m);
  Point3D y = vecCross(a, Point3D{0, 0, 1});
  const double ly = vecLength(y);
  if (ly < 1e-9) return m;
  y = vecScale(1 / ly, y);
  Point3D x = vecCross(y, a);
  x = vecScale(1 / vecLength(x), x);
  matFromAxes(x, y, a, &m);
  return m;
}

const Scene* sceneOf(int kind) {
  static std::map<int, std::unique_ptr<Scene>> cache;
  std::unique_ptr<Scene>& slot = cache[kind];
  if (slot) return slot.get();
  const std::vector<Tri3D> tris = partTriangles(kind);
  if (tris.empty()) return nullptr;
  auto scene = std::make_unique<Scene>();
  scene->model = std::make_unique<qdtest::TriModel>(tris, qdtest::makeCutter(kCutterBall, 1, 1));
  SurfaceModel& m = scene->model->m;
  modelBuildIndex(&m);
  scene->bodies[kGridOrder] = holderModelBody(&m);
  std::vector<Tri3D> height(m.triangles->items, m.triangles->items + m.triangles->count);
  scene->bodies[kHeightOrder] = qdtest::floatTriList(height);
  std::mt19937_64 shuffle(5);
  std::shuffle(height.begin(), height.end(), shuffle);
  scene->bodies[kShuffled] = qdtest::floatTriList(height);
  for (int i = 0; i < 3; ++i) scene->objects[i] = collObjectNew(scene->bodies[i]);

  // The holder's scale: the part's width, or 40 for the terrains (hills 16 high over 500).
  const double size = kind == kTerrain1e5 || kind == kTerrain1e6
                          ? 40.0
                          : std::max(m.boxMax.x - m.boxMin.x, m.boxMax.y - m.boxMin.y);
  scene->holder = holderBody(size);
  scene->holderObject = collObjectNew(scene->holder);
  // Tool tips a little above or below random surface points, axes tilted up to 30 degrees.
  std::mt19937_64 rng(29);
  std::uniform_int_distribution<int> pick(0, m.triangles->count - 1);
  std::uniform_real_distribution<double> u(0, 1);
  for (int q = 0; q < kQueries; ++q) {
    const Tri3D& t = m.triangles->items[pick(rng)];
    const double tilt = std::numbers::pi / 6 * u(rng), azimuth = 2 * std::numbers::pi * u(rng);
    const Point3D axis{std::sin(tilt) * std::cos(azimuth), std::sin(tilt) * std::sin(azimuth),
                       std::cos(tilt)};
    Query query;
    query.placement = frameOf(axis);
    query.position[0] = static_cast<float>((t.v[0].x + t.v[1].x + t.v[2].x) / 3);
    query.position[1] = static_cast<float>((t.v[0].y + t.v[1].y + t.v[2].y) / 3);
    // On the gentle terrains the holder's foot goes down to about the surface.
    const double low = kind == kTerrain1e5 || kind == kTerrain1e6 ? 0.07 : 0.02;
    query.position[2] =
        static_cast<float>((t.v[0].z + t.v[1].z + t.v[2].z) / 3 + size * (0.08 * u(rng) - low));
    scene->queries.push_back(query);
  }
  slot = std::move(scene);
  return slot.get();
}

void placeHolder(const Scene& s, const Query& q) {
  collObjectSetPlacement(s.holderObject, q.placement);
  collObjectUpdate(s.holderObject);
  collObjectSetPosition(s.holderObject, q.position[0], q.position[1], q.position[2]);
}

void BM_TreeQuery(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int order = static_cast<int>(state.range(1));
  const Scene* s = sceneOf(kind);
  if (s == nullptr) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  collObjectResetState();
  long long hits = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const Query& q = s->queries[i++ % kQueries];
    placeHolder(*s, q);
    hits += collObjectsIntersect(s->objects[order], s->holderObject, 0, nullptr);
  }
  const CollStats st = collObjectGetStats();
  const double n = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.counters["part_tris"] = s->bodies[order]->count;
  state.counters["holder_tris"] = s->holder->count;
  state.counters["tri_tests_per_query"] = static_cast<double>(st.triTests) / n;
  state.counters["box_tests_per_query"] = static_cast<double>(st.boxTests) / n;
  state.counters["hit_share"] = static_cast<double>(hits) / n;
}

// Every pair of triangles, placed once per query, with a box check per pair before the exact
// test; stops at the first meeting pair like the tree query. Counts disagreements with the tree.
void BM_BruteQuery(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const Scene* s = sceneOf(kind);
  if (s == nullptr) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  const CollisionObject* part = s->objects[kHeightOrder];
  const int np = part->triangles->count;
  std::vector<Tri3D> partTris(static_cast<std::size_t>(np));
  std::vector<std::array<double, 6>> partBoxes(static_cast<std::size_t>(np));
  auto boxOf = [](const Tri3D& t) {
    std::array<double, 6> b{t.v[0].x, t.v[0].y, t.v[0].z, t.v[0].x, t.v[0].y, t.v[0].z};
    for (const Point3D& v : t.v) {
      b[0] = std::min(b[0], v.x), b[1] = std::min(b[1], v.y), b[2] = std::min(b[2], v.z);
      b[3] = std::max(b[3], v.x), b[4] = std::max(b[4], v.y), b[5] = std::max(b[5], v.z);
    }
    return b;
  };
  for (int i = 0; i < np; ++i) {
    collObjectPlacedTriangle(part, i, &partTris[static_cast<std::size_t>(i)]);
    partBoxes[static_cast<std::size_t>(i)] = boxOf(partTris[static_cast<std::size_t>(i)]);
  }
  long long hits = 0, triTests = 0, mismatches = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const Query& q = s->queries[i++ % kQueries];
    placeHolder(*s, q);
    int hit = 0;
    for (int h = 0; h < s->holder->count && hit == 0; ++h) {
      Tri3D ht;
      collObjectPlacedTriangle(s->holderObject, h, &ht);
      const std::array<double, 6> hb = boxOf(ht);
      for (int p = 0; p < np; ++p) {
        const std::array<double, 6>& pb = partBoxes[static_cast<std::size_t>(p)];
        if (pb[3] < hb[0] || hb[3] < pb[0] || pb[4] < hb[1] || hb[4] < pb[1] || pb[5] < hb[2] ||
            hb[5] < pb[2]) {
          continue;
        }
        ++triTests;
        if (collTriTriIntersect(partTris[static_cast<std::size_t>(p)], ht) == 1) {
          hit = 1;
          break;
        }
      }
    }
    hits += hit;
    state.PauseTiming();
    mismatches += hit != collObjectsIntersect(s->objects[kGridOrder], s->holderObject, 0, nullptr);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.counters["tri_tests_per_query"] = static_cast<double>(triTests) / n;
  state.counters["hit_share"] = static_cast<double>(hits) / n;
  state.counters["mismatches"] = static_cast<double>(mismatches);
}

void treeArgs(benchmark::internal::Benchmark* b) {
  for (int kind : {kKtoolcav, kSphereOnPlate, kTerrain1e5, kTerrain1e6}) {
    for (int order : {kGridOrder, kHeightOrder, kShuffled}) b->Args({kind, order});
  }
  b->ArgNames({"part", "order"});
}

BENCHMARK(BM_TreeQuery)->Apply(treeArgs)->MinTime(0.5);
BENCHMARK(BM_BruteQuery)
    ->Arg(kKtoolcav)
    ->Arg(kSphereOnPlate)
    ->Arg(kTerrain1e5)
    ->ArgName("part")
    ->MinTime(2.0);
BENCHMARK(BM_BruteQuery)->Arg(kTerrain1e6)->ArgName("part")->Iterations(8);

}  // namespace
