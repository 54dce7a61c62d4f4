// Where the bytes of a dump come from: a file descriptor, or memory.
//
// A `ByteSource` hands out the bytes of one input in order, as large reads into the caller's
// buffer. Decompressors (`gzip_source.h`, `bzip2_source.h`) are sources that read from another
// source. A source that fails says why in `failure()`, one sentence that names the problem and
// how far the input got; the caller adds the file name. A failure found only after bytes of the
// damaged data had gone out (gzip checks a member only at its end) says so too, so that the
// caller does not vouch for what it made of them.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarvex::input {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  /// Fills as much of `into` as the input allows at once; returns the number of bytes written.
  /// 0 means the input has ended, cleanly when `failure()` is empty. `into` must not be empty.
  virtual std::size_t read(std::span<std::uint8_t> into) = 0;

  /// Empty while the input is sound; otherwise what went wrong.
  std::string_view failure() const { return failure_; }

  /// True when the failure is damage that was found only after some of the damaged data had
  /// been handed out: those bytes cannot be vouched for.
  bool mayHaveHandedOutDamagedBytes() const { return mayHaveHandedOutDamagedBytes_; }

 protected:
  void fail(std::string reason) {
    if (failure_.empty()) failure_ = std::move(reason);
  }
  /// Fails with damage found after bytes of the damaged data were handed out.
  void failAfterHandingOutDamagedBytes(std::string reason) {
    if (failure_.empty()) mayHaveHandedOutDamagedBytes_ = true;
    fail(std::move(reason));
  }
  /// Fails as `inner`, whose bytes this source handed out, failed.
  void failLike(const ByteSource& inner) {
    if (inner.mayHaveHandedOutDamagedBytes()) {
      failAfterHandingOutDamagedBytes(std::string(inner.failure()));
    } else {
      fail(std::string(inner.failure()));
    }
  }

 private:
  std::string failure_;
  bool mayHaveHandedOutDamagedBytes_ = false;
};

/// Reads a file descriptor with read(2). The descriptor is closed on destruction unless it is
/// one of the standard streams.
//
/// A regular file is expected to keep at least the size it had (from the read offset on) when it
/// was opened: one that ends short of it was cut while it was read, which is a failure, even when
/// the cut falls between two records and the bytes read look whole.
class FileSource final : public ByteSource {
 public:
  /// `pushedBack`, when not -1, is a byte already read from `fd`, handed out first.
  explicit FileSource(int fd, int pushedBack = -1);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t read(std::span<std::uint8_t> into) override;

 private:
  void failCut();

  int fd_;
  std::uint64_t total_ = 0;
  off_t startOffset_ = 0;         // where reading began in a regular file
  std::uint64_t sizeAtOpen_ = 0;  // 0 for anything but a regular file
  int pushedBack_;                // a byte read ahead while waiting for a pipe's writer, or -1
};

/// Serves bytes that the caller keeps alive for the source's lifetime.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t read(std::span<std::uint8_t> into) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

/// Opens `path` for reading ("-" is standard input). Returns null with an errno value in
/// `*error` when the path cannot be opened or is no dump at all: a directory (EISDIR), a device
/// (ENODEV: /dev/zero would never end), or a named pipe that no writer opens within
/// `kPipeWaitMs` of named_pipe.h (ETIMEDOUT). A pipe with a writer, as process substitution
/// hands out, is read like a file.
std::unique_ptr<ByteSource> openFileSource(const std::string& path, int* error);

}  // namespace tarvex::input
