#!/usr/bin/env bash
# The example NSIS installer (examples/nsis), built with makensis from this
# build and run silently under Wine, as a deployment tool would run it:
# install over an old version's leftovers while its client runs, upgrade
# while the client runs, uninstall. It calls client-maintenance.exe at each
# step and logs what the tool printed; the machine is checked after each.
source "$(dirname "$0")/lib.sh"
e2e_machine_new
source "$(dirname "$0")/installer_lib.sh"

"$CM_REPO/examples/nsis/build.sh" "$INSTALLERS/vantorel-drive-1.0.0.exe" 1.0.0 >/dev/null
"$CM_REPO/examples/nsis/build.sh" "$INSTALLERS/vantorel-drive-1.1.0.exe" 1.1.0 >/dev/null
cp "$INSTALLERS"/*.exe "$DRIVE_C/tools/"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorelDrive'

installers_machine_setup

# read_log LOG: the installer's log but the tool's decision log ("-verbose",
# which every step passes, left out of the lines); decisions LOG: the
# decision log's lines.
read_log() { iconv -f utf-16 -t utf-8 "$UNIX_TEMP/$1" | tr -d '\r' | grep -Ev "$DECISION" | sed 's/ -verbose//'; }
decisions() { iconv -f utf-16 -t utf-8 "$UNIX_TEMP/$1" | tr -d '\r' | grep -E "$DECISION" | sed 's/^client-maintenance\.exe: //'; }
registered_version() { wine reg query "$UNINSTALL_KEY" /v DisplayVersion 2>/dev/null | sed -n 's/.*REG_SZ *//p' | tr -d '\r'; }

# ---------------- install while an old client runs ----------------
start_client 'C:\Program Files (x86)\Zarek Tolv\zarek.exe'
old_client=$CLIENT_PID
wine 'C:\tools\vantorel-drive-1.0.0.exe' /S
ok "install: exit code 0" eq "$?" 0
ok "install: the old client was ended with exit code 0" eq "$(exit_status "$old_client")" 0
ok "install: the old client was terminated, not asked to close" bash -c "! grep -q '^closing' '$CLIENT_LOG'"
ok "install: the log lists the tool's runs" eq "$(read_log VantorelDrive-install.log)" \
"Installing Vantorel Drive 1.0.0 in C:\\Program Files (x86)\\Vantorel\\VantorelDrive
client-maintenance.exe --force-stop: exit code 0
client-maintenance.exe --admin-upgrade-startup-shortcut: exit code 0
Installation finished"
ok "install: the log holds each run's decision log, to its last line" \
  eq "$(decisions VantorelDrive-install.log | grep -cE $'^done\t--(force-stop|admin-upgrade-startup-shortcut)\t')" 2
check_files_installed
check_startup_upgraded
check_points_at_launcher "$ALL_PROGRAMS/Vantorel/Vantorel Drive.lnk"
check_points_at_launcher "$PUBLIC_DESKTOP/Vantorel Drive.lnk"
ok "install: uninstaller in place" exists "$INSTALL_DIR/uninstall.exe"
ok "install: registered" eq "$(registered_version)" 1.0.0
check_nothing_else_changed '^\./ProgramData/Microsoft/Windows/Start Menu/Programs/Vantorel[/|]' \
  '^\./users/Public/Desktop/Vantorel Drive\.lnk\|'

# ---------------- upgrade while the client runs ----------------
# The user signs in: the new start-up shortcut starts the client. alice's
# shortcut is replaced by a stale one, as from a version whose launcher lay
# elsewhere.
start_at_logon "$WINE_USER"
ok "upgrade: the client runs" eq "$(client_processes)" "zarek-drive-ui.exe "
echo stale >"$(startup_dir alice)/Vantorel Drive.lnk"
wine 'C:\tools\vantorel-drive-1.1.0.exe' /S
ok "upgrade: exit code 0" eq "$?" 0
ok "upgrade: the client was ended" eq "$(client_processes)" ""
check_files_installed
check_startup_upgraded
check_data_kept
ok "upgrade: registered as the new version" eq "$(registered_version)" 1.1.0

# ---------------- uninstall while the client runs ----------------
start_at_logon alice
# What a deployment tool runs: the registered quiet uninstall command. The
# uninstaller starts a copy of itself in the temporary folder and returns at
# once; its log's last line tells when the copy has finished.
quiet=$(wine reg query "$UNINSTALL_KEY" /v QuietUninstallString | sed -n 's/.*REG_SZ *//p' | tr -d '\r')
ok "uninstall: quiet uninstall command registered" eq "$quiet" \
  '"C:\Program Files (x86)\Vantorel\VantorelDrive\uninstall.exe" /S'
wine 'C:\Program Files (x86)\Vantorel\VantorelDrive\uninstall.exe' /S
for i in $(seq 1 300); do
  read_log VantorelDrive-uninstall.log 2>/dev/null | grep -q '^Uninstallation finished' && break
  sleep 0.2
done
ok "uninstall: the log lists the tool's runs and what it printed" eq "$(read_log VantorelDrive-uninstall.log)" \
"Uninstalling Vantorel Drive from C:\\Program Files (x86)\\Vantorel\\VantorelDrive
client-maintenance.exe --stop: exit code 0
client-maintenance.exe --force-stop: exit code 0
client-maintenance.exe: C:\\users\\Public\\Desktop\\Zarek Tolv.lnk
client-maintenance.exe: C:\\users\\Public\\Desktop\\Vantorel Zarek Tolv.lnk
client-maintenance.exe: C:\\users\\Public\\Desktop\\Vantorel Zarek Tolv Drive.lnk
client-maintenance.exe --admin-remove-shortcuts: exit code 0
client-maintenance.exe --uninstall VantorelDrive: exit code 0
client-maintenance.exe --remove-all-users-empty-folders: exit code 0
Uninstallation finished"
ok "uninstall: the decision log names the data folder's removal with its counts" \
  grep -qE $'^removed\t.*\\\\AppData\\\\Local\\\\VantorelDrive\t[0-9]+ files?, [0-9]+ folders?$' \
  <<<"$(decisions VantorelDrive-uninstall.log)"
ok "uninstall: unregistered" eq "$(registered_version)" ""
check_uninstalled

e2e_done
