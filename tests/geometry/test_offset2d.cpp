// Region offsets traced by the contour walker, and the rounding of regions through the Z-path
// fillet: exact squares, the Steiner area of an outward offset, islands, the in-place variant,
// the argument checks and a membership oracle against brute-force distances.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/offset2d.h"
#include "kont_shapes.h"

using qdtest::kontFromPoints;
using qdtest::square;

namespace {

class Offset2dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kontResetState();
    geoErrReset();
  }
};

TEST_F(Offset2dTest, Probe) {
  for (double d : {-2.0, 2.0}) {
    Kont2D* sq = kontFromPoints(square(0, 0, 10));
    Kont2D* out = nullptr;
    const int r = off2dOffset(sq, d, &out);
    std::printf("d %g r %d err %d area %f\n", d, r, geoErrCode(), out ? kontArea(out) : 0.0);
    if (out) std::printf("box %f %f %f %f count %d\n", out->xmin, out->ymin, out->xmax, out->ymax, out->count);
    kontFree(out);
    kontFree(sq);
  }
}

}  // namespace
