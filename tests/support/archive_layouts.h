// Archive trees for the day walk, with the files a walk of one day must scan from them: the
// layouts that the unit test of the walk and the end-to-end runs of the binary both go through,
// so that the two always agree on what a layout means. Paths are relative to the tree's root.
#pragma once

#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"

namespace tarvex::testing {

struct ArchiveLayout {
  const char* name;
  std::vector<std::string> files;        // update files, each an empty gzip dump
  std::vector<std::string> directories;  // directories with nothing in them
  std::vector<std::string> archives;     // the --dir values
  std::string day;                       // YYYYMMDD
  std::vector<std::string> scanned;      // in scan order
  bool anyOrder = false;                 // the scanned paths tie, so their order is not fixed
};

inline const std::vector<ArchiveLayout>& archiveLayouts() {
  // Two archives: one with both layouts, one with names that are not listed.
  static const std::vector<std::string> mixed = {
      "a1/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0010.gz",
      "a1/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0030.gz",
      "a1/rrc00/bgpdata/2024.01/UPDATES/updates.20240102.0000.gz",
      "a1/rrc00/bgpdata/2024.02/UPDATES/updates.20240101.0000.gz",  // another month
      "a1/rv2/2024.01/UPDATES/updates.20240101.0020.gz",
      "a2/rrc01/2024.01/UPDATES/updates.20240101.0000.gz",
      "a2/rrc01/2024.01/UPDATES/.updates.20240101.0005.gz",
      "a2/rrc01/2024.01/updates.20240101.0040.gz",  // not in UPDATES
  };
  static const std::vector<ArchiveLayout> layouts = {
      {"both layouts of every archive merge by their time stamps",
       mixed,
       {},
       {"a1", "a2"},
       "20240101",
       {"a2/rrc01/2024.01/UPDATES/updates.20240101.0000.gz",
        "a1/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0010.gz",
        "a1/rv2/2024.01/UPDATES/updates.20240101.0020.gz",
        "a1/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0030.gz"}},
      {"a day without files in the same tree", mixed, {}, {"a1", "a2"}, "20240103", {}},
      // The tail is 17 characters whatever the suffix: ".20240101.0010.gz" against
      // "20240101.0010.bz2", so every ".gz" name of the day sorts before every ".bz2" one.
      {"compression suffixes take part in the time stamp order",
       {"ris/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz",
        "ris/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0015.gz",
        "ris/rrc00/bgpdata/2024.01/UPDATES/updates.20240102.0000.gz",
        "ris/rrc00/bgpdata/2023.12/UPDATES/updates.20240101.0001.gz",
        "ris/rrc01/bgpdata/2024.01/UPDATES/updates.20240101.0010.bz2",
        "rv/route-views2/2024.01/UPDATES/updates.20240101.0005.gz",
        "rv/route-views2/2024.01/UPDATES/updates.20240101.0010.gz",
        "rv/route-views2/2024.01/updates.20240101.0020.gz"},
       {},
       {"ris", "rv"},
       "20240101",
       {"ris/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz",
        "rv/route-views2/2024.01/UPDATES/updates.20240101.0005.gz",
        "rv/route-views2/2024.01/UPDATES/updates.20240101.0010.gz",
        "ris/rrc00/bgpdata/2024.01/UPDATES/updates.20240101.0015.gz",
        "ris/rrc01/bgpdata/2024.01/UPDATES/updates.20240101.0010.bz2"}},
      {"a collector with both layouts uses only the bgpdata one",
       {"a/c/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz",
        "a/c/2024.01/UPDATES/updates.20240101.0005.gz",
        "a/c/2024.01/UPDATES/updates.20240101.0015.gz"},
       {},
       {"a"},
       "20240101",
       {"a/c/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz"}},
      {"an empty bgpdata month still wins over the other layout",
       {"b/c/2024.01/UPDATES/updates.20240101.0015.gz"},
       {"b/c/bgpdata/2024.01/UPDATES"},
       {"b"},
       "20240101",
       {}},
      // "." makes the archive itself a collector, ".." its parent.
      {"the archive and its parent are collectors too",
       {"self/2024.01/UPDATES/updates.20240101.0000.gz",
        "parent/2024.01/UPDATES/updates.20240101.0005.gz"},
       {"parent/child"},
       {"self", "parent/child"},
       "20240101",
       {"self/./2024.01/UPDATES/updates.20240101.0000.gz",
        "parent/child/../2024.01/UPDATES/updates.20240101.0005.gz"}},
      {"the parent of an archive is the tree's root",
       {"a/2024.01/UPDATES/updates.20240101.0000.gz", "2024.01/UPDATES/updates.20240101.0005.gz"},
       {},
       {"a"},
       "20240101",
       {"a/./2024.01/UPDATES/updates.20240101.0000.gz",
        "a/../2024.01/UPDATES/updates.20240101.0005.gz"}},
      // Once through "." with the bgpdata layout, once through the entry "bgpdata" with the other.
      {"bgpdata right below the archive is found twice",
       {"a/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz"},
       {},
       {"a"},
       "20240101",
       {"a/./bgpdata/2024.01/UPDATES/updates.20240101.0000.gz",
        "a/bgpdata/2024.01/UPDATES/updates.20240101.0000.gz"},
       true},
  };
  return layouts;
}

inline void PrintTo(const ArchiveLayout& layout, std::ostream* os) {
  *os << layout.name;
}

/// The layout's name as a test name: "a collector with both layouts" gives
/// "ACollectorWithBothLayouts".
inline std::string testNameOf(const ArchiveLayout& layout) {
  std::string name;
  bool wordStart = true;
  for (const char* c = layout.name; *c != 0; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if (std::isalnum(byte) == 0) {
      wordStart = true;
      continue;
    }
    name += wordStart ? static_cast<char>(std::toupper(byte)) : *c;
    wordStart = false;
  }
  return name;
}

/// Builds `layout`'s files and directories below `root`.
inline void makeArchiveTree(const std::string& root, const ArchiveLayout& layout) {
  for (const std::string& file : layout.files) {
    const std::string path = root + "/" + file;
    makeDirectories(std::filesystem::path(path).parent_path());
    writeFile(path, {}, Compression::kGzip);
  }
  for (const std::string& directory : layout.directories) makeDirectories(root + "/" + directory);
}

}  // namespace tarvex::testing
