// arc_rewrite.cpp - the level-file rewrite: an interpreter over the exchange file of pocket
// contours that buffers each contour's lines, writes a run that closes on one circle as two half
// arcs and copies every other line, arc and variable.
#include "geometry/arc_rewrite.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_number.h"
#include "geometry/geo_error.h"

namespace {

constexpr double kArcSamePoint = 1e-7;  // a line this short in x, y and z is dropped
constexpr double kArcClosedRun = 1e-5;  // a run whose ends are this close is closed
constexpr int kArcCircleMinPoints = 5;

struct ArcRewriteState {
  double chordalTolerance = 0.1;
  int fullCircle = 0;
  int refuseGrowthAt = 0;  // test seam: growths left until one is refused (0: none)
};
ArcRewriteState rwState;

ArcRecognizer* arcUser(void* user) { return static_cast<ArcRecognizer*>(user); }

// A decimal number in the "C" locale; 0 when the text holds none.
double arcNumber(const char* text) {
  if (text == nullptr) return 0.0;
  char* end = nullptr;
  const locale_t c = platCLocale();
  const double v = c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
  return end == text ? 0.0 : v;
}

// Makes the texts (x, y, z) the current point.
void arcSetCurrent(ArcRecognizer* r, const char (*texts)[24]) {
  for (int a = 0; a < 3; ++a) {
    std::strncpy(r->text[a], texts[a], kArcPointTextSize - 1);
    r->text[a][kArcPointTextSize - 1] = '\0';
    r->value[a] = arcNumber(texts[a]);
  }
}

// The element's coordinates with the current point's texts standing for parts not given; the
// end (second parts) becomes the current point.
void arcReadCoord(ArcRecognizer* r, const XchgElement* e, XchgCoord* c) {
  xchgCoordPreset(c, r->text[0], r->text[1], r->text[2]);
  xchgCoordParse(c, e);
  arcSetCurrent(r, c->second);
}

bool arcAtContourLevel(const ArcRecognizer* r) { return r->inContour == 1 && r->depth == 1; }

// The direction written for an arc: '-' stays clockwise; any other character, or none, is read
// as counter-clockwise by every reader and is written as '+'.
char arcDirection(const XchgCoord& c) { return c.name[0] == kArcCw ? kArcCw : kArcCcw; }

// 1 when the lexer reads the text back as the same variable value: value characters and blanks,
// no ')' (which ends a value) and no backslash (which escapes), no blank at either end.
bool arcValueSurvives(const char* v) {
  const std::size_t n = std::strlen(v);
  if (n == 0 || v[0] == ' ' || v[0] == '\t' || v[n - 1] == ' ' || v[n - 1] == '\t') return false;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(v[i]);
    const bool visible = c >= '!' && c <= '~' && c != '[' && c != ']' && c != '`';
    if ((!visible && c != ' ' && c != '\t') || c == ')' || c == '\\') return false;
  }
  return true;
}

void arcWritePointLine(std::FILE* out, bool first, const double s[2], const double e[2]) {
  char sx[kNumTextSize], sy[kNumTextSize], ex[kNumTextSize], ey[kNumTextSize];
  numFormat(ex, e[0]);
  numFormat(ey, e[1]);
  if (first) {
    numFormat(sx, s[0]);
    numFormat(sy, s[1]);
    std::fprintf(out, "  oL( x[%s/%s] y[%s/%s] )\n", sx, ex, sy, ey);
  } else {
    std::fprintf(out, "  oL( x[/%s] y[/%s] )\n", ex, ey);
  }
}

