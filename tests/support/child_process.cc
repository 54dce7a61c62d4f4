#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tarvex::testing {

namespace {

using Clock = std::chrono::steady_clock;

// In the child, between fork and exec: only async-signal-safe calls, and _exit on failure.
void redirect(int fd, const std::string& path, int flags) {
  int opened = ::open(path.c_str(), flags, 0644);
  if (opened < 0) _exit(126);
  if (opened != fd) {
    dup2(opened, fd);
    close(opened);
  }
}

// The scheduler state letter of a /proc/.../stat file ('R', 'S', 'D', 'Z', ...), or 0.
char processState(const std::string& statPath) {
  std::ifstream stat(statPath);
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t close = text.rfind(')');  // the command name may hold blanks and parentheses
  if (close == std::string::npos || close + 2 >= text.size()) return 0;
  return text[close + 2];
}

// Whether some thread of the process sleeps in write(2) on descriptor 1, as /proc/PID/task
// tells; empty when the kernel does not say what threads are blocked in.
std::optional<bool> blockedWritingStdout(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  bool told = false;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream file(task.path() / "syscall");
    long number = -1;
    std::string first;
    if (!(file >> number >> first)) continue;
    told = true;
    if (number == SYS_write && first == "0x1" &&
        processState((task.path() / "stat").string()) == 'S') {
      return true;
    }
  }
  if (!told) return std::nullopt;
  return false;
}

bool hasExited(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
  int outPipe[2] = {-1, -1}, errPipe[2], inPipe[2] = {-1, -1};
  if (pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const bool stdoutIsPipe = options.stdoutPath.empty() && !options.closeStdout;
  if (stdoutIsPipe && pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (stdoutIsPipe && options.stdoutPipeSize > 0) {
    fcntl(outPipe[1], F_SETPIPE_SZ, options.stdoutPipeSize);
  }
  if (options.holdStdinOpen && pipe2(inPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (options.ownProcessGroup) setpgid(0, 0);
    signal(SIGPIPE, options.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    if (options.fileSizeLimit) {
      rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.holdStdinOpen) {
      dup2(inPipe[0], STDIN_FILENO);
    } else {
      redirect(STDIN_FILENO, options.stdinPath.empty() ? "/dev/null" : options.stdinPath, O_RDONLY);
    }
    if (stdoutIsPipe) {
      dup2(outPipe[1], STDOUT_FILENO);
    } else if (!options.closeStdout) {
      redirect(STDOUT_FILENO, options.stdoutPath, O_WRONLY | O_CREAT | O_TRUNC);
    }
    dup2(errPipe[1], STDERR_FILENO);
    // Closed last: the descriptors above are numbered from 3 on, so these never close them.
    if (options.closeStdout) close(STDOUT_FILENO);
    if (options.closeStderr) close(STDERR_FILENO);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
      _exit(126);
    }
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  if (options.ownProcessGroup) setpgid(pid_, pid_);  // on both sides: whichever runs first
  close(errPipe[1]);
  errFd_ = errPipe[0];
  if (stdoutIsPipe) {
    close(outPipe[1]);
    outFd_ = outPipe[0];
  }
  if (options.holdStdinOpen) {
    close(inPipe[0]);
    heldStdinFd_ = inPipe[1];
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {outFd_, errFd_, heldStdinFd_}) {
    if (fd >= 0) close(fd);
  }
}

std::string ChildProcess::readStdoutLine(int timeoutSeconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  while (outFd_ >= 0) {
    if (std::size_t end = pendingOut_.find('\n'); end != std::string::npos) {
      std::string line = pendingOut_.substr(0, end + 1);
      pendingOut_.erase(0, end + 1);
      return line;
    }
    if (Clock::now() > deadline) return "";
    pollfd ready{outFd_, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t got = read(outFd_, buffer, sizeof buffer);
    if (got > 0) {
      pendingOut_.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return "";
}

bool ChildProcess::waitUntilBlockedOnStdout(int timeoutSeconds) {
  if (outFd_ < 0) return false;
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  const int capacity = fcntl(outFd_, F_GETPIPE_SZ);
  int sleepingChecks = 0;
  while (Clock::now() < deadline && !hasExited(pid_)) {
    int available = 0;
    ioctl(outFd_, FIONREAD, &available);
    bool blocked;
    if (std::optional<bool> writing = blockedWritingStdout(pid_)) {
      blocked = *writing;
    } else {
      blocked = processState("/proc/" + std::to_string(pid_) + "/stat") == 'S' &&
                available >= capacity / 2;
    }
    // Two sightings in a row: a child that only paused between two reads is not blocked.
    sleepingChecks = blocked ? sleepingChecks + 1 : 0;
    if (sleepingChecks == 2) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void ChildProcess::closeStdout() {
  if (outFd_ >= 0) close(outFd_);
  outFd_ = -1;
  pendingOut_.clear();
}

ChildResult ChildProcess::finish(int timeoutSeconds) {
  ChildResult result;
  result.out = std::move(pendingOut_);
  pendingOut_.clear();
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  while (outFd_ >= 0 || errFd_ >= 0) {
    if (!result.killed && Clock::now() > deadline) {
      kill(pid_, SIGKILL);
      result.killed = true;
    }
    pollfd fds[2];
    nfds_t count = 0;
    if (outFd_ >= 0) fds[count++] = {outFd_, POLLIN, 0};
    if (errFd_ >= 0) fds[count++] = {errFd_, POLLIN, 0};
    if (poll(fds, count, 100) <= 0) continue;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[65536];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      std::string& into = fds[i].fd == outFd_ ? result.out : err_;
      if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == outFd_ ? outFd_ : errFd_) = -1;
      }
    }
  }
  // A child whose output is a file has no pipe to end; wait for it within the same time.
  int status = 0;
  rusage usage{};
  while (wait4(pid_, &status, WNOHANG, &usage) == 0) {
    if (!result.killed && Clock::now() > deadline) {
      kill(pid_, SIGKILL);
      result.killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  if (heldStdinFd_ >= 0) close(heldStdinFd_);
  heldStdinFd_ = -1;
  result.err = std::move(err_);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.maxRssKb = usage.ru_maxrss;
  return result;
}

bool builtWithAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

}  // namespace tarvex::testing
