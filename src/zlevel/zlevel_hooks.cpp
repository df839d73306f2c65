// zlevel_hooks.cpp - the Z-level slicing's hooks, installed when the library loads: every program
// linked with the library's objects (the shared library, the tests) runs this before main.
#include "zlevel/zlevel_hooks.h"

#include "geometry/walker_hooks.h"
#include "model/wcoll_contact.h"
#include "zlevel/walker.h"
#include "zlevel/zpath_fillet.h"

void zlevelInstallHooks() {
  const WalkerHooks hooks{offs3dPrepare, offs3dTrace, offs3dRelease, zpathListFillet,
                          wcollWallContact};
  walkSetHooks(&hooks);
}

namespace {
struct ZlevelHooksAtLoad {
  ZlevelHooksAtLoad() { zlevelInstallHooks(); }
};
const ZlevelHooksAtLoad zlevelHooksAtLoad;
}  // namespace
