// walker.cpp - the walker's entry points are defined with their parts: the step search in
// walker_step.cpp, the walk and the tracing in walker_trace.cpp.
#include "zlevel/walker.h"
