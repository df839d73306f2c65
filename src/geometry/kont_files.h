// kont_files.h - regions from boundary text files ("**BND" blocks of "X Y Z" point lines ended by
// "**END", "**WZ" marking tool-system coordinates), plain segment dumps of a region, and the
// building of nested, oriented and validated regions from point blocks, which the snapshot
// copies share.
#pragma once

#include <vector>

#include "geometry/kont2d.h"
#include "geometry/vec.h"

// Reads the regions of a boundary text file. Markers and letters are found anywhere in a line;
// a point line needs all three letters. Points of a block without "**WZ" are mapped from world
// into tool coordinates and, unless the no-rounding switch is set, truncated to the 0.001 grid;
// a point within 1e-6 of the block's previous point is dropped. A block whose last point does not
// repeat its first is closed back to it; blocks of fewer than 3 distinct points are skipped.
// With constZ every contour lies at the z of its block's first point (a point farther than 0.01
// from it fails); otherwise z is 0. Collinear segments are merged, the contours nested, outer
// contours oriented as orientation (+1 counter-clockwise, -1 clockwise) and islands opposite,
// and every region validated with both checks.
// Returns the region list; null (nothing left allocated) with the error record: -29 the file
// cannot be opened; -1 a null or empty name, no lines or no header line, no memory; -20 a point
// off the constant z or an orientation other than +1 or -1; -47 or -41 a region fails validation.
// A file whose blocks all have fewer than 3 points gives null with no error code.
Kont2D* kontReadBnd(const char* fileName, int orientation, int constZ);
// kontReadBnd(fileName, +1, 0).
Kont2D* kontReadBndFlat(const char* fileName);

// Writes the segments of every contour of the region (walk order) one per line as "x1 y1 x2 y2"
// with six decimals, replacing the file. Returns 1; -1 for a null region, a region without
// segment array or a file that cannot be opened (error record -1).
int kontWriteSegs(const Kont2D* region, const char* fileName);
// Writes the region with kontWriteSegs to "%08d.kf" named by a process-wide counter starting at
// 0, which advances after each successful dump. Returns the result of the write.
int kontDumpNumbered(const Kont2D* region);

// ---- shared with the snapshot copies ------------------------------------------------------------

// The points of one block in file order.
using KontBlock = std::vector<Point3D>;

// Turns the blocks into a validated region list (see kontReadBnd from "A block whose last
// point"); merge says whether collinear segments are merged. Null with the error record set on
// failure, null and no code when no block has 3 distinct points. Never throws.
Kont2D* kontRegionsFromBlocks(const std::vector<KontBlock>& blocks, int orientation, int constZ,
                              bool merge);

// Test seam: the dump counter back to 0.
void kontFilesResetState();
