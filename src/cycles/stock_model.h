// stock_model.h - the stock model of the roughing: the raw stock's outline (from the boundary
// file) written as "geo.qdx" in the work directory and read back into stock contours, the depth
// of material at a point through an internal height grid or the external stock-model library, and
// the approach check that turns an approach entering material into a plunge. No step of the
// library builds a grid and the library is never loaded, so during a run no stock is available:
// the approach check leaves every approach as it is. The grid, the depth query's arrays and its
// callbacks are built and freed here for a stock model that checks plunges (tests build one).
// Also here: the exchange reader of the stock contours and the Z-path file name of the
// finishing's optimisation files.
//
// Lengths are scaled (tool radius 10) unless said otherwise. Run state (stockModelResetState):
// the model with its grid, the registered query and its arrays, the external library's record.
#pragma once

#include <cstdint>

#include "geometry/stock_grid.h"
#include "geometry/vec.h"

struct SurfaceModel;
struct PathList;

// One element of a stock contour: a contour is a start element (kind 0) followed by its line and
// arc elements. All contours of a file form one chain (the last one read first).
struct StockElement {
  std::int32_t kind;  // 0 start, 1 line to (x, y), 2 arc to (x, y) ('-' sense), 3 arc (other sense)
  double x, y;
  double cx, cy;  // arc centre; for kinds 0 and 1 a copy of x, y
  StockElement* next;
};

// The file the outline is written to, in "*TMP_DIR".
inline constexpr char kStockOutlineFile[] = "geo.qdx";
// Results of stockReadContours and of the library operations.
inline constexpr int kStockReadNoName = 52;
inline constexpr int kStockReadFailed = 51;
inline constexpr int kStockNoLibrary = 10001;
inline constexpr int kStockNoEntry = 10002;
// Message of a plunge into material that "*NO_PLUNGE" forbids (level 9).
inline constexpr int kStockMsgNoPlunge = 2007;

// Sets up the stock model (tool kind 1 ball, 2 flat, 3 torus; top, bottom and the tool-type flag
// stay with the model, nothing reads them). The no-transform flag is set anew on every call from
// whether the tool axis differs from the frame's. Returns 0 for mode 0, an empty boundary name or
// one that begins with a blank, or a boundary that cannot be read; -1 when the work path list, the
// outline file or reading it back fails; 1 when the stock contours were read. An earlier model is
// released first.
int stockModelInit(int mode, int toolKind, double radius, double corner, const char* boundary,
                   const char* tmpDir, double top, double bottom, int toolTypeFlag);
// 0 when the model is not active; otherwise releases contours, grid (stockReleaseQuery, then
// stockFreeRecord) and work path list (the pointers cleared, so a second call releases nothing
// twice), registers the empty state with the depth query and returns 1.
int stockModelFree();
// Stores the flag (nothing reads it).
void stockSetSkipNoCutFlags(int flag);

// Hands the active model its stock grid (a grid of stockNewRecord, null: none); the model owns
// it from then on, frees an earlier one and registers the grid with the depth query under its
// corner radius and no-transform flag. Returns 1; 0 when the model is not active (the grid is not
// taken).
int stockModelSetGrid(StockGrid* grid);

// What the model holds, for tests.
struct StockModelView {
  int active;
  int noTransform;
  double modelStep;
  double cornerRadius;
  const StockElement* contours;
  const PathList* workPath;
  const StockGrid* grid;
};
StockModelView stockModelView();

// ---- depth of material ------------------------------------------------------------------------

// The internal query's callbacks, which a stock model that checks plunges installs with its
// arrays (stockQueryBuild). locate finds the cell of a point relative to the grid's origin (x, y,
// z, the height already clamped to the query's top) and sets the three status words; 0 when
// located, else outside. evaluate gives the height count of the located cell from the status words
// and the count preset from the query (the point's height in whole quanta): negative counts lie
// in material. Null: the do-nothing handler, which answers 1 (locate: every point outside).
using StockLocateFn = int (*)(double x, double y, double z, int words[3]);
using StockEvaluateFn = int (*)(const int words[3], int preset);

// One array record of the depth query: a row count, its rows (row pointers) of `columns` counts
// each, and two further arrays of one value per row; what the counts mean is the callbacks'
// matter. The first record also holds the height quantum and the top height of the stock
// (relative to the grid's origin).
struct StockQueryArray {
  std::int32_t rows;
  std::int32_t columns;
  std::int32_t** row;
  std::int32_t* rowFirst;
  std::int32_t* rowLast;
  double zStep;
  double top;
};

// What stockQueryBuild makes: both array records of rows x columns (zeroed), the quantum and the
// top for the first, the lift added to a query point's relative height, and the callbacks.
struct StockQuerySetup {
  std::int32_t rows;
  std::int32_t columns;
  double zStep;
  double top;
  double lift;
  StockLocateFn locate;
  StockEvaluateFn evaluate;
};
// Largest rows x columns of a query record or a grid.
inline constexpr long long kStockMaxCells = 1LL << 26;

// Builds the query's two array records and installs its callbacks: the query is built (state 1).
// Arrays of an earlier query are freed first. Returns 0; -1 for a null setup, a count out of
// 1..kStockMaxCells cells or a quantum that is not positive (nothing changed), or when memory runs
// out (no query left).
int stockQueryBuild(const StockQuerySetup* setup);
// Array record 0 or 1 of the query; null before a build and after stockFreeQuery.
StockQueryArray* stockQueryArrays(int which);
// The query's state: 0 none, 1 built, 2 released (to be freed).
int stockQueryState();

