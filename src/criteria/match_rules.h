// The prefix match rules: which prefixes of an UPDATE are reported under the run's criteria.
//
// Two criteria exist. The CIDR criterion holds when the prefix overlaps a block of the CIDR list;
// the AS criterion holds when the origin token of the message's AS path (what follows its last
// space) is a line of the AS number list. A criterion whose list is not named counts as met, but
// a message without an AS path never meets the AS criterion. Without --or every criterion must
// hold; with --or one is enough, and with no CIDR list named every prefix is reported.
// Prefixes of length 0 are never tested or reported.
#pragma once

#include <string_view>

#include "mrt/bgp_update.h"
#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Tests every IPv4 prefix of `prefixes` (a list of `entry`) and reports each match, in order.
void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, ScanSink& out);

/// True when the origin token of `asPathText` is a key of the AS number set.
bool originAsListed(std::string_view asPathText, const SearchSettings& settings);

/// Non-zero when the prefix text ("a.b.c.d/len") overlaps the CIDR set; 0 when it does not or
/// when the text is not a prefix, which is reported on standard error through `out`.
int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, ScanSink& out);

}  // namespace tarvex
