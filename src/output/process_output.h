// The sink that writes to the process's own descriptors: report lines to the output stream
// (standard output or the --outfile file), messages to standard output and standard error.
//
// Each call is one write(2) of the whole text (repeated only for a short write), so every report
// line is flushed as soon as it is complete and lines never mix with messages. A report line that
// cannot be written ends the process: one "tarvex: " message naming the output and the reason on
// standard error, status 1; a part of the line that reached a regular file is taken back, so the
// report keeps only complete lines. A reader that has gone away ends it quietly with status 1,
// at the next report line or, for a pipe, as soon as the reader leaves. SIGPIPE and SIGXFSZ are
// ignored from construction on, so that these faults come back as errors of the write. Messages
// that cannot be written are dropped: there is nowhere left to report them.
#pragma once

#include <string>
#include <string_view>

#include <atomic>
#include <cstdint>

#include "output/output_port.h"
#include "output/terminal_overlay.h"

namespace tarvex {

/// How the message begins that ends a run whose --outfile cannot be opened (the path and the
/// reason follow); tarvex-shard recognises a day that failed so by it.
inline constexpr std::string_view kCannotOpenOutputFile = "tarvex: cannot open output file ";

/// What tarvex calls its standard output in a message about the report.
inline constexpr std::string_view kStandardOutputName = "standard output";

/// The exit status of a run whose report cannot be written.
inline constexpr int kStatusReportNotWritten = 1;

/// How the message begins that ends a run whose report cannot be written (the output's name and
/// the reason follow); tarvex-shard writes it for a merged report and recognises a day that
/// failed so by it.
inline constexpr std::string_view kCannotWriteReport = "tarvex: cannot write report to ";

/// The whole message for a report to `output` ("standard output" or the file's path) whose write
/// failed with `error`, line feed included.
std::string cannotWriteReportMessage(std::string_view output, int error);

/// Writes all of `bytes` to `fd`, retrying after interruptions and short writes. Returns 0, or
/// the errno of the write that failed; counts in `*written` (when given) the bytes that reached
/// `fd`.
int writeAll(int fd, std::string_view bytes, std::size_t* written = nullptr);

/// Takes back from the regular file `fd` the last `written` bytes before its offset: the part of
/// a line that a full disk or a file size limit let through, so that the file ends with its last
/// complete line. Anything else (a pipe, a device) keeps what it has taken.
void takeBackPartialLine(int fd, std::size_t written);

class ProcessOutput final : public OutputPort {
 public:
  /// Report lines go to standard output.
  ProcessOutput();
  ~ProcessOutput() override;
  ProcessOutput(const ProcessOutput&) = delete;
  ProcessOutput& operator=(const ProcessOutput&) = delete;

  /// Creates or empties `path` and sends report lines there. Returns 0, or the errno of the
  /// failed open (report lines then still go to standard output).
  int openFile(const std::string& path);

  void write(Channel channel, std::string_view bytes) override;

  /// Brackets every write with `overlay`'s calls from now on (null: no overlay). The overlay
  /// must outlive its use here.
  void setOverlay(TerminalOverlay* overlay) { overlay_ = overlay; }

  /// Report lines written so far; may be read from any thread.
  std::uint64_t reportLines() const { return reportLines_.load(std::memory_order_relaxed); }

 private:
  // Closes the --outfile file, if one is open; report lines go nowhere afterwards.
  void closeFile();
  // Writes `bytes` to `fd` out of the overlay's way; the errno of a failed write, or 0. Counts
  // in `*written` (when given) the bytes that reached `fd`.
  int writeAround(int fd, std::string_view bytes, std::size_t* written = nullptr);
  // Ends the run after a failed report write that got `written` bytes of the line out.
  [[noreturn]] void failReport(int error, std::size_t written);

  int reportFd_;
  std::string reportName_;
  TerminalOverlay* overlay_ = nullptr;
  std::atomic<std::uint64_t> reportLines_{0};
};

}  // namespace tarvex
