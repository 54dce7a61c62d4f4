// The merge: the complete days' results written as one tarvex run over the whole range writes
// them. The start messages once, then for each day in walk order its standard output, its
// standard error less the start messages and its report, then what the walk writes after its
// last day. Each stream gets its bytes in that order, so two streams sent to one file
// interleave day by day.
#pragma once

#include <string>
#include <vector>

namespace tarvex::shard {

struct MergeInputs {
  std::vector<std::string> dayResults;  // the days' result directories, in walk order
  std::string startMessages;
  std::string trailer;
};

/// Writes the merged result to the descriptors; `reportFd` is -1 when the report goes to
/// standard output with the rest. Write errors are not reported: a reader that has gone loses
/// the rest, as it would from a single run.
void mergeDays(const MergeInputs& inputs, int stdoutFd, int stderrFd, int reportFd);

}  // namespace tarvex::shard
