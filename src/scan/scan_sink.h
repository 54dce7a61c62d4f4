// Where the bytes of a scan go: report lines to the output stream, messages to standard output
// or standard error.
//
// Every routine below the entry point writes through a sink rather than to a stream of its own,
// so that the order of report lines and messages across the three channels is decided in one
// place. The sink that writes straight to the process's descriptors is `ProcessOutput`.
#pragma once

#include <string_view>

namespace tarvex {

enum class Channel {
  kReport,  // the output stream: standard output or the --outfile file
  kStdout,  // messages that belong on standard output
  kStderr,  // messages that belong on standard error
};

class ScanSink {
 public:
  virtual ~ScanSink() = default;

  /// Writes `bytes` to `channel` at once; a report line is complete (newline included) and is
  /// handed over in one call, so it reaches its reader whole.
  virtual void write(Channel channel, std::string_view bytes) = 0;

  void report(std::string_view line) { write(Channel::kReport, line); }
  void toStdout(std::string_view text) { write(Channel::kStdout, text); }
  void toStderr(std::string_view text) { write(Channel::kStderr, text); }
};

}  // namespace tarvex
