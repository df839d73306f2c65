// zpath_pko.h - conversion between the traced segments of a level (PkoList) and Z paths. The
// roughing turns every traced piece into a path; the pocketing steps collect the paths of one
// batch back into one segment list for their finishing pass, leaving out the stretches along
// the machining boundary. Point j of a closed path is the end of one traced segment and carries
// that segment's contact, id and kind.
#pragma once

#include "geometry/pko_list.h"
#include "geometry/zlevel_records.h"

// Fills the path (count 0, z set by the caller) from the traced segments [first, end): the end
// point of each segment with its contact, id and kind under the append rule (merging is off for
// pieces of fewer than 10 segments). When the last point lies within 0.1 of the first segment's
// start the path is closed; otherwise it is open (orientation 0) and gets that start as an extra
// point without contact. The last point then becomes the first. A closed path gets its
// orientation and material side; repeated points are dropped and the area computed. The merge
// length is the same after the call as before. Returns 1; 0 for a null or empty list; -1 for a
// null path or when the path cannot grow; -20 for a range that is empty or outside the list.
int zpathFromPko(ZPath* path, const PkoList* list, int first, int end);

// Appends the path's edges to the list at the path's z, each with the contact, id and kind of
// the point it ends at, leaving out the edges that end on an outer boundary point (id -2, kind
// -1) and, unless bit value 1 of mode is set, on any boundary point (id -2). The walk starts at
// the last boundary point before the first point that follows an outer boundary stretch, and the
// new run is rotated to begin after its first gap (above 0.001), so each piece is contiguous.
// Returns 1; 0 for a null path or one with fewer than 3 points; -1 for a null list or when the
// list cannot grow (the list as it was, its box included).
int zpathToPko(PkoList* list, const ZPath* path, int mode);
