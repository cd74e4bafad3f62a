# Part of scripts/demo.sh: the client's shortcuts removed from every profile
# and the all-users folders, then from the user at the desktop alone.
say "Shortcuts under old and current names in three profiles and the all-users folders"
demo_list_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
reg_add "$demo_list_key\\S-1-5-21-0-0-0-1001" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\bob'
reg_add "$demo_list_key\\S-1-5-21-0-0-0-1002" ProfileImagePath REG_SZ 'C:\users\carol'
echo "  profile list: $WINE_USER, bob (REG_EXPAND_SZ %SystemDrive%\\users\\bob), carol (REG_SZ C:\\users\\carol)"

demo_programs='AppData/Roaming/Microsoft/Windows/Start Menu/Programs'
demo_common_programs="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs"
demo_common_desktop="$DRIVE_C/users/Public/Desktop"
demo_put() {  # demo_put FOLDER NAMES...
  local folder=$1 name
  shift
  for name in "$@"; do
    mkdir -p "$(dirname "$folder/$name")"
    echo lnk >"$folder/$name"
  done
}
demo_put_shortcuts() {
  demo_put "$USER_DIR/$demo_programs" "Vantorel/Vantorel Drive.lnk" "Vantorel/Uninstall Vantorel Drive.lnk" \
    "Vantorel/Zarek Tolv.lnk" "Other App.lnk"
  demo_put "$USER_DIR/Desktop" "Vantorel Drive.lnk" "Zarek Tolv.lnk" "notes.txt"
  demo_put "$DRIVE_C/users/bob/$demo_programs" "Vantorel/Vantorel Zarek Tolv Drive.lnk" \
    "Vantorel/Uninstall Vantorel Zarek Tolv Drive.lnk"
  demo_put "$DRIVE_C/users/bob/Desktop" "Vantorel Zarek Tolv Drive.lnk"
  demo_put "$DRIVE_C/users/carol/$demo_programs" "Vantorel/Vantorel Drive.lnk" "Vantorel/readme.txt"
  demo_put "$DRIVE_C/users/carol/Desktop" "Vantorel Drive.lnk"
}
# demo_show_folder UNIX_DIR: its content, without Wine's own start-menu folders.
demo_show_folder() {
  local listing
  listing=$(show_tree "$1" | grep -v -e 'Administrative Tools' -e 'StartUp' || true)
  if [ -n "$listing" ]; then echo "$listing"; else echo "    (empty) $(win_path "$1")"; fi
}
demo_show_shortcuts() {
  local profile
  for profile in "$USER_DIR" "$DRIVE_C/users/bob" "$DRIVE_C/users/carol"; do
    demo_show_folder "$profile/$demo_programs"
    demo_show_folder "$profile/Desktop"
  done
  demo_show_folder "$demo_common_programs"
  demo_show_folder "$demo_common_desktop"
}
demo_put_shortcuts
demo_put "$demo_common_programs" "Vantorel/Vantorel Drive.lnk" "Vantorel/Zarek Tolv.lnk"
demo_put "$demo_common_desktop" "Vantorel Drive.lnk" "Zarek Tolv.lnk" "Vantorel Zarek Tolv.lnk"
demo_show_shortcuts

say "--admin-remove-shortcuts: every profile loses every name; the all-users folders lose the old names only"
echo "  (it lists each all-users desktop path before deleting it; carol's program group folder stays for readme.txt)"
demo_run --admin-remove-shortcuts
demo_show_shortcuts

say "--portable-remove-shortcuts: only the user at the desktop ($WINE_USER)"
demo_put_shortcuts
demo_run --portable-remove-shortcuts
demo_show_shortcuts
