// Finishing passes over the nesting tree: the ring just inside each outermost ring bracketed by
// "full" marks, then the outermost rings, each node output once and marked done; the toolpaths
// checked by the independent checker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pock_output_support.h"
#include "pocket/contour_tree.h"
#include "toolpath_check.h"
#include "toolpath_check_gtest.h"

using namespace pocktest;

namespace {

const std::vector<Point2D> kRect = {{0, 0}, {80, 0}, {80, 60}, {0, 60}};

class TreeOutputTest : public OutputTest {
 protected:
  void SetUp() override {
    OutputTest::SetUp();
    ctreeResetState();
    ASSERT_EQ(ctreeInit(1), 1);
    trace.attach(cycle);
    putContour("INPUT", polygon(kRect), 0, -5);
  }
  void TearDown() override {
    ctreeResetState();
    OutputTest::TearDown();
  }
  // Adds the ring d inside the rectangle as a node of depth.
  int addRing(double d, int depth) {
    std::vector<ContourElement> r = ring(polygon(kRect), d);
    EXPECT_FALSE(r.empty());
    ContourHeader h{};
    h.count = static_cast<int>(r.size());
    h.leftSide = 1;
    return ctreeAdd(r.data(), &h, 0, depth);
  }
  // The "full" marks and contour begins, in order.
  std::vector<std::string> marks() const {
    std::vector<std::string> out;
    for (const auto& l : trace.lines) {
      if (l.rfind("loc full", 0) == 0 || l == "begin") out.push_back(l);
    }
    return out;
  }
  // The checker over the POF text: no gouge against the rectangle, links, the level at -5.
  void check() {
    closeRun();
    tpc::Path path;
    ASSERT_TRUE(tpc::passes(tpc::readPofText(path, text(), tpc::Tool::flat(5), "tree")));
    const tpc::Pocket pocket{tpc::rectangle(0, 0, 80, 60, 0, 0), {}, false};
    EXPECT_TRUE(tpc::passes(tpc::checkSanity(path)));
    EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket)));
    EXPECT_TRUE(tpc::passes(tpc::checkLevels(path, {-5})));
  }
  Trace trace;
};

// A chain of three rings (node 0 outermost at 5, node 1 at 9 offset from it, node 2 at 13): the
// full pass takes node 1 only (its single child 0 has no children; node 2's child has one), the
// leaves take node 0; node 2 stays open for the linkers.
TEST_F(TreeOutputTest, ChainGivesFullPassThenOutermostRing) {
  ASSERT_EQ(addRing(5, 0), 0);
  ASSERT_EQ(addRing(9, 1), 1);
  ASSERT_EQ(addRing(13, 2), 2);
  ASSERT_EQ(ctreeRelate(1, 0), 1);
  ASSERT_EQ(ctreeRelate(2, 1), 1);
  pockWriteHeader();
  EXPECT_EQ(pockOutputFullPass(), 1);
  EXPECT_EQ(pockOutputLeaves(), 1);
  pockWriteLevelEnd();
  EXPECT_EQ(ctreeState(0), kCtreeDone);
  EXPECT_EQ(ctreeState(1), kCtreeDone);
  EXPECT_EQ(ctreeState(2), kCtreeOpen);
  const std::vector<std::string> expect = {"loc full=start", "begin", "loc full=end", "begin"};
  EXPECT_EQ(marks(), expect);
  // Ring 9's corners come first, then ring 5's: every corner of each ring is reached.
  for (double d : {9.0, 5.0}) {
    EXPECT_EQ(trace.count(feedTo(80 - d, d)), 1) << d;
    EXPECT_EQ(trace.count(feedTo(80 - d, 60 - d)), 1) << d;
  }
  std::size_t first9 = 0, first5 = 0;
  for (std::size_t i = 0; i < trace.lines.size(); ++i) {
    if (first9 == 0 && trace.lines[i] == feedTo(71, 9)) first9 = i;
    if (first5 == 0 && trace.lines[i] == feedTo(75, 5)) first5 = i;
  }
  EXPECT_LT(first9, first5);
  // A second call finds nothing left to do: done nodes are never cut twice.
  trace.lines.clear();
  EXPECT_EQ(pockOutputFullPass(), 0);
  EXPECT_EQ(pockOutputLeaves(), 0);
  EXPECT_TRUE(trace.lines.empty());
  check();
}

// Which nodes each pass takes: a node with two children (a ring merged from two) is no full pass;
// leaves are every node without children, deep ones included.
TEST_F(TreeOutputTest, SelectionTable) {
  // 0 and 1 outermost rings (rings of the one rectangle stand in for two neighbours), 2 merged
  // from both, 3 offset from 0 only, 4 a lone ring without relations.
  for (int i = 0; i < 5; ++i) ASSERT_EQ(addRing(5 + 4 * (i % 3), i), i);
  ASSERT_EQ(ctreeRelate(2, 0), 1);
  ASSERT_EQ(ctreeRelate(2, 1), 2);
  ASSERT_EQ(ctreeRelate(3, 0), 1);
  pockWriteHeader();
  EXPECT_EQ(pockOutputFullPass(), 1);
  EXPECT_EQ(ctreeState(3), kCtreeDone);
  EXPECT_EQ(ctreeState(2), kCtreeOpen);
  EXPECT_EQ(pockOutputLeaves(), 3);  // nodes 0, 1 and 4
  for (int i : {0, 1, 4}) EXPECT_EQ(ctreeState(i), kCtreeDone) << i;
  EXPECT_EQ(ctreeState(2), kCtreeOpen);
  pockWriteLevelEnd();
  EXPECT_EQ(trace.count("loc full=start"), 1);
  EXPECT_EQ(trace.count("loc full=end"), 1);
  check();
}

// Without a tree (or an empty one) nothing is output.
TEST_F(TreeOutputTest, EmptyTree) {
  EXPECT_EQ(pockOutputFullPass(), 0);
  EXPECT_EQ(pockOutputLeaves(), 0);
  ctreeFree();
  EXPECT_EQ(pockOutputFullPass(), 0);
  EXPECT_EQ(pockOutputLeaves(), 0);
  EXPECT_TRUE(trace.lines.empty());
}

}  // namespace
