#include "scan/update_walk.h"

#include "criteria/match_rules.h"

namespace tarvex {

void examineEntry(const mrt::BgpUpdate& entry, const SearchSettings& settings, ScanSink& out) {
  if (entry.type != mrt::kMrtTypeBgp4mp && entry.type != mrt::kMrtTypeBgp4mpEt) return;
  if (entry.subtype != mrt::kSubtypeMessage && entry.subtype != mrt::kSubtypeMessageAs4) return;
  if (entry.bgpType != mrt::kBgpMessageUpdate) return;

  constexpr std::uint8_t kSafis[] = {mrt::kSafiUnicast, mrt::kSafiMulticast,
                                     mrt::kSafiUnicastMulticast};
  matchPrefixes(entry.withdrawn, settings, entry, out);
  for (std::uint8_t safi : kSafis) {
    matchPrefixes(entry.mpWithdrawn[mrt::kAfiIpv4][safi], settings, entry, out);
  }
  matchPrefixes(entry.announced, settings, entry, out);
  for (std::uint8_t safi : kSafis) {
    matchPrefixes(entry.mpAnnounced[mrt::kAfiIpv4][safi], settings, entry, out);
  }
}

}  // namespace tarvex
