// Tool description: the whole description from parameters and from ".CFG" entries, the values of
// the tool types, comment cuts, outlines from a tool contour file, insert tools, and the switch
// of the tool-change-blocks flag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/xchg_lexer.h"
#include "test_pof_support.h"

using namespace qdtest;

namespace {
const char kIdentityToolFrame[] =
    "0: toolCs_x(1.00000000,0.00000000,0.00000000)\n"
    "0: toolCs_y(0.00000000,1.00000000,0.00000000)\n"
    "0: toolCs_z(0.00000000,0.00000000,1.00000000)\n"
    "0: toolCs_o(0.00000000,0.00000000,0.00000000)\n";

std::string xchgFile(const std::string& body) {
  return std::string(xchgBanner) + "\nqDX-Version: 1.0\nTool\ntester\n\n" + body;
}

// The lines of text that begin with prefix.
std::vector<std::string> linesWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

class ToolDescTest : public PofTest {
 protected:
  void SetUp() override {
    PofTest::SetUp();
    serve({0, 2, 10, 11});
  }
};
}  // namespace

TEST_F(ToolDescTest, FromParametersWithHolderHeadReferenceAndOutlines) {
  writeFile("tool.qdx",
            xchgFile("oContour[tool]( )\n{\noM( x[/0] y[/0] )\noL( x[/5] y[/0] )\n"
                     "oA( o[-] x[/0/0] y[/5/0] )\n}\n"
                     "oContour[Holder]( )\n{\noL( x[0/10] y[30/30] )\n}\n"
                     "oContour[Other]( )\n{\noL( x[/1] y[/1] )\noL( x[/2] y[/1] )\n}\n"));
  const std::pair<const char*, const char*> params[] = {{"toolName", "BM10"},
                                                        {"toolType", "ballMill"},
                                                        {"toolDiameter", "10"},
                                                        {"toolComment", "finish (fine)"},
                                                        {"toolComment2", "second"},
                                                        {"toolLength", "50"},
                                                        {"totalToolLength", "80"},
                                                        {"planeFeedrate", "1000"},
                                                        {"spindleSpeed", "9000"},
                                                        {"initialSpindleSpeed", "7000"},
                                                        {"spindleRotation", "clockwise"},
                                                        {"TRef.gauge", "42"},
                                                        {"toolReference", "gauge"},
                                                        {"toolHolderType", "HSK63"},
                                                        {"toolHolderLength1", "30"},
                                                        {"toolHeadDiameter1", "120"},
                                                        {"coolant", "1,1"},
                                                        {"coolant2", "5"},
                                                        {"NCstop", "true"},
                                                        {"toolContour", "tool.qdx"},
                                                        {"compRegister", "3"}};
  for (const auto& [n, v] : params) param(n, v);
  EXPECT_EQ(toolDescFromParams(&rec_), 1);
  EXPECT_EQ(text(), std::string(kIdentityToolFrame) +
                        "2: finish \\040fine\\041\n"
                        "11: oTool[BM10]( type[ballMill] cmnt[finish \\040fine\\041] ) {\n"
                        "11: vcomment(second)\n"
                        "11: vtoolDiameter(10.000000)\n"
                        "11: vcornerRadius(5.000000)\n"
                        "11: vtoolLength(50)\n"
                        "11: vtoolTotalLength(80)\n"
                        "11: vtoolRTCPlength(50)\n"
                        "11: vplaneFeedrate(1000)\n"
                        "11: vspindleSpeed(7000)\n"
                        "11: vspindleRotation(clockwise)\n"
                        "11: vTRef.gauge(42)\n"
                        "11: vtoolReference(gauge)\n"
                        "11:  oContour( )  {\n"
                        "11:   oM( x[/0] y[/0] )\n"
                        "11:   oL( x[/5] y[/0] )\n"
                        "11:   oA( o[-] x[/0/0] y[/5/0] )  }\n"
                        "11: oToolHolder( type[HSK63] ) {\n"
                        "11: vlength1(30)\n"
                        "11:   oContour( )  {\n"
                        "11:    oM( x[/0] y[/30] )\n"
                        "11:    oL( x[/10] y[/30] )  }\n"
                        "11:  }\n"
                        "11: oToolHead( ) {\n"
                        "11: vdiameter1(120)\n"
                        "11:   }\n"
                        "11: }\n"
                        "10: tr(M0)\n"
                        "10: toolReference(gauge)\n"
                        "10: toolReferenceLength(42)\n"
                        "10: T(BM10)\n"
                        "10: arg(I:\"compRegister\":=3)\n"
                        "10: arg(S:\"compRegisterComment\":=\"\")\n"
                        "10: arg(I:\"compRegisterChanged\":=1)\n"
                        "10: tr(TC)\n"
                        "10: tr(toolReference)\n"
                        "10: M8(1,1)\n"
                        "10: M8add(5)\n"
                        "10: tr(M8)\n");
}

