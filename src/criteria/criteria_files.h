// The criteria files: the CIDR list becomes the IP set, the AS number list the AS number set.
//
// Both files are read line by line, split on the line feed alone, each line taken verbatim
// (line_file.h). A CIDR line that is not a block adds nothing to the set and gets a warning; one
// whose IPv4 address is written as an integer ("10/8" is 0.0.0.0/8) is added as read, with a
// warning that shows the reading. AS number lines are stored as they are, whatever they hold;
// those that can never equal an origin token are named. A list file that cannot be opened (a
// directory, a named pipe without a writer) gets "Couldn't open file PATH" on standard error,
// and one whose read fails part way a "tarvex: " message naming the line reached: either way the
// load reports failure, so the run ends with status 1 before any dump is opened, rather than
// search with a list that means something else. All messages go through `messages`, to its
// standard error channel.
#pragma once

#include <string>

#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Builds the IP set of the CIDR list at `path` and stores its handle in `*setOut`. The set
/// lives until the process ends and is never changed after this call. Each line that is not a
/// CIDR block gets a warning naming the file, the line number and the reason, and the load
/// goes on. Returns false, with `*setOut` untouched, when the file cannot be opened or read to
/// its end.
bool loadCidrFile(const std::string& path, const IpSet** setOut, OutputPort& messages);

/// The work of `loadCidrFile` on a set that the caller owns: adds the blocks of the CIDR list
/// at `path` to `set` and seals it. Returns false when the file cannot be opened (the set is
/// untouched, and "Couldn't open file PATH" has been written) or its read fails part way (the
/// set holds the lines before the failure, unsealed, and is not to be used).
bool readCidrFile(const std::string& path, IpSet& set, OutputPort& messages);

/// Adds every line of the file at `settings.asnFile` to `settings.asnSet`, verbatim. Lines that
/// can never equal an origin token (origin_token_check.h) are stored all the same and named,
/// each with its reason: the first five one by one, any more in a count. Returns false when the
/// file cannot be opened or read to its end; `settings.asnSet` is then not to be used.
bool loadAsnFile(SearchSettings& settings, OutputPort& messages);

}  // namespace tarvex
