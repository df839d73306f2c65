// pof_reader.h - reading POF text back: a layered text stream that reads "layer: text" lines
// from a stack of sources (following "include" records into other files) and hands each line to
// the handler of its layer, and the read-back that turns the move lines of layers 31 and 34 into
// calls of a table of ten hooks. The roughing builds the path of a level from the POF output of
// its nested pocket cycle this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "framework/xchg_lexer.h"
#include "geometry/vec.h"

// ---- layered text stream ----------------------------------------------------------------------

// One source of lines: a file (or standard input for "| stdin"), kept open while on top; an
// include closes it and notes where to resume.
struct PofSource {
  char* path;
  std::FILE* file;           // null while an include reads above it
  std::int64_t savedOffset;  // file position where reading resumes after an include
  std::int32_t savedCr;      // line-end flags and line number at the include
  std::int32_t savedLf;
  std::int32_t savedLine;
  PofSource* next;  // the source below
};

// A line handler gets the line text (after the colon, the blank after it included) and the user
// word. Its result is ignored.
using PofLineHandler = int (*)(const char* text, std::int32_t user);

// One handler of a ring sorted by layer, at most one per layer.
struct PofLayerHandler {
  std::uint16_t layer;
  PofLineHandler handler;
  std::int32_t user;
  std::int32_t calls;  // lines handed over since the stream started
  PofLayerHandler* next;
};

struct PofLineStream {
  PofSource* sources;         // the source being read on top
  std::uint16_t length;       // characters in the line buffer
  std::int32_t capacity;      // the line buffer's size in characters
  char* line;                 // capacity + 4 bytes
  std::int16_t layer;         // layer of the current line
  PofLayerHandler* handlers;  // the handler of the lowest layer; the ring closes on it
  std::int32_t
      crSeen;  // the last line ended on CR / on LF: the other one right after belongs to it
  std::int32_t lfSeen;
  std::int32_t lineNumber;  // from 1 per source
  std::int32_t depth;       // sources on the stack
};

// Includes nest at most this deep; an include beyond it, or of a file already being read, is
// skipped, so a file that includes itself ends.
inline constexpr int kPofMaxIncludeDepth = 16;
// Line buffer of the read-back, in characters.
inline constexpr int kPofReadLineCapacity = 512;

// A stream with one source (path copied) and an empty ring. Null when memory fails, path is null
// or capacity is below 1 or above 65535.
PofLineStream* pofStreamNew(const char* path, int capacity);
// A handler node for the ring; null when memory fails.
PofLayerHandler* pofHandlerNew(std::uint16_t layer, PofLineHandler handler, std::int32_t user);
// Puts the node into the ring in order of layer; a node of a layer already present replaces it
// (the old node is freed). Returns 1; 0 for a null argument.
int pofStreamAddHandler(PofLineStream* stream, PofLayerHandler* node);
// Opens the top source and hands every line to its handler until the sources are used up.
// Returns 1; 0 when the source cannot be opened, the stream has no handler or no line buffer.
int pofStreamRun(PofLineStream* stream);
// Opens the top source: "| stdin" reads standard input, any other path is opened as raw bytes;
// resets the line-end flags, the line number (1) and every handler's call count.
// Returns 1; 0 for an empty path or a file that cannot be opened.
int pofStreamStart(PofLineStream* stream);
// Reads the next line and hands it to its layer's handler (a line without handler is passed
// over); a used-up source is popped and the one below resumes. Returns 1 while lines come; 0 when
// no source is left.
int pofStreamStep(PofLineStream* stream);
// Pushes path as the new top source and opens it at once (raw bytes); the source below is closed
// and resumes after the include line when the new one ends. An include from standard input, one
// beyond kPofMaxIncludeDepth, of a file already on the stack, or of anything but a regular file
// (a missing one included) is skipped. Returns 1 pushed; 0 skipped or no memory.
int pofStreamInclude(PofLineStream* stream, const char* path);
// The next line's text of the top source and its layer in *layer; null when the source is used
// up (a last line without line end is dropped: a file cut off mid-write gives no half line).
const char* pofStreamReadLine(PofLineStream* stream, std::int16_t* layer);
// Closes the top source's file.
void pofStreamClose(PofLineStream* stream);
// Frees sources (closing their files), line buffer and handlers; accepts null.
void pofStreamFree(PofLineStream* stream);

// ---- read-back --------------------------------------------------------------------------------

// Longest name or value the callers keep (their buffers hold this many characters and a NUL).
inline constexpr std::size_t kRuppCallTextMax = 255;

// Reads a line of the form name(value): a machine of two states, ruppParseName then
// ruppParseArgument, run while the state is not negative. Blanks and tabs are skipped; a blank
// after a word starts the name again, so the name is the last word before '('. The value is every
// character after the '(' up to the next ')' or the end of the text. Each output gets at most
// size - 1 characters and a NUL; longer names and values are cut.
// Returns 1 when both were read; 0 for an empty name, the end of the text or a ')' before any
// '(', a null argument or a size of 0 (outputs are then empty where they have room).
int ruppParseCall(const char* text, char* name, std::size_t nameSize, char* value,
                  std::size_t valueSize);

