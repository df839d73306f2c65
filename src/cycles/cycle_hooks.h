// cycle_hooks.h - what the machining cycles install into the subsystems below them: the library's
// own cycle record for the exported functions, and the POF read-back's default hooks and error
// table. Installed when the library loads; tests that removed them call the install again.
#pragma once

// Installs the "qdRpx5" record as the host entry's default record (hostSetDefaultCycle), the level
// pocketing's table as the read-back's default hooks (pofReadInstallDefaultHooks), the
// roughing's error table as its error reporter (pofReadInstallErrorReport) and the run-start
// reset of the 3D cycles (cyc3dSetRunReset with cyc3dResetRunState).
void cyclesInstallHooks();
