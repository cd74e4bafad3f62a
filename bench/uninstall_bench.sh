#!/usr/bin/env bash
# Times "--uninstall" removing a data tree against two baselines, each
# removing an identical copy on the same throwaway Wine machine: a plain
# name-based depth-first removal (bench/plain_remove.cpp: FindFirstFileW,
# DeleteFileW, RemoveDirectoryW on a \\?\ path) and Wine's own
# "cmd /c rmdir /s /q". The tree: 20,000 small files in 2,000 folders, up to
# six deep. Prints the three times and the ratios --uninstall/plain (the tool
# aims at 1.5 or less, 1.2 at best) and --uninstall/rmdir (0.15 or less);
# and "--uninstall NAME -verbose" (its decision log into a file) on a fourth
# copy, against the plain removal (at most 1.3).
#
#   bash bench/uninstall_bench.sh [ROUNDS]     (default 3 rounds; the medians count)
#
# Needs the windows preset built (cmake --preset windows && cmake --build --preset windows).
set -euo pipefail
ROUNDS=${1:-3}
export CM_E2E_WORK=${CM_E2E_WORK:-$(cd "$(dirname "$0")/.." && pwd)/build/bench}
source "$(dirname "$0")/../tests/e2e/lib.sh"
set +u
e2e_machine_new

readonly FOLDERS=2000 FILES_PER_FOLDER=10 BRANCHING=4  # 4+16+64+256+1024+636 folders: six levels

# make_tree DIR: folder n (1..FOLDERS) lies in folder (n-1)/BRANCHING, 0 being DIR.
make_tree() {
  python3 - "$1" "$FOLDERS" "$FILES_PER_FOLDER" "$BRANCHING" <<'PY'
import os, sys
root, folders, files, branching = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
path = {0: root}
os.makedirs(root)
for n in range(1, folders + 1):
    path[n] = os.path.join(path[(n - 1) // branching], "folder %d" % n)
    os.mkdir(path[n])
    for f in range(files):
        with open(os.path.join(path[n], "file %d.dat" % f), "w") as out:
            out.write("client data %d/%d\n" % (n, f) * 8)
PY
}

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc; }

data=$USER_DIR/AppData/Local/BenchData
verbose_data=$USER_DIR/AppData/Local/BenchDataVerbose
copy=$DRIVE_C/bench-rmdir
plain_copy=$DRIVE_C/bench-plain
cp "$CM_REPO/build/windows/plain-remove.exe" "$DRIVE_C/tools/"
make_tree "$E2E_DIR/tree"
echo "tree: $(find "$E2E_DIR/tree" -type f | wc -l) files in $(($(find "$E2E_DIR/tree" -type d | wc -l) - 1)) folders," \
  "$(find "$E2E_DIR/tree" -type d -printf '%d\n' | sort -n | tail -n 1) deep"
wine cmd /c echo >/dev/null 2>&1  # the wineserver is up for both

time_tool() {
  local start
  start=$(now)
  run_tool --uninstall BenchData
  tool_times+=("$(seconds "$start" "$(now)")")
}
time_verbose() {
  local start
  start=$(now)
  run_tool --uninstall BenchDataVerbose -verbose
  verbose_times+=("$(seconds "$start" "$(now)")")
}
time_rmdir() {
  local start
  start=$(now)
  wine cmd /c rmdir /s /q 'C:\bench-rmdir' >/dev/null 2>&1
  rmdir_times+=("$(seconds "$start" "$(now)")")
}
time_plain() {
  local start
  start=$(now)
  wine 'C:\tools\plain-remove.exe' 'C:\bench-plain' >/dev/null 2>&1
  plain_times+=("$(seconds "$start" "$(now)")")
}
ratio() { echo "$1 / $2" | bc -l; }

tool_times=() plain_times=() rmdir_times=() verbose_times=() plain_ratios=() rmdir_ratios=() verbose_ratios=()
for round in $(seq 1 "$ROUNDS"); do
  for tree in "$data" "$plain_copy" "$copy" "$verbose_data"; do cp -a "$E2E_DIR/tree" "$tree"; done
  sync
  # Rotate which goes first, so none always meets a fresher cache.
  case $((round % 3)) in
    1) time_tool; time_plain; time_rmdir; time_verbose ;;
    2) time_plain; time_verbose; time_rmdir; time_tool ;;
    0) time_verbose; time_rmdir; time_tool; time_plain ;;
  esac
  if exists "$data" || exists "$plain_copy" || exists "$copy" || exists "$verbose_data"; then
    echo "round $round: a tree was not removed completely" >&2
    exit 1
  fi
  plain_ratios+=("$(ratio "${tool_times[-1]}" "${plain_times[-1]}")")
  rmdir_ratios+=("$(ratio "${tool_times[-1]}" "${rmdir_times[-1]}")")
  verbose_ratios+=("$(ratio "${verbose_times[-1]}" "${plain_times[-1]}")")
  printf 'round %d: --uninstall %6.2f s   plain %6.2f s   rmdir /s /q %6.2f s   --uninstall/plain %.3f   --uninstall/rmdir %.3f\n' \
    "$round" "${tool_times[-1]}" "${plain_times[-1]}" "${rmdir_times[-1]}" "${plain_ratios[-1]}" "${rmdir_ratios[-1]}"
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
# The ratios are taken round by round (the three removals of a round meet
# the same machine load) and their medians reported.
printf 'median: --uninstall %.2f s, plain %.2f s, rmdir /s /q %.2f s\n' "$(median "${tool_times[@]}")" \
  "$(median "${plain_times[@]}")" "$(median "${rmdir_times[@]}")"
printf '  --uninstall/plain %.3f (target at most 1.5, aim 1.2)\n' "$(median "${plain_ratios[@]}")"
printf '  --uninstall/rmdir %.3f (target at most 0.15)\n' "$(median "${rmdir_ratios[@]}")"
printf '  --uninstall -verbose/plain %.3f (target at most 1.3; median -verbose %.2f s)\n' \
  "$(median "${verbose_ratios[@]}")" "$(median "${verbose_times[@]}")"
