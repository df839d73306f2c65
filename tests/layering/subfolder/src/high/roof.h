// roof.h - a module above the floor.
#pragma once

inline int roofValue() { return 1; }
