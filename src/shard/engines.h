// The engines that search the missing days: here, a few at a time; GNU parallel (on this
// machine's cores or on ssh hosts); or a Slurm job array, waited for or detached with a merge job
// behind it. Each runs the work directory's run-day script once per day and returns once every
// day has ended (or, detached, once the jobs are submitted), or once a stop was asked
// (stop_signals.h) and every day it started has been stopped. What a day leaves is judged
// afterwards, by the merge; what the engine said about each day goes to the EngineLog.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shard/engine_log.h"

namespace tarvex::shard {

/// The engine that --engine names.
enum class Engine { kLocal, kParallel, kSlurm };

struct EngineRun {
  std::string workdir;            // the work directory, absolute
  std::vector<std::string> days;  // the days to search, in walk order
  std::string dayList;            // a file listing them, one per line
  std::string currentDir;         // where every day runs
  std::string jobs;               // --jobs as written; empty when not given
  std::vector<std::string> sshLogins;
  std::vector<std::string> sbatchOptions;
};

/// The result of an engine: nothing when the days have run (or were stopped); otherwise the
/// message of a failure to start them (tarvex-shard then ends with its usage status).
using EngineFailure = std::optional<std::string>;

/// Runs the days on this machine, --jobs of them at once (default one: each tarvex already
/// decodes on every core).
EngineFailure runLocal(const EngineRun& run, EngineLog& log);
/// Runs the days through GNU parallel, --jobs at once on each host (default 2).
EngineFailure runParallel(const EngineRun& run, EngineLog& log);
/// Submits the array with "sbatch --wait" and waits for it; a stop cancels the job.
EngineFailure runSlurm(const EngineRun& run, EngineLog& log);
/// Runs the days with `engine`: one of the three above.
EngineFailure runEngine(Engine engine, const EngineRun& run, EngineLog& log);
/// Submits the array and a merge job that runs `mergeScript` (slurm-merge, written by the
/// caller) after it; on success returns the message that names both jobs in `submitted`.
EngineFailure submitDetachedSlurm(const EngineRun& run, const std::string& mergeScript,
                                  std::string& submitted);

}  // namespace tarvex::shard
