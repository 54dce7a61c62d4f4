#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"
#include "shard/saved_lists.h"

namespace tarvex::shard {
namespace {

using testing::TempDir;

// The lists another process could not read again as given are saved; the others are read by
// every day where they are.
TEST(ShardSavedListsTest, SavesWhatIsNoRegularFileOrIsReachedThroughADescriptor) {
  TempDir dir;
  testing::writeText(dir.file("cidrs.txt"), "192.0.2.0/24\n");
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const int file = ::open(dir.file("cidrs.txt").c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  struct Case {
    std::string path;
    bool saved;
    int descriptor;
  };
  const Case cases[] = {
      {dir.file("cidrs.txt"), false, -1},
      {dir.file("absent.txt"), false, -1},  // tarvex names it
      {dir.path(), false, -1},              // tarvex refuses it
      {"/dev/null", true, -1},
      {"/dev/fd/" + std::to_string(channel[0]), true, channel[0]},
      {"/proc/self/fd/" + std::to_string(channel[0]), true, channel[0]},
      {"/dev/fd/" + std::to_string(file), true, file},  // a regular file, but only here
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SearchSettings search;
    search.asnFile = c.path;
    const std::vector<SavedList> lists = listsToSave(search);
    ASSERT_EQ(lists.size(), c.saved ? 1u : 0u);
    if (!c.saved) continue;
    EXPECT_EQ(lists[0].option, "--asnfile");
    EXPECT_EQ(lists[0].given, c.path);
    EXPECT_EQ(lists[0].descriptor, c.descriptor);
  }
  for (int fd : {channel[0], channel[1], file}) ::close(fd);
}

TEST(ShardSavedListsTest, ReadsEachListOnceAndNamesItAsGivenInTheMessages) {
  TempDir dir;
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const std::string text = "192.0.2.0/24\nno block";
  ASSERT_EQ(::write(channel[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(channel[1]);
  SearchSettings search;
  search.cidrFile = "/dev/fd/" + std::to_string(channel[0]);
  search.asnFile = "/dev/null";
  std::vector<SavedList> lists = listsToSave(search);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_FALSE(readLists(lists));
  ::close(channel[0]);
  EXPECT_EQ(lists[0].text, "192.0.2.0/24\nno block\n");
  EXPECT_EQ(lists[1].text, "");
  ASSERT_FALSE(writeCopies(lists, dir.file("lists")));
  EXPECT_EQ(lists[0].copy, dir.file("lists/cidrfile"));
  EXPECT_EQ(testing::readFile(lists[0].copy), lists[0].text);
  EXPECT_EQ(testing::readFile(dir.file("lists/asnfile")), "");

  const SearchSettings days = withListsAt(search, lists, copyPath);
  EXPECT_EQ(days.cidrFile, dir.file("lists/cidrfile"));
  EXPECT_EQ(days.asnFile, dir.file("lists/asnfile"));
  EXPECT_EQ(namedAsGiven("tarvex: " + days.cidrFile + ":2: not a CIDR block\n", lists),
            "tarvex: " + search.cidrFile + ":2: not a CIDR block\n");
}

TEST(ShardSavedListsTest, HandsTarvexAListThatCannotBeOpenedBeforeAnyIsRead) {
  TempDir dir;
  std::vector<SavedList> first = {{"--cidrfile", dir.file("gone"), "", "", -1}};
  const std::optional<ListReadFailure> nothingRead = readLists(first);
  ASSERT_TRUE(nothingRead);
  EXPECT_TRUE(nothingRead->nothingRead);

  std::vector<SavedList> second = {{"--cidrfile", "/dev/null", "", "", -1},
                                   {"--asnfile", dir.file("gone"), "", "", -1}};
  const std::optional<ListReadFailure> afterOne = readLists(second);
  ASSERT_TRUE(afterOne);
  EXPECT_FALSE(afterOne->nothingRead);
  EXPECT_EQ(afterOne->message,
            "cannot open --asnfile " + dir.file("gone") + ": No such file or directory");
}

}  // namespace
}  // namespace tarvex::shard
