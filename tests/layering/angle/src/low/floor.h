// floor.h - a floor module.
#pragma once

inline int floorValue() { return 1; }
