#include "mrt/mrt_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvex::mrt {

// Placeholder until the decoder lands: the input is opened and yields no message.
struct MrtReader::State {
  int fd = -1;
  ~State() {
    if (fd > STDERR_FILENO) ::close(fd);
  }
};

std::unique_ptr<MrtReader> MrtReader::open(const std::string& path, int* error) {
  auto state = std::make_unique<State>();
  if (path == "-") {
    state->fd = STDIN_FILENO;
  } else {
    state->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (state->fd < 0) {
      *error = errno;
      return nullptr;
    }
  }
  return std::unique_ptr<MrtReader>(new MrtReader(std::move(state)));
}

MrtReader::MrtReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
MrtReader::~MrtReader() = default;

bool MrtReader::next(BgpUpdate& update) {
  (void)update;
  return false;
}

std::string MrtReader::problem() const {
  return {};
}

}  // namespace tarvex::mrt
