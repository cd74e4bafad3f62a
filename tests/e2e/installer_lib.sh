# What the installer tests share: a user's machine as it is before the
# Vantorel Drive client is installed (profiles with start-up shortcuts of old
# versions, data folders, old shortcuts, other programs' files, an old client
# running), and the checks after an install, an upgrade and an uninstall,
# whichever installer technology did them.
#
# Sourced by test_installer_nsis.sh and test_installer_msi.sh, after lib.sh
# and e2e_machine_new.

# Wine's winemenubuilder mirrors every shortcut written to a desktop or
# start menu as a Linux .desktop file, some inside the machine: not something
# Windows does, so it is turned off.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d

CM_BUILD=$(dirname "$CM_EXE")
CLIENT_EXE=$CM_BUILD/examples/client/pretend-client.exe
INSTALLERS=$E2E_DIR/installers  # the installers built for this test
mkdir -p "$INSTALLERS"

PROFILE_LIST='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
STARTUP_BELOW='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp'  # Wine's spelling
PROGRAMS_BELOW='AppData/Roaming/Microsoft/Windows/Start Menu/Programs'
DATA_BELOW='AppData/Local/VantorelDrive'
# A line of the tool's decision log ("-verbose", which every step of both
# examples passes) as the installers log it.
DECISION='^client-maintenance\.exe: (run|removed|left|skipped|wrote|asked|ended|started|kept|done)'$'\t'
INSTALL_DIR="$DRIVE_C/Program Files (x86)/Vantorel/VantorelDrive"
LAUNCHER='C:\Program Files (x86)\Vantorel\VantorelDrive\bin\launcher.exe'
ALL_PROGRAMS="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs"
PUBLIC_DESKTOP=$DRIVE_C/users/Public/Desktop
WIN_TEMP="C:\\users\\$WINE_USER\\Temp"  # the installers' temporary folder (left out of tree snapshots)
UNIX_TEMP=$USER_DIR/Temp
CLIENT_LOG=$USER_DIR/$DATA_BELOW/client.log
# The profiles: the desktop user and three more.
PROFILES=("$WINE_USER" alice bob carol)
profile_dir() { echo "$DRIVE_C/users/$1"; }
startup_dir() { echo "$DRIVE_C/users/$1/$STARTUP_BELOW"; }

# Every name the client's shortcuts have had, as a pattern.
CLIENT_LINKS='(ZarekTolv|Zarek Tolv|Vantorel Zarek Tolv|Vantorel Zarek Tolv Drive|Vantorel Drive)\.lnk'

# ---------------- the machine before the installation ----------------

make_data_folder() {  # make_data_folder PROFILE: what the client keeps per user
  local d
  d=$(profile_dir "$1")/$DATA_BELOW
  mkdir -p "$d/logs" "$d/cache/3f/a9"
  echo '{}' >"$d/settings.json"
  echo 'synced 12 files' >"$d/logs/sync.log"
  echo blob >"$d/cache/3f/a9/blob"
}

# The client's traces in the profiles and the all-users folders, as earlier
# versions and the client itself left them.
plant_client_traces() {
  # The desktop user started the client at logon since its "Zarek Tolv"
  # days, and has its old desktop and start-menu shortcuts.
  echo old >"$(startup_dir "$WINE_USER")/ZarekTolv.lnk"
  make_data_folder "$WINE_USER"
  echo old >"$USER_DIR/Desktop/Zarek Tolv.lnk"
  mkdir -p "$USER_DIR/$PROGRAMS_BELOW/Vantorel"
  echo old >"$USER_DIR/$PROGRAMS_BELOW/Vantorel/Vantorel Zarek Tolv.lnk"
  # alice: two start-up shortcuts of two versions, an old desktop shortcut.
  echo old >"$(startup_dir alice)/Vantorel Zarek Tolv Drive.lnk"
  echo old >"$(startup_dir alice)/Vantorel Drive.lnk"
  make_data_folder alice
  echo old >"$DRIVE_C/users/alice/Desktop/Vantorel Zarek Tolv Drive.lnk"
  # bob used the client but does not start it at logon; carol never used it.
  make_data_folder bob
  # An old all-users shortcut.
  echo old >"$PUBLIC_DESKTOP/Zarek Tolv.lnk"
}

