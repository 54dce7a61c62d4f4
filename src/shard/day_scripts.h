// The small shell scripts tarvex-shard writes into the work directory for the hosts that search
// the days: `run-day` searches one day and renames its result into place, `slurm-task` maps an
// array task to its day, `slurm-merge` is the job that merges after a detached array. Shell is
// the natural tool on the far side of ssh and sbatch; every value in them is quoted here.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/search_settings.h"
#include "shard/host_checks.h"

namespace tarvex::shard {

/// `word` quoted for bash, so that it reads back as the same single word.
std::string shellQuote(const std::string& word);

/// The text of run-day: in `currentDir`, checks that the host shares `shared` with this one,
/// runs `tarvexProgram` over the day given as argument with the options of `search`, and keeps
/// its results below `daysDir`. It ends with status 0 when the day is kept (or was already),
/// else with another, having said why on standard error.
std::string runDayScript(const std::string& currentDir, const std::string& daysDir,
                         const std::string& tarvexProgram, const SearchSettings& search,
                         const SharedFiles& shared);

/// The text of slurm-task: array task N runs `runDay` on the day on line N+1 of `dayList`.
std::string slurmTaskScript(const std::string& runDay, const std::string& dayList);

/// The text of slurm-merge: runs the command `words`, each descriptor of `inputs` reading its
/// file (a list that the command names as /dev/stdin or /dev/fd/N reads its saved copy).
std::string slurmMergeScript(const std::vector<std::string>& words,
                             const std::vector<std::pair<int, std::string>>& inputs);

/// Writes `text` to `path` as an executable file; false when it cannot (errno says why).
bool writeScript(const std::string& path, const std::string& text);

}  // namespace tarvex::shard
