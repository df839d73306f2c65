// axcp_record.h - the axis-parallel pocket cycle "qdAxCp": a child of the contour-parallel cycle
// that takes every phase from it except reading the parameters and the computation, and clears
// each level with one meander of passes parallel to y (the mean path) joined along the boundary,
// with a pass once round every wall.
// Its contours are tool-centre contours: the run never offsets them by the tool radius, so it
// accepts only runs whose tool radius and plane allowance add up to 0, as the nested roughing
// runs give them.
#pragma once

#include "framework/cycle.h"
#include "geometry/lists.h"
#include "geometry/vec.h"
#include "pocket/ccp_fields.h"
#include "pocket/contour_element.h"

// The record: the contour-parallel record's layout and two fields of its own.
struct AxcpRecord {
  CcpRecord ccp;
  double clearAngle;    // read, not used by the computation
  double offsetFactor;  // read, not used by the computation
};
static_assert(offsetof(AxcpRecord, ccp) == 0);

// The qdAxCp record (parent: the qdCCP record). Never null.
CycleRecord* axcpCycleRecord();
// The record's own values back to those at load (texts freed); the framework's part is kept.
void axcpRecordReset();

// Largest |R + plane allowance| (in unscaled lengths) of a tool-centre run.
inline constexpr double kAxcpCentreTol = 0.001;
// The angle step of the arc division: one degree.
inline constexpr double kAxcpArcStep = 0.017453292519943295;

// Phase slots.
// The contour-parallel parameters, then "clearAngle" and "offsetFactor"; infeedRadius and
// filletRadius become 0 and completePocket false. Returns 1; 0 when the parent's reading failed.
// The record's parent link is lent to the parent's parent while that reading runs and restored
// on every exit.
int axcpReadParameters(CycleRecord* cycle);
// The legacy options of a ".CFG" source, then the record's read-parameters slot (its result).
int axcpReadCfgParameters(CycleRecord* cycle);
// All passes and levels. Returns 1; 0 after "103", "207", or a run refused with code 3021 (the
// contours are not tool-centre contours: R + plane allowance is not 0).
int axcpRun(CycleRecord* cycle);

// Pockets MAIN when axcpRunState is 1 (axcpPocketMain's result); 1 without doing anything for 2;
// -1 otherwise. Any state other than 1 sends code 3021 once per run.
int axcpPocketLevel(CycleRecord* cycle);
// "*AXIS_POCKET" of the global parameter block.
int axcpRunState();
// The meander of MAIN. Returns 0 after output; -1 after code 3020 (no memory, conversion) or 3213
// (nothing to compute); the mean path's code after 3051 (-202) or 3020 (others).
int axcpPocketMain(CycleRecord* cycle);
// Appends the contour as one loop of point indices (closed by the first index again). Every
// element, the last one included, contributes its points; the last element's end is the first
// point. Returns 0 (also for count <= 0); -1 out of memory.
int axcpElemsToPoints(const ContourElement* elements, int count, IntList* indices, Pt2List* points);
// Appends the points of an arc after its start: one per degree of its sweep, then its exact end
// (only the end for a radius below 0.0001). withEnd 0 leaves the end out. Returns 1; -1 out of
// memory.
int axcpArcToPoints(IntList* indices, Pt2List* points, const ContourElement& arc, int withEnd = 1);
// The sweep of an arc in its direction, in (0, 2 pi]; 2 pi for an arc whose ends agree.
double axcpArcSweep(const ContourElement& arc);
// Writes the path: header, runs of lines between the indices (-1 ends a run and makes the next
// one a new start), the level end. moved: the path begins with a line from given. Returns 0.
int axcpOutputPath(CycleRecord* cycle, const IntList* indices, const Pt2List* points, int moved,
                   const Point2D& given);

// Test seam: the run's report flags back to the state at load.
void axcpResetState();
