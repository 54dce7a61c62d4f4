#include "input/line_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/memory_budgets.h"
#include "input/message_text.h"
#include "input/named_pipe.h"

namespace tarvex::input {

namespace {

constexpr std::size_t kReadSize = budgets::kLineFileRead;

}  // namespace

LineFile::LineFile(const std::string& path) {
  // O_NONBLOCK keeps the open of a named pipe from waiting for a writer for ever; O_NOCTTY keeps
  // a terminal given as a list from becoming the run's controlling terminal.
  do {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    openError_ = errno;
    return;
  }
  if (int refused = prepareOpened(); refused != 0) {
    ::close(fd_);
    fd_ = -1;
    openError_ = refused;
  }
}

int LineFile::prepareOpened() {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return errno;
  // A directory opens, but every read of it fails: it is no list at all.
  if (S_ISDIR(status.st_mode)) return EISDIR;
  regularFile_ = S_ISREG(status.st_mode);
  if (S_ISFIFO(status.st_mode) && !isAnonymousPipe(fd_)) {
    int pushedBack = -1;
    if (!awaitPipeWriter(fd_, &pushedBack)) return ETIMEDOUT;
    if (pushedBack >= 0) {
      buffer_.resize(kReadSize);
      buffer_[0] = static_cast<char>(pushedBack);
      end_ = 1;
    }
  }
  // From here on a read waits for data like that of any file, so an empty pipe is not its end.
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

LineFile::~LineFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool LineFile::nextLine(std::string_view& line) {
  if (fd_ < 0) return false;
  std::size_t searchFrom = begin_;
  while (true) {
    if (searchFrom < end_) {
      const char* start = buffer_.data() + begin_;
      const void* newline = std::memchr(buffer_.data() + searchFrom, '\n', end_ - searchFrom);
      if (newline != nullptr) {
        std::size_t length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
        line = std::string_view(start, length);
        begin_ += length + 1;
        return true;
      }
    }
    searchFrom = end_ - begin_;  // the unconsumed bytes move to the front in fill()
    if (!fill()) {
      if (readError_ != 0 || begin_ == end_) return false;
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
  }
}

void LineFile::keepForRewind() {
  if (fd_ < 0 || regularFile_) return;
  keptInMemory_ = true;
  while (fill()) {
  }
}

void LineFile::rewind() {
  if (keptInMemory_) {
    begin_ = 0;
    return;
  }
  if (fd_ < 0 || !regularFile_ || ::lseek(fd_, 0, SEEK_SET) != 0) return;
  begin_ = end_ = 0;
  atEnd_ = false;
  readError_ = 0;
}

bool LineFile::fill() {
  if (atEnd_ || readError_ != 0) return false;
  // Keep the start of the unfinished line and read behind it; the buffer grows only for a line
  // longer than what it holds.
  std::size_t pending = end_ - begin_;
  if (begin_ != 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, pending);
    begin_ = 0;
    end_ = pending;
  }
  if (buffer_.size() - end_ < kReadSize) buffer_.resize(end_ + kReadSize);
  while (true) {
    ssize_t count = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (count > 0) {
      end_ += static_cast<std::size_t>(count);
      return true;
    }
    if (count == 0) {
      atEnd_ = true;
      return false;
    }
    if (errno != EINTR) {
      readError_ = errno;
      return false;
    }
  }
}

std::string cannotOpenMessage(const std::string& path) {
  return std::string(kCannotOpenList) + path + "\n";
}

std::string nulByteWarning(const std::string& path, std::size_t number, std::string_view line) {
  const std::size_t nul = line.find('\0');
  if (nul == std::string_view::npos) return {};
  return "tarvex: " + path + ":" + std::to_string(number) +
         ": the line holds a NUL byte, and only the text before it (\"" +
         escapedForMessage(line.substr(0, nul)) + "\") is read; a list takes one entry a line\n";
}

std::string readErrorPrefix(const std::string& path) {
  return "tarvex: " + path + ": read error after line ";
}

std::string readErrorMessage(const std::string& path, std::size_t lines, int error,
                             std::string_view consequence) {
  return readErrorPrefix(path) + std::to_string(lines) + ": " + std::strerror(error) + "; " +
         std::string(consequence) + "\n";
}

}  // namespace tarvex::input
