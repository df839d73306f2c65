// Tests of the tool half-profiles: segments and box, the profiles of a known assembly, extension
// and taper in front of a profile, a named profile read from an exchange file (scaled, shifted,
// made monotonic), the offset by a clearance, and allocation failures that leave nothing behind.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/test_xchg_support.h"
#include "geometry/cont_file.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "model/tool_profile.h"
#include "model_fixture.h"
#include "support/temp_dir.h"

namespace {

struct Seg {
  double r1, z1, r2, z2;
  int type;
};

std::vector<Seg> segsOf(const ToolProfile* p) {
  std::vector<Seg> out;
  for (int i = 0; i < p->count; ++i) {
    const ProfileSegment& s = p->segments[i];
    out.push_back({s.r1, s.z1, s.r2, s.z2, p->types[i]});
  }
  return out;
}

void expectSegs(const ToolProfile* p, const std::vector<Seg>& want, const char* what) {
  ASSERT_NE(p, nullptr) << what;
  const std::vector<Seg> got = segsOf(p);
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].r1, want[i].r1, 1e-9) << what << " segment " << i;
    EXPECT_NEAR(got[i].z1, want[i].z1, 1e-9) << what << " segment " << i;
    EXPECT_NEAR(got[i].r2, want[i].r2, 1e-9) << what << " segment " << i;
    EXPECT_NEAR(got[i].z2, want[i].z2, 1e-9) << what << " segment " << i;
    EXPECT_EQ(got[i].type, want[i].type) << what << " segment " << i;
  }
}

// The box of the segments, recomputed.
void expectBoxOfSegments(const ToolProfile* p) {
  double rmin = DBL_MAX, zmin = DBL_MAX, rmax = -DBL_MAX, zmax = -DBL_MAX;
  for (const Seg& s : segsOf(p)) {
    rmin = std::min({rmin, s.r1, s.r2});
    rmax = std::max({rmax, s.r1, s.r2});
    zmin = std::min({zmin, s.z1, s.z2});
    zmax = std::max({zmax, s.z1, s.z2});
  }
  EXPECT_DOUBLE_EQ(p->rmin, rmin);
  EXPECT_DOUBLE_EQ(p->rmax, rmax);
  EXPECT_DOUBLE_EQ(p->zmin, zmin);
  EXPECT_DOUBLE_EQ(p->zmax, zmax);
}

using Prof = qdtest::Owned<ToolProfile, profileFree>;

// R 5, free length 40, taper 10, band 5, shank 16, neck 12, shank band 20 from cone top 50 to
// holder start 80, holder 30 to 90 wide 40 above, top 120.
ToolAssembly knownTool() {
  ToolAssembly a{};
  a.type = 1;
  a.radius = 5;
  a.cornerRadius = 5;
  a.freeLength = 40;
  a.taperLength = 10;
  a.bandLength = 5;
  a.shankDiameter = 16;
  a.neckDiameter = 12;
  a.coneTop = 50;
  a.shankBandDiameter = 20;
  a.holderStart = 80;
  a.holderDiameter1 = 30;
  a.holderConeTop = 90;
  a.holderDiameter2 = 40;
  a.holderTop = 120;
  return a;
}

// Distance from (r, z) to the polyline of the segments.
double distanceToSegs(double r, double z, const std::vector<Seg>& segs) {
  double best = 1e300;
  for (const Seg& s : segs) {
    const double dx = s.r2 - s.r1, dz = s.z2 - s.z1, l2 = dx * dx + dz * dz;
    double t = l2 > 0 ? ((r - s.r1) * dx + (z - s.z1) * dz) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    best = std::min(best, std::hypot(r - (s.r1 + t * dx), z - (s.z1 + t * dz)));
  }
  return best;
}

class ToolProfileTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    geoResetState();
    contFileResetState();
  }
  void TearDown() override {
    memTestFailAt(0);
    unitFactor = 1.0;
  }
};

}  // namespace

