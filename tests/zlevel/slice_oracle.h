// slice_oracle.h - the brute-force picture of one sliced level: the drop height of the part's
// cutter on a fine grid (the model code's exact point drop, each point against every facet whose
// plan box comes within R, found through buckets of this file rather than the model's grid), its
// iso-line at the level by marching squares, and the loops it gives with their class (material
// or free inside), nesting depth, area, perimeter and box. The loops of the slice are measured
// the same way, and the two sets are matched loop by loop within the grid's resolution bound.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "level_fixture.h"
#include "model/point_drop.h"
#include "zlevel/zpath.h"

namespace qdtest {

// A closed loop in plan with what the comparison reads of it.
struct OracleLoop {
  std::vector<Point2D> pts;
  bool materialInside = false;
  int depth = 0;                          // loops of the same set that contain it
  double area = 0, perimeter = 0;         // area unsigned
  double signedArea = 0;                  // positive counter-clockwise
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // box

  void measure() {
    area = perimeter = 0;
    x0 = y0 = 1e300;
    x1 = y1 = -1e300;
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) {
      const Point2D& a = pts[i];
      const Point2D& b = pts[(i + 1) % n];
      area += a.x * b.y - b.x * a.y;
      perimeter += std::hypot(b.x - a.x, b.y - a.y);
      x0 = std::min(x0, a.x), y0 = std::min(y0, a.y);
      x1 = std::max(x1, a.x), y1 = std::max(y1, a.y);
    }
    signedArea = area / 2;
    area = std::fabs(area) / 2;
  }
  bool contains(const Point2D& p) const {
    bool in = false;
    const std::size_t n = pts.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const Point2D& a = pts[i];
      const Point2D& b = pts[j];
      if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y))
        in = !in;
    }
    return in;
  }
};

// Depth of every loop: how many loops of larger area contain its first point.
inline void setDepths(std::vector<OracleLoop>* loops) {
  for (OracleLoop& a : *loops) {
    a.depth = 0;
    for (const OracleLoop& b : *loops)
      if (&a != &b && b.area > a.area && b.contains(a.pts[0])) ++a.depth;
  }
}

// The loops of the level as the slice made them (the Z paths of its pieces).
inline std::vector<OracleLoop> sliceLoops(const LevelPart& part, double Z) {
  ZPathList* list = zpathListNew(8);
  part.pathsInto(list, Z);
  std::vector<OracleLoop> out;
  for (int i = 0; i < list->count; ++i) {
    const ZPath& p = list->items[i];
    OracleLoop l;
    for (int k = 0; k < p.count; ++k)
      l.pts.push_back(Point2D{p.points[2 * k], p.points[2 * k + 1]});
    if (l.pts.size() < 3) continue;
    l.materialInside = p.materialInside == 1;
    l.measure();
    out.push_back(std::move(l));
  }
  zpathListFree(list);
  setDepths(&out);
  return out;
}

// The reference heights of the part's cutter (ball centre, flat tip, torus tube plane; the
// heights the level Z is given in) over plan positions, by the model code's point drop.
class PointDropper {
 public:
  explicit PointDropper(LevelPart& part) : part_(part) {
    SurfaceModel& m = part.model();
    const double grow = m.cutter->radius + 1e-6;
    x0_ = m.boxMin.x - grow;
    y0_ = m.boxMin.y - grow;
    cols_ = std::max(1, static_cast<int>((m.boxMax.x + grow - x0_) / kBucket) + 1);
    rows_ = std::max(1, static_cast<int>((m.boxMax.y + grow - y0_) / kBucket) + 1);
    buckets_.assign(static_cast<std::size_t>(rows_) * cols_, {});
    for (int i = 0; i < m.triangles->count; ++i) {
      const int c0 = cell(m.facetMin[i].x - grow, x0_, cols_);
      const int c1 = cell(m.facetMax[i].x + grow, x0_, cols_);
      const int r0 = cell(m.facetMin[i].y - grow, y0_, rows_);
      const int r1 = cell(m.facetMax[i].y + grow, y0_, rows_);
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
          buckets_[static_cast<std::size_t>(r) * cols_ + c].push_back(i);
    }
    floor_ = m.boxMin.z - 1000.0;
  }

  // Installs the model's facets for the drops (the slicing's own drop net did the same).
  void install() const {
    SurfaceModel& m = part_.model();
    dropSetTriModel(m.triangles, m.facetMin, m.facetMax, m.boxMin.z, m.boxMax.z, 0);
  }

  // Reference height at (x, y); far below the part where nothing is under the tool.
  double height(double x, double y) const {
    SurfaceModel& m = part_.model();
    Point3D p{x, y, floor_};
    const int c = cell(x, x0_, cols_), r = cell(y, y0_, rows_);
    const bool inside =
        x >= x0_ && y >= y0_ && x < x0_ + cols_ * kBucket && y < y0_ + rows_ * kBucket;
    if (!inside) return floor_;
    const std::vector<int>& b = buckets_[static_cast<std::size_t>(r) * cols_ + c];
    if (b.empty()) return floor_;
    Point3D contact{};
    int kind = 0;
    dropPointTris(&p, m.boxMax.z + 20.0, m.cutter, b.data(), static_cast<int>(b.size()), &contact,
                  &kind);
    return p.z;
  }

