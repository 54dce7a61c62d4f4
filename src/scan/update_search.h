// The update search: which prefix lists of a BGP4MP UPDATE are searched, in which order, and the
// report line of each prefix the match rules report.
//
// All withdrawals come before all announcements; on each side the message's own IPv4 list comes
// first, then the IPv4 MP lists by rising SAFI. IPv6 lists are never searched.
#pragma once

#include "criteria/match_rules.h"
#include "mrt/bgp_update.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Writes to `out` the report lines of the prefixes of `entry` (an UPDATE the decoder selected)
/// that the match rules report, remembering origin lookups in `memo` (made for the same
/// settings; may be null).
void searchUpdate(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out,
                  OriginMemo* memo);

}  // namespace tarvex
