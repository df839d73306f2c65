// spline_nc.cpp - "#D_SPLINE" and "POLY" NC blocks of a cubic spline, every number in the "C"
// locale with four decimals (three for the start position of a "POLY" block). Lines are built in
// fixed buffers: nothing here allocates, so nothing can fail halfway through a block.
#include "output/spline_nc.h"

#include <cstdio>
#include <cstring>

#include "framework/messages.h"
#include "framework/numtext.h"
#include "output/out3d_state.h"

namespace {
// One NC line under construction; text beyond the room is cut (a literal NC record holds less).
struct SplLine {
  char text[4096];
  std::size_t n = 0;

  SplLine& put(const char* s) {
    const std::size_t len = std::strlen(s);
    const std::size_t room = sizeof text - 1 - n;
    const std::size_t take = len < room ? len : room;
    std::memcpy(text + n, s, take);
    n += take;
    text[n] = '\0';
    return *this;
  }
  SplLine& num(double x, int decimals, int width = 0) {
    char t[kNumFixedTextSize];
    numFormatFixedWidth(t, sizeof t, x, decimals, width);
    return put(t);
  }
  SplLine& whole(int v) {
    char t[16];
    std::snprintf(t, sizeof t, "%d", v);
    return put(t);
  }
  SplLine() { text[0] = '\0'; }
};

void splWrite(const SplLine& line) { out3dLiteralLine(line.text); }

// The four coefficients, blank-separated.
void splWriteFour(const double* c) {
  SplLine line;
  line.num(c[0], 4).put(" ").num(c[1], 4).put(" ").num(c[2], 4).put(" ").num(c[3], 4);
  splWrite(line);
}

void splWriteText(const char* text) { out3dLiteralLine(text); }

void splWriteWhole(int v) { splWrite(SplLine().whole(v)); }

// Traces a segment of the wrong degree; true when the segment is cubic.
bool splCubic(const SplineSegment& g) {
  if (g.degree == 4) return true;
  out3dTraceText(9, "Spline ist nicht kubisch : %d", g.degree);
  return false;
}

// "PO[<name>]=(<end>,<c2>,<c3>)" of one axis, each number "%7.4lf".
void splPutAxis(SplLine* line, const char* name, const double* c) {
  line->put("PO[").put(name).put("]=(").num(c[0] + c[1] + c[2] + c[3], 4, 7).put(",");
  line->num(c[2], 4, 7).put(",").num(c[3], 4, 7).put(")");
}
}  // namespace

int splWriteDSpline(const CubicSpline* spline, const SplineArcMap* map, double feed) {
  if (spline == nullptr || map == nullptr || map->count < spline->count) return 0;
  const int n = spline->count;
  for (int i = 0; i < n; ++i) {
    splWrite(SplLine().put("#D_SPLINE[").whole(2 * i).put(",").whole(2 * i + 1).put("]"));
  }
  splWriteText("(------ DATA -----)");
  static const double kZero[4] = {0, 0, 0, 0};
  static const double kOne[4] = {1, 0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const SplineSegment& g = spline->segments[i];
    if (!splCubic(g)) return i;
    splWriteWhole(2 * i);
    splWrite(SplLine().put("t").num(0.0, 4));
    splWriteFour(g.cx);
    splWriteFour(g.cy);
    splWriteFour(g.cz);
    splWrite(SplLine().put("t").num(1.0, 4));
    splWrite(SplLine().num(map->pieces[i].length, 4));
    splWriteFour(map->pieces[i].coef);
    splWrite(SplLine().put("F").num(feed, 4));
    splWriteWhole(2 * i + 1);
    splWriteFour(kZero);
    splWriteFour(kZero);
    splWriteFour(kOne);
  }
  return n;
}

int splWritePoly(const CubicSpline* spline, double /*feed: the control keeps its own*/) {
  if (spline == nullptr || spline->count < 1) return 0;
  const SplineSegment& first = spline->segments[0];
  splWrite(SplLine()
               .put("G1 X")
               .num(first.cx[0], 3)
               .put(" Y")
               .num(first.cy[0], 3)
               .put(" Z")
               .num(first.cz[0], 3));
  for (int i = 0; i < spline->count; ++i) {
    const SplineSegment& g = spline->segments[i];
    if (!splCubic(g)) return i;
    SplLine line;
    if (i == 0) line.put("POLY ");
    splPutAxis(&line, "X", g.cx);
    splPutAxis(&line, "Y", g.cy);
    splPutAxis(&line, "Z", g.cz);
    splWrite(line);
  }
  return spline->count;
}
