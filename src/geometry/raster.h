// raster.h - grid views of a machining region: the level raster that marks which nodes of a
// region's height grid the tool reaches at one Z, seed cells, integer and byte cell matrices, and
// the 8-neighbour flood fills, relabelling, region copy and one-cell growth on them.
#pragma once

#include <cstdint>

#include "geometry/lists.h"

struct FloatDropNet;

// Cell values of a level raster.
constexpr std::int16_t kRasterOutside = -2;  // the node has no valid height
constexpr std::int16_t kRasterBlocked = -1;  // the material stands above the level
constexpr std::int16_t kRasterFree = 0;      // the tool reaches the node; > 0: seed number (fill)

// Node (r, c) lies at (x0 + c colStep, y0 + r rowStep). The leading fields are those of the
// FloatDropNet header, from which callers copy them.
struct Raster {
  double x0, y0;
  std::int32_t rows;
  std::int32_t cols;
  double rowStep;          // along y
  double colStep;          // along x
  std::int16_t** cells;    // rows row arrays of cols cells
  std::int32_t freeCount;  // free cells after the last clear or classification
};

// One seed cell: a node of a raster with a caller's value (a height).
struct RasterCell {
  double x, y;
  double value;
  std::int32_t row, col;
  std::int16_t flag;  // 1 on creation
};

struct CellList {
  std::int32_t count;
  std::int32_t capacity;
  RasterCell* items;
};

// rows x cols cells, row-major: cell (r, c) is cells[r * cols + c]; zero on creation.
struct IntMatrix {
  std::int32_t rows;
  std::int32_t cols;
  std::int32_t* cells;
};

// n x n bytes, row-major; every cell starts at the fill value 127.
struct ByteMatrix {
  std::int32_t n;
  std::uint8_t* cells;
  std::int32_t fill;
};

// ---- level raster and seeds -------------------------------------------------------------------

// New raster with x0 and y0 from header, all cells blocked (-1), free count 0. Null for a null
// header, a negative size, or when memory runs out (nothing left allocated; error record set).
Raster* gridRasterNew(const FloatDropNet* header, int rows, int cols, double rowStep,
                      double colStep);
// All cells free (0), free count rows x cols. Returns 1 (also for null).
int gridRasterClear(Raster* raster);
// Frees the cell rows and the raster. Returns 1 (also for null).
int gridRasterFree(Raster* raster);

// New empty seed list; a capacity below 3 becomes 3. Null when memory runs out.
CellList* gridCellListNew(int capacity);
// Accepts null.
void gridCellListFree(CellList* list);
// Appends the node (row, col) of the raster with its position, value and flag 1; the capacity
// doubles when full. Returns 0; -1 when the storage cannot grow; -20 for a null list or raster,
// or a node outside the raster.
int gridCellListAdd(CellList* list, const Raster* raster, int row, int col, double value);

// Classifies every node against the height grid net (same rows and cols): -2 where the net has
// no valid height, -1 where z + 0.00001 lies below the height, else 0. With seeds, only the free
// areas that a seed reaches stay free. Returns 0 when at least one cell ends free; -1 when none
// does, the raster has no rows, or memory runs out (error record -1); -20 for a null net or
// raster, or sizes that differ.
int gridRasterClassify(const FloatDropNet* net, const CellList* seeds, double z, Raster* raster);
// Numbers the free areas: each seed, in list order from 1, fills the 8-connected free area it
// lies in unless an earlier seed did; -2 and -1 are walls. Seeds outside the raster add nothing.
// Returns 0; -1 when memory runs out (error record -1, the raster unchanged); -20 for a null
// list or raster, or more seeds than a cell can number (32767).
int gridRasterSeedFill(const CellList* seeds, Raster* raster);

// ---- integer matrices -------------------------------------------------------------------------
// Coordinates passed to these functions must lie inside the matrix (gridFindNonZero excepted);
// outside ones, like a null matrix, give -20 with nothing changed.

// New zeroed matrix. Null for rows or cols below 1, a size too large for memory, or when memory
// runs out.
IntMatrix* gridIntNew(int rows, int cols);
// Accepts null.
void gridIntFree(IntMatrix* matrix);
// Sets the 8-connected area of zero cells that contains (row, col) to value; nothing when the
// seed cell is not 0 or value is 0. Returns 1; -1 when the work stack cannot grow (the area is
// then partly filled).
int gridFloodFill(IntMatrix* matrix, int row, int col, int value);
// When the seed cell holds from and from differs from to, sets the 8-connected area of cells
// holding from that contains it to to. Returns 1 (also with nothing to do); -1 when the work stack
// cannot grow.
int gridRelabel(IntMatrix* matrix, int row, int col, int from, int to);
// Writes the seed cell's value v into target at every cell of the seed's 8-connected area of
// cells holding v; the matrix ends as it was. target has the matrix's size. Returns 1; -1 when
// memory runs out; -20 also for a null target or one of another size.
int gridCopyRegion(IntMatrix* matrix, int row, int col, IntMatrix* target);
// The cell (row, col) when it lies inside and is non-zero, else the first non-zero cell in
// row-major order. Returns 1 with the cell in outRow, outCol; 0 when every cell is 0; -20 for a
// null matrix or output.
int gridFindNonZero(const IntMatrix* matrix, int row, int col, int* outRow, int* outCol);
// 1 when one of the up to 8 neighbours of (row, col) inside the matrix holds key (the cell itself
// does not count), else 0 (also for a null matrix; a cell outside the matrix is answered from its
// neighbours inside it).
int gridHasNeighbour(const IntMatrix* matrix, int row, int key, int col);
// Grows the cells of value 1 by one cell in all eight directions: every 0 cell with a neighbour
// of value 1 becomes 1, in one step (cells set in this pass do not grow further). Returns 1; -1
// when memory runs out (nothing changed); -20 for a null matrix.
int gridDilate(IntMatrix* matrix);

// ---- work stack and byte matrix ---------------------------------------------------------------

// New stack of 32-bit values (a RecList freed by lstRecFree); a capacity of 0 or 1 becomes 2.
// Null for a negative capacity or when memory runs out.
RecList* gridStackNew(int capacity);
// Pushes value, growing by half when full. Returns 1; 0 for a null stack, no storage, or when it
// cannot grow.
int gridStackPush(RecList* stack, int value);
// Returns 1 with the last value in out and drops it; 0 when empty or null.
int gridStackPop(RecList* stack, int* out);

// New n x n byte matrix filled with 127. Null for n below 1, a size too large for memory, or
// when the record or its cells cannot be allocated (nothing left allocated).
ByteMatrix* gridByteNew(int n);
// Accepts null.
void gridByteFree(ByteMatrix* matrix);
