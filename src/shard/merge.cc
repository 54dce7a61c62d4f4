#include "shard/merge.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "output/process_output.h"
#include "scan/dump_file_scan.h"
#include "shard/stop_signals.h"

namespace tarvex::shard {

namespace {

constexpr std::size_t kReadSize = 1 << 16;

// What a day's file holds, which decides what a failed write of it means.
enum class Content {
  kMessages,          // standard error, or standard output beside an --outfile report
  kReport,            // the --outfile report
  kReportAndMessages  // standard output holding the report lines
};

// The bytes of `text` up to and including its line feed at or after `from`, or to its end.
std::size_t lineEnd(std::string_view text, std::size_t from) {
  const std::size_t newline = text.find('\n', from);
  return newline == std::string_view::npos ? text.size() : newline + 1;
}

std::optional<MergeStop> writeReport(int fd, std::string_view lines) {
  std::size_t written = 0;
  const int error = writeAll(fd, lines, &written);
  if (error == 0) return std::nullopt;
  // What reached the file after its last complete line is taken back (npos + 1 is 0: no line).
  const std::size_t complete = lines.substr(0, written).rfind('\n') + 1;
  takeBackPartialLine(fd, written - complete);
  return MergeStop{MergeStop::Cause::kReportNotWritten, error, ""};
}

// Writes the complete lines `lines` of a file holding `content` to `fd`.
std::optional<MergeStop> writeLines(int fd, std::string_view lines, Content content) {
  if (content == Content::kMessages) {
    writeAll(fd, lines);  // a message that cannot be written is dropped, as tarvex drops it
    return std::nullopt;
  }
  if (content == Content::kReport) return writeReport(fd, lines);
  while (!lines.empty()) {
    // A run of report lines in one write, then a message line on its own.
    std::size_t reportEnd = 0;
    while (reportEnd < lines.size() && !lines.substr(reportEnd).starts_with(kErrorStattingFile)) {
      reportEnd = lineEnd(lines, reportEnd);
    }
    if (reportEnd > 0) {
      if (std::optional<MergeStop> stop = writeReport(fd, lines.substr(0, reportEnd))) return stop;
      lines.remove_prefix(reportEnd);
      continue;
    }
    const std::size_t messageEnd = lineEnd(lines, 0);
    writeAll(fd, lines.substr(0, messageEnd));
    lines.remove_prefix(messageEnd);
  }
  return std::nullopt;
}

// Copies the file at `path`, less its first `skip` bytes, to `fd`, a block of lines at a time.
std::optional<MergeStop> copyDayFile(const std::string& path, std::size_t skip, int fd,
                                     Content content) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return MergeStop{MergeStop::Cause::kResultNotRead, errno, path};
  if (skip > 0 && ::lseek(in, static_cast<off_t>(skip), SEEK_SET) < 0) {
    const int error = errno;
    ::close(in);
    return MergeStop{MergeStop::Cause::kResultNotRead, error, path};
  }
  std::string pending;  // read, not yet written: an incomplete last line
  std::optional<MergeStop> stop;
  for (;;) {
    if (stopSignal() != 0) {
      stop = MergeStop{MergeStop::Cause::kStopRequested, 0, ""};
      break;
    }
    const std::size_t kept = pending.size();
    pending.resize(kept + kReadSize);
    const ssize_t got = ::read(in, pending.data() + kept, kReadSize);
    pending.resize(kept + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      stop = MergeStop{MergeStop::Cause::kResultNotRead, errno, path};
      break;
    }
    // At the end, a last line without its line feed goes as it is.
    const std::size_t complete =
        got == 0 || content == Content::kMessages ? pending.size() : pending.rfind('\n') + 1;
    if ((stop = writeLines(fd, std::string_view(pending).substr(0, complete), content))) break;
    pending.erase(0, complete);
    if (got == 0) break;
  }
  ::close(in);
  return stop;
}

}  // namespace

std::optional<MergeStop> mergeDays(const MergeInputs& inputs, int stdoutFd, int stderrFd,
                                   int reportFd) {
  writeAll(stderrFd, inputs.startMessages);
  for (const std::string& result : inputs.dayResults) {
    const Content stdoutContent = reportFd < 0 ? Content::kReportAndMessages : Content::kMessages;
    std::optional<MergeStop> stop = copyDayFile(result + "/stdout", 0, stdoutFd, stdoutContent);
    if (!stop) {
      stop = copyDayFile(result + "/stderr", inputs.dayStartBytes, stderrFd, Content::kMessages);
    }
    if (!stop && reportFd >= 0) {
      stop = copyDayFile(result + "/report", 0, reportFd, Content::kReport);
    }
    if (stop) return stop;
  }
  writeAll(stdoutFd, inputs.trailer);
  return std::nullopt;
}

}  // namespace tarvex::shard
