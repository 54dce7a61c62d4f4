// The small files of the work directory (a day's messages, its status, the settings, the saved
// lists, the scripts) read and written whole.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace tarvex::shard {

/// The bytes of the file at `path`, or an empty text when it cannot be read.
std::string fileText(const std::string& path);

/// The bytes of the file at `path`, or nothing when it cannot be opened or read to its end.
std::optional<std::string> fileTextIfReadable(const std::string& path);

/// What `fd` yields up to its end, or nothing when a read fails.
std::optional<std::string> descriptorText(int fd);

/// A shell's "$(tail -n 1)" of `text`: its last line, less the line feed that ends it.
std::string lastLine(std::string_view text);

/// Creates (or empties) the file at `path`, with `mode` less the umask when it is new, and writes
/// `text` into it. Returns 0, or the errno of the failure; a file written in part is removed, so
/// that it is not read back later as if it were whole.
int writeFileText(const std::string& path, std::string_view text, mode_t mode = 0666);

}  // namespace tarvex::shard
