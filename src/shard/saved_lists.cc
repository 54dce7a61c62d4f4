#include "shard/saved_lists.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "input/line_file.h"
#include "shard/file_text.h"

namespace tarvex::shard {

namespace fs = std::filesystem;

namespace {

// Links followed before a path is taken to lead nowhere (the kernel's own limit).
constexpr int kMaxLinks = 40;

// Whether `dir` (resolved) holds the descriptors of this process: /proc/PID/fd, or the fd
// directory of one of its threads.
bool isOwnDescriptorDirectory(const fs::path& dir) {
  const std::string own = "/proc/" + std::to_string(::getpid());
  const std::string text = dir.string();
  return dir.filename() == "fd" && (text == own + "/fd" || text.starts_with(own + "/task/"));
}

// The descriptor of this process that `path` reaches (as /dev/stdin, /dev/fd/N and
// /proc/self/fd/N do), or -1. Links are followed one at a time up to the descriptor's own, whose
// target is the open file itself and may not be a path at all ("pipe:[1234]").
int namedDescriptor(const std::string& path) {
  std::error_code error;
  fs::path current = fs::absolute(path, error);
  for (int links = 0; !error && links < kMaxLinks; ++links) {
    const fs::path parent = fs::canonical(current.parent_path(), error);
    if (error) return -1;
    const std::string name = current.filename().string();
    if (isOwnDescriptorDirectory(parent)) {
      int fd = -1;
      const auto [end, problem] = std::from_chars(name.data(), name.data() + name.size(), fd);
      return problem == std::errc() && end == name.data() + name.size() ? fd : -1;
    }
    current = parent / name;
    if (!fs::is_symlink(current, error)) return -1;
    const fs::path target = fs::read_symlink(current, error);
    current = target.is_absolute() ? target : parent / target;
  }
  return -1;
}

// Writes `text` to the file at `path`, replacing it whole: a copy taken up again by a re-run is
// never seen half written. The errno of a failure, or 0.
int replaceFile(const std::string& path, const std::string& text) {
  const std::string written = path + ".new";
  int error = writeFileText(written, text);
  if (error == 0 && ::rename(written.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(written.c_str());
  }
  return error;
}

const std::string kEmptyList = "/dev/null";

}  // namespace

std::vector<SavedList> listsToSave(const SearchSettings& search) {
  std::vector<SavedList> lists;
  for (const auto& [option, path] :
       {std::pair{"--cidrfile", &search.cidrFile}, std::pair{"--asnfile", &search.asnFile}}) {
    struct stat status;
    if (path->empty() || ::stat(path->c_str(), &status) != 0 || S_ISDIR(status.st_mode)) continue;
    const int descriptor = namedDescriptor(*path);
    if (S_ISREG(status.st_mode) && descriptor < 0) continue;
    lists.push_back({option, *path, "", "", descriptor});
  }
  return lists;
}

SearchSettings withListsAt(const SearchSettings& search, const std::vector<SavedList>& lists,
                           const std::string& (*path)(const SavedList& list)) {
  SearchSettings changed = search;
  for (const SavedList& list : lists) {
    (list.option == "--cidrfile" ? changed.cidrFile : changed.asnFile) = path(list);
  }
  return changed;
}

std::optional<ListReadFailure> readLists(std::vector<SavedList>& lists) {
  bool nothingRead = true;
  for (SavedList& list : lists) {
    input::LineFile file(list.given);
    if (!file.isOpen()) {
      return ListReadFailure{nothingRead, "cannot open " + list.option + " " + list.given + ": " +
                                              std::strerror(file.openError())};
    }
    nothingRead = false;
    std::size_t lines = 0;
    for (std::string_view line; file.nextLine(line); ++lines) {
      list.text.append(line);
      list.text += '\n';
    }
    if (file.readError() != 0) {
      return ListReadFailure{false, "cannot read " + list.option + " " + list.given +
                                        " to its end: read error after line " +
                                        std::to_string(lines) + ": " +
                                        std::strerror(file.readError())};
    }
  }
  return std::nullopt;
}

std::optional<std::string> writeCopies(std::vector<SavedList>& lists,
                                       const std::string& directory) {
  if (lists.empty()) return std::nullopt;
  if (::mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
    return "cannot create " + directory + ": " + std::strerror(errno);
  }
  for (SavedList& list : lists) {
    list.copy = directory + "/" + list.option.substr(2);
    if (const int error = replaceFile(list.copy, list.text); error != 0) {
      return "cannot write " + list.copy + ": " + std::strerror(error);
    }
  }
  return std::nullopt;
}

std::string namedAsGiven(std::string messages, const std::vector<SavedList>& lists) {
  for (const SavedList& list : lists) {
    for (std::size_t at = 0; (at = messages.find(list.copy, at)) != std::string::npos;) {
      messages.replace(at, list.copy.size(), list.given);
      at += list.given.size();
    }
  }
  return messages;
}

const std::string& copyPath(const SavedList& list) {
  return list.copy;
}

const std::string& emptyListPath(const SavedList&) {
  return kEmptyList;
}

}  // namespace tarvex::shard
