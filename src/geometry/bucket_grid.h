// bucket_grid.h - a square grid of item-index buckets over the common box of a set of items, and
// the crossing search of a segment list built on it. The contour module finds candidate pairs
// and neighbours through the grid instead of comparing every item with every other.
#pragma once

#include "geometry/lists.h"

// Writes the box (min x, min y, max x, max y) of the item at item to out[0..3] and returns out.
using BucketBoxFn = double* (*)(double* out, const void* item);

// rows == cols: 1 for an empty item set, else 2 .. 30. Each cell lists the indices of the items
// whose (margin-widened) box touches it, in ascending order of insertion. The grid owns its cells.
struct BucketGrid {
  int rows;
  int cols;
  double xmin, ymin, xmax, ymax;  // union of the boxes of all items
  double rowHeight;               // (ymax - ymin) / rows
  double colWidth;                // (xmax - xmin) / cols
  IntList*** cells;               // cells[row][col]; each row table holds cols lists
};

// Builds the grid over count items laid out every stride bytes from base, each entered into the
// cells its box touches (widened by margin). Returns the grid; null for a null box function, a
// null base with items, a stride of 0, a negative count, or when memory runs out (error record
// -1; nothing stays allocated).
BucketGrid* gridBucketBuild(const void* base, std::size_t stride, int count, double margin,
                            BucketBoxFn boxFunction);
// The index list of the cell holding (x, y); points outside the box fall into the nearest edge or
// corner cell. Null for a null grid.
IntList* gridBucketCell(const BucketGrid* grid, double x, double y);
// Frees every cell list, the row tables and the grid; accepts null.
void gridBucketFree(BucketGrid* grid);

// Box function of Seg2D items: (min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2)).
double* lstSegBoxCb(double* out, const void* segment);

// Searches the segments for crossings. Segments sharing an end (within 1e-6) never count; lines
// closer to parallel than a determinant of 1e-12 are skipped; a crossing counts only when it lies
// farther than tol from both ends of at least one of the two segments. collectAll 0 stops at the
// first crossing and sets the error record to code 1; otherwise every crossing point is appended
// to crossings (when given) once per grid cell the two segments share. Returns 1 when a crossing
// was found, else 0 (also for a null list). When the grid cannot be built the search falls back
// to all pairs of non-neighbouring segments.
int lstSegSelfCross(const Seg2List* segments, Pt2List* crossings, int collectAll, double tol);
