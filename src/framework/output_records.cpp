// output_records.cpp - the record builders. Records are built on the stack, zero-filled, with
// every text cut to its field; coordinates go in as doubles and are formatted only by the writers,
// except where a record carries a number as text (number text format).
#include "framework/output_records.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/param_list.h"

namespace {
constexpr std::size_t kPartTextMax = 254;

OutputRecord outRecord(int type) {
  OutputRecord r;
  std::memset(&r, 0, sizeof r);
  r.type = type;
  return r;
}

int outEmitType(CycleRecord* cycle, std::uint16_t layer, int type) {
  OutputRecord r = outRecord(type);
  return cycEmit(cycle, layer, &r);
}

bool outEmpty(const char* t) { return t == nullptr || t[0] == '\0'; }

int outContour(CycleRecord* cycle, std::uint16_t layer, const char* name, const char* comment,
               const char* usage) {
  OutputRecord r = outRecord(3001);
  outCopyText(r.text.name, sizeof r.text.name, name);
  // "cmnt[<comment>]" and "u[<usage>]", blank-separated when both are given, cut to the field.
  const bool hasComment = !outEmpty(comment), hasUsage = !outEmpty(usage);
  std::snprintf(r.text.text, sizeof r.text.text, "%s%s%s%s%s%s%s", hasComment ? "cmnt[" : "",
                hasComment ? comment : "", hasComment ? "]" : "", hasComment && hasUsage ? " " : "",
                hasUsage ? "u[" : "", hasUsage ? usage : "", hasUsage ? "]" : "");
  return cycEmit(cycle, layer, &r);
}

int outPoint(CycleRecord* cycle, std::uint16_t layer, int type, double x, double y, double z) {
  OutputRecord r = outRecord(type);
  r.move.x = x;
  r.move.y = y;
  r.move.z = z;
  return cycEmit(cycle, layer, &r);
}

// A layer-31 explicit move and its layer-32 G-code twin; has* say which coordinates the type has.
int outMovePair(CycleRecord* cycle, int type31, int type32, bool hasXY, bool hasZ, double x,
                double y, double z) {
  OutputRecord r = outRecord(type31);
  if (hasXY) {
    r.move.x = x;
    r.move.y = y;
  }
  if (hasZ) r.move.z = z;
  const int result = cycEmit(cycle, 31, &r);
  OutputRecord nc = outRecord(type32);
  if (hasXY) {
    nc.nc.x = x;
    nc.nc.y = y;
  }
  if (hasZ) nc.nc.z = z;
  cycEmit(cycle, 32, &nc);
  return result;
}

// Updates *last to value when their texts differ; returns 1 then, else 0.
int outModalChanged(double* last, double value, bool axis) {
  if (last == nullptr) return 1;
  char a[400];
  char b[400];
  if (axis) {
    numFormatFixed8(a, sizeof a, *last);
    numFormatFixed8(b, sizeof b, value);
  } else {
    numFormat(a, *last);
    numFormat(b, value);
  }
  if (std::strcmp(a, b) == 0) return 0;
  *last = value;
  return 1;
}

int outModal(CycleRecord* cycle, bool feed, double* lastX, double* lastY, double* lastZ, double x,
             double y, double z, double* lastU, double* lastV, double* lastW, double u, double v,
             double w) {
  OutputRecord r = outRecord(0);
  r.modal.setX = outModalChanged(lastX, x, false);
  r.modal.setY = outModalChanged(lastY, y, false);
  r.modal.setZ = outModalChanged(lastZ, z, false);
  r.modal.setU = outModalChanged(lastU, u, true);
  r.modal.setV = outModalChanged(lastV, v, true);
  r.modal.setW = outModalChanged(lastW, w, true);
  r.modal.x = x;
  r.modal.y = y;
  r.modal.z = z;
  const bool fiveAxis = r.modal.setU != 0 || r.modal.setV != 0 || r.modal.setW != 0;
  if (!fiveAxis && r.modal.setX == 0 && r.modal.setY == 0 && r.modal.setZ == 0) return 0;
  int type31;
  int type32;
  if (fiveAxis) {
    r.modal.u = u;
    r.modal.v = v;
    r.modal.w = w;
    type31 = feed ? 3118 : 3109;
    type32 = feed ? 4020 : 4019;
  } else {
    type31 = feed ? 3114 : 3107;
    type32 = feed ? 4007 : 4016;
  }
  r.type = type31;
  const int result = cycEmit(cycle, 31, &r);
  r.type = type32;
  cycEmit(cycle, 32, &r);
  return result;
}

int outPart(CycleRecord* cycle, int type, int kind, int number, const char* name, const char* data,
            const char* usage) {
  OutputRecord r = outRecord(type);
  r.part.number = number;
  r.part.kind = kind;
  outCopyText(r.part.name, kPartTextMax + 1, name);
  outCopyText(r.part.data, kPartTextMax + 1, data);
  outCopyText(r.part.usage, kPartTextMax + 1, usage);
  return cycEmit(cycle, 12, &r);
}

int outSingleText(CycleRecord* cycle, std::uint16_t layer, int type, const char* text) {
  OutputRecord r = outRecord(type);
  outCopyText(r.single, sizeof r.single, text);
  return cycEmit(cycle, layer, &r);
}
}  // namespace

