// Decompresses a whole bzip2 file on one thread with tarvex's block decoder, to time the decoder
// alone against `bzip2 -dc` and `lbzip2 -n1 -dc` (bench/run-benchmarks does so).
//
//   bzip2_decode FILE [--null]
//
// The file is read into memory first, then decoded stream by stream and block by block, each
// block where the one before it ended; the output goes to standard output (nowhere with
// --null). The stream CRCs are checked. A block the decoder refuses ends the program with
// status 1, since libbz2 is not asked here: this program measures, it does not read.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "input/bzip2/bzip2_block_decoder.h"
#include "input/bzip2/bzip2_blocks.h"

namespace {

int fail(const std::string& why) {
  std::fprintf(stderr, "bzip2_decode: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvex::input;
  if (argc < 2) return fail("usage: bzip2_decode FILE [--null]");
  const bool discard = argc > 2 && std::strcmp(argv[2], "--null") == 0;
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) return fail(std::string("cannot open ") + argv[1]);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  const std::span<const std::uint8_t> input(bytes);

  Bzip2BlockDecoder decoder(64 * 1024 * 1024);
  std::vector<std::uint8_t> out;
  std::uint64_t bit = 0;
  std::uint64_t total = 0;
  while (bit / 8 + 4 <= input.size()) {
    const std::uint64_t at = bit / 8;
    if (input[at] != 'B' || input[at + 1] != 'Z' || input[at + 2] != 'h' || input[at + 3] < '1' ||
        input[at + 3] > '9') {
      return fail("no stream header at byte " + std::to_string(at));
    }
    const int level = input[at + 3] - '0';
    bit = (at + 4) * 8;
    std::uint32_t combined = 0;
    for (;;) {
      const std::uint64_t magic = readBits(input, bit, 48);
      if (magic == kBzip2EndMagic) break;
      if (magic != kBzip2BlockMagic) return fail("no block at bit " + std::to_string(bit));
      const Bzip2BlockDecoder::Block block = decoder.decode(input, bit, level, out);
      if (!block.decoded)
        return fail("the decoder refuses the block at bit " + std::to_string(bit));
      combined = ((combined << 1) | (combined >> 31)) ^ block.crc;
      total += out.size();
      if (!discard && std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) {
        return fail("cannot write");
      }
      bit = block.end;
    }
    if (readBits(input, bit + 48, 32) != combined) return fail("the stream CRC does not match");
    bit = (bit + 80 + 7) / 8 * 8;
  }
  std::fprintf(stderr, "%llu bytes\n", static_cast<unsigned long long>(total));
  return 0;
}
