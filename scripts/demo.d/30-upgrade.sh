# Part of scripts/demo.sh: "--admin-upgrade-startup-shortcut" across profiles.
say "Start-up shortcut upgrade in every profile"

upgrade_relative='AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp'
upgrade_list='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
reg_add "$upgrade_list\\S-1-5-21-30-30-30-1101" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\maria'
reg_add "$upgrade_list\\S-1-5-21-30-30-30-1102" ProfileImagePath REG_EXPAND_SZ '%SystemDrive%\users\jonas'
upgrade_folders=("$USER_DIR/$upgrade_relative" "$DRIVE_C/users/maria/$upgrade_relative"
  "$DRIVE_C/users/jonas/$upgrade_relative")
mkdir -p "${upgrade_folders[@]}"
# The signed-in user started an old version at logon; maria has an old and a
# current shortcut; jonas never let the client start at logon.
echo old >"${upgrade_folders[0]}/ZarekTolv.lnk"
echo old >"${upgrade_folders[1]}/Vantorel Zarek Tolv Drive.lnk"
echo old >"${upgrade_folders[1]}/Vantorel Drive.lnk"
echo other >"${upgrade_folders[2]}/Other Program.lnk"

echo "  Start-up folders before:"
for folder in "${upgrade_folders[@]}"; do show_tree "$folder"; done
demo_run --admin-upgrade-startup-shortcut
echo "  Start-up folders after:"
for folder in "${upgrade_folders[@]}"; do show_tree "$folder"; done

for folder in "${upgrade_folders[@]}"; do
  link="$folder/Vantorel Drive.lnk"
  [ -e "$link" ] || continue
  echo "  lnkinfo reads C:\\$(sed 's/\//\\/g' <<<"${link#"$DRIVE_C"/}"):"
  lnkinfo "$link" | grep -E $'^\t(Local path|Description)' | sed 's/^\t/    /; s/\t\+/ /g'
done
echo "  (jonas had no start-up shortcut, so he still has none)"
