// The ring linkers on small nesting trees: one ring, nested rings within reach (one cut, no lift),
// rings too far apart (a lift each), a link across an island (a lift), 600 nested rings, the
// start-node errors; the order of ring positions and the first candidate against a brute force
// over positions unrolled from the origin; the reversed-copy positions of the backward search.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "pocket/contour_element.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/link_stack.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_output.h"
#include "pocket/ring_linker.h"
#include "pocket/tangent_link.h"

namespace {

class RingLinkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    layerResetState();
    pockGeometryResetState();
    ctreeResetState();
    pockStackResetState();
    linkSearchResetState();
    ringLinkerResetState();
    tangentLinkResetState();
    pockOutputRunReset();
    ASSERT_EQ(ctreeInit(1), 1);
    // The emitted path is collected: every element in order, tagged 1 where a new cut begins.
    ASSERT_EQ(pockCollectStart(), 1);
  }
  void TearDown() override {
    pockOutputRunReset();
    ctreeResetState();
    pockStackResetState();
    linkSearchResetState();
    layerResetState();
  }
};

// A counter-clockwise square ring of half-width h about (cx, cy), starting at its lower left.
std::vector<ContourElement> square(double cx, double cy, double h) {
  const double x0 = cx - h, y0 = cy - h, x1 = cx + h, y1 = cy + h;
  return {contMakeLine(x0, y0, x1, y0, 0), contMakeLine(x1, y0, x1, y1, 0),
          contMakeLine(x1, y1, x0, y1, 0), contMakeLine(x0, y1, x0, y0, 0)};
}

int addRing(const std::vector<ContourElement>& e, int depth) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.leftSide = 1;
  return ctreeAdd(e.data(), &h, 0, depth);
}

// The collected path in emission order.
std::vector<ContourElement> emitted() {
  std::vector<const PockElemNode*> nodes;
  const PockElemList* list = pockOutput().pockCollected;
  for (const PockElemNode* n = list != nullptr ? list->first : nullptr; n != nullptr; n = n->next) {
    nodes.push_back(n);
  }
  std::vector<ContourElement> out;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    for (int i = 0; i < (*it)->count; ++i) out.push_back((*it)->elements[i]);
  }
  return out;
}

int newStarts(const std::vector<ContourElement>& path) {
  int n = 0;
  for (const ContourElement& e : path) n += e.tag != 0 ? 1 : 0;
  return n;
}

double length(const std::vector<ContourElement>& path) {
  double l = 0;
  for (const ContourElement& e : path) l += contElemLength(e);
  return l;
}

// Nested squares about (50, 50): ring k has half-width 40 - k gap; the deepest is the tree's
// parent of the one outside it.
std::vector<int> nestedSquares(int count, double gap) {
  std::vector<int> nodes;
  for (int k = 0; k < count; ++k) nodes.push_back(addRing(square(50, 50, 40 - k * gap), k));
  for (int k = 1; k < count; ++k) ctreeRelate(nodes[k], nodes[k - 1]);
  return nodes;
}

void expectAllDone() {
  for (int i = 0; i < ctreeNodeCount(); ++i) EXPECT_EQ(ctreeState(i), kCtreeDone) << i;
}

}  // namespace

// One ring: cut as a whole loop from its start, one new cut.
TEST_F(RingLinkerTest, OneRing) {
  addRing(square(0, 0, 5), 0);
  EXPECT_EQ(linkRingsSpiral(0, 2, 0), 1);
  const std::vector<ContourElement> path = emitted();
  ASSERT_EQ(path.size(), 4u);
  EXPECT_EQ(newStarts(path), 1);
  EXPECT_NEAR(length(path), 40, 1e-9);
  EXPECT_TRUE(contSamePoint(contElemStart(path[0]), {-5, -5}));
  expectAllDone();
}

// Nested rings 0.8 step apart: one cut from the deepest ring outward, no lift, every ring cut once
// (the path is the rings' perimeters plus one link of 0.8 step between neighbours).
TEST_F(RingLinkerTest, NestedRingsWithinReachOneCut) {
  for (int flag : {0, 1}) {
    SetUp();
    const double step = 5;
    const int count = 6;
    const std::vector<int> nodes = nestedSquares(count, 0.8 * step);
    const int deepest = ctreePickDeepest();
    ASSERT_EQ(deepest, nodes.back());
    EXPECT_EQ(linkRingsSpiral(deepest, step, flag), 1);
    const std::vector<ContourElement> path = emitted();
    EXPECT_EQ(newStarts(path), 1) << flag;
    double perimeters = 0;
    for (int k = 0; k < count; ++k) perimeters += 8 * (40 - k * 0.8 * step);
    EXPECT_NEAR(length(path), perimeters + (count - 1) * 0.8 * step, 1e-6) << flag;
    expectAllDone();
    TearDown();
  }
}

