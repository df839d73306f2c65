// Approach and retract macros: point counts and geometry of the kinds checked with distances,
// dot products and a recomputed arc centre; the rules that give no macro; the parameter changes
// the builder makes; the macro-file names.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cycles/approach_macro.h"

namespace {

constexpr double kDeg = 0.017453292519943295;
constexpr double kPi = 3.141592653589793;

ApproachParams params(int kind, double length = 3.0) {
  ApproachParams a;
  a.approachKind = static_cast<std::int16_t>(kind);
  a.retractKind = static_cast<std::int16_t>(kind);
  a.stepAngle = 7 * kDeg;
  a.endAngle = 0;
  a.approachLength = length;
  a.retractLength = length;
  a.approachTurn = 45 * kDeg;
  a.retractTurn = 45 * kDeg;
  a.plungeHeight = 5.0;
  return a;
}

struct Macro {
  MoveMacro* m = nullptr;
  ~Macro() { approachFreeMove(m); }
  int appended() const { return m == nullptr ? -1 : m->count - 1; }
  Point3D last() const { return m->points[m->count - 1]; }
};

const Point3D kP{1, 2, 3};
const Point3D kAlongX{0, 2, 3};  // D behind P: v = +x

double dist(const Point3D& a, const Point3D& b) { return vecDistance(a, b); }

TEST(ApproachMacro, HorizontalTangentArcPointsLieOnTheCircle) {
  struct Case {
    double endDeg;
    int side;
    int points;
  };
  for (const Case c : {Case{0, 1, 13}, Case{0, -1, 13}, Case{40, 1, 8}}) {
    ApproachParams a = params(3);
    a.endAngle = c.endDeg * kDeg;
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, c.side, nullptr, 0, nullptr)};
    ASSERT_NE(mac.m, nullptr);
    EXPECT_EQ(mac.m->capacity, 53);  // 2 + trunc(360 / 7)
    EXPECT_EQ(mac.appended(), c.points) << c.endDeg;
    EXPECT_EQ(mac.m->arcFlag, 1);
    EXPECT_EQ(mac.m->arcSide, c.side);
    const Point3D centre = mac.m->arcCentre;
    for (int i = 0; i < mac.m->count; ++i) {
      EXPECT_NEAR(dist(mac.m->points[i], centre), 3.0, 1e-9) << i;
      EXPECT_EQ(mac.m->points[i].z, kP.z);
    }
    // The arc turns to the side s: left of +x is +y.
    EXPECT_GT(c.side * (mac.last().y - kP.y), 0);
  }
}

TEST(ApproachMacro, StepAngleTooSmallGivesNoArcMacro) {
  for (int kind : {1, 3, 10, 16, 21, 23, 26, 27}) {
    for (double w : {0.0, 1e-5, -0.1}) {
      for (int type : {kMacroApproach, kMacroRetract}) {
        ApproachParams a = params(kind);
        a.stepAngle = w;
        const Point3D x{0, 0, 1};
        Macro mac{approachBuildMove(type, kP, kAlongX, &a, 1, nullptr, 0, &x)};
        EXPECT_EQ(mac.m, nullptr) << "kind " << kind << " w " << w << " type " << type;
      }
    }
  }
}

TEST(ApproachMacro, ApproachLengthTooSmallGivesNoMacroExceptRampsTargetsAndFiles) {
  for (int kind = 0; kind <= 28; ++kind) {
    ApproachParams a = params(kind, 1e-5);
    const Point3D x{4, 5, 6};
    Macro mac{approachBuildMove(kMacroApproach, kP, kAlongX, &a, 1, nullptr, 0, &x)};
    const bool kept = kind == 8 || kind == 12 || kind == 13;
    EXPECT_EQ(mac.m != nullptr, kept) << kind;
  }
}

