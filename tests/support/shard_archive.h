// An archive of a few days for end-to-end runs of tarvex-shard against the single tarvex run,
// and what those runs share: a stand-in for tarvex that notes each day it is given before it
// becomes tarvex, and the comparison of two runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mrt_builder.h"
#include "process_runner.h"
#include "report_checks.h"

namespace tarvex::testing {

/// Days of March 2024 from the 1st, in one collector of the RouteViews layout below `root`, each
/// holding a number of announcements of 192.0.2.0/24 (one report line each, about 70 bytes), and
/// a CIDR list of that block and a line that is no block, so that every run starts with one
/// message.
struct ShardArchive {
  std::string root;
  std::vector<std::string> days;
  std::string dir;    // the --dir
  std::string cidrs;  // the CIDR list

  /// The path of the dump of `day`.
  std::string dump(const std::string& day) const {
    return dir + "/rrc00/2024.03/UPDATES/updates." + day + ".0000.gz";
  }

  /// --cidrfile, --dir, --startdate and --enddate of a search of every day.
  std::vector<std::string> rangeArguments() const {
    return {"--cidrfile=" + cidrs, "--dir=" + dir, "--startdate=" + days.front(),
            "--enddate=" + days.back()};
  }
};

inline ShardArchive makeShardArchive(const std::string& root, std::size_t days,
                                     std::size_t linesPerDay) {
  constexpr std::uint32_t kFirstOfMarch2024 = 1709251200;
  constexpr std::uint32_t kSecondsPerDay = 86400;
  ShardArchive archive{root, {}, root + "/archive", root + "/cidrs.txt"};
  makeDirectories(archive.dir + "/rrc00/2024.03/UPDATES");
  writeText(archive.cidrs, "192.0.2.0/24\nnot-a-block\n");
  for (std::size_t number = 1; number <= days; ++number) {
    const std::string day = "202403" + std::string(number < 10 ? "0" : "") + std::to_string(number);
    archive.days.push_back(day);
    Bytes dump;
    for (std::size_t line = 0; line < linesPerDay; ++line) {
      SimpleUpdate update;
      update.time = kFirstOfMarch2024 + static_cast<std::uint32_t>(number - 1) * kSecondsPerDay +
                    static_cast<std::uint32_t>(line);
      update.announced = {"192.0.2.0/24"};
      append(dump, updateRecord(update));
    }
    writeFile(archive.dump(day), dump, Compression::kGzip);
  }
  return archive;
}

/// Writes at `path` an executable that passes for tarvex (its --help is tarvex's) and, for a
/// search, appends the day (its --startdate) to `log`, runs the shell text `before` (which may
/// use $day), then becomes tarvex.
inline void writeDayLogger(const std::string& path, const std::string& log,
                           const std::string& before = "") {
  writeText(path,
            "#!/bin/sh\n"
            "day=\n"
            "for word in \"$@\"; do\n"
            "  case $word in --startdate=*) day=${word#--startdate=} ;; esac\n"
            "done\n"
            "if [ -n \"$day\" ]; then\n"
            "  echo \"$day\" >>'" +
                log + "'\n" + before +
                "\n"
                "fi\n"
                "exec '" TARVEX_BINARY "' \"$@\"\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

/// The days the stand-in noted, in the order it noted them.
inline std::vector<std::string> loggedDays(const std::string& log) {
  std::ifstream file(log);
  std::vector<std::string> days;
  for (std::string day; std::getline(file, day);) days.push_back(day);
  return days;
}

/// `arguments` followed by `more`.
inline std::vector<std::string> joined(std::vector<std::string> arguments,
                                       const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

/// Runs the built tarvex-shard.
inline RunResult runTarvexShard(const std::vector<std::string>& arguments,
                                const RunOptions& options = {}) {
  return runProgram(TARVEX_SHARD_BINARY, arguments, options);
}

/// Expects the sharded run to have written what the single run wrote, with its status.
inline void expectSameRun(const RunResult& sharded, const RunResult& single) {
  EXPECT_EQ(sharded.status, single.status);
  EXPECT_TRUE(sameReport(sharded.out, single.out));
  EXPECT_EQ(sharded.err, single.err);
}

}  // namespace tarvex::testing
