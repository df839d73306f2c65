// global_params.h - the global parameter block: every cycle parameter of the roughing and finishing
// computations as a typed field with its default, addressed by upper-case configuration keys.
// The computation reads its settings here rather than from the parameter list one by one.
#pragma once

#include <cstdint>
#include <ctime>

#include "framework/param_list.h"

// Size of a text field of the block, terminating zero included.
inline constexpr int kParTextSize = 256;

// The block: one field per configuration key, in table order, each holding its default at load.
// Field names are the key without '*' in lower camelCase ("*REPORT_CLASS" is reportClass); a key
// whose first word begins with a digit has that word moved last ("*3DF_DIR" is dir3df). Texts are
// zero-terminated and at most kParTextSize - 1 characters; three-double fields are x, y, z.
struct GlobalParams {
#define PAR_S(key, field, write, len, def) std::int16_t field = def;
#define PAR_D(key, field, write, len, def) double field = def;
#define PAR_L(key, field, write, len, def) std::int32_t field = def;
#define PAR_V(key, field, write, len, x, y, z) double field[3] = {x, y, z};
#define PAR_W(key, field, write, len, def) char field[kParTextSize] = def;
#define PAR_R(key, field, write, len, def) char field[kParTextSize] = def;
#include "framework/param_keywords.inc"
#undef PAR_S
#undef PAR_D
#undef PAR_L
#undef PAR_V
#undef PAR_W
#undef PAR_R
};

// Value types of a keyword row.
inline constexpr std::int16_t kParTypeShort = 0;
inline constexpr std::int16_t kParTypeDouble = 1;
inline constexpr std::int16_t kParTypeText = 2;
inline constexpr std::int16_t kParTypeLong = 3;
inline constexpr std::int16_t kParTypePoint = 4;

// Reading kinds of a keyword row: a number from the first word (for a text row the first word
// itself), the first word as text, the rest of the line with leading blanks removed, three numbers.
inline constexpr std::int16_t kParReadNumber = 0;
inline constexpr std::int16_t kParReadWord = 1;
inline constexpr std::int16_t kParReadRest = 2;
inline constexpr std::int16_t kParReadPoint = 15;

// One row of the keyword table, which ends with a row whose key is null.
// writeFlag 1: parCfgWrite writes the row as an active line; 0: as a comment line.
struct ParamKeyword {
  const char* key;
  std::int16_t type;
  std::int16_t writeFlag;
  std::int16_t readKind;
  void* target;
};

// Reads a configuration file (lines of a key and a value, '#' starts a comment) into the block.
// Keys match without regard to case; unknown keys, empty lines and comments are skipped. A line
// is read up to 256 characters; the rest of a longer line is discarded. Numbers are read as in
// the "C" locale. Once read, the message level becomes "*REPORT_CLASS" (out3dSetMsgLevel).
// Returns 1 read; 0 the file cannot be opened (block and message level unchanged).
int parCfgRead(const char* path);

// Stores the value of every list entry whose name is a configuration key (any case), read by the
// row's reading kind as if it were the rest of a configuration line; other entries are skipped.
// Texts longer than a field are cut to kParTextSize - 1 characters. Afterwards the message level
// becomes "*REPORT_CLASS" (out3dSetMsgLevel). Returns 1 (also for null).
int parSetFromList(const ParamNode* list);

// Writes the whole block as a configuration file: three header lines with the local time, then
// one line per row in table order, rows with write flag 0 as comment lines. Numbers are written
// as in the "C" locale. Returns 1 written; 0 the file cannot be created or written.
int parCfgWrite(const char* path);

// Sets the write flag of every row to 1 (it stays so), then parCfgWrite. Returns as parCfgWrite.
int parCfgWriteAll(const char* path);

// Multiplies every length field by factor, after keeping the unscaled "*PRECISION" and raising
// "*GRID_FACTOR" to at least 0.01; then caps "*PRECISION" at 0.01 and keeps it as the precision
// bound of parCollTolerance. Applied twice, it scales twice.
void parScaleUnits(double factor);

// The smaller of "*COLL_TOLERANCE" and the precision bound (0.01 until parScaleUnits ran).
double parCollTolerance();

// "*PRECISION" as it was before the last parScaleUnits; its default 0.01 until then. The level
// planning and the roughing read this unscaled precision.
double parUnscaledPrecision();

// "*SKIP_LAST_PLANE" and "*FINISH_PASS".
int parSkipLastPlane();
int parFinishPass();

// The process-wide block. Never null.
GlobalParams* parGlobalBlock();

// The keyword table, ended by a row whose key is null. Never null.
const ParamKeyword* parKeywordTable();

// Test seam: the header of parCfgWrite shows this time instead of the clock's; null restores
// the clock.
void parTestSetTime(const std::time_t* t);

// Restores the block, the write flags and the kept precision values to their values at load, as
// every cycle run starts (the cycles' run-start reset calls it). The test clock stays.
void parRunReset();

// Restores every default: the block, the write flags, the kept precision values and the clock.
void parResetState();
