// The check of a day's complete result before it is merged: the one-day run must have loaded
// the criteria lists as this host did (the same start messages) and then walked its day. A run
// on a host that could not read a list, or that wrote its usage text, ends as a one-day run ends
// too, and would otherwise be merged as if it had searched.
#pragma once

#include <optional>
#include <string>

namespace tarvex::shard {

struct DayExpectations {
  std::string startMessages;  // what this host's load of the lists wrote
  bool verbose = false;       // the walk then says "Building list of files..." first
  bool reportInFile = false;  // the run had an --outfile
};

/// Why the complete day result in the directory `result` cannot be merged; nothing when it can.
std::optional<std::string> dayFault(const std::string& result, const DayExpectations& expected);

}  // namespace tarvex::shard
