// mesh_gen.h - closed triangle meshes made for tests and benchmarks, so that no test needs a file
// from outside the project: a sphere standing on a plate, a wheel in a box with flat levels, a box
// with holes and a terrain block. Each mesh comes with what it must be, from its construction
// alone (triangle count, box, volume, flat levels), and is written as binary STL, text STL or
// binary STL whose header begins with "solid". Standard library only: the independent toolpath
// checker's tests use it as well as the library's.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace qdtest::gen {

struct Vec {
  double x, y, z;
};
struct Tri {
  Vec v[3];  // counter-clockwise seen from outside: the normal points out of the solid
};

// A generated mesh and the figures it must have, derived from its parameters without looking at
// its triangles. Coordinates are rounded to single precision, so that every STL encoding holds
// them exactly.
struct Mesh {
  std::string name;
  std::vector<Tri> tris;
  std::size_t triangles = 0;       // expected count
  Vec lo{}, hi{};                  // expected box
  double volume = 0;               // expected enclosed volume (all shells together)
  std::vector<double> flatLevels;  // heights of the upward flat faces, ascending
};

namespace detail {

// The single-precision value nearest to v (ties to even, subnormals included), by arithmetic on
// powers of two rather than a cast to float and back: GCC 12 at -O3 vectorizes that cast pair over
// neighbouring fields and drops it, which left the corners unrounded in Release builds. Every step
// is exact: scaling by a power of two, and rounding to an integer below 2^24.
inline double toFloat(double v) {
  if (v == 0 || !std::isfinite(v)) return v;
  int e = 0;
  std::frexp(v, &e);      // v = m 2^e with 1/2 <= |m| < 1
  e = std::max(e, -125);  // below the normal range the step stays that of the subnormals, 2^-149
  return std::ldexp(std::nearbyint(std::ldexp(v, 24 - e)), e - 24);
}
inline Vec toFloat(const Vec& p) { return Vec{toFloat(p.x), toFloat(p.y), toFloat(p.z)}; }

// Appends the triangle a b c with its corners rounded to single precision.
inline void tri(Mesh& m, const Vec& a, const Vec& b, const Vec& c) {
  m.tris.push_back(Tri{{toFloat(a), toFloat(b), toFloat(c)}});
}
// The planar quad a b c d (counter-clockwise from outside) as two triangles.
inline void quad(Mesh& m, const Vec& a, const Vec& b, const Vec& c, const Vec& d) {
  tri(m, a, b, c);
  tri(m, a, c, d);
}

// A prism of the convex polygon `ring` (counter-clockwise seen from above) from z0 to z1: top and
// bottom as fans around the centre point, one quad per side. 4 n triangles.
inline void prism(Mesh& m, const std::vector<Vec>& ring, const Vec& centre, double z0, double z1) {
  const std::size_t n = ring.size();
  for (std::size_t j = 0; j < n; ++j) {
    const Vec& a = ring[j];
    const Vec& b = ring[(j + 1) % n];
    const Vec a0{a.x, a.y, z0}, b0{b.x, b.y, z0}, a1{a.x, a.y, z1}, b1{b.x, b.y, z1};
    tri(m, Vec{centre.x, centre.y, z1}, a1, b1);
    tri(m, Vec{centre.x, centre.y, z0}, b0, a0);
    quad(m, a0, b0, b1, a1);
  }
}

// A prism of the ring between the convex polygons `outer` and `inner` (same vertex count, both
// counter-clockwise seen from above, vertex j of one facing vertex j of the other). 8 n triangles.
inline void annulus(Mesh& m, const std::vector<Vec>& outer, const std::vector<Vec>& inner,
                    double z0, double z1) {
  const std::size_t n = outer.size();
  for (std::size_t j = 0; j < n; ++j) {
    const std::size_t k = (j + 1) % n;
    const Vec o0{outer[j].x, outer[j].y, z0}, p0{outer[k].x, outer[k].y, z0};
    const Vec o1{outer[j].x, outer[j].y, z1}, p1{outer[k].x, outer[k].y, z1};
    const Vec i0{inner[j].x, inner[j].y, z0}, q0{inner[k].x, inner[k].y, z0};
    const Vec i1{inner[j].x, inner[j].y, z1}, q1{inner[k].x, inner[k].y, z1};
    quad(m, o1, p1, q1, i1);  // top
    quad(m, o0, i0, q0, p0);  // bottom
    quad(m, o0, p0, p1, o1);  // outer wall, facing out
    quad(m, q0, i0, i1, q1);  // inner wall, facing the hole
  }
}

// A box as 12 triangles.
inline void box(Mesh& m, const Vec& lo, const Vec& hi) {
  const std::vector<Vec> ring = {
      {lo.x, lo.y, 0}, {hi.x, lo.y, 0}, {hi.x, hi.y, 0}, {lo.x, hi.y, 0}};
  for (int j = 0; j < 4; ++j) {
    const Vec& a = ring[j];
    const Vec& b = ring[(j + 1) % 4];
    quad(m, Vec{a.x, a.y, lo.z}, Vec{b.x, b.y, lo.z}, Vec{b.x, b.y, hi.z}, Vec{a.x, a.y, hi.z});
  }
  quad(m, Vec{lo.x, lo.y, hi.z}, Vec{hi.x, lo.y, hi.z}, Vec{hi.x, hi.y, hi.z},
       Vec{lo.x, hi.y, hi.z});
  quad(m, Vec{lo.x, lo.y, lo.z}, Vec{lo.x, hi.y, lo.z}, Vec{hi.x, hi.y, lo.z},
       Vec{hi.x, lo.y, lo.z});
}

// The regular n-gon of circumradius r around (cx, cy), vertex j at angle 2 pi (j + phase) / n.
inline std::vector<Vec> ngon(int n, double r, double cx, double cy, double phase) {
  std::vector<Vec> ring;
  for (int j = 0; j < n; ++j) {
    const double a = 2.0 * std::numbers::pi * (j + phase) / n;
    ring.push_back(Vec{cx + r * std::cos(a), cy + r * std::sin(a), 0});
  }
  return ring;
}

// Area of the regular n-gon of circumradius r.
inline double ngonArea(int n, double r) {
  return 0.5 * n * r * r * std::sin(2.0 * std::numbers::pi / n);
}

}  // namespace detail

