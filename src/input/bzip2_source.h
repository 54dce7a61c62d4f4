// Decompresses bzip2 data with libbz2.
//
// Concatenated streams (the output of parallel compressors, or files joined with cat) are all
// read. Damaged blocks, or data that ends inside a stream, stop the source with a failure naming
// the problem and the number of decompressed bytes produced before it; everything produced before
// the damage has been handed out. Bytes after the last stream that do not start another stream
// end the source too (all zero padding is accepted silently). Memory is fixed: libbz2's state
// (about 4 MB for 900 KB blocks) and the read-ahead of compressed_input.h.
#pragma once

#include <memory>
#include <span>

#include "input/byte_source.h"
#include "input/compressed_input.h"

namespace tarvex::input {

class Bzip2Source final : public CompressedSource {
 public:
  /// `peeked` are the first bytes of `compressed`, already read to detect the format.
  /// `producedBefore` counts decompressed bytes that came before this source's first byte (when
  /// it takes over a file that another reader had begun); failures count from there.
  Bzip2Source(std::unique_ptr<ByteSource> compressed, std::span<const std::uint8_t> peeked,
              std::uint64_t producedBefore = 0);
  ~Bzip2Source() override;

  std::size_t read(std::span<std::uint8_t> into) override;

  /// Says that the last byte of the input is partly padding: zero bits standing for bits that the
  /// input does not have (the input was shifted by a number of bits). A decoding error met there
  /// then means that the data was cut short, not that it is damaged.
  void setLastByteIsPadded() { lastByteIsPadded_ = true; }

 private:
  struct Stream;
  enum class Phase { kStreamStart, kInStream };
  bool startStream();

  std::unique_ptr<Stream> stream_;
  Phase phase_ = Phase::kStreamStart;
  bool lastByteIsPadded_ = false;
};

}  // namespace tarvex::input
