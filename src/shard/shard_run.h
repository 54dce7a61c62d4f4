// tarvex-shard's run: the command line, the check of the tarvex it runs, the hand-over to tarvex
// of what is no date-range search, the day plan, the lists saved from pipes, the work directory,
// the engine (and its stop), the check of the days and the merge. Only this module chooses
// tarvex-shard's exit status, and none of its endings that loses or cuts a report is 0.
#pragma once

namespace tarvex::shard {

/// tarvex-shard's exit statuses of its own; any other is the single run's (a merged report that
/// cannot be written ends with tarvex's own status for that).
inline constexpr int kStatusUsage = 2;  // a mistake in the shard options, no tarvex or engine
/// A day could not be searched, or the run was stopped: nothing was merged (or, when a day's
/// file could not be read back, the merge was cut short).
inline constexpr int kStatusShardFailed = 3;

/// Runs tarvex-shard on `argv` and returns its exit status (it may instead become tarvex, by
/// exec, when tarvex is the one to answer).
int runShard(int argc, char** argv);

}  // namespace tarvex::shard
