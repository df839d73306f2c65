// Shared fixture of the pocket output tests: the pocket record made the running record with the
// POF writers of its layers into a file, a rectangle level in INPUT, and the POF text read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/pof_writer.h"
#include "pocket/ccp_record.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"
#include "support/temp_dir.h"

namespace pocktest {

// The elements of a closed polygon through the points.
inline std::vector<ContourElement> polygon(const std::vector<Point2D>& p) {
  std::vector<ContourElement> e;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return e;
}

// Stores a contour in a layer with its heights (an outer contour: ccw equal to leftSide).
inline void putContour(const char* layer, std::vector<ContourElement> e, double top, double bottom,
                       bool outer = true) {
  ContourHeader h{};
  h.count = static_cast<int>(e.size());
  h.ccw = contOrientation(e.data(), h.count) > 0 ? 1 : 0;
  h.leftSide = outer ? h.ccw : static_cast<std::uint8_t>(1 - h.ccw);
  h.group = 1;
  h.zTop = top;
  h.zBottom = bottom;
  h.parent = -1;
  ASSERT_EQ(layerInsertContour(layer, e.data(), &h, -1), 1);
}

// The running pocket record writing POF text into "out.pof".
class OutputTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    ccptest::resetPocketRun();
    pockOutputRunReset();
    cycle = ccpCycleRecord();
    cycle->status = 0;
    record = ccpRecordOf(cycle);
    stream = std::fopen("out.pof", "w");
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(pofSetOutput(stream), 1);
    for (std::uint16_t layer : {0, 1, 10, 12, 31}) {
      cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), nullptr, 1);
    }
    ccpSetCurrent(cycle);
    // A flat end mill of radius 5, stepover 0.4 of the diameter, planes as a job gives them.
    pockApplySettings("TI0.0 R5.0000 ZM0.4");
    record->toolDiameter = 10;
    record->planeFeedrate = 1000;
    record->zFeedrate = 300;
    record->clearancePlane = 50;
    record->retractPlane = 50;
    record->clearanceDistance = 2;
    record->surface = 0;
    record->depth = 5;
    layerCreate("INPUT");
    layerCreate("MAIN");
  }
  void TearDown() override {
    pockOutputRunReset();
    cycFreeLayers(cycle);
    pofSetOutput(nullptr);
    if (stream != nullptr) std::fclose(stream);
    ccpSetCurrent(nullptr);
    ccpResetState();
    ccpRecordReset();
    layerResetState();
    pockRunReset();
    pofResetState();
    numResetState();
  }
  // The POF text written so far.
  std::string text() {
    std::fflush(stream);
    return qdtest::readFile("out.pof");
  }
  // The closing record the checker expects at the end of a pass.
  void closeRun() { cycSendTextRecord(cycle, 0, 104, "cycleEnd", cycle->title); }

  CycleRecord* cycle = nullptr;
  CcpRecord* record = nullptr;
  std::FILE* stream = nullptr;
};

// The ring contOffset makes at distance d inside the closed contour (one loop expected).
inline std::vector<ContourElement> ring(const std::vector<ContourElement>& c, double d) {
  std::vector<ContourElement> out(4 * c.size() + 64);
  ContourElement* loops[kOffsetMaxLoops + 1];
  int counts[kOffsetMaxLoops + 1];
  const int n = contOffset(c.data(), static_cast<int>(c.size()), 1, d, out.data(),
                           static_cast<int>(out.size()), nullptr, loops, counts);
  if (n != 1) return {};
  return std::vector<ContourElement>(loops[0], loops[0] + counts[0]);
}

// The lines of the text that satisfy keep, in order.
template <class Keep>
std::vector<std::string> linesWhere(const std::string& text, Keep keep) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (keep(line)) out.push_back(line);
    at = end + 1;
  }
  return out;
}

}  // namespace pocktest

namespace pocktest {

// A listener trace of the records on layers 10, 12 and 31, one short line per record: name-values
// "name(text)", local values "loc name=value", moves "G0 x,y", "G0 z", "G1 x,y", "G1 z",
// "arc cw|ccw x,y c x,y", contour brackets "begin" and "end", parts "beg part n", "end part n",
// "clr part n".
struct Trace {
  std::vector<std::string> lines;
  static int listen(CycleRecord*, OutputRecord* r, void* user) {
    auto* t = static_cast<Trace*>(user);
    char buf[1100];
    buf[0] = '\0';
    switch (r->type) {
      case 301:
        // The framework's own first-position bracket around the first rapid is not ours.
        if (std::string(r->text.name) == "nctx" || std::string(r->text.name) == "proc" ||
            std::string(r->text.text).rfind("I:", 0) == 0) {
          return 1;
        }
        std::snprintf(buf, sizeof buf, "%s(%s)", r->text.name, r->text.text);
        break;
      case 3131: std::snprintf(buf, sizeof buf, "loc %s=%s", r->text.name, r->text.text); break;
      case 3101: std::snprintf(buf, sizeof buf, "G0 %.6g,%.6g", r->move.x, r->move.y); break;
      case 3102: std::snprintf(buf, sizeof buf, "G0 z%.6g", r->move.z); break;
      case 3111: std::snprintf(buf, sizeof buf, "G1 %.6g,%.6g", r->move.x, r->move.y); break;
      case 3112: std::snprintf(buf, sizeof buf, "G1 z%.6g", r->move.z); break;
      case 3121:
        std::snprintf(buf, sizeof buf, "arc %s %.6g,%.6g c %.6g,%.6g",
                      r->arc.direction == 1 ? "cw" : "ccw", r->arc.x, r->arc.y, r->arc.cx,
                      r->arc.cy);
        break;
      case 3001: std::snprintf(buf, sizeof buf, "begin"); break;
      case 3002: std::snprintf(buf, sizeof buf, "end"); break;
      case 5001:
      case 5002:
      case 5003:
        std::snprintf(buf, sizeof buf, "%s part %d",
                      r->type == 5001 ? "beg" : (r->type == 5002 ? "end" : "clr"), r->part.number);
        break;
      default: return 1;
    }
    t->lines.push_back(buf);
    return 1;
  }
  void attach(CycleRecord* cycle) {
    for (std::uint16_t layer : {10, 12, 31}) {
      cycAddListener(cycle, layer, &Trace::listen, this, nullptr, nullptr);
    }
  }
  // The lines that start with prefix, in order.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : lines) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  int count(const std::string& line) const {
    int n = 0;
    for (const auto& l : lines) n += l == line ? 1 : 0;
    return n;
  }
};

// "G1 x,y" of a point, as the trace writes it.
inline std::string feedTo(double x, double y) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "G1 %.6g,%.6g", x, y);
  return buf;
}
inline std::string rapidTo(double x, double y) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "G0 %.6g,%.6g", x, y);
  return buf;
}

}  // namespace pocktest
