// The checks of a run's command line that come before any search, each where the entry point
// calls it: arguments that no option takes, a --file list that --update makes unused, an output
// file that is one of the run's own inputs, criteria lists with which nothing can match, and
// archive directories that are not there or whose own path decides what is searched below them.
// Mistakes like these used to pass in silence (a shell glob after one --update searched its first
// file only, a mistyped --dir found nothing, an --outfile naming the CIDR list or a listed dump
// emptied it before it was read).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "input/line_file.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Writes one "tarvex: " warning to standard error for each of `settings.operands`: none of
/// them is searched.
void warnAboutOperands(const SearchSettings& settings, OutputPort& out);

/// Writes a "tarvex: " warning when a --file list is given with --update dumps: only the dumps
/// are searched.
void warnAboutUnusedList(const SearchSettings& settings, OutputPort& out);

/// The "tarvex: " message refusing the run when `settings.outFile` is an existing regular file
/// that is also one of the run's inputs, which opening the output would empty: the CIDR list,
/// the AS number list, the dump list, an --update dump ("-" being standard input), and, when the
/// output file is not empty, every dump the --file list names or the date range would search.
/// Names are compared by device and inode, through symbolic links. Nothing when the output file
/// is none of them. A run whose output file is new or empty reads no list and walks no day here.
///
/// To look at the --file list's dumps the list is read ahead. When `dumpList` is given, it then
/// receives the list, rewound, for the scan to read again (a list from a pipe can be read only
/// once, so it is kept in memory); without it such a list is not looked at.
std::optional<std::string> outfileIsAnInput(const SearchSettings& settings,
                                            std::unique_ptr<input::LineFile>* dumpList = nullptr);

/// Writes one "tarvex: " warning to standard error for each of `settings.dirs` that does not
/// exist or is not a directory: the walk of the archive finds nothing there. An empty value is
/// the root directory to the walk, and is passed over. In a date-range run, a --dir whose own path
/// holds "meta" (nothing below it is searched) or "updates" (everything below it is) is named too.
void warnAboutDirs(const SearchSettings& settings, OutputPort& out);

/// The start of every run, before its first dump, in this order: the warnings about arguments
/// that no option takes and about an unused --file list; `beforeLists` (the entry point checks
/// and opens the output file there), which ends the start when it returns false; the criteria
/// lists, loaded into `settings` with the warnings about their lines (a list that cannot be opened
/// or read to its end ends the start, with why), each followed by a warning when it is empty and
/// must match; the
/// warnings about --dir. Every run with the same options thus starts with the same messages,
/// which tarvex-shard learns by taking the same steps. Returns false when the run must end with
/// status 1.
bool startRun(SearchSettings& settings, OutputPort& out, const std::function<bool()>& beforeLists);

}  // namespace tarvex
