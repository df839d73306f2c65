// pock_geometry.cpp - the pocket cycles' contour reader, the preparation of the contours before
// pocketing and the allowance table.
#include "pocket/pock_geometry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "framework/xchg_scope.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_scale.h"

namespace {

// Longest text of the options "currentX" and "currentY" taken as the first current point.
constexpr std::size_t kCurrentTextMax = 39;
// Gap and radius differences up to this many tolerances are accepted by contCheckRepair.
constexpr double kRepairReach = 100.0;

struct GeometryState {
  double allowances[kPockAllowanceRoom] = {};
  int allowanceCount = 0;
};
GeometryState geoState;

// Side of compensation of the reading state.
enum class Side { None, Left, Right };

// What a read keeps between elements.
struct ReadState {
  CcpRecord* record = nullptr;
  const char* layer = nullptr;
  int clamps = 0;
  double toolRefOffset = 0.0;
  // Per-contour state, reset at every opening brace.
  double allowance = 0.0;
  Side side = Side::None;
  double depth = 0.0;  // effective depth
  double surface = 0.0;
  int stock = 0;
  int reverse = 0;
  // Kept over braces.
  int pocket = 0;
  int tag = 0;
  // Brace depth, and the depth of the open contour's object (-1 none).
  int level = 0;
  int contourLevel = -1;
  std::vector<ContourElement> elements;
  std::string current[2];  // texts of the current point
  int failure = 0;         // engine code that ended the read
};

void geoResetContourState(ReadState* s) {
  const CcpRecord* r = s->record;
  s->allowance = r->planeAllowance;
  s->side = Side::None;
  s->depth = r->depth - r->depthOffset;
  if (s->depth < 0.0) s->depth = 0.0;
  s->surface = r->surface;
  s->stock = 0;
  s->reverse = 0;
}

// A whole decimal number (blanks around it allowed) in the "C" locale: true with its value.
bool geoStrictNumber(const char* text, double* out) {
  const locale_t c = platCLocale();
  char* end = nullptr;
  const double v = c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// A coordinate text: empty reads as 0; otherwise it must be a number.
bool geoCoordinate(const char* text, double* out) {
  const char* t = text;
  while (*t == ' ' || *t == '\t') ++t;
  if (*t == '\0') {
    *out = 0.0;
    return true;
  }
  return geoStrictNumber(t, out);
}

// The option's text cut to kCurrentTextMax characters; empty when absent.
std::string geoCurrentOption(const CycleRecord* cycle, const char* key) {
  char* v = parListGet(cycle->params, key, nullptr);
  std::string text = v != nullptr ? std::string(v).substr(0, kCurrentTextMax) : std::string();
  memFree(v);
  return text;
}

// The open contour is finished: its allowance goes to the table and, unless it is just two lines,
// it is cleaned and stored. Returns false when the read must end (s->failure set).
bool geoFinishContour(ReadState* s) {
  if (geoState.allowanceCount >= kPockAllowanceRoom) {
    s->failure = kPockCodeTooManyContours;
    return false;
  }
  geoState.allowances[geoState.allowanceCount++] = s->allowance;

  ContourHeader h{};
  h.ccw = 1;
  h.leftSide = s->side == Side::Left ? 1 : 0;
  h.group = static_cast<std::int16_t>(s->clamps == 0 ? 1 : 0);
  h.zTop = s->toolRefOffset + s->surface + s->record->surfaceOffset;
  h.zBottom = h.zTop - std::fabs(s->depth);
  h.parent = 1;
  h.stockMark = static_cast<std::int16_t>(s->stock);
  h.allowance = s->allowance;
  h.sequence = static_cast<std::int16_t>(s->pocket);

  std::vector<ContourElement>& e = s->elements;
  int n = static_cast<int>(e.size());
  if (s->record->scaleLengths != 0) {
    // The clean-up's tolerances are absolute: a small contour is cleaned at the engine's size.
    // A factor already in force (the clamps are read after the run's lengths were scaled) is
    // used and kept; otherwise one is chosen for the clean-up only.
    PockEngine& engine = pockEngine();
    const double kept = engine.scaleFactor;
    if (std::fabs(kept - 1.0) < kScaleIdentityTol) scaleChooseFactor();
    scaleContour(e.data(), n);
    n = contCleanup(e.data(), n);
    unscaleContour(e.data(), n);
    engine.scaleFactor = kept;
  } else {
    n = contCleanup(e.data(), n);
  }
  h.count = n;
  if (s->reverse != 0) contReverse(e.data(), n);
  const bool twoLines = n == 2 && e[0].type == kContLine && e[1].type == kContLine;
  if (!twoLines && layerInsertContour(s->layer, e.data(), &h, -1) != 1) {
    s->failure =
        layerCount(s->layer) >= kLayerMaxContours ? kPockCodeTooManyContours : kPockCodeNoMemory;
    return false;
  }
  e.clear();
  return true;
}

// A variable of the file: into the scope, and into the reading state by its name.
void geoVariable(ReadState* s, XchgScope* scope, const char* name, const char* value) {
  xchgScopeSet(scope, name, value);
  CcpRecord* r = s->record;
  const bool isTrue = std::strcmp(value, "true") == 0;
  auto clipTag = [s, r, isTrue]() {
    s->tag = isTrue ? kContTagOpen : 0;
    if (isTrue && s->stock == 0) r->stockMovement = 1;
  };
  // With rest evaluation every variable read sets the tag.
  if (r->evaluateRif != 0) clipTag();
  double v = 0.0;
  if (std::strcmp(name, "sideOfCompensation") == 0) {
    s->side = std::strcmp(value, "leftOfContour") == 0    ? Side::Left
              : std::strcmp(value, "rightOfContour") == 0 ? Side::Right
                                                          : Side::None;
  } else if (std::strcmp(name, "planeAllowance") == 0) {
    if (geoStrictNumber(value, &v)) s->allowance = v;
  } else if (std::strcmp(name, "depth") == 0) {
    if (geoStrictNumber(value, &v)) s->depth = v - r->depthOffset < 0.0 ? 0.0 : v - r->depthOffset;
  } else if (std::strcmp(name, "surface") == 0) {
    if (geoStrictNumber(value, &v)) s->surface = v;
  } else if (std::strcmp(name, "stock") == 0) {
    s->stock = isTrue ? 1 : 0;
  } else if (std::strcmp(name, "pocket") == 0) {
    s->pocket = isTrue ? 1 : 0;
  } else if (std::strcmp(name, "clip") == 0) {
    if (r->stockMode > 0 || (r->strategy >= 2 && r->strategy <= 5)) clipTag();
  } else if (std::strcmp(name, "bnd") == 0) {
    if (s->tag < 0) s->tag = std::strcmp(value, "false") == 0 ? kContTagOpen : kContTagOpenBnd;
  } else if (std::strcmp(name, "reverse") == 0) {
    s->reverse = std::strcmp(value, "false") != 0 ? 1 : 0;
  } else if (std::strcmp(name, "precision") == 0) {
    CycleRecord* cycle = &r->base;
    char* given = parListGet(cycle->params, "precision", nullptr);
    if (given == nullptr) {
      numSetPrecision(std::atoi(value));
      cycle->params = parListSet(cycle->params, "precision", value, kParKindProgram);
      cycSendTextRecord(cycle, 0, 108, "precision", value);
    }
    memFree(given);
  }
}

// One "L", "A" or "P" element directly inside the open contour. Returns false when the read must
// end (s->failure set).
bool geoElement(ReadState* s, const XchgElement& e, char kind) {
  XchgCoord c;
  xchgCoordPreset(&c, s->current[0].c_str(), s->current[1].c_str(), nullptr);
  xchgCoordParse(&c, &e);
  double a[2], b[2], m[2];
  for (int i = 0; i < 2; ++i) {
    if (!geoCoordinate(c.first[i], &a[i]) || !geoCoordinate(c.second[i], &b[i]) ||
        (kind == 'A' && !geoCoordinate(c.third[i], &m[i]))) {
      s->failure = kPockCodeBadGeometry;
      return false;
    }
  }
  s->current[0] = c.second[0];
  s->current[1] = c.second[1];
  CcpRecord* r = s->record;
  if (kind == 'P') {
    if (r->startExplicit == 0) {
      r->startExplicit = 1;
      r->startX = a[0];
      r->startY = a[1];
    }
    s->contourLevel = -1;  // the enclosing object is no contour
    s->elements.clear();
    return true;
  }
  if (static_cast<int>(s->elements.size()) >= kContMaxElements) {
    s->failure = kPockCodeTooManyElements;
    return false;
  }
  ContourElement el{};
  if (kind == 'L') {
    el = contMakeLine(a[0], a[1], b[0], b[1], s->tag);
  } else {
    const int dir = c.name[0] == '-' ? -1 : 1;
    const double radius = std::hypot(a[0] - m[0], a[1] - m[1]);
    el = contMakeArc(m[0], m[1], a[0], a[1], b[0], b[1], radius, dir, s->tag);
  }
  s->elements.push_back(el);
  if (s->tag == kContTagOpenBnd) s->tag = kContTagOpen;  // -2 marks the first element only
  return true;
}

// Reads every element of the open file. Returns false when the read ended on a failure.
bool geoReadElements(ReadState* s, std::FILE* f, XchgScope* scope) {
  XchgElement e{};
  xchgElementClear(&e);
  bool ok = true;
  while (ok && xchgNextElement(f, &e) == 1) {
    if (e.kind == '{') {
      xchgScopePush(scope);
      geoResetContourState(s);
      ++s->level;
    } else if (e.kind == '}') {
      xchgScopePop(scope);
      if (s->level > 0) --s->level;
      if (s->contourLevel >= 0) {
        ok = geoFinishContour(s);
        if (s->level <= s->contourLevel) s->contourLevel = -1;
      }
    } else if (e.kind == 'v' && e.name != nullptr) {
      geoVariable(s, scope, e.name, e.id != nullptr ? e.id : "");
    } else if (e.kind == 'o' && e.name != nullptr) {
      if (std::strcmp(e.name, "Contour") == 0) {
        s->contourLevel = s->level;
        s->elements.clear();
      } else if (s->contourLevel >= 0 && s->level == s->contourLevel + 1 && e.name[1] == '\0' &&
                 (e.name[0] == 'L' || e.name[0] == 'A' || e.name[0] == 'P')) {
        ok = geoElement(s, e, e.name[0]);
      }
    }
    xchgElementClear(&e);
  }
  xchgElementClear(&e);
  return ok;
}

// Reports an engine code and returns 0.
int geoFail(int code) {
  pockMessage(code);
  return 0;
}

}  // namespace

double* pockAllowances() { return geoState.allowances; }
int pockAllowanceCount() { return geoState.allowanceCount; }

int pockAllowancesFromLayer(const char* name) {
  const int n = layerCount(name);
  int stored = 0;
  for (int i = 0; i < n && i < kPockAllowanceRoom; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i) break;
    geoState.allowances[i] = h.allowance;
    stored = i + 1;
  }
  geoState.allowanceCount = stored;
  return stored;
}

