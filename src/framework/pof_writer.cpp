// pof_writer.cpp - the POF text writers with their process-wide state: the output stream, one
// state slot per nesting level of cycles (axes written so far, the first-position bracket, alias
// switch, start time, the output to go back to), and the move counter.
#include "framework/pof_writer.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/platform.h"
#include "framework/tool_desc.h"
#include "framework/xchg_number.h"

namespace {
// Record types the writers know.
enum PofType : int {
  kTypeHeader = 100,
  kTypeFatal = 102,
  kTypeCycle = 103,
  kTypeCycleEnd = 104,
  kTypeLayers = 110,
  kTypeNameValue = 301,
  kTypeComment = 1001,
};

// Axis bits of the first-position masks.
constexpr int kAxisX = 1, kAxisY = 2, kAxisZ = 4, kAxisU = 16, kAxisV = 32, kAxisW = 64;
constexpr int kRequired3D = kAxisX | kAxisY | kAxisZ;
constexpr int kRequired5X = kRequired3D | kAxisU | kAxisV | kAxisW;

// First-position states.
constexpr int kFirstNotYet = -1, kFirstClosed = 0, kFirstOpen = 1, kFirstNcJoined = 2;

struct PofLevel {
  int moveMask = 0;  // axes written by the move writers since the position opened
  int ncMask = 0;    // the same for the G-code writer
  int requiredMask = kRequired3D;
  int firstPositionState = kFirstNotYet;
  int ncOwnsFirstPosition = 0;  // the cycle serves layer 32: the G-code side closes the bracket
  int writeAlias = 0;
  CycleRecord* cycle = nullptr;  // the cycle whose "cycle" record opened the slot
  bool open = false;             // false once its end (or fatal-error) record was written
  std::int64_t startMillis = 0;
  std::FILE* outerOutput = nullptr;  // the output before this cycle opened its own file
  std::FILE* ownFile = nullptr;      // the cycle's own file, closed at its end
  bool ownOutput = false;            // the cycle named a file: its output is set back at its end
  bool outerBroken = false;          // the broken flag and the name of the output before it
  std::string outerName;
};

struct PofState {
  std::FILE* out = nullptr;  // null: standard output
  // The current output failed (it could not be opened, written or flushed) and was reported:
  // nothing more is written to it. Never a fall-back to standard output for a named file.
  bool broken = false;
  std::string outName;  // the file's name for messages; empty: standard output
  int level = -1;
  PofLevel levels[kPofLevels];
  long moveNumber = 0;
  std::int64_t fixedMillis = -1;
  std::string fixedUuid;
  bool uuidFixed = false;
};
PofState pofState;

std::FILE* pofOut() { return pofState.out != nullptr ? pofState.out : stdout; }

// The state slot of the current level; the index is clamped so that a record outside any cycle
// or beyond the deepest level never reaches outside the slots.
PofLevel& pofSlot() {
  int i = pofState.level;
  if (i < 0) i = 0;
  if (i >= kPofLevels) i = kPofLevels - 1;
  return pofState.levels[i];
}

// A failed output: reported once, with its name and the reason, as a failure of the run; nothing
// more is written to it.
void pofOutputFailed(CycleRecord* cycle, const char* reason) {
  if (pofState.broken) return;
  pofState.broken = true;
  CycleRecord* failed = cycle != nullptr ? cycle : pofSlot().cycle;
  char what[sizeof(OutputRecord{}.text.text)];
  std::snprintf(what, sizeof what, "%s: %s",
                pofState.outName.empty() ? "standard output" : pofState.outName.c_str(), reason);
  cycFailWithMessage(failed, kCycMsgWriteFailed, what);
}

std::int64_t pofNow() { return pofState.fixedMillis >= 0 ? pofState.fixedMillis : platNowMillis(); }
void pofPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void pofPrint(const char* format, ...) {
  if (pofState.broken) return;
  std::FILE* out = pofOut();
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(out, format, args);
  va_end(args);
  // A full disk or a size limit shows here (or at the flush of the end record), never later.
  if (n < 0 || std::ferror(out) != 0) pofOutputFailed(nullptr, std::strerror(errno));
}

// The exchange-format escape of text as a string; empty when memory fails.
std::string pofEscaped(const char* text) {
  if (text == nullptr) return std::string();
  try {
    std::string out(4 * std::strlen(text) + 1, '\0');
    const int n = xchgEscapeText(out.data(), out.size(), text);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  } catch (...) {
    return std::string();
  }
}

// The number n when name is prefix followed by 1 to 9 decimal digits only; -1 otherwise.
long pofNumberedName(const char* name, const char* prefix) {
  const std::size_t p = std::strlen(prefix);
  if (name == nullptr || std::strncmp(name, prefix, p) != 0) return -1;
  const char* digits = name + p;
  const std::size_t n = std::strlen(digits);
  if (n == 0 || n > 9) return -1;
  long v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(digits[i]))) return -1;
    v = v * 10 + (digits[i] - '0');
  }
  return v;
}

