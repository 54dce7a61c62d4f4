// The report line examples, byte for byte, through the built program: a dump made of the
// example messages, searched with no criteria.
#include <gtest/gtest.h>

#include <string>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

TEST(ReportWorkedExamples, ByteForByte) {
  Session session{true, 100, 200, 0, "192.0.2.1", "198.51.100.2"};
  Session noLocal{true, 100, 0, 0, "192.0.2.1", "0.0.0.0"};
  std::vector<Segment> path = {{kAsSequence, {100, 300}}};

  SimpleUpdate announce;
  announce.session = session;
  announce.announced = {"203.0.113.0/24"};
  announce.path = path;

  SimpleUpdate withdrawToo = announce;
  withdrawToo.withdrawn = {"198.51.100.0/24"};

  SimpleUpdate local = announce;
  local.session = noLocal;

  Bytes dump = concat({updateRecord(announce), updateRecord(withdrawToo), updateRecord(local)});
  TempDir dir;
  for (Compression compression : {Compression::kNone, Compression::kGzip, Compression::kBzip2}) {
    writeFile(dir.file("updates"), dump, compression);
    RunResult result = runTarvex({"--update", dir.file("updates")});
    EXPECT_EQ(result.out,
              "900|A|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24|100 300\n"
              "900|W|192.0.2.1|AS100|198.51.100.2|AS200|198.51.100.0/24\n"
              "900|W|192.0.2.1|AS100|198.51.100.2|AS200|203.0.113.0/24\n"
              "900|A|192.0.2.1|AS100|NA|AS0|203.0.113.0/24|100 300\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 1);
  }
}

TEST(ReportWorkedExamples, SessionsFormsAndPaths) {
  // One message of each kind the report distinguishes, in one BGP4MP_ET dump read from
  // standard input.
  Session ipv6{true, 4294967295u, 64501, 0, "2001:db8::1", "::"};
  Session twoByte{false, 65000, 65001, 0, "192.0.2.7", "192.0.2.8"};

  SimpleUpdate overIpv6;
  overIpv6.time = 1445565678;
  overIpv6.extendedTimestamp = true;
  overIpv6.session = ipv6;
  overIpv6.announced = {"10.0.0.0/8", "0.0.0.0/0", "11.13.0.0/13"};
  overIpv6.path = {{kAsSequence, {4294967295u, 3356}}, {kAsSet, {15169, 36040}}};

  SimpleUpdate merged;
  merged.time = 1445565679;
  merged.extendedTimestamp = true;
  merged.session = twoByte;
  merged.announced = {"192.0.2.0/24"};
  merged.path = {{kAsSequence, {65000, 23456}}};
  merged.extraAttributes = as4PathAttribute({{kAsSequence, {4200000001u}}});

  SimpleUpdate withoutPath;
  withoutPath.time = 1445565680;
  withoutPath.extendedTimestamp = true;
  withoutPath.session = twoByte;
  withoutPath.withPath = false;
  withoutPath.withdrawn = {"198.51.100.0/24"};

  SimpleUpdate ipv6Only;
  ipv6Only.extendedTimestamp = true;
  ipv6Only.session = ipv6;
  ipv6Only.extraAttributes =
      mpReachAttribute(2, 1, address("2001:db8::1"), prefixes({"2001:db8:100::/48"}));

  Bytes dump = concat({updateRecord(overIpv6), updateRecord(merged), updateRecord(withoutPath),
                       updateRecord(ipv6Only)});
  RunOptions options;
  options.standardInput = std::string(dump.begin(), dump.end());
  const std::string withPaths =
      "1445565678|A|2001:db8::1|AS4294967295|::|AS64501|10.0.0.0/8|4294967295 3356 "
      "{15169,36040}\n"
      "1445565678|A|2001:db8::1|AS4294967295|::|AS64501|11.13.0.0/13|4294967295 3356 "
      "{15169,36040}\n"
      "1445565679|A|192.0.2.7|AS65000|192.0.2.8|AS65001|192.0.2.0/24|65000 4200000001\n";
  RunResult plain = runTarvex({"--update", "-"}, options);
  EXPECT_EQ(plain.out, withPaths);
  EXPECT_EQ(plain.err, "");
  // With --or and no lists, the message without an AS path is reported too.
  RunResult either = runTarvex({"--or", "--update", "-"}, options);
  EXPECT_EQ(either.out,
            withPaths + "1445565680|W|192.0.2.7|AS65000|192.0.2.8|AS65001|198.51.100.0/24\n");
}

}  // namespace
}  // namespace tarvex
