#!/usr/bin/env bash
# The simulated machine checked against Wine: the file-system check
# (tests/fscheck/) runs as fs-check.exe under Wine and, linked with the
# simulator, on the host ($CM_FS_CHECK_SIM), over the same tree; the two
# outputs must be equal line for line. A line that differs passes only where
# it is exactly one of the check's known Wine gaps ("fs-check.exe --gaps"):
# the simulator prints what Windows gives, Wine what Wine 8 gives.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

# The tree main_sim.cpp builds in the simulated machine.
root=$DRIVE_C/fscheck
mkdir -p "$root/full" "$root/busy" "$root/target"
echo file >"$root/file.txt"
echo keep >"$root/full/keep.txt"
echo read only >"$root/readonly.txt"
chmod a-w "$root/readonly.txt"
echo old shortcut >"$root/existing.lnk"
echo delete me >"$root/todelete.txt"
echo delete me >"$root/todelete2.txt"
echo held >"$root/busy/held.txt"
echo precious >"$root/target/precious.txt"
ln -s target "$root/link"

cp "$CM_PROGRAMS/fs-check.exe" "$DRIVE_C/tools/"
wine 'C:\tools\fs-check.exe' >"$E2E_DIR/tmp/wine.raw" 2>"$E2E_DIR/tmp/wine.err"
ok "fs-check.exe: exit code 0" eq "$?" 0
tr -d '\r' <"$E2E_DIR/tmp/wine.raw" >"$E2E_DIR/tmp/wine.txt"
wine 'C:\tools\fs-check.exe' --gaps 2>/dev/null | tr -d '\r' >"$E2E_DIR/tmp/gaps.txt"
ok "the target's file is still there" eq "$(cat "$root/target/precious.txt")" precious
ok "the listing ran to its end" grep -qx 'list end: error=18' "$E2E_DIR/tmp/wine.txt"

declare -A gap_windows gap_wine
while IFS=$'\t' read -r step windows wine; do
  gap_windows[$step]=$windows
  gap_wine[$step]=$wine
done <"$E2E_DIR/tmp/gaps.txt"
ok "the known Wine gaps are listed" test "${#gap_windows[@]}" -gt 0

# result LINE: what a "step: result" line says of its step.
step_of() { echo "${1%%: *}"; }
result_of() { echo "${1#*: }"; }

# A known gap's step: Wine gives exactly its Wine column (a todo while that
# differs from what Windows gives).
check_wine_gap() {
  local step=$1 wine=$2
  if [ "$wine" = "${gap_windows[$step]}" ]; then
    todo_wine "$step: ${gap_windows[$step]}" eq "$wine" "${gap_windows[$step]}"
  else
    ok "$step: the known Wine gap, ${gap_wine[$step]}" eq "$wine" "${gap_wine[$step]}"
    todo_wine "$step: ${gap_windows[$step]}" eq "$wine" "${gap_windows[$step]}"
  fi
}

if [ -n "${CM_FS_CHECK_SIM:-}" ]; then
  "$CM_FS_CHECK_SIM" >"$E2E_DIR/tmp/sim.txt"
  ok "the simulator's check: exit code 0" eq "$?" 0
  mapfile -t wine_lines <"$E2E_DIR/tmp/wine.txt"
  mapfile -t sim_lines <"$E2E_DIR/tmp/sim.txt"
  ok "as many lines from the simulator as from Wine" eq "${#sim_lines[@]}" "${#wine_lines[@]}"
  for i in "${!sim_lines[@]}"; do
    sim=${sim_lines[$i]} wine=${wine_lines[$i]:-}
    step=$(step_of "$sim")
    if [ -n "${gap_windows[$step]+set}" ] && [ "$(step_of "$wine")" = "$step" ]; then
      ok "$step: the simulator gives what Windows gives" eq "$(result_of "$sim")" "${gap_windows[$step]}"
      check_wine_gap "$step" "$(result_of "$wine")"
    else
      ok "line $((i + 1)): the simulator and Wine agree" eq "$sim" "$wine"
    fi
  done
else
  # Until the simulator implements these calls the check is not linked with
  # it (see CMakeLists.txt); Wine's own side is still held to the known gaps.
  echo "test_fs_check.sh: CM_FS_CHECK_SIM is not set: Wine's output checked against the known gaps only" >&2
  while IFS= read -r line; do
    step=$(step_of "$line")
    [ -n "${gap_windows[$step]+set}" ] && check_wine_gap "$step" "$(result_of "$line")"
  done <"$E2E_DIR/tmp/wine.txt"
fi

e2e_done
