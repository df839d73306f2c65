// Checked pocket runs for the tests: a pocket shape written as an exchange file and as the
// toolpath checker's pocket, a run of the pocket cycle in-process, and the checker's verdicts on
// the POF it wrote (no gouge, coverage, links, levels, sanity).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ccp_support.h"
#include "support/temp_dir.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

namespace ccpcheck {

// A closed contour as exchange text and as the checker's contour.
struct Shape {
  std::string text;
  tpc::Contour check;
};

inline Shape polygonShape(const std::vector<Point2D>& p) {
  std::vector<std::pair<double, double>> q;
  for (const Point2D& a : p) q.emplace_back(a.x, a.y);
  return Shape{ccptest::lineContour(p), tpc::polygon(q, 0, 0)};
}

inline Shape rectangleShape(double x0, double y0, double x1, double y1) {
  return polygonShape(ccptest::rectangle(x0, y0, x1, y1));
}

// A circle of two half arcs, counter-clockwise.
inline Shape circleShape(double cx, double cy, double r) {
  char text[512];
  std::snprintf(text, sizeof text,
                "oContour(id[c]){\n"
                "  oA( o[+] x[%.10g/%.10g/%.10g] y[%.10g/%.10g/%.10g] )\n"
                "  oA( o[+] x[%.10g/%.10g/%.10g] y[%.10g/%.10g/%.10g] )\n}\n",
                cx + r, cx - r, cx, cy, cy, cy, cx - r, cx + r, cx, cy, cy, cy);
  return Shape{text, tpc::circle(cx, cy, r, 0, 0)};
}

// A star of n spikes between the radii ri and ro.
inline std::vector<Point2D> starPoints(double cx, double cy, double ro, double ri, int n) {
  std::vector<Point2D> p;
  for (int k = 0; k < 2 * n; ++k) {
    const double a = M_PI * k / n;
    const double r = k % 2 == 0 ? ro : ri;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return p;
}

// A pocket: an outer contour and islands.
struct Fixture {
  std::string name;
  Shape outer;
  std::vector<Shape> islands;
};

inline std::string exchangeText(const std::vector<const Fixture*>& pockets) {
  std::string s = ccptest::xchgHeader();
  for (const Fixture* f : pockets) {
    s += f->outer.text;
    for (const Shape& i : f->islands) s += i.text;
  }
  return s;
}

inline tpc::Pocket checkPocket(const Fixture& f) {
  tpc::Pocket p;
  p.outer = f.outer.check;
  for (const Shape& i : f.islands) p.islands.push_back(i.check);
  return p;
}

// Reads the POF a run wrote, with a flat tool of radius r.
inline tpc::Path readRun(const std::string& file, double r) {
  tpc::Path path;
  EXPECT_TRUE(tpc::passes(tpc::readPof(path, file, tpc::Tool::flat(r))));
  return path;
}

// The error messages a clean run never writes.
inline std::vector<long> failureMessages() {
  return {1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1500,
          1501, 1502, 1507, 1509, 1511, 1522, 1114, 1115, 1116};
}

// Floor moves of the path: feed moves at z.
inline int feedMovesAt(const tpc::Path& path, double z) {
  int n = 0;
  for (const tpc::Move& m : path.moves) {
    if (m.kind == tpc::MoveKind::Feed && std::fabs(m.from.z - z) < 1e-6 &&
        std::fabs(m.to.z - z) < 1e-6) {
      ++n;
    }
  }
  return n;
}

}  // namespace ccpcheck
