# shellcheck shell=bash disable=SC2154 # $shard, $single_seconds: the caller's
# What tarvex-shard adds to a single run, measured for scripts/shard-test and
# scripts/multihost-test: wall times, printed and never asserted, since the machine may be busy.

# The wall time of the command "$@" in seconds, its output thrown away.
secondsOf() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  awk -v end="$EPOCHREALTIME" -v start="$start" 'BEGIN { print end - start }'
}

# The median of three wall times of the command "$@": one slow run does not move it.
medianSeconds() {
  local times=()
  for _ in 1 2 3; do times+=("$(secondsOf "$@")"); done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

# The wall time of the sharded search "${@:4}" with shard options $3 (words), the median of
# three runs, printed with what it adds per day to the single run's time in $single_seconds
# over $2 days, labelled $1.
timeSharded() {
  local label=$1 days=$2 shard_options=$3
  shift 3
  local seconds
  # shellcheck disable=SC2086 # the shard options are words
  seconds=$(medianSeconds "$shard" $shard_options "$@")
  awk -v label="$label:" -v t="$seconds" -v single="$single_seconds" -v days="$days" \
    'BEGIN { printf "time %-46s %6.2f s, %6.3f s per day over the single run\n", label, t,
             (t - single) / days }'
}
