// stock_model.cpp - the stock model: outline file and stock contours, the depth query, the
// approach check and the optimisation file name.
#include "cycles/stock_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <source_location>

#include "cycles/approach_macro.h"
#include "cycles/machining_params.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/path_join.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_lexer.h"
#include "geometry/boundary.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/path_list.h"

namespace {

// The internal depth query: its arrays and callbacks, the status words of the last query and the
// registered grid.
struct DepthQuery {
  int state = 0;  // 0 none, 1 built, 2 released (to be freed)
  StockQueryArray* arrays[2] = {nullptr, nullptr};
  double lift = 0;
  StockLocateFn locate = nullptr;
  StockEvaluateFn evaluate = nullptr;
  int status[3] = {0, 0, 0};
  const StockGrid* grid = nullptr;
  double zOffset = 0;
  int noTransform = 0;
};

struct StockState {
  int active = 0;
  int noTransform = 0;
  double modelStep = 1.0;
  double cornerRadius = 0;
  StockElement* contours = nullptr;
  PathList* workPath = nullptr;
  StockGrid* grid = nullptr;  // the model's own grid
  int skipNoCut = 0;
  DepthQuery query;
  int dsmInitialised = 0;
  char zoptName[1100] = "";
};
StockState ss;

int stockFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "stock_model", static_cast<int>(at.line()));
  return code;
}

// 1 when a count of rows x columns is one that a grid or query record may hold.
bool cellCountFits(std::int32_t rows, std::int32_t columns) {
  return rows > 0 && columns > 0 &&
         static_cast<long long>(rows) * static_cast<long long>(columns) <= kStockMaxCells;
}

void freeQueryArray(StockQueryArray* a) {
  if (a == nullptr) return;
  if (a->row != nullptr) {
    for (std::int32_t r = 0; r < a->rows; ++r) memFree(a->row[r]);
  }
  memFree(a->row);
  memFree(a->rowFirst);
  memFree(a->rowLast);
  memFree(a);
}

// Frees both array records in any state; the query is none again.
void dropQueryArrays() {
  for (StockQueryArray*& a : ss.query.arrays) {
    freeQueryArray(a);
    a = nullptr;
  }
  ss.query.state = 0;
  ss.query.lift = 0;
  ss.query.locate = nullptr;
  ss.query.evaluate = nullptr;
}

StockQueryArray* newQueryArray(std::int32_t rows, std::int32_t columns) {
  auto* a = static_cast<StockQueryArray*>(memAllocZero(sizeof(StockQueryArray)));
  if (a == nullptr) return nullptr;
  a->rows = rows;
  a->columns = columns;
  a->row = static_cast<std::int32_t**>(memAllocZero(sizeof(std::int32_t*) * rows));
  a->rowFirst = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t) * rows));
  a->rowLast = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t) * rows));
  bool ok = a->row != nullptr && a->rowFirst != nullptr && a->rowLast != nullptr;
  for (std::int32_t r = 0; ok && r < rows; ++r) {
    a->row[r] = static_cast<std::int32_t*>(memAllocZero(sizeof(std::int32_t) * columns));
    ok = a->row[r] != nullptr;
  }
  if (!ok) {
    freeQueryArray(a);
    return nullptr;
  }
  return a;
}

// Frees the model's grid, as stockModelFree does: the query released, then the grid with it.
void releaseModelGrid() {
  if (ss.grid == nullptr) return;
  stockReleaseQuery();
  stockFreeRecord(ss.grid);
  ss.grid = nullptr;
}

void releaseModel() {
  stockFreeContours(ss.contours);
  ss.contours = nullptr;
  pathListFree(ss.workPath);
  ss.workPath = nullptr;
  releaseModelGrid();
}

// The point as the stock file holds it: z 0, in the frame unless the stock lives in the tool
// system.
Point3D outlinePoint(double x, double y) {
  Point3D p{x, y, 0};
  if (ss.noTransform == 0) csysToolToFrame(&p);
  return p;
}

