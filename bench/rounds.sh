# shellcheck shell=bash
# What the timing benches share: runs interleaved round by round, so that every run sees the
# same machine, and the least time of each kept.
#
# run_rounds ROUNDS NAME...: calls time_one NAME (the caller's, printing seconds) for each
# name in each round, prints each round's line, and leaves the least time of each in the
# caller's associative array best.

less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

run_rounds() {
  local rounds="$1" round r t line
  shift
  echo "Load before the runs:$(uptime | sed 's/.*load average://')"
  for ((round = 1; round <= rounds; round++)); do
    line="round $round:"
    for r in "$@"; do
      t="$(time_one "$r")"
      line+="$(printf ' %s %.3f' "$r" "$t")"
      if [ -z "${best["$r"]:-}" ] || less_than "$t" "${best["$r"]}"; then
        best["$r"]="$t"
      fi
    done
    echo "$line"
  done
  echo "Load after the runs:$(uptime | sed 's/.*load average://')"
}
