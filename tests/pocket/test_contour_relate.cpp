// Two contours against each other: integer polygons against the exact crossing set, the box
// filter against all pairs record for record, a table of touching and overlapping joints, the
// record limit, the inside test against crossing parity, the tool-circle test against the distance
// from the circle's centre, and the walks along records with a figure-eight loop trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <vector>

#include "integer_walks.h"
#include "offset_oracles.h"
#include "pocket/contour_relate.h"
#include "pocket/engine_state.h"

namespace {
using pocktest::IPt;
using pocktest::polygon;
constexpr double kPi = std::numbers::pi;

class ContourRelateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pockRunReset();
    pockEngine().pockToolRadius = 5;
  }
  void TearDown() override {
    isectRelateResetState();
    pockRunReset();
  }
  std::vector<IntersectionRecord> records = std::vector<IntersectionRecord>(kIsectRecordMax);
};

// Two closed walks on a small grid: no vertex inside a segment of either, no overlapping
// segments, no repeated vertex within one walk; they may share vertices and cross.
bool acceptable(const std::vector<IPt>& a, const std::vector<IPt>& b) {
  const std::vector<IPt>* walks[2] = {&a, &b};
  for (int u = 0; u < 2; ++u) {
    const auto& p = *walks[u];
    for (size_t i = 0; i < p.size(); ++i) {
      for (size_t j = i + 1; j < p.size(); ++j) {
        if (p[i] == p[j]) return false;
      }
    }
  }
  for (int u = 0; u < 2; ++u) {
    for (int w = 0; w < 2; ++w) {
      const auto& p = *walks[u];
      const auto& q = *walks[w];
      for (size_t i = 0; i < p.size(); ++i) {
        const IPt s = p[i], e = p[(i + 1) % p.size()];
        for (size_t j = 0; j < q.size(); ++j) {
          if (pocktest::inInterior(q[j], s, e)) return false;
          if ((u != w || i != j) && pocktest::overlapping(s, e, q[j], q[(j + 1) % q.size()])) {
            return false;
          }
        }
      }
    }
  }
  return true;
}

std::vector<IPt> walk(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, 5), len(4, 8);
  std::vector<IPt> p(static_cast<size_t>(len(rng)));
  for (IPt& q : p) q = IPt{coord(rng), coord(rng)};
  return p;
}

std::vector<Point2D> exactCrossings(const std::vector<IPt>& a, const std::vector<IPt>& b) {
  std::vector<Point2D> out;
  const size_t na = a.size(), nb = b.size();
  for (size_t i = 0; i < na; ++i) {
    for (size_t j = 0; j < nb; ++j) {
      Point2D q{};
      if (pocktest::properCrossing(a[i], a[(i + 1) % na], b[j], b[(j + 1) % nb], &q)) {
        out.push_back(q);
      }
      if (a[i] == b[j] && pocktest::passesCross(a[i], a[(i + na - 1) % na], a[(i + 1) % na],
                                                b[(j + nb - 1) % nb], b[(j + 1) % nb])) {
        out.push_back({double(a[i].x), double(a[i].y)});
      }
    }
  }
  return out;
}

TEST_F(ContourRelateTest, IntegerPolygonsGiveTheExactCrossings) {
  std::mt19937 rng(21);
  std::vector<IntersectionRecord> oracle(kIsectRecordMax);
  int tested = 0, vertexCrossings = 0;
  while (tested < 1500) {
    const std::vector<IPt> wa = walk(rng), wb = walk(rng);
    if (!acceptable(wa, wb)) continue;
    ++tested;
    const std::vector<ContourElement> a = pocktest::chainOf(wa), b = pocktest::chainOf(wb);
    const int na = static_cast<int>(a.size()), nb = static_cast<int>(b.size());
    const int h = isectContours(a.data(), na, b.data(), nb, records.data(), kIsectRecordMax);
    ASSERT_GE(h, 0);
    std::vector<Point2D> got;
    for (int r = 0; r < h; ++r) {
      const IntersectionRecord& rec = records[size_t(r)];
      got.push_back({rec.x, rec.y});
      EXPECT_EQ(rec.state, 1);
      const ContourElement& ea = a[size_t(rec.elemA - 1)];
      const ContourElement& eb = b[size_t(rec.elemB - 1)];
      EXPECT_LT(pocktest::segDist({rec.x, rec.y}, {ea.p0, ea.p1}, {ea.p2, ea.p3}), 1e-9);
      EXPECT_LT(pocktest::segDist({rec.x, rec.y}, {eb.p0, eb.p1}, {eb.p2, eb.p3}), 1e-9);
    }
    const std::vector<Point2D> want = exactCrossings(wa, wb);
    for (const Point2D& q : want)
      vertexCrossings += q.x == std::floor(q.x) && q.y == std::floor(q.y);
    ASSERT_TRUE(pocktest::samePoints(got, want))
        << tested << ": " << h << " records, " << want.size();
    // The box filter leaves out only pairs that give nothing.
    ASSERT_EQ(h, isectContoursAllPairs(a.data(), na, b.data(), nb, oracle.data(), kIsectRecordMax));
    ASSERT_EQ(std::memcmp(records.data(), oracle.data(), sizeof(IntersectionRecord) * size_t(h)),
              0);
  }
  EXPECT_GT(vertexCrossings, 50);
}

