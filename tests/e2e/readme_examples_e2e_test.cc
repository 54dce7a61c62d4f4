// The searches that README.md shows on the shipped sample, run as written: each "$ " command of
// the section's code blocks, through the shell, from the top of the source tree, must print
// exactly the lines shown under it; and the sample search's lines, kept in
// tests/golden/sample-search.txt, are what tarvex prints and what README.md and the manual page
// show. Keeps the documentation true when the sample or the report changes.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mrt/mrt_reader.h"
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
    // A finished --update run ends with 1; a command that pipes tarvex's report into another
    // program (whose own status is the command's) ends with that program's 0.
    const std::size_t tarvexAt = search.command.find("tarvex ");
    const bool pipedOn = search.command.find('|', tarvexAt) != std::string::npos;
    EXPECT_EQ(run.status, pipedOn ? 0 : 1) << search.command;
  }
}

// The sample search (scripts/sample-search runs it, scripts/package-test runs it on the installed
// examples) prints the lines kept in tests/golden/sample-search.txt, and README.md and the manual
// page show exactly those lines under the command, so that none of them can drift from the others.
TEST(ReadmeExamples, TheSampleSearchPrintsTheGoldenLinesThatTheDocumentsShow) {
  const std::string source = TARVEX_SOURCE_DIR;
  const std::string expected = readFile(source + "/tests/golden/sample-search.txt");
  ASSERT_FALSE(expected.empty());
  RunOptions options;
  options.workingDirectory = source;
  RunResult run = runTarvex({"--cidrfile", "examples/customer-blocks.txt", "--update",
                             "examples/updates.20240101.0000.gz"},
                            options);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);

  // The README opens with the first two lines and an ellipsis.
  const std::size_t secondLineEnd = expected.find('\n', expected.find('\n') + 1);
  ASSERT_NE(secondLineEnd, std::string::npos);
  const std::string opening = "```\n" + expected.substr(0, secondLineEnd + 1) + "...\n```\n";
  for (const auto& [document, shown] : std::vector<std::pair<std::string, std::string>>{
           {"README.md", opening},
           {"README.md",
            "$ tarvex --cidrfile examples/customer-blocks.txt --update "
            "examples/updates.20240101.0000.gz\n" +
                expected + "```\n"},
           {"doc/tarvex.1",
            "$ tarvex \\-\\-cidrfile=$E/customer\\-blocks.txt \\e\n"
            "         \\-\\-update=$E/updates.20240101.0000.gz\n" +
                expected + ".EE\n"},
       }) {
    EXPECT_NE(readFile(source + "/" + document).find(shown), std::string::npos)
        << document << " does not show the sample search's lines as:\n"
        << shown;
  }
}

// `text` with its line breaks, comment markers ("// ") and runs of blanks as single blanks, so
// that a claim wrapped over lines is found as one phrase.
std::string wrappedText(const std::string& text) {
  std::string flat;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\n' || c == ' ') {
      if (flat.empty() || flat.back() != ' ') flat += ' ';
      if (c == '\n' && text.compare(at + 1, 3, "// ") == 0) at += 3;
      continue;
    }
    flat += c;
  }
  return flat;
}

// What README.md, the manual page and the sample writer say the sample holds, against what the
// decoder finds in it: its UPDATE messages, their peers and the time they span.
TEST(ReadmeExamples, TheSampleHoldsWhatTheDocumentsSay) {
  const std::string source = TARVEX_SOURCE_DIR;
  int error = 0;
  std::unique_ptr<mrt::MrtReader> reader =
      mrt::MrtReader::open(source + "/examples/updates.20240101.0000.gz", 2, &error);
  ASSERT_NE(reader, nullptr) << error;
  mrt::BgpUpdate update;
  int messages = 0;
  std::set<std::pair<std::uint16_t, std::array<std::uint8_t, 16>>> peers;
  std::uint32_t first = 0, last = 0;
  while (reader->next(update)) {
    if (update.bgpType != mrt::kBgpMessageUpdate) continue;
    if (messages++ == 0) first = update.time;
    last = update.time;
    peers.insert({update.addressFamily, update.peerAddress});
  }
  EXPECT_EQ(messages, 9);
  EXPECT_EQ(peers.size(), 3u);
  EXPECT_EQ(last - first, 56u);
  for (const auto& [document, claim] : std::vector<std::pair<std::string, std::string>>{
           {"README.md", "nine UPDATE messages from three peers"},
           {"README.md", "over 56 seconds"},
           {"doc/tarvex.1", "nine made-up BGP4MP UPDATE messages over 56 seconds from three peers"},
           {"tools/make_sample.cc",
            "nine made-up BGP4MP UPDATE messages over 56 seconds from three peers"},
       }) {
    EXPECT_NE(wrappedText(readFile(source + "/" + document)).find(claim), std::string::npos)
        << document << " lacks: " << claim;
  }
}

}  // namespace
}  // namespace tarvex::testing
