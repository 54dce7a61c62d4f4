// Inputs that exist but cannot be read: a dump list file and archive directories without read
// permission. Root reads them anyway, so as root the binary runs as the unprivileged user
// "nobody" (uid 65534) through setpriv; without setpriv, or when that user cannot reach the
// binary, the tests skip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::RunOptions;
using testing::RunResult;
using testing::TempDir;

class UnreadableInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // mkdtemp makes the directory private to its owner; the unprivileged run must enter it.
    chmod(temp_.path().c_str(), 0755);
  }
  void addDump(const std::string& relativePath) {
    std::string path = temp_.file(relativePath);
    testing::makeDirectories(std::filesystem::path(path).parent_path());
    testing::writeFile(path, {}, testing::Compression::kGzip);
  }
  void lock(const std::string& relativePath) {
    std::filesystem::permissions(temp_.file(relativePath), std::filesystem::perms::none);
  }
  RunOptions inTemp() const {
    RunOptions options;
    options.workingDirectory = temp_.path();
    return options;
  }

  TempDir temp_;
};

TEST_F(UnreadableInputTest, AnUnreadableListFileIsReportedAndNothingIsScanned) {
  addDump("dump.gz");
  testing::writeText(temp_.file("list"), "dump.gz\n");
  lock("list");
  std::optional<RunResult> result =
      testing::runTarvexWithoutPrivileges({"--verbose", "--file", "list"}, inTemp());
  if (!result) GTEST_SKIP() << "no way to run without privileges";
  EXPECT_EQ(result->out, "");
  EXPECT_EQ(result->err, "Couldn't open file list\n");
  EXPECT_EQ(result->status, 1);
}

TEST_F(UnreadableInputTest, UnreadableDirectoriesAddNothingAndSayNothing) {
  addDump("open/c/2024.01/UPDATES/updates.20240101.0010.gz");
  addDump("locked-archive/c/2024.01/UPDATES/updates.20240101.0000.gz");
  addDump("partly/locked-updates/2024.01/UPDATES/updates.20240101.0005.gz");
  addDump("partly/fine/2024.01/UPDATES/updates.20240101.0015.gz");
  lock("locked-archive");
  lock("partly/locked-updates/2024.01/UPDATES");
  std::optional<RunResult> result = testing::runTarvexWithoutPrivileges(
      {"--verbose", "--startdate=20240101", "--enddate=20240101", "--dir=locked-archive",
       "--dir=partly", "--dir=open"},
      inTemp());
  if (!result) GTEST_SKIP() << "no way to run without privileges";
  EXPECT_EQ(result->err,
            "Building list of files...\n"
            "open/c/2024.01/UPDATES/updates.20240101.0010.gz\n"
            "partly/fine/2024.01/UPDATES/updates.20240101.0015.gz\n");
  EXPECT_EQ(result->out, "");
  EXPECT_EQ(result->status, 1);
}

}  // namespace
}  // namespace tarvex
