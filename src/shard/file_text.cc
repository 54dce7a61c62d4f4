#include "shard/file_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "output/process_output.h"

namespace tarvex::shard {

std::string fileText(const std::string& path) {
  return fileTextIfReadable(path).value_or("");
}

std::optional<std::string> fileTextIfReadable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text = descriptorText(fd);
  ::close(fd);
  return text;
}

std::optional<std::string> descriptorText(int fd) {
  std::string text;
  char buffer[1 << 14];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string lastLine(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return std::string(text.substr(text.rfind('\n') + 1));  // npos + 1 is 0: the whole text
}

int writeFileText(const std::string& path, std::string_view text, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  int error = writeAll(fd, text);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ::unlink(path.c_str());
  return error;
}

}  // namespace tarvex::shard
