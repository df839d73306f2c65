// tool_desc.cpp - the tool description writer. Parameters and ".CFG" entries name the same values
// differently, so one reader (TdSource) maps the parameter names onto the ".CFG" keys and one
// writer emits the description from what the two sources have in common; the few values that
// only one source spells its own way (type codes, spindle rotation, reference, coolant, insert
// tools) are worked out before writing.
#include "framework/tool_desc.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "framework/xchg_number.h"

namespace {
// Comments are cut to this many characters before escaping; the escaped comment of an opening
// line keeps at most kTdOpeningCommentMax characters.
constexpr std::size_t kTdCommentMax = 230;
constexpr std::size_t kTdOpeningCommentMax = 246;
constexpr std::int32_t kTdOutlineGrowth = 32;

// Parameter names and the ".CFG" keys that hold the same value.
constexpr std::pair<const char*, const char*> kTdCfgKeys[] = {
    {"toolName", "*WKZNUMMER"},
    {"toolComment", "*WKZKOMMENTAR"},
    {"toolComment2", "*WKZKOMMENTAR2"},
    {"toolContour", "*TOOL_CONTOUR"},
    {"cornerRadius", "*FRBOGEN"},
    {"toolLength", "*FRLAENGE"},
    {"taperAngle", "*TAPER_ANGLE"},
    {"coneAngle", "*TIP_ANGLE"},
    {"planeFeedrate", "*XVORSCHUB"},
    {"zFeedrate", "*ZVORSCHUB"},
    {"initialSpindleSpeed", "*INITIAL_SPINDLE_SPEED"},
    {"spindleSpeed", "*DREHZAHL"},
    {"totalToolLength", "*TOTAL_TOOL_LENGTH"},
    {"cuttingLength", "*CUTTING_LENGTH"},
    {"tipDiameter", "*TIP_DIAMETER"},
    {"discHeight", "*DISC_HEIGHT"},
    {"barrelHeight", "*BARREL_HEIGHT"},
    {"centerHeight", "*CENTER_HEIGHT"},
    {"barrelRadius", "*BARREL_RADIUS"},
    {"lensRadius", "*LENS_RADIUS"},
    {"chamferAngle", "*CHAMFER_ANGLE"},
    {"nominalDiameter", "*NOMINAL_DIAMETER"},
    {"toolRadiusAllowance", "*TOOL_RADIUS_ALLOWANCE"},
    {"toolLengthAllowance", "*TOOL_LENGTH_ALLOWANCE"},
    {"toolShaftDiameter", "*SHAFT_DIAMETER"},
    {"toolShaftChamferLength", "*CHAMFER_LENGTH"},
    {"coolant2", "*KUEHLMITTEL2"},
    {"toolHolderType", "*HOLDERTYP"},
    {"toolHolderComment", "*HOLDERKOMMENTAR"},
    {"toolHolderComment2", "*HOLDERKOMMENTAR2"},
    {"toolHolderLength1", "*LENGTH1"},
    {"toolHolderDiameter1", "*DIAMETER1"},
    {"toolHolderLength2", "*LENGTH2"},
    {"toolHolderDiameter2", "*DIAMETER2"},
    {"toolHeadLength1", "*HEAD_LENGTH1"},
    {"toolHeadDiameter1", "*HEAD_DIAMETER1"},
    {"toolHeadLength2", "*HEAD_LENGTH2"},
    {"toolHeadDiameter2", "*HEAD_DIAMETER2"},
};

// Holder and head values: the parameter and the value name it is written under.
constexpr std::pair<const char*, const char*> kTdHolderValues[] = {
    {"toolHolderLength1", "length1"},
    {"toolHolderDiameter1", "diameter1"},
    {"toolHolderLength2", "length2"},
    {"toolHolderDiameter2", "diameter2"}};
constexpr std::pair<const char*, const char*> kTdHeadValues[] = {
    {"toolHeadLength1", "length1"},
    {"toolHeadDiameter1", "diameter1"},
    {"toolHeadLength2", "length2"},
    {"toolHeadDiameter2", "diameter2"}};

// Values written in this order after the type values, each when set: the written name and the
// parameter it comes from.
constexpr std::pair<const char*, const char*> kTdCommonValues[] = {
    {"toolRadiusAllowance", "toolRadiusAllowance"},
    {"toolLengthAllowance", "toolLengthAllowance"},
    {"taperAngle", "taperAngle"},
    {"taperHeight", "taperHeight"},
    {"coneAngle", "coneAngle"},
    {"toolLength", "toolLength"},
    {"toolTotalLength", "totalToolLength"},
    {"cuttingLength", "cuttingLength"},
    {"toolRTCPlength", "toolRTCPlength"},
    {"planeFeedrate", "planeFeedrate"},
    {"zFeedrate", "zFeedrate"},
    {"spindleSpeed", "spindleSpeed"},
    {"spindleRotation", "spindleRotation"}};

// Parameters and ".CFG" keys whose values are texts or codes; every other value the description
// reads is a number and is written as one.
constexpr const char* kTdTextNames[] = {"toolName",
                                        "toolComment",
                                        "toolComment2",
                                        "toolType",
                                        "toolContour",
                                        "coolant",
                                        "coolant2",
                                        "toolReference",
                                        "toolHolderType",
                                        "toolHolderComment",
                                        "toolHolderComment2",
                                        "NCstop",
                                        "spindleRotation",
                                        "*WKZKOMMENTAR",
                                        "*WKZKOMMENTAR2",
                                        "*TOOL_CONTOUR",
                                        "*HOLDERTYP",
                                        "*HOLDERKOMMENTAR",
                                        "*HOLDERKOMMENTAR2",
                                        "*TOOL_REFERENCE",
                                        "*FRTYP",
                                        "*DREHRICHT",
                                        "*TOOL_TIP",
                                        "*KUEHLMITTEL",
                                        "*KUEHLMITTEL2",
                                        "*NC_STOP",
                                        "*SIDE_OF_INSERT",
                                        "*MOUNTING_DIRECTION",
                                        "*TOOL_ORIENTATION",
                                        "*CUTTING_SIDE"};

bool tdIsTextName(const char* name) {
  for (const char* t : kTdTextNames) {
    if (std::strcmp(t, name) == 0) return true;
  }
  return false;
}

// Whether text holds a number that is not finite: "inf", "-nan", "1e400" (read as in the "C"
// locale), alone or among other numbers ("0 1e999 0").
bool tdNotFinite(const char* text) {
  locale_t c = platCLocale();
  for (const char* p = text; *p != '\0';) {
    char* end = nullptr;
    const double v = c != nullptr ? strtod_l(p, &end, c) : std::strtod(p, &end);
    if (end != p) {
      if (!std::isfinite(v)) return true;
      p = end;
    } else {
      ++p;
    }
  }
  return false;
}

// Where the values come from. get() answers by parameter name; for a ".CFG" source the name is
// looked up under its key. Empty values count as not set; so do numbers that are not finite,
// and the first name that held one is kept in badName: the description is then not written and
// the run fails, since a tool of diameter "inf" or a feed of "nan" is no tool.
struct TdSource {
  const CycleRecord* cycle;
  bool cfg;
  mutable const char* badName = nullptr;

