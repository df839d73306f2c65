// platform.h - the few things the library asks of the operating system: its own file name, the
// build's version constants and a "C" locale for number parsing. Nothing else touches the OS here.
#pragma once

#include <locale.h>

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
