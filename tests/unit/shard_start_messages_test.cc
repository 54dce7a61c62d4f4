#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "process_runner.h"
#include "shard/message_capture.h"
#include "shard/start_messages.h"

namespace tarvex::shard {
namespace {

using testing::TempDir;

// tarvex given the same lists, directories and operands but no input mode writes its start
// messages and then its usage text: what it writes on standard error is the start messages.
TEST(ShardStartMessagesTest, AreWhatTarvexWritesBeforeItsFirstDay) {
  TempDir dir;
  std::ofstream(dir.file("cidrs.txt")) << "10.0.0.0/8\nnonsense\n10/8\n";
  std::ofstream(dir.file("asns.txt")) << "65000\nAS1\n";
  SearchSettings search;
  search.cidrFile = dir.file("cidrs.txt");
  search.asnFile = dir.file("asns.txt");
  search.dirs = {dir.path(), dir.file("absent"), dir.file("cidrs.txt")};
  search.operands = {"stray", "-"};
  const std::optional<std::string> messages = learnStartMessages(search);
  ASSERT_TRUE(messages);
  const testing::RunResult tarvex = testing::runTarvex(
      {"--cidrfile=" + search.cidrFile, "--asnfile=" + search.asnFile, "--dir=" + search.dirs[0],
       "--dir=" + search.dirs[1], "--dir=" + search.dirs[2], "--", "stray", "-"});
  EXPECT_EQ(*messages, tarvex.err);
  EXPECT_EQ(messages->find("tarvex: stray is not an option's value"), 0u) << *messages;
}

TEST(ShardStartMessagesTest, AreNoneWhenAListCannotBeOpened) {
  TempDir dir;
  SearchSettings search;
  search.cidrFile = dir.file("absent.txt");
  EXPECT_EQ(learnStartMessages(search), std::nullopt);
  search.cidrFile.clear();
  search.asnFile = dir.path();  // a directory
  EXPECT_EQ(learnStartMessages(search), std::nullopt);
  search.asnFile.clear();
  EXPECT_EQ(learnStartMessages(search), std::string());
}

}  // namespace
}  // namespace tarvex::shard
