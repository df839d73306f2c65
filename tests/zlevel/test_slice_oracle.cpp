// Sliced levels against brute force: the loops of arczLevelPaths on real and generated parts, for
// flat, ball and torus cutters, at every flat face's height, a hair above and below it and at
// levels in between, against the iso-line of the cutter's exact point drop on a fine grid
// (slice_oracle.h): the same loops by class, nesting, box and area within the grid's resolution
// bound. Small loops the grid cannot resolve are settled on a finer grid around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "gen_triangles.h"
#include "geometry/geo_error.h"
#include "level_fixture.h"
#include "slice_oracle.h"
#include "support/mesh_gen.h"
#include "support/real_meshes.h"

namespace {

using qdtest::OracleLoop;

constexpr double kTol = 0.01;       // the walk's tolerance
constexpr double kNodeStep = 5.0;   // the level net's node step, R / 2
constexpr double kFieldStep = 2.5;  // the oracle's grid step, R / 4
constexpr int kRefine = 8;          // a small loop is settled on a grid this much finer
constexpr double kSmall = 8.0;      // loops within this many grid steps are small

std::string describe(const OracleLoop& l) {
  char text[160];
  std::snprintf(text, sizeof text, "%s loop depth %d area %.3f box %.3f %.3f .. %.3f %.3f",
                l.materialInside ? "material" : "free", l.depth, l.area, l.x0, l.y0, l.x1, l.y1);
  return text;
}

// Heights of the flat faces (horizontal triangles), ascending, one per distinct height.
std::vector<double> flatFaces(const std::vector<Tri3D>& tris) {
  std::set<double> z;
  for (const Tri3D& t : tris)
    if (t.v[0].z == t.v[1].z && t.v[0].z == t.v[2].z) z.insert(t.v[0].z);
  std::vector<double> out;
  for (double v : z)
    if (out.empty() || v - out.back() > 1e-3) out.push_back(v);
  return out;
}

// One part with one cutter: the slice fixture, the point drop and the coarse field around the
// part.
class OraclePart {
 public:
  OraclePart(const std::vector<Tri3D>& tris, int type, double corner)
      : part_(tris, type, corner, kNodeStep), drop_(part_) {
    drop_.install();
    // The part's box grown by the tool and two steps: every node beyond it is free.
    const SurfaceModel& m = part_.model();
    const double g = 10.0 + 2 * kFieldStep;
    field_ = qdtest::heightField(drop_, m.boxMin.x - g, m.boxMin.y - g, m.boxMax.x + g,
                                 m.boxMax.y + g, kFieldStep);
  }
  qdtest::LevelPart& part() { return part_; }
  const qdtest::PointDropper& drop() const { return drop_; }

  // Slices level Z (the corner centre's height) and compares it with the field's loops. Returns
  // the slice's loops.
  std::vector<OracleLoop> check(double Z) {
    SCOPED_TRACE("level " + std::to_string(Z));
    const int r = part_.slice(Z, kTol);
    EXPECT_GE(r, 0) << "slice failed " << r << " at " << geoErrRecord()->file << ":"
                    << geoErrRecord()->line;
    std::vector<OracleLoop> slice = qdtest::sliceLoops(part_, Z);
    drop_.install();
    std::vector<OracleLoop> field = qdtest::isoLoops(field_, Z, drop_);
    const double e = qdtest::resolutionBound(kFieldStep, kTol);
    qdtest::LoopMatch m = qdtest::matchLoops(field, slice, e);
    std::vector<int> extra = m.unmatchedSlice;

    for (std::size_t i = 0; i < field.size(); ++i) {
      if (m.sliceOf[i] >= 0) continue;
      const OracleLoop& f = field[i];
      if (std::max(f.x1 - f.x0, f.y1 - f.y0) > kSmall * kFieldStep) {
        ADD_FAILURE() << "the slice has no " << describe(f);
        continue;
      }
      // A small field loop: is it there on a finer grid, and has the slice it?
      const OracleLoop* fine = settle(f, Z);
      if (fine == nullptr) continue;  // an artefact of the coarse grid
      const int k = takeMatching(*fine, slice, &extra, field);
      if (k < 0) ADD_FAILURE() << "the slice misses the small " << describe(*fine);
    }
    for (int k : extra) {
      const OracleLoop& s = slice[static_cast<std::size_t>(k)];
      const OracleLoop* fine =
          std::max(s.x1 - s.x0, s.y1 - s.y0) <= kSmall * kFieldStep ? settle(s, Z) : nullptr;
      const double ef = qdtest::resolutionBound(kFieldStep / kRefine, kTol);
      if (fine == nullptr || !qdtest::sameLoop(*fine, s, ef) || depthIn(field, *fine) != s.depth)
        ADD_FAILURE() << "the slice has a loop the drop does not: " << describe(s);
    }
    return slice;
  }

