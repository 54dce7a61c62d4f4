// The searches that README.md shows on the shipped sample, run as written: each "$ " command of
// the section's code blocks, through the shell, from the top of the source tree, must print
// exactly the lines shown under it. Keeps the documentation true when the sample or the report
// changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex::testing {
namespace {

struct ShownSearch {
  std::string command;
  std::string output;
};

// The "$ " commands of the code blocks in the README section that starts with `heading`, each
// with the lines shown after it; a command continues over lines that end in a backslash.
std::vector<ShownSearch> searchesShownUnder(const std::string& readme, const std::string& heading) {
  std::vector<ShownSearch> searches;
  std::istringstream lines(readme);
  std::string line;
  bool inSection = false, inBlock = false, continued = false;
  while (std::getline(lines, line)) {
    if (line.rfind("## ", 0) == 0) inSection = line == heading;
    if (!inSection) continue;
    if (line == "```") {
      inBlock = !inBlock;
      continue;
    }
    if (!inBlock) continue;
    if (continued) {
      searches.back().command += line;
    } else if (line.rfind("$ ", 0) == 0) {
      searches.push_back({line.substr(2), ""});
    } else if (!searches.empty()) {
      searches.back().output += line + "\n";
      continue;
    }
    continued = !searches.back().command.empty() && searches.back().command.back() == '\\';
    if (continued) searches.back().command.pop_back();
  }
  return searches;
}

TEST(ReadmeExamples, SearchesOnTheSamplePrintWhatTheReadmeShows) {
  const std::string source = TARVEX_SOURCE_DIR;
  const std::vector<ShownSearch> searches =
      searchesShownUnder(readFile(source + "/README.md"), "## Searches on the sample");
  ASSERT_GE(searches.size(), 3u);
  const std::string binaryDirectory = std::filesystem::path(TARVEX_BINARY).parent_path();
  RunOptions options;
  options.workingDirectory = source;
  options.environment = {"PATH=" + binaryDirectory + ":/usr/bin:/bin"};
  for (const ShownSearch& search : searches) {
    RunResult run = runProgram("/bin/sh", {"-c", search.command}, options);
    EXPECT_EQ(run.out, search.output) << search.command;
    EXPECT_EQ(run.err, "") << search.command;
    EXPECT_EQ(run.status, 1) << search.command;
  }
}

}  // namespace
}  // namespace tarvex::testing
