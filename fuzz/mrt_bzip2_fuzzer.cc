// Fuzzes the parallel bzip2 reader against the sequential one on the same bytes. Where the
// sequential reader finds sound data, the parallel one must hand out exactly the same bytes;
// where it fails, the parallel one must fail too, and neither may hand out bytes that the other
// contradicts. Neither hands out a byte of a block whose check fails, so a failure that counts
// decompressed bytes counts exactly the bytes its reader handed out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "input/byte_source.h"
#include "input/bzip2/bzip2_parallel_source.h"
#include "input/bzip2/bzip2_source.h"

namespace {

struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::string failure;
};

// Reads at most 16 MB: a few kilobytes of bzip2 can stand for far more.
constexpr std::size_t kLimit = 16 * 1024 * 1024;

Outcome readAll(tarvex::input::ByteSource& source) {
  Outcome out;
  std::vector<std::uint8_t> buffer(65536);
  while (out.bytes.size() < kLimit) {
    const std::size_t got = source.read(buffer);
    if (got == 0) break;
    out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
  }
  if (out.bytes.size() > kLimit) out.bytes.resize(kLimit);
  out.failure = std::string(source.failure());
  return out;
}

// A reader that ran to its end and says "... after N decompressed bytes" handed out N bytes.
void checkCount(const Outcome& out) {
  const std::string tail = " decompressed bytes";
  const std::size_t end = out.failure.find(tail);
  if (out.bytes.size() >= kLimit || end == std::string::npos) return;
  const std::size_t start = out.failure.rfind(' ', end - 1);
  if (start == std::string::npos) std::abort();
  if (out.failure.substr(start + 1, end - start - 1) != std::to_string(out.bytes.size())) {
    std::abort();  // the count is not where the damaged block begins
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const std::span<const std::uint8_t> peeked = input.first(size < 10 ? size : 10);
  const std::span<const std::uint8_t> rest = input.subspan(peeked.size());

  tarvex::input::Bzip2Source sequentialSource(std::make_unique<tarvex::input::MemorySource>(rest),
                                              peeked);
  const Outcome sequential = readAll(sequentialSource);
  tarvex::input::ParallelBzip2Source parallelSource(
      std::make_unique<tarvex::input::MemorySource>(rest), peeked, 2);
  const Outcome parallel = readAll(parallelSource);

  // With no workers the blocks are decoded on the reading thread, through the same walk.
  tarvex::input::ParallelBzip2Source inlineSource(
      std::make_unique<tarvex::input::MemorySource>(rest), peeked, 0);
  const Outcome inlined = readAll(inlineSource);
  if (inlined.bytes != parallel.bytes || inlined.failure != parallel.failure) std::abort();

  const std::size_t common = std::min(sequential.bytes.size(), parallel.bytes.size());
  if (!std::equal(parallel.bytes.begin(), parallel.bytes.begin() + static_cast<long>(common),
                  sequential.bytes.begin())) {
    std::abort();  // the readers disagree on a byte
  }
  if (sequential.failure.empty() != parallel.failure.empty()) std::abort();
  if (sequential.failure.empty() && parallel.bytes.size() != sequential.bytes.size()) std::abort();
  checkCount(sequential);
  checkCount(parallel);
  return 0;
}
