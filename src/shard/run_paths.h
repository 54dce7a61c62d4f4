// Two questions about paths that tarvex-shard asks before its days: whether the output file can
// be written, asked without creating or emptying it; and the current directory as the user's
// shell names it, which is where every day runs.
#pragma once

#include <string>

namespace tarvex::shard {

/// Whether the output file `path` can be written: an existing regular file or device that may be
/// written, or a new file in a directory that may be written. Nothing is created or emptied, so a
/// run that fails or is stopped before its merge leaves no report that looks complete.
bool outfileWritable(const std::string& path);

/// The current directory as the shell that started this program names it ($PWD), when that
/// still names it; else the physical path.
std::string currentDirectory();

}  // namespace tarvex::shard
