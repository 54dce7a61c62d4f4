// What both fuzz targets do with a decoded update: everything the scan would do with it, so
// that every view the decoder hands out is read to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mrt/as_path.h"
#include "mrt/bgp_update.h"
#include "output/output_port.h"
#include "scan/update_search.h"
#include "settings/search_settings.h"

namespace tarvex::fuzz {

// Counts what the scan writes; the text itself is not kept.
class CountingSink final : public OutputPort {
 public:
  void write(Channel, std::string_view bytes) override { total += bytes.size(); }
  std::size_t total = 0;
};

inline void exercise(const mrt::BgpUpdate& update) {
  static const SearchSettings settings = [] {
    SearchSettings s;
    s.orMatch = 1;  // with no lists named, every prefix of every message is reported
    return s;
  }();
  CountingSink sink;
  searchUpdate(update, settings, sink, nullptr);
  if (update.asPath != nullptr) sink.total += update.asPath->text().size();
  // The IPv6 lists are never reported; walk their bytes all the same.
  for (const auto& side : {update.mpAnnounced, update.mpWithdrawn}) {
    for (const mrt::PrefixList& list : side[mrt::kAfiIpv6]) {
      for (std::uint8_t byte : list.wire()) sink.total += byte;
    }
  }
}

}  // namespace tarvex::fuzz
