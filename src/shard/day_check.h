// The check of the days' results before they are merged. The one-day run must have loaded the
// criteria lists as this host did (the same start messages) and then walked its day; it must not
// have ended on one of tarvex's fatal errors: a list it could not open or read to its end, an
// output file it could not open, a report it could not write (a full disk under the work
// directory), or its usage text. Each of these ends tarvex with status 1, as a one-day search
// ends, and the day would otherwise be merged as if it had searched everything.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shard/engine_log.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

struct DayExpectations {
  std::string startMessages;       // what a day's run writes first, as this host's load wrote it
  std::vector<std::string> lists;  // the criteria lists as the day's run names them
  bool verbose = false;            // the walk then says "Building list of files..." first
  bool reportInFile = false;       // the run had an --outfile
};

/// Why the complete day result in the directory `result` cannot be merged; nothing when it can.
std::optional<std::string> dayFault(const std::string& result, const DayExpectations& expected);

/// Whether every day of `days` has a complete and sound result in `workdir`. Each other day is
/// named on standard error with why it failed (from what its attempt left, else from what the
/// engine said of it in `log`); a complete day that cannot be merged is set aside, so that a
/// re-run searches it again.
bool checkDays(const WorkDirectory& workdir, const std::vector<std::string>& days,
               const DayExpectations& expected, const EngineLog& log);

}  // namespace tarvex::shard
