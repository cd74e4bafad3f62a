#!/usr/bin/env bash
# "--admin-remove-shortcuts" and "--portable-remove-shortcuts" on a machine
# with several profiles in the registry's profile list: an expandable path, a
# plain one, the system account, and entries whose directory cannot be read.
# Every shortcut name the client has used is placed in every profile, in the
# all-users folders and at the root of the current drive, beside files that
# are not the client's; the whole tree and the exact output are checked.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

list_key='SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
reg_add "HKLM\\$list_key\\S-1-5-21-0-0-0-1001" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\bob'
reg_add "HKLM\\$list_key\\S-1-5-21-0-0-0-1002" ProfileImagePath REG_SZ 'C:\users\carol'
reg_add "HKLM\\$list_key\\S-1-5-18" ProfileImagePath REG_EXPAND_SZ '%systemroot%\system32\config\systemprofile'
reg_add "HKLM\\$list_key\\S-1-5-21-0-0-0-1003" Flags REG_DWORD 0     # no ProfileImagePath
reg_add "HKLM\\$list_key\\S-1-5-21-0-0-0-1004" ProfileImagePath REG_SZ ''  # an empty one

# The layout below every profile, as Wine resolves the user's folders.
programs='AppData/Roaming/Microsoft/Windows/Start Menu/Programs'
desktop='Desktop'
common_programs='ProgramData/Microsoft/Windows/Start Menu/Programs'
common_desktop='users/Public/Desktop'
legacy_start_menu=("Vantorel/Vantorel Zarek Tolv Drive.lnk" "Vantorel/Zarek Tolv.lnk" "Vantorel/Vantorel Zarek Tolv.lnk"
  "Vantorel/Uninstall Vantorel Zarek Tolv.lnk" "Vantorel/Uninstall Vantorel Zarek Tolv Drive.lnk")
current_start_menu=("Vantorel/Vantorel Drive.lnk" "Vantorel/Uninstall Vantorel Drive.lnk")
legacy_desktop=("Zarek Tolv.lnk" "Vantorel Zarek Tolv.lnk" "Vantorel Zarek Tolv Drive.lnk")
current_desktop=("Vantorel Drive.lnk")

me="users/$WINE_USER"
system_profile="windows/system32/config/systemprofile"
# Where the relative folders alone would point from the current directory C:\.
drive_root="."

# put FOLDER NAMES...: shortcut files (any content) below drive C.
put() {
  local folder=$1 name
  shift
  for name in "$@"; do
    mkdir -p "$(dirname "$DRIVE_C/$folder/$name")"
    echo lnk >"$DRIVE_C/$folder/$name"
  done
}
# paths FOLDER NAMES...: the drive-C-relative paths of the names.
paths() {
  local folder=$1 name
  shift
  for name in "$@"; do echo "$folder/$name"; done
}
put_every_shortcut() {  # put_every_shortcut PROFILE
  put "$1/$programs" "${legacy_start_menu[@]}" "${current_start_menu[@]}"
  put "$1/$desktop" "${legacy_desktop[@]}" "${current_desktop[@]}"
}
every_shortcut() {  # every_shortcut PROFILE: their paths, the program group folder last
  paths "$1/$programs" "${legacy_start_menu[@]}" "${current_start_menu[@]}"
  paths "$1/$desktop" "${legacy_desktop[@]}" "${current_desktop[@]}"
}

set_up() {
  local profile
  for profile in "$me" users/bob users/carol "$system_profile" "$drive_root"; do put_every_shortcut "$profile"; done
  put "$me/$programs" "Other App.lnk"
  put "$me/$desktop" "notes.txt" "Vantorel Drive (2).lnk"
  put "$me/$programs/StartUp" "Vantorel Drive.lnk"
  put "users/bob/$programs" "Vantorel/readme.txt"
  put "$common_programs" "${legacy_start_menu[@]}" "${current_start_menu[@]}"
  put "$common_desktop" "${legacy_desktop[@]}" "${current_desktop[@]}" "readme.txt"
}

# The whole of drive C, Wine's own files and temporary files excepted (but
# with the system account's profile), one line per entry.
snapshot() {
  (cd "$DRIVE_C" && find . "$system_profile" \( -path ./windows -o -path '*/Temp' \) -prune -o -printf '%p|%y\n' |
    sed 's|^\./||' | sort -u)
}
# tree_is EXPECTED: the snapshot is EXPECTED; prints the difference otherwise.
tree_is() { diff <(printf '%s\n' "$1") <(snapshot) >&2; }
# without SNAPSHOT PATHS...: the snapshot with those entries removed.
without() {
  local snapshot=$1
  shift
  awk -F'|' 'NR == FNR { gone[$0] = 1; next } !($1 in gone)' <(printf '%s\n' "$@") <(printf '%s\n' "$snapshot")
}