  // A number value's text, or null when it is not a finite number (noted in badName).
  const char* checked(const char* name, const char* v) const {
    if (v == nullptr || tdIsTextName(name) || !tdNotFinite(v)) return v;
    if (badName == nullptr) badName = name;
    return nullptr;
  }

  const char* raw(const char* name) const {
    const char* v = parListLastValue(cfg ? cycle->cfgEntries : cycle->params, name);
    return checked(name, v != nullptr && v[0] != '\0' ? v : nullptr);
  }

  const char* get(const char* name) const {
    if (!cfg) {
      if (std::strcmp(name, "toolRTCPlength") == 0) {
        const char* v = raw("toolLength");
        return v != nullptr ? v : raw("totalToolLength");
      }
      if (std::strcmp(name, "spindleSpeed") == 0) {
        const char* v = raw("initialSpindleSpeed");
        return v != nullptr ? v : raw("spindleSpeed");
      }
      return raw(name);
    }
    if (std::strcmp(name, "taperHeight") == 0) {
      const char* v = raw("*TIP_LENGTH");
      return v != nullptr ? v : raw("*TAPER_HEIGHT");
    }
    if (std::strcmp(name, "toolRTCPlength") == 0) {
      const char* v = raw("*FRLAENGE");
      return v != nullptr ? v : raw("*TOTAL_TOOL_LENGTH");
    }
    if (std::strcmp(name, "spindleSpeed") == 0) {
      const char* v = raw("*INITIAL_SPINDLE_SPEED");
      return v != nullptr ? v : raw("*DREHZAHL");
    }
    if (std::strcmp(name, "spindleRotation") == 0) {
      const char* r = raw("*DREHRICHT");
      if (r == nullptr) return nullptr;
      return r[0] == '0' ? "none" : r[0] == '1' ? "clockwise" : "counterClockwise";
    }
    for (const auto& [param, key] : kTdCfgKeys) {
      if (std::strcmp(param, name) == 0) return raw(key);
    }
    return nullptr;
  }
};

using TdValues = std::vector<std::pair<std::string, std::string>>;

// Everything the writer needs, worked out from one source.
struct TdDescription {
  const char* name = nullptr;  // tool name or number; no tool block without it
  std::string typeText;        // " type[...]" or empty
  const char* comment = nullptr;
  const char* comment2 = nullptr;
  TdValues values;  // the value lines between the comment and the outline
  int outline = kToolOutlineTool;
  bool holder = false;
  std::string holderTypeText;
  const char* holderComment = nullptr;
  const char* holderComment2 = nullptr;
  TdValues holderValues;
  const char* holderClose = " }";
  bool head = false;
  TdValues headValues;
  TdValues controls;  // layer-10 values after the tool block
};

// "%.6lf" in the "C" locale.
std::string tdFixed6(double v) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed, 6);
  if (r.ec != std::errc()) return "0.000000";
  return std::string(buf, r.ptr);
}

