// The archive day walk: finds one day's update files under every archive directory and scans
// them in time-stamp order.
//
// Below an archive directory lie collector directories (every entry counts, "." and ".."
// included); below a collector lies either "bgpdata/YYYY.MM/UPDATES" or "YYYY.MM/UPDATES", the
// first preferred when both exist. A file belongs to the day when its name contains the date
// text and does not begin with ".". The files of all archive directories are merged into one
// list ordered by the last 17 characters of their paths (the time stamp of the usual
// "updates.YYYYMMDD.HHMM.ext" names), and only paths that contain "updates" and not "meta" are
// scanned. Directories that cannot be read contribute nothing and are not reported; nothing is
// cached, so each call sees the archive as it is at that moment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// What a verbose walk of a day writes to standard error before anything else; tarvex-shard
/// recognises a day that was walked by it.
inline constexpr std::string_view kBuildingFileList = "Building list of files...\n";

/// The number of trailing characters of an update file path that order the day's files.
inline constexpr std::size_t kTimestampTailLength = 17;

/// Scans the update files of `dateText` (YYYYMMDD, eight characters) found under `settings.dirs`.
/// With `settings.verbose` it first writes `kBuildingFileList` to standard error.
void scanDay(const SearchSettings& settings, const std::string& dateText, OutputPort& out);

/// The day's update file paths from every archive directory of `archiveDirectories`, sorted by
/// `compareTimestampSuffix`; paths with equal tails are adjacent, in no fixed order. The "meta"
/// and "updates" selection is not applied here.
std::vector<std::string> listDayFiles(const std::vector<std::string>& archiveDirectories,
                                      std::string_view dateText);

/// The update directory of one collector for the month of `dateText`: the "bgpdata" layout when
/// it is a directory, else the plain layout when that is one, else nothing.
std::optional<std::string> findUpdateDirectory(const std::string& collectorPath,
                                               std::string_view dateText);

/// True when the tail of `left` sorts before the tail of `right`, byte by byte as unsigned
/// values. The tail is the last `kTimestampTailLength` characters, or the whole path when it is
/// shorter.
bool compareTimestampSuffix(std::string_view left, std::string_view right);

/// True when a listed path is to be scanned: it contains "updates" and does not contain "meta"
/// (both case-sensitive, anywhere in the path).
bool isScannedUpdatePath(std::string_view path);

/// What that rule makes of the paths below `directory`, whose own path decides for all of them
/// when it holds either word: none is scanned ("meta"), every one is ("updates"), or each as its
/// own path says.
enum class SelectionBelow { kNone, kEvery, kByPath };
SelectionBelow selectionBelow(std::string_view directory);

}  // namespace tarvex
