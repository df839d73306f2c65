// stock_model.cpp - the stock model: outline file and stock contours, the depth query, the
// approach check and the optimisation file name.
#include "cycles/stock_model.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <source_location>
#include <string>

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

struct StockState {
  int active = 0;
  int noTransform = 0;
  double modelStep = 1.0;
  double cornerRadius = 0;
  StockElement* contours = nullptr;
  PathList* workPath = nullptr;
  int skipNoCut = 0;
  // The registered depth query.
  const StockGrid* grid = nullptr;
  StockQuery query{};
  double zOffset = 0;
  int queryNoTransform = 0;
  int dsmInitialised = 0;
  std::string zoptName;
};
StockState ss;

int stockFail(int code, std::source_location at = std::source_location::current()) {
  geoErrSet(code, "stock_model", static_cast<int>(at.line()));
  return code;
}

void releaseModel() {
  stockFreeContours(ss.contours);
  ss.contours = nullptr;
  pathListFree(ss.workPath);
  ss.workPath = nullptr;
  ss.grid = nullptr;
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
  stockSetQuery(nullptr, nullptr, ss.cornerRadius, ss.noTransform);
  return 1;
}

void stockSetSkipNoCutFlags(int flag) { ss.skipNoCut = flag; }

StockModelView stockModelView() {
  return StockModelView{ss.active,       ss.noTransform, ss.modelStep,
                        ss.cornerRadius, ss.contours,    ss.workPath};
}

// ---- depth ----------------------------------------------------------------------------------

void stockSetQuery(const StockGrid* grid, const StockQuery* query, double zOffset,
                   int noTransform) {
  if (parGlobalBlock()->useDsm != 0) return;
  ss.grid = grid;
  ss.query = query != nullptr ? *query : StockQuery{};
  ss.zOffset = zOffset;
  ss.queryNoTransform = noTransform;
}

int stockAvailable() {
  if (parGlobalBlock()->useDsm != 0) return 0;  // the library record is never set
  return ss.grid != nullptr ? 1 : 0;
}

int stockPlungeDepth(const Point3D& p, double* depth) {
  if (depth == nullptr) return 0;
  *depth = 0;
  return parGlobalBlock()->useDsm != 0 ? stockDepthExternal(p, depth)
                                       : stockDepthInternal(p, depth);
}

int stockDepthInternal(const Point3D& p, double* depth) {
  const StockGrid* grid = ss.grid;
  if (grid == nullptr || depth == nullptr) return 0;
  const StockQuery& q = ss.query;
  Point3D at = p;
  at.z -= ss.zOffset;
  if (ss.queryNoTransform == 0) csysToolToFrame(&at);
  at.z += 2.0 * grid->zStep;
  // The walk, relative to the grid's origin; a point above the top is clamped to it.
  const double x = at.x - grid->x0, y = at.y - grid->y0, z = at.z - grid->z0 + q.lift;
  const bool above = z > q.top;
  const double zc = above ? q.top : z;
  int words[3] = {0, 0, 0};
  double r = z;
  if (q.locate != nullptr && q.locate(grid, x, y, zc, words) == 0) {
    const int count = q.evaluate != nullptr ? q.evaluate(grid, words) : 0;
    r = count * q.zStep + (above ? z - q.top : 0.0);
  }
  if (words[2] == 0) return 0;
  const double d = -r;
  if (d < 0) return 0;
  if (parGlobalBlock()->resolution / 4 - 0.00001 > 0 || words[2] > 3) {
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
  std::string name = base;
  const std::size_t dot = name.rfind('.');
  name = (dot == std::string::npos ? name + "." : name.substr(0, dot + 1)) + "zpa";
  char path[1100];
  if (pathJoinDirName(path, sizeof path, g.zopzPath, name.c_str()) != 1) {
    ss.zoptName.clear();
    g.zoptRead = 0;
    return 0;
  }
  ss.zoptName = path;
  if (geoFileExists(path) == 1) {
    g.zoptWrite = 0;
    return 1;
  }
  g.zoptRead = 0;
  return 0;
}

const char* zfinZoptFileName() { return ss.zoptName.c_str(); }

void stockModelResetState() {
  releaseModel();
  const int initialised = ss.dsmInitialised;  // the library's flag lives for the process
  ss = StockState{};
  ss.dsmInitialised = initialised;
}
