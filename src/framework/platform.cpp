// platform.cpp - Linux forms of the platform services: dladdr for the library's own file name,
// CMake's project version for the version constants, newlocale for a fixed "C" locale, getrandom
// for job ids, clock_gettime and localtime_r for the time texts, getpid, getenv, open with
// O_EXCL, stat and fseeko/ftello for the file-system questions.
#include "framework/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
struct PlatState {
  locale_t cLocale = nullptr;
  unsigned tempCounter = 0;  // makes the names of platCreateBeside differ within the process
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

int platRandomUuid(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  constexpr std::size_t kUuidChars = 36;
  if (size < kUuidChars + 1) return 0;
  unsigned char b[16];
  std::size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    got += static_cast<std::size_t>(n);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4: random
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // the standard variant
  std::snprintf(out, size, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                b[13], b[14], b[15]);
  return 1;
}

std::int64_t platSteadyMillis() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::int64_t platNowMillis() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int platLocalTimeText(char* out, std::size_t size, const char* format, std::int64_t epochSeconds) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (format == nullptr) return 0;
  const time_t t = static_cast<time_t>(epochSeconds);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  locale_t c = platCLocale();
  if (c == nullptr) return 0;
  if (strftime_l(out, size, format, &local, c) == 0) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

int platPathKind(const char* path) {
  struct stat st {};
  if (path == nullptr || path[0] == '\0' || stat(path, &st) != 0) return kPlatNoFile;
  return S_ISREG(st.st_mode) ? kPlatRegularFile : kPlatOtherFile;
}

std::FILE* platCreateBeside(const char* path, char* tempOut, std::size_t size) {
  if (tempOut != nullptr && size > 0) tempOut[0] = '\0';
  if (path == nullptr || path[0] == '\0' || tempOut == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int n = std::snprintf(tempOut, size, "%s.%ld.%u.tmp", path, static_cast<long>(getpid()),
                                platState.tempCounter++);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
      tempOut[0] = '\0';
      errno = ENAMETOOLONG;
      return nullptr;
    }
    // O_EXCL: a name that exists (a file, a link, anything) is never opened, let alone replaced.
    const int fd = open(tempOut, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      tempOut[0] = '\0';
      return nullptr;
    }
    std::FILE* f = fdopen(fd, "w");
    if (f == nullptr) {
      const int err = errno;
      close(fd);
      unlink(tempOut);
      tempOut[0] = '\0';
      errno = err;
    }
    return f;
  }
  tempOut[0] = '\0';
  errno = EEXIST;
  return nullptr;
}

int platRename(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) {
    errno = EINVAL;
    return 0;
  }
  return rename(from, to) == 0 ? 1 : 0;
}

int platRemoveFile(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return 0;
  }
  return unlink(path) == 0 ? 1 : 0;
}

std::int64_t platNowSeconds() { return static_cast<std::int64_t>(time(nullptr)); }

long platProcessId() { return static_cast<long>(getpid()); }

const char* platHomeDir() { return getenv("HOME"); }

int platCreateNewFile(const char* path) {
  if (path == nullptr) return -1;
  const int fd = open(path, O_CREAT | O_EXCL | O_WRONLY, 0666);
  if (fd >= 0) {
    close(fd);
    return 1;
  }
  return errno == EEXIST ? 0 : -1;
}

int platIsRegularFile(const char* path) {
  struct stat st {};
  return path != nullptr && stat(path, &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int platIsRegularStream(std::FILE* stream) {
  struct stat st {};
  return stream != nullptr && fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
}

int platSameFile(const char* a, const char* b) {
  struct stat sa {
  }, sb{};
  if (a == nullptr || b == nullptr || stat(a, &sa) != 0 || stat(b, &sb) != 0) return -1;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino ? 1 : 0;
}

int platFileSize(std::FILE* stream, std::int64_t* size) {
  if (stream == nullptr || size == nullptr) return 0;
  if (fseeko(stream, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(stream);
  if (end < 0 || fseeko(stream, 0, SEEK_SET) != 0) return 0;
  *size = static_cast<std::int64_t>(end);
  return 1;
}

std::int64_t platTell(std::FILE* stream) {
  if (stream == nullptr) return -1;
  return static_cast<std::int64_t>(ftello(stream));
}

int platSeek(std::FILE* stream, std::int64_t offset) {
  if (stream == nullptr) return 0;
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 ? 1 : 0;
}

void platResetState() {
  if (platState.cLocale != nullptr) freelocale(platState.cLocale);
  platState = PlatState{};
}
