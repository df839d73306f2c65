// test_global_params.cpp - the global parameter block: keyword table, configuration files read and
// written, values from a parameter list, unit scaling.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/global_params.h"
#include "framework/param_list.h"
#include "support/temp_dir.h"

namespace {

// Keys written as comment lines by default, transcribed independently of the generated table.
const char* const kCommentKeys[] = {
    "*APPROX",
    "*DESCRIPTION",
    "*APT",
    "*REPORT",
    "*A1",
    "*A2",
    "*A3",
    "*A4",
    "*A5",
    "*A6",
    "*A7",
    "*A8",
    "*A9",
    "*A10",
    "*Z1",
    "*Z2",
    "*Z3",
    "*Z4",
    "*Z5",
    "*Z6",
    "*Z7",
    "*Z8",
    "*Z9",
    "*Z10",
    "*REPORT_CLASS",
    "*TOOL_TIP",
    "*RAPID_REPEAT",
    "*NCKO_O",
    "*NCKO_X",
    "*NCKO_Y",
    "*NCKO_Z",
    "*X11",
    "*REPORT_LINE",
    "*NC_TRIMM",
    "*STARTPT",
    "*LOC_DIR",
    "*3DF_DIR",
    "*TMP_DIR",
    "*G0_COLOR_RGB",
    "*G1_COLOR_RGB",
    "*RGB_G0",
    "*RGB_G1",
    "*INCH",
    "*INCH_MODE",
    "*STOCK_3DF",
    "*INFEED_RADIUS",
    "*FILLET_RADIUS",
    "*RUN_DIR",
    "*RIF_DIR",
    "*COMMENT",
    "*MAC_ZERO",
    "*DWP_STL",
    "*DWP_STL_DIFF",
    "*DSM_PROTOCOL",
    "*PARTPROP",
    "*REF0",
    "*REF1",
    "*REF2",
    "*REF3",
    "*REF4",
    "*REF5",
    "*REF6",
    "*REF7",
    "*REF8",
    "*REF9",
    "*INFEED_PROFIL",
    "*IPOL_ANGLE",
    "*SINGLE_CUT_FACTOR",
    "*ORIG_O",
    "*ORIG_X",
    "*ORIG_Y",
    "*ORIG_Z",
    "*BRANGE",
    "*PLANE_ANGLE",
    "*PLANE_OFFSET",
    "*FULLCUT_FACTOR",
    "*ZOPZ_PATH",
    "*HC3X_AVOID",
};

// Keys that unit scaling multiplies, transcribed independently of the generated table.
const char* const kLengthKeys[] = {
    "*FRRADIUS",
    "*FRBOGEN",
    "*VERTZUSTEL",
    "*HORIZUSTEL",
    "*AUFMASS",
    "*OBERFL",
    "*TIEF",
    "*SICHDIST",
    "*SICHEBENE",
    "*AUFLMAX",
    "*STEP_MIN",
    "*AUFLMIN",
    "*MACRO_SLENGTH",
    "*MACRO_ELENGTH",
    "*MACRO_SABST",
    "*MACRO_EABST",
    "*MACRO_THEIGHT",
    "*MACRO_TRAD",
    "*STEP_MAX",
    "*STARTPT",
    "*RUPP_MAXDIST",
    "*COLL_TOLERANCE",
    "*PRECISION",
    "*MIN_STEPDOWN",
    "*GUSSAUFMASS",
    "*UNDERCUT_HEIGHT",
    "*FILLET_RADIUS",
    "*INFEED_RADIUS",
    "*TOTAL_TOOL_LENGTH",
    "*LENGTH1",
    "*LENGTH2",
    "*HEAD_LENGTH2",
    "*HEAD_LENGTH1",
    "*DIAMETER1",
    "*DIAMETER2",
    "*HEAD_DIAMETER2",
    "*HEAD_DIAMETER1",
    "*REFERFL",
    "*TAPER_HEIGHT",
    "*TILT_OFFSET",
    "*SINTERVAL",
    "*PIVOT_HEIGHT",
    "*PVALUE",
    "*ZOFFSET",
    "*SEG_RADIUS",
    "*DRAG_ALLOWANCE",
    "*SEG_HEIGHT",
    "*HORI_AUFMASS",
    "*SCAL_HEIGHT",
    "*ZUST_MIN",
    "*TIP_LENGTH",
    "*SHAFT_DIAMETER",
    "*CHAMFER_LENGTH",
    "*TIP_DIAMETER",
    "*SORT_TOL",
    "*FAN_DIST",
    "*LIMIT_HEIGHT",
    "*TROCHOID_STEP",
    "*TROCHOID_RADIUS",
    "*MACRO_TABST",
    "*WCOLL_HTOL",
    "*BOUND_OFFSET",
    "*DYT_MAXRAD",
    "*DYT_MINRAD",
    "*DYT_MAXSTEP",
    "*DYT_MINSTEP",
    "*STOCK_ZOFFSET",
    "*STOCK_XYOFFSET",
    "*HOLDER_CLEARANCE",
    "*HEAD_CLEARANCE",
    "*CLIP_OFFSET",
    "*MAX_CLEAR_DIST",
    "*HOLDER_3DF_TOL",
    "*HEAD_3DF_TOL",
    "*PLANE_OFFSET",
    "*MACRO_SCLEAR_SIDE",
    "*MACRO_ECLEAR_SIDE",
    "*MACRO_SCLEAR_AXIAL",
    "*MACRO_ECLEAR_AXIAL",
    "*MACRO_SLIFT_MAX",
    "*MACRO_ELIFT_MAX",
    "*EXTRA_ZOFFSET",
    "*POCK_TOL_INTERN",
};

// Every key in table order with its type letter (s short, d double, l long, v three doubles,
// w text read as the first word, r text read as the rest of the line) and its default,
// transcribed independently of the generated table. chosen: the default is this
// implementation's own choice and is not compared.
struct KeyRow {
  const char* key;
  char type;
  double num[3] = {0.0, 0.0, 0.0};
  const char* text = "";
  bool chosen = false;
};

const KeyRow kKeyRows[] = {
    {"*APPROX", 'w'},
    {"*DESCRIPTION", 'r'},
    {"*BOUNDARY", 'w'},
    {"*APT", 'w'},
    {"*REPORT", 'w'},
    {"*FRRADIUS", 'd', {4}},
    {"*FRBOGEN", 'd', {0}},
    {"*XVORSCHUB", 'd', {200}},
    {"*ZVORSCHUB", 'd', {50}},
    {"*MAXFACES", 'l', {10000}},
    {"*FRTYP", 's', {1}},
    {"*BEARBEITRICHT", 's', {1}},
    {"*BEARBEITRAND", 's', {1}},
    {"*VERTZUSTEL", 'd', {2}},
    {"*HORIZUSTEL", 'd', {10}},
    {"*AUFMASS", 'd', {0}},
    {"*OBERFL", 'd', {10000}},
    {"*TIEF", 'd', {-10000}},
    {"*SICHDIST", 'd', {5}},
    {"*SICHEBENE", 'd', {100}},
    {"*DREHZAHL", 'd', {2000}},
    {"*WKZNUMMER", 'l', {1}},
    {"*DREHRICHT", 's', {1}},
    {"*KUEHLMITTEL", 's', {2}},
    {"*AUFLMAX", 'd', {1}},
    {"*AUFLMIN", 'd', {0.05}},
    {"*MACRO_START", 's', {1}},
    {"*MACRO_END", 's', {1}},
    {"*MACRO_RETURN", 's', {1}},
    {"*MACRO_SRAD", 'd', {3}},
    {"*MACRO_ERAD", 'd', {3}},
    {"*MACRO_SABST", 'd', {0}},
    {"*MACRO_EABST", 'd', {0}},
    {"*MACRO_IWIN", 'd', {10}},
    {"*MACRO_AWIN", 'd', {0}},
    {"*MACRO_SWIN", 'd', {45}},
    {"*MACRO_EWIN", 'd', {45}},
    {"*MACRO_TSWIN", 'd', {0}},
    {"*MACRO_TEWIN", 'd', {0}},
    {"*A1", 'r'},
    {"*A2", 'r'},
    {"*A3", 'r'},
    {"*A4", 'r'},
    {"*A5", 'r'},
    {"*A6", 'r'},
    {"*A7", 'r'},
    {"*A8", 'r'},
    {"*A9", 'r'},
    {"*A10", 'r'},
    {"*Z1", 'r'},
    {"*Z2", 'r'},
    {"*Z3", 'r'},
    {"*Z4", 'r'},
    {"*Z5", 'r'},
    {"*Z6", 'r'},
    {"*Z7", 'r'},
    {"*Z8", 'r'},
    {"*Z9", 'r'},
    {"*Z10", 'r'},
    {"*REPORT_CLASS", 's', {1}},
    {"*TOOL_TIP", 's', {2}},
    {"*RAPID_REPEAT", 's', {2}},
    {"*STEP_MAX", 'd', {10}},
    {"*STEP_MIN", 'd', {0.01}},
    {"*NCKO_O", 'v', {0, 0, 0}},
    {"*NCKO_X", 'v', {1, 0, 0}},
    {"*NCKO_Y", 'v', {0, 1, 0}},
    {"*NCKO_Z", 'v', {0, 0, 1}},
    {"*WZKO_O", 'v', {0, 0, 0}},
    {"*WZKO_X", 'v', {1, 0, 0}},
    {"*WZKO_Y", 'v', {0, 1, 0}},
    {"*WZKO_Z", 'v', {0, 0, 1}},
    {"*X11", 's', {1}},
    {"*REPORT_LINE", 's', {0}},
    {"*ZUST_EILGANG", 's', {0}},
    {"*NC_TRIMM", 's', {1}},
    {"*FRED_ANGLE", 'd', {1}},
    {"*STARTPT", 'v', {0, 0, -100000}},
    {"*FRLAENGE", 'd', {40}},
    {"*LOC_DIR", 'w'},
    {"*SEITE", 's', {1}},
    {"*MACRO_THEIGHT", 'd', {3}},
    {"*MACRO_TDIR", 's', {1}},
    {"*MACRO_TRAD", 'd', {3}},
    {"*MACRO_TMODE", 's', {1}},
    {"*3DF_DIR", 'w'},
    {"*TMP_DIR", 'w', {}, "."},
    {"*FINISH_PASS", 's', {1}},
    {"*ZUSTELL_X", 'd', {0}},
    {"*ZUSTELL_Y", 'd', {0}},
    {"*ZUSTELL_OK", 's', {0}},
    {"*GAUGE_3DF", 'w'},
    {"*GAUGE_FREE", 's', {0}},
    {"*GOUGE_3DF", 'w'},
    {"*GOUGE_FREE", 's', {0}},
    {"*STEP_MODE", 's', {0}},
    {"*RUPP_MAXDIST", 'd', {0}},
    {"*STEP_FACTOR", 'd', {0.5}},
    {"*STEP_STRATEGY", 's', {0}},
    {"*JOBID", 's', {0}},
    {"*XCOLL_CHECK", 's', {1}},
    {"*COLL_TOLERANCE", 'd', {0.1}},
    {"*G0_COLOR_RGB", 'v', {1, 0, 0}},
    {"*G1_COLOR_RGB", 'v', {1, 1, 0}},
    {"*RGB_G0", 'v', {1, 0, 0}},
    {"*RGB_G1", 'v', {1, 1, 0}},
    {"*PRECISION", 'd', {0.01}},
    {"*INCH", 's', {0}},
    {"*INCH_MODE", 's', {0}},
    {"*SCALE_INCH", 's', {1}},
    {"*ZUSTELL_PT_TCS", 'v', {0, 0, 0}},
    {"*GENERATE_ARCS", 's', {0}},
    {"*ADJUST_GRID", 's', {1}},
    {"*MIN_STEPDOWN", 'd', {0.01}},
    {"*GRID_FACTOR", 'd', {0.5}},
    {"*XCOLL_STOP", 's', {1}},
    {"*GUSSAUFMASS", 'd', {0}},
    {"*STOCK_MODE", 's', {0}},
    {"*STOCK_MOVEMENT", 's', {0}},
    {"*SLOPE_MODE", 's', {0}},
    {"*SLOPE_ANGLE", 'd', {45}},
    {"*SKIP_SMALL_POCKETS", 's', {1}},
    {"*SKIP_FACTOR", 'd', {1}},
    {"*SPIRAL", 's', {0}},
    {"*BOUND_MODE", 's', {0}},
    {"*TOTAL_TOOL_LENGTH", 'd', {100}},
    {"*CUTTING_LENGTH", 'd', {50}},
    {"*LENGTH1", 'd', {50}},
    {"*LENGTH2", 'd', {30}},
    {"*DIAMETER1", 'd', {30}},
    {"*DIAMETER2", 'd', {15}},
    {"*RVORSCHUB", 'd', {50}},
    {"*VVORSCHUB", 'd', {50}},
    {"*LAUF", 's', {1}},
    {"*USEBNDZVAL", 's', {0}},
    {"*PRG_DIR", 'w', {}, "", true},
    {"*XSHAFT_CONTROL", 's', {1}},
    {"*PLANES_ONLY", 's', {0}},
    {"*AXIS_POCKET", 's', {0}},
    {"*REF_PLANE", 'd', {50}},
    {"*REFERFL", 'd', {50}},
    {"*CONNECT_SMOOTH", 's', {0}},
    {"*STOCK_3DF", 'w'},
    {"*SINGLEPOF_MODE", 's', {0}},
    {"*REF_JOBID", 's', {1}},
    {"*RESOLUTION", 'd', {0.5}},
    {"*XDUMP", 's', {0}},
    {"*POLYDUMP", 's', {0}},
    {"*ACCEPT_UNDERCUT", 's', {0}},
    {"*UNDERCUT_HEIGHT", 'd', {10000}},
    {"*REF_USE_POLY", 's', {0}},
    {"*REF_POFFILE", 'w'},
    {"*REFAPT", 'w'},
    {"*ZIGZAG_FACTOR", 'd', {1}},
    {"*INFEED_RADIUS", 'd', {0}},
    {"*FILLET_RADIUS", 'd', {0}},
    {"*COMPLETE_POCKET", 's', {1}},
    {"*GRDRAW", 's', {1}},
    {"*FILLET_CORNERS", 's', {0}},
    {"*CONSIDER_TOOLTYPE", 's', {0}},
    {"*TAPER_ANGLE", 'd', {0}},
    {"*TAPER_HEIGHT", 'd', {0}},
    {"*GEN_ZRESINO", 's', {0}},
    {"*GEN_ZRESINFO", 's', {0}},
    {"*DEL_PRFBDY", 's', {1}},
    {"*STOCKTOOL_OVERLAPFACTOR", 'd', {0.9}},
    {"*SUPPRESS_NC", 's', {0}},
    {"*TILT_ANGLE", 'd', {0}},
    {"*COLL_CHECK_5AX", 's', {0}},
    {"*TILT_MAX", 'd', {89}},
    {"*TILT_IPOL", 'd', {5}},
    {"*TILT_STRATEGY", 's', {1}},
    {"*TILT_MODE", 's', {1}},
    {"*NORMALIZE", 's', {1}},
    {"*NORM_FACTOR", 'd', {1}},
    {"*SMOOTH_NORMAL", 's', {0}},
    {"*SMOOTH_COUNT", 's', {5}},
    {"*XREDUCE_5AX", 's', {1}},
    {"*OFFSET_5AX", 'd', {1}},
    {"*TILT_OFFSET", 'd', {1}},
    {"*COLL_ANGLE", 'd', {0}},
    {"*CONE_ANGLE", 'd', {0}},
    {"*AVOID_COLL", 's', {0}},
    {"*COMP_AXVAL", 'd', {0.0001}},
    {"*STEP_WIN", 'd', {5}},
    {"*SMOOTH_5AX", 's', {0}},
    {"*TILT_CURVE", 'w'},
    {"*SINTERVAL", 'd', {50}},
    {"*SYNC_POINTS", 's', {0}},
    {"*PIVOT_SMOOTH", 's', {0}},
    {"*PIVOT_HEIGHT", 'd', {400}},
    {"*PVALUE", 'd', {10}},
    {"*ZOFFSET", 'd', {0}},
    {"*SHAFT_5AX", 's', {1}},
    {"*RUN_DIR", 'w', {}, "."},
    {"*RIF_DIR", 'w', {}, " "},
    {"*SEG_OPT", 's', {0}},
    {"*SEG_ANGLE", 'd', {45}},
    {"*SEG_RADIUS", 'd', {1}},
    {"*LENGTH3", 'd', {0}},
    {"*LENGTH4", 'd', {0}},
    {"*DIAMETER3", 'd', {0}},
    {"*DIAMETER4", 'd', {0}},
    {"*CONNECT_RAPID", 's', {1}},
    {"*CONNECT_FACTOR", 'd', {0}},
    {"*TILTFIX_XY", 'd', {0}},
    {"*TILTFIX_Z", 'd', {0}},
    {"*DRAG_ALLOWANCE", 'd', {0.3}},
    {"*SEG_HEIGHT", 'd', {30}},
    {"*SEG_SYNC_OK", 's', {1}},
    {"*SEG_SYNC", 'w'},
    {"*TILT_FIXED", 's', {0}},
    {"*PLUNGE_ONCE", 's', {0}},
    {"*COMMENT", 'r'},
    {"*ZSORT", 's', {1}},
    {"*ZPLANES", 's', {0}},
    {"*BACKDRAFT", 's', {0}},
    {"*AUFMASS_HORI", 'd', {0}},
    {"*HORI_AUFMASS", 'd', {0}},
    {"*SKIP_LAST_PLANE", 's', {0}},
    {"*SCAL_HEIGHT", 'd', {0.1}},
    {"*ZUST_MIN", 'd', {0.1}},
    {"*FILLET_FACTOR", 's', {}, "", true},
    {"*FILLET_ANGLE", 's', {}, "", true},
    {"*ZUSTELL_ART", 's', {1}},
    {"*TIP_LENGTH", 'd', {0}},
    {"*SHAFT_DIAMETER", 'd', {0}},
    {"*CHAMFER_LENGTH", 'd', {0}},
    {"*HEAD_DIAMETER1", 'd', {0}},
    {"*HEAD_DIAMETER2", 'd', {0}},
    {"*HEAD_LENGTH1", 'd', {0}},
    {"*HEAD_LENGTH2", 'd', {0}},
    {"*HOLDCHECK", 's', {0}},
    {"*HOLDCHECK_MODE", 's', {0}},
    {"*HOLDCHECK_CLEARFACTOR", 'd', {1}},
    {"*SORT_TOL", 'd', {0.001}},
    {"*OUTSIDE_IN", 's', {0}},
    {"*XDWPIN", 'w'},
    {"*USE_DWP", 's', {1}},
    {"*DWP", 'w'},
    {"*MAC_INT", 's', {0}},
    {"*MAC_ZERO", 'v', {0, 0, 0}},
    {"*DLL_DIR", 'w'},
    {"*ZRES_EXACT", 's', {0}},
    {"*CLEAR_ANGLE", 'd', {0}},
    {"*MULTI_POLY", 's', {0}},
    {"*MACRO_SNAME", 'w'},
    {"*MACRO_ENAME", 'w'},
    {"*EXTRA_COUNT", 'l', {0}},
    {"*EXTRA_TOL", 'd', {0.01}},
    {"*EXTRA_QDX", 'w'},
    {"*EXTRA_3DF", 'w'},
    {"*SKIP_NOCUT", 's', {0}},
    {"*CUTCOMP", 's', {0}},
    {"*BIG_STEPFACTOR_OUTIN", 's', {0}},
    {"*FAN_DIST", 'd', {5}},
    {"*MAINFORM", 's', {0}},
    {"*LIMIT_HEIGHT", 'd', {99999}},
    {"*TROCHOIDE", 's', {0}},
    {"*TROCHOID_STEP", 'd', {2}},
    {"*TROCHOID_RADIUS", 'd', {3}},
    {"*CUT_DIRECTION", 's', {1}},
    {"*FORCE5X", 's', {0}},
    {"*AVOID_EXACT", 's', {0}},
    {"*TIP_DIAMETER", 'd', {0}},
    {"*POCKET_SORT_BOSS", 's', {1}},
    {"*CLIP_BACKDRAFT", 's', {0}},
    {"*MACRO_TABST", 'd', {0}},
    {"*REDUCE_FULLCUT", 's', {0}},
    {"*LIFT_CORNER", 's', {0}},
    {"*LIFT_ANGLE", 'd', {90}},
    {"*WCOLL", 's', {0}},
    {"*WCOLL_HTOL", 'd', {0}},
    {"*ZOPT_MODE", 's', {0}},
    {"*DWP_STL", 'w'},
    {"*DWP_STL_DIFF", 'w'},
    {"*ZRES_TOLMODE", 's', {1}},
    {"*BOUND_OFFSET", 'd', {0}},
    {"*MACRO_NORMAL", 's', {0}},
    {"*FULLCUT_STRATEGY", 's', {0}},
    {"*DYT_MAXRAD", 'd', {2}},
    {"*DYT_MINRAD", 'd', {0.2}},
    {"*DYT_MAXSTEP", 'd', {0.5}},
    {"*DYT_MINSTEP", 'd', {0.1}},
    {"*DYT_RADFAC", 'd', {1.25}},
    {"*DYT_STEPFAC", 'd', {1.25}},
    {"*MACRO_SFEED", 'd', {0}},
    {"*MACRO_EFEED", 'd', {0}},
    {"*MACRO_LFEED", 'd', {0}},
    {"*SYNC_FLOW", 's', {0}},
    {"*FILLET_POCKET", 's', {0}},
    {"*ALLOW_MACRO_REVERSE", 's', {0}},
    {"*USE_DSM", 's', {0}},
    {"*DSM_PROTOCOL", 'w'},
    {"*PARTPROP", 'w'},
    {"*PLANES_EXACT", 's', {1}},
    {"*PLANE_FACTOR", 'd', {0.9}},
    {"*REF_COUNT", 's', {0}},
    {"*REF0", 'r'},
    {"*REF1", 'r'},
    {"*REF2", 'r'},
    {"*REF3", 'r'},
    {"*REF4", 'r'},
    {"*REF5", 'r'},
    {"*REF6", 'r'},
    {"*REF7", 'r'},
    {"*REF8", 'r'},
    {"*REF9", 'r'},
    {"*TROCTEST", 's', {0}},
    {"*USE_PSTACK", 's', {0}},
    {"*COMPLETE_LASTLEVEL", 's', {1}},
    {"*DSM_CHECK", 's', {0}},
    {"*DUMP_DSM", 's', {0}},
    {"*INFEED_PROFIL", 'r'},
    {"*BOUND_MINIMAL", 's', {0}},
    {"*MACRO_SFAC", 'd', {0.2}},
    {"*BND_PROJECT", 's', {0}},
    {"*BND_ZVEC", 'v', {0, 0, 1}},
    {"*STOCK_ZOFFSET", 'd', {0}},
    {"*STOCK_XYOFFSET", 'd', {0}},
    {"*USE_PARTPROP", 's', {0}},
    {"*BND_NOREDUCE", 's', {0}},
    {"*CHECK_STOCK", 's', {0}},
    {"*GEN_HELIX", 's', {0}},
    {"*CBND_NAME", 'w'},
    {"*BOUND_STRATEGY", 's', {0}},
    {"*MILL_QDX", 'w'},
    {"*MILL_BND", 'w'},
    {"*MILL_3DF", 'w'},
    {"*CLIP_3DF", 'w'},
    {"*BOUND_QDX", 'w'},
    {"*BOUND_BND", 'w'},
    {"*BOUND_3DF", 'w'},
    {"*COLL_CONTINUE", 's', {0}},
    {"*COLL_CONTINE", 's', {0}},
    {"*TOOL_CONTOUR", 'w'},
    {"*HOLDER_3DF", 'w'},
    {"*HEAD_3DF", 'w'},
    {"*HOLDER_QDX", 'w'},
    {"*HEAD_QDX", 'w'},
    {"*HOLDER_CLEARANCE", 'd', {0.5}},
    {"*HEAD_CLEARANCE", 'd', {2}},
    {"*CHECK_PLANE", 's', {0}},
    {"*CLIP_OFFSET", 'd', {0}},
    {"*CLIP_SORT", 's', {0}},
    {"*FORCE_REF_JOBID", 's', {0}},
    {"*DWP_TRUNCATE", 's', {0}},
    {"*CHECK_ZLIFT", 's', {-1}},
    {"*RAPID_LOGIC", 's', {-1}},
    {"*CLEAR_MOVEMENT", 's', {-1}},
    {"*CLEAR_FEEDRATE", 'd', {-1}},
    {"*MAX_CLEAR_DIST", 'd', {-1}},
    {"*MAX_DIST_ANGLE", 'd', {-1}},
    {"*MAX_PLANE_ANGLE", 'd', {-1}},
    {"*CTEST", 's', {0}},
    {"*CRANGE", 'd', {0}},
    {"*SHAFT_MESH", 's', {0}},
    {"*CLIP_FACTOR", 'd', {0.5}},
    {"*HOLDER_3DF_TOL", 'd', {0}},
    {"*HEAD_3DF_TOL", 'd', {0}},
    {"*ATEST", 's', {1}},
    {"*CSL", 's', {0}},
    {"*ANGLE_REFINE", 's', {0}},
    {"*SCALE_UP", 'd', {1}},
    {"*NO_PLUNGE", 's', {0}},
    {"*TEST_NO_PLUNGE", 's', {-1}},
    {"*END_IS_PLUNGE", 's', {0}},
    {"*SPIRAL_SIDE", 's', {0}},
    {"*SLOPE_CONNECT_FACTOR", 'd', {1}},
    {"*SLOPE_POCKET", 's', {0}},
    {"*AVOID_STRATEGY", 's', {0}},
    {"*AVOID_MODE", 's', {2}},
    {"*CRANGE_NEG", 'd', {30}},
    {"*CRANGE_POS", 'd', {30}},
    {"*SORT_MODE", 's', {0}},
    {"*TILT_AUTO", 's', {0}},
    {"*TILT_AUTO_SEG", 's', {0}},
    {"*AUTO_CRANGE", 'd', {0}},
    {"*IPOL_ANGLE", 'd', {90}},
    {"*IPOL_CHECK", 's', {0}},
    {"*AUTO_MODE", 's', {1}},
    {"*FREE_METHOD", 's', {0}},
    {"*CHECK_STARTPT", 's', {0}},
    {"*NCAI", 's', {0}},
    {"*RAPID_IN", 's', {0}},
    {"*TOP_OK", 's', {1}},
    {"*BOTTOM_OK", 's', {1}},
    {"*ALLOW_SINGLE_CUT", 's', {0}},
    {"*SINGLE_CUT_FACTOR", 'd', {0.9}},
    {"*STOCK_UNDERCUT", 's', {0}},
    {"*START_RAPID", 's', {0}},
    {"*TILT_THROUGH", 's', {0}},
    {"*TILT_SHORTEST_3D", 's', {0}},
    {"*ORIG_O", 'v', {0, 0, 0}},
    {"*ORIG_X", 'v', {1, 0, 0}},
    {"*ORIG_Y", 'v', {0, 1, 0}},
    {"*ORIG_Z", 'v', {0, 0, 1}},
    {"*USE_ORIG", 's', {0}},
    {"*BRANGE", 'd', {-1}},
    {"*PLANE_ANGLE", 'd', {0}},
    {"*PLANE_OFFSET", 'd', {0}},
    {"*RAMP_INSIDE", 's', {0}},
    {"*NOCLIMB_FULLCUT", 's', {0}},
    {"*FULLCUT_FACTOR", 'd', {0.2}},
    {"*OPTIMIZE_SINGLECUT", 's', {1}},
    {"*FREECUTFACTOR", 'd', {0.5}},
    {"*AUTO_CRANGE0", 'd', {60}},
    {"*AUTO_CRANGE90", 'd', {12.5}},
    {"*ZOPT_READ", 's', {0}},
    {"*ZOPT_WRITE", 's', {0}},
    {"*ZOPZ_PATH", 'r', {}, "e:/tmp_zopt/"},
    {"*HC3X_AVOID", 's', {0}},
    {"*ZCONDITION", 's', {0}},
    {"*FLAT_STRATEGY", 's', {1}},
    {"*CLEAR_ANGLE_OK", 's', {0}},
    {"*SPIRAL_AUTO", 's', {0}},
    {"*FLAT_CONNECT_FACTOR", 'd', {0}},
    {"*MACRO_SLENGTH", 'd', {3}},
    {"*MACRO_ELENGTH", 'd', {3}},
    {"*STEEP_CONNECT_FACTOR", 'd', {0}},
    {"*SLOPE_SMOOTH", 's', {1}},
    {"*MACRO_SSMOOTH", 's', {1}},
    {"*MACRO_ESMOOTH", 's', {1}},
    {"*MACRO_SCLEAR_SIDE", 'd', {1}},
    {"*MACRO_ECLEAR_SIDE", 'd', {1}},
    {"*MACRO_SCLEAR_AXIAL", 'd', {0.1}},
    {"*MACRO_ECLEAR_AXIAL", 'd', {0.1}},
    {"*MACRO_SLIFT_MAX", 'd', {0.3}},
    {"*MACRO_ELIFT_MAX", 'd', {0.3}},
    {"*HELIX_OPT_STOCK", 's', {0}},
    {"*CLEAN_SLOPE", 's', {0}},
    {"*CHECK_OUTIN", 's', {0}},
    {"*TILT_RANGE_OK", 's', {0}},
    {"*TILT_BOTTOM", 'd', {0}},
    {"*AUTO_CRANGE_NEG", 'd', {-180}},
    {"*EXTRA_ZOFFSET", 'd', {0}},
    {"*STEEP_STRATEGY", 's', {1}},
    {"*OUTIN_OPT", 's', {0}},
    {"*THICK_SHAFT", 's', {0}},
    {"*DWP_DIRECT", 's', {1}},
    {"*POCK_TOL_INTERN", 'd', {-1}},
    {"*SLOPE_RANGE", 'd', {2}},
};

const ParamKeyword* findRow(const char* key) {
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row) {
    if (std::strcmp(row->key, key) == 0) return row;
  }
  ADD_FAILURE() << "no row " << key;
  return nullptr;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The value of a row as text, for comparing two states of the block.
std::string rowValue(const ParamKeyword* row) {
  std::ostringstream out;
  out.precision(17);
  switch (row->type) {
    case kParTypeShort: out << *static_cast<const std::int16_t*>(row->target); break;
    case kParTypeDouble: out << *static_cast<const double*>(row->target); break;
    case kParTypeLong: out << *static_cast<const std::int32_t*>(row->target); break;
    case kParTypePoint: {
      const auto* p = static_cast<const double*>(row->target);
      out << p[0] << ' ' << p[1] << ' ' << p[2];
      break;
    }
    case kParTypeText: out << '[' << static_cast<const char*>(row->target) << ']'; break;
    default: out << "?"; break;
  }
  return out.str();
}

std::vector<std::string> blockValues() {
  std::vector<std::string> values;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row) {
    values.push_back(rowValue(row));
  }
  return values;
}

class GlobalParamsTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override { parResetState(); }
  void TearDown() override { parResetState(); }
  GlobalParams& block() { return *parGlobalBlock(); }
};

TEST(GlobalParamsTable, RowsAreWellFormed) {
  std::set<std::string> keys;
  std::set<const void*> targets;
  const auto* begin = reinterpret_cast<const char*>(parGlobalBlock());
  int rows = 0;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row, ++rows) {
    SCOPED_TRACE(row->key);
    ASSERT_EQ(row->key[0], '*');
    for (const char* c = row->key; *c != '\0'; ++c) EXPECT_FALSE(*c >= 'a' && *c <= 'z');
    EXPECT_TRUE(keys.insert(row->key).second) << "duplicate key";
    EXPECT_TRUE(targets.insert(row->target).second) << "two rows share a field";
    const auto* t = static_cast<const char*>(row->target);
    EXPECT_TRUE(t >= begin && t < begin + sizeof(GlobalParams)) << "target outside the block";
    // The reading kind agrees with the value type.
    switch (row->type) {
      case kParTypeShort:
      case kParTypeDouble:
      case kParTypeLong: EXPECT_EQ(row->readKind, kParReadNumber); break;
      case kParTypePoint: EXPECT_EQ(row->readKind, kParReadPoint); break;
      case kParTypeText:
        EXPECT_TRUE(row->readKind == kParReadNumber || row->readKind == kParReadWord ||
                    row->readKind == kParReadRest);
        break;
      default: ADD_FAILURE() << "value type " << row->type; break;
    }
  }
  EXPECT_EQ(rows, 442);
  for (const char* key : kCommentKeys) EXPECT_EQ(keys.count(key), 1u) << key;
  for (const char* key : kLengthKeys) EXPECT_EQ(keys.count(key), 1u) << key;
}

