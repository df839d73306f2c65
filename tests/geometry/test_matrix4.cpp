// Matrix4: row-vector conventions, products, and the inverse checked by M * M^-1 = I.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/matrix4.h"

namespace {
Matrix4 fromRows(std::initializer_list<std::initializer_list<double>> rows) {
  Matrix4 m{};
  int r = 0;
  for (const auto& row : rows) {
    int c = 0;
    for (double v : row) m.m[r][c++] = v;
    ++r;
  }
  return m;
}
}  // namespace

TEST(Matrix4, RowVectorConventions) {
  Matrix4 rot;
  matRotation(0, M_PI / 2, &rot);
  Point3D p{};
  matTransformPoint({1, 0, 0}, rot, &p);
  EXPECT_NEAR(p.x, 0, 1e-15);
  EXPECT_NEAR(p.y, 1, 1e-15);
  Matrix4 move;
  matTranslation({10, 20, 30}, &move);
  Matrix4 both;
  matMultiply(rot, move, &both);  // rotate first, then move
  matTransformPoint({1, 0, 0}, both, &p);
  EXPECT_NEAR(p.x, 10, 1e-12);
  EXPECT_NEAR(p.y, 21, 1e-12);
  Matrix4 copy;
  matCopy(&copy, both);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(copy.m[k / 4][k % 4], both.m[k / 4][k % 4]) << k;
  matTransformPoint(p, both, &p);  // out may be the input
  EXPECT_NEAR(p.x, -11, 1e-12);
  Matrix4 unknown;
  matRotation(7, 1.0, &unknown);
  Matrix4 id;
  matIdentity(&id);
  EXPECT_EQ(matEqual(unknown, id), 1);
  Matrix4 axes;
  matFromAxes({0, 1, 0}, {-1, 0, 0}, {0, 0, 2}, &axes);
  matTransformPoint({1, 1, 1}, axes, &p);
  EXPECT_DOUBLE_EQ(p.x, -1);
  EXPECT_DOUBLE_EQ(p.y, 1);
  EXPECT_DOUBLE_EQ(p.z, 2);
  Matrix4 nearly = id;
  nearly.m[3][3] += 0.9e-5;
  EXPECT_EQ(matEqual(nearly, id), 1);
  nearly.m[3][3] += 0.2e-5;
  EXPECT_EQ(matEqual(nearly, id), 0);
}

TEST(Matrix4, InverseTimesMatrixIsIdentity) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-3, 3);
  Matrix4 id;
  matIdentity(&id);
  int done = 0;
  for (int k = 0; k < 500; ++k) {
    Matrix4 a;
    for (auto& row : a.m)
      for (double& v : row) v = u(rng);
    if (k % 3 == 0) a.m[0][0] = 0.0;  // exercise the row-adding pivot
    Matrix4 inv, prod;
    if (matInvert(a, &inv) != 0) continue;
    ++done;
    matMultiply(a, inv, &prod);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) ASSERT_NEAR(prod.m[r][c], id.m[r][c], 1e-7) << k;
  }
  EXPECT_GT(done, 450);
}

TEST(Matrix4, ZeroPivotAndSingularCases) {
  // [0][0] is 0 but the rows are independent: the row addition mends the pivot.
  const Matrix4 a = fromRows({{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}});
  Matrix4 inv, prod, id;
  matIdentity(&id);
  ASSERT_EQ(matInvert(a, &inv), 0);
  matMultiply(a, inv, &prod);
  EXPECT_EQ(matEqual(prod, id), 1);
  const Matrix4 twoEqualRows = fromRows({{1, 2, 3, 0}, {1, 2, 3, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
  Matrix4 junk;
  EXPECT_EQ(matInvert(twoEqualRows, &junk), -1);
  const Matrix4 zeroColumn = fromRows({{0, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
  EXPECT_EQ(matInvert(zeroColumn, &junk), -1);
  Matrix4 self = a;
  ASSERT_EQ(matInvert(self, &self), 0) << "in place";
  EXPECT_EQ(matEqual(self, inv), 1);
}
