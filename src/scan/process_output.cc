#include "scan/process_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarvex {

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

ProcessOutput::ProcessOutput() : reportFd_(STDOUT_FILENO), reportName_("standard output") {}

ProcessOutput::~ProcessOutput() {
  closeFile();
}

int ProcessOutput::openFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  closeFile();
  reportFd_ = fd;
  reportName_ = path;
  return 0;
}

void ProcessOutput::closeFile() {
  if (reportFd_ > STDERR_FILENO) ::close(reportFd_);
  if (reportFd_ != STDOUT_FILENO) reportFd_ = -1;
}

void ProcessOutput::write(Channel channel, std::string_view bytes) {
  switch (channel) {
    case Channel::kReport:
      if (reportFd_ < 0) return;
      if (int error = writeAround(reportFd_, bytes); error != 0) failReport(error);
      reportLines_.fetch_add(1, std::memory_order_relaxed);
      return;
    case Channel::kStdout:
      writeAround(STDOUT_FILENO, bytes);
      return;
    case Channel::kStderr:
      writeAround(STDERR_FILENO, bytes);
      return;
  }
}

int ProcessOutput::writeAround(int fd, std::string_view bytes) {
  if (overlay_ == nullptr) return writeAll(fd, bytes);
  overlay_->beginWrite(fd);
  int error = writeAll(fd, bytes);
  overlay_->endWrite(fd);
  return error;
}

void ProcessOutput::failReport(int error) {
  // The reader went away (SIGPIPE ignored by our parent): nobody is left to tell.
  if (error == EPIPE) std::_Exit(1);
  std::string message =
      "tarvex: cannot write report to " + reportName_ + ": " + std::strerror(error) + "\n";
  writeAround(STDERR_FILENO, message);
  std::_Exit(1);
}

}  // namespace tarvex
