#include "shard/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "shard/file_text.h"

namespace tarvex::shard {

pid_t startProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects,
                   const SpawnOptions& options) {
  // Everything the child needs is built before fork: after it only async-signal-safe calls.
  std::vector<std::string> words = argv;
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid != 0) {
    // Set on both sides of the fork, so that the group exists whichever runs first.
    if (pid > 0 && options.ownProcessGroup) ::setpgid(pid, pid);
    return pid;
  }
  if (options.ownProcessGroup) ::setpgid(0, 0);
  ::signal(SIGPIPE, SIG_DFL);
  if (options.ignoreInterrupts) {
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGQUIT, SIG_IGN);
  }
  for (const Redirect& redirect : redirects) {
    const int fd =
        redirect.from >= 0 ? redirect.from : ::open(redirect.path.c_str(), redirect.flags, 0666);
    if (fd < 0 || ::dup2(fd, redirect.fd) < 0) ::_exit(1);
    if (fd != redirect.fd && redirect.from < 0) ::close(fd);
  }
  ::execvp(pointers[0], pointers.data());
  ::_exit(127);
}

int waitProgram(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

int runProgram(const std::vector<std::string>& argv, const std::vector<Redirect>& redirects) {
  const pid_t pid = startProgram(argv, redirects);
  return pid < 0 ? -1 : waitProgram(pid);
}

std::pair<std::string, int> programOutput(const std::vector<std::string>& argv) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {"", -1};
  const pid_t pid = startProgram(argv, {{STDIN_FILENO, "/dev/null", O_RDONLY},
                                        {STDOUT_FILENO, "", 0, out[1]},
                                        {STDERR_FILENO, "/dev/null", O_WRONLY}});
  ::close(out[1]);
  const std::string text = descriptorText(out[0]).value_or("");
  ::close(out[0]);
  return {text, pid < 0 ? -1 : waitProgram(pid)};
}

std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = dirs.find(':', begin);
    std::string dir =
        dirs.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    struct stat status;
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return dir.empty() ? name : candidate;
    }
    if (end == std::string::npos) return "";
    begin = end + 1;
  }
}

}  // namespace tarvex::shard
