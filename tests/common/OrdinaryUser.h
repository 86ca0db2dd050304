// Runs a check as an ordinary user, so that permissions apply: when this process is root (as in
// CI), in a child process that has dropped to nobody (65534, no supplementary groups);
// otherwise directly. GiveToOrdinaryUser makes a file or folder of the test that user's own.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace testing_support {

inline constexpr uid_t kOrdinaryUser = 65534;

// body returns a small exit code (0 for success); the result is that code, or -1 when the child
// could not drop its privileges or did not exit normally.
template <class Body>
int AsOrdinaryUser(Body body) {
  if (::geteuid() != 0) return body();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kOrdinaryUser) != 0 || ::setuid(kOrdinaryUser) != 0) ::_exit(255);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

inline void GiveToOrdinaryUser(const std::filesystem::path& path) {
  if (::geteuid() == 0 && ::lchown(path.c_str(), kOrdinaryUser, kOrdinaryUser) != 0) {
  }
}

}  // namespace testing_support
