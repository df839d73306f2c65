// first.cpp - calls the other module of the loop.
#include "low/first.h"

#include "low/second.h"

int firstValue() { return 1; }
