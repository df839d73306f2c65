// cycle.h - the cycle record: a static, initialised record of data and sixteen phase slots with a
// link to the parent whose slots it takes over where its own are empty. Every cycle of the library
// is one; the phase runner (phase_runner.h) drives them, the host reaches them through the exports.
#pragma once

#include <cstdint>

#include "framework/affine.h"
#include "qdmill/qdmill.h"

struct OutputLayer;
struct ParamNode;

// A phase slot: returns 1 for success, 0 for failure.
using CyclePhaseFn = int (*)(CycleRecord* cycle);
// The framework message callback: receives the framework codes 111 to 419 and 312.
using CycleMessageFn = void (*)(CycleRecord* cycle, int code, void* user);

// The sixteen phase slots, in slot order. A null slot is filled from the parent chain.
struct CycleSlots {
  CyclePhaseFn phaseArguments = nullptr;      // positional arguments were given
  CyclePhaseFn phaseInit = nullptr;           // registers the output layers
  CyclePhaseFn phaseLoadParams = nullptr;     // loads the definition file and a ".pcf" source
  CyclePhaseFn phaseLoadCfg = nullptr;        // loads a ".CFG" source
  CyclePhaseFn phaseVersion = nullptr;        // information option -V
  CyclePhaseFn phaseHelp = nullptr;           // information option -? (and a call without options)
  CyclePhaseFn phaseParameters = nullptr;     // information option -P
  CyclePhaseFn phaseAlgorithm = nullptr;      // information option -A
  CyclePhaseFn phaseLayers = nullptr;         // information option -Y
  CyclePhaseFn phaseOptionD = nullptr;        // information option -D
  CyclePhaseFn phaseReadParams = nullptr;     // reads the ".pcf" parameters into the record
  CyclePhaseFn phaseReadCfgParams = nullptr;  // reads the ".CFG" parameters
  CyclePhaseFn phasePrepare = nullptr;
  CyclePhaseFn phaseCompute = nullptr;
  CyclePhaseFn phaseFinish = nullptr;
  CyclePhaseFn phaseEnd = nullptr;  // frees the layer list (the kernel's writes "cycleEnd" first)
};
inline constexpr int kCycleSlotCount = 16;

// Option flags of CycleRecord::flags.
inline constexpr std::uint16_t kCycFlagVersion = 0x01;     // -V
inline constexpr std::uint16_t kCycFlagHelp = 0x02;        // -? or a bare "?"
inline constexpr std::uint16_t kCycFlagParameters = 0x04;  // -P
inline constexpr std::uint16_t kCycFlagAlgorithm = 0x08;   // -A
inline constexpr std::uint16_t kCycFlagLayers = 0x10;      // -Y
inline constexpr std::uint16_t kCycFlagOptionD = 0x20;     // -D
inline constexpr std::uint16_t kCycFlagInfoMask = 0x3f;
inline constexpr std::uint16_t kCycFlagSource = 0x100;  // -S given

// Framework interface version of every record; a record and its parent must agree.
inline constexpr std::int16_t kCycFrameworkVersion = 5;

// Output modes.
inline constexpr std::int32_t kCycOutputPof = 0;       // POF text (default, -POF)
inline constexpr std::int32_t kCycOutputExchange = 1;  // exchange files (-PCF)

// Every field has its value at load as default, so a static record names only what it sets.
struct CycleRecord {
  CycleRecord* parent = nullptr;  // null only for the kernel
  std::int32_t inherited = 0;     // 1 once the empty slots were completed from the parents
  std::int16_t frameworkVersion = kCycFrameworkVersion;  // must equal the parent's
  std::int32_t code = 0;          // cycle number, written into the output header
  std::uint16_t version[5] = {};  // major, minor, year, month, day of the cycle's revision
  const char* title = nullptr;    // display title ("cycle" and "cycleEnd" records)
  const char* id = nullptr;       // cycle id; "<id>.def" is its definition file; kernel: null
  char** args = nullptr;          // copies of the positional arguments
  std::uint16_t argCount = 0;     // number of positional arguments
  char* source = nullptr;         // copy of the parameter source name given with -S
  std::uint16_t flags = 0;        // kCycFlag* bits
  std::uint16_t mValue = 0;       // number given with -M
  std::int32_t outputMode = kCycOutputPof;  // or kCycOutputExchange
  std::int32_t firstOutputPending = 1;      // 1 from each parse until the first output record
  OutputLayer* layers = nullptr;            // the run's output layers, sorted by number
  ParamNode* params = nullptr;              // the run's parameter list
  std::int32_t sourceIsCfg = 0;             // 1 when the source name ends in ".CFG"
  ParamNode* cfgEntries = nullptr;          // entries of a ".CFG" source, in file order
  std::int32_t toolChangeBlocks = 0;  // 1: frame the tool description by "BTC" and "ATC" blocks
  AffineMatrix frame = kAffIdentity;  // NC frame
  AffineMatrix tool = kAffIdentity;   // tool frame
  CycleSlots slots = {};
  CycleMessageFn messageFn = nullptr;  // framework message callback; null outside a host run
  void* messageUser = nullptr;         // user word of messageFn
  std::int32_t signal = 0;   // the host's signal word (100 stop now, 104 stop after the region)
  std::int32_t status = 0;   // the status word the host reads (0 ok, 1 failure, 100 user break)
  void* toolWork = nullptr;  // work record of the tool description writer
};