// Writes the boundary's contours as the outline file. 1; -1 when the file cannot be written.
int writeOutline(const char* path, const Boundary* list) {
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return stockFail(-1);
  std::fprintf(f, "%s\nqDX-Version: 1.0\nGeometry\nqd50zres\n\n", xchgBanner);
  std::fprintf(f, "vprecision(6) ; Nachkommastellen\n\n");
  for (const Boundary* b = list; b != nullptr; b = b->next) {
    if (b->segCount < 1 || b->segs == nullptr) continue;
    std::fprintf(f, "oContour( )\n{\n");
    const Point3D s = outlinePoint(b->segs[0].x1, b->segs[0].y1);
    std::fprintf(f, "  oM( x[/%.6lf] y[/%.6lf] )\n", s.x, s.y);
    for (int i = 0; i < b->segCount; ++i) {
      const Point3D e = outlinePoint(b->segs[i].x2, b->segs[i].y2);
      std::fprintf(f, "  oL( x[/%.6lf] y[/%.6lf] )\n", e.x, e.y);
    }
    std::fprintf(f, "}\n");
  }
  const bool ok = std::ferror(f) == 0;
  return std::fclose(f) == 0 && ok ? 1 : stockFail(-1);
}

StockElement* newElement(StockElement* last, int kind, double x, double y, double cx, double cy) {
  auto* e = static_cast<StockElement*>(memAllocZero(sizeof(StockElement)));
  if (e == nullptr) return nullptr;
  *e = StockElement{kind, x, y, cx, cy, nullptr};
  if (last != nullptr) {
    while (last->next != nullptr) last = last->next;
    last->next = e;
  }
  return e;
}

// ---- the contour reader -------------------------------------------------------------------

struct ContourReader {
  char text[2][24] = {"0", "0"};  // the current x and y as texts
  double x = 0, y = 0;
  int level = 0;  // 0 none, 1 "Contour" seen, 2 inside its block, higher nested
  StockElement* first = nullptr;
  StockElement* last = nullptr;
  StockElement* chain = nullptr;
  bool failed = false;
};
ContourReader* readerOf(void* user) { return static_cast<ContourReader*>(user); }

double parseNumber(const char* text) {
  double v = 0, unused1 = 0, unused2 = 0;
  numParse3(text, &v, &unused1, &unused2);
  return v;
}

// Parses the element's coordinates over the current point; the start point is the current one
// unless given. Returns the coordinates; the current point moves to a given end.
XchgCoord readCoord(ContourReader* r, const XchgElement* e, double start[2]) {
  XchgCoord c;
  xchgCoordPreset(&c, r->text[0], r->text[1], nullptr);
  xchgCoordParse(&c, e);
  for (int a = 0; a < 2; ++a) {
    start[a] = parseNumber(c.first[a]);
    std::snprintf(r->text[a], sizeof r->text[a], "%s", c.second[a]);
  }
  r->x = parseNumber(c.second[0]);
  r->y = parseNumber(c.second[1]);
  return c;
}

bool openAt(ContourReader* r, double x, double y) {
  if (r->first != nullptr) return true;
  r->first = newElement(nullptr, 0, x, y, x, y);
  r->last = r->first;
  r->failed = r->failed || r->first == nullptr;
  return r->first != nullptr;
}

int onMove(XchgElement* e, XchgScope* scope, void* user) {
  ContourReader* r = readerOf(user);
  double s[2];
  readCoord(r, e, s);
  if (r->level != 2) return 1;
  if (!openAt(r, r->x, r->y)) return 0;
  xchgScopeSet(scope, "objectCounter", "1");
  return 1;
}

int onLine(XchgElement* e, XchgScope*, void* user) {
  ContourReader* r = readerOf(user);
  double s[2];
  readCoord(r, e, s);
  if (r->level != 2) return 1;
  if (!openAt(r, s[0], s[1])) return 0;
  StockElement* n = stockNewLineElement(r->last, r->x, r->y);
  if (n == nullptr) return r->failed = true, 0;
  r->last = n;
  return 1;
}

int onArc(XchgElement* e, XchgScope*, void* user) {
  ContourReader* r = readerOf(user);
  double s[2];
  const XchgCoord c = readCoord(r, e, s);
  if (r->level != 2) return 1;
  if (!openAt(r, s[0], s[1])) return 0;
  const double cx = parseNumber(c.third[0]), cy = parseNumber(c.third[1]);
  StockElement* n = c.name[0] == '-' ? stockNewArcElement(r->last, r->x, r->y, cx, cy)
                                     : stockNewArcElement2(r->last, r->x, r->y, cx, cy);
  if (n == nullptr) return r->failed = true, 0;
  r->last = n;
  return 1;
}

