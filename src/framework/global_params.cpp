// global_params.cpp - the global parameter block and its keyword table: reading and writing
// configuration files, taking values from a parameter list, and scaling lengths to a new unit.
// The table and the block are built from one row list, so a key can never lose its field.
#include "framework/global_params.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/messages.h"
#include "framework/platform.h"

namespace {

// Number of keyword rows, counted from the row list.
#define PAR_S(...) +1
#define PAR_D(...) +1
#define PAR_L(...) +1
#define PAR_V(...) +1
#define PAR_W(...) +1
#define PAR_R(...) +1
constexpr int kParRows = 0
#include "framework/param_keywords.inc"
    ;
#undef PAR_S
#undef PAR_D
#undef PAR_L
#undef PAR_V
#undef PAR_W
#undef PAR_R

// Per row: the write flag at load (parCfgWriteAll changes the table's), and whether the row
// holds a length that parScaleUnits multiplies.
#define PAR_S(key, field, write, len, ...) {write, len},
#define PAR_D(key, field, write, len, ...) {write, len},
#define PAR_L(key, field, write, len, ...) {write, len},
#define PAR_V(key, field, write, len, ...) {write, len},
#define PAR_W(key, field, write, len, ...) {write, len},
#define PAR_R(key, field, write, len, ...) {write, len},
struct ParRowTraits {
  std::int16_t writeFlag;
  bool length;
};
constexpr ParRowTraits kParTraits[kParRows] = {
#include "framework/param_keywords.inc"
};
#undef PAR_S
#undef PAR_D
#undef PAR_L
#undef PAR_V
#undef PAR_W
#undef PAR_R

// "*PRECISION" is never coarser than this after unit scaling; also the bound before any scaling.
constexpr double kParPrecisionCap = 0.01;
// "*GRID_FACTOR" is raised to this before scaling.
constexpr double kParGridFactorMin = 0.01;
// Characters of a configuration line that are read; the rest of a longer line is discarded.
constexpr int kParLineMax = 256;

struct ParState {
  GlobalParams block;
  ParamKeyword table[kParRows + 1];
  double unscaledPrecision;
  double precisionBound;
  bool fixedTime;
  std::time_t time;
};

// The rows point into the block of the same state record.
#define PAR_S(key, field, write, len, def) \
  {key, kParTypeShort, write, kParReadNumber, &gPar.block.field},
#define PAR_D(key, field, write, len, def) \
  {key, kParTypeDouble, write, kParReadNumber, &gPar.block.field},
#define PAR_L(key, field, write, len, def) \
  {key, kParTypeLong, write, kParReadNumber, &gPar.block.field},
#define PAR_V(key, field, write, len, x, y, z) \
  {key, kParTypePoint, write, kParReadPoint, gPar.block.field},
#define PAR_W(key, field, write, len, def) \
  {key, kParTypeText, write, kParReadWord, gPar.block.field},
#define PAR_R(key, field, write, len, def) \
  {key, kParTypeText, write, kParReadRest, gPar.block.field},
ParState gPar = {
    GlobalParams{},
    {
#include "framework/param_keywords.inc"
        {nullptr, 0, 0, 0, nullptr},
    },
    kParPrecisionCap,
    kParPrecisionCap,
    false,
    0,
};
#undef PAR_S
#undef PAR_D
#undef PAR_L
#undef PAR_V
#undef PAR_W
#undef PAR_R

// Numbers are read as in the "C" locale whatever locale the host set. Null only when the C
// library cannot make the locale object; the reader then falls back to strtod.
locale_t parCLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

bool parIsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

const char* parSkipBlanks(const char* s) {
  while (parIsBlank(*s)) ++s;
  return s;
}

char parUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Keys match without regard to case (ASCII only: keys are upper case letters, digits, '_', '*').
bool parKeyEquals(const char* key, const char* text, std::size_t textLen) {
  std::size_t i = 0;
  for (; i < textLen; ++i) {
    if (key[i] == '\0' || parUpper(key[i]) != parUpper(text[i])) return false;
  }
  return key[i] == '\0';
}

ParamKeyword* parFindRow(const char* text, std::size_t len) {
  for (ParamKeyword* row = gPar.table; row->key != nullptr; ++row) {
    if (parKeyEquals(row->key, text, len)) return row;
  }
  return nullptr;
}

// Reads one number at s as "%lf" would; *ok false (and 0) when there is none.
double parReadNumber(const char* s, const char** end, bool* ok) {
  char* stop = nullptr;
  locale_t loc = parCLocale();
  double v =
      loc != static_cast<locale_t>(nullptr) ? strtod_l(s, &stop, loc) : std::strtod(s, &stop);
  *ok = stop != s;
  if (end != nullptr) *end = *ok ? stop : s;
  return *ok ? v : 0.0;
}

// The first word of s as [begin, begin + *len).
const char* parFirstWord(const char* s, std::size_t* len) {
  const char* b = parSkipBlanks(s);
  const char* e = b;
  while (*e != '\0' && !parIsBlank(*e)) ++e;
  *len = static_cast<std::size_t>(e - b);
  return b;
}

// Integer fields take the number truncated toward zero; values beyond the field's range stop
// at its limit and a value that is not a number gives 0, so no text can make the conversion
// undefined.
template <typename T>
T parTruncate(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (v <= lo) return std::numeric_limits<T>::min();
  if (v >= hi) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

// Copies len characters of text into a text field, cut to the field's size.
void parStoreText(char* field, const char* text, std::size_t len) {
  if (len > static_cast<std::size_t>(kParTextSize - 1)) len = kParTextSize - 1;
  std::memmove(field, text, len);
  field[len] = '\0';
}

// Reads rest (the text after the key) by the row's reading kind and stores it by its type.
void parStoreValue(const ParamKeyword* row, const char* rest) {
  if (row->type < kParTypeShort || row->type > kParTypePoint) {
    std::fputs("Wrong Token Type\n", stdout);
    return;
  }
  double num[3] = {0.0, 0.0, 0.0};
  const char* text = "";
  std::size_t textLen = 0;
  switch (row->readKind) {
    case kParReadNumber:
    case kParReadWord: {
      text = parFirstWord(rest, &textLen);
      if (row->readKind == kParReadNumber && textLen > 0) {
        // The number is read from the word alone, as a scan of the second word would.
        char word[kParLineMax + 1];
        const std::size_t n = textLen < sizeof(word) - 1 ? textLen : sizeof(word) - 1;
        std::memcpy(word, text, n);
        word[n] = '\0';
        bool ok = false;
        num[0] = parReadNumber(word, nullptr, &ok);
      }
      break;
    }
    case kParReadRest:
      text = parSkipBlanks(rest);
      textLen = std::strlen(text);
      break;
    case kParReadPoint: {
      // "%lf %lf %lf": numbers in turn until one is missing; the missing ones are 0.
      const char* s = rest;
      for (double& v : num) {
        bool ok = false;
        v = parReadNumber(s, &s, &ok);
        if (!ok) break;
      }
      break;
    }
    default: break;
  }
  switch (row->type) {
    case kParTypeShort:
      *static_cast<std::int16_t*>(row->target) = parTruncate<std::int16_t>(num[0]);
      break;
    case kParTypeDouble: *static_cast<double*>(row->target) = num[0]; break;
    case kParTypeLong:
      *static_cast<std::int32_t*>(row->target) = parTruncate<std::int32_t>(num[0]);
      break;
    case kParTypePoint: std::memcpy(row->target, num, sizeof(num)); break;
    case kParTypeText: parStoreText(static_cast<char*>(row->target), text, textLen); break;
    default: break;
  }
}

// Handles one configuration line (already cut at its line end): drops the comment, finds the
// key and stores the value. Lines without a known key change nothing.
void parReadLine(char* line) {
  line[std::strcspn(line, "\r\n#")] = '\0';
  std::size_t keyLen = 0;
  const char* key = parFirstWord(line, &keyLen);
  if (keyLen == 0) return;
  const ParamKeyword* row = parFindRow(key, keyLen);
  if (row == nullptr) return;
  parStoreValue(row, key + keyLen);
}

// Reads one line of at most kParLineMax characters into buf (kParLineMax + 1 bytes); the rest of
// a longer line is read and discarded. Returns false at the end of the file with nothing read.
bool parReadFileLine(std::FILE* f, char* buf) {
  std::size_t n = 0;
  int c = std::getc(f);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (n < static_cast<std::size_t>(kParLineMax)) buf[n++] = static_cast<char>(c);
    c = std::getc(f);
  }
  buf[n] = '\0';
  return true;
}

// A line of the written file, built in a fixed buffer (the longest line is far shorter).
struct ParLine {
  char buf[1024];
  std::size_t n = 0;
  void add(const char* s, std::size_t len) {
    if (len > sizeof(buf) - 1 - n) len = sizeof(buf) - 1 - n;
    std::memcpy(buf + n, s, len);
    n += len;
    buf[n] = '\0';
  }
  void add(const char* s) { add(s, std::strlen(s)); }
  void padTo(std::size_t width) {
    while (n < width && n < sizeof(buf) - 1) buf[n++] = ' ';
    buf[n] = '\0';
  }
};

// "%lg" in the "C" locale: six significant digits, shortest of fixed and exponent form.
void parAddDouble(ParLine* line, double v) {
  char tmp[64];
  auto r = std::to_chars(tmp, tmp + sizeof(tmp), v, std::chars_format::general, 6);
  line->add(tmp, static_cast<std::size_t>(r.ptr - tmp));
}

void parAddInt(ParLine* line, long v) {
  char tmp[32];
  auto r = std::to_chars(tmp, tmp + sizeof(tmp), v);
  line->add(tmp, static_cast<std::size_t>(r.ptr - tmp));
}

// The local time in the fixed ctime text form "Wed Jun 30 21:49:08 1993\n" (English names
// whatever the locale).
void parTimeText(std::time_t t, char* out, std::size_t size) {
  if (platLocalTimeText(out, size, "%a %b %e %H:%M:%S %Y\n", static_cast<std::int64_t>(t)) != 1) {
    std::snprintf(out, size, "???\n");
  }
}

// Writes one row: "# " first for a comment row; the key padded to 20 and the value padded to 15,
// each with at least one blank after it; a rest-of-line text follows its key after one blank.
void parWriteRow(std::FILE* f, const ParamKeyword* row) {
  ParLine line;
  if (row->writeFlag == 0) line.add("# ");
  const std::size_t keyStart = line.n;
  line.add(row->key);
  line.add(" ");
  if (row->type == kParTypeText && row->readKind == kParReadRest) {
    line.add(static_cast<const char*>(row->target));
  } else {
    line.padTo(keyStart + 20);
    const std::size_t valueStart = line.n;
    switch (row->type) {
      case kParTypeShort: parAddInt(&line, *static_cast<const std::int16_t*>(row->target)); break;
      case kParTypeDouble: parAddDouble(&line, *static_cast<const double*>(row->target)); break;
      case kParTypeLong: parAddInt(&line, *static_cast<const std::int32_t*>(row->target)); break;
      case kParTypePoint: {
        const auto* p = static_cast<const double*>(row->target);
        parAddDouble(&line, p[0]);
        line.add(" ");
        parAddDouble(&line, p[1]);
        line.add(" ");
        parAddDouble(&line, p[2]);
        break;
      }
      case kParTypeText: line.add(static_cast<const char*>(row->target)); break;
      default: break;
    }
    line.add(" ");
    line.padTo(valueStart + 15);
  }
  line.add("\n");
  std::fputs(line.buf, f);
}

// Once the configuration is read, messages are filtered by its "*REPORT_CLASS".
void parApplyMessageLevel() { out3dSetMsgLevel(gPar.block.report, gPar.block.reportClass); }

}  // namespace

