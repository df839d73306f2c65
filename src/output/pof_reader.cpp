// pof_reader.cpp - the layered text stream over a stack of POF sources and the read-back of the
// move layers into the hooks, with the read-back's process-wide state (current, previous and
// layer-34 points, the open path, the coordinates seen, the error flag).
#include "output/pof_reader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numbers>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/path_join.h"
#include "framework/platform.h"
#include "framework/xchg_file.h"

namespace {
constexpr char kPofStdin[] = "| stdin";
constexpr int kPofMaxLayerDigits = 5;
constexpr int kFlagX = 1, kFlagY = 2, kFlagZ = 4;
constexpr int kFlagsXY = kFlagX | kFlagY;
constexpr int kLineArcPoints = 25;  // a line path gets an arc as 24 chords

// Path modes of the read-back.
constexpr int kPathNone = 0, kPathArc = 2, kPathLine = 3;
// Point states.
constexpr int kPointNone = 0, kPointPlaced = 1, kPointOnPath = 2;

struct PofReadState {
  Point3D p{0, 0, 0};  // current point
  Point3D q{0, 0, 0};  // previous point
  Point3D r{0, 0, 0};  // layer-34 point
  int pointState = kPointNone;
  int pathMode = kPathNone;
  int prevKind = 0;
  int flags31 = 0;
  int flags34 = 0;
  int error = 0;
  PofReadHooks hooks{};                 // the table in force once chosen
  bool hooksChosen = false;             // false: the installed defaults are taken on first use
  bool usesDefaults = true;             // the table in force is the installed defaults
  bool dxfWritten = false;              // a read-back created "tmp.dxf" since the last reset
  char dxfFolder[kPofDxfPathMax] = "";  // folder of the drawing; empty: the current one
  char dxfPath[kPofDxfPathMax] = "";    // the drawing the last read-back wrote
};
constinit PofReadState readState;

// What other subsystems install: the default hooks and the error reporter. Kept apart from the
// read-back state, so that a reset of that state keeps them.
struct PofReadSlots {
  PofReadHooks defaults{};
  bool defaultsInstalled = false;
  PofErrorReportFn report = nullptr;
};
constinit PofReadSlots readSlots;

// The table in force; the installed defaults until a caller chose another.
PofReadHooks& pofHooks() {
  if (!readState.hooksChosen) {
    readState.hooks = readSlots.defaults;
    readState.hooksChosen = true;
    readState.usesDefaults = true;
  }
  return readState.hooks;
}

// The targets handed to the hooks: their addresses only.
char pofMoveTargetTag = 'm';
char pofLayer34TargetTag = 'p';

// Appends c to out when there is room; the length counts every character offered.
void ruppPut(char* out, std::size_t size, std::size_t* len, char c) {
  if (*len + 1 < size) out[*len] = c;
  ++*len;
}
void ruppEnd(char* out, std::size_t size, std::size_t len) {
  out[len < size ? len : size - 1] = '\0';
}

bool pofBlank(int c) { return c == ' ' || c == '\t'; }

// ---- sources ----------------------------------------------------------------------------------

PofSource* pofSourceNew(const char* path) {
  auto* s = static_cast<PofSource*>(memAllocZero(sizeof(PofSource)));
  if (s == nullptr) return nullptr;
  s->path = memStrDup(path);
  if (s->path == nullptr) {
    memFree(s);
    return nullptr;
  }
  return s;
}

void pofSourceCloseFile(PofSource* s) {
  if (s->file != nullptr && s->file != stdin) std::fclose(s->file);
  s->file = nullptr;
}

void pofSourceFree(PofSource* s) {
  pofSourceCloseFile(s);
  memFree(s->path);
  memFree(s);
}

// True when path names a regular file: a device or pipe could give an endless line.
bool pofRegularFile(const char* path) { return platIsRegularFile(path) == 1; }

// True when a and b name the same file (the same device and inode, else the same text).
bool pofSameFile(const char* a, const char* b) {
  const int same = platSameFile(a, b);
  if (same >= 0) return same == 1;
  return std::strcmp(a, b) == 0;
}

// Pops the used-up top source and reopens the one below at its saved place. Returns 1 when a
// source is left to read.
int pofPopSource(PofLineStream* st) {
  PofSource* top = st->sources;
  if (top == nullptr) return 0;
  st->sources = top->next;
  --st->depth;
  pofSourceFree(top);
  for (PofSource* s = st->sources; s != nullptr; s = st->sources) {
    s->file = std::fopen(s->path, "rb");
    if (s->file != nullptr &&
        std::fseek(s->file, static_cast<long>(s->savedOffset), SEEK_SET) == 0) {
      st->crSeen = s->savedCr;
      st->lfSeen = s->savedLf;
      st->lineNumber = s->savedLine;
      return 1;
    }
    // the includer cannot be read again: it is used up as well
    st->sources = s->next;
    --st->depth;
    pofSourceFree(s);
  }
  return 0;
}

// ---- line reading -----------------------------------------------------------------------------

// The next byte of the top source, or EOF.
int pofGet(PofLineStream* st) {
  PofSource* s = st->sources;
  if (s == nullptr || s->file == nullptr) return EOF;
  return std::fgetc(s->file);
}

// The next byte with the second half of a CR LF or LF CR pair passed over.
int pofGetChar(PofLineStream* st) {
  int c = pofGet(st);
  if ((c == '\n' && st->crSeen != 0) || (c == '\r' && st->lfSeen != 0)) {
    st->crSeen = st->lfSeen = 0;
    c = pofGet(st);
  }
  st->crSeen = c == '\r' ? 1 : 0;
  st->lfSeen = c == '\n' ? 1 : 0;
  if (c == '\r' || c == '\n') ++st->lineNumber;
  return c;
}

bool pofLineEnd(int c) { return c == '\r' || c == '\n'; }

// Layer 0 "include(path)": the file is read from here on.
void pofCheckInclude(PofLineStream* st, const char* text) {
  char name[kRuppCallTextMax + 1];
  char value[kRuppCallTextMax + 1];
  if (ruppParseCall(text, name, sizeof name, value, sizeof value) == 1 &&
      std::strcmp(name, "include") == 0) {
    pofStreamInclude(st, value);
  }
}

// ---- moves ------------------------------------------------------------------------------------

// Reads the text as a finite decimal number in the "C" locale. Returns false when it is not one.
bool pofNumber(const char* text, std::size_t len, double* out) {
  char buf[64];
  if (len == 0 || len >= sizeof buf) return false;
  std::memcpy(buf, text, len);
  buf[len] = '\0';
  char* end = nullptr;
  const locale_t c = platCLocale();
  const double v = c != nullptr ? strtod_l(buf, &end, c) : std::strtod(buf, &end);
  if (end == buf || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

double& pofAxis(Point3D& p, char axis) { return axis == 'x' ? p.x : axis == 'y' ? p.y : p.z; }

// Full circles are handed over as two half circles through this point opposite the start.
Point3D pofHalfWay(const Point3D& s, const Point3D& e, const Point3D& centre) {
  return {2 * centre.x - s.x, 2 * centre.y - s.y, (s.z + e.z) / 2};
}

// ---- the read-back's handlers -----------------------------------------------------------------

void pofCallPathEnd() {
  if (pofHooks().pathEnd != nullptr) pofHooks().pathEnd();
}
void pofCallArc(void* target, int kind, const Point3D& p, double bulge) {
  if (pofHooks().arcMove != nullptr) pofHooks().arcMove(target, kind, &p, bulge);
}
void pofCallLine(void* target, int kind, const Point3D& p) {
  if (pofHooks().lineMove != nullptr) pofHooks().lineMove(target, kind, &p);
}

// A move of a line path: an arc is handed over as 24 chords ending at the end point.
void pofLineMoves(void* target, int seg, const Point3D& from, const Point3D& to, bool arc,
                  double bulge) {
  if (!arc || std::fabs(bulge) < 1e-12) {
    pofCallLine(target, seg, to);
    return;
  }
  Point2D c{0, 0};
  double r = 0, angle = 0;
  pofBulgeArc(from.x, from.y, to.x, to.y, bulge, &c, &r, &angle);
  const double a0 = std::atan2(from.y - c.y, from.x - c.x);
  for (int i = 1; i < kLineArcPoints - 1; ++i) {
    const double f = static_cast<double>(i) / (kLineArcPoints - 1);
    const Point3D p{c.x + r * std::cos(a0 + angle * f), c.y + r * std::sin(a0 + angle * f),
                    from.z + (to.z - from.z) * f};
    pofCallLine(target, seg, p);
  }
  pofCallLine(target, seg, to);
}

// Hands over the move from q to p (an arc with its bulge) in the current path mode.
void pofHandOver31(const Point3D& q, const Point3D& p, int kind, double bulge, bool startsPath) {
  void* target = pofReadMoveTarget();
  const int seg = kind == 0 ? 1 : 2;
  if (readState.pathMode == kPathArc) {
    if (startsPath) pofCallArc(target, seg, q, 0.0);
    pofCallArc(target, seg, p, bulge);
  } else if (readState.pathMode == kPathLine) {
    if (startsPath) pofCallLine(target, seg, q);
    pofLineMoves(target, seg, q, p, kind == 2 || kind == 3, bulge);
  }
}

void pofLayer31Variable(const XchgElement& e) {
  const char* value = e.id != nullptr ? e.id : "";
  const PofReadHooks& h = pofHooks();
  if (std::strcmp(e.name, "start") == 0) {
    if (h.moveKind != nullptr) h.moveKind(value);
  } else if (std::strcmp(e.name, "full") == 0) {
    if (h.startEnd != nullptr) h.startEnd(value);
  } else if (std::strcmp(e.name, "pocket") == 0) {
    if (h.pocket != nullptr) h.pocket(std::strcmp(value, "start") == 0 ? 1 : 0);
  } else if (std::strcmp(e.name, "end") == 0) {
    if (h.end != nullptr) h.end();
  }
}

void pofReportBadLine() { msgSendReal(9, 1702, "* Error in POF line", 0.0); }

void pofLayer31Move(const XchgElement& e) {
  readState.q = readState.p;
  PofMove mv{};
  const int r = pofParseMove(&e, &readState.p, &mv);
  if (r == -2) return;
  if (r == -1) {  // the point stays as it was, and so do the coordinates seen
    pofReportBadLine();
    return;
  }
  readState.flags31 |= mv.flags;
  if ((readState.flags31 & kFlagsXY) != kFlagsXY) return;
  if (readState.pointState == kPointNone) {
    readState.pointState = kPointPlaced;
    return;
  }
  const int k = mv.kind;
  int m = 0;
  if (r == 1 || k == 0) {
    if (readState.pathMode != kPathLine || ((k == 0) != (readState.prevKind == 0))) m = kPathLine;
  } else if (readState.pathMode != kPathArc) {
    m = kPathArc;
  }
  void* target = pofReadMoveTarget();
  const int seg = k == 0 ? 1 : 2;
  if (m != 0 && readState.pathMode != kPathNone) {
    readState.pointState = kPointPlaced;
    pofCallPathEnd();
    readState.pathMode = kPathNone;
  }
  if (m == kPathArc) {
    if (pofHooks().pathStartArc != nullptr) pofHooks().pathStartArc(target, seg, &readState.p);
    readState.pathMode = kPathArc;
  } else if (m == kPathLine) {
    if (pofHooks().pathStartLine != nullptr) pofHooks().pathStartLine(target, seg);
    readState.pathMode = kPathLine;
  }
  const bool startsPath = readState.pointState == kPointPlaced;
  if (mv.fullCircle != 0) {
    const Point3D half = pofHalfWay(readState.q, readState.p, mv.centre);
    pofHandOver31(readState.q, half, k, mv.bulge, startsPath);
    pofHandOver31(half, readState.p, k, mv.bulge, false);
  } else {
    pofHandOver31(readState.q, readState.p, k, mv.bulge, startsPath);
  }
  readState.prevKind = k;
  readState.pointState = kPointOnPath;
}

// Runs fn on every element of the line text; a lexical error is reported as a bad line.
template <typename Fn>
void pofEachElement(const char* text, Fn fn) {
  const char* cursor = text;
  XchgElement e{};
  xchgElementClear(&e);
  xchgLexErrorClear();
  while (xchgElementFromText(&cursor, &e) == 1) fn(e);
  XchgLexError err{};
  xchgLexLastError(&err);
  if (err.code != 0) pofReportBadLine();
  xchgElementClear(&e);
}

int pofReadLayer31(const char* text, std::int32_t) {
  pofEachElement(text, [](const XchgElement& e) {
    if (e.kind == 'v' && e.name != nullptr) {
      pofLayer31Variable(e);
    } else if (e.kind == 'o') {
      pofLayer31Move(e);
    }
  });
  return 1;
}

void pofLayer34Arc(const Point3D& r, double bulge) {
  if (readState.pathMode == kPathArc && (readState.flags34 & kFlagsXY) == kFlagsXY) {
    pofCallArc(pofReadLayer34Target(), 3, r, bulge);
  }
}

int pofReadLayer34(const char* text, std::int32_t) {
  pofEachElement(text, [](const XchgElement& e) {
    if (e.kind == '}') {
      if (readState.pathMode != kPathNone) pofCallPathEnd();
      readState.flags31 = readState.flags34 = 0;
      readState.pathMode = kPathNone;
      return;
    }
    if (e.kind != 'o') return;
    const Point3D before = readState.r;
    PofMove mv{};
    const int res = pofParseMove(&e, &readState.r, &mv);
    if (res == -2) return;
    if (res == -1) {
      pofReportBadLine();
      return;
    }
    readState.flags34 |= mv.flags;
    if (mv.kind == 0) {
      if (readState.pathMode != kPathNone) pofCallPathEnd();
      if (pofHooks().pathStartArc != nullptr) {
        pofHooks().pathStartArc(pofReadLayer34Target(), 3, &readState.r);
      }
      readState.pathMode = kPathArc;
    }
    if (mv.fullCircle != 0) {
      pofLayer34Arc(pofHalfWay(before, readState.r, mv.centre), mv.bulge);
    }
    pofLayer34Arc(readState.r, mv.bulge);
  });
  return 1;
}

int pofReadLayer0(const char* text, std::int32_t) {
  char name[kRuppCallTextMax + 1];
  char value[kRuppCallTextMax + 1];
  if (ruppParseCall(text, name, sizeof name, value, sizeof value) != 1) return 1;
  if (std::strcmp(name, "error") == 0 || std::strcmp(name, "break") == 0) {
    // Without an installed error table every error record fails the read-back.
    if (readSlots.report == nullptr || readSlots.report(value) < 0) readState.error = 1;
  } else if (std::strcmp(name, "cycle") == 0) {
    readState.flags31 = readState.flags34 = 0;
    readState.pathMode = kPathNone;
    readState.prevKind = 0;
    readState.p.z = 1.0;
    readState.error = 0;
  } else if (std::strcmp(name, "cycleEnd") == 0) {
    if (readState.pathMode != kPathNone) pofCallPathEnd();
    readState.flags31 = readState.flags34 = 0;
    readState.pathMode = kPathNone;
  }
  return 1;
}

// Layers 1, 10 and 32 carry nothing the read-back needs.
int pofReadIgnore(const char*, std::int32_t) { return 1; }

void pofDxfLines(std::FILE* f, const char* const* lines, int n) {
  if (f == nullptr) return;
  for (int i = 0; i < n; ++i) std::fprintf(f, "%s\n", lines[i]);
}
}  // namespace

// ---- stream -----------------------------------------------------------------------------------

PofLineStream* pofStreamNew(const char* path, int capacity) {
  if (path == nullptr || capacity < 1 || capacity > 65535) return nullptr;
  auto* st = static_cast<PofLineStream*>(memAllocZero(sizeof(PofLineStream)));
  if (st == nullptr) return nullptr;
  st->capacity = capacity;
  st->line = static_cast<char*>(memAllocZero(static_cast<std::size_t>(capacity) + 4));
  st->sources = pofSourceNew(path);
  if (st->line == nullptr || st->sources == nullptr) {
    pofStreamFree(st);
    return nullptr;
  }
  st->depth = 1;
  return st;
}

PofLayerHandler* pofHandlerNew(std::uint16_t layer, PofLineHandler handler, std::int32_t user) {
  auto* h = static_cast<PofLayerHandler*>(memAllocZero(sizeof(PofLayerHandler)));
  if (h == nullptr) return nullptr;
  h->layer = layer;
  h->handler = handler;
  h->user = user;
  h->next = h;
  return h;
}

int pofStreamAddHandler(PofLineStream* stream, PofLayerHandler* node) {
  if (stream == nullptr || node == nullptr) return 0;
  // Open the ring into a list, insert or replace in order of layer, and close it again.
  PofLayerHandler* head = stream->handlers;
  if (head != nullptr) {
    PofLayerHandler* last = head;
    while (last->next != head) last = last->next;
    last->next = nullptr;
  }
  PofLayerHandler** at = &head;
  while (*at != nullptr && (*at)->layer < node->layer) at = &(*at)->next;
  if (*at != nullptr && (*at)->layer == node->layer) {
    PofLayerHandler* old = *at;
    node->next = old->next;
    memFree(old);
  } else {
    node->next = *at;
  }
  *at = node;
  PofLayerHandler* last = head;
  while (last->next != nullptr) last = last->next;
  last->next = head;
  stream->handlers = head;
  return 1;
}

int pofStreamStart(PofLineStream* stream) {
  if (stream == nullptr || stream->sources == nullptr) return 0;
  PofSource* s = stream->sources;
  stream->crSeen = stream->lfSeen = 0;
  stream->lineNumber = 1;
  PofLayerHandler* h = stream->handlers;
  if (h != nullptr) {
    do {
      h->calls = 0;
      h = h->next;
    } while (h != stream->handlers);
  }
  if (s->path == nullptr || s->path[0] == '\0') return 0;
  pofSourceCloseFile(s);
  s->file = std::strcmp(s->path, kPofStdin) == 0 ? stdin : std::fopen(s->path, "rb");
  return s->file != nullptr ? 1 : 0;
}

int pofStreamInclude(PofLineStream* stream, const char* path) {
  if (stream == nullptr || path == nullptr || path[0] == '\0') return 0;
  PofSource* top = stream->sources;
  if (top == nullptr || top->file == nullptr || top->file == stdin) return 0;
  if (stream->depth >= kPofMaxIncludeDepth) return 0;
  for (PofSource* s = top; s != nullptr; s = s->next) {
    if (pofSameFile(s->path, path)) return 0;  // already being read: following it would not end
  }
  if (!pofRegularFile(path)) return 0;  // a missing file yields no lines either way
  const long offset = std::ftell(top->file);
  if (offset < 0) return 0;
  PofSource* s = pofSourceNew(path);
  if (s == nullptr) return 0;
  top->savedOffset = offset;
  top->savedCr = stream->crSeen;
  top->savedLf = stream->lfSeen;
  top->savedLine = stream->lineNumber;
  pofSourceCloseFile(top);
  s->next = top;
  stream->sources = s;
  ++stream->depth;
  stream->crSeen = stream->lfSeen = 0;
  stream->lineNumber = 1;
  s->file = std::fopen(path, "rb");  // a file that does not open yields no lines
  return 1;
}

const char* pofStreamReadLine(PofLineStream* stream, std::int16_t* layer) {
  if (stream == nullptr || stream->line == nullptr) return nullptr;
  for (;;) {
    // Layer number: digits, blanks and tabs between them skipped, ended by ':'.
    int c = pofGetChar(stream);
    if (c == EOF) return nullptr;
    long number = 0;
    int digits = 0;
    bool valid = true;
    while (c != EOF && !pofLineEnd(c)) {
      if (pofBlank(c)) {
        c = pofGetChar(stream);
        continue;
      }
      if (c >= '0' && c <= '9' && digits < kPofMaxLayerDigits) {
        number = number * 10 + (c - '0');
        ++digits;
        c = pofGetChar(stream);
        continue;
      }
      valid = c == ':' && digits > 0;
      break;
    }
    if (c == EOF) return nullptr;
    if (pofLineEnd(c)) continue;  // an empty line, or digits without ':'
    if (!valid) {
      do c = pofGetChar(stream);
      while (c != EOF && !pofLineEnd(c));
      if (c == EOF) return nullptr;
      continue;
    }
    // Text up to the line end, at most the capacity.
    std::size_t len = 0;
    for (c = pofGetChar(stream); c != EOF && !pofLineEnd(c); c = pofGetChar(stream)) {
      if (len < static_cast<std::size_t>(stream->capacity))
        stream->line[len++] = static_cast<char>(c);
    }
    if (c == EOF) return nullptr;  // a last line without its line end is not taken
    stream->line[len] = '\0';
    if (len == 0 || stream->line[0] == '\0') continue;
    stream->length = static_cast<std::uint16_t>(len);
    stream->layer = static_cast<std::int16_t>(number > 32767 ? -1 : number);  // -1: no handler
    if (layer != nullptr) *layer = stream->layer;
    if (number == 0) pofCheckInclude(stream, stream->line);
    return stream->line;
  }
}

int pofStreamStep(PofLineStream* stream) {
  if (stream == nullptr) return 0;
  const char* text = nullptr;
  while ((text = pofStreamReadLine(stream, nullptr)) == nullptr) {
    if (pofPopSource(stream) == 0) return 0;
  }
  PofLayerHandler* first = stream->handlers;
  if (first == nullptr) return 1;
  PofLayerHandler* h = first;
  do {
    if (h->layer == static_cast<std::uint16_t>(stream->layer) && stream->layer >= 0) {
      ++h->calls;
      if (h->handler != nullptr) h->handler(text, h->user);
      break;
    }
    h = h->next;
  } while (h != first);
  return 1;
}

int pofStreamRun(PofLineStream* stream) {
  if (stream == nullptr || stream->line == nullptr || stream->handlers == nullptr) return 0;
  if (pofStreamStart(stream) == 0) return 0;
  while (pofStreamStep(stream) == 1) {
  }
  return 1;
}

void pofStreamClose(PofLineStream* stream) {
  if (stream != nullptr && stream->sources != nullptr) pofSourceCloseFile(stream->sources);
}

void pofStreamFree(PofLineStream* stream) {
  if (stream == nullptr) return;
  while (stream->sources != nullptr) {
    PofSource* s = stream->sources;
    stream->sources = s->next;
    pofSourceFree(s);
  }
  PofLayerHandler* first = stream->handlers;
  if (first != nullptr) {
    PofLayerHandler* h = first->next;
    while (h != first) {
      PofLayerHandler* next = h->next;
      memFree(h);
      h = next;
    }
    memFree(first);
  }
  memFree(stream->line);
  memFree(stream);
}

// ---- moves ------------------------------------------------------------------------------------

void pofBulgeArc(double ax, double ay, double bx, double by, double bulge, Point2D* centre,
                 double* radius, double* angle) {
  const double dx = bx - ax, dy = by - ay;
  const double f = (1 - bulge * bulge) / (4 * bulge);
  // The centre lies off the chord's middle along its left normal (-dy, dx).
  const Point2D c{(ax + bx) / 2 - dy * f, (ay + by) / 2 + dx * f};
  if (centre != nullptr) *centre = c;
  if (radius != nullptr) *radius = std::hypot(ax - c.x, ay - c.y);
  if (angle != nullptr) *angle = 4 * std::atan(bulge);
}

int pofParseMove(const XchgElement* element, Point3D* point, PofMove* move) {
  if (element == nullptr || point == nullptr || move == nullptr) return -1;
  *move = PofMove{};
  if (element->kind != 'o' || element->name == nullptr) return -2;
  const char type = element->name[0];
  if (type != 'M' && type != 'L' && type != 'A') return -2;
  const bool arc = type == 'A';
  Point3D p = *point;
  Point3D centre = *point;
  bool ccw = false;
  bool zRead = false;
  for (const XchgAttr* a = element->attrs; a != nullptr; a = a->next) {
    if (a->key == nullptr || a->key[0] == '\0' || a->value == nullptr) return -1;
    const char key = a->key[0];
    if (key == 'o' && arc) {
      ccw = a->value[0] == '+';
      continue;
    }
    if (key != 'x' && key != 'y' && key != 'z') return -1;
    const char* second = std::strchr(a->value, '/');
    if (second == nullptr) return -1;
    ++second;
    const char* third = std::strchr(second, '/');
    const std::size_t len =
        third != nullptr ? static_cast<std::size_t>(third - second) : std::strlen(second);
    if (len > 0) {
      double v = 0;
      if (!pofNumber(second, len, &v)) return -1;
      pofAxis(p, key) = v;
      move->flags |= key == 'x' ? kFlagX : key == 'y' ? kFlagY : kFlagZ;
      if (key == 'z') zRead = true;
    }
    if (arc && third != nullptr) {
      const char* c = third + 1;
      const char* stop = std::strchr(c, '/');
      const std::size_t clen =
          stop != nullptr ? static_cast<std::size_t>(stop - c) : std::strlen(c);
      double v = 0;
      if (clen > 0) {
        if (!pofNumber(c, clen, &v)) return -1;
        pofAxis(centre, key) = v;
      }
    }
  }
  move->kind = type == 'M' ? 0 : type == 'L' ? 1 : (ccw ? 3 : 2);
  if (arc) {
    move->centre = centre;
    const Point3D& s = *point;
    const bool atCentre = std::fabs(s.x - centre.x) < 1e-5 && std::fabs(s.y - centre.y) < 1e-5;
    const bool closed = std::fabs(s.x - p.x) < 1e-5 && std::fabs(s.y - p.y) < 1e-5;
    if (!atCentre && closed) {
      // back at its start: a full circle, handed over as two half circles
      move->fullCircle = 1;
      move->bulge = ccw ? 1.0 : -1.0;
    } else if (!atCentre) {
      double a =
          std::atan2(p.y - centre.y, p.x - centre.x) - std::atan2(s.y - centre.y, s.x - centre.x);
      while (a > std::numbers::pi) a -= 2 * std::numbers::pi;
      while (a < -std::numbers::pi) a += 2 * std::numbers::pi;
      if (ccw && a < 0) a += 2 * std::numbers::pi;
      if (!ccw && a > 0) a -= 2 * std::numbers::pi;
      move->bulge = std::tan(a / 4);
    }
  }
  *point = p;
  return zRead ? 1 : 0;
}

int ruppParseName(const char** cursor, RuppCallBuffer* name, RuppCallBuffer*) {
  if (cursor == nullptr || *cursor == nullptr || name == nullptr) return kRuppParseFailed;
  name->length = 0;
  bool wordEnded = false;  // a blank after a word: the next character starts a new name
  for (const char* p = *cursor;; ++p) {
    const char c = *p;
    if (c == '\0' || c == ')') {
      ruppEnd(name->text, name->size, name->length);
      *cursor = p;
      return kRuppParseFailed;
    }
    if (c == '(') {
      ruppEnd(name->text, name->size, name->length);
      *cursor = p;
      return name->length > 0 ? kRuppParseArgumentState : kRuppParseFailed;
    }
    if (pofBlank(c)) {
      if (name->length > 0) wordEnded = true;
      continue;
    }
    if (wordEnded) {
      name->length = 0;
      wordEnded = false;
    }
    ruppPut(name->text, name->size, &name->length, c);
  }
}

int ruppParseArgument(const char** cursor, RuppCallBuffer*, RuppCallBuffer* argument) {
  if (cursor == nullptr || *cursor == nullptr || argument == nullptr) return kRuppParseFailed;
  const char* p = *cursor;
  for (; *p != '(' && *p != '\0' && *p != ')'; ++p) {
  }
  if (*p != '(') {
    *cursor = p;
    return kRuppParseFailed;
  }
  argument->length = 0;
  for (++p; *p != '\0' && *p != ')'; ++p)
    ruppPut(argument->text, argument->size, &argument->length, *p);
  ruppEnd(argument->text, argument->size, argument->length);
  *cursor = p;
  return kRuppParseDone;
}

int ruppParseCall(const char* text, char* name, std::size_t nameSize, char* value,
                  std::size_t valueSize) {
  if (name != nullptr && nameSize > 0) name[0] = '\0';
  if (value != nullptr && valueSize > 0) value[0] = '\0';
  if (text == nullptr || name == nullptr || value == nullptr || nameSize == 0 || valueSize == 0) {
    return 0;
  }
  using State = int (*)(const char**, RuppCallBuffer*, RuppCallBuffer*);
  constexpr State kStates[] = {ruppParseName, ruppParseArgument};
  RuppCallBuffer nameBuffer{name, nameSize, 0};
  RuppCallBuffer valueBuffer{value, valueSize, 0};
  const char* cursor = text;
  int state = 0;
  while (state >= 0 && state < static_cast<int>(std::size(kStates))) {
    state = kStates[state](&cursor, &nameBuffer, &valueBuffer);
  }
  return state == kRuppParseDone ? 1 : 0;
}

// ---- read-back --------------------------------------------------------------------------------

void pofReadInstallDefaultHooks(const PofReadHooks* hooks) {
  readSlots.defaults = hooks != nullptr ? *hooks : PofReadHooks{};
  readSlots.defaultsInstalled = hooks != nullptr;
  if (readState.usesDefaults) readState.hooksChosen = false;  // taken again on next use
}

PofReadHooks pofReadDefaultHooks() { return readSlots.defaults; }

void pofReadSetHooks(const PofReadHooks* hooks) {
  if (hooks == nullptr) {
    readState.hooksChosen = false;
    readState.usesDefaults = true;
    return;
  }
  readState.hooks = *hooks;
  readState.hooksChosen = true;
  readState.usesDefaults = false;
}
PofReadHooks pofReadHooks() { return pofHooks(); }

void pofReadInstallErrorReport(PofErrorReportFn report) { readSlots.report = report; }

void pofReadSetPocketHook(void (*hook)(int start)) { pofHooks().pocket = hook; }
void pofReadClearPocketHook() { pofHooks().pocket = nullptr; }
void pofReadSetEndHook(void (*hook)()) { pofHooks().end = hook; }
void pofReadClearEndHook() { pofHooks().end = nullptr; }

void* pofReadMoveTarget() { return &pofMoveTargetTag; }
void* pofReadLayer34Target() { return &pofLayer34TargetTag; }

int pofReadBack(const char* path) {
  pofHooks();
  if (readState.usesDefaults && !readSlots.defaultsInstalled) return kPofReadNoHooks;
  readState.pointState = kPointNone;
  readState.flags31 = readState.flags34 = 0;
  readState.error = 0;  // each read-back answers for its own file: a failed one does not linger
  std::FILE* probe = path != nullptr && path[0] != '\0' ? std::fopen(path, "rb") : nullptr;
  if (probe == nullptr) {
    msgSendText(9, 1701, "* Error: cannot open POF file %s", path != nullptr ? path : "");
    return -1;
  }
  std::fclose(probe);
  PofLineStream* st = pofStreamNew(path, kPofReadLineCapacity);
  if (st == nullptr) {
    std::printf("Failed to create POF layer administration !\n");
    return readState.error != 0 ? -1 : 0;
  }
  static constexpr struct {
    std::uint16_t layer;
    PofLineHandler handler;
  } kHandlers[] = {{0, pofReadLayer0},   {1, pofReadIgnore},  {10, pofReadIgnore},
                   {31, pofReadLayer31}, {32, pofReadIgnore}, {34, pofReadLayer34}};
  for (const auto& h : kHandlers) {
    PofLayerHandler* node = pofHandlerNew(h.layer, h.handler, 0);
    if (node == nullptr) {
      std::printf("Failed to create POF layer #%u !\n", static_cast<unsigned>(h.layer));
      continue;
    }
    pofStreamAddHandler(st, node);
  }
  std::FILE* dxf = nullptr;
  if (pathJoinDirName(readState.dxfPath, sizeof readState.dxfPath, readState.dxfFolder,
                      kPofReadDxfFile) == 1) {
    dxf = std::fopen(readState.dxfPath, "w");
  }
  if (dxf != nullptr) readState.dxfWritten = true;
  static const char* const kDxfHead[] = {"0", "SECTION", "2", "ENTITIES", "0"};
  static const char* const kDxfTail[] = {"ENDSEC", "0", "EOF"};
  pofDxfLines(dxf, kDxfHead, 5);
  pofStreamRun(st);
  pofDxfLines(dxf, kDxfTail, 3);
  if (dxf != nullptr) std::fclose(dxf);
  pofStreamFree(st);
  return readState.error != 0 ? -1 : 0;
}

int pofReadDxfWritten() { return readState.dxfWritten ? 1 : 0; }

const char* pofReadDxfPath() { return readState.dxfPath; }

int pofReadSetDxfFolder(const char* folder) {
  if (folder == nullptr) folder = "";
  const std::size_t n = std::strlen(folder);
  if (n >= sizeof readState.dxfFolder) return 0;
  std::memcpy(readState.dxfFolder, folder, n + 1);
  return 1;
}

void pofReadResetState() { readState = PofReadState{}; }