// A UV sphere of `stacks` bands and `slices` sectors (poles as fans) with radius r, standing with
// its lower pole on the middle of a square plate of side `side` and thickness `thickness` whose
// top is z = 0. Two closed shells that touch at one point. 2 slices (stacks - 1) + 12 triangles.
// The sphere's bands are frusta of regular pyramids, which gives its volume in closed form.
inline Mesh sphereOnPlate(int stacks = 16, int slices = 32, double r = 15, double side = 76,
                          double thickness = 1) {
  using detail::tri;
  Mesh m;
  m.name = "sphere_on_plate";
  const double cx = side / 2, cy = side / 2, cz = r;
  auto ringZ = [&](int i) { return cz + r * std::cos(std::numbers::pi * i / stacks); };
  auto ringR = [&](int i) { return r * std::sin(std::numbers::pi * i / stacks); };
  auto at = [&](int i, int j) {
    const double a = 2.0 * std::numbers::pi * j / slices;
    return Vec{cx + ringR(i) * std::cos(a), cy + ringR(i) * std::sin(a), ringZ(i)};
  };
  const Vec top{cx, cy, cz + r}, bottom{cx, cy, cz - r};
  for (int j = 0; j < slices; ++j) {
    const int k = (j + 1) % slices;
    tri(m, top, at(1, j), at(1, k));
    tri(m, bottom, at(stacks - 1, k), at(stacks - 1, j));
    for (int i = 1; i + 1 < stacks; ++i) {
      tri(m, at(i, j), at(i + 1, j), at(i + 1, k));
      tri(m, at(i, j), at(i + 1, k), at(i, k));
    }
  }
  detail::box(m, Vec{0, 0, -thickness}, Vec{side, side, 0});

  m.triangles = 2 * static_cast<std::size_t>(slices) * (stacks - 1) + 12;
  m.lo = Vec{0, 0, -thickness};
  m.hi = Vec{side, side, 2 * r};
  double sphere = 0;
  for (int i = 0; i < stacks; ++i) {
    const double r0 = i == 0 ? 0 : ringR(i), r1 = i + 1 == stacks ? 0 : ringR(i + 1);
    const double h = ringZ(i) - ringZ(i + 1);
    sphere += h / 3 * detail::ngonArea(slices, 1) * (r0 * r0 + r0 * r1 + r1 * r1);
  }
  m.volume = side * side * thickness + sphere;
  m.flatLevels = {0};
  return m;
}

