#include "mrt/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvex::mrt {

FileSource::~FileSource() {
  if (fd_ > STDERR_FILENO) ::close(fd_);
}

std::size_t FileSource::read(std::span<std::uint8_t> into) {
  for (;;) {
    ssize_t got = ::read(fd_, into.data(), into.size());
    if (got >= 0) {
      total_ += static_cast<std::uint64_t>(got);
      return static_cast<std::size_t>(got);
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
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  // open(2) succeeds on a directory, whose read(2) then fails; it is no dump file. Pipes and
  // devices are read like files: process substitution hands us a pipe.
  struct stat status;
  if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(fd);
    *error = EISDIR;
    return nullptr;
  }
  return std::make_unique<FileSource>(fd);
}

}  // namespace tarvex::mrt