TEST_F(ToolProfileTest, SegmentsAndBox) {
  Prof p(profileNew(0));
  ASSERT_NE(p.p, nullptr);
  EXPECT_EQ(p.p->capacity, 3);
  EXPECT_EQ(p.p->rmin, DBL_MAX);
  EXPECT_EQ(p.p->zmax, -DBL_MAX);
  // A segment whose ends agree within 0.00001 is skipped but succeeds.
  EXPECT_EQ(profileAppendSegment(p.p, ProfileSegment{1, 1, 1.000005, 1.000005}, 1), 1);
  EXPECT_EQ(p.p->count, 0);
  EXPECT_EQ(profileAppendSegment(p.p, ProfileSegment{0, 10, 5, 10}, 2), 1);
  EXPECT_EQ(profileAppendSegment(p.p, ProfileSegment{5, 10, 7, 20}, 2), 1);
  EXPECT_EQ(p.p->rmin, 0);
  EXPECT_EQ(p.p->rmax, 7);
  EXPECT_EQ(p.p->zmin, 10);
  EXPECT_EQ(p.p->zmax, 20);
  // Growth keeps every segment in order.
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(profileAppendSegment(p.p, ProfileSegment{7.0 + i, 20.0 + i, 8.0 + i, 21.0 + i}, 1),
              1);
  }
  EXPECT_EQ(p.p->count, 22);
  EXPECT_GE(p.p->capacity, 22);
  EXPECT_EQ(p.p->segments[21].r2, 27);
  EXPECT_EQ(p.p->types[21], 1);
  EXPECT_EQ(p.p->types[1], 2);
  EXPECT_EQ(profileAppendSegment(nullptr, ProfileSegment{0, 0, 1, 1}, 1), -1);
}

TEST_F(ToolProfileTest, ProfilesOfTheAssembly) {
  const ToolAssembly a = knownTool();
  Prof shank(profileFromShank(&a));
  expectSegs(shank.p, {{0, 40, 6, 40, 1}, {6, 40, 10, 50, 1}, {10, 50, 10, 80, 1}}, "shank");
  Prof holder(profileFromHolder(&a));
  expectSegs(holder.p, {{0, 80, 15, 80, 2}, {15, 80, 20, 90, 2}, {20, 90, 20, 120, 2}}, "holder");
  Prof ext(profileExtension(&a, 0.01));
  expectSegs(ext.p,
             {{4.995, 0.01, 4.995, 10.01, 3},
              {4.995, 10.01, 7.995, 15.01, 3},
              {7.995, 15.01, 7.995, 40, 3}},
             "extension");
  ToolAssembly tilted = a;
  tilted.taperAngle = 30;
  Prof noStraight(profileExtension(&tilted, 0.01));
  EXPECT_EQ(noStraight.p->count, 2);
  const double th = std::numbers::pi / 6;
  Prof tiltedExt(profileTiltedExtension(&tilted, 0.01));
  expectSegs(tiltedExt.p,
             {{5 * std::cos(th) + 0.01 * std::sin(th), 0.01 * std::cos(th) + 5 * std::sin(th),
               5 * std::cos(th) + std::tan(th) * (10 - 5 * std::sin(th)), 10, 3}},
             "tilted extension");
}

TEST_F(ToolProfileTest, ExtensionAndTaperGoInFront) {
  const ToolAssembly a = knownTool();
  Prof alone(profileAddExtension(nullptr, &a, 12));
  expectSegs(alone.p, {{0, 5, 6, 5, 3}, {6, 5, 6, 10, 3}, {6, 10, 8, 15, 3}, {8, 15, 8, 40, 3}},
             "extension alone");
  Prof shank(profileFromShank(&a));
  ASSERT_EQ(profileAddExtension(shank.p, &a, 12), shank.p);
  ASSERT_EQ(shank.p->count, 7);
  EXPECT_EQ(shank.p->segments[0].z1, 5);
  EXPECT_EQ(shank.p->segments[4].z1, 40);
  EXPECT_EQ(shank.p->types[4], 1);
  EXPECT_EQ(shank.p->zmin, 5);
  EXPECT_EQ(shank.p->zmax, 80);

  Prof taper(profileAddTaper(nullptr, &a, 12, 0));
  expectSegs(taper.p, {{6, 10, 8, 15, 1}, {8, 15, 8, 40, 1}}, "taper alone");
  // In front of the shank: the shank's first segment now starts where the taper ends.
  Prof withShank(profileFromShank(&a));
  ASSERT_EQ(profileAddTaper(withShank.p, &a, 12, 0), withShank.p);
  expectSegs(withShank.p,
             {{6, 10, 8, 15, 1},
              {8, 15, 8, 40, 1},
              {8, 40, 6, 40, 1},
              {6, 40, 10, 50, 1},
              {10, 50, 10, 80, 1}},
             "taper before shank");
  expectBoxOfSegments(withShank.p);
  // A profile that already reaches below the taper is returned unchanged.
  Prof low(profileNew(3));
  profileAppendSegment(low.p, ProfileSegment{0, 2, 9, 2}, 2);
  profileAppendSegment(low.p, ProfileSegment{9, 2, 9, 60}, 2);
  ASSERT_EQ(profileAddTaper(low.p, &a, 12, 0), low.p);
  EXPECT_EQ(low.p->count, 2);
  // The widen flag widens by the tilted wall: 12 + 2 tan 30 (sin 30 + 10) - 2 (1 - cos 30).
  ToolAssembly tilted = a;
  tilted.taperAngle = 30;
  tilted.cornerRadius = 1;
  Prof wide(profileAddTaper(nullptr, &tilted, 12, 1));
  const double th = std::numbers::pi / 6;
  const double w = 12 + 2 * std::tan(th) * (std::sin(th) + 10) - 2 * (1 - std::cos(th));
  ASSERT_GE(wide.p->count, 1);
  EXPECT_NEAR(wide.p->segments[0].r1, w / 2, 1e-12);
}

