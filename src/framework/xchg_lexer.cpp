// xchg_lexer.cpp - header reader and element lexer of the exchange file: a state machine that
// streams one element at a time, so files of any size are read without holding them in memory.
#include "framework/xchg_lexer.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "framework/memory.h"
#include "framework/platform.h"

namespace {

constexpr int kEnd = -1;     // end of file, byte 26, a read error, or the zero ending a text
constexpr int kNoByte = -2;  // no byte pushed back
constexpr std::size_t kHeaderLineMax = 65536;

enum : unsigned char { kClsName = 1, kClsValue = 2, kClsText = 4 };

// Character classes of the grammar, one table lookup per byte.
constexpr std::array<unsigned char, 256> xchgMakeClasses() {
  std::array<unsigned char, 256> t{};
  for (int c = '!'; c <= '~'; ++c) {
    if (c != '[' && c != ']' && c != '`') t[c] |= kClsValue;
    if (c != '(' && c != ')' && c != '`') t[c] |= kClsText;
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    const bool sign =
        c == '#' || c == '$' || c == '%' || c == '&' || c == '-' || c == '@' || c == '_';
    if (letter || digit || sign) t[c] |= kClsName;
  }
  t[' '] |= kClsText;
  t['\t'] |= kClsText;
  return t;
}
constexpr std::array<unsigned char, 256> kClasses = xchgMakeClasses();

bool xchgIsName(int c) { return c >= 0 && (kClasses[c] & kClsName) != 0; }
bool xchgIsValue(int c) { return c >= 0 && (kClasses[c] & kClsValue) != 0; }
bool xchgIsText(int c) { return c >= 0 && (kClasses[c] & kClsText) != 0; }
bool xchgIsWhite(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool xchgIsBlank(int c) { return c == ' ' || c == '\t'; }

struct LexState {
  char* tok = nullptr;  // token buffer, reused from read to read
  std::size_t tokLen = 0;
  std::size_t tokCap = 0;
  XchgElement el{0, nullptr, nullptr, nullptr, nullptr, -1, -1};  // element under construction
  XchgAttr* lastAttr = nullptr;
  XchgLexError lastError{0, 0, 0};
  // Position of the stream read last, kept between reads so that offsets and lines go on.
  std::FILE* posStream = nullptr;
  std::int64_t pos = 0;
  std::int64_t line = 1;
  bool prevCR = false;
  bool trace = true;
};
LexState lexState;

// The byte source of one read: a stream or a text, with the offset and line of what it consumed.
struct LexReader {
  std::FILE* file = nullptr;
  const unsigned char* text = nullptr;
  std::int64_t pos = 0;
  std::int64_t line = 1;
  std::int64_t byteLine = 1;  // line of the byte read last
  bool prevCR = false;
  bool readError = false;
  int pending = kNoByte;  // a byte read but handed back to be read again

  int get() {
    if (pending != kNoByte) {
      const int c = pending;
      pending = kNoByte;
      return c;
    }
    int c;
    if (file != nullptr) {
      c = std::getc(file);
      if (c == EOF) {
        if (std::ferror(file)) readError = true;
        return kEnd;
      }
      if (c == 26) {
        // Byte 26 ends the file for good: leave it in the stream so that later reads end there too.
        std::ungetc(c, file);
        return kEnd;
      }
    } else {
      c = *text;
      if (c == 0 || c == 26) return kEnd;
      ++text;
    }
    byteLine = line;
    ++pos;
    if (c == '\r') {
      ++line;
      prevCR = true;
    } else {
      if (c == '\n' && !prevCR) ++line;
      prevCR = false;
    }
    return c;
  }
};

LexReader lexFileReader(std::FILE* f) {
  LexReader r;
  r.file = f;
  LexState& s = lexState;
  const std::int64_t at = platTell(f);
  if (f != s.posStream) {
    s.posStream = f;
    s.line = 1;
    s.prevCR = false;
    s.pos = at >= 0 ? at : 0;
  } else if (at >= 0) {
    s.pos = at;
  }
  r.pos = s.pos;
  r.line = s.line;
  r.byteLine = s.line;
  r.prevCR = s.prevCR;
  return r;
}

void lexFileReaderDone(const LexReader& r) {
  lexState.pos = r.pos;
  lexState.line = r.line;
  lexState.prevCR = r.prevCR;
}

void lexRecord(int code, std::int64_t offset, std::int64_t line) {
  lexState.lastError = XchgLexError{code, offset, line};
}

bool tokAppend(int c) {
  LexState& s = lexState;
  if (s.tokLen + 1 >= s.tokCap) {
    const std::size_t cap = s.tokCap < 256 ? 256 : s.tokCap * 2;
    auto* grown = static_cast<char*>(memRealloc(s.tok, cap));
    if (grown == nullptr) return false;
    s.tok = grown;
    s.tokCap = cap;
  }
  s.tok[s.tokLen++] = static_cast<char>(c);
  return true;
}

// A copy of the token (empty text when nothing was collected); null when memory fails.
char* tokTake() {
  LexState& s = lexState;
  auto* t = static_cast<char*>(memAllocZero(s.tokLen + 1));
  if (t == nullptr) return nullptr;
  if (s.tokLen > 0) std::memcpy(t, s.tok, s.tokLen);
  s.tokLen = 0;
  return t;
}

void tokTrimTrailingBlanks() {
  LexState& s = lexState;
  while (s.tokLen > 0 && xchgIsBlank(static_cast<unsigned char>(s.tok[s.tokLen - 1]))) --s.tokLen;
}

void elementFreeParts(XchgElement* e) {
  memFree(e->name);
  memFree(e->id);
  XchgAttr* a = e->attrs;
  while (a != nullptr) {
    XchgAttr* next = a->next;
    memFree(a->key);
    memFree(a->value);
    memFree(a);
    a = next;
  }
  *e = XchgElement{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
}

void traceMethodName(const char* name) {
  if (!lexState.trace) return;
  std::FILE* t = std::fopen(kXchgTraceFile, "a");
  if (t == nullptr) return;
  std::fprintf(t, " methode = '%s'\n", name);
  std::fclose(t);
}

// The states of the element lexer.
enum LexStateId : int {
  kSFail = 0,
  kSBetween = 1,
  kSComment = 2,
  kSVarName = 3,
  kSAfterVarName = 4,
  kSVarValue = 5,
  kSObjType = 6,
  kSAfterObjType = 7,
  kSObjId = 8,
  kSAfterObjId = 9,
  kSAttrList = 10,
  kSAttrKey = 11,
  kSAfterKey = 12,
  kSAttrValue = 13,
  kSMethName = 14,
  kSAfterMethName = 15,
  kSMethId = 16,
  kSAfterMethId = 17,
  kSMethText = 18,
  kSLongText = 19,
  kSAccept = 20
};

class Lexer {
 public:
  explicit Lexer(LexReader& r) : r_(r) {}

  // Runs the state machine from state 1. Returns 1 with the element moved to *out, else 0.
  int run(XchgElement* out) {
    LexState& s = lexState;
    elementFreeParts(&s.el);
    s.lastAttr = nullptr;
    s.tokLen = 0;
    int state = kSBetween;
    for (;;) {
      switch (state) {
        case kSBetween: state = between(); break;
        case kSComment: state = comment(); break;
        case kSVarName: state = name(kSAfterVarName, -1, kSVarValue, false); break;
        case kSObjType: state = name(kSAfterObjType, kSObjId, kSAttrList, false); break;
        case kSMethName: state = name(kSAfterMethName, kSMethId, kSMethText, true); break;
        case kSAfterVarName: state = after(kSAfterVarName, -1, kSVarValue); break;
        case kSAfterObjType: state = after(kSAfterObjType, kSObjId, kSAttrList); break;
        case kSAfterObjId: state = after(kSAfterObjId, -1, kSAttrList); break;
        case kSAfterKey: state = after(kSAfterKey, kSAttrValue, -1); break;
        case kSAfterMethName: state = after(kSAfterMethName, kSMethId, kSMethText); break;
        case kSAfterMethId: state = after(kSAfterMethId, -1, kSMethText); break;
        case kSObjId: state = id(kSAfterObjId); break;
        case kSMethId: state = id(kSAfterMethId); break;
        case kSVarValue: state = varValue(); break;
        case kSAttrList: state = attrList(); break;
        case kSAttrKey: state = attrKey(); break;
        case kSAttrValue: state = attrValue(); break;
        case kSMethText: state = methText(); break;
        case kSLongText: state = longText(); break;
        case kSAccept:
          if (r_.readError) lexRecord(kXchgErrRead, r_.pos, r_.line);
          *out = s.el;
          s.el = XchgElement{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
          return 1;
        default:  // kSFail, and the quiet end
          if (r_.readError) lexRecord(kXchgErrRead, r_.pos, r_.line);
          elementFreeParts(&s.el);
          s.tokLen = 0;
          return 0;
      }
    }
  }

 private:
  static constexpr int kQuietEnd = -100;

  // Records an error caused by the byte just read.
  int failByte(int code) {
    lexRecord(code, r_.pos - 1, r_.byteLine);
    return kSFail;
  }
  // Records an error at the current position (end of file, memory).
  int failHere(int code) {
    lexRecord(code, r_.pos, r_.line);
    return kSFail;
  }
  int failAt(int c) { return c == kEnd ? failHere(kXchgErrEnd) : failByte(kXchgErrByte); }

  int toComment(int back) {
    back_ = back;
    return kSComment;
  }

  int between() {
    const int c = r_.get();
    if (c == kEnd) return kQuietEnd;
    if (xchgIsWhite(c)) return kSBetween;
    XchgElement& e = lexState.el;
    switch (c) {
      case ';': return toComment(kSBetween);
      case 'v': e.kind = 'v'; return kSVarName;
      case 'o': e.kind = 'o'; return kSObjType;
      case 'm': e.kind = 'm'; return kSMethName;
      case '{':
      case '}': e.kind = static_cast<std::int16_t>(c); return kSAccept;
      default: return failByte(kXchgErrByte);
    }
  }

  int comment() {
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return back_ == kSBetween ? kQuietEnd : failHere(kXchgErrEnd);
      if (c == '\r' || c == '\n') return back_;
    }
  }

  // Name of a variable, object type or method; bracket < 0: '[' is not allowed after it.
  int name(int afterState, int bracket, int paren, bool isMethod) {
    LexState& s = lexState;
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (s.tokLen == 0 && xchgIsWhite(c)) continue;
      if (xchgIsName(c)) {
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        continue;
      }
      if (s.tokLen == 0) return failByte(c == ';' ? kXchgErrName : kXchgErrByte);
      int next;
      if (xchgIsWhite(c)) {
        next = afterState;
      } else if (c == ';') {
        next = toComment(afterState);
      } else if (c == '(') {
        next = paren;
      } else if (c == '[' && bracket >= 0) {
        next = bracket;
      } else {
        return failByte(kXchgErrByte);
      }
      s.el.name = tokTake();
      if (s.el.name == nullptr) return failHere(kXchgErrMemory);
      if (isMethod && (xchgIsWhite(c) || c == ';')) traceMethodName(s.el.name);
      return next;
    }
  }

  // Between the parts of an element: white space and comments, then '[' or '('.
  int after(int self, int bracket, int paren) {
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (xchgIsWhite(c)) continue;
      if (c == ';') return toComment(self);
      if (c == '[' && bracket >= 0) return bracket;
      if (c == '(' && paren >= 0) return paren;
      return failByte(kXchgErrByte);
    }
  }

  // Object or method id: blanks and tabs dropped wherever they stand.
  int id(int next) {
    LexState& s = lexState;
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (xchgIsBlank(c)) continue;
      if (xchgIsName(c)) {
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        continue;
      }
      if (c != ']' && c != '\r' && c != '\n') return failByte(kXchgErrByte);
      if (s.tokLen > 0) {
        s.el.id = tokTake();
        if (s.el.id == nullptr) return failHere(kXchgErrMemory);
      }
      return next;
    }
  }

