// Checks on reports for the end-to-end tests: equality that shows where two reports part
// instead of printing both whole, and the whole-line prefixes that a run cut short must leave.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tarvex::testing {

/// Success when `actual` equals `expected`; otherwise says where they part, with a few bytes
/// of each from the start of that line.
inline ::testing::AssertionResult sameReport(const std::string& actual,
                                             const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = static_cast<std::size_t>(
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
      actual.begin());
  std::size_t lineStart = at == 0 ? std::string::npos : actual.rfind('\n', at - 1);
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  return ::testing::AssertionFailure()
         << actual.size() << " bytes instead of " << expected.size() << "; they part at byte " << at
         << ", in the line that reads \"" << actual.substr(lineStart, at - lineStart + 40)
         << "\" here and \"" << expected.substr(lineStart, at - lineStart + 40)
         << "\" in the report expected";
}

/// Success when `part` is `whole` cut after one of its lines (or empty).
inline ::testing::AssertionResult wholeLinesOf(const std::string& part, const std::string& whole) {
  if (part.size() > whole.size() || whole.compare(0, part.size(), part) != 0) {
    return ::testing::AssertionFailure()
           << "not a beginning of the report: "
           << sameReport(part, whole.substr(0, part.size())).message();
  }
  if (!part.empty() && part.back() != '\n') {
    return ::testing::AssertionFailure() << "ends inside a line, after " << part.size() << " bytes";
  }
  return ::testing::AssertionSuccess();
}

/// The longest run of whole lines of `report` that fits in `limit` bytes.
inline std::string wholeLinesWithin(const std::string& report, std::size_t limit) {
  if (limit == 0) return "";
  std::size_t end = report.rfind('\n', limit - 1);
  return end == std::string::npos ? "" : report.substr(0, end + 1);
}

}  // namespace tarvex::testing
