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
// Nothing here does work that the query does not ask for: the AS criterion is worked out once
// per message, and only when an IPv4 list of it is searched; the origin token comes from the
// last segment of the path, without the whole text; the overlap test is numeric; and the prefix
// text is formatted only for a line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mrt/bgp_update.h"
#include "output/report_line.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Remembers whether the AS number set lists the origin ASNs already looked up: the origins of
/// a dump are a few thousand ASNs, and a lookup by text hashes the decimal digits each time.
/// Tied to the settings it was made for, which must outlive it; one per thread.
class OriginMemo {
 public:
  explicit OriginMemo(const SearchSettings& settings) : settings_(settings) {}

  /// True when the AS number set holds the decimal text of `asn`.
  bool listed(std::uint32_t asn);

 private:
  static constexpr std::size_t kSlots = 4096;
  const SearchSettings& settings_;
  // (asn << 2) | 2 | listed, for the last ASN that fell into the slot; 0 when empty.
  std::array<std::uint64_t, kSlots> slots_{};
};

/// The match rules over the prefix lists of one message.
class MessageMatch {
 public:
  /// `memo` may be null; it must belong to the same settings.
  MessageMatch(const SearchSettings& settings, const mrt::BgpUpdate& entry, OriginMemo* memo)
      : settings_(settings), entry_(entry), memo_(memo), lines_(entry) {}

  /// Tests every prefix of the IPv4 list `prefixes` (a list of the message) and hands each
  /// match to `printMatch`, in list order. Lists of another family are passed over.
  void matchList(const mrt::PrefixList& prefixes, OutputPort& out);

 private:
  enum class Verdict {
    kUnknown,  // not worked out yet
    kReport,   // reported whatever the CIDR result
    kSkip,     // reported under no CIDR result
    kAskCidr,  // reported exactly when the prefix overlaps the CIDR set
  };
  Verdict verdict();
  bool asCriterion();

  const SearchSettings& settings_;
  const mrt::BgpUpdate& entry_;
  OriginMemo* memo_;
  MessageLines lines_;
  Verdict verdict_ = Verdict::kUnknown;
};

/// Tests every prefix of the IPv4 list `prefixes` (a list of `entry`) and hands each match to
/// `printMatch`, in list order. Lists of another family are passed over.
void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, OutputPort& out);

/// True when the origin token of `asPathText` is a key of the AS number set. The token is what
/// follows the last space (the whole text when there is none, the empty text when the text ends
/// in a space), compared byte for byte: not read as a number, trimmed or folded.
bool originAsListed(std::string_view asPathText, const SearchSettings& settings);

/// Non-zero when the prefix text ("a.b.c.d/len") overlaps the CIDR set. A text that is not a
/// prefix gives 0 and the line "Invalid IP Wildcard:  REASON" on standard error through `out`.
int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, OutputPort& out);

}  // namespace tarvex
