// stl_file.cpp - reading STL files, text or binary, into triangles of doubles in file
// coordinates. Binary fields are decoded from bytes; text lines are read whole, whatever their
// length, and numbers are parsed as in the "C" locale.
#include "model/stl_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "framework/memory.h"
#include "framework/platform.h"
#include "model/le_decode.h"

namespace {

constexpr int kStlSniffBytes = 1024;
constexpr int kStlChunkRecords = 4096;

// Closes the file on every path out of the reader.
struct StlFile {
  std::FILE* f;
  explicit StlFile(const char* path) : f(std::fopen(path, "rb")) {}
  ~StlFile() {
    if (f != nullptr) std::fclose(f);
  }
  StlFile(const StlFile&) = delete;
  StlFile& operator=(const StlFile&) = delete;
};

// Frees a scratch buffer on every path out of the binary reader.
struct StlChunk {
  unsigned char* p;
  explicit StlChunk(unsigned char* block) : p(block) {}
  ~StlChunk() { memFree(p); }
  StlChunk(const StlChunk&) = delete;
  StlChunk& operator=(const StlChunk&) = delete;
};

int stlFail(Tri3List* list, Tri3List** out, const char** why, int code, const char* text) {
  lstBox3Free(list);
  *out = nullptr;
  if (why != nullptr) *why = text;
  return code;
}

long long stlFileSize(std::FILE* f) {
  std::int64_t size = 0;
  return platFileSize(f, &size) == 1 ? static_cast<long long>(size) : -1;
}

bool stlFinite(const Tri3D& t) {
  for (const Point3D& p : t.v) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

// A new list with room for the capacity hint (bounded by what the file can hold).
Tri3List* stlNewList(long long capacity) {
  if (capacity > INT_MAX / 2) return nullptr;
  return lstTri3New(static_cast<int>(capacity < 2 ? 2 : capacity));
}

std::uint32_t stlSwap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

void stlDecode(const unsigned char* record, bool swap, Tri3D* tri) {
  for (int k = 0; k < 9; ++k) {
    std::uint32_t bits = leU32(record + 12 + 4 * k);
    if (swap) bits = stlSwap32(bits);
    const double v = static_cast<double>(std::bit_cast<float>(bits));
    Point3D& p = tri->v[k / 3];
    (k % 3 == 0 ? p.x : (k % 3 == 1 ? p.y : p.z)) = v;
  }
}

bool stlBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// The next blank-separated word from *pos on; empty when there is none.
std::string_view stlWord(std::string_view line, std::size_t* pos) {
  std::size_t i = *pos;
  while (i < line.size() && stlBlank(line[i])) ++i;
  const std::size_t start = i;
  while (i < line.size() && !stlBlank(line[i])) ++i;
  *pos = i;
  return line.substr(start, i - start);
}

// A number as "%lf" reads it: blanks, an optional sign, then the longest decimal prefix.
bool stlNumber(std::string_view line, std::size_t* pos, double* value) {
  std::size_t i = *pos;
  while (i < line.size() && stlBlank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
    negative = line[i] == '-';
    ++i;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) return false;
  }
  const char* first = line.data() + i;
  const char* last = line.data() + line.size();
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || end == first) return false;
  *value = negative ? -v : v;
  *pos = static_cast<std::size_t>(end - line.data());
  return true;
}

bool stlEqualsNoCase(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word[i])) != keyword[i]) return false;
  }
  return true;
}

// Binary: the facet count at offset 80 (little- or big-endian) is the number of whole records
// the file holds, or one more when the last record is cut short. A text file has letters there,
// a count of hundreds of millions, which no file of its size can meet.
bool stlLooksBinary(const unsigned char* head, std::size_t n, long long size) {
  if (n < static_cast<std::size_t>(kStlHeaderBytes) || size < kStlHeaderBytes) return false;
  const long long body = size - kStlHeaderBytes;
  const long long whole = body / kStlRecordBytes;
  const long long started = whole + (body % kStlRecordBytes != 0 ? 1 : 0);
  const std::uint32_t le = leU32(head + 80);
  for (const long long count :
       {static_cast<long long>(le), static_cast<long long>(stlSwap32(le))}) {
    if (count == whole || count == started) return true;
  }
  return false;
}

