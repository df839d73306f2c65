// pock_output.cpp - the pocketing engine's toolpath output: elements become the framework's move,
// arc, contour, part, name-value and local-value records, with the retract, positioning and plunge
// of every new cut decided here, and the collected output written in reverse order.
#include "pocket/pock_output.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "pocket/ccp_fields.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_repair.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_scale.h"
#include "pocket/tangent_link.h"

namespace {

PockOutputState outState;

// Arcs shorter than this (engine units) are not sent; shorter than kArcRecentreChord their centre
// is recomputed from their ends.
constexpr double kArcDropChord = 0.005;
constexpr double kArcRecentreChord = 0.05;
// Cycle codes of the axis-parallel cycle and of the cycle that always plunges.
constexpr int kAxisParallelCode = 1001;
constexpr int kPlungeCycleCode = 1002;
constexpr int kPlungeHelical = 1;
constexpr int kPlungePlain = 2;
constexpr int kPlungeRamp = 3;

CcpRecord* outRecord() {
  CycleRecord* c = ccpCurrent();
  return c != nullptr ? ccpRecordOf(c) : nullptr;
}

double outFactor() {
  const double f = pockEngine().scaleFactor;
  return std::fabs(f - 1.0) < kScaleIdentityTol || !(f > 0.0) ? 1.0 : f;
}
// An engine length in output units and back.
double toOut(double v) { return v / outFactor(); }
Point2D toOut(const Point2D& p) { return Point2D{toOut(p.x), toOut(p.y)}; }
Point2D toEngine(const Point2D& p) { return Point2D{p.x * outFactor(), p.y * outFactor()}; }
ContourElement elemToOut(const ContourElement& e) {
  ContourElement o = e;
  unscaleElem(&o);
  return o;
}

// The engine tolerance and tool radius in output units.
double outTol() { return toOut(pockEngine().contTol); }
double outToolRadius() { return toOut(pockEngine().pockToolRadius); }

void sendNumberValue(CycleRecord* c, const char* name, double v) {
  char text[kNumTextSize];
  numFormat(text, v);
  cycSendNameValue(c, name, text);
}

void rapidZ(CycleRecord* c, double z) {
  cycRapidZ(c, z);
  outState.pockZ = z;
  outState.pockZKnown = 1;
}
void feedZ(CycleRecord* c, double z) {
  cycFeedZ(c, z);
  outState.pockZ = z;
  outState.pockZKnown = 1;
}

// The highest top of the INPUT contours; -infinity for none.
double inputHighestTop() {
  double top = -HUGE_VAL;
  const int n = layerCount("INPUT");
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) == i) top = std::max(top, h.zTop);
  }
  return top;
}

// The "start" word of a new cut.
const char* startWord(const CcpRecord* r, const ContourElement& e) {
  const PockEngine& eng = pockEngine();
  const int code = r->base.code;
  if (eng.pockStockMode != 0) return r->orientation < 1 ? "right" : "left";
  if (r->evaluateRif != 0) return "plunge";
  if (code == kAxisParallelCode) return outState.pockStartCount == 0 ? "drill" : "plunge";
  if (code == kPlungeCycleCode) return "plunge";
  if (eng.pockStrategyStockOutin == 0) return "drill";
  if (e.tag < 0) return "plunge";
  const Point2D start = contElemStart(e);
  if (pockNearOpenEdge(toEngine(start)) != 0 ||
      pockListHasEndpoint(outState.pockCollected, toEngine(start)) != 0) {
    return r->orientation < 1 ? "left" : "right";
  }
  return "drill";
}

