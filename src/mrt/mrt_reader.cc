#include "mrt/mrt_reader.h"

#include "input/input_format.h"

namespace tarvex::mrt {

std::unique_ptr<MrtReader> MrtReader::open(const std::string& path, unsigned bzip2Workers,
                                           int* error) {
  std::unique_ptr<input::ByteSource> raw = input::openFileSource(path, error);
  if (!raw) return nullptr;
  return std::make_unique<MrtReader>(std::move(raw), bzip2Workers);
}

MrtReader::MrtReader(std::unique_ptr<input::ByteSource> raw, unsigned bzip2Workers)
    : batcher_(input::openDecodedInput(std::move(raw), bzip2Workers, &format_)) {}

bool MrtReader::next(BgpUpdate& update) {
  for (;;) {
    MrtRecord record;
    while (records_.next(record)) {
      if (decodeRecord(decoder_, record, update, batchPassedOver_, malformed_)) return true;
    }
    if (batch_.buffer) {
      batchPassedOver_.finish();
      passedOver_.add(batchPassedOver_);
    }
    batch_ = RecordBatch();  // released before the batcher reads on
    if (!batcher_.next(batch_)) return false;
    records_ = BatchRecords(batch_.bytes);
    batchPassedOver_.start(batch_.bytes, batch_.offset);
  }
}

// A file that ends in zeros ends, as often as not, in fewer zero bytes than a record header
// takes: they belong to the stretch before them, not to a record cut short.
bool MrtReader::zeroTailCovered() const {
  return batcher_.strayZeroBytes() != 0 && passedOver_.zerosEndAt(batcher_.offset());
}

std::string_view MrtReader::damage() const {
  if (zeroTailCovered()) return {};
  return batcher_.damage();
}

std::vector<std::string> MrtReader::passedOverWarnings() const {
  std::vector<std::string> warnings;
  FilePassedOver passedOver = passedOver_;
  if (zeroTailCovered()) passedOver.extendZeros(batcher_.strayZeroBytes());
  if (std::string zeros = passedOver.zerosWarning(format_ != input::InputFormat::kPlain);
      !zeros.empty()) {
    warnings.push_back(std::move(zeros));
  }
  if (std::string unsearched = passedOver.unsearchedWarning(); !unsearched.empty()) {
    warnings.push_back(std::move(unsearched));
  }
  return warnings;
}

}  // namespace tarvex::mrt
