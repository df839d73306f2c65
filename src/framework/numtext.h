// numtext.h - the one fixed-point number text of every coordinate and value the library writes,
// so that equal positions give equal texts, and the parser of three numbers in a parameter value.
// Both behave as in the "C" locale whatever locale the host has set.
#pragma once

#include <cstddef>
#include <initializer_list>

// Room that numFormat needs, terminating NUL included. Values of magnitude 1e18 or more and
// non-finite values are written in another visible form that still fits.
inline constexpr std::size_t kNumTextSize = 40;

// Sets the number of decimals of numFormat: below 1 becomes 1, above 8 becomes 8 (6 at load).
void numSetPrecision(int p);
// The current number of decimals (1 to 8).
int numPrecision();

// Writes x into out (at least kNumTextSize characters) as a fixed-point text with the current
// number of decimals, rounded half up, trailing zeros and a trailing point removed; "-0" becomes
// "0" (precision 6: 1.5 -> "1.5", -0.25 -> "-0.25", 0.0000004 -> "0", 2.9999999 -> "3").
// Computed in 64-bit integers. Where the scaled value exceeds 2^53 (e.g. beyond 9e9 at 6
// decimals) the double's own decimal expansion is written instead, rounded to the decimals;
// magnitudes of 1e18 or more are written as the shortest exact exponent text (e.g. "1e+20"),
// NaN as "nan" and infinities as "inf" / "-inf". Equal values always give equal texts.
void numFormat(char* out, double x);

// The number texts of up to six values (further values are ignored), for writers that put
// several coordinates on one line.
struct NumTexts {
  char t[6][kNumTextSize];
};
NumTexts numFormatMany(std::initializer_list<double> values);

// Writes x with exactly eight decimals (as "%.8lf" in the "C" locale) into out of size bytes,
// truncated to fit. Used where the modal moves compare tool-axis components.
void numFormatFixed8(char* out, std::size_t size, double x);

// Room of the longest numFormatFixedWidth text: every finite double with up to 17 decimals.
inline constexpr std::size_t kNumFixedTextSize = 400;
// Writes x with exactly decimals places (0 to 17; others are clamped) as printf's
// "%<width>.<decimals>lf" writes it in the "C" locale: right-aligned to width characters (up to
// kNumFixedTextSize - 1), "nan", "inf" or "-inf" for values that are not finite. out (size bytes)
// gets the text cut to fit and a NUL. Returns the length of the whole text.
std::size_t numFormatFixedWidth(char* out, std::size_t size, double x, int decimals, int width);

// Copies in to out replacing every character from by to; out and in may be the same buffer
// (then nothing changes when from equals to). A null in gives an empty out. out must hold
// strlen(in) + 1 characters. Returns the number of replacements (0 when from equals to).
int numReplaceChar(char* out, const char* in, char from, char to);

// Reads up to three numbers from text: each starts at the next character of "+-.0123456789" and
// is the longest run of "+-.0123456789eE" there (at most 79 characters), converted as a decimal
// text (its longest valid prefix; 0 when it has none). Any other character separates numbers.
// Returns how many numbers were found (0 to 3; 0 for a null text); the outputs of numbers not
// found are left unchanged. "1,2,3" -> 3; "x 5" -> 1 (5); "-1.5e2 .5" -> 2 (-150, 0.5).
int numParse3(const char* text, double* x, double* y, double* z);

// Test seam: back to the state at load (precision 6).
void numResetState();
