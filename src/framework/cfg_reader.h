// cfg_reader.h - ".CFG" sources: lines of a key and a value with '#' comments, read into the
// entry list of a run (ParamNode, kind 21 for a configuration source).
#pragma once

#include <cstdio>

#include "framework/param_list.h"

// Longest key and value cfgReadLine hands out.
constexpr int kCfgKeyMax = 259;
constexpr int kCfgValueMax = 519;

// Reads the next entry: the key is the first run of characters other than blank and tab, the
// value the rest of the line with each blank or tab made one blank and trailing blanks removed;
// '#' starts a comment up to the line end; lines without key are skipped; CR or LF end a line and
// the end of the file (or byte 26) ends the last one. A key or value longer than kCfgKeyMax or
// kCfgValueMax is cut there and the rest of its line is discarded (never read as an entry of its
// own). A NUL byte ends the key or value being read; the rest of its line is discarded. Returns 1
// with *key and *value pointing into buffers of this module that the next call overwrites (the
// value may be empty); 0 at the end of the file or when an argument is null.
int cfgReadLine(std::FILE* stream, const char** key, const char** value);

// Appends an entry at the end of the list with copies of key and value (an empty text when the
// value is null or empty) and the kind. Returns the list's head; the list as it was when the key
// is null or empty or memory fails.
ParamNode* cfgListAppend(ParamNode* list, const char* key, const char* value, int kind);

// Appends every entry of the ".CFG" file at path, in file order, with the kind. Returns the list's
// head; the list as it was when the path is null, the file cannot be opened, or it is no regular
// file (skipped with msgWarnSkippedSource). An entry whose memory fails is left out.
// The run's own source (kind kParKindSource) must mean what it says: a line whose key does not
// begin with '*', a key or value that was cut, a byte that no text holds (which ends the reading),
// a source that cannot be opened, is no regular file or holds no entry are faults of the load
// (parLoadFaultAdd, "<path>:<line>: ..."), and a faulty line is not appended. The source's path
// is kept (parSetLoadedSource).
ParamNode* cfgLoadFile(ParamNode* list, const char* path, int kind);

// Tests: clears the line buffers.
void cfgResetState();