// A wheel standing in an open box, 200 x 200 x 50 around the origin: the box (floor at z 4, walls
// 10 thick), on its floor a rim of `segments` sides (radius 60 to 70, up to 22), an octagonal hub
// (radius 15, up to 35) and four spokes (up to 18) whose ends lie on a hub face and a rim face.
// Every part is a closed shell; shells touch but neither overlap nor share an edge. `segments` is
// a multiple of 4. 8 segments + 108 triangles; upward flat levels 4, 18, 22, 35 and 50.
inline Mesh wheelInBox(int segments = 40) {
  using detail::ngon;
  Mesh m;
  m.name = "wheel_in_box";
  constexpr double kHalf = 100, kWall = 10, kTop = 50, kBase = 4;
  constexpr double kRimOut = 70, kRimIn = 60, kRimTop = 22;
  constexpr double kHub = 15, kHubTop = 35, kSpokeTop = 18;
  constexpr int kHubSides = 8;
  const double pi = std::numbers::pi;
  // The box: one shell, its floor at kBase inside walls kWall thick.
  const double in = kHalf - kWall;
  const Vec outer[4] = {
      {kHalf, -kHalf, 0}, {kHalf, kHalf, 0}, {-kHalf, kHalf, 0}, {-kHalf, -kHalf, 0}};
  const Vec inner[4] = {{in, -in, 0}, {in, in, 0}, {-in, in, 0}, {-in, -in, 0}};
  auto at = [](const Vec& p, double z) { return Vec{p.x, p.y, z}; };
  for (int j = 0; j < 4; ++j) {
    const int k = (j + 1) % 4;
    detail::quad(m, at(outer[j], 0), at(outer[k], 0), at(outer[k], kTop), at(outer[j], kTop));
    detail::quad(m, at(outer[j], kTop), at(outer[k], kTop), at(inner[k], kTop), at(inner[j], kTop));
    detail::quad(m, at(inner[k], kBase), at(inner[j], kBase), at(inner[j], kTop),
                 at(inner[k], kTop));
  }
  detail::quad(m, at(outer[0], 0), at(outer[3], 0), at(outer[2], 0), at(outer[1], 0));
  detail::quad(m, at(inner[0], kBase), at(inner[1], kBase), at(inner[2], kBase),
               at(inner[3], kBase));
  // Half-step phase: a face of the rim and of the hub is centred on each axis.
  detail::annulus(m, ngon(segments, kRimOut, 0, 0, 0.5), ngon(segments, kRimIn, 0, 0, 0.5), kBase,
                  kRimTop);
  detail::prism(m, ngon(kHubSides, kHub, 0, 0, 0.5), Vec{0, 0, 0}, kBase, kHubTop);
  const double hubFace = kHub * std::cos(pi / kHubSides),
               rimFace = kRimIn * std::cos(pi / segments);
  const double halfWidth =
      0.8 * std::min(kHub * std::sin(pi / kHubSides), kRimIn * std::sin(pi / segments));
  for (int s = 0; s < 4; ++s) {
    // The spoke along +x, turned by s quarter turns (exact: coordinates swap and change sign).
    auto turn = [s](double x, double y) {
      switch (s) {
        case 0: return Vec{x, y, 0};
        case 1: return Vec{-y, x, 0};
        case 2: return Vec{-x, -y, 0};
        default: return Vec{y, -x, 0};
      }
    };
    const std::vector<Vec> ring = {turn(hubFace, -halfWidth), turn(rimFace, -halfWidth),
                                   turn(rimFace, halfWidth), turn(hubFace, halfWidth)};
    for (int j = 0; j < 4; ++j) {
      const Vec& a = ring[j];
      const Vec& b = ring[(j + 1) % 4];
      detail::quad(m, Vec{a.x, a.y, kBase}, Vec{b.x, b.y, kBase}, Vec{b.x, b.y, kSpokeTop},
                   Vec{a.x, a.y, kSpokeTop});
    }
    detail::quad(m, Vec{ring[0].x, ring[0].y, kSpokeTop}, Vec{ring[1].x, ring[1].y, kSpokeTop},
                 Vec{ring[2].x, ring[2].y, kSpokeTop}, Vec{ring[3].x, ring[3].y, kSpokeTop});
    detail::quad(m, Vec{ring[0].x, ring[0].y, kBase}, Vec{ring[3].x, ring[3].y, kBase},
                 Vec{ring[2].x, ring[2].y, kBase}, Vec{ring[1].x, ring[1].y, kBase});
  }

  m.triangles = 8 * static_cast<std::size_t>(segments) + 108;
  m.lo = Vec{-kHalf, -kHalf, 0};
  m.hi = Vec{kHalf, kHalf, kTop};
  const double side = 2 * kHalf, inside = 2 * in;
  m.volume = side * side * kTop - inside * inside * (kTop - kBase) +
             (detail::ngonArea(segments, kRimOut) - detail::ngonArea(segments, kRimIn)) *
                 (kRimTop - kBase) +
             detail::ngonArea(kHubSides, kHub) * (kHubTop - kBase) +
             4 * (rimFace - hubFace) * 2 * halfWidth * (kSpokeTop - kBase);
  m.flatLevels = {kBase, kSpokeTop, kRimTop, kHubTop, kTop};
  return m;
}

