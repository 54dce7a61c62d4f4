// The prefix match rules: which prefixes of an UPDATE are reported under the run's criteria.
//
// Two criteria exist. The CIDR criterion holds when the prefix overlaps a block of the CIDR list;
// the AS criterion holds when the origin token of the message's AS path (what follows its last
// space) is a line of the AS number list. A list counts as named when its option value is
// non-empty, whatever the file held. A criterion whose list is not named counts as met, but a
// message without an AS path never meets the AS criterion. Without --or every criterion must
// hold; with --or one is enough, and with no CIDR list named every prefix is reported.
// Prefixes of length 0 are never tested or reported.
//
// Nothing here allocates for a prefix that is not reported: the AS result is worked out once
// per list, the overlap test is numeric, and the prefix text is formatted only for a line.
#pragma once

#include <string_view>

#include "mrt/bgp_update.h"
#include "scan/scan_sink.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Tests every prefix of the IPv4 list `prefixes` (a list of `entry`) and hands each match to
/// `printMatch`, in list order. Lists of another family are passed over.
void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, ScanSink& out);

/// True when the origin token of `asPathText` is a key of the AS number set. The token is what
/// follows the last space (the whole text when there is none, the empty text when the text ends
/// in a space), compared byte for byte: not read as a number, trimmed or folded.
bool originAsListed(std::string_view asPathText, const SearchSettings& settings);

/// Non-zero when the prefix text ("a.b.c.d/len") overlaps the CIDR set. A text that is not a
/// prefix gives 0 and the line "Invalid IP Wildcard:  REASON" on standard error through `out`.
int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, ScanSink& out);

}  // namespace tarvex