// A key spelt wrong, moved, given the wrong type or the wrong default silently changes what every
// configuration file does: compare every row with the independent key list.
TEST(GlobalParamsTable, EveryRowHasItsKeyTypeAndDefault) {
  const ParamKeyword* row = parKeywordTable();
  std::size_t i = 0;
  for (; row->key != nullptr && i < std::size(kKeyRows); ++row, ++i) {
    const KeyRow& want = kKeyRows[i];
    SCOPED_TRACE(want.key);
    ASSERT_STREQ(row->key, want.key) << "row " << i;
    switch (want.type) {
      case 's': EXPECT_EQ(row->type, kParTypeShort); break;
      case 'd': EXPECT_EQ(row->type, kParTypeDouble); break;
      case 'l': EXPECT_EQ(row->type, kParTypeLong); break;
      case 'v':
        EXPECT_EQ(row->type, kParTypePoint);
        EXPECT_EQ(row->readKind, kParReadPoint);
        break;
      case 'w':
        EXPECT_EQ(row->type, kParTypeText);
        EXPECT_TRUE(row->readKind == kParReadNumber || row->readKind == kParReadWord);
        break;
      case 'r':
        EXPECT_EQ(row->type, kParTypeText);
        EXPECT_EQ(row->readKind, kParReadRest);
        break;
      default: FAIL() << "type letter " << want.type;
    }
    if (want.type == 's' || want.type == 'd' || want.type == 'l') {
      EXPECT_EQ(row->readKind, kParReadNumber);
    }
    if (want.chosen) continue;
    switch (row->type) {
      case kParTypeShort:
        EXPECT_EQ(*static_cast<const std::int16_t*>(row->target), want.num[0]);
        break;
      case kParTypeDouble: EXPECT_EQ(*static_cast<const double*>(row->target), want.num[0]); break;
      case kParTypeLong:
        EXPECT_EQ(*static_cast<const std::int32_t*>(row->target), want.num[0]);
        break;
      case kParTypePoint: {
        const auto* p = static_cast<const double*>(row->target);
        EXPECT_EQ(p[0], want.num[0]);
        EXPECT_EQ(p[1], want.num[1]);
        EXPECT_EQ(p[2], want.num[2]);
        break;
      }
      case kParTypeText: EXPECT_STREQ(static_cast<const char*>(row->target), want.text); break;
      default: break;
    }
  }
  EXPECT_EQ(i, std::size(kKeyRows));
  EXPECT_EQ(row->key, nullptr) << "rows beyond the key list";
  EXPECT_EQ(std::size(kKeyRows), 442u);
}

