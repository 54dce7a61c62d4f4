// tarvex-shard's run: the command line, the hand-over to tarvex of what is no date-range search,
// the day plan, the work directory, the engine, the check of the days and the merge. Only this
// module chooses tarvex-shard's exit status.
#pragma once

namespace tarvex::shard {

/// tarvex-shard's exit statuses of its own; any other is the single run's.
inline constexpr int kStatusUsage = 2;        // a mistake in the shard options, or no engine
inline constexpr int kStatusShardFailed = 3;  // a day could not be searched; nothing was merged

/// Runs tarvex-shard on `argv` and returns its exit status (it may instead become tarvex, by
/// exec, when tarvex is the one to answer).
int runShard(int argc, char** argv);

}  // namespace tarvex::shard
