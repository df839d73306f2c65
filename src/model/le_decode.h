// le_decode.h - little-endian decoding and encoding of the fields of binary files. The STL and
// facet file readers and the Z-path file take every number from bytes and put it into bytes
// through these, whatever the host's byte order, and never lay a file record over a struct.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

inline std::uint16_t leU16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t leU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t leU64(const unsigned char* p) {
  return static_cast<std::uint64_t>(leU32(p)) | (static_cast<std::uint64_t>(leU32(p + 4)) << 32);
}

inline std::int16_t leI16(const unsigned char* p) { return static_cast<std::int16_t>(leU16(p)); }
inline std::int32_t leI32(const unsigned char* p) { return static_cast<std::int32_t>(leU32(p)); }
inline float leF32(const unsigned char* p) { return std::bit_cast<float>(leU32(p)); }
inline double leF64(const unsigned char* p) { return std::bit_cast<double>(leU64(p)); }

inline void lePutU32(unsigned char* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}
inline void lePutU64(unsigned char* p, std::uint64_t v) {
  lePutU32(p, static_cast<std::uint32_t>(v));
  lePutU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void lePutI32(unsigned char* p, std::int32_t v) {
  lePutU32(p, static_cast<std::uint32_t>(v));
}
inline void lePutF32(unsigned char* p, float v) { lePutU32(p, std::bit_cast<std::uint32_t>(v)); }
inline void lePutF64(unsigned char* p, double v) { lePutU64(p, std::bit_cast<std::uint64_t>(v)); }
