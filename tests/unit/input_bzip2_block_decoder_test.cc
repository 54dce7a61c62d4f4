// tarvex's own bzip2 block decoder: every block of libbz2's making decodes to exactly its data,
// in the cases that break decoders (the longest runs, a full block of random bytes, every block
// size, six tables and the most selectors, a run at the very end of a block), and whatever it
// cannot vouch for it refuses rather than decode differently.
#include "input/bzip2/bzip2_block_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "input/bzip2/bzip2_blocks.h"
#include "input/bzip2/bzip2_crc.h"
#include "input/bzip2/bzip2_huffman.h"
#include "input/bzip2/bzip2_inverse_bwt.h"
#include "mrt_builder.h"

namespace tarvex::input {
namespace {

using testing::Bytes;
using testing::bzip2CompressAtLevel;
using testing::concat;

constexpr std::size_t kLimit = 64 * 1024 * 1024;

struct Decoded {
  Bytes data;
  unsigned blocks = 0;
  unsigned refused = 0;
};

// Every block of every stream of `file`, each decoded where the one before it ended.
Decoded decodeBlocks(const Bytes& file, Bzip2BlockDecoder& decoder) {
  Decoded out;
  Bytes block;
  std::uint64_t bit = 0;
  while (bit / 8 + 4 <= file.size()) {
    const int level = file[bit / 8 + 3] - '0';
    bit += 32;
    while (readBits(file, bit, 48) == kBzip2BlockMagic) {
      const Bzip2BlockDecoder::Block result = decoder.decode(file, bit, level, block);
      ++out.blocks;
      if (!result.decoded) {
        ++out.refused;
        return out;
      }
      out.data.insert(out.data.end(), block.begin(), block.end());
      bit = result.end;
    }
    EXPECT_EQ(readBits(file, bit, 48), kBzip2EndMagic);
    bit = (bit + 80 + 7) / 8 * 8;
  }
  return out;
}

Bytes randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(random());
  return out;
}

// MRT-like bytes: records with small counters, zero runs and a few recurring addresses.
Bytes recordLikeBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out;
  while (out.size() < size) {
    const Bytes record =
        testing::mrtRecord(1700000000 + random() % 1000, 16, 4,
                           concat({testing::u32be(64496 + random() % 8), Bytes(random() % 40, 0),
                                   testing::u32be(0xc0000200 | (random() % 256))}));
    out.insert(out.end(), record.begin(), record.end());
  }
  out.resize(size);
  return out;
}

// The header fields of the first block that say how many tables and selectors it has.
struct TableCounts {
  unsigned groups;
  unsigned selectors;
};
TableCounts tableCountsOf(const Bytes& file) {
  std::uint64_t bit = 32 + 48 + 32 + 1 + 24;
  const auto ranges = static_cast<unsigned>(readBits(file, bit, 16));
  bit += 16 + 16 * static_cast<unsigned>(__builtin_popcount(ranges));
  return {static_cast<unsigned>(readBits(file, bit, 3)),
          static_cast<unsigned>(readBits(file, bit + 3, 15))};
}

TEST(Bzip2BlockDecoder, GivesExactlyWhatLibbz2CompressedInTheHardCases) {
  Bzip2BlockDecoder decoder(kLimit);
  const Bytes records = recordLikeBytes(1200000, 1);
  Bytes runAtEnd = recordLikeBytes(99990, 2);
  runAtEnd.resize(100000, 0x7e);  // the block's last bytes are a run and its count
  struct Case {
    const char* name;
    Bytes data;
    int level;
  };
  std::vector<Case> cases = {
      {"one byte repeated over a whole block", Bytes(900000, 0x41), 9},
      {"one byte repeated over many blocks", Bytes(3000000, 0), 9},
      {"a block of random bytes", randomBytes(899000, 3), 9},
      {"a run at the very end of a block", runAtEnd, 1},
      {"one byte", Bytes{0x2a}, 9},
      {"four equal bytes", Bytes(4, 0x2a), 9},
      {"five equal bytes", Bytes(5, 0x2a), 9},
  };
  for (int level = 1; level <= 9; ++level) {
    cases.push_back({"records", records, level});
  }
  for (const Case& c : cases) {
    const Bytes file = bzip2CompressAtLevel(c.data, c.level);
    const Decoded out = decodeBlocks(file, decoder);
    EXPECT_EQ(out.refused, 0u) << c.name << " at level " << c.level;
    EXPECT_TRUE(out.data == c.data) << c.name << " at level " << c.level;
  }
  // The random block really has the most tables, and nearly the most selectors.
  const TableCounts counts = tableCountsOf(bzip2CompressAtLevel(randomBytes(899000, 3), 9));
  EXPECT_EQ(counts.groups, 6u);
  EXPECT_GT(counts.selectors, 17900u);
}

TEST(Bzip2BlockDecoder, EmptyAndConcatenatedStreams) {
  Bzip2BlockDecoder decoder(kLimit);
  const Bytes a = recordLikeBytes(150000, 4);
  const Bytes b = recordLikeBytes(70000, 5);
  const Bytes file = concat({bzip2CompressAtLevel(a, 1), bzip2CompressAtLevel({}, 9),
                             bzip2CompressAtLevel(b, 3), bzip2CompressAtLevel({}, 1)});
  const Decoded out = decodeBlocks(file, decoder);
  EXPECT_EQ(out.refused, 0u);
  EXPECT_TRUE(out.data == concat({a, b}));
}

