// The Boolean operations against an independent piece oracle: the operands' edges cut at their
// crossings (computed here from orientation signs), each piece kept by the side of the other
// operand its midpoint lies on, as the mode asks. Every result edge must lie on the result's
// boundary (just left of it inside the result by the operands' own point tests, just right of it
// outside), and every kept piece must lie on a result edge; pieces and edges that run within the
// operation's snap distance of the other operand are left to that tolerance. Families of the
// Boolean bench: spiky stars, wobbly circles and stars with islands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"
#include "offset_field.h"
#include "offset_regions.h"
#include "offset_shapes.h"

namespace {
using offtest::EdgeSet;
using offtest::Poly;
using offtest::Pt;
using offtest::regionOf;

// The operation makes points this near one (a cut point snaps to a segment end within 1e-6, a
// vertex of B to one of A within 2e-6 in x and y), so its edges may lie this far off the
// operands' edges: the sides of an edge are probed this far from it, and pieces and edges nearer
// than this to the other operand are the operation's to decide.
constexpr double kSnapReach = 4e-6;

std::vector<Poly> moved(std::vector<Poly> polys, double dx, double dy, double turn) {
  for (Poly& p : polys)
    for (Pt& q : p)
      q = {dx + q.x * std::cos(turn) - q.y * std::sin(turn),
           dy + q.x * std::sin(turn) + q.y * std::cos(turn)};
  return polys;
}

struct Seg {
  Pt a, b;
};

std::vector<Seg> edgesOf(const std::vector<Poly>& polys) {
  std::vector<Seg> e;
  for (const Poly& p : polys)
    for (std::size_t i = 0; i < p.size(); ++i) e.push_back({p[i], p[(i + 1) % p.size()]});
  return e;
}

double orient(const Pt& a, const Pt& b, const Pt& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The pieces of the edges of `own` cut where they properly cross the edges of `other`, as
// (start, end) pairs, in the direction of their edges.
std::vector<Seg> piecesOf(const std::vector<Seg>& own, const std::vector<Seg>& other) {
  // The other edges by cells of a uniform grid.
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Seg& s : other) {
    x0 = std::min({x0, s.a.x, s.b.x});
    y0 = std::min({y0, s.a.y, s.b.y});
    x1 = std::max({x1, s.a.x, s.b.x});
    y1 = std::max({y1, s.a.y, s.b.y});
  }
  const int side = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(other.size()))));
  const double cw = std::max((x1 - x0) / side, 1e-9), ch = std::max((y1 - y0) / side, 1e-9);
  auto col = [&](double x) { return std::clamp(static_cast<int>((x - x0) / cw), 0, side - 1); };
  auto row = [&](double y) { return std::clamp(static_cast<int>((y - y0) / ch), 0, side - 1); };
  std::vector<std::vector<int>> cells(static_cast<std::size_t>(side) * side);
  for (std::size_t i = 0; i < other.size(); ++i) {
    const Seg& s = other[i];
    for (int r = row(std::min(s.a.y, s.b.y)); r <= row(std::max(s.a.y, s.b.y)); ++r)
      for (int c = col(std::min(s.a.x, s.b.x)); c <= col(std::max(s.a.x, s.b.x)); ++c)
        cells[static_cast<std::size_t>(r) * side + c].push_back(static_cast<int>(i));
  }
  std::vector<Seg> pieces;
  std::vector<int> seen(other.size(), -1);
  for (std::size_t i = 0; i < own.size(); ++i) {
    const Seg& s = own[i];
    std::vector<double> cuts{0.0, 1.0};
    for (int r = row(std::min(s.a.y, s.b.y)); r <= row(std::max(s.a.y, s.b.y)); ++r) {
      for (int c = col(std::min(s.a.x, s.b.x)); c <= col(std::max(s.a.x, s.b.x)); ++c) {
        for (int j : cells[static_cast<std::size_t>(r) * side + c]) {
          if (seen[static_cast<std::size_t>(j)] == static_cast<int>(i)) continue;
          seen[static_cast<std::size_t>(j)] = static_cast<int>(i);
          const Seg& t = other[static_cast<std::size_t>(j)];
          const double d1 = orient(s.a, s.b, t.a), d2 = orient(s.a, s.b, t.b);
          const double d3 = orient(t.a, t.b, s.a), d4 = orient(t.a, t.b, s.b);
          if ((d1 > 0) != (d2 < 0) || (d3 > 0) != (d4 < 0) || d1 == 0 || d2 == 0 || d3 == 0 ||
              d4 == 0)
            continue;
          cuts.push_back(d3 / (d3 - d4));
        }
      }
    }
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
      const double u = cuts[k], v = cuts[k + 1];
      pieces.push_back({{s.a.x + u * (s.b.x - s.a.x), s.a.y + u * (s.b.y - s.a.y)},
                        {s.a.x + v * (s.b.x - s.a.x), s.a.y + v * (s.b.y - s.a.y)}});
    }
  }
  return pieces;
}

