// stel_zpath.cpp - walker start segments from Z paths and from their contact points.
#include "geometry/stel_zpath.h"

#include <cmath>
#include <cstdlib>

#include "geometry/kont_region.h"

namespace {

constexpr int kStelZpathRoom = 100;
constexpr double kShortEdge = 1e-6;

bool stelKeep(const Kont2D* region, double x, double y) {
  return region == nullptr || kontClassifyPoint(region, Point2D{x, y}) == 2;
}

// Appends start -> end when the start is kept. False when the list cannot grow.
bool stelAddStart(StelList* list, const Kont2D* region, double sx, double sy, double ex,
                  double ey) {
  if (!stelKeep(region, sx, sy)) return true;
  return stelListAppend(list, Seg2D{sx, sy, ex, ey}) == 1;
}

bool offsetUsable(double offset) { return std::isfinite(offset) && offset > 0.0; }

}  // namespace

StelList* stelFromZpaths(const ZPath* paths, int n, double offset, const Kont2D* region) {
  if (paths == nullptr || n < 1 || !offsetUsable(offset)) return nullptr;
  StelList* list = stelListNew(kStelZpathRoom);
  if (list == nullptr) return nullptr;
  for (int k = 0; k < n; ++k) {
    const ZPath& p = paths[k];
    if (p.count < 2 || p.points == nullptr) continue;
    // Inside lies to the left of a counter-clockwise path; the free side is inside a path
    // without material inside.
    const bool freeInside = p.materialInside != 1;
    const double side = (p.orientation == -1) == freeInside ? -1.0 : 1.0;  // +1: left
    for (int i = 0; i < p.count; ++i) {
      const int j = (i + 1) % p.count;
      const double x1 = p.points[2 * i], y1 = p.points[2 * i + 1];
      const double x2 = p.points[2 * j], y2 = p.points[2 * j + 1];
      const double len = std::hypot(x2 - x1, y2 - y1);
      if (len < kShortEdge) continue;
      const double mx = 0.5 * (x1 + x2), my = 0.5 * (y1 + y2);
      const double nx = -(y2 - y1) / len * side, ny = (x2 - x1) / len * side;
      if (!stelAddStart(list, region, mx + 2.0 * offset * nx, my + 2.0 * offset * ny, mx, my)) {
        stelListFree(list);
        return nullptr;
      }
    }
  }
  return list;
}

StelList* stelFromZpathContacts(const ZPath* path, double offset, const Kont2D* region) {
  if (path == nullptr || !offsetUsable(offset)) return nullptr;
  StelList* list = stelListNew(kStelZpathRoom);
  if (list == nullptr) return nullptr;
  for (int i = 0; i < path->count && path->points != nullptr && path->contacts != nullptr; ++i) {
    const int kind = std::abs(path->contactKinds[i]);
    if (path->elementIds[i] < 0 || kind < 1 || kind > 4) continue;
    const double px = path->points[2 * i], py = path->points[2 * i + 1];
    const double dx = px - path->contacts[3 * i], dy = py - path->contacts[3 * i + 1];
    const double len = std::hypot(dx, dy);
    if (len < kShortEdge) continue;
    if (!stelAddStart(list, region, px + 2.0 * offset * dx / len, py + 2.0 * offset * dy / len, px,
                      py)) {
      stelListFree(list);
      return nullptr;
    }
  }
  return list;
}
