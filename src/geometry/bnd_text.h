// bnd_text.h - the line rules shared by the readers of boundary and profile text files: lines are
// read in pieces of at most 128 characters, a line's kind is its first blank-delimited word, and
// a point line gives X, Y and Z by their letters.
#pragma once

#include <cstdio>

#include "geometry/vec.h"

// Size of a line piece buffer: 128 characters and the terminating zero.
inline constexpr int kBndPieceSize = 129;

// Kinds of a line by its first word.
enum BndLineKind {
  kBndLineOther = 0,  // anything else, point lines among them
  kBndLineBnd = 1,    // "**BND"
  kBndLineCln = 2,    // "**CLN"
  kBndLineNext = 3,   // "**NEXT"
  kBndLineEnd = 4     // "**END"
};

// Reads the next piece of a line (a longer line continues as further pieces) into piece, which
// has room for kBndPieceSize characters. Returns 1; 0 at the end of the file.
int bndTextNextPiece(std::FILE* f, char* piece);
// The kind of a piece by its first blank-delimited word, compared exactly with the markers.
BndLineKind bndTextLineKind(const char* piece);
// Reads the coordinates of a point line into p. A letter that is missing keeps the value p holds
// (the caller passes the previous point, or zeros before the first one). Returns 1 when the line
// holds at least one of the letters X, Y and Z and every coordinate is finite; 0 otherwise (no
// point: p unchanged).
int bndTextReadPoint(const char* piece, Point3D* p);
// Largest magnitude of a usable coordinate in the tool system. Far beyond any machine's travel;
// it keeps the sums, offsets and bucket indices of the contour code within range.
inline constexpr double kBndCoordMax = 1e8;
// 1 when every coordinate of p is finite and at most kBndCoordMax in magnitude, else 0.
int bndTextPointUsable(const Point3D& p);