int parCfgRead(const char* path) {
  if (path == nullptr) return 0;
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  char line[kParLineMax + 1];
  while (parReadFileLine(f, line)) parReadLine(line);
  std::fclose(f);
  parApplyMessageLevel();
  return 1;
}

int parSetFromList(const ParamNode* list) {
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->value == nullptr) continue;
    const ParamKeyword* row = parFindRow(n->name, std::strlen(n->name));
    if (row != nullptr) parStoreValue(row, n->value);
  }
  parApplyMessageLevel();
  return 1;
}

int parCfgWrite(const char* path) {
  if (path == nullptr) return 0;
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return 0;
  static const char kDashes[] =
      "#-------------------------------------------------------------------------\n";
  char timeText[64];
  parTimeText(gPar.fixedTime ? gPar.time : platNowSeconds(), timeText, sizeof(timeText));
  std::fputs(kDashes, f);
  std::fputs("# Ravenstep - ", f);
  std::fputs(timeText, f);
  std::fputs(kDashes, f);
  for (const ParamKeyword* row = gPar.table; row->key != nullptr; ++row) parWriteRow(f, row);
  // A file that could not be written in full is a failure, not a shorter file.
  const bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) return 0;
  return 1;
}

int parCfgWriteAll(const char* path) {
  for (ParamKeyword* row = gPar.table; row->key != nullptr; ++row) row->writeFlag = 1;
  return parCfgWrite(path);
}