// Writes the three "%.8lf" components of a frame column as "x,y,z".
void pofColumnText(char* out, std::size_t size, const AffineMatrix& m, int column) {
  char c[3][64];
  for (int row = 0; row < 3; ++row) numFormatFixed8(c[row], sizeof c[row], m.m[row * 4 + column]);
  std::snprintf(out, size, "%s,%s,%s", c[0], c[1], c[2]);
}

// Opens the cycle's own file named by "pofFilename" (for appending: earlier runs are kept). A file
// that cannot be opened, or a path that names no regular file (a FIFO would block the open, a
// folder or device is no toolpath file), fails the run; the cycle's lines are then written
// nowhere, never to standard output in its place.
void pofOpenCycleFile(CycleRecord* cycle, PofLevel& slot) {
  char* name = parListGet(cycle->params, "pofFilename", nullptr);
  if (name == nullptr) return;  // no file named: the output stays where it is
  numReplaceChar(name, name, '\\', '/');
  std::string path;
  try {
    path = name;
  } catch (...) {
    path.clear();
  }
  memFree(name);
  slot.ownOutput = true;
  slot.outerOutput = pofState.out;
  slot.outerBroken = pofState.broken;
  slot.outerName.swap(pofState.outName);
  const char* reason = nullptr;
  std::FILE* f = nullptr;
  if (platPathKind(path.c_str()) == kPlatOtherFile) {
    reason = "not a regular file";
  } else {
    f = std::fopen(path.c_str(), "a");
    if (f == nullptr) reason = std::strerror(errno);
  }
  if (f != nullptr && pofSetOutput(f) == 0) {
    std::fclose(f);
    f = nullptr;
    reason = "not a regular file";
  }
  if (f == nullptr) {
    pofState.out = slot.outerOutput;
    pofState.broken = false;
    pofState.outName = std::move(path);
    pofOutputFailed(cycle, reason);
    return;
  }
  pofState.outName = std::move(path);  // pofSetOutput cleared it
  slot.ownFile = f;
}

// The end of a cycle's output: flushed, its own file closed (each failure reported), and the
// output the cycle found made current again, so an outer cycle keeps writing to its own file.
void pofEndOutput(CycleRecord* cycle, PofLevel* ended) {
  if (!pofState.broken && std::fflush(pofOut()) != 0) pofOutputFailed(cycle, std::strerror(errno));
  if (ended->ownFile != nullptr) {
    if (std::fclose(ended->ownFile) != 0) pofOutputFailed(cycle, std::strerror(errno));
    ended->ownFile = nullptr;
  }
  if (ended->ownOutput) {
    pofState.out = ended->outerOutput;
    pofState.broken = ended->outerBroken;
    pofState.outName.swap(ended->outerName);
    ended->outerOutput = nullptr;
    ended->ownOutput = false;
  }
}

// The header entries that follow the "cycle" line.
void pofWriteHeader(CycleRecord* cycle, PofLevel& slot) {
  char text[1100];
  std::snprintf(text, sizeof text, "%ld-%s", static_cast<long>(cycle->code),
                cycVersionText() != nullptr ? cycVersionText() : "");
  cycSendTextRecord(cycle, 0, kTypeHeader, "release", text);
  cycSendTextRecord(cycle, 0, kTypeHeader, "technology", "milling");
  char uuid[kPofUuidSize];
  pofJobUuid(uuid, sizeof uuid);
  cycSendTextRecord(cycle, 0, kTypeHeader, "ucid", uuid);
  const char* job = parListLastValue(cycle->cfgEntries, "*JOBNAME");
  if (job == nullptr) job = parListLastValue(cycle->params, "jobName");
  if (job != nullptr) cycSendTextRecord(cycle, 0, kTypeHeader, "jobname", job);
  const char* code = parListLastValue(cycle->cfgEntries, "*CYCLETYPE");
  if (code == nullptr) code = parListLastValue(cycle->params, "cycleType");
  if (code != nullptr) cycSendTextRecord(cycle, 0, kTypeHeader, "cycleCode", code);
  slot.startMillis = pofNow();
  char now[kPofTimeTextSize];
  pofTimeText(now, sizeof now);
  pofPrint("0: time(%s)\n", now);
  const char* frameComment = parListLastValue(cycle->params, "frameComment");
  if (frameComment != nullptr)
    cycSendTextRecord(cycle, 0, kTypeHeader, "frameComment", frameComment);
  const char* zero = parListLastValue(cycle->params, "zeroPointID");
  cycSendTextRecord(cycle, 0, kTypeHeader, "frameCs_id", zero != nullptr ? zero : "0");
  static const char* const kFrameNames[4] = {"frameCs_x", "frameCs_y", "frameCs_z", "frameCs_o"};
  for (int column = 0; column < 4; ++column) {
    pofColumnText(text, sizeof text, cycle->frame, column);
    cycSendTextRecord(cycle, 0, kTypeHeader, kFrameNames[column], text);
  }
  cycSendNameValue(cycle, "tr", "frameCs");
  cycSendNameValue(cycle, "workplane", "XY");
  cycSendNameValue(cycle, "tr", "workplane");
  cycWriteUserParams(cycle);
}