// The full new start before element e (output units): retract, positioning, plunge, brackets.
void fullNewStart(CycleRecord* c, CcpRecord* r, const ContourElement& e) {
  PockEngine& eng = pockEngine();
  const double ref = eng.pockToolRefOffset;
  const Point2D start = contElemStart(e);
  if (outState.pockRetracted == 0) {
    if (r->cutterCompensation != 0) pockCompOff();
    cycEndContour(c);
    if (outState.pockDrillCounter >= 0) cycEndPart(c, outState.pockDrillCounter, nullptr, nullptr);
    pockDrillNext();
    rapidZ(c, ref + r->retractPlane);
  }
  outState.pockNewStart = 0;
  if (r->cutterCompensation != 0) pockSendCompDirection(e);
  if (r->retractEachPlane != 0 || outState.pockRetracted != 0) {
    // A rapid across the pocket below the top of a wall or island would run through it: rise to
    // the retract plane first.
    const bool movesXY =
        !outState.pockHasLast || contDistance(toOut(outState.pockLastPoint), start) > outTol();
    if (movesXY && outState.pockZKnown != 0 && inputHighestTop() + ref > outState.pockZ + 1e-9) {
      rapidZ(c, ref + r->retractPlane);
    }
    cycRapidXY(c, start.x, start.y);
  } else {
    cycFeedXY(c, start.x, start.y);
  }
  if (outState.pockFirstStart != 0) {
    rapidZ(c, ref + r->retractPlane);
    outState.pockFirstStart = 0;
  }
  outState.pockRetracted = 0;
  if (outState.pockHasLast == 0 || ref + r->surface + r->clearanceDistance < outState.pockZ) {
    const double extra = r->plungeType == kPlungeHelical ? 0.1 * r->infeedDepth : 0.0;
    rapidZ(c, ref + r->surface + r->clearanceDistance + extra);
  }
  // While a level is pocketed the record's surface and depth are the level's top and depth.
  const double plungeZ = r->surface - std::fabs(r->depth);
  if (r->plungeType == kPlungePlain) {
    cycSendNameValue(c, "aliasUse", "FZ");
    cycSendNameValue(c, "tr", "FZ");
  }
  bool plunged = false;
  if (r->plungeType == kPlungeHelical) {
    PockPointList helix;
    const double top = r->surface + 0.1 * r->infeedDepth + eng.paramRampAddClearance;
    if (pockHelixPoints(start, r->helixRadius, r->helixAngleResolution, r->helixPlungeAngle,
                        -r->orientation, top, plungeZ, &helix) == 1) {
      for (int i = 0; i < helix.count; ++i) helix.points[static_cast<std::size_t>(i)].z += ref;
      pockHelixOutput(c, helix);
      plunged = true;
    }
  }
  if (!plunged) feedZ(c, ref + plungeZ);
  cycSendNameValue(c, "aliasUse", "FX");
  cycSendNameValue(c, "tr", "FX");
  cycSetLocal(c, "start", startWord(r, e));
  ++outState.pockStartCount;
  char text[kNumTextSize];
  numFormat(text, r->surface);
  cycSetLocal(c, "surface", text);
  numFormat(text, r->depth);
  cycSetLocal(c, "depth", text);
  if (outState.pockDrillCounter >= 0) {
    cycBeginPart(c, outState.pockDrillCounter, nullptr, nullptr);
  }
  if (r->cutterCompensation != 0) pockCompOn();
  cycBeginContour(c, nullptr, nullptr, nullptr);
}

// The option's text, or null; freed by the caller.
struct OptionText {
  OptionText(const CycleRecord* c, const char* key) : text(parListGet(c->params, key, nullptr)) {}
  ~OptionText() { memFree(text); }
  OptionText(const OptionText&) = delete;
  OptionText& operator=(const OptionText&) = delete;
  char* text;
};

}  // namespace

int pockNearOpenEdge(const Point2D& p) {
  // One work buffer for every call: the output asks at each new cut.
  static std::vector<ContourElement> work;
  if (work.size() < static_cast<std::size_t>(kContMaxElements)) {
    try {
      work.resize(static_cast<std::size_t>(kContMaxElements));
    } catch (const std::bad_alloc&) {
      return 0;
    }
  }
  const double limit = 1000.0 * pockEngine().contTol;
  const int n = layerCount("INPUT");
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetContour("INPUT", work.data(), kContMaxElements, &h, i) != i) continue;
    for (int k = 0; k < h.count; ++k) {
      if (work[static_cast<std::size_t>(k)].tag != kContTagOpen) continue;
      Point2D foot{0.0, 0.0};
      if (contNearestOnElem(p, work[static_cast<std::size_t>(k)], &foot) < limit) return 1;
    }
  }
  return 0;
}

PockOutputState& pockOutput() { return outState; }

void pockOutputRunReset() {
  pockListFree(outState.pockCollected);
  pockRunListFree(outState.pockPocketRuns);
  outState = PockOutputState{};
  pockRampReset();
}

