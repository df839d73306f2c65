// pock_scale.h - small-tool scaling of the pocketing engine. The engine's tolerances are absolute,
// too coarse for very small tools and inch units, so such a pocket is computed enlarged by one
// factor (pockEngine().scaleFactor, 1 for none) and every coordinate sent is divided by it.
#pragma once

#include "pocket/contour_element.h"

// While the factor lies within this distance of 1 every scaling operation does nothing.
inline constexpr double kScaleIdentityTol = 0.00001;

// Sets the factor from the engine's tool radius r (pockToolRadius): 500 when 25 r is below 0.1,
// else 50 when 25 r is below 2.5, else 25. Returns the factor.
double scaleChooseFactor();
// Factor back to 1.
void scaleReset();
// Multiplies (scale) or divides (unscale) the length in place by the factor; null is ignored.
void scaleValue(double* length);
void unscaleValue(double* length);
// Every coordinate of the element: a line's start and end, an arc's centre, start and end and its
// radius. Null is ignored.
void scaleElem(ContourElement* element);
void unscaleElem(ContourElement* element);
// scaleElem or unscaleElem on each of the n elements.
void scaleContour(ContourElement* elements, int n);
void unscaleContour(ContourElement* elements, int n);
// Scales every contour of the layer with its allowance, each stored back at its index.
// Returns 1; 0 for an unknown layer or when a contour cannot be read or stored back (the contours
// before it stay scaled).
int scaleLayer(const char* name);
