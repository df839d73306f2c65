// approach_macro.cpp - the macro record, the dispatcher over the kinds and the builder's switches.
#include "cycles/approach_macro.h"

#include <cmath>
#include <cstring>

#include "cycles/rough_standins.h"
#include "framework/memory.h"

namespace {

constexpr double kEps = 1e-5;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;

struct BuilderState {
  char approachFile[kMacroNameSize] = {};
  char retractFile[kMacroNameSize] = {};
  int straightRetract = 0;
  int rampFlag = 0;
  double shiftDistance = 0;
};
BuilderState builder;

bool isArcKind(int kind) {
  return kind == 1 || kind == 3 || kind == 10 || kind == 16 || kind == 21 || kind == 23 ||
         kind == 26 || kind == 27;
}
bool isApproachOnly(int kind) {
  return kind == 6 || kind == 7 || kind == 8 || kind == 13 || kind == 28;
}
bool isTableKind(int kind) {
  return (kind >= 0 && kind <= 16) || (kind >= 20 && kind <= 28) || kind == 100;
}

const char* keepName(char* buffer, const char* name) {
  if (name == nullptr) {
    buffer[0] = '\0';
    return nullptr;
  }
  const std::size_t n = std::strlen(name);
  if (n >= static_cast<std::size_t>(kMacroNameSize)) {
    buffer[0] = '\0';  // a name that does not fit is refused, never cut short
    return nullptr;
  }
  std::memcpy(buffer, name, n + 1);
  return name + n;
}

MoveMacro* newMacro(int type, int kind, int capacity, const Point3D& p, const Point3D& d) {
  auto* m = static_cast<MoveMacro*>(memAllocZero(sizeof(MoveMacro)));
  if (m == nullptr) return nullptr;
  m->points = static_cast<Point3D*>(memAllocZero(sizeof(Point3D) * capacity));
  if (m->points == nullptr) {
    memFree(m);
    return nullptr;
  }
  m->type = type;
  m->kind = kind;
  m->capacity = capacity;
  m->shiftVector = {0, 0, 1};
  const Point3D v = vecSub(p, d);
  const double len = vecLength(v);
  m->direction = len < kEps ? Point3D{0, 0, 0} : vecScale(1.0 / len, v);
  m->points[0] = p;
  m->count = 1;
  return m;
}

}  // namespace

void approachFreeMove(MoveMacro* macro) {
  if (macro == nullptr) return;
  memFree(macro->points);
  memFree(macro->axes);
  MacroTextLine* line = macro->lines;
  while (line != nullptr) {
    MacroTextLine* next = line->next;
    memFree(line->text);
    memFree(line);
    line = next;
  }
  memFree(macro);
}

void approachShiftByVector(const MoveMacro* macro, Point3D* point) {
  const Point3D& s = macro->shiftVector;
  if (std::fabs(s.x) < kEps && std::fabs(s.y) < kEps && std::fabs(s.z) < kEps) return;
  *point = vecAdd(*point, vecScale(macro->shiftFactor, s));
}

