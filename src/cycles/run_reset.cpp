// run_reset.cpp - the list of run-start resets. A module that keeps run state for the process
// adds its reset to kModuleResets; a static record of the 3D chain adds its row to kRecordResets.
#include "cycles/run_reset.h"

#include "cycles/approach_macro.h"
#include "cycles/cyc3d_record.h"
#include "cycles/emit_region.h"
#include "cycles/level_out.h"
#include "cycles/level_pocket.h"
#include "cycles/rough_control.h"
#include "cycles/rough_emit.h"
#include "cycles/rough_grid.h"
#include "cycles/rough_main.h"
#include "cycles/rough_region.h"
#include "cycles/rough_setup.h"
#include "cycles/rough_standins.h"
#include "cycles/rpx5_record.h"
#include "cycles/rupp_calls.h"
#include "cycles/rupp_record.h"
#include "cycles/stock_model.h"
#include "cycles/zfin_record.h"
#include "cycles/zmil_fit.h"
#include "framework/cfg_reader.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/param_file.h"
#include "geometry/arc_fit.h"
#include "geometry/arc_rewrite.h"
#include "geometry/boundary.h"
#include "geometry/cont_file.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/geo_files.h"
#include "geometry/geo_random.h"
#include "geometry/kont2d.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_files.h"
#include "geometry/lists.h"
#include "geometry/path_list.h"
#include "geometry/pko_list.h"
#include "geometry/seg_offset.h"
#include "geometry/seidel.h"
#include "geometry/stel_list.h"
#include "geometry/tool_axis.h"
#include "model/coll_candidates.h"
#include "model/coll_object.h"
#include "model/drop_cutter.h"
#include "model/facet_file.h"
#include "model/holder_model.h"
#include "model/mesh_load.h"
#include "model/model_load.h"
#include "model/path_collision.h"
#include "model/point_drop.h"
#include "model/polyhedron.h"
#include "model/profile_drop.h"
#include "model/profile_sample.h"
#include "model/surface_model.h"
#include "model/tool_assembly.h"
#include "model/wcoll_contact.h"
#include "output/geo_source.h"
#include "output/out3d_state.h"
#include "output/pof_reader.h"
#include "pocket/axcp_record.h"
#include "pocket/ccp_record.h"
#include "pocket/ccp_rest.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/corner_rounding.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/link_stack.h"
#include "pocket/mean_path.h"
#include "pocket/offset_rings.h"
#include "pocket/open_entry.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pocket_grouping.h"
#include "pocket/ring_linker.h"
#include "pocket/ring_loops.h"
#include "pocket/tangent_link.h"
#include "zlevel/closed_paths.h"
#include "zlevel/drop_net.h"
#include "zlevel/gouge_check.h"
#include "zlevel/grid_bnd_trace.h"
#include "zlevel/spiral.h"
#include "zlevel/step_opt.h"
#include "zlevel/step_opt_flat_old.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"
#include "zlevel/zpath_fillet.h"

namespace {

using RunResetFn = void (*)();

// The static records of the 3D chain and their resets to the values at load.
struct RecordReset {
  CycleRecord* (*record)();
  RunResetFn reset;
};
constexpr RecordReset kRecordResets[] = {
    {cyc3dCycleRecord, cyc3dRecordReset},
    {zfinCycleRecord, zfinRecordReset},
    {ruppCycleRecord, ruppRecordReset},
    {rpx5CycleRecord, rpx5RecordReset},
};

// Every module whose state lives for the process and would carry one job's settings into the
// next. Left out on purpose: the framework's host, runner, POF writer and exchange writer state
// (the run itself stands on them), the memory and platform layers and test seams without run
// state. The temporary-name counter starts again at 0: the exclusive creation keeps names unique,
// and a run names its temporary files the same way every time.
constexpr RunResetFn kModuleResets[] = {
    // framework
    parRunReset,
    numResetState,
    msgRunReset,
    cfgResetState,    // the configuration reader's line buffers
    parFileRunReset,  // language files left open are closed; the run's own source is kept
    // geometry
    cycleStateResetState,
    geoFilesResetState,  // the temporary-name counter
    csysResetState,
    geoResetState,
    geoRandResetState,
    kontResetState,
    kontFilesResetState,
    lstResetState,
    pathListResetState,
    segOffsetResetState,
    triSeidelResetState,
    axisResetState,
    bndClearState,
    arcFitResetState,
    arcRewriteResetState,
    contFileResetState,
    kontBooleanResetState,  // also gives back the kept scratch blocks
    pkoListResetState,
    stelListResetState,
    // output
    out3dRunReset,
    bndDumpResetState,
    pofReadResetState,
    // surface model, tool and collision
    cyc3dMeshResetState,
    modelResetState,  // no message receiver of the surface model
    polyhedronResetState,
    facetFileResetState,
    modelLoadResetState,
    dropResetState,
    dropPointResetState,
    dropProfileResetState,
    dropProfileSampleResetState,
    collResetState,
    collCtxResetState,
    wcollResetState,
    toolAssemblyResetState,
    holderResetState,
    collObjectResetState,
    // Z-level slicing
    zpathResetState,
    zpathFileResetState,
    zpathFilletResetState,  // the fillet's search cursors
    spiralResetState,       // the tool-check switch of the spiral transitions
    arczResetState,
    dropNetResetState,  // both slope tolerances back to 0.01
    roughGougeResetState,
    stepOptRunReset,  // flat-face flags, block counter and a stale plane-boundary file
    gridBndResetState,
    stepOptOldResetState,  // the older flat finder's heights, block counter and append flag
    // pocketing engine
    pockRunReset,
    layerResetState,
    pockStackResetState,
    pockGeometryResetState,
    contOffsetResetState,   // the offset's observer, plain marking and working copy
    isectRelateResetState,  // the circle filter of the relation tests back on
    ccpRecordReset,  // the nested pocket runs of this run start from the pocket record at load
    ccpResetState,
    ccpRestResetState,  // the collected-pocket counter and the rest tolerance and reference circle
    axcpRecordReset,    // likewise the axis-parallel pocket record and its run's report flags
    meanPathResetState,
    ctreeResetState,  // the nesting tree and its element blocks are freed
    linkSearchResetState,
    ringLoopsResetState,
    ringSettingsResetState,
    ringLinkerResetState,
    tangentLinkResetState,
    pockGroupingResetState,
    ringCornerResetState,
    ringCutResetState,
    ringOpenResetState,
    pockOpenEntryResetState,
    // machining cycles
    cyc3dResetState,
    ruppRecordResetState,
    ruppResetState,
    levelPocketResetState,
    levelOutResetState,  // the same-Z collector's chain is freed
    zmilResetState,
    roughMainResetState,
    roughSetupResetState,
    roughStandInsResetState,
    roughControlResetState,  // also uninstalls the drop model of the gouge check
    roughGridResetState,
    roughRegionResetState,
    roughEmitResetState,
    stockModelResetState,
    approachResetState,
    emitRegionResetState,
};

}  // namespace

void cyc3dResetRunState(CycleRecord* running) {
  if (running != nullptr) {
    for (const RecordReset& row : kRecordResets) {
      if (row.record() == running) row.reset();
    }
  }
  for (RunResetFn reset : kModuleResets) reset();
}
