// Writes the sample dump and criteria files that the project ships in examples/: a quarter of
// an hour of made-up BGP4MP traffic from two collector sessions, gzip-compressed.
//
//   tarvex_make_sample OUTPUT_DIRECTORY

#include <cstdio>
#include <string>

#include "mrt_builder.h"

using namespace tarvex::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
  }
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
