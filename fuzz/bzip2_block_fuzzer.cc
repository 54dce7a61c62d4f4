// Fuzzes tarvex's bzip2 block decoder against libbz2. Whatever block the decoder accepts, libbz2
// must accept too, with the same bytes: the decoder may refuse anything (libbz2 then decides),
// but it may never decode differently. Each input is tried three ways:
//   - as bzip2 data, block after block from its stream header (mutated real dumps land here);
//   - as the body of a block: a block signature, then the input's bytes, which drives random
//     bits through every stage of the decoder;
//   - as plain data, compressed by libbz2 at a block size the input picks: the decoder must
//     then accept every block and give the data back.
#include <bzlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "input/bzip2/bzip2_block_decoder.h"
#include "input/bzip2/bzip2_blocks.h"

namespace {

using namespace tarvex::input;

constexpr std::size_t kOutputLimit = 2 * 1024 * 1024;

Bzip2BlockDecoder& decoder() {
  static Bzip2BlockDecoder instance(kOutputLimit);
  return instance;
}

// The block at bit `from`: if the decoder accepts it, libbz2 must agree byte for byte.
Bzip2BlockDecoder::Block checkBlock(std::span<const std::uint8_t> bytes, std::uint64_t from,
                                    int level, std::vector<std::uint8_t>& ours) {
  static Bzip2Memory memory;
  static std::vector<std::uint8_t> theirs, stream;
  const Bzip2BlockDecoder::Block block = decoder().decode(bytes, from, level, ours);
  if (!block.decoded) return block;
  if (block.end > std::uint64_t{bytes.size()} * 8) std::abort();
  const Bzip2BitRange piece{bytes, from, block.end - from};
  wrapBzip2Block({&piece, 1}, level, stream);
  if (decodeBzip2Block(stream, kOutputLimit, memory, theirs) != Bzip2BlockResult::kDecoded) {
    std::abort();  // accepted what libbz2 refuses
  }
  if (ours != theirs) std::abort();  // decoded differently
  return block;
}

void asStream(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != 'B' || bytes[1] != 'Z' || bytes[2] != 'h') return;
  const int level = bytes[3] - '0';
  std::vector<std::uint8_t> out;
  std::uint64_t bit = 32;
  for (int blocks = 0; blocks < 16 && readBits(bytes, bit, 48) == kBzip2BlockMagic; ++blocks) {
    const Bzip2BlockDecoder::Block block = checkBlock(bytes, bit, level, out);
    if (!block.decoded) break;
    bit = block.end;
  }
}

void asBlockBody(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  std::vector<std::uint8_t> block = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
  block.insert(block.end(), bytes.begin() + 1, bytes.end());
  std::vector<std::uint8_t> out;
  checkBlock(block, 0, 1 + bytes[0] % 9, out);
}

void roundTrip(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > 256 * 1024) return;
  const int level = 1 + bytes[0] % 9;
  std::vector<char> compressed(bytes.size() + bytes.size() / 100 + 700);
  auto size = static_cast<unsigned>(compressed.size());
  std::vector<char> plain(bytes.begin(), bytes.end());
  if (BZ2_bzBuffToBuffCompress(compressed.data(), &size, plain.data(),
                               static_cast<unsigned>(plain.size()), level, 0,
                               1 + bytes[bytes.size() / 2] % 250) != BZ_OK) {
    std::abort();
  }
  const std::span<const std::uint8_t> stream(
      reinterpret_cast<const std::uint8_t*>(compressed.data()), size);
  std::vector<std::uint8_t> decoded, out;
  std::uint64_t bit = 32;
  while (readBits(stream, bit, 48) == kBzip2BlockMagic) {
    const Bzip2BlockDecoder::Block block = checkBlock(stream, bit, level, out);
    if (!block.decoded) std::abort();  // refused sound data
    decoded.insert(decoded.end(), out.begin(), out.end());
    bit = block.end;
  }
  if (readBits(stream, bit, 48) != kBzip2EndMagic) std::abort();
  if (!std::equal(decoded.begin(), decoded.end(), bytes.begin(), bytes.end())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  asStream(input);
  asBlockBody(input);
  roundTrip(input);
  return 0;
}
