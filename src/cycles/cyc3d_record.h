// cyc3d_record.h - the common 3D cycle "qdCyc3d", root of the library's 3D cycles: its record and
// phases (output layers and header records, the reading of the 3D block, the model check, the
// end record), and what every 3D cycle run shares: the status word, the temporary files, the
// ".CFG" tool reference, vector texts, the frame records and the copy of the 3D block into the
// global parameter block. The Z-level finishing and roughing records descend from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "cycles/cyc3d_keys.h"
#include "cycles/job_check.h"
#include "framework/cycle.h"
#include "framework/memory.h"
#include "framework/param_list.h"
#include "output/cycle3d_record.h"

static_assert(std::is_standard_layout_v<Cycle3dRecord> && offsetof(Cycle3dRecord, base) == 0,
              "a 3D record is read through the CycleRecord that starts it");

// The qdCyc3d record. Never null.
CycleRecord* cyc3dCycleRecord();

// The 3D record a cycle record starts. The record must be one of the 3D chain (qdCyc3d or a
// record that descends from it); null for null.
inline Cycle3dRecord* cyc3dRecordOf(CycleRecord* cycle) {
  return reinterpret_cast<Cycle3dRecord*>(cycle);
}

// ---- load values and the run-start reset --------------------------------------------------------

// Changes a 3D block from qdCyc3d's load values to those of the records below it (qdZfin,
// qdRupp, qdRpx5): infeed 2 deep and 10 wide, no jump distance, circular macros of length 2
// with return, and the tool type and default message file given.
constexpr void cyc3dDescendantDefaults(Cycle3dRecord* r, std::int32_t toolType,
                                       const char* messageFile) {
  r->toolType = toolType;
  r->infeedDepth = 2.0;
  r->infeedLength = 10.0;
  r->jumpStepDistance = 0.0;
  r->approachType = 2;
  r->leavingType = 2;
  r->returnMacro = 1;
  r->approachLength = 2.0;
  r->leavingLength = 2.0;
  r->defaultMessageFile = messageFile;
}

// Frees the owned texts of the 3D block and clears them. Null is ignored.
void cyc3dFreeTexts(Cycle3dRecord* record);

// Puts a static record of the 3D chain (of type R, which starts with a Cycle3dRecord) back to its
// load values image, its texts freed: every block and the cycle code. The framework's part of
// the record (parent, slots, the run's parameters, layers, signal and status words) is kept.
template <typename R>
void cyc3dRestoreRecord(R* record, const R& image) {
  static_assert(std::is_standard_layout_v<R> && std::is_trivially_copyable_v<R>);
  auto* r3 = reinterpret_cast<Cycle3dRecord*>(record);
  cyc3dFreeTexts(r3);
  const CycleRecord keep = r3->base;
  *record = image;
  const std::int32_t code = r3->base.code;
  r3->base = keep;
  r3->base.code = code;
}

// qdCyc3d back to its load values.
void cyc3dRecordReset();

// The run-start reset that cyc3dInit calls first, with the record being run: the machining
// cycles install cyc3dResetRunState (run_reset.h) when the library loads. Null removes it; a
// program that removed it runs from whatever state the last run left.
using Cyc3dRunResetFn = void (*)(CycleRecord* running);
void cyc3dSetRunReset(Cyc3dRunResetFn reset);

// The module's own run state back to its values at load: no tool reference read, offset 0.
void cyc3dResetState();

// ---- phases ---------------------------------------------------------------------------------

// Init: resets the run (cyc3dSetRunReset), reads the output options "NCOutp",
// "drillPointsOutp", "originalOutp", "precision", "geoSource" and "geoOut", registers the output
// layers, sends the records "cycle", "msgFile", "layers", the comments, the tool axis and, for a
// positive "ppJobID", the begin of that part. Returns 1.
int cyc3dInit(CycleRecord* cycle);
// ReadParams: the 3D block from the parameter list. Returns 1; 0 when "polySource" or
// "toolDiameter" is missing (each missing key is sent as the layer-0 record "error" of type 102
// with the text "1,(<key>)"; reading goes on).
int cyc3dReadParams(CycleRecord* cycle);
// Compute of qdCyc3d itself: sets the frames and writes the geometry dumps, then checks that the
// model file loads as triangles and as four-corner facets. Returns 1; 0 when it does not load
// (message 332 with the file name) or a frame cannot be inverted (message 333).
int cyc3dRun(CycleRecord* cycle);
// End: the layer-0 record "cycleEnd" with the title, and the layer list freed. Returns 1.
int cyc3dCycleEnd(CycleRecord* cycle);
// Information phases: cycShowMsgSection with "parameters", "algorithm" or "layers".
int cyc3dParametersText(CycleRecord* cycle);
int cyc3dAlgorithmText(CycleRecord* cycle);
int cyc3dLayersText(CycleRecord* cycle);

// ---- what the 3D cycles' runs share ---------------------------------------------------------

// Deletes the run's temporary files when the record asks for it (removeTempFiles): every named
// temporary and dump file (a name beginning with a blank is left), "tmp.pcf", "tmp.pof" and
// "tmp.qdx" of the nested pocket runs in the run's temporary folder (cyc3dRunTempFolder), and
// "tmp.dxf" in the working folder when a read-back of this run wrote it. Missing files are no
// error. Null is ignored.
void cyc3dRemoveTempFiles(CycleRecord* cycle);
// The folder of the run's temporary files: "*TMP_DIR" of the global parameter block for a
// ".CFG" source, else the record's tempDirectory.
const char* cyc3dRunTempFolder(CycleRecord* cycle);