int pockWriteHeader() {
  outState.pockStartCount = 0;
  outState.pockNewStart = 1;
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || outState.pockHeaderPending == 0 || outState.pockCollecting != 0) return 1;
  const CcpRecord* r = ccpRecordOf(c);
  const auto alias = [c](const char* a, const char* b, double v) {
    char text[kNumTextSize];
    numFormat(text, v);
    cycSendAliasDef(c, a, b, text, "1");
  };
  alias("FX", "FX", r->planeFeedrate);
  alias("FZ", "FZ", r->zFeedrate);
  alias("reducedFeedrate", "FX", r->reducedFeedrate);
  const char* const options[5][2] = {{"toolName", "T"},
                                     {"planeFeedrate", "FX"},
                                     {"zFeedrate", "FZ"},
                                     {"spindleSpeed", "S"},
                                     {"spindleRotation", "SR"}};
  for (const auto& o : options) {
    const OptionText v(c, o[0]);
    if (v.text != nullptr) cycSendNameValue(c, o[1], v.text);
  }
  cycSendNameValue(c, "aliasUse", "FX");
  cycSendNameValue(c, "tr", "FX");
  cycSendNameValue(c, "tr", "S");
  cycSendNameValue(c, "tr", "SR");
  cycSendNameValue(c, "cycleFct", "pocketMilling");
  cycSendCallArg(c, "clearancePlane", r->clearancePlane);
  sendNumberValue(c, "CPLANE", r->clearancePlane);
  cycSendCallArg(c, "clearanceDistance", r->clearanceDistance);
  sendNumberValue(c, "CDIST", r->clearanceDistance);
  cycSendCallArg(c, "retractPlane", r->retractPlane);
  sendNumberValue(c, "RPLANE", r->retractPlane);
  CcpRecord* w = ccpRecordOf(c);
  if (w->frameText != nullptr) {
    cycSendNameValue(c, "frame", w->frameText);
    if (w->frameOn != 0) cycSendNameValue(c, "tr", "frameOn");
    w->frameOn = 0;
  }
  outState.pockHeaderPending = 0;
  return 1;
}

int pockEmitElement(const ContourElement& element) {
  if (outState.pockCollecting != 0) {
    if (outState.linkSkip != 0) return 1;
    if (pockListAppend(outState.pockCollected, element, outState.pockNewStart) == 1) {
      outState.pockNewStart = 0;
    }
    return 1;
  }
  PockEngine& eng = pockEngine();
  if (eng.pockStrategyStockOutin != 0 && outState.pockCollected != nullptr) {
    pockListAppend(outState.pockCollected, element, outState.pockNewStart);
  }
  CcpRecord* r = outRecord();
  if (r == nullptr) return 1;
  const ContourElement e = elemToOut(element);
  if (outState.pockRampPending != 0) {
    const int queued = pockRampQueue(e);
    if (queued == 1) return 1;
    pockRampPlunge(ccpCurrent(), r->helixAngleResolution, r->helixPlungeAngle, r->surface,
                   r->surface - std::fabs(r->depth));
    if (queued == -2) {
      // The element starts the next ramp.
      outState.pockRampPending = 1;
      outState.pockNewStart = 1;
      pockRampQueue(e);
      return 1;
    }
    outState.pockRampPending = 0;
  }
  // Local copies: the record's lengths stay as they are for the next element.
  const double approachLength = toOut(r->approachLength);
  const double leavingLength = toOut(r->leavingLength);
  if (outState.pockNewStart != 0) {
    if (eng.pockStockOnly != 0 && r->leavingType != 0 && outState.pockHasLast != 0) {
      ContourElement lead{};
      if (pockLeadOut(elemToOut(outState.pockLastElem), eng.ccpOuterOrientation, &lead,
                      r->leavingType, leavingLength) == 1) {
        pockMoveTo(lead);
      }
      outState.pockNewStart = 1;
    }
    if (r->approachType != 0) {
      ContourElement approach{};
      if (pockApproachElement(e, r->orientation, r->approachType, approachLength, &approach) == 1) {
        pockMoveTo(approach);
      }
    }
  }
  pockMoveTo(e);
  return 1;
}

