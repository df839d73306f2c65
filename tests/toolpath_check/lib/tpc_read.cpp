// tpc_read.cpp - the checker's own readers: the move lines of layer 31 and the records of layer 0
// of POF text, and STL meshes (binary or text). Written from the formats, not from the library
// under test, so a reader fault there shows up as a disagreement here.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string_view>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// An arc's end may lie this far off the circle through its start (numbers carry 6 to 8
// decimals); farther is a fault of the arc.
constexpr double kArcRadiusTol = 1e-4;

Status fail(const std::string& label, long line, const std::string& what) {
  Status s;
  s.ok = false;
  s.message = label;
  if (line > 0) {
    s.message += ':';
    s.message += std::to_string(line);
  }
  s.message += ": ";
  s.message += what;
  return s;
}

// Parses a whole field as a "C"-locale number (a leading '+' allowed); false when it is not one.
bool parseNumber(std::string_view text, double& out) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto r = std::from_chars(text.data(), end, out);
  return r.ec == std::errc() && r.ptr == end;
}

bool readWholeFile(const std::string& file, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  out = ss.str();
  return true;
}

// One coordinate field "a[start/end/centre]" of a move line; missing parts are NaN and flagged.
struct Field {
  bool given = false;
  bool hasStart = false, hasCentre = false;
  double start = kNaN, end = kNaN, centre = kNaN;
};

// The fields of one move line: x y z u v w and the arc turn.
struct MoveFields {
  Field axis[6];
  int turn = 0;
  bool nonFinite = false;
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Parses "( x[/1] y[/2] o[-] ... )" after the move keyword and its number; "" or a complaint.
std::string parseMoveBody(std::string_view body, MoveFields& mf) {
  body = trimmed(body);
  if (body.empty() || body.front() != '(' || body.back() != ')') return "move without its ( )";
  body = body.substr(1, body.size() - 2);
  static constexpr char kAxes[] = "xyzuvw";
  std::size_t i = 0;
  while (i < body.size()) {
    if (body[i] == ' ' || body[i] == '\t') {
      ++i;
      continue;
    }
    const char letter = body[i];
    if (i + 1 >= body.size() || body[i + 1] != '[')
      return std::string("field '") + letter + "' without [ ]";
    const std::size_t close = body.find(']', i + 2);
    if (close == std::string_view::npos) return std::string("field '") + letter + "' without ]";
    const std::string_view inside = body.substr(i + 2, close - i - 2);
    i = close + 1;
    if (letter == 'o') {
      if (inside == "+") {
        mf.turn = 1;
      } else if (inside == "-") {
        mf.turn = -1;
      } else {
        return "arc turn '" + std::string(inside) + "' is neither + nor -";
      }
      continue;
    }
    const char* at = std::strchr(kAxes, letter);
    if (at == nullptr || letter == '\0') return std::string("unknown field '") + letter + "'";
    Field& f = mf.axis[at - kAxes];
    if (f.given) return std::string("field '") + letter + "' twice";
    f.given = true;
    std::string_view parts[3];
    int n = 0;
    std::size_t from = 0;
    while (true) {
      const std::size_t slash = inside.find('/', from);
      if (n == 3) return std::string("field '") + letter + "' has more than three parts";
      parts[n++] = inside.substr(
          from, slash == std::string_view::npos ? std::string_view::npos : slash - from);
      if (slash == std::string_view::npos) break;
      from = slash + 1;
    }
    std::string_view startText, endText = parts[0], centreText;
    if (n >= 2) {
      startText = parts[0];
      endText = parts[1];
    }
    if (n == 3) centreText = parts[2];
    auto number = [&](std::string_view t, double& v) -> bool {
      if (!parseNumber(t, v)) return false;
      if (!std::isfinite(v)) mf.nonFinite = true;
      return true;
    };
    if (!startText.empty()) {
      if (!number(startText, f.start)) return "bad number '" + std::string(startText) + "'";
      f.hasStart = true;
    }
    if (!number(endText, f.end)) return "bad number '" + std::string(endText) + "'";
    if (n == 3) {
      if (!number(centreText, f.centre)) return "bad number '" + std::string(centreText) + "'";
      f.hasCentre = true;
    }
  }
  return std::string();
}

bool finite3(const double p[3]) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

}  // namespace

