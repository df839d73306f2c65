// The walker's entry points as the geometry code calls them: not installed, each answers with its
// failure and the error record (never an empty success); installed, the slicing's own are called.
#include <gtest/gtest.h>

#include <cstring>

#include "geometry/geo_error.h"
#include "geometry/walker_hooks.h"
#include "zlevel/walker.h"
#include "zlevel/zlevel_hooks.h"

namespace {
int preparedCalls = 0;
int countingPrepare(CollCtx*, WalkTool*, WalkParams*) { return ++preparedCalls; }
}  // namespace

TEST(WalkerHooks, NotInstalledAnswersNotInstalled) {
  walkSetHooks(nullptr);
  geoErrReset();
  EXPECT_EQ(walkPrepare(nullptr, nullptr, nullptr), kWalkNotInstalled);
  EXPECT_STREQ(geoErrRecord()->file, "walker_hooks");
  EXPECT_EQ(geoErrCode(), kWalkNotInstalled);
  EXPECT_EQ(walkTrace(nullptr, nullptr, nullptr, nullptr), kWalkNotInstalled);
  ZPathList list{};
  EXPECT_EQ(walkFillet(&list, nullptr, 1.0), kWalkNotInstalled);
  Seg2D hit{};
  Point2D touch{};
  int element = 0, kind = 0;
  EXPECT_EQ(
      walkWallContact(nullptr, nullptr, 1.0, Seg2D{0, 0, 1, 0}, &hit, &touch, &element, &kind),
      kWalkNotInstalled);
  EXPECT_EQ(walkRelease(nullptr, nullptr, nullptr), 0) << "nothing can have been prepared";
}

TEST(WalkerHooks, InstalledEntryPointsAreCalled) {
  WalkerHooks hooks{};
  hooks.prepare = countingPrepare;
  walkSetHooks(&hooks);
  EXPECT_EQ(walkPrepare(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(walkTrace(nullptr, nullptr, nullptr, nullptr), kWalkNotInstalled)
      << "its slot is empty";
  // The library's own entry points: the step search's preparation and the tracing refuse null
  // records under their own name.
  zlevelInstallHooks();
  EXPECT_EQ(walkHooks().trace, offs3dTrace);
  geoErrReset();
  EXPECT_EQ(walkPrepare(nullptr, nullptr, nullptr), -20);
  EXPECT_STREQ(geoErrRecord()->file, "Offs3d");
  geoErrReset();
  EXPECT_EQ(walkTrace(nullptr, nullptr, nullptr, nullptr), -20);
  EXPECT_STREQ(geoErrRecord()->file, "Offs3d");
  EXPECT_EQ(walkRelease(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(walkFillet(nullptr, nullptr, 1.0), 0) << "a null list is not rounded";
  // The wall contact of the collision code: a disc of radius 1 moving along x meets the wall
  // x = 5 with its centre at x = 4.
  Kont2D* wall = kontNew(nullptr, 3);
  const Seg2D w{5, -10, 5, 10};
  kontAppendSeg(wall, &w);
  Seg2D hit{};
  Point2D touch{};
  int element = -1, kind = 0;
  ASSERT_EQ(walkWallContact(wall, nullptr, 1.0, Seg2D{0, 0, 10, 0}, &hit, &touch, &element, &kind),
            1);
  EXPECT_NEAR(hit.x2, 4.0, 1e-9);
  EXPECT_EQ(element, 0);
  kontFree(wall);
}
