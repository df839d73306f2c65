// fuzz_cfg.cpp - libFuzzer target of the ".CFG" reader: every entry of any input has a key of 1 to
// 259 characters and a value of at most 519 without trailing blank, and the list holds them all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/cfg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (f == nullptr) return 0;
  const char* key = nullptr;
  const char* value = nullptr;
  ParamNode* list = nullptr;
  int count = 0;
  while (cfgReadLine(f, &key, &value) == 1) {
    const std::size_t k = std::strlen(key);
    const std::size_t v = std::strlen(value);
    if (k == 0 || k > kCfgKeyMax || v > kCfgValueMax || (v > 0 && value[v - 1] == ' '))
      std::abort();
    list = cfgListAppend(list, key, value, 21);
    ++count;
  }
  std::fclose(f);
  for (const ParamNode* n = list; n != nullptr; n = n->next) --count;
  if (count != 0) std::abort();
  parListFree(list);
  return 0;
}
