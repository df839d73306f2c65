// rough_grid.cpp - drop-grid geometry, plane levels from grid heights, plunge points, the plunge
// cell order and the start-collision test of the roughing controller.
#include "cycles/rough_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <source_location>
#include <vector>

#include "framework/messages.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont_region.h"
#include "model/path_collision.h"

namespace {

RoughPlungeState plunge{};

int gridFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "rough_grid", static_cast<int>(at.line()));
  return code;
}

bool netHasTables(const FloatDropNet* net) {
  return net != nullptr && net->height != nullptr && net->valid != nullptr && net->rows > 0 &&
         net->cols > 0;
}

bool nodeIsFlat(const FloatDropNet* net, int r, int c) {
  if (net->valid[r][c] == 0) return false;
  return net->slope == nullptr || net->slope[r][c] == 0;
}

Point2D nodeAt(const FloatDropNet* net, int r, int c) {
  return Point2D{net->x0 + c * net->colStep, net->y0 + r * net->rowStep};
}

// Equal steps of at most d over a length w (the region's side less the edge margin).
double equalStep(double w, double d) {
  if (std::fabs(w) < 0.00001) return d;
  return w / std::ceil(w / d);
}

bool insideOuter(const Kont2D* region, const Point2D& p) {
  return g2dWinding(region->segments, region->count, p) != 0;
}

double distanceToContours(const Kont2D* region, const Point2D& p) {
  double best = 1e300;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    int index = 0;
    best = std::min(best, g2dNearestSeg(p, k->segments, k->count, &index));
  }
  return best;
}

}  // namespace

int roughNetParams(const GlobalParams& g, const Kont2D* region, double* x0, double* y0, int* rows,
                   int* cols, double* colStep, double* rowStep) {
  double d = g.frradius - g.aufmassHori;
  if (std::fabs(g.gridFactor) >= 0.00001) d *= g.gridFactor;
  if (region == nullptr || x0 == nullptr || y0 == nullptr || rows == nullptr || cols == nullptr ||
      colStep == nullptr || rowStep == nullptr || !std::isfinite(d) || d < kRoughGridMinCell) {
    msgSendInt(9, kRoughMsgNoDropNet, "* Fehler: DropNet kann nicht generiert werden", 0);
    return gridFail(kRoughStopGrid);
  }
  const double xmin = region->xmin, ymin = region->ymin;
  const double xmax = region->xmax, ymax = region->ymax;
  double ox, oy, cs, rs, nc, nr;
  if (g.adjustGrid != 0 && g.zustellOk != 0) {
    Point3D p{g.zustellPtTcs[0], g.zustellPtTcs[1], g.zustellPtTcs[2]};
    csysWorldToTool(&p);
    cs = rs = d;
    ox = p.x - std::floor((p.x - xmin) / d) * d + 0.025 - d;
    oy = p.y - std::floor((p.y - ymin) / d) * d + 0.025 - d;
    nc = std::trunc((xmax - xmin) / d) + 3;
    nr = std::trunc((ymax - ymin) / d) + 3;
  } else {
    // A side shorter than the margin spans no cell: without the clamp a negative w would give a
    // negative step and a grid running backwards.
    const double w = std::max(0.0, xmax - xmin - kRoughGridEdgeMargin);
    const double h = std::max(0.0, ymax - ymin - kRoughGridEdgeMargin);
    cs = equalStep(w, d);
    rs = equalStep(h, d);
    ox = xmin + 0.025 - cs;
    oy = ymin + 0.025 - rs;
    nc = std::trunc(w / cs + 0.1) + 3;
    nr = std::trunc(h / rs + 0.1) + 3;
  }
  // Counts are checked as doubles before they become ints: a region far larger than its cells
  // (a model of scattered or degenerate facets) must be refused, not wrapped round.
  if (!(nc >= 1 && nr >= 1 && nc * nr <= kRoughGridMaxNodes)) {
    msgSendInt(9, kRoughMsgNoDropNet, "* Fehler: DropNet kann nicht generiert werden", 0);
    return gridFail(kRoughStopGrid);
  }
  *x0 = ox;
  *y0 = oy;
  *colStep = cs;
  *rowStep = rs;
  *cols = static_cast<int>(nc);
  *rows = static_cast<int>(nr);
  return 1;
}

int roughLevelsFromNet2(ZLevelList* list, const FloatDropNet* net, double offset) {
  return roughLevelsFromNetInside(list, net, nullptr, 0.0, offset);
}

int roughLevelsFromNetInside(ZLevelList* list, const FloatDropNet* net, const Kont2D* region,
                             double minDistance, double offset) {
  if (list == nullptr || !netHasTables(net)) return gridFail(-1);
  const double gap = parGlobalBlock()->minStepdown;
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      if (!nodeIsFlat(net, r, c)) continue;
      if (region != nullptr) {
        const Point2D p = nodeAt(net, r, c);
        if (kontClassifyPoint(region, p) != 2) continue;
        if (distanceToContours(region, p) < minDistance + 0.00001) continue;
      }
      if (zlevInsert(list, offset + net->height[r][c], gap, kZlevPlane) < 0) return gridFail(-1);
    }
  }
  return 1;
}

