#!/usr/bin/env bash
# "--remove-all-users-empty-folders" on a Wine machine: the maker's folder in
# the all-users programs folder and in the 32-bit program-files folder go
# when empty and stay when they hold anything.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

group="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantorel"
maker="$DRIVE_C/Program Files (x86)/Vantorel"
native="$DRIVE_C/Program Files/Vantorel"
user_group="$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vantorel"

mkdir -p "$group" "$maker" "$native" "$user_group"
run_tool --remove-all-users-empty-folders
ok "exit code 0" eq "$E2E_RC" 0
ok "prints nothing" eq "$E2E_OUT" ""
ok "empty all-users program group removed" absent "$group"
ok "empty maker folder in Program Files (x86) removed" absent "$maker"
ok "the native Program Files is not the one used" exists "$native"
ok "a per-user program group is not touched" exists "$user_group"

mkdir -p "$group/empty" "$maker/Vantorel Drive"
before=$(tree_snapshot)
run_tool --remove-all-users-empty-folders
ok "folders holding only empty folders stay, untouched" eq "$(tree_snapshot)" "$before"

rmdir "$group/empty"
echo x >"$maker/Vantorel Drive/launcher.exe"
run_tool --remove-all-users-empty-folders
ok "the group goes although the maker folder stays" absent "$group"
ok "the installation stays" exists "$maker/Vantorel Drive/launcher.exe"

e2e_done
