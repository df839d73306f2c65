// Pocket grouping: random containment forests of circles in any order and direction against a
// brute-force parity oracle (groups, orientations, parents, layer order); the four depth trims;
// coinciding contours; tolerances chosen per call; the input check and the island order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "pocket/contour_element.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pocket_grouping.h"

namespace {

class GroupingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    layerResetState();
    pockGroupingResetState();
    layerCreate("INPUT");
  }
  void TearDown() override { layerResetState(); }
};

struct Circle {
  double cx, cy, r;
  int dir;
  double top = 0, bottom = -10;
  int sequence = 0;
};

std::vector<ContourElement> circleElements(const Circle& c) {
  std::vector<ContourElement> e;
  for (int k = 0; k < 4; ++k) {
    const double a0 = c.dir * k * M_PI / 2;
    const double a1 = c.dir * (k + 1) * M_PI / 2;
    e.push_back(contMakeArc(c.cx, c.cy, c.cx + c.r * std::cos(a0), c.cy + c.r * std::sin(a0),
                            c.cx + c.r * std::cos(a1), c.cy + c.r * std::sin(a1), c.r, c.dir, 0));
  }
  return e;
}

void addCircle(const Circle& c) {
  const std::vector<ContourElement> e = circleElements(c);
  ContourHeader h{};
  h.count = 4;
  h.zTop = c.top;
  h.zBottom = c.bottom;
  h.sequence = static_cast<std::int16_t>(c.sequence);
  h.group = 1;
  ASSERT_EQ(layerInsertContour("INPUT", e.data(), &h, -1), 1);
}

// The circle a layer contour was made from: centre and radius of its first arc.
struct Read {
  ContourHeader h;
  double cx, cy, r;
  int orient;
};
Read readBack(int i) {
  Read out{};
  std::vector<ContourElement> e(8);
  layerGetContour("INPUT", e.data(), 8, &out.h, i);
  out.cx = e[0].p0;
  out.cy = e[0].p1;
  out.r = e[0].radius;
  out.orient = contOrientation(e.data(), out.h.count);
  return out;
}

bool inside(const Circle& a, const Circle& b) {
  return std::hypot(a.cx - b.cx, a.cy - b.cy) + a.r < b.r;
}

// A random forest: roots in a row, each circle with up to three children inside it.
std::vector<Circle> forest(std::mt19937& rng) {
  std::uniform_int_distribution<int> kids(0, 3);
  std::uniform_int_distribution<int> coin(0, 1);
  std::vector<Circle> all;
  struct Slot {
    double cx, cy, r;
    int depth;
  };
  std::vector<Slot> todo;
  const int roots = 1 + kids(rng);
  for (int k = 0; k < roots; ++k) todo.push_back({100.0 * k, 0, 45, 0});
  while (!todo.empty()) {
    const Slot s = todo.back();
    todo.pop_back();
    all.push_back({s.cx, s.cy, s.r, coin(rng) != 0 ? 1 : -1});
    if (s.depth >= 3) continue;
    const int n = kids(rng);
    // Children on a ring of the parent, each of radius well below its share.
    for (int k = 0; k < n; ++k) {
      const double a = 2 * M_PI * k / 3;
      const double rr = s.r * 0.22;
      todo.push_back(
          {s.cx + 0.5 * s.r * std::cos(a), s.cy + 0.5 * s.r * std::sin(a), rr, s.depth + 1});
    }
  }
  std::shuffle(all.begin(), all.end(), rng);
  return all;
}

}  // namespace

