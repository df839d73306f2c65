// geo_error.h - the one error record of the geometry code with its debug switch and log, and the
// library's small services: work directory, file copy and existence, unique temporary files, a
// reproducible random generator and in-place array functions.
#pragma once

#include <cstddef>
#include <cstdio>
#include <source_location>

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

// Sets the work directory (initially "./"), where the error log and temporary files go. Returns
// 1; -20 (directory unchanged) for a null text or one too long for the log path to fit in 1024
// characters.
int geoSetWorkDir(const char* dir);
// The current work directory.
const char* geoWorkDir();
// Copies a file byte by byte. Returns 1; 0 when the source name is null or empty; -1 when the
// target name is null or empty or either file does not open (no file is left open).
int geoFileCopy(const char* source, const char* target);
// 1 when the file opens for reading; 0 otherwise and for a null or empty name.
int geoFileExists(const char* name);
// Creates a new empty file in the work directory, atomically (it did not exist before), named
// work directory, "/", a lower-case hexadecimal number made from the process id and a
// process-wide counter, then the suffix when one is given; copies the name to out. The caller
// owns the file. Returns 1; 0 when 200 candidate names all exist or the file cannot be created
// (out unchanged); -20 for a null out or an outSize too small for the name (out unchanged).
int geoTempFileName(char* out, std::size_t outSize, const char* suffix);

// Reproducible random generator of the library, independent of the C library's: state = seed
// mod 259200.
void geoRandSeed(unsigned int seed);
// state = (7141 state + 54773) mod 259200; returns state / 259200, in [0, 1).
double geoRandNext();

// Exchanges two integers; returns a.
int* geoSwapInt(int* a, int* b);
// Exchanges two blocks of n bytes.
void geoSwapBytes(void* a, void* b, std::size_t n);
// Reverses the records of size bytes in [first, end) in place.
void geoReverseArray(void* first, void* end, std::size_t size);
// For the consecutive record ranges [a, b) and [b, c): moves the records of [b, c) in front of
// those of [a, b), each range keeping its order.
void geoRotateArray(void* a, void* b, void* c, std::size_t size);

// Test seam: back to the state at load (record reset, switch undecided, work directory "./",
// random state 1, temporary-name counter 0).
void geoResetState();
