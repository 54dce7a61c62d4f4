#include "input/bzip2/bzip2_source.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/memory_budgets.h"
#include "input/bzip2/bzip2_block_replay.h"
#include "input/bzip2/bzip2_crc.h"
#include "input/bzip2/libbz2_stream.h"

namespace tarvex::input {

namespace {

constexpr std::size_t kHeldCapacity = budgets::kBzip2BlockOutput;
// A signature is 48 bits: one that is not whole among the bytes at hand starts in their last
// six, so a piece that stops short of those holds no bit of it.
constexpr std::size_t kSignatureTailBytes = 6;
// The signature that ends a piece is looked for this many bits at a time, so that the search
// stops soon after the first one.
constexpr std::uint64_t kMarkSearchStepBits = 8 * 16 * 1024;

}  // namespace

Bzip2Source::Bzip2Source(std::unique_ptr<ByteSource> compressed,
                         std::span<const std::uint8_t> peeked, std::uint64_t producedBefore)
    : CompressedSource("bzip2", std::move(compressed), peeked, producedBefore),
      stream_(std::make_unique<LibBz2Stream>()) {}

Bzip2Source::~Bzip2Source() = default;

// At the start of a stream, or at the end of the file after the last one.
bool Bzip2Source::startStream() {
  static constexpr std::uint8_t kMagic[] = {'B', 'Z', 'h'};
  if (!nextStreamStarts(kMagic)) return false;
  if (const int result = stream_->start(); result != BZ_OK) {
    stop(std::string("bzip2 decompressor cannot start (") + bzip2ErrorText(result) + ")");
    return false;
  }
  // A block decoded a second time is wrapped in a stream of the same block size. A bad digit
  // fails in libbz2 before any block.
  input_.want(4);
  const std::uint8_t digit = input_.size() >= 4 ? input_.data()[3] : 0;
  level_ = digit >= '1' && digit <= '9' ? digit - '0' : 9;
  blockBits_.clear();
  blockStart_ = 32;  // the first block follows "BZh" and the digit
  phase_ = Phase::kInStream;
  return true;
}

std::size_t Bzip2Source::read(std::span<std::uint8_t> into) {
  std::size_t written = 0;
  while (written < into.size()) {
    const std::span<std::uint8_t> rest = into.subspan(written);
    if (heldUsed_ < heldEnd_) {
      const std::size_t count = std::min(rest.size(), heldEnd_ - heldUsed_);
      std::memcpy(rest.data(), held_.get() + heldUsed_, count);
      heldUsed_ += count;
      written += count;
      produced_ += count;
      continue;
    }
    if (replay_) {
      const std::size_t got = replay_->read(rest);
      written += got;
      produced_ += got;
      if (got != 0) continue;
      if (!replay_->failure().empty()) stop(std::string(replay_->failure()));
      replay_.reset();
      continue;
    }
    if (done()) break;
    if (phase_ == Phase::kStreamStart) {
      if (!startStream()) break;
      continue;
    }
    decodePiece();
  }
  return written;
}

// How many of the bytes at hand libbz2 gets next: up to and including the byte in which the next
// signature starts, or, with none whole at hand, all but the bytes in which one could start.
// 0 once the input has ended.
std::size_t Bzip2Source::nextPieceLength() {
  // Longer pieces mean fewer calls: the read-ahead is topped up once it runs low.
  if (input_.size() < budgets::kCompressedReadAhead / 2) input_.refill();
  while (input_.size() <= kSignatureTailBytes && input_.refill()) {
  }
  const std::span<const std::uint8_t> bytes(input_.data(), input_.size());
  const std::uint64_t bits = std::uint64_t{bytes.size()} * 8;
  // The search starts at bit 1: a signature at bit 0 is the one that ended the last piece.
  marks_.clear();
  for (std::uint64_t from = 1; from < bits && marks_.empty(); from += kMarkSearchStepBits) {
    findBzip2Marks(bytes, from, from + kMarkSearchStepBits, 0, marks_);
  }
  if (!marks_.empty()) {
    pieceEndMark_ = marks_.front().bit;
    return static_cast<std::size_t>((pieceEndMark_ + 7) / 8);
  }
  pieceEndMark_ = kUnknown;
  if (input_.ended()) return bytes.size();
  return bytes.size() - kSignatureTailBytes;
}

// Feeds libbz2 one piece and lets it write all it can of it. The bytes of the block the piece
// finishes, if any, are then held for read() to hand out; or the source stops at the damage.
void Bzip2Source::decodePiece() {
  if (failedAfterBlock_ != nullptr) {
    stopAtFailure(failedAfterBlock_);
    return;
  }
  const std::size_t length = nextPieceLength();
  if (length == 0) {
    // libbz2 has written everything it could (each piece ends with that): the data ends here.
    stopEarlyEnd();
    return;
  }
  if (!held_) held_ = std::make_unique_for_overwrite<std::uint8_t[]>(kHeldCapacity);
  bz_stream& state = stream_->state;
  state.next_in = reinterpret_cast<char*>(input_.data());
  state.avail_in = static_cast<unsigned int>(length);
  // The bytes go to held_ while they fit. A block that decodes to more is written over held_
  // again and again, only to be checked and counted; the CRC of the bytes written over is kept,
  // for when libbz2 goes on from the block into damage (see below).
  std::uint64_t output = 0;
  std::size_t at = 0;  // where the next bytes go in held_
  bool heldWhole = true;
  std::uint32_t crcWrittenOver = kBzip2CrcStart;
  int result = BZ_OK;
  for (;;) {
    const auto room = static_cast<unsigned int>(kHeldCapacity - at);
    state.next_out = reinterpret_cast<char*>(held_.get() + at);
    state.avail_out = room;
    result = BZ2_bzDecompress(&state);
    const std::size_t wrote = room - state.avail_out;
    output += wrote;
    at += wrote;
    if (result != BZ_OK || state.avail_out != 0) break;
    crcWrittenOver = bzip2CrcUpdate(crcWrittenOver, {held_.get(), at});
    at = 0;
    heldWhole = false;
  }
  const std::size_t consumed = length - state.avail_in;
  blockBits_.insert(blockBits_.end(), input_.data(), input_.data() + consumed);
  input_.consume(consumed);

  // The CRC of all the bytes libbz2 wrote for this piece.
  auto outputCrc = [&] {
    return bzip2CrcFinish(bzip2CrcUpdate(crcWrittenOver, {held_.get(), at}));
  };

  if (result == BZ_OK || result == BZ_STREAM_END) {
    // libbz2 asks for more input, or the stream is over: the block this piece finished, if it
    // finished one, has passed its CRC (and at a stream's end, so has the combined CRC).
    if (output != 0) {
      if (heldWhole) {
        releaseHeldBlock(output);
      } else {
        replayBlock(output, outputCrc());
      }
      moveBlockStart(consumed);
    }
    if (result == BZ_STREAM_END) {
      stream_->end();
      phase_ = Phase::kStreamStart;
    }
    return;
  }
  // Damage: in the block this piece was to finish, or, where no signature marks that block's end,
  // in what follows it, and the block itself passed its CRC.
  if (output != 0 && blockCrcIs(outputCrc())) {
    if (heldWhole) {
      releaseHeldBlock(output);
    } else {
      replayBlock(output, outputCrc());
    }
    failedAfterBlock_ = bzip2ErrorText(result);
    return;
  }
  stopAtFailure(bzip2ErrorText(result));
}

void Bzip2Source::releaseHeldBlock(std::uint64_t size) {
  heldUsed_ = 0;
  heldEnd_ = static_cast<std::size_t>(size);
}

// A block that passed its CRC but decoded to more than held_ takes is decoded again from its
// compressed bits. The CRC stored there must be that of the bytes the check counted: the bits are
// then those of the block checked. Otherwise (which the way blocks are tracked rules out) none of
// its bytes go out.
void Bzip2Source::replayBlock(std::uint64_t size, std::uint32_t crc) {
  if (!blockCrcIs(crc)) {
    stopDamaged("data integrity error");
    return;
  }
  const Bzip2BitRange block{blockBits_, blockStart_,
                            std::uint64_t{blockBits_.size()} * 8 - blockStart_};
  std::vector<std::uint8_t> stream;
  wrapBzip2Block({&block, 1}, level_, stream);
  replay_ = std::make_unique<Bzip2BlockReplay>(std::move(stream), size, produced_);
}

// The piece of `pieceLength` bytes, the last that blockBits_ took, finished a block: the next one
// starts at the signature that ended the piece.
void Bzip2Source::moveBlockStart(std::size_t pieceLength) {
  if (pieceEndMark_ == kUnknown || (pieceEndMark_ + 7) / 8 > pieceLength) {
    blockStart_ = kUnknown;
    return;
  }
  const std::uint64_t start = std::uint64_t{blockBits_.size() - pieceLength} * 8 + pieceEndMark_;
  blockBits_.erase(blockBits_.begin(), blockBits_.begin() + static_cast<std::ptrdiff_t>(start / 8));
  blockStart_ = start % 8;
}

// Whether `crc` is the CRC stored for the block libbz2 is in: it may have finished a sound block
// and met damage after it within the same piece.
bool Bzip2Source::blockCrcIs(std::uint32_t crc) const {
  if (blockStart_ == kUnknown) return false;
  return static_cast<std::uint32_t>(readBits(blockBits_, blockStart_ + 48, 32)) == crc;
}

void Bzip2Source::stopAtFailure(const char* problem) {
  // Bits that were only padding are no evidence of damage: the data was cut there.
  if (lastByteIsPadded_ && input_.size() == 0 && !input_.refill()) {
    stopEarlyEnd();
  } else {
    stopDamaged(problem);
  }
}

}  // namespace tarvex::input
