// param_file.cpp - the parameter file lexer, the loader that fills a parameter list from a file,
// and the reader of language-sectioned text files.
//
// A parameter file holds lines `name := value`. Names and values are bare words or quoted texts;
// a quoted value knows the escapes \b \n \r \t; a value followed by a blank and '>' goes on with
// the next line (joined without separator); ';' starts a comment. Reading stops at the first line
// that yields no entry.
#include "framework/param_file.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/platform.h"

namespace {
constexpr int kEndOfInput = -1;
constexpr char kStdinPath[] = "| stdin";

// States of the entry lexer.
enum ParState : int {
  kParStart = 0,
  kParBareName = 1,
  kParQuotedName = 2,
  kParAfterName = 3,
  kParAfterColon = 4,
  kParBeforeValue = 5,
  kParBareValue = 6,
  kParQuotedValue = 7,
  kParAfterValue = 8,
  kParComment = 9,
  kParContinuation = 10,
  kParEndOfLine = 11,
  kParSkip = 12,
  kParDone = -1,
};

bool parIsBlank(int c) { return c == ' ' || c == '\t'; }
bool parIsLineEnd(int c) { return c == '\r' || c == '\n'; }

struct ParLexer {
  std::FILE* stream = nullptr;
  std::string name;
  std::string value;
  bool continuation = false;
  int last = 0;  // the last character read

  // The next character; the end of the stream and character 26 are the end of input.
  int next() {
    int c = std::getc(stream);
    if (c == 26) std::ungetc(c, stream);  // stays the end of input for the next entry too
    if (c == EOF || c == 26) c = kEndOfInput;
    last = c;
    return c;
  }
  int nextNonBlank() {
    int c = next();
    while (parIsBlank(c)) c = next();
    return c;
  }
  int lineEndState() const { return continuation ? kParContinuation : kParEndOfLine; }
};

char parEscape(int c) {
  switch (c) {
    case 'b': return '\b';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return static_cast<char>(c);
  }
}

// One step of the lexer: reads what the state reads and returns the next state.
int parStep(ParLexer& lx, int state) {
  int c = 0;
  switch (state) {
    case kParStart:
      c = lx.next();
      while (parIsBlank(c) || parIsLineEnd(c)) c = lx.next();
      if (c == kEndOfInput) return kParSkip;
      if (c == '"') return kParQuotedName;
      if (c == ';') return kParComment;
      lx.name += static_cast<char>(c);
      return kParBareName;
    case kParBareName:
      for (;;) {
        c = lx.next();
        if (parIsBlank(c)) return kParAfterName;
        if (c == ':') return kParAfterColon;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
        lx.name += static_cast<char>(c);
      }
    case kParQuotedName:
      for (;;) {
        c = lx.next();
        if (c == '"') return kParAfterName;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
        lx.name += static_cast<char>(c);
      }
    case kParAfterName: return lx.nextNonBlank() == ':' ? kParAfterColon : kParSkip;
    case kParAfterColon: return lx.next() == '=' ? kParBeforeValue : kParSkip;
    case kParBeforeValue:
      c = lx.nextNonBlank();
      if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
      if (c == '"') return kParQuotedValue;
      lx.value += static_cast<char>(c);
      return kParBareValue;
    case kParBareValue:
      for (;;) {
        c = lx.next();
        if (parIsBlank(c) || c == ';' || c == '>') return kParAfterValue;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParEndOfLine;
        lx.value += static_cast<char>(c);
      }
    case kParQuotedValue:
      for (;;) {
        c = lx.next();
        if (parIsLineEnd(c) || c == kEndOfInput) return kParEndOfLine;
        if (c == '\\') {
          c = lx.next();
          if (c == kEndOfInput) return kParEndOfLine;
          if (parIsLineEnd(c)) return lx.lineEndState();
          lx.value += parEscape(c);
        } else if (c == '"') {
          c = lx.next();  // the character after the closing quote is consumed
          if (c == kEndOfInput || parIsLineEnd(c)) return lx.lineEndState();
          return kParAfterValue;
        } else {
          lx.value += static_cast<char>(c);
        }
      }
    case kParAfterValue:
      for (;;) {
        c = lx.nextNonBlank();
        if (c == '>') {
          lx.continuation = true;
          continue;
        }
        if (c == ';') return kParComment;
        if (parIsLineEnd(c)) return lx.lineEndState();
        if (c == kEndOfInput) return kParEndOfLine;
        return kParSkip;
      }
    case kParComment: do { c = lx.next();
      } while (!parIsLineEnd(c) && c != kEndOfInput);
      return c == kEndOfInput ? kParEndOfLine : lx.lineEndState();
    case kParContinuation:
      lx.continuation = false;
      c = lx.next();
      while (parIsBlank(c) || parIsLineEnd(c)) c = lx.next();
      if (c == kEndOfInput) return kParEndOfLine;
      if (c == '"') return kParQuotedValue;
      lx.value += static_cast<char>(c);
      return kParBareValue;
    case kParEndOfLine:
      // A comment line or blank line: go on with the next line. A line whose quoted value was
      // empty ends up here too; its name is dropped so that it does not run into the next name.
      if (parIsLineEnd(lx.last) && lx.value.empty()) {
        lx.name.clear();
        return kParStart;
      }
      return kParDone;
    case kParSkip:
    default:
      while (!parIsLineEnd(lx.last) && lx.last != kEndOfInput) lx.next();
      return kParDone;
  }
}

// The open table of language files: at most four at once, a handle is the slot plus 123.
constexpr int kLangFileSlots = 4;
constexpr int kLangHandleBase = 123;
constexpr std::size_t kLangEntryMax = 259;

struct LangState {
  std::FILE* open[kLangFileSlots] = {};
};
LangState langState;

int langFileOpen(const char* path) {
  for (int i = 0; i < kLangFileSlots; ++i) {
    if (langState.open[i] == nullptr) {
      std::FILE* f = parFileOpen(path);
      if (f == nullptr) return -1;
      langState.open[i] = f;
      return i + kLangHandleBase;
    }
  }
  return -1;
}

void langFileClose(int handle) {
  const int slot = handle - kLangHandleBase;
  if (slot < 0 || slot >= kLangFileSlots) return;
  parFileClose(langState.open[slot]);
  langState.open[slot] = nullptr;
}

// Reads one line without its line end; false at the end of the file with nothing read.
bool langReadLine(std::FILE* f, std::string& line) {
  line.clear();
  int c = std::getc(f);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (c != '\r') line += static_cast<char>(c);
    c = std::getc(f);
  }
  return true;
}