TEST_F(ContourRelateTest, BoxFilterEqualsAllPairsOnLinesAndArcs) {
  std::mt19937 rng(4);
  std::vector<IntersectionRecord> oracle(kIsectRecordMax);
  for (int k = 0; k < 400; ++k) {
    const pocktest::SampledContour a = pocktest::randomContour(rng, k % 2 == 0);
    const pocktest::SampledContour b = pocktest::randomContour(rng, k % 3 == 0);
    const int na = static_cast<int>(a.elements.size()), nb = static_cast<int>(b.elements.size());
    const int h = isectContours(a.elements.data(), na, b.elements.data(), nb, records.data(),
                                kIsectRecordMax);
    ASSERT_EQ(h, isectContoursAllPairs(a.elements.data(), na, b.elements.data(), nb, oracle.data(),
                                       kIsectRecordMax));
    ASSERT_EQ(std::memcmp(records.data(), oracle.data(), sizeof(IntersectionRecord) * size_t(h)),
              0);
  }
}

TEST_F(ContourRelateTest, TouchesAndOverlapsTable) {
  struct Case {
    const char* name;
    std::vector<Point2D> a, b;
    int records;
  };
  const std::vector<Point2D> unit = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  const Case cases[] = {
      {"squares sharing an edge", unit, {{4, 0}, {8, 0}, {8, 4}, {4, 4}}, 0},
      {"squares sharing a corner", unit, {{4, 4}, {8, 4}, {8, 8}, {4, 8}}, 0},
      {"b's vertex touches a's edge", unit, {{2, 4}, {6, 6}, {-2, 6}}, 0},
      {"b's vertex passes a's edge", unit, {{-2, 6}, {2, 4}, {2, -2}, {-2, -2}}, 2},
      {"b crosses a twice", unit, {{2, 2}, {6, 2}, {6, 6}, {2, 6}}, 2},
      // The joint of a's vertex is judged from b's element only: a touch is recorded.
      {"a's vertex touches b's edge",
       {{0, 0}, {4, 0}, {2, 4}},
       {{-2, 4}, {6, 4}, {6, 8}, {-2, 8}},
       1},
      {"b covers part of an edge of a", unit, {{1, 0}, {3, 0}, {3, -2}, {1, -2}}, 0},
  };
  for (const Case& c : cases) {
    const std::vector<ContourElement> a = polygon(c.a), b = polygon(c.b);
    const int h = isectContours(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), records.data(), kIsectRecordMax);
    EXPECT_EQ(h, c.records) << c.name;
  }
  // A vertex of b passing through a's edge from inside to outside: one record, at that vertex.
  const std::vector<ContourElement> a = polygon(unit);
  const std::vector<ContourElement> b = polygon({{2, 4}, {6, 6}, {6, 1}, {2, 2}});
  const int h = isectContours(a.data(), 4, b.data(), 4, records.data(), kIsectRecordMax);
  ASSERT_EQ(h, 2);
  EXPECT_EQ(records[0].elemA, 2);       // a's right edge x = 4, crossed on the way to (6, -2) ...
  EXPECT_NEAR(records[1].x, 2, 1e-12);  // ... and b's vertex (2, 4) on a's top edge
  EXPECT_NEAR(records[1].y, 4, 1e-12);
  EXPECT_EQ(records[1].elemB, 4);
}

