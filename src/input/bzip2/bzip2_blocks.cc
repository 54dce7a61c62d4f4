#include "input/bzip2/bzip2_blocks.h"

#include <bzlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "input/bzip2/libbz2_stream.h"

namespace tarvex::input {

namespace {

constexpr std::uint64_t kMask48 = (std::uint64_t{1} << 48) - 1;

// The scan's prefilter. A signature that starts at bit s (0..7) of byte i fills bytes i+1 and
// i+2 with bits 24+s..39+s of its magic; bit v of the table is set when the 16 bits v of two
// such bytes can belong to a signature, which is true for 16 values out of 65536.
struct PairTable {
  std::array<std::uint64_t, 1024> bits{};
};

constexpr PairTable makePairTable() {
  PairTable table{};
  for (std::uint64_t magic : {kBzip2BlockMagic, kBzip2EndMagic}) {
    for (unsigned shift = 0; shift < 8; ++shift) {
      const auto value = static_cast<unsigned>((magic >> (24 + shift)) & 0xffff);
      table.bits[value >> 6] |= std::uint64_t{1} << (value & 63);
    }
  }
  return table;
}

constexpr PairTable kPairs = makePairTable();

void* allocateForBzip2(void* opaque, int count, int size) {
  return static_cast<Bzip2Memory*>(opaque)->allocate(static_cast<std::size_t>(count) *
                                                     static_cast<std::size_t>(size));
}

void releaseForBzip2(void* opaque, void* block) {
  static_cast<Bzip2Memory*>(opaque)->release(block);
}

}  // namespace

const char* bzip2ErrorText(int code) {
  switch (code) {
    case BZ_DATA_ERROR:
      return "data integrity error";
    case BZ_DATA_ERROR_MAGIC:
      return "bad stream header";
    case BZ_MEM_ERROR:
      return "out of memory";
    default:
      return "unexpected decompressor state";
  }
}

std::uint64_t readBits(std::span<const std::uint8_t> bytes, std::uint64_t at, unsigned count) {
  if (count == 0) return 0;
  const std::uint64_t first = at / 8;
  std::uint64_t word = 0;
  for (std::uint64_t i = 0; i < 8; ++i) {
    word <<= 8;
    if (first + i < bytes.size()) word |= bytes[first + i];
  }
  return (word << (at % 8)) >> (64 - count);
}

void findBzip2Marks(std::span<const std::uint8_t> bytes, std::uint64_t fromBit, std::uint64_t toBit,
                    std::uint64_t baseBit, std::vector<Bzip2Mark>& out) {
  const std::uint64_t totalBits = std::uint64_t{bytes.size()} * 8;
  if (totalBits < 48) return;
  toBit = std::min(toBit, totalBits - 47);
  if (fromBit >= toBit) return;
  const std::uint8_t* data = bytes.data();
  const std::size_t lastByte = static_cast<std::size_t>((toBit - 1) / 8);
  for (std::size_t i = static_cast<std::size_t>(fromBit / 8); i <= lastByte; ++i) {
    // A signature that starts in byte i reaches at least byte i + 5.
    const unsigned pair = (unsigned{data[i + 1]} << 8) | data[i + 2];
    if (((kPairs.bits[pair >> 6] >> (pair & 63)) & 1) == 0) continue;
    const std::uint64_t window = readBits(bytes, std::uint64_t{i} * 8, 56);
    for (unsigned shift = 0; shift < 8; ++shift) {
      const std::uint64_t bit = std::uint64_t{i} * 8 + shift;
      if (bit < fromBit || bit >= toBit) continue;
      const std::uint64_t candidate = (window >> (8 - shift)) & kMask48;
      if (candidate == kBzip2BlockMagic) {
        out.push_back({baseBit + bit, Bzip2Mark::Kind::kBlock});
      } else if (candidate == kBzip2EndMagic) {
        out.push_back({baseBit + bit, Bzip2Mark::Kind::kEnd});
      }
    }
  }
}

void BitWriter::put(std::uint64_t value, unsigned count) {
  pending_ = (pending_ << count) | (value & ((std::uint64_t{1} << count) - 1));
  pendingCount_ += count;
  while (pendingCount_ >= 8) {
    pendingCount_ -= 8;
    out_.push_back(static_cast<std::uint8_t>(pending_ >> pendingCount_));
  }
  pending_ &= (std::uint64_t{1} << pendingCount_) - 1;
}

void BitWriter::copy(std::span<const std::uint8_t> bytes, std::uint64_t from, std::uint64_t count) {
  // Fill the partial byte first, so that whole bytes can follow.
  if (pendingCount_ != 0) {
    const unsigned head = static_cast<unsigned>(std::min<std::uint64_t>(8 - pendingCount_, count));
    put(readBits(bytes, from, head), head);
    from += head;
    count -= head;
  }
  const std::size_t whole = static_cast<std::size_t>(count / 8);
  if (whole == 0) {
    if (count != 0)
      put(readBits(bytes, from, static_cast<unsigned>(count)), static_cast<unsigned>(count));
    return;
  }
  const std::size_t at = out_.size();
  out_.resize(at + whole);
  const std::uint8_t* source = bytes.data() + from / 8;
  std::uint8_t* target = out_.data() + at;
  const unsigned shift = static_cast<unsigned>(from % 8);
  if (shift == 0) {
    std::memcpy(target, source, whole);
  } else {
    for (std::size_t k = 0; k < whole; ++k) {
      target[k] = static_cast<std::uint8_t>((source[k] << shift) | (source[k + 1] >> (8 - shift)));
    }
  }
  from += std::uint64_t{whole} * 8;
  count -= std::uint64_t{whole} * 8;
  if (count != 0)
    put(readBits(bytes, from, static_cast<unsigned>(count)), static_cast<unsigned>(count));
}

void BitWriter::finish() {
  if (pendingCount_ != 0) put(0, 8 - pendingCount_);
}

std::uint64_t maxBzip2BlockBits(int level) {
  // Signature, CRC, origin pointer and symbol map: under 400 bits. Selectors: at most 32767 of
  // at most 7 bits. Code lengths: 6 tables of 258 lengths of at most 41 bits. Symbols: at most
  // one per byte of the block and an end, of at most 20 bits each.
  const std::uint64_t blockBytes = std::uint64_t{100000} * static_cast<std::uint64_t>(level);
  return 400 + 32767 * 7 + 6 * 258 * 41 + 20 * (blockBytes + 1);
}

void wrapBzip2Block(std::span<const Bzip2BitRange> pieces, int level,
                    std::vector<std::uint8_t>& stream) {
  std::uint64_t bits = 0;
  for (const Bzip2BitRange& piece : pieces) bits += piece.count;
  BitWriter writer(stream);
  stream.reserve(static_cast<std::size_t>(bits / 8) + 16);
  writer.put('B', 8);
  writer.put('Z', 8);
  writer.put('h', 8);
  writer.put(static_cast<std::uint64_t>('0' + level), 8);
  for (const Bzip2BitRange& piece : pieces) writer.copy(piece.bytes, piece.from, piece.count);
  // The combined CRC of a stream of one block is that block's CRC, which follows its magic.
  const std::uint64_t blockCrc = readBits(pieces.front().bytes, pieces.front().from + 48, 32);
  writer.put(kBzip2EndMagic >> 24, 24);
  writer.put(kBzip2EndMagic & 0xffffff, 24);
  writer.put(blockCrc, 32);
  writer.finish();
}

Bzip2Memory::~Bzip2Memory() {
  for (void* block : spare_) std::free(block);
}

namespace {
constexpr std::size_t kHeader = 16;  // keeps the blocks 16-byte aligned
constexpr std::size_t kKeptBlocks = 8;
}  // namespace

void* Bzip2Memory::allocate(std::size_t size) {
  for (std::size_t i = 0; i < spare_.size(); ++i) {
    std::size_t spareSize = 0;
    std::memcpy(&spareSize, spare_[i], sizeof spareSize);
    if (spareSize == size) {
      void* block = spare_[i];
      spare_.erase(spare_.begin() + static_cast<std::ptrdiff_t>(i));
      return static_cast<std::uint8_t*>(block) + kHeader;
    }
  }
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return static_cast<std::uint8_t*>(block) + kHeader;
}

void Bzip2Memory::release(void* memory) {
  if (memory == nullptr) return;
  void* block = static_cast<std::uint8_t*>(memory) - kHeader;
  if (spare_.size() < kKeptBlocks) {
    spare_.push_back(block);
  } else {
    std::free(block);
  }
}

Bzip2BlockResult decodeBzip2Block(std::span<const std::uint8_t> stream, std::size_t limit,
                                  Bzip2Memory& memory, std::vector<std::uint8_t>& out,
                                  std::uint64_t* oversizedOutput) {
  bz_stream state{};
  state.bzalloc = allocateForBzip2;
  state.bzfree = releaseForBzip2;
  state.opaque = &memory;
  if (BZ2_bzDecompressInit(&state, 0, 0) != BZ_OK) return Bzip2BlockResult::kFailed;
  // libbz2 takes non-const input; it never writes to it.
  state.next_in = const_cast<char*>(reinterpret_cast<const char*>(stream.data()));
  state.avail_in = libBz2Room(stream.size());

  constexpr std::size_t kFirstOutput = 1024 * 1024;
  std::size_t produced = 0;
  out.resize(std::min(limit, std::max(kFirstOutput, out.capacity())));
  Bzip2BlockResult result = Bzip2BlockResult::kFailed;
  for (;;) {
    state.next_out = reinterpret_cast<char*>(out.data() + produced);
    const unsigned int offered = libBz2Room(out.size() - produced);
    state.avail_out = offered;
    const int code = BZ2_bzDecompress(&state);
    produced += offered - state.avail_out;
    if (code == BZ_STREAM_END) {
      result = Bzip2BlockResult::kDecoded;
      break;
    }
    // Output room left over means libbz2 wanted input that the stream does not have.
    if (code != BZ_OK || state.avail_out != 0) break;
    if (out.size() < limit) {
      out.resize(std::min(limit, out.size() * 2));
      continue;
    }
    // Larger than the caller may keep: check it to its end without keeping the output.
    std::array<char, 64 * 1024> scratch;
    std::uint64_t total = produced;
    int verdict = BZ_OK;
    while (verdict == BZ_OK) {
      state.next_out = scratch.data();
      state.avail_out = scratch.size();
      verdict = BZ2_bzDecompress(&state);
      total += scratch.size() - state.avail_out;
      if (verdict == BZ_OK && state.avail_out != 0) break;
    }
    if (verdict == BZ_STREAM_END) {
      result = Bzip2BlockResult::kOversized;
      if (oversizedOutput != nullptr) *oversizedOutput = total;
    }
    produced = 0;
    break;
  }
  BZ2_bzDecompressEnd(&state);
  out.resize(result == Bzip2BlockResult::kDecoded ? produced : 0);
  return result;
}

}  // namespace tarvex::input