double tdNumber(const char* text) {
  double v = 0;
  if (text != nullptr) numParse3(text, &v, nullptr, nullptr);
  return v;
}

std::string tdEscape(const char* text, std::size_t cut) {
  std::string in = text != nullptr ? text : "";
  if (in.size() > cut) in.resize(cut);
  std::string out(4 * in.size() + 1, '\0');
  const int n = xchgEscapeText(out.data(), out.size(), in.c_str());
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

// " cmnt[...]" of a comment for an opening line; empty without a comment.
std::string tdCommentText(const char* comment) {
  if (comment == nullptr) return std::string();
  std::string escaped = tdEscape(comment, kTdCommentMax);
  if (escaped.size() > kTdOpeningCommentMax) escaped.resize(kTdOpeningCommentMax);
  return " cmnt[" + escaped + "]";
}

void tdAdd(TdValues& values, const char* name, const char* value) {
  if (value != nullptr) values.emplace_back(name, value);
}

// Type name of a ".CFG" type code.
const char* tdCfgTypeName(const char* code) {
  static constexpr std::pair<const char*, const char*> kCodes[] = {
      {"1", "ballMill"},         {"2", "endMill"},         {"3", "radiusMill"},
      {"5", "drilTool"},         {"6", "ballMill"},        {"12", "lollipop"},
      {"13", "woodruff"},        {"14", "barrelcutter"},   {"15", "lenscutter"},
      {"16", "chamferedcutter"}, {"17", "Tslotcutter"},    {"101", "insertTtool"},
      {"102", "threadTtool"},    {"103", "recessingTtool"}};
  if (code == nullptr) return "";
  for (const auto& [c, name] : kCodes) {
    if (std::strcmp(code, c) == 0) return name;
  }
  if (code[0] == '1' && code[1] != '0') return "ballMill";
  return "endMill";
}

bool tdIs(const std::string& type, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (type == n) return true;
  }
  return false;
}

// The reference length of the tool's centre.
std::string tdCenterLength(const TdSource& src, const std::string& type, double diameter) {
  if (tdIs(type, {"ballMill", "lollipop"})) return tdFixed6(diameter / 2);
  const char* v = nullptr;
  if (tdIs(type, {"radiusMill", "woodruff"})) v = src.get("cornerRadius");
  if (type == "barrelcutter") v = src.get("centerHeight");
  if (type == "lenscutter") v = src.get("lensRadius");
  return v != nullptr ? v : "0";
}

// Diameter, corner radius and the values of the type.
void tdShapeValues(const TdSource& src, const std::string& type, double diameter, TdValues& out) {
  out.emplace_back("toolDiameter", tdFixed6(diameter));
  if (tdIs(type, {"ballMill", "lollipop"})) {
    out.emplace_back("cornerRadius", tdFixed6(diameter / 2));
  } else if (tdIs(type, {"radiusMill", "woodruff", "barrelcutter", "lenscutter"})) {
    tdAdd(out, "cornerRadius", src.get("cornerRadius"));
  }
  // The values that describe each special shape.
  static constexpr std::pair<const char*, const char*> kTypeValues[] = {
      {"lollipop", "tipDiameter"},
      {"woodruff", "tipDiameter"},
      {"woodruff", "discHeight"},
      {"Tslotcutter", "tipDiameter"},
      {"Tslotcutter", "discHeight"},
      {"barrelcutter", "tipDiameter"},
      {"barrelcutter", "barrelHeight"},
      {"barrelcutter", "centerHeight"},
      {"barrelcutter", "barrelRadius"},
      {"lenscutter", "lensRadius"},
      {"chamferedcutter", "tipDiameter"},
      {"chamferedcutter", "chamferAngle"},
      {"chamferedcutter", "nominalDiameter"}};
  for (const auto& [shape, name] : kTypeValues) {
    if (type == shape) tdAdd(out, name, src.get(name));
  }
}