// A box of length x width x height with its top at z = 0 and holesX x holesY rectangular holes of
// holeX x holeY, evenly spaced, `depth` deep: through the box when depth equals the height, else
// blind with a flat floor. The faces are cut along the hole edges into a grid, so every edge is
// shared by two triangles.
inline Mesh boxWithHoles(int holesX = 5, int holesY = 2, double depth = 5, double length = 130,
                         double width = 50, double height = 10, double holeX = 12,
                         double holeY = 12) {
  using detail::quad;
  Mesh m;
  m.name = "box_with_holes";
  const bool through = depth >= height;
  auto breaks = [](int holes, double size, double hole) {
    const double gap = (size - holes * hole) / (holes + 1);
    std::vector<double> b = {0};
    for (int k = 0; k < holes; ++k) {
      b.push_back(gap * (k + 1) + hole * k);
      b.push_back(gap * (k + 1) + hole * (k + 1));
    }
    b.push_back(size);
    return b;
  };
  const std::vector<double> xs = breaks(holesX, length, holeX), ys = breaks(holesY, width, holeY);
  const int cx = static_cast<int>(xs.size()) - 1, cy = static_cast<int>(ys.size()) - 1;
  const double top = 0, bottom = -height, floor = -depth;
  auto hole = [](int i, int j) { return i % 2 == 1 && j % 2 == 1; };
  for (int i = 0; i < cx; ++i) {
    for (int j = 0; j < cy; ++j) {
      const double x0 = xs[i], x1 = xs[i + 1], y0 = ys[j], y1 = ys[j + 1];
      if (!hole(i, j)) {
        quad(m, Vec{x0, y0, top}, Vec{x1, y0, top}, Vec{x1, y1, top}, Vec{x0, y1, top});
      } else {
        // The hole's walls face into the hole: each runs from a corner back to the one before
        // it in counter-clockwise order.
        const double z = through ? bottom : floor;
        const double cxs[4] = {x0, x1, x1, x0}, cys[4] = {y0, y0, y1, y1};
        for (int k = 0; k < 4; ++k) {
          const int n = (k + 1) % 4;
          quad(m, Vec{cxs[n], cys[n], top}, Vec{cxs[n], cys[n], z}, Vec{cxs[k], cys[k], z},
               Vec{cxs[k], cys[k], top});
        }
        if (!through) quad(m, Vec{x0, y0, z}, Vec{x1, y0, z}, Vec{x1, y1, z}, Vec{x0, y1, z});
      }
      if (!hole(i, j) || !through) {
        quad(m, Vec{x0, y0, bottom}, Vec{x0, y1, bottom}, Vec{x1, y1, bottom}, Vec{x1, y0, bottom});
      }
    }
  }
  for (int i = 0; i < cx; ++i) {
    quad(m, Vec{xs[i], 0, bottom}, Vec{xs[i + 1], 0, bottom}, Vec{xs[i + 1], 0, top},
         Vec{xs[i], 0, top});
    quad(m, Vec{xs[i + 1], width, bottom}, Vec{xs[i], width, bottom}, Vec{xs[i], width, top},
         Vec{xs[i + 1], width, top});
  }
  for (int j = 0; j < cy; ++j) {
    quad(m, Vec{length, ys[j], bottom}, Vec{length, ys[j + 1], bottom}, Vec{length, ys[j + 1], top},
         Vec{length, ys[j], top});
    quad(m, Vec{0, ys[j + 1], bottom}, Vec{0, ys[j], bottom}, Vec{0, ys[j], top},
         Vec{0, ys[j + 1], top});
  }

  const std::size_t cells = static_cast<std::size_t>(cx) * cy;
  const std::size_t holes = static_cast<std::size_t>(holesX) * holesY;
  m.triangles = 2 * (cells - holes) + 8 * holes + 4 * (cx + cy) +
                (through ? 2 * (cells - holes) : 2 * cells + 2 * holes);
  m.lo = Vec{0, 0, bottom};
  m.hi = Vec{length, width, top};
  m.volume = length * width * height - static_cast<double>(holes) * holeX * holeY * depth;
  m.flatLevels = through ? std::vector<double>{top} : std::vector<double>{floor, top};
  return m;
}

