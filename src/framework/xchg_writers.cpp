// xchg_writers.cpp - the exchange-mode writers with their process-wide state: the one open
// exchange file and the bypass list of the current cycle's layer-0 lines (newest first). The file
// is written under a temporary name beside the one "geoOut" names and renamed over it only when
// every write succeeded, so a failed run never destroys the previous output.
#include "framework/xchg_writers.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "framework/platform.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"

namespace {
struct BypassLine {
  char* text;
  BypassLine* next;
};

// Longest name of the file beside "geoOut" that the file is written under.
constexpr std::size_t kXwTempNameMax = 4200;

struct XchgWriterState {
  std::FILE* file = nullptr;
  BypassLine* bypass = nullptr;  // newest first
  CycleRecord* cycle = nullptr;  // the run the file belongs to: a failure fails it
  std::string path;              // the name "geoOut" gives
  std::string tempPath;          // the name the file is written under until it is complete
  bool failed = false;           // a write failed (reported): the new file is dropped at its close
};
XchgWriterState xwState;

// A failure of the exchange output: reported once, with the path and the reason, as a failure of
// the run; nothing more is written.
void xwFail(const char* reason) {
  if (xwState.failed) return;
  xwState.failed = true;
  char what[sizeof(OutputRecord{}.text.text)];
  std::snprintf(what, sizeof what, "%s: %s", xwState.path.c_str(), reason);
  cycFailWithMessage(xwState.cycle, kCycMsgWriteFailed, what);
}

void xwPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void xwPrint(const char* format, ...) {
  if (xwState.file == nullptr || xwState.failed) return;
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(xwState.file, format, args);
  va_end(args);
  if (n < 0 || std::ferror(xwState.file) != 0) xwFail(std::strerror(errno));
}

// Closes the file. Complete (every write, the flush and the close succeeded) and with the run not
// failed, it replaces the file "geoOut" names; otherwise it is removed and that file stays as it
// was. keep false: a fatal end, the new file is dropped in any case.
void xwClose(bool keep = true) {
  if (xwState.file == nullptr) return;
  std::FILE* f = xwState.file;
  xwState.file = nullptr;  // a failure message below must not reach the file
  if (!xwState.failed && (std::fflush(f) != 0 || std::ferror(f) != 0)) xwFail(std::strerror(errno));
  if (std::fclose(f) != 0) xwFail(std::strerror(errno));
  bool replaced = false;
  if (keep && !xwState.failed && cycRunFailed(xwState.cycle) == 0) {
    replaced = platRename(xwState.tempPath.c_str(), xwState.path.c_str()) == 1;
    if (!replaced) xwFail(std::strerror(errno));
  }
  if (!replaced) platRemoveFile(xwState.tempPath.c_str());
  xwState.cycle = nullptr;
  xwState.path.clear();
  xwState.tempPath.clear();
  xwState.failed = false;
}

// The "cycle" record: a new exchange file named by "geoOut", with its header. Only a regular
// file is replaced; a folder, FIFO or device of that name is refused and left alone.
void xwOpen(CycleRecord* cycle, const char* title) {
  pofBypassFree();
  xwClose();
  char* name = parListGet(cycle->params, "geoOut", nullptr);
  if (name == nullptr) return;  // no exchange file for this cycle
  try {
    xwState.path = name;
  } catch (...) {
    xwState.path.clear();
  }
  memFree(name);
  xwState.cycle = cycle;
  xwState.failed = false;
  if (platPathKind(xwState.path.c_str()) == kPlatOtherFile) {
    xwFail("not a regular file, left as it is");
    xwState.cycle = nullptr;
    return;
  }
  char temp[kXwTempNameMax];
  std::FILE* f = platCreateBeside(xwState.path.c_str(), temp, sizeof temp);
  if (f == nullptr) {
    xwFail(std::strerror(errno));
    xwState.cycle = nullptr;
    return;
  }
  try {
    xwState.tempPath = temp;
  } catch (...) {
    std::fclose(f);
    platRemoveFile(temp);
    xwFail("no memory");
    xwState.cycle = nullptr;
    return;
  }
  xwState.file = f;
  // The creator line must not be empty: the header reader skips empty lines and would take the
  // first line of the body for the creator, losing that element.
  const bool blank = title == nullptr || title[std::strspn(title, " \t")] == '\0';
  xwPrint("%s\nqDX-Version: 1.0\nGeometry\n%.519s\n\n", xchgBanner, blank ? "qdmill" : title);
  char* precision = parListGet(cycle->params, "precision", nullptr);
  if (precision != nullptr) xwPrint("vprecision(%s)\n\n", precision);
  memFree(precision);
}

// " x[/..]" etc. of the flagged axes of a modal record (x, y, z), as the move elements write them;
// with gcode " X.." etc.
std::string xwModalAxes(const OutputModalForm& m, bool gcode) {
  std::string s;
  const double v[3] = {m.x, m.y, m.z};
  const std::int32_t set[3] = {m.setX, m.setY, m.setZ};
  static const char* const kMove[3] = {" x[/", " y[/", " z[/"};
  static const char* const kNc[3] = {" X", " Y", " Z"};
  char num[kNumTextSize];
  for (int a = 0; a < 3; ++a) {
    if (set[a] == 0) continue;
    numFormat(num, v[a]);
    s += gcode ? kNc[a] : kMove[a];
    s += num;
    if (!gcode) s += ']';
  }
  return s;
}

// The element text of a move record of layer 31 (without " )\n"); empty when the exchange file
// carries no such move.
std::string xwMoveText(const OutputRecord* r) {
  const int type = r->type;
  const OutputMoveForm& mv = r->move;
  const bool rapid = type < 3110;
  const std::string head = rapid ? "   oM(" : "   oL(";
  switch (type) {
    case 3101:
    case 3111: {
      NumTexts n = numFormatMany({mv.x, mv.y});
      return head + " x[/" + n.t[0] + "] y[/" + n.t[1] + "]";
    }
    case 3102:
    case 3112: {
      NumTexts n = numFormatMany({mv.z});
      return head + " z[/" + n.t[0] + "]";
    }
    case 3103:
    case 3113: {
      NumTexts n = numFormatMany({mv.x, mv.y, mv.z});
      return head + " x[/" + n.t[0] + "] y[/" + n.t[1] + "] z[/" + n.t[2] + "]";
    }
    case 3105:
    case 3115: {
      NumTexts n = numFormatMany({mv.x});
      return head + " x[/" + n.t[0] + "]";
    }
    case 3106:
    case 3116: {
      NumTexts n = numFormatMany({mv.y});
      return head + " y[/" + n.t[0] + "]";
    }
    case 3107:
    case 3114: return head + xwModalAxes(r->modal, false);
    case 3108:
    case 3117: {
      NumTexts n = numFormatMany({mv.x, mv.y, mv.u, mv.v});
      return head + " x[/" + n.t[0] + "] y[/" + n.t[1] + "] u[/" + n.t[2] + "] v[/" + n.t[3] + "]";
    }
    case 3121:
    case 3122: {
      const OutputArcForm& a = r->arc;
      NumTexts n = numFormatMany({a.x, a.cx, a.y, a.cy, a.z, a.cz});
      std::string s = std::string("   oA( o[") + (a.direction == 1 ? '-' : '+') + "] x[/" + n.t[0] +
                      "/" + n.t[1] + "] y[/" + n.t[2] + "/" + n.t[3] + "]";
      if (type == 3122) s += std::string(" z[/") + n.t[4] + "/" + n.t[5] + "]";
      return s;
    }
    case 3104: {
      NumTexts n = numFormatMany({mv.x, mv.y, mv.z});
      return std::string("   oP( x[") + n.t[0] + "] y[" + n.t[1] + "] z[" + n.t[2] + "]";
    }
    default: return std::string();  // 3109, 3118 and others: no 5-axis moves in the exchange file
  }
}
}  // namespace

