// Nesting tree of a pocketing level: relation lists against a plain model, pool fill, node
// selection against brute force, smallest reachable leaf against a recursive walk, the start match
// and the limits of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"

namespace {
class ContourTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    ctreeResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    ctreeResetState();
    pockRunReset();
  }
};

// A closed square of side s at (x, y), counter-clockwise, with the given tag.
std::vector<ContourElement> square(double x, double y, double s, int tag = 0) {
  return {contMakeLine(x, y, x + s, y, tag), contMakeLine(x + s, y, x + s, y + s, tag),
          contMakeLine(x + s, y + s, x, y + s, tag), contMakeLine(x, y + s, x, y, tag)};
}

ContourHeader headerOf(const std::vector<ContourElement>& e, int leftSide) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.leftSide = static_cast<std::uint8_t>(leftSide);
  return h;
}

int addNode(int depth, int leftSide = 1, double x = 0.0) {
  const auto e = square(x, 0.0, 10.0);
  const ContourHeader h = headerOf(e, leftSide);
  return ctreeAdd(e.data(), &h, 0, depth);
}

std::vector<int> childrenOf(int node) {
  std::vector<int> out;
  const ContourTreeNode* nd = ctreeNodeAt(node);
  for (int k = 1; nd != nullptr && k <= nd->childCount; ++k) out.push_back(ctreeChildAt(node, k));
  return out;
}

// Random relate, unrelate and membership queries follow a list model in order and count, and the
// pool fill follows the fill rule (1 to 2 entries two pairs, each further entry one) also far
// beyond the first 2000 pairs, where relations used to be dropped.
TEST_F(ContourTreeTest, RelationListsFollowAPlainModel) {
  ASSERT_EQ(ctreeInit(1), 1);
  constexpr int kNodes = 60;
  for (int i = 0; i < kNodes; ++i) ASSERT_EQ(addNode(i % 5), i);
  std::vector<std::vector<int>> kids(kNodes), parents(kNodes);
  int fill = 0;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(0, kNodes - 1), op(0, 9);
  for (int step = 0; step < 20000; ++step) {
    const int a = pick(rng), b = pick(rng);
    const int o = op(rng);
    if (o < 6) {
      const int r = ctreeRelate(a, b);
      if (a == b) {
        ASSERT_EQ(r, 0);
        continue;
      }
      for (auto* list : {&kids[a], &parents[b]}) {
        if (list->size() == 1) fill += 4;
        if (list->size() >= 2) fill += 2;
      }
      kids[a].push_back(b);
      parents[b].push_back(a);
      ASSERT_EQ(r, static_cast<int>(kids[a].size()));
    } else if (o < 9) {
      auto& list = kids[a];
      const auto it = std::find(list.begin(), list.end(), b);
      const int before = static_cast<int>(list.size());
      const int r = ctreeUnrelate(a, b);
      if (it != list.end()) {
        list.erase(it);
        ASSERT_EQ(r, before - 1);
      } else {
        ASSERT_EQ(r, before <= 1 ? -1 : before);
      }
    } else {
      const bool member = std::find(kids[a].begin(), kids[a].end(), b) != kids[a].end();
      ASSERT_EQ(ctreeHasChild(a, b), member ? 1 : 0);
    }
    ASSERT_EQ(ctreePoolFill(), fill) << step;
  }
  EXPECT_GT(fill, 2 * 4000);  // far past the first pool
  for (int i = 0; i < kNodes; ++i) {
    EXPECT_EQ(childrenOf(i), kids[i]) << i;
    const ContourTreeNode* nd = ctreeNodeAt(i);
    ASSERT_EQ(nd->parentCount, static_cast<int>(parents[i].size()));
    for (int k = 0; k < nd->parentCount; ++k) EXPECT_EQ(ctreeParentAt(i, k + 1), parents[i][k]);
  }
}