// Text: after an optional UTF-8 byte-order mark and blanks or line ends the file begins with the
// keyword "solid" in any case, and no NUL byte occurs in what was read (binary data has them).
bool stlLooksText(const unsigned char* head, std::size_t n) {
  if (std::memchr(head, '\0', n) != nullptr) return false;
  std::size_t i = 0;
  if (n >= 3 && head[0] == 0xef && head[1] == 0xbb && head[2] == 0xbf) i = 3;
  while (i < n && (stlBlank(static_cast<char>(head[i])) || head[i] == '\r' || head[i] == '\n')) ++i;
  if (n - i < 5) return false;
  return stlEqualsNoCase(std::string_view(reinterpret_cast<const char*>(head + i), 5), "solid");
}

// 1 binary, 0 text, -1 neither, from the first n bytes and the size of the file.
int stlKindOf(const unsigned char* head, std::size_t n, long long size) {
  if (stlLooksBinary(head, n, size)) return 1;
  return stlLooksText(head, n) ? 0 : -1;
}

}  // namespace

int stlIsBinary(const char* path) {
  StlFile file(path);
  if (file.f == nullptr) return 0;
  unsigned char head[kStlSniffBytes];
  const std::size_t n = std::fread(head, 1, sizeof head, file.f);
  return stlKindOf(head, n, stlFileSize(file.f));
}

int stlNeedsSwap(const unsigned char* record) {
  const double n[3] = {leF32(record), leF32(record + 4), leF32(record + 8)};
  double squared = 0.0;
  for (double c : n) {
    if (std::fabs(c) > 2.0) return 1;
    squared += c * c;
  }
  return squared > 2.0 ? 1 : 0;
}

void stlReadSwappedRecord(const unsigned char* record, Tri3D* tri) { stlDecode(record, true, tri); }

int stlReadBinary(std::FILE* f, long long size, Tri3List** out, const char** why) {
  *out = nullptr;
  if (size < kStlHeaderBytes || std::fseek(f, kStlHeaderBytes, SEEK_SET) != 0) {
    return stlFail(nullptr, out, why, -2, "binary STL shorter than its 84-byte header");
  }
  const long long records = (size - kStlHeaderBytes) / kStlRecordBytes;
  Tri3List* list = stlNewList(records);
  if (list == nullptr) return stlFail(nullptr, out, why, -1, "no memory for the facets");
  // Room for the records the file holds, up to one chunk; not cleared: fread fills what is used.
  const std::size_t chunkBytes =
      static_cast<std::size_t>(std::clamp<long long>(records, 1, kStlChunkRecords)) *
      kStlRecordBytes;
  StlChunk chunk(static_cast<unsigned char*>(memRealloc(nullptr, chunkBytes)));
  if (chunk.p == nullptr) return stlFail(list, out, why, -1, "no memory for the facets");
  int swap = -1;  // decided from the first record
  for (;;) {
    const std::size_t got = std::fread(chunk.p, 1, chunkBytes, f);
    const std::size_t whole = got / kStlRecordBytes;  // a trailing partial record is ignored
    for (std::size_t r = 0; r < whole; ++r) {
      const unsigned char* rec = chunk.p + r * kStlRecordBytes;
      if (swap < 0) swap = stlNeedsSwap(rec);
      Tri3D tri;
      stlDecode(rec, swap == 1, &tri);
      if (!stlFinite(tri)) {
        return stlFail(list, out, why, -2, "coordinate is not a finite number");
      }
      if (lstTri3Append(list, tri) < 0) {
        return stlFail(list, out, why, -1, "no memory for the facets");
      }
    }
    if (got < chunkBytes) break;
  }
  *out = list;
  return 1;
}

int stlReadLine(StlLineReader* reader, std::string* line) {
  line->clear();
  bool any = false;
  for (;;) {
    if (reader->pos == reader->len) {
      reader->len = std::fread(reader->buf, 1, sizeof reader->buf, reader->file);
      reader->pos = 0;
      if (reader->len == 0) return any ? 1 : 0;
    }
    any = true;
    const unsigned char* start = reader->buf + reader->pos;
    const std::size_t avail = reader->len - reader->pos;
    const auto* nl = static_cast<const unsigned char*>(std::memchr(start, '\n', avail));
    const std::size_t take = nl != nullptr ? static_cast<std::size_t>(nl - start) : avail;
    line->append(reinterpret_cast<const char*>(start), take);
    if (std::memchr(start, '\r', take) != nullptr) std::erase(*line, '\r');
    reader->pos += take;
    if (nl != nullptr) {
      ++reader->pos;
      return 1;
    }
  }
}

