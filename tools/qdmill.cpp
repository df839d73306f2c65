// qdmill.cpp - the command-line host: loads libqdmill.so with dlopen, runs the library's cycle
// with its own command line and turns the outcome into an exit code. Standard output belongs to
// the cycle's POF text and to the texts of an information run (-V, -P, ...); every other line of
// the host itself goes to standard error.
#include "qdmill/qdmill.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qdmill_messages.h"

namespace {

enum HostExit : int {
  kExitOk = 0,         // the run happened and the status word is 0
  kExitFailed = 1,     // the status word says failure
  kExitNotRun = 2,     // the run did not happen (qdCSexecCycle returned 0, bad host options,
                       // library not loadable)
  kExitUserBreak = 3,  // the run stopped on a user break
};

constexpr int kStatusUserBreak = 100;
constexpr int kSignalStopNow = 100;
constexpr int kMoveLayer = 31;
constexpr int kErrorType = 101;  // layer-0 "error": a message "<number>,<arguments>"
constexpr int kFatalType = 102;  // layer-0 fatal error: a message that ends the output
// Messages printed after a run, unless --verbose: the errors first when there are more.
constexpr std::size_t kMessageLinesMax = 50;
// Messages kept for that report; further ones are counted only.
constexpr std::size_t kMessagesKept = 20000;
// Progress numbers: the region and the level in work, "<i>,<n>".
constexpr int kMsgRegion = 37;
constexpr int kMsgLevel = 3009;
// The live progress line is redrawn at most this often.
constexpr long kProgressEveryMs = 100;

const char kHelp[] =
    "usage: qdmill [--lib PATH] [--records] [--verbose] [--break-after N] [--] ARGS...\n"
    "\n"
    "Loads the qdmill library and runs its cycle with ARGS as the argument vector, e.g.\n"
    "  qdmill -Sjob        compute with the parameter source job.pcf\n"
    "  qdmill -P           show the cycle's parameters text\n"
    "  qdmill              show the cycle's version and options\n"
    "File names in ARGS and in the job resolve against the current folder. The cycle's POF text\n"
    "and the texts of an information run go to standard output; the host's own lines go to\n"
    "standard error.\n"
    "\n"
    "host options (anywhere before \"--\"; any other argument beginning with \"--\" is refused):\n"
    "  --lib PATH        the library to load (default: libqdmill.so beside this program, or in\n"
    "                    the library folder of the prefix it is installed in)\n"
    "  --records         print one line per record received (pair, layer, type, name, text)\n"
    "  --verbose         print every message, progress and information included, and no\n"
    "                    fewer than all of them\n"
    "  --break-after N   set the stop signal (100) after N move records on layer 31; with -PCF no\n"
    "                    record reaches the host, so it never fires (0 still stops at once)\n"
    "  --help            this text\n"
    "  --                ends the host options\n"
    "\n"
    "After a run the host prints each message of the cycle with its severity (error, warning,\n"
    "note) and its text, at most 50 (the errors first); a successful computing run ends with one\n"
    "line: levels, moves, feed length and time. On a terminal a live line shows the region and\n"
    "the level in work.\n"
    "\n"
    "exit codes:\n"
    "  0  the run happened and the cycle's status word is 0\n"
    "  1  the cycle's status word reports a failure (its error messages go to standard error;\n"
    "     an output that could not be written included), or the POF text could not be written\n"
    "     to standard output\n"
    "  2  the run did not happen (the library refused it or could not be loaded, bad options,\n"
    "     or the job source given with -S cannot be read)\n"
    "  3  the run was stopped by a user break\n";

struct Library {
  void* handle = nullptr;
  CycleRecord* (*getCycle)() = nullptr;
  int (*execCycle)(CycleRecord*, int, char**, HostCallbacks*) = nullptr;
  int (*setSignal)(CycleRecord*, int) = nullptr;
  int (*getSignal)(CycleRecord*) = nullptr;
};

struct HostOptions {
  std::string library;
  bool records = false;
  bool verbose = false;
  long breakAfter = -1;  // -1: never
  bool help = false;
  std::vector<char*> cycleArgs;
};

// One message of the cycle: its number, its arguments, and whether it came as a fatal record.
struct HostSeen {
  long order;
  int number;
  std::string arguments;
  bool fatal;
};

// Where the moves are, for the feed length: the last position, each axis once known.
struct HostPosition {
  double p[3] = {0, 0, 0};
  bool known[3] = {false, false, false};
  bool all() const { return known[0] && known[1] && known[2]; }
};

// What the callbacks share.
struct HostRun {
  Library* lib = nullptr;
  bool records = false;
  bool verbose = false;
  long breakAfter = -1;
  long moves = 0;
  bool signalled = false;
  std::vector<std::string> infoNames;  // names of the information texts shown
  std::vector<HostSeen> messages;      // the messages of the run, for the report
  long messagesDropped = 0;
  long order = 0;
  // the summary of a successful run
  long levels = 0;
  double feedLength = 0;
  HostPosition at;
  // the live progress line (on a terminal only)
  bool live = false;
  bool lineShown = false;
  long region = 0, regions = 0, level = 0, levelsOfRegion = 0;
  std::chrono::steady_clock::time_point lastDrawn{};
};

struct PairUser {
  HostRun* run;
  int pair;
};

// The folder the program lies in, or "" when it cannot be told.
std::string hostProgramFolder() {
  char exe[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return "";
  exe[n] = '\0';
  std::string dir(exe);
  const std::size_t slash = dir.rfind('/');
  return slash == std::string::npos ? "." : dir.substr(0, slash);
}

// libqdmill.so beside the program (the build tree), else in the library folder of the prefix the
// program is installed in.
std::string hostDefaultLibrary() {
  const std::string dir = hostProgramFolder();
  if (dir.empty()) return "libqdmill.so";
  const std::string beside = dir + "/libqdmill.so";
  if (access(beside.c_str(), F_OK) == 0) return beside;
  return dir + "/" + QDMILL_HOST_TO_LIB + "/libqdmill.so";
}

// The cycle's definition file, read from the current folder; and the folder of the installed
// one with the language files it names (the data folder of the prefix the program is installed
// in).
constexpr char kDefinitionFile[] = "qdRpx5.def";
constexpr char kHostToData[] = "/../share/qdmill";

bool hostParseCount(const char* text, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < 0) return false;
  *out = v;
  return true;
}

// Arguments that begin with "--" are host options wherever they stand, up to a "--" alone; every
// other argument goes to the cycle in its order (the cycle has no option of that form).
bool hostParseOptions(int argc, char** argv, HostOptions* o) {
  int i = 1;
  for (; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--") == 0) {
      ++i;
      break;
    }
    if (std::strcmp(a, "--help") == 0) {
      o->help = true;
    } else if (std::strcmp(a, "--records") == 0) {
      o->records = true;
    } else if (std::strcmp(a, "--verbose") == 0) {
      o->verbose = true;
    } else if (std::strcmp(a, "--lib") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "qdmill: --lib needs a path\n");
        return false;
      }
      o->library = argv[++i];
    } else if (std::strcmp(a, "--break-after") == 0) {
      if (i + 1 >= argc || !hostParseCount(argv[i + 1], &o->breakAfter)) {
        std::fprintf(stderr, "qdmill: --break-after needs a count of 0 or more\n");
        return false;
      }
      ++i;
    } else if (std::strncmp(a, "--", 2) == 0) {
      std::fprintf(stderr, "qdmill: unknown option %s (see qdmill --help)\n", a);
      return false;
    } else {
      o->cycleArgs.push_back(argv[i]);
    }
  }
  for (; i < argc; ++i) o->cycleArgs.push_back(argv[i]);
  return true;
}

