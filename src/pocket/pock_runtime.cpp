// pock_runtime.cpp - the pocketing engine's forwards to the run-time library.
#include "pocket/pock_runtime.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/memory.h"
#include "framework/platform.h"

void* pockMalloc(std::size_t size) { return memAllocZero(size); }

void* pockCalloc(std::size_t count, std::size_t size) {
  if (count == 0 || size == 0 || count > static_cast<std::size_t>(-1) / size) return nullptr;
  return memAllocZero(count * size);
}

std::size_t pockMemMove(void* target, const void* source, std::size_t n) {
  if (n > 0) std::memmove(target, source, n);
  return n;
}

void pockCopyBytes(void* target, const void* source, std::size_t n) {
  if (n > 0) std::memmove(target, source, n);
}

double pockSqrt(double x) { return std::sqrt(x); }

double pockAtan2(double y, double x) { return std::atan2(y, x); }

const char* pockStrChr(const char* text, int c) {
  return text != nullptr ? std::strchr(text, c) : nullptr;
}

int pockStrCmp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  const int r = std::strcmp(a, b);  // compares the bytes as unsigned char
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

double pockAtof(const char* text) {
  if (text == nullptr) return 0.0;
  char* end = nullptr;
  const locale_t c = platCLocale();
  return c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
}

int pockAtoi(const char* text) {
  if (text == nullptr) return 0;
  const long v = std::strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}
