// Writes kept to be made later, in order, each as the one call it was.
//
// The one encoding of kept writes in the program: a run of events, each a channel byte, a 4-byte
// length and the bytes, in one buffer. A recording is handed on by moving the buffer, never by
// copying its lines (output_port.h, `writeRecorded`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvex {

enum class Channel {
  kReport,  // the output stream: standard output or the --outfile file
  kStdout,  // messages that belong on standard output
  kStderr,  // messages that belong on standard error
};

class RecordedWrites {
 public:
  void add(Channel channel, std::string_view bytes) {
    char header[kHeaderSize];
    header[0] = static_cast<char>(channel);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(header + 1, &length, sizeof length);
    events_.append(header, sizeof header);
    events_.append(bytes);
  }

  /// Calls `write(channel, bytes)` for every event, in order.
  template <typename Write>
  void forEach(Write&& write) const {
    std::string_view rest(events_);
    while (rest.size() >= kHeaderSize) {
      std::uint32_t length;
      std::memcpy(&length, rest.data() + 1, sizeof length);
      write(static_cast<Channel>(rest[0]), rest.substr(kHeaderSize, length));
      rest.remove_prefix(kHeaderSize + length);
    }
  }

  /// Bytes held, headers included.
  std::size_t size() const { return events_.size(); }
  bool empty() const { return events_.empty(); }

 private:
  static constexpr std::size_t kHeaderSize = 5;
  std::string events_;
};

}  // namespace tarvex
