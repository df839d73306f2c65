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
#include <vector>

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

// Characters of a line that a fault text shows.
constexpr std::size_t kParExcerpt = 40;

bool parIsBlank(int c) { return c == ' ' || c == '\t'; }
bool parIsLineEnd(int c) { return c == '\r' || c == '\n'; }

// A byte that no text holds: a control character other than tab, CR, LF and 26 (the end of the
// input).
bool parIsNonText(int c) {
  return c >= 0 && c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != 26;
}

struct ParLexer {
  std::FILE* stream = nullptr;
  std::string name;
  std::string value;
  bool continuation = false;
  int last = 0;  // the last character read
  // What the checked loader learns about the entry just read (parReadEntry).
  long line = 1;           // the line of the next character
  long entryLine = 0;      // the line where the entry's name began
  bool started = false;    // a name began: the line was neither blank nor a comment
  bool trailing = false;   // a value was followed by more than a comment or a continuation mark
  bool overlong = false;   // the name or the value grew beyond kParValueMax
  int nonText = -1;        // the first byte that no text holds, or -1
  bool lastWasCr = false;  // CR LF is one line end
  std::string lineStart;   // the first characters of the line being read
  std::string lineBefore;  // those of the line before, once its line end was read

  // The next character; the end of the stream and character 26 are the end of input.
  int next() {
    int c = std::getc(stream);
    if (c == 26) std::ungetc(c, stream);  // stays the end of input for the next entry too
    if (c == EOF || c == 26) c = kEndOfInput;
    if (c == '\n' ? !lastWasCr : c == '\r') {
      ++line;
      lineBefore.swap(lineStart);
      lineStart.clear();
    } else if (c != '\n' && c != kEndOfInput && lineStart.size() <= kParExcerpt) {
      lineStart += static_cast<char>(c);
    }
    lastWasCr = c == '\r';
    if (nonText < 0 && parIsNonText(c)) nonText = c;
    last = c;
    return c;
  }
  // Appends to the name or the value; a text beyond kParValueMax is dropped and noted.
  void add(std::string& text, char c) {
    if (text.size() < kParValueMax) {
      text += c;
    } else {
      overlong = true;
    }
  }
  int nextNonBlank() {
    int c = next();
    while (parIsBlank(c)) c = next();
    return c;
  }
  int lineEndState() const { return continuation ? kParContinuation : kParEndOfLine; }
  // Forgets the entry read before; the line count and a byte that is no text stay.
  void beginEntry() {
    name.clear();
    value.clear();
    continuation = false;
    entryLine = 0;
    started = false;
    trailing = false;
    overlong = false;
  }
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
      if (c == ';') return kParComment;
      lx.started = true;
      lx.entryLine = lx.line;
      if (c == '"') return kParQuotedName;
      lx.add(lx.name, static_cast<char>(c));
      return kParBareName;
    case kParBareName:
      for (;;) {
        c = lx.next();
        if (parIsBlank(c)) return kParAfterName;
        if (c == ':') return kParAfterColon;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
        lx.add(lx.name, static_cast<char>(c));
      }
    case kParQuotedName:
      for (;;) {
        c = lx.next();
        if (c == '"') return kParAfterName;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
        lx.add(lx.name, static_cast<char>(c));
      }
    case kParAfterName: return lx.nextNonBlank() == ':' ? kParAfterColon : kParSkip;
    case kParAfterColon: return lx.next() == '=' ? kParBeforeValue : kParSkip;
    case kParBeforeValue:
      c = lx.nextNonBlank();
      if (parIsLineEnd(c) || c == kEndOfInput) return kParSkip;
      if (c == '"') return kParQuotedValue;
      lx.add(lx.value, static_cast<char>(c));
      return kParBareValue;
    case kParBareValue:
      for (;;) {
        c = lx.next();
        if (parIsBlank(c) || c == ';' || c == '>') return kParAfterValue;
        if (parIsLineEnd(c) || c == kEndOfInput) return kParEndOfLine;
        lx.add(lx.value, static_cast<char>(c));
      }
    case kParQuotedValue:
      for (;;) {
        c = lx.next();
        if (parIsLineEnd(c) || c == kEndOfInput) return kParEndOfLine;
        if (c == '\\') {
          c = lx.next();
          if (c == kEndOfInput) return kParEndOfLine;
          if (parIsLineEnd(c)) return lx.lineEndState();
          lx.add(lx.value, parEscape(c));
        } else if (c == '"') {
          c = lx.next();  // the character after the closing quote is consumed
          if (c == kEndOfInput || parIsLineEnd(c)) return lx.lineEndState();
          return kParAfterValue;
        } else {
          lx.add(lx.value, static_cast<char>(c));
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
        lx.trailing = true;
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
      lx.add(lx.value, static_cast<char>(c));
      return kParBareValue;
    case kParEndOfLine:
      // A comment line or blank line: go on with the next line. A line whose quoted value was
      // empty ends up here too; its name is dropped so that it does not run into the next name.
      if (lx.value.empty() && (parIsLineEnd(lx.last) || lx.last == kEndOfInput)) {
        lx.name.clear();
        lx.started = false;
        return lx.last == kEndOfInput ? kParDone : kParStart;
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

namespace {
// How parFileOpenAt ended.
enum ParOpenResult : int { kParOpened = 1, kParOpenFailed = 0, kParOpenNotRegular = -1 };

// parFileOpen, with the path as opened (after '~') in *full: kParOpened with the stream in *out;
// kParOpenNotRegular when the path names something that is no regular file (not opened, no
// warning); kParOpenFailed otherwise (*out null).
int parFileOpenAt(const char* path, std::FILE** out, std::string* full) {
  *out = nullptr;
  full->clear();
  if (path == nullptr) return kParOpenFailed;
  if (std::strcmp(path, kStdinPath) == 0) {
    *full = kStdinPath;
    *out = stdin;
    return kParOpened;
  }
  if (path[0] == '~') {
    const char* home = platHomeDir();
    *full = std::string(home != nullptr ? home : "~") + (path + 1);
    if (home == nullptr) return kParOpenFailed;
  } else {
    *full = path;
  }
  if (full->empty() || full->size() > kParPathMax) return kParOpenFailed;
  if (platPathKind(full->c_str()) == kPlatOtherFile) return kParOpenNotRegular;
  *out = std::fopen(full->c_str(), "rb");
  return *out != nullptr ? kParOpened : kParOpenFailed;
}
}  // namespace

std::FILE* parFileOpen(const char* path) {
  std::FILE* f = nullptr;
  try {
    std::string full;
    if (parFileOpenAt(path, &f, &full) == kParOpenNotRegular) msgWarnSkippedSource(full.c_str());
  } catch (...) {
    return nullptr;  // no memory for the path
  }
  return f;
}

void parFileClose(std::FILE* stream) {
  if (stream != nullptr && stream != stdin) std::fclose(stream);
}

namespace {
// What parReadEntry found.
enum ParEntryResult : int { kParNoEntry = 0, kParEntry = 1, kParBadLine = -1 };

// Runs the lexer over the next entry. kParEntry with owned texts in entry; kParNoEntry at the end
// of the input (or when memory for the texts runs out); kParBadLine for a line that is neither
// blank, a comment nor a whole "name := value" line, a name or value longer than kParValueMax, or
// a byte that no text holds (lx says which, and where).
int parReadEntry(ParLexer& lx, ParamPair* entry) {
  entry->name = nullptr;
  entry->value = nullptr;
  lx.beginEntry();
  int state = kParStart;
  while (state != kParDone) state = parStep(lx, state);
  const bool whole = !lx.name.empty() && !lx.value.empty();
  if (lx.nonText >= 0 || lx.overlong || lx.trailing || (lx.started && !whole)) return kParBadLine;
  if (!whole) return kParNoEntry;
  entry->name = memStrDup(lx.name.c_str());
  entry->value = memStrDup(lx.value.c_str());
  if (entry->name == nullptr || entry->value == nullptr) {
    memFree(entry->name);
    memFree(entry->value);
    entry->name = nullptr;
    entry->value = nullptr;
    return kParNoEntry;
  }
  return kParEntry;
}

// The faults of the sources loaded for the current run (see parLoadFaultAdd).
struct ParFaultState {
  std::vector<std::string> kept;
  int count = 0;
  std::string source;  // the run's source as opened (parSetLoadedSource)
  bool sourceKept = false;
};
ParFaultState parFaults;

// The start of a line for a fault text: at most kParExcerpt characters, control characters shown
// as '?', "..." when it goes on.
std::string parExcerpt(const std::string& text) {
  std::string out;
  for (const char c : text.substr(0, kParExcerpt)) {
    out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
  }
  if (text.size() > kParExcerpt) out += "...";
  return out;
}

// The fault text of a bad line: "<path>:<line>: <what>".
std::string parBadLineText(const char* path, const ParLexer& lx) {
  char where[64];
  std::snprintf(where, sizeof where, ":%ld: ", lx.entryLine > 0 ? lx.entryLine : lx.line);
  std::string text = std::string(path) + where;
  if (lx.nonText >= 0) {
    char what[64];
    std::snprintf(what, sizeof what, "not a text file (byte 0x%02X)", lx.nonText);
    return std::string(path) + ": " + what;
  }
  if (lx.overlong) {
    return text + "a name or value longer than " + std::to_string(kParValueMax) + " characters";
  }
  // The bad line is the one the lexer skipped to its end.
  const std::string& line = parIsLineEnd(lx.last) ? lx.lineBefore : lx.lineStart;
  if (lx.trailing) return text + "text after the value: " + parExcerpt(line);
  return text + "not a name := value line: " + parExcerpt(line);
}
}  // namespace

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
  if (path == nullptr) return list;
  const bool source = kind == kParKindSource;
  std::FILE* f = nullptr;
  std::string full;
  const int opened = parFileOpenAt(path, &f, &full);
  if (f == nullptr) {
    // A run's own source that is missing fails the run; a definition file is optional.
    if (source) {
      const char* why = opened == kParOpenNotRegular ? "not a regular file" : "cannot be opened";
      parLoadFaultAdd((full + ": " + why).c_str());
    } else if (opened == kParOpenNotRegular) {
      msgWarnSkippedSource(full.c_str());
    }
    return list;
  }
  try {
    if (source && f != stdin) parSetLoadedSource(full.c_str());
    // The index keeps a long file linear: each entry finds an existing name without a list walk.
    ParamIndex* index = parIndexNew(list);
    ParLexer lx;
    lx.stream = f;
    int entries = 0;
    int badLines = 0;
    ParamPair pair{};
    for (;;) {
      const int r = parReadEntry(lx, &pair);
      if (r == kParNoEntry) break;
      if (r == kParEntry) {
        list = parListTakeIndexed(list, &pair, kind, index);
        ++entries;
        continue;
      }
      memFree(pair.name);
      memFree(pair.value);
      parLoadFaultAdd(parBadLineText(full.c_str(), lx).c_str());
      // Bytes that no text holds: the file is no parameter file, its further lines say nothing.
      if (lx.nonText >= 0 || ++badLines >= kParFaultsKept) break;
    }
    if (source && entries == 0 && badLines == 0 && lx.nonText < 0) {
      parLoadFaultAdd((full + ": no name := value line (an empty job source)").c_str());
    }
    parIndexFree(index);
  } catch (...) {
    // no memory for a fault text: the list stays as far as it was read
  }
  parFileClose(f);
  return list;
}

void parLoadFaultAdd(const char* text) {
  ++parFaults.count;
  if (text == nullptr || parFaults.kept.size() >= static_cast<std::size_t>(kParFaultsKept)) return;
  try {
    parFaults.kept.emplace_back(text);
  } catch (...) {
    // no memory: counted, not kept
  }
}

int parLoadFaultCount() { return parFaults.count; }

const char* parLoadFaultText(int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= parFaults.kept.size()) return nullptr;
  return parFaults.kept[static_cast<std::size_t>(i)].c_str();
}

void parLoadFaultsClear() {
  parFaults.kept.clear();
  parFaults.count = 0;
}

const char* parLoadedSource() { return parFaults.sourceKept ? parFaults.source.c_str() : nullptr; }

void parSetLoadedSource(const char* path) {
  parFaults.sourceKept = false;
  if (path == nullptr) return;
  try {
    parFaults.source = path;
    parFaults.sourceKept = true;
  } catch (...) {
    // no memory: no source to compare with
  }
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

void parFileRunReset() {
  for (std::FILE*& f : langState.open) {
    if (f != nullptr) parFileClose(f);
  }
  langState = LangState{};
}

void parFileResetState() {
  parLoadFaultsClear();
  parSetLoadedSource(nullptr);
  parFileRunReset();
}