TEST_F(ToolDescTest, WithoutToolNameOnlyFrameCommentAndReference) {
  param("toolComment", "c");
  param("toolDiameter", "6");
  EXPECT_EQ(toolDescFromParams(&rec_), 1);
  EXPECT_EQ(text(), std::string(kIdentityToolFrame) +
                        "2: c\n10: toolReference(tip)\n10: toolReferenceLength(0)\n");
}

// The values each tool type adds, and the reference length of its centre.
TEST_F(ToolDescTest, TypeValuesAndCentreReference) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> params;
    std::vector<std::string> values;  // the "11: v" lines
    const char* opening;
    const char* referenceLength;
  };
  const Case cases[] = {
      {{{"toolType", "ballMill"}, {"toolDiameter", "10"}},
       {"11: vtoolDiameter(10.000000)", "11: vcornerRadius(5.000000)"},
       "11: oTool[T]( type[ballMill] ) {",
       "5.000000"},
      {{{"toolType", "lollipop"}, {"toolDiameter", "8"}, {"tipDiameter", "3"}, {"discHeight", "9"}},
       {"11: vtoolDiameter(8.000000)", "11: vcornerRadius(4.000000)", "11: vtipDiameter(3)"},
       "11: oTool[T]( type[lollipop] ) {",
       "4.000000"},
      {{{"toolType", "radiusMill"}, {"toolDiameter", "12"}, {"cornerRadius", "2"}},
       {"11: vtoolDiameter(12.000000)", "11: vcornerRadius(2)"},
       "11: oTool[T]( type[radiusMill] ) {",
       "2"},
      {{{"toolType", "endMill"}, {"toolDiameter", "6"}, {"cornerRadius", "1"}},
       {"11: vtoolDiameter(6.000000)"},
       "11: oTool[T]( type[endMill] ) {",
       "0"},
      {{{"toolType", "barrelcutter"},
        {"toolDiameter", "20"},
        {"centerHeight", "7"},
        {"barrelRadius", "50"}},
       {"11: vtoolDiameter(20.000000)", "11: vcenterHeight(7)", "11: vbarrelRadius(50)"},
       "11: oTool[T]( type[barrelcutter] ) {",
       "7"},
      {{{"toolType", "DRILLTOOL"}, {"toolDiameter", "4.5"}},
       {"11: vtoolDiameter(4.500000)"},
       "11: oTool[T]( type[drilTool] ) {",
       "0"},
      {{{"toolDiameter", "3"}}, {"11: vtoolDiameter(3.000000)"}, "11: oTool[T]( ) {", "0"},
  };
  for (const Case& c : cases) {
    parListFree(rec_.params);
    rec_.params = nullptr;
    param("toolName", "T");
    param("toolReference", "center");
    for (const auto& [n, v] : c.params) param(n, v);
    toolDescFromParams(&rec_);
    const std::string t = fresh();
    std::vector<std::string> values = linesWith(t, "11: v");
    values.pop_back();  // the reference value line
    EXPECT_EQ(values, c.values) << t;
    EXPECT_EQ(linesWith(t, "11: oTool").at(0), c.opening);
    EXPECT_EQ(linesWith(t, "10: toolReferenceLength(").at(0),
              std::string("10: toolReferenceLength(") + c.referenceLength + ")");
  }
}

