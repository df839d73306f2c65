// The cutter offset by an allowance and the radial allowance on the tool keys, against closed
// forms: the offset surface of a ball, flat or torus cutter is again such a cutter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cycles/zfin_main.h"
#include "framework/global_params.h"
#include "geometry/msg_capture.h"

namespace {

CutterShape cutter(std::int16_t type, double radius, double corner) {
  CutterShape c{};
  c.type = type;
  c.radius = radius;
  c.cornerRadius = corner;
  c.shankDiameter = 2 * radius;
  c.taperLength = 8;
  return c;
}

struct AllowanceCase {
  const char* what;
  CutterShape in;
  double allowance;
  std::int16_t tip;
  std::int16_t type;
  double radius, corner, zOffset, shank, taper;
};

}  // namespace

TEST(ZfinToolAddAllowance, ClosedForms) {
  const AllowanceCase cases[] = {
      {"ball + 0.5", cutter(1, 5, 5), 0.5, 2, 1, 5.5, 5.5, 0, 11, 2.5},
      {"ball + 0.5, tip", cutter(1, 5, 5), 0.5, 1, 1, 5.5, 5.5, 5, 11, 2.5},
      {"flat + 0.5: a torus", cutter(2, 5, 0), 0.5, 2, 3, 5.5, 0.5, 0, 11, 7.5},
      {"flat - 0.5", cutter(2, 5, 0), -0.5, 2, 2, 4.5, 0, 0.5, 9, 8},
      {"torus 5/1 - 1.2: flat", cutter(3, 5, 1), -1.2, 2, 2, 3.8, 0, 0.2, 7.6, 8},
      {"torus 5/1 - 1.2, tip", cutter(3, 5, 1), -1.2, 1, 2, 3.8, 0, 1.2, 7.6, 8},
      {"torus 5/1 + 1", cutter(3, 5, 1), 1, 2, 3, 6, 2, 0, 12, 6},
      {"torus 5/1 + 1, tip", cutter(3, 5, 1), 1, 1, 3, 6, 2, 1, 12, 6},
      {"ball, taper shorter than the radius", cutter(1, 5, 5), 0, 2, 1, 5, 5, 0, 10, 3},
      {"other type keeps radii", cutter(10, 5, 2), 0.5, 2, 10, 5, 2, 0, 11, 8},
  };
  qdtest::MessageCapture capture;
  for (const AllowanceCase& c : cases) {
    CutterShape s = c.in;
    zfinToolAddAllowance(&s, c.allowance, c.tip);
    EXPECT_EQ(s.type, c.type) << c.what;
    EXPECT_NEAR(s.radius, c.radius, 1e-12) << c.what;
    EXPECT_NEAR(s.cornerRadius, c.corner, 1e-12) << c.what;
    EXPECT_NEAR(s.zOffset, c.zOffset, 1e-12) << c.what;
    EXPECT_NEAR(s.shankDiameter, c.shank, 1e-12) << c.what;
    EXPECT_NEAR(s.taperLength, c.taper, 1e-12) << c.what;
  }
  EXPECT_EQ(qdtest::capturedMessages(), std::vector<std::string>{});
  zfinToolAddAllowance(nullptr, 1, 1);  // ignored
}

// A torus whose corner outgrows its radius and a radius below 0 are corrected, each with its
// message.
TEST(ZfinToolAddAllowance, ImpossibleRadiiAreCorrectedWithAMessage) {
  qdtest::MessageCapture capture;
  CutterShape torus = cutter(3, 1, 3);  // corner larger than the radius
  zfinToolAddAllowance(&torus, 0.5, 2);
  EXPECT_DOUBLE_EQ(torus.radius, 3.5);
  CutterShape flat = cutter(2, 1, 0);
  zfinToolAddAllowance(&flat, -2, 2);
  EXPECT_DOUBLE_EQ(flat.radius, 0);
  EXPECT_EQ(qdtest::capturedMessages(), (std::vector<std::string>{"329,0", "330,0"}));
}

TEST(ZfinApplyRadialAllowance, ToolKeysTable) {
  struct Case {
    const char* what;
    std::int16_t type;
    double radius, corner, shaft, radial;
    std::int16_t typeAfter;
    double radiusAfter, cornerAfter, shaftAfter;
    const char* message;
  };
  const Case cases[] = {
      {"ball grows", 1, 5, 0, 10, 0.5, 3, 5.5, 5, 11, nullptr},
      // A ball keeps its corner at the old radius: a smaller radius is raised back to it.
      {"ball shrinks", 1, 5, 0, 10, -0.5, 1, 5, 5, 9, "1126,0"},
      {"flat grows", 2, 5, 3, 10, 1, 2, 6, 0, 12, nullptr},
      {"flat -6 on radius 5", 2, 5, 0, 10, -6, 2, 0, 0, -2, "1126,0"},
      {"torus grows", 3, 5, 1, 10, 1, 3, 6, 1, 12, nullptr},
      {"tapered ball family", 12, 5, 0, 10, 1, 13, 6, 5, 12, nullptr},
      {"torus becomes a ball", 3, 5, 5.5, 10, 0.5, 1, 5.5, 5.5, 11, nullptr},
  };
  for (const Case& c : cases) {
    qdtest::MessageCapture capture;
    parResetState();
    GlobalParams& g = *parGlobalBlock();
    g.frtyp = c.type;
    g.frradius = c.radius;
    g.frbogen = c.corner;
    g.shaftDiameter = c.shaft;
    g.aufmassHori = c.radial;
    zfinApplyRadialAllowance();
    EXPECT_EQ(g.frtyp, c.typeAfter) << c.what;
    EXPECT_DOUBLE_EQ(g.frradius, c.radiusAfter) << c.what;
    EXPECT_DOUBLE_EQ(g.frbogen, c.cornerAfter) << c.what;
    EXPECT_DOUBLE_EQ(g.shaftDiameter, c.shaftAfter) << c.what;
    const std::vector<std::string> want =
        c.message != nullptr ? std::vector<std::string>{c.message} : std::vector<std::string>{};
    EXPECT_EQ(qdtest::capturedMessages(), want) << c.what;
  }
}
