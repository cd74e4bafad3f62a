#!/usr/bin/env bash
# Times the process look-ups of "--stop" and "--force-stop" under Wine, among
# 200 extra hidden top-level windows of a process that is not the client's,
# against what they need at least (bench/process_probe.cpp):
#   one "--stop -timeout 0" attempt (no client runs: one attempt, no pause)
#     against one window pass that reads each window owner's name once;
#   one "--force-stop" (no client runs: one sweep, no pause) against one
#     process snapshot.
# Every figure is a median of ROUNDS runs; the start-up of a bare program is
# subtracted from both sides of each ratio (target: at most 1.3). The tool's
# own start-up (a recognised command that does nothing) is printed too, and
# the ratios with it subtracted from the tool's side instead.
#
#   bash bench/process_bench.sh [ROUNDS]     (default 15)
#
# Needs the windows preset built. CM_EXE=other.exe measures another build.
set -euo pipefail
ROUNDS=${1:-15}
export CM_E2E_WORK=${CM_E2E_WORK:-$(cd "$(dirname "$0")/.." && pwd)/build/bench}
source "$(dirname "$0")/../tests/e2e/lib.sh"
set +u
e2e_machine_new
cp "$CM_REPO/build/windows/process-probe.exe" "$DRIVE_C/tools/"
wineserver -p  # one server for every run
wine 'C:\tools\process-probe.exe' own 200 36000 >/dev/null 2>&1 &
sleep 3

now() { date +%s.%N; }
declare -A times
timed() {  # timed LABEL COMMAND...: one run, its wall time appended to LABEL's
  local start
  start=$(now)
  "${@:2}" >/dev/null 2>&1
  times[$1]+="$(echo "$(now) - $start" | bc) "
}
median() {  # median "V1 V2 ...": the middle one of the sorted values
  local sorted
  mapfile -t sorted < <(printf '%s\n' $1 | sort -n)
  echo "${sorted[$((${#sorted[@]} / 2))]}"
}
for round in $(seq 1 "$ROUNDS"); do
  timed bare wine 'C:\tools\process-probe.exe' bare
  timed noop wine 'C:\tools\client-maintenance.exe' --admin-remove-syncroots
  timed stop wine 'C:\tools\client-maintenance.exe' --stop -timeout 0
  timed windows wine 'C:\tools\process-probe.exe' windows
  timed force wine 'C:\tools\client-maintenance.exe' --force-stop
  timed snapshot wine 'C:\tools\process-probe.exe' snapshot
done
for label in bare noop stop windows force snapshot; do declare "m_$label=$(median "${times[$label]}")"; done
ratio() { echo "($1 - $3) / ($2 - $4)" | bc -l; }
printf 'medians of %d runs, 200 extra hidden windows:\n' "$ROUNDS"
printf '  bare program %.3f s, the tool doing nothing %.3f s\n' "$m_bare" "$m_noop"
printf '  --stop -timeout 0 %.3f s, one window pass reading each owner once %.3f s\n' "$m_stop" "$m_windows"
printf '  --force-stop %.3f s, one process snapshot %.3f s\n' "$m_force" "$m_snapshot"
printf '  --stop attempt / window pass:  %.2f with the bare start-up taken off both, %.2f with the tool'"'"'s own\n' \
  "$(ratio "$m_stop" "$m_windows" "$m_bare" "$m_bare")" "$(ratio "$m_stop" "$m_windows" "$m_noop" "$m_bare")"
printf '  --force-stop / snapshot:       %.2f with the bare start-up taken off both, %.2f with the tool'"'"'s own\n' \
  "$(ratio "$m_force" "$m_snapshot" "$m_bare" "$m_bare")" "$(ratio "$m_force" "$m_snapshot" "$m_noop" "$m_bare")"
echo "  (target: at most 1.3)"
