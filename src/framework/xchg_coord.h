// xchg_coord.h - coordinates of exchange contour elements (start, end and centre parts of x, y, z)
// and growable tables of numbered 3D points, as the contour and polyhedron readers need them.
#pragma once

#include <cstdint>

#include "framework/xchg_lexer.h"

// Texts of one element's coordinates, each at most 23 characters: the name (attribute "o") and
// the first, second and third parts of x, y and z (index 0, 1, 2). For a contour element these are
// its start, end and centre: 'x[start/end]', 'x[/end]', 'x[start/end/centre]'.
struct XchgCoord {
  char name[24];
  char first[3][24];
  char second[3][24];
  char third[3][24];
};
static_assert(sizeof(XchgCoord) == 24 * 10, "XchgCoord holds ten texts of 24 characters");

// Clears the record and copies each given text (at most 23 characters) into all three parts of
// its coordinate; a null or empty text leaves its parts empty. Ignores a null record.
void xchgCoordPreset(XchgCoord* coord, const char* x, const char* y, const char* z);

// Fills the record from the element's one-character attributes: "o" gives the name, "x", "y" and
// "z" are split at '/' into at most three parts (a fourth and later part is ignored); an empty
// part leaves the part as it was, so 'x[/5]' changes only the second part. Returns the flags 1 (an
// x attribute is present), 2 (y), 4 (z); 0 for a null argument.
int xchgCoordParse(XchgCoord* coord, const XchgElement* element);

// One point of a table.
struct XchgPoint {
  double x;
  double y;
  double z;
};

// A row of a point table: the last column used, the capacity and the points (zero-filled).
struct XchgPointRow {
  std::int32_t lastCol;
  std::int32_t capacity;
  XchgPoint* points;
};

// A table of points addressed by row and column (both from 0). lastRow is the last row used.
struct XchgPointTable {
  std::int32_t lastRow;
  std::int32_t rowCapacity;
  XchgPointRow* rows;
};

// Creates a table (table null) or makes room for the given number of rows (in steps of 16).
// Returns the table; null when memory fails (a table made here is freed, a given one is left as
// it was) or rows is negative.
XchgPointTable* xchgPointTableGrow(XchgPointTable* table, std::int32_t rows);

// Stores a point at (row, col), growing the table and the row as needed (new points are 0, 0, 0)
// and raising the last-used marks. Returns 1; 0 when memory fails, the table is null, or row or col
// is negative or the largest i32.
int xchgPointTableSet(XchgPointTable* table, std::int32_t row, std::int32_t col, double x, double y,
                      double z);

// The point at (row, col). Returns 1 with the point; 0 when the table is null or empty, the row is
// negative, beyond the last row used or has no points, or the column is negative or beyond the
// row's last column used (outputs are then left unchanged). Null outputs are skipped.
int xchgPointTableGet(const XchgPointTable* table, std::int32_t row, std::int32_t col, double* x,
                      double* y, double* z);

// Frees the table with its rows; accepts null.
void xchgPointTableFree(XchgPointTable* table);

// Sets a homogeneous point to (x, y, z, 1.0).
void cycHomPoint(double point[4], double x, double y, double z);
