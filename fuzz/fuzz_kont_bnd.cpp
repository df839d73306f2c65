// fuzz_kont_bnd.cpp - libFuzzer target of the region reader of boundary text files: every region
// list it gives must consist of closed contours whose boxes hold their segment ends, oriented by
// nesting depth; the regions are also meshed and classified.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_input_file.h"
#include "geometry/kont2d.h"
#include "geometry/kont_files.h"
#include "geometry/kont_region.h"
#include "geometry/tri_mesh.h"

namespace {
void checkContour(const Kont2D* k) {
  if (k->count < 3 || k->segments == nullptr || k->closed != 1) std::abort();
  for (int i = 0; i < k->count; ++i) {
    const Seg2D& s = k->segments[i];
    const Seg2D& t = k->segments[(i + 1) % k->count];
    if (s.x2 != t.x1 || s.y2 != t.y1) std::abort();
    if (s.x1 < k->xmin || s.x1 > k->xmax || s.y1 < k->ymin || s.y1 > k->ymax) std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* name = fuzzInputFile("bnd", data, size);
  const int constZ = size > 0 ? data[0] & 1 : 0;
  Kont2D* list = kontReadBnd(name, 1, constZ);
  for (Kont2D* r = list; r != nullptr; r = r->next) {
    // Even nesting depths run counter-clockwise, odd ones clockwise (an odd-depth contour that
    // touches its container may head a region of its own).
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      checkContour(k);
      if (kontOrientation(k) != (k->depth % 2 == 0 ? 1 : -1)) std::abort();
    }
    r->mesh = triPolyTriangulate(r);
    const Point2D mid{0.5 * (r->xmin + r->xmax), 0.5 * (r->ymin + r->ymax)};
    if (kontClassifyPoint(r, mid) < 1) std::abort();
    triMeshFree(r->mesh);
    r->mesh = nullptr;
  }
  kontFree(list);
  return 0;
}
