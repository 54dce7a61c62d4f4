// Fuzzes the BGP4MP record decoder. The first byte picks the MRT type (16 or 17) and subtype (1
// or 4) so that every input reaches the decoder; the rest is the record body.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_common.h"
#include "mrt/bgp4mp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  tarvex::mrt::MrtRecord record;
  record.timestamp = 1;
  record.type = (data[0] & 1) != 0 ? tarvex::mrt::kMrtTypeBgp4mpEt : tarvex::mrt::kMrtTypeBgp4mp;
  record.subtype =
      (data[0] & 2) != 0 ? tarvex::mrt::kSubtypeMessageAs4 : tarvex::mrt::kSubtypeMessage;
  record.body = std::span<const std::uint8_t>(data + 1, size - 1);
  tarvex::mrt::UpdateDecoder decoder;
  tarvex::mrt::BgpUpdate update;
  if (decoder.decode(record, update) == tarvex::mrt::DecodeResult::kUpdate) {
    tarvex::fuzz::exercise(update);
  }
  return 0;
}
