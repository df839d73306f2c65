// out3d_state.h - the 3D output layer: process-wide state through which the 3D cycles hand out
// their toolpaths, the technology header (tool, planes, feed and spindle aliases), the feed
// bookkeeping that writes every feed as an alias or a multiple of the main feed FX, the feed and
// spindle stacks and the context brackets. Moves and the NC point buffer are in out3d_moves.h.
// Every record goes to the current output cycle (out3dSetCycle); without one nothing is written.
#pragma once

#include <cstddef>

#include "geometry/cycle_state.h"
#include "geometry/vec.h"
#include "output/nc_point_buffer.h"
#include "output/technology_record.h"

// Feed alias indices (names in out3dFeedAliasName).
enum Out3dFeedAlias : int {
  kOut3dAliasFZ = 0,
  kOut3dAliasFX = 1,
  kOut3dAliasReduced = 2,
  kOut3dAliasApproach = 3,
  kOut3dAliasRetract = 4,
  kOut3dAliasInfeed = 5,
  kOut3dAliasFullSection = 6,
  kOut3dAliasClearance = 7,
  kOut3dAliasLeadingEdge = 8,
  kOut3dAliasTrailingEdge = 9,
  kOut3dAliasFinalPath = 10,
  kOut3dAliasSpringPath = 11,
  kOut3dAliasFastRetract = 12,
  kOut3dFeedAliasCount = 13
};
inline constexpr int kOut3dSpindleAliasCount = 6;
// Entries of the feed stack and of the spindle stack.
inline constexpr int kOut3dStackMax = 100;

// Feed states: which feed the moves use now.
inline constexpr int kOut3dFeedNormal = 0;
inline constexpr int kOut3dFeedReduced = 1;
inline constexpr int kOut3dFeedPlunge = 2;

// Unknown last positions after a reset.
inline constexpr double kOut3dFarPos = 9876543.0;

// One entry of the feed or spindle stack: the value and its alias index.
struct Out3dStackEntry {
  double value;
  int alias;
};

// The state of the layer. Shared by the two source files of the layer; callers use the functions.
struct Out3dState {
  int ncMode = 0;      // 0 G-code records, 1 spline blocks, 2 polynomial blocks
  int moveOutput = 1;  // 0 suppresses the move records (not changed by a reset)
  double feedFX = 0;   // normal feed of the technology header
  double reducedFeed = 0;
  double currentFeed = 0;
  int aliasIndex = kOut3dAliasFX;
  int feedState = kOut3dFeedNormal;
  int feedMode = 0;  // 0 chosen per move, 1 and 2 explicit through the feed stack
  double approachFeed = 0;
  double retractFeed = 0;
  double infeedFeed = 0;
  bool approachRetractSection = false;  // an approach or retract feed is current
  bool infeedSection = false;           // the infeed feed is current
  bool specialActive = false;           // an approach or retract feed was switched on
  bool resendAlias = true;              // the feed alias lines are to be written again
  bool feedChangePending = false;       // written before the next feed move
  bool reducedOnce = false;             // reduced feed requested for the next feed move
  bool reducedOn = false;               // reduced feed requested until switched off
  bool axisReducedFeed = false;         // 5-axis feed moves that turn the axis use it
  double plungeCos = 0.99999;
  double zOffset = 0;
  int tipMode = 0;
  double tipLength = 0;
  Point3D tipDir{0, 0, 1};
  Point3D toolAxis{0, 0, 1};
  // moves
  Point3D lastPos{kOut3dFarPos, kOut3dFarPos, -kOut3dFarPos};
  double lastX = kOut3dFarPos, lastY = kOut3dFarPos, lastZ = -kOut3dFarPos;
  double lastU = kOut3dFarPos, lastV = kOut3dFarPos, lastW = -kOut3dFarPos;
  long moveCount = 0;
  int lastKind = -1;
  int pointState = 0;  // 0, 1, 2; not part of a reset
  bool holdRapids = false;
  bool heldRapid = false;
  bool heldFiveAxis = false;  // held by the 5-axis path
  Point3D heldPoint{0, 0, 0};
  Point3D heldAxis{0, 0, 1};
  bool fiveAxisBegun = false;
  bool linkClosed = false;  // the first "link" context was closed since the reset
  const char* spindleDirection = "none";
  Out3dStackEntry feedStack[kOut3dStackMax] = {};
  int feedTop = 0;
  Out3dStackEntry feedBase{0, kOut3dAliasFX};
  Out3dStackEntry spindleStack[kOut3dStackMax] = {};
  int spindleTop = 0;
  Out3dStackEntry spindleBase{0, 0};
  NcPointBuffer* buffer = nullptr;
  int stepBlockOutput = 0;  // step-by-step block markers are written; off at load
};

// The layer's state (internal to the layer's two source files and its tests).
Out3dState& out3dState();

// ---- state and settings -------------------------------------------------------------------------

// Starts a cycle's output: last positions unknown (x, y, u, v 9876543; z, w -9876543), move
// counter 0, no last move kind, number precision 6, all feeds 0, feed state normal, feed mode 0,
// stacks empty, plunge cosine 0.99999, flags cleared with the feed alias to be re-sent, no held
// rapid, 5-axis not begun, "link" contexts allowed again; a left-over point buffer is freed.
// Keeps the NC mode, the move-output switch, the offsets, the tool axis and the point state.
void out3dResetState();

