// The stock model: the outline file (golden text and a round trip through the exchange reader),
// the reader's closing line and its elements outside a contour block, freeing twice, the
// no-transform flag per set-up, and the optimisation file name. The depth query is
// test_stock_query.cpp.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cycles/rough_control.h"
#include "cycles/run_reset.h"
#include "cycles/stock_model.h"
#include "framework/global_params.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "support/temp_dir.h"

namespace {

class StockModelTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    cyc3dResetRunState(nullptr);
    csysResetState();
  }
  void TearDown() override {
    stockModelFree();
    cyc3dResetRunState(nullptr);
    csysResetState();
  }
};

struct Elem {
  int kind;
  double x, y;
};
std::vector<Elem> elements(const StockElement* chain) {
  std::vector<Elem> out;
  for (const StockElement* e = chain; e != nullptr; e = e->next)
    out.push_back({e->kind, e->x, e->y});
  return out;
}
bool operator==(const Elem& a, const Elem& b) {
  return a.kind == b.kind && a.x == b.x && a.y == b.y;
}
void PrintTo(const Elem& e, std::ostream* os) { *os << e.kind << "(" << e.x << "," << e.y << ")"; }

std::string exchange(const std::string& body) {
  return std::string("qdmill exchange file\nqDX-Version: 1.0\nGeometry\ntest\n\n") + body;
}

}  // namespace

// A rectangular boundary gives "geo.qdx" in the work directory with the header and one contour of
// a move and four lines; reading it back gives a start element and four lines, no closing line.
TEST_F(StockModelTest, RectangleOutlineGoldenAndRoundTrip) {
  qdtest::writeFile("rect.bnd", "**BND 1\nX0 Y0 Z0\nX40 Y0 Z0\nX40 Y30 Z0\nX0 Y30 Z0\n**END\n");
  ASSERT_EQ(mkdir("work", 0755), 0);
  ASSERT_EQ(stockModelInit(1, 2, 10, 0, "rect.bnd", "work", 50, 0, 0), 1);
  const std::string text = qdtest::readFile("work/geo.qdx");
  EXPECT_EQ(text.substr(0, text.find("oContour")),
            "qdmill exchange file\nqDX-Version: 1.0\nGeometry\nqd50zres\n\n"
            "vprecision(6) ; Nachkommastellen\n\n");
  const std::string body = text.substr(text.find("oContour"));
  int moves = 0, lines = 0;
  for (std::size_t p = 0; (p = body.find("  o", p)) != std::string::npos; ++p) {
    moves += body.compare(p, 5, "  oM(") == 0 ? 1 : 0;
    lines += body.compare(p, 5, "  oL(") == 0 ? 1 : 0;
  }
  EXPECT_EQ(moves, 1);
  EXPECT_EQ(lines, 4);
  EXPECT_EQ(body.substr(0, 13), "oContour( )\n{");
  EXPECT_EQ(body.substr(body.size() - 2), "}\n");
  const std::vector<Elem> got = elements(stockModelView().contours);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].kind, 0);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(got[i].kind, 1) << i;
  EXPECT_EQ(got[0].x, got[4].x);
  EXPECT_EQ(got[0].y, got[4].y);
  // The area of the read-back contour is the rectangle's (shoelace over the elements).
  double area = 0;
  for (int i = 0; i < 4; ++i) area += got[i].x * got[i + 1].y - got[i + 1].x * got[i].y;
  EXPECT_DOUBLE_EQ(std::fabs(area) / 2, 1200.0);
}

// The reader: a 0.001 gap gets its closing line; elements outside a contour block only move the
// current point (a later "L" starts there); arcs by their sense; each new contour goes in front.
TEST_F(StockModelTest, ReaderClosesGapsAndChainsContours) {
  qdtest::writeFile("c.qdx", exchange("oL( x[/5] y[/6] )\n"
                                      "oContour( )\n{\n  oM( x[/0] y[/0] )\n  oL( x[/10] y[/0] )\n"
                                      "  oA( o[-] x[/10/5] y[/10/5] )\n  oL( x[/0.001] y[/0] )\n}\n"
                                      "oL( x[/7] y[/8] )\n"
                                      "oContour( )\n{\n  oL( x[/9] y[/8] )\n"
                                      "  oA( o[+] x[/9/8] y[/9/8.5] )\n}\n"));
  StockElement* chain = nullptr;
  ASSERT_EQ(stockReadContours(&chain, "c.qdx"), 0);
  const std::vector<Elem> expected = {
      {0, 7, 8}, {1, 9, 8},  {3, 9, 9},   {1, 7, 8},                 // second contour
      {0, 0, 0}, {1, 10, 0}, {2, 10, 10}, {1, 0.001, 0}, {1, 0, 0},  // first, closed
  };
  EXPECT_EQ(elements(chain), expected);
  stockFreeContours(chain);
  EXPECT_EQ(stockReadContours(&chain, ""), kStockReadNoName);
  EXPECT_EQ(stockReadContours(&chain, "missing.qdx"), kStockReadFailed);
  qdtest::writeFile("tool.qdx", "qdmill exchange file\nqDX-Version: 1.0\nTool\nx\n\n");
  EXPECT_EQ(stockReadContours(&chain, "tool.qdx"), kStockReadFailed);
  EXPECT_EQ(chain, nullptr);
}