// Splits off the next word of line from pos (blanks skipped; a word ends at a blank or ';').
std::string langWord(const std::string& line, std::size_t& pos) {
  while (pos < line.size() && parIsBlank(line[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < line.size() && !parIsBlank(line[pos]) && line[pos] != ';') ++pos;
  return line.substr(start, pos - start);
}

// Reads the entries of the section found; returns their number. Only a line whose very first
// character is ':' is an entry and only a line that begins with "end" closes the section; an
// indented line is neither and is skipped.
int langReadEntries(std::FILE* f, LangEntryFn each, void* user) {
  int entries = 0;
  std::string line;
  while (langReadLine(f, line)) {
    if (!line.empty() && line[0] == ':') {
      const std::string text = line.substr(1, kLangEntryMax);
      if (each != nullptr) each(text.c_str(), user);
      ++entries;
    } else if (line.compare(0, 3, "end") == 0) {
      break;
    }
  }
  return entries;
}

// Scans the header lines for the section of language. True when it was found.
bool langFindSection(std::FILE* f, const char* language) {
  std::string current;
  std::string line;
  while (langReadLine(f, line)) {
    std::size_t pos = 0;
    const std::string word = langWord(line, pos);
    if (word.empty() || word.find_first_not_of("adefglnrstu") != std::string::npos) continue;
    const std::string name = langWord(line, pos);
    if (word == "default") {
      if (current.empty()) current = name;
    } else if (word == "language") {
      if (name == language) current = name;
    } else if (word == "start") {
      if (current.empty() || name == current) return true;
    } else if (word != "end") {
      return false;
    }
  }
  return false;
}
}  // namespace

std::FILE* parFileOpen(const char* path) {
  if (path == nullptr) return nullptr;
  if (std::strcmp(path, kStdinPath) == 0) return stdin;
  std::string full;
  if (path[0] == '~') {
    const char* home = platHomeDir();
    if (home == nullptr) return nullptr;
    full = std::string(home) + (path + 1);
  } else {
    full = path;
  }
  if (full.empty() || full.size() > kParPathMax) return nullptr;
  if (platPathKind(full.c_str()) == kPlatOtherFile) {
    msgWarnSkippedSource(full.c_str());
    return nullptr;
  }
  return std::fopen(full.c_str(), "rb");
}

void parFileClose(std::FILE* stream) {
  if (stream != nullptr && stream != stdin) std::fclose(stream);
}

int parReadPair(std::FILE* stream, ParamPair* entry) {
  if (entry == nullptr) return 0;
  entry->name = nullptr;
  entry->value = nullptr;
  if (stream == nullptr) return 0;
  try {
    ParLexer lx;
    lx.stream = stream;
    int state = kParStart;
    while (state != kParDone) state = parStep(lx, state);
    if (lx.name.empty() || lx.value.empty()) return 0;
    entry->name = memStrDup(lx.name.c_str());
    entry->value = memStrDup(lx.value.c_str());
  } catch (...) {
    // no memory for the texts: no entry
  }
  if (entry->name == nullptr || entry->value == nullptr) {
    memFree(entry->name);
    memFree(entry->value);
    entry->name = nullptr;
    entry->value = nullptr;
    return 0;
  }
  return 1;
}

ParamNode* parLoadFile(ParamNode* list, const char* path, int kind) {
  std::FILE* f = parFileOpen(path);
  if (f == nullptr) return list;
  // The index keeps a long file linear: each entry finds an existing name without a list walk.
  ParamIndex* index = parIndexNew(list);
  ParamPair pair{};
  while (parReadPair(f, &pair) == 1) list = parListTakeIndexed(list, &pair, kind, index);
  parIndexFree(index);
  parFileClose(f);
  return list;
}

int langFileReadSection(const char* fileName, const char* language, LangEntryFn each, void* user) {
  if (fileName == nullptr || language == nullptr) return 0;
  const int handle = langFileOpen(fileName);
  if (handle < 0) return 0;
  std::FILE* f = langState.open[handle - kLangHandleBase];
  int result = 0;
  try {
    if (langFindSection(f, language) && langReadEntries(f, each, user) > 0) result = 1;
  } catch (...) {
    result = 0;
  }
  langFileClose(handle);
  return result;
}

void parFileResetState() {
  for (std::FILE*& f : langState.open) {
    if (f != nullptr) parFileClose(f);
  }
  langState = LangState{};
}
