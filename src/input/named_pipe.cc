#include "input/named_pipe.h"

#include <linux/magic.h>
#include <poll.h>
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
    if (waited >= kPipeWriterWaitMs) return false;
    ::poll(nullptr, 0, kPollMs);
  }
}

}  // namespace tarvex::input