void arcWriteArcLine(std::FILE* out, bool first, char dir, const double s[2], const double e[2],
                     const double c[2]) {
  char sx[kNumTextSize], sy[kNumTextSize], ex[kNumTextSize], ey[kNumTextSize];
  char cx[kNumTextSize], cy[kNumTextSize];
  numFormat(ex, e[0]);
  numFormat(ey, e[1]);
  numFormat(cx, c[0]);
  numFormat(cy, c[1]);
  if (first) {
    numFormat(sx, s[0]);
    numFormat(sy, s[1]);
    std::fprintf(out, "  oA( o[%c] x[%s/%s/%s] y[%s/%s/%s] )\n", dir, sx, ex, cx, sy, ey, cy);
  } else {
    std::fprintf(out, "  oA( o[%c] x[/%s/%s] y[/%s/%s] )\n", dir, ex, cx, ey, cy);
  }
}

// Replaces a closed run that lies on one circle by two half arcs from the first point pushed
// radially onto the circle. Returns true when it did.
bool arcRunToCircle(ArcRecognizer* r) {
  ArcPoint* run = r->run;
  const int n = r->runCount;
  if (n < kArcCircleMinPoints) return false;
  if (std::hypot(run[n - 1].x - run[0].x, run[n - 1].y - run[0].y) > kArcClosedRun) return false;
  double qx = 0, qy = 0, radius = 0;
  if (arcRunFits(rwState.chordalTolerance, run, 0, n - 1, &qx, &qy, &radius) != 1) return false;
  const double dx = run[0].x - qx, dy = run[0].y - qy;
  const double d = std::hypot(dx, dy);
  if (!(d > 0.0)) return false;
  const double p1x = qx + radius * dx / d, p1y = qy + radius * dy / d;
  const double p2x = qx - radius * dx / d, p2y = qy - radius * dy / d;
  const ArcPoint& k = run[n / 4];
  const char dir = (p1x - qx) * (k.y - qy) - (p1y - qy) * (k.x - qx) < 0.0 ? kArcCw : kArcCcw;
  const ArcPoint circle[5] = {{p1x, p1y, 0.0, dir, kArcYes, kArcNo},
                              {qx, qy, 0.0, kArcFresh, kArcNo, kArcNo},
                              {p2x, p2y, 0.0, dir, kArcYes, kArcYes},
                              {qx, qy, 0.0, kArcFresh, kArcNo, kArcNo},
                              {p1x, p1y, 0.0, kArcFresh, kArcNo, kArcYes}};
  arcPtsCopy(run, circle, 5);
  r->runCount = 5;
  rwState.fullCircle = 1;
  return true;
}

}  // namespace

void arcWriteHeader(ArcRecognizer* r) {
  char tol[64];
  const auto res = std::to_chars(tol, tol + sizeof tol - 1, rwState.chordalTolerance,
                                 std::chars_format::general, 6);
  *res.ptr = '\0';
  std::fprintf(r->out, "%s\nqDX-Version: 1.0\nGeometry\nArc and line recognition 1.0\n\n",
               xchgBanner);
  std::fprintf(r->out, "; chordal tolerance %s\n\n", tol);
}

int arcBufferPoint(ArcRecognizer* r, double x, double y, double z) {
  if (r->runCount >= r->runCapacity) {
    bool refused = r->runCapacity > INT_MAX - kArcRunBlock;
    if (rwState.refuseGrowthAt > 0 && --rwState.refuseGrowthAt == 0) refused = true;
    ArcPoint* grown = nullptr;
    if (!refused) {
      const std::size_t room = static_cast<std::size_t>(r->runCapacity) + kArcRunBlock;
      grown = static_cast<ArcPoint*>(memRealloc(r->run, room * sizeof(ArcPoint)));
    }
    if (grown == nullptr) {
      geoFail(-1, "arc_rewrite");
      geoErrLog("Memory allocation failed !");
      r->failed = 1;
      return 0;
    }
    r->run = grown;
    r->runCapacity += kArcRunBlock;
  }
  r->run[r->runCount++] = ArcPoint{x, y, z, kArcFresh, kArcNo, kArcNo};
  return 1;
}