int onContour(XchgElement*, XchgScope*, void* user) {
  ContourReader* r = readerOf(user);
  if (r->first == nullptr && r->level == 0) r->level = 1;
  return 1;
}

int onOpen(XchgElement*, XchgScope* scope, void* user) {
  ContourReader* r = readerOf(user);
  xchgScopePush(scope);
  if (r->level > 0) ++r->level;
  return 1;
}

int onClose(XchgElement*, XchgScope* scope, void* user) {
  ContourReader* r = readerOf(user);
  int result = 1;
  if (r->level > 2) {
    --r->level;
  } else {
    if (r->level == 2 && r->first != nullptr) {
      if (std::fabs(r->last->x - r->first->x) > 1e-6 ||
          std::fabs(r->last->y - r->first->y) > 1e-6) {
        StockElement* n = stockNewLineElement(r->last, r->first->x, r->first->y);
        if (n == nullptr) {
          r->failed = true;
          result = 0;
        } else {
          r->last = n;
        }
      }
      // The finished contour goes in front of the contours read before it.
      r->last->next = r->chain;
      r->chain = r->first;
      r->first = r->last = nullptr;
    }
    r->level = 0;
  }
  xchgScopePop(scope);
  return result;
}

int geometrySection(const XchgHeader* h) {
  return h != nullptr && h->kind != nullptr && std::strncmp(h->kind, "Geometry", 8) == 0 ? 1 : 0;
}

}  // namespace

// ---- model ----------------------------------------------------------------------------------

int stockModelInit(int mode, int toolKind, double radius, double corner, const char* boundary,
                   const char* tmpDir, double, double, int) {
  const GlobalParams& g = *parGlobalBlock();
  releaseModel();
  ss.noTransform = csysAxisDiffers() == 1 ? 1 : 0;
  hgridSetNoTransform(ss.noTransform);
  if (mode == 0) {
    ss.active = 0;
    return 0;
  }
  ss.active = 1;
  double step = (mode == 2 || g.fullcutStrategy > 0) ? 0.3 : 1.0;
  step = std::fmin(step, 0.25 * radius);
  if (ss.noTransform == 0 && unitFactor != 0) step /= unitFactor;
  ss.modelStep = step;
  ss.cornerRadius = toolKind == 1 ? radius : toolKind == 3 ? corner : 0.0;
  ss.workPath = pathListNew(1000, 0);
  if (ss.workPath == nullptr) return stockFail(-1);
  if (boundary == nullptr || boundary[0] == '\0' || boundary[0] == ' ') return 0;
  double offset = 0;
  if (g.boundMode == 2) offset = radius;
  if (g.boundMode == 3 && g.stockMode == 0) offset = -radius;
  if (g.skipNocut != 0) offset -= ss.modelStep;
  Boundary* list = bndRead(boundary, 0.0, offset);
  if (list == nullptr) return 0;
  char path[1100];
  if (tmpDir == nullptr || pathJoinDirName(path, sizeof path, tmpDir, kStockOutlineFile) != 1) {
    bndFree(list);
    return stockFail(-1);
  }
  const int written = writeOutline(path, list);
  bndFree(list);
  if (written != 1) return -1;
  if (stockReadContours(&ss.contours, path) != 0) return stockFail(-1);
  return 1;
}

int stockModelFree() {
  if (ss.active == 0) return 0;
  releaseModel();
  stockRegisterQuery(nullptr, ss.cornerRadius, ss.noTransform);
  return 1;
}

int stockModelSetGrid(StockGrid* grid) {
  if (ss.active == 0) return 0;
  if (grid != ss.grid) releaseModelGrid();
  ss.grid = grid;
  stockRegisterQuery(grid, ss.cornerRadius, ss.noTransform);
  return 1;
}

void stockSetSkipNoCutFlags(int flag) { ss.skipNoCut = flag; }

