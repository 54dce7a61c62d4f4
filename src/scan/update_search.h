// The update walk: which prefix lists of a BGP4MP UPDATE are searched, and in which order.
//
// All withdrawals come before all announcements; on each side the message's own IPv4 list comes
// first, then the IPv4 MP lists by rising SAFI. IPv6 lists are never searched.
#pragma once

#include "criteria/match_rules.h"
#include "mrt/bgp_update.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

void examineEntry(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out);

/// The same, remembering origin lookups in `memo` (made for the same settings; may be null).
void examineEntry(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out,
                  OriginMemo* memo);

}  // namespace tarvex