TEST_F(GlobalParamsTest, DefaultsOfTheBlock) {
  const GlobalParams& b = block();
  EXPECT_EQ(b.frradius, 4.0);
  EXPECT_EQ(b.maxfaces, 10000);
  EXPECT_EQ(b.reportClass, 1);
  EXPECT_EQ(b.checkZlift, -1);
  EXPECT_EQ(b.compAxval, 0.0001);
  EXPECT_EQ(b.autoCrangeNeg, -180.0);
  EXPECT_EQ(b.precision, 0.01);
  EXPECT_EQ(b.startpt[0], 0.0);
  EXPECT_EQ(b.startpt[2], -100000.0);
  EXPECT_EQ(b.nckoY[1], 1.0);
  EXPECT_EQ(b.g1ColorRgb[1], 1.0);
  EXPECT_EQ(b.bndZvec[2], 1.0);
  EXPECT_STREQ(b.tmpDir, ".");
  EXPECT_STREQ(b.runDir, ".");
  EXPECT_STREQ(b.rifDir, " ");
  EXPECT_STREQ(b.zopzPath, "e:/tmp_zopt/");
  EXPECT_STREQ(b.approx, "");
  EXPECT_NE(b.prgDir[0], '\0');
  EXPECT_EQ(b.slopeRange, 2.0);
  EXPECT_EQ(parSkipLastPlane(), 0);
  EXPECT_EQ(parFinishPass(), 1);
  EXPECT_EQ(parCollTolerance(), 0.01);
  // The row of a key addresses the field of that name.
  EXPECT_EQ(findRow("*3DF_DIR")->target, static_cast<void*>(block().dir3df));
  EXPECT_EQ(findRow("*COLL_CONTINE")->target, static_cast<void*>(&block().collContine));
  EXPECT_EQ(findRow("*SLOPE_RANGE")->target, static_cast<void*>(&block().slopeRange));
}

