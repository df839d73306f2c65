// Open-pocket rings: clipping a ring to the widened stock (area of the clipped ring against the
// rectangle intersection, open stretches on the boundary), the record helpers, the layer
// operations, and whole passes around a part inside a block of stock checked point by point
// against the stock and the part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "offset_oracles.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/offset_rings.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/ring_loops.h"

namespace {
using pocktest::contourArea;
using pocktest::contourSamples;
using pocktest::polygon;

class OpenRingsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    ctreeResetState();
    ringLoopsResetState();
    ringSettingsResetState();
    ringCornerResetState();
    ringCutResetState();
    ringOpenResetState();
    layerResetState();
    pockRunReset();
    pockGeometryResetState();
  }
};

std::vector<ContourElement> rect(double x0, double y0, double x1, double y1, bool ccw,
                                 int tag = 0) {
  if (ccw) return polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, tag);
  return polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}, tag);
}

// Distance from p to the axis-parallel rectangle (0 inside).
double rectDistance(const Point2D& p, double x0, double y0, double x1, double y1) {
  const double dx = std::max({x0 - p.x, 0.0, p.x - x1});
  const double dy = std::max({y0 - p.y, 0.0, p.y - y1});
  return std::hypot(dx, dy);
}

// Signed distance from p to the rectangle's boundary, negative inside.
double rectSigned(const Point2D& p, double x0, double y0, double x1, double y1) {
  const double d = rectDistance(p, x0, y0, x1, y1);
  if (d > 0.0) return d;
  return -std::min({p.x - x0, x1 - p.x, p.y - y0, y1 - p.y});
}

double overlapArea(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}
}  // namespace

// Clipping a clockwise ring to a counter-clockwise boundary square 0..40: the clipped ring encloses
// the intersection of the two rectangles (area), its cutting elements lie inside the boundary and
// its open elements on it; a ring inside stays whole, one enclosing the boundary is dropped.
TEST_F(OpenRingsTest, ClipToStockTable) {
  const auto boundary = rect(0, 0, 40, 40, true);
  struct Case {
    double x0, y0, x1, y1;
    int expect;  // 0 dropped, 1 whole, 2 clipped
  };
  const Case cases[] = {
      {10, 10, 30, 30, 1},    // inside
      {-10, -10, 50, 50, 0},  // encloses the boundary
      {-10, 10, 20, 30, 2},   // crosses the left side
      {-10, 10, 50, 30, 2},   // crosses both sides: two pieces
      {-10, -10, 20, 20, 2},  // over a corner
      {-10, 0, 30, 40, 2},    // along the top and bottom sides, out on the left
      {-10, 0, 40, 40, 0},    // touches three sides and encloses the rest: no crossing at all
  };
  for (const Case& c : cases) {
    const auto ring = rect(c.x0, c.y0, c.x1, c.y1, false, 3);
    std::vector<ContourElement> out(200);
    const int n = ringOpenClipToStock(ring.data(), static_cast<int>(ring.size()), boundary.data(),
                                      static_cast<int>(boundary.size()), out.data(),
                                      static_cast<int>(out.size()));
    SCOPED_TRACE(::testing::Message() << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1);
    if (c.expect == 0) {
      EXPECT_EQ(n, 0);
      continue;
    }
    ASSERT_GT(n, 0);
    const double area = overlapArea(c.x0, c.x1, 0, 40) * overlapArea(c.y0, c.y1, 0, 40);
    EXPECT_NEAR(std::fabs(contourArea(out.data(), n)), area, 1e-6);
    EXPECT_EQ(contIsClosed(out.data(), n), 1);
    int open = 0;
    for (int i = 0; i < n; ++i) {
      for (const Point2D& p : contourSamples(&out[i], 1, 0.5)) {
        if (out[i].tag < 0) {
          EXPECT_NEAR(rectSigned(p, 0, 0, 40, 40), 0.0, 1e-6);
        } else {
          EXPECT_EQ(out[i].tag, 3);
          EXPECT_LE(rectSigned(p, 0, 0, 40, 40), 1e-6);
        }
      }
      if (out[i].tag < 0) ++open;
    }
    EXPECT_EQ(open > 0, c.expect == 2);
  }
}