void pockGeometryResetState() { geoState = GeometryState{}; }

double ccpToolReferenceOffset(CcpRecord* record) {
  if (record == nullptr) return 0.0;
  char* ref = parListGet(record->base.params, "toolReference", nullptr);
  const bool centre = ref != nullptr && std::strcmp(ref, "center") == 0;
  memFree(ref);
  if (!centre) return 0.0;
  if (record->toolType == kCcpToolBall) return record->toolDiameter / 2.0;
  if (record->toolType == kCcpToolRadius) return record->cornerRadius;
  return 0.0;
}

int pockReadGeometry(CcpRecord* record, int clamps) {
  if (record == nullptr) return 0;
  CycleRecord* cycle = &record->base;
  try {
    ReadState s;
    s.record = record;
    s.layer = clamps == 0 ? "INPUT" : "CLAMPS";
    s.clamps = clamps == 0 ? 0 : 1;
    s.toolRefOffset = ccpToolReferenceOffset(record);
    geoResetContourState(&s);
    if (clamps == 0) geoState.allowanceCount = 0;
    if (layerCreate(s.layer) != 1) {
      cycSendError(cycle, "103");
      return 0;
    }
    const char* path = clamps == 0 ? record->geoSource : record->clampsSource;
    if (path == nullptr || path[0] == '\0') {
      cycSendError(cycle, "5");
      return 0;
    }
    XchgHeader header{};
    std::FILE* f = xchgOpen(path, &header);
    xchgHeaderFree(&header);
    if (f == nullptr) {
      std::string text = std::string("6,(") + path + ")";
      cycSendError(cycle, text.c_str());
      return 0;
    }
    XchgScope* scope = xchgScopeNew();
    if (scope == nullptr) {
      xchgClose(f);
      cycSendError(cycle, "4");
      return 0;
    }
    for (const char* key : {"surface", "depth"}) {
      char* v = parListGet(cycle->params, key, nullptr);
      if (v != nullptr) xchgScopeSet(scope, key, v);
      memFree(v);
    }
    s.current[0] = geoCurrentOption(cycle, "currentX");
    s.current[1] = geoCurrentOption(cycle, "currentY");
    const bool ok = geoReadElements(&s, f, scope);
    xchgClose(f);
    xchgScopeFree(scope);
    if (!ok) return geoFail(s.failure);
    return 1;
  } catch (...) {
    return geoFail(kPockCodeNoMemory);
  }
}

