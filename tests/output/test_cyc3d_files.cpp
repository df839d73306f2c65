// The names of the temporary geometry files of a 3D cycle run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "output/cyc3d_files.h"

TEST(Cyc3dTempFileName, FolderSeparatorProcessIdAndExtension) {
  const std::string pid = std::to_string(static_cast<long>(getpid()));
  struct Case {
    const char* folder;
    const char* ext;
    std::string name;
  };
  const Case cases[] = {
      {"/tmp/run", "bnd", "/tmp/run/" + pid + ".bnd"},
      {"/tmp/run/", "prf", "/tmp/run/" + pid + ".prf"},
      {"C:\\work\\", "snc", "C:\\work\\" + pid + ".snc"},
      {"", "trc", pid + ".trc"},
  };
  for (const Case& c : cases) {
    char out[kCyc3dTempNameSize];
    ASSERT_EQ(cyc3dTempFileName(out, sizeof out, c.folder, c.ext), 1) << c.folder;
    EXPECT_EQ(std::string(out), c.name);
  }
  // A name that does not fit is refused, never cut into the name of another file.
  char small[8] = "stale";
  EXPECT_EQ(cyc3dTempFileName(small, sizeof small, "/a/long/folder", "bnd"), 0);
  EXPECT_STREQ(small, "");
  const std::string huge(500, 'f');
  char out[kCyc3dTempNameSize * 2];
  EXPECT_EQ(cyc3dTempFileName(out, sizeof out, huge.c_str(), "bnd"), 0);
}