// The common values, then the reference values named "TRef.<name>" ("*TREF_<name>" entries),
// then reference and shaft. Returns the length of the reference named by reference, or "0".
std::string tdToolValues(const TdSource& src, const char* reference, const char* referenceLine,
                         TdValues& out) {
  for (const auto& [name, param] : kTdCommonValues) tdAdd(out, name, src.get(param));
  std::string length = "0";
  const ParamNode* list = src.cfg ? src.cycle->cfgEntries : src.cycle->params;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->value == nullptr) continue;
    std::string name;
    const char* rest = nullptr;
    if (src.cfg && std::strncmp(n->name, "*TREF_", 6) == 0) {
      rest = n->name + 6;
      name = std::string("Tref.") + rest;
    } else if (!src.cfg && strncasecmp(n->name, "TRef.", 5) == 0) {
      rest = n->name + 5;
      name = n->name;
    } else {
      continue;
    }
    if (src.checked(n->name, n->value) == nullptr) continue;
    out.emplace_back(name, n->value);
    if (reference != nullptr && std::strcmp(reference, rest) == 0) length = n->value;
  }
  tdAdd(out, "toolReference", referenceLine);
  tdAdd(out, "toolShaftDiameter", src.get("toolShaftDiameter"));
  tdAdd(out, "toolShaftChamferLength", src.get("toolShaftChamferLength"));
  return length;
}

// Holder and head: their values, and whether each is there.
void tdHolderAndHead(const TdSource& src, const ToolDescWork* work, TdDescription& d) {
  for (const auto& [param, name] : kTdHolderValues) {
    const char* v = src.get(param);
    if (v == nullptr || (src.cfg && std::strcmp(v, "0") == 0)) continue;
    d.holderValues.emplace_back(name, v);
    d.holder = true;
  }
  if (!src.cfg) {
    for (const char* p : {"toolHolderType", "toolHolderComment", "toolHolderComment2"}) {
      if (src.get(p) != nullptr) d.holder = true;
    }
  }
  for (const auto& [param, name] : kTdHeadValues) {
    const char* v = src.get(param);
    if (v == nullptr) continue;
    d.headValues.emplace_back(name, v);
    d.head = true;
  }
  if (work->outlines[kToolOutlineHolder].count > 1) d.holder = true;
  if (work->outlines[kToolOutlineHead].count > 1) d.head = true;
  const char* holderType = src.get("toolHolderType");
  if (holderType != nullptr)
    d.holderTypeText = " type[" + tdEscape(holderType, std::string::npos) + "]";
  d.holderComment = src.get("toolHolderComment");
  d.holderComment2 = src.get("toolHolderComment2");
  d.holderClose = src.cfg ? "  }" : " }";
}

// The coolant control values.
void tdCoolant(const char* m8, const char* m8add, TdValues& out) {
  out.emplace_back("M8", m8);
  out.emplace_back("M8add", m8add != nullptr ? m8add : "0");
  out.emplace_back("tr", "M8");
}