// Releases a built query for freeing: state 1 with arrays becomes 2, result 0; state 1 without
// arrays becomes 0, result -1; state 0 gives -1; state 2 stays, result 0.
int stockReleaseQuery();
// Only in state 2: frees both array records with their rows and arrays, the callbacks go back to
// the do-nothing handler and the state to 0; 0 when the first record existed, else -1. In other
// states nothing is freed: -1.
int stockFreeQuery();

// A grid of columns x rows height counts (all 0) with its origin, cell size and quantum, for a
// stock model that checks plunges; freed with stockFreeRecord. Null for a count out of
// 1..kStockMaxCells cells, a cell or quantum that is not positive, or without memory.
StockGrid* stockNewRecord(double x0, double y0, double z0, double cell, double zStep,
                          std::int32_t columns, std::int32_t rows);
// Frees a grid of stockNewRecord (null: nothing): a grid with heights first frees the query's
// arrays (stockFreeQuery, which frees them only once released), then the grid itself; a grid
// that is registered with the depth query, or held by the model, is let go there first, so that
// no query reads it freed. Returns 0.
int stockFreeRecord(StockGrid* grid);

// Registers grid (null: none) for the depth query with its corner radius as z offset and the
// no-transform flag (stockSetQuery).
void stockRegisterQuery(const StockGrid* grid, double cornerRadius, int noTransform);
// Stores grid (null: none), z offset and no-transform flag for the internal query; nothing with
// "*USE_DSM" set.
void stockSetQuery(const StockGrid* grid, double zOffset, int noTransform);

// The outcome of one depth query: the walk's value and the three status words.
struct StockQueryResult {
  double value;
  int status[3];
};
// Runs stockQueryWalk on (x - x0, y - y0, z - z0 + lift) of the grid and stores its value and the
// status words in result. Returns 0; -1 for a null grid or result (result untouched).
int stockQueryDepth(const StockGrid* grid, StockQueryResult* result, double x, double y, double z);
// The walk at (x, y, z) relative to the grid's origin: a height above the query's top is clamped
// to it for the callbacks. The status words start at 0; a point that locate does not find gives
// z unchanged (outside). Otherwise the count preset to the clamped height in whole quanta goes
// through evaluate, and the result is count x quantum, plus the height above the top for a point
// that lay above it.
double stockQueryWalk(double x, double y, double z);
// The three status words of the last query (null outputs skipped).
void stockQueryStatus(int* first, int* second, int* third);

// 1 when a depth query is possible: with "*USE_DSM" the library record is set (never), else a
// grid is registered.
int stockAvailable();
// depth := 0, then the depth of material at p (the library with "*USE_DSM", else the grid).
// 1 when p lies inside the stock.
int stockPlungeDepth(const Point3D& p, double* depth);
// The grid's answer at p: p lowered by the z offset, mapped into the frame unless the
// no-transform flag is set, and raised by two of the grid's quanta; the query's value r and third
// status word w3. 1 with depth -r when w3 is not 0, -r is not negative and either "*RESOLUTION" / 4
// exceeds 0.00001 or w3 exceeds 3; else 0.
int stockDepthInternal(const Point3D& p, double* depth);
int stockDepthExternal(const Point3D& p, double* depth);
// The library's two entries: kStockNoLibrary, as the library is never loaded.
int stockDsmInitialize();
int stockDsmCheckMove();

// The approach check of the stock mode (installed through bndSetApproachCheck): 0 when no stock
// is available (always in a run) and the approach unchanged; otherwise turns an approach whose
// test point lies in material into a plunge of the material's depth. -2 with message 2007 when
// "*NO_PLUNGE" forbids it, else 1. approach is the caller's copy of its ApproachParams.
int stockPlungeMacroHook(const Point3D* start, const Point3D* next, const void* regionParams,
                         const SurfaceModel* model, const void* approach);

// ---- stock contours ---------------------------------------------------------------------------

// Reads the contours of an exchange file (kind line "Geometry") into *out. Returns 0 and the chain;
// kStockReadNoName without a name; 1 when the interpreter cannot be made; kStockReadFailed when
// reading fails (nothing kept). A contour whose last point is more than 1e-6 from its start gets
// a closing line; elements outside a "Contour" block only move the current point.
int stockReadContours(StockElement** out, const char* file);
void stockFreeContours(StockElement* chain);
// A new element appended behind last (none: a chain of its own). Null when memory runs out.
StockElement* stockNewLineElement(StockElement* last, double x, double y);
StockElement* stockNewArcElement(StockElement* last, double x, double y, double cx, double cy);
StockElement* stockNewArcElement2(StockElement* last, double x, double y, double cx, double cy);

// The Z-path file of the optimisation: the base name of "*APT" (after its last '/' or '\') in
// "*ZOPZ_PATH", the extension after the last '.' of the base name replaced by "zpa" (appended when
// there is none). 1 when that file exists ("*ZOPT_WRITE" cleared); 0 otherwise ("*ZOPT_READ"
// cleared; also when the name does not fit).
int zfinZoptFilePath();
// The name built by the last call.
const char* zfinZoptFileName();

void stockModelResetState();
