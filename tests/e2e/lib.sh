# Shared helpers of the end-to-end tests: a throwaway Wine machine per test
# script, the real client-maintenance.exe run inside it, and Wine-style
# checks that report file and line.
#
# Sourced by each test script. Environment:
#   CM_REPO      repository root (default: two levels above this file)
#   CM_EXE       the product (default: $CM_REPO/build/windows/client-maintenance.exe)
#   CM_PROGRAMS  folder of the test-only Windows programs (default: $CM_REPO/build/windows/tests/e2e/programs)
#   CM_E2E_WORK  where machines are made (default: $CM_REPO/build/e2e)
set -u

CM_REPO=${CM_REPO:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
CM_EXE=${CM_EXE:-$CM_REPO/build/windows/client-maintenance.exe}
CM_PROGRAMS=${CM_PROGRAMS:-$CM_REPO/build/windows/tests/e2e/programs}
CM_E2E_WORK=${CM_E2E_WORK:-$CM_REPO/build/e2e}
# The tool's version, where it is written: project() in CMakeLists.txt.
CM_VERSION=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$CM_REPO/CMakeLists.txt")
export WINEDEBUG=-all

E2E_CHECKS=0
E2E_FAILURES=0
E2E_TODO=0

# The caller's caller as file:line, for failure reports.
e2e_where() {
  local file=${BASH_SOURCE[2]:-$0}
  echo "${file##*/}:${BASH_LINENO[1]}"
}

# ok MESSAGE COMMAND...: runs the command; a non-zero status is a failure,
# reported with the caller's file and line.
ok() {
  local message=$1
  shift
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if ! "$@"; then
    E2E_FAILURES=$((E2E_FAILURES + 1))
    echo "$(e2e_where): Test failed: $message" >&2
  fi
}

# todo_wine MESSAGE COMMAND...: a check that Wine is known not to pass. It is
# run and reported, not skipped: a pass is reported too, so the mark can go.
todo_wine() {
  local message=$1
  shift
  E2E_TODO=$((E2E_TODO + 1))
  if "$@"; then
    echo "$(e2e_where): Test succeeded inside todo_wine block: $message" >&2
  else
    echo "$(e2e_where): Test marked todo (known Wine gap): $message" >&2
  fi
}

# eq A B: true when the two strings are equal; prints both otherwise.
eq() {
  [ "$1" = "$2" ] && return 0
  printf '    expected: %q\n    actual:   %q\n' "$2" "$1" >&2
  return 1
}

# exists PATH / absent PATH (unix paths)
exists() { [ -e "$1" ] || [ -L "$1" ]; }
absent() { ! exists "$1"; }

e2e_done() {
  echo "${0##*/}: $E2E_CHECKS checks, $E2E_FAILURES failures, $E2E_TODO todo" >&2
  [ "$E2E_FAILURES" -eq 0 ]
}

# ---------------- machines ----------------

# The template machine: made once with wineboot, then copied for each test
# script (copying takes about a third of the time of a fresh wineboot).
e2e_template() {
  local template=$CM_E2E_WORK/template
  if [ ! -f "$template/.ready" ]; then
    mkdir -p "$CM_E2E_WORK"
    (
      exec 9>"$CM_E2E_WORK/template.lock"
      flock 9
      [ -f "$template/.ready" ] && exit 0
      rm -rf "$template"
      mkdir -p "$template/home"
      HOME=$template/home WINEPREFIX=$template/prefix wineboot -i >/dev/null 2>&1
      HOME=$template/home WINEPREFIX=$template/prefix wine reg add 'HKCU\Software\Wine\Drivers' \
        /v Graphics /d null /f >/dev/null 2>&1
      HOME=$template/home WINEPREFIX=$template/prefix wineserver -w
      # A new Wine machine links Desktop, Documents and the like to the unix
      # home folder. The tests delete shortcuts there: make them plain folders
      # inside the machine so nothing outside it can ever be touched.
      local link
      for link in "$template"/prefix/drive_c/users/*/*; do
        if [ -L "$link" ]; then
          rm "$link"
          mkdir "$link"
        fi
      done
      touch "$template/.ready"
    ) || { echo "could not make the template Wine machine" >&2; exit 1; }
  fi
  echo "$template"
}

# e2e_machine_new: a fresh machine for this script, in $WINEPREFIX, with its
# own $HOME. It is shut down and removed when the script exits.
e2e_machine_new() {
  local template
  template=$(e2e_template)
  E2E_DIR=$(mktemp -d "$CM_E2E_WORK/machine.XXXXXX")
  cp -a "$template/prefix" "$E2E_DIR/prefix"
  mkdir -p "$E2E_DIR/home" "$E2E_DIR/tmp"
  export WINEPREFIX=$E2E_DIR/prefix HOME=$E2E_DIR/home
  DRIVE_C=$WINEPREFIX/drive_c
  WINE_USER=$(cd "$DRIVE_C/users" && ls | grep -v '^Public$' | head -n 1)
  USER_DIR=$DRIVE_C/users/$WINE_USER
  mkdir -p "$DRIVE_C/tools"
  cp "$CM_EXE" "$DRIVE_C/tools/client-maintenance.exe"
  trap e2e_machine_end EXIT
}

e2e_machine_end() {
  local status=$?
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
  fi
  if [ -n "${E2E_DIR:-}" ] && [ -z "${CM_E2E_KEEP:-}" ]; then rm -rf "$E2E_DIR"; fi
  exit "$status"
}

# run_tool ARGS...: runs C:\tools\client-maintenance.exe in the machine.
# Sets E2E_RC (exit code) and E2E_OUT (its standard output).
run_tool() {
  wine 'C:\tools\client-maintenance.exe' "$@" >"$E2E_DIR/tmp/stdout" 2>"$E2E_DIR/tmp/stderr"
  E2E_RC=$?
  E2E_OUT=$(cat "$E2E_DIR/tmp/stdout")
}

# win_path UNIX_PATH: the Windows path of a file inside the machine.
win_path() { WINEDEBUG=-all winepath -w "$1" 2>/dev/null; }

# tree_snapshot: one line per file and folder of drive C (Wine's own folder
# and temporary files excluded), with type, size and mode, sorted.
tree_snapshot() {
  (cd "$DRIVE_C" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -printf '%p|%y|%s|%m\n' | sort)
}

# reg_add KEY VALUE TYPE DATA: writes a registry value in the machine.
reg_add() { wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1; }