// Opens a cycle level: its slot, its file, the tool description and the alias switch.
void pofBeginCycle(CycleRecord* cycle) {
  if (pofState.level < kPofLevels - 1) ++pofState.level;
  PofLevel& slot = pofSlot();
  slot = PofLevel{};
  slot.cycle = cycle;
  slot.open = true;
  slot.startMillis = pofNow();
  pofOpenCycleFile(cycle, slot);
  cycSendNameValue(cycle, "tech", "milling");
  cycSendNameValue(cycle, "tr", "tech");
  if (cycle->toolChangeBlocks == 1) cycWriteLiteralBlock(cycle, "BTC");
  toolDescWrite(pofOut(), cycle);
  if (cycle->toolChangeBlocks == 1) cycWriteLiteralBlock(cycle, "ATC");
  int alias = 0;
  if (cycle->sourceIsCfg == 1) {
    const char* v = parListLastValue(cycle->cfgEntries, "*WRITE_ALIAS");
    alias = v != nullptr && v[0] == '1' ? 1 : 0;
  } else {
    const char* v = parListLastValue(cycle->params, "writeAlias");
    alias = v != nullptr && std::strcmp(v, "true") == 0 ? 1 : 0;
  }
  slot.writeAlias = alias;
}

// The slot a fatal-error or end record closes: the open top slot of this cycle (lowering the
// level), or the slot its earlier fatal-error record already closed; null when the cycle wrote
// no "cycle" record. A cycle's level is lowered once, however many end records it sends.
PofLevel* pofEndSlot(const CycleRecord* cycle) {
  const int top = pofState.level;
  if (top >= 0 && top < kPofLevels && pofState.levels[top].open &&
      pofState.levels[top].cycle == cycle) {
    pofState.levels[top].open = false;
    --pofState.level;
    return &pofState.levels[top];
  }
  const int above = top + 1;
  if (above >= 0 && above < kPofLevels && pofState.levels[above].cycle == cycle) {
    return &pofState.levels[above];
  }
  return nullptr;
}

// Time, elapsed time and signal words of an ending cycle, then its "EOC" block.
void pofWriteEndLines(CycleRecord* cycle, const PofLevel* slot) {
  char now[kPofTimeTextSize];
  pofTimeText(now, sizeof now);
  pofPrint("0: time(%s)\n", now);
  std::int64_t ms = slot != nullptr ? pofNow() - slot->startMillis : 0;
  if (ms < 0) ms = 0;
  const long hours = static_cast<long>(ms / 3600000);
  const long minutes = static_cast<long>(ms / 60000 % 60);
  const long seconds = static_cast<long>(ms / 1000 % 60);
  pofPrint("0: elapsed(%ld:%02ld:%02ld,%03d)\n", hours, minutes, seconds,
           static_cast<int>(ms % 1000));
  pofPrint("0: sigstat(%d,%d)\n", static_cast<int>(cycle->signal), static_cast<int>(cycle->status));
  cycWriteLiteralBlock(cycle, "EOC");
}

// The first numbers of a "layers" text: true when 32 is among them.
bool pofListsLayer32(const char* text) {
  long v = -1;
  for (const char* p = text;; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p))) {
      if (v < 0) v = 0;
      if (v < 100000) v = v * 10 + (*p - '0');
    } else {
      if (v == 32) return true;
      v = -1;
      if (*p == '\0') return false;
    }
  }
}

