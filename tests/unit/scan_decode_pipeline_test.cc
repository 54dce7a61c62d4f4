// The read loop on several threads: whatever the number of workers and the shape of the reads,
// the sink receives the very writes of a walk on one thread, in the same order, one per line.
#include "scan/decode_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture_port.h"
#include "input/byte_source.h"
#include "input/input_format.h"
#include "mrt_builder.h"
#include "test_byte_sources.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

struct Walk {
  std::vector<CapturePort::Write> writes;
  std::uint64_t malformed = 0;
  std::string damage;
  std::vector<std::string> passedOver;
};

Walk walk(const Bytes& file, const SearchSettings& settings, unsigned workers,
          std::size_t step = 1 << 30) {
  mrt::MrtReader reader(std::make_unique<TrickleSource>(file, step), 2);
  CapturePort sink;
  searchDump(reader, settings, sink, workers);
  return {sink.writes, reader.malformedRecords(), std::string(reader.damage()),
          reader.passedOverWarnings()};
}

// Many announcements and withdrawals, with malformed records between them: several batches.
Bytes manyUpdates(std::size_t count) {
  Bytes out;
  for (std::size_t i = 0; i < count; ++i) {
    SimpleUpdate update;
    update.time = static_cast<std::uint32_t>(1000 + i);
    const std::string prefix =
        std::to_string(10 + i % 200) + "." + std::to_string(i % 256) + ".0.0/16";
    if (i % 5 == 0) {
      update.withdrawn = {prefix};
    } else {
      update.announced = {prefix, "192.0.2.0/24"};
      update.path = {{kAsSequence, {64500, static_cast<std::uint32_t>(65000 + i % 7)}}};
    }
    Bytes record = updateRecord(update);
    out.insert(out.end(), record.begin(), record.end());
    if (i % 1000 == 999) {
      // An AS_PATH segment of length 0: malformed, skipped and counted.
      update.withdrawn.clear();
      update.announced = {"10.0.0.0/8"};
      update.path = {{kAsSequence, {}}};
      Bytes bad = updateRecord(update);
      out.insert(out.end(), bad.begin(), bad.end());
    }
  }
  return out;
}

SearchSettings everything() {
  SearchSettings settings;
  settings.orMatch = 1;  // no list named: every prefix is reported
  return settings;
}

TEST(DecodePipeline, SameWritesWhateverTheWorkers) {
  const Bytes file = manyUpdates(40000);  // several megabytes, far more output than a batch holds
  ASSERT_GT(file.size(), 3u * 1024 * 1024);
  const SearchSettings settings = everything();
  const Walk alone = walk(file, settings, 0);
  ASSERT_GT(alone.writes.size(), 40000u);
  EXPECT_EQ(alone.malformed, 40u);
  for (const CapturePort::Write& write : alone.writes) {
    ASSERT_EQ(write.channel, Channel::kReport);
    ASSERT_EQ(std::count(write.text.begin(), write.text.end(), '\n'), 1) << write.text;
    ASSERT_EQ(write.text.back(), '\n');
  }
  for (unsigned workers : {1u, 2u, 3u}) {
    for (std::size_t step : {std::size_t{1} << 30, std::size_t{4093}}) {
      const Walk shared = walk(file, settings, workers, step);
      EXPECT_TRUE(shared.writes == alone.writes) << workers << " " << step;
      EXPECT_EQ(shared.malformed, alone.malformed);
      EXPECT_EQ(shared.damage, "");
    }
  }
}

TEST(DecodePipeline, DamageComesAfterEveryRecordBeforeIt) {
  Bytes file = manyUpdates(5000);
  const std::size_t whole = file.size();
  file.resize(whole - 7);  // the last record cut short
  const SearchSettings settings = everything();
  const Walk alone = walk(file, settings, 0);
  EXPECT_NE(alone.damage.find("the file ends inside a record"), std::string::npos);
  for (unsigned workers : {1u, 2u}) {
    const Walk shared = walk(file, settings, workers, 65536);
    EXPECT_TRUE(shared.writes == alone.writes);
    EXPECT_EQ(shared.damage, alone.damage);
  }
}

// Stretches of zeros and unsearched records are found in batches on several threads and merged
// in input order: a stretch that runs across batch boundaries, whatever they are, is one.
TEST(DecodePipeline, SameFindingsOfWhatIsPassedOverWhateverTheWorkers) {
  const Bytes updates = manyUpdates(3000);
  // A RIB record whose body ends in zeros: the stretch after it begins inside it.
  const Bytes rib = mrtRecord(1700000000, 13, 2, concat({Bytes{1, 2, 3}, Bytes(50, 0)}));
  Bytes file;
  std::vector<std::pair<std::size_t, std::size_t>> stretches;  // first and last byte
  for (std::size_t zeros : {std::size_t{12}, std::size_t{3000}, std::size_t{2500008}}) {
    append(file, updates);
    append(file, rib);
    // The records after the zeros start with a time of 1000, whose two high bytes are zeros too.
    stretches.push_back({file.size() - 50, file.size() + zeros + 1});
    append(file, Bytes(zeros, 0));
  }
  append(file, updates);
  auto range = [&](std::size_t i) {
    return std::to_string(stretches[i].first) + " to " + std::to_string(stretches[i].second);
  };
  const std::string expected = "bytes " + range(0) + ", " + range(1) + " and " + range(2) +
                               " hold nothing but zeros (a preallocated or damaged file?); no "
                               "record there could be searched";
  const std::vector<std::string> findings = {
      expected,
      "passed over 3 records that can hold routes but are not searched: 3 TABLE_DUMP_V2 (a RIB "
      "dump)"};
  const SearchSettings settings = everything();
  for (unsigned workers : {0u, 1u, 2u, 3u}) {
    for (std::size_t step : {std::size_t{1} << 30, std::size_t{4093}, std::size_t{1000}}) {
      const Walk shared = walk(file, settings, workers, step);
      EXPECT_EQ(shared.passedOver, findings) << workers << " " << step;
      EXPECT_EQ(shared.damage, "");
    }
  }
}

TEST(DecodePipeline, EmptyAndRecordlessInputs) {
  const SearchSettings settings = everything();
  for (unsigned workers : {0u, 2u}) {
    EXPECT_TRUE(walk({}, settings, workers).writes.empty());
    const Walk stray = walk(Bytes{1, 2, 3}, settings, workers);
    EXPECT_TRUE(stray.writes.empty());
    EXPECT_EQ(stray.damage, "the file ends inside a record header (3 stray bytes at the end)");
  }
}

}  // namespace
}  // namespace tarvex
