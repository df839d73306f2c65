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

// Longest name or value an entry of a parameter file may hold (as long as the longest path).
inline constexpr std::size_t kParValueMax = 4095;

// Loads the entries of a file into list with the given kind. A job means what it says, so every
// line must be blank, a comment or a whole "name := value" line: each other line is a fault of the
// load (parLoadFaultAdd: "<path>:<line>: not a name := value line: <its start>", "... text after
// the value of <name>", "... a name or value longer than 4095 characters"; at most
// kParFaultsKept lines, then reading stops), is not loaded, and reading goes on with the next
// line. A byte that no text holds (a control character other than tab, CR and LF) makes the
// fault "<path>: not a text file (byte 0x..)" and ends the reading. A source (kind
// kParKindSource) that cannot be opened, names no regular file or holds no entry at all is a
// fault too; a definition file may be missing or empty. Returns the new head; the list unchanged
// when the file cannot be opened.
ParamNode* parLoadFile(ParamNode* list, const char* path, int kind);

// The faults of the sources that the current run loaded, kept from the load until the run reports
// them (the phase runner does, before the parameters are read, and fails the run). Each text
// names the file and, where there is one, the line. The ".CFG" reader adds its faults here too.
// At most kParFaultsKept texts are kept; parLoadFaultCount counts all.
inline constexpr int kParFaultsKept = 10;
void parLoadFaultAdd(const char* text);
int parLoadFaultCount();
// The i-th kept fault text, or null.
const char* parLoadFaultText(int i);
// Forgets them (each run's option parse does, before it loads its sources).
void parLoadFaultsClear();

// The path of the run's own source as it was opened (a ".pcf" source of parLoadFile with kind
// kParKindSource, or a ".CFG" source), or null: the readers compare the files a job names with it.
// parSetLoadedSource keeps a copy (null forgets it; each run's option parse does).
const char* parLoadedSource();
void parSetLoadedSource(const char* path);

// Receives the text of one entry of a language file section (after the ':', at most 259
// characters).
using LangEntryFn = void (*)(const char* text, void* user);

// Looks in a language file for the section of language (see the file format in param_file.cpp)
// and reads its entries, handing each entry's text to each (when set) in file order. Returns 1
// when the section exists and holds at least one entry; 0 when it does not, when the file cannot
// be opened, or when 4 language files are already open.
int langFileReadSection(const char* fileName, const char* language, LangEntryFn each = nullptr,
                        void* user = nullptr);

// Run start: closes any language file left open and empties the table. The run's source and its
// load faults stay: the sources are loaded before the run's first phase.
void parFileRunReset();
// Test seam: parFileRunReset, and no load fault and no loaded source, as at load.
void parFileResetState();