TEST(ApproachMacro, LinePrimitivesByDotProducts) {
  const Point3D down{0, 2, 2};  // D behind and below P: v = (1, 0, 1) / sqrt 2
  const double r2 = std::sqrt(0.5);
  {
    ApproachParams a = params(2, 4);
    a.retractIncline = 30 * kDeg;
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(vecLength(d), 4, 1e-12);
    EXPECT_NEAR(d.x / 4, std::cos(30 * kDeg), 1e-12);  // 30 degrees up from +x
    EXPECT_NEAR(d.y, 0, 1e-12);
  }
  {
    ApproachParams a = params(4, 4);  // incline 0: straight back along the run, in 3D
    Macro mac{approachBuildMove(kMacroRetract, kP, down, &a, 1, nullptr, 0, nullptr)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(d.x, 4 * r2, 1e-12);
    EXPECT_NEAR(d.z, 4 * r2, 1e-12);
  }
  {
    ApproachParams a = params(4, 4);
    a.approachIncline = 90 * kDeg;
    // An approach negates the sense: sense -1 builds on side +1, to the left of +x.
    Macro mac{approachBuildMove(kMacroApproach, kP, down, &a, -1, nullptr, 0, nullptr)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(d.x, 0, 1e-12);
    EXPECT_NEAR(d.y, 4 * r2, 1e-12);  // the horizontal part of the 3D move
    EXPECT_NEAR(d.z, 0, 1e-12);
  }
  {
    ApproachParams a = params(14, 4);
    a.retractTurn = 90 * kDeg;
    a.retractIncline = 30 * kDeg;
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, -1, nullptr, 0, nullptr)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(d.y, -4, 1e-12);
    EXPECT_NEAR(d.z, 4 * std::sin(30 * kDeg), 1e-12);
  }
  {
    ApproachParams a = params(9, 4);  // level line: starts horizontal whatever D's height
    a.retractIncline = 45 * kDeg;
    Macro mac{approachBuildMove(kMacroRetract, kP, down, &a, 1, nullptr, 0, nullptr)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(d.x, 4 * r2, 1e-12);
    EXPECT_NEAR(d.z, 4 * r2, 1e-12);
  }
}

TEST(ApproachMacro, AxisKindsTurnAboutTheToolAxis) {
  const Point3D x = {0, std::sin(0.4), std::cos(0.4)};
  const Point3D v{1, 0, 0};
  {
    ApproachParams a = params(22, 4);  // side step at right angles to the run and the axis
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &x)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(vecLength(d), 4, 1e-12);
    EXPECT_NEAR(vecDot(d, v), 0, 1e-12);
    EXPECT_NEAR(vecDot(d, x), 0, 1e-12);
    EXPECT_EQ(mac.m->shiftVector.y, x.y);
  }
  {
    ApproachParams a = params(24, 4);
    a.retractIncline = 30 * kDeg;
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &x)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(vecLength(d), 4, 1e-12);
    EXPECT_NEAR(vecDot(d, v) / 4, std::cos(30 * kDeg), 1e-12);
  }
  {
    ApproachParams a = params(20, 4);
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &x)};
    const Point3D d = vecSub(mac.last(), kP);
    EXPECT_NEAR(vecDot(d, x), 4, 1e-12);
    EXPECT_NEAR(vecLength(d), 4, 1e-12);
  }
  // An axis shorter than 1e-5 is no axis: the plain side step, no unit vector of nothing.
  for (int kind : {22, 24}) {
    ApproachParams a = params(kind, 4);
    const Point3D tiny{0, 0, 1e-7};
    Macro with{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &tiny)};
    ApproachParams b = params(kind, 4);
    Macro without{approachBuildMove(kMacroRetract, kP, kAlongX, &b, 1, nullptr, 0, nullptr)};
    ASSERT_EQ(with.m->count, without.m->count);
    EXPECT_TRUE(std::isfinite(with.last().x));
    EXPECT_NEAR(dist(with.last(), without.last()), 0, 1e-12) << kind;
  }
}

