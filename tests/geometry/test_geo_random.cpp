// The library's reproducible random generator against an independent recurrence.
#include <gtest/gtest.h>

#include "geometry/geo_random.h"

TEST(GeoRandom, SeededSequence) {
  geoRandSeed(259201);
  EXPECT_DOUBLE_EQ(geoRandNext(), 61914.0 / 259200.0);
  // An independent 64-bit recurrence gives the same sequence.
  unsigned long long state = 12345 % 259200;
  geoRandSeed(12345);
  for (int k = 0; k < 1000; ++k) {
    state = (7141ULL * state + 54773ULL) % 259200ULL;
    ASSERT_EQ(geoRandNext(), static_cast<double>(state) / 259200.0) << k;
  }
  geoRandResetState();
  EXPECT_DOUBLE_EQ(geoRandNext(), (7141.0 + 54773.0) / 259200.0) << "state 1 at load";
}