TEST_F(ToolProfileTest, NamedProfileFromAnExchangeFile) {
  // x first grows, then shrinks (kept at 5), then grows; y dips (kept).
  const std::string body =
      "  oL( x[3/5] y[0/2] )\n  oL( x[/4] y[/5] )\n  oL( x[/8] y[/4.5] )\n  oL( x[/8] y[/7] )\n";
  qdtest::writeFile("tool.qdx", xchgtest::header() +
                                    "oContour[Head]( )\n{\n  oL( x[1/2] y[0/0] )\n}\n" +
                                    "oContour[Holder]( )\n{\n" + body + "}\n");
  Prof p(profileReadNamed("tool.qdx", "Holder", 0.01, 50, 1));
  expectSegs(p.p,
             {{0, 50, 3, 50, 1},
              {3, 50, 5, 52, 1},
              {5, 52, 5, 55, 1},
              {5, 55, 8, 55, 1},
              {8, 55, 8, 57, 1},
              {8, 57, 0, 57, 1}},
             "holder");
  // Scaled by the unit factor before the shift.
  unitFactor = 2;
  Prof scaled(profileReadNamed("tool.qdx", "Holder", 0.01, 50, 2));
  ASSERT_NE(scaled.p, nullptr);
  EXPECT_EQ(scaled.p->segments[0].r2, 6);
  EXPECT_EQ(scaled.p->segments[1].z2, 54);
  EXPECT_EQ(scaled.p->types[0], 2);
  unitFactor = 1;

  ToolProfile* none = nullptr;
  EXPECT_EQ(profileReadNamedStatus("tool.qdx", "Spindle", 0.01, 0, 1, &none), kProfileNotInFile);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(profileReadNamedStatus("missing.qdx", "Holder", 0.01, 0, 1, &none), kProfileUnreadable);
  qdtest::writeFile("plain.txt", "not an exchange file\n");
  EXPECT_EQ(profileReadNamedStatus("plain.txt", "Holder", 0.01, 0, 1, &none), kProfileUnreadable);
  qdtest::writeFile("empty.qdx", xchgtest::header());
  EXPECT_EQ(profileReadNamedStatus("empty.qdx", "Holder", 0.01, 0, 1, &none), kProfileNotInFile);
  EXPECT_EQ(profileReadNamedStatus(nullptr, "Holder", 0.01, 0, 1, &none), kProfileBadArgument);
  EXPECT_EQ(profileReadNamed("missing.qdx", "Holder", 0.01, 0, 1), nullptr);

  // Memory running out at any step gives a failure and no profile (LeakSanitizer checks the
  // rest); the exchange reader reports a header it had no memory for as an unreadable file.
  int failures = 0;
  for (long n = 1; n <= 400; ++n) {
    ToolProfile* out = nullptr;
    memTestFailAt(n);
    const int r = profileReadNamedStatus("tool.qdx", "Holder", 0.01, 50, 1, &out);
    memTestFailAt(0);
    if (r == kProfileFound) {
      profileFree(out);
      break;
    }
    EXPECT_TRUE(r == kProfileNoMemory || r == kProfileUnreadable) << n << ": " << r;
    EXPECT_EQ(out, nullptr) << n;
    ++failures;
  }
  EXPECT_GT(failures, 3);
}

