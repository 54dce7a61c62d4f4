#include "shard/start_messages.h"

#include "cli/start_checks.h"
#include "shard/message_capture.h"

namespace tarvex::shard {

std::optional<std::string> learnStartMessages(const SearchSettings& search) {
  MessageCapture messages;
  SearchSettings lists = search;  // the loads fill the sets of their record
  if (!startRun(lists, messages, [] { return true; })) return std::nullopt;
  if (!messages.stdoutText.empty()) return std::nullopt;
  return messages.stderrText;
}

}  // namespace tarvex::shard
