#include "shard/shard_messages.h"

#include <unistd.h>

#include "output/process_output.h"

namespace tarvex::shard {

void say(const std::string& message) {
  writeAll(STDERR_FILENO, "tarvex-shard: " + message + "\n");
}

std::string keptDaysNote(const std::string& workdir, const std::string& rerun) {
  return "the finished days are kept in " + workdir + ", and running the same command " + "again " +
         rerun;
}

}  // namespace tarvex::shard
