// platform.cpp - Linux forms of the platform services: dladdr for the library's own file name,
// CMake's project version for the version constants, newlocale for a fixed "C" locale.
#include "framework/platform.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {
struct PlatState {
  locale_t cLocale = nullptr;
};
PlatState platState;

// A function of this object; its address tells dladdr which loaded object we are.
void platAnchor() {}
}  // namespace

void* platModuleHandle() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&platAnchor), &info) == 0) return nullptr;
  return info.dli_fbase;
}

int platModuleFileName(char* out, int size) {
  if (out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  Dl_info info{};
  std::string name;
  if (dladdr(reinterpret_cast<void*>(&platAnchor), &info) != 0 && info.dli_fname != nullptr) {
    name = info.dli_fname;
  }
  if (name.empty()) {
    // The main program (the library linked statically into an executable) may report no name.
    char exe[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
    if (n <= 0) return 0;
    exe[n] = '\0';
    name = exe;
  }
  if (name[0] != '/') {
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved) != nullptr) {
      name = resolved;
    } else {
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof cwd) == nullptr) return 0;
      name = std::string(cwd) + "/" + name;
    }
  }
  if (name.size() + 1 > static_cast<std::size_t>(size)) return 0;
  std::memcpy(out, name.c_str(), name.size() + 1);
  return 1;
}

const char* platFileVersionText() { return QDMILL_VERSION_TEXT; }

void platFileVersionNumbers(int out[4]) {
  out[0] = QDMILL_VERSION_MAJOR;
  out[1] = QDMILL_VERSION_MINOR;
  out[2] = QDMILL_VERSION_PATCH;
  out[3] = QDMILL_VERSION_TWEAK;
}

locale_t platCLocale() {
  if (platState.cLocale == nullptr) {
    platState.cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  }
  return platState.cLocale;
}
