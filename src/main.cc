#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>

#include "cli/entry_point.h"

namespace {

// Standard input, output or error closed when tarvex starts would let the next open(2) (a dump,
// a list, an archive directory) take its number, and the messages meant for that stream would
// then reach the file, or race its reader on another thread. Each closed one is held by
// /dev/null, opened the other way round (standard input for writing, the others for reading), so
// that every use still fails with EBADF as on a closed descriptor: a message to a closed stream is
// dropped, a report to a closed standard output fails as it always has, and a dump read from a
// closed standard input gives the same read error.
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

}  // namespace

int main(int argc, char** argv) {
  holdClosedStandardDescriptors();
  // The decoding threads allocate little once they run, but glibc would give each of them an
  // arena of its own, whose freed memory stays resident; two arenas keep a run over many files
  // well within its memory bound at no cost in speed.
  mallopt(M_ARENA_MAX, 2);
  return tarvex::runTarvex(argc, argv);
}
