// Byte sources: format detection, gzip members and bzip2 streams, damage and truncation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "input/byte_source.h"
#include "input/input_format.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "test_byte_sources.h"

namespace tarvex::input {
namespace {

using testing::Bytes;
using testing::bzip2Compress;
using testing::concat;
using testing::gzipCompress;

using testing::readAll;
using testing::ReadOutcome;

ReadOutcome decodeAll(const Bytes& file, std::size_t step = 1 << 20, std::size_t chunk = 65536,
                      bool failAtEnd = false) {
  std::unique_ptr<ByteSource> source = openDecodedInput(
      std::make_unique<testing::TrickleSource>(
          file, step, failAtEnd ? testing::TrickleSource::readError(file.size()) : ""),
      /*bzip2Workers=*/2);
  return readAll(*source, chunk);
}

// Compressible but not trivial: pseudo-random numbers as text.
Bytes sampleData(std::size_t size) {
  Bytes out;
  out.reserve(size);
  std::uint32_t state = 12345;
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    std::string word = std::to_string(state >> 20) + (state % 7 == 0 ? "\n" : " ");
    out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(size);
  return out;
}

struct FormatCase {
  const char* name;
  Bytes head;
  InputFormat format;
};

TEST(InputFormat, ChosenByMagicBytes) {
  const FormatCase cases[] = {
      {"gzip", {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3}, InputFormat::kGzip},
      {"gzip, 2 bytes only", {0x1f, 0x8b}, InputFormat::kGzip},
      {"bzip2 block",
       {'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59},
       InputFormat::kBzip2},
      {"bzip2 empty stream",
       {'B', 'Z', 'h', '1', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90},
       InputFormat::kBzip2},
      {"bzip2 cut inside its magic", {'B', 'Z', 'h', '9', 0x31}, InputFormat::kBzip2},
      {"plain record stamped in April 2005",
       {'B', 'Z', 'h', '9', 0x00, 0x10, 0x00, 0x04, 0, 0, 0, 0},
       InputFormat::kPlain},
      {"BZh with a bad block size",
       {'B', 'Z', 'h', '0', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59},
       InputFormat::kPlain},
      {"xz", {0xfd, '7', 'z', 'X', 'Z', 0x00, 0, 4}, InputFormat::kXz},
      {"plain MRT",
       {0x4c, 0xd7, 0x26, 0xf8, 0x00, 0x10, 0x00, 0x01, 0, 0, 0, 0x4c},
       InputFormat::kPlain},
      {"empty", {}, InputFormat::kPlain},
      {"one byte", {0x1f}, InputFormat::kPlain},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(detectInputFormat(c.head), c.format) << c.name;
}

TEST(DecodedInput, EveryFormatYieldsTheSameBytes) {
  Bytes data = sampleData(1536 * 1024 + 17);
  Bytes half1(data.begin(), data.begin() + 600000);
  Bytes half2(data.begin() + 600000, data.end());
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"plain", data},
      {"gzip", gzipCompress(data)},
      {"gzip, three members, one empty",
       concat({gzipCompress(half1), gzipCompress({}), gzipCompress(half2)})},
      {"gzip with zero padding", concat({gzipCompress(data), Bytes(512, 0)})},
      {"bzip2", bzip2Compress(data)},
      {"bzip2, three streams, one empty",
       concat({bzip2Compress(half1), bzip2Compress({}), bzip2Compress(half2)})},
      {"bzip2 with zero padding", concat({bzip2Compress(data), Bytes(3, 0)})},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {std::size_t{1} << 20, std::size_t{4093}}) {
      for (std::size_t chunk : {std::size_t{1} << 20, std::size_t{777}}) {
        ReadOutcome out = decodeAll(c.file, step, chunk);
        EXPECT_EQ(out.failure, "") << c.name;
        EXPECT_TRUE(out.bytes == data)
            << c.name << " step " << step << " chunk " << chunk << " got " << out.bytes.size();
      }
    }
  }
}

// A gzip member whose header carries every optional field.
Bytes gzipWithFullHeader(const Bytes& data) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  static char name[] = "updates.20150401.0000";
  static char comment[] = "collector dump, hand-made for a test";
  static Bytef extra[] = {'T', 'V', 4, 0, 1, 2, 3, 4};
  gz_header header{};
  header.name = reinterpret_cast<Bytef*>(name);
  header.comment = reinterpret_cast<Bytef*>(comment);
  header.extra = extra;
  header.extra_len = sizeof extra;
  header.hcrc = 1;
  header.time = 1427846400;
  EXPECT_EQ(deflateSetHeader(&stream, &header), Z_OK);
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 256);
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(DecodedInput, GzipHeadersWithNameCommentExtraAndCrc) {
  Bytes data = sampleData(70000);
  Bytes member = gzipWithFullHeader(data);
  Bytes file = concat({member, gzipCompress(data), member});
  for (std::size_t step : {std::size_t{1}, std::size_t{3}, std::size_t{10}, std::size_t{4096}}) {
    ReadOutcome out = decodeAll(file, step, 1000);
    EXPECT_EQ(out.failure, "") << step;
    EXPECT_TRUE(out.bytes == concat({data, data, data})) << step;
  }
  // A damaged header checksum is found.
  Bytes badCrc = member;
  std::size_t headerEnd =
      10 + 2 + 8 + sizeof("updates.20150401.0000") + sizeof("collector dump, hand-made for a test");
  badCrc[headerEnd] ^= 0xff;
  EXPECT_EQ(decodeAll(badCrc).failure,
            "gzip data is damaged (checksum mismatch) after 0 decompressed bytes");
}

