// box_part.h - a box as twelve triangles for the tests of the region step and the emitter, and a
// flat end mill model over it ready for drops and collision checks.
#pragma once

#include <memory>
#include <vector>

#include "model/model_fixture.h"

namespace qdtest {

// The box [x0, x1] x [y0, y1] x [0, top] as twelve triangles.
inline std::vector<Tri3D> boxMesh(double x0, double y0, double x1, double y1, double top) {
  const Point3D c[8] = {{x0, y0, 0},   {x1, y0, 0},   {x1, y1, 0},   {x0, y1, 0},
                        {x0, y0, top}, {x1, y0, top}, {x1, y1, top}, {x0, y1, top}};
  const int f[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                        {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
  std::vector<Tri3D> tris;
  for (const auto& t : f) tris.push_back(Tri3D{{c[t[0]], c[t[1]], c[t[2]]}});
  return tris;
}

// A box part with a flat end mill of radius 10, drop step 0.5, tolerance 0.01 and the drop range
// -100 .. 100, indexed.
inline std::unique_ptr<TriModel> boxPart(double x0, double y0, double x1, double y1, double top) {
  auto part = std::make_unique<TriModel>(boxMesh(x0, y0, x1, y1, top), makeCutter(2, 10, 0));
  part->m.step = 0.5;
  part->m.tolerance = 0.01;
  part->m.floorZ = -100;
  part->m.ceilingZ = 100;
  modelBuildIndex(&part->m);
  return part;
}

}  // namespace qdtest