void arcFlushRun(ArcRecognizer* r) {
  if (r->runCount >= 2) {
    arcRunToCircle(r);
    double s[2] = {0, 0}, z = 0;
    arcPtsFirst(r->run, r->runCount, &s[0], &s[1], &z);
    std::fputs("\n", r->out);
    bool first = true;
    int kind = 0;
    double e[2] = {0, 0}, c[2] = {0, 0};
    for (int i = 0;
         (i = arcPtsNext(i, r->run, r->runCount, &kind, &e[0], &e[1], &z, &c[0], &c[1])) >= 0;) {
      if (kind == kArcElemLine)
        arcWritePointLine(r->out, first, s, e);
      else
        arcWriteArcLine(r->out, first, kind == kArcElemCw ? kArcCw : kArcCcw, s, e, c);
      first = false;
      r->written = 1;
      s[0] = e[0];
      s[1] = e[1];
    }
  }
  r->runCount = 0;
}

int arcOnVariable(XchgElement* e, XchgScope* scope, void* user) {
  ArcRecognizer* r = arcUser(user);
  if (e->name == nullptr || e->id == nullptr) return 1;
  xchgScopeSet(scope, e->name, e->id);
  if (std::strcmp(e->name, "precision") == 0) {
    const long p = std::strtol(e->id, nullptr, 10);
    if (p < 3) return 1;
    numSetPrecision(p > 8 ? 8 : static_cast<int>(p));
  } else {
    arcFlushRun(r);
  }
  // Values are echoed as read; one the lexer would read back differently is escaped instead.
  if (arcValueSurvives(e->id)) {
    std::fprintf(r->out, "  v%s(%s)\n", e->name, e->id);
    return 1;
  }
  const std::size_t room = 4 * std::strlen(e->id) + 1;
  auto* escaped = static_cast<char*>(memAllocZero(room));
  if (escaped == nullptr) {
    geoFail(-1, "arc_rewrite");
    r->failed = 1;
    return 0;
  }
  xchgEscapeText(escaped, room, e->id);
  std::fprintf(r->out, "  v%s(%s)\n", e->name, escaped);
  memFree(escaped);
  return 1;
}

int arcOnScopeBegin(XchgElement*, XchgScope* scope, void* user) {
  ArcRecognizer* r = arcUser(user);
  xchgScopePush(scope);
  if (r->depth == 0 && r->inContour == 1) {
    ++r->contourCounter;
    std::fprintf(r->out, "\noContour[%d]( )\n{\n", r->contourCounter);
    r->notBegun = 1;
    r->contourOpen = 1;
    r->written = 0;
  }
  ++r->depth;
  return 1;
}

int arcOnScopeEnd(XchgElement*, XchgScope* scope, void* user) {
  ArcRecognizer* r = arcUser(user);
  xchgScopePop(scope);
  if (r->depth >= 2) {
    --r->depth;
    return 1;
  }
  arcFlushRun(r);
  // Every contour whose "{" was written is closed, also one that held no element.
  if (r->contourOpen == 1) std::fputs("}\n", r->out);
  r->contourOpen = 0;
  r->inContour = 0;
  r->depth = 0;
  return 1;
}

int arcOnMove(XchgElement* e, XchgScope*, void* user) {
  ArcRecognizer* r = arcUser(user);
  XchgCoord c;
  arcReadCoord(r, e, &c);
  if (arcAtContourLevel(r)) r->notBegun = 0;
  return 1;
}

int arcOnLine(XchgElement* e, XchgScope*, void* user) {
  ArcRecognizer* r = arcUser(user);
  XchgCoord c;
  arcReadCoord(r, e, &c);
  if (!arcAtContourLevel(r)) return 1;
  r->notBegun = 0;
  double start[3];
  bool same = true;
  for (int a = 0; a < 3; ++a) {
    start[a] = arcNumber(c.first[a]);
    if (!(std::fabs(start[a] - r->value[a]) <= kArcSamePoint)) same = false;
  }
  if (same) {
    arcSetCurrent(r, c.first);
    return 1;
  }
  if (r->runCount == 0 && arcBufferPoint(r, start[0], start[1], start[2]) != 1) return 0;
  return arcBufferPoint(r, r->value[0], r->value[1], r->value[2]);
}