int pofXchgLayer0(CycleRecord* cycle, OutputRecord* record) {
  if (record == nullptr) return 1;
  const int type = record->type;
  const char* name = record->text.name;
  const char* text = record->text.text;
  if (type == 103 && cycle != nullptr) xwOpen(cycle, text);
  if (type >= 101 && type <= 111 && type != 104 && type != 110) {
    std::string line;
    try {
      line = std::string("0: ") + name + "(" + text + ")";
    } catch (...) {
      line.clear();
    }
    if (!line.empty()) pofBypassAddLine(line.c_str());
  }
  int result = 1;
  if (type == 102) {
    pofBypassFlush();
    result = 0;
  } else if (type == 104) {
    xwPrint(" oPOF( L0[ %.255s(%.519s) ] )\n", name, text);
    xwClose();
  } else if (type >= 105 && type <= 108) {
    xwPrint("v%.255s(%.519s)\n", name, text);
  } else if (type != 110) {
    xwPrint(" oPOF( L0[ %.255s(%.519s) ] )\n", name, text);
  }
  if (type == 102 || type == 104) pofBypassFree();
  return result;
}

int pofXchgLayer2(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || record->type != 1001 || xwState.file == nullptr) return 1;
  std::string out;
  try {
    out.assign(4 * sizeof record->single + 1, '\0');
  } catch (...) {
    return 1;
  }
  char in[sizeof record->single + 1];
  std::memcpy(in, record->single, sizeof record->single);
  in[sizeof record->single] = '\0';
  if (xchgEscapeText(out.data(), out.size(), in) >= 0) xwPrint(" oPOF( L2[%s] )\n", out.c_str());
  return 1;
}