// Opens the first-position bracket: "BFP" block and the opening line.
void pofOpenFirstPosition(CycleRecord* cycle, PofLevel& slot) {
  cycWriteLiteralBlock(cycle, "BFP");
  pofPrint("10: arg(I:firstPosition:=1)\n");
  slot.firstPositionState = kFirstOpen;
}

// Closes it: the closing line, the procedure line of the position kind and the "AFP" block.
void pofCloseFirstPosition(CycleRecord* cycle, PofLevel& slot, bool withProc) {
  pofPrint("10: arg(I:firstPosition:=0)\n");
  slot.firstPositionState = kFirstClosed;
  if (!withProc) return;
  pofPrint("10: proc(%s)\n",
           slot.requiredMask == kRequired3D ? "firstPosition3D" : "firstPosition5X");
  cycWriteLiteralBlock(cycle, "AFP");
}

bool pofOpensPosition31(int type) {
  return (type >= 3101 && type <= 3103) || (type >= 3105 && type <= 3107) || type == 3109 ||
         (type >= 3111 && type <= 3116) || type == 3118 || type == 3121 || type == 3122 ||
         type == 3141;
}

bool pofOpensPosition32(int type) {
  return (type >= 4001 && type <= 4016) || type == 4019 || type == 4020 || type == 4041;
}

// Flags of a modal record as axis bits; with5 adds u, v, w.
int pofModalMask(const OutputModalForm& m, bool with5) {
  int mask = (m.setX ? kAxisX : 0) | (m.setY ? kAxisY : 0) | (m.setZ ? kAxisZ : 0);
  if (with5) mask |= (m.setU ? kAxisU : 0) | (m.setV ? kAxisV : 0) | (m.setW ? kAxisW : 0);
  return mask;
}

// The coordinate part of a modal move: " x[/..]" etc. for the flagged axes; u, v, w with eight
// decimals when with5. prefixed by the axis letters and slashes as the move lines write them.
std::string pofModalText(const OutputModalForm& m, bool with5, bool gcode) {
  std::string s;
  char num[kNumTextSize];
  const double xyz[3] = {m.x, m.y, m.z};
  const int32_t setXyz[3] = {m.setX, m.setY, m.setZ};
  static const char* const kMoveAxes[6] = {" x[/", " y[/", " z[/", " u[/", " v[/", " w[/"};
  static const char* const kNcAxes[6] = {" X", " Y", " Z", " U", " V", " W"};
  for (int a = 0; a < 3; ++a) {
    if (setXyz[a] == 0) continue;
    numFormat(num, xyz[a]);
    s += gcode ? kNcAxes[a] : kMoveAxes[a];
    s += num;
    if (!gcode) s += ']';
  }
  if (!with5) return s;
  const double uvw[3] = {m.u, m.v, m.w};
  const int32_t setUvw[3] = {m.setU, m.setV, m.setW};
  char fixed[64];
  for (int a = 0; a < 3; ++a) {
    if (setUvw[a] == 0) continue;
    numFormatFixed8(fixed, sizeof fixed, uvw[a]);
    s += gcode ? kNcAxes[a + 3] : kMoveAxes[a + 3];
    s += fixed;
    if (!gcode) s += ']';
  }
  return s;
}

