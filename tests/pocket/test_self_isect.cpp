// Self-crossings of a chain: integer polylines against the exact crossing set (proper crossings
// by orientation tests, vertex crossings by the cyclic order of the passes' directions), the sweep
// against the search over all pairs record for record, a table of degenerate joints, the order of
// records along arcs, and a table that overflows the record limit.
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
#include "pocket/engine_state.h"
#include "pocket/offset_raw.h"
#include "pocket/self_isect.h"

namespace {
using pocktest::IPt;
using pocktest::polygon;
constexpr double kPi = std::numbers::pi;

class SelfIsectTest : public ::testing::Test {
 protected:
  void SetUp() override { pockRunReset(); }
  void TearDown() override { pockRunReset(); }
  std::vector<IntersectionRecord> records = std::vector<IntersectionRecord>(kIsectRecordMax);
};

// A closed random walk on a small grid whose segments never overlap, whose vertices never lie
// inside another segment and whose start vertex is met by no other segment: crossings happen in
// segment interiors and at shared vertices only.
std::vector<IPt> randomWalk(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, 6), len(6, 14);
  for (;;) {
    std::vector<IPt> p(static_cast<size_t>(len(rng)));
    for (IPt& q : p) q = IPt{coord(rng), coord(rng)};
    const size_t m = p.size();
    bool ok = true;
    for (size_t i = 0; i < m && ok; ++i) {
      if (p[i] == p[(i + 1) % m]) ok = false;
      if (i > 0 && p[i] == p[0]) ok = false;
    }
    for (size_t i = 0; i < m && ok; ++i) {
      const IPt a = p[i], b = p[(i + 1) % m];
      for (size_t j = 0; j < m && ok; ++j) {
        if (pocktest::inInterior(p[j], a, b)) ok = false;
        if (j != i && pocktest::overlapping(a, b, p[j], p[(j + 1) % m])) ok = false;
      }
    }
    if (ok) return p;
  }
}

// The exact crossing points: proper crossings of two segments, and every pair of passes through
// a shared vertex whose four directions alternate around it.
std::vector<Point2D> exactCrossings(const std::vector<IPt>& p) {
  const size_t m = p.size();
  std::vector<Point2D> out;
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = i + 1; j < m; ++j) {
      Point2D q{};
      if (pocktest::properCrossing(p[i], p[(i + 1) % m], p[j], p[(j + 1) % m], &q))
        out.push_back(q);
    }
  }
  std::map<IPt, std::vector<size_t>> passes;
  for (size_t k = 0; k < m; ++k) passes[p[k]].push_back(k);
  for (const auto& [v, ks] : passes) {
    for (size_t u = 0; u < ks.size(); ++u) {
      for (size_t w = u + 1; w < ks.size(); ++w) {
        const size_t a = ks[u], b = ks[w];
        if (pocktest::passesCross(v, p[(a + m - 1) % m], p[(a + 1) % m], p[(b + m - 1) % m],
                                  p[(b + 1) % m])) {
          out.push_back({double(v.x), double(v.y)});
        }
      }
    }
  }
  return out;
}

TEST_F(SelfIsectTest, IntegerWalksGiveTheExactCrossings) {
  std::mt19937 rng(11);
  int withVertexCrossings = 0;
  for (int k = 0; k < 1500; ++k) {
    const std::vector<IPt> walk = randomWalk(rng);
    const std::vector<ContourElement> chain = pocktest::chainOf(walk);
    const int n = static_cast<int>(chain.size());
    const int h = contFindSelfIsects(chain.data(), n, records.data(), 1);
    ASSERT_GE(h, 0) << k;
    std::vector<Point2D> got;
    for (int r = 0; r < h; ++r) {
      const IntersectionRecord& rec = records[static_cast<size_t>(r)];
      ASSERT_LT(rec.elemA, rec.elemB) << k;
      got.push_back({rec.x, rec.y});
      // The point lies on both named elements.
      for (int e : {rec.elemA, rec.elemB}) {
        const ContourElement& s = chain[static_cast<size_t>(e - 1)];
        EXPECT_LT(pocktest::segDist({rec.x, rec.y}, {s.p0, s.p1}, {s.p2, s.p3}), 1e-9) << k;
      }
    }
    const std::vector<Point2D> want = exactCrossings(walk);
    for (const Point2D& q : want)
      withVertexCrossings += q.x == std::floor(q.x) && q.y == std::floor(q.y);
    ASSERT_TRUE(pocktest::samePoints(got, want))
        << "walk " << k << ": " << h << " records, " << want.size() << " crossings";
  }
  EXPECT_GT(withVertexCrossings, 50);  // the walks do cross at shared vertices
}

