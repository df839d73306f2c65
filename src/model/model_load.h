// model_load.h - filling a surface model from surface files: exchange polyhedrons, STL files and
// binary facet files, mapped into the tool system, highest corner first, sorted by descending
// height with per-facet boxes and the model box; merging a second file's facets into a model,
// turning the surface groups of a version-2 facet file into sub-models, and adding a facet file
// as a sub-model with its own allowance.
//
// Loader results: 0 success (also for a file without facets: an empty model); -1 memory
// exhausted (also a failed append); -2 the file cannot be read (empty name, missing file, STL
// unreadable, no polyhedron in an exchange file, version word unreadable); -3 a facet type
// other than 3 or 4; -4 an unusable facet file (version other than 1 or 2, header cut short, a
// record count that is zero, negative or more than the file holds, a record cut short). A
// failed loader releases everything it built, leaves the model without facets and sends
// message 1107 naming the reason and the file; no partial model is left behind.
#pragma once

#include "model/surface_model.h"

// Loads one surface file by its name and the model's facetType: a name ending in qdx is an
// exchange file; otherwise a name ending in stl is an STL file, any other a binary facet file
// (groups ignored). The model's earlier facets, box arrays, grid and sub-models are released
// first (call it on a model that owns its contents or has none).
int modelLoadFile(SurfaceModel* model, const char* path);
// As modelLoadFile, but a binary facet file goes to the structured loaders: each surface group
// of a version-2 file becomes a sub-model with the group's allowance (times the unit factor)
// applied to a copy of the model's cutter by the mode; the model keeps no facets of its own.
int modelLoadFileEx(SurfaceModel* model, const char* path, int allowanceMode);
// Loads the file, then the extra file into a fresh model of the same type and cutter, and
// appends its facets. A failed extra file leaves the model as loaded (result 0); a failed append
// frees the model's contents (-1).
int modelLoadWithExtra(SurfaceModel* model, const char* path, const char* extraPath);
// As modelLoadWithExtra, with modelLoadFileEx for the first file.
int modelLoadMerged(SurfaceModel* model, const char* path, const char* extraPath,
                    int allowanceMode);
// The model keeps no facets: the first file becomes the first sub-model (allowance 0, not
// additional; its failure is returned), the second and third (when named; failures ignored)
// sub-models with the allowance, marked additional. The model box is the union of theirs.
int modelAddSubModels(SurfaceModel* model, const char* path, const char* secondPath,
                      const char* thirdPath, int allowanceMode, double allowance);
// modelLoadFileEx of the first file; the near file (when named) loaded the same way and merged
// with modelMergeSubModels; the extra file (when named) added as an additional sub-model with
// the allowance; the model box grown over the sub-models. Only the first file's failure counts.
int modelLoadWithSubModels(SurfaceModel* model, const char* path, const char* nearPath,
                           const char* extraPath, int allowanceMode, double allowance);
// Reads a binary facet file as one new sub-model at the end of the chain: facets of the given
// type (four-corner records as read, or each record as the triangles (c0, c1, c2) and
// (c0, c2, c3)), mapped into the tool system, sorted, with box arrays, box and its own grid of
// about 30 cells; cutter = the model's with the allowance applied by the mode.
// Returns 1; -3 for a facet type other than 3 or 4; otherwise the loader failures above.
int modelAddSubModelFile(SurfaceModel* model, const char* path, double allowance, int allowanceMode,
                         int facetType, int additional);
// Appends the facets of another model of the same type, re-sorts, rebuilds the box arrays and
// the model box, and drops the stale grid. Returns 0; -1 for null models, different types or
// memory exhausted (the model is then left unchanged).
int modelAppendFacets(SurfaceModel* model, SurfaceModel* other);
// Moves the other model's sub-models to the end of the model's chain (each with the allowance
// applied by the mode and marked additional), and copies the other model's own facets, when it
// has the model's type, into one more additional sub-model with the other's cutter. Returns 0;
// -1 for a null model or when memory for the copy runs out (the moved sub-models stay moved).
int modelMergeSubModels(SurfaceModel* model, SurfaceModel* other, int allowanceMode,
                        double allowance);

// Process-wide: when set, the structured loaders give every group sub-model allowance 0.
void modelSetIgnoreGroupAllowance(int flag);

// Progress of the facet-file loaders: (records read, records in the file). Nothing in the
// library installs one; the loaders call it only when one is installed.
using ModelProgressHook = void (*)(int done, int total);
void modelSetProgressHook(ModelProgressHook hook);
void modelClearProgressHook();
ModelProgressHook modelGetProgressHook();

// 1 when the name's last '.' is followed by exactly three characters equal to "stl" (or "qdx"),
// letters compared without case; else 0 (also for null).
int isStlFileName(const char* name);
int isQdxFileName(const char* name);

// The exchange loaders: the file's polyhedrons gathered by the cycles' mesh loaders (mapped into
// the tool system), taken over by the model. Return 0; -2 when the file cannot be read, holds no
// polyhedron, has a corner that is not a finite number, or memory runs out.
int modelReadQdxTris(const char* path, SurfaceModel* model);
int modelReadQdxQuads(SurfaceModel* model, const char* path);

// What the last plain or structured load did with the facets of the file: facets (STL facets or
// facet-file records) read; dropped by the face filter; passed over (facet-file records of no
// group, and the empty second triangle of a record that holds a triangle); facets stored.
struct ModelLoadStats {
  long long read;
  long long filtered;
  long long passedOver;
  long long stored;
};
ModelLoadStats modelLastLoadStats();

// Receiver of the load reports (message number and argument text) in place of the framework's
// message sending, for tests; null sends them as framework messages.
using ModelLoadReportFn = void (*)(int number, const char* argument);
void modelLoadSetReportFn(ModelLoadReportFn fn);

// Test seam: no hook, no receiver, unit factor 1, group allowances used, statistics cleared.
void modelLoadResetState();
