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
#include "level_paths.h"
#include "output/pof_reader.h"
#include "support/temp_dir.h"
#include "zlevel/zpath.h"

namespace lptest {

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
