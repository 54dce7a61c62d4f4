#include "discovery/directory_listing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex {
namespace {

using testing::makeDirectories;
using testing::TempDir;
using testing::writeText;

std::vector<std::string> sorted(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(DirectoryExistsTest, FollowsLinksAndRejectsEverythingButDirectories) {
  TempDir temp;
  makeDirectories(temp.file("dir"));
  writeText(temp.file("file"), "x");
  std::filesystem::create_directory_symlink("dir", temp.file("link-to-dir"));
  std::filesystem::create_symlink("file", temp.file("link-to-file"));
  std::filesystem::create_symlink("missing", temp.file("dangling"));
  std::filesystem::create_symlink("loop-b", temp.file("loop-a"));
  std::filesystem::create_symlink("loop-a", temp.file("loop-b"));

  struct Case {
    std::string path;
    bool isDirectory;
  };
  const Case cases[] = {
      {temp.file("dir"), true},
      {temp.file("dir") + "/", true},
      {temp.file("dir") + "//.", true},
      {temp.file("link-to-dir"), true},
      {temp.file("link-to-dir") + "/", true},
      {temp.file("file"), false},
      {temp.file("file") + "/", false},
      {temp.file("link-to-file"), false},
      {temp.file("dangling"), false},
      {temp.file("loop-a"), false},
      {temp.file("missing"), false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(directoryExists(c.path), c.isDirectory) << c.path;
}

TEST(ListDirectoryTest, YieldsEveryEntryWithOneSeparator) {
  TempDir temp;
  const std::string archive = temp.file("archive");
  makeDirectories(archive + "/collector");
  writeText(archive + "/.hidden", "");
  writeText(archive + "/file", "");
  std::filesystem::create_symlink("nowhere", archive + "/dangling");

  const std::vector<std::string> expected = {archive + "/.",        archive + "/..",
                                             archive + "/.hidden",  archive + "/collector",
                                             archive + "/dangling", archive + "/file"};
  EXPECT_EQ(sorted(listDirectory(archive)), expected);
  EXPECT_EQ(sorted(listDirectory(archive + "/")), expected);
}

TEST(ListDirectoryTest, KeepsTheDirectoryOrder) {
  TempDir temp;
  for (int i = 0; i < 50; ++i) writeText(temp.file("entry" + std::to_string(i)), "");

  // The order readdir gives, read independently of the code under test.
  std::vector<std::string> expected;
  for (const auto& entry : std::filesystem::directory_iterator(temp.path())) {
    expected.push_back(entry.path().string());
  }
  std::vector<std::string> listed = listDirectory(temp.path());
  listed.erase(std::remove_if(listed.begin(), listed.end(),
                              [&](const std::string& path) {
                                return path == temp.path() + "/." || path == temp.path() + "/..";
                              }),
               listed.end());
  EXPECT_EQ(listed, expected);
}

TEST(ListDirectoryTest, EmptyPathListsTheRoot) {
  std::vector<std::string> root = sorted(listDirectory("/"));
  EXPECT_EQ(sorted(listDirectory("")), root);
  EXPECT_NE(std::find(root.begin(), root.end(), "/."), root.end());
  EXPECT_NE(std::find(root.begin(), root.end(), "/.."), root.end());
}

TEST(ListDirectoryTest, DirectoriesThatCannotBeOpenedGiveNothing) {
  TempDir temp;
  writeText(temp.file("file"), "");
  EXPECT_TRUE(listDirectory(temp.file("missing")).empty());
  EXPECT_TRUE(listDirectory(temp.file("file")).empty());
  if (geteuid() != 0) {
    makeDirectories(temp.file("locked"));
    std::filesystem::permissions(temp.file("locked"), std::filesystem::perms::none);
    EXPECT_TRUE(listDirectory(temp.file("locked")).empty());
  }
}

TEST(ListUpdateFilesTest, TakesNamesHoldingTheDateThatDoNotBeginWithADot) {
  TempDir temp;
  const std::string updates = temp.file("UPDATES");
  makeDirectories(updates + "/updates.20240101.dir");  // a directory is taken like a file
  for (const char* name : {"updates.20240101.0000.gz", "20240101", "x20240101y", ".20240101.gz",
                           ".updates.20240101.0015.gz", "updates.20240102.0000.gz",
                           "updates.2024-01-01.0000.gz", "updates.2024101.0000.gz"}) {
    writeText(updates + "/" + name, "");
  }

  const std::vector<std::string> expected = {
      updates + "/20240101", updates + "/updates.20240101.0000.gz",
      updates + "/updates.20240101.dir", updates + "/x20240101y"};
  EXPECT_EQ(sorted(listUpdateFiles(updates, "20240101")), expected);
  EXPECT_EQ(sorted(listUpdateFiles(updates + "/", "20240101")), expected);
  EXPECT_TRUE(listUpdateFiles(temp.file("missing"), "20240101").empty());
}

}  // namespace
}  // namespace tarvex