// Writes one numbered move line and returns its axis bits (-1: not a move of this writer).
int pofWriteMove(const OutputRecord* r, unsigned layer) {
  const int type = r->type;
  const OutputMoveForm& mv = r->move;
  const char* letter = (type >= 3101 && type <= 3109) ? "oM" : "oL";
  std::string coords;
  int mask = 0;
  try {
    switch (type) {
      case 3101:
      case 3111: {
        NumTexts n = numFormatMany({mv.x, mv.y});
        coords = std::string(" x[/") + n.t[0] + "] y[/" + n.t[1] + "]";
        mask = kAxisX | kAxisY;
        break;
      }
      case 3102:
      case 3112: {
        NumTexts n = numFormatMany({mv.z});
        coords = std::string(" z[/") + n.t[0] + "]";
        mask = kAxisZ;
        break;
      }
      case 3103:
      case 3113: {
        NumTexts n = numFormatMany({mv.x, mv.y, mv.z});
        coords = std::string(" x[/") + n.t[0] + "] y[/" + n.t[1] + "] z[/" + n.t[2] + "]";
        mask = kRequired3D;
        break;
      }
      case 3105:
      case 3115: {
        NumTexts n = numFormatMany({mv.x});
        coords = std::string(" x[/") + n.t[0] + "]";
        mask = kAxisX;
        break;
      }
      case 3106:
      case 3116: {
        NumTexts n = numFormatMany({mv.y});
        coords = std::string(" y[/") + n.t[0] + "]";
        mask = kAxisY;
        break;
      }
      case 3107:
      case 3114:
        coords = pofModalText(r->modal, false, false);
        mask = pofModalMask(r->modal, false);
        break;
      case 3109:
      case 3118:
        coords = pofModalText(r->modal, true, false);
        mask = pofModalMask(r->modal, true);
        break;
      case 3108:
      case 3117: {
        NumTexts n = numFormatMany({mv.x, mv.y, mv.u, mv.v});
        coords = std::string(" x[/") + n.t[0] + "] y[/" + n.t[1] + "] u[/" + n.t[2] + "] v[/" +
                 n.t[3] + "]";
        break;
      }
      case 3121:
      case 3122: {
        const OutputArcForm& a = r->arc;
        NumTexts n = numFormatMany({a.x, a.cx, a.y, a.cy, a.z, a.cz});
        coords = std::string(" o[") + (a.direction == 1 ? '-' : '+') + "] x[/" + n.t[0] + "/" +
                 n.t[1] + "] y[/" + n.t[2] + "/" + n.t[3] + "]";
        if (type == 3122) coords += std::string(" z[/") + n.t[4] + "/" + n.t[5] + "]";
        letter = "oA";
        mask = type == 3122 ? kRequired3D : kAxisX | kAxisY;
        break;
      }
      default: return -1;
    }
  } catch (...) {
    return -1;
  }
  // Only the cycle the host runs advances the counter: a nested cycle's lines carry the next
  // number of the outer cycle and leave the counter as it was.
  const long saved = pofState.moveNumber;
  ++pofState.moveNumber;
  pofPrint("%u: %s[%ld](%s )\n", layer, letter, pofState.moveNumber, coords.c_str());
  if (pofState.level > 0) pofState.moveNumber = saved;
  return mask;
}

// The G-code line of a layer-32 record; returns its axis bits (-1: not a line of this writer).
int pofWriteNcLine(const OutputRecord* r) {
  const int type = r->type;
  const OutputNcForm& nc = r->nc;
  NumTexts n = numFormatMany({nc.x, nc.y, nc.z, nc.i, nc.j, nc.k});
  const char* const x = n.t[0];
  const char* const y = n.t[1];
  const char* const z = n.t[2];
  switch (type) {
    case 4001:
    case 4004:
      pofPrint("32: G%c X%s Y%s\n", type == 4001 ? '0' : '1', x, y);
      return kAxisX | kAxisY;
    case 4002:
    case 4005: pofPrint("32: G%c Z%s\n", type == 4002 ? '0' : '1', z); return kAxisZ;
    case 4003:
    case 4006:
      pofPrint("32: G%c X%s Y%s Z%s\n", type == 4003 ? '0' : '1', x, y, z);
      return kRequired3D;
    case 4008:
    case 4009:
      pofPrint("32: G%c X%s Y%s I%s J%s\n", type == 4008 ? '2' : '3', x, y, n.t[3], n.t[4]);
      return kAxisX | kAxisY;
    case 4010:
    case 4011:
      pofPrint("32: G%c X%s Y%s Z%s I%s J%s K%s\n", type == 4010 ? '2' : '3', x, y, z, n.t[3],
               n.t[4], n.t[5]);
      return kRequired3D;
    case 4012:
    case 4014: pofPrint("32: G%c X%s\n", type == 4012 ? '0' : '1', x); return kAxisX;
    case 4013:
    case 4015: pofPrint("32: G%c Y%s\n", type == 4013 ? '0' : '1', y); return kAxisY;
    case 4016:
    case 4007:
    case 4019:
    case 4020: {
      const bool with5 = type == 4019 || type == 4020;
      std::string s;
      try {
        s = pofModalText(r->modal, with5, true);
      } catch (...) {
        return -1;
      }
      pofPrint("32: G%c%s\n", type == 4016 || type == 4019 ? '0' : '1', s.c_str());
      return pofModalMask(r->modal, with5);
    }
    case 4017:
    case 4018:
      pofPrint("32: G%c X%s Y%s U%s V%s\n", type == 4017 ? '0' : '1', x, y, n.t[3], n.t[4]);
      return 0;
    case 4041: pofPrint("32: G100 Z%s\n", z); return kAxisZ;
    case 4101: pofPrint("32: %.775s\n", r->single); return 0;
    default: return -1;
  }
}

int pofDashes(OutputRecord* record, int layer) {
  if (record != nullptr) pofPrint("%d: ---\n", layer);
  return 1;
}