TEST_F(ContourRelateTest, MoreRecordsThanRoomStopsAtTheCapacity) {
  // b zigzags across a's bottom edge 6000 times.
  const std::vector<ContourElement> a = polygon({{0, 0}, {7000, 0}, {7000, 10}, {0, 10}});
  std::vector<Point2D> zig;
  for (int i = 0; i <= 6000; ++i) zig.push_back({0.5 + i, i % 2 ? 1.0 : -1.0});
  zig.push_back({6000.5, -5});
  zig.push_back({0.5, -5});
  const std::vector<ContourElement> b = polygon(zig);
  std::vector<IntersectionRecord> exact(kIsectRecordMax);  // exactly the room given
  const int h = isectContours(a.data(), 4, b.data(), static_cast<int>(b.size()), exact.data(),
                              kIsectRecordMax);
  EXPECT_EQ(h, kIsectRecordMax + 1);
  std::vector<IntersectionRecord> small(10);
  EXPECT_EQ(isectContours(a.data(), 4, b.data(), static_cast<int>(b.size()), small.data(), 10), 11);
}

TEST_F(ContourRelateTest, RecordsOnAClockwiseArcDescend) {
  for (int dir : {1, -1}) {
    // a: a half disc whose arc runs over the top (counter-clockwise) or is traversed clockwise.
    std::vector<ContourElement> a;
    if (dir > 0) {
      a.push_back(contMakeLine(-10, 0, 10, 0, 0));
      a.push_back(contMakeArc(0, 0, 10, 0, -10, 0, 10, 1, 0));
    } else {
      a.push_back(contMakeArc(0, 0, -10, 0, 10, 0, 10, -1, 0));
      a.push_back(contMakeLine(10, 0, -10, 0, 0));
    }
    const std::vector<ContourElement> b = polygon({{-6, 5}, {-6, 20}, {3, 20}, {3, 5}});
    const int h = isectContours(a.data(), 2, b.data(), 4, records.data(), kIsectRecordMax);
    ASSERT_EQ(h, 2);
    const int arc = dir > 0 ? 2 : 1;
    EXPECT_EQ(records[0].elemA, arc);
    if (dir > 0) {
      EXPECT_GT(records[0].x, records[1].x);  // along the arc from (10, 0) to (-10, 0)
      EXPECT_LT(records[0].param, records[1].param);
    } else {
      EXPECT_LT(records[0].x, records[1].x);  // from (-10, 0) to (10, 0)
      EXPECT_GT(records[0].param, records[1].param);
    }
  }
}

// Crossing parity of the sampled polygon.
bool insidePolygon(const Point2D& p, const std::vector<Point2D>& poly) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
        p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
      in = !in;
    }
  }
  return in;
}

TEST_F(ContourRelateTest, InsideOfAgreesWithTheWindingOracle) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> shift(-60, 60), scale(0.05, 0.3);
  int inside = 0, outside = 0;
  for (int k = 0; k < 300; ++k) {
    const pocktest::SampledContour b = pocktest::randomContour(rng, k % 2 == 0);
    pocktest::SampledContour a = pocktest::randomContour(rng, k % 3 == 0);
    // a shrunk about its first vertex and moved somewhere near b.
    // Moved to near the middle of b's samples, so that it often lies inside.
    Point2D mean{0, 0};
    int count = 0;
    for (const auto& part : b.samples) {
      for (const Point2D& p : part) {
        mean.x += p.x;
        mean.y += p.y;
        ++count;
      }
    }
    const Point2D o{a.elements[0].p0, a.elements[0].p1};
    const double s = scale(rng), dx = mean.x / count - o.x + shift(rng),
                 dy = mean.y / count - o.y + shift(rng);
    for (ContourElement& e : a.elements) {
      const int n = e.type == kContLine ? 2 : 3;
      double* pts[3][2] = {{&e.p0, &e.p1}, {&e.p2, &e.p3}, {&e.p4, &e.p5}};
      for (int q = 0; q < n; ++q) {
        *pts[q][0] = o.x + s * (*pts[q][0] - o.x) + dx;
        *pts[q][1] = o.y + s * (*pts[q][1] - o.y) + dy;
      }
      e.radius *= s;
    }
    const std::vector<Point2D> polyB =
        pocktest::contourPolygon(b.elements.data(), int(b.elements.size()));
    const std::vector<Point2D> samplesA =
        pocktest::contourSamples(a.elements.data(), int(a.elements.size()), 0.5);
    int in = 0;
    double nearest = 1e300;
    for (const Point2D& p : samplesA) {
      in += insidePolygon(p, polyB);
      nearest =
          std::min(nearest, pocktest::contourDist(p, b.elements.data(), int(b.elements.size())));
    }
    if (nearest < 0.5 || (in != 0 && in != int(samplesA.size()))) continue;  // touching or crossing
    const int got = isectContourInsideOf(a.elements.data(), int(a.elements.size()),
                                         b.elements.data(), int(b.elements.size()));
    const int bSign = b.area > 0 ? 1 : -1;
    if (in != 0) {
      ++inside;
      EXPECT_EQ(got, bSign) << k;
    } else {
      ++outside;
      EXPECT_EQ(got, 0) << k;
    }
  }
  EXPECT_GT(inside, 20);
  EXPECT_GT(outside, 20);
  // A contour on top of b has no test point: 0.
  const std::vector<ContourElement> sq = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_EQ(isectContourInsideOf(sq.data(), 4, sq.data(), 4), 0);
}

