// geo_error.cpp - the process-wide error record of the geometry code, its debug switch and log,
// the work directory of the log and the temporary files, and the in-place array functions.
#include "geometry/geo_error.h"

#include <cstring>

namespace {
constexpr const char* kEmptyText = "EMPTY";
constexpr const char* kLogName = "/wogerrno.txt";
constexpr const char* kDebugSwitchFile = "wogdebug.info";
constexpr std::size_t kLogPathMax =
    kGeoWorkDirMax;  // work directory plus "/wogerrno.txt" and its zero

struct GeoState {
  GeoErrorRecord record{"EMPTY", 0, 0};
  bool debugUndecided = true;
  int debugOn = 0;
  char workDir[kLogPathMax] = "./";
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
