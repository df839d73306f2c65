// Tests of the level-file rewrite: closed runs on known circles become two half arcs with the
// generating centre and radius, the output reads back (exchange lexer and contour reader) within
// the chordal tolerance of the input, copied texts and variables survive, and no process-wide
// setting of the rewrite or the fit leaks into a later call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "arc_shapes.h"
#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/test_xchg_support.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "geometry/arc_fit.h"
#include "geometry/arc_rewrite.h"
#include "geometry/cont_file.h"
#include "geometry/geo_error.h"
#include "support/temp_dir.h"

using arctest::P;
using qdtest::readFile;
using qdtest::writeFile;

namespace {

class ArcRewriteTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    arcFitResetState();
    arcRewriteResetState();
    contFileResetState();
    numResetState();
    geoResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    arcRewriteResetState();
  }
};

std::string num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.12g", v);
  return b;
}

// A contour of lines through the points: the first carries its start, the others only the end.
std::string lineContour(const std::string& id, const std::vector<P>& pts) {
  std::string s = "oContour[" + id + "]( )\n{\n";
  for (std::size_t i = 1; i < pts.size(); ++i) {
    if (i == 1) {
      s += "  oL( x[" + num(pts[0].x) + "/" + num(pts[1].x) + "] y[" + num(pts[0].y) + "/" +
           num(pts[1].y) + "] )\n";
    } else {
      s += "  oL( x[/" + num(pts[i].x) + "] y[/" + num(pts[i].y) + "] )\n";
    }
  }
  return s + "}\n";
}

// A closed polygon of n sides on a circle (n + 1 points, the last equal to the first).
std::vector<P> circlePolygon(P c, double r, double phase, int n, bool clockwise) {
  std::vector<P> pts = arctest::arcSamples(c, r, phase, (clockwise ? -2 : 2) * M_PI, n + 1);
  pts.back() = pts.front();
  return pts;
}

// The sagitta of one side of the polygon: the chordal tolerance a circle of n sides needs.
double sideSagitta(double r, int n) { return r * (1 - std::cos(M_PI / n)); }

struct Item {
  char kind;
  std::string name, id;
  XchgCoord c;
};

// Every element of an exchange file with its coordinates (parts not given stay empty); the
// lexical error code in lexCode.
std::vector<Item> readItems(const std::string& path, int* lexCode) {
  std::vector<Item> out;
  XchgHeader h{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen(path.c_str(), &h);
  xchgHeaderFree(&h);
  if (f == nullptr) {
    *lexCode = -1;
    return out;
  }
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  while (xchgNextElement(f, &e) == 1) {
    Item it{static_cast<char>(e.kind),
            e.name != nullptr ? e.name : "",
            e.id != nullptr ? e.id : "",
            {}};
    xchgCoordPreset(&it.c, nullptr, nullptr, nullptr);
    xchgCoordParse(&it.c, &e);
    out.push_back(it);
  }
  xchgElementClear(&e);
  xchgClose(f);
  XchgLexError err{};
  xchgLexLastError(&err);
  *lexCode = err.code;
  return out;
}

std::vector<Item> ofName(const std::vector<Item>& items, const std::string& name) {
  std::vector<Item> out;
  for (const Item& it : items) {
    if (it.kind == 'o' && it.name == name) out.push_back(it);
  }
  return out;
}

double d(const char* text) { return std::strtod(text, nullptr); }

// The curves of a file as point lists (arcs linearised finely).
std::vector<std::vector<P>> curvesOf(const std::string& path) {
  std::vector<std::vector<P>> out;
  GuideCurve* list = contFileRead(path.c_str(), 1e-5);
  for (const GuideCurve* c = list; c != nullptr; c = c->next) {
    std::vector<P> pts;
    for (int i = 0; i < c->count; ++i) pts.push_back(P{c->points[i].x, c->points[i].y});
    out.push_back(pts);
  }
  guideFree(list);
  return out;
}

struct CircleCase {
  const char* name;
  int sides;
  double radius;
  bool clockwise;
};
void PrintTo(const CircleCase& c, std::ostream* os) { *os << c.name; }

class ArcRewriteCircle : public ArcRewriteTest, public ::testing::WithParamInterface<CircleCase> {};

}  // namespace

