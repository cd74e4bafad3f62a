#!/usr/bin/env bash
# Runs with nobody watching: no DLL planted beside the tool is ever loaded,
# no dialog waits for an answer, and the exit code stays 0.
#
# What Wine 8.0 does (checked on throwaway machines):
# - By default it prefers its own builtin DLLs, so a DLL planted beside any
#   program is never loaded. With the load order "native, then builtin"
#   (WINEDLLOVERRIDES=...=n,b) it looks beside the program first, as Windows
#   does for every DLL that is not a KnownDLL: a program that imports
#   userenv.dll statically (as this tool once did) then loads the planted one.
# - ShellExecuteExW that fails without SEE_MASK_FLAG_NO_UI calls MessageBoxW
#   ("File not found."), and with the null graphics driver of these machines
#   that box never closes: the program hangs. The restart starts the shell
#   with CreateProcessWithTokenW or CreateProcessAsUserW, which show no box.
#   (SaferCreateLevel and SaferComputeTokenFromLevel are stubs that hand out
#   a made-up handle, so the tool's own token at user level is not usable.)
# - Its C runtime's abort() in a GUI program ends it with exit code 3 and,
#   unlike Windows, shows no "Runtime Error" box.
# - Every process runs in one session that is not 0: what the tool does as
#   SYSTEM in session 0 is shown in the unit tests only.
source "$(dirname "$0")/lib.sh"
e2e_machine_new
TOOLS=$DRIVE_C/tools
cp "$CM_PROGRAMS/static-import-probe.exe" "$CM_PROGRAMS/unattended-probe.exe" "$CM_PROGRAMS/hidden-window.exe" "$TOOLS/"
planted="userenv profapi wtsapi32"
for dll in $planted; do cp "$CM_PROGRAMS/planted-dll.dll" "$TOOLS/$dll.dll"; done
export WINEDLLOVERRIDES="userenv,profapi,wtsapi32=n,b"
markers() { (cd "$TOOLS" && ls -- *.loaded 2>/dev/null | tr '\n' ' '); }

wine 'C:\tools\static-import-probe.exe' >/dev/null 2>&1
ok "a program importing userenv.dll loads the one planted beside it" test -n "$(markers)"
rm -f "$TOOLS"/*.loaded

wine 'C:\tools\hidden-window.exe' 300 >/dev/null 2>&1 &
for command in "--stop -timeout 0" --force-stop "--uninstall VantorelDrive" --admin-remove-shortcuts \
  --portable-remove-shortcuts --admin-upgrade-startup-shortcut --remove-all-users-empty-folders \
  --admin-remove-syncroots --portable-remove-syncroots "" --restart-explorer; do
  # shellcheck disable=SC2086
  WINEDEBUG=+loaddll run_tool $command
  ok "[$command] exit code 0" eq "$E2E_RC" 0
  ok "[$command] loads no planted DLL" eq "$(markers)" ""
done
# The restart starts the shell as the user, which needs userenv.dll: it came
# from the system folder.
loaded=$(grep -i 'Loaded L".*userenv.dll"' "$E2E_DIR/tmp/stderr")
ok "the restart loads userenv.dll from the system folder" grep -qi 'windows\\\\system32\\\\userenv.dll' <<<"$loaded"

# Server Core has no explorer.exe: the restart, which settles how it will
# start the shell before it ends anything, ends nothing and starts nothing,
# and shows no box.
rm -f "$DRIVE_C/windows/explorer.exe"
started=$(date +%s)
WINEDEBUG=+relay timeout 60 wine 'C:\tools\client-maintenance.exe' --restart-explorer >/dev/null 2>"$E2E_DIR/tmp/relay"
rc=$?
ok "the restart without explorer.exe ends, exit code 0 (took $(($(date +%s) - started)) s)" eq "$rc" 0
ok "the restart looked for explorer.exe" grep -qi 'CreateFileW(.*explorer.exe' "$E2E_DIR/tmp/relay"
ok "the restart tried no start" bash -c "! grep -q 'CreateProcess.*W(.*explorer.exe' '$E2E_DIR/tmp/relay'"
ok "the restart ended no process" bash -c "! grep -q 'TerminateProcess(' '$E2E_DIR/tmp/relay'"
ok "no message box" bash -c "! grep -q 'user32.MessageBox' '$E2E_DIR/tmp/relay'"

# The endings the tool installs: an exhausted allocation left uncaught and
# abort() end with exit code 0. Without them abort() exits with code 3.
rcs=""
for mode in throw abort unguarded-abort; do
  timeout 30 wine 'C:\tools\unattended-probe.exe' "$mode" >/dev/null 2>&1
  rcs="$rcs $mode=$?"
done
ok "uncaught exception and abort() end with exit code 0" eq "$rcs" " throw=0 abort=0 unguarded-abort=3"

e2e_done