ContourElement circleAt(const Point2D& c, double r) {
  return contMakeArc(c.x, c.y, c.x + r, c.y, c.x + r, c.y, r, 1, 0);
}

TEST_F(ContourRelateTest, CircleHitsWhenTheContourComesNearerThanTheRadius) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> u(-110, 110), ur(0.5, 30);
  int hits = 0, free = 0;
  for (int k = 0; k < 300; ++k) {
    const pocktest::SampledContour c = pocktest::randomContour(rng, k % 2 == 0);
    const int n = static_cast<int>(c.elements.size());
    CircleIndex* index = isectCircleIndexNew(c.elements.data(), n);
    ASSERT_NE(index, nullptr);
    for (int q = 0; q < 40; ++q) {
      const Point2D centre{u(rng), u(rng)};
      const double r = ur(rng);
      const double dmin = pocktest::contourDist(centre, c.elements.data(), n);
      double dmax = 0;
      for (const auto& s : c.samples) {
        for (const Point2D& p : s)
          dmax = std::max(dmax, std::hypot(p.x - centre.x, p.y - centre.y));
      }
      const ContourElement circle = circleAt(centre, r);
      const int got = isectCircleHitsContour(circle, c.elements.data(), n);
      // The grid and the plain test give the same answer everywhere.
      ASSERT_EQ(isectCircleHitsIndexed(circle, index), got) << k << " " << q;
      isectCircleSetFilter(0);
      ASSERT_EQ(isectCircleHitsContour(circle, c.elements.data(), n), got) << k << " " << q;
      isectCircleSetFilter(1);
      if (std::fabs(dmin - r) < 1e-3 || dmax < r) continue;  // the tangent band; all inside
      const int want = dmin < r ? 1 : 0;
      EXPECT_EQ(got, want) << k << " " << q << " dmin " << dmin << " r " << r;
      (want ? hits : free)++;
    }
    isectCircleIndexFree(index);
  }
  EXPECT_GT(hits, 500);
  EXPECT_GT(free, 500);
}

TEST_F(ContourRelateTest, CircleTouchesAtJointsTable) {
  // A circle tangent to a line at the line's end that then runs into the next arc: a hit.
  std::vector<ContourElement> c = {contMakeLine(0, 0, 10, 0, 0),
                                   contMakeArc(10, 5, 10, 0, 15, 5, 5, 1, 0)};
  EXPECT_EQ(isectCircleHitsContour(circleAt({10, 10}, 10), c.data(), 2), 1);
  // A circle more curved than the arc touches the line's end and the arc's start only: free.
  EXPECT_EQ(isectCircleHitsContour(circleAt({10, 2}, 2), c.data(), 2), 0);
  // A circle touching only the joint of two lines at a right angle: free.
  const std::vector<ContourElement> corner = polygon({{0, 0}, {10, 0}, {10, 10}});
  EXPECT_EQ(isectCircleHitsContour(circleAt({13, -3}, std::hypot(3, 3)), corner.data(), 2), 0);
  // A circle tangent to a line in its middle: free.
  EXPECT_EQ(isectCircleHitsContour(circleAt({5, 2}, 2), corner.data(), 2), 0);
  // Another element type: -1.
  ContourElement odd = contMakeLine(0, 0, 1, 0, 0);
  odd.type = 9;
  EXPECT_EQ(isectCircleHitsContour(circleAt({0, 0}, 1), &odd, 1), -1);
}