  int varValue() {
    LexState& s = lexState;
    bool started = false;
    for (;;) {
      int c = r_.get();
      if (c == kEnd) {
        if (!started) return failHere(kXchgErrEnd);
        break;
      }
      if (!started && xchgIsWhite(c)) continue;
      if (c == ')') {
        if (started) break;
        continue;  // a value is never empty: what follows '()' is the value
      }
      if (c == '\r' || c == '\n') break;  // started here: white space was skipped before
      if (c == '\\') {
        c = r_.get();
        if (c == kEnd) {
          if (!started) return failHere(kXchgErrEnd);
          break;
        }
        // A zero byte, escaped as itself or as digits, would cut the value short.
        if (c == 0) return failByte(kXchgErrByte);
        if (c >= '0' && c <= '9') {
          int value = c - '0';
          for (int n = 1; n < 3; ++n) {
            const int d = r_.get();
            if (d == kEnd) break;
            if (d < '0' || d > '9') {
              r_.pending = d;  // the non-digit is read as usual
              break;
            }
            value = value * 10 + (d - '0');
          }
          // There is no byte above 255.
          if (value == 0 || value > 255) return failByte(kXchgErrByte);
          c = value;
        }
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        started = true;
        continue;
      }
      if (xchgIsValue(c) || xchgIsBlank(c)) {
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        started = true;
        continue;
      }
      return failByte(kXchgErrByte);
    }
    tokTrimTrailingBlanks();
    if (s.tokLen > 0 && s.tok[0] == ' ') {
      std::memmove(s.tok, s.tok + 1, s.tokLen - 1);
      --s.tokLen;
    }
    s.el.id = tokTake();
    if (s.el.id == nullptr) return failHere(kXchgErrMemory);
    return kSAccept;
  }

