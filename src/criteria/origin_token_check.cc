#include "criteria/origin_token_check.h"

#include <cstddef>
#include <cstdint>

namespace tarvex {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::uint64_t kLargestAsn = 4294967295u;
constexpr std::size_t kLargestAsnDigits = 10;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!isDigit(c)) return false;
  }
  return true;
}

/// A blank or control character no origin token holds, named for the user; null when there is
/// none. A carriage return is the usual trace of a list saved with CR LF line ends.
const char* strayCharacter(std::string_view line) {
  if (line.find('\0') != std::string_view::npos) {
    return "holds a NUL byte (a list takes one entry a line)";
  }
  for (char c : line) {
    if (c == '\r') return "holds a carriage return (a file with CR LF line ends?)";
  }
  for (char c : line) {
    if (c == ' ') return "holds a space";
    if (c == '\t') return "holds a tab";
  }
  return nullptr;
}

bool startsWithAsPrefix(std::string_view line) {
  return line.size() >= 2 && (line[0] == 'A' || line[0] == 'a') &&
         (line[1] == 'S' || line[1] == 's');
}

constexpr char kNotAToken[] =
    "is not a decimal AS number, an AS set \"{a,b}\", a confederation set \"[a,b]\" or the end "
    "of a confederation sequence \"b)\"";

/// Why one AS number of a token is not one as printed; empty when it is.
std::string whyNotAnAsn(std::string_view number) {
  if (!allDigits(number)) return kNotAToken;
  if (number.size() > 1 && number[0] == '0') return "has a leading zero";
  if (number.size() > kLargestAsnDigits) return "is above 4294967295, the largest AS number";
  std::uint64_t value = 0;
  for (char c : number) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  if (value > kLargestAsn) return "is above 4294967295, the largest AS number";
  return {};
}

/// Why a comma-separated list of AS numbers, as a set prints it, is not one; empty when it is.
std::string whyNotAnAsnList(std::string_view members) {
  while (true) {
    std::size_t comma = members.find(',');
    if (std::string reason = whyNotAnAsn(members.substr(0, comma)); !reason.empty()) {
      return reason;
    }
    if (comma == std::string_view::npos) return {};
    members.remove_prefix(comma + 1);
  }
}

/// Why a line free of blanks is not the text of an origin token; empty when it is.
std::string whyNotAToken(std::string_view token) {
  if (token.empty()) return {};  // the origin token of an empty AS path
  const char first = token.front();
  const char last = token.back();
  if (token.size() >= 2 && ((first == '{' && last == '}') || (first == '[' && last == ']'))) {
    return whyNotAnAsnList(token.substr(1, token.size() - 2));
  }
  if (last == ')') {
    // "(a)" closes a confederation sequence of one AS, "b)" one of more.
    std::string_view number = token.substr(0, token.size() - 1);
    if (first == '(') number.remove_prefix(1);
    return whyNotAnAsn(number);
  }
  return whyNotAnAsn(token);
}

}  // namespace

std::string whyNoOriginMatches(std::string_view line) {
  if (line.starts_with(kByteOrderMark)) return "starts with a byte-order mark";
  if (const char* stray = strayCharacter(line)) return stray;
  if (startsWithAsPrefix(line)) {
    return "starts with \"" + std::string(line.substr(0, 2)) + "\" (write the number alone)";
  }
  return whyNotAToken(line);
}

}  // namespace tarvex