// The boundary a retry shrinks is the ring's own copy: the caller's elements stay as they were.
TEST_F(OpenRingsTest, ClipLeavesTheBoundaryUnchanged) {
  const auto boundary = rect(0, 0, 40, 40, true);
  const auto before = boundary;
  for (double x : {-10.0, 10.0, 35.0}) {
    const auto ring = rect(x, 10, x + 20, 30, false, 3);
    std::vector<ContourElement> out(200);
    ringOpenClipToStock(ring.data(), 4, boundary.data(), 4, out.data(), 200);
  }
  for (std::size_t i = 0; i < boundary.size(); ++i) {
    EXPECT_EQ(contElemsEqual(boundary[i], before[i]), 1);
  }
}

// Records: two consecutive records at one point on consecutive elements count once; a lookup
// matches within 0.0002.
TEST_F(OpenRingsTest, RecordHelpers) {
  std::vector<IntersectionRecord> r = {
      {1, 1, 0, 1, 3, 1, 0}, {1, 1, 0, 2, 3, 1, 0},    // same point, next element: dropped
      {5, 5, 0, 4, 3, 1, 0}, {5, 5, 0, 6, 3, 1, 0},    // elemA two apart: kept
      {7, 7, 0, 7, 2, 1, 0}, {7, 7.1, 0, 8, 2, 1, 0},  // another point: kept
  };
  EXPECT_EQ(isectDropConsecutive(r.data(), 6), 5);
  EXPECT_EQ(r[1].elemA, 4);
  EXPECT_EQ(isectFindAtPoint(r.data(), 5, {5.00015, 4.99985}), 1);
  EXPECT_EQ(isectFindAtPoint(r.data(), 5, {5.0003, 5}), -1);
  EXPECT_EQ(isectFindAtPoint(r.data(), 5, {7, 7.1}), 4);
}

// Layer operations: the reversal negates both flags (ccw 1, leftSide 0 gives 0 and 1), reverses the
// elements and renames the non-negative tags; the retagging numbers every element by position.
TEST_F(OpenRingsTest, ReverseAndRetagLayers) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  for (int i = 0; i < 2; ++i) {
    auto e = rect(10.0 * i, 0, 10.0 * i + 5, 5, true, 7);
    e[1].tag = -1;
    ContourHeader h{};
    h.ccw = 1;
    h.leftSide = 0;
    h.count = 4;
    ASSERT_EQ(layerInsertContour("MAIN", e.data(), &h, -1), 1);
  }
  ASSERT_EQ(layerReverseAll("MAIN"), 0);
  for (int i = 0; i < 2; ++i) {
    std::vector<ContourElement> e(4);
    ContourHeader h{};
    ASSERT_EQ(layerGetContour("MAIN", e.data(), 4, &h, i), i);
    EXPECT_EQ(h.ccw, 0);
    EXPECT_EQ(h.leftSide, 1);
    EXPECT_EQ(contOrientation(e.data(), 4), -1);
    EXPECT_EQ(e[2].tag, -1);  // the old element 1
    EXPECT_EQ(e[0].tag, i);
  }
  ASSERT_EQ(layerRetagByIndex("MAIN"), 0);
  std::vector<ContourElement> e(4);
  ContourHeader h{};
  ASSERT_EQ(layerGetContour("MAIN", e.data(), 4, &h, 1), 1);
  for (const ContourElement& x : e) EXPECT_EQ(x.tag, 1);
}

// Tagging by the first contour of another layer: an element crossing it once is split at the
// crossing, the inner half 0 and the outer -1; crossing twice gives 0; outside -1, inside 0.
TEST_F(OpenRingsTest, TagInsideFirst) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  ASSERT_EQ(layerCreate("GKT"), 1);
  const auto stock = rect(0, 0, 40, 40, true);
  ContourHeader hs{};
  hs.ccw = 1;
  hs.leftSide = 1;
  hs.count = 4;
  ASSERT_EQ(layerInsertContour("MAIN", stock.data(), &hs, -1), 1);
  // A ring 30..60 x -10..20: its top line crosses x = 40 once and its left line y = 0 once (each
  // split in two); its bottom and right sides lie outside.
  const auto ring = rect(30, -10, 60, 20, true, 5);
  ContourHeader hr{};
  hr.ccw = 1;
  hr.count = 4;
  ASSERT_EQ(layerInsertContour("GKT", ring.data(), &hr, -1), 1);
  ASSERT_EQ(layerTagInsideFirst("GKT", "MAIN"), 1);
  ContourHeader h{};
  ASSERT_EQ(layerGetHeader("GKT", &h, 0), 0);
  std::vector<ContourElement> e(static_cast<std::size_t>(h.count));
  ASSERT_EQ(layerGetContour("GKT", e.data(), h.count, &h, 0), 0);
  // Each piece: tag 0 exactly when its middle lies inside the stock.
  EXPECT_EQ(h.count, 6);
  double insideLength = 0.0;
  for (const ContourElement& x : e) {
    const Point2D mid{(x.p0 + x.p2) / 2, (x.p1 + x.p3) / 2};
    const bool inside = rectSigned(mid, 0, 0, 40, 40) < 0;
    EXPECT_EQ(x.tag, inside ? 0 : -1) << mid.x << "," << mid.y;
    if (inside) insideLength += contElemLength(x);
  }
  EXPECT_NEAR(insideLength, 10 + 20, 1e-9);
  EXPECT_EQ(layerTagInsideFirst("GKT", "INSEL"), -1);  // an empty reference
}