// "beg"/"end" lines of parts and contexts with their optional data and usage.
void pofPartLine(const char* verb, const OutputPartForm& p) {
  if (p.kind == 1) {
    pofPrint("12: %s part %ld", verb, static_cast<long>(p.number));
  } else {
    pofPrint("12: %s ctx %.255s", verb, p.name);
  }
  if (p.data[0] != '\0') pofPrint(" dat(%.255s)", p.data);
  if (p.usage[0] != '\0') pofPrint(" usg(%.255s)", p.usage);
  pofPrint("\n");
}
}  // namespace

int pofSetOutput(std::FILE* stream) {
  pofState.broken = false;
  pofState.outName.clear();
  if (platIsRegularStream(stream) == 1) {
    pofState.out = stream;
    return 1;
  }
  pofState.out = nullptr;
  return 0;
}

std::FILE* pofGetOutput() { return pofOut(); }

int pofTextLayer0(CycleRecord* cycle, OutputRecord* record) {
  if (cycle == nullptr || record == nullptr) return 1;
  const int type = record->type;
  PofLevel* ended = nullptr;
  if (type == kTypeCycle) pofBeginCycle(cycle);
  if (type == kTypeFatal || type == kTypeCycleEnd) {
    ended = pofEndSlot(cycle);
    pofWriteEndLines(cycle, ended);
    toolDescRelease(cycle);
  }
  if (type == kTypeLayers && pofListsLayer32(record->text.text)) pofSlot().ncOwnsFirstPosition = 1;
  pofPrint("0: %.255s(%.519s)\n", record->text.name, record->text.text);
  if (type == kTypeCycle) pofWriteHeader(cycle, pofSlot());
  if (ended != nullptr) pofEndOutput(cycle, ended);
  return type == kTypeFatal ? 0 : 1;
}

int pofTextLayer1(CycleRecord*, OutputRecord* record) {
  if (record != nullptr && record->type >= 201 && record->type <= 204) {
    pofPrint("1: %.255s(%.519s)\n", record->text.name, record->text.text);
  }
  return 1;
}

int pofTextLayer2(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || record->type != kTypeComment) return 1;
  char text[sizeof record->single + 1];
  outCopyText(text, sizeof text, record->single);
  pofPrint("2: %s\n", pofEscaped(text).c_str());
  return 1;
}

int pofTextLayer3(CycleRecord*, OutputRecord* record) { return pofDashes(record, 3); }
int pofTextLayer4(CycleRecord*, OutputRecord* record) { return pofDashes(record, 4); }
int pofTextLayer5(CycleRecord*, OutputRecord* record) { return pofDashes(record, 5); }
int pofTextLayer6(CycleRecord*, OutputRecord* record) { return pofDashes(record, 6); }

int pofTextLayer10(CycleRecord* cycle, OutputRecord* record) {
  if (record == nullptr || record->type != kTypeNameValue) return 1;
  const char* name = record->text.name;
  const char* value = record->text.text;
  PofLevel& slot = pofSlot();
  if ((std::strcmp(name, "aliasDef") == 0 || std::strcmp(name, "aliasUse") == 0) &&
      slot.writeAlias != 1) {
    return 1;
  }
  pofPrint("10: %.255s(%.519s)\n", name, value);
  if (std::strcmp(name, "T") == 0 && cycle != nullptr) {
    // A tool change carries the compensation registers of the new tool.
    const char* reg = parListLastValue(cycle->params, "compRegister");
    const char* reg2 = parListLastValue(cycle->params, "compRegister2");
    const char* comment = parListLastValue(cycle->params, "compRegisterComment");
    if (reg == nullptr && reg2 == nullptr) {
      pofPrint("10: arg(I:\"compRegisterChanged\":=0)\n");
    } else {
      if (reg != nullptr) pofPrint("10: arg(I:\"compRegister\":=%s)\n", reg);
      if (reg2 != nullptr) pofPrint("10: arg(I:\"compRegister2\":=%s)\n", reg2);
      pofPrint("10: arg(S:\"compRegisterComment\":=\"%s\")\n", comment != nullptr ? comment : "");
      pofPrint("10: arg(I:\"compRegisterChanged\":=1)\n");
    }
  }
  if (std::strcmp(name, "tr") == 0 && strcasecmp(value, "5X") == 0) {
    // Five-axis output begins: the next move opens a first position that needs all six axes.
    slot.moveMask = 0;
    slot.ncMask = 0;
    slot.requiredMask = kRequired5X;
  }
  return 1;
}