// Values of insert tools (types 101 to 103) in place of the shape and tool values.
void tdInsertValues(const TdSource& src, const std::string& type, TdValues& out) {
  tdAdd(out, "extrusionThickness", src.raw("*EXTRUSION_THICKNESS"));
  tdAdd(out, "insertThickness", src.raw("*INSERT_THICKNESS"));
  tdAdd(out, "insertAxisDistance", src.raw("*INSERT_AXIS_DISTANCE"));
  tdAdd(out, "insertShaftDistance", src.raw("*INSERT_SHAFT_DISTANCE"));
  // "-1" right, "0" tip, anything else left.
  auto side = [](const char* v) -> const char* {
    if (v == nullptr) return nullptr;
    if (std::strncmp(v, "-1", 2) == 0) return "right";
    if (v[0] == '0') return "tip";
    return "left";
  };
  const char* sideOfInsert = side(src.raw("*SIDE_OF_INSERT"));
  const char* mounting = side(src.raw("*MOUNTING_DIRECTION"));
  if (type == "insertTtool") {
    const char* t = src.raw("*INSERT_TYPE");
    const long n = t != nullptr ? static_cast<long>(tdNumber(t)) : 0;
    static const char* const kInsertTypes[] = {"rhombic", "triangular", "round"};
    if (n >= 1 && n <= 3) out.emplace_back("insertType", kInsertTypes[n - 1]);
    if (n > 0) {
      tdAdd(out, "sideOfInsert", sideOfInsert);
      tdAdd(out, "cornerRadius", src.get("cornerRadius"));
    }
    if (n == 1 || n == 2) tdAdd(out, "insertApproachAngle", src.raw("*INSERT_APPROACH_ANGLE"));
    if (n == 1) tdAdd(out, "insertAngle", src.raw("*INSERT_ANGLE"));
    if (n == 1 || n == 2) tdAdd(out, "insertLength", src.raw("*INSERT_LENGTH"));
    if (n == 1) tdAdd(out, "insertHeight", src.raw("*INSERT_HEIGHT"));
  } else if (type == "threadTtool") {
    tdAdd(out, "heightOfCuttingArea", src.raw("*HEIGHT_OF_CUTTING_AREA"));
    tdAdd(out, "mountingDirection", mounting);
    tdAdd(out, "sideOfInsert", sideOfInsert);
  } else {
    tdAdd(out, "cornerRadius", src.get("cornerRadius"));
    tdAdd(out, "widthOfCuttingArea", src.raw("*WIDTH_OF_CUTTING_AREA"));
    tdAdd(out, "heightOfCuttingArea", src.raw("*HEIGHT_OF_CUTTING_AREA"));
    tdAdd(out, "mountingDirection", mounting);
    tdAdd(out, "sideOfInsert", sideOfInsert);
  }
  for (int i = 1; i <= 4; ++i) {
    const std::string n = std::to_string(i);
    tdAdd(out, ("toolShaftDiameter" + n).c_str(), src.raw(("*SHAFT_DIAMETER" + n).c_str()));
    tdAdd(out, ("toolShaftLength" + n).c_str(), src.raw(("*SHAFT_LENGTH" + n).c_str()));
  }
}

ToolDescWork* tdWork(CycleRecord* cycle) {
  if (cycle->toolWork == nullptr) cycle->toolWork = memAllocZero(sizeof(ToolDescWork));
  return static_cast<ToolDescWork*>(cycle->toolWork);
}

void tdSendValues(CycleRecord* cycle, const TdValues& values) {
  for (const auto& [name, value] : values) cycSendToolValue(cycle, name.c_str(), value.c_str());
}

// Writes the description: tool frame, comment, tool block, control values.
void tdEmit(CycleRecord* cycle, const TdDescription& d, const ToolDescWork* work) {
  static const char* const kFrameNames[4] = {"toolCs_x", "toolCs_y", "toolCs_z", "toolCs_o"};
  for (int column = 0; column < 4; ++column) {
    char c[3][64];
    for (int row = 0; row < 3; ++row)
      numFormatFixed8(c[row], sizeof c[row], cycle->tool.m[row * 4 + column]);
    const std::string text = std::string(c[0]) + "," + c[1] + "," + c[2];
    cycSendTextRecord(cycle, 0, 100, kFrameNames[column], text.c_str());
  }
  if (d.comment != nullptr) cycSendComment(cycle, d.comment);
  if (d.name != nullptr) {
    const std::string opening =
        "oTool[" + std::string(d.name) + "](" + d.typeText + tdCommentText(d.comment) + " ) {";
    cycSendToolText(cycle, opening.c_str());
    if (d.comment2 != nullptr)
      cycSendToolValue(cycle, "comment", tdEscape(d.comment2, kTdCommentMax).c_str());
    tdSendValues(cycle, d.values);
    toolDescWriteContour(cycle, " ", &work->outlines[d.outline]);
    if (d.holder) {
      const std::string holder =
          "oToolHolder(" + d.holderTypeText + tdCommentText(d.holderComment) + " ) {";
      cycSendToolText(cycle, holder.c_str());
      if (d.holderComment2 != nullptr) {
        cycSendToolValue(cycle, "comment", tdEscape(d.holderComment2, kTdCommentMax).c_str());
      }
      tdSendValues(cycle, d.holderValues);
      toolDescWriteContour(cycle, "  ", &work->outlines[kToolOutlineHolder]);
      cycSendToolText(cycle, d.holderClose);
    }
    if (d.head) {
      cycSendToolText(cycle, "oToolHead( ) {");
      tdSendValues(cycle, d.headValues);
      toolDescWriteContour(cycle, "  ", &work->outlines[kToolOutlineHead]);
      cycSendToolText(cycle, "  }");
    }
    cycSendToolText(cycle, "}");
  }
  for (const auto& [name, value] : d.controls) cycSendNameValue(cycle, name.c_str(), value.c_str());
}