struct Verdict {
  int edgesChecked = 0, edgesWrong = 0, piecesChecked = 0, piecesMissing = 0;
  std::string first;
};

// Checks the result of a OP b against the pieces.
Verdict judge(const std::vector<Poly>& a, const std::vector<Poly>& b, int mode,
              const Kont2D* result) {
  Verdict v;
  const EdgeSet setA(a, 0.2), setB(b, 0.2);
  auto in = [&](const Pt& p) {
    const bool ia = setA.inside(p), ib = setB.inside(p);
    return mode == kKontUnion ? (ia || ib) : mode == kKontIntersection ? (ia && ib) : (ia && !ib);
  };
  std::vector<Poly> loops;
  for (const Kont2D* r = result; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      Poly p;
      for (int i = 0; i < k->count; ++i) {
        const Seg2D& s = k->segments[i];
        p.push_back({s.x1, s.y1});
        const double len = std::hypot(s.x2 - s.x1, s.y2 - s.y1);
        const Pt m{0.5 * (s.x1 + s.x2), 0.5 * (s.y1 + s.y2)};
        // Near both boundaries at once the edge is the snap's to place.
        // The nearest boundary beside the edge's own (a valley's other wall, the other operand).
        const Pt dir{s.x2 - s.x1, s.y2 - s.y1};
        const double far = std::min(setA.distanceBeside(m, dir, kSnapReach, 1e-4),
                                    setB.distanceBeside(m, dir, kSnapReach, 1e-4));
        const double eps = kSnapReach;
        if (far < 2.5 * eps || len < 2.5 * eps) continue;
        const Pt nrm{-(s.y2 - s.y1) / len, (s.x2 - s.x1) / len};
        const Pt left{m.x + eps * nrm.x, m.y + eps * nrm.y};
        const Pt right{m.x - eps * nrm.x, m.y - eps * nrm.y};
        ++v.edgesChecked;
        if (!in(left) || in(right)) {
          if (v.edgesWrong++ == 0) {
            std::ostringstream os;
            os << "edge (" << s.x1 << ", " << s.y1 << ")-(" << s.x2 << ", " << s.y2 << ")";
            v.first = os.str();
          }
        }
      }
      loops.push_back(p);
    }
  }
  // Every piece on the exact result's boundary lies on a result edge.
  const EdgeSet res(loops, 0.2);
  const std::vector<Seg> ea = edgesOf(a), eb = edgesOf(b);
  for (const auto& [pieces, fromA] :
       {std::pair{piecesOf(ea, eb), true}, std::pair{piecesOf(eb, ea), false}}) {
    for (const Seg& s : pieces) {
      const Pt m{0.5 * (s.a.x + s.b.x), 0.5 * (s.a.y + s.b.y)};
      const EdgeSet& other = fromA ? setB : setA;
      if (other.distance(m, kSnapReach) < kSnapReach) continue;
      const bool otherIn = other.inside(m);
      const bool kept = mode == kKontUnion          ? !otherIn
                        : mode == kKontIntersection ? otherIn
                                                    : (fromA ? !otherIn : otherIn);
      if (!kept) continue;
      ++v.piecesChecked;
      if (res.distance(m, kSnapReach) >= kSnapReach) {
        if (v.piecesMissing++ == 0 && v.first.empty()) {
          std::ostringstream os;
          os << "piece at (" << m.x << ", " << m.y << ") missing";
          v.first = os.str();
        }
      }
    }
  }
  return v;
}