StockModelView stockModelView() {
  return StockModelView{ss.active,   ss.noTransform, ss.modelStep, ss.cornerRadius,
                        ss.contours, ss.workPath,    ss.grid};
}

// ---- depth ----------------------------------------------------------------------------------

int stockQueryBuild(const StockQuerySetup* setup) {
  if (setup == nullptr || !cellCountFits(setup->rows, setup->columns) || !(setup->zStep > 0) ||
      !std::isfinite(setup->zStep) || !std::isfinite(setup->top) || !std::isfinite(setup->lift)) {
    return stockFail(-1);
  }
  dropQueryArrays();
  for (StockQueryArray*& a : ss.query.arrays) {
    a = newQueryArray(setup->rows, setup->columns);
    if (a == nullptr) {
      dropQueryArrays();
      return stockFail(-1);
    }
  }
  ss.query.arrays[0]->zStep = setup->zStep;
  ss.query.arrays[0]->top = setup->top;
  ss.query.lift = setup->lift;
  ss.query.locate = setup->locate;
  ss.query.evaluate = setup->evaluate;
  ss.query.state = 1;
  return 0;
}

StockQueryArray* stockQueryArrays(int which) {
  return which == 0 || which == 1 ? ss.query.arrays[which] : nullptr;
}

int stockQueryState() { return ss.query.state; }

int stockReleaseQuery() {
  DepthQuery& q = ss.query;
  if (q.state == 2) return 0;
  if (q.state != 1) return -1;
  if (q.arrays[0] == nullptr && q.arrays[1] == nullptr) {
    q.state = 0;
    return -1;
  }
  q.state = 2;
  return 0;
}

int stockFreeQuery() {
  if (ss.query.state != 2) return -1;
  const bool first = ss.query.arrays[0] != nullptr;
  dropQueryArrays();
  return first ? 0 : -1;
}

StockGrid* stockNewRecord(double x0, double y0, double z0, double cell, double zStep,
                          std::int32_t columns, std::int32_t rows) {
  if (!cellCountFits(rows, columns) || !(cell > 0) || !(zStep > 0) || !std::isfinite(cell) ||
      !std::isfinite(zStep)) {
    return nullptr;
  }
  auto* g = static_cast<StockGrid*>(memAllocZero(sizeof(StockGrid)));
  if (g == nullptr) return nullptr;
  *g = StockGrid{x0, y0, z0, cell, zStep, columns, rows, nullptr};
  // One block of counts behind the row pointers: heights[0] owns it.
  auto** rowPtrs = static_cast<std::uint16_t**>(memAllocZero(sizeof(std::uint16_t*) * rows));
  auto* counts = static_cast<std::uint16_t*>(
      memAllocZero(sizeof(std::uint16_t) * static_cast<std::size_t>(rows) * columns));
  if (rowPtrs == nullptr || counts == nullptr) {
    memFree(rowPtrs);
    memFree(counts);
    memFree(g);
    return nullptr;
  }
  for (std::int32_t r = 0; r < rows; ++r)
    rowPtrs[r] = counts + static_cast<std::size_t>(r) * columns;
  g->heights = rowPtrs;
  return g;
}

int stockFreeRecord(StockGrid* grid) {
  if (grid == nullptr) return 0;
  if (ss.query.grid == grid) ss.query.grid = nullptr;
  if (ss.grid == grid) ss.grid = nullptr;
  if (grid->heights != nullptr) {
    stockFreeQuery();
    memFree(grid->heights[0]);
    memFree(grid->heights);
  }
  memFree(grid);
  return 0;
}

void stockRegisterQuery(const StockGrid* grid, double cornerRadius, int noTransform) {
  stockSetQuery(grid, cornerRadius, noTransform);
}

void stockSetQuery(const StockGrid* grid, double zOffset, int noTransform) {
  if (parGlobalBlock()->useDsm != 0) return;
  ss.query.grid = grid;
  ss.query.zOffset = zOffset;
  ss.query.noTransform = noTransform;
}

int stockQueryDepth(const StockGrid* grid, StockQueryResult* result, double x, double y, double z) {
  if (grid == nullptr || result == nullptr) return -1;
  result->value = stockQueryWalk(x - grid->x0, y - grid->y0, z - grid->z0 + ss.query.lift);
  stockQueryStatus(&result->status[0], &result->status[1], &result->status[2]);
  return 0;
}