// An arc of radius 40 from a to b about the centre on the given side of the chord (+1 the side of
// the chord's left normal), running the shorter way.
ContourElement arc40(const Point2D& a, const Point2D& b, int centreSide) {
  const Point2D m{(a.x + b.x) / 2, (a.y + b.y) / 2};
  const double c = std::hypot(b.x - a.x, b.y - a.y);
  const Point2D nl{-(b.y - a.y) / c, (b.x - a.x) / c};
  const double f = std::sqrt(1600 - c * c / 4) * centreSide;
  const Point2D centre{m.x + f * nl.x, m.y + f * nl.y};
  // The centre on the chord's left makes the shorter arc counter-clockwise.
  return contMakeArc(centre.x, centre.y, a.x, a.y, b.x, b.y, 40, centreSide > 0 ? 1 : -1, 0);
}

// Arcs above radius 30 compare their ends at a reduced scale; that scale belongs to each arc.
// Carried from arc to arc, three big arcs that only meet the circle at their joints made the next
// arc's cut near its start count as its end, and a circle cutting into it was taken as free.
TEST_F(ContourRelateTest, BigArcsScaleTheirOwnCoincidenceTestsOnly) {
  const double r = 50;
  auto onCircle = [&](double deg, double radius) {
    return Point2D{radius * std::cos(deg * kPi / 180), radius * std::sin(deg * kPi / 180)};
  };
  std::vector<ContourElement> c;
  // Three arcs of radius 40 between joints on the circle, bulging outward: they meet the circle
  // at their ends only.
  for (int k = 0; k < 3; ++k) {
    c.push_back(arc40(onCircle(10.0 * k, r), onCircle(10.0 * (k + 1), r), 1));
  }
  // The fourth arc leaves the joint at 30 degrees into the circle, leaves it again at 33 degrees
  // and ends outside; lines far outside close the contour at the joint at 0 degrees.
  const Point2D s = onCircle(30, r), p2 = onCircle(33, r);
  ContourElement dip = arc40(s, p2, -1);  // centre outward: the shorter arc runs inside
  const Point2D centre{dip.p0, dip.p1};
  const double a2 = std::atan2(p2.y - centre.y, p2.x - centre.x) + dip.dir * 0.3;
  const Point2D e{centre.x + 40 * std::cos(a2), centre.y + 40 * std::sin(a2)};
  dip = contMakeArc(centre.x, centre.y, s.x, s.y, e.x, e.y, 40, dip.dir, 0);
  c.push_back(dip);
  const Point2D far = onCircle(std::atan2(e.y, e.x) * 180 / kPi, 100);
  c.push_back(contMakeLine(e.x, e.y, far.x, far.y, 0));
  c.push_back(contMakeLine(far.x, far.y, 100, 0, 0));
  c.push_back(contMakeLine(100, 0, r, 0, 0));
  // The construction: the first arcs and the dip's middle and end lie outside the circle, a point
  // of the dip inside.
  Point2D mid{};
  for (int k = 0; k < 3; ++k) {
    contArcPointAt(c[size_t(k)], 0.5, &mid);
    ASSERT_GT(std::hypot(mid.x, mid.y), r + 0.01);
  }
  contArcPointAt(dip, 0.5, &mid);
  ASSERT_GT(std::hypot(mid.x, mid.y), r + 0.01);
  ASSERT_GT(std::hypot(e.x, e.y), r + 0.01);
  Point2D inner{};
  contArcPointAt(dip, 0.05, &inner);
  ASSERT_LT(std::hypot(inner.x, inner.y), r - 0.001);
  for (int filter : {1, 0}) {
    isectCircleSetFilter(filter);
    EXPECT_EQ(isectCircleHitsContour(circleAt({0, 0}, r), c.data(), int(c.size())), 1) << filter;
  }
  // Without the dip the circle only touches joints: free.
  std::vector<ContourElement> rim(c.begin(), c.begin() + 3);
  rim.push_back(contMakeLine(rim[2].p4, rim[2].p5, 100, 100, 0));
  rim.push_back(contMakeLine(100, 100, 100, 0, 0));
  rim.push_back(contMakeLine(100, 0, r, 0, 0));
  EXPECT_EQ(isectCircleHitsContour(circleAt({0, 0}, r), rim.data(), int(rim.size())), 0);
}