// Framework message codes (sent through messageFn). Each pair brackets one step of a run.
enum CycMessage : int {
  kMsgArgumentsBegin = 111,
  kMsgArgumentsEnd = 119,
  kMsgLoadBegin = 121,
  kMsgLoadEnd = 129,
  kMsgLayerBegin = 131,
  kMsgLayerEnd = 139,
  kMsgVersionBegin = 211,
  kMsgVersionEnd = 219,
  kMsgHelpBegin = 221,
  kMsgHelpEnd = 229,
  kMsgParametersBegin = 231,
  kMsgParametersEnd = 239,
  kMsgAlgorithmBegin = 241,
  kMsgAlgorithmEnd = 249,
  kMsgLayersBegin = 251,
  kMsgLayersEnd = 259,
  kMsgOptionDBegin = 261,
  kMsgOptionDEnd = 269,
  kMsgInitBegin = 311,
  kMsgFirstOutput = 312,
  kMsgInitEnd = 319,
  kMsgReadBegin = 321,
  kMsgReadEnd = 329,
  kMsgPrepareBegin = 331,
  kMsgPrepareEnd = 339,
  kMsgComputeBegin = 341,
  kMsgComputeEnd = 349,
  kMsgFinishBegin = 351,
  kMsgFinishEnd = 359,
  kMsgEndBegin = 391,
  kMsgEndEnd = 399,
  kMsgCleanupBegin = 411,
  kMsgCleanupEnd = 419,
};

// Status words the framework sets itself, and the signal word that stops a run at once.
inline constexpr std::int32_t kCycStatusFailed = 1;
inline constexpr std::int32_t kCycStatusUserBreak = 100;
inline constexpr std::int32_t kCycSignalStopNow = 100;

// A run fails as a whole when its output cannot be written or a value it must write is not a
// finite number: the status word becomes kCycStatusFailed at once and stays so for the rest of
// the run (the computation's result does not clear it), and the phase runner starts no further
// computing phase. cycRunFailed: 1 when that happened in the record's current run, else 0.
// cycRunFailClear: forgets it (each option parse starts a new run).
void cycFailRun(CycleRecord* cycle);
int cycRunFailed(const CycleRecord* cycle);
void cycRunFailClear(const CycleRecord* cycle);

// Calls the record's message callback with code when one is set.
void cycSendMessage(CycleRecord* cycle, int code);

// Completes the record's null slots from its parent chain, parent first, once per record.
// Returns 1 done (or done before); 0 when a record of the chain has a framework version that
// differs from its parent's (nothing is changed then).
int cycInherit(CycleRecord* cycle);

// The library's entry-point work: keeps the module handle and, for reasons 1 (process attach) and
// 2 (thread attach), replaces the kept copy of the module's file name (at most 1020 characters).
// Returns 1. Called by a load-time constructor.
int cycDllAttach(void* module, int reason);

// The kept module file name, or null when unknown or released.
const char* cycModuleFileName();
// Frees the kept copy of the module file name (the runner does this at the end of each run).
void cycReleaseModuleFileName();

// Version text of the output header. While it has not been made from the build's version yet,
// sets it from the record's version words ("%u.%02u-%02u.%02u.%u": major, minor, day, month,
// year) and then, when the module file name is known, from the file version with blanks removed
// and "-%d.%d.%d.%d" of the four version numbers appended; the latter happens once per process.
void cycUpdateVersionText(const CycleRecord* cycle);
const char* cycVersionText();

// Test seam: version text, module name and its flag back to the state at load.
void cycResetState();