// A closed run on a circle becomes two half arcs of its sense, from the first point around the
// generating centre with the generating radius, and back.
TEST_P(ArcRewriteCircle, BecomesTwoHalfArcs) {
  const CircleCase& k = GetParam();
  const P centre{12.5, -3.25};
  const double tol = 1.05 * sideSagitta(k.radius, k.sides);
  writeFile("in.qdx", xchgtest::header() + lineContour("c", circlePolygon(centre, k.radius, 0.7,
                                                                          k.sides, k.clockwise)));
  ASSERT_EQ(arcRecognizeFile("out.qdx", "in.qdx", tol), 1);
  int lex = 0;
  const std::vector<Item> items = readItems("out.qdx", &lex);
  EXPECT_EQ(lex, 0);
  EXPECT_TRUE(ofName(items, "L").empty());
  const std::vector<Item> arcs = ofName(items, "A");
  ASSERT_EQ(arcs.size(), 2u);
  const char sense = k.clockwise ? '-' : '+';
  const P start{d(arcs[0].c.first[0]), d(arcs[0].c.first[1])};
  const P mid{d(arcs[0].c.second[0]), d(arcs[0].c.second[1])};
  const P end{d(arcs[1].c.second[0]), d(arcs[1].c.second[1])};
  for (const Item& a : arcs) {
    EXPECT_EQ(a.c.name[0], sense);
    EXPECT_NEAR(d(a.c.third[0]), centre.x, 1e-5);
    EXPECT_NEAR(d(a.c.third[1]), centre.y, 1e-5);
  }
  EXPECT_NEAR(arctest::dist(start, centre), k.radius, 1e-5);
  EXPECT_NEAR(arctest::dist(mid, centre), k.radius, 1e-5);
  EXPECT_NEAR(start.x + mid.x, 2 * centre.x, 1e-5);  // the two halves meet opposite each other
  EXPECT_NEAR(start.y + mid.y, 2 * centre.y, 1e-5);
  EXPECT_EQ(end.x, start.x);
  EXPECT_EQ(end.y, start.y);
  EXPECT_NEAR(start.x, centre.x + k.radius * std::cos(0.7),
              1e-5);  // the first point, on the circle
  const std::vector<std::vector<P>> before = curvesOf("in.qdx"), after = curvesOf("out.qdx");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_LE(arctest::hausdorff(before[0], after[0]), tol + 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Circles, ArcRewriteCircle,
                         ::testing::Values(CircleCase{"Sides12", 12, 10.0, false},
                                           CircleCase{"Sides24Clockwise", 24, 12.0, true},
                                           CircleCase{"Sides200", 200, 50.0, false},
                                           CircleCase{"Sides1000Clockwise", 1000, 20.0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Four buffered points never make a circle, whatever the tolerance; nor do sharp corners.
TEST_F(ArcRewriteTest, ShortOrSharpRunsStayLines) {
  const std::vector<P> triangle = circlePolygon(P{0, 0}, 5.0, 0.0, 3, false);
  const std::vector<P> square = circlePolygon(P{0, 0}, 5.0, 0.0, 4, false);
  writeFile("in.qdx", xchgtest::header() + lineContour("t", triangle) + lineContour("s", square));
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 100.0), 0);
  int lex = 0;
  const std::vector<Item> items = readItems("out.qdx", &lex);
  EXPECT_EQ(lex, 0);
  EXPECT_EQ(ofName(items, "L").size(), 7u);
  EXPECT_TRUE(ofName(items, "A").empty());
  const auto before = curvesOf("in.qdx"), after = curvesOf("out.qdx");
  ASSERT_EQ(after.size(), 2u);
  for (int i = 0; i < 2; ++i) EXPECT_LE(arctest::hausdorff(before[i], after[i]), 1e-6);
}

// Random files of circles, polygons and arcs: the output reads back without a lexical error and
// each contour lies within the chordal tolerance of its input (arcs sampled by the reader).
TEST_F(ArcRewriteTest, OutputStaysWithinTheChordalToleranceOfTheInput) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 1);
  int circlesFound = 0;
  for (int trial = 0; trial < 6; ++trial) {
    const double tol = 0.02 + 0.05 * u(rng);
    std::string body;
    int contours = 0;
    for (int k = 0; k < 5; ++k) {
      const P c{100 * u(rng) - 50, 100 * u(rng) - 50};
      const int pick = static_cast<int>(3 * u(rng));
      if (pick == 0) {  // a circle sampled finely enough for the tolerance
        const double r = 10 + 30 * u(rng);
        int sides = 12;
        while (sideSagitta(r, sides) > 0.9 * tol) sides += 4;
        body +=
            lineContour(std::to_string(k), circlePolygon(c, r, 6 * u(rng), sides, u(rng) < 0.5));
      } else if (pick == 1) {  // an irregular star: never a circle
        std::vector<P> pts;
        for (int i = 0; i < 9; ++i) {
          const double a = 2 * M_PI * i / 9, r = 2 + 5 * u(rng);
          pts.push_back(P{c.x + r * std::cos(a), c.y + r * std::sin(a)});
        }
        pts.push_back(pts.front());
        body += lineContour(std::to_string(k), pts);
      } else {  // a line, a half arc and a closing line
        body += "oContour[" + std::to_string(k) + "]( )\n{\n  oL( x[" + num(c.x) + "/" +
                num(c.x + 4) + "] y[" + num(c.y) + "/" + num(c.y) + "] )\n  oA( o[+] x[/" +
                num(c.x + 4) + "/" + num(c.x + 4) + "] y[/" + num(c.y + 6) + "/" + num(c.y + 3) +
                "] )\n  oL( x[/" + num(c.x) + "] y[/" + num(c.y) + "] )\n}\n";
      }
      ++contours;
    }
    writeFile("in.qdx", xchgtest::header() + body);
    circlesFound += arcRecognizeFile("out.qdx", "in.qdx", tol);
    int lex = 0;
    readItems("out.qdx", &lex);
    EXPECT_EQ(lex, 0);
    const auto before = curvesOf("in.qdx"), after = curvesOf("out.qdx");
    ASSERT_EQ(before.size(), static_cast<std::size_t>(contours));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      EXPECT_LE(arctest::hausdorff(before[i], after[i]), tol + 1e-5)
          << "trial " << trial << " contour " << i;
    }
  }
  EXPECT_GT(circlesFound, 0);
}