TEST(DecodedInput, SmallInputsDecodeByteByByte) {
  Bytes data = sampleData(5000);
  for (const Bytes& file : {data, gzipCompress(data), bzip2Compress(data),
                            concat({gzipCompress(data), gzipCompress(data)})}) {
    ReadOutcome out = decodeAll(file, 1, 1);
    EXPECT_EQ(out.failure, "");
    EXPECT_EQ(out.bytes.size() % data.size(), 0u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.bytes.begin()));
  }
}

// Compressed data of nothing is a sound, empty dump; a file of no bytes at all is what a failed
// download leaves, and is named.
TEST(DecodedInput, EmptyInputsEndCleanlyAndNoBytesAtAllAreNamed) {
  for (const Bytes& file : {gzipCompress({}), bzip2Compress({})}) {
    ReadOutcome out = decodeAll(file);
    EXPECT_EQ(out.failure, "");
    EXPECT_TRUE(out.bytes.empty());
  }
  ReadOutcome none = decodeAll({});
  EXPECT_EQ(none.failure, "the file is empty (0 bytes); nothing in it can be searched");
  EXPECT_TRUE(none.bytes.empty());
}

TEST(DecodedInput, TrailingJunkIsReportedAfterTheData) {
  Bytes data = sampleData(100000);
  struct Case {
    Bytes file;
    const char* failure;
  };
  const Case cases[] = {
      {concat({gzipCompress(data), Bytes{'j', 'u', 'n', 'k'}}),
       "the 4 bytes after the end of the gzip data are not gzip data"},
      {concat({gzipCompress(data), Bytes{0, 0, 1}}),
       "the 3 bytes after the end of the gzip data are not gzip data"},
      {concat({bzip2Compress(data), Bytes(10, 'x')}),
       "the 10 bytes after the end of the bzip2 data are not bzip2 data"},
  };
  for (const Case& c : cases) {
    ReadOutcome out = decodeAll(c.file, 999);
    EXPECT_EQ(out.failure, c.failure);
    EXPECT_TRUE(out.bytes == data);
  }
}