int pockMoveTo(const ContourElement& element) {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(c);
  const PockEngine& eng = pockEngine();
  if (eng.paramPocketContour != 0) pockSplitMark(element);
  ContourElement e = element;
  const double f = outFactor();
  if (e.type == kContArc) {
    const double chord = contDistance(contArcStart(e), contArcEnd(e)) * f;
    if (chord < kArcDropChord) {
      outState.pockLastPoint = toEngine(contArcEnd(e));
      return 0;
    }
    if (chord < kArcRecentreChord) contArcCentreFromEnds(&e);
  }
  const double t = outTol();
  const double zf = std::min(eng.pockStepFactor, 0.5);
  const double rr = outToolRadius();
  const bool tight = eng.pockStockMode != 0 || r->base.code == kAxisParallelCode;
  const double reach = tight ? t : 2.0 * zf * rr + t;
  const double nearReach = tight ? t : 1.8 * zf * rr + t;
  const Point2D start = contElemStart(e);
  const Point2D last = toOut(outState.pockLastPoint);
  const double gap = outState.pockHasLast != 0 ? contDistance(start, last) : 0.0;
  const bool newStart = outState.pockNewStart != 0 || (outState.pockHasLast != 0 && gap > reach);
  if (newStart && outState.pockHasLast != 0 && outState.pockRetracted == 0 && gap > t &&
      gap < nearReach) {
    // Near enough to link at the floor: no retract.
    outState.pockNewStart = 0;
    const double radius = toOut(eng.pockInfeedRadius);
    if (std::fabs(radius) <= 0.0001) {
      cycFeedXY(c, start.x, start.y);
    } else {
      pockLinkArcs(radius, e, elemToOut(outState.pockLastElem));
    }
  } else if (newStart) {
    fullNewStart(c, r, e);
  } else if (e.type == kContArc && outState.pockHasLast != 0 && gap > t) {
    // An arc record starts at the last position: reach its start first so that it runs on its own
    // circle.
    cycFeedXY(c, start.x, start.y);
  }
  if (e.type == kContArc) {
    const Point2D end = contArcEnd(e);
    cycArcXY(c, e.dir == -1 ? 1 : 0, end.x, end.y, e.p0, e.p1);
  } else {
    const Point2D end = contElemEnd(e);
    cycFeedXY(c, end.x, end.y);
  }
  outState.pockLastPoint = toEngine(contElemEnd(e));
  ContourElement back = e;
  scaleElem(&back);
  outState.pockLastElem = back;
  outState.pockHasLast = 1;
  return 1;
}

int pockWriteLevelEnd() {
  if (outState.pockCollecting != 0) return 1;
  pockFinishPending();
  CycleRecord* c = ccpCurrent();
  if (c == nullptr) return 1;
  CcpRecord* r = ccpRecordOf(c);
  PockEngine& eng = pockEngine();
  const double ref = eng.pockToolRefOffset;
  if (r->leavingType != 0 && outState.pockHasLast != 0) {
    ContourElement lead{};
    if (pockLeadOut(elemToOut(outState.pockLastElem), eng.ccpOuterOrientation, &lead,
                    r->leavingType, toOut(r->leavingLength)) == 1 &&
        contElemClosed(lead) == 0) {
      pockMoveTo(lead);
    }
    if (!(r->plungeType == kPlungeRamp && r->retractEachPlane == 0)) outState.pockHasLast = 0;
  }
  if (r->cutterCompensation != 0) cycSendNameValue(c, "tr", "CC0X");
  cycEndContour(c);
  if (outState.pockDrillCounter >= 0) {
    cycEndPart(c, outState.pockDrillCounter, nullptr, nullptr);
    ++outState.pockDrillCounter;
  }
  const bool lastLevel = outState.levelsLeft <= 0;
  if (lastLevel || r->retractEachPlane != 0) {
    rapidZ(c, ref + r->retractPlane);
    eng.pockStartSet = r->startExplicit;
  } else if (r->plungeAtLastPosition != 0) {
    eng.pockStartPoint = outState.pockLastPoint;
    eng.pockStartSet = 1;
  } else {
    rapidZ(c, outState.pockZ + r->clearanceDistance);
    eng.pockStartSet = r->startExplicit;
  }
  outState.pockRetracted = 1;
  if (lastLevel && outState.groupsLeft <= 0 && r->frameText != nullptr) {
    if (r->frameOff != 0) cycSendNameValue(c, "tr", "frameOff");
    memFree(r->frameText);
    r->frameText = nullptr;
  }
  return 1;
}

int pockLeadElement(int type, double length, int side, ContourElement* out,
                    const ContourElement& element) {
  Point2D d{};
  Point2D n{};
  if (contElemDirection(element, &d, 2) != 1) return 0;
  // The normal on the side: the tangent turned left for side +1.
  n = side > 0 ? Point2D{-d.y, d.x} : Point2D{d.y, -d.x};
  const Point2D end = contElemEnd(element);
  if (type == kPockLeadPerpendicular) {
    *out = contMakeLine(end.x, end.y, end.x + length * n.x, end.y + length * n.y, element.tag);
    return 1;
  }
  if (type == kPockLeadQuarter) {
    const Point2D centre{end.x + length * n.x, end.y + length * n.y};
    const Point2D to{end.x + length * (d.x + n.x), end.y + length * (d.y + n.y)};
    *out = contMakeArc(centre.x, centre.y, end.x, end.y, to.x, to.y, std::fabs(length),
                       side > 0 ? 1 : -1, element.tag);
    return 1;
  }
  return 0;
}

