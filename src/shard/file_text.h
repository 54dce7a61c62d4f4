// The small files of the work directory (a day's messages, its status, the settings) read whole.
#pragma once

#include <string>

namespace tarvex::shard {

/// The bytes of the file at `path`, or an empty text when it cannot be read.
std::string fileText(const std::string& path);

}  // namespace tarvex::shard
