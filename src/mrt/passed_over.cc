#include "mrt/passed_over.h"

#include <algorithm>
#include <numeric>

#include "mrt/bgp4mp.h"
#include "mrt/byte_cursor.h"
#include "mrt/prefix_list.h"

namespace tarvex::mrt {

namespace {

constexpr std::uint16_t kMrtTypeBgp = 5;
constexpr std::uint16_t kMrtTypeBgp4Plus = 9;
constexpr std::uint16_t kMrtTypeBgp4Plus01 = 10;
constexpr std::uint16_t kMrtTypeTableDump = 12;
constexpr std::uint16_t kMrtTypeTableDumpV2 = 13;

constexpr std::uint16_t kSubtypeBgpUpdate = 1;
constexpr std::uint16_t kSubtypeBgpPrefUpdate = 2;
constexpr std::uint16_t kSubtypePeerIndexTable = 1;
constexpr std::uint16_t kSubtypeGeoPeerTable = 7;
constexpr std::uint16_t kSubtypeLastRib = 12;  // RIB_GENERIC_ADDPATH
constexpr std::uint16_t kSubtypeEntry = 2;
constexpr std::uint16_t kSubtypeMessageLocal = 6;
constexpr std::uint16_t kSubtypeMessageAs4Local = 7;
constexpr std::uint16_t kSubtypeFirstAddPath = 8;
constexpr std::uint16_t kSubtypeLastAddPath = 11;

const char* const kKindLabels[kUnsearchedKinds] = {
    "BGP (the old format, MRT type 5)",
    "BGP4PLUS (an old format, MRT types 9 and 10)",
    "TABLE_DUMP (a RIB dump)",
    "TABLE_DUMP_V2 (a RIB dump)",
    "BGP4MP ENTRY (a RIB entry)",
    "BGP4MP MESSAGE_LOCAL (sent by the collector)",
    "BGP4MP ADD-PATH",
};

// True when a BGP4MP record of subtypes 6 to 11, whose header is that of subtypes 1 and 4 (odd
// subtypes with 4-byte AS numbers), carries a BGP UPDATE. Other messages hold no route.
bool carriesUpdate(const MrtRecord& record) {
  ByteCursor body(record.body);
  Bgp4mpMessageHeader header;
  std::array<std::uint8_t, 16> peerAddress, localAddress;
  return readBgp4mpMessageHeader(record, record.subtype % 2 == 1 ? 4 : 2, body, header, peerAddress,
                                 localAddress) &&
         header.messageType == kBgpMessageUpdate;
}

UnsearchedKind bgp4mpKindOf(const MrtRecord& record) {
  if (record.subtype == kSubtypeEntry) return UnsearchedKind::kBgp4mpEntry;
  if (record.subtype == kSubtypeMessageLocal || record.subtype == kSubtypeMessageAs4Local) {
    return carriesUpdate(record) ? UnsearchedKind::kBgp4mpLocal : UnsearchedKind::kNone;
  }
  if (record.subtype >= kSubtypeFirstAddPath && record.subtype <= kSubtypeLastAddPath) {
    return carriesUpdate(record) ? UnsearchedKind::kBgp4mpAddPath : UnsearchedKind::kNone;
  }
  return UnsearchedKind::kNone;
}

bool isZero(std::uint8_t byte) {
  return byte == 0;
}

std::string plural(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

UnsearchedKind unsearchedKindOf(const MrtRecord& record) {
  const bool update =
      record.subtype == kSubtypeBgpUpdate || record.subtype == kSubtypeBgpPrefUpdate;
  switch (record.type) {
    case kMrtTypeBgp:
      return update ? UnsearchedKind::kBgp : UnsearchedKind::kNone;
    case kMrtTypeBgp4Plus:
    case kMrtTypeBgp4Plus01:
      return update ? UnsearchedKind::kBgp4Plus : UnsearchedKind::kNone;
    case kMrtTypeTableDump:
      // Subtypes 1 and 2 are the address families IPv4 and IPv6.
      return update ? UnsearchedKind::kTableDump : UnsearchedKind::kNone;
    case kMrtTypeTableDumpV2:
      if (record.subtype <= kSubtypePeerIndexTable || record.subtype == kSubtypeGeoPeerTable ||
          record.subtype > kSubtypeLastRib) {
        return UnsearchedKind::kNone;
      }
      return UnsearchedKind::kTableDumpV2;
    case kMrtTypeBgp4mp:
    case kMrtTypeBgp4mpEt:
      return bgp4mpKindOf(record);
    default:
      return UnsearchedKind::kNone;
  }
}

void BatchPassedOver::start(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  bytes_ = bytes;
  offset_ = offset;
  unsearched_.fill(0);
  zeros_.clear();
  leadingZeros_ = 0;
  trailingZeros_ = 0;
}

// A header of twelve zero bytes starts or continues a stretch of zeros. The stretch is taken
// whole at once, from the first zero byte before the header (inside the body of the record
// before it, say) to the last one after it, so that the headers that follow in it cost a
// comparison each.
void BatchPassedOver::noteTypeZero(const MrtRecord& record) {
  if (record.timestamp != 0 || record.subtype != 0 || !record.body.empty()) return;
  const std::size_t at =
      static_cast<std::size_t>(record.body.data() - bytes_.data()) - kMrtHeaderSize;
  if (!zeros_.empty() && zeros_.back().end >= offset_ + at + kMrtHeaderSize) return;
  std::size_t begin = at;
  while (begin > 0 && bytes_[begin - 1] == 0) --begin;
  const auto after = bytes_.begin() + static_cast<std::ptrdiff_t>(at + kMrtHeaderSize);
  const std::size_t end =
      static_cast<std::size_t>(std::find_if_not(after, bytes_.end(), isZero) - bytes_.begin());
  zeros_.push_back({offset_ + begin, offset_ + end});
}

// Neither scan goes far: a batch that does not start (end) with a stretch starts (ends) with a
// record whose header is not all zeros.
void BatchPassedOver::finish() {
  const std::uint64_t end = offset_ + bytes_.size();
  if (!zeros_.empty() && zeros_.front().begin == offset_) {
    leadingZeros_ = zeros_.front().end - offset_;
  } else {
    leadingZeros_ = static_cast<std::uint64_t>(
        std::find_if_not(bytes_.begin(), bytes_.end(), isZero) - bytes_.begin());
  }
  if (!zeros_.empty() && zeros_.back().end == end) {
    trailingZeros_ = end - zeros_.back().begin;
  } else {
    trailingZeros_ = static_cast<std::uint64_t>(
        std::find_if_not(bytes_.rbegin(), bytes_.rend(), isZero) - bytes_.rbegin());
  }
}

void FilePassedOver::add(const BatchPassedOver& batch) {
  for (std::size_t kind = 0; kind < kUnsearchedKinds; ++kind) {
    unsearched_[kind] += batch.unsearched_[kind];
  }
  const std::uint64_t begin = batch.offset_;
  const bool follows = begin == lastEnd_;
  // Zeros at the end of the last batch and at the start of this one are one stretch.
  if (follows && zerosEndAt(begin)) open_->end += batch.leadingZeros_;
  for (ByteStretch stretch : batch.zeros_) {
    if (follows && stretch.begin == begin) stretch.begin -= lastTrailingZeros_;
    addStretch(stretch);
  }
  lastEnd_ = begin + batch.bytes_.size();
  lastTrailingZeros_ = batch.trailingZeros_;
}

void FilePassedOver::addStretch(ByteStretch stretch) {
  if (open_ && stretch.begin <= open_->end) {
    open_->begin = std::min(open_->begin, stretch.begin);
    open_->end = std::max(open_->end, stretch.end);
    return;
  }
  if (open_) {
    if (closed_.size() < kNamedStretches) {
      closed_.push_back(*open_);
    } else {
      ++moreClosed_;
    }
  }
  open_ = stretch;
}

std::string FilePassedOver::zerosWarning(bool decompressed) const {
  if (!open_) return {};
  std::vector<ByteStretch> named = closed_;
  std::uint64_t more = moreClosed_;
  if (more == 0 && named.size() < kNamedStretches) {
    named.push_back(*open_);
  } else {
    ++more;
  }
  std::string text = "bytes ";
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (i > 0) text += (i + 1 == named.size() && more == 0) ? " and " : ", ";
    text += std::to_string(named[i].begin) + " to " + std::to_string(named[i].end - 1);
  }
  if (more != 0) text += " and " + plural(more, "more stretch", "more stretches");
  if (decompressed) text += " of the decompressed data";
  return text +
         " hold nothing but zeros (a preallocated or damaged file?); no record there could be "
         "searched";
}

std::string FilePassedOver::unsearchedWarning() const {
  const std::uint64_t total =
      std::accumulate(unsearched_.begin(), unsearched_.end(), std::uint64_t{0});
  if (total == 0) return {};
  std::string text = "passed over " +
                     plural(total, "record that can hold routes but is not searched",
                            "records that can hold routes but are not searched") +
                     ":";
  const char* separator = " ";
  for (std::size_t kind = 0; kind < kUnsearchedKinds; ++kind) {
    if (unsearched_[kind] == 0) continue;
    text += separator + std::to_string(unsearched_[kind]) + " " + kKindLabels[kind];
    separator = ", ";
  }
  return text;
}

}  // namespace tarvex::mrt