int pockLeadOut(const ContourElement& element, int side, ContourElement* out, int type,
                double length) {
  ContourElement lead{};
  if (pockLeadElement(type, length, side, &lead, element) != 1) return 0;
  const int n = layerCount("INPUT");
  // The work buffer holds the largest INPUT contour.
  int largest = 1;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) == i) largest = std::max(largest, h.count);
  }
  std::vector<ContourElement> buffer;
  try {
    buffer.resize(static_cast<std::size_t>(largest));
  } catch (const std::bad_alloc&) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  const double allowance = pockAllowanceCount() > 0 ? pockAllowances()[0] : 0.0;
  const double clearance = toOut(allowance) + outToolRadius() - outTol();
  for (int round = 0; round < 10; ++round) {
    bool hit = false;
    for (int i = 0; i < n && !hit; ++i) {
      ContourHeader h{};
      if (layerGetContour("INPUT", buffer.data(), largest, &h, i) != i) continue;
      ContourElement* k = buffer.data();
      bool usable = true;
      for (int j = 0; j < h.count; ++j)
        usable = usable && (k[j].type == kContLine || k[j].type == kContArc);
      if (!usable || h.count <= 0) continue;
      unscaleContour(k, h.count);
      const Point2D end = contElemEnd(lead);
      const ContourElement circle = contMakeArc(end.x, end.y, end.x + clearance, end.y,
                                                end.x + clearance, end.y, clearance, 1, 0);
      if (clearance > 0.0 && isectCircleHitsContour(circle, k, h.count) == 1) hit = true;
      if (!hit && contDistance(contElemStart(k[0]), end) < clearance) hit = true;
      for (int j = 0; j < h.count && !hit; ++j) {
        Point2D p[2];
        if (isectElements(lead, k[j], p) != 0) hit = true;
      }
    }
    if (!hit) break;
    if (round == 9) break;  // after the tenth try the element is used as it stands
    // Cut the element at its middle.
    Point2D mid{};
    contElemPoint(lead, &mid, 3);
    contElemSetEndpoint(&lead, mid, 2);
  }
  *out = lead;
  return 1;
}

int pockApproachElement(const ContourElement& element, int side, int type, double length,
                        ContourElement* out) {
  if (type < kPockLeadPerpendicular || type > kPockLeadHalf) return 0;
  Point2D d{};
  if (contElemDirection(element, &d, 1) != 1) return -1;
  const double s = side > 0 ? 1.0 : -1.0;
  const Point2D n{s * -d.y, s * d.x};
  const Point2D p = contElemStart(element);
  const double L = length;
  const int dir = side > 0 ? 1 : -1;
  switch (type) {
    case kPockLeadPerpendicular:
      *out = contMakeLine(p.x + L * n.x, p.y + L * n.y, p.x, p.y, 1);
      break;
    case kPockLeadParallel: *out = contMakeLine(p.x - L * d.x, p.y - L * d.y, p.x, p.y, 1); break;
    case kPockLeadQuarter:
      *out = contMakeArc(p.x + L * n.x, p.y + L * n.y, p.x + L * (n.x - d.x), p.y + L * (n.y - d.y),
                         p.x, p.y, std::fabs(L), dir, 1);
      break;
    default:
      *out = contMakeArc(p.x + L * n.x, p.y + L * n.y, p.x + 2 * L * n.x, p.y + 2 * L * n.y, p.x,
                         p.y, std::fabs(L), dir, 1);
      break;
  }
  return 1;
}

int pockLinkArcs(double radius, const ContourElement& element, const ContourElement& last) {
  if (outState.pockCollecting != 0) return 1;
  CycleRecord* c = ccpCurrent();
  if (c == nullptr) return 1;
  const Point2D start = contElemStart(element);
  // The link is built in engine units, where the INPUT contours it must clear are kept.
  ContourElement from = last;
  ContourElement to = element;
  scaleElem(&from);
  scaleElem(&to);
  Point2D d0{};
  Point2D d1{};
  ContourElement link[3];
  int n = 0;
  if (contElemDirection(from, &d0, 2) == 1 && contElemDirection(to, &d1, 1) == 1) {
    n = isectTangentLink(contElemEnd(from), d0, contElemStart(to), d1, radius * outFactor(), link);
  }
  if (n < 2) {
    cycFeedXY(c, start.x, start.y);
    return 1;
  }
  for (int i = 0; i < n; ++i) {
    const ContourElement m = elemToOut(link[i]);
    const Point2D end = contElemEnd(m);
    if (m.type == kContArc) {
      cycArcXY(c, m.dir == -1 ? 1 : 0, end.x, end.y, m.p0, m.p1);
    } else {
      cycFeedXY(c, end.x, end.y);
    }
  }
  return 1;
}