Status readPofText(Path& path, const std::string& text, const Tool& tool,
                   const std::string& label) {
  if (!(tool.radius > 0) || !std::isfinite(tool.radius) || !(tool.corner >= 0) ||
      !(tool.corner <= tool.radius) || !std::isfinite(tool.refAboveTip)) {
    return fail(label, 0, "tool needs 0 < R, 0 <= corner <= R and a finite reference");
  }
  const int passIndex = static_cast<int>(path.passes.size());
  Pass pass;
  pass.source = label;
  pass.tool = tool;
  std::vector<Move> moves;
  double pos[3] = {kNaN, kNaN, kNaN};  // programmed point; NaN: not known yet
  std::string_view all(text);
  std::string_view lastLine;
  long lineNo = 0;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t nl = all.find('\n', at);
    if (nl == std::string_view::npos) nl = all.size();
    const std::string_view raw = all.substr(at, nl - at);
    at = nl + 1;
    ++lineNo;
    const std::string_view line = trimmed(raw);
    if (line.empty()) continue;
    lastLine = line;
    std::size_t k = 0;
    long layer = 0;
    while (k < line.size() && k < 6 && line[k] >= '0' && line[k] <= '9')
      layer = layer * 10 + (line[k++] - '0');
    if (k == 0 || k >= line.size() || line[k] != ':') return fail(label, lineNo, "no layer number");
    const std::string_view body = trimmed(line.substr(k + 1));
    if (layer == 0) {
      const std::size_t open = body.find('(');
      if (open == std::string_view::npos || body.back() != ')')
        return fail(label, lineNo, "layer-0 record without ( )");
      const std::string name(body.substr(0, open));
      if (name == "error") {
        pass.errors.push_back(
            {name, std::string(body.substr(open + 1, body.size() - open - 2)), lineNo});
      }
      continue;
    }
    if (layer != 31) continue;
    // The move keyword and its optional number.
    std::string_view kw;
    for (std::string_view cand : {"oPos", "oM", "oL", "oA"}) {
      if (body.substr(0, cand.size()) == cand) {
        kw = cand;
        break;
      }
    }
    if (kw.empty()) continue;  // contours, values and comments of the layer
    std::string_view rest = body.substr(kw.size());
    if (!rest.empty() && rest.front() == '[') {
      const std::size_t close = rest.find(']');
      if (close == std::string_view::npos) return fail(label, lineNo, "move number without ]");
      for (std::size_t d = 1; d < close; ++d) {
        if (rest[d] < '0' || rest[d] > '9') return fail(label, lineNo, "bad move number");
      }
      rest = rest.substr(close + 1);
    }
    MoveFields mf;
    const std::string why = parseMoveBody(rest, mf);
    if (!why.empty()) return fail(label, lineNo, why);
    const bool arc = kw == "oA";
    if (arc) {
      if (mf.turn == 0 || !mf.axis[0].hasCentre || !mf.axis[1].hasCentre) {
        return fail(label, lineNo, "arc needs o[+] or o[-] and x, y with end and centre");
      }
    } else if (mf.turn != 0) {
      return fail(label, lineNo, "turn o[..] on a straight move");
    }
    for (int a = 0; a < 3; ++a) {
      if (!arc && mf.axis[a].hasCentre) return fail(label, lineNo, "centre on a straight move");
    }
    if (mf.nonFinite) pass.nonFiniteLines.push_back(lineNo);
    double from[3], to[3];
    for (int a = 0; a < 3; ++a) {
      from[a] = mf.axis[a].hasStart ? mf.axis[a].start : pos[a];
      to[a] = mf.axis[a].given ? mf.axis[a].end : from[a];
    }
    Move m;
    m.kind = (kw == "oM" || kw == "oPos") ? MoveKind::Rapid : MoveKind::Feed;
    m.pass = passIndex;
    m.line = lineNo;
    m.to = {to[0], to[1], to[2] - tool.refAboveTip};
    if (finite3(from) && finite3(to)) {
      m.from = {from[0], from[1], from[2] - tool.refAboveTip};
      if (arc) {
        m.turn = mf.turn;
        m.cx = mf.axis[0].centre;
        m.cy = mf.axis[1].centre;
        const double r0 = std::hypot(from[0] - m.cx, from[1] - m.cy);
        const double r1 = std::hypot(to[0] - m.cx, to[1] - m.cy);
        if (!std::isfinite(m.cx) || !std::isfinite(m.cy) || !(r0 > 1e-9) ||
            std::fabs(r0 - r1) > kArcRadiusTol) {
          pass.badArcLines.push_back(lineNo);
          if (!std::isfinite(m.cx) || !std::isfinite(m.cy)) m.turn = 0;
        }
      }
      moves.push_back(m);
    } else if (finite3(to)) {
      // The first fully known position: a move of no length, so that checks see the point.
      m.from = m.to;
      moves.push_back(m);
    }
    for (int a = 0; a < 3; ++a) pos[a] = std::isfinite(to[a]) ? to[a] : kNaN;
  }
  pass.endsWithCycleEnd =
      lastLine.substr(0, 2) == "0:" && trimmed(lastLine.substr(2)).substr(0, 9) == "cycleEnd(";
  path.passes.push_back(std::move(pass));
  path.moves.insert(path.moves.end(), moves.begin(), moves.end());
  return Status{};
}

