#include "discovery/archive_days.h"

#include <algorithm>

#include "discovery/directory_listing.h"
#include "scan/dump_file_scan.h"

namespace tarvex {

namespace {

std::string_view timestampTail(std::string_view path) {
  return path.size() > kTimestampTailLength ? path.substr(path.size() - kTimestampTailLength)
                                            : path;
}

}  // namespace

bool compareTimestampSuffix(std::string_view left, std::string_view right) {
  // char_traits<char> compares as unsigned char, as memcmp does.
  return timestampTail(left) < timestampTail(right);
}

bool isScannedUpdatePath(std::string_view path) {
  return path.find("meta") == std::string_view::npos &&
         path.find("updates") != std::string_view::npos;
}

SelectionBelow selectionBelow(std::string_view directory) {
  if (directory.find("meta") != std::string_view::npos) return SelectionBelow::kNone;
  if (directory.find("updates") != std::string_view::npos) return SelectionBelow::kEvery;
  return SelectionBelow::kByPath;
}

std::optional<std::string> findUpdateDirectory(const std::string& collectorPath,
                                               std::string_view dateText) {
  // "YYYY.MM": the month directory of the day.
  std::string month;
  month.append(dateText.substr(0, 4)).append(".").append(dateText.substr(4, 2));

  std::string withBgpdata = collectorPath + "/bgpdata/" + month + "/UPDATES";
  if (directoryExists(withBgpdata)) return withBgpdata;
  std::string plain = collectorPath + "/" + month + "/UPDATES";
  if (directoryExists(plain)) return plain;
  return std::nullopt;
}

std::vector<std::string> listDayFiles(const std::vector<std::string>& archiveDirectories,
                                      std::string_view dateText) {
  std::vector<std::string> dayFiles;
  for (const std::string& archive : archiveDirectories) {
    for (const std::string& collector : listDirectory(archive)) {
      std::optional<std::string> updateDirectory = findUpdateDirectory(collector, dateText);
      if (!updateDirectory) continue;
      std::vector<std::string> files = listUpdateFiles(std::move(*updateDirectory), dateText);
      dayFiles.insert(dayFiles.end(), std::make_move_iterator(files.begin()),
                      std::make_move_iterator(files.end()));
    }
  }
  std::sort(dayFiles.begin(), dayFiles.end(),
            [](const std::string& left, const std::string& right) {
              return compareTimestampSuffix(left, right);
            });
  return dayFiles;
}

void scanDay(const SearchSettings& settings, const std::string& dateText, OutputPort& out) {
  if (settings.verbose) out.toStderr(kBuildingFileList);
  for (const std::string& path : listDayFiles(settings.dirs, dateText)) {
    if (isScannedUpdatePath(path)) scanDumpFile(settings, path, out);
  }
}

}  // namespace tarvex
