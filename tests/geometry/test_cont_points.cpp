// Tests of the point comparison of the pocketing contours.
#include <gtest/gtest.h>

#include "geometry/cont_points.h"

TEST(ContPointsEqual, ToleranceOfATenThousandthPerCoordinate) {
  struct Case {
    Point2D a, b;
    int expected;
  };
  const Case cases[] = {
      {{1.0, 2.0}, {1.0, 2.0}, 1},           {{1.0, 2.0}, {1.00009, 1.99991}, 1},
      {{1.0, 2.0}, {1.00011, 2.0}, 0},       {{1.0, 2.0}, {1.0, 2.00011}, 0},
      {{-5.0, 0.0}, {-5.00005, 0.00005}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(contPointsEqual(c.a, c.b), c.expected) << c.b.x << " " << c.b.y;
    EXPECT_EQ(contPointsEqual(c.b, c.a), c.expected);
  }
}
