// rough_net_levels.h - plane levels from a drop net: every flat node of the net (valid, slope 0)
// gives a plane level at its height. The roughing controller and the flat-area finder call it
// with the cutter's corner radius as offset, since levels are corner-centre heights and nets hold
// tool tip heights.
#pragma once

#include "zlevel/drop_net.h"
#include "zlevel/zlevel_list.h"

// For every node that is valid and has slope flag 0, in row-major order: zlevInsert (list, node
// height + offset, "*MIN_STEPDOWN", plane). Returns 1; -1 for a null list or net, a net without
// tables, or when an insertion fails.
int roughLevelsFromNet(ZLevelList* list, const DropNet* net, double offset);