int pockSendCompDirection(const ContourElement& element) {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || outState.pockCollecting != 0) return 0;
  Point2D d{};
  if (contElemDirection(element, &d, 1) != 1) return 0;
  const double len = std::hypot(d.x, d.y);
  if (len < 1e-6) return 0;
  char x[kNumTextSize];
  char y[kNumTextSize];
  numFormat(x, d.x / len);
  numFormat(y, d.y / len);
  char text[3 * kNumTextSize];
  outFormatText(text, sizeof text, "%s;%s;%s", ccpRecordOf(c)->orientation > 0 ? "+1" : "-1", x, y);
  return cycSendNameValue(c, "CCdirX", text);
}

int pockCompOn() {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr) return 0;
  cycSendNameValue(c, "CCX", ccpRecordOf(c)->orientation > 0 ? "leftOfContour" : "rightOfContour");
  return cycSendNameValue(c, "tr", "CCX");
}

int pockCompOff() {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || outState.pockCollecting != 0) return 0;
  return cycSendNameValue(c, "tr", "CC0X");
}

int pockWriteEnd(int flag) {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || flag != 0) return 0;
  return cycSetLocal(c, "end", "0");
}

int pockWriteInfeed(int start) {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || pockEngine().paramTriggerInfeed == 0) return 0;
  return cycSetLocal(c, "infeed", start != 0 ? "start" : "end");
}

int pockMarkPocketRun(int on) {
  const int value = on != 0 ? 1 : 0;
  if (value == outState.pockOnPocket) return 0;
  outState.pockOnPocket = value;
  CycleRecord* c = ccpCurrent();
  if (c == nullptr) return 0;
  return cycSetLocal(c, "pocket", value != 0 ? "start" : "end");
}

int pockSplitMark(const ContourElement& element) {
  if (outState.pockPocketRuns == nullptr) return 0;
  ContourElement scaled = element;
  scaleElem(&scaled);
  return pockMarkPocketRun(pockRunListHasElem(outState.pockPocketRuns, scaled));
}

// ---- part numbers ----------------------------------------------------------------------------

int pockDrillPointsInit() {
  outState.pockDrillCounter = -1;
  const CcpRecord* r = outRecord();
  const int n = layerCount("INPUT");
  if (r == nullptr || r->retractEachPlane == 0 || std::fabs(r->wallAngle) > 0.0001 || n <= 0) {
    return outState.pockDrillCounter;
  }
  ContourHeader first{};
  if (layerGetHeader("INPUT", &first, 0) != 0) return outState.pockDrillCounter;
  for (int i = 1; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) != i || std::fabs(h.zTop - first.zTop) > 0.0001 ||
        std::fabs(h.zBottom - first.zBottom) > 0.0001) {
      return outState.pockDrillCounter;
    }
  }
  outState.pockDrillCounter = 0;
  return 0;
}

int pockDrillNext() {
  if (outState.pockDrillCounter >= 0) ++outState.pockDrillCounter;
  return outState.pockDrillCounter;
}

void pockDrillSet(int value) { outState.pockDrillCounter = value; }

int pockDrillFlush() {
  CycleRecord* c = ccpCurrent();
  if (c == nullptr || outState.pockCollecting != 0) return 0;
  for (int k = 1; k < outState.pockDrillCounter; ++k) cycClearPart(c, k);
  return 1;
}

// ---- collection ------------------------------------------------------------------------------

int pockCollectStart() {
  pockListFree(outState.pockCollected);
  outState.pockCollected = pockListNew(kPockCollectCapacity);
  if (outState.pockCollected == nullptr) {
    outState.pockCollecting = 0;
    return -1;
  }
  outState.pockCollecting = 1;
  return 1;
}

int pockFlushCollected(PockElemList* list) {
  if (list == nullptr || list->first == nullptr) return 0;
  bool empty = true;
  for (const PockElemNode* n = list->first; n != nullptr; n = n->next)
    empty = empty && n->count == 0;
  if (empty) return 0;
  pockWriteHeader();
  const PockEngine& eng = pockEngine();
  if (eng.pockStartSet != 0) {
    const PockElemNode* n = list->first;
    while (n != nullptr && n->count == 0) n = n->next;
    pockEmitLine(eng.pockStartPoint, contElemStart(n->elements[0]));
  }
  for (const PockElemNode* n = list->first; n != nullptr; n = n->next) {
    for (int i = 0; i < n->count; ++i) {
      pockEmitElement(n->elements[i]);
      outState.pockNewStart = n->elements[i].tag != 0 ? 1 : 0;
    }
  }
  pockWriteLevelEnd();
  return 1;
}

