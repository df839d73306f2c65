// offset_shapes.h - the outline families of the offset oracle tests, as plain polygons (the outer
// polygon counter-clockwise first, then its islands clockwise): circles, wobbly circles, spiky
// stars (a random radius in [8, 10] at every vertex, as the spiky family of the Boolean bench),
// stars with islands, combs and squares with needles of zero width.
#pragma once

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "offset_field.h"

namespace offtest {

constexpr double kPi = std::numbers::pi;

// n points of r(t) about (cx, cy), counter-clockwise (clockwise when cw).
template <typename R>
Poly curve(int n, double cx, double cy, bool cw, R radius) {
  Poly p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * kPi * i / n * (cw ? -1.0 : 1.0);
    const double r = radius(t);
    p[static_cast<std::size_t>(i)] = {cx + r * std::cos(t), cy + r * std::sin(t)};
  }
  return p;
}

inline std::vector<Poly> circle(int n) {
  return {curve(n, 0.0, 0.0, false, [](double) { return 10.0; })};
}

inline std::vector<Poly> wobblyCircle(int n) {
  return {curve(n, 0.0, 0.0, false, [](double t) {
    return 10.0 * (1.0 + 0.03 * std::sin(5.0 * t) + 0.01 * std::sin(23.0 * t));
  })};
}

// The first operand of the spiky family of the Boolean bench (seed 42).
inline std::vector<Poly> spikyStar(int n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> radius(8.0, 10.0);
  return {curve(n, 0.0, 0.0, false, [&](double) { return radius(rng); })};
}

// Both operands of the spiky family of the Boolean bench: the first star about the origin, the
// second about (0.7, 0.4) with the radii that the same generator draws next.
inline std::pair<std::vector<Poly>, std::vector<Poly>> spikyStarPair(int n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> radius(8.0, 10.0);
  Poly a = curve(n, 0.0, 0.0, false, [&](double) { return radius(rng); });
  Poly b = curve(n, 0.7, 0.4, false, [&](double) { return radius(rng); });
  return {{a}, {b}};
}

// r(t) = 10 (1 + 0.25 sin 7t + 0.08 sin 53t) with four clockwise islands of the same kind
// (radius 1, n / 8 vertices) at 4.5 from the centre.
inline std::vector<Poly> starWithIslands(int n) {
  auto star = [](double big) {
    return
        [big](double t) { return big * (1.0 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t)); };
  };
  std::vector<Poly> r{curve(n, 0.0, 0.0, false, star(10.0))};
  for (int i = 0; i < 4; ++i) {
    const double a = kPi / 4 + i * kPi / 2;
    r.push_back(curve(std::max(8, n / 8), 4.5 * std::cos(a), 4.5 * std::sin(a), true, star(1.0)));
  }
  return r;
}

// A comb of `teeth` teeth of width 1 and height 6 on a back of height 2, 1 apart: 4 teeth vertices.
inline std::vector<Poly> comb(int teeth) {
  Poly p{{0.0, 0.0}, {2.0 * teeth - 1.0, 0.0}};
  for (int k = teeth - 1; k >= 0; --k) {
    p.push_back({2.0 * k + 1.0, 8.0});
    p.push_back({2.0 * k, 8.0});
    if (k > 0) {
      p.push_back({2.0 * k, 2.0});
      p.push_back({2.0 * k - 1.0, 2.0});
    }
  }
  return {p};
}

// A 20 x 20 square with `needles` needles of zero width and length 3 along its top side, pointing
// out and in by turns: each needle runs out from its foot and back along the same line.
inline std::vector<Poly> needleSquare(int needles) {
  Poly p{{0.0, 0.0}, {20.0, 0.0}, {20.0, 20.0}};
  for (int k = needles; k >= 1; --k) {
    const double x = 20.0 * k / (needles + 1);
    const double tip = k % 2 == 0 ? 23.0 : 17.0;
    p.push_back({x, 20.0});
    p.push_back({x, tip});
    p.push_back({x, 20.0});
  }
  p.push_back({0.0, 20.0});
  return {p};
}

}  // namespace offtest
