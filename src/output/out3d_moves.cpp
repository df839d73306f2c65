// out3d_moves.cpp - moves of the 3D output layer: feed choice, modal move records, held rapids,
// the first position, and the NC point buffer with its spline and polynomial blocks.
#include "output/out3d_moves.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "geometry/csys.h"
#include "geometry/spline.h"
#include "output/spline_nc.h"

namespace {
// Moves shorter than this repeat the last position.
constexpr double kOut3dMoveEps = 1e-5;
// A flush before the buffer holds more points than one block can take as segments.
constexpr int kOut3dBlockPoints = kSplMaxSegments + 1;

bool out3dMovesOn() { return out3dState().moveOutput != 0; }

// The z offset of 3-axis points, when it is large enough to count.
double out3dZOffset() {
  const double z = out3dState().zOffset;
  return std::fabs(z) >= 1e-5 ? z : 0.0;
}

void out3dWritePlungeAlias() {
  CycleRecord* c = out3dCycle();
  if (c == nullptr) return;
  cycSendNameValue(c, "aliasUse", "FZ");
  cycSendNameValue(c, "tr", "FZ");
}

// Makes the chosen feed current and writes its alias lines when it changed or is to be re-sent.
void out3dApplyFeedChoice(int choice) {
  Out3dState& s = out3dState();
  if (choice == kOut3dFeedPlunge && s.feedState != kOut3dFeedPlunge) {
    out3dWritePlungeAlias();
    s.resendAlias = true;  // the feed after the plunge must be written again
    s.feedState = kOut3dFeedPlunge;
    return;
  }
  if (choice == kOut3dFeedReduced && s.feedState != kOut3dFeedReduced) {
    s.currentFeed = s.reducedFeed;
    s.aliasIndex = kOut3dAliasReduced;
    out3dWriteFeedAlias(0);
    s.feedState = kOut3dFeedReduced;
    return;
  }
  if (choice == kOut3dFeedNormal && s.feedState != kOut3dFeedNormal && !s.approachRetractSection) {
    s.currentFeed = s.feedFX;
    s.aliasIndex = kOut3dAliasFX;
    out3dWriteFeedAlias(0);
    s.feedState = kOut3dFeedNormal;
    return;
  }
  if (!s.resendAlias) return;
  if (choice == kOut3dFeedPlunge) {
    out3dWritePlungeAlias();
    s.resendAlias = false;
  } else {
    out3dWriteFeedAlias(0);
  }
}

// The feed that a steep move takes: reduced when that differs from FX.
int out3dSteepChoice() {
  const Out3dState& s = out3dState();
  return std::fabs(s.reducedFeed - s.feedFX) >= 1e-5 ? kOut3dFeedReduced : kOut3dFeedNormal;
}

// A pending feed change from the feed stack is written whatever the feed mode: the stack is how
// the explicit feed modes set their feeds.
void out3dWritePendingFeed() {
  Out3dState& s = out3dState();
  if (!s.feedChangePending) return;
  s.feedChangePending = false;
  out3dWriteFeedAlias(1);
}

void out3dEmitModal(int type, const OutputRecord& base, std::uint16_t layer) {
  CycleRecord* c = out3dCycle();
  if (c == nullptr || !out3dMovesOn()) return;
  OutputRecord r = base;
  r.type = type;
  cycEmit(c, layer, &r);
}

// Writes the buffered run as the NC mode's block. When the block cannot be written (memory ran
// out in the fit) the run goes out as G1 moves: the next move would otherwise join the run's
// first point to the following one in a straight line, cutting across the moves in between.
void out3dFlushBlock() {
  const Out3dState& s = out3dState();
  const int written =
      s.ncMode == 1 ? out3dFlushSpline(s.buffer, s.feedFX) : out3dFlushPolyline(s.buffer, s.feedFX);
  if (written != 1) out3dFlushAsMoves();
}

// Writes the buffered run (one or two points as G1 moves, more as a block) and empties it.
void out3dFlushRun() {
  Out3dState& s = out3dState();
  if (s.buffer == nullptr || s.buffer->count == 0) return;
  if (s.buffer->count <= 2) {
    out3dFlushAsMoves();
  } else {
    out3dFlushBlock();
  }
  s.buffer->count = 0;
}

// NC modes 1 and 2: feed points of a run go into the buffer; any other point ends the run and
// starts the next one. A run longer than one block is written as consecutive blocks, each
// starting at the last point of the one before.
void out3dBufferPoint(const Point3D& q, int kind) {
  Out3dState& s = out3dState();
  if (s.buffer == nullptr) return;
  if (kind != kOut3dRapid && s.pointState == 2) {
    if (s.buffer->count >= kOut3dBlockPoints) {
      out3dFlushBlock();
      s.buffer->points[0] = s.buffer->points[s.buffer->count - 1];
      s.buffer->count = 1;
    }
    if (out3dPointBufAdd(s.buffer, q) != 1) {
      msgSendCode(6001, nullptr);
      // The run so far goes out as G1 moves before the buffer is dropped: its points were not
      // written anywhere else, and the moves that follow go out as G1 lines from here.
      out3dFlushAsMoves();
      out3dPointBufFree(s.buffer);
      s.buffer = nullptr;
    }
    return;
  }
  if (s.buffer->count > 0) {
    out3dFlushRun();
    // A fresh buffer after a run, so that a long run's memory is given back.
    out3dPointBufFree(s.buffer);
    s.buffer = out3dPointBufNew(kOut3dBufferStep);
    if (s.buffer == nullptr) {
      msgSendCode(6000, nullptr);
      return;
    }
  }
  out3dPointBufAdd(s.buffer, q);
}

// Sets *last to preset, or to another value when preset would give the same text as value, so
// that the next modal record flags this coordinate.
void out3dPresetLast(double* last, double value, double preset, bool axis) {
  char a[400];
  char b[400];
  if (axis) {
    numFormatFixed8(a, sizeof a, preset);
    numFormatFixed8(b, sizeof b, value);
  } else {
    numFormat(a, preset);
    numFormat(b, value);
  }
  *last = preset;
  if (std::strcmp(a, b) == 0) *last = std::isnan(value) ? 0.0 : std::nan("");
}

// The 3-axis path without the interrupt poll and without the hold (held rapids are written
// through it).
void out3dMove3(const Point3D& point, int kind);
void out3dMove5(const Point3D& point, int kind);

// Writes a held rapid through the path that held it.
void out3dReleaseHeld() {
  Out3dState& s = out3dState();
  if (!s.heldRapid) return;
  s.heldRapid = false;
  const Point3D axis = s.toolAxis;
  s.toolAxis = s.heldAxis;
  if (s.heldFiveAxis) {
    out3dMove5(s.heldPoint, kOut3dRapid);
  } else {
    out3dMove3(s.heldPoint, kOut3dRapid);
  }
  s.toolAxis = axis;
}

// Holds a rapid inside the hold bracket. True when held.
bool out3dHold(const Point3D& point, int kind, bool fiveAxis) {
  Out3dState& s = out3dState();
  if (kind != kOut3dRapid || !s.holdRapids) return false;
  s.heldRapid = true;
  s.heldPoint = point;
  s.heldAxis = s.toolAxis;
  s.heldFiveAxis = fiveAxis;
  return true;
}

void out3dMove3(const Point3D& point, int kind) {
  Out3dState& s = out3dState();
  int choice = kOut3dFeedNormal;
  if (s.lastKind != -1) {
    // The last position holds the written z, so the offset goes onto the new point first.
    const double dx = point.x - s.lastPos.x;
    const double dy = point.y - s.lastPos.y;
    const double dz = point.z + out3dZOffset() - s.lastPos.z;
    const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (length < kOut3dMoveEps) return;
    if (dz / length < -s.plungeCos) {
      choice = std::sqrt(dx * dx + dy * dy) < kOut3dMoveEps ? kOut3dFeedPlunge : out3dSteepChoice();
    }
  }
  if (kind != kOut3dRapid && s.feedMode == 0) {
    if (out3dReducedFeedRequested() != 0) {
      choice = kOut3dFeedReduced;
      s.reducedOnce = false;
    }
    if (s.approachRetractSection || s.infeedSection) choice = kOut3dFeedNormal;
    out3dApplyFeedChoice(choice);
  }
  out3dEmitPoint3(point, kind);
  s.lastKind = kind;
  ++s.moveCount;
}

void out3dMove5(const Point3D& point, int kind) {
  Out3dState& s = out3dState();
  if (!s.fiveAxisBegun) {
    s.fiveAxisBegun = true;
    if (out3dCycle() != nullptr) cycBegin5Axis(out3dCycle());
  }
  if (kind != kOut3dRapid && s.feedMode == 0) {
    int choice = kOut3dFeedNormal;
    if (s.lastKind != -1) {
      const Point3D d{point.x - s.lastPos.x, point.y - s.lastPos.y, point.z - s.lastPos.z};
      const double length = vecLength(d);
      if (length < kOut3dMoveEps) return;
      const Point3D& a = s.toolAxis;
      const double dot = (d.x * a.x + d.y * a.y + d.z * a.z) / length;
      if (dot < -s.plungeCos) {
        choice = std::fabs(dot + 1.0) <= 1e-5 ? kOut3dFeedPlunge : out3dSteepChoice();
      }
    }
    if (choice == kOut3dFeedNormal) {
      const bool turns = std::fabs(s.toolAxis.x - s.lastU) >= 1e-11 ||
                         std::fabs(s.toolAxis.y - s.lastV) >= 1e-11 ||
                         std::fabs(s.toolAxis.z - s.lastW) >= 1e-11;
      if (s.axisReducedFeed && turns) {
        choice = kOut3dFeedReduced;
      } else if (out3dReducedFeedRequested() != 0) {
        choice = kOut3dFeedReduced;
        s.reducedOnce = false;
      }
    }
    if (s.approachRetractSection) choice = kOut3dFeedNormal;
    out3dApplyFeedChoice(choice);
  }
  out3dEmitPoint5(point, kind);
  s.lastKind = kind;
  ++s.moveCount;
}
}  // namespace

