# Part of scripts/demo.sh: an uninstall across profiles, then the emptied
# machine-wide folders.
say "Uninstall: every profile's start-up shortcuts and data folder"
demo_profile_list='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
reg_add "$demo_profile_list\\S-1-5-21-7-7-7-1001" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\alice'
reg_add "$demo_profile_list\\S-1-5-21-7-7-7-1002" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\bob'
demo_startup='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp'
for demo_p in "$USER_DIR" "$DRIVE_C/users/alice" "$DRIVE_C/users/bob"; do
  mkdir -p "$demo_p/$demo_startup" "$demo_p/AppData/Local/VantorelDrive/logs" \
    "$demo_p/AppData/Local/VantorelDrive/cache/3f/a9" "$demo_p/AppData/Local/Other App"
  echo lnk >"$demo_p/$demo_startup/Vantorel Drive.lnk"
  echo lnk >"$demo_p/$demo_startup/Other App.lnk"
  echo '{}' >"$demo_p/AppData/Local/VantorelDrive/settings.json"
  echo log >"$demo_p/AppData/Local/VantorelDrive/logs/sync.log"
  echo blob >"$demo_p/AppData/Local/VantorelDrive/cache/3f/a9/blob"
  echo keep >"$demo_p/AppData/Local/Other App/keep.txt"
done
echo lnk >"$USER_DIR/$demo_startup/ZarekTolv.lnk"  # an old version's start-up shortcut
echo note >"$DRIVE_C/users/bob/AppData/Local/VantorelDrive/résumé – 2026.txt"  # a name beyond ASCII
chmod 444 "$DRIVE_C/users/alice/AppData/Local/VantorelDrive/settings.json"   # read-only: it stays
# bob planted a link to another folder in his data folder: it is removed as
# a link (here Wine cannot remove it), never followed.
mkdir -p "$DRIVE_C/Shared/Reports" && echo precious >"$DRIVE_C/Shared/Reports/q3.xlsx"
ln -s "$DRIVE_C/Shared" "$DRIVE_C/users/bob/AppData/Local/VantorelDrive/shared-link"
echo "  Before:"
for demo_p in "$USER_DIR" "$DRIVE_C/users/alice" "$DRIVE_C/users/bob"; do
  show_tree "$demo_p/$demo_startup"
  show_tree "$demo_p/AppData/Local"
done | grep -v -F -e 'AppData\Local\Microsoft' -e 'LocalLow'
show_tree "$DRIVE_C/Shared"

echo "  A name that would reach outside the data folder: only the start-up shortcuts go"
demo_run --uninstall '..\..'
show_tree "$DRIVE_C/users/alice/AppData/Local"
echo "  The real thing, with its decision log (-verbose; UTF-8, a tab between fields):"
demo_run --uninstall VantorelDrive -verbose
echo "  After:"
for demo_p in "$USER_DIR" "$DRIVE_C/users/alice" "$DRIVE_C/users/bob"; do
  show_tree "$demo_p/$demo_startup"
  show_tree "$demo_p/AppData/Local"
done | grep -v -F -e 'AppData\Local\Microsoft' -e 'LocalLow'
echo "  (bob's link and its folder stay only because Wine cannot remove a link; Windows removes both.)"
echo "  The folder bob's link points at is untouched:"
show_tree "$DRIVE_C/Shared"

say "Empty machine-wide folders"
demo_group="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantorel"
demo_maker="$DRIVE_C/Program Files (x86)/Vantorel"
mkdir -p "$demo_group" "$demo_maker/VantorelDrive/bin"
echo lnk >"$demo_group/Vantorel Drive.lnk"
echo exe >"$demo_maker/VantorelDrive/bin/launcher.exe"
echo "  While the client is installed, both folders hold something and stay:"
demo_run --remove-all-users-empty-folders
show_tree "$demo_group"
show_tree "$demo_maker"
echo "  The uninstaller has removed its files and its all-users shortcut, leaving the folders empty:"
find "$demo_group" "$demo_maker" -mindepth 1 -delete
demo_run --remove-all-users-empty-folders
show_tree "$demo_group"
show_tree "$demo_maker"
