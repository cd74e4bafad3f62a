#!/usr/bin/env bash
# The example MSI (examples/msi), built with wixl from this build and run
# quietly under Wine's msiexec, as a deployment tool would run it: install
# over an old version's leftovers while its client runs, a major upgrade to a
# newer version while the client runs, uninstall. Its custom action runs
# client-maintenance.exe at each step and writes what the tool printed to the
# installation log; the machine is checked after each step.
#
# What Wine's msiexec does differently (Wine 8.0), marked as known gaps:
# - it puts a per-machine package's shortcuts (DesktopFolder and
#   ProgramMenuFolder with ALLUSERS=1) in the installing user's folders, not
#   the all-users ones; the checks follow them where Wine puts them;
# - in a major upgrade it removes the older version without setting
#   UPGRADINGPRODUCTCODE, so that version's uninstall clean-up runs and the
#   users' data and start-up shortcuts are lost; the upgrade is therefore
#   also run in two steps as Windows runs it.
# Everything else (deferred custom actions, the log, the major upgrade's
# removal and installation) runs as on Windows.
source "$(dirname "$0")/lib.sh"
e2e_machine_new
source "$(dirname "$0")/installer_lib.sh"

"$CM_REPO/examples/msi/build.sh" "$INSTALLERS/vantorel-drive-1.0.0.msi" 1.0.0 >/dev/null
"$CM_REPO/examples/msi/build.sh" "$INSTALLERS/vantorel-drive-1.1.0.msi" 1.1.0 >/dev/null
"$CM_REPO/examples/msi/build.sh" "$INSTALLERS/vantorel-drive-1.2.0.msi" 1.2.0 >/dev/null
cp "$INSTALLERS"/*.msi "$DRIVE_C/tools/"

installers_machine_setup

# msiexec ARGS... LOG: runs msiexec quietly with a verbose log in the
# temporary folder; MSI_RC its exit code, MSI_LOG the log's lines from or
# about client-maintenance.exe but its decision log ("-verbose", which every
# step passes, left out of the lines), MSI_DECISIONS the decision log's
# lines, as "word<TAB>what<TAB>detail".
msiexec() {
  local log=$1
  shift
  wine msiexec "$@" /qn /l*v "$WIN_TEMP\\$log" >/dev/null 2>&1
  MSI_RC=$?
  MSI_LOG=$(tr -d '\r' <"$UNIX_TEMP/$log" |
    grep -E '^(Running )?client-maintenance\.exe' | grep -Ev "$DECISION" | sed 's/ -verbose//' || true)
  MSI_DECISIONS=$(tr -d '\r' <"$UNIX_TEMP/$log" | grep -E "$DECISION" |
    sed 's/^client-maintenance\.exe: //' || true)
}
# The registered products named Vantorel Drive, as "version|version...".
registered_versions() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {name = ""} /DisplayName +REG_SZ +Vantorel Drive$/ {name = 1}
         /DisplayVersion +REG_SZ/ {version = $3} /^$/ && name {print version; name = ""}' | sort | tr '\n' '|'
}
# Where a per-machine package's shortcuts go: the all-users folders on
# Windows, the installing user's folders under Wine.
check_shortcuts() {
  todo_wine "$1: start-menu shortcut in the all-users program group" exists "$ALL_PROGRAMS/Vantorel/Vantorel Drive.lnk"
  todo_wine "$1: desktop shortcut on the all-users desktop" exists "$PUBLIC_DESKTOP/Vantorel Drive.lnk"
  check_points_at_launcher "$USER_DIR/$PROGRAMS_BELOW/Vantorel/Vantorel Drive.lnk"
  check_points_at_launcher "$USER_DIR/Desktop/Vantorel Drive.lnk"
}

# What an installation or upgrade logs of the tool: its two runs, in order.
INSTALL_RUNS="Running client-maintenance.exe --force-stop
client-maintenance.exe --force-stop: exit code 0
Running client-maintenance.exe --admin-upgrade-startup-shortcut
client-maintenance.exe --admin-upgrade-startup-shortcut: exit code 0"

# ---------------- install while an old client runs ----------------
start_client 'C:\Program Files (x86)\Zarek Tolv\zarek.exe'
old_client=$CLIENT_PID
msiexec msi-install.log /i 'C:\tools\vantorel-drive-1.0.0.msi'
ok "install: exit code 0" eq "$MSI_RC" 0
ok "install: the old client was ended with exit code 0" eq "$(exit_status "$old_client")" 0
ok "install: the old client was terminated, not asked to close" bash -c "! grep -q '^closing' '$CLIENT_LOG'"
ok "install: the log lists the tool's runs" eq "$MSI_LOG" "$INSTALL_RUNS"
ok "install: the log holds each run's decision log, to its last line" \
  eq "$(grep -cE $'^done\t--(force-stop|admin-upgrade-startup-shortcut)\t' <<<"$MSI_DECISIONS")" 2
ok "install: the old client's end is in it" grep -qE $'^ended\tzarek\.exe \(process [0-9]+\)' <<<"$MSI_DECISIONS"
check_files_installed
check_startup_upgraded
check_shortcuts install
ok "install: registered" eq "$(registered_versions)" "1.0.0|"
check_nothing_else_changed "^\\./users/$WINE_USER/($PROGRAMS_BELOW/Vantorel|Desktop)/Vantorel Drive\\.lnk\\|"

# ---------------- upgrade while the client runs ----------------
# A major upgrade first removes the older version, with UPGRADINGPRODUCTCODE
# set in that removal: its uninstall clean-up must then keep every profile's
# shortcuts and data (only the client is stopped). Wine's msiexec does not set
# that property (its RemoveExistingProducts runs the removal with
# "REMOVE=ALL" only), so the two halves of the upgrade are first run here as
# Windows runs them; the real major upgrade under Wine follows below.
#
# The user signs in: the new start-up shortcut starts the client. alice's
# shortcut is replaced by a stale one, as from a version whose launcher lay
# elsewhere.
start_at_logon "$WINE_USER"
ok "upgrade: the client runs" eq "$(client_processes)" "zarek-drive-ui.exe "
echo stale >"$(startup_dir alice)/Vantorel Drive.lnk"
startup_before=$(tree_snapshot | grep -E '/StartUp/')
msiexec msi-upgrade-remove.log /x 'C:\tools\vantorel-drive-1.0.0.msi' \
  UPGRADINGPRODUCTCODE='{0F6C3F0E-5B7A-4C1D-9E2F-8A3B4C5D6E7F}'
ok "upgrade, removal of 1.0.0: exit code 0" eq "$MSI_RC" 0
ok "upgrade, removal of 1.0.0: the client was stopped" eq "$(client_processes)" ""
ok "upgrade, removal of 1.0.0: the log lists the stop only" eq "$MSI_LOG" \
"Running client-maintenance.exe --stop
client-maintenance.exe --stop: exit code 0
Running client-maintenance.exe --force-stop
client-maintenance.exe --force-stop: exit code 0"
ok "upgrade, removal of 1.0.0: start-up shortcuts untouched" same_tree "$(tree_snapshot | grep -E '/StartUp/')" \
  "$startup_before"
check_data_kept
msiexec msi-upgrade-install.log /i 'C:\tools\vantorel-drive-1.1.0.msi'
ok "upgrade, installation of 1.1.0: exit code 0" eq "$MSI_RC" 0
ok "upgrade, installation of 1.1.0: the log lists the tool's runs" eq "$MSI_LOG" "$INSTALL_RUNS"
check_files_installed
check_startup_upgraded
check_data_kept
check_shortcuts upgrade
ok "upgrade: only the new version is registered" eq "$(registered_versions)" "1.1.0|"

# The real major upgrade, 1.1.0 to 1.2.0, under Wine: the older version is
# found and removed, the newer one installed, the client stopped; but the
# removal, without UPGRADINGPRODUCTCODE, runs the whole uninstall clean-up.
start_at_logon "$WINE_USER"
msiexec msi-major-upgrade.log /i 'C:\tools\vantorel-drive-1.2.0.msi'
ok "major upgrade: exit code 0" eq "$MSI_RC" 0
ok "major upgrade: the client was ended" eq "$(client_processes)" ""
ok "major upgrade: only the new version is registered" eq "$(registered_versions)" "1.2.0|"
check_files_installed
todo_wine "major upgrade: the desktop user's data folder is kept" exists "$USER_DIR/$DATA_BELOW"
todo_wine "major upgrade: the desktop user's start-up shortcut is kept" \
  exists "$(startup_dir "$WINE_USER")/Vantorel Drive.lnk"
# Put back what Wine's upgrade took, for the uninstall.
plant_client_traces

# ---------------- uninstall while the client runs ----------------
start_client "$LAUNCHER"
msiexec msi-uninstall.log /x 'C:\tools\vantorel-drive-1.2.0.msi'
ok "uninstall: exit code 0" eq "$MSI_RC" 0
ok "uninstall: the log lists the tool's runs and what it printed" eq "$MSI_LOG" \
"Running client-maintenance.exe --stop
client-maintenance.exe --stop: exit code 0
Running client-maintenance.exe --force-stop
client-maintenance.exe --force-stop: exit code 0
Running client-maintenance.exe --admin-remove-shortcuts
client-maintenance.exe: C:\\users\\Public\\Desktop\\Zarek Tolv.lnk
client-maintenance.exe: C:\\users\\Public\\Desktop\\Vantorel Zarek Tolv.lnk
client-maintenance.exe: C:\\users\\Public\\Desktop\\Vantorel Zarek Tolv Drive.lnk
client-maintenance.exe --admin-remove-shortcuts: exit code 0
Running client-maintenance.exe --uninstall VantorelDrive
client-maintenance.exe --uninstall VantorelDrive: exit code 0
Running client-maintenance.exe --remove-all-users-empty-folders
client-maintenance.exe --remove-all-users-empty-folders: exit code 0"
ok "uninstall: the decision log names the data folder's removal with its counts" \
  grep -qE $'^removed\t.*\\\\AppData\\\\Local\\\\VantorelDrive\t[0-9]+ files?, [0-9]+ folders?$' <<<"$MSI_DECISIONS"
ok "uninstall: unregistered" eq "$(registered_versions)" ""
ok "uninstall: no private copy of the tool left in the temporary folder" \
  eq "$(find "$UNIX_TEMP" -name 'VantorelDrive-maintenance-*' | wc -l)" 0
check_uninstalled

e2e_done