void outFormatText(char* field, std::size_t size, const char* format, ...) {
  if (field == nullptr || size == 0) return;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(field, size, format, args);
  va_end(args);
  if (n < 0) field[0] = '\0';
}

void outCopyText(char* field, std::size_t size, const char* text) {
  if (field == nullptr || size == 0) return;
  std::size_t n = text != nullptr ? std::strlen(text) : 0;
  if (n >= size) n = size - 1;
  if (n > 0) std::memcpy(field, text, n);
  field[n] = '\0';
}

int cycSendTextRecord(CycleRecord* cycle, std::uint16_t layer, int type, const char* name,
                      const char* text) {
  OutputRecord r = outRecord(type);
  outCopyText(r.text.name, sizeof r.text.name, name);
  outCopyText(r.text.text, sizeof r.text.text, text);
  return cycEmit(cycle, layer, &r);
}

int cycSendError(CycleRecord* cycle, const char* text) {
  return cycSendTextRecord(cycle, 0, 101, "error", text);
}

int cycSendInfoText(CycleRecord* cycle, const char* item, const char* text) {
  return cycSendTextRecord(cycle, 0, QDMILL_INFO_TEXT, item, text);
}

int cycSendComment(CycleRecord* cycle, const char* text) {
  return outSingleText(cycle, 2, 1001, text);
}

int cycSendComments(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  char* last = parListGet(cycle->params, "lastComment", nullptr);
  const long count = last != nullptr ? std::strtol(last, nullptr, 10) : 0;
  memFree(last);
  int written = 0;
  for (long i = 1; i <= count && i <= 100000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "comment_%ld", i);
    char* text = parListGet(cycle->params, name, nullptr);
    if (text == nullptr) continue;
    cycSendComment(cycle, text);
    memFree(text);
    ++written;
  }
  return written;
}

int cycBeginContour(CycleRecord* cycle, const char* name, const char* comment, const char* usage) {
  return outContour(cycle, 31, name, comment, usage);
}
int cycEndContour(CycleRecord* cycle) { return outEmitType(cycle, 31, 3002); }
int cycAuxBeginContour(CycleRecord* cycle, const char* name, const char* comment,
                       const char* usage) {
  return outContour(cycle, 41, name, comment, usage);
}
int cycAuxEndContour(CycleRecord* cycle) { return outEmitType(cycle, 41, 3002); }
int cycAuxFirstPoint(CycleRecord* cycle, double x, double y, double z) {
  return outPoint(cycle, 41, 3103, x, y, z);
}
int cycAuxNextPoint(CycleRecord* cycle, double x, double y, double z) {
  return outPoint(cycle, 41, 3113, x, y, z);
}