TEST_F(ContourTreeTest, RefusedRelationsAndLookupsChangeNothing) {
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(addNode(0), 0);
  ASSERT_EQ(addNode(1), 1);
  EXPECT_EQ(ctreeChildAt(0, 1), -1);  // empty list
  struct Case {
    int parent, child;
  };
  for (const Case c : {Case{0, 0}, Case{0, -1}, Case{0, 2}, Case{5, 1}, Case{-1, 1}}) {
    EXPECT_EQ(ctreeRelate(c.parent, c.child), 0) << c.parent << " " << c.child;
  }
  EXPECT_EQ(ctreePoolFill(), 0);
  EXPECT_EQ(ctreeNodeAt(0)->childCount, 0);
  EXPECT_EQ(ctreeNodeAt(1)->parentCount, 0);
  // A single entry lives in the head and uses no pool space.
  ASSERT_EQ(ctreeRelate(0, 1), 1);
  EXPECT_EQ(ctreePoolFill(), 0);
  EXPECT_EQ(ctreeNodeAt(0)->childHead, 1);
  EXPECT_EQ(ctreeChildAt(0, 1), 1);
  EXPECT_EQ(ctreeChildAt(0, 2), -1);
  EXPECT_EQ(ctreeChildAt(0, 0), -1);
  // Node numbers outside the table were read unchecked.
  for (int bad : {-1, 2, kCtreeMaxNodes, 1 << 20}) {
    EXPECT_EQ(ctreeChildAt(bad, 1), -1);
    EXPECT_EQ(ctreeParentAt(bad, 1), -1);
    EXPECT_EQ(ctreeUnrelate(bad, 1), -1);
    EXPECT_EQ(ctreeHasChild(bad, 1), 0);
    EXPECT_EQ(ctreeState(bad), 0);
    ctreeSetState(bad, 1);
  }
  // Unrelating a non-member from a one-entry list emptied it.
  EXPECT_EQ(ctreeUnrelate(0, 0), -1);
  EXPECT_EQ(ctreeChildAt(0, 1), 1);
  EXPECT_EQ(ctreeUnrelate(0, 1), 0);
  EXPECT_EQ(ctreeUnrelate(0, 1), -1);
}

TEST_F(ContourTreeTest, StatesAreFinalOnceDone) {
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(addNode(0), 0);
  ctreeSetState(0, 2);
  EXPECT_EQ(ctreeState(0), 2);
  ctreeSetState(0, 1);
  ctreeSetState(0, 0);
  EXPECT_EQ(ctreeState(0), 1);
}

// The pick rules on the listed states, then against a brute-force reading of the rule on random
// states with and without stock mode.
TEST_F(ContourTreeTest, PicksFollowTheRules) {
  struct Node {
    int depth, state, marked;
  };
  struct Case {
    const char* name;
    int stock;
    std::vector<Node> nodes;
    int deepest, shallowest;
  };
  const std::vector<Case> cases = {
      {"depths 3 5 5", 0, {{3, 0, 0}, {5, 0, 0}, {5, 0, 0}}, 1, 0},
      {"none open", 0, {{3, 1, 0}, {5, 2, 0}, {5, 3, 0}}, -1, -1},
      {"marked then deeper marked", 1, {{5, 0, 1}, {7, 0, 0}, {9, 0, 1}}, 2, 0},
      {"unmarked then marked", 1, {{7, 0, 0}, {5, 0, 1}}, 0, 1},
      {"stock off ignores marks", 0, {{5, 0, 1}, {7, 0, 0}}, 1, 0},
  };
  auto build = [](const Case& c) {
    ctreeInit(1);
    pockEngine().pockStockMode = c.stock;
    for (const Node& n : c.nodes) {
      const auto e = square(0, 0, 4, n.marked != 0 ? -1 : 0);
      const ContourHeader h = headerOf(e, 1);
      const int id = ctreeAdd(e.data(), &h, 0, n.depth);
      ctreeSetState(id, n.state);
    }
  };
  for (const Case& c : cases) {
    build(c);
    EXPECT_EQ(ctreePickDeepest(), c.deepest) << c.name;
    EXPECT_EQ(ctreePickShallowest(), c.shallowest) << c.name;
  }
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    Case c{"random", static_cast<int>(rng() % 2), {}, 0, 0};
    const int n = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      c.nodes.push_back(
          {static_cast<int>(rng() % 4), rng() % 3 == 0 ? 1 : 0, static_cast<int>(rng() % 2)});
    }
    build(c);
    // Brute force: deepest open; in stock mode, the marked nodes win when the first open node
    // is marked (only marked nodes may replace a marked choice).
    int first = -1, deepest = -1, shallowest = -1;
    for (int i = 0; i < n; ++i) {
      if (c.nodes[i].state != 0) continue;
      if (first < 0) first = i;
      if (shallowest < 0 || c.nodes[i].depth < c.nodes[shallowest].depth) shallowest = i;
    }
    if (first >= 0) {
      deepest = first;
      for (int i = first + 1; i < n; ++i) {
        if (c.nodes[i].state != 0 || c.nodes[i].depth <= c.nodes[deepest].depth) continue;
        if (c.stock != 0 && c.nodes[deepest].marked != 0 && c.nodes[i].marked == 0) continue;
        deepest = i;
      }
    }
    ASSERT_EQ(ctreePickDeepest(), deepest) << round;
    ASSERT_EQ(ctreePickShallowest(), shallowest) << round;
  }
}

