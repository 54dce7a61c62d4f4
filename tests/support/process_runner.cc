#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace tarvex::testing {

namespace {

void setNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || pipe(inPipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(inPipe[0], STDIN_FILENO);
    if (!options.stdoutPath.empty()) {
      int fd = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(126);
      dup2(fd, STDOUT_FILENO);
      close(fd);
    } else {
      dup2(outPipe[1], STDOUT_FILENO);
    }
    dup2(options.mergeStreams ? outPipe[1] : errPipe[1], STDERR_FILENO);
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], inPipe[0], inPipe[1]}) {
      close(fd);
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
      _exit(126);
    }
    for (const std::string& entry : options.environment) {
      std::size_t equals = entry.find('=');
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  close(inPipe[0]);

  std::string input = options.standardInput.value_or("");
  std::size_t inputWritten = 0;
  int inFd = inPipe[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  } else {
    setNonBlocking(inFd);
  }

  RunResult result;
  int outFd = outPipe[0], errFd = errPipe[0];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  bool killed = false;
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3];
    int count = 0;
    if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
    int ready = poll(fds, static_cast<nfds_t>(count), 100);
    if (std::chrono::steady_clock::now() > deadline && !killed) {
      kill(child, SIGKILL);
      killed = true;
    }
    if (ready <= 0) continue;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        ssize_t n = write(inFd, input.data() + inputWritten, input.size() - inputWritten);
        if (n > 0) inputWritten += static_cast<std::size_t>(n);
        if (n < 0 || inputWritten == input.size() || (fds[i].revents & (POLLERR | POLLHUP))) {
          close(inFd);
          inFd = -1;
        }
        continue;
      }
      char buffer[65536];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (fds[i].fd == outFd ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == outFd ? outFd : errFd) = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::optional<RunResult> runWithoutPrivileges(const std::string& program,
                                              const std::vector<std::string>& arguments,
                                              const RunOptions& options) {
  if (geteuid() != 0) return runProgram(program, arguments, options);
  static const std::string kSetpriv = "/usr/bin/setpriv";
  if (access(kSetpriv.c_str(), X_OK) != 0) return std::nullopt;
  std::vector<std::string> wrapped = {"--reuid=65534", "--regid=65534", "--clear-groups", program};
  std::vector<std::string> probe = wrapped;
  probe.push_back("--help");
  RunResult help = runProgram(kSetpriv, probe);
  if (help.status != 1 || help.out.empty()) return std::nullopt;
  wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
  return runProgram(kSetpriv, wrapped, options);
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarvex-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  // Tests may leave unreadable directories behind; make them removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, error);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

std::string hostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

void makeDirectories(const std::string& path) {
  std::filesystem::create_directories(path);
}

}  // namespace tarvex::testing
