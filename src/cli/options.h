// The command line: long options only, read into the run's settings with getopt_long.
#pragma once

#include <getopt.h>

#include "settings/search_settings.h"

namespace tarvex {

/// tarvex's options as getopt_long reads them, ended by an all-zero entry. tarvex-shard reads
/// the options it hands on to tarvex with this same table, so that an abbreviation, or an
/// option that takes the next argument as its value, means the same to both programs.
extern const option kLongOptions[];

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
