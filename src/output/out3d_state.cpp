// out3d_state.cpp - state, technology header, feed aliases, feed and spindle stacks and context
// brackets of the 3D output layer. Feeds are written as aliases so that a post-processor can map
// every feed to its own register; a feed that has no alias is written as a multiple of FX.
#include "output/out3d_state.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "geometry/csys.h"

namespace {
Out3dState out3dStateData;

// Feeds or speeds closer than this count as equal; smaller ones as not given.
constexpr double kOut3dFeedEps = 1e-5;

constexpr const char* kOut3dFeedAliases[kOut3dFeedAliasCount] = {"FZ",
                                                                 "FX",
                                                                 "reducedFeedrate",
                                                                 "approachFeedrate",
                                                                 "retractFeedrate",
                                                                 "infeedFeedrate",
                                                                 "fullSectionFeedrate",
                                                                 "clearanceFeedrate",
                                                                 "leadingEdgeFeedrate",
                                                                 "trailingEdgeFeedrate",
                                                                 "finalPathFeedrate",
                                                                 "springPathFeedrate",
                                                                 "fastRetractFeedrate"};
constexpr const char* kOut3dSpindleAliases[kOut3dSpindleAliasCount] = {"S",
                                                                       "finalPathSpindleSpeed",
                                                                       "springPathSpindleSpeed",
                                                                       "fullSectionSpindleSpeed",
                                                                       "roughingSpeed",
                                                                       "approachSpeed"};

bool out3dDiffers(double a, double b) { return std::fabs(a - b) >= kOut3dFeedEps; }

// The output's number text of x (numFormat).
struct Out3dNum {
  char t[kNumTextSize];
};
// A value that is not finite (a feed of "inf" in the configuration) fails the run and is written
// as 0: no technology line carries "inf" or "nan".
Out3dNum out3dNum(double x) {
  Out3dNum n;
  if (!std::isfinite(x)) {
    cycFailWithMessage(out3dCycle(), kCycMsgBadValue,
                       "a feed, speed or technology value is not a finite number");
    std::snprintf(n.t, sizeof n.t, "0");
    return n;
  }
  numFormat(n.t, x);
  return n;
}

void out3dNameValue(const char* name, const char* value) {
  CycleRecord* c = out3dCycle();
  if (c != nullptr) cycSendNameValue(c, name, value);
}

// Writes "arg" with "<label><number>" and then <key> with the number alone.
void out3dPlaneArg(const char* label, const char* key, const char* number) {
  char arg[kNumFixedTextSize + 32];
  std::snprintf(arg, sizeof arg, "%s%s", label, number);
  out3dNameValue("arg", arg);
  out3dNameValue(key, number);
}

void out3dAliasDef(const char* name, const char* base, double value) {
  CycleRecord* c = out3dCycle();
  if (c != nullptr) cycSendAliasDef(c, name, base, out3dNum(value).t, "1");
}

// Writes "aliasUse", "S" and "tr" of one spindle stack entry.
void out3dWriteSpindle(const Out3dStackEntry& e) {
  out3dNameValue("aliasUse", kOut3dSpindleAliases[e.alias]);
  out3dNameValue("S", out3dNum(e.value).t);
  out3dNameValue("tr", "S");
}

// Makes (feed, alias) current when it differs from the current feed; written before the next
// feed move.
void out3dMakeFeedCurrent(double feed, int alias) {
  Out3dState& s = out3dStateData;
  if (!out3dDiffers(s.currentFeed, feed)) return;
  s.currentFeed = feed;
  s.aliasIndex = alias;
  s.feedChangePending = true;
}

// One special feed switched on or off. section: the flag of its section; marksActive: whether it
// counts as an approach or retract feed.
void out3dSpecialFeed(int on, double feed, int alias, bool* section, bool marksActive) {
  Out3dState& s = out3dStateData;
  if (std::fabs(feed) < kOut3dFeedEps) return;
  if (on != 0) {
    if (marksActive) s.specialActive = true;
    if (out3dDiffers(s.currentFeed, feed)) {
      *section = true;
      s.currentFeed = feed;
      s.aliasIndex = alias;
      out3dWriteFeedAlias(0);
    }
    return;
  }
  s.feedState = kOut3dFeedNormal;
  s.approachRetractSection = false;
  s.infeedSection = false;
  s.specialActive = false;
  s.resendAlias = true;
  s.aliasIndex = kOut3dAliasFX;
  if (out3dDiffers(s.currentFeed, s.feedFX)) s.currentFeed = s.feedFX;
}

void out3dContext(bool begin, const char* name, const char* data, const char* usage) {
  CycleRecord* c = out3dCycle();
  if (c == nullptr) return;
  if (begin) {
    cycBeginContext(c, name, data, usage);
  } else {
    cycEndContext(c, name, data, usage);
  }
}

void out3dBlock(int kind, bool begin) {
  Out3dState& s = out3dStateData;
  if (kind == 1) {
    out3dContext(begin, "3dPath", nullptr, "poly");
  } else if (kind == 64) {
    if (s.linkClosed) return;
    out3dContext(begin, "link", nullptr, nullptr);
    if (!begin) s.linkClosed = true;
  } else if (kind == 128) {
    s.holdRapids = begin;
  }
}

// Maps a tool-system point to the NC frame while the coordinate systems are prepared.
Point3D out3dToFrame(const Point3D& p) {
  Point3D q = p;
  if (csysCurrent()->prepared == 1) csysToolToFrame(&q);
  return q;
}
}  // namespace

