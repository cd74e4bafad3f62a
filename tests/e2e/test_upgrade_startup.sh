#!/usr/bin/env bash
# "--admin-upgrade-startup-shortcut" on a machine with several profiles: every
# start-up folder holding an old or current start-up shortcut ends with one
# "Vantorel Drive.lnk" to the launcher, written by the shell link object and
# read back with lnkinfo; folders without one gain none.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

list='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
relative='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp'
launcher='C:\Program Files (x86)\Vantorel\VantorelDrive\bin\launcher.exe'

add_profile() {  # add_profile SID NAME: a profile under C:\users with its folder
  reg_add "$list\\$1" ProfileImagePath REG_EXPAND_SZ "%SystemDrive%\\users\\$2"
  mkdir -p "$DRIVE_C/users/$2"
}
startup() { echo "$DRIVE_C/users/$1/$relative"; }
names() { (cd "$1" && ls -A | sort | tr '\n' '|'); }

# The desktop user: the oldest name alone.
mkdir -p "$(startup "$WINE_USER")"
echo old >"$(startup "$WINE_USER")/ZarekTolv.lnk"
echo half >"$(dirname "$(startup "$WINE_USER")")/~Vantorel Drive 77-0.tmp"  # a leftover where it is made: goes
# bob: every name, and a near miss that is not one of them.
add_profile S-1-5-21-7-7-7-1002 bob
mkdir -p "$(startup bob)"
for name in 'ZarekTolv.lnk' 'Vantorel Zarek Tolv.lnk' 'Vantorel Zarek Tolv Drive.lnk' 'Vantorel Drive.lnk' \
  'Vantorel Drive (2).lnk'; do
  echo old >"$(startup bob)/$name"
done
# carol: a start-up folder with other programs only; dave: none at all.
add_profile S-1-5-21-7-7-7-1003 carol
mkdir -p "$(startup carol)"
echo other >"$(startup carol)/Other Program.lnk"
add_profile S-1-5-21-7-7-7-1004 dave
# erin: an old shortcut that cannot be deleted.
add_profile S-1-5-21-7-7-7-1005 erin
mkdir -p "$(startup erin)"
echo old >"$(startup erin)/Vantorel Zarek Tolv.lnk"
chmod a-w "$(startup erin)/Vantorel Zarek Tolv.lnk"
# frank: a read-only current shortcut, which Windows refuses to replace.
add_profile S-1-5-21-7-7-7-1006 frank
mkdir -p "$(startup frank)"
echo old >"$(startup frank)/ZarekTolv.lnk"
echo old >"$(startup frank)/Vantorel Drive.lnk"
chmod a-w "$(startup frank)/Vantorel Drive.lnk"

carol_before=$(names "$(startup carol)")

run_tool --admin-upgrade-startup-shortcut
ok "exit code 0" eq "$E2E_RC" 0
ok "prints nothing" eq "$E2E_OUT" ""

lnk_field() { lnkinfo "$1" 2>/dev/null | sed -n "s/^\t$2\t*: //p"; }
check_shortcut() {  # check_shortcut USER: the new shortcut, read back by an independent reader
  local link
  link="$(startup "$1")/Vantorel Drive.lnk"
  ok "$1: local path" eq "$(lnk_field "$link" 'Local path')" "$launcher"
  ok "$1: description" eq "$(lnk_field "$link" 'Description')" "Vantorel Drive"
  # Not hidden: it has its attributes before it is moved into place.
  local attributes
  attributes=$(wine cmd /c attrib "$(win_path "$link")" 2>/dev/null | cut -c1-10)
  ok "$1: attributes '$attributes' without H" eq "${attributes//[^H]/}" ""
}

check_shortcut "$WINE_USER"
ok "desktop user: the current shortcut alone" eq "$(names "$(startup "$WINE_USER")")" "Vantorel Drive.lnk|"
check_shortcut bob
ok "bob: the current shortcut and the near miss" eq "$(names "$(startup bob)")" "Vantorel Drive (2).lnk|Vantorel Drive.lnk|"
ok "bob: the near miss is untouched" eq "$(cat "$(startup bob)/Vantorel Drive (2).lnk")" old
ok "carol: unchanged" eq "$(names "$(startup carol)")" "$carol_before"
ok "dave: no start-up folder made" absent "$DRIVE_C/users/dave/AppData"
check_shortcut erin
ok "erin: the undeletable old one stays beside" eq "$(names "$(startup erin)")" \
  "Vantorel Drive.lnk|Vantorel Zarek Tolv.lnk|"
ok "no temporary file anywhere" eq "$(find "$DRIVE_C/users" -name '*.tmp' | wc -l)" 0
# Windows refuses to move a file over a read-only one, so frank keeps both
# old shortcuts; Wine replaces it.
todo_wine "frank: a read-only current shortcut keeps every old one" \
  eq "$(names "$(startup frank)")" "Vantorel Drive.lnk|ZarekTolv.lnk|"

# A folder symbolic link in the way: each folder on the way to mallory's
# start-up folder, in turn, is a unix symbolic link (listed by Wine as a
# reparse point, 0x410) to a folder outside the profile that holds what the
# profile held there, her old start-up shortcuts included. The command leaves
# the link's target as it was (nothing written there, nothing deleted) and
# still upgrades grace, an ordinary profile.
add_profile S-1-5-21-7-7-7-1007 mallory
add_profile S-1-5-21-7-7-7-1008 grace
target=$DRIVE_C/linked-target
target_tree() { (cd "$target" && find . -printf '%p|%y|%s\n' | sort); }
for folder in AppData "${relative%/StartUp}" "$relative"; do
  rm -rf "$DRIVE_C/users/mallory" "$DRIVE_C/users/grace" "$target"
  for user in mallory grace; do
    mkdir -p "$(startup $user)"
    echo old >"$(startup $user)/ZarekTolv.lnk"
    echo old >"$(startup $user)/Vantorel Zarek Tolv.lnk"
  done
  mv "$DRIVE_C/users/mallory/$folder" "$target"
  ln -s "$target" "$DRIVE_C/users/mallory/$folder"
  before=$(target_tree)
  run_tool --admin-upgrade-startup-shortcut
  ok "mallory's $folder a link: its target is untouched" eq "$(target_tree)" "$before"
  ok "mallory's $folder a link: grace is upgraded all the same" eq "$(names "$(startup grace)")" "Vantorel Drive.lnk|"
done

e2e_done
