#include "input/bzip2/bzip2_block_scanner.h"

#include <algorithm>
#include <limits>

#include "base/memory_budgets.h"

namespace tarvex::input {

namespace {

// A signature is 48 bits: one that may run past the bytes at hand waits for more of them.
constexpr std::uint64_t kSignatureBits = 48;

}  // namespace

Bzip2BlockScanner::Bzip2BlockScanner(std::unique_ptr<ByteSource> compressed,
                                     std::span<const std::uint8_t> peeked)
    : input_(std::move(compressed)), window_(peeked.begin(), peeked.end()) {}

// Reads more input behind the window and looks for signatures in it. False at the end.
bool Bzip2BlockScanner::readInput() {
  constexpr std::size_t kReadSize = budgets::kBzip2ParallelReadSize;
  std::size_t got = 0;
  if (!inputEnded_) {
    const std::size_t size = window_.size();
    window_.resize(size + kReadSize);
    got = input_->read({window_.data() + size, kReadSize});
    window_.resize(size + got);
    if (got == 0) inputEnded_ = true;
  }
  const std::uint64_t base = windowBase_ * 8;
  const std::uint64_t end = base + std::uint64_t{window_.size()} * 8;
  const std::uint64_t to =
      inputEnded_ ? end : std::max(end, base + kSignatureBits - 1) - (kSignatureBits - 1);
  const std::uint64_t from = std::max(scanned_, base);
  if (from < to) {
    std::vector<Bzip2Mark> found;
    findBzip2Marks(window_, from - base, to - base, base, found);
    marks_.insert(marks_.end(), found.begin(), found.end());
  }
  scanned_ = inputEnded_ ? std::numeric_limits<std::uint64_t>::max() : std::max(scanned_, to);
  return got != 0;
}

bool Bzip2BlockScanner::haveBytes(std::uint64_t end) {
  while (windowBase_ + window_.size() < end) {
    if (!readInput()) return false;
  }
  return true;
}

std::span<const std::uint8_t> Bzip2BlockScanner::windowFrom(std::uint64_t byte) const {
  if (byte < windowBase_ || byte >= windowBase_ + window_.size()) return {};
  return std::span<const std::uint8_t>(window_).subspan(
      static_cast<std::size_t>(byte - windowBase_));
}

const Bzip2Mark* Bzip2BlockScanner::markAfter(std::uint64_t bit, std::uint64_t limit) {
  for (;;) {
    auto found =
        std::lower_bound(marks_.begin(), marks_.end(), bit,
                         [](const Bzip2Mark& mark, std::uint64_t at) { return mark.bit < at; });
    if (found != marks_.end()) return &*found;
    if (scanned_ > limit) return nullptr;
    readInput();
  }
}

const Bzip2Mark* Bzip2BlockScanner::markAt(std::uint64_t bit) {
  const Bzip2Mark* mark = markAfter(bit, bit);
  return mark != nullptr && mark->bit == bit ? mark : nullptr;
}

void Bzip2BlockScanner::dropBefore(std::uint64_t bit) {
  while (!marks_.empty() && marks_.front().bit < bit) marks_.pop_front();
  const std::uint64_t byte = bit / 8;
  if (byte > windowBase_ + budgets::kBzip2DropStep) {
    const std::uint64_t drop = std::min<std::uint64_t>(byte - windowBase_, window_.size());
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
    windowBase_ += drop;
  }
}

Bzip2BlockScanner::Rest Bzip2BlockScanner::release(std::uint64_t byte) {
  std::span<const std::uint8_t> rest = windowFrom(byte);
  Rest out{std::vector<std::uint8_t>(rest.begin(), rest.end()), std::move(input_), inputEnded_};
  window_.clear();
  window_.shrink_to_fit();
  marks_.clear();
  return out;
}

}  // namespace tarvex::input
