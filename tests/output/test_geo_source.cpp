// The geometry source of a 3D cycle turned into its temporary text files: a boundary with an arc
// read back by the boundary reader, profiles read back by the profile reader, sync and segment
// blocks in their shared file, arcs divided by the arc step (full circles included), the values
// kept in the record, and sources that are refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "framework/xchg_lexer.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/guide_curve.h"
#include "output/geo_source.h"
#include "support/temp_dir.h"

using qdtest::readFile;
using qdtest::writeFile;

namespace {
const std::string kPid = std::to_string(static_cast<long>(getpid()));

class GeoSourceTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    bndDumpResetState();
    bndSetPlungeOutput(0);
    csysResetState();
    rec_.geoSource = geoName_;
    rec_.tempDirectory = tmpName_;
    rec_.circularMacroSegmentAngle = 10;
    ASSERT_EQ(::mkdir("tmp", 0755), 0);
  }
  void TearDown() override {
    bndDumpResetState();
    bndSetPlungeOutput(0);
  }
  // Writes the body after a header of that kind and runs the conversion.
  int convert(const std::string& body, const std::string& kind = "Geometry") {
    writeFile("geo.qdx",
              std::string(xchgBanner) + "\nqDX-Version: 1.0\n" + kind + "\ntester\n\n" + body);
    return bndGeometryDumps(&rec_);
  }
  static std::string file(const char* ext) { return readFile("tmp/" + kPid + "." + ext); }
  char geoName_[8] = "geo.qdx";
  char tmpName_[4] = "tmp";
  Cycle3dRecord rec_;
};

// The "X.. Y.. Z.." lines of a text, as points.
std::vector<Point3D> points(const std::string& text) {
  std::vector<Point3D> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    Point3D p{};
    if (std::sscanf(line.c_str(), "X%lf Y%lf Z%lf", &p.x, &p.y, &p.z) == 3) out.push_back(p);
  }
  return out;
}
}  // namespace

TEST_F(GeoSourceTest, BoundaryBlock) {
  EXPECT_EQ(convert("{\nv3Dtype(boundary)\noContour[boundary]( )\noL( x[0/10] y[0/0] z[0/0] )\n"
                    "oL( x[/10] y[/10] z[/0] )\n}\n"),
            1);
  EXPECT_EQ(file("bnd"),
            "**BND 1\nX0.000000 Y0.000000 Z0.000000\nX10.000000 Y0.000000 Z0.000000\n"
            "X10.000000 Y10.000000 Z0.000000\n**END\n");
  EXPECT_EQ(std::string(rec_.tempNames[kCyc3dTempBoundary]), "tmp/" + kPid + ".bnd");
}

