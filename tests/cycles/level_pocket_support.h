// level_pocket_support.h - shared pieces of the level pocketing tests: a fresh folder with the
// pocket cycle's modules at their load state, regions and tool-centre paths built from point
// lists, and the parameter block set up as a roughing run sets it (tool radius 10).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../geometry/kont_shapes.h"
#include "../pocket/ccp_support.h"
#include "cycles/level_pocket.h"
#include "cycles/level_pocket_xchg.h"
#include "cycles/rupp_calls.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "output/pof_reader.h"
#include "support/temp_dir.h"
#include "zlevel/zpath.h"

namespace lptest {

// A closed tool-centre path through the points at z, every point without contact (id -1).
inline ZPath* pathFromPoints(const std::vector<Point2D>& p, double z, int depth, int material) {
  ZPath* zp = zpathNew(static_cast<int>(p.size()));
  for (const Point2D& q : p) {
    const float xy[2] = {static_cast<float>(q.x), static_cast<float>(q.y)};
    zpathAppendPoint(zp, xy, nullptr, -1, 0);
  }
  zp->z = z;
  zp->closed = 1;
  zp->nestingDepth = depth;
  zp->materialInside = material;
  zp->flags = 0;
  return zp;
}

// An outer contour with islands (each given in its own orientation), z set.
inline Kont2D* regionFromPoints(const std::vector<Point2D>& outer,
                                const std::vector<std::vector<Point2D>>& islands, double z) {
  Kont2D* r = qdtest::kontFromPoints(outer, z);
  Kont2D* prev = r;
  for (const auto& i : islands) {
    Kont2D* k = qdtest::kontFromPoints(i, z);
    k->depth = 1;
    k->prev = prev;
    if (prev == r) {
      r->child = k;
    } else {
      prev->next = k;
    }
    prev = k;
  }
  return r;
}

// The pocket run's modules, the level pocketing, the block and the read-back at their load
// state, in a fresh folder ("*TMP_DIR" is ".").
class LevelPocketTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    ccptest::resetPocketRun();
    levelPocketResetState();
    pofReadResetState();
    ruppResetState();
    parResetState();
  }
  void TearDown() override {
    levelPocketResetState();
    pofReadResetState();
    ruppResetState();
    parResetState();
    ccptest::resetPocketModules();
    pofResetState();
  }
};

}  // namespace lptest
