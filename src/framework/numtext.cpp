// numtext.cpp - number text of the output: fixed-point with 1 to 8 decimals in 64-bit integer
// arithmetic, and the three-number parser of parameter values. std::to_chars and strtod_l with a
// "C" locale object keep both independent of the host's locale.
#include "framework/numtext.h"

#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/platform.h"

namespace {
struct NumState {
  int precision = 6;
  double scale = 1e6;
  std::int64_t limit = 1000000;
};
NumState numState;

// Beyond this magnitude the text switches to the exponent form, so that it stays short.
constexpr double kNumFixedLimit = 1e18;
// From here on (2^53) a scaled value has no fraction left and the rounding step would be inexact.
constexpr double kNumExactLimit = 9007199254740992.0;

// Appends the decimal digits of v at p; returns the new end.
char* numPutInt(char* p, char* end, std::int64_t v) {
  auto r = std::to_chars(p, end, v);
  return r.ptr;
}

// Copies n characters of text into out (size bytes), cut to fit, with a NUL.
void numCopyCut(char* out, std::size_t size, const char* text, std::size_t n) {
  if (n >= size) n = size - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

void numFormatSpecial(char* out, double x) {
  if (std::isnan(x)) {
    std::strcpy(out, "nan");
  } else if (std::isinf(x)) {
    std::strcpy(out, x < 0 ? "-inf" : "inf");
  } else {
    auto r = std::to_chars(out, out + kNumTextSize - 1, x, std::chars_format::scientific);
    *r.ptr = '\0';
  }
}

// Values whose scaled form has no fraction bits left: the decimal expansion of the double itself,
// rounded to the number of decimals.
void numFormatLarge(char* out, double x) {
  auto r =
      std::to_chars(out, out + kNumTextSize - 1, x, std::chars_format::fixed, numState.precision);
  char* p = r.ec == std::errc() ? r.ptr : out;
  *p = '\0';
  while (p > out && p[-1] == '0') *--p = '\0';
  if (p > out && p[-1] == '.') *--p = '\0';
}

bool numIsStartChar(char c) { return c != '\0' && std::strchr("+-.0123456789", c) != nullptr; }
bool numIsRunChar(char c) { return c != '\0' && std::strchr("+-.0123456789eE", c) != nullptr; }

double numConvert(const char* text) {
  char* end = nullptr;
  locale_t c = platCLocale();
  return c != nullptr ? strtod_l(text, &end, c) : strtod(text, &end);
}
}  // namespace

void numSetPrecision(int p) {
  if (p < 1) p = 1;
  if (p > 8) p = 8;
  numState.precision = p;
  std::int64_t limit = 1;
  for (int i = 0; i < p; ++i) limit *= 10;
  numState.limit = limit;
  numState.scale = static_cast<double>(limit);
}

int numPrecision() { return numState.precision; }

void numResetState() { numSetPrecision(6); }

void numFormat(char* out, double x) {
  if (out == nullptr) return;
  if (!std::isfinite(x) || std::fabs(x) >= kNumFixedLimit) {
    numFormatSpecial(out, x);
    return;
  }
  const double scale = numState.scale;
  if (std::fabs(x) * scale >= kNumExactLimit) {
    numFormatLarge(out, x);
    return;
  }
  const double a = std::floor(scale * x + 0.5);
  const double q = a / scale;
  std::int64_t d = static_cast<std::int64_t>(std::trunc(q));
  std::int64_t f =
      static_cast<std::int64_t>(std::floor(std::fabs(q - static_cast<double>(d)) * scale + 0.5));
  if (f >= numState.limit) {
    d += q < 0 ? -1 : 1;
    f = 0;
  }
  char* p = out;
  char* end = out + kNumTextSize - 1;
  if (d == 0 && q < 0) *p++ = '-';
  p = numPutInt(p, end, d);
  *p++ = '.';
  // the fraction with leading zeros to the full number of decimals
  char digits[24];
  char* dEnd = numPutInt(digits, digits + sizeof digits, f);
  const int len = static_cast<int>(dEnd - digits);
  for (int i = len; i < numState.precision; ++i) *p++ = '0';
  std::memcpy(p, digits, len);
  p += len;
  *p = '\0';
  while (p > out && p[-1] == '0') *--p = '\0';
  if (p > out && p[-1] == '.') *--p = '\0';
  if (std::strcmp(out, "-0") == 0 || out[0] == '\0') std::strcpy(out, "0");
}

void numFormatFixed8(char* out, std::size_t size, double x) {
  if (out == nullptr || size == 0) return;
  if (std::isfinite(x) && std::fabs(x) < 1e300) {
    numFormatFixedWidth(out, size, x, 8, 0);
    return;
  }
  char buf[kNumTextSize];
  numFormatSpecial(buf, x);
  numCopyCut(out, size, buf, std::strlen(buf));
}

std::size_t numFormatFixedWidth(char* out, std::size_t size, double x, int decimals, int width) {
  char buf[kNumFixedTextSize];
  std::size_t n = 0;
  if (std::isfinite(x)) {
    const int places = decimals < 0 ? 0 : (decimals > 17 ? 17 : decimals);
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, x, std::chars_format::fixed, places);
    n = r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - buf) : 0;
  } else {
    numFormatSpecial(buf, x);
    n = std::strlen(buf);
  }
  const std::size_t room = sizeof buf - 1;
  const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > n
                              ? std::min(room, static_cast<std::size_t>(width)) - n
                              : 0;
  if (pad > 0) {
    std::memmove(buf + pad, buf, n);
    std::memset(buf, ' ', pad);
    n += pad;
  }
  if (out != nullptr && size > 0) numCopyCut(out, size, buf, n);
  return n;
}

int numReplaceChar(char* out, const char* in, char from, char to) {
  if (out == nullptr) return 0;
  if (in == nullptr) {
    out[0] = '\0';
    return 0;
  }
  if (out != in) std::memmove(out, in, std::strlen(in) + 1);
  if (from == to) return 0;
  int count = 0;
  for (char* p = out; *p != '\0'; ++p) {
    if (*p == from) {
      *p = to;
      ++count;
    }
  }
  return count;
}

int numParse3(const char* text, double* x, double* y, double* z) {
  if (text == nullptr) return 0;
  double* outs[3] = {x, y, z};
  const char* p = text;
  int found = 0;
  while (found < 3) {
    while (*p != '\0' && !numIsStartChar(*p)) ++p;
    if (*p == '\0') break;
    char run[80];
    int n = 0;
    while (numIsRunChar(*p)) {
      if (n < 79) run[n++] = *p;
      ++p;
    }
    run[n] = '\0';
    const double v = numConvert(run);
    if (outs[found] != nullptr) *outs[found] = v;
    ++found;
  }
  return found;
}

NumTexts numFormatMany(std::initializer_list<double> values) {
  NumTexts n{};
  int i = 0;
  for (double v : values) {
    if (i >= 6) break;
    numFormat(n.t[i++], v);
  }
  return n;
}