TEST(ApproachMacro, VerticalArcAndItsOddVerticalCase) {
  ApproachParams a = params(1);
  Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
  // A quarter circle in the x-z plane: 13 chords of 7 degrees, the first one horizontal, so all
  // points lie at radius 3 from the centre above the middle of that first chord.
  EXPECT_EQ(mac.appended(), 13);
  const double c = approachChordLength(3, 7 * kDeg);
  const Point3D centre{kP.x + c / 2, kP.y, kP.z + std::sqrt(9 - c * c / 4)};
  for (int i = 0; i < mac.m->count; ++i) {
    EXPECT_NEAR(dist(mac.m->points[i], centre), 3, 1e-9);
    EXPECT_EQ(mac.m->points[i].y, kP.y);
  }
  // D straight below P: the single point P + L c v^, as the builder has always made it.
  const Point3D below{kP.x, kP.y, kP.z - 1};
  ApproachParams b = params(1);
  Macro up{approachBuildMove(kMacroRetract, kP, below, &b, 1, nullptr, 0, nullptr)};
  ASSERT_EQ(up.appended(), 1);
  EXPECT_NEAR(up.last().z - kP.z, 3 * approachChordLength(3, 7 * kDeg), 1e-12);
  // An open path leaves kind 10 the plain vertical arc.
  ApproachParams d = params(10);
  Macro onPath{approachBuildMove(kMacroRetract, kP, kAlongX, &d, 1, nullptr, 0, nullptr)};
  EXPECT_EQ(onPath.appended(), 13);
  EXPECT_NEAR(dist(onPath.last(), mac.last()), 0, 1e-12);
}

TEST(ApproachMacro, AxisPlaneArcsSkipTheirFirstChord) {
  const Point3D x{0, 0, 1};
  const double w = 7 * kDeg;
  const double c = approachChordLength(3, w);
  for (int kind : {21, 26}) {
    ApproachParams a = params(kind);
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &x)};
    ASSERT_NE(mac.m, nullptr);
    ASSERT_GE(mac.appended(), 1);
    // Turned by two steps, toward the axis (21) or to the left within the plane (26).
    const Point3D want = kind == 21 ? Point3D{c * std::cos(2 * w), 0, c * std::sin(2 * w)}
                                    : Point3D{c * std::cos(2 * w), c * std::sin(2 * w), 0};
    EXPECT_NEAR(dist(vecSub(mac.m->points[1], kP), want), 0, 1e-12) << kind;
  }
}

TEST(ApproachMacro, YStepFollowsTheMoveDirection) {
  ApproachParams a = params(11, 2);
  const Point3D alongY{1, 1, 3};
  for (int side : {1, -1}) {
    Macro mac{approachBuildMove(kMacroRetract, kP, alongY, &a, side, nullptr, 0, nullptr)};
    EXPECT_EQ(mac.last().y, kP.y + 2) << side;
  }
  Macro neg{approachBuildMove(kMacroRetract, kP, kAlongX, &a, -1, nullptr, 0, nullptr)};
  EXPECT_EQ(neg.last().y, kP.y - 2);
}