// Writes the description, or, when a number value was not finite, fails the run with a message
// naming its parameter or key and writes nothing. Returns 1 written, 0 failed.
int tdEmitChecked(CycleRecord* cycle, const TdSource& src, const TdDescription& d,
                  const ToolDescWork* work) {
  if (src.badName != nullptr) {
    const std::string what = std::string(src.badName) + ": not a finite number";
    cycFailWithMessage(cycle, kCycMsgBadValue, what.c_str());
    return 0;
  }
  tdEmit(cycle, d, work);
  return 1;
}

// The reference control values and the tool change that every source ends with.
void tdReferenceControls(const char* reference, const std::string& length, const char* name,
                         TdValues& controls) {
  controls.emplace_back("toolReference", reference);
  controls.emplace_back("toolReferenceLength", length);
  if (name == nullptr) return;
  controls.emplace_back("T", name);
  controls.emplace_back("tr", "TC");
  controls.emplace_back("tr", "toolReference");
}

int tdFromParams(CycleRecord* cycle) {
  ToolDescWork* work = tdWork(cycle);
  if (work == nullptr) return -1;
  const TdSource src{cycle, false};
  toolDescBuildOutlines(src.get("toolContour"), work);
  TdDescription d;
  d.name = src.get("toolName");
  d.comment = src.get("toolComment");
  d.comment2 = src.get("toolComment2");
  const char* typeParam = src.get("toolType");
  const std::string type = typeParam != nullptr ? typeParam : "";
  if (typeParam != nullptr) {
    d.typeText = std::string(" type[") +
                 (strcasecmp(typeParam, "drillTool") == 0 ? "drilTool" : typeParam) + "]";
  }
  const double diameter = tdNumber(src.get("toolDiameter"));
  const char* reference = src.get("toolReference");
  tdShapeValues(src, type, diameter, d.values);
  const std::string named = tdToolValues(src, reference, reference, d.values);
  tdHolderAndHead(src, work, d);
  const char* stop = src.get("NCstop");
  if (stop != nullptr && std::strcmp(stop, "true") == 0) d.controls.emplace_back("tr", "M0");
  std::string length = "0";
  if (reference != nullptr && std::strcmp(reference, "center") == 0)
    length = tdCenterLength(src, type, diameter);
  if (reference != nullptr && std::strcmp(reference, "tip") != 0 &&
      std::strcmp(reference, "center") != 0) {
    length = named;
  }
  tdReferenceControls(reference != nullptr ? reference : "tip", length, d.name, d.controls);
  if (d.name != nullptr) {
    const char* coolant = src.get("coolant");
    tdCoolant(coolant != nullptr ? coolant : "0,0", src.get("coolant2"), d.controls);
  }
  return tdEmitChecked(cycle, src, d, work);
}

