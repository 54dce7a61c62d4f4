// Decompresses bzip2 data with libbz2, handing out a block's bytes only once its CRC has held.
//
// libbz2 writes a block's bytes out as it undoes the block's last stages and compares the block's
// CRC only after the last of them, so the bytes of a damaged block would reach the caller before
// the damage showed. This reader holds them back. It feeds libbz2 the compressed bytes in pieces,
// each ending with the byte in which the next block or end-of-stream signature at hand starts
// (bzip2_blocks.h), or, with none at hand, short of where one could start. libbz2 finishes a block
// once the block's last bit is in, and reads the next signature a byte at a time, which the at
// most seven bits of it in a piece do not allow: so a piece finishes at most one block, and once
// libbz2 asks for the next piece, that block's CRC has held. The block's bytes wait in a buffer of
// `budgets::kBzip2BlockOutput` bytes until then; a block that decodes to more is only checked,
// then decoded a second time from its compressed bits (bzip2_block_replay.h), which the reader
// keeps from the start of the block it is in (at most a block, which libbz2 bounds to some
// 2.3 MB). The bytes of a block whose check fails never go out.
//
// Concatenated streams (the output of parallel compressors, or files joined with cat) are all
// read. Damaged blocks, or data that ends inside a stream, stop the source with a failure naming
// the problem and the number of decompressed bytes handed out before it, which is where the
// damaged block begins; every block before it has been handed out. Bytes after the last stream
// that do not start another stream end the source too (all zero padding is accepted silently).
// Memory is fixed: libbz2's state (about 3.6 MB for 900 KB blocks, twice while a block is decoded
// a second time), the held block, its compressed bits, and the read-ahead of compressed_input.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "input/byte_source.h"
#include "input/bzip2/bzip2_blocks.h"
#include "input/compressed_input.h"

namespace tarvex::input {

struct LibBz2Stream;  // libbz2_stream.h

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
  enum class Phase { kStreamStart, kInStream };
  bool startStream();
  std::size_t nextPieceLength();
  void decodePiece();
  void releaseHeldBlock(std::uint64_t size);
  void replayBlock(std::uint64_t size, std::uint32_t crc);
  bool blockCrcIs(std::uint32_t crc) const;
  void moveBlockStart(std::size_t pieceLength);
  void stopAtFailure(const char* problem);

  std::unique_ptr<LibBz2Stream> stream_;
  Phase phase_ = Phase::kStreamStart;
  bool lastByteIsPadded_ = false;
  int level_ = 9;

  // A checked block's bytes, [heldUsed_, heldEnd_) not handed out yet; or its second decoding.
  std::unique_ptr<std::uint8_t[]> held_;
  std::size_t heldUsed_ = 0;
  std::size_t heldEnd_ = 0;
  std::unique_ptr<ByteSource> replay_;

  // The compressed bytes fed to libbz2 since the byte where the block it is in begins, and the
  // bit of them where that block's signature starts (kUnknown once a block ended at no
  // signature, which only damage or a cut follow).
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  std::vector<std::uint8_t> blockBits_;
  std::uint64_t blockStart_ = kUnknown;

  std::vector<Bzip2Mark> marks_;            // the signatures found while choosing a piece
  std::uint64_t pieceEndMark_ = kUnknown;   // the bit of the piece where the one ending it starts
  const char* failedAfterBlock_ = nullptr;  // libbz2's failure after the sound block held
};

}  // namespace tarvex::input
