// zpath_fixture.h - builds Z paths for the Z-level tests: from point lists (appended without
// merging, or under the merge rule), with contacts and ids, and random simple polygons.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "zlevel/zpath.h"

namespace qdtest {

struct ZPoint {
  double x, y;
  int id = 5;
  int kind = 1;
  double cx = 0.0, cy = 0.0, cz = 0.0;  // contact
};

// A closed path of the points, every point kept (the merge rule off while appending), z set,
// orientation and area computed.
inline ZPath* zpathOf(const std::vector<ZPoint>& pts, double z = 0.0) {
  ZPath* path = zpathNew(static_cast<int>(pts.size()));
  const double saved = zpathGetMergeLength();
  zpathSetMergeLength(0.0);
  for (const ZPoint& p : pts) {
    const float pt[2] = {static_cast<float>(p.x), static_cast<float>(p.y)};
    const float c[3] = {static_cast<float>(p.cx), static_cast<float>(p.cy),
                        static_cast<float>(p.cz)};
    zpathAppendPoint(path, pt, c, p.id, p.kind);
  }
  zpathSetMergeLength(saved);
  path->z = z;
  path->closed = 1;
  path->orientation = zpathOrientation(path);
  path->area = zpathArea(path);
  return path;
}

// Points of a random star-shaped (so simple) polygon about (cx, cy): n sorted angles, radii in
// [r / 2, r]; counter-clockwise unless cw.
inline std::vector<ZPoint> randomStar(std::mt19937& rng, int n, double cx, double cy, double r,
                                      bool cw = false) {
  std::uniform_real_distribution<double> angle(0.0, 2.0 * std::numbers::pi);
  std::uniform_real_distribution<double> radius(0.5 * r, r);
  std::vector<double> a(static_cast<std::size_t>(n));
  for (double& v : a) v = angle(rng);
  std::sort(a.begin(), a.end());
  if (cw) std::reverse(a.begin(), a.end());
  std::vector<ZPoint> pts;
  for (double v : a) {
    const double q = radius(rng);
    pts.push_back({cx + q * std::cos(v), cy + q * std::sin(v)});
  }
  return pts;
}

}  // namespace qdtest
