// toolpath_check_gtest.h - GoogleTest glue for the toolpath checker: a check or a reader as an
// assertion result that carries the checker's message, so one line states and explains it:
//   EXPECT_TRUE(tpc::passes(tpc::checkNoGouge3D(path, part)));
#pragma once

#include <gtest/gtest.h>

#include "toolpath_check.h"

namespace tpc {

inline ::testing::AssertionResult passes(const Result& r) {
  return r.ok ? ::testing::AssertionSuccess() << r.message
              : ::testing::AssertionFailure() << r.message;
}

inline ::testing::AssertionResult passes(const Status& s) {
  return s.ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << s.message;
}

}  // namespace tpc
