// What a day's host must share with the host that started tarvex-shard, checked on that host
// before its tarvex runs: the same tarvex program and criteria lists (by their cksum lines), every
// archive directory that is one here, and something in each that holds something here. A host
// that misses a mount or runs another build would otherwise search its day with other criteria,
// or find no files and report nothing, and its day would be merged as if it were sound.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/search_settings.h"

namespace tarvex::shard {

struct SharedFiles {
  std::string tarvexProgram;
  std::string tarvexCksum;  // empty when this host cannot read the program: then not checked
  std::vector<std::pair<std::string, std::string>> lists;  // list as named, its cksum line here
  std::vector<std::string> dirs;        // the --dir options that name a directory here
  std::vector<std::string> filledDirs;  // those of them that hold entries
};

/// What this host sees of `tarvexProgram` and of `search`'s lists and archive directories, whose
/// relative names are read from `currentDir`, as the days read them.
SharedFiles learnSharedFiles(const std::string& tarvexProgram, const SearchSettings& search,
                             const std::string& currentDir);

/// The bash text of run-day that checks `shared` on the day's host. It expects $host (the host's
/// name) and $work (the day's attempt directory); a difference writes a message starting with
/// "tarvex: " and naming the host to standard error and to $work/refused, and ends the script
/// with status 1 before the day is searched.
std::string sharedFilesCheck(const SharedFiles& shared);

}  // namespace tarvex::shard
