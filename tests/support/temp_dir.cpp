// temp_dir.cpp - temporary working folders and small file helpers for the tests.
#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qdtest {

ScopedTempDir::ScopedTempDir() {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec).string();
  std::string pattern = (std::filesystem::temp_directory_path(ec) / "qdmill-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder";
    return;
  }
  path_ = made;
  std::filesystem::current_path(path_, ec);
  if (ec) ADD_FAILURE() << "cannot enter " << path_;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
  if (!path_.empty() && std::getenv("QDMILL_KEEP_TEST_DIRS") == nullptr) {
    std::filesystem::remove_all(path_, ec);
  }
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot write " << path;
  out << text;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace qdtest