// Every key written with parCfgWriteAll, the block reset and the file read back gives every value
// again: a non-default value per row, of every type, with fixed and exponent number forms.
TEST_F(GlobalParamsTest, EveryKeyRoundTripsThroughAFile) {
  int i = 0;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row, ++i) {
    const int sign = (i % 2 == 0) ? 1 : -1;
    switch (row->type) {
      case kParTypeShort:
        *static_cast<std::int16_t*>(row->target) = static_cast<std::int16_t>(sign * (i + 100));
        break;
      case kParTypeLong: *static_cast<std::int32_t*>(row->target) = sign * (i * 100000 + 7); break;
      case kParTypeDouble: {
        const char* scale = (i % 3 == 0) ? "e-4" : (i % 3 == 1) ? "" : "e6";
        const std::string text = std::to_string(sign * (i + 1)) + ".25" + scale;
        *static_cast<double*>(row->target) = std::strtod(text.c_str(), nullptr);
        break;
      }
      case kParTypePoint: {
        auto* p = static_cast<double*>(row->target);
        p[0] = i + 0.5;
        p[1] = -(i + 1.5);
        p[2] = i * 10 + 0.25;  // at most six significant digits, as "%lg" writes
        break;
      }
      case kParTypeText: {
        const std::string text = row->readKind == kParReadRest
                                     ? "r" + std::to_string(i) + " two  words "
                                     : "w" + std::to_string(i) + "/path.txt";
        std::strcpy(static_cast<char*>(row->target), text.c_str());
        break;
      }
      default: FAIL() << row->key;
    }
  }
  const std::vector<std::string> written = blockValues();
  ASSERT_EQ(parCfgWriteAll("all.cfg"), 1);

  // Only the three header lines are comments once every row is forced on.
  const std::vector<std::string> lines = splitLines(qdtest::readFile("all.cfg"));
  ASSERT_EQ(lines.size(), 3u + 442u);
  for (std::size_t k = 3; k < lines.size(); ++k) EXPECT_NE(lines[k][0], '#') << lines[k];

  parResetState();
  ASSERT_NE(blockValues(), written);
  ASSERT_EQ(parCfgRead("all.cfg"), 1);
  const std::vector<std::string> read = blockValues();
  i = 0;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row, ++i) {
    EXPECT_EQ(read[i], written[i]) << row->key;
  }
}