// The terrain's height: hills and a ridge, cut flat at `plateau` and at `valley`.
inline double terrainHeight(double x, double y, double size, double plateau, double valley) {
  const double u = x / size, v = y / size;
  const double z = 9.0 * std::sin(6.0 * u) * std::cos(5.0 * v) + 3.0 * std::sin(13.0 * u + 7.0 * v);
  return std::clamp(z, valley, plateau);
}

// A terrain block: the height field over [0, size]^2 sampled on cells x cells squares (two
// triangles each), closed by vertical skirts down to z = base and a bottom fanned from its
// centre. 2 cells^2 + 12 cells triangles. Its volume is the exact integral of the piecewise
// linear surface above the base, summed cell by cell; its flat levels are the plateau and the
// valley floor, both reached by the samples.
inline Mesh terrain(int cells = 64, double size = 100, double base = -10, double plateau = 6,
                    double valley = -4) {
  using detail::tri;
  Mesh m;
  m.name = "terrain";
  const double h = size / cells;
  auto at = [&](int i, int j) {
    const double x = i * h, y = j * h;
    return Vec{x, y, detail::toFloat(terrainHeight(x, y, size, plateau, valley))};
  };
  double volume = 0;
  for (int i = 0; i < cells; ++i) {
    for (int j = 0; j < cells; ++j) {
      const Vec a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      tri(m, a, b, c);
      tri(m, a, c, d);
      // Each triangle's prism down to the base holds its plan area times its mean height.
      volume += h * h / 6 * ((a.z - base) * 2 + (b.z - base) + (c.z - base) * 2 + (d.z - base));
    }
  }
  // Skirts along the four sides (counter-clockwise seen from above), then the bottom.
  const Vec centre{size / 2, size / 2, base};
  auto side = [&](const Vec& a, const Vec& b) {
    detail::quad(m, Vec{a.x, a.y, base}, Vec{b.x, b.y, base}, b, a);
    tri(m, centre, Vec{b.x, b.y, base}, Vec{a.x, a.y, base});
  };
  for (int k = 0; k < cells; ++k) {
    side(at(k, 0), at(k + 1, 0));
    side(at(cells, k), at(cells, k + 1));
    side(at(cells - k, cells), at(cells - k - 1, cells));
    side(at(0, cells - k), at(0, cells - k - 1));
  }

  m.triangles = 2 * static_cast<std::size_t>(cells) * cells + 12 * static_cast<std::size_t>(cells);
  m.lo = Vec{0, 0, base};
  m.hi = Vec{size, size, plateau};
  m.volume = volume;
  m.flatLevels = {valley, plateau};
  return m;
}

