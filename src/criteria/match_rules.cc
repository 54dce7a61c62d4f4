#include "criteria/match_rules.h"

#include <charconv>
#include <string>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"
#include "mrt/as_path.h"
#include "output/report_line.h"

namespace tarvex {

namespace {

bool overlapsCidrSet(const SearchSettings& settings, const mrt::Ipv4Prefix& prefix) {
  return settings.cidrSet != nullptr &&
         settings.cidrSet->overlapsIpv4(prefix.address, prefix.length);
}

bool asnTextListed(std::uint32_t asn, const SearchSettings& settings) {
  char digits[10];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, asn);
  (void)error;  // ten digits hold every 32-bit value
  return settings.asnSet.find(std::string_view(digits, static_cast<std::size_t>(end - digits))) !=
         settings.asnSet.end();
}

}  // namespace

bool OriginMemo::listed(std::uint32_t asn) {
  const std::size_t slot = (asn * 0x9e3779b1u) >> 20;  // the top 12 bits of a multiplicative hash
  const std::uint64_t key = (std::uint64_t{asn} << 2) | 2;
  std::uint64_t& entry = slots_[slot];
  if ((entry & ~std::uint64_t{1}) == key) return (entry & 1) != 0;
  const bool found = asnTextListed(asn, settings_);
  entry = key | (found ? 1 : 0);
  return found;
}

// The AS result: false without an AS path; true when no AS list is named; else whether the
// origin is listed. A named list that turned out empty is still consulted, and fails.
bool MessageMatch::asCriterion() {
  const mrt::AsPath* path = entry_.asPath;
  if (path == nullptr) return false;
  if (settings_.asnFile.empty()) return true;
  // A small string kept per thread: a token that is not a plain number is rare.
  thread_local std::string token;
  std::uint32_t asn = 0;
  if (path->origin(asn, token)) {
    return memo_ != nullptr ? memo_->listed(asn) : asnTextListed(asn, settings_);
  }
  return settings_.asnSet.find(std::string_view(token)) != settings_.asnSet.end();
}

MessageMatch::Verdict MessageMatch::verdict() {
  if (verdict_ != Verdict::kUnknown) return verdict_;
  const bool cidrNamed = !settings_.cidrFile.empty();
  const bool asResult = asCriterion();
  if (settings_.orMatch != 0) {
    verdict_ = !cidrNamed || asResult ? Verdict::kReport : Verdict::kAskCidr;
  } else if (!asResult) {
    verdict_ = Verdict::kSkip;
  } else {
    verdict_ = cidrNamed ? Verdict::kAskCidr : Verdict::kReport;
  }
  return verdict_;
}

void MessageMatch::matchList(const mrt::PrefixList& prefixes, OutputPort& out) {
  if (prefixes.empty() || prefixes.afi() != mrt::kAfiIpv4) return;
  const bool cidrNamed = !settings_.cidrFile.empty();
  const Verdict decided = verdict();
  // Without a CIDR list nothing can be printed for a skipped list.
  if (decided == Verdict::kSkip && !cidrNamed) return;

  char buffer[24];
  for (const mrt::Ipv4Prefix& prefix : prefixes) {
    if (prefix.length == 0) continue;
    if (prefix.length > 32) {
      // Only such a prefix text fails to parse, and its CIDR test then prints a message
      // whatever the verdict; it goes the text route so the message is the parser's own.
      std::string_view text = formatPrefixText(prefix, buffer);
      int overlaps = cidrNamed ? prefixInCidrSet(text, settings_, out) : 0;
      if (decided == Verdict::kReport || (decided == Verdict::kAskCidr && overlaps != 0)) {
        lines_.print(text, out);
      }
      continue;
    }
    // For lengths 1..32 the text route and the numeric test give the same answer: the prefix
    // text always parses, and both mask the host bits.
    if (decided == Verdict::kReport ||
        (decided == Verdict::kAskCidr && overlapsCidrSet(settings_, prefix))) {
      lines_.print(formatPrefixText(prefix, buffer), out);
    }
  }
}

void matchPrefixes(const mrt::PrefixList& prefixes, const SearchSettings& settings,
                   const mrt::BgpUpdate& entry, OutputPort& out) {
  MessageMatch(settings, entry, nullptr).matchList(prefixes, out);
}

bool originAsListed(std::string_view asPathText, const SearchSettings& settings) {
  std::size_t lastSpace = asPathText.rfind(' ');
  std::string_view origin =
      lastSpace == std::string_view::npos ? asPathText : asPathText.substr(lastSpace + 1);
  return settings.asnSet.find(origin) != settings.asnSet.end();
}

int prefixInCidrSet(std::string_view prefixText, const SearchSettings& settings, OutputPort& out) {
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

}  // namespace tarvex
