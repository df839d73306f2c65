// drop_net.h - drop nets: a rectangular grid of plan nodes with, per node, the tool tip height at
// which a tool lowered onto the surface model comes to rest there, a valid flag and a slope flag
// (0 when the tool rests on the part right under its axis, a horizontal face). The roughing builds
// a FloatDropNet per region for its plane levels, plunge points and free-cell rasters; the
// flat-area finder and the automatic tilt build DropNets of double heights.
//
// Both kinds share one fill: one profile drop per column, the nodes picked out of its samples by
// parameter. Heights, steps and tolerances are in internal units (tool radius 10).
//
// Run state: the two slope tolerances (0.01 at load), reset at the start of every top-level run.
#pragma once

#include <cstdint>

#include "geometry/zlevel_records.h"

struct SurfaceModel;
struct Boundary;
struct Raster;
struct StockGrid;
struct ToolProfile;

// A drop net of double heights; header as FloatDropNet.
struct DropNet {
  double x0, y0;  // origin
  std::int32_t rows;
  std::int32_t cols;
  double rowStep;        // along y
  double colStep;        // along x
  double** height;       // rows row pointers, each to cols heights
  std::int16_t** valid;  // 1 when the node holds a dropped height
  std::uint8_t** slope;  // 0 when the tool rests on the part right under its axis, else 1
};

// Slope tolerance of both kinds at load and after a reset.
constexpr double kDropNetSlopeTolDefault = 0.01;
// Result of fDropNetipol for a point outside the grid's cells.
constexpr int kDropNetOutside = -202;
// The line logged through the error record for such a point.
inline constexpr const char* kDropNetIpolLog = "fDropNetipol gescheitert";

// ---- creation -----------------------------------------------------------------------------------

// A new net with every height 0 and every flag 0. Null for rows or cols below 1, a size beyond
// memory, or when any allocation fails (nothing left allocated).
DropNet* dropNetNew(double x0, double y0, int rows, int cols, double rowStep, double colStep);
FloatDropNet* fDropNetNew(double x0, double y0, int rows, int cols, double rowStep, double colStep);
// Frees every row, the three row tables and the record. Returns 0 (also for null). Never for a
// header-only net.
int dropNetFree(DropNet* net);
int fDropNetFree(FloatDropNet* net);
// Copies origin, rows, cols and both steps into out and sets its three table pointers to null: a
// header that the caller owns and never passes to fDropNetFree. Null arguments are ignored.
void fDropNetCopyHeader(const FloatDropNet* net, FloatDropNet* out);

// ---- fill ---------------------------------------------------------------------------------------

// Lowers the tool of radius R and corner radius Rc onto a working copy of the model at every node,
// column by column (one profile drop along each column with the net's row step as step and
// tolerance; slope stop and step jitter off, boundary-neighbourhood check off, the clip boundary
// or none; the miss report only with a clip boundary). The intervals of the clip and its islands
// along each column are computed afresh. Every node whose row parameter the drop
// sampled gets height = dropped height - Rc, valid 1 and its slope flag; nodes not reached keep
// their values. A DropNet skips samples in a gap of the clip boundary and uses the four-corner
// drop for a model that is not a triangle model; a FloatDropNet always uses the triangle drop.
// Slope flag: 1 when the drop touched nothing at the node, else 1 when the contact lies at least
// the tolerance away from the node in x or in y, else 0.
// dropNetBuild returns 0; -1 for a null net, model or cutter, a net without tables, a row step
// that is not positive or not finite, a column step or origin not finite, or when a copy, point
// list, profile or drop fails (everything freed); -2 when the interrupt check reports a break
// before a column (the columns done stay filled).
int dropNetBuild(DropNet* net, const SurfaceModel* model, Boundary* clip, double radius,
                 double cornerRadius);
// The same for a FloatDropNet (not interruptible): 0, or -1.
int fDropNetFill(FloatDropNet* net, const SurfaceModel* model, Boundary* clip, double radius,
                 double cornerRadius);

