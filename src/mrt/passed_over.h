// What a dump walk passes over without searching it, so that the walk can say so.
//
// Two things make an empty report lie: records that can hold routes but are not searched (RIB
// dumps, the old BGP formats, BGP4MP subtypes other than the plain messages), and stretches of
// zero bytes (a preallocated or crash-damaged file), which read as endless records of twelve zero
// bytes: type 0, length 0. Such a header never occurs in real MRT data.
//
// The decoder's walk hands every record it did not select to a `BatchPassedOver`, which counts
// the unsearched records by kind and notes where zero headers lie. Only records of type 0 cost
// more than a switch on the type. Batches are walked on several threads; their findings are
// merged in input order by a `FilePassedOver`, which joins stretches of zeros that run across
// batch boundaries and words the warnings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mrt/bgp_update.h"
#include "mrt/record_batcher.h"

namespace tarvex::mrt {

/// Records that can hold routes but are not searched, by kind; in the order the warning lists
/// them (by MRT type).
enum class UnsearchedKind : std::uint8_t {
  kBgp,            // type 5, subtypes 1 and 2: the RIS format of 1999 to 2001
  kBgp4Plus,       // types 9 and 10, subtypes 1 and 2
  kTableDump,      // type 12
  kTableDumpV2,    // type 13, RIB subtypes (not the peer index or the geo peer table)
  kBgp4mpEntry,    // types 16 and 17, subtype 2
  kBgp4mpLocal,    // types 16 and 17, subtypes 6 and 7, carrying an UPDATE
  kBgp4mpAddPath,  // types 16 and 17, subtypes 8 to 11, carrying an UPDATE
  kNone,           // holds no route, or is searched
};
inline constexpr std::size_t kUnsearchedKinds = static_cast<std::size_t>(UnsearchedKind::kNone);

/// The kind of `record`, which the decoder did not select.
UnsearchedKind unsearchedKindOf(const MrtRecord& record);

/// Bytes [begin, end) of the (decompressed) input.
struct ByteStretch {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

/// What the walk of one batch passed over.
class BatchPassedOver {
 public:
  /// Starts over for the batch of `bytes` at `offset` in the input.
  void start(std::span<const std::uint8_t> bytes, std::uint64_t offset);

  /// Looks at `record` of the batch, which the decoder did not select.
  void note(const MrtRecord& record) {
    // BGP4MP state changes and the messages that are not UPDATEs are the common case here
    // (subtypes 0, 1, 4 and 5), and hold nothing that is not searched.
    constexpr unsigned kSearchedOrRouteless = 0x33;
    if ((record.type == kMrtTypeBgp4mp || record.type == kMrtTypeBgp4mpEt) && record.subtype < 6 &&
        ((kSearchedOrRouteless >> record.subtype) & 1u) != 0) {
      return;
    }
    if (record.type == 0) {
      noteTypeZero(record);
      return;
    }
    const UnsearchedKind kind = unsearchedKindOf(record);
    if (kind != UnsearchedKind::kNone) ++unsearched_[static_cast<std::size_t>(kind)];
  }

  /// Ends the batch: measures the zero bytes at its edges, where stretches may join those of
  /// the batches around it.
  void finish();

 private:
  friend class FilePassedOver;
  void noteTypeZero(const MrtRecord& record);

  std::span<const std::uint8_t> bytes_;
  std::uint64_t offset_ = 0;
  std::array<std::uint64_t, kUnsearchedKinds> unsearched_{};
  std::vector<ByteStretch> zeros_;  // around zero headers, within the batch, in order
  std::uint64_t leadingZeros_ = 0;
  std::uint64_t trailingZeros_ = 0;
};

/// The findings of one file's batches, merged in input order.
class FilePassedOver {
 public:
  /// Adds the findings of the batch that follows the last one added.
  void add(const BatchPassedOver& batch);

  /// True when the last stretch of zeros ends at `offset`.
  bool zerosEndAt(std::uint64_t offset) const { return open_ && open_->end == offset; }

  /// Extends the last stretch of zeros by `count` bytes (zero bytes after the last record).
  void extendZeros(std::uint64_t count) {
    if (open_) open_->end += count;
  }

  /// The sentence on the stretches of zeros, or empty; `decompressed` says that the offsets are
  /// of decompressed data.
  std::string zerosWarning(bool decompressed) const;

  /// The sentence on the records that can hold routes but were not searched, or empty.
  std::string unsearchedWarning() const;

 private:
  void addStretch(ByteStretch stretch);

  static constexpr std::size_t kNamedStretches = 3;
  std::array<std::uint64_t, kUnsearchedKinds> unsearched_{};
  std::vector<ByteStretch> closed_;  // the first stretches that cannot grow any more
  std::uint64_t moreClosed_ = 0;     // closed stretches after those
  std::optional<ByteStretch> open_;  // the last stretch, which the next batch may extend
  std::uint64_t lastEnd_ = 0;        // end of the last batch added
  std::uint64_t lastTrailingZeros_ = 0;
};

}  // namespace tarvex::mrt
