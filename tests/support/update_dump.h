// Made update dumps in the shape of a collector's update files: BGP4MP UPDATE records from a
// few peers (IPv4 sessions with 4-byte and with 2-byte AS numbers, and an IPv6 session whose
// routes travel in MP_REACH/MP_UNREACH), announcements, withdrawals and messages that do both,
// over a pool of many prefixes, so that routes come and go again. The same shape always gives
// the same bytes, so the tests that use one need no file of their own.
#pragma once

#include <cstdint>

#include "mrt_builder.h"

namespace tarvex::testing {

struct UpdateDumpShape {
  int records = 800;
  std::uint32_t seed = 1;  // varies the peers' choices, the prefixes and the paths
  std::uint32_t firstTime = 1427846400;
};

/// The plain MRT bytes of a dump of that shape; about 90 bytes and 1.3 report lines under
/// --or per record.
Bytes updateDump(const UpdateDumpShape& shape);

}  // namespace tarvex::testing