int pockFlushList() {
  PockElemList* list = outState.pockCollected;
  outState.pockCollected = nullptr;
  outState.pockCollecting = 0;
  if (list == nullptr) return 0;
  pockListReverseAll(list);
  const int result = pockFlushCollected(list);
  pockListFree(list);
  return result;
}

PockElemNode* pockListNodeNew(int capacity) {
  if (capacity < 1) return nullptr;
  auto* node = static_cast<PockElemNode*>(memAllocZero(sizeof(PockElemNode)));
  if (node == nullptr) return nullptr;
  node->elements = static_cast<ContourElement*>(
      memAllocZero(sizeof(ContourElement) * static_cast<std::size_t>(capacity)));
  if (node->elements == nullptr) {
    memFree(node);
    return nullptr;
  }
  node->capacity = capacity;
  node->count = 0;
  node->next = nullptr;
  return node;
}

PockElemList* pockListNew(int capacity) {
  auto* list = static_cast<PockElemList*>(memAllocZero(sizeof(PockElemList)));
  if (list == nullptr) return nullptr;
  list->first = pockListNodeNew(capacity);
  if (list->first == nullptr) {
    memFree(list);
    return nullptr;
  }
  return list;
}

void pockListFree(PockElemList* list) {
  if (list == nullptr) return;
  PockElemNode* n = list->first;
  while (n != nullptr) {
    PockElemNode* next = n->next;
    memFree(n->elements);
    memFree(n);
    n = next;
  }
  memFree(list);
}

int pockListAppend(PockElemList* list, const ContourElement& element, int tag) {
  if (list == nullptr || list->first == nullptr) return -1;
  PockElemNode* node = list->first;
  if (node->count >= node->capacity) {
    PockElemNode* fresh = pockListNodeNew(node->capacity);
    if (fresh == nullptr) return -1;
    fresh->next = node;
    list->first = fresh;
    node = fresh;
  }
  node->elements[node->count] = element;
  node->elements[node->count].tag = tag;
  ++node->count;
  return 1;
}

void pockListReverseAll(PockElemList* list) {
  if (list == nullptr) return;
  for (PockElemNode* n = list->first; n != nullptr; n = n->next) contReverse(n->elements, n->count);
}

int pockListHasEndpoint(const PockElemList* list, const Point2D& point) {
  if (list == nullptr) return 0;
  for (const PockElemNode* n = list->first; n != nullptr; n = n->next) {
    for (int i = 0; i < n->count; ++i) {
      if (contSamePoint(contElemStart(n->elements[i]), point) != 0 ||
          contSamePoint(contElemEnd(n->elements[i]), point) != 0) {
        return 1;
      }
    }
  }
  return 0;
}

// ---- runs of the pocket contour --------------------------------------------------------------

PockRunNode* pockRunNew(const ContourElement* buffer, int first, int last) {
  if (buffer == nullptr || first < 0 || last < first) return nullptr;
  auto* node = static_cast<PockRunNode*>(memAllocZero(sizeof(PockRunNode)));
  if (node == nullptr) return nullptr;
  const int count = last - first + 1;
  node->elements = static_cast<ContourElement*>(
      memAllocZero(sizeof(ContourElement) * static_cast<std::size_t>(count)));
  if (node->elements == nullptr) {
    memFree(node);
    return nullptr;
  }
  std::copy(buffer + first, buffer + last + 1, node->elements);
  node->count = count;
  node->next = nullptr;
  return node;
}

void pockRunListFree(PockRunList* runs) {
  if (runs == nullptr) return;
  PockRunNode* n = runs->first;
  while (n != nullptr) {
    PockRunNode* next = n->next;
    memFree(n->elements);
    memFree(n);
    n = next;
  }
  memFree(runs);
}

PockRunList* pockRunsOfLayer(const char* name) {
  const int n = layerCount(name);
  if (n <= 0) return nullptr;
  auto* runs = static_cast<PockRunList*>(memAllocZero(sizeof(PockRunList)));
  if (runs == nullptr) return nullptr;
  runs->first = nullptr;
  std::vector<ContourElement> buffer;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader(name, &h, i) != i || h.count <= 0) continue;
    try {
      buffer.resize(static_cast<std::size_t>(h.count));
    } catch (const std::bad_alloc&) {
      pockRunListFree(runs);
      return nullptr;
    }
    if (layerGetContour(name, buffer.data(), h.count, &h, i) != i) continue;
    int j = 0;
    while (j < h.count) {
      if (buffer[static_cast<std::size_t>(j)].tag < 0) {
        ++j;
        continue;
      }
      int k = j;
      while (k + 1 < h.count && buffer[static_cast<std::size_t>(k + 1)].tag >= 0) ++k;
      PockRunNode* node = pockRunNew(buffer.data(), j, k);
      if (node == nullptr) {
        pockRunListFree(runs);
        return nullptr;
      }
      node->next = runs->first;
      runs->first = node;
      j = k + 1;
    }
  }
  return runs;
}