int pofTextLayer11(CycleRecord*, OutputRecord* record) {
  if (record == nullptr) return 1;
  if (record->type == 3131) pofPrint("11: v%.255s(%.519s)\n", record->text.name, record->text.text);
  if (record->type == 3199) pofPrint("11: %.775s\n", record->single);
  return 1;
}

int pofTextLayer12(CycleRecord*, OutputRecord* record) {
  if (record == nullptr) return 1;
  const OutputPartForm& p = record->part;
  switch (record->type) {
    case 5001:
    case 5002:
      if (p.kind == 1 || p.kind == 4) pofPartLine(record->type == 5001 ? "beg" : "end", p);
      break;
    case 5003:
      if (p.kind == 1) pofPrint("12: clr part %ld\n", static_cast<long>(p.number));
      break;
    case 5004: pofPrint("12: clr all\n"); break;
    case 5005: {
      static const std::map<int, const char*> kKinds = {
          {101, "G 0 z+"},     {102, "G 0 z-"},        {103, "G 0 xy"},   {104, "G 0 area"},
          {111, "G 1 apprch"}, {112, "G 1 rtrct"},     {113, "G 1 smth"}, {114, "G 1 infd"},
          {115, "G 1 pth"},    {121, "G x connection"}};
      const auto it = kKinds.find(p.kind);
      if (it != kKinds.end()) pofPrint("12: %s\n", it->second);
      break;
    }
    default: break;
  }
  return 1;
}

int pofTextLayer30(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || record->type != 3104) return 1;
  const OutputMoveForm& m = record->move;
  NumTexts n = numFormatMany({m.x, m.y, m.z, m.s});
  if (m.sSet == 1) {
    pofPrint("30: oP( x[%s] y[%s] z[%s] s[%s] u[d] )\n", n.t[0], n.t[1], n.t[2], n.t[3]);
  } else {
    pofPrint("30: oP( x[%s] y[%s] z[%s] u[d] )\n", n.t[0], n.t[1], n.t[2]);
  }
  return 1;
}

int pofTextMoves(CycleRecord* cycle, OutputRecord* record, unsigned layer) {
  if (record == nullptr) return 1;
  const int type = record->type;
  switch (type) {
    case 3001:
      pofPrint("%u: oContour", layer);
      if (record->text.name[0] != '\0') pofPrint("[%.255s]", record->text.name);
      if (record->text.text[0] != '\0') {
        pofPrint("( %.519s )   {\n", record->text.text);
      } else {
        pofPrint("( )   {\n");
      }
      return 1;
    case 3002: pofPrint("%u: }\n", layer); return 1;
    case 3131:
      pofPrint("%u: v%.255s(%.519s)\n", layer, record->text.name, record->text.text);
      return 1;
    case 3199: pofPrint("%u: ; %.775s\n", layer, record->single); return 1;
    default: break;
  }
  PofLevel& slot = pofSlot();
  if (pofOpensPosition31(type) && slot.moveMask == 0) pofOpenFirstPosition(cycle, slot);
  int mask = 0;
  if (type == 3141) {
    char z[kNumTextSize];
    numFormat(z, record->move.z);
    pofPrint("%u: oPos( z[/%s] )\n", layer, z);
    mask = kAxisZ;
  } else {
    mask = pofWriteMove(record, layer);
    if (mask < 0) return 1;
  }
  const int before = slot.moveMask;
  slot.moveMask |= mask;
  if (slot.moveMask != before && slot.moveMask == slot.requiredMask) {
    if (slot.firstPositionState == kFirstOpen) {
      pofCloseFirstPosition(cycle, slot, slot.ncOwnsFirstPosition == 0);
    } else if (slot.firstPositionState == kFirstNcJoined) {
      slot.firstPositionState = kFirstOpen;  // the G-code side closes it
    }
  }
  return 1;
}

int pofTextLayer31(CycleRecord* cycle, OutputRecord* record) {
  return pofTextMoves(cycle, record, 31);
}
int pofTextLayer33(CycleRecord* cycle, OutputRecord* record) {
  return pofTextMoves(cycle, record, 33);
}
int pofTextLayer35(CycleRecord* cycle, OutputRecord* record) {
  return pofTextMoves(cycle, record, 35);
}
int pofTextLayer36(CycleRecord* cycle, OutputRecord* record) {
  return pofTextMoves(cycle, record, 36);
}

