// Pocket geometry input: small exchange files against the contours they must give, the limits
// and refusals of the reader, the preparation's orientation against a shoelace oracle, and the
// gap and radius checks of contCheckRepair.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "contour_fixtures.h"
#include "framework/memory.h"
#include "framework/output.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"

using namespace ccptest;
using qdtest::writeFile;

namespace {
std::vector<std::string>& errors() {
  static std::vector<std::string> e;
  return e;
}
int captureErrors(CycleRecord*, OutputRecord* r) {
  if (std::string(r->text.name) == "error") errors().push_back(r->text.text);
  return 1;
}

class GeometryTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    ccptest::resetPocketModules();
    errors().clear();
    cycle()->firstOutputPending = 0;
    cycRegisterLayer(cycle(), 0, captureErrors, captureErrors, 1);
    ccpSetCurrent(cycle());
    rec()->geoSource = memStrDup("g.qdx");
    rec()->depth = 4;
  }
  void TearDown() override {
    parListFree(cycle()->params);
    cycle()->params = nullptr;
    cycFreeLayers(cycle());
    ccpRecordReset();
    pockRunReset();
    layerResetState();
  }
  static CycleRecord* cycle() { return ccpCycleRecord(); }
  static CcpRecord* rec() { return ccpRecordOf(ccpCycleRecord()); }
  void option(const char* k, const char* v) {
    cycle()->params = parListSet(cycle()->params, k, v, kParKindSource);
  }
  // Contour i of the layer.
  static std::vector<ContourElement> contour(const char* layer, int i, ContourHeader* h) {
    layerGetHeader(layer, h, i);
    std::vector<ContourElement> e(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
    layerGetContour(layer, e.data(), h->count, h, i);
    e.resize(static_cast<std::size_t>(h->count));
    return e;
  }
};

const char* kTriangle = "  oL( x[0/10] y[0/0] )\n  oL( x[/0] y[/10] )\n  oL( x[/0] y[/0] )\n";
}  // namespace

// A first line that gives only its end starts at the options "currentX" and "currentY", or at
// 0, 0 without them; later missing parts take the end of the element before.
TEST_F(GeometryTest, CurrentPointDefaults) {
  writeFile("g.qdx", xchgHeader() +
                         "oContour(id[a]){\n  oL( x[/10] y[/5] )\n  oL( x[/0] y[/9] )\n"
                         "  oL( y[/2] )\n}\n");
  for (bool withOptions : {false, true}) {
    if (withOptions) {
      option("currentX", "1");
      option("currentY", "2");
    }
    ASSERT_EQ(pockReadGeometry(rec(), 0), 1);
    ContourHeader h{};
    const std::vector<ContourElement> e = contour("INPUT", 0, &h);
    ASSERT_EQ(h.count, 3);
    EXPECT_EQ(e[0].p0, withOptions ? 1 : 0);
    EXPECT_EQ(e[0].p1, withOptions ? 2 : 0);
    EXPECT_EQ(e[0].p2, 10);
    EXPECT_EQ(e[1].p0, 10);
    EXPECT_EQ(e[1].p1, 5);
    EXPECT_EQ(e[2].p0, 0);  // x of the line before's end
    EXPECT_EQ(e[2].p2, 0);
    EXPECT_EQ(e[2].p3, 2);
  }
}

TEST_F(GeometryTest, ArcLineAndHeader) {
  option("toolReference", "center");
  rec()->toolType = kCcpToolBall;
  rec()->toolDiameter = 10;
  rec()->surfaceOffset = 0.5;
  writeFile("g.qdx", xchgHeader() +
                         "vsurface(2)\noContour(id[a]){\n  vsideOfCompensation( leftOfContour )\n"
                         "  vplaneAllowance(0.3)\n  vdepth(6)\n  vstock(true)\n  vpocket(true)\n"
                         "  oA( o[-] x[10/0/5] y[0/0/0] )\n  oL( x[/10] y[/0] )\n}\n");
  ASSERT_EQ(pockReadGeometry(rec(), 0), 1);
  ContourHeader h{};
  const std::vector<ContourElement> e = contour("INPUT", 0, &h);
  ASSERT_EQ(h.count, 2);
  EXPECT_EQ(e[0].type, kContArc);
  EXPECT_EQ(e[0].dir, -1);
  EXPECT_EQ(e[0].radius, 5);
  EXPECT_EQ(e[0].p0, 5);   // centre
  EXPECT_EQ(e[0].p2, 10);  // start
  EXPECT_EQ(e[0].p4, 0);   // end
  EXPECT_EQ(h.ccw, 1);
  EXPECT_EQ(h.leftSide, 1);
  EXPECT_EQ(h.group, 1);
  EXPECT_EQ(h.parent, 1);
  EXPECT_EQ(h.stockMark, 1);
  EXPECT_EQ(h.sequence, 1);
  EXPECT_EQ(h.allowance, 0.3);
  // The surface is reset at the brace: the record's 0, raised by the tool reference and offset.
  EXPECT_DOUBLE_EQ(h.zTop, 5 + 0 + 0.5);
  EXPECT_DOUBLE_EQ(h.zBottom, h.zTop - 6);
  ASSERT_EQ(pockAllowanceCount(), 1);
  EXPECT_EQ(pockAllowances()[0], 0.3);
}

