// fuzz_boundary.cpp - libFuzzer target of the boundary text reader: the input is read as a
// boundary file with a contact offset and an offset, and every boundary it gives must be a closed
// contour whose box holds its segment ends, with intervals computed along a guide across it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "framework/memory.h"
#include "fuzz_input_file.h"
#include "geometry/boundary.h"
#include "geometry/guide_curve.h"

namespace {
void checkBoundary(const Boundary* b) {
  if (b->segCount < 2 || b->segs == nullptr) std::abort();
  for (int i = 0; i < b->segCount; ++i) {
    const Seg2D& s = b->segs[i];
    const Seg2D& t = b->segs[(i + 1) % b->segCount];
    if (std::fabs(s.x2 - t.x1) > 1e-3 * (1 + std::fabs(s.x2)) ||
        std::fabs(s.y2 - t.y1) > 1e-3 * (1 + std::fabs(s.y2))) {
      std::abort();
    }
    if (s.x1 < b->xmin || s.x1 > b->xmax || s.y1 < b->ymin || s.y1 > b->ymax) std::abort();
  }
  if (b->curveCount < 0 || b->curveCount >= kBndCurveLimit) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* name = fuzzInputFile("bnd", data, size);
  // The first byte picks the offsets, so offsets and island nesting are explored together.
  const double offset = size > 0 ? (data[0] % 5) * 0.5 - 1.0 : 0.0;
  const double contact = size > 1 ? (data[1] % 3) * 0.5 : 0.0;
  Boundary* list = bndRead(name, contact, offset);
  for (Boundary* b = list; b != nullptr; b = b->next) {
    checkBoundary(b);
    const Point2D pts[2] = {{b->xmin - 1, b->ymin - 1}, {b->xmax + 1, b->ymax + 1}};
    GuideCurve* g = guideNew(pts, 2, 'p');
    if (g == nullptr) continue;
    if (bndUpdateIntervals(b, g) > 0) {
      for (int i = 0; i < b->intervalCount; ++i) {
        if (b->intervals[i].low > b->intervals[i].high + 1e-9) std::abort();
        if (i > 0 && b->intervals[i].low < b->intervals[i - 1].high - 1e-9) std::abort();
      }
    }
    guideFree(g);
  }
  bndFree(list);
  return 0;
}