int out3dMove3Axis(const Point3D& point, int kind) {
  if (out3dCycle() == nullptr) return -3;
  if (out3dCheckBreak() == 1) return -2;
  out3dReleaseHeld();
  if (out3dHold(point, kind, false)) return 0;
  out3dMove3(point, kind);
  return 0;
}

int out3dMove5Axis(const Point3D& point, int kind) {
  if (out3dCycle() == nullptr) return -3;
  if (out3dCheckBreak() == 1) return -2;
  out3dReleaseHeld();
  if (out3dHold(point, kind, true)) return 0;
  out3dMove5(point, kind);
  return 0;
}

void out3dEmitPoint3(const Point3D& point, int kind) {
  Out3dState& s = out3dState();
  const Point3D q{point.x, point.y, point.z + out3dZOffset()};
  out3dWritePendingFeed();
  if (s.lastKind == -1 && csysAxisDiffers() != 0) s.pointState = 0;

  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.modal.x = q.x;
  r.modal.y = q.y;
  r.modal.z = q.z;
  if (s.pointState == 0) {
    r.modal.setZ = 1;
  } else if (s.pointState == 1) {
    r.modal.setX = r.modal.setY = 1;
  } else {
    r.modal.setX = std::fabs(q.x - s.lastPos.x) >= 1e-5 ? 1 : 0;
    r.modal.setY = std::fabs(q.y - s.lastPos.y) >= 1e-5 ? 1 : 0;
    r.modal.setZ = std::fabs(q.z - s.lastPos.z) >= 1e-7 ? 1 : 0;
  }
  if (r.modal.setX != 0) s.lastPos.x = q.x;
  if (r.modal.setY != 0) s.lastPos.y = q.y;
  if (r.modal.setZ != 0) s.lastPos.z = q.z;
  const bool rapid = kind == kOut3dRapid;
  // A record without a written coordinate would be an empty move line.
  const bool any = r.modal.setX != 0 || r.modal.setY != 0 || r.modal.setZ != 0;
  if (any) out3dEmitModal(rapid ? 3107 : 3114, r, 31);

  const bool blocks = s.ncMode == 1 || s.ncMode == 2;
  // A feed point that finds the buffer empty (the literal mode was started after earlier moves)
  // begins the next run: no buffered point leads to it, so its own G1 line carries the move.
  const bool startsRun = blocks && s.buffer != nullptr && s.buffer->count == 0;
  if (blocks) out3dBufferPoint(q, kind);
  // Without a buffer (it could not be made, or the literal mode was not started) the feed moves
  // go out as G1 lines rather than being lost.
  if (any && (!blocks || s.buffer == nullptr || startsRun || rapid || s.pointState < 2)) {
    out3dEmitModal(rapid ? 4016 : 4007, r, 32);
  }
  if (s.pointState < 2) ++s.pointState;
}

