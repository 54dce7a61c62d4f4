#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shard/shard_options.h"

namespace tarvex::shard {
namespace {

using Words = std::vector<std::string>;

struct ParseCase {
  const char* name;
  Words args;
  Words tarvexArgs;
  bool refuses;
  std::string cidrFile;
  Words dirs;
  Words operands;
};

TEST(ShardOptionsTest, HandsTarvexItsOwnWordsReadAsTarvexReadsThem) {
  const ParseCase cases[] = {
      {"abbreviations and both value forms",
       {"--cid", "cidrs.txt", "--asn=origins.txt", "--di", "archive", "--start=20240227", "--end",
        "20240302", "--verb"},
       {"--cid", "cidrs.txt", "--asn=origins.txt", "--di", "archive", "--start=20240227", "--end",
        "20240302", "--verb"},
       false,
       "cidrs.txt",
       {"archive"},
       {}},
      {"a value that looks like a shard option is the value",
       {"--cidrfile", "--engine=slurm", "--dir", "--keep-workdir"},
       {"--cidrfile", "--engine=slurm", "--dir", "--keep-workdir"},
       false,
       "--engine=slurm",
       {"--keep-workdir"},
       {}},
      {"shard options are never abbreviated: --d is tarvex's --dir",
       {"--d", "archive", "--eng=slurm"},
       {"--d", "archive", "--eng=slurm"},
       true,
       "",
       {},
       {}},
      {"an ambiguous abbreviation", {"--o", "--dir=a"}, {"--o", "--dir=a"}, true, "", {}, {}},
      {"a value for a switch",
       {"--verbose=1", "--dir=a"},
       {"--verbose=1", "--dir=a"},
       true,
       "",
       {},
       {}},
      {"a short option", {"-v", "--dir=a"}, {"-v", "--dir=a"}, true, "", {}, {}},
      {"a value option at the end",
       {"--dir=a", "--cidrfile"},
       {"--dir=a", "--cidrfile"},
       true,
       "",
       {},
       {}},
      {"tarvex's --help, abbreviated",
       {"--dir=a", "--hel"},
       {"--dir=a", "--hel"},
       true,
       "",
       {},
       {}},
      {"operands anywhere",
       {"stray", "--dir=a", "-", "--or"},
       {"stray", "--dir=a", "-", "--or"},
       false,
       "",
       {"a"},
       {"stray", "-"}},
      {"everything after -- is an operand",
       {"--dir=a", "x", "--", "--engine=slurm", "--help", "--"},
       {"--dir=a", "x", "--", "--engine=slurm", "--help", "--"},
       false,
       "",
       {"a"},
       {"x", "--engine=slurm", "--help", "--"}},
      {"after a rejected option no value is taken",
       {"--bogus", "--cidrfile", "--jobs=3"},
       {"--bogus", "--cidrfile"},
       true,
       "",
       {},
       {}},
  };
  for (const ParseCase& c : cases) {
    ShardOptions options;
    EXPECT_EQ(parseShardOptions(c.args, options), std::nullopt) << c.name;
    EXPECT_FALSE(options.help) << c.name;
    EXPECT_EQ(options.tarvexArgs, c.tarvexArgs) << c.name;
    EXPECT_EQ(options.tarvexRefuses, c.refuses) << c.name;
    if (c.refuses) continue;
    EXPECT_EQ(options.search.cidrFile, c.cidrFile) << c.name;
    EXPECT_EQ(options.search.dirs, c.dirs) << c.name;
    EXPECT_EQ(options.search.operands, c.operands) << c.name;
  }
}

TEST(ShardOptionsTest, ReadsItsOwnOptionsWhereverTheyStand) {
  ShardOptions options;
  ASSERT_EQ(parseShardOptions(
                {"--engine=parallel", "--jobs", "4", "--dir=a", "--sshlogin=:", "--sshlogin",
                 "node1", "--keep-workdir", "--list-days", "--detach", "--sbatch-option=--time=1",
                 "--workdir", "w", "--tarvex=/x/tarvex", "--startdate=20240101", "--jobs="},
                options),
            std::nullopt);
  EXPECT_EQ(options.engineName, "parallel");
  EXPECT_EQ(options.engine, Engine::kParallel);
  EXPECT_EQ(options.jobs, "");  // the last one counts
  EXPECT_EQ(options.sshLogins, (Words{":", "node1"}));
  EXPECT_EQ(options.sbatchOptions, (Words{"--time=1"}));
  EXPECT_EQ(options.workdir, "w");
  EXPECT_EQ(options.tarvexProgram, "/x/tarvex");
  EXPECT_TRUE(options.keepWorkdir && options.listDays && options.detach);
  EXPECT_EQ(options.tarvexArgs, (Words{"--dir=a", "--startdate=20240101"}));
  EXPECT_FALSE(options.tarvexRefuses);
  EXPECT_EQ(options.search.startDate, "20240101");
}

TEST(ShardOptionsTest, StopsAtHelpAndAtAMissingValue) {
  ShardOptions help;
  EXPECT_EQ(parseShardOptions({"--bogus", "--jobs=3", "--help", "--jobs"}, help), std::nullopt);
  EXPECT_TRUE(help.help);
  EXPECT_EQ(help.jobs, "3");

  ShardOptions valueIsHelp;
  EXPECT_EQ(parseShardOptions({"--workdir", "--help"}, valueIsHelp), std::nullopt);
  EXPECT_FALSE(valueIsHelp.help);
  EXPECT_EQ(valueIsHelp.workdir, "--help");

  for (const char* option :
       {"--engine", "--jobs", "--sshlogin", "--sbatch-option", "--workdir", "--tarvex"}) {
    ShardOptions options;
    EXPECT_EQ(parseShardOptions({"--dir=a", option}, options),
              "option " + std::string(option) + " needs a value");
  }
}

TEST(ShardOptionsTest, NamesTheEngineAsItIsRead) {
  struct Case {
    Words args;
    std::optional<Engine> engine;
  };
  const Case cases[] = {
      {{}, Engine::kLocal},
      {{"--engine=parallel"}, Engine::kParallel},
      {{"--engine", "slurm"}, Engine::kSlurm},
      {{"--engine=slurm", "--engine=local"}, Engine::kLocal},  // the last one counts
      {{"--engine=Local"}, std::nullopt},
      {{"--engine=ssh", "--engine=parallel"}, Engine::kParallel},
      {{"--engine="}, std::nullopt},
  };
  for (const Case& c : cases) {
    ShardOptions options;
    ASSERT_EQ(parseShardOptions(c.args, options), std::nullopt);
    EXPECT_EQ(options.engine, c.engine) << (c.args.empty() ? "" : c.args.back());
  }
}

bool everythingInstalled(const std::string&) {
  return true;
}
bool nothingInstalled(const std::string&) {
  return false;
}

TEST(ShardOptionsTest, ChecksTheShardOptionsAmongThemselves) {
  struct Case {
    Words args;
    bool (*installed)(const std::string&);
    std::optional<std::string> message;
  };
  const Case cases[] = {
      {{}, nothingInstalled, std::nullopt},
      {{"--engine=parallel", "--jobs=12", "--sshlogin=:"}, everythingInstalled, std::nullopt},
      {{"--engine=slurm", "--detach", "--sbatch-option=-p"}, everythingInstalled, std::nullopt},
      {{"--engine=parallel"}, nothingInstalled, "GNU parallel (parallel) is not installed"},
      {{"--engine=slurm"}, nothingInstalled, "Slurm's sbatch is not installed"},
      {{"--engine=ssh"}, everythingInstalled, "unknown engine \"ssh\" (local, parallel or slurm)"},
      {{"--jobs=0"}, everythingInstalled, "--jobs needs a positive number, not \"0\""},
      {{"--jobs=2x"}, everythingInstalled, "--jobs needs a positive number, not \"2x\""},
      {{"--jobs="}, everythingInstalled, std::nullopt},  // as if not given
      {{"--sshlogin=:"}, everythingInstalled, "--sshlogin needs --engine=parallel"},
      {{"--engine=parallel", "--detach"}, everythingInstalled, "--detach needs --engine=slurm"},
      {{"--sbatch-option=-p"}, everythingInstalled, "--sbatch-option needs --engine=slurm"},
  };
  for (const Case& c : cases) {
    ShardOptions options;
    ASSERT_EQ(parseShardOptions(c.args, options), std::nullopt);
    EXPECT_EQ(checkShardOptions(options, c.installed), c.message)
        << (c.args.empty() ? "" : c.args[0]);
  }
}

}  // namespace
}  // namespace tarvex::shard