TEST_F(GlobalParamsTest, WriteMarksExactlyTheCommentKeysAndLaysOutColumns) {
  ASSERT_EQ(setenv("TZ", "UTC0", 1), 0);
  tzset();
  const std::time_t t = 1000000000;  // Sun Sep  9 01:46:40 2001 UTC
  parTestSetTime(&t);
  ASSERT_EQ(parCfgWrite("one.cfg"), 1);
  const std::vector<std::string> lines = splitLines(qdtest::readFile("one.cfg"));
  ASSERT_EQ(lines.size(), 3u + 442u);
  const std::string dashes =
      "#-------------------------------------------------------------------------";
  EXPECT_EQ(lines[0], dashes);
  EXPECT_EQ(lines[1], "# Ravenstep - Sun Sep  9 01:46:40 2001");
  EXPECT_EQ(lines[2], dashes);

  std::set<std::string> commented;
  for (std::size_t k = 3; k < lines.size(); ++k) {
    if (lines[k].rfind("# ", 0) == 0)
      commented.insert(lines[k].substr(2, lines[k].find(' ', 2) - 2));
  }
  EXPECT_EQ(commented, std::set<std::string>(std::begin(kCommentKeys), std::end(kCommentKeys)));

  const std::string text = qdtest::readFile("one.cfg");
  // Key padded to 20, value padded to 15, each with at least one blank after it.
  EXPECT_NE(text.find("\n*FRRADIUS           4              \n"), std::string::npos);
  EXPECT_NE(text.find("\n*MAXFACES           10000          \n"), std::string::npos);
  EXPECT_NE(text.find("\n*CHECK_ZLIFT        -1             \n"), std::string::npos);
  EXPECT_NE(text.find("\n# *NCKO_X             1 0 0          \n"), std::string::npos);
  EXPECT_NE(text.find("\n*STOCKTOOL_OVERLAPFACTOR 0.9            \n"), std::string::npos);
  EXPECT_NE(text.find("\n*COMP_AXVAL         0.0001         \n"), std::string::npos);
  EXPECT_NE(text.find("\n# *STARTPT            0 0 -100000    \n"), std::string::npos);
  EXPECT_NE(text.find("\n# *TMP_DIR            .              \n"), std::string::npos);
  // Rest-of-line texts follow their key after one blank, unchanged.
  EXPECT_NE(text.find("\n# *ZOPZ_PATH e:/tmp_zopt/\n"), std::string::npos);
  EXPECT_NE(text.find("\n# *DESCRIPTION \n"), std::string::npos);

  // The flags forced on by parCfgWriteAll stay on for later writes.
  ASSERT_EQ(parCfgWriteAll("all.cfg"), 1);
  ASSERT_EQ(parCfgWrite("again.cfg"), 1);
  const std::vector<std::string> again = splitLines(qdtest::readFile("again.cfg"));
  for (std::size_t k = 3; k < again.size(); ++k) EXPECT_NE(again[k][0], '#') << again[k];
}