// A boundary of a square with a half circle on top, read back by the boundary reader: the arc's
// points lie on the circle and the region holds what the shape holds.
TEST_F(GeoSourceTest, BoundaryWithAnArcReadsBack) {
  ASSERT_EQ(convert("{\nv3Dtype(boundary)\noL( x[0/20] y[0/0] z[0/0] )\noL( x[/20] y[/20] )\n"
                    "oA( o[+] x[/0/10] y[/20/20] )\noL( x[/0] y[/0] )\n}\n"),
            1);
  const std::vector<Point3D> pts = points(file("bnd"));
  ASSERT_EQ(pts.size(), 3u + 17u + 1u + 1u)
      << "start, two lines, 17 arc points, the arc's end, back";
  for (std::size_t i = 3; i < 3 + 17; ++i) {
    EXPECT_NEAR(std::hypot(pts[i].x - 10, pts[i].y - 20), 10.0, 1e-5) << i;
    EXPECT_GT(pts[i].y, 20.0) << "counter-clockwise from (20, 20) to (0, 20) passes above";
  }
  Boundary* b = bndRead(rec_.tempNames[kCyc3dTempBoundary], 0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_NEAR(b->xmin, 0, 1e-6);
  EXPECT_NEAR(b->xmax, 20, 1e-6);
  EXPECT_NEAR(b->ymax, 30, 1e-3);
  EXPECT_NE(bndPointInside(b, {10, 28}), 0);
  EXPECT_NE(bndPointInside(b, {10, 5}), 0);
  EXPECT_EQ(bndPointInside(b, {1, 29}), 0) << "outside the half circle, inside its box";
  bndFree(b);
}

TEST_F(GeoSourceTest, ProfilesGoToTwoFilesAndTheRecord) {
  EXPECT_EQ(convert("{\nv3Dtype(profile)\nvsideOfCompensation(rightOfContour)\noL( x[0/10] y[0/0] "
                    "z[1/1] )\n}\n"
                    "{\nv3Dtype(profile)\noL( x[0/0] y[0/10] z[2/2] )\n}\n"
                    "{\nv3Dtype(profile)\noL( x[5/6] y[5/6] z[0/0] )\n}\n"
                    "vsurface(2.5)\nvdepth(-4)\noP( x[1] y[2] z[3] )\n"),
            3);
  EXPECT_EQ(file("prf"),
            "**PRF 1\nX0.000000 Y0.000000 Z1.000000\nX10.000000 Y0.000000 Z1.000000\n**END\n");
  EXPECT_EQ(file("pr2"),
            "**PRF 2\nX0.000000 Y0.000000 Z2.000000\nX0.000000 Y10.000000 Z2.000000\n**END\n");
  EXPECT_EQ(rec_.sideOfCompensation, 1);
  EXPECT_DOUBLE_EQ(rec_.surface, 2.5);
  EXPECT_DOUBLE_EQ(rec_.depth, -4);
  EXPECT_EQ(rec_.startPointGiven, 1);
  EXPECT_DOUBLE_EQ(rec_.startPoint.z, 3);
  // The profile reader takes the first profile back.
  Point2D pts[8];
  double z[8];
  ASSERT_EQ(guideReadPoints(pts, z, rec_.tempNames[kCyc3dTempProfile], 8), 2);
  EXPECT_DOUBLE_EQ(pts[1].x, 10);
  EXPECT_DOUBLE_EQ(z[1], 1);
  GuideCurve* profiles = guideReadProfiles(rec_.tempNames[kCyc3dTempProfile2], nullptr, 0.01, 0, 0);
  EXPECT_NE(profiles, nullptr);
  guideFree(profiles);
}

// Sync and segment blocks share one file name: the segment blocks used to recreate the file and
// lose the sync blocks written before them.
TEST_F(GeoSourceTest, SyncAndSegmentBlocksShareTheirFile) {
  EXPECT_EQ(convert("{\nv3Dtype(synch)\noL( x[0/1] y[0/1] z[0/1] )\noL( x[/2] y[/2] z[/2] )\n}\n"
                    "{\nv3Dtype(segment)\noL( x[5/6] y[5/6] z[5/6] )\n}\n"
                    "{\nv3Dtype(inclination)\noL( x[0/1] y[0/0] z[0/0] )\n}\n"),
            3);
  EXPECT_EQ(file("snc"),
            "**SYN 1\nx0.000000 y0.000000 z0.000000 X1.000000 Y1.000000 Z1.000000\n"
            "x1.000000 y1.000000 z1.000000 X2.000000 Y2.000000 Z2.000000\n**END\n"
            "**SYN 1\nx5.000000 y5.000000 z5.000000 X6.000000 Y6.000000 Z6.000000\n**END\n");
  EXPECT_EQ(file("trc"),
            "**PRF 1\nX0.000000 Y0.000000 Z0.000000\nX1.000000 Y0.000000 Z0.000000\n**END\n");
  EXPECT_EQ(rec_.syncWritten, 1);
  EXPECT_STREQ(rec_.tempNames[kCyc3dTempSync], rec_.sync2DumpName);
}

TEST_F(GeoSourceTest, ArcDivision) {
  struct Case {
    const char* arc;  // from (10, 0), centre (0, 0)
    double step;
    int inner;  // points between start and end
    double sweep;
  };
  const double pi = std::numbers::pi;
  const Case cases[] = {
      {"oA( o[+] x[10/0/0] y[0/10/0] z[0/0] )", 10, 8, pi / 2},  // quarter: 8 points
      {"oA( o[-] x[10/0/0] y[0/-10/0] z[0/0] )", 10, 8, -pi / 2},
      {"oA( o[+] x[10/-10/0] y[0/0/0] z[0/0] )", 10, 17, pi},     // half
      {"oA( o[+] x[10/10/0] y[0/0/0] z[0/0] )", 10, 35, 2 * pi},  // a full circle, not a half
      {"oA( o[-] x[10/10/0] y[0/0/0] z[0/0] )", 90, 3, -2 * pi},
      {"oA( o[+] x[10/0/0] y[0/10/0] z[0/0] )", 0, 1570, pi / 2},  // step at least 0.001 rad
  };
  for (const Case& c : cases) {
    rec_.circularMacroSegmentAngle = c.step;
    ASSERT_EQ(convert(std::string("{\nv3Dtype(boundary)\n") + c.arc + "\n}\n"), 1) << c.arc;
    const std::vector<Point3D> pts = points(file("bnd"));
    ASSERT_EQ(static_cast<int>(pts.size()), c.inner + 2) << c.arc;
    double turned = 0;
    for (std::size_t i = 1; i < pts.size(); ++i) {
      EXPECT_NEAR(std::hypot(pts[i].x, pts[i].y), 10.0, 1e-5) << c.arc << " " << i;
      double d = std::atan2(pts[i].y, pts[i].x) - std::atan2(pts[i - 1].y, pts[i - 1].x);
      if (d > pi) d -= 2 * pi;
      if (d < -pi) d += 2 * pi;
      turned += d;
    }
    EXPECT_NEAR(turned, c.sweep, 1e-4) << c.arc;
  }
  ASSERT_EQ(convert("{\nv3Dtype(boundary)\noA( o[+] x[10/10/10.00005] y[0/0/0] )\n}\n"), 1);
  EXPECT_EQ(file("bnd"), "**BND 1\n**END\n") << "a radius of 0.00005 writes nothing";
}

TEST_F(GeoSourceTest, RefusedSources) {
  EXPECT_EQ(convert("{\nv3Dtype(boundary)\noL( x[0/1] y[0/1] )\n}\n", "temporary"), -1);
  EXPECT_EQ(file("bnd"), "");
  char missing[] = "missing.qdx";
  rec_.geoSource = missing;
  EXPECT_EQ(bndGeometryDumps(&rec_), -1);
  rec_.geoSource = nullptr;
  EXPECT_EQ(bndGeometryDumps(&rec_), -1);
}

// A second dump opened while one is open closes the first with its end line.
TEST_F(GeoSourceTest, SecondDumpClosesTheFirstAndPlungeLines) {
  bndSetPlungeOutput(1);
  EXPECT_EQ(convert("{\nvplungePoint(1.5,2)\nv3Dtype(boundary)\noL( x[0/1] y[0/0] )\n"
                    "v3Dtype(boundary)\noL( x[/2] y[/0] )\n}\n"
                    "{\nvplungePoint(3/4)\nv3Dtype(profile)\n}\n"),
            2);
  EXPECT_EQ(file("bnd"),
            "**BND 1\n**PLUNGE X1.500000 Y2.000000\nX0.000000 Y0.000000 Z0.000000\n"
            "X1.000000 Y0.000000 Z0.000000\n**END\n"
            "**BND 2\n**PLUNGE X1.500000 Y2.000000\nX1.000000 Y0.000000 Z0.000000\n"
            "X2.000000 Y0.000000 Z0.000000\n**END\n");
  EXPECT_EQ(file("prf"), "**PRF 1\n**PLUNGE X3.000000 Y4.000000\n**END\n");
}

TEST(BndParsePair, CommaOrSlash) {
  struct Case {
    const char* text;
    int result;
    double a, b;
  };
  const Case cases[] = {{"1.5,2", 1, 1.5, 2}, {"-3/4e1", 1, -3, 40}, {"1/2,3", 1, 1, 3},
                        {"7", 0, 0, 0},       {"x,1", 0, 0, 0},      {"", 0, 0, 0}};
  for (const Case& c : cases) {
    double out[2] = {0, 0};
    EXPECT_EQ(bndParsePair(c.text, out), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_DOUBLE_EQ(out[0], c.a) << c.text;
      EXPECT_DOUBLE_EQ(out[1], c.b) << c.text;
    }
  }
}

// Points go out in world coordinates; the plunge point is written as read.
TEST_F(GeoSourceTest, PointsAreMappedToTheWorld) {
  csysSetTool({100, 0, 5}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  ASSERT_EQ(csysPrepare(), 1);
  bndSetPlungeOutput(1);
  ASSERT_EQ(convert("{\nvplungePoint(1,2)\nv3Dtype(boundary)\noL( x[0/1] y[0/0] z[0/0] )\n}\n"), 1);
  EXPECT_EQ(file("bnd"),
            "**BND 1\n**PLUNGE X1.000000 Y2.000000\nX100.000000 Y0.000000 Z5.000000\n"
            "X101.000000 Y0.000000 Z5.000000\n**END\n");
  csysResetState();
}

namespace {
// Sets a host locale whose decimal mark is a comma for the life of the guard (none: ok() false).
struct CommaLocale {
  CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        found = true;
        break;
      }
    }
  }
  ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
  bool found = false;
};
}  // namespace

// The files were written in the host's number format: under a German locale a boundary point
// came out as "X1,500000", which the boundary reader does not take for 1.5.
TEST_F(GeoSourceTest, NumbersIgnoreTheHostLocale) {
  bndSetPlungeOutput(1);
  int dumps = 0;
  {
    CommaLocale comma;
    if (!comma.found) GTEST_SKIP() << "no de_DE locale installed";
    dumps = convert(
        "{\nvplungePoint(1.5,2.25)\nv3Dtype(boundary)\noL( x[0.5/1.5] y[0/0.25] )\n}\n"
        "{\nv3Dtype(synch)\noL( x[0/1.5] y[0/1] z[0/1] )\n}\n");
  }
  EXPECT_EQ(dumps, 2);
  EXPECT_EQ(file("bnd"),
            "**BND 1\n**PLUNGE X1.500000 Y2.250000\nX0.500000 Y0.000000 Z0.000000\n"
            "X1.500000 Y0.250000 Z0.000000\n**END\n");
  EXPECT_EQ(file("snc"),
            "**SYN 1\nx0.000000 y0.000000 z0.000000 X1.500000 Y1.000000 Z1.000000\n**END\n");
}
