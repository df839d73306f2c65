// step_opt_mark.h - the support of the optimised step levels around one flat level: the flat-face
// test, the marking of the level raster where the flat slicing tool touches a flat face (bucket
// grid, box trees, or every triangle), and the writing of a level's traced outlines, clipped to
// the region, into the plane-boundary file.
#pragma once

#include <cstdint>

#include "geometry/kont2d.h"
#include "geometry/raster.h"
#include "geometry/slice_records.h"
#include "geometry/triangle_grid.h"
#include "geometry/vec.h"
#include "geometry/zlevel_records.h"

struct BoxTree2D;

// Source name of the error records of the optimised step levels.
inline constexpr const char* kStepOptSource = "stepopti2";
// Minimum |normal z| of a flat face; vertex heights of a flat face agree within kStepOptFlatDz.
inline constexpr double kStepOptFlatNz = 0.99999;
inline constexpr double kStepOptFlatDz = 0.001;

// 1 when the triangle is a flat face: its plane exists, |normal z| >= minNz and the vertex heights
// agree pairwise within 0.001; else 0.
int stepOptIsPlaneTriangle(const Tri3D& tri, double minNz);

// Which of the given flat faces (candidate positions of ctx) the part covers from above:
// covered[k] = 1 when every sample point of face k (its centroid, and the points a third of the
// way from the centroid to each corner) lies in plan inside a candidate triangle that rises more
// than kStepOptFlatDz above the face there, else 0. A covered face (the part's bottom, the
// underside of an overhang, a shelf beneath one) is no flat area to cut from above, whichever
// way its corners turn: real meshes carry top faces whose corners run clockwise. Returns 1; -20
// for a null argument or a negative count; -1 when memory runs out (error record set).
int stepOptCoveredFaces(const CollCtx* ctx, const int* faces, int count, std::int8_t* covered);

// 1 when the disk of radius r about p touches the triangle in plan: vertex 0 closer than r, p
// inside (skipped for |e| <= 0.001), or the circle crosses an edge.
int stepOptDiskTouchesTriangle(const Tri3D& tri, Point2D p, double r);

// Marking of the level raster (just cleared): every cell whose disk of radius R' (the tool's)
// touches a candidate triangle becomes -1, the others stay 0; the free count is the number of 0
// cells. The three strategies give the same cells.
// Grid: 1 marked; 0 no candidates (raster unchanged); -1 the bucket grid cannot be built.
int stepOptMarkByGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice);
// Trees: 1 marked; 0 no cell touches a triangle; -1 no memory or a failed tree test.
int stepOptMarkByTrees(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice);
// Brute force: every cell against every candidate.
void stepOptMarkBrute(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice);

int stepOptDiskHitsCell(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk, Point2D p,
                        const TriangleGridCell* bucket);
int stepOptDiskHitsAny(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk, Point2D p);
// The tree strategy's callbacks: the pair handler (cell record of tree A, candidate index of tree
// B) and the element boxes.
int stepOptDiskTouchesTri(const BoxTree2D* cells, int a, const BoxTree2D* tris, int b, void* user);
void stepOptCellBox(double box[4], const BoxTree2D* tree, int element);
void stepOptTriBox(double box[4], const BoxTree2D* tree, int element);
// Bucket grid of the candidates in walk->triGrid, from 32 x 32 down to 1 x 1 cells.
// Returns 1; 0 without candidates; -1 when no size can be built (error record -1).
int stepOptBuildTriGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, SliceContext* slice);
// Enters every candidate into the cells its box grown by R' reaches. Returns 1; -1 no memory.
int stepOptFillTriGrid(CollCtx* ctx, WalkTool* tool, WalkParams* walk, const Point3D& boxMin,
                       const Point3D& boxMax);

// Writes the traced pieces of the slice context as outlines at height z: each outer path with
// the paths it directly contains is clipped to the region and appended to the plane-boundary
// file. Returns 1 written (or nothing to write); 0 for a null slice, no pieces or a null file
// name; -1 memory or file failures; the clip's negative codes (-41 self-intersecting outline).
int stepOptWriteLevelBounds(SliceContext* slice, const Kont2D* region, double z,
                            const char* planeFile, ZPathList* list, ZPath* work);
// Reads the temporary boundary file, intersects it with the region and appends the result at the
// first contour's height to the plane-boundary file. Returns 1 (also for an empty intersection);
// 0 for a null argument, or the error record's code when the file holds no contour; the
// intersection's or the append's negative code.
int stepOptClipToRegion(const char* tempFile, const Kont2D* region, const char* planeFile);

// Debug dumps of candidate triangles into "xy.3dt" in the work directory: one line of nine
// numbers per triangle. Returns 1; -1 when the file does not open (error record -1).
int stepOptDumpPairs(const RecList* pairs);
int stepOptDumpIndexed(const IntList* indices, const Tri3List* triangles);
