#include <gtest/gtest.h>

#include <string>

#include "mrt_builder.h"
#include "process_runner.h"
#include "shard/engine_log.h"

namespace tarvex::shard {
namespace {

using testing::TempDir;

// GNU parallel's --tag output as it comes, in pieces that split lines: ssh ends its message with
// a carriage return, after which parallel tags what follows again.
TEST(ShardEngineLogTest, KeepsTheLastLineSaidAboutEachDayAndTheEnginesOwn) {
  TempDir dir;
  EngineLog log(dir.file("engine.log"));
  const std::string said =
      "20240301\tfirst words\n"
      "parallel: Warning: a message of its own\n"
      "20240302\tssh: Could not resolve hostname node9: Name or service not known\r20240302\t\n"
      "20240301\tlast words\n"
      "20240301\t   \n";
  log.add(said.substr(0, 17));
  log.add(said.substr(17, 60));
  log.add(said.substr(77));
  log.addAbout("20240303", "run-day: one\nrun-day: two\n");
  EXPECT_EQ(log.lastLineAbout("20240301"), "last words");
  EXPECT_EQ(log.lastLineAbout("20240302"),
            "ssh: Could not resolve hostname node9: Name or service not known");
  EXPECT_EQ(log.lastLineAbout("20240303"), "run-day: two");
  EXPECT_EQ(log.lastLineAbout("20240304"), "");
  EXPECT_EQ(log.lastOwnLine(), "parallel: Warning: a message of its own");
  EXPECT_EQ(testing::readFile(dir.file("engine.log")),
            said + "20240303\trun-day: one\n20240303\trun-day: two\n");
}

}  // namespace
}  // namespace tarvex::shard