 private:
  static constexpr double kBucket = 8.0;
  static int cell(double v, double v0, int n) {
    return std::clamp(static_cast<int>(std::floor((v - v0) / kBucket)), 0, n - 1);
  }
  LevelPart& part_;
  double x0_ = 0, y0_ = 0, floor_ = 0;
  int cols_ = 1, rows_ = 1;
  std::vector<std::vector<int>> buckets_;
};

// Heights on a grid of nodes (x0 + i step, y0 + j step), i < nx, j < ny.
struct HeightField {
  double x0 = 0, y0 = 0, step = 1;
  int nx = 0, ny = 0;
  std::vector<double> h;
  double at(int i, int j) const { return h[static_cast<std::size_t>(j) * nx + i]; }
};

inline HeightField heightField(const PointDropper& drop, double x0, double y0, double x1, double y1,
                               double step) {
  HeightField f;
  f.x0 = x0;
  f.y0 = y0;
  f.step = step;
  f.nx = static_cast<int>(std::floor((x1 - x0) / step)) + 1;
  f.ny = static_cast<int>(std::floor((y1 - y0) / step)) + 1;
  f.h.resize(static_cast<std::size_t>(f.nx) * f.ny);
  for (int j = 0; j < f.ny; ++j)
    for (int i = 0; i < f.nx; ++i)
      f.h[static_cast<std::size_t>(j) * f.nx + i] = drop.height(x0 + i * step, y0 + j * step);
  return f;
}

