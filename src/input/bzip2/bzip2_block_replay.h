// The bytes of one bzip2 block that was checked whole but decodes to more than a reader keeps.
//
// libbz2 compares a block's CRC only after the block's last byte, and a block can decode to some
// 46 MB (the first run-length stage lets five bytes stand for 259), far more than a reader may
// hold while it waits for the check. Such a block is decoded once to be checked, its bytes
// thrown away, and then again by this source, which hands out exactly the bytes that the check
// counted, as libbz2 yields them. It owns the block, re-wrapped as a stream of one block
// (bzip2_blocks.h), and libbz2's state (about 3.6 MB at level 9) while it runs.
//
// The block was found sound, so it decodes the same again; should libbz2 still fail (it runs
// out of memory), the failure is worded as damage after the bytes handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "input/byte_source.h"

namespace tarvex::input {

struct LibBz2Stream;  // libbz2_stream.h

class Bzip2BlockReplay final : public ByteSource {
 public:
  /// `stream` holds the block as a stream of one block (an end marker is not needed); `size` is
  /// the number of bytes it decoded to when it was checked; `producedBefore` counts the
  /// decompressed bytes of the file before the block, for the words of a failure.
  Bzip2BlockReplay(std::vector<std::uint8_t> stream, std::uint64_t size,
                   std::uint64_t producedBefore);
  ~Bzip2BlockReplay() override;
  Bzip2BlockReplay(const Bzip2BlockReplay&) = delete;
  Bzip2BlockReplay& operator=(const Bzip2BlockReplay&) = delete;

  std::size_t read(std::span<std::uint8_t> into) override;

 private:
  std::vector<std::uint8_t> stream_;
  std::unique_ptr<LibBz2Stream> decompressor_;
  std::uint64_t size_;
  std::uint64_t handedOut_ = 0;
  std::uint64_t producedBefore_;
};

}  // namespace tarvex::input
