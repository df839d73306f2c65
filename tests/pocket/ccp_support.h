// Shared helpers of the pocket cycle tests: exchange files of contours written from plain lists of
// points, parameter files, and an in-process run of the pocket record with its POF text read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/numtext.h"
#include "framework/phase_runner.h"
#include "framework/pof_writer.h"
#include "framework/xchg_lexer.h"
#include "geometry/vec.h"
#include "pocket/ccp_record.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "support/temp_dir.h"

namespace ccptest {

// The pocket cycle's modules back at their load state: record, engine, layers, level, geometry.
inline void resetPocketModules() {
  ccpResetState();
  ccpRecordReset();
  pockRunReset();
  layerResetState();
  pockLevelResetState();
  pockGeometryResetState();
}

// As above, with the POF writer and the number text too, for tests that read the POF back.
inline void resetPocketRun() {
  pofResetState();
  numResetState();
  resetPocketModules();
}

// A temporary folder for an in-process run of the pocket record: the run's modules reset before,
// and left at their load state after each test.
class CcpRunFixture : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    resetPocketRun();
    pockSetSourceLoader(ccpCycleRecord());
    ccpCycleRecord()->status = 0;
  }
  void TearDown() override {
    pockLevelResetState();
    ccpResetState();
    ccpRecordReset();
    layerResetState();
    pofResetState();
    numResetState();
  }
};

// The header of an exchange file.
inline std::string xchgHeader() {
  return std::string(xchgBanner) + "\nqDX-Version: 1.0\nGeometry\ntester\n\n";
}

// A contour object of lines through the points (closed back to the first), with variable lines
// put inside its braces before the elements.
inline std::string lineContour(const std::vector<Point2D>& pts, const std::string& vars = "") {
  std::string s = "oContour(id[c]){\n" + vars;
  char line[256];
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const Point2D& a = pts[i];
    const Point2D& b = pts[(i + 1) % pts.size()];
    std::snprintf(line, sizeof line, "  oL( x[%.10g/%.10g] y[%.10g/%.10g] )\n", a.x, b.x, a.y, b.y);
    s += line;
  }
  return s + "}\n";
}

// The corners of an axis-parallel rectangle, counter-clockwise (ccw true) or clockwise.
inline std::vector<Point2D> rectangle(double x0, double y0, double x1, double y1, bool ccw = true) {
  std::vector<Point2D> p{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  if (!ccw) p = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
  return p;
}

// A parameter file of name := value lines.
inline std::string pcf(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string s;
  for (const auto& [k, v] : keys) s += k + " := \"" + v + "\"\n";
  return s;
}

// Runs a record through the option parser and the phase runner with "-s<source>" and "-POF";
// returns the run code (-1 when the options were refused).
inline int runCycle(CycleRecord* cycle, const std::string& source) {
  std::string id = "qdCCP";
  std::string s = "-s" + source;
  std::string pof = "-POF";
  char* argv[] = {id.data(), s.data(), pof.data()};
  if (cycParseOptions(cycle, argv, 3, 0) != 1) return -1;
  return cycRun(cycle);
}

}  // namespace ccptest
