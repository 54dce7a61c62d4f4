// The usage text of tarvex-shard.
#pragma once

#include <string_view>

namespace tarvex::shard {

/// The text --help prints on standard output, byte for byte; a command line with no arguments
/// gets it on standard error, as a usage mistake.
extern const std::string_view kShardUsageText;

}  // namespace tarvex::shard
