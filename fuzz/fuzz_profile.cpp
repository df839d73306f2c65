// fuzz_profile.cpp - libFuzzer target of the profile text reader: the input is read as a profile
// file, alone and fitted into a square boundary; every curve must have rising parameters from 0
// to its end and evaluate inside its range, and no temporary file may stay behind.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_input_file.h"
#include "geometry/boundary.h"
#include "geometry/geo_error.h"
#include "geometry/guide_curve.h"

namespace {
void checkCurves(const GuideCurve* list) {
  for (const GuideCurve* c = list; c != nullptr; c = c->next) {
    if (c->count < 1 || c->params[0] != 0.0) std::abort();
    for (int i = 1; i < c->count; ++i) {
      if (!(c->params[i] >= c->params[i - 1])) std::abort();
    }
    Point2D p;
    if (guideEvalAt(c, 0.5 * (c->start + c->end), &p, nullptr) < 0 && std::isfinite(c->end)) {
      std::abort();
    }
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* name = fuzzInputFile("prf", data, size);
  GuideCurve* plain = guideReadProfiles(name, nullptr, 0.01, size > 0 ? data[0] & 1 : 0, 0);
  checkCurves(plain);
  guideFree(plain);
  Boundary* square = bndNewRect(0, 10, 0, 10);
  GuideCurve* fitted = guideReadProfiles(name, square, 0.01, 0, size > 1 ? data[1] & 1 : 0);
  checkCurves(fitted);
  for (const GuideCurve* c = fitted; c != nullptr; c = c->next) {
    if (std::isnan(c->offLow) || std::isnan(c->offHigh)) std::abort();
  }
  guideFree(fitted);
  bndFree(square);
  return 0;
}
