// level_pocket_hooks.cpp - the level pocketing's side of the POF read-back: its state (the level's
// path, the running parameter, the chordal step, the current move kind and the start/end marks)
// and the hooks that fill the path.
#include "cycles/level_pocket_hooks.h"

#include <cmath>
#include <cstring>

namespace {
// Most points one arc is divided into: a chordal step far below the arc's size must not stall the
// read-back on millions of points.
constexpr int kLevelArcMaxPoints = 100000;
constexpr int kLevelLineCode = (kPathClassGap << 8) | kPathKindMade;  // 513

struct LevelPocketState {
  PathList* path = nullptr;
  double param = 0.0;
  double chordStep = 0.0;
  Point3D last{0, 0, 0};
  bool hasLast = false;
  int moveKind = 0;
  int pendingMark = 0;
  int lastMark = 0;
};
LevelPocketState levelState;

// Appends one point with the running parameter (raised by 1 afterwards unless reuse).
void levelAppend(const Point3D& p, int code, bool reuseParam) {
  double param = levelState.param;
  if (reuseParam) param -= 1.0;
  if (levelState.path != nullptr) {
    const Point3D up{0, 0, 1};
    pathListInsert(levelState.path, param, p, code,
                   levelState.path->axes != nullptr ? &up : nullptr, 0);
  }
  if (!reuseParam) levelState.param += 1.0;
  levelState.last = p;
  levelState.hasLast = true;
}

// The move code of the next arc: a pending mark other than the one last applied, once; else the
// current move kind.
int levelArcCode() {
  int high = levelState.moveKind;
  if (levelState.pendingMark != 0 && levelState.pendingMark != levelState.lastMark) {
    high = levelState.pendingMark;
    levelState.lastMark = levelState.pendingMark;
    levelState.pendingMark = 0;
  }
  return ((high & 0xFF) << 8) | kPathKindMade;
}
}  // namespace

void levelPocketSetPath(PathList* path) {
  levelState.path = path;
  levelState.hasLast = false;
}
void levelPocketSetParam(double param) { levelState.param = param; }
double levelPocketParam() { return levelState.param; }
void levelPocketSetChordStep(double step) { levelState.chordStep = step; }

void levelPocketLineHook(void*, int, const Point3D* point) {
  if (point == nullptr) return;
  levelAppend(*point, kLevelLineCode, false);
}

void levelPocketNoopHook2(void*, int) {}
void levelPocketNoopHook3() {}
void levelPocketNoopHook(void*, int, const Point3D*) {}

void levelPocketArcHook(void*, int, const Point3D* end, double bulge) {
  if (end == nullptr) return;
  const Point3D start = levelState.last;
  if (levelState.hasLast && std::fabs(end->x - start.x) < 1e-6 &&
      std::fabs(end->y - start.y) < 1e-6 && std::fabs(bulge) >= 1e-6) {
    return;  // an arc back to its start has no chord to turn about
  }
  const int code = levelArcCode();
  if (std::fabs(bulge) < 1e-6 || !levelState.hasLast) {
    levelAppend(*end, code, false);
    return;
  }
  Point2D centre{0, 0};
  double r = 0, angle = 0;
  pofBulgeArc(start.x, start.y, end->x, end->y, bulge, &centre, &r, &angle);
  const double s = levelState.chordStep;
  const double sweep = std::fabs(angle);
  double step = sweep;  // one chord: no point between start and end
  if (s > 0 && 2 * r > s) step = 2 * std::acos(1 - s / r);
  if (step < sweep / kLevelArcMaxPoints) step = sweep / kLevelArcMaxPoints;
  const double sign = angle < 0 ? -1.0 : 1.0;
  const double a0 = std::atan2(start.y - centre.y, start.x - centre.x);
  Point3D p = start;
  bool generated = false;
  for (double t = step; t < sweep; t += step) {
    p = {centre.x + r * std::cos(a0 + sign * t), centre.y + r * std::sin(a0 + sign * t), end->z};
    levelAppend(p, code, false);
    generated = true;
  }
  const double dx = p.x - end->x, dy = p.y - end->y, dz = p.z - end->z;
  levelAppend(*end, code, generated && dx * dx + dy * dy + dz * dz < 1e-6);
}

int levelPocketMoveKindHook(const char* word) {
  static constexpr struct {
    const char* word;
    int kind;
  } kKinds[] = {{"drill", kLevelKindDrill},
                {"plunge", kLevelKindPlunge},
                {"left", kLevelKindLeft},
                {"right", kLevelKindRight}};
  levelState.moveKind = 0;
  if (word == nullptr) return 1;
  for (const auto& k : kKinds) {
    if (std::strcmp(word, k.word) == 0) {
      levelState.moveKind = k.kind;
      return 0;
    }
  }
  return 1;
}

int levelPocketStartEndHook(const char* word) {
  if (word == nullptr) return 1;
  if (std::strcmp(word, "start") == 0) {
    levelState.pendingMark = kLevelMarkStart;
    return 0;
  }
  if (std::strcmp(word, "end") == 0) {
    levelState.pendingMark = kLevelMarkEnd;
    levelState.lastMark = 0;
    return 0;
  }
  return 1;
}

PofReadHooks levelPocketReadHooks() {
  PofReadHooks h{};
  h.pathStartArc = levelPocketLineHook;
  h.pathStartLine = levelPocketNoopHook2;
  h.pathEnd = levelPocketNoopHook3;
  h.arcMove = levelPocketArcHook;
  h.lineMove = levelPocketNoopHook;
  h.moveKind = levelPocketMoveKindHook;
  h.startEnd = levelPocketStartEndHook;
  return h;
}

void levelPocketResetState() { levelState = LevelPocketState{}; }