TEST_F(GlobalParamsTest, HeaderTimeIsTheLocalTimeInCtimeForm) {
  ASSERT_EQ(setenv("TZ", "UTC0", 1), 0);
  tzset();
  const std::time_t t = 0;
  parTestSetTime(&t);
  ASSERT_EQ(parCfgWrite("a.cfg"), 1);
  EXPECT_EQ(splitLines(qdtest::readFile("a.cfg"))[1], "# Ravenstep - Thu Jan  1 00:00:00 1970");
  parTestSetTime(nullptr);
  ASSERT_EQ(parCfgWrite("b.cfg"), 1);
  const std::string line = splitLines(qdtest::readFile("b.cfg"))[1];
  char now[64];
  const std::time_t clock = std::time(nullptr);
  std::strftime(now, sizeof(now), "%Y", std::localtime(&clock));
  EXPECT_EQ(line.size(), std::string("# Ravenstep - Thu Jan  1 00:00:00 1970").size()) << line;
  EXPECT_EQ(line.substr(line.size() - 4), now);
}

struct ReadCase {
  const char* name;
  const char* text;  // file content
  const char* key;
  const char* expected;  // rowValue after reading
};

// Reads each case's text as a configuration file into a fresh block and checks its key's value.
template <std::size_t N>
void expectReadCases(const ReadCase (&cases)[N]) {
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    parResetState();
    qdtest::writeFile("in.cfg", c.text);
    ASSERT_EQ(parCfgRead("in.cfg"), 1);
    EXPECT_EQ(rowValue(findRow(c.key)), c.expected);
  }
}

TEST_F(GlobalParamsTest, ReadsLinesByTheReadingKindOfTheirKey) {
  const ReadCase cases[] = {
      {"lower-case key", "*frradius 5\n", "*FRRADIUS", "5"},
      {"mixed case and tabs", "\t*FrRaDiUs\t\t7.5\t\n", "*FRRADIUS", "7.5"},
      {"rest of line up to the comment", "*DESCRIPTION   first half  # a note\n", "*DESCRIPTION",
       "[first half  ]"},
      {"first word only", "*APT first second\n", "*APT", "[first]"},
      {"three numbers", "*NCKO_X 0 1 0\n", "*NCKO_X", "0 1 0"},
      {"missing third number is 0", "*STARTPT 1 2\n", "*STARTPT", "1 2 0"},
      {"no value sets 0", "*VERTZUSTEL\n", "*VERTZUSTEL", "0"},
      {"blanks only as value set 0", "*VERTZUSTEL   \t \n", "*VERTZUSTEL", "0"},
      {"not a number sets 0", "*VERTZUSTEL abc\n", "*VERTZUSTEL", "0"},
      {"number prefix of a word", "*VERTZUSTEL 3.5mm\n", "*VERTZUSTEL", "3.5"},
      {"short truncates", "*FRTYP 2.9\n", "*FRTYP", "2"},
      {"short truncates toward zero", "*FRTYP -2.9\n", "*FRTYP", "-2"},
      {"long reads exponent form", "*MAXFACES 1.5e4\n", "*MAXFACES", "15000"},
      {"CRLF line end", "*SICHEBENE 42\r\n", "*SICHEBENE", "42"},
      {"comment right after the key", "*SICHEBENE# 42\n", "*SICHEBENE", "0"},
      {"commented line", "# *SICHEBENE 42\n", "*SICHEBENE", "100"},
      {"last line without line end", "*SICHEBENE 43", "*SICHEBENE", "43"},
      {"later line wins", "*SICHEBENE 1\n*SICHEBENE 2\n", "*SICHEBENE", "2"},
      {"unknown key skipped", "*NO_SUCH_KEY 5\n\n   \n*SICHEBENE 44\n", "*SICHEBENE", "44"},
      {"key needs its star", "SICHEBENE 45\n", "*SICHEBENE", "100"},
      {"rest of line empty", "*COMMENT\n", "*COMMENT", "[]"},
  };
  expectReadCases(cases);
}

// A number beyond a field's range, or not a number at all, made the conversion to an integer
// field undefined.
TEST_F(GlobalParamsTest, IntegerFieldsStopAtTheirRange) {
  const ReadCase cases[] = {
      {"short above", "*FRTYP 1e9\n", "*FRTYP", "32767"},
      {"short below", "*FRTYP -40000\n", "*FRTYP", "-32768"},
      {"short nan", "*FRTYP nan\n", "*FRTYP", "0"},
      {"long above", "*MAXFACES 1e300\n", "*MAXFACES", "2147483647"},
      {"long below", "*MAXFACES -inf\n", "*MAXFACES", "-2147483648"},
  };
  expectReadCases(cases);
}

// A line longer than the reader's 256 characters went on as a new line, so its tail could set a
// key that the file never meant to set.
TEST_F(GlobalParamsTest, TailOfAnOverlongLineIsDiscarded) {
  std::string longLine = "*APPROX first";
  longLine.resize(256, ' ');
  longLine += "*FRRADIUS 7";
  std::string exact = "*COMMENT ";
  exact.resize(255, 'c');
  exact += 'e';  // exactly 256 characters: read whole
  qdtest::writeFile("long.cfg", longLine + "\n*SICHEBENE 12\n" + exact + "\n*TIEF -3\n");
  ASSERT_EQ(parCfgRead("long.cfg"), 1);
  const GlobalParams& b = block();
  EXPECT_STREQ(b.approx, "first");
  EXPECT_EQ(b.frradius, 4.0);
  EXPECT_EQ(b.sichebene, 12.0);
  EXPECT_EQ(std::strlen(b.comment), 256u - 9u);
  EXPECT_EQ(b.comment[std::strlen(b.comment) - 1], 'e');
  EXPECT_EQ(b.tief, -3.0);

  // A last line without line end, too long, ends the file cleanly.
  parResetState();
  qdtest::writeFile("tail.cfg", "*SICHEBENE 13\n" + longLine);
  ASSERT_EQ(parCfgRead("tail.cfg"), 1);
  EXPECT_EQ(block().sichebene, 13.0);
  EXPECT_EQ(block().frradius, 4.0);
}

TEST_F(GlobalParamsTest, MissingFileChangesNothing) {
  block().frradius = 9.0;
  const std::vector<std::string> before = blockValues();
  EXPECT_EQ(parCfgRead("absent.cfg"), 0);
  EXPECT_EQ(parCfgRead(nullptr), 0);
  EXPECT_EQ(blockValues(), before);
  EXPECT_EQ(parCfgWrite("no_such_dir/out.cfg"), 0);
  EXPECT_EQ(parCfgWriteAll("no_such_dir/out.cfg"), 0);
  EXPECT_EQ(parCfgWrite(nullptr), 0);
}