void out3dEmitPoint5(const Point3D& point, int kind) {
  Out3dState& s = out3dState();
  CycleRecord* c = out3dCycle();
  if (kind != kOut3dRapid) out3dWritePendingFeed();
  // The tip is written for every point, the first position included.
  Point3D q = point;
  if (s.tipMode == 1) {
    q = {point.x - s.tipLength * s.tipDir.x, point.y - s.tipLength * s.tipDir.y,
         point.z - s.tipLength * s.tipDir.z};
  }
  const Point3D& a = s.toolAxis;
  const bool first = s.pointState == 0 || (s.lastKind == -1 && csysAxisDiffers() != 0);
  const bool write = c != nullptr && out3dMovesOn();
  if (first) {
    if (write) {
      cycRapidZ(c, q.z);
      // All six coordinates are written so that the first position is complete, whatever the
      // values: each last value is preset to one whose text differs.
      out3dPresetLast(&s.lastX, q.x, q.x - 0.1, false);
      out3dPresetLast(&s.lastY, q.y, q.y - 0.1, false);
      out3dPresetLast(&s.lastZ, q.z, q.z - 0.1, false);
      out3dPresetLast(&s.lastU, a.x, 0.01, true);
      out3dPresetLast(&s.lastV, a.y, 0.01, true);
      out3dPresetLast(&s.lastW, a.z, 0.01, true);
      cycRapid3D(c, &s.lastX, &s.lastY, &s.lastZ, q.x, q.y, q.z, &s.lastU, &s.lastV, &s.lastW, a.x,
                 a.y, a.z);
    }
  } else if (write) {
    auto modal = kind == kOut3dRapid ? cycRapid3D : cycFeed3D;
    modal(c, &s.lastX, &s.lastY, &s.lastZ, q.x, q.y, q.z, &s.lastU, &s.lastV, &s.lastW, a.x, a.y,
          a.z);
  }
  s.lastPos = point;
  if (s.pointState < 2) ++s.pointState;
}

