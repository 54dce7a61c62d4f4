// MRT framing (the batcher, and the walk of a batch) and the reader on top of it: records in
// order, buffer growth, the length limit, truncation at every byte, skipped and counted records.
#include "mrt/record_batcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "mrt/mrt_reader.h"
#include "mrt_builder.h"
#include "test_byte_sources.h"

namespace tarvex::mrt {
namespace {

using namespace tarvex::testing;

struct Seen {
  std::uint32_t timestamp;
  std::uint16_t type;
  std::uint16_t subtype;
  Bytes body;
  bool operator==(const Seen&) const = default;
};

// What framing an input gave: its records, what stopped it, how far it got.
struct Framed {
  std::vector<Seen> records;
  std::string damage;
  std::uint64_t offset = 0;
};

// Frames `input` as every dump walk does: batches from the batcher, records from each batch.
Framed frame(std::unique_ptr<input::ByteSource> input) {
  Framed out;
  RecordBatcher batcher(std::move(input));
  RecordBatch batch;
  while (batcher.next(batch)) {
    EXPECT_EQ(batch.offset, out.offset);
    BatchRecords records(batch.bytes);
    MrtRecord record;
    while (records.next(record)) {
      out.records.push_back({record.timestamp, record.type, record.subtype,
                             Bytes(record.body.begin(), record.body.end())});
    }
    EXPECT_EQ(records.remaining(), 0u);
    out.offset += batch.bytes.size();
    batch = RecordBatch();  // released before the batcher reads on
  }
  EXPECT_EQ(batcher.offset(), out.offset);
  out.damage = std::string(batcher.damage());
  // A stopped input stays stopped.
  EXPECT_FALSE(batcher.next(batch));
  return out;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 31);
  return out;
}

TEST(RecordBatcher, HandsOutEveryRecordWhateverTheReadSizes) {
  // Records of every size class: empty, tiny, larger than the first buffer, and many small
  // ones that straddle buffer refills.
  std::vector<Seen> expected = {
      {1, 16, 4, pattern(40, 1)},
      {2, 13, 2, {}},
      {3, 17, 1, pattern(3 * 1024 * 1024 + 5, 2)},
      {4, 12, 1, pattern(1, 3)},
  };
  for (std::uint32_t i = 0; i < 20000; ++i) {
    expected.push_back({100 + i, 16, 1, pattern(i % 300, static_cast<std::uint8_t>(i))});
  }
  Bytes stream;
  for (const Seen& s : expected) append(stream, mrtRecord(s.timestamp, s.type, s.subtype, s.body));

  for (std::size_t step : {std::size_t{1} << 22, std::size_t{65521}, std::size_t{7}}) {
    Framed framed = frame(std::make_unique<TrickleSource>(stream, step));
    EXPECT_TRUE(framed.records == expected)
        << "step " << step << ": " << framed.records.size() << " records";
    EXPECT_EQ(framed.damage, "");
    EXPECT_EQ(framed.offset, stream.size());
  }
}

TEST(RecordBatcher, LengthsAboveTheLimitStopTheInput) {
  Bytes good = mrtRecord(1, 16, 4, pattern(100, 9));
  Bytes limit = mrtRecord(2, 13, 1, Bytes(kMaxRecordLength, 0xab));
  Bytes huge = concat({u32be(3), u16be(16), u16be(4), u32be(kMaxRecordLength + 1), Bytes(64, 0)});
  Bytes giant = concat({u32be(3), u16be(16), u16be(4), u32be(0xffffffff)});

  Bytes largest = concat({good, limit, good});
  Framed accepts = frame(std::make_unique<input::MemorySource>(largest));
  EXPECT_EQ(accepts.records.size(), 3u);
  EXPECT_EQ(accepts.damage, "");

  for (const Bytes& bad : {huge, giant}) {
    Bytes stream = concat({good, good, bad, good});
    Framed framed = frame(std::make_unique<input::MemorySource>(stream));
    EXPECT_EQ(framed.records.size(), 2u);
    const std::uint32_t claimed =
        readMrtHeader(std::span<const std::uint8_t, kMrtHeaderSize>(bad.data(), kMrtHeaderSize))
            .length;
    EXPECT_EQ(framed.damage, "a record at byte " + std::to_string(2 * good.size()) +
                                 " claims a length of " + std::to_string(claimed) +
                                 " bytes, which cannot be right; the records before it were "
                                 "searched");
  }
}

TEST(RecordBatcher, DamageFoundAheadExplainsAnImpossibleLength) {
  // What damaged compressed data looks like from here: garbage first, and the decompressor's
  // complaint only a little later, at the end of its block.
  Bytes good = mrtRecord(1, 16, 4, pattern(100, 9));
  Bytes garbage = concat({u32be(3), u16be(16), u16be(4), u32be(0xdeadbeef), pattern(300000, 1)});
  Bytes stream = concat({good, garbage});
  auto source = std::make_unique<TrickleSource>(stream, 65536, "read error (Input/output error)");
  Framed framed = frame(std::move(source));
  EXPECT_EQ(framed.records.size(), 1u);
  EXPECT_EQ(framed.damage, "read error (Input/output error); the records before it were searched");
}

TEST(RecordBatcher, EveryTruncationKeepsTheWholeRecordsBeforeIt) {
  std::vector<Bytes> records = {mrtRecord(1, 16, 4, pattern(30, 1)), mrtRecord(2, 16, 1, {}),
                                mrtRecord(3, 17, 4, pattern(7, 2))};
  Bytes stream = concat({records[0], records[1], records[2]});
  for (std::size_t keep = 0; keep <= stream.size(); ++keep) {
    Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(keep));
    Framed framed = frame(std::make_unique<TrickleSource>(cut, 5));
    std::size_t whole = 0;
    std::size_t boundary = 0;
    while (whole < records.size() && boundary + records[whole].size() <= keep) {
      boundary += records[whole++].size();
    }
    EXPECT_EQ(framed.records.size(), whole) << keep;
    EXPECT_EQ(framed.offset, boundary) << keep;
    const std::string suffix = boundary > 0 ? "; the records before it were searched" : "";
    if (keep == boundary) {
      EXPECT_EQ(framed.damage, "") << keep;
    } else if (keep - boundary < kMrtHeaderSize) {
      EXPECT_EQ(framed.damage, "the file ends inside a record header (" +
                                   std::to_string(keep - boundary) + " stray bytes at the end)" +
                                   suffix)
          << keep;
    } else {
      EXPECT_EQ(framed.damage, "the file ends inside a record (" + std::to_string(keep - boundary) +
                                   " of its " + std::to_string(records[whole].size()) +
                                   " bytes are there)" + suffix)
          << keep;
    }
  }
}

