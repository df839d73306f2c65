// geo_files.cpp - file copy and existence, and unique temporary files in the work directory: the
// creation itself (exclusive, through the platform layer) is the uniqueness test.
#include "geometry/geo_files.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "framework/platform.h"
#include "geometry/geo_error.h"

namespace {
constexpr int kTempAttempts = 200;

struct GeoFilesState {
  std::uint32_t tempCounter = 0;
};
GeoFilesState filesState;
}  // namespace

void geoFilesResetState() { filesState = GeoFilesState{}; }

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
  const std::uint64_t pid = static_cast<std::uint64_t>(platProcessId());
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::uint64_t number = (pid << 24) | (filesState.tempCounter++ & 0xFFFFFFu);
    char name[kGeoWorkDirMax + 64];
    const int len = std::snprintf(name, sizeof name, "%s/%llx%s", geoWorkDir(),
                                  static_cast<unsigned long long>(number), suffix);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof name) return -20;
    if (static_cast<std::size_t>(len) >= outSize) return -20;
    const int created = platCreateNewFile(name);
    if (created == 1) {
      std::memcpy(out, name, static_cast<std::size_t>(len) + 1);
      return 1;
    }
    if (created < 0) return 0;
  }
  return 0;
}