Out3dState& out3dState() { return out3dStateData; }

void out3dResetState() {
  Out3dState& s = out3dStateData;
  Out3dState fresh;
  fresh.ncMode = s.ncMode;
  fresh.moveOutput = s.moveOutput;
  fresh.stepBlockOutput = s.stepBlockOutput;
  fresh.zOffset = s.zOffset;
  fresh.tipMode = s.tipMode;
  fresh.tipLength = s.tipLength;
  fresh.tipDir = s.tipDir;
  fresh.toolAxis = s.toolAxis;
  fresh.pointState = s.pointState;
  out3dPointBufFree(s.buffer);
  s = fresh;
  numSetPrecision(6);
}

void out3dRunReset() {
  out3dPointBufFree(out3dStateData.buffer);
  out3dStateData = Out3dState{};
}

void out3dSetNcMode(int mode) { out3dStateData.ncMode = mode; }
void out3dEnableMoveOutput(int flag) { out3dStateData.moveOutput = flag != 0 ? 1 : 0; }
void out3dSetFeedMode(int mode) { out3dStateData.feedMode = mode; }

void out3dSetSpecialFeeds(double approach, double retract, double infeed) {
  out3dStateData.approachFeed = approach;
  out3dStateData.retractFeed = retract;
  out3dStateData.infeedFeed = infeed;
}

void out3dReducedFeedOnce(int flag) { out3dStateData.reducedOnce = flag != 0; }
void out3dSetReducedFeed(int flag) { out3dStateData.reducedOn = flag != 0; }
int out3dReducedFeedRequested() {
  return out3dStateData.reducedOnce || out3dStateData.reducedOn ? 1 : 0;
}
int out3dReducedFeedOn() { return out3dStateData.reducedOn ? 1 : 0; }
int out3dSpecialFeedActive() {
  const Out3dState& s = out3dStateData;
  return s.approachRetractSection || s.infeedSection || s.specialActive ? 1 : 0;
}
void out3dSetAxisReducedFeed(int flag) { out3dStateData.axisReducedFeed = flag != 0; }

void out3dSetPlungeAngle(double degrees) {
  const double c = std::cos(degrees * 0.017453292516666667);
  out3dStateData.plungeCos = c < 0.99999 ? c : 0.99999;
}

void out3dSetZOffset(double offset) { out3dStateData.zOffset = offset; }

void out3dSetTipOffset(int mode, double length, const Point3D& direction) {
  Out3dState& s = out3dStateData;
  s.tipMode = mode;
  s.tipLength = length / unitFactor;
  if (std::fabs(s.zOffset) >= 1e-5) s.tipLength -= s.zOffset;
  s.tipDir = direction;
}

void out3dSetToolAxis(const Point3D& axis) { out3dStateData.toolAxis = axis; }

const char* out3dTechnologyName() {
  const CycleRecord* c = out3dCycle();
  const char* id = c != nullptr && c->id != nullptr ? c->id : "";
  struct Row {
    const char* id;
    const char* name;
  };
  static constexpr Row kRows[] = {{"qdProf", "profileFinishing"},  {"qdScal", "profileFinishing"},
                                  {"qdRupp", "zlevelRoughing"},    {"qdCast", "zlevelRoughing"},
                                  {"qdZres", "zlevelRoughing"},    {"qdZfin", "zlevelFinishing"},
                                  {"qdRmat", "autoRestMachining"}, {"qdPecl", "pencilMilling"},
                                  {"qdCurve", "curveMilling"}};
  for (const Row& r : kRows) {
    if (std::strcmp(id, r.id) == 0) return r.name;
  }
  return "qdCycle";
}

const char* out3dFeedAliasName(int index) {
  return index >= 0 && index < kOut3dFeedAliasCount ? kOut3dFeedAliases[index] : nullptr;
}