int arcOnArc(XchgElement* e, XchgScope*, void* user) {
  ArcRecognizer* r = arcUser(user);
  XchgCoord c;
  arcReadCoord(r, e, &c);
  if (!arcAtContourLevel(r)) return 1;
  r->notBegun = 0;
  arcFlushRun(r);
  const char dir = arcDirection(c);
  // The short form starts where the last written element ended; the first element of a contour
  // (also one after an 'M' or a dropped line) carries its start.
  if (r->written == 0) {
    std::fprintf(r->out, "  oA( o[%c] x[%s/%s/%s] y[%s/%s/%s] )\n", dir, c.first[0], c.second[0],
                 c.third[0], c.first[1], c.second[1], c.third[1]);
  } else {
    std::fprintf(r->out, "  oA( o[%c] x[/%s/%s] y[/%s/%s] )\n", dir, c.second[0], c.third[0],
                 c.second[1], c.third[1]);
  }
  r->written = 1;
  return 1;
}

int arcOnContour(XchgElement*, XchgScope*, void* user) {
  ArcRecognizer* r = arcUser(user);
  if (r->depth == 0) {
    r->inContour = 1;
    r->notBegun = 1;
  }
  return 1;
}

int arcRecognizeRun(const char* outPath, const char* inPath) {
  if (outPath == nullptr || inPath == nullptr) {
    geoFail(-20, "arc_rewrite");
    return 0;
  }
  std::FILE* out = std::fopen(outPath, "w");
  if (out == nullptr) {
    geoFail(-29, "arc_rewrite");
    return 0;
  }
  ArcRecognizer r{};
  r.out = out;
  for (auto& t : r.text) std::strcpy(t, "0");
  const int precision = numPrecision();
  XchgInterp* in = xchgInterpNew(&r, arcOnVariable, arcOnScopeBegin, arcOnScopeEnd);
  bool ok = in != nullptr && xchgInterpOnObject(in, "M", arcOnMove) == 1 &&
            xchgInterpOnObject(in, "L", arcOnLine) == 1 &&
            xchgInterpOnObject(in, "A", arcOnArc) == 1 &&
            xchgInterpOnObject(in, "Contour", arcOnContour) == 1;
  if (ok) {
    arcWriteHeader(&r);
    xchgLexErrorClear();
    const int run = xchgInterpRun(inPath, in, nullptr);
    XchgLexError lex{};
    xchgLexLastError(&lex);
    // A file that cannot be read, or an element lost for want of memory, leaves an output that
    // must not take the input's place.
    if (run != 1 || lex.code == kXchgErrMemory) r.failed = 1;
    if (r.failed == 0 && r.contourOpen == 1) {
      arcFlushRun(&r);
      std::fputs("}\n", out);
    }
    if (r.contourCounter > 0) std::fputs("\n; --- end of file ---\n", out);
  } else {
    geoFail(-1, "arc_rewrite");
  }
  xchgInterpFree(in);
  memFree(r.run);
  numSetPrecision(precision);
  const bool written = std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  return ok && r.failed == 0 && written && closed ? 1 : 0;
}

int arcRecognizeFile(const char* outPath, const char* inPath, double chordalTolerance) {
  rwState.chordalTolerance = chordalTolerance;
  rwState.fullCircle = 0;
  const int completed = arcRecognizeRun(outPath, inPath);
  return completed == 1 && rwState.fullCircle == 1 ? 1 : 0;
}

double arcChordalTolerance() { return rwState.chordalTolerance; }

void arcRewriteRefuseGrowth(int n) { rwState.refuseGrowthAt = n > 0 ? n : 0; }

void arcRewriteResetState() { rwState = ArcRewriteState{}; }
