// bench_toolpath_check.cpp - speed of the independent toolpath checker: the gouge check of a
// 10^4-move drop path over a sphere on a plate (argument 0: the real sphere_on_plate.stl, skipped
// without the data folder; 1: the generated one), of rings that rest on the drafted walls of a
// pocket and on a drafted round island at a fine tolerance, the link check of the same drop path
// taken as rapids (each judged against the part all along it), and one drop through the plan-box
// buckets against the plain scan of every triangle that stays its oracle.
#include <benchmark/benchmark.h>

#include <cmath>
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

// The drop path with every move a rapid, over a stock below the part: the link check's part rule
// follows each rapid as the gouge check follows feeds.
void BM_Links3DSpherePlateRapids(benchmark::State& state) {
  const SpherePlate* s = spherePlate(state);
  if (s == nullptr) return;
  tpc::Path rapids = s->path;
  for (tpc::Move& m : rapids.moves) m.kind = tpc::MoveKind::Rapid;
  const tpc::Stock stock{s->part.lo.z - 1, 0, 0, 0, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tpc::checkLinks3D(rapids, s->part, stock, {.tol = 1e3}).worst);
  }
  state.counters["moves"] = static_cast<double>(rapids.moves.size());
}
BENCHMARK(BM_Links3DSpherePlateRapids)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("generated")
    ->Unit(benchmark::kMillisecond);

// A pocket [0, 60] x [0, 40] whose walls lean in by 10 degrees below its top z 0, a round island
// of radius 6 about (30, 20) leaning out as much, in 720 facets, and one level 2.5 deep cut by
// the state's cutter (argument 0 flat, 1 ball, 2 torus; radius 5): the outer ring of lines and
// the ring of arcs around the island both rest on the walls, as a contour-parallel pocket's
// outermost rings do.
struct DraftedLevel {
  tpc::Mesh part;
  tpc::Path path;
};

DraftedLevel makeDraftedLevel(const tpc::Tool& tool) {
  const double tanW = std::tan(10 * 3.14159265358979323846 / 180), depth = 2.5;
  const double lo = -12, hi = 10;
  std::vector<tpc::Triangle> tris;
  // The walls: at height z the rectangle shrinks by (top - z) tan w on every side.
  auto corner = [&](int k, double z) {
    const double g = -z * tanW;
    return tpc::Vec3{(k == 0 || k == 3) ? g : 60 - g, (k == 0 || k == 1) ? g : 40 - g, z};
  };
  for (int k = 0; k < 4; ++k) {
    const tpc::Vec3 a = corner(k, hi), b = corner((k + 1) % 4, hi);
    const tpc::Vec3 c = corner((k + 1) % 4, lo), d = corner(k, lo);
    tris.push_back({{a, b, c}});
    tris.push_back({{a, c, d}});
  }
  // The island: at height z its radius is 6 + (top - z) tan w; it stops below its apex.
  const int n = 720;
  const double top = 10;
  auto rim = [&](int k, double z) {
    const double a = 2 * 3.14159265358979323846 * k / n, r = 6 - z * tanW;
    return tpc::Vec3{30 + r * std::cos(a), 20 + r * std::sin(a), z};
  };
  for (int k = 0; k < n; ++k) {
    const tpc::Vec3 a = rim(k, top), b = rim(k + 1, top), c = rim(k + 1, lo), d = rim(k, lo);
    tris.push_back({{a, b, c}});
    tris.push_back({{a, c, d}});
    tris.push_back({{tpc::Vec3{30, 20, top}, a, b}});
  }
  DraftedLevel r;
  r.part = tpc::makeMesh(std::move(tris));
  // Where the cutter rests on a wall leaning by w at this depth: its corner's centre (corner c
  // above the tip, R - c off the axis) keeps c from the wall.
  const double c = tool.corner, cosW = 1 / std::sqrt(1 + tanW * tanW);
  const double off = tool.radius + (depth - c) * tanW + c * (1 / cosW - 1);
  r.path.passes.push_back(tpc::Pass{"bench", tool, {}, true, {}, {}});
  auto feed = [&](tpc::Vec3 from, tpc::Vec3 to, int turn) {
    tpc::Move m;
    m.from = from;
    m.to = to;
    m.turn = turn;
    m.cx = 30;
    m.cy = 20;
    r.path.moves.push_back(m);
  };
  const double z = -depth;
  const tpc::Vec3 q0{off, off, z}, q1{60 - off, off, z}, q2{60 - off, 40 - off, z};
  const tpc::Vec3 q3{off, 40 - off, z};
  feed(q0, q1, 0);
  feed(q1, q2, 0);
  feed(q2, q3, 0);
  feed(q3, q0, 0);
  const double ring = 6 + off;
  const tpc::Vec3 e{30 + ring, 20, z}, w{30 - ring, 20, z};
  feed(q0, w, 0);  // a link over to the island's ring
  feed(w, e, 1);
  feed(e, w, 1);
  return r;
}

void BM_Gouge3DDraftedRings(benchmark::State& state) {
  const tpc::Tool tools[] = {tpc::Tool::flat(5), tpc::Tool::ball(5), tpc::Tool::torus(5, 2)};
  const char* names[] = {"flat", "ball", "torus"};
  const DraftedLevel level = makeDraftedLevel(tools[state.range(0)]);
  const tpc::MeshIndex index(level.part);
  state.SetLabel(names[state.range(0)]);
  tpc::Result r;
  for (auto _ : state) {
    r = tpc::checkNoGouge3D(level.path, index, {.tol = 1e-4});
    benchmark::DoNotOptimize(r.worst);
  }
  // The rings rest on the walls: they pass, and the worst is about 0.
  if (!r.ok || r.worst < -1e-3) state.SkipWithError(r.message.c_str());
  state.counters["moves"] = static_cast<double>(level.path.moves.size());
  state.counters["triangles"] = static_cast<double>(level.part.triangles.size());
}
BENCHMARK(BM_Gouge3DDraftedRings)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

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
