#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time from its corpus.
#   run_fuzzer.sh FUZZER CORPUS SECONDS WORKDIR
# The corpus in the repository is only read: new inputs go to WORKDIR/new,
# and an input that breaks a promise to WORKDIR/artifacts (printed, and the
# run fails). Re-run one input with: FUZZER WORKDIR/artifacts/<file>
set -euo pipefail
fuzzer=$1 corpus=$2 seconds=$3 work=$4
rm -rf "$work"
mkdir -p "$work/new" "$work/artifacts"
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/new" "$corpus"
