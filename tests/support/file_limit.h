// file_limit.h - runs a piece of a test in a child process whose files may not grow beyond a
// size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so that a write past it fails with EFBIG instead
// of killing the process): the way to make a write fail half-way, as a full disk does. Also a
// child without root's privilege, in which a folder's permissions hold again.
#pragma once

#include <functional>

namespace qdtest {

// Forks; the child sets the limit (bytes) and returns body's result as its exit status (0 to
// 255). Returns that status, or -1 when the child could not run or did not exit normally.
int inChildWithFileLimit(long bytes, const std::function<int()>& body);

// Forks; a child of root becomes the user and group 65534 ("nobody") first, so that permissions
// stop it (the current folder must let that user pass). Returns body's result as
// inChildWithFileLimit does.
int inChildWithoutRoot(const std::function<int()>& body);

}  // namespace qdtest