int pofXchgLayer10(CycleRecord*, OutputRecord* record) {
  if (record != nullptr && record->type == 301) {
    xwPrint(" oPOF( L10[ %.255s(%.519s) ] )\n", record->text.name, record->text.text);
  }
  return 1;
}

int pofXchgLayer11(CycleRecord*, OutputRecord* record) {
  if (record == nullptr) return 1;
  if (record->type == 3131) {
    xwPrint(" oPOF( L11[ v%.255s(%.519s) ] )\n", record->text.name, record->text.text);
  } else if (record->type == 3199) {
    xwPrint(" oPOF( L11[ %.775s ] )\n", record->single);
  }
  return 1;
}

int pofXchgLayer30(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || record->type != 3104) return 1;
  const OutputMoveForm& m = record->move;
  NumTexts n = numFormatMany({m.x, m.y, m.z, m.s});
  const std::string s = m.sSet == 1 ? std::string(" s[") + n.t[3] + "]" : std::string();
  xwPrint("   oP( x[%s] y[%s] z[%s]%s u[d] )\n", n.t[0], n.t[1], n.t[2], s.c_str());
  return 1;
}

int pofXchgLayer31(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || xwState.file == nullptr) return 1;
  switch (record->type) {
    case 3001:
      xwPrint("oContour");
      if (record->text.name[0] != '\0') xwPrint("[%.255s]", record->text.name);
      if (record->text.text[0] != '\0') {
        xwPrint("( %.519s )\n{\n", record->text.text);
      } else {
        xwPrint("( )\n{\n");
      }
      return 1;
    case 3002: xwPrint("}\n"); return 1;
    case 3131: xwPrint("   v%.255s( %.519s )\n", record->text.name, record->text.text); return 1;
    case 3199: xwPrint("%.775s\n", record->single); return 1;
    default: break;
  }
  std::string s;
  try {
    s = xwMoveText(record);
  } catch (...) {
    return 1;
  }
  if (!s.empty()) xwPrint("%s )\n", s.c_str());
  return 1;
}

