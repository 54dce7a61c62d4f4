// Writes the sample dump and criteria files that the project ships in examples/: nine made-up
// BGP4MP UPDATE messages over 56 seconds from three peers (two IPv4 sessions, one IPv6 session),
// gzip-compressed. One message withdraws a route and announces another, as real ones do.
//
//   tarvex_make_sample OUTPUT_DIRECTORY
//
// With --archive it writes instead a small archive tree for tests of date-range runs: a week of
// days (26 February to 3 March 2024, across a leap day and a month change) from three collectors
// in both directory layouts and all three encodings, one dump cut short, and criteria lists of
// which one holds a line that is not a CIDR block.
//
//   tarvex_make_sample --archive OUTPUT_DIRECTORY
//
// With --markers it writes marker dumps for tests of the day walk: an empty dump for every day
// text 01 to 31 of each month named (YYYY.MM, a month 13 or a 31 February included, so that a
// verbose run names each day text it walks), below one collector "c" in the RIS layout:
// OUTPUT_DIRECTORY/c/YYYY.MM/UPDATES/updates.YYYYMMDD.0000.
//
//   tarvex_make_sample --markers OUTPUT_DIRECTORY YYYY.MM...

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mrt_builder.h"

using namespace tarvex::testing;

namespace {

struct ArchiveDay {
  int year;
  int month;
  int day;
};

// Days from 1970-01-01 to a day of the proleptic Gregorian calendar.
std::int64_t daysSinceEpoch(const ArchiveDay& date) {
  const int year = date.month <= 2 ? date.year - 1 : date.year;
  const int era = year / 400;
  const int yearOfEra = year - era * 400;
  const int dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097LL + dayOfEra - 719468;
}

std::string twoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

struct ArchiveCollector {
  std::string archive;  // the archive directory (a --dir) that holds the collector
  std::string name;
  bool bgpdataLevel;  // COLLECTOR/bgpdata/YYYY.MM/UPDATES or COLLECTOR/YYYY.MM/UPDATES
  Compression compression;
  std::string extension;
  int minute;  // dumps start at this minute of the hour, so collectors interleave in time
  Session session;
};

// A dump of six UPDATE messages: announcements of two prefixes from the pool each, one
// withdrawal. `seed` varies the prefixes and origins from dump to dump.
Bytes archiveDump(const Session& session, std::uint32_t firstTime, int seed) {
  static const std::vector<std::string> kPrefixes = {"203.0.113.0/24",   "198.51.100.0/24",
                                                     "203.0.113.128/25", "10.20.0.0/16",
                                                     "192.0.2.0/24",     "172.16.0.0/12"};
  static const std::vector<std::uint32_t> kOrigins = {64511, 64512, 64666};
  Bytes dump;
  for (int message = 0; message < 6; ++message) {
    const int pick = seed + message;
    SimpleUpdate update;
    update.time = firstTime + static_cast<std::uint32_t>(message) * 11;
    update.session = session;
    if (message == 4) {
      update.withdrawn = {kPrefixes[pick % 6]};
      update.withPath = false;
      update.path = {};
    } else {
      update.announced = {kPrefixes[pick % 6], kPrefixes[(pick + 2) % 6]};
      update.path = {{kAsSequence, {session.peerAs, 3356, kOrigins[pick % 3]}}};
    }
    append(dump, updateRecord(update));
  }
  return dump;
}

void writeArchive(const std::string& dir) {
  const std::vector<ArchiveDay> days = {{2024, 2, 26}, {2024, 2, 27}, {2024, 2, 28}, {2024, 2, 29},
                                        {2024, 3, 1},  {2024, 3, 2},  {2024, 3, 3}};
  const std::vector<ArchiveCollector> collectors = {
      {"archive-ris",
       "rrc00",
       true,
       Compression::kGzip,
       ".gz",
       0,
       {true, 64496, 12654, 0, "192.0.2.10", "198.51.100.1"}},
      {"archive-ris",
       "rrc01",
       true,
       Compression::kNone,
       ".mrt",
       30,
       {true, 64498, 12654, 0, "2001:db8::10", "2001:db8::1"}},
      {"archive-rv",
       "route-views2",
       false,
       Compression::kBzip2,
       ".bz2",
       15,
       {false, 64497, 6447, 0, "192.0.2.20", "0.0.0.0"}},
  };
  const int hours[] = {0, 8, 16};

  for (std::size_t dayIndex = 0; dayIndex < days.size(); ++dayIndex) {
    const ArchiveDay& date = days[dayIndex];
    const std::string month = std::to_string(date.year) + "." + twoDigits(date.month);
    const std::string dateText =
        std::to_string(date.year) + twoDigits(date.month) + twoDigits(date.day);
    for (std::size_t collectorIndex = 0; collectorIndex < collectors.size(); ++collectorIndex) {
      const ArchiveCollector& collector = collectors[collectorIndex];
      const std::string updates = dir + "/" + collector.archive + "/" + collector.name +
                                  (collector.bgpdataLevel ? "/bgpdata/" : "/") + month + "/UPDATES";
      std::filesystem::create_directories(updates);
      for (int hour : hours) {
        const auto firstTime = static_cast<std::uint32_t>(daysSinceEpoch(date) * 86400 +
                                                          hour * 3600 + collector.minute * 60);
        const int seed = static_cast<int>(dayIndex * 31 + collectorIndex * 7) + hour;
        const Bytes dump = archiveDump(collector.session, firstTime, seed);
        const std::string path = updates + "/updates." + dateText + "." + twoDigits(hour) +
                                 twoDigits(collector.minute) + collector.extension;
        if (dateText == "20240228" && collector.name == "rrc00" && hour == 8) {
          // Cut short, as a transfer that broke off leaves it.
          Bytes damaged = gzipCompress(dump);
          damaged.resize(damaged.size() * 2 / 3);
          writeFile(path, damaged);
        } else {
          writeFile(path, dump, collector.compression);
        }
      }
    }
  }
  writeText(dir + "/cidrs.txt", "203.0.113.0/24\nnot-a-block\n10.20.0.0/16\n");
  writeText(dir + "/origins.txt", "64511\n64666\n");
}

// YYYY.MM: four digits, a dot, two digits; any month number, 13 and 00 included.
bool isMonthText(const std::string& text) {
  if (text.size() != 7 || text[4] != '.') return false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (at != 4 && (text[at] < '0' || text[at] > '9')) return false;
  }
  return true;
}