bool hostEndsWith(const std::string& s, const char* end) {
  const std::size_t n = std::strlen(end);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, end) == 0;
}

// The file the cycle will read as its job source, resolved as the library resolves it: the last
// -S (or /S, -s) option names it; "<name>.CFG" is read as it is, any other name gets ".pcf" unless
// it ends in it; a leading '~' stands for HOME. Empty when the run names no source or reads the
// standard input. Sets *reason when the name cannot be resolved.
std::string hostSourcePath(const std::vector<char*>& args, std::string* reason) {
  const char* source = nullptr;
  for (const char* a : args) {
    if ((a[0] == '-' || a[0] == '/') && (a[1] == 'S' || a[1] == 's') && a[2] != '\0')
      source = a + 2;
  }
  if (source == nullptr || std::strcmp(source, "| stdin") == 0) return "";
  std::string path = source;
  const bool cfg = path.size() >= 5 && hostEndsWith(path, ".CFG");
  if (!cfg && !hostEndsWith(path, ".pcf")) path += ".pcf";
  if (path[0] == '~') {
    const char* home = std::getenv("HOME");
    if (home == nullptr) {
      *reason = "HOME is not set";
      return path;
    }
    path = std::string(home) + path.substr(1);
  }
  return path;
}

// The library runs with defaults when its job source is missing; the host refuses such a run, so
// that a mistyped job name never yields a toolpath. True when the source is a readable regular
// file (or none is named); otherwise prints why.
bool hostCheckSource(const std::vector<char*>& args) {
  std::string reason;
  const std::string path = hostSourcePath(args, &reason);
  if (path.empty()) return true;
  if (reason.empty()) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
      reason = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      reason = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
    } else {
      const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) {
        reason = std::strerror(errno);
      } else {
        close(fd);
      }
    }
  }
  if (reason.empty()) return true;
  std::fprintf(stderr, "qdmill: cannot read job source %s: %s\n", path.c_str(), reason.c_str());
  return false;
}

