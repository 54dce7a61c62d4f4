// The check of a day's complete result before it is merged. The one-day run must have loaded the
// criteria lists as this host did (the same start messages) and then walked its day; it must not
// have ended on one of tarvex's fatal errors: a list it could not open or read to its end, an
// output file it could not open, a report it could not write (a full disk under the work
// directory), or its usage text. Each of these ends tarvex with status 1, as a one-day search
// ends, and the day would otherwise be merged as if it had searched everything.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::shard {

struct DayExpectations {
  std::string startMessages;       // what a day's run writes first, as this host's load wrote it
  std::vector<std::string> lists;  // the criteria lists as the day's run names them
  bool verbose = false;            // the walk then says "Building list of files..." first
  bool reportInFile = false;       // the run had an --outfile
};

/// Why the complete day result in the directory `result` cannot be merged; nothing when it can.
std::optional<std::string> dayFault(const std::string& result, const DayExpectations& expected);

}  // namespace tarvex::shard
