// platform.h - the few things the library asks of the operating system: its own file name, the
// build's version constants, a "C" locale for number parsing, random job ids, the clock, the
// process id, the home folder and the file-system questions of the readers and writers. Nothing
// outside this module calls the operating system.
#pragma once

#include <locale.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Address that identifies the library (the base of the loaded object holding this code); null
// when the system cannot say.
void* platModuleHandle();

// Writes the absolute file name of the loaded object that holds this code into out (size bytes,
// NUL-terminated). Returns 1 written; 0 when the name is unknown or does not fit (out is then
// empty). A name is never truncated.
int platModuleFileName(char* out, int size);

// The build's file version: text (e.g. "1.0.0.0") and its four numbers.
const char* platFileVersionText();
void platFileVersionNumbers(int out[4]);

// A "C" locale object for locale-independent parsing (strtod_l); created on first use and kept
// for the life of the process. Null only when the system could not create it (no memory).
locale_t platCLocale();

// Writes a new random version-4 UUID as lower-case 8-4-4-4-12 hexadecimal text (36 characters)
// into out (size bytes). Returns 1 written; 0 when the system gave no random bytes or out is null
// or shorter than 37 bytes (out is then empty when it has room for the NUL).
int platRandomUuid(char* out, std::size_t size);

// The wall clock in milliseconds since 1970-01-01 UTC.
std::int64_t platNowMillis();
// A steady clock in milliseconds from an arbitrary start: for run times (it never jumps).
std::int64_t platSteadyMillis();

// Formats the local time of epochSeconds with a strftime format in the "C" locale (day and month
// names in English whatever locale the host set) into out (size bytes, NUL-terminated).
// Returns 1 written; 0 when the time cannot be converted or the text does not fit (out is then
// empty).
int platLocalTimeText(char* out, std::size_t size, const char* format, std::int64_t epochSeconds);

// The wall clock in whole seconds since 1970-01-01 UTC.
std::int64_t platNowSeconds();

// The id of the running process.
long platProcessId();

// The user's home folder (the environment's HOME), or null when it is not set.
const char* platHomeDir();

// Creates the file path anew and empty, atomically: it must not exist yet. Returns 1 created
// (and closed); 0 when a file of that name exists; -1 for any other failure or a null path.
int platCreateNewFile(const char* path);

// 1 when path names a regular file (not a folder, device or pipe), else 0 (also for null).
int platIsRegularFile(const char* path);
// 1 when the open stream is a regular file, else 0 (also for null).
int platIsRegularStream(std::FILE* stream);
// 1 when both paths name the same file (the same device and file number); 0 when they name
// different files; -1 when either cannot be examined (missing, or null).
int platSameFile(const char* a, const char* b);

// The size of the open file in bytes into *size, with the stream put back at its start. Returns
// 1; 0 when the stream cannot seek (stream position then undefined) or an argument is null.
int platFileSize(std::FILE* stream, std::int64_t* size);

// 64-bit stream positions: platTell gives the position from the start (-1 when it cannot be
// told); platSeek moves there (1, or 0 when the stream cannot seek).
std::int64_t platTell(std::FILE* stream);
int platSeek(std::FILE* stream, std::int64_t offset);

// Test seam: releases the cached "C" locale object (a new one is made on next use).
void platResetState();
// What a path names (links followed): a regular file, something else that exists (a folder, a
// FIFO, a device, a socket), or nothing that can be examined. Readers open only regular files: a
// FIFO would block the open for ever; writers replace only regular files.
inline constexpr int kPlatRegularFile = 1;
inline constexpr int kPlatOtherFile = 0;
inline constexpr int kPlatNoFile = -1;
int platPathKind(const char* path);

// Creates a new, empty file for writing in the folder of path, named after path with the process
// id, a counter and ".tmp" appended, never replacing anything that exists. Returns the stream
// (text mode "w"; the permissions a new file of fopen gets) with its name in tempOut (size
// bytes); null with errno set when it cannot be created (tempOut is then empty).
std::FILE* platCreateBeside(const char* path, char* tempOut, std::size_t size);

// Renames from to to, replacing a file to in one step. Returns 1, or 0 with errno set.
int platRename(const char* from, const char* to);
// Removes a file. Returns 1, or 0 with errno set.
int platRemoveFile(const char* path);
