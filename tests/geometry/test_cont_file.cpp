// Tests of the exchange contour reader: linearised arcs against the circle they come from (every
// point on it, chord sag within the tolerance, the closed-form point count, the exact end), the
// contour and level rules of the reader, the file frame that outlives a read, and allocation
// failures that never hand out a partial list.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "arc_shapes.h"
#include "framework/memory.h"
#include "framework/test_xchg_support.h"
#include "geometry/cont_file.h"
#include "geometry/geo_error.h"
#include "support/temp_dir.h"

using arctest::P;
using qdtest::writeFile;

namespace {

class ContFileTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    contFileResetState();
    geoResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    contFileResetState();
  }
};

struct ListGuard {
  Pt3List* list = lstPt3New(4);
  ~ListGuard() { lstBox3Free(list); }
};

std::vector<P> pointsOf(const Pt3List* list) {
  std::vector<P> out;
  for (int i = 0; i < list->count; ++i) out.push_back(P{list->items[i].x, list->items[i].y});
  return out;
}

std::vector<P> pointsOf(const GuideCurve* c) {
  std::vector<P> out;
  for (int i = 0; i < c->count; ++i) out.push_back(P{c->points[i].x, c->points[i].y});
  return out;
}

int curveCount(const GuideCurve* c) {
  int n = 0;
  for (; c != nullptr; c = c->next) ++n;
  return n;
}

struct CurveList {
  GuideCurve* head;
  explicit CurveList(GuideCurve* h) : head(h) {}
  ~CurveList() { guideFree(head); }
};

std::string contour(const std::string& id, const std::string& body) {
  return "oContour[" + id + "]( )\n{\n" + body + "}\n";
}

}  // namespace

// Random arcs in both senses with sweeps up to a full turn.
TEST_F(ContFileTest, ArcPointsLieOnTheirCircle) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 300; ++trial) {
    const P q{200 * u(rng) - 100, 200 * u(rng) - 100};
    const double r = std::pow(10.0, 4 * u(rng) - 2);  // 0.01 .. 100
    const double tol = r * std::pow(10.0, -1 - 4 * u(rng));
    const bool cw = trial % 2 == 1;
    const double a0 = 2 * M_PI * u(rng);
    const double sweep = trial % 10 == 0 ? 2 * M_PI : 0.01 + (2 * M_PI - 0.02) * u(rng);
    const P s{q.x + r * std::cos(a0), q.y + r * std::sin(a0)};
    const double a1 = a0 + (cw ? -sweep : sweep);
    const P e = trial % 10 == 0 ? s : P{q.x + r * std::cos(a1), q.y + r * std::sin(a1)};
    ListGuard g;
    ASSERT_EQ(contFileAddArc(tol, s.x, s.y, e.x, e.y, 7.5, q.x, q.y, cw ? '-' : '+', g.list), 1);
    const std::vector<P> pts = pointsOf(g.list);
    const double step = std::max(2 * std::acos((r - tol) / r), 0.001);
    const int inner = static_cast<int>(std::floor((sweep - 0.0001) / step));
    ASSERT_EQ(static_cast<int>(pts.size()), inner + 2) << "trial " << trial;
    EXPECT_EQ(pts.front().x, s.x);
    EXPECT_EQ(pts.front().y, s.y);
    EXPECT_EQ(pts.back().x, e.x);
    EXPECT_EQ(pts.back().y, e.y);
    double turned = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
      EXPECT_NEAR(arctest::dist(pts[i], q), r, 1e-9);
      EXPECT_EQ(g.list->items[i].z, 7.5);
      if (i == 0) continue;
      const double chord = arctest::dist(pts[i - 1], pts[i]);
      // The sag of a step is the tolerance (more when the step is raised to 0.001 radians); the
      // last step ends short of the sweep by less than 0.0001 radians, so it may be that much
      // longer.
      const double angle = step + (i + 1 == pts.size() ? 0.0001 : 0.0);
      EXPECT_LE(r - std::sqrt(std::max(0.0, r * r - chord * chord / 4)),
                r * (1 - std::cos(angle / 2)) + 1e-9)
          << "trial " << trial << " step " << i;
      const P u0{pts[i - 1].x - q.x, pts[i - 1].y - q.y}, u1{pts[i].x - q.x, pts[i].y - q.y};
      const double a = std::atan2(u0.x * u1.y - u0.y * u1.x, u0.x * u1.x + u0.y * u1.y);
      EXPECT_GT(cw ? -a : a, 0.0);  // every step turns the arc's way
      turned += a;
    }
    EXPECT_NEAR(std::fabs(turned), sweep, 1e-6);
  }
}