int cycRapidXY(CycleRecord* cycle, double x, double y) {
  return outMovePair(cycle, 3101, 4001, true, false, x, y, 0);
}
int cycRapidZ(CycleRecord* cycle, double z) {
  return outMovePair(cycle, 3102, 4002, false, true, 0, 0, z);
}
int cycFeedXY(CycleRecord* cycle, double x, double y) {
  return outMovePair(cycle, 3111, 4004, true, false, x, y, 0);
}
int cycFeedZ(CycleRecord* cycle, double z) {
  return outMovePair(cycle, 3112, 4005, false, true, 0, 0, z);
}
int cycFeedXYZ(CycleRecord* cycle, double x, double y, double z) {
  return outMovePair(cycle, 3113, 4006, true, true, x, y, z);
}

int cycRapid3D(CycleRecord* cycle, double* lastX, double* lastY, double* lastZ, double x, double y,
               double z, double* lastU, double* lastV, double* lastW, double u, double v,
               double w) {
  return outModal(cycle, false, lastX, lastY, lastZ, x, y, z, lastU, lastV, lastW, u, v, w);
}
int cycFeed3D(CycleRecord* cycle, double* lastX, double* lastY, double* lastZ, double x, double y,
              double z, double* lastU, double* lastV, double* lastW, double u, double v, double w) {
  return outModal(cycle, true, lastX, lastY, lastZ, x, y, z, lastU, lastV, lastW, u, v, w);
}

int cycArcXY(CycleRecord* cycle, int direction, double endX, double endY, double centreX,
             double centreY) {
  OutputRecord r = outRecord(3121);
  r.arc.direction = direction;
  r.arc.x = endX;
  r.arc.y = endY;
  r.arc.cx = centreX;
  r.arc.cy = centreY;
  const int result = cycEmit(cycle, 31, &r);
  OutputRecord nc = outRecord(direction == 1 ? 4008 : 4009);
  nc.nc.x = endX;
  nc.nc.y = endY;
  nc.nc.i = centreX;
  nc.nc.j = centreY;
  cycEmit(cycle, 32, &nc);
  return result;
}

int cycSetLocal(CycleRecord* cycle, const char* name, const char* value) {
  const int result = cycSendTextRecord(cycle, 31, 3131, name, value);
  OutputRecord r = outRecord(203);
  outCopyText(r.text.name, sizeof r.text.name, "loc");
  outFormatText(r.text.text, sizeof r.text.text, "\"%s\":=\"%s\"", name != nullptr ? name : "",
                value != nullptr ? value : "");
  cycEmit(cycle, 1, &r);
  return result;
}

int cycSendNameValue(CycleRecord* cycle, const char* name, const char* value) {
  return cycSendTextRecord(cycle, 10, 301, name, value);
}

int cycSendCallArg(CycleRecord* cycle, const char* name, double number) {
  if (!std::isfinite(number)) {
    char what[300];
    std::snprintf(what, sizeof what, "%s: not a finite number", name != nullptr ? name : "");
    cycFailWithMessage(cycle, kCycMsgBadValue, what);
    return 0;
  }
  char num[kNumTextSize];
  numFormat(num, number);
  OutputRecord r = outRecord(301);
  outCopyText(r.text.name, sizeof r.text.name, "arg");
  outFormatText(r.text.text, sizeof r.text.text, "F:\"%s\":=%s", name != nullptr ? name : "", num);
  return cycEmit(cycle, 10, &r);
}

int cycSendAliasDef(CycleRecord* cycle, const char* a, const char* b, const char* c,
                    const char* d) {
  OutputRecord r = outRecord(301);
  outCopyText(r.text.name, sizeof r.text.name, "aliasDef");
  outFormatText(r.text.text, sizeof r.text.text, "%s,%s,%s,%s", a != nullptr ? a : "",
                b != nullptr ? b : "", c != nullptr ? c : "", outEmpty(d) ? "1" : d);
  return cycEmit(cycle, 10, &r);
}

