#!/usr/bin/env bash
# "--uninstall NAME" on a Wine machine with three profiles: the start-up
# shortcuts and the data tree go in every profile, a read-only file stays
# with its folders, names that could reach outside the data folder delete
# nothing, and links planted in the data folder are never followed.
#
# What Wine shows of links (Wine 8.0, checked with a small probe program):
# - a unix symbolic link to a folder, inside or outside drive_c, absolute or
#   relative, is reported as FILE_ATTRIBUTE_DIRECTORY | REPARSE_POINT (0x410)
#   by FindFirstFileW and GetFileAttributesW, with reparse tag 0; Wine cannot
#   remove it (RemoveDirectoryW fails with 145, DeleteFileW with 5);
# - a unix symbolic link to a file is reported as a plain file (0x20), and
#   DeleteFileW on it deletes the file it points at, not the link;
# - Wine cannot make junctions (mklink /j, FSCTL_SET_REPARSE_POINT fail) and
#   CreateSymbolicLinkW reports success without making anything.
# So here the folder links prove that the tool does not enumerate through a
# reparse point; that the link itself is removed is proven in the simulated
# machine, and the file link is a known Wine gap.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

# same_tree ACTUAL EXPECTED: two tree snapshots are equal; prints the difference otherwise.
same_tree() {
  [ "$1" = "$2" ] && return 0
  diff <(echo "$2") <(echo "$1") | sed 's/^/    /' >&2
  return 1
}

profile_list='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
reg_add "$profile_list\\S-1-5-21-7-7-7-1001" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\alice'
reg_add "$profile_list\\S-1-5-21-7-7-7-1002" ProfileImagePath REG_SZ 'C:\users\bob'
profiles=("$USER_DIR" "$DRIVE_C/users/alice" "$DRIVE_C/users/bob")
startup_below='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp'  # Wine's spelling
startup_names=("ZarekTolv.lnk" "Vantorel Zarek Tolv.lnk" "Vantorel Zarek Tolv Drive.lnk" "Vantorel Drive.lnk")
for p in "${profiles[@]}"; do mkdir -p "$p/$startup_below" "$p/AppData/Local"; done

# A data tree like the client's, with names that merely begin with dots and
# names that Windows would trim on a plain path.
make_data_tree() {
  local d=$1 i
  mkdir -p "$d/logs/old" "$d/cache/a/b/c/d/e" "$d/.git/objects" "$d/..." "$d/empty"
  for i in 1 2 3; do echo "log $i" >"$d/logs/old/sync.$i.log"; done
  echo blob >"$d/cache/a/b/c/d/e/blob"
  echo settings >"$d/settings.json"
  echo x >"$d/.git/objects/ab"
  echo y >"$d/.../three dots"
  echo z >"$d/trailing dot."
  # A chain well past MAX_PATH (260 characters).
  local deep=$d/deep
  for i in $(seq 1 12); do deep="$deep/a folder name thirty long $i"; done
  mkdir -p "$deep" && echo deep >"$deep/deep file"
}

put_shortcuts() {
  local p n
  for p in "${profiles[@]}"; do
    for n in "${startup_names[@]}"; do echo lnk >"$p/$startup_below/$n"; done
  done
}

# ---------------- a real tree, every profile ----------------
for p in "${profiles[@]}"; do
  make_data_tree "$p/AppData/Local/VantorelDrive"
  echo keep >"$p/AppData/Local/VantorelDrive.txt"
  echo keep >"$p/$startup_below/Other.lnk"
done
mkdir -p "$USER_DIR/AppData/Local/Other"
echo keep >"$USER_DIR/AppData/Local/Other/keep"
put_shortcuts
# A read-only file in bob's tree: it and the folders above it stay.
bob_data=$DRIVE_C/users/bob/AppData/Local/VantorelDrive
echo locked >"$bob_data/cache/a/b/locked.db"
chmod a-w "$bob_data/cache/a/b/locked.db"
untouched=$(tree_snapshot | grep -v -e '/AppData/Local/VantorelDrive[/|]' -e '/StartUp/[^/|]*Zarek' -e '/StartUp/Vantorel Drive')

