#include "input/bzip2/bzip2_block_decoder.h"

#include <algorithm>
#include <cstring>

#include "input/bzip2/bzip2_blocks.h"
#include "input/bzip2/bzip2_crc.h"

namespace tarvex::input {

namespace {

constexpr std::uint32_t kLargestBlock = 900000;
constexpr std::uint32_t kRunA = 0;
constexpr std::uint32_t kRunB = 1;
// libbz2 stops a zero run whose length needs 2^21 or more as its next digit.
constexpr unsigned kMaxRunDigits = 21;

}  // namespace

Bzip2BlockDecoder::Bzip2BlockDecoder(std::size_t outputLimit)
    : outputLimit_(outputLimit),
      entries_(std::make_unique_for_overwrite<std::uint32_t[]>(kLargestBlock)),
      walk_(kLargestBlock),
      output_(std::make_unique_for_overwrite<std::uint8_t[]>(outputLimit + kLargestBlock)) {}

Bzip2BlockDecoder::Block Bzip2BlockDecoder::decode(std::span<const std::uint8_t> bytes,
                                                   std::uint64_t from, int level,
                                                   std::vector<std::uint8_t>& out) {
  Block block;
  out.clear();
  if (level < 1 || level > 9) return block;
  Bzip2BitReader reader(bytes, from);
  if (reader.read(24) != (kBzip2BlockMagic >> 24) ||
      reader.read(24) != (kBzip2BlockMagic & 0xffffff)) {
    return block;
  }
  block.crc = reader.read(16) << 16;
  block.crc |= reader.read(16);
  if (reader.readBit()) return block;  // randomised: left to libbz2
  const std::uint32_t origin = reader.read(24);
  if (!readTables(reader)) return block;
  if (!decodeSymbols(reader, static_cast<std::uint32_t>(level) * 100000)) return block;
  block.end = reader.position();
  if (block.end > reader.spanBits()) return block;  // it ran past the data
  if (!buildLinks(origin)) return block;
  if (!walk_.walk({entries_.get(), blockSize_}, first_)) return block;
  if (!undoRuns(out)) return block;
  block.decoded = bzip2BlockCrc(out) == block.crc;
  if (!block.decoded) out.clear();
  return block;
}

// The symbol map, the Huffman tables and which table codes each group of 50 symbols.
bool Bzip2BlockDecoder::readTables(Bzip2BitReader& reader) {
  usedCount_ = 0;
  const std::uint32_t ranges = reader.read(16);
  for (unsigned range = 0; range < 16; ++range) {
    if ((ranges & (0x8000u >> range)) == 0) continue;
    const std::uint32_t present = reader.read(16);
    for (unsigned k = 0; k < 16; ++k) {
      if ((present & (0x8000u >> k)) != 0)
        used_[usedCount_++] = static_cast<std::uint8_t>(range * 16 + k);
    }
  }
  if (usedCount_ == 0) return false;

  groups_ = reader.read(3);
  if (groups_ < 2 || groups_ > kMaxGroups) return false;
  selectorCount_ = reader.read(15);
  // libbz2 reads and ignores selectors past 18002; such a block is left to it.
  if (selectorCount_ == 0 || selectorCount_ > kMaxSelectors) return false;
  std::array<std::uint8_t, kMaxGroups> order{0, 1, 2, 3, 4, 5};
  for (unsigned k = 0; k < selectorCount_; ++k) {
    unsigned index = 0;
    while (reader.readBit()) {
      if (++index >= groups_) return false;
    }
    const std::uint8_t group = order[index];
    std::memmove(order.data() + 1, order.data(), index);
    order[0] = group;
    selectors_[k] = group;
  }

  const unsigned symbols = usedCount_ + 2;  // the used bytes' ranks, two run digits, the end
  std::array<std::uint8_t, 258> lengths{};
  for (unsigned group = 0; group < groups_; ++group) {
    std::uint32_t length = reader.read(5);
    for (unsigned symbol = 0; symbol < symbols; ++symbol) {
      for (;;) {
        if (length < 1 || length > Bzip2HuffmanTable::kMaxCodeLength) return false;
        if (!reader.readBit()) break;
        length = reader.readBit() ? length - 1 : length + 1;
      }
      lengths[symbol] = static_cast<std::uint8_t>(length);
    }
    if (!tables_[group].build({lengths.data(), symbols})) return false;
  }
  return true;
}

// Huffman symbols to bytes: move-to-front ranks, and runs of the front byte written as numbers
// in bijective base 2 (RUNA = 1, RUNB = 2 times the digit's weight).
bool Bzip2BlockDecoder::decodeSymbols(Bzip2BitReader& reader, std::uint32_t maxBlock) {
  std::array<std::uint8_t, 256> front{};
  std::copy_n(used_.begin(), usedCount_, front.begin());
  byteCounts_.fill(0);
  std::uint32_t* entries = entries_.get();
  const std::uint32_t endOfBlock = usedCount_ + 1;
  std::uint32_t size = 0;
  std::uint32_t run = 0;
  unsigned runDigits = 0;
  // Past this the block has read beyond its data, which reads as zeros: stop the garbage early.
  const std::uint64_t lastBit = reader.spanBits();

  for (unsigned selector = 0;; ++selector) {
    if (selector >= selectorCount_ || reader.position() > lastBit) return false;
    const Bzip2HuffmanTable& table = tables_[selectors_[selector]];
    for (unsigned k = 0; k < kGroupSize; ++k) {
      if (reader.count() < Bzip2HuffmanTable::kMaxCodeLength) reader.refill();
      const std::uint32_t symbol = table.decode(reader);
      if (symbol <= kRunB) {
        if (runDigits == kMaxRunDigits) return false;
        run += (symbol + 1) << runDigits++;
        continue;
      }
      if (runDigits != 0) {
        if (run > maxBlock - size) return false;
        const std::uint8_t value = front[0];
        byteCounts_[value] += run;
        std::fill_n(entries + size, run, value);
        size += run;
        run = 0;
        runDigits = 0;
      }
      if (symbol == endOfBlock) {
        blockSize_ = size;
        return true;
      }
      if (size == maxBlock) return false;
      const unsigned rank = symbol - 1;
      const std::uint8_t value = front[rank];
      if (rank < 16) {
        for (unsigned at = rank; at != 0; --at) front[at] = front[at - 1];
      } else {
        std::memmove(front.data() + 1, front.data(), rank);
      }
      front[0] = value;
      ++byteCounts_[value];
      entries[size++] = value;
    }
  }
}

// Links every entry to the next one of the walk: the k-th occurrence of byte b in the block
// (in the order of the sorted rotations) is followed by the entry at the k-th position among
// those that sort under b.
bool Bzip2BlockDecoder::buildLinks(std::uint32_t origin) {
  const std::uint32_t size = blockSize_;
  if (size == 0 || origin >= size) return false;
  std::array<std::uint32_t, 256> next{};
  std::uint32_t sum = 0;
  for (unsigned value = 0; value < 256; ++value) {
    next[value] = sum;
    sum += byteCounts_[value];
  }
  std::uint32_t* entries = entries_.get();
  for (std::uint32_t k = 0; k < size; ++k) {
    const std::uint32_t value = entries[k] & 0xff;
    entries[next[value]++] |= k << 8;
  }
  first_ = entries[origin] >> 8;
  return true;
}

// The first run-length stage undone: four equal bytes are followed by a count of more copies.
bool Bzip2BlockDecoder::undoRuns(std::vector<std::uint8_t>& out) {
  std::uint8_t* const begin = output_.get();
  std::uint8_t* at = begin;
  const std::uint8_t* const limit = begin + outputLimit_;
  unsigned same = 0;  // how many equal bytes in a row came last; 4 makes the next a count
  std::uint8_t last = 0;
  for (const std::span<const std::uint8_t> piece : walk_.pieces()) {
    for (const std::uint8_t byte : piece) {
      if (same == 4) {
        // Runs are the only growth: plain bytes are at most the block size beyond the limit.
        if (byte > limit - at) return false;
        std::memset(at, last, byte);
        at += byte;
        same = 0;
        continue;
      }
      *at++ = byte;
      same = byte == last ? same + 1 : 1;
      last = byte;
    }
  }
  // Four equal bytes at the very end want a count the block does not have: libbz2 calls the
  // block damaged.
  if (same == 4 || at > limit) return false;
  out.assign(begin, at);
  return true;
}

}  // namespace tarvex::input