// Crossing a part contour: only elements with a non-negative tag count, and only the contours of
// the layer from the second on.
TEST_F(OpenRingsTest, CrossesLayer) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  for (const auto& c : {rect(0, 0, 100, 100, true), rect(40, 40, 60, 60, false)}) {
    ContourHeader h{};
    h.count = 4;
    ASSERT_EQ(layerInsertContour("MAIN", c.data(), &h, -1), 1);
  }
  const auto crossing = rect(30, 45, 50, 55, true, 0);
  EXPECT_EQ(contCrossesLayer(crossing.data(), 4, "MAIN"), 1);
  auto open = crossing;
  for (ContourElement& x : open) x.tag = -1;
  EXPECT_EQ(contCrossesLayer(open.data(), 4, "MAIN"), 0);
  const auto onlyFirst = rect(-10, 45, 20, 55, true, 0);  // crosses contour 0 only
  EXPECT_EQ(contCrossesLayer(onlyFirst.data(), 4, "MAIN"), 0);
}

namespace {
// A block of stock 0..W x 0..H with parts; runs the preparation and every pass with tool radius r
// and stepover factor zm. Returns the last result.
int openPasses(double w, double h, const std::vector<std::vector<ContourElement>>& parts, double r,
               double zm) {
  PockEngine& eng = pockEngine();
  eng.pockToolRadius = r;
  eng.pockStepFactor = zm;
  eng.pockStockMode = 1;
  EXPECT_EQ(layerCreate("MAIN"), 1);
  const auto stock = rect(0, 0, w, h, true);
  ContourHeader hs{};
  hs.ccw = 1;
  hs.leftSide = 1;
  hs.group = 1;
  hs.count = 4;
  hs.stockMark = 1;
  EXPECT_EQ(layerInsertContour("MAIN", stock.data(), &hs, -1), 1);
  for (const auto& p : parts) {
    ContourHeader hp{};
    hp.ccw = 0;
    hp.leftSide = 1;
    hp.group = 1;
    hp.count = static_cast<int>(p.size());
    EXPECT_EQ(layerInsertContour("MAIN", p.data(), &hp, -1), 1);
  }
  pockAllowancesFromLayer("MAIN");
  EXPECT_EQ(ctreeInit(1), 1);
  if (ringOffsetMainOpen(r, pockAllowances(), 1) != 1) return -10;
  const int first = ringOpenFinal(r, 1);
  if (first != 1) return first;
  return ringOpenSpanPasses(2.0 * r * zm, 1);
}
}  // namespace

