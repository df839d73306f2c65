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

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
constexpr int kErrorType = 101;           // layer-0 "error": "<number>,<arguments>"
constexpr std::size_t kErrorsKept = 100;  // error texts kept for the failure report

const char kHelp[] =
    "usage: qdmill [--lib PATH] [--records] [--break-after N] [--] ARGS...\n"
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
    "  --break-after N   set the stop signal (100) after N move records on layer 31; with -PCF no\n"
    "                    record reaches the host, so it never fires (0 still stops at once)\n"
    "  --help            this text\n"
    "  --                ends the host options\n"
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
  long breakAfter = -1;  // -1: never
  bool help = false;
  std::vector<char*> cycleArgs;
};

// What the callbacks share.
struct HostRun {
  Library* lib = nullptr;
  bool records = false;
  long breakAfter = -1;
  long moves = 0;
  bool signalled = false;
  std::vector<std::string> infoNames;  // names of the information texts shown
  std::vector<std::string> errors;     // texts of the "error" records, for a failure report
  long errorsDropped = 0;
};

struct PairUser {
  HostRun* run;
  int pair;
};

// libqdmill.so beside the program (the build tree), else in the library folder of the prefix the
// program is installed in.
std::string hostDefaultLibrary() {
  char exe[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return "libqdmill.so";
  exe[n] = '\0';
  std::string dir(exe);
  const std::size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  const std::string beside = dir + "/libqdmill.so";
  if (access(beside.c_str(), F_OK) == 0) return beside;
  return dir + "/" + QDMILL_HOST_TO_LIB + "/libqdmill.so";
}

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
                   "qdmill: no %s text: the cycle's definition file in the current folder names "
                   "no language file for it, or that file lacks the section\n",
                   item.name);
    }
  }
}

// The layer-0 "error" records received, as "qdmill: error <number>: <arguments>".
void hostReportErrors(const HostRun& run) {
  for (const std::string& e : run.errors) {
    const std::size_t comma = e.find(',');
    if (comma == std::string::npos) {
      std::fprintf(stderr, "qdmill: error %s\n", e.c_str());
    } else {
      std::fprintf(stderr, "qdmill: error %s: %s\n", e.substr(0, comma).c_str(),
                   e.c_str() + comma + 1);
    }
  }
  if (run.errorsDropped > 0)
    std::fprintf(stderr, "qdmill: ... and %ld more error messages\n", run.errorsDropped);
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
  if (layer == 0 && pu->pair == 0 && record->type == kErrorType &&
      std::strcmp(record->text.name, "error") == 0) {
    if (run->errors.size() < kErrorsKept) {
      run->errors.emplace_back(record->text.text);
    } else {
      ++run->errorsDropped;
    }
  }
  if (layer == kMoveLayer && hostIsMove(record->type) && run->breakAfter >= 0) {
    ++run->moves;
    if (!run->signalled && run->moves >= run->breakAfter) {
      run->lib->setSignal(cycle, kSignalStopNow);
      run->signalled = true;
      std::fprintf(stderr, "qdmill: stop signal set after %ld move records\n", run->moves);
    }
  }
  return 1;
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

  Library lib;
  if (!hostLoad(options.library, &lib)) return kExitNotRun;
  CycleRecord* cycle = lib.getCycle();

  HostRun run;
  run.lib = &lib;
  run.records = options.records;
  run.breakAfter = options.breakAfter;
  PairUser users[3] = {{&run, 0}, {&run, 1}, {&run, 2}};
  HostCallbacks host{};
  for (int p = 0; p < 3; ++p) host.pair[p] = HostCallbackPair{hostReceive, &users[p]};

  if (run.breakAfter == 0) {
    lib.setSignal(cycle, kSignalStopNow);
    run.signalled = true;
  }
  std::vector<char*> args = options.cycleArgs;
  args.push_back(nullptr);
  const int ran =
      lib.execCycle(cycle, static_cast<int>(options.cycleArgs.size()), args.data(), &host);
  // The POF text went to standard output: a full disk or a size limit shows at the latest here.
  errno = 0;
  const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (!written) {
    std::fprintf(stderr, "qdmill: cannot write the POF text to standard output: %s\n",
                 std::strerror(errno != 0 ? errno : EIO));
  }
  if (ran == 0) {
    // A source that cannot be read does not stop a run (its defaults are used).
    std::fprintf(stderr,
                 "qdmill: the cycle did not run (no cycle record, the record already running, too "
                 "many nested runs, or its load phase refused the sources)\n");
    return kExitNotRun;
  }
  const int status = lib.getSignal(cycle);
  if (!written) {
    hostReportErrors(run);
    return kExitFailed;
  }
  if (status == kStatusUserBreak) {
    std::fprintf(stderr, "qdmill: stopped by user break\n");
    return kExitUserBreak;
  }
  if (status != 0) {
    // A failed output names its path and reason in its message.
    hostReportErrors(run);
    std::fprintf(stderr, "qdmill: the cycle reported a failure (status %d)%s\n", status,
                 run.errors.empty() ? " and sent no error message" : "");
    return kExitFailed;
  }
  hostReportMissingTexts(options.cycleArgs, run);
  if (options.cycleArgs.empty()) std::printf("(qdmill --help lists the host's own options)\n");
  return kExitOk;
}
