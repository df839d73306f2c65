// fuzz_zpath_file.cpp - libFuzzer target of the Z-path file reader: every list it gives holds
// paths whose counts fit their arrays, which grow when points are appended; written back and read
// again, the list comes back with the same paths (reading already dropped repeats).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input_file.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"

namespace {
void checkList(const ZPathList* list) {
  if (list->count < 0 || list->count > list->capacity) std::abort();
  for (int i = 0; i < list->count; ++i) {
    const ZPath& p = list->items[i];
    if (p.count < 0 || p.count > p.capacity || p.points == nullptr) std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* name = fuzzInputFile("zpa", data, size);
  ZPathList* list = zpathListRead(name);
  if (list == nullptr) return 0;
  checkList(list);
  const std::string out = std::string(name) + ".out";
  zpathFileTruncate(out.c_str());
  for (int i = 0; i < list->count; ++i) {
    if (zpathFileAppend(out.c_str(), &list->items[i]) != 1) std::abort();
  }
  ZPathList* again = zpathListRead(out.c_str());
  if (again == nullptr || again->count != list->count) std::abort();
  for (int i = 0; i < list->count; ++i) {
    const ZPath& a = list->items[i];
    const ZPath& b = again->items[i];
    if (a.count != b.count || a.flags != b.flags ||
        std::memcmp(a.points, b.points, 8 * static_cast<std::size_t>(a.count)) != 0) {
      std::abort();
    }
  }
  // Paths read back have capacity = count; appending must grow them.
  for (int i = 0; i < list->count && i < 8; ++i) {
    for (int k = 0; k < 3; ++k) {
      const float pt[2] = {static_cast<float>(k), static_cast<float>(k * k + i)};
      if (zpathAppendPoint(&list->items[i], pt, nullptr, 1, 1) != 1) std::abort();
    }
  }
  checkList(list);
  std::remove(out.c_str());
  zpathListFree(again);
  zpathListFree(list);
  return 0;
}