TEST(RecordBatcher, FailuresOfTheSourceBecomeDamage) {
  Bytes stream = concat({mrtRecord(1, 16, 4, pattern(30, 1)), mrtRecord(2, 16, 4, pattern(30, 2))});
  Framed framed =
      frame(std::make_unique<TrickleSource>(stream, 11, "read error (Input/output error)"));
  EXPECT_EQ(framed.records.size(), 2u);
  EXPECT_EQ(framed.damage, "read error (Input/output error); the records before it were searched");
}

Bytes announcement(std::uint32_t time, const std::string& prefix) {
  SimpleUpdate update;
  update.time = time;
  update.announced = {prefix};
  return updateRecord(update);
}

TEST(MrtReader, YieldsUpdatesAndCountsMalformedRecords) {
  Session session;
  Bytes keepalive = mrtRecord(5, 16, 4, bgp4mpBody(session, bgpMessage(4, {})));
  Bytes malformedPrefix = mrtRecord(
      6, 16, 4, bgp4mpBody(session, bgpMessage(2, updateBody({}, {}, {33, 1, 2, 3, 4, 5}))));
  Bytes badAfi =
      mrtRecord(7, 16, 1, concat({u16be(1), u16be(2), u16be(0), u16be(9), Bytes(40, 0)}));
  Bytes stream = concat({announcement(1, "10.0.0.0/8"), keepalive, malformedPrefix,
                         mrtRecord(8, 13, 2, Bytes(50, 1)), mrtRecord(9, 16, 4, {}), badAfi,
                         announcement(2, "192.0.2.0/24"), mrtRecord(10, 16, 5, {})});
  for (const Bytes& file : {stream, gzipCompress(stream), bzip2Compress(stream)}) {
    MrtReader reader(std::make_unique<input::MemorySource>(file), 2);
    BgpUpdate update;
    std::vector<std::int64_t> times;
    while (reader.next(update)) times.push_back(update.time);
    EXPECT_EQ(times, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(reader.malformedRecords(), 3u);
    EXPECT_EQ(reader.damage(), "");
  }
}

TEST(MrtReader, DamageEndsTheInputAfterTheRecordsBeforeIt) {
  Bytes stream = concat({announcement(1, "10.0.0.0/8"), announcement(2, "10.0.0.0/9")});
  const Bytes gz = gzipCompress(stream);
  const std::string after = " after " + std::to_string(stream.size()) + " decompressed bytes";
  Bytes cut = gz;
  cut.resize(gz.size() - 4);  // the length field of the trailer
  Bytes badChecksum = gz;
  badChecksum[gz.size() - 8] ^= 1;
  struct Case {
    const char* name;
    Bytes file;
    std::string damage;
  };
  // A cut leaves every byte before it sound; a checksum that fails at the member's end vouches
  // for none of the member's bytes, which were searched already.
  const Case cases[] = {
      {"cut", cut,
       "gzip data ends early (the file is cut short)" + after +
           "; the records before it were searched"},
      {"checksum", badChecksum,
       "gzip data is damaged (checksum mismatch)" + after +
           "; the records before it were searched, but lines already reported from this file may "
           "come from the damaged data"},
  };
  for (const Case& c : cases) {
    MrtReader reader(std::make_unique<input::MemorySource>(c.file), 2);
    BgpUpdate update;
    int count = 0;
    while (reader.next(update)) ++count;
    EXPECT_EQ(count, 2) << c.name;
    EXPECT_EQ(reader.damage(), c.damage) << c.name;
  }
}

}  // namespace
}  // namespace tarvex::mrt