 private:
  // The loop of a finer grid around l that is the same loop as l within the fine bound (class
  // and box; the area may differ from a coarse loop's); null when there is none.
  const OracleLoop* settle(const OracleLoop& l, double Z) {
    const double step = kFieldStep / kRefine;
    fine_ = qdtest::loopsNear(drop_, l.x0, l.y0, l.x1, l.y1, 2 * kFieldStep, step, Z);
    const double e = qdtest::resolutionBound(kFieldStep, kTol);
    const OracleLoop* best = nullptr;
    for (const OracleLoop& f : fine_) {
      if (f.materialInside != l.materialInside || std::fabs(f.x0 - l.x0) > e ||
          std::fabs(f.x1 - l.x1) > e || std::fabs(f.y0 - l.y0) > e || std::fabs(f.y1 - l.y1) > e)
        continue;
      if (best == nullptr || f.area > best->area) best = &f;
    }
    return best;
  }

  // The nesting depth of a fine loop among the coarse field's loops.
  static int depthIn(const std::vector<OracleLoop>& field, const OracleLoop& l) {
    int d = 0;
    for (const OracleLoop& f : field)
      if (f.area > l.area && f.contains(l.pts[0])) ++d;
    return d;
  }

  // The slice loop among `open` that is the fine loop within the fine bound and at its depth;
  // removed from `open`. -1 when none.
  static int takeMatching(const OracleLoop& fine, const std::vector<OracleLoop>& slice,
                          std::vector<int>* open, const std::vector<OracleLoop>& field) {
    const double ef = qdtest::resolutionBound(kFieldStep / kRefine, kTol);
    const int depth = depthIn(field, fine);
    for (std::size_t n = 0; n < open->size(); ++n) {
      const OracleLoop& s = slice[static_cast<std::size_t>((*open)[n])];
      if (s.depth == depth && qdtest::sameLoop(fine, s, ef)) {
        const int k = (*open)[n];
        open->erase(open->begin() + static_cast<long>(n));
        return k;
      }
    }
    return -1;
  }

