#include "discovery/directory_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace tarvex {

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

void appendSeparator(std::string& directory) {
  if (directory.empty() || directory.back() != '/') directory.push_back('/');
}

// Calls `take(name)` for every entry of `directory` in the order readdir yields them. A read
// error ends the listing like its end: what was read so far is kept.
template <typename Take>
void forEachEntry(const std::string& directory, Take take) {
  DirectoryHandle handle(::opendir(directory.c_str()));
  if (!handle) return;
  while (const dirent* entry = ::readdir(handle.get())) take(std::string_view(entry->d_name));
}

}  // namespace

bool directoryExists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> listDirectory(std::string directory) {
  appendSeparator(directory);
  std::vector<std::string> paths;
  forEachEntry(directory, [&](std::string_view name) {
    paths.push_back(directory);
    paths.back().append(name);
  });
  return paths;
}

std::vector<std::string> listUpdateFiles(std::string updateDirectory, std::string_view dateText) {
  appendSeparator(updateDirectory);
  std::vector<std::string> paths;
  forEachEntry(updateDirectory, [&](std::string_view name) {
    if (name.starts_with('.') || name.find(dateText) == std::string_view::npos) return;
    paths.push_back(updateDirectory);
    paths.back().append(name);
  });
  return paths;
}

}  // namespace tarvex