TEST_F(ContourRelateTest, FigureEightLoopsAreTracedOneByOne) {
  // A figure eight crossing itself at (5, 5): elements 1 (0,0)-(10,10) and 3 (10,0)-(0,10).
  const std::vector<ContourElement> raw = polygon({{0, 0}, {10, 10}, {10, 0}, {0, 10}});
  std::vector<ContourElement> out(20);
  // From the start record (state 1) with the crossing to be turned at (state 0): the left lobe.
  std::vector<IntersectionRecord> rec = {{0, 0, 0, 1, 4, 1, 0}, {5, 5, 0.5, 1, 3, 0, 0}};
  int closed = 0;
  ContourElement* end =
      isectTraceLoop(rec.data(), 2, raw.data(), 4, out.data(), out.data() + out.size(), &closed);
  ASSERT_EQ(closed, 1);
  ASSERT_EQ(end - out.data(), 3);
  EXPECT_NEAR(pocktest::contourArea(out.data(), 3), 25, 1e-9);
  EXPECT_TRUE(pocktest::loopIsOffset(out.data(), 3, out.data(), 3, 0, 1e-9));
  EXPECT_EQ(rec[0].state, 2);
  EXPECT_EQ(rec[1].state, 2);
  // The crossing alone (state 1) as record 0: the right lobe, clockwise.
  std::vector<IntersectionRecord> one = {{5, 5, 0.5, 1, 3, 1, 0}};
  end = isectTraceLoop(one.data(), 1, raw.data(), 4, out.data(), out.data() + out.size(), &closed);
  ASSERT_EQ(closed, 1);
  ASSERT_EQ(end - out.data(), 3);
  EXPECT_NEAR(pocktest::contourArea(out.data(), 3), -25, 1e-9);
  // A record that reaches nothing fails: record 0 used, the retry flag set, out unchanged.
  std::vector<IntersectionRecord> lone = {{5, 5, 0.5, 1, 3, 0, 0}};
  end = isectTraceLoop(lone.data(), 1, raw.data(), 4, out.data(), out.data() + out.size(), &closed);
  EXPECT_EQ(end, out.data());
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(pockEngine().offsetRetry, 1);
  EXPECT_EQ(lone[0].state, 2);
  // No room for the loop: code 3029 and null.
  std::vector<IntersectionRecord> again = {{5, 5, 0.5, 1, 3, 1, 0}};
  EXPECT_EQ(isectTraceLoop(again.data(), 1, raw.data(), 4, out.data(), out.data() + 2, &closed),
            nullptr);
  EXPECT_EQ(pockLastCode(), kPockCodeTooManyElements);
}

