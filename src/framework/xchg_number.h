// xchg_number.h - the compact number codec of polyhedron point lists and the escaping of texts
// written as exchange variable values.
#pragma once

#include <cstddef>

// The alphabet the polyhedron files use (72 digits). The codec starts with it, base 10 and
// divisor 1.0, and keeps what was last set for the whole process.
inline constexpr char xchgNumDefaultAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&?@_|~";

// Gives each character of the alphabet its position as digit value (a repeated character takes
// its later position; bytes outside 7-bit ASCII and characters past the 127th are ignored), every
// other character the value 0, and sets the base to the alphabet's length. Ignores null.
void xchgNumSetAlphabet(const char* alphabet);

// Sets the divisor to scale when its magnitude is above 1e-10, and the base to base when it lies
// from 1 to the alphabet's length; a value outside those bounds leaves its setting as it was.
void xchgNumSetScaleBase(double scale, int base);

// Decodes a signed compact number: the first character is the sign ('*' means 0.0 and ends the
// number, '-' negative, any other positive), each further character adds a digit (value = value *
// base + digit). Returns value / divisor; 0.0 for a null or empty text.
double xchgNumDecode(const char* text);

// Decodes an unsigned compact integer over all characters (no sign character); 0 for a null or
// empty text. Wraps modulo 2^32 when the number does not fit an int.
int xchgNumDecodeInt(const char* text);

// Writes an escaped copy of in to out for a variable value: letters, digits, the blank and
// @ $ % & # ~ | - + * / = < > ! ? ^ , ; . : _ ' " { } are copied, a backslash is doubled, every
// other byte becomes a backslash and its value in three decimal digits ('(' is "\040"). Needs at
// most 4 * strlen(in) + 1 bytes. Returns the length written; -20 when out or in is null or
// outSize is 0; -1 when outSize is too small (out then holds the whole escapes that fit).
int xchgEscapeText(char* out, std::size_t outSize, const char* in);

// Tests: restores the codec's start state.
void xchgNumResetState();