// Whether the arguments ask for an information text (-P, -A, -Y).
bool hostAsksForTexts(const std::vector<char*>& args) {
  for (const char* a : args) {
    if ((a[0] == '-' || a[0] == '/') && a[1] != '\0' && a[2] == '\0' &&
        std::strchr("AaPpYy", a[1]) != nullptr)
      return true;
  }
  return false;
}

// An information run in a folder without the cycle's definition file runs in the installed data
// folder, whose definition file names the language files installed beside it; a source given
// with -S keeps naming the file of the current folder. Returns false when the folder cannot be
// entered (said on standard error); true otherwise, also when there is nothing to do.
bool hostUseInstalledTexts(std::vector<char*>& args, std::vector<std::string>& keep) {
  if (!hostAsksForTexts(args) || access(kDefinitionFile, F_OK) == 0) return true;
  const std::string dir = hostProgramFolder();
  if (dir.empty()) return true;
  const std::string data = dir + kHostToData;
  if (access((data + "/" + kDefinitionFile).c_str(), R_OK) != 0) return true;
  char here[PATH_MAX + 1];
  if (getcwd(here, sizeof here) == nullptr) return true;
  for (char*& a : args) {
    if ((a[0] == '-' || a[0] == '/') && (a[1] == 'S' || a[1] == 's') && a[2] != '\0' &&
        a[2] != '/' && a[2] != '~' && std::strcmp(a + 2, "| stdin") != 0) {
      keep.push_back(std::string(a, 2) + here + "/" + (a + 2));
      a = keep.back().data();
    }
  }
  if (chdir(data.c_str()) != 0) {
    std::fprintf(stderr, "qdmill: cannot enter %s: %s\n", data.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

// The information texts the run asked for (-P, -A, -Y) that did not come: their language file is
// missing or lacks the section. Said on standard error, so an empty answer is never silent.
void hostReportMissingTexts(const std::vector<char*>& args, const HostRun& run) {
  static const struct {
    char letter;
    const char* name;
  } kItems[] = {{'P', "parameters"}, {'A', "algorithm"}, {'Y', "layers"}};
  for (const auto& item : kItems) {
    bool asked = false;
    for (const char* a : args) {
      if ((a[0] == '-' || a[0] == '/') &&
          std::toupper(static_cast<unsigned char>(a[1])) == item.letter && a[2] == '\0')
        asked = true;
    }
    bool shown = false;
    for (const std::string& n : run.infoNames) shown = shown || n == item.name;
    if (asked && !shown) {
      std::fprintf(stderr,
                   "qdmill: no %s text: the cycle's definition file in the current folder (or "
                   "the installed one) names no language file for it, or that file lacks the "
                   "section\n",
                   item.name);
    }
  }
}

// ---- the messages of a run ----------------------------------------------------------------

// The severity a message is printed with: a fatal record is an error; otherwise the number's
// (an unknown number is an error, so that nothing that might explain a failure hides). In a run
// that succeeded nothing was an error: the run went on past it.
HostSeverity hostSeverity(const HostSeen& m, bool succeeded) {
  HostSeverity s = HostSeverity::kError;
  if (!m.fatal) {
    const HostMessage* row = hostMessageOf(m.number);
    if (row != nullptr) s = row->severity;
  }
  if (succeeded && s == HostSeverity::kError) s = HostSeverity::kWarning;
  return s;
}

const char* hostSeverityWord(HostSeverity s) {
  switch (s) {
    case HostSeverity::kError: return "error";
    case HostSeverity::kWarning: return "warning";
    default: return "note";
  }
}

bool hostShown(HostSeverity s, bool verbose) {
  return verbose || (s != HostSeverity::kProgress && s != HostSeverity::kInformation);
}

// The message's text: the number's English text with the arguments in place of "%s", or the
// arguments alone.
std::string hostMessageText(const HostSeen& m) {
  const HostMessage* row = hostMessageOf(m.number);
  if (row == nullptr || row->text == nullptr) return m.arguments;
  std::string text = row->text;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, m.arguments);
  return text;
}

// Clears the live progress line, so that the next line of standard error starts clean.
void hostClearProgress(HostRun& run) {
  if (!run.lineShown) return;
  std::fputs("\r\033[K", stderr);
  run.lineShown = false;
}

// Prints the messages of the run: each with its severity and text, in the order they came. More
// than kMessageLinesMax (unless verbose): the errors are kept first, then warnings, then notes,
// and the rest is counted. Returns the number of errors printed.
int hostReportMessages(const HostRun& run, bool succeeded) {
  std::vector<const HostSeen*> shown;
  for (const HostSeen& m : run.messages) {
    if (hostShown(hostSeverity(m, succeeded), run.verbose)) shown.push_back(&m);
  }
  std::vector<const HostSeen*> chosen = shown;
  if (!run.verbose && shown.size() > kMessageLinesMax) {
    chosen.clear();
    for (const HostSeverity s :
         {HostSeverity::kError, HostSeverity::kWarning, HostSeverity::kNote}) {
      for (const HostSeen* m : shown) {
        if (chosen.size() < kMessageLinesMax && hostSeverity(*m, succeeded) == s)
          chosen.push_back(m);
      }
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const HostSeen* a, const HostSeen* b) { return a->order < b->order; });
  }
  int errors = 0;
  for (const HostSeen* m : chosen) {
    const HostSeverity s = hostSeverity(*m, succeeded);
    if (s == HostSeverity::kError) ++errors;
    const std::string text = hostMessageText(*m);
    if (text.empty()) {
      std::fprintf(stderr, "qdmill: %s %d\n", hostSeverityWord(s), m->number);
    } else {
      std::fprintf(stderr, "qdmill: %s %d: %s\n", hostSeverityWord(s), m->number, text.c_str());
    }
  }
  const long more = static_cast<long>(shown.size() - chosen.size()) + run.messagesDropped;
  if (more > 0) std::fprintf(stderr, "qdmill: ... and %ld more messages\n", more);
  return errors;
}

// "<i>,<n>" of a progress message.
bool hostTwoNumbers(const std::string& text, long* i, long* n) {
  char* end = nullptr;
  *i = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != ',') return false;
  const char* second = end + 1;
  *n = std::strtol(second, &end, 10);
  return end != second;
}