// Passes around parts inside a block of stock: every cutting element lies inside the stock widened
// by R and at least R from every part contour; every open element lies on the widened stock; the
// passes end once the rings have left the stock, each pass one depth further out.
TEST_F(OpenRingsTest, PassesAroundPartsStayInStockAndClearOfThePart) {
  struct Case {
    double w, h;
    std::vector<std::vector<double>> parts;  // x0, y0, x1, y1
    double zm;
  };
  const Case cases[] = {
      {100, 70, {{30, 20, 70, 50}}, 0.5},
      {100, 70, {{30, 20, 70, 50}}, 0.8},
      {120, 70, {{20, 20, 45, 50}, {70, 15, 100, 45}}, 0.5},
      {80, 60, {{10, 20, 30, 40}}, 0.5},  // a part near the stock's edge
  };
  const double r = 5;
  for (const Case& c : cases) {
    reset();
    std::vector<std::vector<ContourElement>> parts;
    for (const auto& p : c.parts) parts.push_back(rect(p[0], p[1], p[2], p[3], false));
    SCOPED_TRACE(::testing::Message()
                 << c.w << "x" << c.h << " parts " << parts.size() << " zm " << c.zm);
    ASSERT_EQ(openPasses(c.w, c.h, parts, r, c.zm), 1);
    EXPECT_EQ(layerCount("SPAN"), 0);
    ASSERT_GT(ctreeNodeCount(), 0);
    int maxDepth = 0;
    int openElements = 0;
    for (int node = 0; node < ctreeNodeCount(); ++node) {
      const ContourTreeNode* nd = ctreeNodeAt(node);
      std::vector<ContourElement> e(static_cast<std::size_t>(nd->count));
      ASSERT_EQ(ctreeGetElems(e.data(), nd->count, nd->block), 1);
      maxDepth = std::max(maxDepth, nd->depth);
      for (const ContourElement& x : e) {
        if (x.tag < 0) ++openElements;
        for (const Point2D& p : contourSamples(&x, 1, 0.5)) {
          const double toStock = rectDistance(p, 0, 0, c.w, c.h);
          if (x.tag < 0) {
            // On the widened stock, or on a copy shrunk by a clipping retry (0.1 per attempt).
            EXPECT_LE(toStock, r + 2e-3) << node << " at " << p.x << "," << p.y;
            EXPECT_GE(toStock, r - kOpenClipAttempts * kOpenClipShrink - 2e-3)
                << node << " at " << p.x << "," << p.y;
          } else {
            EXPECT_LE(toStock, r + 2e-3) << node << " at " << p.x << "," << p.y;
          }
          for (const auto& q : c.parts) {
            EXPECT_GE(rectDistance(p, q[0], q[1], q[2], q[3]), r - 2e-3)
                << node << " at " << p.x << "," << p.y;
          }
        }
      }
    }
    EXPECT_GT(openElements, 0);
    // Rings cover the stock: the passes reach the farthest corner of the stock from the parts.
    double farthest = 0.0;
    for (double x : {0.0, c.w}) {
      for (double y : {0.0, c.h}) {
        double nearest = 1e9;
        for (const auto& q : c.parts) {
          nearest = std::min(nearest, rectDistance({x, y}, q[0], q[1], q[2], q[3]));
        }
        farthest = std::max(farthest, nearest);
      }
    }
    EXPECT_GE(r + maxDepth * 2.0 * r * c.zm + r, farthest - 2.0 * r * c.zm);
  }
}

// The start ring's runs outside the stock widened by the stock tolerance become open; a run inside
// or one crossing the widened stock stays; without INSEL nothing is done.
TEST_F(OpenRingsTest, MarkOutsideInsel) {
  ASSERT_EQ(ctreeInit(1), 1);
  auto ring = polygon({{10, 10}, {38, 10}, {45, 10}, {45, 30}, {38, 30}, {10, 30}});
  ring[1].tag = -1;  // (38,10)-(45,10)
  ring[3].tag = -1;  // (45,30)-(38,30)
  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = 1;
  h.count = 6;
  const int node = ctreeAdd(ring.data(), &h, 0, 0);
  ASSERT_GE(node, 0);
  EXPECT_EQ(ringMarkOutsideInsel(node, -1, 0.5), 0);
  ASSERT_EQ(layerCreate("INSEL"), 1);
  const auto stock = rect(0, 0, 40, 40, true);
  ContourHeader hs{};
  hs.ccw = 1;
  hs.leftSide = 1;
  hs.count = 4;
  ASSERT_EQ(layerInsertContour("INSEL", stock.data(), &hs, -1), 1);
  ASSERT_EQ(ringMarkOutsideInsel(node, -1, 0.5), 1);
  std::vector<ContourElement> e(6);
  ASSERT_EQ(ctreeGetElems(e.data(), 6, ctreeNodeAt(node)->block), 1);
  const int expected[] = {0, -1, -1, -1, 0, 0};  // only the run at x = 45 lies outside
  for (int i = 0; i < 6; ++i) EXPECT_EQ(e[i].tag, expected[i]) << i;
  // A run that crosses the widened stock stays: the same ring with the right side run joined to
  // the bottom by an unmarked element.
  ring[1].tag = 0;
  const int crossing = ctreeAdd(ring.data(), &h, 0, 0);
  ASSERT_EQ(ringMarkOutsideInsel(crossing, -1, 0.5), 1);
  ASSERT_EQ(ctreeGetElems(e.data(), 6, ctreeNodeAt(crossing)->block), 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(e[i].tag, i == 3 ? -1 : 0) << i;
}