# Lines as the tool writes them: wide text through the C runtime's text mode.
expect_output() { printf '%s\r\n' "$@" >"$E2E_DIR/tmp/expected"; }
output_is_expected() { cmp "$E2E_DIR/tmp/stdout" "$E2E_DIR/tmp/expected" || { od -c "$E2E_DIR/tmp/stdout" | head -20 >&2; false; }; }

cd "$DRIVE_C"  # the current drive is C:, so a path relative to its root would name C:\AppData and C:\Desktop

# ---- "--admin-remove-shortcuts" ----
set_up
before=$(snapshot)
run_tool --admin-remove-shortcuts
ok "admin: exit code 0" eq "$E2E_RC" 0
expect_output \
  "Failed to get value for sub key '$list_key\\S-1-5-21-0-0-0-1003', res: 2" \
  'C:\users\Public\Desktop\Zarek Tolv.lnk' \
  'C:\users\Public\Desktop\Vantorel Zarek Tolv.lnk' \
  'C:\users\Public\Desktop\Vantorel Zarek Tolv Drive.lnk'
ok "admin: the unreadable profile's line, then the three all-users desktop paths" output_is_expected
mapfile -t gone < <(
  for profile in "$me" users/bob users/carol "$system_profile"; do every_shortcut "$profile"; done
  echo "$me/$programs/Vantorel"
  echo "users/carol/$programs/Vantorel"
  echo "$system_profile/$programs/Vantorel"
  paths "$common_programs" "${legacy_start_menu[@]}"
  paths "$common_desktop" "${legacy_desktop[@]}"
)
ok "admin: every profile loses every name, the all-users folders the legacy ones; nothing else changes" \
  tree_is "$(without "$before" "${gone[@]}")"
ok "admin: a program group folder that holds another file stays" exists "$DRIVE_C/users/bob/$programs/Vantorel/readme.txt"
ok "admin: nothing at the root of the current drive" exists "$DRIVE_C/$programs/Vantorel/Vantorel Drive.lnk"

run_tool --admin-remove-shortcuts
ok "admin, again: same lines with nothing left to delete" output_is_expected
ok "admin, again: no change" tree_is "$(without "$before" "${gone[@]}")"

# ---- "--portable-remove-shortcuts" ----
# todo_wine: here the tool runs as the user at the desktop, so it works with
# its own rights. Run elevated or as SYSTEM it works as her, with her shell's
# token on its thread; Wine has one account and checks no file's rights, so
# that only what she may delete goes is proven in the simulated machine.
set_up
before=$(snapshot)
run_tool --portable-remove-shortcuts
ok "portable: exit code 0" eq "$E2E_RC" 0
ok "portable: prints nothing" eq "$E2E_OUT" ""
mapfile -t gone < <(every_shortcut "$me"; echo "$me/$programs/Vantorel")
ok "portable: only the user at the desktop loses shortcuts" tree_is "$(without "$before" "${gone[@]}")"

# ---- a folder symbolic link in the way ----
# Each folder on the way to the shortcuts, in turn, is a unix symbolic link
# (listed by Wine as a reparse point, 0x410) to a folder outside the profile
# that holds what the profile held there, every shortcut name included. The
# command leaves the link's target as it was and still clears every shortcut
# that is not behind the link.
link_at() {  # link_at PROFILE FOLDER: the folder moves to C:\$target, a link to it takes its place
  mv "$DRIVE_C/$1/$2" "$DRIVE_C/$target"
  ln -s "$DRIVE_C/$target" "$DRIVE_C/$1/$2"
}
unlink_at() { rm -f "$DRIVE_C/$1/$2" && mv "$DRIVE_C/$target" "$DRIVE_C/$1/$2"; }
target_tree() { (cd "$DRIVE_C/$target" && find . -path '*/Temp' -prune -o -printf '%p|%y|%s\n' | sort); }
left() {  # left PROFILE...: the shortcuts still there, those behind $link excepted
  local profile path
  for profile in "$@"; do
    every_shortcut "$profile" | while IFS= read -r path; do
      [ "${path#"$link"/}" = "$path" ] && exists "$DRIVE_C/$path" && echo "$path"
    done
  done
}
check_link() {  # check_link COMMAND PROFILE...: the link is $link
  local command=$1 before
  shift
  before=$(target_tree)
  run_tool "$command"
  ok "$command, $link a link: its target is untouched" eq "$(target_tree)" "$before"
  ok "$command, $link a link: every other shortcut is gone" eq "$(left "$@")" ""
  [ "${link##*/}" != Vantorel ] || todo_wine "$command: the link $link itself is removed" absent "$DRIVE_C/$link"
}
for folder in "$desktop" AppData "$programs" "$programs/Vantorel"; do
  rm -rf "$DRIVE_C/users/bob" "$DRIVE_C/users/carol" "$DRIVE_C/carol-target"
  put_every_shortcut users/bob
  put_every_shortcut users/carol
  target=carol-target link=users/carol/$folder
  link_at users/carol "$folder"
  check_link --admin-remove-shortcuts users/carol users/bob
  # The user's own folders are reached from her profile folder down: a link
  # on the way (AppData) leaves them alone, which the simulated machine shows.
  [ "$folder" = AppData ] && continue
  put_every_shortcut "$me"
  target=my-target link=$me/$folder
  link_at "$me" "$folder"
  check_link --portable-remove-shortcuts "$me"
  unlink_at "$me" "$folder"
