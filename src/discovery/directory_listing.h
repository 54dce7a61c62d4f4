// Reading archive directories: every entry of a directory as a path, the day's files of one
// update directory, and the directory test.
//
// Paths are composed as plain text with "/" between directory and entry name and are never
// normalised or resolved, so "." and ".." entries come back as "DIR/." and "DIR/..". Entries are
// returned in the order the directory yields them. A directory that cannot be opened (missing,
// not a directory, not readable) gives an empty list and no message. Results are owned by the
// caller.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

/// True when `path` names a directory, following symbolic links. A file, a dangling link, a
/// missing path and the empty path are not directories.
bool directoryExists(const std::string& path);

/// Every entry of `directory`, "." and ".." included, each as `directory` + "/" + name; the
/// separator is not doubled when `directory` already ends in "/", and an empty `directory`
/// stands for "/".
std::vector<std::string> listDirectory(std::string directory);

/// The entries of `updateDirectory` whose names contain `dateText` and do not begin with ".",
/// each as `updateDirectory` + "/" + name. The kind of entry is not looked at.
std::vector<std::string> listUpdateFiles(std::string updateDirectory, std::string_view dateText);

}  // namespace tarvex