// Redraws the live progress line from the progress messages, at most every kProgressEveryMs.
void hostProgress(HostRun& run, int number, const std::string& arguments) {
  long i = 0;
  long n = 0;
  if (!hostTwoNumbers(arguments, &i, &n)) return;
  if (number == kMsgRegion) {
    run.region = i;
    run.regions = n;
    run.level = 0;
    run.levelsOfRegion = 0;
  } else {
    run.level = i;
    run.levelsOfRegion = n;
  }
  if (!run.live) return;
  const auto now = std::chrono::steady_clock::now();
  if (run.lineShown && now - run.lastDrawn < std::chrono::milliseconds(kProgressEveryMs)) return;
  run.lastDrawn = now;
  if (run.regions > 0) {
    std::fprintf(stderr, "\rqdmill: region %ld of %ld, level %ld of %ld\033[K", run.region,
                 run.regions, run.level, run.levelsOfRegion);
  } else {
    std::fprintf(stderr, "\rqdmill: level %ld of %ld\033[K", run.level, run.levelsOfRegion);
  }
  std::fflush(stderr);
  run.lineShown = true;
}

// Takes one message of the cycle.
void hostTakeMessage(HostRun& run, const OutputRecord& record) {
  const std::string text = record.text.text;
  HostSeen m{run.order++, 0, "", record.type == kFatalType};
  char* end = nullptr;
  m.number = static_cast<int>(std::strtol(text.c_str(), &end, 10));
  const std::size_t comma = text.find(',');
  if (comma != std::string::npos) {
    m.arguments = text.substr(comma + 1);
  } else if (end == text.c_str()) {
    m.arguments = text;  // no number: the text itself
  }
  if (!m.fatal && (m.number == kMsgRegion || m.number == kMsgLevel)) {
    if (m.number == kMsgLevel) ++run.levels;
    hostProgress(run, m.number, m.arguments);
  }
  // A message that will not be printed is not kept (the progress of a long run).
  if (!hostShown(hostSeverity(m, false), run.verbose) &&
      !hostShown(hostSeverity(m, true), run.verbose)) {
    return;
  }
  if (run.messages.size() < kMessagesKept) {
    run.messages.push_back(std::move(m));
  } else {
    ++run.messagesDropped;
  }
}

