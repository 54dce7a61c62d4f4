#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "process_runner.h"
#include "shard/day_scripts.h"
#include "shard/file_text.h"
#include "shard/host_checks.h"
#include "shard/posix_cksum.h"

namespace tarvex::shard {
namespace {

namespace fs = std::filesystem;
using testing::RunResult;
using testing::hostName;
using testing::TempDir;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(ShardHostChecksTest, LearnsTheProgramTheReadableListsAndTheDirectoriesWithEntries) {
  TempDir dir;
  writeFile(dir.file("tarvex"), "#!/bin/sh\n");
  writeFile(dir.file("cidrs.txt"), "192.0.2.0/24\n");
  fs::create_directories(dir.file("filled/rrc00"));
  fs::create_directories(dir.file("empty"));
  const SearchSettings search{.dirs = {dir.file("filled"), dir.file("empty"), dir.file("none")},
                              .cidrFile = dir.file("cidrs.txt"),
                              .asnFile = dir.file("absent.txt")};
  const SharedFiles shared = learnSharedFiles(dir.file("tarvex"), search, "/");
  EXPECT_EQ(shared.tarvexCksum, cksumLineOfFile(dir.file("tarvex")).value());
  ASSERT_EQ(shared.lists.size(), 1u);
  EXPECT_EQ(shared.lists[0].first, dir.file("cidrs.txt"));
  EXPECT_EQ(shared.lists[0].second, cksumLineOfFile(dir.file("cidrs.txt")).value());
  EXPECT_EQ(shared.dirs, (std::vector<std::string>{dir.file("filled"), dir.file("empty")}));
  EXPECT_EQ(shared.filledDirs, std::vector<std::string>{dir.file("filled")});
}

// run-day on a host that differs from the one that wrote it, one difference at a time: the day
// is refused with a message naming the host, or searched when tarvex itself will say what is
// wrong (as a list or a directory that is not there at all).
TEST(ShardHostChecksTest, RunDayRefusesAHostThatDoesNotShareTheProgramTheListsOrTheArchive) {
  const std::string host = hostName();
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> change;
    std::string refusal;  // after "tarvex: HOST "; empty: the day is searched
  };
  const Case cases[] = {
      {"nothing differs", [](const TempDir&) {}, ""},
      {"another tarvex",
       [](const TempDir& d) {
         writeFile(d.file("tarvex"), "#!/bin/sh\n# another build\nexit 1\n");
       },
       "has another TARVEX than the host that started tarvex-shard (cksum "},
      {"no tarvex", [](const TempDir& d) { fs::remove(d.file("tarvex")); }, "has no TARVEX"},
      {"another list", [](const TempDir& d) { writeFile(d.file("cidrs x.txt"), "10.0.0.0/8\n"); },
       "has another cidrs x.txt than the host that started tarvex-shard (cksum "},
      {"no list", [](const TempDir& d) { fs::remove(d.file("cidrs x.txt")); }, ""},
      {"archive not mounted", [](const TempDir& d) { fs::remove_all(d.file("archive/rrc00")); },
       "sees nothing in archive, where the host that started tarvex-shard sees files: is it "
       "mounted there?"},
      {"no archive", [](const TempDir& d) { fs::remove_all(d.file("archive")); },
       "cannot see archive, a directory on the host that started tarvex-shard"},
      {"archive is a file",
       [](const TempDir& d) {
         fs::remove_all(d.file("archive"));
         writeFile(d.file("archive"), "");
       },
       "cannot see archive, a directory on the host that started tarvex-shard"},
      {"no empty archive", [](const TempDir& d) { fs::remove_all(d.file("empty")); },
       "cannot see empty, a directory on the host that started tarvex-shard"},
      {"empty archive still empty", [](const TempDir&) {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    // A stand-in for tarvex that ends as a one-day run ends.
    writeFile(dir.file("tarvex"), "#!/bin/sh\necho searched\nexit 1\n");
    fs::permissions(dir.file("tarvex"), fs::perms::owner_all);
    writeFile(dir.file("cidrs x.txt"), "192.0.2.0/24\n");
    fs::create_directories(dir.file("archive/rrc00"));
    fs::create_directories(dir.file("empty"));
    fs::create_directories(dir.file("days"));
    const SearchSettings search{.dirs = {"archive", "empty", "nowhere"}, .cidrFile = "cidrs x.txt"};
    const std::string script =
        runDayScript(dir.path(), dir.file("days"), dir.file("tarvex"), search,
                     learnSharedFiles(dir.file("tarvex"), search, dir.path()));
    ASSERT_TRUE(writeScript(dir.file("run-day"), script));
    c.change(dir);

    const RunResult result = testing::runProgram(dir.file("run-day"), {"20240229"});
    if (c.refusal.empty()) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(fileText(dir.file("days/20240229/stdout")), "searched\n");
      continue;
    }
    std::string expected = "tarvex: " + host + " " + c.refusal;
    if (std::size_t at = expected.find("TARVEX"); at != std::string::npos) {
      expected.replace(at, 6, dir.file("tarvex"));
    }
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with(expected)) << result.err;
    EXPECT_FALSE(fs::exists(dir.file("days/20240229")));
    bool kept = false;  // the attempt stays, to say why
    for (const auto& entry : fs::directory_iterator(dir.file("days"))) {
      kept = fileText(entry.path() / "refused") == result.err;
      EXPECT_FALSE(fs::exists(entry.path() / "stdout")) << "the day was searched";
    }
    EXPECT_TRUE(kept);
  }
}

}  // namespace
}  // namespace tarvex::shard
