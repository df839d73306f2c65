// level_oracle.h - the independent oracle of a sliced level: brute-force tip heights of the
// toolpath checker's drop (which shares no code with the library) at the net's nodes or on a
// finer grid, the component counts they give, and the side of every node against the paths.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "level_fixture.h"
#include "toolpath_check.h"

namespace qdtest {

class LevelOracle {
 public:
  explicit LevelOracle(const LevelPart& part)
      : part_(part),
        mesh_(meshOf(part.triangles())),
        index_(mesh_),
        tool_{part.tool().radius, part.tool().cornerRadius, 0.0} {}
  LevelOracle(const LevelOracle&) = delete;
  LevelOracle& operator=(const LevelOracle&) = delete;

  // Brute-force tip height of the independent checker at (x, y).
  double tipHeight(double x, double y) const { return index_.drop(tool_, 0.0, x, y); }

  // The counts at level Z: on the net nodes (step 0), or on a grid of the given step over the
  // region.
  LevelCounts counts(double Z, double step = 0.0) const {
    const FloatDropNet& net = part_.net();
    const Kont2D* region = part_.region();
    const double x0 = step > 0 ? region->xmin + 0.5 * step : net.x0;
    const double y0 = step > 0 ? region->ymin + 0.5 * step : net.y0;
    const int cols = step > 0 ? static_cast<int>((region->xmax - region->xmin) / step) : net.cols;
    const int rows = step > 0 ? static_cast<int>((region->ymax - region->ymin) / step) : net.rows;
    const double dx = step > 0 ? step : net.colStep, dy = step > 0 ? step : net.rowStep;
    const double c = part_.tool().cornerRadius;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(rows) * cols);
    for (int r = 0; r < rows; ++r)
      for (int k = 0; k < cols; ++k)
        mask[static_cast<std::size_t>(r) * cols + k] =
            tipHeight(x0 + k * dx, y0 + r * dy) > Z - c + 1e-5 ? 1 : 0;
    LevelCounts n;
    n.blocked8 = countComponents(mask, rows, cols, 1, true);
    n.free4 = countComponents(mask, rows, cols, 0, false);
    return n;
  }

  // Nodes of the net whose side by the paths (material when the innermost path that contains
  // the node has material inside) differs from the side by their brute-force tip height; nodes
  // within `band` of a path are not judged.
  int nodesOnTheWrongSide(const ZPathList* paths, double Z, double band) const {
    const FloatDropNet& net = part_.net();
    int wrong = 0;
    for (int r = 0; r < net.rows; ++r)
      for (int k = 0; k < net.cols; ++k) {
        const Point3D p = part_.node(r, k);
        const Point2D q{p.x, p.y};
        const ZPath* inner = nullptr;
        bool nearPath = false;
        for (int i = 0; i < paths->count && !nearPath; ++i) {
          const ZPath* z = &paths->items[i];
          const bool nearBox = q.x > z->xmin - band && q.x < z->xmax + band &&
                               q.y > z->ymin - band && q.y < z->ymax + band;
          nearPath = nearBox && zpathPointDistance(q, z) < band;
          if (zpathContainsPoint(q, z) == 1 &&
              (inner == nullptr || std::fabs(z->area) < std::fabs(inner->area))) {
            inner = z;
          }
        }
        if (nearPath) continue;
        const bool material = inner != nullptr && inner->materialInside == 1;
        const bool blocked = tipHeight(p.x, p.y) > Z - part_.tool().cornerRadius + 1e-5;
        wrong += material != blocked;
      }
    return wrong;
  }

 private:
  static tpc::Mesh meshOf(const std::vector<Tri3D>& tris) {
    std::vector<tpc::Triangle> tt;
    tt.reserve(tris.size());
    for (const Tri3D& t : tris) {
      tpc::Triangle q;
      for (int k = 0; k < 3; ++k) q.v[k] = tpc::Vec3{t.v[k].x, t.v[k].y, t.v[k].z};
      tt.push_back(q);
    }
    return tpc::makeMesh(std::move(tt));
  }

  const LevelPart& part_;
  tpc::Mesh mesh_;
  tpc::MeshIndex index_;
  tpc::Tool tool_;
};

}  // namespace qdtest
