#include "criteria/match_rules.h"

#include <charconv>
#include <string>

#include "mrt/as_path.h"

namespace tarvex {

namespace {

// Whether `asnSet` holds `token`; a record without a loaded set lists nothing.
bool tokenListed(const SearchSettings::AsnSet* asnSet, std::string_view token) {
  return asnSet != nullptr && asnSet->find(token) != asnSet->end();
}

bool asnTextListed(std::uint32_t asn, const SearchSettings::AsnSet* asnSet) {
  char digits[10];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, asn);
  (void)error;  // ten digits hold every 32-bit value
  return tokenListed(asnSet, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

}  // namespace

bool OriginMemo::listed(std::uint32_t asn) {
  const std::size_t slot = (asn * 0x9e3779b1u) >> 20;  // the top 12 bits of a multiplicative hash
  const std::uint64_t key = (std::uint64_t{asn} << 2) | 2;
  std::uint64_t& entry = slots_[slot];
  if ((entry & ~std::uint64_t{1}) == key) return (entry & 1) != 0;
  const bool found = asnTextListed(asn, asnSet_);
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
    return memo_ != nullptr ? memo_->listed(asn) : asnTextListed(asn, settings_.asnSet.get());
  }
  return tokenListed(settings_.asnSet.get(), token);
}

void MessageMatch::decide() {
  const bool cidrNamed = !settings_.cidrFile.empty();
  const bool asResult = asCriterion();
  if (settings_.orMatch != 0) {
    verdict_ = !cidrNamed || asResult ? ListVerdict::kAll : ListVerdict::kOverlapping;
  } else if (!asResult) {
    verdict_ = ListVerdict::kNone;
  } else {
    verdict_ = cidrNamed ? ListVerdict::kOverlapping : ListVerdict::kAll;
  }
  decided_ = true;
}

}  // namespace tarvex
