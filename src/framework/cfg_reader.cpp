// cfg_reader.cpp - reader of ".CFG" key and value lines. Lines are read byte by byte into fixed
// buffers, so a line of any length costs no memory beyond them.
#include "framework/cfg_reader.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/param_file.h"
#include "framework/platform.h"

namespace {
struct CfgState {
  char key[kCfgKeyMax + 1] = {};
  char value[kCfgValueMax + 1] = {};
  // What the load of a source learns about the entry just read (cfgReadLine sets them).
  long line = 1;       // the line of the next character
  long entryLine = 0;  // the line of the entry's key
  bool cut = false;    // its key or value was cut
  int nonText = -1;    // a byte that no text holds, seen in its line or before, or -1
  bool lastWasCr = false;
};
CfgState cfgState;

enum class CfgPart { kBeforeKey, kKey, kBeforeValue, kValue, kDiscard };

ParamNode* cfgNodeNew(const char* key, const char* value, int kind) {
  auto* node = static_cast<ParamNode*>(memAllocZero(sizeof(ParamNode)));
  if (node == nullptr) return nullptr;
  node->name = memStrDup(key);
  node->value = memStrDup(value != nullptr ? value : "");
  if (node->name == nullptr || node->value == nullptr) {
    memFree(node->name);
    memFree(node->value);
    memFree(node);
    return nullptr;
  }
  node->kind = static_cast<std::int16_t>(kind);
  return node;
}
}  // namespace

int cfgReadLine(std::FILE* stream, const char** key, const char** value) {
  if (stream == nullptr || key == nullptr || value == nullptr) return 0;
  CfgState& s = cfgState;
  int keyLen = 0;
  int valueLen = 0;
  CfgPart part = CfgPart::kBeforeKey;
  s.cut = false;
  for (;;) {
    int c = std::getc(stream);
    if (c == 26) std::ungetc(c, stream);  // byte 26 ends the file for every later read too
    const bool end = c == EOF || c == 26;
    if (c == '\n' ? !s.lastWasCr : c == '\r') ++s.line;
    s.lastWasCr = c == '\r';
    if (s.nonText < 0 && c >= 0 && c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != 26) {
      s.nonText = c;
    }
    if (end || c == '\r' || c == '\n') {
      if (keyLen > 0) break;
      if (end) return 0;
      part = CfgPart::kBeforeKey;
      continue;
    }
    if (part == CfgPart::kDiscard) continue;
    if (c == 0) {
      // NUL ends the text, as in a parameter file: "3<NUL>4" is 3, never 34.
      part = CfgPart::kDiscard;
      continue;
    }
    if (c == '#') {
      part = CfgPart::kDiscard;
      continue;
    }
    const bool blank = c == ' ' || c == '\t';
    switch (part) {
      case CfgPart::kBeforeKey:
      case CfgPart::kKey:
        if (blank) {
          if (part == CfgPart::kKey) part = CfgPart::kBeforeValue;
        } else if (keyLen == kCfgKeyMax) {
          part = CfgPart::kDiscard;
          s.cut = true;
        } else {
          if (keyLen == 0) s.entryLine = s.line;
          s.key[keyLen++] = static_cast<char>(c);
          part = CfgPart::kKey;
        }
        break;
      case CfgPart::kBeforeValue:
      case CfgPart::kValue:
        if (blank && part == CfgPart::kBeforeValue) break;
        if (valueLen == kCfgValueMax) {
          part = CfgPart::kDiscard;
          s.cut = true;
        } else {
          s.value[valueLen++] = blank ? ' ' : static_cast<char>(c);
          part = CfgPart::kValue;
        }
        break;
      case CfgPart::kDiscard: break;
    }
  }
  while (valueLen > 0 && s.value[valueLen - 1] == ' ') --valueLen;
  s.key[keyLen] = '\0';
  s.value[valueLen] = '\0';
  *key = s.key;
  *value = s.value;
  return 1;
}

ParamNode* cfgListAppend(ParamNode* list, const char* key, const char* value, int kind) {
  if (key == nullptr || key[0] == '\0') return list;
  ParamNode* node = cfgNodeNew(key, value, kind);
  if (node == nullptr) return list;
  if (list == nullptr) return node;
  ParamNode* tail = list;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = node;
  return list;
}

namespace {
// The fault text of an entry: "<path>:<line>: <what>".
std::string cfgFaultText(const char* path, long line, const std::string& what) {
  return std::string(path) + ":" + std::to_string(line) + ": " + what;
}
}  // namespace

ParamNode* cfgLoadFile(ParamNode* list, const char* path, int kind) {
  if (path == nullptr) return list;
  const bool source = kind == kParKindSource;
  if (platPathKind(path) == kPlatOtherFile) {
    if (source) {
      parLoadFaultAdd((std::string(path) + ": not a regular file").c_str());
    } else {
      msgWarnSkippedSource(path);
    }
    return list;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    if (source) parLoadFaultAdd((std::string(path) + ": cannot be opened").c_str());
    return list;
  }
  if (source) parSetLoadedSource(path);
  ParamNode* tail = list;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  cfgState.line = 1;
  cfgState.nonText = -1;
  cfgState.lastWasCr = false;
  int entries = 0;
  int faults = 0;
  const char* key = nullptr;
  const char* value = nullptr;
  try {
    while (cfgReadLine(f, &key, &value) == 1) {
      // A job means what it says: a byte that no text holds ends the reading, a line that is
      // no "*KEY value" line or was cut is a fault of the load.
      if (source && cfgState.nonText >= 0) {
        char what[48];
        std::snprintf(what, sizeof what, ": not a text file (byte 0x%02X)", cfgState.nonText);
        parLoadFaultAdd((std::string(path) + what).c_str());
        ++faults;
        break;
      }
      if (source && (key[0] != '*' || cfgState.cut)) {
        std::string excerpt = std::string(key) + " " + value;
        if (excerpt.size() > 40) excerpt = excerpt.substr(0, 40) + "...";
        parLoadFaultAdd(cfgFaultText(path, cfgState.entryLine,
                                     cfgState.cut ? "a key or value longer than the line allows"
                                                  : "not a *KEY value line: " + excerpt)
                            .c_str());
        if (++faults >= kParFaultsKept) break;
        continue;
      }
      ParamNode* node = cfgNodeNew(key, value, kind);
      if (node == nullptr) continue;
      if (tail == nullptr) {
        list = node;
      } else {
        tail->next = node;
      }
      tail = node;
      ++entries;
    }
    if (source && cfgState.nonText >= 0 && faults == 0) {
      char what[48];
      std::snprintf(what, sizeof what, ": not a text file (byte 0x%02X)", cfgState.nonText);
      parLoadFaultAdd((std::string(path) + what).c_str());
      ++faults;
    }
    if (source && entries == 0 && faults == 0) {
      parLoadFaultAdd((std::string(path) + ": no *KEY value line (an empty job source)").c_str());
    }
  } catch (...) {
    // no memory for a fault text: the entries stay as far as they were read
  }
  std::fclose(f);
  return list;
}

void cfgResetState() { cfgState = CfgState{}; }
