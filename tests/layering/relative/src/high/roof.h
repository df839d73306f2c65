// roof.h - a module above the floor that reaches its header by a relative path, which the layering
// check must report.
#pragma once

#include "../low/floor.h"

inline int roofValue() { return floorValue() + 1; }
