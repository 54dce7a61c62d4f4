#include "scan/update_search.h"

#include "output/report_line.h"

namespace tarvex {

namespace {

// The lists of one message, searched under the message's verdict.
class ListSearch {
 public:
  ListSearch(const SearchSettings& settings, const mrt::BgpUpdate& entry, OriginMemo* memo,
             OutputPort& out)
      : match_(settings, entry, memo), lines_(entry), out_(out) {}

  // Every prefix of the IPv4 list `prefixes` (not empty), in list order.
  void search(const mrt::PrefixList& prefixes) {
    if (prefixes.afi() != mrt::kAfiIpv4) return;
    const ListVerdict verdict = match_.verdict();
    if (verdict == ListVerdict::kNone) return;
    char buffer[24];
    for (const mrt::Ipv4Prefix& prefix : prefixes.ipv4()) {
      if (match_.reports(verdict, prefix)) lines_.print(formatPrefixText(prefix, buffer), out_);
    }
  }

  // The IPv4 MP lists of one side, by rising SAFI; most messages have none. Written out, not
  // looped over a list of SAFIs: this runs twice for every message of a dump.
  void searchMp(const mrt::MpLists& lists) {
    const auto& ipv4 = lists[mrt::kAfiIpv4];
    if (!ipv4[mrt::kSafiUnicast].empty()) search(ipv4[mrt::kSafiUnicast]);
    if (!ipv4[mrt::kSafiMulticast].empty()) search(ipv4[mrt::kSafiMulticast]);
    if (!ipv4[mrt::kSafiUnicastMulticast].empty()) search(ipv4[mrt::kSafiUnicastMulticast]);
  }

 private:
  MessageMatch match_;
  MessageLines lines_;
  OutputPort& out_;
};

}  // namespace

void searchUpdate(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out,
                  OriginMemo* memo) {
  // Most messages have one or two lists: the emptiness tests stay here, in line.
  ListSearch lists(settings, entry, memo, out);
  if (!entry.withdrawn.empty()) lists.search(entry.withdrawn);
  lists.searchMp(entry.mpWithdrawn);
  if (!entry.announced.empty()) lists.search(entry.announced);
  lists.searchMp(entry.mpAnnounced);
}

}  // namespace tarvex
