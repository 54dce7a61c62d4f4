#include "input/input_format.h"

#include <algorithm>
#include <array>
#include <thread>

#include "input/bzip2/bzip2_parallel_source.h"
#include "input/bzip2/bzip2_source.h"
#include "input/gzip_source.h"

namespace tarvex::input {

namespace {

constexpr std::size_t kHeadSize = 10;

// Serves the bytes read for detection, then the rest of the input unchanged.
class PlainSource final : public ByteSource {
 public:
  PlainSource(std::unique_ptr<ByteSource> raw, std::span<const std::uint8_t> head)
      : raw_(std::move(raw)), headSize_(head.size()) {
    std::copy(head.begin(), head.end(), head_.begin());
  }

  std::size_t read(std::span<std::uint8_t> into) override {
    if (headUsed_ < headSize_) {
      std::size_t count = std::min(into.size(), headSize_ - headUsed_);
      std::copy_n(head_.begin() + static_cast<std::ptrdiff_t>(headUsed_), count, into.begin());
      headUsed_ += count;
      return count;
    }
    std::size_t got = raw_->read(into);
    if (got == 0 && !raw_->failure().empty()) failLike(*raw_);
    return got;
  }

 private:
  std::unique_ptr<ByteSource> raw_;
  std::array<std::uint8_t, kHeadSize> head_{};
  std::size_t headSize_;
  std::size_t headUsed_ = 0;
};

// An input that cannot be read at all.
class RefusedSource final : public ByteSource {
 public:
  explicit RefusedSource(std::string reason) { fail(std::move(reason)); }
  std::size_t read(std::span<std::uint8_t>) override { return 0; }
};

const char* formatName(InputFormat format) {
  switch (format) {
    case InputFormat::kGzip:
      return "gzip";
    case InputFormat::kBzip2:
      return "bzip2";
    case InputFormat::kXz:
      return "xz";
    case InputFormat::kPlain:
      break;
  }
  return "plain";
}

// Hands out what a decompressor yields, once its first bytes have shown that they are not
// compressed again: a file compressed twice would otherwise read as records of garbage, stopped
// by a length that cannot be right. Only the first read looks; the others pass straight through.
class SingleLayerSource final : public ByteSource {
 public:
  SingleLayerSource(std::unique_ptr<ByteSource> decoded, InputFormat outer)
      : decoded_(std::move(decoded)), outer_(outer) {}

  std::size_t read(std::span<std::uint8_t> into) override {
    if (checked_) return pass(into);
    checked_ = true;
    // Decompressors may hand out a few bytes at a time: enough for the check is gathered in
    // the caller's buffer.
    const std::size_t wanted = std::min(into.size(), kHeadSize);
    std::size_t size = 0;
    while (size < wanted) {
      std::size_t got = pass(into.subspan(size));
      if (got == 0) break;
      size += got;
    }
    const InputFormat inner = detectInputFormat(into.first(std::min(size, kHeadSize)));
    if (inner == InputFormat::kPlain) return size;
    const std::string advice =
        inner == InputFormat::kXz ? "decompress it twice" : "decompress it once";
    fail(std::string("the ") + formatName(outer_) + " data holds " + formatName(inner) +
         "-compressed data (the file was compressed twice); " + advice + " and search the result");
    decoded_.reset();
    return 0;
  }

 private:
  std::size_t pass(std::span<std::uint8_t> into) {
    if (!decoded_) return 0;
    std::size_t got = decoded_->read(into);
    if (got == 0 && !decoded_->failure().empty()) failLike(*decoded_);
    return got;
  }

  std::unique_ptr<ByteSource> decoded_;
  InputFormat outer_;
  bool checked_ = false;
};

// True when `head` starts with `signature`, or with as much of it as `head` holds (at least
// `minimum` bytes): a file cut short inside its magic is still recognised, and then reported as
// cut short by its decompressor.
bool startsWith(std::span<const std::uint8_t> head, std::span<const std::uint8_t> signature,
                std::size_t minimum) {
  std::size_t count = std::min(head.size(), signature.size());
  return count >= minimum &&
         std::equal(signature.begin(), signature.begin() + static_cast<std::ptrdiff_t>(count),
                    head.begin());
}

}  // namespace

InputFormat detectInputFormat(std::span<const std::uint8_t> head) {
  if (head.size() >= 2 && head[0] == 0x1f && head[1] == 0x8b) return InputFormat::kGzip;

  // "BZh" alone is also the start of a plain dump whose first timestamp falls in a 256-second
  // window of April 2005, so the block-size digit and the signature of the first block (or of
  // the end of an empty stream) must follow.
  if (head.size() >= 4 && head[0] == 'B' && head[1] == 'Z' && head[2] == 'h' && head[3] >= '1' &&
      head[3] <= '9') {
    static constexpr std::uint8_t kBlock[] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static constexpr std::uint8_t kEnd[] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    std::span<const std::uint8_t> rest = head.subspan(4);
    if (startsWith(rest, kBlock, 0) || startsWith(rest, kEnd, 0)) return InputFormat::kBzip2;
  }

  static constexpr std::uint8_t kXz[] = {0xfd, '7', 'z', 'X', 'Z', 0x00};
  if (startsWith(head, kXz, sizeof kXz)) return InputFormat::kXz;
  return InputFormat::kPlain;
}

std::unique_ptr<ByteSource> openDecodedInput(std::unique_ptr<ByteSource> raw, unsigned bzip2Workers,
                                             InputFormat* format) {
  std::array<std::uint8_t, kHeadSize> head{};
  std::size_t size = 0;
  while (size < head.size()) {
    std::size_t got = raw->read(std::span(head).subspan(size));
    if (got == 0) break;
    size += got;
  }
  std::span<const std::uint8_t> headBytes(head.data(), size);
  if (size == 0 && !raw->failure().empty()) {
    return std::make_unique<RefusedSource>(std::string(raw->failure()));
  }
  // A failed download leaves a file of no bytes, which holds no record: say so, as gzip -t would,
  // rather than let it pass for a dump without matches.
  if (size == 0)
    return std::make_unique<RefusedSource>(
        "the file is empty (0 bytes); nothing in it can be searched");
  const InputFormat detected = detectInputFormat(headBytes);
  if (format != nullptr) *format = detected;
  switch (detected) {
    case InputFormat::kGzip:
      return std::make_unique<SingleLayerSource>(
          std::make_unique<GzipSource>(std::move(raw), headBytes), detected);
    case InputFormat::kBzip2: {
      // bzip2 blocks decode independently, so several workers can share a file. With fewer,
      // the block reader still decodes on this thread: its block decoder is faster than
      // libbz2's, which it keeps for what it refuses.
      const unsigned workers = bzip2Workers >= 2 ? bzip2Workers : 0;
      return std::make_unique<SingleLayerSource>(
          std::make_unique<ParallelBzip2Source>(std::move(raw), headBytes, workers), detected);
    }
    case InputFormat::kXz:
      return std::make_unique<RefusedSource>(
          "the file is xz-compressed, which tarvex cannot read; decompress it first");
    case InputFormat::kPlain:
      break;
  }
  return std::make_unique<PlainSource>(std::move(raw), headBytes);
}

}  // namespace tarvex::input
