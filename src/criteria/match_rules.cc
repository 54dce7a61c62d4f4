#include "criteria/match_rules.h"

#include "criteria/ip_set.h"
#include "mrt/as_path.h"
#include "scan/report_line.h"

namespace tarvex {

bool originAsListed(std::string_view asPathText, const SearchSettings& settings) {
  std::size_t lastSpace = asPathText.rfind(' ');
  std::string_view origin =
      lastSpace == std::string_view::npos ? asPathText : asPathText.substr(lastSpace + 1);
  return settings.asnSet.find(origin) != settings.asnSet.end();
}

int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, ScanSink& out) {
  // TODO(criteria): parse the text as a wildcard and report a bad one.
  (void)prefixText;
  (void)settings;
  (void)out;
  return 0;
}

void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, ScanSink& out) {
  if (prefixes.empty()) return;
  const bool cidrNamed = !settings.cidrFile.empty();
  const bool asnNamed = !settings.asnFile.empty();

  // The AS result depends on the message only, so it is worked out once per list.
  bool asResult = false;
  if (entry.asPath != nullptr) {
    asResult = asnNamed ? originAsListed(entry.asPath->text(), settings) : true;
  }
  // Without --or and without an AS result no prefix can be reported, and the CIDR test has no
  // visible effect: a prefix text is always a valid wildcard.
  if (!settings.orMatch && !asResult) return;
  if (settings.orMatch && (!cidrNamed || asResult)) {
    for (const mrt::Ipv4Prefix& prefix : prefixes) {
      if (prefix.length == 0) continue;
      char buffer[24];
      printMatch(formatPrefixText(prefix, buffer), entry, out);
    }
    return;
  }

  for (const mrt::Ipv4Prefix& prefix : prefixes) {
    if (prefix.length == 0) continue;
    bool overlaps = !cidrNamed || settings.cidrSet->overlapsIpv4(prefix.address, prefix.length);
    if (!overlaps) continue;
    char buffer[24];
    printMatch(formatPrefixText(prefix, buffer), entry, out);
  }
}

}  // namespace tarvex
