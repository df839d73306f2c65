// geo_error.cpp - the process-wide error record of the geometry code, its debug switch and log,
// and the small file, naming, random and array services the geometry modules share.
#include "geometry/geo_error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {
constexpr const char* kEmptyText = "EMPTY";
constexpr const char* kLogName = "/wogerrno.txt";
constexpr const char* kDebugSwitchFile = "wogdebug.info";
constexpr std::size_t kLogPathMax = 1024;  // work directory plus "/wogerrno.txt" and its zero
constexpr unsigned int kRandModulus = 259200;
constexpr unsigned int kRandMultiplier = 7141;
constexpr unsigned int kRandIncrement = 54773;
constexpr int kTempAttempts = 200;

struct GeoState {
  GeoErrorRecord record{"EMPTY", 0, 0};
  bool debugUndecided = true;
  int debugOn = 0;
  char workDir[1024] = "./";
  unsigned int randState = 1;
  std::uint32_t tempCounter = 0;
};
GeoState geoState;

void geoCopyText(char* dst, std::size_t room, const char* src) {
  if (src == nullptr) src = "";
  std::size_t n = std::strlen(src);
  if (n > room - 1) n = room - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}
}  // namespace

void geoResetState() { geoState = GeoState{}; }

int geoErrReset() {
  geoState.record.code = 0;
  geoState.record.line = 0;
  geoCopyText(geoState.record.file, sizeof geoState.record.file, kEmptyText);
  return 0;
}

int geoErrCode() { return geoState.record.code; }

const GeoErrorRecord* geoErrRecord() { return &geoState.record; }

int geoErrSet(int code, const char* file, int line) {
  geoState.record.code = code;
  geoState.record.line = line;
  geoCopyText(geoState.record.file, sizeof geoState.record.file, file);
  if (code < 0 && geoDebugOn() == 1) {
    char path[kLogPathMax + 16];  // the work directory is kept short enough for kLogPathMax
    std::snprintf(path, sizeof path, "%s%s", geoState.workDir, kLogName);
    if (std::FILE* f = std::fopen(path, "a+")) {
      geoErrWriteLine(f);
      std::fclose(f);
    }
  }
  return 0;
}

int geoFail(int code, const char* module, std::source_location at) {
  geoErrSet(code, module, static_cast<int>(at.line()));
  return code;
}

int geoErrLog(const char* text) {
  const int previous = geoState.record.code;
  geoErrSet(-1, text, 0);
  geoState.record.code = previous;
  return 0;
}

int geoErrWriteLine(std::FILE* f) {
  if (f == nullptr) return 0;
  const GeoErrorRecord* r = geoErrRecord();
  std::fprintf(f, "code = %d, line = %d, file = %s\n", r->code, r->line, r->file);
  std::fflush(f);
  return 0;
}

int geoDebugOn() {
  if (geoState.debugUndecided) {
    geoState.debugUndecided = false;
    if (std::FILE* f = std::fopen(kDebugSwitchFile, "r")) {
      char piece[50];  // pieces of at most 49 characters
      while (std::fgets(piece, sizeof piece, f) != nullptr) {
        if (std::strstr(piece, "DEBUG") != nullptr && std::strchr(piece, '1') != nullptr)
          geoState.debugOn = 1;
      }
      std::fclose(f);
    }
  }
  return geoState.debugOn;
}

int geoSetWorkDir(const char* dir) {
  if (dir == nullptr) return -20;
  if (std::strlen(dir) + std::strlen(kLogName) + 1 > kLogPathMax) return -20;
  geoCopyText(geoState.workDir, sizeof geoState.workDir, dir);
  return 1;
}

const char* geoWorkDir() { return geoState.workDir; }

int geoFileCopy(const char* source, const char* target) {
  if (source == nullptr || source[0] == '\0') return 0;
  if (target == nullptr || target[0] == '\0') return -1;
  std::FILE* in = std::fopen(source, "rb");
  if (in == nullptr) return -1;
  std::FILE* out = std::fopen(target, "wb");
  if (out == nullptr) {
    std::fclose(in);
    return -1;
  }
  int c;
  while ((c = std::fgetc(in)) != EOF) std::fputc(c, out);
  std::fclose(in);
  std::fclose(out);
  return 1;
}

int geoFileExists(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return 0;
  std::fclose(f);
  return 1;
}

int geoTempFileName(char* out, std::size_t outSize, const char* suffix) {
  if (out == nullptr || outSize == 0) return -20;
  if (suffix == nullptr) suffix = "";
  // The number joins the process id with a counter, so names differ between processes and
  // between calls; O_EXCL makes the creation itself the uniqueness test.
  const std::uint64_t pid = static_cast<std::uint64_t>(getpid());
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::uint64_t number = (pid << 24) | (geoState.tempCounter++ & 0xFFFFFFu);
    char name[kLogPathMax + 64];
    const int len = std::snprintf(name, sizeof name, "%s/%llx%s", geoState.workDir,
                                  static_cast<unsigned long long>(number), suffix);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof name) return -20;
    if (static_cast<std::size_t>(len) >= outSize) return -20;
    const int fd = ::open(name, O_CREAT | O_EXCL | O_WRONLY, 0666);
    if (fd >= 0) {
      ::close(fd);
      std::memcpy(out, name, static_cast<std::size_t>(len) + 1);
      return 1;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}

void geoRandSeed(unsigned int seed) { geoState.randState = seed % kRandModulus; }

double geoRandNext() {
  // The state stays below the modulus, so the product fits in 32 bits.
  geoState.randState = (kRandMultiplier * geoState.randState + kRandIncrement) % kRandModulus;
  return static_cast<double>(geoState.randState) / static_cast<double>(kRandModulus);
}

int* geoSwapInt(int* a, int* b) {
  const int t = *a;
  *a = *b;
  *b = t;
  return a;
}

void geoSwapBytes(void* a, void* b, std::size_t n) {
  if (a == b) return;
  unsigned char* pa = static_cast<unsigned char*>(a);
  unsigned char* pb = static_cast<unsigned char*>(b);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char t = pa[i];
    pa[i] = pb[i];
    pb[i] = t;
  }
}

void geoReverseArray(void* first, void* end, std::size_t size) {
  if (first == nullptr || end == nullptr || size == 0) return;
  unsigned char* lo = static_cast<unsigned char*>(first);
  unsigned char* hi = static_cast<unsigned char*>(end);
  if (hi <= lo) return;
  hi -= size;
  while (lo < hi) {
    geoSwapBytes(lo, hi, size);
    lo += size;
    hi -= size;
  }
}

void geoRotateArray(void* a, void* b, void* c, std::size_t size) {
  geoReverseArray(a, b, size);
  geoReverseArray(b, c, size);
  geoReverseArray(a, c, size);
}
