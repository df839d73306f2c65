// zpath_file.h - the Z-path file of a region and the boundary dumps of paths. The roughing
// writes every sliced path to the region's file as soon as its level is done, so only one level
// stays in memory, and reads the whole file back after the last level; reading drops repeated
// points and paths that repeat an earlier one.
//
// The file is a sequence of entries and nothing else, little-endian: the path record's fields
// count (i32), capacity (i32), xmin, ymin, xmax, ymax, groupStartX, groupStartY, subGroupStartX,
// subGroupStartY, z, area (f64 each), closed, orientation, materialInside, nestingDepth, groupId,
// subGroupId, reserved (i32 each), flags (u32) and four handle words (written 0, ignored), then
// the n points (f32 x, y), contacts (f32 x, y, z), element ids (i32) and contact kinds (i32).
//
// Run state: the block counters of the two dumps (both start at 1), reset by zpathFileResetState
// at the start of every top-level run.
#pragma once

#include <cstddef>

#include "geometry/zlevel_records.h"

struct Kont2D;

// Bytes of an entry before its point arrays, and per point.
constexpr std::size_t kZpathEntryHead = 136;
constexpr std::size_t kZpathEntryPerPoint = 28;
// The line logged for every path that repeats an earlier one.
inline constexpr const char* kZpathIdenticalLog = "Indentischer zPath entfernt";

// Creates the file or empties it. Returns 1; -1 for a null name or when the file cannot be opened
// (it then stays as it was).
int zpathFileTruncate(const char* fileName);
// Appends one entry for the path. Returns 1; -1 for a null name, when the file cannot be opened
// or a write falls short (the entries before stay); -20 for a null path or one whose count does
// not fit its arrays.
int zpathFileAppend(const char* fileName, const ZPath* path);
// Appends one entry per contour of the region (outer contour, then its islands): a closed
// boundary path of the contour at height z (zpathFromContour) flagged ZP_OUTIN_PASS and
// ZP_BOUNDARY_COPY, and ZP_PLANE_LEVEL when plane is non-zero. Returns 1 for a null region;
// otherwise the result of the last write: -1 at once when a contour cannot be converted (fewer
// than 3 segments, no memory; error record -1), a failed write's code (error record set) ends the
// loop.
int zpathFileAppendContours(const char* fileName, const Kont2D* region, double z, int plane);
// Reads every entry of the file into a new list (capacity 0 at the start, growing by 500 paths),
// each path with capacity = count, repeated points removed (zpathRemoveDuplicatePoints, mode 1),
// then zpathListRemoveIdentical. 1 to 135 bytes left at the end are ignored. An entry's count is
// trusted only as far as the file can hold it: 0 gives an empty path; a negative count or one
// whose arrays the file cuts short gives null (error record -1), as does running out of memory.
// Null, nothing recorded, when the file cannot be opened. An empty file gives an empty list.
ZPathList* zpathListRead(const char* fileName);

// Removes every path that repeats an earlier path of the list: at one level (z within 1e-5),
// overlapping boxes, equal orientation, flags and material side, areas and squared box diagonals
// within 10 % and 1 %, both box corners within 1e-5 (squared distance over the larger squared
// diagonal G, which must be at least 1e-5) and every point of the later path within 0.0001 G of
// the earlier one (zpathPointDistance). A path whose z is not a number lies at no level and a pair
// whose larger squared diagonal overflows is no repeat, so reading a file written from a list read
// before gives that list again. Each path j is compared with the later paths k in order; in a list
// sorted by falling z (no z is larger than the one before, none is not a number) the comparison
// stops at the first other level. Each removal logs kZpathIdenticalLog. Pairs that cannot pass
// the box, level and corner tests are skipped without being evaluated; the paths removed are
// those of zpathListRemoveIdenticalPlain. Returns 1 (also for null).
int zpathListRemoveIdentical(ZPathList* list);
// The same by comparing every pair in order: the reference of the pruned method.
int zpathListRemoveIdenticalPlain(ZPathList* list);

// Appends one "**BND n" block of the path's points (and the first point again) with the path's z,
// mapped from the tool system to world coordinates (csysToolToWorld), "X Y Z" with 12 decimals,
// then "**END". Returns 1; 0 for a null or empty path; -1 for a null or empty name or when the
// file cannot be opened.
int zpathAppendBnd(const ZPath* path, const char* fileName);
// As zpathAppendBnd with the header "**BNDn **WZ" and the coordinates as stored.
int zpathAppendBndWz(const ZPath* path, const char* fileName);

// Test seam and run-start reset: both block counters back to 1.
void zpathFileResetState();
