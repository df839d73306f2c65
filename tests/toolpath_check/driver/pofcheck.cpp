// pofcheck.cpp - command-line driver of the toolpath checker for example jobs: reads one or more
// POF files as one path and runs the checks its options ask for. Exit code 0 every check passed,
// 1 a check failed, 2 bad arguments or an unreadable file.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "toolpath_check.h"

namespace {

constexpr const char* kUsage =
    "usage: pofcheck [options] [--tool KIND] file.pof [[--tool KIND] file.pof ...]\n"
    "  --tool flat:R | ball:R | torus:R:r   cutter of the files that follow (default ball:3)\n"
    "  --ref H          the programmed point lies H above the tip (files that follow)\n"
    "  --stl FILE       the part: checks no gouge (G3: how far the part reaches into the tool\n"
    "                   grown by the allowance, in 3-D; the vertical drop is reported beside it),\n"
    "                   and with --stock links: rapids clear of the stock and, by the\n"
    "                   same 3-D measure, of the part\n"
    "  --origin X,Y,Z   the point of the part file where the POF's zero lies (default 0,0,0)\n"
    "  --allowance A    allowance on the part (default 0)\n"
    "  --tol T          tolerance of the gouge and link checks (default 0.001)\n"
    "  --stock Z[,x0,y0,x1,y1]  stock top Z over the box (default: the part's box)\n"
    "  --levels z1,z2,...       the levels the planar feed runs must cut\n"
    "  --forbid n1,n2,...       message numbers no layer-0 error record may carry\n"
    "Always runs the sanity check. Exit code 0 all passed, 1 a check failed, 2 bad arguments.\n";

bool parseNumbers(std::string_view text, std::vector<double>& out) {
  out.clear();
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view part = text.substr(0, comma);
    if (!part.empty() && part.front() == '+') part.remove_prefix(1);
    double v = 0;
    const char* end = part.data() + part.size();
    auto r = std::from_chars(part.data(), end, v);
    if (part.empty() || r.ec != std::errc() || r.ptr != end) return false;
    out.push_back(v);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool parseTool(std::string_view text, tpc::Tool& tool) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view kind = text.substr(0, colon);
  std::vector<double> v;
  std::string rest(text.substr(colon + 1));
  for (char& c : rest) {
    if (c == ':') c = ',';
  }
  if (!parseNumbers(rest, v)) return false;
  const double ref = tool.refAboveTip;
  if (kind == "flat" && v.size() == 1) {
    tool = tpc::Tool::flat(v[0]);
  } else if (kind == "ball" && v.size() == 1) {
    tool = tpc::Tool::ball(v[0]);
  } else if (kind == "torus" && v.size() == 2) {
    tool = tpc::Tool::torus(v[0], v[1]);
  } else {
    return false;
  }
  tool.refAboveTip = ref;
  return true;
}

int usage(const std::string& why) {
  std::fprintf(stderr, "pofcheck: %s\n%s", why.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tpc::Tool tool = tpc::Tool::ball(3);
  tpc::Path path;
  std::string stl;
  double allowance = 0, tol = 1e-3;
  tpc::Vec3 origin{0, 0, 0};
  bool haveStock = false, haveLevels = false;
  tpc::Stock stock;
  std::vector<double> levels, nums;
  std::vector<long> forbid;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.rfind("--", 0) == 0 && !hasValue) return usage(arg + " needs a value");
    if (arg == "--tool") {
      if (!parseTool(argv[++i], tool)) return usage(std::string("bad tool '") + argv[i] + "'");
    } else if (arg == "--ref") {
      if (!parseNumbers(argv[++i], nums) || nums.size() != 1) return usage("bad --ref");
      tool.refAboveTip = nums[0];
    } else if (arg == "--stl") {
      stl = argv[++i];
    } else if (arg == "--origin") {
      if (!parseNumbers(argv[++i], nums) || nums.size() != 3) return usage("bad --origin");
      origin = tpc::Vec3{nums[0], nums[1], nums[2]};
    } else if (arg == "--allowance") {
      if (!parseNumbers(argv[++i], nums) || nums.size() != 1) return usage("bad --allowance");
      allowance = nums[0];
    } else if (arg == "--tol") {
      if (!parseNumbers(argv[++i], nums) || nums.size() != 1) return usage("bad --tol");
      tol = nums[0];
    } else if (arg == "--stock") {
      if (!parseNumbers(argv[++i], nums) || (nums.size() != 1 && nums.size() != 5))
        return usage("bad --stock");
      stock.surface = nums[0];
      if (nums.size() == 5) {
        stock.x0 = nums[1];
        stock.y0 = nums[2];
        stock.x1 = nums[3];
        stock.y1 = nums[4];
      }
      haveStock = true;
    } else if (arg == "--levels") {
      if (!parseNumbers(argv[++i], levels)) return usage("bad --levels");
      haveLevels = true;
    } else if (arg == "--forbid") {
      if (!parseNumbers(argv[++i], nums)) return usage("bad --forbid");
      for (double v : nums) forbid.push_back(static_cast<long>(v));
    } else if (arg.rfind("--", 0) == 0) {
      return usage("unknown option " + arg);
    } else {
      const tpc::Status s = tpc::readPof(path, arg, tool);
      if (!s) {
        std::fprintf(stderr, "pofcheck: %s\n", s.message.c_str());
        return 2;
      }
    }
  }
  if (path.passes.empty()) return usage("no POF file");
  std::vector<tpc::Result> results;
  results.push_back(tpc::checkSanity(path, forbid));
  if (haveLevels) results.push_back(tpc::checkLevels(path, levels));
  if (!stl.empty()) {
    tpc::Mesh part;
    const tpc::Status s = tpc::readStl(stl, part);
    if (!s) {
      std::fprintf(stderr, "pofcheck: %s\n", s.message.c_str());
      return 2;
    }
    if (origin.x != 0 || origin.y != 0 || origin.z != 0) {
      // The part as the POF sees it: moved so that the origin comes to zero.
      std::vector<tpc::Triangle> moved = part.triangles;
      for (tpc::Triangle& t : moved) {
        for (tpc::Vec3& v : t.v) v = tpc::Vec3{v.x - origin.x, v.y - origin.y, v.z - origin.z};
      }
      part = tpc::makeMesh(std::move(moved));
    }
    results.push_back(tpc::checkNoGouge3D(path, part, {allowance, tol, false}));
    if (haveStock) results.push_back(tpc::checkLinks3D(path, part, stock, {allowance, tol, 0}));
  } else if (haveStock) {
    return usage("--stock needs --stl");
  }
  bool ok = true;
  for (const tpc::Result& r : results) {
    std::printf("%s\n", r.message.c_str());
    ok = ok && r.ok;
  }
  std::printf("%zu moves in %zu file(s): %s\n", path.moves.size(), path.passes.size(),
              ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
