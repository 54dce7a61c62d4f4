#include "mrt/mrt_reader.h"

#include "mrt/input_format.h"

namespace tarvex::mrt {

std::unique_ptr<MrtReader> MrtReader::open(const std::string& path, int* error) {
  std::unique_ptr<ByteSource> raw = openFileSource(path, error);
  if (!raw) return nullptr;
  return std::make_unique<MrtReader>(std::move(raw));
}

MrtReader::MrtReader(std::unique_ptr<ByteSource> raw)
    : records_(openDecodedInput(std::move(raw), &format_)) {}

bool MrtReader::next(BgpUpdate& update) {
  MrtRecord record;
  while (records_.next(record)) {
    switch (decoder_.decode(record, update)) {
      case DecodeResult::kUpdate:
        return true;
      case DecodeResult::kNotSelected:
        break;
      case DecodeResult::kMalformed:
        ++malformed_;
        break;
    }
  }
  return false;
}

}  // namespace tarvex::mrt