// Which contour objects are stored, and in which form.
TEST_F(GeometryTest, ObjectsStoredOrDropped) {
  struct Case {
    const char* name;
    std::string body;
    int contours;
    int allowances;
  };
  const Case cases[] = {
      {"two lines are dropped",
       "oContour(id[a]){\n  oL( x[0/10] y[0/0] )\n  oL( x[/0] y[/0] )\n}\n", 0, 1},
      {"a point object is no contour",
       std::string("oContour(id[p]){\n  oP( x[3] y[4] )\n}\noContour(id[b]){\n") + kTriangle +
           "}\n",
       1, 1},
      {"elements nested deeper do not count",
       std::string("oContour(id[a]){\n") + kTriangle + "  oGroup(id[g]){\n" + kTriangle + "}\n}\n",
       2, 2},
      {"elements outside a contour do not count", std::string(kTriangle), 0, 0},
  };
  for (const Case& c : cases) {
    pockGeometryResetState();
    writeFile("g.qdx", xchgHeader() + c.body);
    ASSERT_EQ(pockReadGeometry(rec(), 0), 1) << c.name;
    EXPECT_EQ(layerCount("INPUT"), c.contours) << c.name;
    EXPECT_EQ(pockAllowanceCount(), c.allowances) << c.name;
  }
}

TEST_F(GeometryTest, ReverseAndTags) {
  rec()->stockMode = kCcpStockOn;
  writeFile("g.qdx", xchgHeader() + "oContour(id[a]){\n  vclip(true)\n  vbnd(true)\n" + kTriangle +
                         "  vclip(false)\n  oL( x[/0] y[/-5] )\n  oL( x[/0] y[/0] )\n}\n" +
                         "oContour(id[b]){\n  vreverse(true)\n" + kTriangle + "}\n");
  ASSERT_EQ(pockReadGeometry(rec(), 0), 1);
  ContourHeader h{};
  std::vector<ContourElement> e = contour("INPUT", 0, &h);
  ASSERT_EQ(h.count, 5);
  EXPECT_EQ(e[0].tag, -2);  // the first element after "bnd"
  EXPECT_EQ(e[1].tag, -1);
  EXPECT_EQ(e[2].tag, -1);
  EXPECT_EQ(e[3].tag, 0);
  EXPECT_EQ(rec()->stockMovement, 1);  // "clip" without the stock state
  e = contour("INPUT", 1, &h);
  ASSERT_EQ(h.count, 3);
  // Reversed: from (0, 0) to (0, 10), then to (10, 0), then back.
  EXPECT_EQ(e[0].p0, 0);
  EXPECT_EQ(e[0].p3, 10);
  EXPECT_EQ(e[1].p2, 10);
  // Without a stock mode or an open strategy "clip" gives no tag.
  rec()->stockMode = kCcpStockOff;
  ASSERT_EQ(pockReadGeometry(rec(), 0), 1);
  e = contour("INPUT", 0, &h);
  EXPECT_EQ(e[0].tag, 0);
}

// A coordinate text that is not a number fails the read; an empty one reads as 0.
TEST_F(GeometryTest, BadNumberFails) {
  writeFile("g.qdx",
            xchgHeader() + "oContour(id[a]){\n  oL( x[0/1O] y[0/0] )\n" + kTriangle + "}\n");
  EXPECT_EQ(pockReadGeometry(rec(), 0), 0);
  EXPECT_EQ(errors(), (std::vector<std::string>{"1101"}));
  EXPECT_EQ(pockLastCode(), 3001);
}

