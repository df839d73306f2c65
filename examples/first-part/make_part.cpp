// make_part.cpp - writes part.stl, the part of the first example: a block with a pocket round an
// island, a bowl and a sloped shelf. The faces are a height field over a grid whose lines are
// doubled 0.001 apart along every wall, so the walls stand all but vertical; skirts and a bottom
// close the solid. Usage: make_part [output file], default part.stl; make_part --check file
// compares the file with what the generator makes (exit code 1 when they differ).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/mesh_gen.h"

namespace {

using qdtest::gen::Mesh;
using qdtest::gen::Vec;

constexpr double kLength = 140, kWidth = 90, kTop = 30, kBase = 0;
constexpr double kWall = 0.001;  // half the width of a wall's grid cell

// The pocket with its island, the bowl and the shelf.
constexpr double kPocketX0 = 12, kPocketX1 = 72, kPocketY0 = 12, kPocketY1 = 78, kPocketZ = 14;
constexpr double kIslandX0 = 36, kIslandX1 = 48, kIslandY0 = 38, kIslandY1 = 52, kIslandZ = 24;
constexpr double kBowlX = 106, kBowlY = 58, kBowlOpening = 18, kBowlSphere = 22;
constexpr double kShelfX0 = 84, kShelfY1 = 28, kShelfSlope = 0.5;

bool inside(double v, double lo, double hi) { return v > lo && v < hi; }

double height(double x, double y) {
  if (inside(x, kPocketX0, kPocketX1) && inside(y, kPocketY0, kPocketY1)) {
    const bool island = inside(x, kIslandX0, kIslandX1) && inside(y, kIslandY0, kIslandY1);
    return island ? kIslandZ : kPocketZ;
  }
  const double r = std::hypot(x - kBowlX, y - kBowlY);
  if (r < kBowlOpening) {
    const double centre = kTop + std::sqrt(kBowlSphere * kBowlSphere - kBowlOpening * kBowlOpening);
    return centre - std::sqrt(kBowlSphere * kBowlSphere - r * r);
  }
  if (x > kShelfX0 && y < kShelfY1) return kTop - (kShelfY1 - y) * kShelfSlope;
  return kTop;
}

// Grid lines every 2 from lo to hi, each wall position replaced by two lines kWall either side.
std::vector<double> gridLines(double hi, const std::vector<double>& walls) {
  std::vector<double> v;
  for (double s = 0; s <= hi + 1e-9; s += 2) v.push_back(s);
  for (const double w : walls) {
    v.erase(std::remove_if(v.begin(), v.end(), [w](double s) { return std::fabs(s - w) < 0.5; }),
            v.end());
    v.push_back(w - kWall);
    v.push_back(w + kWall);
  }
  std::sort(v.begin(), v.end());
  return v;
}

Mesh makePart() {
  using qdtest::gen::detail::quad;
  using qdtest::gen::detail::tri;
  Mesh m;
  m.name = "first-part";
  const std::vector<double> xs =
      gridLines(kLength, {kPocketX0, kPocketX1, kIslandX0, kIslandX1, kShelfX0});
  const std::vector<double> ys =
      gridLines(kWidth, {kPocketY0, kPocketY1, kIslandY0, kIslandY1, kShelfY1});
  const int nx = static_cast<int>(xs.size()) - 1, ny = static_cast<int>(ys.size()) - 1;
  auto at = [&](int i, int j) { return Vec{xs[i], ys[j], height(xs[i], ys[j])}; };
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j) quad(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
  }
  // Skirts along the four sides, counter-clockwise seen from above, and the bottom as a fan.
  const Vec centre{kLength / 2, kWidth / 2, kBase};
  auto side = [&](const Vec& a, const Vec& b) {
    quad(m, Vec{a.x, a.y, kBase}, Vec{b.x, b.y, kBase}, b, a);
    tri(m, centre, Vec{b.x, b.y, kBase}, Vec{a.x, a.y, kBase});
  };
  for (int i = 0; i < nx; ++i) side(at(i, 0), at(i + 1, 0));
  for (int j = 0; j < ny; ++j) side(at(nx, j), at(nx, j + 1));
  for (int i = nx; i > 0; --i) side(at(i, ny), at(i - 1, ny));
  for (int j = ny; j > 0; --j) side(at(0, j), at(0, j - 1));
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const Mesh m = makePart();
  if (argc == 3 && std::string(argv[1]) == "--check") {
    std::ifstream in(argv[2], std::ios::binary);
    const std::string have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (have != qdtest::gen::stlBytes(m, qdtest::gen::Encoding::kBinary)) {
      std::fprintf(stderr, "make_part: %s is not the part this generator makes\n", argv[2]);
      return 1;
    }
    std::printf("make_part: %s is the generator's part (%zu triangles)\n", argv[2], m.tris.size());
    return 0;
  }
  const std::string out = argc > 1 ? argv[1] : "part.stl";
  if (!qdtest::gen::writeStl(out, m, qdtest::gen::Encoding::kBinary)) {
    std::fprintf(stderr, "make_part: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("make_part: %zu triangles written to %s\n", m.tris.size(), out.c_str());
  return 0;
}
