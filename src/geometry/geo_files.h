// geo_files.h - the file services of the geometry code: byte-for-byte copy, existence, and unique
// temporary files created in the work directory (geoWorkDir).
#pragma once

#include <cstddef>

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

// Test seam: the temporary-name counter back to 0.
void geoFilesResetState();