done
rm -rf "$DRIVE_C/users/bob" "$DRIVE_C/users/carol" "$DRIVE_C/carol-target"

# ---- a desktop redirected outside the profile ----
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Desktop /t REG_EXPAND_SZ /d 'C:\Redirected\Desktop' /f >/dev/null 2>&1
set_up
put Redirected/Desktop "${legacy_desktop[@]}" "${current_desktop[@]}"
before=$(snapshot)
run_tool --admin-remove-shortcuts
expect_output 'C:\users\Public\Desktop\Zarek Tolv.lnk' 'C:\users\Public\Desktop\Vantorel Zarek Tolv.lnk' \
  'C:\users\Public\Desktop\Vantorel Zarek Tolv Drive.lnk'
ok "redirected, admin: no profile read, the all-users lines only" output_is_expected
mapfile -t gone < <(paths "$common_programs" "${legacy_start_menu[@]}"; paths "$common_desktop" "${legacy_desktop[@]}")
ok "redirected, admin: no profile is touched; the all-users folders still are" \
  tree_is "$(without "$before" "${gone[@]}")"
before=$(snapshot)
run_tool --portable-remove-shortcuts
mapfile -t gone < <(
  paths "$me/$programs" "${legacy_start_menu[@]}" "${current_start_menu[@]}"
  echo "$me/$programs/Vantorel"
  paths Redirected/Desktop "${legacy_desktop[@]}" "${current_desktop[@]}"
)
ok "redirected, portable: the redirected desktop is cleared, the profile's own Desktop folder is not" \
  tree_is "$(without "$before" "${gone[@]}")"

# ---- a desktop backed up to OneDrive (Known Folder Move) ----
# Wine has no cloud files: the sync root is a plain folder named like
# OneDrive's, and each profile with that layout is cleared below it.
onedrive='OneDrive - Vantor Corp/Desktop'
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Desktop /t REG_EXPAND_SZ /d "%USERPROFILE%\\${onedrive//\//\\}" /f >/dev/null 2>&1
for profile in "$me" users/bob; do put "$profile/$onedrive" "${legacy_desktop[@]}" "${current_desktop[@]}"; done
before=$(snapshot)
run_tool --admin-remove-shortcuts
mapfile -t gone < <(for profile in "$me" users/bob; do paths "$profile/$onedrive" "${legacy_desktop[@]}" "${current_desktop[@]}"; done
  for profile in "$me" users/bob users/carol "$system_profile"; do
    paths "$profile/$programs" "${legacy_start_menu[@]}" "${current_start_menu[@]}"
    [ "$profile" = users/bob ] || echo "$profile/$programs/Vantorel"  # bob's holds another file
  done)
ok "OneDrive, admin: every profile's OneDrive desktop is cleared, the plain Desktop folders are not" \
  tree_is "$(without "$before" "${gone[@]}")"
put "$me/$onedrive" "${current_desktop[@]}"
run_tool --portable-remove-shortcuts
ok "OneDrive, portable: the user's OneDrive desktop is cleared" absent "$DRIVE_C/$me/$onedrive/${current_desktop[0]}"

# ---- her desktop set to her own start-up folder: a shape no set-up gives ----
# Carried to every profile it would turn each start-up folder into a desktop
# whose "Vantorel Drive.lnk" goes: the layout is refused, in every profile.
startup="$programs/Startup"
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Desktop /t REG_EXPAND_SZ /d "%USERPROFILE%\\${startup//\//\\}" /f >/dev/null 2>&1
for profile in "$me" users/bob; do put "$profile/$startup" "${current_desktop[@]}"; done
run_tool --admin-remove-shortcuts
ok "desktop on Startup, admin: exit code 0" eq "$E2E_RC" 0
ok "desktop on Startup, admin: another profile's start-up shortcut stays" exists "$DRIVE_C/users/bob/$startup/Vantorel Drive.lnk"
ok "desktop on Startup, admin: her own stays too" exists "$DRIVE_C/$me/$startup/Vantorel Drive.lnk"

e2e_done