// The slope tolerances of DropNet and FloatDropNet fills.
void dropNetSetSlopeTol(double tolerance);
void fDropNetSetSlopeTol(double tolerance);
double dropNetSlopeTol();
double fDropNetSlopeTol();

// ---- reading ------------------------------------------------------------------------------------

// Height at (x, y) on the plane through three nodes of the cell that holds the point: row =
// trunc((y - y0) / rowStep), col likewise (toward zero, so up to one step before the origin maps
// to row or column 0); the cell is split along its diagonal (row, col)-(row + 1, col + 1). Valid
// flags are not consulted. Returns 1 with the height in out; 0 when the point lies in neither
// triangle; kDropNetOutside (logging kDropNetIpolLog) unless 0 <= row < rows - 1 and
// 0 <= col < cols - 1, which covers a step of 0 or a coordinate that is not a number; -20 for a
// null net, table or out.
int fDropNetipol(const FloatDropNet* net, const Point2D& p, double* out);
// The node nearest to p, clamped to the grid; between two rows (or columns) exactly, the lower.
// Returns 1; -20 for a null net or output.
int fDropNetNearestNode(const Point2D& p, const FloatDropNet* net, int* row, int* col);

// Marks the raster cell of every node (the raster has the net's rows and cols): -2 when the node
// is not valid, -1 when z + 0.00001 < height, else 0 and the raster's free count grows by one.
// Returns 0; -20 for a null net, table or raster, or sizes that differ.
int dropNetToRaster(const DropNet* net, double z, Raster* raster);
int fDropNetToRaster(const FloatDropNet* net, double z, Raster* raster);

// ---- files --------------------------------------------------------------------------------------

// The net files, little-endian without padding: x0, y0 (f64), rows, cols (i32), rowStep, colStep
// (f64), then per node in row-major order the height (f64 or f32), valid (i16 or u8) and slope
// (u8).
constexpr int kDropNetFileHead = 40;
constexpr int kDropNetFilePerNode = 11;
constexpr int kFDropNetFilePerNode = 6;

// Writes the net file ("wb"); a null net writes an empty file. Returns 1; -1 for a null name, a
// file that does not open or a short write.
int dropNetSave(const DropNet* net, const char* fileName);
int fDropNetSave(const FloatDropNet* net, const char* fileName);
// Reads a net file into a new net. Null for a null name, a file that does not open, rows or cols
// below 1, more nodes than the file holds, a short read or no memory.
DropNet* dropNetLoad(const char* fileName);
FloatDropNet* fDropNetLoad(const char* fileName);
// Text file ("w"), rows outer, columns inner, one line per node: x, y, height with six decimals,
// valid, slope ("%lf %lf %lf %d %d" and "%lf %lf %f %d %d", "C" locale). Returns 1; -1 for a null
// net or name, a file that does not open or a short write.
int dropNetDump(const DropNet* net, const char* fileName);
int fDropNetDump(const FloatDropNet* net, const char* fileName);

// ---- profile drop onto a stock grid -------------------------------------------------------------

// Sets every node to height floor and valid 1 (slope flags untouched), then, columns outer and
// rows inner, lifts each node by fDropNetProfileLift over the point of every grid cell under the
// square of half-width profile->rmax around the node. Returns 0; -1 for a null net, table or
// grid, or without a profile or with an empty one.
int fDropNetDropProfile(FloatDropNet* net, const StockGrid* grid, const ToolProfile* profile,
                        double floor);
// One point of that drop: with d the plan distance of node and point, the profile height at d
// (segments from the last back: past the last segment's r2 the point lies beyond the profile;
// a segment with r2 < d gives its z2; one with d > r1 - 0.00001 gives z interpolated along it, z1
// when |r2 - r1| < 1e-8; before the first segment its z1). The height becomes point z - profile
// height when that is larger. Returns 1 when the height was raised; 0 otherwise; -1 for a null
// or empty profile or a null height.
int fDropNetProfileLift(const ToolProfile* profile, const Point3D& node, const Point3D& point,
                        double* height);

// Test seam and run-start reset: both slope tolerances back to 0.01.
void dropNetResetState();
