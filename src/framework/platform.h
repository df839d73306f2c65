// platform.h - the few things the library asks of the operating system: its own file name, the
// build's version constants, a "C" locale for number parsing, random job ids, the clock, and the
// few file-system calls of the readers and writers (what a path names, a new file beside another,
// renaming). Nothing else touches the OS here.
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

// Formats the local time of epochSeconds with a strftime format in the "C" locale (day and month
// names in English whatever locale the host set) into out (size bytes, NUL-terminated).
// Returns 1 written; 0 when the time cannot be converted or the text does not fit (out is then
// empty).
int platLocalTimeText(char* out, std::size_t size, const char* format, std::int64_t epochSeconds);

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