// Comments are cut to 230 characters before escaping; an opening keeps at most 246 escaped ones.
TEST_F(ToolDescTest, LongCommentsAreCut) {
  param("toolName", "T");
  param("toolComment", std::string(300, 'a').c_str());
  param("toolComment2", std::string(300, 'b').c_str());
  toolDescFromParams(&rec_);
  std::string t = fresh();
  EXPECT_EQ(linesWith(t, "11: oTool").at(0),
            "11: oTool[T]( cmnt[" + std::string(230, 'a') + "] ) {");
  EXPECT_EQ(linesWith(t, "11: vcomment(").at(0), "11: vcomment(" + std::string(230, 'b') + ")");

  param("toolComment", std::string(100, '(').c_str());
  toolDescFromParams(&rec_);
  t = fresh();
  std::string escaped;
  for (int i = 0; i < 100; ++i) escaped += "\\040";
  EXPECT_EQ(linesWith(t, "11: oTool").at(0),
            "11: oTool[T]( cmnt[" + escaped.substr(0, 246) + "] ) {");
}

TEST_F(ToolDescTest, FromCfgEntries) {
  cfg("*WKZNUMMER", "12");
  cfg("*FRRADIUS", "4");
  cfg("*FRTYP", "12");
  cfg("*TIP_DIAMETER", "2.5");
  cfg("*TAPER_HEIGHT", "9");
  cfg("*TIP_LENGTH", "11");  // wins over *TAPER_HEIGHT
  cfg("*TOTAL_TOOL_LENGTH", "90");
  cfg("*DREHZAHL", "6000");
  cfg("*DREHRICHT", "2");
  cfg("*WKZKOMMENTAR2", "second");
  cfg("*TREF_gauge", "33");
  cfg("*TOOL_TIP", "3");
  cfg("*LENGTH1", "0");  // ignored: no holder
  cfg("*HEAD_LENGTH2", "70");
  cfg("*KUEHLMITTEL", "3");
  cfg("*KUEHLMITTEL2", "7");
  cfg("*NC_STOP", "1");
  cfg("*WZKO_O", "1 2 3");
  cfg("*WZKO_Z", "0 3 4");
  EXPECT_EQ(toolDescFromCfg(&rec_), 1);
  EXPECT_EQ(text(),
            "0: toolCs_x(1.00000000,0.00000000,0.00000000)\n"
            "0: toolCs_y(0.00000000,1.00000000,0.00000000)\n"
            "0: toolCs_z(0.00000000,0.60000000,0.80000000)\n"
            "0: toolCs_o(1.00000000,2.00000000,3.00000000)\n"
            "11: oTool[12]( type[lollipop] ) {\n"
            "11: vcomment(second)\n"
            "11: vtoolDiameter(8.000000)\n"
            "11: vcornerRadius(4.000000)\n"
            "11: vtipDiameter(2.5)\n"
            "11: vtaperHeight(11)\n"
            "11: vtoolTotalLength(90)\n"
            "11: vtoolRTCPlength(90)\n"
            "11: vspindleSpeed(6000)\n"
            "11: vspindleRotation(counterClockwise)\n"
            "11: vTref.gauge(33)\n"
            "11: vtoolReference(left)\n"
            "11: oToolHead( ) {\n"
            "11: vlength2(70)\n"
            "11:   }\n"
            "11: }\n"
            "10: tr(M0)\n"
            "10: toolReference(center)\n"
            "10: toolReferenceLength(4.000000)\n"
            "10: T(12)\n"
            "10: arg(I:\"compRegisterChanged\":=0)\n"
            "10: tr(TC)\n"
            "10: tr(toolReference)\n"
            "10: M8(0,1)\n"
            "10: M8add(7)\n"
            "10: tr(M8)\n");
}

