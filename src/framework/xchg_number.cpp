// xchg_number.cpp - compact numbers (digits of a configurable alphabet and base, scaled by a
// divisor) and the escape rule that lets any text pass through an exchange variable value.
#include "framework/xchg_number.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
constexpr std::size_t kAlphabetMax = 127;

constexpr std::array<int, 128> numDefaultDigits() {
  std::array<int, 128> d{};
  for (int i = 0; xchgNumDefaultAlphabet[i] != '\0'; ++i) {
    d[static_cast<unsigned char>(xchgNumDefaultAlphabet[i])] = i;
  }
  return d;
}

// Digit value per 7-bit character, alphabet length, base and divisor.
struct XchgNumState {
  std::array<int, 128> digit = numDefaultDigits();
  int length = static_cast<int>(sizeof xchgNumDefaultAlphabet - 1);
  int base = 10;
  double baseValue = 10.0;
  double divisor = 1.0;
};
XchgNumState xnumState;

int numDigit(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 128 ? xnumState.digit[u] : 0;
}

bool escapeCopies(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr(" @$%&#~|-+*/=<>!?^,;.:_'\"{}", c) != nullptr;
}
}  // namespace

void xchgNumSetAlphabet(const char* alphabet) {
  if (alphabet == nullptr) return;
  xnumState.digit.fill(0);
  std::size_t n = std::strlen(alphabet);
  if (n > kAlphabetMax) n = kAlphabetMax;
  for (std::size_t i = 0; i < n; ++i) {
    const auto u = static_cast<unsigned char>(alphabet[i]);
    if (u < 128) xnumState.digit[u] = static_cast<int>(i);
  }
  xnumState.length = static_cast<int>(n);
  xnumState.base = xnumState.length;
  xnumState.baseValue = xnumState.base;
}

void xchgNumSetScaleBase(double scale, int base) {
  if (std::fabs(scale) > 1e-10) xnumState.divisor = scale;
  if (base >= 1 && base <= xnumState.length) {
    xnumState.base = base;
    xnumState.baseValue = base;
  }
}

double xchgNumDecode(const char* text) {
  if (text == nullptr || text[0] == '\0' || text[0] == '*') return 0.0;
  const bool negative = text[0] == '-';
  double value = 0.0;
  for (const char* p = text + 1; *p != '\0'; ++p)
    value = value * xnumState.baseValue + numDigit(*p);
  value /= xnumState.divisor;
  return negative ? -value : value;
}

int xchgNumDecodeInt(const char* text) {
  if (text == nullptr) return 0;
  std::uint32_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    value = value * static_cast<std::uint32_t>(xnumState.base) +
            static_cast<std::uint32_t>(numDigit(*p));
  }
  return static_cast<int>(value);
}

int xchgEscapeText(char* out, std::size_t outSize, const char* in) {
  if (out == nullptr || in == nullptr || outSize == 0) return -20;
  std::size_t n = 0;
  for (const char* p = in; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    char piece[5];
    std::size_t len;
    if (c == '\\') {
      piece[0] = piece[1] = '\\';
      len = 2;
    } else if (escapeCopies(c)) {
      piece[0] = static_cast<char>(c);
      len = 1;
    } else {
      std::snprintf(piece, sizeof piece, "\\%03d", c);
      len = 4;
    }
    if (n + len >= outSize) {
      out[n] = '\0';
      return -1;
    }
    std::memcpy(out + n, piece, len);
    n += len;
  }
  out[n] = '\0';
  return static_cast<int>(n);
}

void xchgNumResetState() { xnumState = XchgNumState{}; }
