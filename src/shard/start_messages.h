// What a single run writes once, before its first day: the warnings about arguments that no
// option takes, about the lines of the criteria lists and about --dir options that name no
// directory. Every one-day run writes them too; the merge keeps them once. They are learnt by
// taking the start steps of tarvex's own entry point (start_checks.h), less the output file.
#pragma once

#include <optional>
#include <string>

#include "settings/search_settings.h"

namespace tarvex::shard {

/// The start messages of a run with `search`'s lists, directories and operands (all standard
/// error). Nothing when a list cannot be opened or read to its end: the single run then ends
/// before its first day, and tarvex says why itself.
std::optional<std::string> learnStartMessages(const SearchSettings& search);

}  // namespace tarvex::shard
