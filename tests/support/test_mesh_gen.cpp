// Tests of the test mesh generator against what each shape must be by construction: triangle
// count, box and volume (by the divergence theorem), closed and outward-facing shells, the flat
// levels, and the bytes of its three STL encodings decoded here on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_gen.h"

namespace {

using qdtest::gen::Encoding;
using qdtest::gen::Mesh;
using qdtest::gen::Tri;
using qdtest::gen::Vec;

struct ShapeCase {
  const char* name;
  Mesh (*make)();
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

const ShapeCase kShapes[] = {
    {"SphereOnPlate", [] { return qdtest::gen::sphereOnPlate(); }},
    {"CoarseSphereOnPlate", [] { return qdtest::gen::sphereOnPlate(3, 5, 2, 10, 0.5); }},
    {"WheelInBox", [] { return qdtest::gen::wheelInBox(); }},
    {"FineWheelInBox", [] { return qdtest::gen::wheelInBox(96); }},
    {"BoxWithBlindHoles", [] { return qdtest::gen::boxWithHoles(); }},
    {"BoxWithThroughHoles", [] { return qdtest::gen::boxWithHoles(3, 1, 10); }},
    {"Terrain", [] { return qdtest::gen::terrain(); }},
    {"CoarseTerrain", [] { return qdtest::gen::terrain(7, 30); }},
};

std::uint32_t u32At(const std::string& s, std::size_t at) {
  std::uint32_t w = 0;
  for (int k = 3; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(s[at + k]);
  return w;
}
double f32At(const std::string& s, std::size_t at) {
  return static_cast<double>(std::bit_cast<float>(u32At(s, at)));
}

class GeneratedShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(GeneratedShape, CountBoxAndVolumeMatchTheConstruction) {
  const Mesh m = GetParam().make();
  EXPECT_EQ(m.tris.size(), m.triangles);
  Vec lo{}, hi{};
  qdtest::gen::boxOf(m.tris, &lo, &hi);
  const double scale = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  const double tol = 1e-6 * scale;
  EXPECT_NEAR(lo.x, m.lo.x, tol);
  EXPECT_NEAR(lo.y, m.lo.y, tol);
  EXPECT_NEAR(lo.z, m.lo.z, tol);
  EXPECT_NEAR(hi.x, m.hi.x, tol);
  EXPECT_NEAR(hi.y, m.hi.y, tol);
  EXPECT_NEAR(hi.z, m.hi.z, tol);
  ASSERT_GT(m.volume, 0);
  EXPECT_NEAR(qdtest::gen::divergenceVolume(m.tris), m.volume, 1e-6 * m.volume);
}

// Every directed edge is used once and its reverse once: the shells are closed and their
// triangles turn one way. No triangle is degenerate.
TEST_P(GeneratedShape, ShellsAreClosedAndOriented) {
  const Mesh m = GetParam().make();
  std::map<std::tuple<double, double, double>, int> ids;
  auto id = [&ids](const Vec& p) {
    return ids.emplace(std::make_tuple(p.x, p.y, p.z), static_cast<int>(ids.size())).first->second;
  };
  std::map<std::pair<int, int>, int> edges;
  for (const Tri& t : m.tris) {
    const int v[3] = {id(t.v[0]), id(t.v[1]), id(t.v[2])};
    ASSERT_TRUE(v[0] != v[1] && v[1] != v[2] && v[0] != v[2]) << "degenerate triangle";
    const Vec n = qdtest::gen::unitNormal(t);
    ASSERT_GT(n.x * n.x + n.y * n.y + n.z * n.z, 0.5) << "triangle without area";
    for (int k = 0; k < 3; ++k) ++edges[{v[k], v[(k + 1) % 3]}];
  }
  int bad = 0;
  for (const auto& [edge, count] : edges) {
    const auto back = edges.find({edge.second, edge.first});
    if (count != 1 || back == edges.end() || back->second != 1) ++bad;
  }
  EXPECT_EQ(bad, 0) << "edges not shared by exactly two opposite triangles";
}

// The heights of the upward flat faces are the listed levels, no more, no fewer.
TEST_P(GeneratedShape, FlatLevelsAreTheUpwardFlatFaces) {
  const Mesh m = GetParam().make();
  std::set<double> found;
  for (const Tri& t : m.tris) {
    if (t.v[0].z == t.v[1].z && t.v[1].z == t.v[2].z && qdtest::gen::unitNormal(t).z > 0.5) {
      found.insert(t.v[0].z);
    }
  }
  std::set<double> expected;
  for (double z : m.flatLevels) expected.insert(static_cast<double>(static_cast<float>(z)));
  EXPECT_EQ(found, expected);
}

// Every corner survives the binary encoding's single precision unchanged, in every build type:
// a corner left in double precision reads back moved, and shells that meet there come apart.
TEST_P(GeneratedShape, CornersAreSinglePrecision) {
  const Mesh m = GetParam().make();
  const std::string bytes = qdtest::gen::stlBytes(m, Encoding::kBinary);
  ASSERT_EQ(bytes.size(), 84 + 50 * m.tris.size());
  int moved = 0;
  for (std::size_t i = 0; i < m.tris.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const std::size_t at = 84 + 50 * i + 12 + 12 * k;
      const Vec& p = m.tris[i].v[k];
      if (f32At(bytes, at) != p.x || f32At(bytes, at + 4) != p.y || f32At(bytes, at + 8) != p.z) {
        ++moved;
      }
    }
  }
  EXPECT_EQ(moved, 0) << "corners not held exactly in single precision";
}

INSTANTIATE_TEST_SUITE_P(Shapes, GeneratedShape, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

// Rounding to single precision, against values the compiler rounds from literals: ties go to the
// even neighbour, below the normal range the step is the subnormals' 2^-149, zero, sign and
// infinity pass through.
TEST(GeneratedStl, RoundingToSinglePrecision) {
  const struct {
    double in, want;
  } cases[] = {
      {64.671567275790068, static_cast<double>(64.671567275790068f)},
      {-26.787840265556284, static_cast<double>(-26.787840265556284f)},
      {0x1.000001p0, 1.0},                 // halfway: to the even 1
      {0x1.000003p0, 0x1.000004p0},        // halfway: to the even 1 + 2^-22
      {-0x1.0000010001p0, -0x1.000002p0},  // past halfway
      {0x1.8p-149, 0x1p-148},              // subnormal halfway: to the even
      {0x1p-150, 0.0},
      {0x1.4p-140, 0x1.4p-140},
      {3.4e38, static_cast<double>(3.4e38f)},
      {1e-7, static_cast<double>(1e-7f)},
      {0.0, 0.0},
      {HUGE_VAL, HUGE_VAL},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qdtest::gen::detail::toFloat(c.in), c.want) << std::hexfloat << c.in;
  }
  EXPECT_TRUE(std::signbit(qdtest::gen::detail::toFloat(-0.0)));
}

// Binary: 84 + 50 n bytes, the count, every corner exactly; the header begins with "solid" only
// in that encoding. Text: one facet per triangle, every corner exactly.
TEST(GeneratedStl, EncodingsHoldEveryCornerExactly) {
  const Mesh m = qdtest::gen::wheelInBox(8);
  for (Encoding e : {Encoding::kBinary, Encoding::kBinarySolidHeader}) {
    SCOPED_TRACE(qdtest::gen::encodingName(e));
    const std::string bytes = qdtest::gen::stlBytes(m, e);
    ASSERT_EQ(bytes.size(), 84 + 50 * m.tris.size());
    EXPECT_EQ(bytes.compare(0, 5, "solid") == 0, e == Encoding::kBinarySolidHeader);
    EXPECT_EQ(u32At(bytes, 80), m.tris.size());
    for (std::size_t i = 0; i < m.tris.size(); ++i) {
      const std::size_t at = 84 + 50 * i + 12;
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(f32At(bytes, at + 12 * k), m.tris[i].v[k].x);
        EXPECT_EQ(f32At(bytes, at + 12 * k + 4), m.tris[i].v[k].y);
        EXPECT_EQ(f32At(bytes, at + 12 * k + 8), m.tris[i].v[k].z);
      }
    }
  }
  const std::string text = qdtest::gen::stlBytes(m, Encoding::kText);
  EXPECT_EQ(text.compare(0, 6, "solid "), 0);
  std::istringstream in(text);
  std::string line;
  std::vector<Vec> corners;
  int facets = 0;
  while (std::getline(in, line)) {
    Vec p{};
    if (std::sscanf(line.c_str(), " vertex %lf %lf %lf", &p.x, &p.y, &p.z) == 3)
      corners.push_back(p);
    if (line.find("facet normal") != std::string::npos) ++facets;
  }
  EXPECT_EQ(static_cast<std::size_t>(facets), m.tris.size());
  ASSERT_EQ(corners.size(), 3 * m.tris.size());
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const Vec& want = m.tris[i / 3].v[i % 3];
    EXPECT_TRUE(corners[i].x == want.x && corners[i].y == want.y && corners[i].z == want.z) << i;
  }
}

}  // namespace
