// xchg_file.cpp - opening exchange files and handing out their elements. Standard input may be a
// regular file, a pipe or a terminal that the host still needs, so it is never closed here.
#include "framework/xchg_file.h"

#include <cstdlib>
#include <cstring>

#include "framework/memory.h"
#include "framework/platform.h"

namespace {
constexpr std::size_t kPathMax = 511;

// Opens the stream a path names: standard input, a name under HOME, or a plain file.
std::FILE* xchgOpenPath(const char* path) {
  if (std::strcmp(path, "| stdin") == 0) return stdin;
  if (path[0] != '~') return std::fopen(path, "rb");
  const char* home = platHomeDir();
  if (home == nullptr) return nullptr;
  const std::size_t homeLen = std::strlen(home);
  const std::size_t restLen = std::strlen(path + 1);
  if (homeLen + restLen > kPathMax) return nullptr;
  char full[kPathMax + 1];
  std::memcpy(full, home, homeLen);
  std::memcpy(full + homeLen, path + 1, restLen + 1);
  return std::fopen(full, "rb");
}
}  // namespace

std::FILE* xchgOpen(const char* path, XchgHeader* header) {
  if (header == nullptr) return nullptr;
  xchgHeaderFree(header);
  if (path == nullptr) return nullptr;
  std::FILE* f = xchgOpenPath(path);
  if (f == nullptr) return nullptr;
  if (xchgReadHeader(f, header) != 1) {
    xchgClose(f);
    return nullptr;
  }
  return f;
}

void xchgClose(std::FILE* stream) {
  if (stream == nullptr) return;
  if (stream == stdin) {
    std::clearerr(stream);
    return;
  }
  std::fclose(stream);
}

int xchgNextElement(std::FILE* stream, XchgElement* element) {
  if (element == nullptr) return 0;
  xchgElementClear(element);
  if (stream == nullptr) return 0;
  return xchgLexElement(stream, element);
}

int xchgElementFromText(const char** cursor, XchgElement* element) {
  if (element == nullptr) return 0;
  xchgElementClear(element);
  return xchgLexFromText(cursor, element);
}
