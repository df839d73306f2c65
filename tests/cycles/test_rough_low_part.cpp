// The whole roughing of a part that lies below z 0: a box on a plate roughed where it was drawn
// and again moved down so that all of it (and every level) lies below 0. Moving the part, the
// surface, the depth and the clearance plane down by the same amount must move the toolpath down
// by that amount and change nothing else; the drop grid once took the empty ground as lying at
// z 0, so every level below 0 found no free cell and was skipped without a word.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "../model/test_stl_writers.h"
#include "box_part.h"
#include "qdmill/qdmill.h"
#include "support/temp_dir.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using qdtest::TempDirTest;

namespace {

// A plate 60 x 40 x 2 with a 20 x 10 x 10 box standing on it, moved up by dz.
std::vector<Tri3D> boxOnPlate(double dz) {
  std::vector<Tri3D> tris = qdtest::boxMesh(0, 0, 60, 40, 2);
  for (Tri3D t : qdtest::boxMesh(20, 15, 40, 25, 10)) {
    for (Point3D& p : t.v) p.z += 2;
    tris.push_back(t);
  }
  for (Tri3D& t : tris) {
    for (Point3D& p : t.v) p.z += dz;
  }
  return tris;
}

// Roughs the part moved by dz (10 mm end mill, step-down 2.5, allowance 0.5, from the part's top
// 12 + dz down to its bottom dz) into name.pof and reads it with the checker.
tpc::Path roughAt(double dz, const std::string& name) {
  qdtest::writeFile(name + ".stl", qdtest::asciiStl(boxOnPlate(dz)));
  std::ostringstream job;
  job << "polySource := " << name << ".stl\ntoolType := endMill\ntoolDiameter := 10\n"
      << "allowance := 0.5\nsurface := " << 12 + dz << "\ndepth := 12\ninfeedDepth := 2.5\n"
      << "infeedLength := 6\nclearancePlane := " << 22 + dz
      << "\nstrategy := contourParallel\npofFilename := " << name << ".pof\n";
  qdtest::writeFile("qdRpx5.def", "SystemLanguage := english\n");
  qdtest::writeFile(name + ".pcf", job.str());
  std::string arg = "-S" + name;
  char* argv[] = {arg.data()};
  EXPECT_EQ(qdCSexecCycle(nullptr, 1, argv, nullptr), 1);
  EXPECT_EQ(qdCSgetSignal(nullptr), 0) << name;
  tpc::Path path;
  EXPECT_TRUE(tpc::passes(tpc::readPof(path, name + ".pof", tpc::Tool::flat(5))));
  tpc::Mesh part;
  EXPECT_TRUE(tpc::passes(tpc::readStl(name + ".stl", part)));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path))) << name;
  // No move nearer the part than the full allowance.
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5, .tol = 0.01})))
      << name;
  return path;
}

// The heights of the feed moves that cut flat (start and end at one z).
std::vector<double> cutLevels(const tpc::Path& path) {
  std::vector<double> levels;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.from.z - m.to.z) > 1e-9) continue;
    bool known = false;
    for (double z : levels) known = known || std::fabs(z - m.to.z) < 1e-3;
    if (!known) levels.push_back(m.to.z);
  }
  return levels;
}

}  // namespace

TEST_F(TempDirTest, PartBelowZeroIsRoughedLikeThePartAboveIt) {
  const tpc::Path above = roughAt(0, "above");
  const std::vector<double> levelsAbove = cutLevels(above);
  // Levels from the top down to the plate, the plate's own among them.
  ASSERT_GE(levelsAbove.size(), 4u);
  for (const double dz : {-20.0, -1.0}) {
    SCOPED_TRACE(dz);
    const tpc::Path below = roughAt(dz, dz < -10 ? "far_below" : "straddling");
    ASSERT_EQ(below.moves.size(), above.moves.size());
    for (std::size_t i = 0; i < above.moves.size(); ++i) {
      const tpc::Move& a = above.moves[i];
      const tpc::Move& b = below.moves[i];
      ASSERT_EQ(a.kind, b.kind) << "move " << i;
      ASSERT_NEAR(b.to.x, a.to.x, 1e-3) << "move " << i;
      ASSERT_NEAR(b.to.y, a.to.y, 1e-3) << "move " << i;
      ASSERT_NEAR(b.to.z, a.to.z + dz, 1e-3) << "move " << i;
    }
    std::vector<double> expected;
    for (double z : levelsAbove) expected.push_back(z + dz);
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(below, expected, 1e-3)));
  }
}