// The direct linkers start at the outermost ring and go inward, also without a lift.
TEST_F(RingLinkerTest, DirectLinkersGoInward) {
  for (int flag : {0, 1}) {
    SetUp();
    const int count = 5;
    nestedSquares(count, 4);
    EXPECT_EQ(linkRingsDirect(ctreePickShallowest(), 5, flag), 1);
    const std::vector<ContourElement> path = emitted();
    EXPECT_EQ(newStarts(path), 1) << flag;
    double perimeters = 0;
    for (int k = 0; k < count; ++k) perimeters += 8 * (40 - k * 4.0);
    EXPECT_GE(length(path), perimeters - 1e-6) << flag;
    expectAllDone();
    TearDown();
  }
}

// Rings more than twice the step apart: no connection is cut, the tool lifts before every ring.
TEST_F(RingLinkerTest, RingsTooFarApartLift) {
  nestedSquares(4, 11);
  EXPECT_EQ(linkRingsSpiral(ctreePickDeepest(), 5, 0), 1);
  const std::vector<ContourElement> path = emitted();
  EXPECT_EQ(newStarts(path), 4);
  double perimeters = 0;
  for (int k = 0; k < 4; ++k) perimeters += 8 * (40 - k * 11.0);
  EXPECT_NEAR(length(path), perimeters, 1e-6);
  expectAllDone();
}

// A connection of 1.6 step that would cross an island twice lifts; the rings are still cut.
TEST_F(RingLinkerTest, LinkAcrossAnIslandLifts) {
  layerCreate("INPUT");
  // Two thin islands across the corner gap between the rings, where the inner ring's start at
  // (18, 18) links outward (to (10, 18) or (18, 10)).
  const std::vector<ContourElement> bars[2] = {
      {contMakeLine(13, 11, 13.5, 11, 0), contMakeLine(13.5, 11, 13.5, 30, 0),
       contMakeLine(13.5, 30, 13, 30, 0), contMakeLine(13, 30, 13, 11, 0)},
      {contMakeLine(11, 13, 30, 13, 0), contMakeLine(30, 13, 30, 13.5, 0),
       contMakeLine(30, 13.5, 11, 13.5, 0), contMakeLine(11, 13.5, 11, 13, 0)}};
  for (const std::vector<ContourElement>& bar : bars) {
    ContourHeader h{};
    h.count = 4;
    layerInsertContour("INPUT", bar.data(), &h, -1);
  }
  nestedSquares(2, 8);  // rings 8 apart, step 5: links of 1.6 step
  EXPECT_EQ(linkRingsSpiral(ctreePickDeepest(), 5, 0), 1);
  const std::vector<ContourElement> path = emitted();
  EXPECT_EQ(newStarts(path), 2);
  expectAllDone();
  // Without the island the same rings are one cut.
  layerResetState();
  SetUp();
  nestedSquares(2, 8);
  EXPECT_EQ(linkRingsSpiral(ctreePickDeepest(), 5, 0), 1);
  EXPECT_EQ(newStarts(emitted()), 1);
}

// 600 nested rings: every ring is cut, without a lift and without the walk giving up.
TEST_F(RingLinkerTest, SixHundredNestedRings) {
  std::vector<int> nodes;
  for (int k = 0; k < 600; ++k) nodes.push_back(addRing(square(0, 0, 700 - k), k));
  for (int k = 1; k < 600; ++k) ctreeRelate(nodes[k], nodes[k - 1]);
  EXPECT_EQ(linkRingsSpiral(ctreePickDeepest(), 1.25, 0), 1);
  const std::vector<ContourElement> path = emitted();
  EXPECT_EQ(newStarts(path), 1);
  EXPECT_EQ(pockLastCode(), 0);
  expectAllDone();
}