// The smallest leaf reachable through child lists equals a recursive walk on random DAGs; the
// listed case gives 4; a relation cycle neither hangs nor counts a node with children.
TEST_F(ContourTreeTest, MinLeafMatchesARecursiveWalk) {
  ASSERT_EQ(ctreeInit(1), 1);
  for (int i = 0; i < 9; ++i) addNode(0);
  ctreeRelate(0, 1);
  ctreeRelate(1, 7);
  ctreeRelate(1, 4);
  EXPECT_EQ(ctreeMinLeaf(0), 4);
  EXPECT_EQ(ctreeMinLeaf(4), -1);
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    ASSERT_EQ(ctreeInit(1), 1);
    const int n = 2 + static_cast<int>(rng() % 30);
    for (int i = 0; i < n; ++i) addNode(0);
    std::vector<std::vector<int>> kids(n);
    for (int e = 0; e < 2 * n; ++e) {
      int a = static_cast<int>(rng() % n), b = static_cast<int>(rng() % n);
      if (a == b) continue;
      if (a > b) std::swap(a, b);  // edges from lower to higher numbers: acyclic
      kids[a].push_back(b);
      ctreeRelate(a, b);
    }
    std::function<int(int)> walk = [&](int v) {
      int best = -1;
      for (int c : kids[v]) {
        const int m = kids[c].empty() ? c : walk(c);
        if (m >= 0 && (best < 0 || m < best)) best = m;
      }
      return best;
    };
    for (int v = 0; v < n; ++v) ASSERT_EQ(ctreeMinLeaf(v), walk(v)) << round << " " << v;
  }
  ASSERT_EQ(ctreeInit(1), 1);
  for (int i = 0; i < 4; ++i) addNode(0);
  ctreeRelate(0, 1);
  ctreeRelate(1, 2);
  ctreeRelate(2, 0);
  EXPECT_EQ(ctreeMinLeaf(0), -1);
  ctreeRelate(2, 3);
  EXPECT_EQ(ctreeMinLeaf(0), 3);
}

TEST_F(ContourTreeTest, ChildOfClassOneAndOrientationClass) {
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(addNode(0, 1), 0);  // ccw with leftSide: class 1
  ASSERT_EQ(addNode(0, 0), 1);  // ccw without: class 2
  auto cw = square(0, 0, 5);
  contReverse(cw.data(), 4);
  const ContourHeader h = headerOf(cw, 0);
  ASSERT_EQ(ctreeAdd(cw.data(), &h, 0, 0), 2);  // cw without leftSide: class 1
  EXPECT_EQ(ctreeNodeAt(0)->orientationClass, 1);
  EXPECT_EQ(ctreeNodeAt(1)->orientationClass, 2);
  EXPECT_EQ(ctreeNodeAt(2)->orientationClass, 1);
  ctreeRelate(0, 1);
  EXPECT_EQ(ctreeChildOfClass1(0), -1);
  ctreeRelate(0, 2);
  EXPECT_EQ(ctreeChildOfClass1(0), 2);
}

// With a start point the nearest ring wins, the earliest of equally near rings.
TEST_F(ContourTreeTest, StartMatchKeepsTheEarliestOfEquallyNearRings) {
  pockEngine().pockStartSet = 1;
  pockEngine().pockStartPoint = {15.0, 5.0};
  ASSERT_EQ(ctreeInit(1), 1);
  ASSERT_EQ(addNode(0, 1, 40.0), 0);  // 25 away
  ASSERT_EQ(addNode(0, 1, 0.0), 1);   // right edge x 10: 5 away
  ASSERT_EQ(addNode(0, 1, 20.0), 2);  // left edge x 20: 5 away too
  const CtreeStartMatch& m = pockEngine().ctreeStartMatch;
  EXPECT_EQ(m.found, 1);
  EXPECT_EQ(m.node, 1);
  EXPECT_EQ(m.element, 2);
  EXPECT_DOUBLE_EQ(m.bestDistance, 5.0);
  EXPECT_DOUBLE_EQ(m.foot.x, 10.0);
  EXPECT_DOUBLE_EQ(m.foot.y, 5.0);
  // A new tree resets only the distance.
  ASSERT_EQ(ctreeInit(1), 1);
  EXPECT_EQ(m.bestDistance, 100000.0);
  EXPECT_EQ(m.node, 1);
}

