// spline_capture.h - a current output cycle that keeps the literal NC lines and messages the
// spline code writes, for the spline and spline-block tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/messages.h"
#include "framework/output.h"
#include "framework/test_record.h"
#include "geometry/spline.h"

namespace qdtest {
inline std::vector<std::string>& nc() {
  static std::vector<std::string> lines;
  return lines;
}
inline int keepNc(CycleRecord*, OutputRecord* r) {
  nc().push_back(r->type == 4101 ? std::string(r->single) : std::string(r->text.text));
  return 1;
}

// A current output cycle whose layer-32 literal lines (and layer-0 messages) land in nc().
class SplineOut : public ::testing::Test {
 protected:
  void SetUp() override {
    rec_ = testRecord();
    rec_.messageFn = nullptr;
    cycRegisterLayer(&rec_, 0, keepNc, keepNc, 1);
    cycRegisterLayer(&rec_, 32, keepNc, keepNc, 1);
    rec_.firstOutputPending = 0;
    out3dSetCycle(&rec_);
    nc().clear();
  }
  void TearDown() override {
    out3dSetCycle(nullptr);
    cycFreeLayers(&rec_);
  }
  CycleRecord rec_;
};

struct SplineDeleter {
  void operator()(CubicSpline* s) const { splFree(s); }
};
using SplinePtr = std::unique_ptr<CubicSpline, SplineDeleter>;

const std::vector<Point3D> kWavy = {{0, 0, 0},  {3, 1, 0.5}, {5, 4, 1},   {9, 4, 1.5},
                                    {10, 8, 1}, {14, 9, 0},  {15, 15, -1}};
}  // namespace qdtest
