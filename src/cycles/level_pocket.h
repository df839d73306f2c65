// level_pocket.h - clearing one Z level (or one group of pockets at a level) with a 2D pocket
// cycle run as a nested cycle: the level's parameter file "tmp.pcf" beside its contours
// "tmp.qdx" in "*TMP_DIR", the nested run with its POF output redirected into "tmp.pof", and the
// read-back of that POF through the hooks below into the level's path (run separators, approach
// kinds and start/end marks in the move codes). The contour-parallel variant retries twice with
// changed parameters before a level fails.
//
// Run state: the output path, the parameter counter, the markers, move kind, last point and ramp
// flag of the read-back (reset at every attempt), the reduction gate and the dormant hook flag and
// post hook; levelPocketResetState puts all of it back (the run-start reset calls it).
#pragma once

#include <cstdint>

#include "framework/cycle.h"
#include "geometry/path_list.h"
#include "geometry/vec.h"
#include "output/pof_reader.h"

// Approach kinds of the "start" records and the start/end markers of the "full" records (high
// byte of the move code).
inline constexpr int kLevelKindPlunge = 101;
inline constexpr int kLevelKindDrill = 102;
inline constexpr int kLevelKindLeft = 103;
inline constexpr int kLevelKindRight = 104;
inline constexpr int kLevelMarkStart = 120;
inline constexpr int kLevelMarkEnd = 121;
// Code of a run separator (class 2, kind 1; the path list keeps the class only).
inline constexpr int kLevelRunStartCode = 513;
// Low byte of the first point added after an "end" record while the ramp hook is installed.
inline constexpr int kLevelKindAfterRamp = 11;
// Most points one read-back arc is divided into, whatever the chordal step.
inline constexpr int kLevelArcMaxPoints = 100000;

// The cycle ids of the two nested pocket cycles.
inline constexpr char kLevelContourCycleId[] = "qdCCP";
inline constexpr char kLevelAxisCycleId[] = "qdAxCp";

// Messages of a failed attempt (level 9).
inline constexpr int kLevelMsgPofOpen = 1000;    // "* Fehler beim Oeffnen der POF Datei"
inline constexpr int kLevelMsgPcf = 1001;        // "* Error writing pcf file"
inline constexpr int kLevelMsgNestedRun = 3003;  // "* Error in computation" (nested run failed)

// ---- the level ------------------------------------------------------------------------------

// Pockets the level z with the contour-parallel cycle (tool radius R, scaled lengths) into out:
// a failed first attempt is retried with the fillet radius 0 and "*HORIZUSTEL" x 0.95, then with
// "*HORIZUSTEL" x 0.9 and the contour reduction off. The first two attempts send no error
// messages; the third reports. Both parameters come back bit for bit from saved copies.
// Returns 1 (or the post hook's result) on success; a negative value when all attempts failed.
int levelPocketContour(double R, double z, PathList* out, int stockMode);
// The same attempt with the axis-parallel cycle "qdAxCp": the parameter file written with stock
// mode 0, no contour reduction, no retries, no muting (a failed nested run sends 3003, the
// cycle's error records their messages) and no optional read-back hooks. Returns 1; -1 when the
// attempt failed.
int levelPocketAxis(double R, double z, PathList* out);
// One attempt with the contour-parallel cycle: parameter file, contour reduction, nested run,
// read-back. Returns 1; -1 when a file cannot be written or opened ("*TMP_DIR" holding '"' or a
// line break is refused), the nested run failed (options refused or a run code other than 0,
// message 3003 unless muted), or the read-back failed (no POF, or an error record).
int levelPocketRun(double R, double z, PathList* out, int stockMode);
// Writes the pocket cycles' parameter file for the level. Returns 1; 0 when the file cannot be
// opened or "*TMP_DIR" holds '"' or a line break (it would break the geoSource line).
int levelPocketWritePcf(const char* path, double R, double z, int stockMode);
// Runs the nested cycle of the id ("qdAxCp" the axis-parallel record, any other id the
// contour-parallel one; a null id is "qdCCP") with the arguments (cycle id, "-s<pcf>", "-POF").
// Returns the run code of cycRun (0 success) when the options parse; -1 when they are refused or
// the id or path is too long for an argument (31 and 1097 characters).
int levelPocketRunCycle(const char* pcfPath, const char* cycleId);
// out = dir, "/" unless dir ends in '\' or '/', name. Returns 1; 0 when it does not fit.
int levelPocketJoinPath(char* out, std::size_t size, const char* dir, const char* name);
// Replaces every '\' by '/' in place.
void levelPocketSlashPath(char* text);