installers_machine_setup() {
  local p d
  reg_add "$PROFILE_LIST\\S-1-5-21-7-7-7-1001" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\alice'
  reg_add "$PROFILE_LIST\\S-1-5-21-7-7-7-1002" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\bob'
  reg_add "$PROFILE_LIST\\S-1-5-21-7-7-7-1003" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\carol'
  # Every profile: another program's start-up and desktop shortcut and data.
  for p in "${PROFILES[@]}"; do
    d=$(profile_dir "$p")
    mkdir -p "$(startup_dir "$p")" "$d/Desktop" "$d/AppData/Local/Other App"
    echo other >"$(startup_dir "$p")/Other App.lnk"
    echo other >"$d/Desktop/Other App.lnk"
    echo keep >"$d/AppData/Local/Other App/keep.txt"
  done
  plant_client_traces
  # Other programs' things machine-wide.
  echo other >"$PUBLIC_DESKTOP/Other App.lnk"
  echo other >"$ALL_PROGRAMS/Other App.lnk"
  mkdir -p "$DRIVE_C/Program Files (x86)/Other Maker"
  echo exe >"$DRIVE_C/Program Files (x86)/Other Maker/other.exe"
  # The old version's client, still installed where it was.
  mkdir -p "$DRIVE_C/Program Files (x86)/Zarek Tolv"
  cp "$CLIENT_EXE" "$DRIVE_C/Program Files (x86)/Zarek Tolv/zarek.exe"
  BEFORE=$(tree_snapshot)
}

# ---------------- the client ----------------

clients_started() {
  local n
  n=$(grep -c '^started' "$CLIENT_LOG" 2>/dev/null)
  echo "${n:-0}"
}

# wait_client_started COUNT: waits (up to 30 s) until the client log holds
# more than COUNT start lines.
wait_client_started() {
  local i
  for i in $(seq 1 150); do
    [ "$(clients_started)" -gt "$1" ] && return 0
    sleep 0.2
  done
  echo "the client did not start" >&2
  return 1
}

# start_client WINDOWS_PATH: starts a program of the client and waits until
# the client has started. CLIENT_PID: the wine process of that program.
start_client() {
  local count
  count=$(clients_started)
  wine "$1" >/dev/null 2>&1 &
  CLIENT_PID=$!
  wait_client_started "$count"
}

# exit_status PID: the exit code of a program started with start_client,
# once it has ended (waits up to 10 s), or "running".
exit_status() {
  local i
  for i in $(seq 1 50); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$1" 2>/dev/null && { echo running; return; }
  wait "$1"
  echo $?
}

# start_at_logon USER: what Windows does at logon: opens the user's start-up
# shortcut (the launcher, which starts the client).
start_at_logon() {
  local count
  count=$(clients_started)
  wine start "$(win_path "$(startup_dir "$1")/Vantorel Drive.lnk")" >/dev/null 2>&1
  wait_client_started "$count"
}

# The client's processes running in the machine, by name.
client_processes() {
  wine wmic process get name 2>/dev/null | iconv -f utf-16 -t utf-8 | tr -d '\r ' |
    grep -ixE 'zarek\.exe|zarek-drive-ui\.exe' | sort | tr '\n' ' '
}

# ---------------- checks ----------------

same_tree() {  # same_tree ACTUAL EXPECTED: prints the difference otherwise
  [ "$1" = "$2" ] && return 0
  diff <(echo "$2") <(echo "$1") | sed 's/^/    /' >&2
  return 1
}
# without PATTERN... <<<SNAPSHOT: the snapshot lines matching none of the
# extended regular expressions.
without() {
  local args=() p
  for p in "$@"; do args+=(-e "$p"); done
  grep -v -E "${args[@]}" || true
}
names() { (cd "$1" && ls -A | sort | tr '\n' '|'); }
lnk_field() { lnkinfo "$1" 2>/dev/null | sed -n "s/^\t$2\t*: //p"; }