// Mode 0 makes nothing and frees nothing; an empty or blank boundary leaves the model active
// without contours. Freeing twice releases nothing twice (the second run of a process did).
TEST_F(StockModelTest, ModesAndFreeingTwice) {
  EXPECT_EQ(stockModelInit(0, 2, 10, 0, "rect.bnd", ".", 0, 0, 0), 0);
  EXPECT_EQ(stockModelFree(), 0);
  for (const char* name : {"", " rect.bnd"}) {
    EXPECT_EQ(stockModelInit(1, 2, 10, 0, name, ".", 0, 0, 0), 0) << name;
    EXPECT_EQ(stockModelView().active, 1);
    EXPECT_EQ(stockModelView().contours, nullptr);
    EXPECT_EQ(qdtest::fileExists("geo.qdx"), false);
    EXPECT_EQ(stockModelFree(), 1);
    EXPECT_EQ(stockModelView().workPath, nullptr);
    EXPECT_EQ(stockModelFree(), 1);
  }
  qdtest::writeFile("rect.bnd", "**BND 1\nX0 Y0 Z0\nX4 Y0 Z0\nX4 Y3 Z0\nX0 Y3 Z0\n**END\n");
  ASSERT_EQ(stockModelInit(2, 1, 10, 0, "rect.bnd", ".", 0, 0, 0), 1);
  EXPECT_EQ(stockModelView().cornerRadius, 10);
  EXPECT_DOUBLE_EQ(stockModelView().modelStep, 0.3);
  ASSERT_EQ(stockModelInit(1, 3, 10, 2, "rect.bnd", ".", 0, 0, 0), 1);  // replaces the first
  EXPECT_EQ(stockModelView().cornerRadius, 2);
  EXPECT_EQ(stockModelFree(), 1);
  EXPECT_EQ(stockModelFree(), 1);
}

// The no-transform flag follows the tool axis of each set-up: a later job whose axis matches the
// frame's maps its stock into the frame again.
TEST_F(StockModelTest, NoTransformFlagPerSetUp) {
  csysSetFrame({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
  ASSERT_EQ(csysPrepare(), 1);
  ASSERT_EQ(csysAxisDiffers(), 1);
  stockModelInit(1, 2, 10, 0, "", ".", 0, 0, 0);
  EXPECT_EQ(stockModelView().noTransform, 1);
  EXPECT_EQ(hgridNoTransform(), 1);
  csysResetState();
  stockModelInit(1, 2, 10, 0, "", ".", 0, 0, 0);
  EXPECT_EQ(stockModelView().noTransform, 0);
  EXPECT_EQ(hgridNoTransform(), 0);
}

// joinDirAndName is the controller's join; the optimisation file takes "*APT"'s base name with
// its extension (after the last '.') replaced. A base name shorter than three characters had
// "zpa" written before the start of the name buffer.
TEST_F(StockModelTest, JoinAndOptimisationFileName) {
  char out[64];
  ASSERT_EQ(roughJoinDirFile(out, sizeof out, "e:/tmp_zopt/", "part.apt"), 1);
  EXPECT_STREQ(out, "e:/tmp_zopt/part.apt");
  ASSERT_EQ(roughJoinDirFile(out, sizeof out, "c:\\tmp", "part.apt"), 1);
  EXPECT_STREQ(out, "c:\\tmp/part.apt");

  GlobalParams& g = *parGlobalBlock();
  struct Case {
    const char* apt;
    const char* dir;
    const char* name;
  };
  const Case cases[] = {{"d:\\nc\\part.apt", "e:/tmp_zopt/", "e:/tmp_zopt/part.zpa"},
                        {"out/job.v2.pof", "z", "z/job.v2.zpa"},
                        {"ab", "z/", "z/ab.zpa"},
                        {"x.", "z/", "z/x.zpa"}};
  for (const Case& c : cases) {
    std::snprintf(g.apt, sizeof g.apt, "%s", c.apt);
    std::snprintf(g.zopzPath, sizeof g.zopzPath, "%s", c.dir);
    g.zoptRead = g.zoptWrite = 1;
    EXPECT_EQ(zfinZoptFilePath(), 0) << c.apt;
    EXPECT_STREQ(zfinZoptFileName(), c.name) << c.apt;
    EXPECT_EQ(g.zoptRead, 0);
    EXPECT_EQ(g.zoptWrite, 1);
  }
  ASSERT_EQ(mkdir("z", 0755), 0);
  qdtest::writeFile("z/ab.zpa", "x");
  std::snprintf(g.apt, sizeof g.apt, "%s", "ab");
  g.zoptRead = g.zoptWrite = 1;
  EXPECT_EQ(zfinZoptFilePath(), 1);
  EXPECT_EQ(g.zoptWrite, 0);
  EXPECT_EQ(g.zoptRead, 1);
}