struct Case {
  std::string name;
  std::vector<Poly> a, b;
};

std::vector<Case> cases() {
  using namespace offtest;
  return {
      {"Spiky100", spikyStarPair(100).first, spikyStarPair(100).second},
      {"Spiky1000", spikyStarPair(1000).first, spikyStarPair(1000).second},
      {"Spiky3000", spikyStarPair(3000).first, spikyStarPair(3000).second},
      {"Wobbly1000", wobblyCircle(1000), moved(wobblyCircle(1000), 4.0, 2.0, 0.4)},
      {"StarIslands1000", starWithIslands(1000), moved(starWithIslands(1000), 1.5, 0.8, 0.3)},
  };
}

class KontBooleanPieces : public ::testing::TestWithParam<Case> {};

TEST_P(KontBooleanPieces, EveryEdgeOnTheBoundaryAndEveryPieceInTheResult) {
  const Case& c = GetParam();
  for (int mode : {kKontUnion, kKontIntersection, kKontDifference}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    Kont2D* a = regionOf(c.a);
    Kont2D* b = regionOf(c.b);
    Kont2D* out = nullptr;
    ASSERT_EQ(kontBoolean(a, b, mode, &out), 1);
    const Verdict v = judge(c.a, c.b, mode, out);
    EXPECT_EQ(v.edgesWrong, 0) << v.first;
    EXPECT_EQ(v.piecesMissing, 0) << v.first;
    EXPECT_GT(v.edgesChecked, 0);
    EXPECT_GT(v.piecesChecked, 0);
    kontFree(out);
    kontFree(a);
    kontFree(b);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, KontBooleanPieces, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

// Two results of the spiky family of 10,000 vertices that an independent Boolean leaves out are
// real: a hole of the union where an edge of B cuts across the tip of a valley of A, 2e-7 wide,
// and a sliver of the difference likewise. Each is a triangle whose corners are the valley's tip
// and the two crossings; its centroid lies outside both operands (the union's hole) or inside A
// and outside B (the difference's sliver).
TEST(KontBooleanPieces, TinyTrianglesOfTheSpikyFamilyAreReal) {
  const auto [pa, pb] = offtest::spikyStarPair(10000);
  const EdgeSet setA(pa, 0.2), setB(pb, 0.2);
  struct Row {
    int mode;
    Pt near;
    bool hole;
  };
  for (const Row& row : {Row{kKontUnion, {-1.82589, -7.79940}, true},
                         Row{kKontDifference, {8.46696, -5.08666}, false}}) {
    Kont2D* a = regionOf(pa);
    Kont2D* b = regionOf(pb);
    Kont2D* out = nullptr;
    ASSERT_EQ(kontBoolean(a, b, row.mode, &out), 1);
    int found = 0;
    for (const Kont2D* r = out; r != nullptr; r = r->next) {
      for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
        if (k->count != 3 || std::fabs(k->segments[0].x1 - row.near.x) > 1e-3 ||
            std::fabs(k->segments[0].y1 - row.near.y) > 1e-3)
          continue;
        const Pt c{(k->segments[0].x1 + k->segments[1].x1 + k->segments[2].x1) / 3.0,
                   (k->segments[0].y1 + k->segments[1].y1 + k->segments[2].y1) / 3.0};
        ++found;
        EXPECT_EQ(k->depth, row.hole ? 1 : 0);
        EXPECT_LT(std::fabs(kontArea(k)), 1e-9);
        // The centroid lies clear of both boundaries by far more than rounding.
        EXPECT_GT(std::min(setA.distance(c, 1.0), setB.distance(c, 1.0)), 1e-8);
        EXPECT_EQ(setA.inside(c), !row.hole);
        EXPECT_FALSE(setB.inside(c));
      }
    }
    EXPECT_EQ(found, 1);
    kontFree(out);
    kontFree(a);
    kontFree(b);
  }
}

}  // namespace
