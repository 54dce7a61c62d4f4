// The criteria files: the CIDR list becomes the IP set, the AS number list the AS number set.
//
// Both files are read line by line, split on the line feed alone, each line taken verbatim
// (line_file.h). A CIDR line that is not a block adds nothing to the set and gets a warning;
// AS number lines are stored as they are, whatever they hold. A list file that cannot be opened
// gets "Couldn't open file PATH" on standard error and the load reports failure, so the run
// ends with status 1 before any dump is opened. All messages go through `messages`, to its
// standard error channel.
#pragma once

#include <string>

#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Builds the IP set of the CIDR list at `path` and stores its handle in `*setOut`. The set
/// lives until the process ends and is never changed after this call. Each line that is not a
/// CIDR block gets a warning naming the file, the line number and the reason, and the load
/// goes on. Returns false, with `*setOut` untouched, when the file cannot be opened.
bool loadCidrFile(const std::string& path, const IpSet** setOut, ScanSink& messages);

/// The work of `loadCidrFile` on a set that the caller owns: adds the blocks of the CIDR list
/// at `path` to `set` and seals it. Returns false, with the set untouched, when the file cannot
/// be opened; then "Couldn't open file PATH" has been written.
bool readCidrFile(const std::string& path, IpSet& set, ScanSink& messages);

/// Adds every line of the file at `settings.asnFile` to `settings.asnSet`, verbatim. A line
/// that can never equal an origin AS (it holds a space, a tab or a carriage return) is stored
/// all the same; the first such line of the file gets a warning. Returns false when the file
/// cannot be opened.
bool loadAsnFile(SearchSettings& settings, ScanSink& messages);

}  // namespace tarvex
