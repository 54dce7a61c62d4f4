// The merge: the complete days' results written as one tarvex run over the whole range writes
// them. The start messages once, then for each day in walk order its standard output, its
// standard error less the start messages and its report, then what the walk writes after its
// last day. Each stream gets its bytes in that order, so two streams sent to one file
// interleave day by day.
//
// Writes fail as they fail for tarvex: a message that cannot be written is dropped, a report
// line that cannot be written ends the merge, and the part of it that reached a regular file is
// taken back, so that the report holds only whole lines. Report lines are told apart from the
// messages that share standard output with them ("Error statting file: ...") as tarvex's own
// output port tells them apart: by what wrote them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::shard {

struct MergeInputs {
  std::vector<std::string> dayResults;  // the days' result directories, in walk order
  std::string startMessages;            // as the single run writes them
  std::size_t dayStartBytes = 0;        // their length in each day's own standard error
  std::string trailer;
};

/// Why a merge ended before its last byte.
struct MergeStop {
  enum class Cause {
    kReportNotWritten,  // a report line could not be written (`error`)
    kResultNotRead,     // a day's file (`path`) could not be opened or read (`error`)
    kStopRequested,     // a stop was asked (stop_signals.h)
  };
  Cause cause;
  int error = 0;
  std::string path;
};

/// Writes the merged result to the descriptors; `reportFd` is -1 when the report goes to
/// standard output with the rest. Returns what ended it early, or nothing when all was written.
std::optional<MergeStop> mergeDays(const MergeInputs& inputs, int stdoutFd, int stderrFd,
                                   int reportFd);

}  // namespace tarvex::shard
