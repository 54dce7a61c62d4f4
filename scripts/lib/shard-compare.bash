# shellcheck shell=bash disable=SC2154 # $work, $tarvex, $shard: the caller's
# The checks of scripts/shard-test and scripts/multihost-test: the report of each check and the
# byte-for-byte comparison of a sharded search with the single tarvex run. They use $work (a
# scratch directory), $tarvex and $shard (the programs under test) and count the failed checks
# in $failures.

failures=0
note() { printf '%s\n' "$*"; }
bad() {
  printf 'FAIL: %s\n' "$*"
  failures=$((failures + 1))
}

# Runs the single search "$@" once with the report on standard output and once in a file,
# keeping everything it writes below $work/single/.
single() {
  rm -rf "$work/single" && mkdir "$work/single"
  local status=0
  "$tarvex" "$@" >"$work/single/stdout" 2>"$work/single/stderr" || status=$?
  echo "$status" >"$work/single/status"
  status=0
  "$tarvex" "$@" --outfile="$work/single/report" >"$work/single/file.stdout" \
    2>"$work/single/file.stderr" || status=$?
  echo "$status" >"$work/single/file.status"
}

# Runs tarvex-shard with shard options $1 (words) on the search "${@:2}" the same two ways and
# compares everything with the single run's.
sharded() {
  local label=$1 shard_options=$2
  shift 2
  rm -rf "$work/sharded" && mkdir "$work/sharded"
  local status=0
  # shellcheck disable=SC2086 # the shard options are words
  "$shard" $shard_options "$@" >"$work/sharded/stdout" 2>"$work/sharded/stderr" || status=$?
  echo "$status" >"$work/sharded/status"
  status=0
  # shellcheck disable=SC2086
  "$shard" $shard_options "$@" --outfile="$work/sharded/report" >"$work/sharded/file.stdout" \
    2>"$work/sharded/file.stderr" || status=$?
  echo "$status" >"$work/sharded/file.status"
  local file same=1
  for file in stdout stderr status report file.stdout file.stderr file.status; do
    [[ -e $work/single/$file || -e $work/sharded/$file ]] || continue # neither wrote it
    if ! cmp -s "$work/single/$file" "$work/sharded/$file"; then
      bad "$label: $file differs from the single run's ($*)"
      diff "$work/single/$file" "$work/sharded/$file" | head -n 5 || true
      same=0
    fi
  done
  ((same)) && note "ok   $label: status $(cat "$work/single/status")," \
    "$(wc -c <"$work/single/stdout") bytes of output, $(wc -c <"$work/single/stderr") of messages"
  return 0
}

# The search "${@:3}" run single and sharded with shard options $2, compared as sharded() does.
compareBoth() {
  local label=$1 shard_options=$2
  shift 2
  single "$@"
  sharded "$label" "$shard_options" "$@"
}
