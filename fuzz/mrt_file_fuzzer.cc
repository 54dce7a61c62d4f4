// Fuzzes the whole file reader: format detection, gzip and bzip2 decompression, MRT framing and
// decoding, over an input held in memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_common.h"
#include "input/byte_source.h"
#include "mrt/mrt_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvex::mrt::MrtReader reader(
      std::make_unique<tarvex::input::MemorySource>(std::span<const std::uint8_t>(data, size)),
      /*bzip2Workers=*/2);
  tarvex::mrt::BgpUpdate update;
  while (reader.next(update)) tarvex::fuzz::exercise(update);
  return 0;
}
