// The rest information file: contours written and read back (with and without scaling), routing to
// a layer, and a table of malformed files against the codes and results they must give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pock_output_support.h"
#include "pocket/ccp_params.h"
#include "pocket/pock_scale.h"
#include "pocket/rest_file.h"

using namespace pocktest;

namespace {

class RestFileTest : public OutputTest {
 protected:
  void SetUp() override {
    OutputTest::SetUp();
    std::snprintf(pockCfg().rifName, sizeof pockCfg().rifName, "%s", "rest.rif");
    pockCfg().genRif = 1;
    pockCfg().evalRif = 1;
    layerCreate("SPAN");
  }
  int errors(const std::string& id) {
    const std::string t = text();
    int n = 0;
    for (auto at = t.find("error(" + id + ")"); at != std::string::npos;
         at = t.find("error(" + id + ")", at + 1)) {
      ++n;
    }
    return n;
  }
  // Reads the file into SPAN; the contours read.
  std::vector<std::vector<ContourElement>> spanContours() {
    std::vector<std::vector<ContourElement>> out;
    for (int i = 0; i < layerCount("SPAN"); ++i) {
      ContourHeader h{};
      layerGetHeader("SPAN", &h, i);
      std::vector<ContourElement> e(static_cast<std::size_t>(h.count));
      layerGetContour("SPAN", e.data(), h.count, &h, i);
      EXPECT_EQ(h.group, i);
      out.push_back(e);
    }
    return out;
  }
};

// A closed contour of a line, a counter-clockwise and a clockwise arc.
std::vector<ContourElement> sample(double f) {
  return {contMakeLine(0, 0, 20 * f, 0, 0),
          contMakeArc(20 * f, 5 * f, 20 * f, 0, 20 * f, 10 * f, 5 * f, 1, 0),
          contMakeArc(10 * f, 10 * f, 20 * f, 10 * f, 0, 10 * f, 10 * f, -1, 0),
          contMakeLine(0, 10 * f, 0, 0, 0)};
}

void expectSame(const std::vector<ContourElement>& a, const std::vector<ContourElement>& b,
                double tol) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].type, b[i].type) << i;
    EXPECT_NEAR(contElemStart(a[i]).x, contElemStart(b[i]).x, tol) << i;
    EXPECT_NEAR(contElemStart(a[i]).y, contElemStart(b[i]).y, tol) << i;
    EXPECT_NEAR(contElemEnd(a[i]).x, contElemEnd(b[i]).x, tol) << i;
    EXPECT_NEAR(contElemEnd(a[i]).y, contElemEnd(b[i]).y, tol) << i;
    if (a[i].type == kContArc) {
      EXPECT_EQ(a[i].dir, b[i].dir) << i;
      EXPECT_NEAR(a[i].p0, b[i].p0, tol) << i;
      EXPECT_NEAR(a[i].p1, b[i].p1, tol) << i;
      EXPECT_NEAR(a[i].radius, b[i].radius, 2 * tol) << i;
    }
  }
}

}  // namespace

// Written and read back within the four decimals, at scale 1 and 25 (the file holds output units;
// the contour returns in engine units); the caller's buffer is left bit for bit as it was.
TEST_F(RestFileTest, RoundTripWithAndWithoutScaling) {
  for (double f : {1.0, 25.0}) {
    std::remove("rest.rif");
    layerClear("SPAN");
    pockEngine().scaleFactor = f;
    const std::vector<ContourElement> c = sample(f * 1.23456789);
    std::vector<ContourElement> buffer = c;
    ASSERT_EQ(rifWriteRadius(5 * f), 1);
    ASSERT_EQ(rifWriteContour(buffer.data(), static_cast<int>(buffer.size()), nullptr), 1);
    ASSERT_EQ(rifWriteContour(buffer.data(), 2, nullptr), 1);
    EXPECT_EQ(std::memcmp(buffer.data(), c.data(), c.size() * sizeof(ContourElement)), 0);
    const std::string file = qdtest::readFile("rest.rif");
    EXPECT_EQ(file.rfind("G191 R5.0000\nG41 X0.0000 Y0.0000\n", 0), 0u) << file;
    EXPECT_NE(file.find("\nG3 "), std::string::npos);
    EXPECT_NE(file.find("\nG2 "), std::string::npos);
    double radius = 0;
    ASSERT_EQ(rifRead("SPAN", &radius), 1);
    EXPECT_NEAR(radius, 5 * f, 1e-9);
    const auto read = spanContours();
    ASSERT_EQ(read.size(), 2u);
    expectSame(read[0], c, 5e-5 * f);
    expectSame(read[1], {c[0], c[1]}, 5e-5 * f);
  }
  scaleReset();
}

// With a layer's name as the file name the contours go into that layer and no file is made.
TEST_F(RestFileTest, LayerNameRoutesToTheLayer) {
  std::snprintf(pockCfg().rifName, sizeof pockCfg().rifName, "%s", "REST");
  layerCreate("REST");
  const auto c = sample(1);
  EXPECT_EQ(rifWriteRadius(5), 1);
  EXPECT_EQ(rifWriteContour(c.data(), 4, nullptr), 1);
  EXPECT_EQ(layerCount("REST"), 1);
  EXPECT_EQ(std::fopen("REST", "r"), nullptr);
  pockCfg().genRif = 0;
  EXPECT_EQ(rifWriteRadius(5), 0);
  EXPECT_EQ(rifWriteContour(c.data(), 4, nullptr), 0);
  EXPECT_EQ(layerCount("REST"), 1);
}