long long stlCountLines(std::FILE* f) {
  std::rewind(f);
  unsigned char buf[65536];
  long long lines = 0;
  unsigned char last = '\n';
  for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) {
    for (std::size_t i = 0; i < got; ++i) lines += buf[i] == '\n' ? 1 : 0;
    last = buf[got - 1];
  }
  std::rewind(f);
  return lines + (last != '\n' ? 1 : 0);
}

int stlReadFacet(StlLineReader* reader, std::string* line, Tri3D* tri) {
  if (stlReadLine(reader, line) == 0) return 0;  // outer loop
  for (Point3D& p : tri->v) {
    if (stlReadLine(reader, line) == 0) return 0;
    std::size_t pos = 0;
    if (stlWord(*line, &pos).empty() || !stlNumber(*line, &pos, &p.x) ||
        !stlNumber(*line, &pos, &p.y) || !stlNumber(*line, &pos, &p.z)) {
      return -1;
    }
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return -1;
  }
  if (stlReadLine(reader, line) == 0) return 0;   // end of loop
  return stlReadLine(reader, line) != 0 ? 1 : 0;  // end of facet
}

int stlReadAscii(std::FILE* f, Tri3List** out, const char** why) {
  *out = nullptr;
  Tri3List* list = stlNewList(stlCountLines(f) / 7);
  if (list == nullptr) return stlFail(nullptr, out, why, -1, "no memory for the facets");
  // The 64 KB buffer is filled before it is read: not cleared.
  auto* reader = static_cast<StlLineReader*>(memRealloc(nullptr, sizeof(StlLineReader)));
  if (reader == nullptr) return stlFail(list, out, why, -1, "no memory for the facets");
  reader->file = f;
  reader->pos = 0;
  reader->len = 0;
  int result = 1;
  const char* text = nullptr;
  try {
    std::string line;
    while (stlReadLine(reader, &line) != 0) {
      std::size_t pos = 0;
      const std::string_view word = stlWord(line, &pos);
      // A blank line is passed over: stopping there would drop every facet after it.
      // Keywords in any case: several exporters write "SOLID", "FACET", "VERTEX".
      if (word.empty() || stlEqualsNoCase(word, "solid")) continue;
      if (stlEqualsNoCase(word, "end")) {
        if (stlWord(line, &pos).empty()) break;
        continue;
      }
      if (!stlEqualsNoCase(word, "facet")) continue;
      Tri3D tri;
      const int r = stlReadFacet(reader, &line, &tri);
      if (r == 0) break;  // the file ended inside a facet: the facets before it stand
      if (r < 0) {
        result = -2;
        text = "bad vertex line in a text facet";
        break;
      }
      if (lstTri3Append(list, tri) < 0) {
        result = -1;
        text = "no memory for the facets";
        break;
      }
    }
  } catch (...) {
    result = -1;
    text = "no memory for a text line";
  }
  memFree(reader);
  if (result != 1) return stlFail(list, out, why, result, text);
  *out = list;
  return 1;
}

int stlReadFile(const char* path, Tri3List** out, const char** why) {
  if (out == nullptr) return -2;
  *out = nullptr;
  if (path == nullptr || path[0] == '\0') return stlFail(nullptr, out, why, -2, "no file name");
  StlFile file(path);
  if (file.f == nullptr) return stlFail(nullptr, out, why, -2, "cannot open the file");
  unsigned char head[kStlSniffBytes];
  const std::size_t n = std::fread(head, 1, sizeof head, file.f);
  const long long size = stlFileSize(file.f);
  if (size < 0) return stlFail(nullptr, out, why, -2, "cannot tell the file size");
  const int kind = stlKindOf(head, n, size);
  if (kind == 1) return stlReadBinary(file.f, size, out, why);
  if (kind == 0) return stlReadAscii(file.f, out, why);
  return stlFail(nullptr, out, why, -2,
                 "neither binary STL (the size does not fit the facet count at byte 80) nor text "
                 "STL (no \"solid\" at the start)");
}

Tri3List* stlRead(const char* path) {
  Tri3List* list = nullptr;
  return stlReadFile(path, &list, nullptr) == 1 ? list : nullptr;
}
