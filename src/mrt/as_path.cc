#include "mrt/as_path.h"

#include <algorithm>
#include <charconv>

#include "mrt/byte_cursor.h"

namespace tarvex::mrt {

namespace {

bool isConfederation(std::uint8_t type) {
  return type == kSegmentConfedSequence || type == kSegmentConfedSet;
}

std::uint32_t asnAt(std::span<const std::uint8_t> asns, std::size_t index, unsigned width) {
  const std::size_t at = index * width;
  if (width == 2) return (std::uint32_t{asns[at]} << 8) | asns[at + 1];
  return (std::uint32_t{asns[at]} << 24) | (std::uint32_t{asns[at + 1]} << 16) |
         (std::uint32_t{asns[at + 2]} << 8) | std::uint32_t{asns[at + 3]};
}

// Calls visit(type, asnBytes, count) for each segment of a well-formed value, in order, while it
// returns true.
template <typename Visit>
void forEachSegment(std::span<const std::uint8_t> value, unsigned width, Visit visit) {
  ByteCursor cursor(value);
  std::uint8_t type = 0;
  std::uint8_t count = 0;
  std::span<const std::uint8_t> asns;
  while (cursor.u8(type) && cursor.u8(count) && cursor.bytes(std::size_t{count} * width, asns)) {
    if (!visit(type, asns, std::size_t{count})) return;
  }
}

// Writes segments one after the other, with one space between them, into a buffer that the
// caller made large enough (see `textBound`).
class SegmentWriter {
 public:
  explicit SegmentWriter(char* out) : out_(out) {}

  /// Writes the first `take` ASNs of a segment.
  void write(std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t take,
             unsigned width) {
    if (previousHeldAsn_) *out_++ = ' ';
    char open = 0;
    char close = 0;
    char separator = ' ';
    switch (type) {
      case kSegmentAsSet:
        open = '{';
        close = '}';
        separator = ',';
        break;
      case kSegmentConfedSequence:
        open = '(';
        close = ')';
        break;
      case kSegmentConfedSet:
        open = '[';
        close = ']';
        separator = ',';
        break;
      default:
        break;
    }
    if (open != 0) *out_++ = open;
    for (std::size_t i = 0; i < take; ++i) {
      if (i != 0) *out_++ = separator;
      out_ = std::to_chars(out_, out_ + 10, asnAt(asns, i, width)).ptr;
    }
    if (close != 0) *out_++ = close;
    previousHeldAsn_ = take > 0;
  }

  char* end() const { return out_; }

 private:
  char* out_;
  bool previousHeldAsn_ = false;
};

// The most text that values of these sizes can give: a 2-byte ASN (5 digits and a separator) is
// 3 characters per byte, a 4-byte one less; a segment header (2 bytes) adds at most a space and
// two brackets.
std::size_t textBound(std::size_t asPathBytes, std::size_t as4PathBytes) {
  return 3 * (asPathBytes + as4PathBytes) + 16;
}

// Keeps only the last segment written: the origin token is in it.
class LastSegment {
 public:
  void write(std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t take,
             unsigned width) {
    type_ = type;
    asns_ = asns;
    take_ = take;
    width_ = width;
  }

  bool empty() const { return take_ == 0; }
  std::uint8_t type() const { return type_; }
  std::uint32_t lastAsn() const { return asnAt(asns_, take_ - 1, width_); }
  /// Writes the segment as it stands in the text, without a space before it.
  char* writeText(char* out) const {
    SegmentWriter writer(out);
    writer.write(type_, asns_, take_, width_);
    return writer.end();
  }

