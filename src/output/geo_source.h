// geo_source.h - turns the geometry source of a 3D cycle (an exchange file of kind "Geometry")
// into the line-oriented temporary files that the boundary, profile, sync and five-axis code
// read: boundaries into a "bnd" file of "**BND" blocks, profiles into "prf" and "pr2", sync lines
// and segments into "snc", inclinations into "trc"; and the surface, depth, side of compensation
// and start point into the cycle record.
#pragma once

#include "output/cycle3d_record.h"

// Dump kinds (the contour kind K of the conversion).
enum BndDumpKind : int {
  kBndDumpNone = 0,
  kBndDumpBoundary = 1,
  kBndDumpProfile = 2,
  kBndDumpSync = 3,
  kBndDumpPoint = 4,
  kBndDumpTrace = 5,
  kBndDumpSync2 = 6,
};

// Runs the conversion of the record's geometry source. Returns the number of scopes closed ('}'
// elements); -1 when the source cannot be opened, its kind is not exactly "Geometry", or no scope
// can be made (nothing is written then).
int bndGeometryDumps(Cycle3dRecord* record);

// Opens the dump file of a kind for the record and writes its block header. An open dump is
// closed first (with its end line). The first block of a file in a conversion creates it, later
// blocks append. Returns 1; 0 when the file cannot be opened. Kinds 0 and 4 open nothing and
// return 1; so does a third or later profile.
int bndOpenDump(Cycle3dRecord* record, int kind);
// Writes "**END" and closes the open file. Returns 1; 0 when none is open.
int bndCloseDump();
// Writes a segment as point lines: the start only right after a block header, then the end.
void bndDumpSegment(double sx, double sy, double sz, double ex, double ey, double ez);
// Writes one segment line with the start in lower-case and the end in upper-case letters.
void bndDumpPointVector(double sx, double sy, double sz, double ex, double ey, double ez);
// Writes an arc ('-' clockwise, any other direction counter-clockwise) from start to end about
// the centre as segments at the record's arc step, every point at the end's z. An arc whose end
// is its start is a full circle. Nothing for a radius below 0.0001.
void bndDumpArc(const Cycle3dRecord* record, char direction, double sx, double sy, double sz,
                double ex, double ey, double ez, double cx, double cy);
// Writes the plunge line of x, y (as given) when the plunge output is on and a file is open.
void bndDumpPlunge(double x, double y);
// The plunge output switch (0 at load).
void bndSetPlungeOutput(int on);
// Reads two numbers separated by ',' (or, when there is none, by '/'); at most 131 characters of
// the text are looked at. Returns 1; 0 when neither separator occurs or a number does not read.
int bndParsePair(const char* text, double out[2]);

// Test seam: closes an open dump and returns the writer to its state at load.
void bndDumpResetState();