double stockQueryWalk(double x, double y, double z) {
  DepthQuery& q = ss.query;
  const StockQueryArray* first = q.arrays[0];
  // Every word starts at 0: a point that locate does not find must not keep the last point's
  // third word, which would make it read as inside.
  q.status[0] = q.status[1] = q.status[2] = 0;
  const bool above = first != nullptr && z > first->top;
  const double zc = above ? first->top : z;
  const int located = q.locate != nullptr ? q.locate(x, y, zc, q.status) : 1;
  if (located != 0 || first == nullptr) return z;
  // The clamped height in whole quanta, held within a range no count reaches.
  const double quanta = std::clamp(std::floor(zc / first->zStep), -1e9, 1e9);
  const int preset = static_cast<int>(quanta);
  const int count = q.evaluate != nullptr ? q.evaluate(q.status, preset) : 1;
  return count * first->zStep + (above ? z - first->top : 0.0);
}

void stockQueryStatus(int* first, int* second, int* third) {
  if (first != nullptr) *first = ss.query.status[0];
  if (second != nullptr) *second = ss.query.status[1];
  if (third != nullptr) *third = ss.query.status[2];
}

int stockAvailable() {
  if (parGlobalBlock()->useDsm != 0) return 0;  // the library record is never set
  return ss.query.grid != nullptr ? 1 : 0;
}

int stockPlungeDepth(const Point3D& p, double* depth) {
  if (depth == nullptr) return 0;
  *depth = 0;
  return parGlobalBlock()->useDsm != 0 ? stockDepthExternal(p, depth)
                                       : stockDepthInternal(p, depth);
}

int stockDepthInternal(const Point3D& p, double* depth) {
  const StockGrid* grid = ss.query.grid;
  if (grid == nullptr || depth == nullptr) return 0;
  Point3D at = p;
  at.z -= ss.query.zOffset;
  if (ss.query.noTransform == 0) csysToolToFrame(&at);
  at.z += 2.0 * grid->zStep;
  StockQueryResult r{};
  if (stockQueryDepth(grid, &r, at.x, at.y, at.z) != 0 || r.status[2] == 0) return 0;
  const double d = -r.value;
  if (!(d >= 0)) return 0;
  if (parGlobalBlock()->resolution / 4 - 0.00001 > 0 || r.status[2] > 3) {
    *depth = d;
    return 1;
  }
  return 0;
}

int stockDepthExternal(const Point3D&, double*) {
  if (ss.dsmInitialised == 0) {
    ss.dsmInitialised = 1;
    stockDsmInitialize();
  }
  stockDsmCheckMove();  // no library record: the point is never inside
  return 0;
}

int stockDsmInitialize() { return kStockNoLibrary; }
int stockDsmCheckMove() { return kStockNoLibrary; }

int stockPlungeMacroHook(const Point3D* start, const Point3D* next, const void*,
                         const SurfaceModel*, const void* approach) {
  if (stockAvailable() == 0 || start == nullptr || approach == nullptr) return 0;
  const GlobalParams& g = *parGlobalBlock();
  // The caller hands its own copy of the approach description to be changed.
  auto* a = static_cast<ApproachParams*>(const_cast<void*>(approach));
  const double unit = unitFactor != 0 ? unitFactor : 1.0;
  const int kind = a->approachKind;
  if (g.helixOptStock != 0 && (kind == 6 || kind == 8 || kind == 13)) {
    double d = 0;
    stockPlungeDepth(*start, &d);
    a->plungeHeight = std::fabs(d) * unit + 2.0 * g.stockXyoffset;
  }
  if (g.axisPocket != 2 && kind == 0) return 0;
  if (g.stock3df[0] == '\0' && (kind == 0 || kind == 8 || kind == 13)) return 0;
  if (kind == 7 && g.checkOutin != 0) {
    a->plungeMode = 3;
    a->plungeHeight = 0.1;
  }
  Point3D test = *start;
  if (kind != 8 && kind != 13 && next != nullptr) {
    const Point3D zero{0, 0, 0};
    MoveMacro* m = approachBuildMove(1, *start, *next, a, 0, nullptr, 0, &zero);
    if (m != nullptr && m->count > 0) test = m->points[m->count - 1];
    approachFreeMove(m);
  }
  double d = 0;
  if (stockPlungeDepth(test, &d) != 1) return 1;
  const double h = std::fabs(d) * unit;
  if (a->plungeMode == 2) {
    if (a->approachKind == 6) {
      a->plungeHeight += h;
    } else {
      a->approachKind = 6;
      a->plungeHeight = h;
    }
  } else if (a->plungeMode == 3 || (a->plungeMode == 1 && g.checkOutin != 0)) {
    a->approachKind = static_cast<std::int16_t>(g.axisPocket != 2 ? 8 : 13);
    a->plungeHeight = h;
  } else {
    a->approachKind = 7;
    a->plungeHeight = h;
  }
  if (g.noPlunge != 0) {
    msgSendReal(9, kStockMsgNoPlunge, "* plunge not allowed", 0);
    return -2;
  }
  return 1;
}

