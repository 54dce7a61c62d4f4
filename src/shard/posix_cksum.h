// The checksum of POSIX cksum(1), which names the work directory and records the tarvex program
// and the criteria lists it was made with, so that a work directory can be recognised by
// `cksum` as well as by tarvex-shard.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex::shard {

/// The CRC that cksum prints for `bytes`.
std::uint32_t posixCksum(std::string_view bytes);

/// The line cksum prints for the file at `path` read from standard input: "CRC SIZE". Nothing
/// when the file cannot be read.
std::optional<std::string> cksumLineOfFile(const std::string& path);

}  // namespace tarvex::shard
