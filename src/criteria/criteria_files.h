// The criteria files: the CIDR list becomes the IP set, the AS number list the AS number set.
//
// Both files are read line by line, split on the line feed alone, each line taken verbatim
// (line_file.h). A CIDR line that is not a block adds nothing to the set; one whose IPv4 address
// is written as an integer ("10/8" is 0.0.0.0/8) is added as read. AS number lines are stored as
// they are, whatever they hold. Every line worth a word goes to the caller's reporter
// (list_line_reporter.h), and the load goes on.
//
// A list that cannot be opened (a directory, a named pipe without a writer) or whose read fails
// part way gives no set at all, only the failure: a search with a list cut short would mean
// something else, so the caller ends the run before any dump is opened. Nothing here writes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "criteria/ip_set.h"
#include "criteria/list_line_reporter.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Why a list could not be loaded.
struct ListFailure {
  bool opened = false;        // false: the open failed; true: a read failed part way
  int error = 0;              // the errno of the failed open or read
  std::size_t linesRead = 0;  // the whole lines read before a read failed
};

/// What a list load gives: the set, never changed again and shared by every record that holds
/// it, or why there is none.
template <typename Set>
struct ListLoad {
  std::shared_ptr<const Set> set;  // null exactly when the load failed
  ListFailure failure;             // why it failed; meaningless when `set` is there
};

/// The IP set of the CIDR list at `path`, sealed. Each line that is not a CIDR block, or is one
/// that needs a word, goes to `reporter`.
ListLoad<IpSet> loadCidrFile(const std::string& path, ListLineReporter& reporter);

/// The set of the lines of the AS number list at `path`, verbatim. Lines that can never equal
/// an origin token (origin_token_check.h) are stored all the same and go to `reporter`.
ListLoad<SearchSettings::AsnSet> loadAsnFile(const std::string& path, ListLineReporter& reporter);

}  // namespace tarvex
