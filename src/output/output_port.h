// Where the bytes of a scan go: report lines to the output stream, messages to standard output
// or standard error.
//
// Every routine below the entry point writes through a sink rather than to a stream of its own,
// so that the order of report lines and messages across the three channels is decided in one
// place. The port that writes straight to the process's descriptors is `ProcessOutput`; the one
// that scans several files at once and still writes everything in call order is `ParallelScans`
// (both keep order with ordered_output.h).
#pragma once

#include <functional>
#include <string_view>
#include <utility>

#include "output/recorded_writes.h"

namespace tarvex {

class OutputPort {
 public:
  virtual ~OutputPort() = default;

  /// Writes `bytes` to `channel` at once; a report line is complete (newline included) and is
  /// handed over in one call, so it reaches its reader whole.
  virtual void write(Channel channel, std::string_view bytes) = 0;

  /// Makes the writes of `writes`, recorded elsewhere, as if each were made here and now. A port
  /// that keeps writes itself takes the recording over as it is, so no line is copied twice.
  virtual void writeRecorded(RecordedWrites&& writes) {
    writes.forEach([this](Channel channel, std::string_view bytes) { write(channel, bytes); });
  }

  /// One file's scan: a job that writes everything it has to say through the sink it is given.
  using ScanJob = std::function<void(OutputPort&)>;

  /// Runs `job` as if it ran here and now. A sink may run it later on another thread, but what
  /// the job writes still comes out after everything written before this call and before
  /// everything written after it.
  virtual void runScan(ScanJob job) { job(*this); }

  /// Waits until everything handed to the sink so far has been written.
  virtual void drain() {}

  void report(std::string_view line) { write(Channel::kReport, line); }
  void toStdout(std::string_view text) { write(Channel::kStdout, text); }
  void toStderr(std::string_view text) { write(Channel::kStderr, text); }
};

/// A port that drops everything: for a walk whose messages are not wanted (a look ahead at what
/// a run will read).
class DiscardingPort final : public OutputPort {
 public:
  void write(Channel, std::string_view) override {}
};

}  // namespace tarvex