// Random chains of lines and arcs between points of a coarse grid (shared points, tangencies and
// near-degenerate joints are common), some with gaps and some taken from raw offsets.
std::vector<ContourElement> randomChain(std::mt19937& rng, int maxLen) {
  std::uniform_int_distribution<int> coord(-4, 4), len(3, maxLen), kind(0, 5);
  std::uniform_real_distribution<double> sweep(0.2, 2.5), jitter(-0.00005, 0.00005);
  const int m = len(rng);
  std::vector<Point2D> p;
  for (int i = 0; i < m; ++i) p.push_back({double(coord(rng)), double(coord(rng))});
  std::vector<ContourElement> v;
  for (int i = 0; i < m; ++i) {
    Point2D a = p[static_cast<size_t>(i)], b = p[static_cast<size_t>((i + 1) % m)];
    if (kind(rng) == 0) b = Point2D{b.x + jitter(rng), b.y + jitter(rng)};  // a small gap
    if (std::hypot(b.x - a.x, b.y - a.y) < 1e-3) continue;
    const int k = kind(rng);
    if (k < 3) {
      v.push_back(contMakeLine(a.x, a.y, b.x, b.y, i));
    } else {
      v.push_back(pocktest::arcBySweep(a, b, k == 3 ? sweep(rng) : -sweep(rng), i));
    }
  }
  return v;
}

TEST_F(SelfIsectTest, SweepEqualsAllPairsRecordForRecord) {
  std::mt19937 rng(5);
  std::vector<IntersectionRecord> oracle(kIsectRecordMax);
  int withRecords = 0;
  for (int k = 0; k < 10000; ++k) {
    const std::vector<ContourElement> chain = randomChain(rng, k < 9900 ? 12 : 60);
    const int n = static_cast<int>(chain.size());
    const int status = k % 3 == 0 ? kSelfIsectGapStatus : 1;
    const int h = contFindSelfIsects(chain.data(), n, records.data(), status);
    const int hOracle = contFindSelfIsectsAllPairs(chain.data(), n, oracle.data(), status);
    ASSERT_EQ(h, hOracle) << k;
    withRecords += h > 0;
    for (int r = 0; r < h; ++r) {
      ASSERT_EQ(std::memcmp(&records[static_cast<size_t>(r)], &oracle[static_cast<size_t>(r)],
                            sizeof(IntersectionRecord)),
                0)
          << k << " record " << r;
    }
  }
  EXPECT_GT(withRecords, 3000);
}

TEST_F(SelfIsectTest, SweepEqualsAllPairsOnRawOffsets) {
  std::mt19937 rng(9);
  std::vector<ContourElement> raw(kContMaxElements);
  std::vector<IntersectionRecord> oracle(kIsectRecordMax);
  for (int k = 0; k < 200; ++k) {
    const pocktest::SampledContour c = pocktest::randomContour(rng, k % 2 == 0);
    int m = 0;
    const int status =
        contOffsetRaw(1.0 + k % 17, c.elements.data(), static_cast<int>(c.elements.size()),
                      raw.data(), kContMaxElements, &m, k % 4 < 2 ? 1 : -1);
    ASSERT_NE(status, kRawOffsetFailed) << k;
    const int h = contFindSelfIsects(raw.data(), m, records.data(), status);
    ASSERT_EQ(h, contFindSelfIsectsAllPairs(raw.data(), m, oracle.data(), status)) << k;
    ASSERT_EQ(std::memcmp(records.data(), oracle.data(), sizeof(IntersectionRecord) * size_t(h)), 0)
        << k;
  }
}

TEST_F(SelfIsectTest, DegenerateJointsTable) {
  struct Case {
    const char* name;
    std::vector<Point2D> points;
    std::vector<Point2D> want;  // the recorded points, in record order
  };
  const Case cases[] = {
      // A later vertex touching an earlier segment from one side is a touch; passing through is
      // a crossing.
      {"later vertex touches", {{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}, {3, 5}, {0, 5}}, {}},
      {"later vertex passes through",
       {{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}, {3, -5}, {0, -5}},
       {{5, 0}}},
      // The joint of an earlier vertex is judged from the later segment only: it is recorded.
      {"earlier vertex on a later segment",
       {{0, 0}, {4, 4}, {8, 0}, {8, -6}, {12, -6}, {12, 4}, {-2, 4}, {-2, -4}, {0, -4}},
       {{4, 4}}},
      // Two vertices meeting: a touch gives nothing, a crossing one record.
      {"vertices touch", {{0, 0}, {4, 4}, {8, 0}, {8, 8}, {6, 8}, {4, 4}, {2, 8}, {0, 8}}, {}},
      {"vertices cross", {{0, 0}, {4, 4}, {8, 0}, {8, 8}, {4, 4}, {4, -2}, {-2, -2}}, {{4, 4}}},
      // A stretch run twice: where the chain leaves the shared stretch to the other side it is
      // recorded at the end of the overlapping segment.
      {"shared stretch crossed",
       {{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}, {3, 0}, {3, -4}, {0, -4}},
       {{3, 0}}},
  };
  for (const Case& c : cases) {
    const std::vector<ContourElement> chain = polygon(c.points);
    const int h =
        contFindSelfIsects(chain.data(), static_cast<int>(chain.size()), records.data(), 1);
    ASSERT_EQ(h, static_cast<int>(c.want.size())) << c.name;
    for (int r = 0; r < h; ++r) {
      EXPECT_NEAR(records[size_t(r)].x, c.want[size_t(r)].x, 1e-9) << c.name;
      EXPECT_NEAR(records[size_t(r)].y, c.want[size_t(r)].y, 1e-9) << c.name;
    }
    EXPECT_EQ(h, contFindSelfIsectsAllPairs(chain.data(), static_cast<int>(chain.size()),
                                            records.data(), 1))
        << c.name;
  }
  // The shared stretch: the record names the overlapping segment (5) as its second element.
  const std::vector<ContourElement> stretch =
      polygon({{0, 0}, {10, 0}, {10, 5}, {5, 5}, {5, 0}, {3, 0}, {3, -4}, {0, -4}});
  ASSERT_EQ(contFindSelfIsects(stretch.data(), 8, records.data(), 1), 1);
  EXPECT_EQ(records[0].elemA, 1);
  EXPECT_EQ(records[0].elemB, 5);
}