// The worked example: a half circle over the top counter-clockwise, under it clockwise, at equal
// steps of 2 acos(0.99), the last step shorter, ending exactly at (-1, 0).
TEST_F(ContFileTest, HalfCircleExample) {
  const double step = 2 * std::acos(0.99);
  for (const char dir : {'+', '-'}) {
    ListGuard g;
    contFileAddArc(0.01, 1, 0, -1, 0, 0, 0, 0, dir, g.list);
    const std::vector<P> pts = pointsOf(g.list);
    ASSERT_EQ(pts.size(), 13u);
    for (std::size_t i = 1; i + 1 < pts.size(); ++i) {
      EXPECT_NEAR(pts[i].x, std::cos(step * i), 1e-12);
      EXPECT_NEAR(pts[i].y, (dir == '+' ? 1 : -1) * std::sin(step * i), 1e-12);
    }
    EXPECT_LT(arctest::dist(pts[11], pts[12]), arctest::dist(pts[10], pts[11]));
    EXPECT_EQ(pts.back().x, -1.0);
    EXPECT_EQ(pts.back().y, 0.0);
  }
}

// An arc back at its start is a full circle (it used to sweep half a turn), and one of radius
// below 0.0001 adds nothing.
TEST_F(ContFileTest, FullAndTinyArcs) {
  ListGuard g;
  contFileAddArc(0.001, 2, 0, 2, 1e-8, 0, 0, 0, '-', g.list);
  const std::vector<P> pts = pointsOf(g.list);
  double lowest = 1, highest = -1;
  for (const P& p : pts) {
    lowest = std::min(lowest, p.y);
    highest = std::max(highest, p.y);
  }
  EXPECT_NEAR(lowest, -2.0, 1e-3);
  EXPECT_NEAR(highest, 2.0, 1e-3);
  EXPECT_GT(pts[1].y, -1.0);
  EXPECT_LT(pts[1].y, 0.0);  // clockwise from (2, 0) goes down first
  ListGuard tiny;
  EXPECT_EQ(contFileAddArc(0.001, 1, 0, 1, 0.00001, 0, 1, 0.00005, '+', tiny.list), 1);
  EXPECT_EQ(tiny.list->count, 0);
  EXPECT_EQ(contFileAddArc(0.001, 1, 0, 0, 1, 0, 0, 0, '+', nullptr), 0);
  EXPECT_EQ(contFileAddLine(0, 0, 0, 1, 1, 1, nullptr), 0);
}

// Lines: a contour of one line has two points, a following line adds its end only, 'x[/5]' starts
// at the previous end; surface and depth given once apply to every contour; names are the ids.
TEST_F(ContFileTest, LinesHeightsAndNames) {
  const std::string longId(300, 'h');
  writeFile(
      "in.qdx",
      xchgtest::header() + "vsurface(4)\nvdepth(1.5)\n" +
          contour("Holder", "  oL( x[0/1] y[0/0] z[2/3] )\n") +
          contour(longId, "  oL( x[0/1] y[0/0] )\n  oL( x[7/5] y[7/0] )\n  oL( x[/5] y[/2] )\n"));
  CurveList curves(contFileRead("in.qdx", 0.01));
  ASSERT_EQ(curveCount(curves.head), 2);
  const GuideCurve* a = curves.head;
  const GuideCurve* b = a->next;
  EXPECT_STREQ(a->name, "Holder");
  EXPECT_EQ(std::string(b->name), longId.substr(0, kGuideNameMax));
  ASSERT_EQ(a->count, 2);
  EXPECT_EQ(a->z[0], 2.0);
  EXPECT_EQ(a->z[1], 3.0);
  EXPECT_EQ(a->kind, 'p');
  EXPECT_EQ(a->ownsPoints, 1);
  const std::vector<P> pb = pointsOf(b);
  ASSERT_EQ(pb.size(), 4u);
  EXPECT_EQ(pb[2].x, 5.0);  // the second line's start (7, 7) is not added
  EXPECT_EQ(pb[2].y, 0.0);
  EXPECT_EQ(pb[3].x, 5.0);
  EXPECT_EQ(pb[3].y, 2.0);
  for (const GuideCurve* c : {a, b}) {
    EXPECT_EQ(c->offLow, 4.0);
    EXPECT_EQ(c->offHigh, 2.5);
  }
}

// "Cs_x" (0, 1, 0) and "Cs_y" (-1, 0, 0) turn every later contour by 90 degrees, also of later
// files, until the reset; "Cs_o" moves it.
TEST_F(ContFileTest, FrameOutlivesTheFileUntilReset) {
  const std::string line = contour("c", "  oL( x[1/2] y[0/0] z[0/1] )\n");
  writeFile("turn.qdx",
            xchgtest::header() + "vCs_x(0,1,0)\nvCs_y(-1,0,0)\nvCs_o(10, 20, 30)\n" + line);
  writeFile("plain.qdx", xchgtest::header() + line);
  for (const char* file : {"turn.qdx", "plain.qdx"}) {
    CurveList c(contFileRead(file, 0.01));
    ASSERT_NE(c.head, nullptr);
    EXPECT_NEAR(c.head->points[0].x, 10.0, 1e-12) << file;
    EXPECT_NEAR(c.head->points[0].y, 21.0, 1e-12);
    EXPECT_NEAR(c.head->points[1].y, 22.0, 1e-12);
    EXPECT_NEAR(c.head->z[1], 31.0, 1e-12);
  }
  contFileResetState();
  CurveList c(contFileRead("plain.qdx", 0.01));
  ASSERT_NE(c.head, nullptr);
  EXPECT_EQ(c.head->points[1].x, 2.0);
  EXPECT_EQ(c.head->points[1].y, 0.0);
}