TEST_F(ToolDescTest, CfgTypeCodesAndCoolantCodes) {
  struct Case {
    const char* code;
    const char* type;
  };
  const Case types[] = {{"1", "ballMill"},  {"2", "endMill"},   {"3", "radiusMill"},
                        {"5", "drilTool"},  {"6", "ballMill"},  {"11", "ballMill"},
                        {"18", "ballMill"}, {"13", "woodruff"}, {"17", "Tslotcutter"},
                        {"10", "endMill"},  {"104", "endMill"}, {"9", "endMill"}};
  cfg("*WKZNUMMER", "1");
  for (const Case& c : types) {
    parListFree(rec_.cfgEntries);
    rec_.cfgEntries = nullptr;
    cfg("*WKZNUMMER", "1");
    cfg("*FRTYP", c.code);
    toolDescFromCfg(&rec_);
    EXPECT_EQ(linesWith(fresh(), "11: oTool").at(0),
              std::string("11: oTool[1]( type[") + c.type + "] ) {")
        << c.code;
  }
  const std::pair<const char*, const char*> coolants[] = {
      {"1", "1,0"}, {"3", "0,1"}, {"4", "1,1"}, {"2", "0,0"}, {"13", "0,0"}};
  for (const auto& [code, m8] : coolants) {
    cfg("*KUEHLMITTEL", code);
    toolDescFromCfg(&rec_);
    EXPECT_EQ(linesWith(fresh(), "10: M8(").at(0), std::string("10: M8(") + m8 + ")") << code;
  }
}

TEST_F(ToolDescTest, CfgInsertTool) {
  writeFile("insert.qdx",
            xchgFile("oContour[EXTRUSION]( )\n{\noM( x[/0] y[/0] )\noL( x[/3] y[/1] )\n}\n"));
  const std::pair<const char*, const char*> entries[] = {
      {"*WKZNUMMER", "5"},          {"*FRTYP", "101"},
      {"*INSERT_TYPE", "1"},        {"*SIDE_OF_INSERT", "-1"},
      {"*FRBOGEN", "0.4"},          {"*INSERT_ANGLE", "80"},
      {"*INSERT_THICKNESS", "4"},   {"*SHAFT_DIAMETER2", "20"},
      {"*FRRADIUS", "9"},           {"*TOOL_TIP", "4"},
      {"*TOOL_ORIENTATION", "2"},   {"*REFERENCE_OFFSET_Z", "1"},
      {"*REFERENCE_OFFSET_X", "2"}, {"*TOOL_CONTOUR", "insert.qdx"}};
  for (const auto& [k, v] : entries) cfg(k, v);
  toolDescFromCfg(&rec_);
  const std::string t = text();
  EXPECT_EQ(t.substr(t.find("11: oTool")),
            "11: oTool[5]( type[insertTtool] ) {\n"
            "11: vinsertThickness(4)\n"
            "11: vinsertType(rhombic)\n"
            "11: vsideOfInsert(right)\n"
            "11: vcornerRadius(0.4)\n"
            "11: vinsertAngle(80)\n"
            "11: vtoolShaftDiameter2(20)\n"
            "11:  oContour( )  {\n"
            "11:   oM( x[/0] y[/0] )\n"
            "11:   oL( x[/3] y[/1] )  }\n"
            "11: }\n"
            "10: referenceOffsetZ(1)\n"
            "10: referenceOffsetX(2)\n"
            "10: toolReference(right)\n"
            "10: toolOrientation(2)\n"
            "10: T(5)\n"
            "10: arg(I:\"compRegisterChanged\":=0)\n"
            "10: tr(TC)\n"
            "10: tr(toolReference)\n"
            "10: tr(toolOrientation)\n"
            "10: M8(0,0)\n"
            "10: M8add(0)\n"
            "10: tr(M8)\n");
}

TEST_F(ToolDescTest, OutlineBuildersAndShortOutlines) {
  ToolOutline o{0, 0, nullptr};
  EXPECT_EQ(toolOutlineLine(&o, 1, 1), 0) << "a line needs the start";
  EXPECT_EQ(toolOutlineStart(&o, 0, 0), 1);
  EXPECT_EQ(toolOutlineStart(&o, 5, 5), 0) << "only one start";
  EXPECT_EQ(toolDescWriteContour(&rec_, " ", &o), 0);
  EXPECT_EQ(fresh(), "");
  EXPECT_EQ(toolOutlineLine(&o, 2.5, 0), 1);
  EXPECT_EQ(toolDescWriteContour(&rec_, " ", &o), 3);
  EXPECT_EQ(fresh(),
            "11:  oContour( )  {\n11:   oM( x[/0] y[/0] )\n11:   oL( x[/2.5] y[/0] )  }\n");
  for (int i = 0; i < 100; ++i) ASSERT_EQ(toolOutlineArc(&o, i % 2, i, i, 0, 0), 1);
  EXPECT_EQ(o.count, 102);
  EXPECT_GE(o.capacity, 102);
  ToolDescWork work{};
  work.outlines[kToolOutlineTool] = o;
  toolDescFreeWork(&work);
  EXPECT_EQ(work.outlines[kToolOutlineTool].elements, nullptr);

  // A missing or unreadable contour file leaves the outlines empty.
  EXPECT_EQ(toolDescBuildOutlines("missing.qdx", &work), 0);
  writeFile("bad.qdx", "not an exchange file\n");
  EXPECT_EQ(toolDescBuildOutlines("bad.qdx", &work), 0);
  for (const ToolOutline& w : work.outlines) EXPECT_EQ(w.count, 0);
}

