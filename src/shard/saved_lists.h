// Criteria lists that another process could not read again as this one reads them: a pipe
// (`--cidrfile /dev/stdin`, `--cidrfile <(...)`), a named pipe, a device, or any path through a
// descriptor of this process (/dev/stdin, /dev/fd/N). A single tarvex run reads such a list once;
// tarvex-shard reads it once too, at the start, with tarvex's own line reader, and saves it in
// the work directory (lists/cidrfile, lists/asnfile), from which every day reads it wherever it
// runs. A day's messages then name the copy; the messages tarvex-shard writes name the list as
// given, as the single run names it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/search_settings.h"

namespace tarvex::shard {

struct SavedList {
  std::string option;   // "--cidrfile" or "--asnfile"
  std::string given;    // the path as given
  std::string text;     // its lines, each closed by a line feed, once read
  std::string copy;     // the copy's path in the work directory, once written
  int descriptor = -1;  // the descriptor of this process that `given` names, or -1
};

/// The lists of `search` that must be saved, in the order tarvex loads them, not yet read. A
/// list that is missing or a directory is none of them: tarvex refuses it itself.
std::vector<SavedList> listsToSave(const SearchSettings& search);

/// `search` with each list of `lists` read from `path(list)` instead.
SearchSettings withListsAt(const SearchSettings& search, const std::vector<SavedList>& lists,
                           const std::string& (*path)(const SavedList& list));

/// Reading failed: when `nothingRead`, before any byte of any list was taken (tarvex can then
/// answer the command line itself); otherwise what tarvex-shard says.
struct ListReadFailure {
  bool nothingRead;
  std::string message;
};

/// Reads each list into its `text`, as tarvex reads a list (a named pipe gets tarvex's bounded
/// wait for its writer).
std::optional<ListReadFailure> readLists(std::vector<SavedList>& lists);

/// Writes each list's copy into `directory` and sets its `copy`; the message when one cannot be
/// written.
std::optional<std::string> writeCopies(std::vector<SavedList>& lists, const std::string& directory);

/// `messages` (a day's start messages, naming the copies) naming the lists as given.
std::string namedAsGiven(std::string messages, const std::vector<SavedList>& lists);

/// `SavedList::copy`, and /dev/null: the paths `withListsAt` takes.
const std::string& copyPath(const SavedList& list);
const std::string& emptyListPath(const SavedList& list);

}  // namespace tarvex::shard