TEST_F(ContFileTest, ParseXyz) {
  struct {
    const char* text;
    int result;
    double x, y, z;
  } cases[] = {
      {"1,2,3", 1, 1, 2, 3},     {" -1.5 , 2e1,0.25", 1, -1.5, 20, 0.25},
      {"4,5", -1, 4, 9, 9},      {"4", -1, 9, 9, 9},
      {"a,2,b", 1, 9, 2, 9},     {",,", 1, 9, 9, 9},
      {"nan,inf,1", 1, 9, 9, 1},
  };
  for (const auto& c : cases) {
    Point3D p{9, 9, 9};
    EXPECT_EQ(contFileParseXyz(c.text, &p), c.result) << c.text;
    EXPECT_EQ(p.x, c.x) << c.text;
    EXPECT_EQ(p.y, c.y) << c.text;
    EXPECT_EQ(p.z, c.z) << c.text;
  }
  EXPECT_EQ(contFileParseXyz(nullptr, nullptr), -1);
}

// Stray and nested braces: only the '}' that closes a contour's own level makes its curve; any
// other closes just its level, and nothing reads a missing list.
TEST_F(ContFileTest, BracesFollowTheContoursLevel) {
  const std::string l1 = "  oL( x[0/1] y[0/0] )\n";
  struct {
    const char* name;
    std::string body;
    std::vector<int> counts;  // points of each curve made
  } cases[] = {
      {"StrayCloseFirst", "}\n}\n" + contour("a", l1), {2}},
      {"LevelsWithoutContour", "{\n{\n" + l1 + "}\n}\n", {}},
      {"NestedLevelInside",
       contour("a", l1 + "  {\n  oL( x[/2] y[/0] )\n  }\n  oL( x[/3] y[/0] )\n"),
       {4}},
      {"NeverClosed", "oContour[a]( )\n{\n" + l1, {}},
      {"CloseWithoutOpen", "oContour[a]( )\n" + l1 + "}\n", {}},
      {"EmptyThenStray", contour("a", "") + l1 + "}\n", {}},
      {"SecondContourReplacesFirst", "oContour[a]( )\noContour[b]( )\n{\n" + l1 + "}\n", {2}},
      {"ContourInsideALevel", "{\n" + contour("a", l1) + "}\n" + contour("b", l1), {2, 2}},
  };
  for (const auto& c : cases) {
    writeFile("in.qdx", xchgtest::header() + c.body);
    CurveList curves(contFileRead("in.qdx", 0.01));
    std::vector<int> counts;
    for (const GuideCurve* g = curves.head; g != nullptr; g = g->next) counts.push_back(g->count);
    EXPECT_EQ(counts, c.counts) << c.name;
  }
}

TEST_F(ContFileTest, UnreadableFiles) {
  EXPECT_EQ(contFileRead("missing.qdx", 0.01), nullptr);
  writeFile("bad.qdx", "not an exchange file\n");
  EXPECT_EQ(contFileRead("bad.qdx", 0.01), nullptr);
  EXPECT_EQ(contFileRead(nullptr, 0.01), nullptr);
}

// Whatever allocation fails, the read gives no list or the whole list, and leaks nothing.
TEST_F(ContFileTest, AllocationFailuresGiveNoPartialList) {
  writeFile("in.qdx",
            xchgtest::header() + "vsurface(1)\n" +
                contour("Holder", "  oL( x[0/1] y[0/0] )\n  oA( o[+] x[/-1/0] y[/0/0] )\n") +
                contour("Head", "  oA( o[-] x[5/5/4] y[0/0/0] )\n"));
  CurveList full(contFileRead("in.qdx", 0.001));
  ASSERT_EQ(curveCount(full.head), 2);
  int failures = 0;
  for (long n = 1; n < 120; ++n) {
    memTestFailAt(n);
    CurveList got(contFileRead("in.qdx", 0.001));
    memTestFailAt(0);
    if (got.head == nullptr) {
      ++failures;
      continue;
    }
    ASSERT_EQ(curveCount(got.head), 2) << "allocation " << n;
    for (const GuideCurve *a = got.head, *b = full.head; a != nullptr; a = a->next, b = b->next) {
      EXPECT_EQ(pointsOf(a).size(), pointsOf(b).size()) << "allocation " << n;
      EXPECT_STREQ(a->name, b->name);
    }
  }
  EXPECT_GT(failures, 5);
}