// A file that opened but could not be written in full was reported as written.
TEST_F(GlobalParamsTest, WriteFailureIsReported) {
  if (!qdtest::fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(parCfgWrite("/dev/full"), 0);
}

TEST_F(GlobalParamsTest, ListEntriesThatAreKeysAreStored) {
  ParamNode* list = nullptr;
  list = parListSet(list, "*frradius", "6.5", 21);
  list = parListSet(list, "*NCKO_Z", "0 0 -1", 21);
  list = parListSet(list, "*DESCRIPTION", "   left blanks go # hash stays", 21);
  list = parListSet(list, "*APT", "one two", 21);
  list = parListSet(list, "toolDiameter", "12", 13);
  list = parListSet(list, "*MAXFACES", "77.9", 21);
  EXPECT_EQ(parSetFromList(list), 1);
  const GlobalParams& b = block();
  EXPECT_EQ(b.frradius, 6.5);
  EXPECT_EQ(rowValue(findRow("*NCKO_Z")), "0 0 -1");
  EXPECT_STREQ(b.description, "left blanks go # hash stays");
  EXPECT_STREQ(b.apt, "one");
  EXPECT_EQ(b.maxfaces, 77);
  parListFree(list);
  EXPECT_EQ(parSetFromList(nullptr), 1);
}

// Texts longer than a field are cut to the field, whether they come from a list or a file.
TEST_F(GlobalParamsTest, LongTextsAreCutToTheField) {
  const std::string big(1000, 'x');
  ParamNode* list = nullptr;
  list = parListSet(list, "*COMMENT", big.c_str(), 21);
  list = parListSet(list, "*TMP_DIR", (big + " tail").c_str(), 21);
  list = parListSet(list, "*SICHEBENE", ("1" + std::string(600, '0')).c_str(), 21);
  ASSERT_EQ(parSetFromList(list), 1);
  parListFree(list);
  const GlobalParams& b = block();
  EXPECT_EQ(std::string(b.comment), big.substr(0, kParTextSize - 1));
  EXPECT_EQ(std::string(b.tmpDir), big.substr(0, kParTextSize - 1));
  // The field after each text is untouched.
  EXPECT_EQ(b.zsort, 1);
  EXPECT_EQ(b.finishPass, 1);
  // A number word longer than a line is read from its first characters only, never past them.
  EXPECT_GT(b.sichebene, 1e200);
}

TEST_F(GlobalParamsTest, UnitScalingChangesExactlyTheLengthKeys) {
  // Distinct non-zero values, PRECISION small enough to stay under its cap, GRID_FACTOR above
  // its floor: then exactly the length keys change, each by the factor.
  int i = 0;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row, ++i) {
    if (row->type == kParTypeDouble) *static_cast<double*>(row->target) = 1.0 + i;
    if (row->type == kParTypePoint) {
      auto* p = static_cast<double*>(row->target);
      p[0] = 1.0 + i;
      p[1] = -2.0 - i;
      p[2] = 3.0 + i;
    }
  }
  block().precision = 0.004;
  const std::vector<std::string> before = blockValues();
  std::vector<double> beforeFirst;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row) {
    beforeFirst.push_back(row->type == kParTypeDouble || row->type == kParTypePoint
                              ? *static_cast<const double*>(row->target)
                              : 0.0);
  }
  parScaleUnits(2.0);
  const std::vector<std::string> after = blockValues();
  std::set<std::string> changed;
  i = 0;
  for (const ParamKeyword* row = parKeywordTable(); row->key != nullptr; ++row, ++i) {
    if (after[i] == before[i]) continue;
    changed.insert(row->key);
    EXPECT_EQ(*static_cast<const double*>(row->target), 2.0 * beforeFirst[i]) << row->key;
  }
  EXPECT_EQ(changed, std::set<std::string>(std::begin(kLengthKeys), std::end(kLengthKeys)));
  const GlobalParams& b = block();
  EXPECT_EQ(b.startpt[1], -2.0 * 2.0 - 2.0 * (findRow("*STARTPT") - parKeywordTable()));
  EXPECT_EQ(b.precision, 0.008);
  EXPECT_EQ(parUnscaledPrecision(), 0.004);
  EXPECT_EQ(parCollTolerance(), 0.008);  // COLL_TOLERANCE is far larger here
}

TEST_F(GlobalParamsTest, UnitScalingCapsPrecisionAndRaisesGridFactor) {
  GlobalParams& b = block();
  b.gridFactor = 0.001;
  parScaleUnits(25.4);
  EXPECT_EQ(b.precision, 0.01);  // 0.254 capped
  EXPECT_EQ(parUnscaledPrecision(), 0.01);
  EXPECT_EQ(b.gridFactor, 0.01);  // raised, not scaled
  EXPECT_DOUBLE_EQ(b.collTolerance, 2.54);
  EXPECT_EQ(parCollTolerance(), 0.01);
  EXPECT_DOUBLE_EQ(b.frradius, 4.0 * 25.4);

  // Applied again, it scales again; the collision tolerance now wins when smaller.
  b.collTolerance = 0.003;
  b.precision = 0.002;
  parScaleUnits(2.0);
  EXPECT_DOUBLE_EQ(b.frradius, 4.0 * 25.4 * 2.0);
  EXPECT_EQ(parUnscaledPrecision(), 0.002);
  EXPECT_EQ(b.precision, 0.004);
  EXPECT_EQ(parCollTolerance(), 0.004);
  EXPECT_EQ(b.collTolerance, 0.006);
  EXPECT_EQ(b.gridFactor, 0.01);
}

TEST_F(GlobalParamsTest, ResetRestoresDefaultsAndWriteFlags) {
  const std::vector<std::string> defaults = blockValues();
  ASSERT_EQ(parCfgWriteAll("x.cfg"), 1);
  block().frradius = 1.0;
  std::strcpy(block().tmpDir, "/elsewhere");
  parScaleUnits(3.0);
  parResetState();
  EXPECT_EQ(blockValues(), defaults);
  EXPECT_EQ(findRow("*APPROX")->writeFlag, 0);
  EXPECT_EQ(findRow("*BOUNDARY")->writeFlag, 1);
  EXPECT_EQ(parUnscaledPrecision(), 0.01);
  EXPECT_EQ(parCollTolerance(), 0.01);
}

TEST_F(GlobalParamsTest, SkipLastPlaneAndFinishPassFollowTheBlock) {
  qdtest::writeFile("p.cfg", "*SKIP_LAST_PLANE 1\n*FINISH_PASS 0\n");
  ASSERT_EQ(parCfgRead("p.cfg"), 1);
  EXPECT_EQ(parSkipLastPlane(), 1);
  EXPECT_EQ(parFinishPass(), 0);
}

// Numbers are read and written as in the "C" locale, also when the host chose a locale whose
// decimal mark is a comma.
TEST_F(GlobalParamsTest, NumbersIgnoreTheHostLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8",
                         "fr_FR.utf8",  "de_DE",      "fr_FR"};
  const char* found = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  qdtest::writeFile("n.cfg", "*FRRADIUS 2.75\n*NCKO_O 0.5 1.5 2.5\n");
  ASSERT_EQ(parCfgRead("n.cfg"), 1);
  EXPECT_EQ(block().frradius, 2.75);
  EXPECT_EQ(block().nckoO[2], 2.5);
  ASSERT_EQ(parCfgWrite("out.cfg"), 1);
  EXPECT_NE(qdtest::readFile("out.cfg").find("*FRRADIUS           2.75 "), std::string::npos);
  std::setlocale(LC_ALL, "C");
}

}  // namespace
