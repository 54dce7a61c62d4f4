// The engines that search the missing days: one after another here, GNU parallel (on this
// machine's cores or on ssh hosts), or a Slurm job array, waited for or detached with a merge
// job behind it. Each runs the work directory's run-day script once per day and returns once
// every day has ended (or, detached, once the jobs are submitted); what a day leaves is judged
// afterwards, by the merge.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::shard {

struct EngineRun {
  std::string workdir;     // the work directory, absolute
  std::string dayList;     // the file listing the days to search, one per line
  std::size_t dayCount;    // how many lines it has
  std::string currentDir;  // where every day runs
  std::string jobs;        // --jobs as written; empty when not given
  std::vector<std::string> sshLogins;
  std::vector<std::string> sbatchOptions;
};

/// The result of an engine: nothing when the days have run; otherwise the message of a failure
/// to start them (tarvex-shard then ends with its usage status).
using EngineFailure = std::optional<std::string>;

EngineFailure runLocal(const EngineRun& run);
EngineFailure runParallel(const EngineRun& run);
/// Submits the array with "sbatch --wait" and waits for it. An interrupt or termination cancels
/// the job and ends tarvex-shard with status 130.
EngineFailure runSlurm(const EngineRun& run);
/// Submits the array and a merge job that runs `mergeCommand` after it; on success returns the
/// message that names both jobs in `submitted`.
EngineFailure submitDetachedSlurm(const EngineRun& run,
                                  const std::vector<std::string>& mergeCommand,
                                  std::string& submitted);

}  // namespace tarvex::shard
