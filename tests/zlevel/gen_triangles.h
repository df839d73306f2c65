// gen_triangles.h - the triangles of a generated test mesh (support/mesh_gen.h) as the library's
// Tri3D, for the slicing tests.
#pragma once

#include <vector>

#include "geometry/lists.h"
#include "support/mesh_gen.h"

namespace qdtest {

inline std::vector<Tri3D> trianglesOf(const gen::Mesh& m) {
  std::vector<Tri3D> out;
  out.reserve(m.tris.size());
  for (const gen::Tri& t : m.tris) {
    Tri3D q;
    for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
    out.push_back(q);
  }
  return out;
}

}  // namespace qdtest
