# Part of scripts/demo.sh: the example installers (examples/nsis and
# examples/msi) install the pretend client over an old version's start-up
# shortcut and remove it again, calling the tool at each step and logging
# what it printed.
say "Installers: the example NSIS installer and MSI package"
# Wine would mirror every new desktop shortcut as a Linux .desktop file.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
examples/nsis/build.sh "$DRIVE_C/tools/vantorel-drive-1.0.0.exe" >/dev/null
examples/msi/build.sh "$DRIVE_C/tools/vantorel-drive-1.0.0.msi" >/dev/null
demo_startup_dir="$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp"
demo_maker="$DRIVE_C/Program Files (x86)/Vantorel"
demo_plant() {  # an old version's start-up shortcut and the user's data
  mkdir -p "$demo_startup_dir" "$USER_DIR/AppData/Local/VantorelDrive/logs"
  echo old >"$demo_startup_dir/ZarekTolv.lnk"
  echo log >"$USER_DIR/AppData/Local/VantorelDrive/logs/sync.log"
}
demo_show() {
  show_tree "$demo_maker"
  show_tree "$demo_startup_dir" | grep -i -e vantorel -e zarek || true
  show_tree "$USER_DIR/AppData/Local/VantorelDrive"
}
demo_log() { tr -d '\r' | sed 's/^/    | /'; }

demo_plant
echo "  Before: an old start-up shortcut and the user's data"
demo_show
echo "  > vantorel-drive-1.0.0.exe /S"
wine 'C:\tools\vantorel-drive-1.0.0.exe' /S
iconv -f utf-16 -t utf-8 "$USER_DIR/Temp/VantorelDrive-install.log" | demo_log
demo_show
echo "    the start-up shortcut now points at: $(lnkinfo "$demo_startup_dir/Vantorel Drive.lnk" | sed -n 's/^\tLocal path\t*: //p')"
echo "  > \"C:\\Program Files (x86)\\Vantorel\\VantorelDrive\\uninstall.exe\" /S"
wine 'C:\Program Files (x86)\Vantorel\VantorelDrive\uninstall.exe' /S
# The uninstaller runs on as a copy of itself: wait for its log's last line.
for _ in $(seq 1 150); do
  iconv -f utf-16 -t utf-8 "$USER_DIR/Temp/VantorelDrive-uninstall.log" 2>/dev/null | grep -q '^Uninstallation finished' && break
  sleep 0.2
done
iconv -f utf-16 -t utf-8 "$USER_DIR/Temp/VantorelDrive-uninstall.log" | demo_log
demo_show

demo_plant
echo "  The same with the MSI: > msiexec /i vantorel-drive-1.0.0.msi /qn /l*v msi.log"
wine msiexec /i 'C:\tools\vantorel-drive-1.0.0.msi' /qn /l*v 'C:\tools\msi-install.log'
grep -a -E '^(Running )?client-maintenance\.exe' "$DRIVE_C/tools/msi-install.log" | demo_log
demo_show
echo "  > msiexec /x vantorel-drive-1.0.0.msi /qn /l*v msi.log"
wine msiexec /x 'C:\tools\vantorel-drive-1.0.0.msi' /qn /l*v 'C:\tools\msi-uninstall.log'
grep -a -E '^(Running )?client-maintenance\.exe' "$DRIVE_C/tools/msi-uninstall.log" | demo_log
demo_show
