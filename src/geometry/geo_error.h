// geo_error.h - the one error record of the geometry code with its debug switch and log, the work
// directory (of the log and of the temporary files of geo_files.h) and in-place array functions.
#pragma once

#include <cstddef>
#include <cstdio>
#include <source_location>

// Result codes shared by the geometry code and the subsystems above it (codes of one module are
// declared beside the functions that return them).
inline constexpr int kGeoFailed = -1;         // memory ran out, or a general failure
inline constexpr int kGeoBadArgument = -20;   // a null or unusable argument
inline constexpr int kGeoInconsistent = -46;  // a point walk or a triangulation is inconsistent
inline constexpr int kGeoNoBoundary =
    -202;  // no such boundary, or an inconsistent monotone polygon

// The last report of the geometry code. Initial and reset text "EMPTY", code 0, line 0.
// Negative codes are failures; 0 and positive codes only mark where an operation ended.
struct GeoErrorRecord {
  char file[264];  // reporting source file, or a logged message text (at most 263 characters)
  int code;
  int line;  // 0 after a reset and for geoErrLog
};

// Sets code 0, line 0 and the text "EMPTY". Returns 0.
int geoErrReset();
// The record's code.
int geoErrCode();
// Read access to the whole record.
const GeoErrorRecord* geoErrRecord();
// Stores code, line and a copy of the text (cut to 263 characters; null counts as empty). When
// code is negative and the debug switch is on, appends the record to "wogerrno.txt" in the work
// directory (an unopenable log is skipped). Returns 0 in every case.
int geoErrSet(int code, const char* file, int line);
// Records a failure of the named module at the caller's line and returns the code, so a failure
// is reported in one statement: `if (k == nullptr) return geoFail(-20, "kont2d");`.
int geoFail(int code, const char* module,
            std::source_location at = std::source_location::current());
// Logs a text line: geoErrSet(-1, text, 0), then puts the previous code back. Returns 0.
int geoErrLog(const char* text);
// Writes "code = %d, line = %d, file = %s\n" of the record to f and flushes it. Returns 0
// (nothing written for a null file).
int geoErrWriteLine(std::FILE* f);

// The debug switch. The first call in a process decides it: it is 1 when the file
// "wogdebug.info" in the working directory holds, within one piece of at most 49 characters, both
// "DEBUG" and "1" (case-sensitive). Later calls return the stored value.
int geoDebugOn();

// Room of the work directory's name, its NUL included.
inline constexpr std::size_t kGeoWorkDirMax = 1024;
// Sets the work directory (initially "./"), where the error log and temporary files go. Returns
// 1; -20 (directory unchanged) for a null text or one too long for the log path to fit in 1024
// characters.
int geoSetWorkDir(const char* dir);
// The current work directory.
const char* geoWorkDir();
// Exchanges two integers; returns a.
int* geoSwapInt(int* a, int* b);
// Exchanges two blocks of n bytes.
void geoSwapBytes(void* a, void* b, std::size_t n);
// Reverses the records of size bytes in [first, end) in place.
void geoReverseArray(void* first, void* end, std::size_t size);
// For the consecutive record ranges [a, b) and [b, c): moves the records of [b, c) in front of
// those of [a, b), each range keeping its order.
void geoRotateArray(void* a, void* b, void* c, std::size_t size);

// Test seam: back to the state at load (record reset, switch undecided, work directory "./").
void geoResetState();
