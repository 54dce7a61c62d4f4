// bzip2 decoded block by block on several threads: signatures at every bit offset, blocks
// re-wrapped alone, and the parallel reader held against the sequential one on sound, cut and
// damaged files, false signatures inside blocks, concatenated and empty streams.
#include "input/bzip2/bzip2_parallel_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "input/bzip2/bzip2_blocks.h"
#include "input/bzip2/bzip2_source.h"
#include "mrt_builder.h"
#include "test_byte_sources.h"

namespace tarvex::input {
namespace {

using testing::Bytes;
using testing::bzip2CompressAtLevel;
using testing::concat;

using Outcome = testing::ReadOutcome;
using testing::readAll;

struct ReadShape {
  unsigned workers = 2;
  std::size_t chunk = 65536;   // the reader's requests
  std::size_t step = 1 << 30;  // the most the file hands out per read
  bool failAtEnd = false;
};

// As the format detection does it: the first bytes are peeked, the rest comes from the file.
template <typename Source>
Outcome decode(const Bytes& file, const ReadShape& shape) {
  const std::size_t peek = std::min<std::size_t>(file.size(), 10);
  Bytes head(file.begin(), file.begin() + static_cast<long>(peek));
  auto rest = std::make_unique<testing::TrickleSource>(
      Bytes(file.begin() + static_cast<long>(peek), file.end()), shape.step,
      shape.failAtEnd ? "read error (Input/output error)" : "");
  if constexpr (std::is_same_v<Source, ParallelBzip2Source>) {
    ParallelBzip2Source source(std::move(rest), head, shape.workers);
    return readAll(source, shape.chunk);
  } else {
    Bzip2Source source(std::move(rest), head);
    return readAll(source, shape.chunk);
  }
}

Outcome parallel(const Bytes& file, const ReadShape& shape = {}) {
  return decode<ParallelBzip2Source>(file, shape);
}
Outcome sequential(const Bytes& file, const ReadShape& shape = {}) {
  return decode<Bzip2Source>(file, shape);
}

// Text-like bytes that compress about 3:1, so a few hundred kB make several level-1 blocks.
Bytes sampleText(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  static const char* const kWords[] = {"route ",        "prefix ",  "peer ", "65000 ",  "withdraw ",
                                       "192.0.2.0/24 ", "as-path ", "\n",    "update ", "origin "};
  Bytes out;
  while (out.size() < size) {
    std::string word = kWords[random() % 10];
    if (random() % 4 == 0) word = std::to_string(random() % 100000) + " ";
    out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(size);
  return out;
}

// Bytes drawn only from `alphabet`, never four alike in a row, each value at least once. bzip2
// writes the set of byte values a block uses as a bitmap right after the block header (a 16-bit
// map of 16-value ranges, then a 16-bit map per range used), so a chosen alphabet puts chosen
// bits there: these make that bitmap spell a signature, a false boundary inside every block.
Bytes overAlphabet(const std::vector<std::uint8_t>& alphabet, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out;
  while (out.size() < size) {
    std::uint8_t value = alphabet[random() % alphabet.size()];
    const std::size_t n = out.size();
    if (n >= 3 && out[n - 1] == value && out[n - 2] == value && out[n - 3] == value) continue;
    out.push_back(value);
  }
  out.insert(out.end(), alphabet.begin(), alphabet.end());
  return out;
}

std::vector<std::uint8_t> rangeValues(unsigned range, unsigned map) {
  std::vector<std::uint8_t> values;
  for (unsigned k = 0; k < 16; ++k) {
    if (((map >> (15 - k)) & 1) != 0) values.push_back(static_cast<std::uint8_t>(range * 16 + k));
  }
  return values;
}

// Range map 0x3141, then the maps of ranges 2 and 3: 0x5926 and 0x5359.
std::vector<std::uint8_t> blockMagicAlphabet() {
  std::vector<std::uint8_t> values = rangeValues(2, 0x5926);
  for (std::uint8_t v : rangeValues(3, 0x5359)) values.push_back(v);
  for (std::uint8_t v : {0x70, 0x90, 0xf0}) values.push_back(v);
  return values;
}

// Range map 0x1772, then the maps of ranges 3 and 5: 0x4538 and 0x5090.
std::vector<std::uint8_t> endMagicAlphabet() {
  std::vector<std::uint8_t> values = rangeValues(3, 0x4538);
  for (std::uint8_t v : rangeValues(5, 0x5090)) values.push_back(v);
  for (std::uint8_t v : {0x60, 0x70, 0x90, 0xa0, 0xb0, 0xe0}) values.push_back(v);
  return values;
}

std::vector<Bzip2Mark> marksOf(const Bytes& file) {
  std::vector<Bzip2Mark> marks;
  findBzip2Marks(file, 0, ~std::uint64_t{0}, 0, marks);
  return marks;
}

bool bitAt(const Bytes& bytes, std::uint64_t bit) {
  return ((bytes[bit / 8] >> (7 - bit % 8)) & 1) != 0;
}

Bytes withBitFlipped(Bytes bytes, std::uint64_t bit) {
  bytes[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  return bytes;
}

// Where each block of the streams of `file` (all of `level`, with no false signatures) begins in
// the data, and where the data ends: the only lengths that a damaged copy may hand out.
std::vector<std::size_t> blockStarts(const Bytes& file, int level) {
  const std::vector<Bzip2Mark> marks = marksOf(file);
  std::vector<std::size_t> starts{0};
  Bzip2Memory memory;
  std::vector<std::uint8_t> stream;
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
    if (marks[i].kind != Bzip2Mark::Kind::kBlock) continue;
    const Bzip2BitRange piece{file, marks[i].bit, marks[i + 1].bit - marks[i].bit};
    wrapBzip2Block({&piece, 1}, level, stream);
    EXPECT_EQ(decodeBzip2Block(stream, std::size_t{64} << 20, memory, out),
              Bzip2BlockResult::kDecoded);
    starts.push_back(starts.back() + out.size());
  }
  return starts;
}

TEST(Bzip2Marks, FoundAtEveryBitOffsetAndOnlyWhole) {
  for (std::uint64_t magic : {kBzip2BlockMagic, kBzip2EndMagic}) {
    for (unsigned shift = 0; shift < 8; ++shift) {
      std::vector<std::uint8_t> bytes;
      BitWriter writer(bytes);
      for (int i = 0; i < 20; ++i) writer.put(0xaa, 8);
      writer.put(0, shift);
      writer.put(magic >> 24, 24);
      writer.put(magic & 0xffffff, 24);
      for (int i = 0; i < 20; ++i) writer.put(0x55, 8);
      writer.finish();
      const std::uint64_t at = 160 + shift;
      const auto kind = magic == kBzip2BlockMagic ? Bzip2Mark::Kind::kBlock : Bzip2Mark::Kind::kEnd;

      std::vector<Bzip2Mark> found;
      findBzip2Marks(bytes, 0, ~std::uint64_t{0}, 1000, found);
      ASSERT_EQ(found.size(), 1u) << shift;
      EXPECT_EQ(found[0].bit, 1000 + at);
      EXPECT_EQ(found[0].kind, kind);

      // The range is [from, to): a mark at `from` counts, one at `to` does not.
      found.clear();
      findBzip2Marks(bytes, at, at + 1, 0, found);
      EXPECT_EQ(found.size(), 1u);
      found.clear();
      findBzip2Marks(bytes, 0, at, 0, found);
      findBzip2Marks(bytes, at + 1, ~std::uint64_t{0}, 0, found);
      EXPECT_TRUE(found.empty());
      // A signature cut by the end of the bytes is not one yet.
      found.clear();
      findBzip2Marks(std::span<const std::uint8_t>(bytes).first((at + 47) / 8), 0,
                     ~std::uint64_t{0}, 0, found);
      EXPECT_TRUE(found.empty()) << shift;
    }
  }
}

TEST(Bzip2Blocks, BitWriterCopiesAnyRangeToAnyOffset) {
  std::mt19937 random(3);
  Bytes source(64);
  for (std::uint8_t& byte : source) byte = static_cast<std::uint8_t>(random());
  for (unsigned lead = 0; lead < 8; ++lead) {
    for (std::uint64_t from : {0u, 1u, 7u, 8u, 13u, 100u}) {
      for (std::uint64_t count : {0u, 1u, 5u, 8u, 31u, 200u, 400u}) {
        std::vector<std::uint8_t> out;
        BitWriter writer(out);
        writer.put(0x7f, lead);
        writer.copy(source, from, count);
        writer.finish();
        ASSERT_EQ(out.size(), (lead + count + 7) / 8);
        for (std::uint64_t i = 0; i < count; ++i) {
          ASSERT_EQ(bitAt(out, lead + i), bitAt(source, from + i))
              << lead << " " << from << " " << count << " " << i;
        }
        for (std::uint64_t i = lead + count; i < out.size() * 8; ++i) ASSERT_FALSE(bitAt(out, i));
      }
    }
  }
}

TEST(Bzip2Blocks, EachBlockDecodesAloneWhateverItsBitOffset) {
  const Bytes data = sampleText(350000, 1);
  const Bytes file = bzip2CompressAtLevel(data, 1);
  for (unsigned lead = 0; lead < 8; ++lead) {
    // The same bit string moved by `lead` bits: no longer a stream, but its blocks are blocks.
    std::vector<std::uint8_t> moved;
    BitWriter writer(moved);
    writer.put(0, lead);
    writer.copy(file, 0, std::uint64_t{file.size()} * 8);
    writer.finish();
    std::vector<Bzip2Mark> marks = marksOf(moved);
    std::vector<Bzip2Mark> unmoved = marksOf(file);
    ASSERT_EQ(marks.size(), unmoved.size());
    ASSERT_GE(marks.size(), 4u);
    ASSERT_EQ(marks.back().kind, Bzip2Mark::Kind::kEnd);
    Bytes joined;
    Bzip2Memory memory;
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
      ASSERT_EQ(marks[i].bit, unmoved[i].bit + lead);
      const Bzip2BitRange piece{moved, marks[i].bit, marks[i + 1].bit - marks[i].bit};
      wrapBzip2Block({&piece, 1}, 1, stream);
      ASSERT_EQ(decodeBzip2Block(stream, 1 << 22, memory, out), Bzip2BlockResult::kDecoded);
      joined.insert(joined.end(), out.begin(), out.end());
      // Cut a bit short, or a bit long, it is no block.
      const Bzip2BitRange shorter{moved, marks[i].bit, piece.count - 1};
      wrapBzip2Block({&shorter, 1}, 1, stream);
      EXPECT_EQ(decodeBzip2Block(stream, 1 << 22, memory, out), Bzip2BlockResult::kFailed);
      const Bzip2BitRange longer{moved, marks[i].bit, piece.count + 1};
      wrapBzip2Block({&longer, 1}, 1, stream);
      EXPECT_EQ(decodeBzip2Block(stream, 1 << 22, memory, out), Bzip2BlockResult::kFailed);
    }
    EXPECT_TRUE(joined == data) << lead;
  }
}

TEST(Bzip2Blocks, BlocksBeyondTheOutputLimitAreOnlyVerified) {
  Bytes data(3 * 1024 * 1024, 0);
  const Bytes file = bzip2CompressAtLevel(data, 9);
  std::vector<Bzip2Mark> marks = marksOf(file);
  ASSERT_EQ(marks.size(), 2u);
  const Bzip2BitRange piece{file, marks[0].bit, marks[1].bit - marks[0].bit};
  std::vector<std::uint8_t> stream;
  std::vector<std::uint8_t> out;
  Bzip2Memory memory;
  wrapBzip2Block({&piece, 1}, 9, stream);
  std::uint64_t size = 0;
  EXPECT_EQ(decodeBzip2Block(stream, 1024 * 1024, memory, out, &size),
            Bzip2BlockResult::kOversized);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(size, data.size());  // what a second decoding must hand out
  EXPECT_EQ(decodeBzip2Block(stream, 4 * 1024 * 1024, memory, out), Bzip2BlockResult::kDecoded);
  EXPECT_TRUE(out == data);
}

// A stream assembled from the blocks of other streams: each block made to take 8n+1 bits, so
// that the blocks after it start one bit further on, through every offset.
struct AssembledStream {
  Bytes file;
  Bytes data;
};

AssembledStream streamWithBlocksAtEveryOffset() {
  AssembledStream out;
  std::vector<std::uint8_t> file;
  BitWriter writer(file);
  for (char c : std::string("BZh1")) writer.put(static_cast<std::uint8_t>(c), 8);
  std::uint32_t combined = 0;
  unsigned seed = 100;
  for (int block = 0; block < 10; ++block) {
    for (;; ++seed) {
      Bytes data = sampleText(3000 + seed % 1000, seed);
      Bytes single = bzip2CompressAtLevel(data, 1);
      std::vector<Bzip2Mark> marks = marksOf(single);
      const std::uint64_t bits = marks.back().bit - marks.front().bit;
      if (marks.size() != 2 || bits % 8 != 1) continue;
      writer.copy(single, marks.front().bit, bits);
      const auto crc = static_cast<std::uint32_t>(readBits(single, marks.front().bit + 48, 32));
      combined = ((combined << 1) | (combined >> 31)) ^ crc;
      out.data.insert(out.data.end(), data.begin(), data.end());
      ++seed;
      break;
    }
  }
  writer.put(kBzip2EndMagic >> 24, 24);
  writer.put(kBzip2EndMagic & 0xffffff, 24);
  writer.put(combined, 32);
  writer.finish();
  out.file = Bytes(file.begin(), file.end());
  return out;
}

TEST(ParallelBzip2, BlocksAtEveryBitOffsetDecodeInOrder) {
  AssembledStream assembled = streamWithBlocksAtEveryOffset();
  std::vector<bool> offsets(8);
  for (const Bzip2Mark& mark : marksOf(assembled.file)) offsets[mark.bit % 8] = true;
  EXPECT_EQ(std::count(offsets.begin(), offsets.end(), true), 8);
  ASSERT_EQ(sequential(assembled.file), (Outcome{assembled.data, ""}));
  for (unsigned workers : {0u, 1u, 2u, 3u}) {
    EXPECT_EQ(parallel(assembled.file, {.workers = workers, .chunk = 777}),
              (Outcome{assembled.data, ""}))
        << workers;
  }
  // The same stream with its combined CRC spoilt: every block, then the damage.
  Bytes spoilt = assembled.file;
  spoilt[spoilt.size() - 2] ^= 0x10;
  Outcome out = parallel(spoilt);
  EXPECT_EQ(out, sequential(spoilt));
  EXPECT_TRUE(out.bytes == assembled.data);
  EXPECT_EQ(out.failure, "bzip2 data is damaged (data integrity error) after " +
                             std::to_string(assembled.data.size()) + " decompressed bytes");
}

TEST(ParallelBzip2, SoundFilesGiveExactlyTheirData) {
  const Bytes a = sampleText(350000, 2);
  const Bytes b = sampleText(120000, 3);
  const Bytes big = sampleText(2 * 1024 * 1024 + 5, 4);
  Bytes zeros(5 * 1024 * 1024, 0);  // one block of more output than a job keeps
  const Bytes blockFalse = overAlphabet(blockMagicAlphabet(), 300000, 5);
  const Bytes endFalse = overAlphabet(endMagicAlphabet(), 300000, 6);
  struct Case {
    const char* name;
    Bytes file;
    Bytes data;
  };
  const Case cases[] = {
      {"one block", bzip2CompressAtLevel(b, 9), b},
      {"level 1 blocks", bzip2CompressAtLevel(a, 1), a},
      {"level 9 blocks", bzip2CompressAtLevel(big, 9), big},
      {"empty stream", bzip2CompressAtLevel({}, 9), {}},
      {"streams of several levels, one empty",
       concat({bzip2CompressAtLevel(a, 1), bzip2CompressAtLevel({}, 5), bzip2CompressAtLevel(b, 2),
               bzip2CompressAtLevel(a, 9)}),
       concat({a, b, a})},
      {"zero padding", concat({bzip2CompressAtLevel(a, 1), Bytes(7, 0)}), a},
      {"oversized block", bzip2CompressAtLevel(concat({zeros, b}), 9), concat({zeros, b})},
      {"false block signatures", bzip2CompressAtLevel(blockFalse, 1), blockFalse},
      {"false end signatures", bzip2CompressAtLevel(endFalse, 1), endFalse},
      {"false signatures across streams",
       concat({bzip2CompressAtLevel(endFalse, 2), bzip2CompressAtLevel(blockFalse, 1)}),
       concat({endFalse, blockFalse})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sequential(c.file, {.chunk = 4093, .step = 100000}), (Outcome{c.data, ""})) << c.name;
    for (ReadShape shape : {ReadShape{.workers = 0, .chunk = 5000}, ReadShape{.workers = 1},
                            ReadShape{.workers = 2, .chunk = 4093},
                            ReadShape{.workers = 4, .chunk = 1 << 20, .step = 1000}}) {
      Outcome out = parallel(c.file, shape);
      EXPECT_TRUE(out.bytes == c.data) << c.name << " " << shape.workers;
      EXPECT_EQ(out.failure, "") << c.name << " " << shape.workers;
    }
  }
  // The false signatures are really there: more marks than blocks and ends.
  const Bytes withFalse = bzip2CompressAtLevel(blockFalse, 1);
  std::vector<Bzip2Mark> marks = marksOf(withFalse);
  EXPECT_EQ(marks.size(), 2 * (marks.size() / 2) + 1);
  EXPECT_EQ(marks[1].bit - marks[0].bit, 105u);  // inside the first block's header
}

// Every cut point near a boundary and a sample of the others: the parallel reader hands out
// what the sequential one does and stops with the same words.
TEST(ParallelBzip2, CutShortLikeTheSequentialReader) {
  const Bytes data = concat({sampleText(250000, 8), overAlphabet(blockMagicAlphabet(), 150000, 9)});
  const Bytes file = concat({bzip2CompressAtLevel(data, 1), bzip2CompressAtLevel(data, 2)});
  std::vector<std::size_t> cuts;
  for (const Bzip2Mark& mark : marksOf(file)) {
    for (std::size_t byte = mark.bit / 8 - 1; byte < mark.bit / 8 + 12; ++byte)
      cuts.push_back(byte);
  }
  for (std::size_t cut = 0; cut < file.size(); cut += 4999) cuts.push_back(cut);
  for (std::size_t back = 1; back <= 12; ++back) cuts.push_back(file.size() - back);
  for (std::size_t cut : cuts) {
    if (cut >= file.size()) continue;
    const Bytes cutFile(file.begin(), file.begin() + static_cast<long>(cut));
    Outcome expected = sequential(cutFile);
    EXPECT_EQ(parallel(cutFile, {.workers = 2, .chunk = 65536, .step = 50000}), expected) << cut;
    EXPECT_EQ(parallel(cutFile, {.workers = 0, .chunk = 65536, .step = 50000}), expected) << cut;
  }
}

// Spoilt bytes anywhere, in block data, signatures, CRCs and headers: the same bytes and the
// same words as the sequential reader, which the parallel one hands over to at the damage.
TEST(ParallelBzip2, DamagedLikeTheSequentialReader) {
  const Bytes data = sampleText(300000, 10);
  const Bytes file = concat({bzip2CompressAtLevel(data, 1), bzip2CompressAtLevel(data, 1)});
  std::vector<std::size_t> spots;
  for (const Bzip2Mark& mark : marksOf(file)) {
    for (std::size_t byte = mark.bit / 8; byte < mark.bit / 8 + 11; ++byte) spots.push_back(byte);
  }
  for (std::size_t spot = 0; spot < file.size(); spot += 1499) spots.push_back(spot);
  // Whatever the damage, what goes out is whole blocks of the data.
  const Bytes both = concat({data, data});
  const std::vector<std::size_t> starts = blockStarts(file, 1);
  ASSERT_EQ(starts.back(), both.size());
  for (std::size_t spot : spots) {
    if (spot >= file.size()) continue;
    Bytes spoilt = file;
    spoilt[spot] ^= 0x24;
    Outcome expected = sequential(spoilt);
    Outcome out = parallel(spoilt, {.workers = 2, .chunk = 30000});
    EXPECT_EQ(out, expected) << spot;
    EXPECT_EQ(parallel(spoilt, {.workers = 0, .chunk = 30000}), expected) << spot;
    EXPECT_TRUE(std::binary_search(starts.begin(), starts.end(), out.bytes.size()))
        << spot << ": " << out.bytes.size() << " bytes are no whole blocks";
    EXPECT_TRUE(std::equal(out.bytes.begin(), out.bytes.end(), both.begin())) << spot;
    if (expected.failure.find("decompressed bytes") != std::string::npos) {
      EXPECT_NE(out.failure.find(" " + std::to_string(out.bytes.size()) + " decompressed bytes"),
                std::string::npos)
          << out.failure;
    }
  }
}

// Damage that libbz2 sees only after writing out the block's bytes (a spoilt stored CRC; an origin
// pointer that makes other bytes of the block), damage it meets midway, and damage right after a
// sound block (a spoilt signature), in small blocks and in one too large to be held while it is
// checked: no byte of the damaged block goes out, through the parallel reader with workers or
// none and through the sequential reader, whatever the reads, and the failure counts the bytes
// handed out, which is where the damaged block begins.
TEST(ParallelBzip2, ABlockWhoseCheckFailsGivesNoneOfItsBytes) {
  const Bytes data =
      concat({sampleText(250000, 21), Bytes(5 * 1024 * 1024 / 2, 0), sampleText(150000, 22)});
  const Bytes file = bzip2CompressAtLevel(data, 1);
  const std::vector<Bzip2Mark> marks = marksOf(file);
  const std::vector<std::size_t> starts = blockStarts(file, 1);
  ASSERT_EQ(starts.back(), data.size());
  ASSERT_EQ(starts.size(), marks.size());  // a start for each block, and the end
  std::size_t large = 0;
  while (large + 1 < starts.size() && starts[large + 1] - starts[large] <= (2u << 20)) ++large;
  ASSERT_GE(large, 2u);                    // small blocks before it,
  ASSERT_LT(large + 2, marks.size() - 1);  // and after it

  constexpr std::uint64_t kStoredCrc = 48 + 9;           // a bit of the CRC after the signature
  constexpr std::uint64_t kOriginLowBit = 48 + 32 + 24;  // after the randomised bit
  struct Case {
    const char* name;
    std::uint64_t bit;
    std::size_t damagedBlock;
  };
  const Case cases[] = {
      {"stored CRC of the first block", marks[0].bit + kStoredCrc, 0},
      {"stored CRC of a small block", marks[1].bit + kStoredCrc, 1},
      {"origin pointer of a small block", marks[1].bit + kOriginLowBit, 1},
      {"coded data of a small block", (marks[1].bit + marks[2].bit) / 2, 1},
      {"signature after a small block", marks[1].bit + 20, 1},
      {"stored CRC of the large block", marks[large].bit + kStoredCrc, large},
      {"origin pointer of the large block", marks[large].bit + kOriginLowBit, large},
      {"stored CRC of the block after it", marks[large + 1].bit + kStoredCrc, large + 1},
      {"signature after the large block", marks[large + 1].bit + 20, large + 1},
      {"stored CRC of the last block", marks[marks.size() - 2].bit + kStoredCrc, marks.size() - 2},
      {"end-of-stream signature", marks.back().bit + 20, marks.size() - 1},
  };
  for (const Case& c : cases) {
    const Bytes spoilt = withBitFlipped(file, c.bit);
    const std::size_t before = starts[c.damagedBlock];
    const Outcome expected{Bytes(data.begin(), data.begin() + static_cast<long>(before)),
                           "bzip2 data is damaged (data integrity error) after " +
                               std::to_string(before) + " decompressed bytes"};
    EXPECT_EQ(parallel(spoilt, {.workers = 2}), expected) << c.name << ", 2 workers";
    EXPECT_EQ(parallel(spoilt, {.workers = 0, .chunk = 777, .step = 5000}), expected)
        << c.name << ", no workers";
    EXPECT_EQ(sequential(spoilt), expected) << c.name << ", sequential";
    EXPECT_EQ(sequential(spoilt, {.chunk = 777, .step = 5000}), expected)
        << c.name << ", sequential in small reads";
  }
}

// libbz2 finds this file's damage midway through its second block, after writing some of the
// block's bytes, and drops those of the call that found it: how many it wrote depends on the sizes
// it was asked for. None of them may go out, whatever the caller's reads and the workers, and the
// warning names where the damaged block begins.
TEST(ParallelBzip2, DamageFoundMidBlockReadsTheSameWhateverTheReadsAndWorkers) {
  const std::string content = testing::readFile(std::string(TARVEX_SOURCE_DIR) +
                                                "/tests/data/decoder/crashers/bzip2/"
                                                "damage-found-mid-block.bz2");
  const Bytes file(content.begin(), content.end());
  const Outcome expected = parallel(file, {.workers = 2, .chunk = 65536});
  EXPECT_EQ(expected.bytes.size(), 99981u);  // the sound first block, nothing of the second
  EXPECT_EQ(expected.failure,
            "bzip2 data is damaged (data integrity error) after 99981 decompressed bytes");
  EXPECT_EQ(sequential(file, {.chunk = 777, .step = 200}), expected);
  for (unsigned workers : {0u, 1u, 2u, 3u}) {
    for (std::size_t chunk : {std::size_t{777}, std::size_t{30000}, std::size_t{1} << 20}) {
      EXPECT_EQ(parallel(file, {.workers = workers, .chunk = chunk, .step = 200}), expected)
          << workers << " workers, reads of " << chunk;
    }
  }
}

TEST(ParallelBzip2, WhatFollowsTheLastStreamAndReadErrors) {
  const Bytes data = sampleText(250000, 11);
  const Bytes file = bzip2CompressAtLevel(data, 1);
  const Bytes cases[] = {
      concat({file, Bytes(10, 'x')}),
      concat({file, Bytes{'B', 'Z', 'h'}}),
      concat({file, Bytes{'B', 'Z', 'h', '0', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59}}),
      concat({file, Bytes{'B', 'Z', 'h', '9', 0x31, 0x41, 0x59}}),
      Bytes{'B', 'Z', 'h', '9', 0x31},
  };
  for (const Bytes& c : cases) {
    Outcome expected = sequential(c);
    EXPECT_FALSE(expected.failure.empty());
    EXPECT_EQ(parallel(c), expected) << expected.failure;
  }
  for (std::size_t cut : {std::size_t{4}, std::size_t{50}, file.size() / 2, file.size()}) {
    const Bytes cutFile(file.begin(), file.begin() + static_cast<long>(cut));
    const ReadShape shape{.workers = 2, .chunk = 8192, .step = 3000, .failAtEnd = true};
    Outcome expected = sequential(cutFile, shape);
    EXPECT_EQ(expected.failure, "read error (Input/output error)");
    EXPECT_EQ(parallel(cutFile, shape), expected) << cut;
  }
}

}  // namespace
}  // namespace tarvex::input
