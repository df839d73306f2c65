// bnd_merge.h - cuts closed, non-crossing boundary contours (outer contours with islands) into
// simple loops without islands that cover the same region. A sweep over vertical strips pairs the
// contour pieces of each strip from the bottom up (even-odd rule) and chains the pairs into loops,
// so a region with an island is cut along the vertical lines through the island's ends.
#pragma once

#include "geometry/lists.h"
#include "geometry/vec.h"

struct Kont2D;

// Most "**BND" blocks one file may hold.
inline constexpr int kBndMergeMaxBlocks = 1024;
// Codes of the sweep: an odd number of pieces, and a split value missing from the sorted values.
inline constexpr int kBndMergeOddPieces = -50;
inline constexpr int kBndMergeNoSplit = -202;

// Reads the "**BND" blocks of fileName (with swapXY 1 the X value is read as y and Y as x), cuts
// them into simple loops and writes them to outName ("tmp.bnd" when null or empty) as "**BND n"
// blocks numbered from 1 of "X Y Z0" lines, each loop ending on its first point.
// Returns 1 done; 0 the input file is missing, or fewer than two pieces (the output then is
// written empty); -1 no memory, more than 1024 blocks or an output that cannot be written (nothing
// written then); -50 or -202 from the sweep (nothing written). Console lines go to standard error.
int bndMergeFile(const char* fileName, int swapXY, const char* outName);
// Splits the list into loops (a loop ends at the segment whose end meets its first start within
// 0.00001), cuts them as above and replaces the list by the loops' segments, each loop ending at
// its first point. swapXY exchanges x and y before the sweep and back after it. Returns 1 done;
// 0 (list emptied) for fewer than two pieces; -1 null list or no memory; -50 or -202 (list
// unchanged).
int bndMergeSegments(Seg2List* list, int swapXY);
// Does nothing; returns 0.
int bndMergeNoop(Kont2D* contour, double a, double b);

// ---- inner steps, exposed for tests ----------------------------------------------------------

// 1 when the next pair's span meets the current one at the strip border: the next lower start is
// not above the current upper end and the next upper start not below the current lower end.
int bndMergeSpansOverlap(const Seg2D& curLower, const Seg2D& curUpper, const Seg2D& nextLower,
                         const Seg2D& nextUpper);
// Order of the sorted pieces: vertical pieces after all others; others by smallest x, smallest y,
// largest y, then a piece running to the left before one running to the right. <0, 0, >0.
int bndMergeComparePieces(const Seg2D& a, const Seg2D& b);
// The number after the letter in line, when the next character is a digit, '-' or a blank.
// Returns 1 and the value, or 0 (value unchanged).
int bndParseValue(const char* line, char letter, double* value);
// Up to three values after 'X', 'Y' and 'Z'; a missing value keeps the previous one.
void bndParseXYZ(const char* line, Point3D* p);