MoveMacro* approachBuildMove(int type, const Point3D& p, const Point3D& d, ApproachParams* a,
                             int sense, const PathList* path, int index, const Point3D* x) {
  if (a == nullptr) return nullptr;
  // An axis or target shorter than 1e-5 is taken as none: a unit vector of it has no direction.
  if (x != nullptr && vecLength(*x) < kEps) x = nullptr;
  int kind;
  double l;
  double incline;
  double turn;
  double shift;
  if (type == kMacroApproach) {
    kind = a->approachKind;
    if (kind != 8 && kind != 12 && kind != 13 && kind != 100) {
      builder.shiftDistance = a->approachShift;
      if (a->approachLength <= kEps) return nullptr;
      if (kind == 16 && x == nullptr) a->approachKind = static_cast<std::int16_t>(kind = 0);
    }
    sense = -sense;
    if (kind == 100) return roughStandInMacroFile(type, p, d, a, approachMacroFile());
    if (kind == 6 || kind == 8 || kind == 13 || kind == 28) {
      // The helix and the contour ramps are not built yet: the tool plunges straight down from
      // the plunge height instead, so that it never rapids into the stock.
      MoveMacro* m = newMacro(type, 7, 2, p, d);
      if (m == nullptr) return nullptr;
      approachAddVertical(m, p, a->plungeHeight);
      m->shiftFactor = a->approachShift >= 0 ? a->approachShift : 0.0;
      return m;
    }
    if (kind == 7) {
      a->approachKind = static_cast<std::int16_t>(kind = 0);
      a->approachLength = a->plungeHeight;
    }
    l = a->approachLength;
    incline = a->approachIncline;
    turn = a->approachTurn;
    shift = a->approachShift;
  } else {
    kind = a->retractKind;
    if (kind == 100) return roughStandInMacroFile(type, p, d, a, approachRetractFile());
    builder.shiftDistance = a->retractShift;
    if (kind == 12 && x == nullptr) a->retractKind = static_cast<std::int16_t>(kind = 0);
    l = a->retractLength;
    incline = a->retractIncline;
    turn = a->retractTurn;
    shift = a->retractShift;
  }
  // The capacity of an arc, 2 + trunc(2 pi / step angle), needs a step angle above 1e-5.
  if (isArcKind(kind) && !(a->stepAngle > kEps)) return nullptr;

  int capacity = 2;
  if (isArcKind(kind)) {
    capacity = 2 + static_cast<int>(std::trunc(kTwoPi / a->stepAngle));
  } else if (type == kMacroRetract && (isApproachOnly(kind) || !isTableKind(kind))) {
    capacity = 1;  // a retract of an approach-only or unknown kind holds only its end point
  }
  MoveMacro* m = newMacro(type, kind, capacity, p, d);
  if (m == nullptr) return nullptr;
  const double w = a->stepAngle;
  const double e = a->endAngle;
  const int s = sense;
  const double ang = (kind == 5 || kind == 22) ? kHalfPi : incline;
  (void)index;
  if (capacity > 1) {
    switch (kind) {
      case 0: approachAddVertical(m, p, l); break;
      case 1: approachAddArc(m, l, w, e, p, d); break;
      case 2: approachAddTiltedLine(m, l, ang, p, d); break;
      case 3: approachAddTangentArc(m, l, w, e, s, d, p); break;
      case 4:
      case 5: approachAddSideLine(m, l, ang, s, d, p); break;
      case 9: approachAddLevelLine(m, l, ang, p, d); break;
      case 10: approachAddArcOnPath(m, path, l, w, e, p, d); break;
      case 11: approachAddYStep(m, l, s, p, d); break;
      case 12: approachAddTarget(m, p, x); break;
      case 14: approachAddTurnedSideLine(m, l, turn, ang, s, d, p); break;
      case 15: approachAddProjected(m, l, p); break;
      case 16: approachAddBlendArc(m, d, 0.0, w, x, p); break;
      case 20: approachAddAlongAxis(m, x, p, l); break;
      case 21: approachAddArcInAxisPlane(m, x, l, w, e, p, d); break;
      case 22:
      case 24: approachAddSideLineBent(m, d, p, x, l, ang, s); break;
      case 23: approachAddTangentArcBent(m, d, x, l, w, e, s, p); break;
      case 25: approachAddTiltedLineAxis(m, p, d, l, ang, x); break;
      case 26: approachAddAxisArc(m, x, p, d, l, w, e, s); break;
      case 27: approachAddArcOrPathAxis(m, path, l, w, e, x, d, p); break;
      default: break;
    }
  }
  m->shiftFactor = shift >= 0 ? shift : 0.0;
  return m;
}

MoveMacro* retractBuildMacro(const SurfaceModel* /*model*/, int type, const Point3D& p,
                             const Point3D& d, const ApproachParams* a, int sense,
                             const PathList* path, int index, const Point3D* axis) {
  if (a == nullptr) return nullptr;
  ApproachParams copy = *a;
  const Point3D* x = nullptr;
  Point3D axisCopy{};
  if (axis != nullptr) {
    axisCopy = *axis;
    x = &axisCopy;
  }
  MoveMacro* m = approachBuildMove(type, p, d, &copy, sense, path, index, x);
  if (m != nullptr && axis != nullptr) m->shiftVector = *axis;
  return m;
}

const char* approachSetMacroFile(const char* name) { return keepName(builder.approachFile, name); }
const char* approachSetRetractFile(const char* name) { return keepName(builder.retractFile, name); }
const char* approachMacroFile() { return builder.approachFile; }
const char* approachRetractFile() { return builder.retractFile; }
void approachSetStraightRetract(int flag) { builder.straightRetract = flag; }
int approachStraightRetract() { return builder.straightRetract; }
void approachSetRampFlag(int flag) { builder.rampFlag = flag; }
int approachRampFlag() { return builder.rampFlag; }
double approachShiftDistance() { return builder.shiftDistance; }

void approachClearParams(FinishApproachBlock* block) {
  if (block == nullptr) return;
  block->approachKind = 0;
  block->retractKind = 0;
  block->flag1 = 0;
  block->flag2 = 0;
  for (double& v : block->values) v = 0;
}

void approachResetState() {
  // The file names stay from one run to the next until a new one is stored, and the two switches
  // stay until their setters clear them.
  builder.shiftDistance = 0;
}