TEST_F(ContourRelateTest, WalksAlongRecords) {
  const std::vector<ContourElement> sq = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  // Records on the bottom edge at x = 7 and x = 3, and on the left edge at y = 5.
  const std::vector<IntersectionRecord> rec = {
      {7, 0, 0.7, 1, 2, 1, 0}, {3, 0, 0.3, 1, 4, 1, 0}, {0, 5, 0.5, 4, 1, 1, 0}};
  int next = -1;
  EXPECT_EQ(isectNextAlong(sq.data(), 4, 1, rec.data(), 3, 1, &next), 1);
  EXPECT_EQ(next, 0);  // from x = 3 on to x = 7 on the same edge
  EXPECT_EQ(isectNextAlong(sq.data(), 4, 1, rec.data(), 3, 0, &next), 1);
  EXPECT_EQ(next, 2);  // then on to the left edge
  EXPECT_EQ(isectNextAlong(sq.data(), 4, 1, rec.data(), 3, 2, &next), -1);
  EXPECT_EQ(next, 1);  // past the end, back to x = 3
  std::vector<ContourElement> piece(5);
  int count = 0;
  EXPECT_EQ(isectContourPiece(sq.data(), 4, 1, rec.data(), 3, 0, piece.data(), &count), 2);
  ASSERT_EQ(count, 4);  // (7,0)-(10,0), the right edge, the top edge, (0,10)-(0,5)
  EXPECT_EQ(piece[0].p0, 7.0);
  EXPECT_EQ(piece[3].p3, 5.0);
  count = 0;
  EXPECT_EQ(isectContourPiece(sq.data(), 4, 1, rec.data(), 3, 2, piece.data(), &count), 1);
  ASSERT_EQ(count, 2);  // (0,5)-(0,0), then (0,0)-(3,0) after the wrap
  EXPECT_EQ(piece[1].p2, 3.0);
  // Partners: another record at the same point naming the element.
  const std::vector<IntersectionRecord> pair = {{1, 1, 0, 2, 5, 1, 0}, {1, 1, 0, 5, 7, 1, 0}};
  EXPECT_EQ(isectFindPartner(pair.data(), 2, 0, 2), 1);
  EXPECT_EQ(isectFindPartner(pair.data(), 2, 0, 1), -1);
  EXPECT_EQ(isectOtherWay(1), 2);
  EXPECT_EQ(isectOtherWay(2), 1);
  // Tangents at a record on a corner: arriving along the bottom edge, leaving up the right edge.
  Point2D t{};
  const IntersectionRecord corner{10, 0, 1, 1, 0, 1, 0};
  ASSERT_EQ(isectElemTangentAt(sq.data(), 4, corner, 1, &t), 1);
  EXPECT_NEAR(t.x, 1, 1e-12);
  ASSERT_EQ(isectElemTangentAt(sq.data(), 4, corner, 0, &t), 1);
  EXPECT_NEAR(t.y, 1, 1e-12);
}

TEST_F(ContourRelateTest, PointOnElementAndGapClosing) {
  const ContourElement line = contMakeLine(0, 0, 10, 0, 0);
  EXPECT_EQ(isectPointOnElemExact({5, 0.00009}, line), 1);
  EXPECT_EQ(isectPointOnElemExact({5, 0.0002}, line), 0);
  EXPECT_EQ(isectPointOnElemExact({11, 0}, line), 0);
  const ContourElement arc = contMakeArc(0, 0, 5, 0, 0, 5, 5, 1, 0);
  EXPECT_EQ(isectPointOnElemExact({5 * std::cos(0.5), 5 * std::sin(0.5)}, arc), 1);
  EXPECT_EQ(isectPointOnElemExact({5 * std::cos(-0.5), 5 * std::sin(-0.5)}, arc), 0);
  // Two lines in line: the first one's end moves to the second one's start.
  ContourElement a = contMakeLine(0, 0, 5, 0, 0), b = contMakeLine(5.002, 0, 9, 0, 0);
  EXPECT_EQ(isectCloseGap(&a, &b), 1);
  EXPECT_EQ(a.p2, 5.002);
  // A line and an arc at an angle: the line's end moves.
  ContourElement c = contMakeLine(0, 0, 5, 0.002, 0);
  ContourElement d = contMakeArc(5, 5, 5, 0, 10, 5, 5, 1, 0);
  EXPECT_EQ(isectCloseGap(&c, &d), 1);
  EXPECT_EQ(c.p3, 0.0);
  // An arc before a line it does not continue: its end moves and its centre follows.
  ContourElement e = contMakeArc(0, 0, 5, 0, 0, 5.002, 5, 1, 0);
  ContourElement f = contMakeLine(0, 5, -5, 8, 0);
  EXPECT_EQ(isectCloseGap(&e, &f), 1);
  EXPECT_EQ(e.p5, 5.0);
  EXPECT_NEAR(std::hypot(e.p2 - e.p0, e.p3 - e.p1), std::hypot(e.p4 - e.p0, e.p5 - e.p1), 1e-12);
  // A line without length has no tangent.
  ContourElement g = contMakeLine(1, 1, 1, 1, 0);
  EXPECT_EQ(isectCloseGap(&g, &f), -1);
  EXPECT_EQ(contPointsEqual({0, 0}, {0.0001, 0}), 0);
}

}  // namespace