TEST_F(SelfIsectTest, RecordsFollowTheDirectionOfAnArc) {
  // An arc crossed by three later lines: a counter-clockwise arc gives ascending angles, a
  // clockwise one descending angles, both in the order of travel.
  for (int dir : {1, -1}) {
    std::vector<ContourElement> chain;
    const double r = 10;
    const double a0 = dir > 0 ? 0.0 : kPi, a1 = dir > 0 ? kPi : 0.0;
    chain.push_back(contMakeArc(0, 0, r * std::cos(a0), r * std::sin(a0), r * std::cos(a1),
                                r * std::sin(a1), r, dir, 0));
    const Point2D end{r * std::cos(a1), r * std::sin(a1)};
    // Up from the arc's end, down and up through the arc three times, back to its start; the
    // clockwise case mirrored in x.
    const double f = dir > 0 ? 1.0 : -1.0;
    const std::vector<Point2D> tail = {{end.x, 20}, {-6 * f, 20},         {-6 * f, 0},
                                       {-2 * f, 0}, {-2 * f, 20},         {3 * f, 20},
                                       {3 * f, 0},  {r * std::cos(a0), 0}};
    Point2D prev = end;
    for (const Point2D& q : tail) {
      chain.push_back(contMakeLine(prev.x, prev.y, q.x, q.y, 0));
      prev = q;
    }
    const int h =
        contFindSelfIsects(chain.data(), static_cast<int>(chain.size()), records.data(), 1);
    ASSERT_EQ(h, 3) << dir;
    for (int k = 0; k < h; ++k) EXPECT_EQ(records[size_t(k)].elemA, 1);
    // In the order of travel along the arc.
    const double x0 = records[0].x, x1 = records[1].x, x2 = records[2].x;
    if (dir > 0) {
      EXPECT_GT(x0, x1);
      EXPECT_GT(x1, x2);
      EXPECT_LT(records[0].param, records[1].param);
    } else {
      EXPECT_LT(x0, x1);
      EXPECT_LT(x1, x2);
      EXPECT_GT(records[0].param, records[1].param);
    }
  }
}

TEST_F(SelfIsectTest, MoreThanTheRecordLimitFailsCleanly) {
  // A long line crossed 6000 times by a zigzag that returns along it.
  const int teeth = 6000;
  std::vector<Point2D> p = {{0, 0}, {double(teeth + 1), 0}, {double(teeth + 1), 2}};
  for (int i = teeth; i >= 1; --i) p.push_back({double(i), i % 2 ? 1.0 : -1.0});
  p.push_back({0, -2});
  const std::vector<ContourElement> chain = polygon(p);
  const int n = static_cast<int>(chain.size());
  EXPECT_EQ(contFindSelfIsects(chain.data(), n, records.data(), 1), -1);
  // 4999 crossings still fit.
  std::vector<Point2D> q = {{0, 0}, {5000, 0}, {5000, 2}};
  for (int i = 4999; i >= 1; --i) q.push_back({double(i), i % 2 ? 1.0 : -1.0});
  q.push_back({0, -2});
  const std::vector<ContourElement> fits = polygon(q);
  EXPECT_EQ(contFindSelfIsects(fits.data(), static_cast<int>(fits.size()), records.data(), 1),
            4999);
}

TEST_F(SelfIsectTest, CompareByParamIsDescendingAndNeverEqual) {
  IntersectionRecord a{0, 0, 1.0, 3, 5, 0, 0}, b{0, 0, 2.0, 3, 6, 0, 0};
  EXPECT_EQ(isectCompareByParam(&a, &b), 1);  // smaller param after
  EXPECT_EQ(isectCompareByParam(&b, &a), -1);
  EXPECT_EQ(isectCompareByParam(&a, &a), -1);  // never 0
  IntersectionRecord c{0, 0, 0.0, 4, 5, 0, 0};
  EXPECT_EQ(isectCompareByParam(&c, &a), -1);  // greater elemA first
  EXPECT_EQ(isectCompareAlong(&a, &b), -1);
  EXPECT_EQ(isectCompareAlong(&b, &a), 1);
}

}  // namespace