TEST(ApproachMacro, ParameterChangesAndShiftFactors) {
  // Kind 7 turns the caller's copy into kind 0 with the plunge height as length.
  ApproachParams a = params(7);
  Macro first{approachBuildMove(kMacroApproach, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
  EXPECT_EQ(a.approachKind, 0);
  EXPECT_EQ(a.approachLength, 5.0);
  Macro second{approachBuildMove(kMacroApproach, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
  EXPECT_NEAR(dist(second.last(), {kP.x, kP.y, kP.z + 5}), 0, 1e-12);
  // Kind 16 without a target becomes 0 (approach), as does 12 (retract).
  ApproachParams b = params(16);
  Macro m16{approachBuildMove(kMacroApproach, kP, kAlongX, &b, 1, nullptr, 0, nullptr)};
  EXPECT_EQ(b.approachKind, 0);
  ApproachParams c = params(12);
  Macro m12{approachBuildMove(kMacroRetract, kP, kAlongX, &c, 1, nullptr, 0, nullptr)};
  EXPECT_EQ(c.retractKind, 0);
  // retractBuildMacro works on a copy.
  ApproachParams d = params(7);
  const Point3D axis{0, 0, 1};
  Macro viaCopy{retractBuildMacro(nullptr, kMacroApproach, kP, kAlongX, &d, 1, nullptr, 0, &axis)};
  EXPECT_EQ(d.approachKind, 7);
  for (const auto& [shift, want] : {std::pair{-1.0, 0.0}, std::pair{2.5, 2.5}}) {
    ApproachParams e = params(0);
    e.approachShift = shift;
    Macro m{approachBuildMove(kMacroApproach, kP, kAlongX, &e, 1, nullptr, 0, nullptr)};
    EXPECT_EQ(m.m->shiftFactor, want);
    Point3D q{0, 0, 0};
    approachShiftByVector(m.m, &q);
    EXPECT_EQ(q.z, want);
  }
}

TEST(ApproachMacro, RetractsOfApproachOnlyOrUnknownKindsHoldOnlyTheEndPoint) {
  for (int kind : {6, 7, 8, 13, 28, 17, 18, 19, 50}) {
    ApproachParams a = params(kind);
    Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
    ASSERT_NE(mac.m, nullptr) << kind;
    EXPECT_EQ(mac.m->count, 1) << kind;
    EXPECT_EQ(mac.m->points[0].z, kP.z);
  }
}

TEST(ApproachMacro, UnbuiltHelixAndRampsPlungeStraightFromThePlungeHeight) {
  for (int kind : {6, 8, 13, 28}) {
    ApproachParams a = params(kind);
    Macro mac{approachBuildMove(kMacroApproach, kP, kAlongX, &a, 1, nullptr, 0, nullptr)};
    ASSERT_NE(mac.m, nullptr) << kind;
    ASSERT_EQ(mac.m->count, 2);
    EXPECT_NEAR(dist(mac.last(), {kP.x, kP.y, kP.z + 5}), 0, 1e-12);
  }
  ApproachParams f = params(100);
  Macro none{approachBuildMove(kMacroApproach, kP, kAlongX, &f, 1, nullptr, 0, nullptr)};
  EXPECT_EQ(none.m, nullptr);
}

TEST(ApproachMacro, SimpleKindsTable) {
  const Point3D target{7, 8, 9};
  struct Case {
    int kind;
    const Point3D* x;
    Point3D want;
  };
  const Case cases[] = {
      {0, nullptr, {1, 2, 6}},  {15, nullptr, {1, 2, 6}}, {20, nullptr, {1, 2, 6}},
      {12, &target, {7, 8, 9}}, {16, &target, {7, 8, 9}}, {5, nullptr, {1, 5, 3}},
  };
  for (const Case& c : cases) {
    ApproachParams a = params(c.kind);
    Macro mac{approachBuildMove(kMacroApproach, kP, kAlongX, &a, -1, nullptr, 0, c.x)};
    ASSERT_NE(mac.m, nullptr) << c.kind;
    ASSERT_EQ(mac.appended(), 1) << c.kind;
    EXPECT_NEAR(dist(mac.last(), c.want), 0, 1e-12) << c.kind;
    EXPECT_EQ(mac.m->direction.x, 1.0);
  }
  // Under the straight-retract flag a retract of kind 12 stays where it is.
  approachSetStraightRetract(1);
  ApproachParams a = params(12);
  Macro mac{approachBuildMove(kMacroRetract, kP, kAlongX, &a, 1, nullptr, 0, &target)};
  approachSetStraightRetract(0);
  EXPECT_NEAR(dist(mac.last(), kP), 0, 1e-12);
}

TEST(ApproachMacro, MacroFileNamesAreBounded) {
  const std::string fits(kMacroNameSize - 1, 'a');
  EXPECT_EQ(approachSetMacroFile(fits.c_str()), fits.c_str() + fits.size());
  EXPECT_EQ(std::string(approachMacroFile()), fits);
  const std::string tooLong(kMacroNameSize, 'b');
  EXPECT_EQ(approachSetRetractFile(tooLong.c_str()), nullptr);
  EXPECT_STREQ(approachRetractFile(), "");
  EXPECT_EQ(approachSetMacroFile(nullptr), nullptr);
  EXPECT_STREQ(approachMacroFile(), "");
}

TEST(ApproachMacro, ArcCentreOnBothSides) {
  Point3D c{9, 9, 9};
  approachArcCentre({0, 0, 0}, {2, 0, 0}, std::sqrt(2.0), 1, &c);
  EXPECT_NEAR(c.x, 1, 1e-12);
  EXPECT_NEAR(c.y, 1, 1e-12);
  approachArcCentre({0, 0, 0}, {2, 0, 0}, std::sqrt(2.0), -1, &c);
  EXPECT_NEAR(c.y, -1, 1e-12);
  const Point3D before = c;
  approachArcCentre({0, 0, 0}, {5, 0, 0}, 1, 1, &c);  // longer than the diameter: unchanged
  EXPECT_EQ(c.y, before.y);
  EXPECT_EQ(approachChordLength(3, 0), 0.0);
  EXPECT_NEAR(approachChordLength(3, kPi / 3), 3, 1e-12);
}

}  // namespace
