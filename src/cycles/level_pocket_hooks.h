// level_pocket_hooks.h - the hooks through which the POF read-back hands the moves of a nested
// pocket cycle to the level pocketing: lines and arcs become points of the level's path, move
// kinds and start/end marks become the points' move codes. The level's path, its running point
// parameter and the chordal step are the level pocketing's state, set here by its caller.
#pragma once

#include "geometry/path_list.h"
#include "geometry/vec.h"
#include "output/pof_reader.h"

// Move kinds of the "start" records and the start/end marks of the "full" records (high byte of
// the move code).
inline constexpr int kLevelKindDrill = 102;
inline constexpr int kLevelKindPlunge = 101;
inline constexpr int kLevelKindLeft = 103;
inline constexpr int kLevelKindRight = 104;
inline constexpr int kLevelMarkStart = 120;
inline constexpr int kLevelMarkEnd = 121;

// The level's path the hooks append to (null: points are dropped). Not owned.
void levelPocketSetPath(PathList* path);
// The running point parameter, set to 0 before each read-back.
void levelPocketSetParam(double param);
double levelPocketParam();
// The chordal step s of the arc division (0 at load: arcs become one chord).
void levelPocketSetChordStep(double step);

// Hook slot 1: appends the point with the running parameter and the move code 513 (kind 1, class
// 2: no cutting move into it), remembers it as the path's last point and raises the parameter
// by 1.
void levelPocketLineHook(void* target, int kind, const Point3D* point);
// Hook slots 2, 3 and 5: nothing.
void levelPocketNoopHook2(void* target, int kind);
void levelPocketNoopHook3();
void levelPocketNoopHook(void* target, int kind, const Point3D* end);
// Hook slot 4: a bulge below 1e-6 appends the end point; otherwise the arc from the last point
// to the end point is divided at the angular step 2 acos(1 - s / r) (one chord when 2r <= s or
// s <= 0) and its points get the end point's z; the end point follows (with the parameter of the
// last point when that lies within 1e-3 of it). An arc ending at its start appends nothing.
// Move code: kind 1, class the current move kind, or a pending start/end mark once.
void levelPocketArcHook(void* target, int kind, const Point3D* end, double bulge);
// Hook slot 6: "drill" 102, "plunge" 101, "left" 103, "right" 104, any other word 0 becomes the
// current move kind. Returns 0 when the word matched, else 1.
int levelPocketMoveKindHook(const char* word);
// Hook slot 7: "start" makes 120 the pending mark; "end" makes 121 the pending mark and forgets
// which mark was last applied. Returns 0 for "start" or "end", else 1.
int levelPocketStartEndHook(const char* word);

// The read-back table of the level pocketing: slots 1 to 7 as above, 8 to 10 empty. Installed as
// the POF read-back's default table when the library loads (cyclesInstallHooks).
PofReadHooks levelPocketReadHooks();

// Test seam: path, parameter, step, move kind and marks back to the state at load.
void levelPocketResetState();