  qdtest::LevelPart part_;
  qdtest::PointDropper drop_;
  qdtest::HeightField field_;
  std::vector<OracleLoop> fine_;
};

struct CutterCase {
  const char* name;
  int type;
  double corner;
};
constexpr CutterCase kCutters[] = {{"flat", 2, 0.0}, {"ball", 1, 10.0}, {"torus", 3, 3.0}};

// Levels of a part for cutter `cutter` of kCutters, a share of them for bounded time: the flat
// faces are dealt out to the three cutters in turn (each face with the tip on it, and 1e-6 below
// or above it, in turn), and each cutter takes `between` levels spread over the part's height,
// offset from the other cutters' levels.
std::vector<double> levelsOf(const std::vector<Tri3D>& tris, int cutter, int between) {
  double lo = 1e300, hi = -1e300;
  for (const Tri3D& t : tris)
    for (const Point3D& v : t.v) lo = std::min(lo, v.z), hi = std::max(hi, v.z);
  const double corner = kCutters[cutter].corner;
  std::vector<double> z;
  const std::vector<double> faces = flatFaces(tris);
  for (std::size_t k = 0; k < faces.size(); ++k) {
    if (static_cast<int>(k % 3) != cutter) continue;
    z.push_back(faces[k] + corner);
    z.push_back(faces[k] + corner + ((k / 3) % 2 == 0 ? -1e-6 : 1e-6));
  }
  for (int k = 0; k < between; ++k)
    z.push_back(lo + (hi - lo) * (k + (cutter + 1) / 4.0) / between + corner);
  return z;
}

// One part sliced with one cutter at its levels.
struct OracleCase {
  const char* part;  // a file of the real-mesh folder, or the name of a generated shape
  int cutter;        // index into kCutters
  bool real;
};

void PrintTo(const OracleCase& c, std::ostream* os) {
  *os << c.part << " " << kCutters[c.cutter].name;
}

std::vector<Tri3D> generated(const std::string& name) {
  if (name == "terrain")
    return qdtest::trianglesOf(qdtest::gen::terrain(32));  // half the cells: time
  for (const qdtest::gen::Mesh& m : qdtest::gen::allShapes())
    if (m.name == name) return qdtest::trianglesOf(m);
  return {};
}

class SliceOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(SliceOracle, LoopsEqualTheDropIsoLines) {
  const OracleCase& k = GetParam();
  if (k.real) QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris =
      k.real ? qdtest::readTriangles(qdtest::dataPath(k.part)) : generated(k.part);
  ASSERT_FALSE(tris.empty());
  qdtest::scaleToTool(tris);
  const CutterCase& c = kCutters[k.cutter];
  OraclePart p(tris, c.type, c.corner);
  for (double Z : levelsOf(tris, k.cutter, 1)) p.check(Z);
}

std::vector<OracleCase> oracleCases() {
  std::vector<OracleCase> out;
  for (const char* f : {"sphere_on_plate.stl", "ktoolcav.stl", "ktoolcor.stl", "pycam-textbox.stl",
                        "wheel_in_box.stl", "cone_on_side.stl"})
    for (int c = 0; c < 3; ++c) out.push_back(OracleCase{f, c, true});
  for (const char* g : {"sphere_on_plate", "wheel_in_box", "box_with_holes", "terrain"})
    for (int c = 0; c < 3; ++c) out.push_back(OracleCase{g, c, false});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Parts, SliceOracle, ::testing::ValuesIn(oracleCases()),
                         [](const ::testing::TestParamInfo<OracleCase>& info) {
                           std::string n = info.param.part;
                           n = n.substr(0, n.find('.'));
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return std::string(info.param.real ? "real_" : "generated_") + n + "_" +
                                  kCutters[info.param.cutter].name;
                         });

// The height of the flat face nearest z (file units scaled), or NaN.
double faceNear(const std::vector<Tri3D>& tris, double z) {
  double best = std::nan("");
  for (double f : flatFaces(tris))
    if (std::isnan(best) || std::fabs(f - z) < std::fabs(best - z)) best = f;
  return std::fabs(best - z) < 0.01 ? best : std::nan("");
}

// A flat end mill exactly at the plate top failed the level with -5 ("nothing added"): the face
// and the top edges of the plate's sides became walls around every free node. Brute force gives
// one loop of area 1000.4 (file units) around the sphere.
TEST(SliceOracleFaults, FlatEndMillAtThePlateTop) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath("sphere_on_plate.stl"));
  ASSERT_FALSE(tris.empty());
  const double s = qdtest::scaleToTool(tris);
  const double face = faceNear(tris, 14.9359 * s);
  ASSERT_FALSE(std::isnan(face));
  OraclePart p(tris, 2, 0.0);
  const std::vector<OracleLoop> loops = p.check(face);
  ASSERT_EQ(loops.size(), 1u);
  const double e = qdtest::resolutionBound(kFieldStep, kTol);
  EXPECT_NEAR(loops[0].area, 1000.4 * s * s, loops[0].perimeter * e + 0.05 * s * s);
}