int out3dWriteTechnology(const TechnologyRecord* tech) {
  if (tech == nullptr) return -20;
  Out3dState& s = out3dStateData;
  s.feedFX = tech->feed;
  s.reducedFeed = std::fabs(tech->reducedFeed) < kOut3dFeedEps ? tech->feed : tech->reducedFeed;
  s.currentFeed = s.feedFX;
  s.feedState = kOut3dFeedNormal;
  s.feedBase = {s.feedFX, kOut3dAliasFX};
  s.spindleBase = {tech->spindleSpeed, 0};
  s.spindleDirection = tech->spindleDirection == 0   ? "none"
                       : tech->spindleDirection == 2 ? "counterClockwise"
                                                     : "clockwise";
  s.aliasIndex = kOut3dAliasFX;
  if (out3dCycle() == nullptr) return 0;

  out3dNameValue("cycleFct", out3dTechnologyName());
  char number[kNumFixedTextSize];
  numFormatFixedWidth(number, sizeof number, tech->clearancePlane / unitFactor + planeOffset, 4, 0);
  out3dPlaneArg("F:clearancePlane:=", "CPLANE", number);
  numFormatFixedWidth(number, sizeof number, tech->clearancePlane / unitFactor, 4, 0);
  out3dPlaneArg("F:retractPlane:=", "RPLANE", number);
  numFormatFixedWidth(number, sizeof number, tech->clearanceDistance / unitFactor, 4, 0);
  out3dPlaneArg("F:clearanceDistance:=", "CDIST", number);
  std::snprintf(number, sizeof number, "%ld", static_cast<long>(tech->toolNumber));
  out3dNameValue("T", number);

  out3dAliasDef("FX", "FX", tech->feed);
  out3dAliasDef("FZ", "FZ", tech->plungeFeed);
  const struct {
    const char* name;
    double value;
  } feeds[] = {{"reducedFeedrate", tech->reducedFeed},
               {"fullSectionFeedrate", tech->fullSectionFeed},
               {"approachFeedrate", tech->approachFeed},
               {"retractFeedrate", tech->retractFeed},
               {"infeedFeedrate", tech->infeedFeed},
               {"clearanceFeedrate", tech->clearanceFeed},
               {"leadingEdgeFeedrate", tech->leadingEdgeFeed},
               {"trailingEdgeFeedrate", tech->trailingEdgeFeed},
               {"finalPathFeedrate", tech->finalPathFeed},
               {"springPathFeedrate", tech->springPathFeed},
               {"fastretractFeedrate", tech->fastRetractFeed}},
    speeds[] = {{"finalPathSpindleSpeed", tech->finalPathSpindleSpeed},
                {"springPathSpindleSpeed", tech->springPathSpindleSpeed},
                {"fullSectionSpindleSpeed", tech->fullSectionSpindleSpeed}};
  for (const auto& f : feeds) {
    if (std::fabs(f.value) >= kOut3dFeedEps) out3dAliasDef(f.name, "FX", f.value);
  }
  out3dAliasDef("S", "S", tech->spindleSpeed);
  for (const auto& f : speeds) {
    if (std::fabs(f.value) >= kOut3dFeedEps) out3dAliasDef(f.name, "S", f.value);
  }

  out3dNameValue("aliasUse", "S");
  out3dNameValue("S", out3dNum(tech->spindleSpeed).t);
  out3dNameValue("SR", s.spindleDirection);
  out3dNameValue("tr", "S");
  out3dNameValue("tr", "SR");

  out3dNameValue("FX", out3dNum(tech->feed).t);
  out3dNameValue("FZ", out3dNum(tech->plungeFeed).t);
  out3dNameValue("aliasUse", "FX");
  out3dNameValue("tr", "FX");
  return 1;
}

void out3dWriteFeedAlias(int force) {
  Out3dState& s = out3dStateData;
  if (force == 0 && s.feedMode == 2) return;
  // Without a main feed every feed is written as FX itself rather than as an infinite multiple.
  const double ratio = s.feedFX != 0 ? s.currentFeed / s.feedFX : 1.0;
  const char* alias = out3dFeedAliasName(s.aliasIndex);
  out3dNameValue("aliasUse", alias != nullptr ? alias : "FX");
  if (std::fabs(ratio - 1.0) < kOut3dFeedEps) {
    out3dNameValue("tr", "FX");
  } else {
    char multiple[kNumTextSize + 4];
    std::snprintf(multiple, sizeof multiple, "FX*%s", out3dNum(ratio).t);
    out3dNameValue("tr", multiple);
  }
  s.resendAlias = false;
}

void out3dApproachFeed(int on) {
  Out3dState& s = out3dStateData;
  out3dSpecialFeed(on, s.approachFeed, kOut3dAliasApproach, &s.approachRetractSection, true);
}
void out3dRetractFeed(int on) {
  Out3dState& s = out3dStateData;
  out3dSpecialFeed(on, s.retractFeed, kOut3dAliasRetract, &s.approachRetractSection, true);
}
void out3dInfeedFeed(int on) {
  Out3dState& s = out3dStateData;
  out3dSpecialFeed(on, s.infeedFeed, kOut3dAliasInfeed, &s.infeedSection, false);
}

