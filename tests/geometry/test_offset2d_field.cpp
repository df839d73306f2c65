// The walker-traced region offset against the brute-force distance field (offset_field.h): each
// outline family with its islands, grown and shrunk, must give the level set of the region's field
// in membership, area and number of loops, its traced points lying on the level within the
// walker's chord tolerance.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/offset2d.h"
#include "offset_field.h"
#include "offset_regions.h"
#include "offset_shapes.h"
#include "zlevel/zlevel_hooks.h"

namespace {
using offtest::Poly;
using offtest::Pt;
using offtest::regionOf;

std::vector<Poly> loopsOf(const Kont2D* list) {
  std::vector<Poly> loops;
  for (const Kont2D* r = list; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      Poly p;
      for (int i = 0; i < k->count; ++i) p.push_back({k->segments[i].x1, k->segments[i].y1});
      loops.push_back(p);
    }
  }
  return loops;
}

struct Case {
  std::string name;
  std::vector<Poly> region;
  double d;  // > 0 grows the region, < 0 shrinks it
  int loops = -1;
};

std::vector<Case> cases() {
  using namespace offtest;
  return {
      {"Circle100Grows", circle(100), 2.5},
      {"Circle1000Shrinks", circle(1000), -2.5},
      {"Wobbly1000Shrinks", wobblyCircle(1000), -3.0},
      {"Spiky100Shrinks", spikyStar(100), -0.25},
      {"Spiky1000Grows", spikyStar(1000), 0.25},
      {"Spiky3000Shrinks", spikyStar(3000), -0.25, 1},
      // Every candidate beside a segment had a wall within 1.1 distances: the offset vanished.
      {"Spiky10000Shrinks", spikyStar(10000), -0.25, 1},
      {"StarIslands1000Shrinks", starWithIslands(1000), -0.25},
      {"StarIslands1000Grows", starWithIslands(1000), 0.25},
      {"Comb25Shrinks", comb(25), -0.3},
      {"Comb25SplitsTeeth", comb(25), -0.45},
      {"Comb25Grows", comb(25), 0.4},
      {"Needles9Shrinks", needleSquare(9), -0.5},
      {"Needles9Grows", needleSquare(9), 0.5},
  };
}

class Offset2dField : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    zlevelInstallHooks();
    kontResetState();
    geoErrReset();
  }
  void TearDown() override { kontResetState(); }
};

TEST_P(Offset2dField, LoopsAreTheLevelSet) {
  const Case& c = GetParam();
  Kont2D* region = regionOf(c.region);
  Kont2D* out = nullptr;
  const int r = off2dOffset(region, c.d, &out);
  ASSERT_GE(r, 0);
  const std::vector<Poly> loops = loopsOf(out);
  // The traced points lie on the offset; the chords between them cut its arcs by up to the
  // walker's tolerance (a hundredth of the distance).
  // A grown region loses its islands: the offset grows the outer contour alone.
  const std::vector<Poly> field = c.d > 0 ? std::vector<Poly>{c.region[0]} : c.region;
  const offtest::FieldCheck check =
      offtest::checkOffset(field, c.d, loops, 0.012 * std::fabs(c.d), 300);
  EXPECT_TRUE(offtest::fieldAgrees(check)) << "area " << check.area << ", loops " << loops.size();
  if (c.loops >= 0) {
    EXPECT_EQ(static_cast<int>(loops.size()), c.loops);
  }
  kontFree(out);
  kontFree(region);
}

INSTANTIATE_TEST_SUITE_P(Families, Offset2dField, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
