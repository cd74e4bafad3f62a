#!/usr/bin/env bash
# The real executable with command lines that select no work: it must end
# with exit code 0, print nothing and change nothing, even with the client's
# shortcuts and folders present that the real commands would remove.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

# What the commands act on, so that a wrongly matched option would show.
startup="$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"
mkdir -p "$startup" "$USER_DIR/Desktop" "$USER_DIR/AppData/Local/VantorelDrive/cache" \
  "$DRIVE_C/Program Files (x86)/Vantorel" "$DRIVE_C/users/Public/Desktop"
echo old >"$startup/ZarekTolv.lnk"
echo cur >"$USER_DIR/Desktop/Vantorel Drive.lnk"
echo leg >"$DRIVE_C/users/Public/Desktop/Zarek Tolv.lnk"
echo data >"$USER_DIR/AppData/Local/VantorelDrive/cache/blob"

before=$(tree_snapshot)

check_no_work() {  # check_no_work DESCRIPTION ARGS...
  local what=$1
  shift
  run_tool "$@"
  ok "$what: exit code 0" eq "$E2E_RC" 0
  ok "$what: prints nothing" eq "$E2E_OUT" ""
  ok "$what: changes nothing" eq "$(tree_snapshot)" "$before"
}

check_no_work "no argument"
check_no_work "empty argument" ""
check_no_work "unknown option" --frobnicate
check_no_work "wrong letter case" --UNINSTALL VantorelDrive
check_no_work "wrong letter case" --Admin-Remove-Shortcuts
check_no_work "trailing blank inside the argument" "--uninstall " VantorelDrive
check_no_work "value joined to the option" --uninstall=VantorelDrive
check_no_work "single dash" -uninstall VantorelDrive
check_no_work "option as second argument" --frobnicate --uninstall VantorelDrive
check_no_work "sync roots, all users" --admin-remove-syncroots
check_no_work "sync roots, current user" --portable-remove-syncroots
check_no_work "sync roots with extra arguments" --admin-remove-syncroots --uninstall VantorelDrive

# Very long and very many arguments.
long=$(printf 'x%.0s' $(seq 1 20000))
check_no_work "a 20000-character argument" "$long"
many=()
for i in $(seq 1 2000); do many+=("arg$i"); done
check_no_work "2000 arguments" --unknown "${many[@]}"

e2e_done
