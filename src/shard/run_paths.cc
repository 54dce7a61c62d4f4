#include "shard/run_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace tarvex::shard {

bool outfileWritable(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) {
    return (S_ISREG(status.st_mode) || S_ISCHR(status.st_mode)) &&
           ::access(path.c_str(), W_OK) == 0;
  }
  // The directory part of the name, as dirname(1) gives it.
  std::string_view name = path;
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  std::string_view dir =
      slash == std::string_view::npos ? std::string_view(".") : name.substr(0, slash);
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  const std::string parent(dir.empty() ? std::string_view("/") : dir);
  return ::stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         ::access(parent.c_str(), W_OK) == 0;
}

std::string currentDirectory() {
  std::error_code error;
  const std::string physical = std::filesystem::current_path(error).string();
  const char* logical = std::getenv("PWD");
  struct stat here, named;
  if (logical && logical[0] == '/' && ::stat(".", &here) == 0 && ::stat(logical, &named) == 0 &&
      here.st_dev == named.st_dev && here.st_ino == named.st_ino) {
    return logical;
  }
  return physical;
}

}  // namespace tarvex::shard
