// qdmill.cpp - the command-line host: loads libqdmill.so with dlopen, runs the library's cycle
// with its own command line and turns the outcome into an exit code. Standard output belongs to
// the cycle's POF text, so every line of the host itself goes to standard error.
#include "qdmill/qdmill.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

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
constexpr int kMessageRecord = 101;

const char kHelp[] =
    "usage: qdmill [--lib PATH] [--records] [--break-after N] [--] ARGS...\n"
    "\n"
    "Loads the qdmill library and runs its cycle with ARGS as the argument vector, e.g.\n"
    "  qdmill -Sjob        compute with the parameter source job.pcf\n"
    "  qdmill              show the cycle's version and help only\n"
    "The cycle's POF text goes to standard output; the host's own lines go to standard error.\n"
    "\n"
    "options (before ARGS):\n"
    "  --lib PATH        the library to load (default: libqdmill.so beside this program)\n"
    "  --records         print one line per record received (pair, layer, type, name, text)\n"
    "  --break-after N   set the stop signal (100) after N move records on layer 31; with -PCF no\n"
    "                    record reaches the host, so it never fires (0 still stops at once)\n"
    "  --help            this text\n"
    "  --                ends the host options\n"
    "\n"
    "exit codes:\n"
    "  0  the run happened and the cycle's status word is 0\n"
    "  1  the cycle's status word reports a failure (an output that could not be written\n"
    "     included), or the POF text could not be written to standard output\n"
    "  2  the run did not happen (the library refused it, could not be loaded, or bad options)\n"
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
};

struct PairUser {
  HostRun* run;
  int pair;
};

std::string hostDefaultLibrary() {
  char exe[PATH_MAX + 1];
  const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return "libqdmill.so";
  exe[n] = '\0';
  std::string dir(exe);
  const std::size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  return dir + "/libqdmill.so";
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

// Host options come first; the first other argument (or "--") starts the cycle's arguments.
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
      break;
    }
  }
  for (; i < argc; ++i) o->cycleArgs.push_back(argv[i]);
  return true;
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
  return (type >= 100 && type <= 112) || (type >= 201 && type <= 204) || type == 301 ||
         type == 3001 || type == 3131;
}

bool hostIsMove(int type) { return type >= 3101 && type <= 3122; }

int hostReceive(CycleRecord* cycle, int layer, OutputRecord* record, void* user) {
  auto* pu = static_cast<PairUser*>(user);
  HostRun* run = pu->run;
  if (record == nullptr) return 1;
  // The run's messages ("error" records) always reach standard error, once (layer 0 comes to
  // pairs 0 and 1): a failed output names its path and reason there.
  if (!run->records && pu->pair == 0 && layer == 0 && record->type == kMessageRecord) {
    std::fprintf(stderr, "qdmill: message %.519s\n", record->text.text);
  }
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
  if (!written) return kExitFailed;
  const int status = lib.getSignal(cycle);
  if (status == kStatusUserBreak) {
    std::fprintf(stderr, "qdmill: stopped by user break\n");
    return kExitUserBreak;
  }
  if (status != 0) {
    std::fprintf(stderr, "qdmill: the cycle reported a failure (status %d)\n", status);
    return kExitFailed;
  }
  return kExitOk;
}
