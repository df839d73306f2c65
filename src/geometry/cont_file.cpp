// cont_file.cpp - the exchange contour reader: walks the elements of an exchange file itself,
// collects each contour's lines and linearised arcs as 3D points and turns them into guide
// curves in the file's coordinate frame.
#include "geometry/cont_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "framework/memory.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "framework/xchg_scope.h"
#include "geometry/geo_error.h"
#include "geometry/matrix4.h"

namespace {

constexpr int kContListRoom = 1000;
constexpr double kContMinRadius = 0.0001;
constexpr double kContMinStep = 0.001;
constexpr double kContSweepMargin = 0.0001;
constexpr double kContSameEnd = 1e-7;

// The file's coordinate frame: it outlives a read, as files rely on an earlier file's frame.
struct ContFrameState {
  Point3D origin{0, 0, 0};
  Point3D axisX{1, 0, 0};
  Point3D axisY{0, 1, 0};
  Point3D axisZ{0, 0, 1};
  Matrix4 matrix{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
};
ContFrameState contState;

// A decimal number in the "C" locale: true with the value when the text starts with a finite one.
bool contNumber(const char* text, double* out) {
  if (text == nullptr) return false;
  char* end = nullptr;
  const locale_t c = platCLocale();
  const double v = c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

double contNumberOr0(const char* text) {
  double v = 0.0;
  return contNumber(text, &v) ? v : 0.0;
}

bool contAppend(Pt3List* list, double x, double y, double z) {
  return lstPt3Append(list, Point3D{x, y, z}) == 1;
}

// What one read holds beside the result.
struct ContRead {
  Pt3List* list = nullptr;  // points of the open contour
  std::string id;           // its id
  int level = 0;            // open '{' levels
  int contourLevel = 0;     // the level of its "Contour" object
  std::string text[3];      // current point texts
  double surface = 0.0;
  double depth = 0.0;
  GuideCurve* first = nullptr;
  GuideCurve* last = nullptr;
  bool noMemory = false;
};

void contDropList(ContRead* r) {
  lstBox3Free(r->list);
  r->list = nullptr;
  r->id.clear();
}

// The contour's level closed: its points become a curve appended to the result.
void contCloseContour(ContRead* r) {
  if (r->list->count > 0) {
    GuideCurve* c = contFileMakePocket(r->surface, r->depth, r->list);
    if (c == nullptr) {
      r->noMemory = true;
    } else {
      const std::size_t n = std::min<std::size_t>(r->id.size(), kGuideNameMax);
      std::memcpy(c->name, r->id.data(), n);
      c->name[n] = '\0';
      if (r->last == nullptr)
        r->first = c;
      else
        r->last->next = c;
      r->last = c;
    }
  }
  contDropList(r);
}

void contOnVariable(ContRead* r, XchgScope* scope, const XchgElement& e) {
  const char* value = e.id != nullptr ? e.id : "";
  xchgScopeSet(scope, e.name, value);
  if (std::strcmp(e.name, "surface") == 0)
    r->surface = contNumberOr0(value);
  else if (std::strcmp(e.name, "depth") == 0)
    r->depth = contNumberOr0(value);
  else if (std::strcmp(e.name, "Cs_o") == 0)
    contFileParseXyz(value, &contState.origin);
  else if (std::strcmp(e.name, "Cs_x") == 0)
    contFileParseXyz(value, &contState.axisX);
  else if (std::strcmp(e.name, "Cs_y") == 0)
    contFileParseXyz(value, &contState.axisY);
  else if (std::strcmp(e.name, "Cs_z") == 0)
    contFileParseXyz(value, &contState.axisZ);
}

void contOnObject(ContRead* r, double tolerance, const XchgElement& e) {
  if (std::strcmp(e.name, "Contour") == 0) {
    contDropList(r);  // a contour that never closed is given up
    r->list = lstPt3New(kContListRoom);
    if (r->list == nullptr) {
      r->noMemory = true;
      return;
    }
    r->id = e.id != nullptr ? e.id : "";
    r->contourLevel = r->level;
    return;
  }
  const bool line = std::strcmp(e.name, "L") == 0;
  if (!line && std::strcmp(e.name, "A") != 0) return;
  XchgCoord c;
  xchgCoordPreset(&c, r->text[0].c_str(), r->text[1].c_str(), r->text[2].c_str());
  xchgCoordParse(&c, &e);
  for (int a = 0; a < 3; ++a) r->text[a] = c.second[a];
  if (r->list == nullptr) return;
  const double sx = contNumberOr0(c.first[0]), sy = contNumberOr0(c.first[1]);
  const double ex = contNumberOr0(c.second[0]), ey = contNumberOr0(c.second[1]);
  const double ez = contNumberOr0(c.second[2]);
  int ok;
  if (line) {
    ok = contFileAddLine(sx, sy, contNumberOr0(c.first[2]), ex, ey, ez, r->list);
  } else {
    ok = contFileAddArc(tolerance, sx, sy, ex, ey, ez, contNumberOr0(c.third[0]),
                        contNumberOr0(c.third[1]), c.name[0], r->list);
  }
  if (ok != 1) r->noMemory = true;
}

GuideCurve* contReadStream(std::FILE* f, XchgScope* scope, double tolerance) {
  ContRead r;
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  try {
    while (!r.noMemory && xchgNextElement(f, &e) == 1) {
      // The levels are counted here, not taken from the scope, so that a scope that could not
      // grow never shifts which '}' closes a contour.
      if (e.kind == '{') {
        xchgScopePush(scope);
        ++r.level;
      } else if (e.kind == '}') {
        xchgScopePop(scope);
        const bool closesContour = r.list != nullptr && r.level == r.contourLevel + 1;
        if (r.level > 0) --r.level;
        if (closesContour) contCloseContour(&r);
      } else if (e.kind == 'v' && e.name != nullptr) {
        contOnVariable(&r, scope, e);
      } else if (e.kind == 'o' && e.name != nullptr) {
        contOnObject(&r, tolerance, e);
      }
    }
  } catch (...) {  // a text of the reader ran out of memory
    r.noMemory = true;
  }
  xchgElementClear(&e);
  contDropList(&r);
  XchgLexError lex{};
  xchgLexLastError(&lex);
  if (lex.code == kXchgErrMemory) r.noMemory = true;  // an element was lost, not the file's end
  if (r.noMemory) {
    geoFail(-1, "cont_file");
    guideFree(r.first);
    return nullptr;
  }
  return r.first;
}

}  // namespace

GuideCurve* contFileRead(const char* path, double chordalTolerance) {
  matIdentity(&contState.matrix);
  XchgHeader header{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen(path, &header);
  xchgHeaderFree(&header);
  if (f == nullptr) {
    geoFail(-29, "cont_file");
    return nullptr;
  }
  XchgScope* scope = xchgScopeNew();
  GuideCurve* result = nullptr;
  if (scope == nullptr)
    geoFail(-1, "cont_file");
  else
    result = contReadStream(f, scope, chordalTolerance);
  xchgScopeFree(scope);
  xchgClose(f);
  return result;
}

int contFileAddLine(double sx, double sy, double sz, double ex, double ey, double ez,
                    Pt3List* list) {
  if (list == nullptr) return 0;
  if (list->count == 0 && !contAppend(list, sx, sy, sz)) return 0;
  return contAppend(list, ex, ey, ez) ? 1 : 0;
}

int contFileAddArc(double tolerance, double sx, double sy, double ex, double ey, double z,
                   double cx, double cy, char direction, Pt3List* list) {
  if (list == nullptr) return 0;
  const double vx = sx - cx, vy = sy - cy;
  const double r = std::hypot(vx, vy);
  if (!(r >= kContMinRadius)) return 1;
  const bool clockwise = direction == '-';
  double sweep;
  if (std::fabs(ex - sx) <= kContSameEnd && std::fabs(ey - sy) <= kContSameEnd) {
    sweep = 2.0 * std::numbers::pi;  // back at its start: a full circle, not a half one
  } else {
    sweep = g2dTurnAngle(sx, sy, cx, cy, ex, ey) + std::numbers::pi;
    if (clockwise) sweep -= 2.0 * std::numbers::pi;
  }
  double step = 2.0 * vecAcosClamped((r - tolerance) / r);
  if (!(step >= kContMinStep)) step = kContMinStep;
  const double limit = std::fabs(sweep) - kContSweepMargin;
  if (list->count == 0 && !contAppend(list, sx, sy, z)) return 0;
  // Each point is turned from S by its own angle, so no error adds up along a long arc.
  for (int k = 1; k * step <= limit; ++k) {
    const double a = clockwise ? -k * step : k * step;
    const double c = std::cos(a), s = std::sin(a);
    if (!contAppend(list, cx + vx * c - vy * s, cy + vx * s + vy * c, z)) return 0;
  }
  return contAppend(list, ex, ey, z) ? 1 : 0;
}

GuideCurve* contFileMakePocket(double surface, double depth, const Pt3List* list) {
  if (list == nullptr || list->count < 1) {
    geoFail(-20, "cont_file");
    return nullptr;
  }
  Matrix4 axes, shift;
  matFromAxes(contState.axisX, contState.axisY, contState.axisZ, &axes);
  matTranslation(contState.origin, &shift);
  matMultiply(axes, shift, &contState.matrix);
  const auto n = static_cast<std::size_t>(list->count);
  auto* points = static_cast<Point2D*>(memAllocZero(n * sizeof(Point2D)));
  auto* heights = static_cast<double*>(memAllocZero(n * sizeof(double)));
  GuideCurve* c = nullptr;
  if (points != nullptr && heights != nullptr) {
    for (std::size_t i = 0; i < n; ++i) {
      Point3D p;
      matTransformPoint(list->items[i], contState.matrix, &p);
      points[i] = Point2D{p.x, p.y};
      heights[i] = p.z;
    }
    c = guideNew(points, list->count, 'p');
  }
  if (c == nullptr) {
    memFree(points);
    memFree(heights);
    geoFail(-1, "cont_file");
    return nullptr;
  }
  c->z = heights;
  c->ownsPoints = 1;
  c->offLow = surface;
  c->offHigh = surface - depth;
  return c;
}

int contFileParseXyz(const char* text, Point3D* out) {
  if (text == nullptr || out == nullptr) return -1;
  double* parts[3] = {&out->x, &out->y, &out->z};
  const char* p = text;
  for (int k = 0; k < 3; ++k) {
    const char* comma = k < 2 ? std::strchr(p, ',') : nullptr;
    if (k < 2 && comma == nullptr) return -1;
    // A number never holds a comma, so reading from p stops at the part's end.
    double v = 0.0;
    if (contNumber(p, &v)) *parts[k] = v;
    if (comma != nullptr) p = comma + 1;
  }
  return 1;
}

void contFileResetState() { contState = ContFrameState{}; }
