#include "output/process_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "input/named_pipe.h"

namespace tarvex {

namespace {

// The descriptor that report lines go to, as the reader watch sees it; -1 when there is none.
std::atomic<int> watchedReportFd{-1};
// Whether the watch of the report's reader has been started (see `endWhenReaderLeaves`).
std::atomic<bool> readerWatchStarted{false};

// A reader that goes away is noticed by the next write of a report line, which may be hours
// away when matches are rare. For a pipe, a thread waits in poll(2) for the reader to leave and
// ends the process quietly at once, as that write would. It stands down when report lines go
// elsewhere by then. Standard output is watched only from the first write of the run on: before
// that the entry point may still send the report to a file, and a reader of standard output
// that is gone must then not end the run.
void endWhenReaderLeaves(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) return;
  std::thread([fd, pipe = status.st_ino, device = status.st_dev] {
    pollfd watch{fd, 0, 0};  // no events asked: only POLLERR, a pipe without readers, wakes it
    int ready;
    do {
      ready = ::poll(&watch, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || (watch.revents & POLLERR) == 0) return;
    struct stat now;
    if (watchedReportFd.load() != fd || ::fstat(fd, &now) != 0 || now.st_ino != pipe ||
        now.st_dev != device) {
      return;
    }
    std::_Exit(kStatusReportNotWritten);
  }).detach();
}

void watchReaderOnce() {
  if (readerWatchStarted.load(std::memory_order_relaxed) || readerWatchStarted.exchange(true)) {
    return;
  }
  if (int fd = watchedReportFd.load(); fd >= 0) endWhenReaderLeaves(fd);
}

}  // namespace

std::string cannotWriteReportMessage(std::string_view output, int error) {
  return std::string(kCannotWriteReport) + std::string(output) + ": " + std::strerror(error) + "\n";
}

int writeAll(int fd, std::string_view bytes, std::size_t* written) {
  std::size_t ignored = 0;
  if (written == nullptr) written = &ignored;
  *written = 0;
  while (!bytes.empty()) {
    ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
    *written += static_cast<std::size_t>(count);
  }
  return 0;
}

// A full disk or a file size limit can take the first part of a line and refuse the rest. In a
// regular file that part is taken back, so the report ends with its last complete line; what a
// pipe or a device has taken stays where it went.
void takeBackPartialLine(int fd, std::size_t written) {
  struct stat status;
  if (written == 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
  off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end < static_cast<off_t>(written)) return;
  off_t lineStart = end - static_cast<off_t>(written);
  if (::ftruncate(fd, lineStart) == 0) ::lseek(fd, lineStart, SEEK_SET);
}

ProcessOutput::ProcessOutput() : reportFd_(STDOUT_FILENO), reportName_(kStandardOutputName) {
  // A reader that has gone away and a file size limit are faults of one write, which says so
  // through its error: EPIPE ends the run quietly, EFBIG with a message. At their defaults the
  // two signals would end the process on the spot; for SIGPIPE that could be a message written
  // to a stream that nobody reads any more while the report still goes to a file.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  watchedReportFd.store(reportFd_);
}

ProcessOutput::~ProcessOutput() {
  closeFile();
}

int ProcessOutput::openFile(const std::string& path) {
  int fd = input::openForWriting(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  // The standard descriptors are held open from the start of the process (main.cc), so the
  // file never takes the number of a closed standard stream.
  if (fd < 0) return errno;
  closeFile();
  reportFd_ = fd;
  reportName_ = path;
  watchedReportFd.store(reportFd_);
  readerWatchStarted.store(true);
  endWhenReaderLeaves(reportFd_);
  return 0;
}

void ProcessOutput::closeFile() {
  if (reportFd_ > STDERR_FILENO) ::close(reportFd_);
  if (reportFd_ != STDOUT_FILENO) reportFd_ = -1;
  if (reportFd_ < 0) watchedReportFd.store(-1);
}

void ProcessOutput::write(Channel channel, std::string_view bytes) {
  watchReaderOnce();
  switch (channel) {
    case Channel::kReport:
      if (reportFd_ < 0) return;
      if (std::size_t written = 0; int error = writeAround(reportFd_, bytes, &written)) {
        failReport(error, written);
      }
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

int ProcessOutput::writeAround(int fd, std::string_view bytes, std::size_t* written) {
  if (overlay_ == nullptr) return writeAll(fd, bytes, written);
  overlay_->beginWrite(fd);
  int error = writeAll(fd, bytes, written);
  overlay_->endWrite(fd);
  return error;
}

void ProcessOutput::failReport(int error, std::size_t written) {
  // The reader went away: nobody is left to tell.
  if (error == EPIPE) std::_Exit(kStatusReportNotWritten);
  takeBackPartialLine(reportFd_, written);
  writeAround(STDERR_FILENO, cannotWriteReportMessage(reportName_, error));
  std::_Exit(kStatusReportNotWritten);
}

}  // namespace tarvex
