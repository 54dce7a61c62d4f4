// The criteria lists as the binary reads them: a list that cannot be opened ends the run before
// any dump is opened, and lines that cannot work are named on standard error while the run goes
// on. Root opens every file, so the permission case runs the binary as the unprivileged user
// "nobody" through setpriv, and skips itself where that is not possible.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
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
using testing::writeText;

class CriteriaListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The unprivileged run must enter the directory and create the output file in it.
    chmod(temp_.path().c_str(), 0777);
    writeText(file("blocks.txt"), "192.0.2.0/24\n");
    writeText(file("origins.txt"), "64510\n");
    testing::writeFile(file("empty.gz"), {}, testing::Compression::kGzip);
  }
  std::string file(const std::string& name) const { return temp_.file(name); }
  RunOptions inTemp() const {
    RunOptions options;
    options.workingDirectory = temp_.path();
    return options;
  }

  TempDir temp_;
};

// The output file is created (and emptied) first; then the unopenable list stops the run, and
// the dump, which does not exist, is never looked at: no message of the scan appears.
TEST_F(CriteriaListsTest, UnopenableListEndsTheRunBeforeAnyDump) {
  writeText(file("plain"), "");
  writeText(file("locked.txt"), "64510\n192.0.2.0/24\n");
  chmod(file("locked.txt").c_str(), 0);
  struct Case {
    std::string option;
    std::string path;
    bool needsUnprivilegedRun;
  };
  const std::vector<Case> cases = {
      {"--cidrfile", "missing.txt", false},
      {"--cidrfile", "plain/blocks.txt", false},  // a path through a file
      {"--cidrfile", "locked.txt", true},
      {"--asnfile", "missing.txt", false},
      {"--asnfile", "plain/origins.txt", false},
      {"--asnfile", "locked.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option + " " + c.path);
    writeText(file("out"), "left from an earlier run\n");
    chmod(file("out").c_str(), 0666);
    std::vector<std::string> arguments = {
        "--outfile",   "out",    "--cidrfile", "blocks.txt", "--asnfile",
        "origins.txt", c.option, c.path,       "--update",   "no-such-dump.gz"};
    std::optional<RunResult> run = c.needsUnprivilegedRun
                                       ? testing::runTarvexWithoutPrivileges(arguments, inTemp())
                                       : testing::runTarvex(arguments, inTemp());
    if (!run) {
      std::cout << "skipped: no way to run without privileges\n";
      continue;
    }
    EXPECT_EQ(run->err, "Couldn't open file " + c.path + "\n");
    EXPECT_EQ(run->out, "");
    EXPECT_EQ(run->status, 1);
    EXPECT_EQ(testing::readFile(file("out")), "");
  }
}

TEST_F(CriteriaListsTest, LinesThatCannotWorkAreNamedAndTheRunGoesOn) {
  writeText(file("blocks.txt"), "10.0.0.0/8\r\n# customers\r\n0.0.0.0/0\n\n203.0.113.0/24");
  writeText(file("origins.txt"), "64500\n64510\r\n 64511\r\n");
  RunResult run = testing::runTarvex(
      {"--cidrfile", "blocks.txt", "--asnfile", "origins.txt", "--update", "empty.gz"}, inTemp());
  EXPECT_EQ(run.err,
            "tarvex: blocks.txt:2: not a CIDR block (Unexpected character '#'); line ignored\n"
            "tarvex: blocks.txt:3: not a CIDR block (Value is below minimum of 1); line ignored\n"
            "tarvex: blocks.txt:4: not a CIDR block (Input is empty or all whitespace); line "
            "ignored\n"
            "tarvex: origins.txt:2: AS number \"64510\\r\" holds a carriage return (a file with CR "
            "LF line ends?) and can never match an origin AS\n"
            "tarvex: origins.txt:3: AS number \" 64511\\r\" holds a carriage return (a file with "
            "CR LF line ends?) and can never match an origin AS\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace tarvex
