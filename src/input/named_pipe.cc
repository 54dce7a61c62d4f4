#include "input/named_pipe.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tarvex::input {

bool isAnonymousPipe(int fd) {
  struct statfs fs {};
  return ::fstatfs(fd, &fs) == 0 && fs.f_type == PIPEFS_MAGIC;
}

// A read tells the cases apart: EAGAIN means a writer is there with nothing written yet, 0 that
// no writer is there (yet, or any more), a byte that one is and has written.
bool awaitPipeWriter(int fd, int* pushedBack) {
  constexpr int kPollMs = 50;
  *pushedBack = -1;
  for (int waited = 0;; waited += kPollMs) {
    std::uint8_t byte;
    ssize_t got = ::read(fd, &byte, 1);
    if (got == 1) {
      *pushedBack = byte;
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno == EAGAIN;
    if (waited >= kPipeWaitMs) return false;
    ::poll(nullptr, 0, kPollMs);
  }
}

// O_NONBLOCK makes the open of a named pipe fail with ENXIO while no reader has it open, instead
// of waiting; on any other file it changes nothing but the descriptor's flag, cleared afterwards.
int openForWriting(const std::string& path, int flags, unsigned mode) {
  constexpr int kPollMs = 50;
  int fd = -1;
  for (int waited = 0;; waited += kPollMs) {
    fd = ::open(path.c_str(), flags | O_NONBLOCK, mode);
    if (fd >= 0) break;
    if (errno == EINTR) continue;
    if (errno != ENXIO) return -1;
    // ENXIO also says that a device or a socket has nothing behind it: no reader can come.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
      errno = ENXIO;
      return -1;
    }
    if (waited >= kPipeWaitMs) {
      errno = ETIMEDOUT;
      return -1;
    }
    ::poll(nullptr, 0, kPollMs);
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace tarvex::input
