// roof.h - a module above the floor that includes a project header in angle brackets, which the
// layering check must report; the system header beside it is fine.
#pragma once

#include <low/floor.h>

#include <cstdlib>

inline int roofValue() { return std::abs(floorValue()) + 1; }