void out3dStartLiteral() {
  Out3dState& s = out3dState();
  if (s.ncMode != 1 && s.ncMode != 2) return;
  if (s.buffer != nullptr) return;
  s.buffer = out3dPointBufNew(kOut3dBufferStep);
  if (s.buffer == nullptr) msgSendCode(6000, nullptr);
}

void out3dFlushLiteral() {
  Out3dState& s = out3dState();
  CycleRecord* c = out3dCycle();
  if (c == nullptr || (s.ncMode != 1 && s.ncMode != 2)) return;
  cycSendTextRecord(c, 0, 111, "NCmode", "literal");
  out3dFlushRun();
  out3dPointBufFree(s.buffer);
  s.buffer = nullptr;
  cycSendTextRecord(c, 0, 111, "NCmode", "standard");
}

void out3dFlushAsMoves() {
  const Out3dState& s = out3dState();
  if (s.buffer == nullptr) return;
  for (int i = 0; i < s.buffer->count; ++i) {
    OutputRecord r;
    std::memset(&r, 0, sizeof r);
    r.modal.setX = r.modal.setY = r.modal.setZ = 1;
    r.modal.x = s.buffer->points[i].x;
    r.modal.y = s.buffer->points[i].y;
    r.modal.z = s.buffer->points[i].z;
    out3dEmitModal(4007, r, 32);
  }
}

int out3dEndOutput() {
  Out3dState& s = out3dState();
  CycleRecord* c = out3dCycle();
  if (c == nullptr) return 0;
  if (s.heldRapid) {
    cycBeginContext(c, "link", nullptr, nullptr);
    out3dReleaseHeld();
    cycEndContext(c, "link", nullptr, nullptr);
  }
  char* job = parListGet(c->params, "ppJobID", nullptr);
  if (job != nullptr) {
    double number = 0;
    if (numParse3(job, &number, nullptr, nullptr) >= 1 && number >= 1 && number <= INT_MAX) {
      cycEndPart(c, static_cast<int>(number), nullptr, nullptr);
    }
    memFree(job);
  }
  cycClearAll(c);
  if (s.fiveAxisBegun) cycEnd5Axis(c);
  return 0;
}

int out3dFlushSpline(const NcPointBuffer* buffer, double feed) {
  if (buffer == nullptr) return 0;
  CubicSpline* spline = splFitPoints(buffer->points, buffer->count, kSplChordLength);
  SplineArcMap* map = splBuildArcMap(spline);
  const int written = map != nullptr ? splWriteDSpline(spline, map, feed) : 0;
  splArcMapFree(map);
  splFree(spline);
  return written > 0 ? 1 : 0;
}

int out3dFlushPolyline(const NcPointBuffer* buffer, double feed) {
  if (buffer == nullptr) return 0;
  CubicSpline* spline = splFitPoints(buffer->points, buffer->count, kSplChordLength);
  const int written = splWritePoly(spline, feed);
  splFree(spline);
  return written > 0 ? 1 : 0;
}
