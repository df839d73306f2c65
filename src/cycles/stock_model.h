// stock_model.h - the stock model of the roughing: the raw stock's outline (from the boundary
// file) written as "geo.qdx" in the work directory and read back into stock contours, the depth
// of material at a point through an internal height grid or the external stock-model library, and
// the approach check that turns an approach entering material into a plunge. No step of the
// library builds a grid and the library is never loaded, so during a run no stock is available:
// the approach check leaves every approach as it is. Also here: the exchange reader of the stock
// contours and the Z-path file name of the finishing's optimisation files.
//
// Lengths are scaled (tool radius 10) unless said otherwise. Run state (stockModelResetState):
// the model, the registered query, the external library's record.
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
// 0 when the model is not active; otherwise releases contours, grid and work path list (the
// pointers cleared, so a second call releases nothing twice), registers the empty state with the
// depth query and returns 1.
int stockModelFree();
// Stores the flag (nothing reads it).
void stockSetSkipNoCutFlags(int flag);

// What the model holds, for tests.
struct StockModelView {
  int active;
  int noTransform;
  double modelStep;
  double cornerRadius;
  const StockElement* contours;
  const PathList* workPath;
};
StockModelView stockModelView();

// ---- depth of material ------------------------------------------------------------------------

// The internal query's callbacks: locate finds the cell of a point (0 found, else outside) and
// sets three words; evaluate gives the height count of the located cell. Null: the do-nothing
// handler, which reports every point as outside.
using StockLocateFn = int (*)(const StockGrid* grid, double x, double y, double z, int words[3]);
using StockEvaluateFn = int (*)(const StockGrid* grid, const int words[3]);
struct StockQuery {
  double zStep;  // height quantum
  double top;    // top height of the stock, relative to the grid's origin
  double lift;   // added to a query point's relative height
  StockLocateFn locate;
  StockEvaluateFn evaluate;
};
// Registers grid (null: none) with its query, z offset and no-transform flag for the depth query;
// nothing with "*USE_DSM" set.
void stockSetQuery(const StockGrid* grid, const StockQuery* query, double zOffset, int noTransform);
// 1 when a depth query is possible: with "*USE_DSM" the library record is set (never), else a
// grid is registered.
int stockAvailable();
// depth := 0, then the depth of material at p (the library with "*USE_DSM", else the grid).
// 1 when p lies inside the stock.
int stockPlungeDepth(const Point3D& p, double* depth);
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