// Malformed and unusual files: the result, the contours kept in the layer, the radius and the
// message ids (1516 unreadable line, 1515 no file, 1500 too many elements).
TEST_F(RestFileTest, MalformedFiles) {
  const std::string longComment = "G0 (" + std::string(140, 'x') + " G1 X5 Y5)";
  struct Case {
    const char* name;
    std::string text;
    int result;
    std::vector<int> counts;  // elements per contour kept
    double radius;
    const char* id;
  };
  const Case cases[] = {
      {"only radius", "G191 R3.5\n", 1, {}, 3.5, nullptr},
      {"second kind", "G191 R1\nG192 R2.5\n", 2, {}, 2.5, nullptr},
      {"no radius", "G41 X0 Y0\nG1 X1 Y0\nG40\n", 0, {1}, 0, nullptr},
      {"G01", "G191 R1\nG41 X0 Y0\nG01 X1 Y0\nG1 X1 Y1\nG40\n", 1, {2}, 1, nullptr},
      {"CR LF", "G191 R1\r\nG41 X0 Y0\r\nG1 X1 Y0\r\nG40\r\n", 1, {1}, 1, nullptr},
      {"Y without number", "G191 R1\nG41 X0 Y0\nG1 X1 Y\nG40\n", -1, {}, 0, "1516"},
      {"X letter then text", "G191 R1\nG41 X0 Y0\nG1 Xa Y1\nG40\n", -1, {}, 0, "1516"},
      {"arc without J", "G191 R1\nG41 X0 Y0\nG3 X1 Y1 I0\nG40\n", -1, {}, 0, "1516"},
      {"long comment",
       "G191 R1\nG41 X0 Y0\nG1 X1 Y0\n" + longComment + "\nG40\n",
       1,
       {1},
       1,
       nullptr},
      {"G40 without G41", "G191 R1\nG40\n", -1, {}, 0, "1516"},
      {"elements after G40",
       "G191 R1\nG41 X0 Y0\nG1 X1 Y0\nG40\nG1 X2 Y0\nG40\n",
       -1,
       {1},
       0,
       "1516"},
      {"second contour fresh",
       "G191 R1\nG41 X0 Y0\nG1 X1 Y0\nG40\nG42 X5 Y5\nG1 X6 Y5\nG1 X6 Y6\nG40\n",
       1,
       {1, 2},
       1,
       nullptr},
  };
  for (const Case& c : cases) {
    layerClear("SPAN");
    qdtest::writeFile("rest.rif", c.text);
    const int before = c.id != nullptr ? errors(c.id) : 0;
    double radius = 0;
    EXPECT_EQ(rifRead("SPAN", &radius), c.result) << c.name;
    if (c.result > 0) {
      EXPECT_NEAR(radius, c.radius, 1e-12) << c.name;
    }
    const auto read = spanContours();
    ASSERT_EQ(read.size(), c.counts.size()) << c.name;
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(static_cast<int>(read[i].size()), c.counts[i]) << c.name;
    }
    if (c.id != nullptr) {
      EXPECT_EQ(errors(c.id), before + 1) << c.name;
    }
  }
  std::remove("rest.rif");
  EXPECT_EQ(rifRead("SPAN", nullptr), -1);
  EXPECT_EQ(errors("1515"), 1);
  pockCfg().evalRif = 0;
  EXPECT_EQ(rifRead("SPAN", nullptr), 0);
}

// One contour of more elements than the limit is refused with 3029 (id 1500), not read without end.
TEST_F(RestFileTest, ElementLimit) {
  std::string s = "G191 R1\nG41 X0 Y0\n";
  for (int i = 1; i <= kRifMaxElements + 1; ++i) s += "G1 X" + std::to_string(i) + " Y0\n";
  s += "G40\n";
  qdtest::writeFile("rest.rif", s);
  EXPECT_EQ(rifRead("SPAN", nullptr), -1);
  EXPECT_EQ(errors("1500"), 1);
  EXPECT_EQ(layerCount("SPAN"), 0);
}

TEST(RestFileNumbers, NumberAfterALetter) {
  double v = 0;
  EXPECT_EQ(rifNumberAfter('X', "G1 X-1.5 Y2", &v), 3);
  EXPECT_EQ(v, -1.5);
  EXPECT_EQ(rifNumberAfter('Y', "G1 X1 Y 2.25", &v), 6);
  EXPECT_EQ(v, 2.25);
  EXPECT_EQ(rifNumberAfter('Y', "G1 X1 Y+2", &v), -1);
  EXPECT_EQ(rifNumberAfter('Y', "G1 X1 Y", &v), -1);
  EXPECT_EQ(rifNumberAfter('Y', "G1 X1 Y nan", &v), -1);
  EXPECT_EQ(rifNumberAfter('R', "G191", &v), -1);
}