run_tool --uninstall VantorelDrive
ok "exit code 0" eq "$E2E_RC" 0
ok "prints nothing" eq "$E2E_OUT" ""
for p in "$USER_DIR" "$DRIVE_C/users/alice"; do
  ok "data folder removed in ${p##*/}" absent "$p/AppData/Local/VantorelDrive"
done
ok "bob keeps the read-only file and the folders above it only" eq \
  "$(cd "$bob_data" && find . | sort | tr '\n' ' ')" ". ./cache ./cache/a ./cache/a/b ./cache/a/b/locked.db "
for p in "${profiles[@]}"; do
  ok "start-up folder of ${p##*/} keeps only Other.lnk" eq "$(ls "$p/$startup_below")" "Other.lnk"
done
ok "everything else is as it was" same_tree \
  "$(tree_snapshot | grep -v -e '/users/bob/AppData/Local/VantorelDrive[/|]')" "$untouched"
chmod -R u+w "$bob_data" && rm -rf "$bob_data"

# ---------------- the same with its decision log ----------------
# A read-only file with a name beyond ASCII in bob's tree: the log, UTF-8,
# names it whole with its reason; the other trees are one line each.
for p in "${profiles[@]}"; do make_data_tree "$p/AppData/Local/VantorelDrive"; done
echo locked >"$bob_data/cache/a/b/résumé – 2026.db"
chmod a-w "$bob_data/cache/a/b/résumé – 2026.db"
run_tool --uninstall VantorelDrive -verbose
ok "-verbose: exit code 0" eq "$E2E_RC" 0
ok "-verbose: the first line names the run" grep -qE $'^run\tclient-maintenance [0-9.]+\t.* --uninstall VantorelDrive -verbose\tas S-1-' <<<"$E2E_OUT"
ok "-verbose: the last line is done, with the counts" grep -qE $'^done\t--uninstall\t[0-9]+\\.[0-9]{3} s\t' <<<"$(tail -n 1 <<<"$E2E_OUT")"
ok "-verbose: a removed tree is one line with its counts" grep -qE $'^removed\tC:\\\\users\\\\alice\\\\AppData\\\\Local\\\\VantorelDrive\t[0-9]+ files, [0-9]+ folders$' <<<"$E2E_OUT"
ok "-verbose: the entry left inside is named whole, in UTF-8, with its reason" grep -qF \
  "$(printf 'left\tC:\\users\\bob\\AppData\\Local\\VantorelDrive\\cache\\a\\b\\résumé – 2026.db\taccess denied, or read-only')" <<<"$E2E_OUT"
ok "-verbose: it changes nothing the command does" eq \
  "$(cd "$bob_data" && find . | sort | tr '\n' ' ')" ". ./cache ./cache/a ./cache/a/b ./cache/a/b/résumé – 2026.db "
chmod -R u+w "$bob_data" && rm -rf "$bob_data"

# ---------------- names that could reach outside the data folder ----------------
echo sentinel >"$DRIVE_C/sentinel.txt"
echo sentinel >"$DRIVE_C/users/sentinel.txt"
for p in "${profiles[@]}"; do
  echo sentinel >"$p/AppData/Local/sentinel.txt"
  make_data_tree "$p/AppData/Local/VantorelDrive"
done
mkdir -p "$USER_DIR/AppData/Local/a"
before=$(tree_snapshot)
check_rejected() {
  put_shortcuts
  run_tool --uninstall "$@"
  ok "name '$*': exit code 0" eq "$E2E_RC" 0
  ok "name '$*': only the start-up shortcuts go" same_tree "$(tree_snapshot)" "$before"
}
check_rejected ""
check_rejected "."
check_rejected ".."
check_rejected "..\\.."
check_rejected "a/../.."
check_rejected "..."
check_rejected ". "
check_rejected "VantorelDrive\\..\\.."
check_rejected "\\"
check_rejected "C:\\"
check_rejected "C:"
check_rejected "\\\\?\\C:\\users"
check_rejected "VantorelDrive\\"
check_rejected "Vantorel*"
put_shortcuts
run_tool --uninstall
ok "no name: only the start-up shortcuts go" same_tree "$(tree_snapshot)" "$before"
ok "sentinels survive" exists "$DRIVE_C/sentinel.txt"
for p in "${profiles[@]}"; do rm -rf "$p/AppData/Local/VantorelDrive"; done

