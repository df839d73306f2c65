// kont_shapes.h - contour regions for the contour module tests: squares, random star-shaped
// polygons with islands, and an independent winding number oracle.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "geometry/kont2d.h"

namespace qdtest {

// A new owned contour through the points (closing segment added), box set, closed 1, z given.
inline Kont2D* kontFromPoints(const std::vector<Point2D>& p, double z = 0.0, int closed = 1) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(p.size()));
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    const Seg2D s{a.x, a.y, b.x, b.y};
    kontAppendSeg(k, &s);
  }
  k->closed = static_cast<std::int16_t>(closed);
  k->z = z;
  return k;
}

// Axis-parallel square of side 2h around (cx, cy); counter-clockwise unless cw.
inline std::vector<Point2D> square(double cx, double cy, double h, bool cw = false) {
  std::vector<Point2D> p{{cx - h, cy - h}, {cx + h, cy - h}, {cx + h, cy + h}, {cx - h, cy + h}};
  if (cw) p = {p[0], p[3], p[2], p[1]};
  return p;
}

// Star-shaped polygon of n vertices around c with radii in [rmin, rmax]; clockwise when cw.
inline std::vector<Point2D> star(std::mt19937& rng, Point2D c, int n, double rmin, double rmax,
                                 bool cw) {
  std::uniform_real_distribution<double> radius(rmin, rmax);
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * i / n * (cw ? -1.0 : 1.0);
    const double r = radius(rng);
    p.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return p;
}

// Winding number of the closed polygon around q (crossing counts with signs, upward edges +1).
inline int windingNumber(const std::vector<Point2D>& poly, const Point2D& q) {
  int wn = 0;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const Point2D& a = poly[i];
    const Point2D& b = poly[(i + 1) % poly.size()];
    const double side = (b.x - a.x) * (q.y - a.y) - (q.x - a.x) * (b.y - a.y);
    if (a.y <= q.y && b.y > q.y && side > 0) ++wn;
    if (a.y > q.y && b.y <= q.y && side < 0) --wn;
  }
  return wn;
}

// Distance from q to the polygon's edges.
inline double polyDistance(const std::vector<Point2D>& poly, const Point2D& q) {
  double best = INFINITY;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const Point2D& a = poly[i];
    const Point2D& b = poly[(i + 1) % poly.size()];
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t = ((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy);
    t = std::fmax(0.0, std::fmin(1.0, t));
    best = std::fmin(best, std::hypot(a.x + t * dx - q.x, a.y + t * dy - q.y));
  }
  return best;
}

// Hangs the island chain under outer in the given order (first as child, then by next).
inline void kontHangIslands(Kont2D* outer, const std::vector<Kont2D*>& islands) {
  Kont2D* last = outer;
  for (Kont2D* isl : islands) {
    isl->prev = last;
    if (last == outer)
      outer->child = isl;
    else
      last->next = isl;
    last = isl;
  }
}

}  // namespace qdtest