int pockRunListHasElem(const PockRunList* runs, const ContourElement& element) {
  if (runs == nullptr) return 0;
  const Point2D a = contElemStart(element);
  const Point2D b = contElemEnd(element);
  constexpr double kOnRun = 0.00001;
  for (const PockRunNode* n = runs->first; n != nullptr; n = n->next) {
    for (int i = 0; i < n->count; ++i) {
      Point2D foot{};
      if (contNearestOnElem(a, n->elements[i], &foot) <= kOnRun &&
          contNearestOnElem(b, n->elements[i], &foot) <= kOnRun) {
        return 1;
      }
    }
  }
  return 0;
}

// ---- positioning -------------------------------------------------------------------------------

int pockPositionAt(const Point2D& point) {
  const CcpRecord* r = outRecord();
  if (outState.pockCollecting != 0 || r == nullptr || r->plungeType != kPlungeRamp) return 1;
  const PockEngine& eng = pockEngine();
  const double gap = outState.pockHasLast != 0 ? contDistance(outState.pockLastPoint, point) : 0.0;
  if (outState.pockHasLast != 0 && gap > eng.contTol) outState.pockNewStart = 1;
  if (outState.pockNewStart != 0 && outState.pockHasLast != 0 && outState.pockRetracted == 0 &&
      gap < 2.0 * eng.pockStepFactor * eng.pockToolRadius + eng.contTol) {
    // Near enough to move over at the floor.
    outState.pockNewStart = 0;
    CycleRecord* c = ccpCurrent();
    const Point2D q = toOut(point);
    if (c != nullptr && outState.pockRampPending == 0) cycFeedXY(c, q.x, q.y);
    if (outState.pockRampPending == 0) outState.pockLastPoint = point;
  }
  if (outState.pockNewStart != 0) outState.pockRampPending = 1;
  outState.pockNewStart = 0;
  return 1;
}

int pockEmitLine(const Point2D& a, const Point2D& b) {
  pockPositionAt(a);
  pockEmitElement(contMakeLine(a.x, a.y, b.x, b.y, 0));
  return 1;
}

// ---- finishing passes over the nesting tree --------------------------------------------------

namespace {

// Emits the ring of tree node i element by element and marks the node done. Returns 1; -1 when
// its elements cannot be read (code 3020 sent, the node stays open).
int pockEmitTreeNode(int i) {
  const ContourTreeNode* node = ctreeNodeAt(i);
  if (node == nullptr) return -1;
  const int n = node->count > 0 ? node->count : 0;
  std::vector<ContourElement> ring;
  try {
    ring.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  if (n > 0 && ctreeGetElems(ring.data(), n, node->block) != 1) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  for (const ContourElement& e : ring) pockEmitElement(e);
  ctreeSetState(i, kCtreeDone);
  return 1;
}

void pockSendFull(const char* word) {
  CycleRecord* c = ccpCurrent();
  if (c != nullptr) cycSetLocal(c, "full", word);
}

}  // namespace

int pockOutputFullPass() {
  int output = 0;
  const int count = ctreeNodeCount();
  for (int i = 0; i < count; ++i) {
    const ContourTreeNode* node = ctreeNodeAt(i);
    if (node == nullptr || node->state == kCtreeDone || node->childCount != 1) continue;
    const ContourTreeNode* child = ctreeNodeAt(ctreeChildAt(i, 1));
    if (child == nullptr || child->childCount != 0) continue;
    pockSendFull("start");
    const int done = pockEmitTreeNode(i);
    pockSendFull("end");
    if (done != 1) return -1;
    ++output;
  }
  return output;
}

int pockOutputLeaves() {
  int output = 0;
  const int count = ctreeNodeCount();
  for (int i = 0; i < count; ++i) {
    const ContourTreeNode* node = ctreeNodeAt(i);
    if (node == nullptr || node->state == kCtreeDone || node->childCount != 0) continue;
    if (pockEmitTreeNode(i) != 1) return -1;
    ++output;
  }
  return output;
}