// A slot a little wider than a flat end mill, running between two rows of the level net's nodes,
// held no node and was never traced: 4 loops where brute force gives 5, the missing one of about
// 1.2 mm2 near (27.9, 27.1).
TEST(SliceOracleFaults, FlatEndMillFindsTheSlotBetweenNodeRows) {
  QDTEST_SKIP_WITHOUT_REAL_MESHES();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath("pycam-textbox.stl"));
  ASSERT_FALSE(tris.empty());
  const double s = qdtest::scaleToTool(tris);
  OraclePart p(tris, 2, 0.0);
  const double Z = -3.5 * s;
  const std::vector<OracleLoop> loops = p.check(Z);
  EXPECT_EQ(loops.size(), 5u);
  // The slot on a grid of 0.02 mm around the point (about 1.1 mm2; a grid of 0.1 mm gives 1.0,
  // the oracle's coarse grid 1.0 to 1.2).
  const std::vector<OracleLoop> fine =
      qdtest::loopsNear(p.drop(), 26.1 * s, 26.4 * s, 29.7 * s, 27.8 * s, 0.0, 0.02 * s, Z);
  ASSERT_EQ(fine.size(), 1u);
  EXPECT_FALSE(fine[0].materialInside);
  EXPECT_NEAR(fine[0].area / (s * s), 1.2, 0.15);
  const double e = qdtest::resolutionBound(0.02 * s, kTol);
  int matching = 0;
  for (const OracleLoop& l : loops) matching += qdtest::sameLoop(fine[0], l, e);
  EXPECT_EQ(matching, 1);
}

// Levels a hair off flat faces that failed: a torus 1e-6 below the face 1.0625 of ktoolcor took
// every vertex of the face for an obstacle of radius R - c and its walk ran back along itself
// (-42); a ball exactly at the floor of a blind hole met the floor's edge in the contact search,
// which the walker does not see (-5); a ball at the hub of wheel_in_box missed a pocket of 1.2
// narrower than the node step.
TEST(SliceOracleFaults, LevelsAtAndAroundFlatFaces) {
  struct Row {
    const char* part;  // real file or generated shape
    bool real;
    int cutter;
    double face;  // in the file's units; NaN: `level` is the corner centre's height, scaled
    double level;
  };
  const Row rows[] = {{"ktoolcor.stl", true, 2, 1.0625, 0},
                      {"box_with_holes", false, 1, -5, 0},
                      {"wheel_in_box.stl", true, 1, std::nan(""), 72.5}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.part);
    if (row.real && !qdtest::realMeshFolderPresent()) continue;
    std::vector<Tri3D> tris =
        row.real ? qdtest::readTriangles(qdtest::dataPath(row.part)) : generated(row.part);
    ASSERT_FALSE(tris.empty());
    const double s = qdtest::scaleToTool(tris);
    const CutterCase& c = kCutters[row.cutter];
    OraclePart p(tris, c.type, c.corner);
    if (std::isnan(row.face)) {
      p.check(row.level);
      continue;
    }
    const double face = faceNear(tris, row.face * s);
    ASSERT_FALSE(std::isnan(face));
    for (double d : {0.0, 1e-6, -1e-6}) p.check(face + c.corner + d);
  }
}