int contCheckRepair(ContourElement* elements, int n) {
  if (elements == nullptr || n <= 0) return 0;
  const double tol = pockEngine().contTol;
  const double reach = kRepairReach * tol;
  for (int i = 0; i + 1 < n; ++i) {
    const Point2D end = contElemEnd(elements[i]);
    const Point2D start = contElemStart(elements[i + 1]);
    if (!contSamePoint(end, start) && contDistance(end, start) > reach) return 0;
  }
  for (int i = 0; i < n; ++i) {
    ContourElement& e = elements[i];
    if (e.type != kContArc) continue;
    const double r1 = contDistance(contArcStart(e), contArcCentre(e));
    const double r2 = contDistance(contArcEnd(e), contArcCentre(e));
    const double diff = std::fabs(r1 - r2);
    if (diff <= tol) continue;
    if (diff >= reach) return 0;
    contArcFitEnds(&e);
  }
  return contIsClosed(elements, n);
}

namespace {

// Marks a header as an island (island 1) or an outer contour of the outer orientation o.
void geoMarkSides(ContourHeader* h, int o, bool island) {
  if (island) {
    h->ccw = static_cast<std::uint8_t>(o == 1 ? 0 : 1);
    h->leftSide = static_cast<std::uint8_t>(o == 1 ? 1 : 0);
  } else {
    h->ccw = h->leftSide = static_cast<std::uint8_t>(o == 1 ? 1 : 0);
  }
}

// Reads contour i of the layer into buffer. Returns false when it cannot be read.
bool geoRead(const char* name, int i, std::vector<ContourElement>* buffer, ContourHeader* h) {
  if (layerGetHeader(name, h, i) != i) return false;
  buffer->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  return layerGetContour(name, buffer->data(), h->count, h, i) == i;
}

}  // namespace

