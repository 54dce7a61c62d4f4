#include "criteria/match_rules.h"

#include <string>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "mrt/as_path.h"
#include "scan/report_line.h"

namespace tarvex {

namespace {

/// What the rules say about every prefix of one list before the CIDR result is known.
enum class ListVerdict {
  kReport,   // reported whatever the CIDR result
  kSkip,     // reported under no CIDR result
  kAskCidr,  // reported exactly when the prefix overlaps the CIDR set
};

ListVerdict verdictBeforeCidr(const SearchSettings& settings, const mrt::BgpUpdate& entry) {
  const bool cidrNamed = !settings.cidrFile.empty();
  // A named AS list is consulted even when the set turned out empty: the test then fails.
  bool asResult = false;
  if (entry.asPath != nullptr) {
    asResult = settings.asnFile.empty() || originAsListed(entry.asPath->text(), settings);
  }
  if (settings.orMatch != 0) {
    if (!cidrNamed || asResult) return ListVerdict::kReport;
    return ListVerdict::kAskCidr;
  }
  if (!asResult) return ListVerdict::kSkip;
  return cidrNamed ? ListVerdict::kAskCidr : ListVerdict::kReport;
}

bool overlapsCidrSet(const SearchSettings& settings, const mrt::Ipv4Prefix& prefix) {
  return settings.cidrSet != nullptr &&
         settings.cidrSet->overlapsIpv4(prefix.address, prefix.length);
}

}  // namespace

bool originAsListed(std::string_view asPathText, const SearchSettings& settings) {
  std::size_t lastSpace = asPathText.rfind(' ');
  std::string_view origin =
      lastSpace == std::string_view::npos ? asPathText : asPathText.substr(lastSpace + 1);
  return settings.asnSet.find(origin) != settings.asnSet.end();
}

int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, ScanSink& out) {
  CidrBlock block;
  std::string reason;
  if (!parseCidrBlock(prefixText, block, reason)) {
    out.toStderr("Invalid IP Wildcard:  " + reason + "\n");
    return 0;
  }
  if (settings.cidrSet == nullptr) return 0;
  if (block.isIpv4) return settings.cidrSet->overlapsIpv4(block.ipv4Address, block.prefixLength);
  return settings.cidrSet->overlaps(block.ipv6Address, block.prefixLength);
}

void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, ScanSink& out) {
  if (prefixes.empty() || prefixes.afi() != mrt::kAfiIpv4) return;
  const bool cidrNamed = !settings.cidrFile.empty();
  const ListVerdict verdict = verdictBeforeCidr(settings, entry);
  // Without a CIDR list nothing can be printed for a skipped list.
  if (verdict == ListVerdict::kSkip && !cidrNamed) return;

  char buffer[24];
  for (const mrt::Ipv4Prefix& prefix : prefixes) {
    if (prefix.length == 0) continue;
    if (prefix.length > 32) {
      // Only such a prefix text fails to parse, and its CIDR test then prints a message
      // whatever the verdict; it goes the text route so the message is the parser's own.
      std::string_view text = formatPrefixText(prefix, buffer);
      int overlaps = cidrNamed ? prefixInCidrSet(text, settings, out) : 0;
      if (verdict == ListVerdict::kReport || (verdict == ListVerdict::kAskCidr && overlaps != 0)) {
        printMatch(text, entry, out);
      }
      continue;
    }
    // For lengths 1..32 the text route and the numeric test give the same answer: the prefix
    // text always parses, and both mask the host bits.
    if (verdict == ListVerdict::kReport ||
        (verdict == ListVerdict::kAskCidr && overlapsCidrSet(settings, prefix))) {
      printMatch(formatPrefixText(prefix, buffer), entry, out);
    }
  }
}

}  // namespace tarvex