 private:
  std::uint8_t type_ = 0;
  std::span<const std::uint8_t> asns_;
  std::size_t take_ = 0;
  unsigned width_ = 4;
};

// Hands the segments of a well-formed AS_PATH with ASNs of `width` bytes, rebuilt with
// `as4Path` when `mergeAs4` is set, to `writer` in order.
template <typename Writer>
void writePath(Writer& writer, std::span<const std::uint8_t> asPath, unsigned width,
               std::span<const std::uint8_t> as4Path, bool mergeAs4) {
  auto writeWhole = [&](std::span<const std::uint8_t> value, unsigned valueWidth) {
    forEachSegment(value, valueWidth,
                   [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                     writer.write(type, asns, count, valueWidth);
                     return true;
                   });
  };

  if (!mergeAs4 || !isWellFormedAsPath(as4Path, 4)) {
    writeWhole(asPath, width);
    return;
  }
  const std::size_t oldLength = countAsPathLength(asPath, width);
  const std::size_t newLength = countAsPathLength(as4Path, 4);
  if (oldLength < newLength) {
    writeWhole(asPath, width);
    return;
  }

  // RFC 6793 section 4.2.3: keep as much of the leading AS_PATH as makes the rebuilt path as
  // long as the AS_PATH, then the AS4_PATH. Confederation segments count nothing: a leading one
  // is kept, and so are those right behind the last segment kept.
  std::size_t budget = oldLength - newLength;
  forEachSegment(asPath, width,
                 [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                   if (isConfederation(type)) {
                     writer.write(type, asns, count, width);
                     return true;
                   }
                   if (budget == 0) return false;
                   if (type == kSegmentAsSequence) {
                     const std::size_t take = std::min(count, budget);
                     writer.write(type, asns, take, width);
                     budget -= take;
                   } else {
                     writer.write(type, asns, count, width);
                     budget -= 1;
                   }
                   return true;
                 });
  // Confederation segments have no place in an AS4_PATH (RFC 6793 section 5): they are dropped.
  forEachSegment(as4Path, 4,
                 [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                   if (!isConfederation(type)) writer.write(type, asns, count, 4);
                   return true;
                 });
}

}  // namespace

bool isWellFormedAsPath(std::span<const std::uint8_t> value, unsigned asnWidth) {
  ByteCursor cursor(value);
  while (!cursor.empty()) {
    std::uint8_t type = 0;
    std::uint8_t count = 0;
    if (!cursor.u8(type) || type < kSegmentAsSet || type > kSegmentConfedSet) return false;
    if (!cursor.u8(count) || count == 0) return false;
    if (!cursor.skip(std::size_t{count} * asnWidth)) return false;
  }
  return true;
}

std::size_t countAsPathLength(std::span<const std::uint8_t> value, unsigned asnWidth) {
  std::size_t length = 0;
  forEachSegment(value, asnWidth, [&](std::uint8_t type, auto, std::size_t count) {
    if (type == kSegmentAsSequence) length += count;
    if (type == kSegmentAsSet) length += 1;
    return true;
  });
  return length;
}

void AsPath::assign(std::span<const std::uint8_t> asPath, unsigned asnWidth) {
  asPath_ = asPath;
  as4Path_ = {};
  asnWidth_ = asnWidth;
  mergeAs4_ = false;
  built_ = false;
}

void AsPath::assignWithAs4Path(std::span<const std::uint8_t> asPath,
                               std::span<const std::uint8_t> as4Path) {
  asPath_ = asPath;
  as4Path_ = as4Path;
  asnWidth_ = 2;
  mergeAs4_ = true;
  built_ = false;
}

std::string_view AsPath::text() const {
  if (!built_) {
    build();
    built_ = true;
  }
  return {text_.data(), length_};
}

bool AsPath::origin(std::uint32_t& asn, std::string& token) const {
  LastSegment last;
  writePath(last, asPath_, asnWidth_, as4Path_, mergeAs4_);
  token.clear();
  if (last.empty()) return false;  // no segment: the empty text
  if (last.type() == kSegmentAsSequence) {
    asn = last.lastAsn();
    return true;
  }
  // One segment's text, brackets and separators included; only a confederation sequence has
  // spaces inside.
  token.resize(textBound(asPath_.size(), mergeAs4_ ? as4Path_.size() : 0));
  char* end = last.writeText(token.data());
  token.resize(static_cast<std::size_t>(end - token.data()));
  const std::size_t lastSpace = token.rfind(' ');
  if (lastSpace != std::string::npos) token.erase(0, lastSpace + 1);
  return false;
}

void AsPath::build() const {
  // The buffer only grows, so after the longest path seen, building allocates nothing.
  const std::size_t bound = textBound(asPath_.size(), mergeAs4_ ? as4Path_.size() : 0);
  if (text_.size() < bound) text_.resize(bound);
  SegmentWriter writer(text_.data());
  writePath(writer, asPath_, asnWidth_, as4Path_, mergeAs4_);
  length_ = static_cast<std::size_t>(writer.end() - text_.data());
}

}  // namespace tarvex::mrt