// ---- contours -------------------------------------------------------------------------------

int stockReadContours(StockElement** out, const char* file) {
  if (out != nullptr) *out = nullptr;
  if (out == nullptr || file == nullptr || file[0] == '\0') return kStockReadNoName;
  ContourReader r;
  XchgInterp* in = xchgInterpNew(&r, nullptr, onOpen, onClose);
  if (in == nullptr) return 1;
  const bool set =
      xchgInterpOnObject(in, "M", onMove) == 1 && xchgInterpOnObject(in, "L", onLine) == 1 &&
      xchgInterpOnObject(in, "A", onArc) == 1 && xchgInterpOnObject(in, "Contour", onContour) == 1;
  const int run = set ? xchgInterpRun(file, in, geometrySection) : 0;
  xchgInterpFree(in);
  stockFreeContours(r.first);
  if (run != 1 || r.failed) {
    stockFreeContours(r.chain);
    return kStockReadFailed;
  }
  *out = r.chain;
  return 0;
}

void stockFreeContours(StockElement* chain) {
  while (chain != nullptr) {
    StockElement* next = chain->next;
    memFree(chain);
    chain = next;
  }
}

StockElement* stockNewLineElement(StockElement* last, double x, double y) {
  return newElement(last, 1, x, y, x, y);
}
StockElement* stockNewArcElement(StockElement* last, double x, double y, double cx, double cy) {
  return newElement(last, 2, x, y, cx, cy);
}
StockElement* stockNewArcElement2(StockElement* last, double x, double y, double cx, double cy) {
  return newElement(last, 3, x, y, cx, cy);
}

// ---- optimisation file name -----------------------------------------------------------------

int zfinZoptFilePath() {
  GlobalParams& g = *parGlobalBlock();
  const char* apt = g.apt;
  const char* base = apt;
  for (const char* c = apt; *c != '\0'; ++c) {
    if (*c == '/' || *c == '\\') base = c + 1;
  }
  // The base name with its extension (after the last '.') replaced by "zpa", appended when there
  // is none; built in fixed buffers, so nothing here can throw.
  const char* dot = std::strrchr(base, '.');
  const std::size_t stem =
      dot != nullptr ? static_cast<std::size_t>(dot - base) : std::strlen(base);
  char name[sizeof g.apt + 8];
  char path[sizeof ss.zoptName];
  const bool named =
      stem + 5 <= sizeof name &&
      std::snprintf(name, sizeof name, "%.*s.zpa", static_cast<int>(stem), base) > 0 &&
      pathJoinDirName(path, sizeof path, g.zopzPath, name) == 1;
  if (!named) {
    ss.zoptName[0] = '\0';
    g.zoptRead = 0;
    return 0;
  }
  std::memcpy(ss.zoptName, path, sizeof path);
  if (geoFileExists(path) == 1) {
    g.zoptWrite = 0;
    return 1;
  }
  g.zoptRead = 0;
  return 0;
}

const char* zfinZoptFileName() { return ss.zoptName; }

void stockModelResetState() {
  releaseModel();
  dropQueryArrays();
  const int initialised = ss.dsmInitialised;  // the library's flag lives for the process
  ss = StockState{};
  ss.dsmInitialised = initialised;
}