// The loops of the level Z on the field: a node is blocked when its height lies more than 1e-5
// above Z (the level raster's rule); the nodes on the field's border count as free, so that
// every loop closes (the field spans the region, which lies wider than the tool around the part:
// the slice's loops never reach its border).
// Crossings lie where the heights, interpolated along the cell edge, pass Z; a cell whose
// diagonal corners disagree asks the drop at its centre which pair is joined.
inline std::vector<OracleLoop> isoLoops(const HeightField& f, double Z, const PointDropper& drop) {
  const int nx = f.nx, ny = f.ny;
  auto value = [&](int i, int j) {
    if (i <= 0 || j <= 0 || i >= nx - 1 || j >= ny - 1) return -1.0;  // the border: free
    return f.at(i, j) - Z - 1e-5;
  };
  auto blocked = [&](int i, int j) { return value(i, j) > 0; };
  // Crossing point on the edge from node a to node b (one blocked, one free).
  auto cross = [&](int ia, int ja, int ib, int jb) {
    const double va = value(ia, ja), vb = value(ib, jb);
    double t = va / (va - vb);
    if (!std::isfinite(t)) t = 0.5;
    t = std::clamp(t, 0.0, 1.0);
    return Point2D{f.x0 + (ia + t * (ib - ia)) * f.step, f.y0 + (ja + t * (jb - ja)) * f.step};
  };
  // Edge ids: horizontal edge from (i, j) to (i + 1, j): 2 (j nx + i); vertical edge from (i, j)
  // to (i, j + 1): 2 (j nx + i) + 1.
  auto hEdge = [&](int i, int j) { return 2L * (static_cast<long>(j) * nx + i); };
  auto vEdge = [&](int i, int j) { return 2L * (static_cast<long>(j) * nx + i) + 1; };
  struct Piece {
    long to;
    Point2D at;  // the crossing of the edge the piece starts on
  };
  std::map<long, Piece> next;  // from the edge a piece starts on
  for (int j = 0; j + 1 < ny; ++j)
    for (int i = 0; i + 1 < nx; ++i) {
      // Corners counter-clockwise: 0 (i, j), 1 (i+1, j), 2 (i+1, j+1), 3 (i, j+1); edges
      // counter-clockwise: e0 bottom 0-1, e1 right 1-2, e2 top 3-2, e3 left 0-3.
      const bool b[4] = {blocked(i, j), blocked(i + 1, j), blocked(i + 1, j + 1),
                         blocked(i, j + 1)};
      const long e[4] = {hEdge(i, j), vEdge(i + 1, j), hEdge(i, j + 1), vEdge(i, j)};
      const int ci[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
      auto point = [&](int edge) {
        const int a = edge, c = (edge + 1) % 4;
        return cross(ci[a][0], ci[a][1], ci[c][0], ci[c][1]);
      };
      // Each edge k runs counter-clockwise from corner k to corner k + 1. A loop, walked with
      // the blocked side on its left, crosses the cell from an edge whose start corner is
      // blocked (its end free) to one whose start corner is free.
      int starts[2], ends[2], ns = 0, ne = 0;
      for (int k = 0; k < 4; ++k) {
        const bool s = b[k], t = b[(k + 1) % 4];
        if (s == t) continue;
        if (s) {
          starts[ns++] = k;
        } else {
          ends[ne++] = k;
        }
      }
      if (ns == 0) continue;
      if (ns == 1) {
        next[e[starts[0]]] = Piece{e[ends[0]], point(starts[0])};
        continue;
      }
      // A saddle: the drop at the cell's centre says whether the blocked corners are joined
      // through it. Joined, each piece cuts off the free corner after its start edge; apart,
      // the blocked corner before it.
      const double cx = f.x0 + (i + 0.5) * f.step, cy = f.y0 + (j + 0.5) * f.step;
      const bool joined = drop.height(cx, cy) - Z - 1e-5 > 0;
      for (int k = 0; k < 2; ++k) {
        const int x = starts[k];
        const int to = joined ? (x + 1) % 4 : (x + 3) % 4;
        next[e[x]] = Piece{e[to], point(x)};
      }
    }
  std::vector<OracleLoop> loops;
  while (!next.empty()) {
    OracleLoop l;
    auto it = next.begin();
    const long first = it->first;
    long at = first;
    while (true) {
      auto p = next.find(at);
      if (p == next.end()) break;
      l.pts.push_back(p->second.at);
      const long to = p->second.to;
      next.erase(p);
      at = to;
      if (at == first) break;
    }
    if (l.pts.size() < 3) continue;
    l.measure();
    l.materialInside = l.signedArea > 0;  // walked with the blocked side on the left
    loops.push_back(std::move(l));
  }
  setDepths(&loops);
  return loops;
}

// How far a loop of the slice may lie from the field's loop: the iso-line lies within a cell's
// diagonal of the true boundary (the heights jump at vertical walls), the walked contour up to
// three tolerances off the offset (a tolerance outside it, its chords up to three in).
inline double resolutionBound(double step, double tolerance) {
  return step * std::sqrt(2.0) + 3.0 * tolerance + 1e-6;
}

// Whether loop b is loop a within the bound e: same class, boxes within e on every side, areas
// within the band of width e along the longer perimeter.
inline bool sameLoop(const OracleLoop& a, const OracleLoop& b, double e) {
  if (a.materialInside != b.materialInside) return false;
  if (std::fabs(a.x0 - b.x0) > e || std::fabs(a.x1 - b.x1) > e || std::fabs(a.y0 - b.y0) > e ||
      std::fabs(a.y1 - b.y1) > e)
    return false;
  return std::fabs(a.area - b.area) <= std::max(a.perimeter, b.perimeter) * e + 4 * e * e;
}

// The result of matching the field's loops with the slice's.
struct LoopMatch {
  std::vector<int> sliceOf;         // per field loop: the matched slice loop, or -1
  std::vector<int> unmatchedSlice;  // slice loops that no field loop took
};

// Each field loop, largest first, takes the unmatched slice loop of the same depth that is the
// same loop within e and nearest in area.
inline LoopMatch matchLoops(const std::vector<OracleLoop>& field,
                            const std::vector<OracleLoop>& slice, double e) {
  LoopMatch m;
  m.sliceOf.assign(field.size(), -1);
  std::vector<int> order(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) order[i] = static_cast<int>(i);
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return field[a].area > field[b].area; });
  std::vector<bool> taken(slice.size(), false);
  for (int i : order) {
    int best = -1;
    for (std::size_t k = 0; k < slice.size(); ++k) {
      if (taken[k] || slice[k].depth != field[i].depth || !sameLoop(field[i], slice[k], e))
        continue;
      if (best < 0 ||
          std::fabs(slice[k].area - field[i].area) < std::fabs(slice[best].area - field[i].area))
        best = static_cast<int>(k);
    }
    if (best >= 0) {
      taken[best] = true;
      m.sliceOf[i] = best;
    }
  }
  for (std::size_t k = 0; k < slice.size(); ++k)
    if (!taken[k]) m.unmatchedSlice.push_back(static_cast<int>(k));
  return m;
}

// The field's loops in a window around the box (grown by `margin`) at a finer step, keeping only
// the loops that stay clear of the window's border.
inline std::vector<OracleLoop> loopsNear(const PointDropper& drop, double x0, double y0, double x1,
                                         double y1, double margin, double step, double Z) {
  const HeightField f = heightField(drop, x0 - margin, y0 - margin, x1 + margin, y1 + margin, step);
  std::vector<OracleLoop> all = isoLoops(f, Z, drop);
  std::vector<OracleLoop> inner;
  const double wx0 = f.x0 + 1.5 * step, wy0 = f.y0 + 1.5 * step;
  const double wx1 = f.x0 + (f.nx - 2.5) * step, wy1 = f.y0 + (f.ny - 2.5) * step;
  for (OracleLoop& l : all)
    if (l.x0 > wx0 && l.y0 > wy0 && l.x1 < wx1 && l.y1 < wy1) inner.push_back(std::move(l));
  return inner;
}

}  // namespace qdtest
