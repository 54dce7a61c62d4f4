#include "shard/merge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace tarvex::shard {

namespace {

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Copies the file at `path` to `fd`, less its first `skip` bytes.
void copyFile(const std::string& path, int fd, std::size_t skip) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  if (skip > 0) ::lseek(in, static_cast<off_t>(skip), SEEK_SET);
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    writeAll(fd, std::string_view(buffer, static_cast<std::size_t>(got)));
  }
  ::close(in);
}

}  // namespace

void mergeDays(const MergeInputs& inputs, int stdoutFd, int stderrFd, int reportFd) {
  writeAll(stderrFd, inputs.startMessages);
  for (const std::string& result : inputs.dayResults) {
    copyFile(result + "/stdout", stdoutFd, 0);
    copyFile(result + "/stderr", stderrFd, inputs.startMessages.size());
    if (reportFd >= 0) copyFile(result + "/report", reportFd, 0);
  }
  writeAll(stdoutFd, inputs.trailer);
}

}  // namespace tarvex::shard
