// An output port for tests that keeps everything a scan writes: the text of each channel, and
// every write in the order it came, with its channel, for tests that care where one write ends
// and the next begins. Writes may come from several threads at once; read what was kept only
// once they are done.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "output/output_port.h"

namespace tarvex::testing {

class CapturePort final : public OutputPort {
 public:
  struct Write {
    Channel channel;
    std::string text;
    bool operator==(const Write&) const = default;
  };

  void write(Channel channel, std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    (channel == Channel::kReport ? report : channel == Channel::kStdout ? out : err) += bytes;
    writes.push_back({channel, std::string(bytes)});
  }

  /// The writes to `channel`, one text a write.
  std::vector<std::string> writesTo(Channel channel) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const Write& write : writes) {
      if (write.channel == channel) texts.push_back(write.text);
    }
    return texts;
  }

  std::string report;  // everything written to Channel::kReport
  std::string out;     // to Channel::kStdout
  std::string err;     // to Channel::kStderr
  std::vector<Write> writes;

 private:
  mutable std::mutex mutex_;
};

inline void PrintTo(const CapturePort::Write& write, std::ostream* os) {
  const char* names[] = {"report", "stdout", "stderr"};
  *os << names[static_cast<int>(write.channel)] << " \"" << write.text << "\"";
}

}  // namespace tarvex::testing
