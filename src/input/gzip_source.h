// Decompresses gzip data with ISA-L's inflate.
//
// Every member of a multi-member file is read in turn (concatenated .gz files, and the output of
// parallel compressors). Damaged deflate data, a bad header or checksum, or data that ends inside
// a member stop the source with a failure naming the problem and the number of decompressed
// bytes produced before it; the bytes produced before the damage have all been handed out.
// A member's CRC and length are checked only at its end, after its bytes went out, and damage
// found midway may have begun earlier: damage found once the member has handed out bytes says
// that those bytes may be damaged (`mayHaveHandedOutDamagedBytes`). Bytes
// after the last member that are not a gzip member end the source too (all zero padding is
// accepted silently). Memory is fixed: the inflate state and the read-ahead of compressed_input.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "input/byte_source.h"
#include "input/compressed_input.h"

struct inflate_state;
struct isal_gzip_header;

namespace tarvex::input {

class GzipSource final : public CompressedSource {
 public:
  /// `peeked` are the first bytes of `compressed`, already read to detect the format.
  GzipSource(std::unique_ptr<ByteSource> compressed, std::span<const std::uint8_t> peeked);
  ~GzipSource() override;

  std::size_t read(std::span<std::uint8_t> into) override;

 private:
  enum class Phase { kMemberStart, kHeader, kInMember };
  bool startMember();
  bool readHeader();

  std::unique_ptr<inflate_state> state_;
  std::unique_ptr<isal_gzip_header> header_;
  Phase phase_ = Phase::kMemberStart;
  std::uint64_t memberProduced_ = 0;  // decompressed bytes of the member being read
};

}  // namespace tarvex::input