// A caller's buffer of the line parser: text holds at most size - 1 characters and a NUL; length
// counts the characters offered, kept or cut.
struct RuppCallBuffer {
  char* text;
  std::size_t size;
  std::size_t length;
};
// States of the line parser: the next state, or how it ended.
inline constexpr int kRuppParseArgumentState = 1;
inline constexpr int kRuppParseDone = -9;
inline constexpr int kRuppParseFailed = -1;
// State 0: reads the name from *cursor up to '(' (the last blank-separated word before it) and
// leaves the cursor on the '('. Returns kRuppParseArgumentState; kRuppParseFailed for an empty
// name, or the end of the text or a ')' first (the cursor then on it). The argument buffer is not
// used.
int ruppParseName(const char** cursor, RuppCallBuffer* name, RuppCallBuffer* argument);
// State 1: skips to the '(' and copies what follows it, up to ')' or the end of the text, into
// the argument; the cursor stops there. Returns kRuppParseDone; kRuppParseFailed when the end of
// the text or a ')' comes before any '('. The name buffer is not used.
int ruppParseArgument(const char** cursor, RuppCallBuffer* name, RuppCallBuffer* argument);

// Result of pofReadBack when the hooks in force are the defaults and no default table is
// installed: nothing is read.
inline constexpr int kPofReadNoHooks = -3;

// The ten hooks of the read-back, in slot order. target is handed through unchanged (layer 31
// passes pofReadMoveTarget(), layer 34 pofReadLayer34Target()); the segment kind is 1 for rapid
// and 2 for cutting moves on layer 31, 3 for every move of layer 34. A bulge is tan(a/4) of the
// signed included angle a (positive counter-clockwise), 0 for a straight move.
struct PofReadHooks {
  void (*pathStartArc)(void* target, int kind, const Point3D* point);         // 1
  void (*pathStartLine)(void* target, int kind);                              // 2
  void (*pathEnd)();                                                          // 3
  void (*arcMove)(void* target, int kind, const Point3D* end, double bulge);  // 4
  void (*lineMove)(void* target, int kind, const Point3D* end);               // 5
  int (*moveKind)(const char* word);  // 6: the value of "start"
  int (*startEnd)(const char* word);  // 7: the value of "full"
  void (*pocket)(int start);          // 8: "pocket", 1 for "start"
  void (*end)();                      // 9: "end"
  void (*infeed)(int start);          // 10: the infeed bracket (no record calls it yet)
};

// The default table: the hooks that build a level's path from the read-back. The machining
// cycles install the level pocketing's table when the library loads (null removes it). While no
// table is installed and the defaults are in force, pofReadBack reads nothing and returns
// kPofReadNoHooks.
void pofReadInstallDefaultHooks(const PofReadHooks* hooks);
// The installed default table (every slot null when none is installed).
PofReadHooks pofReadDefaultHooks();
// Installs a whole table for the read-backs that follow (null: the defaults); a null slot is not
// called. Cycles and tests install theirs with it.
void pofReadSetHooks(const PofReadHooks* hooks);
// The table in force.
PofReadHooks pofReadHooks();

// The reporter of the "error" and "break" records of layer 0: gets the record's value and returns
// a negative value when the read-back must fail. The machining cycles install their error table
// (ruppReportError) when the library loads; null removes it. Without a reporter every error
// record fails the read-back.
using PofErrorReportFn = int (*)(const char* value);
void pofReadInstallErrorReport(PofErrorReportFn report);

void pofReadSetPocketHook(void (*hook)(int start));
void pofReadClearPocketHook();
void pofReadSetEndHook(void (*hook)());
void pofReadClearEndHook();

// The targets handed to the hooks.
void* pofReadMoveTarget();
void* pofReadLayer34Target();

// The drawing every read-back writes in the working folder.
inline constexpr char kPofReadDxfFile[] = "tmp.dxf";
// 1 once a read-back created kPofReadDxfFile since the last pofReadResetState, else 0: a run
// removes the file only when it made it.
int pofReadDxfWritten();
// Room of the drawing's folder and path, NUL included.
inline constexpr int kPofDxfPathMax = 1024;
// The folder the read-backs write kPofReadDxfFile into (null or empty: the current folder, as at
// load). Returns 1; 0 when the folder is too long (the folder in force stays).
int pofReadSetDxfFolder(const char* folder);
// The path of the drawing the last read-back wrote (empty before the first).
const char* pofReadDxfPath();

// Reads a POF file through the layer handlers of 0, 1, 10, 31, 32 and 34 and the hooks, and
// writes the empty drawing "tmp.dxf" in the drawing's folder (pofReadSetDxfFolder). A move that
// comes back to its start on an arc (a full circle) is handed over as two half circles. Returns 0;
// -1 when the file does not exist (message 1701) or an error record set the error flag;
// kPofReadNoHooks (-3) when the defaults are in force and none are installed.
int pofReadBack(const char* path);

// Result of pofParseMove. kind: 0 rapid, 1 line, 2 clockwise arc, 3 counter-clockwise arc.
struct PofMove {
  int kind;
  int flags;       // 1 x, 2 y, 4 z read
  double bulge;    // tan(a/4); 0 for lines and arcs that pass as lines
  int fullCircle;  // 1: the arc comes back to its start; bulge then is that of each half (+-1)
  Point3D centre;  // arcs only
};
// Parses a move element (object 'M', 'L' or 'A') into point (from the point before the move).
// Returns 1 when a z value was read, 0 otherwise; -2 not a move; -1 a malformed element (point
// then unchanged).
int pofParseMove(const XchgElement* element, Point3D* point, PofMove* move);

// The centre and radius of the arc from a to b with the bulge (|bulge| above 0); signed included
// angle in *angle.
void pofBulgeArc(double ax, double ay, double bx, double by, double bulge, Point2D* centre,
                 double* radius, double* angle);

// Test seam: read-back state, the table in force and the targets back to the state at load (the
// installed default table and error reporter stay).
void pofReadResetState();