// An arc of the input keeps the texts it was written with, after the lines buffered before it;
// the first element of a contour carries its start, also an arc after an 'M'.
TEST_F(ArcRewriteTest, InputArcsKeepTheirTexts) {
  writeFile("in.qdx",
            xchgtest::header() +
                "oContour[a]( )\n{\n"
                "  oL( x[0/1] y[0/0] )\n"
                "  oL( x[/2] y[/0.5] )\n"
                "  oA( o[-] x[/3.14159265358979/2.5000000001] y[/1.4142135623731/0.12345678901] )\n"
                "  oL( x[/0] y[/0] )\n}\n"
                "oContour[b]( )\n{\n"
                "  oM( x[/7] y[/8] )\n"
                "  oA( o[+] x[/9/8] y[/10/10] )\n"
                "  oA( x[/7/8] y[/8/10] )\n}\n");
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.01), 0);
  const std::string out = readFile("out.qdx");
  const std::size_t lines = out.find("  oL( x[/2] y[/0.5] )\n");
  const std::size_t arc = out.find(
      "  oA( o[-] x[/3.14159265358979/2.5000000001] y[/1.4142135623731/0.12345678901] )\n");
  ASSERT_NE(lines, std::string::npos) << out;
  ASSERT_NE(arc, std::string::npos) << out;
  EXPECT_LT(lines, arc);
  EXPECT_NE(out.find("  oL( x[0/1] y[0/0] )\n"), std::string::npos);
  EXPECT_NE(out.find("  oA( o[+] x[7/9/8] y[8/10/10] )\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  oA( o[+] x[/7/8] y[/8/10] )\n"), std::string::npos)
      << out;  // no direction: '+'
}

