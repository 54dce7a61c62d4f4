// The tarvex that searches the days: named by --tarvex, else the one next to tarvex-shard, else
// the first on the PATH. It is checked once, at the start, to be tarvex: its answer to --help
// must be tarvex's own usage text (cli/usage.h) with tarvex's status. A wrong program (a typo
// naming /bin/false, a wrapper that fails) would otherwise end every day as a one-day search
// ends, with status 1, and its days would be merged as days that found nothing.
#pragma once

#include <optional>
#include <string>

namespace tarvex::shard {

/// Finds the program (when `program` is empty) and checks it; on success `program` holds its
/// absolute path. Returns the message when there is none, or it is no tarvex.
std::optional<std::string> findTarvex(std::string& program);

/// `path` made absolute, its symbolic links resolved as far as they exist.
std::string resolvedPath(const std::string& path);

}  // namespace tarvex::shard
