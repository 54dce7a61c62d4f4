// The checks of a run's command line that come before any search, each where the entry point
// calls it: arguments that no option takes, an output file that is one of the run's own inputs,
// and archive directories that are not there. Mistakes like these used to pass in silence (a
// shell glob after one --update searched its first file only, a mistyped --dir found nothing,
// an --outfile naming the CIDR list emptied it before it was read).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Writes one "tarvex: " warning to standard error for each of `settings.operands`: none of
/// them is searched.
void warnAboutOperands(const SearchSettings& settings, OutputPort& out);

/// The "tarvex: " message refusing the run when `settings.outFile` is an existing regular file
/// that is also one of the run's inputs (the CIDR list, the AS number list, the dump list or an
/// --update dump, "-" being standard input), which opening the output would empty. Names are
/// compared by device and inode, through symbolic links. Nothing when the output file is none
/// of them.
std::optional<std::string> outfileIsAnInput(const SearchSettings& settings);

/// Writes one "tarvex: " warning to standard error for each of `settings.dirs` that does not
/// exist or is not a directory: the walk of the archive finds nothing there. An empty value is
/// the root directory to the walk, and is passed over.
void warnAboutMissingDirs(const SearchSettings& settings, OutputPort& out);

/// The start of every run, before its first dump, in this order: the warnings about arguments
/// that no option takes; `beforeLists` (the entry point checks and opens the output file there),
/// which ends the start when it returns false; the criteria lists, loaded into `settings` (a
/// list that cannot be opened or read to its end ends the start, its loader having said why);
/// the warnings about --dir. Every run with the same options thus starts with the same messages,
/// which tarvex-shard learns by taking the same steps. Returns false when the run must end with
/// status 1.
bool startRun(SearchSettings& settings, OutputPort& out, const std::function<bool()>& beforeLists);

}  // namespace tarvex