// The four shapes with their default parameters.
inline std::vector<Mesh> allShapes() {
  return {sphereOnPlate(), wheelInBox(), boxWithHoles(), terrain()};
}

// ---- figures measured on the triangles, the oracles of the expected ones ----

// The enclosed volume by the divergence theorem: the sum of the signed tetrahedra from the
// origin; positive for outward-facing closed shells.
inline double divergenceVolume(const std::vector<Tri>& tris) {
  double v = 0;
  for (const Tri& t : tris) {
    const Vec& a = t.v[0];
    const Vec& b = t.v[1];
    const Vec& c = t.v[2];
    v += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) +
         a.z * (b.x * c.y - b.y * c.x);
  }
  return v / 6;
}

// The box of the triangles' corners.
inline void boxOf(const std::vector<Tri>& tris, Vec* lo, Vec* hi) {
  *lo = Vec{1e300, 1e300, 1e300};
  *hi = Vec{-1e300, -1e300, -1e300};
  for (const Tri& t : tris) {
    for (const Vec& p : t.v) {
      *lo = Vec{std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
      *hi = Vec{std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
    }
  }
}

// ---- STL encodings ----

enum class Encoding { kBinary, kText, kBinarySolidHeader };

inline const char* encodingName(Encoding e) {
  switch (e) {
    case Encoding::kBinary: return "binary";
    case Encoding::kText: return "text";
    default: return "binarySolidHeader";
  }
}

inline Vec unitNormal(const Tri& t) {
  const Vec a{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
  const Vec b{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
  const Vec n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  const double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  return len > 0 ? Vec{n.x / len, n.y / len, n.z / len} : Vec{0, 0, 0};
}

// Binary STL, little-endian: an 80-byte header (the text, padded with blanks), the count and
// 50 bytes per triangle.
inline std::string stlBinary(const Mesh& m, const std::string& header) {
  std::string s = header.substr(0, 80);
  s.resize(80, ' ');
  auto u32 = [&s](std::uint32_t w) {
    for (int k = 0; k < 4; ++k) s.push_back(static_cast<char>((w >> (8 * k)) & 0xffu));
  };
  auto f32 = [&u32](double v) { u32(std::bit_cast<std::uint32_t>(static_cast<float>(v))); };
  u32(static_cast<std::uint32_t>(m.tris.size()));
  for (const Tri& t : m.tris) {
    const Vec n = unitNormal(t);
    f32(n.x);
    f32(n.y);
    f32(n.z);
    for (const Vec& p : t.v) {
      f32(p.x);
      f32(p.y);
      f32(p.z);
    }
    s.push_back('\0');
    s.push_back('\0');
  }
  return s;
}

// Text STL; 17 significant digits give every coordinate back exactly, to a reader in single or in
// double precision.
inline std::string stlText(const Mesh& m) {
  std::string s = "solid " + m.name + "\n";
  char line[200];
  for (const Tri& t : m.tris) {
    const Vec n = unitNormal(t);
    std::snprintf(line, sizeof line, "  facet normal %.9g %.9g %.9g\n    outer loop\n", n.x, n.y,
                  n.z);  // normals are not read back
    s += line;
    for (const Vec& p : t.v) {
      std::snprintf(line, sizeof line, "      vertex %.17g %.17g %.17g\n", p.x, p.y, p.z);
      s += line;
    }
    s += "    endloop\n  endfacet\n";
  }
  return s + "endsolid " + m.name + "\n";
}

inline std::string stlBytes(const Mesh& m, Encoding e) {
  switch (e) {
    case Encoding::kBinary: return stlBinary(m, "binary " + m.name + " generated for tests");
    case Encoding::kText: return stlText(m);
    default: return stlBinary(m, "solid " + m.name + " (binary, generated for tests)");
  }
}

// Writes the mesh to path in the encoding; false when the file cannot be written.
inline bool writeStl(const std::string& path, const Mesh& m, Encoding e) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string bytes = stlBytes(m, e);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace qdtest::gen