void out3dSyncFeed() {
  Out3dState& s = out3dStateData;
  if (out3dReducedFeedRequested() != 0) {
    const bool changed = out3dDiffers(s.currentFeed, s.reducedFeed);
    s.feedState = kOut3dFeedReduced;
    s.aliasIndex = kOut3dAliasReduced;
    s.currentFeed = s.reducedFeed;
    if (changed || s.resendAlias) out3dWriteFeedAlias(0);
  } else if (out3dDiffers(s.currentFeed, s.feedFX) || s.resendAlias) {
    // A special feed switched off has already made FX current but not yet written it: the
    // re-send mark makes sure the control leaves the special feed.
    s.feedState = kOut3dFeedNormal;
    s.aliasIndex = kOut3dAliasFX;
    s.currentFeed = s.feedFX;
    out3dWriteFeedAlias(0);
  }
  s.resendAlias = false;
}

int out3dPushFeed(double feed, int alias) {
  Out3dState& s = out3dStateData;
  if (out3dFeedAliasName(alias) == nullptr) return -1;
  if (s.feedMode == 1 || s.feedMode == 2) {
    if (s.feedTop >= kOut3dStackMax) return -1;
    s.feedStack[s.feedTop++] = s.feedMode == 1 ? Out3dStackEntry{feed, alias}
                                               : Out3dStackEntry{s.currentFeed, s.aliasIndex};
  }
  out3dMakeFeedCurrent(feed, alias);
  return 1;
}

int out3dPopFeed() {
  Out3dState& s = out3dStateData;
  if (s.feedTop <= 0) return -1;
  const Out3dStackEntry e = s.feedStack[--s.feedTop];
  out3dMakeFeedCurrent(e.value, e.alias);
  return 1;
}

int out3dPushSpindle(double speed, int alias) {
  Out3dState& s = out3dStateData;
  if (std::fabs(speed) < kOut3dFeedEps) return 0;
  if (alias < 0 || alias >= kOut3dSpindleAliasCount || s.spindleTop >= kOut3dStackMax) return -1;
  s.spindleStack[s.spindleTop++] = {speed, alias};
  out3dWriteSpindle(s.spindleStack[s.spindleTop - 1]);
  return 1;
}

int out3dPopSpindle() {
  Out3dState& s = out3dStateData;
  if (s.spindleTop <= 0) return -1;
  --s.spindleTop;
  out3dWriteSpindle(s.spindleTop > 0 ? s.spindleStack[s.spindleTop - 1] : s.spindleBase);
  return 1;
}

void out3dBeginBlock(int kind) { out3dBlock(kind, true); }
void out3dEndBlock(int kind) { out3dBlock(kind, false); }

void out3dSetStepBlockOutput(int on) { out3dStateData.stepBlockOutput = on != 0 ? 1 : 0; }

void out3dStepBlockMark(int what) {
  CycleRecord* c = out3dCycle();
  if (out3dStateData.stepBlockOutput == 0 || c == nullptr) return;
  if (what != 1) cycSendNameValue(c, "proc", "SBS_end");
  if (what != 0) cycSendNameValue(c, "proc", "SBS_start");
}

void out3dBeginRmatContext(const char* data) { out3dContext(true, "rmat", data, "path"); }

void out3dMoveKindSmooth() {
  if (out3dCycle() != nullptr) cycMoveKindSmooth(out3dCycle());
}
void out3dMoveKindPath() {
  if (out3dCycle() != nullptr) cycMoveKindPath(out3dCycle());
}
void out3dMoveKindInfeed() {
  if (out3dCycle() != nullptr) cycMoveKindInfeed(out3dCycle());
}

void out3dAuxContour(const Point3D* points, int count, const char* name, const char* comment,
                     const char* usage) {
  CycleRecord* c = out3dCycle();
  if (c == nullptr || points == nullptr || count < 1) return;
  cycAuxBeginContour(c, name, comment, usage);
  const Point3D first = out3dToFrame(points[0]);
  cycAuxFirstPoint(c, first.x, first.y, first.z);
  for (int i = 0; i < count; ++i) {
    const Point3D p = out3dToFrame(points[i]);
    cycAuxNextPoint(c, p.x, p.y, p.z);
  }
  cycAuxEndContour(c);
}

void out3dCollisionMark(const Point3D& point) {
  CycleRecord* c = out3dCycle();
  if (c == nullptr) return;
  const Point3D p = out3dToFrame(point);
  cycCollisionPoint(c, p.x, p.y, p.z);
}

void out3dLiteralLine(const char* text) {
  CycleRecord* c = out3dCycle();
  if (c != nullptr) cycSendLiteralNc(c, text);
}
