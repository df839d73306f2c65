// The level pocketing's read-back hooks: path starts, arcs divided by the chordal step (and the
// step that would never advance), move kinds and the start/end marks on the move codes.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "cycles/level_pocket_hooks.h"

namespace {
class LevelHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    levelPocketResetState();
    path_ = pathListNew(100, 0);
    ASSERT_NE(path_, nullptr);
    levelPocketSetPath(path_);
  }
  void TearDown() override {
    levelPocketResetState();
    pathListFree(path_);
  }
  PathList* path_ = nullptr;
};
}  // namespace

TEST_F(LevelHookTest, LineHookStartsTheRunWithAGap) {
  levelPocketSetParam(0.0);
  const Point3D a{1, 2, 3}, b{4, 5, 6};
  levelPocketLineHook(nullptr, 1, &a);
  levelPocketArcHook(nullptr, 2, &b, 0.0);
  ASSERT_EQ(path_->count, 2);
  EXPECT_EQ(pathListClass(path_, 0), kPathClassGap);
  EXPECT_EQ(pathListClass(path_, 1), 0);
  EXPECT_EQ(pathListKind(path_, 1), kPathKindMade);
  EXPECT_DOUBLE_EQ(path_->params[0], 0.0);
  EXPECT_DOUBLE_EQ(path_->params[1], 1.0);
  EXPECT_DOUBLE_EQ(levelPocketParam(), 2.0);
  EXPECT_DOUBLE_EQ(path_->positions[1].z, 6.0);
}

// Every point of a divided arc lies on the circle, the angular step is 2 acos(1 - s/r), and the
// arc ends exactly at its end point.
TEST_F(LevelHookTest, ArcIsDividedByTheChordalStep) {
  const double r = 10, s = 0.1;
  const Point3D start{r, 0, 0};
  levelPocketLineHook(nullptr, 1, &start);
  levelPocketSetChordStep(s);
  const Point3D end{0, r, -2};  // a quarter circle counter-clockwise about the origin
  levelPocketArcHook(nullptr, 2, &end, std::tan(std::numbers::pi / 8));
  const double step = 2 * std::acos(1 - s / r);
  const int inner = static_cast<int>(std::ceil((std::numbers::pi / 2) / step)) - 1;
  ASSERT_EQ(path_->count, 1 + inner + 1);
  for (int i = 1; i < path_->count; ++i) {
    const Point3D& p = path_->positions[i];
    EXPECT_NEAR(std::hypot(p.x, p.y), r, 1e-9) << i;
    EXPECT_DOUBLE_EQ(p.z, -2.0) << i;
    EXPECT_GT(std::atan2(p.y, p.x),
              std::atan2(path_->positions[i - 1].y, path_->positions[i - 1].x));
    EXPECT_GT(path_->params[i], path_->params[i - 1]);
  }
  EXPECT_DOUBLE_EQ(path_->positions[path_->count - 1].x, 0.0);
  EXPECT_DOUBLE_EQ(path_->positions[path_->count - 1].y, r);
}

// A chordal step of 0 or below gave an angular step of 0 (or not a number) and the division never
// ended; such a step, and one as large as the circle, gives one chord.
TEST_F(LevelHookTest, StepThatCannotDivideGivesOneChord) {
  for (double s : {0.0, -1.0, 25.0}) {
    PathList* path = pathListNew(10, 0);
    ASSERT_NE(path, nullptr);
    levelPocketSetPath(path);
    const Point3D start{10, 0, 0}, end{-10, 0, 0};
    levelPocketLineHook(nullptr, 1, &start);
    levelPocketSetChordStep(s);
    levelPocketArcHook(nullptr, 2, &end, 1.0);
    EXPECT_EQ(path->count, 2) << s;
    EXPECT_DOUBLE_EQ(path->positions[path->count - 1].x, -10.0);
    levelPocketSetPath(path_);
    pathListFree(path);
  }
}

TEST_F(LevelHookTest, ArcBackToItsStartAppendsNothing) {
  const Point3D start{5, 5, 0};
  levelPocketLineHook(nullptr, 1, &start);
  levelPocketArcHook(nullptr, 2, &start, 1.0);
  EXPECT_EQ(path_->count, 1);
}

TEST_F(LevelHookTest, MoveKindsAndMarksBecomeTheCodeClass) {
  struct Word {
    const char* word;
    int result;
    int kind;
  };
  const Word words[] = {{"drill", 0, kLevelKindDrill},
                        {"plunge", 0, kLevelKindPlunge},
                        {"left", 0, kLevelKindLeft},
                        {"right", 0, kLevelKindRight},
                        {"spiral", 1, 0}};
  Point3D p{0, 0, 0};
  levelPocketLineHook(nullptr, 1, &p);
  for (const Word& w : words) {
    EXPECT_EQ(levelPocketMoveKindHook(w.word), w.result) << w.word;
    p.x += 1;
    levelPocketArcHook(nullptr, 2, &p, 0.0);
    EXPECT_EQ(pathListClass(path_, path_->count - 1), w.kind) << w.word;
  }
  EXPECT_EQ(levelPocketStartEndHook("middle"), 1);
  // "start" marks the next arc once; a second "start" is the mark already applied.
  EXPECT_EQ(levelPocketStartEndHook("start"), 0);
  const int classes[] = {kLevelMarkStart, 0};
  for (int expected : classes) {
    p.x += 1;
    levelPocketArcHook(nullptr, 2, &p, 0.0);
    EXPECT_EQ(pathListClass(path_, path_->count - 1), expected);
  }
  levelPocketStartEndHook("start");
  p.x += 1;
  levelPocketArcHook(nullptr, 2, &p, 0.0);
  EXPECT_EQ(pathListClass(path_, path_->count - 1), 0);
  // "end" forgets the last mark, so "start" marks again afterwards.
  EXPECT_EQ(levelPocketStartEndHook("end"), 0);
  p.x += 1;
  levelPocketArcHook(nullptr, 2, &p, 0.0);
  EXPECT_EQ(pathListClass(path_, path_->count - 1), kLevelMarkEnd);
  levelPocketStartEndHook("end");
  levelPocketStartEndHook("start");
  p.x += 1;
  levelPocketArcHook(nullptr, 2, &p, 0.0);
  EXPECT_EQ(pathListClass(path_, path_->count - 1), kLevelMarkStart);
}
