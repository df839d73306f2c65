// pko_map.h - turns the contact ids of traced segments into running triangle indices over the
// model and its sub-models. The walker's ids index the candidate context's allowance pair lists,
// whose pairs carry triangle addresses; the answer needs the model's triangle lists, which is why
// this lives with the surface model rather than with the traced segment list.
#pragma once

#include "geometry/pko_list.h"
#include "geometry/slice_records.h"
#include "geometry/zlevel_records.h"

// The running index of the triangle behind a contact id: its position within the model's
// triangles, or the model's triangle count plus its position within the sub-model lists in chain
// order. The triangle address comes from pair index of the wall-allowance list when the tool is a
// flat end mill or |kind| is 4, else of the triangle-allowance list.
// Returns 0 when the walk's sub-model mode is not exactly 1 (ids are left as they are); -1 for a
// negative index, an index outside the pair list, a missing context, list or model, or an
// address that is none of the model's or sub-models' triangles.
int pkoMapTriangleIndex(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                        const SliceContext* slice, int index, int kind);

// With the sub-model mode exactly 1, replaces every id of 0 or more of the slice's traced
// segments from index from on by pkoMapTriangleIndex of that id and the segment's kind. Returns
// the number of ids replaced; 0 in other modes or for a null walk, slice or traced list.
int pkoMapTriangleIndices(const CollCtx* ctx, const WalkTool* tool, const WalkParams* walk,
                          SliceContext* slice, int from);