TEST(DecodedInput, TruncationKeepsWhatCameBefore) {
  Bytes data = sampleData(2 * 1024 * 1024);
  struct Case {
    const char* name;
    Bytes file;
    const char* failure;
  };
  Bytes gz = gzipCompress(data);
  Bytes bz = bzip2Compress(data);
  for (const Case& c :
       {Case{"gzip", gz, "gzip data ends early (the file is cut short) after "},
        Case{"bzip2", bz, "bzip2 data ends early (the file is cut short) after "}}) {
    for (std::size_t keep : {std::size_t{5}, std::size_t{11}, c.file.size() / 3, c.file.size() - 9,
                             c.file.size() - 1}) {
      Bytes cut(c.file.begin(), c.file.begin() + static_cast<long>(keep));
      ReadOutcome out = decodeAll(cut, 8191);
      EXPECT_EQ(out.failure.rfind(c.failure, 0), 0u)
          << c.name << " " << keep << ": " << out.failure;
      EXPECT_NE(out.failure.find(" " + std::to_string(out.bytes.size()) + " decompressed bytes"),
                std::string::npos)
          << out.failure;
      EXPECT_TRUE(std::equal(out.bytes.begin(), out.bytes.end(), data.begin())) << c.name;
    }
  }
}

// What comes out before a cut is everything the decompressor could decode, whatever the sizes
// of the reads: a decompressor that has taken in all the input can still hold output.
TEST(DecodedInput, OutputBeforeACutDoesNotDependOnReadSizes) {
  Bytes data = sampleData(3 * 1024 * 1024);
  for (const Bytes& file : {gzipCompress(data), bzip2Compress(data)}) {
    for (std::size_t keep : {file.size() / 2, file.size() * 2 / 3, file.size() - 12}) {
      Bytes cut(file.begin(), file.begin() + static_cast<long>(keep));
      ReadOutcome whole = decodeAll(cut, 1 << 30, 64 << 20);
      for (std::size_t chunk : {std::size_t{4096}, std::size_t{65536}}) {
        ReadOutcome pieces = decodeAll(cut, 1 << 30, chunk);
        EXPECT_EQ(pieces.bytes.size(), whole.bytes.size()) << keep << " " << chunk;
        EXPECT_EQ(pieces.failure, whole.failure);
      }
    }
  }
}

TEST(DecodedInput, DamageIsNamed) {
  Bytes data = sampleData(300000);
  Bytes gz = gzipCompress(data);
  Bytes badMethod = gz;
  badMethod[2] = 7;
  Bytes badChecksum = gz;
  badChecksum[gz.size() - 6] ^= 0x55;
  Bytes badBlock = gz;
  badBlock[10] = 0xff;  // first block header: type 3 does not exist
  Bytes bz = bzip2Compress(data);
  Bytes badBz = bz;
  badBz[bz.size() / 2] ^= 0xff;
  Bytes badSecondMember = concat({gz, Bytes{0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3, 0xff, 0xff}});
  struct Case {
    const char* name;
    Bytes file;
    const char* failure;
  };
  const Case cases[] = {
      {"gzip method", badMethod, "gzip data is damaged (unsupported compression method) after 0 "},
      {"gzip checksum", badChecksum, "gzip data is damaged (checksum mismatch) after "},
      {"gzip block type", badBlock, "gzip data is damaged (invalid deflate block) after 0 "},
      {"gzip second member", badSecondMember,
       "gzip data is damaged (invalid deflate block) after "},
      {"bzip2 block", badBz, "bzip2 data is damaged (data integrity error) after "},
  };
  for (const Case& c : cases) {
    ReadOutcome out = decodeAll(c.file);
    EXPECT_EQ(out.failure.rfind(c.failure, 0), 0u) << c.name << ": " << out.failure;
    EXPECT_TRUE(std::equal(out.bytes.begin(), out.bytes.end(), data.begin())) << c.name;
  }
}

