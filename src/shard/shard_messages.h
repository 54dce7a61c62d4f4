// tarvex-shard's own messages on standard error: one line each, behind its name, so that they
// stand apart from tarvex's messages, which the merge passes on as the single run writes them.
#pragma once

#include <string>

namespace tarvex::shard {

/// Writes `message` to standard error as one line of tarvex-shard's.
void say(const std::string& message);

/// The end of a message that leaves finished days behind: where they are kept, and what running
/// the same command again does with them (`rerun`).
std::string keptDaysNote(const std::string& workdir, const std::string& rerun);

}  // namespace tarvex::shard
