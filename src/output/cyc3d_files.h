// cyc3d_files.h - names of the temporary geometry files of a 3D cycle run: one name per file
// kind and process, in the run's temporary folder, so every reader finds what a writer made.
#pragma once

#include <cstddef>

// Room the names are built in, terminating NUL included.
inline constexpr std::size_t kCyc3dTempNameSize = 384;

// Writes into out (outSize bytes) the folder, then '/' unless the folder is empty or already
// ends in '/' or '\', then the current process id in decimal, then '.' and the extension.
// Returns 1; 0 when an argument is null, outSize is 0, or the name does not fit outSize or
// kCyc3dTempNameSize (out is then empty when it has room): a cut name would name another file.
int cyc3dTempFileName(char* out, std::size_t outSize, const char* folder, const char* extension);

// Writes folder and name joined by '/' into out (size bytes): no '/' is added when the folder is
// empty or ends in '/' or '\'. Returns 1; 0 when an argument is null or the path does not fit
// (out is then empty when it has room).
int cyc3dJoinPath(char* out, std::size_t size, const char* folder, const char* name);