# ---------------- links planted in the data folder ----------------
mkdir -p "$DRIVE_C/target/inner" "$DRIVE_C/target2" "$E2E_DIR/outside/deep"
echo precious >"$DRIVE_C/target/inner/precious"
echo precious >"$DRIVE_C/target2/precious"
echo precious >"$DRIVE_C/target/file.txt"
echo precious >"$E2E_DIR/outside/deep/precious"
data=$USER_DIR/AppData/Local/VantorelDrive
make_data_tree "$data"
ln -s "$DRIVE_C/target" "$data/cache/a/to-target"
ln -s ../../../../../target "$data/relative-link"
ln -s "$E2E_DIR/outside" "$data/to-outside"
# alice's data folder is itself a link
ln -s "$DRIVE_C/target2" "$DRIVE_C/users/alice/AppData/Local/VantorelDrive"
targets=$(cd "$DRIVE_C" && find target target2 | sort; find "$E2E_DIR/outside" | sort)

run_tool --uninstall VantorelDrive
ok "exit code 0" eq "$E2E_RC" 0
ok "the link targets keep all their content" eq \
  "$(cd "$DRIVE_C" && find target target2 | sort; find "$E2E_DIR/outside" | sort)" "$targets"
ok "everything but the links and the folders holding them is removed" eq \
  "$(cd "$data" && find . | sort | tr '\n' ' ')" ". ./cache ./cache/a ./cache/a/to-target ./relative-link ./to-outside "
todo_wine "the folder links themselves are removed" absent "$data/cache/a/to-target"
todo_wine "a data folder that is a link is removed as a link" absent "$DRIVE_C/users/alice/AppData/Local/VantorelDrive"
rm -rf "$data"

# A link to a file: Wine shows it as a plain file and deletes what it points at.
make_data_tree "$data"
ln -s "$DRIVE_C/target/file.txt" "$data/file-link"
run_tool --uninstall VantorelDrive
todo_wine "the file a file link points at survives" exists "$DRIVE_C/target/file.txt"

# ---------------- a folder symbolic link in the way ----------------
# Each folder on mallory's way to her start-up shortcuts and to her data
# folder, the data folder and a folder inside it, in turn, is a unix symbolic
# link (listed by Wine as a reparse point, 0x410) to a folder outside the
# profile that holds what the profile held there: start-up shortcuts, the
# data tree. The command leaves the link's target as it was and still cleans
# bob, an ordinary profile.
reg_add "$profile_list\\S-1-5-21-7-7-7-1003" ProfileImagePath REG_SZ 'C:\users\mallory'
target=$DRIVE_C/linked-target
target_tree() { (cd "$target" && find . -printf '%p|%y|%s\n' | sort); }
for folder in AppData "${startup_below%/StartUp}" "$startup_below" AppData/Local AppData/Local/VantorelDrive \
  AppData/Local/VantorelDrive/cache; do
  rm -rf "$DRIVE_C/users/mallory" "$DRIVE_C/users/bob" "$target"
  for p in "$DRIVE_C/users/mallory" "$DRIVE_C/users/bob"; do
    mkdir -p "$p/$startup_below"
    for n in "${startup_names[@]}"; do echo lnk >"$p/$startup_below/$n"; done
    make_data_tree "$p/AppData/Local/VantorelDrive"
  done
  mv "$DRIVE_C/users/mallory/$folder" "$target"
  ln -s "$target" "$DRIVE_C/users/mallory/$folder"
  before=$(target_tree)
  run_tool --uninstall VantorelDrive
  ok "mallory's $folder a link: its target is untouched" eq "$(target_tree)" "$before"
  ok "mallory's $folder a link: bob is cleaned all the same" eq \
    "$(ls -A "$DRIVE_C/users/bob/$startup_below"; ls -A "$DRIVE_C/users/bob/AppData/Local")" ""
  case $folder in
    */VantorelDrive*) todo_wine "the link mallory/$folder itself is removed" absent "$DRIVE_C/users/mallory/$folder" ;;
  esac
done

e2e_done