  int attrList() {
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (xchgIsWhite(c)) continue;
      if (c == ')') return kSAccept;
      if (c == ';') return toComment(kSAttrList);
      // Any other byte begins a key; a zero byte cannot stand in a text.
      if (c == '(' || c == '[' || c == ']' || c == 0) return failByte(kXchgErrByte);
      if (!tokAppend(c)) return failHere(kXchgErrMemory);
      return kSAttrKey;
    }
  }

  bool appendAttr(char* key, char* value) {
    LexState& s = lexState;
    auto* a = static_cast<XchgAttr*>(memAllocZero(sizeof(XchgAttr)));
    if (a == nullptr) {
      memFree(key);
      memFree(value);
      return false;
    }
    a->key = key;
    a->value = value;
    if (s.lastAttr == nullptr) {
      s.el.attrs = a;
    } else {
      s.lastAttr->next = a;
    }
    s.lastAttr = a;
    return true;
  }

  int attrKey() {
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (xchgIsName(c)) {
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        continue;
      }
      if (c == ';') return failByte(kXchgErrName);
      if (!xchgIsWhite(c) && c != '[') return failByte(kXchgErrByte);
      char* key = tokTake();
      if (key == nullptr || !appendAttr(key, nullptr)) return failHere(kXchgErrMemory);
      return xchgIsWhite(c) ? kSAfterKey : kSAttrValue;
    }
  }

  int attrValue() {
    LexState& s = lexState;
    XchgAttr* a = s.lastAttr;
    const bool keepBlanks = std::strcmp(a->key, "t") == 0;
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) return failHere(kXchgErrEnd);
      if (c == ']') break;
      if (c == '\r' || c == '\n') {
        if (keepBlanks || s.tokLen > 0) break;
        continue;
      }
      if (xchgIsBlank(c) && !keepBlanks && s.tokLen == 0) continue;
      if (xchgIsValue(c) || xchgIsBlank(c)) {
        if (!tokAppend(c)) return failHere(kXchgErrMemory);
        continue;
      }
      return failByte(kXchgErrByte);
    }
    if (!keepBlanks) tokTrimTrailingBlanks();
    if (keepBlanks || s.tokLen > 0) {
      a->value = tokTake();
      if (a->value == nullptr) return failHere(kXchgErrMemory);
    }
    return kSAttrList;
  }

  int methText() {
    LexState& s = lexState;
    std::int64_t start = -1;
    if (r_.file != nullptr) start = platTell(r_.file);
    for (;;) {
      const int c = r_.get();
      if (c == kEnd) {
        if (s.tokLen == 0) return failHere(kXchgErrEnd);
        break;
      }
      if (c == '\r') continue;
      if (c == ')') {
        if (s.tokLen > 0) break;
        continue;
      }
      if (c != '\n' && !xchgIsText(c)) return failByte(kXchgErrByte);
      if (start >= 0 && s.tokLen >= static_cast<std::size_t>(kXchgLongMethodChars)) {
        // Too long to hold: the handler reads it from the file between the two offsets.
        s.tokLen = 0;
        s.el.stream = r_.file;
        s.el.textStart = start;
        return kSLongText;
      }
      if (!tokAppend(c)) return failHere(kXchgErrMemory);
    }
    char* text = tokTake();
    if (text == nullptr || !appendAttr(nullptr, text)) return failHere(kXchgErrMemory);
    return kSAccept;
  }

  int longText() {
    LexState& s = lexState;
    for (;;) {
      const int c = r_.get();
      if (c == kEnd || c == ')') {
        s.el.textEnd = platTell(r_.file);
        return kSAccept;
      }
      if (c == '\r' || c == '\n' || xchgIsText(c)) continue;
      return failByte(kXchgErrByte);
    }
  }

  LexReader& r_;
  int back_ = kSBetween;
};

