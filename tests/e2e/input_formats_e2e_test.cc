// Dumps in every form the reader meets: the report of the built binary is the same, byte for
// byte, for the uncompressed dump, its gzip form, bzip2 forms of many blocks and of several
// streams (as parallel compressors write them, decoded here on several threads), and all of them
// through standard input; for a made dump, and for real ones of the corpus.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "corpus.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "update_dump.h"

namespace tarvex {
namespace {

using testing::Bytes;
using testing::runTarvex;
using testing::TempDir;

// The dump decompressed by the libraries themselves, not by the reader under test.
Bytes decompressed(const std::string& path) {
  const std::string file = testing::readFile(path);
  Bytes out;
  if (path.ends_with(".gz")) {
    gzFile gz = gzopen(path.c_str(), "rb");
    if (gz == nullptr) throw std::runtime_error("cannot open " + path);
    char buffer[65536];
    for (int got; (got = gzread(gz, buffer, sizeof buffer)) > 0;) {
      out.insert(out.end(), buffer, buffer + got);
    }
    gzclose(gz);
    return out;
  }
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) throw std::runtime_error("libbz2");
  stream.next_in = const_cast<char*>(file.data());
  stream.avail_in = static_cast<unsigned int>(file.size());
  char buffer[65536];
  int result = BZ_OK;
  while (result == BZ_OK) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result = BZ2_bzDecompress(&stream);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
  }
  BZ2_bzDecompressEnd(&stream);
  if (result != BZ_STREAM_END) throw std::runtime_error("damaged " + path);
  return out;
}

// Every form of `dump` (named `name` in messages) gives the report of the first, the plain one.
void expectSameReportFromEveryForm(const std::string& name, const Bytes& dump) {
  TempDir dir;
  ASSERT_GT(dump.size(), 1000000u) << name;
  const Bytes firstHalf(dump.begin(), dump.begin() + static_cast<long>(dump.size() / 2));
  const Bytes secondHalf(dump.begin() + static_cast<long>(dump.size() / 2), dump.end());
  const struct {
    const char* file;
    Bytes bytes;
  } forms[] = {
      {"plain", dump},
      {"gzip", testing::gzipCompress(dump)},
      {"bzip2 of 100 kB blocks", testing::bzip2CompressAtLevel(dump, 1)},
      {"bzip2 of 900 kB blocks", testing::bzip2CompressAtLevel(dump, 9)},
      {"bzip2, two streams and an empty one",
       testing::concat({testing::bzip2CompressAtLevel(firstHalf, 3), testing::bzip2Compress({}),
                        testing::bzip2CompressAtLevel(secondHalf, 7)})},
  };
  std::string expected;
  for (const auto& form : forms) {
    const std::string path = dir.file(form.file);
    testing::writeFile(path, form.bytes);
    testing::RunResult run = runTarvex({"--or", "--update", path});
    EXPECT_EQ(run.err, "") << name << ", " << form.file;
    if (expected.empty()) {
      expected = run.out;
      ASSERT_GT(expected.size(), 100000u) << name;
      continue;
    }
    EXPECT_TRUE(run.out == expected) << name << ", " << form.file;
    testing::RunOptions piped;
    piped.standardInput = std::string(form.bytes.begin(), form.bytes.end());
    EXPECT_TRUE(runTarvex({"--or", "--update", "-"}, piped).out == expected)
        << name << ", " << form.file << " through standard input";
  }
}

TEST(DecoderFormats, SameReportFromEveryForm) {
  expectSameReportFromEveryForm("a made dump", testing::updateDump({.records = 14000, .seed = 3}));
}

TEST(DecoderFormats, SameReportFromEveryFormOfRealDumps) {
  TARVEX_SKIP_WITHOUT_CORPUS(
      "real dumps add what no made dump holds: the message mix and "
      "attribute variety of busy collectors over megabytes");
  for (const char* name : {"dnas/sydney.updates.20220601.0415.bz2", "caida/updates.example.bz2",
                           "dnas/rrc23.updates.20220421.0200.gz"}) {
    expectSameReportFromEveryForm(name, decompressed(testing::corpusFile(name)));
  }
}

}  // namespace
}  // namespace tarvex