// Everything back to the state at load, the NC mode, offsets, tool axis and point state included,
// as every 3D cycle run starts (the cycles' run-start reset calls it); a left-over point buffer
// is freed.
void out3dRunReset();

void out3dSetNcMode(int mode);
// 0 suppresses the move records of layers 31 and 32; any other value lets them through.
void out3dEnableMoveOutput(int flag);
void out3dSetFeedMode(int mode);
void out3dSetSpecialFeeds(double approach, double retract, double infeed);
// The reduced feed for the next feed move only (0 withdraws that request).
void out3dReducedFeedOnce(int flag);
// The reduced feed for every feed move until switched off.
void out3dSetReducedFeed(int flag);
// 1 when the reduced feed is requested (for the next move or until switched off), else 0.
int out3dReducedFeedRequested();
// 1 when the reduced feed is switched on until switched off, else 0.
int out3dReducedFeedOn();
// 1 while an approach, retract or infeed feed is current, else 0.
int out3dSpecialFeedActive();
void out3dSetAxisReducedFeed(int flag);
// Plunge cosine := cos(degrees), at most 0.99999.
void out3dSetPlungeAngle(double degrees);
// Offset added to the z of every 3-axis point (ignored below 1e-5 in magnitude).
void out3dSetZOffset(double offset);
// Mode 1 moves every 5-axis point back along direction by length / unitFactor, less the z offset
// when that is at least 1e-5; other modes write the points as given.
void out3dSetTipOffset(int mode, double length, const Point3D& direction);
// The tool axis that the next 5-axis moves carry.
void out3dSetToolAxis(const Point3D& axis);

// ---- technology header and feeds --------------------------------------------------------------

// Writes the technology header of a run on layer 10 and sets FX, the reduced feed (FX when the
// record has none), the current feed and the stack bases from the record. Returns 1; -20 for a
// null record, 0 without a current output cycle (state set, nothing written).
int out3dWriteTechnology(const TechnologyRecord* tech);
// Technology name of the current cycle's id ("qdCycle" for any other id or without a cycle).
const char* out3dTechnologyName();
// Alias name of a feed alias index, or null outside the table.
const char* out3dFeedAliasName(int index);
// Writes "aliasUse" with the current feed's alias and "tr" with FX or "FX*<ratio>"; nothing
// when force is 0 and the feed mode is 2. Clears the re-send mark.
void out3dWriteFeedAlias(int force);
// Switch the approach, retract or infeed feed on (non-zero) or off; nothing while that feed is
// below 1e-5.
void out3dApproachFeed(int on);
void out3dRetractFeed(int on);
void out3dInfeedFeed(int on);
// Re-establishes the reduced feed (when requested) or FX after a special section.
void out3dSyncFeed();
// Feed stack: mode 1 pushes (feed, alias), mode 2 the current feed and alias, mode 0 nothing;
// then (feed, alias) becomes current when it differs from the current feed (written before the
// next feed move). Returns 1; -1 when the stack is full or the alias is outside the table
// (nothing changed).
int out3dPushFeed(double feed, int alias);
// Takes the top entry off the feed stack and makes it current in the same way. Returns 1; -1
// when the stack is empty.
int out3dPopFeed();
// Spindle stack: pushes (speed, alias) and writes "aliasUse", "S" and "tr". Returns 1; 0 for a
// speed below 1e-5 (nothing done); -1 when the stack is full or the alias is outside the table.
int out3dPushSpindle(double speed, int alias);
// Removes the top entry and writes the one below it (the base when none is left). Returns 1;
// -1 when the stack is empty.
int out3dPopSpindle();

// ---- contexts and side records ------------------------------------------------------------------

// Kind 1: context "3dPath" with usage "poly"; kind 64: context "link", until the first "link"
// context has been closed after a reset; kind 128: hold rapid moves back (end: stop holding;
// a held rapid is written before the next move). Other kinds do nothing.
void out3dBeginBlock(int kind);
void out3dEndBlock(int kind);
// Step-by-step block markers: the procedure calls "SBS_start" and "SBS_end" on layer 10 while
// their output is switched on (off at load; kept by out3dResetState). what 1 start, 0 end, any
// other value an end followed by a start.
void out3dSetStepBlockOutput(int on);
void out3dStepBlockMark(int what);
// Context "rmat" with the data text and the usage "path".
void out3dBeginRmatContext(const char* data);
void out3dMoveKindSmooth();  // 5005 with 113
void out3dMoveKindPath();    // 5005 with 115
void out3dMoveKindInfeed();  // 5005 with 114
// An auxiliary contour of count points (tool system) on layer 41, mapped to the NC frame while
// the coordinate systems are prepared. Nothing for count below 1 or null points.
void out3dAuxContour(const Point3D* points, int count, const char* name, const char* comment,
                     const char* usage);
// A collision mark (tool system) on layer 42, mapped like the auxiliary contours.
void out3dCollisionMark(const Point3D& point);
// A literal NC line (4101 on layer 32).
void out3dLiteralLine(const char* text);
