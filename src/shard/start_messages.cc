#include "shard/start_messages.h"

#include "cli/start_checks.h"
#include "criteria/criteria_files.h"
#include "criteria/ip_set.h"
#include "shard/message_capture.h"

namespace tarvex::shard {

std::optional<std::string> learnStartMessages(const SearchSettings& search) {
  MessageCapture messages;
  SearchSettings lists = search;  // the AS number load fills the set of its record
  warnAboutOperands(lists, messages);
  if (!lists.cidrFile.empty()) {
    IpSet set;
    if (!readCidrFile(lists.cidrFile, set, messages)) return std::nullopt;
  }
  if (!lists.asnFile.empty() && !loadAsnFile(lists, messages)) return std::nullopt;
  warnAboutMissingDirs(lists, messages);
  if (!messages.stdoutText.empty()) return std::nullopt;
  return messages.stderrText;
}

}  // namespace tarvex::shard