// ---- the moves of a run, for its summary ---------------------------------------------------

void hostSetAxis(HostPosition& at, int axis, double v) {
  at.p[axis] = v;
  at.known[axis] = true;
}

// The length of an arc from the position to the end about the centre (plan view), in the
// direction given (clockwise or not), with the z change as a helix. A full circle when the end is
// the start.
double hostArcLength(const double from[3], const double to[3], double cx, double cy,
                     bool clockwise) {
  const double r = std::hypot(from[0] - cx, from[1] - cy);
  const double a0 = std::atan2(from[1] - cy, from[0] - cx);
  const double a1 = std::atan2(to[1] - cy, to[0] - cx);
  double sweep = clockwise ? a0 - a1 : a1 - a0;
  const double turn = 2.0 * std::acos(-1.0);
  while (sweep <= 1e-12) sweep += turn;
  return std::hypot(r * sweep, to[2] - from[2]);
}

// Follows a move record of layer 31: the position it reaches and, for a feed from a known
// position, its length.
void hostTakeMove(HostRun& run, const OutputRecord& r) {
  HostPosition& at = run.at;
  const double before[3] = {at.p[0], at.p[1], at.p[2]};
  const bool known = at.all();
  const int type = r.type;
  const bool feed = type >= 3111;
  const int base = feed ? type - 10 : type;
  if (type == 3121 || type == 3122) {
    const double to[3] = {r.arc.x, r.arc.y, type == 3122 ? r.arc.z : at.p[2]};
    if (known)
      run.feedLength += hostArcLength(before, to, r.arc.cx, r.arc.cy, r.arc.direction == 1);
    hostSetAxis(at, 0, to[0]);
    hostSetAxis(at, 1, to[1]);
    hostSetAxis(at, 2, to[2]);
    return;
  }
  switch (base) {
    case 3101:
    case 3108:
      hostSetAxis(at, 0, r.move.x);
      hostSetAxis(at, 1, r.move.y);
      break;
    case 3102: hostSetAxis(at, 2, r.move.z); break;
    case 3103:
      hostSetAxis(at, 0, r.move.x);
      hostSetAxis(at, 1, r.move.y);
      hostSetAxis(at, 2, r.move.z);
      break;
    case 3105: hostSetAxis(at, 0, r.move.x); break;
    case 3106: hostSetAxis(at, 1, r.move.y); break;
    default:
      // the modal forms: 3107 and 3109 rapid, 3114 and 3118 feed (3104 is layer 30's)
      if (type == 3107 || type == 3109 || type == 3114 || type == 3118) {
        if (r.modal.setX != 0) hostSetAxis(at, 0, r.modal.x);
        if (r.modal.setY != 0) hostSetAxis(at, 1, r.modal.y);
        if (r.modal.setZ != 0) hostSetAxis(at, 2, r.modal.z);
      }
      break;
  }
  const bool feedMove = type == 3114 || type == 3118 || (feed && type != 3114 && type != 3118);
  if (feedMove && known) {
    run.feedLength += std::hypot(at.p[0] - before[0], at.p[1] - before[1], at.p[2] - before[2]);
  }
}

