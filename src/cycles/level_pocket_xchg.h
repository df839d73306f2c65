// level_pocket_xchg.h - the exchange file "tmp.qdx" that a nested pocket cycle reads as the
// geometry of one level: pocket contours (the level's tool-centre paths, numbered), stock
// contours (the region outline and islands) and, in stock mode, pocket contours rebuilt where
// pockets run along the outline. Edges on the region's own boundary are enclosed in clip marks.
//
// Process state: the id counters of the two writers and the counter of the debug copies; they
// live for the whole process (zcontResetState is a test seam only).
#pragma once

#include <cstdio>

#include "geometry/bucket_grid.h"
#include "geometry/kont2d.h"
#include "geometry/lists.h"
#include "geometry/zlevel_records.h"

// Result codes besides 1 written and 0 nothing to write.
inline constexpr int kZcontOddTransitions = -27;  // an odd number of outline transitions
inline constexpr int kZcontWalkFailed = -46;      // a partner not found, a contour too long, a loop
// Distance within which a segment midpoint counts as lying on the region's boundary.
inline constexpr double kZcontOnRegionTol = 0.001;
// Most points a contour rebuilt along the outline may hold.
inline constexpr int kZcontMaxRebuiltPoints = 1000000;

// Writes the exchange header: the project's banner, "qDX-Version: 1.0", "Geometry",
// "ruzmilhc" and an empty line, "vprecision(8) ; Nachkommastellen" and an empty line. Returns 1.
int zmilWriteHeader(std::FILE* f);

// Writes one contour of the region (its own segments, no islands) as a stock contour enclosed in
// clip marks; extra points are projected onto the contour (the list's points are replaced by
// their feet) and written between the vertices in the order of the contour parameter.
// Returns 1; 0 for fewer than 3 segments or no file; -1 no memory.
int zcontWriteStockContour(std::FILE* f, const char* id, const Kont2D* contour, Pt2List* extra);
// Writes a path as a pocket contour, one line per segment (the closing one included), runs of
// segments on the region's boundary (zcontPointInRegions) enclosed in clip marks; "vstock(true)"
// when the id is "stock". Returns 1; 0 for an empty path or no file.
int zcontWriteContour(const char* id, std::FILE* f, const ZPath* path, const Kont2D* region);
// zcontWriteContour for an arc flag of 0 or a tolerance below 0.001. Otherwise, on a copy of the
// path (the caller's stays as it is), runs of points off the boundary are merged into lines that
// bend less than 0.5 radians per point and stay within the tolerance, and with an arc flag of 1
// into arcs of at least 5 points and radius up to 1000 that stay within half the tolerance (the
// longer run wins, the arc on a tie). The elements go out in full form ("oL( x[s/e] y[s/e] )",
// "oA( o[+] x[s/e/c] y[s/e/c] )") first and where a clip run starts or ends, else in short form
// (end, and centre for arcs). Returns 1; 0 for an empty path or no file; -1 no memory.
int zcontWritePocketContour(const char* id, std::FILE* f, const ZPath* path, int arcFlag,
                            double tolerance, const Kont2D* region);

// 1 when the midpoint of the segment (x0, y0)-(x1, y1) lies within kZcontOnRegionTol of a segment
// of any region of the list (next links) or of any of their islands, else 0. Plain scan over
// every segment.
int zcontPointInRegions(const Kont2D* regions, double x0, double y0, double x1, double y1);

// The same question answered through a bucket grid over the boundary segments of a region list:
// identical answers, without scanning every segment per query.
struct ZcontRegionIndex {
  Seg2D* segments;
  int count;
  BucketGrid* grid;
};
// Builds the index (a list without segments gives an empty index). Null when memory runs out.
ZcontRegionIndex* zcontRegionIndexBuild(const Kont2D* regions);
int zcontPointInRegionsIndexed(const ZcontRegionIndex* index, double x0, double y0, double x1,
                               double y1);
void zcontRegionIndexFree(ZcontRegionIndex* index);

// Ascending order of two doubles for lstSort: -1, 1 or 0.
int zcontCompareDoubles(const void* a, const void* b);
// The boundary-region test of the midpoint against the module's boundary-region list (within
// 0.01). That list is never filled in this system, so the answer is always 0.
int zcontPointInside(double x0, double y0, double x1, double y1);

// Writes the level's exchange file for the contour-parallel cycle: without paths the region's
// outline ("stock") and islands (counter ids) as stock contours; with paths each path as a
// numbered pocket contour (in stock mode, "*STOCK_MODE" not 0, paths touching the outline are
// rebuilt into closed contours following the outline backwards), then the outline and the
// islands as stock where the paths leave material to them. Boundary points of the paths (id
// negative, within 0.001 of the region's boundary) get id -2 and the boundary's index as kind.
// The region's z and the paths' merge length are changed only while writing; in stock mode the
// caller's paths are not changed beyond the boundary marks. ignored is not read.
// Returns 1 written; 0 when path or region is missing or the region has no segments; -1 file or
// memory; kZcontOddTransitions; kZcontWalkFailed (error record set for every failure).
int zcontWritePocket(const char* path, Kont2D* region, ZPath* paths, int count, int ignored);
// As zcontWritePocket for the axis-parallel cycle: no stock mode, the region turned for the
// duration to the orientation "*SEITE" asks for, and with "*FINISH_PASS" 3 every contour written
// also appended to "finpa3bnd.bnd" in "*TMP_DIR" (removed first). Its own id counter.
int zcontWriteAxisPocket(const char* path, Kont2D* region, ZPath* paths, int count, int ignored);

// The last id each writer gave (test seam for the counters that live for the process).
int zcontPocketCounter();
int zcontAxisCounter();
// Test seam: counters back to 0.
void zcontResetState();
