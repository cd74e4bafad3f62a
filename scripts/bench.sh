#!/usr/bin/env bash
# Load figures (not tests): the tool's logic over the simulated machine with
# 10,000 profiles, a 100,000-entry data folder and 2,000 processes, each
# against a size ten times smaller; then, under Wine, "--uninstall" removing
# a 20,000-file tree against a plain name-based removal and Wine's own
# "rmdir /s /q" (bench/uninstall_bench.sh, ROUNDS rounds, default 3), and the
# process look-ups of "--stop" and "--force-stop" against their least
# (bench/process_bench.sh). Takes a quarter of an hour.
#   scripts/bench.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset host-release >/dev/null
cmake --build --preset host-release --target load_bench
./build/host-release/load_bench
echo
cmake --preset windows >/dev/null
cmake --build --preset windows
bash bench/uninstall_bench.sh "${1:-3}"
echo
bash bench/process_bench.sh