int cycBegin5Axis(CycleRecord* cycle) { return cycSendNameValue(cycle, "tr", "5X"); }
int cycEnd5Axis(CycleRecord* cycle) { return cycSendNameValue(cycle, "tr", "5X0"); }

int cycSendToolText(CycleRecord* cycle, const char* text) {
  return outSingleText(cycle, 11, 3199, text);
}
int cycSendToolValue(CycleRecord* cycle, const char* name, const char* value) {
  return cycSendTextRecord(cycle, 11, 3131, name, value);
}

int cycSendFrameToolAxis(CycleRecord* cycle, double x, double y, double z) {
  if (cycle == nullptr) return 0;
  AffineMatrix tool = cycle->tool;
  AffineMatrix frame = cycle->frame;
  tool.m[3] = tool.m[7] = tool.m[11] = 0;
  frame.m[3] = frame.m[7] = frame.m[11] = 0;
  AffineMatrix frameInverse;
  affInvert(&frameInverse, &frame);
  const double d[3] = {x, y, z};
  double inTool[4];
  double out[4];
  affTransformPoint(inTool, &tool, d);
  affTransformPoint(out, &frameInverse, inTool);
  const double len = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
  if (!(len > 1e-8)) return 0;
  if (!std::isfinite(len)) {
    cycFailWithMessage(cycle, kCycMsgBadValue, "toolAxis: not a finite direction");
    return 0;
  }
  char tx[kNumTextSize];
  char ty[kNumTextSize];
  char tz[kNumTextSize];
  numFormat(tx, out[0] / len);
  numFormat(ty, out[1] / len);
  numFormat(tz, out[2] / len);
  OutputRecord r = outRecord(3131);
  outCopyText(r.text.name, sizeof r.text.name, "toolAxis");
  outFormatText(r.text.text, sizeof r.text.text, "%s,%s,%s", tx, ty, tz);
  return cycEmit(cycle, 11, &r);
}

int cycSendLiteralNc(CycleRecord* cycle, const char* text) {
  if (outEmpty(text)) return 0;
  return outSingleText(cycle, 32, 4101, text);
}

int cycBeginPart(CycleRecord* cycle, int number, const char* data, const char* usage) {
  return outPart(cycle, 5001, 1, number, nullptr, data, usage);
}
int cycEndPart(CycleRecord* cycle, int number, const char* data, const char* usage) {
  return outPart(cycle, 5002, 1, number, nullptr, data, usage);
}
int cycClearPart(CycleRecord* cycle, int number) {
  return outPart(cycle, 5003, 1, number, nullptr, nullptr, nullptr);
}
int cycBeginContext(CycleRecord* cycle, const char* name, const char* data, const char* usage) {
  if (outEmpty(name)) return 0;
  return outPart(cycle, 5001, 4, 0, name, data, usage);
}
int cycEndContext(CycleRecord* cycle, const char* name, const char* data, const char* usage) {
  if (outEmpty(name)) return 0;
  return outPart(cycle, 5002, 4, 0, name, data, usage);
}
int cycClearAll(CycleRecord* cycle) { return outEmitType(cycle, 12, 5004); }
int cycMoveKindSmooth(CycleRecord* cycle) {
  return outPart(cycle, 5005, 113, 0, nullptr, nullptr, nullptr);
}
int cycMoveKindInfeed(CycleRecord* cycle) {
  return outPart(cycle, 5005, 114, 0, nullptr, nullptr, nullptr);
}
int cycMoveKindPath(CycleRecord* cycle) {
  return outPart(cycle, 5005, 115, 0, nullptr, nullptr, nullptr);
}

int cycCollisionPoint(CycleRecord* cycle, double x, double y, double z) {
  OutputRecord r = outRecord(7001);
  r.mark.zero = 0;
  for (auto& p : r.mark.p) {
    p[0] = x;
    p[1] = y;
    p[2] = z;
  }
  return cycEmit(cycle, 42, &r);
}
