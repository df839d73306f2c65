// model_fixture.h - builds surface models for the model tests and the point-drop benchmark:
// owned triangle and four-corner models (sorted, with box arrays and model box, as a loader
// leaves them), cutters of every type, generated meshes (random soup, terrain, sphere), float
// triangle lists and a scope guard for records of the library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/lists.h"
#include "model/surface_model.h"

namespace qdtest {

// Frees a record of the library with its free function when the test leaves the scope.
template <typename T, void (*Free)(T*)>
class Owned {
 public:
  explicit Owned(T* q) : p(q) {}
  ~Owned() { Free(p); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  T* p;
};

// The triangles as a new float triangle list (the corners rounded to f32).
inline TriFList* floatTriList(const std::vector<Tri3D>& tris) {
  TriFList* l = lstTriFNew(static_cast<int>(tris.size()));
  for (const Tri3D& t : tris) {
    TriF f;
    for (int k = 0; k < 3; ++k) {
      f.v[3 * k] = static_cast<float>(t.v[k].x);
      f.v[3 * k + 1] = static_cast<float>(t.v[k].y);
      f.v[3 * k + 2] = static_cast<float>(t.v[k].z);
    }
    lstTriFAppend(l, f);
  }
  return l;
}

inline CutterShape makeCutter(std::int16_t type, double radius, double corner) {
  CutterShape c{};
  c.type = type;
  c.radius = radius;
  c.cornerRadius = corner;
  return c;
}

// The cone band used by the drop tests: r1 = radius, r2 = shank / 2, h1 = taper length,
// h2 = taper length + band length.
inline CutterShape makeConeBand(double r1, double r2, double h1, double h2) {
  CutterShape c{};
  c.type = kCutterConeBand;
  c.radius = r1;
  c.shankDiameter = 2.0 * r2;
  c.taperLength = h1;
  c.bandLength = h2 - h1;
  return c;
}

inline void boxOfPoints(const Point3D* p, int n, Point3D* lo, Point3D* hi) {
  *lo = p[0];
  *hi = p[0];
  for (int i = 1; i < n; ++i) modelGrowBox(p[i], lo, hi);
}

// A triangle model as a loader leaves it: sorted by descending highest z, box arrays, model box.
// Owns everything it holds (the cutter too) and frees it on destruction.
class TriModel {
 public:
  TriModel(const std::vector<Tri3D>& tris, const CutterShape& cutter) {
    modelInit(&m, 3);
    m.triangles = lstTri3New(static_cast<int>(tris.size()) + 2);
    for (const Tri3D& t : tris) lstTri3Append(m.triangles, t);
    modelSortTris(m.triangles);
    const std::size_t n = std::max<std::size_t>(tris.size(), 1);
    m.facetMin = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
    m.facetMax = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
    for (int i = 0; i < m.triangles->count; ++i) {
      boxOfPoints(m.triangles->items[i].v, 3, &m.facetMin[i], &m.facetMax[i]);
    }
    m.boxMin = Point3D{m.triangles->xmin, m.triangles->ymin, m.triangles->zmin};
    m.boxMax = Point3D{m.triangles->xmax, m.triangles->ymax, m.triangles->zmax};
    m.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    *m.cutter = cutter;
  }
  ~TriModel() {
    modelFreeContents(&m);
    memFree(m.cutter);
  }
  TriModel(const TriModel&) = delete;
  TriModel& operator=(const TriModel&) = delete;
  SurfaceModel m{};
};

// A four-corner model; each triangle becomes a facet that repeats its third corner.
class QuadModel {
 public:
  QuadModel(const std::vector<QuadFacet>& quads, const CutterShape& cutter) {
    modelInit(&m, 4);
    const std::size_t n = std::max<std::size_t>(quads.size(), 1);
    m.quads = static_cast<QuadFacet*>(memAllocZero(n * sizeof(QuadFacet)));
    std::copy(quads.begin(), quads.end(), m.quads);
    m.quadCount = static_cast<int>(quads.size());
    modelSortQuads(m.quadCount, m.quads);
    m.facetMin = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
    m.facetMax = static_cast<Point3D*>(memAllocZero(n * sizeof(Point3D)));
    for (int i = 0; i < m.quadCount; ++i) {
      const Point3D corners[4] = {modelQuadCorner(m.quads[i], 0), modelQuadCorner(m.quads[i], 1),
                                  modelQuadCorner(m.quads[i], 2), modelQuadCorner(m.quads[i], 3)};
      boxOfPoints(corners, 4, &m.facetMin[i], &m.facetMax[i]);
      if (i == 0) {
        m.boxMin = m.facetMin[0];
        m.boxMax = m.facetMax[0];
      }
      modelGrowBox(m.facetMin[i], &m.boxMin, &m.boxMax);
      modelGrowBox(m.facetMax[i], &m.boxMin, &m.boxMax);
    }
    m.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    *m.cutter = cutter;
  }
  ~QuadModel() {
    modelFreeContents(&m);
    memFree(m.cutter);
  }
  QuadModel(const QuadModel&) = delete;
  QuadModel& operator=(const QuadModel&) = delete;
  SurfaceModel m{};
};

inline QuadFacet quadOf(const Point3D& a, const Point3D& b, const Point3D& c, const Point3D& d) {
  QuadFacet q{};
  modelSetQuadCorner(&q, 0, a);
  modelSetQuadCorner(&q, 1, b);
  modelSetQuadCorner(&q, 2, c);
  modelSetQuadCorner(&q, 3, d);
  return q;
}

// The height field z = height(x, y) over [0, size]^2 as cells x cells squares, two triangles
// each.
template <typename HeightFn>
std::vector<Tri3D> heightFieldMesh(int cells, double size, HeightFn height) {
  std::vector<Tri3D> tris;
  tris.reserve(static_cast<std::size_t>(cells) * cells * 2);
  const double h = size / cells;
  for (int i = 0; i < cells; ++i) {
    for (int j = 0; j < cells; ++j) {
      const double x0 = i * h, y0 = j * h, x1 = x0 + h, y1 = y0 + h;
      const Point3D a{x0, y0, height(x0, y0)}, b{x1, y0, height(x1, y0)};
      const Point3D c{x1, y1, height(x1, y1)}, d{x0, y1, height(x0, y1)};
      tris.push_back(Tri3D{{a, b, c}});
      tris.push_back(Tri3D{{a, c, d}});
    }
  }
  return tris;
}

// A height field over [0, size]^2 of cells x cells squares, two triangles each, with hills and
// a few flat terraces (exactly level facets), so every contact kind occurs.
inline std::vector<Tri3D> terrainMesh(int cells, double size) {
  return heightFieldMesh(cells, size, [size](double x, double y) {
    const double u = x / size, v = y / size;
    double z = 8.0 * std::sin(5.0 * u) * std::cos(4.0 * v) + 3.0 * std::sin(17.0 * u + 11.0 * v);
    if (z > 6.0) z = 6.0;    // plateau
    if (z < -4.0) z = -4.0;  // floor
    return z;
  });
}

// A UV sphere of the given radius centred at (cx, cy, 0): stacks x slices x 2 triangles.
inline std::vector<Tri3D> sphereMesh(int stacks, int slices, double radius, double cx, double cy) {
  auto at = [&](int i, int j) {
    const double th = std::numbers::pi * i / stacks;
    const double ph = 2.0 * std::numbers::pi * j / slices;
    return Point3D{cx + radius * std::sin(th) * std::cos(ph),
                   cy + radius * std::sin(th) * std::sin(ph), radius * std::cos(th)};
  };
  std::vector<Tri3D> tris;
  tris.reserve(static_cast<std::size_t>(stacks) * slices * 2);
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      tris.push_back(Tri3D{{at(i, j), at(i + 1, j), at(i + 1, j + 1)}});
      tris.push_back(Tri3D{{at(i, j), at(i + 1, j + 1), at(i, j + 1)}});
    }
  }
  return tris;
}

// Random triangles over [0, size]^2: small and large, inclined, level and vertical ones.
inline std::vector<Tri3D> randomSoup(int count, double size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> pos(0.0, size), off(-12.0, 12.0), zs(-10.0, 10.0);
  std::vector<Tri3D> tris;
  for (int i = 0; i < count; ++i) {
    const Point3D a{pos(rng), pos(rng), zs(rng)};
    Point3D b{a.x + off(rng), a.y + off(rng), zs(rng)};
    Point3D c{a.x + off(rng), a.y + off(rng), zs(rng)};
    switch (i % 5) {
      case 0:  // exactly level
        b.z = a.z;
        c.z = a.z;
        break;
      case 1:  // vertical
        c.x = a.x + 0.5 * (b.x - a.x);
        c.y = a.y + 0.5 * (b.y - a.y);
        break;
      default: break;
    }
    tris.push_back(Tri3D{{a, b, c}});
  }
  return tris;
}

}  // namespace qdtest
