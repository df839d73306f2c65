// facet_file.cpp - reading binary facet files of versions 1 and 2 field by field, little-endian,
// with the header's record count trusted only as far as the file size can hold it.
#include "model/facet_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "framework/platform.h"
#include "model/le_decode.h"

namespace {

// One open file per version: the file routines hand out the handle 1 and refuse a second file.
struct FacetFileState {
  std::FILE* v1 = nullptr;
  std::FILE* v2 = nullptr;
};
FacetFileState facetState;

int facetOpenSlot(std::FILE** slot, const char* path, int mode) {
  if (*slot != nullptr) return -3;
  if (mode != 1) return -1;
  if (path == nullptr) return -2;
  *slot = std::fopen(path, "rb");
  return *slot != nullptr ? 1 : -2;
}

int facetReadSlot(std::FILE* slot, int handle, unsigned char* buffer, std::size_t n,
                  int shortRead) {
  if (handle != 1) return -3;
  if (slot == nullptr || buffer == nullptr) return -1;
  return std::fread(buffer, 1, n, slot) == n ? 0 : shortRead;
}

int facetCloseSlot(std::FILE** slot, int handle) {
  if (handle != 1 || *slot == nullptr) return -1;
  std::fclose(*slot);
  *slot = nullptr;
  return 0;
}

// Size of an open file in bytes; -1 when it cannot be told (the position is put back to 0).
long long facetFileSize(std::FILE* f) {
  std::int64_t size = 0;
  return platFileSize(f, &size) == 1 ? static_cast<long long>(size) : -1;
}

int facetBeginFail(FacetFileInfo* info, int code, const char* why) {
  info->why = why;
  return code;
}

}  // namespace

int facetFileVersion(const char* path, double* version) {
  if (path == nullptr || version == nullptr) return -1;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return -1;
  unsigned char word[4];
  const std::size_t n = std::fread(word, 1, sizeof word, f);
  std::fclose(f);
  if (n != sizeof word) return -2;
  *version = static_cast<double>(leF32(word));
  return 1;
}

int facetFileOpen(const char* path, int mode) { return facetOpenSlot(&facetState.v1, path, mode); }

int facetFileReadHeader(int handle, unsigned char* buffer) {
  return facetReadSlot(facetState.v1, handle, buffer, kFacetHeaderBytes, -2);
}

int facetFileReadRecord(int handle, unsigned char* buffer) {
  return facetReadSlot(facetState.v1, handle, buffer, kFacetRecordBytes, -2);
}

int facetFileClose(int handle) { return facetCloseSlot(&facetState.v1, handle); }

int facetFile2Open(const char* path, int mode) { return facetOpenSlot(&facetState.v2, path, mode); }

int facetFile2ReadHeader(int handle, unsigned char* buffer) {
  return facetReadSlot(facetState.v2, handle, buffer, kFacet2HeaderBytes, -1);
}

int facetFile2ReadRecord(int handle, unsigned char* buffer) {
  return facetReadSlot(facetState.v2, handle, buffer, kFacetRecordBytes, -2);
}

int facetFile2Close(int handle) { return facetCloseSlot(&facetState.v2, handle); }

int facetFile2Group(int flags) {
  const int group = flags & 7;
  return group == 7 ? -1 : group;
}

void facetDecodeRecord(const unsigned char* bytes, QuadFacet* facet) {
  facet->flags = leI16(bytes);
  for (int k = 0; k < 4; ++k) {
    const unsigned char* c = bytes + 2 + 24 * k;
    modelSetQuadCorner(facet, k, Point3D{leF64(c), leF64(c + 8), leF64(c + 16)});
  }
}

int facetFileBegin(const char* path, FacetFileInfo* info) {
  if (info == nullptr) return -2;
  std::memset(info, 0, sizeof *info);
  if (path == nullptr || path[0] == '\0') return facetBeginFail(info, -2, "no file name");
  double word = 0.0;
  if (facetFileVersion(path, &word) != 1) {
    return facetBeginFail(info, -2, "cannot read the version word");
  }
  // The version is the word truncated toward zero; a word that is not a number is no version.
  if (!(word >= 1.0 && word < 3.0)) return facetBeginFail(info, -4, "unknown version");
  info->version = static_cast<int>(word);
  const bool v2 = info->version == 2;
  const int opened = v2 ? facetFile2Open(path, 1) : facetFileOpen(path, 1);
  if (opened != 1) {
    info->version = 0;  // nothing of ours is open: facetFileEnd must not close another's file
    if (opened == -3) return facetBeginFail(info, -4, "another facet file is open");
    return facetBeginFail(info, -2, "cannot open the file");
  }
  std::FILE* f = v2 ? facetState.v2 : facetState.v1;
  const long long size = facetFileSize(f);
  unsigned char header[kFacet2HeaderBytes];
  const int got = v2 ? facetFile2ReadHeader(1, header) : facetFileReadHeader(1, header);
  const int headerBytes = v2 ? kFacet2HeaderBytes : kFacetHeaderBytes;
  const char* why = nullptr;
  if (got != 0 || size < headerBytes) {
    why = "header cut short";
  } else {
    info->count = leI32(header + kFacetCountOffset);
    const long long room = (size - headerBytes) / kFacetRecordBytes;
    if (info->count <= 0 || info->count > room) why = "record count does not match the file";
  }
  if (why != nullptr) {
    facetFileEnd(info);
    info->version = 0;
    return facetBeginFail(info, -4, why);
  }
  if (v2) {
    for (int k = 0; k < kFacetGroupCount; ++k) {
      const unsigned char* g = header + kFacetGroupOffset + kFacetGroupBytes * k;
      FacetGroup& group = info->groups[k];
      group.count = leI32(g);
      std::memcpy(group.name, g + 4, sizeof group.name);
      group.name[sizeof group.name - 1] = '\0';
      group.allowance = leF64(g + 140);
    }
  }
  return 0;
}

int facetFileNext(FacetFileInfo* info, QuadFacet* facet) {
  unsigned char record[kFacetRecordBytes];
  const int got =
      info->version == 2 ? facetFile2ReadRecord(1, record) : facetFileReadRecord(1, record);
  if (got != 0) {
    info->why = "record cut short";
    return -4;
  }
  facetDecodeRecord(record, facet);
  for (int k = 0; k < 4; ++k) {
    const Point3D c = modelQuadCorner(*facet, k);
    if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) {
      info->why = "coordinate is not a finite number";
      return -4;
    }
  }
  return 1;
}

void facetFileEnd(const FacetFileInfo* info) {
  if (info == nullptr) return;
  if (info->version == 2) facetFile2Close(1);
  if (info->version == 1) facetFileClose(1);
}

void facetFileResetState() {
  facetFileClose(1);
  facetFile2Close(1);
}
