// real_meshes.h - where tests and benchmarks find the optional folder of real surface files
// (QDMILL_DATA_DIR, a CMake variable) and how they skip when a clone has no such folder beside it.
// Standard library only (the skip macro is for GoogleTest tests), so the toolpath checker's tests
// and the benchmarks use it too.
#pragma once

#include <filesystem>
#include <string>

namespace qdtest {

// The folder of real surface files as the build was configured.
inline std::string realMeshFolder() { return QDMILL_DATA_DIR; }

// True when the folder exists.
inline bool realMeshFolderPresent() {
  std::error_code ec;
  return std::filesystem::is_directory(realMeshFolder(), ec);
}

// The reason a test that needs the folder gives for skipping.
inline std::string realMeshFolderMissing() {
  return "real-mesh data folder not found: " + realMeshFolder();
}

// Path of a file in the folder of real surface files.
inline std::string dataPath(const std::string& name) { return realMeshFolder() + "/" + name; }

}  // namespace qdtest

// Skips the current test when the folder of real surface files is absent.
#define QDTEST_SKIP_WITHOUT_REAL_MESHES()                                                  \
  do {                                                                                     \
    if (!qdtest::realMeshFolderPresent()) GTEST_SKIP() << qdtest::realMeshFolderMissing(); \
  } while (0)