TEST_F(ArcRewriteTest, HeaderAndEndOfFile) {
  writeFile("in.qdx", xchgtest::header("Anything") + lineContour("x", {{0, 0}, {1, 0}}));
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.25), 0);
  EXPECT_EQ(readFile("out.qdx"),
            std::string(xchgBanner) +
                "\nqDX-Version: 1.0\nGeometry\nArc and line recognition 1.0\n\n"
                "; chordal tolerance 0.25\n\n"
                "\noContour[1]( )\n{\n\n  oL( x[0/1] y[0/0] )\n}\n"
                "\n; --- end of file ---\n");
  EXPECT_DOUBLE_EQ(arcChordalTolerance(), 0.25);
}

// A "precision" below 3 is neither applied nor echoed; 3 or more applies while the file is
// rewritten and is undone when it ends. Variables are echoed as read.
TEST_F(ArcRewriteTest, PrecisionAndVariables) {
  writeFile("in.qdx", xchgtest::header() +
                          "vprecision(2)\nvsurface(1.5)\n"
                          "oContour[a]( )\n{\n  vprecision(4)\n"
                          "  oL( x[0/1.23456789] y[0/0] )\n  vdepth(-2)\n}\n");
  numSetPrecision(7);
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.01), 0);
  EXPECT_EQ(numPrecision(), 7);
  const std::string out = readFile("out.qdx");
  EXPECT_EQ(out.find("vprecision(2)"), std::string::npos);
  EXPECT_NE(out.find("  vprecision(4)\n"), std::string::npos);
  EXPECT_NE(out.find("  vsurface(1.5)\n"), std::string::npos);
  EXPECT_NE(out.find("  oL( x[0/1.2346] y[0/0] )\n  vdepth(-2)\n"), std::string::npos) << out;
}

// A value the lexer unescaped is written so that it reads back the same: echoed raw it would
// end early at its ')' and lose the rest of the line.
TEST_F(ArcRewriteTest, VariableValuesReadBackUnchanged) {
  writeFile("in.qdx", xchgtest::header() + "vnote(a\\041b \\092 c)\nvplain(x-1,2;3)\n");
  arcRecognizeFile("out.qdx", "in.qdx", 0.01);
  int lex = 0;
  const std::vector<Item> items = readItems("out.qdx", &lex);
  EXPECT_EQ(lex, 0);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].id, "a)b \\ c");
  EXPECT_EQ(items[1].id, "x-1,2;3");
  EXPECT_NE(readFile("out.qdx").find("  vplain(x-1,2;3)\n"), std::string::npos);
}

// A contour without elements, and one the file leaves open, are closed.
TEST_F(ArcRewriteTest, EveryOpenedContourIsClosed) {
  writeFile("in.qdx",
            xchgtest::header() +
                "oContour[e]( )\n{\n  vsurface(1)\n}\noContour[f]( )\n{\n  oL( x[0/1] y[0/0] )\n");
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.01), 0);
  const std::string out = readFile("out.qdx");
  EXPECT_NE(out.find("\noContour[1]( )\n{\n  vsurface(1)\n}\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\noContour[2]( )\n{\n\n  oL( x[0/1] y[0/0] )\n}\n"), std::string::npos)
      << out;
  int lex = 0;
  const std::vector<Item> items = readItems("out.qdx", &lex);
  EXPECT_EQ(lex, 0);
  int open = 0;
  for (const Item& it : items) open += it.kind == '{' ? 1 : it.kind == '}' ? -1 : 0;
  EXPECT_EQ(open, 0);
}

