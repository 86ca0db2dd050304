// Runs a program as a child process with a chosen environment, working directory and file-size
// limit, and collects its exit status and output. Paths are byte strings, so a folder whose
// name is not UTF-8 works.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace app_test {

struct TRun {
  int ExitCode = -1;  // -1 when the child did not exit normally
  std::string Out, Err;
};

struct TChild {
  std::vector<std::string> Argv;
  std::string WorkingDirectory = "/";
  std::vector<std::string> Unset;              // names removed from this process's environment
  std::vector<std::string> Set;                // "NAME=value" added after that
  std::optional<rlim_t> FileSizeLimit;         // bytes, as ulimit -f sets it
  std::chrono::seconds Timeout{120};
};

inline TRun RunChild(const TChild& child) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    bool drop = false;
    for (const std::string& name : child.Unset) drop = drop || entry.rfind(name + "=", 0) == 0;
    for (const std::string& set : child.Set) drop = drop || entry.rfind(set.substr(0, set.find('=') + 1), 0) == 0;
    if (!drop) env.push_back(entry);
  }
  env.insert(env.end(), child.Set.begin(), child.Set.end());
  std::vector<char*> argv, envp;
  for (const std::string& a : child.Argv) argv.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]), ::close(out[1]), ::close(err[0]), ::close(err[1]);
    if (child.FileSizeLimit) {
      const rlimit limit{*child.FileSizeLimit, *child.FileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (::chdir(child.WorkingDirectory.c_str()) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);

  TRun run;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.Out, &run.Err};
  const auto deadline = std::chrono::steady_clock::now() + child.Timeout;
  int open = 2;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (::poll(fds, 2, 200) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  if (open > 0) {
    ADD_FAILURE() << child.Argv[0] << " did not finish in time";
    ::kill(pid, SIGKILL);
    for (const pollfd& f : fds)
      if (f.fd >= 0) ::close(f.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.ExitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace app_test
