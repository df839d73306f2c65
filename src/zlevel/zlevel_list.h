// zlevel_list.h - the Z levels of one roughing region, from the top down, each a plane level (a
// horizontal face or the region's own height) or a stepdown level. The roughing controller builds
// one list per region (plane levels first, then the stepdown ladder) and slices the model at each
// level in list order.
//
// The level tolerance tol is evaluated anew at every call: 0.005 when unitFactor x the unscaled
// "*PRECISION" is at least 0.02, else 0.001. zlevInsert stores the requested height plus tol.
#pragma once

#include <cstdint>

// Kinds of a level.
constexpr std::int16_t kZlevStepdown = 0;
constexpr std::int16_t kZlevPlane = 1;
// The two values of the level tolerance and the product of unit factor and unscaled precision
// from which the larger applies.
constexpr double kZlevTolFine = 0.001;
constexpr double kZlevTolCoarse = 0.005;
constexpr double kZlevCoarseFrom = 0.02;
// Smallest stepdown; the ladder's own merge gap and the distance at which it meets zmin.
constexpr double kZlevMinStep = 0.001;
// Most ladder levels a stepdown fill makes; a wider ladder is refused.
constexpr double kZlevMaxLadder = 1e6;

// Heights descending: index 0 is the highest level. Both arrays hold capacity entries; entries at
// and beyond count mean nothing.
struct ZLevelList {
  std::int32_t capacity;
  std::int32_t count;
  double zmax;  // highest acceptable height (inclusive)
  double zmin;  // lowest acceptable height (inclusive)
  double* z;
  std::int16_t* flag;  // kZlevPlane or kZlevStepdown
};

// New empty list with room for capacity levels (a capacity of 0 still gets arrays). Null for a
// negative capacity or when memory runs out (nothing left allocated).
ZLevelList* zlevNew(int capacity, double zmax, double zmin);
// Frees both arrays and the record. Returns 0 (also for null).
int zlevFree(ZLevelList* list);

// The level tolerance as stated above.
double zlevTolerance();

// Inserts z + tol with the kind at its place, or lets the first level met from the top within
// gap + tol of z absorb it (a level below z is raised to z + tol, its kind kept). Only levels
// above the insertion place are tested. A full list grows by 100 entries.
// Returns 1 inserted; 0 absorbed, or z outside [zmin, zmax] or not a number, or gap not a number
// (nothing changed); -1 null list or no memory (the list must then only be freed).
int zlevInsert(ZLevelList* list, double z, double gap, int kind);
// zlevInsert with tol = 0: the height is stored as given.
int zlevInsertExact(ZLevelList* list, double z, double gap, int kind);

// The stepdown ladder from zmax - step down to zmin (gap 0.001, kind stepdown), restarting one
// step below every existing level that lies closer than one step above the next ladder height,
// always ending with a level at zmin. With "*FINISH_PASS" 2 and "*SKIP_LAST_PLANE" 1 the lowest
// level is dropped afterwards. Returns 1; -1 for a null list, a step below 0.001 or not finite,
// zmax or zmin not finite, a ladder of more than 10^6 levels (list unchanged in these cases), or a
// failed insertion.
int zlevFillStepdown(ZLevelList* list, double step);
// zlevFillStepdown with every insertion made by zlevInsertExact.
int zlevFillStepdownExact(ZLevelList* list, double step);

// Index of the lowest level strictly above z (the leading run of levels > z, minus 1); -1 when
// no level is above z, or the list is empty or null.
int zlevIndexAbove(const ZLevelList* list, double z);
// 1 when some level lies closer than gap + tol to z; 0 otherwise and for null.
int zlevHasNear(const ZLevelList* list, double z, double gap);
// Removes the level at index (the later ones move up). Returns the new count; an index outside
// 0 .. count - 1 changes nothing; -1 for null.
int zlevRemoveAt(ZLevelList* list, int index);

// The level file, little-endian without header or padding: count (i32), zmax, zmin (f64),
// count heights (f64), count kinds (i16).
constexpr int kZlevFileHead = 20;
constexpr int kZlevFilePerLevel = 10;

// Writes the level file ("wb"); a null list writes an empty file. Returns 1; -1 for a null name,
// a file that does not open or a short write.
int zlevSave(const ZLevelList* list, const char* fileName);
// Reads a level file into a new list whose capacity equals the stored count. Null for a null
// name, a file that does not open, a negative count or one the file cannot hold, a short read, or
// no memory.
ZLevelList* zlevLoad(const char* fileName);
