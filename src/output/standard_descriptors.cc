#include "output/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tarvex {

void holdClosedStandardDescriptors() {
  constexpr int kOppositeModes[] = {O_WRONLY, O_RDONLY, O_RDONLY};
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lower descriptors are open by now, so this one is the lowest free number.
    int held = ::open("/dev/null", kOppositeModes[fd]);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

}  // namespace tarvex
