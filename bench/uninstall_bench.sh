#!/usr/bin/env bash
# Times "--uninstall" removing a data tree against Wine's own
# "cmd /c rmdir /s /q" removing an identical copy, on a throwaway Wine
# machine. The tree: 20,000 small files in 2,000 folders, up to six deep.
# Prints both times and their ratio; the tool aims at 0.15 or less.
#
#   bash bench/uninstall_bench.sh [ROUNDS]     (default 3 rounds; the median counts)
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
copy=$DRIVE_C/bench-rmdir
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
time_rmdir() {
  local start
  start=$(now)
  wine cmd /c rmdir /s /q 'C:\bench-rmdir' >/dev/null 2>&1
  rmdir_times+=("$(seconds "$start" "$(now)")")
}

tool_times=() rmdir_times=()
for round in $(seq 1 "$ROUNDS"); do
  cp -a "$E2E_DIR/tree" "$data"
  cp -a "$E2E_DIR/tree" "$copy"
  sync
  # Alternate which goes first, so neither always meets a fresher cache.
  if [ $((round % 2)) -eq 1 ]; then time_tool; time_rmdir; else time_rmdir; time_tool; fi
  if exists "$data" || exists "$copy"; then echo "round $round: a tree was not removed completely" >&2; exit 1; fi
  printf 'round %d: --uninstall %6.2f s   rmdir /s /q %6.2f s   ratio %.3f\n' "$round" "${tool_times[-1]}" \
    "${rmdir_times[-1]}" "$(echo "${tool_times[-1]} / ${rmdir_times[-1]}" | bc -l)"
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
tool=$(median "${tool_times[@]}")
rmdir=$(median "${rmdir_times[@]}")
printf 'median: --uninstall %.2f s, rmdir /s /q %.2f s, ratio %.3f (target at most 0.15)\n' \
  "$tool" "$rmdir" "$(echo "$tool / $rmdir" | bc -l)"