TEST_F(GeometryTest, Refusals) {
  memFree(rec()->geoSource);
  rec()->geoSource = nullptr;
  EXPECT_EQ(pockReadGeometry(rec(), 0), 0);
  rec()->geoSource = memStrDup("missing.qdx");
  EXPECT_EQ(pockReadGeometry(rec(), 0), 0);
  EXPECT_EQ(pockReadGeometry(rec(), 1), 0);  // no clamps named
  EXPECT_EQ(errors(), (std::vector<std::string>{"5", "6,(missing.qdx)", "5"}));
}

// More elements than a contour may have, and more contour objects than the allowance table
// holds, fail the read with their codes.
TEST_F(GeometryTest, Limits) {
  std::string body = "oContour(id[a]){\n";
  for (int i = 0; i <= kContMaxElements; ++i) {
    body += "  oL( x[/" + std::to_string(i % 2) + "] y[/" + std::to_string(i) + "] )\n";
  }
  writeFile("g.qdx", xchgHeader() + body + "}\n");
  EXPECT_EQ(pockReadGeometry(rec(), 0), 0);
  EXPECT_EQ(pockLastCode(), 3029);

  std::string many;
  for (int i = 0; i <= kPockAllowanceRoom; ++i) {
    many += std::string("oContour(id[a]){\n") + kTriangle + "}\n";
  }
  writeFile("g.qdx", xchgHeader() + many);
  pockLastCodeReset();
  EXPECT_EQ(pockReadGeometry(rec(), 0), 0);
  EXPECT_EQ(pockLastCode(), 3033);
  EXPECT_EQ(pockAllowanceCount(), kPockAllowanceRoom);
  EXPECT_EQ(layerCount("INPUT"), kLayerMaxContours);
}

// The preparation on random polygons: the outer contour keeps or takes the asked orientation,
// islands run against it, and the headers say which is which. The oracle is the shoelace area of
// the stored vertices.
TEST_F(GeometryTest, PreparedOrientationAgainstShoelace) {
  std::mt19937 rng(104);
  auto polygon = [&rng](double cx, double cy, double r, bool ccw) {
    const int n = 5 + static_cast<int>(rng() % 8);
    std::uniform_real_distribution<double> f(0.6, 1.0);
    std::vector<Point2D> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi * i / n * (ccw ? 1 : -1);
      const double k = r * f(rng);
      p.push_back({cx + k * std::cos(a), cy + k * std::sin(a)});
    }
    return p;
  };
  auto shoelace = [](const std::vector<ContourElement>& e) {
    double s = 0;
    for (const ContourElement& x : e) s += x.p0 * x.p3 - x.p2 * x.p1;
    return s;
  };
  auto insert = [](const std::vector<Point2D>& p, int leftSide) {
    std::vector<ContourElement> e;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const Point2D& a = p[i];
      const Point2D& b = p[(i + 1) % p.size()];
      e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
    }
    ContourHeader h{};
    h.ccw = 1;
    h.leftSide = static_cast<std::uint8_t>(leftSide);
    h.group = 1;
    h.count = static_cast<int>(e.size());
    layerInsertContour("INPUT", e.data(), &h, -1);
  };
  for (int round = 0; round < 60; ++round) {
    const int ori = round % 3;  // 0 as read, 1 "single" with the orientation asked
    const int asked = (round / 3) % 2 == 0 ? 1 : -1;
    rec()->oriAutomatic = ori == 1 ? 1 : 0;
    rec()->orientation = asked;
    layerCreate("INPUT");
    const bool outerCcw = rng() % 2 == 0;
    insert(polygon(0, 0, 100, outerCcw), 1);
    const int islands = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < islands; ++k) {
      const bool ccw = rng() % 2 == 0;
      // As read, an island is told by a side that disagrees with its direction.
      insert(polygon(-40 + 40 * k, 0, 12, ccw), ccw ? 0 : 1);
    }
    ASSERT_EQ(pockPrepareContours(rec(), 0), 1) << round;
    const int o = pockEngine().ccpOuterOrientation;
    EXPECT_EQ(o, rec()->oriAutomatic == 1 ? asked : (outerCcw ? 1 : -1)) << round;
    ASSERT_EQ(layerCount("INPUT"), 1 + islands);
    for (int i = 0; i <= islands; ++i) {
      ContourHeader h{};
      const std::vector<ContourElement> e = contour("INPUT", i, &h);
      const double s = shoelace(e);
      EXPECT_EQ(s > 0 ? 1 : -1, i == 0 ? o : -o) << round << " contour " << i;
      EXPECT_EQ(h.ccw == h.leftSide, i == 0) << round << " contour " << i;
    }
  }
}

