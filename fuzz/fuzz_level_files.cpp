// fuzz_level_files.cpp - libFuzzer target of the level planning's binary readers: the Z-level
// file and the two drop-net files. Every input is handed to all three; whatever one reads must
// hold counts that fit its arrays, and written back and read again it must come back unchanged.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input_file.h"
#include "zlevel/drop_net.h"
#include "zlevel/zlevel_list.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void checkLevels(const char* name, const std::string& out) {
  ZLevelList* list = zlevLoad(name);
  if (list == nullptr) return;
  if (list->count < 0 || list->count > list->capacity) std::abort();
  if (zlevSave(list, out.c_str()) != 1) std::abort();
  ZLevelList* again = zlevLoad(out.c_str());
  if (again == nullptr || again->count != list->count || !sameBits(again->zmax, list->zmax) ||
      !sameBits(again->zmin, list->zmin)) {
    std::abort();
  }
  for (int i = 0; i < list->count; ++i) {
    if (!sameBits(again->z[i], list->z[i]) || again->flag[i] != list->flag[i]) std::abort();
  }
  // A loaded list is a working list: the small operations run on it.
  zlevIndexAbove(list, 0.0);
  zlevHasNear(list, 1.0, 0.001);
  zlevInsert(list, 0.5, 0.001, 1);
  zlevRemoveAt(list, 0);
  zlevFree(again);
  zlevFree(list);
}

template <class Net, Net* (*Load)(const char*), int (*Save)(const Net*, const char*),
          int (*Free)(Net*)>
void checkNet(const char* name, const std::string& out) {
  Net* net = Load(name);
  if (net == nullptr) return;
  if (net->rows < 1 || net->cols < 1 || net->height == nullptr) std::abort();
  if (Save(net, out.c_str()) != 1) std::abort();
  Net* again = Load(out.c_str());
  if (again == nullptr || again->rows != net->rows || again->cols != net->cols) std::abort();
  for (int r = 0; r < net->rows; ++r) {
    for (int c = 0; c < net->cols; ++c) {
      if (!sameBits(again->height[r][c], net->height[r][c]) ||
          again->valid[r][c] != net->valid[r][c] || again->slope[r][c] != net->slope[r][c]) {
        std::abort();
      }
    }
  }
  Free(again);
  Free(net);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* name = fuzzInputFile("lvl", data, size);
  const std::string out = std::string(name) + ".out";
  checkLevels(name, out);
  checkNet<DropNet, dropNetLoad, dropNetSave, dropNetFree>(name, out);
  checkNet<FloatDropNet, fDropNetLoad, fDropNetSave, fDropNetFree>(name, out);
  FloatDropNet* net = fDropNetLoad(name);
  if (net != nullptr) {
    // Reading a loaded net: interpolation and the nearest node stay inside its arrays.
    double h = 0;
    int row = -1, col = -1;
    fDropNetipol(net, Point2D{net->x0 + 0.3 * net->colStep, net->y0 + 0.6 * net->rowStep}, &h);
    if (fDropNetNearestNode(Point2D{net->x0 + 1e3, net->y0 - 1e3}, net, &row, &col) != 1 ||
        row < 0 || row >= net->rows || col < 0 || col >= net->cols) {
      std::abort();
    }
    fDropNetFree(net);
  }
  std::remove(out.c_str());
  return 0;
}