TEST_F(ToolProfileTest, MonotonicAndMaxAngle) {
  Point2D pts[] = {{1, 0}, {3, 1}, {2, 2}, {4, 1.5}, {0, 5}};
  GuideCurve c{};
  c.count = 5;
  c.points = pts;
  EXPECT_EQ(profileMakeMonotonic(&c), 1);
  const Point2D want[] = {{1, 0}, {3, 1}, {3, 2}, {4, 2}, {4, 5}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(pts[i].x, want[i].x) << i;
    EXPECT_EQ(pts[i].y, want[i].y) << i;
  }
  EXPECT_EQ(profileMakeMonotonic(&c), 0);
  EXPECT_EQ(profileMakeMonotonic(nullptr), 0);

  Prof p(profileNew(3));
  EXPECT_EQ(profileMaxAngle(p.p), 0.0);
  profileAppendSegment(p.p, ProfileSegment{1, 1, 3, 4}, 1);  // end at angle acos(4/5)
  profileAppendSegment(p.p, ProfileSegment{3, 4, 3, 40}, 1);
  EXPECT_DOUBLE_EQ(profileMaxAngle(p.p), std::acos(0.8));
  profileAppendSegment(p.p, ProfileSegment{3, 40, 2, -2}, 1);  // |z| counts: 45 degrees
  EXPECT_DOUBLE_EQ(profileMaxAngle(p.p), std::numbers::pi / 4);
  EXPECT_EQ(profileMaxAngle(nullptr), 0.0);
}

TEST_F(ToolProfileTest, OffsetByAClearance) {
  Prof p(profileNew(3));
  profileAppendSegment(p.p, ProfileSegment{0, 10, 5, 10}, 2);
  profileAppendSegment(p.p, ProfileSegment{5, 10, 5, 20}, 1);
  const std::vector<Seg> input = segsOf(p.p);
  ASSERT_EQ(profileOffset(p.p, 1.0), 1);
  // Outward and down, the corner mitred: (0, 9) - (6, 9) - (6, 20).
  expectSegs(p.p, {{0, 9, 6, 9, 2}, {6, 9, 6, 20, 2}}, "outward");
  expectBoxOfSegments(p.p);
  for (const Seg& s : segsOf(p.p)) {
    EXPECT_GE(distanceToSegs(s.r1, s.z1, input), 1 - 1e-9);
    EXPECT_GE(distanceToSegs(s.r2, s.z2, input), 1 - 1e-9);
  }
  ASSERT_EQ(profileOffset(p.p, -1.0), 1);  // and back
  expectSegs(p.p, {{0, 10, 5, 10, 2}, {5, 10, 5, 20, 2}}, "back");

  // An inward offset larger than the profile leaves nothing: -1 and the profile unchanged.
  Prof small(profileNew(3));
  profileAppendSegment(small.p, ProfileSegment{0, 10, 1, 10}, 1);
  profileAppendSegment(small.p, ProfileSegment{1, 10, 1, 11}, 1);
  profileAppendSegment(small.p, ProfileSegment{1, 11, 0, 11}, 1);
  const std::vector<Seg> before = segsOf(small.p);
  EXPECT_EQ(profileOffset(small.p, -50.0), -1);
  ASSERT_EQ(segsOf(small.p).size(), before.size());
  EXPECT_EQ(small.p->segments[1].r1, 1);
  Prof empty(profileNew(3));
  EXPECT_EQ(profileOffset(empty.p, 1.0), 0);
  EXPECT_EQ(profileOffset(nullptr, 1.0), 0);
}

// The box stayed where it was when a profile was shifted up, so the envelope of a holder with an
// allowance came out short by the allowance.
TEST_F(ToolProfileTest, ShiftMovesTheBoxWithTheSegments) {
  const ToolAssembly a = knownTool();
  Prof p(profileFromHolder(&a));
  profileShiftZ(p.p, 0.5);
  EXPECT_EQ(p.p->segments[0].z1, 80.5);
  expectBoxOfSegments(p.p);
  Prof empty(profileNew(3));
  profileShiftZ(empty.p, 1.0);
  EXPECT_EQ(empty.p->zmin, DBL_MAX);
}

TEST_F(ToolProfileTest, AllocationFailuresLeaveGivenProfilesIntact) {
  const ToolAssembly a = knownTool();
  for (long n = 1; n <= 6; ++n) {
    Prof shank(profileFromShank(&a));
    const std::vector<Seg> before = segsOf(shank.p);
    memTestFailAt(n);
    ToolProfile* r = profileAddExtension(shank.p, &a, 12);
    memTestFailAt(0);
    if (r == nullptr) {
      EXPECT_EQ(segsOf(shank.p).size(), before.size()) << n;
    } else {
      EXPECT_EQ(r, shank.p);
    }
    memTestFailAt(n);
    Prof made(profileFromHolder(&a));
    memTestFailAt(0);
    if (made.p != nullptr) {
      EXPECT_EQ(made.p->count, 3);
    }
  }
}
