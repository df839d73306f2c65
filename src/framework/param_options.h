// param_options.h - frame options of the pocketing parameters that the framework's source loaders
// share: an axis direction read as a unit vector, and the tool frame keys completed from the NC
// frame keys of the same letter.
#pragma once

#include "framework/cycle.h"
#include "framework/param_list.h"

// Walks list for entries named name (exact, case-sensitive). For each, reads three numbers from
// its value (numParse3); when exactly three were read and their length exceeds 1e-8, stores the
// vector divided by its length in x, y, z (otherwise the outputs keep their values). With
// firstOnly 1 only the first entry of that name is looked at, usable or not; otherwise the last
// usable entry in list order wins. A value with an infinite component is not usable. Null
// outputs are skipped.
void parOptionUnitVector(const ParamNode* list, const char* name, int firstOnly, double* x,
                         double* y, double* z);

// For each pair "frameCs_x"/"toolCs_x", "frameCs_y"/"toolCs_y", "frameCs_z"/"toolCs_z",
// "frameCs_o"/"toolCs_o" of the record's parameter list: when there is no tool entry and there is
// a frame entry, sets the tool name to the value of the last frame entry in list order, with kind
// 31 (parListSet). Accepts null.
void parToolCsFromFrameCs(CycleRecord* cycle);