// Groups, orientations, parents and layer order against the parity of containment: a contour
// inside an even number of others is the outer contour of its own pocket, in an odd number an
// island of its direct parent's pocket.
TEST_F(GroupingTest, RandomForestsAgainstParity) {
  std::mt19937 rng(36);
  for (int round = 0; round < 40; ++round) {
    SetUp();
    const std::vector<Circle> in = forest(rng);
    for (const Circle& c : in) addCircle(c);
    const int n = static_cast<int>(in.size());
    const int dir = round % 2 == 0 ? 1 : -1;
    // Brute force: depth and direct parent by containment.
    std::vector<int> depth(n, 0), parent(n, -1);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        if (i != j && inside(in[i], in[j])) ++depth[i];
      }
    }
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        if (i != j && inside(in[i], in[j]) && depth[j] == depth[i] - 1) parent[i] = j;
      }
    }
    // Group numbers in processing order: contours in input order, ancestors first.
    std::vector<int> group(n, 0);
    int groups = 0;
    std::function<void(int)> assign = [&](int i) {
      if (group[i] != 0) return;
      if (parent[i] >= 0) assign(parent[i]);
      group[i] = depth[i] % 2 == 0 ? ++groups : group[parent[i]];
    };
    for (int i = 0; i < n; ++i) assign(i);
    // The expected order: per group its outer contour, then its islands, each in input order.
    std::vector<int> order;
    for (int g = 1; g <= groups; ++g) {
      for (int outer = 1; outer >= 0; --outer) {
        for (int i = 0; i < n; ++i) {
          if (group[i] == g && (depth[i] % 2 == 0) == (outer == 1)) order.push_back(i);
        }
      }
    }
    int open = 7;
    ASSERT_EQ(pockGroupPockets("INPUT", dir, 0, &open), groups) << round;
    EXPECT_EQ(open, 0);
    ASSERT_EQ(layerCount("INPUT"), n);
    std::vector<int> position(n, -1);
    for (int k = 0; k < n; ++k) position[order[k]] = k;
    for (int k = 0; k < n; ++k) {
      const Read r = readBack(k);
      const int i = order[k];
      EXPECT_NEAR(r.cx, in[i].cx, 1e-9) << round << " " << k;
      EXPECT_NEAR(r.r, in[i].r, 1e-9) << round << " " << k;
      EXPECT_EQ(r.h.group, group[i]) << round << " " << k;
      const int want = depth[i] % 2 == 0 ? dir : -dir;
      EXPECT_EQ(r.orient, want) << round << " " << k;
      EXPECT_EQ(r.h.ccw, want == 1 ? 1 : 0);
      EXPECT_EQ(r.h.leftSide, (dir + 1) / 2);
      EXPECT_EQ(r.h.parent, parent[i] < 0 ? -1 : position[parent[i]]) << round << " " << k;
    }
  }
}

// The four depth trims of a contour against its direct parent.
TEST_F(GroupingTest, DepthTrims) {
  struct Case {
    const char* name;
    std::vector<Circle> circles;  // outer first; the last is the one checked
    int groups;
    double top, bottom;
    int group;
  };
  const Case cases[] = {
      {"island of the outer's pocket",
       {{0, 0, 40, 1, 0, -20}, {0, 0, 10, 1, 0, -30}},
       1,
       0,
       -20,
       1},
      {"pocket below the outer's floor",
       {{0, 0, 40, 1, 0, -10}, {0, 0, 10, 1, -10, -20}},
       2,
       -10,
       -20,
       2},
      {"island rising above the island",
       {{0, 0, 40, 1, 0, -20}, {0, 0, 20, -1, -5, -20}, {0, 0, 5, 1, 0, -20}},
       1,
       0,
       -5,
       1},
      {"pocket standing on the island",
       {{0, 0, 40, 1, 0, -20}, {0, 0, 20, -1, -5, -20}, {0, 0, 5, 1, -5, -8}},
       2,
       -5,
       -8,
       2},
  };
  for (const Case& c : cases) {
    SetUp();
    for (const Circle& x : c.circles) addCircle(x);
    ASSERT_EQ(pockGroupPockets("INPUT", 1, 0, nullptr), c.groups) << c.name;
    // The checked contour is the smallest circle.
    for (int k = 0; k < layerCount("INPUT"); ++k) {
      const Read r = readBack(k);
      if (std::fabs(r.r - c.circles.back().r) > 1e-9) continue;
      EXPECT_EQ(r.h.zTop, c.top) << c.name;
      EXPECT_EQ(r.h.zBottom, c.bottom) << c.name;
      EXPECT_EQ(r.h.group, c.group) << c.name;
    }
  }
}