// A start node outside the tree, below 0 included, is code 3023 and -1.
TEST_F(RingLinkerTest, StartNodeOutsideTheTree) {
  addRing(square(0, 0, 5), 0);
  for (int start : {1, 7, -1}) {
    EXPECT_EQ(linkRingsSpiral(start, 2, 0), -1) << start;
    EXPECT_EQ(pockLastCode(), kLinkCodeBadStart);
    pockLastCodeReset();
    EXPECT_EQ(linkRingsDirect(start, 2, 0), -1) << start;
    EXPECT_EQ(pockLastCode(), kLinkCodeBadStart);
    pockLastCodeReset();
  }
  EXPECT_EQ(linkTablesActive(), 0);
}

// Two islands' rings touching the outer ring: a tree with two branches, all cut.
TEST_F(RingLinkerTest, BranchingTreeAllCut) {
  const int outer = addRing(square(50, 50, 40), 0);
  const int left = addRing(square(30, 50, 16), 1);
  const int right = addRing(square(70, 50, 16), 1);
  ctreeRelate(left, outer);
  ctreeRelate(right, outer);
  EXPECT_EQ(linkRingsSpiral(ctreePickDeepest(), 5, 0), 1);
  const std::vector<ContourElement> path = emitted();
  EXPECT_NEAR(length(path) - 0.0, 320 + 128 + 128, 20.0);
  EXPECT_GE(length(path), 320 + 128 + 128 - 1e-6);
  expectAllDone();
}

// ---- positions ----------------------------------------------------------------------------------

namespace {
// A ring of n lines of length 10 along the x axis and back (a thin loop): element k runs from
// (10k, 0) for k < n/2, and back on y = 1.
std::vector<ContourElement> strip(int n) {
  std::vector<ContourElement> e;
  const int half = n / 2;
  for (int k = 0; k < half; ++k) e.push_back(contMakeLine(10.0 * k, 0, 10.0 * (k + 1), 0, 0));
  e.push_back(contMakeLine(10.0 * half, 0, 10.0 * half, 1, 0));
  for (int k = half; k > 1; --k) e.push_back(contMakeLine(10.0 * k, 1, 10.0 * (k - 1), 1, 0));
  e.push_back(contMakeLine(10, 1, 0, 1, 0));
  e.push_back(contMakeLine(0, 1, 0, 0, 0));
  return e;
}

// A position on element k (from 1) at the fraction f of the element.
LinkRef at(const std::vector<ContourElement>& e, int k, double f) {
  const ContourElement& x = e[static_cast<std::size_t>(k - 1)];
  return LinkRef{k, {x.p0 + f * (x.p2 - x.p0), x.p1 + f * (x.p3 - x.p1)}};
}

// The position walked forward from the origin: elements from the origin's, wrapping; a position
// at the origin counts as reached after a whole turn.
double unrolled(const LinkRef& p, double fp, const LinkRef& o, double fo, int n) {
  double u = (p.element - o.element) + (fp - fo);
  if (u <= 1e-12) u += n;
  return u;
}
}  // namespace

// linkRefCompare and linkPickFirst against the order of unrolled positions.
TEST_F(RingLinkerTest, PositionOrderAgainstUnrolledBruteForce) {
  std::mt19937 rng(7);
  const std::vector<ContourElement> ring = strip(12);
  const int n = static_cast<int>(ring.size());
  std::uniform_int_distribution<int> elem(1, n);
  std::uniform_int_distribution<int> tenth(0, 9);  // fractions 0.0 .. 0.9: distinct by 1 length
  for (int trial = 0; trial < 3000; ++trial) {
    const int ko = elem(rng);
    const double fo = tenth(rng) / 10.0;
    const LinkRef o = at(ring, ko, fo);
    std::vector<LinkRef> refs;
    std::vector<double> u;
    for (int c = 0; c < 5; ++c) {
      const int k = elem(rng);
      const double f = tenth(rng) / 10.0;
      refs.push_back(at(ring, k, f));
      u.push_back(unrolled(refs.back(), f, o, fo, n));
    }
    for (int a = 0; a < 5; ++a) {
      for (int b = 0; b < 5; ++b) {
        const int expect = std::fabs(u[a] - u[b]) < 1e-9 ? 0 : (u[a] < u[b] ? 1 : -1);
        ASSERT_EQ(linkRefCompare(2, refs[a], refs[b], ring.data(), n, o), expect)
            << trial << " " << a << " " << b;
      }
    }
    int best = 0;
    for (int c = 1; c < 5; ++c) {
      if (u[c] < u[best] - 1e-9) best = c;
    }
    const int pick = linkPickFirst(ring.data(), n, o, refs.data(), 5);
    EXPECT_NEAR(u[pick], u[best], 1e-9) << trial;
  }
}