// Refused, never decoded differently: the caller then asks libbz2.
TEST(Bzip2BlockDecoder, RefusesWhatItCannotVouchFor) {
  Bzip2BlockDecoder decoder(kLimit);
  const Bytes data = recordLikeBytes(300000, 6);
  const Bytes sound = bzip2CompressAtLevel(data, 9);
  Bytes out;
  ASSERT_TRUE(decoder.decode(sound, 32, 9, out).decoded);

  Bytes randomised = sound;
  randomised[14] |= 0x80;  // the bit after the signature and the block CRC
  Bytes wrongCrc = sound;
  wrongCrc[13] ^= 0x01;
  Bytes damaged = sound;
  damaged[sound.size() / 2] ^= 0x10;
  const Bytes cut(sound.begin(), sound.begin() + static_cast<long>(sound.size() / 2));
  // 150 000 bytes in one block: more than a level-1 block may hold.
  const Bytes large = bzip2CompressAtLevel(randomBytes(150000, 8), 9);
  struct Case {
    const char* name;
    Bytes file;
    int level;
  };
  const Case cases[] = {
      {"randomised", randomised, 9}, {"wrong CRC", wrongCrc, 9},    {"damaged", damaged, 9},
      {"cut short", cut, 9},         {"level too small", large, 1},
  };
  for (const Case& c : cases) {
    out.assign(5, 1);
    EXPECT_FALSE(decoder.decode(c.file, 32, c.level, out).decoded) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
  }
  // A block whose output passes the limit is left to the reader that streams it.
  Bzip2BlockDecoder small(200000);
  EXPECT_FALSE(small.decode(sound, 32, 9, out).decoded);
  // The same decoder decodes sound blocks again after refusals.
  EXPECT_TRUE(decoder.decode(sound, 32, 9, out).decoded);
  EXPECT_TRUE(out == data);
}

TEST(Bzip2BlockDecoder, BlockCrcIsBzip2s) {
  const std::string check = "123456789";
  EXPECT_EQ(bzip2BlockCrc({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}),
            0xfc891918u);
  EXPECT_EQ(bzip2BlockCrc({}), 0u);
  // Every length around the eight-byte steps agrees with the byte-at-a-time definition.
  const Bytes bytes = randomBytes(40, 7);
  for (std::size_t size = 0; size <= bytes.size(); ++size) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t k = 0; k < size; ++k) {
      crc ^= std::uint32_t{bytes[k]} << 24;
      for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    EXPECT_EQ(bzip2BlockCrc({bytes.data(), size}), ~crc) << size;
  }
}

TEST(Bzip2BlockDecoder, HuffmanTablesMustBeCompleteCodes) {
  struct Case {
    Bytes lengths;
    bool complete;
  };
  const Case cases[] = {
      {{1, 2, 2}, true},
      {{2, 2, 2, 2}, true},
      {{1, 1, 1}, false},  // oversubscribed
      {{2, 2, 2}, false},  // incomplete
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 20}, true},
      {{0, 1, 1}, false},
      {{21, 1, 1}, false},
  };
  for (const Case& c : cases) {
    Bzip2HuffmanTable table;
    EXPECT_EQ(table.build(c.lengths), c.complete) << ::testing::PrintToString(c.lengths);
  }
  // The longest codes (past the lookup table) decode: symbol k has code 1^k 0, the last 1^20.
  Bzip2HuffmanTable table;
  const Bytes lengths = cases[4].lengths;
  ASSERT_TRUE(table.build(lengths));
  for (unsigned symbol = 0; symbol < lengths.size(); ++symbol) {
    const unsigned ones = std::min(symbol, 20u);
    const std::uint32_t code = ones == 0 ? 0 : ~0u << (32 - ones);
    Bytes bits = {static_cast<std::uint8_t>(code >> 24), static_cast<std::uint8_t>(code >> 16),
                  static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
    Bzip2BitReader reader(bits, 0);
    EXPECT_EQ(table.decode(reader), symbol);
    EXPECT_EQ(reader.position(), std::min(symbol + 1, 20u));
  }
}

// Links that form more than one cycle: the one-chain walk would go round the shorter one again
// and again, which the lanes cannot copy, so they refuse.
TEST(Bzip2BlockDecoder, InverseWalkRefusesTablesOfSeveralCycles) {
  const std::uint32_t size = 200000;
  std::vector<std::uint32_t> order(size);
  for (std::uint32_t k = 0; k < size; ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), std::mt19937(9));
  std::vector<std::uint32_t> oneCycle(size), twoCycles(size);
  for (std::uint32_t k = 0; k < size; ++k) {
    oneCycle[order[k]] = order[(k + 1) % size] << 8 | (k & 0xff);
    // Two cycles: the even and the odd positions, each walked in steps of two.
    twoCycles[k] = ((k + 2) % size) << 8 | (k & 0xff);
  }
  Bzip2InverseBwt walk(size);
  ASSERT_TRUE(walk.walk(oneCycle, 0));
  Bytes walked;
  for (const auto piece : walk.pieces()) walked.insert(walked.end(), piece.begin(), piece.end());
  Bytes expected;
  std::uint32_t at = 0;
  for (std::uint32_t k = 0; k < size; ++k) {
    expected.push_back(static_cast<std::uint8_t>(oneCycle[at]));
    at = oneCycle[at] >> 8;
  }
  EXPECT_TRUE(walked == expected);
  EXPECT_FALSE(walk.walk(twoCycles, 0));
}

}  // namespace
}  // namespace tarvex::input
