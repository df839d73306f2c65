// pock_runtime.h - the pocketing engine's thin forwards to the run-time library: heap blocks,
// byte copies, square root and angle, text search and comparison, and number texts read as in
// the "C" locale whatever locale the host set.
#pragma once

#include <cstddef>

// A block of size bytes, filled with zero so that records made in it repeat bit for bit; null
// when memory runs out or size is 0. Freed with memFree (framework/memory.h).
void* pockMalloc(std::size_t size);
// A zero-filled block of count records of size bytes; null when memory runs out, when the
// product is 0 or when it does not fit a size_t.
void* pockCalloc(std::size_t count, std::size_t size);
// Copies n bytes from source to target (the ranges may overlap). Returns n.
std::size_t pockMemMove(void* target, const void* source, std::size_t n);
// Copies n bytes from source to target (the ranges may overlap).
void pockCopyBytes(void* target, const void* source, std::size_t n);
double pockSqrt(double x);
// Angle of the vector (x, y) in (-pi, pi]; note the argument order y, x.
double pockAtan2(double y, double x);
// The first occurrence of c in text, or null (also for a null text).
const char* pockStrChr(const char* text, int c);
// Byte-wise comparison of two texts (bytes compared as unsigned): -1 a before b, 0 equal, 1 a
// after b. A null text sorts before every text and equals another null.
int pockStrCmp(const char* a, const char* b);
// The decimal number at the start of text, leading blanks skipped, read as far as it goes in the
// "C" locale; 0 when none follows or for a null text.
double pockAtof(const char* text);
// The integer at the start of text, leading blanks skipped; 0 when none follows or for a null
// text; values beyond the int range are clamped to it.
int pockAtoi(const char* text);
