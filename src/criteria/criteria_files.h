// The criteria files: the CIDR list becomes the IP set, the AS number list the AS number set.
//
// Both files are read line by line, split on the line feed alone, each line taken verbatim.
// A list file that cannot be opened ends the run ("Couldn't open file PATH", status 1) before any
// dump is opened.
#pragma once

#include <string>

#include "settings/search_settings.h"

namespace tarvex {

/// Builds the IP set of the CIDR list at `path` and stores its handle in `*setOut`. The set is
/// never released. Ends the process with status 1 when the file cannot be opened.
void loadCidrFile(const std::string& path, const IpSet** setOut);

/// Adds every line of the file at `settings.asnFile` to `settings.asnSet`. Ends the process with
/// status 1 when the file cannot be opened.
void loadAsnFile(SearchSettings& settings);

}  // namespace tarvex
