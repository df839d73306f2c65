// step_opt_owners.h - owners of the records the flat-area finders allocate, so that every exit
// of a finder frees them.
#pragma once

#include <memory>

#include "geometry/lists.h"
#include "geometry/raster.h"
#include "model/surface_model.h"
#include "zlevel/drop_net.h"
#include "zlevel/zlevel_list.h"

struct StepOptModelDel {
  void operator()(SurfaceModel* m) const { modelFree(m); }
};
struct StepOptNetDel {
  void operator()(DropNet* n) const { dropNetFree(n); }
};
struct StepOptLevelsDel {
  void operator()(ZLevelList* l) const { zlevFree(l); }
};
struct StepOptMatrixDel {
  void operator()(IntMatrix* m) const { gridIntFree(m); }
};
struct StepOptSegDel {
  void operator()(Seg2List* l) const { lstBox2Free(l); }
};

using StepOptModelPtr = std::unique_ptr<SurfaceModel, StepOptModelDel>;
using StepOptNetPtr = std::unique_ptr<DropNet, StepOptNetDel>;
using StepOptLevelsPtr = std::unique_ptr<ZLevelList, StepOptLevelsDel>;
using StepOptMatrixPtr = std::unique_ptr<IntMatrix, StepOptMatrixDel>;
using StepOptSegPtr = std::unique_ptr<Seg2List, StepOptSegDel>;
