// The allocation-failure seam of the framework heap: the n-th allocation fails once, and a reset
// withdraws a failure still pending.
#include <gtest/gtest.h>

#include "framework/memory.h"

TEST(Memory, FailureSeamAndReset) {
  memTestFailAt(2);
  void* first = memAllocZero(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(memStrDup("x"), nullptr) << "the second allocation fails";
  void* third = memAllocZero(8);
  EXPECT_NE(third, nullptr) << "then allocation works again";
  memTestFailAt(1);
  memResetState();
  void* fourth = memAllocZero(8);
  EXPECT_NE(fourth, nullptr) << "the reset withdrew the pending failure";
  memFree(first);
  memFree(third);
  memFree(fourth);
}
