#include "criteria/cidr_parser.h"

#include <array>
#include <cstddef>
#include <limits>

#include "input/message_text.h"

namespace tarvex {

namespace {

constexpr std::uint64_t kMaxIpv4Integer = 0xffffffffu;

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string unexpectedCharacter(char c) {
  return "Unexpected character '" + input::escapedForMessage(std::string_view(&c, 1)) + "'";
}

const char kEndOfInput[] = "Unexpected end-of-input";
const char kOverflow[] = "Value overflows the parser";

/// Reads through `text` once; every step either advances or reports why it cannot.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() const { return position_ == text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[position_]; }
  char peekAt(std::size_t ahead) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
  }
  void advance(std::size_t count = 1) { position_ += count; }
  std::size_t position() const { return position_; }
  void rewind(std::size_t position) { position_ = position; }

  /// The reason for a failure at the current position: the character found there, or the end.
  std::string unexpectedHere() const {
    return atEnd() ? std::string(kEndOfInput) : unexpectedCharacter(peek());
  }

  /// Reads a run of decimal digits (at least one) into `value`.
  bool readDecimal(std::uint64_t& value, std::string& reason) {
    if (!isDigit(peek())) {
      reason = unexpectedHere();
      return false;
    }
    value = 0;
    while (isDigit(peek())) {
      unsigned digit = static_cast<unsigned>(peek() - '0');
      if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
        reason = kOverflow;
        return false;
      }
      value = value * 10 + digit;
      advance();
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

/// The four parts of a dotted quad, the first already read as `firstPart`; fills `address`.
bool readDottedQuadRest(Cursor& cursor, std::uint64_t firstPart, std::uint32_t& address,
                        std::string& reason) {
  std::uint64_t part = firstPart;
  address = 0;
  for (int octet = 1; octet <= 4; ++octet) {
    if (part > 255) {
      reason = "IP octet " + std::to_string(octet) + " is too large: " + std::to_string(part);
      return false;
    }
    address = (address << 8) | static_cast<std::uint32_t>(part);
    if (octet == 4) break;
    if (cursor.peek() != '.') {
      reason = cursor.unexpectedHere();
      return false;
    }
    cursor.advance();
    if (!cursor.readDecimal(part, reason)) return false;
  }
  return true;
}

bool readIpv4(Cursor& cursor, std::uint32_t& address, bool& fromInteger, std::string& reason) {
  if (cursor.peek() == '+') cursor.advance();
  std::uint64_t value = 0;
  if (!cursor.readDecimal(value, reason)) return false;
  if (cursor.peek() == '.') return readDottedQuadRest(cursor, value, address, reason);
  if (value > kMaxIpv4Integer) {
    reason = "Integer too large for IPv4: " + std::to_string(value);
    return false;
  }
  address = static_cast<std::uint32_t>(value);
  fromInteger = true;
  return true;
}

/// Colon-hex with at most one "::" and an optional dotted-quad tail in place of the last two
/// groups.
bool readIpv6(Cursor& cursor, Ipv6Address& address, std::string& reason) {
  std::array<std::uint16_t, 8> groups{};
  int count = 0;
  int gapAt = -1;  // index of the group that "::" stands before

  if (cursor.peek() == ':') {
    if (cursor.peekAt(1) != ':') {
      reason = unexpectedCharacter(':');  // a lone colon cannot open an address
      return false;
    }
    cursor.advance(2);
    gapAt = 0;
  }

  while (true) {
    // Address ends right after "::" unless a group follows.
    if (gapAt == count && hexValue(cursor.peek()) < 0) break;

    std::size_t groupStart = cursor.position();
    int digits = 0;
    unsigned value = 0;
    while (hexValue(cursor.peek()) >= 0) {
      value = (value << 4) | static_cast<unsigned>(hexValue(cursor.peek()));
      ++digits;
      cursor.advance();
    }
    if (digits == 0) {
      reason = cursor.unexpectedHere();
      return false;
    }

    if (cursor.peek() == '.') {
      // A dotted-quad tail: decimal, and always the last two groups.
      cursor.rewind(groupStart);
      std::uint64_t firstPart = 0;
      std::uint32_t ipv4 = 0;
      if (!cursor.readDecimal(firstPart, reason)) return false;
      if (cursor.peek() != '.') {
        reason = cursor.unexpectedHere();
        return false;
      }
      if (!readDottedQuadRest(cursor, firstPart, ipv4, reason)) return false;
      if (count > 6) {
        reason = "Too many groups in an IPv6 address";
        return false;
      }
      groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(ipv4 >> 16);
      groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(ipv4 & 0xffff);
      break;
    }
    if (digits > 4) {
      // A group has at most four hex digits: the fifth is the first one out of place.
      cursor.rewind(groupStart + 4);
      reason = unexpectedCharacter(cursor.peek());
      return false;
    }
    if (count == 8) {
      reason = "Too many groups in an IPv6 address";
      return false;
    }
    groups[static_cast<std::size_t>(count++)] = static_cast<std::uint16_t>(value);

    if (cursor.peek() != ':') break;
    if (cursor.peekAt(1) == ':') {
      if (gapAt >= 0) {
        reason = unexpectedCharacter(':');  // a second "::"
        return false;
      }
      cursor.advance(2);
      gapAt = count;
      continue;
    }
    cursor.advance();
    if (hexValue(cursor.peek()) < 0) {
      reason = cursor.unexpectedHere();
      return false;
    }
  }

  if (gapAt < 0 && count < 8) {
    reason = cursor.unexpectedHere();
    return false;
  }
  if (gapAt >= 0 && count > 7) {
    reason = "Too many groups in an IPv6 address";
    return false;
  }

  // Groups after the gap move to the end; the gap itself is zeros.
  std::array<std::uint16_t, 8> expanded{};
  int tail = gapAt < 0 ? 0 : count - gapAt;
  int head = count - tail;
  for (int i = 0; i < head; ++i) {
    expanded[static_cast<std::size_t>(i)] = groups[static_cast<std::size_t>(i)];
  }
  for (int i = 0; i < tail; ++i) {
    expanded[static_cast<std::size_t>(8 - tail + i)] = groups[static_cast<std::size_t>(head + i)];
  }
  for (std::size_t i = 0; i < 8; ++i) {
    address[2 * i] = static_cast<std::uint8_t>(expanded[i] >> 8);
    address[2 * i + 1] = static_cast<std::uint8_t>(expanded[i] & 0xff);
  }
  return true;
}

bool readPrefixLength(Cursor& cursor, unsigned maximum, unsigned& length, std::string& reason) {
  while (isBlank(cursor.peek())) cursor.advance();
  if (cursor.peek() == '+') cursor.advance();
  std::uint64_t value = 0;
  if (!cursor.readDecimal(value, reason)) return false;
  if (!cursor.atEnd()) {
    reason = cursor.unexpectedHere();
    return false;
  }
  if (value < 1) {
    reason = "Value is below minimum of 1";
    return false;
  }
  if (value > maximum) {
    reason = "Value is above maximum of " + std::to_string(maximum);
    return false;
  }
  length = static_cast<unsigned>(value);
  return true;
}

}  // namespace

bool parseCidrBlock(std::string_view text, CidrBlock& block, std::string& reason) {
  text = text.substr(0, text.find('\0'));
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
  if (text.empty()) {
    reason = "Input is empty or all whitespace";
    return false;
  }

  // A colon before any "/" makes it an IPv6 address.
  std::string_view address = text.substr(0, text.find('/'));
  CidrBlock parsed;
  parsed.isIpv4 = address.find(':') == std::string_view::npos;
  Cursor cursor(text);
  bool ok = parsed.isIpv4 ? readIpv4(cursor, parsed.ipv4Address, parsed.ipv4FromInteger, reason)
                          : readIpv6(cursor, parsed.ipv6Address, reason);
  if (!ok) return false;

  const unsigned maximum = parsed.isIpv4 ? 32 : 128;
  if (cursor.atEnd()) {
    parsed.prefixLength = maximum;
  } else if (cursor.peek() == '/') {
    cursor.advance();
    if (!readPrefixLength(cursor, maximum, parsed.prefixLength, reason)) return false;
  } else {
    reason = cursor.unexpectedHere();
    return false;
  }
  block = parsed;
  return true;
}

}  // namespace tarvex
