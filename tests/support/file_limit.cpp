// file_limit.cpp - child processes for write-failure tests: with a file-size limit, or without
// root's privilege.
#include "support/file_limit.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace qdtest {

namespace {
// Forks; the child runs prepare (a non-zero answer is its exit status), then body, and exits with
// body's result.
int inChild(const std::function<int()>& prepare, const std::function<int()>& body) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (const int refused = prepare(); refused != 0) _exit(refused);
    const int result = body();
    _exit(result & 0xff);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
}  // namespace

int inChildWithFileLimit(long bytes, const std::function<int()>& body) {
  return inChild(
      [bytes] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? 0 : 254;
      },
      body);
}

int inChildWithoutRoot(const std::function<int()>& body) {
  return inChild(
      [] {
        if (geteuid() != 0) return 0;
        return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0 ? 0 : 253;
      },
      body);
}

}  // namespace qdtest
