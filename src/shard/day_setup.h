// The work directory made ready for the days: opened (or taken up again) under the key of
// everything that decides a day's result, holding the copies of the saved lists and the run-day
// script that every engine runs once per day.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "settings/search_settings.h"
#include "shard/saved_lists.h"
#include "shard/shard_options.h"
#include "shard/work_directory.h"

namespace tarvex::shard {

struct DaySetup {
  WorkDirectory workdir;
  std::string currentDir;        // where every day runs
  SearchSettings daySearch;      // the run's settings, the saved lists read from their copies
  std::string dayStartMessages;  // what each day's run writes before its day
};

/// Sets up the work directory of the run that `options` ask for; `lists` (read, not yet saved)
/// get their copies there. Returns the message when it cannot be done.
std::variant<DaySetup, std::string> setUpDays(const ShardOptions& options,
                                              std::vector<SavedList>& lists);

}  // namespace tarvex::shard
