// The contour offset against the brute-force distance field (tests/geometry/offset_field.h): each
// contour of every outline family, offset to both sides, must be the level set of its field in
// membership, area and number of loops (within what the grid resolves: near a narrowing as wide as
// the offset the field rises and falls about the level from vertex to vertex, so tiny loops come
// and go), and succeed in one attempt.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../geometry/offset_field.h"
#include "../geometry/offset_shapes.h"
#include "pocket/contour_offset.h"
#include "pocket/engine_state.h"

namespace {
using offtest::Poly;
using offtest::Pt;

std::vector<ContourElement> elementsOf(const Poly& p) {
  std::vector<ContourElement> v;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Pt a = p[i], b = p[(i + 1) % p.size()];
    v.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return v;
}

// A loop of lines and arcs as a polygon: every arc by chords whose sagitta stays below kSagitta.
constexpr double kSagitta = 1e-5;
Poly polygonOf(const ContourElement* e, int n) {
  Poly p;
  for (int i = 0; i < n; ++i) {
    if (e[i].type != kContArc) {
      p.push_back({e[i].p0, e[i].p1});
      continue;
    }
    const double a0 = std::atan2(e[i].p3 - e[i].p1, e[i].p2 - e[i].p0);
    const double a1 = std::atan2(e[i].p5 - e[i].p1, e[i].p4 - e[i].p0);
    double sweep = a1 - a0;
    if (e[i].dir > 0) {
      while (sweep < 0) sweep += 2 * offtest::kPi;
    } else {
      while (sweep > 0) sweep -= 2 * offtest::kPi;
    }
    const double r = std::hypot(e[i].p2 - e[i].p0, e[i].p3 - e[i].p1);
    const double step = r > kSagitta ? 2 * std::acos(1 - kSagitta / r) : offtest::kPi;
    const int k = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / step)));
    for (int j = 0; j < k; ++j) {
      const double t = a0 + sweep * j / k;
      p.push_back({e[i].p0 + r * std::cos(t), e[i].p1 + r * std::sin(t)});
    }
  }
  return p;
}

struct Case {
  std::string name;
  std::vector<Poly> shape;  // each polygon is offset alone
  double d;                 // distance to side +1 (the left: into a counter-clockwise polygon)
  int cells;                // grid nodes along the offset's box
  int loops = -1;           // loops of each polygon's offset where known, else the field's bounds
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> cases() {
  using namespace offtest;
  return {
      {"Circle100In", circle(100), 2.5, 200},
      {"Circle3000Out", circle(3000), -2.5, 200},
      {"Wobbly1000In", wobblyCircle(1000), 3.0, 200},
      {"Wobbly1000Out", wobblyCircle(1000), -1.0, 200},
      {"Spiky100In", spikyStar(100), 0.25, 300},
      {"Spiky1000Out", spikyStar(1000), -0.25, 300},
      // Dense spiky stars: the raw offset crosses itself about once per spike, beyond the
      // engine's table of 5000 crossings; the offset vanished after 22 attempts.
      {"Spiky3000In", spikyStar(3000), 0.25, 300, 1},
      {"Spiky10000In", spikyStar(10000), 0.25, 300, 1},
      {"StarIslands1000In", starWithIslands(1000), 0.25, 200},
      {"StarIslands1000Out", starWithIslands(1000), -0.5, 200},
      {"Comb25In", comb(25), 0.3, 400},
      {"Comb25Out", comb(25), -0.4, 400},
      {"Comb25SplitsTeeth", comb(25), 0.45, 400},
      {"Needles9In", needleSquare(9), 0.5, 300},
      {"Needles9Out", needleSquare(9), -0.5, 300},
      // Needles 1.8 apart: the grown needles merge, and the lobes of the offset around the
      // needles into the square lie the full distance from the contour but inside it.
      {"NeedlesCloseOut", needleSquare(10), -2.5, 300},
      {"NeedlesCloseIn", needleSquare(10), 0.7, 300},
  };
}

class ContourOffsetField : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    pockRunReset();
    contOffsetResetState();
    pockEngine().pockToolRadius = 5;
  }
  void TearDown() override {
    contOffsetResetState();
    pockRunReset();
  }
};

int gAttempts = 0;
void countAttempt(const ContourElement*, int, double, int) { ++gAttempts; }

TEST_P(ContourOffsetField, LoopsAreTheLevelSet) {
  const Case& c = GetParam();
  std::vector<ContourElement> out(2 * kContMaxElements);
  std::vector<ContourElement*> starts(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  contOffsetSetObserver(countAttempt);
  for (std::size_t k = 0; k < c.shape.size(); ++k) {
    SCOPED_TRACE("polygon " + std::to_string(k));
    const Poly& p = c.shape[k];
    const auto src = elementsOf(p);
    gAttempts = 0;
    const int r = contOffset(src.data(), static_cast<int>(src.size()), 1, c.d, out.data(),
                             static_cast<int>(out.size()), nullptr, starts.data(), counts.data());
    ASSERT_GE(r, 0);
    EXPECT_EQ(gAttempts, 1);
    std::vector<Poly> loops;
    for (int i = 0; i < r; ++i) loops.push_back(polygonOf(starts[i], counts[i]));
    // The left of a counter-clockwise polygon is its inside: side +1 shrinks it by d.
    double area2 = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i)
      area2 += p[i].x * p[(i + 1) % p.size()].y - p[(i + 1) % p.size()].x * p[i].y;
    const double growth = area2 > 0 ? -c.d : c.d;
    const offtest::FieldCheck check = offtest::checkOffset({p}, growth, loops, 1e-4, c.cells);
    EXPECT_TRUE(offtest::fieldAgrees(check)) << "area " << check.area << ", loops " << r;
    if (c.loops >= 0) {
      EXPECT_EQ(r, c.loops);
    }
  }
}

// Whether an offset truly vanishes, against the field: an offset whose level set holds a node
// surely beyond the distance does not; one whose field stays surely below it does.
TEST(ContourOffsetVanishes, AgreesWithTheField) {
  struct Row {
    std::vector<Poly> shape;
    double d;  // to side +1
  };
  const Row rows[] = {
      {offtest::circle(200), 3.0},      {offtest::circle(200), 9.5},
      {offtest::circle(200), 10.2},     {offtest::circle(200), -3.0},
      {offtest::spikyStar(3000), 0.25}, {offtest::comb(10), 0.45},
      {offtest::comb(10), 0.55},        {offtest::needleSquare(5), 9.9},
      {offtest::needleSquare(5), 10.1},
  };
  pockRunReset();
  for (const Row& row : rows) {
    const Poly& p = row.shape[0];
    const auto src = elementsOf(p);
    const offtest::FieldCheck field = offtest::checkOffset({p}, -row.d, {}, 0.0, 150);
    const int vanishes = contOffsetVanishes(src.data(), static_cast<int>(src.size()), 1, row.d);
    SCOPED_TRACE(testing::Message() << p.size() << " points, d " << row.d);
    if (field.areaLow > 0.0) {
      EXPECT_EQ(vanishes, 0);
    }
    if (field.areaHigh == 0.0) {
      EXPECT_EQ(vanishes, 1);
    }
    EXPECT_TRUE(field.areaLow > 0.0 || field.areaHigh == 0.0) << "the grid cannot tell";
  }
  pockRunReset();
}

INSTANTIATE_TEST_SUITE_P(Families, ContourOffsetField, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
