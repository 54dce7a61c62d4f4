// Replays the inputs of tests/data/decoder/crashers through the entry points of the two fuzz
// targets. The sanitizer build turns any read out of bounds into a failure; every input must
// also come to an end with its damage or skipped records accounted for.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "mrt/as_path.h"
#include "mrt/bgp4mp.h"
#include "mrt/mrt_reader.h"
#include "mrt_builder.h"

namespace tarvex::mrt {
namespace {

const std::string kCrashers = std::string(TARVEX_SOURCE_DIR) + "/tests/data/decoder/crashers/";

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* handle = opendir(dir.c_str())) {
    while (dirent* entry = readdir(handle)) {
      if (entry->d_name[0] != '.') out.push_back(entry->d_name);
    }
    closedir(handle);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::size_t touch(const BgpUpdate& update) {
  std::size_t total = 0;
  for (const PrefixList* list : {&update.withdrawn, &update.announced}) {
    for (const Ipv4Prefix& prefix : list->ipv4()) total += prefix.length;
  }
  for (const MpLists* side : {&update.mpAnnounced, &update.mpWithdrawn}) {
    for (const PrefixList& list : (*side)[kAfiIpv4]) {
      for (const Ipv4Prefix& prefix : list.ipv4()) total += prefix.length;
    }
  }
  if (update.asPath != nullptr) total += update.asPath->text().size();
  return total;
}

struct Outcome {
  int updates;
  std::uint64_t malformed;
  bool damaged;
};

// What the hand-made inputs must give; inputs found by fuzzing need only come to an end.
const std::map<std::string, Outcome> kExpected = {
    {"record-length-4gib.mrt", {0, 0, true}},
    {"attribute-length-wraps.mrt", {0, 1, false}},
    {"as-path-segment-overrun.mrt", {0, 1, false}},
    {"mp-reach-next-hop-overrun.mrt", {0, 1, false}},
    {"bgp-length-18.mrt", {0, 1, false}},
    {"bgp-length-65535.mrt", {0, 1, false}},
    {"et-shorter-than-microseconds.mrt", {1, 2, false}},
    {"withdrawn-length-overrun.mrt", {0, 1, false}},
    {"gzip-second-member-damaged.gz", {1, 0, true}},
    {"bzip2-cut-in-block.bz2", {0, 0, true}},
};

TEST(Crashers, WholeFilesEndCleanly) {
  std::vector<std::string> names = filesIn(kCrashers + "file");
  EXPECT_GE(names.size(), kExpected.size());
  for (const std::string& name : names) {
    std::string content = testing::readFile(kCrashers + "file/" + name);
    std::vector<std::uint8_t> bytes(content.begin(), content.end());
    MrtReader reader(std::make_unique<input::MemorySource>(bytes), 2);
    BgpUpdate update;
    int updates = 0;
    while (reader.next(update)) {
      ++updates;
      (void)touch(update);
    }
    auto expected = kExpected.find(name);
    if (expected == kExpected.end()) continue;
    EXPECT_EQ(updates, expected->second.updates) << name;
    EXPECT_EQ(reader.malformedRecords(), expected->second.malformed) << name;
    EXPECT_EQ(!reader.damage().empty(), expected->second.damaged)
        << name << ": " << reader.damage();
  }
}

TEST(Crashers, RecordsDecodeOrFailCleanly) {
  for (const std::string& name : filesIn(kCrashers + "record")) {
    std::string content = testing::readFile(kCrashers + "record/" + name);
    if (content.empty()) continue;
    std::vector<std::uint8_t> bytes(content.begin(), content.end());
    MrtRecord record;
    record.type = (bytes[0] & 1) != 0 ? kMrtTypeBgp4mpEt : kMrtTypeBgp4mp;
    record.subtype = (bytes[0] & 2) != 0 ? kSubtypeMessageAs4 : kSubtypeMessage;
    record.body = std::span<const std::uint8_t>(bytes).subspan(1);
    UpdateDecoder decoder;
    BgpUpdate update;
    if (decoder.decode(record, update) == DecodeResult::kUpdate) (void)touch(update);
  }
}

}  // namespace
}  // namespace tarvex::mrt
