// The command line: long options only, read into the run's settings with getopt_long.
#pragma once

#include "settings/search_settings.h"

namespace tarvex {

enum class ParseOutcome {
  kRun,       // every option was accepted and --help was absent
  kRejected,  // getopt_long rejected an argument and has said why on standard error
  kHelp,      // --help was present
};

/// Reads `argv` into `settings` (which the caller has reset). Stops at the first rejected
/// argument; --help is looked at only once the whole command line has been read. On success the
/// arguments that are no option's value land in `settings.operands`.
ParseOutcome parseOptions(int argc, char** argv, SearchSettings& settings);

}  // namespace tarvex
