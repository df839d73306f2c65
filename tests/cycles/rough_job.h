// rough_job.h - whole roughing runs of a generated part for the controller's tests: a job written
// as a configuration source, run in the test process as the host runs it, and its POF read and
// checked by the independent toolpath checker.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "qdmill/qdmill.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace qdtest {

// A plate 60 x 40 with its top at 3.3 and a box 20 x 10 on it up to 9.2: two flat faces whose
// heights lie between the step-down levels of the jobs below.
inline constexpr double kPlateTop = 3.3, kBoxTop = 9.2;
inline void writeBoxOnPlate(const std::string& file) {
  gen::Mesh m;
  gen::detail::box(m, {0, 0, 0}, {60, 40, kPlateTop});
  gen::detail::box(m, {20, 15, kPlateTop}, {40, 25, kBoxTop});
  ASSERT_TRUE(gen::writeStl(file, m, gen::Encoding::kBinary));
}

// A job on "part.stl" as a configuration source "<name>.CFG" writing "<name>.pof": a flat end
// mill of diameter 10, allowance 0.5, from the surface `top` down to `bottom` in steps of 2.5,
// stepover 6, clearance plane `plane`, contour-parallel pocketing; `more` adds lines.
inline void writeRoughJob(const std::string& name, double top, double bottom, double plane,
                          const std::string& more = "") {
  std::ostringstream job;
  job << "*APPROX part.stl\n*APT " << name << ".pof\n*FRTYP 2\n*FRRADIUS 5\n*AUFMASS 0.5\n"
      << "*OBERFL " << top << "\n*TIEF " << bottom << "\n*VERTZUSTEL 2.5\n*HORIZUSTEL 6\n"
      << "*SICHEBENE " << plane << "\n*BEARBEITRICHT 3\n"
      << more;
  writeFile(name + ".CFG", job.str());
}

// Runs "<name>.CFG" as the host does; returns the status word.
inline int runRoughJob(const std::string& name) {
  writeFile("qdRpx5.def", "SystemLanguage := english\n");
  std::string arg = "-S" + name + ".CFG";
  char* argv[] = {arg.data()};
  qdCSexecCycle(nullptr, 1, argv, nullptr);
  return qdCSgetSignal(nullptr);
}

// The POF of "<name>.pof" read with the job's tool.
inline tpc::Path readRoughPof(const std::string& name) {
  tpc::Path path;
  EXPECT_TRUE(tpc::passes(tpc::readPof(path, name + ".pof", tpc::Tool::flat(5))));
  return path;
}

// The texts of the layer-0 "error" records whose message number is `code`.
inline std::vector<std::string> messagesOf(const tpc::Path& path, int code) {
  const std::string prefix = std::to_string(code) + ",";
  std::vector<std::string> out;
  for (const tpc::Pass& p : path.passes) {
    for (const tpc::Layer0Record& e : p.errors) {
      if (e.text == std::to_string(code) || e.text.rfind(prefix, 0) == 0) out.push_back(e.text);
    }
  }
  return out;
}

// A successful run of the job against the part "part.stl": it ends well, no message 3003, no
// gouge within the allowance, rapids clear of the stock (top `top`) and the part, and no
// missing-step message but the holder check's. Returns the path.
inline tpc::Path checkedRoughRun(const std::string& name, double top) {
  EXPECT_EQ(runRoughJob(name), 0) << name;
  tpc::Path path = readRoughPof(name);
  tpc::Mesh part;
  EXPECT_TRUE(tpc::passes(tpc::readStl("part.stl", part)));
  EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, {3003}))) << name;
  EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part, {.allowance = 0.5, .tol = 0.01})))
      << name;
  EXPECT_TRUE(tpc::passes(tpc::checkLinks3D(path, part, {.surface = top}, {.allowance = 0.5})))
      << name;
  for (const std::string& m : messagesOf(path, 1104)) {
    EXPECT_EQ(m, "1104,rough5xHolderFree") << name;
  }
  return path;
}

// The heights of the planar feed runs (feed moves in x or y at one z), ascending, each once
// (within 0.001).
inline std::vector<double> cutLevels(const tpc::Path& path) {
  std::vector<double> levels;
  for (const tpc::Move& m : path.moves) {
    if (m.kind != tpc::MoveKind::Feed || std::fabs(m.from.z - m.to.z) > 1e-9) continue;
    if (std::fabs(m.from.x - m.to.x) + std::fabs(m.from.y - m.to.y) < 1e-9) continue;
    bool known = false;
    for (double z : levels) known = known || std::fabs(z - m.to.z) < 1e-3;
    if (!known) levels.push_back(m.to.z);
  }
  std::sort(levels.begin(), levels.end());
  return levels;
}

}  // namespace qdtest