// One header line: leading blanks, tabs and line ends skipped, then everything up to CR or LF.
// Returns 1 ended by a line end, 2 ended by the end of the file, 0 end of file before any
// character, -1 no memory or the line is too long.
int hdrReadLine(LexReader& r, std::string_view* line) {
  LexState& s = lexState;
  s.tokLen = 0;
  int c;
  do {
    c = r.get();
    if (c == kEnd) return 0;
  } while (xchgIsWhite(c));
  for (;;) {
    if (s.tokLen >= kHeaderLineMax || !tokAppend(c)) return -1;
    c = r.get();
    if (c == kEnd || c == '\r' || c == '\n') break;
  }
  *line = std::string_view(s.tok, s.tokLen);
  return c == kEnd ? 2 : 1;
}

std::string_view hdrTrim(std::string_view t) {
  while (!t.empty() && xchgIsBlank(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
  return t;
}

char* hdrCopy(std::string_view t) {
  auto* c = static_cast<char*>(memAllocZero(t.size() + 1));
  if (c != nullptr && !t.empty()) std::memcpy(c, t.data(), t.size());
  return c;
}

// Reads "%d" at *p as the C library does (leading white space, sign, digits), saturating to the
// u16 range: a negative or too large version number is refused by the range check afterwards.
bool hdrReadNumber(const char** p, const char* end, std::uint16_t* out) {
  const char* q = *p;
  while (q < end && (*q == ' ' || (*q >= '\t' && *q <= '\r'))) ++q;
  bool negative = false;
  if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
  if (q >= end || *q < '0' || *q > '9') return false;
  unsigned long v = 0;
  while (q < end && *q >= '0' && *q <= '9') {
    v = v * 10 + static_cast<unsigned long>(*q - '0');
    if (v > 65535) v = 65536;
    ++q;
  }
  *out = (negative && v != 0) || v > 65535 ? 65535 : static_cast<std::uint16_t>(v);
  *p = q;
  return true;
}

int hdrRead(LexReader& r, XchgHeader* h) {
  static constexpr std::string_view kPrefix = "qDX-Version:";
  std::string_view line;
  if (hdrReadLine(r, &line) <= 0) return 0;
  if (hdrTrim(line) != std::string_view(xchgBanner)) return 0;
  if (hdrReadLine(r, &line) <= 0) return 0;
  if (line.substr(0, kPrefix.size()) != kPrefix) return 0;
  const char* p = line.data() + kPrefix.size();
  const char* end = line.data() + line.size();
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  if (hdrReadNumber(&p, end, &major) && p < end && *p == '.') {
    ++p;
    hdrReadNumber(&p, end, &minor);
  }
  h->major = major;
  h->minor = minor;
  const int kindEnd = hdrReadLine(r, &line);
  if (kindEnd <= 0) return 0;
  h->kind = hdrCopy(hdrTrim(line));
  if (h->kind == nullptr || kindEnd != 1) return 0;
  const int creatorEnd = hdrReadLine(r, &line);
  if (creatorEnd < 0) return 0;
  if (creatorEnd > 0) {
    h->creator = hdrCopy(hdrTrim(line));
    if (h->creator == nullptr) return 0;
  }
  return major == 0 || (major == 1 && minor == 0) ? 1 : 0;
}

}  // namespace

int xchgReadHeader(std::FILE* stream, XchgHeader* header) {
  if (stream == nullptr || header == nullptr) return 0;
  header->major = 0;
  header->minor = 0;
  lexState.lastError = XchgLexError{0, 0, 0};
  lexState.posStream = nullptr;  // a new file: its lines count from 1
  LexReader r = lexFileReader(stream);
  const int accepted = hdrRead(r, header);
  lexState.tokLen = 0;
  lexFileReaderDone(r);
  return accepted;
}

void xchgHeaderFree(XchgHeader* header) {
  if (header == nullptr) return;
  memFree(header->kind);
  memFree(header->creator);
  *header = XchgHeader{nullptr, 0, 0, nullptr};
}

int xchgLexElement(std::FILE* stream, XchgElement* element) {
  if (stream == nullptr || element == nullptr) return 0;
  LexReader r = lexFileReader(stream);
  Lexer lexer(r);
  const int got = lexer.run(element);
  lexFileReaderDone(r);
  return got;
}

int xchgLexFromText(const char** cursor, XchgElement* element) {
  if (cursor == nullptr || *cursor == nullptr || element == nullptr) return 0;
  LexReader r;
  r.text = reinterpret_cast<const unsigned char*>(*cursor);
  Lexer lexer(r);
  const int got = lexer.run(element);
  *cursor = reinterpret_cast<const char*>(r.text);
  return got;
}

void xchgElementClear(XchgElement* element) {
  if (element != nullptr) elementFreeParts(element);
}

void xchgLexLastError(XchgLexError* out) {
  if (out != nullptr) *out = lexState.lastError;
}

void xchgLexErrorClear() { lexState.lastError = XchgLexError{0, 0, 0}; }

int xchgLexSetTrace(int on) {
  const int was = lexState.trace ? 1 : 0;
  lexState.trace = on != 0;
  return was;
}

void xchgLexResetState() {
  elementFreeParts(&lexState.el);
  memFree(lexState.tok);
  lexState = LexState{};
}
