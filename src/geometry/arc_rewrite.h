// arc_rewrite.h - the rewrite of a level's exchange file of pocket contours: a contour whose
// lines close on one circle becomes two half arcs, everything else is copied, so the nested
// pocket cycle offsets exact circles instead of dense polygons.
#pragma once

#include <cstdint>
#include <cstdio>

#include "framework/xchg_lexer.h"
#include "framework/xchg_scope.h"
#include "geometry/arc_fit.h"

// Room of a current point text (a coordinate text holds at most 23 characters).
inline constexpr int kArcPointTextSize = 40;
// The run buffer grows by this many points.
inline constexpr int kArcRunBlock = 2048;

// The state of one rewrite.
struct ArcRecognizer {
  std::FILE* out;
  int inContour;       // 1 from a "Contour" object at the outer level until its level closes
  int notBegun;        // 1 while the open contour has seen no 'M', 'L' or 'A' at its own level
  int contourCounter;  // contours written so far; the first is number 1
  int depth;           // open '{' levels
  char text[3][kArcPointTextSize];  // current point texts x, y, z ("0" at the start)
  double value[3];                  // current point values x, y, z
  ArcPoint* run;                    // lines of the open contour not yet written
  std::int32_t runCount;
  std::int32_t runCapacity;
  int contourOpen;  // the open contour's "{" is written and its "}" not yet
  int written;      // an element of the open contour was written
  int failed;       // the rewrite is abandoned: the output must not replace the input
};

// Rewrites the file at inPath into outPath with the chordal tolerance (kept for later rewrites of
// the process). Returns 1 when the rewrite completed and at least one contour was written as a
// whole circle, so that the output may take the input's place; 0 otherwise, also when the output
// cannot be opened or written, the interpreter cannot be made, or the run buffer cannot grow.
int arcRecognizeFile(const char* outPath, const char* inPath, double chordalTolerance);
// Writes the rewrite of inPath (any header kind) into outPath, opened for writing in text mode.
// The number precision in force before the call is in force again after it, whatever the file's
// "precision" set. Returns 1 when the rewrite completed; 0 when the input or the output cannot be
// opened, the interpreter cannot be made, memory ran out while the input was read, the run buffer
// cannot grow (message in the geometry log) or writing failed (the output then is no usable file).
// A contour whose level the input leaves open is closed at the end of the output.
int arcRecognizeRun(const char* outPath, const char* inPath);

// Handlers of the rewrite's interpreter; user data is the ArcRecognizer. Each returns 1 to go on;
// 0 when the run buffer cannot grow, which ends the run.
int arcOnVariable(XchgElement* element, XchgScope* scope, void* user);
int arcOnScopeBegin(XchgElement* element, XchgScope* scope, void* user);
int arcOnScopeEnd(XchgElement* element, XchgScope* scope, void* user);
int arcOnMove(XchgElement* element, XchgScope* scope, void* user);
int arcOnLine(XchgElement* element, XchgScope* scope, void* user);
int arcOnArc(XchgElement* element, XchgScope* scope, void* user);
int arcOnContour(XchgElement* element, XchgScope* scope, void* user);

// Writes the header of the rewritten file with the chordal tolerance.
void arcWriteHeader(ArcRecognizer* r);
// Appends a fresh point to the run buffer. Returns 1; 0 when the buffer cannot grow (error record
// -1, "Memory allocation failed !" in the geometry log).
int arcBufferPoint(ArcRecognizer* r, double x, double y, double z);
// Writes the buffered run, as two half arcs when it closes on a circle within the chordal
// tolerance (and then sets the full-circle flag), else line by line; empties the run.
void arcFlushRun(ArcRecognizer* r);

// The chordal tolerance of the last rewrite (0.1 at load).
double arcChordalTolerance();

// Test seam: the n-th growth of a run buffer from now (1 = the next) is refused; 0 switches the
// refusal off.
void arcRewriteRefuseGrowth(int n);

// Back to the state at load: chordal tolerance 0.1, full-circle flag clear, no refused growth.
// The cycles' run-start reset calls it.
void arcRewriteResetState();
