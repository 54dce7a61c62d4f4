#include "mrt/as_path.h"

#include <algorithm>

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

void appendDecimal(std::string& out, std::uint32_t value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(digits, digits + count);
  out.append(digits, count);
}

// Writes segments one after the other, with one space between them.
class SegmentWriter {
 public:
  explicit SegmentWriter(std::string& out) : out_(out) {}

  /// Writes the first `take` ASNs of a segment.
  void write(std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t take,
             unsigned width) {
    if (previousHeldAsn_) out_ += ' ';
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
    if (open != 0) out_ += open;
    for (std::size_t i = 0; i < take; ++i) {
      if (i != 0) out_ += separator;
      appendDecimal(out_, asnAt(asns, i, width));
    }
    if (close != 0) out_ += close;
    previousHeldAsn_ = take > 0;
  }

 private:
  std::string& out_;
  bool previousHeldAsn_ = false;
};

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
  return text_;
}

void AsPath::build() const {
  text_.clear();
  SegmentWriter writer(text_);
  auto writeWhole = [&](std::span<const std::uint8_t> value, unsigned width) {
    forEachSegment(value, width,
                   [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                     writer.write(type, asns, count, width);
                     return true;
                   });
  };

  if (!mergeAs4_ || !isWellFormedAsPath(as4Path_, 4)) {
    writeWhole(asPath_, asnWidth_);
    return;
  }
  const std::size_t oldLength = countAsPathLength(asPath_, asnWidth_);
  const std::size_t newLength = countAsPathLength(as4Path_, 4);
  if (oldLength < newLength) {
    writeWhole(asPath_, asnWidth_);
    return;
  }

  // RFC 6793 section 4.2.3: keep as much of the leading AS_PATH as makes the rebuilt path as
  // long as the AS_PATH, then the AS4_PATH. Confederation segments count nothing: a leading one
  // is kept, and so are those right behind the last segment kept.
  std::size_t budget = oldLength - newLength;
  forEachSegment(asPath_, asnWidth_,
                 [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                   if (isConfederation(type)) {
                     writer.write(type, asns, count, asnWidth_);
                     return true;
                   }
                   if (budget == 0) return false;
                   if (type == kSegmentAsSequence) {
                     const std::size_t take = std::min(count, budget);
                     writer.write(type, asns, take, asnWidth_);
                     budget -= take;
                   } else {
                     writer.write(type, asns, count, asnWidth_);
                     budget -= 1;
                   }
                   return true;
                 });
  // Confederation segments have no place in an AS4_PATH (RFC 6793 section 5): they are dropped.
  forEachSegment(as4Path_, 4,
                 [&](std::uint8_t type, std::span<const std::uint8_t> asns, std::size_t count) {
                   if (!isConfederation(type)) writer.write(type, asns, count, 4);
                   return true;
                 });
}

}  // namespace tarvex::mrt
