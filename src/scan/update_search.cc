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

  // Every prefix of the IPv4 list `prefixes`, in list order.
  void search(const mrt::PrefixList& prefixes) {
    if (prefixes.empty() || prefixes.afi() != mrt::kAfiIpv4) return;
    const ListVerdict verdict = match_.verdict();
    if (verdict == ListVerdict::kNone) return;
    char buffer[24];
    for (const mrt::Ipv4Prefix& prefix : prefixes.ipv4()) {
      if (match_.reports(verdict, prefix)) lines_.print(formatPrefixText(prefix, buffer), out_);
    }
  }

  // The IPv4 MP lists of one side, by rising SAFI; most messages have none.
  void searchMp(const mrt::MpLists& lists) {
    for (std::uint8_t safi :
         {mrt::kSafiUnicast, mrt::kSafiMulticast, mrt::kSafiUnicastMulticast}) {
      search(lists[mrt::kAfiIpv4][safi]);
    }
  }

 private:
  MessageMatch match_;
  MessageLines lines_;
  OutputPort& out_;
};

}  // namespace

void searchUpdate(const mrt::BgpUpdate& entry, const SearchSettings& settings, OutputPort& out,
                  OriginMemo* memo) {
  ListSearch lists(settings, entry, memo, out);
  lists.search(entry.withdrawn);
  lists.searchMp(entry.mpWithdrawn);
  lists.search(entry.announced);
  lists.searchMp(entry.mpAnnounced);
}

}  // namespace tarvex