int tdFromCfg(CycleRecord* cycle) {
  ToolDescWork* work = tdWork(cycle);
  if (work == nullptr) return -1;
  const TdSource src{cycle, true};
  // The tool frame's columns from "*WZKO_X" ... "*WZKO_O", each of three numbers. The axes are
  // made unit vectors as the source loader makes them (a zero axis keeps its column), so the
  // frame written is the frame the run uses.
  static const char* const kFrameKeys[4] = {"*WZKO_X", "*WZKO_Y", "*WZKO_Z", "*WZKO_O"};
  for (int column = 0; column < 4; ++column) {
    double v[3] = {0, 0, 0};
    if (numParse3(src.raw(kFrameKeys[column]), &v[0], &v[1], &v[2]) != 3) continue;
    if (column < 3) {
      const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      if (!(length > 1e-12) || !std::isfinite(length)) continue;
      for (double& c : v) c /= length;
    }
    for (int row = 0; row < 3; ++row) cycle->tool.m[row * 4 + column] = v[row];
  }
  toolDescBuildOutlines(src.get("toolContour"), work);
  TdDescription d;
  d.name = src.get("toolName");
  d.comment = src.get("toolComment");
  d.comment2 = src.get("toolComment2");
  const std::string type = tdCfgTypeName(src.raw("*FRTYP"));
  d.typeText = " type[" + type + "]";
  const bool insert = tdIs(type, {"insertTtool", "threadTtool", "recessingTtool"});
  const double diameter = 2 * tdNumber(src.raw("*FRRADIUS"));
  const char* tip = src.raw("*TOOL_TIP");
  const char* reference = src.raw("*TOOL_REFERENCE");
  // The reference named by "*TOOL_TIP": 1 tip, 3 left, 4 right, any other the centre.
  const char* tipReference = nullptr;
  if (tip != nullptr) {
    tipReference = std::strcmp(tip, "1") == 0   ? "tip"
                   : std::strcmp(tip, "3") == 0 ? "left"
                   : std::strcmp(tip, "4") == 0 ? "right"
                                                : "center";
  }
  std::string named = "0";
  if (insert) {
    tdInsertValues(src, type, d.values);
    d.outline = kToolOutlineExtrusion;
  } else {
    tdShapeValues(src, type, diameter, d.values);
    named = tdToolValues(src, reference, reference != nullptr ? reference : tipReference, d.values);
  }
  tdHolderAndHead(src, work, d);
  const char* stop = src.raw("*NC_STOP");
  if (stop != nullptr && stop[0] == '1') d.controls.emplace_back("tr", "M0");
  if (insert) {
    const char* offZ = src.raw("*REFERENCE_OFFSET_Z");
    const char* offX = src.raw("*REFERENCE_OFFSET_X");
    if (offZ != nullptr && offX != nullptr) {
      d.controls.emplace_back("referenceOffsetZ", offZ);
      d.controls.emplace_back("referenceOffsetX", offX);
    }
    const char* sideReference = nullptr;
    if (tip != nullptr) {
      sideReference = std::strcmp(tip, "3") == 0   ? "left"
                      : std::strcmp(tip, "4") == 0 ? "right"
                                                   : "tip";
      d.controls.emplace_back("toolReference", sideReference);
    }
    const char* orientation = src.raw("*TOOL_ORIENTATION");
    tdAdd(d.controls, "toolOrientation", orientation);
    if (d.name != nullptr) {
      d.controls.emplace_back("T", d.name);
      d.controls.emplace_back("tr", "TC");
    }
    if (tip != nullptr) d.controls.emplace_back("tr", "toolReference");
    if (orientation != nullptr) d.controls.emplace_back("tr", "toolOrientation");
  } else {
    const char* ref = reference != nullptr
                          ? reference
                          : (tip != nullptr && std::strcmp(tip, "1") != 0 ? "center" : "tip");
    std::string length = "0";
    if (std::strcmp(ref, "center") == 0) length = tdCenterLength(src, type, diameter);
    if (std::strcmp(ref, "tip") != 0 && std::strcmp(ref, "center") != 0) length = named;
    tdReferenceControls(ref, length, d.name, d.controls);
  }
  if (d.name != nullptr) {
    const char* code = src.raw("*KUEHLMITTEL");
    const char* m8 = "0,0";
    if (code != nullptr && code[1] == '\0') {
      if (code[0] == '1') m8 = "1,0";
      if (code[0] == '3') m8 = "0,1";
      if (code[0] == '4') m8 = "1,1";
    }
    tdCoolant(m8, src.get("coolant2"), d.controls);
  }
  return tdEmitChecked(cycle, src, d, work);
}

int tdGrow(ToolOutline* o) {
  if (o->count < o->capacity) return 1;
  const std::int32_t capacity = o->capacity + kTdOutlineGrowth;
  auto* grown = static_cast<ToolOutlineElem*>(
      memRealloc(o->elements, sizeof(ToolOutlineElem) * static_cast<std::size_t>(capacity)));
  if (grown == nullptr) return 0;
  o->elements = grown;
  o->capacity = capacity;
  return 1;
}

int tdAppend(ToolOutline* o, std::int32_t kind, double x, double y, double cx, double cy) {
  if (tdGrow(o) == 0) return 0;
  o->elements[o->count++] = ToolOutlineElem{kind, x, y, cx, cy};
  return 1;
}

double tdCoordNumber(const char* text) {
  double v = 0;
  numParse3(text, &v, nullptr, nullptr);
  return v;
}
}  // namespace

int toolDescWrite(std::FILE* stream, CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  toolDescRelease(cycle);
  cycle->toolWork = memAllocZero(sizeof(ToolDescWork));
  if (cycle->toolWork == nullptr) return -1;
  if (cycle->toolChangeBlocks != 1 || stream == nullptr) return 0;
  return cycle->sourceIsCfg == 1 ? toolDescFromCfg(cycle) : toolDescFromParams(cycle);
}

int toolDescFromParams(CycleRecord* cycle) {
  if (cycle == nullptr) return -1;
  try {
    return tdFromParams(cycle);
  } catch (...) {
    return -1;
  }
}

int toolDescFromCfg(CycleRecord* cycle) {
  if (cycle == nullptr) return -1;
  try {
    return tdFromCfg(cycle);
  } catch (...) {
    return -1;
  }
}

void toolDescFreeWork(ToolDescWork* work) {
  if (work == nullptr) return;
  for (ToolOutline& o : work->outlines) {
    memFree(o.elements);
    o = ToolOutline{0, 0, nullptr};
  }
}

void toolDescRelease(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  toolDescFreeWork(static_cast<ToolDescWork*>(cycle->toolWork));
  memFree(cycle->toolWork);
  cycle->toolWork = nullptr;
}

