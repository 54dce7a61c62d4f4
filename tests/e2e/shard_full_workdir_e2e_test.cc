// A work directory on a file system that fills up while the days run. A day whose result or
// status cannot be written whole is not kept: it fails by name with the reason, the run ends with
// status 3 and writes no report. Once there is room, a re-run searches exactly those days and
// gives the single run's result. The small file system is a tmpfs the test mounts, which needs
// root; elsewhere the test is skipped.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"
#include "shard_archive.h"

namespace tarvex::testing {
namespace {

namespace fs = std::filesystem;

// A tmpfs mounted for the test's lifetime.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& path, const std::string& size) : path_(path) {
    makeDirectories(path);
    if (::mount("tarvex-test", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
      error_ = std::strerror(errno);
    }
  }
  ~SmallFileSystem() {
    if (error_.empty()) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  /// Why it could not be mounted; empty when it is.
  const std::string& error() const { return error_; }
  bool resize(const std::string& size) {
    return ::mount("tarvex-test", path_.c_str(), "tmpfs", MS_REMOUNT, ("size=" + size).c_str()) ==
           0;
  }

 private:
  std::string path_;
  std::string error_;
};

TEST(ShardFullWorkdirTest, ADayThatCannotBeWrittenWholeFailsByNameAndIsSearchedAgain) {
  TempDir dir;
  // Five days of 600 lines (about 44 KB each), where 96 KB hold the work directory's own files
  // and not much more than one day.
  const ShardArchive archive = makeShardArchive(dir.path(), 5, 600);
  SmallFileSystem small(dir.file("small"), "96k");
  if (!small.error().empty()) {
    GTEST_SKIP() << "cannot mount a small tmpfs for the work directory (" << small.error()
                 << "): needs root";
  }
  const std::string log = dir.file("days.log");
  const std::string work = dir.file("small/work");
  writeDayLogger(dir.file("tarvex"), log);
  const std::vector<std::string> arguments =
      joined({"--tarvex=" + dir.file("tarvex"), "--workdir=" + work}, archive.rangeArguments());
  const RunResult full = runTarvexShard(arguments);
  EXPECT_EQ(full.status, 3);
  EXPECT_EQ(full.out, "");

  // Each day without a result is named once, with the reason.
  std::set<std::string> failed;
  std::istringstream lines(full.err);
  std::vector<std::string> other;
  for (std::string line; std::getline(lines, line);) {
    const std::string prefix = "tarvex-shard: day ";
    if (line.starts_with(prefix) && line.find(" failed: ") == prefix.size() + 8) {
      failed.insert(line.substr(prefix.size(), 8));
      EXPECT_NE(line.find("No space left on device"), std::string::npos) << line;
    } else {
      other.push_back(line);
    }
  }
  EXPECT_EQ(other,
            std::vector<std::string>{
                "tarvex-shard: no report was written; the finished days are kept in " + work +
                ", and running the same command again searches only the days that "
                "failed"});
  EXPECT_FALSE(failed.empty()) << full.err;
  std::set<std::string> kept;
  for (const std::string& day : archive.days) {
    if (fs::is_directory(work + "/days/" + day)) kept.insert(day);
  }
  EXPECT_EQ(kept.size() + failed.size(), archive.days.size());

  ASSERT_TRUE(small.resize("16m"));
  fs::remove(log);
  expectSameRun(runTarvexShard(arguments), runTarvex(archive.rangeArguments()));
  const std::vector<std::string> searched = loggedDays(log);
  EXPECT_EQ(std::set<std::string>(searched.begin(), searched.end()), failed);
  EXPECT_EQ(searched.size(), failed.size());
}

}  // namespace
}  // namespace tarvex::testing
