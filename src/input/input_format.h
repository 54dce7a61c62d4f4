// Chooses how to read a dump from its first bytes, never from its name.
//
// gzip (1f 8b) and bzip2 ("BZh", a block size digit and a block or end-of-stream signature)
// are decompressed; xz is recognised and refused with a failure; anything else is read as plain
// MRT. The returned source yields the decompressed bytes. Decompressed data whose own first bytes
// announce a compressed format (a file compressed twice) fails at once, with advice.
#pragma once

#include <memory>

#include "input/byte_source.h"

namespace tarvex::input {

enum class InputFormat { kPlain, kGzip, kBzip2, kXz };

/// The format that `head` (the first up to 10 bytes of the input) announces.
InputFormat detectInputFormat(std::span<const std::uint8_t> head);

/// Wraps `raw` in the decompressor its first bytes ask for; the format found goes to `*format`
/// when it is given. bzip2 is decoded block by block on `bzip2Workers` threads when that is 2
/// or more; otherwise on the calling thread.
std::unique_ptr<ByteSource> openDecodedInput(std::unique_ptr<ByteSource> raw, unsigned bzip2Workers,
                                             InputFormat* format = nullptr);

}  // namespace tarvex::input