// Empty dumps named by the day texts 01 to 31 of each month: files that a day walk finds, whose
// search reports nothing.
void writeMarkers(const std::string& dir, const std::vector<std::string>& months) {
  for (const std::string& month : months) {
    const std::string updates = dir + "/c/" + month + "/UPDATES";
    std::filesystem::create_directories(updates);
    const std::string monthDigits = month.substr(0, 4) + month.substr(5, 2);
    for (int day = 1; day <= 31; ++day) {
      writeFile(updates + "/updates." + monthDigits + twoDigits(day) + ".0000", {});
    }
  }
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s OUTPUT_DIRECTORY\n"
               "       %s --archive OUTPUT_DIRECTORY\n"
               "       %s --markers OUTPUT_DIRECTORY YYYY.MM...\n",
               program, program, program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--archive") {
    writeArchive(argv[2]);
    return 0;
  }
  if (argc >= 4 && std::string(argv[1]) == "--markers") {
    const std::vector<std::string> months(argv + 3, argv + argc);
    for (const std::string& month : months) {
      if (!isMonthText(month)) {
        std::fprintf(stderr, "%s: not a month YYYY.MM: %s\n", argv[0], month.c_str());
        return 2;
      }
    }
    writeMarkers(argv[2], months);
    return 0;
  }
  if (argc != 2) return usage(argv[0]);
  const std::string dir = argv[1];

  Session ipv4Peer{true, 64496, 12654, 0, "192.0.2.10", "198.51.100.1"};
  Session ipv6Peer{true, 64497, 12654, 0, "2001:db8::10", "2001:db8::1"};
  Session oldPeer{false, 64498, 12654, 0, "192.0.2.20", "0.0.0.0"};

  Bytes dump;
  std::uint32_t t = 1704067200;  // 2024-01-01 00:00:00 UTC
  auto add = [&](SimpleUpdate update) {
    update.time = t;
    t += 7;
    append(dump, updateRecord(update));
  };

  // A customer's blocks announced, re-announced along a new path, then withdrawn.
  add({0,
       ipv4Peer,
       {},
       {"203.0.113.0/24", "198.51.100.0/24"},
       true,
       {{kAsSequence, {64496, 3356, 64511}}},
       {},
       false});
  add({0, ipv6Peer, {}, {"203.0.113.0/24"}, true, {{kAsSequence, {64497, 174, 64511}}}, {}, false});
  add({0,
       ipv4Peer,
       {},
       {"192.0.2.0/24", "10.20.0.0/16"},
       true,
       {{kAsSequence, {64496, 1299}}, {kAsSet, {64520, 64521}}},
       {},
       false});
  add({0, oldPeer, {}, {"10.20.30.0/24"}, true, {{kAsSequence, {64498, 2914, 64511}}}, {}, false});
  // A more specific of the customer's block from somebody else: what a hijack check looks for.
  add({0,
       ipv4Peer,
       {},
       {"203.0.113.128/25"},
       true,
       {{kAsSequence, {64496, 6939, 64666}}},
       {},
       false});
  add({0, ipv6Peer, {"198.51.100.0/24"}, {}, false, {}, {}, false});
  add({0,
       ipv4Peer,
       {"10.20.0.0/16"},
       {"172.16.0.0/12"},
       true,
       {{kAsSequence, {64496, 64512}}},
       {},
       false});
  // IPv6 routes only: never reported.
  {
    SimpleUpdate v6{0, ipv6Peer, {}, {}, true, {{kAsSequence, {64497, 6939, 64511}}}, {}, false};
    v6.extraAttributes =
        mpReachAttribute(2, 1, address("2001:db8::10"), prefixes({"2001:db8:100::/48"}));
    add(v6);
  }
  add({0, ipv4Peer, {"203.0.113.128/25"}, {}, false, {}, {}, false});

  writeFile(dir + "/updates.20240101.0000.gz", dump, Compression::kGzip);
  writeText(dir + "/customer-blocks.txt", "203.0.113.0/24\n198.51.100.0/24\n");
  writeText(dir + "/origins.txt", "64511\n");
  return 0;
}