// The description is written only when tool changes are framed and an output stream is given.
TEST_F(ToolDescTest, WriteOnlyWithToolChangeBlocks) {
  param("toolName", "T");
  EXPECT_EQ(toolDescWrite(stdout, &rec_), 0);
  EXPECT_NE(rec_.toolWork, nullptr) << "the work record exists for the cycle either way";
  EXPECT_EQ(fresh(), "");
  rec_.toolChangeBlocks = 1;
  EXPECT_EQ(toolDescWrite(nullptr, &rec_), 0);
  EXPECT_EQ(fresh(), "");
  EXPECT_EQ(toolDescWrite(stdout, &rec_), 1);
  EXPECT_NE(fresh().find("11: oTool[T]( ) {\n"), std::string::npos);
  // A ".CFG" source reads its entries, not the parameters.
  cfg("*WKZNUMMER", "9");
  EXPECT_EQ(toolDescWrite(stdout, &rec_), 1);
  EXPECT_NE(fresh().find("11: oTool[9]( type[] ) {\n"), std::string::npos);
}

// A value that must be a number but is not finite was written as it stood ("vtoolDiameter(inf)",
// "T(nan)"). The description is not written; the run fails with a message naming the parameter
// or key. Texts (comments, names of the parameter source) may say anything.
TEST_F(ToolDescTest, NonFiniteNumbersFailTheRunAndWriteNothing) {
  struct Case {
    bool cfg;
    const char* name;
    const char* value;
    int result;  // 0: failed, 1: written
  };
  const Case cases[] = {
      {false, "toolDiameter", "1e400", 0},    {false, "planeFeedrate", "inf", 0},
      {false, "spindleSpeed", "-nan", 0},     {false, "TRef.gauge", "0 1e999", 0},
      {true, "*WKZNUMMER", "nan", 0},         {true, "*XVORSCHUB", "inf", 0},
      {true, "*FRRADIUS", "1e400", 0},        {true, "*DREHZAHL", "-nan", 0},
      {true, "*WZKO_O", "0 0 1e999", 0},      {true, "*INSERT_TYPE", "1e400", 0},
      {false, "toolComment", "nan", 1},       {false, "toolName", "inf", 1},
      {true, "*WKZKOMMENTAR", "infinite", 1}, {false, "planeFeedrate", "1e300", 1},
  };
  std::vector<std::string> messages;
  for (const Case& c : cases) {
    parListFree(rec_.params);
    rec_.params = nullptr;
    parListFree(rec_.cfgEntries);
    rec_.cfgEntries = nullptr;
    rec_.sourceIsCfg = 0;
    cycRunFailClear(&rec_);
    rec_.status = 0;
    if (c.cfg) {
      cfg("*WKZNUMMER", "7");
      if (std::string(c.name) == "*INSERT_TYPE") cfg("*FRTYP", "101");
      cfg(c.name, c.value);
    } else {
      param("toolName", "T1");
      param(c.name, c.value);
    }
    fresh();
    const int r = c.cfg ? toolDescFromCfg(&rec_) : toolDescFromParams(&rec_);
    const std::string t = fresh();
    EXPECT_EQ(r, c.result) << c.name << " " << c.value;
    EXPECT_EQ(cycRunFailed(&rec_), 1 - c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(linesWith(t, "11: "), std::vector<std::string>{}) << c.name;
      EXPECT_NE(t.find(std::string("0: error(1001,") + c.name + ": not a finite number)"),
                std::string::npos)
          << c.name << "\n"
          << t;
    } else {
      EXPECT_NE(t.find("11: oTool["), std::string::npos) << c.name;
    }
  }
}
