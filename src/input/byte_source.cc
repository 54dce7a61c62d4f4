#include "input/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input/named_pipe.h"

namespace tarvex::input {

FileSource::FileSource(int fd, int pushedBack) : fd_(fd), pushedBack_(pushedBack) {
  struct stat status;
  // Standard input may be a file that someone has read part of already.
  if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at >= 0 && at < status.st_size) {
      startOffset_ = at;
      sizeAtOpen_ = static_cast<std::uint64_t>(status.st_size - at);
    }
  }
}

FileSource::~FileSource() {
  if (fd_ > STDERR_FILENO) ::close(fd_);
}

// The file ended short of the size it had when it was opened. Where the reading stopped is not
// where the file was cut when the reads had run ahead of the cut: the size now says that.
void FileSource::failCut() {
  std::uint64_t cutTo = total_;
  struct stat status;
  if (::fstat(fd_, &status) == 0) {
    cutTo = static_cast<std::uint64_t>(std::max<off_t>(status.st_size - startOffset_, 0));
  }
  std::string reason = "the file was cut to " + std::to_string(cutTo) +
                       " bytes while it was read (it had " + std::to_string(sizeAtOpen_);
  if (cutTo != total_) reason += "; reading had reached byte " + std::to_string(total_);
  fail(reason + ")");
}

std::size_t FileSource::read(std::span<std::uint8_t> into) {
  if (pushedBack_ >= 0) {
    into[0] = static_cast<std::uint8_t>(pushedBack_);
    pushedBack_ = -1;
    ++total_;
    return 1;
  }
  for (;;) {
    ssize_t got = ::read(fd_, into.data(), into.size());
    if (got > 0) {
      total_ += static_cast<std::uint64_t>(got);
      return static_cast<std::size_t>(got);
    }
    if (got == 0) {
      if (total_ < sizeAtOpen_) failCut();
      return 0;
    }
    if (errno == EINTR) continue;
    fail(std::string("read error (") + std::strerror(errno) + ") after " + std::to_string(total_) +
         " bytes");
    return 0;
  }
}

std::size_t MemorySource::read(std::span<std::uint8_t> into) {
  std::size_t count = std::min(into.size(), bytes_.size());
  std::copy_n(bytes_.begin(), count, into.begin());
  bytes_ = bytes_.subspan(count);
  return count;
}

std::unique_ptr<ByteSource> openFileSource(const std::string& path, int* error) {
  if (path == "-") return std::make_unique<FileSource>(STDIN_FILENO);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  auto refuse = [&](int reason) -> std::unique_ptr<ByteSource> {
    ::close(fd);
    *error = reason;
    return nullptr;
  };
  // open(2) succeeds on a directory, whose read(2) then fails; it is no dump file. A device is
  // none either, and some never end.
  struct stat status;
  if (::fstat(fd, &status) != 0) return refuse(errno);
  if (S_ISDIR(status.st_mode)) return refuse(EISDIR);
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return refuse(ENODEV);
  int pushedBack = -1;
  if (S_ISFIFO(status.st_mode) && !isAnonymousPipe(fd) && !awaitPipeWriter(fd, &pushedBack)) {
    return refuse(ETIMEDOUT);
  }
  // Reads block from here on, as they should.
  if (int flags = ::fcntl(fd, F_GETFL);
      flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    return refuse(errno);
  }
  return std::make_unique<FileSource>(fd, pushedBack);
}

}  // namespace tarvex::input