// The symbolic ends: the ring's start is reached first, its end (the same point) last.
TEST_F(RingLinkerTest, SymbolicEndsCompare) {
  const std::vector<ContourElement> ring = strip(8);
  const int n = static_cast<int>(ring.size());
  const LinkRef start{0, {0, 0}};
  const LinkRef end{-1, {0, 0}};
  EXPECT_EQ(linkRefCompare(2, start, start, ring.data(), n, start), 0);
  EXPECT_EQ(linkRefCompare(2, at(ring, 3, 0.5), end, ring.data(), n, start), 1);
  // Candidates marked -2 are passed over.
  const LinkRef refs[3] = {LinkRef{-2, {0, 0}}, at(ring, 5, 0.2), at(ring, 2, 0.2)};
  EXPECT_EQ(linkPickFirst(ring.data(), n, start, refs, 3), 2);
}

// A position as a position of the reversed copy, and back; it names the same point.
TEST_F(RingLinkerTest, ReversedPositionsRoundTrip) {
  std::vector<ContourElement> ring = strip(10);
  const int n = static_cast<int>(ring.size());
  std::vector<ContourElement> rev = ring;
  contReverse(rev.data(), n);
  for (int k = 1; k <= n; ++k) {
    const LinkRef p = at(ring, k, 0.3);
    const LinkRef r = linkRefReversed(p, n);
    EXPECT_EQ(linkRefReversed(r, n).element, k);
    EXPECT_EQ(contPointOnElem(r.point, rev[static_cast<std::size_t>(r.element - 1)]), 1) << k;
  }
  EXPECT_EQ(linkRefReversed(LinkRef{0, {0, 0}}, n).element, -1);
  EXPECT_EQ(linkRefReversed(LinkRef{-1, {0, 0}}, n).element, 0);
  // The backward search finds the first place within reach walking backward from the entry's to.
  const std::vector<ContourElement> inner = {contMakeLine(0, 3, 10, 3, 0)};
  const LinkStackEntry e{0, LinkRef{0, {0, 0}}, at(ring, 4, 0.5)};
  LinkRef exit{};
  LinkRef entry{};
  ASSERT_EQ(linkSearchBackward(ring.data(), n, inner.data(), 1, e, LinkRef{0, {0, 0}}, 3.5, &exit,
                               &entry),
            1);
  // Walking backward from (35, 0) the first point within 3.5 of the line at y = 3 (x 0..10) is
  // (10, 0), 3 away; a forward search from the ring's start would have met (0, 0) first.
  EXPECT_NEAR(exit.point.x, 10, 0.06);
  EXPECT_NEAR(exit.point.y, 0, 1e-9);
}

// The rest store keeps the first element of a piece in both slots, a middle one in the first.
TEST_F(RingLinkerTest, RestStore) {
  restStoreLinkElem(contMakeLine(0, 0, 1, 0, 3), 1);
  restStoreLinkElem(contMakeLine(5, 5, 6, 5, 4), 0);
  EXPECT_EQ(restLinkElem(0).tag, 4);
  EXPECT_EQ(restLinkElem(1).tag, 3);
}

// A straight connection longer than twice the step lifts; between 0.5 and 2 steps it is cut when
// clear; a tangent link that comes out as one line gets the same test.
TEST_F(RingLinkerTest, ConnectLineRules) {
  pockOutput().pockNewStart = 0;
  EXPECT_EQ(linkConnectLine({0, 0}, {10.5, 0}, 5), 0);
  EXPECT_EQ(pockOutput().pockNewStart, 1);
  pockOutput().pockNewStart = 0;
  EXPECT_EQ(linkConnectLine({0, 0}, {9, 0}, 5), 1);
  EXPECT_EQ(linkConnectArc({0, 0}, {1, 0}, {0, 0.004}, {1, 0}, 0.005, 5), 1);
  // A new start already due: nothing is sent.
  pockOutput().pockNewStart = 1;
  EXPECT_EQ(linkConnectLine({0, 0}, {1, 0}, 5), 0);
  EXPECT_EQ(linkConnectArc({0, 0}, {1, 0}, {0, 1}, {1, 0}, 1, 5), 0);
}
