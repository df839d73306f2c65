// proj_bnd.h - machining boundaries from 2D curves projected onto the part: a ball of the
// finishing radius is dropped along each curve in a given direction and the ball positions are
// written as boundary blocks into "proj.bnd" in the work directory.
#pragma once

#include <cstddef>
#include <cstdio>

#include "geometry/vec.h"

struct SurfaceModel;
struct PathList;
struct GuideCurve;

// Room of the boundary name the caller passes to projBndCreate, its NUL included.
inline constexpr std::size_t kProjBndNameMax = 1024;

// Projects the curves of the file named by name (in: the curve file) onto the model (model file,
// optional second surface file, extra surface file used when extra is set, loader chosen by the
// second file, extra and multi) along direction with a ball of the radius, and writes the blocks
// to "proj.bnd" in workDir. On success name becomes that path (it must have room for
// kProjBndNameMax characters) and the result is 1. -1 for a null direction, a singular frame, an
// unreadable model or curve file, no memory, an unwritable file or a drop that failed on any
// curve; name is then unchanged. The unit factor and the coordinate-system scale are put back on
// every exit; the projection frame stays installed.
int projBndCreate(char* name, const char* modelFile, const char* secondFile, const char* extraFile,
                  const char* workDir, int extra, int multi, const Point3D& direction,
                  double radius);
// Installs the frame whose z axis is the direction as NC frame and tool system. Returns 1; -1
// for a null direction or a singular frame.
int projBndFrame(const Point3D& direction);
// Drops along every curve of the list (the model's profile is restored afterwards) and writes
// one block per curve to path. Returns 1; -1 when the file does not open or a drop fails (the
// file then keeps the blocks of the curves before).
int projBndWrite(SurfaceModel* model, GuideCurve* curves, const char* path);
// One "**BND 1" block of the list's positions in world coordinates. Returns 1.
int projBndWriteBlock(const PathList* list, std::FILE* f);
// The debug exchange file's header, and one contour of the list's positions.
void projBndDebugHeader(std::FILE* f);
void projBndDebugContour(const PathList* list, std::FILE* f);
