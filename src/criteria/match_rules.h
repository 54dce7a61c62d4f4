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
// The rules decide and never write: the update search asks them about each prefix and writes
// the lines. Nothing here does work that the query does not ask for: the AS criterion is worked
// out once per message, and only when an IPv4 list of it is searched; the origin token comes from
// the last segment of the path, without the whole text; and the overlap test is numeric.
#pragma once

#include <array>
#include <cstdint>

#include "criteria/ip_set.h"
#include "mrt/bgp_update.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Remembers whether the AS number set lists the origin ASNs already looked up: the origins of
/// a dump are a few thousand ASNs, and a lookup by text hashes the decimal digits each time.
/// Tied to the AS number set of the settings it was made for, which must outlive it; one per
/// thread.
class OriginMemo {
 public:
  explicit OriginMemo(const SearchSettings& settings) : asnSet_(settings.asnSet.get()) {}

  /// True when the AS number set holds the decimal text of `asn`.
  bool listed(std::uint32_t asn);

 private:
  static constexpr std::size_t kSlots = 4096;
  const SearchSettings::AsnSet* asnSet_;  // null: no set loaded, so nothing is listed
  // (asn << 2) | 2 | listed, for the last ASN that fell into the slot; 0 when empty.
  std::array<std::uint64_t, kSlots> slots_{};
};

/// What the rules say of the prefixes of a message's lists: the AS criterion and --or are the
/// same for every prefix of the message, so only the CIDR test can remain per prefix.
enum class ListVerdict {
  kNone,         // no prefix is reported
  kAll,          // every prefix of non-zero length is reported
  kOverlapping,  // a prefix of non-zero length is reported exactly when it overlaps the CIDR set
};

/// The match rules over the prefixes of one message.
class MessageMatch {
 public:
  /// `settings` must outlive the match and keep their sets while it lives; `memo` may be null,
  /// and must belong to the same settings.
  MessageMatch(const SearchSettings& settings, const mrt::BgpUpdate& entry, OriginMemo* memo)
      : settings_(settings), cidrSet_(settings.cidrSet.get()), entry_(entry), memo_(memo) {}

  /// The verdict for every list of the message, worked out on the first call.
  ListVerdict verdict() {
    if (!decided_) decide();
    return verdict_;
  }

  /// Whether `prefix`, of a list of the message, is reported under `verdict` (the message's).
  bool reports(ListVerdict verdict, const mrt::Ipv4Prefix& prefix) const {
    if (prefix.length == 0) return false;
    return verdict == ListVerdict::kAll ||
           (verdict == ListVerdict::kOverlapping && cidrSet_ != nullptr &&
            cidrSet_->overlapsIpv4(prefix.address, prefix.length));
  }

 private:
  void decide();
  bool asCriterion();

  const SearchSettings& settings_;
  const IpSet* cidrSet_;  // taken once from the settings, for the test of every prefix
  const mrt::BgpUpdate& entry_;
  OriginMemo* memo_;
  ListVerdict verdict_ = ListVerdict::kNone;
  bool decided_ = false;
};

}  // namespace tarvex
