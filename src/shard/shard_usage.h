// The usage text of tarvex-shard.
#pragma once

#include <string_view>

namespace tarvex::shard {

/// The text --help prints, byte for byte.
extern const std::string_view kShardUsageText;

}  // namespace tarvex::shard