int roughGridBoundaryPoints(const FloatDropNet* net, const Point2D& p, const Seg2D* segs, int n,
                            Point2D* out) {
  if (!netHasTables(net) || segs == nullptr || out == nullptr) return gridFail(-20);
  std::vector<RasterCell> inside;
  try {
    for (int r = 0; r < net->rows; ++r) {
      for (int c = 0; c < net->cols; ++c) {
        if (net->valid[r][c] == 0) continue;
        const Point2D q = nodeAt(net, r, c);
        if (g2dWinding(segs, n, q) == 0) continue;
        inside.push_back(RasterCell{q.x, q.y, net->height[r][c], r, c, 1});
      }
    }
  } catch (...) {
    return gridFail(-1);
  }
  if (inside.empty()) return gridFail(kRoughNoNodeInside);
  // A stable sort keeps the row-major order among equal heights, so "first" is well defined.
  std::stable_sort(inside.begin(), inside.end(), [](const RasterCell& a, const RasterCell& b) {
    return roughCompareCellZ(&a, &b) < 0;
  });
  const double lowest = inside.front().value;
  double best = 1e300;
  for (const RasterCell& cell : inside) {
    if (cell.value > lowest + 0.1) break;
    const double dist = std::hypot(cell.x - p.x, cell.y - p.y);
    if (dist < best) {
      best = dist;
      *out = Point2D{cell.x, cell.y};
    }
  }
  return 1;
}

int roughPlungePoints(const FloatDropNet* net, RasterCell* cell, Point2D* point,
                      const Point3D& start, const Kont2D* region) {
  if (!netHasTables(net) || cell == nullptr || point == nullptr || region == nullptr ||
      region->segments == nullptr) {
    return gridFail(-20);
  }
  Point3D s = start;
  csysWorldToTool(&s);
  Point2D p{s.x, s.y};
  int result = 1;
  if (!insideOuter(region, p)) {
    Point2D moved{};
    const int found = roughGridBoundaryPoints(net, p, region->segments, region->count, &moved);
    if (found < 0) return found;
    p = moved;
    result = 0;
  }
  const int c0 = static_cast<int>(std::trunc((p.x - net->x0) / net->colStep));
  const int r0 = static_cast<int>(std::trunc((p.y - net->y0) / net->rowStep));
  const int around[4][2] = {{r0, c0}, {r0, c0 + 1}, {r0 + 1, c0 + 1}, {r0 + 1, c0}};
  int chosenR = -1, chosenC = -1;
  double best = 0;
  for (const auto& rc : around) {
    const int r = std::clamp(rc[0], 0, net->rows - 1);
    const int c = std::clamp(rc[1], 0, net->cols - 1);
    const Point2D q = nodeAt(net, r, c);
    if (!insideOuter(region, q)) continue;
    const double dist = std::hypot(q.x - p.x, q.y - p.y);
    if (chosenR < 0 || dist < best) {
      chosenR = r;
      chosenC = c;
      best = dist;
    }
  }
  if (chosenR < 0) return gridFail(-1);
  const Point2D q = nodeAt(net, chosenR, chosenC);
  *cell = RasterCell{q.x, q.y, net->height[chosenR][chosenC], chosenR, chosenC, 1};
  *point = p;
  plunge.cell = *cell;
  plunge.point = p;
  plunge.found = 1;
  plunge.inside = result;
  return result;
}

int roughCompareCellZ(const void* a, const void* b) {
  const double za = static_cast<const RasterCell*>(a)->value;
  const double zb = static_cast<const RasterCell*>(b)->value;
  return za < zb ? -1 : (za > zb ? 1 : 0);
}

int roughSortCellsByDistance(CellList* cells) {
  if (cells == nullptr || cells->count < 2) return 0;
  RasterCell* c = cells->items;
  const int n = cells->count;
  for (int i = 0; i < n; ++i) {
    int best = i;
    for (int j = i + 1; j < n; ++j) {
      if (c[j].x * c[j].x + c[j].y * c[j].y < c[best].x * c[best].x + c[best].y * c[best].y) {
        best = j;
      }
    }
    std::swap(c[i], c[best]);
  }
  for (int i = 1; i < n; ++i) {
    int best = i;
    double bestD = 1e300;
    for (int j = i; j < n; ++j) {
      const double dx = c[j].x - c[i - 1].x, dy = c[j].y - c[i - 1].y;
      const double d = dx * dx + dy * dy;
      if (d < bestD) {
        bestD = d;
        best = j;
      }
    }
    std::swap(c[i], c[best]);
  }
  return 0;
}

int roughCheckStartCollision(const SurfaceModel* model, double allowance, const PathList* path) {
  const GlobalParams& g = *parGlobalBlock();
  if (g.zustellOk == 0 || path == nullptr || path->count < 2) return 1;
  const Point3D& a = path->positions[0];
  if (std::hypot(a.x - plunge.point.x, a.y - plunge.point.y) > 0.001) return 1;
  if (collCheckMove(a, path->positions[1], model, allowance > 0 ? allowance : 0.0) == 1) return 1;
  if (g.xcollStop != 0) {
    msgSendInt(9, kRoughMsgCollisionStop, "* Stop otherwise collision !!!\n", 0);
    return kRoughStartCollides;
  }
  msgSendInt(9, kRoughMsgCollisionSeen, "* Collision error detected !!!\n", 0);
  return 0;
}

const RoughPlungeState& roughPlungeState() { return plunge; }
void roughSetPlungePoint(const Point2D& p) {
  plunge.point = p;
  plunge.found = 1;
}
void roughGridResetState() { plunge = RoughPlungeState{}; }
