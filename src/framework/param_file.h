// param_file.h - parameter files (name ":=" value lines, read into a ParamNode list) and the
// language-sectioned text files that the information phases consult.
#pragma once

#include <cstdio>

#include "framework/param_list.h"

// Kinds of parameter entries (ParamNode::kind).
inline constexpr int kParKindDefinition = 13;  // the cycle's ".def" file
inline constexpr int kParKindSource = 21;      // the run's ".pcf" or ".CFG" source
inline constexpr int kParKindProgram = 31;     // set by the program

// Longest path the framework opens; a longer one (after '~' expansion) fails to open, it is
// never cut.
inline constexpr std::size_t kParPathMax = 4095;

// Opens a parameter or language file for reading ("rb"). "| stdin" (exactly) is the standard
// input; a leading '~' stands for the value of HOME. Returns the stream, or null when the file
// cannot be opened, HOME is not set for a '~' path, the path is longer than kParPathMax, or it
// names no regular file (a FIFO, a folder, a device: skipped with msgWarnSkippedSource).
// Close it with parFileClose, which leaves the standard input open.
std::FILE* parFileOpen(const char* path);
// Closes a stream of parFileOpen; the standard input is never closed. Accepts null.
void parFileClose(std::FILE* stream);

// Reads the next entry of a parameter file. Returns 1 with owned name and value in entry (free
// them, or hand them to parListTake); 0 when the next line yields no entry (end of input, a
// malformed line, no memory), with entry's texts null. Blank lines and ';' comment lines are
// skipped; a line whose quoted value is empty ("name := \"\"") is skipped as well.
int parReadPair(std::FILE* stream, ParamPair* entry);

// Loads the entries of a file into list with the given kind, up to the first line that yields no
// entry. Returns the new head; the list unchanged when the file cannot be opened.
ParamNode* parLoadFile(ParamNode* list, const char* path, int kind);

// Receives the text of one entry of a language file section (after the ':', at most 259
// characters).
using LangEntryFn = void (*)(const char* text, void* user);

// Looks in a language file for the section of language (see the file format in param_file.cpp)
// and reads its entries, handing each entry's text to each (when set) in file order. Returns 1
// when the section exists and holds at least one entry; 0 when it does not, when the file cannot
// be opened, or when 4 language files are already open.
int langFileReadSection(const char* fileName, const char* language, LangEntryFn each = nullptr,
                        void* user = nullptr);

// Test seam: closes any language file left open and empties the table, as at load.
void parFileResetState();
