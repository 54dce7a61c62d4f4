#include "scan/update_search.h"

namespace tarvex {

namespace {

// The IPv4 lists of one side, by rising SAFI; most messages have none.
void walkIpv4MpLists(const mrt::MpLists& lists, MessageMatch& match, OutputPort& out) {
  for (std::uint8_t safi : {mrt::kSafiUnicast, mrt::kSafiMulticast, mrt::kSafiUnicastMulticast}) {
    if (!lists[mrt::kAfiIpv4][safi].empty()) match.matchList(lists[mrt::kAfiIpv4][safi], out);
  }
}

}  // namespace

void examineEntry(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out) {
  examineEntry(entry, settings, out, nullptr);
}

void examineEntry(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out,
                  OriginMemo* memo) {
  if (entry.type != mrt::kMrtTypeBgp4mp && entry.type != mrt::kMrtTypeBgp4mpEt) return;
  if (entry.subtype != mrt::kSubtypeMessage && entry.subtype != mrt::kSubtypeMessageAs4) return;
  if (entry.bgpType != mrt::kBgpMessageUpdate) return;

  MessageMatch match(settings, entry, memo);
  if (!entry.withdrawn.empty()) match.matchList(entry.withdrawn, out);
  walkIpv4MpLists(entry.mpWithdrawn, match, out);
  if (!entry.announced.empty()) match.matchList(entry.announced, out);
  walkIpv4MpLists(entry.mpAnnounced, match, out);
}

}  // namespace tarvex