int pockPrepareContours(CcpRecord* record, int clamps) {
  if (record == nullptr) return 0;
  try {
    std::vector<ContourElement> e;
    PockEngine& engine = pockEngine();
    int o = engine.ccpOuterOrientation;
    for (int i = 0; i < layerCount("INPUT"); ++i) {
      ContourHeader h{};
      if (!geoRead("INPUT", i, &e, &h)) return geoFail(kPockCodeNoMemory);
      if (contIsClosed(e.data(), h.count) != 1) return geoFail(kPockCodeNotClosed);
      int f = contOrientation(e.data(), h.count);
      if (record->oriAutomatic == 2) {
        o = record->orientation;
      } else if (i == 0) {
        if (record->oriAutomatic == 1 && f != record->orientation) {
          contReverse(e.data(), h.count);
          f = -f;
        }
        o = f == 1 ? 1 : -1;
        geoMarkSides(&h, o, false);
      } else {
        const bool island = record->oriAutomatic == 1 || f == 0 || (f == 1 && h.leftSide == 0) ||
                            (f == -1 && h.leftSide == 1);
        if (island ? f == o : f != o) contReverse(e.data(), h.count);
        geoMarkSides(&h, o, island);
      }
      const int n = contCleanup(e.data(), h.count);
      if (n <= 0) {
        if (layerDeleteContour("INPUT", i) != 1) return geoFail(kPockCodeNoMemory);
        --i;  // the next contour takes this index
        continue;
      }
      if (contCheckRepair(e.data(), n) != 1) return geoFail(kPockCodeNotClosed);
      h.count = n;
      if (layerReplaceContour("INPUT", e.data(), &h, i) != 1) return geoFail(kPockCodeNoMemory);
    }
    engine.ccpOuterOrientation = o;
    if (clamps == 0) return 1;
    for (int i = 0; i < layerCount("CLAMPS"); ++i) {
      ContourHeader h{};
      if (!geoRead("CLAMPS", i, &e, &h)) return geoFail(kPockCodeNoMemory);
      if (contIsClosed(e.data(), h.count) != 1) return geoFail(kPockCodeNotClosed);
      const int f = contOrientation(e.data(), h.count);
      if (f == o) contReverse(e.data(), h.count);
      if (h.ccw == h.leftSide) contReverse(e.data(), h.count);
      geoMarkSides(&h, o, true);
      if (layerReplaceContour("CLAMPS", e.data(), &h, i) != 1) return geoFail(kPockCodeNoMemory);
    }
    return 1;
  } catch (...) {
    return geoFail(kPockCodeNoMemory);
  }
}