// gzip checks a member's CRC and length only at its end, and damage inside its deflate data may
// show later than it began: a failure found once the member has handed out bytes says that they
// may be damaged; one found before the member's first byte (a bad header, a bad first block) says
// nothing of the kind, whatever members came before.
TEST(DecodedInput, GzipDamageSaysWhetherDamagedBytesWentOut) {
  const Bytes data = sampleData(300000);
  const Bytes gz = gzipCompress(data);
  auto spoilt = [&](std::size_t at, std::uint8_t mask) {
    Bytes bytes = gz;
    bytes[at] ^= mask;
    return bytes;
  };
  Bytes badMethod = gz;
  badMethod[2] = 7;
  Bytes badBlock = gz;
  badBlock[10] = 0xff;  // first block header: type 3 does not exist
  struct Case {
    const char* name;
    Bytes file;
    std::string failure;  // how it begins
    bool damagedBytesHandedOut;
  };
  const std::string all = std::to_string(data.size());
  const Case cases[] = {
      {"checksum", spoilt(gz.size() - 6, 0x10),
       "gzip data is damaged (checksum mismatch) after " + all + " decompressed bytes", true},
      {"length", spoilt(gz.size() - 3, 0x10),
       "gzip data is damaged (checksum mismatch) after " + all + " decompressed bytes", true},
      {"deflate data midway", spoilt(gz.size() / 2, 0x10), "gzip data is damaged (", true},
      {"method", badMethod,
       "gzip data is damaged (unsupported compression method) after 0 decompressed bytes", false},
      {"first block type", badBlock, "gzip data is damaged (invalid deflate block) after 0 ",
       false},
      {"second member's method", concat({gz, badMethod}),
       "gzip data is damaged (unsupported compression method) after " + all + " decompressed bytes",
       false},
      {"second member's checksum", concat({gz, spoilt(gz.size() - 6, 0x10)}),
       "gzip data is damaged (checksum mismatch) after " + std::to_string(2 * data.size()) +
           " decompressed bytes",
       true},
  };
  for (const Case& c : cases) {
    ReadOutcome out = decodeAll(c.file, 5000, 4096);
    EXPECT_EQ(out.failure.rfind(c.failure, 0), 0u) << c.name << ": " << out.failure;
    EXPECT_EQ(out.damagedBytesHandedOut, c.damagedBytesHandedOut) << c.name;
  }
}

TEST(DecodedInput, XzIsRefused) {
  ReadOutcome out = decodeAll({0xfd, '7', 'z', 'X', 'Z', 0x00, 0, 4, 0xe6, 0xd6, 0xb4, 0x46});
  EXPECT_EQ(out.failure,
            "the file is xz-compressed, which tarvex cannot read; decompress it first");
  EXPECT_TRUE(out.bytes.empty());
}

TEST(DecodedInput, ReadErrorsOfTheFileComeThrough) {
  Bytes data = sampleData(100000);
  for (const Bytes& file : {data, gzipCompress(data), bzip2Compress(data)}) {
    Bytes cut(file.begin(), file.begin() + static_cast<long>(file.size() / 2));
    ReadOutcome out = decodeAll(cut, 4096, 65536, /*failAtEnd=*/true);
    EXPECT_EQ(out.failure.rfind("read error (Input/output error) after ", 0), 0u) << out.failure;
  }
}

TEST(FileSource, OpensFilesAndRefusesDirectories) {
  testing::TempDir dir;
  std::string path = dir.file("plain");
  testing::writeFile(path, Bytes{1, 2, 3});
  int error = 0;
  std::unique_ptr<ByteSource> source = openFileSource(path, &error);
  ASSERT_TRUE(source);
  ReadOutcome out = readAll(*source, 2);
  EXPECT_EQ(out.bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(out.failure, "");

  EXPECT_FALSE(openFileSource(dir.path(), &error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(openFileSource(dir.file("missing"), &error));
  EXPECT_EQ(error, ENOENT);
}

TEST(FileSource, ReadErrorsAreFailures) {
  testing::TempDir dir;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  FileSource source(fd);
  ReadOutcome out = readAll(source, 16);
  EXPECT_EQ(out.failure, "read error (Is a directory) after 0 bytes");
}

}  // namespace
}  // namespace tarvex::input