bool hostLoad(const std::string& path, Library* lib) {
  lib->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib->handle == nullptr) {
    std::fprintf(stderr, "qdmill: cannot load %s: %s\n", path.c_str(), dlerror());
    return false;
  }
  lib->getCycle = reinterpret_cast<CycleRecord* (*)()>(dlsym(lib->handle, "qdCSgetCycle"));
  lib->execCycle = reinterpret_cast<int (*)(CycleRecord*, int, char**, HostCallbacks*)>(
      dlsym(lib->handle, "qdCSexecCycle"));
  lib->setSignal =
      reinterpret_cast<int (*)(CycleRecord*, int)>(dlsym(lib->handle, "qdCSsetSignal"));
  lib->getSignal = reinterpret_cast<int (*)(CycleRecord*)>(dlsym(lib->handle, "qdCSgetSignal"));
  if (lib->getCycle == nullptr || lib->execCycle == nullptr || lib->setSignal == nullptr ||
      lib->getSignal == nullptr) {
    std::fprintf(stderr, "qdmill: %s does not offer the qdCS functions\n", path.c_str());
    return false;
  }
  return true;
}

// Types whose record carries a name (text form).
bool hostHasName(int type) {
  return (type >= 100 && type <= 112) || type == QDMILL_INFO_TEXT || (type >= 201 && type <= 204) ||
         type == 301 || type == 3001 || type == 3131;
}

bool hostIsMove(int type) { return type >= 3101 && type <= 3122; }

int hostReceive(CycleRecord* cycle, int layer, OutputRecord* record, void* user) {
  auto* pu = static_cast<PairUser*>(user);
  HostRun* run = pu->run;
  if (record == nullptr) return 1;
  if (run->records) {
    hostClearProgress(*run);
    if (hostHasName(record->type)) {
      std::fprintf(stderr, "qdmill: record pair %d layer %d type %d name %.255s text %.519s\n",
                   pu->pair, layer, static_cast<int>(record->type), record->text.name,
                   record->text.text);
    } else {
      std::fprintf(stderr, "qdmill: record pair %d layer %d type %d name -\n", pu->pair, layer,
                   static_cast<int>(record->type));
    }
  }
  // Layer 0 reaches pair 0 and then pair 1: take its texts once.
  if (layer == 0 && pu->pair == 0 && record->type == QDMILL_INFO_TEXT) {
    std::printf("%.519s\n", record->text.text);
    run->infoNames.emplace_back(record->text.name);
  }
  if (layer == 0 && pu->pair == 0 && (record->type == kErrorType || record->type == kFatalType) &&
      std::strcmp(record->text.name, "error") == 0) {
    hostTakeMessage(*run, *record);
  }
  if (layer == kMoveLayer && hostIsMove(record->type)) {
    ++run->moves;
    hostTakeMove(*run, *record);
    if (run->breakAfter >= 0 && !run->signalled && run->moves >= run->breakAfter) {
      run->lib->setSignal(cycle, kSignalStopNow);
      run->signalled = true;
      hostClearProgress(*run);
      std::fprintf(stderr, "qdmill: stop signal set after %ld move records\n", run->moves);
    }
  }
  return 1;
}

