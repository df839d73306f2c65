// pocket_block.h - a block 140 x 90 x 30 with a pocket round an island, a bowl and a sloped shelf,
// written as a binary STL for the roughing tests. Its flat faces that face up lie at the block
// top (30), the island top (24) and the pocket floor (14); the block's bottom (0) faces down.
// The faces are a height field over a grid whose lines are doubled 0.001 apart along every wall,
// so the walls stand all but vertical; skirts and a bottom close the solid.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/mesh_gen.h"

namespace qdtest {

inline constexpr double kBlockTop = 30, kIslandTop = 24, kPocketFloor = 14;

namespace pocket_block {

constexpr double kLength = 140, kWidth = 90, kBase = 0;
constexpr double kWall = 0.001;  // half the width of a wall's grid cell
constexpr double kPocketX0 = 12, kPocketX1 = 72, kPocketY0 = 12, kPocketY1 = 78;
constexpr double kIslandX0 = 36, kIslandX1 = 48, kIslandY0 = 38, kIslandY1 = 52;
constexpr double kBowlX = 106, kBowlY = 58, kBowlOpening = 18, kBowlSphere = 22;
constexpr double kShelfX0 = 84, kShelfY1 = 28, kShelfSlope = 0.5;

inline bool inside(double v, double lo, double hi) { return v > lo && v < hi; }

inline double height(double x, double y) {
  if (inside(x, kPocketX0, kPocketX1) && inside(y, kPocketY0, kPocketY1)) {
    const bool island = inside(x, kIslandX0, kIslandX1) && inside(y, kIslandY0, kIslandY1);
    return island ? kIslandTop : kPocketFloor;
  }
  const double r = std::hypot(x - kBowlX, y - kBowlY);
  if (r < kBowlOpening) {
    const double centre =
        kBlockTop + std::sqrt(kBowlSphere * kBowlSphere - kBowlOpening * kBowlOpening);
    return centre - std::sqrt(kBowlSphere * kBowlSphere - r * r);
  }
  if (x > kShelfX0 && y < kShelfY1) return kBlockTop - (kShelfY1 - y) * kShelfSlope;
  return kBlockTop;
}

// Grid lines every 2 from 0 to hi, each wall position replaced by two lines kWall either side.
inline std::vector<double> gridLines(double hi, const std::vector<double>& walls) {
  std::vector<double> v;
  for (double s = 0; s <= hi + 1e-9; s += 2) v.push_back(s);
  for (const double w : walls) {
    std::erase_if(v, [w](double s) { return std::fabs(s - w) < 0.5; });
    v.push_back(w - kWall);
    v.push_back(w + kWall);
  }
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace pocket_block

inline void writePocketBlock(const std::string& file) {
  using gen::Vec;
  using gen::detail::quad;
  using gen::detail::tri;
  namespace pb = pocket_block;
  gen::Mesh m;
  m.name = "pocket-block";
  const std::vector<double> xs = pb::gridLines(
      pb::kLength, {pb::kPocketX0, pb::kPocketX1, pb::kIslandX0, pb::kIslandX1, pb::kShelfX0});
  const std::vector<double> ys = pb::gridLines(
      pb::kWidth, {pb::kPocketY0, pb::kPocketY1, pb::kIslandY0, pb::kIslandY1, pb::kShelfY1});
  const int nx = static_cast<int>(xs.size()) - 1, ny = static_cast<int>(ys.size()) - 1;
  auto at = [&](int i, int j) { return Vec{xs[i], ys[j], pb::height(xs[i], ys[j])}; };
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j) quad(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
  }
  // Skirts along the four sides, counter-clockwise seen from above, and the bottom as a fan.
  const Vec centre{pb::kLength / 2, pb::kWidth / 2, pb::kBase};
  auto side = [&](const Vec& a, const Vec& b) {
    quad(m, Vec{a.x, a.y, pb::kBase}, Vec{b.x, b.y, pb::kBase}, b, a);
    tri(m, centre, Vec{b.x, b.y, pb::kBase}, Vec{a.x, a.y, pb::kBase});
  };
  for (int i = 0; i < nx; ++i) side(at(i, 0), at(i + 1, 0));
  for (int j = 0; j < ny; ++j) side(at(nx, j), at(nx, j + 1));
  for (int i = nx; i > 0; --i) side(at(i, ny), at(i - 1, ny));
  for (int j = ny; j > 0; --j) side(at(0, j), at(0, j - 1));
  ASSERT_TRUE(gen::writeStl(file, m, gen::Encoding::kBinary));
}

}  // namespace qdtest