TEST_F(GeometryTest, PreparationRefusesOpenContours) {
  layerCreate("INPUT");
  const ContourElement e[3] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10, 0, 10, 10, 0),
                               contMakeLine(10, 10, 0, 1, 0)};
  ContourHeader h{};
  h.count = 3;
  layerInsertContour("INPUT", e, &h, -1);
  rec()->oriAutomatic = 0;
  EXPECT_EQ(pockPrepareContours(rec(), 0), 0);
  EXPECT_EQ(pockLastCode(), 3011);
  EXPECT_EQ(errors(), (std::vector<std::string>{"1102"}));
}

// Gaps up to 100 tolerances pass and stay open; a wider one fails. Arc radii that disagree by
// less than 100 tolerances are refitted.
TEST_F(GeometryTest, CheckRepair) {
  pockEngine().contTol = 0.001;
  for (const auto& [gap, ok] : {std::pair{0.05, 1}, std::pair{0.101, 0}}) {
    ContourElement e[4] = {contMakeLine(0, 0, 10, 0, 0), contMakeLine(10 + gap, 0, 10, 10, 0),
                           contMakeLine(10, 10, 0, 10, 0), contMakeLine(0, 10, 0, 0, 0)};
    EXPECT_EQ(contCheckRepair(e, 4), ok) << gap;
    EXPECT_EQ(e[1].p0, 10 + gap);  // the gap is not closed
  }
  // A half circle whose end lies 0.0015 off its radius, closed by a line: the arc is refitted,
  // its radius becoming the mean distance of its ends from the centre.
  ContourElement arc[2] = {contMakeArc(0, 0, 10, 0, -10.0015, 0, 10, 1, 0),
                           contMakeLine(-10.0015, 0, 10, 0, 0)};
  EXPECT_EQ(contCheckRepair(arc, 2), 1);
  const double r1 = std::hypot(arc[0].p2 - arc[0].p0, arc[0].p3 - arc[0].p1);
  const double r2 = std::hypot(arc[0].p4 - arc[0].p0, arc[0].p5 - arc[0].p1);
  EXPECT_NEAR(arc[0].radius, (r1 + r2) / 2, 1e-12);
  ContourElement far[2] = {contMakeArc(0, 0, 10, 0, -10.2, 0, 10, 1, 0),
                           contMakeLine(-10.2, 0, 10, 0, 0)};
  EXPECT_EQ(contCheckRepair(far, 2), 0);
  EXPECT_EQ(contCheckRepair(arc, 0), 0);
}

// Clamps become islands of the pocket: a clamp running like the outer contour is reversed, and
// reversed again when its side as read makes it an outer contour (ccw equal to leftSide), as the
// clamps are prepared. Every clamp ends marked as an island.
TEST_F(GeometryTest, ClampsPreparedAsIslands) {
  const struct {
    bool ccw;
    const char* side;
    int expected;  // shoelace sign after the preparation, outer contour counter-clockwise
  } cases[] = {
      {true, "", -1}, {false, "", -1}, {true, "leftOfContour", 1}, {false, "leftOfContour", 1}};
  for (const auto& c : cases) {
    rec()->oriAutomatic = 0;
    memFree(rec()->clampsSource);
    rec()->clampsSource = memStrDup("c.qdx");
    writeFile("g.qdx", xchgHeader() + lineContour(rectangle(0, 0, 100, 100),
                                                  "  vsideOfCompensation( leftOfContour )\n"));
    const std::string side =
        c.side[0] != '\0' ? std::string("  vsideOfCompensation( ") + c.side + " )\n" : "";
    writeFile("c.qdx", xchgHeader() + lineContour(rectangle(10, 10, 20, 20, c.ccw), side));
    ASSERT_EQ(pockReadGeometry(rec(), 0), 1);
    ASSERT_EQ(pockReadGeometry(rec(), 1), 1);
    ASSERT_EQ(pockPrepareContours(rec(), 1), 1);
    EXPECT_EQ(pockEngine().ccpOuterOrientation, 1);
    ContourHeader h{};
    const std::vector<ContourElement> e = contour("CLAMPS", 0, &h);
    double s = 0;
    for (const ContourElement& x : e) s += x.p0 * x.p3 - x.p2 * x.p1;
    EXPECT_EQ(s > 0 ? 1 : -1, c.expected) << c.ccw << " " << c.side;
    EXPECT_EQ(h.ccw, 0);
    EXPECT_EQ(h.leftSide, 1);
    EXPECT_EQ(h.group, 0);
  }
}