int toolOutlineStart(ToolOutline* outline, double x, double y) {
  if (outline == nullptr || outline->count != 0) return 0;
  return tdAppend(outline, kToolElemStart, x, y, 0, 0);
}

int toolOutlineLine(ToolOutline* outline, double x, double y) {
  if (outline == nullptr || outline->count == 0) return 0;
  return tdAppend(outline, kToolElemLine, x, y, 0, 0);
}

int toolOutlineArc(ToolOutline* outline, int clockwise, double x, double y, double cx, double cy) {
  if (outline == nullptr || outline->count == 0) return 0;
  return tdAppend(outline, clockwise == 1 ? kToolElemArcCw : kToolElemArcCcw, x, y, cx, cy);
}

int toolDescBuildOutlines(const char* path, ToolDescWork* work) {
  if (work == nullptr) return 0;
  toolDescFreeWork(work);
  if (path == nullptr) return 0;
  XchgHeader header{};
  std::FILE* f = xchgOpen(path, &header);
  xchgHeaderFree(&header);
  if (f == nullptr) return 0;
  static constexpr std::pair<const char*, int> kNames[] = {{"Tool", kToolOutlineTool},
                                                           {"Extrusion", kToolOutlineExtrusion},
                                                           {"Holder", kToolOutlineHolder},
                                                           {"Head", kToolOutlineHead}};
  std::string current;
  ToolOutline* selected = nullptr;
  int depth = 0;
  XchgElement e{};
  xchgElementClear(&e);
  while (xchgNextElement(f, &e) == 1) {
    if (e.kind == '{') {
      if (depth == 0) {
        selected = nullptr;
        for (const auto& [name, index] : kNames) {
          if (strcasecmp(current.c_str(), name) == 0) selected = &work->outlines[index];
        }
      }
      ++depth;
    } else if (e.kind == '}') {
      if (depth > 0) --depth;
      if (depth == 0) {
        current.clear();
        selected = nullptr;
      }
    } else if (e.kind == 'o' && e.name != nullptr) {
      if (depth == 0 && std::strcmp(e.name, "Contour") == 0) {
        current = e.id != nullptr ? e.id : "";
      } else if (depth == 1 && selected != nullptr) {
        XchgCoord c;
        xchgCoordPreset(&c, nullptr, nullptr, nullptr);
        xchgCoordParse(&c, &e);
        const double x = tdCoordNumber(c.second[0]);
        const double y = tdCoordNumber(c.second[1]);
        if (std::strcmp(e.name, "M") == 0) {
          toolOutlineStart(selected, x, y);
        } else if (std::strcmp(e.name, "L") == 0 || std::strcmp(e.name, "A") == 0) {
          if (selected->count == 0)
            toolOutlineStart(selected, tdCoordNumber(c.first[0]), tdCoordNumber(c.first[1]));
          if (e.name[0] == 'L') {
            toolOutlineLine(selected, x, y);
          } else {
            toolOutlineArc(selected, c.name[0] == '-' ? 1 : 0, x, y, tdCoordNumber(c.third[0]),
                           tdCoordNumber(c.third[1]));
          }
        }
      }
    }
    xchgElementClear(&e);
  }
  xchgElementClear(&e);
  xchgClose(f);
  return 1;
}

int toolDescWriteContour(CycleRecord* cycle, const char* prefix, const ToolOutline* outline) {
  if (outline == nullptr || outline->count < 2 || outline->elements == nullptr) return 0;
  const std::string p = prefix != nullptr ? prefix : "";
  std::string line = p + "oContour( )  {";
  cycSendToolText(cycle, line.c_str());
  for (std::int32_t i = 0; i < outline->count; ++i) {
    const ToolOutlineElem& el = outline->elements[i];
    char x[kNumTextSize], y[kNumTextSize], cx[kNumTextSize], cy[kNumTextSize];
    numFormat(x, el.x);
    numFormat(y, el.y);
    numFormat(cx, el.cx);
    numFormat(cy, el.cy);
    const char* end = i + 1 == outline->count ? "  }" : "";
    switch (el.kind) {
      case kToolElemStart: line = p + " oM( x[/" + x + "] y[/" + y + "] )"; break;
      case kToolElemLine: line = p + " oL( x[/" + x + "] y[/" + y + "] )" + end; break;
      default:
        line = p + " oA( o[" + (el.kind == kToolElemArcCw ? "-" : "+") + "] x[/" + x + "/" + cx +
               "] y[/" + y + "/" + cy + "] )" + end;
        break;
    }
    cycSendToolText(cycle, line.c_str());
  }
  return outline->count + 1;
}
