#!/bin/sh
# Runs one fuzz target for a bounded time and fails on any finding.
#
#   run_fuzz.sh TARGET SECONDS SEEDS DICTIONARY WORK
#   run_fuzz.sh --skip REASON
#
# The target starts from the repository's seed corpus SEEDS, which it only
# reads; the inputs it adds go to WORK/corpus, and an input that breaks an
# invariant, crashes, leaks, runs for more than 5 s or takes more memory than
# allowed is saved under WORK/findings/. DICTIONARY is a file or "-".
# --skip reports the test as skipped (exit 77) with REASON.
set -eu

if [ "$1" = "--skip" ]; then
  echo "fuzz target not built: $2"
  exit 77
fi

target=$1 seconds=$2 seeds=$3 dictionary=$4 work=$5
mkdir -p "$work/corpus" "$work/findings"
set -- -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
  -error_exitcode=1 -timeout_exitcode=1 -artifact_prefix="$work/findings/"
if [ "$dictionary" != "-" ]; then
  set -- "$@" -dict="$dictionary"
fi
# libFuzzer's own exit codes for a finding would read as "skipped" (77), so
# every finding exits 1.
exec "$target" "$@" "$work/corpus" "$seeds"