TEST_F(ContourTreeTest, NodeTableHoldsExactlyItsLimit) {
  ASSERT_EQ(ctreeInit(1), 1);
  for (int i = 0; i < kCtreeMaxNodes; ++i) ASSERT_EQ(addNode(i), i);
  EXPECT_EQ(addNode(0), -1);
  EXPECT_EQ(ctreeNodeCount(), kCtreeMaxNodes);
  EXPECT_EQ(ctreeInit(2), 0);  // any other mode changes nothing
  EXPECT_EQ(ctreeNodeCount(), kCtreeMaxNodes);
}

// A second start without a free leaked the first tree (LeakSanitizer watches this test).
TEST_F(ContourTreeTest, RestartReleasesTheEarlierTree) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(ctreeInit(1), 1);
    for (int i = 0; i < 20; ++i) addNode(0);
    for (int i = 1; i < 20; ++i) ctreeRelate(0, i);
    EXPECT_EQ(ctreeNodeCount(), 20);
  }
  ASSERT_EQ(ctreeInit(1), 1);
  EXPECT_EQ(ctreeNodeCount(), 0);
  EXPECT_EQ(ctreePoolFill(), 0);
}

// Every failing allocation is reported and leaks nothing; the tree stays usable or absent.
TEST_F(ContourTreeTest, FailedAllocationsAreReported) {
  for (int n = 1; n <= 2; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(ctreeInit(1), 0) << n;
    EXPECT_EQ(addNode(0), -1);
  }
  memTestFailAt(0);
  ASSERT_EQ(ctreeInit(1), 1);
  for (int n = 1; n <= 2; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(addNode(0), -1) << n;
    memTestFailAt(0);
  }
  EXPECT_EQ(ctreeNodeCount(), 0);
  for (int i = 0; i < 3; ++i) addNode(0);
  ctreeRelate(0, 1);
  // Fill the first pool, then make its growth fail: the relation is refused whole.
  while (ctreePoolFill() + 4 <= kCtreePoolInitial) ASSERT_GT(ctreeRelate(2, 1), 0);
  memTestFailAt(1);
  const int before = ctreeNodeAt(0)->childCount;
  EXPECT_EQ(ctreeRelate(0, 2), -1);
  memTestFailAt(0);
  EXPECT_EQ(ctreeNodeAt(0)->childCount, before);
  EXPECT_EQ(ctreeChildAt(0, 1), 1);
  EXPECT_EQ(ctreeRelate(0, 2), 2);
  EXPECT_EQ(childrenOf(0), (std::vector<int>{1, 2}));
}

TEST_F(ContourTreeTest, BlocksCopyWithinTheirCapacity) {
  ASSERT_EQ(ctreeInit(1), 1);
  const auto e = square(1, 2, 3, 9);
  ASSERT_EQ(addNode(0), 0);
  ElementBlock* b = ctreeNewBlock(e.data(), 4);
  ASSERT_NE(b, nullptr);
  std::vector<ContourElement> out(5);
  ASSERT_EQ(ctreeGetElems(out.data(), 4, b), 1);
  EXPECT_EQ(std::memcmp(out.data(), e.data(), 4 * sizeof(ContourElement)), 0);
  EXPECT_EQ(ctreeGetElems(out.data(), 5, b), 0);  // beyond the block
  EXPECT_EQ(ctreeSetElems(out.data(), 5, b), 0);
  EXPECT_EQ(ctreeGetElems(out.data(), 1, nullptr), 0);
  out[0].tag = 3;
  ASSERT_EQ(ctreeSetElems(out.data(), 1, b), 1);
  ASSERT_EQ(ctreeGetElems(out.data(), 4, b), 1);
  EXPECT_EQ(out[0].tag, 3);
  EXPECT_EQ(out[1].tag, 9);
  EXPECT_EQ(ctreeBlockRead(nullptr, out.data(), 8), -1);
  EXPECT_EQ(contHasMarkedElem(out.data(), 4), 0);
  out[3].tag = -2;
  EXPECT_EQ(contHasMarkedElem(out.data(), 4), 1);
  // The node's own copy is independent of the caller's elements.
  ASSERT_EQ(ctreeGetElems(out.data(), 4, ctreeNodeAt(0)->block), 1);
  EXPECT_EQ(out[0].tag, 0);
}
}  // namespace
