// param_options.cpp - unit vectors from parameter values and the tool frame keys completed from
// the NC frame keys. The NC frame and the tool frame of a run both come through here.
#include "framework/param_options.h"

#include <cmath>
#include <cstring>

#include "framework/numtext.h"
#include "framework/param_file.h"
#include "framework/param_list.h"

namespace {
// A direction this short (or shorter) has no usable direction.
constexpr double kParMinVectorLength = 1e-8;

bool parNameIs(const ParamNode* n, const char* name) {
  return n->name != nullptr && std::strcmp(n->name, name) == 0;
}
}  // namespace

void parOptionUnitVector(const ParamNode* list, const char* name, int firstOnly, double* x,
                         double* y, double* z) {
  if (name == nullptr) return;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (!parNameIs(n, name)) continue;
    double v[3] = {0, 0, 0};
    if (numParse3(n->value, &v[0], &v[1], &v[2]) == 3) {
      // hypot does not overflow for large components; an infinite one has no direction
      const double length = std::hypot(v[0], v[1], v[2]);
      if (length > kParMinVectorLength && std::isfinite(length)) {
        if (x != nullptr) *x = v[0] / length;
        if (y != nullptr) *y = v[1] / length;
        if (z != nullptr) *z = v[2] / length;
      }
    }
    if (firstOnly == 1) return;
  }
}

void parToolCsFromFrameCs(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  static constexpr const char* kPairs[][2] = {{"frameCs_x", "toolCs_x"},
                                              {"frameCs_y", "toolCs_y"},
                                              {"frameCs_z", "toolCs_z"},
                                              {"frameCs_o", "toolCs_o"}};
  for (const auto& pair : kPairs) {
    if (parListLast(cycle->params, pair[1]) != nullptr) continue;
    const ParamNode* frame = parListLast(cycle->params, pair[0]);
    if (frame == nullptr) continue;
    cycle->params = parListSet(cycle->params, pair[1], frame->value, kParKindProgram);
  }
}
