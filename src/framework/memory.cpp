// memory.cpp - heap functions of the framework, with a seam that lets tests make the n-th
// allocation fail so that every failure path can be walked under LeakSanitizer.
#include "framework/memory.h"

#include <cstdlib>
#include <cstring>

namespace {
struct MemState {
  long failCountdown = 0;  // 0: off; otherwise allocations left until the failing one
};
MemState memState;

// True when the allocation being made is the one a test asked to fail.
bool memFailNow() {
  if (memState.failCountdown <= 0) return false;
  if (--memState.failCountdown == 0) return true;
  return false;
}
}  // namespace

void* memAllocZero(std::size_t size) {
  if (size == 0 || memFailNow()) return nullptr;
  return std::calloc(1, size);
}

void* memRealloc(void* p, std::size_t size) {
  if (size == 0 || memFailNow()) return nullptr;
  return std::realloc(p, size);
}

char* memStrDup(const char* text) {
  if (text == nullptr || memFailNow()) return nullptr;
  const std::size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::calloc(1, n + 2));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, n);
  return copy;
}

void memFree(void* p) { std::free(p); }

void memTestFailAt(long n) { memState.failCountdown = n > 0 ? n : 0; }

void memResetState() { memState = MemState{}; }
