// rest_switches.h - the rest machining calls the ring builders make while rest evaluation and rest
// file generation are switched off: the reference-tool test accepts every loop and the rest file
// writes nothing. The pocket cycle refuses evaluation and generation until they exist.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/rest_file.h"

// The reference-tool test of a ring loop: 1 (accepted) while rest evaluation is off.
int restCheckReference(const ContourElement* loop, int m);
