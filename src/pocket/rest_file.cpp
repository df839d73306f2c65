// rest_file.cpp - writing and reading the rest information file. Lines are read whole (any length,
// LF or CR LF endings), so no piece of a long line is ever taken for a statement of its own.
#include "pocket/rest_file.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pocket/ccp_params.h"
#include "pocket/engine_state.h"
#include "pocket/pock_scale.h"

namespace {

// A std::FILE closed on every return.
struct RifFile {
  RifFile(const char* name, const char* mode) : f(std::fopen(name, mode)) {}
  ~RifFile() {
    if (f != nullptr) std::fclose(f);
  }
  RifFile(const RifFile&) = delete;
  RifFile& operator=(const RifFile&) = delete;
  std::FILE* f;
};

bool isLayerName(const char* name) { return layerIndexOfName(name) >= 0; }

// Reads one whole line without its LF and a CR before it. False at the end of the file with
// nothing read.
bool readLine(std::FILE* f, std::string* line) {
  line->clear();
  int ch = 0;
  bool any = false;
  while ((ch = std::fgetc(f)) != EOF) {
    any = true;
    if (ch == '\n') break;
    line->push_back(static_cast<char>(ch));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

int badLine() {
  pockMessage(kRifCodeBadLine);
  return -1;
}

}  // namespace

int rifNumberAfter(char letter, const char* line, double* out) {
  if (line == nullptr) return -1;
  const char* at = std::strchr(line, letter);
  if (at == nullptr || letter == '\0') return -1;
  const char next = at[1];
  if (!(std::isdigit(static_cast<unsigned char>(next)) != 0 || next == '-' || next == ' ' ||
        next == '\t')) {
    return -1;
  }
  char* end = nullptr;
  const double v = std::strtod(at + 1, &end);
  if (end == at + 1 || !std::isfinite(v)) return -1;
  if (out != nullptr) *out = v;
  return static_cast<int>(at - line);
}

int rifWriteRadius(double radius) {
  const PocketCfgRecord& cfg = pockCfg();
  if (cfg.genRif == 0) return 0;
  if (isLayerName(cfg.rifName)) return 1;
  RifFile file(cfg.rifName, "w");
  if (file.f == nullptr) {
    pockMessage(kRifCodeCannotWrite);
    return -1;
  }
  unscaleValue(&radius);
  std::fprintf(file.f, "G191 R%.4lf\n", radius);
  return 1;
}

int rifWriteContour(const ContourElement* elements, int n, const ContourHeader* header) {
  const PocketCfgRecord& cfg = pockCfg();
  if (cfg.genRif == 0) return 0;
  if (isLayerName(cfg.rifName)) {
    ContourHeader h{};
    if (header != nullptr) h = *header;
    h.count = n > 0 ? n : 0;
    h.elements = nullptr;
    return layerInsertContour(cfg.rifName, elements, &h, -1) != 0 ? 1 : -1;
  }
  RifFile file(cfg.rifName, "a");
  if (file.f == nullptr) return -1;
  if (elements == nullptr || n <= 0) return 0;
  // Written from a copy: scaling down and back would leave rounding in the caller's buffer.
  std::vector<ContourElement> copy;
  try {
    copy.assign(elements, elements + n);
  } catch (const std::bad_alloc&) {
    pockMessage(kPockCodeNoMemory);
    return -1;
  }
  unscaleContour(copy.data(), n);
  const Point2D s = contElemStart(copy[0]);
  std::fprintf(file.f, "G41 X%.4lf Y%.4lf\n", s.x, s.y);
  for (const ContourElement& e : copy) {
    const Point2D end = contElemEnd(e);
    if (e.type == kContArc) {
      std::fprintf(file.f, "G%d X%.4lf Y%.4lf I%.4lf J%.4lf\n", e.dir == 1 ? 3 : 2, end.x, end.y,
                   e.p0, e.p1);
    } else {
      std::fprintf(file.f, "G1 X%.4lf Y%.4lf\n", end.x, end.y);
    }
  }
  std::fprintf(file.f, "G40\n");
  return 1;
}

int rifRead(const char* layer, double* radius) {
  const PocketCfgRecord& cfg = pockCfg();
  if (cfg.evalRif == 0) return 0;
  RifFile file(cfg.rifName, "rb");
  if (file.f == nullptr) {
    pockMessage(kRifCodeCannotOpen);
    return -1;
  }
  int result = 0;
  int ordinal = 0;
  bool open = false;
  Point2D at{0.0, 0.0};
  double readRadius = 0.0;
  std::vector<ContourElement> work;
  std::string line;
  while (readLine(file.f, &line)) {
    const char* text = line.c_str();
    const char* g = std::strchr(text, 'G');
    if (g == nullptr || std::isdigit(static_cast<unsigned char>(g[1])) == 0) continue;
    const long code = std::strtol(g + 1, nullptr, 10);
    const auto need = [text](char letter, double* v) {
      return rifNumberAfter(letter, text, v) >= 0;
    };
    double x = 0.0;
    double y = 0.0;
    double i = 0.0;
    double j = 0.0;
    if (code == 41 || code == 42) {
      if (!need('X', &x) || !need('Y', &y)) return badLine();
      at = Point2D{x, y};
      work.clear();
      open = true;
    } else if (code == 1 || code == 2 || code == 3) {
      if (!open || !need('X', &x) || !need('Y', &y)) return badLine();
      if (code != 1 && (!need('I', &i) || !need('J', &j))) return badLine();
      if (work.size() >= static_cast<std::size_t>(kRifMaxElements)) {
        pockMessage(kPockCodeTooManyElements);
        return -1;
      }
      ContourElement e = code == 1 ? contMakeLine(at.x, at.y, x, y, 0)
                                   : contMakeArc(i, j, at.x, at.y, x, y, std::hypot(x - i, y - j),
                                                 code == 3 ? 1 : -1, 0);
      try {
        work.push_back(e);
      } catch (const std::bad_alloc&) {
        pockMessage(kPockCodeNoMemory);
        return -1;
      }
      at = Point2D{x, y};
    } else if (code == 40) {
      if (!open) return badLine();
      open = false;
      ContourHeader h{};
      h.group = static_cast<std::int16_t>(ordinal);
      h.count = static_cast<std::int32_t>(work.size());
      ++ordinal;
      if (layer != nullptr) {
        scaleContour(work.data(), h.count);
        if (layerInsertContour(layer, work.data(), &h, -1) == 0) return badLine();
      }
      work.clear();
    } else if (code == 191 || code == 192) {
      double v = 0.0;
      if (need('R', &v)) readRadius = v;
      result = code == 191 ? 1 : 2;
    }
  }
  if (layer != nullptr) scaleValue(&readRadius);
  if (radius != nullptr && result != 0) *radius = readRadius;
  return result;
}