void parScaleUnits(double factor) {
  GlobalParams& b = gPar.block;
  gPar.unscaledPrecision = b.precision;
  if (b.gridFactor < kParGridFactorMin) b.gridFactor = kParGridFactorMin;
  for (int i = 0; i < kParRows; ++i) {
    if (!kParTraits[i].length) continue;
    const ParamKeyword& row = gPar.table[i];
    if (row.type == kParTypeDouble) {
      *static_cast<double*>(row.target) *= factor;
    } else if (row.type == kParTypePoint) {
      auto* p = static_cast<double*>(row.target);
      p[0] *= factor;
      p[1] *= factor;
      p[2] *= factor;
    }
  }
  if (b.precision > kParPrecisionCap) b.precision = kParPrecisionCap;
  gPar.precisionBound = b.precision;
}

double parCollTolerance() {
  return gPar.block.collTolerance < gPar.precisionBound ? gPar.block.collTolerance
                                                        : gPar.precisionBound;
}

double parUnscaledPrecision() { return gPar.unscaledPrecision; }

int parSkipLastPlane() { return gPar.block.skipLastPlane; }

int parFinishPass() { return gPar.block.finishPass; }

GlobalParams* parGlobalBlock() { return &gPar.block; }

const ParamKeyword* parKeywordTable() { return gPar.table; }

void parTestSetTime(const std::time_t* t) {
  gPar.fixedTime = t != nullptr;
  gPar.time = t != nullptr ? *t : 0;
}

void parRunReset() {
  gPar.block = GlobalParams{};
  for (int i = 0; i < kParRows; ++i) gPar.table[i].writeFlag = kParTraits[i].writeFlag;
  gPar.unscaledPrecision = kParPrecisionCap;
  gPar.precisionBound = kParPrecisionCap;
}

void parResetState() {
  parRunReset();
  gPar.fixedTime = false;
  gPar.time = 0;
}