# check_points_at_launcher LINK: a shortcut to the installed launcher, read
# back by an independent reader.
check_points_at_launcher() {
  ok "${1#"$DRIVE_C"/}: points at the launcher" eq "$(lnk_field "$1" 'Local path')" "$LAUNCHER"
}

check_files_installed() {
  ok "launcher.exe installed" cmp -s "$INSTALL_DIR/bin/launcher.exe" "$CLIENT_EXE"
  ok "zarek-drive-ui.exe installed" cmp -s "$INSTALL_DIR/bin/zarek-drive-ui.exe" "$CLIENT_EXE"
}

# After an install or an upgrade: one current start-up shortcut, to the
# launcher, for each profile that had one under any name; none for the others.
check_startup_upgraded() {
  local p
  for p in "$WINE_USER" alice; do
    ok "$p: the start-up folder holds the current shortcut and the other program's" \
      eq "$(names "$(startup_dir "$p")")" "Other App.lnk|Vantorel Drive.lnk|"
    check_points_at_launcher "$(startup_dir "$p")/Vantorel Drive.lnk"
    ok "$p: description" eq "$(lnk_field "$(startup_dir "$p")/Vantorel Drive.lnk" Description)" "Vantorel Drive"
  done
  for p in bob carol; do
    ok "$p: no start-up shortcut added" eq "$(names "$(startup_dir "$p")")" "Other App.lnk|"
  done
}

# After an upgrade: the users' data stay.
check_data_kept() {
  local p
  for p in "$WINE_USER" alice bob; do
    ok "$p: data folder kept" exists "$(profile_dir "$p")/$DATA_BELOW/settings.json"
  done
}

# After the uninstall: every trace of the client gone from every profile and
# from the machine-wide folders, and everything else exactly as before the
# installation.
check_uninstalled() {
  local p
  ok "no client process left (${CLIENT_PROCESSES:=$(client_processes)})" eq "$CLIENT_PROCESSES" ""
  for p in "${PROFILES[@]}"; do
    ok "$p: start-up folder holds the other program's shortcut only" eq "$(names "$(startup_dir "$p")")" \
      "Other App.lnk|"
    ok "$p: data folder removed" absent "$(profile_dir "$p")/$DATA_BELOW"
    ok "$p: desktop holds the other program's shortcut only" eq "$(names "$(profile_dir "$p")/Desktop")" \
      "Other App.lnk|"
    ok "$p: no Vantorel program group" absent "$(profile_dir "$p")/$PROGRAMS_BELOW/Vantorel"
  done
  ok "all-users desktop holds the other program's shortcut only" eq "$(names "$PUBLIC_DESKTOP")" "Other App.lnk|"
  ok "all-users Vantorel program group removed" absent "$ALL_PROGRAMS/Vantorel"
  ok "maker folder in Program Files (x86) removed" absent "$DRIVE_C/Program Files (x86)/Vantorel"
  ok "nothing else changed since before the installation" same_tree "$(tree_snapshot)" "$(without \
    "/$DATA_BELOW[/|]" "/(StartUp|Desktop)/$CLIENT_LINKS\|" "/$PROGRAMS_BELOW/Vantorel[/|]" <<<"$BEFORE")"
}

# check_nothing_else_changed PATTERN...: since before the installation only
# the installation folder, start-up shortcuts, data folders and what the
# patterns match have changed.
check_nothing_else_changed() {
  local changed=('^\./Program Files \(x86\)/Vantorel[/|]' "/StartUp/$CLIENT_LINKS\|" "/$DATA_BELOW[/|]" "$@")
  ok "nothing else changed" same_tree "$(without "${changed[@]}" <<<"$(tree_snapshot)")" \
    "$(without "${changed[@]}" <<<"$BEFORE")"
}
