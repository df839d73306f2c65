// mesh_distance.h - brute-force distances for the Z-level tests: from a point to a closed
// triangle (closest point by regions) and to every triangle of a list.
#pragma once

#include <algorithm>
#include <cmath>

#include "geometry/lists.h"
#include "geometry/vec.h"

namespace qdtest {

inline Point3D sub(const Point3D& a, const Point3D& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double dot(const Point3D& a, const Point3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Distance from p to the closed triangle (closest point by regions).
inline double pointTriangle(const Point3D& p, const Tri3D& t) {
  const Point3D a = t.v[0], b = t.v[1], c = t.v[2];
  const Point3D ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
  auto at = [&](double v, double w) {
    const Point3D q{a.x + ab.x * v + ac.x * w, a.y + ab.y * v + ac.y * w,
                    a.z + ab.z * v + ac.z * w};
    return std::sqrt(dot(sub(p, q), sub(p, q)));
  };
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return at(0, 0);
  const Point3D bp = sub(p, b);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return at(1, 0);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return at(d1 / (d1 - d3), 0);
  const Point3D cp = sub(p, c);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return at(0, 1);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return at(0, d2 / (d2 - d6));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return at(1 - w, w);
  }
  const double den = 1 / (va + vb + vc);
  return at(vb * den, vc * den);
}

inline double meshDistance(const Tri3List* tris, const Point3D& p) {
  double best = 1e300;
  for (int i = 0; i < tris->count; ++i) best = std::min(best, pointTriangle(p, tris->items[i]));
  return best;
}

}  // namespace qdtest