Status readPof(Path& path, const std::string& file, const Tool& tool) {
  std::string text;
  if (!readWholeFile(file, text)) return fail(file, 0, "cannot read the file");
  return readPofText(path, text, tool, file);
}

Mesh makeMesh(std::vector<Triangle> triangles) {
  Mesh m;
  m.triangles = std::move(triangles);
  const double inf = std::numeric_limits<double>::infinity();
  m.lo = {inf, inf, inf};
  m.hi = {-inf, -inf, -inf};
  for (const Triangle& t : m.triangles) {
    for (const Vec3& v : t.v) {
      m.lo = {std::min(m.lo.x, v.x), std::min(m.lo.y, v.y), std::min(m.lo.z, v.z)};
      m.hi = {std::max(m.hi.x, v.x), std::max(m.hi.y, v.y), std::max(m.hi.z, v.z)};
    }
  }
  if (m.triangles.empty()) m.lo = m.hi = Vec3{};
  return m;
}

namespace {

std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float leFloat(const unsigned char* p) {
  const std::uint32_t bits = le32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Whitespace tokens of a text STL with their line numbers.
class StlTokens {
 public:
  explicit StlTokens(std::string_view text) : text_(text) {}
  bool next(std::string_view& tok) {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) return false;
    const std::size_t b = pos_;
    while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    tok = text_.substr(b, pos_ - b);
    return true;
  }
  void skipLine() {
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
  }
  long line() const { return line_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  long line_ = 1;
};

Status readStlText(const std::string& file, std::string_view text, std::vector<Triangle>& out) {
  StlTokens tk(text);
  std::string_view tok;
  auto expect = [&](std::string_view word) -> bool { return tk.next(tok) && tok == word; };
  auto number = [&](double& v) -> bool {
    return tk.next(tok) && parseNumber(tok, v) && std::isfinite(v);
  };
  bool sawSolid = false;
  while (tk.next(tok)) {
    if (tok == "solid" || tok == "endsolid") {
      sawSolid = true;
      tk.skipLine();  // the solid's name
      continue;
    }
    if (!sawSolid)
      return fail(file, tk.line(), "neither a binary STL nor a text STL beginning with \"solid\"");
    if (tok != "facet") return fail(file, tk.line(), "unexpected '" + std::string(tok) + "'");
    double v;
    if (!expect("normal")) return fail(file, tk.line(), "facet without normal");
    for (int i = 0; i < 3; ++i) {
      if (!number(v)) return fail(file, tk.line(), "bad normal");
    }
    if (!expect("outer") || !expect("loop"))
      return fail(file, tk.line(), "facet without outer loop");
    Triangle t;
    for (Vec3& p : t.v) {
      if (!expect("vertex") || !number(p.x) || !number(p.y) || !number(p.z)) {
        return fail(file, tk.line(), "bad vertex");
      }
    }
    if (!expect("endloop") || !expect("endfacet"))
      return fail(file, tk.line(), "facet without endloop endfacet");
    out.push_back(t);
  }
  return Status{};
}

}  // namespace

Status readStl(const std::string& file, Mesh& mesh) {
  std::string bytes;
  if (!readWholeFile(file, bytes)) return fail(file, 0, "cannot read the file");
  std::vector<Triangle> tris;
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::uint64_t size = bytes.size();
  const bool binary = size >= 84 && size == 84 + 50 * static_cast<std::uint64_t>(le32(u + 80));
  if (binary) {
    const std::uint32_t count = le32(u + 80);
    tris.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const unsigned char* f = u + 84 + 50 * static_cast<std::uint64_t>(i) + 12;
      Triangle t;
      for (int k = 0; k < 3; ++k) {
        t.v[k] = {leFloat(f + 12 * k), leFloat(f + 12 * k + 4), leFloat(f + 12 * k + 8)};
        if (!std::isfinite(t.v[k].x) || !std::isfinite(t.v[k].y) || !std::isfinite(t.v[k].z)) {
          return fail(file, 0, "facet " + std::to_string(i) + " has a non-finite vertex");
        }
      }
      tris.push_back(t);
    }
  } else {
    Status s = readStlText(file, bytes, tris);
    if (!s) return s;
  }
  if (tris.empty()) return fail(file, 0, "no facets");
  mesh = makeMesh(std::move(tris));
  return Status{};
}

}  // namespace tpc
