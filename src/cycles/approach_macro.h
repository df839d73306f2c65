// approach_macro.h - approach and retract macros: a short point list that leads from a run's
// start (approach) or end (retract) away from the material in the shape the parameters choose.
// The emitter sends an approach in reverse order so that the tool arrives at the run's start.
#pragma once

#include <cstdint>

#include "cycles/machining_params.h"
#include "geometry/path_list.h"
#include "geometry/vec.h"

struct SurfaceModel;

inline constexpr int kMacroApproach = 1;
inline constexpr int kMacroRetract = 2;
inline constexpr int kMacroNameSize = 1024;

// One line of a user macro file: the macro's point count at the line and an owned copy.
struct MacroTextLine {
  int pointCount;
  char* text;
  MacroTextLine* next;
};

struct MoveMacro {
  std::int32_t type;  // 1 approach, 2 retract
  std::int32_t kind;  // the kind that built it
  std::int32_t capacity;
  std::int32_t count;  // point 0 is the run's start or end point
  double shiftFactor;  // distance along the shift vector by which the emitter shifts the points
  Point3D* points;     // owned
  Point3D shiftVector;
  Point3D* axes;  // one tool axis per point, or null; owned
  MacroTextLine* lines;
  Point3D direction;  // unit vector from the direction point toward the start point, or zero
  std::int32_t arcFlag;
  std::int32_t arcSide;
  double arcSweep;
  double arcRadius;
  Point3D arcStart;
  Point3D arcEnd;
  Point3D arcCentre;
};

// Builds the macro of type 1 (approach) or 2 (retract) at P with the direction point D. May change
// a: kind 7 becomes kind 0 with the plunge height as approach length; kind 16 (approach) or 12
// (retract) without x becomes kind 0. x is the tool axis (kinds 20 to 27) or the target (12, 16).
// Returns null when no macro results (no memory, lengths or step angle too small, no file).
MoveMacro* approachBuildMove(int type, const Point3D& p, const Point3D& d, ApproachParams* a,
                             int sense, const PathList* path, int index, const Point3D* x);
// Builds with a copy of a and the axis as x; the result's shift vector is the axis.
MoveMacro* retractBuildMacro(const SurfaceModel* model, int type, const Point3D& p,
                             const Point3D& d, const ApproachParams* a, int sense,
                             const PathList* path, int index, const Point3D* axis);
void approachFreeMove(MoveMacro* macro);
// point += shift factor * shift vector, unless the shift vector is zero.
void approachShiftByVector(const MoveMacro* macro, Point3D* point);

// Store the macro-file names (at most 1023 characters). Return the position after the name in
// name; null (and the stored name emptied) for null or a name that does not fit.
const char* approachSetMacroFile(const char* name);
const char* approachSetRetractFile(const char* name);
const char* approachMacroFile();
const char* approachRetractFile();
void approachSetStraightRetract(int flag);
int approachStraightRetract();
void approachSetRampFlag(int flag);
int approachRampFlag();
double approachShiftDistance();

// The finishing driver's own approach block: four 16-bit fields and six doubles.
struct FinishApproachBlock {
  std::int16_t approachKind;
  std::int16_t retractKind;
  std::int16_t flag1;
  std::int16_t flag2;
  double values[6];
};
void approachClearParams(FinishApproachBlock* block);

void approachResetState();

// ---- primitives (each appends after the points already in the macro) ---------------------------

// r sqrt(2 (1 - cos w)), or 0 when 2 (1 - cos w) <= 1e-5.
double approachChordLength(double r, double w);
// Centre of the arc of radius r from start to end on side (left +1); centre unchanged when the
// chord is below 1e-5 or longer than the diameter.
void approachArcCentre(const Point3D& start, const Point3D& end, double r, int side,
                       Point3D* centre);
int approachAddVertical(MoveMacro* m, const Point3D& p, double l);
int approachAddArc(MoveMacro* m, double l, double w, double e, const Point3D& p, const Point3D& d);
int approachAddTiltedLine(MoveMacro* m, double l, double a, const Point3D& p, const Point3D& d);
int approachAddLevelLine(MoveMacro* m, double l, double a, const Point3D& p, const Point3D& d);
int approachAddTiltedLineAxis(MoveMacro* m, const Point3D& p, const Point3D& d, double l, double a,
                              const Point3D* x);
int approachAddTangentArc(MoveMacro* m, double l, double w, double e, int s, const Point3D& d,
                          const Point3D& p);
int approachAddSideLine(MoveMacro* m, double l, double a, int s, const Point3D& d,
                        const Point3D& p);
int approachAddTurnedSideLine(MoveMacro* m, double l, double b, double a, int s, const Point3D& d,
                              const Point3D& p);
int approachAddSideLineBent(MoveMacro* m, const Point3D& d, const Point3D& p, const Point3D* x,
                            double l, double a, int s);
int approachAddTangentArcBent(MoveMacro* m, const Point3D& d, const Point3D* x, double l, double w,
                              double e, int s, const Point3D& p);
int approachAddAxisArc(MoveMacro* m, const Point3D* x, const Point3D& p, const Point3D& d, double l,
                       double w, double e, int s);
int approachAddArcInAxisPlane(MoveMacro* m, const Point3D* x, double l, double w, double e,
                              const Point3D& p, const Point3D& d);
int approachAddArcOnPath(MoveMacro* m, const PathList* path, double l, double w, double e,
                         const Point3D& p, const Point3D& d);
int approachAddArcOrPathAxis(MoveMacro* m, const PathList* path, double l, double w, double e,
                             const Point3D* x, const Point3D& d, const Point3D& p);
int approachAddAlongAxis(MoveMacro* m, const Point3D* x, const Point3D& p, double l);
int approachAddYStep(MoveMacro* m, double l, int s, const Point3D& p, const Point3D& d);
int approachAddTarget(MoveMacro* m, const Point3D& p, const Point3D* x);
int approachAddBlendArc(MoveMacro* m, const Point3D& d, double radius, double w, const Point3D* x,
                        const Point3D& p);
int approachAddProjected(MoveMacro* m, double l, const Point3D& p);
