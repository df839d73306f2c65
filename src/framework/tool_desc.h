// tool_desc.h - the tool description at the start of a cycle's output: the tool with its type,
// dimensions, feeds and reference, the holder and the machine head with their outlines (layer 11
// lines in exchange-element syntax), the tool frame (layer 0) and the tool-change control values
// (layer 10). Values come from the parameters or, for a ".CFG" source, from its entries.
#pragma once

#include <cstdint>
#include <cstdio>

#include "framework/cycle.h"

// Kinds of outline elements.
inline constexpr std::int32_t kToolElemStart = 0;
inline constexpr std::int32_t kToolElemLine = 1;
inline constexpr std::int32_t kToolElemArcCw = 2;
inline constexpr std::int32_t kToolElemArcCcw = 3;

struct ToolOutlineElem {
  std::int32_t kind;
  double x, y;    // end point
  double cx, cy;  // arc centre (0 for the start point and lines)
};

// An outline: a start point followed by lines and arcs. Grows by 32 elements.
struct ToolOutline {
  std::int32_t count;
  std::int32_t capacity;
  ToolOutlineElem* elements;
};

// Outlines of the work record, in this order.
enum ToolOutlineIndex : int {
  kToolOutlineTool,
  kToolOutlineExtrusion,
  kToolOutlineHolder,
  kToolOutlineHead
};

// The cycle's work record (CycleRecord::toolWork), from its "cycle" record to its end record.
struct ToolDescWork {
  ToolOutline outlines[4];
};

// Allocates the cycle's work record (a former one is released first); when the cycle's
// toolChangeBlocks flag is 1 and a stream is given, writes the description from the ".CFG"
// entries for a ".CFG" source, else from the parameters. The stream only says that output is on;
// the lines go out as records. Returns 1 written; 0 nothing to write; -1 no memory.
int toolDescWrite(std::FILE* stream, CycleRecord* cycle);

// Write the description from the parameters or from the ".CFG" entries; allocate the work record
// when the cycle has none. A value that must be a number but is not finite ("inf", "nan",
// "1e400") writes nothing: the run fails (cycFailWithMessage, message kCycMsgBadValue naming the
// parameter or key). Return 1 written; 0 failed so; -1 when the cycle is null or memory fails.
int toolDescFromParams(CycleRecord* cycle);
int toolDescFromCfg(CycleRecord* cycle);

// Frees the element arrays of the four outlines and zeroes them; accepts null.
void toolDescFreeWork(ToolDescWork* work);
// Frees the cycle's work record with its outlines; the pointer becomes null.
void toolDescRelease(CycleRecord* cycle);

// Clears the four outlines and fills them from the "Contour" objects "Tool", "Extrusion",
// "Holder" and "Head" (any case) of the exchange file at path. Returns 1 when the file was read;
// 0 for a null path or work record or an unreadable file (the outlines stay empty).
int toolDescBuildOutlines(const char* path, ToolDescWork* work);

// Outline builders. Start: only into an empty outline. Line and arcs: only after the start.
// Return 1 added; 0 refused or no memory (the outline keeps what it has).
int toolOutlineStart(ToolOutline* outline, double x, double y);
int toolOutlineLine(ToolOutline* outline, double x, double y);
int toolOutlineArc(ToolOutline* outline, int clockwise, double x, double y, double cx, double cy);

// Writes an outline of at least two elements as layer-11 text lines, each beginning with prefix.
// Returns the number of lines; 0 for a shorter outline.
int toolDescWriteContour(CycleRecord* cycle, const char* prefix, const ToolOutline* outline);