int pofTextLayer32(CycleRecord* cycle, OutputRecord* record) {
  if (record == nullptr) return 1;
  const int type = record->type;
  PofLevel& slot = pofSlot();
  if (pofOpensPosition32(type) && slot.ncMask == 0) {
    if (slot.firstPositionState == kFirstOpen) {
      slot.firstPositionState = kFirstNcJoined;
    } else {
      pofOpenFirstPosition(cycle, slot);
    }
  }
  const int mask = pofWriteNcLine(record);
  if (mask <= 0) return 1;
  const int before = slot.ncMask;
  slot.ncMask |= mask;
  if (slot.ncMask != before && slot.ncMask == slot.requiredMask)
    pofCloseFirstPosition(cycle, slot, true);
  return 1;
}

int pofTextNone(CycleRecord*, OutputRecord*) { return 1; }

OutputWriterFn pofTextWriterFor(std::uint16_t layer) {
  switch (layer) {
    case 0: return pofTextLayer0;
    case 1: return pofTextLayer1;
    case 2: return pofTextLayer2;
    case 3: return pofTextLayer3;
    case 4: return pofTextLayer4;
    case 5: return pofTextLayer5;
    case 6: return pofTextLayer6;
    case 10: return pofTextLayer10;
    case 11: return pofTextLayer11;
    case 12: return pofTextLayer12;
    case 30: return pofTextLayer30;
    case 31: return pofTextLayer31;
    case 32: return pofTextLayer32;
    case 33: return pofTextLayer33;
    case 35: return pofTextLayer35;
    case 36: return pofTextLayer36;
    case 41:
    case 42: return pofTextNone;
    default: return nullptr;
  }
}

int cycWriteLiteralBlock(CycleRecord* cycle, const char* block) {
  if (cycle == nullptr || block == nullptr) return 0;
  const bool cfg = cycle->sourceIsCfg == 1;
  const ParamNode* list = cfg ? cycle->cfgEntries : cycle->params;
  const char* prefix = cfg ? "*LITERAL_" : "literal_";
  const std::size_t blockLen = std::strlen(block);
  int lines = 0;
  try {
    // Sorted by number, so only the numbers present are visited (a number like 999999999 costs
    // nothing); a later entry of an equal number replaces the earlier.
    std::map<long, const char*> entries;
    for (const ParamNode* n = list; n != nullptr; n = n->next) {
      const long number = pofNumberedName(n->name, prefix);
      if (number < 0 || n->value == nullptr) continue;
      if (std::strncmp(n->value, block, blockLen) != 0 || n->value[blockLen] != ':') continue;
      entries[number] = n->value + blockLen + 1;
    }
    cycSendNameValue(cycle, "nctx", block);
    for (const auto& [number, text] : entries) {
      cycSendNameValue(cycle, "Gcode", pofEscaped(text).c_str());
      ++lines;
    }
    cycSendNameValue(cycle, "nctx", "0");
  } catch (...) {
    return lines;
  }
  return lines;
}

int cycWriteUserParams(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  pofPrint("10: del(S:P%%d[1;20;1])\n");
  int lines = 1;
  const bool cfg = cycle->sourceIsCfg == 1;
  for (int n = 1; n <= 20; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, cfg ? "*P%d" : "P%d", n);
    const char* value = parListLastValue(cfg ? cycle->cfgEntries : cycle->params, name);
    if (value == nullptr || value[0] == '\0') continue;
    pofPrint("10: arg(S:P%d:=\"%s\")\n", n, value);
    ++lines;
  }
  return lines;
}

void pofTimeText(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  // Date, time and the weekday and month abbreviations of the local time's standard text form.
  if (platLocalTimeText(out, size, "%m/%d/%y %H:%M:%S %a %b", pofNow() / 1000) == 0) out[0] = '\0';
}

void pofJobUuid(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  if (pofState.uuidFixed) {
    outCopyText(out, size, pofState.fixedUuid.c_str());
    return;
  }
  if (platRandomUuid(out, size) == 0) outCopyText(out, size, "null");
}

void pofResetState() {
  pofState.out = nullptr;
  pofState.broken = false;
  pofState.outName.clear();
  pofState.level = -1;
  for (PofLevel& l : pofState.levels) l = PofLevel{};
  pofState.moveNumber = 0;
  pofState.fixedMillis = -1;
  pofState.fixedUuid.clear();
  pofState.uuidFixed = false;
}

void pofTestFixClock(std::int64_t epochMillis) {
  pofState.fixedMillis = epochMillis < 0 ? -1 : epochMillis;
}

void pofTestFixUuid(const char* text) {
  pofState.uuidFixed = text != nullptr;
  pofState.fixedUuid = text != nullptr ? text : "";
}

int pofLevelIndex() { return pofState.level; }
