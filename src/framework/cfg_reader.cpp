// cfg_reader.cpp - reader of ".CFG" key and value lines. Lines are read byte by byte into fixed
// buffers, so a line of any length costs no memory beyond them.
#include "framework/cfg_reader.h"

#include <cstring>

#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/platform.h"

namespace {
struct CfgState {
  char key[kCfgKeyMax + 1] = {};
  char value[kCfgValueMax + 1] = {};
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
  for (;;) {
    int c = std::getc(stream);
    if (c == 26) std::ungetc(c, stream);  // byte 26 ends the file for every later read too
    const bool end = c == EOF || c == 26;
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
        } else {
          s.key[keyLen++] = static_cast<char>(c);
          part = CfgPart::kKey;
        }
        break;
      case CfgPart::kBeforeValue:
      case CfgPart::kValue:
        if (blank && part == CfgPart::kBeforeValue) break;
        if (valueLen == kCfgValueMax) {
          part = CfgPart::kDiscard;
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

ParamNode* cfgLoadFile(ParamNode* list, const char* path, int kind) {
  if (path == nullptr) return list;
  if (platPathKind(path) == kPlatOtherFile) {
    msgWarnSkippedSource(path);
    return list;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return list;
  ParamNode* tail = list;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  const char* key = nullptr;
  const char* value = nullptr;
  while (cfgReadLine(f, &key, &value) == 1) {
    ParamNode* node = cfgNodeNew(key, value, kind);
    if (node == nullptr) continue;
    if (tail == nullptr) {
      list = node;
    } else {
      tail->next = node;
    }
    tail = node;
  }
  std::fclose(f);
  return list;
}

void cfgResetState() { cfgState = CfgState{}; }