// Zero-length lines are dropped, a line that starts away from the last end is joined to it,
// nested levels are not copied and a "Contour" inside a level opens no contour.
TEST_F(ArcRewriteTest, LinesAndLevels) {
  writeFile("in.qdx", xchgtest::header() +
                          "{\n oContour[n]( )\n {\n  oL( x[5/6] y[5/5] )\n }\n}\n"
                          "oContour[a]( )\n{\n"
                          "  oL( x[0/1] y[0/0] )\n  oL( x[1/1] y[0/0] )\n  oL( x[2/2] y[0/1] )\n"
                          "  {\n    oL( x[/9] y[/9] )\n  }\n"
                          "  oL( x[/3] y[/3] )\n}\n");
  arcRecognizeFile("out.qdx", "in.qdx", 0.01);
  const std::string out = readFile("out.qdx");
  EXPECT_NE(out.find("\noContour[1]( )\n{\n\n  oL( x[0/1] y[0/0] )\n  oL( x[/2] y[/1] )\n  oL( "
                     "x[/3] y[/3] )\n}\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("oContour[2]"), std::string::npos);
  EXPECT_EQ(out.find("[/9]"), std::string::npos);
}

// The pocket fit leaves the radius window of the circle test as it found it, and so does the
// rewrite; a window set on purpose still decides which circles count.
TEST_F(ArcRewriteTest, RadiusWindowIsLeftAsFound) {
  std::vector<ArcPoint> list =
      arctest::toArcPoints(arctest::arcSamples(P{0, 0}, 5.0, 0.0, 1.0, 20));
  arcFitPoints(list.data(), static_cast<int>(list.size()), 0.01, 0.1, 9999.9, 9999.9);
  writeFile("in.qdx",
            xchgtest::header() + lineContour("s", circlePolygon(P{1, 1}, 20.0, 0.0, 48, false)));
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.06), 1);
  double lo, hi;
  arcGetTolerances(&lo, &hi);
  EXPECT_DOUBLE_EQ(lo, 0.01);
  EXPECT_DOUBLE_EQ(hi, 999999.99);
  arcSetTolerances(0.1, 15.0);
  EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.06), 0);
  arcGetTolerances(&lo, &hi);
  EXPECT_DOUBLE_EQ(hi, 15.0);
}

// When the run buffer cannot grow the rewrite is abandoned and reports 0, so that the caller
// keeps its input; the message goes to the geometry log, never into an output stream.
TEST_F(ArcRewriteTest, RefusedGrowthReturnsZero) {
  writeFile("in.qdx",
            xchgtest::header() + lineContour("c", circlePolygon(P{0, 0}, 20.0, 0.0, 3000, false)));
  ASSERT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.01), 1);
  for (const int nth : {1, 2}) {
    geoResetState();
    arcRewriteRefuseGrowth(nth);
    testing::internal::CaptureStdout();
    EXPECT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.01), 0) << nth;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(geoErrRecord()->file, "Memory allocation failed !");
    EXPECT_EQ(geoErrCode(), -1);
  }
}

// Whatever allocation fails, the rewrite either reports 0 or wrote exactly the full output.
TEST_F(ArcRewriteTest, AllocationFailuresNeverPassAsSuccess) {
  writeFile("in.qdx", xchgtest::header() + "vsurface(2)\n" +
                          lineContour("c", circlePolygon(P{0, 0}, 15.0, 0.0, 48, false)));
  ASSERT_EQ(arcRecognizeFile("out.qdx", "in.qdx", 0.05), 1);
  const std::string expected = readFile("out.qdx");
  int failures = 0;
  for (long n = 1; n < 300; ++n) {
    memTestFailAt(n);
    const int result = arcRecognizeFile("out.qdx", "in.qdx", 0.05);
    memTestFailAt(0);
    if (result == 1) {
      EXPECT_EQ(readFile("out.qdx"), expected) << "allocation " << n;
    } else {
      ++failures;
    }
  }
  EXPECT_GT(failures, 5);
}

TEST_F(ArcRewriteTest, MissingInputOrOutput) {
  EXPECT_EQ(arcRecognizeFile("out.qdx", "missing.qdx", 0.01), 0);
  writeFile("in.qdx",
            xchgtest::header() + lineContour("c", circlePolygon(P{0, 0}, 2.0, 0.0, 24, false)));
  EXPECT_EQ(arcRecognizeFile("no/such/folder/out.qdx", "in.qdx", 0.01), 0);
  EXPECT_EQ(arcRecognizeRun(nullptr, "in.qdx"), 0);
}