// Small parts whose one feature lies between the level net's nodes, with the loop it must give.
// A block with a hole 21 x 40 wide: at mid-height every cutter reaches R into it, which leaves a
// pocket of (21 - 2 R') x (40 - 2 R') (R' the radius walked, a tolerance more than R), 1 wide in
// x between two node columns.
std::vector<Tri3D> blockWithHole() {
  std::vector<Tri3D> t;
  auto box = [&t](double x0, double y0, double x1, double y1) {
    const Point3D p[8] = {{x0, y0, 0},  {x1, y0, 0},  {x1, y1, 0},  {x0, y1, 0},
                          {x0, y0, 30}, {x1, y0, 30}, {x1, y1, 30}, {x0, y1, 30}};
    const int f[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                         {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto& q : f) {
      t.push_back(Tri3D{{p[q[0]], p[q[1]], p[q[2]]}});
      t.push_back(Tri3D{{p[q[0]], p[q[2]], p[q[3]]}});
    }
  };
  box(0, 0, 43, 100);
  box(64, 0, 100, 100);
  box(43, 0, 64, 30);
  box(43, 70, 64, 100);
  return t;
}

class SliceOracleSlot : public ::testing::TestWithParam<int> {};

TEST_P(SliceOracleSlot, PocketBetweenNodeColumns) {
  const CutterCase& c = kCutters[GetParam()];
  OraclePart p(blockWithHole(), c.type, c.corner);
  const double Z = 15.0;
  const std::vector<OracleLoop> loops = p.check(Z);
  ASSERT_EQ(loops.size(), 2u);
  const OracleLoop& pocket = loops[0].area < loops[1].area ? loops[0] : loops[1];
  EXPECT_FALSE(pocket.materialInside);
  const double r = 10.0 + (c.type == 1 ? 0.0 : kTol);
  EXPECT_NEAR(pocket.area, (21 - 2 * r) * (40 - 2 * r), 0.05 * pocket.perimeter);
}

// Allocation failure walked through the slicing of a level with a pocket between the nodes: the
// n-th allocation fails for n = 1, 2, ... until 200 slices in a row pass; every run returns -1 or
// the whole level (both loops), and nothing leaks.
TEST(SliceOracleSlotMemory, EveryFailedAllocationGivesMinusOneOrTheWholeLevel) {
  qdtest::LevelPart part(blockWithHole(), 2, 0.0, kNodeStep);
  int failures = 0, passes = 0;
  for (long n = 1; passes < 200; ++n) {
    memTestFailAt(n);
    const int r = part.slice(15.0, kTol);
    memTestFailAt(0);
    if (r == -1) {
      ++failures;
      passes = 0;
      continue;
    }
    ++passes;
    ASSERT_EQ(r, 1) << "allocation " << n;
    ASSERT_EQ(part.pieceStarts()->count, 2) << "allocation " << n;
  }
  EXPECT_GT(failures, 10);
}

INSTANTIATE_TEST_SUITE_P(Cutters, SliceOracleSlot, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(kCutters[info.param].name);
                         });

// A square pyramid whose apex reaches 0.05 into the tool, at the middle of a cell of the level
// net: the area it blocks is narrower than the cell, no node falls on it, and it must still give
// a material loop. For a ball, and for a torus whose tube centres lie 2 from the axis (its flat
// bottom fills the ring that the tube blocks).
TEST(SliceOracleIsland, PeakBetweenNodes) {
  std::vector<Tri3D> t;
  const Point3D apex{10, 10, 10}, a{0, 0, 0}, b{20, 0, 0}, d{20, 20, 0}, e{0, 20, 0};
  t.push_back(Tri3D{{a, b, apex}});
  t.push_back(Tri3D{{b, d, apex}});
  t.push_back(Tri3D{{d, e, apex}});
  t.push_back(Tri3D{{e, a, apex}});
  t.push_back(Tri3D{{a, d, b}});
  t.push_back(Tri3D{{a, e, d}});
  for (const CutterCase& c : {CutterCase{"ball", 1, 10.0}, CutterCase{"torus", 3, 8.0}}) {
    SCOPED_TRACE(c.name);
    OraclePart p(t, c.type, c.corner);
    const double Z = apex.z - 0.05 + c.corner;
    const std::vector<OracleLoop> loops = p.check(Z);
    const std::vector<OracleLoop> fine =
        qdtest::loopsNear(p.drop(), 5, 5, 15, 15, 0.0, kFieldStep / kRefine, Z);
    ASSERT_EQ(fine.size(), 1u);
    ASSERT_EQ(loops.size(), fine.size());
    const double ef = qdtest::resolutionBound(kFieldStep / kRefine, kTol);
    for (const OracleLoop& f : fine) {
      int same = 0;
      for (const OracleLoop& l : loops) same += qdtest::sameLoop(f, l, ef);
      EXPECT_EQ(same, 1) << describe(f);
    }
  }
}

}  // namespace