int pofXchgLayer32(CycleRecord*, OutputRecord* record) {
  if (record == nullptr || xwState.file == nullptr) return 1;
  const int type = record->type;
  const OutputNcForm& nc = record->nc;
  NumTexts n = numFormatMany({nc.x, nc.y, nc.z, nc.i, nc.j, nc.k});
  const char g = (type >= 4001 && type <= 4003) || type == 4016 || type == 4017 ? '0' : '1';
  switch (type) {
    case 4001:
    case 4004: xwPrint(" oPOF( L32[ G%c X%s Y%s ] )\n", g, n.t[0], n.t[1]); break;
    case 4002:
    case 4005: xwPrint(" oPOF( L32[ G%c Z%s ] )\n", g, n.t[2]); break;
    case 4003:
    case 4006: xwPrint(" oPOF( L32[ G%c X%s Y%s Z%s ] )\n", g, n.t[0], n.t[1], n.t[2]); break;
    case 4008:
    case 4009:
      xwPrint(" oPOF( L32[ G%c X%s Y%s I%s J%s ] )\n", type == 4008 ? '2' : '3', n.t[0], n.t[1],
              n.t[3], n.t[4]);
      break;
    case 4010:
    case 4011:
      xwPrint(" oPOF( L32[ G%c X%s Y%s Z%s I%s J%s K%s ] )\n", type == 4010 ? '2' : '3', n.t[0],
              n.t[1], n.t[2], n.t[3], n.t[4], n.t[5]);
      break;
    case 4016:
    case 4007: {
      std::string axes;
      try {
        axes = xwModalAxes(record->modal, true);
      } catch (...) {
        break;
      }
      xwPrint(" oPOF( L32[ G%c%s ] )\n", g, axes.c_str());
      break;
    }
    case 4017:
    case 4018:
      xwPrint(" oPOF( L32[ G%c X%s Y%s U%s V%s ] )\n", g, n.t[0], n.t[1], n.t[3], n.t[4]);
      break;
    case 4101: xwPrint(" oPOF( L32[%.775s] )\n", record->single); break;
    default: break;  // 4012 to 4015, 4019, 4020, 4041: not carried
  }
  return 1;
}

int pofXchgNone(CycleRecord*, OutputRecord*) { return 1; }

OutputWriterFn pofXchgWriterFor(std::uint16_t layer) {
  switch (layer) {
    case 0: return pofXchgLayer0;
    case 2: return pofXchgLayer2;
    case 10: return pofXchgLayer10;
    case 11: return pofXchgLayer11;
    case 30: return pofXchgLayer30;
    case 31: return pofXchgLayer31;
    case 32: return pofXchgLayer32;
    case 1:
    case 3:
    case 4:
    case 5:
    case 6:
    case 12:
    case 33:
    case 35:
    case 36:
    case 41:
    case 42: return pofXchgNone;
    default: return nullptr;
  }
}

std::FILE* pofXchgFile() { return xwState.file; }

void pofBypassAddLine(const char* text) {
  if (text == nullptr) return;
  auto* node = static_cast<BypassLine*>(memAllocZero(sizeof(BypassLine)));
  if (node == nullptr) return;
  node->text = memStrDup(text);
  if (node->text == nullptr) {
    memFree(node);
    return;
  }
  node->next = xwState.bypass;
  xwState.bypass = node;
}

void pofBypassFlush() {
  platRemoveFile(kPofBypassFile);
  if (xwState.bypass != nullptr) {
    std::FILE* f = std::fopen(kPofBypassFile, "a");
    if (f != nullptr) {
      // The list is newest first: write it back to front.
      std::size_t n = 0;
      for (BypassLine* b = xwState.bypass; b != nullptr; b = b->next) ++n;
      auto** lines = static_cast<BypassLine**>(memAllocZero(n * sizeof(BypassLine*)));
      if (lines != nullptr) {
        std::size_t i = n;
        for (BypassLine* b = xwState.bypass; b != nullptr; b = b->next) lines[--i] = b;
        for (i = 0; i < n; ++i) std::fprintf(f, "%s\n", lines[i]->text);
        memFree(lines);
      }
      std::fclose(f);
    }
  }
  xwClose(false);  // a fatal end keeps the previous output rather than a partial one
}

void pofBypassFree() {
  while (xwState.bypass != nullptr) {
    BypassLine* b = xwState.bypass;
    xwState.bypass = b->next;
    memFree(b->text);
    memFree(b);
  }
}

void pofXchgResetState() {
  xwClose();
  pofBypassFree();
}
