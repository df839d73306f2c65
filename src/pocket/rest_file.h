// rest_file.h - the rest information file: the radius of the tool that left a rest and the rest
// contours, as lines of a small G-code subset ("G191 R..", "G41 X.. Y..", "G1", "G2", "G3",
// "G40") in output units. When the configured name is a layer name the contours go to that layer.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/layer_store.h"

// Most elements one contour of a rest file may hold.
inline constexpr int kRifMaxElements = 50000;
inline constexpr int kRifCodeCannotWrite = 3250;
inline constexpr int kRifCodeCannotOpen = 3251;
inline constexpr int kRifCodeBadLine = 3252;

// Creates the file anew with the radius record (engine units in, output units written). 0 with
// generation off; 1 written, or with a layer name (nothing written); -1 after code 3250.
int rifWriteRadius(double radius);
// Appends a contour (engine units; header may be null): 0 with generation off or for an empty
// contour; 1 written, or appended to the layer of that name; -1 when the file cannot be opened
// or the layer refuses it. The caller's elements stay untouched.
int rifWriteContour(const ContourElement* elements, int n, const ContourHeader* header);
// Reads the file: 0 with evaluation off; -1 after code 3251 (cannot be opened), 3252 (a required
// number missing, an element outside a contour, the layer refusing a contour) or 3029 (more than
// kRifMaxElements elements in one contour). With a layer name each finished contour is appended to
// it in engine units and the radius scaled; otherwise the contours are dropped. Returns 1 after a
// G191 record, 2 after a G192 record (the last wins), 0 when neither came; radius (may be null)
// receives it.
int rifRead(const char* layer, double* radius);
// Offset of the first occurrence of the letter in the line when a number follows it (after a digit,
// '-' or blank), with the number in out; -1 otherwise.
int rifNumberAfter(char letter, const char* line, double* out);
