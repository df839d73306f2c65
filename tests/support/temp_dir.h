// temp_dir.h - runs a test inside a fresh temporary folder. The library reads and writes files
// relative to the working directory, so every test that touches files gets its own.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace qdtest {

// Creates a fresh folder under the system's temporary folder and makes it the working
// directory; restores the old working directory and removes the folder on destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Fixture: each test body runs in its own temporary working directory.
class TempDirTest : public ::testing::Test {
 protected:
  const std::string& tempPath() const { return dir_.path(); }

 private:
  ScopedTempDir dir_;
};

// Writes text to a file (binary, exactly these bytes). Fails the test when it cannot.
void writeFile(const std::string& path, const std::string& text);
// Reads a whole file; empty when it does not exist.
std::string readFile(const std::string& path);
// True when the file exists.
bool fileExists(const std::string& path);

}  // namespace qdtest
