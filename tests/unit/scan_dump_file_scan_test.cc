// The dump file scan: open failures, the read loop over plain and compressed files, and the
// warnings for damaged files and skipped records.
#include "scan/dump_file_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "capture_port.h"
#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using namespace tarvex::testing;

struct Scan {
  std::string report;
  std::string out;
  std::string err;
};

Scan scan(const std::string& path, bool verbose = false) {
  SearchSettings settings;
  settings.verbose = verbose ? 1 : 0;
  CapturePort sink;
  scanDumpFile(settings, path, sink);
  return {sink.report, sink.out, sink.err};
}

Bytes announcement(std::uint32_t time, const std::string& prefix) {
  SimpleUpdate update;
  update.time = time;
  update.announced = {prefix};
  update.path = {{kAsSequence, {64500, 15169}}};
  return updateRecord(update);
}

std::string line(std::uint32_t time, const std::string& prefix) {
  return std::to_string(time) + "|A|192.0.2.1|AS64500|192.0.2.2|AS64501|" + prefix +
         "|64500 15169\n";
}

TEST(DumpFileScan, MissingFileIsExplainedAndSkipped) {
  TempDir dir;
  std::string path = dir.file("missing.gz");
  Scan result = scan(path, /*verbose=*/true);
  EXPECT_EQ(result.report, "");
  EXPECT_EQ(result.out, "Error statting file: No such file or directory\n");
  EXPECT_EQ(result.err, path + "\nCan not open " + path + "\n");
}

TEST(DumpFileScan, DirectoryCannotBeOpened) {
  TempDir dir;
  Scan result = scan(dir.path());
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Can not open " + dir.path() + "\n");
}

TEST(DumpFileScan, UnreadableFileCannotBeOpened) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  std::string path = dir.file("locked");
  writeFile(path, announcement(1, "10.0.0.0/8"));
  ::chmod(path.c_str(), 0);
  Scan result = scan(path);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Can not open " + path + "\n");
}

TEST(DumpFileScan, EveryFormatIsReadToTheEnd) {
  TempDir dir;
  Bytes dump = concat({announcement(1, "10.0.0.0/8"), announcement(2, "192.0.2.0/24")});
  for (Compression compression : {Compression::kNone, Compression::kGzip, Compression::kBzip2}) {
    std::string path = dir.file("dump");
    writeFile(path, dump, compression);
    Scan result = scan(path);
    EXPECT_EQ(result.report, line(1, "10.0.0.0/8") + line(2, "192.0.2.0/24"));
    EXPECT_EQ(result.out + result.err, "");
  }
}

TEST(DumpFileScan, EmptyFileIsNamed) {
  TempDir dir;
  writeFile(dir.file("empty"), {});
  Scan result = scan(dir.file("empty"));
  EXPECT_EQ(result.report + result.out, "");
  EXPECT_EQ(result.err, "tarvex: " + dir.file("empty") +
                            ": the file is empty (0 bytes); nothing in it can be searched\n");
}

TEST(DumpFileScan, MalformedRecordsAreCountedOnce) {
  TempDir dir;
  Session session;
  Bytes bad = mrtRecord(
      5, 16, 4, bgp4mpBody(session, bgpMessage(2, updateBody({}, {}, {40, 1, 2, 3, 4, 5}))));
  std::string path = dir.file("dump");
  writeFile(path,
            concat({announcement(1, "10.0.0.0/8"), bad, announcement(2, "10.0.0.0/9"), bad, bad}));
  Scan result = scan(path);
  EXPECT_EQ(result.report, line(1, "10.0.0.0/8") + line(2, "10.0.0.0/9"));
  EXPECT_EQ(result.err, "tarvex: " + path + ": skipped 3 malformed records\n");

  writeFile(path, concat({bad, announcement(2, "10.0.0.0/9")}));
  EXPECT_EQ(scan(path).err, "tarvex: " + path + ": skipped 1 malformed record\n");
}

TEST(DumpFileScan, DamageEndsTheFileWithOneWarning) {
  TempDir dir;
  Session session;
  Bytes bad = mrtRecord(5, 16, 1, {});
  Bytes dump = concat({announcement(1, "10.0.0.0/8"), bad, announcement(2, "10.0.0.0/9")});
  Bytes gz = gzipCompress(dump);
  gz.resize(gz.size() - 3);
  std::string path = dir.file("cut.gz");
  writeFile(path, gz);
  Scan result = scan(path);
  EXPECT_EQ(result.report, line(1, "10.0.0.0/8") + line(2, "10.0.0.0/9"));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "tarvex: " + path +
                            ": gzip data ends early (the file is cut short) after " +
                            std::to_string(dump.size()) +
                            " decompressed bytes; the records before it were searched\n"
                            "tarvex: " +
                            path + ": skipped 1 malformed record\n");
}

TEST(DumpFileScan, TruncatedPlainFileKeepsItsWholeRecords) {
  TempDir dir;
  Bytes first = announcement(1, "10.0.0.0/8");
  Bytes second = announcement(2, "10.0.0.0/9");
  Bytes dump = concat({first, second});
  dump.resize(dump.size() - 1);
  std::string path = dir.file("cut");
  writeFile(path, dump);
  Scan result = scan(path);
  EXPECT_EQ(result.report, line(1, "10.0.0.0/8"));
  EXPECT_EQ(result.err, "tarvex: " + path + ": the file ends inside a record (" +
                            std::to_string(second.size() - 1) + " of its " +
                            std::to_string(second.size()) +
                            " bytes are there); the records before it were searched\n");
}

}  // namespace
}  // namespace tarvex
