#!/usr/bin/env bash
# A demonstration on a throwaway Wine machine: installs what is missing,
# builds client-maintenance.exe, makes a fresh Wine machine, sets up what a
# user of the Vantorel Drive client would have (profiles, shortcuts, data,
# a running client), runs the tool's commands the way an installer does, and
# shows what changed. The machine is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

export CM_E2E_WORK=${CM_E2E_WORK:-$PWD/build/demo}
source tests/e2e/lib.sh
set +u

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
# show_tree UNIX_DIR: the files below a folder, as paths relative to drive C.
show_tree() {
  if [ -d "$1" ]; then
    (cd "$DRIVE_C" && find "${1#"$DRIVE_C"/}" -mindepth 1 | sort | sed 's/^/    C:\//; s/\//\\/g')
  else
    echo "    (no folder ${1#"$DRIVE_C"/})"
  fi
}
# demo_run ARGS...: runs the tool, prints its command line, output and exit code.
demo_run() {
  echo "  > client-maintenance.exe $*"
  run_tool "$@"
  [ -n "$E2E_OUT" ] && sed 's/^/    | /; s/\t/  |  /g' <<<"$E2E_OUT"
  echo "    exit code: $E2E_RC"
}

say "Making a throwaway Wine machine"
e2e_machine_new
echo "  WINEPREFIX=$WINEPREFIX"

for part in scripts/demo.d/*.sh; do
  [ -e "$part" ] || continue
  source "$part"
done

say "Done; the throwaway machine is removed"