// Dormant settings (no cycle of the system sets them): the hook flag (not 0 installs the pocket
// hook; 1 and 2 change the parameter file) and a post hook applied to the path of every
// successful attempt (a negative result fails the attempt).
void levelPocketSetHookFlag(int flag);
void levelPocketSetPostHook(int (*hook)(PathList* path));

// The pocket cycle record every attempt runs (null: each variant's own). A seam for tests that
// need a pocket run that fails.
void levelPocketSetCycleRecord(CycleRecord* cycle);

// ---- read-back hooks ------------------------------------------------------------------------

// Slot 0 (start of a planar run): adds the point as a run separator, makes it the last point.
void levelPocketRunStartHook(void* target, int kind, const Point3D* point);
// The same hook under its older name.
inline void levelPocketLineHook(void* target, int kind, const Point3D* point) {
  levelPocketRunStartHook(target, kind, point);
}
// Slots 1, 2 and 4: nothing.
void levelPocketNoopHook2(void* target, int kind);
void levelPocketNoopHook3();
void levelPocketNoopHook(void* target, int kind, const Point3D* end);
// Slot 3 (a planar move to end with bulge): a line adds the end; an arc from the last point is
// divided at the angular step 2 acos(1 - s / r) with s = "*STEP_MIN" (one chord when 2r <= s, s
// is not above 0 or not finite; at most kLevelArcMaxPoints points), points at the end's z, then
// the end. An arc ending at its start adds nothing. Code: kind 1, high byte the move kind, or a
// pending marker once.
void levelPocketArcHook(void* target, int kind, const Point3D* end, double bulge);
// Slot 5: "drill" 102, "plunge" 101, "left" 103, "right" 104, other words 0 become the move
// kind. Returns 0 for a known word, else 1.
int levelPocketMoveKindHook(const char* word);
// Slot 6: "start" makes 120 the pending marker; "end" makes 121 pending and clears the emitted
// marker. Returns 0 for "start" or "end", else 1.
int levelPocketStartEndHook(const char* word);
// Slot 7 while installed: stores the value as the axis-set byte of the points that follow.
void levelPocketSetLayerHook(int start);
// Slot 8 while installed: the next added point gets the low byte 11.
void levelPocketSetRampSeen();

// The read-back table: slots 0 to 6 as above, 7 to 9 empty. Installed as the POF read-back's
// default table when the library loads.
PofReadHooks levelPocketReadHooks();

// The arc of the read-back from S to E with the bulge: radius, centre, start and end angle
// (start < end counter-clockwise, start > end clockwise). Returns 0; -1 when S and E coincide
// within 1e-6 in x and y.
struct LevelPocketArc {
  double radius;
  double cx, cy;
  double startAngle, endAngle;
};
int levelPocketArcSteps(const Point3D& start, const Point3D& end, double bulge,
                        LevelPocketArc* out);
// Inserts a point into the output path (low byte 11 while the ramp flag is set, which it clears),
// with the axis-set value. Returns the insert's index; -1 without output path or on failure.
int levelPocketAddPoint(const Point3D& point, double param, int code);

// Reads the level's path and the parameter counter (for callers that drive the hooks).
void levelPocketSetPath(PathList* path);
double levelPocketParam();

// Run-start reset and test seam: everything above back to its state at load.
void levelPocketResetState();