// Whether the cycle arguments ask for a computing run: a source with -S and no information
// option (-V, -?, -P, -A, -Y, -D, or a bare "?").
bool hostComputing(const std::vector<char*>& args) {
  bool source = false;
  for (const char* a : args) {
    if (a[0] == '?') return false;
    if (a[0] != '-' && a[0] != '/') continue;
    if ((a[1] == 'S' || a[1] == 's') && a[2] != '\0') source = true;
    if (a[1] != '\0' && a[2] == '\0' && std::strchr("?AaDdPpVvYy", a[1]) != nullptr) return false;
  }
  return source;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  if (!hostParseOptions(argc, argv, &options)) return kExitNotRun;
  if (options.help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (options.library.empty()) options.library = hostDefaultLibrary();
  if (!hostCheckSource(options.cycleArgs)) return kExitNotRun;
  std::vector<std::string> rewritten;
  rewritten.reserve(options.cycleArgs.size());  // the arguments point into it
  if (!hostUseInstalledTexts(options.cycleArgs, rewritten)) return kExitNotRun;

  Library lib;
  if (!hostLoad(options.library, &lib)) return kExitNotRun;
  CycleRecord* cycle = lib.getCycle();

  const bool computing = hostComputing(options.cycleArgs);
  HostRun run;
  run.lib = &lib;
  run.records = options.records;
  run.verbose = options.verbose;
  run.breakAfter = options.breakAfter;
  run.live = computing && isatty(STDERR_FILENO) == 1;
  PairUser users[3] = {{&run, 0}, {&run, 1}, {&run, 2}};
  HostCallbacks host{};
  for (int p = 0; p < 3; ++p) host.pair[p] = HostCallbackPair{hostReceive, &users[p]};

  if (run.breakAfter == 0) {
    lib.setSignal(cycle, kSignalStopNow);
    run.signalled = true;
  }
  std::vector<char*> args = options.cycleArgs;
  args.push_back(nullptr);
  const auto started = std::chrono::steady_clock::now();
  const int ran =
      lib.execCycle(cycle, static_cast<int>(options.cycleArgs.size()), args.data(), &host);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  hostClearProgress(run);
  // The POF text went to standard output: a full disk or a size limit shows at the latest here.
  errno = 0;
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (!written) {
    std::fprintf(stderr, "qdmill: cannot write the POF text to standard output: %s\n",
                 std::strerror(errno != 0 ? errno : EIO));
  }
  if (ran == 0) {
    std::fprintf(stderr,
                 "qdmill: the cycle did not run (no cycle record, the record already running, too "
                 "many nested runs, or its load phase refused the sources)\n");
    return kExitNotRun;
  }
  const int status = lib.getSignal(cycle);
  const bool succeeded = written && status == 0;
  const int errors = hostReportMessages(run, succeeded);
  if (!written) return kExitFailed;
  if (status == kStatusUserBreak) {
    std::fprintf(stderr, "qdmill: stopped by user break\n");
    return kExitUserBreak;
  }
  if (status != 0) {
    // A failed output names its path and reason in its message.
    std::fprintf(stderr, "qdmill: the cycle reported a failure (status %d)%s\n", status,
                 errors == 0 ? " and sent no error message" : "");
    return kExitFailed;
  }
  hostReportMissingTexts(options.cycleArgs, run);
  if (computing) {
    std::fprintf(stderr, "qdmill: done: %ld levels, %ld moves, feed length %.3f, %.1f s\n",
                 run.levels, run.moves, run.feedLength, seconds);
  }
  if (options.cycleArgs.empty()) std::printf("(qdmill --help lists the host's own options)\n");
  return kExitOk;
}
