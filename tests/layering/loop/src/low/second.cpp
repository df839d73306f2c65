// second.cpp - calls the other module of the loop.
#include "low/second.h"

#include "low/first.h"

int secondValue() { return 1; }
