// The AS path of one UPDATE message: AS_PATH validation, its text, and the AS4_PATH rebuild.
//
// AS_PATH and AS4_PATH values are runs of segments (RFC 4271 section 4.3, RFC 6793):
//
//   +--------------+--------------+--------------------------------------+
//   | type (1)     | count (1)    | count ASNs of 2 or 4 octets each     |
//   +--------------+--------------+--------------------------------------+
//
// with type 1 AS_SET, 2 AS_SEQUENCE, 3 AS_CONFED_SEQUENCE, 4 AS_CONFED_SET. A value is well formed
// when every segment has a known type and 1..255 ASNs and the segments fill it exactly (the
// conditions of RFC 7606 section 7.2).
//
// An `AsPath` refers to the AS_PATH (and, for 2-byte sessions, AS4_PATH) bytes of the message
// in the record buffer and is valid as long as the `BgpUpdate` that points to it. Its text is
// built on first use into a string that the decoder keeps from message to message, so a message
// whose path is never printed costs no formatting, and steady-state decoding does not allocate.
// The origin token, which the AS criterion compares, is found from the last segment alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarvex::mrt {

inline constexpr std::uint8_t kSegmentAsSet = 1;
inline constexpr std::uint8_t kSegmentAsSequence = 2;
inline constexpr std::uint8_t kSegmentConfedSequence = 3;
inline constexpr std::uint8_t kSegmentConfedSet = 4;

/// The AS number that a 2-byte speaker puts in place of a 4-byte one (RFC 6793).
inline constexpr std::uint32_t kAsTrans = 23456;

/// True when `value` is a well-formed AS_PATH or AS4_PATH with ASNs of `asnWidth` (2 or 4) bytes.
bool isWellFormedAsPath(std::span<const std::uint8_t> value, unsigned asnWidth);

/// The path length as RFC 6793 counts it: one per AS_SEQUENCE member, one per AS_SET,
/// nothing for confederation segments. `value` must be well formed.
std::size_t countAsPathLength(std::span<const std::uint8_t> value, unsigned asnWidth);

class AsPath {
 public:
  /// The path as text: segments in order, one space between them; AS_SEQUENCE members joined
  /// by one space, AS_SET as {a,b}, AS_CONFED_SEQUENCE as (a b), AS_CONFED_SET as [a,b]; ASNs in
  /// plain decimal. An empty AS_PATH gives the empty text.
  std::string_view text() const;

  /// The origin token of the text, what follows its last space, found without writing the
  /// whole text. When the path ends in an AS_SEQUENCE the token is the decimal text of its last
  /// ASN: the result is true and the ASN is in `asn`. Otherwise the result is false and the
  /// token is in `token` (the empty text for an empty path).
  bool origin(std::uint32_t& asn, std::string& token) const;

  /// Points the path at a well-formed AS_PATH value with ASNs of `asnWidth` bytes.
  void assign(std::span<const std::uint8_t> asPath, unsigned asnWidth);

  /// Points the path at the well-formed 2-byte AS_PATH of a message that also carries an
  /// AS4_PATH (not yet checked) which RFC 6793 says to merge. The text is then the rebuilt path;
  /// an AS4_PATH that is malformed or longer than the AS_PATH leaves the AS_PATH as it is.
  void assignWithAs4Path(std::span<const std::uint8_t> asPath,
                         std::span<const std::uint8_t> as4Path);

  /// The AS_PATH value as it stands in the message.
  std::span<const std::uint8_t> asPathWire() const { return asPath_; }
  /// True when the text comes from merging an AS4_PATH into a 2-byte AS_PATH (or would, were
  /// the AS4_PATH well formed and no longer than the AS_PATH).
  bool mergesAs4Path() const { return mergeAs4_; }

 private:
  void build() const;

  std::span<const std::uint8_t> asPath_;
  std::span<const std::uint8_t> as4Path_;
  unsigned asnWidth_ = 4;
  bool mergeAs4_ = false;
  mutable std::string text_;  // a buffer: the text is its first length_ characters
  mutable std::size_t length_ = 0;
  mutable bool built_ = false;
};

}  // namespace tarvex::mrt