// Reads three numbers separated by commas into *out: x from the start, y behind the first comma,
// z behind the second; a missing number reads as 0. Returns 1; -1 when the first comma is missing
// (nothing stored) or the second (only x stored), or an argument is null.
int cyc3dParseVector(const char* text, Point3D* out);

// The value of the last entry named key exactly (a later ".CFG" line overrides an earlier one)
// as a copy on the framework heap (memFree it), its kind in *kind when kind is not null; null
// when no entry matches or memory runs out.
char* cyc3dFindStarKey(const ParamNode* list, const char* key, std::int16_t* kind);

// The tool reference of a ".CFG" source: "*TOOL_REFERENCE" names it (kept as the module's
// tool-reference name); its length is the number of "*TREF_<name>". Found: its length becomes
// the output's z offset (out3dSetZOffset) and the error record "771,<name>" is sent. Returns 1
// found; 0 when "*TOOL_REFERENCE" is absent or empty, or "*TREF_<name>" is missing (then the
// error record "770,<name>" is sent).
int cyc3dReadToolReference(CycleRecord* cycle);
// The last tool-reference name read (empty when none) and its length offset.
const char* cyc3dToolReferenceName();
double cyc3dToolReferenceOffset();

// The start of a compute phase of a ".pcf" source: mesh frame from polyCs_*, NC and tool frames
// from frameCs_* and toolCs_* (csysPrepare), the geometry dumps when geoSource is set, the NC
// mode, and the records "frame" and "tr" "frameOn" when a frame text is held. Returns 1; 0 when
// a frame cannot be inverted (message 333 names it).
int cyc3dBeginRun(CycleRecord* cycle);
// The end of a compute phase of a ".pcf" source: "tr" "frameOff" when asked for, and the frame
// text freed.
void cyc3dEndRun(CycleRecord* cycle);

// Copies the 3D block into the global parameter block, from "*BOUNDARY" to "*ZUSTELL_PT_TCS"
// (files, tool, feeds, frames, infeed, planes, macros, precision, temporary folder, start point).
// frameStart 1: the start point is mapped from the NC frame to world coordinates and its x and y
// also go to "*ZUSTELL_X" and "*ZUSTELL_Y" (the roughing); 0: it is mapped from the tool system
// only when one was given (the Z-level finishing). A key with two names gets both. Returns 1;
// 0 when a file name does not fit its key (message 332 names it; the key keeps its value).
int cyc3dCopyBlockParams(CycleRecord* cycle, int frameStart);
// Stores text (null: empty) in a text key of the global parameter block (kParTextSize bytes).
// Returns 1; 0 when it does not fit: the key keeps its value and message 332 names the text, as
// a file name cut short would name another file.
int cyc3dKeyText(char* field, const char* text);

// ---- reading parameters ---------------------------------------------------------------------

// Run-time text-to-number conversion of the parameters, in the "C" locale: the leading number of
// the text, 0 for a text that is no number or a value that is not finite.
double cyc3dTextNumber(const char* text);

// One parameter of the record's list for the time of a read. Its key must be one of kCyc3dKeys.
// A value that does not fit what the reader asks for is reported (jobFault, or
// jobWarning for a word of an enumeration that it does not list).
class Cyc3dParam {
 public:
  Cyc3dParam(const CycleRecord* cycle, Cyc3dKey key)
      : key_(key.name),
        text_(cycle != nullptr ? parListGet(cycle->params, key.name, nullptr) : nullptr) {}
  ~Cyc3dParam() { memFree(text_); }
  Cyc3dParam(const Cyc3dParam&) = delete;
  Cyc3dParam& operator=(const Cyc3dParam&) = delete;
  bool given() const { return text_ != nullptr; }
  const char* text() const { return text_; }
  const char* key() const { return key_; }
  // The exact, case-sensitive text.
  bool is(const char* word) const { return text_ != nullptr && std::strcmp(text_, word) == 0; }
  // The value as a whole number (jobWholeNumber); any other text is a fault and gives 0.
  double number() const;
  double abs() const {
    const double v = number();
    return v < 0 ? -v : v;
  }
  // A flag: "true" or "false" exactly; any other text is a fault and counts as "false".
  bool isTrue() const;
  std::int32_t flag() const { return isTrue() ? 1 : 0; }
  // The flag's two values: ifTrue for "true", ifFalse for "false" (and for a fault).
  std::int32_t boolean(std::int32_t ifTrue, std::int32_t ifFalse) const {
    return isTrue() ? ifTrue : ifFalse;
  }
  // Three whole numbers separated by commas into *out; any other text is a fault and leaves *out
  // as it was. Returns whether it was stored.
  bool vector(Point3D* out) const;
  // The value of the first word pair whose word is the text; other for any other text. The words
  // of otherWords mean other too (named words of the default case, or words that another reader
  // of the same key knows); a text that is none of the words is read as other with a warning
  // naming the words known.
  struct Word {
    const char* word;
    std::int32_t value;
  };
  template <std::size_t N>
  std::int32_t decode(const Word (&words)[N], std::int32_t other,
                      std::initializer_list<const char*> otherWords = {}) const {
    for (const Word& w : words) {
      if (is(w.word)) return w.value;
    }
    for (const char* w : otherWords) {
      if (is(w)) return other;
    }
    const char* known[N + 8] = {};
    std::size_t n = 0;
    for (const Word& w : words) known[n++] = w.word;
    for (const char* w : otherWords) {
      if (n < N + 8) known[n++] = w;
    }
    unknownWord(known, n, otherWords.size() > 0 ? *otherWords.begin() : nullptr, other);
    return other;
  }

 private:
  void unknownWord(const char* const* known, std::size_t count, const char* otherWord,
                   std::int32_t other) const;
  const char* key_;
  char* text_;
};