// Two coinciding contours cannot be grouped; a pair 0.01 apart coincides at the grouping's
// tolerances, also right after a grouping with direct linking (whose tighter tolerances used to
// stay for the process).
TEST_F(GroupingTest, CoincidingContours) {
  addCircle({0, 0, 10, 1});
  addCircle({0, 0, 10, -1});
  EXPECT_EQ(pockGroupPockets("INPUT", 1, 0, nullptr), -1);
  SetUp();
  addCircle({0, 0, 10, 1});
  addCircle({0, 0, 10.01, 1, 0, -10, 1});
  pockEngine().pockDirectLinking = 1;
  EXPECT_EQ(pockGroupPockets("INPUT", 1, 0, nullptr), 1);
  pockEngine().pockDirectLinking = 0;
  SetUp();
  addCircle({0, 0, 10, 1});
  addCircle({0, 0, 10.01, 1});
  EXPECT_EQ(pockGroupPockets("INPUT", 1, 0, nullptr), -1);
  SetUp();
  EXPECT_EQ(pockGroupPockets("INPUT", 1, 0, nullptr), 0);
}

// With direct linking a contour of an open pocket (non-zero sequence) that is reversed negates its
// sequence and reports the open flag.
TEST_F(GroupingTest, OpenFlagWithDirectLinking) {
  pockEngine().pockDirectLinking = 1;
  addCircle({0, 0, 10, -1, 0, -10, 3});
  int open = 0;
  EXPECT_EQ(pockGroupPockets("INPUT", 1, 0, &open), 1);
  EXPECT_EQ(open, 1);
  EXPECT_EQ(readBack(0).h.sequence, -3);
  EXPECT_EQ(layerHasUnsequenced("INPUT"), 1);
}

TEST_F(GroupingTest, InputCheck) {
  EXPECT_EQ(ringCheckInput("INPUT"), -1);
  EXPECT_EQ(pockLastCode(), 3024);
  addCircle({0, 0, 40, 1});
  addCircle({10, 0, 5, -1});  // inside
  addCircle({38, 0, 5, -1});  // crossing
  EXPECT_EQ(ringCheckInput("INPUT"), 1);
  addCircle({100, 0, 5, -1});  // outside
  EXPECT_EQ(ringCheckInput("INPUT"), 0);
  EXPECT_EQ(pockLastCode(), kPockCodeOutsidePocket);
}

// Islands sorted by their distance to the second contour, farthest first; with three contours the
// second and third swap. Equal distances keep a fixed order (by position).
TEST_F(GroupingTest, IslandsByDistance) {
  addCircle({0, 0, 100, 1});
  addCircle({0, 0, 5, -1});
  addCircle({30, 0, 5, -1});
  EXPECT_EQ(pockSortIslandsByDistance("INPUT"), 1);
  EXPECT_NEAR(readBack(1).cx, 30, 1e-9);
  EXPECT_NEAR(readBack(2).cx, 0, 1e-9);
  SetUp();
  addCircle({0, 0, 100, 1});
  addCircle({0, 0, 5, -1});
  EXPECT_EQ(pockSortIslandsByDistance("INPUT"), 0);
  const PockDistancePair a{2, 1.0}, b{3, 1.0}, c{1, 0.5};
  EXPECT_EQ(pockCompareDistance(&a, &b), -1);
  EXPECT_EQ(pockCompareDistance(&b, &a), 1);
  EXPECT_EQ(pockCompareDistance(&a, &a), 0);
  EXPECT_EQ(pockCompareDistance(&c, &a), -1);
}

// The direct parent among the containing contours; none for a contour in nothing.
TEST_F(GroupingTest, DirectParent) {
  addCircle({0, 0, 40, 1});
  addCircle({0, 0, 20, -1});
  addCircle({0, 0, 5, 1});
  PockContainMatrix m;
  ASSERT_EQ(pockContainMatrix("INPUT", &m), 1);
  EXPECT_EQ(pockDirectParent(m, 0), -1);
  EXPECT_EQ(pockDirectParent(m, 1), 0);
  EXPECT_EQ(pockDirectParent(m, 2), 1);
  EXPECT_EQ(m.at(2, 0), 1);
  EXPECT_EQ(m.at(0, 2), -1);
}
