// out3d_moves.h - tool positions through the 3D output layer: the feed chosen per move (normal,
// reduced or plunge), modal move records on layers 31 and 32, held rapid moves, the first
// position of 3-axis and 5-axis output, and the NC point buffer that writes feed runs as spline
// or polynomial blocks in NC modes 1 and 2.
#pragma once

#include "output/out3d_state.h"

// Move kinds of the entry points.
inline constexpr int kOut3dRapid = 0;
inline constexpr int kOut3dFeed = 1;

// One tool position (NC frame, user's units). The 5-axis path carries the tool axis of
// out3dSetToolAxis. Polls the interrupt check first.
// Returns 0 (also when the position repeats the last one and nothing is written); -2 when the
// interrupt check asks to stop now (nothing written); -3 when there is no current output cycle.
int out3dMove3Axis(const Point3D& point, int kind);
int out3dMove5Axis(const Point3D& point, int kind);

// Write one point without the feed choice (used by the two above).
void out3dEmitPoint3(const Point3D& point, int kind);
void out3dEmitPoint5(const Point3D& point, int kind);

// NC modes 1 and 2: creates the point buffer (kept when one exists); message 6000 when that fails.
void out3dStartLiteral();
// NC modes 1 and 2: "NCmode" "literal" on layer 0, the buffered run as a block (or as G1 moves
// for one or two points), the buffer freed, "NCmode" "standard".
void out3dFlushLiteral();
// Every buffered point as a G1 record 4007 with x, y and z flagged on layer 32 (nothing while
// move output is off).
void out3dFlushAsMoves();
// Ends a cycle's output: a held rapid inside a "link" context, the end of the part "ppJobID"
// when that parameter is a number above 0, "clear all", and "tr" "5X0" after 5-axis output.
// Returns 0.
int out3dEndOutput();

// Fit a spline through the buffered points (chord-length parameters) and write it as a
// "#D_SPLINE" block or a "POLY" block with the feed. Nothing for fewer than two usable points.
// Returns 1 written; 0 not written (too few points, or memory ran out).
int out3dFlushSpline(const NcPointBuffer* buffer, double feed);
int out3dFlushPolyline(const NcPointBuffer* buffer, double feed);
