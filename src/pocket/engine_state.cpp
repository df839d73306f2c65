// engine_state.cpp - the settings, switches and scale factor of the 2D pocketing engine, the
// settings text and the map of internal codes to message ids.
#include "pocket/engine_state.h"

#include <cmath>
#include <cstring>

#include "framework/output_records.h"
#include "pocket/pock_runtime.h"

namespace {
struct EngineState {
  PockEngine engine;
  CycleRecord* current = nullptr;  // the running pocket cycle record
  int lastCode = 0;                // last code from 3000 to 3199
};
EngineState engState;

// One row of the message map.
struct MessageRow {
  int code;
  const char* id;
};

// Internal codes and their message ids. Ids "1507", "1508", "1510", "1515" to "1518" are
// warnings; the others errors. The host looks the texts up in the cycle's message file.
constexpr MessageRow kMessageMap[] = {
    {3001, "1101"}, {3002, "1101"}, {3003, "1101"},  // faulty geometry handed over
    {3011, "1102"},                                  // contour not closed
    {3020, "1103"},                                  // out of memory
    {3021, "1104"},                                  // function not realised yet
    {3022, "1105"},                                  // faulty contour
    {3023, "1106"}, {3024, "1106"},                  // internal fault of the contour store
    {3025, "1107"},                                  // geometry cannot be read
    {3026, "1108"},                                  // cycle output cannot be written
    {3027, "1109"}, {3028, "1109"},                  // contour crosses itself
    {3029, "1500"},                                  // element limit exceeded
    {3030, "1522"}, {3123, "1522"},                  // helix collides with the pocket contours
    {3033, "1501"},                                  // contour limit exceeded
    {3042, "1115"},                                  // the outer pocket must come first
    {3119, "1114"},                                  // inner pockets cross
    {3120, "1116"},                                  // no closed polyline chosen
    {3201, "1502"},                                  // stepover wrong
    {3213, "1507"},                                  // tool too big: no toolpath
    {3214, "1508"},                                  // island outside the pocket
    {3241, "1509"},                                  // more than 300 distance points
    {3250, "1510"},                                  // rest information cannot be written
    {3251, "1515"},                                  // no rest information made
    {3252, "1516"},                                  // rest information cannot be read
    {3253, "1517"},                                  // radius too big for rest machining
    {3255, "1518"},                                  // one small rest area skipped
};
// Codes that send nothing.
constexpr int kSilentCodes[] = {3210, 3211, 3212, 3256, 3298};
// The id of every code without a row.
constexpr const char* kMessageOther = "1511";

// The first occurrence of key in text, or null.
const char* settingsKey(const char* text, const char* key) { return std::strstr(text, key); }

// The number directly behind the key found at at (key length len).
double settingsValue(const char* at, std::size_t len) { return pockAtof(at + len); }
}  // namespace

PockEngine& pockEngine() { return engState.engine; }

void pockRunReset() { engState = EngineState{}; }

int pockResetSettings() {
  PockEngine& e = engState.engine;
  e.contTol = kPockContTol;
  e.isectTol = kPockIsectTol;
  e.contAngleGuard = kPockAngleGuard;
  return 0;
}

int pockApplySettings(const char* text) {
  if (text == nullptr) text = "";
  PockEngine& e = engState.engine;
  pockResetSettings();
  e.pockStartReach = 0.0;
  e.pockStartSet = 0;
  e.ccpOuterOrientation = 0;
  e.ctreeStartMatch.found = 0;
  e.ctreeStartMatch.element = 0;
  e.ctreeStartMatch.node = -1;

  const char* at = settingsKey(text, "SI");
  e.pockSettingSI = at != nullptr ? settingsValue(at, 2) : 2.0;
  at = settingsKey(text, "TI");
  e.pockSettingTI = at != nullptr ? settingsValue(at, 2) : -2.0;

  at = settingsKey(text, "R");
  if (at != nullptr) e.pockToolRadius = settingsValue(at, 1);
  // A radius that is not a number or infinite is refused like a too small one.
  if (!(e.pockToolRadius >= kPockMinToolRadius) || !std::isfinite(e.pockToolRadius)) {
    pockMessage(kPockCodeToolRadius);
    return -1;
  }

  at = settingsKey(text, "AM");
  e.pockSettingAM = at != nullptr ? settingsValue(at, 2) : 0.0;

  double zm = 0.5;
  at = settingsKey(text, "ZM");
  if (at != nullptr) {
    zm = settingsValue(at, 2);
    if (!(zm >= 0.0 && zm < 1.0)) {
      pockMessage(kPockCodeBadStepover);
      zm = 0.5;
    }
  }

  const char* xa = settingsKey(text, "XA");
  const char* ya = settingsKey(text, "YA");
  if (xa != nullptr && ya != nullptr) {
    e.pockStartSet = 1;
    e.pockStartPoint = Point2D{settingsValue(xa, 2), settingsValue(ya, 2)};
    e.pockStartReach = zm * e.pockToolRadius * 2.01;
  }
  e.pockStepFactor = zm * 0.99;
  return 0;
}

void ccpSetCurrent(CycleRecord* cycle) { engState.current = cycle; }

CycleRecord* ccpCurrent() { return engState.current; }

const char* pockMessageId(int code) {
  if (code == 0) return nullptr;
  for (int silent : kSilentCodes) {
    if (code == silent) return nullptr;
  }
  for (const MessageRow& row : kMessageMap) {
    if (row.code == code) return row.id;
  }
  return kMessageOther;
}

int pockMessage(int code) {
  if (code >= 3000 && code <= 3199) engState.lastCode = code;
  const char* id = pockMessageId(code);
  if (id == nullptr || engState.current == nullptr) return 0;
  return cycSendError(engState.current, id);
}

int pockLastCode() { return engState.lastCode; }

void pockLastCodeReset() { engState.lastCode = 0; }
