// cycle_stubs.h - the two empty routines that stand wherever an optional step of the cycles does
// nothing: a slot or hook of any signature takes them (the arguments are deduced from the slot's
// type), so one name serves every place.
#pragma once

// Does nothing.
template <typename... Args>
void stubNoop(Args...) {}

// Does nothing and returns 0 (the common 3D cycle's positional-arguments slot, lookups that find
// nothing).
template <typename... Args>
int stubReturnZero(Args...) {
  return 0;
}
